// The line's timeline on the real clock, for the demo and the
// pseudo-terminal server: microseconds of CLOCK_MONOTONIC, which never jumps
// with the wall clock.
#include <ctime>

#include "sim/sim.h"

uint64_t sim_NowUs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}
