// The command line that every Qt front end shares (the window programs and
// the terminal ones): GNU-style options read with QCommandLineParser, and
// their effect at start-up.
//
// An option that every program takes is added here (a field of
// ProgramOptions, its declaration and reading in options_Process), in the
// Win32 programs' reader (platform/win32/command_line.h), with its help text
// in option_texts.h for both, and its effect in the shell's
// shell_ApplyStartOptions, which options_Apply calls. Options of one front
// end alone (the terminal's --wait, for instance) are declared by that front
// end on the same parser before options_Process runs. Without options every
// program behaves as it always has.
#pragma once

#include <QByteArray>

class QCommandLineParser;

struct ProgramOptions {
    QByteArray output_dir;  // --output-dir DIR; empty: the folder rule of shell_ChooseOutputDir
    QByteArray port;        // --port DEVICE; empty: the FT232R found by its description
    QByteArray trace;       // --trace FILE; empty: nothing recorded
    bool gpx = false;       // --gpx: a GPX file beside every track file (shell_SetGpx)
};

enum OptionSet : int {
    OPTIONS_SIMULATED,  // a demo on the simulated logger: no --port
    OPTIONS_WITH_PORT,  // a program on a real serial port
};

// Declares --help, --version and the shared options on parser, processes the
// running application's arguments and reads the shared options. --help and
// --version print and end the process with 0; an unknown option, a missing
// value or a stray argument prints the error and ends it with 1. The
// application object must exist; the version printed is "ZorpLoad 1.01".
ProgramOptions options_Process(QCommandLineParser& parser, const char* description, OptionSet set);

// After shell_Start and before the first tick: notes the serial port in the
// status log, then shell_ApplyStartOptions (the wire trace, the output folder
// with the user's documents folder from Qt's standard paths, GPX saving).
// 0, or -1 when no folder can be written (a trace that cannot be written only
// says so in the log).
int options_Apply(const ProgramOptions& options);
