// Shared by the link tests that run against the simulated FT232R: a clean
// line, link and log for every test, and small helpers to script the line
// and read what the program wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/status_log.h"
#include "sim/sim.h"

using Bytes = std::vector<uint8_t>;

// bytes followed by their CRC, low byte first.
inline Bytes sealed(Bytes bytes)
{
    const uint16_t crc = GPS_Crc16(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

// A valid reply frame with command and data.
inline Bytes reply_frame(uint8_t command, const Bytes& data = {})
{
    Bytes frame = {FRAME_START_REPLY, FRAME_FIXED_BYTE, static_cast<uint8_t>(data.size() + 6), command};
    frame.insert(frame.end(), data.begin(), data.end());
    return sealed(frame);
}

inline Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes rx_bytes()
{
    return Bytes(rx_frame, rx_frame + rx_count);
}

inline void inject(uint32_t delay_us, const Bytes& bytes)
{
    sim_InjectRx(delay_us, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

inline int log_lines_used()
{
    int used = 0;
    while (used < LOG_LINE_COUNT && status_log[used][0] != '\0') ++used;
    return used;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        link_Reset();
        log_Clear();
        written_mark = sim_written_count;
        start_tick = sys_TickCount();
    }

    void TearDown() override { usb_Close(); }

    // A line on which only what the test injects arrives.
    static void open_scripted_line()
    {
        sim_settings.logger.connected = false;
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    }

    // Bytes the program wrote since the test began (or since mark_written).
    Bytes written() const
    {
        return Bytes(sim_written + written_mark, sim_written + sim_written_count);
    }
    void mark_written() { written_mark = sim_written_count; }

    // Simulated milliseconds since the test began (or since mark_time).
    uint32_t elapsed_ms() const { return sys_TickCount() - start_tick; }
    void mark_time() { start_tick = sys_TickCount(); }

    uint32_t written_mark = 0;
    uint32_t start_tick = 0;
};
