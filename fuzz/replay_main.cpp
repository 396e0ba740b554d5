// Replays fuzz inputs through a target's entry point without libFuzzer, so
// that the seed corpus and every input that once broke the program run in
// every build, gcc's included: each argument is an input file, or a
// directory whose files are replayed in name order. A breached invariant or
// a sanitizer report aborts; an argument that yields no input at all fails,
// so a misplaced corpus cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

int main(int argc, char** argv)
{
    for (int a = 1; a < argc; ++a) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[a])) {
            for (const auto& entry : fs::directory_iterator(argv[a]))
                if (entry.is_regular_file()) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else if (fs::is_regular_file(argv[a])) {
            files.push_back(argv[a]);
        }
        if (files.empty()) {
            std::fprintf(stderr, "%s: no input to replay\n", argv[a]);
            return 1;
        }
        for (const fs::path& file : files) replay(file);
        std::printf("%s: %zu inputs replayed\n", argv[a], files.size());
    }
    return 0;
}
