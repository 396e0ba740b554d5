// The link against the simulated adapter and logger.
#include <gtest/gtest.h>

#include "seams/base_services.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/link/link_fixture.h"

namespace {

Bytes repeated(const Bytes& bytes, uint32_t times) { return times == 0 ? Bytes{} : bytes + repeated(bytes, times - 1); }

// Rows of {what it shows, bytes, expected}: GPS_CheckFrame's tests in their
// order (the first that fails decides). The reply's CRC is worked out apart
// from the program, so it is the CRC's known-good vector; a CRC one bit off or
// high byte first and a changed data byte are its known-bad ones. The request
// is the identity command as it stands on the line.
struct Vector { const char* what; Bytes bytes; int expected; };
void PrintTo(const Vector& vector, std::ostream* out) { *out << vector.what; }
std::string vector_Name(const ::testing::TestParamInfo<Vector>& info) { return info.param.what; }
const Bytes good_reply = {0x3C, 0x01, 0x07, 0x01, 0x00, 0x87, 0x2A}, identity_request = {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF};

struct CheckFrame : ::testing::TestWithParam<Vector> {};
INSTANTIATE_TEST_SUITE_P(Frames, CheckFrame, ::testing::ValuesIn(std::vector<Vector>{
    {"Reply", good_reply, FRAME_VALID}, {"ReplyWithoutCommandByte", {0x3C, 0x01, 0x05, 0x78, 0x6D}, FRAME_VALID},
    {"SecondByteLeftToTheExchange", sealed({0x3C, 0x55, 0x07, 0x01, 0x00}), FRAME_VALID},
    {"NoBytes", {}, FRAME_TOO_SHORT}, {"FourBytesWhateverTheyAre", {0x3E, 0x00, 0x04, 0x00}, FRAME_TOO_SHORT},
    {"OwnRequestEchoed", identity_request, FRAME_BAD_START}, {"LeadingGarbage", Bytes{0x00} + good_reply, FRAME_BAD_START},
    {"Truncated", Bytes(good_reply.begin(), good_reply.end() - 1), FRAME_BAD_LENGTH},
    {"TrailingByte", good_reply + Bytes{0x3C}, FRAME_BAD_LENGTH},
    {"LengthByteWrongThoughCrcRight", sealed({0x3C, 0x01, 0x08, 0x01, 0x00}), FRAME_BAD_LENGTH},
    {"CrcOneBitOff", {0x3C, 0x01, 0x07, 0x01, 0x00, 0x87, 0x2B}, FRAME_BAD_CRC},
    {"DataByteChanged", {0x3C, 0x01, 0x07, 0x01, 0x01, 0x87, 0x2A}, FRAME_BAD_CRC},
    {"CrcHighByteFirst", {0x3C, 0x01, 0x07, 0x01, 0x00, 0x2A, 0x87}, FRAME_BAD_CRC},
}), vector_Name);
TEST_P(CheckFrame, GivesTheFirstTestThatFails)
{
    set_rx(GetParam().bytes);
    EXPECT_EQ(GPS_CheckFrame(), GetParam().expected);
}

const struct CommandRow {
    const char* what;
    int (*command)();
    Bytes request;  // on the line, CRC included
    int failure;
    uint32_t attempts;  // requests sent when nothing answers
} kCommands[] = {
    {"probe", GPS_Probe, {0x3E, 0x01, 0x07, 0x01, 0xFF, 0x77, 0x33}, CMD_NOT_YET, 1},
    {"0x01", GPS_SndData01, {0x3E, 0x01, 0x07, 0x01, 0x03, 0x94, 0x0E}, CMD_FAILED_01, 5},
    {"identity", GPS_SndData02, {0x3E, 0x01, 0x06, 0x02, 0xAE, 0xCF}, CMD_FAILED_02, 5},
    {"0x03", GPS_SndData03, {0x3E, 0x01, 0x06, 0x03, 0x27, 0xDE}, CMD_FAILED_03, 5},
    {"speed 250000 once", [] { return GPS_SndData06Once(GPS_SpeedDivisor(BAUD_FAST)); },
     {0x3E, 0x01, 0x09, 0x06, 0x01, 0x20, 0x00, 0x51, 0x37}, CMD_FAILED_06, 1},
    {"speed 38400", [] { return GPS_SndData06(SUBCMD_LINE_SPEED, GPS_SpeedDivisor(BAUD_BASE)); },
     {0x3E, 0x01, 0x09, 0x06, 0x01, 0xD0, 0x00, 0x59, 0x4B}, CMD_FAILED_06, 5},
    {"erase", [] { return GPS_SndData06(SUBCMD_ERASE, ERASE_VALUE); },
     {0x3E, 0x01, 0x09, 0x06, 0x02, 0x01, 0xFE, 0x2F, 0xFC}, CMD_FAILED_06, 5},
};

class Link : public ::testing::Test {
protected:
    void TearDown() override { usb_Close(); }

    // Simulator defaults, then arrange() on sim_settings; opens the adapter.
    template <typename F>
    void fresh_line(F arrange)
    {
        usb_Close();
        sim_Reset();
        link_Reset();
        log_Clear();
        arrange();
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        written_mark = sim_written_count;
        start_tick = sys_TickCount();
    }

    Bytes written() const { return Bytes(sim_written + written_mark, sim_written + sim_written_count); }
    uint32_t elapsed_ms() const { return sys_TickCount() - start_tick; }

    uint32_t written_mark = 0, start_tick = 0;
};

// Exact frames, once when answered, every attempt when the logger is silent.
TEST_F(Link, CommandsWriteTheirExactRequestOnceOrUntilTheAttemptsRunOut)
{
    for (const CommandRow& row : kCommands) {
        for (bool silent : {false, true}) {
            SCOPED_TRACE(std::string(row.what) + (silent ? ", silent" : ""));
            fresh_line([silent] { sim_settings.faults.silent = silent; });
            EXPECT_EQ(row.command(), silent ? row.failure : CMD_OK);
            EXPECT_EQ(written(), repeated(row.request, silent ? row.attempts : 1));
            EXPECT_LE(elapsed_ms(), !silent ? 30u : row.attempts == 1 ? 31u : 5 * (3 + 26 + RETRY_PAUSE_MS));
        }
    }
}

// Scripted line, no echo from the adapter: result, frame held, and (when given) simulated ms.
TEST_F(Link, ExchangeFindsEchoAndFrameOrEndsWithItsResultInTime)
{
    const Bytes req = sealed({0x3E, 0x01, 0x07, 0x01, 0xFF}), reply = sealed({0x3C, 0x01, 0x07, 0x01, 0x00});
    const Bytes bad = {0x3C, 0x01, 0x0A, 0x01, 0x10, 0x20, 0x30, 0x40, 0x00, 0x00};  // wrong CRC
    const Bytes noise(8000, 0x00);  // about 2.1 s at 38400 baud
    const struct {
        const char* what;
        Bytes request, line;
        uint32_t idle_gap, total;
        int expected;
        Bytes held;
        uint32_t ms = 0, tick = 1000;  // ms 0: not checked
    } rows[] = {
        {"stray byte, echo", req, Bytes{0x00} + req + reply, 20, 2000, EXCHANGE_OK, reply},
        {"start of a request, echo", req, Bytes{0x3E, 0x01, 0x07} + req + reply, 20, 2000, EXCHANGE_OK, reply},
        {"noise outlasting the echo search", req, Bytes(1000, 0x00) + req + reply, 20, 2000, EXCHANGE_OVERRUN,
         Bytes(7, 0x00)},
        {"several start bytes", {}, Bytes{0x3C, 0x3C, 0x3C} + reply, 500, 2000, EXCHANGE_OK, reply},
        {"start byte without 0x01", {}, Bytes{0x3C, 0x55} + reply, 500, 2000, EXCHANGE_OK, reply},
        {"bad frame, valid one behind", {}, bad + reply, 500, 2000, EXCHANGE_OVERRUN, bad + Bytes{0x3C}},
        {"bad frame, then rest", {}, bad, 500, 2000, EXCHANGE_IDLE, bad},
        {"stray bytes, no echo", req, {0x55, 0x66}, 20, 2000, EXCHANGE_NO_ECHO, {0x55, 0x66}},
        {"no echo, idle", req, {}, 20, 2000, EXCHANGE_NO_ECHO, {}, 102 + 21 + 5},
        {"no echo, short total", req, {}, 5, 30, EXCHANGE_ECHO_TIMEOUT, {}, 31},
        {"echo, idle", req, req, 20, 2000, EXCHANGE_IDLE, {}, 3 + 21 + 5},
        {"echo, idle, tick wraps", req, req, 20, 2000, EXCHANGE_IDLE, {}, 3 + 21 + 5, 0xFFFFFFFFu - 3},
        {"receive only, nothing", {}, {}, 500, 2000, EXCHANGE_IDLE, {}, 501 + 5},
        {"echo, line never rests", req, req + noise, 20, 2000, EXCHANGE_REPLY_TIMEOUT, {}, 2001},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fresh_line([] { sim_settings.logger.connected = sim_settings.adapter.echo = false; });
        std::copy(row.request.begin(), row.request.end(), tx_frame);
        tx_len = static_cast<uint32_t>(row.request.size());
        sim_InjectRx(500, row.line.data(), static_cast<uint32_t>(row.line.size()));
        sim_SetTickMs(row.tick);
        start_tick = row.tick;
        EXPECT_EQ(GPS_Transact(row.idle_gap, row.total), row.expected);
        EXPECT_EQ(Bytes(rx_frame, rx_frame + rx_count), row.held);
        if (row.ms != 0) { EXPECT_EQ(elapsed_ms(), row.ms); }
    }
}

TEST_F(Link, LineSpeedUpFallsBackUntilBothEndsAreFast)
{
    const struct {
        const char* what;
        uint32_t logger_baud, swallowed;
        bool silent;
        int expected;
        uint32_t requests;  // speed requests on the line
    } rows[] = {
        {"quick answer lost", BAUD_BASE, 1, false, CMD_OK, 1 + 5 + 1},
        {"silent logger", BAUD_BASE, 0, true, CMD_FAILED_LINE_SPEED, 1 + 5 * 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        fresh_line([&] {
            sim_settings.logger.baud = row.logger_baud;
            sim_settings.faults.swallow_speed_answers = row.swallowed;
            sim_settings.faults.silent = row.silent;
        });
        EXPECT_EQ(GPS_LineSpeedUp(), row.expected);
        const Bytes out = written();
        uint32_t speed_requests = 0;
        for (size_t i = 0; i + 3 < out.size(); ++i)
            speed_requests += out[i] == 0x3E && out[i + 1] == 0x01 && out[i + 2] == 9 && out[i + 3] == 0x06;
        EXPECT_EQ(speed_requests, row.requests);
        EXPECT_EQ(sim_AdapterBaud(), BAUD_FAST);
        if (row.expected == CMD_OK) { EXPECT_EQ(GPS_Probe(), CMD_OK) << "the line works at the new speed"; }
    }
}

}  // namespace
