// Writing behind the program's back: a file the user named (a trace) that
// lies on a disk is written by a thread of its own, so that a disk that
// stalls (a hung network share, a slow stick) holds up that thread, never
// the window's. A write of the program only copies its bytes into the
// writer's fixed buffer; one that finds no room reports FILE_WOULD_BLOCK at
// once, as a pipe whose reader stalls does, and copies nothing, and so does
// every write after it until the thread has written all it holds. A close
// lets the thread write the rest and waits for it a bounded time.
//
// One thread per file, a fixed number of writers, each with a buffer of its
// own; nothing is allocated per write. The calls below come from the one
// thread that opens the files (they are not thread-safe among themselves);
// only the disk's own calls run on the writer's thread. The platforms hand
// in their blocking calls (WriterDisk) and keep their own handles.
#pragma once

#include <cstdint>

// The platform's blocking calls on the file, made on the writer's thread.
struct WriterDisk {
    // Writes every byte, waiting as long as the disk takes: a
    // FileWriteResult (seams/base_services.h).
    int (*write)(intptr_t os_file, const void* data, uint32_t count);
    // Brings what was written to the disk and closes the file, in every
    // case: 0, or -1 when the data may not have reached the disk.
    int (*close)(intptr_t os_file);
    // Null, or asked before every write and before the close, where it may
    // wait: false makes that call fail as a broken disk would (the file is
    // still closed). A test's stalled disk.
    bool (*ready)();
};

// The most bytes a writer holds that have not reached the file yet: twice
// the largest write of the trace, so a disk that keeps up never refuses one.
constexpr uint32_t WRITER_BUFFER_SIZE = 2u << 20;

// Files written behind at once; one whose thread is stuck in a hung disk
// counts until the thread ends.
constexpr int WRITERS_MAX = 4;

// How long a close waits for the writer to bring the rest to the disk.
constexpr uint32_t WRITER_CLOSE_WAIT_MS = 2000;

// Hands os_file over to a writer thread of its own, known from now on by
// handle (whatever the platform gives the program for the file). 0; or -1
// when every writer is still busy or no thread can start, and os_file is
// then still the caller's.
int writer_Start(int handle, intptr_t os_file, const WriterDisk& disk);

// The writer of handle, or -1 when a writer holds no file of that handle.
int writer_Of(int handle);

// Copies all count bytes for the thread to write: a FileWriteResult, with
// FILE_WOULD_BLOCK when they do not all fit now, or a write before them
// found no room and the thread still holds bytes (nothing is copied then),
// and FILE_WRITE_FAILED once a write of the thread has failed.
int writer_Write(int writer, const void* data, uint32_t count);

// Lets the thread write what it holds and close the file, waiting up to
// wait_ms for it. 0 when everything reached the disk; -1 when a write
// failed or the thread has not finished within the wait (it then finishes
// on its own, and only then is the writer free for another file). The
// handle is the writer's no more either way.
int writer_Close(int writer, uint32_t wait_ms);
