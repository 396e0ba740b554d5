// The line and the simulated FT232R: clock, byte pacing, speed mismatches,
// scripted bytes, the bounded receive queue, the adapter's failure settings
// and pulled plug, and the line's faults.
#include <cstring>

#include "seams/base_services.h"
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

// A byte shows once its tenth bit time at the adapter's rate has passed; a
// second write starts when the first has left.
TEST_F(SimLine, BytesArriveAfterTenBitTimesEachAndWritesQueue)
{
    struct Row {
        uint32_t baud;
        uint64_t first_byte_us, ten_bytes_us;  // each write's end rounded up
    };
    for (const Row& row : {Row{250000, 40, 400}, Row{38400, 261, 2606}, Row{9600, 1042, 10418}}) {
        SCOPED_TRACE(row.baud);
        sim_Reset();
        sim_settings.logger.connected = false;
        FT_HANDLE handle = test_Open(row.baud);
        test_Write(handle, Bytes(5, 1));
        test_Write(handle, Bytes(5, 2));
        EXPECT_TRUE(test_RunFor(handle, row.first_byte_us - 1).empty());
        EXPECT_EQ(test_RunFor(handle, 1), Bytes({1}));
        EXPECT_EQ(test_RunFor(handle, row.ten_bytes_us - row.first_byte_us - 1), Bytes({1, 1, 1, 1, 2, 2, 2, 2}));
        EXPECT_EQ(test_RunFor(handle, 1), Bytes({2}));
        FT_Close(handle);
    }
}

// The adapter switches speed while the logger answers at the old one.
TEST_F(SimLine, ReplyAtAnotherSpeedArrivesGarbled)
{
    sim_settings.faults.seed = 7;
    FT_HANDLE handle = test_Open(38400);
    test_Write(handle, test_Request(0x02));
    EXPECT_EQ(test_RunFor(handle, 6 * 261).size(), 6u);  // the echo
    FT_SetBaudRate(handle, 250000);
    const Bytes got = test_RunFor(handle, 100000);
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
    EXPECT_EQ(test_RunFor(handle, 80), Bytes({2, 3}));
    EXPECT_EQ(test_RunFor(handle, 39), Bytes());
    EXPECT_EQ(test_RunFor(handle, 1), Bytes({1}));
}

// A receive queue nobody reads keeps the oldest bytes and drops the rest.
TEST_F(SimLine, FullReceiveQueueDropsAndCounts)
{
    sim_settings.logger.baud = 250000;
    sim_AddTrack(test_Track(1, 2000));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 2000));
    sim_AdvanceUs(20000000);
    const Bytes all = test_ReadAll(handle);
    EXPECT_EQ(all.size(), SIM_RX_QUEUE_SIZE);
    EXPECT_EQ(sim_stats.rx_overflow, sim_stats.bytes_sent + 14 - SIM_RX_QUEUE_SIZE);
    const auto frames = test_Frames(Bytes(all.begin() + 14, all.end()));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(test_Get(frames[0], 8, 3), 2000u);  // the first item of the range
}

// An open in the program's order (list, open, three settings); a refused
// rate leaves the adapter at its power-on 9600.
TEST_F(SimLine, EachAdapterSettingFailsOnItsOwn)
{
    struct Row {
        const char* shows;
        void (*arrange)();
        const char* ok;  // list, open, flow, data, baud: '1' = FT_OK
        uint32_t devices;
    };
    const Row rows[] = {
        {"defaults", [] {}, "11111", 1},
        {"absent", [] { sim_settings.adapter.present = false; }, "10000", 0},
        {"other description", [] { std::strcpy(sim_settings.adapter.description, "USB <-> Serial"); }, "10000", 1},
        {"device list fails", [] { sim_settings.adapter.fail_device_list = true; }, "01111", 0},
        {"flow control refused", [] { sim_settings.adapter.fail_flow_control = true; }, "11011", 1},
        {"data refused", [] { sim_settings.adapter.fail_data_characteristics = true; }, "11101", 1},
        {"baud rate refused", [] { sim_settings.adapter.fail_baud_rate = true; }, "11110", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        sim_Reset();
        row.arrange();
        uint32_t devices = 0;
        FT_HANDLE handle = nullptr;
        char description[] = "FT232R USB UART";
        const FT_STATUS got[] = {
            FT_CreateDeviceInfoList(&devices), FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle),
            FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0),
            FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
            FT_SetBaudRate(handle, 38400)};
        for (int call = 0; call < 5; ++call) EXPECT_EQ(got[call] == FT_OK, row.ok[call] == '1') << call;
        if (got[0] == FT_OK) { EXPECT_EQ(devices, row.devices); }
        EXPECT_EQ(sim_AdapterOpen(), row.ok[1] == '1');
        if (sim_AdapterOpen()) { EXPECT_EQ(sim_AdapterBaud(), row.ok[4] == '1' ? 38400u : 9600u); }
    }
    uint32_t count = 0;
    FT_DEVICE_LIST_INFO_NODE node;
    ASSERT_EQ(FT_GetDeviceInfoList(&node, &count), FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(node.Description, "FT232R USB UART");
    EXPECT_EQ(node.ID, 0x04036001u);
}

// A handle is good only while its open lasts: a second open is refused
// meanwhile; a close or a reset makes the handle stale.
TEST_F(SimLine, HandleIsGoodOnlyForItsOwnOpen)
{
    FT_HANDLE first = test_Open();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(test_Open(), nullptr);
    EXPECT_EQ(FT_Close(first), FT_OK);
    EXPECT_FALSE(sim_AdapterOpen());
    EXPECT_NE(FT_SetBaudRate(first, 38400), FT_OK);
    FT_HANDLE second = test_Open();
    ASSERT_NE(second, nullptr);
    sim_Reset();
    EXPECT_NE(FT_SetBaudRate(second, 38400), FT_OK);
    EXPECT_NE(test_Open(), nullptr);
    int other = 0;
    EXPECT_EQ(FT_SetBaudRate(&other, 38400), FT_INVALID_HANDLE);
    EXPECT_EQ(FT_Close(nullptr), FT_INVALID_HANDLE);
}

// Pulled by hand, or by the fault 2 ms after the fifth item reply arrived:
// every call fails, also after a plug; a new open works once plugged in.
TEST_F(SimLine, PulledAdapterFailsEveryCallUntilReopened)
{
    sim_settings.logger.baud = 250000;
    sim_settings.faults.vanish_after_items = 5;
    sim_AddTrack(test_Track(1, 50));
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, test_ItemRequest(0, 50));
    Bytes all;
    for (int step = 0; step < 1000; ++step)
        for (uint8_t byte : test_RunFor(handle, 100)) all.push_back(byte);
    EXPECT_EQ(test_Frames(all).size(), 5u);
    EXPECT_FALSE(sim_AdapterOpen());
    EXPECT_EQ(test_Open(), nullptr);

    sim_Reset();
    handle = test_Open();
    const uint8_t bytes[] = {1, 2};
    sim_InjectRx(0, bytes, 2);
    sim_PullAdapter();
    uint32_t rx = 0, tx = 0, events = 0, count = 5;
    uint8_t buffer[4];
    EXPECT_NE(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_NE(FT_Read(handle, buffer, 2, &count), FT_OK);
    EXPECT_NE(FT_Write(handle, buffer, 2, &count), FT_OK);
    EXPECT_NE(FT_SetBaudRate(handle, 250000), FT_OK);
    EXPECT_NE(FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(test_Open(), nullptr);
    sim_PlugAdapter();
    EXPECT_NE(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);  // the old handle stays dead
    EXPECT_NE(FT_Close(handle), FT_OK);
    FT_HANDLE again = test_Open();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(test_RunFor(again, 10000).empty());  // what was on the way is gone
    EXPECT_EQ(test_Exchange(again, test_Request(0x02)).size(), 1u);
}

namespace {

constexpr uint32_t STREAM_ITEMS = 500;

// What arrives, after the echo, for one whole-range item request at 250000.
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

}  // namespace

// Each random fault does its harm; the same seed plays it again, another not.
TEST_F(SimLine, RandomFaultsDoTheirHarmAndReplayFromTheSeed)
{
    using Frames = std::vector<Bytes>;
    struct Row {
        const char* shows;
        void (*arrange)();
        void (*check)(const Bytes& got, const Frames& frames);
    };
    const Row rows[] = {
        {"item replies lost", [] { sim_settings.faults.lose_item_reply_ppm = 100000; },
         [](const Bytes&, const Frames& frames) {
             EXPECT_GT(sim_stats.item_replies_lost, 20u);
             EXPECT_LT(sim_stats.item_replies_lost, 100u);
             EXPECT_EQ(frames.size(), STREAM_ITEMS - sim_stats.item_replies_lost);
         }},
        {"any reply lost", [] { sim_settings.faults.lose_reply_ppm = 100000; },
         [](const Bytes&, const Frames& frames) {
             EXPECT_GT(sim_stats.replies_lost, 20u);
             EXPECT_EQ(frames.size(), STREAM_ITEMS - sim_stats.replies_lost);
         }},
        {"bytes lost", [] { sim_settings.faults.lose_byte_ppm = 500; },
         [](const Bytes& got, const Frames& frames) {
             EXPECT_GT(sim_stats.bytes_lost, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent - sim_stats.bytes_lost);
             EXPECT_LE(frames.size(), STREAM_ITEMS - 1);
             EXPECT_GE(frames.size(), STREAM_ITEMS - sim_stats.bytes_lost);
         }},
        {"bytes corrupted", [] { sim_settings.faults.corrupt_byte_ppm = 500; },
         [](const Bytes& got, const Frames& frames) {
             EXPECT_GT(sim_stats.bytes_corrupted, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent);
             EXPECT_LE(frames.size(), STREAM_ITEMS - 1);
             EXPECT_GE(frames.size(), STREAM_ITEMS - sim_stats.bytes_corrupted);
         }},
        {"noise between frames", [] { sim_settings.faults.noise_ppm = 200000; },
         [](const Bytes& got, const Frames& frames) {
             EXPECT_GT(sim_stats.noise_bytes, 0u);
             EXPECT_EQ(got.size(), sim_stats.bytes_sent);
             ASSERT_EQ(frames.size(), STREAM_ITEMS);
             size_t framed = 0;
             for (const Bytes& frame : frames) framed += frame.size();
             EXPECT_EQ(got.size(), framed + sim_stats.noise_bytes);  // noise only between frames
         }},
    };
    const Bytes clean = stream_With([] {}, 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        const Bytes first = stream_With(row.arrange, 3);
        row.check(first, test_Frames(first));
        EXPECT_NE(first, clean);
        EXPECT_EQ(stream_With(row.arrange, 3), first);
        EXPECT_NE(stream_With(row.arrange, 4), first);
    }
}

// The logger falls silent after N item replies: it answers nothing more.
TEST_F(SimLine, LoggerFallsSilentAfterItems)
{
    sim_settings.faults.silent_after_items = 10;
    sim_AddTrack(test_Track(1, 50));
    FT_HANDLE handle = test_Open();
    EXPECT_EQ(test_Exchange(handle, test_ItemRequest(0, 50), 5000000).size(), 10u);
    EXPECT_TRUE(test_Exchange(handle, test_Request(0x02)).empty());
    EXPECT_EQ(sim_stats.item_replies_sent, 10u);
}
