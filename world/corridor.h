// The corridor: a closed tube with a six-sided cross-section, 12 rings of 6 vertices (ring 11
// lies on ring 0 with its own texture u, closing the loop) joined by 11 segments.
#pragma once

#include <cstdint>

#include "world/mesh_vertex.h"

inline constexpr int kCorridorRings = 12;
inline constexpr int kCorridorRingVertices = 6;
inline constexpr int kCorridorVertexCount = kCorridorRings * kCorridorRingVertices;  // 72
inline constexpr int kCorridorSegments = kCorridorRings - 1;                         // 11
// 88 wall triangles first (drawn textured), then 44 floor and ceiling triangles.
inline constexpr int kCorridorWallIndexCount = kCorridorSegments * 24;   // 264
inline constexpr int kCorridorIndexCount = kCorridorSegments * 36;       // 396

// Fills the 72 vertices (vertex 6 * ring + k) and the 396 16-bit triangle-list indices.
void BuildCorridorGeometry(MeshVertex vertices[kCorridorVertexCount],
                           std::uint16_t indices[kCorridorIndexCount]);
