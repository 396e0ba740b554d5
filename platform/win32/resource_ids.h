// The Win32 program's resource ids, shared by the resource script and the
// window code. Menu command ids are the shell's (shell/shell.h).
#pragma once

#define IDS_WINDOW_TITLE 103
#define IDS_WINDOW_CLASS 109
#define IDI_PROGRAM 128
#define IDI_ABOUT 130
#define IDB_LOGO 134
#define IDM_MAIN 109
#define IDA_MAIN 109
#define IDD_ABOUT 103
#define IDC_ABOUT_ICON 103
#define IDD_SESSION_LOG 140
#define IDC_SESSION_TEXT 1001
