// Base services seam: time, the program's own path, the file calls that
// track files and their GPX companions need, and the lock that keeps a
// second program out of a folder. One implementation per platform:
//   - platform/posix: monotonic clock, nanosleep, /proc/self/exe, POSIX
//                     files, flock
//   - platform/win32: GetTickCount, Sleep, GetModuleFileNameA, Win32 files,
//                     LockFileEx
//   - sim/:           a simulated clock that moves only when the program
//                     sleeps, over the system's own files (POSIX or Win32)
//                     with injectable faults
//
// Time is a 32-bit millisecond tick that wraps; callers compare ticks only by
// unsigned differences. File calls return 0 (or a handle >= 0) on success and
// -1 on failure, unless their results are named below; no call throws or
// allocates on the caller's behalf.
#pragma once

#include <cstdint>

// Milliseconds since an arbitrary origin; wraps after about 49.7 days.
uint32_t sys_TickCount();

// Microseconds since an arbitrary origin, on the same clock as the tick but
// finer, for time stamps (the wire trace); never goes back and, being 64
// bits wide, never wraps in practice.
uint64_t sys_Microseconds();

// Blocks the calling thread for at least ms milliseconds.
void sys_Sleep(uint32_t ms);

// Writes the full path of the running program file into buf (size bytes,
// NUL-terminated, cut to fit). Returns its length, 0 when it is not known.
uint32_t sys_ProgramPath(char* buf, uint32_t size);

// The character that separates directories in a path on this platform.
char sys_PathSeparator();

// 1 when a regular file of that name can be opened for reading, else 0: a
// link, FIFO, device or folder at the name is none, and the check never
// waits on what it finds there.
int sys_FileExists(const char* path);

// Opens an existing regular file for reading only, as sys_FileExists judges
// it, at the moment of the open: whatever was swapped in at the name since a
// listing or a check is judged afresh, and nothing at the name makes the
// open wait. Returns a handle >= 0, or -1. The handle is closed with
// sys_FileClose, whose result then says nothing.
int sys_FileOpenRead(const char* path);

// Reads up to count bytes from where the last read ended. Returns the number
// of bytes read, 0 at the end of the file, or -1 on a read error.
int sys_FileRead(int file, void* data, uint32_t count);

// Calls each(name, context) once for every file (folders and the like left
// out) in folder, with the file's name alone. 0 when the folder was listed,
// also when it does not exist (it holds no files); -1 when it could not be
// read. A file created or removed during the listing may or may not be seen.
using DirVisitor = void (*)(const char* name, void* context);
int sys_ListDir(const char* folder, DirVisitor each, void* context);

// Creates the file afresh for writing only and with no sharing: whatever
// entry has that name is removed first (a link itself, never what it points
// to), unless another writer holds it, and the file is then created
// exclusively as a regular file. Returns a handle >= 0, or -1.
int sys_FileCreate(const char* path);

// Opens a file the user named (a trace, say) for writing only, emptied, as a
// shell's redirection does: a link is followed, a device or pipe is written
// to, and nothing that stands at the name is removed. Its writes never wait
// (sys_FileWrite's FILE_WOULD_BLOCK): a device or pipe is written to without
// blocking, and a regular file by a thread of its own that holds what the
// disk has not taken yet, so that a slow or hung disk (a network share)
// refuses writes rather than holds the caller up; its sys_FileClose waits
// for that disk a bounded time. Returns a handle >= 0, or -1. The program's
// own files are made by sys_FileCreate.
int sys_FileOpenWrite(const char* path);

// What sys_FileWrite reports.
enum FileWriteResult : int {
    FILE_WRITTEN = 0,        // every byte written
    FILE_WRITE_FAILED = -1,  // disk full, I/O error, the reader gone
    FILE_WOULD_BLOCK = -2,   // a file opened by sys_FileOpenWrite takes no more
                             // bytes now; those before may have been written
};

// Writes all count bytes at the end of what was written so far; a
// FileWriteResult.
int sys_FileWrite(int file, const void* data, uint32_t count);

// Flushes and closes; -1 when the data may not have reached the disk. The
// handle is invalid afterwards either way.
int sys_FileClose(int file);

// Brings everything written to file to the disk; the file stays open (and,
// made by sys_FileCreate, held). 0, or -1 when it may not have.
int sys_FileSync(int file);

enum FileCommitResult : int {
    FILE_COMMITTED = 0,       // the file has its final name, durably
    FILE_NAME_TAKEN = 1,      // keep: a regular file of that name exists already
    FILE_COMMIT_FAILED = -1,  // a dangling link or other non-file at the name
                              // included
};

// Gives the file that this program made at from (sys_FileCreate) and still
// holds open as file its final name to, in one step that never leaves a
// half-renamed file, and makes the new name durable (the folder is synced).
// What is renamed is the file held, never another one put at from meanwhile;
// a rename that lands another file at to counts as failed. With keep set a
// regular file of that name is never replaced (FILE_NAME_TAKEN). The handle
// is closed in every case, and a file not renamed is removed. A
// FileCommitResult.
int sys_FileCommit(int file, const char* from, const char* to, bool keep);

// Removes the file that this program made at path and holds open as file
// (nothing when path names another file by now), then closes the handle.
void sys_FileDiscard(int file, const char* path);

// The size in bytes of the open file, or -1 when it is not known.
int64_t sys_FileSize(int file);

// Removes a file; 0, or -1 when it could not be removed.
int sys_FileRemove(const char* path);

// Creates the folder path; its parent must exist. 0 when it was made or is a
// folder already, -1 otherwise.
int sys_MakeDir(const char* path);

// ----------------------------------------------------------- folder lock --

// One program saves into a folder at a time: the one that holds the lock of
// its lock file, FOLDER_LOCK_NAME. The lock is the operating system's, tied
// to an open handle, so a program that ends in any way (a crash included)
// leaves nothing behind that keeps a later one out; the file itself stays.

constexpr char FOLDER_LOCK_NAME[] = ".zorpload-lock";

enum FolderLockResult : int {
    FOLDER_LOCKED = 0,        // this program holds the folder's lock
    FOLDER_BUSY = 1,          // another program holds it
    FOLDER_LOCK_FAILED = -1,  // the lock file cannot be made or opened (a
                              // folder or device at its name, say)
};

// Takes the lock of folder without waiting; held until sys_FolderUnlock or
// the end of the program. A program holds one folder's lock at a time: the
// one it held before is given up once the new one is taken, and stays held
// when the new one is not, so that a program refused a folder keeps saving
// into its own. The folder whose lock it holds already, under any name,
// gives FOLDER_LOCKED with that lock kept. A FolderLockResult.
int sys_FolderLock(const char* folder);

// Gives up the folder lock this program holds, if any.
void sys_FolderUnlock();
