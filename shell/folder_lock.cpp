// One writer per folder: the output folder's lock, taken once the folder is
// settled and held for the whole run, so that two programs never save the
// same track side by side. A program that finds the lock held waits a
// little for it (the other may be just ending), then says so and stops as
// for a folder it cannot write.
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

bool output_dir_busy;

int shell_LockOutputDir()
{
    output_dir_busy = false;
    const uint32_t start = sys_TickCount();
    int locked;
    while ((locked = sys_FolderLock(output_dir)) == FOLDER_BUSY && sys_TickCount() - start < FOLDER_WAIT_MS)
        sys_Sleep(FOLDER_RETRY_MS);
    if (locked == FOLDER_BUSY) {
        output_dir_busy = true;
        log_AddLinef("Another ZorpLoad is saving into %s", output_dir);
    }
    return locked;
}
