// The simulated base services' files: countdown faults on create, write,
// close and rename, once or for good, a disk that fills up in the middle of
// a file, and the program path a test sets.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "seams/base_services.h"
#include "sim/sim.h"
#include "tests/sim/sim_support.h"

namespace {

class SimFiles : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        char pattern[] = "/tmp/zorp-sim-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        for (const char* name : {"a", "b", "c"}) unlink(path(name).c_str());
        rmdir(dir_.c_str());
    }
    std::string path(const char* name) const { return dir_ + "/" + name; }

    // Creates, writes and closes a file; the result of each call.
    struct Outcome {
        int create, write, close;
    };
    Outcome write_File(const char* name, const std::string& text)
    {
        Outcome out = {};
        const int file = sys_FileCreate(path(name).c_str());
        out.create = file < 0 ? -1 : 0;
        if (file < 0) return out;
        out.write = sys_FileWrite(file, text.data(), static_cast<uint32_t>(text.size()));
        out.close = sys_FileClose(file);
        return out;
    }
    std::string read_File(const char* name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        return all.str();
    }

    std::string dir_;
};

}  // namespace

TEST_F(SimFiles, CountdownFaultsFailTheNthCallOnceOrForGood)
{
    struct Row {
        const char* shows;
        SimFileFault SimFileFaults::*fault;
        bool persistent;
        // create / write / close results of three files in turn
        int results[3][3];
    };
    const Row rows[] = {
        {"second create", &SimFileFaults::create, false, {{0, 0, 0}, {-1, 0, 0}, {0, 0, 0}}},
        {"every create from the second", &SimFileFaults::create, true, {{0, 0, 0}, {-1, 0, 0}, {-1, 0, 0}}},
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
            const Outcome out = write_File(names[f], "track");
            EXPECT_EQ(out.create, row.results[f][0]) << names[f];
            if (out.create != 0) {
                EXPECT_EQ(sys_FileExists(path(names[f]).c_str()), 0) << "a failed create leaves no file";
                continue;
            }
            EXPECT_EQ(out.write, row.results[f][1]) << names[f];
            EXPECT_EQ(out.close, row.results[f][2]) << names[f];
            // A failed write stores nothing; a failed close still closed.
            EXPECT_EQ(read_File(names[f]), out.write == 0 ? "track" : "") << names[f];
            unlink(path(names[f]).c_str());
        }
        const uint32_t failures = (sim_file_faults.*row.fault).failures;
        EXPECT_EQ(failures, row.persistent ? 2u : 1u);
    }
}

TEST_F(SimFiles, RenameFaultLeavesBothNamesAlone)
{
    ASSERT_EQ(write_File("a", "complete").create, 0);
    sim_file_faults.rename.countdown = 1;
    EXPECT_EQ(sys_FileRename(path("a").c_str(), path("b").c_str()), -1);
    EXPECT_EQ(sys_FileExists(path("a").c_str()), 1);
    EXPECT_EQ(sys_FileExists(path("b").c_str()), 0);
    EXPECT_EQ(sys_FileRename(path("a").c_str(), path("b").c_str()), 0);
    EXPECT_EQ(read_File("b"), "complete");
}

// The disk fills in the middle of the second write: what fits is stored,
// that write and every later one fail.
TEST_F(SimFiles, DiskFullStoresWhatFitsThenFails)
{
    sim_file_faults.disk_limited = true;
    sim_file_faults.disk_free = 10;
    const int file = sys_FileCreate(path("a").c_str());
    ASSERT_GE(file, 0);
    EXPECT_EQ(sys_FileWrite(file, "0123456", 7), 0);
    EXPECT_EQ(sys_FileWrite(file, "789ABC", 6), -1);
    EXPECT_EQ(sys_FileWrite(file, "D", 1), -1);
    EXPECT_EQ(sys_FileWrite(file, "", 0), 0);
    EXPECT_EQ(sys_FileClose(file), 0);
    EXPECT_EQ(read_File("a"), "0123456789");
    EXPECT_EQ(sim_file_faults.disk_free, 0u);
}

TEST_F(SimFiles, UnwritableDirectoryByPersistentCreateFault)
{
    sim_file_faults.create = {1, true, 0};
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(sys_FileCreate(path(name).c_str()), -1);
    EXPECT_EQ(sim_file_faults.create.failures, 3u);
    sim_ResetFiles();
    EXPECT_EQ(write_File("a", "x").create, 0);
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
