// Pseudo-terminal server: the simulated logger behind a Linux
// pseudo-terminal, so that a program that drives a real serial port (the Qt
// serial driver, a terminal) can be run against it without hardware.
//
// The program opens the slave side as its serial port and sets its speed
// there (38400, or 250000 through the kernel's custom-rate call); the server
// holds the master side, reads that speed back through it, and plays the
// line in real time: what the program writes goes into sim_LineWrite (so it
// comes back as an echo, and the logger hears it only at its own speed),
// and what sim_LineRead delivers is written back to the program.
//
// One server at a time. It runs in a background thread that alone touches
// the simulator while it runs: set up sim_settings and the tracks before
// sim_PtyStart, and read sim_stats only after sim_PtyStop (the logger's
// byte count excepted, below). Results: 0 = done, -1 = failed (nothing is
// left open).
#pragma once

#include <cstdint>

// Creates the pseudo-terminal pair in raw mode, writes the slave's path into
// path (size bytes, NUL-terminated) and starts serving it. The line comes up
// at 38400 baud until the program sets another speed.
int sim_PtyStart(char* path, uint32_t size);

// Stops serving, closes both sides and takes the line down; does nothing
// when no server runs. To a program that still holds the slave this is a
// pulled adapter: its reads and writes there fail from here on.
void sim_PtyStop();

// sim_stats.bytes_sent as of the server's last turn: every byte the logger
// has put on the line, readable while the server runs.
uint64_t sim_PtyLoggerBytes();
