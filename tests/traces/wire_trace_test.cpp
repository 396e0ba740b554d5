// The wire trace recorder on the simulated logger: its size limit, and a
// trace file that fails or stalls, which must leave the download as it is
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
#include "link/wire_record.h"
#include "platform/file_writer.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
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

// A download of three tracks, a trace longer than a writer holds, ticked as a
// front end does; the trace ends as the program's does.
Outcome download(void (*trace_setup)() = nullptr, void (*each_tick)() = nullptr)
{
    session_Begin();
    sim_AddTracks(3, 1, 5000, 7);
    trace_session_AlignClock();
    if (trace_setup != nullptr) trace_setup();
    while (seq_state != SEQ_IDLE) {
        session_Tick();
        if (each_tick != nullptr) each_tick();
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

void start_Trace()
{
    ASSERT_EQ(shell_StartTrace(trace_file.c_str()), 0);
}

const Outcome& untraced()
{
    static const Outcome outcome = download();
    return outcome;
}

// The trace of a download onto a file that takes every byte.
const std::string& whole_trace()
{
    static const std::string trace = [] {
        trace_file = trace_dir.path("whole.trace");
        EXPECT_TRUE(download(start_Trace) == untraced());
        return file_Contents(trace_file);
    }();
    return trace;
}

TEST(WireTrace, SizeLimitCutsTheTraceAtAWholeLineAndKeepsTheDownload)
{
    trace_file = trace_dir.path("cut.trace");
    EXPECT_TRUE(download([] { ASSERT_EQ(wirerec_Start(trace_file.c_str(), 4000), 0); }) == untraced());
    const std::string cut_trace = file_Contents(trace_file);
    EXPECT_LE(cut_trace.size(), 4000u);
    const std::string note = "# size limit of 4000 bytes reached: nothing more recorded\n";
    ASSERT_TRUE(cut_trace.ends_with(note)) << cut_trace;
    const std::string kept = cut_trace.substr(0, cut_trace.size() - note.size());
    EXPECT_GT(kept.size(), 3800u);
    EXPECT_TRUE(kept.ends_with("\n"));
    // Apart from the limit in its header, what is kept is the trace's beginning.
    const size_t kept_events = kept.find("\n   "), whole_events = whole_trace().find("\n   ");
    EXPECT_EQ(kept.substr(kept_events), whole_trace().substr(whole_events, kept.size() - kept_events));
}

#ifndef _WIN32
int reader;  // the reading end of a FIFO the trace goes into
std::string drained;

void drain()
{
    char chunk[4096];
    for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;) drained.append(chunk, size_t(n));
}

void start_Fifo()
{
    ASSERT_EQ(mkfifo(trace_file.c_str(), 0600), 0);
    reader = open(trace_file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    drained.clear();
    alarm(60);  // a write that waits for the reader fails the test rather than never ending
    start_Trace();
    // Small enough for the trace to fill it during the first track, whose
    // line then still waits for its progress.
    ASSERT_EQ(fcntl(reader, F_SETPIPE_SZ, 8192), 8192);
}

std::string fifo_Drained()
{
    alarm(0);
    drain();
    close(reader);
    return drained;
}
#endif

// A trace file that cannot be written, or that does not take bytes without a
// wait (a disk that stalls like a hung network share, a FIFO whose reader
// stops reading): the download neither waits nor changes, and one status
// line says why there is no whole trace. A file that takes bytes again after
// the cut gets the trace up to the cut and a closing note; one that never
// does loses what waited, and the program's end does not wait for it.
TEST(WireTrace, FailingOrStalledTraceFileNeverChangesOrHoldsUpTheDownload)
{
    constexpr const char* NOT_READ = "Trace cut short: PATH is not read fast enough";
    enum Note { NO_NOTE, NOTE, NOTE_OR_NOT };  // a stalled pipe may still take the short note
    const struct {
        const char* name;
        const char* line;  // the status line that says why, PATH for the trace's path
        void (*start)();
        void (*each_tick)();
        size_t kept_min, kept_max;  // how much of the trace's beginning reaches the file
        Note note;
        std::string (*reached)() = nullptr;  // what reached the file; nullptr: the file's contents
    } rows[] = {
        {"cannot-create.trace", "Trace not recorded: cannot write PATH",
         [] {
             sim_file_faults.create = {1, false, 0};
             shell_StartTrace(trace_file.c_str());
         },
         nullptr, 0, 0, NO_NOTE},
        {"cannot-write.trace", "Trace cut short: cannot write PATH",
         [] {
             sim_file_faults.write = {1, false, 0};
             start_Trace();
         },
         nullptr, 0, 0, NO_NOTE},
        {"disk-back-after-the-cut.trace", NOT_READ,
         [] {
             start_Trace();
             sim_StallUserDisk(true);
         },
         [] { if (!wirerec_Recording()) sim_StallUserDisk(false); }, WRITER_BUFFER_SIZE / 2 + 1, WRITER_BUFFER_SIZE,
         NOTE},
#ifndef _WIN32
        {"reader-never-reads-again.fifo", NOT_READ, start_Fifo, nullptr, 2001, 8192, NOTE_OR_NOT, fifo_Drained},
        {"reader-wakes-after-the-cut.fifo", NOT_READ, start_Fifo, [] { if (!wirerec_Recording()) drain(); }, 2001, 8192,
         NOTE, fifo_Drained},
#endif
    };
    ASSERT_GT(whole_trace().size(), 2 * WRITER_BUFFER_SIZE);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        trace_file = trace_dir.path(row.name);
        Outcome traced = download(row.start, row.each_tick);
        const std::string got = row.reached != nullptr ? row.reached() : file_Contents(trace_file);

        std::string line = row.line;
        line.replace(line.find("PATH"), 4, trace_file);
        const auto at = std::ranges::find(traced.log, line);
        ASSERT_NE(at, traced.log.end());
        traced.log.erase(at);
        EXPECT_TRUE(traced == untraced());
        const std::string note = "\n# not read fast enough: nothing more recorded\n";
        const bool noted = got.ends_with(note);
        EXPECT_TRUE(row.note == NOTE_OR_NOT || noted == (row.note == NOTE))
            << got.substr(got.size() - std::min<size_t>(got.size(), 200));
        const std::string kept = got.substr(0, got.size() - (noted ? note.size() : 0));
        EXPECT_GE(kept.size(), row.kept_min);
        EXPECT_LE(kept.size(), row.kept_max);
        EXPECT_TRUE(kept == whole_trace().substr(0, kept.size())) << "what reached the file is the trace's beginning";
    }
}

}  // namespace
