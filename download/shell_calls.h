// The calls the download makes into the program around it: the folder its
// track files go to, the adapter wait of an unattended run, and the way out
// after the exit question. The shell defines them; the download reaches none
// of the shell's data itself.
#pragma once

#include "seams/window_services.h"

// The question before leaving, asked at the end of a download and when the
// user leaves during one.
constexpr char EXIT_QUESTION[] = "Exit application ?";

// The one way out of the program: stops window's tick, then quits with 0.
void shell_Leave(WindowHandle window);

// The folder the track files go to (output_dir), without a trailing
// separator; empty when no folder can be written.
const char* shell_OutputDir();

// Asked by the adapter check when the adapter cannot be opened, before it
// logs that: true when an unattended run still waits for the adapter, so the
// box that follows will be answered Retry and the check logs nothing; the
// one line "Waiting up to N s for the USB adapter ... S s left", its S
// updated in place, stands for every look instead (S 0 when the wait has
// run out). False for a run with a user, and once the wait has run out.
bool unattended_AdapterWaitGoesOn();
