// The USB serial adapter against the simulated FT232R: opening with its
// results and logged refusals, the chunked receive path, baud changes, close,
// and an adapter pulled while open.
#include "tests/link/link_fixture.h"

namespace {

using Adapter = LinkTest;

TEST_F(Adapter, OpenSetsTheBaseLineQuietly)
{
    ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    EXPECT_NE(usb_handle, nullptr);
    EXPECT_TRUE(sim_AdapterOpen());
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    EXPECT_EQ(log_lines_used(), 0);
}

TEST_F(Adapter, OpenFailuresLeaveNoHandleAndLogNothing)
{
    struct Row {
        const char* what;
        void (*arrange)();
        int expected;
    };
    const Row rows[] = {
        {"device list fails", [] { sim_settings.adapter.fail_device_list = true; }, USB_NO_DEVICE_LIST},
        {"no FTDI device", [] { sim_settings.adapter.present = false; }, USB_NOT_OPENED},
        {"other description",
         [] { strcpy(sim_settings.adapter.description, "FT232R USB UART B"); }, USB_NOT_OPENED},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        log_Clear();
        row.arrange();
        EXPECT_EQ(usb_Open(), row.expected);
        EXPECT_EQ(usb_handle, nullptr);
        EXPECT_FALSE(sim_AdapterOpen());
        EXPECT_EQ(log_lines_used(), 0);
    }
}

TEST_F(Adapter, EveryRefusedSettingIsLoggedInOrderAndTheOpenStillSucceeds)
{
    sim_settings.adapter.fail_flow_control = true;
    sim_settings.adapter.fail_data_characteristics = true;
    sim_settings.adapter.fail_baud_rate = true;
    EXPECT_EQ(usb_Open(), USB_OPEN_OK);
    EXPECT_NE(usb_handle, nullptr);
    ASSERT_EQ(log_lines_used(), 3);
    EXPECT_STREQ(status_log[0], "FT_SetFlowControl Failed");
    EXPECT_STREQ(status_log[1], "FT_SetDataCharacteristics Failed");
    EXPECT_STREQ(status_log[2], "FT_SetBaudRate Failed");
}

TEST_F(Adapter, ReopenClosesFirstAndCloseIsHarmlessTwice)
{
    ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    ASSERT_EQ(usb_SetBaud(BAUD_FAST), 0);
    EXPECT_EQ(usb_Open(), USB_OPEN_OK) << "the device is not still held";
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);

    usb_Close();
    EXPECT_EQ(usb_handle, nullptr);
    EXPECT_FALSE(sim_AdapterOpen());
    usb_Close();
    EXPECT_EQ(usb_handle, nullptr);
}

TEST_F(Adapter, ReceiveComesInChunksRefilledOnlyWhenEmpty)
{
    open_scripted_line();
    constexpr uint32_t total = 2 * RX_CHUNK_SIZE + 1234;
    Bytes sent(total);
    for (uint32_t i = 0; i < total; ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 256);
    // In two parts, each within what the line holds on its way; afterwards
    // everything has arrived and waits in the driver.
    const uint32_t first_part = total / 2;
    inject(0, Bytes(sent.begin(), sent.begin() + first_part));
    sim_AdvanceUs(10'000'000);
    inject(0, Bytes(sent.begin() + first_part, sent.end()));
    sim_AdvanceUs(10'000'000);

    const uint32_t reads_before = sim_stats.read_calls;
    Bytes received;
    uint8_t byte = 0;
    for (uint32_t i = 0; i < total; ++i) {
        ASSERT_EQ(usb_GetByte(&byte), 1) << "byte " << i;
        received.push_back(byte);
        // A refill happens at the first byte of each chunk and nowhere else.
        const uint32_t chunks_started = i / RX_CHUNK_SIZE + 1;
        ASSERT_EQ(sim_stats.read_calls - reads_before, chunks_started) << "byte " << i;
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(sim_stats.last_read_sizes[0], 1234u);
    EXPECT_EQ(sim_stats.last_read_sizes[1], RX_CHUNK_SIZE);
    EXPECT_EQ(sim_stats.last_read_sizes[2], RX_CHUNK_SIZE);

    // Empty: one status query, no read.
    const uint32_t status_before = sim_stats.get_status_calls;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(sim_stats.get_status_calls, status_before + 1);
    EXPECT_EQ(sim_stats.read_calls - reads_before, 3u);
}

TEST_F(Adapter, NoAdapterMeansNoByteAndNoDriverCall)
{
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(usb_SetBaudIfOpen(BAUD_FAST), 0);
    EXPECT_EQ(sim_stats.get_status_calls + sim_stats.read_calls, 0u);
    EXPECT_EQ(log_lines_used(), 0);
}

TEST_F(Adapter, FailedReadDeliversNothingAndTheNextCallAsksAgain)
{
    open_scripted_line();
    inject(0, {0x11, 0x22, 0x33});
    sim_AdvanceUs(10'000);
    sim_settings.adapter.fail_read = true;
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(rx_chunk_left, 0u);
    EXPECT_EQ(log_lines_used(), 0);

    sim_settings.adapter.fail_read = false;
    const uint32_t reads_before = sim_stats.read_calls;
    EXPECT_EQ(usb_GetByte(&byte), 1);
    EXPECT_EQ(sim_stats.read_calls, reads_before + 1);
}

TEST_F(Adapter, BaudChangeRefusedIsLoggedAndReported)
{
    ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    EXPECT_EQ(usb_SetBaud(BAUD_FAST), 0);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
    EXPECT_EQ(log_lines_used(), 0);

    sim_settings.adapter.fail_baud_rate = true;
    EXPECT_EQ(usb_SetBaud(BAUD_BASE), 2);
    EXPECT_EQ(usb_SetBaudIfOpen(BAUD_BASE), 0);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
    EXPECT_NE(usb_handle, nullptr);
    ASSERT_EQ(log_lines_used(), 2);
    EXPECT_STREQ(status_log[0], "\r\n FT_SetBaudRate Failed");
    EXPECT_STREQ(status_log[1], "\r\n FT_SetBaudRate Failed");
}

TEST_F(Adapter, PulledAdapterShowsAsFailedCallsUntilReopened)
{
    open_scripted_line();
    sim_PullAdapter();
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(usb_SetBaud(BAUD_FAST), 2);

    EXPECT_EQ(usb_Open(), USB_NOT_OPENED);
    EXPECT_EQ(usb_handle, nullptr);
    sim_PlugAdapter();
    EXPECT_EQ(usb_Open(), USB_OPEN_OK);
}

}  // namespace
