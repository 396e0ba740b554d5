// The demonstration's logger, the same for every demo front end.
#include "sim/sim.h"

void sim_SetUpDemo()
{
    sim_Reset();
    sim_settings.logger.first_track_no = 1;
    sim_settings.faults.seed = 2026;
    sim_settings.faults.lose_item_reply_ppm = 10000;

    //               no  day mo  yr  hh  mm  ss  items  seed  timing
    sim_AddTrack({1, 14, 11, 26, 9, 12, 5, 420, 11, true});
    sim_AddTrack({2, 21, 11, 26, 15, 40, 30, 1500, 22, false});
    sim_AddTrack({3, 2, 12, 26, 7, 5, 0, 3200, 33, true});
}
