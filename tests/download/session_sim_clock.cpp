// The session on the simulated FT232R and clock: the file faults start off.
#include "sim/sim.h"
#include "tests/download/download_session.h"
void session_ResetBaseServices() { sim_ResetFiles(); }
