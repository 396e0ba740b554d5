// zorpload-cli: the download in a terminal, over a real FT232R adapter
// through the kernel's tty driver.
#include "platform/posix/process_start.h"
#include "platform/posix_tty/d2xx_tty.h"
#include "platform/terminal/terminal_front.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    const ProgramOptions options = options_Read(
        argc, argv,
        "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter, in a terminal.\n"
        "Exit codes: 0 every track saved or already there, 1 download error, 2 no adapter, 3 some tracks could "
        "not be saved, 4 another ZorpLoad is saving into the folder, 5 standard output could not be written.",
        PROGRAM_TERMINAL | PROGRAM_SERIAL_PORT);
    const TerminalSettings settings = terminal_Settings(options);
    tty_UsePort(options.port);
    return terminal_Run(options, settings);
}
