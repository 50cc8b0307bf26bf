// Setup: screen triangles, lines and points into edge functions (1/256 pixel fixed point)
// and attribute planes, queued and binned (tiles.cpp); the queue's bounds.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/rasterizer_impl.h"

namespace raster {

using namespace detail;

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
        if (lastPixel) SetupPoint(a, 1.0f);
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

void Rasterizer::Impl::SetupPoint(const ScreenVertex& a, float size) {
    Prim prim;
    prim.kind = PrimKind::Point;
    float half = size * 0.5f;
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
    if (pointSprite) {
        // Every stage's first two coordinates run over the square, (0, 0) at its top-left
        // corner to (1, 1) at its bottom-right; the others keep the vertex's values.
        const float step = a.q / size;
        for (int s = 0; s < kMaxStages; ++s) {
            const int at = draw->layout.texcoord[s];
            if (at < 0) continue;
            float* u = planes + 6 + 3 * at;
            u[0] = 0.5f * a.q, u[1] = step, u[2] = 0.0f;
            float* v = u + 3;
            v[0] = 0.5f * a.q, v[1] = 0.0f, v[2] = step;
        }
    }
    prims.push_back(prim);
    Bin(static_cast<std::uint32_t>(prims.size() - 1));
}

}  // namespace raster
