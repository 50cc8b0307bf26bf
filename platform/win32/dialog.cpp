// Message boxes, the cursor, stock objects and the module handle.
//
// - MessageBoxA with a display shows SDL's simple message box (caption, text, the icon
//   of the style), which is modal and blocks: no window procedure runs while it is open,
//   where the platform keeps dispatching inside the box's own loop. Headless, or when
//   SDL cannot show a box, the text goes to standard error; headless boxes are also
//   recorded in host::MessageBoxLog. Every box answers IDOK. (SDL draws its box on X11
//   with a font of the server; a bare Xvfb lacks the one it asks for, so there the text
//   goes to standard error too.)
// - GetCursorPos reports the screen position of the mouse as of the last events pumped
//   (see message.cpp), or headless the position set with host::SetCursorPosition (or
//   SetCursorPos).
// - Icons, cursors and stock objects are tokens: nothing draws them.
#include <SDL.h>

#include <cstdio>

#include "platform/win32/window_system.h"

using win32::System;
using win32::WindowSystem;

namespace {

// Tokens for the stock resources; never dereferenced.
constexpr std::uintptr_t kIconBase = 0x20000;
constexpr std::uintptr_t kCursorBase = 0x30000;
constexpr std::uintptr_t kStockObjectBase = 0x40000;
constexpr std::uintptr_t kProcessModule = 0x400000;
constexpr int kLastStockObject = 19;  // DC_PEN

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
    if (!headless) {
        Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
        switch (type & 0xF0u) {
            case MB_ICONERROR: flags = SDL_MESSAGEBOX_ERROR; break;
            case MB_ICONWARNING: flags = SDL_MESSAGEBOX_WARNING; break;
            default: break;
        }
        if (SDL_ShowSimpleMessageBox(flags, title.c_str(), body.c_str(), parent) == 0) return IDOK;
    }
    if (!headless) std::fprintf(stderr, "win32: the message box could not be shown: %s\n", SDL_GetError());
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

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    // The program is the only module.
    if (moduleName != nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(kProcessModule);
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
