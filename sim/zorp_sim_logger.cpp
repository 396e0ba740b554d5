// zorp-sim-logger [tracks [items per track]]: serves a simulated logger with
// generated tracks on a pseudo-terminal until interrupted, for running the
// program with its real serial driver and no hardware. Prints the port to
// open, then waits for Ctrl-C.
//
// Its command line is read here, not by platform/options: it takes two
// numbers by their place and none of the download programs' options.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sim/sim.h"
#include "sim/sim_pty.h"
#include "version.h"

namespace {

constexpr int DEFAULT_TRACKS = 3;
constexpr long DEFAULT_ITEMS = 600;
constexpr long ITEMS_MAX = 0xFFFFFF;

void print_help()
{
    std::printf(
        "Usage: zorp-sim-logger [TRACKS [ITEMS]]\n"
        "Serve a simulated ZORP GPS data logger on a pseudo-terminal, to try\n"
        "zorpload --port or zorpload-cli --port without a logger or an adapter.\n"
        "\n"
        "  TRACKS         tracks on the logger, 0 to %d (default %d)\n"
        "  ITEMS          items in each track, 0 to %ld (default %ld)\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "\n"
        "Prints the pseudo-terminal to open, such as /dev/pts/3, and serves it\n"
        "until Ctrl-C; then prints the requests heard and the replies sent.\n"
        "In another terminal:\n"
        "  zorpload-cli --port /dev/pts/3 --output-dir /tmp/zorp-tracks\n",
        SIM_TRACKS_MAX, DEFAULT_TRACKS, ITEMS_MAX, DEFAULT_ITEMS);
}

// Prints the error and the way to the help to standard error; the exit code
// of a wrong command line.
int refuse(const char* what, const char* argument)
{
    std::fprintf(stderr, "zorp-sim-logger: %s '%s'\nTry 'zorp-sim-logger --help'.\n", what, argument);
    return 2;
}

// The whole of text as a decimal number in 0..max, or -1.
long read_count(const char* text, long max)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return *text >= '0' && *text <= '9' && *end == '\0' && value <= max ? value : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    long counts[2] = {DEFAULT_TRACKS, DEFAULT_ITEMS};
    const long count_max[2] = {SIM_TRACKS_MAX, ITEMS_MAX};
    int counts_read = 0;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            print_help();
            return 0;
        }
        if (std::strcmp(arg, "-v") == 0 || std::strcmp(arg, "--version") == 0) {
            std::printf("zorp-sim-logger (ZorpLoad " ZORP_VERSION ")\n");
            return 0;
        }
        if (arg[0] == '-')
            return refuse("unknown option", arg);
        if (counts_read == 2)
            return refuse("one argument too many:", arg);
        counts[counts_read] = read_count(arg, count_max[counts_read]);
        if (counts[counts_read] < 0)
            return refuse(counts_read == 0 ? "not a track count:" : "not an item count:", arg);
        ++counts_read;
    }

    // Block the signals before the server thread starts, so that only
    // sigwait below takes them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    sim_Reset();
    sim_AddTracks(static_cast<int>(counts[0]), 1, static_cast<uint32_t>(counts[1]), 1);
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
