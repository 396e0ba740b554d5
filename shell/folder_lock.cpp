// One writer per folder: the output folder's lock, taken once the folder is
// settled and held for the whole run, so that two programs never save the
// same track side by side. A program that finds the lock held waits a
// little for it (the other may be just ending), then says so and stops as
// for a folder it cannot write. The wait is made by the window's ticks, one
// try when a retry is due, so the window goes on painting and answering
// meanwhile; no tick ever sleeps on it.
#include "download/download.h"
#include "gpx/gpx.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

bool output_dir_busy;
bool output_dir_awaited;

static uint32_t wait_start;
static uint32_t last_try;

int shell_LockOutputDir()
{
    output_dir_busy = false;
    const int locked = sys_FolderLock(output_dir);
    output_dir_awaited = locked == FOLDER_BUSY;
    wait_start = last_try = sys_TickCount();
    return locked;
}

int shell_AwaitOutputDir()
{
    if (!output_dir_awaited) return FOLDER_NOT_AWAITED;
    const uint32_t now = sys_TickCount();
    if (now - last_try < FOLDER_RETRY_MS) return FOLDER_AWAITED;
    last_try = now;
    const int locked = sys_FolderLock(output_dir);
    if (locked == FOLDER_BUSY && now - wait_start < FOLDER_WAIT_MS) return FOLDER_AWAITED;
    output_dir_awaited = false;
    if (locked == FOLDER_LOCKED) {
        // The GPX of the folder's older tracks was held back until the
        // folder was this program's.
        if (shell_GpxOn()) gpx_WriteMissing(output_dir);
        return FOLDER_TAKEN;
    }
    if (locked == FOLDER_BUSY) {
        output_dir_busy = true;
        log_AddLinef(FOLDER_BUSY_LINE, output_dir);
    } else {
        log_AddLinef(CANNOT_WRITE_LINE, output_dir);
    }
    output_dir[0] = '\0';
    sequencer_FailAtStart();
    return FOLDER_GIVEN_UP;
}
