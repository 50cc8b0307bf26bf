// Internal to raster/: the rasterizer's draw path, shared by the files of its steps, in
// the manner of a software pipeline's setup and rasterisation files:
//   rasterizer.cpp  the entry points, a draw's top level (setup, vertex stage, assembly), Flush
//   assembly.cpp    primitives from vertices: triangles, lines, points, culling, fill modes
//   clipping.cpp    the clip and guard-band planes, user planes, clip space to screen
//   setup.cpp       screen primitives into edge functions and attribute planes, queued
//   tiles.cpp       binning into screen tiles and the tile pass (rasterisation and shading)
//   clear.cpp       clears, queued like primitives and done tile by tile
//
// Output does not depend on the thread count: every tile is drawn by one thread, in
// draw order, and every value a pixel reads is computed from the pixel's coordinates
// alone (never from where a span started).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "raster/pipeline.h"
#include "raster/raster.h"
#include "raster/vertex_processing.h"
#include "raster/worker_pool.h"

namespace raster::detail {

// Tiles are bands of 32 rows across the target (up to 1024 pixels wide). A band's rows are
// long runs in memory, which the hardware prefetcher streams in (a clear is the band's
// first touch of its lines in a frame), and a primitive is set up once per band rather
// than once per square tile it crosses, which drew the game's scene faster than 128 x 128
// tiles on two threads; its 19 bands at 800 x 600 share out over the threads.
constexpr int kTileShiftX = 10, kTileShiftY = 5;
constexpr int kTileWidth = 1 << kTileShiftX, kTileHeight = 1 << kTileShiftY;
// Screen positions are kept within this many pixels of the origin so that the 1/256
// pixel fixed-point edge functions and the float planes stay exact enough; clip-space
// guard-band planes keep clipped geometry inside.
constexpr float kGuardPixels = 8192.0f;
constexpr float kMinW = 1e-6f;
// The queue is flushed (even in the middle of a draw) before it holds more than this
// many primitives, plane floats or bin entries, which bounds its memory to a few tens of
// megabytes whatever the draws.
constexpr std::size_t kMaxQueuedPrims = 1u << 16;
constexpr std::size_t kMaxPlaneFloats = 1u << 21;
constexpr std::size_t kMaxBinEntries = 1u << 22;

inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {  // b > 0
    std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

inline std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

}  // namespace raster::detail

namespace raster {

struct Rasterizer::Impl {
    using ClipVertex = detail::ClipVertex;
    using ScreenVertex = detail::ScreenVertex;
    using Prim = detail::Prim;
    using DrawSetup = detail::DrawSetup;
    using VertexProcessor = detail::VertexProcessor;
    using WorkerPool = detail::WorkerPool;
    using ColorFill = detail::ColorFill;
    using DepthFill = detail::DepthFill;
    explicit Impl(const RasterOptions& o)
        : options(o), pool(o.threads), fillColor(detail::ColorFiller(o.vectorTargets)), fillDepth(detail::DepthFiller(o.vectorTargets)) {}

    void Draw(const PipelineState& state, const RenderTarget& target, PrimitiveType type,
              const VertexInput& input, std::uint32_t firstVertex, std::uint32_t vertexCount, const IndexInput* indices,
              std::int32_t baseVertex, std::uint32_t startIndex, std::uint32_t primitiveCount);
    void Flush();
    void RunVertexProgram(const VertexProgram& program, const PipelineState& state, const VertexInput& input,
                          std::uint32_t first, std::uint32_t count);
    void ClearRect(const Prim& prim, int x0, int y0, int x1, int y1);
    // Row y, x0 .. x1, of a depth buffer of another layout than D16.
    void ClearWords(const Prim& prim, int y, int x0, int x1);
    void Clear(const RenderTarget& target, const Viewport& viewport, std::uint32_t count, const Rect* rects,
               ClearBuffers buffers, std::uint32_t color, float z, std::uint32_t stencil);

    void BindTarget(const RenderTarget& target);
    void Assemble(PrimitiveType type, std::uint32_t primitiveCount, const std::uint32_t* indices);
    void Triangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c);
    void Line(const ClipVertex& a, const ClipVertex& b);
    void Point(const ClipVertex& a);
    ScreenVertex ToScreen(const ClipVertex& v) const;
    // Screen-space vertices: whether one is near enough to be used as given, and the
    // homogeneous form (w = 1/rhw) that the guard-band planes clip, and back.
    bool InsideGuard(const ClipVertex& v) const;
    ClipVertex Homogeneous(const ClipVertex& v) const;
    ScreenVertex FromHomogeneous(const ClipVertex& v) const;
    std::uint32_t OutCode(const ClipVertex& v) const;
    float PlaneDistance(int plane, const ClipVertex& v) const;
    int ClipPolygon(ClipVertex* polygon, int count, std::uint32_t planes, ClipVertex* scratch) const;
    void SetupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
    void SetupLine(const ScreenVertex& a, const ScreenVertex& b);
    void SetupPoint(const ScreenVertex& a, float size);
    float* NewPlanes(Prim& prim);
    bool QueueFull() const;
    void MakeRoom();
    void NoteColors(const ClipVertex* const* vertices, int count);
    void Bin(std::uint32_t primIndex);
    void DrawTile(int tile);
    void RasterTriangle(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1);
    void RasterLine(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1);

    RasterOptions options;
    WorkerPool pool;
    // Clears, on the pixel stage's target.
    ColorFill fillColor;
    DepthFill fillDepth;
    // The queued frame: draws, their primitives, the planes and the tile bins.
    RenderTarget binTarget{};
    bool bound = false;
    int tilesX = 0, tilesY = 0;
    std::vector<DrawSetup> draws;
    std::vector<Prim> prims;
    std::vector<float> planePool;
    std::vector<std::vector<std::uint32_t>> bins;
    std::size_t binEntries = 0;
    // The draw being assembled.
    VertexProcessor vertexProcessor;
    const DrawSetup* draw = nullptr;
    std::uint32_t drawIndex = 0;
    bool pretransformed = false;
    FillMode fillMode = FillMode::Solid;
    CullMode cullMode = CullMode::None;
    bool flat = false;
    bool lastPixel = true;
    float pointSizeMin = 0.0f, pointSizeMax = kMaxPointSize;
    bool pointSprite = false;
    float guardX = 1.0f, guardY = 1.0f;
    // The fixed clip planes, then the enabled user planes in clip space.
    int clipPlaneCount = 7;
    float userPlanes[kMaxClipPlanes][4] = {};
    void SetUserPlanes(const PipelineState& state);
    float vpX = 0, vpY = 0, vpHalfW = 0, vpHalfH = 0, vpMinZ = 0, vpScaleZ = 1;
    int attrCount = 4;
    // Whether the primitive being set up has one diffuse and specular colour throughout.
    bool constantColor = false;
    std::uint32_t constantDiffuse = 0, constantSpecular = 0;
    std::vector<ClipVertex> vertices;
    std::vector<std::uint32_t> indexScratch;
};

}  // namespace raster
