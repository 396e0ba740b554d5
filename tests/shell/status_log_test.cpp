// The status log: where each writing operation lands, scrolling, the
// progress-field tail replacement and the bound of 259 characters per line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/status_log.h"

namespace {

constexpr size_t LINE_TEXT_MAX = LOG_LINE_SIZE - 1;

using WriteOp = void (*)(const char*);
const WriteOp kWriters[] = {log_AddLine, log_AppendLast, log_ReplaceTail};

class StatusLog : public ::testing::Test {
protected:
    void SetUp() override { log_Clear(); }

    static void add_lines(int count)
    {
        for (int i = 0; i < count; ++i) log_AddLine(("line " + std::to_string(i)).c_str());
    }
};

TEST_F(StatusLog, EveryWriterFillsLineZeroOfAnEmptyLogAndAlwaysSetsRepaint)
{
    for (const WriteOp write : kWriters) {
        log_Clear();
        write("hello");
        EXPECT_STREQ(status_log[0], "hello");
        EXPECT_EQ(status_log[1][0], '\0');
        for (int lines : {0, 3, LOG_LINE_COUNT}) {
            log_Clear();
            add_lines(lines);
            repaint_needed = 0;
            write("");
            EXPECT_EQ(repaint_needed, 1) << lines << " lines";
        }
    }
}

TEST_F(StatusLog, AppendAndReplaceWorkOnTheLastUsedLine)
{
    add_lines(5);
    log_AppendLast(" more");
    log_ReplaceTail("XY");
    EXPECT_STREQ(status_log[4], "line 4 moXY");
    EXPECT_STREQ(status_log[3], "line 3");
    EXPECT_EQ(status_log[5][0], '\0');

    // A line written between two progress updates takes the next one.
    log_AddLine("Item 12 error");
    log_ReplaceTail(" ( 50%)");
    EXPECT_STREQ(status_log[5], "Item 1 ( 50%)");
}

TEST_F(StatusLog, FullLogScrollsTextsUpByOneLine)
{
    add_lines(LOG_LINE_COUNT);
    log_AddLine("a line longer than the others");
    log_AddLine("x");  // scrolls onto the longer text: no stale tail may show
    for (int i = 0; i < LOG_LINE_COUNT - 2; ++i) EXPECT_EQ(std::string(status_log[i]), "line " + std::to_string(i + 2));
    EXPECT_STREQ(status_log[18], "a line longer than the others");
    EXPECT_STREQ(status_log[19], "x");
    log_AddLine("y");
    EXPECT_STREQ(status_log[18], "x");

    log_AppendLast("+");
    log_ReplaceTail("#");
    EXPECT_STREQ(status_log[19], "y#");
}

TEST_F(StatusLog, ReplaceTailKeepsALongerLineLengthAndOtherwiseTakesTheText)
{
    struct Row {
        const char* line;
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        {"0123456789", " ( 42%)", "012 ( 42%)"},
        {"abc", " ( 42%)", " ( 42%)"},
        {"abcdefg", " (100%)", " (100%)"},
        {"abcdefg", "", "abcdefg"},
        {"Track 1 ... read GPS data       ", " (  0%)", "Track 1 ... read GPS data (  0%)"},
    };
    for (const Row& row : rows) {
        log_Clear();
        log_AddLine(row.line);
        log_ReplaceTail(row.text);
        EXPECT_STREQ(status_log[0], row.expected) << row.line;
    }
}

TEST_F(StatusLog, EmptyTextAddsNoLineUnlessTheLogIsFull)
{
    add_lines(3);
    log_AddLine("");
    EXPECT_EQ(log_LastUsedLine(), 2);

    log_Clear();
    add_lines(LOG_LINE_COUNT);
    log_AddLine("");
    EXPECT_STREQ(status_log[0], "line 1");
    EXPECT_EQ(status_log[19][0], '\0');
    log_AppendLast("!");
    EXPECT_STREQ(status_log[18], "line 19!");
    log_AddLine("\r\n FT_SetBaudRate Failed");
    EXPECT_STREQ(status_log[19], "\r\n FT_SetBaudRate Failed") << "control characters are text";
}

TEST_F(StatusLog, NoWriterLetsALineGrowPast259Characters)
{
    const std::string long_text(400, 'L');
    const std::string nearly_full(250, 'n');
    struct Row {
        const char* last_line;  // written before the long text
        WriteOp write;
    };
    const Row rows[] = {{"x", log_AddLine}, {nearly_full.c_str(), log_AppendLast}, {"short", log_ReplaceTail}};
    // On a full log the line written is the array's last: a write past its
    // end would leave the log (the sanitizer build catches that).
    for (int lines_before : {1, LOG_LINE_COUNT}) {
        for (const Row& row : rows) {
            log_Clear();
            add_lines(lines_before - 1);
            log_AddLine(row.last_line);
            row.write(long_text.c_str());
            const int written = log_LastUsedLine();
            EXPECT_EQ(strlen(status_log[written]), LINE_TEXT_MAX) << row.last_line;
            if (written + 1 < LOG_LINE_COUNT) {
                EXPECT_EQ(status_log[written + 1][0], '\0') << "ran over into the next line";
            }
        }
    }
    log_Clear();
    log_AddLinef("Output directory: %s", long_text.c_str());
    log_AppendLastf("%s", "more");
    EXPECT_EQ(strlen(status_log[0]), LINE_TEXT_MAX);
    EXPECT_EQ(strncmp(status_log[0], "Output directory: LLL", 21), 0);
}

}  // namespace
