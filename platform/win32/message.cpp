// The message queue: posting, peeking, dispatching, and SDL events as window messages.
//
// One queue for the thread holds posted messages and the messages made from SDL events,
// in the order they arrived; PeekMessageA first turns pending SDL events into messages
// (appended after what was posted before), then hands out the oldest message that passes
// its filter. WM_QUIT passes every filter.
//
// SDL events and the messages they become:
// - key down / up: WM_KEYDOWN / WM_KEYUP with the virtual-key code (letters and digits
//   as their upper-case ASCII codes). Auto-repeat sends further WM_KEYDOWN messages with
//   bit 30 of lParam set, as the platform does. Keys without a code send nothing.
// - left (right) button down / up: WM_LBUTTONDOWN / WM_LBUTTONUP (WM_RBUTTON...), client
//   coordinates in lParam. Mouse motion sends nothing: the cursor is read with
//   GetCursorPos, and a message per motion event would crowd a loop that handles one
//   message per pass.
// - mouse motion and buttons move the cursor that GetCursorPos reports: the window's
//   position plus the event's client position. SDL's global mouse state is no substitute:
//   on an X server without raw input events it keeps the position of a button press until
//   the release, and under Wayland there is no global position at all.
// - focus gained / lost: WM_ACTIVATE with WA_ACTIVE / WA_INACTIVE in the low word.
// - the close button: WM_CLOSE. SDL's own quit event is ignored (WM_CLOSE covers it).
// TranslateMessage makes no WM_CHAR messages; nothing here reads them.
#include <SDL.h>

#include <chrono>

#include "platform/win32/window_system.h"

namespace win32 {
namespace {

constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WPARAM MK_RBUTTON = 0x0002;

// The virtual-key code of an SDL key, 0 when it has none.
WPARAM VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<WPARAM>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WPARAM>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + static_cast<WPARAM>(key - SDLK_F1);
    switch (key) {
        case SDLK_BACKSPACE: return VK_BACK;
        case SDLK_TAB: return VK_TAB;
        case SDLK_RETURN: return VK_RETURN;
        case SDLK_KP_ENTER: return VK_RETURN;
        case SDLK_ESCAPE: return VK_ESCAPE;
        case SDLK_SPACE: return VK_SPACE;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_END: return VK_END;
        case SDLK_HOME: return VK_HOME;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_UP: return VK_UP;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT: return VK_MENU;
        default: return 0;
    }
}

LPARAM PointParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<DWORD>(static_cast<WORD>(y)) << 16) | static_cast<WORD>(x));
}

// The window an SDL event belongs to; events without a window go to the keyboard focus,
// else to the first window with a display.
HWND WindowForEvent(WindowSystem& system, Uint32 windowId) {
    if (windowId == 0) {
        SDL_Window* focus = SDL_GetKeyboardFocus();
        if (focus != nullptr) windowId = SDL_GetWindowID(focus);
    }
    HWND first = nullptr;
    for (const auto& [handle, window] : system.windows) {
        if (window.sdlWindow == nullptr) continue;
        if (windowId != 0 && window.sdlId == windowId) return handle;
        if (first == nullptr) first = handle;
    }
    return windowId == 0 ? first : nullptr;
}

void Enqueue(WindowSystem& system, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = MessageTime();
    msg.pt = CursorPosition(system);
    system.queue.push_back(msg);
}

// The cursor moved to the client position (x, y) of an SDL window.
void TrackCursor(WindowSystem& system, Uint32 windowId, int x, int y) {
    SDL_Window* window = SDL_GetWindowFromID(windowId);
    if (window == nullptr) return;
    int left = 0, top = 0;
    SDL_GetWindowPosition(window, &left, &top);
    system.cursor = POINT{left + x, top + y};
    system.cursorFromEvents = true;
}

void TranslateEvent(WindowSystem& system, const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            WPARAM key = VirtualKey(event.key.keysym.sym);
            HWND hwnd = WindowForEvent(system, event.key.windowID);
            if (key == 0 || hwnd == nullptr) return;
            bool down = event.type == SDL_KEYDOWN;
            // lParam: repeat count 1, scan code in bits 16-23, previous state in bit 30,
            // transition (1 for a release) in bit 31.
            DWORD bits = 1u | ((static_cast<DWORD>(event.key.keysym.scancode) & 0xFFu) << 16);
            if (!down || event.key.repeat != 0) bits |= 1u << 30;
            if (!down) bits |= 1u << 31;
            Enqueue(system, hwnd, down ? WM_KEYDOWN : WM_KEYUP, key, static_cast<LPARAM>(static_cast<std::int32_t>(bits)));
            return;
        }
        case SDL_MOUSEMOTION:
            TrackCursor(system, event.motion.windowID, event.motion.x, event.motion.y);
            return;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            TrackCursor(system, event.button.windowID, event.button.x, event.button.y);
            HWND hwnd = WindowForEvent(system, event.button.windowID);
            if (hwnd == nullptr) return;
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            LPARAM where = PointParam(event.button.x, event.button.y);
            if (event.button.button == SDL_BUTTON_LEFT)
                Enqueue(system, hwnd, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MK_LBUTTON : 0, where);
            else if (event.button.button == SDL_BUTTON_RIGHT)
                Enqueue(system, hwnd, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? MK_RBUTTON : 0, where);
            return;
        }
        case SDL_WINDOWEVENT: {
            HWND hwnd = WindowForEvent(system, event.window.windowID);
            if (hwnd == nullptr) return;
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED: Enqueue(system, hwnd, WM_ACTIVATE, WA_ACTIVE, 0); return;
                case SDL_WINDOWEVENT_FOCUS_LOST: Enqueue(system, hwnd, WM_ACTIVATE, WA_INACTIVE, 0); return;
                case SDL_WINDOWEVENT_CLOSE: Enqueue(system, hwnd, WM_CLOSE, 0, 0); return;
                default: return;
            }
        }
        default: return;
    }
}

bool Passes(const MSG& msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg.message == WM_QUIT) return true;
    if (hwnd != nullptr && msg.hwnd != hwnd) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

}  // namespace

POINT CursorPosition(WindowSystem& system) {
    if (system.headless || !system.videoStarted || system.cursorFromEvents) return system.cursor;
    // Until the first mouse event the server's pointer is the best there is.
    int x = 0, y = 0;
    SDL_GetGlobalMouseState(&x, &y);
    return POINT{x, y};
}

DWORD MessageTime() {
    static const auto start = std::chrono::steady_clock::now();
    auto elapsed = std::chrono::steady_clock::now() - start;
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

void PumpEvents() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    if (!system.videoStarted) return;
    SDL_PumpEvents();
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) TranslateEvent(system, event);
}

}  // namespace win32

using win32::System;
using win32::WindowSystem;

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    win32::PumpEvents();
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    for (auto it = system.queue.begin(); it != system.queue.end(); ++it) {
        if (!win32::Passes(*it, hwnd, filterMin, filterMax)) continue;
        *msg = *it;
        if ((removeMsg & PM_REMOVE) != 0) system.queue.erase(it);
        return TRUE;
    }
    return FALSE;
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    // A null window posts a message to the thread, which no window procedure sees.
    if (hwnd != nullptr && system.windows.count(hwnd) == 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    win32::Enqueue(system, hwnd, message, wParam, lParam);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    win32::Enqueue(system, nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<std::intptr_t>(exitCode)), 0);
}

BOOL TranslateMessage(const MSG* msg) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    WNDPROC procedure = nullptr;
    {
        WindowSystem& system = System();
        std::lock_guard lock(system.mutex);
        auto found = system.windows.find(msg->hwnd);
        if (found == system.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        procedure = found->second.procedure;
    }
    return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    // The one default with an effect: closing destroys the window.
    if (msg == WM_CLOSE) DestroyWindow(hwnd);
    return 0;
}
