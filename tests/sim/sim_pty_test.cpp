// The pseudo-terminal server in real time: a program on the slave side gets
// its echo and the logger's reply at 38400 and, set through the kernel's
// custom-rate call, 250000 baud; stopping the server is a pulled adapter.
#include <asm/termbits.h>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

    // As a serial driver does: a standard rate by its code, another by BOTHER.
    bool set_Speed(uint32_t baud)
    {
        termios2 tio{};
        if (ioctl(port_, TCGETS2, &tio) != 0) return false;
        tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
        tio.c_cflag |= baud == 38400 ? B38400 : BOTHER;
        tio.c_ispeed = tio.c_ospeed = baud;
        return ioctl(port_, TCSETS2, &tio) == 0;
    }

    // Writes a request; returns its echo (checked) and the reply frames,
    // collected until one has come or half a second has passed.
    std::vector<Bytes> exchange(const Bytes& request)
    {
        EXPECT_EQ(write(port_, request.data(), request.size()), static_cast<ssize_t>(request.size()));
        Bytes got;
        std::vector<Bytes> frames;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (frames.empty() && std::chrono::steady_clock::now() < deadline) {
            pollfd wait_for{port_, POLLIN, 0};
            poll(&wait_for, 1, 10);
            uint8_t buffer[256];
            for (ssize_t n = read(port_, buffer, sizeof buffer), i = 0; i < n; ++i) got.push_back(buffer[i]);
            if (got.size() > request.size()) frames = test_Frames(Bytes(got.begin() + long(request.size()), got.end()));
        }
        EXPECT_EQ(Bytes(got.begin(), got.begin() + long(std::min(got.size(), request.size()))), request);
        return frames;
    }

    char path_[64] = {};
    int port_ = -1;
};

}  // namespace

TEST_F(SimPty, EchoAndReplyAtBothSpeeds)
{
    auto frames = exchange(test_Request(0x02));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(test_Get(frames[0], 33, 2), 1201u);

    ASSERT_FALSE(exchange(test_Request(0x06, {0x01, 0x20, 0x00})).empty());
    ASSERT_TRUE(set_Speed(250000));
    frames = exchange(test_ItemRequest(3, 2));
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
