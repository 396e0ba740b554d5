// D2XX driver seam: the part of FTDI's D2XX C API that ZorpLoad calls, under
// D2XX's own names, argument order and status codes.
//
// The core reaches the USB serial adapter only through these functions. Each
// platform links exactly one implementation:
//   - platform/posix_tty: the kernel's tty driver, found in sysfs (zorpload,
//                   zorpload-cli)
//   - platform/win32: FTDI's own FTD2XX.dll, loaded at run time (zorpload.exe)
//   - sim/:         a simulated FT232R with a simulated logger on its line
//                   (tests, benchmarks, zorpload-demo, and on Windows a
//                   drop-in FTD2XX.dll)
//
// On Windows these declarations are the driver's ABI: uint32_t stands for its
// DWORD and ULONG, FT_HANDLE is pointer-sized, and FT_DEVICE_LIST_INFO_NODE
// has the driver's layout (platform/win32 checks all of it at compile time).
//
// Results: every call returns an FT_STATUS; FT_OK (0) is success and anything
// else is a failure that leaves the out-parameters unspecified. FT_GetStatus
// reports what has already arrived; FTDI's FT_Read waits until it has all the
// bytes asked for (no read time-out is set), so callers ask only for what
// FT_GetStatus reported, and then no call waits for data. FT_Write is bounded
// in time, so a pulled adapter shows up as failed calls, never as a hang.
#pragma once

#include <cstdint>

using FT_HANDLE = void*;
using FT_STATUS = uint32_t;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_OTHER_ERROR = 18,
};

// FT_OpenEx flags: what its first argument names.
enum : uint32_t {
    FT_OPEN_BY_SERIAL_NUMBER = 1,
    FT_OPEN_BY_DESCRIPTION = 2,
    FT_OPEN_BY_LOCATION = 4,
};

enum : uint16_t { FT_FLOW_NONE = 0x0000 };
enum : uint8_t { FT_BITS_8 = 8, FT_STOP_BITS_1 = 0, FT_PARITY_NONE = 0 };

// One entry of the device information list.
struct FT_DEVICE_LIST_INFO_NODE {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;  // USB vendor id in the high 16 bits, product id in the low 16
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// Builds the driver's list of attached FTDI devices and stores their number
// in *lpdwNumDevs.
FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs);

// Copies the list built by the last FT_CreateDeviceInfoList into pDest, which
// holds at least as many entries as that call counted; *lpdwNumDevs receives
// the number of entries written.
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs);

// Opens the device that pArg1 names (with FT_OPEN_BY_DESCRIPTION: a
// NUL-terminated USB description that must match exactly) for exclusive use.
FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle);

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t uXon, uint8_t uXoff);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits,
                                    uint8_t uParity);
FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate);

// Receive-queue count: bytes received and waiting to be read. The transmit
// count and event status are reported as 0 where the platform does not know.
FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                       uint32_t* lpdwEventStatus);

// Reads dwBytesToRead bytes; ask only for what FT_GetStatus reported waiting,
// or the driver waits for the rest.
FT_STATUS FT_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned);

FT_STATUS FT_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite, uint32_t* lpdwBytesWritten);

FT_STATUS FT_Close(FT_HANDLE ftHandle);

// ------------------------------------------------------ beyond FTDI's API --

// Why the adapter cannot be used, as far as the implementation can tell: an
// FT_STATUS alone does not tell a missing adapter from one the user may not
// open. The core turns a cause into the line that tells the user what to do.
enum AdapterCause : uint8_t {
    CAUSE_NONE,            // no failure known: the last open worked, or the driver failed without saying why
    CAUSE_NO_ADAPTER,      // no FT232R is plugged in (or the port named does not exist)
    CAUSE_NO_PERMISSION,   // the adapter is there, but this user may not open it (a tty's owner and mode)
    CAUSE_HELD,            // the adapter is there, but another program holds it
    CAUSE_HELD_OR_DRIVER,  // the adapter is there, but the driver would not open it: another program
                           // holds it, or the driver itself is not working
    CAUSE_OPEN_FAILED,     // the adapter is there, but it failed otherwise
    CAUSE_GONE,            // the open adapter went away (pulled out): every call on its handle fails
    // A driver loaded at run time (FTD2XX.dll on Windows) that cannot be used:
    // FT_CreateDeviceInfoList fails.
    CAUSE_DRIVER_MISSING,     // no library in the folders searched
    CAUSE_DRIVER_NOT_64_BIT,  // a library built for another processor (a 32-bit FTD2XX.dll)
    CAUSE_DRIVER_INCOMPLETE,  // a library without one of the functions (the detail names it)
    CAUSE_DRIVER_NOT_LOADED,  // a library there that the system would not load (a DLL it needs is missing)
};

// The cause of the last failed FT_OpenEx or FT_CreateDeviceInfoList, or
// CAUSE_GONE once a call on an open handle has found the adapter gone. A
// successful open makes it CAUSE_NONE; a setting the driver merely refuses
// leaves it as it is. *detail is a name the user's line quotes (the function
// a CAUSE_DRIVER_INCOMPLETE library lacks), else null.
AdapterCause d2xx_LastCause(const char** detail);
