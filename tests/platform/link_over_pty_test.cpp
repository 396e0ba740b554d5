// End to end in real time: the core's link over the Qt serial driver finds,
// identifies and switches the speed of the simulated logger serving a
// pseudo-terminal from its own thread, and fails without hanging once it goes.
#include <gtest/gtest.h>
#include <cstring>
#include <unistd.h>
#include "link/gps_link.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "sim/sim_pty.h"

namespace {

int probe_until_answered()  // once a tick, as the sequencer does
{
    for (int tick = 0; tick < 10; ++tick, usleep(20000))
        if (GPS_Probe() == CMD_OK) return CMD_OK;
    return CMD_NOT_YET;
}

TEST(LinkOverPty, LoggerIsFoundIdentifiedSwitchedFastAndBackThenPulled)
{
    alarm(30);
    sim_Reset();
    char path[256];
    ASSERT_EQ(sim_PtyStart(path, sizeof path), 0);
    ASSERT_EQ(qtserial_OpenByPath(path, &usb_handle), FT_OK);  // as usb_Open would, found by description
    ASSERT_EQ(FT_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0), FT_OK);
    ASSERT_EQ(FT_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    ASSERT_EQ(FT_SetBaudRate(usb_handle, BAUD_BASE), FT_OK);
    ASSERT_EQ(probe_until_answered(), CMD_OK);
    ASSERT_EQ(GPS_SndData02(), CMD_OK);
    GPS_ShowIdentity();
    EXPECT_EQ(std::strncmp(status_log[0], "ZORP detected", 13), 0) << status_log[0];
    for (const uint32_t baud : {BAUD_FAST, BAUD_BASE}) {  // the server follows on its next turn
        ASSERT_EQ(baud == BAUD_FAST ? GPS_LineSpeedUp() : GPS_SetLineSpeed(baud), CMD_OK);
        EXPECT_EQ(probe_until_answered(), CMD_OK) << baud;
        EXPECT_EQ(sim_PtySlaveBaud(), baud);
    }
    sim_PtyStop();  // the adapter pulled
    EXPECT_EQ(sim_LoggerBaud(), BAUD_BASE);
    EXPECT_EQ(GPS_Probe(), CMD_NOT_YET);
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(usb_SetBaud(BAUD_FAST), 2);
    usb_Close();
    EXPECT_EQ(usb_handle, nullptr);
    alarm(0);
}

}  // namespace
