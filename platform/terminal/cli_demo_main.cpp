// zorpload-cli-demo: the download in a terminal, over the simulated logger
// (sim_SetUpDemo) in real time.
#include <QCommandLineParser>
#include <QCoreApplication>

#include "platform/posix/process_start.h"
#include "platform/terminal/terminal_front.h"
#include "sim/sim.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    ProgramOptions options;
    const TerminalSettings settings = terminal_Options(
        parser, "The ZorpLoad download in a terminal, on a simulated logger: three tracks, downloaded in real time.",
        OPTIONS_SIMULATED, &options);
    sim_SetUpDemo();
    return terminal_Run(options, settings);
}
