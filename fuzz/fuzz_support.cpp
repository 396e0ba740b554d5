#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string dir_path;

// Microseconds that count bytes take on the line, 10 bits each.
uint64_t line_Us(uint32_t count)
{
    const uint64_t baud = std::max<uint64_t>(sim_AdapterBaud(), 1);
    return (count * 10'000'000ull + baud - 1) / baud;
}

void seal_Frames(uint8_t* bytes, uint32_t count)
{
    for (uint32_t at = 0; at + 5 <= count;) {
        const uint32_t length = bytes[at + 2];
        if (bytes[at] != FRAME_START_REPLY || bytes[at + 1] != FRAME_FIXED_BYTE || length < 5 || length > count - at) {
            ++at;
            continue;
        }
        const uint16_t crc = GPS_Crc16(bytes + at, length - 2);
        bytes[at + length - 2] = uint8_t(crc);
        bytes[at + length - 1] = uint8_t(crc >> 8);
        at += length;
    }
}

}  // namespace

bool fuzz_InjectAnswer(FuzzInput& in, uint32_t written_count)
{
    if (in.done()) return false;
    const uint64_t now = sim_NowUs();
    uint64_t line_free = now + line_Us(written_count);  // after the echo
    uint64_t start = now;
    for (bool more = true; more && !in.done();) {
        const uint32_t header = in.uint(2);
        const uint32_t count = uint32_t(std::min<size_t>(header & 0x0FFF, in.size - in.pos));
        start = std::max(start + FUZZ_DELAYS_US[(header >> 12) & 7], line_free);
        uint8_t piece[0x0FFF];
        std::memcpy(piece, in.data + in.pos, count);
        if (in.seal) seal_Frames(piece, count);
        sim_InjectRx(uint32_t(start - now), piece, count);
        in.pos += count;
        start = line_free = start + line_Us(count);
        more = (header & 0x8000) != 0;
    }
    return true;
}

const char* fuzz_Dir()
{
    if (dir_path.empty()) {
        // In memory where the system offers it: the fuzzers write many files.
        dir_path = temp_MakeDir("zorpload-fuzz-", fs::is_directory("/dev/shm") ? "/dev/shm" : "");
        if (dir_path.empty()) fuzz_Fail("cannot make the fuzz directory");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(dir_path, ignored);
        });
    }
    return dir_path.c_str();
}

void fuzz_Fail(const char* what, const std::string& detail)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n%s\n", what, detail.c_str());
    std::abort();
}

void fuzz_CheckInvariants()
{
    for (const auto& line : status_log)
        if (strnlen(line, LOG_LINE_SIZE) >= LOG_LINE_SIZE) fuzz_Fail("a status line without its end");
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fuzz_Dir(), ignored))
        if (entry.path().extension() == ".tmp") fuzz_Fail("a temporary track file left behind", entry.path().string());
}

void fuzz_EndInput()
{
    fuzz_CheckInvariants();
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fuzz_Dir(), ignored)) fs::remove_all(entry.path(), ignored);
}
