// A download session for tests and benchmarks: a fresh temporary program
// directory, the simulated logger, the scripted window and the window's tick
// loop, and what the logger's tracks must look like on disk. Link one of:
//   - zorp_download_session: the simulated FT232R on the simulated clock;
//   - zorp_download_session_pty: the logger on a pseudo-terminal in real
//     time, through the Qt serial driver and the POSIX base services.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Begin: a temporary program directory, and every subsystem (sim, link,
// download, status log, fake window, the base services' faults) at its start.
// End: the adapter closed, the directory removed. Restart: a new start of the
// program on the same directory; the logger and the files stay.
void session_Begin();
void session_End();
void session_Restart();
void session_ResetBaseServices();  // each session library's own
const std::string& session_Dir();

// One window tick: a sequencer step, then a sleep to the next 20 ms tick;
// Run ticks until the sequencer is idle or max_ticks have run.
void session_Tick();
uint32_t session_Run(uint32_t max_ticks = 200000);

// First item and count of the last request written, if it asked for items.
bool last_ItemRequest(uint32_t* first, uint32_t* count);

// A logger track's file name under a track ID, and its ".txt" and ".imp"
// contents, whole or of its first items ("" for no ".imp").
std::string expected_Name(int track, int track_id);
std::string expected_Text(int track, uint32_t items = UINT32_MAX);
std::string expected_Timing(int track, uint32_t items = UINT32_MAX);

// Checks that every file in the session directory is a logger track's
// complete ".txt" (IDs from first_id) or its ".imp", byte for byte, and that
// nothing else is there. Returns the bit mask of the tracks saved.
uint32_t expect_DiskMatchesLogger(int first_id);

std::string read_WholeFile(const std::string& path);

// The session directory's file names, sorted; the non-empty status lines.
using Lines = std::vector<std::string>;
Lines session_Files();
Lines log_Lines();

// The timing text worked out from the exact decimal expansion of the
// single-precision quotient, halves rounded up.
std::string timing_Text(uint16_t timing);

// Over a pseudo-terminal (session_pty only): serves the logger set up so far
// and opens the slave as the adapter, set up as usb_Open would; the
// sequencer starts behind its adapter check. False when that fails.
bool session_StartOverPty();

// Stops the server: to the program a pulled adapter.
void session_StopPty();
