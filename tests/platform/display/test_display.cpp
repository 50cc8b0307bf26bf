// The window layer with a real display (run under Xvfb): the SDL window behind a window
// handle, SDL events turned into window messages, presentation through SDL.
// Events are fed with SDL_PushEvent; the end-to-end test of the program types with
// xdotool instead.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/d3d8.h"
#include "platform/win32/host.h"
#include "platform/win32/window_system.h"

namespace {

constexpr UINT WM_USER_TEST = 0x0401;
// Messages of the program's own (plus their wParam) and key downs, as the procedure saw them.
std::vector<UINT> g_dispatched;
std::atomic<int> g_dispatchCount{0};

LRESULT Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER_TEST || msg == WM_KEYDOWN) {
        g_dispatched.push_back(msg == WM_USER_TEST ? msg + static_cast<UINT>(wParam) : msg);
        ++g_dispatchCount;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class Display : public ::testing::Test {
protected:
    void SetUp() override {
        host::Shutdown();
        host::SetHeadless(false);
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "CN";
        ASSERT_NE(RegisterClassA(&wc), 0);
        RECT outer{0, 0, 320, 240};
        AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW | WS_VISIBLE, FALSE);
        hwnd_ = CreateWindowExA(0, "CN", "Tolvane", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, outer.right - outer.left,
                                outer.bottom - outer.top, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd_, nullptr) << "no display (run under xvfb-run): error " << GetLastError() << ", " << SDL_GetError();
        sdl_ = win32::System().windows.at(hwnd_).sdlWindow;
        ASSERT_NE(sdl_, nullptr);
        // Let the events of the window's creation arrive, then forget them.
        for (int i = 0; i < 5; ++i) {
            SDL_Delay(10);
            Drain();
        }
    }
    void TearDown() override { host::Shutdown(); }

    void Drain() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    // The messages the layer makes from SDL's input and window events.
    std::vector<MSG> InputMessages() {
        std::vector<MSG> result;
        MSG msg;
        while (PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE)) {
            switch (msg.message) {
                case WM_KEYDOWN:
                case WM_KEYUP:
                case WM_LBUTTONDOWN:
                case WM_LBUTTONUP:
                case WM_CLOSE: result.push_back(msg); break;
                default: break;
            }
        }
        return result;
    }

    void PushKey(Uint32 type, SDL_Keycode key, bool repeat = false) {
        SDL_Event event{};
        event.type = type;
        event.key.windowID = SDL_GetWindowID(sdl_);
        event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        event.key.repeat = repeat ? 1 : 0;
        event.key.keysym.sym = key;
        event.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    void PushWindowEvent(Uint8 what) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.windowID = SDL_GetWindowID(sdl_);
        event.window.event = what;
        ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
    }

    HWND hwnd_ = nullptr;
    SDL_Window* sdl_ = nullptr;
};

TEST_F(Display, WindowHasItsTitleAndClientSize) {
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_), "Tolvane");
    char title[32] = {};
    EXPECT_EQ(GetWindowTextA(hwnd_, title, sizeof title), 7);
    EXPECT_STREQ(title, "Tolvane");
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_SHOWN, 0u);
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right, 320);
    EXPECT_EQ(client.bottom, 240);
    RECT outer{};
    ASSERT_TRUE(GetWindowRect(hwnd_, &outer));
    EXPECT_GE(outer.right - outer.left, 320);
}

// The window calls reach the SDL window: title, visibility, client size, the cursor.
TEST_F(Display, WindowManagementReachesTheSdlWindow) {
    EXPECT_TRUE(SetWindowTextA(hwnd_, "Renamed"));
    EXPECT_STREQ(SDL_GetWindowTitle(sdl_), "Renamed");
    EXPECT_TRUE(ShowWindow(hwnd_, SW_HIDE));
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_HIDDEN, 0u);
    EXPECT_FALSE(ShowWindow(hwnd_, SW_SHOW));
    EXPECT_NE(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_SHOWN, 0u);
    RECT outer{0, 0, 200, 100};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    ASSERT_TRUE(SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                             SWP_NOMOVE | SWP_NOZORDER));
    int width = 0, height = 0;
    SDL_GetWindowSize(sdl_, &width, &height);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 100);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(Display, KeysBecomeVirtualKeyMessages) {
    struct Key {
        SDL_Keycode sdl;
        WPARAM vk;
    };
    const Key keys[] = {
        {SDLK_w, 'W'},           {SDLK_a, 'A'},        {SDLK_z, 'Z'},          {SDLK_1, '1'},
        {SDLK_0, '0'},           {SDLK_SPACE, VK_SPACE}, {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_LEFT, VK_LEFT},
        {SDLK_UP, VK_UP},        {SDLK_RIGHT, VK_RIGHT}, {SDLK_DOWN, VK_DOWN},   {SDLK_F1, VK_F1},
        {SDLK_F3, VK_F3},        {SDLK_F12, VK_F12},   {SDLK_RETURN, VK_RETURN}, {SDLK_LSHIFT, VK_SHIFT},
    };
    for (const Key& key : keys) {
        PushKey(SDL_KEYDOWN, key.sdl);
        PushKey(SDL_KEYUP, key.sdl);
    }
    PushKey(SDL_KEYDOWN, SDLK_KP_MULTIPLY);  // no virtual key: no message
    std::vector<MSG> messages = InputMessages();
    ASSERT_EQ(messages.size(), 2 * std::size(keys));
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        const MSG& down = messages[2 * i];
        const MSG& up = messages[2 * i + 1];
        EXPECT_EQ(down.message, WM_KEYDOWN);
        EXPECT_EQ(down.wParam, keys[i].vk) << "key " << SDL_GetKeyName(keys[i].sdl);
        EXPECT_EQ(down.hwnd, hwnd_);
        EXPECT_EQ(up.message, WM_KEYUP);
        EXPECT_EQ(up.wParam, keys[i].vk);
        EXPECT_NE(static_cast<DWORD>(up.lParam) & 0x80000000u, 0u);  // transition bit of a release
        EXPECT_EQ(static_cast<DWORD>(down.lParam) & 0xC0000000u, 0u);
    }
}

TEST_F(Display, AutoRepeatSendsFurtherKeyDowns) {
    PushKey(SDL_KEYDOWN, SDLK_s);
    PushKey(SDL_KEYDOWN, SDLK_s, true);
    PushKey(SDL_KEYUP, SDLK_s);
    std::vector<MSG> messages = InputMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[1].message, WM_KEYDOWN);
    EXPECT_NE(static_cast<DWORD>(messages[1].lParam) & 0x40000000u, 0u);  // the key was down before
}

TEST_F(Display, MouseFocusAndCloseEvents) {
    SDL_Event click{};
    click.type = SDL_MOUSEBUTTONDOWN;
    click.button.windowID = SDL_GetWindowID(sdl_);
    click.button.button = SDL_BUTTON_LEFT;
    click.button.state = SDL_PRESSED;
    click.button.x = 12;
    click.button.y = 34;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    click.type = SDL_MOUSEBUTTONUP;
    click.button.state = SDL_RELEASED;
    ASSERT_EQ(SDL_PushEvent(&click), 1);
    PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    std::vector<MSG> messages = InputMessages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].message, WM_LBUTTONDOWN);
    EXPECT_EQ(LOWORD(messages[0].lParam), 12);
    EXPECT_EQ(HIWORD(messages[0].lParam), 34);
    EXPECT_EQ(messages[1].message, WM_LBUTTONUP);
    EXPECT_EQ(messages[2].message, WM_CLOSE);

    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    std::vector<WORD> states;
    MSG msg;
    while (PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE))
        if (msg.message == WM_ACTIVATE) states.push_back(LOWORD(msg.wParam));
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(states[states.size() - 2], WA_INACTIVE);
    EXPECT_EQ(states.back(), WA_ACTIVE);
}

TEST_F(Display, CursorPositionIsTheScreensOne) {
    ASSERT_TRUE(SetCursorPos(40, 50));
    SDL_Delay(20);
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, 40);
    EXPECT_EQ(point.y, 50);
}

// The cursor is the window's position plus the client position of the latest mouse
// event, as the events are pumped: pushed events never move the server's pointer, so a
// cursor read from the server's global state would not follow them.
TEST_F(Display, CursorFollowsTheMouseEventsOfTheWindow) {
    ASSERT_TRUE(SetCursorPos(5, 6));
    SDL_Delay(20);
    Drain();  // the motion of the warp itself
    int left = 0, top = 0;
    SDL_GetWindowPosition(sdl_, &left, &top);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = SDL_GetWindowID(sdl_);
    motion.motion.state = SDL_BUTTON_LMASK;
    const int steps[][2] = {{30, 40}, {31, 40}, {250, 7}};
    for (const auto& step : steps) {
        motion.motion.x = step[0];
        motion.motion.y = step[1];
        ASSERT_EQ(SDL_PushEvent(&motion), 1);
    }
    Drain();
    POINT point{};
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, left + 250);
    EXPECT_EQ(point.y, top + 7);

    SDL_Event press{};
    press.type = SDL_MOUSEBUTTONDOWN;
    press.button.windowID = SDL_GetWindowID(sdl_);
    press.button.button = SDL_BUTTON_LEFT;
    press.button.x = 12;
    press.button.y = 13;
    ASSERT_EQ(SDL_PushEvent(&press), 1);
    Drain();
    ASSERT_TRUE(GetCursorPos(&point));
    EXPECT_EQ(point.x, left + 12);
    EXPECT_EQ(point.y, top + 13);
}

// While a message box is up its modal loop keeps dispatching the window's messages; the
// owner's input is dropped (the owner is disabled), and a quit waits, with what follows
// it, for the program's own loop. The box itself is replaced by one that stays up until
// the window procedure has seen the first message.
TEST_F(Display, MessageBoxKeepsTheMessagesFlowing) {
    g_dispatched.clear();
    g_dispatchCount = 0;
    win32::System().boxShower = [](SDL_Window*, const std::string&, const std::string& text, UINT) {
        for (int i = 0; i < 500 && g_dispatchCount < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time to dispatch what it must not
        return text == "Render() f'ed up!";
    };
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER_TEST, 1, 0));
    ASSERT_TRUE(PostMessageA(hwnd_, WM_KEYDOWN, 'W', 1));
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER_TEST, 2, 0));
    PostQuitMessage(0);
    ASSERT_TRUE(PostMessageA(hwnd_, WM_USER_TEST, 3, 0));
    EXPECT_EQ(MessageBoxA(hwnd_, "Render() f'ed up!", "Error", MB_ICONWARNING), IDOK);
    win32::System().boxShower = nullptr;
    EXPECT_EQ(g_dispatched, (std::vector<UINT>{WM_USER_TEST + 1, WM_USER_TEST + 2}));
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER_TEST);
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Display, DeviceOnTheWindowPresentsThroughSdl) {
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
    SDL_DisplayMode desktop{};
    ASSERT_EQ(SDL_GetDesktopDisplayMode(0, &desktop), 0);
    EXPECT_EQ(mode.Width, static_cast<UINT>(desktop.w));
    EXPECT_EQ(mode.Height, static_cast<UINT>(desktop.h));
    EXPECT_EQ(mode.Format, D3DFMT_X8R8G8B8);

    D3DPRESENT_PARAMETERS params{};
    params.BackBufferFormat = mode.Format;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
    // The caller's zero size stays 0; the back buffer takes the client area.
    EXPECT_EQ(params.BackBufferWidth, 0u);
    IDirect3DSurface8* back = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    D3DSURFACE_DESC desc{};
    back->GetDesc(&desc);
    back->Release();
    EXPECT_EQ(desc.Width, 320u);
    EXPECT_EQ(desc.Height, 240u);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF336699, 1.0f, 0), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    const win32::Window& window = win32::System().windows.at(hwnd_);
    EXPECT_NE(window.renderer, nullptr);
    EXPECT_EQ(window.textureWidth, 320);
    EXPECT_EQ(window.textureHeight, 240);

    // The front buffer is the desktop: the frame at the client area's place, black elsewhere.
    int left = 0, top = 0;
    SDL_GetWindowPosition(sdl_, &left, &top);
    POINT origin{5, 6};
    ASSERT_TRUE(ClientToScreen(hwnd_, &origin));
    EXPECT_EQ(origin.x, left + 5);
    EXPECT_EQ(origin.y, top + 6);
    IDirect3DSurface8* front = nullptr;
    ASSERT_EQ(device->CreateImageSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, &front), D3D_OK);
    ASSERT_EQ(device->GetFrontBuffer(front), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(front->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    auto at = [&](int x, int y) {
        return reinterpret_cast<const std::uint32_t*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch)[x];
    };
    EXPECT_EQ(at(left, top), 0xFF336699u);
    EXPECT_EQ(at(left + 319, top + 239), 0xFF336699u);
    if (left + 320 < static_cast<int>(mode.Width)) {
        EXPECT_EQ(at(left + 320, top), 0xFF000000u);
    }
    front->UnlockRect();
    front->Release();
    IDirect3DSurface8* small = nullptr;  // the size of the back buffer is not enough here
    ASSERT_EQ(device->CreateImageSurface(320, 240, D3DFMT_A8R8G8B8, &small), D3D_OK);
    EXPECT_EQ(device->GetFrontBuffer(small), D3DERR_INVALIDCALL);
    small->Release();
    ASSERT_TRUE(DestroyWindow(hwnd_));
    EXPECT_LT(device->Present(nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

// A full-screen device makes its window a desktop-sized SDL window that shows the frame
// at the mode's size with its aspect kept; SDL's focus events make it lost, then not reset.
// Its cursor is SDL's colour cursor, and SetCursorPosition warps the pointer, which comes
// back as WM_MOUSEMOVE.
TEST_F(Display, FullScreenDeviceTakesTheDesktopAndIsLostWithTheFocus) {
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 640;
    params.BackBufferHeight = 480;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, hwnd_, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, &device),
              D3D_OK);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_FULLSCREEN_DESKTOP, SDL_WINDOW_FULLSCREEN_DESKTOP);
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd_, &client));
    EXPECT_EQ(client.right * 10000 + client.bottom, 640 * 10000 + 480);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    int logicalWidth = 0, logicalHeight = 0;
    SDL_RenderGetLogicalSize(win32::System().windows.at(hwnd_).renderer, &logicalWidth, &logicalHeight);
    EXPECT_EQ(logicalWidth * 10000 + logicalHeight, 640 * 10000 + 480);

    Drain();
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Drain();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Drain();
    EXPECT_EQ(device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);

    IDirect3DSurface8* image = nullptr;
    ASSERT_EQ(device->CreateImageSurface(32, 32, D3DFMT_A8R8G8B8, &image), D3D_OK);
    ASSERT_EQ(device->SetCursorProperties(0, 0, image), D3D_OK);
    image->Release();
    device->ShowCursor(TRUE);
    EXPECT_NE(SDL_GetCursor(), SDL_GetDefaultCursor());
    device->ShowCursor(FALSE);
    EXPECT_EQ(SDL_GetCursor(), SDL_GetDefaultCursor());

    // Back to windowed: the warp of SetCursorPosition reaches the window as WM_MOUSEMOVE.
    params.Windowed = TRUE;
    params.BackBufferWidth = 320;
    params.BackBufferHeight = 240;
    ASSERT_EQ(device->Reset(&params), D3D_OK);
    EXPECT_EQ(SDL_GetWindowFlags(sdl_) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    SDL_Delay(50);
    Drain();
    POINT target{30, 40};
    ASSERT_TRUE(ClientToScreen(hwnd_, &target));
    device->SetCursorPosition(static_cast<UINT>(target.x), static_cast<UINT>(target.y), 0);
    bool moved = false;
    for (int i = 0; i < 20 && !moved; ++i) {
        SDL_Delay(10);
        MSG msg;
        while (PeekMessageA(&msg, hwnd_, 0, 0, PM_REMOVE))
            moved = moved || (msg.message == WM_MOUSEMOVE && msg.lParam == MAKELPARAM(30, 40));
    }
    EXPECT_TRUE(moved);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace
