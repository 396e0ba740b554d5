// The production base services on Linux: track files byte-exact and held
// exclusively, write errors, the program's own path, and a clock and sleep
// that stay honest when signals arrive.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <string_view>
#include <sys/time.h>

#include "seams/base_services.h"
#include "tests/support/temp_dir.h"

namespace {

// Creates (or empties) a file, writes the texts, closes it: 0, or -1 when a call failed.
int write_File(const std::string& path, std::initializer_list<std::string_view> texts)
{
    const int file = sys_FileCreate(path.c_str());
    if (file < 0) return -1;
    int result = 0;
    for (std::string_view text : texts) result |= sys_FileWrite(file, text.data(), uint32_t(text.size()));
    return sys_FileClose(file) | result;
}

TEST(PosixFiles, FileHoldsExactlyTheBytesWrittenIsEmptiedOnCreateAndRenamedOrRemovedWhole)
{
    const TempDir temp;
    const std::string part = temp.path("2015-07-03_0845_001.part"), done = temp.path("2015-07-03_0845_001.txt");
    const std::string_view text("$GPGGA,084512\r\n\0\x0D", 18);  // NUL and a bare CR kept as they are
    EXPECT_EQ(sys_FileExists(part.c_str()), 0);
    EXPECT_EQ(write_File(part, {text, "$GPRMC"}), 0);
    EXPECT_EQ(file_Contents(part), std::string(text) + "$GPRMC");
    EXPECT_EQ(sys_FileExists(part.c_str()), 1);
    EXPECT_EQ(write_File(done, {"an older, longer file"}), 0);
    EXPECT_EQ(write_File(done, {"x"}), 0);
    EXPECT_EQ(file_Contents(done), "x");

    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(part.c_str()), 0);
    EXPECT_EQ(file_Contents(done), std::string(text) + "$GPRMC");
    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), -1);
    EXPECT_EQ(sys_FileRemove(done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(done.c_str()), 0);
    EXPECT_EQ(sys_FileRemove(done.c_str()), -1);
}

TEST(PosixFiles, CreateIsRefusedWhileAnotherWriterHoldsTheFile)
{
    const TempDir temp;
    const std::string track = temp.path("held.txt");
    const int holder = sys_FileCreate(track.c_str());
    ASSERT_GE(holder, 0);
    EXPECT_EQ(sys_FileWrite(holder, "kept", 4), 0);
    EXPECT_EQ(sys_FileCreate(track.c_str()), -1);
    EXPECT_EQ(sys_FileClose(holder), 0);
    EXPECT_EQ(file_Contents(track), "kept") << "the refused create must not have emptied the file";
    EXPECT_EQ(write_File(track, {}), 0) << "the file is free again once its holder closed it";
}

TEST(PosixFiles, FailuresReadAsMinusOne)
{
    const int full = sys_FileCreate("/dev/full");
    ASSERT_GE(full, 0);
    EXPECT_EQ(sys_FileWrite(full, "no room", 7), -1);
    sys_FileClose(full);
    EXPECT_EQ(sys_FileCreate("/nonexistent_zorp_dir/track.txt"), -1);
    EXPECT_EQ(sys_FileExists("/nonexistent_zorp_dir/track.txt"), 0);
    EXPECT_EQ(sys_FileWrite(-1, "x", 1), -1);
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

volatile std::sig_atomic_t alarms = 0;

// The tick moves with the sleep, which lasts its full length though signals
// (no SA_RESTART) cut nanosleep short.
TEST(PosixTime, SleepLastsItsFullLengthWhenSignalsInterruptIt)
{
    struct sigaction on_alarm {};
    on_alarm.sa_handler = [](int) { alarms = alarms + 1; };
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGALRM, &on_alarm, &before), 0);
    const itimerval every_5ms{{0, 5000}, {0, 5000}}, off{};
    ASSERT_EQ(setitimer(ITIMER_REAL, &every_5ms, nullptr), 0);

    const auto start = std::chrono::steady_clock::now();
    const uint32_t start_tick = sys_TickCount();
    sys_Sleep(40);
    const uint32_t ticks = sys_TickCount() - start_tick;
    const auto elapsed = std::chrono::steady_clock::now() - start;

    setitimer(ITIMER_REAL, &off, nullptr);
    sigaction(SIGALRM, &before, nullptr);
    EXPECT_GT(alarms, 0) << "the sleep was never interrupted, so the test proved nothing";
    EXPECT_GE(elapsed, std::chrono::milliseconds(40));
    EXPECT_GE(ticks, 40u);
    EXPECT_LT(ticks, 1000u);
}

}  // namespace
