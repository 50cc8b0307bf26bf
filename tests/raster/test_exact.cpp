// Exact behaviour: states, counts, unpackers, the fill rule, depth values, unbound
// textures, thread-count independence and geometry around the camera.
#include <cstring>

#include "raster/pipeline.h"
#include "raster_fixture.h"

using namespace rastertest;

namespace {

struct ColorVertex {
    float x, y, z;
    std::uint32_t diffuse;
};

TEST(RasterStates, DefaultsAreThePlatformDefaults) {
    D3DState s;
    std::memset(s.renderState, 0xCD, sizeof s.renderState);
    SetDefaultStates(s);
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
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::PointList, 5), 5u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::LineList, 5), 10u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::LineStrip, 5), 6u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::TriangleList, 5), 15u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::TriangleStrip, 5), 7u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::TriangleFan, 5), 7u);
    EXPECT_EQ(raster::VertexCountFor(raster::PrimitiveType::TriangleFan, 0), 0u);
}

// The application's first picture: white axis lines through world x view x projection.
TEST(RasterLines, LineListThroughTheTransforms) {
    Target target(32, 32);
    Rasterizer r(1);
    D3DState s = BasicState(32, 32, D3DFVF_XYZ | D3DFVF_DIFFUSE);
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

namespace {

ScreenVertex SV(float x, float y, float z, std::uint32_t color, float u = 0.0f, float v = 0.0f) {
    return {x, y, z, 1.0f, color, u, v};
}

// Additive blending of 1 per triangle: a pixel's value counts how many triangles touched it.
TEST(RasterFillRule, FanOverASquareTouchesEveryPixelOnce) {
    Target target(64, 64);
    Rasterizer r(2);
    D3DState s = BasicState(64, 64, kScreenFvf);
    s.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
    s.renderState[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.renderState[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    s.renderState[D3DRS_ZENABLE] = FALSE;
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;  // diffuse only
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0, 1.0f);
    const std::uint32_t one = 0x00010101u;
    // Perimeter of the square (4,4)-(60,60), clockwise, with points on pixel centres,
    // between them, and on exact corners; the centre is off the grid.
    const float perimeter[][2] = {{4, 4},      {17.5f, 4},  {31, 4},     {44.25f, 4},  {60, 4},  {60, 13.7f},
                                  {60, 32},    {60, 47.5f}, {60, 60},    {45.1f, 60},  {32, 60}, {16.5f, 60},
                                  {4, 60},     {4, 41.3f},  {4, 30},     {4, 12.5f},   {4, 4}};
    std::vector<ScreenVertex> fan;
    fan.push_back(SV(31.37f, 29.71f, 0.5f, one));
    for (const auto& p : perimeter) fan.push_back(SV(p[0], p[1], 0.5f, one));
    UINT triangles = static_cast<UINT>(fan.size() - 2);
    // One draw per triangle, so a pixel touched twice would read 2.
    for (UINT t = 0; t < triangles; ++t) {
        std::vector<ScreenVertex> tri = {fan[0], fan[t + 1], fan[t + 2]};
        r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(tri), 0, 1);
    }
    r.Flush();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= 4 && x < 60 && y >= 4 && y < 60;
            ASSERT_EQ(target.At(x, y) & 0xFFFFFF, inside ? one : 0u) << "pixel " << x << "," << y;
        }
    // The same fan in one draw, as a fan primitive.
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0, 1.0f);
    r.Draw(s, target.View(), D3DPT_TRIANGLEFAN, Input(fan), 0, triangles);
    r.Flush();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            bool inside = x >= 4 && x < 60 && y >= 4 && y < 60;
            ASSERT_EQ(target.At(x, y) & 0xFFFFFF, inside ? one : 0u) << "fan pixel " << x << "," << y;
        }
}

TEST(RasterFillRule, SharedDiagonalAndPixelCentreEdges) {
    // Two triangles of a quad whose corners lie on pixel centres: the left and top edges
    // are in, the right and bottom edges out, the diagonal drawn once.
    Target target(16, 16);
    Rasterizer r(1);
    D3DState s = BasicState(16, 16, kScreenFvf);
    s.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
    s.renderState[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.renderState[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0, 1.0f);
    std::vector<ScreenVertex> quad = {SV(2, 3, 0, 0x10), SV(12, 3, 0, 0x10), SV(2, 11, 0, 0x10),
                                      SV(12, 3, 0, 0x10), SV(12, 11, 0, 0x10), SV(2, 11, 0, 0x10)};
    r.Draw(s, target.View(false), D3DPT_TRIANGLELIST, Input(quad), 0, 2);
    r.Flush();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inside = x >= 2 && x < 12 && y >= 3 && y < 11;
            ASSERT_EQ(target.At(x, y) & 0xFF, inside ? 0x10u : 0u) << x << "," << y;
        }
}

TEST(RasterDepth, D16ValuesAreZScaledTo65535) {
    Target target(8, 8);
    Rasterizer r(1);
    D3DState s = BasicState(8, 8, kScreenFvf);
    s.renderState[D3DRS_ZFUNC] = D3DCMP_ALWAYS;
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.5f);
    r.Flush();
    EXPECT_EQ(target.depth[0], 32768);  // 0.5 * 65535 rounded
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f);
    r.Flush();
    EXPECT_EQ(target.depth[63], 65535);
    // A quad whose depth runs from 0 at x = 0 to 1 at x = 7 (pixel centres).
    std::vector<ScreenVertex> quad = {SV(0, 0, 0, ~0u), SV(7, 0, 1, ~0u), SV(0, 8, 0, ~0u),
                                      SV(7, 0, 1, ~0u), SV(7, 8, 1, ~0u), SV(0, 8, 0, ~0u)};
    r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(quad), 0, 2);
    r.Flush();
    for (int x = 0; x < 7; ++x) {
        double z = x / 7.0;
        int expected = static_cast<int>(z * 65535.0 + 0.5);
        EXPECT_NEAR(target.depth[static_cast<std::size_t>(3 * 8 + x)], expected, 1) << "x " << x;
    }
    EXPECT_EQ(target.depth[3 * 8], 0);
    // Depth below 0 and above 1 is clamped.
    std::vector<ScreenVertex> out = {SV(0, 0, -2, ~0u), SV(8, 0, -2, ~0u), SV(0, 8, 3, ~0u)};
    r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(out), 0, 1);
    r.Flush();
    EXPECT_EQ(target.depth[0], 0);
    EXPECT_EQ(target.depth[6 * 8], 65535);
}

TEST(RasterDepth, EveryZFunc) {
    struct Case {
        D3DCMPFUNC func;
        bool passLess, passEqual, passGreater;
    };
    const Case cases[] = {{D3DCMP_NEVER, false, false, false},  {D3DCMP_LESS, true, false, false},
                          {D3DCMP_EQUAL, false, true, false},   {D3DCMP_LESSEQUAL, true, true, false},
                          {D3DCMP_GREATER, false, false, true}, {D3DCMP_NOTEQUAL, true, false, true},
                          {D3DCMP_GREATEREQUAL, false, true, true}, {D3DCMP_ALWAYS, true, true, true}};
    for (const Case& c : cases) {
        Target target(4, 4);
        Rasterizer r(1);
        D3DState s = BasicState(4, 4, kScreenFvf);
        s.renderState[D3DRS_ZFUNC] = c.func;
        s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
        const float depths[3] = {0.25f, 0.5f, 0.75f};
        const bool expect[3] = {c.passLess, c.passEqual, c.passGreater};
        for (int i = 0; i < 3; ++i) {
            r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f);
            std::vector<ScreenVertex> quad = {SV(0, 0, depths[i], 0xFFFFFFFF), SV(4, 0, depths[i], 0xFFFFFFFF),
                                              SV(0, 4, depths[i], 0xFFFFFFFF), SV(4, 4, depths[i], 0xFFFFFFFF)};
            r.Draw(s, target.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
            r.Flush();
            EXPECT_EQ(target.At(1, 1), expect[i] ? 0xFFFFFFFFu : 0xFF000000u) << "func " << c.func << " case " << i;
            std::uint16_t written = expect[i] ? static_cast<std::uint16_t>(depths[i] * 65535.0f + 0.5f) : 32768;
            EXPECT_EQ(target.depth[5], written) << "func " << c.func << " case " << i;
        }
    }
}

TEST(RasterDepth, ZWriteDisableAndZEnableFalse) {
    Target target(4, 4);
    Rasterizer r(1);
    D3DState s = BasicState(4, 4, kScreenFvf);
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 0.5f);
    std::vector<ScreenVertex> near = {SV(0, 0, 0.25f, 0xFF00FF00), SV(4, 0, 0.25f, 0xFF00FF00), SV(0, 4, 0.25f, 0xFF00FF00),
                                      SV(4, 4, 0.25f, 0xFF00FF00)};
    s.renderState[D3DRS_ZWRITEENABLE] = FALSE;
    r.Draw(s, target.View(), D3DPT_TRIANGLESTRIP, Input(near), 0, 2);
    r.Flush();
    EXPECT_EQ(target.At(2, 2), 0xFF00FF00u);
    EXPECT_EQ(target.depth[10], 32768);
    // ZENABLE FALSE: a far quad draws over it and leaves the depth alone.
    std::vector<ScreenVertex> far = {SV(0, 0, 0.9f, 0xFFFF0000), SV(4, 0, 0.9f, 0xFFFF0000), SV(0, 4, 0.9f, 0xFFFF0000),
                                     SV(4, 4, 0.9f, 0xFFFF0000)};
    s.renderState[D3DRS_ZWRITEENABLE] = TRUE;
    s.renderState[D3DRS_ZENABLE] = D3DZB_FALSE;
    r.Draw(s, target.View(), D3DPT_TRIANGLESTRIP, Input(far), 0, 2);
    r.Flush();
    EXPECT_EQ(target.At(2, 2), 0xFFFF0000u);
    EXPECT_EQ(target.depth[10], 32768);
}

TEST(RasterTextures, UnboundTextureReadsWhiteWithTheDiffuseAlpha) {
    Target target(4, 4);
    Rasterizer r(1);
    D3DState s = BasicState(4, 4, kScreenFvf);
    // Default stage 0: colour = texture * diffuse, alpha = texture alpha, the diffuse 0x80;
    // a second stage modulating by its (unbound) texture keeps the colour and squares the alpha.
    s.stageState[1][D3DTSS_COLOROP] = D3DTOP_MODULATE;
    s.stageState[1][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
    s.renderState[D3DRS_ALPHATESTENABLE] = TRUE;
    s.renderState[D3DRS_ALPHAFUNC] = D3DCMP_EQUAL;
    s.renderState[D3DRS_ALPHAREF] = 0x40;  // passes only if both stages read the diffuse alpha
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    std::vector<ScreenVertex> quad = {SV(0, 0, 0, 0x80336699), SV(4, 0, 0, 0x80336699), SV(0, 4, 0, 0x80336699),
                                      SV(4, 4, 0, 0x80336699)};
    r.Draw(s, target.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    EXPECT_EQ(target.At(1, 1), 0xFF336699u);
    // A texture without levels, or with an empty level, reads as unbound too.
    raster::SamplerTexture empty;
    raster::SamplerTexture broken;
    broken.levelCount = 1;
    broken.levels[0] = {nullptr, 0, 0, 0};
    for (const raster::SamplerTexture* texture : {&empty, &broken}) {
        s.texture[0] = texture;
        r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        r.Draw(s, target.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
        r.Flush();
        EXPECT_EQ(target.At(1, 1), 0xFF336699u);
    }
}

TEST(RasterUnpack, FormatsWidenByBitReplication) {
    struct Case {
        D3DFORMAT format;
        std::uint32_t texel;
        int bytes;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {D3DFMT_A8R8G8B8, 0x12345678u, 4, 0x12345678u},
        {D3DFMT_X8R8G8B8, 0x00345678u, 4, 0xFF345678u},
        {D3DFMT_R5G6B5, 0xF800u, 2, 0xFFFF0000u},
        {D3DFMT_R5G6B5, 0x07E0u | 0x0001u, 2, 0xFF00FF08u},
        {D3DFMT_X1R5G5B5, 0x7C00u | 0x8000u, 2, 0xFFFF0000u},
        {D3DFMT_A1R5G5B5, 0x8000u | 0x001Fu, 2, 0xFF0000FFu},
        {D3DFMT_A1R5G5B5, 0x03E0u, 2, 0x0000FF00u},
        {D3DFMT_A4R4G4B4, 0x8F21u, 2, 0x88FF2211u},
        {D3DFMT_X4R4G4B4, 0x0F21u, 2, 0xFFFF2211u},
        {D3DFMT_R3G3B2, 0xE0u | 0x03u, 1, 0xFFFF00FFu},
        {D3DFMT_R3G3B2, 0x04u, 1, 0xFF002400u},
        {D3DFMT_A8, 0x7Fu, 1, 0x7FFFFFFFu},
        {D3DFMT_A8R3G3B2, 0x40E0u, 2, 0x40FF0000u},
        {D3DFMT_L8, 0x9Au, 1, 0xFF9A9A9Au},
        {D3DFMT_A8L8, 0x209Au, 2, 0x209A9A9Au},
        {D3DFMT_A4L4, 0x5Cu, 1, 0x55CCCCCCu},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(d3d8::SamplerReadsFormat(c.format)) << c.format;
        std::uint8_t bytes[4];
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(c.texel >> (8 * i));
        std::uint32_t out = 0;
        ASSERT_TRUE(d3d8::UnpackLevel(c.format, bytes, 4, 1, 1, &out, 1));
        EXPECT_EQ(out, c.expected) << "format " << c.format << " texel " << std::hex << c.texel;
    }
    EXPECT_FALSE(d3d8::SamplerReadsFormat(D3DFMT_P8));
    EXPECT_FALSE(d3d8::SamplerReadsFormat(D3DFMT_V16U16));
    std::uint32_t out = 0;
    std::uint8_t texel = 0;
    EXPECT_FALSE(d3d8::UnpackLevel(D3DFMT_P8, &texel, 1, 1, 1, &out, 1));
}

TEST(RasterUnpack, DxtBlocks) {
    // DXT1, four-colour mode: c0 red (0xF800) > c1 blue (0x001F); indices 0,1,2,3 in row 0.
    const std::uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0x00, 0x00, 0x00};
    std::uint32_t out[16];
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT1, dxt1, 8, 4, 4, out, 4));
    EXPECT_EQ(out[0], 0xFFFF0000u);
    EXPECT_EQ(out[1], 0xFF0000FFu);
    EXPECT_EQ(out[2], 0xFFAA0055u);  // 2/3 red + 1/3 blue
    EXPECT_EQ(out[3], 0xFF5500AAu);
    EXPECT_EQ(out[4], 0xFFFF0000u);  // index 0
    // Three-colour mode (c0 <= c1): index 2 is the midpoint, 3 transparent black.
    const std::uint8_t dxt1b[8] = {0x1F, 0x00, 0x00, 0xF8, 0xE4, 0x00, 0x00, 0x00};
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT1, dxt1b, 8, 4, 4, out, 4));
    EXPECT_EQ(out[2], 0xFF800080u);
    EXPECT_EQ(out[3], 0x00000000u);
    // DXT3: explicit 4-bit alpha (texel 0 alpha 0x3, texel 1 alpha 0xC), colour white.
    std::uint8_t dxt3[16] = {0xC3, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT3, dxt3, 16, 4, 4, out, 4));
    EXPECT_EQ(out[0], 0x33FFFFFFu);
    EXPECT_EQ(out[1], 0xCCFFFFFFu);
    EXPECT_EQ(out[2], 0x00FFFFFFu);
    // DXT5: a0 = 200 > a1 = 100, eight-alpha mode; codes 0, 1, 2 (6/7 a0 + 1/7 a1), 7.
    std::uint8_t dxt5[16] = {200, 100, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    std::uint64_t codes = 0 | (1u << 3) | (2u << 6) | (7u << 9);
    for (int i = 0; i < 6; ++i) dxt5[2 + i] = static_cast<std::uint8_t>(codes >> (8 * i));
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT5, dxt5, 16, 4, 4, out, 4));
    EXPECT_EQ(out[0] >> 24, 200u);
    EXPECT_EQ(out[1] >> 24, 100u);
    EXPECT_EQ(out[2] >> 24, (6u * 200 + 100 + 3) / 7);
    EXPECT_EQ(out[3] >> 24, (1u * 200 + 6 * 100 + 3) / 7);
    // Six-alpha mode (a0 <= a1): codes 6 and 7 are 0 and 255.
    std::uint8_t dxt5b[16] = {50, 150, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    codes = 6u | (7u << 3) | (2u << 6);
    for (int i = 0; i < 6; ++i) dxt5b[2 + i] = static_cast<std::uint8_t>(codes >> (8 * i));
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT4, dxt5b, 16, 4, 4, out, 4));
    EXPECT_EQ(out[0] >> 24, 0u);
    EXPECT_EQ(out[1] >> 24, 255u);
    EXPECT_EQ(out[2] >> 24, (4u * 50 + 150 + 2) / 5);
    // A 2x3 level reads only its part of the block and writes nothing past it.
    std::uint32_t small[4 * 3];
    for (auto& p : small) p = 0xDEADBEEFu;
    ASSERT_TRUE(d3d8::UnpackLevel(D3DFMT_DXT1, dxt1, 8, 2, 3, small, 4));
    EXPECT_EQ(small[0], 0xFFFF0000u);
    EXPECT_EQ(small[1], 0xFF0000FFu);
    EXPECT_EQ(small[2], 0xDEADBEEFu);
    EXPECT_EQ(small[4 * 2], 0xFFFF0000u);
}

}  // namespace

namespace {

int LitPixels(const Target& t) {
    int lit = 0;
    for (std::uint32_t p : t.color) lit += (p & 0xFFFFFF) != 0;
    return lit;
}

TEST(RasterLines, LastPixelAndMajorAxis) {
    for (BOOL last : {TRUE, FALSE}) {
        Target t(16, 16);
        Rasterizer r(1);
        D3DState s = BasicState(16, 16, kScreenFvf);
        s.renderState[D3DRS_LASTPIXEL] = last;
        s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
        r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        // x-major from pixel 2 to pixel 10 on row 5.
        std::vector<ScreenVertex> line = {{2, 5, 0, 1, 0xFFFFFFFF, 0, 0}, {10, 5, 0, 1, 0xFFFFFFFF, 0, 0}};
        r.Draw(s, t.View(), D3DPT_LINELIST, Input(line), 0, 1);
        r.Flush();
        for (int x = 0; x < 16; ++x) {
            bool on = x >= 2 && (last ? x <= 10 : x < 10);
            EXPECT_EQ((t.At(x, 5) & 0xFFFFFF) != 0, on) << "x " << x << " lastpixel " << last;
        }
        EXPECT_EQ(LitPixels(t), last ? 9 : 8);
        // y-major, drawn upwards: one pixel per row, the end point last.
        r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0, 1.0f);
        std::vector<ScreenVertex> steep = {{3, 14, 0, 1, 0xFFFFFFFF, 0, 0}, {6, 2, 0, 1, 0xFFFFFFFF, 0, 0}};
        r.Draw(s, t.View(), D3DPT_LINELIST, Input(steep), 0, 1);
        r.Flush();
        for (int y = 0; y < 16; ++y) {
            int count = 0;
            for (int x = 0; x < 16; ++x) count += (t.At(x, y) & 0xFFFFFF) != 0;
            bool on = y <= 14 && (last ? y >= 2 : y > 2);
            EXPECT_EQ(count, on ? 1 : 0) << "row " << y << " lastpixel " << last;
        }
    }
}

TEST(RasterPoints, SizeIsClampedToTheLimits) {
    Target t(16, 16);
    Rasterizer r(1);
    D3DState s = BasicState(16, 16, kScreenFvf);
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    std::vector<ScreenVertex> point = {{8, 8, 0, 1, 0xFFFFFFFF, 0, 0}};
    struct Case {
        float size, low, high;
        int pixels;
    };
    const Case cases[] = {{1, 0, 64, 1}, {4, 0, 64, 16}, {4, 0, 2, 4}, {1, 3, 64, 9}};
    for (const Case& c : cases) {
        s.renderState[D3DRS_POINTSIZE] = FloatBits(c.size);
        s.renderState[D3DRS_POINTSIZE_MIN] = FloatBits(c.low);
        s.renderState[D3DRS_POINTSIZE_MAX] = FloatBits(c.high);
        r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
        r.Draw(s, t.View(), D3DPT_POINTLIST, Input(point), 0, 1);
        r.Flush();
        EXPECT_EQ(LitPixels(t), c.pixels) << "size " << c.size << " limits " << c.low << ".." << c.high;
    }
}

}  // namespace

// Interleaved rows: the 16 bytes at a texel's entry are its 2 x 2 footprint with wrapping
// (the texel, the one below, the one to the right, and below that), also on a level whose
// rows are longer than its width and whose height is odd.
TEST(RasterUnpack, InterleavedRowsHoldEachTexelsFootprint) {
    const int width = 4, height = 3, pitch = 6;
    std::vector<std::uint32_t> texels(static_cast<std::size_t>(pitch) * height);
    for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = 0xFF000000u + static_cast<std::uint32_t>(i) * 0x010203u;
    std::vector<std::uint32_t> pairs(2 * (pitch + 1) * height, 0xDEADBEEFu);
    raster::detail::BuildRowPairs(texels.data(), width, height, pitch, pairs.data());
    auto texel = [&](int x, int y) { return texels[static_cast<std::size_t>(y % height) * pitch + x % width]; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t* entry = pairs.data() + 2 * (y * (pitch + 1) + x);
            EXPECT_EQ(entry[0], texel(x, y)) << x << "," << y;
            EXPECT_EQ(entry[1], texel(x, y + 1)) << x << "," << y;
            EXPECT_EQ(entry[2], texel(x + 1, y)) << x << "," << y;
            EXPECT_EQ(entry[3], texel(x + 1, y + 1)) << x << "," << y;
        }
}
