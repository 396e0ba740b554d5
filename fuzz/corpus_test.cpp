// The download fuzz target against recorded clean sessions: what the
// simulated logger sent, replayed through the target's scripted line, must
// download the logger's tracks whole, so the target drives the real
// download and its seeds reach the end of one.
#include <gtest/gtest.h>

#include <string>

#include "download/download.h"
#include "fuzz/download_fuzz.h"
#include "fuzz/session_recorder.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace {

class RecordedSession : public ::testing::Test {
protected:
    void TearDown() override { session_End(); }
};

// Plays input with the scenario's tracks in place, for what the files must
// hold; the logger stays disconnected, so only the input speaks.
void expect_ReplayDownloadsEverything(const RecordedScenario& scenario, const std::vector<uint8_t>& input)
{
    session_Begin();
    scenario.set_up();
    fuzz_PlayDownload(input.data(), input.size());
    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(log_Lines().back(), scenario.last_line);
    EXPECT_EQ(expect_DiskMatchesLogger(1), (1u << sim_track_count) - 1);
    session_End();
}

TEST_F(RecordedSession, ReplayThroughDownloadTargetWritesTheLoggersTracks)
{
    for (int s = 0; s < recorded_scenario_count; ++s) {
        const RecordedScenario& scenario = recorded_scenarios[s];
        SCOPED_TRACE(scenario.name);
        session_Begin();
        scenario.set_up();
        const std::vector<RecordedExchange> exchanges = record_Download();
        ASSERT_EQ(log_Lines().back(), scenario.last_line) << "the recorded download itself did not finish";
        session_End();

        if (!scenario.long_answers) expect_ReplayDownloadsEverything(scenario, download_Input(exchanges));
        if (!scenario.long_answers && scenario.frames_intact) {
            SCOPED_TRACE("frames sealed");
            expect_ReplayDownloadsEverything(scenario, download_Input(exchanges, FUZZ_SEAL_FRAMES));
        }

        // Without their text the items leave empty files, but the download
        // takes the same course to the same end.
        SCOPED_TRACE("items compact");
        const std::vector<uint8_t> compact = download_Input(compact_Items(exchanges));
        session_Begin();
        fuzz_PlayDownload(compact.data(), compact.size());
        EXPECT_EQ(log_Lines().back(), scenario.last_line);
        session_End();
    }
}

TEST_F(RecordedSession, GapFillSessionFetchesALostItemAlone)
{
    const RecordedScenario* gap_fill = nullptr;
    for (int s = 0; s < recorded_scenario_count; ++s)
        if (std::string(recorded_scenarios[s].name) == "gap_fill") gap_fill = &recorded_scenarios[s];
    ASSERT_NE(gap_fill, nullptr);
    session_Begin();
    gap_fill->set_up();
    int single_item_requests = 0;
    for (const RecordedExchange& exchange : record_Download())
        if (exchange.request.size() == 14 && exchange.request[3] == 0x13 &&
            read_Uint(exchange.request.data() + 8, 2) == 1)
            ++single_item_requests;
    EXPECT_GE(single_item_requests, 1);
}

TEST_F(RecordedSession, InputUsedUpEndsTheRunAtTheNextRequest)
{
    session_Begin();
    const uint8_t settings_only[] = {0};
    const uint32_t ticks = fuzz_PlayDownload(settings_only, sizeof settings_only);
    // Adapter, search, then the first probe finds nothing left to answer it.
    EXPECT_EQ(ticks, 3u);
    EXPECT_EQ(seq_state, SEQ_PROBE);
    EXPECT_EQ(sim_stats.write_calls, 1u);
}

TEST_F(RecordedSession, SilentPiecesAreTimeOuts)
{
    session_Begin();
    // A probe answered by silence, then nothing: the probe's tick ends by
    // its 30 ms total, and the next probe uses up the input.
    const uint8_t silent_probe[] = {0, 0x00, 0x00};
    fuzz_PlayDownload(silent_probe, sizeof silent_probe);
    EXPECT_EQ(seq_state, SEQ_PROBE);
    EXPECT_EQ(sim_stats.write_calls, 2u);
}

}  // namespace
