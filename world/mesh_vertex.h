// The one vertex record of all game geometry: position, normal, one texture coordinate pair.
#pragma once

#include <cstdint>

struct MeshVertex {
    float x, y, z;     // position, world coordinates
    float nx, ny, nz;  // normal, stored as generated (not necessarily unit length)
    float u, v;        // texture coordinates; both texture stages read this pair
};
static_assert(sizeof(MeshVertex) == 32, "vertex buffers are filled with a 32-byte stride");

// The vertex format code of MeshVertex: position (0x002) | normal (0x010) | one texture
// coordinate set (0x100).
inline constexpr std::uint32_t kMeshVertexFormat = 0x002 | 0x010 | 0x100;
static_assert(kMeshVertexFormat == 0x112);
