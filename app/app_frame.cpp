#include "app/app_frame.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include "math/math3d.h"

AppFrame* g_pApp = nullptr;

namespace {

// One turning step of the camera, in radians, and the limit on forward.y that stops
// pitching before the view would flip over the up axis.
constexpr float kTurnStep = std::bit_cast<float>(0x3BA3D70Au);
static_assert(kTurnStep == 0.005f);
constexpr float kPitchLimit = 0.95f;
// Vertical field of view pi/4; the aspect ratio is 1.0 whatever the window's shape.
constexpr float kFieldOfView = std::bit_cast<float>(0x3F490FDBu);
constexpr float kAspect = 1.0f;
constexpr float kNearPlane = 1.0f;

constexpr const char kClassName[] = "CN";
constexpr const char kErrorCaption[] = "Error";

// Matrix and D3DMATRIX are the same 16 floats, row by row.
static_assert(sizeof(Matrix) == sizeof(D3DMATRIX));
static_assert(offsetof(Matrix, _41) == offsetof(D3DMATRIX, _41));
const D3DMATRIX* AsD3D(const Matrix& m) { return reinterpret_cast<const D3DMATRIX*>(&m); }

DWORD FloatBits(float f) { return std::bit_cast<DWORD>(f); }

void Rotate(Vector3& v, const Matrix& rotation) { Vec3TransformCoord(&v, &v, &rotation); }

// The held keys of the free flight, in the order in which their steps are taken.
struct KeyStep {
    WPARAM key;
    int code;
};
constexpr KeyStep kKeySteps[] = {
    {'W', kStepForward}, {'S', kStepBack},     {'A', kStepLeft},  {'D', kStepRight},
    {VK_SPACE, kStepUp}, {'C', kStepDown},     {VK_LEFT, kTurnLeft}, {VK_RIGHT, kTurnRight},
    {VK_UP, kLookUp},    {VK_DOWN, kLookDown},
};

}  // namespace

LRESULT AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_pApp)
        return g_pApp->HandleMessage(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

AppFrame::AppFrame()
    : m_bCreated(false),
      m_bShowAxes(false),
      m_bInvertMouse(false),
      m_bMouseDown(false),
      m_bPaused(false),
      m_bCulling(false),
      m_bLighting(false),
      m_bDepthBuffer(true),
      m_dwWindowStyle(WS_OVERLAPPEDWINDOW | WS_VISIBLE),
      m_camera{},
      m_fMoveSpeed(5.0f),
      m_fFarDistance(5000.0f),
      m_lastCursor{0, 0},
      m_szError(),
      m_szTitle("Direct3D8 Template"),
      m_hInstance(nullptr),
      m_hWnd(nullptr),
      m_pAxesVB(nullptr),
      m_dwClassStyle(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS),
      m_nWidth(640),
      m_nHeight(480),
      m_keys{},
      m_pD3D(nullptr),
      m_pDevice(nullptr) {
    g_pApp = this;
}

AppFrame::~AppFrame() = default;

// ---- the five overridable operations ------------------------------------------------

int AppFrame::InitScene() { return 0; }

// The free-flight step: every held key takes its step, and a left-button drag turns and
// looks by one step per direction, however far the mouse moved.
int AppFrame::Update() {
    if (m_bPaused)
        return -1;
    for (const KeyStep& step : kKeySteps) {
        if (m_keys[step.key] == 1)
            MoveCamera(step.code);
    }
    if (m_bMouseDown) {
        POINT cursor{};
        if (GetCursorPos(&cursor)) {
            const LONG dx = cursor.x - m_lastCursor.x;
            const LONG dy = cursor.y - m_lastCursor.y;
            if (dx < 0)
                MoveCamera(kTurnLeft);
            if (dx > 0)
                MoveCamera(kTurnRight);
            if (dy < 0)
                MoveCamera(m_bInvertMouse ? kLookDown : kLookUp);
            if (dy > 0)
                MoveCamera(m_bInvertMouse ? kLookUp : kLookDown);
            m_lastCursor = cursor;
        }
    }
    return 0;
}

// The axis lines; no Clear, BeginScene, EndScene or Present: a subclass calls this
// from inside its own scene.
int AppFrame::Render() {
    if (!m_bShowAxes)
        return 0;
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    m_pDevice->SetStreamSource(0, m_pAxesVB, sizeof(AxisVertex));
    m_pDevice->SetVertexShader(kAxisVertexFormat);
    return m_pDevice->DrawPrimitive(D3DPT_LINELIST, 0, 3);
}

int AppFrame::ReleaseScene() { return 0; }

LRESULT AppFrame::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        m_bPaused = LOWORD(wParam) == WA_INACTIVE;
        return 0;
    case WM_CLOSE:
        // The window stays; the loop ends when it retrieves the quit message.
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam < sizeof m_keys)
            m_keys[wParam] = 1;
        return 0;
    case WM_KEYUP:
        if (wParam == VK_ESCAPE) {
            PostQuitMessage(0);
        } else if (wParam == VK_F1) {
            BuildAxes();
            m_bShowAxes = !m_bShowAxes;
        } else if (wParam == VK_F2) {
            ToggleFillMode();
        } else if (wParam == VK_F3) {
            m_bInvertMouse = !m_bInvertMouse;
        } else if (wParam == VK_F12) {
            m_bPaused = !m_bPaused;
        }
        if (wParam < sizeof m_keys)
            m_keys[wParam] = 0;
        return 0;
    case WM_LBUTTONDOWN:
        m_bMouseDown = true;
        return 0;
    case WM_LBUTTONUP:
        m_bMouseDown = false;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- setters ----------------------------------------------------------------------------

int AppFrame::SetCulling(bool culling) {
    if (m_bCreated)
        return -1;
    m_bCulling = culling;
    return 0;
}

int AppFrame::SetLighting(bool lighting) {
    if (m_bCreated)
        return -1;
    m_bLighting = lighting;
    return 0;
}

int AppFrame::SetDepthBuffer(bool depthBuffer) {
    if (m_bCreated)
        return -1;
    m_bDepthBuffer = depthBuffer;
    return 0;
}

int AppFrame::SetTitle(const char* title) {
    if (m_bCreated || !title)
        return -1;
    m_szTitle = title;
    return 0;
}

int AppFrame::SetShowAxes(bool showAxes) {
    m_bShowAxes = showAxes;
    return 0;
}

int AppFrame::SetSize(int width, int height) {
    m_nWidth = width;
    m_nHeight = height;
    return 0;
}

int AppFrame::SetMoveSpeed(float speed) {
    m_fMoveSpeed = speed;
    return 0;
}

float AppFrame::GetMoveSpeed() const { return m_fMoveSpeed; }

int AppFrame::SetFarDistance(float farDistance) {
    m_fFarDistance = farDistance;
    return 0;
}

int AppFrame::SetPaused(bool paused) {
    m_bPaused = paused;
    return 0;
}

int AppFrame::SetCameraFrame(const CameraFrame* frame) {
    if (frame)
        m_camera = *frame;
    else
        m_camera = CameraFrame{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
    return 0;
}

CameraFrame& AppFrame::GetCameraFrame() { return m_camera; }

int AppFrame::SetErrorMessage(const char* text, HRESULT) {
    m_szError = text ? text : "";
    return 0;
}

void AppFrame::SetPassHooks(PassHooks hooks) { m_passHooks = std::move(hooks); }

// ---- creation, loop, release --------------------------------------------------------

int AppFrame::Create(HINSTANCE instance) {
    m_hInstance = instance;
    if (CreateAppWindow() < 0) {
        // Reported, but the device step still runs and reports its own failure.
        SetErrorMessage("Window could not be created", -1);
        FailAndQuit();
    }
    const HRESULT result = InitDirect3D();
    if (result < 0) {
        SetErrorMessage("3D could not be initialized", result);
        FailAndQuit();
    }
    m_bCreated = true;
    return result;
}

int AppFrame::CreateAppWindow() {
    WNDCLASSA windowClass{};
    windowClass.style = m_dwClassStyle;
    windowClass.lpfnWndProc = AppWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = m_hInstance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass))
        return -1;
    // The size is the client area's: the window grows by its frame. WS_VISIBLE in the
    // style shows it.
    RECT outer{0, 0, m_nWidth, m_nHeight};
    AdjustWindowRect(&outer, m_dwWindowStyle, FALSE);
    m_hWnd = CreateWindowExA(0, kClassName, m_szTitle.c_str(), m_dwWindowStyle, 0, 0, outer.right - outer.left,
                             outer.bottom - outer.top, nullptr, nullptr, m_hInstance, nullptr);
    if (!m_hWnd)
        return -1;
    return 0;
}

void AppFrame::SetDeviceProfile(const D3DDeviceProfile& profile) { m_profile = profile; }

HRESULT AppFrame::InitDirect3D() {
    m_pD3D = m_profile ? Direct3DCreate8WithProfile(D3D_SDK_VERSION, *m_profile) : Direct3DCreate8(D3D_SDK_VERSION);
    if (!m_pD3D)
        return -1;

    D3DDISPLAYMODE mode{};
    m_pD3D->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);

    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 0;  // 0 by 0: the window's client area
    params.BackBufferHeight = 0;
    params.BackBufferFormat = mode.Format;
    params.BackBufferCount = 0;
    params.MultiSampleType = D3DMULTISAMPLE_NONE;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.hDeviceWindow = nullptr;  // the focus window
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = m_bDepthBuffer ? TRUE : FALSE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.Flags = 0;
    params.FullScreen_RefreshRateInHz = 0;
    params.FullScreen_PresentationInterval = 0;

    IDirect3DDevice8* device = nullptr;
    HRESULT result = m_pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_hWnd,
                                          D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device);
    if (FAILED(result)) {
        if (device)
            device->Release();
        SetErrorMessage("m_pD3D->CreateDevice failed", result);
        FailAndQuit();
        return result;
    }
    m_pDevice = device;

    m_pDevice->SetRenderState(D3DRS_LIGHTING, m_bLighting);
    m_pDevice->SetRenderState(D3DRS_SPECULARENABLE, m_bLighting);
    m_pDevice->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    m_pDevice->SetRenderState(D3DRS_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    m_pDevice->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
    m_pDevice->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    if (!m_bCulling)
        m_pDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    m_pDevice->SetRenderState(D3DRS_ZENABLE, m_bDepthBuffer);

    m_pDevice->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    m_pDevice->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    result = m_pDevice->SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);

    if (m_bShowAxes)
        result = BuildAxes();
    return result;
}

// One message at most per pass, then Update, then (unless paused) Render.
int AppFrame::Run() {
    InitScene();
    MSG message{};
    for (int pass = 0; message.message != WM_QUIT; ++pass) {
        if (m_passHooks.before)
            m_passHooks.before(pass);
        MSG next{};
        if (PeekMessageA(&next, m_hWnd, 0, 0, PM_REMOVE)) {
            message = next;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Update();
        bool rendered = false;
        if (!m_bPaused) {
            rendered = true;
            if (Render() < 0) {
                // The loop goes on until it retrieves the posted quit message, so a
                // failure that persists can show the box more than once.
                SetErrorMessage("Render() f'ed up!", -1);
                FailAndQuit();
            }
        }
        if (m_passHooks.after && !m_passHooks.after(pass, rendered))
            break;
    }
    const int result = ReleaseScene();
    ReleaseDevice();
    return result;
}

void AppFrame::ReleaseDevice() {
    if (m_pAxesVB) {
        m_pAxesVB->Release();
        m_pAxesVB = nullptr;
    }
    if (m_pDevice) {
        m_pDevice->Release();
        m_pDevice = nullptr;
    }
    if (m_pD3D) {
        m_pD3D->Release();
        m_pD3D = nullptr;
    }
}

// ---- service operations ---------------------------------------------------------------

namespace {

// Copies the bytes into a vertex or index buffer through a lock from offset 0; a failed
// lock is returned without copying.
template <class Buffer>
HRESULT FillBuffer(Buffer* buffer, const void* source, UINT bytes) {
    BYTE* data = nullptr;
    const HRESULT locked = buffer->Lock(0, bytes, &data, 0);
    if (FAILED(locked))
        return locked;
    if (bytes != 0)
        std::memcpy(data, source, bytes);
    return buffer->Unlock();
}

}  // namespace

// A slot that holds a buffer already is refilled in place: callers pass the same size
// every time, and a larger refill fails at the lock instead of writing past the buffer.
HRESULT AppFrame::InitVertexBuffer(IDirect3DVertexBuffer8** slot, const void* source, UINT bytes,
                                   DWORD vertexFormat) {
    if (!slot || (!source && bytes != 0))
        return D3DERR_INVALIDCALL;
    if (!*slot) {
        IDirect3DVertexBuffer8* buffer = nullptr;
        const HRESULT created = m_pDevice ? m_pDevice->CreateVertexBuffer(bytes, 0, vertexFormat,
                                                                         D3DPOOL_MANAGED, &buffer)
                                          : D3DERR_INVALIDCALL;
        if (FAILED(created) || !buffer) {
            SetErrorMessage("CreateVertexBuffer() failed in InitVertexBuffer()", created);
            ShowError();
            return FAILED(created) ? created : E_FAIL;
        }
        *slot = buffer;
    }
    return FillBuffer(*slot, source, bytes);
}

HRESULT AppFrame::InitIndexBuffer(IDirect3DIndexBuffer8** slot, const void* source, UINT bytes) {
    if (!slot || (!source && bytes != 0))
        return D3DERR_INVALIDCALL;
    if (!*slot) {
        IDirect3DIndexBuffer8* buffer = nullptr;
        const HRESULT created = m_pDevice ? m_pDevice->CreateIndexBuffer(bytes, 0, D3DFMT_INDEX16,
                                                                        D3DPOOL_MANAGED, &buffer)
                                          : D3DERR_INVALIDCALL;
        if (FAILED(created) || !buffer) {
            SetErrorMessage("CreateIndexBuffer() failed in InitIndexBuffer()", created);
            ShowError();
            return FAILED(created) ? created : E_FAIL;
        }
        *slot = buffer;
    }
    return FillBuffer(*slot, source, bytes);
}

HRESULT AppFrame::SetAlphaBlend(bool on) {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    m_pDevice->SetRenderState(D3DRS_ALPHABLENDENABLE, on);
    m_pDevice->SetRenderState(D3DRS_SRCBLEND, on ? D3DBLEND_SRCCOLOR : D3DBLEND_ONE);
    return m_pDevice->SetRenderState(D3DRS_DESTBLEND, on ? D3DBLEND_DESTCOLOR : D3DBLEND_ZERO);
}

HRESULT AppFrame::SetFog(bool enable, D3DCOLOR color, float start, float end) {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    m_pDevice->SetRenderState(D3DRS_FOGENABLE, enable);
    m_pDevice->SetRenderState(D3DRS_FOGCOLOR, color);
    m_pDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    m_pDevice->SetRenderState(D3DRS_FOGSTART, FloatBits(start));
    m_pDevice->SetRenderState(D3DRS_FOGEND, FloatBits(end));
    return m_pDevice->SetRenderState(D3DRS_RANGEFOGENABLE, enable);
}

// Solid and wireframe swap; any other fill mode (points) is left alone.
HRESULT AppFrame::ToggleFillMode() {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    DWORD mode = 0;
    const HRESULT read = m_pDevice->GetRenderState(D3DRS_FILLMODE, &mode);
    if (FAILED(read))
        return read;
    if (mode == D3DFILL_WIREFRAME)
        return m_pDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    if (mode == D3DFILL_SOLID)
        return m_pDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    return D3D_OK;
}

int AppFrame::ShowError() {
    MessageBoxA(m_hWnd, m_szError.c_str(), kErrorCaption, MB_ICONWARNING);
    return 0;
}

int AppFrame::FailAndQuit() {
    ShowError();
    PostQuitMessage(0);
    return 0;
}

HRESULT AppFrame::SetupMatrices() {
    if (!m_pDevice)
        return D3DERR_INVALIDCALL;
    Matrix world;
    MatrixIdentity(&world);
    m_pDevice->SetTransform(D3DTS_WORLD, AsD3D(world));

    const Vector3& eye = m_camera.position;
    const Vector3 target{eye.x + m_camera.forward.x, eye.y + m_camera.forward.y, eye.z + m_camera.forward.z};
    Matrix view;
    MatrixLookAtLH(&view, &eye, &target, &m_camera.up);
    m_pDevice->SetTransform(D3DTS_VIEW, AsD3D(view));

    Matrix projection;
    MatrixPerspectiveFovLH(&projection, kFieldOfView, kAspect, kNearPlane, m_fFarDistance);
    return m_pDevice->SetTransform(D3DTS_PROJECTION, AsD3D(projection));
}

// One elementary step. up never changes; pitching leaves right alone, turning moves
// forward and then right about up.
int AppFrame::MoveCamera(int code) {
    const float s = m_fMoveSpeed;
    Vector3& position = m_camera.position;
    const Vector3& forward = m_camera.forward;
    const Vector3& right = m_camera.right;
    const Vector3& up = m_camera.up;
    Matrix rotation;
    switch (code) {
    case kStepForward:
        position = {position.x + s * forward.x, position.y + s * forward.y, position.z + s * forward.z};
        break;
    case kStepBack:
        position = {position.x - s * forward.x, position.y - s * forward.y, position.z - s * forward.z};
        break;
    case kStepLeft:
        position = {position.x - s * right.x, position.y - s * right.y, position.z - s * right.z};
        break;
    case kStepRight:
        position = {position.x + s * right.x, position.y + s * right.y, position.z + s * right.z};
        break;
    case kStepUp:
        position = {position.x + s * up.x, position.y + s * up.y, position.z + s * up.z};
        break;
    case kStepDown:
        position = {position.x - s * up.x, position.y - s * up.y, position.z - s * up.z};
        break;
    case kLookUp:
        if (forward.y < kPitchLimit) {
            MatrixRotationAxis(&rotation, &right, -kTurnStep);
            Rotate(m_camera.forward, rotation);
        }
        break;
    case kLookDown:
        if (forward.y > -kPitchLimit) {
            MatrixRotationAxis(&rotation, &right, kTurnStep);
            Rotate(m_camera.forward, rotation);
        }
        break;
    case kTurnLeft:
        MatrixRotationAxis(&rotation, &up, -kTurnStep);
        Rotate(m_camera.forward, rotation);
        Rotate(m_camera.right, rotation);
        break;
    case kTurnRight:
        MatrixRotationAxis(&rotation, &up, kTurnStep);
        Rotate(m_camera.forward, rotation);
        Rotate(m_camera.right, rotation);
        break;
    default:
        break;
    }
    return 0;
}

// Three white lines through the origin, each reaching the far distance of this moment.
HRESULT AppFrame::BuildAxes() {
    const float l = m_fFarDistance;
    constexpr D3DCOLOR kWhite = 0xFFFFFFFFu;
    const AxisVertex axes[6] = {
        {{-l, 0, 0}, kWhite}, {{l, 0, 0}, kWhite},  {{0, l, 0}, kWhite},
        {{0, -l, 0}, kWhite}, {{0, 0, -l}, kWhite}, {{0, 0, l}, kWhite},
    };
    static_assert(sizeof axes == 96);
    return InitVertexBuffer(&m_pAxesVB, axes, sizeof axes, kAxisVertexFormat);
}

// ---- program entry ----------------------------------------------------------------------

int RunApplication(AppFrame& app, HINSTANCE instance) {
    app.SetCulling(false);
    app.SetLighting(true);
    app.SetDepthBuffer(true);
    app.SetShowAxes(true);
    app.SetTitle("Tolvane");
    app.SetSize(800, 600);
    if (app.Create(instance) < 0)
        return -1;
    return app.Run();
}
