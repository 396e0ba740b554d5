// Track items: where a reply lands by its countdown, how a stream pass ends,
// the order in which gaps are filled, and the cut of a track longer than the
// store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An item reply with a countdown, sealed with its CRC where it is long enough
// to hold the fields (add_Trace leaves the CRC to the exchange).
Bytes item_reply(uint32_t remaining, uint32_t length = 40)
{
    Bytes frame(std::max<uint32_t>(length, ITEM_TEXT + 8), 0);
    frame[0] = 0x3C;
    frame[1] = 0x01;
    frame[2] = uint8_t(length);
    frame[3] = 0x13;
    for (int i = 0; i < 3; ++i) frame[ITEM_REMAINING + i] = uint8_t(remaining >> (8 * i));
    frame[ITEM_TEXT_LEN] = 5;
    memcpy(frame.data() + ITEM_TEXT, "$GPxx", 5);
    frame[ITEM_TEXT + 3] = uint8_t('A' + remaining % 26);
    frame.resize(length);
    if (length >= ITEM_TEXT + 7) {
        uint16_t crc = GPS_Crc16(frame.data(), length - 2);
        frame[length - 2] = uint8_t(crc);
        frame[length - 1] = uint8_t(crc >> 8);
    }
    return frame;
}

void set_rx(const Bytes& frame)
{
    memcpy(rx_frame, frame.data(), frame.size());
    rx_count = uint32_t(frame.size());
}

class TrackItems : public ::testing::Test {
protected:
    void SetUp() override { session_Begin(); }
    void TearDown() override { session_End(); }
};

TEST_F(TrackItems, CountdownPlacesReplyInItsRecord)
{
    const struct {
        const char* what;
        uint32_t items, tail, remaining, length;
        int index;  // -1: refused
        const char* line;
    } rows[] = {
        {"first of three", 3, 0, 3, 40, 0, nullptr},
        {"last of three", 3, 0, 1, 40, 2, nullptr},
        {"single request for item 7", 10, 2, 1, 40, 7, nullptr},
        {"countdown 0 lands past the track", 10, 0, 0, 40, 10, nullptr},
        {"countdown beyond the track", 10, 0, 12, 40, -1, "Error add_Trace, pos>first_MSG_cnt (12 10)"},
        {"position beyond the store", 40000, 0, 1, 40, -1, "Error add_Trace, pos>=ITEMS128B_MAX (39999 32768)"},
        {"too short", 10, 0, 1, 11, -1, nullptr},
        {"too long", 10, 0, 1, 143, -1, nullptr},
    };
    for (const auto& row : rows) {
        log_Clear();
        memset(item_len, 0, sizeof item_len);
        first_MSG_cnt = row.items;
        range_tail = row.tail;
        Bytes frame = item_reply(row.remaining, row.length);
        set_rx(frame);
        EXPECT_EQ(add_Trace(), row.index >= 0 ? 0 : 1) << row.what;
        int stored_at = -1;
        for (uint32_t i = 0; i < ITEMS128B_MAX; ++i)
            if (item_len[i] != 0) stored_at = int(i);
        EXPECT_EQ(stored_at, row.index) << row.what;
        if (row.index >= 0) {
            EXPECT_EQ(item_len[row.index], row.length) << row.what;
            EXPECT_EQ(0, memcmp(item_store[row.index], frame.data(), row.length)) << row.what;
        }
        EXPECT_EQ(log_Lines(), row.line ? std::vector<std::string>{row.line} : std::vector<std::string>{})
            << row.what;
    }
}

TEST_F(TrackItems, StreamThatLosesItsLastReplyEndsWhenLineFallsSilent)
{
    sim_settings.logger.connected = false;
    ASSERT_EQ(usb_Open(), 0);
    Bytes stream = item_reply(4);
    for (uint32_t remaining : {3u, 2u}) {
        Bytes frame = item_reply(remaining);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    sim_InjectRx(1000, stream.data(), uint32_t(stream.size()));
    first_MSG_cnt = 4;
    read_phase = 1;

    int result = 1;
    for (int calls = 0; calls < 10 && result == 1; ++calls) result = read_Track();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(read_phase, 0u);
    EXPECT_EQ(count_Missing(), 1u);
    EXPECT_EQ(item_len[3], 0);
    EXPECT_NE(item_len[2], 0);
}

TEST_F(TrackItems, GapsAreFilledHighestFirst)
{
    sim_AddTrack(SimTrack{9, 3, 7, 15, 8, 45, 12, 20, 1, true});
    sim_AddTrack(SimTrack{10, 3, 7, 15, 9, 0, 0, 10, 2, true});
    ASSERT_EQ(usb_Open(), 0);
    ASSERT_EQ(GPS_GetHeads(255), 0);
    track_index = 1;
    first_MSG_cnt = 10;
    memset(item_len, 1, first_MSG_cnt);
    item_len[3] = item_len[7] = 0;

    const uint32_t first = sim_TrackFirstItem(1);
    for (uint32_t gap : {7u, 3u}) {
        ASSERT_EQ(fill_Gaps(), 0);
        uint32_t asked_first = 0, asked_count = 0;
        ASSERT_TRUE(last_ItemRequest(&asked_first, &asked_count));
        EXPECT_EQ(asked_first, first + gap);
        EXPECT_EQ(asked_count, 1u);
        char text[128];
        uint32_t length = sim_ItemText(1, gap, text);
        ASSERT_EQ(item_store[gap][ITEM_TEXT_LEN], length);
        EXPECT_EQ(0, memcmp(item_store[gap] + ITEM_TEXT, text, length));
    }
    uint32_t written = sim_written_count;
    EXPECT_EQ(fill_Gaps(), -1);
    EXPECT_EQ(sim_written_count, written);
}

}  // namespace
