// The recorded sessions of tests/traces replayed through the trace player:
// each must run as recorded and save the very files that the recorded
// session saved; a trace the program no longer follows must name the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/trace_player.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#include "tests/traces/trace_sessions.h"

namespace fs = std::filesystem;

namespace {

std::string trace_Path(const std::string& name)
{
    return std::string(TRACES_DIR) + "/" + name + ".trace";
}

std::string replay(const std::string& trace)
{
    return trace_session_Replay(trace.c_str());
}

class TraceReplay : public ::testing::Test {
protected:
    void SetUp() override { session_Begin(); }
    void TearDown() override { session_End(); }
};

// Every trace here with a folder of the files its session saved: those
// recorded from the simulated logger, and any kept from a problem report.
std::vector<std::string> recorded_Sessions()
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(TRACES_DIR))
        if (entry.path().extension() == ".trace" && fs::is_directory(fs::path(entry.path()).replace_extension()))
            names.push_back(entry.path().stem().string());
    return std::sort(names.begin(), names.end()), names;
}

class RecordedSession : public TraceReplay, public ::testing::WithParamInterface<std::string> {};

TEST_P(RecordedSession, ReplaysAndSavesTheRecordedFiles)
{
    const std::string name = GetParam();
    ASSERT_EQ(replay(trace_Path(name)), "");

    Lines recorded;
    for (const auto& entry : fs::directory_iterator(std::string(TRACES_DIR) + "/" + name))
        recorded.push_back(entry.path().filename().string());
    std::sort(recorded.begin(), recorded.end());
    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(session_Files(), recorded);
    for (const std::string& file : recorded)
        EXPECT_EQ(file_Contents(session_Dir() + "/" + file),
                  file_Contents(std::string(TRACES_DIR) + "/" + name + "/" + file))
            << file;
}

INSTANTIATE_TEST_SUITE_P(Traces, RecordedSession, ::testing::ValuesIn(recorded_Sessions()),
                         [](const auto& info) { return info.param; });

// A session recorded on the simulated clock runs again to the microsecond
// when every reply is handed back at its recorded time: the program's last
// call, the close, comes when it came.
class SimulatedSession : public TraceReplay, public ::testing::WithParamInterface<TraceSession> {};

TEST_P(SimulatedSession, RepliesComeAtTheirRecordedTimes)
{
    const std::string trace = file_Contents(trace_Path(GetParam().name));
    const std::string last_line = trace.substr(trace.rfind('\n', trace.size() - 2) + 1);
    ASSERT_NE(last_line.find(" C"), std::string::npos) << last_line;
    const uint64_t recorded_end_us =
        std::stoull(last_line) * 1000000 + std::stoull(last_line.substr(last_line.find('.') + 1));

    trace_session_AlignClock();
    const uint64_t start_us = sim_NowUs();
    ASSERT_EQ(replay(trace_Path(GetParam().name)), "");
    EXPECT_EQ(sim_NowUs() - start_us, recorded_end_us);
}

INSTANTIATE_TEST_SUITE_P(Traces, SimulatedSession, ::testing::ValuesIn(TRACE_SESSIONS),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TraceReplayCoverage, EverySessionTheToolRecordsIsReplayed)
{
    const std::vector<std::string> replayed = recorded_Sessions();
    for (const TraceSession& session : TRACE_SESSIONS)
        EXPECT_EQ(std::count(replayed.begin(), replayed.end(), session.name), 1) << session.name;
}

// A trace recorded in real time never keeps the simulated clock's pace: its
// program's sleeps last longer or shorter. With the time stamps of a
// recorded session changed so, the replay must still follow the whole trace
// and save the same files.
const struct Retiming {
    const char* name;
    uint64_t (*time_us)(uint64_t recorded_us);
} retimings[] = {
    // Sleep(1) lasts 2 ms on many Windows machines: every reply comes later
    // than on the simulated clock, counted from the request it answers.
    {"TwiceAsSlow", [](uint64_t us) { return 2 * us; }},
    // Replies that came sooner must still come after their requests.
    {"TwiceAsFast", [](uint64_t us) { return us / 2; }},
};

void PrintTo(const Retiming& retiming, std::ostream* out)
{
    *out << retiming.name;
}

class RetimedSession : public TraceReplay, public ::testing::WithParamInterface<Retiming> {};

TEST_P(RetimedSession, StillReplaysAndSavesTheRecordedFiles)
{
    std::istringstream recorded(file_Contents(trace_Path("lost_items")));
    std::ostringstream retimed;
    for (std::string line; std::getline(recorded, line);) {
        if (line.starts_with("#")) {
            retimed << line << "\n";
            continue;
        }
        const size_t point = line.find('.');
        const uint64_t us = std::stoull(line) * 1000000 + std::stoull(line.substr(point + 1, 6));
        const uint64_t retimed_us = GetParam().time_us(us);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%4llu.%06llu", static_cast<unsigned long long>(retimed_us / 1000000),
                      static_cast<unsigned long long>(retimed_us % 1000000));
        retimed << stamp << line.substr(point + 7) << "\n";
    }
    const std::string retimed_trace = session_Dir() + "/retimed.trace";
    std::ofstream(retimed_trace) << retimed.str();

    ASSERT_EQ(replay(retimed_trace), "");
    const Lines saved = {"2015-07-03_0845_001.imp", "2015-07-03_0845_001.txt", "retimed.trace"};
    ASSERT_EQ(session_Files(), saved);
    const std::string recorded_dir = std::string(TRACES_DIR) + "/lost_items/";
    for (const std::string& file : {saved[0], saved[1]})
        EXPECT_EQ(file_Contents(session_Dir() + "/" + file), file_Contents(recorded_dir + file)) << file;
}

INSTANTIATE_TEST_SUITE_P(Traces, RetimedSession, ::testing::ValuesIn(retimings),
                         [](const auto& info) { return std::string(info.param.name); });

// One call of a recorded trace edited, as if the program had changed it: the
// replay stops at that line and shows both versions.
const struct Edit {
    const char* name;
    const char* recorded;  // the first line holding this text is edited
    const char* edited;
} edits[] = {
    {"ItemRequest", "W 3E 01 0E 13 00 00 00 00 05 00 00 00 E7 A0", "W 3E 01 0E 13 00 00 00 00 06 00 00 00 E7 A0"},
    {"FastBaudRate", "B 250000", "B 230400"},
    {"DataCharacteristics", "D 8 0 0", "D 7 0 0"},
};

void PrintTo(const Edit& edit, std::ostream* out)
{
    *out << edit.name;
}

class ChangedCall : public TraceReplay, public ::testing::WithParamInterface<Edit> {};

TEST_P(ChangedCall, StopsTheReplayNamingTheLine)
{
    std::string text = file_Contents(trace_Path("three_tracks"));
    const size_t at = text.find(GetParam().recorded);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, std::strlen(GetParam().recorded), GetParam().edited);
    const auto line = 1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n');
    const std::string edited_trace = session_Dir() + "/edited.trace";
    std::ofstream(edited_trace) << text;

    EXPECT_EQ(replay(edited_trace), "trace line " + std::to_string(line) + ": the trace has \"" + GetParam().edited +
                                        "\", the program called \"" + GetParam().recorded + "\"");
}

INSTANTIATE_TEST_SUITE_P(Traces, ChangedCall, ::testing::ValuesIn(edits),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
