// Window-system services seam: what the core asks of the window system.
// One implementation per front end:
//   - platform/qt_window: the Qt 6 Widgets window (zorpload, zorpload-demo)
//   - platform/win32:     the Win32 window (zorpload.exe, zorpload-demo.exe)
//   - platform/terminal:  standard output, boxes answered by the shell's
//                         unattended rules (zorpload-cli, zorpload-cli-demo)
//   - tests/support:      fake_window.cpp, boxes answered from a queue
//
// A message box blocks its caller until it is answered and returns the button
// pressed; timer ticks keep reaching the core while it is open, so the core
// must leave its state idle before it opens a box of its own.
#pragma once

// The main window, opaque to the core; it only passes it back here.
using WindowHandle = void*;

enum WindowIcon : int { ICON_ERROR = 1, ICON_WARNING = 2, ICON_INFORMATION = 3 };
enum WindowButtons : int { BUTTONS_OK = 1, BUTTONS_RETRY_CANCEL = 2, BUTTONS_YES_NO = 3 };

// Answers, numbered as the Windows button ids (IDOK ... IDNO), so that the
// Win32 window hands MessageBoxA's answer on unchanged.
enum WindowAnswer : int { ANSWER_OK = 1, ANSWER_CANCEL = 2, ANSWER_RETRY = 4, ANSWER_YES = 6, ANSWER_NO = 7 };

// Shows a modal box owned by owner and returns the WindowAnswer pressed;
// closing the box without a button gives the negative answer of its set.
int wnd_MessageBox(WindowHandle owner, const char* text, const char* title, int icon, int buttons);

// Shows the About box, modal, owned by owner, and returns once it is closed.
void wnd_AboutBox(WindowHandle owner);

// Stops the 20 ms tick of the window; no further tick arrives.
void wnd_StopTick(WindowHandle window);

// Ends the message loop; the program then closes the adapter and returns
// exit_code.
void wnd_Quit(int exit_code);

// Asks for a full redraw of the window's client area, background erased.
void wnd_Redraw(WindowHandle window);

// Shows title as the window's title (a front end without one ignores it).
void wnd_SetTitle(WindowHandle window, const char* title);

// Opens folder in the system's file manager, without waiting for it. 0, or
// -1 when no file manager could be started.
int wnd_OpenFolder(const char* folder);

// Asks the user for a folder in a modal dialog owned by owner, titled title,
// starting at start. 1 with the chosen folder's path in folder (size bytes),
// 0 when the dialog was cancelled or the path does not fit.
int wnd_ChooseFolder(WindowHandle owner, const char* title, const char* start, char* folder, int size);

// Shows every line of the run kept so far (session_Line, shell/status_log.h)
// in a modal view owned by owner, where it can be selected and copied;
// returns once it is closed.
void wnd_SessionLogBox(WindowHandle owner);

// The user's remembered choices, kept per user under their names (QSettings
// on Linux, the registry key HKCU\Software\ZorpLoad on Windows); a front end
// without such a place keeps nothing. Load copies the text stored under name
// into value (size bytes) and returns 1, or returns 0 when none is stored or
// it does not fit.
int wnd_LoadSetting(const char* name, char* value, int size);
void wnd_SaveSetting(const char* name, const char* value);
