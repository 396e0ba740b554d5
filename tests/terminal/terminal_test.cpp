// The terminal front end on the simulated logger and clock: what it prints to
// a file and to a terminal, its exit codes, the wait for a missing adapter,
// the erase that follows only a whole download, its track list read twice
// and its skipped tracks' files checked, and the folder lock another
// program holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <pty.h>
#include <sys/stat.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/terminal/documents_dir.h"
#include "platform/terminal/terminal_front.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
constexpr uint32_t ITEMS = 120;
const std::string DONE = "ZORP read done. Data saved.\n";
const std::string FIRST_TRACK = "2015-07-03_0845_001.txt";
const std::string NOT_HELD = "Not erased: " + FIRST_TRACK + " does not hold its track\n";
const std::string FOLDER_BUSY = "Another ZorpLoad is saving into {out}\n";
const std::string NO_ADAPTER =
    "Error - USB adapter not found\nNo FT232R adapter is plugged in: connect the logger's USB cable and try again\n";

// The first track's file as the program writes it, of its first items.
std::string track_Text(uint32_t items)
{
    std::string text;
    for (uint32_t i = 0; i < items; ++i) {
        char sentence[SIM_ITEM_TEXT_MAX];
        text.append(sentence, sim_ItemText(0, i, sentence));
        if (text.ends_with('\r')) text += '\n';
    }
    return text;
}

// Runs the terminal front end with standard output on fd (and standard
// error on error_fd, when given); the exit code.
int run_Into(int fd, const ProgramOptions& options, const TerminalSettings& settings, int error_fd = -1)
{
    fflush(stdout), fflush(stderr);
    const int saved = dup(STDOUT_FILENO), saved_error = dup(STDERR_FILENO);
    dup2(fd, STDOUT_FILENO);
    if (error_fd >= 0) dup2(error_fd, STDERR_FILENO);
    const int code = terminal_Run(options, settings);
    fflush(stdout), fflush(stderr);
    dup2(saved, STDOUT_FILENO), dup2(saved_error, STDERR_FILENO);
    close(saved), close(saved_error);
    return code;
}

int track_Files(const std::string& dir)
{
    if (!fs::is_directory(dir)) return 0;
    return int(std::ranges::count_if(fs::directory_iterator(dir), [](const auto& e) {
        return e.path().extension() == ".txt";
    }));
}

// Another program holding the output folder's lock: a lock of the test's own
// on the lock file, which a second handle of one process meets as another
// program's. The hook lets it go at the run's given try of the lock, and
// at each other file call of the run, the probes of a writable folder left
// out, finds the lock the run's.
int other_lock = -1;
bool other_holds;
uint32_t lock_tries, let_go_at_try, unlocked_calls;

void check_FolderLock(SimFileCall call, const char* path)
{
    if (call == SIM_CALL_LOCK) {
        if (++lock_tries == let_go_at_try) flock(other_lock, LOCK_UN), other_holds = false;
    } else if (path == nullptr || strstr(path, ".zorpload-probe") == nullptr) {
        if (other_holds || flock(other_lock, LOCK_EX | LOCK_NB) == 0) ++unlocked_calls;
        if (!other_holds) flock(other_lock, LOCK_UN);
    }
}

// Each run prints complete lines to a file; the lines that say what went
// wrong go to standard error as well. A run waits for a folder another
// program saves into and saves once it is let go within the wait, else stops
// with its own line and exit code; from the GPX written at start for a track
// already there to the last file, the folder's lock is the run's.
TEST(Terminal, PrintsCompleteLinesCopiesErrorsAndEndsWithTheOutcomeAsExitCode)
{
    const struct Case {
        const char* shows;
        std::function<void()> inject;
        TerminalSettings settings;
        int exit_code;
        int saved;                  // .txt files on disk afterwards
        uint32_t directory_requests;  // summary and listing requests the logger heard
        std::string ends_with;      // the output's end
        std::string errors;         // standard error; {out} stands for the output folder
        uint64_t waited_us = 0;     // at least this much simulated time
        bool erased = false;
        std::string (*planted)() = nullptr;  // the first track's file before the run
        const char* printed_to = nullptr;  // standard output's file, when not a fresh one
        uint32_t let_go_at_try = 0;  // another program locks the folder until this try of the run's; GPX on
    } cases[] = {
        // One waiting line, its time left updated in place: a file gets its last state.
        {"no adapter, looked for again once a second for 3 s", [] { sim_settings.adapter.present = false; },
         {3000, false, false}, OUTCOME_NO_ADAPTER, 0, 0,
         "Waiting up to 3 s for the USB adapter ... 0 s left\n" + NO_ADAPTER + "USB adapter Error! (rv=102)\n",
         NO_ADAPTER + "USB adapter Error! (rv=102)\n", 3000000},
        {"the logger falls silent in the first track", [] { sim_settings.faults.silent_after_items = 60; },
         {0, true, true}, OUTCOME_DOWNLOAD_ERROR, 0, 4, "ZORP read error! (Try again, please)\n",
         "ZORP read error! (Try again, please)\n"},
        {"a track not saved", [] { sim_file_faults.rename.countdown = 1; }, {0, false, false}, OUTCOME_NOT_SAVED, 1, 2,
         "ZORP read done. Some tracks were not saved.\n",
         "Write error, file:{out}/2015-07-03_0845_001.imp\nZORP read done. Some tracks were not saved.\n"},
        // With an erase to follow, the summary and the track list are each taken once two reads agree.
        {"not erased without a yes", [] {}, {0, true, false}, OUTCOME_SAVED, 2, 4, DONE, ""},
        // A track skipped because its file exists is erased only when that file holds it.
        {"not erased when a track's file holds its first sentence alone", [] {}, {0, true, true},
         OUTCOME_DOWNLOAD_ERROR, 2, 4, DONE + NOT_HELD + "GPS erase failed\n", NOT_HELD + "GPS erase failed\n", 0,
         false, [] { return track_Text(1); }},
        {"erased when a track's file from an earlier run holds it whole", [] {}, {0, true, true}, OUTCOME_SAVED, 2, 4,
         DONE + "GPS erase done\n", "", 0, true, [] { return track_Text(ITEMS); }},
        {"not erased when the logger holds more tracks than one listing carries",
         [] { sim_AddTracks(300, 3, 2, 9); }, {0, true, true}, OUTCOME_NOT_SAVED, 300, 7,
         "ZORP read done. Some tracks were not saved.\n", "ZORP read done. Some tracks were not saved.\n"},
        // A run whose report is lost must not pass for one that went well, nor erase.
        {"standard output on a full disk", [] {}, {0, true, true}, OUTCOME_OUTPUT_FAILED, 0, 0, "",
         std::string(program_invocation_short_name) + ": cannot write to standard output: No space left on device\n",
         0, false, nullptr, "/dev/full"},
        {"a folder let go within the wait", [] {}, {0, false, false}, OUTCOME_SAVED, 2, 2,
         "File: 2015-07-04_0845_002.txt ... read GPS data (100%)\nGPX: 2015-07-04_0845_002.gpx (80 points)\n" + DONE,
         "", 0, false,
         [] { return track_Text(ITEMS); }, nullptr, 2},
        {"a folder held for the whole wait", [] {}, {0, false, false}, OUTCOME_FOLDER_BUSY, 1, 0, FOLDER_BUSY,
         FOLDER_BUSY, 0, false, [] { return track_Text(ITEMS); }, nullptr, UINT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        const TempDir temp;
        sim_Reset(), sim_ResetFiles();
        sim_AddTracks(2, 1, ITEMS, 7);
        c.inject();
        const uint64_t start_us = sim_NowUs();
        const std::string out = temp.path("out"), errors = temp.path("errors");
        const std::string printed = c.printed_to != nullptr ? c.printed_to : temp.path("printed");
        if (c.planted != nullptr) fs::create_directory(out), std::ofstream(path_Join(out, FIRST_TRACK)) << c.planted();
        lock_tries = unlocked_calls = 0, let_go_at_try = c.let_go_at_try;
        if (c.let_go_at_try != 0) {
            other_lock = open(path_Join(out, FOLDER_LOCK_NAME).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            other_holds = flock(other_lock, LOCK_EX | LOCK_NB) == 0;
            sim_file_faults.hook = check_FolderLock;
        }
        const int fd = open(printed.c_str(), O_WRONLY | O_CREAT, 0644);
        const int error_fd = open(errors.c_str(), O_WRONLY | O_CREAT, 0644);
        EXPECT_EQ(run_Into(fd, {out.c_str(), {}, {}, c.let_go_at_try != 0}, c.settings, error_fd), c.exit_code);
        close(fd), close(error_fd);
        if (c.let_go_at_try != 0) close(other_lock);
        const auto with_Out = [&](std::string expected) {
            if (const size_t at = expected.find("{out}"); at != std::string::npos) expected.replace(at, 5, out);
            return expected;
        };
        EXPECT_EQ(file_Contents(errors), with_Out(c.errors));

        const std::string text = fs::is_regular_file(printed) ? file_Contents(printed) : "";
        EXPECT_TRUE(text.ends_with(with_Out(c.ends_with))) << text;
        EXPECT_EQ(text.find_first_of("\r\x1b"), std::string::npos) << "a redraw in a file";
        EXPECT_EQ(unlocked_calls, 0u) << "a file call while the folder's lock was not the run's";
        EXPECT_EQ(track_Files(out), c.saved);
        EXPECT_EQ(sim_stats.requests_by_command[0x12], c.directory_requests);
        EXPECT_GE(sim_NowUs() - start_us, c.waited_us);
        EXPECT_LT(sim_NowUs() - start_us, c.waited_us != 0 ? c.waited_us + 1000000 : UINT64_MAX) << "waited too long";
        EXPECT_EQ(sim_stats.erases, c.erased ? 1u : 0u);
    }
}

TEST(Terminal, RedrawsTheProgressInPlaceOnATerminal)
{
    const TempDir temp;
    int master = -1, slave = -1;
    winsize narrow {};
    narrow.ws_row = 24, narrow.ws_col = 60;  // a track's line takes two rows
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, &narrow), 0);
    fcntl(master, F_SETFL, O_NONBLOCK);
    sim_Reset(), sim_ResetFiles();
    sim_AddTracks(1, 1, ITEMS, 7);
    // The terminal turns "\n" into "\r\n" on the way out.
    EXPECT_EQ(run_Into(slave, {temp.path("out").c_str(), {}, {}, {}}, {0, false, false}), OUTCOME_SAVED);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, size_t(n));
    const std::string track = "Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... read GPS data";
    EXPECT_NE(shown.find("\r\x1b[1A" + track + " (100%)\x1b[J\r\nZORP read done. Data saved.\r\n"), std::string::npos)
        << shown;
    close(slave), close(master);
}

// The documents folder from the XDG user directories, found without waiting
// on what stands in place of user-dirs.dirs; unknown without a home folder.
TEST(Terminal, FindsTheDocumentsFolderTheXdgUserDirectoriesName)
{
    const struct {
        const char* shows;
        std::string user_dirs;  // "FIFO": a FIFO in its place; "ZERO": a link to /dev/zero, which never ends
        bool config_home;       // in $XDG_CONFIG_HOME rather than ~/.config
        const char* expected;   // "~" for the home folder; "" unknown
    } cases[] = {
        {"home relative", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", false,
         "~/Dokumente"},
        {"absolute with a trailing slash", "XDG_DOCUMENTS_DIR=\"/srv/papers/\"\n", false, "/srv/papers"},
        {"in XDG_CONFIG_HOME", "XDG_DOCUMENTS_DIR=\"$HOME/Papiers\"\n", true, "~/Papiers"},
        {"commented out", "# XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", false, "~/Documents"},
        {"$HOME followed by other letters", "XDG_DOCUMENTS_DIR=\"$HOMEWORK/Docs\"\n", false, "~/Documents"},
        {"a FIFO in place of the file", "FIFO", false, "~/Documents"},
        {"a link to an endless device", "ZERO", false, "~/Documents"},
        {"a folder too long", "XDG_DOCUMENTS_DIR=\"/" + std::string(260, '0') + "\"\n", false, ""},
    };
    const std::string old_home = getenv("HOME") ? getenv("HOME") : "";
    char dir[PROGRAM_DIR_SIZE];
    alarm(10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shows);
        const TempDir temp;
        const std::string home = temp.path("home"), config = c.config_home ? temp.path("config") : home + "/.config";
        fs::create_directories(config);
        const std::string user_dirs = config + "/user-dirs.dirs";
        if (c.user_dirs == "FIFO")
            EXPECT_EQ(mkfifo(user_dirs.c_str(), 0600), 0);
        else if (c.user_dirs == "ZERO")
            fs::create_symlink("/dev/zero", user_dirs);
        else
            std::ofstream(user_dirs) << c.user_dirs;
        setenv("HOME", home.c_str(), 1);
        if (c.config_home) setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        else unsetenv("XDG_CONFIG_HOME");
        documents_Dir(dir);
        EXPECT_EQ(std::string(dir), c.expected[0] == '~' ? home + (c.expected + 1) : c.expected);
    }
    unsetenv("HOME");
    documents_Dir(dir);
    EXPECT_STREQ(dir, "") << "without a home folder";
    setenv("HOME", old_home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    alarm(0);
}

}  // namespace
