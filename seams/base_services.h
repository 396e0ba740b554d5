// Base services seam: time, the program's own path, and the file calls that
// track files and their GPX companions need. One implementation per platform:
//   - platform/posix: monotonic clock, nanosleep, /proc/self/exe, POSIX files
//   - platform/win32: GetTickCount, Sleep, GetModuleFileNameA, Win32 files
//   - sim/:           a simulated clock that moves only when the program
//                     sleeps, over the system's own files (POSIX or Win32)
//                     with injectable faults
//
// Time is a 32-bit millisecond tick that wraps; callers compare ticks only by
// unsigned differences. File calls return 0 (or a handle >= 0) on success and
// -1 on failure; no call throws or allocates on the caller's behalf.
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
// to, and nothing that stands at the name is removed. A device or pipe is
// written to without waiting (sys_FileWrite's FILE_WOULD_BLOCK). Returns a
// handle >= 0, or -1. The program's own files are made by sys_FileCreate.
int sys_FileOpenWrite(const char* path);

// What sys_FileWrite reports.
enum FileWriteResult : int {
    FILE_WRITTEN = 0,        // every byte written
    FILE_WRITE_FAILED = -1,  // disk full, I/O error, the reader gone
    FILE_WOULD_BLOCK = -2,   // a device or pipe opened by sys_FileOpenWrite takes no
                             // more bytes now; those before may have been written
};

// Writes all count bytes at the end of what was written so far; a
// FileWriteResult.
int sys_FileWrite(int file, const void* data, uint32_t count);

// Flushes and closes; -1 when the data may not have reached the disk. The
// handle is invalid afterwards either way.
int sys_FileClose(int file);

// Gives a complete file its final name, replacing any file of that name, in
// one step that never leaves a half-renamed file. 0 or -1.
int sys_FileRename(const char* from, const char* to);

// Gives a complete file its final name unless that name is already taken, in
// one step, and makes the new name durable (the folder is synced). 0 when
// renamed; 1 when a regular file of that name exists already (nothing
// renamed); -1 on failure, a dangling link of that name included.
int sys_FileRenameNoReplace(const char* from, const char* to);

// Removes a file; 0, or -1 when it could not be removed.
int sys_FileRemove(const char* path);

// Creates the folder path; its parent must exist. 0 when it was made or is a
// folder already, -1 otherwise.
int sys_MakeDir(const char* path);
