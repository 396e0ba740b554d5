// The USB serial adapter against the simulated FT232R: open and its refused
// settings, the chunked receive path, baud changes, close, a pulled adapter.
#include "tests/link/link_fixture.h"

namespace {

using Adapter = LinkTest;

TEST_F(Adapter, OpenGivesTheBaseLineOrAResultAndLogsOnlyRefusedSettings)
{
    const struct {
        const char* what;
        void (*arrange)();
        int expected;
        Lines lines;
    } rows[] = {
        {"plugged in", [] {}, USB_OPEN_OK, {}},
        {"device list fails", [] { sim_settings.adapter.fail_device_list = true; }, USB_NO_DEVICE_LIST, {}},
        {"no FTDI device", [] { sim_settings.adapter.present = false; }, USB_NOT_OPENED, {}},
        {"other description", [] { strcpy(sim_settings.adapter.description, "FT232R USB UART B"); }, USB_NOT_OPENED,
         {}},
        {"every setting refused",
         [] {
             sim_settings.adapter.fail_flow_control = true;
             sim_settings.adapter.fail_data_characteristics = true;
             sim_settings.adapter.fail_baud_rate = true;
         },
         USB_OPEN_OK, {"FT_SetFlowControl Failed", "FT_SetDataCharacteristics Failed", "FT_SetBaudRate Failed"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fresh_line();
        row.arrange();
        EXPECT_EQ(usb_Open(), row.expected);
        EXPECT_EQ(usb_handle != nullptr, row.expected == USB_OPEN_OK);
        EXPECT_EQ(sim_AdapterOpen(), row.expected == USB_OPEN_OK);
        EXPECT_EQ(log_Lines(), row.lines);
    }
    fresh_line();
    open_adapter();
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
}

TEST_F(Adapter, ReceiveComesInChunksRefilledOnlyWhenEmptyAndAfterAFailedRead)
{
    open_scripted_line();
    uint8_t byte = 0;
    constexpr uint32_t total = 2 * RX_CHUNK_SIZE + 1234;
    Bytes sent(total);
    for (uint32_t i = 0; i < total; ++i) sent[i] = static_cast<uint8_t>(i * 7 + i / 256);
    // In two parts, each within what the line holds on its way.
    inject(0, Bytes(sent.begin(), sent.begin() + total / 2));
    sim_AdvanceUs(10'000'000);
    inject(0, Bytes(sent.begin() + total / 2, sent.end()));
    sim_AdvanceUs(10'000'000);
    sim_settings.adapter.fail_read = true;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(rx_chunk_left, 0u);
    EXPECT_TRUE(log_Lines().empty());
    sim_settings.adapter.fail_read = false;

    const uint32_t reads_before = sim_stats.read_calls;
    Bytes received(total);
    for (uint32_t i = 0; i < total; ++i) {
        ASSERT_EQ(usb_GetByte(&received[i]), 1) << "byte " << i;
        ASSERT_EQ(sim_stats.read_calls - reads_before, i / RX_CHUNK_SIZE + 1) << "refilled at byte " << i;
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(sim_stats.last_read_sizes[0], 1234u);
    EXPECT_EQ(sim_stats.last_read_sizes[1], RX_CHUNK_SIZE);
    EXPECT_EQ(sim_stats.last_read_sizes[2], RX_CHUNK_SIZE);

    const uint32_t status_before = sim_stats.get_status_calls;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(sim_stats.get_status_calls, status_before + 1);
    EXPECT_EQ(sim_stats.read_calls - reads_before, 3u) << "nothing waiting: no read";
}

TEST_F(Adapter, RefusedBaudChangeIsLoggedAndReopenRestoresTheBaseLineUntilPulled)
{
    open_adapter();
    EXPECT_EQ(usb_SetBaud(BAUD_FAST), 0);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
    sim_settings.adapter.fail_baud_rate = true;
    EXPECT_EQ(usb_SetBaud(BAUD_BASE), 2);
    EXPECT_EQ(usb_SetBaudIfOpen(BAUD_BASE), 0);
    EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
    EXPECT_EQ(log_Lines(), Lines(2, "\r\n FT_SetBaudRate Failed"));

    sim_settings.adapter.fail_baud_rate = false;
    EXPECT_EQ(usb_Open(), USB_OPEN_OK) << "the device is not still held";
    EXPECT_EQ(sim_AdapterBaud(), BAUD_BASE);
    sim_PullAdapter();
    uint8_t byte = 0;
    EXPECT_EQ(usb_GetByte(&byte), 0);
    EXPECT_EQ(usb_Open(), USB_NOT_OPENED);
    EXPECT_EQ(usb_handle, nullptr);
    sim_PlugAdapter();
    EXPECT_EQ(usb_Open(), USB_OPEN_OK);
    for (int twice = 0; twice < 2; ++twice) {
        usb_Close();
        EXPECT_EQ(usb_handle, nullptr);
        EXPECT_FALSE(sim_AdapterOpen());
    }
}

}  // namespace
