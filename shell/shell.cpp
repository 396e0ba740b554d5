// The window's handling table without a toolkit: start-up, tick, close
// request, menu commands and shut-down, and the drawing of the status log.
#include "shell/shell.h"

#include <cstring>

#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "link/wire_trace.h"
#include "seams/base_services.h"
#include "shell/status_log.h"

WindowHandle main_window;

static ShellPaint paint_step;

// A full redraw was asked for and the window has not been drawn since.
static bool redraw_waiting;

static const char* const EXIT_TITLE = "ZORP download utility";

void shell_Start(WindowHandle window, ShellPaint paint)
{
    main_window = window;
    paint_step = paint;
    redraw_waiting = false;
    link_Reset();
    download_Reset();

    // One byte more than program_dir holds: a path cut to fit the buffer
    // shows as too long, and counts as unknown.
    char program_path[PROGRAM_DIR_SIZE + 1];
    if (sys_ProgramPath(program_path, sizeof program_path) == 0) program_path[0] = '\0';
    shell_SetProgramDir(program_path);
    memcpy(output_dir, program_dir, sizeof output_dir);
    output_dir_busy = false;

    log_Clear();
}

int shell_StartTrace(const char* path)
{
    if (trace_Start(path, TRACE_SIZE_LIMIT) == 0) return 0;
    log_AddLinef("Trace not recorded: cannot write %s", path);
    return -1;
}

int shell_ApplyStartOptions(const char* trace_path, const char* chosen_dir, const char* documents_dir, bool gpx)
{
    if (trace_path != nullptr && trace_path[0] != '\0') shell_StartTrace(trace_path);
    const int chosen = shell_ChooseOutputDir(chosen_dir, documents_dir);
    if (chosen == 0 && gpx) shell_SetGpx(true);
    return chosen;
}

void shell_Tick()
{
    sequencer_Tick(main_window);
    // Between ticks no exchange is running, so the file write cannot delay one.
    if (trace_Flush() != 0) log_AddLinef("Trace cut short: cannot write %s", trace_Path());
    if (redraw_waiting && paint_step) paint_step(main_window);
    if (repaint_needed) {
        repaint_needed = 0;
        shell_WindowChanged();
    }
}

void shell_WindowChanged()
{
    redraw_waiting = true;
    wnd_Redraw(main_window);
}

void shell_Painted()
{
    redraw_waiting = false;
}

void shell_Leave(WindowHandle window)
{
    wnd_StopTick(window);
    wnd_Quit(0);
}

// Leaving in the middle of a download needs a Yes; the question changes no
// state, so the download goes on behind the box while the user decides.
static int may_leave()
{
    if (seq_state == SEQ_IDLE) return 1;
    return wnd_MessageBox(main_window, EXIT_QUESTION, EXIT_TITLE, ICON_WARNING, BUTTONS_YES_NO) == ANSWER_YES;
}

void shell_CloseRequest()
{
    if (may_leave()) shell_Leave(main_window);
}

int shell_Command(unsigned command)
{
    switch (command & 0xFFFFu) {
    case CMD_ABOUT:
        wnd_AboutBox(main_window);
        return 1;
    case CMD_EXIT:
        shell_CloseRequest();
        return 1;
    case CMD_ERASE:
        shell_EraseCommand(main_window);
        return 1;
    case CMD_SAVE_GPX:
        shell_SetGpx(!gpx_enabled);
        return 1;
    default:
        return 0;
    }
}

void shell_SetGpx(bool on)
{
    gpx_enabled = on;
    if (on && output_dir[0] != '\0') gpx_WriteMissing(output_dir);
}

void shell_Shutdown()
{
    usb_Close();
    trace_Stop();
    sys_FolderUnlock();
}

void log_Draw(void* surface, LogDrawText draw_text)
{
    for (int i = 0; i < LOG_LINE_COUNT; ++i) {
        const char* line = status_log[i];
        if (line[0] == '\0') continue;
        draw_text(surface, LOG_X, LOG_TOP + LOG_LINE_STEP * i, line, static_cast<int>(strnlen(line, LOG_LINE_SIZE)));
    }
}
