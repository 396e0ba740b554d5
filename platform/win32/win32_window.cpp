#include "platform/win32/win32_window.h"

#include <knownfolders.h>
#include <shlobj.h>
#include <timeapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/options/command_line.h"
#include "platform/win32/resource_ids.h"
#include "seams/window_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

namespace {

constexpr UINT_PTR TICK_TIMER = 101;
constexpr int WINDOW_TEXT_SIZE = 100;
constexpr int WINDOW_WIDTH = 640;
constexpr int WINDOW_HEIGHT = 480;

HINSTANCE app_instance;
char window_title[WINDOW_TEXT_SIZE];
char window_class_name[WINDOW_TEXT_SIZE];
UINT_PTR tick_timer_id;

HWND hwnd_Of(WindowHandle window)
{
    return static_cast<HWND>(window);
}

// ------------------------------------------------------------------ DPI --
// The manifest makes the program aware of each screen's DPI, so Windows
// draws the window unscaled and sharp: its size, the logo, the status lines'
// places (all given for 96 DPI) and the font are scaled here, and again when
// the window moves to a screen of another DPI (WM_DPICHANGED).

constexpr int BASE_DPI = 96;

// The DPI the window is drawn for; set at the start of each paint.
UINT window_dpi = BASE_DPI;

int scaled(int pixels)
{
    return MulDiv(pixels, static_cast<int>(window_dpi), BASE_DPI);
}

UINT screen_Dpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : BASE_DPI;
}

// The DPI of the screen the window stands on; the system's before Windows 10
// 1607, which has no per-window DPI.
UINT dpi_Of(HWND window)
{
    using GetDpiForWindow = UINT(WINAPI*)(HWND);
    HMODULE user = GetModuleHandleA("user32.dll");
    const FARPROC found = user != nullptr ? GetProcAddress(user, "GetDpiForWindow") : nullptr;
    const UINT dpi = found != nullptr ? reinterpret_cast<GetDpiForWindow>(reinterpret_cast<void*>(found))(window) : 0;
    return dpi != 0 ? dpi : screen_Dpi();
}

// The system's message font (as the boxes use) at the window's DPI; the
// caller deletes it.
HFONT log_Font()
{
    NONCLIENTMETRICSA metrics {};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return nullptr;
    // The metrics are those of the system's DPI.
    metrics.lfMessageFont.lfHeight =
        MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(window_dpi), static_cast<int>(screen_Dpi()));
    return CreateFontIndirectA(&metrics.lfMessageFont);
}

// The window's outer size for its 640 x 480 at the window's DPI.
void window_Resize(HWND window)
{
    window_dpi = dpi_Of(window);
    if (window_dpi == BASE_DPI) return;
    SetWindowPos(window, nullptr, 0, 0, scaled(WINDOW_WIDTH), scaled(WINDOW_HEIGHT),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// The text is in the process's code page (UTF-8 where the manifest's setting
// is in force), which GDI's TextOutA does not follow: it takes the system's.
// So the line goes through UTF-16. TextOutW draws a CR or LF as a glyph,
// never as a line break.
void draw_LogText(void* surface, int x, int y, const char* text, int length)
{
    wchar_t wide[LOG_LINE_SIZE];
    const int wide_length = MultiByteToWideChar(CP_ACP, 0, text, length, wide, LOG_LINE_SIZE);
    TextOutW(static_cast<HDC>(surface), scaled(x), scaled(y), wide, wide_length);
}

// Draws the logo and the status log. Outside WM_PAINT, BeginPaint gives a
// surface clipped to the region waiting to be redrawn.
void paint(HWND window)
{
    window_dpi = dpi_Of(window);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    // Loaded anew on every paint and released at once: nothing is cached.
    HBITMAP logo = LoadBitmapA(app_instance, MAKEINTRESOURCEA(IDB_LOGO));
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, logo);
    BITMAP size {};
    GetObjectA(logo, sizeof size, &size);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, scaled(LOGO_X), scaled(LOGO_Y), scaled(size.bmWidth), scaled(size.bmHeight), memory, 0, 0,
               size.bmWidth, size.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(logo);
    HFONT font = log_Font();
    HGDIOBJ previous_font = font != nullptr ? SelectObject(dc, font) : nullptr;
    log_Draw(dc, draw_LogText);
    if (font != nullptr) {
        SelectObject(dc, previous_font);
        DeleteObject(font);
    }
    EndPaint(window, &ps);
    shell_Painted();
}

void paint_Step(WindowHandle window)
{
    paint(hwnd_Of(window));
}

LRESULT CALLBACK window_Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT:
        paint(window);
        return 0;
    case WM_TIMER:
        if (wparam == TICK_TIMER) shell_Tick();
        return 0;
    case WM_CLOSE:
        shell_CloseRequest();
        return 0;
    case WM_DPICHANGED: {
        // The place and size Windows suggests for the new screen's DPI.
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        shell_WindowChanged();
        return 0;
    }
    case WM_DESTROY:
        shell_Leave(window);
        return 0;
    case WM_COMMAND:
        if (shell_Command(LOWORD(wparam))) return 0;
        break;
    case WM_INITMENUPOPUP:
        // The check mark shows whether GPX saving is on; the shell's switch decides.
        CheckMenuItem(reinterpret_cast<HMENU>(wparam), CMD_SAVE_GPX,
                      MF_BYCOMMAND | (shell_GpxOn() ? MF_CHECKED : MF_UNCHECKED));
        // An item the shell cannot serve now is greyed out.
        for (const unsigned command : {CMD_OPEN_FOLDER, CMD_CHOOSE_FOLDER})
            EnableMenuItem(reinterpret_cast<HMENU>(wparam), command,
                           MF_BYCOMMAND | (shell_CommandAvailable(command) ? MF_ENABLED : MF_GRAYED));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

INT_PTR CALLBACK about_Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) return TRUE;  // the default button gets the focus
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

// Every kept line of the run, CR LF between lines as the edit control wants.
INT_PTR CALLBACK session_Proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        std::string text;
        if (const uint32_t dropped = session_Dropped(); dropped != 0) {
            char line[LOG_LINE_SIZE];
            snprintf(line, sizeof line, SESSION_DROPPED, dropped);
            text.append(line);
        }
        for (uint32_t i = 0; i < session_LineCount(); ++i) {
            if (i > 0 || session_Dropped() != 0) text.append("\r\n");
            text.append(session_Line(i));
        }
        SetDlgItemTextA(dialog, IDC_SESSION_TEXT, text.c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

// The folder dialog opens at the folder in use.
int CALLBACK browse_Callback(HWND dialog, UINT message, LPARAM, LPARAM start)
{
    if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, start);
    return 0;
}

// The user's Documents folder in the ANSI code page the core's paths use;
// empty when it is unknown or has a character that page cannot hold. Where
// the manifest's UTF-8 code page is in force (Windows 10 1903 and later)
// every character fits, and Windows refuses the best-fit and lossy flags.
void documents_Dir(char (&dir)[PROGRAM_DIR_SIZE])
{
    dir[0] = '\0';
    PWSTR wide = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &wide))) {
        BOOL lossy = FALSE;
        const int length =
            GetACP() == CP_UTF8
                ? WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, dir, PROGRAM_DIR_SIZE, nullptr, nullptr)
                : WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, dir, PROGRAM_DIR_SIZE, nullptr, &lossy);
        if (length == 0 || lossy) dir[0] = '\0';
    }
    CoTaskMemFree(wide);
}

// The program file's name as the user typed or clicked it, for the usage line.
const char* program_Name()
{
    const char* path = __argc > 0 && __argv[0] != nullptr ? __argv[0] : "zorpload.exe";
    for (const char* c = path; *c != '\0'; ++c)
        if (*c == '\\' || *c == '/') path = c + 1;
    return path;
}

// A window program has no console: --help, --version and a wrong command
// line answer in a box. -1 when the program is to run with options, else
// the exit code.
int read_CommandLine(ProgramOptions& options, const char* description)
{
    char text[COMMAND_LINE_TEXT_SIZE];
    switch (cmdline_Read(__argc, __argv, 0, options, text)) {
    case COMMAND_LINE_RUN:
        return -1;
    case COMMAND_LINE_HELP:
    case COMMAND_LINE_HELP_ALL:
        cmdline_Help(program_Name(), description, 0, false, HELP_LINES, text);
        MessageBoxA(nullptr, text, "ZorpLoad", MB_ICONINFORMATION | MB_OK);
        return 0;
    case COMMAND_LINE_VERSION:
        MessageBoxA(nullptr, VERSION_TEXT, "ZorpLoad", MB_ICONINFORMATION | MB_OK);
        return 0;
    case COMMAND_LINE_ERROR:
        break;
    }
    char error[COMMAND_LINE_TEXT_SIZE + 100];
    snprintf(error, sizeof error, "%s\n\n%s --help lists the options.", text, program_Name());
    MessageBoxA(nullptr, error, "ZorpLoad", MB_ICONERROR | MB_OK);
    return 1;
}

void register_Class(HINSTANCE instance)
{
    WNDCLASSEXA window_class {};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = window_Proc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_PROGRAM));
    // The icon's own 16-pixel image, rather than the 32-pixel one scaled down.
    window_class.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                                                         GetSystemMetrics(SM_CXSMICON),
                                                         GetSystemMetrics(SM_CYSMICON), 0));
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    window_class.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    window_class.lpszClassName = window_class_name;
    RegisterClassExA(&window_class);
}

// Every library loaded from now on by name alone (by Windows on the
// program's behalf too) comes from the system folder, never from the current
// folder or the PATH. Windows 7 without update KB2533623 lacks the call.
void restrict_LibrarySearch()
{
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found != nullptr)
        reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void*>(found))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int win32_Run(HINSTANCE instance, int show, const char* description)
{
    restrict_LibrarySearch();
    ProgramOptions options;
    const int refused = read_CommandLine(options, description);
    if (refused >= 0) return refused;

    LoadStringA(instance, IDS_WINDOW_TITLE, window_title, WINDOW_TEXT_SIZE);
    LoadStringA(instance, IDS_WINDOW_CLASS, window_class_name, WINDOW_TEXT_SIZE);
    register_Class(instance);

    app_instance = instance;
    HWND window = CreateWindowExA(0, window_class_name, window_title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 0;
    window_Resize(window);
    ShowWindow(window, show);
    UpdateWindow(window);
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));

    // The exchange polls the line with 1 ms sleeps; Windows' default timer
    // period of about 15.6 ms would stretch each of them that long.
    timeBeginPeriod(1);
    shell_Start(window, paint_Step);
    char documents[PROGRAM_DIR_SIZE];
    documents_Dir(documents);
    options_Apply(options, documents);
    tick_timer_id = SetTimer(window, TICK_TIMER, TICK_PERIOD_MS, nullptr);

    MSG message {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    shell_Shutdown();
    timeEndPeriod(1);
    return static_cast<int>(message.wParam);
}

// ------------------------------------------------ window-system services --

int wnd_MessageBox(WindowHandle owner, const char* text, const char* title, int icon, int buttons)
{
    UINT style = icon == ICON_ERROR ? MB_ICONERROR : icon == ICON_WARNING ? MB_ICONWARNING : MB_ICONINFORMATION;
    style |= buttons == BUTTONS_RETRY_CANCEL ? MB_RETRYCANCEL : buttons == BUTTONS_YES_NO ? MB_YESNO : MB_OK;
    // Windows' button ids are the seam's answers (IDOK 1 ... IDNO 7).
    return MessageBoxA(hwnd_Of(owner), text, title, style);
}

void wnd_AboutBox(WindowHandle owner)
{
    DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_ABOUT), hwnd_Of(owner), about_Proc, 0);
}

void wnd_StopTick(WindowHandle window)
{
    KillTimer(hwnd_Of(window), tick_timer_id);
}

void wnd_Quit(int exit_code)
{
    PostQuitMessage(exit_code);
}

void wnd_Redraw(WindowHandle window)
{
    InvalidateRect(hwnd_Of(window), nullptr, TRUE);
}

void wnd_SetTitle(WindowHandle window, const char* title)
{
    SetWindowTextA(hwnd_Of(window), title);
}

int wnd_OpenFolder(const char* folder)
{
    // Above 32 is success; Explorer opens in a process of its own.
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", folder, nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? 0 : -1;
}

int wnd_ChooseFolder(WindowHandle owner, const char* title, const char* start, char* folder, int size)
{
    char path[MAX_PATH];
    BROWSEINFOA browse {};
    browse.hwndOwner = hwnd_Of(owner);
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    browse.lpfn = browse_Callback;
    browse.lParam = reinterpret_cast<LPARAM>(start);
    // The dialog of the new style is made of COM objects.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderA(&browse);
    if (SUCCEEDED(com)) CoUninitialize();
    if (chosen == nullptr) return 0;
    const bool found = SHGetPathFromIDListA(chosen, path) != FALSE;
    CoTaskMemFree(chosen);
    if (!found || strlen(path) >= static_cast<size_t>(size)) return 0;
    memcpy(folder, path, strlen(path) + 1);
    return 1;
}

void wnd_SessionLogBox(WindowHandle owner)
{
    DialogBoxParamA(app_instance, MAKEINTRESOURCEA(IDD_SESSION_LOG), hwnd_Of(owner), session_Proc, 0);
}

// HKEY_CURRENT_USER\Software\ZorpLoad, one string value per setting.
static const char SETTINGS_KEY[] = "Software\\ZorpLoad";

int wnd_LoadSetting(const char* name, char* value, int size)
{
    DWORD bytes = static_cast<DWORD>(size);
    return RegGetValueA(HKEY_CURRENT_USER, SETTINGS_KEY, name, RRF_RT_REG_SZ, nullptr, value, &bytes) == ERROR_SUCCESS;
}

void wnd_SaveSetting(const char* name, const char* value)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
    RegCloseKey(key);
}
