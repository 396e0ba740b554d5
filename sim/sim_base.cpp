// Simulated base services: a clock that moves only when the program sleeps
// (or a test advances it), a program path the test chooses, and the system's
// own file calls (POSIX or Win32) behind countdown faults.
//
// Invariants:
//   - sim_NowUs only grows; the millisecond tick is the microsecond clock
//     divided by 1000 plus an offset that sim_SetTickMs chooses, so it wraps
//     like the real 32-bit counter.
//   - A file call either fails by a fault, touching nothing (except a close
//     or sync, which still does its work but leaves a few stray bytes at the
//     file's end, a commit, which removes the file held, and a write on a
//     full disk, which stores what fits), or is the system's call itself.
//   - The disk under a file the user names can stall: its writer thread
//     then waits until the test lets it go, or until the file is closed,
//     which breaks the disk (sim_StallUserDisk).
#include <condition_variable>
#include <cstring>
#include <mutex>

#include "platform/native_files.h"
#include "seams/base_services.h"
#include "sim/sim.h"

SimFileFaults sim_file_faults;

namespace {

constexpr const char* DEFAULT_PROGRAM_PATH = "./zorpload";
// Longer than the program's own buffers, so tests can hand it paths that do
// not fit them.
constexpr uint32_t PATH_SIZE = 1024;

uint64_t now_us;
uint32_t tick_offset_ms;
char program_path[PATH_SIZE];

// The disk under the files the user names, shared with their writer
// threads. Never destroyed: a writer still waiting at the end of a test
// program must find it as it was.
enum class UserDisk { FLOWING, STALLED, BROKEN };
struct UserDiskState {
    std::mutex lock;
    std::condition_variable changed;
    UserDisk state = UserDisk::FLOWING;
};
UserDiskState& user_disk = *new UserDiskState;
// The file the user named that is open now, or -1.
int user_file = -1;

void user_DiskSet(UserDisk state)
{
    {
        const std::lock_guard held(user_disk.lock);
        user_disk.state = state;
    }
    user_disk.changed.notify_all();
}

// The writer thread's question before each write and its close.
bool user_DiskReady()
{
    std::unique_lock held(user_disk.lock);
    user_disk.changed.wait(held, [] { return user_disk.state != UserDisk::STALLED; });
    return user_disk.state == UserDisk::FLOWING;
}

}  // namespace

// ----------------------------------------------------------------- clock --

uint64_t sim_NowUs()
{
    return now_us;
}

void sim_AdvanceUs(uint64_t us)
{
    now_us += us;
}

void sim_SetTickMs(uint32_t tick)
{
    tick_offset_ms = tick - static_cast<uint32_t>(now_us / 1000);
}

uint32_t sys_TickCount()
{
    return static_cast<uint32_t>(now_us / 1000) + tick_offset_ms;
}

uint64_t sys_Microseconds()
{
    return now_us;
}

void sys_Sleep(uint32_t ms)
{
    now_us += ms * 1000ull;
}

// ----------------------------------------------------------- program path --

void sim_SetProgramPath(const char* path)
{
    std::strncpy(program_path, path, PATH_SIZE - 1);
    program_path[PATH_SIZE - 1] = '\0';
}

uint32_t sys_ProgramPath(char* buf, uint32_t size)
{
    if (size == 0) return 0;
    const char* path = program_path[0] != '\0' ? program_path : DEFAULT_PROGRAM_PATH;
    uint32_t length = static_cast<uint32_t>(std::strlen(path));
    if (length > size - 1) length = size - 1;
    std::memcpy(buf, path, length);
    buf[length] = '\0';
    return length;
}

char sys_PathSeparator()
{
    return native_PathSeparator();
}

// ----------------------------------------------------------------- files --

// Counts one call against a fault: true when this call is to fail.
static bool fault_Fires(SimFileFault& fault)
{
    if (fault.countdown == 0) return false;
    if (fault.countdown > 1) {
        --fault.countdown;
        return false;
    }
    // The countdown has run out: this call fails, and so do the later ones
    // of a persistent fault.
    if (!fault.persistent) fault.countdown = 0;
    ++fault.failures;
    return true;
}

static void hook_Call(SimFileCall call, const char* path)
{
    if (sim_file_faults.hook != nullptr) sim_file_faults.hook(call, path);
}

void sim_ResetFiles()
{
    sim_file_faults = {};
    program_path[0] = '\0';
    user_DiskSet(UserDisk::FLOWING);
}

void sim_StallUserDisk(bool stalled)
{
    user_DiskSet(stalled ? UserDisk::STALLED : UserDisk::FLOWING);
}

int sys_FileExists(const char* path)
{
    hook_Call(SIM_CALL_OPEN_READ, path);
    return native_FileExists(path);
}

int sys_FileOpenRead(const char* path)
{
    hook_Call(SIM_CALL_OPEN_READ, path);
    return native_FileOpenRead(path);
}

int sys_FileRead(int file, void* data, uint32_t count)
{
    if (fault_Fires(sim_file_faults.read)) return -1;
    return native_FileRead(file, data, count);
}

int sys_ListDir(const char* folder, DirVisitor each, void* context)
{
    return native_ListDir(folder, each, context);
}

int sys_FileCreate(const char* path)
{
    hook_Call(SIM_CALL_CREATE, path);
    if (fault_Fires(sim_file_faults.create)) return -1;
    return native_FileCreate(path);
}

int sys_FileOpenWrite(const char* path)
{
    if (fault_Fires(sim_file_faults.create)) return -1;
    user_file = native_FileOpenWrite(path, user_DiskReady);
    return user_file;
}

int sys_FileWrite(int file, const void* data, uint32_t count)
{
    hook_Call(SIM_CALL_WRITE, nullptr);
    if (fault_Fires(sim_file_faults.write)) return -1;
    if (!sim_file_faults.disk_limited || count <= sim_file_faults.disk_free) {
        if (sim_file_faults.disk_limited) sim_file_faults.disk_free -= count;
        return native_FileWrite(file, data, count);
    }
    // The disk fills up in the middle of this write.
    const auto fits = static_cast<uint32_t>(sim_file_faults.disk_free);
    sim_file_faults.disk_free = 0;
    native_FileWrite(file, data, fits);
    return -1;
}

// What a failed close or sync may leave on the disk is not what was written:
// a caller that ignores the result keeps a damaged file.
static bool flush_Fails(int file)
{
    if (!fault_Fires(sim_file_faults.close)) return false;
    native_FileWrite(file, "\n(lost)\n", 8);
    return true;
}

int sys_FileClose(int file)
{
    // A stalled disk gives up once its file is closed, so that the close
    // reports the data lost without the test waiting out its time limit.
    if (file == user_file) {
        user_file = -1;
        const std::lock_guard held(user_disk.lock);
        if (user_disk.state == UserDisk::STALLED) user_disk.state = UserDisk::BROKEN;
        user_disk.changed.notify_all();
    }
    const bool fails = flush_Fails(file);
    const int closed = native_FileClose(file);
    return fails ? -1 : closed;
}

int sys_FileSync(int file)
{
    hook_Call(SIM_CALL_SYNC, nullptr);
    const bool fails = flush_Fails(file);
    const int synced = native_FileSync(file);
    return fails ? -1 : synced;
}

int sys_FileCommit(int file, const char* from, const char* to, bool keep)
{
    hook_Call(SIM_CALL_COMMIT, from);
    if (fault_Fires(sim_file_faults.rename)) {
        native_FileDiscard(file, from);
        return FILE_COMMIT_FAILED;
    }
    return native_FileCommit(file, from, to, keep);
}

void sys_FileDiscard(int file, const char* path)
{
    native_FileDiscard(file, path);
}

int64_t sys_FileSize(int file)
{
    return native_FileSize(file);
}

int sys_FileRemove(const char* path)
{
    return native_FileRemove(path);
}

int sys_MakeDir(const char* path)
{
    return native_MakeDir(path);
}

int sys_FolderLock(const char* folder)
{
    hook_Call(SIM_CALL_LOCK, folder);
    if (fault_Fires(sim_file_faults.lock)) return FOLDER_LOCK_FAILED;
    if (now_us < sim_file_faults.lock_held_until_us) return FOLDER_BUSY;
    return native_FolderLock(folder);
}

void sys_FolderUnlock()
{
    native_FolderUnlock();
}
