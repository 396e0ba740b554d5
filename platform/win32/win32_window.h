// The Win32 front end: the main window with its menu, accelerators, 20 ms
// tick and painting, the About box, and the window-system seam
// (seams/window_services.h) over MessageBoxA, DialogBoxParamA, KillTimer,
// PostQuitMessage and InvalidateRect. It only translates Win32 messages into
// calls of the shell's logic (shell/shell.h).
//
// The modal loops of message boxes and dialogs go on dispatching the main
// window's WM_TIMER, so ticks keep coming while a box is open, as the shell
// expects, with nothing done here for it. The program ends only through
// wnd_Quit: a close request never destroys the window by itself.
//
// The window is drawn for the DPI of the screen it stands on (the manifest
// declares per-monitor awareness): its 640 x 480 size, the logo and the
// status lines' places, all given for 96 DPI, and the system's message font
// are scaled. Libraries are loaded from the system folder only
// (SetDefaultDllDirectories, where Windows has it).
#pragma once

#include <windows.h>

// Start-up, message loop and shut-down, in this order: read the command line
// (platform/options/command_line.h; --help and --version show their box and
// end with 0, a wrong command line shows the error and ends with 1), load
// the title and class name, register the class, create and show the
// 640 x 480 window (0 at once when that fails), load the accelerators, start
// the shell, apply the options (the trace, the output folder: the one named,
// else the one chosen in the window before, else the program's folder when
// it can be written, else Documents\ZorpLoad; then GPX), start timer 101, run the message loop,
// close the adapter. Returns the exit code that wnd_Quit gave. description
// is the program's one line in its usage text.
int win32_Run(HINSTANCE instance, int show, const char* description);
