// Download benchmark on the simulated clock: the simulated FT232R, whose
// logger runs in the program's own thread, so its CPU time counts in the
// program's. Prints the table of download_measure.h.
#include "bench/download_measure.h"
#include "sim/sim.h"

static uint64_t logger_Bytes()
{
    return sim_stats.bytes_sent;
}

int main()
{
    return bench_Table({"Simulated clock and FT232R (the logger's work in the program's thread)", nullptr, nullptr,
                        logger_Bytes});
}
