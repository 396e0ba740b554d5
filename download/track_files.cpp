// Track files: the name of each track's file, the skip test, and the writing
// of the NMEA text file with its timing companion.
//
// A ".txt" file on disk always stands for a whole track: both files are
// written under temporary names beside their final ones, every write and
// close is checked, the companion gets its name first and the text file
// last, without replacing a text file that appeared meanwhile. Whatever
// fails, what this save wrote is removed again, so the next run finds no
// ".txt" and reads the track once more.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

char track_name[PATH_SIZE];
char track_path[PATH_SIZE];

// The companion's final name and the two temporary names.
static char imp_path[PATH_SIZE];
static char txt_temp_path[PATH_SIZE];
static char imp_temp_path[PATH_SIZE];

constexpr char TEMP_SUFFIX[] = ".tmp";
static_assert(sizeof "2255-255-255_255255_66558.txt" - 1 + sizeof TEMP_SUFFIX - 1 == TRACK_TEMP_NAME_MAX);
constexpr uint32_t FIX_TIME_END = 13;

// Output is gathered and written in blocks; a failed write sticks until
// the file is closed.
struct OutputFile {
    int handle;
    bool failed;
    uint32_t fill;
    uint8_t buffer[8192];
};
static OutputFile output;

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

int open_TrackFile()
{
    const uint8_t* record = head_table[track_index];
    int track_id = first_track_id + track_index;
    if (memcmp(record + HEAD_FIX_TEXT, "$GP", 3) != 0) {
        log_AddLinef("Track ID=%3d, invalid item", track_id);
        return -1;
    }

    snprintf(track_name, sizeof track_name, "%04u-%02u-%02u_%02u%02u_%03u.txt", record[HEAD_YEAR] + 2000u,
             record[HEAD_MONTH], record[HEAD_DAY], two_Digits(record + HEAD_FIX_HOUR),
             two_Digits(record + HEAD_FIX_MINUTE), (unsigned)track_id);
    // A path that does not fit is cut and can name no file of this track:
    // the track counts as new, and saving it reports the write error.
    bool fits = path_Fits(snprintf(track_path, sizeof track_path, "%s%c%s", output_dir, sys_PathSeparator(),
                                   track_name));
    bool exists = fits && sys_FileExists(track_path);

    uint32_t items = head_ItemCount(record);
    if (items > ITEMS128B_MAX)
        log_AddLinef("Track ID=%3d has %u items, only the first %u are read", track_id, items, ITEMS128B_MAX);
    log_AddLinef("Track ID=%3d (%5d items), File: %s", track_id, (int)items, track_name);
    log_AppendLast(exists ? " ... exist, skipping" : " ... read GPS data       ");
    return exists ? 1 : 0;
}

bool output_Create(const char* path)
{
    output.handle = sys_FileCreate(path);
    output.failed = output.handle < 0;
    output.fill = 0;
    return !output.failed;
}

static void output_Flush()
{
    if (!output.failed && output.fill > 0 && sys_FileWrite(output.handle, output.buffer, output.fill) != 0)
        output.failed = true;
    output.fill = 0;
}

// Pieces are at most one item record or one GPX point long, far below the
// buffer's size.
void output_Put(const void* data, uint32_t count)
{
    if (count > sizeof output.buffer - output.fill) output_Flush();
    memcpy(output.buffer + output.fill, data, count);
    output.fill += count;
}

// Closes the file in any case; true when every byte reached it.
bool output_Close()
{
    output_Flush();
    bool closed = sys_FileClose(output.handle) == 0;
    return closed && !output.failed;
}

static bool write_Text(const char* path)
{
    if (!output_Create(path)) return false;
    for (uint32_t i = 0; i < first_MSG_cnt; ++i) {
        uint32_t length = item_TextLength(i);
        if (length == 0) continue;
        const uint8_t* text = item_store[i] + ITEM_TEXT;
        output_Put(text, length);
        if (text[length - 1] == '\r') output_Put("\n", 1);
    }
    return output_Close();
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

static bool write_Timing(const char* path)
{
    if (!output_Create(path)) return false;
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
    return output_Close();
}

// The temporary name beside final_path; false, and no name, when it does
// not fit the buffer.
bool temp_Path(char* temp, const char* final_path)
{
    if (path_Fits(snprintf(temp, PATH_SIZE, "%s%s", final_path, TEMP_SUFFIX))) return true;
    temp[0] = '\0';
    return false;
}

// Temporary files this save has created. Only these are ever removed: a
// temporary name that could not be created may be another program's file
// in the making.
static bool txt_temp_made, imp_temp_made;

static bool write_Temp(bool (*write)(const char*), const char* temp, bool* made)
{
    bool written = write(temp);
    *made = output.handle >= 0;
    return written;
}

static int fail_Save(const char* final_path)
{
    if (txt_temp_made) sys_FileRemove(txt_temp_path);
    if (imp_temp_made) sys_FileRemove(imp_temp_path);
    log_AddLinef("Write error, file:%s", final_path);
    return SAVE_WRITE_ERROR;
}

int save_Trace()
{
    if (count_Missing() == first_MSG_cnt) return SAVE_NOTHING;

    txt_temp_made = imp_temp_made = false;
    if (!temp_Path(txt_temp_path, track_path) || !write_Temp(write_Text, txt_temp_path, &txt_temp_made))
        return fail_Save(track_path);

    bool timed = has_Timing();
    if (timed) {
        // track_path ends in "txt", and the companion's names are no longer.
        snprintf(imp_path, sizeof imp_path, "%s", track_path);
        memcpy(imp_path + strlen(imp_path) - 3, "imp", 3);
        if (!temp_Path(imp_temp_path, imp_path) || !write_Temp(write_Timing, imp_temp_path, &imp_temp_made))
            return fail_Save(imp_path);
        // A companion without its text file is left from a run that ended
        // early, or belongs to the same track saved meanwhile: replacing it
        // is right either way.
        if (sys_FileRename(imp_temp_path, imp_path) != 0) return fail_Save(imp_path);
        imp_temp_made = false;
    }
    // The text file comes last, so it never stands without its companion,
    // and never replaces one that another program saved meanwhile: the track
    // is then on disk, with the companion just given.
    int renamed = sys_FileRenameNoReplace(txt_temp_path, track_path);
    if (renamed == 0) return SAVE_WRITTEN;
    sys_FileRemove(txt_temp_path);
    txt_temp_made = false;
    if (renamed == 1) return SAVE_FOUND_SAVED;
    if (timed && !sys_FileExists(track_path)) sys_FileRemove(imp_path);
    return fail_Save(track_path);
}
