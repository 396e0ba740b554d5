// Trace player: the D2XX seam played back from a recorded wire trace (the
// format is described in link/wire_record.h), on the simulated clock, so that
// a session recorded on a real adapter, or on the simulated logger, runs
// again as a test without hardware.
//
// What the program does is checked against the trace: every device-list
// build, open, line setting, write and close must be the trace's next such
// call with the same values (the same bytes, for a write), and returns what
// was recorded. What the adapter received is handed back: the bytes of the
// trace's reads become waiting at the time of the status poll or read that
// first saw them. That time counts from the program's last matched call, so
// a replay that runs a little early or late keeps every reply behind the
// request it answers. Polls and reads are not matched one by one: the
// program may poll more or less often than the recording did.
//
// A mismatch ends the replay: player_Mismatch names the trace line, what the
// trace holds there and what the program did; from then on every call fails
// as on a pulled adapter, so the program winds down by its own rules. A line
// the player cannot read (not an event line, a time stamp or count out of
// range, a read's byte not in hex) ends it the same way, naming the line.
//
// Memory: the trace is read once into a fixed buffer; nothing is allocated.
// Needs the simulated clock (sim_NowUs); link it instead of the simulated
// FT232R, never beside it.
#pragma once

#include <cstdint>

// The largest trace the player takes, the recorder's own limit.
constexpr uint32_t PLAYER_TRACE_MAX = 64u << 20;

// Loads the trace at path and starts its clock now. 0, or -1 when the file
// cannot be read, is not a wire trace or is longer than PLAYER_TRACE_MAX
// (player_Mismatch says which).
int player_Start(const char* path);

// Once the program has finished: a mismatch when the trace still holds calls
// that the program did not make.
void player_Finish();

// "" while the program has matched the trace; else what went wrong.
const char* player_Mismatch();
