// What POSIX systems have besides, for the production base services: a held
// file another program can move, links and FIFOs at a file's name, a FIFO
// and a full device as a trace, and the standard descriptors a program may start without; and
// another program's hold on a folder's lock, as flock takes it, for the
// calls as every platform keeps them (base_services_test.cpp).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <csignal>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <string>
#include "platform/posix/process_start.h"
#include "seams/base_services.h"
#include "tests/support/temp_dir.h"

intptr_t other_TakeLock(const std::string& folder)
{
    const int fd = open(path_Join(folder, FOLDER_LOCK_NAME).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    close(fd);
    return -1;
}

void other_LetGo(intptr_t holder)
{
    close(int(holder));
}

namespace {

// What another program may plant at a name the program is about to take: a
// link to its victim, whose contents must stay untouched, or a FIFO.
const struct Planted {
    const char* name;
    void (*plant)(const std::string& at, const std::string& victim);
} planted[] = {
    {"link to a file", [](auto& at, auto& victim) { EXPECT_EQ(symlink(victim.c_str(), at.c_str()), 0); }},
    {"FIFO", [](auto& at, auto&) { EXPECT_EQ(mkfifo(at.c_str(), 0644), 0); }},
};

// Another program that does not ask for the lock moves the held file away
// and puts its own at the name: that one is neither renamed nor removed.
TEST(PosixFiles, HeldFileIsRenamedOrRemovedOnlyAsItself)
{
    const TempDir temp;
    const std::string part = temp.path("t.part");
    const auto moved_Away = [&] {
        const int held = sys_FileCreate(part.c_str());
        std::filesystem::rename(part, temp.path("aside")), std::ofstream(part) << "theirs";
        return held;
    };
    EXPECT_EQ(sys_FileCommit(moved_Away(), part.c_str(), temp.path("new.txt").c_str(), true), FILE_COMMIT_FAILED);
    EXPECT_TRUE(file_Contents(part) == "theirs" && !std::filesystem::exists(temp.path("new.txt")));
    sys_FileDiscard(moved_Away(), part.c_str());
    EXPECT_EQ(file_Contents(part), "theirs");
}

// A file the user named (a trace) is opened as a shell's redirection opens
// it: a FIFO is written into while somebody reads it and refused at once
// while nobody does, and stays; a full device fails the write.
TEST(PosixFiles, OpenWriteTakesAFifoOnlyWhileItIsReadAndFailsOnAFullDevice)
{
    const TempDir temp;
    const std::string fifo = temp.path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(sys_FileOpenWrite(fifo.c_str()), -1) << "nobody reads it";
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int piped = sys_FileOpenWrite(fifo.c_str());
    ASSERT_GE(piped, 0);
    EXPECT_EQ(sys_FileWrite(piped, "trace", 5), 0);
    EXPECT_EQ(sys_FileClose(piped), 0) << "a pipe has nothing to sync";
    char got[8] = {};
    EXPECT_EQ(read(reader, got, sizeof got), 5);
    close(reader);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    const int full = sys_FileOpenWrite("/dev/full");
    EXPECT_TRUE(full >= 0 && sys_FileWrite(full, "no room", 7) == -1 && sys_FileClose(full) == 0);
}

// Whatever stands at the lock's name or a temporary name is never written
// through: a link to a file elsewhere or a FIFO (a reader waits on it, so a
// write would vanish into it) is removed, the target stays, and a regular
// file of the program's takes the name. Neither counts as a file that
// exists, not even a link to one.
const struct Taker {
    const char* name;
    const char* left;
    bool (*take)(const std::string& folder, const std::string& at);
} takers[] = {
    {FOLDER_LOCK_NAME, "", [](auto& folder, auto&) { return sys_FolderLock(folder.c_str()) == FOLDER_LOCKED; }},
    {"t.txt.tmp", "track", [](auto&, auto& at) {
         const int file = sys_FileCreate(at.c_str());
         return file >= 0 && sys_FileWrite(file, "track", 5) == 0 && sys_FileClose(file) == 0;
     }},
};

TEST(PosixFiles, WhatIsPlantedAtTheLockOrATemporaryNameIsRemovedNeverWrittenThrough)
{
    const TempDir temp;
    const std::string victim = temp.path("victim");
    for (const auto& row : planted)
        for (const auto& taker : takers) {
            SCOPED_TRACE(std::string(row.name) + " at " + taker.name);
            const std::string at = temp.path(taker.name);
            sys_FolderUnlock(), std::filesystem::remove(at);
            std::ofstream(victim, std::ios::trunc) << "not the program's";
            row.plant(at, victim);
            EXPECT_EQ(sys_FileExists(at.c_str()), 0) << "taken for a file of that name";
            const int reader = open(at.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            EXPECT_TRUE(taker.take(temp.dir, at));
            if (reader >= 0) close(reader);
            EXPECT_EQ(file_Contents(victim), "not the program's");
            EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(at)));
            EXPECT_EQ(file_Contents(at), taker.left);
        }
    sys_FolderUnlock();
}

// A program started with standard input and error closed: each is /dev/null
// once the process has started, so the first file the program opens (a
// trace) is never one of them; its open standard output stays as it was;
// and a write whose reader went away fails instead of ending the program.
// It runs in a child process of its own.
TEST(PosixProcess, ClosedStandardDescriptorsBecomeDevNullAndAGoneReaderFailsAWrite)
{
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    const bool closed[3] = {true, false, true};
    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGPIPE, SIG_DFL);
        struct stat before[3] {};
        for (int fd = 0; fd < 3; ++fd) {
            fstat(fd, &before[fd]);
            if (closed[fd]) close(fd);
        }
        posix_StartProcess();
        int faults = 0;
        for (int fd = 0; fd < 3; ++fd) {
            struct stat now {};
            const struct stat& expected = closed[fd] ? null : before[fd];
            if (fstat(fd, &now) != 0 || now.st_rdev != expected.st_rdev || now.st_ino != expected.st_ino)
                faults |= 1 << fd;
        }
        const int first_file = open("/dev/zero", O_RDONLY | O_CLOEXEC);
        if (first_file <= STDERR_FILENO) faults |= 8;
        int ends[2];
        if (pipe(ends) != 0 || close(ends[0]) != 0 || write(ends[1], "x", 1) != -1 || errno != EPIPE) faults |= 16;
        _exit(faults);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1, 2, 4: descriptor 0, 1, 2 wrong; 8: the first file took one of them";
}

}  // namespace
