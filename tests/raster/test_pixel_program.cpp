// Pixel programs: every vector target against the plain runner, bit for bit, over every
// instruction and modifier; values worked out by hand for the bump, cube and depth
// instructions, the compare boundaries and the register ranges of each version.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "raster/pipeline.h"
#include "raster/pixel_program.h"

using namespace raster;
using namespace raster::ps;

namespace {

constexpr std::uint32_t kAllLanes = 0xFFFFu;

// A texture of one or more levels filled by a function of (level, x, y, z).
struct TestTexture {
    TestTexture(TextureKind kind, int size, int levels, const std::function<std::uint32_t(int, int, int, int)>& texel) {
        sampler.kind = kind;
        sampler.levelCount = levels;
        const int faces = kind == TextureKind::Cube ? 6 : 1;
        for (int f = 0; f < faces; ++f) {
            for (int l = 0; l < levels; ++l) {
                const int n = size >> l, depth = kind == TextureKind::Volume ? n : 1;
                auto& texels = storage[f][l];
                texels.resize(static_cast<std::size_t>(n) * n * depth);
                for (int z = 0; z < depth; ++z)
                    for (int y = 0; y < n; ++y)
                        for (int x = 0; x < n; ++x)
                            texels[(z * n + y) * n + x] = texel(kind == TextureKind::Cube ? f : l, x, y, z);
                face[f][l] = {texels.data(), n, n, n, depth, static_cast<std::ptrdiff_t>(n) * n};
            }
            sampler.faces[f] = face[f];
        }
        for (int l = 0; l < levels; ++l) sampler.levels[l] = face[0][l];
        setup.texture = &sampler;
        setup.kind = kind;
    }
    std::vector<std::uint32_t> storage[6][SamplerTexture::kMaxLevels];
    SamplerLevel face[6][SamplerTexture::kMaxLevels];
    SamplerTexture sampler;
    detail::SamplerSetup setup;
};

std::uint32_t Noise(int a, int x, int y, int z) {
    std::uint32_t h = static_cast<std::uint32_t>(a * 73856093 ^ x * 19349663 ^ y * 83492791 ^ z * 2654435761u);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

struct Scene {
    Scene()
        : plane(TextureKind::Plane, 8, 4, Noise),
          bumps(TextureKind::Plane, 4, 1, [](int, int x, int y, int) { return Noise(9, x, y, 0); }),
          cube(TextureKind::Cube, 4, 2, Noise),
          volume(TextureKind::Volume, 4, 2, Noise) {
        plane.setup.minFilter = plane.setup.magFilter = TextureFilter::Linear;
        plane.setup.mipFilter = MipFilter::Linear;
        plane.setup.addressV = AddressMode::Mirror;
        cube.setup.minFilter = TextureFilter::Linear;
        cube.setup.mipFilter = MipFilter::Point;
        volume.setup.magFilter = TextureFilter::Linear;
        const detail::SamplerSetup* samplers[6] = {&bumps.setup,  &plane.setup, &cube.setup,
                                                   &volume.setup, &bumps.setup, nullptr};
        for (int s = 0; s < 6; ++s) {
            ProgramStage& stage = draw.stages[s];
            stage.sampler = samplers[s];
            stage.bumpMatrix[0][0] = 0.5f - 0.125f * s;
            stage.bumpMatrix[0][1] = 0.25f;
            stage.bumpMatrix[1][0] = -0.375f;
            stage.bumpMatrix[1][1] = 0.75f;
            stage.luminanceScale = 1.5f;
            stage.luminanceOffset = -0.25f;
        }
        draw.stages[4].signedChannels = kMaskR | kMaskG | kMaskA;
        draw.stages[1].projectBy = 3;
        for (int i = 0; i < 8; ++i)
            for (int k = 0; k < 4; ++k)
                draw.constants[i][k] = 0.3f * static_cast<float>(i - 3) + 0.1f * static_cast<float>(k);
        draw.constants[7][0] = 0.5f;  // cnd's boundary
        std::mt19937 random(11);
        std::uniform_real_distribution<float> unit(0.0f, 1.0f), wide(-1.5f, 1.5f), lod(-1.0f, 3.0f);
        for (int lane = 0; lane < kMaxProgramLanes; ++lane) {
            for (int c = 0; c < 2; ++c)
                for (int k = 0; k < 4; ++k) group.color[c][k][lane] = lane == 3 ? 0.5f : unit(random);
            for (int s = 0; s < 6; ++s) {
                for (int k = 0; k < 4; ++k) group.texcoord[s][k][lane] = lane == 5 ? 0.0f : wide(random);
                group.lod[s][lane] = lod(random);
            }
        }
        group.texcoord[1][3][7] = 0.0f;  // a projected lookup divided by zero
        group.active = kAllLanes;
    }
    TestTexture plane, bumps, cube, volume;
    ProgramDraw draw;
    ProgramGroup group;
};

// Programs that together use every instruction and modifier.
std::vector<PixelProgram> Battery() {
    std::vector<PixelProgram> all;
    const SourceModifier modifiers[] = {SourceModifier::None, SourceModifier::Bias, SourceModifier::Invert,
                                        SourceModifier::SignedScale};
    const Swizzle swizzles[] = {Swizzle::Rgba, Swizzle::R, Swizzle::G, Swizzle::B, Swizzle::A};
    for (PixelVersion version : {PixelVersion::Ps12, PixelVersion::Ps14}) {
        const bool ps14 = version == PixelVersion::Ps14;
        for (PixelOp op : {PixelOp::Mov, PixelOp::Add, PixelOp::Sub, PixelOp::Mul, PixelOp::Mad, PixelOp::Lrp,
                           PixelOp::Dp3, PixelOp::Dp4, PixelOp::Cnd, PixelOp::Cmp}) {
            for (int variant = 0; variant < 4; ++variant) {
                PixelProgram p(version);
                if (ps14) p.Define(2, 0.75f, -0.5f, 2.0f, 0.5f);
                p.Arith(PixelOp::Mul, DR(1), V(0), C(5).Mod(modifiers[variant]));
                Source a = V(variant & 1).Mod(modifiers[variant]).Rep(swizzles[variant + 1]);
                if (variant == 2) a = a.Neg();
                if (ps14 && variant == 3) a = R(1).Mod(SourceModifier::Double);
                if (op == PixelOp::Cnd && !ps14) a = R(0).Rep(Swizzle::A);
                Destination d = DR(0).Shift(variant - 2 + (ps14 ? 1 : 0));
                if (variant == 1) d = d.Sat();
                if (variant == 3) d = d.Mask(kMaskR | kMaskB);
                p.Arith(PixelOp::Mov, DR(0), V(1));
                p.Arith(op, d, a, R(1).Neg(), C(variant + 1).Mod(modifiers[3 - variant]));
                // A co-issued pair whose alpha half reads what the colour half writes.
                p.Arith(PixelOp::Add, DR(1).Mask(kMaskRgb), R(0), C(7));
                p.Arith(PixelOp::Mad, DR(1).Mask(kMaskA).Shift(1), R(1).Rep(Swizzle::B), R(0), C(0), true);
                p.Arith(PixelOp::Lrp, DR(0), R(1), R(0), V(0).Mod(SourceModifier::Bias));
                all.push_back(p);
            }
        }
    }
    // ps.1.1 to ps.1.3 texture addressing.
    auto texture = [&](PixelVersion version, const std::function<void(PixelProgram&)>& body) {
        PixelProgram p(version);
        body(p);
        all.push_back(p);
    };
    const PixelVersion k13 = PixelVersion::Ps13;
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::Tex, DT(0));
        p.Texture(PixelOp::TexBem, DT(1), T(0));
        p.Arith(PixelOp::Mul, DR(0), T(1), V(0));
    });
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::Tex, DT(0));
        p.Texture(PixelOp::TexBemL, DT(1), T(0).Mod(SourceModifier::SignedScale));
        p.Texture(PixelOp::TexKill, DT(2));
        p.Arith(PixelOp::Add, DR(0), T(1), T(0).Neg());
    });
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::TexCoord, DT(0));
        p.Texture(PixelOp::TexReg2Ar, DT(1), T(0));
        p.Texture(PixelOp::TexReg2Gb, DT(2), T(0));
        p.Texture(PixelOp::TexReg2Rgb, DT(3), T(0));
        p.Arith(PixelOp::Mad, DR(0), T(1), T(2), T(3));
    });
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::Tex, DT(0));
        p.Texture(PixelOp::TexM3x2Pad, DT(1), T(0).Mod(SourceModifier::SignedScale));
        p.Texture(PixelOp::TexM3x2Tex, DT(2), T(0).Mod(SourceModifier::SignedScale));
        p.Arith(PixelOp::Mov, DR(0), T(2));
    });
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::TexCoord, DT(0));
        p.Texture(PixelOp::TexM3x2Pad, DT(1), T(0));
        p.Texture(PixelOp::TexM3x2Depth, DT(2), T(0));
        p.Arith(PixelOp::Mov, DR(0), T(2));
    });
    for (PixelOp last : {PixelOp::TexM3x3, PixelOp::TexM3x3Tex, PixelOp::TexM3x3Spec, PixelOp::TexM3x3VSpec}) {
        texture(k13, [last](PixelProgram& p) {
            p.Texture(PixelOp::Tex, DT(0));
            p.Texture(PixelOp::TexM3x3Pad, DT(1), T(0).Mod(SourceModifier::SignedScale));
            p.Texture(PixelOp::TexM3x3Pad, DT(2), T(0).Mod(SourceModifier::SignedScale));
            p.Texture(last, DT(3), T(0).Mod(SourceModifier::SignedScale), C(4));
            p.Arith(PixelOp::Mov, DR(0), T(3));
        });
    }
    texture(k13, [](PixelProgram& p) {
        p.Texture(PixelOp::Tex, DT(1));
        p.Texture(PixelOp::TexDp3, DT(2), T(1));
        p.Texture(PixelOp::TexDp3Tex, DT(3), T(1));
        p.Arith(PixelOp::Sub, DR(0), T(3), T(2));
    });
    // ps.1.4: texld and texcrd with their selectors, bem, phase, texdepth, texkill of a register.
    texture(PixelVersion::Ps14, [](PixelProgram& p) {
        p.Texture(PixelOp::TexLd, DR(0), T(0));
        p.Texture(PixelOp::TexCrd, DR(1), T(1).Rep(Swizzle::Xyw).Mod(SourceModifier::DivideW));
        p.Texture(PixelOp::TexLd, DR(4), T(4).Mod(SourceModifier::DivideZ));
        p.Texture(PixelOp::TexCrd, DR(5), T(3));
        p.Arith(PixelOp::Bem, DR(2).Mask(kMaskR | kMaskG), R(1), R(0).Mod(SourceModifier::SignedScale));
        p.Phase();
        p.Texture(PixelOp::TexLd, DR(2), R(2));
        p.Texture(PixelOp::TexLd, DR(3), R(5));
        p.Texture(PixelOp::TexLd, DR(1), T(1));
        p.Texture(PixelOp::TexKill, DR(4));
        p.Texture(PixelOp::TexDepth, DR(5));
        p.Arith(PixelOp::Mad, DR(0), R(2), R(3).Mod(SourceModifier::Double), R(1).Rep(Swizzle::A));
    });
    return all;
}

std::vector<std::int64_t> Targets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t left = CompiledProgramTargets(); left != 0; left &= left - 1) targets.push_back(left & -left);
    return targets;
}

std::string TargetName(const testing::TestParamInfo<std::int64_t>& info) {
    std::string name = hwy::TargetName(info.param);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

class ProgramTargets : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        if ((hwy::SupportedTargets() & GetParam()) == 0)
            GTEST_SKIP() << hwy::TargetName(GetParam()) << ": this processor lacks it";
    }
};

TEST_P(ProgramTargets, EveryInstructionGivesThePlainRunnersBits) {
    Scene scene;
    const int lanes = ProgramLanes(GetParam());
    ASSERT_GE(lanes, 1);
    ASSERT_LE(lanes, kMaxProgramLanes);
    scene.group.active = lanes == 32 ? ~0u : (1u << lanes) - 1u;
    scene.group.active &= ~2u;  // one lane left out: never sampled, never killed
    const ProgramRunner run = PixelProgramRunner(GetParam());
    const SetupSampler sampler(scene.draw, scene.group);
    int index = 0, killedLanes = 0;
    for (const PixelProgram& program : Battery()) {
        ASSERT_EQ(program.Error(), ProgramError::None)
            << "program " << index << ": " << ProgramErrorText(program.Error());
        ProgramResult plain, vector;
        RunPixelProgramRef(program, scene.draw, scene.group, sampler, plain);
        run(program, scene.draw, scene.group, sampler, vector);
        EXPECT_EQ(plain.killed, vector.killed) << "program " << index;
        killedLanes += __builtin_popcount(plain.killed);
        for (int lane = 0; lane < lanes; ++lane) {
            if (!((scene.group.active >> lane) & 1u)) continue;
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(0, std::memcmp(&plain.color[k][lane], &vector.color[k][lane], sizeof(float)))
                    << "program " << index << " lane " << lane << " channel " << k << ": " << plain.color[k][lane]
                    << " against " << vector.color[k][lane];
            if (program.WritesDepth()) {
                EXPECT_EQ(plain.depth[lane], vector.depth[lane]) << "program " << index;
            }
        }
        ++index;
    }
    EXPECT_GT(killedLanes, 0);  // texkill took some lanes, so the kill masks were compared
}

INSTANTIATE_TEST_SUITE_P(Compiled, ProgramTargets, testing::ValuesIn(Targets()), TargetName);

// ---- values worked out by hand (plain runner and best target) ------------------------

// A sampler that records each lookup and answers with a fixed texel per stage.
struct RecordingSampler final : ProgramSampler {
    void Sample(int stage, std::uint32_t lanes, const float* u, const float* v, const float* w,
                float (*rgba)[kMaxProgramLanes]) const override {
        for (; lanes != 0; lanes &= lanes - 1) {
            const int lane = __builtin_ctz(lanes);
            calls.push_back({static_cast<float>(stage), u[lane], v[lane], w[lane]});
            for (int k = 0; k < 4; ++k) rgba[k][lane] = texel[stage][k];
        }
    }
    float texel[6][4] = {};
    mutable std::vector<std::vector<float>> calls;
};

// Runs a program over one lane with both runners; they must agree; returns r0.
struct OneLane {
    explicit OneLane(const PixelProgram& p, const ProgramDraw& draw, const ProgramGroup& lanes,
                     const ProgramSampler& sampler) {
        EXPECT_EQ(p.Error(), ProgramError::None) << ProgramErrorText(p.Error());
        ProgramGroup group = lanes;
        group.active = 1;
        RunPixelProgramRef(p, draw, group, sampler, plain);
        ProgramResult vector;
        PixelProgramRunner(-1)(p, draw, group, sampler, vector);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(plain.color[k][0], vector.color[k][0]) << "channel " << k;
        EXPECT_EQ(plain.killed, vector.killed);
        EXPECT_EQ(plain.depth[0], vector.depth[0]);
    }
    float operator[](int k) const { return plain.color[k][0]; }
    ProgramResult plain;
};

// r0's first channels, in order.
void ExpectChannels(const OneLane& r, std::initializer_list<float> expected) {
    int k = 0;
    for (float e : expected) EXPECT_EQ(r[k++], e) << "channel " << k - 1;
}

void SetColor(ProgramGroup& g, int which, float r, float gr, float b, float a) {
    const float c[4] = {r, gr, b, a};
    for (int k = 0; k < 4; ++k) g.color[which][k][0] = c[k];
}
void SetCoordinates(ProgramGroup& g, int set, float x, float y, float z, float w) {
    const float c[4] = {x, y, z, w};
    for (int k = 0; k < 4; ++k) g.texcoord[set][k][0] = c[k];
}

TEST(PixelProgram, TexbemMovesTheLookupByTheBumpMatrix) {
    // A 4x4 point-sampled texture, texel (x, y) = 0xFF000000 | x << 16 | y << 8, and a 1x1
    // bump map (du, dv) = (128, 64) / 255.
    TestTexture env(TextureKind::Plane, 4, 1, [](int, int x, int y, int) {
        return 0xFF000000u | static_cast<std::uint32_t>(x) << 16 | static_cast<std::uint32_t>(y) << 8;
    });
    TestTexture bump(TextureKind::Plane, 1, 1, [](int, int, int, int) { return 0xFF804000u; });
    ProgramDraw draw;
    draw.stages[0].sampler = &bump.setup;
    draw.stages[1].sampler = &env.setup;
    const float m[2][2] = {{0.5f, 1.0f}, {0.0f, 1.0f}};  // BUMPENVMAT00 01 / 10 11 of stage 1
    std::memcpy(draw.stages[1].bumpMatrix, m, sizeof m);
    ProgramGroup group;
    SetCoordinates(group, 0, 0.5f, 0.5f, 0, 1);
    SetCoordinates(group, 1, 0.1f, 0.1f, 0, 1);
    SetColor(group, 0, 1.0f, 0.5f, 1.0f, 1.0f);
    PixelProgram p(PixelVersion::Ps11);
    p.Texture(PixelOp::Tex, DT(0));
    p.Texture(PixelOp::TexBem, DT(1), T(0));
    p.Arith(PixelOp::Mul, DR(0), T(1), V(0));
    EXPECT_EQ(p.ReadsCoordinates(), 3);  // what the pixel stage must fill
    EXPECT_EQ(p.SampledStages(), 3);
    EXPECT_EQ(p.ReadsColors(), 1);
    const SetupSampler sampler(draw, group);
    OneLane r0(p, draw, group, sampler);
    // u' = 0.1 + 0.5 * 128/255 + 0 * 64/255 = 0.351 -> texel x 1;
    // v' = 0.1 + 1 * 128/255 + 1 * 64/255 = 0.853 -> texel y 3.
    EXPECT_FLOAT_EQ(r0[0], 1.0f / 255.0f);
    EXPECT_FLOAT_EQ(r0[1], 3.0f / 255.0f * 0.5f);
    EXPECT_EQ(r0[2], 0.0f);
    EXPECT_EQ(r0[3], 1.0f);

    // A signed bump map, bytes biased by 128: (du, dv) = (0x00 -> -1, 0xC0 -> 64 / 127).
    // u' = 0.1 - 0.5 = -0.4 and v' = 0.1 - 1 + 0.504 = -0.396 wrap to texel (2, 2).
    TestTexture signedBump(TextureKind::Plane, 1, 1, [](int, int, int, int) { return 0xFF00C000u; });
    draw.stages[0].sampler = &signedBump.setup;
    draw.stages[0].signedChannels = kMaskR | kMaskG;
    OneLane s(p, draw, group, sampler);
    EXPECT_FLOAT_EQ(s[0], 2.0f / 255.0f);
    EXPECT_FLOAT_EQ(s[1], 2.0f / 255.0f * 0.5f);
    draw.stages[0].sampler = &bump.setup;
    draw.stages[0].signedChannels = 0;

    // texbeml scales the texel by t0.b * scale + offset: b = 0 leaves the offset alone.
    draw.stages[1].luminanceScale = 4.0f;
    draw.stages[1].luminanceOffset = 0.5f;
    PixelProgram l(PixelVersion::Ps11);
    l.Texture(PixelOp::Tex, DT(0));
    l.Texture(PixelOp::TexBemL, DT(1), T(0));
    l.Arith(PixelOp::Mov, DR(0), T(1));
    OneLane r1(l, draw, group, sampler);
    EXPECT_FLOAT_EQ(r1[1], 3.0f / 255.0f * 0.5f);
    EXPECT_EQ(r1[3], 0.5f);
}

TEST(PixelProgram, Texm3x3texLooksUpTheCubeFaceOfTheTransformedNormal) {
    constexpr std::uint32_t kFaceColor[6] = {0xFFFF0000u, 0xFF00FFFFu, 0xFF00FF00u,
                                             0xFFFF00FFu, 0xFF0000FFu, 0xFFFFFF00u};
    TestTexture cube(TextureKind::Cube, 2, 1, [&](int face, int, int, int) { return kFaceColor[face]; });
    TestTexture normal(TextureKind::Plane, 1, 1, [](int, int, int, int) { return 0xFFFF8000u; });  // (1, 0.5, 0)
    ProgramDraw draw;
    draw.stages[0].sampler = &normal.setup;
    draw.stages[3].sampler = &cube.setup;
    PixelProgram p(PixelVersion::Ps11);
    p.Texture(PixelOp::Tex, DT(0));
    p.Texture(PixelOp::TexM3x3Pad, DT(1), T(0));
    p.Texture(PixelOp::TexM3x3Pad, DT(2), T(0));
    p.Texture(PixelOp::TexM3x3Tex, DT(3), T(0));
    p.Arith(PixelOp::Mov, DR(0), T(3));
    EXPECT_EQ(p.ReadsCoordinates(), 15);
    EXPECT_EQ(p.SampledStages(), 9);  // the pads do not sample
    // Rows (the coordinates of stages 1 to 3) and the face N = rows x (1, 0.5, 0) points at.
    struct Case {
        float rows[3][3];
        int face;
    };
    const Case cases[] = {
        {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 0},   // N = (1, 0.5, 0): +x
        {{{0, 0, 0}, {0, 1, 0}, {-1, 0, 0}}, 5},  // N = (0, 0.5, -1): -z
        {{{0, 0, 0}, {0, -1, 0}, {0, 0, 0}}, 3},  // N = (0, -0.5, 0): -y
    };
    for (const Case& c : cases) {
        ProgramGroup group;
        for (int row = 0; row < 3; ++row)
            SetCoordinates(group, row + 1, c.rows[row][0], c.rows[row][1], c.rows[row][2], 0);
        const SetupSampler sampler(draw, group);
        OneLane r(p, draw, group, sampler);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(r[k], static_cast<float>((kFaceColor[c.face] >> (16 - 8 * k)) & 0xFFu) / 255.0f)
                << "face " << c.face;
    }
}

TEST(PixelProgram, Texm3x3specReflectsTheEyeVectorAboutTheNormal) {
    // N = (0, 1, 0) from the rows, E = c0 = (1, 1, 0): R = 2 (N.E / N.N) N - E = (-1, 1, 0).
    RecordingSampler sampler;
    PixelProgram p(PixelVersion::Ps11);
    p.Define(0, 1.0f, 1.0f, 0.0f, 0.0f);
    p.Texture(PixelOp::Tex, DT(0));
    p.Texture(PixelOp::TexM3x3Pad, DT(1), T(0));
    p.Texture(PixelOp::TexM3x3Pad, DT(2), T(0));
    p.Texture(PixelOp::TexM3x3Spec, DT(3), T(0), C(0));
    sampler.texel[0][0] = 1.0f;  // t0 = (1, 0, 0, 0)
    ProgramGroup group;
    SetCoordinates(group, 1, 0, 0, 0, 0);
    SetCoordinates(group, 2, 1, 0, 0, 0);
    SetCoordinates(group, 3, 0, 0, 0, 0);
    OneLane run(p, ProgramDraw{}, group, sampler);
    ASSERT_EQ(sampler.calls.size(), 4u);  // tex and texm3x3spec, for each runner
    EXPECT_EQ(sampler.calls[1], (std::vector<float>{3.0f, -1.0f, 1.0f, 0.0f}));
}

TEST(PixelProgram, ArithmeticByHand) {
    // c0 = (0.5, 0.25, -0.5, 1), c1 = (0.25, -1, 0.5, 0.5), c2 = (-0.25, 0.125, 0, 0.75).
    RecordingSampler none;
    ProgramDraw draw;
    const float m[2][2] = {{0.5f, -0.25f}, {1.0f, 0.125f}};  // stage 3
    std::memcpy(draw.stages[3].bumpMatrix, m, sizeof m);
    struct Case {
        PixelOp op;
        float expected[4];
    };
    const Case cases[] = {
        {PixelOp::Sub, {0.25f, 1.25f, -1.0f, 0.5f}},
        {PixelOp::Mad, {-0.125f, -0.125f, -0.25f, 1.25f}},     // c0 c1 + c2
        {PixelOp::Lrp, {0.0f, -0.15625f, -0.25f, 0.5f}},       // c0 c1 + (1 - c0) c2
        {PixelOp::Dp3, {-0.375f, -0.375f, -0.375f, -0.375f}},  // 0.125 - 0.25 - 0.25
        {PixelOp::Dp4, {0.125f, 0.125f, 0.125f, 0.125f}},      // + 0.5
        {PixelOp::Bem, {}},                                    // below
    };
    for (const Case& c : cases) {
        PixelProgram p(PixelVersion::Ps14);
        p.Define(0, 0.5f, 0.25f, -0.5f, 1.0f);
        p.Define(1, 0.25f, -1.0f, 0.5f, 0.5f);
        p.Define(2, -0.25f, 0.125f, 0.0f, 0.75f);
        if (c.op == PixelOp::Bem) {
            // With src1 = -c1 = (-0.25, 1, ...): r3.r = c0.r + 0.5 (-0.25) + 1 (1) = 1.375,
            // r3.g = c0.g - 0.25 (-0.25) + 0.125 (1) = 0.4375.
            p.Arith(PixelOp::Bem, DR(3).Mask(kMaskR | kMaskG), C(0), C(1).Neg());
            p.Arith(PixelOp::Mov, DR(0), R(3));
            OneLane r(p, draw, ProgramGroup{}, none);
            ExpectChannels(r, {1.375f, 0.4375f, 0.0f, 0.0f});
            continue;
        }
        p.Arith(c.op, DR(0), C(0), C(1), C(2));
        OneLane r(p, draw, ProgramGroup{}, none);
        ExpectChannels(r, {c.expected[0], c.expected[1], c.expected[2], c.expected[3]});
    }
}

TEST(PixelProgram, CndAndCmpAtTheirBoundaries) {
    RecordingSampler none;
    ProgramGroup group;
    // ps.1.1: r0.a > 0.5 chooses src1 for every channel; 0.5 itself chooses src2.
    for (float alpha : {0.5f, std::nextafter(0.5f, 1.0f)}) {
        SetColor(group, 0, 0.0f, 0.0f, 0.0f, alpha);
        PixelProgram p(PixelVersion::Ps11);
        p.Define(0, 1.0f, 1.0f, 1.0f, 1.0f);
        p.Define(1, -1.0f, -1.0f, -1.0f, -1.0f);
        p.Arith(PixelOp::Mov, DR(0), V(0));
        p.Arith(PixelOp::Cnd, DR(0), R(0).Rep(Swizzle::A), C(0), C(1));
        OneLane r(p, ProgramDraw{}, group, none);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r[k], alpha > 0.5f ? 1.0f : -1.0f) << alpha;
    }
    // ps.1.4: each channel compared on its own.
    PixelProgram p(PixelVersion::Ps14);
    p.Define(0, 1.0f, 1.0f, 1.0f, 1.0f);
    p.Define(1, -1.0f, -1.0f, -1.0f, -1.0f);
    p.Define(2, 0.5f, std::nextafter(0.5f, 1.0f), 0.25f, 1.0f);
    p.Arith(PixelOp::Cnd, DR(0), C(2), C(0), C(1));
    OneLane cnd(p, ProgramDraw{}, group, none);
    ExpectChannels(cnd, {-1.0f, 1.0f, -1.0f, 1.0f});
    // cmp: src0 >= 0 chooses src1, negative zero included.
    PixelProgram q(PixelVersion::Ps12);
    q.Define(0, 1.0f, 1.0f, 1.0f, 1.0f);
    q.Define(1, -1.0f, -1.0f, -1.0f, -1.0f);
    q.Define(2, 0.0f, -0.0f, -1e-7f, 1e-7f);
    q.Arith(PixelOp::Cmp, DR(0), C(2), C(0), C(1));
    OneLane cmp(q, ProgramDraw{}, group, none);
    ExpectChannels(cmp, {1.0f, 1.0f, -1.0f, 1.0f});
}

TEST(PixelProgram, RegistersClampToTheVersionsRange) {
    RecordingSampler none;
    ProgramGroup group;
    SetColor(group, 0, 1.0f, 0.75f, 0.0f, 0.25f);
    auto run = [&](PixelVersion version, Destination d, Source a, Source b) {
        PixelProgram p(version);
        p.Define(0, 1.0f, -1.0f, 3.0f, 0.5f);  // 3 is clamped to the constants' 1
        p.Arith(PixelOp::Add, d, a, b);
        return OneLane(p, ProgramDraw{}, group, none);
    };
    // ps.1.1: registers hold [-1, 1].
    OneLane a = run(PixelVersion::Ps11, DR(0), C(0), C(0));
    ExpectChannels(a, {1.0f, -1.0f, 1.0f, 1.0f});
    // ps.1.4: [-8, 8]; _x4 reaches 8, _x8 is clamped to it.
    OneLane b = run(PixelVersion::Ps14, DR(0), C(0), C(0));
    ExpectChannels(b, {2.0f, -2.0f, 2.0f});
    OneLane c = run(PixelVersion::Ps14, DR(0).Shift(2), C(0), C(0));
    EXPECT_EQ(c[0], 8.0f);
    EXPECT_EQ(c[3], 4.0f);
    OneLane d = run(PixelVersion::Ps14, DR(0).Shift(3), C(0), V(0));
    EXPECT_EQ(d[0], 8.0f);
    EXPECT_EQ(d[1], -2.0f);  // (-1 + 0.75) * 8
    EXPECT_EQ(d[3], 6.0f);
    // _sat, then _d2 before it: [0, 1].
    OneLane e = run(PixelVersion::Ps14, DR(0).Shift(-1).Sat(), C(0), V(0));
    EXPECT_EQ(e[0], 1.0f);
    EXPECT_EQ(e[1], 0.0f);
    EXPECT_EQ(e[3], 0.375f);
    // Source modifiers: 1 - x, _bias, _bx2, negation, _x2.
    OneLane f =
        run(PixelVersion::Ps14, DR(0), V(0).Mod(SourceModifier::Invert), V(0).Mod(SourceModifier::SignedScale).Neg());
    EXPECT_EQ(f[0], -1.0f);   // 0 - 1
    EXPECT_EQ(f[1], -0.25f);  // 0.25 - 0.5
    EXPECT_EQ(f[2], 2.0f);    // 1 + 1
    OneLane g = run(PixelVersion::Ps14, DR(0).Mask(kMaskR | kMaskA), V(0).Mod(SourceModifier::Bias),
                    V(0).Mod(SourceModifier::Double));
    EXPECT_EQ(g[0], 2.5f);
    EXPECT_EQ(g[1], 0.0f);  // masked: r0 stays 0
    EXPECT_EQ(g[3], 0.25f);
}

TEST(PixelProgram, TexcoordClampsBeforePs14AndTexcrdDoesNot) {
    RecordingSampler none;
    ProgramGroup group;
    SetCoordinates(group, 0, 1.5f, -0.25f, 0.5f, 7.0f);
    PixelProgram p(PixelVersion::Ps11);
    p.Texture(PixelOp::TexCoord, DT(0));
    p.Arith(PixelOp::Mov, DR(0), T(0));
    OneLane a(p, ProgramDraw{}, group, none);
    ExpectChannels(a, {1.0f, 0.0f, 0.5f, 1.0f});
    PixelProgram q(PixelVersion::Ps14);
    q.Texture(PixelOp::TexCrd, DR(0), T(0).Rep(Swizzle::Xyw));
    OneLane b(q, ProgramDraw{}, group, none);
    EXPECT_EQ(b[0], 1.5f);
    EXPECT_EQ(b[1], -0.25f);
    EXPECT_EQ(b[2], 7.0f);
    EXPECT_EQ(b[3], 1.0f);  // left undefined by the platform: 1 here
    // _dw divides x and y by w; the register range still holds.
    SetCoordinates(group, 0, 4.0f, -100.0f, 0.5f, 2.0f);
    PixelProgram r(PixelVersion::Ps14);
    r.Texture(PixelOp::TexCrd, DR(0), T(0).Rep(Swizzle::Xyw).Mod(SourceModifier::DivideW));
    OneLane c(r, ProgramDraw{}, group, none);
    EXPECT_EQ(c[0], 2.0f);
    EXPECT_EQ(c[1], -8.0f);
}

TEST(PixelProgram, NanWrittenToARegisterReadsAsTheLowEndOfTheRange) {
    // _dz by z = 0: 0 / 0 is NaN, 1 / 0 infinite; neither reaches the next instruction.
    RecordingSampler none;
    ProgramGroup group;
    SetCoordinates(group, 0, 0.0f, 1.0f, 0.0f, 1.0f);
    PixelProgram p(PixelVersion::Ps14);
    p.Texture(PixelOp::TexCrd, DR(0), T(0).Mod(SourceModifier::DivideZ));
    OneLane r(p, ProgramDraw{}, group, none);
    EXPECT_EQ(r[0], -8.0f);
    EXPECT_EQ(r[1], 8.0f);
}

TEST(PixelProgram, TexkillRemovesPixelsWithANegativeCoordinate) {
    RecordingSampler none;
    PixelProgram p(PixelVersion::Ps11);
    p.Texture(PixelOp::TexKill, DT(0));
    ProgramGroup group;
    // x, y or z below 0 kills; -0 and w do not.
    const float cases[][4] = {{-0.01f, 0.5f, 0.5f, 1}, {0.5f, 0.5f, -1e-6f, 1}, {-0.0f, 0.0f, 0.0f, 1}, {1, 1, 1, -1}};
    const bool killed[] = {true, true, false, false};
    for (int i = 0; i < 4; ++i) {
        SetCoordinates(group, 0, cases[i][0], cases[i][1], cases[i][2], cases[i][3]);
        OneLane r(p, ProgramDraw{}, group, none);
        EXPECT_EQ(r.plain.killed, killed[i] ? 1u : 0u) << "case " << i;
    }
}

TEST(PixelProgram, DepthFromTexdepthAndTexm3x2depth) {
    RecordingSampler sampler;
    ProgramGroup group;
    // texdepth: r5.r / r5.g, 1 where r5.g is 0, within [0, 1].
    struct Case {
        float r, g, expected;
    };
    for (auto [r, g, expected] :
         {Case{0.25f, 0.5f, 0.5f}, Case{0.25f, 0.0f, 1.0f}, Case{0.75f, 0.5f, 1.0f}, Case{-0.25f, 0.5f, 0.0f}}) {
        PixelProgram p(PixelVersion::Ps14);
        p.Define(0, r, g, 0.0f, 0.0f);
        p.Arith(PixelOp::Mov, DR(5), C(0));
        p.Phase();
        p.Texture(PixelOp::TexDepth, DR(5));
        ASSERT_TRUE(p.WritesDepth());
        OneLane run(p, ProgramDraw{}, group, sampler);
        EXPECT_EQ(run.plain.depth[0], expected) << r << " / " << g;
    }
    // texm3x2depth: z / w of the two rows times t0.
    sampler.texel[0][0] = 0.5f;
    sampler.texel[0][1] = 0.25f;
    SetCoordinates(group, 1, 1.0f, 0.0f, 0.0f, 0);  // z = 0.5
    SetCoordinates(group, 2, 0.0f, 4.0f, 0.0f, 0);  // w = 1
    PixelProgram q(PixelVersion::Ps13);
    q.Texture(PixelOp::Tex, DT(0));
    q.Texture(PixelOp::TexM3x2Pad, DT(1), T(0));
    q.Texture(PixelOp::TexM3x2Depth, DT(2), T(0));
    OneLane run(q, ProgramDraw{}, group, sampler);
    EXPECT_EQ(run.plain.depth[0], 0.5f);
}

TEST(PixelProgram, AlphaOfTemporariesDoesNotSurviveThePhaseMarker) {
    RecordingSampler none;
    PixelProgram p(PixelVersion::Ps14);
    p.Define(0, 0.25f, 0.5f, 0.75f, 1.0f);
    p.Arith(PixelOp::Mov, DR(0), C(0));
    p.Phase();
    OneLane r(p, ProgramDraw{}, ProgramGroup{}, none);
    EXPECT_EQ(r[2], 0.75f);
    EXPECT_EQ(r[3], 0.0f);
}

TEST(PixelProgram, CoissuedHalvesReadTheirSourcesBeforeEitherWrites) {
    RecordingSampler none;
    PixelProgram p(PixelVersion::Ps11);
    p.Define(0, 0.25f, 0.5f, 0.75f, 1.0f);
    p.Define(1, 0.5f, 0.5f, 0.5f, 0.5f);
    p.Arith(PixelOp::Mov, DR(0), C(1));
    p.Arith(PixelOp::Mov, DR(0).Mask(kMaskRgb), C(0));
    p.Arith(PixelOp::Mov, DR(0).Mask(kMaskA), R(0).Rep(Swizzle::B), {}, {}, true);
    OneLane r(p, ProgramDraw{}, ProgramGroup{}, none);
    EXPECT_EQ(r[2], 0.75f);
    EXPECT_EQ(r[3], 0.5f);  // r0.b before the colour half wrote it
}

TEST(PixelProgram, RefusesWhatTheVersionLacks) {
    struct Case {
        PixelVersion version;
        PixelInstruction instruction;
        ProgramError error;
    };
    auto I = [](PixelOp op, Destination d, Source a = {}, Source b = {}, bool coissue = false) {
        PixelInstruction in;
        in.op = op;
        in.dst = d;
        in.src[0] = a;
        in.src[1] = b;
        in.coissue = coissue;
        return in;
    };
    const Case cases[] = {
        {PixelVersion::Ps11, I(PixelOp::Bem, DR(0).Mask(kMaskR | kMaskG), R(0), R(1)), ProgramError::OpNotInVersion},
        {PixelVersion::Ps11, I(PixelOp::Cmp, DR(0), R(0), R(1)), ProgramError::OpNotInVersion},
        {PixelVersion::Ps14, I(PixelOp::Tex, DT(0)), ProgramError::OpNotInVersion},
        {PixelVersion::Ps12, I(PixelOp::TexM3x2Depth, DT(2), T(0)), ProgramError::OpNotInVersion},
        {PixelVersion::Ps11, I(PixelOp::Mov, DR(2), R(0)), ProgramError::RegisterOutOfRange},
        {PixelVersion::Ps11, I(PixelOp::Mov, DR(0), T(4)), ProgramError::RegisterOutOfRange},
        {PixelVersion::Ps14, I(PixelOp::Mov, DR(0), C(8)), ProgramError::RegisterOutOfRange},
        {PixelVersion::Ps13, I(PixelOp::TexM3x3Tex, DT(1), T(0)), ProgramError::RegisterOutOfRange},
        {PixelVersion::Ps14, I(PixelOp::Mov, DR(0), T(0)), ProgramError::BadRegisterFile},
        {PixelVersion::Ps14, I(PixelOp::TexLd, DT(0), T(0)), ProgramError::BadRegisterFile},
        {PixelVersion::Ps11, I(PixelOp::TexBem, DT(1), R(0)), ProgramError::BadRegisterFile},
        {PixelVersion::Ps11, I(PixelOp::Mov, DR(0), R(0), {}, true), ProgramError::BadCoissue},
    };
    for (const Case& c : cases) {
        PixelProgram p(c.version);
        p.Add(c.instruction);
        EXPECT_EQ(p.Error(), c.error) << static_cast<int>(c.instruction.op);
        EXPECT_STRNE(ProgramErrorText(p.Error()), ProgramErrorText(ProgramError::None));
    }
    PixelProgram twice(PixelVersion::Ps14);
    twice.Phase();
    twice.Phase();
    EXPECT_EQ(twice.Error(), ProgramError::SecondPhase);
}

}  // namespace
