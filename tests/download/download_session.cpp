#include "tests/download/download_session.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "download/download.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/fake_window.h"
#include "tests/support/temp_dir.h"

static std::optional<TempDir> session_dir;

void session_Begin()
{
    session_dir.emplace();
    shell_SetProgramDir((session_dir->dir + "/zorpload").c_str());
    session_Restart();
    sim_Reset();
    session_ResetBaseServices();
}

void session_End()
{
    usb_Close();
    session_dir.reset();
}

void session_Restart()
{
    usb_Close();
    link_Reset();
    download_Reset();
    log_Clear();
    fake_WindowReset();
}

const std::string& session_Dir()
{
    return session_dir->dir;
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

// The sentences of a track's first items, each as the logger sends it.
static std::vector<std::string> sentences(int track, uint32_t items)
{
    std::vector<std::string> all;
    for (uint32_t i = 0; i < std::min(items, sim_tracks[track].item_count); ++i) {
        char text[SIM_ITEM_TEXT_MAX];
        all.emplace_back(text, sim_ItemText(track, i, text));
    }
    return all;
}

std::string expected_Text(int track, uint32_t items)
{
    std::string text;
    for (const std::string& s : sentences(track, items)) text += s + (s.ends_with('\r') ? "\n" : "");
    return text;
}

std::string expected_Timing(int track, uint32_t items)
{
    std::string lines;
    bool any = false;
    const std::vector<std::string> all = sentences(track, items);
    for (uint32_t i = 0; i < all.size(); ++i) {
        const std::string& s = all[i];
        if (s.empty()) continue;
        std::string clock = "00:00:00";
        if (s.starts_with("$GPGGA") || s.starts_with("$GPRMC"))
            clock = s.substr(7, 2) + ":" + s.substr(9, 2) + ":" + s.substr(11, 2);
        any = any || sim_ItemTiming(track, i) != 0;
        lines += clock + " " + timing_Text(sim_ItemTiming(track, i)) + " ms\r\n";
    }
    return any ? lines : "";
}

std::string read_WholeFile(const std::string& path)
{
    return file_Contents(path);
}

Lines session_Files()
{
    Lines names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(session_Dir(), ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Lines log_Lines()
{
    Lines lines;
    for (const auto& line : status_log)
        if (line[0] != '\0') lines.emplace_back(line);
    return lines;
}

std::string timing_Text(uint16_t timing)
{
    char exact[80];  // a float's decimal expansion is finite
    snprintf(exact, sizeof exact, "%.40f", double(float(timing) / 8000.0f));
    const std::string digits(exact);
    const size_t point = digits.find('.');
    long scaled = std::stol(digits.substr(0, point)) * 1000 + std::stol(digits.substr(point + 1, 3));
    if (digits[point + 4] >= '5') ++scaled;
    char text[32];
    snprintf(text, sizeof text, "%ld.%03ld", scaled / 1000, scaled % 1000);
    return text;
}
