// The application frame on the headless display: construction and configuration,
// creation with its states and failures, the message loop and the frame's keys, the
// buffer services and the axis lines.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "frame_fixture.h"

namespace {

std::vector<std::string> BoxTexts() {
    std::vector<std::string> texts;
    for (const host::MessageBoxRecord& box : host::MessageBoxLog())
        texts.push_back(box.text);
    return texts;
}

DWORD State(IDirect3DDevice8* device, D3DRENDERSTATETYPE state) {
    DWORD value = 0xDEADBEEFu;
    EXPECT_EQ(device->GetRenderState(state, &value), D3D_OK);
    return value;
}

DWORD StageState(IDirect3DDevice8* device, DWORD stage, D3DTEXTURESTAGESTATETYPE type) {
    DWORD value = 0xDEADBEEFu;
    EXPECT_EQ(device->GetTextureStageState(stage, type, &value), D3D_OK);
    return value;
}

std::vector<AxisVertex> ReadAxes(IDirect3DVertexBuffer8* buffer) {
    std::vector<AxisVertex> vertices(6);
    BYTE* data = nullptr;
    if (buffer->Lock(0, 96, &data, D3DLOCK_READONLY) != D3D_OK)
        return {};
    std::memcpy(vertices.data(), data, 96);
    buffer->Unlock();
    return vertices;
}

}  // namespace

TEST_F(FrameTest, ConstructionGivesTheDefaultsAndBecomesTheApplication) {
    EXPECT_EQ(g_pApp, app.get());
    EXPECT_FALSE(app->m_bCreated || app->m_bShowAxes || app->m_bInvertMouse || app->m_bMouseDown ||
                 app->m_bPaused || app->m_bCulling || app->m_bLighting);
    EXPECT_TRUE(app->m_bDepthBuffer);
    EXPECT_EQ(app->m_dwWindowStyle, 0x10CF0000u);
    EXPECT_EQ(app->m_dwClassStyle, 11u);
    EXPECT_EQ(app->m_nWidth, 640);
    EXPECT_EQ(app->m_nHeight, 480);
    EXPECT_EQ(app->m_fMoveSpeed, 5.0f);
    EXPECT_EQ(app->m_fFarDistance, 5000.0f);
    EXPECT_EQ(app->m_szTitle, "Direct3D8 Template");
    EXPECT_EQ(app->m_szError, "");
    EXPECT_EQ(app->m_camera.position.x, 0.0f);
    EXPECT_EQ(app->m_camera.forward.z, 0.0f);
    EXPECT_TRUE(std::all_of(std::begin(app->m_keys), std::end(app->m_keys), [](BYTE k) { return k == 0; }));
    EXPECT_EQ(app->m_pD3D, nullptr);
    EXPECT_EQ(app->m_pDevice, nullptr);
    EXPECT_EQ(app->m_pAxesVB, nullptr);
}

TEST_F(FrameTest, FourSettersRefuseOnceCreatedAndTheOthersStillApply) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    EXPECT_TRUE(app->m_bCreated);

    EXPECT_EQ(app->SetTitle("Other"), -1);
    EXPECT_EQ(app->SetCulling(true), -1);
    EXPECT_EQ(app->SetLighting(false), -1);
    EXPECT_EQ(app->SetDepthBuffer(false), -1);
    EXPECT_EQ(app->m_szTitle, "Tolvane");
    EXPECT_FALSE(app->m_bCulling);
    EXPECT_TRUE(app->m_bLighting);
    EXPECT_TRUE(app->m_bDepthBuffer);

    EXPECT_EQ(app->SetShowAxes(false), 0);
    EXPECT_FALSE(app->m_bShowAxes);
    EXPECT_EQ(app->SetSize(320, 240), 0);
    EXPECT_EQ(app->m_nWidth, 320);
    EXPECT_EQ(app->SetMoveSpeed(7.5f), 0);
    EXPECT_EQ(app->GetMoveSpeed(), 7.5f);
    EXPECT_EQ(app->SetFarDistance(123.0f), 0);
    EXPECT_EQ(app->m_fFarDistance, 123.0f);
    EXPECT_EQ(app->SetPaused(true), 0);
    EXPECT_TRUE(app->m_bPaused);

    const CameraFrame frame{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}, {1, 2, 3}};
    EXPECT_EQ(app->SetCameraFrame(&frame), 0);
    EXPECT_EQ(app->GetCameraFrame().forward.x, -1.0f);
    app->GetCameraFrame().position.y = 9.0f;
    EXPECT_EQ(app->m_camera.position.y, 9.0f);
    EXPECT_EQ(app->SetCameraFrame(nullptr), 0);
    const CameraFrame& reset = app->m_camera;
    EXPECT_EQ(reset.right.x, 1.0f);
    EXPECT_EQ(reset.up.y, 1.0f);
    EXPECT_EQ(reset.forward.z, 1.0f);
    EXPECT_EQ(reset.position.x, 0.0f);
    EXPECT_EQ(reset.position.y, 0.0f);
    EXPECT_EQ(reset.position.z, 0.0f);

    char title[64] = {};
    GetWindowTextA(app->m_hWnd, title, sizeof title);
    EXPECT_STREQ(title, "Tolvane");
}

TEST_F(FrameTest, CreationMakesTheWindowAndTheDeviceWithTheFrameStates) {
    ASSERT_EQ(CreateLikeTheGame(), D3D_OK);
    ASSERT_NE(app->m_hWnd, nullptr);
    ASSERT_NE(app->m_pDevice, nullptr);
    EXPECT_TRUE(host::MessageBoxLog().empty());

    // The size is the client area's; the window grows by its frame.
    RECT client{};
    ASSERT_TRUE(GetClientRect(app->m_hWnd, &client));
    EXPECT_EQ(client.right - client.left, 800);
    EXPECT_EQ(client.bottom - client.top, 600);
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(app->m_hWnd, &outer));
    RECT framed{0, 0, 800, 600};
    AdjustWindowRect(&framed, WS_OVERLAPPEDWINDOW | WS_VISIBLE, FALSE);
    EXPECT_EQ(outer.right - outer.left, framed.right - framed.left);
    EXPECT_EQ(outer.bottom - outer.top, framed.bottom - framed.top);
    IDirect3DSurface8* backBuffer = nullptr;
    ASSERT_EQ(app->m_pDevice->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), D3D_OK);
    D3DSURFACE_DESC desc{};
    backBuffer->GetDesc(&desc);
    backBuffer->Release();
    EXPECT_EQ(static_cast<LONG>(desc.Width), client.right - client.left);
    EXPECT_EQ(static_cast<LONG>(desc.Height), client.bottom - client.top);

    IDirect3DDevice8* device = app->m_pDevice;
    EXPECT_EQ(State(device, D3DRS_LIGHTING), 1u);
    EXPECT_EQ(State(device, D3DRS_SPECULARENABLE), 1u);
    EXPECT_EQ(State(device, D3DRS_DIFFUSEMATERIALSOURCE), D3DMCS_MATERIAL);
    EXPECT_EQ(State(device, D3DRS_SPECULARMATERIALSOURCE), D3DMCS_MATERIAL);
    EXPECT_EQ(State(device, D3DRS_AMBIENTMATERIALSOURCE), D3DMCS_MATERIAL);
    EXPECT_EQ(State(device, D3DRS_EMISSIVEMATERIALSOURCE), D3DMCS_MATERIAL);
    EXPECT_EQ(State(device, D3DRS_CULLMODE), D3DCULL_NONE);
    EXPECT_EQ(State(device, D3DRS_ZENABLE), 1u);
    EXPECT_EQ(StageState(device, 0, D3DTSS_MINFILTER), D3DTEXF_LINEAR);
    EXPECT_EQ(StageState(device, 0, D3DTSS_MAGFILTER), D3DTEXF_LINEAR);
    EXPECT_EQ(StageState(device, 0, D3DTSS_MIPFILTER), D3DTEXF_LINEAR);

    // The axis lines are built at creation, spanning the far distance of that moment.
    ASSERT_NE(app->m_pAxesVB, nullptr);
    const std::vector<AxisVertex> axes = ReadAxes(app->m_pAxesVB);
    ASSERT_EQ(axes.size(), 6u);
    const float expected[6][3] = {{-5000, 0, 0}, {5000, 0, 0}, {0, 5000, 0},
                                  {0, -5000, 0}, {0, 0, -5000}, {0, 0, 5000}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(axes[i].position.x, expected[i][0]) << i;
        EXPECT_EQ(axes[i].position.y, expected[i][1]) << i;
        EXPECT_EQ(axes[i].position.z, expected[i][2]) << i;
        EXPECT_EQ(axes[i].color, 0xFFFFFFFFu) << i;
    }
    D3DVERTEXBUFFER_DESC vbDesc{};
    app->m_pAxesVB->GetDesc(&vbDesc);
    EXPECT_EQ(vbDesc.Size, 96u);
    EXPECT_EQ(vbDesc.FVF, 0x042u);
    EXPECT_EQ(vbDesc.Pool, D3DPOOL_MANAGED);
}

TEST_F(FrameTest, CullingOnKeepsTheDeviceDefaultAndNoDepthBufferMeansNoDepthTest) {
    app->SetCulling(true);
    app->SetDepthBuffer(false);
    ASSERT_GE(app->Create(Instance()), 0);
    IDirect3DDevice8* device = app->m_pDevice;
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(State(device, D3DRS_CULLMODE), D3DCULL_CCW);
    EXPECT_EQ(State(device, D3DRS_ZENABLE), 0u);
    EXPECT_EQ(State(device, D3DRS_LIGHTING), 0u);
    IDirect3DSurface8* depth = nullptr;
    const HRESULT hr = device->GetDepthStencilSurface(&depth);
    EXPECT_TRUE(FAILED(hr) || depth == nullptr);
    if (depth)
        depth->Release();
    // Axis lines off at creation: no buffer yet.
    EXPECT_EQ(app->m_pAxesVB, nullptr);
}

// A window that cannot be created is reported and quits, the device step still runs and
// fails without a window, and the entry ends with -1 before the loop.
TEST_F(FrameTest, FailedCreationReportsEveryStepInOrderAndExitsWithMinusOne) {
    WNDCLASSA taken{};
    taken.lpfnWndProc = DefWindowProcA;
    taken.hInstance = Instance();
    taken.lpszClassName = "CN";
    ASSERT_NE(RegisterClassA(&taken), 0);

    EXPECT_EQ(RunApplication(*app, Instance()), -1);
    const std::vector<std::string> expected = {"Window could not be created", "m_pD3D->CreateDevice failed",
                                               "3D could not be initialized"};
    EXPECT_EQ(BoxTexts(), expected);
    for (const host::MessageBoxRecord& box : host::MessageBoxLog()) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.type, MB_ICONWARNING);
    }
    EXPECT_TRUE(app->m_bCreated);
    EXPECT_EQ(app->m_pDevice, nullptr);
    EXPECT_EQ(app->initScenes, 0);
    EXPECT_EQ(app->releaseScenes, 0);
}

TEST_F(FrameTest, RenderFailureShowsItsBoxUntilTheQuitIsRetrievedAndExitsWithReleaseScene) {
    app->failRender = [](int n) { return n >= 3 ? E_FAIL : 0; };
    app->releaseResult = 7;
    PassHooks unlimited;
    int passCount = 0;
    unlimited.after = [&passCount](int pass, bool) {
        passCount = pass + 1;
        return pass < 50;
    };
    app->SetPassHooks(unlimited);
    EXPECT_EQ(RunApplication(*app, Instance()), 7);
    // Pass 2 fails and posts the quit message; pass 3 retrieves it, renders (and fails)
    // once more, and the loop ends.
    EXPECT_EQ(passCount, 4);
    const std::vector<std::string> expected = {"Render() f'ed up!", "Render() f'ed up!"};
    EXPECT_EQ(BoxTexts(), expected);
    EXPECT_EQ(app->releaseScenes, 1);
    EXPECT_EQ(app->m_pDevice, nullptr);
    EXPECT_EQ(app->m_pD3D, nullptr);
    EXPECT_EQ(app->m_pAxesVB, nullptr);
}

TEST_F(FrameTest, EscapeEndsTheLoopThroughTheQuitMessageOneMessagePerPass) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    const int result = RunPasses({{0, WM_KEYDOWN, VK_ESCAPE}, {0, WM_KEYUP, VK_ESCAPE}}, 20);
    EXPECT_EQ(result, 0);
    // Pass 0 takes the key down, pass 1 its WM_CHAR, pass 2 the key up (which posts the
    // quit), pass 3 the quit.
    EXPECT_EQ(passes, 4);
    EXPECT_EQ(app->initScenes, 1);
    EXPECT_EQ(app->releaseScenes, 1);
    EXPECT_EQ(app->renders, 4);
    EXPECT_EQ(app->m_pDevice, nullptr);
    EXPECT_EQ(app->m_pD3D, nullptr);
    EXPECT_EQ(app->m_pAxesVB, nullptr);
    EXPECT_EQ(app->m_keys[VK_ESCAPE], 0);
}

TEST_F(FrameTest, EachPassHandlesAtMostOneMessage) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<int> handled;
    RunPasses({{0, WM_KEYDOWN, 'X'}, {0, WM_KEYDOWN, 'Y'}, {0, WM_KEYDOWN, 'Z'}}, 5, [&](int, bool) {
        handled.push_back(static_cast<int>(std::count_if(app->seen.begin(), app->seen.end(), [](const auto& s) {
            return s.message == WM_KEYDOWN;
        })));
    });
    // Each key down's WM_CHAR is the next message, in a pass of its own.
    EXPECT_EQ(handled, (std::vector<int>{1, 1, 2, 2, 3}));
    EXPECT_EQ(app->m_keys['X'], 1);
    EXPECT_EQ(app->m_keys['Y'], 1);
    EXPECT_EQ(app->m_keys['Z'], 1);
}

TEST_F(FrameTest, CloseEndsTheLoopWithoutDestroyingTheWindow) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    EXPECT_EQ(RunPasses({{0, WM_CLOSE, 0}}, 20), 0);
    EXPECT_EQ(passes, 2);
    EXPECT_TRUE(IsWindow(app->m_hWnd));
    EXPECT_TRUE(std::none_of(app->seen.begin(), app->seen.end(),
                             [](const auto& s) { return s.message == WM_DESTROY; }));
}

TEST_F(FrameTest, KeyStatesFollowDownAndUp) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<int> keyQ;
    RunPasses({{0, WM_KEYDOWN, 'Q'}, {2, WM_KEYUP, 'Q'}, {3, WM_KEYDOWN, 0x1FF}}, 4,
              [&](int, bool) { keyQ.push_back(app->m_keys['Q']); });
    EXPECT_EQ(keyQ, (std::vector<int>{1, 1, 0, 0}));
    // A key code past the table is ignored rather than written past it.
    EXPECT_EQ(app->m_keys[0xFF], 0);
}

TEST_F(FrameTest, F12AndDeactivationPauseUpdateAndRender) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<float> z;
    // W's WM_CHAR takes pass 1.
    RunPasses({{0, WM_KEYDOWN, 'W'},
               {2, WM_KEYUP, VK_F12},
               {4, WM_ACTIVATE, WA_ACTIVE},
               {5, WM_ACTIVATE, WA_INACTIVE},
               {7, WM_ACTIVATE, WA_CLICKACTIVE},
               {8, WM_KEYUP, VK_F12},
               {9, WM_KEYUP, VK_F12}},
              11, [&](int, bool) { z.push_back(app->m_camera.position.z); });
    const std::vector<bool> expectedRendered = {true, true, false, false, true, false, false, true, false, true, true};
    EXPECT_EQ(rendered_, expectedRendered);
    // W is held throughout; the camera moves only in the passes that are not paused.
    const float s = 5.0f;
    const float z0 = -800.0f;
    const std::vector<float> expectedZ = {z0 + s,     z0 + 2 * s, z0 + 2 * s, z0 + 2 * s, z0 + 3 * s, z0 + 3 * s,
                                          z0 + 3 * s, z0 + 4 * s, z0 + 4 * s, z0 + 5 * s, z0 + 6 * s};
    EXPECT_EQ(z, expectedZ);
    EXPECT_EQ(app->renders, 6);
}

TEST_F(FrameTest, F1BuildsTheAxesOnFirstUseAndRefillsThemInPlace) {
    ASSERT_GE(CreateLikeTheGame(/*showAxes=*/false), 0);
    ASSERT_EQ(app->m_pAxesVB, nullptr);
    IDirect3DVertexBuffer8* first = nullptr;
    std::vector<int> white;
    std::vector<float> reach;
    RunPasses({{1, WM_KEYUP, VK_F1}, {2, WM_KEYUP, VK_F1}, {3, WM_KEYUP, VK_F1}}, 4, [&](int pass, bool) {
        white.push_back(CountWhite());
        if (pass == 1) {
            first = app->m_pAxesVB;
            app->SetFarDistance(4000.0f);
        }
        if (app->m_pAxesVB) {
            EXPECT_EQ(app->m_pAxesVB, first);
            reach.push_back(ReadAxes(app->m_pAxesVB).at(1).position.x);
        }
    });
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(white[0], 0);
    EXPECT_GT(white[1], 500);
    EXPECT_EQ(white[2], 0);
    EXPECT_GT(white[3], 500);
    // F1 rebuilds with the far distance of that moment, shown or hidden.
    EXPECT_EQ(reach, (std::vector<float>{5000.0f, 4000.0f, 4000.0f}));
}

TEST_F(FrameTest, F2SwapsSolidAndWireframeAndLeavesPointsAlone) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<DWORD> fill;
    RunPasses({{0, WM_KEYUP, VK_F2}, {1, WM_KEYUP, VK_F2}, {2, WM_KEYUP, VK_F2}}, 3, [&](int pass, bool) {
        fill.push_back(State(app->m_pDevice, D3DRS_FILLMODE));
        if (pass == 1)
            app->m_pDevice->SetRenderState(D3DRS_FILLMODE, D3DFILL_POINT);
    });
    EXPECT_EQ(fill, (std::vector<DWORD>{D3DFILL_WIREFRAME, D3DFILL_SOLID, D3DFILL_POINT}));
}

TEST_F(FrameTest, F3InvertsTheMouseAndButtonsSetTheDragFlag) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    std::vector<int> state;
    RunPasses({{0, WM_KEYUP, VK_F3}, {1, WM_LBUTTONDOWN, 0}, {2, WM_KEYUP, VK_F3}, {3, WM_LBUTTONUP, 0}}, 4,
              [&](int, bool) { state.push_back(app->m_bInvertMouse * 2 + app->m_bMouseDown); });
    EXPECT_EQ(state, (std::vector<int>{2, 3, 1, 0}));
}

TEST_F(FrameTest, TheAxisLinesAreWhiteOnTheClearColourWhereTheViewPutsThem) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    RunPasses({}, 1);
    ASSERT_EQ(framesPresented, 1);
    ASSERT_GT(frameWidth, 0);
    ASSERT_GT(frameHeight, 0);
    int clear = 0;
    for (std::uint32_t pixel : frame)
        clear += (pixel & 0xFFFFFFu) == 0x000055u;
    EXPECT_GT(clear, frameWidth * frameHeight * 9 / 10);
    // The x axis lies 200 below and 800 ahead of the eye: at NDC y = -0.25 cot(pi/8).
    // The y axis lies 300 to the left: NDC x = -0.375 cot(pi/8), the aspect ratio being 1.
    const double cot = 1.0 / std::tan(3.14159265358979 / 8);
    const int row = static_cast<int>((1.0 + 0.25 * cot) / 2 * frameHeight);
    const int column = static_cast<int>((1.0 - 0.375 * cot) / 2 * frameWidth);
    int bestRow = 0;
    for (int y = std::max(0, row - 2); y <= std::min(frameHeight - 1, row + 2); ++y)
        bestRow = std::max(bestRow, WhiteInRow(y));
    int bestColumn = 0;
    for (int x = std::max(0, column - 2); x <= std::min(frameWidth - 1, column + 2); ++x)
        bestColumn = std::max(bestColumn, WhiteInColumn(x));
    EXPECT_GT(bestRow, frameWidth * 9 / 10);
    EXPECT_GT(bestColumn, frameHeight * 9 / 10);
}

TEST_F(FrameTest, BuffersAreCreatedOnceAndRefilledInPlace) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    IDirect3DVertexBuffer8* vertices = nullptr;
    const std::uint32_t first[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::uint32_t second[16];
    for (int i = 0; i < 16; ++i)
        second[i] = 100u + i;
    ASSERT_EQ(app->InitVertexBuffer(&vertices, first, sizeof first, 0x112), D3D_OK);
    IDirect3DVertexBuffer8* created = vertices;
    ASSERT_EQ(app->InitVertexBuffer(&vertices, second, sizeof second, 0x112), D3D_OK);
    EXPECT_EQ(vertices, created);
    // One buffer with one reference: an AddRef and a Release leave one.
    EXPECT_EQ(vertices->AddRef(), 2u);
    EXPECT_EQ(vertices->Release(), 1u);
    D3DVERTEXBUFFER_DESC desc{};
    vertices->GetDesc(&desc);
    EXPECT_EQ(desc.Size, sizeof first);
    EXPECT_EQ(desc.FVF, 0x112u);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    BYTE* data = nullptr;
    ASSERT_EQ(vertices->Lock(0, sizeof second, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(data, second, sizeof second), 0);
    vertices->Unlock();
    // A refill larger than the buffer fails at the lock and writes nothing.
    std::uint32_t larger[32] = {};
    EXPECT_LT(app->InitVertexBuffer(&vertices, larger, sizeof larger, 0x112), 0);
    ASSERT_EQ(vertices->Lock(0, sizeof second, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(data, second, sizeof second), 0);
    vertices->Unlock();
    EXPECT_EQ(vertices->Release(), 0u);

    IDirect3DIndexBuffer8* indices = nullptr;
    const WORD list[6] = {0, 1, 2, 2, 1, 3};
    const WORD other[6] = {5, 4, 3, 2, 1, 0};
    ASSERT_EQ(app->InitIndexBuffer(&indices, list, sizeof list), D3D_OK);
    IDirect3DIndexBuffer8* createdIndices = indices;
    ASSERT_EQ(app->InitIndexBuffer(&indices, other, sizeof other), D3D_OK);
    EXPECT_EQ(indices, createdIndices);
    D3DINDEXBUFFER_DESC indexDesc{};
    indices->GetDesc(&indexDesc);
    EXPECT_EQ(indexDesc.Format, D3DFMT_INDEX16);
    EXPECT_EQ(indexDesc.Size, sizeof list);
    ASSERT_EQ(indices->Lock(0, sizeof other, &data, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(std::memcmp(data, other, sizeof other), 0);
    indices->Unlock();
    EXPECT_EQ(indices->Release(), 0u);
    EXPECT_TRUE(host::MessageBoxLog().empty());
}

TEST_F(FrameTest, FailedBufferCreationShowsItsBoxWithoutQuitting) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    IDirect3DVertexBuffer8* vertices = nullptr;
    IDirect3DIndexBuffer8* indices = nullptr;
    const BYTE none[1] = {};
    // A zero-length buffer cannot be created.
    EXPECT_LT(app->InitVertexBuffer(&vertices, none, 0, 0x112), 0);
    EXPECT_LT(app->InitIndexBuffer(&indices, none, 0), 0);
    EXPECT_EQ(vertices, nullptr);
    EXPECT_EQ(indices, nullptr);
    const std::vector<std::string> expected = {"CreateVertexBuffer() failed in InitVertexBuffer()",
                                               "CreateIndexBuffer() failed in InitIndexBuffer()"};
    EXPECT_EQ(BoxTexts(), expected);
    // No quit was posted: the loop runs on until it is told to stop.
    RunPasses({}, 3);
    EXPECT_EQ(passes, 3);
    // No slot or no source: refused before the device is asked.
    EXPECT_EQ(app->InitVertexBuffer(nullptr, none, 1, 0x112), D3DERR_INVALIDCALL);
    EXPECT_EQ(app->InitIndexBuffer(&indices, nullptr, 6), D3DERR_INVALIDCALL);
}

TEST_F(FrameTest, BlendAndFogSetTheirStates) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    IDirect3DDevice8* device = app->m_pDevice;
    EXPECT_EQ(app->SetAlphaBlend(true), D3D_OK);
    EXPECT_EQ(State(device, D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(State(device, D3DRS_SRCBLEND), D3DBLEND_SRCCOLOR);
    EXPECT_EQ(State(device, D3DRS_DESTBLEND), D3DBLEND_DESTCOLOR);
    EXPECT_EQ(app->SetAlphaBlend(false), D3D_OK);
    EXPECT_EQ(State(device, D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(State(device, D3DRS_SRCBLEND), D3DBLEND_ONE);
    EXPECT_EQ(State(device, D3DRS_DESTBLEND), D3DBLEND_ZERO);

    EXPECT_EQ(app->SetFog(true, 0xFF102030u, 10.5f, 2000.0f), D3D_OK);
    EXPECT_EQ(State(device, D3DRS_FOGENABLE), 1u);
    EXPECT_EQ(State(device, D3DRS_FOGCOLOR), 0xFF102030u);
    EXPECT_EQ(State(device, D3DRS_FOGVERTEXMODE), D3DFOG_LINEAR);
    EXPECT_EQ(State(device, D3DRS_FOGSTART), std::bit_cast<DWORD>(10.5f));
    EXPECT_EQ(State(device, D3DRS_FOGEND), std::bit_cast<DWORD>(2000.0f));
    EXPECT_EQ(State(device, D3DRS_RANGEFOGENABLE), 1u);
}

TEST_F(FrameTest, ErrorsGoToABoxCaptionedErrorAndFailAndQuitPostsTheQuit) {
    ASSERT_GE(CreateLikeTheGame(), 0);
    app->SetErrorMessage("first", -1);
    EXPECT_EQ(app->ShowError(), 0);
    app->SetErrorMessage("second", E_FAIL);
    EXPECT_EQ(app->FailAndQuit(), 0);
    const std::vector<host::MessageBoxRecord> boxes = host::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "first");
    EXPECT_EQ(boxes[1].text, "second");
    EXPECT_EQ(boxes[1].caption, "Error");
    EXPECT_EQ(boxes[1].type, 0x30u);
    EXPECT_EQ(boxes[1].owner, app->m_hWnd);
    // The posted quit ends the loop in its first pass.
    RunPasses({}, 10);
    EXPECT_EQ(passes, 1);
}
