// GameApp: the game. Two self-steering vehicles lap the corridor while the camera flies
// freely, chases either vehicle or follows its own autopilot route. It overrides all five
// operations of the frame and owns the nine platform resources of the scene.
#pragma once

#include <string>

#include "app/app_frame.h"
#include "math/types.h"
#include "world/moving_object.h"
#include "world/waypoint_list.h"

struct MeshVertex;

// What the capture tool reports of a vehicle: its frame and the waypoint it steers to.
struct VehicleState {
    Vector3 position;
    Vector3 forward;
    Vector3 right;
    Vector3 up;
    Vector3 target;
    bool hasTarget;
};

class GameApp : public AppFrame {
public:
    GameApp();
    ~GameApp() override;

    int InitScene() override;
    int Update() override;
    int Render() override;
    int ReleaseScene() override;
    LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

    // Scene set-up: the corridor's buffers and textures, the vehicles' meshes and buffers.
    HRESULT BuildCorridorMesh();
    HRESULT BuildVehicleMesh(const float position[3], MeshVertex* vertices, DWORD* bytes);
    HRESULT SetUpVehicles();
    // Both vehicles steer and move one step (their routes are filled on the first call).
    int UpdateVehicles();

    // Camera modes.
    int ChaseVehicle(const MovingObject& vehicle);
    int ResetAutoPilot();
    int AutoPilotStep();

    bool IsChaseA() const { return m_bChaseA; }
    bool IsChaseB() const { return m_bChaseB; }
    bool IsAutoPilot() const { return m_bAutoPilot; }
    bool IsBlend() const { return m_bBlend; }
    // Vehicle 0 is A, 1 is B.
    VehicleState GetVehicleState(int index) const;

protected:
    // Places the camera on a vehicle when its chase mode is switched on.
    void PlaceOnVehicle(const MovingObject& vehicle);

    bool m_bAutoPilot;
    bool m_bChaseA;
    bool m_bChaseB;
    bool m_bBlend;
    MovingObject m_vehicleA;
    MovingObject m_vehicleB;
    WaypointList m_cameraWaypoints;
    IDirect3DVertexBuffer8* m_pCorridorVB;
    IDirect3DVertexBuffer8* m_pVehicleAVB;
    IDirect3DVertexBuffer8* m_pVehicleBVB;
    IDirect3DIndexBuffer8* m_pCorridorIB;
    IDirect3DIndexBuffer8* m_pVehicleIB;
    IDirect3DTexture8* m_pCorridorTex;
    IDirect3DTexture8* m_pCorridorShineTex;
    IDirect3DTexture8* m_pVehicleTex;
    IDirect3DTexture8* m_pVehicleShineTex;
};

// The program entry's work for the game: construct GameApp and run it with the program's
// settings, reading its data from GameDataDirectory(). Returns the exit code.
int GameMain(HINSTANCE instance);

// The folder holding the game's data (its Textures folder), whatever the working
// directory: for an installed program share/tolvane beside its bin/, for a program of the
// build tree the source tree it was built from. Empty when that has no data: the names
// are then read from the working directory.
std::string GameDataDirectory();
