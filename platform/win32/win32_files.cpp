// The Win32 file calls behind the base-services file functions.
//
// A created file is opened with no sharing at all, as OF_SHARE_EXCLUSIVE
// does: while its writer holds it, nobody else can open it, not even to read,
// and a second create fails without emptying it (the sharing check comes
// before the truncation). Each write is checked for its full count, and a
// close first flushes the file to the disk. The final rename replaces and is
// written through, so a track's ".txt" is either complete on disk or absent.
//
// The seam speaks of int handles; the Win32 HANDLEs live in a fixed table and
// the seam handle is the slot's index.
#include "platform/native_files.h"

#include <windows.h>

namespace {

constexpr int OPEN_FILES_MAX = 16;
HANDLE open_files[OPEN_FILES_MAX];

HANDLE handle_Of(int file)
{
    if (file < 0 || file >= OPEN_FILES_MAX) return nullptr;
    return open_files[file];
}

}  // namespace

int native_FileExists(const char* path)
{
    // Read access with every kind of sharing: only a file that cannot be
    // opened at all (absent, or held exclusively by its writer) is missing.
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(h);
    return 1;
}

int native_FileCreate(const char* path)
{
    int slot = 0;
    while (slot < OPEN_FILES_MAX && open_files[slot] != nullptr) ++slot;
    if (slot == OPEN_FILES_MAX) return -1;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
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
        if (!WriteFile(h, bytes, count, &written, nullptr) || written == 0) return -1;
        bytes += written;
        count -= written;
    }
    return 0;
}

int native_FileClose(int file)
{
    HANDLE h = handle_Of(file);
    if (h == nullptr) return -1;
    open_files[file] = nullptr;
    // Closed even when the flush fails, so the handle never leaks.
    const bool flushed = FlushFileBuffers(h) != 0;
    const bool closed = CloseHandle(h) != 0;
    return flushed && closed ? 0 : -1;
}

int native_FileRename(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0 : -1;
}

int native_FileRemove(const char* path)
{
    return DeleteFileA(path) ? 0 : -1;
}

char native_PathSeparator()
{
    return '\\';
}
