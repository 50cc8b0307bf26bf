// Replays files through the fuzz entry without libFuzzer: every regular file under the
// given files or folders, in sorted order. CI runs it over the image corpus and the kept
// crashers; a crash or a sanitizer report fails the run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// main, or ReplayMain when a program wraps it (TOLVANE_REPLAY_WRAPPED).
#ifdef TOLVANE_REPLAY_WRAPPED
int ReplayMain(int argc, char** argv) {
#else
int main(int argc, char** argv) {
#endif
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const fs::path root(argv[i]);
        if (fs::is_directory(root)) {
            for (const auto& entry : fs::recursive_directory_iterator(root)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else if (fs::is_regular_file(root)) {
            files.push_back(root);
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An exact-size heap copy, so that a read one past the end is a sanitizer report.
        auto* copy = new std::uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)];
        std::copy(bytes.begin(), bytes.end(), copy);
        LLVMFuzzerTestOneInput(copy, bytes.size());
        delete[] copy;
    }
    std::printf("replay: %zu files\n", files.size());
    return 0;
}
