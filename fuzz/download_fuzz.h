// Fuzz target: a whole download against a hostile logger. The input is the
// logger's side of the line: a settings byte (the flags below),
// then one answer (fuzz/fuzz_support.h) for every request the program
// writes, put on the simulated line while the logger itself is
// disconnected. The sequencer runs tick by tick on the simulated clock, as
// the window runs it, until it is idle, the input is used up at a request,
// or DOWNLOAD_TICKS_MAX ticks have run; the invariants of the status log,
// the link, the download state and the files are checked after every tick.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint8_t FUZZ_NO_ECHO = 0x01;    // the line returns no echo
constexpr uint8_t FUZZ_TICK_WRAP = 0x02;  // the tick counter wraps 1 s in
constexpr uint8_t FUZZ_SEAL_FRAMES = 0x04;  // frames get their CRC (FuzzInput)

// A safety net only: every request uses up a piece of the input, and the
// ticks without a request (stream reading, skipped tracks) are bounded by
// the input's size.
constexpr uint32_t DOWNLOAD_TICKS_MAX = 20000;

// Plays one input into the download that session_Begin set up; its files go
// to program_dir and stay there. Returns the number of ticks run.
uint32_t fuzz_PlayDownload(const uint8_t* data, size_t size);
