// Window classes and windows on SDL2, the headless display, and presentation.
//
// - RegisterClassA keeps the class by name (names compare without regard to case, as on
//   the platform); a second registration of a name fails with ERROR_CLASS_ALREADY_EXISTS.
// - The frame. A window's frame is the one of the platform's classic look, sized from the
//   style as AdjustWindowRectEx gives it (see there): the sizing frame of WS_THICKFRAME
//   adds 4 pixels on each side, the dialog frame of WS_CAPTION or WS_DLGFRAME 3, a bare
//   WS_BORDER 1, the caption 19 on top, a menu another 19, WS_EX_CLIENTEDGE 2 and
//   WS_EX_STATICEDGE 1 on each side. WS_OVERLAPPEDWINDOW thus grows a rectangle by 8 by
//   27 pixels. A style without those bits (WS_POPUP, or 0) has no frame here (the
//   platform gives a plain overlapped window a caption anyway).
// - CreateWindowExA's size is the window rectangle, frame included: the client area is
//   that less the frame, so a program that sizes its window with AdjustWindowRect gets
//   the client area it asked for, on every host. With a display the SDL window is the
//   client area; the window manager draws its own decorations around it, and
//   GetWindowRect reports the platform's frame around the client area, not the window
//   manager's, so that the two calls agree. The window is shown when the style has
//   WS_VISIBLE or once ShowWindow shows it. It is not resizable by the user. No WM_CREATE
//   is sent; DestroyWindow sends WM_DESTROY to the window procedure.
// - Headless (host::SetHeadless, or TOLVANE_HEADLESS=1 in the environment of a program
//   that does not choose), windows are records only: messages come only from what is
//   posted or injected, and frames go to the sink.
// - Full screen (host::SetFullScreen, for a full-screen device): the record takes the
//   mode's size at the screen's origin without a frame, the SDL window fills the desktop,
//   and presentation scales each frame into it through the renderer's logical size, which
//   letterboxes and maps the mouse events back into the frame's pixels.
// - Without headless mode and without a display, CreateWindowExA fails as on a machine
//   without a desktop. SDL quietly falls back to its "offscreen" driver when it finds no
//   display, so the driver it picked is checked and "offscreen" or "dummy" count as none.
#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
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
constexpr int kUseDefault = CW_USEDEFAULT;

// The frame's metrics, the platform's classic ones (GetSystemMetrics reports them).
constexpr int kSizingFrame = 4;   // SM_CXFRAME
constexpr int kDialogFrame = 3;   // SM_CXDLGFRAME
constexpr int kBorder = 1;        // SM_CXBORDER
constexpr int kCaption = 19;      // SM_CYCAPTION
constexpr int kMenu = 19;         // SM_CYMENU
constexpr int kClientEdge = 2;    // SM_CXEDGE
constexpr int kStaticEdge = 1;

// What the frame of a style adds on each side of the client area.
RECT FrameOf(DWORD style, bool menu, DWORD exStyle) {
    int side = 0;
    if ((style & WS_THICKFRAME) != 0)
        side = kSizingFrame;
    else if ((style & WS_DLGFRAME) != 0 || (exStyle & WS_EX_DLGMODALFRAME) != 0)
        side = kDialogFrame;
    else if ((style & WS_BORDER) != 0)
        side = kBorder;
    if ((exStyle & WS_EX_CLIENTEDGE) != 0) side += kClientEdge;
    if ((exStyle & WS_EX_STATICEDGE) != 0) side += kStaticEdge;
    int top = side;
    if ((style & WS_CAPTION) == WS_CAPTION) top += kCaption;
    if (menu) top += kMenu;
    return RECT{side, top, side, side};
}

// The client size of a window record.
int ClientWidth(const Window& window) { return std::max(0, window.width - window.frame.left - window.frame.right); }
int ClientHeight(const Window& window) { return std::max(0, window.height - window.frame.top - window.frame.bottom); }


}  // namespace

bool HeadlessFromEnvironment() {
    const char* value = std::getenv("TOLVANE_HEADLESS");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

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

POINT ClientOrigin(const Window& window) {
    POINT origin{window.x + window.frame.left, window.y + window.frame.top};
    if (window.sdlWindow != nullptr) SDL_GetWindowPosition(window.sdlWindow, &origin.x, &origin.y);
    return origin;
}

void SetWindowFocusState(Window& window, bool active, bool minimized) {
    const bool had = window.active && !window.minimized;
    window.active = active;
    window.minimized = minimized;
    if (had && !(active && !minimized)) ++window.focusLosses;
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
    entry.extraBytes = std::clamp(wc->cbWndExtra, 0, 40);
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
    window.exStyle = exStyle;
    window.instance = instance;
    window.visible = (style & WS_VISIBLE) != 0;
    window.x = x == win32::kUseDefault ? 0 : x;
    window.y = y == win32::kUseDefault ? 0 : y;
    window.width = width;
    window.height = height;
    window.frame = win32::FrameOf(style, menu != nullptr, exStyle);
    window.extra.assign(static_cast<std::size_t>(found->second.extraBytes), 0);

    if (!system.headless) {
        if (!win32::StartVideo()) return nullptr;
        Uint32 flags = window.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
        int sdlX = x == win32::kUseDefault ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x + window.frame.left;
        int sdlY = y == win32::kUseDefault ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y + window.frame.top;
        window.sdlWindow = SDL_CreateWindow(window.title.c_str(), sdlX, sdlY, std::max(1, win32::ClientWidth(window)),
                                           std::max(1, win32::ClientHeight(window)), flags);
        if (window.sdlWindow == nullptr) {
            std::fprintf(stderr, "win32: window \"%s\" could not be created: %s\n", window.title.c_str(),
                         SDL_GetError());
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        window.sdlId = SDL_GetWindowID(window.sdlWindow);
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
    if (system.capture == hwnd) system.capture = nullptr;
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
    int width = win32::ClientWidth(*found);
    int height = win32::ClientHeight(*found);
    // A full-screen window's client area is the mode's, whatever the desktop's size.
    if (found->sdlWindow != nullptr && !found->fullScreen)
        SDL_GetWindowSizeInPixels(found->sdlWindow, &width, &height);
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
    const POINT origin = win32::ClientOrigin(window);
    int width = 0, height = 0;
    SDL_GetWindowSize(window.sdlWindow, &width, &height);
    *rect = RECT{origin.x - window.frame.left, origin.y - window.frame.top, origin.x + width + window.frame.right,
                 origin.y + height + window.frame.bottom};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, POINT* point) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* found = WindowFor(system, hwnd, point);
    if (found == nullptr) return FALSE;
    const POINT origin = win32::ClientOrigin(*found);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, POINT* point) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* found = WindowFor(system, hwnd, point);
    if (found == nullptr) return FALSE;
    const POINT origin = win32::ClientOrigin(*found);
    point->x -= origin.x;
    point->y -= origin.y;
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

// ---- window management ------------------------------------------------------------------
//
// - AdjustWindowRectEx grows the rectangle by the frame described at the top of this file.
// - ShowWindow shows the window for every command but SW_HIDE (minimised and maximised
//   windows are shown as they are) and answers whether it was visible before; WS_VISIBLE
//   in the style follows.
// - UpdateWindow sends nothing: windows keep no update region, the device paints them.
// - SetWindowPos and MoveWindow move and size the window rectangle; a new client size is
//   announced with WM_SIZE (SIZE_RESTORED). SWP_FRAMECHANGED sizes the frame again from
//   the style (SetWindowLongA with GWL_STYLE alone leaves it, as on the platform); the
//   z-order is left to the window system.
// - Window data: GWLP_WNDPROC (the procedure that DispatchMessageA and SendMessageA call,
//   so a program subclasses a window by setting it and passes on with CallWindowProcA),
//   GWLP_USERDATA, GWLP_HINSTANCE, GWLP_ID (0), GWL_STYLE, GWL_EXSTYLE, and the class's
//   cbWndExtra bytes at non-negative offsets. The 32-bit calls cannot hold a procedure:
//   GWLP_WNDPROC there fails with ERROR_INVALID_INDEX, as on 64-bit Windows.
// - The cursor: ShowCursor keeps the display counter (it starts at 0; the cursor shows
//   while it is not negative) and SetCursor the shape; a null shape hides it too. With a
//   display SDL's cursor follows; headless only the state is kept.
// - Capture: while a window holds it, the mouse messages of every window go to it, in its
//   client coordinates (with a display SDL keeps reporting the mouse outside the window).
//   The window that loses it gets WM_CAPTURECHANGED with the new holder in lParam.

namespace {

Window* FindWindow(WindowSystem& system, HWND hwnd) {
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return &found->second;
}

// The window's procedure, to be called once the lock is let go; null for no window.
WNDPROC ProcedureOf(WindowSystem& system, HWND hwnd) {
    Window* window = FindWindow(system, hwnd);
    return window != nullptr ? window->procedure : nullptr;
}

// The device's cursor, while shown, replaces the system's whatever ShowCursor's counter and
// SetCursor's shape say (a program hides those and shows the device's).
void ApplyCursor(WindowSystem& system) {
    if (!system.videoStarted) return;
    const bool device = system.deviceCursorShown && system.sdlDeviceCursor != nullptr;
    SDL_SetCursor(device ? system.sdlDeviceCursor : SDL_GetDefaultCursor());
    const bool shown =
        device || (system.cursorCount >= 0 && (!system.cursorShapeSet || system.cursorShape != nullptr));
    SDL_ShowCursor(shown ? SDL_ENABLE : SDL_DISABLE);
}

bool IsWindowDataIndex(const Window& window, int index, std::size_t bytes) {
    return index >= 0 && static_cast<std::size_t>(index) + bytes <= window.extra.size();
}

}  // namespace

BOOL AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (rect == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RECT frame = win32::FrameOf(style, menu != FALSE, exStyle);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu) { return AdjustWindowRectEx(rect, style, menu, 0); }

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
        case SM_CYSCREEN: {
            int width = 1024, height = 768;  // the headless desktop, as the adapter reports it
            host::GetDesktopSize(width, height);
            return index == SM_CXSCREEN ? width : height;
        }
        case SM_CXBORDER:
        case SM_CYBORDER: return win32::kBorder;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME: return win32::kDialogFrame;
        case SM_CXFRAME:
        case SM_CYFRAME: return win32::kSizingFrame;
        case SM_CYCAPTION: return win32::kCaption;
        case SM_CYMENU: return win32::kMenu;
        default: return 0;
    }
}

BOOL ShowWindow(HWND hwnd, int command) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    Window* window = FindWindow(system, hwnd);
    if (window == nullptr) return FALSE;
    const bool wasVisible = window->visible;
    window->visible = command != SW_HIDE;
    if (window->visible)
        window->style |= WS_VISIBLE;
    else
        window->style &= ~WS_VISIBLE;
    if (window->sdlWindow != nullptr && window->visible != wasVisible) {
        if (window->visible)
            SDL_ShowWindow(window->sdlWindow);
        else
            SDL_HideWindow(window->sdlWindow);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    return found != system.windows.end() && found->second.visible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    (void)insertAfter;  // the z-order is the window system's
    WindowSystem& system = System();
    std::unique_lock lock(system.mutex);
    Window* window = FindWindow(system, hwnd);
    if (window == nullptr) return FALSE;
    const int oldWidth = win32::ClientWidth(*window), oldHeight = win32::ClientHeight(*window);
    if ((flags & SWP_NOMOVE) == 0) {
        window->x = x;
        window->y = y;
    }
    if ((flags & SWP_NOSIZE) == 0) {
        window->width = std::clamp(width, 0, 16384);
        window->height = std::clamp(height, 0, 16384);
    }
    if ((flags & SWP_FRAMECHANGED) != 0) window->frame = win32::FrameOf(window->style, false, window->exStyle);
    if (window->sdlWindow != nullptr) {
        if ((flags & SWP_NOMOVE) == 0)
            SDL_SetWindowPosition(window->sdlWindow, window->x + window->frame.left, window->y + window->frame.top);
        if ((flags & (SWP_NOSIZE | SWP_FRAMECHANGED)) != SWP_NOSIZE)
            SDL_SetWindowSize(window->sdlWindow, std::max(1, win32::ClientWidth(*window)),
                              std::max(1, win32::ClientHeight(*window)));
    }
    const int newWidth = win32::ClientWidth(*window), newHeight = win32::ClientHeight(*window);
    WNDPROC procedure = window->procedure;
    lock.unlock();
    if ((flags & SWP_SHOWWINDOW) != 0) ShowWindow(hwnd, SW_SHOWNA);
    if ((flags & SWP_HIDEWINDOW) != 0) ShowWindow(hwnd, SW_HIDE);
    if (newWidth != oldWidth || newHeight != oldHeight)
        procedure(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(newWidth, newHeight));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    (void)repaint;
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const Window* window = FindWindow(system, hwnd);
    if (window == nullptr) return 0;
    switch (index) {
        case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(window->procedure);
        case GWLP_USERDATA: return window->userData;
        case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
        case GWLP_ID:
        case GWLP_HWNDPARENT: return 0;
        case GWL_STYLE: return static_cast<LONG>(window->style);
        case GWL_EXSTYLE: return static_cast<LONG>(window->exStyle);
        default: break;
    }
    if (!IsWindowDataIndex(*window, index, sizeof(LONG_PTR))) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value = 0;
    std::memcpy(&value, window->extra.data() + index, sizeof value);
    return value;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    Window* window = FindWindow(system, hwnd);
    if (window == nullptr) return 0;
    LONG_PTR previous = 0;
    switch (index) {
        case GWLP_WNDPROC:
            if (value == 0) {  // a window always has a procedure
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            previous = reinterpret_cast<LONG_PTR>(window->procedure);
            window->procedure = reinterpret_cast<WNDPROC>(value);
            return previous;
        case GWLP_USERDATA:
            previous = window->userData;
            window->userData = value;
            return previous;
        case GWLP_HINSTANCE:
            previous = reinterpret_cast<LONG_PTR>(window->instance);
            window->instance = reinterpret_cast<HINSTANCE>(value);
            return previous;
        case GWLP_ID: return 0;
        case GWL_STYLE:
            previous = static_cast<LONG>(window->style);
            window->style = static_cast<DWORD>(value);
            return previous;
        case GWL_EXSTYLE:
            previous = static_cast<LONG>(window->exStyle);
            window->exStyle = static_cast<DWORD>(value);
            return previous;
        default: break;
    }
    if (!IsWindowDataIndex(*window, index, sizeof(LONG_PTR))) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(&previous, window->extra.data() + index, sizeof previous);
    std::memcpy(window->extra.data() + index, &value, sizeof value);
    return previous;
}

LONG GetWindowLongA(HWND hwnd, int index) {
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        SetLastError(IsWindow(hwnd) ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index >= 0) {
        WindowSystem& system = System();
        std::lock_guard lock(system.mutex);
        const Window* window = FindWindow(system, hwnd);
        if (window == nullptr) return 0;
        if (!IsWindowDataIndex(*window, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG value = 0;
        std::memcpy(&value, window->extra.data() + index, sizeof value);
        return value;
    }
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        SetLastError(IsWindow(hwnd) ? ERROR_INVALID_INDEX : ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index >= 0) {
        WindowSystem& system = System();
        std::lock_guard lock(system.mutex);
        Window* window = FindWindow(system, hwnd);
        if (window == nullptr) return 0;
        if (!IsWindowDataIndex(*window, index, sizeof(LONG))) {
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
        }
        LONG previous = 0;
        std::memcpy(&previous, window->extra.data() + index, sizeof previous);
        std::memcpy(window->extra.data() + index, &value, sizeof value);
        return previous;
    }
    if (index == GWL_STYLE || index == GWL_EXSTYLE)  // the styles are DWORDs: no sign to extend
        return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

LRESULT CallWindowProcA(WNDPROC procedure, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (procedure == nullptr) return 0;
    return procedure(hwnd, msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = nullptr;
    {
        WindowSystem& system = System();
        std::lock_guard lock(system.mutex);
        procedure = ProcedureOf(system, hwnd);
    }
    return procedure != nullptr ? procedure(hwnd, msg, wParam, lParam) : 0;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    Window* window = FindWindow(system, hwnd);
    if (window == nullptr) return FALSE;
    window->title = text != nullptr ? text : "";
    if (window->sdlWindow != nullptr) SDL_SetWindowTitle(window->sdlWindow, window->title.c_str());
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    HCURSOR previous = system.cursorShape;
    system.cursorShape = cursor;
    system.cursorShapeSet = true;
    ApplyCursor(system);
    return previous;
}

int ShowCursor(BOOL show) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.cursorCount += show != FALSE ? 1 : -1;
    ApplyCursor(system);
    return system.cursorCount;
}

HWND SetCapture(HWND hwnd) {
    WindowSystem& system = System();
    std::unique_lock lock(system.mutex);
    if (FindWindow(system, hwnd) == nullptr) return nullptr;
    HWND previous = system.capture;
    system.capture = hwnd;
    if (system.videoStarted) SDL_CaptureMouse(SDL_TRUE);
    WNDPROC losing = previous != nullptr && previous != hwnd ? ProcedureOf(system, previous) : nullptr;
    lock.unlock();
    if (losing != nullptr) losing(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return previous;
}

BOOL ReleaseCapture() {
    WindowSystem& system = System();
    std::unique_lock lock(system.mutex);
    HWND previous = system.capture;
    system.capture = nullptr;
    if (previous == nullptr) return TRUE;
    if (system.videoStarted) SDL_CaptureMouse(SDL_FALSE);
    WNDPROC losing = ProcedureOf(system, previous);
    lock.unlock();
    if (losing != nullptr) losing(previous, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND GetCapture() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    return system.capture;
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
    if (window.fullScreen) {
        // The renderer's logical size letterboxes the frame on the desktop-sized window and
        // maps mouse events back into the frame's pixels; the bars are cleared to black.
        SDL_RenderSetLogicalSize(window.renderer, width, height);
        SDL_SetRenderDrawColor(window.renderer, 0, 0, 0, 255);
        SDL_RenderClear(window.renderer);
    }
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

bool SetFullScreen(HWND hwnd, bool fullScreen, int width, int height) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return false;
    Window& window = found->second;
    if (fullScreen) {
        if (!window.fullScreen) {
            window.restoreX = window.x;
            window.restoreY = window.y;
            window.restoreWidth = window.width;
            window.restoreHeight = window.height;
            window.restoreFrame = window.frame;
        }
        window.fullScreen = true;
        window.x = 0;
        window.y = 0;
        window.width = std::max(1, width);
        window.height = std::max(1, height);
        window.frame = RECT{0, 0, 0, 0};
        window.visible = true;
        win32::SetWindowFocusState(window, true, false);
        if (window.sdlWindow != nullptr) {
            SDL_ShowWindow(window.sdlWindow);
            SDL_SetWindowFullscreen(window.sdlWindow, SDL_WINDOW_FULLSCREEN_DESKTOP);
            SDL_RaiseWindow(window.sdlWindow);
        }
        return true;
    }
    if (!window.fullScreen) return true;
    window.fullScreen = false;
    window.x = window.restoreX;
    window.y = window.restoreY;
    window.width = window.restoreWidth;
    window.height = window.restoreHeight;
    window.frame = window.restoreFrame;
    if (window.sdlWindow != nullptr) {
        SDL_SetWindowFullscreen(window.sdlWindow, 0);
        if (window.renderer != nullptr) SDL_RenderSetLogicalSize(window.renderer, 0, 0);
        SDL_SetWindowSize(window.sdlWindow, std::max(1, win32::ClientWidth(window)),
                          std::max(1, win32::ClientHeight(window)));
        SDL_SetWindowPosition(window.sdlWindow, window.x + window.frame.left, window.y + window.frame.top);
    }
    return true;
}

RECT LetterboxRect(int frameWidth, int frameHeight, int width, int height) {
    if (frameWidth <= 0 || frameHeight <= 0 || width <= 0 || height <= 0) return RECT{0, 0, 0, 0};
    // The larger scale that fits both sides: compare width / frameWidth with height / frameHeight.
    const std::int64_t byWidth = static_cast<std::int64_t>(width) * frameHeight;
    const std::int64_t byHeight = static_cast<std::int64_t>(height) * frameWidth;
    int fitWidth = width, fitHeight = height;
    if (byWidth > byHeight)
        fitWidth = static_cast<int>(byHeight / frameHeight);  // bars left and right
    else
        fitHeight = static_cast<int>(byWidth / frameWidth);  // bars above and below
    const int left = (width - fitWidth) / 2, top = (height - fitHeight) / 2;
    return RECT{left, top, left + fitWidth, top + fitHeight};
}

bool HasFocus(HWND hwnd) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    return found != system.windows.end() && found->second.active && !found->second.minimized;
}

unsigned FocusLosses(HWND hwnd) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    return found != system.windows.end() ? found->second.focusLosses : 0;
}

void SetDeviceCursor(const std::uint32_t* pixels, int width, int height, int hotX, int hotY) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    if (system.sdlDeviceCursor != nullptr) {
        SDL_SetCursor(SDL_GetDefaultCursor());  // SDL must not keep the cursor freed here
        SDL_FreeCursor(system.sdlDeviceCursor);
        system.sdlDeviceCursor = nullptr;
    }
    system.deviceCursor.clear();
    if (pixels != nullptr && width > 0 && height > 0) {
        system.deviceCursor.assign(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        system.deviceCursorWidth = width;
        system.deviceCursorHeight = height;
        system.deviceCursorHotX = hotX;
        system.deviceCursorHotY = hotY;
        if (system.videoStarted) {
            SDL_Surface* image = SDL_CreateRGBSurfaceWithFormatFrom(system.deviceCursor.data(), width, height, 32,
                                                                    width * 4, SDL_PIXELFORMAT_ARGB8888);
            if (image != nullptr) {
                system.sdlDeviceCursor = SDL_CreateColorCursor(image, hotX, hotY);
                SDL_FreeSurface(image);
            }
        }
    }
    ApplyCursor(system);
}

void ShowDeviceCursor(bool shown) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.deviceCursorShown = shown;
    ApplyCursor(system);
}

bool DeviceCursorShown() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    return system.deviceCursorShown && !system.deviceCursor.empty();
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
    std::fill(std::begin(system.asyncKeyState), std::end(system.asyncKeyState), BYTE{0});
    system.capture = nullptr;
    system.cursorCount = 0;
    system.cursorShape = nullptr;
    system.cursorShapeSet = false;
    system.deviceCursorShown = false;
    system.deviceCursor.clear();
    if (system.sdlDeviceCursor != nullptr) {
        if (system.videoStarted) SDL_SetCursor(SDL_GetDefaultCursor());
        SDL_FreeCursor(system.sdlDeviceCursor);
        system.sdlDeviceCursor = nullptr;
    }
    ApplyCursor(system);
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
