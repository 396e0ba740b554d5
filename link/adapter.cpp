// The USB serial adapter: open with the base line settings, hand out received
// bytes from a chunk read in one go, change the baud rate, close; and the
// words that tell the user why the adapter cannot be used.
#include <cstdint>
#include <cstring>

#include "link/gps_link.h"
#include "link/wire_record.h"
#include "seams/d2xx.h"
#include "shell/status_log.h"

FT_HANDLE usb_handle;
uint8_t rx_chunk[RX_CHUNK_SIZE];
uint32_t rx_chunk_left;
uint32_t rx_chunk_pos;

// The driver's device list is fetched but never consulted: the adapter is
// chosen by description. More devices than this and the fetch is skipped, so
// the driver never writes past the array.
constexpr uint32_t DEVICE_LIST_MAX = 32;
static FT_DEVICE_LIST_INFO_NODE device_list[DEVICE_LIST_MAX];

// What the user reads for each cause: what is wrong, then what to do, as
// "<what>[ <detail>]: <remedy>" (the detail is a name the driver gives, such
// as the function a library lacks).
static const struct {
    AdapterCause cause;
    const char* what;
    const char* remedy;
} cause_lines[] = {
    {CAUSE_NO_ADAPTER, "No FT232R adapter is plugged in", "connect the logger's USB cable and try again"},
    {CAUSE_NO_PERMISSION, "No permission to open the adapter",
     "join group dialout or install the package's udev rule, replug it"},
    {CAUSE_HELD, "The adapter is in use by another program", "close that program and try again"},
    {CAUSE_HELD_OR_DRIVER, "The adapter cannot be opened", "close any program using it, or reinstall FTDI's D2XX driver"},
    {CAUSE_OPEN_FAILED, "The adapter was found but failed to open", "unplug it, plug it in again and try again"},
    {CAUSE_GONE, "The USB adapter was unplugged during the download", "plug it in and start again"},
    {CAUSE_DRIVER_MISSING, "FTD2XX.dll not found", "install FTDI's D2XX driver"},
    {CAUSE_DRIVER_NOT_64_BIT, "FTD2XX.dll is not 64-bit", "install FTDI's D2XX driver for 64-bit Windows"},
    {CAUSE_DRIVER_INCOMPLETE, "FTD2XX.dll has no", "install FTDI's D2XX driver again"},
    {CAUSE_DRIVER_NOT_LOADED, "FTD2XX.dll cannot be loaded", "install FTDI's D2XX driver again"},
};

bool adapter_gone_told;

void usb_LogCause()
{
    const char* detail = nullptr;
    const AdapterCause cause = d2xx_LastCause(&detail);
    for (const auto& row : cause_lines)
        if (row.cause == cause)
            log_AddLinef("%s%s%s: %s", row.what, detail != nullptr ? " " : "", detail != nullptr ? detail : "",
                         row.remedy);
}

bool usb_IsCauseLine(const char* text)
{
    const size_t length = std::strlen(text);
    for (const auto& row : cause_lines) {
        const size_t what = std::strlen(row.what), remedy = std::strlen(row.remedy);
        if (length >= what + 2 + remedy && std::strncmp(text, row.what, what) == 0 &&
            std::strncmp(text + length - remedy - 2, ": ", 2) == 0 && std::strcmp(text + length - remedy, row.remedy) == 0)
            return true;
    }
    return false;
}

// After a failed call on the open handle: a driver that says the adapter has
// gone gets its line, once a run.
static void note_CallFailed()
{
    const char* detail = nullptr;
    if (adapter_gone_told || d2xx_LastCause(&detail) != CAUSE_GONE) return;
    adapter_gone_told = true;
    usb_LogCause();
}

int usb_Open()
{
    usb_Close();

    uint32_t device_count = 0;
    if (wire_CreateDeviceInfoList(&device_count) != FT_OK) return USB_NO_DEVICE_LIST;
    if (device_count != 0 && device_count <= DEVICE_LIST_MAX) {
        uint32_t listed = device_count;
        wire_GetDeviceInfoList(device_list, &listed);
    }

    FT_HANDLE handle = nullptr;
    if (wire_OpenByDescription(ADAPTER_DESCRIPTION, &handle) != FT_OK)
        return USB_NOT_OPENED;
    usb_handle = handle;

    // A refused setting is reported but leaves the adapter open: the logger may
    // still be reachable with what the adapter has.
    if (wire_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0) != FT_OK) {
        log_AddLine("FT_SetFlowControl Failed");
        note_CallFailed();
    }
    if (wire_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK) {
        log_AddLine("FT_SetDataCharacteristics Failed");
        note_CallFailed();
    }
    if (wire_SetBaudRate(usb_handle, BAUD_BASE) != FT_OK) {
        log_AddLine("FT_SetBaudRate Failed");
        note_CallFailed();
    }
    return USB_OPEN_OK;
}

// The receive queue's count into waiting: 0 with no adapter open (no driver
// call then) and when the query fails; false when it failed.
static bool query_Queue(uint32_t& waiting)
{
    waiting = 0;
    if (usb_handle == nullptr) return true;
    if (wire_GetStatus(usb_handle, &waiting) == FT_OK) return true;
    waiting = 0;
    return false;
}

uint32_t usb_Queued()
{
    uint32_t waiting;
    query_Queue(waiting);
    return waiting;
}

// Reads what the driver holds, up to one chunk; 0 when nothing came.
static uint32_t refill_chunk()
{
    rx_chunk_pos = 0;
    // A failed status query (a pulled adapter) counts as an empty queue.
    uint32_t waiting;
    if (!query_Queue(waiting)) note_CallFailed();
    if (waiting == 0) return 0;
    if (waiting > RX_CHUNK_SIZE) waiting = RX_CHUNK_SIZE;

    uint32_t received = 0;
    if (wire_Read(usb_handle, rx_chunk, waiting, &received) != FT_OK) {
        note_CallFailed();
        return 0;
    }
    // Never trust a count beyond what was asked for: it would hand out bytes
    // from past the chunk.
    return received < waiting ? received : waiting;
}

int usb_GetByte(uint8_t* byte)
{
    if (rx_chunk_left == 0) {
        rx_chunk_left = refill_chunk();
        if (rx_chunk_left == 0) return 0;
    }
    *byte = rx_chunk[rx_chunk_pos++];
    --rx_chunk_left;
    return 1;
}

int usb_SetBaud(uint32_t baud)
{
    if (wire_SetBaudRate(usb_handle, baud) == FT_OK) return USB_BAUD_SET;
    log_AddLine("\r\n FT_SetBaudRate Failed");
    note_CallFailed();
    return USB_BAUD_REFUSED;
}

int usb_SetBaudIfOpen(uint32_t baud)
{
    if (usb_handle != nullptr) usb_SetBaud(baud);
    return 0;
}

void usb_Close()
{
    if (usb_handle != nullptr) wire_Close(usb_handle);
    usb_handle = nullptr;
}
