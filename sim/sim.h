// Simulated logger: a ZORP logger model on the far side of a simulated FT232R
// line, so that a whole download can be watched, tested and measured without
// hardware.
//
// What it owns:
//   - the line: half duplex, so every byte the program writes comes back to
//     it as an echo ahead of the logger's reply; bytes travel at 10 bit times
//     per byte at the sender's baud rate (40 us at 250000 baud) and become
//     visible to the program only once their last bit time has passed; the
//     adapter and the logger each have a line speed, and while they differ
//     the logger hears garbage (and stays silent) and what it sends arrives
//     garbled; the adapter's receive queue holds SIM_RX_QUEUE_SIZE bytes and
//     drops what overflows it, as a real driver overruns;
//   - the logger: commands 0x01, 0x02, 0x03, 0x06 (speed change after the
//     answer, erase), 0x12 (directory summary and listing) and 0x13 (item
//     ranges with their countdown), over a memory of generated tracks;
//   - the faults of a real line, each switched on in sim_settings and
//     reproducible from its seed;
//   - the adapter as a D2XX implementation (sim_d2xx.cpp), which can be absent,
//     carry another description, fail to open for any AdapterCause, refuse
//     settings or vanish like a pulled plug;
//   - the simulated base services (sim_base.cpp): the clock, the program's
//     path, and the files with countdown faults (sim_file_faults).
// The same logger can also be served on a pseudo-terminal (sim_pty.h), for a
// program that drives a real serial port.
//
// What the logger answers (offsets in the reply frame, numbers little-endian;
// each reply is '<' 01 length command ... CRC, at most 142 bytes here):
//   0x01, 0x03, 0x06  7 bytes: the command and its first parameter. 0x06
//                     sub-command 1 with divisor d: the logger listens and
//                     talks at d once this answer has gone out; sub-command
//                     2 with 0xFE01: its memory is erased first.
//   0x02              identity_length bytes: firmware minor at 27, major at
//                     28, id1 at 30..31, id2 at 33..34.
//   0x12, flag 0      one 30-byte summary: 4..7 items in memory, 8..11 the
//                     number of tracks, 13 0xE0, 15..16 first_track_no.
//   0x12, other flag  one record per track: 4..7 its first item, 8..11 its
//                     item count, 14 text length, 15..16 track_no, 19..21
//                     day, month, year, 28.. the text of its item 0; then a
//                     30-byte closing record with count 0.
//   0x13 first count  one reply per item of the range that lies in memory,
//                     back to back: 4..7 its index, 8..10 the items still to
//                     come (1 on the last), 14 text length, 15..16 track_no,
//                     17..18 timing, 19..21 date, 28.. the NMEA text. No
//                     item of the range in memory: no answer.
//   anything else, a bad CRC or a request heard at another speed: silence.
// A request that arrives while a stream runs ends the stream after the
// frame on its way.
//
// Time: the line runs on a microsecond timeline read from sim_NowUs(). Two
// libraries provide it: the simulated clock (sim_base.cpp, which also
// provides the base-services tick and sleep: time moves only when the program
// sleeps, so a 2-second time-out costs no real time) and the real monotonic
// clock (sim_realtime.cpp, for the demo and the pseudo-terminal server).
// Nothing happens on the line between two calls: every D2XX call (or
// sim_Advance) first plays the line forward to now, event by event.
//
// Memory: every table is fixed global data; nothing is allocated and nothing
// throws while the line runs. Item replies are generated when they are sent,
// so a track of any length costs nothing per item.
//
// Settings are plain fields: call sim_Reset() for the defaults, then change
// what the test needs before the program opens the adapter.
//
// Not thread-safe: one thread drives the line (the program's, or the
// pseudo-terminal server's).
#pragma once

#include <cstdint>

#include "seams/d2xx.h"

// ----------------------------------------------------------------- tracks --

constexpr int SIM_TRACKS_MAX = 400;

// Longest NMEA text of an item (it then fits a 142-byte reply frame).
constexpr uint32_t SIM_ITEM_TEXT_MAX = 112;

struct SimTrack {
    uint16_t track_no;            // number stored in the directory record
    uint8_t day, month, year;     // start date; year counted from 2000
    uint8_t hour, minute, second; // time of the first fix
    uint32_t item_count;          // items in the logger's memory
    uint32_t seed;                // varies positions and timing values
    bool timing;                  // items carry non-zero timing values
    uint32_t bad_checksum_every = 0;  // 0 = off; item i with i % N == N - 1
                                      // was recorded with a wrong checksum
};

// The logger's memory: tracks lie one after another from item index 0.
// Change it only through sim_AddTrack (and sim_Reset, or an erase command).
extern SimTrack sim_tracks[SIM_TRACKS_MAX];
extern int sim_track_count;

// Appends a track; returns its index, or -1 when the table is full.
int sim_AddTrack(const SimTrack& track);

// Appends count tracks numbered from first_no, one day apart from
// 2015-07-03 08:45:12, each with items_each items, timing on every other
// track; seeds follow from seed. Returns the number added.
int sim_AddTracks(int count, uint16_t first_no, uint32_t items_each, uint32_t seed);

// The logger's index of a track's first item.
uint32_t sim_TrackFirstItem(int track);

// Items in the logger's whole memory.
uint32_t sim_MemoryItemCount();

// The NMEA sentence of item i of a track (GGA, RMC and GSA in turn, each with
// its checksum, wrong where bad_checksum_every says, and a closing carriage
// return): writes it to out (no NUL) and returns its length (at most
// SIM_ITEM_TEXT_MAX). The fix time is the track's start plus i seconds;
// everything follows from the track's fields and i alone.
uint32_t sim_ItemText(int track, uint32_t item, char* out);

// The timing value of item i of a track, in 1/8000 ms; 0 for a track
// without timing, and for about one item in five of a track with timing.
uint16_t sim_ItemTiming(int track, uint32_t item);

// ---------------------------------------------------------------- settings --

struct SimAdapterSettings {
    bool present;                  // an FTDI adapter is plugged in
    char description[64];          // its USB description
    bool fail_device_list;         // FT_CreateDeviceInfoList fails
    bool fail_flow_control;        // FT_SetFlowControl refused
    bool fail_data_characteristics;// FT_SetDataCharacteristics refused
    bool fail_baud_rate;           // FT_SetBaudRate refused (the adapter
                                   // keeps its speed; 9600 after an open)
    bool fail_read;                // FT_Read fails and delivers nothing
    bool echo;                     // the half-duplex line returns what the
                                   // program writes (default on)
    AdapterCause open_failure;     // the open fails for this cause, which
                                   // d2xx_LastCause then gives: a
                                   // CAUSE_DRIVER_ one fails
                                   // FT_CreateDeviceInfoList (an incomplete
                                   // library lacks FT_GetStatus), any other
                                   // FT_OpenEx; CAUSE_NONE: it opens
};

struct SimLoggerSettings {
    bool connected;                // false: the logger hears nothing (for a
                                   // line scripted with sim_InjectRx; the
                                   // echo still comes)
    uint32_t baud;                 // the logger's line speed at start
    uint16_t id1, id2;             // identity numbers in the 0x02 reply
    uint8_t fw_major, fw_minor;    // firmware version in the 0x02 reply
    uint8_t identity_length;       // length of the 0x02 reply frame (6..255;
                                   // fields that do not fit are left out)
    uint16_t first_track_no;       // track number in the summary reply; a
                                   // healthy logger's first track carries it
                                   // and each next track the next number
    uint32_t answer_delay_us;      // from the end of a request to its answer
    uint32_t item_gap_us;          // pause between two replies of a stream
                                   // (directory listing and item ranges)
};

// Probabilities are in parts per million, drawn from one small PRNG seeded
// from `seed`: the same settings and the same program give the same run.
struct SimFaultSettings {
    uint32_t seed;
    uint32_t lose_item_reply_ppm;  // item replies of a range lost whole (the
                                   // line stays busy for their time)
    uint32_t lose_reply_ppm;       // any reply lost whole, the same way
    uint32_t lose_byte_ppm;        // single bytes lost, logger to adapter
    uint32_t corrupt_byte_ppm;     // single bytes changed, logger to adapter
    uint32_t noise_ppm;            // per reply: 1..16 random bytes before
                                   // the frame
    uint32_t late_answer_ms;       // extra delay before the first reply to
                                   // every request
    uint32_t ignore_requests;      // the first N requests go unanswered
    bool silent;                   // the logger hears (and counts) requests
                                   // but answers nothing
    uint32_t silent_after_items;   // 0 = off; after N item replies the
                                   // logger stops and answers nothing more
    uint32_t swallow_speed_answers;// N speed-change answers lost; the logger
                                   // still changes its speed
    uint32_t vanish_after_items;   // 0 = off; the adapter is pulled 2 ms
                                   // after the Nth item reply has arrived
                                   // (as sim_PullAdapter; the logger goes
                                   // on talking into nothing)
    uint32_t late_answer_ppm;      // 0: late_answer_ms delays the answer to
                                   // every request; otherwise only this
                                   // share of the answers is late
    uint32_t reset_after_items;    // 0 = off; once the Nth item reply has
                                   // gone out the logger restarts: back at
                                   // its starting speed, its stream and any
                                   // request half heard forgotten
    uint32_t lose_listing_reply;   // 0 = off; reply N of the first full
                                   // listing (1 = its first, the track
                                   // count + 1 = the closing record) is lost
                                   // whole
    uint32_t lose_listing_reply_reads;  // that reply is lost from the first
                                        // N full listings (0 or 1: the first)
};

struct SimSettings {
    SimAdapterSettings adapter;
    SimLoggerSettings logger;
    SimFaultSettings faults;
};

extern SimSettings sim_settings;

// Empties the logger's memory and the line, closes the simulated adapter
// (a handle from before is stale), restores the default settings (adapter
// present as "FT232R USB UART" with echo, logger connected at 38400 baud,
// ID 3:1201, firmware 02.0A, a 38-byte identity reply, first track 1,
// answers 1 ms after a request, streams back to back, no faults) and zeroes
// the statistics. Leaves the clock and the file faults where they are.
void sim_Reset();

// sim_Reset, then the demonstration's logger: three tracks of a few hundred
// to a few thousand items, about one item reply in a hundred lost, so the
// gap recovery shows.
void sim_SetUpDemo();

// The demonstration changed by environment variables, as the demo programs
// set themselves up, and the simulated FTD2XX.dll on Windows when the
// program first asks for the device list:
//   ZORP_SIM_LOSS_PPM  item replies lost, parts per million (10000)
//   ZORP_SIM_SEED      the seed of the faults and of generated tracks (2026)
//   ZORP_SIM_TRACKS    N > 0: N generated tracks (sim_AddTracks from track
//                      1, one day apart from 2015-07-03) instead of the
//                      demonstration's three
//   ZORP_SIM_ITEMS     items of each generated track (500)
//   ZORP_SIM_ADAPTER   "absent": no FTDI adapter is plugged in; "denied",
//                      "held", "busy", "broken": the open fails as for a
//                      port this user may not open, one another program
//                      holds, one the driver would not open, one that
//                      fails otherwise; "no-driver", "driver-32-bit",
//                      "driver-incomplete", "driver-unloadable": the driver
//                      library cannot be used, for that reason; "pulled":
//                      the adapter is pulled out in the middle of the
//                      second track
// A variable that is unset or not a whole number keeps its default.
void sim_SetUpFromEnvironment();

// ------------------------------------------------------------ observation --

// What happened since sim_Reset. A reply counts as sent once its last byte
// has gone out, also when it was lost on the way.
struct SimStats {
    uint32_t requests_heard;       // valid request frames the logger took
    uint32_t requests_by_command[256];
    uint32_t replies_sent;         // every reply frame, item replies too
    uint32_t item_replies_sent;
    uint32_t item_replies_lost;    // by either loss setting
    uint64_t bytes_sent;           // every byte the logger put on the line,
                                   // noise and lost replies included
    uint32_t bytes_lost, bytes_corrupted, noise_bytes;
    uint32_t erases;               // erase commands carried out
    uint32_t get_status_calls, read_calls, write_calls;  // D2XX calls made
    uint32_t last_read_sizes[8];   // bytes each FT_Read gave, most recent
                                   // first
    uint32_t replies_lost;         // replies lost whole (item replies too)
    uint32_t requests_ignored;     // heard but left unanswered on purpose
    uint32_t bytes_garbled;        // logger bytes that met another speed
    uint32_t bytes_misheard;       // program bytes the logger heard at
                                   // another speed
    uint32_t rx_overflow;          // bytes dropped at a full receive queue
    uint32_t answers_late;         // answers delayed by late_answer_ms
    uint32_t logger_resets;        // restarts by reset_after_items
};

extern SimStats sim_stats;

// Every byte the program wrote to the adapter, in order (the first
// SIM_WRITTEN_MAX are kept; sim_written_count counts all).
constexpr uint32_t SIM_WRITTEN_MAX = 1u << 20;
extern uint8_t sim_written[SIM_WRITTEN_MAX];
extern uint32_t sim_written_count;

// The adapter's receive queue: bytes beyond it are dropped (rx_overflow).
constexpr uint32_t SIM_RX_QUEUE_SIZE = 1u << 16;

// The speeds in force now. The logger's speed is its divisor (bit time in
// 1/8 us); sim_LoggerBaud gives it as the baud rate it was set up with or
// told (38400 for 208, 250000 for 32), or as 8,000,000 / divisor for a
// divisor that no such rate gives.
uint32_t sim_LoggerBaud();
uint16_t sim_LoggerDivisor();
uint32_t sim_AdapterBaud();
bool sim_AdapterOpen();

// ---------------------------------------------------------------- control --

// Pulls the adapter out now (every call on its handle fails from here on,
// also after sim_PlugAdapter, and bytes on the way are lost) or plugs it in
// again (a new open works).
void sim_PullAdapter();
void sim_PlugAdapter();

// Bytes on the way in each direction; a write or an injection beyond that
// is dropped.
constexpr uint32_t SIM_IN_FLIGHT_MAX = 8192;

// Scripted line: bytes that arrive at the adapter starting delay_us from now,
// at the adapter's current pace, after any echo or injected bytes still on
// the way (the logger's replies are not waited for).
void sim_InjectRx(uint32_t delay_us, const uint8_t* bytes, uint32_t count);

// ------------------------------------------------------------------ clock --

// Now on the line's timeline, in microseconds; provided by the clock library
// linked (simulated or real time).
uint64_t sim_NowUs();

// Simulated clock only: moves time forward, and sets the millisecond tick
// (to test the wrap of the 32-bit counter).
void sim_AdvanceUs(uint64_t us);
void sim_SetTickMs(uint32_t tick);

// Simulated base services only: the path sys_ProgramPath reports (up to
// 1023 bytes, cut to the caller's buffer; "./zorpload" until set).
void sim_SetProgramPath(const char* path);

// ------------------------------------------------------------ file faults --

// One countdown fault in the style of a test VFS: with countdown N > 0 the
// Nth call from now fails (1 = the next one); with persistent set, every
// call after it fails too. countdown 0 means off.
struct SimFileFault {
    uint32_t countdown;
    bool persistent;
    uint32_t failures;             // calls failed so far (read-only)
};

// The file calls a hook sees.
enum SimFileCall : int {
    SIM_CALL_CREATE,
    SIM_CALL_WRITE,
    SIM_CALL_SYNC,
    SIM_CALL_COMMIT,
    SIM_CALL_LOCK,
    SIM_CALL_OPEN_READ,  // an open for reading, the existence check too
};

struct SimFileFaults {
    SimFileFault create;           // the file is not created
    SimFileFault write;            // nothing of that write reaches the file
    SimFileFault close;            // the file is closed, or synced, but
                                   // reports -1 and ends in stray bytes, as
                                   // a lost sync may leave it
    SimFileFault rename;           // a commit renames nothing (the file held
                                   // is removed, as a failed commit does)
    SimFileFault read;             // a read of an open file fails
    SimFileFault lock;             // the folder's lock file cannot be made
    uint64_t lock_held_until_us;   // until then (sim_NowUs) another program
                                   // holds the folder lock
    bool disk_limited;             // when set, disk_free bytes may still be
    uint64_t disk_free;            // written: a write that does not fit
                                   // stores what fits and reports -1
    // Called before each of those calls with its path (null for a write or
    // a sync, which name none), ahead of the faults: a test can hold the
    // program at any step there while another program goes on.
    void (*hook)(SimFileCall call, const char* path);
};

extern SimFileFaults sim_file_faults;

// Switches every file fault off, lets the disk under the files the user
// names flow, and forgets the program path set. Files themselves are the
// system's real ones (POSIX or Win32); the faults sit in front.
void sim_ResetFiles();

// Stalls the disk under the files the user names (a trace, written by a
// writer thread), as a hung network share does, or lets it go on. While it
// stalls, the writer's thread waits before each of its writes and before
// its close, and the program's writes fill its buffer until they find no
// room. Closing the file while the disk stalls breaks the disk: what waits
// fails, and the close reports the data lost at once. The program's own
// files are never stalled.
void sim_StallUserDisk(bool stalled);

// ----------------------------------------------------------------- driver --

// Brings the line up to now: delivers what has arrived at either end and
// lets the logger act. The D2XX calls do this themselves; the
// pseudo-terminal server calls it on every turn.
void sim_Advance();

// The line as seen from the adapter's side, for front ends other than the
// in-process D2XX (the pseudo-terminal server): bytes written by the program
// at the adapter's baud rate, bytes that have arrived for it, and setting the
// adapter's speed. Each first brings the line up to now.
void sim_LineWrite(const uint8_t* bytes, uint32_t count);
uint32_t sim_LineRead(uint8_t* out, uint32_t max);
void sim_LineSetAdapterBaud(uint32_t baud);

// Bytes waiting for the adapter now (after bringing the line up to now).
uint32_t sim_LineAvailable();

// The adapter's side comes up at a baud rate (0: 9600, as an FT232R after an
// open), with empty queues (the D2XX
// open and the pseudo-terminal server call it), or goes down: bytes on the
// way are lost and the adapter's receive queue is emptied.
void sim_LineOpen(uint32_t baud);
void sim_LineClose();

// ------------------------------------------------------------------- taps --

// Watchers on the simulated adapter, for fuzzing and for recording what a
// session received. When set, `written` sees the bytes of every FT_Write
// once they are on the line (it may script the answer with sim_InjectRx, or
// throw to end a harness's run), and `read` the bytes of every FT_Read that
// delivered some. sim_Reset leaves them as they are; clear them when done.
struct SimTaps {
    void (*written)(const uint8_t* bytes, uint32_t count);
    void (*read)(const uint8_t* bytes, uint32_t count);
};

extern SimTaps sim_taps;
