// Where the game's data lies: found from the program's own location, so that the
// installed game runs from any working directory.
#include <filesystem>
#include <system_error>

#include "game/game_app.h"

namespace {

bool HoldsGameData(const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder / "Textures", error);
}

}  // namespace

std::string GameDataDirectory() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    // A program of the build tree reads the repository's data; an installed one only
    // its prefix's.
    if (program.parent_path() == std::filesystem::path(TOLVANE_BUILD_BIN_DIR))
        return HoldsGameData(TOLVANE_SOURCE_DIR) ? TOLVANE_SOURCE_DIR : std::string();
    const std::filesystem::path installed = (program.parent_path() / TOLVANE_DATA_FROM_BIN).lexically_normal();
    return HoldsGameData(installed) ? installed.string() : std::string();
}
