// Window classes and windows on SDL2, the headless display, and presentation.
//
// - RegisterClassA keeps the class by name (names compare without regard to case, as on
//   the platform); a second registration of a name fails with ERROR_CLASS_ALREADY_EXISTS.
// - CreateWindowExA makes an SDL window of the requested outer size. SDL sizes the client
//   area and learns the window manager's frame only once the window is managed: the
//   client area starts at the outer size and is shrunk by the frame's borders as soon as
//   SDL reports them (at creation or as events are pumped). Without a window manager there
//   is no frame. GetClientRect reports what SDL really made. The window is shown only when the
//   style has WS_VISIBLE (there is no ShowWindow). It is not resizable. No WM_CREATE is
//   sent; DestroyWindow sends WM_DESTROY to the window procedure.
// - Headless (host::SetHeadless), windows are records only: the client area is the
//   requested size, messages come only from PostMessageA, and frames go to the sink.
// - Without headless mode and without a display, CreateWindowExA fails as on a machine
//   without a desktop. SDL quietly falls back to its "offscreen" driver when it finds no
//   display, so the driver it picked is checked and "offscreen" or "dummy" count as none.
#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/win32/window_system.h"

namespace win32 {

WindowSystem& System() {
    static WindowSystem system;
    return system;
}

namespace {

std::string LowerCase(const char* text) {
    std::string result(text);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

// CW_USEDEFAULT: the system chooses the position.
constexpr int kUseDefault = static_cast<int>(0x80000000u);

}  // namespace

bool StartVideo() {
    WindowSystem& system = System();
    if (system.videoStarted) return true;
    // SDL's quit event then comes only from SIGINT and SIGTERM (see message.cpp).
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "win32: no display: %s\n", SDL_GetError());
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
        std::fprintf(stderr, "win32: no display (SDL's video driver is \"%s\")\n", driver != nullptr ? driver : "");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    system.videoStarted = true;
    return true;
}

void FitFrame(Window& window) {
    if (window.frameFitted || window.sdlWindow == nullptr) return;
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window.sdlWindow, &top, &left, &bottom, &right) != 0) return;
    if (top == 0 && left == 0 && bottom == 0 && right == 0) return;  // not known yet, or no frame
    SDL_SetWindowSize(window.sdlWindow, std::max(1, window.width - left - right), std::max(1, window.height - top - bottom));
    window.frameFitted = true;
}

void ReleaseSdlObjects(Window& window) {
    if (window.texture != nullptr) SDL_DestroyTexture(window.texture);
    if (window.renderer != nullptr) SDL_DestroyRenderer(window.renderer);
    if (window.sdlWindow != nullptr) SDL_DestroyWindow(window.sdlWindow);
    window.texture = nullptr;
    window.renderer = nullptr;
    window.sdlWindow = nullptr;
}

}  // namespace win32

using win32::System;
using win32::Window;
using win32::WindowSystem;

ATOM RegisterClassA(const WNDCLASSA* wc) {
    if (wc == nullptr || wc->lpszClassName == nullptr || IS_INTRESOURCE(wc->lpszClassName) ||
        wc->lpszClassName[0] == '\0' || wc->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    std::string key = win32::LowerCase(wc->lpszClassName);
    if (system.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    win32::WindowClass& entry = system.classes[key];
    entry.name = wc->lpszClassName;
    entry.style = wc->style;
    entry.procedure = wc->lpfnWndProc;
    entry.instance = wc->hInstance;
    // Atoms of registered classes lie in 0xC000..0xFFFF on the platform.
    return static_cast<ATOM>(0xC000u + (system.classes.size() & 0x3FFFu));
}

BOOL UnregisterClassA(LPCSTR className, HINSTANCE instance) {
    if (className == nullptr || IS_INTRESOURCE(className)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    std::string key = win32::LowerCase(className);
    auto found = system.classes.find(key);
    if (found == system.classes.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    for (const auto& [handle, window] : system.windows) {
        if (win32::LowerCase(window.className.c_str()) == key) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    system.classes.erase(found);
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    if (className == nullptr || IS_INTRESOURCE(className)) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    WindowSystem& system = System();
    std::unique_lock lock(system.mutex);
    auto found = system.classes.find(win32::LowerCase(className));
    if (found == system.classes.end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    // Sizes are clamped to what a window can be; CW_USEDEFAULT as a size means a default.
    if (width == win32::kUseDefault || width <= 0) width = width == win32::kUseDefault ? 640 : 1;
    if (height == win32::kUseDefault || height <= 0) height = height == win32::kUseDefault ? 480 : 1;
    width = std::min(width, 16384);
    height = std::min(height, 16384);

    Window window;
    window.className = found->second.name;
    window.procedure = found->second.procedure;
    window.title = windowName != nullptr ? windowName : "";
    window.style = style;
    window.x = x == win32::kUseDefault ? 0 : x;
    window.y = y == win32::kUseDefault ? 0 : y;
    window.width = width;
    window.height = height;

    if (!system.headless) {
        if (!win32::StartVideo()) return nullptr;
        Uint32 flags = (style & WS_VISIBLE) != 0 ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
        int sdlX = x == win32::kUseDefault ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
        int sdlY = y == win32::kUseDefault ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
        window.sdlWindow = SDL_CreateWindow(window.title.c_str(), sdlX, sdlY, width, height, flags);
        if (window.sdlWindow == nullptr) {
            std::fprintf(stderr, "win32: window \"%s\" could not be created: %s\n", window.title.c_str(),
                         SDL_GetError());
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        window.sdlId = SDL_GetWindowID(window.sdlWindow);
        win32::FitFrame(window);
    }
    if (system.headless) win32::CatchCloseSignals(system);
    window.handle = reinterpret_cast<HWND>(system.nextHandle);
    system.nextHandle += 4;
    HWND handle = window.handle;
    system.windows.emplace(handle, std::move(window));
    return handle;
}

BOOL DestroyWindow(HWND hwnd) {
    WindowSystem& system = System();
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(system.mutex);
        auto found = system.windows.find(hwnd);
        if (found == system.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        procedure = found->second.procedure;
    }
    procedure(hwnd, WM_DESTROY, 0, 0);
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return TRUE;  // destroyed from inside WM_DESTROY
    win32::ReleaseSdlObjects(found->second);
    system.windows.erase(found);
    // Messages still queued for the window go with it.
    std::erase_if(system.queue, [hwnd](const MSG& msg) { return msg.hwnd == hwnd; });
    if (system.movePending && system.pendingMove.hwnd == hwnd) system.movePending = false;
    if (system.windows.empty()) win32::ReleaseCloseSignals(system);  // nothing left to close
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    return system.windows.count(hwnd) != 0 ? TRUE : FALSE;
}

namespace {

// The window of a handle, for a call that writes its answer to out (the system's lock
// held); null, with the platform's error, for an unknown handle or a null out.
const Window* WindowFor(WindowSystem& system, HWND hwnd, const void* out) {
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (out == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return &found->second;
}

}  // namespace

BOOL GetClientRect(HWND hwnd, RECT* rect) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* found = WindowFor(system, hwnd, rect);
    if (found == nullptr) return FALSE;
    int width = found->width;
    int height = found->height;
    if (found->sdlWindow != nullptr) SDL_GetWindowSizeInPixels(found->sdlWindow, &width, &height);
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* found = WindowFor(system, hwnd, rect);
    if (found == nullptr) return FALSE;
    const Window& window = *found;
    if (window.sdlWindow == nullptr) {
        *rect = RECT{window.x, window.y, window.x + window.width, window.y + window.height};
        return TRUE;
    }
    int x = 0, y = 0, width = 0, height = 0;
    int top = 0, left = 0, bottom = 0, right = 0;
    SDL_GetWindowPosition(window.sdlWindow, &x, &y);
    SDL_GetWindowSize(window.sdlWindow, &width, &height);
    if (SDL_GetWindowBordersSize(window.sdlWindow, &top, &left, &bottom, &right) != 0) {
        top = left = bottom = right = 0;  // no window manager: no frame
    }
    *rect = RECT{x - left, y - top, x + width + right, y + height + bottom};
    return TRUE;
}

// The client area's origin is where SDL places the window (its frame lies around it);
// a headless window's client area starts at its position.
BOOL ClientToScreen(HWND hwnd, POINT* point) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* found = WindowFor(system, hwnd, point);
    if (found == nullptr) return FALSE;
    int x = found->x, y = found->y;
    if (found->sdlWindow != nullptr) SDL_GetWindowPosition(found->sdlWindow, &x, &y);
    point->x += x;
    point->y += y;
    return TRUE;
}

int GetWindowTextA(HWND hwnd, LPSTR text, int maxCount) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (text == nullptr || maxCount <= 0) return 0;
    const std::string& title = found->second.title;
    int count = static_cast<int>(std::min<std::size_t>(title.size(), static_cast<std::size_t>(maxCount - 1)));
    std::memcpy(text, title.data(), static_cast<std::size_t>(count));
    text[count] = '\0';
    return count;
}

namespace host {

void SetHeadless(bool headless) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.headless = headless;
}

bool IsHeadless() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    return system.headless;
}

void SetFrameSink(FrameSink sink) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.frameSink = std::move(sink);
}

bool PresentFrame(HWND hwnd, const std::uint32_t* pixels, int width, int height, int pitchBytes) {
    if (pixels == nullptr || width <= 0 || height <= 0 || pitchBytes < width * 4) return false;
    WindowSystem& system = System();
    std::unique_lock lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return false;
    Window& window = found->second;
    if (window.sdlWindow == nullptr) {
        FrameSink sink = system.frameSink;
        lock.unlock();  // the sink may call back into the window layer
        if (sink) sink(hwnd, pixels, width, height, pitchBytes);
        return true;
    }
    if (window.renderer == nullptr) {
        window.renderer = SDL_CreateRenderer(window.sdlWindow, -1, 0);
        if (window.renderer == nullptr) {
            std::fprintf(stderr, "win32: no renderer for the window: %s\n", SDL_GetError());
            return false;
        }
    }
    if (window.texture == nullptr || window.textureWidth != width || window.textureHeight != height) {
        if (window.texture != nullptr) SDL_DestroyTexture(window.texture);
        window.texture =
            SDL_CreateTexture(window.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
        window.textureWidth = width;
        window.textureHeight = height;
        if (window.texture == nullptr) {
            std::fprintf(stderr, "win32: no texture for the window: %s\n", SDL_GetError());
            return false;
        }
    }
    if (SDL_UpdateTexture(window.texture, nullptr, pixels, pitchBytes) != 0) return false;
    SDL_RenderCopy(window.renderer, window.texture, nullptr, nullptr);
    SDL_RenderPresent(window.renderer);
    return true;
}

bool GetDesktopSize(int& width, int& height) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    if (system.headless || !win32::StartVideo()) return false;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return false;
    width = mode.w;
    height = mode.h;
    return true;
}

void Shutdown() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    for (auto& [handle, window] : system.windows) win32::ReleaseSdlObjects(window);
    system.windows.clear();
    system.classes.clear();
    system.queue.clear();
    system.movePending = false;
    win32::ReleaseCloseSignals(system);
    std::fill(std::begin(system.keyState), std::end(system.keyState), BYTE{0});
    system.cursorFromEvents = false;
    // SDL's video subsystem stays up for the rest of the process: started again after a
    // shutdown, its X11 driver now and then fails to connect and SDL falls back to its
    // offscreen driver (seen under Xvfb), which would count as no display.
    if (system.videoStarted) {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);  // events of the windows just gone
    }
}

}  // namespace host
