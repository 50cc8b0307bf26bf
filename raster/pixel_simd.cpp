// The pixel stage over the processor's vector width, written once and compiled for every
// Highway target of the build (SSSE3, SSE4, AVX2, AVX-512 and the portable fallback on
// x86; NEON on arm64; WASM SIMD), one chosen per draw at run time (ChooseShaders).
//
// It runs the arithmetic of ShadeSpanRef's fast twin lane for lane: the same float
// operations in the same order (the library builds with -ffp-contract=off, so no fused
// multiply-adds), the same fixed-point filters, so every target gives the same pixels.
//
// A group is one vector of pixels (four to sixteen). Each batch of groups goes through
// the named steps pass by pass: DepthTest and LevelOfDetail per group, then each stage's
// texel addresses (Address), the texel loads and filters (Sample), and per group the
// stages (Stages), Fog, AlphaTest, Blend and Write. Each group's work is one long chain of
// dependent steps; run pass by pass, the chains of the batch's groups overlap instead of
// each one stalling on its own loads.
//
// Colours stay packed eight bits per channel between the steps; arithmetic splits them
// into the even and the odd byte of each 16-bit lane (Channels), where a trilinear blend
// of two bilinear levels stays without packing in between.
//
// Scalable vectors (SVE, RVV) are left out: the batches keep vectors in arrays.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "raster/pixel_simd.cpp"
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "raster/pipeline.h"
#include "simd/targets.h"

HWY_BEFORE_NAMESPACE();
namespace raster::detail {
namespace HWY_NAMESPACE {

#if HWY_TARGET == HWY_SCALAR
// One lane (the fallback where the compiler has no portable vector target): the channel
// layout needs two 16-bit lanes per pixel, so the plain version shades, pixel by pixel.
void ShadeRowsGeneric(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    for (int i = 0; i < rows; ++i)
        if (spans[i].x0 < spans[i].x1) ShadeSpanRef(d, prim, pl, y0 + i, spans[i].x0, spans[i].x1);
}
void ShadeRowsTwoStageTrilinear(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                                const RowSpan* spans) {
    ShadeRowsGeneric(d, prim, pl, y0, rows, spans);
}
void ShadeRowsUntextured(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    ShadeRowsGeneric(d, prim, pl, y0, rows, spans);
}
void FillColorN(std::uint32_t* first, std::uint32_t* last, std::uint32_t value) { std::fill(first, last, value); }
void FillDepthN(std::uint16_t* first, std::uint16_t* last, std::uint16_t value) { std::fill(first, last, value); }
void SampleGroupN(const SamplerSetup& s, std::uint32_t lanes, const float* u, const float* v, const float* lod,
                  std::uint8_t signedChannels, float (*rgba)[kMaxProgramLanes]) {
    for (; lanes != 0; lanes &= lanes - 1) {
        const int i = __builtin_ctz(lanes);
        const std::uint32_t texel =
            SampleTexture(s, std::isfinite(u[i]) ? u[i] : 0.0f, std::isfinite(v[i]) ? v[i] : 0.0f, lod[i]);
        const int shifts[4] = {16, 8, 0, 24};
        for (int k = 0; k < 4; ++k) {
            const int c = static_cast<int>((texel >> shifts[k]) & 0xFFu);
            rgba[k][i] = (signedChannels >> k) & 1 ? (c == 0 ? -1.0f : static_cast<float>(c - 128) / 127.0f)
                                                   : static_cast<float>(c) / 255.0f;
        }
    }
}
#else
namespace {

namespace hn = hwy::HWY_NAMESPACE;

using DU = hn::ScalableTag<std::uint32_t>;
using DI = hn::RebindToSigned<DU>;
using DF = hn::RebindToFloat<DU>;
using D16 = hn::Repartition<std::uint16_t, DU>;
using DS16 = hn::RebindToSigned<D16>;
using D8 = hn::Repartition<std::uint8_t, DU>;
using DDepth = hn::Rebind<std::uint16_t, DU>;  // one 16-bit depth per pixel
using DH = hn::Half<DI>;
using D64 = hn::Repartition<std::uint64_t, DU>;
using DI64 = hn::RebindToSigned<D64>;
using VU = hn::Vec<DU>;
using VI = hn::Vec<DI>;
using VF = hn::Vec<DF>;
using V16 = hn::Vec<D16>;
using MI = hn::Mask<DI>;

constexpr DU du;
constexpr DI di;
constexpr DF df;
constexpr D16 d16;
constexpr DS16 ds16;
constexpr D8 d8;
// Lanes of the widest vector of any target here (sixteen with AVX-512).
constexpr int kMaxLanes = HWY_MAX_BYTES / 4;

// ---- colours: eight bits per channel, four channels per 32-bit lane ---------------

HWY_INLINE VU Ones() { return hn::Set(du, 0xFFFFFFFFu); }
HWY_INLINE VU AlphaOne() { return hn::Set(du, kOpaqueAlpha); }

// The channels of packed colours as 16-bit lanes: the even bytes (blue, red) and the
// odd ones (green, alpha) of each pixel.
struct Channels {
    V16 even, odd;
};

HWY_INLINE Channels Split(VU v) {
    const V16 w = hn::BitCast(d16, v);
    return {hn::And(w, hn::Set(d16, 0x00FF)), hn::ShiftRight<8>(w)};
}

// Channels known to be 0..255, packed again.
HWY_INLINE VU Join(Channels c) { return hn::BitCast(du, hn::Or(c.even, hn::ShiftLeft<8>(c.odd))); }

// Signed channel values, saturated to 0..255 and packed.
HWY_INLINE V16 Saturate(V16 v) {
    const auto s = hn::Min(hn::Max(hn::BitCast(ds16, v), hn::Zero(ds16)), hn::Set(ds16, 255));
    return hn::BitCast(d16, s);
}
HWY_INLINE VU JoinSaturated(V16 even, V16 odd) { return Join({Saturate(even), Saturate(odd)}); }

// a * b / 255 rounded, in 16-bit lanes holding 0..255: the plain version's
// (t + (t >> 8)) >> 8 of t = a * b + 128, which is (t * 257) >> 16 for every such t.
HWY_INLINE V16 Mul255(V16 a, V16 b) {
    return hn::MulHigh(hn::Add(hn::Mul(a, b), hn::Set(d16, 128)), hn::Set(d16, 257));
}

HWY_INLINE VU Modulate(VU a, VU b) {
    const Channels x = Split(a), y = Split(b);
    return Join({Mul255(x.even, y.even), Mul255(x.odd, y.odd)});
}

// The alpha byte of each pixel copied into all four.
HWY_INLINE VU ReplicateAlpha(VU v) {
    alignas(16) static constexpr std::uint8_t kPick[16] = {3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15};
    return hn::BitCast(du, hn::TableLookupBytes(hn::BitCast(d8, v), hn::LoadDup128(d8, kPick)));
}

HWY_INLINE VU Invert(VU v) { return hn::Not(v); }

// Colour bytes of color, alpha byte of alpha.
HWY_INLINE VU ColorAlpha(VU color, VU alpha) { return hn::IfVecThenElse(hn::Set(du, kColorBits), color, alpha); }

// a * alpha + b * (1 - alpha), per channel.
HWY_INLINE VU Mix(VU a, VU b, VU alpha) {
    const Channels x = Split(a), y = Split(b), s = Split(alpha), t = Split(Invert(alpha));
    return JoinSaturated(hn::Add(Mul255(x.even, s.even), Mul255(y.even, t.even)),
                         hn::Add(Mul255(x.odd, s.odd), Mul255(y.odd, t.odd)));
}

// (a * (256 - w) + b * w) >> 8 for a, b in 0..255 and weight = w << 7, exactly: the signed
// high half of (b - a) * 2 * weight is floor((b - a) * w / 256).
HWY_INLINE V16 Lerp(V16 a, V16 b, V16 weight) {
    const auto step = hn::MulHigh(hn::BitCast(ds16, hn::ShiftLeft<1>(hn::Sub(b, a))), hn::BitCast(ds16, weight));
    return hn::Add(a, hn::BitCast(d16, step));
}
HWY_INLINE Channels Lerp(Channels a, Channels b, V16 weight) {
    return {Lerp(a.even, b.even, weight), Lerp(a.odd, b.odd, weight)};
}
// A weight per pixel (below 2^15) in both 16-bit halves of its lane.
HWY_INLINE V16 SpreadWeight(VI weight) { return hn::BitCast(d16, hn::Or(weight, hn::ShiftLeft<16>(weight))); }

// The lanes where value func reference holds (both below 2^31).
HWY_INLINE MI Compare(CompareFunc func, VI value, VI reference) {
    switch (func) {
        case CompareFunc::Never: return hn::FirstN(di, 0);
        case CompareFunc::Less: return hn::Lt(value, reference);
        case CompareFunc::Equal: return hn::Eq(value, reference);
        case CompareFunc::LessEqual: return hn::Not(hn::Gt(value, reference));
        case CompareFunc::Greater: return hn::Gt(value, reference);
        case CompareFunc::NotEqual: return hn::Not(hn::Eq(value, reference));
        case CompareFunc::GreaterEqual: return hn::Not(hn::Lt(value, reference));
        case CompareFunc::Always: return hn::Eq(value, value);
    }
    Unreachable();
}

// Truncation towards zero of values known to lie inside the int range: on x86 the one
// instruction, without the fix-up ConvertTo adds for values beyond it.
HWY_INLINE VI TruncateInRange(VF v) {
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3
    return VI{_mm512_cvttps_epi32(v.raw)};
#elif HWY_ARCH_X86 && HWY_TARGET == HWY_AVX2
    return VI{_mm256_cvttps_epi32(v.raw)};
#elif HWY_ARCH_X86 && (HWY_TARGET == HWY_SSE4 || HWY_TARGET == HWY_SSSE3)
    return VI{_mm_cvttps_epi32(v.raw)};
#else
    return hn::ConvertTo(di, v);
#endif
}

// 0..1 to 0..255, rounded (NaN to 0).
HWY_INLINE VI ToByte(VF v) {
    v = hn::Min(hn::Max(v, hn::Zero(df)), hn::Set(df, 1.0f));
    return TruncateInRange(hn::Add(hn::Mul(v, hn::Set(df, 255.0f)), hn::Set(df, 0.5f)));
}

// log2(x) to about 0.008 (see the plain version); -128 for x <= 0 and NaN.
HWY_INLINE VF FastLog2(VF x) {
    const VI bits = hn::BitCast(di, x);
    const VF exponent = hn::ConvertTo(df, hn::Sub(hn::ShiftRight<23>(bits), hn::Set(di, 127)));
    const VF m = hn::BitCast(df, hn::Or(hn::And(bits, hn::Set(di, 0x007FFFFF)), hn::Set(di, 0x3F800000)));
    const VF inner = hn::Add(hn::Mul(hn::Set(df, -0.34484843f), m), hn::Set(df, 2.03454529f));
    const VF poly = hn::Sub(hn::Mul(inner, m), hn::Set(df, 1.68969686f));
    return hn::IfThenElse(hn::Gt(x, hn::Zero(df)), hn::Add(exponent, poly), hn::Set(df, -128.0f));
}

HWY_INLINE VI FloorToInt(VF v) {
    v = hn::Min(hn::Max(v, hn::Set(df, -kCoordinateClamp)), hn::Set(df, kCoordinateClamp));
    return TruncateInRange(hn::Floor(v));
}

HWY_INLINE VU PackArgb(VI r, VI g, VI b, VI a) {
    const VI argb = hn::Or(hn::Or(hn::ShiftLeft<24>(a), hn::ShiftLeft<16>(r)), hn::Or(hn::ShiftLeft<8>(g), b));
    return hn::BitCast(du, argb);
}

// A plane over the pixels of one row: base + dx * fx; dy kept for the derivatives.
// (Structs of vectors declare their constructors here, inside the target's attributes:
// GCC does not give implicit ones the target, and Arm's vector constructors insist.)
struct Plane {
    HWY_INLINE Plane() {}
    HWY_INLINE Plane(VF b, VF d, float y) : base(b), dx(d), dy(y) {}
    VF base, dx;
    float dy;
};

HWY_INLINE Plane MakePlane(const float* p, float fy) {
    return {hn::Set(df, p[0] + p[2] * fy), hn::Set(df, p[1]), p[2]};
}

HWY_INLINE VF At(const Plane& plane, VF fx) { return hn::Add(plane.base, hn::Mul(plane.dx, fx)); }

// ---- the stages ---------------------------------------------------------------------

struct StageInputs {
    VU diffuse, current, texture, factor, specular, temp;
};

HWY_INLINE VU Argument(StageArg arg, const StageInputs& in) {
    VU v = hn::Zero(du);
    switch (arg.source) {
        case ArgSource::Diffuse: v = in.diffuse; break;
        case ArgSource::Current: v = in.current; break;
        case ArgSource::Texture: v = in.texture; break;
        case ArgSource::Factor: v = in.factor; break;
        case ArgSource::Specular: v = in.specular; break;
        case ArgSource::Temp: v = in.temp; break;
        case ArgSource::Zero: break;
    }
    if (arg.alphaReplicate) v = ReplicateAlpha(v);
    if (arg.complement) v = Invert(v);
    return v;
}

// A channel operation on 16-bit channels, saturated and packed.
template <typename Op>
HWY_INLINE VU PerChannel(VU a1, VU a2, Op op) {
    const Channels x = Split(a1), y = Split(a2);
    return JoinSaturated(op(x.even, y.even), op(x.odd, y.odd));
}

HWY_INLINE VU Operate(StageOp op, VU a1, VU a2, const StageInputs& in) {
    const V16 half = hn::Set(d16, 128);
    switch (op) {
        case StageOp::SelectArg1: return a1;
        case StageOp::SelectArg2: return a2;
        case StageOp::Modulate: return Modulate(a1, a2);
        case StageOp::Modulate2x: return PerChannel(a1, a2, [](V16 a, V16 b) { return hn::ShiftLeft<1>(Mul255(a, b)); });
        case StageOp::Modulate4x: return PerChannel(a1, a2, [](V16 a, V16 b) { return hn::ShiftLeft<2>(Mul255(a, b)); });
        case StageOp::Add: return hn::BitCast(du, hn::SaturatedAdd(hn::BitCast(d8, a1), hn::BitCast(d8, a2)));
        case StageOp::Subtract: return hn::BitCast(du, hn::SaturatedSub(hn::BitCast(d8, a1), hn::BitCast(d8, a2)));
        case StageOp::AddSigned: return PerChannel(a1, a2, [half](V16 a, V16 b) { return hn::Sub(hn::Add(a, b), half); });
        case StageOp::AddSigned2x:
            return PerChannel(a1, a2, [half](V16 a, V16 b) { return hn::ShiftLeft<1>(hn::Sub(hn::Add(a, b), half)); });
        case StageOp::AddSmooth: return PerChannel(a1, a2, [](V16 a, V16 b) { return hn::Sub(hn::Add(a, b), Mul255(a, b)); });
        case StageOp::BlendDiffuseAlpha: return Mix(a1, a2, ReplicateAlpha(in.diffuse));
        case StageOp::BlendTextureAlpha: return Mix(a1, a2, ReplicateAlpha(in.texture));
        case StageOp::BlendFactorAlpha: return Mix(a1, a2, ReplicateAlpha(in.factor));
        case StageOp::BlendCurrentAlpha: return Mix(a1, a2, ReplicateAlpha(in.current));
        // Not reached: DISABLE ends the stages, and the others have no packed form
        // (PackedStageOp), so RunStagesByPixel runs them.
        case StageOp::Disable:
        case StageOp::BlendTextureAlphaPm:
        case StageOp::PreModulate:
        case StageOp::ModulateAlphaAddColor:
        case StageOp::ModulateColorAddAlpha:
        case StageOp::ModulateInvAlphaAddColor:
        case StageOp::ModulateInvColorAddAlpha:
        case StageOp::BumpEnvMap:
        case StageOp::BumpEnvMapLuminance:
        case StageOp::DotProduct3:
        case StageOp::MultiplyAdd:
        case StageOp::Lerp: break;
    }
    Unreachable();
}

HWY_INLINE VU RunStages(const DrawSetup& d, StageInputs& in, const VU* textures) {
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = textures[s];
        const VU color = Operate(stage.colorOp, Argument(stage.colorArg[1], in), Argument(stage.colorArg[2], in), in);
        VU alpha;
        if (stage.alphaOp == StageOp::Disable) alpha = in.current;
        else if (stage.alphaOp == stage.colorOp && stage.alphaArg[1] == stage.colorArg[1] && stage.alphaArg[2] == stage.colorArg[2])
            alpha = color;
        else
            alpha = Operate(stage.alphaOp, Argument(stage.alphaArg[1], in), Argument(stage.alphaArg[2], in), in);
        const VU result = ColorAlpha(color, alpha);
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

// Stages with operations that have no packed form, pixel by pixel.
HWY_INLINE VU RunStagesByPixel(const DrawSetup& d, VU diffuse, VU specular, const VU* textures) {
    alignas(HWY_MAX_BYTES) std::uint32_t diffuses[kMaxLanes], speculars[kMaxLanes], out[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::uint32_t samples[kMaxStages][kMaxLanes];
    hn::Store(diffuse, du, diffuses);
    hn::Store(specular, du, speculars);
    for (int s = 0; s < d.stageCount; ++s) hn::Store(textures[s], du, samples[s]);
    const int lanes = static_cast<int>(hn::Lanes(du));
    for (int i = 0; i < lanes; ++i) {
        std::uint32_t laneSamples[kMaxStages];
        for (int s = 0; s < d.stageCount; ++s) laneSamples[s] = samples[s][i];
        out[i] = RunStagesOnePixel(d, diffuses[i], speculars[i], laneSamples);
    }
    return hn::Load(du, out);
}

// ---- blending -----------------------------------------------------------------------

HWY_INLINE VU Factor(BlendFactor factor, VU src, VU dst) {
    switch (factor) {
        case BlendFactor::Zero: return hn::Zero(du);
        case BlendFactor::One: return Ones();
        case BlendFactor::SrcColor: return src;
        case BlendFactor::InvSrcColor: return Invert(src);
        case BlendFactor::SrcAlpha: return ReplicateAlpha(src);
        case BlendFactor::InvSrcAlpha: return Invert(ReplicateAlpha(src));
        case BlendFactor::DestAlpha: return ReplicateAlpha(dst);
        case BlendFactor::InvDestAlpha: return Invert(ReplicateAlpha(dst));
        case BlendFactor::DestColor: return dst;
        case BlendFactor::InvDestColor: return Invert(dst);
        case BlendFactor::SrcAlphaSat:
            return hn::Or(hn::BitCast(du, hn::Min(hn::BitCast(d8, ReplicateAlpha(src)), hn::BitCast(d8, Invert(ReplicateAlpha(dst))))),
                          AlphaOne());
    }
    Unreachable();
}

HWY_INLINE VU Blend(const DrawSetup& d, VU src, VU dst) {
    if (d.blendOp == BlendOp::Min) return hn::BitCast(du, hn::Min(hn::BitCast(d8, src), hn::BitCast(d8, dst)));
    if (d.blendOp == BlendOp::Max) return hn::BitCast(du, hn::Max(hn::BitCast(d8, src), hn::BitCast(d8, dst)));
    const Channels s = Split(src), t = Split(dst), sf = Split(Factor(d.srcBlend, src, dst)), tf = Split(Factor(d.destBlend, src, dst));
    const Channels a = {Mul255(s.even, sf.even), Mul255(s.odd, sf.odd)};
    const Channels b = {Mul255(t.even, tf.even), Mul255(t.odd, tf.odd)};
    switch (d.blendOp) {
        case BlendOp::Add: return JoinSaturated(hn::Add(a.even, b.even), hn::Add(a.odd, b.odd));
        case BlendOp::Subtract: return JoinSaturated(hn::Sub(a.even, b.even), hn::Sub(a.odd, b.odd));
        case BlendOp::RevSubtract: return JoinSaturated(hn::Sub(b.even, a.even), hn::Sub(b.odd, a.odd));
        case BlendOp::Min:
        case BlendOp::Max: break;  // above
    }
    Unreachable();
}

// ---- sampling -----------------------------------------------------------------------

// Lanes outside cover may hold anything: they take the first covered lane's value, so
// that they neither split a group's level nor read far away.
using IndicesF = decltype(hn::IndicesFromVec(DF(), hn::Zero(DI())));
HWY_INLINE VF FillUncovered(VF v, MI cover, const IndicesF& first) {
    return hn::IfThenElse(hn::RebindMask(df, cover), v, hn::TableLookupLanes(v, first));
}

// Texels at index (in texels) from base, one per lane.
HWY_INLINE VU Gather(const std::uint32_t* base, VI index) { return hn::GatherIndex(du, base, index); }

// Loads lane by lane. Scalar loads into 128-bit blocks cost less than the hardware
// gathers (which several processors split into as many loads anyway, and slower), and
// take 8- and 16-byte entries per lane. at(i) is lane i's address; offsets are read from
// memory, stored a pass earlier, so the loads wait on no vector work.
using D128 = hn::Full128<std::uint32_t>;
#define TOLVANE_INLINE_LAMBDA __attribute__((always_inline))
using D128x64 = hn::Full128<std::uint64_t>;

// A whole vector from its 128-bit blocks, block(j) giving block j.
template <class Block>
HWY_INLINE VU FromBlocks(const Block& block) {
    if constexpr (kMaxLanes == 4) {
        return block(0);
    } else if constexpr (kMaxLanes == 8) {
        return hn::Combine(du, block(1), block(0));
    } else {
        const hn::Half<DU> dh;
        return hn::Combine(du, hn::Combine(dh, block(3), block(2)), hn::Combine(dh, block(1), block(0)));
    }
}

HWY_INLINE std::uint64_t Load64(const std::uint32_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);  // texel pairs are only 4-byte aligned
    return v;
}

// One texel per lane.
template <class At>
HWY_INLINE VU LoadTexels(const At& at) {
    return FromBlocks([&](int j) TOLVANE_INLINE_LAMBDA {
        auto v = hn::Set(D128(), *at(4 * j));
        v = hn::InsertLane(v, 1, *at(4 * j + 1));
        v = hn::InsertLane(v, 2, *at(4 * j + 2));
        return hn::InsertLane(v, 3, *at(4 * j + 3));
    });
}

// Two neighbouring texels (at(i), at(i) + 1) per lane: the first in left, the second in
// right, in lane order.
template <class At>
HWY_INLINE void LoadTexelPairs(const At& at, VU& left, VU& right) {
    auto half = [&](int first) TOLVANE_INLINE_LAMBDA {
        return FromBlocks([&](int j) TOLVANE_INLINE_LAMBDA {
            const auto v = hn::Set(D128x64(), Load64(at(first + 2 * j)));
            return hn::BitCast(D128(), hn::InsertLane(v, 1, Load64(at(first + 2 * j + 1))));
        });
    };
    const VU low = half(0), high = half(kMaxLanes / 2);
    left = hn::ConcatEven(du, high, low);
    right = hn::ConcatOdd(du, high, low);
}

// The 2 x 2 footprints from interleaved rows (at(i): lane i's four texels, top left,
// bottom left, top right, bottom right), each corner in lane order.
template <class At>
HWY_INLINE void LoadFootprints(const At& at, VU& t00, VU& t01, VU& t10, VU& t11) {
    // Register k holds the entries of lanes k, k + 4, k + 8 ... in its blocks, so that a
    // 4 x 4 transpose within each block puts lanes 4j .. 4j + 3 in block j.
    VU r[4];
    for (int k = 0; k < 4; ++k)
        r[k] = FromBlocks([&](int j) TOLVANE_INLINE_LAMBDA { return hn::LoadU(D128(), at(k + 4 * j)); });
    const D64 d64;
    // The left and the right column of lanes k, k + 1 (k = 0, 2) in each block.
    const auto left01 = hn::BitCast(d64, hn::InterleaveLower(du, r[0], r[1]));
    const auto right01 = hn::BitCast(d64, hn::InterleaveUpper(du, r[0], r[1]));
    const auto left23 = hn::BitCast(d64, hn::InterleaveLower(du, r[2], r[3]));
    const auto right23 = hn::BitCast(d64, hn::InterleaveUpper(du, r[2], r[3]));
    t00 = hn::BitCast(du, hn::InterleaveLower(d64, left01, left23));
    t01 = hn::BitCast(du, hn::InterleaveUpper(d64, left01, left23));
    t10 = hn::BitCast(du, hn::InterleaveLower(d64, right01, right23));
    t11 = hn::BitCast(du, hn::InterleaveUpper(d64, right01, right23));
}

// Lane addresses: one base and stored offsets, or each lane's own level.
struct StoredAt {
    const std::uint32_t* base;
    const std::int32_t* offsets;
    HWY_INLINE const std::uint32_t* operator()(int i) const { return base + offsets[i]; }
};
struct LevelAt {
    const SamplerTexture* texture;
    const std::uint32_t* const* rowPairs;  // each level's interleaved rows, or null: its texels
    const std::int32_t* levels;
    const std::int32_t* offsets;
    HWY_INLINE const std::uint32_t* operator()(int i) const {
        return (rowPairs ? rowPairs[levels[i]] : texture->levels[levels[i]].texels) + offsets[i];
    }
};

// What a stage's sampling needs once its level of detail is known: the coordinates and
// the level choice of each lane.
struct StageLookup {
    HWY_INLINE StageLookup() {}
    VF u, v, lod;  // lod: read only by pixel-by-pixel sampling
    VI fine, coarse, weight;
};

// How the texels of one level lookup are read.
enum class Fetch : std::uint8_t {
    Point,        // one texel at offsets[0]
    Footprints,   // bilinear, interleaved rows at offsets[0]
    Pairs,        // bilinear, two texel pairs at offsets[0] and offsets[1]
    Corners,      // bilinear with wrapping in x: four texels, gathered
};

// What the states tell of a stage's lookups ahead of the draw (see FetchHints in the
// states below): whether every lane reads the one base level (no mipmaps, so no blend of
// two), and whether bilinear lookups read interleaved rows.
struct FetchHints {
    bool oneLevel = false;
    bool footprints = false;
};

// What the level of detail, the level choice and the lookups of one level (the base
// level) read of a vector-sampled stage's sampler, set up once per call rather than per
// group (the stores of the writes may alias the setup, so the compiler reloads it).
struct StageConstants {
    HWY_INLINE StageConstants() {}
    VF width, height, lodBias;  // the base level's size, in texels
    VI base, span, lastLevel;   // the base level, the levels below it, the last level
    VF spanF;
    const std::uint32_t* texels;    // the base level's
    const std::uint32_t* rowPairs;  // the base level's interleaved rows
    VI mx, my, pitch;               // the base level's wrap masks and pitch
    VF pointU, pointV;              // its size
    VF linearU, linearV;            // its size in 1/256 texels
};

HWY_INLINE void SetUpStage(const SamplerSetup& s, StageConstants& c) {
    const SamplerLevel& level = s.texture->levels[s.baseLevel];
    const int last = s.texture->levelCount - 1;
    c.width = hn::Set(df, static_cast<float>(level.width));
    c.height = hn::Set(df, static_cast<float>(level.height));
    c.lodBias = hn::Set(df, s.lodBias);
    c.base = hn::Set(di, s.baseLevel);
    c.span = hn::Set(di, last - s.baseLevel);
    c.lastLevel = hn::Set(di, last);
    c.spanF = hn::ConvertTo(df, c.span);
    c.texels = level.texels;
    c.rowPairs = s.rowPairLevels ? s.rowPairLevels[s.baseLevel] : nullptr;
    const VI w = hn::Set(di, level.width), h = hn::Set(di, level.height);
    c.mx = hn::Sub(w, hn::Set(di, 1));
    c.my = hn::Sub(h, hn::Set(di, 1));
    c.pitch = hn::Set(di, level.pitch);
    c.pointU = hn::ConvertTo(df, w);
    c.pointV = hn::ConvertTo(df, h);
    c.linearU = hn::ConvertTo(df, hn::ShiftLeft<8>(w));
    c.linearV = hn::ConvertTo(df, hn::ShiftLeft<8>(h));
}

// Where the texels of one level lookup lie for a group, worked out ahead of the loads
// so that the loads of several groups can be issued together.
struct LevelFetch {
    HWY_INLINE LevelFetch() {}
    Fetch fetch;
    bool perLane;                   // the lanes' levels differ and lie out of reach of the shifts
    const std::uint32_t* base;      // offsets count from here (texels or interleaved rows)
    const SamplerTexture* texture;  // perLane: each lane's level from here
    const std::uint32_t* const* rowPairLevels;  // or from here for Footprints
    VI wx, wy;                      // bilinear weights, in the form Lerp takes
    VI corners[4];                  // Corners: the four texels' offsets from base
    alignas(HWY_MAX_BYTES) std::int32_t offsets[2][kMaxLanes];
    alignas(HWY_MAX_BYTES) std::int32_t levels[kMaxLanes];  // perLane
};

HWY_INLINE LevelAt LanesAt(const LevelFetch& f, int which) {
    return {f.texture, f.fetch == Fetch::Footprints ? f.rowPairLevels : nullptr, f.levels, f.offsets[which]};
}
HWY_INLINE StoredAt BaseAt(const LevelFetch& f, int which) { return {f.base, f.offsets[which]}; }

// Each lane's entry of a table by level (SamplerTexture::kMaxLevels entries): a permute
// where the levels fit in one vector, else a gather.
HWY_INLINE VI LevelTable(const std::int32_t* table, int levelCount, VI levels) {
    static_assert(SamplerTexture::kMaxLevels >= kMaxLanes, "a vector's load stays inside the table");
    if (levelCount <= static_cast<int>(hn::Lanes(di))) return hn::TableLookupLanes(hn::LoadU(di, table), hn::IndicesFromVec(di, levels));
    return hn::GatherIndex(di, table, levels);
}

// AddressLevel for one level choice: point or bilinear, every lane's level in levels.
HWY_INLINE void AddressLevel(const SamplerSetup& s, const StageConstants& c, VI levels, bool linear, FetchHints hints,
                              VF u, VF v, LevelFetch& out) {
    const bool rowPairs = linear && (hints.footprints || s.rowPairs);
    out.perLane = false;
    out.texture = s.texture;
    out.rowPairLevels = s.rowPairLevels;
    VI mx, my, pitch, shift = hn::Zero(di);
    VF scaleU, scaleV;  // the level's size (in 1/256 texels when linear)
    if (hints.oneLevel) {
        out.base = rowPairs ? c.rowPairs : c.texels;
        mx = c.mx;
        my = c.my;
        pitch = c.pitch;
        scaleU = linear ? c.linearU : c.pointU;
        scaleV = linear ? c.linearV : c.pointV;
    } else {
        const SamplerSetup::LevelTables& t = s.tables;
        VI w, h;
        const int level0 = hn::GetLane(levels);
        const SamplerLevel& first = s.texture->levels[level0];
        out.base = rowPairs ? s.rowPairLevels[level0] : first.texels;
        if (hn::AllTrue(di, hn::Eq(levels, hn::Set(di, level0)))) {
            w = hn::Set(di, first.width);
            h = hn::Set(di, first.height);
            pitch = hn::Set(di, first.pitch);
        } else {
            w = LevelTable(t.width, s.texture->levelCount, levels);
            h = LevelTable(t.height, s.texture->levelCount, levels);
            pitch = LevelTable(t.pitch, s.texture->levelCount, levels);
            if (s.levelsInReach) {
                out.base = rowPairs ? s.rowPairLevels[0] : s.texture->levels[0].texels;
                shift = LevelTable(rowPairs ? t.rowPairShift : t.texelShift, s.texture->levelCount, levels);
            } else {
                out.perLane = true;
                hn::Store(levels, di, out.levels);
            }
        }
        mx = hn::Sub(w, hn::Set(di, 1));
        my = hn::Sub(h, hn::Set(di, 1));
        scaleU = hn::ConvertTo(df, linear ? hn::ShiftLeft<8>(w) : w);
        scaleV = hn::ConvertTo(df, linear ? hn::ShiftLeft<8>(h) : h);
    }
    const VI one = hn::Set(di, 1);
    if (!linear) {
        const VI x = FloorToInt(hn::Mul(u, scaleU));
        const VI y = FloorToInt(hn::Mul(v, scaleV));
        out.fetch = Fetch::Point;
        hn::Store(hn::Add(shift, hn::Add(hn::Mul(hn::And(y, my), pitch), hn::And(x, mx))), di, out.offsets[0]);
        return;
    }
    const VF su = hn::Mul(u, scaleU);
    const VF sv = hn::Mul(v, scaleV);
    const VI fx = FloorToInt(hn::Sub(su, hn::Set(df, 128.0f)));
    const VI fy = FloorToInt(hn::Sub(sv, hn::Set(df, 128.0f)));
    const VI x = hn::ShiftRight<8>(fx), y = hn::ShiftRight<8>(fy);
    const VI byte = hn::Set(di, 255);
    out.wx = hn::ShiftLeft<7>(hn::And(fx, byte));
    out.wy = hn::ShiftLeft<7>(hn::And(fy, byte));
    const VI x0 = hn::And(x, mx);
    if (rowPairs) {
        // Row pair y starts at 2 * y * (pitch + 1); each entry is two texels.
        out.fetch = Fetch::Footprints;
        const VI entry = hn::Add(hn::Mul(hn::And(y, my), hn::Add(pitch, one)), x0);
        hn::Store(hn::Add(shift, hn::ShiftLeft<1>(entry)), di, out.offsets[0]);
        return;
    }
    const VI row0 = hn::Add(shift, hn::Mul(hn::And(y, my), pitch));
    const VI row1 = hn::Add(shift, hn::Mul(hn::And(hn::Add(y, one), my), pitch));
    // Where no lane wraps in x, each row's two texels sit side by side.
    if (hn::AllFalse(di, hn::Eq(x0, mx))) {
        out.fetch = Fetch::Pairs;
        hn::Store(hn::Add(row0, x0), di, out.offsets[0]);
        hn::Store(hn::Add(row1, x0), di, out.offsets[1]);
        return;
    }
    out.fetch = Fetch::Corners;
    const VI x1 = hn::And(hn::Add(x, one), mx);
    out.corners[0] = hn::Add(row0, x0);
    out.corners[1] = hn::Add(row0, x1);
    out.corners[2] = hn::Add(row1, x0);
    out.corners[3] = hn::Add(row1, x1);
}

// The texels of a point lookup.
HWY_INLINE VU PointTexels(const LevelFetch& f) {
    return f.perLane ? LoadTexels(LanesAt(f, 0)) : LoadTexels(BaseAt(f, 0));
}

// Four texels per lane at the corners' offsets (each lane's own level when perLane).
HWY_INLINE VU CornerTexels(const LevelFetch& f, int k) {
    if (!f.perLane) return Gather(f.base, f.corners[k]);
    alignas(HWY_MAX_BYTES) std::int32_t offsets[kMaxLanes];
    hn::Store(f.corners[k], di, offsets);
    return LoadTexels(LevelAt{f.texture, nullptr, f.levels, offsets});
}

// The texels of a level lookup as channels: a blend of two levels takes them as they are.
HWY_INLINE Channels SampleLevel(const LevelFetch& f, FetchHints hints) {
    VU t00, t10, t01, t11;
    switch (hints.footprints ? Fetch::Footprints : f.fetch) {
        case Fetch::Point: return Split(PointTexels(f));
        case Fetch::Footprints:
            if (f.perLane) LoadFootprints(LanesAt(f, 0), t00, t01, t10, t11);
            else LoadFootprints(BaseAt(f, 0), t00, t01, t10, t11);
            break;
        case Fetch::Pairs:
            if (f.perLane) {
                LoadTexelPairs(LanesAt(f, 0), t00, t10);
                LoadTexelPairs(LanesAt(f, 1), t01, t11);
            } else {
                LoadTexelPairs(BaseAt(f, 0), t00, t10);
                LoadTexelPairs(BaseAt(f, 1), t01, t11);
            }
            break;
        case Fetch::Corners:
            t00 = CornerTexels(f, 0);
            t10 = CornerTexels(f, 1);
            t01 = CornerTexels(f, 2);
            t11 = CornerTexels(f, 3);
            break;
    }
    const V16 wx = SpreadWeight(f.wx), wy = SpreadWeight(f.wy);
    const Channels top = Lerp(Split(t00), Split(t10), wx), bottom = Lerp(Split(t01), Split(t11), wx);
    return Lerp(top, bottom, wy);
}

// The level choice of ChooseLevels for a group (one filter for minification and
// magnification, as VectorSampling demands).
HWY_INLINE void ChooseLevelsN(const StageConstants& c, MipFilter mipFilter, VF lods, StageLookup& out) {
    const VI base = c.base, span = c.span, lastLevel = c.lastLevel;
    const auto minified = hn::Gt(lods, hn::Zero(df));  // false for NaN
    const VF clamped = hn::Min(lods, hn::Set(df, kMaxLod));
    out.fine = out.coarse = base;
    out.weight = hn::Zero(di);
    switch (mipFilter) {
        case MipFilter::Point: {
            const VF nearest = hn::Floor(hn::Add(clamped, hn::Set(df, 0.5f)));
            const VF spanF = c.spanF;
            const auto capped = hn::RebindMask(di, hn::Ge(nearest, spanF));
            VI level = hn::Add(base, TruncateInRange(hn::Min(nearest, spanF)));
            level = hn::IfThenElse(capped, lastLevel, level);
            out.fine = out.coarse = hn::IfThenElse(hn::RebindMask(di, minified), level, base);
            return;
        }
        case MipFilter::None: return;
        case MipFilter::Linear: {
            const VI whole = TruncateInRange(hn::IfThenElseZero(minified, clamped));
            const auto capped = hn::Not(hn::Lt(whole, span));
            const VF fraction = hn::Sub(clamped, hn::ConvertTo(df, whole));
            const VI w = TruncateInRange(hn::Mul(fraction, hn::Set(df, 256.0f)));
            const auto blended = hn::AndNot(capped, hn::RebindMask(di, minified));
            out.weight = hn::IfThenElseZero(blended, w);
            out.fine = hn::IfThenElse(capped, lastLevel, hn::Add(base, whole));
            out.coarse = hn::Min(hn::IfThenElse(blended, hn::Add(out.fine, hn::Set(di, 1)), out.fine), lastLevel);
            return;
        }
    }
    Unreachable();
}

// The second half of sampling: where the texels lie, then the texels.
struct StageFetch {
    HWY_INLINE StageFetch() {}
    LevelFetch fine, coarse;
    bool blend;
    VI weight;
};

HWY_INLINE void Address(const SamplerSetup& s, const StageConstants& c, bool linear, FetchHints hints, const StageLookup& at,
                       StageFetch& out) {
    AddressLevel(s, c, at.fine, linear, hints, at.u, at.v, out.fine);
    out.blend = !hints.oneLevel && !hn::AllFalse(di, hn::Ne(at.weight, hn::Zero(di)));
    out.weight = at.weight;
    if (out.blend) AddressLevel(s, c, at.coarse, linear, hints, at.u, at.v, out.coarse);
}

HWY_INLINE VU Sample(const StageFetch& f, bool linear, FetchHints hints) {
    const bool blend = !hints.oneLevel && f.blend;
    if (!linear && !blend) return PointTexels(f.fine);
    Channels texels = SampleLevel(f.fine, hints);
    if (blend) texels = Lerp(texels, SampleLevel(f.coarse, hints), SpreadWeight(hn::ShiftLeft<7>(f.weight)));
    return Join(texels);
}

// A sampler the vector lookups do not take (other address modes, sizes that are not
// powers of two, different filters for minification and magnification), lane by lane.
HWY_INLINE VU SampleByPixel(const SamplerSetup& s, VF u, VF v, VF lod, MI cover) {
    alignas(HWY_MAX_BYTES) float us[kMaxLanes], vs[kMaxLanes], lods[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::uint32_t out[kMaxLanes];
    hn::Store(u, df, us);
    hn::Store(v, df, vs);
    hn::Store(lod, df, lods);
    const int lanes = static_cast<int>(hn::Lanes(du));
    for (int i = 0; i < lanes; ++i) out[i] = 0;
    alignas(HWY_MAX_BYTES) std::int32_t covered[kMaxLanes];
    hn::Store(hn::VecFromMask(di, cover), di, covered);
    for (int i = 0; i < lanes; ++i)
        if (covered[i]) out[i] = SampleTexture(s, us[i], vs[i], lods[i]);
    return hn::Load(du, out);
}

// A stage with coordinates other than a plain (u, v) (a cube, a volume, a projected set),
// lane by lane through the function the plain path calls.
HWY_INLINE VU SampleAtByPixel(const SamplerSetup& s, const float* coordinates, const float* qPlane, VF fx, float fy, VF w,
                              MI cover) {
    alignas(HWY_MAX_BYTES) float xs[kMaxLanes], ws[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::int32_t covered[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::uint32_t out[kMaxLanes] = {};
    hn::Store(fx, df, xs);
    hn::Store(w, df, ws);
    hn::Store(hn::VecFromMask(di, cover), di, covered);
    const int lanes = static_cast<int>(hn::Lanes(du));
    for (int i = 0; i < lanes; ++i)
        if (covered[i]) out[i] = SampleAt(s, coordinates, qPlane, xs[i], fy, ws[i]);
    return hn::Load(du, out);
}

#if HWY_HAVE_FLOAT64
// ---- cube stages, a group at a time ---------------------------------------------------
//
// SampleAt's cube lookup over the lanes: the same float operations in the same order, the
// texel positions in double as there, and log2 from the same library call lane by lane,
// so every lane gives SampleAt's texel.

using DF64 = hn::Repartition<double, DF>;
using DI32H = hn::Rebind<std::int32_t, DF64>;

// FloorToInt(ClampFinite(v)) of the plain sampler, in double lanes.
HWY_INLINE hn::Vec<DI32H> FloorClampedHalf(hn::Vec<DF64> v) {
    const DF64 d64;
    const auto limit = hn::Set(d64, static_cast<double>(kCoordinateClamp));
    v = hn::IfThenElse(hn::Ge(v, hn::Neg(limit)), v, hn::Neg(limit));  // NaN to the low end
    v = hn::IfThenElse(hn::Gt(v, limit), limit, v);
    const auto shifted = hn::DemoteTo(DI32H(), hn::Add(v, hn::Set(d64, 1073741824.0)));
    return hn::Sub(shifted, hn::Set(DI32H(), 1073741824));
}

// FloorToInt(ClampFinite(double(u) * size * scale - offset)) per lane (scale 1 with
// offset 0 for point lookups).
HWY_INLINE VI ScaledTexel(VF u, VI size, bool linear) {
    const DF64 d64;
    const hn::Half<DF> dh;
    const hn::Half<DI> dih;
    auto half = [&](hn::Vec<DF64> uu, hn::Vec<DF64> ss) TOLVANE_INLINE_LAMBDA {
        hn::Vec<DF64> v = hn::Mul(uu, ss);
        if (linear) v = hn::Sub(hn::Mul(v, hn::Set(d64, 256.0)), hn::Set(d64, 128.0));
        return FloorClampedHalf(v);
    };
    const VF sizes = hn::ConvertTo(df, size);  // level sizes are exact in float
    const auto low = half(hn::PromoteTo(d64, hn::LowerHalf(dh, u)), hn::PromoteTo(d64, hn::LowerHalf(dh, sizes)));
    const auto high = half(hn::PromoteTo(d64, hn::UpperHalf(dh, u)), hn::PromoteTo(d64, hn::UpperHalf(dh, sizes)));
    return hn::Combine(di, hn::BitCast(dih, high), hn::BitCast(dih, low));
}

// One level per lane (levels) of each lane's face, point or bilinear (linear per lane),
// clamped at the face's edges: SampleBox of a face as channels.
HWY_INLINE Channels SampleFaceLevel(const SamplerSetup& s, VI faces, VI levels, hn::Mask<DI> linear, VF u, VF v) {
    const SamplerSetup::LevelTables& t = s.tables;
    const VI w = LevelTable(t.width, s.texture->levelCount, levels);
    const VI h = LevelTable(t.height, s.texture->levelCount, levels);
    const VI byte = hn::Set(di, 255), one = hn::Set(di, 1), zero = hn::Zero(di);
    VI x = zero, y = zero, wx = zero, wy = zero;
    if (!hn::AllFalse(di, linear)) {
        const VI fx = ScaledTexel(u, w, true), fy = ScaledTexel(v, h, true);
        x = hn::ShiftRight<8>(fx);
        y = hn::ShiftRight<8>(fy);
        wx = hn::IfThenElseZero(linear, hn::ShiftLeft<7>(hn::And(fx, byte)));
        wy = hn::IfThenElseZero(linear, hn::ShiftLeft<7>(hn::And(fy, byte)));
    }
    if (!hn::AllTrue(di, linear)) {
        x = hn::IfThenElse(linear, x, ScaledTexel(u, w, false));
        y = hn::IfThenElse(linear, y, ScaledTexel(v, h, false));
    }
    const VI mx = hn::Sub(w, one), my = hn::Sub(h, one);
    alignas(HWY_MAX_BYTES) std::int32_t xs[2][kMaxLanes], ys[2][kMaxLanes], fs[kMaxLanes], ls[kMaxLanes];
    hn::Store(hn::Min(hn::Max(x, zero), mx), di, xs[0]);
    hn::Store(hn::Min(hn::Max(hn::Add(x, one), zero), mx), di, xs[1]);
    hn::Store(hn::Min(hn::Max(y, zero), my), di, ys[0]);
    hn::Store(hn::Min(hn::Max(hn::Add(y, one), zero), my), di, ys[1]);
    hn::Store(faces, di, fs);
    hn::Store(levels, di, ls);
    alignas(HWY_MAX_BYTES) std::uint32_t texels[4][kMaxLanes];
    const int lanes = static_cast<int>(hn::Lanes(du));
    for (int i = 0; i < lanes; ++i) {
        const SamplerLevel& level = s.texture->faces[fs[i]][ls[i]];
        const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(ys[0][i]) * level.pitch;
        const std::uint32_t* row1 = level.texels + static_cast<std::ptrdiff_t>(ys[1][i]) * level.pitch;
        texels[0][i] = row0[xs[0][i]];
        texels[1][i] = row0[xs[1][i]];
        texels[2][i] = row1[xs[0][i]];
        texels[3][i] = row1[xs[1][i]];
    }
    // Point lanes carry zero weights: the blends give their first texel exactly.
    const V16 wx16 = SpreadWeight(wx), wy16 = SpreadWeight(wy);
    const Channels top = Lerp(Split(hn::Load(du, texels[0])), Split(hn::Load(du, texels[1])), wx16);
    const Channels bottom = Lerp(Split(hn::Load(du, texels[2])), Split(hn::Load(du, texels[3])), wx16);
    return Lerp(top, bottom, wy16);
}

// A cube stage (byCoordinates, kind Cube) for a group: SampleAt lane by lane. Not
// inlined, so that the body's code for other draws stays as it was.
HWY_NOINLINE VU SampleCubeN(const SamplerSetup& s, const StageConstants& constants, const float* pc, const float* pq, VF fx,
                            float fy, VF w) {
    VF c[4], dx[4], dy[4];
    const VF zero = hn::Zero(df);
    const VF qdx = hn::Set(df, pq[1]), qdy = hn::Set(df, pq[2]);
    const int n = s.coordinates;
    for (int i = 0; i < 4; ++i) c[i] = dx[i] = dy[i] = zero;
    for (int i = 0; i < n; ++i) {
        const float* p = pc + 3 * i;
        c[i] = hn::Mul(hn::Add(hn::Set(df, p[0] + p[2] * fy), hn::Mul(hn::Set(df, p[1]), fx)), w);
        dx[i] = hn::Mul(hn::Sub(hn::Set(df, p[1]), hn::Mul(c[i], qdx)), w);
        dy[i] = hn::Mul(hn::Sub(hn::Set(df, p[2]), hn::Mul(c[i], qdy)), w);
    }
    if (s.projected) {
        const int last = n - 1;
        const VF p = c[last], px = dx[last], py = dy[last];
        const auto usable = hn::And(hn::Ne(p, zero), hn::Lt(hn::Abs(p), hn::Set(df, HUGE_VALF)));
        const VF r = hn::IfThenElseZero(usable, hn::Div(hn::Set(df, 1.0f), p));
        for (int i = 0; i < last; ++i) {
            c[i] = hn::Mul(c[i], r);
            dx[i] = hn::Mul(hn::Sub(dx[i], hn::Mul(c[i], px)), r);
            dy[i] = hn::Mul(hn::Sub(dy[i], hn::Mul(c[i], py)), r);
        }
        c[last] = dx[last] = dy[last] = zero;
    }
    // The face: the axis of the largest magnitude, x before y before z on ties.
    const VF ax = hn::Abs(c[0]), ay = hn::Abs(c[1]), az = hn::Abs(c[2]);
    const auto alongY = hn::And(hn::Gt(ay, ax), hn::Ge(ay, az));
    const auto alongZ = hn::AndNot(alongY, hn::And(hn::Gt(az, ax), hn::Gt(az, ay)));
    const auto alongX = hn::Not(hn::Or(alongY, alongZ));
    auto pick = [&](const VF* v) TOLVANE_INLINE_LAMBDA { return hn::IfThenElse(alongY, v[1], hn::IfThenElse(alongZ, v[2], v[0])); };
    const VF cm = pick(c), dxm = pick(dx), dym = pick(dy);
    const auto negative = hn::Lt(cm, zero);
    const VF one = hn::Set(df, 1.0f), minusOne = hn::Set(df, -1.0f), half = hn::Set(df, 0.5f);
    const VF major = hn::Abs(cm);
    const VF sign = hn::IfThenElse(negative, minusOne, one);
    const VF inverse = hn::IfThenElseZero(hn::Gt(major, zero), hn::Div(one, major));
    // s along z on the x faces (against the sign), else along x (with it on the z faces);
    // t along z on the y faces (with the sign), else along -y.
    const VF sSign = hn::IfThenElse(alongX, hn::Neg(sign), hn::IfThenElse(alongZ, sign, one));
    const VF tSign = hn::IfThenElse(alongY, sign, minusOne);
    const VF sc = hn::Mul(sSign, hn::IfThenElse(alongX, c[2], c[0]));
    const VF tc = hn::Mul(tSign, hn::IfThenElse(alongY, c[2], c[1]));
    const VF sFace = hn::Add(hn::Mul(hn::Mul(half, sc), inverse), half);
    const VF tFace = hn::Add(hn::Mul(hn::Mul(half, tc), inverse), half);
    const VF size = hn::Set(df, static_cast<float>(s.texture->levels[s.baseLevel].width));
    auto derivative = [&](const VF* d, const VF& alongSign, bool sAxis, const VF& value, const VF& dm) TOLVANE_INLINE_LAMBDA {
        const VF along = sAxis ? hn::IfThenElse(alongX, d[2], d[0]) : hn::IfThenElse(alongY, d[2], d[1]);
        const VF diff = hn::Sub(hn::Mul(alongSign, along), hn::Mul(hn::Mul(value, inverse), hn::Mul(sign, dm)));
        return hn::Mul(hn::Mul(hn::Mul(half, diff), inverse), size);
    };
    const VF dsx = derivative(dx, sSign, true, sc, dxm), dsy = derivative(dy, sSign, true, sc, dym);
    const VF dtx = derivative(dx, tSign, false, tc, dxm), dty = derivative(dy, tSign, false, tc, dym);
    const VF xx = hn::Add(hn::Mul(dsx, dsx), hn::Mul(dtx, dtx)), yy = hn::Add(hn::Mul(dsy, dsy), hn::Mul(dty, dty));
    alignas(HWY_MAX_BYTES) float rho2[kMaxLanes];
    hn::Store(hn::IfThenElse(hn::Gt(xx, yy), xx, yy), df, rho2);
    const int lanes = static_cast<int>(hn::Lanes(df));
    for (int i = 0; i < lanes; ++i)
        rho2[i] = rho2[i] > 0.0f ? 0.5f * std::log2(rho2[i]) + s.lodBias : -128.0f;
    const VF lod = hn::Load(df, rho2);

    StageLookup levels;
    ChooseLevelsN(constants, s.mipFilter, lod, levels);
    const auto minified = hn::RebindMask(di, hn::Gt(lod, zero));
    const bool minLinear = s.minFilter == TextureFilter::Linear, magLinear = s.magFilter == TextureFilter::Linear;
    const auto linear = minLinear == magLinear ? (minLinear ? hn::FirstN(di, lanes) : hn::FirstN(di, 0))
                                               : (minLinear ? minified : hn::Not(minified));
    const VI face = hn::Add(hn::ShiftLeft<1>(hn::IfThenElse(hn::RebindMask(di, alongY), hn::Set(di, 1),
                                                            hn::IfThenElseZero(hn::RebindMask(di, alongZ), hn::Set(di, 2)))),
                            hn::IfThenElseZero(hn::RebindMask(di, negative), hn::Set(di, 1)));
    Channels texels = SampleFaceLevel(s, face, levels.fine, linear, sFace, tFace);
    if (!hn::AllFalse(di, hn::Ne(levels.weight, hn::Zero(di))))
        texels = Lerp(texels, SampleFaceLevel(s, face, levels.coarse, linear, sFace, tFace),
                      SpreadWeight(hn::ShiftLeft<7>(levels.weight)));
    return Join(texels);
}
#endif  // HWY_HAVE_FLOAT64

// ---- the draw states a rows function tests ------------------------------------------

// The draw states the body tests, as a generic draw has them (Generic) or fixed at compile
// time to those of a common draw (see FixedStatesFor), where the tests and loops over
// them fold away.
struct Generic {
    static constexpr int kFixedStages = -1;  // the stage count is the draw's
    const DrawSetup& d;
    HWY_INLINE int StageCount() const { return d.stageCount; }
    HWY_INLINE bool Samples(int s) const { return d.stages[s].readsTexture && d.layout.texcoord[s] >= 0; }
    HWY_INLINE bool VectorSampling(int s) const { return d.stages[s].sampler.vectorSampling; }
    HWY_INLINE bool ByCoordinates(int s) const { return d.stages[s].sampler.byCoordinates; }
    HWY_INLINE bool NeedsLod(int s) const { return d.stages[s].sampler.needsLod; }
    HWY_INLINE bool Linear(int s) const { return d.stages[s].sampler.minFilter == TextureFilter::Linear; }
    HWY_INLINE MipFilter Mip(int s) const { return d.stages[s].sampler.mipFilter; }
    HWY_INLINE FetchHints Hints(int) const { return {}; }
    HWY_INLINE bool PackedStages() const { return d.stageCount == 0 || d.fastStages; }
    HWY_INLINE bool DepthTest() const { return d.depthTest; }
    HWY_INLINE CompareFunc DepthFunc() const { return d.depthCompare; }
    HWY_INLINE bool DepthWrite() const { return d.depthWrite; }
    HWY_INLINE bool ModulateChain() const { return d.modulateChain; }
    HWY_INLINE DrawSetup::ChainAlpha Alpha(int s) const { return d.chainAlpha[s]; }
    HWY_INLINE bool Specular() const { return d.layout.specular >= 0; }
    HWY_INLINE bool SpecularAdd() const { return d.specularAdd; }
    HWY_INLINE bool Fog() const { return d.layout.fog >= 0; }
    HWY_INLINE bool AlphaTest() const { return d.alphaTest; }
    HWY_INLINE bool Blend() const { return d.blend; }
    HWY_INLINE bool AllChannels() const { return d.writeMask == 0xFFFFFFFFu; }
    HWY_INLINE bool PackedDepth() const { return d.packedDepth; }
    HWY_INLINE bool Stencil() const { return d.stencil; }
    HWY_INLINE FogMode PixelFog() const { return d.pixelFog; }
};

// The most common textured draw: two textured stages, the first trilinear, the second
// point-sampled without mipmaps, a modulate chain (alpha from the first texture), a
// LESSEQUAL depth test with writes, no blending, alpha test or fog, every colour channel
// written (specular either way). Further common draws are further such structs.
struct TwoStageTrilinear : Generic {
    static constexpr int kFixedStages = 2;
    HWY_INLINE int StageCount() const { return kFixedStages; }
    HWY_INLINE bool Samples(int) const { return true; }
    HWY_INLINE bool VectorSampling(int) const { return true; }
    HWY_INLINE bool ByCoordinates(int) const { return false; }
    HWY_INLINE bool NeedsLod(int s) const { return s == 0; }
    HWY_INLINE bool Linear(int s) const { return s == 0; }
    HWY_INLINE MipFilter Mip(int s) const { return s == 0 ? MipFilter::Linear : MipFilter::None; }
    HWY_INLINE FetchHints Hints(int s) const { return s == 0 ? FetchHints{false, true} : FetchHints{true, false}; }
    HWY_INLINE bool PackedStages() const { return true; }
    HWY_INLINE bool DepthTest() const { return true; }
    HWY_INLINE CompareFunc DepthFunc() const { return CompareFunc::LessEqual; }
    HWY_INLINE bool DepthWrite() const { return true; }
    HWY_INLINE bool ModulateChain() const { return true; }
    HWY_INLINE DrawSetup::ChainAlpha Alpha(int s) const {
        return s == 0 ? DrawSetup::ChainAlpha::Texture : DrawSetup::ChainAlpha::Current;
    }
    HWY_INLINE bool Fog() const { return false; }
    HWY_INLINE bool AlphaTest() const { return false; }
    HWY_INLINE bool Blend() const { return false; }
    HWY_INLINE bool AllChannels() const { return true; }
    HWY_INLINE bool PackedDepth() const { return false; }
    HWY_INLINE bool Stencil() const { return false; }
    HWY_INLINE FogMode PixelFog() const { return FogMode::None; }
};

// Untextured geometry (the floor and ceiling of the game's corridor): the diffuse colour,
// depth tested and written, no stage sampled.
struct Untextured : Generic {
    static constexpr int kFixedStages = 0;
    HWY_INLINE int StageCount() const { return 0; }
    HWY_INLINE bool PackedStages() const { return true; }
    HWY_INLINE bool DepthTest() const { return true; }
    HWY_INLINE CompareFunc DepthFunc() const { return CompareFunc::LessEqual; }
    HWY_INLINE bool DepthWrite() const { return true; }
    HWY_INLINE bool ModulateChain() const { return false; }
    HWY_INLINE bool Fog() const { return false; }
    HWY_INLINE bool AlphaTest() const { return false; }
    HWY_INLINE bool Blend() const { return false; }
    HWY_INLINE bool AllChannels() const { return true; }
};

// f(s) for each stage s. Where the states fix the stage count, the calls are unrolled
// with s a constant, so that the tests of the stages' states fold away (loops with
// bodies this large are not unrolled by the compiler).
template <class States, class F>
HWY_INLINE void ForStages(const States& states, const F& f) {
    if constexpr (States::kFixedStages >= 0) {
        [&]<int... S>(std::integer_sequence<int, S...>) TOLVANE_INLINE_LAMBDA {
            (f(std::integral_constant<int, S>{}), ...);
        }(std::make_integer_sequence<int, States::kFixedStages>{});
    } else {
        for (int s = 0; s < states.StageCount(); ++s) f(s);
    }
}

// ---- the body -----------------------------------------------------------------------

// Groups per batch; longer spans take several batches. Eight rather than four draws the
// game's scene faster (more texel loads in flight at once).
constexpr int kBatch = 8;

// A group of pixels between the passes over a batch.
struct Group {
    HWY_INLINE Group() {}
    int gx;
    bool whole;  // every lane inside the target
    MI cover;
    VF fx, w;
    VI depth, oldDepth;  // depth buffers of other layouts: oldDepth holds the words
    StageLookup lookup[kMaxStages];
    VI stencil;  // the low bits of the words to write: stencil (and unused bits)
    MI passes;   // the stencil and depth tests, when the alpha test decides first
};

// What a row's groups share.
struct RowPlanes {
    HWY_INLINE RowPlanes() {}
    Plane z, q, u[kMaxStages], v[kMaxStages], color[7], fog;
};

// Depth test: the group's depth values and the lanes that pass.
template <class States>
HWY_INLINE bool DepthTest(const States& states, const std::uint16_t* depthRow, const RowPlanes& planes, Group& g) {
    g.depth = g.oldDepth = hn::Zero(di);
    if (!states.DepthTest() && !states.DepthWrite()) return true;
    const VF z = hn::Min(hn::Max(At(planes.z, g.fx), hn::Zero(df)), hn::Set(df, 1.0f));
    g.depth = TruncateInRange(hn::Add(hn::Mul(z, hn::Set(df, kDepthScale)), hn::Set(df, 0.5f)));
    if (!states.DepthTest()) g.depth = hn::Zero(di);
    if (g.whole) {
        g.oldDepth = hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(DDepth(), depthRow + g.gx)));
    } else {
        alignas(HWY_MAX_BYTES) std::int32_t old[kMaxLanes] = {};
        alignas(HWY_MAX_BYTES) std::int32_t covered[kMaxLanes];
        hn::Store(hn::VecFromMask(di, g.cover), di, covered);
        for (size_t i = 0; i < hn::Lanes(di); ++i)
            if (covered[i]) old[i] = depthRow[g.gx + static_cast<int>(i)];
        g.oldDepth = hn::Load(di, old);
    }
    if (states.DepthTest()) g.cover = hn::And(g.cover, Compare(states.DepthFunc(), g.depth, g.oldDepth));
    return !hn::AllFalse(di, g.cover);
}

// ---- depth buffers of other layouts and the stencil test ----------------------------

// The words of a group (16 or 32 bits) as 32-bit lanes: every lane of a whole group, the
// covered ones otherwise (the others 0).
HWY_INLINE VI LoadWords(const DrawSetup& d, const void* row, const Group& g) {
    const bool narrow = d.target.depthLayout.wordBytes == 2;
    const auto* narrowRow = static_cast<const std::uint16_t*>(row) + g.gx;
    const auto* wideRow = static_cast<const std::uint32_t*>(row) + g.gx;
    if (g.whole) {
        if (narrow) return hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(DDepth(), narrowRow)));
        return hn::BitCast(di, hn::LoadU(du, wideRow));
    }
    alignas(HWY_MAX_BYTES) std::int32_t covered[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::uint32_t words[kMaxLanes] = {};
    hn::Store(hn::VecFromMask(di, g.cover), di, covered);
    for (size_t i = 0; i < hn::Lanes(di); ++i)
        if (covered[i]) words[i] = narrow ? narrowRow[i] : wideRow[i];
    return hn::BitCast(di, hn::Load(du, words));
}

// Writes the lanes of mask.
HWY_INLINE void StoreWords(const DrawSetup& d, void* row, const Group& g, MI mask, VI words) {
    const bool narrow = d.target.depthLayout.wordBytes == 2;
    auto* narrowRow = static_cast<std::uint16_t*>(row) + g.gx;
    auto* wideRow = static_cast<std::uint32_t*>(row) + g.gx;
    if (g.whole) {
        if (narrow) {
            const VI old = hn::BitCast(di, hn::PromoteTo(du, hn::LoadU(DDepth(), narrowRow)));
            hn::StoreU(hn::DemoteTo(DDepth(), hn::IfThenElse(mask, words, old)), DDepth(), narrowRow);
        } else {
            const VU old = hn::LoadU(du, wideRow);
            hn::StoreU(hn::IfThenElse(hn::RebindMask(du, mask), hn::BitCast(du, words), old), du, wideRow);
        }
        return;
    }
    alignas(HWY_MAX_BYTES) std::int32_t selected[kMaxLanes];
    alignas(HWY_MAX_BYTES) std::uint32_t values[kMaxLanes];
    hn::Store(hn::VecFromMask(di, mask), di, selected);
    hn::Store(hn::BitCast(du, words), du, values);
    for (size_t i = 0; i < hn::Lanes(di); ++i) {
        if (!selected[i]) continue;
        if (narrow) narrowRow[i] = static_cast<std::uint16_t>(values[i]);
        else wideRow[i] = values[i];
    }
}

// A stencil operation on values within bits (the stencil's largest value).
HWY_INLINE VI StencilResult(StencilOp op, VI value, VI ref, VI bits) {
    const VI one = hn::Set(di, 1);
    switch (op) {
        case StencilOp::Keep: return value;
        case StencilOp::Zero: return hn::Zero(di);
        case StencilOp::Replace: return ref;
        case StencilOp::IncrSat: return hn::Min(hn::Add(value, one), bits);
        case StencilOp::DecrSat: return hn::Max(hn::Sub(value, one), hn::Zero(di));
        case StencilOp::Invert: return hn::Xor(value, bits);
        case StencilOp::Incr: return hn::And(hn::Add(value, one), bits);
        case StencilOp::Decr: return hn::And(hn::Sub(value, one), bits);
    }
    Unreachable();
}

// The group's stencil values written into its words, in the lanes of mask.
HWY_INLINE void WriteStencil(const DrawSetup& d, void* row, Group& g, MI mask) {
    const VI lowBits = hn::Set(di, static_cast<std::int32_t>((std::uint32_t{1} << d.depthShift) - 1));
    g.oldDepth = hn::Or(hn::AndNot(lowBits, g.oldDepth), g.stencil);
    StoreWords(d, row, g, mask, g.oldDepth);
}

// The depth test of a buffer of another layout than D16, with the stencil test where it
// is on: (ref & readMask) func (stencil & readMask), then the operation for failing the
// stencil test, failing the depth test or passing both. Without an alpha test the stencil
// is written at once and the failing lanes leave; with one, the alpha test decides which
// lanes write it (passes keeps the tests' verdict).
template <class States>
HWY_INLINE bool DepthStencilTest(const States& states, const DrawSetup& d, void* row, const RowPlanes& planes, Group& g) {
    const VI words = LoadWords(d, row, g);
    g.oldDepth = words;
    const VF z = hn::Min(hn::Max(At(planes.z, g.fx), hn::Zero(df)), hn::Set(df, 1.0f));
    g.depth = hn::Min(TruncateInRange(hn::Add(hn::Mul(z, hn::Set(df, d.depthScale)), hn::Set(df, 0.5f))),
                      hn::Set(di, d.depthMax));
    g.stencil = hn::And(words, hn::Set(di, static_cast<std::int32_t>((std::uint32_t{1} << d.depthShift) - 1)));
    MI depthPasses = hn::Eq(words, words);
    if (states.DepthTest()) {
        const VI oldDepth = hn::BitCast(di, hn::ShiftRightSame(hn::BitCast(du, words), d.depthShift));
        depthPasses = Compare(d.depthCompare, g.depth, oldDepth);
    }
    if (!states.Stencil()) {
        g.cover = hn::And(g.cover, depthPasses);
        return !hn::AllFalse(di, g.cover);
    }
    const VI bits = hn::Set(di, static_cast<std::int32_t>(d.stencilBits));
    const VI ref = hn::Set(di, static_cast<std::int32_t>(d.stencilRef));
    const VI readMask = hn::Set(di, static_cast<std::int32_t>(d.stencilReadMask));
    const VI writeMask = hn::Set(di, static_cast<std::int32_t>(d.stencilWriteMask));
    const VI old = hn::And(words, bits);
    const MI stencilPasses = Compare(d.stencilCompare, hn::And(ref, readMask), hn::And(old, readMask));
    const VI passed = hn::IfThenElse(depthPasses, StencilResult(d.stencilPass, old, ref, bits),
                                     StencilResult(d.stencilZFail, old, ref, bits));
    const VI changed = hn::IfThenElse(stencilPasses, passed, StencilResult(d.stencilFail, old, ref, bits));
    g.stencil = hn::Or(hn::AndNot(writeMask, old), hn::And(changed, writeMask));
    g.passes = hn::And(stencilPasses, depthPasses);
    if (!states.AlphaTest()) {
        WriteStencil(d, row, g, g.cover);
        g.cover = hn::And(g.cover, g.passes);
    }
    return !hn::AllFalse(di, g.cover);
}

// exp(-x) as FogExp, step for step.
HWY_INLINE VF FogExpN(VF x) {
    VF t = hn::Mul(x, hn::Set(df, 1.44269504f));
    t = hn::IfThenElse(hn::Gt(t, hn::Zero(df)), t, hn::Zero(df));
    t = hn::IfThenElse(hn::Lt(t, hn::Set(df, 126.0f)), t, hn::Set(df, 126.0f));
    const VF whole = hn::Floor(t);
    const VF r = hn::Sub(t, whole);
    VF p = hn::Add(hn::Mul(hn::Set(df, kFogExpC3), r), hn::Set(df, kFogExpC2));
    p = hn::Add(hn::Mul(p, r), hn::Set(df, kFogExpC1));
    p = hn::Add(hn::Mul(p, r), hn::Set(df, kFogExpC0));
    const VI exponent = hn::ShiftLeft<23>(hn::Sub(hn::Set(di, 127), TruncateInRange(whole)));
    return hn::Mul(p, hn::BitCast(df, exponent));
}

// The pixel fog factor of a group (see DrawSetup::wFog), as PixelFogFactor.
HWY_INLINE VF PixelFogFactor(const DrawSetup& d, FogMode mode, const RowPlanes& planes, const Group& g) {
    VF distance = g.w;
    if (!d.wFog) distance = At(planes.z, g.fx);  // the depth as interpolated, unclamped
    switch (mode) {
        case FogMode::None: return hn::Set(df, 1.0f);
        case FogMode::Linear: return hn::Sub(hn::Set(df, d.fogBias), hn::Mul(distance, hn::Set(df, d.fogScale)));
        case FogMode::Exp: return FogExpN(hn::Mul(distance, hn::Set(df, d.fogDensity)));
        case FogMode::Exp2: {
            const VF t = hn::Mul(distance, hn::Set(df, d.fogDensity));
            return FogExpN(hn::Mul(t, t));
        }
    }
    Unreachable();
}

// Level of detail and level choice of each sampled stage.
template <class States>
HWY_INLINE void LevelOfDetail(const States& states, const RowPlanes& planes, const StageConstants* constants,
                              const bool* sharesCoords, Group& g) {
    bool partial = false;
    IndicesF first{};
    bool prepared = false;  // partial and first, worked out at the first sampled stage
    ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
        if (!states.Samples(s) || states.ByCoordinates(s)) return;
        const StageConstants& c = constants[s];
        // A stage whose coordinates are those of the stage before it (common: one set
        // for both) takes them as that stage left them, uncovered lanes filled.
        const bool shared = s > 0 && states.VectorSampling(s) && states.VectorSampling(s - 1) && sharesCoords[s];
        VF u, v;
        if (shared) {
            u = g.lookup[s - 1].u;
            v = g.lookup[s - 1].v;
        } else {
            u = hn::Mul(At(planes.u[s], g.fx), g.w);
            v = hn::Mul(At(planes.v[s], g.fx), g.w);
        }
        VF lod = hn::Zero(df);
        if (states.NeedsLod(s)) {
            // du/dx = (dU/dx - u dQ/dx) / Q in texels of the largest level in use.
            const VF width = c.width, height = c.height;
            const VF qdx = planes.q.dx, qdy = hn::Set(df, planes.q.dy);
            const VF udy = hn::Set(df, planes.u[s].dy), vdy = hn::Set(df, planes.v[s].dy);
            const VF dudx = hn::Mul(hn::Mul(hn::Sub(planes.u[s].dx, hn::Mul(u, qdx)), g.w), width);
            const VF dudy = hn::Mul(hn::Mul(hn::Sub(udy, hn::Mul(u, qdy)), g.w), width);
            const VF dvdx = hn::Mul(hn::Mul(hn::Sub(planes.v[s].dx, hn::Mul(v, qdx)), g.w), height);
            const VF dvdy = hn::Mul(hn::Mul(hn::Sub(vdy, hn::Mul(v, qdy)), g.w), height);
            const VF xx = hn::Add(hn::Mul(dudx, dudx), hn::Mul(dvdx, dvdx));
            const VF yy = hn::Add(hn::Mul(dudy, dudy), hn::Mul(dvdy, dvdy));
            lod = hn::Add(hn::Mul(hn::Set(df, 0.5f), FastLog2(hn::Max(xx, yy))), c.lodBias);
        }
        StageLookup& out = g.lookup[s];
        if (!states.VectorSampling(s)) {
            out.u = u;
            out.v = v;
            out.lod = lod;
            return;
        }
        if (!prepared) {
            prepared = true;
            partial = !hn::AllTrue(di, g.cover);
            if (partial) first = hn::IndicesFromVec(df, hn::Set(di, static_cast<std::int32_t>(hn::FindKnownFirstTrue(di, g.cover))));
        }
        if (partial) {
            if (!shared) {
                u = FillUncovered(u, g.cover, first);
                v = FillUncovered(v, g.cover, first);
            }
            lod = FillUncovered(lod, g.cover, first);
        }
        out.u = u;
        out.v = v;
        ChooseLevelsN(c, states.Mip(s), lod, out);
    });
}

// Diffuse and specular of a group.
HWY_INLINE void VertexColors(const Prim& prim, bool specularPlanes, const RowPlanes& planes, const Group& g, VU& diffuse,
                             VU& specular) {
    if (prim.constantColor) {
        diffuse = hn::Set(du, prim.diffuse);
        specular = hn::Set(du, prim.specular);
        return;
    }
    auto byte = [&](int k) { return ToByte(hn::Mul(At(planes.color[k], g.fx), g.w)); };
    diffuse = PackArgb(byte(0), byte(1), byte(2), byte(3));
    specular = AlphaOne();
    if (specularPlanes) specular = hn::Or(PackArgb(byte(4), byte(5), byte(6), hn::Zero(di)), AlphaOne());
}

// Fog: the colour towards the fog colour by the group's fog factor, alpha kept.
HWY_INLINE VU FogBlend(VU color, VU fogColor, VI f) {
    f = hn::Or(f, hn::ShiftLeft<16>(f));
    f = hn::Or(f, hn::ShiftLeft<8>(f));
    const VU factor = hn::BitCast(du, f);
    const Channels c = Split(color), fc = Split(fogColor), s = Split(factor), t = Split(Invert(factor));
    const VU fogged = JoinSaturated(hn::Add(Mul255(c.even, s.even), Mul255(fc.even, t.even)),
                                    hn::Add(Mul255(c.odd, s.odd), Mul255(fc.odd, t.odd)));
    return ColorAlpha(fogged, color);
}
HWY_INLINE VU Fog(VU color, VU fogColor, const Plane& fogPlane, const Group& g) {
    return FogBlend(color, fogColor, ToByte(hn::Mul(At(fogPlane, g.fx), g.w)));
}

// Write: depth and colour of the covered lanes; the other lanes of a group inside the
// target are rewritten with their own values (they lie in the same tile).
template <class States>
HWY_INLINE void Write(const States& states, const DrawSetup& d, std::uint32_t* colorRow, std::uint16_t* depthRow,
                      const Group& g, VU color) {
    const RenderTarget& target = d.target;
    const int lanes = static_cast<int>(hn::Lanes(du));
    alignas(HWY_MAX_BYTES) std::int32_t covered[kMaxLanes];
    if (!g.whole) hn::Store(hn::VecFromMask(di, g.cover), di, covered);
    if (states.DepthWrite() && !states.PackedDepth()) {
        const VI merged = hn::IfThenElse(g.cover, g.depth, g.oldDepth);
        if (g.whole) {
            hn::StoreU(hn::DemoteTo(DDepth(), merged), DDepth(), depthRow + g.gx);
        } else {
            alignas(HWY_MAX_BYTES) std::int32_t values[kMaxLanes];
            hn::Store(merged, di, values);
            for (int i = 0; i < lanes; ++i)
                if (covered[i]) depthRow[g.gx + i] = static_cast<std::uint16_t>(values[i]);
        }
    }
    VU old;
    if (g.whole) {
        old = hn::LoadU(du, colorRow + g.gx);
    } else {
        alignas(HWY_MAX_BYTES) std::uint32_t oldValues[kMaxLanes] = {};
        for (int i = 0; i < lanes; ++i)
            if (g.gx + i < target.width) oldValues[i] = colorRow[g.gx + i];
        old = hn::Load(du, oldValues);
    }
    if (states.Blend()) color = Blend(d, color, target.hasAlpha ? old : hn::Or(old, AlphaOne()));
    VU value = states.AllChannels() ? color : hn::IfVecThenElse(hn::Set(du, d.writeMask), color, old);
    if (!target.hasAlpha) value = hn::Or(value, AlphaOne());
    value = hn::IfThenElse(hn::RebindMask(du, g.cover), value, old);
    if (g.whole) {
        hn::StoreU(value, du, colorRow + g.gx);
    } else {
        alignas(HWY_MAX_BYTES) std::uint32_t values[kMaxLanes];
        hn::Store(value, du, values);
        for (int i = 0; i < lanes; ++i)
            if (covered[i]) colorRow[g.gx + i] = values[i];
    }
}

// The planes of a row: depth, q, the coordinates of each stage sampled from (u, v), the
// colours unless the primitive has one colour, and the fog factor.
template <class States>
HWY_INLINE void SetUpRowPlanes(const States& states, const DrawSetup& d, const Prim& prim, const float* pl, float fy,
                               RowPlanes& planes) {
    const AttributeLayout& layout = d.layout;
    planes.z = MakePlane(pl, fy);
    planes.q = MakePlane(pl + 3, fy);
    ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
        const int slot = layout.texcoord[s];
        if (slot < 0 || states.ByCoordinates(s)) return;
        planes.u[s] = MakePlane(pl + 3 * (2 + slot), fy);
        planes.v[s] = MakePlane(pl + 3 * (3 + slot), fy);
    });
    if (!prim.constantColor) {
        for (int k = 0; k < 4; ++k) planes.color[k] = MakePlane(pl + 3 * (2 + k), fy);
        if (states.Specular())
            for (int k = 0; k < 3; ++k) planes.color[4 + k] = MakePlane(pl + 3 * (2 + layout.specular + k), fy);
    }
    if (states.Fog()) planes.fog = MakePlane(pl + 3 * (2 + layout.fog), fy);
}

// The first pass over a batch of groups: coverage, the depth (and stencil) test, and each
// stage's level of detail. Returns how many groups have a pixel left, gathered in groups.
template <class States>
HWY_INLINE int TestBatch(const States& states, const DrawSetup& d, const Prim& prim, const RowPlanes& planes,
                         const StageConstants* constants, const bool* sharesCoords, void* wordRow,
                         const std::uint16_t* depthRow, int batchX, int x0, int x1, Group* groups) {
    const int lanes = static_cast<int>(hn::Lanes(du));
    const VF originX = hn::Set(df, prim.originX);
    const VI laneIndex = hn::Iota(di, 0);
    int count = 0;
    for (int gx = batchX; gx < x1 && gx < batchX + lanes * kBatch; gx += lanes) {
        Group& g = groups[count];
        const VI xs = hn::Add(hn::Set(di, gx), laneIndex);
        g.gx = gx;
        g.whole = gx + lanes <= d.target.width;
        g.cover = hn::And(hn::Not(hn::Lt(xs, hn::Set(di, x0))), hn::Lt(xs, hn::Set(di, x1)));
        g.fx = hn::Sub(hn::ConvertTo(df, xs), originX);
        if (states.PackedDepth() ? !DepthStencilTest(states, d, wordRow, planes, g)
                                 : !DepthTest(states, depthRow, planes, g))
            continue;
        g.w = hn::Div(hn::Set(df, 1.0f), At(planes.q, g.fx));
        LevelOfDetail(states, planes, constants, sharesCoords, g);
        ++count;
    }
    return count;
}

// The second pass: the texel addresses of the stages sampled a group at a time, then every
// stage's texels (opaque white where a stage samples nothing; an unbound stage reads its
// alpha from the diffuse colour instead, BuildDrawSetup's doing).
template <class States>
HWY_INLINE void FetchTexels(const States& states, const DrawSetup& d, const float* pl, float fy,
                            const StageConstants* constants, Group* groups, int count,
                            VU (*fetched)[kMaxStages]) {
    const AttributeLayout& layout = d.layout;
    StageFetch where[kBatch][kMaxStages];
    for (int i = 0; i < count; ++i)
        ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
            if (states.Samples(s) && states.VectorSampling(s))
                Address(d.stages[s].sampler, constants[s], states.Linear(s), states.Hints(s), groups[i].lookup[s], where[i][s]);
        });
    for (int i = 0; i < count; ++i)
        ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
            const StageLookup& at = groups[i].lookup[s];
            if (!states.Samples(s)) fetched[i][s] = Ones();
            else if (states.VectorSampling(s)) fetched[i][s] = Sample(where[i][s], states.Linear(s), states.Hints(s));
#if HWY_HAVE_FLOAT64
            else if (states.ByCoordinates(s) && d.stages[s].sampler.kind == TextureKind::Cube)
                fetched[i][s] = SampleCubeN(d.stages[s].sampler, constants[s], pl + 3 * (2 + layout.texcoord[s]),
                                            pl + 3, groups[i].fx, fy, groups[i].w);
#endif
            else if (states.ByCoordinates(s))
                fetched[i][s] = SampleAtByPixel(d.stages[s].sampler, pl + 3 * (2 + layout.texcoord[s]), pl + 3,
                                                groups[i].fx, fy, groups[i].w, groups[i].cover);
            else fetched[i][s] = SampleByPixel(d.stages[s].sampler, at.u, at.v, at.lod, groups[i].cover);
        });
}

// The third pass, per group: the colours, the stages (a modulate chain, the packed
// operations, or pixel by pixel), the specular addition and fog.
template <class States>
HWY_INLINE VU CombineGroup(const States& states, const DrawSetup& d, const Prim& prim, const RowPlanes& planes,
                           Group& g, const VU* textures, bool whiteAlpha, VU factor, VU fogColor) {
    VU diffuse, specular;
    VertexColors(prim, states.Specular(), planes, g, diffuse, specular);
    VU color = diffuse;
    if (whiteAlpha) color = hn::Or(color, AlphaOne());
    if (states.ModulateChain()) {
        ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
            const VU product = Modulate(textures[s], color);
            switch (states.Alpha(s)) {
                case DrawSetup::ChainAlpha::Current: color = ColorAlpha(product, color); break;
                case DrawSetup::ChainAlpha::Texture: color = ColorAlpha(product, textures[s]); break;
                case DrawSetup::ChainAlpha::Product: color = product; break;
            }
        });
    } else if (states.StageCount() > 0) {
        if (states.PackedStages()) {
            StageInputs in{diffuse, diffuse, Ones(), factor, specular, hn::Zero(du)};
            color = RunStages(d, in, textures);
        } else {
            color = RunStagesByPixel(d, diffuse, specular, textures);
        }
    }
    if (states.SpecularAdd())
        color = hn::BitCast(du, hn::SaturatedAdd(hn::BitCast(d8, color), hn::BitCast(d8, hn::AndNot(AlphaOne(), specular))));
    if (states.Fog()) color = Fog(color, fogColor, planes.fog, g);
    if (states.PixelFog() != FogMode::None)
        color = FogBlend(color, fogColor, ToByte(PixelFogFactor(d, states.PixelFog(), planes, g)));
    return color;
}

// The last pass, per group: the alpha test (with the stencil writes it holds back), then
// the depth or depth-stencil words and the blended colour.
template <class States>
HWY_INLINE void FinishGroup(const States& states, const DrawSetup& d, void* wordRow, std::uint32_t* colorRow,
                            std::uint16_t* depthRow, Group& g, VU color) {
    if (states.AlphaTest()) {
        const VI alpha = hn::BitCast(di, hn::ShiftRight<24>(color));
        g.cover = hn::And(g.cover, Compare(d.alphaCompare, alpha, hn::Set(di, static_cast<std::int32_t>(d.alphaRef))));
        if (states.Stencil()) {
            WriteStencil(d, wordRow, g, g.cover);
            g.cover = hn::And(g.cover, g.passes);
        }
        if (hn::AllFalse(di, g.cover)) return;
    }
    if (states.PackedDepth() && states.DepthWrite())
        StoreWords(d, wordRow, g, g.cover, hn::Or(hn::ShiftLeftSame(g.depth, d.depthShift), g.stencil));
    Write(states, d, colorRow, depthRow, g, color);
}

// A primitive's rows within one tile, a batch of groups at a time in the passes above.
// What depends only on the draw and the primitive (texture sizes, constants) is set up
// once for all the rows: spans are short (two sixteen-pixel groups on average in the
// game's scene).
template <class States>
HWY_INLINE void ShadeRowsBody(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                              const RowSpan* spans) {
    const States states{d};
    const RenderTarget& target = d.target;
    const AttributeLayout& layout = d.layout;
    const int lanes = static_cast<int>(hn::Lanes(du));

    StageConstants constants[kMaxStages];
    ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
        if (states.Samples(s)) SetUpStage(d.stages[s].sampler, constants[s]);
    });
    // Stages sampled with the same coordinate planes as the stage before them.
    bool sharesCoords[kMaxStages] = {};
    ForStages(states, [&](auto s) TOLVANE_INLINE_LAMBDA {
        if (s == 0 || !states.Samples(s) || !states.Samples(s - 1)) return;
        const float* mine = pl + 3 * (2 + layout.texcoord[s]);
        const float* before = pl + 3 * (2 + layout.texcoord[s - 1]);
        sharesCoords[s] = std::memcmp(mine, before, 6 * sizeof(float)) == 0;
    });
    const VU factor = hn::Set(du, d.textureFactor);
    const VU fogColor = hn::Set(du, d.fogColor);
    // Untextured: a modulate chain over white texels where a stage takes the texel's alpha.
    bool whiteAlpha = false;
    if constexpr (States::kFixedStages == 0)
        for (int s = 0; s < d.stageCount; ++s) whiteAlpha = whiteAlpha || d.chainAlpha[s] == DrawSetup::ChainAlpha::Texture;

    for (int row = 0; row < rows; ++row) {
        const int x0 = spans[row].x0, x1 = spans[row].x1;
        if (x0 >= x1) continue;
        const int y = y0 + row;
        std::uint32_t* colorRow = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
        std::uint16_t* depthRow = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
        void* wordRow = nullptr;
        if (states.PackedDepth())
            wordRow = static_cast<std::uint8_t*>(target.depthStencil) +
                      static_cast<std::ptrdiff_t>(y) * target.depthPitch * target.depthLayout.wordBytes;
        const float fy = static_cast<float>(y) - prim.originY;
        RowPlanes planes;
        SetUpRowPlanes(states, d, prim, pl, fy, planes);

        const int groupMask = ~(lanes - 1);
        for (int batchX = x0 & groupMask; batchX < x1; batchX += lanes * kBatch) {
            Group groups[kBatch];
            const int count =
                TestBatch(states, d, prim, planes, constants, sharesCoords, wordRow, depthRow, batchX, x0, x1, groups);
            VU fetched[kBatch][kMaxStages];
            FetchTexels(states, d, pl, fy, constants, groups, count, fetched);
            for (int i = 0; i < count; ++i) {
                Group& g = groups[i];
                const VU color = CombineGroup(states, d, prim, planes, g, fetched[i], whiteAlpha, factor, fogColor);
                FinishGroup(states, d, wordRow, colorRow, depthRow, g, color);
            }
        }
    }
}

// Fills first .. last with value in aligned full-vector stores.
template <typename T>
HWY_INLINE void Fill(T* first, T* last, T value) {
    const hn::ScalableTag<T> d;
    const std::size_t lanes = hn::Lanes(d);
    for (; first < last && (reinterpret_cast<std::uintptr_t>(first) % (lanes * sizeof(T))) != 0; ++first) *first = value;
    const auto v = hn::Set(d, value);
    for (; static_cast<std::size_t>(last - first) >= lanes; first += lanes) hn::Store(v, d, first);
    for (; first < last; ++first) *first = value;
}

}  // namespace

void FillColorN(std::uint32_t* first, std::uint32_t* last, std::uint32_t value) { Fill(first, last, value); }
void FillDepthN(std::uint16_t* first, std::uint16_t* last, std::uint16_t value) { Fill(first, last, value); }

// The lookups of ShadeRowsBody's vector sampling (ChooseLevelsN, Address, Sample), a vector
// of lanes at a time; lanes outside lanes take the first covered lane's coordinates and
// level of detail.
void SampleGroupN(const SamplerSetup& s, std::uint32_t lanes, const float* u, const float* v, const float* lod,
                  std::uint8_t signedChannels, float (*rgba)[kMaxProgramLanes]) {
    StageConstants c;
    SetUpStage(s, c);
    const bool linear = s.minFilter == TextureFilter::Linear;
    const FetchHints hints{};
    const int n = static_cast<int>(hn::Lanes(df));
    static_assert(kMaxLanes <= kMaxProgramLanes, "a group holds a whole vector");
    const VI bit = hn::Shl(hn::Set(di, 1), hn::Iota(di, 0));
    for (int o = 0; o < kMaxProgramLanes; o += n) {
        const std::uint32_t chunk = (lanes >> o) & (n >= 32 ? ~0u : (1u << n) - 1u);
        if (chunk == 0) continue;
        const MI cover = hn::Ne(hn::And(hn::Set(di, static_cast<std::int32_t>(chunk)), bit), hn::Zero(di));
        const IndicesF first = hn::IndicesFromVec(df, hn::Set(di, __builtin_ctz(chunk)));
        auto finite = [&](VF x) TOLVANE_INLINE_LAMBDA { return hn::IfThenElseZero(hn::IsFinite(x), x); };
        StageLookup at;
        at.u = finite(FillUncovered(hn::LoadU(df, u + o), cover, first));
        at.v = finite(FillUncovered(hn::LoadU(df, v + o), cover, first));
        ChooseLevelsN(c, s.mipFilter, FillUncovered(hn::LoadU(df, lod + o), cover, first), at);
        StageFetch where;
        Address(s, c, linear, hints, at, where);
        const VI texels = hn::BitCast(di, Sample(where, linear, hints));
        // The bytes as floats: c / 255, or (c - 128) / 127 with 0 as -1 for a signed channel.
        const int shifts[4] = {16, 8, 0, 24};
        const auto mine = hn::RebindMask(df, cover);
        for (int k = 0; k < 4; ++k) {
            const VI byte = hn::And(hn::ShiftRightSame(texels, shifts[k]), hn::Set(di, 0xFF));
            VF value;
            if ((signedChannels >> k) & 1) {
                const VF scaled = hn::Div(hn::ConvertTo(df, hn::Sub(byte, hn::Set(di, 128))), hn::Set(df, 127.0f));
                value = hn::IfThenElse(hn::RebindMask(df, hn::Eq(byte, hn::Zero(di))), hn::Set(df, -1.0f), scaled);
            } else {
                value = hn::Div(hn::ConvertTo(df, byte), hn::Set(df, 255.0f));
            }
            float* out = rgba[k] + o;
            if (chunk == (n >= 32 ? ~0u : (1u << n) - 1u)) hn::StoreU(value, df, out);
            else hn::StoreU(hn::IfThenElse(mine, value, hn::LoadU(df, out)), df, out);
        }
    }
}

void ShadeRowsGeneric(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    ShadeRowsBody<Generic>(d, prim, pl, y0, rows, spans);
}

void ShadeRowsTwoStageTrilinear(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                                const RowSpan* spans) {
    ShadeRowsBody<TwoStageTrilinear>(d, prim, pl, y0, rows, spans);
}

void ShadeRowsUntextured(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    ShadeRowsBody<Untextured>(d, prim, pl, y0, rows, spans);
}
#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace raster::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace raster::detail {

HWY_EXPORT(ShadeRowsGeneric);
HWY_EXPORT(ShadeRowsTwoStageTrilinear);
HWY_EXPORT(ShadeRowsUntextured);
HWY_EXPORT(FillColorN);
HWY_EXPORT(FillDepthN);
HWY_EXPORT(SampleGroupN);

namespace {

// The slot in the dispatch tables of the best target in targets that this processor runs.
std::size_t TableIndex(std::int64_t targets) { return tolvane::simd::DispatchIndex(targets, HWY_TARGETS); }

}  // namespace

std::int64_t CompiledShadingTargets() { return HWY_TARGETS; }

std::int64_t ShadingTarget(std::int64_t targets) { return tolvane::simd::ChooseTarget(targets, HWY_TARGETS); }

RowsShader VectorRowsShader(const DrawSetup& d, std::int64_t targets, bool fixedStates) {
    const std::size_t index = TableIndex(targets);
    switch (fixedStates ? FixedStatesFor(d) : FixedStates::None) {
        case FixedStates::TwoStageTrilinear: return HWY_DISPATCH_TABLE(ShadeRowsTwoStageTrilinear)[index];
        case FixedStates::Untextured: return HWY_DISPATCH_TABLE(ShadeRowsUntextured)[index];
        case FixedStates::None: return HWY_DISPATCH_TABLE(ShadeRowsGeneric)[index];
    }
    Unreachable();
}

ColorFill ColorFiller(std::int64_t targets) { return HWY_DISPATCH_TABLE(FillColorN)[TableIndex(targets)]; }
DepthFill DepthFiller(std::int64_t targets) { return HWY_DISPATCH_TABLE(FillDepthN)[TableIndex(targets)]; }
GroupSampler GroupSamplerFor(std::int64_t targets) {
    return HWY_DISPATCH_TABLE(SampleGroupN)[TableIndex(targets)];
}

}  // namespace raster::detail
#endif  // HWY_ONCE
