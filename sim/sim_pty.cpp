// The pseudo-terminal server: one background thread that plays the
// simulated line between the master side of a pseudo-terminal and the
// simulator, in real time.
//
// Invariants:
//   - While the thread runs it alone calls into the simulator; start and
//     stop hand the simulator over by starting and joining it.
//   - The server keeps a descriptor of the slave open itself, so the master
//     never reports a hang-up while the program has the port closed.
//   - Each turn looks at the slave's speed before it takes what the program
//     wrote: a program that sets a speed and then writes is heard at the new
//     speed (one that writes and then switches waits for its echo first).
//   - Bytes for the program that the master cannot take yet wait in
//     `pending`; the line is read only into the room left there.
//
// The speed is read from the master with TCGETS2: on Linux a pty master's
// terminal ioctls reach the slave's settings, and c_ospeed carries a custom
// rate set with BOTHER as well as a standard one.
#include "sim/sim_pty.h"

#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

#include "sim/sim.h"

namespace {

constexpr uint32_t START_BAUD = 38400;
constexpr int TURN_MS = 1;  // how long a turn waits for the program

int master_fd = -1;
int slave_fd = -1;
std::thread server;
std::atomic<bool> stop_requested;
std::atomic<uint32_t> slave_baud;
std::atomic<uint64_t> logger_bytes;

uint8_t pending[4096];
uint32_t pending_len;

}  // namespace

// The slave in raw mode (what cfmakeraw sets) at 38400 baud, so that the
// line discipline neither echoes nor translates anything.
static bool slave_MakeRaw(int fd)
{
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CBAUD);
    tio.c_cflag |= CS8 | CREAD | CLOCAL | B38400;
    tio.c_ispeed = tio.c_ospeed = START_BAUD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

static void speed_Follow()
{
    termios2 tio{};
    if (ioctl(master_fd, TCGETS2, &tio) != 0 || tio.c_ospeed == 0) return;
    if (tio.c_ospeed == slave_baud.load()) return;
    slave_baud.store(tio.c_ospeed);
    sim_LineSetAdapterBaud(tio.c_ospeed);
}

static void serve_Turn()
{
    pollfd wait_for{master_fd, POLLIN, 0};
    poll(&wait_for, 1, TURN_MS);
    speed_Follow();
    if (wait_for.revents & POLLIN) {
        uint8_t written[512];
        const ssize_t n = read(master_fd, written, sizeof written);
        if (n > 0) sim_LineWrite(written, static_cast<uint32_t>(n));
    }
    pending_len += sim_LineRead(pending + pending_len, sizeof pending - pending_len);
    logger_bytes.store(sim_stats.bytes_sent);
    if (pending_len == 0) return;
    const ssize_t n = write(master_fd, pending, pending_len);
    if (n <= 0) return;
    pending_len -= static_cast<uint32_t>(n);
    std::memmove(pending, pending + n, pending_len);
}

static void fds_Close()
{
    if (slave_fd >= 0) close(slave_fd);
    if (master_fd >= 0) close(master_fd);
    slave_fd = master_fd = -1;
}

int sim_PtyStart(char* path, uint32_t size)
{
    if (master_fd >= 0 || size == 0) return -1;
    master_fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_fd < 0) return -1;
    if (grantpt(master_fd) != 0 || unlockpt(master_fd) != 0 || ptsname_r(master_fd, path, size) != 0) {
        fds_Close();
        return -1;
    }
    slave_fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_fd < 0 || !slave_MakeRaw(slave_fd)) {
        fds_Close();
        return -1;
    }
    pending_len = 0;
    slave_baud.store(0);
    logger_bytes.store(sim_stats.bytes_sent);
    sim_LineOpen(START_BAUD);
    stop_requested.store(false);
    server = std::thread([] {
        while (!stop_requested.load()) serve_Turn();
    });
    return 0;
}

void sim_PtyStop()
{
    stop_requested.store(true);
    if (server.joinable()) server.join();
    if (master_fd < 0) return;
    fds_Close();
    sim_LineClose();
}

uint64_t sim_PtyLoggerBytes()
{
    return logger_bytes.load();
}
