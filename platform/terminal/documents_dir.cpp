#include "platform/terminal/documents_dir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The user-dirs.dirs file open for reading, or null. Opened without waiting
// and taken only when it is a plain file: a FIFO planted in its place must
// not hold the program at start-up.
static FILE* open_UserDirs(const char* home)
{
    char path[PATH_MAX];
    const char* config = getenv("XDG_CONFIG_HOME");
    const int length = config && *config ? snprintf(path, sizeof path, "%s/user-dirs.dirs", config)
                                         : snprintf(path, sizeof path, "%s/.config/user-dirs.dirs", home);
    if (length < 0 || length >= static_cast<int>(sizeof path))
        return nullptr;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    FILE* file = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "r") : nullptr;
    if (!file)
        close(fd);
    return file;
}

void documents_Dir(char (&dir)[PROGRAM_DIR_SIZE])
{
    dir[0] = '\0';
    const char* home = getenv("HOME");
    if (!home || !*home)
        return;
    // The value of the last XDG_DOCUMENTS_DIR line; empty: none.
    char value[2 * PATH_MAX] = "";
    if (FILE* file = open_UserDirs(home)) {
        constexpr char KEY[] = "XDG_DOCUMENTS_DIR=";
        char line[sizeof value];
        while (fgets(line, sizeof line, file)) {
            if (strncmp(line, KEY, sizeof KEY - 1) != 0)
                continue;
            line[strcspn(line, "\r\n")] = '\0';
            memmove(value, line + sizeof KEY - 1, strlen(line + sizeof KEY - 1) + 1);
        }
        fclose(file);
    }
    char* path = value;
    size_t length = strlen(path);
    if (length >= 2 && path[0] == '"' && path[length - 1] == '"') {
        path[length - 1] = '\0';
        ++path;
    }
    int written;
    if (strncmp(path, "$HOME", 5) == 0 && (path[5] == '/' || path[5] == '\0'))
        written = snprintf(dir, sizeof dir, "%s%s", home, path + 5);
    else if (path[0] == '/')
        written = snprintf(dir, sizeof dir, "%s", path);
    else
        written = snprintf(dir, sizeof dir, "%s/Documents", home);
    if (written < 0 || written >= static_cast<int>(sizeof dir)) {
        dir[0] = '\0';
        return;
    }
    for (length = strlen(dir); length > 1 && dir[length - 1] == '/'; --length)
        dir[length - 1] = '\0';
}
