// The simulated line, its faults and the simulated files.
#include <gtest/gtest.h>
#include <vector>

#include "link/gps_link.h"
#include "seams/base_services.h"
#include "seams/d2xx.h"
#include "sim/sim.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;
uint32_t written_ = 0;

const Bytes kIdentity = {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF};
const Bytes kItems = {0x3E, 0x01, 0x0E, 0x13, 0, 0, 0, 0, 0xF4, 0x01, 0, 0, 0xAB, 0x91};  // items 0..499

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

// After the echo, the answer to 500 items at 250000 with faults drawn from a seed.
Bytes stream_With(void (*arrange)(), uint32_t seed)
{
    sim_Reset();
    sim_settings.logger.baud = 250000;
    arrange();
    sim_settings.faults.seed = seed;
    sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, 500, 1, true});
    FT_HANDLE handle = open_at(250000, kItems);
    const Bytes got = run_for(handle, 10'000'000);
    FT_Close(handle);
    return Bytes(got.begin() + 14, got.end());
}

// Each fault does its harm; the same seed plays it again, another seed not.
TEST(SimLine, RandomFaultsDoTheirHarmAndReplayFromTheSeed)
{
    const struct {
        const char* shows;
        void (*arrange)();
        uint32_t SimStats::*count;
        bool frames_lost;  // else every frame arrives
    } rows[] = {
        {"replies lost", [] { sim_settings.faults.lose_item_reply_ppm = 100000; }, &SimStats::item_replies_lost, 1},
        {"bytes lost", [] { sim_settings.faults.lose_byte_ppm = 500; }, &SimStats::bytes_lost, 1},
        {"bytes corrupted", [] { sim_settings.faults.corrupt_byte_ppm = 500; }, &SimStats::bytes_corrupted, 1},
        {"noise between frames", [] { sim_settings.faults.noise_ppm = 200000; }, &SimStats::noise_bytes, 0},
    };
    const Bytes clean = stream_With([] {}, 1);
    EXPECT_EQ(frames_in(clean), 500u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shows);
        const Bytes first = stream_With(row.arrange, 3);
        EXPECT_GT(sim_stats.*row.count, 0u);
        EXPECT_EQ(frames_in(first) < 500u, row.frames_lost);
        EXPECT_NE(first, clean);
        EXPECT_EQ(stream_With(row.arrange, 3), first);
        EXPECT_NE(stream_With(row.arrange, 4), first);
    }
}

// The second write fails once; the others store their text.
TEST(SimFiles, CountdownFailsTheNthCallOnce)
{
    TempDir temp;
    sim_ResetFiles();
    sim_file_faults.write.countdown = 2;
    for (const char* name : {"a", "b", "c"}) {
        const int file = sys_FileCreate(temp.path(name).c_str());
        ASSERT_GE(file, 0);
        EXPECT_EQ(sys_FileWrite(file, "track", 5), name[0] == 'b' ? -1 : 0) << name;
        EXPECT_EQ(sys_FileClose(file), 0);
        EXPECT_EQ(file_Contents(temp.path(name)), name[0] == 'b' ? "" : "track") << name;
    }
    EXPECT_EQ(sim_file_faults.write.failures, 1u);
}

}  // namespace
