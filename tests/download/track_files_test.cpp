// Track files: names from the directory record, the skip test, the bytes of
// the text and timing files, and that a failed save leaves nothing behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "download/download.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "tests/download/download_session.h"

namespace {

void put_head(int index, const char* fix, uint8_t day = 3, uint8_t month = 7, uint8_t year = 15,
              uint32_t items = 120)
{
    uint8_t* record = head_table[index];
    memset(record, 0, HEAD_RECORD_SIZE);
    record[0] = 0x3C;
    record[1] = 0x01;
    record[2] = HEAD_RECORD_SIZE;
    for (int i = 0; i < 3; ++i) record[HEAD_ITEM_COUNT + i] = uint8_t(items >> (8 * i));
    record[HEAD_DAY] = day;
    record[HEAD_MONTH] = month;
    record[HEAD_YEAR] = year;
    memcpy(record + HEAD_FIX_TEXT, fix, strlen(fix));
    head_count = index + 2;
}

// An item record holding text; frame_length 0 means just long enough, and
// text_len is what the reply claims (by default the text's length).
void put_item(uint32_t index, const std::string& text, uint16_t timing, uint32_t frame_length = 0,
              int text_len = -1)
{
    uint8_t* record = item_store[index];
    memset(record, 0, ITEM_RECORD_SIZE);
    uint32_t length = frame_length != 0 ? frame_length : uint32_t(ITEM_TEXT + text.size() + 2);
    record[0] = 0x3C;
    record[1] = 0x01;
    record[2] = uint8_t(length);
    record[ITEM_TEXT_LEN] = uint8_t(text_len >= 0 ? text_len : int(text.size()));
    record[ITEM_TIMING] = uint8_t(timing);
    record[ITEM_TIMING + 1] = uint8_t(timing >> 8);
    memcpy(record + ITEM_TEXT, text.data(), std::min<size_t>(text.size(), ITEM_RECORD_SIZE - ITEM_TEXT));
    item_len[index] = uint8_t(length);
}

class TrackFiles : public ::testing::Test {
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

    std::string path(const char* name) { return session_Dir() + "/" + name; }
};

TEST(TimingText, PrintsSinglePrecisionQuotientWithHalvesRoundedUp)
{
    const struct {
        uint16_t timing;
        const char* text;
    } rows[] = {{0, "0.000"}, {20, "0.002"}, {52, "0.007"}, {500, "0.063"}, {8000, "1.000"}, {65535, "8.192"}};
    for (const auto& row : rows) {
        char text[16];
        EXPECT_EQ(format_Timing(text, sizeof text, row.timing), int(strlen(row.text)));
        EXPECT_STREQ(text, row.text) << row.timing;
    }
    for (uint32_t timing = 0; timing <= 0xFFFF; ++timing) {
        char text[16];
        format_Timing(text, sizeof text, uint16_t(timing));
        ASSERT_EQ(text, timing_Text(uint16_t(timing))) << timing;
    }
}

TEST_F(TrackFiles, NamesTrackFromDateFirstFixAndTrackId)
{
    const struct {
        const char* what;
        const char* fix;
        int first_id;
        int index;
        const char* name;
    } rows[] = {
        {"three-digit id", "$GPGGA,084512.000", 1, 0, "2015-07-03_0845_001.txt"},
        {"id from position", "$GPRMC,235959.000", 7, 2, "2015-07-03_2359_009.txt"},
        {"four-digit id", "$GPGGA,084512.000", 1234, 0, "2015-07-03_0845_1234.txt"},
        {"blank hour digit", "$GPGGA, 74512.000", 1, 0, "2015-07-03_10345_001.txt"},
    };
    for (const auto& row : rows) {
        log_Clear();
        first_track_id = row.first_id;
        track_index = row.index;
        put_head(row.index, row.fix);
        ASSERT_EQ(open_TrackFile(), 0) << row.what;
        EXPECT_STREQ(track_name, row.name) << row.what;
        EXPECT_EQ(std::string(track_path), path(row.name)) << row.what;
        char line[LOG_LINE_SIZE];
        snprintf(line, sizeof line, "Track ID=%3d (  120 items), File: %s ... read GPS data       ",
                 row.first_id + row.index, row.name);
        EXPECT_EQ(log_Lines(), std::vector<std::string>{line}) << row.what;
    }
}

TEST_F(TrackFiles, SkipsTrackWhoseFileExistsAndRecordWithoutFix)
{
    write_WholeFile(path("2015-07-03_0845_001.txt"), "kept");
    EXPECT_EQ(open_TrackFile(), 1);
    put_head(1, "$PSRF,084512");
    track_index = 1;
    EXPECT_EQ(open_TrackFile(), -1);
    EXPECT_EQ(log_Lines(), (std::vector<std::string>{
                               "Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... exist, skipping",
                               "Track ID=  2, invalid item"}));
}

TEST_F(TrackFiles, WritesTextAndTimingOfReceivedItems)
{
    first_MSG_cnt = 8;
    put_item(0, "$GPGGA,084512.000,A\r", 500);
    put_item(1, "$GPGSA,A,3\r", 0);                        // no time of day
    put_item(2, "$GPRMC,08 713.000,A", 20);                // no CR: no LF; blank digit
    put_item(3, "", 8000);                                 // no text: in neither file
    put_item(5, "$GPGGA,084514.000,B\r", 65535);           // item 4 was never received
    put_item(6, "$GPGGA,084515.000,C\r", 52, 40, 60);  // claims more text than its frame holds
    put_item(7, "$GPGGA,084516", 1, 12, 30);               // frame too short for any text

    ASSERT_EQ(save_Trace(), SAVE_WRITTEN);
    EXPECT_EQ(read_WholeFile(path("2015-07-03_0845_001.txt")),
              "$GPGGA,084512.000,A\r\n$GPGSA,A,3\r\n$GPRMC,08 713.000,A$GPGGA,084514.000,B\r\n$GPGGA,084");
    EXPECT_EQ(read_WholeFile(path("2015-07-03_0845_001.imp")),
              "08:45:12 0.063 ms\r\n00:00:00 0.000 ms\r\n08:103:13 0.002 ms\r\n08:45:14 8.192 ms\r\n"
              "00:00:00 0.007 ms\r\n");
    EXPECT_EQ(session_Files(), (std::vector<std::string>{"2015-07-03_0845_001.imp", "2015-07-03_0845_001.txt"}));
    EXPECT_TRUE(log_Lines().empty());
}

TEST_F(TrackFiles, CompanionOnlyWhenSomeItemHasTiming)
{
    first_MSG_cnt = 2;
    put_item(0, "$GPGGA,084512.000\r", 0);
    put_item(1, "$GPGGA,084513.000\r", 0);
    ASSERT_EQ(save_Trace(), SAVE_WRITTEN);
    EXPECT_EQ(session_Files(), std::vector<std::string>{"2015-07-03_0845_001.txt"});

    put_item(0, "", 0);
    put_item(1, "", 7);  // timing without text does not count
    ASSERT_EQ(save_Trace(), SAVE_WRITTEN);
    EXPECT_EQ(read_WholeFile(track_path), "");
    EXPECT_EQ(session_Files(), std::vector<std::string>{"2015-07-03_0845_001.txt"});

    memset(item_len, 0, sizeof item_len);
    EXPECT_EQ(save_Trace(), SAVE_NOTHING);
    first_MSG_cnt = 0;
    EXPECT_EQ(save_Trace(), SAVE_NOTHING);
    EXPECT_TRUE(log_Lines().empty());
}

TEST_F(TrackFiles, UnwritableDirectoryLeavesNoFileAndSaysWhich)
{
    first_MSG_cnt = 1;
    put_item(0, "$GPGGA,084512.000\r", 9);
    shell_SetProgramDir((session_Dir() + "/missing/zorpload").c_str());
    ASSERT_EQ(open_TrackFile(), 0);
    EXPECT_EQ(save_Trace(), SAVE_WRITE_ERROR);
    EXPECT_EQ(log_Lines().back(), "Write error, file:" + session_Dir() + "/missing/2015-07-03_0845_001.txt");
    EXPECT_TRUE(session_Files().empty());
}

TEST_F(TrackFiles, PathTooLongForBuffersIsWriteError)
{
    first_MSG_cnt = 1;
    put_item(0, "$GPGGA,084512.000\r", 9);
    // A final path with room to spare but none for its temporary name, one
    // that just fits, and one that does not fit at all.
    for (int spare : {2, 0, -5}) {
        log_Clear();
        std::string dir = session_Dir() + "/" +
                          std::string(PATH_SIZE - 1 - spare - session_Dir().size() - 2 - strlen(track_name), 'd');
        std::filesystem::create_directory(dir);
        shell_SetProgramDir((dir + "/zorpload").c_str());
        ASSERT_EQ(open_TrackFile(), 0) << spare;
        EXPECT_EQ(save_Trace(), SAVE_WRITE_ERROR) << spare;
        ASSERT_EQ(log_Lines().size(), 2u) << spare;
        EXPECT_EQ(log_Lines()[1].rfind("Write error, file:" + dir.substr(0, 200), 0), 0u) << spare;
        EXPECT_EQ(log_Lines()[1].size(), 259u) << spare;
        EXPECT_TRUE(std::filesystem::is_empty(dir)) << spare;
    }
}

}  // namespace
