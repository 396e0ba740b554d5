// zorpload-demo: the window over the simulated logger, in real time. The
// logger holds three tracks of a few hundred to a few thousand items and
// loses about one item reply in a hundred, so the gap recovery shows.
#include <QApplication>
#include <QCommandLineParser>

#include "platform/options/program_options.h"
#include "platform/qt_window/zorp_window.h"
#include "sim/sim.h"

static void demo_SetUpLogger()
{
    sim_Reset();
    sim_settings.logger.first_track_no = 1;
    sim_settings.faults.seed = 2026;
    sim_settings.faults.lose_item_reply_ppm = 10000;

    //               no  day mo  yr  hh  mm  ss  items  seed  timing
    sim_AddTrack({1, 14, 11, 26, 9, 12, 5, 420, 11, true});
    sim_AddTrack({2, 21, 11, 26, 15, 40, 30, 1500, 22, false});
    sim_AddTrack({3, 2, 12, 26, 7, 5, 0, 3200, 33, true});
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    const ProgramOptions options = options_Process(
        parser, "The ZorpLoad window on a simulated logger: three tracks, downloaded in real time.",
        OPTIONS_SIMULATED);
    demo_SetUpLogger();
    return qtwindow_Run(options);
}
