// End to end in real time: the core's link over the Qt serial driver and the
// POSIX base services finds, identifies and switches the speed of the
// simulated logger serving a pseudo-terminal from its own thread. A watchdog
// turns a hang into a failure.
#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "link/gps_link.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "sim/sim_pty.h"

namespace {

class LinkOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        alarm(30);
        sim_Reset();
        link_Reset();
        log_Clear();
        char path[256];
        ASSERT_EQ(sim_PtyStart(path, sizeof path), 0);
        // What usb_Open does with the adapter it finds by USB description,
        // which a pseudo-terminal does not have.
        ASSERT_EQ(qtserial_OpenByPath(path, &usb_handle), FT_OK);
        ASSERT_EQ(FT_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0), FT_OK);
        ASSERT_EQ(FT_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
        ASSERT_EQ(FT_SetBaudRate(usb_handle, BAUD_BASE), FT_OK);
    }
    void TearDown() override
    {
        usb_Close();
        sim_PtyStop();
        alarm(0);
    }

    // Probes once a tick, as the sequencer does, until the logger answers.
    static int probe_until_answered()
    {
        for (int tick = 0; tick < 10; ++tick, usleep(20000))
            if (GPS_Probe() == CMD_OK) return CMD_OK;
        return CMD_NOT_YET;
    }
};

// The server follows the slave's speed on its next turn; once a probe has
// been answered, logger and adapter agree.
TEST_F(LinkOverPty, LoggerIsFoundIdentifiedAndSwitchedToTheFastSpeedAndBack)
{
    ASSERT_EQ(probe_until_answered(), CMD_OK);
    ASSERT_EQ(GPS_SndData02(), CMD_OK);
    GPS_ShowIdentity();
    EXPECT_EQ(std::strncmp(status_log[0], "ZORP detected", 13), 0) << status_log[0];
    for (const uint32_t baud : {BAUD_FAST, BAUD_BASE}) {
        ASSERT_EQ(baud == BAUD_FAST ? GPS_LineSpeedUp() : GPS_SetLineSpeed(baud), CMD_OK);
        EXPECT_EQ(probe_until_answered(), CMD_OK) << baud;
        EXPECT_EQ(sim_PtySlaveBaud(), baud);
    }
    sim_PtyStop();
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
}

TEST_F(LinkOverPty, PulledAdapterFailsTheLinkWithoutHanging)
{
    ASSERT_EQ(probe_until_answered(), CMD_OK);
    sim_PtyStop();
    EXPECT_EQ(GPS_Probe(), CMD_NOT_YET);
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(usb_SetBaud(BAUD_FAST), 2);
    usb_Close();
    EXPECT_EQ(usb_handle, nullptr);
}

}  // namespace
