// The D2XX driver over Qt Serial Port, in real time on pseudo-terminals: the
// driver holds the slave as its adapter, the test plays the far end of the
// line on the master. Each test is short, and a watchdog turns a hang into a
// failure. A test with a real FT232R runs when ZORP_TEST_FT232R is set.
//
// The master needs no settings of its own: its line discipline starts raw,
// and termios calls on it reach the slave's settings, so reading them through
// the master shows what the driver set.

#include <gtest/gtest.h>

#include <asm/termbits.h>  // termios2: the speed in bits per second as the kernel holds it
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include "platform/qt_serial/d2xx_qtserial.h"

namespace {

constexpr unsigned WATCHDOG_S = 10;

std::vector<uint8_t> pattern(size_t count, uint8_t seed)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + seed);
    return bytes;
}

class PtyLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        alarm(WATCHDOG_S);
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(master_, 0);
        ASSERT_EQ(grantpt(master_), 0);
        ASSERT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        ASSERT_EQ(qtserial_OpenByPath(slave_.c_str(), &handle_), FT_OK);
    }

    void TearDown() override
    {
        if (handle_)
            FT_Close(handle_);
        if (master_ >= 0)
            close(master_);
        alarm(0);
    }

    termios2 line() const
    {
        termios2 settings {};
        EXPECT_EQ(ioctl(master_, TCGETS2, &settings), 0);
        return settings;
    }

    void send_from_master(const std::vector<uint8_t>& bytes) const
    {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    std::vector<uint8_t> receive_at_master(size_t count) const
    {
        std::vector<uint8_t> bytes;
        uint8_t chunk[512];
        while (bytes.size() < count) {
            pollfd pfd { master_, POLLIN, 0 };
            if (poll(&pfd, 1, 1000) <= 0)
                break;
            const ssize_t got = read(master_, chunk, sizeof chunk);
            if (got <= 0)
                break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }

    // The receive count once it reaches want, or the last one seen after a
    // second: bytes cross a pseudo-terminal through a kernel work queue.
    uint32_t waiting_when(uint32_t want) const
    {
        uint32_t rx = 0, tx = 0, events = 0;
        for (int tries = 0; tries < 1000; ++tries) {
            EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_OK);
            if (rx >= want)
                break;
            usleep(1000);
        }
        return rx;
    }

    std::vector<uint8_t> read_now(uint32_t count) const
    {
        std::vector<uint8_t> bytes(count);
        uint32_t got = 0;
        EXPECT_EQ(FT_Read(handle_, bytes.data(), count, &got), FT_OK);
        bytes.resize(got);
        return bytes;
    }

    int master_ = -1;
    std::string slave_;
    FT_HANDLE handle_ = nullptr;
};

TEST_F(PtyLine, SetsEightNoneOneWithoutFlowControlAndBothSpeeds)
{
    EXPECT_EQ(FT_SetFlowControl(handle_, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(handle_, 38400), FT_OK);
    termios2 settings = line();
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(settings.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(settings.c_ospeed, 38400u);

    // 250000 has no B constant: it must reach the kernel as a custom speed.
    EXPECT_EQ(FT_SetBaudRate(handle_, 250000), FT_OK);
    settings = line();
    EXPECT_EQ(settings.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(settings.c_ospeed, 250000u);
    EXPECT_EQ(settings.c_ispeed, 250000u);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));

    EXPECT_EQ(FT_SetBaudRate(handle_, 38400), FT_OK);
    settings = line();
    EXPECT_EQ(settings.c_cflag & CBAUD, static_cast<tcflag_t>(B38400));
    EXPECT_EQ(settings.c_ospeed, 38400u);
}

TEST_F(PtyLine, RefusesLineSettingsItCannotHonour)
{
    ASSERT_EQ(FT_SetBaudRate(handle_, 38400), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, 7, FT_STOP_BITS_1, FT_PARITY_NONE), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, 2, FT_PARITY_NONE), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_SetFlowControl(handle_, 0x0100, 0, 0), FT_INVALID_PARAMETER);
    EXPECT_EQ(FT_SetBaudRate(handle_, 0), FT_INVALID_BAUD_RATE);
    const termios2 settings = line();
    EXPECT_EQ(settings.c_cflag & (CSIZE | CSTOPB), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(settings.c_ospeed, 38400u);
}

TEST_F(PtyLine, EveryByteValueWrittenArrivesUnchanged)
{
    ASSERT_EQ(FT_SetBaudRate(handle_, 250000), FT_OK);
    // All 256 values: a cooked line would turn 0x0A into 0D 0A or swallow
    // 0x11 and 0x13 as XON and XOFF.
    std::vector<uint8_t> bytes = pattern(256, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i);
    uint32_t written = 0;
    EXPECT_EQ(FT_Write(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written), FT_OK);
    EXPECT_EQ(written, bytes.size());
    EXPECT_EQ(receive_at_master(bytes.size()), bytes);
}

TEST_F(PtyLine, ReceivedBytesAreCountedAndReadInChunksWithoutWaiting)
{
    const std::vector<uint8_t> sent = pattern(3000, 3);
    send_from_master(sent);
    EXPECT_EQ(waiting_when(3000), 3000u);

    const std::vector<uint8_t> first = read_now(1000);
    EXPECT_EQ(first, std::vector<uint8_t>(sent.begin(), sent.begin() + 1000));
    EXPECT_EQ(waiting_when(2000), 2000u);

    const std::vector<uint8_t> rest = read_now(5200);
    EXPECT_EQ(rest, std::vector<uint8_t>(sent.begin() + 1000, sent.end()));
    EXPECT_EQ(waiting_when(0), 0u);
    EXPECT_TRUE(read_now(10).empty()) << "an empty queue reads as nothing, at once";
}

TEST_F(PtyLine, WriteThatCannotMoveGivesUpWithinItsDeadline)
{
    // The master reads nothing, so the kernel's buffers fill and the write
    // stalls; the fastest standard rate keeps the deadline short.
    ASSERT_EQ(FT_SetBaudRate(handle_, 4000000), FT_OK);
    std::vector<uint8_t> bytes = pattern(64 * 1024, 1);
    uint32_t written = 0;
    EXPECT_EQ(FT_Write(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &written),
              FT_FAILED_TO_WRITE_DEVICE);
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, bytes.size());

    uint32_t rx = 0, tx = 0, events = 0;
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

TEST_F(PtyLine, ClosedMasterFailsEveryLaterCallAtOnce)
{
    close(master_);
    master_ = -1;

    uint32_t rx = 0, tx = 0, events = 0, count = 0;
    uint8_t bytes[16] = {};
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_IO_ERROR);
    EXPECT_EQ(FT_Read(handle_, bytes, sizeof bytes, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_Write(handle_, bytes, sizeof bytes, &count), FT_IO_ERROR);
    EXPECT_EQ(FT_SetBaudRate(handle_, 250000), FT_IO_ERROR);
    EXPECT_EQ(FT_SetFlowControl(handle_, FT_FLOW_NONE, 0, 0), FT_IO_ERROR);
    EXPECT_EQ(FT_SetDataCharacteristics(handle_, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_IO_ERROR);

    EXPECT_EQ(FT_Close(handle_), FT_OK);
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_INVALID_HANDLE);
    handle_ = nullptr;
}

// With a QCoreApplication, Qt's read notifier moves bytes into Qt's buffer
// whenever an event loop runs, as the window's loop does between ticks.
class PtyLineWithEventLoop : public PtyLine {
protected:
    void SetUp() override
    {
        app_ = new QCoreApplication(argc_, argv_);
        PtyLine::SetUp();
    }
    void TearDown() override
    {
        PtyLine::TearDown();
        delete app_;
    }

    static void run_event_loop()
    {
        for (int turn = 0; turn < 5; ++turn) {
            usleep(2000);
            QCoreApplication::processEvents();
        }
    }

    int argc_ = 1;
    char name_[16] = "d2xx_qtserial";
    char* argv_[2] = { name_, nullptr };
    QCoreApplication* app_ = nullptr;
};

TEST_F(PtyLineWithEventLoop, BytesReadAheadByQtAreCountedAndHandedOutFirst)
{
    const std::vector<uint8_t> early = pattern(100, 11);
    send_from_master(early);
    run_event_loop();
    const std::vector<uint8_t> late = pattern(50, 99);
    send_from_master(late);

    EXPECT_EQ(waiting_when(150), 150u);
    std::vector<uint8_t> both = early;
    both.insert(both.end(), late.begin(), late.end());
    EXPECT_EQ(read_now(150), both);
}

TEST_F(PtyLineWithEventLoop, ClosedMasterNeitherSpinsTheLoopNorLeavesTheHandleWorking)
{
    close(master_);
    master_ = -1;

    QElapsedTimer timer;
    timer.start();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 300);
    EXPECT_LT(timer.elapsed(), 250) << "a hung-up port kept the event loop busy";

    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_GetStatus(handle_, &rx, &tx, &events), FT_IO_ERROR);
}

TEST(QtSerialHandles, OnlyIssuedOpenHandlesAreAccepted)
{
    alarm(WATCHDOG_S);
    std::vector<int> masters;
    std::vector<FT_HANDLE> open;
    FT_STATUS status = FT_OK;
    while (status == FT_OK && open.size() < 16) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        masters.push_back(master);
        FT_HANDLE handle = nullptr;
        status = qtserial_OpenByPath(ptsname(master), &handle);
        if (status == FT_OK)
            open.push_back(handle);
    }
    EXPECT_EQ(status, FT_INSUFFICIENT_RESOURCES) << "the table is small and fixed";
    ASSERT_FALSE(open.empty());

    const FT_HANDLE closed = open.back();
    EXPECT_EQ(FT_Close(closed), FT_OK);
    open.pop_back();

    uint32_t rx = 0, tx = 0, events = 0;
    uint8_t byte = 0;
    uint32_t count = 0;
    for (const FT_HANDLE bad : { FT_HANDLE(nullptr), closed, reinterpret_cast<FT_HANDLE>(0x99),
                                 reinterpret_cast<FT_HANDLE>(~uintptr_t(0)) }) {
        EXPECT_EQ(FT_GetStatus(bad, &rx, &tx, &events), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_Read(bad, &byte, 1, &count), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_Write(bad, &byte, 1, &count), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_SetBaudRate(bad, 38400), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_SetFlowControl(bad, FT_FLOW_NONE, 0, 0), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_SetDataCharacteristics(bad, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_INVALID_HANDLE);
        EXPECT_EQ(FT_Close(bad), FT_INVALID_HANDLE);
    }

    for (const FT_HANDLE handle : open)
        EXPECT_EQ(FT_Close(handle), FT_OK);
    for (const int master : masters)
        close(master);
    alarm(0);
}

struct DescriptionCase {
    const char* shows;
    const char* wanted;
    const char* reported;
    bool matches;
};

TEST(QtSerialDescription, MatchesTheDescriptionInTheFormQtReportsIt)
{
    const DescriptionCase cases[] = {
        { "the adapter as Qt reports it", "FT232R USB UART", "FT232R USB UART", true },
        { "udev's own form, blanks as '_'", "FT232R USB UART", "FT232R_USB_UART", true },
        { "blanks at the ends and in runs", "  FT232R  USB UART ", "FT232R USB UART", true },
        { "another adapter", "FT232R USB UART", "FT230X Basic UART", false },
        { "a longer description", "FT232R USB UART", "FT232R USB UART2", false },
        { "a shorter description", "FT232R USB UART2", "FT232R USB UART", false },
        { "a blank moved into a word", "FT232R USB UART", "FT232R US BUART", false },
        { "letter case", "FT232R USB UART", "ft232r usb uart", false },
        { "a port udev knows nothing about", "FT232R USB UART", "", false },
        { "an empty wish matches nothing", "", "", false },
        { "blanks only match nothing", " _ ", " ", false },
    };
    for (const DescriptionCase& c : cases)
        EXPECT_EQ(qtserial_DescriptionMatches(c.wanted, c.reported), c.matches) << c.shows;
    EXPECT_FALSE(qtserial_DescriptionMatches(nullptr, "FT232R USB UART"));
    EXPECT_FALSE(qtserial_DescriptionMatches("FT232R USB UART", nullptr));
}

TEST(QtSerialDeviceList, CopiesNoMoreEntriesThanItCounted)
{
    uint32_t counted = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&counted), FT_OK);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(counted + 1);
    nodes[counted].ID = 0xDEADBEEF;
    uint32_t copied = 99;
    EXPECT_EQ(FT_GetDeviceInfoList(nodes.data(), &copied), FT_OK);
    EXPECT_EQ(copied, counted);
    EXPECT_EQ(nodes[counted].ID, 0xDEADBEEFu);
    for (uint32_t i = 0; i < counted; ++i)
        EXPECT_EQ(nodes[i].ID >> 16, 0x0403u) << "only FTDI adapters are listed";

    FT_HANDLE handle = nullptr;
    char nobody[] = "no adapter is called this";
    EXPECT_EQ(FT_OpenEx(nobody, FT_OPEN_BY_DESCRIPTION, &handle), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FT_OpenEx(nobody, FT_OPEN_BY_SERIAL_NUMBER, &handle), FT_INVALID_PARAMETER);
}

TEST(QtSerialAdapter, FindsAndDrivesAnAttachedFt232r)
{
    if (!std::getenv("ZORP_TEST_FT232R"))
        GTEST_SKIP() << "set ZORP_TEST_FT232R with an FT232R adapter plugged in";
    uint32_t counted = 0;
    ASSERT_EQ(FT_CreateDeviceInfoList(&counted), FT_OK);
    ASSERT_GT(counted, 0u);
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(counted);
    ASSERT_EQ(FT_GetDeviceInfoList(nodes.data(), &counted), FT_OK);
    bool listed = false;
    for (const FT_DEVICE_LIST_INFO_NODE& node : nodes)
        listed = listed || std::string(node.Description) == "FT232R USB UART";
    EXPECT_TRUE(listed);

    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    ASSERT_EQ(FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    EXPECT_EQ(FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0), FT_OK);
    EXPECT_EQ(FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(handle, 250000), FT_OK);
    EXPECT_EQ(FT_SetBaudRate(handle, 38400), FT_OK);
    uint32_t rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FT_GetStatus(handle, &rx, &tx, &events), FT_OK);
    EXPECT_EQ(FT_Close(handle), FT_OK);
}

}  // namespace
