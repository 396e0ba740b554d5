// The check that runs after every simulated download: what is on disk is
// the logger's data, whole, or nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace fs = std::filesystem;

uint32_t expect_DiskMatchesLogger(int first_id)
{
    uint32_t saved = 0;
    for (const std::string& name : session_Files()) {
        int track = -1;
        for (int t = 0; t < sim_track_count; ++t) {
            std::string txt = expected_Name(t, first_id + t);
            if (name == txt || name == txt.substr(0, txt.size() - 3) + "imp") track = t;
        }
        if (track < 0) {
            ADD_FAILURE() << "unexpected file " << name;
            continue;
        }
        std::string path = session_Dir() + "/" + name;
        if (name.ends_with(".txt")) {
            saved |= 1u << track;
            EXPECT_EQ(read_WholeFile(path), expected_Text(track)) << name;
            std::string timing = expected_Timing(track);
            std::string imp = path.substr(0, path.size() - 3) + "imp";
            if (timing.empty())
                EXPECT_FALSE(fs::exists(imp)) << name;
            else
                EXPECT_EQ(read_WholeFile(imp), timing) << name;
        } else {
            EXPECT_TRUE(fs::exists(path.substr(0, path.size() - 3) + "txt")) << "timing file without text: " << name;
        }
    }
    return saved;
}

