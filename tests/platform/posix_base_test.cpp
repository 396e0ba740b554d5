// The production base services on Linux: track files written byte-exact and
// held exclusively, write errors reported, the program's own path, and a
// clock and sleep that stay honest when signals arrive.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <sys/time.h>

#include "seams/base_services.h"

namespace {

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

int write_text(int file, std::string_view text)
{
    return sys_FileWrite(file, text.data(), static_cast<uint32_t>(text.size()));
}

class PosixFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/zorp_files_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const char* name) const { return dir_ + "/" + name; }

    std::string dir_;
};

TEST_F(PosixFiles, FileHoldsExactlyTheBytesWrittenIsEmptiedOnCreateAndRenamedOrRemovedWhole)
{
    const std::string part = path("2015-07-03_0845_001.part"), done = path("2015-07-03_0845_001.txt");
    EXPECT_EQ(sys_FileExists(part.c_str()), 0);
    int file = sys_FileCreate(part.c_str());
    ASSERT_GE(file, 0);
    const std::string_view text("$GPGGA,084512\r\n\0\x0D", 18);  // NUL and a bare CR kept as they are
    EXPECT_EQ(write_text(file, text), 0);
    EXPECT_EQ(write_text(file, "$GPRMC"), 0);
    EXPECT_EQ(sys_FileClose(file), 0);
    EXPECT_EQ(contents(part), std::string(text) + "$GPRMC");
    EXPECT_EQ(sys_FileExists(part.c_str()), 1);

    file = sys_FileCreate(done.c_str());
    ASSERT_GE(file, 0);
    EXPECT_EQ(write_text(file, "an older, longer file"), 0);
    EXPECT_EQ(sys_FileClose(file), 0);
    file = sys_FileCreate(done.c_str());
    ASSERT_GE(file, 0);
    EXPECT_EQ(write_text(file, "x"), 0);
    EXPECT_EQ(sys_FileClose(file), 0);
    EXPECT_EQ(contents(done), "x");

    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(part.c_str()), 0);
    EXPECT_EQ(contents(done), std::string(text) + "$GPRMC");
    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), -1);
    EXPECT_EQ(sys_FileRemove(done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(done.c_str()), 0);
    EXPECT_EQ(sys_FileRemove(done.c_str()), -1);
}

TEST_F(PosixFiles, CreateIsRefusedWhileAnotherWriterHoldsTheFile)
{
    const std::string track = path("held.txt");
    const int holder = sys_FileCreate(track.c_str());
    ASSERT_GE(holder, 0);
    EXPECT_EQ(write_text(holder, "kept"), 0);
    EXPECT_EQ(sys_FileCreate(track.c_str()), -1);
    EXPECT_EQ(sys_FileClose(holder), 0);
    EXPECT_EQ(contents(track), "kept") << "the refused create must not have emptied the file";

    const int next = sys_FileCreate(track.c_str());
    EXPECT_GE(next, 0) << "the file is free again once its holder closed it";
    EXPECT_EQ(sys_FileClose(next), 0);
}

TEST(PosixFileErrors, FailuresReadAsMinusOne)
{
    const int full = sys_FileCreate("/dev/full");
    ASSERT_GE(full, 0);
    EXPECT_EQ(write_text(full, "no room"), -1);
    sys_FileClose(full);

    EXPECT_EQ(sys_FileCreate("/nonexistent_zorp_dir/track.txt"), -1);
    EXPECT_EQ(sys_FileExists("/nonexistent_zorp_dir/track.txt"), 0);
    EXPECT_EQ(write_text(-1, "x"), -1);
    EXPECT_EQ(sys_FileClose(-1), -1);
}

TEST(PosixProgramPath, NamesThisTestProgramAndIsCutToFit)
{
    char full[4096];
    const uint32_t length = sys_ProgramPath(full, sizeof full);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::strlen(full), length);
    EXPECT_EQ(full[0], '/');
    EXPECT_TRUE(std::string_view(full).ends_with("/posix_base_test")) << full;
    EXPECT_EQ(sys_FileExists(full), 1);

    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(sys_ProgramPath(small, sizeof small), 7u);
    EXPECT_EQ(std::string(small), std::string(full, 7));
    EXPECT_EQ(sys_ProgramPath(small, 0), 0u);
}

TEST(PosixTime, TickCountMovesWithSleep)
{
    const uint32_t start = sys_TickCount();
    sys_Sleep(25);
    const uint32_t elapsed = sys_TickCount() - start;
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 1000u);
}

volatile std::sig_atomic_t alarms = 0;

TEST(PosixTime, SleepLastsItsFullLengthWhenSignalsInterruptIt)
{
    struct sigaction on_alarm {};
    on_alarm.sa_handler = [](int) { alarms = alarms + 1; };
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGALRM, &on_alarm, &before), 0);  // no SA_RESTART: nanosleep returns early
    const itimerval every_5ms { { 0, 5000 }, { 0, 5000 } };
    ASSERT_EQ(setitimer(ITIMER_REAL, &every_5ms, nullptr), 0);

    const auto start = std::chrono::steady_clock::now();
    sys_Sleep(40);
    const auto elapsed = std::chrono::steady_clock::now() - start;

    const itimerval off {};
    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &before, nullptr);
    EXPECT_GT(alarms, 0) << "the sleep was never interrupted, so the test proved nothing";
    EXPECT_GE(elapsed, std::chrono::milliseconds(40));
}

}  // namespace
