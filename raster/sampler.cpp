// Texture sampling: level selection from the level of detail, point and bilinear
// filtering of one level, trilinear blending of two, and the address modes.
//
// Bilinear weights are 8-bit fractions; texels are spread to 16 bits per channel in a
// 64-bit word so that one multiply weighs all four channels (255 * 256 < 65536).
#include <cmath>
#include <cstring>

#include "raster/pipeline.h"

namespace raster::detail {

namespace {

constexpr std::uint64_t kLaneMask = 0x00FF00FF00FF00FFull;

inline std::uint64_t Spread(std::uint32_t c) {
    std::uint64_t v = c;
    v = (v | (v << 16)) & 0x0000FFFF0000FFFFull;
    v = (v | (v << 8)) & kLaneMask;
    return v;
}

inline std::uint32_t Pack(std::uint64_t v) {
    v &= kLaneMask;
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    v = (v | (v >> 16)) & 0x00000000FFFFFFFFull;
    return static_cast<std::uint32_t>(v);
}

// (a * (256 - f) + b * f) / 256 in every lane, f in 0..256.
inline std::uint64_t Lerp(std::uint64_t a, std::uint64_t b, std::uint32_t f) {
    return ((a * (256u - f) + b * f) >> 8) & kLaneMask;
}

// floor for values well inside the int range, without a library call.
inline int FloorToInt(double v) { return static_cast<int>(v + 1073741824.0) - 1073741824; }

// Keeps scaled coordinates inside the range where FloorToInt is exact.
inline double ClampCoordinate(double v) {
    constexpr double kClamp = kCoordinateClamp;
    return v < -kClamp ? -kClamp : (v > kClamp ? kClamp : v);
}

// Maps a texel index to the level, or returns -1 for a border texel.
inline int Address(int i, int size, AddressMode mode) {
    if (static_cast<unsigned>(i) < static_cast<unsigned>(size)) return i;
    switch (mode) {
        case AddressMode::Wrap: {
            int m = i % size;
            return m < 0 ? m + size : m;
        }
        case AddressMode::Mirror: {
            int period = 2 * size;
            int m = i % period;
            if (m < 0) m += period;
            return m < size ? m : period - 1 - m;
        }
        case AddressMode::Clamp: return i < 0 ? 0 : size - 1;
        case AddressMode::Border: return -1;
        case AddressMode::MirrorOnce: {
            int m = i < 0 ? -i - 1 : i;
            return m < size ? m : size - 1;
        }
    }
    Unreachable();
}

inline std::uint32_t Texel(const SamplerLevel& level, const SamplerSetup& s, int x, int y) {
    int ax = Address(x, level.width, s.addressU);
    int ay = Address(y, level.height, s.addressV);
    if ((ax | ay) < 0) return s.border;
    return level.texels[static_cast<std::ptrdiff_t>(ay) * level.pitch + ax];
}

std::uint64_t SampleLevel(const SamplerSetup& s, const SamplerLevel& level, bool linear, float u, float v) {
    if (!linear) {
        int x = FloorToInt(ClampCoordinate(static_cast<double>(u) * level.width));
        int y = FloorToInt(ClampCoordinate(static_cast<double>(v) * level.height));
        return Spread(Texel(level, s, x, y));
    }
    // Texel centres sit at half-integers: shift by half a texel, then split into the
    // integer texel and an 8-bit fraction.
    int fx = FloorToInt(ClampCoordinate(static_cast<double>(u) * level.width * 256.0 - 128.0));
    int fy = FloorToInt(ClampCoordinate(static_cast<double>(v) * level.height * 256.0 - 128.0));
    int x = fx >> 8, y = fy >> 8;
    std::uint32_t wx = static_cast<std::uint32_t>(fx & 255), wy = static_cast<std::uint32_t>(fy & 255);
    std::uint64_t t00 = Spread(Texel(level, s, x, y)), t10 = Spread(Texel(level, s, x + 1, y));
    std::uint64_t t01 = Spread(Texel(level, s, x, y + 1)), t11 = Spread(Texel(level, s, x + 1, y + 1));
    return Lerp(Lerp(t00, t10, wx), Lerp(t01, t11, wx), wy);
}

}  // namespace

std::uint32_t SampleTextureRef(const SamplerSetup& s, float u, float v, float lod) {
    const SamplerTexture* texture = s.texture;
    if (!texture) return 0xFFFFFFFFu;
    const LaneLevels chosen = ChooseLevels(s, lod);
    const std::uint64_t fine = SampleLevel(s, texture->levels[chosen.fine], chosen.linear, u, v);
    if (chosen.weight == 0) return Pack(fine);
    const std::uint64_t coarse = SampleLevel(s, texture->levels[chosen.coarse], chosen.linear, u, v);
    return Pack(Lerp(fine, coarse, static_cast<std::uint32_t>(chosen.weight)));
}

namespace {

// floor of a float as an int, for values clamped well inside the int range.
inline int FloorToIntFast(float v) {
    v = v < -kCoordinateClamp ? -kCoordinateClamp : (v > kCoordinateClamp ? kCoordinateClamp : v);
    int i = static_cast<int>(v);
    return static_cast<float>(i) > v ? i - 1 : i;
}

// One level, point or bilinear, as four 16-bit channels (Spread). The same
// weights and rounding as the plain path (horizontal first, 8-bit fractions); texel
// positions are computed in float rather than double. Wrap: both addresses wrap on
// power-of-two sizes, so a mask replaces the address modes.
template <bool Wrap>
__attribute__((always_inline)) inline std::uint64_t FetchLevel(const SamplerSetup& s, const SamplerLevel& level, bool linear,
                                                         float u, float v) {
    const int w = level.width, h = level.height;
    if (!linear) {
        int x = FloorToIntFast(u * static_cast<float>(w)), y = FloorToIntFast(v * static_cast<float>(h));
        std::uint32_t t = Wrap ? level.texels[static_cast<std::ptrdiff_t>(y & (h - 1)) * level.pitch + (x & (w - 1))]
                               : Texel(level, s, x, y);
        return Spread(t);
    }
    int fx = FloorToIntFast(u * static_cast<float>(w * 256) - 128.0f);
    int fy = FloorToIntFast(v * static_cast<float>(h * 256) - 128.0f);
    int x = fx >> 8, y = fy >> 8;
    int wx = fx & 255, wy = fy & 255;
    std::uint32_t t00, t10, t01, t11;
    if (Wrap) {
        const int mx = w - 1, my = h - 1;
        const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(y & my) * level.pitch;
        const std::uint32_t* row1 = level.texels + static_cast<std::ptrdiff_t>((y + 1) & my) * level.pitch;
        int x0 = x & mx, x1 = (x + 1) & mx;
        t00 = row0[x0];
        t10 = row0[x1];
        t01 = row1[x0];
        t11 = row1[x1];
    } else if (x >= 0 && y >= 0 && x + 1 < w && y + 1 < h) {
        const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(y) * level.pitch + x;
        t00 = row0[0];
        t10 = row0[1];
        t01 = row0[level.pitch];
        t11 = row0[level.pitch + 1];
    } else {
        t00 = Texel(level, s, x, y);
        t10 = Texel(level, s, x + 1, y);
        t01 = Texel(level, s, x, y + 1);
        t11 = Texel(level, s, x + 1, y + 1);
    }
    // Each step below stays under 2^16 per channel (255 * 256), so the lanes do not mix.
    return Lerp(Lerp(Spread(t00), Spread(t10), static_cast<std::uint32_t>(wx)),
                Lerp(Spread(t01), Spread(t11), static_cast<std::uint32_t>(wx)), static_cast<std::uint32_t>(wy));
}

template <bool Wrap>
__attribute__((always_inline)) inline std::uint32_t SampleOne(const SamplerSetup& s, float u, float v, float lod) {
    const SamplerTexture* texture = s.texture;
    const LaneLevels chosen = ChooseLevels(s, lod);
    const std::uint64_t fine = FetchLevel<Wrap>(s, texture->levels[chosen.fine], chosen.linear, u, v);
    if (chosen.weight == 0) return Pack(fine);
    const std::uint64_t coarse = FetchLevel<Wrap>(s, texture->levels[chosen.coarse], chosen.linear, u, v);
    return Pack(Lerp(fine, coarse, static_cast<std::uint32_t>(chosen.weight)));
}

}  // namespace

std::uint32_t SampleTexture(const SamplerSetup& s, float u, float v, float lod) {
    if (!s.texture) return 0xFFFFFFFFu;
    return s.wrapPow2 ? SampleOne<true>(s, u, v, lod) : SampleOne<false>(s, u, v, lod);
}

}  // namespace raster::detail

// ---- coordinates beyond a plain (u, v): volumes, cubes, projected sets -------------------

namespace raster::detail {

namespace {

// Scaled coordinates inside the range where FloorToInt is exact; NaN goes to the low end.
inline double ClampFinite(double v) {
    constexpr double kClamp = kCoordinateClamp;
    if (!(v >= -kClamp)) return -kClamp;
    return v > kClamp ? kClamp : v;
}

struct Axes {
    AddressMode u, v, w;
};

inline std::uint32_t Texel3(const SamplerLevel& level, const Axes& a, std::uint32_t border, int x, int y, int z) {
    const int ax = Address(x, level.width, a.u), ay = Address(y, level.height, a.v), az = Address(z, level.depth, a.w);
    if ((ax | ay | az) < 0) return border;
    return level.texels[static_cast<std::ptrdiff_t>(az) * level.slicePitch + static_cast<std::ptrdiff_t>(ay) * level.pitch + ax];
}

// One level, point or linear: bilinear within a face (Volume false), trilinear across the
// slices of a volume. The weights and rounding of SampleLevel, x first, then y, then z.
template <bool Volume>
std::uint64_t SampleBox(const SamplerLevel& level, const Axes& a, std::uint32_t border, bool linear, float u, float v,
                        float w) {
    if (!linear) {
        const int x = FloorToInt(ClampFinite(static_cast<double>(u) * level.width));
        const int y = FloorToInt(ClampFinite(static_cast<double>(v) * level.height));
        const int z = Volume ? FloorToInt(ClampFinite(static_cast<double>(w) * level.depth)) : 0;
        return Spread(Texel3(level, a, border, x, y, z));
    }
    const int fx = FloorToInt(ClampFinite(static_cast<double>(u) * level.width * 256.0 - 128.0));
    const int fy = FloorToInt(ClampFinite(static_cast<double>(v) * level.height * 256.0 - 128.0));
    const int x = fx >> 8, y = fy >> 8;
    const auto wx = static_cast<std::uint32_t>(fx & 255), wy = static_cast<std::uint32_t>(fy & 255);
    const bool inside = x >= 0 && y >= 0 && x + 1 < level.width && y + 1 < level.height;
    auto slice = [&](int z) {
        if (inside && static_cast<unsigned>(z) < static_cast<unsigned>(level.depth)) {
            // The footprint lies inside the slice: no addressing.
            const std::uint32_t* row0 = level.texels + static_cast<std::ptrdiff_t>(z) * level.slicePitch +
                                        static_cast<std::ptrdiff_t>(y) * level.pitch + x;
            const std::uint32_t* row1 = row0 + level.pitch;
            return Lerp(Lerp(Spread(row0[0]), Spread(row0[1]), wx), Lerp(Spread(row1[0]), Spread(row1[1]), wx), wy);
        }
        const std::uint64_t top = Lerp(Spread(Texel3(level, a, border, x, y, z)), Spread(Texel3(level, a, border, x + 1, y, z)), wx);
        const std::uint64_t bottom =
            Lerp(Spread(Texel3(level, a, border, x, y + 1, z)), Spread(Texel3(level, a, border, x + 1, y + 1, z)), wx);
        return Lerp(top, bottom, wy);
    };
    if (!Volume) return slice(0);
    const int fz = FloorToInt(ClampFinite(static_cast<double>(w) * level.depth * 256.0 - 128.0));
    return Lerp(slice(fz >> 8), slice((fz >> 8) + 1), static_cast<std::uint32_t>(fz & 255));
}

template <bool Volume>
std::uint32_t SampleLevels(const SamplerSetup& s, const SamplerLevel* levels, const Axes& a, float u, float v, float w,
                           float lod) {
    const LaneLevels chosen = ChooseLevels(s, lod);
    const std::uint64_t fine = SampleBox<Volume>(levels[chosen.fine], a, s.border, chosen.linear, u, v, w);
    if (chosen.weight == 0) return Pack(fine);
    const std::uint64_t coarse = SampleBox<Volume>(levels[chosen.coarse], a, s.border, chosen.linear, u, v, w);
    return Pack(Lerp(fine, coarse, static_cast<std::uint32_t>(chosen.weight)));
}

// log2 of the larger squared footprint over x and y, halved: the level of detail.
inline float Lod(float xx, float yy, float bias) {
    const float rho2 = xx > yy ? xx : yy;
    return rho2 > 0.0f ? 0.5f * std::log2(rho2) + bias : -128.0f;
}

// The cube faces in the order +x, -x, +y, -y, +z, -z: which axis and sign give the face's s and t
// (s to the right, t down, as the face is seen from the cube's centre).
struct FaceAxes {
    int sAxis;
    float sSign;
    int tAxis;
    float tSign;
};
constexpr FaceAxes kFaceAxes[6] = {
    {2, -1.0f, 1, -1.0f},  // +x: s along -z, t along -y
    {2, 1.0f, 1, -1.0f},   // -x: s along +z
    {0, 1.0f, 2, 1.0f},    // +y: s along +x, t along +z
    {0, 1.0f, 2, -1.0f},   // -y: t along -z
    {0, 1.0f, 1, -1.0f},   // +z: s along +x, t along -y
    {0, -1.0f, 1, -1.0f},  // -z: s along -x
};

// The face the direction c points at (the axis of the largest magnitude; x before y before z
// on ties), and the face's s and t with their screen derivatives in texels of the level
// size. Bilinear footprints stay inside the face, clamped at its edges.
std::uint32_t SampleCube(const SamplerSetup& s, const float c[3], const float dx[3], const float dy[3]) {
    const float ax = std::fabs(c[0]), ay = std::fabs(c[1]), az = std::fabs(c[2]);
    int axis = 0;
    if (ay > ax && ay >= az) axis = 1;
    else if (az > ax && az > ay) axis = 2;
    const int face = 2 * axis + (c[axis] < 0.0f ? 1 : 0);
    const FaceAxes& f = kFaceAxes[face];
    const float major = std::fabs(c[axis]);
    const float sign = c[axis] < 0.0f ? -1.0f : 1.0f;
    const float inverse = major > 0.0f ? 1.0f / major : 0.0f;
    const float sc = f.sSign * c[f.sAxis], tc = f.tSign * c[f.tAxis];
    const float sFace = 0.5f * sc * inverse + 0.5f, tFace = 0.5f * tc * inverse + 0.5f;
    // d(sc / m) = (dsc - (sc / m) dm) / m, with m = |c[axis]|.
    const float size = static_cast<float>(s.texture->levels[s.baseLevel].width);
    auto faceDerivative = [&](const float* d, int along, float alongSign, float value) {
        return 0.5f * (alongSign * d[along] - value * inverse * (sign * d[axis])) * inverse * size;
    };
    const float dsx = faceDerivative(dx, f.sAxis, f.sSign, sc), dsy = faceDerivative(dy, f.sAxis, f.sSign, sc);
    const float dtx = faceDerivative(dx, f.tAxis, f.tSign, tc), dty = faceDerivative(dy, f.tAxis, f.tSign, tc);
    const float lod = Lod(dsx * dsx + dtx * dtx, dsy * dsy + dty * dty, s.lodBias);
    constexpr Axes kClampedFace{AddressMode::Clamp, AddressMode::Clamp, AddressMode::Clamp};
    return SampleLevels<false>(s, s.texture->faces[face], kClampedFace, sFace, tFace, 0.0f, lod);
}

}  // namespace

std::uint32_t SampleAt(const SamplerSetup& s, const float* pc, const float* pq, float fx, float fy, float w) {
    if (!s.texture) return 0xFFFFFFFFu;
    float c[4] = {}, dx[4] = {}, dy[4] = {};
    const int n = s.coordinates;
    for (int i = 0; i < n; ++i) {
        const float* p = pc + 3 * i;
        // As the plain pixel stage: the row's base, then the step along it, times w.
        c[i] = (p[0] + p[2] * fy + p[1] * fx) * w;
        // Screen derivatives of c = C / Q: dc/dx = (dC/dx - c dQ/dx) / Q.
        dx[i] = (p[1] - c[i] * pq[1]) * w;
        dy[i] = (p[2] - c[i] * pq[2]) * w;
    }
    if (s.projected) {
        // The last coordinate divides the others and is no coordinate itself; a divisor of
        // zero (or not finite) gives the origin.
        const int last = n - 1;
        const float p = c[last], px = dx[last], py = dy[last];
        const float r = p != 0.0f && std::isfinite(p) ? 1.0f / p : 0.0f;
        for (int i = 0; i < last; ++i) {
            c[i] *= r;
            dx[i] = (dx[i] - c[i] * px) * r;
            dy[i] = (dy[i] - c[i] * py) * r;
        }
        c[last] = dx[last] = dy[last] = 0.0f;
    }
    const SamplerLevel& base = s.texture->levels[s.baseLevel];
    switch (s.kind) {
        case TextureKind::Plane: {
            const float width = static_cast<float>(base.width), height = static_cast<float>(base.height);
            const float ux = dx[0] * width, uy = dy[0] * width, vx = dx[1] * height, vy = dy[1] * height;
            return SampleTexture(s, c[0], c[1], Lod(ux * ux + vx * vx, uy * uy + vy * vy, s.lodBias));
        }
        case TextureKind::Volume: {
            const float size[3] = {static_cast<float>(base.width), static_cast<float>(base.height),
                                   static_cast<float>(base.depth)};
            float xx = 0.0f, yy = 0.0f;
            for (int i = 0; i < 3; ++i) {
                xx += dx[i] * size[i] * (dx[i] * size[i]);
                yy += dy[i] * size[i] * (dy[i] * size[i]);
            }
            return SampleLevels<true>(s, s.texture->levels, Axes{s.addressU, s.addressV, s.addressW}, c[0], c[1], c[2],
                                      Lod(xx, yy, s.lodBias));
        }
        case TextureKind::Cube: return SampleCube(s, c, dx, dy);
    }
    Unreachable();
}

std::uint32_t SampleCoordinates(const SamplerSetup& s, float u, float v, float w, float lod) {
    if (!s.texture) return 0xFFFFFFFFu;
    switch (s.texture->kind) {
        case TextureKind::Plane: return SampleTexture(s, u, v, lod);
        case TextureKind::Volume:
            return SampleLevels<true>(s, s.texture->levels, Axes{s.addressU, s.addressV, s.addressW}, u, v, w, lod);
        case TextureKind::Cube: {
            // The face and its s, t as SampleCube finds them.
            const float c[3] = {u, v, w};
            const float ax = std::fabs(u), ay = std::fabs(v), az = std::fabs(w);
            int axis = 0;
            if (ay > ax && ay >= az) axis = 1;
            else if (az > ax && az > ay) axis = 2;
            const int face = 2 * axis + (c[axis] < 0.0f ? 1 : 0);
            const FaceAxes& f = kFaceAxes[face];
            const float major = std::fabs(c[axis]);
            const float inverse = major > 0.0f ? 1.0f / major : 0.0f;
            const float sFace = 0.5f * (f.sSign * c[f.sAxis]) * inverse + 0.5f;
            const float tFace = 0.5f * (f.tSign * c[f.tAxis]) * inverse + 0.5f;
            constexpr Axes kClampedFace{AddressMode::Clamp, AddressMode::Clamp, AddressMode::Clamp};
            return SampleLevels<false>(s, s.texture->faces[face], kClampedFace, sFace, tFace, 0.0f, lod);
        }
    }
    Unreachable();
}

}  // namespace raster::detail
