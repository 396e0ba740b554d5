// The window's handling table without a toolkit: start-up, tick, close
// request, menu commands and shut-down, and the drawing of the status log.
#include "shell/shell.h"

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "gpx/gpx.h"
#include "link/gps_link.h"
#include "link/wire_record.h"
#include "resources/texts.h"
#include "seams/base_services.h"
#include "shell/status_log.h"

WindowHandle main_window;

static ShellPaint paint_step;

// A full redraw was asked for and the window has not been drawn since.
static bool redraw_waiting;

static const char* const EXIT_TITLE = "ZORP download utility";
static const char OPEN_TITLE[] = "Open track folder";
static const char CHOOSE_TITLE[] = "Choose track folder";
static const char OPEN_FAILED[] = "No file manager could show the track folder ";

// Why the trace ended early, until the log has said so.
static int wirerec_cut;

void shell_Start(WindowHandle window, ShellPaint paint)
{
    main_window = window;
    paint_step = paint;
    redraw_waiting = false;
    link_Reset();
    download_Reset();
    wirerec_cut = WIREREC_RUNNING;

    // One byte more than program_dir holds: a path cut to fit the buffer
    // shows as too long, and counts as unknown.
    char program_path[PROGRAM_DIR_SIZE + 1];
    if (sys_ProgramPath(program_path, sizeof program_path) == 0) program_path[0] = '\0';
    shell_SetProgramDir(program_path);
    memcpy(output_dir, program_dir, sizeof output_dir);
    output_dir_busy = false;
    output_dir_awaited = false;

    log_Clear();
}

int shell_StartTrace(const char* path)
{
    if (wirerec_Start(path, WIREREC_SIZE_LIMIT) == 0) return 0;
    log_AddLinef("Trace not recorded: cannot write %s", path);
    return -1;
}

// The program's name, then what the run is on, then the folder in use: the
// window's layout has no room below its 20 lines for a status bar.
static void show_Title()
{
    char title[sizeof window_title + sizeof DEMO_TITLE + 3 + PROGRAM_DIR_SIZE];
    snprintf(title, sizeof title, "%s%s%s%s", window_title, demo_run ? DEMO_TITLE : "",
             output_dir[0] != '\0' ? " - " : "", output_dir);
    wnd_SetTitle(main_window, title);
}

// A demo remembers its choices apart, as it keeps its tracks apart.
using SettingName = char[sizeof SETTING_DEMO_PREFIX + sizeof SETTING_TRACK_FOLDER];

static const char* setting_Name(SettingName& name, const char* setting)
{
    snprintf(name, sizeof name, "%s%s", demo_run ? SETTING_DEMO_PREFIX : "", setting);
    return name;
}

static int load_Setting(const char* setting, char* value, int size)
{
    SettingName name;
    return wnd_LoadSetting(setting_Name(name, setting), value, size);
}

static void save_Setting(const char* setting, const char* value)
{
    SettingName name;
    wnd_SaveSetting(setting_Name(name, setting), value);
}

int shell_ApplyStartOptions(const char* trace_path, const char* chosen_dir, const char* documents_dir, bool gpx)
{
    if (demo_run) log_AddLine(DEMO_LINE);
    if (trace_path != nullptr && trace_path[0] != '\0') shell_StartTrace(trace_path);
    // The command line wins for its run, and is not remembered.
    char remembered_dir[PROGRAM_DIR_SIZE];
    if ((chosen_dir == nullptr || chosen_dir[0] == '\0') &&
        load_Setting(SETTING_TRACK_FOLDER, remembered_dir, sizeof remembered_dir) == 1)
        chosen_dir = remembered_dir;
    char remembered_gpx[2];
    if (!gpx && load_Setting(SETTING_SAVE_GPX, remembered_gpx, sizeof remembered_gpx) == 1)
        gpx = remembered_gpx[0] == '1';
    const int chosen = shell_ChooseOutputDir(chosen_dir, documents_dir);
    if (chosen != OUTPUT_DIR_NONE && gpx) shell_SetGpx(true);
    show_Title();
    return chosen;
}

void shell_Tick()
{
    const int folder_wait = shell_AwaitOutputDir();
    if (folder_wait == FOLDER_NOT_AWAITED) sequencer_Tick(main_window);
    if (folder_wait == FOLDER_GIVEN_UP) show_Title();
    // Between ticks no exchange is running, so the file write cannot delay one.
    if (const int cut = wirerec_Flush(); cut != WIREREC_RUNNING) wirerec_cut = cut;
    if (wirerec_cut != WIREREC_RUNNING && !sequencer_LineOpen()) {
        if (wirerec_cut == WIREREC_CUT_NOT_READ)
            log_AddLinef("Trace cut short: %s is not read fast enough", wirerec_Path());
        else
            log_AddLinef("Trace cut short: cannot write %s", wirerec_Path());
        wirerec_cut = WIREREC_RUNNING;
    }
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

static void open_Folder()
{
    if (wnd_OpenFolder(output_dir) == 0) return;
    char text[sizeof OPEN_FAILED + PROGRAM_DIR_SIZE];
    snprintf(text, sizeof text, "%s%s", OPEN_FAILED, output_dir);
    wnd_MessageBox(main_window, text, OPEN_TITLE, ICON_ERROR, BUTTONS_OK);
}

// Only while no download runs, so the folder a download saves into never
// changes under it; the next start uses the folder chosen.
static void choose_Folder()
{
    char chosen[PROGRAM_DIR_SIZE];
    if (wnd_ChooseFolder(main_window, CHOOSE_TITLE, output_dir, chosen, sizeof chosen) != 1) return;
    if (shell_ChangeOutputDir(chosen) != 0) return;
    save_Setting(SETTING_TRACK_FOLDER, output_dir);
    log_AddLinef("Output directory: %s", output_dir);
    // With GPX on, the folder's older tracks get theirs as at start-up, now
    // that its lock is this program's.
    if (shell_GpxOn()) gpx_WriteMissing(output_dir);
    show_Title();
}

// Leaving in the middle of a download needs a Yes; the question changes no
// state, so the download goes on behind the box while the user decides.
static int may_leave()
{
    if (sequencer_Idle()) return 1;
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
        shell_SetGpx(!shell_GpxOn());
        save_Setting(SETTING_SAVE_GPX, shell_GpxOn() ? "1" : "0");
        return 1;
    case CMD_OPEN_FOLDER:
        if (shell_CommandAvailable(command)) open_Folder();
        return 1;
    case CMD_CHOOSE_FOLDER:
        if (shell_CommandAvailable(command)) choose_Folder();
        return 1;
    case CMD_SESSION_LOG:
        wnd_SessionLogBox(main_window);
        return 1;
    default:
        return 0;
    }
}

int shell_CommandAvailable(unsigned command)
{
    switch (command & 0xFFFFu) {
    case CMD_OPEN_FOLDER: return output_dir[0] != '\0';
    case CMD_CHOOSE_FOLDER: return sequencer_Idle();
    default: return 1;
    }
}

bool shell_GpxOn()
{
    return gpx_Saving();
}

void shell_SetGpx(bool on)
{
    gpx_SetSaving(on);
    if (on && output_dir[0] != '\0' && !output_dir_awaited) gpx_WriteMissing(output_dir);
}

void shell_Shutdown()
{
    usb_Close();
    wirerec_Stop();
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
