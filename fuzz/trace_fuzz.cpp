// Fuzz target: the trace player over any file. The input is the trace text,
// replayed as replay_trace does, with the download's track files in this
// process's directory. The replay must end, and when the program leaves the
// trace the player says so naming a trace line.
#include <cstdio>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "shell/shell.h"
#include "tests/download/download_session.h"
#include "tests/support/temp_dir.h"
#include "tests/traces/trace_sessions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::snprintf(output_dir, sizeof output_dir, "%s", fuzz_Dir());
    session_Restart(), sim_Reset(), session_ResetBaseServices();
    const std::string trace = path_Join(fuzz_Dir(), "input.trace");
    std::ofstream(trace, std::ios::binary).write(reinterpret_cast<const char*>(data), std::streamsize(size));

    const std::string mismatch = trace_session_Replay(trace.c_str());
    if (!mismatch.empty() && !mismatch.starts_with("trace line ") && mismatch != trace + ": not a readable wire trace")
        fuzz_Fail("a mismatch that names no trace line", mismatch);
    fuzz_EndInput();
    return 0;
}
