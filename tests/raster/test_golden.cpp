// Pictures compared with stored golden images (tolerance 2 per channel unless stated).
// Regenerate with TOLVANE_UPDATE_GOLDEN=1 and inspect every changed picture.
#include <cmath>

#include "raster_fixture.h"

using namespace rastertest;

namespace {

ScreenVertex SV(float x, float y, std::uint32_t color, float u = 0.0f, float v = 0.0f, float z = 0.5f) {
    return {x, y, z, 1.0f, color, u, v};
}

struct Scene {
    explicit Scene(int size, DWORD fvf = kScreenFvf) : target(size, size), state(BasicState(size, size, fvf)) {
        rasterizer.Clear(target.View(), state.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202040u, 1.0f);
    }
    template <typename V>
    void Draw(D3DPRIMITIVETYPE type, const std::vector<V>& v, UINT count) {
        rasterizer.Draw(state, target.View(), type, Input(v), 0, count);
    }
    void Finish(const std::string& name, int tolerance = 2) {
        rasterizer.Flush();
        ExpectGolden(target, name, tolerance);
    }
    Target target;
    Rasterizer rasterizer{2};
    D3DState state;
};

// A fan of Gouraud triangles around the centre of a 32x32 target.
std::vector<ScreenVertex> ColorFan() {
    std::vector<ScreenVertex> v = {SV(16, 16, 0xFFFFFFFF)};
    const std::uint32_t colors[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF};
    for (int i = 0; i <= 6; ++i) {
        float a = static_cast<float>(i) * 2.0f * 3.14159265f / 6.0f + 0.3f;
        v.push_back(SV(16 + 13 * std::cos(a), 16 + 13 * std::sin(a), colors[i % 6]));
    }
    return v;
}

TEST(RasterGolden, PrimitiveTypes) {
    {
        Scene s(32);
        std::vector<ScreenVertex> v;
        for (int i = 0; i < 8; ++i) v.push_back(SV(3.0f + 3.7f * i, 4.0f + 3.1f * i, 0xFFFF8000u + 0x1F * i));
        s.Draw(D3DPT_POINTLIST, v, 8);
        s.state.renderState[D3DRS_POINTSIZE] = FloatBits(3.0f);
        for (auto& p : v) p.x = 31 - p.x;
        s.Draw(D3DPT_POINTLIST, v, 8);
        s.Finish("points");
    }
    {
        Scene s(32);
        std::vector<ScreenVertex> v = {SV(2, 2, 0xFFFF0000), SV(29, 6, 0xFF00FF00), SV(4, 28, 0xFFFFFFFF),
                                       SV(9, 3, 0xFF0000FF), SV(16, 16, 0xFFFFFF00), SV(30.4f, 30.2f, 0xFF00FFFF)};
        s.Draw(D3DPT_LINELIST, v, 3);
        s.Finish("linelist");
    }
    {
        Scene s(32);
        std::vector<ScreenVertex> v = {SV(2, 2, 0xFFFF0000), SV(29, 6, 0xFF00FF00), SV(4, 28, 0xFFFFFFFF),
                                       SV(28, 27, 0xFF0000FF), SV(16, 1, 0xFFFFFF00)};
        s.Draw(D3DPT_LINESTRIP, v, 4);
        s.Finish("linestrip");
    }
    {
        Scene s(32);
        std::vector<ScreenVertex> v = {SV(2, 2, 0xFFFF0000),  SV(20, 4, 0xFF00FF00),  SV(6, 18, 0xFF0000FF),
                                       SV(30, 10, 0xFFFFFF00), SV(28, 30, 0xFF00FFFF), SV(12, 24, 0xFFFF00FF)};
        s.Draw(D3DPT_TRIANGLELIST, v, 2);
        s.Finish("trianglelist");
    }
    {
        Scene s(32);
        std::vector<ScreenVertex> v;
        for (int i = 0; i < 8; ++i)
            v.push_back(SV(2.0f + 4.0f * i, (i & 1) ? 26.0f : 6.0f + i, (i & 1) ? 0xFFFF4000u : 0xFF2080FFu));
        s.Draw(D3DPT_TRIANGLESTRIP, v, 6);
        s.Finish("trianglestrip");
    }
    {
        Scene s(32);
        s.Draw(D3DPT_TRIANGLEFAN, ColorFan(), 6);
        s.Finish("trianglefan");
    }
}

TEST(RasterGolden, FillModesAndFlatShading) {
    const DWORD modes[] = {D3DFILL_POINT, D3DFILL_WIREFRAME, D3DFILL_SOLID};
    const char* names[] = {"fill_point", "fill_wireframe", "fill_solid"};
    for (int i = 0; i < 3; ++i) {
        Scene s(32);
        s.state.renderState[D3DRS_FILLMODE] = modes[i];
        s.Draw(D3DPT_TRIANGLEFAN, ColorFan(), 6);
        s.Finish(names[i]);
    }
    Scene s(32);
    s.state.renderState[D3DRS_SHADEMODE] = D3DSHADE_FLAT;
    s.Draw(D3DPT_TRIANGLEFAN, ColorFan(), 6);
    s.Finish("shade_flat");
}

TEST(RasterGolden, CullModes) {
    // Left fan clockwise on screen, right fan counter-clockwise.
    const DWORD modes[] = {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW};
    const char* names[] = {"cull_none", "cull_cw", "cull_ccw"};
    for (int i = 0; i < 3; ++i) {
        Scene s(32);
        s.state.renderState[D3DRS_CULLMODE] = modes[i];
        std::vector<ScreenVertex> cw = {SV(2, 4, 0xFFFF0000), SV(14, 4, 0xFFFF0000), SV(8, 28, 0xFFFF8080)};
        std::vector<ScreenVertex> ccw = {SV(18, 4, 0xFF00FF00), SV(24, 28, 0xFF80FF80), SV(30, 4, 0xFF00FF00)};
        s.Draw(D3DPT_TRIANGLELIST, cw, 1);
        s.Draw(D3DPT_TRIANGLELIST, ccw, 1);
        s.Finish(names[i]);
    }
}

// A screen quad with texture coordinates from (u0, v0) to (u1, v1).
std::vector<ScreenVertex> Quad(float x0, float y0, float x1, float y1, float u0, float v0, float u1, float v1) {
    return {SV(x0, y0, 0xFFFFFFFF, u0, v0), SV(x1, y0, 0xFFFFFFFF, u1, v0), SV(x0, y1, 0xFFFFFFFF, u0, v1),
            SV(x1, y1, 0xFFFFFFFF, u1, v1)};
}

TEST(RasterGolden, TextureFilters) {
    // A 4x4 texture of distinct colours magnified 8 times.
    Texture small(4, 4, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            small.At(0, x, y) = 0xFF000000u | (static_cast<std::uint32_t>(x * 80) << 16) |
                                (static_cast<std::uint32_t>(y * 80) << 8) | ((x + y) & 1 ? 0xFFu : 0x20u);
    const DWORD filters[] = {D3DTEXF_POINT, D3DTEXF_LINEAR};
    for (DWORD f : filters) {
        Scene s(32);
        s.state.texture[0] = &small.sampler;
        s.state.stageState[0][D3DTSS_MAGFILTER] = f;
        s.Draw(D3DPT_TRIANGLESTRIP, Quad(0, 0, 32, 32, 0, 0, 1, 1), 2);
        s.Finish(f == D3DTEXF_POINT ? "mag_point" : "mag_linear");
    }
    // A 64x64 checker minified onto 24x24 pixels without mipmaps.
    Texture big = Checker(64, 3, false);
    for (DWORD f : filters) {
        Scene s(32);
        s.state.texture[0] = &big.sampler;
        s.state.stageState[0][D3DTSS_MINFILTER] = f;
        s.Draw(D3DPT_TRIANGLESTRIP, Quad(4, 4, 28, 28, 0, 0, 1, 1), 2);
        s.Finish(f == D3DTEXF_POINT ? "min_point" : "min_linear");
    }
}

// A floor plane seen by a perspective camera, with a tinted-level checker: the level
// each pixel reads shows as its tint.
void DrawFloor(Scene& s, const Texture& texture, float repeat) {
    s.state.fvf = kMeshFvf;
    const float eye[3] = {0.0f, 1.0f, -1.0f}, at[3] = {0.0f, 0.6f, 4.0f}, up[3] = {0.0f, 1.0f, 0.0f};
    s.state.view = LookAt(eye, at, up);
    s.state.projection = Perspective(3.14159265f / 3.0f, 1.0f, 0.5f, 1000.0f);
    s.state.texture[0] = &texture.sampler;
    std::vector<MeshVertex> plane = {{-60, 0, 0, 0, 1, 0, 0xFFFFFFFF, 0, 0},
                                     {60, 0, 0, 0, 1, 0, 0xFFFFFFFF, repeat, 0},
                                     {-60, 0, 120, 0, 1, 0, 0xFFFFFFFF, 0, repeat},
                                     {60, 0, 120, 0, 1, 0, 0xFFFFFFFF, repeat, repeat}};
    s.Draw(D3DPT_TRIANGLESTRIP, plane, 2);
}

TEST(RasterGolden, MipFilters) {
    Texture tinted = Checker(64, 4, true);
    const DWORD mips[] = {D3DTEXF_NONE, D3DTEXF_POINT, D3DTEXF_LINEAR};
    const char* names[] = {"mip_none", "mip_point", "mip_linear"};
    for (int i = 0; i < 3; ++i) {
        Scene s(64, kMeshFvf);
        s.state.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
        s.state.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
        s.state.stageState[0][D3DTSS_MIPFILTER] = mips[i];
        DrawFloor(s, tinted, 30.0f);
        s.Finish(names[i]);
    }
    // MAXMIPLEVEL 2 keeps the two largest levels out; a LOD bias of +1 moves every
    // pixel one level smaller.
    Scene s(64, kMeshFvf);
    s.state.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    s.state.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_POINT;
    s.state.stageState[0][D3DTSS_MAXMIPLEVEL] = 2;
    DrawFloor(s, tinted, 30.0f);
    s.Finish("mip_maxlevel");
    Scene b(64, kMeshFvf);
    b.state.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    b.state.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_POINT;
    b.state.stageState[0][D3DTSS_MIPMAPLODBIAS] = FloatBits(1.0f);
    DrawFloor(b, tinted, 30.0f);
    b.Finish("mip_lodbias");
}

TEST(RasterGolden, CheckerboardToTheHorizon) {
    Texture checker = Checker(64, 8, false);
    // Full mip chain of the plain checker (each level a box filter of the one above).
    Texture mipped(64, 64, 7);
    mipped.storage[0] = checker.storage[0];
    for (int l = 1; l < 7; ++l) {
        const raster::SamplerLevel& up = mipped.sampler.levels[l - 1];
        const raster::SamplerLevel& level = mipped.sampler.levels[l];
        for (int y = 0; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x) {
                std::uint32_t sum[4] = {};
                for (int k = 0; k < 4; ++k) {
                    std::uint32_t p = up.texels[(2 * y + k / 2) * up.pitch + 2 * x + k % 2];
                    for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xFF;
                }
                std::uint32_t out = 0;
                for (int c = 0; c < 4; ++c) out |= ((sum[c] + 2) / 4) << (8 * c);
                mipped.At(l, x, y) = out;
            }
    }
    Scene s(64, kMeshFvf);
    s.state.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
    s.state.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
    s.state.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_LINEAR;
    DrawFloor(s, mipped, 60.0f);
    s.Finish("checker_horizon");
}

TEST(RasterGolden, AddressModes) {
    Texture t(4, 4, 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            t.At(0, x, y) = 0xFF000000u | (static_cast<std::uint32_t>(60 + 60 * x) << 16) |
                            (static_cast<std::uint32_t>(60 + 60 * y) << 8) | 0x40u;
    const DWORD modes[] = {D3DTADDRESS_WRAP, D3DTADDRESS_MIRROR, D3DTADDRESS_CLAMP, D3DTADDRESS_BORDER};
    const char* names[] = {"address_wrap", "address_mirror", "address_clamp", "address_border"};
    for (int i = 0; i < 4; ++i) {
        Scene s(32);
        s.state.texture[0] = &t.sampler;
        s.state.stageState[0][D3DTSS_ADDRESSU] = modes[i];
        s.state.stageState[0][D3DTSS_ADDRESSV] = modes[i];
        s.state.stageState[0][D3DTSS_BORDERCOLOR] = 0xFF00C0FFu;
        s.Draw(D3DPT_TRIANGLESTRIP, Quad(0, 0, 32, 32, -1.0f, -1.0f, 2.0f, 2.0f), 2);
        s.Finish(names[i]);
    }
}

TEST(RasterGolden, DepthFightingResolvedByZFunc) {
    // Two quads in the same plane: with LESSEQUAL the second wins where they overlap,
    // with LESS the first stays. A third quad cuts through both at an angle.
    const DWORD funcs[] = {D3DCMP_LESSEQUAL, D3DCMP_LESS};
    const char* names[] = {"zfight_lessequal", "zfight_less"};
    for (int i = 0; i < 2; ++i) {
        Scene s(32);
        s.state.renderState[D3DRS_ZFUNC] = funcs[i];
        s.state.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
        std::vector<ScreenVertex> a = {SV(2, 2, 0xFFFF0000, 0, 0, 0.3f), SV(22, 2, 0xFFFF0000, 0, 0, 0.5f),
                                       SV(2, 22, 0xFFFF0000, 0, 0, 0.3f), SV(22, 22, 0xFFFF0000, 0, 0, 0.5f)};
        std::vector<ScreenVertex> b = {SV(10, 10, 0xFF00FF00, 0, 0, 0.3f + 0.2f * 8 / 20), SV(30, 10, 0xFF00FF00, 0, 0, 0.5f + 0.2f * 8 / 20),
                                       SV(10, 30, 0xFF00FF00, 0, 0, 0.3f + 0.2f * 8 / 20), SV(30, 30, 0xFF00FF00, 0, 0, 0.5f + 0.2f * 8 / 20)};
        std::vector<ScreenVertex> c = {SV(0, 16, 0xFF4060FF, 0, 0, 0.2f), SV(32, 16, 0xFF4060FF, 0, 0, 0.8f),
                                       SV(0, 20, 0xFF4060FF, 0, 0, 0.2f), SV(32, 20, 0xFF4060FF, 0, 0, 0.8f)};
        s.Draw(D3DPT_TRIANGLESTRIP, a, 2);
        s.Draw(D3DPT_TRIANGLESTRIP, b, 2);
        s.Draw(D3DPT_TRIANGLESTRIP, c, 2);
        s.Finish(names[i]);
    }
}

TEST(RasterGolden, BlendFactorPairs) {
    struct Pair {
        D3DBLEND src, dest;
    };
    const Pair pairs[] = {{D3DBLEND_SRCCOLOR, D3DBLEND_DESTCOLOR}, {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA},
                          {D3DBLEND_ONE, D3DBLEND_ONE},            {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR},
                          {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO},  {D3DBLEND_DESTALPHA, D3DBLEND_INVDESTALPHA},
                          {D3DBLEND_SRCALPHASAT, D3DBLEND_ONE},    {D3DBLEND_INVSRCCOLOR, D3DBLEND_SRCALPHA},
                          {D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_ZERO}};
    Scene s(48);
    // Background: a horizontal red ramp and a vertical blue ramp, alpha ramp in A8R8G8B8.
    raster::RenderTarget view = s.target.View();
    view.hasAlpha = true;
    std::vector<ScreenVertex> bg = {SV(0, 0, 0x00000000), SV(48, 0, 0x80FF0000), SV(0, 48, 0x800000FF),
                                    SV(48, 48, 0xFFFF00FF)};
    s.state.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    s.state.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG2;
    s.state.renderState[D3DRS_ZENABLE] = FALSE;
    s.rasterizer.Draw(s.state, view, D3DPT_TRIANGLESTRIP, Input(bg), 0, 2);
    s.state.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
    for (int i = 0; i < 9; ++i) {
        s.state.renderState[D3DRS_SRCBLEND] = pairs[i].src;
        s.state.renderState[D3DRS_DESTBLEND] = pairs[i].dest;
        float x = 2.0f + 16.0f * static_cast<float>(i % 3), y = 2.0f + 16.0f * static_cast<float>(i / 3);
        std::vector<ScreenVertex> q = {SV(x, y, 0x4000C060), SV(x + 12, y, 0xC0C0C000), SV(x, y + 12, 0xC04040FF),
                                       SV(x + 12, y + 12, 0x40FFFFFF)};
        s.rasterizer.Draw(s.state, view, D3DPT_TRIANGLESTRIP, Input(q), 0, 2);
    }
    s.Finish("blend_pairs");
}

TEST(RasterGolden, TriangleCrossingTheNearPlane) {
    Scene s(32, kMeshFvf);
    s.state.projection = Perspective(3.14159265f / 2.0f, 1.0f, 1.0f, 100.0f);
    Texture checker = Checker(16, 2, false);
    s.state.texture[0] = &checker.sampler;
    // A floor triangle from 5 units behind the camera to 20 in front: its two corners
    // behind the camera are cut off by the near plane.
    std::vector<MeshVertex> tri = {{-8, -1, -5, 0, 1, 0, 0xFFFF8080, 0, 0},
                                   {8, -1, -5, 0, 1, 0, 0xFF80FF80, 4, 0},
                                   {0, -1, 20, 0, 1, 0, 0xFF8080FF, 2, 8}};
    s.Draw(D3DPT_TRIANGLELIST, tri, 1);
    s.Finish("near_plane");
}

// A tessellated sphere of radius 1 at the origin, camera at z = -3.
std::vector<MeshVertex> Sphere(int slices, int stacks) {
    std::vector<MeshVertex> v;
    auto point = [](float theta, float phi) {
        float x = std::sin(theta) * std::cos(phi), y = std::cos(theta), z = std::sin(theta) * std::sin(phi);
        return MeshVertex{x, y, z, x, y, z, 0xFF40FF40, 0, 0};
    };
    for (int i = 0; i < stacks; ++i)
        for (int j = 0; j < slices; ++j) {
            float t0 = 3.14159265f * i / stacks, t1 = 3.14159265f * (i + 1) / stacks;
            float p0 = 2 * 3.14159265f * j / slices, p1 = 2 * 3.14159265f * (j + 1) / slices;
            v.push_back(point(t0, p0));
            v.push_back(point(t1, p0));
            v.push_back(point(t1, p1));
            v.push_back(point(t0, p0));
            v.push_back(point(t1, p1));
            v.push_back(point(t0, p1));
        }
    return v;
}

void SetUpLitSphere(Scene& s) {
    s.state.fvf = kMeshFvf;
    s.state.renderState[D3DRS_LIGHTING] = TRUE;
    s.state.view = Translation(0, 0, 3);
    s.state.projection = Perspective(3.14159265f / 3.0f, 1.0f, 0.5f, 10.0f);
    s.state.material.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    s.state.material.Ambient = {0.2f, 0.2f, 0.5f, 1.0f};
    s.state.material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    s.state.material.Emissive = {0.05f, 0.0f, 0.0f, 0.0f};
    s.state.material.Power = 20.0f;
    s.state.renderState[D3DRS_AMBIENT] = 0xFF303030u;
    s.state.renderState[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_MATERIAL;
}

TEST(RasterGolden, Lighting) {
    auto sphere = Sphere(16, 12);
    UINT triangles = static_cast<UINT>(sphere.size() / 3);
    {
        // No lights: emissive + material ambient x global ambient.
        Scene s(48, kMeshFvf);
        SetUpLitSphere(s);
        s.Draw(D3DPT_TRIANGLELIST, sphere, triangles);
        s.Finish("light_none");
    }
    {
        // A directional light from the upper left and a red point light at the right,
        // with specular highlights.
        Scene s(48, kMeshFvf);
        SetUpLitSphere(s);
        s.state.renderState[D3DRS_SPECULARENABLE] = TRUE;
        s.state.lightCount = 2;
        D3DLIGHT8& sun = s.state.lights[0];
        sun = {};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Diffuse = {1, 1, 1, 1};
        sun.Specular = {1, 1, 1, 1};
        sun.Direction = {1, -1, 1};
        D3DLIGHT8& lamp = s.state.lights[1];
        lamp = {};
        lamp.Type = D3DLIGHT_POINT;
        lamp.Diffuse = {1, 0.2f, 0.2f, 1};
        lamp.Ambient = {0.1f, 0, 0, 1};
        lamp.Position = {2.0f, 0.0f, -1.0f};
        lamp.Range = 4.0f;
        lamp.Attenuation0 = 0.5f;
        lamp.Attenuation1 = 0.2f;
        s.Draw(D3DPT_TRIANGLELIST, sphere, triangles);
        s.Finish("light_directional_point");
    }
    {
        // Vertex colour as the diffuse source under the directional light.
        Scene s(48, kMeshFvf);
        SetUpLitSphere(s);
        s.state.renderState[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
        s.state.lightCount = 1;
        D3DLIGHT8& sun = s.state.lights[0];
        sun = {};
        sun.Type = D3DLIGHT_DIRECTIONAL;
        sun.Diffuse = {1, 1, 1, 1};
        sun.Direction = {-1, 0, 1};
        s.Draw(D3DPT_TRIANGLELIST, sphere, triangles);
        s.Finish("light_color1");
    }
}

TEST(RasterGolden, LinearFog) {
    Texture checker = Checker(64, 8, false);
    const bool range[] = {false, true};
    for (bool r : range) {
        Scene s(64, kMeshFvf);
        s.state.renderState[D3DRS_FOGENABLE] = TRUE;
        s.state.renderState[D3DRS_FOGVERTEXMODE] = D3DFOG_LINEAR;
        s.state.renderState[D3DRS_FOGSTART] = FloatBits(4.0f);
        s.state.renderState[D3DRS_FOGEND] = FloatBits(40.0f);
        s.state.renderState[D3DRS_FOGCOLOR] = 0xFFC08040u;
        s.state.renderState[D3DRS_RANGEFOGENABLE] = r;
        s.state.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
        s.state.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
        // Finer tessellation so that the per-vertex fog follows the distance.
        s.state.fvf = kMeshFvf;
        // Looking along the floor from its left edge, so that the range fog (distance)
        // and the plain fog (depth along the view) differ across the picture.
        const float eye[3] = {-55.0f, 3.0f, -2.0f}, at[3] = {-45.0f, 1.0f, 8.0f}, up[3] = {0.0f, 1.0f, 0.0f};
        s.state.view = LookAt(eye, at, up);
        s.state.projection = Perspective(3.14159265f / 2.0f, 1.0f, 0.5f, 1000.0f);
        s.state.texture[0] = &checker.sampler;
        std::vector<MeshVertex> grid;
        for (int i = 0; i < 12; ++i)
            for (int j = 0; j < 12; ++j) {
                float x0 = -60 + 10.0f * j, z0 = 10.0f * i;
                MeshVertex a{x0, 0, z0, 0, 1, 0, 0xFFFFFFFF, x0 / 4, z0 / 4};
                MeshVertex b{x0 + 10, 0, z0, 0, 1, 0, 0xFFFFFFFF, (x0 + 10) / 4, z0 / 4};
                MeshVertex c{x0, 0, z0 + 10, 0, 1, 0, 0xFFFFFFFF, x0 / 4, (z0 + 10) / 4};
                MeshVertex d{x0 + 10, 0, z0 + 10, 0, 1, 0, 0xFFFFFFFF, (x0 + 10) / 4, (z0 + 10) / 4};
                grid.insert(grid.end(), {a, b, c, b, d, c});
            }
        s.Draw(D3DPT_TRIANGLELIST, grid, static_cast<UINT>(grid.size() / 3));
        s.Finish(r ? "fog_range" : "fog_linear");
    }
}

}  // namespace
