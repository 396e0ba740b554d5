// The line's timeline on the real clock, for the demo and the
// pseudo-terminal server: the base services' microseconds, whose monotonic
// clock never jumps with the wall clock.
#include "seams/base_services.h"
#include "sim/sim.h"

uint64_t sim_NowUs()
{
    return sys_Microseconds();
}
