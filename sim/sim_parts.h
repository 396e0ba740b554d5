// How the simulator's files meet; not for use outside sim/.
//
// The line (sim_line.cpp) keeps the timeline and calls the logger
// (sim_logger.cpp) for each byte that reaches it and for each event the
// logger has scheduled; the logger hands every byte it finishes sending back
// to the line. The logger reads its memory from sim_tracks.cpp. The D2XX
// adapter (sim_d2xx.cpp) sits on the line's adapter side.
//
// Times are microseconds on the sim_NowUs() timeline; SIM_NEVER means "no
// event scheduled".
#pragma once

#include <cstdint>

constexpr uint64_t SIM_NEVER = ~0ull;

// --------------------------------------------------------------- the line --

// The fault PRNG: the next number of the sequence that the fault seed
// starts (seeded on first use after sim_Reset).
uint32_t sim_Random();

// True with a probability of ppm parts per million; draws nothing when ppm
// is 0, so faults that are off do not shift the others' sequence.
bool sim_Chance(uint32_t ppm);

// A byte the logger finished sending at its divisor; the line garbles,
// drops or corrupts it and queues it for the adapter.
void sim_LineFromLogger(uint8_t byte, uint16_t divisor);

// Counts the opens of the line; a D2XX handle is valid only while the line
// is still open from the open that issued it.
uint32_t sim_LineGeneration();

// Whether the adapter is pulled out now.
bool sim_AdapterPulled();

// Microseconds from a start until the end of byte k (0-based) sent at a
// divisor (bit time in 1/8 us), 10 bits per byte, rounded up.
uint64_t sim_ByteEndUs(uint32_t k, uint32_t divisor);

// --------------------------------------------------------------- the logger --

// Back to power-on: speed from the settings, nothing heard, nothing pending.
void sim_LoggerReset();

// A byte reaches the logger at time t, sent at the given divisor.
void sim_LoggerHear(uint8_t byte, uint16_t divisor, uint64_t t);

// The time of the logger's next event, or SIM_NEVER.
uint64_t sim_LoggerNextUs();

// Runs the logger's event due at t (the time sim_LoggerNextUs gave).
void sim_LoggerStep(uint64_t t);

// --------------------------------------------------------------- the tracks --

// Empties the memory.
void sim_TracksReset();

// The track that holds logger item index, or -1 past the end of memory.
int sim_TrackOfItem(uint32_t index);
