// The writer threads behind the files the user names. Each writer's buffer
// is a ring: the program copies into its free part and the thread writes
// from its used part, each outside the lock, which guards only where the
// parts begin and end (and the flags), so that neither ever waits for the
// other's copy or write. The threads run detached: a close waits for a
// thread's last act, never joins it, so one stuck in a hung disk for good
// neither holds the program up nor ends it when the program exits.
#include "platform/file_writer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "seams/base_services.h"

namespace {

struct Writer {
    // The opening thread's alone: the handle the program knows the file by,
    // while it is open.
    bool open = false;
    int handle = -1;
    // A write found no room: nothing more is taken until the thread has
    // written everything it holds, so that what follows a refusal (the
    // trace's closing note, then its close) meets a disk that has caught up
    // rather than one that stalls.
    bool refusing = false;

    // Shared with the writer's thread, under lock.
    std::mutex lock;
    std::condition_variable changed;
    bool busy = false;       // a thread runs for this writer
    uint32_t head = 0;       // the first byte the thread has not written
    uint32_t used = 0;       // bytes from head on that the thread has still to write
    bool closing = false;    // no more bytes come: write the rest, then close
    bool failed = false;     // a write, or the close, failed
    bool finished = false;   // the thread has closed the file
    bool abandoned = false;  // nobody waits for the close any more

    // Left uninitialised: only bytes copied in are ever read.
    char buffer[WRITER_BUFFER_SIZE];
};

struct Writers {
    Writer each[WRITERS_MAX];
};

// Never destroyed: a thread still stuck in a hung disk at the program's end
// must find its writer as it left it.
Writers& writers()
{
    alignas(Writers) static unsigned char storage[sizeof(Writers)];
    static Writers* const all = new (storage) Writers;
    return *all;
}

Writer& writer_At(int writer)
{
    return writers().each[writer];
}

void writer_Run(Writer& w, intptr_t os_file, WriterDisk disk)
{
    std::unique_lock held(w.lock);
    for (;;) {
        w.changed.wait(held, [&] { return w.used > 0 || w.closing; });
        if (w.used == 0) break;
        const uint32_t head = w.head;
        const uint32_t chunk = std::min(w.used, WRITER_BUFFER_SIZE - head);
        // After a failure the rest is only let go, so that a close finds
        // the thread done.
        const bool failed = w.failed;
        held.unlock();
        const bool written = !failed && (disk.ready == nullptr || disk.ready()) &&
                             disk.write(os_file, w.buffer + head, chunk) == FILE_WRITTEN;
        held.lock();
        w.failed = !written;
        w.head = (head + chunk) % WRITER_BUFFER_SIZE;
        w.used -= chunk;
    }
    held.unlock();
    const bool ready = disk.ready == nullptr || disk.ready();
    const bool closed = disk.close(os_file) == 0;
    held.lock();
    w.failed = w.failed || !ready || !closed;
    w.finished = true;
    // Abandoned, the writer is free once this thread lets go of its lock;
    // otherwise the close that waits frees it.
    if (w.abandoned) w.busy = false;
    w.changed.notify_all();
}

}  // namespace

int writer_Start(int handle, intptr_t os_file, const WriterDisk& disk)
{
    for (int i = 0; i < WRITERS_MAX; ++i) {
        Writer& w = writer_At(i);
        std::unique_lock held(w.lock);
        if (w.busy) continue;
        w.busy = true;
        w.head = w.used = 0;
        w.closing = w.failed = w.finished = w.abandoned = false;
        held.unlock();
        try {
            std::thread(writer_Run, std::ref(w), os_file, disk).detach();
        } catch (const std::system_error&) {
            held.lock();
            w.busy = false;
            return -1;
        }
        w.open = true;
        w.handle = handle;
        w.refusing = false;
        return 0;
    }
    return -1;
}

int writer_Of(int handle)
{
    for (int i = 0; i < WRITERS_MAX; ++i)
        if (writer_At(i).open && writer_At(i).handle == handle) return i;
    return -1;
}

int writer_Write(int writer, const void* data, uint32_t count)
{
    Writer& w = writer_At(writer);
    uint32_t tail;
    {
        const std::lock_guard held(w.lock);
        if (w.failed) return FILE_WRITE_FAILED;
        if (w.used == 0) w.refusing = false;
        if (count > WRITER_BUFFER_SIZE - w.used) w.refusing = true;
        if (w.refusing) return FILE_WOULD_BLOCK;
        tail = (w.head + w.used) % WRITER_BUFFER_SIZE;
    }
    // The free part is this thread's until the bytes are counted in.
    const auto* bytes = static_cast<const char*>(data);
    const uint32_t first = std::min(count, WRITER_BUFFER_SIZE - tail);
    std::memcpy(w.buffer + tail, bytes, first);
    std::memcpy(w.buffer, bytes + first, count - first);
    {
        const std::lock_guard held(w.lock);
        w.used += count;
    }
    w.changed.notify_all();
    return FILE_WRITTEN;
}

int writer_Close(int writer, uint32_t wait_ms)
{
    Writer& w = writer_At(writer);
    w.open = false;
    std::unique_lock held(w.lock);
    w.closing = true;
    w.changed.notify_all();
    if (!w.changed.wait_for(held, std::chrono::milliseconds(wait_ms), [&] { return w.finished; })) {
        w.abandoned = true;
        return -1;
    }
    w.busy = false;
    return w.failed ? -1 : 0;
}
