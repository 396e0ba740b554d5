// zorpload-cli: the download in a terminal, over a real FT232R adapter
// through Qt Serial Port.
#include <QCommandLineParser>
#include <QCoreApplication>

#include "platform/posix/process_start.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "platform/terminal/terminal_front.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    ProgramOptions options;
    const TerminalSettings settings = terminal_Options(
        parser,
        "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter, in a terminal.\n"
        "Exit codes: 0 every track saved or already there, 1 download error, 2 no adapter, 3 some tracks could "
        "not be saved, 5 standard output could not be written.",
        OPTIONS_WITH_PORT, &options);
    qtserial_UsePort(options.port.constData());
    return terminal_Run(options, settings);
}
