#include "platform/terminal/terminal_front.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/terminal/documents_dir.h"
#include "seams/base_services.h"
#include "seams/window_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

namespace {

// The last line, printed (on a terminal) or held back (elsewhere) until the
// next one begins.
char open_line[LOG_LINE_SIZE];
bool line_open;
size_t shown_length;  // characters of open_line on the terminal
bool on_terminal;
bool running;
bool assume_yes;
bool output_failed;
bool errors_apart;  // standard error is not where standard output goes

// The window handle the core passes back; the terminal has no window.
int terminal_window;

// Sends what standard output holds on its way. The first failure (a full
// disk, a reader gone) is said once on standard error and ends the run: a
// run whose report is lost must not pass for one that went well.
void flush_Output()
{
    if (fflush(stdout) == 0 || output_failed) return;
    const int error = errno;
    output_failed = true;
    running = false;
    fprintf(stderr, "%s: cannot write to standard output: %s\n", program_invocation_short_name, strerror(error));
}

void print_Clean(const char* text, FILE* out = stdout)
{
    for (const char* c = text; *c != '\0'; ++c)
        fputc(static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F ? ' ' : *c, out);
}

// A line that reports a failure goes to standard error as well, unless that
// is where standard output goes (a terminal, 2>&1), where it would show twice.
void copy_Error(const char* text)
{
    if (!errors_apart) return;
    print_Clean(text, stderr);
    fputc('\n', stderr);
}

bool same_File(int a, int b)
{
    struct stat first {}, second {};
    return fstat(a, &first) == 0 && fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

void finish_Line()
{
    if (!line_open) return;
    if (!on_terminal) print_Clean(open_line);
    putchar('\n');
    flush_Output();
    line_open = false;
}

// Rows above the cursor that the open line fills on the terminal, where a
// line wider than the terminal wraps; 0 when the width is unknown.
unsigned rows_Above()
{
    winsize size {};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || shown_length == 0) return 0;
    const auto rows = static_cast<unsigned>((shown_length - 1) / size.ws_col);
    // The cursor goes no higher than the top row: rows that have scrolled
    // out of sight stay as they are.
    return size.ws_row > 0 && rows >= size.ws_row ? size.ws_row - 1u : rows;
}

void show_Line(const char* line, int added)
{
    if (added) finish_Line();
    if (added && shell_IsErrorLine(line)) copy_Error(line);
    snprintf(open_line, sizeof open_line, "%s", line);
    line_open = true;
    if (!on_terminal) return;
    if (!added) {
        // Back to where the line began, also when it wrapped; the new text
        // then erases whatever is left of the old one.
        fputs("\r", stdout);
        if (unsigned rows = rows_Above(); rows > 0) printf("\x1b[%uA", rows);
    }
    print_Clean(open_line);
    shown_length = strlen(open_line);
    if (!added) fputs("\x1b[J", stdout);
    flush_Output();
}

void print_Line(const char* text)
{
    finish_Line();
    print_Clean(text);
    putchar('\n');
    flush_Output();
}

int ask_User(const char* question)
{
    if (assume_yes) return 1;
    if (!terminal_CanAsk()) return 0;
    finish_Line();
    printf("%s [y/N] ", question);
    flush_Output();
    char answer[16];
    if (fgets(answer, sizeof answer, stdin) == nullptr) return 0;
    return answer[0] == 'y' || answer[0] == 'Y';
}

}  // namespace

bool terminal_CanAsk()
{
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

TerminalSettings terminal_Settings(const ProgramOptions& options)
{
    if (options.erase && !options.assume_yes && !terminal_CanAsk())
        options_Refuse("--erase without a terminal to ask on needs --yes");
    return {options.wait_seconds * 1000u, options.erase, options.assume_yes};
}

// ------------------------------------------------------ window services --

int wnd_MessageBox(WindowHandle, const char* text, const char*, int icon, int buttons)
{
    const int answer = unattended_Answer(text, icon, buttons);
    // The log says what happened; of the boxes only their news is shown.
    if (buttons == BUTTONS_OK || (buttons == BUTTONS_RETRY_CANCEL && answer == ANSWER_CANCEL)) {
        print_Line(text);
        if (icon == ICON_ERROR) copy_Error(text);
    }
    return answer;
}

void wnd_AboutBox(WindowHandle) {}

void wnd_StopTick(WindowHandle)
{
    running = false;
}

void wnd_Quit(int)
{
    running = false;
}

void wnd_Redraw(WindowHandle) {}

void wnd_SetTitle(WindowHandle, const char*) {}

// No menu reaches these, and a terminal remembers no choices.
int wnd_OpenFolder(const char*)
{
    return -1;
}

int wnd_ChooseFolder(WindowHandle, const char*, const char*, char*, int)
{
    return 0;
}

void wnd_SessionLogBox(WindowHandle) {}

int wnd_LoadSetting(const char*, char*, int)
{
    return 0;
}

void wnd_SaveSetting(const char*, const char*) {}

// ------------------------------------------------------------------ run --

int terminal_Run(const ProgramOptions& options, const TerminalSettings& settings)
{
    on_terminal = isatty(STDOUT_FILENO);
    errors_apart = !same_File(STDOUT_FILENO, STDERR_FILENO);
    assume_yes = settings.assume_yes;
    line_open = false;
    output_failed = false;
    clearerr(stdout);

    shell_Start(&terminal_window, nullptr);
    log_SetObserver(show_Line);
    char documents[PROGRAM_DIR_SIZE];
    documents_Dir(documents);
    options_Apply(options, documents);
    if (settings.erase) shell_EraseAfterDownload();
    unattended_Start(settings.adapter_wait_ms, ask_User);

    running = !output_failed;
    while (running) {
        const uint32_t start = sys_TickCount();
        shell_Tick();
        const uint32_t took = sys_TickCount() - start;
        if (running && took < static_cast<uint32_t>(TICK_PERIOD_MS)) sys_Sleep(TICK_PERIOD_MS - took);
    }
    if (settings.erase && unattended_Outcome() == OUTCOME_SAVED && !output_failed) shell_EraseCommand(main_window);

    shell_Shutdown();
    finish_Line();
    log_SetObserver(nullptr);
    return output_failed ? OUTCOME_OUTPUT_FAILED : unattended_Outcome();
}
