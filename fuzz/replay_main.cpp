// Replays inputs through a target without libFuzzer, so every build runs
// the corpus: each argument is a file or a directory of them. An argument
// with no input fails, so a misplaced corpus cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    for (int a = 1; a < argc; ++a) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[a])) {
            for (const auto& entry : fs::directory_iterator(argv[a]))
                if (entry.is_regular_file()) files.push_back(entry.path());
        } else if (fs::is_regular_file(argv[a])) {
            files.push_back(argv[a]);
        }
        if (files.empty()) {
            std::fprintf(stderr, "%s: no input to replay\n", argv[a]);
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            const std::string bytes = file_Contents(file.string());
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        }
        std::printf("%s: %zu inputs replayed\n", argv[a], files.size());
    }
    return 0;
}
