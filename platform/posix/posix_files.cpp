// POSIX file calls for track files.
//
// A track file is written under a temporary name in a folder that other
// programs and users may write to as well, so nothing found at that name is
// trusted: whatever entry stands there is removed first (the entry itself,
// never what a link points to), and the file is then created exclusively,
// never through a link, never blocking on a FIFO. The writer holds an
// exclusive flock on its file for as long as it is open; an entry locked
// so is another program's work in progress and is left alone. The lock is
// advisory and only keeps out programs that ask for it too.
//
// The writer keeps its file open, and so locked, until the file has its
// final name: the rename is of the file it holds, checked by device and
// inode before and after, one that never replaces a text file that appeared
// meanwhile, and the folder is synced afterwards so that the names survive a
// power cut as the data does.
//
// One program at a time saves into a folder: the one holding the flock of
// the folder's lock file, which the system releases when the program ends
// in whatever way.
//
// A file the user names (a trace) is written without ever waiting: a pipe
// or device without blocking, a regular file through a writer thread.

#include "platform/native_files.h"

#include "platform/file_writer.h"
#include "seams/base_services.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Opens path for reading only when it is a regular file, and never waits on
// the way: O_NONBLOCK keeps a FIFO or a device planted at the name (also one
// swapped in after the folder was listed) from holding the program up in
// open, O_NOFOLLOW refuses a link, and fstat then judges what was opened.
// Reads block as usual afterwards. A descriptor, or -1.
static int open_Regular(const char* path)
{
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    const int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

int native_FileExists(const char* path)
{
    // Only a regular file counts: a FIFO or a folder of a track's name holds
    // no track, and taking it for one would leave the track unsaved.
    const int fd = open_Regular(path);
    if (fd < 0)
        return 0;
    close(fd);
    return 1;
}

int native_FileOpenRead(const char* path)
{
    return open_Regular(path);
}

int native_FileRead(int file, void* data, uint32_t count)
{
    ssize_t n;
    do {
        n = read(file, data, count);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int native_ListDir(const char* folder, void (*each)(const char* name, void* context), void* context)
{
    DIR* dir = opendir(folder);
    if (dir == nullptr)
        return errno == ENOENT ? 0 : -1;
    int result = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            if (errno != 0)
                result = -1;
            break;
        }
        // Some file systems leave the type open; then the file itself says.
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            regular = fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
        }
        if (regular)
            each(entry->d_name, context);
    }
    closedir(dir);
    return result;
}

// Removes whatever entry stands at path, unless it is a regular file that
// another writer holds locked. True when the name is free afterwards.
static bool remove_Stale(const char* path)
{
    struct stat entry {};
    if (lstat(path, &entry) != 0)
        return errno == ENOENT;
    if (S_ISREG(entry.st_mode)) {
        // Only a regular file is opened, and only to test its lock: opening
        // a device or a FIFO could itself have effects.
        const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool free_to_remove = flock(fd, LOCK_EX | LOCK_NB) == 0;
        // Removed while the lock is ours, so no writer can take it meanwhile.
        const bool removed = free_to_remove && (unlink(path) == 0 || errno == ENOENT);
        close(fd);
        return removed;
    }
    // A link, FIFO, socket or device: the entry goes, what it points to
    // stays. A folder cannot be unlinked, and the create then fails.
    return unlink(path) == 0 || errno == ENOENT;
}

int native_FileCreate(const char* path)
{
    if (!remove_Stale(path))
        return -1;
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Every byte, as long as the file takes them; FILE_WOULD_BLOCK from a pipe,
// FIFO or device opened without waiting that takes no more now.
static int write_All(int fd, const void* data, uint32_t count)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return FILE_WOULD_BLOCK;
        // A write that takes nothing would take nothing the next time too.
        if (n <= 0)
            return FILE_WRITE_FAILED;
        bytes += n;
        count -= static_cast<uint32_t>(n);
    }
    return FILE_WRITTEN;
}

static int sync_Close(int fd)
{
    // Closed even when the sync fails, so the descriptor never leaks. Only a
    // regular file has anything to bring to the disk: a device or pipe that
    // a user named took its bytes as they were written.
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const int synced = regular ? fsync(fd) : 0;
    const int closed = close(fd);
    return synced == 0 && closed == 0 ? 0 : -1;
}

static int disk_Write(intptr_t fd, const void* data, uint32_t count)
{
    return write_All(static_cast<int>(fd), data, count);
}

static int disk_Close(intptr_t fd)
{
    return sync_Close(static_cast<int>(fd));
}

int native_FileOpenWrite(const char* path, bool (*disk_ready)())
{
    // Non-blocking for good: a FIFO nobody reads fails the open at once, and
    // a pipe, FIFO or device whose reader stalls makes a write report
    // FILE_WOULD_BLOCK rather than hold the program up. A regular file
    // ignores the flag, and would wait in write() for a slow or hung disk
    // (a network share): its writes go through a writer thread instead.
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (fstat(fd, &st) != 0 ||
        (S_ISREG(st.st_mode) && writer_Start(fd, fd, {disk_Write, disk_Close, disk_ready}) != 0)) {
        close(fd);
        return -1;
    }
    return fd;
}

int native_FileWrite(int file, const void* data, uint32_t count)
{
    if (const int writer = writer_Of(file); writer >= 0)
        return writer_Write(writer, data, count);
    return write_All(file, data, count);
}

int native_FileClose(int file)
{
    if (const int writer = writer_Of(file); writer >= 0)
        return writer_Close(writer, WRITER_CLOSE_WAIT_MS);
    return sync_Close(file);
}

// Syncs the folder that holds path, so that a new name in it is durable.
static bool sync_Folder(const char* path)
{
    char folder[4096];
    const char* slash = std::strrchr(path, '/');
    const size_t length = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
    if (length >= sizeof folder)
        return false;
    if (slash == nullptr)
        std::strcpy(folder, ".");
    else if (length == 0)
        std::strcpy(folder, "/");
    else {
        std::memcpy(folder, path, length);
        folder[length] = '\0';
    }
    const int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = fsync(fd) == 0;
    close(fd);
    return synced;
}

// Only a regular file of the name counts as the track saved meanwhile; a
// link (to a file or nowhere), a FIFO or a folder would take the track with
// it.
static bool regular_File(const char* path)
{
    struct stat st {};
    return lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int native_FileSync(int file)
{
    return fsync(file) == 0 ? 0 : -1;
}

// True when the entry at path is the file held (itself, not a link to it).
static bool held_At(const char* path, const struct stat& held)
{
    struct stat entry {};
    return lstat(path, &entry) == 0 && entry.st_dev == held.st_dev && entry.st_ino == held.st_ino;
}

// Renames from to to, never replacing a file there when keep is set: 0 or
// -1 with errno.
static int rename_Entry(const char* from, const char* to, bool keep)
{
    if (!keep)
        return rename(from, to);
    int renamed = renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the flag: a hard link is refused just as
        // well when the name is taken.
        renamed = link(from, to);
        if (renamed == 0)
            unlink(from);
    }
    return renamed;
}

int native_FileCommit(int file, const char* from, const char* to, bool keep)
{
    // The file is held locked throughout, so no other writer that asks for
    // the lock can remove it and put its own at from; the checks before and
    // after the rename catch one that does not ask.
    struct stat held {};
    int result = FILE_COMMIT_FAILED;
    if (fstat(file, &held) == 0 && held_At(from, held)) {
        if (rename_Entry(from, to, keep) == 0)
            result = held_At(to, held) && sync_Folder(to) ? FILE_COMMITTED : FILE_COMMIT_FAILED;
        else if (keep && errno == EEXIST && regular_File(to))
            result = FILE_NAME_TAKEN;
    }
    if (result != FILE_COMMITTED && held_At(from, held))
        unlink(from);
    close(file);
    return result;
}

void native_FileDiscard(int file, const char* path)
{
    struct stat held {};
    if (fstat(file, &held) == 0 && held_At(path, held))
        unlink(path);
    close(file);
}

int64_t native_FileSize(int file)
{
    struct stat st {};
    return fstat(file, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

int native_FileRemove(const char* path)
{
    return unlink(path) == 0 ? 0 : -1;
}

int native_MakeDir(const char* path)
{
    // The mode leaves the rest to the user's umask, as mkdir(1) does.
    if (mkdir(path, 0777) == 0)
        return 0;
    struct stat st {};
    return errno == EEXIST && stat(path, &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
}

// The folder lock's open handle; -1 when none is held.
static int folder_lock = -1;

// True when the lock file just opened, as fstat describes it, is the one
// whose lock this program holds: a second handle on it would find it busy.
static bool lock_Held(const struct stat& opened)
{
    struct stat held {};
    return folder_lock >= 0 && fstat(folder_lock, &held) == 0 && held.st_dev == opened.st_dev &&
           held.st_ino == opened.st_ino;
}

int native_FolderLock(const char* folder)
{
    char path[4096];
    const int length = snprintf(path, sizeof path, "%s/%s", folder, FOLDER_LOCK_NAME);
    if (length < 0 || length >= static_cast<int>(sizeof path))
        return FOLDER_LOCK_FAILED;
    // A link, FIFO or device planted at the name goes (never what it points
    // to). A regular file is never removed: another program may hold its
    // lock, and a third would then lock a file of its own.
    struct stat entry {};
    if (lstat(path, &entry) == 0 && !S_ISREG(entry.st_mode) && unlink(path) != 0)
        return FOLDER_LOCK_FAILED;
    const int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
    if (fd < 0)
        return FOLDER_LOCK_FAILED;
    struct stat st {};
    int result = FOLDER_LOCK_FAILED;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        if (lock_Held(st)) {
            close(fd);
            return FOLDER_LOCKED;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            result = FOLDER_LOCKED;
        else if (errno == EWOULDBLOCK)
            result = FOLDER_BUSY;
    }
    if (result == FOLDER_LOCKED) {
        native_FolderUnlock();
        folder_lock = fd;
    } else {
        close(fd);
    }
    return result;
}

void native_FolderUnlock()
{
    if (folder_lock >= 0)
        close(folder_lock);
    folder_lock = -1;
}

char native_PathSeparator()
{
    return '/';
}
