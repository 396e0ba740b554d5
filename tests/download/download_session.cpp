#include "tests/download/download_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "download/download.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"

namespace fs = std::filesystem;

static std::string session_dir;

// The program's own state as a fresh start finds it.
static void program_Reset()
{
    link_Reset();
    download_Reset();
    log_Clear();
    fake_WindowReset();
}

void session_Begin()
{
    char pattern[] = "/tmp/zorpload-download-XXXXXX";
    const char* made = mkdtemp(pattern);
    session_dir = made != nullptr ? made : "";
    shell_SetProgramDir((session_dir + "/zorpload").c_str());
    sim_Reset();
    session_ResetBaseServices();
    program_Reset();
}

void session_End()
{
    usb_Close();
    std::error_code ignored;
    if (!session_dir.empty()) fs::remove_all(session_dir, ignored);
}

void session_Restart()
{
    usb_Close();
    program_Reset();
}

const std::string& session_Dir()
{
    return session_dir;
}

void session_Tick()
{
    uint32_t start = sys_TickCount();
    sequencer_Tick(&fake_window);
    uint32_t took = sys_TickCount() - start;
    if (took < uint32_t(TICK_PERIOD_MS)) sys_Sleep(TICK_PERIOD_MS - took);
}

uint32_t session_Run(uint32_t max_ticks)
{
    uint32_t ticks = 0;
    for (; ticks < max_ticks && seq_state != SEQ_IDLE; ++ticks) session_Tick();
    return ticks;
}

bool last_ItemRequest(uint32_t* first, uint32_t* count)
{
    if (sim_written_count < 14 || sim_written_count > SIM_WRITTEN_MAX) return false;
    const uint8_t* request = sim_written + sim_written_count - 14;
    if (request[0] != 0x3E || request[2] != 14 || request[3] != 0x13) return false;
    *first = read_Uint(request + 4, 4);
    *count = read_Uint(request + 8, 2);
    return true;
}

std::string expected_Name(int track, int track_id)
{
    const SimTrack& t = sim_tracks[track];
    char name[64];
    snprintf(name, sizeof name, "%04u-%02u-%02u_%02u%02u_%03u.txt", t.year + 2000u, unsigned(t.month),
             unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(track_id));
    return name;
}

std::string expected_Text(int track, uint32_t items)
{
    std::string text;
    for (uint32_t i = 0; i < std::min(items, sim_tracks[track].item_count); ++i) {
        char sentence[128];
        uint32_t length = sim_ItemText(track, i, sentence);
        text.append(sentence, length);
        if (length > 0 && sentence[length - 1] == '\r') text += '\n';
    }
    return text;
}

std::string expected_Timing(int track, uint32_t items)
{
    std::string lines;
    bool any = false;
    for (uint32_t i = 0; i < std::min(items, sim_tracks[track].item_count); ++i) {
        char sentence[128];
        uint32_t length = sim_ItemText(track, i, sentence);
        if (length == 0) continue;
        std::string s(sentence, length);
        std::string clock = "00:00:00";
        if (s.rfind("$GPGGA", 0) == 0 || s.rfind("$GPRMC", 0) == 0)
            clock = s.substr(7, 2) + ":" + s.substr(9, 2) + ":" + s.substr(11, 2);
        uint16_t timing = sim_ItemTiming(track, i);
        any = any || timing != 0;
        lines += clock + " " + timing_Text(timing) + " ms\r\n";
    }
    return any ? lines : "";
}

std::string read_WholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void write_WholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> session_Files()
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(session_dir, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> log_Lines()
{
    std::vector<std::string> lines;
    for (const auto& line : status_log)
        if (line[0] != '\0') lines.emplace_back(line);
    return lines;
}

std::string timing_Text(uint16_t timing)
{
    float quotient = float(timing) / 8000.0f;
    char exact[80];
    snprintf(exact, sizeof exact, "%.40f", double(quotient));  // exact: a float has a finite expansion
    std::string digits(exact);
    size_t point = digits.find('.');
    long scaled = std::stol(digits.substr(0, point)) * 1000 + std::stol(digits.substr(point + 1, 3));
    if (digits[point + 4] >= '5') ++scaled;
    char text[32];
    snprintf(text, sizeof text, "%ld.%03ld", scaled / 1000, scaled % 1000);
    return text;
}
