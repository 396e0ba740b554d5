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

bool demo_run;

// With its eight hex digits, leaves room for the track files' temporary
// names, which are longer.
constexpr char PROBE_NAME[] = ".zorpload-probe-";
// The digits change with every try and every start, so that nothing planted
// at a probe's name beforehand (a folder, say) makes a writable folder look
// unwritable; another program probing at the same moment holds a name that
// this one then passes by.
constexpr uint32_t PROBE_NAMES = 4;
constexpr uint32_t PROBE_NAME_STEP = 0x9E3779B9u;  // odd: the names of one start all differ

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
    const auto first = static_cast<uint32_t>(sys_Microseconds());
    for (uint32_t name = 0; name < PROBE_NAMES; ++name) {
        snprintf(probe, sizeof probe, "%s%c%s%08x", dir, sys_PathSeparator(), PROBE_NAME,
                 static_cast<unsigned>(first + name * PROBE_NAME_STEP));
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

// Makes output_dir and every missing folder above it, as mkdir -p does;
// whether the last one can be written is for the probe to say. Either
// separator counts, as both do on Windows.
static void make_OutputDir()
{
    for (char* at = output_dir + 1; *at != '\0'; ++at) {
        if (*at != sys_PathSeparator() && *at != '/') continue;
        const char separator = *at;
        *at = '\0';
        sys_MakeDir(output_dir);
        *at = separator;
    }
    sys_MakeDir(output_dir);
}

static bool use_Dir(const char* dir)
{
    return set_OutputDir(dir) && (make_OutputDir(), dir_Writable(output_dir));
}

// The documents folder's DOCUMENTS_SUBDIR, or in a demo run its DEMO_SUBDIR,
// each folder on the way made when missing.
static bool use_DocumentsDir(const char* documents_dir)
{
    char dir[PROGRAM_DIR_SIZE];
    const char separator = sys_PathSeparator();
    int length = snprintf(dir, sizeof dir, "%s%c%s", documents_dir, separator, DOCUMENTS_SUBDIR);
    if (demo_run && length >= 0 && length < PROGRAM_DIR_SIZE)
        length += snprintf(dir + length, sizeof dir - length, "%c%s", separator, DEMO_SUBDIR);
    if (length < 0 || length >= PROGRAM_DIR_SIZE) {
        set_OutputDir(documents_dir);
        return false;
    }
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
    } else if (demo_run) {
        output_dir[0] = '\0';
        found = given(documents_dir) && use_DocumentsDir(documents_dir);
    } else {
        set_OutputDir(program_dir);
        found = dir_Writable(program_dir) || (given(documents_dir) && use_DocumentsDir(documents_dir));
    }
    const int locked = found ? shell_LockOutputDir() : FOLDER_LOCK_FAILED;
    if (locked == FOLDER_LOCKED) return OUTPUT_DIR_TAKEN;
    if (locked == FOLDER_BUSY) return OUTPUT_DIR_AWAITED;

    // Said before the adapter is touched, and ended like a failed download.
    // A named folder is named as the user gave it, also one too long to take.
    log_AddLinef(CANNOT_WRITE_LINE, given(chosen_dir) ? chosen_dir : output_dir[0] != '\0' ? output_dir : "any folder");
    output_dir[0] = '\0';
    sequencer_FailAtStart();
    return OUTPUT_DIR_NONE;
}

int shell_ChangeOutputDir(const char* dir)
{
    char previous[PROGRAM_DIR_SIZE];
    memcpy(previous, output_dir, sizeof previous);
    // No wait for another program to let go: the user is at the window.
    const int locked = given(dir) && use_Dir(dir) ? sys_FolderLock(output_dir) : FOLDER_LOCK_FAILED;
    if (locked == FOLDER_LOCKED) return 0;
    if (locked == FOLDER_BUSY)
        log_AddLinef(FOLDER_BUSY_LINE, output_dir);
    else
        log_AddLinef(CANNOT_WRITE_LINE, dir);
    memcpy(output_dir, previous, sizeof output_dir);
    return -1;
}

const char* shell_OutputDir()
{
    return output_dir;
}
