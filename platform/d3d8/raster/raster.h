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
    // Optional: each row and the next interleaved, texel (x, y) then (x, y + 1), wrapping at
    // the last row, and column 0 repeated after the last column: row pair y starts at
    // 2 * y * (pitch + 1), and the 16 bytes at 2 * (y * (pitch + 1) + x) hold the 2 x 2
    // footprint of texel (x, y) with wrapping (BuildRowPairs). Bilinear lookups that wrap
    // read one 16-byte entry instead of two rows; null when the level has none.
    const std::uint32_t* rowPairs = nullptr;
    // Volume levels: the number of slices, and the distance from one slice to the next in
    // texels (slice z starts at texels + z * slicePitch).
    int depth = 1;
    std::ptrdiff_t slicePitch = 0;
};

// What a texture's coordinates address: a plane (u, v), a volume (u, v, w) or the six
// faces of a cube, chosen by the direction (x, y, z).
enum class TextureKind : std::uint8_t { Plane, Volume, Cube };

// A texture as the sampler sees it (the device's 32-bit copies of its levels).
struct SamplerTexture {
    static constexpr int kMaxLevels = 16;
    int levelCount = 0;
    SamplerLevel levels[kMaxLevels];
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
    D3DMATRIX textureTransform[D3DMAXTEXTURESTAGES] = {};  // D3DTS_TEXTURE0..7
};

// Fills the render and stage states with the platform's defaults.
void SetDefaultStates(PipelineState& state);

// The render target (X8R8G8B8 or A8R8G8B8) and the optional 16-bit depth buffer.
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
};

class Rasterizer {
public:
    // threads = 0 takes the number of cores. Output does not depend on the thread count.
    explicit Rasterizer(int threads = 0);
    explicit Rasterizer(const RasterOptions& options);
    ~Rasterizer();
    Rasterizer(const Rasterizer&) = delete;
    Rasterizer& operator=(const Rasterizer&) = delete;

    // Clears the given rectangles (all of the viewport when count is 0) of the target
    // and/or depth buffer, clipped to the viewport. Like a draw, the clear may be deferred
    // until Flush.
    void Clear(const RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects,
               DWORD flags, D3DCOLOR color, float z);

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

// The interleaved rows of a level (see SamplerLevel::rowPairs): RowPairTexels(pitch,
// height) = 2 * (pitch + 1) * height texels, about twice the level. The vector pixel stage
// reads them for levels whose sizes are powers of two; RowPairsPay says whether it runs on
// this processor. The device builds them for textures of up to
// kMaxRowPairTexels texels in their largest level.
constexpr std::size_t kMaxRowPairTexels = 1024 * 1024;
constexpr std::size_t RowPairTexels(int pitch, int height) {
    return 2 * (static_cast<std::size_t>(pitch) + 1) * static_cast<std::size_t>(height);
}
void BuildRowPairs(const std::uint32_t* texels, int width, int height, int pitch, std::uint32_t* rowPairs);
bool RowPairsPay();

}  // namespace raster
