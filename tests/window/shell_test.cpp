// The shell without Qt: start-up, tick, commands, the drawing
// of the log and the erase command, with the scripted window and the
// simulated logger on the simulated clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"

namespace {

void expect_Box(int i, const char* text, const char* title, int icon, int buttons)
{
    ASSERT_LT(i, fake_window.box_count);
    const FakeBox& box = fake_window.boxes[i];
    EXPECT_STREQ(box.text, text);
    EXPECT_STREQ(box.title, title);
    EXPECT_EQ(box.icon, icon);
    EXPECT_EQ(box.buttons, buttons);
}

struct Paint {
    int32_t state;  // seq_state when the paint ran
    int redraws;    // redraws asked for before it
};
std::vector<Paint> paints;

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
        shell_Start(&fake_window, [](WindowHandle) { paints.push_back({seq_state, fake_window.redraw_calls}); });
    }
    void TearDown() override { usb_Close(); }
};

TEST_F(ShellTest, StartResetsThenATickStepsThenPaintsThenRedrawsOnlyWhenTheLogChanged)
{
    EXPECT_EQ(main_window, &fake_window);
    EXPECT_STREQ(program_dir, "/home/user/zorp");
    EXPECT_EQ(status_log[0][0], '\0');
    EXPECT_EQ(repaint_needed, 1);
    EXPECT_EQ(seq_state, SEQ_ADAPTER);

    seq_state = 5000;  // unlisted: the step turns it idle
    shell_Tick();
    shell_Tick();
    ASSERT_EQ(paints.size(), 2u);
    EXPECT_EQ(paints[0].state, SEQ_IDLE);
    EXPECT_EQ(paints[0].redraws, 0);
    EXPECT_EQ(fake_window.redraw_calls, 1);
    EXPECT_EQ(repaint_needed, 0);
}

// Commands count by their low 16 bits; Exit when idle leaves at once by
// stopping the tick and quitting with 0 (the questions: the window's tests).
TEST_F(ShellTest, CommandsAreToldApartByTheirLow16Bits)
{
    EXPECT_EQ(shell_Command(CMD_ABOUT), 1);
    EXPECT_EQ(shell_Command(0x10000u | CMD_ABOUT), 1);
    EXPECT_EQ(fake_window.about_boxes, 2);
    EXPECT_EQ(shell_Command(106), 0);
    EXPECT_EQ(shell_Command(0x10000u | CMD_ERASE), 1);  // refused: a download runs
    ASSERT_EQ(fake_window.box_count, 1);
    expect_Box(0, "Unable erase now, try later please.", "Erase GPS Log", ICON_ERROR, BUTTONS_OK);
    EXPECT_EQ(fake_window.quit_calls, 0);
    seq_state = SEQ_IDLE;
    EXPECT_EQ(shell_Command(0x10000u | CMD_EXIT), 1);
    EXPECT_EQ(fake_window.box_count, 1);
    EXPECT_EQ(fake_window.stop_tick_calls, 1);
    EXPECT_EQ(fake_window.quit_calls, 1);
    EXPECT_EQ(fake_window.quit_code, 0);
}

TEST(LogDraw, EachNonEmptyLineIsOneRunAtItsOwnPlace)
{
    static std::vector<std::string> runs;  // "x,y,text"
    const LogDrawText record = [](void*, int x, int y, const char* text, int length) {
        runs.push_back(std::to_string(x) + "," + std::to_string(y) + "," + std::string(text, length));
    };
    log_Clear();
    log_AddLine("\r\n FT_SetBaudRate Failed");
    log_AddLine("USB adapter check     ... o.k.");
    log_Draw(nullptr, record);
    const std::vector<std::string> two = {"5,60,\r\n FT_SetBaudRate Failed", "5,78,USB adapter check     ... o.k."};
    EXPECT_EQ(runs, two);
    for (int i = 0; i < LOG_LINE_COUNT; ++i) log_AddLine(std::to_string(i).c_str());
    runs.clear();
    log_Draw(nullptr, record);
    ASSERT_EQ(runs.size(), 20u);
    EXPECT_EQ(runs[19], "5,402,19");
}

// The erase command: its boxes, the frames that go out ('E' erase, 'S' back
// to 38400) and the one retry at 38400 baud; it leaves log and state alone.
TEST(EraseCommand, AsksSendsAndRetriesOnceAt38400)
{
    const uint8_t frames[][9] = {{0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE, 0x2F, 0xFC},
                                 {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00, 0x59, 0x4B}};
    const std::string retried(RETRY_ATTEMPTS, 'E'), speed(RETRY_ATTEMPTS, 'S');
    struct Row {
        const char* shows;
        void (*arrange)();
        int answer;
        const char* outcome;  // none: the confirmation was refused
        std::string written;
        uint32_t erases;
    };
    const Row rows[] = {
        {"No to the confirmation", [] {}, ANSWER_NO, nullptr, "", 0},
        {"accepted at once", [] {}, ANSWER_YES, "GPS erase done", "E", 1},
        {"line left fast by a failed download", [] { usb_SetBaud(BAUD_FAST); }, ANSWER_YES, "GPS erase done",
         retried + speed + "E", 1},
        {"logger silent",
         [] {
             usb_SetBaud(BAUD_FAST);
             sim_settings.faults.silent = true;
         },
         ANSWER_YES, "GPS erase failed", retried + speed + retried, 0},
        {"no adapter", [] { usb_Close(); }, ANSWER_YES, "GPS erase failed", "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        sim_Reset();
        fake_WindowReset();
        link_Reset();
        download_Reset();
        log_Clear();
        seq_state = SEQ_IDLE;
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        const uint32_t mark = sim_written_count;
        row.arrange();
        fake_QueueAnswer(row.answer);
        shell_EraseCommand(&fake_window);

        EXPECT_EQ(fake_window.box_count, row.outcome ? 2 : 1);
        expect_Box(0, "Do you want erase ZORP memory?", "Erase GPS Log", ICON_WARNING, BUTTONS_YES_NO);
        if (row.outcome) {
            const bool done = std::string(row.outcome) == "GPS erase done";
            expect_Box(1, row.outcome, "Erase GPS Log", done ? ICON_INFORMATION : ICON_ERROR, BUTTONS_OK);
        }
        std::string written;
        for (uint32_t at = mark; at + 9 <= sim_written_count; ++at)
            for (int f : {0, 1})
                if (std::equal(frames[f], frames[f] + 9, sim_written + at)) written += "ES"[f];
        EXPECT_EQ(written, row.written);
        if (row.written.empty()) { EXPECT_EQ(sim_written_count, mark); }
        EXPECT_EQ(sim_stats.erases, row.erases);
        if (row.written.find('S') != std::string::npos) { EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE); }
        EXPECT_EQ(seq_state, SEQ_IDLE);
        EXPECT_EQ(status_log[0][0], '\0');
        usb_Close();
    }
}

}  // namespace
