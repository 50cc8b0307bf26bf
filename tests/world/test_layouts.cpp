// Records handed to the device as they are: the vertex record against its format code, and
// the math layer's viewport twin against the platform's viewport.
#include <gtest/gtest.h>

#include <bit>
#include <cstddef>

#include "math/math3d.h"
#include "platform/d3d8/d3d8types.h"
#include "world/mesh_vertex.h"

static_assert(kMeshVertexFormat == (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1));
static_assert(offsetof(MeshVertex, nx) == 12 && offsetof(MeshVertex, u) == 24);
static_assert(sizeof(Viewport) == sizeof(D3DVIEWPORT8));
static_assert(offsetof(Viewport, Width) == offsetof(D3DVIEWPORT8, Width));
static_assert(offsetof(Viewport, MinZ) == offsetof(D3DVIEWPORT8, MinZ));
static_assert(offsetof(Viewport, MaxZ) == offsetof(D3DVIEWPORT8, MaxZ));

TEST(Layouts, PlatformViewportProjectsThroughTheMathTwin) {
    const D3DVIEWPORT8 platform{0, 0, 800, 600, 0.0f, 1.0f};
    const Viewport twin = std::bit_cast<Viewport>(platform);
    const Vector3 origin{0, 0, 0};
    Vector3 out;
    Vec3Project(&out, &origin, &twin, nullptr, nullptr, nullptr);
    EXPECT_EQ(out, (Vector3{400, 300, 0}));
}
