#include "platform/d3d8/fvf.h"

namespace d3d8 {
namespace {

// Bits of the coordinate-set sizes: two per set, from bit 16 on.
constexpr DWORD kTexCoordSizeMask = 0xFFFF0000u;

UINT TexCoordCount(DWORD fvf) { return (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT; }

}  // namespace

bool IsFvf(DWORD fvf) {
    if ((fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) != 0) return false;
    if ((fvf & D3DFVF_POSITION_MASK) == 0) return false;
    if (TexCoordCount(fvf) > 8) return false;
    // Size bits beyond the sets in use must be clear.
    UINT sets = TexCoordCount(fvf);
    DWORD usedSizeBits = sets >= 8 ? kTexCoordSizeMask : (((1u << (2 * sets)) - 1u) << 16);
    return (fvf & kTexCoordSizeMask & ~usedSizeBits) == 0;
}

UINT FvfSize(DWORD fvf) {
    UINT size = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ: size = 12; break;
        case D3DFVF_XYZRHW: size = 16; break;
        case D3DFVF_XYZB1: size = 16; break;
        case D3DFVF_XYZB2: size = 20; break;
        case D3DFVF_XYZB3: size = 24; break;
        case D3DFVF_XYZB4: size = 28; break;
        case D3DFVF_XYZB5: size = 32; break;
        default: break;
    }
    if ((fvf & D3DFVF_NORMAL) != 0) size += 12;
    if ((fvf & D3DFVF_PSIZE) != 0) size += 4;
    if ((fvf & D3DFVF_DIFFUSE) != 0) size += 4;
    if ((fvf & D3DFVF_SPECULAR) != 0) size += 4;
    for (UINT set = 0; set < TexCoordCount(fvf) && set < 8; ++set) {
        // Size code per set: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr UINT kFloats[4] = {2, 3, 4, 1};
        size += 4 * kFloats[(fvf >> (16 + 2 * set)) & 3u];
    }
    return size;
}

bool IsDrawableFvf(DWORD fvf) {
    if (!IsFvf(fvf)) return false;
    DWORD position = fvf & D3DFVF_POSITION_MASK;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return false;
    constexpr DWORD kDecoded = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                               D3DFVF_TEXCOUNT_MASK | kTexCoordSizeMask;
    return (fvf & ~kDecoded) == 0;
}

}  // namespace d3d8
