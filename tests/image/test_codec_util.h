// Small surfaces in memory with guard bytes, for the codec and converter tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/convert.h"
#include "image/pixel_codec.h"

namespace testutil {

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 64;

inline UINT BitsOf(D3DFORMAT f) {
    switch (f) {
        case D3DFMT_R8G8B8: return 24;
        case D3DFMT_A8R8G8B8: case D3DFMT_X8R8G8B8: case D3DFMT_X8L8V8U8: case D3DFMT_Q8W8V8U8:
        case D3DFMT_V16U16: case D3DFMT_W11V11U10: return 32;
        case D3DFMT_R3G3B2: case D3DFMT_A8: case D3DFMT_L8: case D3DFMT_A4L4: case D3DFMT_P8: return 8;
        default: return 16;
    }
}

inline bool IsDxt(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}
inline bool IsYuv(D3DFORMAT f) { return f == D3DFMT_YUY2 || f == D3DFMT_UYVY; }

// A surface of width x height x depth pixels, its bytes framed by guard bytes.
struct Surface {
    D3DFORMAT format;
    UINT width, height, depth;
    UINT rowPitch, slicePitch, rows;
    std::vector<std::uint8_t> bytes;  // guard, slices, guard

    Surface(D3DFORMAT f, UINT w, UINT h, UINT d = 1, UINT pad = 0) : format(f), width(w), height(h), depth(d) {
        if (IsDxt(f)) {
            rowPitch = ((w + 3) / 4) * (f == D3DFMT_DXT1 ? 8 : 16) + pad;
            rows = (h + 3) / 4;
        } else if (IsYuv(f)) {
            rowPitch = ((w + 1) / 2) * 4 + pad;
            rows = h;
        } else {
            rowPitch = w * BitsOf(f) / 8 + pad;
            rows = h;
        }
        slicePitch = rowPitch * rows + pad;
        bytes.assign(2 * kGuardBytes + static_cast<std::size_t>(slicePitch) * d, kGuard);
        std::memset(Data(), 0, static_cast<std::size_t>(slicePitch) * d);
    }
    std::uint8_t* Data() { return bytes.data() + kGuardBytes; }
    bool GuardsIntact() const {
        for (std::size_t i = 0; i < kGuardBytes; ++i) {
            if (bytes[i] != kGuard || bytes[bytes.size() - 1 - i] != kGuard) return false;
        }
        return true;
    }
    SurfaceDesc Desc() { return DescOf({0, 0, width, height, 0, depth}); }
    SurfaceDesc DescOf(D3DBOX region) {
        SurfaceDesc d;
        d.Data = Data();
        d.Format = format;
        d.RowPitch = rowPitch;
        d.SlicePitch = depth > 1 ? slicePitch : 0;
        if (depth == 1) d.SlicePitch = 0;
        d.Whole = {0, 0, width, height, 0, depth};
        d.Region = region;
        return d;
    }
    std::uint8_t* Row(UINT y, UINT z = 0) { return Data() + static_cast<std::size_t>(z) * slicePitch + static_cast<std::size_t>(y) * rowPitch; }
    std::uint32_t Get32(UINT x, UINT y, UINT z = 0) { std::uint32_t v; std::memcpy(&v, Row(y, z) + 4 * x, 4); return v; }
    void Set32(UINT x, UINT y, std::uint32_t v, UINT z = 0) { std::memcpy(Row(y, z) + 4 * x, &v, 4); }
    std::uint16_t Get16(UINT x, UINT y, UINT z = 0) { std::uint16_t v; std::memcpy(&v, Row(y, z) + 2 * x, 2); return v; }
    void Set16(UINT x, UINT y, std::uint16_t v, UINT z = 0) { std::memcpy(Row(y, z) + 2 * x, &v, 2); }
};

// Destroys a codec at the end of a scope.
struct CodecPtr {
    PixelCodec* p;
    explicit CodecPtr(PixelCodec* codec) : p(codec) {}
    ~CodecPtr() { if (p) p->Destroy(true); }
    PixelCodec* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

}  // namespace testutil
