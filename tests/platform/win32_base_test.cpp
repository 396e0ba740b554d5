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

// A second folder's lock replaces the first only once taken: a program
// refused another folder still holds its own.
TEST(Win32Files, SecondFolderLockLetsTheFirstGoOnlyOnceTaken)
{
    const TempDir first, second;
    const auto other_takes = [](const TempDir& temp) {  // another holder's handle, or null
        HANDLE h = CreateFileA(temp.path(FOLDER_LOCK_NAME).c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        OVERLAPPED whole {};
        if (h != INVALID_HANDLE_VALUE && LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
            return h;
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return HANDLE {};
    };
    ASSERT_EQ(sys_FolderLock(first.dir.c_str()), FOLDER_LOCKED);
    HANDLE other = other_takes(second);
    EXPECT_EQ(sys_FolderLock(second.dir.c_str()), FOLDER_BUSY);
    EXPECT_EQ(other_takes(first), nullptr) << "the first lock given up for a busy folder";
    CloseHandle(other);
    EXPECT_EQ(sys_FolderLock(second.dir.c_str()), FOLDER_LOCKED);
    HANDLE freed = other_takes(first);
    EXPECT_NE(freed, nullptr) << "the first lock kept beside the second";
    CloseHandle(freed), sys_FolderUnlock();
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
