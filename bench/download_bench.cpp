// Download benchmark: one 10 000-item track from the simulated logger at
// 250000 baud on the simulated clock, with 0 %, 1 % and 5 % of the item
// replies lost. For each it prints the simulated time the track took (from
// the switch to the fast line to the saved files), the line-rate limit for
// the bytes the logger sent meanwhile (10 bit times a byte), their ratio,
// the ticks, and the real CPU time the whole download used.
#include <cstdio>
#include <ctime>

#include "download/download.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

constexpr uint32_t TRACK_ITEMS = 10000;
constexpr double LINE_BAUD = 250000.0;

double cpu_Seconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

bool run_Once(uint32_t lose_ppm)
{
    session_Begin();
    sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, TRACK_ITEMS, 5, true});
    sim_settings.faults.seed = 11;
    sim_settings.faults.lose_item_reply_ppm = lose_ppm;
    fake_QueueAnswer(ANSWER_NO);

    uint64_t track_start_us = 0, track_end_us = 0, bytes_at_start = 0, bytes_at_end = 0;
    uint32_t ticks = 0, track_ticks = 0, gaps_filled = 0;
    double cpu_start = cpu_Seconds();
    while (seq_state != SEQ_IDLE && ticks < 1000000) {
        int32_t before = seq_state;
        if (before == SEQ_FAST_LINE && track_start_us == 0) {
            track_start_us = sim_NowUs();
            bytes_at_start = sim_stats.bytes_sent;
        }
        session_Tick();
        ++ticks;
        if (track_start_us != 0 && track_end_us == 0) ++track_ticks;
        if (before == SEQ_FILL_GAPS) ++gaps_filled;
        if (before == SEQ_SAVE_TRACK) {
            track_end_us = sim_NowUs();
            bytes_at_end = sim_stats.bytes_sent;
        }
    }
    double cpu = cpu_Seconds() - cpu_start;
    bool saved = track_end_us != 0 && tracks_unsaved == 0;

    double taken = double(track_end_us - track_start_us) * 1e-6;
    uint64_t bytes = bytes_at_end - bytes_at_start;
    double limit = double(bytes) * 10.0 / LINE_BAUD;
    printf("%5.1f %%  %9.3f s  %9llu B  %8.3f s  %6.3f  %7u  %6u  %8.3f s%s\n", lose_ppm / 10000.0, taken,
           static_cast<unsigned long long>(bytes), limit, limit > 0 ? taken / limit : 0.0, track_ticks,
           gaps_filled, cpu, saved ? "" : "  TRACK NOT SAVED");
    session_End();
    return saved;
}

}  // namespace

int main()
{
    printf("10000-item track at 250000 baud, simulated clock\n");
    printf("lost     simulated  logger sent  line limit   ratio    ticks  ticks in   CPU (whole\n");
    printf("                                                              gap fill   download)\n");
    bool all_saved = true;
    for (uint32_t lose_ppm : {0u, 10000u, 50000u}) all_saved = run_Once(lose_ppm) && all_saved;
    return all_saved ? 0 : 1;
}
