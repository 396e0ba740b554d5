#include "fuzz/decoders_fuzz.h"

#include <cstring>
#include <string>

#include "download/download.h"
#include "fuzz/fuzz_support.h"
#include "link/gps_link.h"
#include "shell/shell.h"
#include "shell/status_log.h"

namespace {

constexpr uint32_t RECORD_MIN = 12;

bool dir_exists;             // program_dir is this process's directory
bool track_path_named;       // by an open_TrackFile since the input began
bool track_path_writable;    // and it lies whole in an existing directory

void run_Frame(FuzzInput& in)
{
    const uint32_t count = input_Uint(in, 2) % (FRAME_BUFFER_SIZE + 1);
    for (uint32_t i = 0; i < count && !input_Done(in); ++i) rx_frame[i] = input_Byte(in);
    rx_count = count;
}

void run_AddHead()
{
    const int32_t before = head_count;
    const int result = add_Head();
    fuzz_Check(result == 0 || result == 1, "add_Head result out of range");
    if (result == 1) {
        fuzz_Check(head_count == before, "a refused directory reply changed the table");
        return;
    }
    fuzz_Check(head_count == before + 1, "a stored directory reply did not count");
    fuzz_Check(rx_count >= RECORD_MIN && rx_count <= HEAD_RECORD_SIZE, "a directory record of impossible length");
    fuzz_Check(std::memcmp(head_table[before], rx_frame, rx_count) == 0, "a directory record unlike its reply");
}

void run_CheckHeads()
{
    const int result = check_Heads();
    fuzz_Check(result == -1 || result == 0 || result == 1 || result == -2, "check_Heads result out of range");
    if (result != -1)
        fuzz_Check(head_count == 1 && first_track_id >= 0 && first_track_id <= 0xFFFF,
                   "a summary judged from other than one record");
}

void run_AddTrace(FuzzInput& in)
{
    first_MSG_cnt = input_Uint(in, 4);
    range_tail = input_Uint(in, 4);
    const int result = add_Trace();
    fuzz_Check(result == 0 || result == 1, "add_Trace result out of range");
    if (result == 0)
        fuzz_Check(rx_count >= RECORD_MIN && rx_count <= ITEM_RECORD_SIZE && rx_frame[0] == FRAME_START_REPLY &&
                       rx_frame[1] == FRAME_FIXED_BYTE,
                   "an item stored from an implausible reply");
}

void run_OpenTrack(FuzzInput& in)
{
    track_index = int32_t(input_Uint(in, 2) % HEADS_MAX);
    const int result = open_TrackFile();
    fuzz_Check(result >= -1 && result <= 1, "open_TrackFile result out of range");
    if (result == -1) return;
    track_path_named = true;
    const std::string name = track_name;
    fuzz_Check(name.ends_with(".txt"), "a track name without its extension");
    // A path too long for the buffer is cut, and then names no file.
    const std::string path = std::string(program_dir) + "/" + name;
    fuzz_Check(std::string(track_path) == path.substr(0, PATH_SIZE - 1),
               "a track path outside the program's directory");
    fuzz_Check(result == 0 || path.size() < PATH_SIZE, "a cut track path taken for an existing file");
    // Written first under a temporary name, ".tmp" longer.
    track_path_writable = dir_exists && path.size() + 4 < PATH_SIZE;
}

void run_DeepDir(FuzzInput& in)
{
    const uint32_t depth = input_Byte(in);
    const std::string program_file = std::string(fuzz_Dir()) + "/" + std::string(depth, 'd') + "/zorpload";
    shell_SetProgramDir(program_file.c_str());
    dir_exists = depth == 0;
}

void run_Save(FuzzInput& in)
{
    first_MSG_cnt = input_Uint(in, 2) % (ITEMS128B_MAX + 1);
    if (!track_path_named) return;
    const int result = save_Trace();
    fuzz_Check(result == SAVE_WRITTEN || result == SAVE_NOTHING || (result == SAVE_WRITE_ERROR && !track_path_writable),
               "a track not saved to a writable directory");
    if (result == SAVE_NOTHING)
        fuzz_Check(count_Missing() == first_MSG_cnt, "nothing saved although an item was there");
    else if (result == SAVE_WRITTEN)
        check_SavedTrack();
    check_TrackFiles(fuzz_Dir());
    fuzz_EmptyDir();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    link_Reset();
    download_Reset();
    log_Clear();
    shell_SetProgramDir(fuzz_ProgramFile());
    dir_exists = true;
    track_path_named = false;

    FuzzInput in{data, size, 0, false};
    while (!input_Done(in)) {
        switch (input_Byte(in) % OP_COUNT) {
        case OP_FRAME: run_Frame(in); break;
        case OP_ADD_HEAD: run_AddHead(); break;
        case OP_SHOW_HEAD: show_Head(); break;
        case OP_CHECK_HEADS: run_CheckHeads(); break;
        case OP_NEW_LISTING: head_count = 0; break;
        case OP_ADD_TRACE: run_AddTrace(in); break;
        case OP_OPEN_TRACK: run_OpenTrack(in); break;
        case OP_SAVE: run_Save(in); break;
        case OP_IDENTITY: GPS_ShowIdentity(); break;
        case OP_DEEP_DIR: run_DeepDir(in); break;
        }
        check_StatusLog();
        check_Link();
    }
    fuzz_EmptyDir();
    return 0;
}
