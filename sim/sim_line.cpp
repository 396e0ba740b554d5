// The simulated line: the adapter's side of it, its timeline and its faults.
//
// Invariants:
//   - Bytes on the way sit in two rings, each in order of arrival time: to
//     the logger (what the adapter sent, with the divisor it was sent at) and
//     to the adapter (echoes and scripted bytes, at the adapter's pace). The
//     logger's own transmission is timed by the logger itself.
//   - sim_Advance plays every event up to sim_NowUs() in time order, so a
//     byte reaches the receive queue only once its last bit time has passed.
//   - The receive queue holds bytes that have arrived, at most
//     SIM_RX_QUEUE_SIZE; it is only filled while the line is open.
//   - The adapter's transmitter sends one byte after another: a write starts
//     when the previous one has left.
//
// Sections: state, fault PRNG, rings, timeline, adapter side, control, reset.
#include <cstring>

#include "link/gps_link.h"
#include "sim/sim.h"
#include "sim/sim_parts.h"

// ----------------------------------------------------------------- state --

SimSettings sim_settings;
SimStats sim_stats;
uint8_t sim_written[SIM_WRITTEN_MAX];
uint32_t sim_written_count;

namespace {

constexpr uint32_t RING_SIZE = SIM_IN_FLIGHT_MAX;
constexpr uint32_t DEFAULT_ADAPTER_BAUD = 9600;  // an FT232R after an open

struct InFlight {
    uint64_t at_us;
    uint8_t byte;
    uint16_t divisor;  // to the logger: the speed it was sent at
};

struct Ring {
    InFlight slot[RING_SIZE];
    uint32_t head, count;
};

Ring to_logger;
Ring to_adapter;

// The adapter's receive queue: bytes that have arrived, waiting for a read.
uint8_t received[SIM_RX_QUEUE_SIZE];
uint32_t received_head, received_count;

bool line_open;
bool pulled;
uint32_t generation;
uint32_t adapter_baud;
uint64_t adapter_tx_free_us;  // when the adapter's transmitter is idle

uint32_t rng_state;  // 0 = not seeded since the last reset

}  // namespace

// ------------------------------------------------------------ fault PRNG --

uint32_t sim_Random()
{
    if (rng_state == 0) {
        // Spread the seed so that neighbouring seeds differ at once; xorshift
        // must not start from 0.
        uint32_t x = sim_settings.faults.seed * 0x9E3779B9u + 0x7F4A7C15u;
        x ^= x >> 16;
        x *= 0x85EBCA6Bu;
        x ^= x >> 13;
        rng_state = x != 0 ? x : 1;
    }
    rng_state ^= rng_state << 13;
    rng_state ^= rng_state >> 17;
    rng_state ^= rng_state << 5;
    return rng_state;
}

bool sim_Chance(uint32_t ppm)
{
    return ppm != 0 && sim_Random() % 1000000u < ppm;
}

// ----------------------------------------------------------------- rings --

// A full ring drops the byte, as a line that cannot take more would.
static void ring_Push(Ring& ring, uint64_t at_us, uint8_t byte, uint16_t divisor)
{
    if (ring.count == RING_SIZE) return;
    ring.slot[(ring.head + ring.count) % RING_SIZE] = {at_us, byte, divisor};
    ++ring.count;
}

static uint64_t ring_NextUs(const Ring& ring)
{
    return ring.count != 0 ? ring.slot[ring.head].at_us : SIM_NEVER;
}

static InFlight ring_Pop(Ring& ring)
{
    const InFlight first = ring.slot[ring.head];
    ring.head = (ring.head + 1) % RING_SIZE;
    --ring.count;
    return first;
}

static void ring_Clear(Ring& ring)
{
    ring.head = ring.count = 0;
}

static uint64_t ring_LastUs(const Ring& ring)
{
    return ring.count != 0 ? ring.slot[(ring.head + ring.count - 1) % RING_SIZE].at_us : 0;
}

// -------------------------------------------------------------- timeline --

uint64_t sim_ByteEndUs(uint32_t k, uint32_t divisor)
{
    // 10 bits of divisor/8 us each.
    return ((k + 1ull) * divisor * 10 + 7) / 8;
}

// The adapter paces by its own baud rate, which need not be a whole
// divisor.
static uint64_t adapter_ByteEndUs(uint32_t k)
{
    return ((k + 1ull) * 10000000ull + adapter_baud - 1) / adapter_baud;
}

static void received_Push(uint8_t byte)
{
    if (!line_open) return;
    if (received_count == SIM_RX_QUEUE_SIZE) {
        ++sim_stats.rx_overflow;
        return;
    }
    received[(received_head + received_count) % SIM_RX_QUEUE_SIZE] = byte;
    ++received_count;
}

void sim_LineFromLogger(uint8_t byte, uint16_t divisor)
{
    if (!line_open) return;
    if (divisor != GPS_SpeedDivisor(adapter_baud)) {
        // A receiver at another speed samples the wrong bits.
        ++sim_stats.bytes_garbled;
        received_Push(static_cast<uint8_t>(sim_Random()));
        return;
    }
    const SimFaultSettings& faults = sim_settings.faults;
    if (sim_Chance(faults.lose_byte_ppm)) {
        ++sim_stats.bytes_lost;
        return;
    }
    if (sim_Chance(faults.corrupt_byte_ppm)) {
        ++sim_stats.bytes_corrupted;
        byte ^= static_cast<uint8_t>(1u + sim_Random() % 255u);
    }
    received_Push(byte);
}

void sim_Advance()
{
    const uint64_t now = sim_NowUs();
    for (;;) {
        const uint64_t adapter_at = ring_NextUs(to_adapter);
        const uint64_t logger_at = ring_NextUs(to_logger);
        const uint64_t event_at = sim_LoggerNextUs();
        const uint64_t first = adapter_at < logger_at ? adapter_at : logger_at;
        const uint64_t next = first < event_at ? first : event_at;
        if (next > now) return;
        // Ties go to the echo, then to the logger's ear: an answer is never
        // ahead of the request it answers.
        if (next == adapter_at) {
            received_Push(ring_Pop(to_adapter).byte);
        } else if (next == logger_at) {
            const InFlight heard = ring_Pop(to_logger);
            sim_LoggerHear(heard.byte, heard.divisor, heard.at_us);
        } else {
            sim_LoggerStep(next);
        }
    }
}

// ---------------------------------------------------------- adapter side --

void sim_LineWrite(const uint8_t* bytes, uint32_t count)
{
    sim_Advance();
    if (!line_open) return;
    const uint64_t now = sim_NowUs();
    const uint64_t start = adapter_tx_free_us > now ? adapter_tx_free_us : now;
    const uint16_t divisor = GPS_SpeedDivisor(adapter_baud);
    for (uint32_t k = 0; k < count; ++k) {
        if (sim_written_count < SIM_WRITTEN_MAX) sim_written[sim_written_count] = bytes[k];
        ++sim_written_count;
        const uint64_t at = start + adapter_ByteEndUs(k);
        adapter_tx_free_us = at;
        ring_Push(to_logger, at, bytes[k], divisor);
        if (sim_settings.adapter.echo) ring_Push(to_adapter, at, bytes[k], 0);
    }
}

uint32_t sim_LineAvailable()
{
    sim_Advance();
    return received_count;
}

uint32_t sim_LineRead(uint8_t* out, uint32_t max)
{
    sim_Advance();
    const uint32_t n = received_count < max ? received_count : max;
    for (uint32_t i = 0; i < n; ++i) out[i] = received[(received_head + i) % SIM_RX_QUEUE_SIZE];
    received_head = (received_head + n) % SIM_RX_QUEUE_SIZE;
    received_count -= n;
    return n;
}

void sim_LineSetAdapterBaud(uint32_t baud)
{
    // Bytes that arrived before the change were taken at the old speed.
    sim_Advance();
    if (baud != 0) adapter_baud = baud;
}

// Forgets every byte on the way and in the receive queue.
static void line_Drop()
{
    received_head = received_count = 0;
    ring_Clear(to_logger);
    ring_Clear(to_adapter);
}

void sim_LineOpen(uint32_t baud)
{
    sim_Advance();
    line_open = true;
    ++generation;
    adapter_baud = baud != 0 ? baud : DEFAULT_ADAPTER_BAUD;
    adapter_tx_free_us = 0;
    line_Drop();
}

void sim_LineClose()
{
    sim_Advance();
    line_open = false;
    line_Drop();
}

uint32_t sim_LineGeneration()
{
    return generation;
}

uint32_t sim_AdapterBaud()
{
    return adapter_baud;
}

bool sim_AdapterOpen()
{
    return line_open;
}

bool sim_AdapterPulled()
{
    return pulled;
}

// --------------------------------------------------------------- control --

void sim_PullAdapter()
{
    pulled = true;
    // Not sim_LineClose: the logger pulls the plug from inside sim_Advance.
    line_open = false;
    line_Drop();
}

void sim_PlugAdapter()
{
    pulled = false;
}

void sim_InjectRx(uint32_t delay_us, const uint8_t* bytes, uint32_t count)
{
    sim_Advance();
    uint64_t start = sim_NowUs() + delay_us;
    if (ring_LastUs(to_adapter) > start) start = ring_LastUs(to_adapter);
    for (uint32_t k = 0; k < count; ++k) ring_Push(to_adapter, start + adapter_ByteEndUs(k), bytes[k], 0);
}

// ----------------------------------------------------------------- reset --

void sim_Reset()
{
    sim_settings = {};
    SimAdapterSettings& adapter = sim_settings.adapter;
    adapter.present = true;
    std::strcpy(adapter.description, ADAPTER_DESCRIPTION);
    adapter.echo = true;
    SimLoggerSettings& logger = sim_settings.logger;
    logger.connected = true;
    logger.baud = BAUD_BASE;
    logger.id1 = 3;
    logger.id2 = 1201;
    logger.fw_major = 0x02;
    logger.fw_minor = 0x0A;
    logger.identity_length = 38;
    logger.first_track_no = 1;
    logger.answer_delay_us = 1000;
    logger.item_gap_us = 0;

    sim_stats = {};
    sim_written_count = 0;
    rng_state = 0;
    line_open = false;
    pulled = false;
    ++generation;
    adapter_baud = DEFAULT_ADAPTER_BAUD;
    adapter_tx_free_us = 0;
    line_Drop();
    sim_TracksReset();
    sim_LoggerReset();
}
