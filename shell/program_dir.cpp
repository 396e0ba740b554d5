#include "shell/shell.h"

#include <cstring>

#include "seams/base_services.h"

char program_dir[PROGRAM_DIR_SIZE];

void shell_SetProgramDir(const char* program_file_path)
{
    const char separator = sys_PathSeparator();
    size_t length = strnlen(program_file_path, PROGRAM_DIR_SIZE - 1);
    memcpy(program_dir, program_file_path, length);
    program_dir[length] = '\0';

    // The scan stops at the last separator, or at the first character when
    // there is none; that byte becomes the terminator.
    size_t end = length;
    while (end > 0) {
        --end;
        if (program_dir[end] == separator) break;
    }
    program_dir[end] = '\0';
}
