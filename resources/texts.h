// The window's own texts: its title and class name, its menu, and the lines
// of the About box. Only the front end shows them; the shell's logic keeps
// its questions and the erase command's texts next to the code that asks.
// Plain 8-bit ASCII, used exactly as written here.
#pragma once

#include "version.h"

constexpr char window_title[] = "ZorpLoad";
// The window class; on X11 it becomes the application's WM_CLASS.
constexpr char window_class_name[] = "ZORPLOAD";

constexpr char MENU_FILE[] = "&File";
constexpr char MENU_ERASE[] = "Erase GPS Log";
constexpr char MENU_SAVE_GPX[] = "Save tracks as GPX";
constexpr char MENU_OPEN_FOLDER[] = "Open track folder";
constexpr char MENU_CHOOSE_FOLDER[] = "Choose track folder...";
constexpr char MENU_SESSION_LOG[] = "Session log";
constexpr char MENU_EXIT[] = "E&xit";
constexpr char MENU_HELP[] = "&Help";
constexpr char MENU_ABOUT[] = "&About ...";

constexpr char ABOUT_TITLE[] = "About ZorpLoad";
constexpr char ABOUT_VERSION[] = "ZorpLoad, Version " ZORP_VERSION;
constexpr char ABOUT_YEAR[] = "Copyright (C) 2026";
constexpr char ABOUT_COMPANY[] = "ZorpLoad Software";
constexpr char ABOUT_OK[] = "OK";

// The view of every line of the run.
constexpr char SESSION_LOG_TITLE[] = "Session log";
constexpr char SESSION_LOG_CLOSE[] = "Close";
