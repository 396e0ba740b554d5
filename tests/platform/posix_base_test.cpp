// The production base services' track files on Linux: byte-exact, emptied on
// create, held exclusively by their writer, renamed and removed whole, and
// failures reported as -1.
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include "seams/base_services.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(PosixFiles, WriteRenameRemoveExclusiveCreateAndFailures)
{
    const TempDir temp;
    const std::string part = temp.path("t.part"), done = temp.path("t.txt");
    const std::string_view text("$GPGGA\r\n\0\x0D$", 11);  // NUL and a bare CR kept as they are
    const int holder = sys_FileCreate(part.c_str());
    ASSERT_GE(holder, 0);
    EXPECT_EQ(sys_FileWrite(holder, text.data(), uint32_t(text.size())), 0);
    EXPECT_EQ(sys_FileCreate(part.c_str()), -1) << "held by its writer";
    EXPECT_EQ(sys_FileClose(holder), 0);
    EXPECT_EQ(file_Contents(part), text) << "the refused create must not have emptied it";
    const int older = sys_FileCreate(done.c_str());
    EXPECT_TRUE(sys_FileWrite(older, "an older, longer file", 21) == 0 && sys_FileClose(older) == 0);
    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(part.c_str()), 0);
    EXPECT_EQ(file_Contents(done), text);
    EXPECT_EQ(sys_FileRename(part.c_str(), done.c_str()), -1);
    const int again = sys_FileCreate(done.c_str());
    EXPECT_TRUE(sys_FileWrite(again, "x", 1) == 0 && sys_FileClose(again) == 0);
    EXPECT_EQ(file_Contents(done), "x");
    EXPECT_EQ(sys_FileRemove(done.c_str()), 0);
    EXPECT_EQ(sys_FileExists(done.c_str()), 0);
    EXPECT_EQ(sys_FileRemove(done.c_str()), -1);
    const int full = sys_FileCreate("/dev/full");
    ASSERT_GE(full, 0);
    EXPECT_EQ(sys_FileWrite(full, "no room", 7), -1);
    sys_FileClose(full);
}

}  // namespace
