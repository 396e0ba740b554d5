// The D2XX seam on Windows: FTDI's own driver library, FTD2XX.dll, loaded at
// run time, so the program builds without FTDI's files and starts on a PC
// without the driver. Until the library and all ten functions are found,
// every call fails: FT_CreateDeviceInfoList with FT_OTHER_ERROR (the user
// sees "USB adapter Error! (rv=101)"), the others with FT_INVALID_HANDLE. A
// failed load is tried again on the next device list, so a Retry after
// installing the driver works.
//
// d2xx_LastCause reads the driver's statuses: FT_OpenEx's FT_DEVICE_NOT_FOUND
// is no adapter plugged in, its FT_DEVICE_NOT_OPENED an adapter held by
// another program or a driver that is not working (D2XX does not tell the
// two apart); FT_IO_ERROR or FT_DEVICE_NOT_FOUND from a call on an open
// handle is an adapter pulled out.
//
// seams/d2xx.h is the interface we call, in FTDI's names and argument order.
// Its fixed-width types stand for the driver's Windows types (DWORD and ULONG
// are 32 bits, FT_HANDLE is a pointer) and its device-list node must have the
// driver's layout; the static_asserts below hold the seam to that ABI, so a
// change to the seam that would break the calls into the real driver does not
// build.
//
// Blocking: FT_Read of the real driver does not return before it has all the
// bytes it was asked for, unless FT_SetTimeouts set a read time-out (there
// is none by default, and the program sets none). The core asks only for the
// count that FT_GetStatus has just reported as waiting (link/adapter.cpp), and
// that count can only grow until the read, so the read never waits.
#include <cstddef>
#include <type_traits>

#include <windows.h>

#include "seams/d2xx.h"

// ------------------------------------------------------------- ABI checks --

static_assert(sizeof(FT_STATUS) == sizeof(ULONG) && std::is_unsigned_v<FT_STATUS>, "FT_STATUS is a ULONG");
static_assert(sizeof(uint32_t) == sizeof(DWORD) && alignof(uint32_t) == alignof(DWORD),
              "counts, flags and baud rates are DWORD/ULONG");
static_assert(sizeof(uint16_t) == sizeof(USHORT) && sizeof(uint8_t) == sizeof(UCHAR), "USHORT and UCHAR");
static_assert(sizeof(FT_HANDLE) == sizeof(PVOID), "FT_HANDLE is a pointer");
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Flags) == 0);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Type) == 4);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ID) == 8);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, LocId) == 12);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96);
// 100 bytes in a 32-bit program, 104 in a 64-bit one.
static_assert(sizeof(FT_DEVICE_LIST_INFO_NODE) == 96 + sizeof(PVOID));
static_assert(FT_OK == 0 && FT_OPEN_BY_DESCRIPTION == 2);

// The driver's exports: WINAPI (stdcall on 32-bit x86; the one convention on
// x86-64), with C names.
namespace {

using CreateDeviceInfoList = FT_STATUS(WINAPI*)(uint32_t*);
using GetDeviceInfoList = FT_STATUS(WINAPI*)(FT_DEVICE_LIST_INFO_NODE*, uint32_t*);
using OpenEx = FT_STATUS(WINAPI*)(void*, uint32_t, FT_HANDLE*);
using SetFlowControl = FT_STATUS(WINAPI*)(FT_HANDLE, uint16_t, uint8_t, uint8_t);
using SetDataCharacteristics = FT_STATUS(WINAPI*)(FT_HANDLE, uint8_t, uint8_t, uint8_t);
using SetBaudRate = FT_STATUS(WINAPI*)(FT_HANDLE, uint32_t);
using GetStatus = FT_STATUS(WINAPI*)(FT_HANDLE, uint32_t*, uint32_t*, uint32_t*);
using Transfer = FT_STATUS(WINAPI*)(FT_HANDLE, void*, uint32_t, uint32_t*);
using Close = FT_STATUS(WINAPI*)(FT_HANDLE);

struct Driver {
    CreateDeviceInfoList create_device_info_list;
    GetDeviceInfoList get_device_info_list;
    OpenEx open_ex;
    SetFlowControl set_flow_control;
    SetDataCharacteristics set_data_characteristics;
    SetBaudRate set_baud_rate;
    GetStatus get_status;
    Transfer read;
    Transfer write;
    Close close;
};

Driver driver;
bool driver_loaded;
AdapterCause last_cause;

// A call on an open handle: a status that says the device has gone is noted.
FT_STATUS on_Handle(FT_STATUS status)
{
    if (status == FT_IO_ERROR || status == FT_DEVICE_NOT_FOUND) last_cause = CAUSE_GONE;
    return status;
}

template <typename Function>
bool find_Export(HMODULE library, const char* name, Function* out)
{
    FARPROC address = GetProcAddress(library, name);
    // FARPROC is the generic function pointer type GetProcAddress returns.
    *out = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    return address != nullptr;
}

// Loads the library and every function, or nothing: a library without one
// of them is not the driver.
bool driver_Load()
{
    if (driver_loaded) return true;
    HMODULE library = LoadLibraryA("FTD2XX.dll");
    if (library == nullptr) return false;
    Driver found {};
    const bool complete = find_Export(library, "FT_CreateDeviceInfoList", &found.create_device_info_list) &&
                          find_Export(library, "FT_GetDeviceInfoList", &found.get_device_info_list) &&
                          find_Export(library, "FT_OpenEx", &found.open_ex) &&
                          find_Export(library, "FT_SetFlowControl", &found.set_flow_control) &&
                          find_Export(library, "FT_SetDataCharacteristics", &found.set_data_characteristics) &&
                          find_Export(library, "FT_SetBaudRate", &found.set_baud_rate) &&
                          find_Export(library, "FT_GetStatus", &found.get_status) &&
                          find_Export(library, "FT_Read", &found.read) &&
                          find_Export(library, "FT_Write", &found.write) &&
                          find_Export(library, "FT_Close", &found.close);
    if (!complete) {
        FreeLibrary(library);
        return false;
    }
    driver = found;
    driver_loaded = true;
    return true;
}

}  // namespace

AdapterCause d2xx_LastCause()
{
    return last_cause;
}

FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    last_cause = CAUSE_NONE;
    if (!driver_Load()) return FT_OTHER_ERROR;
    return driver.create_device_info_list(lpdwNumDevs);
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    if (!driver_loaded) return FT_OTHER_ERROR;
    return driver.get_device_info_list(pDest, lpdwNumDevs);
}

FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    if (!driver_loaded) return FT_DEVICE_NOT_FOUND;
    const FT_STATUS status = driver.open_ex(pArg1, Flags, pHandle);
    last_cause = status == FT_OK                 ? CAUSE_NONE
                 : status == FT_DEVICE_NOT_FOUND  ? CAUSE_NO_ADAPTER
                 : status == FT_DEVICE_NOT_OPENED ? CAUSE_HELD_OR_DRIVER
                                                  : CAUSE_OPEN_FAILED;
    return status;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t uXon, uint8_t uXoff)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.set_flow_control(ftHandle, usFlowControl, uXon, uXoff));
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits, uint8_t uParity)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.set_data_characteristics(ftHandle, uWordLength, uStopBits, uParity));
}

FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.set_baud_rate(ftHandle, dwBaudRate));
}

FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                       uint32_t* lpdwEventStatus)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.get_status(ftHandle, lpdwAmountInRxQueue, lpdwAmountInTxQueue, lpdwEventStatus));
}

FT_STATUS FT_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.read(ftHandle, lpBuffer, dwBytesToRead, lpdwBytesReturned));
}

FT_STATUS FT_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite, uint32_t* lpdwBytesWritten)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return on_Handle(driver.write(ftHandle, lpBuffer, dwBytesToWrite, lpdwBytesWritten));
}

FT_STATUS FT_Close(FT_HANDLE ftHandle)
{
    if (!driver_loaded) return FT_INVALID_HANDLE;
    return driver.close(ftHandle);
}
