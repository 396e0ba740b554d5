// The download benchmark's measuring loop and table (download_measure.h).
#include "bench/download_measure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "download/download.h"
#include "link/wire_record.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uint32_t TRACK_ITEMS = 10000;
constexpr double LINE_BAUD = 250000.0;
constexpr uint32_t MAX_TICKS = 20000;
// A stream pass that ends silent, or a single-item request whose reply was
// lost, holds its tick for at least this idle gap.
constexpr uint64_t IDLE_GAP_US = 500000;

struct Measurement {
    uint64_t track_us;
    uint64_t logger_bytes;
    uint32_t ticks, passes, gap_ticks, idle_waits;
    uint64_t stream_us, gap_fill_us;
    double stream_cpu_s, track_cpu_s;
    long peak_kb;
    bool saved_whole;
};

double thread_CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The kernel lets a process start its peak resident size again from now.
void peak_Reset()
{
    if (FILE* refs = fopen("/proc/self/clear_refs", "w")) {
        fputs("5", refs);
        fclose(refs);
    }
}

long peak_Kilobytes()
{
    long kb = -1;
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr) return kb;
    char line[256];
    while (fgets(line, sizeof line, status) != nullptr)
        if (strncmp(line, "VmHWM:", 6) == 0) kb = strtol(line + 6, nullptr, 10);
    fclose(status);
    return kb;
}

// Ticks the session to its end, measuring the track as it goes.
Measurement measure_Track(const BenchSession& session)
{
    Measurement m{};
    uint64_t start_us = 0, end_us = 0, start_bytes = 0;
    double start_cpu = 0;
    for (uint32_t tick = 0; tick < MAX_TICKS && seq_state != SEQ_IDLE; ++tick) {
        const int32_t state = seq_state;
        const uint32_t phase = read_phase;
        if (state == SEQ_FAST_LINE && start_us == 0) {
            start_us = sim_NowUs();
            start_bytes = session.logger_bytes();
            start_cpu = thread_CpuSeconds();
        }
        const uint64_t tick_us = sim_NowUs();
        const double tick_cpu = thread_CpuSeconds();
        session_Tick();
        const uint64_t took_us = sim_NowUs() - tick_us;
        if (start_us == 0 || end_us != 0) continue;

        ++m.ticks;
        if (state == SEQ_READ_TRACK) {
            m.stream_us += took_us;
            m.stream_cpu_s += thread_CpuSeconds() - tick_cpu;
            if (phase == 0 && read_phase == 1) ++m.passes;
        }
        if (state == SEQ_FILL_GAPS) {
            ++m.gap_ticks;
            m.gap_fill_us += took_us;
        }
        if (state == SEQ_READ_TRACK || state == SEQ_FILL_GAPS) m.idle_waits += uint32_t(took_us / IDLE_GAP_US);
        if (state == SEQ_SAVE_TRACK) {
            end_us = sim_NowUs();
            m.track_us = end_us - start_us;
            m.logger_bytes = session.logger_bytes() - start_bytes;
            m.track_cpu_s = thread_CpuSeconds() - start_cpu;
        }
    }
    m.peak_kb = peak_Kilobytes();
    return m;
}

bool row_Run(const BenchSession& session, uint32_t lose_ppm)
{
    session_Begin();
    sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, TRACK_ITEMS, 5, true});
    sim_settings.faults.seed = 11;
    sim_settings.faults.lose_item_reply_ppm = lose_ppm;
    peak_Reset();
    const std::string trace = session_Dir() + "/download.trace";
    if (getenv("ZORP_BENCH_TRACE") != nullptr) wirerec_Start(trace.c_str(), WIREREC_SIZE_LIMIT);
    if (session.start != nullptr && !session.start()) {
        printf("%4.0f %%  the session could not start\n", lose_ppm / 10000.0);
        session_End();
        return false;
    }
    Measurement m = measure_Track(session);
    if (session.stop != nullptr) session.stop();
    wirerec_Stop();
    const double trace_mb = double(file_Contents(trace).size()) / (1024.0 * 1024.0);
    std::filesystem::remove(trace);
    m.saved_whole = tracks_unsaved == 0 &&
                    file_Contents(session_Dir() + "/" + expected_Name(0, 1)) == expected_Text(0);
    session_End();

    const double taken = double(m.track_us) * 1e-6;
    const double limit = double(m.logger_bytes) * 10.0 / LINE_BAUD;
    const double stream_cpu = m.stream_us != 0 ? 100.0 * m.stream_cpu_s / (double(m.stream_us) * 1e-6) : 0.0;
    printf("%4.0f %%  %8.3f s  %8llu B  %8.3f s  %6.4f  %5u  %6u  %8.3f s  %5u  %6.3f s  %5u  %6.2f %%  %7.3f s  %6.1f MB"
           "  %6.1f MB%s\n",
           lose_ppm / 10000.0, taken, static_cast<unsigned long long>(m.logger_bytes), limit,
           limit > 0 ? taken / limit : 0.0, m.ticks, m.passes, double(m.stream_us) * 1e-6, m.gap_ticks,
           double(m.gap_fill_us) * 1e-6, m.idle_waits, stream_cpu, m.track_cpu_s, double(m.peak_kb) / 1024.0, trace_mb,
           m.saved_whole ? "" : "  TRACK NOT SAVED WHOLE");
    return m.saved_whole;
}

}  // namespace

int bench_Table(const BenchSession& session)
{
    printf("%s\n", session.title);
    printf("%u-item track at %.0f baud; time, bytes and CPU from its switch to the fast line to its saved files\n",
           TRACK_ITEMS, LINE_BAUD);
    const char* columns = "%-6s  %10s  %10s  %10s  %6s  %5s  %6s  %10s  %5s  %8s  %5s  %8s  %9s  %9s  %9s\n";
    printf(columns, "lost", "time", "logger", "line", "ratio", "ticks", "passes", "streaming", "gap", "gap fill",
           "idle", "stream", "track", "peak", "wire");
    printf(columns, "", "", "sent", "limit", "", "", "", "time", "ticks", "time", "waits", "CPU", "CPU", "RSS",
           "trace");
    bool all_whole = true;
    for (uint32_t lose_ppm : {0u, 10000u, 50000u}) all_whole = row_Run(session, lose_ppm) && all_whole;
    return all_whole ? 0 : 1;
}
