// Shared by the fuzz targets. The logger's answer to a request is one or
// more pieces, each a 2-byte little-endian header and the bytes it
// announces: bits 0..11 the length (0: silence), bits 12..14 an index into
// FUZZ_DELAYS_US before the piece starts, bit 15 another piece follows.
// With seal set, frames in a piece get their CRC, so mutations inside
// frames reach the code behind the CRC check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool seal = false;

    bool done() const { return pos >= size; }
    uint8_t byte() { return done() ? 0 : data[pos++]; }
    uint32_t uint(int bytes)  // little-endian, 0 for bytes past the end
    {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= uint32_t(byte()) << (8 * i);
        return value;
    }
};

// Around the program's own limits: the logger's 1 ms pause, at once, then
// just past the probe gap, probe total, quick speed total, echo search,
// stream gap and exchange total.
constexpr uint32_t FUZZ_DELAYS_US[8] = {1000, 0, 6000, 31000, 41000, 101000, 501000, 2001000};

// Puts the next answer on the simulated line behind the echo of
// written_count bytes; false when the input has none left.
bool fuzz_InjectAnswer(FuzzInput& in, uint32_t written_count);

// This process's directory for track files (on /dev/shm where there is
// one), removed at exit.
const char* fuzz_Dir();

// Reports a broken invariant and aborts: a crash to libFuzzer, a failed replay.
[[noreturn]] void fuzz_Fail(const char* what, const std::string& detail = "");

// Fails unless every status line ends within 259 characters and fuzz_Dir()
// holds no temporary track file.
void fuzz_CheckInvariants();

// The invariants checked, fuzz_Dir() is emptied for the next input.
void fuzz_EndInput();
