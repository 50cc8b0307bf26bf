// The packed YUV formats: pixel pairs sharing one chroma sample, read and written through
// a cache of one row widened to whole pairs.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "image/pixel_codec.h"
#include "image/pixel_formats.h"

namespace tolvane::pixels {
namespace {

constexpr UINT kNoRow = 0xFFFFFFFFu;

// The nearest integer to x (halves up) plus bias, clamped to [0, 255]; NaN gives 0.
// Rounding x + 0.5 to nearest instead would push every value up by half a step, and a
// pixel decoded and encoded again (the partner of a pair at a region edge) would drift.
int RoundClamped(float x, int bias) {
    const float v = std::floor(x + 0.5f) + static_cast<float>(bias);
    if (!(v > 0.0f)) {
        return 0;
    }
    return v >= 255.0f ? 255 : static_cast<int>(v);
}

class YuvCodec : public PixelCodec {
public:
    void Destroy(bool freeMemory) override {
        Flush();
        PixelCodec::Destroy(freeMemory);
    }

    void ReadRow(UINT row, UINT slice, Color* out) override {
        if (cache_ == nullptr || row >= Height || slice >= Depth) {
            return;
        }
        if (row != cachedRow_ || slice != cachedSlice_) {
            Flush();
            Load(row, slice);
        }
        std::memcpy(out, cache_ + (Region.Left - cacheLeft_), sizeof(Color) * Width);
        if (HasColorKey) {
            ApplyColorKey(out, Width);
        }
    }

    void WriteRow(UINT row, UINT slice, const Color* in) override {
        if (cache_ == nullptr || row >= Height || slice >= Depth) {
            return;
        }
        if (row != cachedRow_ || slice != cachedSlice_) {
            Flush();
            if (Width < cacheWidth_) {
                // The pair partner outside the region must survive the re-encoding.
                Load(row, slice);
            } else {
                cachedRow_ = row;
                cachedSlice_ = slice;
            }
        }
        std::memcpy(cache_ + (Region.Left - cacheLeft_), in, sizeof(Color) * Width);
        dirty_ = true;
    }

protected:
    YuvCodec(const SurfaceDesc& desc, unsigned lumaShift) : lumaShift_(lumaShift), chromaShift_(8 - lumaShift) {
        Init(desc, 0, 1);
        cacheLeft_ = Region.Left & ~1u;
        // Widened in 64 bits: a region ending near 2^32 must not wrap to a small cache.
        const std::uint64_t right = static_cast<std::uint64_t>(Region.Right) + (Region.Right & 1u);
        const std::uint64_t width = right - cacheLeft_;
        if (Region.Right < Region.Left || width > 0xFFFFFFFFu) {
            return;  // no cache: reads and writes nothing
        }
        cacheWidth_ = static_cast<UINT>(width);
        cache_ = new (std::nothrow) Color[cacheWidth_ == 0 ? 1 : cacheWidth_];
    }

    ~YuvCodec() override { delete[] cache_; }

private:
    std::uint8_t* PairAddress(UINT row, UINT slice) const {
        return Data + static_cast<std::size_t>(Region.Front + slice) * SlicePitch +
               static_cast<std::size_t>(Region.Top + row) * RowPitch + static_cast<std::size_t>(cacheLeft_) * 2;
    }

    void Load(UINT row, UINT slice) {
        const std::uint8_t* p = PairAddress(row, slice);
        for (UINT x = 0; x < cacheWidth_; x += 2, p += 4) {
            const unsigned w0 = p[0] | (p[1] << 8);
            const unsigned w1 = p[2] | (p[3] << 8);
            const int y0 = static_cast<int>((w0 >> lumaShift_) & 0xFF);
            const int u = static_cast<int>((w0 >> chromaShift_) & 0xFF);
            const int y1 = static_cast<int>((w1 >> lumaShift_) & 0xFF);
            const int v = static_cast<int>((w1 >> chromaShift_) & 0xFF);
            cache_[x] = DecodePixel(y0, u, v);
            cache_[x + 1] = DecodePixel(y1, u, v);
        }
        cachedRow_ = row;
        cachedSlice_ = slice;
        dirty_ = false;
    }

    static Color DecodePixel(int y, int u, int v) {
        const float c = static_cast<float>(y - 16);
        const float du = static_cast<float>(u - 128);
        const float dv = static_cast<float>(v - 128);
        const float r = c * 0.00456621f + dv * 0.00625893f;
        const float g = c * 0.00456621f - du * 0.00153632f - dv * 0.00318811f;
        const float b = c * 0.00456621f + du * 0.00791071f;
        return {std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f), std::clamp(b, 0.0f, 1.0f), 1.0f};
    }

    static int LumaOf(const Color& p) {
        return RoundClamped(65.481f * p.r + 128.553f * p.g + 24.966f * p.b, 16);
    }

    void Flush() {
        if (!dirty_ || cache_ == nullptr) {
            return;
        }
        std::uint8_t* p = PairAddress(cachedRow_, cachedSlice_);
        for (UINT x = 0; x < cacheWidth_; x += 2, p += 4) {
            const Color& p0 = cache_[x];
            const Color& p1 = cache_[x + 1];
            const unsigned y0 = static_cast<unsigned>(LumaOf(p0));
            const unsigned y1 = static_cast<unsigned>(LumaOf(p1));
            const unsigned u =
                static_cast<unsigned>(RoundClamped(112.0f * p0.b - 74.203f * p0.g - 37.797f * p0.r, 128));
            const unsigned v =
                static_cast<unsigned>(RoundClamped(112.0f * p0.r - 93.786f * p0.g - 18.214f * p0.b, 128));
            const unsigned w0 = (y0 << lumaShift_) | (u << chromaShift_);
            const unsigned w1 = (y1 << lumaShift_) | (v << chromaShift_);
            p[0] = static_cast<std::uint8_t>(w0);
            p[1] = static_cast<std::uint8_t>(w0 >> 8);
            p[2] = static_cast<std::uint8_t>(w1);
            p[3] = static_cast<std::uint8_t>(w1 >> 8);
        }
        dirty_ = false;
    }

    unsigned lumaShift_;
    unsigned chromaShift_;
    Color* cache_ = nullptr;
    UINT cacheLeft_ = 0;
    UINT cacheWidth_ = 0;
    UINT cachedRow_ = kNoRow;
    UINT cachedSlice_ = kNoRow;
    bool dirty_ = false;
};

// Bytes Y0, U, Y1, V: luma in the low byte of each 16-bit word.
class Yuy2Codec final : public YuvCodec {
public:
    explicit Yuy2Codec(const SurfaceDesc& desc) : YuvCodec(desc, 0) {}
};

// Bytes U, Y0, V, Y1: luma in the high byte.
class UyvyCodec final : public YuvCodec {
public:
    explicit UyvyCodec(const SurfaceDesc& desc) : YuvCodec(desc, 8) {}
};

}  // namespace

PixelCodec* CreateYuvCodec(const SurfaceDesc& desc) {
    if (desc.Format == D3DFMT_UYVY) {
        return new (std::nothrow) UyvyCodec(desc);
    }
    return new (std::nothrow) Yuy2Codec(desc);
}

}  // namespace tolvane::pixels
