// The D2XX seam over the kernel's tty driver on Linux (see d2xx_tty.h).
//
// The descriptor is non-blocking and the line returns from a read at once
// (VMIN 0, VTIME 0), so a read takes what has arrived and a write that finds
// the kernel's buffer full waits for room only up to a deadline. The line is
// set through termios2, which takes any bit rate (250000 has no B constant).
//
// Sections: port table and failure, finding the adapter in sysfs, open,
// line settings, I/O.

#include "platform/posix_tty/d2xx_tty.h"

#include <asm/termbits.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint16_t FTDI_VENDOR_ID = 0x0403;
constexpr uint16_t FT232R_PRODUCT_ID = 0x6001;
constexpr int PORTS_MAX = 4;

// The most FTDI ports a device list holds; a machine with more lists these.
constexpr uint32_t LISTED_MAX = 16;

// What a write may take beyond its bytes' time on the line: the kernel and
// the USB round trip.
constexpr int WRITE_MARGIN_MS = 100;

struct Port {
    bool taken;     // false: the slot is free
    bool failed;    // hung up or broke; calls fail until FT_Close
    int fd;         // -1 once failed
    uint32_t baud;  // the line's rate, which bounds a write's time
};

// A tty behind an FTDI USB device, as sysfs shows it.
struct UsbTty {
    char name[32];  // in class/tty and under the device folder: "ttyUSB0"
    uint16_t vendor;
    uint16_t product;
    char description[64];  // the USB product string
    char serial[16];
};

}  // namespace

static Port ports[PORTS_MAX];
static AdapterCause last_cause = CAUSE_NONE;

// The device the user named in place of the search; empty: search.
static char named_port[PATH_MAX];

// The kernel's device tree and the device files; tests move them.
static char sysfs_root[PATH_MAX] = "/sys";
static char dev_root[PATH_MAX] = "/dev";

// -------------------------------------------- port table and failure --

static Port* find_port(FT_HANDLE handle)
{
    // A null handle wraps around to an index far past the table.
    const uintptr_t index = reinterpret_cast<uintptr_t>(handle) - 1;
    if (index >= PORTS_MAX || !ports[index].taken)
        return nullptr;
    return &ports[index];
}

// Gives the port up to the next program: the exclusive flag goes first, since
// the kernel keeps it for as long as anyone else holds the tty open.
static void release(int fd)
{
    ioctl(fd, TIOCNXCL);
    close(fd);
}

// Gives up on a port found broken. Its slot stays taken, so every later call
// on the handle fails, until FT_Close frees it.
static void fail(Port& port)
{
    port.failed = true;
    last_cause = CAUSE_GONE;
    if (port.fd >= 0)
        release(port.fd);
    port.fd = -1;
}

static int poll_once(int fd, short events, int timeout_ms, short* revents)
{
    pollfd pfd { fd, events, 0 };
    int ready;
    do
        ready = poll(&pfd, 1, timeout_ms);
    while (ready < 0 && errno == EINTR);
    *revents = pfd.revents;
    return ready;
}

static bool hung_up(short revents)
{
    return (revents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

// FT_OK and the port behind handle when it can be used. A pulled adapter
// (or a closed pseudo-terminal master) hangs the tty up, which poll reports
// at once, so every call notices it without waiting.
static FT_STATUS usable(FT_HANDLE handle, Port** port)
{
    *port = find_port(handle);
    if (!*port)
        return FT_INVALID_HANDLE;
    if ((*port)->failed)
        return FT_IO_ERROR;
    short revents = 0;
    if (poll_once((*port)->fd, POLLIN, 0, &revents) < 0 || hung_up(revents)) {
        fail(**port);
        return FT_IO_ERROR;
    }
    return FT_OK;
}

// ---------------------------------------- finding the adapter in sysfs --

// The first line of the attribute file dir/name, cut to size bytes with its
// NUL (size is at least 2); false when it cannot be read.
static bool read_attribute(const char* dir, const char* name, char* text, size_t size)
{
    char path[PATH_MAX];
    if (snprintf(path, sizeof path, "%s/%s", dir, name) >= static_cast<int>(sizeof path))
        return false;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got;
    do
        got = read(fd, text, size - 1);
    while (got < 0 && errno == EINTR);
    close(fd);
    if (got < 0)
        return false;
    text[got] = '\0';
    text[strcspn(text, "\n")] = '\0';
    return true;
}

// A USB id attribute: four hex digits.
static bool read_usb_id(const char* dir, const char* name, uint16_t* id)
{
    char text[8];
    if (!read_attribute(dir, name, text, sizeof text) || strlen(text) != 4 ||
        strspn(text, "0123456789abcdefABCDEF") != 4)
        return false;
    *id = static_cast<uint16_t>(strtoul(text, nullptr, 16));
    return true;
}

// Fills *tty from the USB device behind <sysfs>/class/tty/<name>/device.
// That link leads to the serial port of a USB interface; the USB device that
// carries idVendor lies a level or two above it (and the hub it hangs on,
// with an idVendor of its own, further up). False when the tty is no USB
// device or its ids cannot be read.
static bool find_usb_device(const char* name, UsbTty* tty)
{
    constexpr int LEVELS_UP_MAX = 3;
    char path[PATH_MAX];
    char device[PATH_MAX];
    if (snprintf(tty->name, sizeof tty->name, "%s", name) >= static_cast<int>(sizeof tty->name) ||
        snprintf(path, sizeof path, "%s/class/tty/%s/device", sysfs_root, name) >= static_cast<int>(sizeof path) ||
        !realpath(path, device))
        return false;
    for (int level = 0; level <= LEVELS_UP_MAX; ++level) {
        char vendor_path[PATH_MAX];
        if (snprintf(vendor_path, sizeof vendor_path, "%s/idVendor", device) < static_cast<int>(sizeof vendor_path) &&
            access(vendor_path, F_OK) == 0) {
            if (!read_usb_id(device, "idVendor", &tty->vendor) || !read_usb_id(device, "idProduct", &tty->product))
                return false;
            if (!read_attribute(device, "product", tty->description, sizeof tty->description))
                tty->description[0] = '\0';
            if (!read_attribute(device, "serial", tty->serial, sizeof tty->serial))
                tty->serial[0] = '\0';
            return true;
        }
        char* slash = strrchr(device, '/');
        if (!slash || slash == device)
            return false;
        *slash = '\0';
    }
    return false;
}

// The ttys behind FTDI USB devices, in the order of their names (ttyUSB2
// before ttyUSB10), so that the same adapter is chosen on every run.
static uint32_t find_ftdi_ttys(UsbTty (&found)[LISTED_MAX])
{
    char path[PATH_MAX];
    if (snprintf(path, sizeof path, "%s/class/tty", sysfs_root) >= static_cast<int>(sizeof path))
        return 0;
    DIR* dir = opendir(path);
    if (!dir)
        return 0;
    uint32_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (count == LISTED_MAX)
            break;
        if (entry->d_name[0] != '.' && find_usb_device(entry->d_name, &found[count]) &&
            found[count].vendor == FTDI_VENDOR_ID)
            ++count;
    }
    closedir(dir);
    std::sort(found, found + count, [](const UsbTty& a, const UsbTty& b) {
        const size_t a_length = strlen(a.name);
        const size_t b_length = strlen(b.name);
        return a_length != b_length ? a_length < b_length : strcmp(a.name, b.name) < 0;
    });
    return count;
}

// The FTDI ports that the last FT_CreateDeviceInfoList counted.
static UsbTty listed[LISTED_MAX];
static uint32_t listed_count;

FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    if (!lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    // A machine without sysfs lists nothing; a port named with --port still opens.
    listed_count = find_ftdi_ttys(listed);
    *lpdwNumDevs = listed_count;
    return FT_OK;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    if (!pDest || !lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    // Flags, Type and LocId stay 0: sysfs shows neither whether another
    // program holds a port, nor the chip, nor the USB location as D2XX
    // numbers it.
    for (uint32_t i = 0; i < listed_count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[i];
        node = {};
        node.ID = (static_cast<uint32_t>(listed[i].vendor) << 16) | listed[i].product;
        snprintf(node.SerialNumber, sizeof node.SerialNumber, "%s", listed[i].serial);
        snprintf(node.Description, sizeof node.Description, "%s", listed[i].description);
    }
    *lpdwNumDevs = listed_count;
    return FT_OK;
}

// --------------------------------------------------------------- open --

AdapterCause d2xx_LastCause(const char** detail)
{
    *detail = nullptr;
    return last_cause;
}

void tty_UsePort(const char* path)
{
    snprintf(named_port, sizeof named_port, "%s", path ? path : "");
}

void tty_SetRoots(const char* sysfs, const char* dev)
{
    snprintf(sysfs_root, sizeof sysfs_root, "%s", sysfs);
    snprintf(dev_root, sizeof dev_root, "%s", dev);
}

// Why opening or taking a device failed, from the errno of the call.
static AdapterCause failure_of(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return CAUSE_NO_ADAPTER;
    case EACCES:
    case EPERM:
        return CAUSE_NO_PERMISSION;
    case EBUSY:        // another program set TIOCEXCL
    case EWOULDBLOCK:  // another program holds the flock
        return CAUSE_HELD;
    default:
        return CAUSE_OPEN_FAILED;
    }
}

// Raw: every byte passes as sent (no echo, no line editing, no character
// translated or taken for flow control), the modem lines are ignored, and a
// read returns at once with what has arrived. Rate, word and flow control
// are set by their own calls.
static void make_raw(termios2& line)
{
    line.c_iflag = 0;
    line.c_oflag = 0;
    line.c_lflag = 0;
    line.c_cflag |= CREAD | CLOCAL;
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
}

// Asks the driver to pass received bytes on at once: ftdi_sio turns this
// into a 1 ms latency timer instead of holding bytes back for 16 ms, longer
// than the logger's shortest answer windows. A driver without the setting
// (a pseudo-terminal) refuses, and the port works as it is.
static void request_low_latency(int fd)
{
    serial_struct info {};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &info);
    }
}

// Makes the open device at fd ours alone and its line raw. The flock is the
// lock serial programs take on Linux; TIOCEXCL makes the kernel refuse every
// other open (except root's).
static bool take_device(int fd, termios2& line)
{
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 || ioctl(fd, TCGETS2, &line) != 0)
        return false;
    make_raw(line);
    return ioctl(fd, TCSETS2, &line) == 0;
}

static FT_STATUS open_device(const char* path, FT_HANDLE* handle)
{
    Port* slot = std::find_if(std::begin(ports), std::end(ports), [](const Port& p) { return !p.taken; });
    if (slot == std::end(ports)) {
        last_cause = CAUSE_OPEN_FAILED;
        return FT_INSUFFICIENT_RESOURCES;
    }
    // O_NONBLOCK: the open must not wait for a carrier, and no read or
    // write may wait either.
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios2 line {};
    if (fd < 0 || !take_device(fd, line)) {
        last_cause = failure_of(errno);
        if (fd >= 0)
            release(fd);
        return FT_DEVICE_NOT_OPENED;
    }
    request_low_latency(fd);
    *slot = {true, false, fd, line.c_ospeed};
    *handle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(slot - std::begin(ports)) + 1);
    last_cause = CAUSE_NONE;
    return FT_OK;
}

FT_STATUS tty_OpenByPath(const char* path, FT_HANDLE* handle)
{
    if (!path || !handle)
        return FT_INVALID_PARAMETER;
    return open_device(path, handle);
}

FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    // Opening by description is the only way the program finds its adapter.
    if (!pArg1 || !pHandle || Flags != FT_OPEN_BY_DESCRIPTION)
        return FT_INVALID_PARAMETER;
    if (named_port[0] != '\0')
        return open_device(named_port, pHandle);
    const char* wanted = static_cast<const char*>(pArg1);
    UsbTty found[LISTED_MAX];
    const uint32_t count = find_ftdi_ttys(found);
    for (uint32_t i = 0; i < count; ++i) {
        char path[PATH_MAX];
        if (found[i].product == FT232R_PRODUCT_ID && strcmp(found[i].description, wanted) == 0 &&
            snprintf(path, sizeof path, "%s/%s", dev_root, found[i].name) < static_cast<int>(sizeof path))
            return open_device(path, pHandle);
    }
    last_cause = CAUSE_NO_ADAPTER;
    return FT_DEVICE_NOT_FOUND;
}

// ----------------------------------------------------- line settings --

// Reads the line's settings, lets change alter them and sets them; refused
// when the driver will not, FT_IO_ERROR when the device has gone.
template <typename Change>
static FT_STATUS change_line(Port& port, FT_STATUS refused, Change change)
{
    termios2 line {};
    if (ioctl(port.fd, TCGETS2, &line) == 0) {
        change(line);
        if (ioctl(port.fd, TCSETS2, &line) == 0)
            return FT_OK;
    }
    if (errno != EIO && errno != ENODEV && errno != ENXIO)
        return refused;
    fail(port);
    return FT_IO_ERROR;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t, uint8_t)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (usFlowControl != FT_FLOW_NONE)
        return FT_INVALID_PARAMETER;
    return change_line(*port, FT_IO_ERROR, [](termios2& line) {
        line.c_cflag &= ~CRTSCTS;
        line.c_iflag &= ~(IXON | IXOFF | IXANY);
    });
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits, uint8_t uParity)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (uWordLength != FT_BITS_8 || uStopBits != FT_STOP_BITS_1 || uParity != FT_PARITY_NONE)
        return FT_INVALID_PARAMETER;
    return change_line(*port, FT_IO_ERROR,
                       [](termios2& line) { line.c_cflag = (line.c_cflag & ~(CSIZE | PARENB | CSTOPB)) | CS8; });
}

FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (dwBaudRate == 0)
        return FT_INVALID_BAUD_RATE;
    // BOTHER takes the rate as a number; the input rate follows the output.
    const FT_STATUS status = change_line(*port, FT_INVALID_BAUD_RATE, [dwBaudRate](termios2& line) {
        line.c_cflag = (line.c_cflag & ~(CBAUD | (CBAUD << IBSHIFT))) | BOTHER;
        line.c_ispeed = dwBaudRate;
        line.c_ospeed = dwBaudRate;
    });
    if (status == FT_OK)
        port->baud = dwBaudRate;
    return status;
}

// --------------------------------------------------------------- I/O --

static uint32_t line_time_ms(uint32_t bytes, uint32_t baud)
{
    // Ten bit times per byte: start bit, eight data bits, stop bit.
    const uint64_t bits = static_cast<uint64_t>(bytes) * 10u;
    const uint64_t rate = std::max(baud, 1u);
    return static_cast<uint32_t>((bits * 1000u + rate - 1) / rate);
}

FT_STATUS FT_GetStatus(FT_HANDLE ftHandle, uint32_t* lpdwAmountInRxQueue, uint32_t* lpdwAmountInTxQueue,
                       uint32_t* lpdwEventStatus)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (!lpdwAmountInRxQueue || !lpdwAmountInTxQueue || !lpdwEventStatus)
        return FT_INVALID_PARAMETER;
    int waiting = 0;
    if (ioctl(port->fd, FIONREAD, &waiting) != 0) {
        fail(*port);
        return FT_IO_ERROR;
    }
    *lpdwAmountInRxQueue = static_cast<uint32_t>(waiting);
    *lpdwAmountInTxQueue = 0;
    *lpdwEventStatus = 0;
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToRead, uint32_t* lpdwBytesReturned)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (!lpBuffer || !lpdwBytesReturned)
        return FT_INVALID_PARAMETER;
    // An empty queue reads as 0 bytes (or EAGAIN), never as a wait.
    ssize_t got;
    do
        got = read(port->fd, lpBuffer, dwBytesToRead);
    while (got < 0 && errno == EINTR);
    if (got < 0 && errno != EAGAIN) {
        *lpdwBytesReturned = 0;
        fail(*port);
        return FT_IO_ERROR;
    }
    *lpdwBytesReturned = static_cast<uint32_t>(std::max<ssize_t>(got, 0));
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE ftHandle, void* lpBuffer, uint32_t dwBytesToWrite, uint32_t* lpdwBytesWritten)
{
    using Clock = std::chrono::steady_clock;
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (!lpBuffer || !lpdwBytesWritten)
        return FT_INVALID_PARAMETER;
    const char* bytes = static_cast<const char*>(lpBuffer);
    const int fd = port->fd;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(line_time_ms(dwBytesToWrite, port->baud) + WRITE_MARGIN_MS);

    uint32_t sent = 0;
    while (sent < dwBytesToWrite) {
        const ssize_t put = write(fd, bytes + sent, dwBytesToWrite - sent);
        if (put > 0) {
            sent += static_cast<uint32_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN) {
            *lpdwBytesWritten = sent;
            fail(*port);
            return FT_IO_ERROR;
        }
        // The kernel's buffer is full: wait for room, but not past the
        // deadline, so a line that stopped moving cannot hold the program.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        short revents = 0;
        if (left <= 0 || poll_once(fd, POLLOUT, static_cast<int>(left), &revents) == 0) {
            *lpdwBytesWritten = sent;
            return FT_FAILED_TO_WRITE_DEVICE;
        }
        if (hung_up(revents)) {
            *lpdwBytesWritten = sent;
            fail(*port);
            return FT_IO_ERROR;
        }
    }
    *lpdwBytesWritten = sent;
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE ftHandle)
{
    Port* port = find_port(ftHandle);
    if (!port)
        return FT_INVALID_HANDLE;
    if (!port->failed)
        release(port->fd);
    *port = {};
    return FT_OK;
}
