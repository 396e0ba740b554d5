// zorpload: the window over a real FT232R adapter through Qt Serial Port.
#include <QApplication>
#include <QCommandLineParser>

#include "platform/options/program_options.h"
#include "platform/posix/process_start.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "platform/qt_window/zorp_window.h"

int main(int argc, char** argv)
{
    posix_StartProcess();
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const ProgramOptions options = options_Process(
        parser, "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter.", OPTIONS_WITH_PORT);
    qtserial_UsePort(options.port.constData());
    return qtwindow_Run(options);
}
