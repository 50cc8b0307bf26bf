// The draw path: primitive assembly, clipping, triangle/line/point setup, binning into
// screen tiles, and the tile pass that runs at Flush (queued clears included).
//
// Output does not depend on the thread count: every tile is drawn by one thread, in
// draw order, and every value a pixel reads is computed from the pixel's coordinates
// alone (never from where a span started).
#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "raster/pipeline.h"
#include "raster/raster.h"
#include "raster/vertex_processing.h"
#include "raster/worker_pool.h"

namespace raster {

using namespace detail;

namespace {

// Asks for the cache line at p ahead of writes to it. An asm statement: the compiler
// deletes a loop of prefetch builtins as a loop without effects.
inline void PrefetchForWrite(const void* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(p)));
#elif defined(__aarch64__)
    asm volatile("prfm pstl1keep, %0" : : "Q"(*static_cast<const char*>(p)));
#else
    (void)p;
#endif
}

// Tiles are bands of 32 rows across the target (up to 1024 pixels wide). A band's rows are
// long runs in memory, which the hardware prefetcher streams in (a clear is the band's
// first touch of its lines in a frame), and a primitive is set up once per band rather
// than once per square tile it crosses. Against 128 x 128 tiles the game's scene at
// 800 x 600 drew 11-28% faster on two threads; its 19 bands share out over the threads.
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

float Bits(DWORD value) {
    float f = 0.0f;
    std::memcpy(&f, &value, sizeof f);
    return f;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {  // b > 0
    std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }

}  // namespace

struct Rasterizer::Impl {
    explicit Impl(const RasterOptions& o)
        : options(o), pool(o.threads), fillColor(ColorFiller(o.vectorTargets)), fillDepth(DepthFiller(o.vectorTargets)) {}

    void Draw(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
              const VertexInput& input, UINT firstVertex, UINT vertexCount, const IndexInput* indices,
              INT baseVertex, UINT startIndex, UINT primitiveCount);
    void Flush();
    void ClearRect(const Prim& prim, int x0, int y0, int x1, int y1);
    // Row y, x0 .. x1, of a depth buffer of another layout than D16.
    void ClearWords(const Prim& prim, int y, int x0, int x1);
    void Clear(const RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects,
               DWORD flags, D3DCOLOR color, float z, DWORD stencil);

    void BindTarget(const RenderTarget& target);
    void Assemble(D3DPRIMITIVETYPE type, UINT primitiveCount, const std::uint32_t* indices);
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
    void SetupPoint(const ScreenVertex& a);
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
    DWORD fillMode = D3DFILL_SOLID, cullMode = D3DCULL_NONE;
    bool flat = false;
    bool lastPixel = true;
    float pointSize = 1.0f;
    float guardX = 1.0f, guardY = 1.0f;
    // The fixed clip planes, then the enabled user planes in clip space.
    int clipPlaneCount = 7;
    float userPlanes[PipelineState::kMaxClipPlanes][4] = {};
    void SetUserPlanes(const PipelineState& state);
    float vpX = 0, vpY = 0, vpHalfW = 0, vpHalfH = 0, vpMinZ = 0, vpScaleZ = 1;
    int attrCount = 4;
    // Whether the primitive being set up has one diffuse and specular colour throughout.
    bool constantColor = false;
    std::uint32_t constantDiffuse = 0, constantSpecular = 0;
    std::vector<ClipVertex> vertices;
    std::vector<std::uint32_t> indexScratch;
};

Rasterizer::Rasterizer(int threads) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    RasterOptions options;
    options.threads = threads;
    impl_ = std::make_unique<Impl>(options);
}

Rasterizer::Rasterizer(const RasterOptions& options) {
    RasterOptions o = options;
    if (o.threads <= 0) o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    impl_ = std::make_unique<Impl>(o);
}

Rasterizer::~Rasterizer() { Flush(); }

void Rasterizer::Clear(const RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count, const D3DRECT* rects,
                       DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    impl_->Clear(target, viewport, count, rects, flags, color, z, stencil);
}

void Rasterizer::Draw(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
                      const VertexInput& input, UINT startVertex, UINT primitiveCount) {
    UINT vertexCount = VertexCountFor(type, primitiveCount);
    if (vertexCount == 0) return;
    impl_->Draw(state, target, type, input, startVertex, vertexCount, nullptr, 0, 0, primitiveCount);
}

void Rasterizer::DrawIndexed(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
                             const VertexInput& input, INT baseVertex, const IndexInput& indices, UINT startIndex,
                             UINT primitiveCount) {
    UINT indexCount = VertexCountFor(type, primitiveCount);
    if (indexCount == 0) return;
    assert(std::size_t{startIndex} + indexCount <= indices.count);
    impl_->Draw(state, target, type, input, 0, indexCount, &indices, baseVertex, startIndex, primitiveCount);
}

void Rasterizer::Flush() { impl_->Flush(); }

void Rasterizer::Impl::BindTarget(const RenderTarget& target) {
    // Every field: memory a freed buffer leaves may come back as another layout.
    if (bound && binTarget == target)
        return;
    Flush();
    binTarget = target;
    bound = true;
    tilesX = (target.width + kTileWidth - 1) >> kTileShiftX;
    tilesY = (target.height + kTileHeight - 1) >> kTileShiftY;
    bins.resize(static_cast<std::size_t>(tilesX) * tilesY);
}

void Rasterizer::Impl::Draw(const PipelineState& state, const RenderTarget& target, D3DPRIMITIVETYPE type,
                            const VertexInput& input, UINT firstVertex, UINT vertexCount, const IndexInput* indices,
                            INT baseVertex, UINT startIndex, UINT primitiveCount) {
    assert(target.color != nullptr && target.width > 0 && target.height > 0);
    BindTarget(target);
    if (QueueFull()) Flush();

    draws.emplace_back();
    BuildDrawSetup(state, target, draws.back(), options);
    draw = &draws.back();
    drawIndex = static_cast<std::uint32_t>(draws.size() - 1);
    if (draw->clipX0 >= draw->clipX1 || draw->clipY0 >= draw->clipY1) return;

    const DWORD* rs = state.renderState;
    fillMode = rs[D3DRS_FILLMODE];
    cullMode = rs[D3DRS_CULLMODE];
    flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    lastPixel = rs[D3DRS_LASTPIXEL] != FALSE;
    pointSize = std::clamp(Bits(rs[D3DRS_POINTSIZE]), std::max(Bits(rs[D3DRS_POINTSIZE_MIN]), 0.0f),
                           std::max(Bits(rs[D3DRS_POINTSIZE_MAX]), 0.0f));
    if (!(pointSize > 0.0f)) pointSize = 1.0f;
    attrCount = draw->layout.count;
    const D3DVIEWPORT8& vp = state.viewport;
    vpX = static_cast<float>(vp.X);
    vpY = static_cast<float>(vp.Y);
    vpHalfW = static_cast<float>(vp.Width) * 0.5f;
    vpHalfH = static_cast<float>(vp.Height) * 0.5f;
    vpMinZ = vp.MinZ;
    vpScaleZ = vp.MaxZ - vp.MinZ;
    guardX = std::max(1.0f, (kGuardPixels - static_cast<float>(vp.X)) / std::max(vpHalfW, 0.5f) - 1.0f);
    guardY = std::max(1.0f, (kGuardPixels - static_cast<float>(vp.Y)) / std::max(vpHalfH, 0.5f) - 1.0f);

    vertexProcessor.Prepare(state, draw->layout);
    pretransformed = vertexProcessor.Pretransformed();
    SetUserPlanes(state);

    if (!indices) {
        vertices.resize(vertexCount);
        vertexProcessor.Run(input, firstVertex, vertexCount, vertices.data());
        Assemble(type, primitiveCount, nullptr);
        return;
    }
    // Only the vertices the indices reach are processed, each once.
    indexScratch.resize(vertexCount);
    std::int64_t lowest = INT64_MAX, highest = INT64_MIN;
    for (UINT i = 0; i < vertexCount; ++i) {
        std::size_t at = std::size_t{startIndex} + i;
        std::int64_t index = indices->is32 ? static_cast<const std::uint32_t*>(indices->data)[at]
                                           : static_cast<const std::uint16_t*>(indices->data)[at];
        index += baseVertex;
        assert(index >= 0);
        lowest = std::min(lowest, index);
        highest = std::max(highest, index);
        indexScratch[i] = static_cast<std::uint32_t>(index);
    }
    for (std::uint32_t& index : indexScratch) index -= static_cast<std::uint32_t>(lowest);
    UINT span = static_cast<UINT>(highest - lowest + 1);
    vertices.resize(span);
    vertexProcessor.Run(input, static_cast<UINT>(lowest), span, vertices.data());
    Assemble(type, primitiveCount, indexScratch.data());
}

void Rasterizer::Impl::Assemble(D3DPRIMITIVETYPE type, UINT count, const std::uint32_t* indices) {
    auto at = [&](UINT i) -> const ClipVertex& { return vertices[indices ? indices[i] : i]; };
    switch (type) {
        case D3DPT_POINTLIST:
            for (UINT i = 0; i < count; ++i) Point(at(i));
            return;
        case D3DPT_LINELIST:
            for (UINT i = 0; i < count; ++i) Line(at(2 * i), at(2 * i + 1));
            return;
        case D3DPT_LINESTRIP:
            for (UINT i = 0; i < count; ++i) Line(at(i), at(i + 1));
            return;
        case D3DPT_TRIANGLELIST:
            for (UINT i = 0; i < count; ++i) Triangle(at(3 * i), at(3 * i + 1), at(3 * i + 2));
            return;
        case D3DPT_TRIANGLESTRIP:
            // Odd triangles swap their last two vertices to keep one winding; the first
            // vertex (the flat-shading colour) stays the strip's vertex i.
            for (UINT i = 0; i < count; ++i) {
                if (i & 1) Triangle(at(i), at(i + 2), at(i + 1));
                else Triangle(at(i), at(i + 1), at(i + 2));
            }
            return;
        case D3DPT_TRIANGLEFAN:
            // Rotated so that the flat-shading colour comes from vertex i + 1; the
            // winding is that of (0, i + 1, i + 2).
            for (UINT i = 0; i < count; ++i) Triangle(at(i + 1), at(i + 2), at(0));
            return;
    }
    assert(false && "primitive type validated by the device");
}

float Rasterizer::Impl::PlaneDistance(int plane, const ClipVertex& v) const {
    const float* p = v.pos;
    switch (plane) {
        case 0: return p[2];                // near: z >= 0
        case 1: return p[3] - p[2];         // far: z <= w
        case 2: return p[0] + guardX * p[3];  // guard band left, right, bottom, top
        case 3: return guardX * p[3] - p[0];
        case 4: return p[1] + guardY * p[3];
        case 5: return guardY * p[3] - p[1];
        case 6: return p[3] - kMinW;        // w > 0, against degenerate projections
        default: {
            const float* u = userPlanes[plane - 7];
            return u[0] * p[0] + u[1] * p[1] + u[2] * p[2] + u[3] * p[3];
        }
    }
}

namespace {

// The inverse of a matrix (row vectors, as the platform's); false when it has none.
bool Invert(const D3DMATRIX& matrix, double inverse[4][4]) {
    double a[4][8];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            a[i][j] = matrix.m[i][j];
            a[i][j + 4] = i == j ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(a[r][col]) > std::abs(a[pivot][col])) pivot = r;
        if (!(std::abs(a[pivot][col]) > 1e-30)) return false;
        std::swap(a[col], a[pivot]);
        const double scale = 1.0 / a[col][col];
        for (double& v : a[col]) v *= scale;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const double f = a[r][col];
            for (int j = 0; j < 8; ++j) a[r][j] -= f * a[col][j];
        }
    }
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) inverse[i][j] = a[i][j + 4];
    return true;
}

D3DMATRIX Product(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

}  // namespace

// A world point x (row vector) lies at clip position x M, M = view projection; the plane
// p keeps x . p >= 0, which in clip space is c . (M^-1 p).
void Rasterizer::Impl::SetUserPlanes(const PipelineState& state) {
    clipPlaneCount = 7;
    const DWORD enabled = state.renderState[D3DRS_CLIPPLANEENABLE] & ((1u << PipelineState::kMaxClipPlanes) - 1);
    if (enabled == 0 || pretransformed) return;
    double inverse[4][4];
    // A projection without an inverse flattens everything; such a draw is left unclipped.
    if (!Invert(Product(state.view, state.projection), inverse)) return;
    for (int plane = 0; plane < PipelineState::kMaxClipPlanes; ++plane) {
        if ((enabled & (1u << plane)) == 0) continue;
        const float* p = state.clipPlanes[plane];
        float* u = userPlanes[clipPlaneCount - 7];
        for (int i = 0; i < 4; ++i)
            u[i] = static_cast<float>(inverse[i][0] * p[0] + inverse[i][1] * p[1] + inverse[i][2] * p[2] +
                                      inverse[i][3] * p[3]);
        ++clipPlaneCount;
    }
}

std::uint32_t Rasterizer::Impl::OutCode(const ClipVertex& v) const {
    std::uint32_t code = 0;
    for (int plane = 0; plane < clipPlaneCount; ++plane)
        if (!(PlaneDistance(plane, v) >= 0.0f)) code |= 1u << plane;
    return code;
}

// Sutherland-Hodgman against each plane in planes; polygon has room for 16 vertices (a
// triangle gains at most one vertex per plane, and there are at most 13).
int Rasterizer::Impl::ClipPolygon(ClipVertex* polygon, int count, std::uint32_t planes, ClipVertex* scratch) const {
    ClipVertex* in = polygon;
    ClipVertex* out = scratch;
    for (int plane = 0; plane < clipPlaneCount && count > 0; ++plane) {
        if (!(planes & (1u << plane))) continue;
        int produced = 0;
        for (int i = 0; i < count; ++i) {
            const ClipVertex& a = in[i];
            const ClipVertex& b = in[(i + 1) % count];
            float da = PlaneDistance(plane, a), db = PlaneDistance(plane, b);
            bool aIn = da >= 0.0f, bIn = db >= 0.0f;
            if (aIn) out[produced++] = a;
            if (aIn != bIn) {
                float t = da / (da - db);
                ClipVertex& v = out[produced++];
                for (int k = 0; k < 4; ++k) v.pos[k] = a.pos[k] + t * (b.pos[k] - a.pos[k]);
                for (int k = 0; k < attrCount; ++k) v.attr[k] = a.attr[k] + t * (b.attr[k] - a.attr[k]);
            }
        }
        count = produced;
        std::swap(in, out);
    }
    if (in != polygon) std::copy(in, in + count, polygon);
    return count;
}

ScreenVertex Rasterizer::Impl::ToScreen(const ClipVertex& v) const {
    ScreenVertex s;
    if (pretransformed) {
        s.x = v.pos[0];
        s.y = v.pos[1];
        s.z = v.pos[2];
        s.q = v.pos[3];
    } else {
        float q = 1.0f / v.pos[3];
        s.x = vpX + (1.0f + v.pos[0] * q) * vpHalfW;
        s.y = vpY + (1.0f - v.pos[1] * q) * vpHalfH;
        s.z = vpMinZ + v.pos[2] * q * vpScaleZ;
        s.q = q;
    }
    for (int k = 0; k < attrCount; ++k) s.attr[k] = v.attr[k] * s.q;
    return s;
}

bool Rasterizer::Impl::InsideGuard(const ClipVertex& v) const {
    return std::abs(v.pos[0]) <= kGuardPixels && std::abs(v.pos[1]) <= kGuardPixels;
}

ClipVertex Rasterizer::Impl::Homogeneous(const ClipVertex& v) const {
    ClipVertex h = v;
    float rhw = v.pos[3];
    // A vertex without a positive 1/w gets a negative w, which the w plane removes.
    float w = rhw > 0.0f && std::isfinite(rhw) ? 1.0f / rhw : -1.0f;
    h.pos[0] = ((v.pos[0] - vpX) / vpHalfW - 1.0f) * w;
    h.pos[1] = (1.0f - (v.pos[1] - vpY) / vpHalfH) * w;
    h.pos[2] = v.pos[2] * w;
    h.pos[3] = w;
    return h;
}

ScreenVertex Rasterizer::Impl::FromHomogeneous(const ClipVertex& v) const {
    ScreenVertex s;
    float q = 1.0f / v.pos[3];
    s.x = vpX + (1.0f + v.pos[0] * q) * vpHalfW;
    s.y = vpY + (1.0f - v.pos[1] * q) * vpHalfH;
    s.z = v.pos[2] * q;
    s.q = q;
    for (int k = 0; k < attrCount; ++k) s.attr[k] = v.attr[k] * q;
    return s;
}

namespace {

bool UsableScreenVertex(const ScreenVertex& s) {
    return std::abs(s.x) <= kGuardPixels * 2 && std::abs(s.y) <= kGuardPixels * 2 && std::isfinite(s.z) &&
           s.q > 0.0f && std::isfinite(s.q);
}

// Signed doubled area of a screen polygon; positive when clockwise on screen (y down).
float PolygonArea(const ScreenVertex* v, int count) {
    float area = 0.0f;
    for (int i = 1; i + 1 < count; ++i)
        area += (v[i].x - v[0].x) * (v[i + 1].y - v[0].y) - (v[i + 1].x - v[0].x) * (v[i].y - v[0].y);
    return area;
}

}  // namespace

void Rasterizer::Impl::Triangle(const ClipVertex& a, const ClipVertex& b, const ClipVertex& c) {
    ClipVertex corners[3] = {a, b, c};
    if (flat) {
        // Flat shading: every vertex takes the colours of the first.
        const int colorFloats = draw->layout.specular >= 0 ? draw->layout.specular + 3 : 4;
        for (int v = 1; v < 3; ++v) std::memcpy(corners[v].attr, a.attr, sizeof(float) * colorFloats);
    }
    const ClipVertex* cornerList[3] = {&corners[0], &corners[1], &corners[2]};
    NoteColors(cornerList, 3);
    ClipVertex polygon[16];
    ClipVertex scratch[16];
    std::copy(corners, corners + 3, polygon);
    int count = 3;
    // Screen-space vertices far outside the target go through the guard-band planes
    // in homogeneous form; the others are used exactly as given.
    const bool homogeneous = pretransformed && !(InsideGuard(a) && InsideGuard(b) && InsideGuard(c));
    if (homogeneous)
        for (int i = 0; i < 3; ++i) polygon[i] = Homogeneous(polygon[i]);
    if (!pretransformed || homogeneous) {
        // Screen-space geometry is not clipped in depth.
        const std::uint32_t ignore = homogeneous ? 3u : 0u;
        std::uint32_t c0 = OutCode(polygon[0]) & ~ignore, c1 = OutCode(polygon[1]) & ~ignore, c2 = OutCode(polygon[2]) & ~ignore;
        if (c0 & c1 & c2) return;
        if (c0 | c1 | c2) count = ClipPolygon(polygon, 3, c0 | c1 | c2, scratch);
        if (count < 3) return;
    }
    ScreenVertex screen[16];
    for (int i = 0; i < count; ++i) {
        screen[i] = homogeneous ? FromHomogeneous(polygon[i]) : ToScreen(polygon[i]);
        if (!UsableScreenVertex(screen[i])) return;
    }
    float area = PolygonArea(screen, count);
    if (!(area != 0.0f)) return;
    if ((cullMode == D3DCULL_CW && area > 0.0f) || (cullMode == D3DCULL_CCW && area < 0.0f)) return;
    switch (fillMode) {
        case D3DFILL_POINT:
            for (const ClipVertex& corner : corners) Point(corner);
            return;
        case D3DFILL_WIREFRAME:
            // The triangle's own edges, each clipped as a line (no edges along the clip planes).
            Line(corners[0], corners[1]);
            Line(corners[1], corners[2]);
            Line(corners[2], corners[0]);
            return;
        default:
            for (int i = 1; i + 1 < count; ++i) SetupTriangle(screen[0], screen[i], screen[i + 1]);
            return;
    }
}

void Rasterizer::Impl::Line(const ClipVertex& a, const ClipVertex& b) {
    ClipVertex ends[2] = {a, b};
    if (flat) std::memcpy(ends[1].attr, a.attr, sizeof(float) * (draw->layout.specular >= 0 ? draw->layout.specular + 3 : 4));
    const bool homogeneous = pretransformed && !(InsideGuard(a) && InsideGuard(b));
    if (homogeneous) {
        ends[0] = Homogeneous(ends[0]);
        ends[1] = Homogeneous(ends[1]);
    }
    if (!pretransformed || homogeneous) {
        const std::uint32_t ignore = homogeneous ? 3u : 0u;
        std::uint32_t ca = OutCode(ends[0]) & ~ignore, cb = OutCode(ends[1]) & ~ignore;
        if (ca & cb) return;
        if (ca | cb) {
            // Parametric clipping of the segment against each plane it crosses.
            float t0 = 0.0f, t1 = 1.0f;
            for (int plane = 0; plane < clipPlaneCount; ++plane) {
                if (!((ca | cb) & (1u << plane))) continue;
                float da = PlaneDistance(plane, ends[0]), db = PlaneDistance(plane, ends[1]);
                float t = da / (da - db);
                if (da < 0.0f) t0 = std::max(t0, t);
                else t1 = std::min(t1, t);
            }
            if (!(t0 < t1)) return;
            ClipVertex clipped[2];
            for (int k = 0; k < 4; ++k) {
                float pa = ends[0].pos[k], pb = ends[1].pos[k];
                clipped[0].pos[k] = pa + t0 * (pb - pa);
                clipped[1].pos[k] = pa + t1 * (pb - pa);
            }
            for (int k = 0; k < attrCount; ++k) {
                float pa = ends[0].attr[k], pb = ends[1].attr[k];
                clipped[0].attr[k] = pa + t0 * (pb - pa);
                clipped[1].attr[k] = pa + t1 * (pb - pa);
            }
            ends[0] = clipped[0];
            ends[1] = clipped[1];
        }
    }
    const ClipVertex* endList[2] = {&ends[0], &ends[1]};
    NoteColors(endList, 2);
    ScreenVertex s0 = homogeneous ? FromHomogeneous(ends[0]) : ToScreen(ends[0]);
    ScreenVertex s1 = homogeneous ? FromHomogeneous(ends[1]) : ToScreen(ends[1]);
    if (!UsableScreenVertex(s0) || !UsableScreenVertex(s1)) return;
    SetupLine(s0, s1);
}

void Rasterizer::Impl::Point(const ClipVertex& a) {
    if (!pretransformed && OutCode(a) != 0) return;
    ScreenVertex s = ToScreen(a);
    if (!UsableScreenVertex(s)) return;
    const ClipVertex* one[1] = {&a};
    NoteColors(one, 1);
    SetupPoint(s);
}

namespace {

std::uint32_t ColorByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<std::uint32_t>(v * 255.0f + 0.5f);
}

}  // namespace

void Rasterizer::Impl::NoteColors(const ClipVertex* const* v, int count) {
    const int floats = draw->layout.specular >= 0 ? draw->layout.specular + 3 : 4;
    constantColor = true;
    for (int i = 1; i < count && constantColor; ++i)
        constantColor = std::memcmp(v[0]->attr, v[i]->attr, sizeof(float) * floats) == 0;
    if (!constantColor) return;
    const float* a = v[0]->attr;
    constantDiffuse = (ColorByte(a[3]) << 24) | (ColorByte(a[0]) << 16) | (ColorByte(a[1]) << 8) | ColorByte(a[2]);
    constantSpecular = kOpaqueAlpha;
    if (draw->layout.specular >= 0) {
        const float* sp = a + draw->layout.specular;
        constantSpecular |= (ColorByte(sp[0]) << 16) | (ColorByte(sp[1]) << 8) | ColorByte(sp[2]);
    }
}

bool Rasterizer::Impl::QueueFull() const {
    return prims.size() >= kMaxQueuedPrims || planePool.size() >= kMaxPlaneFloats || binEntries >= kMaxBinEntries;
}

// Flushes a full queue in the middle of a draw; the draw's setup is queued again.
void Rasterizer::Impl::MakeRoom() {
    if (!QueueFull()) return;
    DrawSetup current = *draw;
    Flush();
    draws.push_back(current);
    draw = &draws.back();
    drawIndex = 0;
}

float* Rasterizer::Impl::NewPlanes(Prim& prim) {
    MakeRoom();
    prim.constantColor = constantColor;
    prim.diffuse = constantDiffuse;
    prim.specular = constantSpecular;
    prim.draw = drawIndex;
    prim.planes = static_cast<std::uint32_t>(planePool.size());
    planePool.resize(planePool.size() + PlaneFloats(draw->layout));
    return planePool.data() + prim.planes;
}

void Rasterizer::Impl::SetupTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    const ScreenVertex* v[3] = {&a, &b, &c};
    std::int64_t X[3], Y[3];
    for (int i = 0; i < 3; ++i) {
        X[i] = std::llrint(static_cast<double>(v[i]->x) * kSubPixelSteps);
        Y[i] = std::llrint(static_cast<double>(v[i]->y) * kSubPixelSteps);
    }
    std::int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
    if (area == 0) return;
    if (area < 0) {
        std::swap(v[1], v[2]);
        std::swap(X[1], X[2]);
        std::swap(Y[1], Y[2]);
    }
    Prim prim;
    prim.kind = PrimKind::Triangle;
    // Pixel bounds: pixel centres (integers) inside the fixed-point bounding box.
    std::int64_t minX = CeilDiv(std::min({X[0], X[1], X[2]}), kSubPixelSteps),
                 maxX = FloorDiv(std::max({X[0], X[1], X[2]}), kSubPixelSteps);
    std::int64_t minY = CeilDiv(std::min({Y[0], Y[1], Y[2]}), kSubPixelSteps),
                 maxY = FloorDiv(std::max({Y[0], Y[1], Y[2]}), kSubPixelSteps);
    prim.minX = static_cast<int>(std::max<std::int64_t>(minX, draw->clipX0));
    prim.minY = static_cast<int>(std::max<std::int64_t>(minY, draw->clipY0));
    prim.maxX = static_cast<int>(std::min<std::int64_t>(maxX, draw->clipX1 - 1));
    prim.maxY = static_cast<int>(std::min<std::int64_t>(maxY, draw->clipY1 - 1));
    if (prim.minX > prim.maxX || prim.minY > prim.maxY) return;

    // Edge i runs from vertex i to vertex i + 1; with the winding made positive the
    // inside is where every edge function is >= 0. Top-left rule: a pixel centre exactly
    // on an edge belongs to the triangle only when the edge is a left edge (the inside
    // lies to its right, a > 0) or a top edge (horizontal with the inside below, b > 0);
    // other edges lose 1 from their constant so that e == 0 fails there.
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        std::int64_t ea = -(Y[j] - Y[i]);
        std::int64_t eb = X[j] - X[i];
        std::int64_t ec = -(ea * X[i] + eb * Y[i]);
        bool topLeft = ea > 0 || (ea == 0 && eb > 0);
        prim.edgeA[i] = ea * kSubPixelSteps;
        prim.edgeB[i] = eb * kSubPixelSteps;
        prim.edgeC[i] = topLeft ? ec : ec - 1;
    }

    // Planes from the snapped positions, relative to vertex 0.
    // Multiplying by the power of two kSubPixel is exact, as dividing by 256 is.
    float x0 = static_cast<float>(X[0]) * kSubPixel, y0 = static_cast<float>(Y[0]) * kSubPixel;
    float dx1 = static_cast<float>(X[1] - X[0]) * kSubPixel, dy1 = static_cast<float>(Y[1] - Y[0]) * kSubPixel;
    float dx2 = static_cast<float>(X[2] - X[0]) * kSubPixel, dy2 = static_cast<float>(Y[2] - Y[0]) * kSubPixel;
    float det = dx1 * dy2 - dx2 * dy1;
    float inv = 1.0f / det;
    prim.originX = x0;
    prim.originY = y0;
    float* planes = NewPlanes(prim);
    auto plane = [&](float* out, float a0, float a1, float a2) {
        float d1 = a1 - a0, d2 = a2 - a0;
        out[0] = a0;
        out[1] = (d1 * dy2 - d2 * dy1) * inv;
        out[2] = (d2 * dx1 - d1 * dx2) * inv;
    };
    plane(planes, v[0]->z, v[1]->z, v[2]->z);
    plane(planes + 3, v[0]->q, v[1]->q, v[2]->q);
    for (int k = 0; k < attrCount; ++k) plane(planes + 6 + 3 * k, v[0]->attr[k], v[1]->attr[k], v[2]->attr[k]);
    prims.push_back(prim);
    Bin(static_cast<std::uint32_t>(prims.size() - 1));
}

void Rasterizer::Impl::SetupLine(const ScreenVertex& a, const ScreenVertex& b) {
    float dx = b.x - a.x, dy = b.y - a.y;
    float length2 = dx * dx + dy * dy;
    if (!(length2 > 0.0f)) {
        if (lastPixel) SetupPoint(a);
        return;
    }
    Prim prim;
    prim.kind = PrimKind::Line;
    prim.x0 = a.x;
    prim.y0 = a.y;
    prim.x1 = b.x;
    prim.y1 = b.y;
    prim.xMajor = std::abs(dx) >= std::abs(dy);
    prim.lastPixel = lastPixel;
    int px0 = static_cast<int>(std::floor(a.x + 0.5f)), px1 = static_cast<int>(std::floor(b.x + 0.5f));
    int py0 = static_cast<int>(std::floor(a.y + 0.5f)), py1 = static_cast<int>(std::floor(b.y + 0.5f));
    prim.minX = std::max(std::min(px0, px1), draw->clipX0);
    prim.maxX = std::min(std::max(px0, px1), draw->clipX1 - 1);
    prim.minY = std::max(std::min(py0, py1), draw->clipY0);
    prim.maxY = std::min(std::max(py0, py1), draw->clipY1 - 1);
    if (prim.minX > prim.maxX || prim.minY > prim.maxY) return;
    prim.originX = a.x;
    prim.originY = a.y;
    float* planes = NewPlanes(prim);
    // Values vary along the line only: t = ((p - a) . d) / |d|^2.
    float gx = dx / length2, gy = dy / length2;
    auto plane = [&](float* out, float v0, float v1) {
        out[0] = v0;
        out[1] = (v1 - v0) * gx;
        out[2] = (v1 - v0) * gy;
    };
    plane(planes, a.z, b.z);
    plane(planes + 3, a.q, b.q);
    for (int k = 0; k < attrCount; ++k) plane(planes + 6 + 3 * k, a.attr[k], b.attr[k]);
    prims.push_back(prim);
    Bin(static_cast<std::uint32_t>(prims.size() - 1));
}

void Rasterizer::Impl::SetupPoint(const ScreenVertex& a) {
    Prim prim;
    prim.kind = PrimKind::Point;
    float half = pointSize * 0.5f;
    // Pixel centres inside [x - size/2, x + size/2), the fill rule of a square.
    prim.minX = std::max(static_cast<int>(std::ceil(a.x - half)), draw->clipX0);
    prim.maxX = std::min(static_cast<int>(std::ceil(a.x + half)) - 1, draw->clipX1 - 1);
    prim.minY = std::max(static_cast<int>(std::ceil(a.y - half)), draw->clipY0);
    prim.maxY = std::min(static_cast<int>(std::ceil(a.y + half)) - 1, draw->clipY1 - 1);
    if (prim.minX > prim.maxX || prim.minY > prim.maxY) return;
    prim.originX = a.x;
    prim.originY = a.y;
    float* planes = NewPlanes(prim);
    auto plane = [](float* out, float value) {
        out[0] = value;
        out[1] = 0.0f;
        out[2] = 0.0f;
    };
    plane(planes, a.z);
    plane(planes + 3, a.q);
    for (int k = 0; k < attrCount; ++k) plane(planes + 6 + 3 * k, a.attr[k]);
    prims.push_back(prim);
    Bin(static_cast<std::uint32_t>(prims.size() - 1));
}

void Rasterizer::Impl::Bin(std::uint32_t primIndex) {
    const Prim& prim = prims[primIndex];
    int tx0 = prim.minX >> kTileShiftX, tx1 = prim.maxX >> kTileShiftX;
    int ty0 = prim.minY >> kTileShiftY, ty1 = prim.maxY >> kTileShiftY;
    for (int ty = ty0; ty <= ty1; ++ty) {
        for (int tx = tx0; tx <= tx1; ++tx) {
            if (prim.kind == PrimKind::Triangle) {
                // Skip tiles that lie wholly outside one edge: test the tile corner
                // where the edge function is largest.
                int left = std::max(tx << kTileShiftX, prim.minX), right = std::min((tx << kTileShiftX) + kTileWidth - 1, prim.maxX);
                int top = std::max(ty << kTileShiftY, prim.minY), bottom = std::min((ty << kTileShiftY) + kTileHeight - 1, prim.maxY);
                bool outside = false;
                for (int e = 0; e < 3 && !outside; ++e) {
                    std::int64_t x = prim.edgeA[e] > 0 ? right : left;
                    std::int64_t y = prim.edgeB[e] > 0 ? bottom : top;
                    outside = prim.edgeA[e] * x + prim.edgeB[e] * y + prim.edgeC[e] < 0;
                }
                if (outside) continue;
            }
            bins[static_cast<std::size_t>(ty) * tilesX + tx].push_back(primIndex);
            ++binEntries;
        }
    }
}

void Rasterizer::Impl::RasterTriangle(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1) {
    const DrawSetup& d = draws[prim.draw];
    // Each sloped edge bounds the span at floor(row / |a|) (negated for a left bound),
    // where row = b * y + c grows by b per row: the quotient and remainder are stepped
    // exactly instead of dividing on every row.
    struct EdgeStep {
        std::int64_t quotient, remainder, divisor, stepQuotient, stepRemainder;
    } steps[3] = {};
    for (int e = 0; e < 3; ++e) {
        std::int64_t a = prim.edgeA[e];
        if (a == 0) continue;
        EdgeStep& s = steps[e];
        s.divisor = a > 0 ? a : -a;
        std::int64_t row = prim.edgeB[e] * y0 + prim.edgeC[e];
        s.quotient = FloorDiv(row, s.divisor);
        s.remainder = row - s.quotient * s.divisor;
        s.stepQuotient = FloorDiv(prim.edgeB[e], s.divisor);
        s.stepRemainder = prim.edgeB[e] - s.stepQuotient * s.divisor;
    }
    // Sorted into left bounds, right bounds and level edges once, so that the row loop
    // has no branch on an edge's kind; the remainder's carry is data and not a branch
    // either, as it comes and goes irregularly.
    EdgeStep* lefts[3];
    EdgeStep* rights[3];
    int leftCount = 0, rightCount = 0, levelEdges[3], levelCount = 0;
    for (int e = 0; e < 3; ++e) {
        if (prim.edgeA[e] > 0) lefts[leftCount++] = &steps[e];
        else if (prim.edgeA[e] < 0) rights[rightCount++] = &steps[e];
        else levelEdges[levelCount++] = e;
    }
    auto advance = [](EdgeStep& s) {
        s.remainder += s.stepRemainder;
        const bool carry = s.remainder >= s.divisor;
        s.remainder -= carry ? s.divisor : 0;
        s.quotient += s.stepQuotient + carry;
    };
    RowSpan spans[kTileHeight];
    for (int y = y0; y <= y1; ++y) {
        std::int64_t left = x0, right = x1;
        for (int i = 0; i < leftCount; ++i) {
            left = std::max(left, -lefts[i]->quotient);  // ceil(-row / a)
            advance(*lefts[i]);
        }
        for (int i = 0; i < rightCount; ++i) {
            right = std::min(right, rights[i]->quotient);
            advance(*rights[i]);
        }
        for (int i = 0; i < levelCount; ++i)
            if (prim.edgeB[levelEdges[i]] * y + prim.edgeC[levelEdges[i]] < 0) right = left - 1;
        spans[y - y0] = left <= right ? RowSpan{static_cast<int>(left), static_cast<int>(right) + 1} : RowSpan{0, 0};
    }
    d.shadeRows(d, prim, planes, y0, y1 - y0 + 1, spans);
}

void Rasterizer::Impl::RasterLine(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1) {
    const DrawSetup& d = draws[prim.draw];
    // Steps one pixel per column (x-major) or row (y-major) from the first end's pixel
    // to the last's, the last one only with LASTPIXEL.
    float a0 = prim.xMajor ? prim.x0 : prim.y0, a1 = prim.xMajor ? prim.x1 : prim.y1;
    float b0 = prim.xMajor ? prim.y0 : prim.x0, b1 = prim.xMajor ? prim.y1 : prim.x1;
    int start = static_cast<int>(std::floor(a0 + 0.5f)), end = static_cast<int>(std::floor(a1 + 0.5f));
    int step = end >= start ? 1 : -1;
    if (!prim.lastPixel) end -= step;
    int lo = std::min(start, end), hi = std::max(start, end);
    if (prim.lastPixel == false && start == end + step) return;
    int bandLo = prim.xMajor ? x0 : y0, bandHi = prim.xMajor ? x1 : y1;
    lo = std::max(lo, bandLo);
    hi = std::min(hi, bandHi);
    float slope = (b1 - b0) / (a1 - a0);
    for (int major = lo; major <= hi; ++major) {
        float minorPos = b0 + (static_cast<float>(major) - a0) * slope;
        int minor = static_cast<int>(std::floor(minorPos + 0.5f));
        int px = prim.xMajor ? major : minor, py = prim.xMajor ? minor : major;
        if (px < x0 || px > x1 || py < y0 || py > y1) continue;
        d.shade(d, prim, planes, py, px, px + 1);
    }
}

void Rasterizer::Impl::ClearRect(const Prim& prim, int x0, int y0, int x1, int y1) {
    // A clear is usually the first touch of a tile's target lines in a frame, and they are
    // in no cache of this core: each row is asked for a few rows ahead of its stores. With
    // square 128-pixel tiles this made the game's scene 8-17% faster on two threads; with
    // bands the hardware prefetcher streams most of it in, and asking ahead still gives
    // about 2-3% (two rows ahead do as well as eight; none, or one, are slower).
    constexpr int kAhead = 8;
    auto fetch = [&](int y) {
        if (prim.clearColor) {
            std::uint32_t* row = binTarget.color + static_cast<std::ptrdiff_t>(y) * binTarget.colorPitch;
            for (int x = x0; x <= x1; x += 16) PrefetchForWrite(row + x);
            PrefetchForWrite(row + x1);  // the last line, where x0 is not at a line's start
        }
        if (prim.clearDepth) {
            std::uint16_t* row = binTarget.depth + static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
            for (int x = x0; x <= x1; x += 32) PrefetchForWrite(row + x);
            PrefetchForWrite(row + x1);
        }
    };
    for (int y = y0; y <= y1 && y < y0 + kAhead; ++y) fetch(y);
    for (int y = y0; y <= y1; ++y) {
        if (y + kAhead <= y1) fetch(y + kAhead);
        if (prim.clearColor) {
            std::uint32_t* row = binTarget.color + static_cast<std::ptrdiff_t>(y) * binTarget.colorPitch;
            fillColor(row + x0, row + x1 + 1, prim.clearColorValue);
        }
        if (prim.clearDepth) {
            std::uint16_t* row = binTarget.depth + static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
            fillDepth(row + x0, row + x1 + 1, prim.clearDepthValue);
        }
        if (prim.clearWords) ClearWords(prim, y, x0, x1);
    }
}

void Rasterizer::Impl::ClearWords(const Prim& prim, int y, int x0, int x1) {
    const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
    if (binTarget.depthLayout.wordBytes == 2) {
        std::uint16_t* row = static_cast<std::uint16_t*>(binTarget.depthStencil) + start;
        const auto keep = static_cast<std::uint16_t>(prim.clearKeep), word = static_cast<std::uint16_t>(prim.clearWord);
        if (keep == 0) fillDepth(row + x0, row + x1 + 1, word);
        else
            for (int x = x0; x <= x1; ++x) row[x] = static_cast<std::uint16_t>((row[x] & keep) | word);
        return;
    }
    std::uint32_t* row = static_cast<std::uint32_t*>(binTarget.depthStencil) + start;
    if (prim.clearKeep == 0) fillColor(row + x0, row + x1 + 1, prim.clearWord);
    else
        for (int x = x0; x <= x1; ++x) row[x] = (row[x] & prim.clearKeep) | prim.clearWord;
}

void Rasterizer::Impl::DrawTile(int tile) {
    int tx = tile % tilesX, ty = tile / tilesX;
    int tileX0 = tx << kTileShiftX, tileY0 = ty << kTileShiftY;
    int tileX1 = std::min(tileX0 + kTileWidth, binTarget.width) - 1;
    int tileY1 = std::min(tileY0 + kTileHeight, binTarget.height) - 1;
    for (std::uint32_t index : bins[static_cast<std::size_t>(tile)]) {
        const Prim& prim = prims[index];
        const float* planes = planePool.data() + prim.planes;
        int x0 = std::max(tileX0, prim.minX), x1 = std::min(tileX1, prim.maxX);
        int y0 = std::max(tileY0, prim.minY), y1 = std::min(tileY1, prim.maxY);
        if (x0 > x1 || y0 > y1) continue;
        switch (prim.kind) {
            case PrimKind::Triangle: RasterTriangle(prim, planes, x0, y0, x1, y1); break;
            case PrimKind::Line: RasterLine(prim, planes, x0, y0, x1, y1); break;
            case PrimKind::Point:
                for (int y = y0; y <= y1; ++y) draws[prim.draw].shade(draws[prim.draw], prim, planes, y, x0, x1 + 1);
                break;
            case PrimKind::Clear: ClearRect(prim, x0, y0, x1, y1); break;
        }
    }
}

void Rasterizer::Impl::Flush() {
    if (!prims.empty()) {
        // Tiles go out column by column: the tiles drawn at the same time are then one
        // above the other and share no cache lines, where side by side they would share
        // the lines their rows straddle when the target is not 64-byte aligned.
        std::function<void(int)> job = [this](int index) { DrawTile(index % tilesY * tilesX + index / tilesY); };
        pool.Run(tilesX * tilesY, job);
    }
    for (auto& bin : bins) bin.clear();
    binEntries = 0;
    prims.clear();
    planePool.clear();
    draws.clear();
    draw = nullptr;
}

void Rasterizer::Impl::Clear(const RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count,
                             const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    // Clears are queued like primitives, so each tile is cleared by its own worker just
    // before it draws, while the tile is in that core's cache.
    BindTarget(target);
    if (QueueFull()) Flush();
    std::int64_t vx0 = std::min<std::int64_t>(viewport.X, target.width);
    std::int64_t vy0 = std::min<std::int64_t>(viewport.Y, target.height);
    std::int64_t vx1 = std::min<std::int64_t>(std::int64_t{viewport.X} + viewport.Width, target.width);
    std::int64_t vy1 = std::min<std::int64_t>(std::int64_t{viewport.Y} + viewport.Height, target.height);
    Prim prim;
    prim.kind = PrimKind::Clear;
    prim.clearColor = (flags & D3DCLEAR_TARGET) != 0;
    prim.clearDepth = (flags & D3DCLEAR_ZBUFFER) != 0 && target.depth != nullptr;
    if (target.depthStencil != nullptr) {
        // Depth high, stencil low, the bits between them cleared whenever either is.
        const DepthStencilLayout& layout = target.depthLayout;
        const int shift = 8 * layout.wordBytes - layout.depthBits;
        const std::uint32_t depthMax = (std::uint32_t{1} << layout.depthBits) - 1;
        const std::uint32_t stencilBits = (std::uint32_t{1} << layout.stencilBits) - 1;
        const bool clearZ = (flags & D3DCLEAR_ZBUFFER) != 0;
        const bool clearStencil = (flags & D3DCLEAR_STENCIL) != 0 && stencilBits != 0;
        prim.clearWords = clearZ || clearStencil;
        const std::uint32_t depthBits = depthMax << shift;
        prim.clearKeep = (clearZ ? 0u : depthBits) | (clearStencil ? 0u : stencilBits);
        const float scaled = std::clamp(z, 0.0f, 1.0f) * static_cast<float>(depthMax) + 0.5f;
        const std::uint32_t depth = std::min(static_cast<std::uint32_t>(scaled), depthMax);
        prim.clearWord = (clearZ ? depth << shift : 0u) | (clearStencil ? stencil & stencilBits : 0u);
    }
    if (!prim.clearColor && !prim.clearDepth && !prim.clearWords) return;
    prim.clearColorValue = target.hasAlpha ? color : (color | kOpaqueAlpha);
    prim.clearDepthValue = static_cast<std::uint16_t>(std::clamp(z, 0.0f, 1.0f) * kDepthScale + 0.5f);
    auto clearRect = [&](std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x0 >= x1 || y0 >= y1) return;
        prim.minX = static_cast<int>(x0);
        prim.minY = static_cast<int>(y0);
        prim.maxX = static_cast<int>(x1 - 1);
        prim.maxY = static_cast<int>(y1 - 1);
        prims.push_back(prim);
        Bin(static_cast<std::uint32_t>(prims.size() - 1));
    };
    if (count == 0 || rects == nullptr) {
        clearRect(vx0, vy0, vx1, vy1);
        return;
    }
    for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
}

}  // namespace raster
