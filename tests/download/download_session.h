// A download session for tests and benchmarks: a temporary program directory,
// the simulated logger, the scripted window, the tracks as they must be on disk.
// Link zorp_download_session (simulated FT232R and clock) or ..._pty (real time).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Begin: a fresh directory, every subsystem at its start. End: adapter closed,
// directory removed. Restart: the program again; logger and files stay.
void session_Begin();
void session_End();
void session_Restart();
void session_ResetBaseServices();  // each session library's own
const std::string& session_Dir();
void session_Tick();                                      // one 20 ms window tick, trace written
uint32_t session_Run(uint32_t max_ticks = 200000);        // ticks until idle
// A track's file name under an ID; its ".txt" and ".imp" ("" for none), whole or of its first items.
std::string expected_Name(int track, int track_id);
std::string expected_Text(int track, uint32_t items = UINT32_MAX);
std::string expected_Timing(int track, uint32_t items = UINT32_MAX);
// Each file in the directory must be a track's whole ".txt" (IDs from first_id),
// its ".imp" or its ".gpx"; returns the mask of the tracks saved.
uint32_t expect_DiskMatchesLogger(int first_id);
using Lines = std::vector<std::string>;
Lines session_Files();  // sorted names
Lines log_Lines();      // non-empty status lines
// Pseudo-terminal only: serves the logger and opens the slave as the adapter
// (false on failure); stopping it is to the program a pulled adapter.
bool session_StartOverPty();
void session_StopPty();
