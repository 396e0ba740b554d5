// Wire trace: the core's one door to the D2XX driver, and the recorder behind
// it that writes every call which moves bytes or changes the line into a
// plain text file a user can attach to a problem report.
//
// Every D2XX call of the core goes through a wire_ function, which calls the
// driver (whichever implementation is linked) and, while a trace runs, notes
// the call as one line in a fixed memory buffer:
//
//     <seconds since the start, to the microsecond> <event> [fail <status>] <values>
//
//   N <count>            device list built          I <vid:pid> <description>  one listed device
//   O <description>      open by description        C                          close
//   F <mode> <xon> <xoff> flow control              D <bits> <stop> <parity>   data characteristics
//   B <baud>             baud rate                  W <hex bytes>              write, the bytes sent
//   S <count> [x<n>]     status: bytes waiting; n polls in a row that found the same empty (or
//                        failing) answer share one line, stamped with the first
//   R <hex bytes>        read, the bytes it returned
// A failed call carries "fail" and the driver's status right after its
// letter; lines starting with '#' are notes (program version, size limit).
//
// Invariants:
//   - Recording never changes what the core does: a wire_ call returns what
//     the driver returned, and no recorder failure reaches the caller.
//   - The buffer goes to the file only from wirerec_Flush (the shell calls it
//     between ticks, outside every exchange), or in the middle of a tick when
//     the buffer cannot take the next line.
//   - The file never grows beyond the limit given to wirerec_Start; once the
//     next line would pass it, a last note says so and recording stops.
//   - A file that cannot be created or written stops the recording, never
//     the program.
//   - Writing never waits: a file that would make the program wait (a pipe,
//     FIFO or device whose reader has stalled) stops the recording as well,
//     and a closing note goes to it as soon as it takes one.
// The recorder's names start wirerec_ (wire recording): in the download,
// "trace" names a track's items. Nothing is allocated; not thread-safe (the
// core's one thread).
#pragma once

#include <cstdint>

#include "seams/d2xx.h"

// ---------------------------------------------------------- driver calls --

FT_STATUS wire_CreateDeviceInfoList(uint32_t* device_count);
FT_STATUS wire_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, uint32_t* listed);
FT_STATUS wire_OpenByDescription(const char* description, FT_HANDLE* handle);
FT_STATUS wire_SetFlowControl(FT_HANDLE handle, uint16_t mode, uint8_t xon, uint8_t xoff);
FT_STATUS wire_SetDataCharacteristics(FT_HANDLE handle, uint8_t bits, uint8_t stop_bits, uint8_t parity);
FT_STATUS wire_SetBaudRate(FT_HANDLE handle, uint32_t baud);
// The receive-queue count only; the other two values are never used.
FT_STATUS wire_GetStatus(FT_HANDLE handle, uint32_t* rx_waiting);
FT_STATUS wire_Read(FT_HANDLE handle, uint8_t* buffer, uint32_t count, uint32_t* received);
FT_STATUS wire_Write(FT_HANDLE handle, const uint8_t* bytes, uint32_t count, uint32_t* written);
FT_STATUS wire_Close(FT_HANDLE handle);

// -------------------------------------------------------------- recorder --

// The largest trace file the program writes: 64 MiB.
constexpr uint32_t WIREREC_SIZE_LIMIT = 64u << 20;

// Starts recording into a new file at path (an existing one is emptied),
// with times counted from now and at most size_limit bytes in all; a running
// trace is stopped first. 0, or -1 when the file cannot be created (nothing
// is recorded then).
int wirerec_Start(const char* path, uint32_t size_limit);

// Why a trace ended before the program did, as wirerec_Flush reports it.
enum WirerecCut : int {
    WIREREC_RUNNING = 0,           // nothing to report
    WIREREC_CUT_WRITE_FAILED = 1,  // the file could not be written (disk full, I/O error)
    WIREREC_CUT_NOT_READ = 2,      // the file's reader took no more bytes without a wait
};

// Writes what the buffer holds to the file, never waiting on it. A WirerecCut:
// WIREREC_RUNNING, or once, on the call that first finds the trace cut short,
// why (the recording has stopped then).
int wirerec_Flush();

// Writes the rest and closes the file; nothing is recorded afterwards.
void wirerec_Stop();

// 1 while calls are being recorded.
int wirerec_Recording();

// The path given to the last wirerec_Start.
const char* wirerec_Path();
