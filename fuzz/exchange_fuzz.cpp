// Fuzz target: one GPS_Transact or GPS_TransactRetry over arbitrary bytes on
// the simulated line, logger disconnected. Input: a mode byte (bits 0..1
// the kind below; 0x04 no echo; bits 3..4 the timing; 0x20 tick wrap;
// 0x40 fast line; 0x80 sealed frames), then for the kinds with a request a
// u16 tx_len (which may exceed the buffer) and its bytes, then the answers
// (fuzz_support.h): one per write, plus one before the exchange for
// RECEIVE_ONLY and STRAY_FIRST.

#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "sim/sim.h"

namespace {

enum Kind : uint8_t { TRANSACT, RETRY, RECEIVE_ONLY, STRAY_FIRST };

// Idle gap and total (ms): command, stream, probe, quick speed command.
constexpr uint32_t TIMINGS[4][2] = {{20, 2000}, {500, 2000}, {5, 30}, {20, 40}};

FuzzInput input{nullptr, 0};

void answer_Request(const uint8_t*, uint32_t count)
{
    fuzz_InjectAnswer(input, count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    input = {data, size};
    const uint8_t mode = input.byte();
    input.seal = (mode & 0x80) != 0;
    const uint8_t kind = mode & 0x03;
    const uint32_t* timing = TIMINGS[(mode >> 3) & 3];

    sim_Reset();
    link_Reset();
    log_Clear();
    sim_settings.logger.connected = false;
    sim_settings.adapter.echo = (mode & 0x04) == 0;
    sim_AdvanceUs(1'000'000 - sim_NowUs() % 1'000'000);
    sim_SetTickMs((mode & 0x20) != 0 ? 0u - 500u : 0u);
    if (usb_Open() != USB_OPEN_OK) fuzz_Fail("the simulated adapter does not open");
    if ((mode & 0x40) != 0) usb_SetBaud(BAUD_FAST);

    if (kind == RECEIVE_ONLY) {
        tx_len = 0;
        fuzz_InjectAnswer(input, 0);
    } else {
        tx_len = input.uint(2) % (FRAME_BUFFER_SIZE + 80);
        for (uint32_t i = 0; i < tx_len && i < FRAME_BUFFER_SIZE; ++i) tx_frame[i] = input.byte();
        if (kind == STRAY_FIRST) fuzz_InjectAnswer(input, 0);
    }

    sim_taps.written = answer_Request;
    const int result = kind == RETRY ? GPS_TransactRetry(timing[0]) : GPS_Transact(timing[0], timing[1]);
    sim_taps.written = nullptr;

    fuzz_CheckInvariants();
    if (result == EXCHANGE_OK && GPS_CheckFrame() != FRAME_VALID) fuzz_Fail("an exchange that took an invalid reply");
    usb_Close();
    return 0;
}
