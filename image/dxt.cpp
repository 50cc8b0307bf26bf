// DXT block coding. The colour encoder fits a line through the block's colours by
// principal-axis analysis in a luminance-weighted space, clips it to the colour cube,
// quantises the ends to R5G6B5 and cuts the segment into equal bins for the indices.
//
// The single-block encoders below are the plain reference. EncodeDxtBlocks runs the same
// fit over the processor's vector width, one block in each lane (dxt_exact-inl.h), written
// once and compiled for every Highway target of the build, one chosen at run time; every
// target gives the reference's bits.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/dxt.cpp"
// Every target this compiler can build, the portable fallback among them.
#ifndef HWY_COMPILE_ALL_ATTAINABLE
#define HWY_COMPILE_ALL_ATTAINABLE
#endif
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/dxt.h"
#include "image/dxt_exact-inl.h"
#include "simd/targets.h"

#ifndef TOLVANE_IMAGE_DXT_COLORS_REF
#define TOLVANE_IMAGE_DXT_COLORS_REF
namespace dxt_exact {
// The colour halves block by block with the single-block encoder (EncodeColors' contract).
void EncodeColorsRef(bool dxt1, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out, std::size_t stride);
}  // namespace dxt_exact
#endif

HWY_BEFORE_NAMESPACE();
namespace dxt_exact {
namespace HWY_NAMESPACE {
namespace {

// One group of blocks: the lanes' ends and indices, written to the colour halves of the
// first n blocks (stride bytes apart).
template <bool kLeftOut>
void EncodeColorGroup(const VI px[16], std::size_t n, std::uint8_t* out, std::size_t stride) {
    const DI di;
    ExactFit f;
    ExactEnds<kLeftOut>(px, f);
    const VI indices = ExactIndices(f);
    alignas(HWY_MAX_BYTES) std::int32_t c0[kMaxLanes], c1[kMaxLanes], bits[kMaxLanes];
    hn::Store(f.c0, di, c0);
    hn::Store(f.c1, di, c1);
    hn::Store(indices, di, bits);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint8_t* block = out + stride * j;
        const auto b = static_cast<std::uint32_t>(bits[j]);
        const std::uint8_t bytes[8] = {static_cast<std::uint8_t>(c0[j]), static_cast<std::uint8_t>(c0[j] >> 8),
                                       static_cast<std::uint8_t>(c1[j]), static_cast<std::uint8_t>(c1[j] >> 8),
                                       static_cast<std::uint8_t>(b),     static_cast<std::uint8_t>(b >> 8),
                                       static_cast<std::uint8_t>(b >> 16), static_cast<std::uint8_t>(b >> 24)};
        std::memcpy(block, bytes, 8);
    }
}

}  // namespace

// The colour halves of count blocks of 16 pixels (consecutive in pixels), stride bytes
// apart from out on. dxt1: pixels with alpha below 128 are left out of the fit.
void EncodeColors(bool dxt1, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out, std::size_t stride) {
#if HWY_TARGET == HWY_SCALAR
    // One lane gains nothing over the single-block encoder, which skips the work of the
    // special blocks.
    EncodeColorsRef(dxt1, pixels, count, out, stride);
#else
    const DI di;
    const std::size_t lanes = hn::Lanes(di);
    alignas(HWY_MAX_BYTES) std::int32_t offsets[kMaxLanes];
    const std::int32_t* base = reinterpret_cast<const std::int32_t*>(pixels);
    for (std::size_t first = 0; first < count; first += lanes) {
        // The gathers take one pixel of each block at a time: fetch the group after this one.
        for (std::size_t j = 0; j < lanes && first + lanes + j < count; ++j) {
            hwy::Prefetch(pixels + 16 * (first + lanes + j));
        }
        const std::size_t n = std::min(lanes, count - first);
        // Lanes past the last block repeat it.
        for (std::size_t j = 0; j < lanes; ++j) {
            offsets[j] = static_cast<std::int32_t>(16 * (first + std::min(j, n - 1)));
        }
        const VI offset = hn::Load(di, offsets);
        VI px[16];
        VI alphaSigns = hn::Zero(di);
        for (int i = 0; i < 16; ++i) {
            px[i] = hn::GatherIndex(di, base + i, offset);
            alphaSigns = hn::Or(alphaSigns, hn::Not(px[i]));
        }
        if (dxt1 && !hn::AllFalse(di, hn::Lt(alphaSigns, hn::Zero(di)))) {
            EncodeColorGroup<true>(px, n, out + stride * first, stride);
        } else {
            EncodeColorGroup<false>(px, n, out + stride * first, stride);
        }
    }
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace dxt_exact
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace {

// Weighted space: blue, green, red (index 0, 1, 2), each byte x weight x 1/255.
constexpr float kWeight[3] = {0.082f, 0.6094f, 0.3086f};
constexpr float kInv255 = 1.0f / 255.0f;
// A range no colour lies in: nothing is left out of the fit.
constexpr std::uint32_t kEmptyLow = 0xFFFFFFu;
constexpr std::uint32_t kEmptyHigh = 0;

struct Vec3 {
    float v[3];
};

inline unsigned Channel(std::uint32_t pixel, int c) { return (pixel >> (8 * c)) & 0xFFu; }

inline Vec3 ToWeighted(unsigned b, unsigned g, unsigned r) {
    return {{static_cast<float>(b) * kWeight[0] * kInv255, static_cast<float>(g) * kWeight[1] * kInv255,
             static_cast<float>(r) * kWeight[2] * kInv255}};
}

inline float Dot(const Vec3& a, const Vec3& b) { return a.v[0] * b.v[0] + a.v[1] * b.v[1] + a.v[2] * b.v[2]; }

inline std::uint16_t To565(std::uint32_t pixel) {
    return static_cast<std::uint16_t>(((Channel(pixel, 2) >> 3) << 11) | ((Channel(pixel, 1) >> 2) << 5) |
                                      (Channel(pixel, 0) >> 3));
}

// Bit replication back to 8 bits: a 5-bit f becomes f x 8 + f / 4, a 6-bit g, g x 4 + g / 16.
inline void Expand565(std::uint16_t c, unsigned rgb[3]) {
    const unsigned r = (c >> 11) & 31u, g = (c >> 5) & 63u, b = c & 31u;
    rgb[0] = b * 8 + b / 4;
    rgb[1] = g * 4 + g / 16;
    rgb[2] = r * 8 + r / 4;
}

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    Put16(p, v & 0xFFFFu);
    Put16(p + 2, v >> 16);
}

unsigned Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

std::uint32_t Get32(const std::uint8_t* p) { return Get16(p) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16); }

void WriteColorBlock(std::uint8_t out[8], unsigned color0, unsigned color1, std::uint32_t indices) {
    Put16(out, color0);
    Put16(out + 2, color1);
    Put32(out + 4, indices);
}

// Every included pixel at index 0, left-out ones at 3; both ends the colour of pixel 0, or
// of the last included pixel when some are left out.
void SingleColorBlock(const std::uint32_t pixels[16], unsigned mask, std::uint8_t out[8]) {
    std::uint32_t indices = 0;
    std::uint16_t color = To565(pixels[0]);
    if (mask != 0xFFFFu) {
        for (int i = 15; i >= 0; --i) {
            indices = (indices << 2) | (((mask >> i) & 1u) ? 0u : 3u);
        }
        for (int i = 0; i < 16; ++i) {
            if ((mask >> i) & 1u) {
                color = To565(pixels[i]);
            }
        }
    }
    WriteColorBlock(out, color, color, indices);
}

inline bool InRange(std::uint32_t pixel, std::uint32_t low, std::uint32_t high) {
    for (int c = 0; c < 3; ++c) {
        const unsigned v = Channel(pixel, c);
        if (v < Channel(low, c) || v > Channel(high, c)) {
            return false;
        }
    }
    return true;
}

// Truncation of value / weight x 255 to a byte; the clip keeps value inside [0, weight],
// the clamp only guards against rounding at the ends.
unsigned QuantiseByte(float value, int c) {
    const float scaled = value / kWeight[c] * 255.0f;
    if (!(scaled > 0.0f)) {
        return 0;
    }
    return scaled >= 255.0f ? 255u : static_cast<unsigned>(scaled);
}

// The covariance matrix is symmetric and stays exactly so under squaring (each product
// has its mirror image among the other entry's products), so six entries hold it:
// m00, m01, m02, m11, m12, m22.
enum { M00, M01, M02, M11, M12, M22 };

// One block between the preparation (inclusion, weighted space, covariance) and the fit.
struct Fit {
    unsigned mask;  // included pixels
    int count;
    float p[3][16];  // weighted colour minus the mean, by channel (blue, green, red)
    float mean[3];
    float m[6];      // covariance, then its power
    bool flat;       // a round met a trace of 0: the single-colour block
};

enum class Prepared { Empty, SingleColor, Fit };

// Inclusion, the special blocks, the weighted space and the covariance.
Prepared Prepare(const std::uint32_t pixels[16], std::uint32_t rangeLow, std::uint32_t rangeHigh, Fit& f) {
    f.mask = 0;
    f.count = 0;
    for (int i = 0; i < 16; ++i) {
        if (!InRange(pixels[i], rangeLow, rangeHigh)) {
            f.mask |= 1u << i;
            ++f.count;
        }
    }
    if (f.count == 0) {
        return Prepared::Empty;
    }
    bool same = true;
    for (int i = 1; i < 16; ++i) {
        same = same && ((pixels[i] ^ pixels[0]) & 0xFFFFFFu) == 0;
    }
    if (same) {
        return Prepared::SingleColor;
    }
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 16; ++i) {
            f.p[c][i] = static_cast<float>(Channel(pixels[i], c)) * kWeight[c] * kInv255;
        }
    }
    // The mean sums the included pixels in pixel order.
    for (int c = 0; c < 3; ++c) {
        float sum = 0.0f;
        for (int i = 0; i < 16; ++i) {
            if ((f.mask >> i) & 1u) {
                sum += f.p[c][i];
            }
        }
        f.mean[c] = sum / static_cast<float>(f.count);
    }
    for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 16; ++i) {
            f.p[c][i] -= f.mean[c];
        }
    }
    static constexpr int kRow[6] = {0, 0, 0, 1, 1, 2};
    static constexpr int kColumn[6] = {0, 1, 2, 1, 2, 2};
    for (int e = 0; e < 6; ++e) {
        float sum = 0.0f;
        for (int i = 0; i < 16; ++i) {
            if ((f.mask >> i) & 1u) {
                sum += f.p[kRow[e]][i] * f.p[kColumn[e]][i];
            }
        }
        f.m[e] = sum;
    }
    f.flat = false;
    return Prepared::Fit;
}


// out = a x a for the symmetric a, each entry summed left to right as in
// a[i][0] * a[0][j] + a[i][1] * a[1][j] + a[i][2] * a[2][j].
template <typename T>
inline void SquareSymmetric(const T a[6], T out[6]) {
    out[M00] = a[M00] * a[M00] + a[M01] * a[M01] + a[M02] * a[M02];
    out[M01] = a[M00] * a[M01] + a[M01] * a[M11] + a[M02] * a[M12];
    out[M02] = a[M00] * a[M02] + a[M01] * a[M12] + a[M02] * a[M22];
    out[M11] = a[M01] * a[M01] + a[M11] * a[M11] + a[M12] * a[M12];
    out[M12] = a[M01] * a[M02] + a[M11] * a[M12] + a[M12] * a[M22];
    out[M22] = a[M02] * a[M02] + a[M12] * a[M12] + a[M22] * a[M22];
}

// The principal axis by repeated squaring: nine rounds of M <- M^4 scaled to trace 3.
void PowerRounds(Fit& f) {
    for (int round = 0; round < 9; ++round) {
        float t[6];
        SquareSymmetric(f.m, t);
        SquareSymmetric(t, f.m);
        const float trace = f.m[M00] + f.m[M11] + f.m[M22];
        if (trace == 0.0f) {
            f.flat = true;
            return;
        }
        const float s = 3.0f / trace;
        for (float& e : f.m) {
            e *= s;
        }
    }
}



// The principal axis: the row of the largest diagonal entry (the first of equal ones) of the
// raised covariance, scaled by its square root. False when it has no length.
bool PrincipalAxis(const Fit& f, Vec3* axis, float* length2) {
    static constexpr int kDiagonal[3] = {M00, M11, M22};
    static constexpr int kRowEntries[3][3] = {{M00, M01, M02}, {M01, M11, M12}, {M02, M12, M22}};
    int k = 0;
    for (int i = 1; i < 3; ++i) {
        if (f.m[kDiagonal[i]] > f.m[kDiagonal[k]]) {
            k = i;
        }
    }
    const float root = std::sqrt(f.m[kDiagonal[k]]);
    *axis = {{f.m[kRowEntries[k][0]] / root, f.m[kRowEntries[k][1]] / root, f.m[kRowEntries[k][2]] / root}};
    *length2 = Dot(*axis, *axis);
    return *length2 > 0.0f;
}

// The ends of the segment that the included pixels' projections on the axis span.
void SegmentAlongAxis(const Fit& f, const Vec3& axis, float axisLength2, Vec3* e0, Vec3* e1) {
    float tMin = 99999.0f, tMax = -99999.0f;
    for (int i = 0; i < 16; ++i) {
        if ((f.mask >> i) & 1u) {
            const float t = (axis.v[0] * f.p[0][i] + axis.v[1] * f.p[1][i] + axis.v[2] * f.p[2][i]) / axisLength2;
            tMin = t < tMin ? t : tMin;
            tMax = t > tMax ? t : tMax;
        }
    }
    for (int c = 0; c < 3; ++c) {
        e0->v[c] = f.mean[c] + tMin * axis.v[c];
        e1->v[c] = f.mean[c] + tMax * axis.v[c];
    }
}

// Clips the segment to [0, weight] channel by channel (blue, green, red): an end outside is
// moved along the segment to the boundary, first below 0, then above the weight.
void ClipToBox(Vec3& e0, Vec3& e1) {
    for (int c = 0; c < 3; ++c) {
        if ((e0.v[c] < 0.0f) != (e1.v[c] < 0.0f)) {
            Vec3& lo = e0.v[c] < 0.0f ? e0 : e1;
            const Vec3& hi = e0.v[c] < 0.0f ? e1 : e0;
            const float t = (0.0f - lo.v[c]) / (hi.v[c] - lo.v[c]);
            for (int d = 0; d < 3; ++d) {
                lo.v[d] += (hi.v[d] - lo.v[d]) * t;
            }
            lo.v[c] = 0.0f;
        }
        const float w = kWeight[c];
        if ((e0.v[c] > w) != (e1.v[c] > w)) {
            Vec3& up = e0.v[c] > w ? e0 : e1;
            const Vec3& down = e0.v[c] > w ? e1 : e0;
            const float t = (w - up.v[c]) / (down.v[c] - up.v[c]);
            for (int d = 0; d < 3; ++d) {
                up.v[d] += (down.v[d] - up.v[d]) * t;
            }
            up.v[c] = w;
        }
    }
}

// The ends quantised to R5G6B5 and ordered for the mode: color0 > color1 for four colours,
// color0 <= color1 for three. False when the four-colour ends collapse to one colour.
bool QuantiseEnds(const Vec3& e0, const Vec3& e1, bool fourColor, unsigned* color0, unsigned* color1) {
    auto pack = [](const Vec3& e) {
        return static_cast<unsigned>(((QuantiseByte(e.v[2], 2) >> 3) << 11) | ((QuantiseByte(e.v[1], 1) >> 2) << 5) |
                                     (QuantiseByte(e.v[0], 0) >> 3));
    };
    *color0 = pack(e0);
    *color1 = pack(e1);
    if (fourColor ? !(*color0 > *color1) : *color1 < *color0) {
        const unsigned swap = *color0;
        *color0 = *color1;
        *color1 = swap;
    }
    return !(*color0 == *color1 && fourColor);
}

// The indices: each included pixel's projection on the quantised segment (the ends as the
// decoder sees them, in the pixels' centred space) cut into four (or three) equal bins, not
// at the midpoints between palette colours; left-out pixels take 3.
std::uint32_t BinIndices(const Fit& f, unsigned color0, unsigned color1, bool fourColor) {
    unsigned rgb0[3], rgb1[3];
    Expand565(static_cast<std::uint16_t>(color0), rgb0);
    Expand565(static_cast<std::uint16_t>(color1), rgb1);
    Vec3 c0 = ToWeighted(rgb0[0], rgb0[1], rgb0[2]);
    Vec3 c1 = ToWeighted(rgb1[0], rgb1[1], rgb1[2]);
    Vec3 d;
    for (int c = 0; c < 3; ++c) {
        c0.v[c] -= f.mean[c];
        c1.v[c] -= f.mean[c];
        d.v[c] = c1.v[c] - c0.v[c];
    }
    static constexpr unsigned kFourColorIndex[4] = {0, 2, 3, 1};
    static constexpr unsigned kThreeColorIndex[3] = {0, 2, 1};
    const float length2 = Dot(d, d);
    const float bins = fourColor ? 4.0f : 3.0f;
    const float lastBin = fourColor ? 3.0f : 2.0f;
    const unsigned* map = fourColor ? kFourColorIndex : kThreeColorIndex;
    // Three-colour ends that collapsed put every included pixel at index 0.
    const bool collapsed = !fourColor && color0 == color1;
    int bin[16] = {};
    if (!collapsed) {
        for (int i = 0; i < 16; ++i) {
            const float t = ((f.p[0][i] - c0.v[0]) * d.v[0] + (f.p[1][i] - c0.v[1]) * d.v[1] +
                             (f.p[2][i] - c0.v[2]) * d.v[2]) /
                            length2;
            const float s = t * bins;
            bin[i] = s < 0.0f ? 0 : s >= lastBin ? static_cast<int>(lastBin) : static_cast<int>(s);
        }
    }
    std::uint32_t indices = 0;
    for (int i = 15; i >= 0; --i) {
        const unsigned index = ((f.mask >> i) & 1u) ? map[bin[i]] : 3u;
        indices = (indices << 2) | index;
    }
    return indices;
}

// After the power rounds: the axis, the segment along it clipped to the box, the quantised
// ends and the binned indices. A block whose axis or quantised ends collapse becomes a
// single-colour block, the one fallback.
void FinishFit(const std::uint32_t pixels[16], const Fit& f, std::uint8_t out[8]) {
    Vec3 axis, e0, e1;
    float axisLength2 = 0;
    unsigned color0 = 0, color1 = 0;
    const bool fourColor = f.count == 16;
    if (!f.flat && PrincipalAxis(f, &axis, &axisLength2)) {
        SegmentAlongAxis(f, axis, axisLength2, &e0, &e1);
        ClipToBox(e0, e1);
        if (QuantiseEnds(e0, e1, fourColor, &color0, &color1)) {
            WriteColorBlock(out, color0, color1, BinIndices(f, color0, color1, fourColor));
            return;
        }
    }
    SingleColorBlock(pixels, f.mask, out);
}

// The colour encoder of every block kind, for one block.
void EncodeColor(const std::uint32_t pixels[16], std::uint8_t out[8], std::uint32_t rangeLow,
                 std::uint32_t rangeHigh) {
    Fit f;
    switch (Prepare(pixels, rangeLow, rangeHigh, f)) {
        case Prepared::Empty:
            WriteColorBlock(out, 0x0000, 0xFFFF, 0xFFFFFFFFu);
            return;
        case Prepared::SingleColor:
            SingleColorBlock(pixels, f.mask, out);
            return;
        case Prepared::Fit:
            PowerRounds(f);
            FinishFit(pixels, f, out);
            return;
    }
}

// DXT1 keying: the smallest colour no opaque pixel has replaces the transparent pixels.
// Returns false when all 16 are opaque (nothing keyed).
bool KeyTransparent(const std::uint32_t pixels[16], std::uint32_t keyed[16], std::uint32_t& key) {
    bool allOpaque = true;
    for (int i = 0; i < 16; ++i) {
        allOpaque = allOpaque && (pixels[i] >> 24) >= 128;
    }
    if (allOpaque) {
        return false;
    }
    key = 0;
    for (bool taken = true; taken;) {
        taken = false;
        for (int i = 0; i < 16; ++i) {
            if ((pixels[i] >> 24) >= 128 && (pixels[i] & 0xFFFFFFu) == key) {
                taken = true;
                ++key;
                break;
            }
        }
    }
    for (int i = 0; i < 16; ++i) {
        keyed[i] = (pixels[i] >> 24) >= 128 ? pixels[i] : key;
    }
    return true;
}

void ExplicitAlpha(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    for (int row = 0; row < 4; ++row) {
        unsigned word = 0;
        for (int col = 0; col < 4; ++col) {
            word |= ((pixels[4 * row + col] >> 24) >> 4) << (4 * col);
        }
        Put16(out + 2 * row, word);
    }
}

// The alpha half of DXT4 and DXT5: eight interpolated values, or six plus 0 and 255.
void InterpolatedAlpha(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    int minimum = 255, maximum = 0;
    for (int i = 0; i < 16; ++i) {
        const int a = static_cast<int>(pixels[i] >> 24);
        minimum = a < minimum ? a : minimum;
        maximum = a > maximum ? a : maximum;
    }
    int alpha0 = maximum, alpha1 = minimum;
    bool sixValues = false;
    if (minimum == 0 && maximum == 255) {
        // 0 and 255 have codes of their own in the six-value mode: fit the values between.
        int low = 256, high = -1;
        for (int i = 0; i < 16; ++i) {
            const int a = static_cast<int>(pixels[i] >> 24);
            if (a != 0 && a < low) {
                low = a;
            }
            if (a != 255 && a > high) {
                high = a;
            }
        }
        if (low < high) {
            sixValues = true;
            alpha0 = low;
            alpha1 = high;
        }
    }
    out[0] = static_cast<std::uint8_t>(alpha0);
    out[1] = static_cast<std::uint8_t>(alpha1);
    std::uint64_t codes = 0;
    if (alpha0 != alpha1) {
        const int f = alpha0 - alpha1;
        const int k = sixValues ? 5 : 7;
        const int halfF = f >> 1;  // floor(f / 2), also for the negative f of the six-value mode
        for (int i = 15; i >= 0; --i) {
            const int a = static_cast<int>(pixels[i] >> 24);
            unsigned code;
            if (sixValues && a == 0) {
                code = 6;
            } else if (sixValues && a == 255) {
                code = 7;
            } else {
                const int b = (halfF + (alpha0 - a) * k) / f;
                code = b >= k ? 1u : b > 0 ? static_cast<unsigned>(b + 1) : 0u;
            }
            codes = (codes << 3) | code;
        }
    }
    for (int i = 0; i < 6; ++i) {
        out[2 + i] = static_cast<std::uint8_t>(codes >> (8 * i));
    }
}

}  // namespace

void EncodeDxtColorBlock(const std::uint32_t pixels[16], std::uint8_t out[8], std::uint32_t rangeLow,
                         std::uint32_t rangeHigh) {
    EncodeColor(pixels, out, rangeLow, rangeHigh);
}

void EncodeDxt1Block(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    std::uint32_t keyed[16];
    std::uint32_t key = 0;
    if (KeyTransparent(pixels, keyed, key)) {
        EncodeColor(keyed, out, key, key);
    } else {
        EncodeColor(pixels, out, kEmptyLow, kEmptyHigh);
    }
}

void EncodeDxtAlphaExplicit(const std::uint32_t pixels[16], std::uint8_t out[16]) {
    ExplicitAlpha(pixels, out);
    EncodeColor(pixels, out + 8, kEmptyLow, kEmptyHigh);
}

void EncodeDxtAlphaInterpolated(const std::uint32_t pixels[16], std::uint8_t out[16]) {
    InterpolatedAlpha(pixels, out);
    EncodeColor(pixels, out + 8, kEmptyLow, kEmptyHigh);
}

namespace dxt_exact {

HWY_EXPORT(EncodeColors);

void EncodeColorsRef(bool dxt1, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out, std::size_t stride) {
    for (std::size_t j = 0; j < count; ++j) {
        const std::uint32_t* px = pixels + 16 * j;
        std::uint32_t keyed[16];
        std::uint32_t key = 0;
        if (dxt1 && KeyTransparent(px, keyed, key)) {
            EncodeColor(keyed, out + stride * j, key, key);
        } else {
            EncodeColor(px, out + stride * j, kEmptyLow, kEmptyHigh);
        }
    }
}

}  // namespace dxt_exact

std::int64_t DxtCompiledTargets() { return HWY_TARGETS; }

void EncodeDxtBlocks(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out,
                     std::int64_t vectorTargets) {
    const auto encodeColors =
        HWY_DISPATCH_TABLE(dxt_exact::EncodeColors)[tolvane::simd::DispatchIndex(vectorTargets, HWY_TARGETS)];
    // Batches of blocks: the alpha halves, then the colour halves together.
    constexpr std::size_t kBatch = 64;
    const std::size_t blockBytes = kind == DxtBlockKind::Dxt1 ? 8 : 16;
    const std::size_t colorAt = kind == DxtBlockKind::Dxt1 ? 0 : 8;
    for (std::size_t first = 0; first < count; first += kBatch) {
        const std::size_t n = std::min(kBatch, count - first);
        for (std::size_t j = 0; j < n && kind != DxtBlockKind::Dxt1; ++j) {
            const std::uint32_t* px = pixels + 16 * (first + j);
            std::uint8_t* block = out + blockBytes * (first + j);
            if (kind == DxtBlockKind::ExplicitAlpha) {
                ExplicitAlpha(px, block);
            } else {
                InterpolatedAlpha(px, block);
            }
        }
        encodeColors(kind == DxtBlockKind::Dxt1, pixels + 16 * first, n, out + blockBytes * first + colorAt,
                     blockBytes);
    }
}

void EncodeDxtBlocks(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    EncodeDxtBlocks(kind, pixels, count, out, tolvane::simd::EnvironmentTargets());
}

void EncodeDxtBlocksRef(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    for (std::size_t j = 0; j < count; ++j) {
        switch (kind) {
            case DxtBlockKind::Dxt1:
                EncodeDxt1Block(pixels + 16 * j, out + 8 * j);
                break;
            case DxtBlockKind::ExplicitAlpha:
                EncodeDxtAlphaExplicit(pixels + 16 * j, out + 16 * j);
                break;
            case DxtBlockKind::InterpolatedAlpha:
                EncodeDxtAlphaInterpolated(pixels + 16 * j, out + 16 * j);
                break;
        }
    }
}

void DecodeDxtColorBlock(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    const unsigned color0 = Get16(block), color1 = Get16(block + 2);
    unsigned c[4][3];
    Expand565(static_cast<std::uint16_t>(color0), c[0]);
    Expand565(static_cast<std::uint16_t>(color1), c[1]);
    std::uint32_t palette[4];
    unsigned alpha3 = 0xFF;
    for (int ch = 0; ch < 3; ++ch) {
        if (color0 > color1) {
            c[2][ch] = (2 * c[0][ch] + c[1][ch] + 1) / 3;
            c[3][ch] = (c[0][ch] + 2 * c[1][ch] + 1) / 3;
        } else {
            c[2][ch] = (c[0][ch] + c[1][ch]) / 2;
            c[3][ch] = 0;
            alpha3 = 0;
        }
    }
    for (int i = 0; i < 4; ++i) {
        palette[i] = (0xFFu << 24) | (c[i][2] << 16) | (c[i][1] << 8) | c[i][0];
    }
    palette[3] = (palette[3] & 0xFFFFFFu) | (alpha3 << 24);
    const std::uint32_t indices = Get32(block + 4);
    for (int i = 0; i < 16; ++i) {
        out[i] = palette[(indices >> (2 * i)) & 3u];
    }
}

void DecodeDxtAlphaExplicit(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    DecodeDxtColorBlock(block + 8, out);
    for (int i = 0; i < 16; ++i) {
        const unsigned nibble = (Get16(block + 2 * (i / 4)) >> (4 * (i % 4))) & 0xFu;
        out[i] = (out[i] & 0xFFFFFFu) | ((nibble * 17u) << 24);
    }
}

void DecodeDxtAlphaInterpolated(const std::uint8_t* block, std::uint32_t out[16]) {
    if (block == nullptr) {
        std::memset(out, 0, 16 * sizeof(std::uint32_t));
        return;
    }
    DecodeDxtColorBlock(block + 8, out);
    const unsigned a0 = block[0], a1 = block[1];
    unsigned values[8] = {a0, a1};
    if (a0 > a1) {
        for (unsigned i = 1; i <= 6; ++i) {
            values[i + 1] = ((7 - i) * a0 + i * a1) / 7;
        }
    } else {
        for (unsigned i = 1; i <= 4; ++i) {
            values[i + 1] = ((5 - i) * a0 + i * a1) / 5;
        }
        values[6] = 0;
        values[7] = 255;
    }
    std::uint64_t codes = 0;
    for (int i = 0; i < 6; ++i) {
        codes |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = (out[i] & 0xFFFFFFu) | (values[(codes >> (3 * i)) & 7u] << 24);
    }
}

#endif  // HWY_ONCE
