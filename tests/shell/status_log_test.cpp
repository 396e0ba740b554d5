// The status log: where each write lands, scrolling, and the cut at 259
// characters; the session behind it keeps every line, as changed in place.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/status_log.h"

namespace {
using WriteOp = void (*)(const char*);
using Lines = std::vector<std::string>;
const WriteOp add = log_AddLine, append = log_AppendLast, replace = log_ReplaceTail;

Lines numbered(int from, int to, const Lines& more = {})
{
    Lines lines;
    for (int i = from; i < to; ++i) lines.push_back("line " + std::to_string(i));
    for (const std::string& line : more) lines.push_back(line);
    return lines;
}

TEST(StatusLog, WritesLandOnTheirLineScrollAndAreCutAt259Characters)
{
    const std::string L(400, 'L'), cut(259, 'L'), ctl = "\r\n FT_SetBaudRate Failed";
    const struct {
        const char* shows;
        int lines;  // numbered lines written first
        std::vector<std::pair<WriteOp, std::string>> writes;
        Lines expected;  // every later line must be empty
        Lines session = {};  // the session's lines, when the row is about them
        uint32_t dropped = 0;
    } rows[] = {
        {"append on an empty log", 0, {{append, "hello"}}, {"hello"}, {"hello"}},
        {"append, replace on the last line; an added line takes the next", 5,
         {{append, " more"}, {replace, "XY"}, {add, "Item 12 error"}, {replace, " ( 50%)"}},
         numbered(0, 4, {"line 4 moXY", "Item 1 ( 50%)"})},
        {"a full log scrolls, no stale tail", 20, {{add, "a longer line"}, {add, "y"}, {append, "+"}, {replace, "#"}},
         numbered(2, 20, {"a longer line", "y#"}), numbered(0, 20, {"a longer line", "y#"})},
        {"an empty text scrolls a full log; CR LF kept", 20, {{add, ""}, {append, "!"}, {add, ctl}},
         numbered(1, 19, {"line 19!", ctl}), numbered(0, 19, {"line 19!", "", ctl})},
        {"a full session pushes its oldest lines out, and a change in place still reaches it",
         int(SESSION_LINES) + 5, {{append, "!"}}, numbered(SESSION_LINES - 15, SESSION_LINES + 4, {"line 4100!"}),
         numbered(5, SESSION_LINES + 4, {"line 4100!"}), 5},
        {"replace takes a shorter line's place", 0, {{add, "abc"}, {replace, " ( 42%)"}}, {" ( 42%)"}},
        {"add cut on a full log", 20, {{add, L}}, numbered(1, 20, {cut})},
        {"append cut, full log", 19, {{add, "x"}, {append, L}}, numbered(0, 19, {std::string("x").append(258, 'L')})},
        {"replace cut on a full log", 20, {{replace, L}}, numbered(0, 19, {cut})},
    };
    for (const auto& row : rows) {
        log_Clear();
        for (const std::string& line : numbered(0, row.lines)) log_AddLine(line.c_str());
        for (const auto& [write, text] : row.writes) write(text.c_str());
        Lines used;
        int k = 0;
        for (; k < LOG_LINE_COUNT && status_log[k][0] != '\0'; ++k) used.push_back(status_log[k]);
        for (; k < LOG_LINE_COUNT; ++k) EXPECT_EQ(status_log[k][0], '\0') << row.shows << ": line " << k;
        EXPECT_EQ(used, row.expected) << row.shows;
        if (row.session.empty()) continue;
        Lines session;
        for (uint32_t i = 0; i < session_LineCount(); ++i) session.push_back(session_Line(i));
        EXPECT_EQ(session, row.session) << row.shows;
        EXPECT_EQ(session_Dropped(), row.dropped) << row.shows;
        EXPECT_STREQ(session_Line(session_LineCount()), "") << row.shows;
    }
}

}  // namespace
