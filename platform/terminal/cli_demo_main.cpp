// zorpload-cli-demo: the download in a terminal, over the simulated logger
// (sim_SetUpDemo, as the ZORP_SIM_ variables change it) in real time.
#include "platform/posix/process_start.h"
#include "platform/terminal/terminal_front.h"
#include "shell/shell.h"
#include "sim/sim.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    const ProgramOptions options = options_Read(
        argc, argv, "The ZorpLoad download in a terminal, on a simulated logger: three tracks, downloaded in real time.",
        PROGRAM_TERMINAL);
    const TerminalSettings settings = terminal_Settings(options);
    sim_SetUpFromEnvironment();
    demo_run = true;
    return terminal_Run(options, settings);
}
