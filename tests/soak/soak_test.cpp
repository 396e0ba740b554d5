// Fault soak on the simulated clock: 300 downloads under faults drawn from
// their own seeds, each followed by fresh runs on the same directory (the
// adapter plugged in, the disk given room, a silent logger switched off and
// on) until a run without faults has finished. Every run must end in the
// exit question within a bound, the disk must hold each track whole or not
// at all, and a run that says "Download o.k." must have saved every track.
// Never injected while the listing streams in: a reply lost whole, which
// nothing in the listing could reveal (damaged replies there are read again).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

constexpr int SCENARIOS = 300;
constexpr int FAULTY_RUNS = 2;  // then one run without faults, which must finish

struct Tally {
    uint64_t item_replies_lost, other_replies_lost, bytes_lost, bytes_corrupted, noise_bytes, answers_late,
        requests_ignored, bytes_garbled;
    uint32_t logger_resets, logger_silenced, power_cycles, left_fast, adapter_pulled, adapter_missing_at_start,
        disks_filled, file_calls_failed;
    uint32_t scenarios, runs, runs_done, runs_failed, most_ticks, most_runs;
    double worst_tick_share;  // of the bound
} tally;

struct Scenario {
    std::mt19937 random;
    std::vector<SimTrack> tracks;
    uint16_t first_no = 0;
    uint32_t items = 0;

    uint32_t below(uint32_t n) { return n == 0 ? 0 : uint32_t(random() % n); }
    bool one_in(uint32_t n) { return below(n) == 0; }
    void load() const
    {
        for (const SimTrack& track : tracks) sim_AddTrack(track);
        sim_settings.logger.first_track_no = first_no;
    }
};

// Mostly short tracks, now and then one long enough for several passes.
Scenario scenario_Make(uint32_t seed)
{
    Scenario s{std::mt19937(seed), {}};
    s.first_no = uint16_t(1 + s.below(300));
    for (uint32_t k = 0, count = 1 + s.below(4); k < count; ++k) {
        const uint32_t items = s.one_in(8) ? 400 + s.below(1200) : s.below(250);
        s.tracks.push_back(SimTrack{uint16_t(s.first_no + k), uint8_t(1 + s.below(28)), uint8_t(1 + s.below(12)),
                                    uint8_t(10 + s.below(20)), uint8_t(s.below(24)), uint8_t(s.below(60)),
                                    uint8_t(s.below(60)), items, seed * 8 + k, s.one_in(2)});
        s.items += items;
    }
    return s;
}

// The faults of one run, each by chance; a filling disk gets at most the
// bytes the tracks need.
void faults_Draw(Scenario& s, uint64_t disk_bytes)
{
    SimFaultSettings& f = sim_settings.faults;
    f = {};
    if (s.one_in(2)) f.lose_item_reply_ppm = 5000 + s.below(200000);
    if (s.one_in(3)) f.lose_reply_ppm = 10000 + s.below(140000);
    if (s.one_in(4)) f.lose_byte_ppm = 20 + s.below(500);
    if (s.one_in(4)) f.corrupt_byte_ppm = 20 + s.below(500);
    if (s.one_in(4)) f.noise_ppm = 10000 + s.below(200000);
    if (s.one_in(5)) {
        f.late_answer_ms = 10 + s.below(900);
        f.late_answer_ppm = 20000 + s.below(300000);
    }
    if (s.one_in(6)) f.ignore_requests = 1 + s.below(8);
    const uint32_t items = s.items != 0 ? s.items : 1;
    if (s.one_in(6)) f.reset_after_items = 1 + s.below(items);
    if (s.one_in(8)) f.silent_after_items = 1 + s.below(items);
    if (s.one_in(8)) f.vanish_after_items = 1 + s.below(items);

    SimFileFaults& files = sim_file_faults;
    files = {};
    if (s.one_in(6)) {
        files.disk_limited = true;
        files.disk_free = s.below(uint32_t(disk_bytes) + 1);
    }
    for (SimFileFault* call : {&files.create, &files.write, &files.close, &files.rename}) {
        if (!s.one_in(12)) continue;
        call->countdown = 1 + s.below(6);
        call->persistent = s.one_in(3);
    }
}

void tally_Run(bool silenced, bool adapter_pulled)
{
    const SimStats& st = sim_stats;
    tally.item_replies_lost += st.item_replies_lost;
    tally.other_replies_lost += st.replies_lost - st.item_replies_lost;
    tally.bytes_lost += st.bytes_lost;
    tally.bytes_corrupted += st.bytes_corrupted;
    tally.noise_bytes += st.noise_bytes;
    tally.answers_late += st.answers_late;
    tally.requests_ignored += st.requests_ignored;
    tally.bytes_garbled += st.bytes_garbled;
    tally.logger_resets += st.logger_resets;
    tally.logger_silenced += silenced;
    tally.adapter_pulled += adapter_pulled;
    tally.disks_filled += sim_file_faults.disk_limited && sim_file_faults.disk_free == 0;
    tally.file_calls_failed += sim_file_faults.create.failures + sim_file_faults.write.failures +
                               sim_file_faults.close.failures + sim_file_faults.rename.failures;
}

// Ticks until idle or bound ticks; no reply is lost whole while the listing
// is read (see above). Returns the ticks.
uint32_t run_Program(uint32_t bound)
{
    const uint32_t lose_reply_ppm = sim_settings.faults.lose_reply_ppm;
    uint32_t ticks = 0;
    for (; ticks < bound && seq_state != SEQ_IDLE; ++ticks) {
        sim_settings.faults.lose_reply_ppm = seq_state == SEQ_DIR_READ ? 0 : lose_reply_ppm;
        session_Tick();
    }
    sim_settings.faults.lose_reply_ppm = lose_reply_ppm;
    return ticks;
}

// Faulty runs, then one without faults, until every track is on disk; each
// run is checked as it ends.
void scenario_Run(uint32_t seed)
{
    SCOPED_TRACE("scenario seed " + std::to_string(seed));
    Scenario s = scenario_Make(seed);
    session_Begin();
    sim_settings.faults.seed = seed;
    s.load();
    uint32_t all_tracks = 0;  // a track without items gets no file
    uint64_t disk_bytes = 0;
    for (int k = 0; k < int(s.tracks.size()); ++k) {
        if (s.tracks[size_t(k)].item_count != 0) all_tracks |= 1u << k;
        disk_bytes += expected_Text(k).size() + expected_Timing(k).size();
    }
    // Set-up takes a few dozen ticks; a track streams five items a tick, is
    // asked for again a few times at most, its last gaps filled one a tick.
    const uint32_t bound = 500 + 3 * s.items;

    uint32_t on_disk = 0;
    int run = 0;
    for (; run <= FAULTY_RUNS && on_disk != all_tracks; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        session_Restart();
        sim_settings.faults = {};
        sim_file_faults = {};
        if (run < FAULTY_RUNS) {
            faults_Draw(s, disk_bytes);
            if (s.one_in(6)) {
                // Not plugged in yet: plugged in while the program says so, then Retry.
                sim_PullAdapter();
                fake_QueueAnswer(ANSWER_RETRY);
                fake_window.while_box_open = [](WindowHandle) { sim_PlugAdapter(); };
                ++tally.adapter_missing_at_start;
            }
        }
        const uint32_t silent_after = sim_settings.faults.silent_after_items;
        sim_stats = {};
        tally.left_fast += sim_LoggerBaud() == BAUD_FAST;  // the run before failed on the fast line

        const uint32_t ticks = run_Program(bound);
        const bool pulled = !sim_AdapterOpen();  // it never closes otherwise
        ++tally.runs;
        tally.most_ticks = std::max(tally.most_ticks, ticks);
        tally.worst_tick_share = std::max(tally.worst_tick_share, double(ticks) / bound);
        EXPECT_EQ(seq_state, SEQ_IDLE) << "the run did not end within " << bound << " ticks";
        ASSERT_GE(fake_window.box_count, 1);
        const FakeBox& last_box = fake_window.boxes[std::min(fake_window.box_count, FAKE_BOXES_MAX) - 1];
        EXPECT_STREQ(last_box.text, "Exit application ?");
        on_disk = expect_DiskMatchesLogger(s.first_no);
        if (std::string(last_box.title) == "Download o.k.") {
            ++tally.runs_done;
            EXPECT_EQ(on_disk, all_tracks) << "a run reported success with tracks missing";
        } else {
            ++tally.runs_failed;
        }
        const bool silenced = silent_after != 0 && sim_stats.item_replies_sent >= silent_after;
        tally_Run(silenced, pulled);

        sim_PlugAdapter();
        if (silenced) {
            sim_Reset();
            s.load();
            ++tally.power_cycles;
        }
        if (::testing::Test::HasFatalFailure()) break;
    }
    EXPECT_EQ(on_disk, all_tracks) << "a run without faults left tracks missing";
    tally.most_runs = std::max(tally.most_runs, uint32_t(run));
    ++tally.scenarios;
    session_End();
}

TEST(FaultSoak, EveryTrackReachesTheDiskWholeThroughFreshRuns)
{
    for (uint32_t seed = 1; seed <= SCENARIOS && !::testing::Test::HasFatalFailure(); ++seed) scenario_Run(seed);
    const Tally& t = tally;
    printf("soak: %u scenarios, %u runs (%u ended \"Download o.k.\", %u \"Download error\"), at most %u runs to "
           "finish, at most %u ticks a run (%.0f %% of its bound)\n",
           t.scenarios, t.runs, t.runs_done, t.runs_failed, t.most_runs, t.most_ticks, 100.0 * t.worst_tick_share);
    printf("soak: injected: %llu item replies lost, %llu other replies lost, %llu bytes lost, %llu bytes corrupted, "
           "%llu noise bytes, %llu late answers, %llu requests ignored, %llu bytes garbled by a speed mismatch\n",
           (unsigned long long)t.item_replies_lost, (unsigned long long)t.other_replies_lost,
           (unsigned long long)t.bytes_lost, (unsigned long long)t.bytes_corrupted, (unsigned long long)t.noise_bytes,
           (unsigned long long)t.answers_late, (unsigned long long)t.requests_ignored,
           (unsigned long long)t.bytes_garbled);
    printf("soak: injected: %u logger restarts, %u loggers fallen silent (%u switched off and on), %u runs "
           "started with the logger left at the fast speed, %u adapters pulled mid-run, %u adapters missing at the "
           "start, %u disks filled, %u file calls failed\n",
           t.logger_resets, t.logger_silenced, t.power_cycles, t.left_fast, t.adapter_pulled,
           t.adapter_missing_at_start, t.disks_filled, t.file_calls_failed);
    EXPECT_EQ(t.scenarios, uint32_t(SCENARIOS));
}

}  // namespace
