// zorpload: the window over a real FT232R adapter through the kernel's tty
// driver.
#include <QApplication>

#include "platform/options/command_line.h"
#include "platform/posix/process_start.h"
#include "platform/posix_tty/d2xx_tty.h"
#include "platform/qt_window/zorp_window.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    // Before QApplication, which needs a display: --help and --version work
    // without one.
    const ProgramOptions options =
        options_Read(argc, argv, "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter.",
                     PROGRAM_QT | PROGRAM_QT_WINDOW | PROGRAM_SERIAL_PORT);
    QApplication application(argc, argv);
    tty_UsePort(options.port);
    return qtwindow_Run(options);
}
