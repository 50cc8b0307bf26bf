// The high-quality DXT encoder. It starts from the blocks of the exact encoder and improves
// each in place: the indices are chosen by exhaustive search (every pixel takes the palette
// entry nearest to it, which is the best assignment for given end points), and the end
// points, starting from the extremes of the principal axis in plain red, green, blue, by
// least squares over that assignment while the error falls, with a single-colour table for
// flat blocks and, for opaque DXT1 blocks, the three-colour mode tried beside the four-colour
// one. A candidate replaces the block only when its error is
// lower, so no block ends worse than the exact encoder's. The error is the plain sum of
// squared differences of red, green and blue (and alpha), decoded as DecodeDxt* decode.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "image/dxt.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint32_t kNoFit = 0xFFFFFFFFu;
// Least-squares rounds after the principal-axis start. A third round and a refinement of the
// three-colour candidate each add about 0.05 dB on the benchmark photographs for a fifth
// more time.
constexpr int kRefineRounds = 2;

struct Rgb {
    int c[3];  // red, green, blue, 0 to 255
};

Rgb PixelRgb(std::uint32_t p) {
    return {{static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF)}};
}

Rgb Expand(unsigned c565) {
    const int r = (c565 >> 11) & 31, g = (c565 >> 5) & 63, b = c565 & 31;
    return {{r * 8 + r / 4, g * 4 + g / 16, b * 8 + b / 4}};
}

// Nearest R5G6B5 to a colour in 0 to 255 per channel.
unsigned Quantise(const float v[3]) {
    auto q = [](float x, int levels) {
        const float clamped = std::min(std::max(x, 0.0f), 255.0f);
        return static_cast<unsigned>(clamped * static_cast<float>(levels) / 255.0f + 0.5f);
    };
    return (q(v[0], 31) << 11) | (q(v[1], 63) << 5) | q(v[2], 31);
}

unsigned Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// One block's colours as the encoder sees them, channel by channel so that the loops over
// the 16 pixels run in vector registers. Left-out pixels (transparent in DXT1) take index 3
// of the three-colour mode and count for nothing (weight 0).
struct ColorBlock {
    alignas(64) float ch[3][16];  // red, green, blue
    alignas(64) float weight[16];
    bool anyLeftOut;
    bool dxt1;  // the three-colour mode decodes as such; otherwise only the four-colour mode is used
};

struct ColorFit {
    unsigned c0 = 0, c1 = 0;
    std::uint32_t indices = 0;
    std::uint32_t error = kNoFit;
};

// For every pixel, the nearest of the first entries palette colours and its squared distance.
void NearestEntries(const ColorBlock& b, const float palette[4][3], int entries, float best[16],
                    std::int32_t index[16]) {
#if defined(__SSE2__)
    for (int q = 0; q < 16; q += 4) {
        const __m128 r = _mm_load_ps(&b.ch[0][q]), g = _mm_load_ps(&b.ch[1][q]), bl = _mm_load_ps(&b.ch[2][q]);
        __m128 nearest = _mm_set1_ps(1e30f);
        __m128i which = _mm_setzero_si128();
        for (int k = 0; k < entries; ++k) {
            const __m128 dr = _mm_sub_ps(r, _mm_set1_ps(palette[k][0]));
            const __m128 dg = _mm_sub_ps(g, _mm_set1_ps(palette[k][1]));
            const __m128 db = _mm_sub_ps(bl, _mm_set1_ps(palette[k][2]));
            const __m128 e = _mm_add_ps(_mm_add_ps(_mm_mul_ps(dr, dr), _mm_mul_ps(dg, dg)), _mm_mul_ps(db, db));
            const __m128i nearer = _mm_castps_si128(_mm_cmplt_ps(e, nearest));
            nearest = _mm_min_ps(e, nearest);
            which = _mm_or_si128(_mm_and_si128(nearer, _mm_set1_epi32(k)), _mm_andnot_si128(nearer, which));
        }
        _mm_store_ps(best + q, nearest);
        _mm_store_si128(reinterpret_cast<__m128i*>(index + q), which);
    }
#else
    for (int i = 0; i < 16; ++i) {
        best[i] = 1e30f;
        index[i] = 0;
        for (int k = 0; k < entries; ++k) {
            const float dr = b.ch[0][i] - palette[k][0], dg = b.ch[1][i] - palette[k][1],
                        db = b.ch[2][i] - palette[k][2];
            const float e = dr * dr + dg * dg + db * db;
            if (e < best[i]) {
                best[i] = e;
                index[i] = k;
            }
        }
    }
#endif
}

// The best indices for the end points c0 and c1 and their error; kNoFit when the pair's mode
// is not allowed for this block. Every squared distance is an integer below 2^24, so the
// float sums are exact.
ColorFit Evaluate(const ColorBlock& b, unsigned c0, unsigned c1) {
    ColorFit fit;
    fit.c0 = c0;
    fit.c1 = c1;
    const bool four = c0 > c1;
    if (b.anyLeftOut && four) return fit;
    // Outside DXT1 the three-colour mode is read differently by other decoders: only an
    // equal pair (every entry the same colour) is used there, at index 0.
    if (!b.dxt1 && c0 < c1) return fit;
    const Rgb e0 = Expand(c0), e1 = Expand(c1);
    float palette[4][3];
    for (int ch = 0; ch < 3; ++ch) {
        palette[0][ch] = static_cast<float>(e0.c[ch]);
        palette[1][ch] = static_cast<float>(e1.c[ch]);
        palette[2][ch] = static_cast<float>(four ? (2 * e0.c[ch] + e1.c[ch] + 1) / 3 : (e0.c[ch] + e1.c[ch]) / 2);
        palette[3][ch] = static_cast<float>((e0.c[ch] + 2 * e1.c[ch] + 1) / 3);
    }
    const int entries = four ? 4 : b.dxt1 ? 3 : 1;  // three-colour index 3 is transparent black
    alignas(16) float best[16];
    alignas(16) std::int32_t index[16];
    NearestEntries(b, palette, entries, best, index);
    float total = 0;
    for (int i = 0; i < 16; ++i) total += best[i] * b.weight[i];
    std::uint32_t indices = 0;
    for (int i = 15; i >= 0; --i) indices = (indices << 2) | (b.weight[i] != 0 ? static_cast<unsigned>(index[i]) : 3u);
    fit.indices = indices;
    fit.error = static_cast<std::uint32_t>(total);
    return fit;
}

void KeepBetter(ColorFit& best, const ColorFit& candidate) {
    if (candidate.error < best.error) best = candidate;
}

// Evaluates the pair in the order its mode needs: larger first for four colours, smaller
// first for three.
ColorFit EvaluateOrdered(const ColorBlock& b, unsigned e0, unsigned e1, bool four) {
    const unsigned hi = std::max(e0, e1), lo = std::min(e0, e1);
    return four ? Evaluate(b, hi, lo) : Evaluate(b, lo, hi);
}

// Least-squares end points for the fit's indices: each included pixel is w x c0 + (1 - w) x
// c1 with w from its index, solved for c0 and c1 per channel. False when the indices use
// only one weight (the system is singular).
bool LeastSquares(const ColorBlock& b, const ColorFit& fit, unsigned* c0, unsigned* c1) {
    const bool four = fit.c0 > fit.c1;
    static constexpr float kFour[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    static constexpr float kThree[4] = {1.0f, 0.0f, 0.5f, 0.0f};
    const float* table = four ? kFour : kThree;
    float aa = 0, ab = 0, bb = 0, ap[3] = {}, bp[3] = {};
    for (int i = 0; i < 16; ++i) {
        const float w = table[(fit.indices >> (2 * i)) & 3u] * b.weight[i];
        const float v = b.weight[i] - w;
        aa += w * w;
        ab += w * v;
        bb += v * v;
        for (int ch = 0; ch < 3; ++ch) {
            ap[ch] += w * b.ch[ch][i];
            bp[ch] += v * b.ch[ch][i];
        }
    }
    const float det = aa * bb - ab * ab;
    if (std::fabs(det) < 1e-6f) return false;
    float e0[3], e1[3];
    for (int ch = 0; ch < 3; ++ch) {
        e0[ch] = (ap[ch] * bb - bp[ch] * ab) / det;
        e1[ch] = (bp[ch] * aa - ap[ch] * ab) / det;
    }
    *c0 = Quantise(e0);
    *c1 = Quantise(e1);
    return true;
}

// Refines a fit by least squares until its error stops falling (at most rounds rounds).
void Refine(const ColorBlock& b, ColorFit& fit, bool four, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        unsigned c0 = 0, c1 = 0;
        if (!LeastSquares(b, fit, &c0, &c1)) return;
        const ColorFit next = EvaluateOrdered(b, c0, c1, four);
        if (next.error >= fit.error) return;
        fit = next;
    }
}

// The principal axis of the included colours (unweighted red, green, blue) by a few power
// iterations; its ends are the extreme projections of the pixels.
bool PrincipalEnds(const ColorBlock& b, unsigned* c0, unsigned* c1) {
    float n = 0, mean[3] = {};
    for (int i = 0; i < 16; ++i) {
        n += b.weight[i];
        for (int ch = 0; ch < 3; ++ch) mean[ch] += b.weight[i] * b.ch[ch][i];
    }
    if (n == 0) return false;
    for (float& m : mean) m /= n;
    float cov[6] = {};  // rr rg rb gg gb bb
    for (int i = 0; i < 16; ++i) {
        const float r = b.ch[0][i] - mean[0], g = b.ch[1][i] - mean[1], bl = b.ch[2][i] - mean[2], w = b.weight[i];
        cov[0] += w * r * r;
        cov[1] += w * r * g;
        cov[2] += w * r * bl;
        cov[3] += w * g * g;
        cov[4] += w * g * bl;
        cov[5] += w * bl * bl;
    }
    float axis[3] = {1.0f, 1.0f, 1.0f};
    for (int it = 0; it < 8; ++it) {
        const float x = cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2];
        const float y = cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2];
        const float z = cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2];
        const float m = std::max(std::fabs(x), std::max(std::fabs(y), std::fabs(z)));
        if (m == 0) return false;
        axis[0] = x / m;
        axis[1] = y / m;
        axis[2] = z / m;
    }
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < 16; ++i) {
        if (b.weight[i] == 0) continue;
        const float t = (b.ch[0][i] - mean[0]) * axis[0] + (b.ch[1][i] - mean[1]) * axis[1] +
                        (b.ch[2][i] - mean[2]) * axis[2];
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    const float length2 = axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2];
    float e0[3], e1[3];
    for (int ch = 0; ch < 3; ++ch) {
        e0[ch] = mean[ch] + axis[ch] * hi / length2;
        e1[ch] = mean[ch] + axis[ch] * lo / length2;
    }
    *c0 = Quantise(e0);
    *c1 = Quantise(e1);
    return true;
}

// For each 8-bit value, the pair of 5-bit (or 6-bit) ends whose first third (two parts of
// the first end, one of the second, as the decoder rounds it) comes closest to the value.
struct SingleColorTable {
    std::uint8_t end0[256], end1[256];
};

SingleColorTable MakeSingleColorTable(int bits) {
    SingleColorTable t{};
    const int levels = (1 << bits) - 1;
    auto expand = [bits](int v) { return bits == 5 ? v * 8 + v / 4 : v * 4 + v / 16; };
    for (int value = 0; value < 256; ++value) {
        int best = 1 << 30;
        for (int a = 0; a <= levels; ++a) {
            for (int c = 0; c <= levels; ++c) {
                const int third = (2 * expand(a) + expand(c) + 1) / 3;
                const int error = std::abs(third - value) * 1024 + std::abs(expand(a) - expand(c));
                if (error < best) {
                    best = error;
                    t.end0[value] = static_cast<std::uint8_t>(a);
                    t.end1[value] = static_cast<std::uint8_t>(c);
                }
            }
        }
    }
    return t;
}

// Flat blocks: the ends whose first third is the colour, channel by channel.
ColorFit SingleColorFit(const ColorBlock& b, int first) {
    static const SingleColorTable five = MakeSingleColorTable(5), six = MakeSingleColorTable(6);
    const int r = static_cast<int>(b.ch[0][first]), g = static_cast<int>(b.ch[1][first]),
              bl = static_cast<int>(b.ch[2][first]);
    const unsigned e0 = (five.end0[r] << 11) | (six.end0[g] << 5) | five.end0[bl];
    const unsigned e1 = (five.end1[r] << 11) | (six.end1[g] << 5) | five.end1[bl];
    return EvaluateOrdered(b, e0, e1, true);
}

// The first included pixel when all included pixels have one colour, else -1.
int FlatColor(const ColorBlock& b) {
    int first = -1;
    for (int i = 0; i < 16; ++i) {
        if (b.weight[i] == 0) continue;
        if (first < 0) {
            first = i;
        } else if (b.ch[0][i] != b.ch[0][first] || b.ch[1][i] != b.ch[1][first] || b.ch[2][i] != b.ch[2][first]) {
            return -1;
        }
    }
    return first;
}

void WriteFit(const ColorFit& fit, std::uint8_t out[8]) {
    Put16(out, fit.c0);
    Put16(out + 2, fit.c1);
    Put16(out + 4, fit.indices & 0xFFFFu);
    Put16(out + 6, fit.indices >> 16);
}

// Improves the colour block at out (8 bytes, as the exact encoder wrote it): its own ends
// re-indexed, the single-colour ends of a flat block or the principal axis's ends refined by
// least squares, and for an opaque DXT1 block the best ends in the three-colour mode. The
// exact encoder's block has the mode the block needs (three colours when pixels are left
// out), and so does every candidate.
void ImproveColor(const ColorBlock& b, std::uint8_t out[8]) {
    ColorFit best = Evaluate(b, Get16(out), Get16(out + 2));
    if (best.error == kNoFit) return;
    if (best.error != 0) {
        const bool four = !b.anyLeftOut;
        unsigned p0 = 0, p1 = 0;
        const int flat = FlatColor(b);
        if (flat >= 0 && four) {
            KeepBetter(best, SingleColorFit(b, flat));
        } else if (PrincipalEnds(b, &p0, &p1)) {
            ColorFit principal = EvaluateOrdered(b, p0, p1, four);
            Refine(b, principal, four, kRefineRounds);
            KeepBetter(best, principal);
        }
        if (b.dxt1 && !b.anyLeftOut && best.error != 0) {
            KeepBetter(best, EvaluateOrdered(b, best.c0, best.c1, false));
        }
    }
    WriteFit(best, out);
}

ColorBlock ColorsOf(const std::uint32_t pixels[16], bool dxt1) {
    ColorBlock b{};
    b.dxt1 = dxt1;
    for (int i = 0; i < 16; ++i) {
        const Rgb p = PixelRgb(pixels[i]);
        for (int ch = 0; ch < 3; ++ch) b.ch[ch][i] = static_cast<float>(p.c[ch]);
        const bool included = !dxt1 || (pixels[i] >> 24) >= 128;
        b.weight[i] = included ? 1.0f : 0.0f;
        b.anyLeftOut = b.anyLeftOut || !included;
    }
    return b;
}

// ---- alpha ----------------------------------------------------------------------------

// Explicit alpha: each pixel's nearest 4-bit value (the decoder multiplies by 17).
void ExplicitAlphaHigh(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    for (int r = 0; r < 4; ++r) {
        unsigned word = 0;
        for (int c = 0; c < 4; ++c) word |= (((pixels[4 * r + c] >> 24) + 8) / 17) << (4 * c);
        Put16(out + 2 * r, word);
    }
}

struct AlphaFit {
    unsigned a0 = 0, a1 = 0;
    std::uint64_t codes = 0;
    std::uint32_t error = kNoFit;
};

AlphaFit EvaluateAlpha(const unsigned alpha[16], unsigned a0, unsigned a1) {
    AlphaFit fit;
    fit.a0 = a0;
    fit.a1 = a1;
    int values[8] = {static_cast<int>(a0), static_cast<int>(a1)};
    if (a0 > a1) {
        for (unsigned i = 1; i <= 6; ++i) values[i + 1] = static_cast<int>(((7 - i) * a0 + i * a1) / 7);
    } else {
        for (unsigned i = 1; i <= 4; ++i) values[i + 1] = static_cast<int>(((5 - i) * a0 + i * a1) / 5);
        values[6] = 0;
        values[7] = 255;
    }
    std::uint32_t total = 0;
    for (int i = 15; i >= 0; --i) {
        int best = 0, bestError = 1 << 30;
        for (int k = 0; k < 8; ++k) {
            const int d = static_cast<int>(alpha[i]) - values[k];
            if (d * d < bestError) {
                bestError = d * d;
                best = k;
            }
        }
        total += static_cast<std::uint32_t>(bestError);
        fit.codes = (fit.codes << 3) | static_cast<unsigned>(best);
    }
    fit.error = total;
    return fit;
}

void KeepBetter(AlphaFit& best, const AlphaFit& candidate) {
    if (candidate.error < best.error) best = candidate;
}

// Least squares for the eight-value mode's ends over the fit's codes, then the neighbours
// of the rounded result.
void RefineAlpha(const unsigned alpha[16], AlphaFit& best) {
    static constexpr float kWeight[8] = {1.0f, 0.0f, 6 / 7.0f, 5 / 7.0f, 4 / 7.0f, 3 / 7.0f, 2 / 7.0f, 1 / 7.0f};
    for (int round = 0; round < 3 && best.a0 > best.a1; ++round) {
        float aa = 0, ab = 0, bb = 0, ap = 0, bp = 0;
        for (int i = 0; i < 16; ++i) {
            const float w = kWeight[(best.codes >> (3 * i)) & 7u], v = 1.0f - w;
            aa += w * w;
            ab += w * v;
            bb += v * v;
            ap += w * static_cast<float>(alpha[i]);
            bp += v * static_cast<float>(alpha[i]);
        }
        const float det = aa * bb - ab * ab;
        if (std::fabs(det) < 1e-6f) break;
        auto clamp = [](float x) { return static_cast<unsigned>(std::lround(std::min(std::max(x, 0.0f), 255.0f))); };
        const unsigned a0 = clamp((ap * bb - bp * ab) / det), a1 = clamp((bp * aa - ap * ab) / det);
        const AlphaFit next = EvaluateAlpha(alpha, std::max(a0, a1), std::min(a0, a1));
        if (next.error >= best.error) break;
        best = next;
    }
    const unsigned a0 = best.a0, a1 = best.a1;
    for (int d0 = -1; d0 <= 1; ++d0) {
        for (int d1 = -1; d1 <= 1; ++d1) {
            const int n0 = static_cast<int>(a0) + d0, n1 = static_cast<int>(a1) + d1;
            if ((d0 == 0 && d1 == 0) || n0 < 0 || n0 > 255 || n1 < 0 || n1 > 255) continue;
            KeepBetter(best, EvaluateAlpha(alpha, static_cast<unsigned>(n0), static_cast<unsigned>(n1)));
        }
    }
}

// Improves the interpolated alpha half at out (8 bytes, as the exact encoder wrote it).
void ImproveInterpolatedAlpha(const std::uint32_t pixels[16], std::uint8_t out[8]) {
    unsigned alpha[16];
    unsigned lo = 255, hi = 0, innerLo = 255, innerHi = 0;
    for (int i = 0; i < 16; ++i) {
        alpha[i] = pixels[i] >> 24;
        lo = std::min(lo, alpha[i]);
        hi = std::max(hi, alpha[i]);
        if (alpha[i] != 0 && alpha[i] != 255) {
            innerLo = std::min(innerLo, alpha[i]);
            innerHi = std::max(innerHi, alpha[i]);
        }
    }
    AlphaFit best = EvaluateAlpha(alpha, out[0], out[1]);
    if (best.error != 0) {
        AlphaFit eight = EvaluateAlpha(alpha, hi, lo);
        RefineAlpha(alpha, eight);
        KeepBetter(best, eight);
        if (innerLo <= innerHi) KeepBetter(best, EvaluateAlpha(alpha, innerLo, innerHi));
    }
    out[0] = static_cast<std::uint8_t>(best.a0);
    out[1] = static_cast<std::uint8_t>(best.a1);
    for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<std::uint8_t>(best.codes >> (8 * i));
}

}  // namespace

void EncodeDxtBlocksHigh(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    EncodeDxtBlocks(kind, pixels, count, out);
    const std::size_t blockBytes = kind == DxtBlockKind::Dxt1 ? 8 : 16;
    for (std::size_t j = 0; j < count; ++j) {
        const std::uint32_t* px = pixels + 16 * j;
        std::uint8_t* block = out + blockBytes * j;
        switch (kind) {
            case DxtBlockKind::Dxt1:
                ImproveColor(ColorsOf(px, true), block);
                break;
            case DxtBlockKind::ExplicitAlpha:
                ExplicitAlphaHigh(px, block);
                ImproveColor(ColorsOf(px, false), block + 8);
                break;
            case DxtBlockKind::InterpolatedAlpha:
                ImproveInterpolatedAlpha(px, block);
                ImproveColor(ColorsOf(px, false), block + 8);
                break;
        }
    }
}
