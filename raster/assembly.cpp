// Primitive assembly: the draw's vertices into triangles, lines and points, each clipped
// (clipping.cpp), culled by its winding and drawn in the fill mode, then set up (setup.cpp).
#include <cmath>
#include <cstring>

#include "raster/rasterizer_impl.h"

namespace raster {

using namespace detail;

void Rasterizer::Impl::Assemble(PrimitiveType type, std::uint32_t count, const std::uint32_t* indices) {
    auto at = [&](std::uint32_t i) -> const ClipVertex& { return vertices[indices ? indices[i] : i]; };
    switch (type) {
        case PrimitiveType::PointList:
            for (std::uint32_t i = 0; i < count; ++i) Point(at(i));
            return;
        case PrimitiveType::LineList:
            for (std::uint32_t i = 0; i < count; ++i) Line(at(2 * i), at(2 * i + 1));
            return;
        case PrimitiveType::LineStrip:
            for (std::uint32_t i = 0; i < count; ++i) Line(at(i), at(i + 1));
            return;
        case PrimitiveType::TriangleList:
            for (std::uint32_t i = 0; i < count; ++i) Triangle(at(3 * i), at(3 * i + 1), at(3 * i + 2));
            return;
        case PrimitiveType::TriangleStrip:
            // Odd triangles swap their last two vertices to keep one winding; the first
            // vertex (the flat-shading colour) stays the strip's vertex i.
            for (std::uint32_t i = 0; i < count; ++i) {
                if (i & 1) Triangle(at(i), at(i + 2), at(i + 1));
                else Triangle(at(i), at(i + 1), at(i + 2));
            }
            return;
        case PrimitiveType::TriangleFan:
            // Rotated so that the flat-shading colour comes from vertex i + 1; the
            // winding is that of (0, i + 1, i + 2).
            for (std::uint32_t i = 0; i < count; ++i) Triangle(at(i + 1), at(i + 2), at(0));
            return;
    }
    Unreachable();
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
    if ((cullMode == CullMode::Clockwise && area > 0.0f) || (cullMode == CullMode::CounterClockwise && area < 0.0f))
        return;
    switch (fillMode) {
        case FillMode::Point:
            for (const ClipVertex& corner : corners) Point(corner);
            return;
        case FillMode::Wireframe:
            // The triangle's own edges, each clipped as a line (no edges along the clip planes).
            Line(corners[0], corners[1]);
            Line(corners[1], corners[2]);
            Line(corners[2], corners[0]);
            return;
        case FillMode::Solid:
            for (int i = 1; i + 1 < count; ++i) SetupTriangle(screen[0], screen[i], screen[i + 1]);
            return;
    }
    Unreachable();
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
    // Clamped to the draw's range; a size that is not positive draws one pixel.
    float size = std::fmin(std::fmax(a.pointSize, pointSizeMin), pointSizeMax);
    if (!(size > 0.0f)) size = 1.0f;
    SetupPoint(s, size);
}

}  // namespace raster
