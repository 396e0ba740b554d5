// Fuzz target: the reply decoders without the line. Input: operations, an
// opcode byte (modulo OP_COUNT) and its little-endian arguments:
//   FRAME       u16 count (mod 521), up to count bytes into rx_frame
//   ADD_TRACE   u32 first_MSG_cnt, u32 range_tail, then add_Trace
//   OPEN_TRACK  u16 track_index (mod 1024), then open_TrackFile
//   SAVE        u16 first_MSG_cnt (mod 32769), then save_Trace once a
//               track path is named
//   DEEP_DIR    u8 n: output_dir n characters deeper (not existing), up
//               to past the path limits
// The rest take no argument. Files go to this process's directory.
#include <cstdio>
#include <string>

#include "download/download.h"
#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "tests/support/temp_dir.h"

namespace {

enum Op : uint8_t {
    FRAME, ADD_HEAD, CHECK_HEADS, NEW_LISTING, ADD_TRACE, OPEN_TRACK, SAVE, IDENTITY, DEEP_DIR, OP_COUNT
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    link_Reset();
    download_Reset();
    log_Clear();
    snprintf(output_dir, sizeof output_dir, "%s", fuzz_Dir());
    bool track_named = false;

    FuzzInput in{data, size};
    while (!in.done()) {
        switch (in.byte() % OP_COUNT) {
        case FRAME: {
            const uint32_t count = in.uint(2) % (FRAME_BUFFER_SIZE + 1);
            for (uint32_t i = 0; i < count && !in.done(); ++i) rx_frame[i] = in.byte();
            rx_count = count;
            break;
        }
        case ADD_HEAD: add_Head(); break;
        case CHECK_HEADS: check_Heads(); break;
        case NEW_LISTING: head_count = 0; break;
        case ADD_TRACE:
            first_MSG_cnt = in.uint(4);
            range_tail = in.uint(4);
            add_Trace();
            break;
        case OPEN_TRACK:
            track_index = int32_t(in.uint(2) % HEADS_MAX);
            track_named |= open_TrackFile() != TRACK_INVALID;
            break;
        case SAVE:
            first_MSG_cnt = in.uint(2) % (ITEMS128B_MAX + 1);
            if (track_named) {
                save_Trace();
                fuzz_EndInput();
            }
            break;
        case IDENTITY: GPS_ShowIdentity(); break;
        case DEEP_DIR:
            snprintf(output_dir, sizeof output_dir, "%s", path_Join(fuzz_Dir(), std::string(in.byte(), 'd')).c_str());
            break;
        }
    }
    fuzz_EndInput();
    return 0;
}
