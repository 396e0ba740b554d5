// Plain POSIX file calls. A created file is held under an exclusive flock for
// as long as it is open, so two writers never fill the same track file; the
// lock is advisory and only keeps out programs that ask for it too.

#include "platform/posix/posix_files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

int posix_FileExists(const char* path)
{
    // O_NONBLOCK: a FIFO of that name must not hold up the check.
    const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return 0;
    close(fd);
    return 1;
}

int posix_FileCreate(const char* path)
{
    // Not O_TRUNC: the file is emptied only once the lock is ours, so a
    // refused create leaves another writer's data alone.
    const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &st) != 0 ||
        (S_ISREG(st.st_mode) && ftruncate(fd, 0) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

int posix_FileWrite(int file, const void* data, uint32_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t n = write(file, bytes, count);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        bytes += n;
        count -= static_cast<uint32_t>(n);
    }
    return 0;
}

int posix_FileClose(int file)
{
    // Closed even when the sync fails, so the handle never leaks.
    const int synced = fsync(file);
    const int closed = close(file);
    return synced == 0 && closed == 0 ? 0 : -1;
}

int posix_FileRename(const char* from, const char* to)
{
    return std::rename(from, to) == 0 ? 0 : -1;
}

int posix_FileRemove(const char* path)
{
    return unlink(path) == 0 ? 0 : -1;
}

int posix_MakeDir(const char* path)
{
    // The mode leaves the rest to the user's umask, as mkdir(1) does.
    if (mkdir(path, 0777) == 0)
        return 0;
    struct stat st {};
    return errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
}
