// zorpload-demo.exe: the window over the simulated logger, in real time.
#include "platform/win32/win32_window.h"
#include "shell/shell.h"
#include "sim/sim.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    sim_SetUpFromEnvironment();
    demo_run = true;
    return win32_Run(instance, show, "The ZorpLoad window on a simulated logger: three tracks, downloaded in real time.");
}
