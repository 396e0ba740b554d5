// The recorded sessions of tests/traces: their names and how the simulated
// logger is set up for each, shared by the tool that records them and the
// test that replays them; and the way every replay runs.
#pragma once

#include <cstdint>
#include <string>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/sim.h"
#include "sim/trace_player.h"
#include "tests/download/download_session.h"

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

// Replays a trace in the session begun, until the program is idle or the
// replay has ended, then closes the adapter; the player's mismatch, "" when
// the program followed the whole trace. Needs the trace player.
inline std::string trace_session_Replay(const char* trace)
{
    trace_session_AlignClock();
    if (player_Start(trace) != 0) return player_Mismatch();
    for (uint32_t ticks = 0; ticks < 200000 && seq_state != SEQ_IDLE && *player_Mismatch() == '\0'; ++ticks)
        session_Tick();
    usb_Close();
    player_Finish();
    return player_Mismatch();
}
