// The Win32 file calls behind the base-services file functions.
//
// A track file is written under a temporary name, so whatever stands at that
// name is removed first (a link itself, never what it points to) and the
// file is then created anew, with no sharing at all, as OF_SHARE_EXCLUSIVE
// does: while its writer holds it nobody else can open it, not even to read,
// or remove it, so another program's file in the making is never touched.
// Each write is checked for its full count, and a close first flushes the
// file to the disk. Final names are given by MoveFileExA written through:
// the text file's without replacing a file that appeared meanwhile, so a
// track's ".txt" is either complete on disk or absent.
//
// The seam speaks of int handles; the Win32 HANDLEs live in a fixed table and
// the seam handle is the slot's index.
#include "platform/native_files.h"
#include "seams/base_services.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr int OPEN_FILES_MAX = 16;
HANDLE open_files[OPEN_FILES_MAX];

HANDLE handle_Of(int file)
{
    if (file < 0 || file >= OPEN_FILES_MAX) return nullptr;
    return open_files[file];
}

// The first free slot of the table, or -1.
int free_Slot()
{
    for (int slot = 0; slot < OPEN_FILES_MAX; ++slot)
        if (open_files[slot] == nullptr) return slot;
    return -1;
}

// Opens path for reading, with every kind of sharing, and keeps the handle
// only when it is a plain file on a disk: the reparse point itself is
// opened, never what it leads to, and a device name (CON, NUL, COM1), a pipe,
// a folder or a link is refused. INVALID_HANDLE_VALUE otherwise; only a file
// that cannot be opened at all (absent, or held exclusively by its writer)
// is missing.
HANDLE open_Plain(const char* path)
{
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return h;
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & not_plain) != 0) {
        CloseHandle(h);
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

}  // namespace

int native_FileExists(const char* path)
{
    HANDLE h = open_Plain(path);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(h);
    return 1;
}

int native_FileOpenRead(const char* path)
{
    const int slot = free_Slot();
    if (slot < 0) return -1;
    HANDLE h = open_Plain(path);
    if (h == INVALID_HANDLE_VALUE) return -1;
    open_files[slot] = h;
    return slot;
}

int native_FileRead(int file, void* data, uint32_t count)
{
    HANDLE h = handle_Of(file);
    DWORD read = 0;
    if (h == nullptr || !ReadFile(h, data, count, &read, nullptr)) return -1;
    return static_cast<int>(read);
}

int native_ListDir(const char* folder, void (*each)(const char* name, void* context), void* context)
{
    char pattern[MAX_PATH];
    const int length = snprintf(pattern, sizeof pattern, "%s\\*", folder);
    if (length < 0 || length >= static_cast<int>(sizeof pattern)) return -1;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A missing folder holds no files; an empty one still lists "." and "..".
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? 0 : -1;
    }
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0)
            each(found.cFileName, context);
    } while (FindNextFileA(search, &found));
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return complete ? 0 : -1;
}

int native_FileCreate(const char* path)
{
    const int slot = free_Slot();
    if (slot < 0) return -1;
    // A file held by its writer cannot be deleted (it shares nothing), and
    // then the create fails too.
    if (!DeleteFileA(path) && GetLastError() != ERROR_FILE_NOT_FOUND) return -1;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    open_files[slot] = h;
    return slot;
}

int native_FileOpenWrite(const char* path)
{
    const int slot = free_Slot();
    if (slot < 0) return -1;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    // A named pipe whose reader stalls must not hold the program up: without
    // waiting, a write it cannot take takes nothing (FILE_WOULD_BLOCK).
    DWORD no_wait = PIPE_NOWAIT;
    if (GetFileType(h) == FILE_TYPE_PIPE && !SetNamedPipeHandleState(h, &no_wait, nullptr, nullptr)) {
        CloseHandle(h);
        return -1;
    }
    open_files[slot] = h;
    return slot;
}

int native_FileWrite(int file, const void* data, uint32_t count)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return -1;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(h, bytes, count, &written, nullptr)) return FILE_WRITE_FAILED;
        if (written == 0) return GetFileType(h) == FILE_TYPE_PIPE ? FILE_WOULD_BLOCK : FILE_WRITE_FAILED;
        bytes += written;
        count -= written;
    }
    return FILE_WRITTEN;
}

int native_FileClose(int file)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return -1;
    open_files[file] = nullptr;
    // Closed even when the flush fails, so the handle never leaks. Only a
    // file on a disk is flushed: on a pipe the flush would wait for its
    // reader to take every byte, and a stalled reader never does.
    const bool flushed = GetFileType(h) != FILE_TYPE_DISK || FlushFileBuffers(h) != 0;
    const bool closed = CloseHandle(h) != 0;
    return flushed && closed ? 0 : -1;
}

int native_FileRename(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int native_FileRenameNoReplace(const char* from, const char* to)
{
    if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return -1;
    // Only a plain file of that name is a track saved meanwhile; a folder or
    // a link would take the track with it.
    const DWORD attributes = GetFileAttributesA(to);
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & not_plain) == 0 ? 1 : -1;
}

int native_FileRemove(const char* path)
{
    return DeleteFileA(path) ? 0 : -1;
}

int native_MakeDir(const char* path)
{
    if (CreateDirectoryA(path, nullptr)) return 0;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return -1;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : -1;
}

char native_PathSeparator()
{
    return '\\';
}
