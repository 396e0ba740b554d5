// The pseudo-terminal server in real time: a program on the slave side gets
// its echo and the logger's reply, at 38400 and, after the speed change, at
// 250000 baud set through the kernel's custom-rate call; stopping the server
// is a pulled adapter to it. Each wait ends as soon as the reply is in.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "sim/sim.h"
#include "sim/sim_pty.h"
#include "tests/sim/sim_support.h"

namespace {

class SimPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_Reset();
        sim_AddTracks(2, 1, 20, 1);
        ASSERT_EQ(sim_PtyStart(path_, sizeof path_), 0);
        port_ = open(path_, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(port_, 0);
        ASSERT_TRUE(set_Speed(38400));
    }
    void TearDown() override
    {
        sim_PtyStop();
        if (port_ >= 0) close(port_);
    }

    // As a serial driver does: a standard rate by its code, any other one
    // with BOTHER and the rate itself.
    bool set_Speed(uint32_t baud)
    {
        termios2 tio{};
        if (ioctl(port_, TCGETS2, &tio) != 0) return false;
        tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
        tio.c_cflag |= baud == 38400 ? B38400 : BOTHER;
        tio.c_ispeed = tio.c_ospeed = baud;
        return ioctl(port_, TCSETS2, &tio) == 0;
    }

    // Writes a request and collects what comes back until a reply frame has
    // followed the echo, or half a second has passed.
    Bytes exchange(const Bytes& request)
    {
        EXPECT_EQ(write(port_, request.data(), request.size()), static_cast<ssize_t>(request.size()));
        Bytes got;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd wait_for{port_, POLLIN, 0};
            poll(&wait_for, 1, 10);
            uint8_t buffer[256];
            const ssize_t n = read(port_, buffer, sizeof buffer);
            if (n > 0) got.insert(got.end(), buffer, buffer + n);
            if (got.size() > request.size() && !test_Frames(Bytes(got.begin() + static_cast<long>(request.size()), got.end())).empty())
                break;
        }
        return got;
    }

    char path_[64] = {};
    int port_ = -1;
};

}  // namespace

TEST_F(SimPty, EchoAndReplyAtBothSpeeds)
{
    const Bytes identity = test_Request(0x02);
    Bytes got = exchange(identity);
    ASSERT_GT(got.size(), identity.size());
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 6), identity);
    auto frames = test_Frames(Bytes(got.begin() + 6, got.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(test_Get(frames[0], 33, 2), 1201u);

    ASSERT_FALSE(test_Frames(exchange(test_Request(0x06, {0x01, 0x20, 0x00}))).empty());
    ASSERT_TRUE(set_Speed(250000));
    got = exchange(test_ItemRequest(3, 2));
    frames = test_Frames(Bytes(got.begin() + 14, got.end()));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0][3], 0x13);
    EXPECT_EQ(test_Get(frames[0], 8, 3), 2u);
    EXPECT_EQ(sim_PtySlaveBaud(), 250000u);
}

TEST_F(SimPty, StoppedServerIsAPulledAdapter)
{
    sim_PtyStop();
    uint8_t byte = 0;
    EXPECT_EQ(write(port_, "x", 1), -1);
    EXPECT_LE(read(port_, &byte, 1), 0);
    EXPECT_FALSE(sim_AdapterOpen());
}
