// A whole download under each fault of a real line, adapter or disk: every
// ".txt" on disk is the logger's track byte for byte (with its timing file)
// or absent, and no temporary file is left.
#include <gtest/gtest.h>

#include <string>

#include "download/download.h"
#include "shell/shell.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/fake_window.h"

namespace {

const char* const DONE = "ZORP read done. Data saved.";
const char* const NOT_SAVED = "ZORP read done. Some tracks were not saved.";
const char* const READ_ERROR = "ZORP read error! (Try again, please)";
constexpr uint32_t ALL = 0b111;

struct FaultCase {
    const char* name;
    void (*inject)();
    uint32_t saved;                // tracks whose files must be there
    const char* last_line;         // how the run ends
    bool (*happened)() = nullptr;  // the fault did take place as set
};

SimFaultSettings& faults = sim_settings.faults;

const FaultCase cases[] = {
    {"none", [] {}, ALL, DONE},
    {"item replies lost 1%", [] { faults.lose_item_reply_ppm = 10000; }, ALL, DONE,
     [] { return sim_stats.item_replies_lost > 0; }},
    {"item replies lost 5%", [] { faults.lose_item_reply_ppm = 50000; }, ALL, DONE},
    {"item replies lost 20%", [] { faults.lose_item_reply_ppm = 200000; }, ALL, DONE},
    {"corrupted bytes", [] { faults.corrupt_byte_ppm = 300; }, ALL, DONE,
     [] { return sim_stats.bytes_corrupted > 0; }},
    {"lost bytes", [] { faults.lose_byte_ppm = 300; }, ALL, DONE, [] { return sim_stats.bytes_lost > 0; }},
    {"noise between frames", [] { faults.noise_ppm = 100000; }, ALL, DONE, [] { return sim_stats.noise_bytes > 0; }},
    {"speed answer swallowed", [] { faults.swallow_speed_answers = 2; }, ALL, DONE},
    // Deaf to the program's fast requests until the line is set up again.
    {"logger restarts mid-track", [] { faults.reset_after_items = 300; }, ALL, DONE,
     [] { return sim_stats.logger_resets == 1 && sim_stats.bytes_misheard > 0 && sim_stats.answers_late == 0; }},
    {"some answers late",
     [] {
         faults.late_answer_ms = 600;
         faults.late_answer_ppm = 150000;
     },
     ALL, DONE,
     [] {
         return sim_stats.answers_late > 0 && sim_stats.answers_late < sim_stats.requests_heard / 2 &&
                sim_stats.logger_resets == 0;
     }},
    {"logger silent mid-stream", [] { faults.silent_after_items = 300; }, 0b001, READ_ERROR},
    {"adapter pulled mid-track", [] { faults.vanish_after_items = 300; }, 0b001, READ_ERROR},
    {"directory cannot be written", [] { shell_SetProgramDir((session_Dir() + "/missing/zorpload").c_str()); }, 0,
     NOT_SAVED},
    // Room for the first track's files and about half of the second's text.
    {"disk fills in a file",
     [] {
         sim_file_faults.disk_limited = true;
         sim_file_faults.disk_free =
             expected_Text(0).size() + expected_Timing(0).size() + expected_Text(1).size() / 2;
     },
     0b001, NOT_SAVED},
    {"first file's close fails", [] { sim_file_faults.close.countdown = 2; }, 0b110, NOT_SAVED},  // a timing file
    {"a rename fails", [] { sim_file_faults.rename.countdown = 2; }, 0b110, NOT_SAVED},  // a text file
};

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {
protected:
    // Three tracks, one without timing values, and the fault sequence's seed.
    void SetUp() override
    {
        session_Begin();
        sim_AddTrack(SimTrack{40, 3, 7, 15, 8, 45, 12, 200, 21, true});
        sim_AddTrack(SimTrack{41, 4, 7, 15, 9, 10, 0, 150, 22, false});
        sim_AddTrack(SimTrack{42, 5, 7, 15, 23, 59, 30, 300, 23, true});
        faults.seed = 7;
    }
    void TearDown() override { session_End(); }
};

TEST_P(FaultMatrix, DiskHoldsWholeTracksOrNothing)
{
    const FaultCase& fault = GetParam();
    fault.inject();
    session_Run();

    EXPECT_EQ(seq_state, SEQ_IDLE);
    EXPECT_EQ(expect_DiskMatchesLogger(1), fault.saved);
    EXPECT_EQ(log_Lines().back(), fault.last_line);
    ASSERT_EQ(fake_window.box_count, 1);
    EXPECT_STREQ(fake_window.boxes[0].title, fault.last_line == DONE ? "Download o.k." : "Download error");
    EXPECT_TRUE(fault.happened == nullptr || fault.happened()) << "the fault did not take place";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultMatrix, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (isalnum(uint8_t(*c))) name += *c;
                             return name;
                         });

}  // namespace
