// The command line of every ZorpLoad program, on Linux and Windows, window
// and terminal alike: one table of options (command_line.cpp), each row
// {name, value, help text, programs, effect}, read by one small reader that
// includes no Qt and no OS header, and the start-up effect of what was read.
//
// GNU style: "--name value" or "--name=value"; one-letter options may be
// grouped ("-hv"); "--" ends the options. The values read point into argv:
// the bytes the user gave, never converted, so a folder named in bytes that
// are not UTF-8 is the folder the user named. A later value of an option
// replaces an earlier one.
//
// A command line decides in this order, the first that applies:
//   1. an unknown option, a missing value or a value given to a switch:
//      COMMAND_LINE_ERROR;
//   2. --version, 3. --help, 4. --help-all: their action, exit code 0;
//   5. an argument that is no option: COMMAND_LINE_ERROR;
//   6. a value its option refuses (--wait): COMMAND_LINE_ERROR;
//   7. COMMAND_LINE_RUN with the options read.
// At start-up the options act in this order: the serial port, then the wire
// trace, the output folder and GPX saving (options_Apply).
//
// Adding an option: its field in ProgramOptions, its row in the table, and,
// when it acts at start-up, its place in options_Apply (or in the front end
// of the programs that take it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "version.h"

// The kinds of program a row is meant for; a program is the union of its
// kinds, and a row with no kind is every program's.
enum ProgramKind : unsigned {
    PROGRAM_SERIAL_PORT = 1u << 0,  // a real adapter reached through a Linux serial device: --port
    PROGRAM_TERMINAL = 1u << 1,     // the terminal programs: --wait, --erase, --yes
    PROGRAM_QT = 1u << 2,           // a Qt program: --help-all and Qt's own options
    PROGRAM_QT_WINDOW = 1u << 3,    // a Qt window program: Qt's options for windows
};

struct ProgramOptions {
    const char* output_dir = nullptr;  // --output-dir DIR; null: the folder rule of shell_ChooseOutputDir
    const char* port = nullptr;        // --port DEVICE; null: the FT232R found by its description
    const char* trace = nullptr;       // --trace FILE; null: nothing recorded
    bool gpx = false;                  // --gpx: a GPX file beside every track file (shell_SetGpx)
    uint32_t wait_seconds = 0;         // --wait SECONDS: how long a missing adapter is looked for
    bool erase = false;                // --erase: erase the logger once every track is saved
    bool assume_yes = false;           // --yes: answer Yes instead of asking
};

enum CommandLineAction : int {
    COMMAND_LINE_RUN,       // start the program with the options read
    COMMAND_LINE_HELP,      // show the help (cmdline_Help), end with 0
    COMMAND_LINE_HELP_ALL,  // show the help with Qt's options, end with 0
    COMMAND_LINE_VERSION,   // show VERSION_TEXT, end with 0
    COMMAND_LINE_ERROR,     // show the error text, end with 1
};

constexpr char VERSION_TEXT[] = "ZorpLoad " ZORP_VERSION;
constexpr uint32_t WAIT_SECONDS_MAX = 86400;
// Holds the longest help text and every error text; longer ones are cut.
constexpr size_t COMMAND_LINE_TEXT_SIZE = 4096;

// Reads argv[1] to argv[argc - 1] as a program of the kinds in program reads
// them. For COMMAND_LINE_ERROR, text holds the error in the form "Unknown
// option 'x'."; otherwise it is empty.
CommandLineAction cmdline_Read(int argc, char* const* argv, unsigned program, ProgramOptions& options,
                               char (&text)[COMMAND_LINE_TEXT_SIZE]);

enum HelpLayout : int {
    HELP_COLUMNS,  // names and texts side by side, wrapped at 79 columns, for a terminal
    HELP_LINES,    // each text on its own line under its names, for a message box
};

// The text --help (all: --help-all) shows: the usage line for program_name
// as the user typed it, the program's one-line description, and the options
// of the program's kinds in the table's order, ending with a line break.
void cmdline_Help(const char* program_name, const char* description, unsigned program, bool all, HelpLayout layout,
                  char (&text)[COMMAND_LINE_TEXT_SIZE]);

// For a program with standard output and error: reads the command line; for
// --help or --version prints the text to standard output and ends the
// process with 0; for an error prints "ZorpLoad: " and the error to standard
// error and ends it with 1 (options_Refuse). Otherwise returns the options.
// Needs nothing but the C library, so that it runs before any window system
// is reached.
ProgramOptions options_Read(int argc, char* const* argv, const char* description, unsigned program);

// Prints "ZorpLoad: " and message to standard error and ends the process
// with 1, as a wrong command line does.
[[noreturn]] void options_Refuse(const char* message);

// After shell_Start and before the first tick: notes the serial port in the
// status log ("Serial port: DEVICE (--port)"), then shell_ApplyStartOptions
// (the wire trace, the output folder with documents_dir as its last choice,
// GPX saving). 0, or -1 when no folder can be written (a trace that cannot
// be written only says so in the log).
int options_Apply(const ProgramOptions& options, const char* documents_dir);
