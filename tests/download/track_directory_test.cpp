// Track directory: which replies are stored and listed, how the summary is
// judged, and how many records a listing can bring.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace {

// A directory reply in rx_frame: track 5, started 03/07/2015.
void set_reply(uint32_t length, uint8_t command, uint32_t count)
{
    memset(rx_frame, 0, sizeof rx_frame);
    rx_frame[0] = 0x3C;
    rx_frame[1] = 0x01;
    rx_frame[2] = uint8_t(length);
    rx_frame[3] = command;
    for (int i = 0; i < 4; ++i) rx_frame[8 + i] = uint8_t(count >> (8 * i));
    rx_frame[HEAD_TRACK_NO] = 5;
    rx_frame[HEAD_DAY] = 3;
    rx_frame[HEAD_MONTH] = 7;
    rx_frame[HEAD_YEAR] = 15;
    rx_count = length;
}

class TrackDirectory : public ::testing::Test {
protected:
    void SetUp() override { session_Begin(); }
    void TearDown() override { session_End(); }
};

TEST_F(TrackDirectory, StoresOnlyPlausibleReplies)
{
    const struct {
        const char* what;
        uint32_t length;
        uint8_t start, fixed;
        bool stored;
    } rows[] = {
        {"shortest", 12, 0x3C, 0x01, true},   {"longest", 142, 0x3C, 0x01, true},
        {"too short", 11, 0x3C, 0x01, false}, {"too long", 143, 0x3C, 0x01, false},
        {"request", 40, 0x3E, 0x01, false},   {"second byte", 40, 0x3C, 0x02, false},
    };
    for (const auto& row : rows) {
        head_count = 3;
        set_reply(row.length, 0x12, 1);
        rx_frame[0] = row.start;
        rx_frame[1] = row.fixed;
        rx_frame[row.length - 1] = 0xAB;
        EXPECT_EQ(add_Head(), row.stored ? 0 : 1) << row.what;
        EXPECT_EQ(head_count, row.stored ? 4 : 3) << row.what;
        if (row.stored) {
            EXPECT_EQ(0, memcmp(head_table[3], rx_frame, row.length)) << row.what;
        }
    }
    head_count = HEADS_MAX;
    set_reply(40, 0x12, 1);
    EXPECT_EQ(add_Head(), 1);
    EXPECT_EQ(head_count, HEADS_MAX);
}

TEST_F(TrackDirectory, ListsTracksWithTheirItemCount)
{
    const struct {
        uint32_t length;
        uint8_t command;
        uint32_t count;
        const char* line;  // nullptr: not listed
    } rows[] = {
        {40, 0x12, 0x00010005, "Track   5: 03/07/2015 (65541 items)"},
        {40, 0x13, 0x00010005, "Track   5: 03/07/2015 (5 items)"},
        {40, 0x13, 0x00010000, nullptr},
        {40, 0x12, 0, nullptr},
        {11, 0x12, 7, nullptr},
    };
    for (const auto& row : rows) {
        log_Clear();
        set_reply(row.length, row.command, row.count);
        show_Head();
        EXPECT_EQ(log_Lines(), row.line ? std::vector<std::string>{row.line} : std::vector<std::string>{})
            << row.count;
    }
}

TEST_F(TrackDirectory, SummaryMustBeOneReplyWithRecords)
{
    const struct {
        const char* what;
        int32_t count_of_replies;
        uint32_t items;  // offsets 8..11
        uint8_t mark;
        int result;
    } rows[] = {
        {"no reply", 0, 9, 0xE0, -1},          {"two replies", 2, 9, 0xE0, -1},
        {"no records", 1, 0, 0xE0, 1},         {"count beyond 24 bits", 1, 0x01000000, 0xE0, 1},
        {"mark E0", 1, 9, 0xE0, 0},            {"mark E1", 1, 0x00FFFFFF, 0xE1, 0},
        {"other mark", 1, 9, 0xE2, -2},
    };
    for (const auto& row : rows) {
        set_reply(30, 0x12, row.items);
        rx_frame[13] = row.mark;
        rx_frame[HEAD_TRACK_NO] = 0x34;
        rx_frame[HEAD_TRACK_NO + 1] = 0x12;
        memcpy(head_table[0], rx_frame, 30);
        head_count = row.count_of_replies;
        first_track_id = -7;
        EXPECT_EQ(check_Heads(), row.result) << row.what;
        if (row.result != -1) {
            EXPECT_EQ(first_track_id, 0x1234) << row.what;
        }
    }
}

TEST_F(TrackDirectory, ListingEndsWhenLineFallsSilent)
{
    sim_AddTracks(3, 40, 10, 1);
    ASSERT_EQ(usb_Open(), 0);
    uint64_t start_us = sim_NowUs();
    ASSERT_EQ(GPS_GetHeads(255), 0);
    EXPECT_EQ(head_count, 4);
    // The closing reply, then one idle receive pass of about half a second.
    EXPECT_LT(sim_NowUs() - start_us, 1000000u);
}

// A track is known by its place in the listing, so a listing reply damaged
// on the line must not simply drop out: every later track would take the ID
// and the file name of the one before it.
TEST_F(TrackDirectory, DamagedListingIsReadAgainAndListedOnce)
{
    sim_AddTracks(5, 40, 10, 1);
    // This seed corrupts one byte of the second reply of the first listing,
    // which takes the third reply's start with it; the second listing comes
    // whole.
    sim_settings.faults.seed = 13;
    sim_settings.faults.corrupt_byte_ppm = 1500;
    ASSERT_EQ(usb_Open(), 0);

    ASSERT_EQ(GPS_GetHeads(255), 0);

    EXPECT_EQ(sim_stats.bytes_corrupted, 1u);
    EXPECT_EQ(sim_stats.requests_by_command[0x12], 2u);
    ASSERT_EQ(head_count, 6);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(read_Uint(head_table[k] + HEAD_TRACK_NO, 2), 40u + k) << k;
    std::vector<std::string> lines = log_Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Track  40: 03/07/2015 (10 items)");
    EXPECT_EQ(lines[4], "Track  44: 07/07/2015 (10 items)");
}

TEST_F(TrackDirectory, ListingDamagedOnEveryReadFailsWithoutTracks)
{
    sim_AddTracks(40, 1, 10, 1);
    sim_settings.faults.seed = 3;
    sim_settings.faults.corrupt_byte_ppm = 3000;
    ASSERT_EQ(usb_Open(), 0);

    EXPECT_EQ(GPS_GetHeads(255), CMD_FAILED_HEADS);

    EXPECT_GE(sim_stats.requests_by_command[0x12], uint32_t(HEADS_READS_MAX));
    EXPECT_GT(sim_stats.bytes_corrupted, 0u);
    EXPECT_EQ(head_count, 0);
    EXPECT_TRUE(log_Lines().empty());
}

TEST_F(TrackDirectory, ListingStopsAfterThreeHundredStreamedReplies)
{
    for (int t = 0; t < 305; ++t) sim_AddTrack(SimTrack{uint16_t(40 + t), 3, 7, 15, 8, 45, 12, 1, uint32_t(t), false});
    ASSERT_EQ(usb_Open(), 0);

    ASSERT_EQ(GPS_GetHeads(0), 0);
    ASSERT_EQ(check_Heads(), 0);
    ASSERT_EQ(GPS_GetHeads(255), 0);
    EXPECT_EQ(head_count, 1 + HEADS_STREAM_PASSES);
    EXPECT_EQ(read_Uint(head_table[300] + HEAD_TRACK_NO, 2), 340u);
    EXPECT_EQ(log_Lines().back(), "Track 340: 03/07/2015 (1 items)");
}

}  // namespace
