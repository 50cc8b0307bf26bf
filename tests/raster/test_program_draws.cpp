// Draws under a pixel program: the vector pixel stage (the best runner of this processor)
// against the plain one, pixel for pixel, with texkill and the alpha test in the mix.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "raster/pixel_program.h"
#include "tests/raster/raster_fixture.h"

namespace {

using namespace rastertest;
using namespace raster::ps;

std::vector<std::uint32_t> ProgramFrame(const raster::PixelProgram& program, bool reference) {
    Target t(37, 9);
    raster::RasterOptions options;
    options.threads = 1;
    options.referenceShading = reference;
    raster::Rasterizer r(options);
    Texture tex(8, 8, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) tex.At(0, x, y) = 0xFF000000u | (x * 0x1F0000u) | (y * 0x1D00u) | ((x ^ y) * 0x17u);
    D3DState s = BasicState(37, 9, kScreenFvf);
    s.texture[0] = &tex.sampler;
    s.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
    s.renderState[D3DRS_ALPHATESTENABLE] = TRUE;
    s.renderState[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
    s.renderState[D3DRS_ALPHAREF] = 0x30;
    raster::PipelineState state = Translated(s);
    state.states.pixelProgram = &program;
    const float c0[4] = {0.1f, -0.2f, 0.3f, -0.4f};
    for (int k = 0; k < 4; ++k) state.states.pixelConstants[0][k] = c0[k];
    const std::vector<ScreenVertex> quad = {{-0.5f, 0, 0, 1, 0xFF2080F0u, -0.3f, 0},
                                            {37, 0, 0, 0.5f, 0x80F08020u, 1.2f, 0},
                                            {0, 9, 0, 1, 0x10FFFFFFu, 0, 1.1f},
                                            {37, 9, 0, 0.25f, 0xC0000000u, 1.3f, 1.0f}};
    r.Draw(state, t.View(false), raster::PrimitiveType::TriangleStrip, Input(quad), 0, 2);
    r.Flush();
    return t.color;
}

TEST(ProgramDraws, VectorPixelStageMatchesThePlainOne) {
    raster::PixelProgram program(raster::PixelVersion::Ps11);
    program.Texture(raster::PixelOp::TexCoord, DT(1));
    program.Texture(raster::PixelOp::TexKill, DT(1));
    program.Texture(raster::PixelOp::Tex, DT(0));
    program.Arith(raster::PixelOp::Mad, DR(0), T(0), V(0), C(0));
    ASSERT_EQ(program.Error(), raster::ProgramError::None);
    const std::vector<std::uint32_t> plain = ProgramFrame(program, true);
    const std::vector<std::uint32_t> vector = ProgramFrame(program, false);
    int drawn = 0;
    for (std::uint32_t p : plain) drawn += p != 0;
    EXPECT_GT(drawn, 37 * 9 / 4);
    EXPECT_LT(drawn, 37 * 9);  // texkill and the alpha test removed some
    EXPECT_EQ(vector, plain);
}

// The stages after a bump stage run as a program; with a zero bump matrix every operation
// of the next stages must draw what the integer stages draw (to the rounding of their byte
// arithmetic), the bump stage passing CURRENT on.
std::vector<std::uint32_t> StageFrame(DWORD firstOp, DWORD op, DWORD arg1, DWORD arg2, DWORD arg0, bool toTemp,
                                      bool reference) {
    Target t(23, 7);
    raster::RasterOptions options;
    options.threads = 1;
    options.referenceShading = reference;
    Rasterizer r(options);
    Texture first(4, 4, 1), second(4, 4, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            first.At(0, x, y) = 0x80402010u * static_cast<std::uint32_t>(x + 3 * y + 1);
            second.At(0, x, y) = 0x10305070u * static_cast<std::uint32_t>(5 * x + y + 2) ^ 0x5A000000u;
        }
    D3DState s = BasicState(23, 7, kScreenFvf);
    s.texture[0] = &first.sampler;
    s.texture[1] = &second.sampler;
    s.renderState[D3DRS_TEXTUREFACTOR] = 0x9060C030u;
    s.renderState[D3DRS_SPECULARENABLE] = TRUE;
    DWORD* s0 = s.stageState[0];
    s0[D3DTSS_COLOROP] = firstOp;
    s0[D3DTSS_COLORARG1] = firstOp == D3DTOP_SELECTARG1 ? D3DTA_CURRENT : D3DTA_TEXTURE;
    s0[D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s0[D3DTSS_ALPHAARG1] = D3DTA_CURRENT;
    for (DWORD* st : {s.stageState[1], s.stageState[2]}) {
        st[D3DTSS_COLOROP] = st[D3DTSS_ALPHAOP] = op;
        st[D3DTSS_COLORARG1] = st[D3DTSS_ALPHAARG1] = arg1;
        st[D3DTSS_COLORARG2] = st[D3DTSS_ALPHAARG2] = arg2;
        st[D3DTSS_COLORARG0] = st[D3DTSS_ALPHAARG0] = arg0;
        st[D3DTSS_TEXCOORDINDEX] = 0;
    }
    s.stageState[1][D3DTSS_RESULTARG] = toTemp ? D3DTA_TEMP : D3DTA_CURRENT;
    // The dot product in one stage: a second would multiply the first's rounding by up to 6.
    if (op == D3DTOP_DOTPRODUCT3) {
        s.stageState[1][D3DTSS_ALPHAOP] = s.stageState[2][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
        s.stageState[2][D3DTSS_COLOROP] = D3DTOP_MODULATE;
    }
    const std::vector<ScreenVertex> quad = {{0, 0, 0, 1, 0xFF2080F0u, 0, 0},
                                            {23, 0, 0, 1, 0x80F08020u, 1, 0},
                                            {0, 7, 0, 1, 0x10FFFFFFu, 0, 1},
                                            {23, 7, 0, 1, 0xC0000000u, 1, 1}};
    r.Draw(s, t.View(false), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    return t.color;
}

TEST(ProgramDraws, StagesAfterABumpStageDrawAsTheIntegerStages) {
    const DWORD ops[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X,
                         D3DTOP_ADD, D3DTOP_ADDSIGNED, D3DTOP_ADDSIGNED2X, D3DTOP_SUBTRACT, D3DTOP_ADDSMOOTH,
                         D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDFACTORALPHA,
                         D3DTOP_BLENDTEXTUREALPHAPM, D3DTOP_BLENDCURRENTALPHA, D3DTOP_MODULATEALPHA_ADDCOLOR,
                         D3DTOP_MODULATECOLOR_ADDALPHA, D3DTOP_MODULATEINVALPHA_ADDCOLOR,
                         D3DTOP_MODULATEINVCOLOR_ADDALPHA, D3DTOP_DOTPRODUCT3, D3DTOP_MULTIPLYADD, D3DTOP_LERP};
    const DWORD args[][3] = {
        {D3DTA_TEXTURE, D3DTA_CURRENT, D3DTA_DIFFUSE},
        {D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE, D3DTA_SPECULAR},
        {D3DTA_CURRENT | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, D3DTA_TEMP, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE},
    };
    for (DWORD op : ops)
        for (int a = 0; a < 3; ++a) {
            SCOPED_TRACE(::testing::Message() << "op " << op << ", arguments " << a);
            const bool toTemp = a == 2;
            const std::vector<std::uint32_t> integer =
                StageFrame(D3DTOP_SELECTARG1, op, args[a][0], args[a][1], args[a][2], toTemp, true);
            const std::vector<std::uint32_t> program =
                StageFrame(D3DTOP_BUMPENVMAP, op, args[a][0], args[a][1], args[a][2], toTemp, true);
            ASSERT_EQ(StageFrame(D3DTOP_BUMPENVMAP, op, args[a][0], args[a][1], args[a][2], toTemp, false), program);
            // Byte products round once per step in the integer stages, and the next stage's
            // scale (2x, 4x, the dot product's 4) multiplies the error of the one before.
            const bool four = op == D3DTOP_DOTPRODUCT3 || op == D3DTOP_MODULATE4X;
            const bool two = op == D3DTOP_MODULATE2X || op == D3DTOP_ADDSIGNED2X;
            const int tolerance = four ? 8 : (two ? 4 : 2);
            for (std::size_t i = 0; i < integer.size(); ++i)
                for (int shift = 0; shift < 32; shift += 8) {
                    const int x = static_cast<int>((integer[i] >> shift) & 0xFF);
                    const int y = static_cast<int>((program[i] >> shift) & 0xFF);
                    ASSERT_LE(std::abs(x - y), tolerance) << "pixel " << i << ", channel shift " << shift;
                }
        }
}

// The vector runners set up each group, look the texels up a group at a time and, with a
// plain depth test, test and write a group at a time: every target against the plain
// stage, colour and depth, with every filter and mip filter over a mipmapped texture on
// slanted quads (each group spans several levels, rows end inside a group of sixteen), the
// second quad crossing the first in depth, texkill in one program.
struct Frame {
    std::vector<std::uint32_t> color;
    std::vector<std::uint16_t> depth;
    bool operator==(const Frame&) const = default;
};

Frame ProgramTargetFrame(std::int64_t target, bool reference, const raster::PixelProgram& program, DWORD filter,
                         DWORD mipFilter, DWORD zfunc) {
    Target t(61, 23);
    std::fill(t.depth.begin(), t.depth.end(), std::uint16_t{0x8000});  // halfway: each test fails somewhere
    raster::RasterOptions options;
    options.threads = 1;
    options.referenceShading = reference;
    options.vectorTargets = target;
    raster::Rasterizer r(options);
    std::mt19937 random(5);
    Texture bumps(8, 8, 1);
    for (std::uint32_t& texel : bumps.storage[0]) texel = static_cast<std::uint32_t>(random());
    Texture wall = Checker(32, 3, true);
    for (auto& level : wall.storage)
        for (std::uint32_t& texel : level) texel ^= static_cast<std::uint32_t>(random()) & 0x3F3F3F3Fu;
    D3DState s = BasicState(61, 23, kScreenFvf);
    s.texture[0] = &bumps.sampler;
    s.texture[1] = &wall.sampler;
    s.stageState[1][D3DTSS_TEXCOORDINDEX] = 0;
    s.stageState[1][D3DTSS_MAGFILTER] = s.stageState[1][D3DTSS_MINFILTER] = filter;
    s.stageState[1][D3DTSS_MIPFILTER] = mipFilter;
    s.renderState[D3DRS_ZENABLE] = D3DZB_TRUE;
    s.renderState[D3DRS_ZWRITEENABLE] = TRUE;
    s.renderState[D3DRS_ZFUNC] = zfunc;
    raster::PipelineState state = Translated(s);
    state.states.pixelProgram = &program;
    state.states.stages[0].signedChannels = raster::kMaskR | raster::kMaskG;
    const float m[2][2] = {{0.3f, -0.1f}, {0.2f, 0.25f}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) state.states.stages[1].bumpMatrix[i][j] = m[i][j];
    const std::vector<ScreenVertex> first = {{-0.5f, 0, 0.2f, 1, 0xFF2080F0u, -0.3f, 0},
                                             {61, 0, 0.8f, 0.1f, 0x80F08020u, 7.2f, 0},
                                             {0, 23, 0.2f, 1, 0x10FFFFFFu, 0, 2.1f},
                                             {61, 23, 0.8f, 0.05f, 0xC0000000u, 9.3f, 5.0f}};
    const std::vector<ScreenVertex> second = {{0, 0, 0.9f, 1, 0xFF808080u, 0.5f, 0.5f},
                                              {61, 3, 0.1f, 0.5f, 0xFF4020F0u, -2.0f, 1.0f},
                                              {3, 23, 0.7f, 0.25f, 0xFFF02040u, 3.0f, -1.5f}};
    r.Draw(state, t.View(true), raster::PrimitiveType::TriangleStrip, Input(first), 0, 2);
    r.Draw(state, t.View(true), raster::PrimitiveType::TriangleList, Input(second), 0, 1);
    r.Flush();
    return {t.color, t.depth};
}

TEST(ProgramDraws, VectorGroupsOnEveryTargetMatchThePlainStage) {
    raster::PixelProgram bump(raster::PixelVersion::Ps11);  // tex t0; texbem t1, t0; mul r0, t1, v0
    bump.Texture(raster::PixelOp::Tex, DT(0));
    bump.Texture(raster::PixelOp::TexBem, DT(1), T(0));
    bump.Arith(raster::PixelOp::Mul, DR(0), T(1), V(0));
    raster::PixelProgram kill(raster::PixelVersion::Ps11);  // texcoord t0; texkill t0; tex t1; add r0, t1, -t0
    kill.Texture(raster::PixelOp::TexCoord, DT(0));
    kill.Texture(raster::PixelOp::TexKill, DT(0));
    kill.Texture(raster::PixelOp::Tex, DT(1));
    kill.Arith(raster::PixelOp::Add, DR(0), T(1), T(0).Neg());
    ASSERT_EQ(bump.Error(), raster::ProgramError::None);
    ASSERT_EQ(kill.Error(), raster::ProgramError::None);
    int ran = 0;
    for (std::int64_t left = raster::CompiledProgramTargets(); left != 0; left &= left - 1) {
        const std::int64_t target = left & -left;
        if ((hwy::SupportedTargets() & target) == 0) {
            std::printf("[ skipped  ] %s: this processor lacks it\n", hwy::TargetName(target));
            continue;
        }
        ++ran;
        for (const raster::PixelProgram* program : {&bump, &kill})
            for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR})
                for (DWORD mip : {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR})
                    for (DWORD zfunc : {D3DCMP_LESSEQUAL, D3DCMP_GREATER}) {
                        SCOPED_TRACE(testing::Message() << hwy::TargetName(target) << ", kill " << (program == &kill)
                                                        << ", filter " << filter << ", mip " << mip
                                                        << ", zfunc " << zfunc);
                        const Frame plain = ProgramTargetFrame(target, true, *program, filter, mip, zfunc);
                        std::vector<std::uint32_t> distinct = plain.color;  // a textured frame, not a flat one
                        std::sort(distinct.begin(), distinct.end());
                        EXPECT_GT(std::unique(distinct.begin(), distinct.end()) - distinct.begin(),
                                  static_cast<long>(plain.color.size() / 8));
                        const long untouched =
                            std::count(plain.depth.begin(), plain.depth.end(), std::uint16_t{0x8000});
                        EXPECT_GT(untouched, static_cast<long>(plain.depth.size() / 8));
                        EXPECT_LT(untouched, static_cast<long>(plain.depth.size() * 7 / 8));
                        EXPECT_TRUE(ProgramTargetFrame(target, false, *program, filter, mip, zfunc) == plain);
                    }
    }
    if (ran == 0) GTEST_SKIP() << "no compiled target runs on this processor";
}

}  // namespace
