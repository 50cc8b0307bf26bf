// AppFrame: the base of the application. It owns the one window, the Direct3D 8 object
// and device, the message loop and a free-flight camera, and it calls five virtual
// operations that the game overrides: InitScene once before the loop, Update and Render
// once per pass, ReleaseScene once after it, and HandleMessage for every window message.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "math/types.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/windows.h"
#include "app/export.h"

TOLVANE_API_BEGIN

// The camera: three axes and a position, copied as one block.
struct CameraFrame {
    Vector3 right;
    Vector3 up;
    Vector3 forward;
    Vector3 position;
};

// One vertex of the axis lines: position and ARGB colour, format D3DFVF_XYZ | D3DFVF_DIFFUSE.
struct AxisVertex {
    Vector3 position;
    D3DCOLOR color;
};
static_assert(sizeof(AxisVertex) == 16, "the axis lines are drawn with a stride of 16 bytes");

constexpr DWORD kAxisVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE;  // 0x042

// The elementary camera steps of MoveCamera.
enum CameraStep : int {
    kStepForward = 0,
    kStepBack = 1,
    kStepLeft = 2,
    kStepRight = 3,
    kStepUp = 4,
    kStepDown = 5,
    kLookUp = 6,
    kLookDown = 7,
    kTurnLeft = 8,
    kTurnRight = 9,
};

// Hooks around every pass of the message loop. Run numbers the passes from 0; `before`
// runs ahead of the pass's PeekMessageA, `after` once the pass is over (rendered tells
// whether Render ran in it). When `after` returns false the loop ends as it does on
// WM_QUIT. The capture tool and the tests use them to feed input and to read the state
// between passes; the game itself sets none.
struct PassHooks {
    std::function<void(int pass)> before;
    std::function<bool(int pass, bool rendered)> after;
};

class AppFrame {
public:
    AppFrame();

    // The five overridable operations, in slot order.
    virtual int InitScene();
    virtual int Update();
    virtual int Render();
    virtual int ReleaseScene();
    virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Releases nothing: the device and buffers go in ReleaseDevice, after the loop.
    virtual ~AppFrame();

    AppFrame(const AppFrame&) = delete;
    AppFrame& operator=(const AppFrame&) = delete;

    // Setters return 0 when done and -1 when refused. The first four refuse once Create ran.
    int SetCulling(bool culling);
    int SetLighting(bool lighting);
    int SetDepthBuffer(bool depthBuffer);
    int SetTitle(const char* title);
    int SetShowAxes(bool showAxes);
    int SetSize(int width, int height);
    int SetMoveSpeed(float speed);
    float GetMoveSpeed() const;
    bool IsPaused() const { return m_bPaused; }
    bool IsMouseDown() const { return m_bMouseDown; }
    bool IsMouseInverted() const { return m_bInvertMouse; }
    // The cursor as read in the last frame in which the left button was held.
    POINT GetLastCursor() const { return m_lastCursor; }
    HWND GetWindow() const { return m_hWnd; }
    int SetFarDistance(float farDistance);
    int SetPaused(bool paused);
    // Copies the frame; null sets the identity axes at the origin.
    int SetCameraFrame(const CameraFrame* frame);
    // The camera itself, for change in place.
    CameraFrame& GetCameraFrame();
    // The folder LoadTexture reads relative file names from; the names themselves stay as
    // they are ('\\' included). Empty, the default, reads them from the working directory.
    int SetDataDirectory(const char* directory);
    const std::string& GetDataDirectory() const { return m_szDataDir; }
    // Stores the text of the next error box; the code is not kept.
    int SetErrorMessage(const char* text, HRESULT code);

    // Window, then device. Negative when the device could not be made.
    int Create(HINSTANCE instance);
    // The message loop; returns the result of ReleaseScene.
    int Run();

    // Service operations for subclasses.
    HRESULT InitVertexBuffer(IDirect3DVertexBuffer8** slot, const void* source, UINT bytes, DWORD vertexFormat);
    HRESULT InitIndexBuffer(IDirect3DIndexBuffer8** slot, const void* source, UINT bytes);
    HRESULT LoadTexture(const char* fileName, IDirect3DTexture8** texture);
    HRESULT SetAlphaBlend(bool on);
    HRESULT SetFog(bool enable, D3DCOLOR color, float start, float end);
    HRESULT ToggleFillMode();
    int ShowError();
    int FailAndQuit();
    HRESULT SetupMatrices();
    int MoveCamera(int code);
    HRESULT BuildAxes();

    void SetPassHooks(PassHooks hooks);
    // The device profile Create makes its Direct3D object with (the default profile's
    // unless set): a tool's choice of the rasterizer's threads and vector targets.
    void SetDeviceProfile(const D3DDeviceProfile& profile);

protected:
    int CreateAppWindow();
    HRESULT InitDirect3D();
    void ReleaseDevice();

    bool m_bCreated;
    bool m_bShowAxes;
    bool m_bInvertMouse;
    bool m_bMouseDown;
    bool m_bPaused;
    bool m_bCulling;
    bool m_bLighting;
    bool m_bDepthBuffer;
    DWORD m_dwWindowStyle;
    CameraFrame m_camera;
    float m_fMoveSpeed;
    float m_fFarDistance;
    POINT m_lastCursor;
    std::string m_szError;
    std::string m_szTitle;
    std::string m_szDataDir;
    HINSTANCE m_hInstance;
    HWND m_hWnd;
    IDirect3DVertexBuffer8* m_pAxesVB;
    DWORD m_dwClassStyle;
    int m_nWidth;
    int m_nHeight;
    BYTE m_keys[256];
    std::optional<D3DDeviceProfile> m_profile;
    IDirect3D8* m_pD3D;
    IDirect3DDevice8* m_pDevice;

private:
    PassHooks m_passHooks;
};

// The one application object; set by the AppFrame constructor, read by the window procedure.
extern AppFrame* g_pApp;

// The window procedure of the class "CN": hands every message to g_pApp.
LRESULT AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The program entry's steps on a constructed application: the six settings of the game
// (culling off, lighting on, depth buffer on, axis lines on, title "Tolvane", 800 by 600),
// Create, then Run. Returns -1 when Create fails, else the result of Run.
int RunApplication(AppFrame& app, HINSTANCE instance);

TOLVANE_API_END
