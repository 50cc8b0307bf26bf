// The fixed-function pipeline behind the software device: what the device hands over for
// a draw, and the entry points it calls. The device validates every argument (ranges,
// buffer sizes, formats) before it calls in; the rasterizer asserts.
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

#include "platform/d3d8/d3d8types.h"

namespace raster {

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
    // Cube: the levels of each face in D3DCUBEMAP_FACES order (+x, -x, +y, -y, +z, -z),
    // levelCount of them, as square as levels; levels holds face 0 again.
    const SamplerLevel* faces[6] = {};
};

// Everything a draw reads from the device, copied at the draw.
struct PipelineState {
    DWORD renderState[D3DRS_COUNT] = {};
    DWORD stageState[D3DMAXTEXTURESTAGES][D3DTSS_COUNT] = {};
    const SamplerTexture* texture[D3DMAXTEXTURESTAGES] = {};  // null: no texture bound
    D3DMATRIX world = {};
    D3DMATRIX view = {};
    D3DMATRIX projection = {};
    D3DVIEWPORT8 viewport = {};
    D3DMATERIAL8 material = {};
    static constexpr int kMaxLights = 8;
    int lightCount = 0;  // the enabled lights, in index order
    D3DLIGHT8 lights[kMaxLights] = {};
    DWORD fvf = 0;  // the vertex format of the stream
    // User clip planes (a, b, c, d) in world space, enabled by the bits of
    // D3DRS_CLIPPLANEENABLE: a world point keeps a x + b y + c z + d >= 0. They clip
    // what the vertex stage transforms, not pretransformed vertices.
    static constexpr int kMaxClipPlanes = 6;
    float clipPlanes[kMaxClipPlanes][4] = {};
    D3DMATRIX textureTransform[D3DMAXTEXTURESTAGES] = {};  // D3DTS_TEXTURE0..7
};

// Fills the render and stage states with the platform's defaults.
void SetDefaultStates(PipelineState& state);

// How a depth buffer's word holds depth and stencil: depth in the high depthBits bits,
// stencil in the low stencilBits bits, any bits between them unused (written as 0).
struct DepthStencilLayout {
    int wordBytes = 2;  // 2 or 4
    int depthBits = 16;
    int stencilBits = 0;
    bool operator==(const DepthStencilLayout&) const = default;
};
// The layout of a depth-stencil format the rasterizer draws with (D16, D15S1, D24S8,
// D24X8, D24X4S4); false for any other format.
bool DepthStencilLayoutOf(D3DFORMAT format, DepthStencilLayout& layout);

// The render target (X8R8G8B8 or A8R8G8B8) and the optional depth buffer: 16-bit depth
// values (D16) in depth, or the words of another layout in depthStencil.
struct RenderTarget {
    std::uint32_t* color = nullptr;
    int width = 0;
    int height = 0;
    int colorPitch = 0;  // in pixels
    std::uint16_t* depth = nullptr;
    int depthPitch = 0;  // in depth values
    // A8R8G8B8: the alpha channel is stored and read by the DESTALPHA factors. Otherwise
    // (X8R8G8B8) the top byte is written as 0xFF and destination alpha reads as 1.
    bool hasAlpha = false;
    // A depth buffer of another format than D16: its words (16 or 32 bits, see
    // DepthStencilLayout), depthPitch counting words; depth is then null.
    void* depthStencil = nullptr;
    DepthStencilLayout depthLayout;
    bool operator==(const RenderTarget&) const = default;
};

struct VertexInput {
    const std::uint8_t* data = nullptr;  // vertex 0
    std::size_t size = 0;                // bytes available from data
    UINT stride = 0;
};

struct IndexInput {
    const void* data = nullptr;  // index 0 of the buffer
    std::size_t count = 0;       // indices available
    bool is32 = false;
};

// Number of vertices a primitive count needs for the type (0 for an unknown type).
UINT VertexCountFor(D3DPRIMITIVETYPE type, UINT primitiveCount);

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
    // depth and/or stencil (D3DCLEAR_*), clipped to the viewport; stencil flags without
    // stencil bits in the depth buffer clear nothing. Like a draw, the clear may be
    // deferred until Flush.
    void Clear(const RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects,
               DWORD flags, D3DCOLOR color, float z, DWORD stencil = 0);

    // Vertices startVertex .. startVertex + VertexCountFor(type, count) - 1 of input.
    void Draw(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
              const VertexInput& input, UINT startVertex, UINT primitiveCount);

    // Index i of the draw reads vertex baseVertex + indices[startIndex + i].
    void DrawIndexed(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
                     const VertexInput& input, INT baseVertex, const IndexInput& indices, UINT startIndex,
                     UINT primitiveCount);

    // Finishes every queued draw.
    void Flush();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Texel unpackers of the sampler: a level of the given format (DXT in 4x4 blocks) into
// A8R8G8B8. Returns false for a format the sampler does not read.
bool SamplerReadsFormat(D3DFORMAT format);
bool UnpackLevel(D3DFORMAT format, const void* source, int sourcePitch, int width, int height,
                 std::uint32_t* destination, int destinationPitch);

}  // namespace raster
