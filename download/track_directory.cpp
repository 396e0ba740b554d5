// Track directory: the summary and the full listing of the logger's tracks,
// kept as the reply frames the logger sent.

#include <cstring>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"

uint8_t head_table[HEADS_MAX][HEAD_RECORD_SIZE];
int32_t head_count;
int32_t first_track_id;

constexpr uint8_t CMD_DIRECTORY = 0x12;
constexpr uint32_t DIRECTORY_ALL = 0xFFFFFFFF;

// The listing line of a directory reply or stored record, whose frame is at
// least RECORD_MIN bytes long and starts well.
static void list_Record(const uint8_t* record)
{
    // Replies carrying the item command hold a 16-bit count only.
    uint32_t count = read_Uint(record + HEAD_ITEM_COUNT, record[3] == 0x13 ? 2 : 4);
    if (count == 0) return;
    log_AddLinef("Track %3d: %02u/%02u/%04u (%d items)", (int)read_Uint(record + HEAD_TRACK_NO, 2),
                 record[HEAD_DAY], record[HEAD_MONTH], record[HEAD_YEAR] + 2000u, (int)count);
}

bool heads_cut;

// The replies a logger with more tracks than a listing carries sends after
// the last receive pass are let pass unstored, so that the next request
// does not meet them on the line; a logger that never falls silent is given
// up on after as many passes again.
static void skip_StreamRest()
{
    for (int pass = 0; pass < HEADS_STREAM_PASSES; ++pass) {
        stream_NextReply();
        if (rx_count == 0) return;
        heads_cut = true;
    }
}

// One request and its stream of replies into head_table. 1 when every reply
// arrived whole; 0 when bytes came that formed no valid reply, so that a
// record may be missing; -1 when the request went unanswered.
static int read_Stream(int flag)
{
    head_count = 0;
    heads_cut = false;
    if (!stream_Request(CMD_DIRECTORY, DIRECTORY_ALL, (uint16_t)flag)) return -1;
    add_Head();

    // The rest of the stream arrives unasked; a receive pass that gets no
    // byte at all means the logger has finished.
    bool whole = true;
    for (int pass = 0; pass < HEADS_STREAM_PASSES; ++pass) {
        int result = stream_NextReply();
        if (rx_count == 0) return whole ? 1 : 0;
        if (result == EXCHANGE_OK)
            add_Head();
        else
            whole = false;
    }
    skip_StreamRest();
    return whole ? 1 : 0;
}

// FNV-1a over the stored frames, so that two reads can be compared without
// a second table.
static uint32_t heads_Digest()
{
    uint32_t digest = 2166136261u;
    for (int32_t i = 0; i < head_count; ++i)
        for (uint32_t b = 0; b < head_table[i][2]; ++b) digest = (digest ^ head_table[i][b]) * 16777619u;
    return digest;
}

// True when the listing just read is what a healthy logger sends after a
// summary that announced records: at least one track, each track record
// numbered first_track_id + its position, and a closing record that counts
// no items. A reply lost from the middle shifts the numbers after it, a lost
// closing reply leaves a track in its place, a stale or damaged reply breaks
// the numbering where it stands, and a lone track lost leaves no track.
static bool listing_Plain()
{
    if (head_count < 2) return false;
    for (int32_t i = 0; i + 1 < head_count; ++i)
        if (read_Uint(head_table[i] + HEAD_TRACK_NO, 2) != (uint16_t)(first_track_id + i)) return false;
    return head_ItemCount(head_table[head_count - 1]) == 0;
}

static int heads_Taken(int flag)
{
    heads_reads_made = 0;
    if (flag != 0)
        for (int32_t i = 0; i < head_count; ++i) list_Record(head_table[i]);
    return HEADS_TAKEN;
}

static int heads_Failed()
{
    heads_reads_made = 0;
    head_count = 0;
    heads_cut = false;
    return HEADS_FAILED;
}

// The longest whole read of the directory being read; valid while
// heads_reads_made is not 0.
static int32_t longest_count;
static uint32_t longest_digest;
int32_t heads_reads_made;
bool heads_doubted;
bool heads_confirm_always;

void heads_ConfirmEveryRead()
{
    heads_confirm_always = true;
}

// Judges the read just made of a directory that must be read twice: a track
// is known by its place in the listing, and a reply lost whole at the end
// leaves no trace in its read, so the listing is taken once a read has come
// whole and the same as the longest whole read before it. A read with damage
// seen in it does not count, nor does a listing without a single record.
static int judge_Agreement(int flag, int stream)
{
    if (stream > 0 && (flag == 0 || head_count > 0)) {
        uint32_t digest = heads_Digest();
        if (head_count == longest_count && digest == longest_digest) return heads_Taken(flag);
        if (head_count >= longest_count) longest_count = head_count, longest_digest = digest;
    }
    if (stream >= 0 && heads_reads_made < HEADS_READS_MAX) return HEADS_READ_AGAIN;
    return heads_Failed();
}

int GPS_GetHeads(int flag)
{
    // One read per call keeps the window's tick as short as a single read.
    if (heads_reads_made++ == 0) longest_count = -1;
    int stream = read_Stream(flag);
    if (heads_doubted) return judge_Agreement(flag, stream);
    if (stream < 0) return heads_Failed();
    bool plain = stream > 0 && (flag == 0 ? head_count == 1 : listing_Plain());
    // Before an erase even a plain read waits for a second one to agree; a
    // read that is not plain is doubted all the same, since two reads that
    // lost the same reply agree.
    if (plain) return heads_confirm_always ? judge_Agreement(flag, stream) : heads_Taken(flag);
    // The summary's first track number may be what broke the listing's
    // numbering, so a doubted listing starts over from the summary.
    heads_doubted = true;
    heads_reads_made = 0;
    return flag == 0 ? HEADS_READ_AGAIN : HEADS_SUMMARY_AGAIN;
}

int add_Head()
{
    if (head_count >= HEADS_MAX || rx_count > HEAD_RECORD_SIZE || !reply_Plausible()) return 1;
    memcpy(head_table[head_count], rx_frame, rx_count);
    ++head_count;
    return 0;
}

uint32_t head_ItemCount(const uint8_t* record)
{
    return read_Uint(record + HEAD_ITEM_COUNT, 3);
}

int check_Heads()
{
    if (head_count != 1) return HEADS_NOT_ONE;
    const uint8_t* summary = head_table[0];
    first_track_id = (int32_t)read_Uint(summary + HEAD_TRACK_NO, 2);
    if (head_ItemCount(summary) == 0) return HEADS_NO_RECORDS;
    return summary[HEAD_SUMMARY_MARK] == 0xE0 || summary[HEAD_SUMMARY_MARK] == 0xE1 ? HEADS_RECORDS : HEADS_RECORDS_UNMARKED;
}
