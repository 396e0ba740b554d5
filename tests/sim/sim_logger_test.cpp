// The logger's answers, decoded here field by field at their offsets: the
// set-up commands, identity, line speed and erase, the directory, and item
// ranges with their countdown.
#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "tests/sim/sim_support.h"

using SimLogger = SimTest;

namespace {

std::string text_Of(const Bytes& frame)
{
    return std::string(frame.begin() + 28, frame.begin() + 28 + frame.at(14));
}

std::string item_Text(int track, uint32_t item)
{
    char text[SIM_ITEM_TEXT_MAX];
    return std::string(text, sim_ItemText(track, item, text));
}

}  // namespace

TEST_F(SimLogger, SetUpCommandsAreAcknowledged)
{
    struct Row {
        uint8_t command;
        Bytes params;
    };
    const Row rows[] = {{0x01, {0xFF}}, {0x01, {0x03}}, {0x03, {}}};
    FT_HANDLE handle = test_Open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        const auto frames = test_Exchange(handle, test_Request(row.command, row.params));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0][3], row.command);
    }
    EXPECT_EQ(sim_stats.requests_by_command[0x01], 2u);
    EXPECT_EQ(sim_stats.requests_by_command[0x03], 1u);
}

TEST_F(SimLogger, IdentityCarriesIdNumbersAndFirmware)
{
    struct Row {
        uint8_t length;
        bool has_id2;
    };
    const Row rows[] = {{38, true}, {40, true}, {36, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        sim_Reset();
        sim_settings.logger.identity_length = row.length;
        sim_settings.logger.id1 = 3;
        sim_settings.logger.id2 = 1201;
        sim_settings.logger.fw_major = 0x02;
        sim_settings.logger.fw_minor = 0x0A;
        const auto frames = test_Exchange(test_Open(), test_Request(0x02));
        ASSERT_EQ(frames.size(), 1u);
        const Bytes& reply = frames[0];
        EXPECT_EQ(reply.size(), row.length);
        EXPECT_EQ(reply[3], 0x02);
        EXPECT_EQ(reply[27], 0x0A);
        EXPECT_EQ(reply[28], 0x02);
        EXPECT_EQ(test_Get(reply, 30, 2), 3u);
        if (row.has_id2) {
            EXPECT_EQ(test_Get(reply, 33, 2), 1201u);
        }
    }
}

TEST_F(SimLogger, SpeedChangeIsAnsweredFirstThenTaken)
{
    FT_HANDLE handle = test_Open(38400);
    const auto answer = test_Exchange(handle, test_Request(0x06, {0x01, 0x20, 0x00}));
    ASSERT_EQ(answer.size(), 1u);  // heard and answered at 38400
    EXPECT_EQ(answer[0][3], 0x06);
    EXPECT_EQ(sim_LoggerBaud(), 250000u);
    EXPECT_EQ(sim_LoggerDivisor(), 32u);
    EXPECT_EQ(sim_stats.speed_changes, 1u);

    EXPECT_TRUE(test_Exchange(handle, test_Request(0x02)).empty());
    FT_SetBaudRate(handle, 250000);
    EXPECT_EQ(test_Exchange(handle, test_Request(0x02)).size(), 1u);

    // And back: divisor 208 is the base speed.
    EXPECT_EQ(test_Exchange(handle, test_Request(0x06, {0x01, 0xD0, 0x00})).size(), 1u);
    EXPECT_EQ(sim_LoggerBaud(), 38400u);
}

TEST_F(SimLogger, EraseEmptiesTheMemory)
{
    sim_AddTracks(3, 1, 10, 5);
    FT_HANDLE handle = test_Open();
    const auto answer = test_Exchange(handle, test_Request(0x06, {0x02, 0x01, 0xFE}));
    ASSERT_EQ(answer.size(), 1u);
    EXPECT_EQ(sim_stats.erases, 1u);
    EXPECT_EQ(sim_track_count, 0);
    const auto summary = test_Exchange(handle, test_DirectoryRequest(0));
    ASSERT_EQ(summary.size(), 1u);
    EXPECT_EQ(test_Get(summary[0], 8, 3), 0u);
}

// Requests the logger must not take: it stays silent and counts nothing.
TEST_F(SimLogger, MalformedRequestsGoUnanswered)
{
    Bytes bad_crc = test_Request(0x02);
    bad_crc.back() ^= 0x40;
    Bytes reply_start = test_Request(0x02);
    reply_start[0] = 0x3C;
    Bytes short_length = test_Request(0x02);
    short_length[2] = 5;
    const Bytes rows[] = {bad_crc, reply_start, short_length, test_Request(0x55), test_Request(0x13, {0, 0})};
    FT_HANDLE handle = test_Open();
    for (const Bytes& request : rows) EXPECT_TRUE(test_Exchange(handle, request).empty());
    EXPECT_EQ(sim_stats.replies_sent, 0u);
    EXPECT_EQ(sim_stats.requests_heard, 2u);  // the unknown command and the short 0x13
}

TEST_F(SimLogger, RequestAfterGarbageAndInPiecesIsHeard)
{
    FT_HANDLE handle = test_Open();
    const Bytes request = test_Request(0x02);
    test_Write(handle, {0x3E, 0x3E, 0x00, 0x3C});
    test_Write(handle, Bytes(request.begin(), request.begin() + 3));
    test_Write(handle, Bytes(request.begin() + 3, request.end()));
    EXPECT_EQ(test_Frames(test_RunFor(handle, 50000)).size(), 1u);
}

TEST_F(SimLogger, SummaryIsOneReplyWithTheFirstTrackNumber)
{
    struct Row {
        int tracks;
        uint16_t first_no;
    };
    const Row rows[] = {{0, 1}, {1, 1}, {3, 7}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tracks);
        sim_Reset();
        sim_settings.logger.first_track_no = row.first_no;
        sim_AddTracks(row.tracks, row.first_no, 20, 3);
        const auto frames = test_Exchange(test_Open(), test_DirectoryRequest(0), 2000000);
        ASSERT_EQ(frames.size(), 1u);
        const Bytes& summary = frames[0];
        EXPECT_EQ(summary[3], 0x12);
        EXPECT_EQ(summary[13], 0xE0);
        EXPECT_EQ(test_Get(summary, 15, 2), row.first_no);
        EXPECT_EQ(test_Get(summary, 8, 3) != 0, row.tracks != 0);
        EXPECT_LE(summary.size(), 142u);
    }
}

TEST_F(SimLogger, ListingIsOneRecordPerTrackThenAClosingOne)
{
    sim_AddTrack(test_Track(5, 10));
    SimTrack second = test_Track(6, 40000, 9, false);
    second.day = 31;
    second.month = 12;
    second.year = 19;
    second.hour = 23;
    second.minute = 7;
    sim_AddTrack(second);
    sim_AddTrack(test_Track(7, 1));
    const auto frames = test_Exchange(test_Open(), test_DirectoryRequest(0x00FF), 2000000);
    ASSERT_EQ(frames.size(), 4u);

    struct Expect {
        uint32_t first_item, count, track_no, day, month, year;
        const char* hours;
        const char* minutes;
    };
    const Expect records[] = {
        {0, 10, 5, 3, 7, 15, "08", "45"},
        {10, 40000, 6, 31, 12, 19, "23", "07"},
        {40010, 1, 7, 3, 7, 15, "08", "45"},
    };
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const Bytes& record = frames[static_cast<size_t>(k)];
        const Expect& want = records[k];
        EXPECT_EQ(record[3], 0x12);
        EXPECT_LE(record.size(), 142u);
        EXPECT_EQ(test_Get(record, 4, 4), want.first_item);
        EXPECT_EQ(test_Get(record, 8, 4), want.count);
        EXPECT_EQ(test_Get(record, 15, 2), want.track_no);
        EXPECT_EQ(record[19], want.day);
        EXPECT_EQ(record[20], want.month);
        EXPECT_EQ(record[21], want.year);
        EXPECT_EQ(std::string(record.begin() + 28, record.begin() + 31), "$GP");
        EXPECT_EQ(std::string(record.begin() + 35, record.begin() + 37), want.hours);
        EXPECT_EQ(std::string(record.begin() + 37, record.begin() + 39), want.minutes);
    }
    EXPECT_EQ(test_Get(frames[3], 8, 4), 0u);
}

TEST_F(SimLogger, ItemRangeCountsDownToOne)
{
    sim_settings.logger.baud = 250000;
    sim_AddTrack(test_Track(1, 10, 4, true));
    FT_HANDLE handle = test_Open(250000);
    const auto frames = test_Exchange(handle, test_ItemRequest(3, 4), 2000000);
    ASSERT_EQ(frames.size(), 4u);
    for (uint32_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const Bytes& item = frames[k];
        EXPECT_EQ(item[3], 0x13);
        EXPECT_EQ(test_Get(item, 8, 3), 4 - k);
        EXPECT_EQ(item.size(), 28u + item[14] + 2);
        EXPECT_LE(item.size(), 142u);
        EXPECT_EQ(text_Of(item), item_Text(0, 3 + k));
        EXPECT_EQ(test_Get(item, 17, 2), sim_ItemTiming(0, 3 + k));
    }
    EXPECT_EQ(sim_stats.item_replies_sent, 4u);
}

// The part of a range inside memory is sent, with a countdown over what is
// sent; a range across two tracks takes each item from its own track.
TEST_F(SimLogger, ItemRangeIsCutToTheMemory)
{
    struct Row {
        uint32_t first;
        uint16_t count;
        uint32_t replies;
    };
    const Row rows[] = {{8, 5, 4}, {11, 2, 1}, {12, 1, 0}, {100, 3, 0}, {0, 0, 0}};
    sim_AddTrack(test_Track(1, 10));
    sim_AddTrack(test_Track(2, 2, 77));
    FT_HANDLE handle = test_Open();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.first);
        const auto frames = test_Exchange(handle, test_ItemRequest(row.first, row.count), 2000000);
        ASSERT_EQ(frames.size(), row.replies);
        for (uint32_t k = 0; k < row.replies; ++k) {
            const uint32_t index = row.first + k;
            EXPECT_EQ(test_Get(frames[k], 8, 3), row.replies - k);
            EXPECT_EQ(text_Of(frames[k]), index < 10 ? item_Text(0, index) : item_Text(1, index - 10));
        }
    }
}

// Item replies follow each other at line pace: the last byte of the fourth
// arrives exactly when the four frames' bytes have had their 40 us each.
TEST_F(SimLogger, ItemRepliesComeBackToBack)
{
    sim_settings.logger.baud = 250000;
    sim_settings.logger.answer_delay_us = 1000;
    sim_AddTrack(test_Track(1, 4));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 4));
    uint64_t reply_bytes = 0;
    char text[SIM_ITEM_TEXT_MAX];
    for (uint32_t i = 0; i < 4; ++i) reply_bytes += 30 + sim_ItemText(0, i, text);
    const uint64_t done_us = 14 * 40 + 1000 + reply_bytes * 40;
    Bytes got = test_RunFor(handle, done_us - 1);
    EXPECT_EQ(got.size(), 14 + reply_bytes - 1);
    const Bytes last = test_RunFor(handle, 1);
    got.insert(got.end(), last.begin(), last.end());
    EXPECT_EQ(test_Frames(got).size(), 4u);
}

TEST_F(SimLogger, NewRequestEndsARunningStream)
{
    sim_settings.logger.baud = 250000;
    sim_AddTrack(test_Track(1, 1000));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 1000));
    test_RunFor(handle, 50000);
    const auto frames = test_Exchange(handle, test_Request(0x02), 2000000);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back()[3], 0x02);
    EXPECT_LT(sim_stats.item_replies_sent, 1000u);
}
