// Replays files through the device fuzz entry, like replay_main.cpp; with --write-seeds DIR
// it writes the hand-made seed inputs (DeviceSeeds in fuzz_device.cpp) into DIR instead.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

std::vector<std::vector<std::uint8_t>> DeviceSeeds();
int ReplayMain(int argc, char** argv);

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
        std::filesystem::create_directories(argv[2]);
        const auto seeds = DeviceSeeds();
        for (std::size_t i = 0; i < seeds.size(); ++i) {
            char name[32];
            std::snprintf(name, sizeof(name), "seed-%02zu", i);
            std::ofstream out(std::filesystem::path(argv[2]) / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
        }
        std::printf("replay: wrote %zu seeds\n", seeds.size());
        return 0;
    }
    return ReplayMain(argc, argv);
}
