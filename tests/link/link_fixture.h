// Frame builders (also used by the download tests) and a fresh simulated line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

inline void set_rx(const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), rx_frame);
    rx_count = static_cast<uint32_t>(bytes.size());
}

class LinkTest : public ::testing::Test {
protected:
    void TearDown() override { usb_Close(); }

    // Simulator defaults, then arrange() on sim_settings; opens the adapter.
    template <typename F>
    void fresh_line(F arrange)
    {
        usb_Close();
        sim_Reset();
        link_Reset();
        log_Clear();
        arrange();
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        written_mark = sim_written_count;
        start_tick = sys_TickCount();
    }

    Bytes written() const { return Bytes(sim_written + written_mark, sim_written + sim_written_count); }
    uint32_t elapsed_ms() const { return sys_TickCount() - start_tick; }

    uint32_t written_mark = 0, start_tick = 0;
};
