// The wire trace recorder on the simulated logger: its size limit, and a
// trace file that cannot be written, which must leave the download as it is
// without a trace.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "download/download.h"
#include "link/gps_link.h"
#include "link/wire_record.h"
#include "platform/file_writer.h"
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

// Runs a download of three tracks of items_each items through the shell's
// tick, as a front end does, with trace_setup (if any) after the start and
// each_tick (if any) after every tick; the trace ends as the program does.
Outcome download(void (*trace_setup)() = nullptr, void (*each_tick)() = nullptr, uint32_t items_each = 5)
{
    session_Begin();
    sim_AddTracks(3, 1, items_each, 7);
    trace_session_AlignClock();
    if (trace_setup != nullptr) trace_setup();
    while (seq_state != SEQ_IDLE) {
        const uint32_t start = sys_TickCount();
        shell_Tick();
        if (each_tick != nullptr) each_tick();
        if (const uint32_t took = sys_TickCount() - start; took < uint32_t(TICK_PERIOD_MS))
            sys_Sleep(TICK_PERIOD_MS - took);
    }
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
    const Outcome cut = download([] { ASSERT_EQ(wirerec_Start(trace_file.c_str(), 4000), 0); });
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

// A trace onto a disk that stalls (a hung network share): the download
// neither waits for the disk nor changes, and one status line says why the
// trace ends early. A disk that comes back after the cut gets the trace up
// to the cut and the closing note; one that never does loses what waited,
// and the program's end does not wait for it.
TEST(WireTrace, StalledDiskCutsTheTraceAndNeverHoldsUpTheDownload)
{
    // Enough items for a trace longer than a writer holds.
    constexpr uint32_t ITEMS = 5000;
    trace_file = trace_dir.path("stalled-disk.trace");
    const Outcome untraced = download(nullptr, nullptr, ITEMS);
    download([] { shell_StartTrace(trace_file.c_str()); }, nullptr, ITEMS);
    const std::string whole_trace = file_Contents(trace_file);
    ASSERT_GT(whole_trace.size(), 2 * WRITER_BUFFER_SIZE);
    static bool comes_back;
    for (const bool back : {false, true}) {
        SCOPED_TRACE(back ? "the disk comes back after the cut" : "the disk stalls for good");
        comes_back = back;
        Outcome traced = download(
            [] {
                ASSERT_EQ(shell_StartTrace(trace_file.c_str()), 0);
                sim_StallUserDisk(true);
            },
            [] {
                if (comes_back && !wirerec_Recording()) sim_StallUserDisk(false);
            },
            ITEMS);
        const std::string got = file_Contents(trace_file);

        const auto at = std::ranges::find(traced.log, "Trace cut short: " + trace_file + " is not read fast enough");
        ASSERT_NE(at, traced.log.end());
        traced.log.erase(at);
        EXPECT_TRUE(traced == untraced);
        if (!back) {
            EXPECT_EQ(got, "") << "the stalled disk took bytes";
            continue;
        }
        const std::string note = "\n# not read fast enough: nothing more recorded\n";
        ASSERT_TRUE(got.ends_with(note)) << got.substr(got.size() - std::min<size_t>(got.size(), 200));
        const std::string kept = got.substr(0, got.size() - note.size());
        EXPECT_GT(kept.size(), WRITER_BUFFER_SIZE / 2);
        EXPECT_LE(kept.size(), WRITER_BUFFER_SIZE);
        EXPECT_TRUE(kept == whole_trace.substr(0, kept.size())) << "what was written is the trace's beginning";
    }
}

#ifndef _WIN32
// A trace into a FIFO whose reader stops reading: the download neither waits
// for the reader nor changes, one status line says why the trace ends early,
// and a reader that wakes up again finds the trace up to the cut and the
// closing note.
TEST(WireTrace, StalledReaderCutsTheTraceAndNeverHoldsUpTheDownload)
{
    trace_file = trace_dir.path("beside-the-fifo.trace");
    const Outcome untraced = download();
    download([] { shell_StartTrace(trace_file.c_str()); });
    const std::string whole_trace = file_Contents(trace_file);
    static const std::string fifo = trace_dir.path("stalled.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    static int reader;
    static bool wakes_up;
    static std::string got;
    const auto drain = [] {
        char chunk[4096];
        for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;) got.append(chunk, size_t(n));
    };
    static void (*drain_now)();
    drain_now = drain;
    for (const bool wakes : {false, true}) {
        SCOPED_TRACE(wakes ? "the reader wakes up after the cut" : "the reader never reads again");
        wakes_up = wakes;
        got.clear();
        reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        alarm(60);  // a write that waits for the reader fails the test rather than never ending
        Outcome traced = download(
            [] {
                ASSERT_EQ(shell_StartTrace(fifo.c_str()), 0);
                // Small enough for the trace to fill it during the first track,
                // whose line then still waits for its progress.
                ASSERT_EQ(fcntl(reader, F_SETPIPE_SZ, 8192), 8192);
            },
            [] {
                if (wakes_up && !wirerec_Recording()) drain_now();
            });
        alarm(0);
        drain();
        close(reader);

        const auto at = std::ranges::find(traced.log, "Trace cut short: " + fifo + " is not read fast enough");
        ASSERT_NE(at, traced.log.end());
        traced.log.erase(at);
        EXPECT_TRUE(traced == untraced);
        // The note may fit the pipe beside the cut trace even while nobody
        // reads; once the reader is back it must come.
        const std::string note = "\n# not read fast enough: nothing more recorded\n";
        const bool noted = got.ends_with(note);
        EXPECT_TRUE(noted || !wakes) << got;
        if (noted) got.resize(got.size() - note.size());
        EXPECT_GT(got.size(), 2000u);
        EXPECT_LT(got.size(), whole_trace.size());
        EXPECT_EQ(got, whole_trace.substr(0, got.size())) << "what was written is the trace's beginning";
    }
}
#endif

}  // namespace
