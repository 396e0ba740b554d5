#include "shell/status_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

char status_log[LOG_LINE_COUNT][LOG_LINE_SIZE];
int repaint_needed;

static constexpr size_t LINE_TEXT_MAX = LOG_LINE_SIZE - 1;

static LogObserver observer;

// The session's lines in a ring: line number n (counted from log_Clear) lives
// in slot n % SESSION_LINES. Each status line knows the number of its
// session line, so a change in place reaches the session too.
static char session_lines[SESSION_LINES][LOG_LINE_SIZE];
static uint32_t session_total;
static uint32_t session_of[LOG_LINE_COUNT];

static void session_Add(int status_line)
{
    session_of[status_line] = session_total;
    memcpy(session_lines[session_total++ % SESSION_LINES], status_log[status_line], LOG_LINE_SIZE);
}

// Mirrors a change in place; a line long pushed out of the ring is gone. On
// an empty log the change makes the first line.
static void session_Update(int status_line)
{
    if (session_total == 0) return session_Add(status_line);
    const uint32_t number = session_of[status_line];
    if (session_total - number <= SESSION_LINES)
        memcpy(session_lines[number % SESSION_LINES], status_log[status_line], LOG_LINE_SIZE);
}

uint32_t session_LineCount()
{
    return session_total < SESSION_LINES ? session_total : SESSION_LINES;
}

uint32_t session_Dropped()
{
    return session_total - session_LineCount();
}

const char* session_Line(uint32_t i)
{
    if (i >= session_LineCount()) return "";
    return session_lines[(session_Dropped() + i) % SESSION_LINES];
}

void log_SetObserver(LogObserver new_observer)
{
    observer = new_observer;
}

static void notify(const char* line, int added)
{
    if (observer) observer(line, added);
}

// Copies text into line from position at, cut so that the line never holds
// more than 259 characters.
static void write_at(char* line, size_t at, const char* text)
{
    size_t room = LINE_TEXT_MAX - at;
    size_t length = strnlen(text, room);
    memcpy(line + at, text, length);
    line[at + length] = '\0';
}

int log_LastUsedLine()
{
    // Line 0 is never tested, so an empty log targets line 0.
    for (int k = 1; k < LOG_LINE_COUNT; ++k)
        if (status_log[k][0] == '\0') return k - 1;
    return LOG_LINE_COUNT - 1;
}

void log_AddLine(const char* text)
{
    repaint_needed = 1;
    for (int k = 0; k < LOG_LINE_COUNT; ++k) {
        if (status_log[k][0] == '\0') {
            write_at(status_log[k], 0, text);
            session_Add(k);
            notify(status_log[k], 1);
            return;
        }
    }
    for (int i = 1; i < LOG_LINE_COUNT; ++i) {
        memcpy(status_log[i - 1], status_log[i], strlen(status_log[i]) + 1);
        session_of[i - 1] = session_of[i];
    }
    write_at(status_log[LOG_LINE_COUNT - 1], 0, text);
    session_Add(LOG_LINE_COUNT - 1);
    notify(status_log[LOG_LINE_COUNT - 1], 1);
}

void log_AppendLast(const char* text)
{
    const int last = log_LastUsedLine();
    char* line = status_log[last];
    write_at(line, strlen(line), text);
    session_Update(last);
    repaint_needed = 1;
    notify(line, 0);
}

void log_ReplaceTail(const char* text)
{
    const int last = log_LastUsedLine();
    char* line = status_log[last];
    size_t line_length = strlen(line);
    size_t text_length = strlen(text);
    write_at(line, line_length > text_length ? line_length - text_length : 0, text);
    session_Update(last);
    repaint_needed = 1;
    notify(line, 0);
}

void log_Clear()
{
    for (auto& line : status_log) line[0] = '\0';
    session_total = 0;
    repaint_needed = 1;
}

// Formats into a line-sized buffer, cut at 259 characters; a format the C
// library cannot render gives an empty text rather than undefined bytes.
static void format_line(char (&text)[LOG_LINE_SIZE], const char* format, va_list args)
{
    if (vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
}

void log_AddLinef(const char* format, ...)
{
    char text[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    format_line(text, format, args);
    va_end(args);
    log_AddLine(text);
}

void log_AppendLastf(const char* format, ...)
{
    char text[LOG_LINE_SIZE];
    va_list args;
    va_start(args, format);
    format_line(text, format, args);
    va_end(args);
    log_AppendLast(text);
}
