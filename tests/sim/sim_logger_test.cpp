// The logger's answers, decoded here field by field at their offsets, and
// the tracks it holds: NMEA sentences, fix times, timing values, layout.
#include <cstdio>
#include <utility>

#include "tests/sim/sim_support.h"

using SimLogger = SimTest;
using Numbers = std::vector<uint32_t>;

namespace {

// The little-endian numbers at (offset, size) pairs of a frame.
Numbers fields(const Bytes& frame, std::initializer_list<std::pair<size_t, int>> at)
{
    Numbers values;
    for (const auto& [offset, size] : at) values.push_back(test_Get(frame, offset, size));
    return values;
}

// Field n of a sentence, the one after "$GPxxx" being 1.
std::string field(const std::string& sentence, int n)
{
    size_t start = 0;
    for (int i = 0; i < n; ++i) start = sentence.find(',', start) + 1;
    return sentence.substr(start, sentence.find_first_of(",*", start) - start);
}

}  // namespace

// Set-up commands are acknowledged, also behind garbage; malformed requests
// get silence, and only the unknown command and the short 0x13 count as heard.
TEST_F(SimLogger, SetUpCommandsAreAcknowledgedMalformedRequestsNot)
{
    Bytes garbage_first = {0x3E, 0x3E, 0x00, 0x3C}, bad_crc = test_Request(0x02), reply_start = bad_crc,
          short_length = bad_crc;
    for (uint8_t byte : test_Request(0x02)) garbage_first.push_back(byte);
    bad_crc.back() ^= 0x40;
    reply_start[0] = 0x3C;
    short_length[2] = 5;
    const std::pair<Bytes, uint8_t> rows[] = {  // the request, the command answered (0: none)
        {garbage_first, 0x02}, {test_Request(0x01, {0xFF}), 0x01}, {test_Request(0x01, {0x03}), 0x01},
        {test_Request(0x03), 0x03}, {bad_crc, 0}, {reply_start, 0}, {short_length, 0}, {test_Request(0x55), 0},
        {test_Request(0x13, {0, 0}), 0}};
    FT_HANDLE handle = test_Open();
    for (const auto& [request, answered] : rows) {
        const auto frames = test_Exchange(handle, request);
        ASSERT_EQ(frames.size(), answered ? 1u : 0u);
        if (answered) { EXPECT_EQ(frames[0][3], answered); }
    }
    EXPECT_EQ(sim_stats.requests_by_command[0x01], 2u);
    EXPECT_EQ(sim_stats.requests_by_command[0x03], 1u);
    EXPECT_EQ(sim_stats.replies_sent, 4u);
    EXPECT_EQ(sim_stats.requests_heard, 6u);
}

// The default ID 3:1201 and firmware 02.0A; an ID that does not fit a short
// reply is left out.
TEST_F(SimLogger, IdentityCarriesIdNumbersAndFirmware)
{
    for (const uint8_t length : {38, 40, 36}) {
        sim_Reset();
        sim_settings.logger.identity_length = length;
        const auto frames = test_Exchange(test_Open(), test_Request(0x02));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].size(), length);
        EXPECT_EQ(fields(frames[0], {{3, 1}, {27, 1}, {28, 1}, {30, 2}}), (Numbers{2, 0x0A, 0x02, 3})) << int(length);
        if (length >= 38) { EXPECT_EQ(test_Get(frames[0], 33, 2), 1201u); }
    }
}

TEST_F(SimLogger, SummaryIsOneReplyWithTheFirstTrackNumberAndEraseEmptiesIt)
{
    struct Row {
        int tracks;
        uint16_t first_no;
        bool erase;
    };
    for (const Row& row : {Row{0, 1, false}, Row{1, 1, false}, Row{3, 7, false}, Row{3, 7, true}}) {
        SCOPED_TRACE(testing::Message() << row.tracks << " tracks, erased " << row.erase);
        sim_Reset();
        sim_settings.logger.first_track_no = row.first_no;
        sim_AddTracks(row.tracks, row.first_no, 20, 3);
        FT_HANDLE handle = test_Open();
        if (row.erase) {
            EXPECT_EQ(test_Exchange(handle, test_Request(0x06, {0x02, 0x01, 0xFE})).size(), 1u);
            EXPECT_EQ(sim_stats.erases, 1u);
            EXPECT_EQ(sim_track_count, 0);
        }
        const auto frames = test_Exchange(handle, test_DirectoryRequest(0), 2000000);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_LE(frames[0].size(), 142u);
        EXPECT_EQ(fields(frames[0], {{3, 1}, {13, 1}, {15, 2}}), (Numbers{0x12, 0xE0, row.first_no}));
        EXPECT_EQ(test_Get(frames[0], 8, 3) != 0, row.tracks != 0 && !row.erase);
    }
}

TEST_F(SimLogger, ListingIsOneRecordPerTrackThenAClosingOne)
{
    sim_AddTrack(test_Track(5, 10));
    sim_AddTrack(SimTrack{6, 31, 12, 19, 23, 7, 0, 40000, 9, false});
    sim_AddTrack(test_Track(7, 1));
    const auto frames = test_Exchange(test_Open(), test_DirectoryRequest(0x00FF), 2000000);
    ASSERT_EQ(frames.size(), 4u);
    const Numbers records[] = {  // command, first item, count, track no, day, month, year
        {0x12, 0, 10, 5, 3, 7, 15}, {0x12, 10, 40000, 6, 31, 12, 19}, {0x12, 40010, 1, 7, 3, 7, 15}};
    const char* first_fix[] = {"$GPGGA,0845", "$GPGGA,2307", "$GPGGA,0845"};
    for (size_t k = 0; k < 3; ++k) {
        const Bytes& record = frames[k];
        EXPECT_LE(record.size(), 142u);
        EXPECT_EQ(fields(record, {{3, 1}, {4, 4}, {8, 4}, {15, 2}, {19, 1}, {20, 1}, {21, 1}}), records[k]) << k;
        EXPECT_EQ(std::string(record.begin() + 28, record.begin() + 39), first_fix[k]) << k;
    }
    EXPECT_EQ(test_Get(frames[3], 8, 4), 0u);
}

// The part of a range inside memory is sent, counting down to 1 over what is
// sent; across two tracks each item comes from its own track.
TEST_F(SimLogger, ItemRangeIsCutToTheMemoryAndCountsDown)
{
    struct Row {
        uint32_t first;
        uint16_t count;
        uint32_t replies;
    };
    sim_AddTrack(test_Track(1, 10, 4));
    sim_AddTrack(test_Track(2, 2, 77));
    FT_HANDLE handle = test_Open();
    for (const Row& row : {Row{3, 4, 4}, Row{8, 5, 4}, Row{11, 2, 1}, Row{12, 1, 0}, Row{100, 3, 0}, Row{0, 0, 0}}) {
        SCOPED_TRACE(row.first);
        const auto frames = test_Exchange(handle, test_ItemRequest(row.first, row.count), 2000000);
        ASSERT_EQ(frames.size(), row.replies);
        for (uint32_t k = 0; k < row.replies; ++k) {
            const Bytes& item = frames[k];
            const int track = row.first + k < 10 ? 0 : 1;
            const uint32_t at = row.first + k - (track == 0 ? 0 : 10);
            EXPECT_EQ(item.size(), 30u + item[14]);
            EXPECT_LE(item.size(), 142u);
            const Numbers want = {0x13, row.replies - k, sim_ItemTiming(track, at)};
            EXPECT_EQ(fields(item, {{3, 1}, {8, 3}, {17, 2}}), want);
            EXPECT_EQ(std::string(item.begin() + 28, item.end() - 2), test_ItemText(track, at));
        }
    }
    EXPECT_EQ(sim_stats.item_replies_sent, 9u);
}

// Item replies follow each other at line pace: the last byte of the fourth
// arrives exactly when all bytes and the answer delay have had their time.
TEST_F(SimLogger, ItemRepliesComeBackToBack)
{
    sim_settings.logger.baud = 250000;
    sim_settings.logger.answer_delay_us = 1000;
    sim_AddTrack(test_Track(1, 4));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 4));
    uint64_t reply_bytes = 0;
    for (uint32_t i = 0; i < 4; ++i) reply_bytes += 30 + test_ItemText(0, i).size();
    Bytes got = test_RunFor(handle, 14 * 40 + 1000 + reply_bytes * 40 - 1);
    EXPECT_EQ(got.size(), 14 + reply_bytes - 1);
    got.push_back(test_RunFor(handle, 1).at(0));
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

// GGA, RMC and GSA in turn, each with its checksum; GGA positions stay on
// the map and move slowly.
TEST_F(SimLogger, SentencesTakeTurnsAndCarryTheirChecksum)
{
    sim_AddTrack(test_Track(1, 3000, 12345));
    sim_AddTrack(test_Track(2, 100000, 4242));
    const char* kinds[] = {"$GPGGA,", "$GPRMC,", "$GPGSA,"};
    for (int track = 0; track < 2; ++track) {
        for (uint32_t i = 0; i < 3000; ++i) {
            const std::string s = test_ItemText(track, i);
            ASSERT_LE(s.size(), SIM_ITEM_TEXT_MAX);
            ASSERT_EQ(s.compare(0, 7, kinds[i % 3]), 0) << s;
            ASSERT_EQ(s.find_first_not_of("$GPAMCRS,.*0123456789ABCDEFNE\r"), std::string::npos) << s;
            ASSERT_EQ(s.back(), '\r') << s;
            ASSERT_EQ(s[s.size() - 4], '*') << s;
            unsigned sum = 0, written = 0;
            for (size_t k = 1; k < s.size() - 4; ++k) sum ^= static_cast<unsigned char>(s[k]);
            ASSERT_EQ(std::sscanf(s.c_str() + s.size() - 3, "%2X", &written), 1);
            ASSERT_EQ(written, sum) << s;
        }
    }
    double last_lat = -1;
    for (uint32_t i = 0; i < 100000; i += 3 * 1000) {
        const std::string gga = test_ItemText(1, i);
        const double lat = std::stod(field(gga, 2)), lon = std::stod(field(gga, 4));
        EXPECT_EQ(field(gga, 2).find('.'), 4u) << gga;  // ddmm.mmmm
        EXPECT_EQ(field(gga, 4).find('.'), 5u) << gga;  // dddmm.mmmm
        EXPECT_TRUE(lat >= 3500.0 && lat < 5600.0 && lon < 3100.0 && lat != last_lat) << gga;
        last_lat = lat;
    }
}

// One second per item, through midnight into the next day, month and year
// (RMC carries the date), and a leap day in leap years only.
TEST_F(SimLogger, FixTimeAdvancesOneSecondPerItemAcrossMidnight)
{
    sim_AddTrack(SimTrack{1, 31, 12, 19, 23, 59, 58, 10, 1, true});
    sim_AddTrack(SimTrack{2, 28, 2, 20, 0, 0, 0, 86400 * 2, 1, true});
    sim_AddTrack(SimTrack{3, 28, 2, 19, 0, 0, 0, 86400 * 2, 1, true});
    struct Row {
        int track;
        uint32_t item;
        const char* hhmmss;
        const char* date;  // RMC only
    };
    const Row rows[] = {{0, 0, "235958", nullptr}, {0, 1, "235959", "311219"}, {0, 3, "000001", nullptr},
                        {0, 4, "000002", "010120"}, {1, 86401, "000001", "290220"}, {2, 86401, "000001", "010319"}};
    for (const Row& row : rows) {
        const std::string s = test_ItemText(row.track, row.item);
        EXPECT_EQ(s.substr(7, 6), row.hhmmss) << s;
        if (row.date != nullptr) { EXPECT_EQ(field(s, 9), row.date) << s; }
    }
}

// The same fields give the same items, another seed others; about one
// timing value in five is 0, all of them without timing.
TEST_F(SimLogger, ItemsFollowFromTheFieldsAndTimingVaries)
{
    sim_AddTrack(test_Track(1, 1000, 10));
    sim_AddTrack(test_Track(2, 1000, 10));
    sim_AddTrack(test_Track(3, 1000, 11));
    sim_AddTrack(test_Track(4, 1000, 10, false));
    int differ = 0, zeros = 0, changes = 0;
    for (uint32_t i = 0; i < 1000; ++i) {
        EXPECT_EQ(test_ItemText(0, i), test_ItemText(1, i));
        EXPECT_EQ(sim_ItemTiming(0, i), sim_ItemTiming(1, i));
        EXPECT_EQ(sim_ItemTiming(3, i), 0);
        differ += test_ItemText(0, i) != test_ItemText(2, i);
        zeros += sim_ItemTiming(0, i) == 0;
        changes += i > 0 && sim_ItemTiming(0, i) != sim_ItemTiming(0, i - 1);
    }
    EXPECT_GT(differ, 800);
    EXPECT_TRUE(zeros > 100 && zeros < 300) << zeros;
    EXPECT_GT(changes, 700);
}

// Tracks lie one after another; the table holds 400, one day apart from
// 2015-07-03, timing on every other track.
TEST_F(SimLogger, TracksLieOneAfterAnotherUpToFourHundred)
{
    EXPECT_EQ(sim_MemoryItemCount(), 0u);
    sim_AddTrack(test_Track(1, 40000));
    sim_AddTrack(test_Track(2, 0));
    sim_AddTrack(test_Track(3, 5));
    EXPECT_EQ(sim_TrackFirstItem(1), 40000u);
    EXPECT_EQ(sim_TrackFirstItem(2), 40000u);
    EXPECT_EQ(sim_MemoryItemCount(), 40005u);

    sim_Reset();
    EXPECT_EQ(sim_AddTracks(401, 1, 3, 1), 400);
    EXPECT_EQ(sim_AddTrack(test_Track(401, 1)), -1);
    EXPECT_EQ(sim_MemoryItemCount(), 1200u);
    EXPECT_EQ((Numbers{sim_tracks[1].day, sim_tracks[29].month, sim_tracks[29].day, sim_tracks[399].track_no}),
              (Numbers{4, 8, 1, 400}));
    EXPECT_TRUE(sim_tracks[0].timing);
    EXPECT_FALSE(sim_tracks[1].timing);
}
