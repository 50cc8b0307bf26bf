#include "game/game_app.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/math3d.h"
#include "world/corridor.h"
#include "world/mesh_vertex.h"
#include "world/routes.h"
#include "world/vehicle.h"

namespace {

constexpr D3DCOLOR kClearColor = 0xFF000055u;  // opaque, blue 0x55

// Every material is black but for its emissive colour: no light is ever set, so a lit
// vertex takes exactly the emissive colour of the current material.
D3DMATERIAL8 EmissiveMaterial(float r, float g, float b) {
    D3DMATERIAL8 material{};
    material.Emissive = {r, g, b, 0.0f};
    return material;
}
const D3DMATERIAL8 kBright = EmissiveMaterial(1.0f, 1.0f, 1.0f);
const D3DMATERIAL8 kDim = EmissiveMaterial(0.25f, 0.25f, 0.25f);
const D3DMATERIAL8 kBlack = EmissiveMaterial(0.0f, 0.0f, 0.0f);

const CameraFrame kStartFrame{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {250, 250, -20}};

// The draw ranges the meshes are built to match.
constexpr UINT kMeshStride = sizeof(MeshVertex);
constexpr UINT kCorridorVertices = 72;
constexpr UINT kCorridorWallTriangles = 88;
constexpr UINT kCorridorFloorStart = 264;
constexpr UINT kCorridorFloorTriangles = 44;
constexpr UINT kVehicleVertices = 32;
constexpr UINT kVehicleSideTriangles = 16;
constexpr UINT kVehicleBodyStart = 48;
constexpr UINT kVehicleBodyTriangles = 20;

// Chase camera and key placement.
constexpr float kChaseDistance = 200.0f;
constexpr float kPlacementRise = 50.0f;
constexpr float kPlacementBack = 100.0f;
// Autopilot: reach per axis, aim tolerance, the x at which the route starts over, and the
// list's limit.
constexpr float kAutoPilotReach = 10.0f;
constexpr float kAimTolerance = 0.025f;
constexpr float kAutoPilotResetX = 18900.0f;

constexpr float kSpeedStep = 1.0f;
constexpr float kMaxSpeed = 10.0f;
constexpr float kMinSpeed = 1.0f;

template <typename T>
void ReleaseSlot(T*& slot) {
    if (slot) {
        slot->Release();
        slot = nullptr;
    }
}

}  // namespace

GameApp::GameApp()
    : AppFrame(),
      m_bAutoPilot(false),
      m_bChaseA(false),
      m_bChaseB(false),
      m_bBlend(false),
      m_vehicleA(),
      m_vehicleB(),
      m_cameraWaypoints(),
      m_pCorridorVB(nullptr),
      m_pVehicleAVB(nullptr),
      m_pVehicleBVB(nullptr),
      m_pCorridorIB(nullptr),
      m_pVehicleIB(nullptr),
      m_pCorridorTex(nullptr),
      m_pCorridorShineTex(nullptr),
      m_pVehicleTex(nullptr),
      m_pVehicleShineTex(nullptr) {}

// Members go in reverse: the waypoint list (its nodes), vehicle B, vehicle A, then the frame.
GameApp::~GameApp() = default;

int GameApp::InitScene() {
    SetCameraFrame(&kStartFrame);
    SetMoveSpeed(5.0f);
    SetFarDistance(50000.0f);
    BuildCorridorMesh();
    return SetUpVehicles();
}

int GameApp::Update() { return AppFrame::Update(); }

// One frame. The vehicles are drawn where the previous frame left them, then move; the
// camera modes place the camera after that, and the view set at the top of the next
// frame shows it.
int GameApp::Render() {
    IDirect3DDevice8* device = m_pDevice;
    if (!device)
        return D3DERR_INVALIDCALL;
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
    device->BeginScene();
    SetupMatrices();
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    // Stage 1 multiplies stage 0's result by its own texture, with stage 0's coordinates.
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    device->SetMaterial(&kBright);
    AppFrame::Render();

    // The corridor: textured walls (blended when 'T' is on), then the dim floor and ceiling.
    device->SetTexture(0, m_pCorridorTex);
    device->SetTexture(1, m_pCorridorShineTex);
    SetAlphaBlend(m_bBlend);
    device->SetStreamSource(0, m_pCorridorVB, kMeshStride);
    device->SetVertexShader(kMeshVertexFormat);
    device->SetIndices(m_pCorridorIB, 0);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, kCorridorVertices, 0, kCorridorWallTriangles);
    device->SetMaterial(&kDim);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, kCorridorVertices, kCorridorFloorStart,
                                 kCorridorFloorTriangles);
    SetAlphaBlend(false);

    // The vehicles: textured side panels, then the black body.
    MovingObject* const vehicles[2] = {&m_vehicleA, &m_vehicleB};
    IDirect3DVertexBuffer8* const buffers[2] = {m_pVehicleAVB, m_pVehicleBVB};
    device->SetMaterial(&kBright);
    device->SetTexture(0, m_pVehicleTex);
    device->SetTexture(1, m_pVehicleShineTex);
    for (int i = 0; i < 2; ++i) {
        device->SetStreamSource(0, buffers[i], kMeshStride);
        device->SetVertexShader(vehicles[i]->GetVertexFormat());
        device->SetIndices(m_pVehicleIB, 0);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, kVehicleVertices, 0, kVehicleSideTriangles);
    }
    device->SetMaterial(&kBlack);
    device->SetTexture(0, nullptr);
    device->SetTexture(1, nullptr);
    for (int i = 0; i < 2; ++i) {
        device->SetStreamSource(0, buffers[i], kMeshStride);
        device->SetVertexShader(vehicles[i]->GetVertexFormat());
        device->SetIndices(m_pVehicleIB, 0);
        device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, kVehicleVertices, kVehicleBodyStart,
                                     kVehicleBodyTriangles);
    }
    UpdateVehicles();
    // The buffers exist since set-up: both are refilled in place.
    InitVertexBuffer(&m_pVehicleAVB, m_vehicleA.GetVertices(), m_vehicleA.GetVertexBytes(),
                     m_vehicleA.GetVertexFormat());
    InitVertexBuffer(&m_pVehicleBVB, m_vehicleB.GetVertices(), m_vehicleB.GetVertexBytes(),
                     m_vehicleB.GetVertexFormat());

    if (m_bAutoPilot)
        AutoPilotStep();
    if (m_bChaseA)
        ChaseVehicle(m_vehicleA);
    else if (m_bChaseB)
        ChaseVehicle(m_vehicleB);

    device->EndScene();
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

int GameApp::ReleaseScene() {
    ReleaseSlot(m_pVehicleShineTex);
    ReleaseSlot(m_pVehicleTex);
    ReleaseSlot(m_pCorridorShineTex);
    ReleaseSlot(m_pCorridorTex);
    ReleaseSlot(m_pVehicleIB);
    ReleaseSlot(m_pCorridorIB);
    ReleaseSlot(m_pVehicleBVB);
    ReleaseSlot(m_pVehicleAVB);
    ReleaseSlot(m_pCorridorVB);
    return 0;
}

// The game's keys act on release; every message then goes on to the frame, so key
// states, Esc and the function keys work in every mode.
LRESULT GameApp::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYUP) {
        switch (static_cast<BYTE>(wParam & 0xFF)) {
        case '1':
            m_bChaseA = !m_bChaseA;
            if (m_bChaseA) {
                m_bChaseB = false;
                m_bAutoPilot = false;
                PlaceOnVehicle(m_vehicleA);
            }
            break;
        case '2':
            m_bChaseB = !m_bChaseB;
            if (m_bChaseB) {
                m_bChaseA = false;
                m_bAutoPilot = false;
                PlaceOnVehicle(m_vehicleB);
            }
            break;
        case '3':
            m_bAutoPilot = !m_bAutoPilot;
            if (m_bAutoPilot) {
                m_bChaseA = false;
                m_bChaseB = false;
                ResetAutoPilot();
            }
            break;
        case 'T':
            m_bBlend = !m_bBlend;
            break;
        case 'V': {
            float speed = GetMoveSpeed() + kSpeedStep;
            if (speed > kMaxSpeed)
                speed = kMinSpeed;
            SetMoveSpeed(speed);
            break;
        }
        default:
            break;
        }
    }
    return AppFrame::HandleMessage(window, message, wParam, lParam);
}

// ---- scene set-up ---------------------------------------------------------------------

HRESULT GameApp::BuildCorridorMesh() {
    MeshVertex vertices[kCorridorVertexCount];
    std::uint16_t indices[kCorridorIndexCount];
    BuildCorridorGeometry(vertices, indices);
    static_assert(sizeof vertices == 2304 && sizeof indices == 792);
    InitVertexBuffer(&m_pCorridorVB, vertices, sizeof vertices, kMeshVertexFormat);
    InitIndexBuffer(&m_pCorridorIB, indices, sizeof indices);
    LoadTexture("Textures\\corridor1.jpg", &m_pCorridorTex);
    return LoadTexture("Textures\\corridorshine1.jpg", &m_pCorridorShineTex);
}

HRESULT GameApp::BuildVehicleMesh(const float position[3], MeshVertex* vertices, DWORD* bytes) {
    if (!position || !vertices || !bytes)
        return D3DERR_INVALIDCALL;
    MeshVertex built[kVehicleVertexCount];
    BuildVehicleVertices(Vector3{position[0], position[1], position[2]}, built);
    HRESULT result = 0;
    if (!m_pVehicleIB) {
        std::uint16_t indices[kVehicleIndexCount];
        BuildVehicleIndices(indices);
        static_assert(sizeof indices == 216);
        result = InitIndexBuffer(&m_pVehicleIB, indices, sizeof indices);
    }
    // A load that failed left the slot empty: the next vehicle tries both again.
    if (!m_pVehicleTex) {
        LoadTexture("Textures\\vehicle2.jpg", &m_pVehicleTex);
        result = LoadTexture("Textures\\vehicleshine1.jpg", &m_pVehicleShineTex);
    }
    *bytes = kVehicleVertexBytes;
    std::memcpy(vertices, built, kVehicleVertexBytes);
    return result;
}

HRESULT GameApp::SetUpVehicles() {
    // One array serves both vehicles: each keeps its own copy.
    MeshVertex vertices[kVehicleVertexCount];
    DWORD bytes = 0;
    const float startA[3] = {kVehicleAStart.x, kVehicleAStart.y, kVehicleAStart.z};
    const float startB[3] = {kVehicleBStart.x, kVehicleBStart.y, kVehicleBStart.z};
    BuildVehicleMesh(startA, vertices, &bytes);
    SetUpVehicle(m_vehicleA, kVehicleAStart, vertices, bytes);
    BuildVehicleMesh(startB, vertices, &bytes);
    SetUpVehicle(m_vehicleB, kVehicleBStart, vertices, bytes);
    InitVertexBuffer(&m_pVehicleAVB, m_vehicleA.GetVertices(), m_vehicleA.GetVertexBytes(),
                     m_vehicleA.GetVertexFormat());
    return InitVertexBuffer(&m_pVehicleBVB, m_vehicleB.GetVertices(), m_vehicleB.GetVertexBytes(),
                            m_vehicleB.GetVertexFormat());
}

int GameApp::UpdateVehicles() {
    ::UpdateVehicles(m_vehicleA, m_vehicleB);
    return 0;
}

// ---- camera modes -------------------------------------------------------------------------

void GameApp::PlaceOnVehicle(const MovingObject& vehicle) {
    Vector3 position = vehicle.GetPosition();
    position.y += kPlacementRise;
    position.z -= kPlacementBack;
    m_camera.position = position;
    m_camera.forward = vehicle.GetForward();
    m_camera.right = vehicle.GetRight();
    m_camera.up = vehicle.GetUp();
}

// 200 units behind the vehicle on its forward axis, oriented like it.
int GameApp::ChaseVehicle(const MovingObject& vehicle) {
    m_camera.position = vehicle.GetPosition();
    m_camera.forward = vehicle.GetForward();
    m_camera.right = vehicle.GetRight();
    m_camera.up = vehicle.GetUp();
    m_camera.position.x -= kChaseDistance * m_camera.forward.x;
    m_camera.position.y -= kChaseDistance * m_camera.forward.y;
    m_camera.position.z -= kChaseDistance * m_camera.forward.z;
    return 0;
}

int GameApp::ResetAutoPilot() {
    SetCameraFrame(&kStartFrame);
    m_cameraWaypoints.Clear();
    return 0;
}

// Either one turning step toward the target or, when aimed within the tolerance in x and
// y, one speed step toward it. A reached target goes to the back of the route.
int GameApp::AutoPilotStep() {
    const Vector3* front = m_cameraWaypoints.Front();
    if (m_cameraWaypoints.IsEmpty()) {
        m_cameraWaypoints.SetLimit(kAutoPilotRouteLimit);
        for (const Vector3& point : kAutoPilotRoute)
            m_cameraWaypoints.Append(&point);
        front = m_cameraWaypoints.Front();
    }
    if (!front)
        return -1;
    Vector3 target = *front;
    const Vector3& position = m_camera.position;
    if (std::fabs(position.x - target.x) <= kAutoPilotReach && std::fabs(position.y - target.y) <= kAutoPilotReach &&
        std::fabs(position.z - target.z) <= kAutoPilotReach) {
        const Vector3 reached = target;
        m_cameraWaypoints.PopFront();
        m_cameraWaypoints.Append(&reached);
        front = m_cameraWaypoints.Front();
        if (!front)
            return -1;
        target = *front;
    }
    Vector3 d{target.x - position.x, target.y - position.y, target.z - position.z};
    Vec3Normalize(&d, &d);
    const Vector3 e{d.x - m_camera.forward.x, d.y - m_camera.forward.y, d.z - m_camera.forward.z};
    int code;
    if (e.x < -kAimTolerance) {
        code = d.z > 0 ? kTurnLeft : kTurnRight;
    } else if (e.x > kAimTolerance) {
        code = d.z > 0 ? kTurnRight : kTurnLeft;
    } else if (e.y < -kAimTolerance) {
        code = kLookDown;
    } else if (e.y > kAimTolerance) {
        code = kLookUp;
    } else {
        if (m_camera.position.x >= kAutoPilotResetX)
            ResetAutoPilot();
        code = kStepForward;
    }
    return MoveCamera(code);
}

VehicleState GameApp::GetVehicleState(int index) const {
    const MovingObject& vehicle = index == 0 ? m_vehicleA : m_vehicleB;
    VehicleState state{};
    state.position = vehicle.GetPosition();
    state.forward = vehicle.GetForward();
    state.right = vehicle.GetRight();
    state.up = vehicle.GetUp();
    const Vector3* target = vehicle.GetWaypoints().Front();
    state.hasTarget = target != nullptr;
    if (target)
        state.target = *target;
    return state;
}

int GameMain(HINSTANCE instance) {
    GameApp app;
    app.SetDataDirectory(GameDataDirectory().c_str());
    return RunApplication(app, instance);
}
