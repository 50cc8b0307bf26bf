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
struct SDL_Cursor;

namespace win32 {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC procedure = nullptr;
    HINSTANCE instance = nullptr;
    int extraBytes = 0;  // cbWndExtra
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC procedure = nullptr;
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    bool visible = false;
    int x = 0;  // the window rectangle, frame included
    int y = 0;
    int width = 0;
    int height = 0;
    RECT frame = {0, 0, 0, 0};  // what the frame adds on each side (AdjustWindowRectEx's growth)
    LONG_PTR userData = 0;      // GWLP_USERDATA
    std::vector<BYTE> extra;    // the class's cbWndExtra bytes
    SDL_Window* sdlWindow = nullptr;  // null when headless
    std::uint32_t sdlId = 0;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int textureWidth = 0;
    int textureHeight = 0;
    // Full screen (host::SetFullScreen): the rectangle and frame to give back on leaving.
    bool fullScreen = false;
    int restoreX = 0, restoreY = 0, restoreWidth = 0, restoreHeight = 0;
    RECT restoreFrame = {0, 0, 0, 0};
    // The focus (host::HasFocus): active and not minimised; losses counts the times it
    // stopped being both.
    bool active = true;
    bool minimized = false;
    unsigned focusLosses = 0;
};

// Changes a window's focus state, counting a loss (caller holds the lock).
void SetWindowFocusState(Window& window, bool active, bool minimized);

// Shows a message box with the window system and returns once the user has closed it;
// false when it could not be shown. MessageBoxA calls it on a thread of its own while its
// modal loop keeps the owner's messages flowing.
using BoxShower = std::function<bool(SDL_Window* parent, const std::string& caption, const std::string& text, UINT type)>;

// TOLVANE_HEADLESS=1 (any value but "0") in the environment: the headless display, for
// programs that do not choose with host::SetHeadless.
bool HeadlessFromEnvironment();

struct WindowSystem {
    std::mutex mutex;
    bool headless = HeadlessFromEnvironment();  // until host::SetHeadless chooses
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
    // Keys as the keyboard has them now (GetAsyncKeyState): 0x80 while down, 0x01 once
    // pressed since the last GetAsyncKeyState of the key.
    BYTE asyncKeyState[256] = {};
    HWND capture = nullptr;       // SetCapture's window
    int cursorCount = 0;          // ShowCursor's display counter: shown while >= 0
    HCURSOR cursorShape = nullptr;  // SetCursor's cursor; null hides it
    bool cursorShapeSet = false;
    std::vector<host::MessageBoxRecord> messageBoxes;
    // The cursor in screen coordinates. Headless it is the injected position; with a
    // display it follows the mouse events as they are pumped (cursorFromEvents is set once
    // one has arrived), since SDL's global mouse state is not live on every X server.
    POINT cursor = {0, 0};
    bool cursorFromEvents = false;
    host::FrameSink frameSink;
    // The device's cursor (host::SetDeviceCursor): A8R8G8B8 pixels, empty for none.
    std::vector<std::uint32_t> deviceCursor;
    int deviceCursorWidth = 0, deviceCursorHeight = 0, deviceCursorHotX = 0, deviceCursorHotY = 0;
    bool deviceCursorShown = false;
    SDL_Cursor* sdlDeviceCursor = nullptr;
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

// A key of the keyboard went down or up (caller holds the lock).
void KeyboardKey(WindowSystem& system, WPARAM virtualKey, bool down);

// The client area's origin in screen coordinates (caller holds the lock).
POINT ClientOrigin(const Window& window);

// Destroys the SDL objects of a window record (caller holds the lock).
void ReleaseSdlObjects(Window& window);

}  // namespace win32
