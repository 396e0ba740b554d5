// Status log: the program's running report to the user, 20 fixed lines drawn
// under the logo, and the flag that tells the window to redraw; behind it the
// session's lines, every line of the run as it stands now, for a view of the
// whole run.
//
// Invariants: each line holds a NUL-terminated text of at most 259 bytes; the
// non-empty lines form one unbroken run from line 0; no operation ever writes
// past a line's 260 bytes (longer texts are cut at 259 characters). Texts are
// stored byte for byte: a CR or LF is a character, never a line break.
// None of the operations fails or allocates, and none calls out except to
// the observer that a front end may set.
#pragma once

#include <cstdint>

constexpr int LOG_LINE_COUNT = 20;
constexpr int LOG_LINE_SIZE = 260;

// Line 0 is the top and oldest line.
extern char status_log[LOG_LINE_COUNT][LOG_LINE_SIZE];

// 1 when the window must be redrawn; every writing operation sets it, only the
// window's tick handler clears it.
extern int repaint_needed;

// Writes text as a new line: the first empty line, or line 19 after scrolling
// every line up by one when the log is full.
void log_AddLine(const char* text);

// Appends text to the last used line (line 0 on an empty log).
void log_AppendLast(const char* text);

// Overwrites the end of the last used line with text: a line longer than the
// text keeps its length, any other becomes the text. Used for the progress
// field, whose texts all have the same width.
void log_ReplaceTail(const char* text);

// Empties every line, the session's too, and sets repaint_needed.
void log_Clear();

// The session: every line the status log took since log_Clear, oldest first,
// each as it stands now (a progress line with its last percentage). Fixed
// storage: when SESSION_LINES are kept, each new line pushes the oldest out,
// so a view of the run always holds its latest lines, and session_Dropped
// says how many went before them.
constexpr uint32_t SESSION_LINES = 4096;
uint32_t session_LineCount();
uint32_t session_Dropped();
// A view's first line when session_Dropped is not 0, with that number.
constexpr char SESSION_DROPPED[] = "(%u earlier lines not kept)";
// Line i of those kept, 0 the oldest; "" past the last.
const char* session_Line(uint32_t i);

// A front end that shows the log elsewhere (a terminal) learns of each
// change: added is 1 for a new line, 0 when the last line changed in place;
// line is the changed line's text as stored. Not called for log_Clear.
using LogObserver = void (*)(const char* line, int added);

// Sets the observer; null: none (the start value).
void log_SetObserver(LogObserver observer);

// Index of the line that log_AppendLast and log_ReplaceTail work on.
int log_LastUsedLine();

// log_AddLine with a printf-style format; the result is cut to fit a line.
void log_AddLinef(const char* format, ...) __attribute__((format(printf, 1, 2)));

// log_AppendLast with a printf-style format; the result is cut to fit a line.
void log_AppendLastf(const char* format, ...) __attribute__((format(printf, 1, 2)));
