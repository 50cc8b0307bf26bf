// A self-steering object: its own copy of a mesh in world coordinates, a pivot position, a
// per-axis speed, three axes and a ring of waypoints. Each frame SteerAndMove turns it a
// little toward the first waypoint and moves it one step along its forward axis. Motion is
// counted in frames, not time; nothing is ever tested for collision.
#pragma once

#include <cstdint>

#include "math/types.h"
#include "world/mesh_vertex.h"
#include "world/waypoint_list.h"

class MovingObject {
public:
    // Steering constants of SteerAndMove.
    static constexpr float kReachDistance = 10.0f;   // per axis, inclusive
    static constexpr float kSnapTolerance = 0.005f;  // per axis, inclusive; also the pitch dead zone
    static constexpr float kPitchStep = 0.0175f;     // radians
    static constexpr float kYawStep = 0.0087f;       // radians
    static constexpr float kTurnBackMargin = 100.0f; // times the speed's length
    static constexpr std::int32_t kInitialWaypointLimit = 10;

    MovingObject();
    ~MovingObject();
    MovingObject(const MovingObject&) = delete;
    MovingObject& operator=(const MovingObject&) = delete;

    // Null sets the origin.
    int SetPosition(const Vector3* position);
    // Keeps its own copy of the records. -1, nothing changed, when data is null, bytes is
    // not a whole number of 32-byte records, or the copy cannot be allocated.
    int SetMesh(const void* data, std::uint32_t bytes, std::uint32_t format);
    const MeshVertex* GetVertices() const { return vertices; }
    std::uint32_t GetVertexBytes() const { return vertexBytes; }
    std::uint32_t GetVertexFormat() const { return vertexFormat; }
    // The nominal size; stored, read by nothing here.
    int SetExtent(float x, float y, float z);
    int SetUniformSpeed(float s);
    int SetLoopWaypoints(std::uint8_t loop);
    WaypointList& GetWaypoints() { return waypoints; }
    const WaypointList& GetWaypoints() const { return waypoints; }
    Vector3 GetPosition() const { return position; }
    Vector3 GetForward() const { return forward; }
    Vector3 GetRight() const { return right; }
    Vector3 GetUp() const { return up; }
    Vector3 GetExtent() const { return extent; }
    Vector3 GetSpeed() const { return speed; }

    // Adds (speed.x forward.x, speed.y forward.y, speed.z forward.z) to the position and to
    // every vertex.
    int Move();
    // Turns about the up axis through the position (positive: forward from +z toward +x);
    // right and forward turn with the mesh.
    int Yaw(float angle);
    // Turns about the right axis through the position (positive: forward from +z toward -y);
    // up and forward turn with the mesh.
    int Pitch(float angle);
    // One frame: consume the first waypoint when within reach, steer toward the next, Move.
    // -1, without moving, when there is no waypoint to steer to.
    int SteerAndMove();

private:
    int Rotate(const Vector3& axis, float angle, Vector3& turnedAxis);

    MeshVertex* vertices = nullptr;  // owned
    std::uint32_t vertexBytes = 0;
    std::uint32_t vertexCount = 0;   // vertexBytes / 32
    std::uint32_t vertexFormat = 0;
    Vector3 position{0, 0, 0};       // the pivot of every rotation
    Vector3 speed{0, 0, 0};          // step length per frame along each axis
    Vector3 forward{0, 0, 1};
    Vector3 right{1, 0, 0};          // pitch axis
    Vector3 up{0, 1, 0};             // yaw axis
    Vector3 extent{0, 0, 0};
    WaypointList waypoints;
    std::uint8_t loopWaypoints = 0;  // 1: a reached waypoint goes to the back of the list
};
