// The high-quality DXT encoder, over the processor's vector width with one block in each
// lane, written once and compiled for every Highway target of the build (SSSE3, SSE4, AVX2,
// AVX-512 and the portable fallback on x86; NEON on arm64; WASM SIMD), one chosen at run
// time.
//
// Each block starts from the ends the exact encoder would give it (ExactEnds of
// dxt_exact-inl.h, the exact encoder's own lane-by-lane fit). A fit's indices
// are chosen by exhaustive search (every pixel takes the palette entry nearest to it, the
// best assignment for given end points). The candidates: the exact encoder's own ends,
// re-indexed; the extremes of the principal axis of the plain red, green, blue (power
// iteration); end points by least squares over the better one's indices, rounded channel by
// channel to the levels that suit those indices best (RoundEnds), while the error falls; the
// single-colour table for flat blocks; for opaque DXT1 blocks the three-colour mode with the
// best ends and with its own least-squares ends. A candidate replaces the block only where its error is lower, so
// no block ends worse than the exact encoder's. The error is the plain sum of squared
// differences of red, green and blue (and alpha), decoded as DecodeDxt* decode.
//
// Every target gives the same blocks: the palette distances and least-squares sums are
// whole numbers below 2^24 (exact in float whatever the order or fusing of the operations),
// and the rest is the same correctly rounded operations in the same order in every lane (the
// library builds with -ffp-contract=off, and no fused multiply-add is asked for there).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/dxt_high.cpp"
// Every target this compiler can build, the portable fallback among them (the reference the
// others are tested against).
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
#include <cstdint>
#include <cstdlib>

#include "image/dxt.h"
#include "image/dxt_exact-inl.h"
#include "simd/targets.h"

#ifndef TOLVANE_IMAGE_DXT_HIGH_SHARED
#define TOLVANE_IMAGE_DXT_HIGH_SHARED
namespace dxt_high {

// For each 8-bit value, the pair of 5-bit ([0]) or 6-bit ([1]) ends whose first third (two
// parts of the first end, one of the second, as the decoder rounds it) comes closest to it.
struct SingleColorTables {
    std::int32_t end0[2][256], end1[2][256];
};
const SingleColorTables& SingleColor();

inline unsigned Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

inline void Put16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace dxt_high
#endif

HWY_BEFORE_NAMESPACE();
namespace dxt_high {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;
using MI = hn::Mask<DI>;

constexpr DF df;
constexpr DI di;
// Lanes of the widest vector of this target (sixteen floats with AVX-512).
constexpr std::size_t kMaxLanes = HWY_MAX_BYTES / 4;

// One group of blocks, channel by channel and pixel by pixel, one block per lane.
struct Group {
    // Written out so that it carries the target's attributes (GCC's implicit one does not on
    // arm64); the same in the structs below.
    Group() {}
    VF ch[3][16];  // red, green, blue, 0 to 255
    VF norm4[16];  // 4 x the squared length of the pixel's colour
    MF in[16];     // the pixel is in the fit (DXT1: alpha 128 or more)
    MF leftOut;    // some pixel of the lane's block is not: the three-colour mode
    VF count;      // pixels in the fit
    VF sum[3];     // their channels' sums
};

struct ColorFit {
    ColorFit() {}
    VI c0, c1;
    VI indices;  // 2 bits per pixel, pixel 0 lowest
    VF error4;   // 4 x the squared error
};

// 8-bit channels of R5G6B5 ends by bit replication.
void Expand(VI c, VF e[3]) {
    const VI r = hn::And(hn::ShiftRight<11>(c), hn::Set(di, 31));
    const VI g = hn::And(hn::ShiftRight<5>(c), hn::Set(di, 63));
    const VI b = hn::And(c, hn::Set(di, 31));
    e[0] = hn::ConvertTo(df, hn::Or(hn::ShiftLeft<3>(r), hn::ShiftRight<2>(r)));
    e[1] = hn::ConvertTo(df, hn::Or(hn::ShiftLeft<2>(g), hn::ShiftRight<4>(g)));
    e[2] = hn::ConvertTo(df, hn::Or(hn::ShiftLeft<3>(b), hn::ShiftRight<2>(b)));
}

// The nearest R5G6B5 to a colour (0 to 255 per channel, clamped).
VI Quantise(const VF v[3]) {
    auto level = [](VF x, float levels) {
        const VF clamped = hn::Min(hn::Max(x, hn::Zero(df)), hn::Set(df, 255.0f));
        return hn::ConvertTo(di, hn::Add(hn::Mul(clamped, hn::Set(df, levels / 255.0f)), hn::Set(df, 0.5f)));
    };
    return hn::Or(hn::Or(hn::ShiftLeft<11>(level(v[0], 31.0f)), hn::ShiftLeft<5>(level(v[1], 63.0f))),
                  level(v[2], 31.0f));
}

// The ends in the order of the lane's mode: larger first for four colours, smaller first
// for three.
void Order(VI x, VI y, MI three, VI* c0, VI* c1) {
    const VI hi = hn::Max(x, y), lo = hn::Min(x, y);
    *c0 = hn::IfThenElse(three, lo, hi);
    *c1 = hn::IfThenElse(three, hi, lo);
}

// The best indices for the ends and their error. A pixel's key for palette entry k is
// 4 x (squared distance) + k, so the smallest key names the nearest entry (the first of
// equally near ones) and its distance. The key is formed as (4 |e|^2 + k) - 8 p.e, with
// 4 |p|^2 added after the minimum. Pixels out of the fit take index 3 and count nothing.
template <bool kLeftOut>
ColorFit Evaluate(const Group& g, VI c0, VI c1) {
    ColorFit fit;
    fit.c0 = c0;
    fit.c1 = c1;
    VF e0[3], e1[3];
    Expand(c0, e0);
    Expand(c1, e1);
    const MF four = hn::RebindMask(df, hn::Gt(c0, c1));
    const VF one = hn::Set(df, 1.0f), third = hn::Set(df, 1.0f / 3.0f), half = hn::Set(df, 0.5f);
    VF pal[4][3];
    for (int ch = 0; ch < 3; ++ch) {
        pal[0][ch] = e0[ch];
        pal[1][ch] = e1[ch];
        // x / 3 rounded down: the float third lies just above 1/3 and x is at most 766.
        const VF two = hn::Floor(hn::Mul(hn::Add(hn::Add(e0[ch], e0[ch]), hn::Add(e1[ch], one)), third));
        const VF mid = hn::Floor(hn::Mul(hn::Add(e0[ch], e1[ch]), half));
        pal[2][ch] = hn::IfThenElse(four, two, mid);
        pal[3][ch] = hn::Floor(hn::Mul(hn::Add(hn::Add(e1[ch], e1[ch]), hn::Add(e0[ch], one)), third));
    }
    VF base[4], neg8[4][3];
    for (int k = 0; k < 4; ++k) {
        const VF len2 = hn::MulAdd(pal[k][0], pal[k][0], hn::MulAdd(pal[k][1], pal[k][1], hn::Mul(pal[k][2], pal[k][2])));
        base[k] = hn::MulAdd(len2, hn::Set(df, 4.0f), hn::Set(df, static_cast<float>(k)));
        for (int ch = 0; ch < 3; ++ch) neg8[k][ch] = hn::Mul(pal[k][ch], hn::Set(df, -8.0f));
    }
    // Index 3 of the three-colour mode is transparent black: never the nearest.
    base[3] = hn::IfThenElse(four, base[3], hn::Set(df, 1e9f));
    VF keys = hn::Zero(df);
    VI indexSum = hn::Zero(di), indices = hn::Zero(di);
    const VI three = hn::Set(di, 3);
    for (int i = 15; i >= 0; --i) {
        VF best = hn::Set(df, 3e9f);
        for (int k = 0; k < 4; ++k) {
            const VF key = hn::MulAdd(g.ch[0][i], neg8[k][0],
                                      hn::MulAdd(g.ch[1][i], neg8[k][1], hn::MulAdd(g.ch[2][i], neg8[k][2], base[k])));
            best = hn::Min(best, key);
        }
        best = hn::Add(best, g.norm4[i]);
        if constexpr (kLeftOut) best = hn::IfThenElseZero(g.in[i], best);
        keys = hn::Add(keys, best);
        VI index = hn::And(hn::ConvertTo(di, best), three);
        indexSum = hn::Add(indexSum, index);
        if constexpr (kLeftOut) index = hn::IfThenElse(hn::RebindMask(di, g.in[i]), index, three);
        indices = hn::Or(hn::ShiftLeft<2>(indices), index);
    }
    fit.indices = indices;
    fit.error4 = hn::Sub(keys, hn::ConvertTo(df, indexSum));
    return fit;
}

void KeepBetter(ColorFit& best, const ColorFit& candidate) {
    const MF better = hn::Lt(candidate.error4, best.error4);
    const MI betterI = hn::RebindMask(di, better);
    best.c0 = hn::IfThenElse(betterI, candidate.c0, best.c0);
    best.c1 = hn::IfThenElse(betterI, candidate.c1, best.c1);
    best.indices = hn::IfThenElse(betterI, candidate.indices, best.indices);
    best.error4 = hn::IfThenElse(better, candidate.error4, best.error4);
}

// The fit's index classes: pixels (in the fit) and channel sums per index.
struct Classes {
    Classes() {}
    VF n[4];
    VF sum[4][3];
};

template <bool kLeftOut>
Classes ClassesOf(const Group& g, const ColorFit& fit) {
    Classes k;
    const VF zero = hn::Zero(df), one = hn::Set(df, 1.0f);
    for (int c = 0; c < 3; ++c) {
        k.n[c] = zero;
        for (int x = 0; x < 3; ++x) k.sum[c][x] = zero;
    }
    for (int i = 0; i < 16; ++i) {
        const VI index = hn::And(hn::ShiftRightSame(fit.indices, 2 * i), hn::Set(di, 3));
        for (int c = 0; c < 3; ++c) {
            MF in = hn::RebindMask(df, hn::Eq(index, hn::Set(di, c)));
            if constexpr (kLeftOut) in = hn::And(in, g.in[i]);
            k.n[c] = hn::Add(k.n[c], hn::IfThenElseZero(in, one));
            for (int x = 0; x < 3; ++x) k.sum[c][x] = hn::Add(k.sum[c][x], hn::IfThenElseZero(in, g.ch[x][i]));
        }
    }
    k.n[3] = hn::Sub(hn::Sub(hn::Sub(g.count, k.n[0]), k.n[1]), k.n[2]);
    for (int x = 0; x < 3; ++x)
        k.sum[3][x] = hn::Sub(hn::Sub(hn::Sub(g.sum[x], k.sum[0][x]), k.sum[1][x]), k.sum[2][x]);
    return k;
}

// Least-squares ends for the fit's indices, in whole numbers: with weights w of the first
// end in s parts (s = 3: 3, 0, 2, 1 for indices 0 to 3; three colours, s = 2: 2, 0, 1) and
// v = s - w of the second, e0 = s (P C - Q B) / det and e1 = s (Q A - P B) / det, where
// A = sum w^2, B = sum w v, C = sum v^2, P = sum w p, Q = sum v p, det = A C - B^2, all
// from the index classes. Lanes whose indices use one weight only (det = 0) keep their ends.
void LeastSquares(const Group& g, const ColorFit& fit, const Classes& k, VI* c0, VI* c1) {
    const MF four = hn::RebindMask(df, hn::Gt(fit.c0, fit.c1));
    const VF s = hn::IfThenElse(four, hn::Set(df, 3.0f), hn::Set(df, 2.0f));
    const VF w2 = hn::IfThenElse(four, hn::Set(df, 2.0f), hn::Set(df, 1.0f));
    const VF w3 = hn::IfThenElseZero(four, hn::Set(df, 1.0f));
    // sum w and sum w^2 over the classes (weights s, 0, w2, w3).
    const VF wSum = hn::MulAdd(k.n[0], s, hn::MulAdd(k.n[2], w2, hn::Mul(k.n[3], w3)));
    const VF a = hn::MulAdd(hn::Mul(k.n[0], s), s, hn::MulAdd(hn::Mul(k.n[2], w2), w2, hn::Mul(hn::Mul(k.n[3], w3), w3)));
    const VF b = hn::Sub(hn::Mul(s, wSum), a);
    const VF c = hn::Add(hn::Sub(hn::Mul(hn::Mul(g.count, s), s), hn::Mul(hn::Add(s, s), wSum)), a);
    const VF det = hn::Sub(hn::Mul(a, c), hn::Mul(b, b));
    const MF ok = hn::Gt(det, hn::Zero(df));
    const VF divisor = hn::IfThenElse(ok, det, hn::Set(df, 1.0f));
    VF e0[3], e1[3];
    for (int ch = 0; ch < 3; ++ch) {
        const VF p = hn::MulAdd(k.sum[0][ch], s, hn::MulAdd(k.sum[2][ch], w2, hn::Mul(k.sum[3][ch], w3)));
        const VF q = hn::Sub(hn::Mul(s, g.sum[ch]), p);
        e0[ch] = hn::Div(hn::Mul(s, hn::Sub(hn::Mul(p, c), hn::Mul(q, b))), divisor);
        e1[ch] = hn::Div(hn::Mul(s, hn::Sub(hn::Mul(q, a), hn::Mul(p, b))), divisor);
    }
    const MI okI = hn::RebindMask(di, ok);
    *c0 = hn::IfThenElse(okI, Quantise(e0), fit.c0);
    *c1 = hn::IfThenElse(okI, Quantise(e1), fit.c1);
}

// Rounds the ends x0 and x1 (the first and second end of the fit's indices and mode)
// channel by channel to the levels within one step that give the least error over the fit's
// indices. With the indices fixed, each channel's error is its own: the sum over the index
// classes k of n_k v_k^2 - 2 v_k S_k (plus the pixels' own squares), v_k the decoded value,
// n_k the class's pixels and S_k the sum of their channel.
void RoundEnds(const ColorFit& fit, const Classes& k, VI* x0, VI* x1) {
    const MF four = hn::RebindMask(df, hn::Gt(fit.c0, fit.c1));
    const VF one = hn::Set(df, 1.0f);
    static constexpr int kShift[3] = {11, 5, 0}, kTop[3] = {31, 63, 31};
    const VF third = hn::Set(df, 1.0f / 3.0f), half = hn::Set(df, 0.5f);
    VI out0 = hn::Zero(di), out1 = hn::Zero(di);
    for (int c = 0; c < 3; ++c) {
        const VI top = hn::Set(di, kTop[c]);
        const VI q0 = hn::And(hn::ShiftRightSame(*x0, kShift[c]), top);
        const VI q1 = hn::And(hn::ShiftRightSame(*x1, kShift[c]), top);
        VI level0[3], level1[3];
        VF end0[3], end1[3];
        for (int j = 0; j < 3; ++j) {
            // Offsets 0, -1, +1: the unmoved pair comes first and keeps ties.
            const VI step = hn::Set(di, j == 0 ? 0 : j == 1 ? -1 : 1);
            level0[j] = hn::Min(hn::Max(hn::Add(q0, step), hn::Zero(di)), top);
            level1[j] = hn::Min(hn::Max(hn::Add(q1, step), hn::Zero(di)), top);
            auto expand = [&](VI v) {
                return hn::ConvertTo(df, c == 1 ? hn::Or(hn::ShiftLeft<2>(v), hn::ShiftRight<4>(v))
                                                : hn::Or(hn::ShiftLeft<3>(v), hn::ShiftRight<2>(v)));
            };
            end0[j] = expand(level0[j]);
            end1[j] = expand(level1[j]);
        }
        VF twice[4];
        for (int x = 0; x < 4; ++x) twice[x] = hn::Add(k.sum[x][c], k.sum[x][c]);
        VF bestError = hn::Set(df, 1e30f);
        VI best0 = q0, best1 = q1;
        for (int j0 = 0; j0 < 3; ++j0) {
            for (int j1 = 0; j1 < 3; ++j1) {
                const VF e0 = end0[j0], e1 = end1[j1];
                const VF v2 = hn::IfThenElse(four, hn::Floor(hn::Mul(hn::Add(hn::Add(e0, e0), hn::Add(e1, one)), third)),
                                             hn::Floor(hn::Mul(hn::Add(e0, e1), half)));
                const VF v3 = hn::Floor(hn::Mul(hn::Add(hn::Add(e1, e1), hn::Add(e0, one)), third));
                VF error = hn::Mul(hn::MulSub(k.n[0], e0, twice[0]), e0);
                error = hn::MulAdd(hn::MulSub(k.n[1], e1, twice[1]), e1, error);
                error = hn::MulAdd(hn::MulSub(k.n[2], v2, twice[2]), v2, error);
                error = hn::MulAdd(hn::MulSub(k.n[3], v3, twice[3]), v3, error);
                const MF better = hn::Lt(error, bestError);
                const MI betterI = hn::RebindMask(di, better);
                bestError = hn::IfThenElse(better, error, bestError);
                best0 = hn::IfThenElse(betterI, level0[j0], best0);
                best1 = hn::IfThenElse(betterI, level1[j1], best1);
            }
        }
        out0 = hn::Or(out0, hn::ShiftLeftSame(best0, kShift[c]));
        out1 = hn::Or(out1, hn::ShiftLeftSame(best1, kShift[c]));
    }
    *x0 = out0;
    *x1 = out1;
}

// The better ends for the fit's indices: least squares, then rounded to suit the indices.
template <bool kLeftOut>
void RefinedEnds(const Group& g, const ColorFit& fit, VI* c0, VI* c1) {
    const Classes k = ClassesOf<kLeftOut>(g, fit);
    LeastSquares(g, fit, k, c0, c1);
    RoundEnds(fit, k, c0, c1);
}

// The ends of the principal axis (power iteration on the covariance of the plain red,
// green, blue, from its row of largest diagonal): the extreme projections of the pixels in
// the fit. Flat lanes (no spread) are marked in *flat.
template <bool kLeftOut>
void PrincipalEnds(const Group& g, VI* e0, VI* e1, MF* flat) {
    // n x covariance in whole numbers: n sum(x y) - sum(x) sum(y), each term below 2^24.
    VF m[6];  // rr rg rb gg gb bb
    static constexpr int kRow[6] = {0, 0, 0, 1, 1, 2}, kColumn[6] = {0, 1, 2, 1, 2, 2};
    for (int e = 0; e < 6; ++e) {
        VF sum = hn::Zero(df);
        for (int i = 0; i < 16; ++i) {
            VF x = g.ch[kRow[e]][i];
            if constexpr (kLeftOut) x = hn::IfThenElseZero(g.in[i], x);
            sum = hn::MulAdd(x, g.ch[kColumn[e]][i], sum);
        }
        m[e] = hn::Sub(hn::Mul(g.count, sum), hn::Mul(g.sum[kRow[e]], g.sum[kColumn[e]]));
    }
    *flat = hn::And(hn::Eq(hn::Add(hn::Add(m[0], m[3]), m[5]), hn::Zero(df)), hn::Gt(g.count, hn::Zero(df)));
    // Start from the row of the largest diagonal entry.
    const MF gRow = hn::And(hn::Gt(m[3], m[0]), hn::Ge(m[3], m[5]));
    const MF bRow = hn::And(hn::Gt(m[5], m[0]), hn::Gt(m[5], m[3]));
    VF ax = hn::IfThenElse(bRow, m[2], hn::IfThenElse(gRow, m[1], m[0]));
    VF ay = hn::IfThenElse(bRow, m[4], hn::IfThenElse(gRow, m[3], m[1]));
    VF az = hn::IfThenElse(bRow, m[5], hn::IfThenElse(gRow, m[4], m[2]));
    for (int it = 0; it < 4; ++it) {
        const VF big = hn::Max(hn::Abs(ax), hn::Max(hn::Abs(ay), hn::Abs(az)));
        const VF inv = hn::Div(hn::Set(df, 1.0f), hn::IfThenElse(hn::Gt(big, hn::Zero(df)), big, hn::Set(df, 1.0f)));
        ax = hn::Mul(ax, inv);
        ay = hn::Mul(ay, inv);
        az = hn::Mul(az, inv);
        const VF x = hn::Add(hn::Add(hn::Mul(m[0], ax), hn::Mul(m[1], ay)), hn::Mul(m[2], az));
        const VF y = hn::Add(hn::Add(hn::Mul(m[1], ax), hn::Mul(m[3], ay)), hn::Mul(m[4], az));
        const VF z = hn::Add(hn::Add(hn::Mul(m[2], ax), hn::Mul(m[4], ay)), hn::Mul(m[5], az));
        ax = x;
        ay = y;
        az = z;
    }
    const VF big = hn::Max(hn::Abs(ax), hn::Max(hn::Abs(ay), hn::Abs(az)));
    const VF inv = hn::Div(hn::Set(df, 1.0f), hn::IfThenElse(hn::Gt(big, hn::Zero(df)), big, hn::Set(df, 1.0f)));
    ax = hn::Mul(ax, inv);
    ay = hn::Mul(ay, inv);
    az = hn::Mul(az, inv);
    VF lo = hn::Set(df, 1e30f), hi = hn::Set(df, -1e30f);
    for (int i = 0; i < 16; ++i) {
        const VF t = hn::Add(hn::Add(hn::Mul(g.ch[0][i], ax), hn::Mul(g.ch[1][i], ay)), hn::Mul(g.ch[2][i], az));
        if constexpr (kLeftOut) {
            lo = hn::Min(lo, hn::IfThenElse(g.in[i], t, hn::Set(df, 1e30f)));
            hi = hn::Max(hi, hn::IfThenElse(g.in[i], t, hn::Set(df, -1e30f)));
        } else {
            lo = hn::Min(lo, t);
            hi = hn::Max(hi, t);
        }
    }
    const VF n = hn::Max(g.count, hn::Set(df, 1.0f));
    VF mean[3];
    for (int ch = 0; ch < 3; ++ch) mean[ch] = hn::Div(g.sum[ch], n);
    const VF tm = hn::Add(hn::Add(hn::Mul(mean[0], ax), hn::Mul(mean[1], ay)), hn::Mul(mean[2], az));
    VF len2 = hn::Add(hn::Add(hn::Mul(ax, ax), hn::Mul(ay, ay)), hn::Mul(az, az));
    len2 = hn::IfThenElse(hn::Gt(len2, hn::Zero(df)), len2, hn::Set(df, 1.0f));
    const VF th = hn::Div(hn::Sub(hn::Max(hi, tm), tm), len2), tl = hn::Div(hn::Sub(hn::Min(lo, tm), tm), len2);
    const VF axis[3] = {ax, ay, az};
    VF high[3], low[3];
    for (int ch = 0; ch < 3; ++ch) {
        high[ch] = hn::Add(mean[ch], hn::Mul(axis[ch], th));
        low[ch] = hn::Add(mean[ch], hn::Mul(axis[ch], tl));
    }
    *e0 = Quantise(high);
    *e1 = Quantise(low);
}

// The single-colour ends of flat lanes (the colour is each channel's sum / count).
void SingleColorEnds(const Group& g, VI* e0, VI* e1) {
    const SingleColorTables& t = SingleColor();
    const VF n = hn::Max(g.count, hn::Set(df, 1.0f));
    VI v[3];
    for (int ch = 0; ch < 3; ++ch) {
        v[ch] = hn::Min(hn::Max(hn::ConvertTo(di, hn::Add(hn::Div(g.sum[ch], n), hn::Set(df, 0.5f))), hn::Zero(di)),
                        hn::Set(di, 255));
    }
    auto ends = [&](const std::int32_t (*table)[256]) {
        return hn::Or(hn::Or(hn::ShiftLeft<11>(hn::GatherIndex(di, table[0], v[0])),
                             hn::ShiftLeft<5>(hn::GatherIndex(di, table[1], v[1]))),
                      hn::GatherIndex(di, table[0], v[2]));
    };
    *e0 = ends(t.end0);
    *e1 = ends(t.end1);
}

// ---- the exact encoder's ends ------------------------------------------------------------

// The ends the exact encoder gives each block. The best indices for these ends are at least
// as good as the exact encoder's binned ones, so its error is the ceiling for the block.
template <bool kLeftOut>
void ExactEnds(const VI px[16], VI* c0, VI* c1) {
    dxt_exact::HWY_NAMESPACE::ExactFit exact;
    dxt_exact::HWY_NAMESPACE::ExactEnds<kLeftOut>(px, exact);
    *c0 = exact.c0;
    *c1 = exact.c1;
}

constexpr int kRefineRounds = 2;

// Improves the colour blocks of a group (ends at the lanes' colour halves, as the exact
// encoder wrote them). dxt1: the three-colour mode decodes as such, so opaque blocks try it.
template <bool kLeftOut>
ColorFit ImproveColors(const Group& g, VI exact0, VI exact1, bool dxt1) {
    ColorFit best = Evaluate<kLeftOut>(g, exact0, exact1);
    if (hn::AllTrue(df, hn::Eq(best.error4, hn::Zero(df)))) return best;
    const MI three = hn::RebindMask(di, g.leftOut);
    VI p0, p1, c0, c1;
    MF flat;
    PrincipalEnds<kLeftOut>(g, &p0, &p1, &flat);
    Order(p0, p1, three, &c0, &c1);
    KeepBetter(best, Evaluate<kLeftOut>(g, c0, c1));
    // Refined from the better start only: a chain from each start adds about 0.1 dB on the
    // benchmark photograph for a fifth more time, too much for 8-lane vectors.
    for (int round = 0; round < kRefineRounds; ++round) {
        RefinedEnds<kLeftOut>(g, best, &p0, &p1);
        Order(p0, p1, three, &c0, &c1);
        const ColorFit next = Evaluate<kLeftOut>(g, c0, c1);
        const MF better = hn::Lt(next.error4, best.error4);
        if (hn::AllFalse(df, better)) break;
        KeepBetter(best, next);
    }
    const MF flatFour = hn::AndNot(g.leftOut, flat);
    if (!hn::AllFalse(df, flatFour)) {
        SingleColorEnds(g, &p0, &p1);
        Order(p0, p1, three, &c0, &c1);
        ColorFit single = Evaluate<kLeftOut>(g, c0, c1);
        single.error4 = hn::IfThenElse(flatFour, single.error4, hn::Set(df, 1e30f));
        KeepBetter(best, single);
    }
    if (dxt1) {
        // The three-colour mode for opaque blocks, with the best ends.
        ColorFit swapped = Evaluate<kLeftOut>(g, hn::Min(best.c0, best.c1), hn::Max(best.c0, best.c1));
        RefinedEnds<kLeftOut>(g, swapped, &p0, &p1);
        const ColorFit refined = Evaluate<kLeftOut>(g, hn::Min(p0, p1), hn::Max(p0, p1));
        KeepBetter(best, swapped);
        KeepBetter(best, refined);
    }
    return best;
}

// ---- interpolated alpha ------------------------------------------------------------------

struct AlphaFit {
    AlphaFit() {}
    VI a0, a1;
    VI low, high;  // the 3-bit codes of pixels 0 to 7 and 8 to 15, 24 bits each
    VF error8;     // 8 x the squared error
};

// As Evaluate for colours: key 8 d^2 + code, formed as (8 v^2 + code) - 16 a v + 8 a^2.
AlphaFit EvaluateAlpha(const VF alpha[16], const VF alpha8[16], VI a0, VI a1) {
    AlphaFit fit;
    fit.a0 = a0;
    fit.a1 = a1;
    const MF eight = hn::RebindMask(df, hn::Gt(a0, a1));
    const VF f0 = hn::ConvertTo(df, a0), f1 = hn::ConvertTo(df, a1);
    VF values[8];
    values[0] = f0;
    values[1] = f1;
    // x / 7 and x / 5 rounded down: the float 1/7 and 1/5 lie just above, x is at most 1785.
    for (int i = 1; i <= 6; ++i) {
        const VF x7 = hn::Add(hn::Mul(f0, hn::Set(df, static_cast<float>(7 - i))), hn::Mul(f1, hn::Set(df, static_cast<float>(i))));
        const VF v7 = hn::Floor(hn::Mul(x7, hn::Set(df, 1.0f / 7.0f)));
        VF v5;
        if (i <= 4) {
            const VF x5 = hn::Add(hn::Mul(f0, hn::Set(df, static_cast<float>(5 - i))), hn::Mul(f1, hn::Set(df, static_cast<float>(i))));
            v5 = hn::Floor(hn::Mul(x5, hn::Set(df, 1.0f / 5.0f)));
        } else {
            v5 = hn::Set(df, i == 5 ? 0.0f : 255.0f);
        }
        values[i + 1] = hn::IfThenElse(eight, v7, v5);
    }
    VF base[8], neg16[8];
    for (int k = 0; k < 8; ++k) {
        base[k] = hn::MulAdd(hn::Mul(values[k], values[k]), hn::Set(df, 8.0f), hn::Set(df, static_cast<float>(k)));
        neg16[k] = hn::Mul(values[k], hn::Set(df, -16.0f));
    }
    VF keys = hn::Zero(df);
    VI codeSum = hn::Zero(di), low = hn::Zero(di), high = hn::Zero(di);
    const VI seven = hn::Set(di, 7);
    for (int i = 15; i >= 0; --i) {
        VF best = hn::MulAdd(alpha[i], neg16[0], base[0]);
        for (int k = 1; k < 8; ++k) best = hn::Min(best, hn::MulAdd(alpha[i], neg16[k], base[k]));
        best = hn::Add(best, alpha8[i]);
        keys = hn::Add(keys, best);
        const VI code = hn::And(hn::ConvertTo(di, best), seven);
        codeSum = hn::Add(codeSum, code);
        if (i >= 8) {
            high = hn::Or(hn::ShiftLeft<3>(high), code);
        } else {
            low = hn::Or(hn::ShiftLeft<3>(low), code);
        }
    }
    fit.low = low;
    fit.high = high;
    fit.error8 = hn::Sub(keys, hn::ConvertTo(df, codeSum));
    return fit;
}

MF KeepBetter(AlphaFit& best, const AlphaFit& candidate) {
    const MF better = hn::Lt(candidate.error8, best.error8);
    const MI betterI = hn::RebindMask(di, better);
    best.a0 = hn::IfThenElse(betterI, candidate.a0, best.a0);
    best.a1 = hn::IfThenElse(betterI, candidate.a1, best.a1);
    best.low = hn::IfThenElse(betterI, candidate.low, best.low);
    best.high = hn::IfThenElse(betterI, candidate.high, best.high);
    best.error8 = hn::IfThenElse(better, candidate.error8, best.error8);
    return better;
}

// Least squares for the eight-value mode's ends over the fit's codes (weights of the first
// end in sevenths: 7, 0, 6, 5, 4, 3, 2, 1 for codes 0 to 7), as LeastSquares does for colours.
void AlphaLeastSquares(const VF alpha[16], const VF& alphaSum, const AlphaFit& fit, VI* a0, VI* a1) {
    VF wSum = hn::Zero(df), a = hn::Zero(df), p = hn::Zero(df);
    for (int i = 0; i < 16; ++i) {
        const VI code = hn::And(hn::ShiftRightSame(i < 8 ? fit.low : fit.high, 3 * (i & 7)), hn::Set(di, 7));
        VI wi = hn::Sub(hn::Set(di, 8), code);
        wi = hn::IfThenElse(hn::Eq(code, hn::Zero(di)), hn::Set(di, 7), wi);
        wi = hn::IfThenElse(hn::Eq(code, hn::Set(di, 1)), hn::Zero(di), wi);
        const VF w = hn::ConvertTo(df, wi);
        wSum = hn::Add(wSum, w);
        a = hn::MulAdd(w, w, a);
        p = hn::MulAdd(w, alpha[i], p);
    }
    const VF s = hn::Set(df, 7.0f);
    const VF b = hn::Sub(hn::Mul(s, wSum), a);
    const VF c = hn::Add(hn::Sub(hn::Set(df, 16.0f * 49.0f), hn::Mul(hn::Set(df, 14.0f), wSum)), a);
    const VF q = hn::Sub(hn::Mul(s, alphaSum), p);
    const VF det = hn::Sub(hn::Mul(a, c), hn::Mul(b, b));
    const MF okEight = hn::And(hn::Gt(det, hn::Zero(df)), hn::RebindMask(df, hn::Gt(fit.a0, fit.a1)));
    const VF divisor = hn::IfThenElse(okEight, det, hn::Set(df, 1.0f));
    auto round = [](VF x) {
        const VF clamped = hn::Min(hn::Max(x, hn::Zero(df)), hn::Set(df, 255.0f));
        return hn::ConvertTo(di, hn::Add(clamped, hn::Set(df, 0.5f)));
    };
    const VI x = round(hn::Div(hn::Mul(s, hn::Sub(hn::Mul(p, c), hn::Mul(q, b))), divisor));
    const VI y = round(hn::Div(hn::Mul(s, hn::Sub(hn::Mul(q, a), hn::Mul(p, b))), divisor));
    const MI okI = hn::RebindMask(di, okEight);
    *a0 = hn::IfThenElse(okI, hn::Max(x, y), fit.a0);
    *a1 = hn::IfThenElse(okI, hn::Min(x, y), fit.a1);
}

// The exact encoder's alpha ends: the maximum and minimum, or, when the block holds both 0
// and 255 and two other values at least, the smallest and largest of those between.
void ExactAlphaEnds(const VF alpha[16], VI* a0, VI* a1) {
    VF lo = hn::Set(df, 255.0f), hi = hn::Zero(df), low = hn::Set(df, 256.0f), high = hn::Set(df, -1.0f);
    for (int i = 0; i < 16; ++i) {
        lo = hn::Min(lo, alpha[i]);
        hi = hn::Max(hi, alpha[i]);
        low = hn::IfThenElse(hn::Ne(alpha[i], hn::Zero(df)), hn::Min(low, alpha[i]), low);
        high = hn::IfThenElse(hn::Ne(alpha[i], hn::Set(df, 255.0f)), hn::Max(high, alpha[i]), high);
    }
    const MF six = hn::And(hn::And(hn::Eq(lo, hn::Zero(df)), hn::Eq(hi, hn::Set(df, 255.0f))), hn::Lt(low, high));
    *a0 = hn::ConvertTo(di, hn::IfThenElse(six, low, hi));
    *a1 = hn::ConvertTo(di, hn::IfThenElse(six, high, lo));
}

AlphaFit ImproveAlpha(const VF alpha[16], VI exact0, VI exact1) {
    VF alpha8[16];
    VF sum = hn::Zero(df), lo = hn::Set(df, 255.0f), hi = hn::Zero(df);
    VF innerLo = hn::Set(df, 255.0f), innerHi = hn::Zero(df);
    for (int i = 0; i < 16; ++i) {
        alpha8[i] = hn::Mul(hn::Mul(alpha[i], alpha[i]), hn::Set(df, 8.0f));
        sum = hn::Add(sum, alpha[i]);
        lo = hn::Min(lo, alpha[i]);
        hi = hn::Max(hi, alpha[i]);
        const MF inner = hn::And(hn::Gt(alpha[i], hn::Zero(df)), hn::Lt(alpha[i], hn::Set(df, 255.0f)));
        innerLo = hn::Min(innerLo, hn::IfThenElse(inner, alpha[i], hn::Set(df, 255.0f)));
        innerHi = hn::Max(innerHi, hn::IfThenElseZero(inner, alpha[i]));
    }
    AlphaFit best = EvaluateAlpha(alpha, alpha8, exact0, exact1);
    if (hn::AllTrue(df, hn::Eq(best.error8, hn::Zero(df)))) return best;
    AlphaFit chain = EvaluateAlpha(alpha, alpha8, hn::ConvertTo(di, hi), hn::ConvertTo(di, lo));
    for (int round = 0; round < 2; ++round) {
        VI a0, a1;
        AlphaLeastSquares(alpha, sum, chain, &a0, &a1);
        if (hn::AllFalse(df, KeepBetter(chain, EvaluateAlpha(alpha, alpha8, a0, a1)))) break;
    }
    KeepBetter(best, chain);
    KeepBetter(best, EvaluateAlpha(alpha, alpha8, hn::ConvertTo(di, innerLo), hn::ConvertTo(di, innerHi)));
    return best;
}

// ---- groups -------------------------------------------------------------------------------

template <bool kLeftOut>
void LoadGroup(const VI px[16], Group& g) {
    const VI bytes = hn::Set(di, 0xFF);
    g.leftOut = hn::FirstN(df, 0);
    g.count = hn::Zero(df);
    for (int ch = 0; ch < 3; ++ch) g.sum[ch] = hn::Zero(df);
    for (int i = 0; i < 16; ++i) {
        g.ch[0][i] = hn::ConvertTo(df, hn::And(hn::ShiftRight<16>(px[i]), bytes));
        g.ch[1][i] = hn::ConvertTo(df, hn::And(hn::ShiftRight<8>(px[i]), bytes));
        g.ch[2][i] = hn::ConvertTo(df, hn::And(px[i], bytes));
        const VF len2 = hn::MulAdd(g.ch[0][i], g.ch[0][i], hn::MulAdd(g.ch[1][i], g.ch[1][i], hn::Mul(g.ch[2][i], g.ch[2][i])));
        g.norm4[i] = hn::Mul(len2, hn::Set(df, 4.0f));
        if constexpr (kLeftOut) {
            // Alpha of 128 or more: the sign bit of the pixel.
            g.in[i] = hn::RebindMask(df, hn::Lt(px[i], hn::Zero(di)));
            g.leftOut = hn::Or(g.leftOut, hn::Not(g.in[i]));
            g.count = hn::Add(g.count, hn::IfThenElseZero(g.in[i], hn::Set(df, 1.0f)));
            for (int ch = 0; ch < 3; ++ch) g.sum[ch] = hn::Add(g.sum[ch], hn::IfThenElseZero(g.in[i], g.ch[ch][i]));
        } else {
            g.in[i] = hn::FirstN(df, hn::Lanes(df));
            for (int ch = 0; ch < 3; ++ch) g.sum[ch] = hn::Add(g.sum[ch], g.ch[ch][i]);
        }
    }
    if constexpr (!kLeftOut) g.count = hn::Set(df, 16.0f);
}

void EncodeGroup(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t n, std::uint8_t* out) {
    const std::size_t blockBytes = kind == DxtBlockKind::Dxt1 ? 8 : 16;
    const std::size_t colorAt = kind == DxtBlockKind::Dxt1 ? 0 : 8;
    // Lanes past the last block repeat it.
    alignas(HWY_MAX_BYTES) std::int32_t offsets[kMaxLanes];
    const std::size_t lanes = hn::Lanes(df);
    for (std::size_t j = 0; j < lanes; ++j) offsets[j] = static_cast<std::int32_t>(16 * std::min(j, n - 1));
    const VI offset = hn::Load(di, offsets);
    const std::int32_t* base = reinterpret_cast<const std::int32_t*>(pixels);
    VI px[16];
    VI alphaSigns = hn::Zero(di);
    for (int i = 0; i < 16; ++i) {
        px[i] = hn::GatherIndex(di, base + i, offset);
        alphaSigns = hn::Or(alphaSigns, hn::Not(px[i]));
    }
    Group g;
    ColorFit fit;
    VI x0, x1;
    if (kind == DxtBlockKind::Dxt1 && !hn::AllFalse(di, hn::Lt(alphaSigns, hn::Zero(di)))) {
        LoadGroup<true>(px, g);
        ExactEnds<true>(px, &x0, &x1);
        fit = ImproveColors<true>(g, x0, x1, true);
    } else {
        LoadGroup<false>(px, g);
        ExactEnds<false>(px, &x0, &x1);
        fit = ImproveColors<false>(g, x0, x1, kind == DxtBlockKind::Dxt1);
    }
    alignas(HWY_MAX_BYTES) std::int32_t c0[kMaxLanes] = {}, c1[kMaxLanes] = {}, indices[kMaxLanes] = {};
    hn::Store(fit.c0, di, c0);
    hn::Store(fit.c1, di, c1);
    hn::Store(fit.indices, di, indices);
    for (std::size_t j = 0; j < n; ++j) {
        std::uint8_t* block = out + blockBytes * j + colorAt;
        Put16(block, static_cast<unsigned>(c0[j]));
        Put16(block + 2, static_cast<unsigned>(c1[j]));
        const auto bits = static_cast<std::uint32_t>(indices[j]);
        Put16(block + 4, bits & 0xFFFFu);
        Put16(block + 6, bits >> 16);
    }
    if (kind == DxtBlockKind::InterpolatedAlpha) {
        VF alpha[16];
        const hn::RebindToUnsigned<DF> du;
        for (int i = 0; i < 16; ++i) alpha[i] = hn::ConvertTo(df, hn::BitCast(di, hn::ShiftRight<24>(hn::BitCast(du, px[i]))));
        VI a0, a1;
        ExactAlphaEnds(alpha, &a0, &a1);
        const AlphaFit a = ImproveAlpha(alpha, a0, a1);
        alignas(HWY_MAX_BYTES) std::int32_t low[kMaxLanes] = {}, high[kMaxLanes] = {};
        hn::Store(a.a0, di, c0);
        hn::Store(a.a1, di, c1);
        hn::Store(a.low, di, low);
        hn::Store(a.high, di, high);
        for (std::size_t j = 0; j < n; ++j) {
            std::uint8_t* block = out + blockBytes * j;
            block[0] = static_cast<std::uint8_t>(c0[j]);
            block[1] = static_cast<std::uint8_t>(c1[j]);
            for (int k = 0; k < 3; ++k) {
                block[2 + k] = static_cast<std::uint8_t>(low[j] >> (8 * k));
                block[5 + k] = static_cast<std::uint8_t>(high[j] >> (8 * k));
            }
        }
    } else if (kind == DxtBlockKind::ExplicitAlpha) {
        // Each pixel's nearest 4-bit value (the decoder multiplies by 17).
        for (std::size_t j = 0; j < n; ++j) {
            for (int r = 0; r < 4; ++r) {
                unsigned word = 0;
                for (int c = 0; c < 4; ++c) word |= (((pixels[16 * j + 4 * r + c] >> 24) + 8) / 17) << (4 * c);
                Put16(out + blockBytes * j + 2 * r, word);
            }
        }
    }
}

}  // namespace

void EncodeBlocks(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    const std::size_t lanes = hn::Lanes(df);
    const std::size_t blockBytes = kind == DxtBlockKind::Dxt1 ? 8 : 16;
    for (std::size_t first = 0; first < count; first += lanes) {
        // The gathers take one pixel of each block at a time: fetch the group after this one.
        for (std::size_t j = 0; j < lanes && first + lanes + j < count; ++j) hwy::Prefetch(pixels + 16 * (first + lanes + j));
        EncodeGroup(kind, pixels + 16 * first, std::min(lanes, count - first), out + blockBytes * first);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace dxt_high
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace dxt_high {

const SingleColorTables& SingleColor() {
    static const SingleColorTables tables = [] {
        SingleColorTables t{};
        for (int six = 0; six < 2; ++six) {
            const int levels = six ? 63 : 31;
            auto expand = [six](int v) { return six ? v * 4 + v / 16 : v * 8 + v / 4; };
            for (int value = 0; value < 256; ++value) {
                int best = 1 << 30;
                for (int a = 0; a <= levels; ++a) {
                    for (int c = 0; c <= levels; ++c) {
                        const int third = (2 * expand(a) + expand(c) + 1) / 3;
                        const int error = std::abs(third - value) * 1024 + std::abs(expand(a) - expand(c));
                        if (error < best) {
                            best = error;
                            t.end0[six][value] = a;
                            t.end1[six][value] = c;
                        }
                    }
                }
            }
        }
        return t;
    }();
    return tables;
}

HWY_EXPORT(EncodeBlocks);

}  // namespace dxt_high

std::int64_t DxtHighCompiledTargets() { return HWY_TARGETS; }

void EncodeDxtBlocksHigh(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out,
                         std::int64_t vectorTargets) {
    if (count == 0) return;
    const std::size_t index = tolvane::simd::DispatchIndex(vectorTargets, HWY_TARGETS);
    HWY_DISPATCH_TABLE(dxt_high::EncodeBlocks)[index](kind, pixels, count, out);
}

void EncodeDxtBlocksHigh(DxtBlockKind kind, const std::uint32_t* pixels, std::size_t count, std::uint8_t* out) {
    EncodeDxtBlocksHigh(kind, pixels, count, out, tolvane::simd::EnvironmentTargets());
}
#endif  // HWY_ONCE
