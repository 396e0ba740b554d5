// zorpload-demo: the window over the simulated logger, in real time. The
// logger holds three tracks of a few hundred to a few thousand items and
// loses about one item reply in a hundred, so the gap recovery shows.
#include <QApplication>

#include "platform/qt_window/zorp_window.h"
#include "sim/sim.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    sim_SetUpDemo();
    return qtwindow_Run();
}
