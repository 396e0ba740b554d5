// Shared by the link and download tests: frame builders; for the link tests
// a clean simulated line, link and log, with marks for what was written and
// the time taken.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b)
{
    for (uint8_t byte : b) a.push_back(byte);
    return a;
}

// bytes followed by their CRC, low byte first.
inline Bytes sealed(const Bytes& bytes)
{
    const uint16_t crc = GPS_Crc16(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return bytes + Bytes{static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)};
}

// A valid reply frame with command and data.
inline Bytes reply_frame(uint8_t command, const Bytes& data = {})
{
    return sealed(Bytes{FRAME_START_REPLY, FRAME_FIXED_BYTE, static_cast<uint8_t>(data.size() + 6), command} + data);
}

inline Bytes repeated(const Bytes& bytes, uint32_t times)
{
    Bytes all;
    for (uint32_t i = 0; i < times; ++i) all = all + bytes;
    return all;
}

inline void set_rx(const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), rx_frame);
    rx_count = static_cast<uint32_t>(bytes.size());
}

inline Bytes rx_bytes() { return Bytes(rx_frame, rx_frame + rx_count); }

inline void inject(uint32_t delay_us, const Bytes& bytes)
{
    sim_InjectRx(delay_us, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { fresh_line(); }
    void TearDown() override { usb_Close(); }

    // Closes the adapter and starts over: simulator defaults, link, log, marks.
    void fresh_line()
    {
        usb_Close();
        sim_Reset();
        link_Reset();
        log_Clear();
        mark();
    }

    // The adapter opened on the line as set up; the marks start here.
    void open_adapter()
    {
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        mark();
    }

    // A line on which only what the test injects arrives.
    void open_scripted_line(bool echo = true)
    {
        sim_settings.logger.connected = false;
        sim_settings.adapter.echo = echo;
        open_adapter();
    }

    void mark()
    {
        written_mark = sim_written_count;
        start_tick = sys_TickCount();
    }

    // What the program wrote, and the simulated milliseconds, since the mark.
    Bytes written() const { return Bytes(sim_written + written_mark, sim_written + sim_written_count); }
    uint32_t elapsed_ms() const { return sys_TickCount() - start_tick; }

    uint32_t written_mark = 0;
    uint32_t start_tick = 0;
};
