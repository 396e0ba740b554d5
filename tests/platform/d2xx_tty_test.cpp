// The D2XX driver over the kernel's tty driver. On a pseudo-terminal's slave,
// with the test as the far end on the master, where termios calls show the
// slave's settings; and finding the adapter in a made-up sysfs tree whose
// device files lead to pseudo-terminals. alarm() turns a hang into a failure.
#include <gtest/gtest.h>
#include <asm/termbits.h>  // termios2: the speed in bits per second as the kernel holds it
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>
#include "platform/posix_tty/d2xx_tty.h"
#include "tests/support/temp_dir.h"

namespace {

AdapterCause last_Cause()
{
    const char* detail = nullptr;
    return d2xx_LastCause(&detail);
}

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The master side of a fresh pseudo-terminal, closed with the test.
struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    Pty() { EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0); }
    ~Pty() { close(master); }
    const char* slave() const { return ptsname(master); }
};

TEST(TtyPty, SetsTheLineMovesBytesBothWaysAndFailsAtOnceWhenTheMasterCloses)
{
    alarm(10);
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    FT_HANDLE port = nullptr;
    ASSERT_EQ(tty_OpenByPath(ptsname(master), &port), FT_OK);
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
    EXPECT_EQ(+last_Cause(), +CAUSE_GONE);
    EXPECT_EQ(FT_Close(port), FT_OK);
    alarm(0);
}

// What stands at the adapter's device file.
enum Device {
    DEVICE_PTY,         // a pseudo-terminal's slave, free
    DEVICE_HELD,        // the same, locked by another program
    DEVICE_NO_ACCESS,   // the same, with no permission for this user
    DEVICE_MISSING,     // nothing (the adapter went between the list and the open)
};

struct FindCase {
    const char* name;
    // The USB device above ttyUSB0; vendor nullptr: none (a built-in UART).
    const char* vendor;
    const char* product_id;
    const char* product;
    Device device;
    bool named;  // opened as --port names it, instead of by its description
    FT_STATUS status;
    AdapterCause failure;
};

constexpr const char* FT232R = "FT232R USB UART";

const FindCase find_cases[] = {
    {"FT232R", "0403", "6001", FT232R, DEVICE_PTY, false, FT_OK, CAUSE_NONE},
    {"FT232RHeldByAnotherProgram", "0403", "6001", FT232R, DEVICE_HELD, false, FT_DEVICE_NOT_OPENED, CAUSE_HELD},
    {"FT232RThisUserMayNotOpen", "0403", "6001", FT232R, DEVICE_NO_ACCESS, false, FT_DEVICE_NOT_OPENED,
     CAUSE_NO_PERMISSION},
    {"FT232RWhoseDeviceFileIsGone", "0403", "6001", FT232R, DEVICE_MISSING, false, FT_DEVICE_NOT_OPENED,
     CAUSE_NO_ADAPTER},
    {"DescriptionWithATail", "0403", "6001", "FT232R USB UART2", DEVICE_PTY, false, FT_DEVICE_NOT_FOUND,
     CAUSE_NO_ADAPTER},
    {"AnotherFtdiChipWithTheDescription", "0403", "6015", FT232R, DEVICE_PTY, false, FT_DEVICE_NOT_FOUND,
     CAUSE_NO_ADAPTER},
    {"CloneOfAnotherVendor", "1a86", "6001", FT232R, DEVICE_PTY, false, FT_DEVICE_NOT_FOUND, CAUSE_NO_ADAPTER},
    {"BuiltInUart", nullptr, nullptr, nullptr, DEVICE_PTY, false, FT_DEVICE_NOT_FOUND, CAUSE_NO_ADAPTER},
    {"NamedPort", nullptr, nullptr, nullptr, DEVICE_PTY, true, FT_OK, CAUSE_NONE},
    {"NamedPortMissing", nullptr, nullptr, nullptr, DEVICE_MISSING, true, FT_DEVICE_NOT_OPENED, CAUSE_NO_ADAPTER},
};

// Opens as another user would while the test runs as root, whom no file
// mode stops: a file-system user id other than 0 drops root's file
// capabilities for this thread until it is set back.
struct AsAnotherUser {
    const bool switched;
    explicit AsAnotherUser(bool wanted) : switched(wanted && geteuid() == 0) { if (switched) setfsuid(65534); }
    ~AsAnotherUser() { if (switched) setfsuid(0); }
};

void PrintTo(const FindCase& c, std::ostream* out) { *out << c.name; }

class TtyFind : public testing::TestWithParam<FindCase> {};

// A made-up sysfs tree as the kernel lays out an FTDI adapter that ftdi_sio
// has bound: class/tty/ttyUSB0/device leads to the port under its USB
// interface, whose device holds the ids and strings; the hub above it has
// ids of its own. A built-in UART, ttyS0, stands beside it. A port opened
// is held: a second program is refused it.
TEST_P(TtyFind, FindsTheFt232rByUsbIdAndDescriptionAndTellsWhyItCannotBeOpened)
{
    const FindCase& c = GetParam();
    alarm(10);
    const TempDir temp;
    const fs::path sys = fs::path(temp.dir) / "sys", dev = fs::path(temp.dir) / "dev";
    const fs::path hub = sys / "devices/pci0000:00/0000:00:14.0/usb1";
    const fs::path port = c.vendor ? hub / "1-1/1-1:1.0/ttyUSB0" : sys / "devices/platform/serial8250/tty/ttyUSB0";
    for (const auto& [tty, device] : {std::pair{"ttyUSB0", port}, {"ttyS0", sys / "devices/platform/serial8250"}}) {
        fs::create_directories(device);
        fs::create_directories(sys / "class/tty" / tty);
        fs::create_directory_symlink(device, sys / "class/tty" / tty / "device");
    }
    std::ofstream(hub / "idVendor") << "1d6b\n";
    std::ofstream(hub / "idProduct") << "0002\n";
    if (c.vendor) {
        std::ofstream(hub / "1-1/idVendor") << c.vendor << "\n";
        std::ofstream(hub / "1-1/idProduct") << c.product_id << "\n";
        std::ofstream(hub / "1-1/product") << c.product << "\n";
    }
    fs::create_directories(dev);
    const Pty pty;
    const std::string device_file = (dev / "ttyUSB0").string();
    int holder = -1;
    if (c.device != DEVICE_MISSING)
        fs::create_symlink(pty.slave(), device_file);
    if (c.device == DEVICE_HELD) {
        holder = open(pty.slave(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    }
    if (c.device == DEVICE_NO_ACCESS) {
        ASSERT_EQ(chmod(pty.slave(), 0), 0);
    }
    tty_SetRoots(sys.c_str(), dev.c_str());
    tty_UsePort(c.named ? device_file.c_str() : nullptr);

    uint32_t count = 99;
    ASSERT_EQ(FT_CreateDeviceInfoList(&count), FT_OK);
    FT_HANDLE handle = nullptr;
    {
        const AsAnotherUser as_another_user(c.device == DEVICE_NO_ACCESS);
        EXPECT_EQ(FT_OpenEx(const_cast<char*>(FT232R), FT_OPEN_BY_DESCRIPTION, &handle), c.status);
    }
    EXPECT_EQ(+last_Cause(), +c.failure);
    if (c.status == FT_OK) {
        uint32_t sent = 0;
        EXPECT_EQ(FT_Write(handle, const_cast<char*>("$"), 1, &sent), FT_OK);
        char got = 0;
        pollfd pfd{pty.master, POLLIN, 0};
        EXPECT_TRUE(poll(&pfd, 1, 1000) == 1 && read(pty.master, &got, 1) == 1 && got == '$')
            << "the open port is the device file's";
        FT_HANDLE second = nullptr;
        EXPECT_EQ(FT_OpenEx(const_cast<char*>(FT232R), FT_OPEN_BY_DESCRIPTION, &second), FT_DEVICE_NOT_OPENED)
            << "a second program takes the port this one holds";
        EXPECT_EQ(+last_Cause(), +CAUSE_HELD);
        EXPECT_EQ(FT_Close(handle), FT_OK);
    }
    if (holder >= 0) close(holder);
    tty_UsePort(nullptr);
    tty_SetRoots("/sys", "/dev");
    alarm(0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TtyFind, testing::ValuesIn(find_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
