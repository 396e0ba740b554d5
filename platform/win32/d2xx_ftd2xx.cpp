// The D2XX seam on Windows: FTDI's own driver library, FTD2XX.dll, loaded at
// run time, so the program builds without FTDI's files and starts on a PC
// without the driver. Until the library and all ten functions are found,
// every call fails: FT_CreateDeviceInfoList with FT_OTHER_ERROR (the user
// sees "USB adapter Error! (rv=101)", and d2xx_LastCause says why), the
// others with FT_INVALID_HANDLE. A failed load is tried again on the next
// device list, so a Retry after installing the driver works.
//
// The library is looked for in the program's own folder (a copy beside the
// program, as the simulated logger's) and the system folder (where FTDI's
// installer puts it), never in the current folder or the PATH: a downloads
// folder or a USB stick holding some other FTD2XX.dll must not run its code
// in this program.
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
#include <cstring>
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

// The function a library without all of them lacks (CAUSE_DRIVER_INCOMPLETE).
const char* missing_export;

template <typename Function>
bool find_Export(HMODULE library, const char* name, Function* out)
{
    FARPROC address = GetProcAddress(library, name);
    // FARPROC is the generic function pointer type GetProcAddress returns.
    *out = reinterpret_cast<Function>(reinterpret_cast<void*>(address));
    if (address == nullptr) missing_export = name;
    return address != nullptr;
}

constexpr char LIBRARY_NAME[] = "FTD2XX.dll";

// folder\FTD2XX.dll into path; false when it does not fit.
bool library_Path(const char* folder, size_t folder_length, char (&path)[MAX_PATH])
{
    if (folder_length == 0 || folder_length + 1 + sizeof LIBRARY_NAME > sizeof path) return false;
    memcpy(path, folder, folder_length);
    path[folder_length] = '\\';
    memcpy(path + folder_length + 1, LIBRARY_NAME, sizeof LIBRARY_NAME);
    return true;
}

// The driver's full path in the program's folder (which == 0) or the system
// folder (which == 1); false when that folder is unknown.
bool candidate_Path(int which, char (&path)[MAX_PATH])
{
    char folder[MAX_PATH];
    if (which == 1) {
        const UINT length = GetSystemDirectoryA(folder, sizeof folder);
        return length < sizeof folder && library_Path(folder, length, path);
    }
    const DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return false;
    const char* separator = strrchr(folder, '\\');
    return separator != nullptr && library_Path(folder, static_cast<size_t>(separator - folder), path);
}

bool file_Exists(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Windows 7 without update KB2533623 knows neither the search flags nor
// SetDefaultDllDirectories; the one tells of the other.
bool search_FlagsKnown()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr && GetProcAddress(kernel, "SetDefaultDllDirectories") != nullptr;
}

HMODULE library_Load()
{
    if (search_FlagsKnown())
        return LoadLibraryExA(LIBRARY_NAME, nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Without the flags: the two folders by full path, in the same order.
    char path[MAX_PATH];
    for (int which = 0; which < 2; ++which) {
        if (!candidate_Path(which, path) || !file_Exists(path)) continue;
        return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// The processor a library file is built for, from its PE header; 0 when the
// file cannot be read as one.
WORD library_Machine(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    unsigned char header[1024];
    DWORD got = 0;
    const bool read = ReadFile(file, header, sizeof header, &got, nullptr) != 0;
    CloseHandle(file);
    if (!read || got < 0x40 || header[0] != 'M' || header[1] != 'Z') return 0;
    uint32_t pe = 0;
    memcpy(&pe, header + 0x3C, sizeof pe);
    if (pe > got - 6 || memcmp(header + pe, "PE\0\0", 4) != 0) return 0;
    WORD machine = 0;
    memcpy(&machine, header + pe + 4, sizeof machine);
    return machine;
}

// Why no library was loaded: the first of the two folders that holds a file
// of that name decides (Windows may pass over a library built for another
// processor and report none found).
AdapterCause failure_Cause(DWORD error)
{
    char path[MAX_PATH];
    for (int which = 0; which < 2; ++which) {
        if (!candidate_Path(which, path) || !file_Exists(path)) continue;
        const WORD machine = library_Machine(path);
        if (machine != 0 && machine != IMAGE_FILE_MACHINE_AMD64) return CAUSE_DRIVER_NOT_64_BIT;
        return CAUSE_DRIVER_NOT_LOADED;
    }
    return error == ERROR_BAD_EXE_FORMAT ? CAUSE_DRIVER_NOT_64_BIT : CAUSE_DRIVER_MISSING;
}

// Loads the library and every function, or nothing: a library without one
// of them is not the driver. A failure sets last_cause.
bool driver_Load()
{
    if (driver_loaded) return true;
    missing_export = nullptr;
    HMODULE library = library_Load();
    if (library == nullptr) {
        last_cause = failure_Cause(GetLastError());
        return false;
    }
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
        last_cause = CAUSE_DRIVER_INCOMPLETE;
        return false;
    }
    driver = found;
    driver_loaded = true;
    return true;
}

}  // namespace

AdapterCause d2xx_LastCause(const char** detail)
{
    *detail = last_cause == CAUSE_DRIVER_INCOMPLETE ? missing_export : nullptr;
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
