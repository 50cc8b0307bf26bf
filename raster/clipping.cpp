// Clipping: the near and far planes, the guard band, w > 0 and the user's planes in clip
// space (Sutherland-Hodgman), and clip-space vertices to screen vertices.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "raster/rasterizer_impl.h"

namespace raster {

using namespace detail;

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
bool Invert(const Matrix& matrix, double inverse[4][4]) {
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

Matrix Product(const Matrix& a, const Matrix& b) {
    Matrix r;
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
    const std::uint32_t enabled = state.states.clipPlanes & ((1u << kMaxClipPlanes) - 1);
    if (enabled == 0 || pretransformed) return;
    // A vertex program's planes are in clip space already.
    if (state.states.vertexProgram != nullptr) {
        for (int plane = 0; plane < kMaxClipPlanes; ++plane)
            if ((enabled & (1u << plane)) != 0)
                std::copy(state.clipPlanes[plane], state.clipPlanes[plane] + 4, userPlanes[clipPlaneCount++ - 7]);
        return;
    }
    double inverse[4][4];
    // A projection without an inverse flattens everything; such a draw is left unclipped.
    if (!Invert(Product(state.view, state.projection), inverse)) return;
    for (int plane = 0; plane < kMaxClipPlanes; ++plane) {
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

}  // namespace raster
