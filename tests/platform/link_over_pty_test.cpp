// End to end in real time: the core's link layer, with the Qt serial driver
// and the POSIX base services, finds, identifies and switches the speed of
// the simulated logger, which serves the far side of a pseudo-terminal from
// its own thread. A watchdog turns a hang into a failure.

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "link/gps_link.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "sim/sim_pty.h"

namespace {

constexpr unsigned WATCHDOG_S = 30;

class LinkOverPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        alarm(WATCHDOG_S);
        sim_Reset();
        link_Reset();
        log_Clear();
        char path[256];
        ASSERT_EQ(sim_PtyStart(path, sizeof path), 0);
        // What usb_Open does once it has a handle; it finds its adapter by
        // USB description, which a pseudo-terminal does not have.
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

    // The sequencer probes once a tick until the logger answers.
    static int probe_until_answered()
    {
        for (int tick = 0; tick < 10; ++tick) {
            if (GPS_Probe() == CMD_OK)
                return CMD_OK;
            usleep(20000);
        }
        return CMD_NOT_YET;
    }
};

TEST_F(LinkOverPty, LoggerIsFoundIdentifiedAndSwitchedToTheFastSpeedAndBack)
{
    ASSERT_EQ(probe_until_answered(), CMD_OK);
    ASSERT_EQ(GPS_SndData02(), CMD_OK);
    GPS_ShowIdentity();
    EXPECT_EQ(std::strncmp(status_log[0], "ZORP detected", 13), 0) << status_log[0];

    // The server follows the slave's speed on its next turn; once a probe
    // has been answered, it has.
    ASSERT_EQ(GPS_LineSpeedUp(), CMD_OK);
    EXPECT_EQ(probe_until_answered(), CMD_OK) << "logger and adapter agree on 250000";
    EXPECT_EQ(sim_PtySlaveBaud(), BAUD_FAST);

    ASSERT_EQ(GPS_SetLineSpeed(BAUD_BASE), CMD_OK);
    EXPECT_EQ(probe_until_answered(), CMD_OK) << "logger and adapter agree on 38400";
    EXPECT_EQ(sim_PtySlaveBaud(), BAUD_BASE);

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
