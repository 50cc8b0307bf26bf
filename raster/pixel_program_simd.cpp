// The pixel program runner over the processor's vector width: the body of
// pixel_program_body.h on Highway vectors of float, one lane per pixel of the group (of
// sixteen pixels, as one vector or several), compiled for every target of the build and
// chosen at run time (PixelProgramRunner).
//
// Every instruction is a short sequence of vector operations on registers kept as four
// vectors (r, g, b, a); texel lookups go through the group's ProgramSampler (a group at a
// time for the stages the vector sampler of pixel_simd.cpp takes, else lane by lane).
// Without fused multiply-adds (the library builds with -ffp-contract=off, and the body
// never asks for one) every target gives the plain runner's bits. The pixel stage's setup
// of a group and, under a plain depth test, its tests and writes run here too, on the
// same target (SetUpProgramGroupN, WriteProgramGroupN).
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "raster/pixel_program_simd.cpp"
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstddef>

#include "raster/pipeline.h"
#include "raster/pixel_program.h"

HWY_BEFORE_NAMESPACE();
namespace raster::detail {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

#include "raster/pixel_program_body.h"

using DF = hn::CappedTag<float, kMaxProgramLanes>;
constexpr DF df;
// A group is kMaxProgramLanes pixels on every target: where a vector holds fewer lanes,
// each value is kParts vectors (lanes o * kLanes .. of part o), so that the lookups of the
// whole group are in flight together.
constexpr int kLanes = static_cast<int>(hn::MaxLanes(df));
constexpr int kParts = kMaxProgramLanes / kLanes;
static_assert(kParts * kLanes == kMaxProgramLanes, "a group is whole vectors");

// (Trivial constructors: the body's structs of them are built outside the target's attributes.)
struct Parts {
    hn::Vec<DF> p[kParts];
};
struct PartMasks {
    hn::Mask<DF> p[kParts];
};

struct VectorOps {
    using V = Parts;
    using M = PartMasks;
    const ProgramSampler& sampler;
    const ProgramGroup& group;

    template <class F>
    HWY_INLINE static V Each(F f) {
        V r;
        for (int i = 0; i < kParts; ++i) r.p[i] = f(i);
        return r;
    }
    template <class F>
    HWY_INLINE static M EachMask(F f) {
        M r;
        for (int i = 0; i < kParts; ++i) r.p[i] = f(i);
        return r;
    }
    V Set(float x) const {
        const auto v = hn::Set(df, x);
        return Each([&](int) HWY_ATTR { return v; });
    }
    V Load(const float* lanes) const { return Each([&](int i) HWY_ATTR { return hn::Load(df, lanes + i * kLanes); }); }
    V Add(const V& a, const V& b) const { return Each([&](int i) HWY_ATTR { return hn::Add(a.p[i], b.p[i]); }); }
    V Sub(const V& a, const V& b) const { return Each([&](int i) HWY_ATTR { return hn::Sub(a.p[i], b.p[i]); }); }
    V Mul(const V& a, const V& b) const { return Each([&](int i) HWY_ATTR { return hn::Mul(a.p[i], b.p[i]); }); }
    V Div(const V& a, const V& b) const { return Each([&](int i) HWY_ATTR { return hn::Div(a.p[i], b.p[i]); }); }
    V Neg(const V& a) const { return Each([&](int i) HWY_ATTR { return hn::Neg(a.p[i]); }); }
    M Gt(const V& a, const V& b) const { return EachMask([&](int i) HWY_ATTR { return hn::Gt(a.p[i], b.p[i]); }); }
    M Ge(const V& a, const V& b) const { return EachMask([&](int i) HWY_ATTR { return hn::Ge(a.p[i], b.p[i]); }); }
    M Lt(const V& a, const V& b) const { return EachMask([&](int i) HWY_ATTR { return hn::Lt(a.p[i], b.p[i]); }); }
    V Select(const M& m, const V& yes, const V& no) const {
        return Each([&](int i) HWY_ATTR { return hn::IfThenElse(m.p[i], yes.p[i], no.p[i]); });
    }
    M Or(const M& a, const M& b) const { return EachMask([&](int i) HWY_ATTR { return hn::Or(a.p[i], b.p[i]); }); }
    // The group's active lanes through the sampler; the others read 0.
    void Sample(int stage, const V& u, const V& v, const V& w, V out[4]) const {
        alignas(64) float us[kMaxProgramLanes], vs[kMaxProgramLanes], ws[kMaxProgramLanes];
        alignas(64) float texel[4][kMaxProgramLanes] = {};
        for (int i = 0; i < kParts; ++i) {
            hn::Store(u.p[i], df, us + i * kLanes);
            hn::Store(v.p[i], df, vs + i * kLanes);
            hn::Store(w.p[i], df, ws + i * kLanes);
        }
        sampler.Sample(stage, group.active, us, vs, ws, texel);
        for (int k = 0; k < 4; ++k) out[k] = Load(texel[k]);
    }
};

}  // namespace

void RunProgramN(const PixelProgram& program, const ProgramDraw& draw, const ProgramGroup& group,
                 const ProgramSampler& sampler, ProgramResult& result) {
    const VectorOps ops{sampler, group};
    ProgramBody<VectorOps> body(ops, program, draw, group);
    ProgramBody<VectorOps>::V4 out;
    auto depth = ops.Set(0.0f);
    auto killed = ops.Lt(depth, depth);
    bool wroteDepth = false;
    body.Run(out, depth, wroteDepth, killed);
    alignas(64) float kill[kMaxProgramLanes];
    for (int i = 0; i < kParts; ++i) {
        for (int k = 0; k < 4; ++k) hn::Store(out.c[k].p[i], df, result.color[k] + i * kLanes);
        hn::Store(depth.p[i], df, result.depth + i * kLanes);
        hn::Store(hn::IfThenElseZero(killed.p[i], hn::Set(df, 1.0f)), df, kill + i * kLanes);
    }
    std::uint32_t bits = 0;
    for (int lane = 0; lane < kMaxProgramLanes; ++lane)
        if (kill[lane] != 0.0f) bits |= 1u << lane;
    result.killed = bits & group.active;
}

int ProgramLanesN() { return kMaxProgramLanes; }

namespace {

using DI = hn::RebindToSigned<DF>;
constexpr DI di;

// The pixel offsets from the primitive's origin of the group at gx: gx + lane - originX.
HWY_INLINE hn::Vec<DF> GroupX(int gx, float originX) {
    return hn::Sub(hn::ConvertTo(df, hn::Add(hn::Set(di, gx), hn::Iota(di, 0))), hn::Set(df, originX));
}

// The plain stage's ToByte: NaN and below 0 to 0, 1 and above to 255, else v * 255 + 0.5 truncated.
HWY_INLINE hn::Vec<DI> ToByte(hn::Vec<DF> v) {
    v = hn::IfThenElseZero(hn::Gt(v, hn::Zero(df)), hn::Min(v, hn::Set(df, 1.0f)));
    return hn::ConvertTo(di, hn::Add(hn::Mul(v, hn::Set(df, 255.0f)), hn::Set(df, 0.5f)));
}

// The plain stage's FastLog2: -128 for x <= 0 and NaN.
HWY_INLINE hn::Vec<DF> FastLog2(hn::Vec<DF> x) {
    const auto bits = hn::BitCast(di, x);
    const auto exponent = hn::ConvertTo(df, hn::Sub(hn::ShiftRight<23>(bits), hn::Set(di, 127)));
    const auto m = hn::BitCast(df, hn::Or(hn::And(bits, hn::Set(di, 0x007FFFFF)), hn::Set(di, 0x3F800000)));
    const auto inner = hn::Add(hn::Mul(hn::Set(df, -0.34484843f), m), hn::Set(df, 2.03454529f));
    const auto poly = hn::Sub(hn::Mul(inner, m), hn::Set(df, 1.68969686f));
    return hn::IfThenElse(hn::Gt(x, hn::Zero(df)), hn::Add(exponent, poly), hn::Set(df, -128.0f));
}

HWY_INLINE hn::Mask<DI> Holds(CompareFunc func, hn::Vec<DI> value, hn::Vec<DI> reference) {
    switch (func) {
        case CompareFunc::Never: return hn::Ne(value, value);
        case CompareFunc::Less: return hn::Lt(value, reference);
        case CompareFunc::Equal: return hn::Eq(value, reference);
        case CompareFunc::LessEqual: return hn::Not(hn::Gt(value, reference));
        case CompareFunc::Greater: return hn::Gt(value, reference);
        case CompareFunc::NotEqual: return hn::Ne(value, reference);
        case CompareFunc::GreaterEqual: return hn::Not(hn::Lt(value, reference));
        case CompareFunc::Always: return hn::Eq(value, value);
    }
    Unreachable();
}

}  // namespace

// ShadeSpanProgram's group setup over the lanes, the same float operations in the same
// order: the colours as bytes, the perspective-corrected coordinates, each sampled stage's
// level of detail, and w per lane.
namespace {

// Part o of SetUpProgramGroupN: lanes o .. o + kLanes - 1 of the group.
HWY_INLINE void SetUpPart(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX, int o,
                          ProgramGroup& group, float* ws) {
    using V = hn::Vec<DF>;
    const AttributeLayout& layout = d.layout;
    const V fx = GroupX(gx + o, originX);
    const V w = hn::Div(hn::Set(df, 1.0f), hn::Add(hn::Set(df, rowBase[1]), hn::Mul(hn::Set(df, pl[4]), fx)));
    hn::StoreU(w, df, ws + o);
    auto attribute = [&](int k) HWY_ATTR {
        return hn::Mul(hn::Add(hn::Set(df, rowBase[2 + k]), hn::Mul(hn::Set(df, pl[3 * (2 + k) + 1]), fx)), w);
    };
    const V inverse255 = hn::Set(df, 255.0f);
    auto byte = [&](int k) HWY_ATTR { return hn::Div(hn::ConvertTo(df, ToByte(attribute(k))), inverse255); };
    for (int k = 0; k < 4; ++k) hn::Store(byte(k), df, group.color[0][k] + o);
    for (int k = 0; k < 3; ++k)
        hn::Store(layout.specular >= 0 ? byte(layout.specular + k) : hn::Zero(df), df, group.color[1][k] + o);
    hn::Store(hn::Set(df, 1.0f), df, group.color[1][3] + o);
    const V qdx = hn::Set(df, pl[4]), qdy = hn::Set(df, pl[5]);
    for (int s = 0; s < PixelProgram::kTextures; ++s) {
        const int slot = layout.texcoord[s];
        if (slot < 0) continue;
        V c[4];
        for (int k = 0; k < 4; ++k) {
            c[k] = attribute(slot + k);
            hn::Store(c[k], df, group.texcoord[s][k] + o);
        }
        const StageSetup& stage = d.stages[s];
        if (!stage.readsTexture || !stage.sampler.texture) continue;
        const SamplerSetup& sampler = stage.sampler;
        const float* pu = pl + 3 * (2 + slot);
        const float* pv = pu + 3;
        const SamplerLevel& base = sampler.texture->levels[sampler.baseLevel];
        const V width = hn::Set(df, static_cast<float>(base.width));
        const V height = hn::Set(df, static_cast<float>(base.height));
        const V dudx = hn::Mul(hn::Mul(hn::Sub(hn::Set(df, pu[1]), hn::Mul(c[0], qdx)), w), width);
        const V dudy = hn::Mul(hn::Mul(hn::Sub(hn::Set(df, pu[2]), hn::Mul(c[0], qdy)), w), width);
        const V dvdx = hn::Mul(hn::Mul(hn::Sub(hn::Set(df, pv[1]), hn::Mul(c[1], qdx)), w), height);
        const V dvdy = hn::Mul(hn::Mul(hn::Sub(hn::Set(df, pv[2]), hn::Mul(c[1], qdy)), w), height);
        const V xx = hn::Add(hn::Mul(dudx, dudx), hn::Mul(dvdx, dvdx));
        const V yy = hn::Add(hn::Mul(dudy, dudy), hn::Mul(dvdy, dvdy));
        const V rho2 = hn::IfThenElse(hn::Lt(xx, yy), yy, xx);  // std::max's choice, NaN included
        const V lod = hn::Add(hn::Mul(hn::Set(df, 0.5f), FastLog2(rho2)), hn::Set(df, sampler.lodBias));
        hn::Store(lod, df, group.lod[s] + o);
    }
}

}  // namespace

void SetUpProgramGroupN(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX,
                        ProgramGroup& group, float* ws) {
    for (int o = 0; o < kMaxProgramLanes; o += kLanes)
        if ((group.active >> o) != 0) SetUpPart(d, rowBase, pl, gx, originX, o, group, ws);
}

// The tests and writes of ShadeSpanProgram for the draws ProgramWritesApply takes: the
// depth test of the interpolated depth against the 16-bit buffer, then depth and colour
// (r0 as bytes) written for the lanes that pass and texkill kept.
namespace {

// Part o of WriteProgramGroupN: lanes (those of the part, from bit 0), killed likewise.
HWY_INLINE void WritePart(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX, int o,
                          std::uint32_t lanes, std::uint32_t killed, const ProgramResult& result, std::uint32_t* color,
                          std::uint16_t* depth) {
    using DU = hn::RebindToUnsigned<DF>;
    using D16 = hn::Rebind<std::uint16_t, DF>;
    const DU du;
    const D16 d16;
    const auto fx = GroupX(gx, originX);
    auto z = hn::Add(hn::Set(df, rowBase[0]), hn::Mul(hn::Set(df, pl[1]), fx));
    z = hn::Min(hn::Max(z, hn::Zero(df)), hn::Set(df, 1.0f));  // z is finite: the plain clamp
    const auto value = hn::ConvertTo(di, hn::Add(hn::Mul(z, hn::Set(df, kDepthScale)), hn::Set(df, 0.5f)));
    const auto bit = hn::Shl(hn::Set(di, 1), hn::Iota(di, 0));
    const auto kept = hn::Set(di, static_cast<std::int32_t>(lanes & ~killed));
    const auto wanted = hn::Ne(hn::And(kept, bit), hn::Zero(di));
    // A group that ends inside the row reads and writes its pixels one by one: the others
    // may lie past the buffer or in another worker's tile.
    const int n = 32 - __builtin_clz(lanes);
    const bool whole = n == static_cast<int>(hn::Lanes(df));
    alignas(64) std::uint16_t depths[kMaxProgramLanes] = {};
    if (!whole)
        for (int i = 0; i < n; ++i) depths[i] = depth[i];
    const auto stored = hn::PromoteTo(di, hn::LoadU(d16, whole ? depth : depths));
    const auto passes = hn::And(wanted, Holds(d.depthCompare, value, stored));
    if (hn::AllFalse(di, passes)) return;
    auto channel = [&](int k) HWY_ATTR { return ToByte(hn::Load(df, result.color[k] + o)); };
    const auto argb = hn::Or(hn::Or(hn::ShiftLeft<24>(channel(3)), hn::ShiftLeft<16>(channel(0))),
                             hn::Or(hn::ShiftLeft<8>(channel(1)), channel(2)));
    auto out = hn::BitCast(du, argb);
    if (!d.target.hasAlpha) out = hn::Or(out, hn::Set(du, kOpaqueAlpha));
    if (whole) {
        // The group's pixels are this span's: the failing ones are stored as they were.
        hn::StoreU(hn::DemoteTo(d16, hn::IfThenElse(passes, value, stored)), d16, depth);
        hn::StoreU(hn::IfThenElse(hn::RebindMask(du, passes), out, hn::LoadU(du, color)), du, color);
        return;
    }
    alignas(64) std::uint32_t colors[kMaxProgramLanes];
    alignas(64) std::int32_t values[kMaxProgramLanes], written[kMaxProgramLanes];
    hn::Store(out, du, colors);
    hn::Store(value, di, values);
    hn::Store(hn::VecFromMask(di, passes), di, written);
    for (int i = 0; i < n; ++i)
        if (written[i]) {
            depth[i] = static_cast<std::uint16_t>(values[i]);
            color[i] = colors[i];
        }
}

}  // namespace

void WriteProgramGroupN(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX,
                        std::uint32_t lanes, const ProgramResult& result, std::uint32_t* color, std::uint16_t* depth) {
    constexpr std::uint32_t kPart = kLanes >= 32 ? ~0u : (1u << kLanes) - 1u;
    for (int o = 0; o < kMaxProgramLanes; o += kLanes) {
        const std::uint32_t part = (lanes >> o) & kPart;
        if (part != 0)
            WritePart(d, rowBase, pl, gx + o, originX, o, part, (result.killed >> o) & kPart, result, color + o,
                      depth + o);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace raster::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace raster {
namespace detail {

HWY_EXPORT(RunProgramN);
HWY_EXPORT(ProgramLanesN);
HWY_EXPORT(SetUpProgramGroupN);
HWY_EXPORT(WriteProgramGroupN);

namespace {

// The index in the dispatch tables of the best target in targets that this processor runs
// (the portable fallback when none).
std::size_t ProgramTableIndex(std::int64_t targets) {
    static const std::int64_t supported = hwy::SupportedTargets();
    const std::int64_t usable = targets & supported & HWY_TARGETS;
    const std::int64_t chosen =
        (HWY_CHOSEN_TARGET_SHIFT(usable) | HWY_CHOSEN_TARGET_MASK_SCALAR) & HWY_CHOSEN_TARGET_MASK_TARGETS;
    return hwy::Num0BitsBelowLS1Bit_Nonzero64(static_cast<std::uint64_t>(chosen));
}

}  // namespace
}  // namespace detail

ProgramRunner PixelProgramRunner(std::int64_t targets) {
    return HWY_DISPATCH_TABLE(detail::RunProgramN)[detail::ProgramTableIndex(targets)];
}

int ProgramLanes(std::int64_t targets) {
    return HWY_DISPATCH_TABLE(detail::ProgramLanesN)[detail::ProgramTableIndex(targets)]();
}

std::int64_t CompiledProgramTargets() { return HWY_TARGETS; }

namespace detail {

ProgramSetup ProgramSetupFor(std::int64_t targets) {
    return HWY_DISPATCH_TABLE(SetUpProgramGroupN)[ProgramTableIndex(targets)];
}

ProgramWrite ProgramWriteFor(std::int64_t targets) {
    return HWY_DISPATCH_TABLE(WriteProgramGroupN)[ProgramTableIndex(targets)];
}

}  // namespace detail

}  // namespace raster
#endif  // HWY_ONCE
