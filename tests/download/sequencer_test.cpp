// Download sequencer: a whole download as the user sees it, the adapter box,
// the idle state behind every box, the completeness threshold, and the
// regressions of the search and of unusual tracks.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

const char* const kAdapterOk = "USB adapter check     ... o.k.";
const char* const kSearching = "Connect ZORP, searching ...";

class Sequencer : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_Begin();
        busy_ticks_behind_box = 0;
        fake_window.while_box_open = tick_behind_box;
    }
    void TearDown() override { session_End(); }

    static void expect_Box(int index, const char* text, const char* title, int icon, int buttons)
    {
        ASSERT_LT(index, fake_window.box_count);
        const FakeBox& box = fake_window.boxes[index];
        EXPECT_STREQ(box.text, text);
        EXPECT_STREQ(box.title, title);
        EXPECT_EQ(box.icon, icon);
        EXPECT_EQ(box.buttons, buttons);
    }

    // The window keeps ticking behind a box: those ticks must find the idle
    // state and change nothing.
    static inline int busy_ticks_behind_box;
    static void tick_behind_box(WindowHandle window)
    {
        const size_t lines = log_Lines().size();
        if (seq_state != SEQ_IDLE) ++busy_ticks_behind_box;
        sequencer_Tick(window);
        if (seq_state != SEQ_IDLE || log_Lines().size() != lines) ++busy_ticks_behind_box;
    }

    static void add_track(uint16_t no, uint8_t day, uint32_t items, bool timing)
    {
        sim_AddTrack(SimTrack{no, day, 7, 15, 8, 45, 12, items, no, timing});
    }
};

TEST_F(Sequencer, WalkThroughThreeTracksSecondAlreadyOnDisk)
{
    sim_AddTrack(SimTrack{40, 3, 7, 15, 8, 45, 12, 120, 11, true});
    sim_AddTrack(SimTrack{41, 4, 7, 15, 9, 10, 0, 60, 12, false});
    sim_AddTrack(SimTrack{42, 5, 7, 15, 23, 59, 30, 250, 13, false});
    const std::string second = session_Dir() + "/" + expected_Name(1, 2);
    std::ofstream(second) << "from an earlier run";
    fake_QueueAnswer(ANSWER_YES);

    // Up to the first tick of the first track's reading.
    for (int ticks = 0; ticks < 1000 && seq_state != SEQ_READ_TRACK; ++ticks) session_Tick();
    session_Tick();
    EXPECT_EQ(log_Lines().back(), "Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... read GPS data (  0%)");
    session_Run();

    EXPECT_EQ(log_Lines(), (Lines{
                               kAdapterOk,
                               "Connect ZORP, searching ... o.k.",
                               "ZORP detected, ID 3:1201 (FW ver. 02.0A)",
                               "Track  40: 03/07/2015 (120 items)",
                               "Track  41: 04/07/2015 (60 items)",
                               "Track  42: 05/07/2015 (250 items)",
                               "Total track count: 3",
                               "Output directory: " + session_Dir(),
                               "Track ID=  1 (  120 items), File: 2015-07-03_0845_001.txt ... read GPS data (100%)",
                               "Track ID=  2 (   60 items), File: 2015-07-04_0910_002.txt ... exist, skipping",
                               "Track ID=  3 (  250 items), File: 2015-07-05_2359_003.txt ... read GPS data (100%)",
                               "ZORP read done. Data saved.",
                           }));
    EXPECT_EQ(session_Files(), (Lines{"2015-07-03_0845_001.imp", "2015-07-03_0845_001.txt", "2015-07-04_0910_002.txt",
                                      "2015-07-05_2359_003.txt"}));
    EXPECT_EQ(read_WholeFile(session_Dir() + "/2015-07-03_0845_001.txt"), expected_Text(0));
    EXPECT_EQ(read_WholeFile(session_Dir() + "/2015-07-03_0845_001.imp"), expected_Timing(0));
    EXPECT_EQ(read_WholeFile(second), "from an earlier run");
    EXPECT_EQ(read_WholeFile(session_Dir() + "/2015-07-05_2359_003.txt"), expected_Text(2));

    EXPECT_EQ(fake_window.box_count, 1);
    expect_Box(0, "Exit application ?", "Download o.k.", ICON_INFORMATION, BUTTONS_YES_NO);
    EXPECT_EQ(busy_ticks_behind_box, 0);
    EXPECT_EQ(fake_window.stop_tick_calls, 1);
    EXPECT_EQ(fake_window.quit_calls, 1);
    EXPECT_EQ(fake_window.quit_code, 0);
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
}

TEST_F(Sequencer, LoggerWithoutRecordsEndsAtOnceWithoutSpeedChange)
{
    session_Run();
    EXPECT_EQ(log_Lines(), (Lines{kAdapterOk, "Connect ZORP, searching ... o.k.",
                                  "ZORP detected, ID 3:1201 (FW ver. 02.0A)", "No records on ZORP."}));
    EXPECT_EQ(fake_window.box_count, 1);
    expect_Box(0, "Exit application ?", "Download o.k.", ICON_INFORMATION, BUTTONS_YES_NO);
    EXPECT_EQ(fake_window.quit_calls, 0);  // "No": the program stays, idle
    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(sim_stats.speed_changes, 0u);
}

TEST_F(Sequencer, AdapterBoxEndsInTheErrorQuestionOrRetriesUntilPluggedIn)
{
    sim_settings.adapter.present = false;
    fake_QueueAnswer(ANSWER_CANCEL);
    fake_QueueAnswer(ANSWER_YES);
    session_Run();
    EXPECT_EQ(log_Lines(), Lines{"Error - USB adapter not found"});
    ASSERT_EQ(fake_window.box_count, 2);
    expect_Box(0, "USB adapter Error! (rv=102)", "Error", ICON_ERROR, BUTTONS_RETRY_CANCEL);
    expect_Box(1, "Exit application ?", "Download error", ICON_WARNING, BUTTONS_YES_NO);
    EXPECT_EQ(fake_window.quit_calls, 1);

    session_Restart();
    add_track(1, 3, 5, false);
    fake_window.while_box_open = [](WindowHandle window) {
        if (fake_window.box_count == 1) sim_settings.adapter.present = true;
        tick_behind_box(window);
    };
    fake_QueueAnswer(ANSWER_RETRY);
    fake_QueueAnswer(ANSWER_RETRY);
    session_Run();
    const Lines lines = log_Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3),
              (Lines{"Error - USB adapter not found", "Error - USB adapter not found", kAdapterOk}));
    EXPECT_EQ(lines.back(), "ZORP read done. Data saved.");
    ASSERT_EQ(fake_window.box_count, 3);
    expect_Box(1, "USB adapter Error! (rv=102)", "Error", ICON_ERROR, BUTTONS_RETRY_CANCEL);
    EXPECT_STREQ(fake_window.boxes[2].title, "Download o.k.");
    EXPECT_EQ(busy_ticks_behind_box, 0);
    EXPECT_EQ(expect_DiskMatchesLogger(1), 1u);
}

TEST_F(Sequencer, UnlistedStateTurnsIdleAndDoesNothing)
{
    for (int32_t state : {-1, 13, 99, 5000, 9000, 9989, int32_t(SEQ_IDLE)}) {
        seq_state = state;
        sequencer_Tick(&fake_window);
        EXPECT_EQ(seq_state, SEQ_IDLE) << state;
    }
    EXPECT_TRUE(log_Lines().empty());
    EXPECT_EQ(fake_window.box_count, 0);
    EXPECT_EQ(sim_written_count, 0u);
}

TEST_F(Sequencer, MoreThanOneItemInHundredMissingAsksWholeTrackAgain)
{
    // A pass over the track has ended (the line fell silent) with items missing.
    const struct {
        uint32_t items, missing;
        int32_t state_after;            // what the same tick decides
        uint32_t asked_first, asked_count;  // then the item request (0 items: none)
    } rows[] = {{50, 1, SEQ_READ_TRACK, 0, 50},
                {50, 0, SEQ_FILL_GAPS, 0, 0},
                {1000, 10, SEQ_FILL_GAPS, 27, 1},  // the highest gap
                {1000, 11, SEQ_READ_TRACK, 0, 1000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.missing << " of " << row.items << " missing");
        session_End();
        session_Begin();
        add_track(1, 3, row.items, false);
        ASSERT_EQ(usb_Open(), 0);
        ASSERT_EQ(GPS_GetHeads(255), 0);
        first_MSG_cnt = row.items;
        memset(item_len, 40, row.items);
        for (uint32_t i = 0; i < row.missing; ++i) item_len[i * 3] = 0;
        read_phase = 1;
        progress_countdown = 5;
        seq_state = SEQ_READ_TRACK;

        const uint32_t requests = sim_stats.requests_by_command[0x13];
        session_Tick();
        EXPECT_EQ(seq_state, row.state_after);
        if (seq_state == SEQ_READ_TRACK) session_Tick();
        EXPECT_EQ(sim_stats.requests_by_command[0x13] - requests, row.asked_count != 0 ? 1u : 0u);
        uint32_t first = 0, count = 0;
        EXPECT_EQ(last_ItemRequest(&first, &count), row.asked_count != 0);
        EXPECT_EQ(first, row.asked_first);
        EXPECT_EQ(count, row.asked_count);
    }
}

TEST_F(Sequencer, TrackLongerThanStoreIsCutToItsFirstItems)
{
    sim_AddTrack(SimTrack{7, 3, 7, 15, 8, 45, 12, ITEMS128B_MAX + 232, 3, true});
    sim_settings.faults.lose_item_reply_ppm = 2000;
    EXPECT_LT(session_Run(), 100000u);

    const Lines lines = log_Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], "Track ID=  1 has 33000 items, only the first 32768 are read");
    EXPECT_EQ(lines[7], "Track ID=  1 (33000 items), File: 2015-07-03_0845_001.txt ... read GPS data (100%)");
    EXPECT_EQ(lines[8], "ZORP read done. Data saved.");
    EXPECT_EQ(read_WholeFile(session_Dir() + "/2015-07-03_0845_001.txt"), expected_Text(0, ITEMS128B_MAX));
    EXPECT_EQ(read_WholeFile(session_Dir() + "/2015-07-03_0845_001.imp"), expected_Timing(0, ITEMS128B_MAX));
}

// A run that fails mid-track leaves the logger at the fast speed; the next
// start must still find it, set it back to the base speed and finish.
TEST_F(Sequencer, LoggerLeftAtFastSpeedByAPulledAdapterIsFoundOnTheNextRun)
{
    add_track(40, 3, 200, true);
    add_track(41, 4, 150, false);
    sim_settings.faults.vanish_after_items = 300;
    session_Run();
    ASSERT_EQ(log_Lines().back(), "ZORP read error! (Try again, please)");
    ASSERT_EQ(expect_DiskMatchesLogger(1), 0b01u);
    ASSERT_EQ(sim_LoggerBaud(), BAUD_FAST);

    session_Restart();
    sim_PlugAdapter();
    for (int ticks = 0; ticks < 100 && seq_state <= SEQ_PROBE; ++ticks) session_Tick();
    EXPECT_EQ(log_Lines(), (Lines{kAdapterOk, "Connect ZORP, searching ... o.k."}));
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    session_Run(400);
    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(log_Lines().back(), "ZORP read done. Data saved.");
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b11u);
}

// Probing at both speeds in turn logs nothing and leaves the adapter at the
// base speed after every tick; a refused fast speed is reported once.
TEST_F(Sequencer, SearchForAnAbsentLoggerLeavesTheLineAtTheBaseSpeed)
{
    sim_settings.logger.connected = false;
    for (int tick = 0; tick < 12; ++tick) {
        session_Tick();
        EXPECT_TRUE(seq_state != SEQ_PROBE || sim_AdapterBaud() == BAUD_BASE) << tick;
    }
    EXPECT_EQ(seq_state, SEQ_PROBE);
    EXPECT_EQ(log_Lines(), (Lines{kAdapterOk, kSearching}));
    EXPECT_EQ(sim_stats.speed_changes, 0u);
    EXPECT_GT(sim_written_count, 0u);

    sim_settings.adapter.fail_baud_rate = true;
    for (int tick = 0; tick < 12; ++tick) session_Tick();
    EXPECT_EQ(seq_state, SEQ_PROBE);
    EXPECT_EQ(log_Lines(), (Lines{kAdapterOk, kSearching, "\r\n FT_SetBaudRate Failed"}));
}

// A request for no items goes unanswered: asking again would hold the
// download at an empty track for good.
TEST_F(Sequencer, TrackWithoutItemsIsPassedOverWithoutAFile)
{
    add_track(1, 3, 0, true);
    add_track(2, 4, 40, true);
    session_Run(200);

    EXPECT_EQ(seq_state, SEQ_IDLE);
    const Lines lines = log_Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Track ID=  1 (    0 items), File: 2015-07-03_0845_001.txt ... read GPS data (100%)");
    EXPECT_EQ(lines.back(), "ZORP read done. Data saved.");
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b10u);
    EXPECT_EQ(sim_stats.requests_by_command[0x13], 1u);
}

}  // namespace
