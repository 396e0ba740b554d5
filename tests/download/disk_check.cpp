#include <gtest/gtest.h>
#include <algorithm>
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"

uint32_t expect_DiskMatchesLogger(int first_id)
{
    uint32_t saved = 0;
    const Lines files = session_Files();
    const auto has = [&](const std::string& name) { return std::count(files.begin(), files.end(), name) != 0; };
    for (const std::string& name : files) {
        const std::string stem = name.substr(0, name.size() - 3);
        int track = -1;
        for (int t = 0; t < sim_track_count; ++t)
            if (stem + "txt" == expected_Name(t, first_id + t)) track = t;
        const bool companion = name.ends_with(".imp") || name.ends_with(".gpx");  // a GPX's contents are not checked
        if (track < 0 || !(name.ends_with(".txt") || (companion && has(stem + "txt")))) {
            ADD_FAILURE() << "unexpected file " << name;
        } else if (name.ends_with(".txt")) {  // a missing file reads as ""
            saved |= 1u << track;
            EXPECT_EQ(file_Contents(path_Join(session_Dir(), name)), expected_Text(track)) << name;
            EXPECT_EQ(file_Contents(path_Join(session_Dir(), stem + "imp")), expected_Timing(track)) << name;
            EXPECT_EQ(has(stem + "imp"), !expected_Timing(track).empty()) << name;
        }
    }
    return saved;
}
