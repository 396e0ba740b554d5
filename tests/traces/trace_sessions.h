// The recorded sessions of tests/traces: their names and how the simulated
// logger is set up for each. Shared by the tool that records them and the
// test that replays them, so that both agree on the names.
#pragma once

#include "sim/sim.h"

struct TraceSession {
    const char* name;
    void (*set_up)();  // after sim_Reset
};

inline const TraceSession TRACE_SESSIONS[] = {
    // Three tracks of a few items each, timing values on the first and third.
    {"three_tracks", [] { sim_AddTracks(3, 1, 5, 7); }},
    // One track of 100 items, 3 % of whose replies are lost: the first pass
    // misses too many, so the track is read whole again, and the one item
    // still missing then is asked for alone.
    {"lost_items", [] {
         sim_AddTracks(1, 1, 100, 11);
         sim_settings.faults.seed = 11;
         sim_settings.faults.lose_item_reply_ppm = 30000;
     }},
    // Two tracks; the adapter is pulled in the middle of the second.
    {"adapter_pulled", [] {
         sim_AddTracks(2, 1, 8, 3);
         sim_settings.faults.vanish_after_items = 12;
     }},
};

// Recording and replay both start on a millisecond boundary of the clock, so
// that every tick of the program falls at the same microsecond.
inline void trace_session_AlignClock()
{
    if (const uint64_t into_ms = sim_NowUs() % 1000; into_ms != 0) sim_AdvanceUs(1000 - into_ms);
}
