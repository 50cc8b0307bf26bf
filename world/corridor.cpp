// The corridor is generated ring by ring in 32-bit floats: each ring is a copy of the one
// before it, moved by a few whole-ring or per-vertex steps. Rings 9 and 10 come back toward
// the start; ring 9 copies ring 0 with its k order mirrored, so that each k of rings 8 to 11
// stays on the same side of the tube and no segment is twisted.
#include "world/corridor.h"

#include <cmath>
#include <initializer_list>

#include "math/math3d.h"

namespace {

constexpr float kWidth = 500.0f;
constexpr float kHeight = 500.0f;
constexpr float kTextureRepeat = 1.5f;

using Ring = MeshVertex[kCorridorRingVertices];

// Ring 0, the cross-section at z = 0, in k order: left middle, upper left, upper right,
// right middle, lower right, lower left. Normals are stored as written, not normalised.
void FillCrossSection(Ring& ring) {
    const float third = kWidth / 3.0f;
    const float twoThirds = 2.0f * kWidth / 3.0f;
    const float halfHeight = kHeight / 2.0f;
    const float t = kTextureRepeat;
    const MeshVertex section[kCorridorRingVertices] = {
        {0.0f, halfHeight, 0.0f, -1, 1, 0, t, t / 2.0f},
        {third, kHeight, 0.0f, 0, 1, 0, t, 0.0f},
        {twoThirds, kHeight, 0.0f, 1, 1, 0, -t, 0.0f},
        {kWidth, halfHeight, 0.0f, 1, -1, 0, -t, t / 2.0f},
        {twoThirds, 0.0f, 0.0f, 0, -1, 0, -t, t},
        {third, 0.0f, 0.0f, -1, -1, 0, t, t},
    };
    for (int k = 0; k < kCorridorRingVertices; ++k) ring[k] = section[k];
}

void CopyRing(Ring& to, const Ring& from) {
    for (int k = 0; k < kCorridorRingVertices; ++k) to[k] = from[k];
}

void SetU(Ring& ring, float u) {
    for (MeshVertex& v : ring) v.u = u;
}

void SetZ(Ring& ring, float z) {
    for (MeshVertex& v : ring) v.z = z;
}

void Shift(Ring& ring, float dx, float dy, float dz) {
    for (MeshVertex& v : ring) {
        v.x += dx;
        v.y += dy;
        v.z += dz;
    }
}

void ShiftAt(Ring& ring, std::initializer_list<int> ks, float dx, float dy, float dz) {
    for (int k : ks) {
        ring[k].x += dx;
        ring[k].y += dy;
        ring[k].z += dz;
    }
}

// The unit vector of the normalise rule, with the squared length and the reciprocal root
// held in double and each component rounded to float once. The corridor's known positions
// were made at that precision: the same rule evaluated wholly in float lands one float step
// away on 30 of the 108 coordinates of rings 5 to 8.
Vector3 UnitVector(const Vector3& v) {
    const double x = v.x, y = v.y, z = v.z;
    const double lengthSq = x * x + y * y + z * z;
    if (std::fabs(lengthSq - 1.0) <= kUnitTolerance) return v;
    if (!(lengthSq > kZeroLengthSq)) return Vector3{0.0f, 0.0f, 0.0f};
    const double inverse = 1.0 / std::sqrt(lengthSq);
    return Vector3{static_cast<float>(x * inverse), static_cast<float>(y * inverse),
                   static_cast<float>(z * inverse)};
}

// position += a * normalise(direction), at the listed k; the product a * d stays in double
// and each sum is rounded to float once (again as the known positions were made).
void AdvanceAt(Ring& ring, std::initializer_list<int> ks, float a, const Vector3& direction) {
    const Vector3 d = UnitVector(direction);
    auto advance = [a](float& coordinate, float unit) {
        coordinate = static_cast<float>(static_cast<double>(coordinate) +
                                        static_cast<double>(a) * static_cast<double>(unit));
    };
    for (int k : ks) {
        advance(ring[k].x, d.x);
        advance(ring[k].y, d.y);
        advance(ring[k].z, d.z);
    }
}

constexpr std::initializer_list<int> kLeft = {0, 1, 5};
constexpr std::initializer_list<int> kRight = {2, 3, 4};
constexpr std::initializer_list<int> kAll = {0, 1, 2, 3, 4, 5};

}  // namespace

void BuildCorridorGeometry(MeshVertex vertices[kCorridorVertexCount],
                           std::uint16_t indices[kCorridorIndexCount]) {
    Ring rings[kCorridorRings] = {};
    const float t = kTextureRepeat;

    FillCrossSection(rings[0]);

    CopyRing(rings[1], rings[0]);
    SetZ(rings[1], 5000.0f);
    SetU(rings[1], 0.0f);

    CopyRing(rings[2], rings[1]);
    Shift(rings[2], -1000.0f, -1000.0f, 0.0f);
    SetZ(rings[2], 7500.0f);
    SetU(rings[2], -t);

    CopyRing(rings[3], rings[2]);
    SetZ(rings[3], 10500.0f);
    SetU(rings[3], t);

    CopyRing(rings[4], rings[3]);
    Shift(rings[4], 500.0f, 3000.0f, 0.0f);
    SetZ(rings[4], 14500.0f);
    SetU(rings[4], -t);

    CopyRing(rings[5], rings[4]);
    AdvanceAt(rings[5], kLeft, 10500.0f, {0.0f, -1.0f, 2.0f});
    AdvanceAt(rings[5], kRight, 10000.0f, {0.0f, -1.0f, 2.0f});
    SetU(rings[5], t);

    CopyRing(rings[6], rings[5]);
    AdvanceAt(rings[6], kAll, 10000.0f, {0.75f, 0.0f, 0.5f});
    ShiftAt(rings[6], kRight, 0.0f, 0.0f, -1000.0f);
    SetU(rings[6], -t);

    CopyRing(rings[7], rings[6]);
    AdvanceAt(rings[7], kLeft, 10000.0f, {0.5f, 0.1f, -0.5f});
    AdvanceAt(rings[7], kRight, 5000.0f, {0.5f, 0.1f, -0.5f});
    ShiftAt(rings[7], {0}, 0.0f, 0.0f, 200.0f);
    ShiftAt(rings[7], {3}, 0.0f, 0.0f, -200.0f);
    SetU(rings[7], t);

    CopyRing(rings[8], rings[7]);
    AdvanceAt(rings[8], kAll, 10000.0f, {0.5f, 0.0f, -1.0f});
    SetU(rings[8], -t);

    // Mirror rule: k0..k5 of ring 9 are ring 0's k3, k2, k1, k0, k5, k4 (whole records).
    constexpr int kMirror[kCorridorRingVertices] = {3, 2, 1, 0, 5, 4};
    for (int k = 0; k < kCorridorRingVertices; ++k) rings[9][k] = rings[0][kMirror[k]];
    Shift(rings[9], 5000.0f, 0.0f, 0.0f);
    ShiftAt(rings[9], kLeft, 1000.0f, 0.0f, -1000.0f);
    SetU(rings[9], t);

    CopyRing(rings[10], rings[9]);
    Shift(rings[10], -2000.0f, 0.0f, -1000.0f);
    ShiftAt(rings[10], kLeft, -3000.0f, 0.0f, -2000.0f);
    ShiftAt(rings[10], {0}, 0.0f, 0.0f, -200.0f);
    ShiftAt(rings[10], {3}, 0.0f, 0.0f, 200.0f);
    SetU(rings[10], -t);

    CopyRing(rings[11], rings[0]);
    SetU(rings[11], t);

    for (int ring = 0; ring < kCorridorRings; ++ring)
        for (int k = 0; k < kCorridorRingVertices; ++k)
            vertices[ring * kCorridorRingVertices + k] = rings[ring][k];

    // Per segment: walls (lower left, upper left, lower right, upper right; two triangles
    // each), then in the second block ceiling and floor.
    constexpr std::uint16_t kWall[24] = {5, 0, 6, 5, 6, 11, 0, 1, 7, 0, 7, 6,
                                         4, 3, 9, 4, 9, 10, 3, 2, 8, 3, 8, 9};
    constexpr std::uint16_t kCeilingFloor[12] = {1, 2, 8, 1, 8, 7, 5, 4, 10, 5, 10, 11};
    for (int s = 0; s < kCorridorSegments; ++s) {
        const auto b = static_cast<std::uint16_t>(kCorridorRingVertices * s);
        for (int i = 0; i < 24; ++i) indices[24 * s + i] = static_cast<std::uint16_t>(b + kWall[i]);
        for (int i = 0; i < 12; ++i)
            indices[kCorridorWallIndexCount + 12 * s + i] = static_cast<std::uint16_t>(b + kCeilingFloor[i]);
    }
}
