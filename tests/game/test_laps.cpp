// Over 40,000 frames both vehicles keep lapping the corridor: each reaches its twelve
// waypoints in table order, again and again. The world steps alone decide this; nothing
// needs to be drawn.
#include <cmath>

#include <gtest/gtest.h>

#include "world/vehicle.h"

namespace {

bool Same(const Vector3& a, const Vector3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// The index in the table of the waypoint a vehicle steers to, or -1.
int TargetIndex(const MovingObject& vehicle, const Vector3 (&table)[kVehicleWaypointCount]) {
    const Vector3* front = vehicle.GetWaypoints().Front();
    if (!front)
        return -1;
    for (int i = 0; i < kVehicleWaypointCount; ++i) {
        if (Same(*front, table[i]))
            return i;
    }
    return -1;
}

}  // namespace

TEST(GameLaps, BothVehiclesReachTheirWaypointsInOrderLapAfterLap) {
    MovingObject a, b;
    MeshVertex vertices[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, vertices);
    ASSERT_EQ(SetUpVehicle(a, kVehicleAStart, vertices, kVehicleVertexBytes), 0);
    BuildVehicleVertices(kVehicleBStart, vertices);
    ASSERT_EQ(SetUpVehicle(b, kVehicleBStart, vertices, kVehicleVertexBytes), 0);

    MovingObject* vehicles[2] = {&a, &b};
    const Vector3(*tables[2])[kVehicleWaypointCount] = {&kVehicleAWaypoints, &kVehicleBWaypoints};
    int reached[2] = {0, 0};
    int current[2] = {-1, -1};
    bool inOrder[2] = {true, true};
    for (int frame = 0; frame < 40000; ++frame) {
        UpdateVehicles(a, b);
        for (int v = 0; v < 2; ++v) {
            const int target = TargetIndex(*vehicles[v], *tables[v]);
            ASSERT_GE(target, 0) << "vehicle " << v << " lost its route at frame " << frame;
            if (current[v] >= 0 && target != current[v]) {
                // The old target was reached: the next one follows it in the table.
                inOrder[v] &= target == (current[v] + 1) % kVehicleWaypointCount;
                ++reached[v];
            }
            current[v] = target;
            const Vector3 p = vehicles[v]->GetPosition();
            ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
        }
    }
    for (int v = 0; v < 2; ++v) {
        EXPECT_TRUE(inOrder[v]) << "vehicle " << v;
        EXPECT_GE(reached[v], 2 * kVehicleWaypointCount) << "vehicle " << v;
        EXPECT_EQ(vehicles[v]->GetWaypoints().Count(), kVehicleWaypointCount);
    }
}
