// Track items: the item store of the current track, filled from the stream
// of item replies by their countdown, and the re-requests of lost items.
//
// An item counts as received only when its NMEA sentence checks, or when the
// logger has sent the same item twice: the CRC-16 lets about one damaged
// reply in 65536 through, and a line that drops bytes damages many replies,
// while a sentence the logger recorded with a bad checksum comes back the
// same every time.

#include <cstring>

#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "shell/status_log.h"

uint8_t item_store[ITEMS128B_MAX][ITEM_RECORD_SIZE];
uint8_t item_len[ITEMS128B_MAX];
// The length of a reply held for item i because its sentence did not check;
// it is stored once the same reply comes again. 0 = none held.
static uint8_t item_held_len[ITEMS128B_MAX];
uint32_t first_MSG_cnt;
uint32_t range_tail;
uint32_t read_phase;

constexpr uint8_t CMD_ITEMS = 0x13;
// A driver queue above this holds at least most of another reply, so taking
// it now costs no waiting; below it the window gets its turn first.
constexpr uint32_t STREAM_QUEUE_KEEP_READING = 100;

static uint32_t current_FirstItem()
{
    return read_Uint(head_table[track_index] + HEAD_FIRST_ITEM, 4);
}

int GPS_SndData13(uint32_t first, uint32_t count)
{
    // Only the low 16 bits of the count fit the request.
    return stream_Request(CMD_ITEMS, first, (uint16_t)count) ? CMD_OK : CMD_FAILED_13;
}

// True when the reply carries text within its frame that is an NMEA sentence,
// "$...*hh" and maybe CR or LF, whose checksum is right.
static bool sentence_Checks(const uint8_t* reply, uint32_t length)
{
    const uint32_t text_len = reply[ITEM_TEXT_LEN];
    if (text_len == 0 || ITEM_TEXT + text_len + 2 > length) return false;
    const char* text = reinterpret_cast<const char*>(reply + ITEM_TEXT);
    uint32_t end = text_len;
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n')) --end;
    return nmea_Checks(text, end);
}

uint32_t reply_TextLength(const uint8_t* reply, uint32_t length)
{
    uint32_t stated = reply[ITEM_TEXT_LEN];
    uint32_t room = length > ITEM_TEXT + 2u ? length - ITEM_TEXT - 2u : 0;
    return stated < room ? stated : room;
}

// True when two replies carry the same item: its text length, its text and
// its timing value. The countdown and the other bytes depend on the request
// that brought the copy, so a copy from a whole-track pass confirms one from
// a single-item request.
static bool same_Item(const uint8_t* a, uint32_t a_length, const uint8_t* b, uint32_t b_length)
{
    uint32_t text = reply_TextLength(a, a_length);
    return a[ITEM_TEXT_LEN] == b[ITEM_TEXT_LEN] && text == reply_TextLength(b, b_length) &&
           memcmp(a + ITEM_TIMING, b + ITEM_TIMING, 2) == 0 && memcmp(a + ITEM_TEXT, b + ITEM_TEXT, text) == 0;
}

int add_Trace()
{
    uint32_t position = range_tail + read_Uint(rx_frame + ITEM_REMAINING, 3);
    if (position > first_MSG_cnt) {
        log_AddLinef("Error add_Trace, pos>first_MSG_cnt (%u %u)", position, first_MSG_cnt);
        return TRACE_REFUSED;
    }
    uint32_t index = first_MSG_cnt - position;
    if (index >= ITEMS128B_MAX) {
        log_AddLinef("Error add_Trace, pos>=ITEMS128B_MAX (%u %u)", index, ITEMS128B_MAX);
        return TRACE_REFUSED;
    }
    if (rx_count > ITEM_RECORD_SIZE || !reply_Plausible()) return TRACE_REFUSED;
    if (!sentence_Checks(rx_frame, rx_count)) {
        // Held where the item goes, as long as no copy has been received,
        // until a second copy confirms it.
        if (item_len[index] != 0) return TRACE_REFUSED;
        bool confirmed = item_held_len[index] != 0 && same_Item(item_store[index], item_held_len[index], rx_frame, rx_count);
        if (!confirmed) {
            item_held_len[index] = (uint8_t)rx_count;
            memcpy(item_store[index], rx_frame, rx_count);
            return TRACE_HELD;
        }
    }
    item_held_len[index] = 0;
    item_len[index] = (uint8_t)rx_count;
    memcpy(item_store[index], rx_frame, rx_count);
    return TRACE_STORED;
}

void items_Clear()
{
    memset(item_len, 0, sizeof item_len);
    memset(item_held_len, 0, sizeof item_held_len);
}

uint32_t count_Missing()
{
    uint32_t missing = 0;
    for (uint32_t i = 0; i < first_MSG_cnt; ++i) missing += item_len[i] == 0;
    return missing;
}

// A request the logger left unanswered may mean that logger and adapter
// are at different line speeds.
static int recover_Line()
{
    int result = GPS_LineSpeedUp();
    return result != CMD_OK ? result : READ_AGAIN;
}

static int request_Track()
{
    // The store holds ITEMS128B_MAX items; a longer track is read as its
    // first ITEMS128B_MAX items, so every countdown of the range still
    // lands inside the store.
    uint32_t count = head_ItemCount(head_table[track_index]);
    first_MSG_cnt = count < ITEMS128B_MAX ? count : ITEMS128B_MAX;
    // A listed track may hold no items. A request for none goes unanswered,
    // and asking again would hold the download here for good: the pass is
    // over before it starts, and nothing is missing.
    if (first_MSG_cnt == 0) return READ_PASS_OVER;
    if (GPS_SndData13(current_FirstItem(), first_MSG_cnt) != CMD_OK) return recover_Line();
    range_tail = 0;
    add_Trace();
    read_phase = 1;
    return READ_REQUESTED;
}

static int receive_Stream()
{
    for (;;) {
        int result = stream_NextReply();
        if (rx_count == 0) {
            read_phase = 0;
            return 0;
        }
        if (result == EXCHANGE_OK) {
            range_tail = 0;
            add_Trace();
            if (read_Uint(rx_frame + ITEM_REMAINING, 3) == 1) {
                read_phase = 0;
                return 0;
            }
        }
        if (usb_Queued() <= STREAM_QUEUE_KEEP_READING) return 1;
    }
}

int read_Track()
{
    switch (read_phase) {
    case 0: return request_Track();
    case 1: return receive_Stream();
    default: read_phase = 0; return READ_PHASE_RESET;
    }
}

int fill_Gaps()
{
    uint32_t gap = first_MSG_cnt;
    while (gap > 0 && item_len[gap - 1] != 0) --gap;
    if (gap == 0) return GAP_NONE_MISSING;
    uint32_t index = gap - 1;

    if (GPS_SndData13(current_FirstItem() + index, 1) != CMD_OK) return recover_Line();
    range_tail = first_MSG_cnt - index - 1;
    int stored = add_Trace();
    return stored == TRACE_STORED ? GAP_STORED : stored == TRACE_HELD ? GAP_HELD : GAP_REFUSED;
}
