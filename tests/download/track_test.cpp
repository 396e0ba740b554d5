// The track directory, the placing of track items, and the track files,
// against records built here or the simulated logger.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "download/download.h"
#include "shell/shell.h"
#include "tests/download/download_session.h"
#include "tests/link/link_fixture.h"

namespace {

Bytes le(uint32_t value, int size)
{
    Bytes bytes;
    for (int i = 0; i < size; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
    return bytes;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A reply frame of length bytes with the fields at their offsets, zeros
// elsewhere, and its CRC when it is long enough to hold the fields.
Bytes record(uint32_t length, uint8_t command, std::initializer_list<std::pair<int, Bytes>> fields)
{
    Bytes frame = Bytes{FRAME_START_REPLY, FRAME_FIXED_BYTE, uint8_t(length), command} + Bytes(ITEM_RECORD_SIZE, 0);
    for (const auto& [offset, bytes] : fields) std::copy(bytes.begin(), bytes.end(), frame.begin() + offset);
    frame.resize(length);
    return length >= ITEM_TEXT + 7 ? sealed(Bytes(frame.begin(), frame.end() - 2)) : frame;
}

// A directory reply: track 5, started 03/07/2015, with an item count.
Bytes head_reply(uint32_t length, uint8_t command, uint32_t count)
{
    return record(length, command, {{HEAD_ITEM_COUNT, le(count, 4)}, {HEAD_TRACK_NO, {5}}, {HEAD_DAY, {3, 7, 15}}});
}

// An item reply with its countdown and a five-character text.
Bytes item_reply(uint32_t remaining, uint32_t length = 40)
{
    return record(length, 0x13,
                  {{ITEM_REMAINING, le(remaining, 3)}, {ITEM_TEXT_LEN, {5}},
                   {ITEM_TEXT, text("$GP" + std::string(1, char('A' + remaining % 26)) + "x")}});
}

// A directory record at index whose item 0 is fix, and track_index there.
void put_head(int index, const char* fix)
{
    const Bytes head = record(HEAD_RECORD_SIZE, 0x12,
                              {{HEAD_ITEM_COUNT, le(120, 3)}, {HEAD_DAY, {3, 7, 15}}, {HEAD_FIX_TEXT, text(fix)}});
    std::copy(head.begin(), head.end(), head_table[index]);
    head_count = index + 2;
    track_index = index;
}

// An item record holding s; length 0 means just long enough, and stated is
// the text length the reply claims (by default the text's).
void put_item(uint32_t index, const std::string& s, uint16_t timing, uint32_t length = 0, int stated = -1)
{
    length = length != 0 ? length : uint32_t(ITEM_TEXT + s.size() + 2);
    const Bytes item = record(length, 0x13, {{ITEM_TEXT_LEN, {uint8_t(stated >= 0 ? stated : s.size())}},
                                              {ITEM_TIMING, le(timing, 2)}, {ITEM_TEXT, text(s)}});
    std::copy(item.begin(), item.end(), item_store[index]);
    item_len[index] = uint8_t(length);
}

// A session, and track 1 named from its directory record.
class Track : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_Begin();
        first_track_id = 1;
        put_head(0, "$GPGGA,084512.000,4807.038,N");
        open_TrackFile();
        log_Clear();
    }
    void TearDown() override { session_End(); }
    std::string path(const std::string& name) { return session_Dir() + "/" + name; }
};

// ---------------------------------------------------------------- directory --

TEST_F(Track, DirectoryKeepsAndListsOnlyPlausibleReplies)
{
    const struct {
        const char* what;
        uint32_t length;
        uint8_t start, fixed, command;
        uint32_t count;
        bool stored;
        Lines lines;
    } rows[] = {
        {"shortest", 12, 0x3C, 0x01, 0x12, 0, true, {}},
        {"longest", 142, 0x3C, 0x01, 0x12, 0x00010005, true, {"Track   5: 03/07/2015 (65541 items)"}},
        {"item reply: 16-bit count", 40, 0x3C, 0x01, 0x13, 0x00010005, true, {"Track   5: 03/07/2015 (5 items)"}},
        {"item reply without items", 40, 0x3C, 0x01, 0x13, 0x00010000, true, {}},
        {"too short", 11, 0x3C, 0x01, 0x12, 7, false, {}},
        {"too long", 143, 0x3C, 0x01, 0x12, 0, false, {}},
        {"request", 40, 0x3E, 0x01, 0x12, 1, false, {}},
        {"second byte", 40, 0x3C, 0x02, 0x12, 1, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        log_Clear();
        head_count = 3;
        Bytes reply = head_reply(row.length, row.command, row.count);
        reply[0] = row.start;
        reply[1] = row.fixed;
        set_rx(reply);
        EXPECT_EQ(add_Head(), row.stored ? 0 : 1);
        EXPECT_EQ(head_count, row.stored ? 4 : 3);
        if (row.stored) {
            EXPECT_EQ(Bytes(head_table[3], head_table[3] + row.length), reply);
        }
        show_Head();
        EXPECT_EQ(log_Lines(), row.lines);
    }
    head_count = HEADS_MAX;
    set_rx(head_reply(40, 0x12, 1));
    EXPECT_EQ(add_Head(), 1);
    EXPECT_EQ(head_count, HEADS_MAX);
}

TEST_F(Track, DirectorySummaryMustBeOneReplyWithRecords)
{
    const struct {
        const char* what;
        int32_t replies;
        uint32_t items;  // offsets 8..11
        uint8_t mark;
        int result;
    } rows[] = {
        {"no reply", 0, 9, 0xE0, -1},  {"two replies", 2, 9, 0xE0, -1}, {"no records", 1, 0, 0xE0, 1},
        {"count beyond 24 bits", 1, 0x01000000, 0xE0, 1},               {"mark E0", 1, 9, 0xE0, 0},
        {"mark E1", 1, 0x00FFFFFF, 0xE1, 0},                            {"other mark", 1, 9, 0xE2, -2},
    };
    for (const auto& row : rows) {
        const Bytes summary = record(30, 0x12, {{8, le(row.items, 4)}, {13, {row.mark}}, {15, {0x34, 0x12}}});
        std::copy(summary.begin(), summary.end(), head_table[0]);
        head_count = row.replies;
        first_track_id = -7;
        EXPECT_EQ(check_Heads(), row.result) << row.what;
        EXPECT_EQ(first_track_id, row.result == -1 ? -7 : 0x1234) << row.what;
    }
}

TEST_F(Track, ListingEndsWhenTheLineFallsSilentOrAfter300StreamedReplies)
{
    sim_AddTracks(3, 40, 10, 1);
    ASSERT_EQ(usb_Open(), 0);
    const uint64_t start_us = sim_NowUs();
    ASSERT_EQ(GPS_GetHeads(255), 0);
    EXPECT_EQ(head_count, 4);
    EXPECT_LT(sim_NowUs() - start_us, 1000000u) << "the closing reply, then one idle pass of 500 ms";

    sim_Reset();
    for (int t = 0; t < 305; ++t) sim_AddTrack(SimTrack{uint16_t(40 + t), 3, 7, 15, 8, 45, 12, 1, uint32_t(t), false});
    ASSERT_EQ(usb_Open(), 0);
    log_Clear();
    ASSERT_EQ(GPS_GetHeads(255), 0);
    EXPECT_EQ(head_count, 1 + HEADS_STREAM_PASSES);
    EXPECT_EQ(read_Uint(head_table[300] + HEAD_TRACK_NO, 2), 340u);
    EXPECT_EQ(log_Lines().back(), "Track 340: 03/07/2015 (1 items)");
}

// A track is known by its place in the listing: a damaged reply that simply
// dropped out would give every later track the ID and file of the one before.
TEST_F(Track, DamagedListingIsReadAgainAndListedOnce)
{
    sim_AddTracks(5, 40, 10, 1);
    // This seed corrupts one byte of the second reply of the first listing,
    // which takes the third reply's start with it; the second comes whole.
    sim_settings.faults.seed = 13;
    sim_settings.faults.corrupt_byte_ppm = 1500;
    ASSERT_EQ(usb_Open(), 0);
    ASSERT_EQ(GPS_GetHeads(255), 0);

    EXPECT_EQ(sim_stats.bytes_corrupted, 1u);
    EXPECT_EQ(sim_stats.requests_by_command[0x12], 2u);
    ASSERT_EQ(head_count, 6);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(read_Uint(head_table[k] + HEAD_TRACK_NO, 2), 40u + k) << k;
    const Lines lines = log_Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Track  40: 03/07/2015 (10 items)");
    EXPECT_EQ(lines[4], "Track  44: 07/07/2015 (10 items)");
}

TEST_F(Track, ListingDamagedOnEveryReadFailsWithoutTracks)
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

// -------------------------------------------------------------------- items --

TEST_F(Track, ItemCountdownPlacesTheReplyInItsRecord)
{
    const struct {
        const char* what;
        uint32_t items, tail, remaining, length;
        int index;  // -1: refused
        Lines lines;
    } rows[] = {
        {"first of three", 3, 0, 3, 40, 0, {}},
        {"last of three", 3, 0, 1, 40, 2, {}},
        {"single request for item 7", 10, 2, 1, 40, 7, {}},
        {"countdown 0 lands past the track", 10, 0, 0, 40, 10, {}},
        {"countdown beyond the track", 10, 0, 12, 40, -1, {"Error add_Trace, pos>first_MSG_cnt (12 10)"}},
        {"position beyond the store", 40000, 0, 1, 40, -1, {"Error add_Trace, pos>=ITEMS128B_MAX (39999 32768)"}},
        {"too short", 10, 0, 1, 11, -1, {}},
        {"too long", 10, 0, 1, 143, -1, {}},
    };
    for (const auto& row : rows) {
        log_Clear();
        memset(item_len, 0, sizeof item_len);
        first_MSG_cnt = row.items;
        range_tail = row.tail;
        const Bytes reply = item_reply(row.remaining, row.length);
        set_rx(reply);
        EXPECT_EQ(add_Trace(), row.index >= 0 ? 0 : 1) << row.what;
        int stored_at = -1;
        for (uint32_t i = 0; i < ITEMS128B_MAX; ++i)
            if (item_len[i] != 0) stored_at = int(i);
        EXPECT_EQ(stored_at, row.index) << row.what;
        if (row.index >= 0) {
            EXPECT_EQ(Bytes(item_store[row.index], item_store[row.index] + item_len[row.index]), reply) << row.what;
        }
        EXPECT_EQ(log_Lines(), row.lines) << row.what;
    }
}

// -------------------------------------------------------------------- files --

TEST(TimingText, PrintsSinglePrecisionQuotientWithHalvesRoundedUp)
{
    const struct {
        uint16_t timing;
        const char* text;
    } rows[] = {{0, "0.000"}, {20, "0.002"}, {52, "0.007"}, {500, "0.063"}, {8000, "1.000"}, {65535, "8.192"}};
    char out[16];
    for (const auto& row : rows) {
        EXPECT_EQ(format_Timing(out, sizeof out, row.timing), int(strlen(row.text)));
        EXPECT_STREQ(out, row.text) << row.timing;
    }
    for (uint32_t timing = 0; timing <= 0xFFFF; ++timing) {
        format_Timing(out, sizeof out, uint16_t(timing));
        ASSERT_EQ(out, timing_Text(uint16_t(timing))) << timing;
    }
}

TEST_F(Track, NamesTrackFromDateFirstFixAndTrackId)
{
    const struct {
        const char* fix;
        int first_id, index;
        const char* name;
    } rows[] = {
        {"$GPGGA,084512.000", 1, 0, "2015-07-03_0845_001.txt"},
        {"$GPRMC,235959.000", 7, 2, "2015-07-03_2359_009.txt"},   // ID from the position
        {"$GPGGA,084512.000", 1234, 0, "2015-07-03_0845_1234.txt"},
        {"$GPGGA, 74512.000", 1, 0, "2015-07-03_10345_001.txt"},  // blank hour digit
    };
    for (const auto& row : rows) {
        log_Clear();
        first_track_id = row.first_id;
        put_head(row.index, row.fix);
        ASSERT_EQ(open_TrackFile(), 0) << row.name;
        EXPECT_STREQ(track_name, row.name);
        EXPECT_EQ(std::string(track_path), path(row.name));
        char line[LOG_LINE_SIZE];
        snprintf(line, sizeof line, "Track ID=%3d (  120 items), File: %s ... read GPS data       ",
                 row.first_id + row.index, row.name);
        EXPECT_EQ(log_Lines(), Lines{line});
    }
}

TEST_F(Track, SkipsTrackWhoseFileExistsAndRecordWithoutFix)
{
    std::ofstream(path("2015-07-03_0845_001.txt")) << "kept";
    EXPECT_EQ(open_TrackFile(), 1);
    put_head(1, "$GNGGA,084512");
    EXPECT_EQ(open_TrackFile(), -1);
    EXPECT_EQ(log_Lines(), (Lines{"Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... exist, skipping",
                                  "Track ID=  2, invalid item"}));
}

TEST_F(Track, WritesTextAndTimingOfReceivedItems)
{
    first_MSG_cnt = 8;
    put_item(0, "$GPGGA,084512.000,A\r", 500);
    put_item(1, "$GPGSA,A,3\r", 0);                    // no time of day
    put_item(2, "$GPRMC,08 713.000,A", 20);            // no CR: no LF; blank digit
    put_item(3, "", 8000);                             // no text: in neither file
    put_item(5, "$GPGGA,084514.000,B\r", 65535);       // item 4 was never received
    put_item(6, "$GPGGA,084515.000,C\r", 52, 40, 60);  // claims more text than its frame holds
    put_item(7, "$GPGGA,084516", 1, 12, 30);           // frame too short for any text

    ASSERT_EQ(save_Trace(), SAVE_WRITTEN);
    EXPECT_EQ(read_WholeFile(path("2015-07-03_0845_001.txt")),
              "$GPGGA,084512.000,A\r\n$GPGSA,A,3\r\n$GPRMC,08 713.000,A$GPGGA,084514.000,B\r\n$GPGGA,084");
    EXPECT_EQ(read_WholeFile(path("2015-07-03_0845_001.imp")),
              "08:45:12 0.063 ms\r\n00:00:00 0.000 ms\r\n08:103:13 0.002 ms\r\n08:45:14 8.192 ms\r\n"
              "00:00:00 0.007 ms\r\n");
    EXPECT_EQ(session_Files(), (Lines{"2015-07-03_0845_001.imp", "2015-07-03_0845_001.txt"}));
    EXPECT_TRUE(log_Lines().empty());
}

TEST_F(Track, CompanionOnlyWhenSomeItemHasTiming)
{
    first_MSG_cnt = 2;
    put_item(0, "$GPGGA,084512.000\r", 0);
    put_item(1, "", 7);  // timing without text does not count
    ASSERT_EQ(save_Trace(), SAVE_WRITTEN);
    EXPECT_EQ(read_WholeFile(track_path), "$GPGGA,084512.000\r\n");
    EXPECT_EQ(session_Files(), Lines{"2015-07-03_0845_001.txt"});

    memset(item_len, 0, sizeof item_len);
    EXPECT_EQ(save_Trace(), SAVE_NOTHING);
    first_MSG_cnt = 0;
    EXPECT_EQ(save_Trace(), SAVE_NOTHING);
    EXPECT_TRUE(log_Lines().empty());
}

TEST_F(Track, FailedSaveLeavesNothingAndNamesTheFileItFailedOn)
{
    // A program directory whose track path has spare characters beyond the
    // temporary name's suffix (negative: it does not fit at all).
    const auto long_dir = [this](int spare) {
        return session_Dir() + "/" +
               std::string(PATH_SIZE - 1 - spare - session_Dir().size() - 2 - strlen(track_name), 'd');
    };
    const struct {
        const char* what;
        std::string dir;
        SimFileFault SimFileFaults::*fault;
        uint32_t countdown;
        const char* failed;  // the file named
    } rows[] = {
        {"directory missing", session_Dir() + "/missing", nullptr, 0, "txt"},
        {"text file not created", session_Dir(), &SimFileFaults::create, 1, "txt"},
        {"timing file not created", session_Dir(), &SimFileFaults::create, 2, "imp"},
        {"text file not written", session_Dir(), &SimFileFaults::write, 1, "txt"},
        {"timing file not written", session_Dir(), &SimFileFaults::write, 2, "imp"},
        {"text file's close fails", session_Dir(), &SimFileFaults::close, 1, "txt"},
        {"timing file's close fails", session_Dir(), &SimFileFaults::close, 2, "imp"},
        {"timing file renamed first, fails", session_Dir(), &SimFileFaults::rename, 1, "imp"},
        {"text file renamed last, fails", session_Dir(), &SimFileFaults::rename, 2, "txt"},
        {"no room for the temporary name", long_dir(2), nullptr, 0, "txt"},
        {"no room for the temporary suffix", long_dir(0), nullptr, 0, "txt"},
        {"path too long", long_dir(-5), nullptr, 0, "txt"},
    };
    first_MSG_cnt = 1;
    put_item(0, "$GPGGA,084512.000\r", 9);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::error_code ignored;
        if (row.dir.ends_with("ddd")) std::filesystem::create_directory(row.dir, ignored);
        shell_SetProgramDir((row.dir + "/zorpload").c_str());
        ASSERT_EQ(open_TrackFile(), 0);
        log_Clear();
        sim_ResetFiles();
        if (row.fault) (sim_file_faults.*row.fault).countdown = row.countdown;
        EXPECT_EQ(save_Trace(), SAVE_WRITE_ERROR);
        EXPECT_EQ(log_Lines(), Lines{("Write error, file:" + row.dir + "/2015-07-03_0845_001." + row.failed)
                                         .substr(0, LOG_LINE_SIZE - 1)});
        EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::exists(row.dir) ? row.dir : session_Dir()));
    }
}

}  // namespace
