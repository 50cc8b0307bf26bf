#include "world/moving_object.h"

#include <cmath>
#include <cstring>
#include <new>

#include "math/math3d.h"

MovingObject::MovingObject() { waypoints.SetLimit(kInitialWaypointLimit); }

MovingObject::~MovingObject() {
    delete[] vertices;
    vertices = nullptr;
    waypoints.Clear();
}

int MovingObject::SetPosition(const Vector3* p) {
    position = p ? *p : Vector3{0, 0, 0};
    return 0;
}

int MovingObject::SetMesh(const void* data, std::uint32_t bytes, std::uint32_t format) {
    if (!data || bytes % sizeof(MeshVertex) != 0) return -1;
    const std::uint32_t count = bytes / sizeof(MeshVertex);
    MeshVertex* copy = nullptr;
    if (count > 0) {
        copy = new (std::nothrow) MeshVertex[count];
        if (!copy) return -1;
        std::memcpy(copy, data, bytes);
    }
    delete[] vertices;
    vertices = copy;
    vertexBytes = bytes;
    vertexCount = count;
    vertexFormat = format;
    return 0;
}

int MovingObject::SetExtent(float x, float y, float z) {
    extent = Vector3{x, y, z};
    return 0;
}

int MovingObject::SetUniformSpeed(float s) {
    speed = Vector3{s, s, s};
    return 0;
}

int MovingObject::SetLoopWaypoints(std::uint8_t loop) {
    loopWaypoints = loop;
    return 0;
}

int MovingObject::Move() {
    const Vector3 step{speed.x * forward.x, speed.y * forward.y, speed.z * forward.z};
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        vertices[i].x += step.x;
        vertices[i].y += step.y;
        vertices[i].z += step.z;
    }
    position += step;
    return 0;
}

// Rotates every vertex about `axis` through the position, then forward and `turnedAxis`
// (the other axis that is not the rotation axis).
int MovingObject::Rotate(const Vector3& axis, float angle, Vector3& turnedAxis) {
    Matrix rotation;
    MatrixRotationAxis(&rotation, &axis, angle);
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        MeshVertex& v = vertices[i];
        Vector3 p{v.x - position.x, v.y - position.y, v.z - position.z};
        Vec3TransformCoord(&p, &p, &rotation);
        v.x = p.x + position.x;
        v.y = p.y + position.y;
        v.z = p.z + position.z;
    }
    Vec3TransformCoord(&turnedAxis, &turnedAxis, &rotation);
    Vec3TransformCoord(&forward, &forward, &rotation);
    return 0;
}

int MovingObject::Yaw(float angle) { return Rotate(up, angle, right); }

int MovingObject::Pitch(float angle) { return Rotate(right, angle, up); }

namespace {

bool WithinReach(const Vector3& target, const Vector3& position) {
    return std::fabs(target.x - position.x) <= MovingObject::kReachDistance &&
           std::fabs(target.y - position.y) <= MovingObject::kReachDistance &&
           std::fabs(target.z - position.z) <= MovingObject::kReachDistance;
}

}  // namespace

int MovingObject::SteerAndMove() {
    const Vector3* front = waypoints.Front();
    if (!front) return -1;
    if (WithinReach(*front, position)) {
        // Only one waypoint is consumed per frame; with looping it goes to the back.
        const Vector3 reached = *front;
        waypoints.PopFront();
        if (loopWaypoints) waypoints.Append(&reached);
        front = waypoints.Front();
        if (!front) return -1;
    }
    const Vector3 r = *front - position;
    Vector3 d;
    Vec3Normalize(&d, &r);
    const Vector3 diff = d - forward;

    if (std::fabs(diff.x) <= kSnapTolerance && std::fabs(diff.y) <= kSnapTolerance &&
        std::fabs(diff.z) <= kSnapTolerance)
        forward = d;

    if (diff.y < -kSnapTolerance)
        Pitch(kPitchStep);
    else if (diff.y > kSnapTolerance)
        Pitch(-kPitchStep);

    // Heading and target on the same side in z: turn toward the target by the sign of
    // diff.x (no dead zone, so an object on course alternates by one step). Otherwise the
    // target is behind or beside: turn back, choosing the side by r.x against the margin.
    const float margin = kTurnBackMargin * Vec3Length(&speed);
    if (r.z > 0 && forward.z > 0) {
        if (diff.x > 0)
            Yaw(kYawStep);
        else if (diff.x < 0)
            Yaw(-kYawStep);
    } else if (r.z < 0 && forward.z < 0) {
        if (diff.x > 0)
            Yaw(-kYawStep);
        else if (diff.x < 0)
            Yaw(kYawStep);
    } else if (r.z > 0) {
        Yaw(r.x > -margin ? -kYawStep : kYawStep);
    } else if (r.z < 0) {
        Yaw(r.x > -margin ? kYawStep : -kYawStep);
    }
    return Move();
}
