// zorpload-demo: the window over the simulated logger (sim_SetUpDemo, as the
// ZORP_SIM_ variables change it), in real time.
#include <QApplication>

#include "platform/options/command_line.h"
#include "platform/posix/process_start.h"
#include "platform/qt_window/zorp_window.h"
#include "shell/shell.h"
#include "sim/sim.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    // Before QApplication, which needs a display: --help and --version work
    // without one.
    const ProgramOptions options = options_Read(
        argc, argv, "The ZorpLoad window on a simulated logger: three tracks, downloaded in real time.",
        PROGRAM_QT | PROGRAM_QT_WINDOW);
    QApplication application(argc, argv);
    sim_SetUpFromEnvironment();
    demo_run = true;
    return qtwindow_Run(options);
}
