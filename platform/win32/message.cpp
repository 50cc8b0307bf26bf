// The message queue: posting, peeking, dispatching, and SDL events as window messages.
//
// One queue for the thread holds posted messages and the messages made from SDL events,
// in the order they arrived; PeekMessageA first turns pending SDL events into messages
// (appended after what was posted before), then hands out the oldest message that passes
// its filter. WM_QUIT passes every filter. Mouse motion waits apart: one WM_MOUSEMOVE at
// most, with the latest position, handed out only when nothing in the queue passes.
//
// SDL events and the messages they become:
// - key down / up: WM_KEYDOWN / WM_KEYUP with the virtual-key code (letters and digits
//   as their upper-case ASCII codes). Auto-repeat sends further WM_KEYDOWN messages with
//   bit 30 of lParam set, as the platform does; a repeat that finds the key's previous
//   repeat still waiting at the end of the queue adds to its repeat count (the low word of
//   lParam) instead. Keys without a code send nothing.
// - left (right) button down / up: WM_LBUTTONDOWN / WM_LBUTTONUP (WM_RBUTTON...), client
//   coordinates in lParam.
// - mouse motion: the pending WM_MOUSEMOVE, client coordinates in lParam and the MK_
//   flags of the buttons and of Shift and Ctrl in wParam.
// - mouse motion and buttons move the cursor that GetCursorPos reports: the window's
//   position plus the event's client position. SDL's global mouse state is no substitute:
//   on an X server without raw input events it keeps the position of a button press until
//   the release, and under Wayland there is no global position at all.
// - while a window holds the capture (SetCapture), mouse messages go to it, with the
//   position in its client coordinates.
// - keys and buttons also change the state GetAsyncKeyState reports, at once, while the
//   messages wait; headless, host::PressKey does the same for a key.
// - focus gained / lost: WM_ACTIVATE with WA_ACTIVE / WA_INACTIVE in the low word. Focus
//   and minimise events also change the window's focus state (host::HasFocus), which a
//   full-screen device reads to know it is lost.
// - the close button: WM_CLOSE.
// - SDL's quit event, which SDL makes of SIGINT (Ctrl-C) and SIGTERM: WM_CLOSE to every
//   window, so that a program ends as when its window is closed. (SDL is told not to make
//   one of the last window's close, which the close button's WM_CLOSE covers.) Headless,
//   the layer catches the two signals itself while it has windows, unless the program has
//   handlers of its own; a second signal before the first was handled ends the process
//   as the signal would by default.
//
// TranslateMessage turns a WM_KEYDOWN of a key that types a character into WM_CHAR, with
// the US keyboard's characters: the Shift state (GetKeyState, which follows the key
// messages retrieved so far) picks the shifted character, Ctrl with a letter gives its
// control code, and lParam is the key message's (repeat count, scan code, previous state).
// The WM_CHAR is the next message PeekMessageA hands out.
#include <SDL.h>

#include <csignal>
#include <chrono>

#include "platform/win32/window_system.h"

namespace win32 {
namespace {

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

// Asks every window to close, as the user's close of each would.
void CloseEveryWindow(WindowSystem& system) {
    for (const auto& [handle, window] : system.windows) Enqueue(system, handle, WM_CLOSE, 0, 0);
}

// Set by the headless signal handler, read by PumpEvents.
volatile std::sig_atomic_t g_closeSignal = 0;

extern "C" void OnCloseSignal(int signal) {
    if (g_closeSignal != 0) {
        // Asked twice before the loop took the first: the loop is not running.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_closeSignal = signal;
}

// The window that gets a mouse message at client position (x, y) of hwnd: the capture's
// holder, if any, with the position moved into its client coordinates.
HWND MouseTarget(WindowSystem& system, HWND hwnd, int& x, int& y) {
    if (system.capture == nullptr || system.capture == hwnd) return hwnd;
    auto from = system.windows.find(hwnd);
    auto to = system.windows.find(system.capture);
    if (from == system.windows.end() || to == system.windows.end()) return hwnd;
    const POINT a = ClientOrigin(from->second), b = ClientOrigin(to->second);
    x += a.x - b.x;
    y += a.y - b.y;
    return system.capture;
}

void TranslateEvent(WindowSystem& system, const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            WPARAM key = VirtualKey(event.key.keysym.sym);
            HWND hwnd = WindowForEvent(system, event.key.windowID);
            if (key == 0 || hwnd == nullptr) return;
            bool down = event.type == SDL_KEYDOWN;
            KeyboardKey(system, key, down);
            // lParam: repeat count 1, scan code in bits 16-23, previous state in bit 30,
            // transition (1 for a release) in bit 31.
            DWORD bits = 1u | ((static_cast<DWORD>(event.key.keysym.scancode) & 0xFFu) << 16);
            if (!down || event.key.repeat != 0) bits |= 1u << 30;
            if (!down) bits |= 1u << 31;
            if (down && event.key.repeat != 0 && !system.queue.empty()) {
                MSG& last = system.queue.back();
                const DWORD lastBits = static_cast<DWORD>(last.lParam);
                if (last.hwnd == hwnd && last.message == WM_KEYDOWN && last.wParam == key &&
                    (lastBits & (1u << 30)) != 0 && (lastBits & 0xFFFFu) < 0xFFFFu) {
                    last.lParam = static_cast<LPARAM>(static_cast<std::int32_t>(lastBits + 1));
                    return;
                }
            }
            Enqueue(system, hwnd, down ? WM_KEYDOWN : WM_KEYUP, key, static_cast<LPARAM>(static_cast<std::int32_t>(bits)));
            return;
        }
        case SDL_MOUSEMOTION: {
            TrackCursor(system, event.motion.windowID, event.motion.x, event.motion.y);
            if (event.motion.windowID == 0) return;
            HWND hwnd = WindowForEvent(system, event.motion.windowID);
            if (hwnd == nullptr) return;
            int x = event.motion.x, y = event.motion.y;
            hwnd = MouseTarget(system, hwnd, x, y);
            WPARAM flags = 0;
            if ((event.motion.state & SDL_BUTTON_LMASK) != 0) flags |= MK_LBUTTON;
            if ((event.motion.state & SDL_BUTTON_RMASK) != 0) flags |= MK_RBUTTON;
            if ((event.motion.state & SDL_BUTTON_MMASK) != 0) flags |= MK_MBUTTON;
            const SDL_Keymod mods = SDL_GetModState();
            if ((mods & KMOD_SHIFT) != 0) flags |= MK_SHIFT;
            if ((mods & KMOD_CTRL) != 0) flags |= MK_CONTROL;
            QueueMouseMove(system, hwnd, x, y, flags);
            return;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            TrackCursor(system, event.button.windowID, event.button.x, event.button.y);
            HWND hwnd = WindowForEvent(system, event.button.windowID);
            if (hwnd == nullptr) return;
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            int x = event.button.x, y = event.button.y;
            hwnd = MouseTarget(system, hwnd, x, y);
            LPARAM where = PointParam(x, y);
            if (event.button.button == SDL_BUTTON_LEFT) KeyboardKey(system, VK_LBUTTON, down);
            if (event.button.button == SDL_BUTTON_RIGHT) KeyboardKey(system, VK_RBUTTON, down);
            if (event.button.button == SDL_BUTTON_LEFT)
                Enqueue(system, hwnd, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MK_LBUTTON : 0, where);
            else if (event.button.button == SDL_BUTTON_RIGHT)
                Enqueue(system, hwnd, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? MK_RBUTTON : 0, where);
            return;
        }
        case SDL_QUIT:
            CloseEveryWindow(system);
            return;
        case SDL_WINDOWEVENT: {
            HWND hwnd = WindowForEvent(system, event.window.windowID);
            if (hwnd == nullptr) return;
            Window& window = system.windows.at(hwnd);
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    SetWindowFocusState(window, true, window.minimized);
                    Enqueue(system, hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
                    return;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    SetWindowFocusState(window, false, window.minimized);
                    Enqueue(system, hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
                    return;
                case SDL_WINDOWEVENT_MINIMIZED: SetWindowFocusState(window, window.active, true); return;
                case SDL_WINDOWEVENT_RESTORED: SetWindowFocusState(window, window.active, false); return;
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

// A retrieved key message updates the key states that GetKeyState reports.
void Retrieved(WindowSystem& system, const MSG& msg) {
    if (msg.wParam >= 256) return;
    if (msg.message == WM_KEYDOWN) system.keyState[msg.wParam] |= 0x80;
    if (msg.message == WM_KEYUP) system.keyState[msg.wParam] &= 0x7F;
}

// The character a key types on the US keyboard, 0 for none.
WPARAM Character(WPARAM key, bool shift, bool control) {
    if (key >= 'A' && key <= 'Z') {
        if (control) return key - 'A' + 1;
        return shift ? key : key - 'A' + 'a';
    }
    if (control) return 0;
    if (key >= '0' && key <= '9') return shift ? static_cast<unsigned char>(")!@#$%^&*("[key - '0']) : key;
    switch (key) {
        case VK_SPACE: return ' ';
        case VK_RETURN: return '\r';
        case VK_BACK: return 0x08;
        case VK_TAB: return 0x09;
        case VK_ESCAPE: return 0x1B;
        default: return 0;
    }
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

void KeyboardKey(WindowSystem& system, WPARAM virtualKey, bool down) {
    if (virtualKey >= 256) return;
    BYTE& state = system.asyncKeyState[virtualKey];
    if (down && (state & 0x80) == 0) state |= 0x01;  // pressed since the last look
    state = static_cast<BYTE>(down ? (state | 0x80) : (state & 0x7F));
}

void QueueMouseMove(WindowSystem& system, HWND hwnd, int x, int y, WPARAM flags) {
    MSG& move = system.pendingMove;
    move = MSG{};
    move.hwnd = hwnd;
    move.message = WM_MOUSEMOVE;
    move.wParam = flags;
    move.lParam = PointParam(x, y);
    move.time = MessageTime();
    move.pt = CursorPosition(system);
    system.movePending = true;
}

void CatchCloseSignals(WindowSystem& system) {
    if (system.signalsCaught) return;
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = OnCloseSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    system.signalsCaught = true;
}

void ReleaseCloseSignals(WindowSystem& system) {
    if (!system.signalsCaught) return;
    for (int signal : {SIGINT, SIGTERM}) {
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == OnCloseSignal) std::signal(signal, SIG_DFL);
    }
    g_closeSignal = 0;
    system.signalsCaught = false;
}

void PumpEvents() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    if (g_closeSignal != 0) {
        g_closeSignal = 0;
        CloseEveryWindow(system);
    }
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
        if ((removeMsg & PM_REMOVE) != 0) {
            system.queue.erase(it);
            win32::Retrieved(system, *msg);
        }
        return TRUE;
    }
    if (system.movePending && win32::Passes(system.pendingMove, hwnd, filterMin, filterMax)) {
        *msg = system.pendingMove;
        if ((removeMsg & PM_REMOVE) != 0) system.movePending = false;
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

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP)) return FALSE;
    if (msg->message == WM_KEYUP) return TRUE;
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    const WPARAM character =
        win32::Character(msg->wParam, (system.keyState[VK_SHIFT] & 0x80) != 0, (system.keyState[VK_CONTROL] & 0x80) != 0);
    if (character == 0) return TRUE;
    MSG typed = *msg;
    typed.message = WM_CHAR;
    typed.wParam = character;
    system.queue.push_front(typed);
    return TRUE;
}

SHORT GetKeyState(int virtualKey) {
    if (virtualKey < 0 || virtualKey > 255) return 0;
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    // Down is the sign bit, as on the platform.
    return static_cast<SHORT>((system.keyState[virtualKey] & 0x80) != 0 ? 0x8000 : 0);
}

// Down is the sign bit; bit 0 tells that the key was pressed since the last call that
// asked about it (the platform gives this bit no guarantee, programs only test the sign).
SHORT GetAsyncKeyState(int virtualKey) {
    if (virtualKey <= 0 || virtualKey > 255) return 0;
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    BYTE& state = system.asyncKeyState[virtualKey];
    const SHORT result = static_cast<SHORT>(((state & 0x80) != 0 ? 0x8000 : 0) | (state & 0x01));
    state &= 0x80;
    return result;
}

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

namespace host {

bool MoveMouse(HWND hwnd, int x, int y, WPARAM keyFlags) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return false;
    const POINT origin = win32::ClientOrigin(found->second);
    system.cursor = POINT{origin.x + x, origin.y + y};
    hwnd = win32::MouseTarget(system, hwnd, x, y);
    win32::QueueMouseMove(system, hwnd, x, y, keyFlags);
    return true;
}

bool ActivateWindow(HWND hwnd, bool active) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return false;
    win32::SetWindowFocusState(found->second, active, found->second.minimized);
    win32::Enqueue(system, hwnd, WM_ACTIVATE, active ? WA_ACTIVE : WA_INACTIVE, 0);
    return true;
}

bool WarpMouse(HWND hwnd, int x, int y) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    auto found = system.windows.find(hwnd);
    if (found == system.windows.end()) return false;
    win32::Window& window = found->second;
    const POINT origin = win32::ClientOrigin(window);
    system.cursor = POINT{origin.x + x, origin.y + y};
    if (window.sdlWindow != nullptr) {
        int windowX = x, windowY = y;
        if (window.fullScreen && window.width > 0 && window.height > 0) {
            int width = 0, height = 0;
            SDL_GetWindowSize(window.sdlWindow, &width, &height);
            const RECT box = host::LetterboxRect(window.width, window.height, width, height);
            windowX = box.left + x * (box.right - box.left) / window.width;
            windowY = box.top + y * (box.bottom - box.top) / window.height;
        }
        SDL_WarpMouseInWindow(window.sdlWindow, windowX, windowY);
        system.cursorFromEvents = true;
        return true;
    }
    const RECT client{0, 0, window.width - window.frame.left - window.frame.right,
                      window.height - window.frame.top - window.frame.bottom};
    if (x < client.left || y < client.top || x >= client.right || y >= client.bottom) return true;
    WPARAM flags = 0;  // the buttons and keys held now
    if ((system.asyncKeyState[VK_LBUTTON] & 0x80) != 0) flags |= MK_LBUTTON;
    if ((system.asyncKeyState[VK_RBUTTON] & 0x80) != 0) flags |= MK_RBUTTON;
    if ((system.asyncKeyState[VK_SHIFT] & 0x80) != 0) flags |= MK_SHIFT;
    if ((system.asyncKeyState[VK_CONTROL] & 0x80) != 0) flags |= MK_CONTROL;
    hwnd = win32::MouseTarget(system, hwnd, x, y);
    win32::QueueMouseMove(system, hwnd, x, y, flags);
    return true;
}

bool PressKey(HWND hwnd, WPARAM virtualKey, bool down) {
    if (virtualKey == 0 || virtualKey >= 255) return false;
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    if (system.windows.count(hwnd) == 0) return false;
    win32::KeyboardKey(system, virtualKey, down);
    // lParam: repeat count 1, previous state and transition for a release.
    const DWORD bits = down ? 1u : (1u | (1u << 30) | (1u << 31));
    win32::Enqueue(system, hwnd, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, static_cast<LPARAM>(static_cast<std::int32_t>(bits)));
    return true;
}

}  // namespace host
