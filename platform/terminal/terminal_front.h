// The terminal front end: the window-system seam for a program without a
// window, for scripts, ssh sessions and always-on machines. It drives the
// same shell logic as the window: the status log's lines go to standard
// output as they are added, and the boxes are answered as by a user who is
// not there (the unattended section of shell/shell.h), except a question
// that needs a real answer (the erase confirmation), which is asked on the
// terminal.
//
// On a terminal the last line is redrawn in place as it changes (the
// progress of a track), also where it wraps; elsewhere (a pipe, a file) each
// line is printed once, when it is complete; a redraw moves the cursor up
// no further than the terminal's top row. Control characters in a line are
// printed as blanks. Standard output that cannot be written (a full disk, a
// reader gone) is said once on standard error and stops the run between two
// ticks. Only one run at a time; everything is fixed storage.
#pragma once

#include <cstdint>

#include "platform/options/command_line.h"

struct TerminalSettings {
    uint32_t adapter_wait_ms;  // how long a missing adapter is looked for
    bool erase;                // erase the logger once every track is saved,
                               // the track list confirmed by a second read
    bool assume_yes;           // answer Yes to questions instead of asking
};

// Runs one download as the window would, on a 20 ms tick, then the erase
// when asked for and every track was saved. Returns the RunOutcome
// (shell/shell.h), the program's exit code: OUTCOME_OUTPUT_FAILED, with no
// erase, once standard output could not be written.
int terminal_Run(const ProgramOptions& options, const TerminalSettings& settings);

// Whether a question can be asked: standard input and output are both a
// terminal.
bool terminal_CanAsk();

// The terminal's settings from the options read (options_Read): --wait in
// milliseconds, --erase and --yes. --erase without --yes where nothing can be
// asked is refused (options_Refuse: the error, exit code 1).
TerminalSettings terminal_Settings(const ProgramOptions& options);
