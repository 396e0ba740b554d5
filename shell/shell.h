// Application shell: start-up and shut-down, the handling of the window's
// tick, close request and menu commands, and the erase command, all without
// any window toolkit. A front end (the Qt window, a test) translates its
// events into these calls and provides the window-system seam.
#pragma once

#include "seams/window_services.h"

constexpr int PROGRAM_DIR_SIZE = 260;

// The directory of the program file, without a trailing separator.
extern char program_dir[PROGRAM_DIR_SIZE];

// Sets program_dir from a program file path: everything before its last path
// separator. A path without one, whose only one is its first character, or
// an empty path gives an empty program_dir.
void shell_SetProgramDir(const char* program_file_path);
