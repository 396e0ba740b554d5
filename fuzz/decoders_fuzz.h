// Fuzz target: the code that reads the logger's replies, without the line:
// a program of operations over rx_frame, the directory table, the item
// store and the track files, each followed by its checks.
//
// Input: operations, each an opcode byte (taken modulo OP_COUNT) and its
// arguments, little-endian:
//   OP_FRAME        u16 count (modulo 521), then up to count bytes into
//                   rx_frame; bytes the input lacks keep what was there
//   OP_ADD_HEAD     add_Head           OP_SHOW_HEAD   show_Head
//   OP_CHECK_HEADS  check_Heads        OP_IDENTITY    GPS_ShowIdentity
//   OP_NEW_LISTING  head_count = 0, as each directory request starts
//   OP_ADD_TRACE    u32 first_MSG_cnt, u32 range_tail, then add_Trace
//   OP_OPEN_TRACK   u16 track_index (modulo 1024), then open_TrackFile
//   OP_SAVE         u16 item count (modulo 32769) as first_MSG_cnt, then
//                   save_Trace to the path of the last open that named one
//   OP_DEEP_DIR     u8 n: program_dir becomes a directory n characters
//                   deeper, which does not exist, up to one that leaves no
//                   room for a track path (the path and log line limits)
// Files go to this process's directory, emptied after every save.
#pragma once

#include <cstdint>

enum DecoderOp : uint8_t {
    OP_FRAME,
    OP_ADD_HEAD,
    OP_SHOW_HEAD,
    OP_CHECK_HEADS,
    OP_NEW_LISTING,
    OP_ADD_TRACE,
    OP_OPEN_TRACK,
    OP_SAVE,
    OP_IDENTITY,
    OP_DEEP_DIR,
    OP_COUNT
};
