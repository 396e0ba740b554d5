// The D2XX driver over Qt Serial Port, in real time on pseudo-terminals: the
// driver holds the slave as its adapter, the test plays the line's far end on
// the master (raw from the start; termios calls on it show the slave's
// settings). A watchdog turns a hang into a failure. The test with a real
// FT232R runs only when ZORP_TEST_FT232R is set.
#include <gtest/gtest.h>

#include <asm/termbits.h>  // termios2: the speed in bits per second as the kernel holds it
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <string>
#include <utility>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include "platform/qt_serial/d2xx_qtserial.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t count, uint8_t seed)
{
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    return bytes;
}

int open_master()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    return master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? master : -1;
}

class PtyLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        alarm(10);
        master_ = open_master();
        ASSERT_GE(master_, 0);
        slave_ = ptsname(master_);
        ASSERT_EQ(qtserial_OpenByPath(slave_.c_str(), &handle_), FT_OK);
    }
    void TearDown() override
    {
        if (handle_) FT_Close(handle_);
        if (master_ >= 0) close(master_);
        alarm(0);
    }

    void pull_adapter()
    {
        close(master_);
        master_ = -1;
    }

    termios2 line() const
    {
        termios2 settings{};
        EXPECT_EQ(ioctl(master_, TCGETS2, &settings), 0);
        return settings;
    }

    Bytes receive_at_master(size_t count) const
    {
        Bytes bytes(count);
        size_t have = 0;
        pollfd pfd{master_, POLLIN, 0};
        while (have < count && poll(&pfd, 1, 1000) > 0) {
            const ssize_t got = read(master_, bytes.data() + have, count - have);
            if (got <= 0) break;
            have += static_cast<size_t>(got);
        }
        bytes.resize(have);
        return bytes;
    }

    // The receive count once it reaches want, or the last one seen after a
    // second: bytes cross a pseudo-terminal through a kernel work queue.
    uint32_t waiting_when(uint32_t want) const
    {
        uint32_t rx = 0, tx = 0, events = 0;
        for (int tries = 0; tries < 1000; ++tries) {
            EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_OK);
            if (rx >= want) break;
            usleep(1000);
        }
        return rx;
    }

    Bytes read_now(uint32_t count) const
    {
        Bytes bytes(count);
        uint32_t got = 0;
        EXPECT_EQ(FT_Read(handle_, bytes.data(), count, &got), FT_OK);
        bytes.resize(got);
        return bytes;
    }

    int master_ = -1;
    std::string slave_;
    FT_HANDLE handle_ = nullptr;
};

// 250000 has no B constant: it must reach the kernel as a custom speed.
TEST_F(PtyLine, SetsEightNoneOneWithoutFlowControlAndBothSpeeds)
{
    EXPECT_EQ(FT_SetFlowControl(handle_, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    for (const auto& [baud, code] : {std::pair{38400u, B38400}, {250000u, BOTHER}, {38400u, B38400}}) {
        EXPECT_EQ(FT_SetBaudRate(handle_, baud), FT_OK);
        const termios2 settings = line();
        EXPECT_EQ(settings.c_cflag & CBAUD, static_cast<tcflag_t>(code)) << baud;
        EXPECT_EQ(settings.c_ospeed, baud);
        EXPECT_EQ(settings.c_ispeed, baud);
    }
    EXPECT_EQ(line().c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line().c_iflag & (IXON | IXOFF), 0u);
    // A frame that the line cannot carry is refused, not set half way.
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, 7, FT_STOP_BITS_1, FT_PARITY_NONE), FT_INVALID_PARAMETER);
    EXPECT_EQ(line().c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

// A cooked line would turn 0x0A into 0D 0A or swallow 0x11 and 0x13.
TEST_F(PtyLine, EveryByteValueWrittenArrivesUnchanged)
{
    Bytes all(256);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
    uint32_t written = 0;
    EXPECT_EQ(FT_Write(handle_, all.data(), static_cast<uint32_t>(all.size()), &written), FT_OK);
    EXPECT_EQ(written, all.size());
    EXPECT_EQ(receive_at_master(all.size()), all);
}

TEST_F(PtyLine, ReceivedBytesAreCountedAndReadInChunksWithoutWaiting)
{
    const Bytes sent = pattern(3000, 3);
    ASSERT_EQ(write(master_, sent.data(), sent.size()), 3000);
    EXPECT_EQ(waiting_when(3000), 3000u);
    EXPECT_EQ(read_now(1000), Bytes(sent.begin(), sent.begin() + 1000));
    EXPECT_EQ(waiting_when(2000), 2000u);
    EXPECT_EQ(read_now(5200), Bytes(sent.begin() + 1000, sent.end()));
    EXPECT_EQ(waiting_when(0), 0u);
    EXPECT_TRUE(read_now(10).empty()) << "an empty queue reads as nothing, at once";
}

// The master reads nothing, so the kernel's buffers fill and the write
// stalls; the fastest standard rate keeps the deadline short.
TEST_F(PtyLine, WriteThatCannotMoveGivesUpWithinItsDeadline)
{
    ASSERT_EQ(FT_SetBaudRate(handle_, 4000000), FT_OK);
    Bytes bytes = pattern(64 * 1024, 1);
    uint32_t written = 0, rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_Write(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written),
              FT_FAILED_TO_WRITE_DEVICE);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, bytes.size());
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_OK) << "a slow line is not a failed one";
}

TEST_F(PtyLine, PortIsHeldForExclusiveUse)
{
    FT_HANDLE second = nullptr;
    EXPECT_EQ(qtserial_OpenByPath(slave_.c_str(), &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(FT_Close(handle_), FT_OK);
    handle_ = nullptr;
    EXPECT_EQ(qtserial_OpenByPath(slave_.c_str(), &handle_), FT_OK) << "free again once closed";
}

TEST_F(PtyLine, PulledAdapterFailsEveryLaterCallAtOnce)
{
    pull_adapter();
    uint32_t rx = 0, tx = 0, events = 0, count = 0;
    uint8_t bytes[16] = {};
    EXPECT_EQ(FT_Read(handle_, bytes, sizeof bytes, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_IO_ERROR);
    EXPECT_EQ(FT_Write(handle_, bytes, sizeof bytes, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_SetBaudRate(handle_, 250000), FT_IO_ERROR);
    EXPECT_EQ(FT_Close(handle_), FT_OK);
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_INVALID_HANDLE);
    handle_ = nullptr;
}

// With a QCoreApplication, Qt's read notifier moves bytes into Qt's buffer
// whenever an event loop runs, as the window's loop does between ticks.
class PtyLineWithEventLoop : public PtyLine {
    int argc_ = 1;
    char name_[16] = "d2xx_qtserial";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_{argc_, argv_};  // made before SetUp opens the port, gone after TearDown
};

TEST_F(PtyLineWithEventLoop, BytesReadAheadByQtAreCountedAndHandedOutFirst)
{
    Bytes both = pattern(100, 11);
    const Bytes late = pattern(50, 99);
    ASSERT_EQ(write(master_, both.data(), both.size()), 100);
    for (int turn = 0; turn < 5; ++turn) {
        usleep(2000);
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(write(master_, late.data(), late.size()), 50);
    for (uint8_t byte : late) both.push_back(byte);
    EXPECT_EQ(waiting_when(150), 150u);
    EXPECT_EQ(read_now(150), both);
}

TEST_F(PtyLineWithEventLoop, PulledAdapterNeitherSpinsTheLoopNorLeavesTheHandleWorking)
{
    pull_adapter();
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
    EXPECT_LT(timer.elapsed(), 250) << "the hung-up port kept the event loop busy";
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_IO_ERROR);
}

TEST(QtSerialHandles, OnlyIssuedOpenHandlesAreAccepted)
{
    alarm(10);
    std::vector<int> masters;
    std::vector<FT_HANDLE> open;
    FT_STATUS status = FT_OK;
    while (status == FT_OK && open.size() < 16) {
        masters.push_back(open_master());
        FT_HANDLE handle = nullptr;
        status = qtserial_OpenByPath(ptsname(masters.back()), &handle);
        if (status == FT_OK) open.push_back(handle);
    }
    EXPECT_EQ(status, FT_INSUFFICIENT_RESOURCES) << "the table is small and fixed";
    ASSERT_FALSE(open.empty());
    const FT_HANDLE closed = open.back();
    open.pop_back();
    EXPECT_EQ(FT_Close(closed), FT_OK);

    uint32_t rx = 0, tx = 0, events = 0;
    for (const FT_HANDLE bad : {FT_HANDLE(nullptr), closed, reinterpret_cast<FT_HANDLE>(~uintptr_t(0))}) {
        EXPECT_EQ(FT_GetStatus(bad, &rx, &tx, &events), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_SetBaudRate(bad, 38400), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_Close(bad), FT_INVALID_HANDLE);
    }
    for (const FT_HANDLE handle : open) EXPECT_EQ(FT_Close(handle), FT_OK);
    for (const int master : masters) close(master);
    alarm(0);
}

TEST(QtSerialDescription, MatchesTheDescriptionInTheFormQtReportsIt)
{
    const struct {
        const char* shows;
        const char* wanted;
        const char* reported;
        bool matches;
    } cases[] = {
        {"the adapter as Qt reports it", "FT232R USB UART", "FT232R USB UART", true},
        {"udev's own form, blanks as '_'", "FT232R USB UART", "FT232R_USB_UART", true},
        {"blanks at the ends and in runs", "  FT232R  USB UART ", "FT232R USB UART", true},
        {"another adapter", "FT232R USB UART", "FT230X Basic UART", false},
        {"a longer description", "FT232R USB UART", "FT232R USB UART2", false},
        {"a shorter description", "FT232R USB UART2", "FT232R USB UART", false},
        {"a blank moved into a word", "FT232R USB UART", "FT232R US BUART", false},
        {"letter case", "FT232R USB UART", "ft232r usb uart", false},
        {"a port udev knows nothing about", "FT232R USB UART", "", false},
        {"an empty wish", "", "", false},
        {"blanks only", " _ ", " ", false},
        {"no description at all", "FT232R USB UART", nullptr, false},
    };
    for (const auto& c : cases) EXPECT_EQ(qtserial_DescriptionMatches(c.wanted, c.reported), c.matches) << c.shows;
}

TEST(QtSerialDeviceList, CopiesNoMoreEntriesThanItCounted)
{
    uint32_t counted = 0, copied = 99;
    ASSERT_EQ(FT_CreateDeviceInfoList(&counted), FT_OK);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(counted + 1);
    nodes[counted].ID = 0xDEADBEEF;
    EXPECT_EQ(FT_GetDeviceInfoList(nodes.data(), &copied), FT_OK);
    EXPECT_EQ(copied, counted);
    EXPECT_EQ(nodes[counted].ID, 0xDEADBEEFu);
    for (uint32_t i = 0; i < counted; ++i) EXPECT_EQ(nodes[i].ID >> 16, 0x0403u) << "only FTDI adapters are listed";
    FT_HANDLE handle = nullptr;
    char nobody[] = "no adapter is called this";
    EXPECT_EQ(FT_OpenEx(nobody, FT_OPEN_BY_DESCRIPTION, &handle), FT_DEVICE_NOT_FOUND);
}

TEST(QtSerialAdapter, FindsAndDrivesAnAttachedFt232r)
{
    if (!std::getenv("ZORP_TEST_FT232R")) GTEST_SKIP() << "set ZORP_TEST_FT232R with an FT232R adapter plugged in";
    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    ASSERT_EQ(FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_EQ(FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(handle, 250000), FT_OK);
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

}  // namespace
