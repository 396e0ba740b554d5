// Track files: the name of each track's file, the skip test, and the writing
// of the NMEA text file with its timing companion.
//
// A ".txt" file on disk always stands for a whole track: both files are
// written under temporary names beside their final ones and held open until
// renamed, every write and sync is checked, the companion gets its name
// first and the text file last, without replacing a text file that appeared
// meanwhile. Whatever fails, what this save wrote is removed again, so the
// next run finds no ".txt" and reads the track once more. Before an erase,
// the files of the tracks skipped as saved are checked to hold them.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "download/shell_calls.h"
#include "download/output_file.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/status_log.h"

char track_name[PATH_SIZE];
char track_path[PATH_SIZE];

// The companion's final name and the two temporary names.
static char imp_path[PATH_SIZE];
static char txt_temp_path[PATH_SIZE];
static char imp_temp_path[PATH_SIZE];

bool track_skipped[HEADS_MAX];

constexpr uint32_t FIX_TIME_END = 13;

// Two-digit fields of a time are not checked to be digits: modulo-256
// arithmetic over whatever the characters are.
static unsigned two_Digits(const uint8_t* chars)
{
    return (uint8_t)((chars[0] - '0') * 10 + (chars[1] - '0'));
}

// Text bytes of item i that lie inside its own frame, before the CRC; 0 for
// an item not received.
static uint32_t item_TextLength(uint32_t i)
{
    return reply_TextLength(item_store[i], item_len[i]);
}

bool path_Fits(int length)
{
    return length >= 0 && length < PATH_SIZE;
}

// Names the track at index into track_name and track_path; false when the
// path does not fit (it is then cut and names no file of this track).
static bool name_Track(int32_t index)
{
    const uint8_t* record = head_table[index];
    snprintf(track_name, sizeof track_name, "%04u-%02u-%02u_%02u%02u_%03u.txt", record[HEAD_YEAR] + 2000u,
             record[HEAD_MONTH], record[HEAD_DAY], two_Digits(record + HEAD_FIX_HOUR),
             two_Digits(record + HEAD_FIX_MINUTE), (unsigned)(first_track_id + index));
    return path_Fits(snprintf(track_path, sizeof track_path, "%s%c%s", shell_OutputDir(), sys_PathSeparator(), track_name));
}

int open_TrackFile()
{
    const uint8_t* record = head_table[track_index];
    int track_id = first_track_id + track_index;
    if (memcmp(record + HEAD_FIX_TEXT, "$GP", 3) != 0) {
        log_AddLinef("Track ID=%3d, invalid item", track_id);
        return TRACK_INVALID;
    }

    // A path that does not fit can name no file of this track: the track
    // counts as new, and saving it reports the write error.
    bool exists = name_Track(track_index) && sys_FileExists(track_path);

    uint32_t items = head_ItemCount(record);
    if (items > ITEMS128B_MAX)
        log_AddLinef("Track ID=%3d has %u items, only the first %u are read", track_id, items, ITEMS128B_MAX);
    log_AddLinef("Track ID=%3d (%5d items), File: %s", track_id, (int)items, track_name);
    log_AppendLast(exists ? " ... exist, skipping" : " ... read GPS data       ");
    return exists ? TRACK_EXISTS : TRACK_TO_READ;
}

// True when the open file begins with the track's first sentence as record
// carries it (with the line feed a carriage return gets) and is as long as
// the track's items make it at least: each item after the first adds one
// byte of text at least.
static bool file_HoldsTrack(int file, const uint8_t* record)
{
    uint8_t first[HEAD_RECORD_SIZE + 1];
    uint32_t length = reply_TextLength(record, record[2]);
    memcpy(first, record + HEAD_FIX_TEXT, length);
    if (length > 0 && first[length - 1] == '\r') first[length++] = '\n';
    uint8_t read[sizeof first];
    uint32_t got = 0;
    for (int count = 1; got < length && count > 0; got += (uint32_t)count)
        if ((count = sys_FileRead(file, read + got, length - got)) < 0) return false;
    uint32_t items = head_ItemCount(record);
    if (items > ITEMS128B_MAX) items = ITEMS128B_MAX;
    const int64_t least = (int64_t)length + (items > 0 ? items - 1 : 0);
    return got == length && memcmp(read, first, length) == 0 && sys_FileSize(file) >= least;
}

int check_SkippedTracks()
{
    for (int32_t index = 0; index < head_count; ++index) {
        if (!track_skipped[index]) continue;
        const int file = name_Track(index) ? sys_FileOpenRead(track_path) : -1;
        const bool holds = file >= 0 && file_HoldsTrack(file, head_table[index]);
        if (file >= 0) sys_FileClose(file);
        if (!holds) {
            log_AddLinef("Not erased: %s does not hold its track", track_name);
            return -1;
        }
    }
    return 0;
}

// Each writer makes its file at path and returns output_Finish's handle, or
// -1 when the file could not be created or written.
static int write_Text(const char* path)
{
    if (!output_Create(path)) return -1;
    for (uint32_t i = 0; i < first_MSG_cnt; ++i) {
        uint32_t length = item_TextLength(i);
        if (length == 0) continue;
        const uint8_t* text = item_store[i] + ITEM_TEXT;
        output_Put(text, length);
        if (text[length - 1] == '\r') output_Put("\n", 1);
    }
    return output_Finish();
}

static bool has_Timing()
{
    for (uint32_t i = 0; i < first_MSG_cnt; ++i)
        if (item_TextLength(i) > 0 && read_Uint(item_store[i] + ITEM_TIMING, 2) != 0)
            return true;
    return false;
}

int format_Timing(char* out, uint32_t size, uint16_t timing)
{
    // The millisecond value is the single-precision quotient, printed with
    // three decimals and exact halves rounded up; the C library's "%.3f"
    // rounds halves to even. The float times 1000 and plus one half are
    // exact in double, so the rounding below is exact too.
    float millis = (float)timing / 8000.0f;
    uint32_t thousandths = (uint32_t)((double)millis * 1000.0 + 0.5);
    return snprintf(out, size, "%u.%03u", thousandths / 1000, thousandths % 1000);
}

static int write_Timing(const char* path)
{
    if (!output_Create(path)) return -1;
    for (uint32_t i = 0; i < first_MSG_cnt; ++i) {
        uint32_t length = item_TextLength(i);
        if (length == 0) continue;
        const uint8_t* item = item_store[i];
        // The time of day stands at text positions 7 to 12 of these two
        // sentences; a text too short to hold it has none.
        bool timed_sentence = length >= FIX_TIME_END && (memcmp(item + ITEM_TEXT, "$GPGGA", 6) == 0 ||
                                                         memcmp(item + ITEM_TEXT, "$GPRMC", 6) == 0);
        unsigned hours = 0, minutes = 0, seconds = 0;
        if (timed_sentence) {
            hours = two_Digits(item + ITEM_TEXT + 7);
            minutes = two_Digits(item + ITEM_TEXT + 9);
            seconds = two_Digits(item + ITEM_TEXT + 11);
        }
        char millis[16];
        format_Timing(millis, sizeof millis, (uint16_t)read_Uint(item + ITEM_TIMING, 2));
        char line[48];
        int line_length = snprintf(line, sizeof line, "%02u:%02u:%02u %s ms\r\n", hours, minutes, seconds, millis);
        output_Put(line, (uint32_t)line_length);
    }
    return output_Finish();
}

// The temporary files of this save, held open until each has its final name
// (-1: none held). Only these are ever removed: a temporary name that could
// not be created may be another program's file in the making.
static int txt_held, imp_held;

static int fail_Save(const char* final_path)
{
    if (txt_held >= 0) sys_FileDiscard(txt_held, txt_temp_path);
    if (imp_held >= 0) sys_FileDiscard(imp_held, imp_temp_path);
    log_AddLinef("Write error, file:%s", final_path);
    return SAVE_WRITE_ERROR;
}

int save_Trace()
{
    if (count_Missing() == first_MSG_cnt) return SAVE_NOTHING;

    txt_held = imp_held = -1;
    if (!temp_Path(txt_temp_path, track_path) || (txt_held = write_Text(txt_temp_path)) < 0)
        return fail_Save(track_path);

    bool timed = has_Timing();
    if (timed) {
        // track_path ends in "txt", and the companion's names are as long.
        snprintf(imp_path, sizeof imp_path, "%s", track_path);
        memcpy(imp_path + strlen(imp_path) - 3, "imp", 3);
        if (!temp_Path(imp_temp_path, imp_path) || (imp_held = write_Timing(imp_temp_path)) < 0)
            return fail_Save(imp_path);
        // A companion without its text file is left from a run that ended
        // early, or belongs to the same track saved meanwhile: replacing it
        // is right either way.
        const int committed = sys_FileCommit(imp_held, imp_temp_path, imp_path, false);
        imp_held = -1;
        if (committed != FILE_COMMITTED) return fail_Save(imp_path);
    }
    // The text file comes last, so it never stands without its companion,
    // and never replaces one that another program saved meanwhile: the track
    // is then on disk, with the companion just given.
    const int committed = sys_FileCommit(txt_held, txt_temp_path, track_path, true);
    txt_held = -1;
    if (committed == FILE_COMMITTED) return SAVE_WRITTEN;
    if (committed == FILE_NAME_TAKEN) return SAVE_FOUND_SAVED;
    if (timed && !sys_FileExists(track_path)) sys_FileRemove(imp_path);
    return fail_Save(track_path);
}
