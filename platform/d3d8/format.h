// Memory layout of the device's formats: one table row per format, and the pitch and
// size of a region of width x height (x depth) pixels in it.
//
// Pixels lie row by row with no padding: the pitch of a plain format is width x bytes
// per pixel. Block formats are stored as rows of blocks: DXT1 in 4x4 blocks of 8 bytes,
// DXT2-DXT5 in 4x4 blocks of 16 bytes (pitch = blocks across x block bytes, one "row"
// per four pixel rows), and the YUV formats UYVY and YUY2 in 2x1 pairs of 4 bytes.
// Volume slices follow each other with a slice pitch of pitch x block rows.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8types.h"

namespace d3d8 {

enum class FormatKind { Color, Depth, Index, VertexData };

struct FormatStorage {
    D3DFORMAT format;
    UINT blockBytes;   // bytes per block (a block is one pixel for plain formats)
    UINT blockWidth;   // pixels per block across
    UINT blockHeight;  // pixels per block down
    FormatKind kind;
};

// The row of a format, or null for a format the device does not know.
const FormatStorage* FindFormat(D3DFORMAT format);

struct Layout {
    UINT pitch = 0;        // bytes from one row of blocks to the next
    UINT blockRows = 0;    // rows of blocks in one slice
    UINT slicePitch = 0;   // bytes from one slice to the next
    std::uint64_t size = 0;  // bytes of the whole region
};

// The layout of width x height x depth pixels (all at least 1). False when the region
// is larger than the device keeps in one allocation (2 GiB) or a pitch overflows.
bool ComputeLayout(const FormatStorage& info, UINT width, UINT height, UINT depth, Layout& layout);

// Size of mip level `level` of an extent: halved per level, never below 1.
constexpr UINT LevelExtent(UINT extent, UINT level) {
    UINT value = level >= 32 ? 0 : extent >> level;
    return value == 0 ? 1 : value;
}

// Number of levels of a full mip chain down to 1x1(x1).
UINT FullLevelCount(UINT width, UINT height, UINT depth);

}  // namespace d3d8
