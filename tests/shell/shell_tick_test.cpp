// The tick's drawing step: the window is drawn on a tick only when a redraw
// waits (a log change, a changed window) and the window system has not drawn
// it first, so an idle window costs no painting.
#include <gtest/gtest.h>

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

void idle_Second()
{
    for (int i = 0; i < 1000 / TICK_PERIOD_MS; ++i) shell_Tick();
}

TEST(ShellTick, DrawsOnlyWhenARedrawWaits)
{
    fake_WindowReset();
    shell_Start(nullptr, count_Paint);
    seq_state = SEQ_IDLE;
    paints = 0;
    shell_Tick();
    shell_Painted();
    idle_Second();
    EXPECT_EQ(paints, 0) << "drawn again after the window system drew it";
    shell_WindowChanged();
    idle_Second();
    EXPECT_EQ(paints, 1) << "a changed window drawn once";
    log_AddLine("Track ID=1 ... o.k.");
    log_AddLine("Track ID=2 ... o.k.");
    idle_Second();
    EXPECT_EQ(paints, 2) << "the lines of one tick drawn once";
}

}  // namespace
