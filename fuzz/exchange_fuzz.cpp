#include "fuzz/exchange_fuzz.h"

#include <cstring>

#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/status_log.h"
#include "sim/sim.h"

namespace {

FuzzInput input;

void answer_Request(const uint8_t*, uint32_t count)
{
    input_InjectAnswer(input, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input = {data, size, 0, false};
    const uint8_t mode = input_Byte(input);
    input.seal_frames = (mode & MODE_SEAL_FRAMES) != 0;
    const uint8_t kind = mode & MODE_KIND_MASK;
    const ExchangeTiming timing = EXCHANGE_TIMINGS[(mode >> MODE_TIMING_SHIFT) & 3];

    sim_Reset();
    link_Reset();
    log_Clear();
    sim_settings.logger.connected = false;
    sim_settings.adapter.echo = (mode & MODE_NO_ECHO) == 0;
    sim_AdvanceUs(1'000'000 - sim_NowUs() % 1'000'000);
    sim_SetTickMs((mode & MODE_TICK_WRAP) != 0 ? 0u - 500u : 0u);
    fuzz_Check(usb_Open() == USB_OPEN_OK, "the simulated adapter did not open");
    if ((mode & MODE_FAST_LINE) != 0) usb_SetBaud(BAUD_FAST);

    if (kind == KIND_RECEIVE_ONLY) {
        tx_len = 0;
        input_InjectAnswer(input, 0);
    } else {
        tx_len = input_Uint(input, 2) % EXCHANGE_TX_LEN_RANGE;
        for (uint32_t i = 0; i < tx_len && i < FRAME_BUFFER_SIZE; ++i) tx_frame[i] = input_Byte(input);
        if (kind == KIND_STRAY_FIRST) input_InjectAnswer(input, 0);
    }
    uint8_t request[FRAME_BUFFER_SIZE];
    std::memcpy(request, tx_frame, sizeof request);
    const uint32_t request_len = tx_len;

    sim_taps.written = answer_Request;
    const uint32_t writes_before = sim_stats.write_calls;
    const uint32_t start = sys_TickCount();
    const int result =
        kind == KIND_RETRY ? GPS_TransactRetry(timing.idle_gap_ms) : GPS_Transact(timing.idle_gap_ms, timing.total_ms);
    const uint32_t elapsed = sys_TickCount() - start;
    const uint32_t writes = sim_stats.write_calls - writes_before;
    sim_taps.written = nullptr;

    check_Link();
    check_StatusLog();
    fuzz_Check(std::memcmp(request, tx_frame, sizeof request) == 0 && tx_len == request_len,
               "the exchange changed the request");
    if (kind == KIND_RETRY) {
        fuzz_Check(result == 0 || result == 1, "a retry result other than 0 or 1");
        const bool once_per_attempt = tx_len == 0 ? writes == 0
                                      : result == 0 ? writes >= 1 && writes <= RETRY_ATTEMPTS
                                                    : writes == RETRY_ATTEMPTS;
        fuzz_Check(once_per_attempt, "a retry that did not write its request once per attempt");
        // Each attempt ends at most one pass after its total time.
        fuzz_Check(elapsed <= RETRY_ATTEMPTS * (EXCHANGE_TOTAL_MS + 1 + RETRY_PAUSE_MS),
                   "a retry that outlasted its five attempts");
    } else {
        fuzz_Check(result >= EXCHANGE_OK && result <= EXCHANGE_REPLY_TIMEOUT, "an exchange result out of range");
        if (tx_len == 0) {
            fuzz_Check(result == EXCHANGE_OK || result == EXCHANGE_IDLE || result == EXCHANGE_OVERRUN ||
                           result == EXCHANGE_REPLY_TIMEOUT,
                       "a receive-only exchange with a result only a request can give");
            fuzz_Check(writes == 0, "a receive-only exchange wrote");
        } else {
            fuzz_Check(writes == 1, "a request exchange did not write its request once");
        }
        fuzz_Check(result != EXCHANGE_ECHO_TIMEOUT || timing.total_ms <= ECHO_SEARCH_MS,
                   "the total time ran out in an echo search shorter than it");
        fuzz_Check(elapsed <= timing.total_ms + 1, "an exchange that outlasted its total time by more than a pass");
    }
    if (result == EXCHANGE_OK) fuzz_Check(GPS_CheckFrame() == FRAME_VALID, "success without a valid reply frame");
    usb_Close();
    return 0;
}
