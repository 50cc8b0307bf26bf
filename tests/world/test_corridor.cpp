// The corridor's 72 positions against the known table (three decimals), the mirrored
// normals of rings 9 and 10, the seam ring, and the index lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>

#include "math/math3d.h"
#include "world/corridor.h"

namespace {

struct Point {
    double x, y, z;
};

// Ring by ring, k0..k5.
const Point kPositions[kCorridorRings][kCorridorRingVertices] = {
    {{0, 250, 0}, {166.667, 500, 0}, {333.333, 500, 0}, {500, 250, 0}, {333.333, 0, 0}, {166.667, 0, 0}},
    {{0, 250, 5000}, {166.667, 500, 5000}, {333.333, 500, 5000}, {500, 250, 5000}, {333.333, 0, 5000},
     {166.667, 0, 5000}},
    {{-1000, -750, 7500}, {-833.333, -500, 7500}, {-666.667, -500, 7500}, {-500, -750, 7500},
     {-666.667, -1000, 7500}, {-833.333, -1000, 7500}},
    {{-1000, -750, 10500}, {-833.333, -500, 10500}, {-666.667, -500, 10500}, {-500, -750, 10500},
     {-666.667, -1000, 10500}, {-833.333, -1000, 10500}},
    {{-500, 2250, 14500}, {-333.333, 2500, 14500}, {-166.667, 2500, 14500}, {0, 2250, 14500},
     {-166.667, 2000, 14500}, {-333.333, 2000, 14500}},
    {{-500, -2445.743, 23891.486}, {-333.333, -2195.743, 23891.486}, {-166.667, -1972.136, 23444.271},
     {0, -2222.136, 23444.271}, {-166.667, -2472.136, 23444.271}, {-333.333, -2695.743, 23891.486}},
    {{7820.503, -2445.743, 29438.488}, {7987.17, -2195.743, 29438.488}, {8153.836, -1972.136, 27991.273},
     {8320.503, -2222.136, 27991.273}, {8153.836, -2472.136, 27991.273}, {7987.17, -2695.743, 29438.488}},
    {{14821.904, -1045.463, 22637.088}, {14988.57, -795.463, 22437.088}, {11654.537, -1271.996, 24490.572},
     {11821.203, -1521.996, 24290.572}, {11654.537, -1771.996, 24490.572}, {14988.57, -1295.463, 22437.088}},
    {{19294.041, -1045.463, 13692.816}, {19460.707, -795.463, 13492.816}, {16126.673, -1271.996, 15546.301},
     {16293.339, -1521.996, 15346.301}, {16126.673, -1771.996, 15546.301}, {19460.707, -1295.463, 13492.816}},
    {{6500, 250, -1000}, {6333.333, 500, -1000}, {5166.667, 500, 0}, {5000, 250, 0}, {5166.667, 0, 0},
     {6333.333, 0, -1000}},
    {{1500, 250, -4200}, {1333.333, 500, -4000}, {3166.667, 500, -1000}, {3000, 250, -800},
     {3166.667, 0, -1000}, {1333.333, 0, -4000}},
    {{0, 250, 0}, {166.667, 500, 0}, {333.333, 500, 0}, {500, 250, 0}, {333.333, 0, 0}, {166.667, 0, 0}},
};

class Corridor : public ::testing::Test {
protected:
    void SetUp() override { BuildCorridorGeometry(vertices, indices); }
    const MeshVertex& At(int ring, int k) const { return vertices[ring * kCorridorRingVertices + k]; }

    MeshVertex vertices[kCorridorVertexCount];
    std::uint16_t indices[kCorridorIndexCount];
};

TEST_F(Corridor, PositionsMatchTheTableToThreeDecimals) {
    for (int ring = 0; ring < kCorridorRings; ++ring)
        for (int k = 0; k < kCorridorRingVertices; ++k) {
            const MeshVertex& v = At(ring, k);
            const Point& p = kPositions[ring][k];
            // The table rounds the float to three decimals.
            EXPECT_NEAR(v.x, p.x, 0.0005) << "ring " << ring << " k" << k;
            EXPECT_NEAR(v.y, p.y, 0.0005) << "ring " << ring << " k" << k;
            EXPECT_NEAR(v.z, p.z, 0.0005) << "ring " << ring << " k" << k;
        }
}

TEST_F(Corridor, NormalsAndTextureCoordinates) {
    // Rings 0-8 keep ring 0's normals (stored unnormalised); rings 9 and 10 the mirrored set.
    const float normal[6][3] = {{-1, 1, 0}, {0, 1, 0}, {1, 1, 0}, {1, -1, 0}, {0, -1, 0}, {-1, -1, 0}};
    const float mirrored[6][3] = {{1, -1, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, -1, 0}, {0, -1, 0}};
    const float v[6] = {0.75f, 0, 0, 0.75f, 1.5f, 1.5f};
    for (int ring = 0; ring < kCorridorRings; ++ring)
        for (int k = 0; k < 6; ++k) {
            const MeshVertex& m = At(ring, k);
            const float(&n)[3] = (ring == 9 || ring == 10) ? mirrored[k] : normal[k];
            EXPECT_EQ(m.nx, n[0]) << "ring " << ring << " k" << k;
            EXPECT_EQ(m.ny, n[1]) << "ring " << ring << " k" << k;
            EXPECT_EQ(m.nz, n[2]) << "ring " << ring << " k" << k;
            EXPECT_EQ(m.v, v[k]) << "ring " << ring << " k" << k;
        }
    // u: ring 0 mixed, ring 1 zero, then -1.5 on even rings and +1.5 on odd ones.
    const float ring0U[6] = {1.5f, 1.5f, -1.5f, -1.5f, -1.5f, 1.5f};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(At(0, k).u, ring0U[k]);
        EXPECT_EQ(At(1, k).u, 0.0f);
        for (int ring = 2; ring < kCorridorRings; ++ring)
            EXPECT_EQ(At(ring, k).u, ring % 2 == 0 ? -1.5f : 1.5f) << "ring " << ring;
    }
}

TEST_F(Corridor, Ring11IsRing0ExceptU) {
    for (int k = 0; k < 6; ++k) {
        MeshVertex seam = At(11, k);
        EXPECT_EQ(seam.u, 1.5f);
        seam.u = At(0, k).u;
        EXPECT_EQ(std::memcmp(&seam, &At(0, k), sizeof seam), 0) << "k" << k;
    }
}

TEST_F(Corridor, IndicesStayInRangeAndFollowTheSegmentPattern) {
    for (std::uint16_t i : indices) EXPECT_LT(i, kCorridorVertexCount);
    // Segment 0: lower left wall, upper left wall first.
    const std::uint16_t firstWalls[12] = {5, 0, 6, 5, 6, 11, 0, 1, 7, 0, 7, 6};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(indices[i], firstWalls[i]) << i;
    // Segment 1 is segment 0 moved by one ring.
    for (int i = 0; i < 24; ++i) EXPECT_EQ(indices[24 + i], indices[i] + 6) << i;
    // Ceiling and floor start at entry 264.
    const std::uint16_t firstCeiling[12] = {1, 2, 8, 1, 8, 7, 5, 4, 10, 5, 10, 11};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(indices[kCorridorWallIndexCount + i], firstCeiling[i]) << i;
    // The last segment joins ring 10 to ring 11 and reaches index 71.
    EXPECT_EQ(indices[kCorridorWallIndexCount - 24], 60 + 5);
    EXPECT_EQ(indices[kCorridorIndexCount - 1], 71);
    // Every triangle joins two neighbouring rings.
    for (int t = 0; t < kCorridorIndexCount / 3; ++t) {
        const int r0 = indices[3 * t] / 6, r1 = indices[3 * t + 1] / 6, r2 = indices[3 * t + 2] / 6;
        const int lo = std::min({r0, r1, r2}), hi = std::max({r0, r1, r2});
        EXPECT_EQ(hi - lo, 1) << "triangle " << t;
    }
}

}  // namespace
