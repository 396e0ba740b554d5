// Download benchmark on the simulated clock: the simulated FT232R, whose
// logger runs in the program's own thread, so its CPU time counts in the
// program's. Prints the table of download_measure.h, then what a whole
// download of a healthy logger costs on the wire: the requests by command
// and the time of the directory reading (summary and listing) at 38400 baud.
#include <cstdio>

#include "bench/download_measure.h"
#include "download/download.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

static uint64_t logger_Bytes()
{
    return sim_stats.bytes_sent;
}

// One whole download of tracks tracks of 50 items each.
static void wire_Row(int tracks)
{
    session_Begin();
    sim_AddTracks(tracks, 1, 50, 3);
    uint64_t directory_us = 0;
    uint32_t ticks = 0;
    const uint64_t start_us = sim_NowUs();
    for (; ticks < 100000 && seq_state != SEQ_IDLE; ++ticks) {
        const int32_t state = seq_state;
        const uint64_t tick_us = sim_NowUs();
        session_Tick();
        if (state == SEQ_DIR_SUMMARY || state == SEQ_DIR_READ) directory_us += sim_NowUs() - tick_us;
    }
    const SimStats& st = sim_stats;
    printf("%6d  %8u  %8u  %8u  %8u  %10.3f s  %10.3f s  %s\n", tracks, st.requests_heard,
           st.requests_by_command[0x12], st.requests_by_command[0x13], st.requests_by_command[0x06],
           double(directory_us) * 1e-6, double(sim_NowUs() - start_us) * 1e-6,
           tracks_unsaved == 0 && seq_state == SEQ_IDLE ? "" : "  NOT SAVED");
    session_End();
}

int main()
{
    const int result = bench_Table({"Simulated clock and FT232R (the logger's work in the program's thread)",
                                    nullptr, nullptr, logger_Bytes});
    printf("\nWhole download of a healthy logger, 50-item tracks: requests heard by the logger, and the time of\n"
           "the directory reading (summary and listing ticks) and of the whole run on the simulated clock\n");
    const char* columns = "%6s  %8s  %8s  %8s  %8s  %12s  %12s\n";
    printf(columns, "tracks", "requests", "0x12", "0x13", "0x06", "directory", "download");
    for (int tracks : {1, 20, 100}) wire_Row(tracks);
    return result;
}
