// End to end in real time: the simulated logger serves a pseudo-terminal at
// the line's byte pace, and the core, on the Qt serial driver and the POSIX
// base services, downloads on real 20 ms ticks; the disk must hold the
// logger's tracks byte for byte. A watchdog turns a hang into a failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "sim/sim_pty.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

constexpr uint32_t MAX_TICKS = 2500;  // 50 s; a 5 100-item track streams for about 20 s
constexpr uint8_t CMD_ITEMS = 0x13;

class DownloadOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        alarm(60);
        session_Begin();
    }
    void TearDown() override
    {
        session_End();
        session_StopPty();
        alarm(0);
    }

    // Serves the tracks, ticks until idle, stops the server and checks the
    // run ended well; the logger's byte count read while it ran caught up.
    static void download_Whole()
    {
        ASSERT_TRUE(session_StartOverPty());
        const uint32_t ticks = session_Run(MAX_TICKS);
        const uint64_t bytes_seen_running = sim_PtyLoggerBytes();
        session_StopPty();
        EXPECT_EQ(bytes_seen_running, sim_stats.bytes_sent);
        EXPECT_LT(ticks, MAX_TICKS);
        EXPECT_EQ(seq_state, SEQ_IDLE);
        ASSERT_EQ(fake_window.box_count, 1);
        EXPECT_STREQ(fake_window.boxes[0].title, "Download o.k.");
        EXPECT_EQ(log_Lines().back(), "ZORP read done. Data saved.");
        EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE) << "the line goes back to the base speed";
        EXPECT_EQ(sim_stats.rx_overflow, 0u);
        EXPECT_EQ(expect_DiskMatchesLogger(1), 0b111u);
    }
};

TEST_F(DownloadOverPty, LongAndShortTracksArriveWholeAtTheLinesPace)
{
    sim_AddTrack(SimTrack{7, 3, 7, 15, 8, 45, 12, 5100, 31, true});
    sim_AddTrack(SimTrack{8, 4, 7, 15, 10, 2, 0, 300, 32, false});
    sim_AddTrack(SimTrack{9, 5, 7, 15, 23, 59, 30, 120, 33, true});
    download_Whole();
    EXPECT_EQ(sim_stats.requests_by_command[CMD_ITEMS], 3u) << "nothing lost: one request a track";
}

TEST_F(DownloadOverPty, LostItemRepliesAreAskedForAgainUntilTheTracksAreWhole)
{
    sim_AddTrack(SimTrack{20, 3, 7, 15, 8, 45, 12, 700, 41, true});
    sim_AddTrack(SimTrack{21, 4, 7, 15, 9, 10, 0, 250, 42, false});
    sim_AddTrack(SimTrack{22, 5, 7, 15, 11, 30, 0, 40, 43, true});
    sim_settings.faults.seed = 5;
    sim_settings.faults.lose_item_reply_ppm = 30000;
    download_Whole();
    EXPECT_GT(sim_stats.item_replies_lost, 10u);
    EXPECT_GT(sim_stats.requests_by_command[CMD_ITEMS], 3u) << "by a whole range or alone";
}

}  // namespace
