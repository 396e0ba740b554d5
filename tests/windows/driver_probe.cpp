// The download's first step, the adapter check, with FTD2XX.dll loaded as
// zorpload.exe loads it (platform/win32/d2xx_ftd2xx.cpp): prints the status
// lines it leaves and the text of the box it opens, if any. For
// driver_loading.sh, which plants libraries around it.
#include <cstdio>

#include "download/download.h"
#include "link/gps_link.h"
#include "shell/status_log.h"
#include "tests/support/fake_window.h"

int main()
{
    fake_WindowReset();
    link_Reset();
    download_Reset();
    log_Clear();
    sequencer_Tick(nullptr);
    for (int i = 0; i <= log_LastUsedLine(); ++i) printf("%s\n", status_log[i]);
    if (fake_window.box_count > 0) printf("%s\n", fake_window.boxes[0].text);
    usb_Close();
    return 0;
}
