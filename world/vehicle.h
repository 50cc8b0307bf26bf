// The vehicles: a wedge-nosed body 60 wide, 60 high and 200 long (two textured side panels
// joined by an untextured top, bottom, front and back), built in world coordinates around its
// pivot, and the per-frame steps that give both vehicles their waypoints and move them.
#pragma once

#include <cstdint>

#include "math/types.h"
#include "world/mesh_vertex.h"
#include "world/moving_object.h"

inline constexpr int kVehicleVertexCount = 32;
inline constexpr std::uint32_t kVehicleVertexBytes = kVehicleVertexCount * sizeof(MeshVertex);  // 1024
// 16 side-panel triangles first (drawn textured), then 20 body triangles.
inline constexpr int kVehiclePanelIndexCount = 48;
inline constexpr int kVehicleIndexCount = 108;
inline constexpr int kVehicleWaypointCount = 12;

inline constexpr Vector3 kVehicleAStart{250.0f, 250.0f, 0.0f};
inline constexpr Vector3 kVehicleBStart{410.0f, 200.0f, 0.0f};
inline constexpr Vector3 kVehicleNominalExtent{60.0f, 250.0f, 400.0f};
inline constexpr float kVehicleSpeed = 5.0f;
inline constexpr std::int32_t kVehicleWaypointLimit = 20;

// The laps of both vehicles through the corridor, in list order. Some z values are given by
// their derivation; each is the float it names:
//   23444.3f         = 23444.30078125  (0x46B7289A)
//   29438.5f - 1400  = 28038.5         (0x46DB0D00)
//   29438.5f - 1200  = 28238.5         (0x46DC9D00)
//   21074.6f         = 21074.599609375 (0x46A4A533)
//   21074.6f - 350   = 20724.599609375 (0x46A1E933)
//   21074.6f - 500   = 20574.599609375 (0x46A0BD33)
inline constexpr Vector3 kVehicleAWaypoints[kVehicleWaypointCount] = {
    {250.0f, 250.0f, 5000.0f},
    {-800.0f, -750.0f, 7500.0f},
    {-750.0f, -750.0f, 10500.0f},
    {-250.0f, 2050.0f, 14500.0f},
    {-250.0f, -2322.0f, 23444.3f},
    {8150.0f, -2250.0f, 29438.5f - 1400.0f},
    {15000.0f, -1100.0f, 21074.6f - 350.0f},
    {16500.0f, -1500.0f, 15000.0f},
    {11000.0f, -500.0f, 7500.0f},
    {5350.0f, 375.0f, 0.0f},
    {2900.0f, 350.0f, -2500.0f},
    {250.0f, 250.0f, 0.0f},
};
inline constexpr Vector3 kVehicleBWaypoints[kVehicleWaypointCount] = {
    {350.0f, 200.0f, 5000.0f},
    {-725.0f, -700.0f, 7500.0f},
    {-725.0f, -680.0f, 10500.0f},
    {-275.0f, 2100.0f, 14500.0f},
    {-250.0f, -2222.0f, 23444.3f},
    {8250.0f, -2150.0f, 29438.5f - 1200.0f},
    {15000.0f, -1100.0f, 21074.6f - 500.0f},
    {17000.0f, -1500.0f, 15000.0f},
    {11500.0f, -600.0f, 7500.0f},
    {5150.0f, 200.0f, 0.0f},
    {2850.0f, 350.0f, -2400.0f},
    {350.0f, 200.0f, 0.0f},
};

// The 32 vertices of one vehicle whose pivot is `position`: the body spans x +-30, y -20..+40
// and z 0..+200 (the nose) around it. Vertices 0-15 are the left panel as four quads from
// front to back, 16-31 the right panel.
void BuildVehicleVertices(const Vector3& position, MeshVertex out[kVehicleVertexCount]);

// The 108 triangle-list indices shared by both vehicles.
void BuildVehicleIndices(std::uint16_t out[kVehicleIndexCount]);

// The settings a vehicle gets at scene set-up: nominal extent, looping waypoints, speed 5,
// the start position and its own copy of the vertices (format 0x112). Returns SetMesh's
// result.
int SetUpVehicle(MovingObject& vehicle, const Vector3& start, const MeshVertex* vertices,
                 std::uint32_t bytes);

// When the list is empty (the first frame): speed 5, limit 20, looping, then the waypoints
// in order. With looping on, a list once filled never empties again.
void FillVehicleWaypointsIfEmpty(MovingObject& vehicle,
                                 const Vector3 (&waypoints)[kVehicleWaypointCount]);

// One frame of both vehicles: fill empty lists (A with the A table, B with the B table),
// then SteerAndMove A, then B. The results of the steps are ignored; returns 0.
int UpdateVehicles(MovingObject& a, MovingObject& b);
