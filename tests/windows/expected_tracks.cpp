// Writes into the current folder the track files that a whole download from
// the simulated FTD2XX.dll must leave: the logger set up from the same
// environment as the DLL, each track's ".txt" and ".imp" worked out from its
// tracks independently of the program (tests/download/download_session.h).
// For the end-to-end test of the Windows program; exit code 0 when written.
#include <fstream>

#include "sim/sim.h"
#include "tests/download/download_session.h"

int main()
{
    sim_SetUpFromEnvironment();
    const int first_id = sim_settings.logger.first_track_no;
    for (int track = 0; track < sim_track_count; ++track) {
        const std::string name = expected_Name(track, first_id + track);
        const std::string stem = name.substr(0, name.size() - 3);
        if (!(std::ofstream(name, std::ios::binary) << expected_Text(track))) return 1;
        const std::string timing = expected_Timing(track);
        if (!timing.empty() && !(std::ofstream(stem + "imp", std::ios::binary) << timing)) return 1;
    }
    return 0;
}
