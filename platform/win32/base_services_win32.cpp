// Production base services on Windows: the system's millisecond tick count,
// Sleep, and the program file's path from GetModuleFileNameA. The file calls
// are the Win32 ones, through platform/base_files.cpp.
#include "seams/base_services.h"

#include <windows.h>


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
