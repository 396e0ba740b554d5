#include "fuzz/download_fuzz.h"

#include "download/download.h"
#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace {

// Thrown from the write tap when the input has no answer left: what the
// program would do next is time-outs, which an input asks for with empty
// pieces, so the run ends here instead of waiting them out.
struct InputUsedUp {};

FuzzInput input;

void answer_Request(const uint8_t*, uint32_t count)
{
    if (!input_InjectAnswer(input, count)) throw InputUsedUp{};
}

bool known_State(int32_t state)
{
    switch (state) {
    case SEQ_ADAPTER: case SEQ_SEARCH: case SEQ_PROBE: case SEQ_IDENTIFY: case SEQ_CMD01: case SEQ_CMD03:
    case SEQ_DIR_SUMMARY: case SEQ_DIR_READ: case SEQ_NEXT_TRACK: case SEQ_FAST_LINE: case SEQ_READ_TRACK:
    case SEQ_FILL_GAPS: case SEQ_SAVE_TRACK: case SEQ_FINISH: case SEQ_READ_ERROR: case SEQ_ASK_EXIT_ERROR:
    case SEQ_ASK_EXIT_DONE: case SEQ_IDLE:
        return true;
    default:
        return false;
    }
}

void check_Download()
{
    check_StatusLog();
    check_Link();
    fuzz_Check(known_State(seq_state), "sequencer in a state it does not have");
    fuzz_Check(head_count >= 0 && head_count <= 1 + HEADS_STREAM_PASSES, "more directory records than replies read");
    fuzz_Check(track_index >= 0 && track_index <= (head_count > 0 ? head_count - 1 : 0),
               "track index past the directory");
    fuzz_Check(first_MSG_cnt <= ITEMS128B_MAX, "track longer than the item store");
    fuzz_Check(read_phase <= 1, "read phase out of range");
    fuzz_Check(tracks_unsaved == 0, "a track could not be saved to a writable directory");
}

// Scans up to a whole store, so only before a save and at the end.
void check_Items()
{
    // Index first_MSG_cnt takes a reply whose countdown is 0.
    const uint32_t used = first_MSG_cnt < ITEMS128B_MAX ? first_MSG_cnt + 1 : ITEMS128B_MAX;
    for (uint32_t i = 0; i < used; ++i)
        fuzz_Check(item_len[i] == 0 || (item_len[i] >= 12 && item_len[i] <= ITEM_RECORD_SIZE),
                   "item stored with a length no reply can have");
}

}  // namespace

uint32_t fuzz_PlayDownload(const uint8_t* data, size_t size)
{
    input = {data, size, 0, false};
    const uint8_t settings = input_Byte(input);
    input.seal_frames = (settings & FUZZ_SEAL_FRAMES) != 0;
    sim_settings.logger.connected = false;
    sim_settings.adapter.echo = (settings & FUZZ_NO_ECHO) == 0;
    // Every input starts on a whole second, with the same tick, so that it
    // replays the same way whatever ran before it.
    sim_AdvanceUs(1'000'000 - sim_NowUs() % 1'000'000);
    sim_SetTickMs((settings & FUZZ_TICK_WRAP) != 0 ? 0u - 1000u : 0u);

    sim_taps.written = answer_Request;
    uint32_t ticks = 0;
    try {
        for (; ticks < DOWNLOAD_TICKS_MAX && seq_state != SEQ_IDLE; ++ticks) {
            const bool saving = seq_state == SEQ_SAVE_TRACK;
            if (saving) check_Items();
            session_Tick();
            check_Download();
            // A track of which nothing arrived leaves no file.
            if (saving && count_Missing() != first_MSG_cnt) check_SavedTrack();
        }
    } catch (const InputUsedUp&) {
        ++ticks;
    }
    sim_taps.written = nullptr;
    check_Download();
    check_Items();
    return ticks;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    session_Begin();
    // Into this process's directory: session_Begin's is on disk.
    shell_SetProgramDir(fuzz_ProgramFile());
    fuzz_PlayDownload(data, size);
    check_TrackFiles(fuzz_Dir());
    session_End();
    fuzz_EmptyDir();
    return 0;
}
