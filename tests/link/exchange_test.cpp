// The request/reply exchange on a scripted line (echo off, no logger: every
// byte comes from the test) and against the simulated logger: echo search,
// frame synchronisation, idle and total time-outs measured on the simulated
// clock, overrun, streams, retries and the wrap of the tick counter.
#include "tests/link/link_fixture.h"

namespace {

const Bytes kRequest = sealed({0x3E, 0x01, 0x07, 0x01, 0xFF});
const Bytes kReply = reply_frame(0x01, {0x00});

class Exchange : public LinkTest {
protected:
    // Nothing comes back on its own: no echo, no logger.
    static void open_scripted_line()
    {
        sim_settings.adapter.echo = false;
        LinkTest::open_scripted_line();
    }

    static void set_request(const Bytes& request)
    {
        memcpy(tx_frame, request.data(), request.size());
        tx_len = static_cast<uint32_t>(request.size());
    }

    // Scripted bytes start shortly after the exchange has drained the line.
    static void script(const Bytes& bytes) { inject(500, bytes); }
};

TEST_F(Exchange, EchoIsFoundBehindStrayBytesAndTheReplyTaken)
{
    struct Row {
        const char* what;
        Bytes stray;
    };
    const Row rows[] = {
        {"no stray bytes", {}},
        {"one stray byte", {0x00}},
        {"the start of a request", {0x3E, 0x01, 0x07}},
        {"a whole frame's worth of noise", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_scripted_line();
        set_request(kRequest);
        script(row.stray + kRequest + kReply);
        EXPECT_EQ(GPS_Transact(20, 2000), EXCHANGE_OK);
        EXPECT_EQ(rx_bytes(), kReply);
        EXPECT_EQ(Bytes(tx_frame, tx_frame + tx_len), kRequest) << "the request stays for a retry";
        usb_Close();
    }
}

TEST_F(Exchange, TimeOutsEndTheExchangeAfterTheirSimulatedTime)
{
    // Elapsed times in ticks: the echo search gives up on the pass after
    // 100 ms, the idle rule fires on the fifth pass beyond the gap, and the
    // total time-out on the first pass beyond it. A scripted echo is complete
    // at tick 3.
    struct Row {
        const char* what;
        bool request;
        Bytes line;
        uint32_t idle_gap, total;
        int expected;
        uint32_t elapsed;
    };
    const Bytes endless_noise(8000, 0x00);  // about 2.1 s at 38400 baud
    const Row rows[] = {
        {"no echo, total shorter than the echo search", true, {}, 5, 30, EXCHANGE_ECHO_TIMEOUT, 31},
        {"no echo, then idle", true, {}, 20, 2000, EXCHANGE_NO_ECHO, 102 + 21 + 5},
        {"echo, then idle", true, kRequest, 20, 2000, EXCHANGE_IDLE, 3 + 21 + 5},
        {"receive only, nothing", false, {}, 500, 2000, EXCHANGE_IDLE, 501 + 5},
        {"echo, then a line that never rests", true, kRequest + endless_noise, 20, 2000, EXCHANGE_REPLY_TIMEOUT,
         2001},
        {"receive only, a line that never rests", false, endless_noise, 20, 2000, EXCHANGE_REPLY_TIMEOUT, 2001},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_scripted_line();
        if (row.request)
            set_request(kRequest);
        else
            tx_len = 0;
        script(row.line);
        mark_time();
        EXPECT_EQ(GPS_Transact(row.idle_gap, row.total), row.expected);
        EXPECT_EQ(elapsed_ms(), row.elapsed);
        if (row.line.size() <= kRequest.size()) {
            EXPECT_EQ(rx_count, 0u) << "no reply byte came, none is held";
        }
        usb_Close();
    }
}

TEST_F(Exchange, BytesLeftFromAFailedEchoSearchStayAheadOfTheReply)
{
    // Fewer bytes than the request stay as they are; noise that outlasts the
    // search leaves a window of junk that the next byte overruns.
    struct Row {
        const char* what;
        Bytes line;
        int expected;
        Bytes held;
    };
    const Row rows[] = {
        {"two stray bytes", {0x55, 0x66}, EXCHANGE_NO_ECHO, {0x55, 0x66}},
        {"noise hides the echo", Bytes(1000, 0x00) + kRequest + kReply, EXCHANGE_OVERRUN, Bytes(7, 0x00)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_scripted_line();
        set_request(kRequest);
        script(row.line);
        EXPECT_EQ(GPS_Transact(20, 2000), row.expected);
        EXPECT_EQ(rx_bytes(), row.held);
    }
}

TEST_F(Exchange, FrameStartIsFoundBehindNoise)
{
    struct Row {
        const char* what;
        Bytes before;
    };
    const Row rows[] = {
        {"an extra start byte", {0x3C}},
        {"several start bytes", {0x3C, 0x3C, 0x3C}},
        {"a start byte not followed by 0x01", {0x3C, 0x55}},
        {"garbage", {0x00, 0xFF, 0x01, 0x3E}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_scripted_line();
        tx_len = 0;
        script(row.before + kReply);
        EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_OK);
        EXPECT_EQ(rx_bytes(), kReply);
    }
}

TEST_F(Exchange, InvalidFrameEndsOnTheNextByteOrWhenTheLineRests)
{
    // Length byte 10 and ten bytes whose CRC is wrong.
    const Bytes bad = {0x3C, 0x01, 0x0A, 0x01, 0x10, 0x20, 0x30, 0x40, 0x00, 0x00};
    struct Row {
        const char* what;
        Bytes line;
        int expected;
        uint32_t count;
    };
    const Row rows[] = {
        {"one byte more than announced", bad + Bytes{0x77}, EXCHANGE_OVERRUN, 11},
        {"a valid frame right behind", bad + kReply, EXCHANGE_OVERRUN, 11},
        {"nothing more", bad, EXCHANGE_IDLE, 10},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        open_scripted_line();
        tx_len = 0;
        script(row.line);
        EXPECT_EQ(GPS_Transact(500, 2000), row.expected);
        EXPECT_EQ(rx_count, row.count);
    }
}

TEST_F(Exchange, ReceiveOnlyDeliversAStreamOneFrameAtATime)
{
    open_scripted_line();
    const Bytes first = reply_frame(0x12, {1, 2, 3, 4});
    const Bytes second = reply_frame(0x12, {5, 6, 7, 8, 9});
    script(first + second);
    tx_len = 0;
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), first);
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), second);
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_IDLE);
    EXPECT_EQ(rx_count, 0u);
}

TEST_F(Exchange, RequestExchangeReadsNoFurtherThanItsReplyAndTheNextOneDrains)
{
    // Behind the reply the line repeats the request and an old answer. The
    // first exchange must leave them unread, the next request must throw them
    // away rather than take the old answer for its own.
    open_scripted_line();
    set_request(kRequest);
    const Bytes stale = reply_frame(0x02, {9, 9});
    script(kRequest + kReply + kRequest + stale);
    EXPECT_EQ(GPS_Transact(20, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), kReply);

    sim_AdvanceUs(10'000);  // the repeated bytes have all arrived
    const Bytes fresh = reply_frame(0x01, {7});
    script(kRequest + fresh);
    EXPECT_EQ(GPS_Transact(20, 2000), EXCHANGE_OK);
    EXPECT_EQ(rx_bytes(), fresh);
}

TEST_F(Exchange, TickWrapDuringAnExchangeIsHarmless)
{
    ASSERT_EQ(usb_Open(), USB_OPEN_OK);
    sim_SetTickMs(0xFFFFFFFFu - 3);
    set_request(kRequest);
    EXPECT_EQ(GPS_Transact(20, 2000), EXCHANGE_OK);

    sim_SetTickMs(0xFFFFFFFFu - 200);
    mark_time();
    tx_len = 0;
    EXPECT_EQ(GPS_Transact(500, 2000), EXCHANGE_IDLE);
    EXPECT_EQ(elapsed_ms(), 501u + 5);
}

TEST_F(Exchange, RetrySendsTheSameRequestUntilAnsweredPausingAfterEachFailure)
{
    // A failed attempt costs its echo (2 ms), the idle rule (26 ms) and a
    // 20 ms pause, also after the fifth.
    constexpr uint32_t failed_attempt_ms = 2 + 26 + RETRY_PAUSE_MS;
    struct Row {
        const char* what;
        uint32_t ignored;
        int expected;
        uint32_t requests;
        uint32_t min_ms, max_ms;
    };
    const Row rows[] = {
        {"answers the third request", 2, 0, 3, 2 * failed_attempt_ms, 2 * failed_attempt_ms + 10},
        {"never answers", 100, 1, 5, 5 * failed_attempt_ms - 3, 5 * failed_attempt_ms + 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim_Reset();
        sim_settings.faults.ignore_requests = row.ignored;
        ASSERT_EQ(usb_Open(), USB_OPEN_OK);
        mark_written();
        mark_time();
        set_request(kRequest);
        EXPECT_EQ(GPS_TransactRetry(20), row.expected);
        Bytes expected;
        for (uint32_t i = 0; i < row.requests; ++i) expected = expected + kRequest;
        EXPECT_EQ(written(), expected);
        EXPECT_GE(elapsed_ms(), row.min_ms);
        EXPECT_LE(elapsed_ms(), row.max_ms);
        usb_Close();
    }
}

}  // namespace
