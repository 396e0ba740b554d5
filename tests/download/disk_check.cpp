// After every simulated download: what is on disk is the logger's data,
// whole, or nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/sim.h"
#include "tests/download/download_session.h"

uint32_t expect_DiskMatchesLogger(int first_id)
{
    uint32_t saved = 0;
    for (const std::string& name : session_Files()) {
        const std::string path = session_Dir() + "/" + name;
        const std::string stem = path.substr(0, path.size() - 3);
        int track = -1;
        for (int t = 0; t < sim_track_count; ++t) {
            const std::string txt = expected_Name(t, first_id + t);
            if (name == txt || name == txt.substr(0, txt.size() - 3) + "imp") track = t;
        }
        if (track < 0) {
            ADD_FAILURE() << "unexpected file " << name;
        } else if (name.ends_with(".txt")) {
            saved |= 1u << track;
            EXPECT_EQ(read_WholeFile(path), expected_Text(track)) << name;
            const std::string timing = expected_Timing(track);
            if (timing.empty())
                EXPECT_FALSE(std::filesystem::exists(stem + "imp")) << name;
            else
                EXPECT_EQ(read_WholeFile(stem + "imp"), timing) << name;
        } else {
            EXPECT_TRUE(std::filesystem::exists(stem + "txt")) << "timing file without text: " << name;
        }
    }
    return saved;
}
