// The pixel program runner over the processor's vector width: the body of
// pixel_program_body.h on Highway vectors of float, one lane per pixel of the group,
// compiled for every target of the build and chosen at run time (PixelProgramRunner).
//
// Every instruction is a short sequence of vector operations on registers kept as four
// vectors (r, g, b, a); texel lookups go lane by lane through the group's ProgramSampler.
// Without fused multiply-adds (the library builds with -ffp-contract=off, and the body
// never asks for one) every target gives the plain runner's bits.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "raster/pixel_program_simd.cpp"
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <cstddef>

#include "raster/pixel_program.h"

HWY_BEFORE_NAMESPACE();
namespace raster::detail {
namespace HWY_NAMESPACE {
namespace {

namespace hn = hwy::HWY_NAMESPACE;

#include "raster/pixel_program_body.h"

using DF = hn::CappedTag<float, kMaxProgramLanes>;
constexpr DF df;

struct VectorOps {
    using V = hn::Vec<DF>;
    using M = hn::Mask<DF>;
    const ProgramSampler& sampler;
    const ProgramGroup& group;

    V Set(float x) const { return hn::Set(df, x); }
    V Load(const float* lanes) const { return hn::Load(df, lanes); }
    V Add(V a, V b) const { return hn::Add(a, b); }
    V Sub(V a, V b) const { return hn::Sub(a, b); }
    V Mul(V a, V b) const { return hn::Mul(a, b); }
    V Div(V a, V b) const { return hn::Div(a, b); }
    V Neg(V a) const { return hn::Neg(a); }
    M Gt(V a, V b) const { return hn::Gt(a, b); }
    M Ge(V a, V b) const { return hn::Ge(a, b); }
    M Lt(V a, V b) const { return hn::Lt(a, b); }
    V Select(M m, V yes, V no) const { return hn::IfThenElse(m, yes, no); }
    M Or(M a, M b) const { return hn::Or(a, b); }
    // The group's active lanes through the sampler; the others read 0.
    void Sample(int stage, V u, V v, V w, V out[4]) const {
        alignas(64) float us[kMaxProgramLanes], vs[kMaxProgramLanes], ws[kMaxProgramLanes];
        alignas(64) float texel[4][kMaxProgramLanes] = {};
        hn::Store(u, df, us);
        hn::Store(v, df, vs);
        hn::Store(w, df, ws);
        const int lanes = static_cast<int>(hn::Lanes(df));
        const std::uint32_t all = lanes >= 32 ? ~0u : (1u << lanes) - 1u;
        sampler.Sample(stage, group.active & all, us, vs, ws, texel);
        for (int k = 0; k < 4; ++k) out[k] = hn::Load(df, texel[k]);
    }
};

}  // namespace

void RunProgramN(const PixelProgram& program, const ProgramDraw& draw, const ProgramGroup& group,
                 const ProgramSampler& sampler, ProgramResult& result) {
    const VectorOps ops{sampler, group};
    ProgramBody<VectorOps> body(ops, program, draw, group);
    ProgramBody<VectorOps>::V4 out;
    const auto zero = hn::Zero(df);
    auto depth = zero;
    auto killed = hn::Lt(zero, zero);
    bool wroteDepth = false;
    body.Run(out, depth, wroteDepth, killed);
    for (int k = 0; k < 4; ++k) hn::Store(out.c[k], df, result.color[k]);
    hn::Store(depth, df, result.depth);
    alignas(64) float kill[kMaxProgramLanes];
    hn::Store(hn::IfThenElseZero(killed, hn::Set(df, 1.0f)), df, kill);
    const int lanes = static_cast<int>(hn::Lanes(df));
    std::uint32_t bits = 0;
    for (int lane = 0; lane < lanes; ++lane)
        if (kill[lane] != 0.0f) bits |= 1u << lane;
    result.killed = bits & group.active;
}

int ProgramLanesN() { return static_cast<int>(hn::Lanes(df)); }

}  // namespace HWY_NAMESPACE
}  // namespace raster::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace raster {
namespace detail {

HWY_EXPORT(RunProgramN);
HWY_EXPORT(ProgramLanesN);

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

}  // namespace raster
#endif  // HWY_ONCE
