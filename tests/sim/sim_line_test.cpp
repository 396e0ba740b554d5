// The line: the simulated clock, byte pacing, the half-duplex echo, speed
// mismatches, scripted bytes and the bounded receive queue.
#include <gtest/gtest.h>

#include "seams/base_services.h"
#include "sim/sim.h"
#include "tests/sim/sim_support.h"

using SimLine = SimTest;

TEST_F(SimLine, SleepMovesTheClockAndTheTickWraps)
{
    const uint64_t start = sim_NowUs();
    sim_SetTickMs(0xFFFFFFF0u);
    sys_Sleep(20);
    EXPECT_EQ(sim_NowUs() - start, 20000u);
    EXPECT_EQ(sys_TickCount(), 4u);  // 0xFFFFFFF0 + 20, wrapped
    sim_AdvanceUs(999);
    EXPECT_EQ(sys_TickCount(), 4u);
    sim_AdvanceUs(1);
    EXPECT_EQ(sys_TickCount(), 5u);
}

// A byte is visible only once its tenth bit time has passed, at the
// adapter's baud rate; a burst goes out byte after byte.
TEST_F(SimLine, BytesArriveAfterTenBitTimesEach)
{
    struct Row {
        uint32_t baud;
        uint64_t first_byte_us;  // rounded up
        uint64_t ten_bytes_us;
    };
    const Row rows[] = {{250000, 40, 400}, {38400, 261, 2605}, {9600, 1042, 10417}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.baud);
        sim_Reset();
        sim_settings.logger.connected = false;
        FT_HANDLE handle = test_Open(row.baud);
        ASSERT_NE(handle, nullptr);
        test_Write(handle, Bytes(10, 0x55));
        EXPECT_EQ(test_RunFor(handle, row.first_byte_us - 1).size(), 0u);
        EXPECT_EQ(test_RunFor(handle, 1).size(), 1u);
        EXPECT_EQ(test_RunFor(handle, row.ten_bytes_us - row.first_byte_us - 1).size(), 8u);
        EXPECT_EQ(test_RunFor(handle, 1).size(), 1u);
        FT_Close(handle);
    }
}

TEST_F(SimLine, WritesQueueBehindEachOther)
{
    sim_settings.logger.connected = false;
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, Bytes(5, 1));
    test_Write(handle, Bytes(5, 2));  // starts when the first five have left
    EXPECT_EQ(test_RunFor(handle, 200), Bytes(5, 1));
    EXPECT_EQ(test_RunFor(handle, 200), Bytes(5, 2));
}

TEST_F(SimLine, EchoComesAheadOfTheReply)
{
    FT_HANDLE handle = test_Open();
    const Bytes probe = test_Request(0x01, {0xFF});
    test_Write(handle, probe);
    const Bytes got = test_RunFor(handle, 20000);
    ASSERT_GT(got.size(), probe.size());
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 7), probe);
    const auto frames = test_Frames(Bytes(got.begin() + 7, got.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), got.size() - 7);
}

TEST_F(SimLine, WithoutEchoOnlyTheReplyComes)
{
    sim_settings.adapter.echo = false;
    FT_HANDLE handle = test_Open();
    test_Write(handle, test_Request(0x01, {0xFF}));
    const Bytes got = test_RunFor(handle, 20000);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], 0x3C);
    EXPECT_EQ(test_Frames(got).size(), 1u);
}

// The reply's first byte leaves no sooner than the answer delay after the
// request's last byte.
TEST_F(SimLine, ReplyFollowsTheAnswerDelay)
{
    sim_settings.logger.baud = 250000;
    sim_settings.logger.answer_delay_us = 5000;
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_Request(0x03));  // 6 bytes: 240 us
    EXPECT_EQ(test_RunFor(handle, 240 + 5000 + 39).size(), 6u);  // the echo only
    EXPECT_EQ(test_RunFor(handle, 1).size(), 1u);  // the reply's first byte
}

TEST_F(SimLine, LoggerAtAnotherSpeedHearsGarbageAndStaysSilent)
{
    sim_settings.logger.baud = 250000;
    FT_HANDLE handle = test_Open(38400);
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x02), 100000).empty());
    EXPECT_EQ(sim_stats.requests_heard, 0u);
    EXPECT_EQ(sim_stats.bytes_misheard, 6u);
    EXPECT_EQ(sim_stats.replies_sent, 0u);

    FT_SetBaudRate(handle, 250000);
    EXPECT_EQ(test_Exchange(handle, test_Request(0x02)).size(), 1u);
}

// The adapter changes speed while the logger is answering at the old one:
// the bytes still arrive, garbled, and form no frame.
TEST_F(SimLine, ReplyAtAnotherSpeedArrivesGarbled)
{
    sim_settings.faults.seed = 7;
    FT_HANDLE handle = test_Open(38400);
    test_Write(handle, test_Request(0x02));
    Bytes got = test_RunFor(handle, 6 * 261);  // the echo
    EXPECT_EQ(got.size(), 6u);
    FT_SetBaudRate(handle, 250000);
    got = test_RunFor(handle, 100000);
    EXPECT_EQ(got.size(), sim_settings.logger.identity_length);
    EXPECT_TRUE(test_Frames(got).empty());
    EXPECT_EQ(sim_stats.bytes_garbled, sim_settings.logger.identity_length);
}

TEST_F(SimLine, InjectedBytesArriveAfterTheirDelayAtTheAdapterPace)
{
    sim_settings.logger.connected = false;
    FT_HANDLE handle = test_Open(250000);
    const uint8_t bytes[] = {1, 2, 3};
    sim_InjectRx(1000, bytes, 3);
    sim_InjectRx(0, bytes, 1);  // after what is already on the way
    EXPECT_TRUE(test_RunFor(handle, 1039).empty());
    EXPECT_EQ(test_RunFor(handle, 1), Bytes({1}));
    EXPECT_EQ(test_RunFor(handle, 120), Bytes({2, 3, 1}));
}

// A receive queue nobody reads fills up and drops the rest, as a driver
// overruns; what it holds is the oldest bytes.
TEST_F(SimLine, FullReceiveQueueDropsAndCounts)
{
    sim_settings.logger.baud = 250000;
    sim_AddTrack(test_Track(1, 2000));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 2000));
    sim_AdvanceUs(20000000);
    uint32_t waiting = 0, tx = 0, events = 0;
    FT_GetStatus(handle, &waiting, &tx, &events);
    EXPECT_EQ(waiting, SIM_RX_QUEUE_SIZE);
    EXPECT_EQ(sim_stats.rx_overflow, sim_stats.bytes_sent + 14 - SIM_RX_QUEUE_SIZE);
    Bytes all(waiting);
    FT_Read(handle, all.data(), waiting, &waiting);
    const auto frames = test_Frames(Bytes(all.begin() + 14, all.end()));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(test_Get(frames[0], 8, 3), 2000u);  // the first item of the range
}
