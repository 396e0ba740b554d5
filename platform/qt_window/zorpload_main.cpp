// zorpload: the window over a real FT232R adapter through Qt Serial Port.
#include <QApplication>

#include "platform/qt_window/zorp_window.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    return qtwindow_Run();
}
