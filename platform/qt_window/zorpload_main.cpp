// zorpload: the window over a real FT232R adapter through the kernel's tty
// driver.
#include <QApplication>
#include <QCommandLineParser>

#include "platform/options/program_options.h"
#include "platform/posix_tty/d2xx_tty.h"
#include "platform/qt_window/zorp_window.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const ProgramOptions options = options_Process(
        parser, "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter.", OPTIONS_WITH_PORT);
    tty_UsePort(options.port.constData());
    return qtwindow_Run(options);
}
