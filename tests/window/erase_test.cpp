// The erase command against the simulated logger on the simulated clock:
// its four boxes, what goes out on the line, and the one retry at 38400.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes ERASE_FRAME = {0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE, 0x2F, 0xFC};
const Bytes SPEED_38400_FRAME = {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00, 0x59, 0x4B};

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

    // Erases with the confirmation answered Yes; the boxes are then the
    // confirmation and the outcome.
    void erase_confirmed()
    {
        fake_QueueAnswer(ANSWER_YES);
        shell_EraseCommand(&fake_window);
        ASSERT_EQ(fake_window.box_count, 2);
        expect_box(0, "Do you want erase ZORP memory?", ICON_WARNING, BUTTONS_YES_NO);
        EXPECT_EQ(seq_state, SEQ_IDLE);
        EXPECT_EQ(status_log[0][0], '\0');
    }

    static void expect_box(int index, const char* text, int icon, int buttons)
    {
        const FakeBox& box = fake_window.boxes[index];
        EXPECT_STREQ(box.text, text);
        EXPECT_STREQ(box.title, "Erase GPS Log");
        EXPECT_EQ(box.icon, icon);
        EXPECT_EQ(box.buttons, buttons);
    }

    // The frames written since SetUp, in order, as far as they are one of
    // the two above (0 = erase, 1 = speed 38400).
    std::vector<int> frames_written() const
    {
        std::vector<int> frames;
        const uint8_t* end = sim_written + sim_written_count;
        for (const uint8_t* at = sim_written + written_mark; at + ERASE_FRAME.size() <= end; ++at) {
            if (std::equal(ERASE_FRAME.begin(), ERASE_FRAME.end(), at)) frames.push_back(0);
            if (std::equal(SPEED_38400_FRAME.begin(), SPEED_38400_FRAME.end(), at)) frames.push_back(1);
        }
        return frames;
    }

    uint32_t written_mark = 0;
};

TEST_F(EraseTest, RefusedDuringADownloadWithNothingSent)
{
    seq_state = SEQ_READ_TRACK;
    shell_EraseCommand(&fake_window);
    ASSERT_EQ(fake_window.box_count, 1);
    expect_box(0, "Unable erase now, try later please.", ICON_ERROR, BUTTONS_OK);
    EXPECT_EQ(sim_written_count, written_mark);
    EXPECT_EQ(seq_state, SEQ_READ_TRACK);
}

TEST_F(EraseTest, NoToTheConfirmationSendsNothing)
{
    fake_QueueAnswer(ANSWER_NO);
    shell_EraseCommand(&fake_window);
    EXPECT_EQ(fake_window.box_count, 1);
    EXPECT_EQ(sim_written_count, written_mark);
}

TEST_F(EraseTest, AcceptedFirstRequestNeedsNoSpeedChange)
{
    erase_confirmed();
    expect_box(1, "GPS erase done", ICON_INFORMATION, BUTTONS_OK);
    EXPECT_EQ(frames_written(), std::vector<int>{0});
    EXPECT_EQ(sim_stats.erases, 1u);
    EXPECT_EQ(sim_stats.speed_changes, 0u);
}

TEST_F(EraseTest, FailedFirstRequestIsRetriedOnceAt38400)
{
    usb_SetBaud(BAUD_FAST);  // left there by a failed download
    erase_confirmed();
    expect_box(1, "GPS erase done", ICON_INFORMATION, BUTTONS_OK);
    std::vector<int> frames = frames_written();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames.front(), 0);
    EXPECT_EQ(frames[frames.size() - 2], 1);
    EXPECT_EQ(frames.back(), 0);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_EQ(sim_stats.erases, 1u);
}

TEST_F(EraseTest, TwoFailedRequestsGiveTheFailureBox)
{
    sim_settings.faults.silent = true;
    usb_SetBaud(BAUD_FAST);
    erase_confirmed();
    expect_box(1, "GPS erase failed", ICON_ERROR, BUTTONS_OK);
    std::vector<int> frames = frames_written();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), 0), 2 * static_cast<int>(RETRY_ATTEMPTS));
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);  // switched although the logger never answered
    EXPECT_EQ(sim_stats.erases, 0u);
}

TEST_F(EraseTest, WithoutAnAdapterBothRequestsFailAndNothingIsSent)
{
    usb_Close();
    erase_confirmed();
    expect_box(1, "GPS erase failed", ICON_ERROR, BUTTONS_OK);
    EXPECT_EQ(sim_written_count, written_mark);
}

}  // namespace
