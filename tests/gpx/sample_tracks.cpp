// Downloads a set of simulated tracks with GPX saving on, on the simulated
// clock, into the folder given: the files for the cross-check against
// independent NMEA and GPX parsers. Track files already in the folder get
// their GPX first. Prints the status log.
#include <cstdio>

#include "download/download.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    session_Restart(), sim_Reset(), session_ResetBaseServices();
    sim_settings.faults.seed = 2026;
    sim_settings.faults.lose_item_reply_ppm = 10000;
    //               no  day mo  yr  hh  mm  ss  items  seed  timing
    sim_AddTrack({1, 14, 11, 26, 9, 12, 5, 420, 11, true});
    sim_AddTrack({2, 21, 11, 26, 15, 40, 30, 1500, 22, false});
    sim_AddTrack({3, 2, 12, 26, 7, 5, 0, 3200, 33, true});
    sim_AddTrack({4, 31, 12, 26, 23, 50, 0, 1500, 44, true});           // into the next year
    sim_AddTrack({5, 1, 1, 27, 12, 0, 0, 600, 55, false, 7});            // some checksums recorded wrong

    if (shell_ChooseOutputDir(argv[1], nullptr) != 0) return 1;
    shell_SetGpx(true);
    session_Run(100000);
    for (const std::string& line : log_Lines()) printf("%s\n", line.c_str());
    return seq_state == SEQ_IDLE ? 0 : 1;
}
