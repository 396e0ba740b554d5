// The output folder: where the track files go. The program's own folder, as
// always, when the program can write there; else a folder of its own in the
// user's documents; a folder the user names overrides both. The choice is
// made and tested at start-up, so a download never reads the whole logger
// only to fail every file.

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "seams/base_services.h"
#include "shell/shell.h"
#include "shell/status_log.h"

char output_dir[PROGRAM_DIR_SIZE];

// Leaves room for the track files' temporary names, which are longer.
constexpr char PROBE_NAME[] = ".zorpload-probe";
// Another program starting at the same moment may hold a probe of the same
// name, which cannot be created then; the next name is tried.
constexpr int PROBE_NAMES = 4;

// True when a probe file can be created, closed and removed at path.
static bool probe_Writable(const char* path)
{
    int file = sys_FileCreate(path);
    if (file < 0) return false;
    bool closed = sys_FileClose(file) == 0;
    bool removed = sys_FileRemove(path) == 0;
    return closed && removed;
}

// True when dir's path leaves room for every track file name and a probe
// file can be written there.
static bool dir_Writable(const char* dir)
{
    if (dir[0] == '\0' || strlen(dir) + 1 + TRACK_TEMP_NAME_MAX >= PROGRAM_DIR_SIZE) return false;
    char probe[PROGRAM_DIR_SIZE];
    for (int name = 0; name < PROBE_NAMES; ++name) {
        snprintf(probe, sizeof probe, "%s%c%s%.0d", dir, sys_PathSeparator(), PROBE_NAME, name);
        if (probe_Writable(probe)) return true;
    }
    return false;
}

// Copies dir into output_dir without trailing separators (a lone root
// separator stays); false when it does not fit.
static bool set_OutputDir(const char* dir)
{
    size_t length = strnlen(dir, PROGRAM_DIR_SIZE);
    if (length == PROGRAM_DIR_SIZE) return false;
    while (length > 1 && dir[length - 1] == sys_PathSeparator()) --length;
    memcpy(output_dir, dir, length);
    output_dir[length] = '\0';
    return true;
}

static bool use_Dir(const char* dir)
{
    return set_OutputDir(dir) && (sys_MakeDir(output_dir), dir_Writable(output_dir));
}

static bool use_DocumentsDir(const char* documents_dir)
{
    char dir[PROGRAM_DIR_SIZE];
    int length = snprintf(dir, sizeof dir, "%s%c%s", documents_dir, sys_PathSeparator(), DOCUMENTS_SUBDIR);
    if (length < 0 || length >= PROGRAM_DIR_SIZE) {
        set_OutputDir(documents_dir);
        return false;
    }
    sys_MakeDir(documents_dir);
    return use_Dir(dir);
}

static bool given(const char* text)
{
    return text != nullptr && text[0] != '\0';
}

int shell_ChooseOutputDir(const char* chosen_dir, const char* documents_dir)
{
    bool found;
    if (given(chosen_dir)) {
        found = use_Dir(chosen_dir);
    } else {
        set_OutputDir(program_dir);
        found = dir_Writable(program_dir) || (given(documents_dir) && use_DocumentsDir(documents_dir));
    }
    const int locked = found ? shell_LockOutputDir() : FOLDER_LOCK_FAILED;
    if (locked == FOLDER_LOCKED) return 0;

    // Said before the adapter is touched, and ended like a failed download.
    if (locked != FOLDER_BUSY) log_AddLinef("Error - cannot write track files to %s", output_dir[0] != '\0' ? output_dir : "any folder");
    output_dir[0] = '\0';
    seq_state = SEQ_ASK_EXIT_ERROR;
    return -1;
}
