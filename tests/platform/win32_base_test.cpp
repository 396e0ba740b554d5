// What Windows has besides, for the production base services: a named pipe
// and a device at a file's name; and another program's hold on a folder's
// lock, as LockFileEx takes it, for the calls as every platform keeps them
// (base_services_test.cpp).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "seams/base_services.h"
#include "tests/support/temp_dir.h"

intptr_t other_TakeLock(const std::string& folder)
{
    HANDLE h = CreateFileA(path_Join(folder, FOLDER_LOCK_NAME).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED all {};
    if (h != INVALID_HANDLE_VALUE && LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &all))
        return reinterpret_cast<intptr_t>(h);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return -1;
}

void other_LetGo(intptr_t holder)
{
    CloseHandle(reinterpret_cast<HANDLE>(holder));
}

namespace {

// A named pipe given as a trace: written to without waiting, so once its
// reader has stopped reading a write reports FILE_WOULD_BLOCK instead of
// holding the program up. A read open takes no pipe, nor counts it as a file.
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
    sys_FileClose(trace);
    CloseHandle(reader);
}

}  // namespace
