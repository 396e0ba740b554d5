// Shared by the simulator's tests: requests built and replies cut out of what
// arrives, and the simulated adapter driven through its D2XX calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "link/gps_link.h"
#include "seams/d2xx.h"
#include "sim/sim.h"

using Bytes = std::vector<uint8_t>;

// A request frame: '>' 01 length command params CRC.
inline Bytes test_Request(uint8_t command, const Bytes& params = {})
{
    Bytes frame;
    frame.reserve(6 + params.size());
    frame.assign({0x3E, 0x01, static_cast<uint8_t>(6 + params.size()), command});
    for (uint8_t byte : params) frame.push_back(byte);
    const uint16_t crc = GPS_Crc16(frame.data(), uint32_t(frame.size()));
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

// The 0x12 and 0x13 requests: a 32-bit and a 16-bit number, two zero bytes.
inline Bytes test_RangeRequest(uint8_t command, uint32_t first, uint16_t count)
{
    return test_Request(command, {uint8_t(first), uint8_t(first >> 8), uint8_t(first >> 16), uint8_t(first >> 24),
                                  uint8_t(count), uint8_t(count >> 8), 0, 0});
}
inline Bytes test_ItemRequest(uint32_t first, uint16_t count) { return test_RangeRequest(0x13, first, count); }
inline Bytes test_DirectoryRequest(uint16_t flag) { return test_RangeRequest(0x12, 0xFFFFFFFFu, flag); }

// The little-endian number of size bytes at offset.
inline uint32_t test_Get(const Bytes& frame, size_t offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | frame.at(offset + i);
    return value;
}

// The adapter opened by description at a baud rate, or null.
inline FT_HANDLE test_Open(uint32_t baud = 38400)
{
    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    if (FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle) != FT_OK) return nullptr;
    FT_SetBaudRate(handle, baud);
    return handle;
}

inline void test_Write(FT_HANDLE handle, Bytes bytes)
{
    uint32_t written = 0;
    FT_Write(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), &written);
}

// Everything that has arrived now, asked for with room to spare: a read
// never hands out more than the status reported.
inline Bytes test_ReadAll(FT_HANDLE handle)
{
    uint32_t waiting = 0, tx = 0, events = 0, got = 0;
    if (FT_GetStatus(handle, &waiting, &tx, &events) != FT_OK || waiting == 0) return {};
    Bytes out(waiting + 64);
    FT_Read(handle, out.data(), waiting + 64, &got);
    EXPECT_EQ(got, waiting);
    out.resize(got);
    return out;
}

// What arrives while the line runs for us microseconds.
inline Bytes test_RunFor(FT_HANDLE handle, uint64_t us)
{
    sim_AdvanceUs(us);
    return test_ReadAll(handle);
}

// The valid reply frames in a byte stream, in order; other bytes are skipped.
inline std::vector<Bytes> test_Frames(const Bytes& stream)
{
    std::vector<Bytes> frames;
    for (size_t i = 0; i + 5 <= stream.size(); ++i) {
        const size_t length = stream[i + 2];
        if (stream[i] != 0x3C || stream[i + 1] != 0x01 || length < 5 || i + length > stream.size() ||
            GPS_Crc16(&stream[i], uint32_t(length)) != 0)
            continue;
        frames.emplace_back(stream.begin() + long(i), stream.begin() + long(i + length));
        i += length - 1;
    }
    return frames;
}

// Sends a request and returns the reply frames that arrive within us.
inline std::vector<Bytes> test_Exchange(FT_HANDLE handle, const Bytes& request, uint64_t us = 50000)
{
    test_ReadAll(handle);
    test_Write(handle, request);
    return test_Frames(test_RunFor(handle, us));
}

// A track starting 2015-07-03 08:45:12.
inline SimTrack test_Track(uint16_t no, uint32_t items, uint32_t seed = 1, bool timing = true)
{
    return SimTrack{no, 3, 7, 15, 8, 45, 12, items, seed, timing};
}

inline std::string test_ItemText(int track, uint32_t item)
{
    char text[SIM_ITEM_TEXT_MAX];
    return std::string(text, sim_ItemText(track, item, text));
}

// Every test starts from a reset simulator and no file faults.
class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        sim_ResetFiles();
    }
};
