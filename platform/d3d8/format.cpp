#include "platform/d3d8/format.h"

#include <algorithm>
#include <array>

namespace d3d8 {
namespace {

using K = FormatKind;

// format               block bytes, block width, block height, kind
constexpr std::array kFormats = {
    FormatStorage{D3DFMT_R8G8B8, 3, 1, 1, K::Color},
    FormatStorage{D3DFMT_A8R8G8B8, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_X8R8G8B8, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_R5G6B5, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_X1R5G5B5, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_A1R5G5B5, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_A4R4G4B4, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_R3G3B2, 1, 1, 1, K::Color},
    FormatStorage{D3DFMT_A8, 1, 1, 1, K::Color},
    FormatStorage{D3DFMT_A8R3G3B2, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_X4R4G4B4, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_A8P8, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_P8, 1, 1, 1, K::Color},
    FormatStorage{D3DFMT_L8, 1, 1, 1, K::Color},
    FormatStorage{D3DFMT_A8L8, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_A4L4, 1, 1, 1, K::Color},
    FormatStorage{D3DFMT_V8U8, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_L6V5U5, 2, 1, 1, K::Color},
    FormatStorage{D3DFMT_X8L8V8U8, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_Q8W8V8U8, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_V16U16, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_W11V11U10, 4, 1, 1, K::Color},
    FormatStorage{D3DFMT_UYVY, 4, 2, 1, K::Color},
    FormatStorage{D3DFMT_YUY2, 4, 2, 1, K::Color},
    FormatStorage{D3DFMT_DXT1, 8, 4, 4, K::Color},
    FormatStorage{D3DFMT_DXT2, 16, 4, 4, K::Color},
    FormatStorage{D3DFMT_DXT3, 16, 4, 4, K::Color},
    FormatStorage{D3DFMT_DXT4, 16, 4, 4, K::Color},
    FormatStorage{D3DFMT_DXT5, 16, 4, 4, K::Color},
    FormatStorage{D3DFMT_D16_LOCKABLE, 2, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D32, 4, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D15S1, 2, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D24S8, 4, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D16, 2, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D24X8, 4, 1, 1, K::Depth},
    FormatStorage{D3DFMT_D24X4S4, 4, 1, 1, K::Depth},
    FormatStorage{D3DFMT_VERTEXDATA, 1, 1, 1, K::VertexData},
    FormatStorage{D3DFMT_INDEX16, 2, 1, 1, K::Index},
    FormatStorage{D3DFMT_INDEX32, 4, 1, 1, K::Index},
};
static_assert(kFormats.size() == 39, "one row per format of the device");

constexpr bool NoDuplicateFormats() {
    for (std::size_t i = 0; i < kFormats.size(); ++i)
        for (std::size_t j = i + 1; j < kFormats.size(); ++j)
            if (kFormats[i].format == kFormats[j].format) return false;
    return true;
}
static_assert(NoDuplicateFormats(), "a format has one row");

// The largest allocation of one region; keeps every pitch and size within 32 bits.
constexpr std::uint64_t kMaxRegionBytes = std::uint64_t{1} << 31;

}  // namespace

const FormatStorage* FindFormat(D3DFORMAT format) {
    for (const FormatStorage& info : kFormats)
        if (info.format == format) return &info;
    return nullptr;
}

bool ComputeLayout(const FormatStorage& info, UINT width, UINT height, UINT depth, Layout& layout) {
    if (width == 0 || height == 0 || depth == 0) return false;
    std::uint64_t blocksAcross = (std::uint64_t{width} + info.blockWidth - 1) / info.blockWidth;
    std::uint64_t blocksDown = (std::uint64_t{height} + info.blockHeight - 1) / info.blockHeight;
    std::uint64_t pitch = blocksAcross * info.blockBytes;
    std::uint64_t slice = pitch * blocksDown;
    std::uint64_t size = slice * depth;
    if (pitch > kMaxRegionBytes || slice > kMaxRegionBytes || size > kMaxRegionBytes) return false;
    layout.pitch = static_cast<UINT>(pitch);
    layout.blockRows = static_cast<UINT>(blocksDown);
    layout.slicePitch = static_cast<UINT>(slice);
    layout.size = size;
    return true;
}

UINT FullLevelCount(UINT width, UINT height, UINT depth) {
    UINT largest = std::max({width, height, depth, 1u});
    UINT count = 1;
    while (largest > 1) {
        largest >>= 1;
        ++count;
    }
    return count;
}

}  // namespace d3d8
