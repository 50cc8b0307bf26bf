// DXT surfaces: rows are read and written through a cache of one row of 4x4 blocks, decoded
// when first asked for and encoded when the codec moves on or is destroyed.
#include <cstring>
#include <new>

#include "image/dxt.h"
#include "image/pixel_codec.h"
#include "image/pixel_formats.h"

namespace tolvane::pixels {
namespace {

constexpr UINT kNone = 0xFFFFFFFFu;

// A channel in [0, 1] to a byte: truncation of c x 255 + 0.5; out-of-range values and NaN
// are clamped rather than converted out of range.
inline std::uint32_t ToByte(float c) {
    const float v = c * 255.0f + 0.5f;
    if (!(v > 0.0f)) {
        return 0;
    }
    return v >= 255.0f ? 255u : static_cast<std::uint32_t>(v);
}

class DxtCodec : public PixelCodec {
public:
    void Destroy(bool freeMemory) override {
        Flush();
        PixelCodec::Destroy(freeMemory);
    }

    void ReadRow(UINT row, UINT slice, Color* out) override {
        if (!ready_ || row >= Height || slice >= Depth) {
            return;
        }
        const UINT y = Region.Top + row;
        Select(y / 4, slice, false);
        std::memcpy(out, rows_[y & 3] + (Region.Left - cacheLeft_), sizeof(Color) * Width);
        if (HasColorKey) {
            ApplyColorKey(out, Width);
        }
    }

    void WriteRow(UINT row, UINT slice, const Color* in) override {
        if (!ready_ || row >= Height || slice >= Depth) {
            return;
        }
        const UINT y = Region.Top + row;
        Select(y / 4, slice, true);
        std::memcpy(rows_[y & 3] + (Region.Left - cacheLeft_), in, sizeof(Color) * Width);
        dirty_ = true;
    }

protected:
    DxtCodec(const SurfaceDesc& desc, DxtBlockKind kind, bool premultiplied)
        : kind_(kind), premultiplied_(premultiplied), blockBytes_(kind == DxtBlockKind::Dxt1 ? 8 : 16) {
        Init(desc, 0, 1);
        cacheLeft_ = Region.Left & ~3u;
        // Widened in 64 bits: a region ending near 2^32 must not wrap to a small cache.
        const std::uint64_t width = ((static_cast<std::uint64_t>(Region.Right) + 3) & ~std::uint64_t{3}) - cacheLeft_;
        if (Region.Right < Region.Left || width > 0xFFFFFFFFu) {
            return;  // not ready: reads and writes nothing
        }
        cacheWidth_ = static_cast<UINT>(width);
        // The surface's own size decides the small-surface fill; without a whole box the
        // region stands for the surface.
        const D3DBOX& whole = desc.Whole;
        const bool wholeGiven = whole.Right > whole.Left || whole.Bottom > whole.Top;
        const UINT surfaceWidth = wholeGiven ? whole.Right - whole.Left : Width;
        const UINT surfaceHeight = wholeGiven ? whole.Bottom - whole.Top : Height;
        xMask_ = surfaceWidth == 1 ? 0 : surfaceWidth == 2 ? 1 : 3;
        yMask_ = surfaceHeight == 1 ? 0 : surfaceHeight == 2 ? 1 : 3;
        ready_ = true;
        for (Color*& r : rows_) {
            r = new (std::nothrow) Color[cacheWidth_ == 0 ? 1 : cacheWidth_]();
            ready_ = ready_ && r != nullptr;
        }
        blockPixels_ = new (std::nothrow) std::uint32_t[cacheWidth_ == 0 ? 16 : cacheWidth_ * 4];
        ready_ = ready_ && blockPixels_ != nullptr;
    }

    ~DxtCodec() override {
        for (Color* r : rows_) {
            delete[] r;
        }
        delete[] blockPixels_;
    }

    virtual void DecodeBlock(const std::uint8_t* block, std::uint32_t pixels[16]) const = 0;

private:
    std::uint8_t* BlockAddress(UINT blockRow, UINT slice, UINT blockColumn) const {
        return Data + static_cast<std::size_t>(Region.Front + slice) * SlicePitch +
               static_cast<std::size_t>(blockRow) * RowPitch + static_cast<std::size_t>(blockColumn) * blockBytes_;
    }

    // Makes the block row the cached one. A write that will overwrite the whole block row
    // (all its columns and, within the surface, all its rows) of a block row not yet reached
    // need not decode it.
    void Select(UINT blockRow, UINT slice, bool writing) {
        if (blockRow == cachedRow_ && slice == cachedSlice_) {
            return;
        }
        Flush();
        const bool notReached = highestSlice_ == kNone || slice > highestSlice_ ||
                                (slice == highestSlice_ && blockRow > highestRow_);
        const bool wholeWidth = Width == cacheWidth_;
        const UINT firstRow = blockRow * 4;
        const bool wholeHeight = firstRow >= Region.Top && firstRow + 4 <= Region.Bottom;
        if (!(writing && wholeWidth && wholeHeight && notReached)) {
            Decode(blockRow, slice);
        }
        cachedRow_ = blockRow;
        cachedSlice_ = slice;
        if (notReached) {
            highestRow_ = blockRow;
            highestSlice_ = slice;
        }
    }

    void Decode(UINT blockRow, UINT slice) {
        std::uint32_t pixels[16];
        const float k = 1.0f / 255.0f;
        for (UINT bx = 0; bx < cacheWidth_ / 4; ++bx) {
            DecodeBlock(BlockAddress(blockRow, slice, cacheLeft_ / 4 + bx), pixels);
            for (int i = 0; i < 16; ++i) {
                const std::uint32_t p = pixels[i];
                Color c = {static_cast<float>((p >> 16) & 0xFF) * k, static_cast<float>((p >> 8) & 0xFF) * k,
                           static_cast<float>(p & 0xFF) * k, static_cast<float>(p >> 24) * k};
                if (Format == D3DFMT_DXT1 && (p >> 24) == 0) {
                    c = {0.0f, 0.0f, 0.0f, 0.0f};
                }
                if (premultiplied_) {
                    if (c.a == 0.0f) {
                        c.r = c.g = c.b = 0.0f;
                    } else if (c.a < 1.0f) {
                        c.r = c.r < c.a ? c.r / c.a : 1.0f;
                        c.g = c.g < c.a ? c.g / c.a : 1.0f;
                        c.b = c.b < c.a ? c.b / c.a : 1.0f;
                    }
                }
                rows_[i / 4][bx * 4 + (i & 3)] = c;
            }
        }
    }

    void Flush() {
        if (!dirty_ || !ready_) {
            return;
        }
        const UINT blocks = cacheWidth_ / 4;
        for (UINT bx = 0; bx < blocks; ++bx) {
            std::uint32_t* pixels = blockPixels_ + 16 * bx;
            for (UINT i = 0; i < 4; ++i) {
                for (UINT j = 0; j < 4; ++j) {
                    // Surfaces 1 or 2 pixels wide or high repeat their pixels over the block.
                    const Color& c = rows_[i & yMask_][bx * 4 + (j & xMask_)];
                    std::uint32_t r, g, b;
                    if (premultiplied_) {
                        r = ToByte(c.r * c.a);
                        g = ToByte(c.g * c.a);
                        b = ToByte(c.b * c.a);
                    } else {
                        r = ToByte(c.r);
                        g = ToByte(c.g);
                        b = ToByte(c.b);
                    }
                    pixels[4 * i + j] = (ToByte(c.a) << 24) | (r << 16) | (g << 8) | b;
                }
            }
        }
        // The blocks of a block row lie side by side in the surface.
        EncodeDxtBlocks(kind_, blockPixels_, blocks, BlockAddress(cachedRow_, cachedSlice_, cacheLeft_ / 4));
        dirty_ = false;
    }

    DxtBlockKind kind_;
    bool premultiplied_;
    std::size_t blockBytes_;
    std::uint32_t* blockPixels_ = nullptr;  // 16 pixels per block of the cached block row
    bool ready_ = false;
    Color* rows_[4] = {};
    UINT cacheLeft_ = 0;
    UINT cacheWidth_ = 0;
    UINT xMask_ = 3;
    UINT yMask_ = 3;
    UINT cachedRow_ = kNone;
    UINT cachedSlice_ = kNone;
    UINT highestRow_ = kNone;
    UINT highestSlice_ = kNone;
    bool dirty_ = false;
};

class Dxt1Codec final : public DxtCodec {
public:
    explicit Dxt1Codec(const SurfaceDesc& desc) : DxtCodec(desc, DxtBlockKind::Dxt1, false) {}

private:
    void DecodeBlock(const std::uint8_t* block, std::uint32_t pixels[16]) const override {
        DecodeDxtColorBlock(block, pixels);
    }
};

// DXT2 (premultiplied) and DXT3: explicit 4-bit alpha.
class ExplicitAlphaCodec : public DxtCodec {
protected:
    ExplicitAlphaCodec(const SurfaceDesc& desc, bool premultiplied)
        : DxtCodec(desc, DxtBlockKind::ExplicitAlpha, premultiplied) {}

private:
    void DecodeBlock(const std::uint8_t* block, std::uint32_t pixels[16]) const override {
        DecodeDxtAlphaExplicit(block, pixels);
    }
};

// DXT4 (premultiplied) and DXT5: interpolated alpha.
class InterpolatedAlphaCodec : public DxtCodec {
protected:
    InterpolatedAlphaCodec(const SurfaceDesc& desc, bool premultiplied)
        : DxtCodec(desc, DxtBlockKind::InterpolatedAlpha, premultiplied) {}

private:
    void DecodeBlock(const std::uint8_t* block, std::uint32_t pixels[16]) const override {
        DecodeDxtAlphaInterpolated(block, pixels);
    }
};

class Dxt2Codec final : public ExplicitAlphaCodec {
public:
    explicit Dxt2Codec(const SurfaceDesc& desc) : ExplicitAlphaCodec(desc, true) {}
};
class Dxt3Codec final : public ExplicitAlphaCodec {
public:
    explicit Dxt3Codec(const SurfaceDesc& desc) : ExplicitAlphaCodec(desc, false) {}
};
class Dxt4Codec final : public InterpolatedAlphaCodec {
public:
    explicit Dxt4Codec(const SurfaceDesc& desc) : InterpolatedAlphaCodec(desc, true) {}
};
class Dxt5Codec final : public InterpolatedAlphaCodec {
public:
    explicit Dxt5Codec(const SurfaceDesc& desc) : InterpolatedAlphaCodec(desc, false) {}
};

}  // namespace

PixelCodec* CreateDxtCodec(const SurfaceDesc& desc) {
    switch (desc.Format) {
        case D3DFMT_DXT1:
            return new (std::nothrow) Dxt1Codec(desc);
        case D3DFMT_DXT2:
            return new (std::nothrow) Dxt2Codec(desc);
        case D3DFMT_DXT3:
            return new (std::nothrow) Dxt3Codec(desc);
        case D3DFMT_DXT4:
            return new (std::nothrow) Dxt4Codec(desc);
        case D3DFMT_DXT5:
            return new (std::nothrow) Dxt5Codec(desc);
        default:
            return nullptr;
    }
}

}  // namespace tolvane::pixels
