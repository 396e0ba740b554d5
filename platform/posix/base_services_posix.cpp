// Production base services on Linux: the monotonic clock (never stepped by
// the wall clock, so time-outs stay honest), sleeps that last their full
// length despite signals, and the program's path from /proc. The file calls
// are the POSIX ones, through platform/base_files.cpp.

#include "seams/base_services.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

uint32_t sys_TickCount()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

uint64_t sys_Microseconds()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void sys_Sleep(uint32_t ms)
{
    timespec left { static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L };
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t sys_ProgramPath(char* buf, uint32_t size)
{
    if (size == 0)
        return 0;
    // readlink neither terminates nor reports a cut, so it gets one byte less.
    const ssize_t n = readlink("/proc/self/exe", buf, size - 1);
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    buf[n] = '\0';
    return static_cast<uint32_t>(n);
}
