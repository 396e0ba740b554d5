// The Win32 programs' command line: --output-dir, --gpx and --trace, the
// options every program takes, with the meaning the Qt programs give them,
// and --help and --version. GNU-style: "--name value" or "--name=value";
// -h and -? ask for the help, -v for the version, as with the Qt programs.
//
// The arguments come from the C runtime's argument vector, already in the
// ANSI code page that the core's paths use; the values read point into it and
// live as long as it does. Nothing here shows anything: the caller turns the
// action into a box or a run. No allocation; every text is cut to its buffer.
#pragma once

#include <cstddef>

struct CommandLine {
    const char* output_dir = nullptr;  // --output-dir DIR; null: the folder rule of shell_ChooseOutputDir
    const char* trace = nullptr;       // --trace FILE; null: nothing recorded
    bool gpx = false;                  // --gpx: a GPX file beside every track file
};

enum CommandLineAction : int {
    COMMAND_LINE_RUN,      // start the program with the options read
    COMMAND_LINE_HELP,     // show the usage text, end with 0
    COMMAND_LINE_VERSION,  // show the version, end with 0
    COMMAND_LINE_ERROR,    // show the error, end with 1
};

constexpr size_t COMMAND_LINE_TEXT_SIZE = 1024;

// Reads argv[1] to argv[argc - 1] into options. The first --help or
// --version decides at once; an unknown option, an option without its value,
// a value given to --gpx, or an argument that is no option is an error, whose
// text (in the form "Unknown option 'x'.") goes into error. A later value of
// the same option replaces an earlier one.
CommandLineAction cmdline_Read(int argc, char* const* argv, CommandLine& options,
                               char (&error)[COMMAND_LINE_TEXT_SIZE]);

// The text --help shows: the usage line for program (the file name the user
// typed), the program's one-line description, and every option.
void cmdline_Usage(const char* program, const char* description, char (&text)[COMMAND_LINE_TEXT_SIZE]);
