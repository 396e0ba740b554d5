// Application shell: start-up and shut-down, the choice of the output
// folder, the handling of the window's tick, close request and menu
// commands, the erase command, and the answers of an unattended run, all
// without any window toolkit. A front end (the Qt window, the terminal, a
// test) translates its events into these calls and provides the
// window-system seam.
//
// The shell owns main_window, program_dir and output_dir, and defines the
// calls the download makes into it (download/shell_calls.h); it reads the
// download's state only through the sequencer's own calls. Every way out of
// the program is the same pair of seam calls, stop the tick then quit with
// code 0; the front end then calls shell_Shutdown and returns. Boxes opened
// here block until answered while the front end keeps delivering ticks, and
// no box here changes the sequencer's state, so a running download goes on
// behind them; only shell_ChooseOutputDir, before the first tick, and the
// wait for the folder's lock end the download when no folder can be written
// (sequencer_FailAtStart).
#pragma once

#include <cstdint>

#include "download/shell_calls.h"
#include "seams/window_services.h"

constexpr int PROGRAM_DIR_SIZE = 260;

// The directory of the program file, without a trailing separator.
extern char program_dir[PROGRAM_DIR_SIZE];

// Sets program_dir from a program file path: everything before its last path
// separator. A path without one, whose only one is its first character, or
// an empty path gives an empty program_dir, and so does a path too long for
// program_dir: its folder is unknown, never a parent folder.
void shell_SetProgramDir(const char* program_file_path);

// --------------------------------------------------------- output folder --

// The folder the track files go to, without a trailing separator; empty
// until shell_ChooseOutputDir has found one that can be written.
extern char output_dir[PROGRAM_DIR_SIZE];

// The folder made for the track files inside the user's documents folder.
constexpr char DOCUMENTS_SUBDIR[] = "ZorpLoad";
// The demo programs' folder inside DOCUMENTS_SUBDIR: tracks of the simulated
// logger never mix with real ones, where they would make a real run skip a
// real track of the same name.
constexpr char DEMO_SUBDIR[] = "Demo";

// Set by a demo program before shell_Start, for the whole run: the logger
// is simulated. The output folder is then documents_dir/ZorpLoad/Demo unless
// a folder is named, never the program's own, and the window title and the
// first status line say "simulated logger". shell_Start leaves it as it is.
extern bool demo_run;
constexpr char DEMO_TITLE[] = " - simulated logger";
constexpr char DEMO_LINE[] = "Demo run on a simulated logger";

// The names under which the window remembers the user's choices
// (wnd_SaveSetting): the track folder, and "1" or "0" for GPX saving.
constexpr char SETTING_TRACK_FOLDER[] = "TrackFolder";
constexpr char SETTING_SAVE_GPX[] = "SaveGpx";
constexpr char SETTING_DEMO_PREFIX[] = "Demo";

// Chooses output_dir, after shell_Start and before the first tick:
//   - chosen_dir, the folder the user named, when given (created if missing,
//     with every missing folder above it);
//   - in a demo run, else documents_dir plus DOCUMENTS_SUBDIR plus
//     DEMO_SUBDIR, each created if missing;
//   - else program_dir, when it can be written;
//   - else documents_dir plus DOCUMENTS_SUBDIR, both created if missing.
// The front end finds documents_dir with its own toolkit. A folder counts as
// writable when a probe file can be created, closed and removed in it and
// its path leaves room for a track's temporary file name. Null or empty
// strings count as not given. An OutputDirChoice: when the folder chosen by
// the rule cannot be written, the log names it (a named folder as given,
// even one too long to take), and the first tick asks the "Download error"
// question without touching the adapter. The folder found is then locked
// (shell_LockOutputDir); one whose lock file cannot be made ends as a folder
// that cannot be written, and one another program holds is waited for by
// the first ticks (shell_AwaitOutputDir).
enum OutputDirChoice : int {
    OUTPUT_DIR_TAKEN = 0,    // output_dir is chosen and this program holds its lock
    OUTPUT_DIR_AWAITED = 1,  // output_dir is chosen; its lock is awaited
    OUTPUT_DIR_NONE = -1,    // no folder: the first tick asks the error question
};
int shell_ChooseOutputDir(const char* chosen_dir, const char* documents_dir);

// The line for a folder that cannot be written; its one argument the folder.
constexpr char CANNOT_WRITE_LINE[] = "Error - cannot write track files to %s";

// The line for a folder whose lock another program holds; its one argument
// the folder.
constexpr char FOLDER_BUSY_LINE[] = "Another ZorpLoad is saving into %s";

// How long a program waits for another one to give up the output folder,
// and how often it looks.
constexpr uint32_t FOLDER_WAIT_MS = 3000;
constexpr uint32_t FOLDER_RETRY_MS = 100;

// Set when the output folder's lock was held by another program for the
// whole wait; cleared by shell_Start and by each shell_LockOutputDir.
extern bool output_dir_busy;

// Set while another program holds the lock of output_dir and this one waits
// for it: the download has not started, and the folder takes no file yet.
extern bool output_dir_awaited;

// Tries once, without waiting, to take the lock of output_dir for the rest
// of the run; FOLDER_BUSY starts the wait (output_dir_awaited). A
// FolderLockResult (seams/base_services.h).
int shell_LockOutputDir();

// What a tick's step of the wait for the output folder's lock found.
enum FolderWait : int {
    FOLDER_NOT_AWAITED = 0,  // no wait: the tick is the download's
    FOLDER_AWAITED = 1,      // still held by another program
    FOLDER_TAKEN = 2,        // now this program's; the download starts on the next tick
    FOLDER_GIVEN_UP = 3,     // held for the whole wait, or its lock file cannot be made
};

// One tick's step of the wait that shell_LockOutputDir started: every
// FOLDER_RETRY_MS the lock is tried again, never sleeping. Once it is taken,
// GPX saving, when on, writes the GPX files the folder lacks. When it is
// still held after FOLDER_WAIT_MS: the line "Another ZorpLoad is saving
// into <output_dir>", output_dir_busy, no output_dir, and the "Download
// error" question on the next tick; a lock file that cannot be made meanwhile
// ends the same way with the line of a folder that cannot be written. A
// FolderWait.
int shell_AwaitOutputDir();

// The folder the user chose in the window, while no download runs: it becomes
// output_dir when it can be written (made if missing) and its lock is taken
// at the first try, the old folder's lock then given up, and 0 is returned.
// Otherwise output_dir and its lock stay as they were, the log says why
// (FOLDER_BUSY_LINE when another program holds the lock, else
// CANNOT_WRITE_LINE), and -1: the user can choose again.
int shell_ChangeOutputDir(const char* dir);

// ---------------------------------------------------------------- window --

constexpr int TICK_PERIOD_MS = 20;

// Menu and accelerator commands; only the low 16 bits of a command count.
enum ShellCommand : unsigned {
    CMD_ABOUT = 104,
    CMD_EXIT = 105,
    CMD_ERASE = 32772,
    CMD_SAVE_GPX = 32773,       // turns GPX saving on or off
    CMD_OPEN_FOLDER = 32774,    // shows output_dir in the system's file manager
    CMD_CHOOSE_FOLDER = 32775,  // asks for another output_dir, once no download runs
    CMD_SESSION_LOG = 32776,    // shows every line of the run
};

// Where the window's contents stand, in client pixels: the logo's top-left
// corner, and the top-left corner of status line i at (LOG_X, LOG_TOP +
// LOG_LINE_STEP * i).
constexpr int LOGO_X = 10;
constexpr int LOGO_Y = 5;
constexpr int LOG_X = 5;
constexpr int LOG_TOP = 60;
constexpr int LOG_LINE_STEP = 18;

// The main window, as the front end handed it to shell_Start; the owner of
// every box the shell and the sequencer open.
extern WindowHandle main_window;

// A front end's drawing primitives, given to the shell as plain function
// pointers so that the core needs no toolkit.
//   ShellPaint: draws whatever part of the window is waiting to be redrawn,
//               now, then calls shell_Painted.
//   LogDrawText: draws length bytes of text as one run with its top-left
//               corner at (x, y); control characters are drawn, never taken
//               as line breaks.
using ShellPaint = void (*)(WindowHandle window);
using LogDrawText = void (*)(void* surface, int x, int y, const char* text, int length);

// Start-up once the window exists and is shown, before the first tick:
// resets the link and the download to their start values, sets program_dir
// from the program file's path and output_dir to it, sets repaint_needed
// and clears the status log. paint is the front end's drawing step of a tick
// with a redraw waiting (null: none).
void shell_Start(WindowHandle window, ShellPaint paint);

// Starts recording the adapter's traffic into the file at path (at most
// WIREREC_SIZE_LIMIT bytes, link/wire_record.h), for a problem report. Call it
// after shell_Start and before the first tick. When the file cannot be
// created, one status line says so and the program runs as without a trace.
// 0, or -1 when nothing is recorded.
int shell_StartTrace(const char* path);

// The start-up options every front end takes, applied after shell_Start and
// before the first tick in the one order that works: in a demo run the line
// saying so; the wire trace into trace_path, so that it holds every driver
// call; then the output folder (shell_ChooseOutputDir with chosen_dir, else
// the folder the user chose in the window before, and documents_dir); then,
// when gpx is set or the user left "Save tracks as GPX" on before, and a
// folder was found, GPX saving, whose first act writes into that folder
// (once its lock is this program's);
// last the window title, which names the folder. The choices remembered are
// the demo's own in a demo run. Null or empty paths count as not given.
// Returns what shell_ChooseOutputDir returned.
int shell_ApplyStartOptions(const char* trace_path, const char* chosen_dir, const char* documents_dir, bool gpx);

// One tick of the 20 ms timer: one download step (or, while the output
// folder's lock is awaited, one step of that wait), then the trace's lines of
// that step go to its file (a trace cut short is said in the log once no
// line waits for its end: the search line's " o.k.", a track's progress),
// then the drawing step when a redraw is waiting, then, when repaint_needed
// is set, clears it and asks for a full redraw (which is then waiting). An
// idle window, whose log, logo and size stay as they are, is never drawn by
// the tick.
void shell_Tick();

// The front end's window changed in a way it must be drawn anew for (moved
// to a screen of another DPI): asks for a full redraw, which the next tick
// draws unless the window system draws it first.
void shell_WindowChanged();

// The front end has drawn its window, on a tick or on the window system's
// own paint request: no redraw is waiting any more.
void shell_Painted();

// The window's close box (or the system's close request). During a download
// asks "Exit application ?" and goes on unless the answer is Yes; once the
// download is idle, or after Yes, stops the tick and quits with code 0. The
// window itself stays; the front end must not close it on its own.
void shell_CloseRequest();

// A menu or accelerator command: About, Exit (as the close request), Erase,
// Save tracks as GPX (shell_SetGpx with the opposite of shell_GpxOn, then
// remembered), Open track folder, Choose track folder (shell_ChangeOutputDir
// with the folder the user picks, then remembered and, with GPX saving on,
// the GPX its track files lack written), Session log. 1 when
// handled, also when the command is not available now (it then does
// nothing), 0 when the command is not the shell's and the front end's
// default handling applies.
int shell_Command(unsigned command);

// Whether a menu command can be used now, for the front end to grey out its
// item: choosing the track folder only while no download runs, so that a
// running download keeps saving where it started; opening it only once
// there is one. 1 for every other command.
int shell_CommandAvailable(unsigned command);

// Whether saving tracks as GPX is on, for the front end's check mark.
bool shell_GpxOn();

// Saving tracks as GPX, the one switch of every front end (the command-line
// option and the menu item "Save tracks as GPX"): on, first writes the GPX of
// every track file in output_dir that has none yet (while its lock is
// awaited, once it is taken), then each track saved
// from then on gets one too; off stops that. Off after shell_Start, so a
// front end turns it on after shell_ChooseOutputDir.
void shell_SetGpx(bool on);

// After the message loop has ended: closes the adapter if one is open, then
// finishes the trace file and gives up the output folder's lock.
void shell_Shutdown();

// Draws every non-empty status line at its place, one draw_text call each.
void log_Draw(void* surface, LogDrawText draw_text);

// ------------------------------------------------------------ unattended --

// For a front end that shows no boxes (a terminal, a script): the answers a
// user who is not there would give, and the outcome of the run, which such a
// front end turns into its exit code.
enum RunOutcome : int {
    OUTCOME_SAVED = 0,           // every track saved or already there (or none on the logger)
    OUTCOME_DOWNLOAD_ERROR = 1,  // logger or line failed, no folder to write, or the erase failed
    OUTCOME_NO_ADAPTER = 2,      // no adapter within the wait
    OUTCOME_NOT_SAVED = 3,       // the download ran through, but some tracks could not be saved
    OUTCOME_FOLDER_BUSY = 4,     // another program was saving into the output folder
    OUTCOME_OUTPUT_FAILED = 5,   // a terminal front end could not write its standard output and
                                 // stopped there (its own outcome; the shell never gives it)
};

// How long to wait between two looks for a missing adapter.
constexpr uint32_t ADAPTER_RETRY_MS = 1000;

// The answer to a Yes/No question other than the exit question (the erase
// confirmation): 1 for Yes.
using UnattendedConfirm = int (*)(const char* question);

// Starts an unattended run: a missing adapter is looked for again until
// adapter_wait_ms have passed from now; confirm answers the other questions
// (null: always No). The outcome starts as a download error.
void unattended_Start(uint32_t adapter_wait_ms, UnattendedConfirm confirm);

// The answer to a box the core opens during an unattended run:
//   - Retry and Cancel (the adapter error): Retry after a pause of up to
//     ADAPTER_RETRY_MS when unattended_AdapterWaitGoesOn said so (the
//     waiting line then shows the time left), else Cancel (no adapter);
//   - the exit question: Yes, the outcome following from its icon
//     (information: done) and from the tracks left unsaved;
//   - any other Yes/No question: confirm's answer;
//   - OK: a box with the error icon makes the outcome a download error.
int unattended_Answer(const char* text, int icon, int buttons);

// The outcome of the run so far.
int unattended_Outcome();

// Whether a status line reports a failure (the adapter check, why the
// adapter cannot be used, a run that ends failed, a folder, file or trace
// that cannot be used), for a front end that copies those to an error
// stream.
bool shell_IsErrorLine(const char* line);

// ----------------------------------------------------------------- erase --

// The "Erase GPS Log" command: refused unless the download is idle; refused
// too, with the failure box, when a track this run skipped as saved is not
// held by its file (check_SkippedTracks, whose line names the file); asks
// for confirmation, sends the erase request and, when that fails, returns
// the line to 38400 baud and sends it once more; the outcome is shown in a
// box. Leaves seq_state unchanged.
void shell_EraseCommand(WindowHandle window);

// Announces, after shell_Start and before the first tick, that the erase
// command follows the download when it saves every track (the terminal's
// --erase): the download then takes the summary and the track list only
// when two reads agree, so that a track reply lost without a trace cannot
// leave a track unread and then erased.
void shell_EraseAfterDownload();
