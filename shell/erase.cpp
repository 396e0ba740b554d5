// The "Erase GPS Log" command: the only action on the logger besides the
// download, allowed only while the download is idle.
#include "download/download.h"
#include "link/gps_link.h"
#include "shell/shell.h"

static const char* const ERASE_TITLE = "Erase GPS Log";
static const char* const ERASE_FAILED = "GPS erase failed";

static int erase_box(WindowHandle window, const char* text, int icon, int buttons)
{
    return wnd_MessageBox(window, text, ERASE_TITLE, icon, buttons);
}

void shell_EraseCommand(WindowHandle window)
{
    if (!sequencer_Idle()) {
        erase_box(window, "Unable erase now, try later please.", ICON_ERROR, BUTTONS_OK);
        return;
    }
    // A track skipped as saved is erased only when its file holds it: an
    // empty or foreign file of its name would otherwise take it along.
    if (check_SkippedTracks() != 0) {
        erase_box(window, ERASE_FAILED, ICON_ERROR, BUTTONS_OK);
        return;
    }
    if (erase_box(window, "Do you want erase ZORP memory?", ICON_WARNING, BUTTONS_YES_NO) != ANSWER_YES) return;

    int result = GPS_SndData06(SUBCMD_ERASE, ERASE_VALUE);
    if (result != CMD_OK) {
        // A failed download can leave the line at 250000 baud: bring logger
        // and adapter back to 38400, where the adapter was opened, and ask
        // once more.
        GPS_SetLineSpeed(BAUD_BASE);
        result = GPS_SndData06(SUBCMD_ERASE, ERASE_VALUE);
    }

    if (result == CMD_OK)
        erase_box(window, "GPS erase done", ICON_INFORMATION, BUTTONS_OK);
    else
        erase_box(window, ERASE_FAILED, ICON_ERROR, BUTTONS_OK);
}

void shell_EraseAfterDownload()
{
    heads_ConfirmEveryRead();
}
