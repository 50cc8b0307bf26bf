// Texture sampling: level selection from the level of detail, point and bilinear
// filtering of one level, trilinear blending of two, and the address modes.
//
// Bilinear weights are 8-bit fractions; texels are spread to 16 bits per channel in a
// 64-bit word so that one multiply weighs all four channels (255 * 256 < 65536).
#include <cmath>
#include <cstring>

#include "platform/d3d8/raster/pipeline.h"

namespace raster::detail {

namespace {

constexpr std::uint64_t kLaneMask = 0x00FF00FF00FF00FFull;

inline std::uint64_t Spread(std::uint32_t c) {
    std::uint64_t v = c;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & kLaneMask;
    return v;
}

inline std::uint32_t Pack(std::uint64_t v) {
    v &= kLaneMask;
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    v = (v | (v >> 16)) & 0x00000000FFFFFFFFull;
    return static_cast<std::uint32_t>(v);
}

// (a * (256 - f) + b * f) / 256 in every lane, f in 0..256.
inline std::uint64_t Lerp(std::uint64_t a, std::uint64_t b, std::uint32_t f) {
    return ((a * (256u - f) + b * f) >> 8) & kLaneMask;
}

// floor for values well inside the int range, without a library call.
inline int FloorToInt(double v) { return static_cast<int>(v + 1073741824.0) - 1073741824; }

// Keeps scaled coordinates inside the range where FloorToInt is exact.
inline double ClampCoordinate(double v) {
    constexpr double kClamp = kCoordinateClamp;
    return v < -kClamp ? -kClamp : (v > kClamp ? kClamp : v);
}

// Maps a texel index to the level, or returns -1 for a border texel.
inline int Address(int i, int size, AddressMode mode) {
    if (static_cast<unsigned>(i) < static_cast<unsigned>(size)) return i;
    switch (mode) {
        case AddressMode::Wrap: {
            int m = i % size;
            return m < 0 ? m + size : m;
        }
        case AddressMode::Mirror: {
            int period = 2 * size;
            int m = i % period;
            if (m < 0) m += period;
            return m < size ? m : period - 1 - m;
        }
        case AddressMode::Clamp: return i < 0 ? 0 : size - 1;
        case AddressMode::Border: return -1;
        case AddressMode::MirrorOnce: {
            int m = i < 0 ? -i - 1 : i;
            return m < size ? m : size - 1;
        }
    }
    Unreachable();
}

inline std::uint32_t Texel(const SamplerLevel& level, const SamplerSetup& s, int x, int y) {
    int ax = Address(x, level.width, s.addressU);
    int ay = Address(y, level.height, s.addressV);
    if ((ax | ay) < 0) return s.border;
    return level.texels[static_cast<std::ptrdiff_t>(ay) * level.pitch + ax];
}

std::uint64_t SampleLevel(const SamplerSetup& s, const SamplerLevel& level, bool linear, float u, float v) {
    if (!linear) {
        int x = FloorToInt(ClampCoordinate(static_cast<double>(u) * level.width));
        int y = FloorToInt(ClampCoordinate(static_cast<double>(v) * level.height));
        return Spread(Texel(level, s, x, y));
    }
    // Texel centres sit at half-integers: shift by half a texel, then split into the
    // integer texel and an 8-bit fraction.
    int fx = FloorToInt(ClampCoordinate(static_cast<double>(u) * level.width * 256.0 - 128.0));
    int fy = FloorToInt(ClampCoordinate(static_cast<double>(v) * level.height * 256.0 - 128.0));
    int x = fx >> 8, y = fy >> 8;
    std::uint32_t wx = static_cast<std::uint32_t>(fx & 255), wy = static_cast<std::uint32_t>(fy & 255);
    std::uint64_t t00 = Spread(Texel(level, s, x, y)), t10 = Spread(Texel(level, s, x + 1, y));
    std::uint64_t t01 = Spread(Texel(level, s, x, y + 1)), t11 = Spread(Texel(level, s, x + 1, y + 1));
    return Lerp(Lerp(t00, t10, wx), Lerp(t01, t11, wx), wy);
}

}  // namespace

std::uint32_t SampleTextureRef(const SamplerSetup& s, float u, float v, float lod) {
    const SamplerTexture* texture = s.texture;
    if (!texture) return 0xFFFFFFFFu;
    const int last = texture->levelCount - 1;
    int level = s.baseLevel;
    if (!(lod > 0.0f)) {
        // Magnification (or a NaN level): the largest level in use, with the mag filter.
        return Pack(SampleLevel(s, texture->levels[level], s.magFilter >= D3DTEXF_LINEAR, u, v));
    }
    const bool linear = s.minFilter >= D3DTEXF_LINEAR;
    switch (s.mipFilter) {
        case D3DTEXF_POINT: {
            float nearest = std::floor(lod + 0.5f);
            level = nearest >= static_cast<float>(last - level) ? last : level + static_cast<int>(nearest);
            break;
        }
        case D3DTEXF_NONE: break;
        default: {
            float whole = std::floor(lod);
            if (whole >= static_cast<float>(last - level)) {
                level = last;
                break;
            }
            level += static_cast<int>(whole);
            auto weight = static_cast<std::uint32_t>((lod - whole) * 256.0f);
            std::uint64_t fine = SampleLevel(s, texture->levels[level], linear, u, v);
            if (weight == 0) return Pack(fine);
            std::uint64_t coarse = SampleLevel(s, texture->levels[level + 1], linear, u, v);
            return Pack(Lerp(fine, coarse, weight));
        }
    }
    return Pack(SampleLevel(s, texture->levels[level], linear, u, v));
}

namespace {

// floor of a float as an int, for values clamped well inside the int range.
inline int FloorToIntFast(float v) {
    v = v < -kCoordinateClamp ? -kCoordinateClamp : (v > kCoordinateClamp ? kCoordinateClamp : v);
    int i = static_cast<int>(v);
    return static_cast<float>(i) > v ? i - 1 : i;
}

// One level, point or bilinear, as four 16-bit channels (Spread). The same
// weights and rounding as the plain path (horizontal first, 8-bit fractions); texel
// positions are computed in float rather than double. Wrap: both addresses wrap on
// power-of-two sizes, so a mask replaces the address modes.
template <bool Wrap>
__attribute__((always_inline)) inline std::uint64_t FetchLevel(const SamplerSetup& s, const SamplerLevel& level, bool linear,
                                                         float u, float v) {
    const int w = level.width, h = level.height;
    if (!linear) {
        int x = FloorToIntFast(u * static_cast<float>(w)), y = FloorToIntFast(v * static_cast<float>(h));
        std::uint32_t t = Wrap ? level.texels[static_cast<std::ptrdiff_t>(y & (h - 1)) * level.pitch + (x & (w - 1))]
                               : Texel(level, s, x, y);
        return Spread(t);
    }
    int fx = FloorToIntFast(u * static_cast<float>(w * 256) - 128.0f);
    int fy = FloorToIntFast(v * static_cast<float>(h * 256) - 128.0f);
    int x = fx >> 8, y = fy >> 8;
    int wx = fx & 255, wy = fy & 255;
    std::uint32_t t00, t10, t01, t11;
    if (Wrap) {
        const int mx = w - 1, my = h - 1;
        const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(y & my) * level.pitch;
        const std::uint32_t* row1 = level.texels + static_cast<std::ptrdiff_t>((y + 1) & my) * level.pitch;
        int x0 = x & mx, x1 = (x + 1) & mx;
        t00 = row0[x0];
        t10 = row0[x1];
        t01 = row1[x0];
        t11 = row1[x1];
    } else if (x >= 0 && y >= 0 && x + 1 < w && y + 1 < h) {
        const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(y) * level.pitch + x;
        t00 = row0[0];
        t10 = row0[1];
        t01 = row0[level.pitch];
        t11 = row0[level.pitch + 1];
    } else {
        t00 = Texel(level, s, x, y);
        t10 = Texel(level, s, x + 1, y);
        t01 = Texel(level, s, x, y + 1);
        t11 = Texel(level, s, x + 1, y + 1);
    }
    // Each step below stays under 2^16 per channel (255 * 256), so the lanes do not mix.
    return Lerp(Lerp(Spread(t00), Spread(t10), static_cast<std::uint32_t>(wx)),
                Lerp(Spread(t01), Spread(t11), static_cast<std::uint32_t>(wx)), static_cast<std::uint32_t>(wy));
}

template <bool Wrap>
__attribute__((always_inline)) inline std::uint32_t SampleOne(const SamplerSetup& s, float u, float v, float lod) {
    const SamplerTexture* texture = s.texture;
    const int last = texture->levelCount - 1;
    int level = s.baseLevel;
    if (!(lod > 0.0f)) return Pack(FetchLevel<Wrap>(s, texture->levels[level], s.magFilter >= D3DTEXF_LINEAR, u, v));
    const bool linear = s.minFilter >= D3DTEXF_LINEAR;
    if (lod > kMaxLod) lod = kMaxLod;
    switch (s.mipFilter) {
        case D3DTEXF_POINT: {
            float nearest = std::floor(lod + 0.5f);
            level = nearest >= static_cast<float>(last - level) ? last : level + static_cast<int>(nearest);
            break;
        }
        case D3DTEXF_NONE: break;
        default: {
            int whole = static_cast<int>(lod);  // lod > 0: truncation is floor
            if (whole >= last - level) {
                level = last;
                break;
            }
            level += whole;
            int weight = static_cast<int>((lod - static_cast<float>(whole)) * 256.0f);
            std::uint64_t fine = FetchLevel<Wrap>(s, texture->levels[level], linear, u, v);
            if (weight == 0) return Pack(fine);
            std::uint64_t coarse = FetchLevel<Wrap>(s, texture->levels[level + 1], linear, u, v);
            return Pack(Lerp(fine, coarse, static_cast<std::uint32_t>(weight)));
        }
    }
    return Pack(FetchLevel<Wrap>(s, texture->levels[level], linear, u, v));
}

}  // namespace

std::uint32_t SampleTexture(const SamplerSetup& s, float u, float v, float lod) {
    if (!s.texture) return 0xFFFFFFFFu;
    return s.wrapPow2 ? SampleOne<true>(s, u, v, lod) : SampleOne<false>(s, u, v, lod);
}

}  // namespace raster::detail
