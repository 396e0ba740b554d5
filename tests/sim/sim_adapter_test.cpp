// The simulated FT232R's D2XX calls: its failure settings, a pulled plug,
// and the stale handles that follow.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/sim.h"
#include "tests/sim/sim_support.h"

using SimAdapter = SimTest;

namespace {

// What an open in the program's order (list, open, three settings) gives.
struct OpenOutcome {
    FT_STATUS list, open, flow, data, baud;
    uint32_t devices;
};

OpenOutcome open_LikeTheProgram()
{
    OpenOutcome out = {};
    out.list = FT_CreateDeviceInfoList(&out.devices);
    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    out.open = FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle);
    out.flow = FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0);
    out.data = FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE);
    out.baud = FT_SetBaudRate(handle, 38400);
    return out;
}

}  // namespace

TEST_F(SimAdapter, EachSettingFailsOnItsOwn)
{
    struct Row {
        const char* shows;
        void (*arrange)();
        bool list_ok, open_ok, flow_ok, data_ok, baud_ok;
        uint32_t devices;
    };
    const Row rows[] = {
        {"defaults", [] {}, true, true, true, true, true, 1},
        {"absent", [] { sim_settings.adapter.present = false; }, true, false, false, false, false, 0},
        {"other description", [] { std::strcpy(sim_settings.adapter.description, "USB <-> Serial"); },
         true, false, false, false, false, 1},
        {"device list fails", [] { sim_settings.adapter.fail_device_list = true; }, false, true, true, true, true,
         0},
        {"flow control refused", [] { sim_settings.adapter.fail_flow_control = true; }, true, true, false, true,
         true, 1},
        {"data characteristics refused", [] { sim_settings.adapter.fail_data_characteristics = true; }, true,
         true, true, false, true, 1},
        {"baud rate refused", [] { sim_settings.adapter.fail_baud_rate = true; }, true, true, true, true, false,
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shows);
        sim_Reset();
        row.arrange();
        const OpenOutcome out = open_LikeTheProgram();
        EXPECT_EQ(out.list == FT_OK, row.list_ok);
        if (row.list_ok) {
            EXPECT_EQ(out.devices, row.devices);
        }
        EXPECT_EQ(out.open == FT_OK, row.open_ok);
        EXPECT_EQ(out.flow == FT_OK, row.flow_ok);
        EXPECT_EQ(out.data == FT_OK, row.data_ok);
        EXPECT_EQ(out.baud == FT_OK, row.baud_ok);
        EXPECT_EQ(sim_AdapterOpen(), row.open_ok);
        // A refused rate leaves the adapter at its power-on 9600.
        if (row.open_ok) {
            EXPECT_EQ(sim_AdapterBaud(), row.baud_ok ? 38400u : 9600u);
        }
    }
}

TEST_F(SimAdapter, DeviceListDescribesTheAdapter)
{
    uint32_t count = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    ASSERT_EQ(count, 1u);
    FT_DEVICE_LIST_INFO_NODE nodes[1];
    ASSERT_EQ(FT_GetDeviceInfoList(nodes, &count), FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(nodes[0].Description, "FT232R USB UART");
    EXPECT_EQ(nodes[0].ID, 0x04036001u);
}

// A handle is good only while the open that gave it lasts: a second open is
// refused meanwhile, and a close or a reset makes the handle stale.
TEST_F(SimAdapter, HandleIsGoodOnlyForItsOwnOpen)
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

TEST_F(SimAdapter, ReadFailureDeliversNothingAndKeepsTheBytes)
{
    FT_HANDLE handle = test_Open();
    const uint8_t bytes[] = {9, 8, 7};
    sim_InjectRx(0, bytes, 3);
    sim_AdvanceUs(10000);
    sim_settings.adapter.fail_read = true;
    uint8_t buffer[8];
    uint32_t got = 99;
    EXPECT_NE(FT_Read(handle, buffer, 3, &got), FT_OK);
    EXPECT_EQ(got, 0u);
    sim_settings.adapter.fail_read = false;
    EXPECT_EQ(test_ReadAll(handle), Bytes({9, 8, 7}));
    EXPECT_EQ(sim_stats.read_calls, 2u);
    EXPECT_EQ(sim_stats.last_read_sizes[0], 3u);
}

TEST_F(SimAdapter, ReadNeverHandsOutMoreThanHasArrived)
{
    sim_settings.logger.connected = false;
    FT_HANDLE handle = test_Open(250000);
    test_Write(handle, Bytes(100, 0x41));
    sim_AdvanceUs(400);
    uint8_t buffer[100];
    uint32_t got = 0;
    EXPECT_EQ(FT_Read(handle, buffer, 100, &got), FT_OK);
    EXPECT_EQ(got, 10u);
}

TEST_F(SimAdapter, PulledAdapterFailsEveryCallUntilReopened)
{
    FT_HANDLE handle = test_Open();
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
