// Production base services on Windows: the system's millisecond tick count,
// Sleep, and the program file's path from GetModuleFileNameA. The file calls
// are the Win32 ones, through platform/base_files.cpp.
#include "seams/base_services.h"

#include <windows.h>


uint32_t sys_TickCount()
{
    return GetTickCount();
}

uint64_t sys_Microseconds()
{
    // The performance counter never goes back; its frequency is fixed at
    // boot. Whole seconds and the rest apart, so nothing overflows.
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    const uint64_t ticks = static_cast<uint64_t>(count.QuadPart), hz = static_cast<uint64_t>(frequency.QuadPart);
    return ticks / hz * 1000000u + ticks % hz * 1000000u / hz;
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
