// The download benchmark's measuring and its table, shared by its two
// programs: download_bench on the simulated clock, download_pty_bench over a
// pseudo-terminal in real time. Each row is one fresh download of a
// 10 000-item track at 250000 baud with a share of the item replies lost;
// the session library linked (tests/download/download_session.h) decides
// the clock and the adapter, the measuring is the same on both.
//
// Per row, over the track (from its tick in the fast-line state to the end
// of its saving tick): the time taken, the bytes the logger sent and the
// line-rate limit for them (10 bit times a byte), their ratio, the ticks,
// the whole-range passes and the time of their streaming ticks, the ticks
// of the gap filling (one gap each, the last finds none) and their time,
// the waits for the 500 ms idle gap (a pass whose last reply was lost, a
// lost reply to a single-item request), the program thread's CPU time
// (CLOCK_THREAD_CPUTIME_ID) as a share of the streaming time and over the
// whole track, and the process's peak resident memory (VmHWM, reset before
// each row where the kernel allows). With ZORP_BENCH_TRACE set in the
// environment each row also records a wire trace, written after each tick
// as the window does, and the table gives its size.
#pragma once

#include <cstdint>

// How a row's download starts over its session and stops, and where the
// logger's byte count is read. start may be null (the adapter is found by
// the sequencer itself), and so may stop.
struct BenchSession {
    const char* title;
    bool (*start)();
    void (*stop)();
    uint64_t (*logger_bytes)();
};

// Prints the table, one row per loss rate (0 %, 1 %, 5 %); 0 when every
// row's track was saved whole, 1 otherwise.
int bench_Table(const BenchSession& session);
