// Which status lines report a failure: the ones a front end that keeps a
// separate error stream (the terminal's standard error) copies there.
#include <cstring>

#include "link/gps_link.h"
#include "shell/shell.h"

// The beginnings of the lines that say something went wrong: the adapter
// check, a run that ends failed, a folder or file that cannot be used, a
// trace that cannot be written.
static const char* const error_beginnings[] = {
    "Error ",
    "ZORP read error!",
    "ZORP read done. Some tracks were not saved.",
    "Another ZorpLoad is saving into ",
    "Not erased: ",
    "Write error, file:",
    "Read error, ",
    "Trace not recorded: ",
    "Trace cut short: ",
};

bool shell_IsErrorLine(const char* line)
{
    if (usb_IsCauseLine(line)) return true;
    for (const char* beginning : error_beginnings)
        if (std::strncmp(line, beginning, std::strlen(beginning)) == 0) return true;
    return false;
}
