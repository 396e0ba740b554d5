// The operating system's plain file calls behind the base-services file
// functions, one implementation per system: platform/posix/posix_files.cpp
// and platform/win32/win32_files.cpp. The production base services forward
// to them unchanged; the simulated ones (sim/sim_base.cpp) put fault
// injection in front of them, so the core's tests run on the real file calls
// of the system they are built for. Results as in seams/base_services.h.
#pragma once

#include <cstdint>

int native_FileExists(const char* path);
int native_FileOpenRead(const char* path);
int native_FileRead(int file, void* data, uint32_t count);
int native_ListDir(const char* folder, void (*each)(const char* name, void* context), void* context);
int native_FileCreate(const char* path);
// A regular file is written through a writer thread (platform/file_writer.h);
// disk_ready, when given, is its WriterDisk::ready (a test's stalled disk).
int native_FileOpenWrite(const char* path, bool (*disk_ready)() = nullptr);
int native_FileWrite(int file, const void* data, uint32_t count);
int native_FileClose(int file);
int native_FileSync(int file);
int native_FileCommit(int file, const char* from, const char* to, bool keep);
void native_FileDiscard(int file, const char* path);
int64_t native_FileSize(int file);
int native_FileRemove(const char* path);
int native_MakeDir(const char* path);
int native_FolderLock(const char* folder);
void native_FolderUnlock();

// The character that separates directories in this system's paths.
char native_PathSeparator();
