// Frame builders of the link and download tests.
#pragma once

#include <algorithm>
#include <vector>

#include "link/gps_link.h"

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
