// zorpload.exe: the window over a real FT232R adapter through FTDI's
// FTD2XX.dll (or the simulated logger's drop-in of that name beside it).
#include "platform/win32/win32_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    return win32_Run(instance, show, "Downloads the tracks of a ZORP GPS logger through its FT232R USB adapter.");
}
