// Message boxes, the cursor and stock objects.
//
// - MessageBoxA with a display shows SDL's simple message box (caption, text, the icon
//   of the style). SDL's box blocks its caller, so it runs on a thread of its own while
//   MessageBoxA runs the box's modal loop, as the platform does: the window messages keep
//   flowing to their window procedures until the box is closed. The owner is disabled
//   meanwhile, so its keyboard and mouse input is dropped. A WM_QUIT stays queued for the
//   caller's own loop, and nothing behind it is dispatched. Headless, or when SDL cannot
//   show a box, the text goes to standard error; headless boxes are also recorded in
//   host::MessageBoxLog and answered at once. Every box answers IDOK. (SDL draws its box
//   on X11 with a font of the server; a bare Xvfb lacks the one it asks for, so there the
//   text goes to standard error too.)
// - GetCursorPos reports the screen position of the mouse as of the last events pumped
//   (see message.cpp), or headless the position set with host::SetCursorPosition (or
//   SetCursorPos).
// - Icons, cursors and stock objects are tokens: nothing draws them.
#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/win32/window_system.h"

using win32::System;
using win32::WindowSystem;

namespace {

// Tokens for the stock resources; never dereferenced.
constexpr std::uintptr_t kIconBase = 0x20000;
constexpr std::uintptr_t kCursorBase = 0x30000;
constexpr std::uintptr_t kStockObjectBase = 0x40000;
constexpr int kLastStockObject = 19;  // DC_PEN

bool IsInput(UINT message) {
    return (message >= WM_KEYDOWN && message <= 0x0108) || (message >= WM_MOUSEMOVE && message <= 0x020E);
}

// The next message the modal loop dispatches: input to the disabled owner is dropped, and
// nothing is taken from a WM_QUIT on.
bool TakeModalMessage(WindowSystem& system, HWND owner, MSG& msg) {
    if (system.movePending && system.pendingMove.hwnd == owner) system.movePending = false;
    auto& queue = system.queue;
    for (auto it = queue.begin(); it != queue.end();) {
        if (it->message == WM_QUIT) return false;
        if (it->hwnd == owner && IsInput(it->message)) {
            it = queue.erase(it);
            continue;
        }
        msg = *it;
        queue.erase(it);
        return true;
    }
    if (system.movePending) {
        msg = system.pendingMove;
        system.movePending = false;
        return true;
    }
    return false;
}

bool ShowSdlBox(SDL_Window* parent, const std::string& caption, const std::string& text, UINT type) {
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    switch (type & 0xF0u) {
        case MB_ICONERROR: flags = SDL_MESSAGEBOX_ERROR; break;
        case MB_ICONWARNING: flags = SDL_MESSAGEBOX_WARNING; break;
        default: break;
    }
    if (SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), parent) == 0) return true;
    std::fprintf(stderr, "win32: the message box could not be shown: %s\n", SDL_GetError());
    return false;
}

// Shows the box on a thread of its own and dispatches the window messages until it closes.
bool ModalBox(HWND owner, SDL_Window* parent, const std::string& caption, const std::string& text, UINT type) {
    WindowSystem& system = System();
    win32::BoxShower shower;
    {
        std::lock_guard lock(system.mutex);
        shower = system.boxShower;
    }
    if (!shower) shower = ShowSdlBox;
    std::atomic<bool> closed{false};
    bool shown = false;
    std::thread box([&] {
        shown = shower(parent, caption, text, type);
        closed.store(true);
    });
    while (!closed.load()) {
        win32::PumpEvents();
        MSG msg{};
        bool taken = false;
        {
            std::lock_guard lock(system.mutex);
            taken = TakeModalMessage(system, owner, msg);
        }
        if (taken)
            DispatchMessageA(&msg);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    box.join();
    return shown;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    std::string body = text != nullptr ? text : "";
    std::string title = caption != nullptr ? caption : "Error";  // the platform's default caption
    WindowSystem& system = System();
    SDL_Window* parent = nullptr;
    bool headless = false;
    {
        std::lock_guard lock(system.mutex);
        headless = system.headless;
        if (headless) system.messageBoxes.push_back(host::MessageBoxRecord{owner, body, title, type});
        auto found = system.windows.find(owner);
        if (found != system.windows.end()) parent = found->second.sdlWindow;
    }
    if (!headless && ModalBox(owner, parent, title, body, type)) return IDOK;
    std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
    return IDOK;
}

BOOL GetCursorPos(POINT* point) {
    if (point == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    *point = win32::CursorPosition(system);
    return TRUE;
}

BOOL SetCursorPos(int x, int y) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.cursor = POINT{x, y};
    if (!system.headless && system.videoStarted) {
        SDL_WarpMouseGlobal(x, y);
        system.cursorFromEvents = true;
    }
    return TRUE;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    // Only the system's icons exist (IDI_* ids with no module); modules carry no icons.
    if (instance != nullptr || name == nullptr || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HICON>(kIconBase + reinterpret_cast<std::uintptr_t>(name));
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name == nullptr || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(kCursorBase + reinterpret_cast<std::uintptr_t>(name));
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object > kLastStockObject) return nullptr;
    return reinterpret_cast<HGDIOBJ>(kStockObjectBase + static_cast<std::uintptr_t>(object) * 4);
}

namespace host {

std::vector<MessageBoxRecord> MessageBoxLog() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    return system.messageBoxes;
}

void ClearMessageBoxLog() {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.messageBoxes.clear();
}

void SetCursorPosition(int x, int y) {
    WindowSystem& system = System();
    std::lock_guard lock(system.mutex);
    system.cursor = POINT{x, y};
}

}  // namespace host
