// 300 seeded faulty downloads, each followed by fresh runs (adapter plugged, a
// silent logger power-cycled) until a faultless run has finished. Every run ends
// in the exit question within a bound, each track is on disk whole or not at all,
// and "Download o.k." means all saved; the tallies show every fault drawn, and
// no more runs or ticks spent than the download needs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

static struct Tally {
    unsigned long long item_lost, other_lost, bytes_lost, corrupted, noise, late, ignored, garbled;
    uint32_t bad_checksum_tracks, resets, silenced, left_fast, pulled, missing_at_start, disks_filled, file_fails;
    uint32_t runs, runs_failed;
    double worst_share;  // of the tick bound
} t;

static void scenario_Run(uint32_t seed)
{
    SCOPED_TRACE("scenario seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto below = [&](uint32_t n) { return n == 0 ? 0 : uint32_t(random() % n); };
    const auto one_in = [&](uint32_t n) { return below(n) == 0; };
    // Mostly short tracks, now and then one long enough for several passes.
    std::vector<SimTrack> tracks;
    const uint16_t first_no = uint16_t(1 + below(300));
    uint32_t items = 0, all_tracks = 0;
    for (uint32_t k = 0, count = 1 + below(4); k < count; ++k) {
        const uint32_t n = one_in(8) ? 400 + below(1200) : below(250);
        tracks.push_back(SimTrack{uint16_t(first_no + k), uint8_t(1 + below(28)), uint8_t(1 + below(12)),
                                  uint8_t(10 + below(20)), uint8_t(below(24)), uint8_t(below(60)), uint8_t(below(60)),
                                  n, seed * 8 + k, one_in(2)});
        if (one_in(10)) tracks.back().bad_checksum_every = 1 + below(40), ++t.bad_checksum_tracks;  // kept as is
        items += n;
        all_tracks |= uint32_t(n != 0) << k;  // a track without items gets no file
    }
    const auto load = [&] {
        for (const SimTrack& x : tracks) sim_AddTrack(x);
        sim_settings.logger.first_track_no = first_no;
    };
    session_Begin(), load();
    uint64_t disk_bytes = 0;
    for (int k = 0; k < int(tracks.size()); ++k) disk_bytes += expected_Text(k).size() + expected_Timing(k).size();
    const uint32_t bound = 500 + 3 * items;  // set-up, five items a tick, a few passes
    const uint32_t some = std::max(items, 1u);
    uint32_t on_disk = 0, run = 0;
    for (; run <= 2 && on_disk != all_tracks && !::testing::Test::HasFatalFailure(); ++run) {
        session_Restart();
        SimFaultSettings& f = sim_settings.faults;
        SimFileFaults& files = sim_file_faults;
        f = {}, files = {};
        f.seed = seed * 4 + run;
        if (run < 2) {  // two faulty runs, then one without faults
            if (one_in(2)) f.lose_item_reply_ppm = 5000 + below(200000);
            if (one_in(3)) f.lose_reply_ppm = 10000 + below(140000);
            if (one_in(4)) f.lose_byte_ppm = 20 + below(500);
            if (one_in(4)) f.corrupt_byte_ppm = 20 + below(500);
            if (one_in(4)) f.noise_ppm = 10000 + below(200000);
            if (one_in(5)) f.late_answer_ms = 10 + below(900), f.late_answer_ppm = 20000 + below(300000);
            if (one_in(6)) f.ignore_requests = 1 + below(8);
            if (one_in(6)) f.reset_after_items = 1 + below(some);
            if (one_in(8)) f.silent_after_items = 1 + below(some);
            if (one_in(8)) f.vanish_after_items = 1 + below(some);
            if (one_in(6)) files.disk_limited = true, files.disk_free = below(uint32_t(disk_bytes) + 1);
            for (SimFileFault* call : {&files.create, &files.write, &files.close, &files.rename})
                if (one_in(12)) call->countdown = 1 + below(6), call->persistent = one_in(3);
            if (one_in(6))  // plugged in while the program says it is missing, then Retry
                sim_PullAdapter(), fake_QueueAnswer(ANSWER_RETRY), ++t.missing_at_start,
                    fake_window.while_box_open = [](WindowHandle) { sim_PlugAdapter(); };
        }
        // A listing is taken in one read when its numbering holds, and the last track's reply lost whole
        // leaves no trace in it: such a listing cannot be told from one without that track, so the
        // listing loses whole replies at a tenth of the rate (34 scenarios in 20000 then fail).
        // A logger falls silent only once the download has found it: one silent from the start is
        // searched for without end.
        const uint32_t lose_reply_ppm = f.lose_reply_ppm, silent_after_items = f.silent_after_items;
        f.silent_after_items = 0;
        sim_stats = {}, t.left_fast += sim_LoggerBaud() == BAUD_FAST;
        uint32_t ticks = 0;
        for (; ticks < bound && seq_state != SEQ_IDLE; ++ticks) {
            f.lose_reply_ppm = seq_state == SEQ_DIR_READ ? lose_reply_ppm / 10 : lose_reply_ppm;
            if (seq_state >= SEQ_NEXT_TRACK) f.silent_after_items = silent_after_items;
            session_Tick();
        }
        ++t.runs;
        t.worst_share = std::max(t.worst_share, double(ticks) / bound);
        EXPECT_EQ(seq_state, SEQ_IDLE) << "run " << run << " did not end within " << bound << " ticks";
        ASSERT_GE(fake_window.box_count, 1);
        const FakeBox& box = fake_window.boxes[std::min(fake_window.box_count, FAKE_BOXES_MAX) - 1];
        EXPECT_STREQ(box.text, "Exit application ?");
        on_disk = expect_DiskMatchesLogger(first_no);
        const bool done = std::string(box.title) == "Download o.k.";
        t.runs_failed += !done;
        EXPECT_TRUE(!done || on_disk == all_tracks) << "run " << run << " reported success with tracks missing";
        const SimStats& st = sim_stats;
        const bool silenced = f.silent_after_items != 0 && st.item_replies_sent >= f.silent_after_items;
        t.item_lost += st.item_replies_lost, t.other_lost += st.replies_lost - st.item_replies_lost;
        t.bytes_lost += st.bytes_lost, t.corrupted += st.bytes_corrupted, t.noise += st.noise_bytes;
        t.late += st.answers_late, t.ignored += st.requests_ignored, t.garbled += st.bytes_garbled;
        t.resets += st.logger_resets, t.silenced += silenced, t.pulled += !sim_AdapterOpen();
        t.disks_filled += files.disk_limited && files.disk_free == 0;
        t.file_fails += files.create.failures + files.write.failures + files.close.failures + files.rename.failures;
        sim_PlugAdapter();
        if (silenced) sim_Reset(), load();
    }
    EXPECT_EQ(on_disk, all_tracks) << "a run without faults left tracks missing";
    session_End();
}

TEST(FaultSoak, EveryTrackReachesTheDiskWholeThroughFreshRuns)
{
    // A longer soak, or one scenario again: ZORP_SOAK_SCENARIOS=20000, ZORP_SOAK_FIRST=209.
    const auto setting = [](const char* name, uint32_t otherwise) {
        const char* text = getenv(name);
        return text != nullptr ? uint32_t(strtoul(text, nullptr, 10)) : otherwise;
    };
    const uint32_t first = setting("ZORP_SOAK_FIRST", 1), scenarios = setting("ZORP_SOAK_SCENARIOS", 300);
    for (uint32_t seed = first; seed < first + scenarios && !::testing::Test::HasFatalFailure(); ++seed)
        scenario_Run(seed);
    // Per scenario, with a margin either way of what the soak does: each fault drawn often enough to
    // count, and no more runs, failed runs or ticks than the download needs to get every track home.
    const double n = scenarios;
    const struct { const char* what; double value, least, most = 1e9; } tallies[] = {
        {"runs", t.runs / n, 1.5, 1.74}, {"runs ended \"Download error\"", t.runs_failed / n, 0.5, 0.74},
        {"share of its tick bound a run took at most", t.worst_share, 0.1, 0.32},
        {"item replies lost", t.item_lost / n, 75}, {"other replies lost", t.other_lost / n, 0.15},
        {"bytes lost", t.bytes_lost / n, 4}, {"bytes corrupted", t.corrupted / n, 4}, {"noise bytes", t.noise / n, 200},
        {"late answers", t.late / n, 0.4}, {"requests ignored", t.ignored / n, 1.5},
        {"bytes garbled by a speed mismatch", t.garbled / n, 0.01}, {"logger restarts", t.resets / n, 0.1},
        {"loggers fallen silent, then switched off and on", t.silenced / n, 0.06},
        {"runs started with the logger left fast", t.left_fast / n, 0.08}, {"adapters pulled", t.pulled / n, 0.08},
        {"adapters missing at the start", t.missing_at_start / n, 0.13}, {"disks filled", t.disks_filled / n, 0.09},
        {"file calls failed", t.file_fails / n, 0.17}, {"tracks with wrong checksums", t.bad_checksum_tracks / n, 0.12},
    };
    for (const auto& tally : tallies) {
        printf("soak: %.3f %s\n", tally.value, tally.what);
        if (scenarios < 300) continue;  // too few to draw every fault
        EXPECT_GE(tally.value, tally.least) << tally.what;
        EXPECT_LE(tally.value, tally.most) << tally.what;
    }
}
