// The game's scene through the rasterizer at 800x600: the corridor (walls with two
// texture stages, trilinear on stage 0, then the untextured floor and ceiling) and two
// vehicles, from the start camera and three other places along the corridor. The same
// frames are drawn through Mesa (offscreen OpenGL, fixed function; llvmpipe with
// GALLIUM_DRIVER=llvmpipe) when it is available, and the frame-rate ratio is printed:
// from the separate runs, and from BM_SideBySide, which alternates the two in rounds.
// BM_BumpMapped draws the start view's walls under a ps.1.1 texbem program (a signed normal
// map moving the wall texture's lookup), BM_MesaBumpMapped the same through an ARB fragment
// program.
//
// TOLVANE_VECTOR_TARGETS=avx2 (or sse4, ssse3, scalar; a comma-separated list) limits the
// pixel stage to those Highway targets, e.g. to measure a processor without AVX-512 on one
// that has it; the target that runs is printed first. BM_SideBySide runs once per target
// this processor has (the others masked) and ends with a table of ratios per target and view.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/d3d8/state_translation.h"
#include "raster/pipeline.h"
#include "raster/raster.h"
#include "simd/targets.h"
#include "tests/support/camera.h"

#ifdef TOLVANE_HAVE_OSMESA
#include <GL/gl.h>
#include <GL/osmesa.h>
#endif

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;

struct V3 {
    float x, y, z;
};
V3 Scale(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Normalize(V3 a) { return Scale(a, 1.0f / std::sqrt(Dot(a, a))); }

// The corridor: 12 rings of 6 vertices, built ring by ring from the cross-section.
void BuildCorridor(std::vector<Vertex>& vertices, std::vector<std::uint16_t>& indices) {
    const float T = 1.5f;
    const float w = 500.0f;
    Vertex ring0[6] = {{0, 250, 0, -1, 1, 0, T, T / 2},         {w / 3, 500, 0, 0, 1, 0, T, 0},
                       {2 * w / 3, 500, 0, 1, 1, 0, -T, 0},     {500, 250, 0, 1, -1, 0, -T, T / 2},
                       {2 * w / 3, 0, 0, 0, -1, 0, -T, T},      {w / 3, 0, 0, -1, -1, 0, T, T}};
    Vertex rings[12][6];
    std::memcpy(rings[0], ring0, sizeof ring0);
    auto copy = [&](int r) { std::memcpy(rings[r], rings[r - 1], sizeof ring0); };
    auto setU = [&](int r, float u) {
        for (Vertex& v : rings[r]) v.u = u;
    };
    auto move = [&](int r, int k, V3 d) {
        rings[r][k].x += d.x;
        rings[r][k].y += d.y;
        rings[r][k].z += d.z;
    };
    copy(1);
    for (Vertex& v : rings[1]) v.z = 5000;
    setU(1, 0);
    copy(2);
    for (Vertex& v : rings[2]) v.x -= 1000, v.y -= 1000, v.z = 7500;
    setU(2, -T);
    copy(3);
    for (Vertex& v : rings[3]) v.z = 10500;
    setU(3, T);
    copy(4);
    for (Vertex& v : rings[4]) v.x += 500, v.y += 3000, v.z = 14500;
    setU(4, -T);
    copy(5);
    for (int k = 0; k < 6; ++k) {
        float a = (k == 0 || k == 1 || k == 5) ? 10500.0f : 10000.0f;
        move(5, k, Scale(Normalize({0, -1, 2}), a));
    }
    setU(5, T);
    copy(6);
    for (int k = 0; k < 6; ++k) move(6, k, Scale(Normalize({0.75f, 0, 0.5f}), 10000));
    for (int k : {2, 3, 4}) rings[6][k].z -= 1000;
    setU(6, -T);
    copy(7);
    for (int k = 0; k < 6; ++k) move(7, k, Scale(Normalize({0.5f, 0.1f, -0.5f}), (k >= 2 && k <= 4) ? 5000.0f : 10000.0f));
    rings[7][0].z += 200;
    rings[7][3].z -= 200;
    setU(7, T);
    copy(8);
    for (int k = 0; k < 6; ++k) move(8, k, Scale(Normalize({0.5f, 0, -1}), 10000));
    setU(8, -T);
    const int mirror[6] = {3, 2, 1, 0, 5, 4};
    for (int k = 0; k < 6; ++k) {
        rings[9][k] = rings[0][mirror[k]];
        rings[9][k].x += 5000;
        if (k == 0 || k == 1 || k == 5) rings[9][k].x += 1000, rings[9][k].z -= 1000;
    }
    setU(9, T);
    copy(10);
    for (int k = 0; k < 6; ++k) {
        rings[10][k].x -= 2000;
        rings[10][k].z -= 1000;
        if (k == 0 || k == 1 || k == 5) rings[10][k].x -= 3000, rings[10][k].z -= 2000;
    }
    rings[10][0].z -= 200;
    rings[10][3].z += 200;
    setU(10, -T);
    std::memcpy(rings[11], rings[0], sizeof ring0);
    setU(11, T);
    vertices.assign(&rings[0][0], &rings[0][0] + 72);

    indices.clear();
    for (int s = 0; s < 11; ++s) {
        int b = 6 * s;
        for (int i : {b + 5, b + 0, b + 6, b + 5, b + 6, b + 11, b + 0, b + 1, b + 7, b + 0, b + 7, b + 6, b + 4, b + 3,
                      b + 9, b + 4, b + 9, b + 10, b + 3, b + 2, b + 8, b + 3, b + 8, b + 9})
            indices.push_back(static_cast<std::uint16_t>(i));
    }
    for (int s = 0; s < 11; ++s) {
        int b = 6 * s;
        for (int i : {b + 1, b + 2, b + 8, b + 1, b + 8, b + 7, b + 5, b + 4, b + 10, b + 5, b + 10, b + 11})
            indices.push_back(static_cast<std::uint16_t>(i));
    }
}

// A vehicle: two textured side panels of four quads and an untextured body.
void BuildVehicle(V3 p, std::vector<Vertex>& vertices, std::vector<std::uint16_t>& indices) {
    const float n0 = -0.8944272f, n1 = -0.4472136f;
    const float left[16][7] = {{-20, -20, 200, n0, n1, 0, 1}, {-30, 0, 200, n0, n1, 0, 0}, {-30, 20, 155, -1, 0, 1, 0},
                               {-30, -20, 155, -1, 0, 1, 1},  {-30, -20, 155, -1, 0, 0, 1}, {-30, 20, 155, -1, 0, 0, 0},
                               {-30, 40, 125, -1, 0, 1, 0},   {-30, -20, 125, -1, 0, 1, 1}, {-30, -20, 125, -1, 0, 0, 1},
                               {-30, 40, 125, -1, 0, 0, 0},   {-30, 40, 65, -1, 0, 1, 0},   {-30, -20, 65, -1, 0, 1, 1},
                               {-30, -20, 65, -1, 0, 0, 1},   {-30, 40, 65, -1, 0, 0, 0},   {-30, 20, 0, -1, 0, 1, 0},
                               {-30, -20, 0, -1, 0, 1, 1}};
    // Columns: dx, dy, dz, nx, ny, u, v (nz is 0).
    vertices.resize(32);
    for (int i = 0; i < 16; ++i) {
        const float* r = left[i];
        vertices[i] = {p.x + r[0], p.y + r[1], p.z + r[2], r[3], r[4], 0, r[5], r[6]};
        Vertex m = vertices[i];
        m.x += i == 0 ? 40.0f : 60.0f;
        m.nx = -r[3];
        m.ny = 0;
        m.u = -m.u;
        m.v = -m.v;
        vertices[16 + i] = m;
    }
    indices.clear();
    for (int q = 0; q < 8; ++q)
        for (int i : {4 * q, 4 * q + 1, 4 * q + 2, 4 * q, 4 * q + 2, 4 * q + 3}) indices.push_back(static_cast<std::uint16_t>(i));
    for (int i : {1, 17, 2, 17, 2, 18, 5, 21, 6, 21, 6, 22, 9, 25, 10, 25, 10, 26, 13, 29, 14, 29, 14, 30,
                  0, 16, 3, 16, 3, 19, 4, 20, 7, 20, 7, 23, 8, 24, 11, 24, 11, 27, 12, 28, 15, 28, 15, 31,
                  16, 17, 0, 17, 1, 0, 15, 14, 31, 14, 30, 31})
        indices.push_back(static_cast<std::uint16_t>(i));
}

// A 256x256 texture with a full chain of box-filtered levels.
struct Texture {
    std::vector<std::vector<std::uint32_t>> levels;
    raster::SamplerTexture sampler;
};

Texture MakeTexture(std::uint32_t seed, bool panels) {
    Texture t;
    int size = 256;
    t.levels.emplace_back(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            std::uint32_t h = (static_cast<std::uint32_t>(x) * 73856093u) ^ (static_cast<std::uint32_t>(y) * 19349663u) ^ seed;
            h = (h ^ (h >> 13)) * 0x5bd1e995u;
            int noise = static_cast<int>((h >> 24) & 31);
            int base = panels ? (((x / 32 + y / 32) & 1) ? 150 : 90) + ((x % 32 == 0 || y % 32 == 0) ? -60 : 0)
                              : 128 + static_cast<int>(100 * std::sin(x * 0.05f) * std::cos(y * 0.07f));
            int r = std::min(255, std::max(0, base + noise)), g = std::min(255, std::max(0, base + noise / 2 + 10)),
                b = std::min(255, std::max(0, base + 30));
            t.levels[0][static_cast<std::size_t>(y) * size + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    while (size > 1) {
        int half = size / 2;
        const std::vector<std::uint32_t>& up = t.levels.back();
        std::vector<std::uint32_t> level(static_cast<std::size_t>(half) * half);
        for (int y = 0; y < half; ++y)
            for (int x = 0; x < half; ++x) {
                std::uint32_t out = 0;
                for (int c = 0; c < 32; c += 8) {
                    std::uint32_t sum = 0;
                    for (int k = 0; k < 4; ++k) sum += (up[static_cast<std::size_t>(2 * y + k / 2) * size + 2 * x + k % 2] >> c) & 0xFF;
                    out |= ((sum + 2) / 4) << c;
                }
                level[static_cast<std::size_t>(y) * half + x] = out;
            }
        t.levels.push_back(std::move(level));
        size = half;
    }
    t.sampler.levelCount = static_cast<int>(t.levels.size());
    for (int l = 0, s = 256; l < t.sampler.levelCount; ++l, s /= 2) t.sampler.levels[l] = {t.levels[l].data(), s, s, s};
    return t;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Left-handed view from a camera frame (row vectors).
D3DMATRIX View(V3 position, V3 forward) {
    const float eye[3] = {position.x, position.y, position.z};
    const float at[3] = {position.x + forward.x, position.y + forward.y, position.z + forward.z};
    const float up[3] = {0, 1, 0};
    return support::As<D3DMATRIX>(support::LookAt(eye, at, up));
}

D3DMATRIX Projection(float fov, float aspect, float zn, float zf) {
    return support::As<D3DMATRIX>(support::Perspective(fov, aspect, zn, zf));
}

struct Camera {
    const char* name;
    V3 position, forward;
};
// The start camera and three places along the corridor.
const Camera kCameras[] = {
    {"start", {250, 250, -20}, {0, 0, 1}},
    {"segment1", {250, 250, 3000}, {0, 0, 1}},
    {"segment3", {-750, -700, 8000}, {0, 0.1f, 1}},
    {"diagonal", {12000, -500, 7300}, {-12050, 1530, -15000}},
};

struct Scene {
    Scene() {
        BuildCorridor(corridor, corridorIndices);
        BuildVehicle({200, 40, 400}, vehicleA, vehicleIndices);
        BuildVehicle({320, 40, 900}, vehicleB, vehicleIndices);
        corridorTexture = MakeTexture(1, true);
        corridorShine = MakeTexture(2, false);
        vehicleTexture = MakeTexture(3, true);
        vehicleShine = MakeTexture(4, false);
        // The bump view's normal map: the slopes of h = sin(x) cos(y) as signed (du, dv), each
        // biased by 128 as the device's copy of a V8U8 texture holds them; one level.
        bumps.levels.emplace_back(256 * 256);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                const float fx = 6.2831853f * 8.0f * x / 256, fy = 6.2831853f * 6.0f * y / 256;
                const int du = static_cast<int>(std::lround(100.0f * std::cos(fx) * std::cos(fy)));
                const int dv = static_cast<int>(std::lround(-100.0f * std::sin(fx) * std::sin(fy)));
                bumps.levels[0][static_cast<std::size_t>(y) * 256 + x] =
                    0xFF000000u | static_cast<std::uint32_t>(du + 128) << 16 | static_cast<std::uint32_t>(dv + 128) << 8 | 0x80u;
            }
        bumps.sampler.levelCount = 1;
        bumps.sampler.levels[0] = {bumps.levels[0].data(), 256, 256, 256};
    }
    std::vector<Vertex> corridor, vehicleA, vehicleB;
    std::vector<std::uint16_t> corridorIndices, vehicleIndices;
    Texture corridorTexture, corridorShine, vehicleTexture, vehicleShine, bumps;
};

// The bump view's matrix (BUMPENVMAT00, 01 / 10, 11): a shift of up to a twentieth of the
// wall texture per unit of slope.
constexpr float kBumpMatrix[2][2] = {{0.05f, 0.01f}, {-0.01f, 0.05f}};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

// The environment-mapped object of the cube-mapped view: a sphere of 24 x 32 quads with
// normals, reflecting a cube map whose faces are further textures of the scene's kind
// (256 x 256, full chains), sampled trilinearly through reflection vectors.
struct EnvironmentMap {
    EnvironmentMap() {
        constexpr int kRings = 24, kSegments = 32;
        constexpr float kRadius = 110.0f;
        const V3 centre = {260, 270, 560};
        auto point = [&](int i, int j) {
            const float theta = 3.14159265f * static_cast<float>(i) / kRings;
            const float phi = 2 * 3.14159265f * static_cast<float>(j) / kSegments;
            const V3 n = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            return Vertex{centre.x + kRadius * n.x, centre.y + kRadius * n.y, centre.z + kRadius * n.z, n.x, n.y, n.z, 0, 0};
        };
        for (int i = 0; i < kRings; ++i)
            for (int j = 0; j < kSegments; ++j)
                for (auto [a, b] : {std::pair{0, 0}, {1, 0}, {0, 1}, {0, 1}, {1, 0}, {1, 1}}) sphere.push_back(point(i + a, j + b));
        cube.kind = raster::TextureKind::Cube;
        for (int f = 0; f < 6; ++f) {
            faces[f] = MakeTexture(10u + static_cast<std::uint32_t>(f), f % 2 == 0);
            cube.faces[f] = faces[f].sampler.levels;
        }
        cube.levelCount = faces[0].sampler.levelCount;
        for (int l = 0; l < cube.levelCount; ++l) cube.levels[l] = faces[0].sampler.levels[l];
    }
    std::vector<Vertex> sphere;
    Texture faces[6];
    raster::SamplerTexture cube;
};

EnvironmentMap& TheEnvironmentMap() {
    static EnvironmentMap map;
    return map;
}

D3DMATERIAL8 Emissive(float level) {
    D3DMATERIAL8 m{};
    m.Emissive = {level, level, level, 0.0f};
    return m;
}

// Pixel memory starting on a cache line, as the device allocates its surfaces.
template <typename T>
class AlignedPixels {
public:
    explicit AlignedPixels(std::size_t count)
        : count_(count), data_(static_cast<T*>(::operator new[](count * sizeof(T), kAlignment))) {}
    ~AlignedPixels() { ::operator delete[](data_, kAlignment); }
    AlignedPixels(const AlignedPixels&) = delete;
    AlignedPixels& operator=(const AlignedPixels&) = delete;
    T* data() { return data_; }
    std::size_t size() const { return count_; }

private:
    static constexpr std::align_val_t kAlignment{64};
    std::size_t count_;
    T* data_;
};


// The targets TOLVANE_VECTOR_TARGETS names (all when it is unset).
std::int64_t VectorTargets() { return tolvane::simd::EnvironmentTargets(); }

raster::RasterOptions Options(int threads, std::int64_t targets) {
    raster::RasterOptions options;
    options.threads = threads;
    options.vectorTargets = targets;
    return options;
}

// The vector targets the side-by-side run measures one at a time, best first: every target
// of the pixel stage that this processor runs and TOLVANE_VECTOR_TARGETS allows, the others
// masked; the portable fallback only when the mask leaves nothing else.
std::vector<std::int64_t> SideBySideTargets() {
    std::vector<std::int64_t> targets;
    const std::int64_t usable = raster::detail::CompiledShadingTargets() & tolvane::simd::SupportedTargets() &
                                VectorTargets() & ~static_cast<std::int64_t>(HWY_SCALAR | HWY_EMU128);
    for (int bit = 0; bit < 63; ++bit)
        if (usable & (std::int64_t{1} << bit))
            targets.push_back(std::int64_t{1} << bit);
    if (targets.empty())
        targets.push_back(raster::detail::ShadingTarget(VectorTargets()));
    return targets;
}

struct TolvaneRenderer {
    explicit TolvaneRenderer(int threads, std::int64_t targets = VectorTargets())
        : rasterizer(Options(threads, targets)), color(static_cast<std::size_t>(kWidth) * kHeight), depth(color.size()) {
        target.color = color.data();
        target.width = kWidth;
        target.height = kHeight;
        target.colorPitch = kWidth;
        target.depth = depth.data();
        target.depthPitch = kWidth;
        // The states in the platform's values, translated as the device translates them.
        DWORD rs[D3DRS_COUNT];
        d3d8::StageStates ts[D3DMAXTEXTURESTAGES];
        d3d8::SetDefaultStates(rs, ts);
        rs[D3DRS_LIGHTING] = TRUE;
        rs[D3DRS_SPECULARENABLE] = TRUE;
        rs[D3DRS_DIFFUSEMATERIALSOURCE] = rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_MATERIAL;
        rs[D3DRS_AMBIENTMATERIALSOURCE] = rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
        rs[D3DRS_CULLMODE] = D3DCULL_NONE;
        ts[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
        ts[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
        ts[0][D3DTSS_MIPFILTER] = D3DTEXF_LINEAR;
        ts[1][D3DTSS_COLOROP] = D3DTOP_MODULATE;
        ts[1][D3DTSS_TEXCOORDINDEX] = 0;
        d3d8::TranslateStates(rs, ts, state.states);
        state.world = d3d8::ToRaster(Identity());
        state.projection = d3d8::ToRaster(Projection(3.14159265f / 4, 1.0f, 1.0f, 50000.0f));
        state.viewport = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
        d3d8::DecodeFvf(kFvf, state.vertex);
    }

    void Frame(const Camera& camera) {
        Scene& scene = TheScene();
        state.view = d3d8::ToRaster(View(camera.position, camera.forward));
        rasterizer.Clear(target, state.viewport, 0, nullptr, raster::ClearBuffers{true, true, false}, 0xFF000055u, 1.0f);
        raster::IndexInput corridorIndices{scene.corridorIndices.data(), scene.corridorIndices.size(), false};
        raster::IndexInput vehicleIndices{scene.vehicleIndices.data(), scene.vehicleIndices.size(), false};
        raster::VertexInput corridor{reinterpret_cast<const std::uint8_t*>(scene.corridor.data()),
                                     scene.corridor.size() * sizeof(Vertex), sizeof(Vertex)};
        state.material = d3d8::ToRaster(Emissive(1.0f));
        state.texture[0] = &scene.corridorTexture.sampler;
        state.texture[1] = &scene.corridorShine.sampler;
        if (bumpMapped) {
            DrawBumpedWalls(corridor, corridorIndices);
        } else {
            rasterizer.DrawIndexed(state, target, raster::PrimitiveType::TriangleList, corridor, 0, corridorIndices, 0, 88);
        }
        state.material = d3d8::ToRaster(Emissive(0.25f));
        state.texture[0] = state.texture[1] = nullptr;
        rasterizer.DrawIndexed(state, target, raster::PrimitiveType::TriangleList, corridor, 0, corridorIndices, 264, 44);
        const std::vector<Vertex>* vehicles[2] = {&scene.vehicleA, &scene.vehicleB};
        state.material = d3d8::ToRaster(Emissive(1.0f));
        state.texture[0] = &scene.vehicleTexture.sampler;
        state.texture[1] = &scene.vehicleShine.sampler;
        for (const auto* v : vehicles) {
            raster::VertexInput in{reinterpret_cast<const std::uint8_t*>(v->data()), v->size() * sizeof(Vertex), sizeof(Vertex)};
            rasterizer.DrawIndexed(state, target, raster::PrimitiveType::TriangleList, in, 0, vehicleIndices, 0, 16);
        }
        state.material = d3d8::ToRaster(Emissive(0.0f));
        state.texture[0] = state.texture[1] = nullptr;
        for (const auto* v : vehicles) {
            raster::VertexInput in{reinterpret_cast<const std::uint8_t*>(v->data()), v->size() * sizeof(Vertex), sizeof(Vertex)};
            rasterizer.DrawIndexed(state, target, raster::PrimitiveType::TriangleList, in, 0, vehicleIndices, 48, 20);
        }
        if (environmentMapped) DrawEnvironmentMapped();
        rasterizer.Flush();
    }

    // The sphere, one stage reading the cube map through camera-space reflection vectors.
    void DrawEnvironmentMapped() {
        EnvironmentMap& map = TheEnvironmentMap();
        state.material = d3d8::ToRaster(Emissive(1.0f));
        state.texture[0] = &map.cube;
        state.texture[1] = nullptr;
        state.states.stages[0].coordinateSource = raster::CoordinateSource::CameraReflection;
        state.states.stages[1].colorOp = raster::StageOp::Disable;
        raster::VertexInput in{reinterpret_cast<const std::uint8_t*>(map.sphere.data()), map.sphere.size() * sizeof(Vertex),
                               sizeof(Vertex)};
        rasterizer.Draw(state, target, raster::PrimitiveType::TriangleList, in, 0, static_cast<UINT>(map.sphere.size() / 3));
        state.states.stages[0].coordinateSource = raster::CoordinateSource::Set;
        state.states.stages[1].colorOp = raster::StageOp::Modulate;
        state.texture[0] = nullptr;
    }

    // The walls under ps.1.1 "tex t0; texbem t1, t0; mul r0, t1, v0": stage 0 the signed
    // normal map (bilinear), stage 1 the wall texture (trilinear) looked up at coordinates
    // moved by the bump matrix times the normal map's (du, dv).
    void DrawBumpedWalls(const raster::VertexInput& corridor, const raster::IndexInput& indices) {
        Scene& scene = TheScene();
        const raster::StageState saved[2] = {state.states.stages[0], state.states.stages[1]};
        state.texture[0] = &scene.bumps.sampler;
        state.texture[1] = &scene.corridorTexture.sampler;
        state.states.pixelProgram = &bumpProgram;
        raster::StageState& bump = state.states.stages[0];
        bump.signedChannels = raster::kMaskR | raster::kMaskG;
        bump.minFilter = bump.magFilter = raster::TextureFilter::Linear;
        bump.mipFilter = raster::MipFilter::None;
        raster::StageState& wall = state.states.stages[1];
        wall = saved[0];  // the trilinear sampler of the plain view's stage 0
        wall.coordinateSet = 0;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) wall.bumpMatrix[i][j] = kBumpMatrix[i][j];
        rasterizer.DrawIndexed(state, target, raster::PrimitiveType::TriangleList, corridor, 0, indices, 0, 88);
        state.states.pixelProgram = nullptr;
        state.states.stages[0] = saved[0];
        state.states.stages[1] = saved[1];
    }

    static raster::PixelProgram BumpProgram() {
        using namespace raster::ps;
        raster::PixelProgram p(raster::PixelVersion::Ps11);
        p.Texture(raster::PixelOp::Tex, DT(0));
        p.Texture(raster::PixelOp::TexBem, DT(1), T(0));
        p.Arith(raster::PixelOp::Mul, DR(0), T(1), V(0));
        return p;
    }

    bool environmentMapped = false;
    bool bumpMapped = false;
    raster::PixelProgram bumpProgram = BumpProgram();

    raster::Rasterizer rasterizer;
    AlignedPixels<std::uint32_t> color;
    AlignedPixels<std::uint16_t> depth;
    raster::RenderTarget target;
    raster::PipelineState state;
};

void WritePpm(const char* path, const std::uint32_t* pixels, bool bottomUp) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::size_t>(bottomUp ? kHeight - 1 - y : y) * kWidth;
        for (int x = 0; x < kWidth; ++x) {
            unsigned char rgb[3] = {static_cast<unsigned char>(row[x] >> 16), static_cast<unsigned char>(row[x] >> 8),
                                    static_cast<unsigned char>(row[x])};
            std::fwrite(rgb, 1, 3, f);
        }
    }
    std::fclose(f);
}

void BM_Tolvane(benchmark::State& st) {
    const Camera& camera = kCameras[st.range(0)];
    TolvaneRenderer renderer(static_cast<int>(st.range(1)));
    renderer.Frame(camera);
    for (auto _ : st) renderer.Frame(camera);
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.SetLabel(camera.name);
    // TOLVANE_BENCH_SHOTS=dir writes each view's last frame for inspection.
    if (const char* dir = std::getenv("TOLVANE_BENCH_SHOTS"))
        WritePpm((std::string(dir) + "/tolvane_" + camera.name + ".ppm").c_str(), renderer.color.data(), false);
}

// The start view with an environment-mapped sphere in front of the camera (cube map,
// reflection vectors, trilinear): the pixel-by-pixel sampling of cube textures.
void BM_CubeMapped(benchmark::State& st) {
    const Camera& camera = kCameras[0];
    TolvaneRenderer renderer(static_cast<int>(st.range(0)));
    renderer.environmentMapped = true;
    renderer.Frame(camera);
    for (auto _ : st) renderer.Frame(camera);
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.SetLabel("start, environment-mapped sphere");
    if (const char* dir = std::getenv("TOLVANE_BENCH_SHOTS"))
        WritePpm((std::string(dir) + "/tolvane_cube_mapped.ppm").c_str(), renderer.color.data(), false);
}

// The start view with bump-mapped walls (a pixel program: texbem over the wall texture).
void BM_BumpMapped(benchmark::State& st) {
    const Camera& camera = kCameras[0];
    TolvaneRenderer renderer(static_cast<int>(st.range(0)));
    renderer.bumpMapped = true;
    renderer.Frame(camera);
    for (auto _ : st) renderer.Frame(camera);
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.SetLabel("start, bump-mapped walls");
    if (const char* dir = std::getenv("TOLVANE_BENCH_SHOTS"))
        WritePpm((std::string(dir) + "/tolvane_bump_mapped.ppm").c_str(), renderer.color.data(), false);
}

#ifdef TOLVANE_HAVE_OSMESA
// ARB_fragment_program entry points, found at run time.
using ProgramStringProc = void (*)(GLenum, GLenum, GLsizei, const void*);
using GenProgramsProc = void (*)(GLsizei, GLuint*);
using BindProgramProc = void (*)(GLenum, GLuint);
using ProgramLocalProc = void (*)(GLenum, GLuint, GLfloat, GLfloat, GLfloat, GLfloat);
constexpr GLenum kFragmentProgram = 0x8804;   // GL_FRAGMENT_PROGRAM_ARB
constexpr GLenum kProgramFormatAscii = 0x8875;  // GL_PROGRAM_FORMAT_ASCII_ARB

// texbem for Mesa: the normal map's bytes c back to (c - 128) / 127, the wall coordinates
// moved by the matrix (program.local[0] = M00, M01, M10, M11), the wall texel times the
// colour.
constexpr char kBumpFragmentProgram[] =
    "!!ARBfp1.0\n"
    "PARAM m = program.local[0];\n"
    "PARAM scale = {2.007874, 2.007874, 0, 0};\n"
    "PARAM bias = {-1.007874, -1.007874, 0, 0};\n"
    "TEMP b, c;\n"
    "TEX b, fragment.texcoord[0], texture[0], 2D;\n"
    "MAD b, b, scale, bias;\n"
    "MAD c.x, b.x, m.x, fragment.texcoord[1].x;\n"
    "MAD c.x, b.y, m.z, c.x;\n"
    "MAD c.y, b.x, m.y, fragment.texcoord[1].y;\n"
    "MAD c.y, b.y, m.w, c.y;\n"
    "TEX c, c, texture[1], 2D;\n"
    "MUL result.color, c, fragment.color;\n"
    "END\n";

struct MesaRenderer {
    MesaRenderer() : color(static_cast<std::size_t>(kWidth) * kHeight) {
        context = OSMesaCreateContextExt(OSMESA_BGRA, 16, 0, 0, nullptr);
        if (!context || !OSMesaMakeCurrent(context, color.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
            ok = false;
            return;
        }
        Scene& scene = TheScene();
        Texture* textures[4] = {&scene.corridorTexture, &scene.corridorShine, &scene.vehicleTexture, &scene.vehicleShine};
        glGenTextures(4, names);
        for (int i = 0; i < 4; ++i) {
            glBindTexture(GL_TEXTURE_2D, names[i]);
            for (int l = 0; l < textures[i]->sampler.levelCount; ++l) {
                int s = textures[i]->sampler.levels[l].width;
                glTexImage2D(GL_TEXTURE_2D, l, GL_RGBA8, s, s, 0, GL_BGRA, GL_UNSIGNED_BYTE, textures[i]->levels[l].data());
            }
        }
        // The normal map, uploaded with its biased bytes as they are.
        glGenTextures(1, &bumpName);
        glBindTexture(GL_TEXTURE_2D, bumpName);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 256, 256, 0, GL_BGRA, GL_UNSIGNED_BYTE, scene.bumps.levels[0].data());
        auto programString = reinterpret_cast<ProgramStringProc>(OSMesaGetProcAddress("glProgramStringARB"));
        auto genPrograms = reinterpret_cast<GenProgramsProc>(OSMesaGetProcAddress("glGenProgramsARB"));
        bindProgram = reinterpret_cast<BindProgramProc>(OSMesaGetProcAddress("glBindProgramARB"));
        programLocal = reinterpret_cast<ProgramLocalProc>(OSMesaGetProcAddress("glProgramLocalParameter4fARB"));
        if (programString && genPrograms && bindProgram && programLocal) {
            genPrograms(1, &bumpProgram);
            bindProgram(kFragmentProgram, bumpProgram);
            programString(kFragmentProgram, kProgramFormatAscii, static_cast<GLsizei>(sizeof kBumpFragmentProgram - 1),
                          kBumpFragmentProgram);
            bumpOk = glGetError() == GL_NO_ERROR;
            programLocal(kFragmentProgram, 0, kBumpMatrix[0][0], kBumpMatrix[0][1], kBumpMatrix[1][0], kBumpMatrix[1][1]);
        }
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDisable(GL_CULL_FACE);
        glDisable(GL_LIGHTING);
        glDisable(GL_DITHER);
        glViewport(0, 0, kWidth, kHeight);
    }
    ~MesaRenderer() {
        if (context) OSMesaDestroyContext(context);
    }
    void BindStages(GLuint stage0, GLuint stage1) {
        for (int unit = 0; unit < 2; ++unit) {
            glActiveTexture(GL_TEXTURE0 + unit);
            GLuint name = unit == 0 ? stage0 : stage1;
            if (!name) {
                glDisable(GL_TEXTURE_2D);
                continue;
            }
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, name);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, unit == 0 ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, unit == 0 ? GL_LINEAR : GL_NEAREST);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        }
    }
    void DrawMesh(const std::vector<Vertex>& v, const std::vector<std::uint16_t>& indices, int first, int triangles) {
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, sizeof(Vertex), &v[0].x);
        for (int unit = 0; unit < 2; ++unit) {
            glClientActiveTexture(GL_TEXTURE0 + unit);
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, sizeof(Vertex), &v[0].u);
        }
        glDrawElements(GL_TRIANGLES, 3 * triangles, GL_UNSIGNED_SHORT, indices.data() + first);
    }
    void Frame(const Camera& camera) {
        Scene& scene = TheScene();
        // Direct3D clip depth 0..w becomes OpenGL's -w..w; the row-vector matrices load as
        // OpenGL's column-major ones unchanged.
        D3DMATRIX projection = Projection(3.14159265f / 4, 1.0f, 1.0f, 50000.0f);
        for (int r = 0; r < 4; ++r) projection.m[r][2] = 2 * projection.m[r][2] - projection.m[r][3];
        D3DMATRIX view = View(camera.position, camera.forward);
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(&projection.m[0][0]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(&view.m[0][0]);
        glClearColor(0, 0, 0x55 / 255.0f, 1);
        glClearDepth(1.0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        BindStages(names[0], names[1]);
        glColor4f(1, 1, 1, 0);
        if (bumpMapped) {
            // Unit 0 the normal map (bilinear), unit 1 the wall texture (trilinear).
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, bumpName);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, names[0]);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glEnable(kFragmentProgram);
            bindProgram(kFragmentProgram, bumpProgram);
        }
        DrawMesh(scene.corridor, scene.corridorIndices, 0, 88);
        if (bumpMapped) glDisable(kFragmentProgram);
        BindStages(0, 0);
        glColor4f(0.25f, 0.25f, 0.25f, 0);
        DrawMesh(scene.corridor, scene.corridorIndices, 264, 44);
        BindStages(names[2], names[3]);
        glColor4f(1, 1, 1, 0);
        DrawMesh(scene.vehicleA, scene.vehicleIndices, 0, 16);
        DrawMesh(scene.vehicleB, scene.vehicleIndices, 0, 16);
        BindStages(0, 0);
        glColor4f(0, 0, 0, 0);
        DrawMesh(scene.vehicleA, scene.vehicleIndices, 48, 20);
        DrawMesh(scene.vehicleB, scene.vehicleIndices, 48, 20);
        glFinish();
    }
    OSMesaContext context = nullptr;
    bool ok = true;
    GLuint names[4] = {};
    GLuint bumpName = 0, bumpProgram = 0;
    bool bumpOk = false, bumpMapped = false;
    BindProgramProc bindProgram = nullptr;
    ProgramLocalProc programLocal = nullptr;
    std::vector<std::uint32_t> color;
};

void BM_Mesa(benchmark::State& st) {
    const Camera& camera = kCameras[st.range(0)];
    MesaRenderer renderer;
    if (!renderer.ok) {
        st.SkipWithError("no OSMesa context");
        return;
    }
    renderer.Frame(camera);
    for (auto _ : st) renderer.Frame(camera);
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.SetLabel(std::string(camera.name) + " " + reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    if (const char* dir = std::getenv("TOLVANE_BENCH_SHOTS"))
        WritePpm((std::string(dir) + "/mesa_" + camera.name + ".ppm").c_str(), renderer.color.data(), true);
}
// The bump-mapped start view through Mesa: the same texbem as an ARB fragment program.
void BM_MesaBumpMapped(benchmark::State& st) {
    MesaRenderer renderer;
    if (!renderer.ok || !renderer.bumpOk) {
        st.SkipWithError("no OSMesa context with ARB_fragment_program");
        return;
    }
    renderer.bumpMapped = true;
    renderer.Frame(kCameras[0]);
    for (auto _ : st) renderer.Frame(kCameras[0]);
    st.counters["fps"] = benchmark::Counter(static_cast<double>(st.iterations()), benchmark::Counter::kIsRate);
    st.SetLabel(std::string("start, bump-mapped walls ") + reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    if (const char* dir = std::getenv("TOLVANE_BENCH_SHOTS"))
        WritePpm((std::string(dir) + "/mesa_bump_mapped.ppm").c_str(), renderer.color.data(), true);
}
BENCHMARK(BM_MesaBumpMapped)->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->MinTime(1.5);

// The two renderers in alternating rounds of frames, so that both see the same state of a
// shared, noisy host: the ratio of each round is taken within a fraction of a second, and
// the median of the rounds' ratios is reported (counters: ratio, and the median frame
// times in ms). Buffers are allocated before the rounds.
// The second argument is the index of the vector target in SideBySideTargets().
void BM_SideBySide(benchmark::State& st) {
    const Camera& camera = kCameras[st.range(0)];
    const std::vector<std::int64_t> targets = SideBySideTargets();
    const std::int64_t target = targets[static_cast<std::size_t>(st.range(1)) % targets.size()];
    MesaRenderer mesa;
    if (!mesa.ok) {
        st.SkipWithError("no OSMesa context");
        return;
    }
    TolvaneRenderer ours(0, target);
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    auto timeFrames = [&](auto& renderer, int frames) {
        Clock::time_point start = Clock::now();
        for (int i = 0; i < frames; ++i) renderer.Frame(camera);
        return seconds(Clock::now() - start) / frames;
    };
    for (Clock::time_point until = Clock::now() + std::chrono::milliseconds(500); Clock::now() < until;) {
        mesa.Frame(camera);
        ours.Frame(camera);
    }
    constexpr int kFrames = 40;
    std::vector<double> mesaTimes, ourTimes, ratios;
    for (auto _ : st) {
        double m = timeFrames(mesa, kFrames), o = timeFrames(ours, kFrames);
        mesaTimes.push_back(m);
        ourTimes.push_back(o);
        ratios.push_back(m / o);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    st.counters["ratio"] = median(ratios);
    st.counters["mesa_ms"] = 1000 * median(mesaTimes);
    st.counters["ours_ms"] = 1000 * median(ourTimes);
    st.SetLabel(std::string(camera.name) + " " + hwy::TargetName(target));
}

// Half a second of warm-up and longer runs for both renderers: in the first fraction of a
// second after start the worker threads of either run measurably slower on this machine.
BENCHMARK(BM_Mesa)->ArgsProduct({{0, 1, 2, 3}})->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->MinTime(1.5);
BENCHMARK(BM_SideBySide)
    ->Apply([](benchmark::internal::Benchmark* b) {
        const int count = static_cast<int>(SideBySideTargets().size());
        for (int target = 0; target < count; ++target)
            for (int view = 0; view < 4; ++view) b->Args({view, target});
    })
    ->ArgNames({"view", "target"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(15);
#endif

BENCHMARK(BM_BumpMapped)->ArgsProduct({{0, 1}})->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->MinTime(1.5);
BENCHMARK(BM_CubeMapped)->ArgsProduct({{0, 1}})->ArgNames({"threads"})->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->MinTime(1.5);
BENCHMARK(BM_Tolvane)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->ArgNames({"view", "threads"})->Unit(benchmark::kMillisecond)->UseRealTime()->MinWarmUpTime(0.5)->MinTime(1.5);

// Collects the frame times to print the ratio of frame rates per view at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations == 0) continue;
            std::string name = run.benchmark_name();
            double seconds = run.GetAdjustedRealTime();
            times_[name] = seconds;
            auto ratio = run.counters.find("ratio");
            if (ratio != run.counters.end()) sideBySide_[name] = ratio->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nFrame rate ratio, Tolvane (all threads) / Mesa, per view:\n");
        for (int view = 0; view < 4; ++view) {
            auto ours = Find(times_, "BM_Tolvane/view:" + std::to_string(view) + "/threads:0/");
            auto mesa = Find(times_, "BM_Mesa/" + std::to_string(view) + "/");
            if (ours == times_.end() || mesa == times_.end()) continue;
            std::printf("  %-9s %.2fx (%.1f fps against %.1f fps)\n", kCameras[view].name, mesa->second / ours->second,
                        1000.0 / ours->second, 1000.0 / mesa->second);
        }
        auto ours = Find(times_, "BM_BumpMapped/threads:0/");
        auto mesa = Find(times_, "BM_MesaBumpMapped/");
        if (ours != times_.end() && mesa != times_.end())
            std::printf("  %-9s %.2fx (%.1f fps against %.1f fps)\n", "bump", mesa->second / ours->second,
                        1000.0 / ours->second, 1000.0 / mesa->second);
        if (sideBySide_.empty()) return;
        std::printf("\nMesa ms / ours ms, median of alternating rounds (BM_SideBySide), per target:\n  %-8s",
                    "target");
        for (const Camera& camera : kCameras) std::printf(" %9s", camera.name);
        std::printf("\n");
        const std::vector<std::int64_t> targets = SideBySideTargets();
        for (std::size_t t = 0; t < targets.size(); ++t) {
            std::printf("  %-8s", hwy::TargetName(targets[t]));
            for (int view = 0; view < 4; ++view) {
                auto it = Find(sideBySide_, "BM_SideBySide/view:" + std::to_string(view) + "/target:" +
                                                std::to_string(t) + "/");
                if (it == sideBySide_.end())
                    std::printf(" %9s", "-");
                else
                    std::printf(" %8.2fx", it->second);
            }
            std::printf("\n");
        }
    }

private:
    // The run whose name starts with prefix (the names go on with the run's settings).
    static std::map<std::string, double>::const_iterator Find(const std::map<std::string, double>& runs,
                                                              const std::string& prefix) {
        auto it = runs.lower_bound(prefix);
        return it != runs.end() && it->first.compare(0, prefix.size(), prefix) == 0 ? it : runs.end();
    }
    std::map<std::string, double> times_, sideBySide_;
};

}  // namespace

int main(int argc, char** argv) {
    // llvmpipe unless the caller chose another Gallium driver.
    setenv("GALLIUM_DRIVER", "llvmpipe", 0);
    benchmark::Initialize(&argc, argv);
    std::printf("pixel stage target: %s\n", hwy::TargetName(raster::detail::ShadingTarget(VectorTargets())));
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
