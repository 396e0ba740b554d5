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
struct Case {
    const char* shows;
    std::string program_dir;
    std::string made;         // the folder made beforehand
    const char* chosen;
    const char* documents;
    std::string expected;     // "" when no folder can be written
    const char* error_names = "";
    void (*inject)() = [] {};
    const char* error = "Error - cannot write track files to ";
};

const std::string DEEP = "prog/" + std::string(120, 'a') + "/" + std::string(120, 'b');
const std::string ROOMY = DEEP.substr(0, 225 - 1 - TempDir().dir.size());
const std::string LONG = std::string(150, 'n') + "/" + std::string(150, 'n');
const std::string LONG_CUT = "prog/" + std::string(150, 'n');  // where the path's first 259 bytes lead

TEST(OutputDir, ProgramFolderDocumentsOrTheNamedOneAndAStopWhenNoneCanBeWritten)
{
    const Case cases[] = {
        {"the program's folder, when writable", "prog", "prog", "", "docs", "prog"},
        {"documents when the program's folder is missing", "prog", "", "", "docs", "docs/ZorpLoad"},
        {"documents when the program path does not fit: never its parent", "prog/" + LONG, LONG_CUT, "", "docs",
         "docs/ZorpLoad"},
        // 226 characters before the separator: with a 33-character temporary
        // name the path needs 261 bytes.
        {"documents when the path leaves no room for a temporary name",
         DEEP.substr(0, 226 - 1 - TempDir().dir.size()), DEEP.substr(0, 226 - 1 - TempDir().dir.size()), "", "docs",
         "docs/ZorpLoad"},
        {"the program's folder with just room for a temporary name", ROOMY, ROOMY, "", "docs", ROOMY},
        {"the named folder over a writable program folder, made, no trailing separator", "prog", "prog", "out//",
         "docs", "out"},
        {"the named folder, and no fallback when it cannot be made", "prog", "prog", "file/out", "docs", "",
         "file/out"},
        {"no folder when documents cannot be made either", "prog", "", "", "file/docs", "",
         "file/docs/ZorpLoad"},
        {"no folder when documents are unknown", "prog", "", "", "", "", "prog"},
        {"no folder while another program saves into it for the whole wait", "prog", "prog", "", "docs", "", "prog",
         [] { sim_file_faults.lock_held_until_us = sim_NowUs() + FOLDER_WAIT_MS * 1000ull + 1; },
         "Another ZorpLoad is saving into "},
        {"the folder another program lets go of within the wait", "prog", "prog", "", "docs", "prog", "",
         [] { sim_file_faults.lock_held_until_us = sim_NowUs() + FOLDER_WAIT_MS * 1000ull - 1000; }},
        {"no folder when its lock file cannot be made", "prog", "prog", "", "docs", "", "prog",
         [] { sim_file_faults.lock.countdown = 1; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shows);
        const TempDir temp;
        // The cases measure paths against a temporary folder of this length.
        ASSERT_EQ(temp.dir.size(), TempDir().dir.size());
        const auto at = [&](const std::string& relative) {
            return relative.empty() ? "" : temp.path(native_Path(relative).c_str());
        };
        std::ofstream(at("file")) << "x";
        if (!c.made.empty()) fs::create_directories(at(c.made));
        sim_Reset(), sim_ResetFiles(), fake_WindowReset();
        sim_SetProgramPath(path_Join(at(c.program_dir), "zorpload").c_str());
        shell_Start(&fake_window, nullptr);
        c.inject();

        const int result = shell_ChooseOutputDir(at(c.chosen).c_str(), at(c.documents).c_str());
        EXPECT_EQ(result, c.expected.empty() ? -1 : 0);
        EXPECT_EQ(output_dir, at(c.expected));
        for (const auto& entry : fs::recursive_directory_iterator(temp.dir)) {
            EXPECT_TRUE(entry.is_directory() || entry.path() == at("file") || entry.path().filename() == FOLDER_LOCK_NAME)
                << "left behind: " << entry.path();
        }
        EXPECT_EQ(fs::exists(at("docs")), c.expected == "docs/ZorpLoad") << "documents made only when used";

        // A folder that can be written leaves the download as it was; with
        // none the first tick asks its error question, adapter untouched.
        sequencer_Tick(&fake_window);
        if (c.expected.empty()) {
            EXPECT_EQ(std::string(status_log[0]), c.error + at(c.error_names));
            ASSERT_EQ(fake_window.box_count, 1);
            EXPECT_STREQ(fake_window.boxes[0].title, "Download error");
            EXPECT_FALSE(sim_AdapterOpen());
        } else {
            EXPECT_STREQ(status_log[0], "USB adapter check     ... o.k.");
        }
        shell_Shutdown();
    }
}

TEST(OutputDir, AFolderAnotherProgramProbesAtTheSameMomentCountsAsWritable)
{
    const TempDir temp;
    const std::string out = temp.path("out"), probe = path_Join(out, ".zorpload-probe");
    fs::create_directories(out);
    sim_Reset(), sim_ResetFiles(), fake_WindowReset();
    // Another program's probe, held as the program holds the files it writes.
    const int held = sys_FileCreate(probe.c_str());
    ASSERT_GE(held, 0);
    shell_Start(&fake_window, nullptr);

    EXPECT_EQ(shell_ChooseOutputDir(out.c_str(), ""), 0);
    EXPECT_EQ(output_dir, out);
    EXPECT_TRUE(fs::exists(probe)) << "the other program's probe was removed";
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2)
        << "a probe left behind beside the other's and the folder's lock file";
    sys_FileClose(held);
    shell_Shutdown();
}

// The start-up options act in their order: the trace runs whatever the
// folder; GPX saving first looks for track files without a GPX in the named
// folder, not in the program's, and stays off when no folder can be written.
TEST(OutputDir, StartOptionsTurnGpxOnOnlyOnceTheNamedFolderIsChosen)
{
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "named folder writable" : "named folder cannot be made");
        const TempDir temp;
        const std::string prog = temp.path("prog"), trace = temp.path("wire.trace");
        const std::string out = writable ? temp.path("out") : path_Join(temp.path("file"), "out");
        std::ofstream(temp.path("file")) << "x";
        fs::create_directories(prog);
        std::ofstream(path_Join(prog, "2015-07-03_0845_001.txt")) << "x";
        if (writable) {
            fs::create_directories(out);
            std::ofstream(path_Join(out, "2015-07-04_0845_002.txt")) << "x";
        }
        sim_Reset(), sim_ResetFiles(), fake_WindowReset();
        sim_SetProgramPath(path_Join(prog, "zorpload").c_str());
        shell_Start(&fake_window, nullptr);

        EXPECT_EQ(shell_ApplyStartOptions(trace.c_str(), out.c_str(), "", true), writable ? 0 : -1);
        EXPECT_EQ(gpx_enabled, writable);
        EXPECT_EQ(std::string(status_log[0]), writable ? "GPX: 2015-07-04_0845_002.txt has no usable fix, no GPX written"
                                                       : "Error - cannot write track files to " + out);
        EXPECT_STREQ(status_log[1], "");
        shell_Shutdown();
        EXPECT_EQ(file_Contents(trace).rfind("# ZorpLoad ", 0), 0u) << "no trace recorded";
    }
}

}  // namespace
