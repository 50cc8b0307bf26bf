// vs.1.1 vertex programs: every instruction on every vector target against the plain
// interpreter (bit for bit), and the interpreter against values worked out on their own.
#include <gtest/gtest.h>
#include <hwy/targets.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "raster/vertex_program.h"

namespace {

using raster::DestFile;
using raster::SourceFile;
using raster::VertexInstruction;
using raster::VertexOp;
using raster::VertexProgram;
using raster::VertexProgramError;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kMax = std::numeric_limits<float>::max();

// Every output register, packed.
struct Out {
    float position[4], color[2][4], texcoord[8][4], fog, pointSize;
};
struct In {
    float v[16][4];
};

raster::VertexProgramOutput Layout(std::vector<Out>& out) {
    raster::VertexProgramOutput o;
    o.data = out[0].position;
    o.stride = sizeof(Out) / sizeof(float);
    o.position = 0;
    for (int k = 0; k < 2; ++k) o.color[k] = static_cast<int>(offsetof(Out, color) / 4) + 4 * k;
    for (int k = 0; k < 8; ++k) o.texcoord[k] = static_cast<int>(offsetof(Out, texcoord) / 4) + 4 * k;
    o.fog = static_cast<int>(offsetof(Out, fog) / 4);
    o.pointSize = static_cast<int>(offsetof(Out, pointSize) / 4);
    return o;
}

raster::VertexProgramInput Inputs(const std::vector<In>& in) {
    raster::VertexProgramInput i;
    i.data = in[0].v[0];
    i.stride = sizeof(In) / sizeof(float);
    for (int v = 0; v < 16; ++v) i.offset[v] = 4 * v;
    return i;
}

// Operand builders: r(2), v(0), c(5), with .swizzle("wzyx"), negated, relative.
struct Src {
    raster::SourceOperand s;
    Src swz(const char* sw) const {
        Src o = *this;
        for (int c = 0; c < 4; ++c) {
            const char ch = sw[std::strlen(sw) > static_cast<std::size_t>(c) ? c : std::strlen(sw) - 1];
            o.s.swizzle[c] = static_cast<std::uint8_t>(ch == 'x' ? 0 : ch == 'y' ? 1 : ch == 'z' ? 2 : 3);
        }
        return o;
    }
    Src neg() const {
        Src o = *this;
        o.s.negate = true;
        return o;
    }
};
Src r(int i) { return {{SourceFile::Temp, static_cast<std::uint8_t>(i)}}; }
Src v(int i) { return {{SourceFile::Input, static_cast<std::uint8_t>(i)}}; }
Src c(int i, bool relative = false) { return {{SourceFile::Constant, static_cast<std::uint8_t>(i), relative}}; }

raster::DestOperand D(DestFile file, int index = 0, std::uint8_t mask = 0xF) {
    return {file, static_cast<std::uint8_t>(index), mask};
}
VertexInstruction I(VertexOp op, raster::DestOperand d, Src a = {}, Src b = {}, Src m = {}) {
    return {op, d, {a.s, b.s, m.s}};
}

struct Runs {
    std::vector<Out> ref, vec;
};

// The same bits in every float; NaNs match any NaN (which operand's NaN an operation on
// two of them passes on is the compiler's choice).
bool SameBits(const Out& a, const Out& b) {
    const float* x = a.position;
    const float* y = b.position;
    for (std::size_t i = 0; i < sizeof(Out) / sizeof(float); ++i)
        if (std::memcmp(x + i, y + i, sizeof(float)) != 0 && !(std::isnan(x[i]) && std::isnan(y[i]))) return false;
    return true;
}

// Runs program over inputs with both the interpreter and the vector target(s), expecting
// the same bits.
Runs RunBoth(const std::vector<VertexInstruction>& program, const std::vector<In>& in,
            const raster::ProgramConstants& constants, std::int64_t targets = -1) {
    VertexProgram p;
    const VertexProgramError error = p.Build(program);
    EXPECT_EQ(error, VertexProgramError::None) << raster::VertexProgramErrorText(error);
    Runs run{std::vector<Out>(in.size()), std::vector<Out>(in.size())};
    std::memset(run.ref.data(), 0x55, run.ref.size() * sizeof(Out));
    std::memset(run.vec.data(), 0x55, run.vec.size() * sizeof(Out));
    p.RunRef(constants, Inputs(in), in.size(), Layout(run.ref));
    p.Run(constants, Inputs(in), in.size(), Layout(run.vec), targets);
    for (std::size_t i = 0; i < in.size(); ++i)
        EXPECT_TRUE(SameBits(run.ref[i], run.vec[i])) << "vertex " << i;
    return run;
}

// One vertex with v0 = a, v1 = b; the first output after the program.
Out One(const std::vector<VertexInstruction>& program, std::array<float, 4> a, std::array<float, 4> b = {},
        const raster::ProgramConstants* constants = nullptr) {
    static raster::ProgramConstants none = {};
    std::vector<In> in(1);
    std::memcpy(in[0].v[0], a.data(), sizeof a);
    std::memcpy(in[0].v[1], b.data(), sizeof b);
    return RunBoth(program, in, constants ? *constants : none).ref[0];
}

// Values that find the corners: signed zeros, ones, halves, denormals, infinities, NaN,
// the ends of the exponent range, then ordinary numbers.
std::vector<In> EdgeInputs(int count) {
    const float edges[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, -0.5f, 1.5f, -2.5f, 2.0f, 127.5f, 128.0f, -126.0f,
                           -130.0f, 1e-40f, -1e-40f, kInf, -kInf, std::nanf(""), kMax, -kMax, 1e-38f, 95.0f,
                           3.0f, -4.0f, 96.0f, 200.0f, -200.0f, 0.70710677f, 1.4142137f, 0.999999f};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-8.0f, 8.0f);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(edges)) - 1);
    std::vector<In> in(static_cast<std::size_t>(count));
    for (In& vertex : in)
        for (auto& reg : vertex.v)
            for (float& f : reg) f = random() % 3 == 0 ? edges[pick(random)] : spread(random);
    return in;
}

void FillConstants(raster::ProgramConstants& k) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    for (auto& reg : k)
        for (float& f : reg) f = spread(random);
}

// The vector targets compiled for vertex programs (the one-lane fallback is the
// interpreter itself).
std::vector<std::int64_t> VectorTargets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t left = raster::detail::CompiledVertexProgramTargets() & ~HWY_SCALAR; left != 0; left &= left - 1)
        targets.push_back(left & -left);
    return targets;
}

class VertexProgramTargets : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        target_ = GetParam();
        if ((hwy::SupportedTargets() & target_) == 0)
            GTEST_SKIP() << hwy::TargetName(target_) << ": this processor lacks it";
        ASSERT_EQ(raster::detail::VertexProgramTarget(target_), target_);
    }
    std::int64_t target_ = 0;
};

// Each instruction over 37 vertices of edge values (a partial last batch on every width),
// swizzled, negated and masked, gives the interpreter's bits.
TEST_P(VertexProgramTargets, GiveThePlainInterpretersBitsForEveryInstruction) {
    const std::vector<In> in = EdgeInputs(37);
    raster::ProgramConstants k;
    FillConstants(k);
    const auto T = [](int i, std::uint8_t mask = 0xF) { return D(DestFile::Texcoord, i, mask); };
    const std::vector<std::vector<VertexInstruction>> programs = {
        {I(VertexOp::Mov, T(0), v(0).swz("wzyx").neg()), I(VertexOp::Add, T(1, 0x5), v(0), c(3).neg()),
         I(VertexOp::Sub, T(2), v(1), v(0).swz("y")), I(VertexOp::Mul, T(3, 0xA), v(0), v(1)),
         I(VertexOp::Mad, T(4), v(0), v(1).swz("zxyw"), c(7)), I(VertexOp::Dp3, T(5), v(0), v(1)),
         I(VertexOp::Dp4, T(6), v(0), c(2)), I(VertexOp::Min, T(7), v(0), v(1))},
        {I(VertexOp::Max, T(0), v(0), v(1)), I(VertexOp::Slt, T(1), v(0), v(1)), I(VertexOp::Sge, T(2), v(0), v(1)),
         I(VertexOp::Rcp, T(3), v(0).swz("y")), I(VertexOp::Rsq, T(4), v(0).swz("z").neg()),
         I(VertexOp::Exp, T(5), v(0).swz("w")), I(VertexOp::Log, T(6), v(1).swz("x")),
         I(VertexOp::Frc, T(7, 0x3), v(1))},
        {I(VertexOp::Expp, T(0), v(0).swz("x")), I(VertexOp::Logp, T(1), v(0).swz("y")),
         I(VertexOp::Lit, T(2), v(0)), I(VertexOp::Dst, T(3), v(0), v(1)), I(VertexOp::M4x4, T(4), v(0), c(8)),
         I(VertexOp::M4x3, T(5, 0x7), v(1), c(12)), I(VertexOp::M3x4, T(6), v(0), c(16)),
         I(VertexOp::M3x2, T(7, 0x3), v(1), c(20))},
        // The position, colours (saturated), fog and point size; a0.x from edge values.
        {I(VertexOp::M3x3, D(DestFile::Temp, 1, 0x7), v(0), c(24)), I(VertexOp::Mov, D(DestFile::Position), r(1)),
         I(VertexOp::Mov, D(DestFile::Color, 0), v(0)), I(VertexOp::Mov, D(DestFile::Color, 1), v(1).neg()),
         I(VertexOp::Mov, D(DestFile::Fog, 0, 0x1), v(2).swz("y")),
         I(VertexOp::Mov, D(DestFile::PointSize, 0, 0x1), v(2).swz("z")),
         I(VertexOp::Mov, D(DestFile::Address, 0, 0x1), v(3).swz("x")),
         I(VertexOp::Mov, T(0), c(2, true)), I(VertexOp::M4x4, T(1), v(1), c(90, true))},
    };
    for (const auto& program : programs) RunBoth(program, in, k, target_);
}

std::string TargetName(const testing::TestParamInfo<std::int64_t>& info) { return hwy::TargetName(info.param); }
INSTANTIATE_TEST_SUITE_P(Compiled, VertexProgramTargets, testing::ValuesIn(VectorTargets()), TargetName);

// m4x4 and the other matrix ops: row k is the dot product with constant n + k, so with the
// matrix's columns in c0..c3 a row vector times it comes out.
TEST(VertexProgram, MatrixOpsGiveTheMatrixProduct) {
    const float m[4][4] = {{1, 2, 3, 4}, {-1, 0.5f, 2, 0}, {0, 3, -2, 1}, {5, -1, 0, 2}};
    raster::ProgramConstants k = {};
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) k[col][row] = m[row][col];
    const std::array<float, 4> p = {2, -3, 0.5f, 1};
    const Out o = One({I(VertexOp::M4x4, D(DestFile::Position), v(0), c(0)),
                       I(VertexOp::M3x3, D(DestFile::Texcoord, 0, 0x7), v(0), c(0)),
                       I(VertexOp::M3x2, D(DestFile::Texcoord, 1, 0x3), v(0), c(0)),
                       I(VertexOp::M4x3, D(DestFile::Texcoord, 2, 0x7), v(0), c(0)),
                       I(VertexOp::M3x4, D(DestFile::Texcoord, 3), v(0), c(0))},
                      p, {}, &k);
    for (int col = 0; col < 4; ++col) {
        const double full = p[0] * m[0][col] + p[1] * m[1][col] + p[2] * m[2][col] + p[3] * m[3][col];
        const double three = p[0] * m[0][col] + p[1] * m[1][col] + p[2] * m[2][col];
        EXPECT_NEAR(o.position[col], full, 1e-5) << col;
        EXPECT_NEAR(o.texcoord[3][col], three, 1e-5) << col;
        if (col < 3) {
            EXPECT_NEAR(o.texcoord[0][col], three, 1e-5) << col;
            EXPECT_NEAR(o.texcoord[2][col], full, 1e-5) << col;
        }
        if (col < 2) {
            EXPECT_NEAR(o.texcoord[1][col], three, 1e-5) << col;
        }
    }
    EXPECT_EQ(o.texcoord[1][2], 0.0f);  // m3x2 writes two rows only
}

// lit: (1, max(N.L, 0), N.L > 0 && N.H > 0 ? N.H^power : 0, 1), the power held to +-127.9961.
TEST(VertexProgram, LitFollowsItsFormulaWithThePowerClamped) {
    struct Case {
        std::array<float, 4> src;
        float y, z;
    };
    const Case cases[] = {
        {{0.5f, 0.8f, 0, 10}, 0.5f, static_cast<float>(std::pow(0.8, 10.0))},
        {{-0.5f, 0.8f, 0, 10}, 0, 0},
        {{0.5f, -0.8f, 0, 10}, 0.5f, 0},
        {{0.25f, 0.99f, 0, 500}, 0.25f, static_cast<float>(std::pow(0.99, 127.9961))},
        {{0.25f, 0.5f, 0, -500}, 0.25f, static_cast<float>(std::pow(0.5, -127.9961))},
        {{1, 0.3f, 0, 0}, 1, 1},
    };
    for (const Case& t : cases) {
        const Out o = One({I(VertexOp::Lit, D(DestFile::Texcoord), v(0))}, t.src);
        EXPECT_EQ(o.texcoord[0][0], 1.0f);
        EXPECT_EQ(o.texcoord[0][1], t.y);
        EXPECT_NEAR(o.texcoord[0][2], t.z, std::fabs(t.z) * 1e-5f) << t.src[1] << "^" << t.src[3];
        EXPECT_EQ(o.texcoord[0][3], 1.0f);
    }
}

// rcp and rsq: 0 (either sign) gives +infinity, 1 gives exactly 1, rsq reads |x|; other
// values are the correctly rounded quotients.
TEST(VertexProgram, RcpAndRsqFollowThePlatformsSpecialCases) {
    const std::vector<VertexInstruction> program = {I(VertexOp::Rcp, D(DestFile::Texcoord, 0), v(0).swz("x")),
                                                    I(VertexOp::Rsq, D(DestFile::Texcoord, 1), v(0).swz("x"))};
    const struct {
        float x, rcp, rsq;
    } cases[] = {{0.0f, kInf, kInf}, {-0.0f, kInf, kInf}, {1.0f, 1.0f, 1.0f}, {-4.0f, -0.25f, 0.5f},
                 {3.0f, 1.0f / 3.0f, static_cast<float>(1.0 / std::sqrt(3.0))}, {kInf, 0.0f, 0.0f}};
    for (const auto& t : cases) {
        const Out o = One(program, {t.x, 0, 0, 0});
        for (int comp = 0; comp < 4; ++comp) {
            EXPECT_EQ(o.texcoord[0][comp], t.rcp) << t.x;
            EXPECT_FLOAT_EQ(o.texcoord[1][comp], t.rsq) << t.x;
        }
    }
}

// exp and log to at least 21 bits over their ranges, exact at powers of two; log of 0 is
// -FLT_MAX.
TEST(VertexProgram, ExpAndLogKeepFullPrecision) {
    std::vector<In> in(4000);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(in.size());
        in[i].v[0][0] = -125.0f + 252.0f * t;                  // exp: 2^-125 .. 2^127
        in[i].v[0][1] = std::ldexp(1.0f + t, static_cast<int>(i % 200) - 100);  // log over 200 octaves
    }
    in[0].v[0][0] = 7.0f;
    in[0].v[0][1] = 0.0f;
    in[1].v[0][0] = -3.0f;
    in[1].v[0][1] = 1024.0f;
    raster::ProgramConstants k = {};
    const Runs run = RunBoth({I(VertexOp::Exp, D(DestFile::Texcoord, 0), v(0).swz("x")),
                             I(VertexOp::Log, D(DestFile::Texcoord, 1), v(0).swz("y"))},
                            in, k);
    for (std::size_t i = 2; i < in.size(); ++i) {
        const double e = std::exp2(static_cast<double>(in[i].v[0][0]));
        EXPECT_LE(std::fabs(run.ref[i].texcoord[0][0] - e), e * std::ldexp(1.0, -21)) << in[i].v[0][0];
        const double l = std::log2(static_cast<double>(in[i].v[0][1]));
        EXPECT_LE(std::fabs(run.ref[i].texcoord[1][0] - l), std::max(std::fabs(l), 1.0) * std::ldexp(1.0, -21))
            << in[i].v[0][1];
    }
    EXPECT_EQ(run.ref[0].texcoord[0][0], 128.0f);
    EXPECT_EQ(run.ref[0].texcoord[1][0], -kMax);
    EXPECT_EQ(run.ref[1].texcoord[0][0], 0.125f);
    EXPECT_EQ(run.ref[1].texcoord[1][0], 10.0f);
}

// The vs.1.1 forms: expp (2^floor, fraction, 2^x to 10 bits, 1), logp (exponent, mantissa,
// log2 to 10 bits, 1), and logp of 0 (-FLT_MAX, 1, -FLT_MAX, 1).
TEST(VertexProgram, ExppAndLogpGiveTheirComponents) {
    const std::vector<VertexInstruction> program = {I(VertexOp::Expp, D(DestFile::Texcoord, 0), v(0).swz("x")),
                                                    I(VertexOp::Logp, D(DestFile::Texcoord, 1), v(0).swz("y"))};
    Out o = One(program, {2.75f, -12.0f, 0, 0});
    EXPECT_EQ(o.texcoord[0][0], 4.0f);
    EXPECT_EQ(o.texcoord[0][1], 0.75f);
    EXPECT_NEAR(o.texcoord[0][2], std::exp2(2.75), std::exp2(2.75) / 1024);
    EXPECT_EQ(o.texcoord[0][3], 1.0f);
    EXPECT_EQ(o.texcoord[1][0], 3.0f);
    EXPECT_EQ(o.texcoord[1][1], 1.5f);
    EXPECT_NEAR(o.texcoord[1][2], std::log2(12.0), 1.0 / 1024);
    EXPECT_EQ(o.texcoord[1][3], 1.0f);
    o = One(program, {-1.25f, 0.0f, 0, 0});
    EXPECT_EQ(o.texcoord[0][0], 0.25f);
    EXPECT_EQ(o.texcoord[0][1], 0.75f);
    const float zero[4] = {-kMax, 1.0f, -kMax, 1.0f};
    for (int comp = 0; comp < 4; ++comp) EXPECT_EQ(o.texcoord[1][comp], zero[comp]);
}

// dst, frc, slt, sge, min, max against their definitions.
TEST(VertexProgram, ComponentwiseInstructionsFollowTheirDefinitions) {
    const Out o = One({I(VertexOp::Dst, D(DestFile::Texcoord, 0), v(0), v(1)),
                       I(VertexOp::Frc, D(DestFile::Texcoord, 1, 0x3), v(0)),
                       I(VertexOp::Slt, D(DestFile::Texcoord, 2), v(0), v(1)),
                       I(VertexOp::Sge, D(DestFile::Texcoord, 3), v(0), v(1)),
                       I(VertexOp::Min, D(DestFile::Texcoord, 4), v(0), v(1)),
                       I(VertexOp::Max, D(DestFile::Texcoord, 5), v(0), v(1))},
                      {-1.25f, 4.0f, 16.0f, 9.0f}, {7.0f, 0.5f, 16.0f, 0.25f});
    const float expected[6][4] = {{1, 2, 16, 0.25f}, {0.75f, 0, 0, 0}, {1, 0, 0, 0},
                                  {0, 1, 1, 1},      {-1.25f, 0.5f, 16, 0.25f}, {7, 4, 16, 9}};
    for (int t = 0; t < 6; ++t)
        for (int comp = 0; comp < 4; ++comp) EXPECT_EQ(o.texcoord[t][comp], expected[t][comp]) << t << "." << comp;
}

// Write masks keep the other components, swizzles pick any component for any slot, and
// negation flips the sign (of zero too).
TEST(VertexProgram, MasksSwizzlesAndNegation) {
    const Out o = One({I(VertexOp::Mov, D(DestFile::Temp, 0), v(1)),
                       I(VertexOp::Mov, D(DestFile::Temp, 0, 0x5), v(0).swz("wzyx").neg()),
                       I(VertexOp::Mov, D(DestFile::Texcoord, 0), r(0)),
                       I(VertexOp::Add, D(DestFile::Texcoord, 1, 0x8), v(0).swz("x"), v(1).swz("yyzz"))},
                      {1, 2, 3, 0.0f}, {10, 20, 30, 40});
    const float t0[4] = {-0.0f, 20, -2, 40};
    for (int comp = 0; comp < 4; ++comp) {
        EXPECT_EQ(o.texcoord[0][comp], t0[comp]);
        EXPECT_EQ(std::signbit(o.texcoord[0][comp]), std::signbit(t0[comp]));
    }
    EXPECT_EQ(o.texcoord[1][3], 31.0f);
    EXPECT_EQ(o.texcoord[1][0], 0.0f);  // unwritten components of an output read 0
}

// A scalar instruction's source without a subscript reads x (the platform's rule for rcp
// and the other scalar instructions).
TEST(VertexProgram, ScalarSourceWithoutSubscriptReadsX) {
    const Out o = One({I(VertexOp::Rcp, D(DestFile::Texcoord, 0), v(0))}, {4, 2, 8, 16});
    EXPECT_EQ(o.texcoord[0][0], 0.25f);
    EXPECT_EQ(o.texcoord[0][3], 0.25f);
}

// mov a0.x rounds to the nearest integer, halves upward.
TEST(VertexProgram, AddressRegisterRoundsToNearestHalvesUp) {
    raster::ProgramConstants k = {};
    for (int i = 0; i < raster::kProgramConstants; ++i) k[i][0] = static_cast<float>(i);
    const std::vector<VertexInstruction> program = {I(VertexOp::Mov, D(DestFile::Address, 0, 0x1), v(0)),
                                                    I(VertexOp::Mov, D(DestFile::Texcoord, 0), c(10, true))};
    const struct {
        float x;
        float index;
    } cases[] = {{1.5f, 12}, {-1.5f, 9}, {2.49f, 12}, {-0.6f, 9}, {0.5f, 11}, {-2.5f, 8}, {3.0f, 13}};
    for (const auto& t : cases) EXPECT_EQ(One(program, {t.x, 0, 0, 0}, {}, &k).texcoord[0][0], t.index) << t.x;
}

// c[a0.x + n] outside c0..c95 reads (0, 0, 0, 0), as does any read after a0.x got a NaN.
TEST(VertexProgram, RelativeReadOutsideTheConstantsReadsZero) {
    raster::ProgramConstants k;
    FillConstants(k);
    for (auto& reg : k) reg[3] = 5.0f;  // no constant has w = 0
    const std::vector<VertexInstruction> program = {I(VertexOp::Mov, D(DestFile::Address, 0, 0x1), v(0)),
                                                    I(VertexOp::Mov, D(DestFile::Texcoord, 0), c(1, true)),
                                                    I(VertexOp::Mov, D(DestFile::Texcoord, 1), c(0, true))};
    const struct {
        float a0;
        bool first, second;  // expected in range: c[a0 + 1], c[a0]
    } cases[] = {{-1, true, false}, {94, true, true}, {95, false, true}, {-2, false, false},
                 {1e9f, false, false}, {std::nanf(""), false, false}};
    for (const auto& t : cases) {
        const Out o = One(program, {t.a0, 0, 0, 0}, {}, &k);
        EXPECT_EQ(o.texcoord[0][3], t.first ? 5.0f : 0.0f) << t.a0;
        EXPECT_EQ(o.texcoord[1][3], t.second ? 5.0f : 0.0f) << t.a0;
    }
}

// a0.x starts each vertex at 0: c[a0.x + n] before any mov a0.x reads cn.
TEST(VertexProgram, AddressRegisterStartsAtZero) {
    raster::ProgramConstants k;
    FillConstants(k);
    std::vector<In> in(3);
    in[0].v[0][0] = 40.0f;  // the first vertex moves a0.x; the others must not see it
    const Runs run = RunBoth({I(VertexOp::Mov, D(DestFile::Texcoord, 0), c(7, true)),
                              I(VertexOp::Mov, D(DestFile::Address, 0, 0x1), v(0)),
                              I(VertexOp::Mov, D(DestFile::Texcoord, 1), c(7, true))},
                             in, k);
    for (const Out& o : run.ref) EXPECT_EQ(o.texcoord[0][2], k[7][2]);
    EXPECT_EQ(run.ref[0].texcoord[1][2], k[47][2]);
    EXPECT_EQ(run.ref[1].texcoord[1][2], k[7][2]);
}

// An input register the vertex declaration leaves out reads (0, 0, 0, 1), as a stream
// element's missing components do.
TEST(VertexProgram, AbsentInputReadsZeroZeroZeroOne) {
    VertexProgram p;
    ASSERT_EQ(p.Build(std::vector<VertexInstruction>{I(VertexOp::Add, D(DestFile::Texcoord, 0), v(0), v(5))}),
              VertexProgramError::None);
    std::vector<In> in(20);
    for (In& vertex : in) vertex.v[0][0] = vertex.v[0][3] = 2.0f;
    raster::VertexProgramInput input = Inputs(in);
    input.offset[5] = -1;
    raster::ProgramConstants k = {};
    std::vector<Out> ref(in.size()), vec(in.size());
    p.RunRef(k, input, in.size(), Layout(ref));
    p.Run(k, input, in.size(), Layout(vec));
    for (std::size_t i = 0; i < in.size(); ++i) {
        const float expected[4] = {2, 0, 0, 3};
        for (int comp = 0; comp < 4; ++comp) {
            EXPECT_EQ(ref[i].texcoord[0][comp], expected[comp]);
            EXPECT_EQ(vec[i].texcoord[0][comp], expected[comp]);
        }
    }
}

// Outputs go only where the layout puts them, with only the components it asks for: the
// specular colour's three and a stage's two coordinates leave the floats after them alone.
TEST(VertexProgram, StoresOnlyTheComponentsTheLayoutAsksFor) {
    VertexProgram p;
    ASSERT_EQ(p.Build(std::vector<VertexInstruction>{I(VertexOp::Mov, D(DestFile::Color, 1), v(0)),
                                                     I(VertexOp::Mov, D(DestFile::Texcoord, 3), v(0))}),
              VertexProgramError::None);
    std::vector<In> in = EdgeInputs(21);
    raster::ProgramConstants k = {};
    constexpr int kStride = 7;
    for (bool vector : {false, true}) {
        std::vector<float> out(in.size() * kStride, -9.0f);
        raster::VertexProgramOutput layout;
        layout.data = out.data();
        layout.stride = kStride;
        layout.color[1] = 0;
        layout.colorCount[1] = 3;
        layout.texcoord[3] = 4;
        layout.texcoordCount[3] = 2;
        if (vector) p.Run(k, Inputs(in), in.size(), layout);
        else p.RunRef(k, Inputs(in), in.size(), layout);
        for (std::size_t i = 0; i < in.size(); ++i) {
            const float* o = &out[i * kStride];
            EXPECT_EQ(o[3], -9.0f);
            EXPECT_EQ(o[6], -9.0f);
            EXPECT_EQ(std::memcmp(o + 4, in[i].v[0], 2 * sizeof(float)), 0) << i;
            EXPECT_TRUE(o[0] >= 0.0f && o[0] <= 1.0f) << i;
        }
    }
}

// Colours and fog are saturated to 0..1 (NaN to 0) when stored; position is not.
TEST(VertexProgram, ColoursAndFogAreSaturatedWhenStored) {
    const Out o = One({I(VertexOp::Mov, D(DestFile::Color, 0), v(0)), I(VertexOp::Mov, D(DestFile::Position), v(0)),
                       I(VertexOp::Mov, D(DestFile::Fog, 0, 0x1), v(0).swz("w"))},
                      {-0.5f, 0.25f, 7.0f, std::nanf("")});
    const float color[4] = {0, 0.25f, 1, 0};
    for (int comp = 0; comp < 4; ++comp) EXPECT_EQ(o.color[0][comp], color[comp]);
    EXPECT_EQ(o.position[2], 7.0f);
    EXPECT_EQ(o.fog, 0.0f);
}

// Programs the platform refuses, each with its own error and words.
TEST(VertexProgram, BuildRefusesBadProgramsWithTheReason) {
    Src badSwizzle = v(0);
    badSwizzle.s.swizzle[2] = 4;
    const struct {
        std::vector<VertexInstruction> program;
        VertexProgramError error;
    } cases[] = {
        {std::vector<VertexInstruction>(129, I(VertexOp::Mov, D(DestFile::Temp), v(0))), VertexProgramError::TooLong},
        {{I(static_cast<VertexOp>(99), D(DestFile::Temp), v(0))}, VertexProgramError::UnknownOp},
        {{I(VertexOp::Mov, D(DestFile::Temp, 12), v(0))}, VertexProgramError::RegisterOutOfRange},
        {{I(VertexOp::Mov, D(DestFile::Temp), v(16))}, VertexProgramError::RegisterOutOfRange},
        {{I(VertexOp::M4x4, D(DestFile::Temp), v(0), c(93))}, VertexProgramError::RegisterOutOfRange},
        {{I(VertexOp::Mov, D(DestFile::Temp), badSwizzle)}, VertexProgramError::BadSwizzle},
        {{I(VertexOp::Mov, D(DestFile::Temp), {{SourceFile::Temp, 0, true}})}, VertexProgramError::RelativeNotConstant},
        {{I(VertexOp::Add, D(DestFile::Address, 0, 0x1), v(0), v(1))}, VertexProgramError::BadDestination},
        {{I(VertexOp::Mov, D(DestFile::Temp, 0, 0))}, VertexProgramError::BadMask},
        {{I(VertexOp::Mov, D(DestFile::Fog, 0, 0x3), v(0))}, VertexProgramError::BadMask},
        {{I(VertexOp::Frc, D(DestFile::Temp, 0, 0x1), v(0))}, VertexProgramError::BadMask},
        {{I(VertexOp::M3x2, D(DestFile::Temp, 0, 0x7), v(0), c(0))}, VertexProgramError::BadMask},
        {{I(VertexOp::M4x4, D(DestFile::Temp), v(0), c(0).neg())}, VertexProgramError::MatrixSourceModified},
        {{I(VertexOp::M4x4, D(DestFile::Temp, 2), r(2), c(0))}, VertexProgramError::MatrixOverlap},
        {{I(VertexOp::M3x3, D(DestFile::Temp, 5, 0x7), v(0), r(4))}, VertexProgramError::MatrixOverlap},
    };
    for (const auto& t : cases) {
        VertexProgram p;
        const VertexProgramError error = p.Build(t.program);
        EXPECT_EQ(error, t.error) << raster::VertexProgramErrorText(error);
        EXPECT_TRUE(p.Steps().empty());
    }
}

}  // namespace
