// Texture sampling: level selection from the level of detail, point and bilinear
// filtering of one level, trilinear blending of two, and the address modes.
//
// Bilinear weights are 8-bit fractions; texels are spread to 16 bits per channel in a
// 64-bit word so that one multiply weighs all four channels (255 * 256 < 65536).
#include <emmintrin.h>
#include <immintrin.h>

#include <atomic>

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
    return v < -268435456.0 ? -268435456.0 : (v > 268435456.0 ? 268435456.0 : v);
}

// Maps a texel index to the level, or returns -1 for a border texel.
inline int Address(int i, int size, DWORD mode) {
    if (static_cast<unsigned>(i) < static_cast<unsigned>(size)) return i;
    switch (mode) {
        case D3DTADDRESS_MIRROR: {
            int period = 2 * size;
            int m = i % period;
            if (m < 0) m += period;
            return m < size ? m : period - 1 - m;
        }
        case D3DTADDRESS_CLAMP: return i < 0 ? 0 : size - 1;
        case D3DTADDRESS_BORDER: return -1;
        case D3DTADDRESS_MIRRORONCE: {
            int m = i < 0 ? -i - 1 : i;
            return m < size ? m : size - 1;
        }
        default: {
            int m = i % size;
            return m < 0 ? m + size : m;
        }
    }
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
    v = v < -268435456.0f ? -268435456.0f : (v > 268435456.0f ? 268435456.0f : v);
    int i = static_cast<int>(v);
    return static_cast<float>(i) > v ? i - 1 : i;
}

inline __m128i Widen(std::uint32_t texel) { return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(texel)), _mm_setzero_si128()); }

// One level, point or bilinear, as four 16-bit channels in the low half. The same
// weights and rounding as the plain path (horizontal first, 8-bit fractions); texel
// positions are computed in float rather than double. Wrap: both addresses wrap on
// power-of-two sizes, so a mask replaces the address modes.
template <bool Wrap>
__attribute__((always_inline)) inline __m128i FetchLevel(const SamplerSetup& s, const SamplerLevel& level, bool linear,
                                                         float u, float v) {
    const int w = level.width, h = level.height;
    if (!linear) {
        int x = FloorToIntFast(u * static_cast<float>(w)), y = FloorToIntFast(v * static_cast<float>(h));
        std::uint32_t t = Wrap ? level.texels[static_cast<std::ptrdiff_t>(y & (h - 1)) * level.pitch + (x & (w - 1))]
                               : Texel(level, s, x, y);
        return Widen(t);
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
    const __m128i zero = _mm_setzero_si128();
    __m128i left = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t00)), _mm_cvtsi32_si128(static_cast<int>(t01))), zero);
    __m128i right = _mm_unpacklo_epi8(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(t10)), _mm_cvtsi32_si128(static_cast<int>(t11))), zero);
    __m128i rows = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(left, _mm_set1_epi16(static_cast<short>(256 - wx))),
                                                _mm_mullo_epi16(right, _mm_set1_epi16(static_cast<short>(wx)))),
                                  8);
    __m128i bottom = _mm_unpackhi_epi64(rows, rows);
    return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(rows, _mm_set1_epi16(static_cast<short>(256 - wy))),
                                        _mm_mullo_epi16(bottom, _mm_set1_epi16(static_cast<short>(wy)))),
                          8);
}

inline std::uint32_t Narrow(__m128i v) { return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(v, v))); }

template <bool Wrap>
__attribute__((always_inline)) inline std::uint32_t SampleOne(const SamplerSetup& s, float u, float v, float lod) {
    const SamplerTexture* texture = s.texture;
    const int last = texture->levelCount - 1;
    int level = s.baseLevel;
    if (!(lod > 0.0f)) return Narrow(FetchLevel<Wrap>(s, texture->levels[level], s.magFilter >= D3DTEXF_LINEAR, u, v));
    const bool linear = s.minFilter >= D3DTEXF_LINEAR;
    if (lod > 64.0f) lod = 64.0f;
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
            __m128i fine = FetchLevel<Wrap>(s, texture->levels[level], linear, u, v);
            if (weight == 0) return Narrow(fine);
            __m128i coarse = FetchLevel<Wrap>(s, texture->levels[level + 1], linear, u, v);
            return Narrow(_mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(fine, _mm_set1_epi16(static_cast<short>(256 - weight))),
                                                       _mm_mullo_epi16(coarse, _mm_set1_epi16(static_cast<short>(weight)))),
                                         8));
        }
    }
    return Narrow(FetchLevel<Wrap>(s, texture->levels[level], linear, u, v));
}

}  // namespace

std::uint32_t SampleTexture(const SamplerSetup& s, float u, float v, float lod) {
    if (!s.texture) return 0xFFFFFFFFu;
    return s.wrapPow2 ? SampleOne<true>(s, u, v, lod) : SampleOne<false>(s, u, v, lod);
}

namespace {

// Four 16-bit copies of each lane's 32-bit value: lane i fills 16-bit lanes 4i .. 4i + 3.
__attribute__((target("avx2"), always_inline)) inline __m256i Spread16(__m128i values) {
    __m256i wide = _mm256_cvtepu32_epi64(values);
    __m256i pair = _mm256_mul_epu32(wide, _mm256_set1_epi64x(0x00010001));
    return _mm256_or_si256(pair, _mm256_slli_epi64(pair, 32));
}

__attribute__((target("avx2"), always_inline)) inline __m128i FloorToInt4(__m128 v) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_set1_ps(-268435456.0f)), _mm_set1_ps(268435456.0f));
    __m128i i = _mm_cvttps_epi32(v);
    return _mm_add_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(i), v)));
}

// The texels at base[i] + 4 * offset[i] (addresses as 64-bit integers).
__attribute__((target("avx2"), always_inline)) inline __m128i Gather4(__m256i base, __m128i offset) {
    __m256i address = _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(offset), 2));
    return _mm256_i64gather_epi32(static_cast<const int*>(nullptr), address, 1);
}

// The texel pairs at base[i] + 4 * offset[i], 64 bits each.
__attribute__((target("avx2"), always_inline)) inline __m256i GatherPairs4(__m256i base, __m128i offset) {
    __m256i address = _mm256_add_epi64(base, _mm256_slli_epi64(_mm256_cvtepi32_epi64(offset), 2));
    return _mm256_i64gather_epi64(static_cast<const long long*>(nullptr), address, 1);
}

// Four lanes of one level each (wrapping power-of-two levels), point or bilinear, as
// sixteen 16-bit channels. The arithmetic is that of FetchLevel<true>, lane by lane.
__attribute__((target("avx2"), always_inline)) inline __m256i FetchLevels4(const SamplerTexture& t, const int* levels, bool linear, __m128 u,
                                                     __m128 v) {
    __m128i w, h, pitch;
    __m256i base;
    if (levels[0] == levels[1] && levels[0] == levels[2] && levels[0] == levels[3]) {
        // The common case: neighbouring pixels read the same level.
        const SamplerLevel& level = t.levels[levels[0]];
        w = _mm_set1_epi32(level.width);
        h = _mm_set1_epi32(level.height);
        pitch = _mm_set1_epi32(level.pitch);
        base = _mm256_set1_epi64x(static_cast<long long>(reinterpret_cast<std::uintptr_t>(level.texels)));
    } else {
        alignas(16) int widths[4], heights[4], pitches[4];
        alignas(32) long long bases[4];
        for (int i = 0; i < 4; ++i) {
            const SamplerLevel& level = t.levels[levels[i]];
            widths[i] = level.width;
            heights[i] = level.height;
            pitches[i] = level.pitch;
            bases[i] = static_cast<long long>(reinterpret_cast<std::uintptr_t>(level.texels));
        }
        w = _mm_load_si128(reinterpret_cast<const __m128i*>(widths));
        h = _mm_load_si128(reinterpret_cast<const __m128i*>(heights));
        pitch = _mm_load_si128(reinterpret_cast<const __m128i*>(pitches));
        base = _mm256_load_si256(reinterpret_cast<const __m256i*>(bases));
    }
    const __m128i mx = _mm_sub_epi32(w, _mm_set1_epi32(1)), my = _mm_sub_epi32(h, _mm_set1_epi32(1));
    __m128i x, y, wx, wy;
    if (linear) {
        __m128i fx = FloorToInt4(_mm_sub_ps(_mm_mul_ps(u, _mm_cvtepi32_ps(_mm_slli_epi32(w, 8))), _mm_set1_ps(128.0f)));
        __m128i fy = FloorToInt4(_mm_sub_ps(_mm_mul_ps(v, _mm_cvtepi32_ps(_mm_slli_epi32(h, 8))), _mm_set1_ps(128.0f)));
        x = _mm_srai_epi32(fx, 8);
        y = _mm_srai_epi32(fy, 8);
        wx = _mm_and_si128(fx, _mm_set1_epi32(255));
        wy = _mm_and_si128(fy, _mm_set1_epi32(255));
    } else {
        x = FloorToInt4(_mm_mul_ps(u, _mm_cvtepi32_ps(w)));
        y = FloorToInt4(_mm_mul_ps(v, _mm_cvtepi32_ps(h)));
        wx = wy = _mm_setzero_si128();
    }
    const __m128i one = _mm_set1_epi32(1);
    __m128i x0 = _mm_and_si128(x, mx), x1 = _mm_and_si128(_mm_add_epi32(x, one), mx);
    __m128i row0 = _mm_mullo_epi32(_mm_and_si128(y, my), pitch);
    __m128i row1 = _mm_mullo_epi32(_mm_and_si128(_mm_add_epi32(y, one), my), pitch);
    __m256i t00, t10, t01, t11;
    if (!linear) return _mm256_cvtepu8_epi16(Gather4(base, _mm_add_epi32(row0, x0)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(x0, mx)) == 0) {
        // No lane wraps between x0 and x0 + 1: each row's pair is one 64-bit load.
        __m256i top = GatherPairs4(base, _mm_add_epi32(row0, x0));
        __m256i bottom = GatherPairs4(base, _mm_add_epi32(row1, x0));
        // Each 64-bit lane holds (left, right); split them into lane order.
        const __m256i order = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
        __m256i topSplit = _mm256_permutevar8x32_epi32(top, order);
        __m256i bottomSplit = _mm256_permutevar8x32_epi32(bottom, order);
        t00 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(topSplit));
        t10 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(topSplit, 1));
        t01 = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bottomSplit));
        t11 = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bottomSplit, 1));
    } else {
        t00 = _mm256_cvtepu8_epi16(Gather4(base, _mm_add_epi32(row0, x0)));
        t10 = _mm256_cvtepu8_epi16(Gather4(base, _mm_add_epi32(row0, x1)));
        t01 = _mm256_cvtepu8_epi16(Gather4(base, _mm_add_epi32(row1, x0)));
        t11 = _mm256_cvtepu8_epi16(Gather4(base, _mm_add_epi32(row1, x1)));
    }
    const __m256i full = _mm256_set1_epi16(256);
    __m256i wx16 = Spread16(wx), wy16 = Spread16(wy);
    __m256i ix16 = _mm256_sub_epi16(full, wx16), iy16 = _mm256_sub_epi16(full, wy16);
    __m256i top = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(t00, ix16), _mm256_mullo_epi16(t10, wx16)), 8);
    __m256i bottom = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(t01, ix16), _mm256_mullo_epi16(t11, wx16)), 8);
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(top, iy16), _mm256_mullo_epi16(bottom, wy16)), 8);
}

__attribute__((target("avx2"))) bool SampleQuadWide(const SamplerSetup& s, const float* u, const float* v, const float* lod,
                                                    int lanes, std::uint32_t* out) {
    LaneLevels chosen[4];
    int fine[4], coarse[4];
    alignas(16) int weights[4];
    bool anyWeight = false;
    const int firstLane = __builtin_ctz(static_cast<unsigned>(lanes));
    const bool linear = ChooseLevels(s, lod[firstLane]).linear;
    for (int i = 0; i < 4; ++i) {
        // Lanes outside the mask copy a covered lane so that every address is valid.
        chosen[i] = ChooseLevels(s, lod[(lanes >> i) & 1 ? i : firstLane]);
        fine[i] = chosen[i].fine;
        coarse[i] = chosen[i].coarse;
        weights[i] = chosen[i].weight;
        anyWeight = anyWeight || weights[i] != 0;
        // Lanes that filter differently (some magnified, some minified with another
        // filter) go the scalar way.
        if (chosen[i].linear != linear) return false;
    }
    __m128 us = _mm_loadu_ps(u), vs = _mm_loadu_ps(v);
    // Lanes outside the mask may hold anything: give them a covered lane's coordinates.
    if (lanes != 15) {
        __m128i keep = _mm_setr_epi32(lanes & 1 ? -1 : 0, lanes & 2 ? -1 : 0, lanes & 4 ? -1 : 0, lanes & 8 ? -1 : 0);
        __m128 fillU = _mm_set1_ps(u[firstLane]), fillV = _mm_set1_ps(v[firstLane]);
        us = _mm_or_ps(_mm_and_ps(_mm_castsi128_ps(keep), us), _mm_andnot_ps(_mm_castsi128_ps(keep), fillU));
        vs = _mm_or_ps(_mm_and_ps(_mm_castsi128_ps(keep), vs), _mm_andnot_ps(_mm_castsi128_ps(keep), fillV));
    }
    __m256i result = FetchLevels4(*s.texture, fine, linear, us, vs);
    if (anyWeight) {
        __m256i second = FetchLevels4(*s.texture, coarse, linear, us, vs);
        __m256i w16 = Spread16(_mm_load_si128(reinterpret_cast<const __m128i*>(weights)));
        __m256i iw16 = _mm256_sub_epi16(_mm256_set1_epi16(256), w16);
        result = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(result, iw16), _mm256_mullo_epi16(second, w16)), 8);
    }
    __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(result, result), 0x08);
    __m128i pixels = _mm256_castsi256_si128(packed);
    __m128i keep = _mm_setr_epi32(lanes & 1 ? -1 : 0, lanes & 2 ? -1 : 0, lanes & 4 ? -1 : 0, lanes & 8 ? -1 : 0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_and_si128(pixels, keep));
    return true;
}

bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

std::atomic<bool> gWideSampling{true};

}  // namespace

void SetWideSampling(bool on) { gWideSampling.store(on, std::memory_order_relaxed); }

void SampleQuad(const SamplerSetup& s, const float* u, const float* v, const float* lod, int lanes, std::uint32_t* out) {
    if (!s.texture) {
        for (int i = 0; i < 4; ++i) out[i] = 0xFFFFFFFFu;
        return;
    }
    if (s.wrapPow2) {
        if (CpuHasAvx2() && gWideSampling.load(std::memory_order_relaxed) && SampleQuadWide(s, u, v, lod, lanes, out)) return;
        for (int i = 0; i < 4; ++i) out[i] = (lanes >> i) & 1 ? SampleOne<true>(s, u[i], v[i], lod[i]) : 0u;
    } else {
        for (int i = 0; i < 4; ++i) out[i] = (lanes >> i) & 1 ? SampleOne<false>(s, u[i], v[i], lod[i]) : 0u;
    }
}

}  // namespace raster::detail
