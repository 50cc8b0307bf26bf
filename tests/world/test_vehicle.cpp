// The vehicle mesh, the waypoint tables and route as exact floats, set-up, and the laps.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "math/math3d.h"
#include "world/routes.h"
#include "world/vehicle.h"

namespace {

std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }

struct Corner {
    float dx, dy, dz, u, v;
};

// The left panel around the pivot, front to back; all but the nose pair face -x.
const Corner kLeftPanel[16] = {
    {-20, -20, 200, 0, 1}, {-30, 0, 200, 0, 0},   {-30, 20, 155, 1, 0}, {-30, -20, 155, 1, 1},
    {-30, -20, 155, 0, 1}, {-30, 20, 155, 0, 0},  {-30, 40, 125, 1, 0}, {-30, -20, 125, 1, 1},
    {-30, -20, 125, 0, 1}, {-30, 40, 125, 0, 0},  {-30, 40, 65, 1, 0},  {-30, -20, 65, 1, 1},
    {-30, -20, 65, 0, 1},  {-30, 40, 65, 0, 0},   {-30, 20, 0, 1, 0},   {-30, -20, 0, 1, 1},
};

TEST(VehicleMesh, LeftPanelAroundThePivot) {
    MeshVertex v[kVehicleVertexCount];
    const Vector3 p{250, 250, 0};
    BuildVehicleVertices(p, v);
    for (int i = 0; i < 16; ++i) {
        const Corner& c = kLeftPanel[i];
        EXPECT_EQ(v[i].x, p.x + c.dx) << i;
        EXPECT_EQ(v[i].y, p.y + c.dy) << i;
        EXPECT_EQ(v[i].z, p.z + c.dz) << i;
        EXPECT_EQ(v[i].u, c.u) << i;
        EXPECT_EQ(v[i].v, c.v) << i;
        if (i >= 2) {
            EXPECT_EQ(v[i].nx, -1.0f) << i;
            EXPECT_EQ(v[i].ny, 0.0f) << i;
            EXPECT_EQ(v[i].nz, 0.0f) << i;
        }
    }
    // The nose pair leans out and down: (-1, -0.5, 0) normalised.
    for (int i : {0, 1}) {
        EXPECT_NEAR(v[i].nx, -0.8944272f, 1e-6f);
        EXPECT_NEAR(v[i].ny, -0.4472136f, 1e-6f);
        EXPECT_EQ(v[i].nz, 0.0f);
    }
    EXPECT_EQ(v[0].x, 230.0f);
    EXPECT_EQ(v[0].y, 230.0f);
    EXPECT_EQ(v[0].z, 200.0f);
}

TEST(VehicleMesh, RightPanelMirrorsTheLeft) {
    MeshVertex v[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, v);
    EXPECT_EQ(v[16].x, 270.0f);
    EXPECT_EQ(v[16].y, 230.0f);
    EXPECT_EQ(v[16].z, 200.0f);
    EXPECT_EQ(v[31].x, 280.0f);
    EXPECT_EQ(v[31].y, 230.0f);
    EXPECT_EQ(v[31].z, 0.0f);
    for (int i = 0; i < 16; ++i) {
        const MeshVertex& l = v[i];
        const MeshVertex& r = v[16 + i];
        EXPECT_EQ(r.x, l.x + (i == 0 ? 40.0f : 60.0f)) << i;
        EXPECT_EQ(r.y, l.y) << i;
        EXPECT_EQ(r.z, l.z) << i;
        EXPECT_EQ(r.nx, -l.nx) << i;
        EXPECT_EQ(r.ny, 0.0f) << i;
        EXPECT_EQ(r.nz, 0.0f) << i;
        EXPECT_EQ(r.u, -l.u) << i;
        EXPECT_EQ(r.v, -l.v) << i;
    }
    // The right nose normals keep only the mirrored x: not unit length.
    EXPECT_NEAR(v[16].nx, 0.8944f, 1e-4f);
    EXPECT_NEAR(v[17].nx, 0.8944f, 1e-4f);
    EXPECT_EQ(v[18].nx, 1.0f);
}

TEST(VehicleMesh, QuadsShareCornerPositionsNotTextureCoordinates) {
    MeshVertex v[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleBStart, v);
    const int pairs[6][2] = {{2, 5}, {3, 4}, {6, 9}, {7, 8}, {10, 13}, {11, 12}};
    for (int side : {0, 16})
        for (auto& pair : pairs) {
            const MeshVertex& a = v[side + pair[0]];
            const MeshVertex& b = v[side + pair[1]];
            EXPECT_EQ(a.x, b.x);
            EXPECT_EQ(a.y, b.y);
            EXPECT_EQ(a.z, b.z);
            EXPECT_NE(a.u, b.u);
        }
}

TEST(VehicleMesh, IndexList) {
    std::uint16_t idx[kVehicleIndexCount];
    BuildVehicleIndices(idx);
    for (std::uint16_t i : idx) EXPECT_LT(i, kVehicleVertexCount);
    const std::uint16_t firstQuads[12] = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(idx[i], firstQuads[i]);
    // The last side quad is the right panel's back one.
    EXPECT_EQ(idx[42], 28);
    EXPECT_EQ(idx[47], 31);
    // Body: top, bottom, front, back.
    const std::uint16_t top[3] = {1, 17, 2}, bottom[3] = {0, 16, 3}, front[6] = {16, 17, 0, 17, 1, 0},
                        back[6] = {15, 14, 31, 14, 30, 31};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(idx[kVehiclePanelIndexCount + i], top[i]);
        EXPECT_EQ(idx[kVehiclePanelIndexCount + 24 + i], bottom[i]);
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(idx[96 + i], front[i]);
        EXPECT_EQ(idx[102 + i], back[i]);
    }
}

TEST(WaypointTables, AreTheExactFloats) {
    EXPECT_EQ(Bits(kVehicleAWaypoints[4].z), 0x46B7289Au);  // 23444.30078125
    EXPECT_EQ(Bits(kVehicleBWaypoints[4].z), 0x46B7289Au);
    EXPECT_EQ(kVehicleAWaypoints[5].z, 28038.5f);
    EXPECT_EQ(kVehicleBWaypoints[5].z, 28238.5f);
    EXPECT_EQ(static_cast<double>(kVehicleAWaypoints[6].z), 20724.599609375);
    EXPECT_EQ(static_cast<double>(kVehicleBWaypoints[6].z), 20574.599609375);
    EXPECT_EQ(kVehicleAWaypoints[11], (Vector3{250, 250, 0}));
    EXPECT_EQ(kVehicleBWaypoints[0], (Vector3{350, 200, 5000}));

    EXPECT_EQ(Bits(kAutoPilotRoute[5].y), 0xC50AE23Du);
    EXPECT_EQ(Bits(kAutoPilotRoute[5].z), 0x46B7289Au);
    EXPECT_EQ(Bits(kAutoPilotRoute[7].z), 0x46A4A533u);
    EXPECT_EQ(kAutoPilotRoute[0], (Vector3{250, 250, 0}));
    EXPECT_EQ(kAutoPilotRoute[11], (Vector3{3000, 250, -2500}));
}

TEST(VehicleSetUp, GivesTheNominalSettings) {
    MovingObject o;
    MeshVertex mesh[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleBStart, mesh);
    EXPECT_EQ(SetUpVehicle(o, kVehicleBStart, mesh, kVehicleVertexBytes), 0);
    EXPECT_EQ(o.GetPosition(), kVehicleBStart);
    EXPECT_EQ(o.GetSpeed(), (Vector3{5, 5, 5}));
    EXPECT_EQ(o.GetExtent(), (Vector3{60, 250, 400}));
    EXPECT_EQ(o.GetVertexBytes(), 1024u);
    EXPECT_EQ(o.GetVertexFormat(), 0x112u);
    EXPECT_TRUE(o.GetWaypoints().IsEmpty());
}

TEST(UpdateVehicles, FillsEachListOnceWithItsOwnTable) {
    MovingObject a, b;
    MeshVertex mesh[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, mesh);
    SetUpVehicle(a, kVehicleAStart, mesh, kVehicleVertexBytes);
    BuildVehicleVertices(kVehicleBStart, mesh);
    SetUpVehicle(b, kVehicleBStart, mesh, kVehicleVertexBytes);
    UpdateVehicles(a, b);
    EXPECT_EQ(a.GetWaypoints().Count(), 12);
    EXPECT_EQ(b.GetWaypoints().Count(), 12);
    EXPECT_EQ(*a.GetWaypoints().Front(), kVehicleAWaypoints[0]);
    EXPECT_EQ(*b.GetWaypoints().Front(), kVehicleBWaypoints[0]);
    // Limit 20: eight more fit, the ninth does not.
    const Vector3 p{0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(a.GetWaypoints().Append(&p), 0);
    EXPECT_EQ(a.GetWaypoints().Append(&p), -1);
    // Both moved one step.
    EXPECT_EQ(a.GetPosition(), (Vector3{250, 250, 5}));
    EXPECT_NE(b.GetPosition().z, 0.0f);
}

// Which table entry a vehicle consumed, frame by frame, over a long run.
TEST(UpdateVehicles, BothVehiclesLapTheCorridorInOrder) {
    MovingObject a, b;
    MeshVertex mesh[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, mesh);
    SetUpVehicle(a, kVehicleAStart, mesh, kVehicleVertexBytes);
    BuildVehicleVertices(kVehicleBStart, mesh);
    SetUpVehicle(b, kVehicleBStart, mesh, kVehicleVertexBytes);

    struct Track {
        MovingObject* object;
        const Vector3 (*table)[kVehicleWaypointCount];
        std::vector<int> reached;
        std::vector<int> frames;
    };
    Track tracks[2] = {{&a, &kVehicleAWaypoints, {}, {}}, {&b, &kVehicleBWaypoints, {}, {}}};
    UpdateVehicles(a, b);
    Vector3 fronts[2] = {*a.GetWaypoints().Front(), *b.GetWaypoints().Front()};
    for (int frame = 1; frame < 40000; ++frame) {
        UpdateVehicles(a, b);
        for (int t = 0; t < 2; ++t) {
            const Vector3 now = *tracks[t].object->GetWaypoints().Front();
            if (now == fronts[t]) continue;
            int index = -1;
            for (int i = 0; i < kVehicleWaypointCount; ++i)
                if ((*tracks[t].table)[i] == fronts[t]) index = i;
            tracks[t].reached.push_back(index);
            tracks[t].frames.push_back(frame);
            fronts[t] = now;
        }
    }
    for (int t = 0; t < 2; ++t) {
        const std::vector<int>& reached = tracks[t].reached;
        EXPECT_GE(reached.size(), 24u) << "vehicle " << t;
        for (std::size_t i = 0; i < reached.size(); ++i)
            EXPECT_EQ(reached[i], static_cast<int>(i % kVehicleWaypointCount)) << "vehicle " << t;
        const Vector3 p = tracks[t].object->GetPosition();
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        // A lap takes roughly 15,600 frames.
        if (reached.size() >= 24) {
            const int lap = tracks[t].frames[23] - tracks[t].frames[11];
            EXPECT_GT(lap, 14000) << "vehicle " << t;
            EXPECT_LT(lap, 17000) << "vehicle " << t;
        }
    }
}

}  // namespace
