// Records the wire traces that tests/traces holds, each a short session with
// the simulated logger on the simulated clock, with the files it saved:
//
//     record_traces DIR      writes DIR/<name>.trace and DIR/<name>/
//
// The sessions are seeded, so recording again gives the same traces unless
// the program does something else on the wire than they show; scripts/record-traces.sh
// builds this tool and records into the source tree.
#include <cstdio>
#include <filesystem>
#include <string>

#include "link/gps_link.h"
#include "link/wire_record.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"
#include "tests/traces/trace_sessions.h"

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const fs::path dir = argv[1];
    for (const TraceSession& session : TRACE_SESSIONS) {
        session_Begin();
        session.set_up();
        trace_session_AlignClock();
        const fs::path trace = dir / (std::string(session.name) + ".trace");
        if (wirerec_Start(trace.string().c_str(), WIREREC_SIZE_LIMIT) != 0) {
            std::fprintf(stderr, "cannot write %s\n", trace.string().c_str());
            return 1;
        }
        session_Run();
        usb_Close();
        wirerec_Stop();

        const fs::path saved = dir / session.name;
        fs::remove_all(saved);
        fs::create_directories(saved);
        for (const std::string& name : session_Files()) fs::copy_file(fs::path(session_Dir()) / name, saved / name);
        std::printf("%-14s %8ju bytes, %zu files, last line: %s\n", session.name, std::uintmax_t(fs::file_size(trace)),
                    session_Files().size(), log_Lines().back().c_str());
        session_End();
    }
    return 0;
}
