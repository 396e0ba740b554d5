// What the simulator's tests share: driving the simulated adapter through
// its D2XX calls on the simulated clock, building requests, and cutting what
// arrives into reply frames with a CRC of the tests' own (bit by bit, so a
// fault in the core's table-free CRC cannot hide one here).
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "seams/d2xx.h"
#include "sim/sim.h"

using Bytes = std::vector<uint8_t>;

// CRC-16/KERMIT, one bit at a time.
inline uint16_t test_Crc(const uint8_t* bytes, size_t count)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return crc;
}

// A request frame: '>' 01 length command params CRC.
inline Bytes test_Request(uint8_t command, const Bytes& params = {})
{
    Bytes frame;
    frame.reserve(6 + params.size());
    frame.assign({0x3E, 0x01, static_cast<uint8_t>(6 + params.size()), command});
    for (uint8_t byte : params) frame.push_back(byte);
    const uint16_t crc = test_Crc(frame.data(), frame.size());
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    return frame;
}

inline Bytes test_Le(uint32_t value, int size)
{
    Bytes out;
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return out;
}

inline uint32_t test_Get(const Bytes& frame, size_t offset, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | frame.at(offset + i);
    return value;
}

// The 0x12 and 0x13 requests: 4 + 2 parameter bytes, then two zero bytes.
inline Bytes test_DirectoryRequest(uint16_t flag)
{
    return test_Request(0x12, {0xFF, 0xFF, 0xFF, 0xFF, static_cast<uint8_t>(flag), static_cast<uint8_t>(flag >> 8), 0, 0});
}

inline Bytes test_ItemRequest(uint32_t first, uint16_t count)
{
    return test_Request(0x13, {static_cast<uint8_t>(first), static_cast<uint8_t>(first >> 8),
                               static_cast<uint8_t>(first >> 16), static_cast<uint8_t>(first >> 24),
                               static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), 0, 0});
}

// The handle of the adapter opened by description at a baud rate.
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

// Everything that has arrived now.
inline Bytes test_ReadAll(FT_HANDLE handle)
{
    uint32_t waiting = 0, tx = 0, events = 0;
    if (FT_GetStatus(handle, &waiting, &tx, &events) != FT_OK || waiting == 0) return {};
    Bytes out(waiting);
    uint32_t got = 0;
    FT_Read(handle, out.data(), waiting, &got);
    out.resize(got);
    return out;
}

// Lets the line run for us microseconds and returns what arrived meanwhile.
inline Bytes test_RunFor(FT_HANDLE handle, uint64_t us)
{
    sim_AdvanceUs(us);
    return test_ReadAll(handle);
}

// The valid reply frames in a byte stream, in order; bytes between them
// (echoes, noise, garbage) are skipped.
inline std::vector<Bytes> test_Frames(const Bytes& stream)
{
    std::vector<Bytes> frames;
    size_t i = 0;
    while (i + 5 <= stream.size()) {
        const size_t length = stream[i + 2];
        if (stream[i] == 0x3C && stream[i + 1] == 0x01 && length >= 5 && i + length <= stream.size() &&
            test_Crc(&stream[i], length) == 0) {
            frames.emplace_back(stream.begin() + static_cast<long>(i), stream.begin() + static_cast<long>(i + length));
            i += length;
        } else {
            ++i;
        }
    }
    return frames;
}

// Sends a request on an open adapter and returns the reply frames that
// arrive within us microseconds.
inline std::vector<Bytes> test_Exchange(FT_HANDLE handle, const Bytes& request, uint64_t us = 50000)
{
    test_ReadAll(handle);
    test_Write(handle, request);
    return test_Frames(test_RunFor(handle, us));
}

// A track with every field given.
inline SimTrack test_Track(uint16_t no, uint32_t items, uint32_t seed = 1, bool timing = true)
{
    SimTrack track = {};
    track.track_no = no;
    track.day = 3;
    track.month = 7;
    track.year = 15;
    track.hour = 8;
    track.minute = 45;
    track.second = 12;
    track.item_count = items;
    track.seed = seed;
    track.timing = timing;
    return track;
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
