// zorpload-cli: the download in a terminal, over a real FT232R adapter
// through the kernel's tty driver.
#include <QCommandLineParser>
#include <QCoreApplication>

#include "platform/posix_tty/d2xx_tty.h"
#include "platform/terminal/terminal_front.h"

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    ProgramOptions options;
    const TerminalSettings settings = terminal_Options(
        parser,
        "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter, in a terminal.\n"
        "Exit codes: 0 every track saved or already there, 1 download error, 2 no adapter, 3 some tracks could "
        "not be saved.",
        OPTIONS_WITH_PORT, &options);
    tty_UsePort(options.port.constData());
    return terminal_Run(options, settings);
}
