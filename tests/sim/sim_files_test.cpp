// The simulated base services' files: countdown faults once or for good, a
// disk that fills in the middle of a file, and the program path a test sets.
#include <array>
#include <cstdio>

#include "seams/base_services.h"
#include "tests/sim/sim_support.h"
#include "tests/support/temp_dir.h"

namespace {

class SimFiles : public SimTest {
protected:
    // Creates, writes and closes a file: the three results (write and close
    // 1 when not reached).
    std::array<int, 3> write_File(const char* name, const std::string& text)
    {
        const int file = sys_FileCreate(temp.path(name).c_str());
        if (file < 0) return {-1, 1, 1};
        const int write = sys_FileWrite(file, text.data(), static_cast<uint32_t>(text.size()));
        return {0, write, sys_FileClose(file)};
    }

    TempDir temp;
};

}  // namespace

TEST_F(SimFiles, CountdownFaultsFailTheNthCallOnceOrForGood)
{
    struct Row {
        const char* shows;
        SimFileFault SimFileFaults::*fault;
        bool persistent;
        std::array<int, 3> results[3];  // create, write, close of three files in turn
    };
    const Row rows[] = {
        {"second create", &SimFileFaults::create, false, {{0, 0, 0}, {-1, 1, 1}, {0, 0, 0}}},
        {"every create from the second", &SimFileFaults::create, true, {{0, 0, 0}, {-1, 1, 1}, {-1, 1, 1}}},
        {"second write", &SimFileFaults::write, false, {{0, 0, 0}, {0, -1, 0}, {0, 0, 0}}},
        {"every write from the second", &SimFileFaults::write, true, {{0, 0, 0}, {0, -1, 0}, {0, -1, 0}}},
        {"second close", &SimFileFaults::close, false, {{0, 0, 0}, {0, 0, -1}, {0, 0, 0}}},
    };
    const char* names[] = {"a", "b", "c"};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        sim_ResetFiles();
        (sim_file_faults.*row.fault).countdown = 2;
        (sim_file_faults.*row.fault).persistent = row.persistent;
        for (int f = 0; f < 3; ++f) {
            const std::string path = temp.path(names[f]);
            EXPECT_EQ(write_File(names[f], "track"), row.results[f]) << names[f];
            // A failed create leaves no file, a failed write stores nothing;
            // a failed close still closed.
            EXPECT_EQ(sys_FileExists(path.c_str()), row.results[f][0] == 0) << names[f];
            EXPECT_EQ(file_Contents(path), row.results[f][1] == 0 ? "track" : "") << names[f];
            std::remove(path.c_str());
        }
        EXPECT_EQ((sim_file_faults.*row.fault).failures, row.persistent ? 2u : 1u);
    }
}

TEST_F(SimFiles, RenameFaultLeavesBothNamesAlone)
{
    const std::string a = temp.path("a"), b = temp.path("b");
    ASSERT_EQ(write_File("a", "complete")[0], 0);
    sim_file_faults.rename.countdown = 1;
    EXPECT_EQ(sys_FileRename(a.c_str(), b.c_str()), -1);
    EXPECT_EQ(sys_FileExists(a.c_str()), 1);
    EXPECT_EQ(sys_FileExists(b.c_str()), 0);
    EXPECT_EQ(sys_FileRename(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(file_Contents(b), "complete");
}

// The disk fills in the second write: what fits is stored, that write and
// every later one fail.
TEST_F(SimFiles, DiskFullStoresWhatFitsThenFails)
{
    sim_file_faults.disk_limited = true;
    sim_file_faults.disk_free = 10;
    const int file = sys_FileCreate(temp.path("a").c_str());
    ASSERT_GE(file, 0);
    EXPECT_EQ(sys_FileWrite(file, "0123456", 7), 0);
    EXPECT_EQ(sys_FileWrite(file, "789ABC", 6), -1);
    EXPECT_EQ(sys_FileWrite(file, "D", 1), -1);
    EXPECT_EQ(sys_FileWrite(file, "", 0), 0);
    EXPECT_EQ(sys_FileClose(file), 0);
    EXPECT_EQ(file_Contents(temp.path("a")), "0123456789");
    EXPECT_EQ(sim_file_faults.disk_free, 0u);
}

TEST_F(SimFiles, ProgramPathIsTheOneSetAndCutToFit)
{
    char buf[16];
    EXPECT_EQ(sys_ProgramPath(buf, sizeof buf), 10u);
    EXPECT_STREQ(buf, "./zorpload");
    sim_SetProgramPath("/opt/zorp/bin/zorpload");
    EXPECT_EQ(sys_ProgramPath(buf, sizeof buf), 15u);
    EXPECT_STREQ(buf, "/opt/zorp/bin/z");
    EXPECT_EQ(sys_PathSeparator(), '/');
}
