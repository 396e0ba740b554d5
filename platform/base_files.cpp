// The production programs' base-services file calls: the system's own file
// calls (platform/native_files.h, POSIX or Win32) unchanged. The simulated
// base services put fault injection in front of the same calls instead.
#include "platform/native_files.h"
#include "seams/base_services.h"

char sys_PathSeparator()
{
    return native_PathSeparator();
}

int sys_FileExists(const char* path)
{
    return native_FileExists(path);
}

int sys_FileOpenRead(const char* path)
{
    return native_FileOpenRead(path);
}

int sys_FileRead(int file, void* data, uint32_t count)
{
    return native_FileRead(file, data, count);
}

int sys_ListDir(const char* folder, DirVisitor each, void* context)
{
    return native_ListDir(folder, each, context);
}

int sys_FileCreate(const char* path)
{
    return native_FileCreate(path);
}

int sys_FileOpenWrite(const char* path)
{
    return native_FileOpenWrite(path);
}

int sys_FileWrite(int file, const void* data, uint32_t count)
{
    return native_FileWrite(file, data, count);
}

int sys_FileClose(int file)
{
    return native_FileClose(file);
}

int sys_FileSync(int file)
{
    return native_FileSync(file);
}

int sys_FileCommit(int file, const char* from, const char* to, bool keep)
{
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
    return native_FolderLock(folder);
}

void sys_FolderUnlock()
{
    native_FolderUnlock();
}
