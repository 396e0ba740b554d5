// zorp-sim-logger [tracks [items per track]]: serves a simulated logger with
// generated tracks on a pseudo-terminal until interrupted, for running the
// program with its real serial driver and no hardware. Prints the port to
// open, then waits for Ctrl-C.
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "sim/sim.h"
#include "sim/sim_pty.h"

int main(int argc, char** argv)
{
    const int tracks = argc > 1 ? std::atoi(argv[1]) : 3;
    const long items = argc > 2 ? std::atol(argv[2]) : 600;
    if (tracks < 0 || tracks > SIM_TRACKS_MAX || items < 0 || items > 0xFFFFFF) {
        std::fprintf(stderr, "usage: zorp-sim-logger [tracks 0..%d [items per track]]\n", SIM_TRACKS_MAX);
        return 2;
    }

    // Block the signals before the server thread starts, so that only
    // sigwait below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    sim_Reset();
    sim_AddTracks(tracks, 1, static_cast<uint32_t>(items), 1);
    char port[64];
    if (sim_PtyStart(port, sizeof port) != 0) {
        std::perror("zorp-sim-logger: no pseudo-terminal");
        return 1;
    }
    std::printf("%s\n", port);
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    sim_PtyStop();
    std::printf("%u requests heard, %u replies sent\n", sim_stats.requests_heard, sim_stats.replies_sent);
    return 0;
}
