// The D2XX seam over the kernel's tty driver (termios), for Linux: what this
// implementation offers beyond seams/d2xx.h, for the front ends and the
// tests.
//
// The adapter is found in sysfs: every tty whose USB device carries FTDI's
// vendor id counts in the device list, and FT_OpenEx takes the first (by
// name) that is an FT232R (USB id 0403:6001) with exactly the product string
// asked for. The port is ours alone once open: an flock on its descriptor
// and the kernel's exclusive mode (TIOCEXCL), as serial programs on Linux
// take them. It runs raw (no echo, no line editing, no flow control) and
// asks the driver for low latency, which ftdi_sio turns into a 1 ms latency
// timer.
//
// Open ports live in a small fixed table; a handle is a slot's index + 1, so
// null and anything never issued are rejected with FT_INVALID_HANDLE. A port
// that hangs up or reports an I/O error (a pulled adapter) is marked failed:
// every later call on its handle returns FT_IO_ERROR, without waiting, until
// FT_Close releases the slot.
//
// d2xx_LastCause tells why an open failed, from the errno of the open or
// of taking the device: CAUSE_NO_ADAPTER (no FT232R found, or the device
// named does not exist), CAUSE_NO_PERMISSION (EACCES, EPERM), CAUSE_HELD
// (another program's flock or TIOCEXCL), CAUSE_OPEN_FAILED (anything else:
// no tty, an I/O error, a full table); CAUSE_GONE once a port is marked
// failed.
#pragma once

#include <cstdint>

#include "seams/d2xx.h"


// Makes FT_OpenEx open the serial device at path, whatever it is, instead of
// searching for the description (for adapters that describe themselves
// otherwise); null or empty: search again.
void tty_UsePort(const char* path);

// Opens the serial device at path as FT_OpenEx opens the adapter it finds:
// for pseudo-terminals in tests, which have no USB device. FT_OK and
// *handle; FT_DEVICE_NOT_OPENED when the device cannot be opened or is held
// (d2xx_LastCause says why); FT_INSUFFICIENT_RESOURCES when the table
// is full.
FT_STATUS tty_OpenByPath(const char* path, FT_HANDLE* handle);

// Where the kernel's device tree and the device files are looked for:
// "/sys" and "/dev" until set; for tests.
void tty_SetRoots(const char* sysfs, const char* dev);
