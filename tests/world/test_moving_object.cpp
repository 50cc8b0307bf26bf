// MovingObject: mesh ownership, motion, rotation about the pivot, and the steering cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "math/math3d.h"
#include "world/moving_object.h"
#include "world/vehicle.h"

namespace {

float Distance(const MeshVertex& v, const Vector3& p) {
    const float dx = v.x - p.x, dy = v.y - p.y, dz = v.z - p.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

TEST(MovingObject, StartsFacingZWithAListLimitOfTen) {
    MovingObject o;
    EXPECT_EQ(o.GetForward(), (Vector3{0, 0, 1}));
    EXPECT_EQ(o.GetRight(), (Vector3{1, 0, 0}));
    EXPECT_EQ(o.GetUp(), (Vector3{0, 1, 0}));
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 0}));
    EXPECT_EQ(o.GetVertices(), nullptr);
    EXPECT_EQ(o.GetVertexBytes(), 0u);
    const Vector3 p{1, 1, 1};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(o.GetWaypoints().Append(&p), 0);
    EXPECT_EQ(o.GetWaypoints().Append(&p), -1);
}

TEST(MovingObject, SetMeshKeepsItsOwnCopy) {
    MovingObject o;
    MeshVertex mesh[3] = {{1, 2, 3, 0, 1, 0, 0.5f, 0.5f}, {4, 5, 6, 0, 1, 0, 1, 0}, {7, 8, 9, 0, 1, 0, 0, 1}};
    EXPECT_EQ(o.SetMesh(mesh, sizeof mesh, kMeshVertexFormat), 0);
    mesh[0].x = 100;
    ASSERT_NE(o.GetVertices(), nullptr);
    EXPECT_EQ(o.GetVertices()[0].x, 1.0f);
    EXPECT_EQ(o.GetVertexBytes(), 96u);
    EXPECT_EQ(o.GetVertexFormat(), 0x112u);

    // Refusals leave the mesh as it was.
    EXPECT_EQ(o.SetMesh(nullptr, 32, 0x112), -1);
    EXPECT_EQ(o.SetMesh(mesh, 40, 0x112), -1);  // not whole records: would overrun the copy
    EXPECT_EQ(o.GetVertexBytes(), 96u);
    EXPECT_EQ(o.GetVertices()[2].z, 9.0f);

    // A second mesh replaces the first.
    EXPECT_EQ(o.SetMesh(mesh, 32, 0x002), 0);
    EXPECT_EQ(o.GetVertexBytes(), 32u);
    EXPECT_EQ(o.GetVertexFormat(), 0x002u);
    EXPECT_EQ(o.GetVertices()[0].x, 100.0f);
}

TEST(MovingObject, NullPositionIsTheOrigin) {
    MovingObject o;
    const Vector3 p{3, 4, 5};
    o.SetPosition(&p);
    EXPECT_EQ(o.GetPosition(), p);
    o.SetPosition(nullptr);
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 0}));
}

TEST(MovingObject, MoveStepsEachAxisByItsSpeed) {
    MovingObject o;
    MeshVertex mesh[2] = {{1, 1, 1, 0, 0, 0, 0, 0}, {-1, 0, 2, 0, 0, 0, 0, 0}};
    o.SetMesh(mesh, sizeof mesh, kMeshVertexFormat);
    o.SetUniformSpeed(5);
    EXPECT_EQ(o.Move(), 0);
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 5}));
    EXPECT_EQ(o.GetVertices()[1].z, 7.0f);
    EXPECT_EQ(o.GetVertices()[0].x, 1.0f);
}

TEST(MovingObject, YawAndPitchTurnAboutThePivot) {
    MovingObject o;
    const Vector3 pivot{100, 50, -20};
    o.SetPosition(&pivot);
    MeshVertex mesh[1] = {{100, 50, 10, 0.25f, 0.5f, 0.75f, 0.1f, 0.2f}};  // 30 ahead of the pivot
    o.SetMesh(mesh, sizeof mesh, kMeshVertexFormat);

    o.Yaw(std::numbers::pi_v<float> / 2);  // forward +z -> +x
    EXPECT_NEAR(o.GetForward().x, 1.0f, 1e-6f);
    EXPECT_NEAR(o.GetForward().z, 0.0f, 1e-6f);
    EXPECT_NEAR(o.GetRight().z, -1.0f, 1e-6f);
    EXPECT_EQ(o.GetUp(), (Vector3{0, 1, 0}));
    const MeshVertex& v = o.GetVertices()[0];
    EXPECT_NEAR(v.x, 130.0f, 1e-4f);
    EXPECT_NEAR(v.z, -20.0f, 1e-4f);
    // Rotations move positions only.
    EXPECT_EQ(v.nx, 0.25f);
    EXPECT_EQ(v.u, 0.1f);
    EXPECT_EQ(o.GetPosition(), pivot);

    MovingObject p;
    p.Pitch(0.5f);  // forward +z toward -y
    EXPECT_NEAR(p.GetForward().y, -std::sin(0.5f), 1e-6f);
    EXPECT_NEAR(p.GetUp().z, std::sin(0.5f), 1e-6f);
    EXPECT_EQ(p.GetRight(), (Vector3{1, 0, 0}));
}

// An object at the origin facing +z, speed 5, looping off, with the given waypoints.
void Prepare(MovingObject& o, std::initializer_list<Vector3> points) {
    o.SetUniformSpeed(5);
    o.GetWaypoints().SetLimit(20);
    for (const Vector3& p : points) o.GetWaypoints().Append(&p);
}

TEST(SteerAndMove, ReachedWithinTenOnEveryAxisInclusive) {
    MovingObject exact;
    Prepare(exact, {{10, -10, 10}, {0, 0, 1000}});
    EXPECT_EQ(exact.SteerAndMove(), 0);
    EXPECT_EQ(exact.GetWaypoints().Count(), 1);
    EXPECT_EQ(exact.GetWaypoints().Front()->z, 1000.0f);

    MovingObject beyond;
    Prepare(beyond, {{10, -10, 10.001f}, {0, 0, 1000}});
    beyond.SteerAndMove();
    EXPECT_EQ(beyond.GetWaypoints().Count(), 2);
    EXPECT_EQ(beyond.GetWaypoints().Front()->z, 10.001f);
}

TEST(SteerAndMove, NoWaypointMeansNoMovement) {
    MovingObject o;
    MeshVertex mesh[1] = {{1, 2, 3, 0, 0, 0, 0, 0}};
    o.SetMesh(mesh, sizeof mesh, kMeshVertexFormat);
    o.SetUniformSpeed(5);
    EXPECT_EQ(o.SteerAndMove(), -1);
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 0}));
    EXPECT_EQ(o.GetVertices()[0].z, 3.0f);
}

TEST(SteerAndMove, WithoutLoopingTheLastWaypointStopsTheObject) {
    MovingObject o;
    Prepare(o, {{0, 0, 10}});
    EXPECT_EQ(o.SteerAndMove(), -1);  // reached at once, nothing left to steer to
    EXPECT_TRUE(o.GetWaypoints().IsEmpty());
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 0}));
    EXPECT_EQ(o.SteerAndMove(), -1);
    EXPECT_EQ(o.GetPosition(), (Vector3{0, 0, 0}));

    MovingObject looping;
    Prepare(looping, {{0, 0, 10}});
    looping.SetLoopWaypoints(1);
    EXPECT_EQ(looping.SteerAndMove(), 0);  // the reached point is its own next target
    EXPECT_EQ(looping.GetWaypoints().Count(), 1);
    EXPECT_EQ(looping.GetPosition().z, 5.0f);
}

TEST(SteerAndMove, SnapsOntoTheTargetDirectionWhenClose) {
    MovingObject o;
    Prepare(o, {{1, 0, 1000}});  // d.x = 0.001: within the snap tolerance
    o.SteerAndMove();
    // Snapped to d, then the yaw case still turns by diff.x > 0 (no dead zone for yaw).
    EXPECT_NEAR(o.GetForward().x, 0.001f + 0.0087f, 1e-5f);
    EXPECT_EQ(o.GetForward().y, 0.0f);
}

TEST(SteerAndMove, PitchesTowardTheTargetOutsideTheDeadZone) {
    MovingObject o;
    Prepare(o, {{0, -100, 1000}});
    o.SteerAndMove();
    EXPECT_NEAR(o.GetForward().y, -std::sin(MovingObject::kPitchStep), 1e-6f);
    MovingObject level;
    Prepare(level, {{0, 4, 1000}});  // diff.y = 0.004: inside the dead zone, no pitch
    level.SteerAndMove();
    EXPECT_EQ(level.GetUp(), (Vector3{0, 1, 0}));
}

// Facing +z, or -z after a half turn; steps once toward `target` and reports forward.x.
float TurnToward(Vector3 target, bool facingBack) {
    MovingObject o;
    if (facingBack) o.Yaw(std::numbers::pi_v<float>);
    Prepare(o, {target});
    const float before = o.GetForward().x;
    o.SteerAndMove();
    return o.GetForward().x - before;
}

TEST(SteerAndMove, TargetBehindTurnsByTheSideAgainstTheMargin) {
    // e = 100 * |(5, 5, 5)| = 866.03. Facing +z with the target behind (r.z < 0):
    // r.x > -e turns toward +x, otherwise toward -x.
    EXPECT_NEAR(TurnToward({0, 0, -500}, false), std::sin(0.0087f), 1e-5f);
    EXPECT_NEAR(TurnToward({-866, 0, -500}, false), std::sin(0.0087f), 1e-5f);
    EXPECT_NEAR(TurnToward({-867, 0, -500}, false), -std::sin(0.0087f), 1e-5f);
    // Facing -z with the target ahead in +z (r.z > 0): the other way round.
    EXPECT_NEAR(TurnToward({0, 0, 500}, true), std::sin(0.0087f), 1e-5f);
    EXPECT_NEAR(TurnToward({-2000, 0, 500}, true), -std::sin(0.0087f), 1e-5f);
    // Facing -z with the target also in -z: by the sign of diff.x, mirrored.
    // Target toward -x of the heading: diff.x < 0 gives a positive yaw, which from -z turns
    // toward -x.
    EXPECT_LT(TurnToward({-100, 0, -1000}, true), 0.0f);
    // r.z = 0: no yaw at all.
    EXPECT_EQ(TurnToward({500, 0, 0}, false), 0.0f);
}

TEST(SteerAndMove, VehicleAReachesItsFirstWaypointOnStep999) {
    MovingObject a;
    MeshVertex mesh[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, mesh);
    SetUpVehicle(a, kVehicleAStart, mesh, kVehicleVertexBytes);
    FillVehicleWaypointsIfEmpty(a, kVehicleAWaypoints);
    for (int step = 1; step <= 998; ++step) a.SteerAndMove();
    // Straight ahead all the way: no yaw, no pitch.
    EXPECT_EQ(a.GetForward(), (Vector3{0, 0, 1}));
    EXPECT_EQ(a.GetPosition(), (Vector3{250, 250, 4990}));
    EXPECT_EQ(a.GetWaypoints().Front()->z, 5000.0f);
    a.SteerAndMove();
    WaypointList& list = a.GetWaypoints();
    EXPECT_EQ(list.Count(), 12);
    EXPECT_EQ(*list.Front(), kVehicleAWaypoints[1]);
    for (int i = 0; i < 11; ++i) list.PopFront();
    EXPECT_EQ(*list.Front(), kVehicleAWaypoints[0]);  // moved to the back
}

TEST(SteerAndMove, VehicleBFirstYawsByMinusOneStep) {
    MovingObject a, b;
    MeshVertex mesh[kVehicleVertexCount];
    BuildVehicleVertices(kVehicleAStart, mesh);
    SetUpVehicle(a, kVehicleAStart, mesh, kVehicleVertexBytes);
    BuildVehicleVertices(kVehicleBStart, mesh);
    SetUpVehicle(b, kVehicleBStart, mesh, kVehicleVertexBytes);
    const float noseDistance = Distance(b.GetVertices()[0], kVehicleBStart);
    UpdateVehicles(a, b);
    const Vector3 f = b.GetForward();
    EXPECT_NEAR(f.x, -0.0087f, 1e-6f);
    EXPECT_EQ(f.y, 0.0f);
    EXPECT_NEAR(f.z, 1.0f, 1e-4f);
    EXPECT_NEAR(b.GetRight().z, 0.0087f, 1e-6f);
    // The mesh turned about the pivot and then moved with it.
    EXPECT_NEAR(Distance(b.GetVertices()[0], b.GetPosition()), noseDistance, 1e-3f);
    EXPECT_NEAR(b.GetPosition().x, 410.0f + 5.0f * f.x, 1e-4f);
    EXPECT_EQ(b.GetWaypoints().Count(), 12);
}

}  // namespace
