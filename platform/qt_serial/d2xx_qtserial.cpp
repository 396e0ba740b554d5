// The D2XX seam over Qt Serial Port on Linux.
//
// QSerialPort opens the tty (taking its lock file and TIOCEXCL, so the port
// is ours alone) and sets the line; the bytes go through the port's file
// descriptor. Qt moves received bytes into its own buffer only from an event
// loop or a wait call, and the core blocks the thread for a whole exchange,
// so the receive path asks the kernel itself (FIONREAD, a non-blocking read)
// after first handing out what Qt read ahead while an event loop ran between
// exchanges. Writes go to the descriptor as well: a QSerialPort write would
// sit in Qt's buffer until an event loop ran.
//
// Sections: port table and failure, device list and open, line settings, I/O.

#include "platform/qt_serial/d2xx_qtserial.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QList>
#include <QtCore/QMetaObject>
#include <QtSerialPort/QSerialPort>
#include <QtSerialPort/QSerialPortInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <linux/serial.h>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr quint16 FTDI_VENDOR_ID = 0x0403;
constexpr int PORTS_MAX = 4;

// The most Qt reads ahead from an event loop (the exit question, a message
// box) into its own buffer; beyond it the bytes wait in the kernel, whose
// bounded buffers hold a logger that keeps sending. Without a bound Qt's
// buffer grows with every byte the logger sends while the program is idle.
constexpr qint64 READ_AHEAD_MAX = 4096;

// What a write may take beyond its bytes' time on the line: the kernel and
// the USB round trip.
constexpr int WRITE_MARGIN_MS = 100;

struct Port {
    std::unique_ptr<QSerialPort> serial;  // null: the slot is free
    bool failed;                          // hung up or broke; calls fail
};

}  // namespace

static Port ports[PORTS_MAX];

// -------------------------------------------- port table and failure --

static Port* find_port(FT_HANDLE handle)
{
    // A null handle wraps around to an index far past the table.
    const uintptr_t index = reinterpret_cast<uintptr_t>(handle) - 1;
    if (index >= PORTS_MAX || !ports[index].serial)
        return nullptr;
    return &ports[index];
}

// Gives up on a port found broken by one of our own calls. Its slot stays
// taken, so every later call on the handle fails, until FT_Close frees it.
static void fail(Port& port)
{
    port.failed = true;
    if (port.serial->isOpen())
        port.serial->close();
}

// Errors that Qt meets while reading ahead from an event loop. Closing the
// port right here would pull it out from under Qt's own notifier, so the
// close is queued; until then the port only counts as failed.
static void on_port_error(int index, QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError &&
        error != QSerialPort::WriteError)
        return;
    ports[index].failed = true;
    QSerialPort* serial = ports[index].serial.get();
    QMetaObject::invokeMethod(
        serial, [serial] {
            if (serial->isOpen())
                serial->close();
        },
        Qt::QueuedConnection);
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
    if (poll_once((*port)->serial->handle(), POLLIN, 0, &revents) < 0 || hung_up(revents)) {
        fail(**port);
        return FT_IO_ERROR;
    }
    return FT_OK;
}

// The status for a QSerialPort call that returned false: the device's
// failure when the error handler marked the port, else status.
static FT_STATUS refused(Port& port, FT_STATUS status)
{
    if (!port.failed)
        return status;
    fail(port);
    return FT_IO_ERROR;
}

// ---------------------------------------------- device list and open --

// The FTDI ports that the last FT_CreateDeviceInfoList counted.
static QList<QSerialPortInfo> listed_ports;

// The device the user named in place of the search; empty: search.
static QString named_port;

// The sysfs tree the kernel describes its devices in; tests move it.
static QString sysfs_root = QStringLiteral("/sys");

void qtserial_SetSysfsRoot(const char* root)
{
    sysfs_root = QString::fromLocal8Bit(root);
}

// The first line of a sysfs attribute file, without its line end.
static QByteArray sysfs_Attribute(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readLine(256).trimmed();
}

bool qtserial_SysfsUsbDevice(const char* port_name, uint16_t* vendor_id, char* product, uint32_t size)
{
    // class/tty/<port>/device leads to the serial port of a USB interface;
    // the USB device that carries idVendor and product lies a level or two
    // above it.
    constexpr int LEVELS_UP_MAX = 3;
    const QString port_device = QFileInfo(sysfs_root + QStringLiteral("/class/tty/") +
                                          QString::fromLocal8Bit(port_name) + QStringLiteral("/device"))
                                    .canonicalFilePath();
    if (port_device.isEmpty() || size == 0) return false;
    QDir dir(port_device);
    for (int level = 0; level <= LEVELS_UP_MAX; ++level, dir.cdUp()) {
        if (!dir.exists(QStringLiteral("idVendor"))) continue;
        bool number = false;
        const uint vendor = sysfs_Attribute(dir.filePath(QStringLiteral("idVendor"))).toUInt(&number, 16);
        if (!number || vendor > 0xFFFFu) return false;
        const QByteArray name = sysfs_Attribute(dir.filePath(QStringLiteral("product")));
        const uint32_t length = std::min(static_cast<uint32_t>(name.size()), size - 1);
        std::memcpy(product, name.constData(), length);
        product[length] = '\0';
        *vendor_id = static_cast<uint16_t>(vendor);
        return true;
    }
    return false;
}

namespace {

// A port's USB vendor and description: Qt's, or, where Qt knows no
// description (a system without udev), the kernel's from sysfs.
struct PortIdentity {
    bool ftdi;
    QByteArray description;  // Latin-1
};

}  // namespace

static PortIdentity identify(const QSerialPortInfo& info)
{
    if (!info.description().isEmpty())
        return {info.hasVendorIdentifier() && info.vendorIdentifier() == FTDI_VENDOR_ID,
                info.description().toLatin1()};
    uint16_t vendor = 0;
    char product[128];
    if (!qtserial_SysfsUsbDevice(info.portName().toLocal8Bit().constData(), &vendor, product, sizeof product))
        return {false, {}};
    return {vendor == FTDI_VENDOR_ID, QByteArray(product)};
}

template <size_t N>
static void copy_field(char (&field)[N], const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    const size_t count = std::min(static_cast<size_t>(bytes.size()), N - 1);
    std::memcpy(field, bytes.constData(), count);
    field[count] = '\0';
}

namespace {

// Reads a description in its compared form (see qtserial_DescriptionMatches):
// blanks and '_' alike, a run of them as one blank, none at either end.
class DescriptionReader {
public:
    explicit DescriptionReader(const char* text) : at_(text) {}

    // The next character, or '\0' at the end.
    char next()
    {
        bool blank = false;
        while (is_blank(*at_)) {
            blank = true;
            ++at_;
        }
        if (*at_ == '\0')
            return '\0';
        if (blank && started_)
            return ' ';
        started_ = true;
        return *at_++;
    }

private:
    static bool is_blank(char c) { return c == '_' || std::isspace(static_cast<unsigned char>(c)); }

    const char* at_;
    bool started_ = false;
};

}  // namespace

// Asks the driver to pass received bytes on at once: the FTDI driver turns
// this into a 1 ms latency timer instead of holding bytes back for 16 ms,
// longer than the logger's shortest answer windows. A driver without the
// setting (a pseudo-terminal) refuses, and the port works as it is.
static void request_low_latency(int fd)
{
    serial_struct info {};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &info);
    }
}

static FT_STATUS open_port(const QString& location, FT_HANDLE* handle)
{
    const auto slot = std::find_if(std::begin(ports), std::end(ports), [](const Port& p) { return !p.serial; });
    if (slot == std::end(ports))
        return FT_INSUFFICIENT_RESOURCES;
    auto serial = std::make_unique<QSerialPort>(location);
    serial->setReadBufferSize(READ_AHEAD_MAX);
    if (!serial->open(QIODevice::ReadWrite))
        return FT_DEVICE_NOT_OPENED;
    request_low_latency(serial->handle());

    const int index = static_cast<int>(slot - std::begin(ports));
    QObject::connect(serial.get(), &QSerialPort::errorOccurred, serial.get(),
                     [index](QSerialPort::SerialPortError error) { on_port_error(index, error); });
    slot->serial = std::move(serial);
    slot->failed = false;
    *handle = reinterpret_cast<FT_HANDLE>(static_cast<uintptr_t>(index) + 1);
    return FT_OK;
}

bool qtserial_DescriptionMatches(const char* wanted, const char* reported)
{
    if (!wanted || !reported)
        return false;
    DescriptionReader want(wanted);
    DescriptionReader got(reported);
    char c = want.next();
    if (c == '\0')
        return false;
    for (;;) {
        if (got.next() != c)
            return false;
        if (c == '\0')
            return true;
        c = want.next();
    }
}

void qtserial_UsePort(const char* path)
{
    named_port = path ? QString::fromLocal8Bit(path) : QString();
}

FT_STATUS qtserial_OpenByPath(const char* path, FT_HANDLE* handle)
{
    if (!path || !handle)
        return FT_INVALID_PARAMETER;
    return open_port(QString::fromLocal8Bit(path), handle);
}

FT_STATUS FT_CreateDeviceInfoList(uint32_t* lpdwNumDevs)
{
    if (!lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    listed_ports.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (identify(info).ftdi)
            listed_ports.append(info);
    }
    *lpdwNumDevs = static_cast<uint32_t>(listed_ports.size());
    return FT_OK;
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* pDest, uint32_t* lpdwNumDevs)
{
    if (!pDest || !lpdwNumDevs)
        return FT_INVALID_PARAMETER;
    // Flags, Type and LocId stay 0: Qt tells neither whether another program
    // holds a port, nor the chip, nor the USB location as D2XX numbers it.
    uint32_t count = 0;
    for (const QSerialPortInfo& info : listed_ports) {
        FT_DEVICE_LIST_INFO_NODE& node = pDest[count++];
        node = {};
        node.ID = (static_cast<uint32_t>(info.vendorIdentifier()) << 16) | info.productIdentifier();
        copy_field(node.SerialNumber, info.serialNumber());
        copy_field(node.Description, QString::fromLatin1(identify(info).description));
    }
    *lpdwNumDevs = count;
    return FT_OK;
}

FT_STATUS FT_OpenEx(void* pArg1, uint32_t Flags, FT_HANDLE* pHandle)
{
    // Opening by description is the only way the program finds its adapter.
    if (!pArg1 || !pHandle || Flags != FT_OPEN_BY_DESCRIPTION)
        return FT_INVALID_PARAMETER;
    if (!named_port.isEmpty())
        return open_port(named_port, pHandle);
    const char* wanted = static_cast<const char*>(pArg1);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const PortIdentity port = identify(info);
        if (port.ftdi && qtserial_DescriptionMatches(wanted, port.description.constData()))
            return open_port(info.systemLocation(), pHandle);
    }
    return FT_DEVICE_NOT_FOUND;
}

// ----------------------------------------------------- line settings --

FT_STATUS FT_SetFlowControl(FT_HANDLE ftHandle, uint16_t usFlowControl, uint8_t, uint8_t)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (usFlowControl != FT_FLOW_NONE)
        return FT_INVALID_PARAMETER;
    return port->serial->setFlowControl(QSerialPort::NoFlowControl) ? FT_OK : refused(*port, FT_IO_ERROR);
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE ftHandle, uint8_t uWordLength, uint8_t uStopBits, uint8_t uParity)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (uWordLength != FT_BITS_8 || uStopBits != FT_STOP_BITS_1 || uParity != FT_PARITY_NONE)
        return FT_INVALID_PARAMETER;
    QSerialPort& serial = *port->serial;
    const bool set = serial.setDataBits(QSerialPort::Data8) && serial.setStopBits(QSerialPort::OneStop) &&
                     serial.setParity(QSerialPort::NoParity);
    return set ? FT_OK : refused(*port, FT_IO_ERROR);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE ftHandle, uint32_t dwBaudRate)
{
    Port* port;
    if (const FT_STATUS status = usable(ftHandle, &port); status != FT_OK)
        return status;
    if (dwBaudRate == 0 || dwBaudRate > static_cast<uint32_t>(INT32_MAX))
        return FT_INVALID_BAUD_RATE;
    // A rate without a B constant, such as 250000, Qt sets through the
    // kernel's custom-speed call.
    return port->serial->setBaudRate(static_cast<qint32>(dwBaudRate)) ? FT_OK : refused(*port, FT_INVALID_BAUD_RATE);
}

// --------------------------------------------------------------- I/O --

static uint32_t line_time_ms(uint32_t bytes, qint32 baud)
{
    // Ten bit times per byte: start bit, eight data bits, stop bit.
    const uint64_t bits = static_cast<uint64_t>(bytes) * 10u;
    const uint64_t rate = static_cast<uint64_t>(std::max(baud, 1));
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
    int in_kernel = 0;
    if (ioctl(port->serial->handle(), FIONREAD, &in_kernel) != 0) {
        fail(*port);
        return FT_IO_ERROR;
    }
    *lpdwAmountInRxQueue = static_cast<uint32_t>(port->serial->bytesAvailable() + in_kernel);
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
    char* bytes = static_cast<char*>(lpBuffer);
    QSerialPort& serial = *port->serial;

    // What Qt read ahead arrived first, so it goes out first.
    uint32_t taken = 0;
    if (const qint64 ahead = std::min<qint64>(dwBytesToRead, serial.bytesAvailable()); ahead > 0)
        taken = static_cast<uint32_t>(std::max<qint64>(serial.read(bytes, ahead), 0));

    // The descriptor is non-blocking and the line is set to return at once
    // (VMIN 0, VTIME 0): an empty queue reads as 0 bytes.
    if (taken < dwBytesToRead) {
        ssize_t got;
        do
            got = read(serial.handle(), bytes + taken, dwBytesToRead - taken);
        while (got < 0 && errno == EINTR);
        if (got < 0 && errno != EAGAIN) {
            *lpdwBytesReturned = taken;
            fail(*port);
            return FT_IO_ERROR;
        }
        taken += static_cast<uint32_t>(std::max<ssize_t>(got, 0));
    }
    *lpdwBytesReturned = taken;
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
    const int fd = port->serial->handle();
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(line_time_ms(dwBytesToWrite, port->serial->baudRate()) +
                                                 WRITE_MARGIN_MS);

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
    port->serial.reset();
    port->failed = false;
    return FT_OK;
}

// Nothing to load: the functions are always there.
D2xxLoad d2xx_LoadState(const char** missing_function)
{
    *missing_function = nullptr;
    return D2XX_READY;
}
