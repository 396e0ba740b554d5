// Frames, and the request/reply exchange on a scripted line (no logger, no
// echo: every byte comes from the test) and against the simulated logger.
#include "tests/link/link_fixture.h"

namespace {

TEST(Frame, AppendsStopAtTheBufferEndAndTheCrcKeepsWhatFits)
{
    rx_count = 0;
    for (uint32_t i = 0; i < FRAME_BUFFER_SIZE + 3; ++i) rx_Append(static_cast<uint8_t>(i));
    EXPECT_EQ(rx_count, FRAME_BUFFER_SIZE);
    EXPECT_EQ(rx_frame[FRAME_BUFFER_SIZE - 1], static_cast<uint8_t>(FRAME_BUFFER_SIZE - 1));

    tx_len = 0;
    for (uint32_t i = 0; i < FRAME_BUFFER_SIZE - 1; ++i) tx_Append(static_cast<uint8_t>(i));
    const uint16_t crc = GPS_Crc16(tx_frame, FRAME_BUFFER_SIZE - 1);
    for (int twice = 0; twice < 2; ++twice) {
        GPS_AppendCrc();
        EXPECT_EQ(tx_len, FRAME_BUFFER_SIZE);
        EXPECT_EQ(tx_frame[FRAME_BUFFER_SIZE - 1], crc & 0xFF);
    }
}

TEST(Frame, CheckFrameJudgesRepliesInOrder)
{
    Bytes bad_crc = sealed({0x3C, 0x01, 0x07, 0x01, 0x00});
    bad_crc[6] ^= 0x01;
    const struct {
        const char* what;
        Bytes bytes;
        int expected;
    } rows[] = {
        {"reply without a command byte", sealed({0x3C, 0x01, 0x05}), FRAME_VALID},
        {"reply with data", reply_frame(0x02, {0x11, 0x22}), FRAME_VALID},
        {"nothing", {}, FRAME_TOO_SHORT},
        {"four bytes of a frame", {0x3C, 0x01, 0x04, 0x00}, FRAME_TOO_SHORT},
        {"own request", sealed({0x3E, 0x01, 0x06, 0x02}), FRAME_BAD_START},
        {"leading garbage", {0x00, 0x3C, 0x01, 0x06, 0x02, 0x00}, FRAME_BAD_START},
        {"length byte differs, CRC right", sealed({0x3C, 0x01, 0x08, 0x01, 0x00}), FRAME_BAD_LENGTH},
        {"truncated frame", {0x3C, 0x01, 0x0A, 0x02, 0x11, 0x22}, FRAME_BAD_LENGTH},
        {"wrong CRC", bad_crc, FRAME_BAD_CRC},
    };
    for (const auto& row : rows) {
        set_rx(row.bytes);
        EXPECT_EQ(GPS_CheckFrame(), row.expected) << row.what;
    }
}

const Bytes kRequest = sealed({0x3E, 0x01, 0x07, 0x01, 0xFF});
const Bytes kReply = reply_frame(0x01, {0x00});

class Exchange : public LinkTest {
protected:
    static void set_request(const Bytes& request)
    {
        std::copy(request.begin(), request.end(), tx_frame);
        tx_len = static_cast<uint32_t>(request.size());
    }

    // A fresh scripted line without echo; request empty: receive only.
    void script(const Bytes& request, const Bytes& line)
    {
        fresh_line();
        open_scripted_line(false);
        set_request(request);
        inject(500, line);  // shortly after the exchange has drained the line
    }
};

TEST_F(Exchange, FindsTheEchoAndTheFrameBehindNoiseAndStopsAtABadOne)
{
    // Length byte 10 and ten bytes whose CRC is wrong.
    const Bytes bad = {0x3C, 0x01, 0x0A, 0x01, 0x10, 0x20, 0x30, 0x40, 0x00, 0x00};
    const struct {
        const char* what;
        Bytes request, line;
        int expected;
        Bytes held;
    } rows[] = {
        {"echo, reply", kRequest, kRequest + kReply, EXCHANGE_OK, kReply},
        {"a stray byte, echo", kRequest, Bytes{0x00} + kRequest + kReply, EXCHANGE_OK, kReply},
        {"the start of a request, echo", kRequest, Bytes{0x3E, 0x01, 0x07} + kRequest + kReply, EXCHANGE_OK, kReply},
        {"a frame's worth of noise, echo", kRequest, Bytes(9, 0x55) + kRequest + kReply, EXCHANGE_OK, kReply},
        {"two stray bytes and no echo", kRequest, {0x55, 0x66}, EXCHANGE_NO_ECHO, {0x55, 0x66}},
        {"noise outlasting the echo search", kRequest, Bytes(1000, 0x00) + kRequest + kReply, EXCHANGE_OVERRUN,
         Bytes(7, 0x00)},
        {"an extra start byte", {}, Bytes{0x3C} + kReply, EXCHANGE_OK, kReply},
        {"several start bytes", {}, Bytes{0x3C, 0x3C, 0x3C} + kReply, EXCHANGE_OK, kReply},
        {"a start byte without 0x01", {}, Bytes{0x3C, 0x55} + kReply, EXCHANGE_OK, kReply},
        {"garbage", {}, Bytes{0x00, 0xFF, 0x01, 0x3E} + kReply, EXCHANGE_OK, kReply},
        {"bad frame, one byte more", {}, bad + Bytes{0x77}, EXCHANGE_OVERRUN, bad + Bytes{0x77}},
        {"bad frame, a valid one behind", {}, bad + kReply, EXCHANGE_OVERRUN, bad + Bytes{0x3C}},
        {"bad frame, then rest", {}, bad, EXCHANGE_IDLE, bad},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        script(row.request, row.line);
        EXPECT_EQ(GPS_Transact(row.request.empty() ? 500 : 20, 2000), row.expected);
        EXPECT_EQ(rx_bytes(), row.held);
        EXPECT_EQ(Bytes(tx_frame, tx_frame + tx_len), row.request) << "the request stays for a retry";
    }
}

TEST_F(Exchange, TimeOutsEndTheExchangeAfterTheirSimulatedTime)
{
    // Ticks: the echo search gives up on the pass after 100 ms, the idle rule
    // on the fifth pass beyond the gap, the total on the first pass beyond
    // it. A scripted echo is complete at tick 3. The tick counter may wrap.
    const Bytes endless_noise(8000, 0x00);  // about 2.1 s at 38400 baud
    const struct {
        const char* what;
        Bytes request, line;
        uint32_t idle_gap, total;
        int expected;
        uint32_t elapsed, start_tick = 1000;
    } rows[] = {
        {"no echo, total shorter than the echo search", kRequest, {}, 5, 30, EXCHANGE_ECHO_TIMEOUT, 31},
        {"no echo, then idle", kRequest, {}, 20, 2000, EXCHANGE_NO_ECHO, 102 + 21 + 5},
        {"echo, then idle", kRequest, kRequest, 20, 2000, EXCHANGE_IDLE, 3 + 21 + 5},
        {"receive only, nothing", {}, {}, 500, 2000, EXCHANGE_IDLE, 501 + 5},
        {"echo, then a line that never rests", kRequest, kRequest + endless_noise, 20, 2000,
         EXCHANGE_REPLY_TIMEOUT, 2001},
        {"receive only, a line that never rests", {}, endless_noise, 20, 2000, EXCHANGE_REPLY_TIMEOUT, 2001},
        {"echo, then idle, across the wrap", kRequest, kRequest, 20, 2000, EXCHANGE_IDLE, 3 + 21 + 5, 0xFFFFFFFFu - 3},
        {"receive only, nothing, across the wrap", {}, {}, 500, 2000, EXCHANGE_IDLE, 501 + 5, 0xFFFFFFFFu - 200},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        script(row.request, row.line);
        sim_SetTickMs(row.start_tick);
        mark();
        EXPECT_EQ(GPS_Transact(row.idle_gap, row.total), row.expected);
        EXPECT_EQ(elapsed_ms(), row.elapsed);
        EXPECT_EQ(rx_count, 0u) << "no frame start came, nothing is held";
    }
}

TEST_F(Exchange, TakesOneFrameAtATimeAndTheNextRequestDrainsWhatIsLeft)
{
    const Bytes second = reply_frame(0x12, {5, 6, 7, 8, 9});
    script({}, kReply + second + kRequest + reply_frame(0x02, {9, 9}));
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), kReply);
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), second);

    sim_AdvanceUs(10'000);  // an echo and an old answer wait unread
    set_request(kRequest);
    const Bytes fresh = reply_frame(0x01, {7});
    inject(500, kRequest + fresh);
    EXPECT_EQ(GPS_Transact(20, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), fresh);
}

TEST_F(Exchange, RetrySendsTheSameRequestUntilAnsweredPausingAfterEachFailure)
{
    // A failed attempt: its echo (2 ms), the idle rule (26 ms), the pause.
    constexpr uint32_t failed_ms = 2 + 26 + RETRY_PAUSE_MS;
    const struct {
        uint32_t ignored;
        int expected;
        uint32_t requests, min_ms, max_ms;
    } rows[] = {{2, 0, 3, 2 * failed_ms, 2 * failed_ms + 10}, {100, 1, 5, 5 * failed_ms - 3, 5 * failed_ms + 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ignored);
        fresh_line();
        sim_settings.faults.ignore_requests = row.ignored;
        open_adapter();
        set_request(kRequest);
        EXPECT_EQ(GPS_TransactRetry(20), row.expected);
        EXPECT_EQ(written(), repeated(kRequest, row.requests));
        EXPECT_GE(elapsed_ms(), row.min_ms);
        EXPECT_LE(elapsed_ms(), row.max_ms);
    }
}

}  // namespace
