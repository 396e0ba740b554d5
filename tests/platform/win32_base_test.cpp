// What Windows has besides, for the production base services: another
// handle holding the folder lock (the calls as every platform keeps them:
// base_services_test.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "seams/base_services.h"
#include "tests/support/temp_dir.h"

namespace {

// One holder of a folder's lock at a time: another handle on the lock file
// keeps it busy until closed.
TEST(Win32Files, FolderLockHasOneHolder)
{
    const TempDir temp;
    const std::string lock = temp.path(FOLDER_LOCK_NAME);
    EXPECT_EQ(sys_FolderLock(temp.dir.c_str()), FOLDER_LOCKED);
    sys_FolderUnlock();
    HANDLE other = CreateFileA(lock.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    OVERLAPPED whole {};
    ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole));
    EXPECT_EQ(sys_FolderLock(temp.dir.c_str()), FOLDER_BUSY);
    CloseHandle(other);
    EXPECT_EQ(sys_FolderLock(temp.dir.c_str()), FOLDER_LOCKED);
    sys_FolderUnlock();
}

}  // namespace
