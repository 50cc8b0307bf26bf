// Internal to win32/: the state shared by the window, message and dialog files.
//
// Windows are records in one table keyed by their handle. A handle is a token that is
// never reused, so a handle kept after DestroyWindow stays invalid. With a display each
// window owns an SDL window (and, once a frame is presented, a renderer and a streaming
// texture); headless windows own nothing but their record.
//
// Threads: the window procedures, the SDL event pump and presentation run on the thread
// that created the windows. PostMessageA and PostQuitMessage may come from any thread,
// so the table and the queue sit behind one mutex, which is never held while a window
// procedure runs.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/host.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

namespace win32 {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC procedure = nullptr;
    std::string title;
    DWORD style = 0;
    int x = 0;
    int y = 0;
    int width = 0;   // outer size as created
    int height = 0;
    bool frameFitted = false;  // the client area was shrunk by the window manager's frame
    SDL_Window* sdlWindow = nullptr;  // null when headless
    std::uint32_t sdlId = 0;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
};

// Shows a message box with the window system and returns once the user has closed it;
// false when it could not be shown. MessageBoxA calls it on a thread of its own while its
// modal loop keeps the owner's messages flowing.
using BoxShower = std::function<bool(SDL_Window* parent, const std::string& caption, const std::string& text, UINT type)>;

struct WindowSystem {
    std::mutex mutex;
    bool headless = false;
    bool videoStarted = false;  // SDL's video subsystem is initialised by us
    std::uintptr_t nextHandle = 0x10010;
    std::map<std::string, WindowClass> classes;  // keyed by the lower-case name
    std::map<HWND, Window> windows;
    std::deque<MSG> queue;
    // Mouse motion is coalesced as on the platform: at most one WM_MOUSEMOVE waits, with
    // the latest position, and it is handed out only when no other message passes the
    // filter, so a fast mouse never crowds a loop that takes one message per pass.
    bool movePending = false;
    MSG pendingMove{};
    // Keys as of the key messages retrieved so far (GetKeyState): 0x80 while down.
    BYTE keyState[256] = {};
    std::vector<host::MessageBoxRecord> messageBoxes;
    // The cursor in screen coordinates. Headless it is the injected position; with a
    // display it follows the mouse events as they are pumped (cursorFromEvents is set once
    // one has arrived), since SDL's global mouse state is not live on every X server.
    POINT cursor = {0, 0};
    bool cursorFromEvents = false;
    host::FrameSink frameSink;
    BoxShower boxShower;  // SDL's message box when empty
    bool signalsCaught = false;  // the headless handlers of SIGINT and SIGTERM are in place
};

// The one instance. Lock its mutex for every access.
WindowSystem& System();

// Starts SDL's video subsystem when it is not running. Returns false (with the last error
// set) when there is no real display: SDL failed, or picked its offscreen or dummy driver.
bool StartVideo();

// Turns pending SDL events into queued messages (display only; the caller holds no lock).
void PumpEvents();

// Headless: SIGINT and SIGTERM become WM_CLOSE to every window (see message.cpp) until
// they are released (caller holds the lock).
void CatchCloseSignals(WindowSystem& system);
void ReleaseCloseSignals(WindowSystem& system);

// The mouse moved to the client position (x, y) of a window, with the MK_ flags given:
// leaves one pending WM_MOUSEMOVE for it (caller holds the lock).
void QueueMouseMove(WindowSystem& system, HWND hwnd, int x, int y, WPARAM flags);

// The cursor in screen coordinates (caller holds the lock).
POINT CursorPosition(WindowSystem& system);

// Milliseconds for MSG::time.
DWORD MessageTime();

// Once the window manager has told the size of a window's frame, shrinks the client
// area so that the outer size is the one asked for (caller holds the lock).
void FitFrame(Window& window);

// Destroys the SDL objects of a window record (caller holds the lock).
void ReleaseSdlObjects(Window& window);

}  // namespace win32
