// Production base services on Windows: the system's millisecond tick count,
// Sleep, the program file's path from GetModuleFileNameA, and the Win32 file
// calls.
#include "seams/base_services.h"

#include <windows.h>

#include "platform/native_files.h"

uint32_t sys_TickCount()
{
    return GetTickCount();
}

void sys_Sleep(uint32_t ms)
{
    Sleep(ms);
}

uint32_t sys_ProgramPath(char* buf, uint32_t size)
{
    if (size == 0) return 0;
    DWORD n = GetModuleFileNameA(nullptr, buf, size);
    // A cut path fills the buffer, and Windows XP leaves it unterminated.
    if (n >= size) n = size - 1;
    buf[n] = '\0';
    return n;
}

char sys_PathSeparator()
{
    return native_PathSeparator();
}

int sys_FileExists(const char* path)
{
    return native_FileExists(path);
}

int sys_FileCreate(const char* path)
{
    return native_FileCreate(path);
}

int sys_FileWrite(int file, const void* data, uint32_t count)
{
    return native_FileWrite(file, data, count);
}

int sys_FileClose(int file)
{
    return native_FileClose(file);
}

int sys_FileRename(const char* from, const char* to)
{
    return native_FileRename(from, to);
}

int sys_FileRenameNoReplace(const char* from, const char* to)
{
    return native_FileRenameNoReplace(from, to);
}

int sys_FileRemove(const char* path)
{
    return native_FileRemove(path);
}

int sys_MakeDir(const char* path)
{
    return native_MakeDir(path);
}
