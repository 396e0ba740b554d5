// The terminal front end on the simulated logger and clock: what it prints to
// a file and to a terminal, its exit codes, the wait for a missing adapter,
// and the erase that follows only a whole download, its track list read twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal/terminal_front.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t ITEMS = 120;
const std::string DONE = "ZORP read done. Data saved.\n";

// Runs the terminal front end with standard output on fd; the exit code.
int run_Into(int fd, const ProgramOptions& options, const TerminalSettings& settings)
{
    fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fd, STDOUT_FILENO);
    const int code = terminal_Run(options, settings);
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    return code;
}

int txt_Files(const std::string& dir)
{
    if (!fs::is_directory(dir)) return 0;
    return int(std::ranges::count_if(fs::directory_iterator(dir), [](const auto& e) {
        return e.path().extension() == ".txt";
    }));
}

TEST(Terminal, PrintsCompleteLinesToAFileAndEndsWithTheOutcomeAsExitCode)
{
    const struct Case {
        const char* shows;
        std::function<void()> inject;
        TerminalSettings settings;
        int exit_code;
        int saved;                  // .txt files on disk afterwards
        uint32_t directory_requests;  // summary and listing requests the logger heard
        std::string ends_with;      // the output's end
        uint64_t waited_us = 0;     // at least this much simulated time
        bool erased = false;
    } cases[] = {
        {"a whole download", [] {}, {0, false, false}, OUTCOME_SAVED, 2, 2,
         "File: 2015-07-04_0845_002.txt ... read GPS data (100%)\n" + DONE},
        // One waiting line, its time left updated in place: a file gets its last state.
        {"no adapter, looked for again once a second for 3 s", [] { sim_settings.adapter.present = false; },
         {3000, false, false}, OUTCOME_NO_ADAPTER, 0, 0,
         "Waiting up to 3 s for the USB adapter ... 0 s left\n"
         "Error - USB adapter not found\nUSB adapter Error! (rv=102)\n",
         3000000},
        {"the logger falls silent in the first track", [] { sim_settings.faults.silent_after_items = 60; },
         {0, true, true}, OUTCOME_DOWNLOAD_ERROR, 0, 4, "ZORP read error! (Try again, please)\n"},
        {"a track not saved", [] { sim_file_faults.rename.countdown = 1; }, {0, false, false}, OUTCOME_NOT_SAVED, 1, 2,
         "ZORP read done. Some tracks were not saved.\n"},
        // With an erase to follow, the summary and the track list are each taken once two reads agree.
        {"erased after a whole download", [] {}, {0, true, true}, OUTCOME_SAVED, 2, 4, DONE + "GPS erase done\n",
         0, true},
        {"erased once the track list read without its last track is read again whole",
         [] { sim_settings.faults.lose_listing_reply = 2; }, {0, true, true}, OUTCOME_SAVED, 2, 5,
         DONE + "GPS erase done\n", 0, true},
        {"not erased without a yes", [] {}, {0, true, false}, OUTCOME_SAVED, 2, 4, DONE},
        {"not erased when the logger holds more tracks than one listing carries",
         [] { sim_AddTracks(300, 3, 2, 9); }, {0, true, true}, OUTCOME_NOT_SAVED, 300, 7,
         "ZORP read done. Some tracks were not saved.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        const TempDir temp;
        sim_Reset(), sim_ResetFiles();
        sim_AddTracks(2, 1, ITEMS, 7);
        c.inject();
        const uint64_t start_us = sim_NowUs();
        const std::string out = temp.path("out"), printed = temp.path("printed");
        const int fd = open(printed.c_str(), O_WRONLY | O_CREAT, 0644);
        EXPECT_EQ(run_Into(fd, {QByteArray(out.c_str()), {}, {}, {}}, c.settings), c.exit_code);
        close(fd);

        const std::string text = file_Contents(printed);
        EXPECT_TRUE(text.ends_with(c.ends_with)) << text;
        EXPECT_EQ(text.find_first_of("\r\x1b"), std::string::npos) << "a redraw in a file";
        const auto count = [&](const std::string& part) {
            size_t n = 0;
            for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
            return n;
        };
        EXPECT_EQ(count("%)"), count("read GPS data (")) << "a track line printed more than once";
        EXPECT_LE(count("USB adapter not found"), 1u) << "a line per look for the adapter";
        EXPECT_EQ(txt_Files(out), c.saved);
        EXPECT_EQ(sim_stats.requests_by_command[0x12], c.directory_requests);
        EXPECT_GE(sim_NowUs() - start_us, c.waited_us);
        EXPECT_LT(sim_NowUs() - start_us, c.waited_us != 0 ? c.waited_us + 1000000 : UINT64_MAX) << "waited too long";
        EXPECT_EQ(sim_stats.erases, c.erased ? 1u : 0u);
        EXPECT_FALSE(sim_AdapterOpen());
    }
}

TEST(Terminal, RedrawsTheProgressInPlaceOnATerminalAndStopsWhenNoFolderCanBeWritten)
{
    const TempDir temp;
    int master = -1, slave = -1;
    winsize narrow {};
    narrow.ws_row = 24, narrow.ws_col = 60;  // a track's line takes two rows
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &narrow), 0);
    fcntl(master, F_SETFL, O_NONBLOCK);
    auto read_All = [&] {
        std::string text;
        char buffer[4096];
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
        return text;
    };
    sim_Reset(), sim_ResetFiles();
    sim_AddTracks(1, 1, ITEMS, 7);
    // The terminal turns "\n" into "\r\n" on the way out.
    EXPECT_EQ(run_Into(slave, {QByteArray(temp.path("out").c_str()), {}, {}, {}}, {0, false, false}), OUTCOME_SAVED);
    const std::string shown = read_All();
    EXPECT_NE(shown.find("\r\nOutput directory: " + temp.path("out") + "\r\n"), std::string::npos);
    const std::string track = "Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... read GPS data";
    EXPECT_NE(shown.find(track + "       \x1b[J\r\x1b[1A" + track + " (  0%)\x1b[J"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\x1b[1A" + track + " (100%)\x1b[J\r\nZORP read done. Data saved.\r\n"),
              std::string::npos);

    // A terminal one column wide: a track's line fills far more rows than
    // the terminal has, and a redraw goes up to the top row, never above.
    winsize one_column {};
    one_column.ws_row = 24, one_column.ws_col = 1;
    ASSERT_EQ(ioctl(master, TIOCSWINSZ, &one_column), 0);
    sim_Reset(), sim_ResetFiles();
    sim_AddTracks(1, 2, ITEMS, 7);
    EXPECT_EQ(run_Into(slave, {QByteArray(temp.path("out").c_str()), {}, {}, {}}, {0, false, false}), OUTCOME_SAVED);
    const std::string tall = read_All();
    EXPECT_NE(tall.find("\x1b[23A"), std::string::npos) << "no redraw from the top row";
    for (size_t at = tall.find("\x1b["); at != std::string::npos; at = tall.find("\x1b[", at + 1)) {
        const int rows = std::atoi(tall.c_str() + at + 2);
        EXPECT_LE(rows, 23) << "a redraw moved the cursor above the terminal";
    }

    // No folder to write: one line, the adapter never opened, exit code 1.
    std::ofstream(temp.path("file")) << "x";
    sim_Reset(), sim_ResetFiles();
    EXPECT_EQ(run_Into(slave, {QByteArray(temp.path("file/out").c_str()), {}, {}, {}}, {0, false, false}),
              OUTCOME_DOWNLOAD_ERROR);
    EXPECT_EQ(read_All(), "Error - cannot write track files to " + temp.path("file/out") + "\r\n");
    EXPECT_EQ(sim_stats.write_calls, 0u) << "the adapter was used";
    close(slave), close(master);
}

// Standard output on a full disk: one line on standard error says so, the
// run stops with its own exit code, and the logger is not erased after a
// run whose report was lost.
TEST(Terminal, StandardOutputThatCannotBeWrittenEndsTheRunWithItsOwnExitCode)
{
    const TempDir temp;
    sim_Reset(), sim_ResetFiles();
    sim_AddTracks(2, 1, ITEMS, 7);
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const std::string said = temp.path("stderr");
    const int error_file = open(said.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    fflush(stderr);
    const int saved_error = dup(STDERR_FILENO);
    dup2(error_file, STDERR_FILENO);
    const int code = run_Into(full, {QByteArray(temp.path("out").c_str()), {}, {}, {}}, {0, true, true});
    fflush(stderr);
    dup2(saved_error, STDERR_FILENO);
    close(saved_error), close(error_file), close(full);

    EXPECT_EQ(code, OUTCOME_OUTPUT_FAILED);
    EXPECT_EQ(file_Contents(said), std::string(program_invocation_short_name) +
                                       ": cannot write to standard output: No space left on device\n");
    EXPECT_EQ(sim_stats.erases, 0u);
    EXPECT_FALSE(sim_AdapterOpen());
}

}  // namespace
