// Over a pseudo-terminal: the logger's server on the master, the tty driver
// on the slave set as usb_Open sets it, the POSIX base services.
#include "download/download.h"
#include "link/gps_link.h"
#include "platform/posix_tty/d2xx_tty.h"
#include "sim/sim_pty.h"
#include "tests/download/download_session.h"

void session_ResetBaseServices() {}
void session_StopPty() { sim_PtyStop(); }
bool session_StartOverPty()
{
    char path[256];
    if (sim_PtyStart(path, sizeof path) != 0) return false;
    if (tty_OpenByPath(path, &usb_handle) == FT_OK && FT_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0) == FT_OK &&
        FT_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
        FT_SetBaudRate(usb_handle, BAUD_BASE) == FT_OK)
        return seq_state = SEQ_SEARCH, true;
    usb_Close(), sim_PtyStop();
    return false;
}
