// The production base services on Windows: a created file is held by its
// writer alone (nobody can open it, and a second create neither succeeds nor
// empties it), the file held is renamed, replacing or leaving a taken name
// alone as asked, or dropped, one program holds a folder's lock at a time,
// folders are made once, and the program's folder comes from
// GetModuleFileNameA with backslashes, a drive's root giving "C:".
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include <string_view>
#include "seams/base_services.h"
#include "shell/shell.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(Win32Files, HeldExclusivelyThenRenamedOverAnOlderFile)
{
    const TempDir temp;
    const std::string part = temp.path("t.tmp"), done = temp.path("t.txt");
    const std::string_view text("$GPGGA\r\n\0\x0D$", 11);  // NUL and a bare CR kept as they are
    const int holder = sys_FileCreate(part.c_str());
    ASSERT_GE(holder, 0);
    EXPECT_EQ(sys_FileWrite(holder, text.data(), uint32_t(text.size())), 0);
    EXPECT_EQ(sys_FileCreate(part.c_str()), -1) << "held by its writer";
    EXPECT_EQ(sys_FileExists(part.c_str()), 0) << "no sharing, not even for reading";
    EXPECT_EQ(sys_FileClose(holder), 0);
    EXPECT_EQ(sys_FileExists(part.c_str()), 1);
    EXPECT_EQ(file_Contents(part), text) << "the refused create must not have emptied it";
    EXPECT_EQ(sys_FileClose(holder), -1) << "a handle is good for one close";

    EXPECT_EQ(sys_FileRemove(part.c_str()), 0);

    const auto write_Held = [&](const char* contents) {
        const int file = sys_FileCreate(part.c_str());
        EXPECT_TRUE(file >= 0 && sys_FileWrite(file, contents, uint32_t(strlen(contents))) == 0);
        EXPECT_EQ(sys_FileSync(file), 0);
        return file;
    };
    const int older = sys_FileCreate(done.c_str());
    EXPECT_TRUE(sys_FileWrite(older, "an older, longer file", 21) == 0 && sys_FileClose(older) == 0);
    int held = write_Held("newer");
    EXPECT_EQ(sys_FileSize(held), 5);
    EXPECT_EQ(sys_FileCommit(held, part.c_str(), done.c_str(), true), FILE_NAME_TAKEN);
    EXPECT_TRUE(sys_FileExists(part.c_str()) == 0 && file_Contents(done) == "an older, longer file");
    EXPECT_EQ(sys_FileCommit(write_Held("newer"), part.c_str(), done.c_str(), false), FILE_COMMITTED);
    EXPECT_TRUE(sys_FileExists(part.c_str()) == 0 && file_Contents(done) == "newer");
    EXPECT_EQ(sys_FileRemove(done.c_str()), 0);
    EXPECT_EQ(sys_FileCommit(write_Held("text"), part.c_str(), done.c_str(), true), FILE_COMMITTED);
    EXPECT_EQ(file_Contents(done), "text");
    sys_FileDiscard(write_Held("dropped"), part.c_str());
    EXPECT_EQ(sys_FileExists(part.c_str()), 0) << "discarded";
    EXPECT_EQ(sys_FileRemove(done.c_str()), 0);
    EXPECT_EQ(sys_FileRemove(done.c_str()), -1);
    EXPECT_EQ(sys_FileCreate(temp.path("no\\such\\folder.txt").c_str()), -1);

    const std::string folder = temp.path("out");
    EXPECT_EQ(sys_MakeDir(folder.c_str()), 0);
    EXPECT_EQ(sys_MakeDir(folder.c_str()), 0) << "a folder already";
    EXPECT_EQ(sys_MakeDir(temp.path("no\\parent").c_str()), -1);
    const int plain = sys_FileCreate(temp.path("plain").c_str());
    EXPECT_EQ(sys_FileClose(plain), 0);
    EXPECT_EQ(sys_MakeDir(temp.path("plain").c_str()), -1) << "a file of that name";

    // A folder of a track's name is no track: not there, and not saved.
    EXPECT_EQ(sys_FileExists(folder.c_str()), 0);
    EXPECT_EQ(sys_FileCommit(write_Held("x"), part.c_str(), folder.c_str(), true), FILE_COMMIT_FAILED);
    EXPECT_EQ(sys_FileExists(part.c_str()), 0) << "a file not renamed is removed";
}

// One holder of a folder's lock at a time: another handle on the lock file
// keeps it busy until closed; a folder at the lock's name is refused.
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
    const std::string planted = temp.path("planted");
    ASSERT_EQ(sys_MakeDir(planted.c_str()), 0);
    ASSERT_EQ(sys_MakeDir(path_Join(planted, FOLDER_LOCK_NAME).c_str()), 0);
    EXPECT_EQ(sys_FolderLock(planted.c_str()), FOLDER_LOCK_FAILED);
}

TEST(Win32Files, ProgramFolderFromTheModulePath)
{
    char path[PROGRAM_DIR_SIZE];
    const uint32_t length = sys_ProgramPath(path, sizeof path);
    ASSERT_GT(length, 3u);
    const std::string program(path, length);
    EXPECT_EQ(program.substr(1, 2), ":\\") << program;
    EXPECT_TRUE(program.ends_with("\\win32_base_test.exe")) << program;
    EXPECT_EQ(sys_PathSeparator(), '\\');

    const struct {
        const char* file;
        const char* folder;
    } rows[] = {{program.c_str(), ""}, {"C:\\zorpload.exe", "C:"}, {"C:\\Tools\\ZorpLoad\\zorpload.exe", "C:\\Tools\\ZorpLoad"},
                {"zorpload.exe", ""}, {"\\zorpload.exe", ""}};
    for (const auto& row : rows) {
        shell_SetProgramDir(row.file);
        if (row.file == program.c_str())
            EXPECT_EQ(std::string(program_dir) + "\\win32_base_test.exe", program);
        else
            EXPECT_STREQ(program_dir, row.folder) << row.file;
    }
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
