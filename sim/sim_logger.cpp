// The simulated logger: its ear (a request parser at its own line speed),
// its work (the reply or stream a request asks for) and its mouth (one frame
// at a time, byte by byte at its own pace).
//
// Invariants:
//   - The logger listens at one divisor; a byte sent at another one is
//     garbage to it and throws away the request it was collecting.
//   - At most one frame is on the way; a stream makes its next frame only
//     when the last one has gone out, so nothing is stored per item.
//   - A new request replaces whatever stream was running; the frame on the
//     way is finished first.
//   - A speed change takes effect once the answer to it has gone out, even
//     when that answer is lost on the line.
//
// Sections: state, frames, replies, the mouth, the ear, reset.
#include <algorithm>
#include <cstring>

#include "link/gps_link.h"
#include "sim/sim.h"
#include "sim/sim_parts.h"

// ----------------------------------------------------------------- state --

namespace {

enum Job : uint8_t { JOB_NONE, JOB_REPLY, JOB_LISTING, JOB_ITEMS };

constexpr uint32_t NOISE_MAX = 16;
constexpr uint32_t FRAME_MAX = 255;
constexpr uint32_t SHORT_REPLY_LENGTH = 30;  // summary and closing record
constexpr uint32_t TEXT_OFFSET = 28;
constexpr uint8_t SUMMARY_MARK = 0xE0;
constexpr uint8_t CMD_SET_UP_01 = 0x01, CMD_IDENTITY = 0x02, CMD_SET_UP_03 = 0x03;
constexpr uint8_t CMD_SETTING = 0x06, CMD_DIRECTORY = 0x12, CMD_ITEMS = 0x13;
constexpr uint32_t RANGE_REQUEST_LENGTH = 14;
// How long after the last item it sends the adapter is pulled: long enough
// for a program that polls every millisecond to have taken that item.
constexpr uint64_t VANISH_DELAY_US = 2000;

struct Logger {
    uint16_t divisor;  // the speed it listens and talks at; 0 = the speed
                       // in the settings, until it is told another

    // The ear: the request being collected.
    uint8_t heard[FRAME_MAX];
    uint32_t heard_count;

    // The work: the request being answered and where its stream stands.
    Job job;
    uint64_t job_at;  // next frame's start; SIM_NEVER while one is going out
    uint8_t request[FRAME_MAX];
    uint32_t cursor, end;  // listing: track (end - 1 is the closing record);
                           // items: logger item index
    uint32_t ignored, swallowed;
    uint32_t listings;  // full listings begun
    bool silenced;  // for good
    uint64_t vanish_at;  // when the adapter is to be pulled, or SIM_NEVER

    // The mouth: the frame going out, noise first.
    uint8_t tx[NOISE_MAX + FRAME_MAX];
    uint32_t tx_first, tx_pos, tx_end;
    uint64_t tx_start;
    uint64_t tx_free_at;
    uint16_t tx_divisor;
    uint16_t tx_new_divisor;  // 0, or the speed to take once it has gone out
    bool tx_lost;
    bool tx_item;
};

Logger logger;

}  // namespace

// ---------------------------------------------------------------- frames --

static void put16(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

static void put32(uint8_t* at, uint32_t value)
{
    put16(at, value);
    put16(at + 2, value >> 16);
}

static void frame_Begin(uint8_t* frame, uint32_t length, uint8_t command)
{
    std::memset(frame, 0, length);
    frame[0] = FRAME_START_REPLY;
    frame[1] = FRAME_FIXED_BYTE;
    frame[2] = static_cast<uint8_t>(length);
    frame[3] = command;
}

static uint32_t frame_Seal(uint8_t* frame, uint32_t length)
{
    put16(frame + length - 2, GPS_Crc16(frame, length - 2));
    return length;
}

// --------------------------------------------------------------- replies --

// Commands 0x01, 0x03 and 0x06 are acknowledged with their first parameter.
static uint32_t reply_Ack(uint8_t* frame)
{
    const uint8_t command = logger.request[3];
    frame_Begin(frame, 7, command);
    frame[4] = logger.request[2] > 6 ? logger.request[4] : 0;
    if (command == CMD_SETTING) {
        const uint8_t sub = logger.request[4];
        const uint16_t value = static_cast<uint16_t>(logger.request[5] | logger.request[6] << 8);
        if (sub == SUBCMD_LINE_SPEED && value != 0) logger.tx_new_divisor = value;
        if (sub == SUBCMD_ERASE && value == ERASE_VALUE) {
            sim_TracksReset();
            ++sim_stats.erases;
        }
    }
    return frame_Seal(frame, 7);
}

static uint32_t reply_Identity(uint8_t* frame)
{
    const SimLoggerSettings& settings = sim_settings.logger;
    const uint32_t length = std::max<uint32_t>(settings.identity_length, 6);
    frame_Begin(frame, length, CMD_IDENTITY);
    const uint32_t data_end = length - 2;
    if (data_end >= 29) {
        frame[27] = settings.fw_minor;
        frame[28] = settings.fw_major;
    }
    if (data_end >= 32) put16(frame + 30, settings.id1);
    if (data_end >= 35) put16(frame + 33, settings.id2);
    return frame_Seal(frame, length);
}

static uint32_t reply_Summary(uint8_t* frame)
{
    frame_Begin(frame, SHORT_REPLY_LENGTH, CMD_DIRECTORY);
    put32(frame + 4, sim_MemoryItemCount());
    put32(frame + 8, static_cast<uint32_t>(sim_track_count));
    frame[13] = SUMMARY_MARK;
    put16(frame + 15, sim_settings.logger.first_track_no);
    return frame_Seal(frame, SHORT_REPLY_LENGTH);
}

// A listing record or an item reply of track k, carrying item's text and
// timing: sealed, and returns its length.
static uint32_t track_Record(uint8_t* frame, uint8_t command, int k, uint32_t item, uint32_t first, uint32_t count,
                             uint16_t timing)
{
    const SimTrack& t = sim_tracks[k];
    // The text goes in first: the frame's length depends on it.
    char text[SIM_ITEM_TEXT_MAX];
    const uint32_t text_len = sim_ItemText(k, item, text);
    const uint32_t length = TEXT_OFFSET + text_len + 2;
    frame_Begin(frame, length, command);
    put32(frame + 4, first);
    put32(frame + 8, count);
    frame[14] = static_cast<uint8_t>(text_len);
    put16(frame + 15, t.track_no);
    put16(frame + 17, timing);
    frame[19] = t.day;
    frame[20] = t.month;
    frame[21] = t.year;
    std::memcpy(frame + TEXT_OFFSET, text, text_len);
    return frame_Seal(frame, length);
}

// A track's record, or the closing record after the last track.
static uint32_t reply_Listing(uint8_t* frame, uint32_t track)
{
    if (track >= static_cast<uint32_t>(sim_track_count)) {
        frame_Begin(frame, SHORT_REPLY_LENGTH, CMD_DIRECTORY);
        put32(frame + 4, sim_MemoryItemCount());
        return frame_Seal(frame, SHORT_REPLY_LENGTH);
    }
    const int k = static_cast<int>(track);
    return track_Record(frame, CMD_DIRECTORY, k, 0, sim_TrackFirstItem(k), sim_tracks[k].item_count, 0);
}

static uint32_t reply_Item(uint8_t* frame, uint32_t index)
{
    const int k = sim_TrackOfItem(index);
    const uint32_t item = index - sim_TrackFirstItem(k);
    // The countdown logger.end - index is 1 on the last item of the range.
    return track_Record(frame, CMD_ITEMS, k, item, index, logger.end - index, sim_ItemTiming(k, item));
}

// ------------------------------------------------------------- the mouth --

uint16_t sim_LoggerDivisor()
{
    return logger.divisor != 0 ? logger.divisor : GPS_SpeedDivisor(sim_settings.logger.baud);
}

static bool transmitting()
{
    return logger.tx_pos < logger.tx_end;
}

// The end of the byte going out, or the start of the job's next frame.
static uint64_t mouth_NextUs()
{
    if (transmitting())
        return logger.tx_start + sim_ByteEndUs(logger.tx_pos - logger.tx_first, logger.tx_divisor);
    if (logger.job == JOB_NONE || logger.job_at == SIM_NEVER) return SIM_NEVER;
    return std::max(logger.job_at, logger.tx_free_at);
}

uint64_t sim_LoggerNextUs()
{
    return std::min(mouth_NextUs(), logger.vanish_at);
}

// Builds the next frame of the job and starts sending it at t.
static void frame_Start(uint64_t t)
{
    uint8_t* frame = logger.tx + NOISE_MAX;
    uint32_t length = 0;
    logger.tx_item = false;
    switch (logger.job) {
    case JOB_REPLY:
        if (logger.request[3] == CMD_IDENTITY)
            length = reply_Identity(frame);
        else if (logger.request[3] == CMD_DIRECTORY)
            length = reply_Summary(frame);
        else
            length = reply_Ack(frame);
        logger.job = JOB_NONE;
        break;
    case JOB_LISTING:
        length = reply_Listing(frame, logger.cursor++);
        logger.job_at = SIM_NEVER;
        break;
    case JOB_ITEMS:
        length = reply_Item(frame, logger.cursor++);
        logger.tx_item = true;
        logger.job_at = SIM_NEVER;
        break;
    case JOB_NONE:
        return;
    }

    const SimFaultSettings& faults = sim_settings.faults;
    bool lost = sim_Chance(faults.lose_reply_ppm) || (logger.tx_item && sim_Chance(faults.lose_item_reply_ppm));
    if (logger.job == JOB_LISTING && logger.listings <= std::max(faults.lose_listing_reply_reads, 1u) &&
        logger.cursor == faults.lose_listing_reply)
        lost = true;
    if (logger.tx_new_divisor != 0 && logger.swallowed < faults.swallow_speed_answers) {
        ++logger.swallowed;
        lost = true;
    }
    if (lost) {
        ++sim_stats.replies_lost;
        if (logger.tx_item) ++sim_stats.item_replies_lost;
    }
    uint32_t noise = 0;
    if (sim_Chance(faults.noise_ppm)) {
        noise = 1 + sim_Random() % NOISE_MAX;
        for (uint32_t i = NOISE_MAX - noise; i < NOISE_MAX; ++i) logger.tx[i] = static_cast<uint8_t>(sim_Random());
        sim_stats.noise_bytes += noise;
    }
    logger.tx_lost = lost;
    logger.tx_first = logger.tx_pos = NOISE_MAX - noise;
    logger.tx_end = NOISE_MAX + length;
    logger.tx_start = t;
    logger.tx_divisor = sim_LoggerDivisor();
}

// A restart between two frames: the logger comes back at the speed it
// starts with and has forgotten what it was doing and hearing. A pending
// pull of the adapter is the line's business and stays.
static void logger_Restart()
{
    ++sim_stats.logger_resets;
    logger.divisor = 0;
    logger.heard_count = 0;
    logger.job = JOB_NONE;
    logger.job_at = SIM_NEVER;
    logger.tx_new_divisor = 0;
}

static void frame_Done(uint64_t t)
{
    logger.tx_free_at = t;
    ++sim_stats.replies_sent;
    if (logger.tx_new_divisor != 0) {
        logger.divisor = logger.tx_new_divisor;
        logger.tx_new_divisor = 0;
    }
    if (logger.tx_item) {
        const SimFaultSettings& faults = sim_settings.faults;
        const uint32_t items = ++sim_stats.item_replies_sent;
        if (faults.silent_after_items != 0 && items >= faults.silent_after_items) {
            logger.silenced = true;
            logger.job = JOB_NONE;
        }
        if (faults.vanish_after_items != 0 && items == faults.vanish_after_items)
            logger.vanish_at = t + VANISH_DELAY_US;
        if (faults.reset_after_items != 0 && items == faults.reset_after_items) {
            logger_Restart();
            return;
        }
    }
    // A stream goes on unless a new request has taken its place meanwhile.
    const bool stream = logger.job == JOB_LISTING || logger.job == JOB_ITEMS;
    if (stream && logger.job_at == SIM_NEVER) {
        if (logger.cursor < logger.end)
            logger.job_at = t + sim_settings.logger.item_gap_us;
        else
            logger.job = JOB_NONE;
    }
}

void sim_LoggerStep(uint64_t t)
{
    if (t == logger.vanish_at) {
        logger.vanish_at = SIM_NEVER;
        sim_PullAdapter();
        return;
    }
    if (!transmitting()) {
        frame_Start(t);
        return;
    }
    ++sim_stats.bytes_sent;
    if (!logger.tx_lost) sim_LineFromLogger(logger.tx[logger.tx_pos], logger.tx_divisor);
    if (++logger.tx_pos == logger.tx_end) frame_Done(t);
}

// --------------------------------------------------------------- the ear --

static uint32_t get16(const uint8_t* at)
{
    return at[0] | static_cast<uint32_t>(at[1]) << 8;
}

// Takes a checked request heard complete at t and decides the answer.
static void request_Take(uint64_t t, uint32_t length)
{
    const uint8_t command = logger.heard[3];
    ++sim_stats.requests_heard;
    ++sim_stats.requests_by_command[command];
    const SimFaultSettings& faults = sim_settings.faults;
    if (faults.silent || logger.silenced || logger.ignored < faults.ignore_requests) {
        if (logger.ignored < faults.ignore_requests) ++logger.ignored;
        ++sim_stats.requests_ignored;
        return;
    }

    Job job = JOB_REPLY;
    uint32_t cursor = 0, end = 0;
    switch (command) {
    case CMD_SET_UP_01:
    case CMD_IDENTITY:
    case CMD_SET_UP_03:
        break;
    case CMD_SETTING:
        if (length < 9) return;
        break;
    case CMD_DIRECTORY:
        if (length < RANGE_REQUEST_LENGTH) return;
        if (get16(logger.heard + 8) != 0) {
            job = JOB_LISTING;
            ++logger.listings;
            end = static_cast<uint32_t>(sim_track_count) + 1;
        }
        break;
    case CMD_ITEMS: {
        if (length < RANGE_REQUEST_LENGTH) return;
        // The part of the range that lies in memory; nothing there, no answer.
        const uint64_t first = get16(logger.heard + 4) | static_cast<uint64_t>(get16(logger.heard + 6)) << 16;
        const uint64_t memory = sim_MemoryItemCount();
        const uint64_t last = std::min<uint64_t>(first + get16(logger.heard + 8), memory);
        if (first >= last) return;
        job = JOB_ITEMS;
        cursor = static_cast<uint32_t>(first);
        end = static_cast<uint32_t>(last);
        break;
    }
    default:
        return;
    }
    std::memcpy(logger.request, logger.heard, length);
    logger.job = job;
    logger.cursor = cursor;
    logger.end = end;
    uint64_t late_us = 0;
    if (faults.late_answer_ms != 0 && (faults.late_answer_ppm == 0 || sim_Chance(faults.late_answer_ppm))) {
        ++sim_stats.answers_late;
        late_us = faults.late_answer_ms * 1000ull;
    }
    logger.job_at = t + sim_settings.logger.answer_delay_us + late_us;
}

void sim_LoggerHear(uint8_t byte, uint16_t divisor, uint64_t t)
{
    if (!sim_settings.logger.connected) return;
    if (divisor != sim_LoggerDivisor()) {
        ++sim_stats.bytes_misheard;
        logger.heard_count = 0;
        return;
    }
    uint8_t* heard = logger.heard;
    if (logger.heard_count == 0 && byte != FRAME_START_REQUEST) return;
    if (logger.heard_count == 1 && byte != FRAME_FIXED_BYTE) {
        logger.heard_count = byte == FRAME_START_REQUEST ? 1 : 0;
        return;
    }
    heard[logger.heard_count++] = byte;
    if (logger.heard_count < 3) return;
    const uint32_t length = heard[2];
    if (length < 6) {
        logger.heard_count = 0;
        return;
    }
    if (logger.heard_count < length) return;
    logger.heard_count = 0;
    if (GPS_Crc16(heard, length) == 0) request_Take(t, length);
}

// ----------------------------------------------------------------- reset --

void sim_LoggerReset()
{
    std::memset(&logger, 0, sizeof logger);
    logger.job_at = SIM_NEVER;
    logger.vanish_at = SIM_NEVER;
}

uint32_t sim_LoggerBaud()
{
    const uint32_t known[] = {sim_settings.logger.baud, BAUD_BASE, BAUD_FAST};
    for (const uint32_t baud : known)
        if (GPS_SpeedDivisor(baud) == sim_LoggerDivisor()) return baud;
    return sim_LoggerDivisor() != 0 ? 8000000u / sim_LoggerDivisor() : 0;
}
