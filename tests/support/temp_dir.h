// A fresh temporary directory for one test's files, removed with them, and
// the whole contents of a file.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

struct TempDir {
    std::string dir;
    TempDir()
    {
        char pattern[] = "/tmp/zorp-test-XXXXXX";
        dir = mkdtemp(pattern) ? pattern : "/nonexistent-zorp-test-dir";
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

inline std::string file_Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
