// The D2XX driver over Qt Serial Port holding a pseudo-terminal's slave; the test is the far end on the
// master, where termios calls show the slave's settings. alarm() turns a hang into a failure.
#include <gtest/gtest.h>
#include <QtCore/QCoreApplication>
#include <asm/termbits.h>  // termios2: the speed in bits per second as the kernel holds it
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <algorithm>
#include <utility>
#include <vector>
#include <filesystem>
#include <fstream>
#include <string>
#include "platform/qt_serial/d2xx_qtserial.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(QtSerialPty, SetsTheLineMovesBytesBothWaysAndFailsAtOnceWhenTheMasterCloses)
{
    alarm(10);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    FT_HANDLE port = nullptr;
    ASSERT_EQ(qtserial_OpenByPath(ptsname(master), &port), FT_OK);
    EXPECT_EQ(FT_SetFlowControl(port, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(port, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    for (const uint32_t baud : {250000u, 38400u}) {  // 250000 has no B constant: a custom speed
        EXPECT_EQ(FT_SetBaudRate(port, baud), FT_OK);
        termios2 line{};
        ASSERT_EQ(ioctl(master, TCGETS2, &line), 0);
        EXPECT_EQ(line.c_ospeed, baud);
        EXPECT_EQ(line.c_ispeed, baud);
        EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8)) << baud;
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u) << baud;
    }

    Bytes all(256), sent(3000);  // every byte value out: a cooked line alters 0x0A, 0x11, 0x13
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = uint8_t(i * 7 + 3), all[i % 256] = uint8_t(i);
    uint32_t count = 0, rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_Write(port, all.data(), uint32_t(all.size()), &count), FT_OK);
    EXPECT_EQ(count, all.size());
    uint8_t buffer[8192];
    size_t have = 0;
    pollfd pfd{master, POLLIN, 0};
    for (ssize_t n = 0; have < 256 && poll(&pfd, 1, 1000) > 0 && (n = read(master, buffer + have, 256 - have)) > 0;)
        have += size_t(n);
    EXPECT_EQ(Bytes(buffer, buffer + have), all);
    ASSERT_EQ(write(master, sent.data(), sent.size()), 3000);  // in: counted, then read in chunks at once
    for (int tries = 0; tries < 1000 && FT_GetStatus(port, &rx, &tx, &events) == FT_OK && rx < 3000; ++tries)
        usleep(1000);  // bytes cross a pseudo-terminal through a kernel work queue
    EXPECT_EQ(rx, 3000u);
    have = 0;
    for (const auto& [want, expected] : {std::pair{1000u, 1000u}, {5000u, 2000u}, {10u, 0u}}) {
        EXPECT_EQ(FT_Read(port, buffer + have, want, &count), FT_OK);
        EXPECT_EQ(count, expected);
        have += count;
    }
    EXPECT_EQ(Bytes(buffer, buffer + have), sent);
    close(master);  // the adapter pulled: every later call fails at once
    EXPECT_EQ(FT_Read(port, buffer, 16, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_GetStatus(port, &rx, &tx, &events), FT_IO_ERROR);
    EXPECT_EQ(FT_Write(port, buffer, 16, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(port), FT_OK);
    alarm(0);
}

// A logger that keeps sending while the program sits in an event loop (its
// exit question) must not make Qt read ahead without bound: once Qt holds
// its share, the bytes wait in the kernel, whose buffers stop the sender.
TEST(QtSerialPty, ReadAheadInAnEventLoopStaysBounded)
{
    alarm(20);
    int argc = 1;
    char name[] = "d2xx_qtserial_test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    FT_HANDLE port = nullptr;
    ASSERT_EQ(qtserial_OpenByPath(ptsname(master), &port), FT_OK);
    const Bytes chunk(4096, 0x55);
    size_t accepted = 0;
    for (int idle = 0; idle < 200 && accepted < (16u << 20);) {  // stops once the sender is held for a while
        const ssize_t n = write(master, chunk.data(), chunk.size());
        idle = n > 0 ? 0 : idle + 1;
        accepted += size_t(std::max<ssize_t>(n, 0));
        QCoreApplication::processEvents();
        if (n <= 0) usleep(1000);
    }
    EXPECT_LT(accepted, 1u << 20) << "the sender was never held";
    EXPECT_EQ(FT_Close(port), FT_OK);
    close(master);
    alarm(0);
}

TEST(QtSerialDescription, MatchesTheDescriptionInTheFormQtReportsIt)
{
    const struct {
        const char *wanted, *reported;
        bool matches;
    } cases[] = {
        {"FT232R USB UART", "FT232R USB UART", true},    {"FT232R USB UART", "FT232R_USB_UART", true},
        {"  FT232R  USB UART ", "FT232R USB UART", true}, {"FT232R USB UART", "FT232R USB UART2", false},
        {"FT232R USB UART2", "FT232R USB UART", false},  {"FT232R USB UART", "FT232R US BUART", false},
        {"FT232R USB UART", "ft232r usb uart", false},   {"", "", false}, {"FT232R USB UART", nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qtserial_DescriptionMatches(c.wanted, c.reported), c.matches) << c.wanted << " / " << c.reported;
}

}  // namespace

// A fake sysfs tree: class/tty/<port>/device links to the port under its USB
// interface, whose device holds idVendor and product, as the kernel lays out
// an adapter that ftdi_sio (or another USB serial driver) has bound.
TEST(QtSerialSysfs, FindsTheUsbVendorAndProductBehindATtyWithoutUdev)
{
    namespace fs = std::filesystem;
    const struct {
        const char* shows;
        const char* port;
        const char* vendor_file;   // nullptr: none
        const char* product_file;  // nullptr: none
        const char* below_device;  // the port's path under the USB device
        bool found;
        uint16_t vendor = 0;
        const char* product = "";
    } cases[] = {
        {"an FT232R", "ttyUSB0", "0403\n", "FT232R USB UART\n", "1-1:1.0/ttyUSB0", true, 0x0403, "FT232R USB UART"},
        {"a clone under another vendor", "ttyUSB1", "1a86\n", "USB Serial\n", "1-1:1.0/ttyUSB1", true, 0x1a86,
         "USB Serial"},
        {"a device without a product string", "ttyUSB2", "0403\n", nullptr, "1-1:1.0/ttyUSB2", true, 0x0403, ""},
        {"a product cut to the buffer", "ttyUSB3", "0403", "FT232R USB UART and then a long tail", "1-1:1.0/ttyUSB3",
         true, 0x0403, "FT232R USB UART"},
        {"no USB device above the port (a built-in UART)", "ttyS0", nullptr, nullptr, "serial8250/tty/ttyS0", false},
        {"an unreadable vendor id", "ttyUSB4", "zz\n", "FT232R USB UART\n", "1-1:1.0/ttyUSB4", false},
        {"a port the kernel does not list", "ttyUSB9", nullptr, nullptr, nullptr, false},
    };
    const TempDir temp;
    qtserial_SetSysfsRoot(temp.dir.c_str());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shows);
        const fs::path usb_device = fs::path(temp.dir) / "devices/pci0000:00/usb1" / (std::string("1-") + c.port);
        if (c.below_device) {
            fs::create_directories(usb_device / c.below_device);
            fs::create_directories(fs::path(temp.dir) / "class/tty" / c.port);
            fs::create_directory_symlink(usb_device / c.below_device, fs::path(temp.dir) / "class/tty" / c.port / "device");
        }
        if (c.vendor_file) std::ofstream(usb_device / "idVendor") << c.vendor_file;
        if (c.product_file) std::ofstream(usb_device / "product") << c.product_file;

        uint16_t vendor = 0;
        char product[16] = "untouched";
        EXPECT_EQ(qtserial_SysfsUsbDevice(c.port, &vendor, product, sizeof product), c.found);
        if (c.found) {
            EXPECT_EQ(vendor, c.vendor);
            EXPECT_STREQ(product, c.product);
        }
    }
    qtserial_SetSysfsRoot("/sys");
}
