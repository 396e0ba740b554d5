// The session on the simulated FT232R and the simulated clock: their file
// faults start switched off.
#include "sim/sim.h"
#include "tests/download/download_session.h"

void session_ResetBaseServices()
{
    sim_ResetFiles();
}
