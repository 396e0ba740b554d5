// The status log: where each writing operation lands, scrolling, the
// progress-field tail and the cut at 259 characters per line.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "shell/status_log.h"

namespace {

using WriteOp = void (*)(const char*);
using Writes = std::vector<std::pair<WriteOp, const char*>>;
using Lines = std::vector<std::string>;
const WriteOp add = log_AddLine, append = log_AppendLast, replace = log_ReplaceTail;

// "line from" .. "line to-1", then more.
Lines numbered(int from, int to, const Lines& more = {})
{
    Lines lines;
    for (int i = from; i < to; ++i) lines.push_back("line " + std::to_string(i));
    for (const std::string& line : more) lines.push_back(line);
    return lines;
}

// The lines in use after the writes on a log of `lines` numbered lines;
// every line after them must be empty.
Lines log_After(int lines, const Writes& writes)
{
    log_Clear();
    for (const std::string& line : numbered(0, lines)) log_AddLine(line.c_str());
    for (const auto& [write, text] : writes) write(text);
    Lines used;
    int k = 0;
    for (; k < LOG_LINE_COUNT && status_log[k][0] != '\0'; ++k) used.push_back(status_log[k]);
    for (; k < LOG_LINE_COUNT; ++k) EXPECT_EQ(status_log[k][0], '\0') << "line " << k << " after a gap";
    return used;
}

TEST(StatusLog, WritesLandOnTheirLineAndAFullLogScrolls)
{
    const char* longer = "a line longer than the others";
    const char* control = "\r\n FT_SetBaudRate Failed";  // control characters are text
    struct Row {
        const char* shows;
        int lines;
        Writes writes;
        Lines expected;
    };
    const Row rows[] = {
        {"add on an empty log", 0, {{add, "hello"}}, {"hello"}},
        {"append on an empty log", 0, {{append, "hello"}}, {"hello"}},
        {"replace on an empty log", 0, {{replace, "hello"}}, {"hello"}},
        {"append and replace work on the last line; a line added between progress updates takes the next",
         5, {{append, " more"}, {replace, "XY"}, {add, "Item 12 error"}, {replace, " ( 50%)"}},
         numbered(0, 4, {"line 4 moXY", "Item 1 ( 50%)"})},
        {"an empty text adds no line", 3, {{add, ""}}, numbered(0, 3)},
        {"a full log scrolls by one line, leaving no stale tail", 20,
         {{add, longer}, {add, "x"}, {add, "y"}, {append, "+"}, {replace, "#"}}, numbered(3, 20, {longer, "x", "y#"})},
        {"an empty text scrolls a full log", 20, {{add, ""}, {append, "!"}, {add, control}},
         numbered(1, 19, {"line 19!", control})},
        {"replace keeps a longer line's length", 0, {{add, "0123456789"}, {replace, " ( 42%)"}}, {"012 ( 42%)"}},
        {"replace takes a shorter line's place", 0, {{add, "abc"}, {replace, " ( 42%)"}}, {" ( 42%)"}},
        {"replace on a line as long", 0, {{add, "abcdefg"}, {replace, " (100%)"}}, {" (100%)"}},
        {"replace with nothing", 0, {{add, "abcdefg"}, {replace, ""}}, {"abcdefg"}},
        {"the progress field", 0, {{add, "Track 1 ... read GPS data       "}, {replace, " (  0%)"}},
         {"Track 1 ... read GPS data (  0%)"}},
    };
    for (const Row& row : rows) EXPECT_EQ(log_After(row.lines, row.writes), row.expected) << row.shows;
}

TEST(StatusLog, EveryWriteSetsRepaint)
{
    for (const WriteOp write : {add, append, replace}) {
        for (int lines : {0, 3, LOG_LINE_COUNT}) {
            log_After(lines, {});
            repaint_needed = 0;
            write("");
            EXPECT_EQ(repaint_needed, 1) << lines << " lines";
        }
    }
    repaint_needed = 0;
    log_Clear();
    EXPECT_EQ(repaint_needed, 1);
}

// On a full log the line written is the array's last: a write past its end
// would leave the log (the sanitizer build catches that).
TEST(StatusLog, NoWriterLetsALineGrowPast259Characters)
{
    const std::string long_text(400, 'L'), nearly_full(250, 'n');
    const std::pair<const char*, WriteOp> rows[] = {{"x", add}, {nearly_full.c_str(), append}, {"short", replace}};
    for (int lines_before : {0, LOG_LINE_COUNT - 1}) {
        for (const auto& [last_line, write] : rows) {
            log_After(lines_before, {{add, last_line}, {write, long_text.c_str()}});
            const int written = log_LastUsedLine();
            EXPECT_EQ(strlen(status_log[written]), LOG_LINE_SIZE - 1u) << last_line;
            EXPECT_TRUE(written + 1 == LOG_LINE_COUNT || status_log[written + 1][0] == '\0') << "ran into the next";
        }
    }
    log_Clear();
    log_AddLinef("Output directory: %s", long_text.c_str());
    log_AppendLastf("%s", "more");
    EXPECT_EQ(strlen(status_log[0]), LOG_LINE_SIZE - 1u);
    EXPECT_EQ(strncmp(status_log[0], "Output directory: LLL", 21), 0);
}

}  // namespace
