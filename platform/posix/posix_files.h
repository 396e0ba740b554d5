// Plain POSIX file calls behind the base-services file functions. The
// production base services forward to them unchanged; the simulated ones put
// fault injection in front of them. Results as in seams/base_services.h.
#pragma once

#include <cstdint>

int posix_FileExists(const char* path);
int posix_FileOpenRead(const char* path);
int posix_FileRead(int file, void* data, uint32_t count);
int posix_ListDir(const char* folder, void (*each)(const char* name, void* context), void* context);
int posix_FileCreate(const char* path);
int posix_FileWrite(int file, const void* data, uint32_t count);
int posix_FileClose(int file);
int posix_FileRename(const char* from, const char* to);
int posix_FileRenameNoReplace(const char* from, const char* to);
int posix_FileRemove(const char* path);
int posix_MakeDir(const char* path);
