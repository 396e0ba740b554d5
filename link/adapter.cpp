// The USB serial adapter: open with the base line settings, hand out received
// bytes from a chunk read in one go, change the baud rate, close.
#include <cstdint>

#include "link/gps_link.h"
#include "link/wire_trace.h"
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
    if (wire_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0) != FT_OK) log_AddLine("FT_SetFlowControl Failed");
    if (wire_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK)
        log_AddLine("FT_SetDataCharacteristics Failed");
    if (wire_SetBaudRate(usb_handle, BAUD_BASE) != FT_OK) log_AddLine("FT_SetBaudRate Failed");
    return USB_OPEN_OK;
}

void usb_LogDriverState()
{
    const char* missing = nullptr;
    switch (d2xx_LoadState(&missing)) {
    case D2XX_READY:
        return;
    case D2XX_NOT_FOUND:
        log_AddLine("FTD2XX.dll not found: install FTDI's D2XX driver");
        return;
    case D2XX_NOT_64_BIT:
        log_AddLine("FTD2XX.dll is not 64-bit: install FTDI's D2XX driver for 64-bit Windows");
        return;
    case D2XX_INCOMPLETE:
        log_AddLinef("FTD2XX.dll has no %s: install FTDI's D2XX driver again", missing);
        return;
    case D2XX_NOT_LOADED:
        log_AddLine("FTD2XX.dll cannot be loaded: install FTDI's D2XX driver again");
        return;
    }
}

uint32_t usb_Queued()
{
    if (usb_handle == nullptr) return 0;
    // A failed status query (a pulled adapter) counts as an empty queue.
    uint32_t waiting = 0;
    if (wire_GetStatus(usb_handle, &waiting) != FT_OK) return 0;
    return waiting;
}

// Reads what the driver holds, up to one chunk; 0 when nothing came.
static uint32_t refill_chunk()
{
    rx_chunk_pos = 0;
    uint32_t waiting = usb_Queued();
    if (waiting == 0) return 0;
    if (waiting > RX_CHUNK_SIZE) waiting = RX_CHUNK_SIZE;

    uint32_t received = 0;
    if (wire_Read(usb_handle, rx_chunk, waiting, &received) != FT_OK) return 0;
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
