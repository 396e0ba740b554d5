// Fault soak on the simulated clock: a few hundred downloads, each under
// faults drawn from its own seed (lost and corrupted bytes and replies,
// noise, late answers, a logger that restarts or falls silent, an adapter
// pulled mid-run or missing at the start, a disk that fills, failing file
// calls), each followed by fresh runs of the program on the same directory
// until every track is on disk.
//
// After every run: it ended in the exit question within a bounded number of
// ticks; every ".txt" on disk is its track byte for byte, with its timing
// file, and no temporary file is left; a run that reported success left
// every track on disk. Between runs the world behaves as a user's would: an
// adapter that was pulled is plugged in again (sometimes only once the
// program has said that it is missing), a full disk gets room, and a logger
// that fell silent is switched off and on. A run without faults must then
// finish the job. The counts of what was injected are printed at the end.
//
// One fault is held back while the track listing streams in: a reply lost
// whole, without one byte of it arriving. A track is known by its place in
// the listing, and nothing the program knows about the real logger's
// records would show that one is missing; a listing reply damaged on the
// line, the real line's fault, is caught and read again.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

constexpr int SCENARIOS = 300;
constexpr int FAULTY_RUNS = 2;  // then one run without faults, which must finish

// Ticks a run may take: the probe, set-up and directory take a few dozen;
// a track streams about five items a tick, and is asked for again whole at
// most a few times (each pass keeps what came) before its last gaps are
// filled one a tick.
uint32_t tick_Bound(uint32_t items)
{
    return 500 + 3 * items;
}

struct Tally {
    uint64_t item_replies_lost, other_replies_lost, bytes_lost, bytes_corrupted, noise_bytes, answers_late,
        requests_ignored, bytes_garbled;
    uint32_t logger_resets, logger_silenced, power_cycles, left_fast, adapter_pulled, adapter_missing_at_start,
        disks_filled, file_calls_failed;
    uint32_t scenarios, runs, runs_done, runs_failed, most_ticks, most_runs;
    double worst_tick_share;  // of the bound
};

Tally tally;

struct Scenario {
    std::mt19937 random;
    std::vector<SimTrack> tracks;
    uint16_t first_no;
    uint32_t items;

    uint32_t below(uint32_t n) { return n == 0 ? 0 : uint32_t(random() % n); }
    bool one_in(uint32_t n) { return below(n) == 0; }
};

void logger_Load(const Scenario& s)
{
    for (const SimTrack& track : s.tracks) sim_AddTrack(track);
    sim_settings.logger.first_track_no = s.first_no;
}

Scenario scenario_Make(uint32_t seed)
{
    Scenario s{std::mt19937(seed), {}, 0, 0};
    s.first_no = uint16_t(1 + s.below(300));
    const uint32_t count = 1 + s.below(4);
    for (uint32_t k = 0; k < count; ++k) {
        // Mostly short tracks, now and then one long enough for several
        // passes and many ticks of streaming.
        const uint32_t items = s.one_in(8) ? 400 + s.below(1200) : s.below(250);
        s.tracks.push_back(SimTrack{uint16_t(s.first_no + k), uint8_t(1 + s.below(28)), uint8_t(1 + s.below(12)),
                                    uint8_t(10 + s.below(20)), uint8_t(s.below(24)), uint8_t(s.below(60)),
                                    uint8_t(s.below(60)), items, seed * 8 + k, s.one_in(2)});
        s.items += items;
    }
    return s;
}

// The faults of one run, each switched on by chance. The expected bytes on
// disk bound the room a filling disk is given.
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
    SimFileFault* const calls[] = {&files.create, &files.write, &files.close, &files.rename};
    for (SimFileFault* call : calls) {
        if (!s.one_in(12)) continue;
        call->countdown = 1 + s.below(6);
        call->persistent = s.one_in(3);
    }
}

void tally_Run(uint32_t silent_after, bool adapter_pulled)
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
    if (silent_after != 0 && st.item_replies_sent >= silent_after) ++tally.logger_silenced;
    if (adapter_pulled) ++tally.adapter_pulled;
    if (sim_file_faults.disk_limited && sim_file_faults.disk_free == 0) ++tally.disks_filled;
    tally.file_calls_failed += sim_file_faults.create.failures + sim_file_faults.write.failures +
                               sim_file_faults.close.failures + sim_file_faults.rename.failures;
}

void plug_In(WindowHandle)
{
    sim_PlugAdapter();
}

// Ticks the program until it is idle or has had bound ticks; returns the
// ticks. No reply is lost whole while the listing is read (see above).
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

uint64_t disk_Bytes(const Scenario& s)
{
    uint64_t bytes = 0;
    for (int k = 0; k < int(s.tracks.size()); ++k) bytes += expected_Text(k).size() + expected_Timing(k).size();
    return bytes;
}

// One scenario: faulty runs, then a run without faults, until every track
// is on disk; each run is checked as it ends.
void scenario_Run(uint32_t seed)
{
    SCOPED_TRACE("scenario seed " + std::to_string(seed));
    Scenario s = scenario_Make(seed);
    session_Begin();
    sim_settings.faults.seed = seed;
    logger_Load(s);
    // A track without items has nothing to write, and gets no file.
    uint32_t all_tracks = 0;
    for (size_t k = 0; k < s.tracks.size(); ++k)
        if (s.tracks[k].item_count != 0) all_tracks |= 1u << k;
    const uint64_t disk_bytes = disk_Bytes(s);
    const uint32_t bound = tick_Bound(s.items);

    uint32_t on_disk = 0;
    int run = 0;
    for (; run <= FAULTY_RUNS && on_disk != all_tracks; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        session_Restart();
        const bool faulty = run < FAULTY_RUNS;
        if (faulty) {
            faults_Draw(s, disk_bytes);
        } else {
            sim_settings.faults = {};
            sim_file_faults = {};
        }
        if (faulty && s.one_in(6)) {
            // The adapter is not plugged in yet: the user plugs it in while
            // the program says so, and answers Retry.
            sim_PullAdapter();
            fake_QueueAnswer(ANSWER_RETRY);
            fake_window.while_box_open = plug_In;
            ++tally.adapter_missing_at_start;
        }
        const SimFaultSettings faults = sim_settings.faults;
        sim_stats = {};
        // The run before failed with the line fast: this run must find the
        // logger there.
        if (sim_LoggerBaud() == BAUD_FAST) ++tally.left_fast;

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
        tally_Run(faults.silent_after_items, pulled);

        // Between runs: a pulled adapter is plugged in again, the disk gets
        // room, and a logger that fell silent is switched off and on.
        sim_PlugAdapter();
        if (faults.silent_after_items != 0 && sim_stats.item_replies_sent >= faults.silent_after_items) {
            sim_Reset();
            logger_Load(s);
            ++tally.power_cycles;
        }
        if (::testing::Test::HasFatalFailure()) break;
    }
    EXPECT_EQ(on_disk, all_tracks) << "a run without faults left tracks missing";
    tally.most_runs = std::max(tally.most_runs, uint32_t(run));
    ++tally.scenarios;
    session_End();
}

void tally_Print()
{
    printf("soak: %u scenarios, %u runs (%u ended \"Download o.k.\", %u \"Download error\"), at most %u runs to "
           "finish, at most %u ticks a run (%.0f %% of its bound)\n",
           tally.scenarios, tally.runs, tally.runs_done, tally.runs_failed, tally.most_runs, tally.most_ticks,
           100.0 * tally.worst_tick_share);
    printf("soak: injected: %llu item replies lost, %llu other replies lost, %llu bytes lost, %llu bytes corrupted, "
           "%llu noise bytes, %llu late answers, %llu requests ignored, %llu bytes garbled by a speed mismatch\n",
           (unsigned long long)tally.item_replies_lost, (unsigned long long)tally.other_replies_lost,
           (unsigned long long)tally.bytes_lost, (unsigned long long)tally.bytes_corrupted,
           (unsigned long long)tally.noise_bytes, (unsigned long long)tally.answers_late,
           (unsigned long long)tally.requests_ignored, (unsigned long long)tally.bytes_garbled);
    printf("soak: injected: %u logger restarts, %u loggers fallen silent (%u switched off and on), %u runs "
           "started with the logger left at the fast speed, %u adapters pulled mid-run, %u adapters missing at the "
           "start, %u disks filled, %u file calls failed\n",
           tally.logger_resets, tally.logger_silenced, tally.power_cycles, tally.left_fast, tally.adapter_pulled,
           tally.adapter_missing_at_start, tally.disks_filled, tally.file_calls_failed);
}

TEST(FaultSoak, EveryTrackReachesTheDiskWholeThroughFreshRuns)
{
    tally = {};
    for (uint32_t seed = 1; seed <= SCENARIOS; ++seed) {
        scenario_Run(seed);
        if (::testing::Test::HasFatalFailure()) break;
    }
    tally_Print();
    EXPECT_EQ(tally.scenarios, uint32_t(SCENARIOS));
}

}  // namespace
