// Exact behaviour: states, counts, unpackers, the fill rule, depth values, unbound
// textures, thread-count independence and geometry around the camera.
#include <cstring>

#include "raster_fixture.h"

using namespace rastertest;

namespace {

struct ColorVertex {
    float x, y, z;
    std::uint32_t diffuse;
};

TEST(RasterStates, DefaultsAreThePlatformDefaults) {
    raster::PipelineState s;
    std::memset(s.renderState, 0xCD, sizeof s.renderState);
    raster::SetDefaultStates(s);
    EXPECT_EQ(s.renderState[D3DRS_ZENABLE], static_cast<DWORD>(D3DZB_TRUE));
    EXPECT_EQ(s.renderState[D3DRS_CULLMODE], static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(s.renderState[D3DRS_ZFUNC], static_cast<DWORD>(D3DCMP_LESSEQUAL));
    EXPECT_EQ(s.renderState[D3DRS_FOGEND], FloatBits(1.0f));
    EXPECT_EQ(s.renderState[D3DRS_POINTSIZE_MAX], FloatBits(64.0f));
    EXPECT_EQ(s.renderState[D3DRS_STENCILWRITEMASK], 0xFFFFFFFFu);
    EXPECT_EQ(s.renderState[D3DRS_COLORWRITEENABLE], 0xFu);
    EXPECT_EQ(s.renderState[D3DRS_DIFFUSEMATERIALSOURCE], static_cast<DWORD>(D3DMCS_COLOR1));
    EXPECT_EQ(s.renderState[D3DRS_SPECULARMATERIALSOURCE], static_cast<DWORD>(D3DMCS_COLOR2));
    EXPECT_EQ(s.renderState[D3DRS_LIGHTING], static_cast<DWORD>(TRUE));
    EXPECT_EQ(s.renderState[D3DRS_WRAP3], 0u);
    EXPECT_EQ(s.renderState[D3DRS_LINEPATTERN], 0u);
    EXPECT_EQ(s.stageState[0][D3DTSS_COLOROP], static_cast<DWORD>(D3DTOP_MODULATE));
    EXPECT_EQ(s.stageState[1][D3DTSS_COLOROP], static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(s.stageState[0][D3DTSS_ALPHAOP], static_cast<DWORD>(D3DTOP_SELECTARG1));
    EXPECT_EQ(s.stageState[7][D3DTSS_ALPHAOP], static_cast<DWORD>(D3DTOP_DISABLE));
    EXPECT_EQ(s.stageState[5][D3DTSS_TEXCOORDINDEX], 5u);
    EXPECT_EQ(s.stageState[3][D3DTSS_COLORARG1], D3DTA_TEXTURE);
    EXPECT_EQ(s.stageState[3][D3DTSS_ALPHAARG2], D3DTA_CURRENT);
    EXPECT_EQ(s.stageState[2][D3DTSS_MAXANISOTROPY], 1u);
    EXPECT_EQ(s.stageState[2][D3DTSS_ADDRESSW], static_cast<DWORD>(D3DTADDRESS_WRAP));
}

TEST(RasterStates, VertexCounts) {
    EXPECT_EQ(raster::VertexCountFor(D3DPT_POINTLIST, 5), 5u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_LINELIST, 5), 10u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_LINESTRIP, 5), 6u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_TRIANGLELIST, 5), 15u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_TRIANGLESTRIP, 5), 7u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_TRIANGLEFAN, 5), 7u);
    EXPECT_EQ(raster::VertexCountFor(D3DPT_TRIANGLEFAN, 0), 0u);
    EXPECT_EQ(raster::VertexCountFor(static_cast<D3DPRIMITIVETYPE>(9), 3), 0u);
}

// The application's first picture: white axis lines through world x view x projection.
TEST(RasterLines, LineListThroughTheTransforms) {
    Target target(32, 32);
    raster::Rasterizer r(1);
    raster::PipelineState s = BasicState(32, 32, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    s.world = Translation(0.0f, 0.0f, 0.5f);
    s.projection = Identity();
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    // x axis along row 16 (y = 0 maps to 16), y axis along column 16.
    std::vector<ColorVertex> v = {{-0.5f, 0.0f, 0.0f, 0xFFFFFFFF}, {0.5f, 0.0f, 0.0f, 0xFFFFFFFF},
                                  {0.0f, -0.5f, 0.0f, 0xFFFFFFFF}, {0.0f, 0.5f, 0.0f, 0xFFFFFFFF}};
    r.Draw(s, target.View(), D3DPT_LINELIST, Input(v), 0, 2);
    r.Flush();
    for (int x = 0; x < 32; ++x) {
        bool onX = x >= 8 && x <= 24;
        EXPECT_EQ(target.At(x, 16), onX ? 0xFFFFFFFFu : (x == 16 ? 0xFFFFFFFFu : 0xFF000000u)) << "x " << x;
    }
    for (int y = 0; y < 32; ++y) {
        bool onY = y >= 8 && y <= 24;
        EXPECT_EQ(target.At(16, y), onY ? 0xFFFFFFFFu : 0xFF000000u) << "y " << y;
    }
    EXPECT_EQ(target.At(3, 3), 0xFF000000u);
}

}  // namespace
