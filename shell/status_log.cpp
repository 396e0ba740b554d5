#include "shell/status_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

char status_log[LOG_LINE_COUNT][LOG_LINE_SIZE];
int repaint_needed;

static constexpr size_t LINE_TEXT_MAX = LOG_LINE_SIZE - 1;

static LogObserver observer;

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
            notify(status_log[k], 1);
            return;
        }
    }
    for (int i = 1; i < LOG_LINE_COUNT; ++i) memcpy(status_log[i - 1], status_log[i], strlen(status_log[i]) + 1);
    write_at(status_log[LOG_LINE_COUNT - 1], 0, text);
    notify(status_log[LOG_LINE_COUNT - 1], 1);
}

void log_AppendLast(const char* text)
{
    char* line = status_log[log_LastUsedLine()];
    write_at(line, strlen(line), text);
    repaint_needed = 1;
    notify(line, 0);
}

void log_ReplaceTail(const char* text)
{
    char* line = status_log[log_LastUsedLine()];
    size_t line_length = strlen(line);
    size_t text_length = strlen(text);
    write_at(line, line_length > text_length ? line_length - text_length : 0, text);
    repaint_needed = 1;
    notify(line, 0);
}

void log_Clear()
{
    for (auto& line : status_log) line[0] = '\0';
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
