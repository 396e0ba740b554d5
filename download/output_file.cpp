// The buffered whole-file writer behind the track files and their GPX.
#include "download/output_file.h"

#include <cstdio>
#include <cstring>

#include "download/download.h"
#include "seams/base_services.h"

static_assert(sizeof "2255-255-255_255255_66558.txt" - 1 + sizeof TEMP_SUFFIX - 1 == TRACK_TEMP_NAME_MAX);

struct OutputFile {
    int handle;
    bool failed;
    uint32_t fill;
    char temp_path[PATH_SIZE];
    uint8_t buffer[8192];
};
static OutputFile output;

bool output_Create(const char* temp_path)
{
    output.handle = sys_FileCreate(temp_path);
    output.failed = output.handle < 0;
    output.fill = 0;
    snprintf(output.temp_path, sizeof output.temp_path, "%s", temp_path);
    return !output.failed;
}

static void output_Flush()
{
    if (!output.failed && output.fill > 0 && sys_FileWrite(output.handle, output.buffer, output.fill) != 0)
        output.failed = true;
    output.fill = 0;
}

// Pieces are at most one item record or one GPX point long, far below the
// buffer's size.
void output_Put(const void* data, uint32_t count)
{
    if (count > sizeof output.buffer - output.fill) output_Flush();
    memcpy(output.buffer + output.fill, data, count);
    output.fill += count;
}

int output_Finish()
{
    output_Flush();
    if (!output.failed && sys_FileSync(output.handle) == 0) return output.handle;
    sys_FileDiscard(output.handle, output.temp_path);
    return -1;
}

bool temp_Path(char* temp, const char* final_path)
{
    if (path_Fits(snprintf(temp, PATH_SIZE, "%s%s", final_path, TEMP_SUFFIX))) return true;
    temp[0] = '\0';
    return false;
}
