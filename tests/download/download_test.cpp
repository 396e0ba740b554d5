// The download on the simulated logger: a walk-through, the fault matrix, every
// file call failed in turn, the threshold for asking a track again, fixed
// faults, no allocation.
#include <gtest/gtest.h>
#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#include "tests/link/link_fixture.h"
#include "tests/support/fake_window.h"

namespace {

const char *const DONE = "ZORP read done. Data saved.", *const READ_ERROR = "ZORP read error! (Try again, please)";
const char* const NOT_SAVED = "ZORP read done. Some tracks were not saved.";
const std::string TXT = native_Path("/2015-07-03_0845_001.txt"), IMP = native_Path("/2015-07-03_0845_001.imp");
SimFaultSettings& f = sim_settings.faults;
const SimStats& st = sim_stats;
std::string moved;  // the output directory, when not the session's

// Moves the output so that a track's temporary path (folder, separator,
// 23-character name, ".tmp") is temp_length characters long.
void move_Output(size_t temp_length)
{
    moved = path_Join(session_Dir(), std::string(temp_length - session_Dir().size() - 1 - 1 - 23 - 4, 'd'));
    std::filesystem::create_directory(moved), snprintf(output_dir, sizeof output_dir, "%s", moved.c_str());
}

const struct FaultCase {
    const char* name;
    void (*inject)();
    uint32_t saved;                // mask of the tracks on disk
    const char* last_line;
    std::string failed = "";       // the file the error line names
    bool (*happened)() = nullptr;  // the fault did take place as set
} cases[] = {
    // A seventh of the first track is held back after its first pass, so it is read twice whole, and no more.
    {"SentencesRecordedWithBadChecksums", [] { sim_tracks[0].bad_checksum_every = 7, f.lose_item_reply_ppm = 10000; },
     0b111, DONE, "", [] { return st.item_replies_sent >= 650 + 200 && st.item_replies_sent < 650 + 200 + 30; }},
    {"LoggerRestartsMidTrack", [] { f.reset_after_items = 300; }, 0b111, DONE, "",  // deaf until set up again
     [] { return st.logger_resets == 1 && st.bytes_misheard > 0 && st.answers_late == 0; }},
    {"AdapterPulledMidTrack", [] { f.vanish_after_items = 300; }, 0b001, READ_ERROR},
    {"NoRoomForTemporarySuffix", [] { move_Output(PATH_SIZE); }, 0, NOT_SAVED, TXT},  // one byte short
};

// Requests of a command written by the program, whether heard or not; the
// last one's frame goes to *last.
uint32_t requests_Written(uint8_t command, const uint8_t** last = nullptr)
{
    uint32_t requests = 0;
    for (uint32_t at = 0; at + 3 < sim_written_count && sim_written[at + 2] != 0; at += sim_written[at + 2]) {
        if (sim_written[at + 3] != command) continue;
        ++requests;
        if (last != nullptr) *last = sim_written + at;
    }
    return requests;
}

// The summary and the full listing as the download reads them, over as many
// calls as it takes (counted in calls): 0, 301, or check_Heads' -1.
int directory_Read(int* calls = nullptr)
{
    int result = HEADS_SUMMARY_AGAIN, call = 0;
    while (result == HEADS_SUMMARY_AGAIN) {
        do result = GPS_GetHeads(0), ++call; while (result == HEADS_READ_AGAIN);
        if (result == CMD_OK && check_Heads() == HEADS_NOT_ONE) result = -1;
        if (result != CMD_OK) break;
        do result = GPS_GetHeads(255), ++call; while (result == HEADS_READ_AGAIN);
    }
    if (calls != nullptr) *calls = call;
    return result;
}

struct Download : ::testing::Test {
    void SetUp() override { session_Begin(); }
    void TearDown() override { session_End(); }
    static void add_Tracks()  // the second without timing values
    {
        sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, 200, 21, true});
        sim_AddTrack(SimTrack{2, 4, 7, 15, 9, 10, 0, 150, 22, false});
        sim_AddTrack(SimTrack{3, 5, 7, 15, 23, 59, 30, 300, 23, true});
    }
};
void run_Until(int32_t state)
{
    for (int ticks = 0; ticks < 100000 && seq_state != state; ++ticks) session_Tick();
}
// The logger found and listed, and a pass over its first track just ended
// with every item in store; false when the logger was not found.
bool pass_Ended(uint32_t items)
{
    if (usb_Open() != 0 || directory_Read() != 0) return false;
    first_MSG_cnt = items;
    memset(item_len, 40, items);
    read_phase = 1, progress_countdown = 5, seq_state = SEQ_READ_TRACK;
    return true;
}
void PrintTo(const FaultCase& row, std::ostream* out) { *out << row.name; }
struct FaultMatrix : Download, ::testing::WithParamInterface<FaultCase> {};
int busy_behind_box;
INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });
TEST_P(FaultMatrix, DiskHoldsWholeTracksOrNothing)
{
    const FaultCase& row = GetParam();
    add_Tracks(), moved.clear(), f.seed = 7;
    row.inject();
    EXPECT_LT(session_Run(), 200000u);
    EXPECT_TRUE(moved.empty() || std::filesystem::remove(moved));  // throws when files are left
    EXPECT_EQ(expect_DiskMatchesLogger(1), row.saved);
    const Lines lines = log_Lines();
    EXPECT_EQ(lines.back(), row.last_line);
    const std::string named = "Write error, file:" + (moved.empty() ? session_Dir() : moved) + row.failed;
    EXPECT_EQ(std::ranges::count(lines, named.substr(0, LOG_LINE_SIZE - 1)) != 0, !row.failed.empty());
    ASSERT_EQ(fake_window.box_count, 1);
    EXPECT_STREQ(fake_window.boxes[0].title, row.last_line == DONE ? "Download o.k." : "Download error");
    EXPECT_TRUE(!row.happened || row.happened()) << "the fault did not take place";
}

// Track paths whose temporary name takes the last byte there is room for are
// saved whole under their own names.
TEST_F(Download, TrackPathsThatJustFitAreSavedWhole)
{
    add_Tracks();
    move_Output(PATH_SIZE - 1);
    session_Run();
    for (int t = 0; t < sim_track_count; ++t)
        EXPECT_EQ(file_Contents(path_Join(moved, expected_Name(t, 1 + t))), expected_Text(t)) << t;
    EXPECT_EQ(log_Lines().back(), DONE);
    std::filesystem::remove_all(moved);
}

// Every file call of a download with GPX and a trace on fails in turn, call
// 1, 2, 3 ... of a kind, once or for good, until a run fires no fault: each
// file must be whole or absent and named, "Data saved." only when all are.
using Files = std::map<std::string, std::string>;
const TempDir trace_dir;
Files traced_Download(SimFileFault SimFileFaults::*call = nullptr, SimFileFault fault = {})
{
    session_Begin(), Download::add_Tracks(), gpx_enabled = true;
    if (call != nullptr) sim_file_faults.*call = fault;
    shell_StartTrace(trace_dir.path("download.trace").c_str());
    session_Run();
    shell_Shutdown();
    Files files;
    for (const std::string& name : session_Files()) files[name] = file_Contents(path_Join(session_Dir(), name));
    return files;
}
struct FileFault { const char* name; SimFileFault SimFileFaults::*call; bool persistent; };
void PrintTo(const FileFault& fault, std::ostream* out) { *out << fault.name; }
struct FileFaultLoop : Download, ::testing::WithParamInterface<FileFault> {};
INSTANTIATE_TEST_SUITE_P(Calls, FileFaultLoop, ::testing::ValuesIn(std::vector<FileFault>{
    {"CreateOnce", &SimFileFaults::create, false}, {"CreateForGood", &SimFileFaults::create, true},
    {"WriteOnce", &SimFileFaults::write, false}, {"WriteForGood", &SimFileFaults::write, true},
    {"CloseOnce", &SimFileFaults::close, false}, {"CloseForGood", &SimFileFaults::close, true},
    {"RenameOnce", &SimFileFaults::rename, false}, {"RenameForGood", &SimFileFaults::rename, true},
    {"ReadOnce", &SimFileFaults::read, false}, {"ReadForGood", &SimFileFaults::read, true},
}), [](const auto& info) { return std::string(info.param.name); });
TEST_P(FileFaultLoop, EachTrackWholeOrAbsentAndNamedAndDataSavedOnlyWhenAllAre)
{
    static const Files whole = traced_Download();  // the GPX files as a run without faults writes them
    ASSERT_EQ(whole.size(), 8u);
    uint32_t points = 0;
    for (bool fired = true; fired && points < 10000;) {
        ++points;
        SCOPED_TRACE(testing::Message() << "call " << points << " fails");
        const Files disk = traced_Download(GetParam().call, {points, GetParam().persistent, 0});
        fired = (sim_file_faults.*GetParam().call).failures != 0;
        const uint32_t saved = expect_DiskMatchesLogger(1);
        const Lines lines = log_Lines();
        const auto named = [&](const char* error, const std::string& name) {
            return std::ranges::count(lines, error + path_Join(session_Dir(), name)) != 0;
        };
        for (int t = 0; t < 3; ++t) {
            const std::string stem = expected_Name(t, t + 1).substr(0, 20), gpx = stem + "gpx";
            EXPECT_TRUE(disk.contains(gpx) ? disk.at(gpx) == whole.at(gpx)
                                           : !(saved >> t & 1) || named("Write error, file:", gpx) ||
                                                 named("Read error, file:", stem + "txt")) << gpx;
            EXPECT_TRUE(saved >> t & 1 || named("Write error, file:", stem + "txt") ||
                        named("Write error, file:", stem + "imp")) << stem << "txt missing unannounced";
        }
        EXPECT_EQ(std::ranges::count(lines, saved == 0b111 ? DONE : NOT_SAVED), 1);
        EXPECT_TRUE(GetParam().persistent || saved == 0b111 || std::has_single_bit(~saved & 0b111))
            << "one failed call cost more than one track";
    }
    printf("%s: %u fault points tried\n", GetParam().name, points);
    EXPECT_GT(points, 1u) << "no call of this kind failed";
}

TEST_F(Download, WalkThroughThreeTracksSecondAlreadyOnDisk)
{
    add_Tracks();
    const std::string earlier = path_Join(session_Dir(), "2015-07-04_0910_002.txt");
    std::ofstream(earlier, std::ios::binary) << "from an earlier run";
    fake_QueueAnswer(ANSWER_YES);
    fake_window.while_box_open = [](WindowHandle window) {  // each tick behind the box is idle, logs nothing
        const size_t lines = log_Lines().size();
        busy_behind_box += seq_state != SEQ_IDLE, sequencer_Tick(window);
        busy_behind_box += seq_state != SEQ_IDLE || log_Lines().size() != lines;
    };
    run_Until(SEQ_READ_TRACK);
    session_Tick();
    EXPECT_EQ(log_Lines().back(), "Track ID=  1 (  200 items), File: 2015-07-03_0845_001.txt ... read GPS data (  0%)");
    session_Run();
    EXPECT_EQ(log_Lines(), (Lines{"USB adapter check     ... o.k.", "Connect ZORP, searching ... o.k.",
                                  "ZORP detected, ID 3:1201 (FW ver. 02.0A)", "Track   1: 03/07/2015 (200 items)",
                                  "Track   2: 04/07/2015 (150 items)", "Track   3: 05/07/2015 (300 items)",
                                  "Total track count: 3", "Output directory: " + session_Dir(),
                                  "Track ID=  1 (  200 items), File: 2015-07-03_0845_001.txt ... read GPS data (100%)",
                                  "Track ID=  2 (  150 items), File: 2015-07-04_0910_002.txt ... exist, skipping",
                                  "Track ID=  3 (  300 items), File: 2015-07-05_2359_003.txt ... read GPS data (100%)",
                                  DONE}));
    EXPECT_EQ(file_Contents(earlier), "from an earlier run");
    std::ofstream(earlier, std::ios::binary) << expected_Text(1);  // the rest is the logger's, byte for byte
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b111u);
    ASSERT_EQ(fake_window.box_count, 1);
    const FakeBox& box = fake_window.boxes[0];
    EXPECT_EQ(std::string(box.title) + ": " + box.text, "Download o.k.: Exit application ?");
    EXPECT_TRUE(box.icon == ICON_INFORMATION && box.buttons == BUTTONS_YES_NO);
    EXPECT_TRUE(busy_behind_box == 0 && fake_window.quit_calls == 1);
    EXPECT_TRUE(sim_LoggerBaud() == BAUD_BASE && sim_AdapterBaud() == BAUD_BASE);
}

// A second program saving into the same folder: a text file it saved while
// this one read the track stays as it is (the track counts as saved, with its
// companion), and a temporary file it is still writing is never removed.
TEST_F(Download, SecondProgramsFilesAreLeftAlone)
{
    for (const bool still_writing : {false, true}) {
        SCOPED_TRACE(still_writing ? "its temporary file in the making" : "its text file saved meanwhile");
        session_Begin(), add_Tracks();
        const std::string txt = session_Dir() + TXT, temp = txt + ".tmp";
        const int other = still_writing ? sys_FileCreate(temp.c_str()) : -1;
        EXPECT_EQ(other >= 0 && sys_FileWrite(other, "in the making", 13) == 0, still_writing);
        run_Until(SEQ_READ_TRACK);
        if (!still_writing) std::ofstream(txt) << "saved by another program";
        session_Run();
        if (other >= 0) sys_FileClose(other);  // on Windows nobody can read it before
        EXPECT_EQ(file_Contents(still_writing ? temp : txt), still_writing ? "in the making" : "saved by another program");
        EXPECT_EQ(file_Contents(session_Dir() + IMP), still_writing ? "" : expected_Timing(0));
        EXPECT_EQ(log_Lines().back(), still_writing ? NOT_SAVED : DONE);
        const Lines files = session_Files();
        EXPECT_EQ(std::ranges::count_if(files, [](const std::string& name) { return name.ends_with(".tmp"); }),
                  still_writing ? 1 : 0);
    }
}

// A pass over the track has ended with every third item from 0 missing.
TEST_F(Download, MoreThanOneItemInHundredMissingAsksWholeTrackAgain)
{
    const struct {
        uint32_t items, missing, state_after, asked_first, asked_count;  // count 0: no request
    } rows[] = {{50, 1, SEQ_READ_TRACK, 0, 50}, {50, 0, SEQ_FILL_GAPS, 0, 0},
                {1000, 10, SEQ_FILL_GAPS, 27, 1} /* the highest gap first */, {1000, 11, SEQ_READ_TRACK, 0, 1000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.missing << " of " << row.items << " missing");
        session_Begin(), sim_AddTracks(1, 1, row.items, 1);
        ASSERT_TRUE(pass_Ended(row.items));
        for (uint32_t i = 0; i < row.missing; ++i) item_len[i * 3] = 0;
        const uint32_t requests = requests_Written(0x13);
        session_Tick();
        EXPECT_EQ(seq_state, int32_t(row.state_after));
        if (seq_state == SEQ_READ_TRACK) session_Tick();
        const uint8_t* last = nullptr;
        EXPECT_EQ(requests_Written(0x13, &last) - requests, row.asked_count != 0 ? 1u : 0u);
        const uint32_t first = last ? read_Uint(last + 4, 4) : 0, count = last ? read_Uint(last + 8, 2) : 0;
        EXPECT_TRUE(first == row.asked_first && count == row.asked_count) << first << " " << count;
    }
}

// Why the adapter cannot be used, one line after the program's error line:
// each way the simulated adapter fails (refused, driver library, pulled) logs
// its cause once, and a refused speed logs none.
const char *const NOT_FOUND = "Error - USB adapter not found", *const RV101 = "USB adapter Error! (rv=101)",
                 *const RV102 = "USB adapter Error! (rv=102)";
const char* const UNPLUGGED = "The USB adapter was unplugged during the download: plug it in and start again";
void fail_Open(AdapterCause cause) { sim_settings.adapter.open_failure = cause; }
const struct CauseCase {
    const char* name;
    void (*inject)();
    const char* box;                  // the first box's text
    const char* cause_line;           // the only cause line of the run; null: none
    const char* before = NOT_FOUND;   // the line it follows; null: any
} cause_cases[] = {
    {"NotAllowedToOpen", [] { fail_Open(CAUSE_NO_PERMISSION); }, RV102,
     "No permission to open the adapter: join group dialout or install the package's udev rule, replug it"},
    {"FailsToOpenOtherwise", [] { fail_Open(CAUSE_OPEN_FAILED); }, RV102,
     "The adapter was found but failed to open: unplug it, plug it in again and try again"},
    {"DriverLibraryLacksAFunction", [] { fail_Open(CAUSE_DRIVER_INCOMPLETE); }, RV101,
     "FTD2XX.dll has no FT_GetStatus: install FTDI's D2XX driver again"},
    // Every call on the handle fails from the pull on; the line comes once, at the first.
    {"PulledMidTrack", [] { f.vanish_after_items = 300; }, EXIT_QUESTION, UNPLUGGED, nullptr},
    // A refused speed on an adapter still there is no loss of the adapter.
    {"SpeedRefusedByAnAdapterStillThere", [] { sim_settings.adapter.fail_baud_rate = true; }, nullptr, nullptr},
};
void PrintTo(const CauseCase& row, std::ostream* out) { *out << row.name; }
std::vector<std::string> added_lines;
struct AdapterCauses : Download, ::testing::WithParamInterface<CauseCase> {};
INSTANTIATE_TEST_SUITE_P(Causes, AdapterCauses, ::testing::ValuesIn(cause_cases),
                         [](const auto& info) { return std::string(info.param.name); });
TEST_P(AdapterCauses, EachCauseGetsItsOwnLineOnce)
{
    const CauseCase& row = GetParam();
    add_Tracks(), added_lines.clear();
    log_SetObserver([](const char* line, int added) { if (added) added_lines.push_back(line); });
    row.inject();
    session_Run(row.box != nullptr ? 200000 : 500);
    log_SetObserver(nullptr);
    Lines causes;
    std::ranges::copy_if(added_lines, std::back_inserter(causes),
                         [](const std::string& line) { return usb_IsCauseLine(line.c_str()); });
    EXPECT_EQ(causes, row.cause_line != nullptr ? Lines{row.cause_line} : Lines{});
    if (row.cause_line != nullptr && row.before != nullptr) {
        const auto at = std::ranges::find(added_lines, row.cause_line);
        ASSERT_NE(at, added_lines.begin());
        EXPECT_EQ(at[-1], row.before);
    }
    if (row.box != nullptr) {
        ASSERT_GE(fake_window.box_count, 1);
        EXPECT_STREQ(fake_window.boxes[0].text, row.box);
    }
}

// The rest of such a track stays on the logger, so no run ends as if
// everything were saved: not the one that saves the first items, nor a later
// one that finds their file.
TEST_F(Download, TrackLongerThanStoreIsCutToItsFirstItemsAndNeverCountsAsSaved)
{
    sim_AddTrack(SimTrack{1, 3, 7, 15, 8, 45, 12, ITEMS128B_MAX + 232, 3, true});
    f.lose_item_reply_ppm = 2000;
    const std::string cut = "Track ID=  1 has 33000 items, only the first 32768 are read",
                      track = "Track ID=  1 (33000 items), File: 2015-07-03_0845_001.txt ... ";
    EXPECT_LT(session_Run(), 100000u);
    Lines lines = log_Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(Lines(lines.begin() + 6, lines.end()), (Lines{cut, track + "read GPS data (100%)", NOT_SAVED}));
    EXPECT_EQ(file_Contents(session_Dir() + TXT), expected_Text(0, ITEMS128B_MAX));
    EXPECT_EQ(file_Contents(session_Dir() + IMP), expected_Timing(0, ITEMS128B_MAX));

    session_Restart();
    EXPECT_LT(session_Run(), 100000u);
    lines = log_Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(Lines(lines.begin() + 6, lines.end()), (Lines{cut, track + "exist, skipping", NOT_SAVED}));
}

// A track whose record carries no sentence to name its file by is skipped,
// and stays on the logger unread.
TEST_F(Download, TrackWhoseRecordNamesNoFileIsSkippedAndNotCountedAsSaved)
{
    add_Tracks();
    run_Until(SEQ_NEXT_TRACK);
    ASSERT_EQ(seq_state, SEQ_NEXT_TRACK);
    memcpy(head_table[1] + HEAD_FIX_TEXT, "$GN", 3);
    EXPECT_LT(session_Run(), 200000u);
    const Lines lines = log_Lines();
    EXPECT_EQ(std::ranges::count(lines, "Track ID=  2, invalid item"), 1);
    EXPECT_EQ(lines.back(), NOT_SAVED);
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b101u);
}

// Each track's ID and file come from its place in the listing, so a listing
// is taken in one read only when its numbering shows every reply in place;
// otherwise the summary and the listing are each read until two reads agree.
void grow_Logger(const uint8_t* bytes, uint32_t count)  // records a track at each listing request
{
    if (count == 14 && bytes[3] == 0x12 && bytes[8] == 0xFF) sim_AddTracks(1, uint16_t(40 + sim_track_count), 10, 9);
}
void answer_Unstorable(const uint8_t* bytes, uint32_t count)  // a summary, then listing replies too long to keep
{
    Bytes reply{0x3C, 0x01, 30, 0x12, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0xE0, 0, 40};
    if (count == 14 && bytes[8] == 0xFF) reply = Bytes{0x3C, 0x01, 150, 0x12, 0, 0, 0, 0, 5}, reply.resize(148);
    else reply.resize(28);
    const Bytes frame = sealed(reply);
    sim_InjectRx(1000, frame.data(), uint32_t(frame.size()));
}
TEST_F(Download, ListingIsTakenInOneReadWhenItsNumberingHoldsElseOnceTwoReadsAgree)
{
    const struct {
        const char* name;
        void (*arrange)();
        uint32_t requests;  // directory requests sent
        int tracks;         // -1: the directory fails
        int in_logger = 5;  // tracks in the logger's memory
    } rows[] = {
        {"healthy", [] {}, 2, 5},
        {"recording while connected", [] { sim_taps.written = grow_Logger; }, 2, 6},
        // A lost listing reply makes the summary and the listing twice each.
        {"closing reply lost", [] { f.lose_listing_reply = 6; }, 6, 5},
        {"lone track's reply lost", [] { f.lose_listing_reply = 1; }, 6, 1, 1},
        // Before an erase the summary and a plain listing are read twice; a listing that is not plain is doubted
        // all the same, since two reads that lost the same reply agree.
        {"first reply lost from two reads, an erase to follow",
         [] { heads_confirm_always = true, f.lose_listing_reply = 1, f.lose_listing_reply_reads = 2; }, 8, 5},
        {"damaged listing reply", [] { f.corrupt_byte_ppm = 1500, f.seed = 13; }, 7, 5},
        {"every listing read damaged", [] { f.corrupt_byte_ppm = 3000, f.seed = 13; }, 13, -1},
        {"no listing reply storable", [] { sim_settings.logger.connected = false, sim_taps.written = answer_Unstorable; },
         9, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        session_Begin(), sim_AddTracks(row.in_logger, 40, 10, 1), sim_settings.logger.first_track_no = 40;
        row.arrange();
        ASSERT_EQ(usb_Open(), 0);
        const int result = directory_Read();
        sim_taps = {};
        EXPECT_EQ(requests_Written(0x12), row.requests);
        if (row.tracks < 0) {
            EXPECT_TRUE(result == CMD_FAILED_HEADS && head_count == 0);
            continue;
        }
        ASSERT_EQ(result, CMD_OK);
        ASSERT_EQ(head_count, row.tracks + 1);
        EXPECT_EQ(first_track_id, 40);
        for (int k = 0; k < row.tracks; ++k) EXPECT_EQ(read_Uint(head_table[k] + HEAD_TRACK_NO, 2), 40u + k) << k;
        EXPECT_EQ(log_Lines().size(), size_t(row.tracks));  // listed once, as taken
    }
}

// A reply for the first of three items, its CRC right, as a whole-track
// pass brings it (countdown 3) or a single-item request (countdown 1); text_len
// may claim more text than the frame holds.
void put_ItemReply(const std::string& text, int text_len = -1, bool single = false, uint8_t timing = 0)
{
    Bytes reply = {0x3C, 0x01, uint8_t(ITEM_TEXT + text.size() + 2), 0x13, 0, 0, 0, 0, uint8_t(single ? 1 : 3), 0, 0, 0, 0,
                   0, uint8_t(text_len < 0 ? int(text.size()) : text_len), 0, 0, timing};
    reply.resize(ITEM_TEXT);
    set_rx(sealed(reply + Bytes(text.begin(), text.end())));
    range_tail = single ? 2 : 0;
}

// The CRC lets a damaged reply through now and then; its sentence then
// fails, and such an item counts only when the logger sends it again alike,
// whichever request brought each copy.
TEST(ItemCheck, ReplyWhoseSentenceFailsCountsOnlyWhenRepeated)
{
    const std::string gsa = "$GPGSA,A,3,03,05,,,2.7,1.7,2.1*";  // checksum 0x34
    const struct {
        const char* name;
        std::string text;
        int text_len;
        bool at_once;
    } rows[] = {{"sound", gsa + "34\r", -1, true},
                {"checksum recorded wrong", gsa + "35\r", -1, false},
                {"a byte lost, the next frame's start behind", "$GPGS,A,3,03,05,,,2.7,1.7,2.1*34\r<", -1, false},
                {"text claimed past the frame", gsa + "34\r", 60, false},
                {"no text", "", -1, false},
                {"no checksum", "$GPGSA,A,3,03\r", -1, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        items_Clear(), first_MSG_cnt = 3;
        put_ItemReply(row.text, row.text_len);
        EXPECT_EQ(add_Trace(), row.at_once ? TRACE_STORED : TRACE_HELD);
        EXPECT_EQ(count_Missing(), row.at_once ? 2u : 3u);
        put_ItemReply(row.text, row.text_len, true);
        EXPECT_EQ(add_Trace(), TRACE_STORED);  // the same item again, asked for alone
        EXPECT_TRUE(count_Missing() == 2 && item_len[0] == rx_count);
        EXPECT_EQ(memcmp(item_store[0], rx_frame, rx_count), 0);
    }

    items_Clear();
    put_ItemReply(gsa + "11\r", -1, false, 7), add_Trace();
    put_ItemReply(gsa + "11\r", -1, true, 8);
    EXPECT_EQ(add_Trace(), TRACE_HELD);  // another timing value is another item
    for (const char* digits : {"10", "11", "11"}) put_ItemReply(gsa + digits + "\r"), add_Trace();
    EXPECT_EQ(std::string((const char*)item_store[0] + ITEM_TEXT, gsa.size() + 2), gsa + "11");  // the twins
    EXPECT_EQ(count_Missing(), 2u);
    put_ItemReply(gsa + "99\r");
    EXPECT_EQ(add_Trace(), TRACE_REFUSED);  // never over one received
    EXPECT_EQ(std::string((const char*)item_store[0] + ITEM_TEXT, gsa.size() + 2), gsa + "11");
    put_ItemReply(gsa + "34");
    EXPECT_EQ(add_Trace(), TRACE_STORED);  // a later sound copy replaces it
    EXPECT_EQ(item_len[0], rx_count);
}

// malloc, calloc and realloc are wrapped at link time; the library's operator
// new calls the unwrapped malloc, so new, new[] and their deletes are
// replaced (the sanitizer brings its own otherwise).
uint32_t allocations, counting;
void* counted(void* block) { return allocations += counting, block; }
}  // namespace
extern "C" {
void *__real_malloc(size_t), *__real_calloc(size_t, size_t), *__real_realloc(void*, size_t);
void* __wrap_malloc(size_t size) { return counted(__real_malloc(size)); }
void* __wrap_calloc(size_t count, size_t size) { return counted(__real_calloc(count, size)); }
void* __wrap_realloc(void* block, size_t size) { return counted(__real_realloc(block, size)); }
}
static void* allocate(size_t size)
{
    if (void* block = counted(__real_malloc(size != 0 ? size : 1))) return block;
    throw std::bad_alloc();
}
void* operator new(size_t size) { return allocate(size); }
void* operator new[](size_t size) { return allocate(size); }
// Out of line, so that GCC does not pair an inlined free with new and warn.
[[gnu::noinline]] void operator delete(void* block) noexcept { free(block); }
[[gnu::noinline]] void operator delete[](void* block) noexcept { free(block); }
[[gnu::noinline]] void operator delete(void* block, size_t) noexcept { free(block); }
[[gnu::noinline]] void operator delete[](void* block, size_t) noexcept { free(block); }

TEST_F(Download, WholeDownloadAllocatesNothing)
{
    counting = true;
    void* volatile blocks[] = {new int[3], realloc(malloc(16), 64), calloc(4, 4)};  // each kind is counted
    delete[] static_cast<int*>(blocks[0]), free(blocks[1]), free(blocks[2]);
    EXPECT_EQ(allocations, 4u);
    add_Tracks();
    f.lose_item_reply_ppm = 50000;
    fake_QueueAnswer(ANSWER_NO);
    gpx_enabled = true;  // each saved track read back and written as GPX too
    allocations = 0;
    session_Run();
    counting = false;
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(std::ranges::count_if(session_Files(), [](const std::string& name) { return name.ends_with(".gpx"); }), 3);
    EXPECT_EQ(expect_DiskMatchesLogger(1), 0b111u);
}
