// Draws under a pixel program: the vector pixel stage (the best runner of this processor)
// against the plain one, pixel for pixel, with texkill and the alpha test in the mix.
#include <gtest/gtest.h>

#include <cstdint>
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

}  // namespace
