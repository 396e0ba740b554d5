// The erase command against the simulated logger on the simulated clock:
// its boxes, the frames that go out, and the one retry at 38400 baud.
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

enum Frame { ERASE, SPEED_38400 };
const uint8_t FRAMES[][9] = {
    {0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE, 0x2F, 0xFC},
    {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00, 0x59, 0x4B},
};

class EraseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        fake_WindowReset();
        link_Reset();
        download_Reset();
        log_Clear();
        seq_state = SEQ_IDLE;
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        written_mark = sim_written_count;
    }
    void TearDown() override { usb_Close(); }

    // Erases with Yes to the confirmation; returns the outcome box's text
    // after checking both boxes and that nothing else changed.
    std::string erase_confirmed()
    {
        fake_QueueAnswer(ANSWER_YES);
        shell_EraseCommand(&fake_window);
        EXPECT_EQ(fake_window.box_count, 2);
        EXPECT_STREQ(fake_window.boxes[0].text, "Do you want erase ZORP memory?");
        EXPECT_EQ(fake_window.boxes[0].icon, ICON_WARNING);
        EXPECT_EQ(fake_window.boxes[0].buttons, BUTTONS_YES_NO);
        const FakeBox& outcome = fake_window.boxes[1];
        EXPECT_STREQ(outcome.title, "Erase GPS Log");
        EXPECT_EQ(outcome.buttons, BUTTONS_OK);
        EXPECT_EQ(outcome.icon, outcome.text == std::string("GPS erase done") ? ICON_INFORMATION : ICON_ERROR);
        EXPECT_EQ(seq_state, SEQ_IDLE);
        EXPECT_EQ(status_log[0][0], '\0');
        return outcome.text;
    }

    // The erase and speed frames written since SetUp, in order.
    std::vector<int> frames_written() const
    {
        std::vector<int> frames;
        const uint8_t* end = sim_written + sim_written_count;
        for (const uint8_t* at = sim_written + written_mark; at + sizeof FRAMES[0] <= end; ++at)
            for (int f : {ERASE, SPEED_38400})
                if (std::equal(FRAMES[f], FRAMES[f] + sizeof FRAMES[f], at)) frames.push_back(f);
        return frames;
    }

    uint32_t written_mark = 0;
};

TEST_F(EraseTest, NoToTheConfirmationSendsNothing)
{
    fake_QueueAnswer(ANSWER_NO);
    shell_EraseCommand(&fake_window);
    EXPECT_EQ(fake_window.box_count, 1);
    EXPECT_EQ(sim_written_count, written_mark);
}

TEST_F(EraseTest, AcceptedFirstRequestNeedsNoSpeedChange)
{
    EXPECT_EQ(erase_confirmed(), "GPS erase done");
    EXPECT_EQ(frames_written(), std::vector<int>{ERASE});
    EXPECT_EQ(sim_stats.erases, 1u);
}

TEST_F(EraseTest, FailedFirstRequestIsSentOnceMoreAfterTheLineIsBackAt38400)
{
    usb_SetBaud(BAUD_FAST);  // left there by a failed download
    EXPECT_EQ(erase_confirmed(), "GPS erase done");
    const std::vector<int> frames = frames_written();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames.front(), ERASE);
    EXPECT_EQ(frames[frames.size() - 2], SPEED_38400);
    EXPECT_EQ(frames.back(), ERASE);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_EQ(sim_stats.erases, 1u);
}

TEST_F(EraseTest, TwoFailedRequestsGiveTheFailureBox)
{
    sim_settings.faults.silent = true;
    usb_SetBaud(BAUD_FAST);
    EXPECT_EQ(erase_confirmed(), "GPS erase failed");
    const std::vector<int> frames = frames_written();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), ERASE), 2 * static_cast<int>(RETRY_ATTEMPTS));
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);  // switched although the logger never answered
}

TEST_F(EraseTest, WithoutAnAdapterBothRequestsFailAndNothingIsSent)
{
    usb_Close();
    EXPECT_EQ(erase_confirmed(), "GPS erase failed");
    EXPECT_EQ(sim_written_count, written_mark);
}

}  // namespace
