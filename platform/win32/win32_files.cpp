// The Win32 file calls behind the base-services file functions.
//
// A track file is written under a temporary name, so whatever stands at that
// name is removed first (a link itself, never what it points to) and the
// file is then created anew, with no sharing at all, as OF_SHARE_EXCLUSIVE
// does: while its writer holds it nobody else can open it, not even to read,
// or remove it, so another program's file in the making is never touched.
// Each write is checked for its full count, and a close first flushes the
// file to the disk. The writer holds its file until it has its final name:
// the rename goes through the writer's own handle (so it is that file that
// is renamed, whatever happened at its name), the text file's without
// replacing a file that appeared meanwhile, so a track's ".txt" is either
// complete on disk or absent.
//
// One program at a time saves into a folder: the one holding LockFileEx's
// exclusive lock on the folder's lock file, which Windows releases when the
// program ends in whatever way.
//
// A file the user names (a trace) is written without ever waiting: a pipe
// in no-wait mode, a file on a disk through a writer thread.
//
// The seam speaks of int handles; the Win32 HANDLEs live in a fixed table and
// the seam handle is the slot's index.
#include "platform/native_files.h"

#include "platform/file_writer.h"
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
    // DELETE: the final name, or the removal, goes through this handle.
    HANDLE h = CreateFileA(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    open_files[slot] = h;
    return slot;
}

namespace {

// Every byte, as long as the file takes them; FILE_WOULD_BLOCK from a pipe
// in no-wait mode that takes no more now.
int write_All(HANDLE h, const void* data, uint32_t count)
{
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

int flush_Close(HANDLE h)
{
    // Closed even when the flush fails, so the handle never leaks. Only a
    // file on a disk is flushed: on a pipe the flush would wait for its
    // reader to take every byte, and a stalled reader never does.
    const bool flushed = GetFileType(h) != FILE_TYPE_DISK || FlushFileBuffers(h) != 0;
    const bool closed = CloseHandle(h) != 0;
    return flushed && closed ? 0 : -1;
}

int disk_Write(intptr_t h, const void* data, uint32_t count)
{
    return write_All(reinterpret_cast<HANDLE>(h), data, count);
}

int disk_Close(intptr_t h)
{
    return flush_Close(reinterpret_cast<HANDLE>(h));
}

}  // namespace

int native_FileOpenWrite(const char* path, bool (*disk_ready)())
{
    const int slot = free_Slot();
    if (slot < 0) return -1;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    // A named pipe whose reader stalls must not hold the program up: without
    // waiting, a write it cannot take takes nothing (FILE_WOULD_BLOCK). A
    // file on a disk would wait in WriteFile for a slow or hung disk (a
    // network share): its writes go through a writer thread instead.
    const DWORD type = GetFileType(h);
    DWORD no_wait = PIPE_NOWAIT;
    if ((type == FILE_TYPE_PIPE && !SetNamedPipeHandleState(h, &no_wait, nullptr, nullptr)) ||
        (type == FILE_TYPE_DISK &&
         writer_Start(slot, reinterpret_cast<intptr_t>(h), {disk_Write, disk_Close, disk_ready}) != 0)) {
        CloseHandle(h);
        return -1;
    }
    open_files[slot] = h;
    return slot;
}

int native_FileWrite(int file, const void* data, uint32_t count)
{
    if (const int writer = writer_Of(file); writer >= 0) return writer_Write(writer, data, count);
    HANDLE h = handle_Of(file);
    return h != nullptr ? write_All(h, data, count) : FILE_WRITE_FAILED;
}

int native_FileClose(int file)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return -1;
    open_files[file] = nullptr;
    // The writer's thread closes its file itself.
    if (const int writer = writer_Of(file); writer >= 0) return writer_Close(writer, WRITER_CLOSE_WAIT_MS);
    return flush_Close(h);
}

int native_FileSync(int file)
{
    HANDLE h = handle_Of(file);
    return h != nullptr && FlushFileBuffers(h) ? 0 : -1;
}

namespace {

// Closes the handle of a seam file and frees its slot.
void close_Slot(int file)
{
    CloseHandle(open_files[file]);
    open_files[file] = nullptr;
}

// Marks the file held open as h for removal when its handle closes.
void delete_OnClose(HANDLE h)
{
    FILE_DISPOSITION_INFO disposition {};
    disposition.DeleteFile = TRUE;
    SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition);
}

// Renames the file held open as h to path (a whole path: a bare name would
// be taken from the current folder); keep refuses a name that is taken.
// True when renamed.
bool rename_Held(HANDLE h, const char* path, bool keep)
{
    union {
        FILE_RENAME_INFO info;
        unsigned char bytes[sizeof(FILE_RENAME_INFO) + MAX_PATH * sizeof(WCHAR)];
    } rename {};
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, rename.info.FileName, MAX_PATH);
    if (length <= 1) return false;
    rename.info.ReplaceIfExists = keep ? FALSE : TRUE;
    rename.info.RootDirectory = nullptr;
    rename.info.FileNameLength = static_cast<DWORD>(length - 1) * sizeof(WCHAR);
    return SetFileInformationByHandle(h, FileRenameInfo, &rename, sizeof rename) != 0;
}

// True when a plain file (no folder, link or device) stands at path.
bool plain_File(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & not_plain) == 0;
}

}  // namespace

int native_FileCommit(int file, const char*, const char* to, bool keep)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return FILE_COMMIT_FAILED;
    int result = FILE_COMMIT_FAILED;
    if (rename_Held(h, to, keep)) {
        if (FlushFileBuffers(h)) result = FILE_COMMITTED;
    } else {
        const DWORD error = GetLastError();
        // Only a plain file of that name is a track saved meanwhile; a
        // folder or a link would take the track with it.
        if (keep && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) && plain_File(to))
            result = FILE_NAME_TAKEN;
        delete_OnClose(h);
    }
    close_Slot(file);
    return result;
}

void native_FileDiscard(int file, const char*)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return;
    delete_OnClose(h);
    close_Slot(file);
}

int64_t native_FileSize(int file)
{
    HANDLE h = handle_Of(file);
    LARGE_INTEGER size {};
    return h != nullptr && GetFileSizeEx(h, &size) ? static_cast<int64_t>(size.QuadPart) : -1;
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

namespace {

// The folder lock's open handle; null when none is held.
HANDLE folder_lock;

// True when the lock file just opened, as GetFileInformationByHandle
// describes it, is the one whose lock this program holds: a second handle
// on it would find it busy.
bool lock_Held(const BY_HANDLE_FILE_INFORMATION& opened)
{
    BY_HANDLE_FILE_INFORMATION held {};
    return folder_lock != nullptr && GetFileInformationByHandle(folder_lock, &held) &&
           held.dwVolumeSerialNumber == opened.dwVolumeSerialNumber && held.nFileIndexHigh == opened.nFileIndexHigh &&
           held.nFileIndexLow == opened.nFileIndexLow;
}

}  // namespace

int native_FolderLock(const char* folder)
{
    char path[MAX_PATH];
    const int length = snprintf(path, sizeof path, "%s\\%s", folder, FOLDER_LOCK_NAME);
    if (length < 0 || length >= static_cast<int>(sizeof path)) return FOLDER_LOCK_FAILED;
    // Opened itself, never what a link at its name points to; others may
    // open it too, only the lock is exclusive.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FOLDER_LOCK_FAILED;
    BY_HANDLE_FILE_INFORMATION info {};
    const DWORD not_plain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    int result = FOLDER_LOCK_FAILED;
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
        (info.dwFileAttributes & not_plain) == 0) {
        if (lock_Held(info)) {
            CloseHandle(h);
            return FOLDER_LOCKED;
        }
        OVERLAPPED whole {};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &whole))
            result = FOLDER_LOCKED;
        else if (GetLastError() == ERROR_LOCK_VIOLATION)
            result = FOLDER_BUSY;
    }
    if (result == FOLDER_LOCKED) {
        native_FolderUnlock();
        folder_lock = h;
    } else {
        CloseHandle(h);
    }
    return result;
}

void native_FolderUnlock()
{
    if (folder_lock != nullptr) CloseHandle(folder_lock);
    folder_lock = nullptr;
}

char native_PathSeparator()
{
    return '\\';
}
