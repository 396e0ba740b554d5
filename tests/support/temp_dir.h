// A fresh temporary directory for one test's files, removed with them, paths
// joined with the separator of the system the tests are built for ('\' on
// Windows, where the program builds its track paths with it too), and the
// whole contents of a file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

constexpr char PATH_SEPARATOR = static_cast<char>(std::filesystem::path::preferred_separator);

inline std::string path_Join(const std::string& dir, const std::string& name)
{
    return dir + PATH_SEPARATOR + name;
}

// A path written with '/' in this system's own form.
inline std::string native_Path(std::string path)
{
    for (char& c : path)
        if (c == '/') c = PATH_SEPARATOR;
    return path;
}

// A directory of its own under base (by default the system's temporary
// folder); "" when none could be made.
inline std::string temp_MakeDir(const char* prefix, std::filesystem::path base = {})
{
    std::error_code error;
    if (base.empty()) base = std::filesystem::temp_directory_path(error);
    std::random_device random;
    for (int attempt = 0; !error && attempt < 100; ++attempt) {
        // Of one length every time: tests work out path lengths from it.
        char suffix[9];
        std::snprintf(suffix, sizeof suffix, "%08x", random());
        const std::filesystem::path dir = base / (prefix + std::string(suffix));
        if (std::filesystem::create_directory(dir, error)) return dir.string();
    }
    return "";
}

struct TempDir {
    std::string dir;
    TempDir() : dir(temp_MakeDir("zorp-test-"))
    {
        if (dir.empty()) dir = path_Join("nonexistent-zorp-test-dir", "x");
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (std::filesystem::is_directory(dir)) std::filesystem::remove_all(dir, ignored);
    }
    std::string path(const char* name) const { return path_Join(dir, name); }
};

inline std::string file_Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
