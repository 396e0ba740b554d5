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
    int32_t state;    // seq_state when the paint ran
    int redraws;      // redraws asked for before it
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
        sim_SetProgramPath("/home/user/zorp/zorpload");
        shell_Start(&fake_window, record_paint);
        paints.clear();
    }
    void TearDown() override { usb_Close(); }

    static void expect_exit_question(const FakeBox& box)
    {
        EXPECT_STREQ(box.text, "Exit application ?");
        EXPECT_STREQ(box.title, "ZORP download utility");
        EXPECT_EQ(box.icon, ICON_WARNING);
        EXPECT_EQ(box.buttons, BUTTONS_YES_NO);
    }
};

TEST_F(ShellTest, StartClearsTheLogAndTakesTheProgramDirectory)
{
    log_AddLine("left from before");
    seq_state = SEQ_IDLE;
    repaint_needed = 0;
    shell_Start(&fake_window, record_paint);
    EXPECT_EQ(main_window, &fake_window);
    EXPECT_STREQ(program_dir, "/home/user/zorp");
    EXPECT_EQ(log_LastUsedLine(), 0);
    EXPECT_EQ(status_log[0][0], '\0');
    EXPECT_EQ(repaint_needed, 1);
    EXPECT_EQ(seq_state, SEQ_ADAPTER);
}

TEST_F(ShellTest, TickStepsThenPaintsThenRedrawsOnlyWhenTheLogChanged)
{
    seq_state = 5000;  // unlisted: the step turns it idle
    shell_Tick();
    ASSERT_EQ(paints.size(), 1u);
    EXPECT_EQ(paints[0].state, SEQ_IDLE);
    EXPECT_EQ(paints[0].redraws, 0);
    EXPECT_EQ(fake_window.redraw_calls, 1);
    EXPECT_EQ(repaint_needed, 0);

    shell_Tick();
    EXPECT_EQ(paints.size(), 2u);
    EXPECT_EQ(fake_window.redraw_calls, 1);
}

TEST_F(ShellTest, CloseAndExitDuringADownloadLeaveOnlyAfterYes)
{
    for (bool use_exit : {false, true}) {
        for (int answer : {ANSWER_NO, ANSWER_YES}) {
            fake_WindowReset();
            seq_state = SEQ_PROBE;
            fake_QueueAnswer(answer);
            if (use_exit)
                EXPECT_EQ(shell_Command(CMD_EXIT), 1);
            else
                shell_CloseRequest();
            ASSERT_EQ(fake_window.box_count, 1);
            expect_exit_question(fake_window.boxes[0]);
            const int left = answer == ANSWER_YES ? 1 : 0;
            EXPECT_EQ(fake_window.stop_tick_calls, left);
            EXPECT_EQ(fake_window.quit_calls, left);
            EXPECT_EQ(fake_window.quit_code, 0);
            EXPECT_EQ(seq_state, SEQ_PROBE);
        }
    }
}

TEST_F(ShellTest, CloseAndExitOnceIdleLeaveWithoutAQuestion)
{
    seq_state = SEQ_IDLE;
    shell_CloseRequest();
    EXPECT_EQ(shell_Command(CMD_EXIT), 1);
    EXPECT_EQ(fake_window.box_count, 0);
    EXPECT_EQ(fake_window.stop_tick_calls, 2);
    EXPECT_EQ(fake_window.quit_calls, 2);
    EXPECT_EQ(fake_window.quit_code, 0);
}

TEST_F(ShellTest, TheDownloadGoesOnBehindTheExitQuestion)
{
    shell_Tick();  // adapter found
    shell_Tick();  // searching
    ASSERT_EQ(seq_state, SEQ_PROBE);
    fake_window.while_box_open = [](WindowHandle) {
        for (int i = 0; i < 3; ++i) shell_Tick();
    };
    shell_CloseRequest();  // the box's answer is No
    expect_exit_question(fake_window.boxes[0]);
    EXPECT_GT(seq_state, SEQ_PROBE);
    EXPECT_LT(seq_state, SEQ_ERROR_STATES);
    EXPECT_EQ(fake_window.quit_calls, 0);
    EXPECT_EQ(paints.size(), 5u);
}

TEST_F(ShellTest, CommandsAreToldApartByTheirLow16Bits)
{
    EXPECT_EQ(shell_Command(CMD_ABOUT), 1);
    EXPECT_EQ(shell_Command(0x10000u | CMD_ABOUT), 1);
    EXPECT_EQ(fake_window.about_boxes, 2);

    EXPECT_EQ(shell_Command(106), 0);
    EXPECT_EQ(shell_Command(CMD_ERASE | 0x10000u), 1);  // refused: a download runs
    EXPECT_EQ(fake_window.box_count, 1);
    EXPECT_STREQ(fake_window.boxes[0].title, "Erase GPS Log");
    EXPECT_EQ(fake_window.quit_calls, 0);
}

TEST_F(ShellTest, ShutdownClosesAnOpenAdapter)
{
    ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    shell_Shutdown();
    EXPECT_EQ(usb_handle, nullptr);
    EXPECT_FALSE(sim_AdapterOpen());
    shell_Shutdown();
    EXPECT_EQ(usb_handle, nullptr);
}

struct Run {
    int x, y;
    std::string text;
};
std::vector<Run> runs;

void record_run(void* surface, int x, int y, const char* text, int length)
{
    EXPECT_EQ(surface, &runs);
    runs.push_back({x, y, std::string(text, length)});
}

TEST(LogDraw, EachNonEmptyLineIsOneRunAtItsOwnPlace)
{
    log_Clear();
    log_AddLine("\r\n FT_SetBaudRate Failed");
    log_AddLine("USB adapter check     ... o.k.");
    runs.clear();
    log_Draw(&runs, record_run);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].x, 5);
    EXPECT_EQ(runs[0].y, 60);
    EXPECT_EQ(runs[0].text, "\r\n FT_SetBaudRate Failed");
    EXPECT_EQ(runs[1].y, 78);

    for (int i = 0; i < LOG_LINE_COUNT; ++i) log_AddLine(std::to_string(i).c_str());
    runs.clear();
    log_Draw(&runs, record_run);
    ASSERT_EQ(runs.size(), 20u);
    EXPECT_EQ(runs[19].y, 402);
    EXPECT_EQ(runs[19].text, "19");
}

}  // namespace
