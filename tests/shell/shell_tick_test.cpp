// The tick's drawing step: the window is drawn on a tick only when a redraw
// waits (a log change, a changed window) and the window system has not drawn
// it first, so an idle window costs no painting.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "download/download.h"
#include "shell/shell.h"
#include "shell/status_log.h"
#include "tests/support/fake_window.h"

namespace {

int paints;

// As the front ends do: drawing the window ends every waiting redraw.
void count_Paint(WindowHandle)
{
    ++paints;
    shell_Painted();
}

enum Event { TICK, LOG_LINE, WINDOW_CHANGED, SYSTEM_PAINT, IDLE_SECOND };

struct Case {
    const char* name;
    std::vector<Event> events;
    int expected_paints;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ShellTick : public testing::TestWithParam<Case> {};

TEST_P(ShellTick, DrawsOnlyWhenARedrawWaits)
{
    fake_WindowReset();
    shell_Start(nullptr, count_Paint);
    seq_state = SEQ_IDLE;
    paints = 0;
    for (Event event : GetParam().events) {
        switch (event) {
        case TICK: shell_Tick(); break;
        case LOG_LINE: log_AddLine("Track ID=1 ... o.k."); break;
        case WINDOW_CHANGED: shell_WindowChanged(); break;
        case SYSTEM_PAINT: shell_Painted(); break;
        case IDLE_SECOND:
            for (int i = 0; i < 1000 / TICK_PERIOD_MS; ++i) shell_Tick();
            break;
        }
    }
    EXPECT_EQ(paints, GetParam().expected_paints);
}

INSTANTIATE_TEST_SUITE_P(
    Events, ShellTick,
    testing::Values(Case {"IdleSecondAfterTheFirstDrawingDrawsNothing", {TICK, TICK, IDLE_SECOND}, 1},
                    Case {"SystemPaintFirstLeavesNothingToDraw", {TICK, SYSTEM_PAINT, IDLE_SECOND}, 0},
                    Case {"ChangedWindowDrawnOnTheNextTick", {TICK, TICK, WINDOW_CHANGED, IDLE_SECOND}, 2},
                    Case {"LinesOfOneTickMakeOneDrawing", {TICK, TICK, LOG_LINE, LOG_LINE, TICK, IDLE_SECOND}, 2}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
