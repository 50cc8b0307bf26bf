// Shared helpers of the rasterizer tests: a small target with depth, vertex builders,
// matrices, and golden-image comparison (PNG files under tests/raster/golden). The tests
// set states in the platform's values, as applications do, and draw through the
// runtime's translation into raster's types (platform/d3d8/state_translation.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/state_translation.h"
#include "raster/raster.h"

namespace rastertest {

struct Target {
    Target(int w, int h) : width(w), height(h), color(static_cast<std::size_t>(w) * h), depth(static_cast<std::size_t>(w) * h) {}
    raster::RenderTarget View(bool withDepth = true) {
        raster::RenderTarget t;
        t.color = color.data();
        t.width = width;
        t.height = height;
        t.colorPitch = width;
        t.depth = withDepth ? depth.data() : nullptr;
        t.depthPitch = width;
        t.hasAlpha = hasAlpha;
        return t;
    }
    std::uint32_t At(int x, int y) const { return color[static_cast<std::size_t>(y) * width + x]; }
    int width, height;
    bool hasAlpha = false;  // A8R8G8B8 rather than X8R8G8B8
    std::vector<std::uint32_t> color;
    std::vector<std::uint16_t> depth;
};

D3DMATRIX Identity();
D3DMATRIX Translation(float x, float y, float z);
// Left-handed look-at and perspective projection (row vectors, depth 0..1).
D3DMATRIX LookAt(const float eye[3], const float at[3], const float up[3]);
D3DMATRIX Perspective(float fovY, float aspect, float zNear, float zFar);
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b);

// A draw's state in the platform's values: the runtime's records, and what the device
// adds at a draw (textures, enabled lights, the vertex format, texture transforms).
struct D3DState : d3d8::RuntimeStates {
    const raster::SamplerTexture* texture[D3DMAXTEXTURESTAGES] = {};  // null: no texture bound
    int lightCount = 0;
    D3DLIGHT8 lights[raster::kMaxLights] = {};
    DWORD fvf = 0;
    D3DMATRIX textureTransform[D3DMAXTEXTURESTAGES] = {};
};
// The platform's default render and stage states.
void SetDefaultStates(D3DState& state);
// The state as the device hands it to the rasterizer.
raster::PipelineState Translated(const D3DState& state);

// A rasterizer called with the platform's values, translated at each call.
class Rasterizer {
public:
    explicit Rasterizer(int threads = 0) : rasterizer_(threads) {}
    explicit Rasterizer(const raster::RasterOptions& options) : rasterizer_(options) {}
    void Clear(const raster::RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects,
               DWORD flags, D3DCOLOR color, float z, DWORD stencil = 0);
    void Draw(const D3DState& state, const raster::RenderTarget& target, D3DPRIMITIVETYPE type,
              const raster::VertexInput& input, UINT startVertex, UINT primitiveCount);
    void DrawIndexed(const D3DState& state, const raster::RenderTarget& target, D3DPRIMITIVETYPE type,
                     const raster::VertexInput& input, INT baseVertex, const raster::IndexInput& indices,
                     UINT startIndex, UINT primitiveCount);
    void Flush() { rasterizer_.Flush(); }

private:
    raster::Rasterizer rasterizer_;
};

// Default states, identity transforms, lighting off, culling off, a full viewport.
D3DState BasicState(int width, int height, DWORD fvf);

// Screen-space vertex: x, y, z, rhw, diffuse, u, v.
struct ScreenVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Object-space vertex: position, normal, diffuse, u, v.
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    std::uint32_t diffuse;
    float u, v;
};
constexpr DWORD kMeshFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;

template <typename V>
raster::VertexInput Input(const std::vector<V>& vertices) {
    raster::VertexInput in;
    in.data = reinterpret_cast<const std::uint8_t*>(vertices.data());
    in.size = vertices.size() * sizeof(V);
    in.stride = sizeof(V);
    return in;
}

// A texture whose levels are owned by the object.
struct Texture {
    Texture(int width, int height, int levels);
    std::vector<std::vector<std::uint32_t>> storage;
    raster::SamplerTexture sampler;
    std::uint32_t& At(int level, int x, int y) {
        return storage[static_cast<std::size_t>(level)][static_cast<std::size_t>(y) * sampler.levels[level].width + x];
    }
};
// Checkerboard of cells of the given size; each mip level gets its own tint so that the
// level a pixel reads is visible.
Texture Checker(int size, int cell, bool tintLevels);

// Compares the target with tests/raster/golden/<name>.png: every channel within
// tolerance. With TOLVANE_UPDATE_GOLDEN=1 the golden is written instead.
void ExpectGolden(const Target& target, const std::string& name, int tolerance = 2);

inline DWORD FloatBits(float f) {
    DWORD d;
    static_assert(sizeof d == sizeof f);
    __builtin_memcpy(&d, &f, sizeof d);
    return d;
}

}  // namespace rastertest
