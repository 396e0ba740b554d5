// Prints what Windows reads from the version resource and the manifest of
// each file named on the command line, one "FILE: NAME=VALUE" line per
// value, for resources_check.sh.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

static void print_String(const char* file, const void* block, const char* name)
{
    char query[96];
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", name);
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block, query, &value, &length) && length > 0)
        printf("%s: %s=%s\n", file, name, static_cast<const char*>(value));
}

static void print_Version(const char* file)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(file, &handle);
    static char block[16384];
    if (size == 0 || size > sizeof block || !GetFileVersionInfoA(file, 0, size, block)) return;
    for (const char* name : {"ProductName", "ProductVersion", "FileVersion", "FileDescription", "CompanyName"})
        print_String(file, block, name);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block, "\\", reinterpret_cast<void**>(&fixed), &length) && length >= sizeof *fixed)
        printf("%s: fixed=%d.%d.%d.%d\n", file, HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
               HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
}

static void print_Manifest(const char* file)
{
    HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    if (found != nullptr) {
        const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
        printf("%s: manifest=%.*s\n", file, static_cast<int>(SizeofResource(module, found)), text);
    }
    FreeLibrary(module);
}

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        print_Version(argv[i]);
        print_Manifest(argv[i]);
    }
    return 0;
}
