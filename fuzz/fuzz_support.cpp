#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace fs = std::filesystem;

// ----------------------------------------------------------------- input --

bool input_Done(const FuzzInput& in)
{
    return in.pos >= in.size;
}

uint8_t input_Byte(FuzzInput& in)
{
    return input_Done(in) ? 0 : in.data[in.pos++];
}

uint32_t input_Uint(FuzzInput& in, int bytes)
{
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t(input_Byte(in)) << (8 * i);
    return value;
}

// Microseconds that count bytes take at the adapter's pace, 10 bits each.
static uint64_t line_Us(uint32_t count)
{
    const uint64_t baud = sim_AdapterBaud() != 0 ? sim_AdapterBaud() : 1;
    return (count * 10'000'000ull + baud - 1) / baud;
}

// Writes the CRC of every frame found in bytes, which stay otherwise as
// they are.
static void seal_Frames(uint8_t* bytes, uint32_t count)
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

bool input_InjectAnswer(FuzzInput& in, uint32_t written_count)
{
    if (input_Done(in)) return false;
    const uint64_t now = sim_NowUs();
    // When the line is free again: the echo of the request, then each piece.
    uint64_t line_free = now + line_Us(written_count);
    uint64_t start = now;
    for (bool more = true; more && !input_Done(in);) {
        const uint32_t header = input_Uint(in, 2);
        const uint32_t wanted = header & PIECE_LENGTH_MASK;
        const uint32_t count = uint32_t(std::min<size_t>(wanted, in.size - in.pos));
        start += FUZZ_DELAYS_US[(header >> PIECE_DELAY_SHIFT) & 7];
        if (start < line_free) start = line_free;
        uint8_t piece[PIECE_LENGTH_MASK];
        std::memcpy(piece, in.data + in.pos, count);
        if (in.seal_frames) seal_Frames(piece, count);
        sim_InjectRx(uint32_t(start - now), piece, count);
        in.pos += count;
        line_free = start + line_Us(count);
        start = line_free;
        more = (header & PIECE_MORE) != 0;
    }
    return true;
}

// ------------------------------------------------------------- directory --

namespace {

std::string dir_path;
std::string program_file;

void remove_Dir()
{
    std::error_code ignored;
    fs::remove_all(dir_path, ignored);
}

}  // namespace

const char* fuzz_Dir()
{
    if (dir_path.empty()) {
        const char* base = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/zorpload-fuzz-XXXXXX";
        fuzz_Check(mkdtemp(pattern.data()) != nullptr, "cannot make the fuzz directory");
        dir_path = pattern;
        program_file = dir_path + "/zorpload";
        std::atexit(remove_Dir);
    }
    return dir_path.c_str();
}

const char* fuzz_ProgramFile()
{
    fuzz_Dir();
    return program_file.c_str();
}

void fuzz_EmptyDir()
{
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fuzz_Dir(), ignored)) fs::remove(entry.path(), ignored);
}

// ---------------------------------------------------------------- checks --

void fuzz_Fail(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

void check_StatusLog()
{
    bool ended = false;
    for (const auto& line : status_log) {
        fuzz_Check(strnlen(line, LOG_LINE_SIZE) < LOG_LINE_SIZE, "status line without its end");
        if (line[0] == '\0')
            ended = true;
        else
            fuzz_Check(!ended, "status lines with a gap");
    }
}

void check_Link()
{
    fuzz_Check(rx_count <= FRAME_BUFFER_SIZE, "rx_count beyond its buffer");
    fuzz_Check(rx_chunk_pos <= RX_CHUNK_SIZE && rx_chunk_left <= RX_CHUNK_SIZE - rx_chunk_pos,
               "receive chunk position beyond the chunk");
}

// Date, time and track ID fields: digits, two '-' then two '_'.
static bool track_Name(const std::string& name)
{
    if (name.size() < 5) return false;
    const std::string stem = name.substr(0, name.size() - 4);
    const std::string extension = name.substr(name.size() - 4);
    if (extension != ".txt" && extension != ".imp") return false;
    int dashes = 0, underscores = 0;
    for (char c : stem) {
        if (c == '-') {
            if (underscores != 0) return false;
            ++dashes;
        } else if (c == '_') {
            ++underscores;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dashes == 2 && underscores == 2;
}

void check_TrackFiles(const char* dir)
{
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored)) {
        const std::string name = entry.path().filename().string();
        fuzz_Check(track_Name(name), "a file that is not a finished track file");
        if (name.ends_with(".imp")) {
            const std::string text = entry.path().string().substr(0, entry.path().string().size() - 3) + "txt";
            fuzz_Check(fs::exists(text), "a timing file without its text file");
        }
    }
}

// Lines "hh:mm:ss m.mmm ms\r\n"; a field read from text can be 3 digits.
static bool timing_Line(const std::string& line)
{
    size_t at = 0;
    auto digits = [&](size_t least, size_t most) {
        size_t n = 0;
        while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at, ++n;
        return n >= least && n <= most;
    };
    auto literal = [&](const char* text) {
        if (line.compare(at, std::strlen(text), text) != 0) return false;
        at += std::strlen(text);
        return true;
    };
    return digits(2, 3) && literal(":") && digits(2, 3) && literal(":") && digits(2, 3) && literal(" ") &&
           digits(1, 1) && literal(".") && digits(3, 3) && literal(" ms\r\n") && at == line.size();
}

void check_SavedTrack()
{
    uint64_t text_room = 0;
    uint32_t items = 0;
    for (uint32_t i = 0; i < first_MSG_cnt; ++i) {
        if (item_len[i] == 0) continue;
        ++items;
        // Text lies between the text offset and the CRC; a CR gains an LF.
        if (item_len[i] > ITEM_TEXT + 2) text_room += item_len[i] - ITEM_TEXT - 2 + 1;
    }
    const std::string text_path = track_path;
    fuzz_Check(fs::exists(text_path), "a saved track without its text file");
    fuzz_Check(fs::file_size(text_path) <= text_room, "text file holds more than the items' own text");

    const std::string timing_path = text_path.substr(0, text_path.size() - 3) + "imp";
    if (!fs::exists(timing_path)) return;
    const std::string timing = read_WholeFile(timing_path);
    uint32_t lines = 0;
    for (size_t at = 0; at < timing.size(); ++lines) {
        size_t end = timing.find("\r\n", at);
        fuzz_Check(end != std::string::npos, "a timing file that does not end in a line end");
        fuzz_Check(timing_Line(timing.substr(at, end + 2 - at)), "a malformed timing line");
        at = end + 2;
    }
    fuzz_Check(lines <= items, "more timing lines than items");
}
