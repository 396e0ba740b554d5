#include "shell/shell.h"

#include <cstring>

#include "seams/base_services.h"

char program_dir[PROGRAM_DIR_SIZE];

void shell_SetProgramDir(const char* program_file_path)
{
    const char separator = sys_PathSeparator();
    size_t length = strnlen(program_file_path, PROGRAM_DIR_SIZE);
    if (length == PROGRAM_DIR_SIZE) length = 0;
    memcpy(program_dir, program_file_path, length);
    program_dir[length] = '\0';

    // Cut at the last separator; without one nothing is left.
    char* last = strrchr(program_dir, separator);
    *(last != nullptr ? last : program_dir) = '\0';
}
