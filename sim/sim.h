// Simulated logger: a ZORP logger model on the far side of a simulated FT232R
// line, so that a whole download can be watched, tested and measured without
// hardware.
//
// What it owns:
//   - the line: half duplex, so every byte the program writes comes back to
//     it as an echo ahead of the logger's reply; bytes travel at 10 bit times
//     per byte at the sender's baud rate; the adapter and the logger each have
//     a line speed, and while they differ the logger hears garbage (and stays
//     silent) and what it sends arrives garbled;
//   - the logger: commands 0x01, 0x02, 0x03, 0x06 (speed change after the
//     answer, erase), 0x12 (directory summary and listing) and 0x13 (item
//     ranges with their countdown), over a memory of generated tracks;
//   - the faults of a real line, each switched on in sim_settings and
//     reproducible from its seed;
//   - the adapter as a D2XX implementation (sim_d2xx.cpp), which can be absent,
//     carry another description, refuse settings or vanish like a pulled plug.
//
// Time: the line runs on a microsecond timeline read from sim_NowUs(). Two
// libraries provide it: the simulated clock (sim_clock.cpp, which also
// provides the base-services tick and sleep: time moves only when the program
// sleeps, so a 2-second time-out costs no real time) and the real monotonic
// clock (sim_realtime.cpp, for the demo and the pseudo-terminal server).
//
// Not thread-safe: one thread drives the line (the program's, or the
// pseudo-terminal server's).
#pragma once

#include <cstdint>

// ----------------------------------------------------------------- tracks --

constexpr int SIM_TRACKS_MAX = 400;

struct SimTrack {
    uint16_t track_no;            // number stored in the directory record
    uint8_t day, month, year;     // start date; year counted from 2000
    uint8_t hour, minute, second; // time of the first fix
    uint32_t item_count;          // items in the logger's memory
    uint32_t seed;                // varies positions and timing values
    bool timing;                  // items carry non-zero timing values
};

// The logger's memory: tracks lie one after another from item index 0.
extern SimTrack sim_tracks[SIM_TRACKS_MAX];
extern int sim_track_count;

// Appends a track; returns its index, or -1 when the table is full.
int sim_AddTrack(const SimTrack& track);

// The logger's index of a track's first item.
uint32_t sim_TrackFirstItem(int track);

// The NMEA sentence of item i of a track (GGA, RMC and GSA in turn, each with
// its checksum and a closing carriage return): writes it to out (no NUL) and
// returns its length (at most 112).
uint32_t sim_ItemText(int track, uint32_t item, char* out);

// The timing value of item i of a track, in 1/8000 ms; 0 for a track
// without timing.
uint16_t sim_ItemTiming(int track, uint32_t item);

// ---------------------------------------------------------------- settings --

struct SimAdapterSettings {
    bool present;                  // an FTDI adapter is plugged in
    char description[64];          // its USB description
    bool fail_device_list;         // FT_CreateDeviceInfoList fails
    bool fail_flow_control;        // FT_SetFlowControl refused
    bool fail_data_characteristics;
    bool fail_baud_rate;           // FT_SetBaudRate refused
    bool fail_read;                // FT_Read fails
};

struct SimLoggerSettings {
    bool connected;                // false: nothing answers (scripted line)
    uint32_t baud;                 // the logger's line speed at start
    uint16_t id1, id2;             // identity numbers in the 0x02 reply
    uint8_t fw_major, fw_minor;    // firmware version in the 0x02 reply
    uint8_t identity_length;       // length of the 0x02 reply frame
    uint16_t first_track_no;       // track number in the summary reply
    uint32_t answer_delay_us;      // from the end of a request to its answer
    uint32_t item_gap_us;          // pause between two item replies
};

struct SimFaultSettings {
    uint32_t seed;
    uint32_t lose_item_reply_ppm;  // item replies of a range lost whole
    uint32_t lose_reply_ppm;       // any reply lost whole
    uint32_t lose_byte_ppm;        // single bytes lost, logger to adapter
    uint32_t corrupt_byte_ppm;     // single bytes changed, logger to adapter
    uint32_t noise_ppm;            // per reply: random bytes before the frame
    uint32_t late_answer_ms;       // extra delay before every answer
    uint32_t ignore_requests;      // the first N requests go unanswered
    bool silent;                   // the logger answers nothing at all
    uint32_t silent_after_items;   // 0 = off; silent for good after N items
    uint32_t swallow_speed_answers;// N speed-change answers lost; the logger
                                   // still changes its speed
    uint32_t vanish_after_items;   // 0 = off; the adapter is pulled after N
                                   // item replies
};

struct SimSettings {
    SimAdapterSettings adapter;
    SimLoggerSettings logger;
    SimFaultSettings faults;
};

extern SimSettings sim_settings;

// Empties the logger's memory and the line, closes the simulated adapter,
// restores the default settings (adapter present with the right
// description, logger connected at 38400 baud, no faults) and zeroes the
// statistics. Leaves the clock where it is.
void sim_Reset();

// ------------------------------------------------------------ observation --

struct SimStats {
    uint32_t requests_heard;       // valid request frames the logger took
    uint32_t requests_by_command[256];
    uint32_t replies_sent;
    uint32_t item_replies_sent;
    uint32_t item_replies_lost;
    uint64_t bytes_sent;           // every byte the logger put on the line
    uint32_t bytes_lost, bytes_corrupted, noise_bytes;
    uint32_t speed_changes;        // logger speed changes made
    uint32_t erases;
    uint32_t get_status_calls, read_calls, write_calls;
    uint32_t last_read_sizes[8];   // most recent first
};

extern SimStats sim_stats;

// Every byte the program wrote to the adapter, in order (the first
// SIM_WRITTEN_MAX are kept; sim_written_count counts all).
constexpr uint32_t SIM_WRITTEN_MAX = 1u << 20;
extern uint8_t sim_written[SIM_WRITTEN_MAX];
extern uint32_t sim_written_count;

// The speeds in force now.
uint32_t sim_LoggerBaud();
uint32_t sim_AdapterBaud();
bool sim_AdapterOpen();

// ---------------------------------------------------------------- control --

// Pulls the adapter out now (every call on its handle fails from here on) or
// plugs it in again.
void sim_PullAdapter();
void sim_PlugAdapter();

// Scripted line: bytes that arrive at the adapter starting delay_us from now,
// at the adapter's current pace, after whatever is already on the way.
void sim_InjectRx(uint32_t delay_us, const uint8_t* bytes, uint32_t count);

// ------------------------------------------------------------------ clock --

// Now on the line's timeline, in microseconds; provided by the clock library
// linked (simulated or real time).
uint64_t sim_NowUs();

// Simulated clock only: moves time forward, and sets the millisecond tick
// (to test the wrap of the 32-bit counter).
void sim_AdvanceUs(uint64_t us);
void sim_SetTickMs(uint32_t tick);

// ----------------------------------------------------------------- driver --

// Brings the line up to now: delivers what has arrived at either end and
// lets the logger act. The D2XX calls do this themselves; the
// pseudo-terminal server calls it on every turn.
void sim_Advance();

// The line as seen from the adapter's side, for front ends other than the
// in-process D2XX (the pseudo-terminal server): bytes written by the program
// at the adapter's baud rate, bytes that have arrived for it, and setting the
// adapter's speed.
void sim_LineWrite(const uint8_t* bytes, uint32_t count);
uint32_t sim_LineRead(uint8_t* out, uint32_t max);
void sim_LineSetAdapterBaud(uint32_t baud);
