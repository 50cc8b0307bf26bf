#include "world/vehicle.h"

#include "math/math3d.h"

namespace {

constexpr float kHalfWidth = 60.0f / 2.0f;
constexpr float kHalfLength = 400.0f / 2.0f;  // the nose sits at half the length
constexpr int kPanelVertices = 16;

}  // namespace

void BuildVehicleVertices(const Vector3& position, MeshVertex out[kVehicleVertexCount]) {
    MeshVertex v[kVehicleVertexCount] = {};
    const Vector3 p = position;

    // Left panel. The nose pair (0, 1) leans outward and down; the rest face -x.
    Vector3 nose{-1.0f, -0.5f, 0.0f};
    Vec3Normalize(&nose, &nose);
    const float bottomY = p.y - 20.0f;
    v[0] = {p.x - 20.0f, bottomY, p.z + kHalfLength, nose.x, nose.y, nose.z, 0, 1};
    v[1] = {p.x - kHalfWidth, p.y, p.z + kHalfLength, nose.x, nose.y, nose.z, 0, 0};
    // Each quad after the first starts with the last two vertices of the quad before it (same
    // positions, this quad's texture corners); each new top vertex steps from the previous
    // top one, and its bottom vertex lies below it at the y of vertex 0.
    auto side = [](float x, float y, float z, float u, float v) {
        return MeshVertex{x, y, z, -1.0f, 0.0f, 0.0f, u, v};
    };
    struct TopStep {
        float dy, dz;
    };
    constexpr TopStep kTopSteps[4] = {{20.0f, -45.0f}, {20.0f, -30.0f}, {0.0f, -60.0f}, {-20.0f, -65.0f}};
    for (int q = 0; q < 4; ++q) {
        const int first = 4 * q;
        if (q > 0) {
            const MeshVertex bottom = v[first - 1], top = v[first - 2];
            v[first] = side(bottom.x, bottom.y, bottom.z, 0, 1);
            v[first + 1] = side(top.x, top.y, top.z, 0, 0);
        }
        const MeshVertex& top = v[first + 1];
        const float x = top.x, y = top.y + kTopSteps[q].dy, z = top.z + kTopSteps[q].dz;
        v[first + 2] = side(x, y, z, 1, 0);
        v[first + 3] = side(x, bottomY, z, 1, 1);
    }

    // Right panel: the left one moved across (the nose by 40, the rest by 60), with only the
    // x of the normal mirrored and the texture coordinates negated.
    for (int i = 0; i < kPanelVertices; ++i) {
        const MeshVertex& l = v[i];
        MeshVertex& r = v[kPanelVertices + i];
        r = l;
        r.x = l.x + (i == 0 ? 40.0f : 2.0f * kHalfWidth);
        r.nx = -l.nx;
        r.ny = 0.0f;
        r.nz = 0.0f;
        r.u = -l.u;
        r.v = -l.v;
    }
    for (int i = 0; i < kVehicleVertexCount; ++i) out[i] = v[i];
}

void BuildVehicleIndices(std::uint16_t out[kVehicleIndexCount]) {
    int n = 0;
    for (int q = 0; q < 8; ++q) {
        const auto b = static_cast<std::uint16_t>(4 * q);
        const std::uint16_t quad[6] = {b, static_cast<std::uint16_t>(b + 1), static_cast<std::uint16_t>(b + 2),
                                       b, static_cast<std::uint16_t>(b + 2), static_cast<std::uint16_t>(b + 3)};
        for (std::uint16_t i : quad) out[n++] = i;
    }
    constexpr std::uint16_t kBody[60] = {
        // top
        1, 17, 2, 17, 2, 18, 5, 21, 6, 21, 6, 22, 9, 25, 10, 25, 10, 26, 13, 29, 14, 29, 14, 30,
        // bottom
        0, 16, 3, 16, 3, 19, 4, 20, 7, 20, 7, 23, 8, 24, 11, 24, 11, 27, 12, 28, 15, 28, 15, 31,
        // front
        16, 17, 0, 17, 1, 0,
        // back
        15, 14, 31, 14, 30, 31,
    };
    for (std::uint16_t i : kBody) out[n++] = i;
}

int SetUpVehicle(MovingObject& vehicle, const Vector3& start, const MeshVertex* vertices,
                 std::uint32_t bytes) {
    vehicle.SetExtent(kVehicleNominalExtent.x, kVehicleNominalExtent.y, kVehicleNominalExtent.z);
    vehicle.SetLoopWaypoints(1);
    vehicle.SetUniformSpeed(kVehicleSpeed);
    vehicle.SetPosition(&start);
    return vehicle.SetMesh(vertices, bytes, kMeshVertexFormat);
}

void FillVehicleWaypointsIfEmpty(MovingObject& vehicle,
                                 const Vector3 (&waypoints)[kVehicleWaypointCount]) {
    WaypointList& list = vehicle.GetWaypoints();
    if (!list.IsEmpty()) return;
    vehicle.SetUniformSpeed(kVehicleSpeed);
    list.SetLimit(kVehicleWaypointLimit);
    vehicle.SetLoopWaypoints(1);
    for (const Vector3& w : waypoints) list.Append(&w);
}

int UpdateVehicles(MovingObject& a, MovingObject& b) {
    FillVehicleWaypointsIfEmpty(a, kVehicleAWaypoints);
    FillVehicleWaypointsIfEmpty(b, kVehicleBWaypoints);
    a.SteerAndMove();
    b.SteerAndMove();
    return 0;
}
