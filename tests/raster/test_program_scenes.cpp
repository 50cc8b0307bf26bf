// Two scenes under pixel programs, each checked against values worked out here from the
// instructions' definitions (not through the pixel stage) and kept as goldens: a quad
// whose environment lookup texbem moves by a small signed normal map, and a sphere lit per
// pixel by dp3 of a normal map with a light direction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "raster/pixel_program.h"
#include "tests/raster/raster_fixture.h"

namespace {

using namespace rastertest;
using namespace raster::ps;

// The quad covers the target's pixels exactly: vertices on the pixel edges, so pixel x
// has u = (x + 0.5) / width and no lookup of these sizes falls on a texel edge unmoved.
std::vector<std::uint32_t> DrawQuad(Target& t, const D3DState& s, const raster::PixelProgram& program,
                                    std::uint8_t signedStage0, const float bump[2][2], bool reference) {
    raster::RasterOptions options;
    options.threads = 1;
    options.referenceShading = reference;
    raster::Rasterizer r(options);
    raster::PipelineState state = Translated(s);
    state.states.pixelProgram = &program;
    state.states.stages[0].signedChannels = signedStage0;
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) state.states.stages[1].bumpMatrix[i][j] = bump[i][j];
    const float w = static_cast<float>(t.width) - 0.5f, h = static_cast<float>(t.height) - 0.5f;
    const std::vector<ScreenVertex> quad = {{-0.5f, -0.5f, 0, 1, 0xFFFFC080u, 0, 0},
                                            {w, -0.5f, 0, 1, 0xFFFFC080u, 1, 0},
                                            {-0.5f, h, 0, 1, 0xFFFFC080u, 0, 1},
                                            {w, h, 0, 1, 0xFFFFC080u, 1, 1}};
    std::fill(t.color.begin(), t.color.end(), 0u);
    r.Draw(state, t.View(false), raster::PrimitiveType::TriangleStrip, Input(quad), 0, 2);
    r.Flush();
    return t.color;
}

// The platform samples with at least 8 bits of sub-texel precision: a lookup within 1/256
// of a texel edge may read either texel, and is not checked.
bool NearEdge(float texels) {
    const float f = texels - std::floor(texels);
    return f < 1.0f / 256 || f > 1.0f - 1.0f / 256;
}

int Wrap(float texels, int size) { return static_cast<int>(std::floor(texels)) & (size - 1); }

TEST(ProgramScenes, TexbemQuadMatchesTheBumpFormula) {
    constexpr int kSize = 96, kBump = 8, kEnv = 16;
    // The normal map: signed (du, dv) ripples, biased by 128 as the copy of a V8U8 texture.
    Texture bumps(kBump, kBump, 1), env(kEnv, kEnv, 1);
    auto duOf = [](int x, int) { return static_cast<int>(std::lround(100 * std::cos(6.2831853 * x / kBump))); };
    auto dvOf = [](int, int y) { return static_cast<int>(std::lround(100 * std::sin(6.2831853 * y / kBump))); };
    for (int y = 0; y < kBump; ++y)
        for (int x = 0; x < kBump; ++x)
            bumps.At(0, x, y) = 0xFF000000u | static_cast<std::uint32_t>(duOf(x, y) + 128) << 16 |
                                static_cast<std::uint32_t>(dvOf(x, y) + 128) << 8 | 0xFFu;
    auto envOf = [](int i, int j) {
        return 0xFF000000u | static_cast<std::uint32_t>(i * 16) << 16 | static_cast<std::uint32_t>(j * 16) << 8 |
               ((i ^ j) & 1 ? 0xE0u : 0x20u);
    };
    for (int j = 0; j < kEnv; ++j)
        for (int i = 0; i < kEnv; ++i) env.At(0, i, j) = envOf(i, j);
    D3DState s = BasicState(kSize, kSize, kScreenFvf);
    s.texture[0] = &bumps.sampler;
    s.texture[1] = &env.sampler;
    s.stageState[1][D3DTSS_TEXCOORDINDEX] = 0;
    const float m[2][2] = {{0.06f, 0.02f}, {-0.03f, 0.05f}};  // BUMPENVMAT00, 01 / 10, 11

    raster::PixelProgram program(raster::PixelVersion::Ps11);  // tex t0; texbem t1, t0; mov r0, t1
    program.Texture(raster::PixelOp::Tex, DT(0));
    program.Texture(raster::PixelOp::TexBem, DT(1), T(0));
    program.Arith(raster::PixelOp::Mov, DR(0), T(1));
    ASSERT_EQ(program.Error(), raster::ProgramError::None);
    Target t(kSize, kSize);
    const std::vector<std::uint32_t> plain = DrawQuad(t, s, program, raster::kMaskR | raster::kMaskG, m, true);
    ASSERT_EQ(DrawQuad(t, s, program, raster::kMaskR | raster::kMaskG, m, false), plain);

    // texbem: u' = u + M00 du + M10 dv, v' = v + M01 du + M11 dv, (du, dv) the signed red and
    // green of the bump texel, each (c - 128) / 127.
    int checked = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const float u = (x + 0.5f) / kSize, v = (y + 0.5f) / kSize;
            const int bx = Wrap(u * kBump, kBump), by = Wrap(v * kBump, kBump);
            const float du = duOf(bx, by) / 127.0f, dv = dvOf(bx, by) / 127.0f;
            const float u1 = u + m[0][0] * du + m[1][0] * dv, v1 = v + m[0][1] * du + m[1][1] * dv;
            if (NearEdge(u * kBump) || NearEdge(v * kBump) || NearEdge(u1 * kEnv) || NearEdge(v1 * kEnv)) continue;
            ++checked;
            ASSERT_EQ(plain[y * kSize + x] & 0xFFFFFF, envOf(Wrap(u1 * kEnv, kEnv), Wrap(v1 * kEnv, kEnv)) & 0xFFFFFF)
                << x << ", " << y;
        }
    EXPECT_GT(checked, kSize * kSize * 9 / 10);
    ExpectGolden(t, "program_texbem_quad");
}

TEST(ProgramScenes, Dp3LitSphereMatchesTheLambertTerm) {
    constexpr int kSize = 64, kMap = 32;
    // A hemisphere's normals, each channel n stored as (n + 1) / 2 in a byte; flat outside.
    Texture normals(kMap, kMap, 1);
    auto channel = [](float n) { return static_cast<std::uint32_t>(std::lround((n + 1.0f) * 127.5f)); };
    for (int y = 0; y < kMap; ++y)
        for (int x = 0; x < kMap; ++x) {
            const float nx = (x + 0.5f) / (kMap / 2) - 1.0f, ny = 1.0f - (y + 0.5f) / (kMap / 2);
            const float r2 = nx * nx + ny * ny;
            const float n[3] = {r2 < 1 ? nx : 0.0f, r2 < 1 ? ny : 0.0f, r2 < 1 ? std::sqrt(1.0f - r2) : 1.0f};
            normals.At(0, x, y) = 0xFF000000u | channel(n[0]) << 16 | channel(n[1]) << 8 | channel(n[2]);
        }
    D3DState s = BasicState(kSize, kSize, kScreenFvf);
    s.texture[0] = &normals.sampler;
    const float light[3] = {-0.48f, 0.6f, 0.64f};  // unit length

    raster::PixelProgram program(raster::PixelVersion::Ps11);  // tex t0; dp3_sat r0, t0_bx2, c0; mul r0, r0, v0
    program.Define(0, light[0], light[1], light[2], 0.0f);
    program.Texture(raster::PixelOp::Tex, DT(0));
    program.Arith(raster::PixelOp::Dp3, DR(0).Sat(), T(0).Mod(raster::SourceModifier::SignedScale), C(0));
    program.Arith(raster::PixelOp::Mul, DR(0), R(0), V(0));
    ASSERT_EQ(program.Error(), raster::ProgramError::None);
    const float none[2][2] = {};
    Target t(kSize, kSize);
    const std::vector<std::uint32_t> plain = DrawQuad(t, s, program, 0, none, true);
    ASSERT_EQ(DrawQuad(t, s, program, 0, none, false), plain);

    // The Lambert term max(0, n . l) of the decoded normal 2 (c / 255 - 0.5), times the
    // diffuse colour (255, 192, 128). ps.1.x keeps 8 bits per channel: within 1.
    const int diffuse[3] = {255, 192, 128};
    int lit = 0;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const std::uint32_t texel = normals.At(0, Wrap((x + 0.5f) / kSize * kMap, kMap),
                                                   Wrap((y + 0.5f) / kSize * kMap, kMap));
            float dot = 0;
            for (int k = 0; k < 3; ++k) {
                const float c = static_cast<float>((texel >> (16 - 8 * k)) & 0xFF) / 255.0f;
                dot += 2.0f * (c - 0.5f) * light[k];
            }
            dot = std::clamp(dot, 0.0f, 1.0f);
            lit += dot > 0.5f;
            for (int k = 0; k < 3; ++k) {
                const int expected = static_cast<int>(dot * static_cast<float>(diffuse[k]) + 0.5f);
                const int actual = static_cast<int>((plain[y * kSize + x] >> (16 - 8 * k)) & 0xFF);
                ASSERT_LE(std::abs(actual - expected), 1) << x << ", " << y << " channel " << k;
            }
        }
    EXPECT_GT(lit, kSize * kSize / 8);  // the lit side shows
    ExpectGolden(t, "program_dp3_sphere");
}

}  // namespace
