// The session over a pseudo-terminal in real time: the logger's server
// thread on the master side, the program's core with the Qt serial driver on
// the slave and the POSIX base services (which keep no state to reset).
#include "download/download.h"
#include "link/gps_link.h"
#include "platform/qt_serial/d2xx_qtserial.h"
#include "sim/sim_pty.h"
#include "tests/download/download_session.h"

void session_ResetBaseServices() {}

bool session_StartOverPty()
{
    char path[256];
    if (sim_PtyStart(path, sizeof path) != 0) return false;
    if (qtserial_OpenByPath(path, &usb_handle) != FT_OK) {
        usb_handle = nullptr;
        sim_PtyStop();
        return false;
    }
    // The line as usb_Open leaves it; each setting must take, since the
    // download over this port is what is measured.
    const bool set = FT_SetFlowControl(usb_handle, FT_FLOW_NONE, 0, 0) == FT_OK &&
                     FT_SetDataCharacteristics(usb_handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) == FT_OK &&
                     FT_SetBaudRate(usb_handle, BAUD_BASE) == FT_OK;
    if (!set) {
        usb_Close();
        sim_PtyStop();
        return false;
    }
    seq_state = SEQ_SEARCH;
    return true;
}

void session_StopPty()
{
    sim_PtyStop();
}
