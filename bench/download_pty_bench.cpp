// Download benchmark in real time over a pseudo-terminal: the logger serves
// the master side from its own thread, the program's core downloads through
// the tty driver and the POSIX base services on real 20 ms ticks, and
// only the program's thread counts as its CPU time. Prints the table of
// download_measure.h; takes about two and a half minutes.
#include "bench/download_measure.h"
#include "sim/sim_pty.h"
#include "tests/download/download_session.h"

int main()
{
    return bench_Table({"Real time over a pseudo-terminal, tty driver (the program's thread only)",
                        session_StartOverPty, session_StopPty, sim_PtyLoggerBytes});
}
