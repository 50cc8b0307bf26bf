// The exact DXT colour fit (dxt.cpp's EncodeColor) over the processor's vector width, one
// block in each lane: the same float operations in the same order as the single-block
// encoder (weighted space, mean and covariance summed in pixel order, nine rounds of
// squaring, the axis row, the extent, the clip to the box, the truncating quantisation,
// the bins), and its single-colour and empty blocks. Each lane's ends and indices are those
// bits exactly; the library builds with -ffp-contract=off and nothing here fuses.
//
// Included once per Highway target by dxt.cpp (the encoder) and dxt_high.cpp (whose blocks
// start from these ends), after foreach_target.h.
#if defined(TOLVANE_IMAGE_DXT_EXACT_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef TOLVANE_IMAGE_DXT_EXACT_INL_H_
#undef TOLVANE_IMAGE_DXT_EXACT_INL_H_
#else
#define TOLVANE_IMAGE_DXT_EXACT_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace dxt_exact {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;
using MI = hn::Mask<DI>;

// Lanes of the widest vector of this target (sixteen floats with AVX-512).
constexpr std::size_t kMaxLanes = HWY_MAX_BYTES / 4;

// The fit of one group of blocks, one per lane.
struct ExactFit {
    // Written out so that it carries the target's attributes (GCC's implicit one does not on
    // arm64).
    ExactFit() {}
    VF p[3][16];    // weighted blue, green, red minus the mean
    VF mean[3];
    MF in[16];      // the pixel is in the fit
    VF count;       // pixels in the fit
    MI four;        // all 16 are: the four-colour mode
    MI plain;       // the ends are the single-colour or empty block's: indices 0 in the fit, 3 out
    VI c0, c1;      // the ends, R5G6B5 in the order of the mode
};

// The ends of each lane's block. kLeftOut: pixels with alpha below 128 (the sign bit of the
// pixel clear) are out of the fit, as DXT1's keying leaves them; otherwise all 16 are in.
template <bool kLeftOut>
HWY_INLINE void ExactEnds(const VI px[16], ExactFit& f) {
    static constexpr float kWeight[3] = {0.082f, 0.6094f, 0.3086f};  // blue, green, red
    enum { M00, M01, M02, M11, M12, M22 };
    const DF df;
    const DI di;
    const VF inv255 = hn::Set(df, 1.0f / 255.0f), zero = hn::Zero(df);
    const VI bytes = hn::Set(di, 0xFF);
    f.count = kLeftOut ? zero : hn::Set(df, 16.0f);
    MF leftOut = hn::FirstN(df, 0);
    for (int i = 0; i < 16; ++i) {
        if constexpr (kLeftOut) {
            f.in[i] = hn::RebindMask(df, hn::Lt(px[i], hn::Zero(di)));
            leftOut = hn::Or(leftOut, hn::Not(f.in[i]));
            f.count = hn::Add(f.count, hn::IfThenElseZero(f.in[i], hn::Set(df, 1.0f)));
        } else {
            f.in[i] = hn::FirstN(df, hn::Lanes(df));
        }
    }
    f.four = hn::RebindMask(di, hn::Not(leftOut));
    for (int c = 0; c < 3; ++c) {
        const VF w = hn::Set(df, kWeight[c]);
        VF sum = zero;
        for (int i = 0; i < 16; ++i) {
            const VF channel = hn::ConvertTo(df, hn::And(hn::ShiftRightSame(px[i], 8 * c), bytes));
            f.p[c][i] = hn::Mul(hn::Mul(channel, w), inv255);
            sum = hn::Add(sum, kLeftOut ? hn::IfThenElseZero(f.in[i], f.p[c][i]) : f.p[c][i]);
        }
        f.mean[c] = hn::Div(sum, f.count);
        for (int i = 0; i < 16; ++i) f.p[c][i] = hn::Sub(f.p[c][i], f.mean[c]);
    }
    static constexpr int kRow[6] = {0, 0, 0, 1, 1, 2}, kColumn[6] = {0, 1, 2, 1, 2, 2};
    VF a[6], t[6];
    for (int e = 0; e < 6; ++e) {
        VF sum = zero;
        for (int i = 0; i < 16; ++i) {
            const VF product = hn::Mul(f.p[kRow[e]][i], f.p[kColumn[e]][i]);
            sum = hn::Add(sum, kLeftOut ? hn::IfThenElseZero(f.in[i], product) : product);
        }
        a[e] = sum;
    }
    // The covariance stays symmetric under squaring: six entries hold it, each entry of the
    // square summed left to right.
    auto square = [](const VF m[6], VF out[6]) {
        auto dot = [](VF x0, VF y0, VF x1, VF y1, VF x2, VF y2) {
            return hn::Add(hn::Add(hn::Mul(x0, y0), hn::Mul(x1, y1)), hn::Mul(x2, y2));
        };
        out[M00] = dot(m[M00], m[M00], m[M01], m[M01], m[M02], m[M02]);
        out[M01] = dot(m[M00], m[M01], m[M01], m[M11], m[M02], m[M12]);
        out[M02] = dot(m[M00], m[M02], m[M01], m[M12], m[M02], m[M22]);
        out[M11] = dot(m[M01], m[M01], m[M11], m[M11], m[M12], m[M12]);
        out[M12] = dot(m[M01], m[M02], m[M11], m[M12], m[M12], m[M22]);
        out[M22] = dot(m[M02], m[M02], m[M12], m[M12], m[M22], m[M22]);
    };
    // A lane whose trace reached 0 is a single-colour block; its later values are not used.
    MF single = hn::FirstN(df, 0);
    for (int round = 0; round < 9; ++round) {
        square(a, t);
        square(t, a);
        const VF trace = hn::Add(hn::Add(a[M00], a[M11]), a[M22]);
        single = hn::Or(single, hn::Eq(trace, zero));
        const VF scale = hn::Div(hn::Set(df, 3.0f), trace);
        for (VF& e : a) e = hn::Mul(e, scale);
    }
    // The row of the largest diagonal entry (the first of equal ones) over its square root.
    const MF pick1 = hn::Gt(a[M11], a[M00]);
    const VF diagonal1 = hn::IfThenElse(pick1, a[M11], a[M00]);
    const MF pick2 = hn::Gt(a[M22], diagonal1);
    const VF diagonal = hn::IfThenElse(pick2, a[M22], diagonal1);
    const VF root = hn::Sqrt(diagonal);
    VF axis[3];
    axis[0] = hn::Div(hn::IfThenElse(pick2, a[M02], hn::IfThenElse(pick1, a[M01], a[M00])), root);
    axis[1] = hn::Div(hn::IfThenElse(pick2, a[M12], hn::IfThenElse(pick1, a[M11], a[M01])), root);
    axis[2] = hn::Div(hn::IfThenElse(pick2, a[M22], hn::IfThenElse(pick1, a[M12], a[M02])), root);
    const VF length2 =
        hn::Add(hn::Add(hn::Mul(axis[0], axis[0]), hn::Mul(axis[1], axis[1])), hn::Mul(axis[2], axis[2]));
    single = hn::Or(single, hn::Not(hn::Gt(length2, zero)));
    VF tMin = hn::Set(df, 99999.0f), tMax = hn::Set(df, -99999.0f);
    for (int i = 0; i < 16; ++i) {
        const VF dot =
            hn::Add(hn::Add(hn::Mul(axis[0], f.p[0][i]), hn::Mul(axis[1], f.p[1][i])), hn::Mul(axis[2], f.p[2][i]));
        const VF tt = hn::Div(dot, length2);
        if constexpr (kLeftOut) {
            tMin = hn::IfThenElse(f.in[i], hn::Min(tt, tMin), tMin);
            tMax = hn::IfThenElse(f.in[i], hn::Max(tt, tMax), tMax);
        } else {
            tMin = hn::Min(tt, tMin);
            tMax = hn::Max(tt, tMax);
        }
    }
    VF e0[3], e1[3];
    for (int c = 0; c < 3; ++c) {
        e0[c] = hn::Add(f.mean[c], hn::Mul(tMin, axis[c]));
        e1[c] = hn::Add(f.mean[c], hn::Mul(tMax, axis[c]));
    }
    // The clip to [0, weight], channel by channel: the end outside moves along the segment.
    auto clip = [](VF x0[3], VF x1[3], int c, MF move0, MF move1, VF bound) {
        VF from[3], to[3];
        for (int d = 0; d < 3; ++d) {
            from[d] = hn::IfThenElse(move0, x0[d], x1[d]);
            to[d] = hn::IfThenElse(move0, x1[d], x0[d]);
        }
        const VF tt = hn::Div(hn::Sub(bound, from[c]), hn::Sub(to[c], from[c]));
        VF moved[3];
        for (int d = 0; d < 3; ++d) moved[d] = hn::Add(from[d], hn::Mul(hn::Sub(to[d], from[d]), tt));
        moved[c] = bound;
        const MF moves = hn::Xor(move0, move1);
        for (int d = 0; d < 3; ++d) {
            x0[d] = hn::IfThenElse(hn::And(moves, move0), moved[d], x0[d]);
            x1[d] = hn::IfThenElse(hn::AndNot(move0, moves), moved[d], x1[d]);
        }
    };
    for (int c = 0; c < 3; ++c) {
        clip(e0, e1, c, hn::Lt(e0[c], zero), hn::Lt(e1[c], zero), zero);
        const VF w = hn::Set(df, kWeight[c]);
        clip(e0, e1, c, hn::Gt(e0[c], w), hn::Gt(e1[c], w), w);
    }
    // value / weight x 255 truncated to a byte, 0 below (and for no number).
    auto pack = [&](const VF e[3]) {
        VI q[3];
        for (int c = 0; c < 3; ++c) {
            const VF scaled = hn::Mul(hn::Div(e[c], hn::Set(df, kWeight[c])), hn::Set(df, 255.0f));
            q[c] = hn::IfThenElseZero(hn::RebindMask(di, hn::Gt(scaled, zero)),
                                      hn::ConvertTo(di, hn::Min(scaled, hn::Set(df, 255.0f))));
        }
        return hn::Or(hn::Or(hn::ShiftLeft<11>(hn::ShiftRight<3>(q[2])), hn::ShiftLeft<5>(hn::ShiftRight<2>(q[1]))),
                      hn::ShiftRight<3>(q[0]));
    };
    const VI q0 = pack(e0), q1 = pack(e1);
    const VI hi = hn::Max(q0, q1), lo = hn::Min(q0, q1);
    VI fit0 = hn::IfThenElse(f.four, hi, lo), fit1 = hn::IfThenElse(f.four, lo, hi);
    // Single-colour blocks: all 16 pixels of one colour, a flat or lengthless axis, four-colour
    // ends that collapse. Their colour is pixel 0's, or the last included pixel's.
    const VI rgb = hn::Set(di, 0xFFFFFF);
    MI same = hn::RebindMask(di, single);
    same = hn::Or(same, hn::And(f.four, hn::Eq(fit0, fit1)));
    MI allSame = hn::Eq(hn::Zero(di), hn::Zero(di));
    VI color = hn::Zero(di), first = hn::Zero(di);
    for (int i = 0; i < 16; ++i) {
        allSame = hn::And(allSame, hn::Eq(hn::And(px[i], rgb), hn::And(px[0], rgb)));
        const VI c565 = hn::Or(hn::Or(hn::ShiftLeft<11>(hn::And(hn::ShiftRight<19>(px[i]), hn::Set(di, 31))),
                                      hn::ShiftLeft<5>(hn::And(hn::ShiftRight<10>(px[i]), hn::Set(di, 63)))),
                               hn::And(hn::ShiftRight<3>(px[i]), hn::Set(di, 31)));
        if (i == 0) {
            first = color = c565;
        } else if constexpr (kLeftOut) {
            color = hn::IfThenElse(hn::RebindMask(di, f.in[i]), c565, color);
        }
    }
    color = hn::IfThenElse(f.four, first, color);
    same = hn::Or(same, allSame);
    fit0 = hn::IfThenElse(same, color, fit0);
    fit1 = hn::IfThenElse(same, color, fit1);
    // No pixel in the fit.
    const MI empty = hn::RebindMask(di, hn::Eq(f.count, zero));
    f.c0 = hn::IfThenElse(empty, hn::Zero(di), fit0);
    f.c1 = hn::IfThenElse(empty, hn::Set(di, 0xFFFF), fit1);
    f.plain = hn::Or(same, empty);
}

// The indices of each lane's block for the ends ExactEnds gave it, 2 bits per pixel, pixel 0
// lowest: each pixel in the fit projected on the quantised segment (the ends as the decoder
// sees them, in the pixels' centred space) and the segment cut into four (or three) equal
// bins; pixels out of the fit take 3. Ends of the three-colour mode that collapsed to one
// colour, and single-colour blocks, put every pixel in the fit at 0.
HWY_INLINE VI ExactIndices(const ExactFit& f) {
    static constexpr float kWeight[3] = {0.082f, 0.6094f, 0.3086f};
    const DF df;
    const DI di;
    const VF inv255 = hn::Set(df, 1.0f / 255.0f), zero = hn::Zero(df);
    // 8-bit blue, green, red of the ends by bit replication, in the weighted, centred space.
    auto weighted = [&](VI color, VF out[3]) {
        const VI r = hn::And(hn::ShiftRight<11>(color), hn::Set(di, 31));
        const VI g = hn::And(hn::ShiftRight<5>(color), hn::Set(di, 63));
        const VI b = hn::And(color, hn::Set(di, 31));
        const VI channel[3] = {hn::Add(hn::ShiftLeft<3>(b), hn::ShiftRight<2>(b)),
                               hn::Add(hn::ShiftLeft<2>(g), hn::ShiftRight<4>(g)),
                               hn::Add(hn::ShiftLeft<3>(r), hn::ShiftRight<2>(r))};
        for (int c = 0; c < 3; ++c) {
            const VF w = hn::Set(df, kWeight[c]);
            out[c] = hn::Sub(hn::Mul(hn::Mul(hn::ConvertTo(df, channel[c]), w), inv255), f.mean[c]);
        }
    };
    VF c0[3], c1[3], d[3];
    weighted(f.c0, c0);
    weighted(f.c1, c1);
    for (int c = 0; c < 3; ++c) d[c] = hn::Sub(c1[c], c0[c]);
    const VF length2 = hn::Add(hn::Add(hn::Mul(d[0], d[0]), hn::Mul(d[1], d[1])), hn::Mul(d[2], d[2]));
    const MF fourF = hn::RebindMask(df, f.four);
    const VF bins = hn::IfThenElse(fourF, hn::Set(df, 4.0f), hn::Set(df, 3.0f));
    const VF lastBin = hn::IfThenElse(fourF, hn::Set(df, 3.0f), hn::Set(df, 2.0f));
    const VI last = hn::ConvertTo(di, lastBin);
    // Every pixel in the fit at 0: plain blocks, and collapsed ends of the three-colour mode.
    const MI zeroBins = hn::Or(f.plain, hn::AndNot(f.four, hn::Eq(f.c0, f.c1)));
    const VI one = hn::Set(di, 1), three = hn::Set(di, 3);
    VI indices = hn::Zero(di);
    for (int i = 15; i >= 0; --i) {
        const VF dot = hn::Add(
            hn::Add(hn::Mul(hn::Sub(f.p[0][i], c0[0]), d[0]), hn::Mul(hn::Sub(f.p[1][i], c0[1]), d[1])),
            hn::Mul(hn::Sub(f.p[2][i], c0[2]), d[2]));
        const VF s = hn::Mul(hn::Div(dot, length2), bins);
        // Clamped to [0, last bin] and truncated: the bin the comparisons of the plain loop give.
        VI bin = hn::ConvertTo(di, hn::Min(hn::Max(s, zero), lastBin));
        bin = hn::IfThenZeroElse(zeroBins, bin);
        // Bins to indices: 0, 2, 3, 1 for four colours; 0, 2, 1 for three.
        VI index = hn::IfThenZeroElse(hn::Eq(bin, hn::Zero(di)), hn::Add(bin, one));
        index = hn::IfThenElse(hn::Eq(bin, last), one, index);
        index = hn::IfThenElse(hn::RebindMask(di, f.in[i]), index, three);
        indices = hn::Or(hn::ShiftLeft<2>(indices), index);
    }
    return indices;
}

}  // namespace HWY_NAMESPACE
}  // namespace dxt_exact
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
