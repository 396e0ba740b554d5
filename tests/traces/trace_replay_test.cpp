// The recorded sessions of tests/traces replayed through the trace player:
// each must run as recorded and save the very files that the recorded
// session saved; a trace the program does not follow must name the line
// where they part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#include "tests/traces/trace_sessions.h"

namespace fs = std::filesystem;

namespace {

const std::string TRACES = TRACES_DIR;

// Microseconds since the start of a trace line's time stamp.
uint64_t stamp_Us(const std::string& line)
{
    return std::stoull(line) * 1000000 + std::stoull(line.substr(line.find('.') + 1, 6));
}

// A trace of this text, written outside the session's directory.
std::string written_Trace(const std::string& text)
{
    static const TempDir dir;
    std::ofstream(dir.path("edited.trace"), std::ios::binary) << text;
    return dir.path("edited.trace");
}

// Every trace here with a folder of the files its session saved: those
// recorded from the simulated logger, and any kept from a problem report.
std::vector<std::string> recorded_Sessions()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(TRACES_DIR))
        if (entry.path().extension() == ".trace" && fs::is_directory(fs::path(entry.path()).replace_extension()))
            names.push_back(entry.path().stem().string());
    return std::ranges::sort(names), names;
}

struct RecordedSession : ::testing::TestWithParam<std::string> {
    void SetUp() override { session_Begin(); }
    void TearDown() override { session_End(); }
};

// A trace recorded in real time never keeps the simulated clock's pace. Every
// recorded session replays whole and saves the recorded files with its time
// stamps doubled (Sleep(1) lasts 2 ms on many Windows machines) and halved
// (replies that came sooner still come after their requests); one recorded
// on the simulated clock ends to the microsecond with its close.
TEST_P(RecordedSession, ReplaysAtAnyPaceAndSavesTheRecordedFiles)
{
    const std::string text = file_Contents(TRACES + "/" + GetParam() + ".trace"), saved = TRACES + "/" + GetParam();
    const std::string last_line = text.substr(text.rfind('\n', text.size() - 2) + 1);
    Lines files;
    for (const auto& entry : fs::directory_iterator(saved)) files.push_back(entry.path().filename().string());
    std::ranges::sort(files);
    for (const double pace : {1.0, 2.0, 0.5}) {
        SCOPED_TRACE(pace);
        if (pace != 1.0) {
            session_End();
            session_Begin();
        }
        std::istringstream recorded(text);
        std::string retimed;
        for (std::string line; std::getline(recorded, line); retimed += line + "\n") {
            if (line.starts_with("#")) continue;
            const auto us = static_cast<unsigned long long>(double(stamp_Us(line)) * pace);
            char stamp[32];
            std::snprintf(stamp, sizeof stamp, "%4llu.%06llu", us / 1000000ull, us % 1000000ull);
            line = stamp + line.substr(line.find('.') + 7);
        }
        trace_session_AlignClock();
        const uint64_t start_us = sim_NowUs();
        const std::string mismatch = trace_session_Replay(written_Trace(retimed).c_str());
        EXPECT_EQ(session_Files(), files);
        for (const std::string& file : files)
            EXPECT_EQ(file_Contents(session_Dir() + "/" + file), file_Contents(saved + "/" + file)) << file;
        ASSERT_EQ(mismatch, "");
        if (pace == 1.0 &&
            std::ranges::count_if(TRACE_SESSIONS, [](const TraceSession& s) { return s.name == GetParam(); }) != 0) {
            ASSERT_NE(last_line.find(" C"), std::string::npos) << last_line;
            EXPECT_EQ(sim_NowUs() - start_us, stamp_Us(last_line));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Traces, RecordedSession, ::testing::ValuesIn(recorded_Sessions()),
                         [](const auto& info) { return info.param; });

// A trace is any file a user attaches: each line the player cannot read ends
// the replay with a message that names it, and nothing is read past it; so
// does a call that the program makes otherwise than the trace shows (as if
// the program had changed it), with both versions.
TEST(EditedTrace, EndsTheReplayNamingTheLine)
{
    const std::string opening = "   0.000000 N 1\n   0.000000 I 0403:6001 FT232R USB UART\n";
    const std::string opened = opening + "   0.000000 O FT232R USB UART\n   0.000000 F 0 0 0\n";
    const struct {
        const char* shows;
        std::string text;  // after the trace's first note
        const char* mismatch;
    } rows[] = {
        // The time stamp's parse must not run on into the next line.
        {"a vertical tab alone", "   0.000000 N 1\n\v\n0.000001R 3E 01\n", "trace line 3: not an event line"},
        {"a time stamp past its range", "9223372036854.775808 N 1\n",
         "trace line 2: a time stamp past 4294967295 seconds"},
        {"a time stamp short of microseconds", "   0.00001 N 1\n",
         "trace line 2: a time stamp without six digits of microseconds"},
        {"no event letter", opening + "   0.000000 3E 01\n", "trace line 4: not an event line"},
        {"a NUL byte for a letter", std::string("   0.000000 \0 1\n", 16), "trace line 2: not an event line"},
        {"a count past its range", "   0.000000 N 4294967296\n",
         "trace line 2: no count up to 4294967295 after the event letter"},
        {"a poll without its count", opened + "   0.001000 S\n",
         "trace line 6: no count up to 4294967295 after the event letter"},
        {"a failure without its status", "   0.000000 N fail x\n",
         "trace line 2: no failure status from 1 to 4294967295 after \"fail\""},
        {"nothing but notes", "# size limit 67108864 bytes\n",
         "trace line 2: the trace ends, the program called \"N\""},
        {"a read of no byte", opened + "   0.001000 R 3E 1FF\n", "trace line 6: not a byte of two hex digits: 1FF"},
        {"a changed request", opened + "   0.000000 D 8 0 0\n   0.000000 B 38400\n   0.040000 W 3E 01 07 01 FF 77 34\n",
         "trace line 8: the trace has \"W 3E 01 07 01 FF 77 34\", the program called \"W 3E 01 07 01 FF 77 33\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shows);
        session_Begin();
        EXPECT_EQ(trace_session_Replay(written_Trace("# ZorpLoad 1.01 wire trace\n" + row.text).c_str()), row.mismatch);
        session_End();
    }
}

}  // namespace
