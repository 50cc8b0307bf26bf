// The rasterizer's own copies of texture levels: the interleaved rows that bilinear
// lookups with wrapping read, made when a draw first wants them and kept with the texture.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "raster/pipeline.h"

namespace raster {

namespace detail {

struct SamplerCopiesState {
    std::mutex mutex;  // draws on several threads may want the copies of one texture
    bool current = false;
    // The levels the copies were made from.
    int levelCount = 0;
    SamplerLevel levels[SamplerTexture::kMaxLevels];
    // Every level's interleaved rows, one after another (so that the distances between
    // levels stay small), and where each level's start; null when the texture is too large.
    std::vector<std::uint32_t> rowPairs;
    const std::uint32_t* rowPairLevels[SamplerTexture::kMaxLevels] = {};
    bool hasRowPairs = false;
};

void BuildRowPairs(const std::uint32_t* texels, int width, int height, int pitch, std::uint32_t* rowPairs) {
    const std::ptrdiff_t pairPitch = 2 * (static_cast<std::ptrdiff_t>(pitch) + 1);
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = texels + static_cast<std::ptrdiff_t>(y) * pitch;
        const std::uint32_t* below = texels + static_cast<std::ptrdiff_t>(y + 1 < height ? y + 1 : 0) * pitch;
        std::uint32_t* out = rowPairs + y * pairPitch;
        for (int x = 0; x <= width; ++x) {
            const int column = x < width ? x : 0;
            out[2 * x] = row[column];
            out[2 * x + 1] = below[column];
        }
    }
}

namespace {

bool SameLevels(const SamplerCopiesState& state, const SamplerTexture& texture) {
    if (state.levelCount != texture.levelCount) return false;
    for (int l = 0; l < texture.levelCount; ++l) {
        const SamplerLevel &a = state.levels[l], &b = texture.levels[l];
        if (a.texels != b.texels || a.width != b.width || a.height != b.height || a.pitch != b.pitch) return false;
    }
    return true;
}

void MakeRowPairs(SamplerCopiesState& state) {
    state.hasRowPairs = false;
    std::size_t total = 0;
    for (int l = 0; l < state.levelCount; ++l) {
        const SamplerLevel& level = state.levels[l];
        if (std::uint64_t{static_cast<std::uint32_t>(level.pitch)} * static_cast<std::uint32_t>(level.height) >
            kMaxRowPairTexels)
            return;
        total += RowPairTexels(level.pitch, level.height);
    }
    state.rowPairs.resize(total);  // the capacity stays for the next change
    std::size_t start = 0;
    for (int l = 0; l < state.levelCount; ++l) {
        const SamplerLevel& level = state.levels[l];
        state.rowPairLevels[l] = state.rowPairs.data() + start;
        BuildRowPairs(level.texels, level.width, level.height, level.pitch, state.rowPairs.data() + start);
        start += RowPairTexels(level.pitch, level.height);
    }
    state.hasRowPairs = true;
}

}  // namespace

const std::uint32_t* const* InterleavedRows(const SamplerTexture& texture) {
    SamplerCopiesState& state = texture.copies.State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.current || !SameLevels(state, texture)) {
        state.levelCount = std::min(texture.levelCount, SamplerTexture::kMaxLevels);
        for (int l = 0; l < state.levelCount; ++l) state.levels[l] = texture.levels[l];
        MakeRowPairs(state);
        state.current = true;
    }
    return state.hasRowPairs ? state.rowPairLevels : nullptr;
}

}  // namespace detail

SamplerCopies::SamplerCopies() : state_(std::make_unique<detail::SamplerCopiesState>()) {}
SamplerCopies::~SamplerCopies() = default;
SamplerCopies::SamplerCopies(const SamplerCopies&) : SamplerCopies() {}
SamplerCopies& SamplerCopies::operator=(const SamplerCopies&) {
    Changed();
    return *this;
}

void SamplerCopies::Changed() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->current = false;
}

}  // namespace raster
