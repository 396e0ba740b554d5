// The D2XX seam over Qt Serial Port: what this implementation offers beyond
// seams/d2xx.h, for the platform layer and the tests.
//
// Open ports live in a small fixed table; a handle is a slot's index + 1, so
// null and anything never issued are rejected with FT_INVALID_HANDLE. A port
// that hangs up or reports an I/O error (a pulled adapter) is marked failed:
// every later call on its handle returns FT_IO_ERROR, without waiting, until
// FT_Close releases the slot. Nothing here needs a running event loop or a
// QCoreApplication; with one, bytes that Qt read ahead between calls are
// still handed out first and counted.
#pragma once

#include "seams/d2xx.h"

// Whether reported, a USB description as Qt gives it (Latin-1), names the
// wanted device. On Linux Qt takes udev's model string, in which udev trimmed
// the blanks at both ends and turned each run of blanks into one '_', and
// shows every '_' as a blank; so blanks and '_' count alike, a run of them
// counts as one and those at either end are ignored. Otherwise the strings
// must be equal, letter case included. An empty description matches nothing,
// so a port that udev knows nothing about is never taken.
bool qtserial_DescriptionMatches(const char* wanted, const char* reported);

// Where Qt knows no USB description for a port (a system without udev, as
// in some containers and minimal installs), the adapter is recognised by
// what the kernel shows in sysfs: the USB device behind
// <sysfs root>/class/tty/<port>/device. This reads that device's vendor id
// and product string ("FT232R USB UART") into *vendor_id and product (size
// bytes, NUL-terminated, cut to fit); false when the port is no USB device.
bool qtserial_SysfsUsbDevice(const char* port_name, uint16_t* vendor_id, char* product, uint32_t size);

// The sysfs root, "/sys" until set; for tests.
void qtserial_SetSysfsRoot(const char* root);

// Makes FT_OpenEx open the serial device at path, whatever its description,
// instead of searching for the description (for adapters that describe
// themselves otherwise); null or empty: search again.
void qtserial_UsePort(const char* path);

// Opens the serial device at path for exclusive use, as FT_OpenEx does for
// the adapter it finds: for pseudo-terminals in tests, which carry no USB
// description. FT_OK and *handle, FT_DEVICE_NOT_OPENED when the device
// cannot be opened or is held, FT_INSUFFICIENT_RESOURCES when the table is
// full.
FT_STATUS qtserial_OpenByPath(const char* path, FT_HANDLE* handle);
