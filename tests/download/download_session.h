// A download session for tests and benchmarks: a fresh temporary program
// directory, the simulated logger, the scripted window, and the tick loop of
// the real window (one sequencer step, then time runs on to the next 20 ms
// tick). Also what the logger's tracks must look like on disk, computed from
// the simulator alone.
//
// Two libraries provide it, by the base services and the adapter they run
// on (link one):
//   - zorp_download_session: the simulated FT232R on the simulated clock, so
//     time moves only when the program sleeps;
//   - zorp_download_session_pty: the logger served on a pseudo-terminal in
//     real time, reached through the Qt serial driver and the POSIX base
//     services, as the program reaches a real adapter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes a temporary directory, points program_dir at it and returns every
// subsystem (sim, link, download, status log, fake window) to its start.
void session_Begin();

// Closes the adapter and removes the temporary directory.
void session_End();

// A new start of the program on the same directory: closes the adapter, as
// the program's exit does, and returns the link, the download, the status
// log and the window to their start. The logger, the adapter's plug and the
// files stay as they are.
void session_Restart();

// Returns the base services' own state to its start: switches the simulated
// files' faults off; the production services keep none. Each library
// defines it; session_Begin calls it.
void session_ResetBaseServices();

// The temporary directory that program_dir names.
const std::string& session_Dir();

// One tick as the window gives it: a sequencer step, then a sleep to the
// next 20 ms tick (none when the step took longer).
void session_Tick();

// Ticks until the sequencer is idle or max_ticks have run; returns the
// number of ticks.
uint32_t session_Run(uint32_t max_ticks = 200000);

// The first item and count of the last item request the program wrote;
// false when the last request was not one. Over a pseudo-terminal only once
// the server has stopped.
bool last_ItemRequest(uint32_t* first, uint32_t* count);

// The file name a logger track gets when it is the position'th track of the
// listing, given the first track number the logger reports.
std::string expected_Name(int track, int track_id);

// The ".txt" and ".imp" contents of a logger track, or of its first items
// ("" for no ".imp").
std::string expected_Text(int track, uint32_t items = UINT32_MAX);
std::string expected_Timing(int track, uint32_t items = UINT32_MAX);

// Checks that every file in the session directory is a complete ".txt" of a
// logger track (listed from track number first_id on) or its ".imp", byte
// for byte, and that no other file (a temporary one) is left. Returns the
// bit mask of the tracks whose ".txt" is there.
uint32_t expect_DiskMatchesLogger(int first_id);

std::string read_WholeFile(const std::string& path);
void write_WholeFile(const std::string& path, const std::string& bytes);

// The names of the files in the session directory, sorted.
std::vector<std::string> session_Files();

// The non-empty status lines, top to bottom.
std::vector<std::string> log_Lines();

// The three-decimal millisecond text with halves rounded up, worked out
// from the exact decimal expansion of the single-precision quotient.
std::string timing_Text(uint16_t timing);

// ---------------------------- over a pseudo-terminal (session_pty only) --

// Serves the logger (set up beforehand: tracks, settings) on a
// pseudo-terminal and opens the slave as the adapter with the Qt serial
// driver, set up as usb_Open sets up the adapter it finds; a pseudo-terminal
// carries no USB description to be found by. The sequencer then starts
// behind its adapter check. False when the pseudo-terminal or the port
// cannot be opened.
bool session_StartOverPty();

// Stops the server: to the program a pulled adapter. The simulator's
// statistics may be read afterwards.
void session_StopPty();
