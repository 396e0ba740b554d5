// End to end in real time: the simulated logger serves a pseudo-terminal at
// the line's pace, the core downloads over the tty driver and the POSIX
// base services on real 20 ms ticks, and the disk must hold the logger's
// tracks byte for byte, with and without lost item replies.
#include <gtest/gtest.h>
#include <unistd.h>
#include "download/download.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "sim/sim_pty.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

TEST(DownloadOverPty, TracksArriveWholeAtTheLinesPaceAndLostRepliesAreAskedForAgain)
{
    for (const uint32_t lose_ppm : {0u, 30000u}) {
        SCOPED_TRACE(lose_ppm);
        alarm(60);
        session_Begin();
        sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, lose_ppm ? 700u : 5100u, 31, true});  // about 20 s
        sim_AddTrack(SimTrack{2, 4, 7, 15, 10, 2, 0, 250, 32, false});
        sim_AddTrack(SimTrack{3, 5, 7, 15, 23, 59, 30, 40, 33, true});
        sim_settings.faults.seed = 5;
        sim_settings.faults.lose_item_reply_ppm = lose_ppm;
        ASSERT_TRUE(session_StartOverPty());
        EXPECT_LT(session_Run(2500), 2500u);
        session_StopPty();
        ASSERT_EQ(fake_window.box_count, 1);
        EXPECT_STREQ(fake_window.boxes[0].title, "Download o.k.");
        EXPECT_EQ(log_Lines().back(), "ZORP read done. Data saved.");
        EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE) << "the line goes back to the base speed";
        EXPECT_EQ(sim_stats.rx_overflow, 0u);
        EXPECT_EQ(expect_DiskMatchesLogger(1), 0b111u);
        EXPECT_EQ(sim_stats.item_replies_lost > 10u, lose_ppm > 0);
        EXPECT_EQ(sim_stats.requests_by_command[0x13] > 3u, lose_ppm > 0) << "item requests: one a track unless lost";
        session_End();
        alarm(0);
    }
}

}  // namespace
