// GPX benchmark: the converter over the longest track the store holds
// (32768 items of the simulated logger: GGA, RMC and GSA in turn), read back
// from the disk cache and written as GPX through the POSIX files, fsync
// included. Prints the time per track, the throughput and the peak RSS.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "download/download.h"
#include "gpx/gpx.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

int main()
{
    TempDir dir;
    sim_Reset();
    sim_AddTrack({1, 31, 12, 26, 20, 0, 0, ITEMS128B_MAX, 7, false});
    const std::string txt = dir.path("2026-12-31_2000_001.txt"), gpx = dir.path("2026-12-31_2000_001.gpx");
    {
        std::ofstream out(txt, std::ios::binary);
        char text[SIM_ITEM_TEXT_MAX];
        for (uint32_t i = 0; i < ITEMS128B_MAX; ++i) out.write(text, sim_ItemText(0, i, text)) << '\n';
    }
    constexpr int RUNS = 15;
    std::vector<double> seconds;
    for (int run = 0; run < RUNS; ++run) {
        std::filesystem::remove(gpx);
        log_Clear();
        const auto start = std::chrono::steady_clock::now();
        const int result = gpx_WriteTrack(txt.c_str());
        seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (result != GPX_WRITTEN) {
            fprintf(stderr, "conversion failed: %s\n", status_log[log_LastUsedLine()]);
            return 1;
        }
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[RUNS / 2];
    const double txt_mb = double(std::filesystem::file_size(txt)) / 1e6;
    const double gpx_mb = double(std::filesystem::file_size(gpx)) / 1e6;
    const std::string written = file_Contents(gpx);
    size_t points = 0;
    for (size_t at = written.find("<trkpt"); at != std::string::npos; at = written.find("<trkpt", at + 1)) ++points;
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    printf("track: %u items, %.2f MB of NMEA -> %s, %.2f MB of GPX\n", ITEMS128B_MAX, txt_mb,
           status_log[log_LastUsedLine()], gpx_mb);
    printf("%d runs: fastest %.1f ms, median %.1f ms, slowest %.1f ms\n", RUNS, seconds.front() * 1e3, median * 1e3,
           seconds.back() * 1e3);
    printf("median throughput: %.0f MB/s of NMEA read, %.0f points/ms\n", txt_mb / median,
           double(points) / (median * 1e3));
    printf("peak RSS of the whole benchmark: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
