// The simulated line: its pace, its echo, and what a speed mismatch does.
#include <gtest/gtest.h>
#include <vector>

#include "link/gps_link.h"
#include "seams/d2xx.h"
#include "sim/sim.h"

namespace {

using Bytes = std::vector<uint8_t>;
uint32_t written_ = 0;

const Bytes kIdentity = {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF};

FT_HANDLE open_at(uint32_t baud, const Bytes& request = {})
{
    FT_HANDLE handle = nullptr;
    char description[] = "FT232R USB UART";
    EXPECT_EQ(FT_OpenEx(description, FT_OPEN_BY_DESCRIPTION, &handle), FT_OK);
    FT_SetBaudRate(handle, baud);
    FT_Write(handle, const_cast<uint8_t*>(request.data()), static_cast<uint32_t>(request.size()), &written_);
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

// Bytes show once their tenth bit time has passed; a second write waits for the first; both echo.
TEST(SimLine, BytesArriveAtTenBitTimesEachAndEcho)
{
    const uint64_t rows[][3] = {{250000, 40, 400}, {38400, 261, 2606}, {9600, 1042, 10418}};
    for (const auto& [baud, first_us, ten_us] : rows) {
        SCOPED_TRACE(baud);
        sim_Reset();
        sim_settings.logger.connected = false;
        FT_HANDLE handle = open_at(static_cast<uint32_t>(baud), Bytes(5, 1));
        uint8_t second[5] = {2, 2, 2, 2, 2};
        FT_Write(handle, second, 5, &written_);
        EXPECT_TRUE(run_for(handle, first_us - 1).empty());
        EXPECT_EQ(run_for(handle, 1), Bytes({1}));
        EXPECT_EQ(run_for(handle, ten_us - first_us - 1), Bytes({1, 1, 1, 1, 2, 2, 2, 2}));
        EXPECT_EQ(run_for(handle, 1), Bytes({2}));
        FT_Close(handle);
    }
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
