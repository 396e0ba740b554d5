#include "platform/win32/command_line.h"

#include <cstdio>
#include <cstring>

#include "link/wire_trace.h"
#include "platform/options/option_texts.h"

namespace {

// An argument split into its option name and, for "--name=value", its value.
struct Argument {
    const char* name;
    size_t name_length;
    const char* attached_value;  // null: none after '='
};

bool named(const Argument& argument, const char* name)
{
    return argument.name_length == strlen(name) && strncmp(argument.name, name, argument.name_length) == 0;
}

Argument split(const char* text)
{
    const char* equals = strchr(text, '=');
    if (equals == nullptr) return {text, strlen(text), nullptr};
    return {text, static_cast<size_t>(equals - text), equals + 1};
}

}  // namespace

CommandLineAction cmdline_Read(int argc, char* const* argv, CommandLine& options,
                               char (&error)[COMMAND_LINE_TEXT_SIZE])
{
    error[0] = '\0';
    bool help = false;
    bool version = false;
    const char* stray = nullptr;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const char* text = argv[i];
        if (options_ended || text[0] != '-' || text[1] == '\0') {
            if (stray == nullptr) stray = text;
            continue;
        }
        if (strcmp(text, "--") == 0) {
            options_ended = true;
            continue;
        }
        // "-h", "-?" and "-v" are the short options; anything else after a
        // single dash is taken as unknown, as the Qt programs take it.
        const bool long_form = text[1] == '-';
        const Argument argument = long_form ? split(text + 2) : Argument {text + 1, strlen(text + 1), nullptr};
        const bool takes_value = long_form && (named(argument, "output-dir") || named(argument, "trace"));
        const bool is_help = long_form ? named(argument, "help") : named(argument, "h") || named(argument, "?");
        const bool is_version = long_form ? named(argument, "version") : named(argument, "v");
        const bool is_flag = is_help || is_version || (long_form && named(argument, "gpx"));
        if (!takes_value && !is_flag) {
            snprintf(error, sizeof error, "Unknown option '%.*s'.", static_cast<int>(argument.name_length),
                     argument.name);
            return COMMAND_LINE_ERROR;
        }
        if (is_flag && argument.attached_value != nullptr) {
            snprintf(error, sizeof error, "Unexpected value after '%.*s'.",
                     static_cast<int>(argument.attached_value - 1 - text), text);
            return COMMAND_LINE_ERROR;
        }
        if (is_help) help = true;
        if (is_version) version = true;
        if (named(argument, "gpx")) options.gpx = true;
        if (!takes_value) continue;

        const char* value = argument.attached_value;
        if (value == nullptr) {
            if (i + 1 == argc) {
                snprintf(error, sizeof error, "Missing value after '%s'.", text);
                return COMMAND_LINE_ERROR;
            }
            value = argv[++i];
        }
        (named(argument, "trace") ? options.trace : options.output_dir) = value;
    }
    // The order in which the Qt programs decide: option errors, the
    // version, the help, and only then a stray argument.
    if (version) return COMMAND_LINE_VERSION;
    if (help) return COMMAND_LINE_HELP;
    if (stray != nullptr) {
        snprintf(error, sizeof error, "Unexpected argument '%s'.", stray);
        return COMMAND_LINE_ERROR;
    }
    return COMMAND_LINE_RUN;
}

void cmdline_Usage(const char* program, const char* description, char (&text)[COMMAND_LINE_TEXT_SIZE])
{
    char trace_help[200];
    snprintf(trace_help, sizeof trace_help, TRACE_HELP_FORMAT, static_cast<int>(TRACE_SIZE_LIMIT >> 20));
    snprintf(text, sizeof text,
             "Usage: %s [options]\n%s\n\n"
             "--output-dir <dir>\n    %s\n"
             "--gpx\n    %s\n"
             "--trace <file>\n    %s\n"
             "--help\n    Show this text.\n"
             "--version\n    Show the program's version.",
             program, description, OUTPUT_DIR_HELP, GPX_HELP, trace_help);
}
