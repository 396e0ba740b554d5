// The output folder chosen at start-up: the program's folder when it can be
// written, else one in the user's documents, a named folder over both, and
// a clear stop before the adapter is touched when none can be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Every path below is relative to the case's own temporary folder; "" is
// "not given". "file" is a plain file, so nothing can be made below it.
constexpr const char* CANNOT = "Error - cannot write track files to ";

struct Case {
    const char* shows;
    std::string program_dir;
    std::string made;         // the folder made beforehand
    const char* chosen;
    const char* documents;
    std::string expected;     // "" when no folder can be written
    const char* error_names = "";  // "": any folder
    bool demo = false;
    void (*inject)() = [] {};
    const char* error = CANNOT;
    bool awaited = false;  // the folder's lock is held by another program at start
};

// The program started afresh from the folder prog, on a fresh simulated logger.
void start(const std::string& prog)
{
    sim_Reset(), sim_ResetFiles(), fake_WindowReset();
    sim_SetProgramPath(path_Join(prog, "zorpload").c_str());
    shell_Start(&fake_window, nullptr);
}

// 226 characters before the separator: with a 33-character temporary name
// the path needs 261 bytes.
const std::string DEEP = "prog/" + std::string(120, 'a') + "/" + std::string(120, 'b');
const std::string CRAMPED = DEEP.substr(0, 226 - 1 - TempDir().dir.size());
const std::string LONG = std::string(150, 'n') + "/" + std::string(150, 'n');
const std::string LONG_CUT = "prog/" + std::string(150, 'n');  // where the path's first 259 bytes lead
const std::string TOO_LONG = "out/" + std::string(5000, 'x');

TEST(OutputDir, ProgramFolderDocumentsOrTheNamedOneAndAStopWhenNoneCanBeWritten)
{
    const Case cases[] = {
        {"the program's folder, when writable", "prog", "prog", "", "docs", "prog"},
        {"documents when the program's folder is missing", "prog", "", "", "docs", "docs/ZorpLoad"},
        {"documents when the program path does not fit: never its parent", "prog/" + LONG, LONG_CUT, "", "docs",
         "docs/ZorpLoad"},
        {"documents when the path leaves no room for a temporary name", CRAMPED, CRAMPED, "", "docs", "docs/ZorpLoad"},
        {"the named folder over a writable program folder, every missing one above made, no trailing separator",
         "prog", "prog", "new/a/b/c//", "docs", "new/a/b/c"},
        {"the named folder, and no fallback when it cannot be made", "prog", "prog", "file/out", "docs", "",
         "file/out"},
        {"a named folder too long to take, named in the error", "prog", "prog", TOO_LONG.c_str(), "docs", "",
         TOO_LONG.c_str()},
        {"no folder when documents cannot be made either", "prog", "", "", "file/docs", "",
         "file/docs/ZorpLoad"},
        {"no folder when documents are unknown", "prog", "", "", "", "", "prog"},
        {"no folder while another program saves into it for the whole wait", "prog", "prog", "", "docs", "", "prog",
         false, [] { sim_file_faults.lock_held_until_us = sim_NowUs() + FOLDER_WAIT_MS * 1000ull + 1; },
         "Another ZorpLoad is saving into ", true},
        {"the folder another program lets go of within the wait", "prog", "prog", "", "docs", "prog", "", false,
         [] { sim_file_faults.lock_held_until_us = sim_NowUs() + FOLDER_WAIT_MS * 1000ull - 1000; }, CANNOT, true},
        {"no folder when its lock file cannot be made", "prog", "prog", "", "docs", "", "prog", false,
         [] { sim_file_faults.lock.countdown = 1; }},
        {"a demo in documents' folder of its own, never the writable program folder", "prog", "prog", "", "docs",
         "docs/ZorpLoad/Demo", "", true},
        {"a demo without documents: no folder, never the program's", "prog", "prog", "", "", "", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        const TempDir temp;
        const auto at = [&](const std::string& relative) {
            return relative.empty() ? "" : temp.path(native_Path(relative).c_str());
        };
        std::ofstream(at("file")) << "x";
        if (!c.made.empty()) fs::create_directories(at(c.made));
        demo_run = c.demo;
        start(at(c.program_dir));
        c.inject();
        const int result = shell_ChooseOutputDir(at(c.chosen).c_str(), at(c.documents).c_str());
        demo_run = false;
        EXPECT_EQ(result, c.awaited ? OUTPUT_DIR_AWAITED : c.expected.empty() ? OUTPUT_DIR_NONE : OUTPUT_DIR_TAKEN);
        // The window's ticks wait for a lock another program holds, each returning at once.
        uint32_t wait_ticks = 0;
        for (; output_dir_awaited && wait_ticks < 1000; ++wait_ticks) {
            EXPECT_EQ(output_dir, at("prog")) << "the folder chosen, while its lock is awaited";
            const uint64_t before = sim_NowUs();
            shell_Tick();
            EXPECT_EQ(sim_NowUs(), before) << "a tick slept";
            sys_Sleep(TICK_PERIOD_MS);
        }
        EXPECT_EQ(wait_ticks * TICK_PERIOD_MS, c.awaited ? FOLDER_WAIT_MS + TICK_PERIOD_MS : 0);
        EXPECT_EQ(output_dir, at(c.expected));
        for (const auto& entry : fs::recursive_directory_iterator(temp.dir)) {
            EXPECT_TRUE(entry.is_directory() || entry.path() == at("file") || entry.path().filename() == FOLDER_LOCK_NAME)
                << "left behind: " << entry.path();
        }
        EXPECT_EQ(fs::exists(at("docs")), c.expected.starts_with("docs/ZorpLoad")) << "documents made only when used";

        // A folder that can be written leaves the download as it was; with
        // none the first tick asks its error question, adapter untouched.
        sequencer_Tick(&fake_window);
        if (c.expected.empty()) {
            const std::string named = c.error_names[0] != '\0' ? at(c.error_names) : "any folder";
            EXPECT_EQ(std::string(status_log[0]), (c.error + named).substr(0, LOG_LINE_SIZE - 1));
            ASSERT_EQ(fake_window.box_count, 1);
            EXPECT_STREQ(fake_window.boxes[0].title, "Download error");
            EXPECT_FALSE(sim_AdapterOpen());
        } else {
            EXPECT_STREQ(status_log[0], "USB adapter check     ... o.k.");
        }
        shell_Shutdown();
    }
}

// Names planted where a probe might go do not make a writable folder look
// unwritable: folders at fixed probe-like names and at the name this start
// tries first, and another program's probe held at the name tried next.
TEST(OutputDir, FoldersAndAnotherProgramsProbeAtProbeNamesLeaveTheFolderWritable)
{
    const TempDir temp;
    const std::string out = temp.path("out");
    fs::create_directories(out);
    start(temp.path("prog"));
    const auto probe_Name = [](uint32_t attempt) {
        char name[32];
        snprintf(name, sizeof name, ".zorpload-probe-%08x", unsigned(uint32_t(sim_NowUs()) + attempt * 0x9E3779B9u));
        return std::string(name);
    };
    for (const std::string& name : {std::string(".zorpload-probe"), std::string(".zorpload-probe1"),
                                     std::string(".zorpload-probe2"), std::string(".zorpload-probe3"), probe_Name(0)})
        fs::create_directory(path_Join(out, name));
    const int held = sys_FileCreate(path_Join(out, probe_Name(1)).c_str());
    ASSERT_GE(held, 0);

    EXPECT_EQ(shell_ChooseOutputDir(out.c_str(), ""), 0);
    EXPECT_EQ(output_dir, out);
    EXPECT_TRUE(fs::is_regular_file(path_Join(out, probe_Name(1)))) << "the other program's probe was removed";
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 7)
        << "a probe left behind beside the planted ones, the other's and the folder's lock file";
    sys_FileClose(held);
    shell_Shutdown();
}

// Starts the program again with the window's remembered settings kept, as
// a user's are across restarts; named is --output-dir, gpx --gpx.
void restart(const std::string& prog, const char* named = nullptr, bool gpx = false)
{
    start(prog);
    shell_ApplyStartOptions(nullptr, named, "", gpx);
}

// The window's File menu after the download: the folder in use is shown,
// opened and changed only while no download runs, and the folder and the
// GPX choice are remembered for the next start, where the command line
// still wins; a demo remembers its own.
TEST(OutputDir, TheWindowShowsOpensChangesAndRemembersTheTrackFolderAndTheGpxChoice)
{
    const TempDir temp;
    const std::string prog = temp.path("prog"), other = temp.path("other"), named = temp.path("named");
    std::ofstream(temp.path("file")) << "x";
    fs::create_directories(prog);
    fake_SettingsReset();
    restart(prog);

    fake_window.open_result = -1;
    shell_Command(CMD_OPEN_FOLDER);
    ASSERT_EQ(fake_window.box_count, 1);
    EXPECT_EQ(std::string(fake_window.boxes[0].text), "No file manager could show the track folder " + prog);

    // During the download the command does nothing.
    snprintf(fake_window.folder_answer, sizeof fake_window.folder_answer, "%s", other.c_str());
    shell_Command(CMD_CHOOSE_FOLDER);
    EXPECT_STREQ(fake_window.folder_start, "") << "a folder dialog during the download";
    EXPECT_EQ(output_dir, prog);

    seq_state = SEQ_IDLE;
    snprintf(fake_window.folder_answer, sizeof fake_window.folder_answer, "%s", path_Join(temp.path("file"), "x").c_str());
    shell_Command(CMD_CHOOSE_FOLDER);
    EXPECT_EQ(output_dir, prog) << "a folder that cannot be written is not taken";
    EXPECT_EQ(std::string(status_log[log_LastUsedLine()]), "Error - cannot write track files to " +
                                                               path_Join(temp.path("file"), "x"));
    snprintf(fake_window.folder_answer, sizeof fake_window.folder_answer, "%s", other.c_str());
    shell_Command(CMD_CHOOSE_FOLDER);
    EXPECT_EQ(output_dir, other);
    shell_Command(CMD_SAVE_GPX);
    shell_Shutdown();

    restart(prog);
    EXPECT_EQ(output_dir, other) << "the chosen folder is remembered";
    EXPECT_TRUE(gpx_enabled) << "the GPX choice is remembered";
    shell_Command(CMD_SAVE_GPX);
    shell_Shutdown();
    restart(prog, named.c_str(), true);
    EXPECT_EQ(output_dir, named) << "--output-dir wins for its run";
    EXPECT_TRUE(gpx_enabled) << "--gpx wins for its run";
    shell_Shutdown();
    restart(prog);
    EXPECT_EQ(output_dir, other) << "--output-dir is not remembered";
    EXPECT_FALSE(gpx_enabled) << "GPX off is remembered, --gpx is not";
    shell_Shutdown();

    demo_run = true;
    restart(prog);
    demo_run = false;
    EXPECT_STREQ(status_log[0], "Demo run on a simulated logger");
    EXPECT_EQ(std::string(fake_window.title), "ZorpLoad - simulated logger") << "a demo never takes the real folder";
    shell_Shutdown();
    fake_SettingsReset();
}

// "Choose track folder..." takes the new folder's lock at one try: a folder
// another program saves into is refused at once, the old folder kept; a free
// one is taken, and with GPX on its older tracks get their GPX at once.
TEST(OutputDir, AChosenFolderIsTakenOnlyWithItsLock)
{
    static std::string held_by_other;
    for (const bool other_saves_there : {true, false}) {
        SCOPED_TRACE(other_saves_there ? "another program saves into it" : "free");
        const TempDir temp;
        const std::string prog = temp.path("prog"), chosen = temp.path("chosen");
        fs::create_directories(prog), fs::create_directories(chosen);
        std::ofstream(path_Join(chosen, "2015-07-04_0845_002.txt")) << "x";
        fake_SettingsReset(), start(prog);
        ASSERT_EQ(shell_ChooseOutputDir(prog.c_str(), ""), OUTPUT_DIR_TAKEN);
        shell_SetGpx(true), seq_state = SEQ_IDLE;
        held_by_other = other_saves_there ? chosen : "";
        sim_file_faults.hook = [](SimFileCall call, const char* path) {
            if (call == SIM_CALL_LOCK) sim_file_faults.lock_held_until_us = path == held_by_other ? UINT64_MAX : 0;
        };
        snprintf(fake_window.folder_answer, sizeof fake_window.folder_answer, "%s", chosen.c_str());
        const uint64_t before = sim_NowUs();
        shell_Command(CMD_CHOOSE_FOLDER);

        EXPECT_EQ(sim_NowUs(), before) << "waited for the lock";
        EXPECT_EQ(output_dir, other_saves_there ? prog : chosen);
        EXPECT_EQ(fs::exists(path_Join(chosen, FOLDER_LOCK_NAME)), !other_saves_there) << "the lock not taken";
        EXPECT_EQ(std::string(status_log[log_LastUsedLine()]),
                  other_saves_there ? "Another ZorpLoad is saving into " + chosen
                                    : "GPX: 2015-07-04_0845_002.txt has no usable fix, no GPX written");
        shell_Shutdown(), sim_ResetFiles(), fake_SettingsReset();
    }
}

}  // namespace
