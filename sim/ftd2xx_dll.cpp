// The simulated logger as a drop-in FTD2XX.dll for Windows: the ten D2XX
// functions that ZorpLoad calls, exported under FTDI's names (ftd2xx.def) with
// the driver's WINAPI convention, over the simulated FT232R (sim_d2xx.cpp) in
// real time. Put beside zorpload.exe, it makes the very program that drives a
// real adapter download from the simulated logger. The logger is set up from
// the environment (sim_SetUpFromEnvironment, sim/sim.h) on the first call.
//
// The seam's functions have C++ names, so the exports get names of their own
// here and the module definition file gives them FTDI's.
#include <windows.h>

#include "seams/d2xx.h"
#include "sim/sim.h"

static void logger_SetUpOnce()
{
    static bool set_up = false;
    if (set_up) return;
    set_up = true;
    sim_SetUpFromEnvironment();
}

extern "C" {

FT_STATUS WINAPI sim_dll_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    logger_SetUpOnce();
    return FT_CreateDeviceInfoList(lpdwNumDevs);
}

FT_STATUS WINAPI sim_dll_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    logger_SetUpOnce();
    return FT_GetDeviceInfoList(pDest, lpdwNumDevs);
}

FT_STATUS WINAPI sim_dll_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    logger_SetUpOnce();
    return FT_OpenEx(pArg1, Flags, pHandle);
}

FT_STATUS WINAPI sim_dll_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t uXon, uint8_t uXoff)
{
    return FT_SetFlowControl(ftHandle, usFlowControl, uXon, uXoff);
}

FT_STATUS WINAPI sim_dll_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits,
                                                uint8_t uParity)
{
    return FT_SetDataCharacteristics(ftHandle, uWordLength, uStopBits, uParity);
}

FT_STATUS WINAPI sim_dll_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    return FT_SetBaudRate(ftHandle, dwBaudRate);
}

FT_STATUS WINAPI sim_dll_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                                   uint32_t* lpdwEventStatus)
{
    return FT_GetStatus(ftHandle, lpdwAmountInRxQueue, lpdwAmountInTxQueue, lpdwEventStatus);
}

FT_STATUS WINAPI sim_dll_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned)
{
    return FT_Read(ftHandle, lpBuffer, dwBytesToRead, lpdwBytesReturned);
}

FT_STATUS WINAPI sim_dll_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite,
                               uint32_t* lpdwBytesWritten)
{
    return FT_Write(ftHandle, lpBuffer, dwBytesToWrite, lpdwBytesWritten);
}

FT_STATUS WINAPI sim_dll_Close(FT_HANDLE ftHandle)
{
    return FT_Close(ftHandle);
}

}  // extern "C"
