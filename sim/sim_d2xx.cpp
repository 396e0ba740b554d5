// The simulated FT232R as a D2XX implementation: the calls of seams/d2xx.h
// over the adapter side of the simulated line.
//
// Invariants:
//   - There is one adapter and one handle value; the handle is good only
//     while the line is still open from the FT_OpenEx that returned it, so a
//     pulled adapter, a sim_Reset or a close makes it stale for good.
//   - Every call on the handle first plays the line forward to now; no call
//     waits.
//   - A refused setting changes nothing on the line.
#include <cstring>

#include "seams/d2xx.h"
#include "sim/sim.h"
#include "sim/sim_parts.h"

namespace {

constexpr uint32_t BAUD_MIN = 183;  // what an FT232R's divisors can reach
constexpr uint32_t BAUD_MAX = 3000000;
constexpr uint32_t DEVICE_TYPE_232R = 5;
constexpr uint32_t USB_ID_FT232R = 0x04036001;
constexpr const char* SERIAL_NUMBER = "ZSIM0001";

char adapter_token;  // its address is the handle
uint32_t open_generation;
AdapterCause last_cause;

}  // namespace

SimTaps sim_taps;

static FT_STATUS handle_Check(FT_HANDLE handle)
{
    if (handle != &adapter_token) return FT_INVALID_HANDLE;
    if (!sim_AdapterOpen() || open_generation != sim_LineGeneration()) {
        last_cause = CAUSE_GONE;
        return FT_IO_ERROR;
    }
    sim_Advance();
    return FT_OK;
}

static bool device_Attached()
{
    return sim_settings.adapter.present && !sim_AdapterPulled();
}

AdapterCause d2xx_LastCause(const char** detail)
{
    *detail = last_cause == CAUSE_DRIVER_INCOMPLETE ? "FT_GetStatus" : nullptr;
    return last_cause;
}

// A cause that lies in the driver library rather than the adapter.
static bool driver_Cause(AdapterCause cause)
{
    return cause == CAUSE_DRIVER_MISSING || cause == CAUSE_DRIVER_NOT_64_BIT || cause == CAUSE_DRIVER_INCOMPLETE ||
           cause == CAUSE_DRIVER_NOT_LOADED;
}

// Fails the open for cause.
static FT_STATUS open_Fails(AdapterCause cause)
{
    last_cause = cause;
    return cause == CAUSE_NO_ADAPTER ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
}

FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    const AdapterCause failure = sim_settings.adapter.open_failure;
    if (sim_settings.adapter.fail_device_list || driver_Cause(failure)) {
        // fail_device_list: a driver that fails without saying why.
        last_cause = driver_Cause(failure) ? failure : CAUSE_NONE;
        return FT_OTHER_ERROR;
    }
    *lpdwNumDevs = device_Attached() ? 1 : 0;
    return FT_OK;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    if (sim_settings.adapter.fail_device_list) return FT_OTHER_ERROR;
    *lpdwNumDevs = 0;
    if (!device_Attached()) return FT_OK;
    FT_DEVICE_LIST_INFO_NODE& node = pDest[0];
    node = {};
    node.Flags = sim_AdapterOpen() ? 1 : 0;
    node.Type = DEVICE_TYPE_232R;
    node.ID = USB_ID_FT232R;
    node.LocId = 0x11;
    std::strcpy(node.SerialNumber, SERIAL_NUMBER);
    std::memcpy(node.Description, sim_settings.adapter.description, sizeof node.Description);
    node.Description[sizeof node.Description - 1] = '\0';
    *lpdwNumDevs = 1;
    return FT_OK;
}

FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    if (pHandle == nullptr || pArg1 == nullptr) return FT_INVALID_PARAMETER;
    *pHandle = nullptr;
    if (!device_Attached()) return open_Fails(CAUSE_NO_ADAPTER);
    const char* name = static_cast<const char*>(pArg1);
    const SimAdapterSettings& adapter = sim_settings.adapter;
    const bool match = (Flags == FT_OPEN_BY_DESCRIPTION && std::strncmp(name, adapter.description, 64) == 0) ||
                       (Flags == FT_OPEN_BY_SERIAL_NUMBER && std::strcmp(name, SERIAL_NUMBER) == 0);
    if (!match) return open_Fails(CAUSE_NO_ADAPTER);
    if (adapter.open_failure != CAUSE_NONE) return open_Fails(adapter.open_failure);
    if (sim_AdapterOpen()) return open_Fails(CAUSE_HELD);  // by an earlier open
    sim_LineOpen(0);  // at 9600, as an FT232R after an open
    open_generation = sim_LineGeneration();
    last_cause = CAUSE_NONE;
    *pHandle = &adapter_token;
    return FT_OK;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t, uint8_t, uint8_t)
{
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    return sim_settings.adapter.fail_flow_control ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t, uint8_t, uint8_t)
{
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    return sim_settings.adapter.fail_data_characteristics ? FT_IO_ERROR : FT_OK;
}

FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    if (sim_settings.adapter.fail_baud_rate || dwBaudRate < BAUD_MIN || dwBaudRate > BAUD_MAX)
        return FT_INVALID_BAUD_RATE;
    sim_LineSetAdapterBaud(dwBaudRate);
    return FT_OK;
}

FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                       uint32_t* lpdwEventStatus)
{
    ++sim_stats.get_status_calls;
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    if (lpdwAmountInRxQueue != nullptr) *lpdwAmountInRxQueue = sim_LineAvailable();
    if (lpdwAmountInTxQueue != nullptr) *lpdwAmountInTxQueue = 0;
    if (lpdwEventStatus != nullptr) *lpdwEventStatus = 0;
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned)
{
    ++sim_stats.read_calls;
    *lpdwBytesReturned = 0;
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    if (sim_settings.adapter.fail_read) return FT_IO_ERROR;
    const uint32_t n = sim_LineRead(static_cast<uint8_t*>(lpBuffer), dwBytesToRead);
    uint32_t* sizes = sim_stats.last_read_sizes;
    std::memmove(sizes + 1, sizes, sizeof sim_stats.last_read_sizes - sizeof sizes[0]);
    sizes[0] = n;
    *lpdwBytesReturned = n;
    if (sim_taps.read != nullptr && n != 0) sim_taps.read(static_cast<const uint8_t*>(lpBuffer), n);
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite, uint32_t* lpdwBytesWritten)
{
    ++sim_stats.write_calls;
    *lpdwBytesWritten = 0;
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    sim_LineWrite(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite);
    *lpdwBytesWritten = dwBytesToWrite;
    if (sim_taps.written != nullptr) sim_taps.written(static_cast<const uint8_t*>(lpBuffer), dwBytesToWrite);
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE ftHandle)
{
    const FT_STATUS status = handle_Check(ftHandle);
    if (status != FT_OK) return status;
    sim_LineClose();
    return FT_OK;
}
