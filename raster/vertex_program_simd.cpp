// Vertex programs over the processor's vector width, written once and compiled for every
// Highway target of the build, one chosen at run time (VertexProgram::Run).
//
// One vertex per lane: each register component is a vector across a batch of vertices
// (structure of arrays), and each lowered step is a short sequence of vector operations.
// Every step does the plain interpreter's float operations in the same order (the library
// builds with -ffp-contract=off; rcp and rsq divide exactly; exp and log are the shared
// polynomials of vertex_program_math.h), so every target gives the same bits as RunRef.
//
// Inputs come in per vertex and are turned into components by an interleaved load of
// four-float groups; outputs go back the same way.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "raster/vertex_program_simd.cpp"
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstring>

#include "raster/vertex_program.h"
#include "raster/vertex_program_math.h"

HWY_BEFORE_NAMESPACE();
namespace raster::detail {
namespace HWY_NAMESPACE {

#if HWY_TARGET == HWY_SCALAR
// One lane: the plain interpreter is the same thing.
void RunProgramN(const VertexProgram& program, const ProgramConstants& constants, const VertexProgramInput& in,
                 std::size_t count, const VertexProgramOutput& out) {
    program.RunRef(constants, in, count, out);
}
#else
namespace {

namespace hn = hwy::HWY_NAMESPACE;
namespace pm = raster::detail::program;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MF = hn::Mask<DF>;

constexpr DF df;
constexpr DI di;
constexpr int kMaxLanes = HWY_MAX_BYTES / 4;

using Step = VertexProgram::Step;
using StepOp = VertexProgram::StepOp;
using Source = VertexProgram::Source;

// The plain version's comparisons: a NaN operand takes the second operand.
HWY_INLINE VF MinOf(VF a, VF b) { return hn::IfThenElse(hn::Lt(a, b), a, b); }
HWY_INLINE VF MaxOf(VF a, VF b) { return hn::IfThenElse(hn::Gt(a, b), a, b); }
HWY_INLINE VF One() { return hn::Set(df, 1.0f); }
HWY_INLINE MF NotANumber(VF v) { return hn::Not(hn::Eq(v, v)); }
HWY_INLINE VF Saturate(VF v) { return MinOf(MaxOf(v, hn::Zero(df)), One()); }
HWY_INLINE VF Partial(VF v) {
    return hn::BitCast(df, hn::And(hn::BitCast(di, v), hn::Set(di, static_cast<std::int32_t>(pm::kPartialMask))));
}

// Fraction in vertex_program.cpp.
HWY_INLINE VF Fraction(VF x, VF floor) { return hn::Add(hn::Sub(x, floor), hn::Zero(df)); }

// pm::Exp2, lane for lane.
HWY_INLINE VF Exp2(VF x) {
    VF n = hn::Floor(hn::Add(x, hn::Set(df, 0.5f)));
    const VF f = hn::Sub(x, n);
    VF p = hn::Set(df, pm::kExp2[7]);
    for (int k = 6; k >= 0; --k) p = hn::Add(hn::Mul(p, f), hn::Set(df, pm::kExp2[k]));
    // Lanes outside [-126, 128) or NaN are replaced below; their n is kept in range here.
    n = MinOf(MaxOf(n, hn::Set(df, -126.0f)), hn::Set(df, 128.0f));
    const VI ni = hn::ConvertTo(di, hn::IfThenElseZero(hn::Eq(n, n), n));
    const VI exponent = hn::Add(hn::Min(ni, hn::Set(di, 127)), hn::Set(di, 127));
    const VF scale = hn::BitCast(df, hn::ShiftLeft<23>(exponent));
    const VF extra = hn::IfThenElse(hn::RebindMask(df, hn::Gt(ni, hn::Set(di, 127))), hn::Set(df, 2.0f), One());
    VF r = hn::Mul(hn::Mul(p, scale), extra);
    r = hn::IfThenZeroElse(hn::Lt(x, hn::Set(df, -126.0f)), r);
    r = hn::IfThenElse(hn::Ge(x, hn::Set(df, 128.0f)), hn::Set(df, pm::kInfinity), r);
    return hn::IfThenElse(NotANumber(x), x, r);
}

// pm::Log2, lane for lane.
HWY_INLINE VF Log2(VF x) {
    const VF a = hn::Abs(x);
    const VI bits = hn::BitCast(di, a);
    VI e = hn::Sub(hn::ShiftRight<23>(bits), hn::Set(di, 127));
    VF m = hn::BitCast(df, hn::Or(hn::And(bits, hn::Set(di, 0x007FFFFF)), hn::Set(di, 0x3F800000)));
    const MF big = hn::Gt(m, hn::Set(df, pm::kSqrt2));
    m = hn::IfThenElse(big, hn::Mul(m, hn::Set(df, 0.5f)), m);
    e = hn::IfThenElse(hn::RebindMask(di, big), hn::Add(e, hn::Set(di, 1)), e);
    const VF t = hn::Div(hn::Sub(m, One()), hn::Add(m, One()));
    const VF t2 = hn::Mul(t, t);
    VF s = hn::Set(df, pm::kLogSeries[4]);
    for (int k = 3; k >= 0; --k) s = hn::Add(hn::Mul(s, t2), hn::Set(df, pm::kLogSeries[k]));
    VF r = hn::Add(hn::ConvertTo(df, e), hn::Mul(hn::Mul(t, s), hn::Set(df, pm::kInverseLn2)));
    r = hn::IfThenElse(hn::Eq(a, hn::Set(df, pm::kInfinity)), a, r);
    r = hn::IfThenElse(hn::Lt(a, hn::Set(df, pm::kMinNormal)), hn::Set(df, -pm::kMaxFloat), r);
    return hn::IfThenElse(NotANumber(a), a, r);
}

// mov a0.x (see ToAddress in vertex_program.cpp).
HWY_INLINE VI ToAddress(VF x) {
    constexpr float kFar = 1024.0f;
    VF r = hn::Round(MinOf(MaxOf(x, hn::Set(df, -kFar)), hn::Set(df, kFar)));
    r = hn::IfThenElse(hn::Eq(hn::Sub(x, r), hn::Set(df, 0.5f)), hn::Add(r, One()), r);
    r = hn::IfThenElse(NotANumber(x), hn::Set(df, kFar), r);
    return hn::ConvertTo(di, r);
}

struct Batch {
    VF reg[VertexProgram::kRegisters][4];
    VI address;
};

// The components c of a source (bit c of components), swizzled and negated.
HWY_INLINE void Fetch(const Source& s, unsigned components, const Batch& b, const ProgramConstants& constants,
                      VF out[4]) {
    switch (s.kind) {
        case Source::Kind::Register:
            for (int c = 0; c < 4; ++c)
                if (components & (1u << c)) out[c] = b.reg[s.index][s.swizzle[c]];
            break;
        case Source::Kind::Constant:
            for (int c = 0; c < 4; ++c)
                if (components & (1u << c)) out[c] = hn::Set(df, constants[s.index][s.swizzle[c]]);
            break;
        case Source::Kind::Relative: {
            const VI index = hn::Add(b.address, hn::Set(di, s.index));
            const auto inside = hn::AndNot(hn::Lt(index, hn::Zero(di)), hn::Lt(index, hn::Set(di, kProgramConstants)));
            const VI first = hn::ShiftLeft<2>(hn::IfThenElseZero(inside, index));
            for (int c = 0; c < 4; ++c) {
                if (!(components & (1u << c))) continue;
                const VF v = hn::GatherIndex(df, &constants[0][0], hn::Add(first, hn::Set(di, s.swizzle[c])));
                out[c] = hn::IfThenElseZero(hn::RebindMask(df, inside), v);
            }
            break;
        }
    }
    if (s.negate)
        for (int c = 0; c < 4; ++c)
            if (components & (1u << c)) out[c] = hn::Neg(out[c]);
}

HWY_INLINE void Execute(const Step& step, Batch& b, const ProgramConstants& constants) {
    const unsigned mask = step.mask;
    // The components each source is read at: the written ones for componentwise ops.
    unsigned read = mask;
    switch (step.op) {
        case StepOp::Dp3: read = 0x7; break;
        case StepOp::Dp4:
        case StepOp::Dst: read = 0xF; break;
        case StepOp::Lit: read = 0xB; break;
        case StepOp::Rcp:
        case StepOp::Rsq:
        case StepOp::Exp:
        case StepOp::Log:
        case StepOp::Expp:
        case StepOp::Logp:
        case StepOp::SetAddress: read = 0x1; break;
        default: break;
    }
    VF s[3][4];
    for (int i = 0; i < step.sources; ++i) Fetch(step.src[i], read, b, constants, s[i]);
    const VF* x = s[0];
    const VF* y = s[1];
    const VF* z = s[2];
    VF r[4] = {hn::Zero(df), hn::Zero(df), hn::Zero(df), hn::Zero(df)};
    auto all = [&](VF v) { r[0] = r[1] = r[2] = r[3] = v; };
    auto each = [&](auto f) {
        for (int c = 0; c < 4; ++c)
            if (mask & (1u << c)) r[c] = f(c);
    };
    switch (step.op) {
        case StepOp::Mov: each([&](int c) { return x[c]; }); break;
        case StepOp::Add: each([&](int c) { return hn::Add(x[c], y[c]); }); break;
        case StepOp::Sub: each([&](int c) { return hn::Sub(x[c], y[c]); }); break;
        case StepOp::Mul: each([&](int c) { return hn::Mul(x[c], y[c]); }); break;
        case StepOp::Mad: each([&](int c) { return hn::Add(hn::Mul(x[c], y[c]), z[c]); }); break;
        case StepOp::Dp3:
            all(hn::Add(hn::Add(hn::Mul(x[0], y[0]), hn::Mul(x[1], y[1])), hn::Mul(x[2], y[2])));
            break;
        case StepOp::Dp4:
            all(hn::Add(hn::Add(hn::Add(hn::Mul(x[0], y[0]), hn::Mul(x[1], y[1])), hn::Mul(x[2], y[2])),
                        hn::Mul(x[3], y[3])));
            break;
        case StepOp::Min: each([&](int c) { return MinOf(x[c], y[c]); }); break;
        case StepOp::Max: each([&](int c) { return MaxOf(x[c], y[c]); }); break;
        case StepOp::Slt: each([&](int c) { return hn::IfThenElseZero(hn::Lt(x[c], y[c]), One()); }); break;
        case StepOp::Sge: each([&](int c) { return hn::IfThenElseZero(hn::Ge(x[c], y[c]), One()); }); break;
        case StepOp::Frc: each([&](int c) { return Fraction(x[c], hn::Floor(x[c])); }); break;
        case StepOp::Rcp:
            all(hn::IfThenElse(hn::Eq(x[0], hn::Zero(df)), hn::Set(df, pm::kInfinity), hn::Div(One(), x[0])));
            break;
        case StepOp::Rsq: {
            const VF a = hn::Abs(x[0]);
            all(hn::IfThenElse(hn::Eq(a, hn::Zero(df)), hn::Set(df, pm::kInfinity), hn::Div(One(), hn::Sqrt(a))));
            break;
        }
        case StepOp::Exp: all(Exp2(x[0])); break;
        case StepOp::Log: all(Log2(x[0])); break;
        case StepOp::Expp: {
            const VF floor = hn::Floor(x[0]);
            r[0] = Exp2(floor);
            r[1] = Fraction(x[0], floor);
            r[2] = Partial(Exp2(x[0]));
            r[3] = One();
            break;
        }
        case StepOp::Logp: {
            const VF a = hn::Abs(x[0]);
            const VI bits = hn::BitCast(di, a);
            const MF zero = hn::Lt(a, hn::Set(df, pm::kMinNormal));
            const VF minus = hn::Set(df, -pm::kMaxFloat);
            r[0] = hn::IfThenElse(zero, minus, hn::ConvertTo(df, hn::Sub(hn::ShiftRight<23>(bits), hn::Set(di, 127))));
            r[1] = hn::IfThenElse(zero, One(), hn::BitCast(df, hn::Or(hn::And(bits, hn::Set(di, 0x007FFFFF)),
                                                                      hn::Set(di, 0x3F800000))));
            r[2] = hn::IfThenElse(zero, minus, Partial(Log2(a)));
            r[3] = One();
            break;
        }
        case StepOp::Lit: {
            const VF limit = hn::Set(df, pm::kLitMaxPower);
            const VF power = hn::IfThenElse(hn::Lt(x[3], hn::Neg(limit)), hn::Neg(limit),
                                            hn::IfThenElse(hn::Gt(x[3], limit), limit, x[3]));
            const MF lit = hn::Gt(x[0], hn::Zero(df));
            const MF shiny = hn::And(lit, hn::Gt(x[1], hn::Zero(df)));
            r[0] = r[3] = One();
            r[1] = hn::IfThenElseZero(lit, x[0]);
            r[2] = hn::IfThenElseZero(shiny, Exp2(hn::Mul(power, Log2(x[1]))));
            break;
        }
        case StepOp::Dst:
            r[0] = One();
            r[1] = hn::Mul(x[1], y[1]);
            r[2] = x[2];
            r[3] = y[3];
            break;
        case StepOp::SetAddress: b.address = ToAddress(x[0]); return;
    }
    for (int c = 0; c < 4; ++c)
        if (mask & (1u << c)) b.reg[step.dst][c] = r[c];
}

}  // namespace

void RunProgramN(const VertexProgram& program, const ProgramConstants& constants, const VertexProgramInput& in,
                 std::size_t count, const VertexProgramOutput& out) {
    const std::size_t lanes = hn::Lanes(df);
    alignas(64) float group[4 * kMaxLanes] = {};
    Batch b;
    const std::uint64_t readFirst = program.TempsReadFirst();
    const std::uint32_t inputs = program.InputsRead();
    const std::span<const Step> steps = program.Steps();

    // The stored outputs: register, offset, components, saturated.
    struct Stored {
        int reg, offset, components;
        bool saturate;
    };
    Stored stored[4 + kProgramColors + kProgramTexcoords];
    int storedCount = 0;
    auto keep = [&](int reg, int offset, int components, bool saturate) {
        if (offset >= 0) stored[storedCount++] = {reg, offset, components, saturate};
    };
    keep(VertexProgram::kPosition, out.position, 4, false);
    for (int k = 0; k < kProgramColors; ++k) keep(VertexProgram::kColor0 + k, out.color[k], out.colorCount[k], true);
    for (int k = 0; k < kProgramTexcoords; ++k)
        keep(VertexProgram::kTexcoord0 + k, out.texcoord[k], out.texcoordCount[k], false);
    keep(VertexProgram::kFog, out.fog, 1, true);
    keep(VertexProgram::kPointSize, out.pointSize, 1, false);

    for (std::size_t first = 0; first < count; first += lanes) {
        const std::size_t n = std::min(lanes, count - first);
        for (std::uint64_t left = readFirst; left != 0; left &= left - 1) {
            const int bit = __builtin_ctzll(left);
            b.reg[VertexProgram::kTemp0 + bit / 4][bit % 4] = hn::Zero(df);
        }
        for (int v = 0; v < kProgramInputs; ++v) {
            if (!(inputs & (1u << v))) continue;
            VF* reg = b.reg[VertexProgram::kInput0 + v];
            if (in.offset[v] < 0) {
                reg[0] = reg[1] = reg[2] = hn::Zero(df);
                reg[3] = One();
                continue;
            }
            const float* from = in.data + first * in.stride + in.offset[v];
            for (std::size_t i = 0; i < n; ++i) std::memcpy(group + 4 * i, from + i * in.stride, 4 * sizeof(float));
            hn::LoadInterleaved4(df, group, reg[0], reg[1], reg[2], reg[3]);
        }
        for (int k = 0; k < storedCount; ++k)
            for (VF& c : b.reg[stored[k].reg]) c = hn::Zero(df);
        b.address = hn::Zero(di);

        for (const Step& step : steps) Execute(step, b, constants);

        float* to = out.data + first * out.stride;
        for (int k = 0; k < storedCount; ++k) {
            const Stored& s = stored[k];
            VF c[4];
            for (int i = 0; i < 4; ++i) c[i] = s.saturate ? Saturate(b.reg[s.reg][i]) : b.reg[s.reg][i];
            if (s.components == 1) {
                hn::Store(c[0], df, group);
                for (std::size_t i = 0; i < n; ++i) to[i * out.stride + s.offset] = group[i];
                continue;
            }
            hn::StoreInterleaved4(c[0], c[1], c[2], c[3], df, group);
            const std::size_t bytes = static_cast<std::size_t>(s.components) * sizeof(float);
            for (std::size_t i = 0; i < n; ++i) std::memcpy(to + i * out.stride + s.offset, group + 4 * i, bytes);
        }
    }
}
#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace raster::detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace raster {
namespace detail {

HWY_EXPORT(RunProgramN);

namespace {

std::int64_t Supported() {
    static const std::int64_t supported = hwy::SupportedTargets();
    return supported;
}

// The index in the dispatch table of the best target in targets that this processor runs
// (the portable fallback when none).
std::size_t TableIndex(std::int64_t targets) {
    const std::int64_t usable = targets & Supported() & HWY_TARGETS;
    const std::int64_t chosen = (HWY_CHOSEN_TARGET_SHIFT(usable) | HWY_CHOSEN_TARGET_MASK_SCALAR) & HWY_CHOSEN_TARGET_MASK_TARGETS;
    return hwy::Num0BitsBelowLS1Bit_Nonzero64(static_cast<std::uint64_t>(chosen));
}

}  // namespace

std::int64_t CompiledVertexProgramTargets() { return HWY_TARGETS; }

std::int64_t VertexProgramTarget(std::int64_t targets) {
    const std::int64_t usable = targets & Supported() & HWY_TARGETS;
    if (usable == 0) return HWY_TARGETS & (HWY_EMU128 | HWY_SCALAR) ? HWY_TARGETS & (HWY_EMU128 | HWY_SCALAR) : HWY_STATIC_TARGET;
    return usable & -usable;
}

void RunProgram(const VertexProgram& program, const ProgramConstants& constants, const VertexProgramInput& in,
                std::size_t count, const VertexProgramOutput& out, std::int64_t targets) {
    HWY_DISPATCH_TABLE(RunProgramN)[TableIndex(targets)](program, constants, in, count, out);
}

}  // namespace detail

void VertexProgram::Run(const ProgramConstants& constants, const VertexProgramInput& in, std::size_t count,
                        const VertexProgramOutput& out, std::int64_t targets) const {
    detail::RunProgram(*this, constants, in, count, out, targets);
}

}  // namespace raster
#endif  // HWY_ONCE
