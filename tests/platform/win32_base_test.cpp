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

// A named pipe given as a trace: written to without waiting, so once its
// reader has stopped reading a write reports FILE_WOULD_BLOCK instead of
// holding the program up. Read opens take only a plain file on a disk: the
// pipe and a device name are none.
TEST(Win32Files, PipeWhoseReaderStallsReportsWouldBlockAndReadOpensTakeOnlyDiskFiles)
{
    char name[64];
    snprintf(name, sizeof name, "\\\\.\\pipe\\zorp-stalled-%lu", GetCurrentProcessId());
    HANDLE reader = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const int trace = sys_FileOpenWrite(name);
    ASSERT_GE(trace, 0);
    static char chunk[4096];
    int result = FILE_WRITTEN;
    for (int i = 0; i < 256 && result == FILE_WRITTEN; ++i) result = sys_FileWrite(trace, chunk, sizeof chunk);
    EXPECT_EQ(result, FILE_WOULD_BLOCK);
    EXPECT_EQ(sys_FileOpenRead(name), -1);
    EXPECT_EQ(sys_FileExists(name), 0);
    EXPECT_EQ(sys_FileExists("NUL"), 0);
    EXPECT_EQ(sys_FileOpenRead("NUL"), -1);
    sys_FileClose(trace);
    CloseHandle(reader);
}

}  // namespace
