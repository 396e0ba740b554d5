// Fuzz target: one exchange, GPS_Transact or GPS_TransactRetry, over
// arbitrary incoming bytes on the simulated line with the logger
// disconnected.
//
// Input: a mode byte (its low two bits an ExchangeKind, then the flags
// below), then for the request kinds a 16-bit tx_len (modulo
// EXCHANGE_TX_LEN_RANGE) and the request's bytes, then the logger's answers
// (fuzz/fuzz_support.h): one per write, and for KIND_RECEIVE_ONLY and
// KIND_STRAY_FIRST one put on the line before the exchange starts.
//
// Checked after every exchange: the result is one the mode can give, a
// result of 0 leaves a valid frame, the request stays unchanged for a
// retry, the buffers keep within their bounds, the time-outs hold on the
// simulated clock, and a retry writes its request once per attempt.
#pragma once

#include <cstdint>

#include "link/gps_link.h"

enum ExchangeKind : uint8_t {
    KIND_TRANSACT = 0,
    KIND_RETRY = 1,
    KIND_RECEIVE_ONLY = 2,
    KIND_STRAY_FIRST = 3,  // GPS_Transact; the first answer is already on
                           // its way when the request is written
};
constexpr uint8_t MODE_KIND_MASK = 0x03;
constexpr uint8_t MODE_NO_ECHO = 0x04;
constexpr int MODE_TIMING_SHIFT = 3;  // two bits: an index into EXCHANGE_TIMINGS
constexpr uint8_t MODE_TICK_WRAP = 0x20;
constexpr uint8_t MODE_FAST_LINE = 0x40;  // the adapter at 250000 baud
constexpr uint8_t MODE_SEAL_FRAMES = 0x80;  // frames get their CRC (FuzzInput)

// The idle gaps and total times the program uses: commands, streams, the
// probe and the quick speed command.
struct ExchangeTiming {
    uint32_t idle_gap_ms, total_ms;
};
constexpr ExchangeTiming EXCHANGE_TIMINGS[4] = {{20, 2000}, {500, 2000}, {5, 30}, {20, 40}};
enum ExchangeTimingIndex : uint8_t { TIMING_COMMAND, TIMING_STREAM, TIMING_PROBE, TIMING_QUICK };

constexpr uint8_t exchange_Mode(ExchangeKind kind, ExchangeTimingIndex timing)
{
    return uint8_t(kind | timing << MODE_TIMING_SHIFT);
}

// tx_len may be set past the buffer by hand; the exchange must clamp it.
constexpr uint32_t EXCHANGE_TX_LEN_RANGE = FRAME_BUFFER_SIZE + 80;
