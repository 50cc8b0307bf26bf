// Small surfaces in memory with guard bytes, for the codec and converter tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "image/convert.h"
#include "image/pixel_codec.h"
#include "image/pixel_formats.h"

namespace testutil {

constexpr std::uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 64;

// The facts of a format from the image layer's table.
inline const tolvane::pixels::FormatFacts& FactsOf(D3DFORMAT f) { return *tolvane::pixels::FindFormatFacts(f); }
inline bool IsDxt(D3DFORMAT f) { return tolvane::pixels::IsDxt(f); }
inline const char* NameOf(D3DFORMAT f) {
    const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(f);
    return facts ? facts->Name : "unknown format";
}

// A surface of width x height x depth pixels, its bytes framed by guard bytes.
struct Surface {
    D3DFORMAT format;
    UINT width, height, depth;
    UINT rowPitch, slicePitch, rows;
    std::vector<std::uint8_t> bytes;  // guard, slices, guard

    Surface(D3DFORMAT f, UINT w, UINT h, UINT d = 1, UINT pad = 0) : format(f), width(w), height(h), depth(d) {
        // A format without a codec (depth, index) gets 2 bytes a pixel, which no test reads.
        const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(f);
        rowPitch = (facts ? static_cast<UINT>(tolvane::pixels::StorageRowBytes(*facts, w)) : 2 * w) + pad;
        rows = facts ? static_cast<UINT>(tolvane::pixels::StorageRows(*facts, h)) : h;
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
