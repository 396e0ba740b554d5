// zorpload-demo: the window over the simulated logger (sim_SetUpDemo), in
// real time.
#include <QApplication>
#include <QCommandLineParser>

#include "platform/options/program_options.h"
#include "platform/posix/process_start.h"
#include "platform/qt_window/zorp_window.h"
#include "sim/sim.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const ProgramOptions options = options_Process(
        parser, "The ZorpLoad window on a simulated logger: three tracks, downloaded in real time.",
        OPTIONS_SIMULATED);
    sim_SetUpDemo();
    return qtwindow_Run(options);
}
