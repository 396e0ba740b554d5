// The shell's handling of the window's tick, close request and commands,
// without Qt: the scripted window and the simulated logger on the simulated
// clock.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"

namespace {

struct Paint {
    int32_t state;  // seq_state when the paint ran
    int redraws;    // redraws asked for before it
};
std::vector<Paint> paints;

void record_paint(WindowHandle)
{
    paints.push_back({seq_state, fake_window.redraw_calls});
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        sim_ResetFiles();
        fake_WindowReset();
        paints.clear();
        sim_SetProgramPath("/home/user/zorp/zorpload");
        log_AddLine("left from before");
        shell_Start(&fake_window, record_paint);
    }
    void TearDown() override { usb_Close(); }
};

TEST_F(ShellTest, StartClearsTheLogAndTakesTheProgramDirectory)
{
    EXPECT_EQ(main_window, &fake_window);
    EXPECT_STREQ(program_dir, "/home/user/zorp");
    EXPECT_EQ(status_log[0][0], '\0');
    EXPECT_EQ(repaint_needed, 1);
    EXPECT_EQ(seq_state, SEQ_ADAPTER);
}

TEST_F(ShellTest, TickStepsThenPaintsThenRedrawsOnlyWhenTheLogChanged)
{
    seq_state = 5000;  // unlisted: the step turns it idle
    shell_Tick();
    shell_Tick();
    ASSERT_EQ(paints.size(), 2u);
    EXPECT_EQ(paints[0].state, SEQ_IDLE);
    EXPECT_EQ(paints[0].redraws, 0);
    EXPECT_EQ(fake_window.redraw_calls, 1);
    EXPECT_EQ(repaint_needed, 0);
}

TEST_F(ShellTest, CloseAndExitLeaveDuringADownloadOnlyAfterYesAndWhenIdleAtOnce)
{
    struct Case {
        bool use_exit;
        int32_t state;
        int answer;
        int boxes, quits;
    } cases[] = {
        {false, SEQ_PROBE, ANSWER_NO, 1, 0}, {false, SEQ_PROBE, ANSWER_YES, 1, 1}, {false, SEQ_IDLE, 0, 0, 1},
        {true, SEQ_PROBE, ANSWER_NO, 1, 0},  {true, SEQ_PROBE, ANSWER_YES, 1, 1},  {true, SEQ_IDLE, 0, 0, 1},
    };
    for (const Case& c : cases) {
        fake_WindowReset();
        seq_state = c.state;
        if (c.answer) fake_QueueAnswer(c.answer);
        if (c.use_exit)
            EXPECT_EQ(shell_Command(CMD_EXIT), 1);
        else
            shell_CloseRequest();
        ASSERT_EQ(fake_window.box_count, c.boxes);
        if (c.boxes) {
            EXPECT_STREQ(fake_window.boxes[0].text, "Exit application ?");
            EXPECT_STREQ(fake_window.boxes[0].title, "ZORP download utility");
            EXPECT_EQ(fake_window.boxes[0].icon, ICON_WARNING);
            EXPECT_EQ(fake_window.boxes[0].buttons, BUTTONS_YES_NO);
        }
        EXPECT_EQ(fake_window.stop_tick_calls, c.quits);
        EXPECT_EQ(fake_window.quit_calls, c.quits);
        EXPECT_EQ(fake_window.quit_code, 0);
        EXPECT_EQ(seq_state, c.state);
    }
}

TEST_F(ShellTest, CommandsAreToldApartByTheirLow16Bits)
{
    EXPECT_EQ(shell_Command(CMD_ABOUT), 1);
    EXPECT_EQ(shell_Command(0x10000u | CMD_ABOUT), 1);
    EXPECT_EQ(fake_window.about_boxes, 2);
    EXPECT_EQ(shell_Command(106), 0);
    EXPECT_EQ(shell_Command(0x10000u | CMD_ERASE), 1);  // refused: a download runs
    ASSERT_EQ(fake_window.box_count, 1);
    EXPECT_STREQ(fake_window.boxes[0].text, "Unable erase now, try later please.");
    EXPECT_EQ(fake_window.quit_calls, 0);
}

struct Run {
    int x, y;
    std::string text;
};
std::vector<Run> runs;

void record_run(void*, int x, int y, const char* text, int length)
{
    runs.push_back({x, y, std::string(text, length)});
}

TEST(LogDraw, EachNonEmptyLineIsOneRunAtItsOwnPlace)
{
    log_Clear();
    log_AddLine("\r\n FT_SetBaudRate Failed");
    log_AddLine("USB adapter check     ... o.k.");
    runs.clear();
    log_Draw(nullptr, record_run);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].x, 5);
    EXPECT_EQ(runs[0].y, 60);
    EXPECT_EQ(runs[0].text, "\r\n FT_SetBaudRate Failed");
    EXPECT_EQ(runs[1].y, 78);

    for (int i = 0; i < LOG_LINE_COUNT; ++i) log_AddLine(std::to_string(i).c_str());
    runs.clear();
    log_Draw(nullptr, record_run);
    ASSERT_EQ(runs.size(), 20u);
    EXPECT_EQ(runs[19].y, 402);
    EXPECT_EQ(runs[19].text, "19");
}

}  // namespace
