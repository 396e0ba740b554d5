// A whole download under each fault of a real line, adapter or disk. Whatever
// happens, every ".txt" on disk is the logger's track byte for byte (with
// its timing file) or absent, and no temporary file is left.
#include <gtest/gtest.h>

#include <string>

#include "download/download.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

constexpr uint32_t ALL_TRACKS = 0b111;

struct FaultCase {
    const char* name;
    void (*inject)();
    uint32_t saved;         // tracks whose files must be there
    const char* last_line;  // how the run ends
    const char* question;   // the title of the exit question
};

void no_fault() {}
void lose_1_percent() { sim_settings.faults.lose_item_reply_ppm = 10000; }
void lose_5_percent() { sim_settings.faults.lose_item_reply_ppm = 50000; }
void lose_20_percent() { sim_settings.faults.lose_item_reply_ppm = 200000; }
void corrupt_bytes() { sim_settings.faults.corrupt_byte_ppm = 300; }
void lose_bytes() { sim_settings.faults.lose_byte_ppm = 300; }
void noise_between_frames() { sim_settings.faults.noise_ppm = 100000; }
void swallow_speed_answer() { sim_settings.faults.swallow_speed_answers = 2; }
void silent_mid_stream() { sim_settings.faults.silent_after_items = 300; }
void adapter_pulled() { sim_settings.faults.vanish_after_items = 300; }
void logger_restarts() { sim_settings.faults.reset_after_items = 300; }
void some_answers_late()
{
    sim_settings.faults.late_answer_ms = 600;
    sim_settings.faults.late_answer_ppm = 150000;
}
void directory_missing() { shell_SetProgramDir((session_Dir() + "/missing/zorpload").c_str()); }

// Room for the first track's files and about half of the second's text.
void disk_fills()
{
    sim_file_faults.disk_limited = true;
    sim_file_faults.disk_free = expected_Text(0).size() + expected_Timing(0).size() + expected_Text(1).size() / 2;
}
void close_fails_once() { sim_file_faults.close.countdown = 2; }  // the first timing file
void rename_fails_once() { sim_file_faults.rename.countdown = 2; }  // the first text file

const char* const DONE = "ZORP read done. Data saved.";
const char* const NOT_SAVED = "ZORP read done. Some tracks were not saved.";
const char* const READ_ERROR = "ZORP read error! (Try again, please)";

const FaultCase cases[] = {
    {"none", no_fault, ALL_TRACKS, DONE, "Download o.k."},
    {"item replies lost 1%", lose_1_percent, ALL_TRACKS, DONE, "Download o.k."},
    {"item replies lost 5%", lose_5_percent, ALL_TRACKS, DONE, "Download o.k."},
    {"item replies lost 20%", lose_20_percent, ALL_TRACKS, DONE, "Download o.k."},
    {"corrupted bytes", corrupt_bytes, ALL_TRACKS, DONE, "Download o.k."},
    {"lost bytes", lose_bytes, ALL_TRACKS, DONE, "Download o.k."},
    {"noise between frames", noise_between_frames, ALL_TRACKS, DONE, "Download o.k."},
    {"speed answer swallowed", swallow_speed_answer, ALL_TRACKS, DONE, "Download o.k."},
    {"logger restarts mid-track", logger_restarts, ALL_TRACKS, DONE, "Download o.k."},
    {"some answers late", some_answers_late, ALL_TRACKS, DONE, "Download o.k."},
    {"logger silent mid-stream", silent_mid_stream, 0b001, READ_ERROR, "Download error"},
    {"adapter pulled mid-track", adapter_pulled, 0b001, READ_ERROR, "Download error"},
    {"directory cannot be written", directory_missing, 0, NOT_SAVED, "Download error"},
    {"disk fills in a file", disk_fills, 0b001, NOT_SAVED, "Download error"},
    {"first file's close fails", close_fails_once, 0b110, NOT_SAVED, "Download error"},
    {"a rename fails", rename_fails_once, 0b110, NOT_SAVED, "Download error"},
};

// Three tracks, one without timing values, and the fault sequence's seed.
class ThreeTracks : public ::testing::Test {
protected:
    void SetUp() override
    {
        session_Begin();
        sim_AddTrack(SimTrack{40, 3, 7, 15, 8, 45, 12, 200, 21, true});
        sim_AddTrack(SimTrack{41, 4, 7, 15, 9, 10, 0, 150, 22, false});
        sim_AddTrack(SimTrack{42, 5, 7, 15, 23, 59, 30, 300, 23, true});
        sim_settings.faults.seed = 7;
    }
    void TearDown() override { session_End(); }
};

class FaultMatrix : public ThreeTracks, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FaultMatrix, DiskHoldsWholeTracksOrNothing)
{
    const FaultCase& fault = GetParam();
    fault.inject();

    session_Run();

    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(expect_DiskMatchesLogger(1), fault.saved);
    EXPECT_EQ(log_Lines().back(), fault.last_line);
    ASSERT_EQ(fake_window.box_count, 1);
    EXPECT_STREQ(fake_window.boxes[0].title, fault.question);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (isalnum(uint8_t(*c))) name += *c;
                             return name;
                         });

// Two of the faults above do happen as set: the logger restarts once, at
// its item, and is then deaf to the program's fast requests until the line
// is set up again; only the share of answers asked for is late.
using InjectedFault = ThreeTracks;

TEST_F(InjectedFault, LoggerRestartsOnceAtItsItem)
{
    logger_restarts();
    session_Run();
    EXPECT_EQ(sim_stats.logger_resets, 1u);
    EXPECT_GT(sim_stats.bytes_misheard, 0u);
    EXPECT_EQ(sim_stats.answers_late, 0u);
}

TEST_F(InjectedFault, OnlyTheShareOfAnswersAskedForIsLate)
{
    some_answers_late();
    session_Run();
    EXPECT_GT(sim_stats.answers_late, 0u);
    EXPECT_LT(sim_stats.answers_late, sim_stats.requests_heard / 2);
    EXPECT_EQ(sim_stats.logger_resets, 0u);
}

}  // namespace
