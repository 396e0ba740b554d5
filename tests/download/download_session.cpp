#include "tests/download/download_session.h"
#include <algorithm>
#include <cmath>
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
    snprintf(output_dir, sizeof output_dir, "%s", session_dir->dir.c_str());
    session_Restart(), sim_Reset(), session_ResetBaseServices();
}
void session_End() { usb_Close(), session_dir.reset(); }
void session_Restart()
{
    usb_Close(), link_Reset(), download_Reset(), log_Clear(), fake_WindowReset();
    main_window = &fake_window;
}
const std::string& session_Dir() { return session_dir->dir; }
void session_Tick()
{
    const uint32_t start = sys_TickCount();
    shell_Tick();
    if (const uint32_t took = sys_TickCount() - start; took < uint32_t(TICK_PERIOD_MS))
        sys_Sleep(TICK_PERIOD_MS - took);
}
uint32_t session_Run(uint32_t max_ticks)
{
    uint32_t ticks = 0;
    for (; ticks < max_ticks && seq_state != SEQ_IDLE; ++ticks) session_Tick();
    return ticks;
}
std::string expected_Name(int track, int track_id)
{
    const SimTrack& t = sim_tracks[track];
    char name[64];
    snprintf(name, sizeof name, "%04u-%02u-%02u_%02u%02u_%03u.txt", t.year + 2000u, unsigned(t.month),
             unsigned(t.day), unsigned(t.hour), unsigned(t.minute), unsigned(track_id));
    return name;
}
// Both files of a track's first items, worked out independently: the timing
// is the single-precision quotient by 8000 in ms, halves rounded up.
static std::string expected_File(int track, uint32_t items, bool timing)
{
    std::string text, lines;
    bool any = false;
    for (uint32_t i = 0; i < std::min(items, sim_tracks[track].item_count); ++i) {
        char buffer[SIM_ITEM_TEXT_MAX];
        const std::string s(buffer, sim_ItemText(track, i, buffer));
        text += s + (s.ends_with('\r') ? "\n" : "");
        if (s.empty()) continue;
        const uint16_t value = sim_ItemTiming(track, i);
        const long scaled = std::lround(std::floor(double(float(value) / 8000.0f) * 1000.0 + 0.5));
        const bool fix = s.starts_with("$GPGGA") || s.starts_with("$GPRMC");
        const std::string clock = fix ? s.substr(7, 2) + ":" + s.substr(9, 2) + ":" + s.substr(11, 2) : "00:00:00";
        char line[64];
        snprintf(line, sizeof line, "%s %ld.%03ld ms\r\n", clock.c_str(), scaled / 1000, scaled % 1000);
        lines += line, any = any || value != 0;
    }
    return timing ? (any ? lines : "") : text;
}
std::string expected_Text(int track, uint32_t items) { return expected_File(track, items, false); }
std::string expected_Timing(int track, uint32_t items) { return expected_File(track, items, true); }
Lines session_Files()
{
    Lines names;
    for (const auto& entry : std::filesystem::directory_iterator(session_Dir()))
        names.push_back(entry.path().filename().string());
    return std::sort(names.begin(), names.end()), names;
}
Lines log_Lines()
{
    Lines lines;
    for (const auto& line : status_log) if (line[0] != '\0') lines.emplace_back(line);
    return lines;
}
