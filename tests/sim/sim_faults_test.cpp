// The line's faults: what each one does, and that the same seed plays the
// same faults again while another seed plays others.
#include <gtest/gtest.h>

#include "sim/sim.h"
#include "tests/sim/sim_support.h"

using SimFaults = SimTest;

namespace {

constexpr uint32_t STREAM_ITEMS = 500;

// What the program's side receives for one whole-range item request at
// 250000 baud, after the request's echo.
Bytes stream_With(void (*arrange)(), uint32_t seed)
{
    sim_Reset();
    sim_settings.logger.baud = 250000;
    arrange();
    sim_settings.faults.seed = seed;
    sim_AddTrack(test_Track(1, STREAM_ITEMS));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, STREAM_ITEMS));
    const Bytes got = test_RunFor(handle, 10000000);
    return Bytes(got.begin() + 14, got.end());
}

// Reads in 100 us steps for a while and returns the reply frames.
std::vector<Bytes> frames_Polled(FT_HANDLE handle, uint64_t us)
{
    Bytes all;
    for (uint64_t t = 0; t < us; t += 100) {
        const Bytes got = test_RunFor(handle, 100);
        all.insert(all.end(), got.begin(), got.end());
    }
    return test_Frames(all);
}

}  // namespace

TEST_F(SimFaults, RandomFaultsDoTheirHarmAndReplayFromTheSeed)
{
    struct Row {
        const char* shows;
        void (*arrange)();
        void (*check)(const Bytes& got, const std::vector<Bytes>& frames);
    };
    const Row rows[] = {
        {"item replies lost", [] { sim_settings.faults.lose_item_reply_ppm = 100000; },
         [](const Bytes&, const std::vector<Bytes>& frames) {
             EXPECT_GT(sim_stats.item_replies_lost, 20u);
             EXPECT_LT(sim_stats.item_replies_lost, 100u);
             EXPECT_EQ(frames.size(), STREAM_ITEMS - sim_stats.item_replies_lost);
         }},
        {"any reply lost", [] { sim_settings.faults.lose_reply_ppm = 100000; },
         [](const Bytes&, const std::vector<Bytes>& frames) {
             EXPECT_GT(sim_stats.replies_lost, 20u);
             EXPECT_EQ(frames.size(), STREAM_ITEMS - sim_stats.replies_lost);
         }},
        {"bytes lost", [] { sim_settings.faults.lose_byte_ppm = 500; },
         [](const Bytes& got, const std::vector<Bytes>& frames) {
             EXPECT_GT(sim_stats.bytes_lost, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent - sim_stats.bytes_lost);
             EXPECT_LE(frames.size(), STREAM_ITEMS - 1);
             EXPECT_GE(frames.size(), STREAM_ITEMS - sim_stats.bytes_lost);
         }},
        {"bytes corrupted", [] { sim_settings.faults.corrupt_byte_ppm = 500; },
         [](const Bytes& got, const std::vector<Bytes>& frames) {
             EXPECT_GT(sim_stats.bytes_corrupted, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent);
             EXPECT_LE(frames.size(), STREAM_ITEMS - 1);
             EXPECT_GE(frames.size(), STREAM_ITEMS - sim_stats.bytes_corrupted);
         }},
        {"noise between frames", [] { sim_settings.faults.noise_ppm = 200000; },
         [](const Bytes& got, const std::vector<Bytes>& frames) {
             EXPECT_GT(sim_stats.noise_bytes, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent);
             ASSERT_EQ(frames.size(), STREAM_ITEMS);
             size_t framed = 0;
             for (const Bytes& frame : frames) framed += frame.size();
             EXPECT_EQ(got.size(), framed + sim_stats.noise_bytes);  // noise only between frames
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        const Bytes clean = stream_With([] {}, 1);
        const Bytes first = stream_With(row.arrange, 3);
        row.check(first, test_Frames(first));
        EXPECT_NE(first, clean);
        EXPECT_EQ(stream_With(row.arrange, 3), first);
        EXPECT_NE(stream_With(row.arrange, 4), first);
    }
}

TEST_F(SimFaults, LateAnswerWaitsTheExtraTime)
{
    sim_settings.faults.late_answer_ms = 300;
    FT_HANDLE handle = test_Open();
    test_Write(handle, test_Request(0x03));
    EXPECT_EQ(test_RunFor(handle, 6 * 261 + 1000 + 300000).size(), 6u);  // the echo
    EXPECT_EQ(test_Frames(test_RunFor(handle, 20000)).size(), 1u);
}

TEST_F(SimFaults, FirstRequestsAreIgnored)
{
    sim_settings.faults.ignore_requests = 2;
    FT_HANDLE handle = test_Open();
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x01, {0xFF})).empty());
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x01, {0xFF})).empty());
    EXPECT_EQ(test_Exchange(handle, test_Request(0x01, {0xFF})).size(), 1u);
    EXPECT_EQ(sim_stats.requests_heard, 3u);
    EXPECT_EQ(sim_stats.requests_ignored, 2u);
}

TEST_F(SimFaults, SilentLoggerHearsButNeverAnswers)
{
    sim_settings.faults.silent = true;
    FT_HANDLE handle = test_Open();
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x02)).empty());
    EXPECT_EQ(sim_stats.requests_heard, 1u);
    EXPECT_EQ(sim_stats.bytes_sent, 0u);
}

TEST_F(SimFaults, LoggerFallsSilentAfterItems)
{
    sim_settings.faults.silent_after_items = 10;
    sim_AddTrack(test_Track(1, 50));
    FT_HANDLE handle = test_Open();
    EXPECT_EQ(test_Exchange(handle, test_ItemRequest(0, 50), 5000000).size(), 10u);
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x02)).empty());
    EXPECT_EQ(sim_stats.item_replies_sent, 10u);
}

// The speed answer is lost but the logger has switched: only a request at
// the new speed reaches it.
TEST_F(SimFaults, SwallowedSpeedAnswerStillSwitches)
{
    sim_settings.faults.swallow_speed_answers = 1;
    FT_HANDLE handle = test_Open(38400);
    const Bytes to_fast = test_Request(0x06, {0x01, 0x20, 0x00});
    EXPECT_TRUE(test_Exchange(handle, to_fast).empty());
    EXPECT_EQ(sim_LoggerBaud(), 250000u);
    EXPECT_TRUE(test_Exchange(handle, to_fast).empty());
    FT_SetBaudRate(handle, 250000);
    EXPECT_EQ(test_Exchange(handle, to_fast).size(), 1u);
    EXPECT_EQ(sim_stats.speed_changes, 2u);
}

TEST_F(SimFaults, AdapterVanishesAfterItems)
{
    sim_settings.logger.baud = 250000;
    sim_settings.faults.vanish_after_items = 5;
    sim_AddTrack(test_Track(1, 50));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 50));
    EXPECT_EQ(frames_Polled(handle, 100000).size(), 5u);
    EXPECT_FALSE(sim_AdapterOpen());
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_NE(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(test_Open(), nullptr);
    sim_PlugAdapter();
    EXPECT_NE(test_Open(), nullptr);
}
