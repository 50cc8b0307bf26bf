// Texture coordinates beyond a plain (u, v): cube and volume lookups of known texels,
// generated coordinates against their formulas, texture transforms and projection. The
// draws run on the plain path and on every vector target this processor runs.
#include <hwy/targets.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "raster/pipeline.h"
#include "raster/vertex_processing.h"
#include "raster_fixture.h"

using namespace rastertest;

namespace {

// Screen-space vertex with one set of three coordinates.
struct Vertex3 {
    float x, y, z, rhw;
    float c[3];
};
constexpr DWORD kVertex3Fvf = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE3(0);

// Each case draws a 4x4 cell of the target with constant coordinates; the cell's centre
// pixel is the sample.
constexpr int kCell = 4;
constexpr int kCells = 8;  // per row

void AddCell(std::vector<Vertex3>& v, int index, const float c[3]) {
    const float x = static_cast<float>((index % kCells) * kCell), y = static_cast<float>((index / kCells) * kCell);
    auto at = [&](float dx, float dy) { return Vertex3{x + dx, y + dy, 0.5f, 1.0f, {c[0], c[1], c[2]}}; };
    for (const Vertex3& corner : {at(0, 0), at(kCell, 0), at(0, kCell), at(kCell, 0), at(kCell, kCell), at(0, kCell)})
        v.push_back(corner);
}

std::uint32_t CellSample(const Target& target, int index) {
    return target.At((index % kCells) * kCell + kCell / 2, (index / kCells) * kCell + kCell / 2);
}

// One stage that passes its texel on, colour and alpha, into a target that keeps alpha.
D3DState SamplingState(DWORD fvf, const raster::SamplerTexture* texture) {
    D3DState s = BasicState(kCells * kCell, kCells * kCell, fvf);
    s.renderState[D3DRS_ZENABLE] = D3DZB_FALSE;
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
    s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s.texture[0] = texture;
    return s;
}

// A cube of size x size faces and two levels. Face f's colour is kFace[f] (halved at level
// 1); the alpha says the quadrant of the face: 0x10, + 0x20 on the right half, + 0x40 on
// the lower half.
constexpr std::uint32_t kFace[6] = {0xFF0000, 0x00FFFF, 0x00FF00, 0xFF00FF, 0x0000FF, 0xFFFF00};
constexpr std::uint32_t QuadrantAlpha(int right, int lower) { return (0x10u + 0x20u * right + 0x40u * lower) << 24; }

struct Cube {
    explicit Cube(int size) {
        sampler.kind = raster::TextureKind::Cube;
        sampler.levelCount = 2;
        for (int f = 0; f < 6; ++f) {
            for (int l = 0; l < 2; ++l) {
                const int n = size >> l;
                auto& texels = storage[f][l];
                texels.resize(static_cast<std::size_t>(n) * n);
                for (int y = 0; y < n; ++y)
                    for (int x = 0; x < n; ++x)
                        texels[y * n + x] = QuadrantAlpha(2 * x >= n, 2 * y >= n) | (l == 0 ? kFace[f] : (kFace[f] >> 1) & 0x7F7F7Fu);
                levels[f][l] = {texels.data(), n, n, n};
            }
            sampler.faces[f] = levels[f];
        }
        for (int l = 0; l < 2; ++l) sampler.levels[l] = levels[0][l];
    }
    std::vector<std::uint32_t> storage[6][2];
    raster::SamplerLevel levels[6][raster::SamplerTexture::kMaxLevels];
    raster::SamplerTexture sampler;
};

// A 4x4x4 volume (and a 2x2x2 level) with one colour per slice.
constexpr std::uint32_t SliceColor(int z) { return 0xFF000010u | (0x40u * z) << 16 | (0x30u * z) << 8; }
constexpr std::uint32_t kCoarseSlice[2] = {0xFF0000FFu, 0xFF00FFFFu};
constexpr std::uint32_t kBorder = 0xFF123456u;

struct Volume {
    Volume() {
        sampler.kind = raster::TextureKind::Volume;
        sampler.levelCount = 2;
        for (int l = 0; l < 2; ++l) {
            const int n = 4 >> l;
            storage[l].resize(static_cast<std::size_t>(n) * n * n);
            for (int z = 0; z < n; ++z)
                for (int i = 0; i < n * n; ++i) storage[l][z * n * n + i] = l == 0 ? SliceColor(z) : kCoarseSlice[z];
            sampler.levels[l] = {storage[l].data(), n, n, n};
            sampler.levels[l].depth = n;
            sampler.levels[l].slicePitch = n * n;
        }
    }
    std::vector<std::uint32_t> storage[2];
    raster::SamplerTexture sampler;
};

// The plain path (0) and each compiled vector target.
std::vector<std::int64_t> ShadingPaths() {
    std::vector<std::int64_t> paths = {0};
    for (std::int64_t left = raster::detail::CompiledShadingTargets() & ~HWY_SCALAR; left != 0; left &= left - 1)
        paths.push_back(left & -left);
    return paths;
}

class CoordinatePaths : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        if (GetParam() != 0 && (hwy::SupportedTargets() & GetParam()) == 0)
            GTEST_SKIP() << hwy::TargetName(GetParam()) << ": this processor lacks it";
        options_.threads = 2;
        if (GetParam() == 0) options_.referenceShading = true;
        else options_.vectorTargets = GetParam();
    }
    Target Draw(const D3DState& s, const std::vector<Vertex3>& v) {
        Target target(kCells * kCell, kCells * kCell);
        target.hasAlpha = true;
        Rasterizer r(options_);
        r.Draw(s, target.View(false), D3DPT_TRIANGLELIST, Input(v), 0, static_cast<UINT>(v.size() / 3));
        r.Flush();
        return target;
    }
    raster::RasterOptions options_;
};

std::string PathName(const testing::TestParamInfo<std::int64_t>& info) {
    return info.param == 0 ? std::string("Plain") : std::string(hwy::TargetName(info.param));
}

// Six solid faces, told apart by colour, with the quadrant in alpha: along each axis, off
// the axes (which shows each face's orientation), and near the edges and corners, where a
// bilinear footprint must stay inside its face (clamped, as the hardware of the time did)
// rather than reach across to a neighbour or wrap to the face's far side.
TEST_P(CoordinatePaths, CubeFacesByMajorAxisWithTheirOrientation) {
    Cube cube(4);
    struct Case {
        float c[3];
        int face, right, lower;
        bool exactAlphaWhenLinear;  // the footprint lies in one quadrant
    };
    const Case cases[] = {
        {{1, 0, 0}, 0, 1, 1, false},         {{-1, 0, 0}, 1, 1, 1, false},        {{0, 1, 0}, 2, 1, 1, false},
        {{0, -1, 0}, 3, 1, 1, false},        {{0, 0, 1}, 4, 1, 1, false},         {{0, 0, -1}, 5, 1, 1, false},
        {{1, 0.5f, 0.5f}, 0, 0, 0, false},   {{1, -0.5f, 0.5f}, 0, 0, 1, false},  {{-1, 0.5f, 0.5f}, 1, 1, 0, false},
        {{0.5f, 1, -0.5f}, 2, 1, 0, false},  {{0.5f, -1, -0.5f}, 3, 1, 1, false}, {{-0.5f, 0.5f, 1}, 4, 0, 0, false},
        {{-0.5f, 0.5f, -1}, 5, 1, 0, false},
        // Near the edges: one coordinate at a texel centre, the other at the face's border.
        {{1, 0.999f, 0.75f}, 0, 0, 0, true}, {{0.999f, 1, 0.75f}, 2, 1, 1, true}, {{-0.75f, -0.999f, -1}, 5, 1, 1, true},
        {{-1, 0.75f, -0.999f}, 1, 0, 0, true}, {{0.999f, -0.75f, 1}, 4, 1, 1, true}, {{0.75f, -1, 0.999f}, 3, 1, 0, true},
        // Corners: a different face wins by a thousandth.
        {{1, 0.999f, -0.999f}, 0, 1, 0, true}, {{0.999f, -0.999f, 1}, 4, 1, 1, true}, {{-0.999f, -1, -0.999f}, 3, 0, 1, true},
    };
    const int count = static_cast<int>(std::size(cases));
    std::vector<Vertex3> v;
    for (int i = 0; i < count; ++i) AddCell(v, i, cases[i].c);
    D3DState s = SamplingState(kVertex3Fvf, &cube.sampler);
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = filter;
        const Target target = Draw(s, v);
        for (int i = 0; i < count; ++i) {
            const Case& c = cases[i];
            SCOPED_TRACE(testing::Message() << "filter " << filter << ", direction " << c.c[0] << " " << c.c[1] << " " << c.c[2]);
            const std::uint32_t sample = CellSample(target, i);
            EXPECT_EQ(sample & 0xFFFFFFu, kFace[c.face]);
            if (filter == D3DTEXF_POINT || c.exactAlphaWhenLinear) {
                EXPECT_EQ(sample & 0xFF000000u, QuadrantAlpha(c.right, c.lower));
            }
        }
    }
    // Each face has its own mip chain: the second level read alone.
    s.stageState[0][D3DTSS_MAXMIPLEVEL] = 1;
    s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    const Target coarse = Draw(s, v);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(CellSample(coarse, i) & 0xFFFFFFu, (kFace[cases[i].face] >> 1) & 0x7F7F7Fu) << i;
}

// Directions sweeping across faces, edges and the cube's centre in perspective, so that
// the level of detail runs from magnification to the last level: each vector target gives
// the plain path's pixels under every filter mix, a bias, and projected sets of four.
TEST_P(CoordinatePaths, CubeLevelsAndFiltersAsThePlainPath) {
    if (GetParam() == 0) GTEST_SKIP() << "the plain path is the reference here";
    Cube cube(16);
    struct Vertex4 {
        float x, y, z, rhw;
        float c[4];
    };
    const std::vector<Vertex4> v = {{0, 0, 0.5f, 1.0f, {1.5f, -0.7f, 0.4f, 1.0f}},
                                    {32, 0, 0.5f, 0.25f, {-0.6f, 0.9f, -1.3f, 0.5f}},
                                    {0, 32, 0.5f, 0.5f, {0.2f, 1.1f, 0.8f, 2.0f}},
                                    {32, 32, 0.5f, 2.0f, {-1.2f, -0.3f, 0.05f, -1.0f}}};
    const std::vector<Vertex4> strip = {v[0], v[1], v[2], v[1], v[3], v[2]};
    D3DState s = SamplingState(D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0), &cube.sampler);
    s.textureTransform[0] = Identity();
    auto draw = [&](bool plain) {
        Target target(kCells * kCell, kCells * kCell);
        target.hasAlpha = true;
        raster::RasterOptions options = options_;
        options.referenceShading = plain;
        Rasterizer r(options);
        r.Draw(s, target.View(false), D3DPT_TRIANGLELIST, Input(strip), 0, 2);
        r.Flush();
        return target;
    };
    const DWORD filters[][3] = {{D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR}, {D3DTEXF_POINT, D3DTEXF_LINEAR, D3DTEXF_POINT},
                                {D3DTEXF_LINEAR, D3DTEXF_POINT, D3DTEXF_LINEAR}, {D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_NONE}};
    for (DWORD projected : {DWORD{D3DTTFF_DISABLE}, DWORD{D3DTTFF_COUNT4 | D3DTTFF_PROJECTED}})
        for (const auto& f : filters)
            for (float bias : {0.0f, 1.5f}) {
                SCOPED_TRACE(testing::Message() << "min " << f[0] << " mag " << f[1] << " mip " << f[2] << " bias " << bias
                                                << " projected " << projected);
                s.stageState[0][D3DTSS_MINFILTER] = f[0];
                s.stageState[0][D3DTSS_MAGFILTER] = f[1];
                s.stageState[0][D3DTSS_MIPFILTER] = f[2];
                std::memcpy(&s.stageState[0][D3DTSS_MIPMAPLODBIAS], &bias, sizeof bias);
                s.stageState[0][D3DTSS_TEXTURETRANSFORMFLAGS] = projected;
                const Target plain = draw(true), vector = draw(false);
                int differ = 0;
                for (int y = 0; y < kCells * kCell; ++y)
                    for (int x = 0; x < kCells * kCell; ++x) differ += plain.At(x, y) != vector.At(x, y);
                EXPECT_EQ(differ, 0);
            }
}

// Slices told apart by colour: point sampling picks one, linear filtering weighs two (within
// a level), and w is addressed by ADDRESSW.
TEST_P(CoordinatePaths, VolumeSlicesPointLinearAndAddressedInW) {
    Volume volume;
    D3DState s = SamplingState(kVertex3Fvf, &volume.sampler);
    s.stageState[0][D3DTSS_BORDERCOLOR] = kBorder;
    // u and v at a texel centre, so that only w is filtered.
    auto at = [](float w) { return std::array<float, 3>{0.375f, 0.375f, w}; };
    const float ws[] = {0.125f, 0.375f, 0.625f, 0.875f, 0.4375f, -0.125f, 1.125f, -0.375f};
    std::vector<Vertex3> v;
    for (int i = 0; i < static_cast<int>(std::size(ws)); ++i) AddCell(v, i, at(ws[i]).data());

    s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    Target target = Draw(s, v);
    for (int z = 0; z < 4; ++z) EXPECT_EQ(CellSample(target, z), SliceColor(z)) << z;
    // w = 0.4375 lies a quarter of the way from slice 1's centre to slice 2's.
    EXPECT_EQ(CellSample(target, 4), SliceColor(1));

    // Outside 0..1: w = -0.125 is slice -1, 1.125 slice 4, -0.375 slice -2.
    struct Mode {
        DWORD mode;
        std::uint32_t expected[3];
    };
    const Mode modes[] = {{D3DTADDRESS_WRAP, {SliceColor(3), SliceColor(0), SliceColor(2)}},
                          {D3DTADDRESS_MIRROR, {SliceColor(0), SliceColor(3), SliceColor(1)}},
                          {D3DTADDRESS_CLAMP, {SliceColor(0), SliceColor(3), SliceColor(0)}},
                          {D3DTADDRESS_BORDER, {kBorder, kBorder, kBorder}},
                          {D3DTADDRESS_MIRRORONCE, {SliceColor(0), SliceColor(3), SliceColor(1)}}};
    for (const Mode& m : modes) {
        s.stageState[0][D3DTSS_ADDRESSW] = m.mode;
        target = Draw(s, v);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(CellSample(target, 5 + k), m.expected[k]) << "mode " << m.mode << ", case " << k;
    }

    s.stageState[0][D3DTSS_ADDRESSW] = D3DTADDRESS_CLAMP;
    s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
    target = Draw(s, v);
    // At slice centres the slice alone.
    for (int z = 0; z < 4; ++z) EXPECT_EQ(CellSample(target, z), SliceColor(z)) << z;
    // Slice 1 weighs 192/256, slice 2 64/256: red (0x40 * 192 + 0x80 * 64) >> 8 = 0x50, green
    // (0x30 * 192 + 0x60 * 64) >> 8 = 0x3C, blue 0x10.
    EXPECT_EQ(CellSample(target, 4), 0xFF503C10u);

    // The volume's second level.
    s.stageState[0][D3DTSS_MAXMIPLEVEL] = 1;
    s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_POINT;
    target = Draw(s, v);
    EXPECT_EQ(CellSample(target, 0), kCoarseSlice[0]);
    EXPECT_EQ(CellSample(target, 3), kCoarseSlice[1]);
}

// A texture of four columns, read through a texture transform: COUNT2 with the row after
// the set's last coordinate translating it, and COUNT3 | PROJECTED dividing by the third.
TEST_P(CoordinatePaths, TextureTransformAndProjection) {
    Texture columns(4, 4, 1);
    const std::uint32_t kColumn[4] = {0xFF400000u, 0xFF004000u, 0xFF000040u, 0xFF404040u};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) columns.At(0, x, y) = kColumn[x];
    D3DState s = SamplingState(kVertex3Fvf, &columns.sampler);

    // Transformed: u' = 0.5 u + 0.25 from the third row; the fourth row does not apply to a
    // set of two.
    {
        std::vector<Vertex3> v;
        const float c[3] = {0.75f, 0.125f, 0.0f};
        AddCell(v, 0, c);
        D3DState t = s;
        t.fvf = D3DFVF_XYZRHW | D3DFVF_TEX1;  // two coordinates of the twelve bytes are read
        D3DMATRIX& m = t.textureTransform[0];
        m = Identity();
        m._11 = 0.5f;
        m._31 = 0.25f;
        m._41 = 7.0f;
        Target plain = Draw(t, v);
        EXPECT_EQ(CellSample(plain, 0), kColumn[3]);
        t.stageState[0][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_COUNT2;
        Target moved = Draw(t, v);
        EXPECT_EQ(CellSample(moved, 0), kColumn[2]);  // 0.5 * 0.75 + 0.25 = 0.625
    }
    // Projected: (s, t, q) with s / q = 0.625 while q differs at every vertex, so the
    // division happens per pixel after perspective-correct interpolation.
    {
        std::vector<Vertex3> v;
        const float q[6] = {2.0f, 4.0f, 1.0f, 4.0f, 8.0f, 1.0f};
        const float c[3] = {0, 0, 0};
        AddCell(v, 0, c);
        for (int i = 0; i < 6; ++i) {
            v[i].c[0] = 0.625f * q[i];
            v[i].c[1] = 0.125f * q[i];
            v[i].c[2] = q[i];
        }
        s.textureTransform[0] = Identity();
        Target plain = Draw(s, v);
        s.stageState[0][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_COUNT3 | D3DTTFF_PROJECTED;
        Target projected = Draw(s, v);
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell; ++x) EXPECT_EQ(projected.At(x, y), kColumn[2]) << x << "," << y;
        int undivided = 0;
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell; ++x) undivided += plain.At(x, y) != kColumn[2];
        EXPECT_GT(undivided, 0);
    }
    // Sets of four and of one coordinate: PROJECTED alone divides by the set's last.
    {
        struct Vertex4 {
            float x, y, z, rhw;
            float c[4];
        };
        const float q[3] = {2.0f, 4.0f, 1.0f};
        std::vector<Vertex4> v;
        for (int i = 0; i < 3; ++i) {
            const float x = i == 1 ? 40.0f : 0.0f, y = i == 2 ? 40.0f : 0.0f;
            v.push_back({x, y, 0.5f, 1.0f, {0.625f * q[i], 0.125f * q[i], 9.0f, q[i]}});
        }
        D3DState t = s;
        t.fvf = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE4(0);
        t.stageState[0][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_PROJECTED;
        Target target(kCells * kCell, kCells * kCell);
        Rasterizer r(options_);
        r.Draw(t, target.View(false), D3DPT_TRIANGLELIST, Input(v), 0, 1);
        r.Flush();
        EXPECT_EQ(target.At(5, 5), kColumn[2]);
        // One coordinate: u alone (v reads 0), 0.625 * 2 wraps to 0.25.
        t.fvf = D3DFVF_XYZRHW | D3DFVF_TEX1 | D3DFVF_TEXCOORDSIZE1(0);
        t.stageState[0][D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        for (Vertex4& vertex : v) vertex.c[0] = 1.25f;
        r.Draw(t, target.View(false), D3DPT_TRIANGLELIST, Input(v), 0, 1);
        r.Flush();
        EXPECT_EQ(target.At(5, 5), kColumn[1]);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, CoordinatePaths, testing::ValuesIn(ShadingPaths()), PathName);

// ---- generated coordinates --------------------------------------------------------------

struct NormalVertex {
    float x, y, z, nx, ny, nz;
};

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y, s * a.z}; }
double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Unit(Vec a) { return (1.0 / std::sqrt(Dot(a, a))) * a; }
Vec Transform(const D3DMATRIX& m, Vec a, double w) {
    return {a.x * m._11 + a.y * m._21 + a.z * m._31 + w * m._41, a.x * m._12 + a.y * m._22 + a.z * m._32 + w * m._42,
            a.x * m._13 + a.y * m._23 + a.z * m._33 + w * m._43};
}

// A unit sphere placed in the world and seen from an oblique camera: the camera-space
// normal, position and the reflection of the eye ray about the normal (from the eye at the
// origin, or straight along the view axis without a local viewer).
TEST(RasterCoordinates, GeneratedCoordinatesOnASphere) {
    std::vector<NormalVertex> sphere;
    for (int i = 1; i < 8; ++i)
        for (int j = 0; j < 12; ++j) {
            const double theta = 3.14159265358979 * i / 8, phi = 2 * 3.14159265358979 * j / 12;
            const float n[3] = {static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                                static_cast<float>(std::sin(theta) * std::sin(phi))};
            sphere.push_back({n[0], n[1], n[2], n[0], n[1], n[2]});
        }
    D3DState s = BasicState(64, 64, D3DFVF_XYZ | D3DFVF_NORMAL);
    s.world = Translation(1.0f, 2.0f, 3.0f);
    const float eye[3] = {4.0f, 5.0f, -6.0f}, at[3] = {1.0f, 2.0f, 3.0f}, up[3] = {0.0f, 1.0f, 0.0f};
    s.view = LookAt(eye, at, up);
    const D3DMATRIX worldView = Multiply(s.world, s.view);
    raster::detail::AttributeLayout layout;
    for (int k = 0; k < 3; ++k) {
        layout.texcoord[k] = 4 + 3 * k;
        layout.texcoordCount[k] = 3;
    }
    layout.count = 13;
    s.stageState[0][D3DTSS_TEXCOORDINDEX] = D3DTSS_TCI_CAMERASPACENORMAL;
    s.stageState[1][D3DTSS_TEXCOORDINDEX] = D3DTSS_TCI_CAMERASPACEPOSITION;
    s.stageState[2][D3DTSS_TEXCOORDINDEX] = D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
    for (DWORD localViewer : {TRUE, FALSE}) {
        s.renderState[D3DRS_LOCALVIEWER] = localViewer;
        const raster::PipelineState translated = Translated(s);
        raster::detail::VertexProcessor processor;
        processor.Prepare(translated, layout);
        std::vector<raster::detail::ClipVertex> out(sphere.size());
        processor.Run(Input(sphere), 0, static_cast<UINT>(sphere.size()), out.data());
        for (std::size_t i = 0; i < sphere.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "vertex " << i << ", local viewer " << localViewer);
            const Vec p = Transform(worldView, {sphere[i].x, sphere[i].y, sphere[i].z}, 1.0);
            const Vec n = Transform(worldView, {sphere[i].nx, sphere[i].ny, sphere[i].nz}, 0.0);
            const Vec ray = localViewer ? Unit(p) : Vec{0.0, 0.0, 1.0};
            const Vec r = ray - 2.0 * Dot(n, ray) * n;
            const Vec expected[3] = {n, p, r};
            for (int k = 0; k < 3; ++k) {
                const float* got = out[i].attr + layout.texcoord[k];
                EXPECT_NEAR(got[0], expected[k].x, 1e-4) << "stage " << k;
                EXPECT_NEAR(got[1], expected[k].y, 1e-4) << "stage " << k;
                EXPECT_NEAR(got[2], expected[k].z, 1e-4) << "stage " << k;
            }
        }
    }
}

// ---- an environment-mapped object ---------------------------------------------------------

// A sphere reflecting a cube map of six checkered, tinted faces with a mip chain whose
// levels darken, trilinear: the faces meet along the reflection's seams, the checks shrink
// towards the silhouette and the darker levels show there.
TEST(RasterGolden, EnvironmentMappedSphere) {
    constexpr int kSize = 16, kLevels = 5;
    std::vector<std::uint32_t> storage[6][kLevels];
    raster::SamplerLevel levels[6][raster::SamplerTexture::kMaxLevels];
    raster::SamplerTexture cube;
    cube.kind = raster::TextureKind::Cube;
    cube.levelCount = kLevels;
    for (int f = 0; f < 6; ++f) {
        for (int l = 0; l < kLevels; ++l) {
            const int n = kSize >> l;
            storage[f][l].resize(static_cast<std::size_t>(n) * n);
            const std::uint32_t shade = 0xFFu - 0x30u * static_cast<std::uint32_t>(l);
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    const bool dark = (((x << l) / 4) + ((y << l) / 4)) & 1;
                    const std::uint32_t tint = kFace[f] | 0x303030u;
                    std::uint32_t c = 0xFF000000u;
                    for (int shift = 0; shift < 24; shift += 8) {
                        std::uint32_t channel = (tint >> shift) & 0xFF;
                        channel = channel * shade / 255 / (dark ? 3 : 1);
                        c |= channel << shift;
                    }
                    storage[f][l][static_cast<std::size_t>(y) * n + x] = c;
                }
            levels[f][l] = {storage[f][l].data(), n, n, n};
        }
        cube.faces[f] = levels[f];
    }
    for (int l = 0; l < kLevels; ++l) cube.levels[l] = levels[0][l];

    std::vector<NormalVertex> mesh;
    constexpr int kRings = 16, kSegments = 24;
    auto point = [](int i, int j) {
        const double theta = 3.14159265358979 * i / kRings, phi = 2 * 3.14159265358979 * j / kSegments;
        const float n[3] = {static_cast<float>(std::sin(theta) * std::cos(phi)), static_cast<float>(std::cos(theta)),
                            static_cast<float>(std::sin(theta) * std::sin(phi))};
        return NormalVertex{n[0], n[1], n[2], n[0], n[1], n[2]};
    };
    for (int i = 0; i < kRings; ++i)
        for (int j = 0; j < kSegments; ++j)
            for (auto [a, b] : {std::pair{0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 1}}) mesh.push_back(point(i + a, j + b));

    Target target(64, 64);
    D3DState s = BasicState(64, 64, D3DFVF_XYZ | D3DFVF_NORMAL);
    const float eye[3] = {1.2f, 1.0f, -2.6f}, at[3] = {0.0f, 0.0f, 0.0f}, up[3] = {0.0f, 1.0f, 0.0f};
    s.view = LookAt(eye, at, up);
    s.projection = Perspective(0.9f, 1.0f, 0.5f, 10.0f);
    s.texture[0] = &cube;
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG1;
    s.stageState[0][D3DTSS_TEXCOORDINDEX] = D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR;
    s.stageState[0][D3DTSS_MAGFILTER] = s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
    s.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_LINEAR;
    Rasterizer r(2);
    r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF202040u, 1.0f);
    r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(mesh), 0, static_cast<UINT>(mesh.size() / 3));
    r.Flush();
    ExpectGolden(target, "envmap_sphere");
}

}  // namespace
