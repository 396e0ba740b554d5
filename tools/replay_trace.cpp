// Replays a wire trace, such as one attached to a problem report, through
// the trace player on the simulated clock, and compares the files the
// program saves with those the recorded session saved:
//
//     replay_trace TRACE [DIR]
//
// Prints the status log of the replay, each saved file that differs from or
// is missing in DIR, and the first call where the program left the trace.
// Exit status 0 when the program followed the whole trace (and saved what
// DIR holds), 1 otherwise.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "download/download.h"
#include "link/gps_link.h"
#include "sim/trace_player.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#include "tests/traces/trace_sessions.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s TRACE [DIR]\n", argv[0]);
        return 2;
    }
    session_Begin();
    const std::string mismatch = trace_session_Replay(argv[1]);
    for (const std::string& line : log_Lines()) std::printf("  | %s\n", line.c_str());

    int differences = 0;
    std::error_code error;
    if (argc == 3 && !fs::is_directory(argv[2], error)) {
        std::printf("%s: not a folder that can be read\n", argv[2]);
        differences = 1;
    } else if (argc == 3) {
        Lines recorded;
        for (const auto& entry : fs::directory_iterator(argv[2], error))
            recorded.push_back(entry.path().filename().string());
        std::sort(recorded.begin(), recorded.end());
        const Lines saved = session_Files();
        const auto has = [](const Lines& names, const std::string& name) {
            return std::find(names.begin(), names.end(), name) != names.end();
        };
        for (const std::string& name : recorded) {
            if (file_Contents(session_Dir() + "/" + name) == file_Contents(std::string(argv[2]) + "/" + name)) continue;
            std::printf("%s: %s\n", name.c_str(), has(saved, name) ? "differs" : "not saved");
            ++differences;
        }
        for (const std::string& name : saved) {
            if (has(recorded, name)) continue;
            std::printf("%s: saved, not in %s\n", name.c_str(), argv[2]);
            ++differences;
        }
        std::printf("%d of %zu files as recorded\n", int(recorded.size()) - differences, recorded.size());
    }
    std::printf("%s\n", mismatch.empty() ? "the program followed the whole trace" : mismatch.c_str());
    session_End();
    return mismatch.empty() && differences == 0 ? 0 : 1;
}
