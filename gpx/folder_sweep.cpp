// Folder sweep: the GPX of every track file in a folder that has none yet.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "gpx/gpx.h"
#include "seams/base_services.h"
#include "shell/status_log.h"

// One listing of the folder collects, in name order, the first SWEEP_BATCH
// track files after sweep_after that have no GPX yet; the sweep lists again
// until a listing finds fewer.
constexpr int SWEEP_BATCH = 32;

static struct {
    const char* folder;
    char after[GPX_TRACK_NAME_SIZE];
    char names[SWEEP_BATCH][GPX_TRACK_NAME_SIZE];
    int count;
} sweep;

static bool folder_Path(char* out, const char* folder, const char* name)
{
    return path_Fits(snprintf(out, PATH_SIZE, "%s%c%s", folder, sys_PathSeparator(), name));
}

static void sweep_Consider(const char* name, void*)
{
    if (!gpx_IsTrackName(name) || strcmp(name, sweep.after) <= 0) return;
    if (sweep.count == SWEEP_BATCH && strcmp(name, sweep.names[SWEEP_BATCH - 1]) >= 0) return;
    char path[PATH_SIZE];
    if (folder_Path(path, sweep.folder, name)) {
        memcpy(path + strlen(path) - 3, "gpx", 3);
        if (sys_FileExists(path)) return;
    }
    int at = sweep.count < SWEEP_BATCH ? sweep.count++ : SWEEP_BATCH - 1;
    for (; at > 0 && strcmp(name, sweep.names[at - 1]) < 0; --at) memcpy(sweep.names[at], sweep.names[at - 1], GPX_TRACK_NAME_SIZE);
    snprintf(sweep.names[at], GPX_TRACK_NAME_SIZE, "%s", name);
}

int gpx_WriteMissing(const char* folder)
{
    sweep.folder = folder;
    sweep.after[0] = '\0';
    int written = 0;
    do {
        sweep.count = 0;
        if (sys_ListDir(folder, sweep_Consider, nullptr) != 0) {
            log_AddLinef("Read error, folder:%s", folder);
            return -1;
        }
        for (int i = 0; i < sweep.count; ++i) {
            char path[PATH_SIZE];
            if (!folder_Path(path, folder, sweep.names[i])) log_AddLinef("Read error, file:%s", path);
            else if (gpx_WriteTrack(path) == GPX_WRITTEN) ++written;
        }
        if (sweep.count > 0) memcpy(sweep.after, sweep.names[sweep.count - 1], GPX_TRACK_NAME_SIZE);
    } while (sweep.count == SWEEP_BATCH);
    return written;
}
