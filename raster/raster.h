// The software graphics processor under the Direct3D 8 runtime: what the runtime hands
// over for a draw, in raster's own types, and the entry points it calls. The runtime
// validates every argument (ranges, buffer sizes, formats) and translates its states
// (raster/state.h) before it calls in; the rasterizer asserts.
//
// Ownership and timing: Draw and DrawIndexed read the vertices and indices during the
// call and keep copies of what they need (transformed vertices and the state snapshot),
// so buffers may change as soon as they return. Rasterisation may be deferred: the render
// target, the depth buffer and every texture referenced by a queued draw must stay
// unchanged until Flush. The device calls Flush before Present, before a lock of the
// render target or depth buffer, and before it changes or frees a sampler texture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "raster/state.h"

namespace raster {

// A 4x4 matrix for row vectors: a point p becomes p m.
struct Matrix {
    float m[4][4];
};
struct Vector3 {
    float x, y, z;
};
struct ColorValue {
    float r, g, b, a;
};

// The viewport in target pixels, and the depth range it maps clip z 0..1 onto.
struct Viewport {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
    float minZ = 0.0f, maxZ = 1.0f;
};

// A rectangle of target pixels: x1 <= x < x2, y1 <= y < y2.
struct Rect {
    std::int32_t x1, y1, x2, y2;
};

struct Material {
    ColorValue diffuse, ambient, specular, emissive;
    float power;  // the specular exponent
};

enum class LightType : std::uint8_t { Point, Spot, Directional };
// A light as set, in world space; theta and phi are the spot's inner and outer cone angles.
struct Light {
    LightType type = LightType::Directional;
    ColorValue diffuse, specular, ambient;
    Vector3 position, direction;
    float range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};

enum class PrimitiveType : std::uint8_t { PointList, LineList, LineStrip, TriangleList, TriangleStrip, TriangleFan };

// Where the elements of a vertex lie, as byte offsets from its start (-1: absent).
struct VertexLayout {
    bool pretransformed = false;  // screen x, y, z and 1/w instead of a position to transform
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    int texCount = 0;
    int texcoord[8] = {};
    int texcoordFloats[8] = {};  // 1 to 4
    int size = 0;                // bytes of one vertex
};

// One mip level in the sampler's format: 32-bit A8R8G8B8, row by row.
struct SamplerLevel {
    const std::uint32_t* texels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;  // in texels
    // Volume levels: the number of slices, and the distance from one slice to the next in
    // texels (slice z starts at texels + z * slicePitch).
    int depth = 1;
    std::ptrdiff_t slicePitch = 0;
};


namespace detail {
struct SamplerCopiesState;
}

// The rasterizer's own copies of a texture's levels, in layouts its lookups read faster,
// made at the first draw that wants them and kept until the texture changes. A copy of
// the texture starts without them.
class SamplerCopies {
public:
    SamplerCopies();
    ~SamplerCopies();
    SamplerCopies(const SamplerCopies&);
    SamplerCopies& operator=(const SamplerCopies&);
    // The texels changed: the copies are made again when next wanted. (A change of the
    // levels' sizes or addresses is noticed without this.)
    void Changed();
    detail::SamplerCopiesState& State() const { return *state_; }

private:
    std::unique_ptr<detail::SamplerCopiesState> state_;
};

// What a texture's coordinates address: a plane (u, v), a volume (u, v, w) or the six
// faces of a cube, chosen by the direction (x, y, z).
enum class TextureKind : std::uint8_t { Plane, Volume, Cube };

// A texture as the sampler sees it (the device's 32-bit copies of its levels). Whoever
// changes its texels calls copies.Changed() afterwards, at a time when no queued draw
// reads it (after Flush, as for any change).
struct SamplerTexture {
    static constexpr int kMaxLevels = 16;
    int levelCount = 0;
    SamplerLevel levels[kMaxLevels];
    mutable SamplerCopies copies;
    TextureKind kind = TextureKind::Plane;
    // Cube: the levels of each face in the order +x, -x, +y, -y, +z, -z,
    // levelCount of them, as square as levels; levels holds face 0 again.
    const SamplerLevel* faces[6] = {};
};

// Everything a draw reads, copied at the draw: the translated states, the textures, the
// transforms, the lights and the vertex layout.
struct PipelineState {
    DrawState states;
    const SamplerTexture* texture[kMaxStages] = {};  // null: no texture bound
    Matrix world = {};
    Matrix view = {};
    Matrix projection = {};
    Viewport viewport;
    Material material = {};
    int lightCount = 0;  // the enabled lights, in index order
    Light lights[kMaxLights] = {};
    VertexLayout vertex;  // of the stream; vertex processing reads only what it names
    // User clip planes (a, b, c, d) in world space, enabled by the bits of
    // states.clipPlanes: a world point keeps a x + b y + c z + d >= 0. They clip what the
    // vertex stage transforms, not pretransformed vertices.
    float clipPlanes[kMaxClipPlanes][4] = {};
    Matrix textureTransform[kMaxStages] = {};  // each stage's coordinate transform
    // With states.vertexProgram: the input's vertices are rows of floats (stride bytes, a
    // multiple of 4), register v# the four floats at programInputs[v] in the row (-1: not
    // loaded, reads (0, 0, 0, 1)); programConstants the 96 constants c0..c95.
    int programInputs[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    const float (*programConstants)[4] = nullptr;
};

// How a depth buffer's word holds depth and stencil: depth in the high depthBits bits,
// stencil in the low stencilBits bits, any bits between them unused (written as 0).
struct DepthStencilLayout {
    int wordBytes = 2;  // 2 or 4
    int depthBits = 16;
    int stencilBits = 0;
    bool operator==(const DepthStencilLayout&) const = default;
};

// The render target (32-bit, alpha in the top byte) and the optional depth buffer: 16-bit
// depth values in depth, or the words of another layout in depthStencil.
struct RenderTarget {
    std::uint32_t* color = nullptr;
    int width = 0;
    int height = 0;
    int colorPitch = 0;  // in pixels
    std::uint16_t* depth = nullptr;
    int depthPitch = 0;  // in depth values
    // The alpha channel is stored and read by the DESTALPHA factors. Otherwise the top
    // byte is written as 0xFF and destination alpha reads as 1.
    bool hasAlpha = false;
    // A depth buffer of another layout than 16 bits of depth: its words (16 or 32 bits,
    // see DepthStencilLayout), depthPitch counting words; depth is then null.
    void* depthStencil = nullptr;
    DepthStencilLayout depthLayout;
    bool operator==(const RenderTarget&) const = default;
};

struct VertexInput {
    const std::uint8_t* data = nullptr;  // vertex 0
    std::size_t size = 0;                // bytes available from data
    std::uint32_t stride = 0;
};

struct IndexInput {
    const void* data = nullptr;  // index 0 of the buffer
    std::size_t count = 0;       // indices available
    bool is32 = false;
};

// Number of vertices a primitive count needs for the type.
std::uint32_t VertexCountFor(PrimitiveType type, std::uint32_t primitiveCount);

// Which buffers a clear writes.
struct ClearBuffers {
    bool color = false;
    bool depth = false;
    bool stencil = false;
};

// How a rasterizer works; the output does not depend on any of it, except that the plain
// reference shading may differ from the others by a step in some pixels.
struct RasterOptions {
    int threads = 0;  // 0 takes the number of cores
    // The vector targets the pixel stage may run, as Highway target bits (HWY_AVX2 ...):
    // the best of them this processor has is taken, the portable fallback when none is.
    std::int64_t vectorTargets = -1;
    bool referenceShading = false;   // the plain pixel-by-pixel path instead (tests)
    bool fixedStateShading = true;   // the rows functions specialised to common draws
    bool interleavedRows = true;     // bilinear lookups that wrap read interleaved copies of the rows
};

class Rasterizer {
public:
    // threads = 0 takes the number of cores. Output does not depend on the thread count.
    explicit Rasterizer(int threads = 0);
    explicit Rasterizer(const RasterOptions& options);
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Clears the given rectangles (all of the viewport when count is 0) of the target,
    // depth and/or stencil, clipped to the viewport; a stencil clear without stencil bits
    // in the depth buffer clears nothing. color is A8R8G8B8. Like a draw, the clear may be
    // deferred until Flush.
    void Clear(const RenderTarget& target, const Viewport& viewport, std::uint32_t count, const Rect* rects,
               ClearBuffers buffers, std::uint32_t color, float z, std::uint32_t stencil = 0);

    // Vertices startVertex .. startVertex + VertexCountFor(type, count) - 1 of input.
    void Draw(const PipelineState& state, const RenderTarget& target, PrimitiveType type, const VertexInput& input,
              std::uint32_t startVertex, std::uint32_t primitiveCount);

    // Index i of the draw reads vertex baseVertex + indices[startIndex + i].
    void DrawIndexed(const PipelineState& state, const RenderTarget& target, PrimitiveType type,
                     const VertexInput& input, std::int32_t baseVertex, const IndexInput& indices,
                     std::uint32_t startIndex, std::uint32_t primitiveCount);

    // Finishes every queued draw.
    void Flush();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace raster
