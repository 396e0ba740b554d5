// The wire trace recorder on the simulated logger: its size limit, and a
// trace file that cannot be written, which must leave the download as it is
// without a trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "download/download.h"
#include "link/gps_link.h"
#include "link/wire_trace.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"
#include "tests/support/temp_dir.h"
#include "tests/traces/trace_sessions.h"

namespace {

// What a whole download left behind: the bytes on the wire, the status log
// (each session has its own directory, so the log names it "DIR"), and every
// saved file with its contents.
struct Outcome {
    std::string written;
    Lines log;
    Lines files;
    bool operator==(const Outcome&) const = default;
};

// Runs a three-track download with trace_setup (if any) after the start;
// the trace ends as the program does.
Outcome download(void (*trace_setup)() = nullptr)
{
    session_Begin();
    sim_AddTracks(3, 1, 5, 7);
    trace_session_AlignClock();
    if (trace_setup != nullptr) trace_setup();
    session_Run();
    shell_Shutdown();
    Outcome outcome{std::string(reinterpret_cast<const char*>(sim_written), sim_written_count), log_Lines(), {}};
    for (std::string& line : outcome.log) {
        const size_t at = line.find(session_Dir());
        if (at != std::string::npos) line.replace(at, session_Dir().size(), "DIR");
    }
    for (const std::string& name : session_Files())
        outcome.files.push_back(name + "\n" + file_Contents(session_Dir() + "/" + name));
    session_End();
    return outcome;
}

TempDir trace_dir;
std::string trace_file;

TEST(WireTrace, SizeLimitCutsTheTraceAtAWholeLineAndKeepsTheDownload)
{
    trace_file = trace_dir.path("whole.trace");
    const Outcome untraced = download();
    const Outcome whole = download([] { ASSERT_EQ(shell_StartTrace(trace_file.c_str()), 0); });
    const std::string whole_trace = file_Contents(trace_file);
    ASSERT_GT(whole_trace.size(), 8000u);

    trace_file = trace_dir.path("cut.trace");
    const Outcome cut = download([] { ASSERT_EQ(trace_Start(trace_file.c_str(), 4000), 0); });
    const std::string cut_trace = file_Contents(trace_file);

    EXPECT_TRUE(whole == untraced);
    EXPECT_TRUE(cut == untraced);
    EXPECT_LE(cut_trace.size(), 4000u);
    const std::string note = "# size limit of 4000 bytes reached: nothing more recorded\n";
    ASSERT_TRUE(cut_trace.ends_with(note)) << cut_trace;
    const std::string kept = cut_trace.substr(0, cut_trace.size() - note.size());
    EXPECT_GT(kept.size(), 3800u);
    EXPECT_TRUE(kept.ends_with("\n"));
    // Apart from the limit in its header, what is kept is the whole trace's
    // beginning.
    const size_t kept_events = kept.find("\n   "), whole_events = whole_trace.find("\n   ");
    EXPECT_EQ(kept.substr(kept_events), whole_trace.substr(whole_events, kept.size() - kept_events));
}

// Where the trace cannot be written, and the one status line that says so.
TEST(WireTrace, UnwritableTraceLeavesTheDownloadAsWithoutATrace)
{
    const struct {
        void (*inject)();
        const char* line;
    } faults[] = {
        {[] { sim_file_faults.create = {1, false, 0}; }, "Trace not recorded: cannot write "},
        {[] { sim_file_faults.write = {1, false, 0}; }, "Trace cut short: cannot write "},
    };
    trace_file = trace_dir.path("unwritable.trace");
    const Outcome untraced = download();
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.line);
        static void (*inject)();
        inject = fault.inject;
        Outcome traced = download([] { inject(), shell_StartTrace(trace_file.c_str()); });
        const auto at = std::ranges::find(traced.log, fault.line + trace_file);
        ASSERT_NE(at, traced.log.end());
        traced.log.erase(at);
        EXPECT_TRUE(traced == untraced);
    }
}

}  // namespace
