// The table of options and the reader that walks argv along it. Sections:
// the table; reading; the help text; the programs' use of both.
#include "platform/options/command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/wire_record.h"
#include "shell/shell.h"
#include "shell/status_log.h"

namespace {

// ---------------------------------------------------------------- table --

// What the options say so far, the actions among them included.
struct Reading {
    ProgramOptions options;
    bool help = false;
    bool help_all = false;
    bool version = false;
};

// An option's effect on what is read: false refuses the value.
using Effect = bool (*)(Reading& reading, const char* value);

struct OptionRow {
    char letter;             // the one-letter name ("-h"); 0: none
    const char* name;        // the long name ("--help"); null: none
    const char* value_name;  // null: a switch; else the value's name in the help ("<dir>")
    unsigned programs;       // the ProgramKinds that take it; 0: every program
    bool qt_own;  // Qt's own option: Qt reads it from argv itself; also with one dash; listed by --help-all only
    const char* help;        // null: never listed
    Effect effect;           // null: none
    const char* refusal;     // the error for a value the effect refuses
};

// Decimal digits only, up to WAIT_SECONDS_MAX.
bool parse_Seconds(const char* text, uint32_t& seconds)
{
    uint32_t value = 0;
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
        value = value * 10 + static_cast<uint32_t>(*text - '0');
        if (value > WAIT_SECONDS_MAX) return false;
    }
    seconds = value;
    return true;
}

// The texts below name these limits.
static_assert(WIREREC_SIZE_LIMIT == 64u << 20 && WAIT_SECONDS_MAX == 86400);

// In the order --help lists them.
constexpr OptionRow option_rows[] = {
    {0, "wait", "seconds", PROGRAM_TERMINAL, false, "Look for a missing adapter for up to <seconds> (default 0).",
     [](Reading& r, const char* value) { return parse_Seconds(value, r.options.wait_seconds); },
     "--wait takes a number of seconds from 0 to 86400"},
    {0, "erase", nullptr, PROGRAM_TERMINAL, false, "Erase the logger once every track is saved (asks first).",
     [](Reading& r, const char*) { r.options.erase = true; return true; }, nullptr},
    {0, "yes", nullptr, PROGRAM_TERMINAL, false,
     "Answer yes instead of asking; needed for --erase without a terminal.",
     [](Reading& r, const char*) { r.options.assume_yes = true; return true; }, nullptr},
    {'h', "help", nullptr, 0, false, "Displays help on commandline options.",
     [](Reading& r, const char*) { r.help = true; return true; }, nullptr},
    {'?', nullptr, nullptr, 0, false, nullptr, [](Reading& r, const char*) { r.help = true; return true; }, nullptr},
    {0, "help-all", nullptr, PROGRAM_QT, false, "Displays help including Qt specific options.",
     [](Reading& r, const char*) { r.help_all = true; return true; }, nullptr},
    {'v', "version", nullptr, 0, false, "Displays version information.",
     [](Reading& r, const char*) { r.version = true; return true; }, nullptr},
    {0, "output-dir", "dir", 0, false,
     "Save the track files in <dir> (made if missing) instead of the program's folder or Documents/ZorpLoad.",
     [](Reading& r, const char* value) { r.options.output_dir = value; return true; }, nullptr},
    {0, "gpx", nullptr, 0, false,
     "Also save each track as GPX (<name>.gpx beside <name>.txt), and every track file in the output folder that "
     "has no GPX yet.",
     [](Reading& r, const char*) { r.options.gpx = true; return true; }, nullptr},
    {0, "port", "device", PROGRAM_SERIAL_PORT, false,
     "Use the serial device <device> (such as /dev/ttyUSB0) instead of looking for the FT232R adapter by its USB "
     "description.",
     [](Reading& r, const char* value) { r.options.port = value; return true; }, nullptr},
    {0, "trace", "file", 0, false,
     "Record every byte the adapter carries into <file>, to attach to a problem report (at most 64 MiB).",
     [](Reading& r, const char* value) { r.options.trace = value; return true; }, nullptr},
    // Qt's own, as QCoreApplication and QGuiApplication take them from argv.
    {0, "qmljsdebugger", "value", PROGRAM_QT, true,
     "Activates the QML/JS debugger with a specified port. The value must be of format port:1234[,block]. "
     "\"block\" makes the application wait for a connection.",
     nullptr, nullptr},
    {0, "platform", "platformName[:options]", PROGRAM_QT_WINDOW, true,
     "QPA plugin. See QGuiApplication documentation for available options for each plugin.", nullptr, nullptr},
    {0, "platformpluginpath", "path", PROGRAM_QT_WINDOW, true, "Path to the platform plugins.", nullptr, nullptr},
    {0, "platformtheme", "theme", PROGRAM_QT_WINDOW, true, "Platform theme.", nullptr, nullptr},
    {0, "plugin", "plugin", PROGRAM_QT_WINDOW, true, "Additional plugins to load, can be specified multiple times.",
     nullptr, nullptr},
    {0, "qwindowgeometry", "geometry", PROGRAM_QT_WINDOW, true,
     "Window geometry for the main window, using the X11-syntax, like 100x100+50+50.", nullptr, nullptr},
    {0, "qwindowicon", "icon", PROGRAM_QT_WINDOW, true, "Default window icon.", nullptr, nullptr},
    {0, "qwindowtitle", "title", PROGRAM_QT_WINDOW, true, "Title of the first window.", nullptr, nullptr},
    {0, "reverse", nullptr, PROGRAM_QT_WINDOW, true,
     "Sets the application's layout direction to Qt::RightToLeft (debugging helper).", nullptr, nullptr},
    {0, "session", "session", PROGRAM_QT_WINDOW, true, "Restores the application from an earlier session.", nullptr,
     nullptr},
    // QApplication's and X11's, which Qt reads but does not list.
    {0, "style", "style", PROGRAM_QT_WINDOW, true, nullptr, nullptr, nullptr},
    {0, "stylesheet", "file", PROGRAM_QT_WINDOW, true, nullptr, nullptr, nullptr},
    {0, "widgetcount", nullptr, PROGRAM_QT_WINDOW, true, nullptr, nullptr, nullptr},
    {0, "display", "display", PROGRAM_QT_WINDOW, true, nullptr, nullptr, nullptr},
};

// A letter is always a switch, so that "-hv" reads as two options.
static_assert(std::ranges::none_of(option_rows, [](const OptionRow& row) { return row.letter != 0 && row.value_name; }));

bool taken_By(const OptionRow& row, unsigned program)
{
    return row.programs == 0 || (row.programs & program) != 0;
}

// The row named name (not terminated), "--name", or, for Qt's own, "-name".
const OptionRow* find_Named(const char* name, size_t length, bool double_dash, unsigned program)
{
    for (const OptionRow& row : option_rows) {
        if (row.name == nullptr || !taken_By(row, program) || (!double_dash && !row.qt_own)) continue;
        if (strlen(row.name) == length && strncmp(row.name, name, length) == 0) return &row;
    }
    return nullptr;
}

const OptionRow* find_Letter(char letter, unsigned program)
{
    for (const OptionRow& row : option_rows)
        if (row.letter == letter && taken_By(row, program)) return &row;
    return nullptr;
}

// -------------------------------------------------------------- reading --

// A bounded text (errors, help) that grows by appending; whatever does not fit is cut.
struct Text {
    char* start;
    size_t size;
    size_t length = 0;

    void add(const char* text, size_t count)
    {
        const size_t room = size - 1 - length;
        count = std::min(count, room);
        memcpy(start + length, text, count);
        length += count;
        start[length] = '\0';
    }
    void add(const char* text) { add(text, strlen(text)); }
    void pad(size_t count)
    {
        while (length < size - 1 && count > 0) {
            add(" ", 1);
            --count;
        }
    }
};

// The errors met so far, told in the order the command line decides on them.
struct Faults {
    char value_error[COMMAND_LINE_TEXT_SIZE] = "";  // the last missing or unexpected value
    char unknown_names[COMMAND_LINE_TEXT_SIZE] = "";
    int unknown_count = 0;
    const char* stray = nullptr;       // the first argument that is no option
    const OptionRow* refused = nullptr;  // the option whose last value was refused

    void unknown(const char* name, size_t length)
    {
        Text names {unknown_names, sizeof unknown_names, strlen(unknown_names)};
        if (unknown_count++ > 0) names.add(", ");
        names.add(name, length);
    }
};

void take(const OptionRow& row, const char* value, Reading& reading, Faults& faults)
{
    if (row.effect == nullptr) return;
    if (row.effect(reading, value)) {
        if (faults.refused == &row) faults.refused = nullptr;
    } else {
        faults.refused = &row;
    }
}

// "-hv": one-letter switches run together, possibly with "=value" after.
void read_Letters(const char* argument, const char* letters_end, unsigned program, Reading& reading, Faults& faults)
{
    const OptionRow* last = nullptr;
    for (const char* letter = argument + 1; letter < letters_end; ++letter) {
        last = find_Letter(*letter, program);
        if (last == nullptr)
            faults.unknown(letter, 1);
        else
            take(*last, nullptr, reading, faults);
    }
    if (last != nullptr && *letters_end == '=')
        snprintf(faults.value_error, sizeof faults.value_error, "Unexpected value after '%.*s'.",
                 static_cast<int>(letters_end - argument), argument);
}

}  // namespace

CommandLineAction cmdline_Read(int argc, char* const* argv, unsigned program, ProgramOptions& options,
                               char (&text)[COMMAND_LINE_TEXT_SIZE])
{
    text[0] = '\0';
    Reading reading;
    Faults faults;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (options_ended || argument[0] != '-' || argument[1] == '\0') {
            if (faults.stray == nullptr) faults.stray = argument;
            continue;
        }
        if (strcmp(argument, "--") == 0) {
            options_ended = true;
            continue;
        }
        const bool double_dash = argument[1] == '-';
        const char* name = argument + (double_dash ? 2 : 1);
        const char* equals = strchr(name, '=');
        const char* name_end = equals != nullptr ? equals : name + strlen(name);
        const OptionRow* row = find_Named(name, static_cast<size_t>(name_end - name), double_dash, program);
        if (row == nullptr && !double_dash) {
            read_Letters(argument, name_end, program, reading, faults);
            continue;
        }
        if (row == nullptr) {
            faults.unknown(name, static_cast<size_t>(name_end - name));
            continue;
        }
        if (row->value_name == nullptr) {
            if (equals != nullptr)
                snprintf(faults.value_error, sizeof faults.value_error, "Unexpected value after '%.*s'.",
                         static_cast<int>(equals - argument), argument);
            else
                take(*row, nullptr, reading, faults);
            continue;
        }
        const char* value = equals != nullptr ? equals + 1 : nullptr;
        if (value == nullptr && i + 1 == argc) {
            snprintf(faults.value_error, sizeof faults.value_error, "Missing value after '%s'.", argument);
            break;
        }
        take(*row, value != nullptr ? value : argv[++i], reading, faults);
    }

    if (faults.value_error[0] != '\0') {
        snprintf(text, sizeof text, "%s", faults.value_error);
        return COMMAND_LINE_ERROR;
    }
    if (faults.unknown_count > 0) {
        snprintf(text, sizeof text, faults.unknown_count == 1 ? "Unknown option '%s'." : "Unknown options: %s.",
                 faults.unknown_names);
        return COMMAND_LINE_ERROR;
    }
    if (reading.version) return COMMAND_LINE_VERSION;
    if (reading.help) return COMMAND_LINE_HELP;
    if (reading.help_all) return COMMAND_LINE_HELP_ALL;
    if (faults.stray != nullptr) {
        snprintf(text, sizeof text, "Unexpected argument '%s'.", faults.stray);
        return COMMAND_LINE_ERROR;
    }
    if (faults.refused != nullptr) {
        snprintf(text, sizeof text, "%s", faults.refused->refusal);
        return COMMAND_LINE_ERROR;
    }
    options = reading.options;
    return COMMAND_LINE_RUN;
}

// ------------------------------------------------------------ help text --

namespace {

bool listed(const OptionRow& row, unsigned program, bool all)
{
    return row.help != nullptr && taken_By(row, program) && (all || !row.qt_own);
}

// "-h, --help" or "--output-dir <dir>".
void add_Names(Text& text, const OptionRow& row)
{
    if (row.letter != 0) {
        const char letter[] = {'-', row.letter, '\0'};
        text.add(letter);
        if (row.name != nullptr) text.add(", ");
    }
    if (row.name != nullptr) {
        text.add("--");
        text.add(row.name);
    }
    if (row.value_name != nullptr) {
        text.add(" <");
        text.add(row.value_name);
        text.add(">");
    }
}

size_t names_Width(const OptionRow& row)
{
    char buffer[100];
    Text names {buffer, sizeof buffer};
    add_Names(names, row);
    return names.length;
}

// The help wrapped at its last blank within width, as Qt's own help does:
// every line after the first may hold one character more.
void add_Wrapped(Text& text, const char* help, size_t indent, size_t width)
{
    const char* line = help;
    bool first = true;
    while (*line != '\0') {
        const size_t room = first ? width : width + 1;
        const size_t rest = strlen(line);
        size_t length = rest;
        if (rest > room) {
            length = room;
            while (length > 0 && line[length] != ' ') --length;
            if (length == 0) length = room;
        }
        if (!first) text.pad(indent);
        text.add(line, length);
        text.add("\n");
        line += length;
        if (*line == ' ') ++line;
        first = false;
    }
}

}  // namespace

void cmdline_Help(const char* program_name, const char* description, unsigned program, bool all, HelpLayout layout,
                  char (&text)[COMMAND_LINE_TEXT_SIZE])
{
    Text help {text, sizeof text};
    text[0] = '\0';
    help.add("Usage: ");
    help.add(program_name);
    help.add(" [options]\n");
    help.add(description);
    help.add("\n\nOptions:\n");

    constexpr size_t COLUMNS = 79;
    constexpr size_t INDENT = 2;
    size_t names_column = 0;
    for (const OptionRow& row : option_rows)
        if (listed(row, program, all)) names_column = std::max(names_column, names_Width(row) + 1);
    names_column = std::min<size_t>(names_column, 50);

    for (const OptionRow& row : option_rows) {
        if (!listed(row, program, all)) continue;
        if (layout == HELP_LINES) {
            add_Names(help, row);
            help.add("\n    ");
            help.add(row.help);
            help.add("\n");
            continue;
        }
        const size_t line_start = help.length;
        help.pad(INDENT);
        add_Names(help, row);
        const size_t names_end = help.length - line_start;
        help.pad(names_end < INDENT + names_column ? INDENT + names_column + 1 - names_end : 1);
        add_Wrapped(help, row.help, INDENT + names_column + 1, COLUMNS - (INDENT + names_column + 1));
    }
}

// ---------------------------------------------------------- the programs --

ProgramOptions options_Read(int argc, char* const* argv, const char* description, unsigned program)
{
    ProgramOptions options;
    char text[COMMAND_LINE_TEXT_SIZE];
    const CommandLineAction action = cmdline_Read(argc, argv, program, options, text);
    switch (action) {
    case COMMAND_LINE_RUN:
        return options;
    case COMMAND_LINE_VERSION:
        printf("%s\n", VERSION_TEXT);
        break;
    case COMMAND_LINE_HELP:
    case COMMAND_LINE_HELP_ALL:
        cmdline_Help(argc > 0 ? argv[0] : "zorpload", description, program, action == COMMAND_LINE_HELP_ALL,
                     HELP_COLUMNS, text);
        fputs(text, stdout);
        break;
    case COMMAND_LINE_ERROR:
        options_Refuse(text);
    }
    std::exit(EXIT_SUCCESS);
}

void options_Refuse(const char* message)
{
    fprintf(stderr, "ZorpLoad: %s\n", message);
    std::exit(EXIT_FAILURE);
}

int options_Apply(const ProgramOptions& options, const char* documents_dir)
{
    if (options.port != nullptr && options.port[0] != '\0') log_AddLinef("Serial port: %s (--port)", options.port);
    return shell_ApplyStartOptions(options.trace, options.output_dir, documents_dir, options.gpx);
}
