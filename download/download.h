// Log download: the state machine that runs a whole download tick by tick,
// the track directory, the items of one track with gap recovery, and the
// track files.
//
// All state is fixed global storage that lives for the whole run; nothing is
// allocated per track or per item, and the item store is reused for the next
// track. The sequencer talks to the user only through the status log and the
// window-system seam, reaches files only through the base-services seam, and
// asks the program around it only what download/shell_calls.h lists (the
// output folder, the adapter wait, the way out).
//
// Results follow the link's rule (0 success, 1..10 repeat on the next tick,
// above 10 failure): HeadsResult and ReadTrackResult keep to it. Results of
// another reading have names of their own: HeadsCheck, TraceStore,
// GapResult, TrackFileResult, SaveResult.
//
// A ".txt" track file exists only complete, together with its timing file:
// both are written under temporary names and renamed when whole; a track
// that could not be saved leaves nothing behind, is read again on the next
// run, and keeps the run from ending as a success.
//
// When GPX saving is on (gpx/gpx.h), the sequencer hands each saved track to
// the GPX writer.
//
// The files are written through download/output_file.h.
//
// Sections: sequencer, reply streams, track directory, track items, track
// files.
#pragma once

#include <cstdint>

#include "seams/window_services.h"

// ------------------------------------------------------------- sequencer --

enum SeqState : int32_t {
    SEQ_ADAPTER = 0,
    SEQ_SEARCH = 1,
    SEQ_PROBE = 2,
    SEQ_IDENTIFY = 3,
    SEQ_CMD01 = 4,
    SEQ_CMD03 = 5,
    SEQ_DIR_SUMMARY = 6,
    SEQ_DIR_READ = 7,
    SEQ_NEXT_TRACK = 8,
    SEQ_FAST_LINE = 9,
    SEQ_READ_TRACK = 10,
    SEQ_FILL_GAPS = 11,
    SEQ_SAVE_TRACK = 12,
    SEQ_FINISH = 100,
    SEQ_ERROR_STATES = 9000,  // this value and above end the download
    SEQ_READ_ERROR = 9001,
    SEQ_ASK_EXIT_ERROR = 9002,
    SEQ_ASK_EXIT_DONE = 9990,
    SEQ_IDLE = 9999,
};

// The state the next tick runs; 0 at start, 9999 when no download runs.
extern int32_t seq_state;

// The track being processed, counted from 0 in directory order.
extern int32_t track_index;

// State-10 ticks left before the next progress text (0..20).
extern int32_t progress_countdown;

// Tracks of this run whose files could not be written; the run then ends
// with the error question instead of "Data saved".
extern int32_t tracks_unsaved;

// Runs one step of the download; window owns every box the step opens.
void sequencer_Tick(WindowHandle window);

// Before the first tick, for a run with no folder to save into: the first
// tick asks the "Download error" question without touching the adapter.
void sequencer_FailAtStart();

// True while the status log's last line waits for later ticks to finish it
// in place (the search line's " o.k.", a track's progress): a line added
// meanwhile would be written over.
bool sequencer_LineOpen();

// True once the download has run through every track of the listing rather
// than stopping at a failure.
bool sequencer_RanThrough();

// True while no download runs (seq_state SEQ_IDLE).
bool sequencer_Idle();

// Tracks of this run whose files could not be written so far
// (tracks_unsaved): 0 when every track read was saved.
int32_t sequencer_TracksUnsaved();

// ------------------------------------------------------------ reply streams --

// The directory and the items both come as a stream of replies after one
// request of the same layout: a 32-bit first value, a 16-bit count, 00 00.
constexpr uint32_t STREAM_IDLE_MS = 500;
constexpr uint32_t RECORD_MIN = 12;  // the shortest reply kept as a record

// Sends such a request with retries: true when the logger answered, the
// first reply then lying in rx_frame.
bool stream_Request(uint8_t command, uint32_t first, uint16_t count);

// Receives the next reply of a running stream: an exchange result, with
// rx_count 0 when the line stayed silent (the stream is over).
int stream_NextReply();

// True when rx_frame holds at least RECORD_MIN bytes starting 0x3C 0x01.
bool reply_Plausible();

// --------------------------------------------------------- track directory --

constexpr int HEADS_MAX = 1024;
constexpr int HEAD_RECORD_SIZE = 142;
constexpr int HEADS_STREAM_PASSES = 300;
constexpr int HEADS_READS_MAX = 5;   // reads of a stream until two agree

// Fields of a directory record (offsets into the stored reply).
constexpr int HEAD_FIRST_ITEM = 4;   // 32 bits: the logger's index of item 0
constexpr int HEAD_ITEM_COUNT = 8;   // the low 24 bits are the item count
constexpr int HEAD_SUMMARY_MARK = 13;  // in the summary: 0xE0 or 0xE1
constexpr int HEAD_TRACK_NO = 15;    // 16 bits
constexpr int HEAD_DAY = 19;
constexpr int HEAD_MONTH = 20;
constexpr int HEAD_YEAR = 21;        // minus 2000
constexpr int HEAD_FIX_TEXT = 28;    // NMEA sentence of the first fix
constexpr int HEAD_FIX_HOUR = 35;    // two characters each
constexpr int HEAD_FIX_MINUTE = 37;

// Directory replies as received; head_count records from index 0.
extern uint8_t head_table[HEADS_MAX][HEAD_RECORD_SIZE];
extern int32_t head_count;

// The logger's first track number, taken from the summary reply.
extern int32_t first_track_id;

// Reads of the directory made so far by the GPS_GetHeads calls of one
// request; 0 when none is under way.
extern int32_t heads_reads_made;

// Set once a read of this download was not plainly whole: from then on the
// summary and the listing are each taken only when two reads agree.
extern bool heads_doubted;

// Set when the logger is to be erased after the download: even a plainly
// whole read is then taken only once a second one agrees, since a track
// whose listing reply was lost whole leaves no trace in a single read and
// would be erased unread. Off after download_Reset.
extern bool heads_confirm_always;

// Sets heads_confirm_always for the rest of the download.
void heads_ConfirmEveryRead();

// Set when the stream of the last read went on past its receive passes: the
// logger holds tracks beyond the listing, which this run does not read.
extern bool heads_cut;

enum HeadsResult : int {
    HEADS_TAKEN = 0,
    HEADS_READ_AGAIN = 1,     // call again on the next tick
    HEADS_SUMMARY_AGAIN = 2,  // the listing is doubted: read the summary again
    HEADS_FAILED = 301,       // CMD_FAILED_HEADS (link/gps_link.h)
};

// Requests the directory summary (flag 0) or full listing (flag 255) and
// stores the stream of replies, one read per call, then lists the tracks.
// A read is taken at once when it is plainly whole: no bytes came that
// formed no valid reply, the summary is one record, and every track record
// of the listing (there is one at least) carries first_track_id + its
// position as its number and the closing record counts no items; with
// heads_confirm_always set, only once a later plain read agrees with the
// longest one before it. Otherwise the directory is doubted and each request
// is read until a read agrees with the longest one before it.
// Returns a HeadsResult: HEADS_TAKEN, HEADS_READ_AGAIN, HEADS_SUMMARY_AGAIN
// (read the summary again, then the listing), or HEADS_FAILED when a request
// went unanswered, no two of HEADS_READS_MAX reads agreed, or a listing
// stored no record (head_count is then 0).
int GPS_GetHeads(int flag);

// Stores the reply in rx_frame as the next record: 0, or 1 when refused.
int add_Head();

// The item count of a directory record: the low 24 bits of its count field.
uint32_t head_ItemCount(const uint8_t* record);

enum HeadsCheck : int {
    HEADS_RECORDS = 0,            // the logger holds records
    HEADS_RECORDS_UNMARKED = -2,  // so it does, with a summary mark other than
                                  // 0xE0 or 0xE1; counts as HEADS_RECORDS
    HEADS_NO_RECORDS = 1,
    HEADS_NOT_ONE = -1,           // head_count is not 1
};

// Examines the one summary record and sets first_track_id; a HeadsCheck.
int check_Heads();

// ------------------------------------------------------------ track items --

constexpr uint32_t ITEMS128B_MAX = 32768;
constexpr int ITEM_RECORD_SIZE = 142;

// Fields of an item reply.
constexpr int ITEM_REMAINING = 8;    // 24 bits: items of the range still to come
constexpr int ITEM_TEXT_LEN = 14;
constexpr int ITEM_TIMING = 17;      // 16 bits, in 1/8000 ms
constexpr int ITEM_TEXT = 28;

// Item replies of the current track by position; item_len 0 = not received.
extern uint8_t item_store[ITEMS128B_MAX][ITEM_RECORD_SIZE];
extern uint8_t item_len[ITEMS128B_MAX];

// Items of the current track as read: the directory's count, cut to the
// first ITEMS128B_MAX items of a longer track, so every index below it lies
// inside the store.
extern uint32_t first_MSG_cnt;

// Items of the track that lie after the range just requested.
extern uint32_t range_tail;

// read_Track's phase: 0 = request not sent, 1 = receiving the stream.
extern uint32_t read_phase;

// Requests count items from the logger's item index first: 0 (the first
// reply is in rx_frame) or 213.
int GPS_SndData13(uint32_t first, uint32_t count);

// The text bytes an item reply of length bytes carries inside its own
// frame, before the CRC: its text length, cut where the frame ends.
uint32_t reply_TextLength(const uint8_t* reply, uint32_t length);

enum TraceStore : int {
    TRACE_STORED = 0,
    TRACE_REFUSED = 1,
    TRACE_HELD = 2,  // held back until a second copy confirms it
};

// Stores the item reply in rx_frame at its position; a TraceStore. A reply whose sentence does not check is held back and stored
// only when a copy with the same text length, text and timing value comes
// again; it never replaces an item already received.
int add_Trace();

// Forgets every item of the current track, received or held.
void items_Clear();

// Items of the current track not received yet.
uint32_t count_Missing();

// Results of read_Track, judged as command results.
enum ReadTrackResult : int {
    READ_PASS_OVER = 0,     // at once for a track without items
    READ_AGAIN = 1,         // call again on the next tick
    READ_REQUESTED = 2,     // the request was accepted, its stream follows
    READ_PHASE_RESET = 3,   // read_phase held no phase: it starts again
    READ_LINE_FAILED = 999, // the request went unanswered and the line could
                            // not be set up again (CMD_FAILED_LINE_SPEED)
};

// One step of reading the current track; a ReadTrackResult.
int read_Track();

enum GapResult : int {
    GAP_STORED = 0,
    GAP_NONE_MISSING = -1,
    GAP_REFUSED = -2,        // the reply was refused
    GAP_LINE_RESET = 1,      // the request failed, the line was set up again
    GAP_HELD = 2,            // the logger answered with a copy that waits for a
                             // second one: says nothing against the line
    GAP_LINE_FAILED = 999,   // the line could not be set up again
};

// Fetches the highest-numbered missing item; a GapResult.
int fill_Gaps();

// ------------------------------------------------------------ track files --

constexpr int PATH_SIZE = 260;

// The longest name a track's temporary file can take: the name at its
// widest (a date or time field of three digits, a track ID of five) plus the
// temporary suffix. A folder for track files must leave room for it.
constexpr int TRACK_TEMP_NAME_MAX = 33;

// The current track's file name, and that name inside output_dir.
extern char track_name[PATH_SIZE];
extern char track_path[PATH_SIZE];

enum TrackFileResult : int {
    TRACK_TO_READ = 0,
    TRACK_EXISTS = 1,    // its file exists: skip it
    TRACK_INVALID = -1,  // invalid directory record: skip it
};

// Names the track at track_index and logs its line; a TrackFileResult. A
// path too long for the buffers counts as no file, and saving then fails
// with a write error.
int open_TrackFile();

enum SaveResult : int {
    SAVE_WRITTEN = 0,
    SAVE_FOUND_SAVED = 1,   // a ".txt" of the track appeared meanwhile (another
                            // program's): left as it is, the track counts as saved
    SAVE_NOTHING = -1,      // no item received: no file, no line
    SAVE_WRITE_ERROR = -2,  // nothing left on disk; a line names the file
};

// Writes the current track's files; a SaveResult.
int save_Trace();

// Tracks of this run skipped because their ".txt" existed, by track_index.
extern bool track_skipped[HEADS_MAX];

// Before an erase: whether the ".txt" of every skipped track holds that
// track, as far as can be told without reading it again: it begins with the
// track's first sentence as its directory record carries it, and is at least
// as long as the track's items can make it. 0, or -1 after the line "Not
// erased: <name> does not hold its track" for the first that does not.
int check_SkippedTracks();

// The companion file's millisecond text for a timing value ("8.192"):
// the single-precision quotient with three decimals, halves rounded up.
// Returns the length, as snprintf does.
int format_Timing(char* out, uint32_t size, uint16_t timing);

// True when a formatted length (snprintf's result) fits a path buffer.
bool path_Fits(int length);

// Returns every global of the download to its start value (GPX saving off);
// for start-up and tests.
void download_Reset();
