// Fuzz target: a whole download against a hostile logger. The input is the
// logger's side of the line: a settings byte, then one answer
// (fuzz_support.h) per request the program writes, fed in through the
// simulator's write tap while the simulated logger is disconnected.
#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "fuzz/fuzz_support.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "sim/sim.h"
#include "tests/download/download_session.h"

namespace {

constexpr uint8_t NO_ECHO = 0x01, TICK_WRAP = 0x02, SEAL_FRAMES = 0x04;
constexpr uint32_t TICKS_MAX = 20000;  // a safety net: requests use up input

struct InputUsedUp {};  // ends the run rather than waiting out time-outs

FuzzInput input{nullptr, 0};

// The directory is writable, so no track file may fail; a track the logger's
// answers leave unsaved (no file name, too many items or tracks) is not a
// write failure.
bool write_failed;

void watch_Log(const char* line, int added)
{
    if (added != 0 && std::strncmp(line, "Write error", 11) == 0) write_failed = true;
}

void answer_Request(const uint8_t*, uint32_t count)
{
    if (!fuzz_InjectAnswer(input, count)) throw InputUsedUp{};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    session_Begin();
    snprintf(output_dir, sizeof output_dir, "%s", fuzz_Dir());  // memory, not session_Begin's disk
    input = {data, size};
    write_failed = false;
    log_SetObserver(watch_Log);
    const uint8_t settings = input.byte();
    input.seal = (settings & SEAL_FRAMES) != 0;
    sim_settings.logger.connected = false;
    sim_settings.adapter.echo = (settings & NO_ECHO) == 0;
    // The same start whatever ran before, so replays are exact.
    sim_AdvanceUs(1'000'000 - sim_NowUs() % 1'000'000);
    sim_SetTickMs((settings & TICK_WRAP) != 0 ? 0u - 1000u : 0u);

    sim_taps.written = answer_Request;
    try {
        for (uint32_t ticks = 0; ticks < TICKS_MAX && seq_state != SEQ_IDLE; ++ticks) {
            session_Tick();
            fuzz_CheckInvariants();
        }
    } catch (const InputUsedUp&) {
    }
    sim_taps.written = nullptr;
    log_SetObserver(nullptr);
    if (write_failed) fuzz_Fail("a track file in a writable folder not written");
    session_End();
    fuzz_EndInput();
    return 0;
}
