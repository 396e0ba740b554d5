// The simulated line at mismatched speeds: what the download's line-speed
// handling is tested against, so the simulator must not forgive it.
#include <gtest/gtest.h>
#include <vector>

#include "link/gps_link.h"
#include "seams/d2xx.h"
#include "sim/sim.h"

namespace {

using Bytes = std::vector<uint8_t>;
uint32_t written = 0;

const Bytes kIdentity = {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF};

FT_HANDLE open_at(uint32_t baud, const Bytes& request = {})
{
    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    EXPECT_EQ(FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    FT_SetBaudRate(handle, baud);
    FT_Write(handle, const_cast<uint8_t*>(request.data()), static_cast<uint32_t>(request.size()), &written);
    return handle;
}

// What has arrived after the line ran for us more microseconds.
Bytes run_for(FT_HANDLE handle, uint64_t us)
{
    sim_AdvanceUs(us);
    uint32_t waiting = 0, tx = 0, events = 0, got = 0;
    FT_GetStatus(handle, &waiting, &tx, &events);
    Bytes out(waiting + 1);
    FT_Read(handle, out.data(), waiting, &got);
    out.resize(got);
    return out;
}

// The count of valid reply frames in a stream.
size_t frames_in(const Bytes& s)
{
    size_t frames = 0;
    for (size_t i = 0, n = 0; i + 5 <= s.size(); i += n ? n : 1, frames += n != 0)
        n = s[i] == 0x3C && s[i + 1] == 0x01 && s[i + 2] >= 5 && i + s[i + 2] <= s.size() &&
                    GPS_Crc16(&s[i], s[i + 2]) == 0 ? s[i + 2] : 0;
    return frames;
}

// While the speeds differ the logger hears garbage and stays silent, and its reply arrives garbled.
TEST(SimLine, SpeedMismatchSilencesTheLoggerAndGarblesItsReply)
{
    const struct {
        uint32_t adapter, switch_to;  // switch_to: adapter's speed once the echo is in (0: none)
        uint32_t misheard, replies, garbled, frames;
    } rows[] = {{38400, 0, 0, 1, 0, 1}, {250000, 0, 6, 0, 0, 0}, {38400, 250000, 0, 1, 38, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.adapter + row.switch_to);
        sim_Reset();
        FT_HANDLE handle = open_at(row.adapter, kIdentity);
        EXPECT_EQ(run_for(handle, 6 * 261), kIdentity) << "the echo";
        if (row.switch_to != 0) FT_SetBaudRate(handle, row.switch_to);
        const Bytes got = run_for(handle, 100000);
        EXPECT_EQ(frames_in(got), row.frames);
        EXPECT_EQ(got.size(), 38u * row.replies);
        EXPECT_EQ(sim_stats.bytes_misheard, row.misheard);
        EXPECT_EQ(sim_stats.replies_sent, row.replies);
        EXPECT_EQ(sim_stats.bytes_garbled, row.garbled);
        FT_Close(handle);
    }
}

}  // namespace
