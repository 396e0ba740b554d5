// The request/reply exchange: send the request, find and skip its echo on the
// half-duplex line, then collect one reply frame, all bounded by an idle gap
// and a total time-out. Ticks are compared only by unsigned differences, so
// the wrap of the 32-bit counter does no harm.
#include <cstring>

#include "link/gps_link.h"
#include "link/wire_record.h"
#include "seams/base_services.h"

// The idle gap must be exceeded on this many passes in a row: one late poll
// is not yet a silent line.
constexpr uint32_t IDLE_PASSES_TO_END = 5;

// Throws away whatever an earlier exchange left unread.
static void drain_input()
{
    uint8_t discarded;
    while (usb_GetByte(&discarded)) {
    }
}

// Slides the echo window on by one byte.
static void drop_first_rx_byte()
{
    memmove(rx_frame, rx_frame + 1, rx_count - 1);
    --rx_count;
}

// Applies the frame synchronisation to the byte just appended as number
// rx_count: a frame must begin with 0x3C 0x01.
static void synchronise_frame_start(uint8_t byte)
{
    if (rx_count == 2 && byte != FRAME_FIXED_BYTE) {
        // Not a frame after all; the byte may itself start one.
        rx_frame[0] = byte;
        rx_count = 1;
    }
    if (rx_count == 1 && byte != FRAME_START_REPLY) rx_count = 0;
}

// Looks for the echo of the first send_len bytes of tx_frame among the
// incoming bytes: EXCHANGE_IDLE once found (rx_frame emptied; a silent line
// after it is all there is), EXCHANGE_NO_ECHO when the search gave up after
// ECHO_SEARCH_MS (rx_frame keeps what came), or EXCHANGE_ECHO_TIMEOUT.
static int skip_echo(uint32_t send_len, uint32_t start, uint32_t total_timeout_ms)
{
    const uint32_t echo_start = sys_TickCount();
    for (;;) {
        const uint32_t now = sys_TickCount();
        if (now - start > total_timeout_ms) return EXCHANGE_ECHO_TIMEOUT;
        uint8_t byte;
        if (usb_GetByte(&byte)) {
            rx_Append(byte);
            if (rx_count == send_len) {
                if (memcmp(rx_frame, tx_frame, send_len) == 0) {
                    rx_count = 0;
                    return EXCHANGE_IDLE;
                }
                drop_first_rx_byte();
            }
        } else {
            sys_Sleep(1);
        }
        if (now - echo_start > ECHO_SEARCH_MS) return EXCHANGE_NO_ECHO;
    }
}

// Collects one reply frame behind whatever rx_frame holds: EXCHANGE_OK,
// EXCHANGE_OVERRUN, EXCHANGE_REPLY_TIMEOUT, or result_so_far when the line
// goes idle.
static int collect_reply(int result_so_far, uint32_t start, uint32_t idle_gap_ms, uint32_t total_timeout_ms)
{
    uint32_t last_byte = sys_TickCount();
    uint32_t idle_passes = 0;
    uint32_t now = sys_TickCount();
    for (;;) {
        if (now - start > total_timeout_ms) return EXCHANGE_REPLY_TIMEOUT;
        uint8_t byte;
        if (usb_GetByte(&byte)) {
            rx_Append(byte);
            last_byte = now;
            if (rx_count <= 2)
                synchronise_frame_start(byte);
            else if (rx_count >= 5 && GPS_CheckFrame() == FRAME_VALID)
                return EXCHANGE_OK;
        } else {
            sys_Sleep(1);
        }
        if (now - last_byte > idle_gap_ms) {
            if (++idle_passes >= IDLE_PASSES_TO_END) return result_so_far;
        } else {
            idle_passes = 0;
        }
        if (rx_count > 5 && rx_count > rx_frame[2]) return EXCHANGE_OVERRUN;
        now = sys_TickCount();
    }
}

int GPS_Transact(uint32_t idle_gap_ms, uint32_t total_timeout_ms)
{
    const uint32_t start = sys_TickCount();

    if (tx_len == 0) {
        rx_count = 0;
        return collect_reply(EXCHANGE_IDLE, start, idle_gap_ms, total_timeout_ms);
    }

    // tx_len may have been set by hand; never send or compare past the buffer.
    const uint32_t send_len = tx_len < FRAME_BUFFER_SIZE ? tx_len : FRAME_BUFFER_SIZE;
    drain_input();
    if (usb_handle != nullptr) {
        // A failed or short write shows up as a missing echo.
        uint32_t written = 0;
        wire_Write(usb_handle, tx_frame, send_len, &written);
    }
    rx_count = 0;

    const int echo = skip_echo(send_len, start, total_timeout_ms);
    if (echo == EXCHANGE_ECHO_TIMEOUT) return echo;
    return collect_reply(echo, start, idle_gap_ms, total_timeout_ms);
}

int GPS_TransactRetry(uint32_t idle_gap_ms)
{
    for (uint32_t attempt = 0; attempt < RETRY_ATTEMPTS; ++attempt) {
        if (GPS_Transact(idle_gap_ms, EXCHANGE_TOTAL_MS) == EXCHANGE_OK) return 0;
        // Gives the logger a moment between attempts; also after the last.
        sys_Sleep(RETRY_PAUSE_MS);
    }
    return 1;
}
