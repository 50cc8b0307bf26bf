// Our own additions to the Windows layer, for the things Linux and tests need that the
// platform has no call for: choosing the headless display, reading the message boxes
// shown while headless, injecting input, handing frames to the window or a sink, and
// registering bitmap resources of a module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/win32/windows.h"
#include "platform/win32/export.h"

TOLVANE_API_BEGIN

namespace host {

// Headless display: windows exist without a window system, messages come only from what
// is posted or injected, message boxes go to standard error and the record below. Must be
// chosen before the first window is created. A program that does not choose gets it when
// its environment has TOLVANE_HEADLESS=1. Without a display and without headless mode,
// window creation fails (SDL's offscreen driver counts as no display).
void SetHeadless(bool headless);
bool IsHeadless();

// Message boxes shown so far in headless mode, in order.
struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<MessageBoxRecord> MessageBoxLog();
void ClearMessageBoxLog();

// Headless input: the cursor position that GetCursorPos reports.
void SetCursorPosition(int x, int y);
// Headless input: the mouse moved to client position (x, y) of the window, with the MK_
// flags given (buttons, Shift, Ctrl). The cursor follows, and one WM_MOUSEMOVE with the
// latest position waits as with a real mouse. False when the window does not exist.
bool MoveMouse(HWND window, int x, int y, WPARAM keyFlags);

// Headless input: a key went down (or up) on the keyboard: GetAsyncKeyState sees it at
// once, and the window's WM_KEYDOWN (WM_KEYUP) is queued as a real key's would be. False
// when the window does not exist or the key is no virtual-key code (1..254).
bool PressKey(HWND window, WPARAM virtualKey, bool down);

// Modules: what LoadLibraryA finds. A library of this system registers its module name
// ("d3d8.dll") with the functions it exports by name; LoadLibraryA, GetModuleHandleA and
// GetProcAddress then answer for it. Names match as the platform matches them: without
// regard to case, ".dll" understood when the name has no extension, a folder ignored.
// The table (names and addresses) must outlive the process; registering a name again
// replaces its exports and keeps its handle.
struct ModuleExport {
    const char* name;
    FARPROC address;
};
void RegisterModule(const char* name, const ModuleExport* exports, std::size_t count);

// Presentation. A frame is 32-bit X8R8G8B8 pixels, row by row with the given pitch in bytes.
// With a display it goes to the window's client area; headless it goes to the frame sink.
using FrameSink = std::function<void(HWND window, const std::uint32_t* pixels, int width, int height,
                                     int pitchBytes)>;
void SetFrameSink(FrameSink sink);
// Returns false when the window is gone or cannot show the frame.
bool PresentFrame(HWND window, const std::uint32_t* pixels, int width, int height, int pitchBytes);

// Bitmap resources: the bytes (a DIB without file header) are referenced, not copied, and
// must outlive the registration. A name is either text or an integer id (MAKEINTRESOURCE).
void RegisterBitmapResource(HMODULE module, LPCSTR name, const void* data, DWORD size);
void ClearResources();

// The desktop's size in pixels when there is a display (false headless or without one).
bool GetDesktopSize(int& width, int& height);

// Full screen, for a device that asks for it: the window covers the display at the
// program's mode of width x height (its client area is that size at the screen's origin,
// without a frame) and takes the focus. With a display the SDL window fills the desktop
// (SDL_WINDOW_FULLSCREEN_DESKTOP) and each frame is scaled into it with its aspect kept,
// black bars beside; mouse positions are mapped back into the mode's pixels. Leaving gives
// the window its rectangle back. False when the window does not exist.
bool SetFullScreen(HWND window, bool fullScreen, int width, int height);
// The rectangle a frame of frameWidth x frameHeight fills in an area of width x height when
// scaled with its aspect kept and centred.
RECT LetterboxRect(int frameWidth, int frameHeight, int width, int height);

// The focus as a full-screen device sees it: whether the window is active and not
// minimised, and how many times it has stopped being so (so that a loss between two looks
// is seen). Windows start active; with a display SDL's focus and minimise events change it.
bool HasFocus(HWND window);
unsigned FocusLosses(HWND window);
// Headless input: the window gains or loses the focus; WM_ACTIVATE (WA_ACTIVE or
// WA_INACTIVE) waits as for SDL's focus events. False when the window does not exist.
bool ActivateWindow(HWND window, bool active);

// Moves the pointer to client position (x, y) of the window. With a display SDL warps it
// (through the full-screen scaling) and the motion the window system reports becomes
// WM_MOUSEMOVE; headless the cursor moves there and, inside the client area, a
// WM_MOUSEMOVE waits as after host::MoveMouse. False when the window does not exist.
bool WarpMouse(HWND window, int x, int y);

// The device's cursor: an A8R8G8B8 image (packed rows, null for none) with its hot spot,
// shown in place of the system's cursor while ShowDeviceCursor says so. With a display it
// becomes SDL's colour cursor; headless only the state is kept.
void SetDeviceCursor(const std::uint32_t* pixels, int width, int height, int hotX, int hotY);
void ShowDeviceCursor(bool shown);
// Whether the device's cursor is the one shown now (an image is set and asked to show).
bool DeviceCursorShown();

// Releases every window, every window class and the queued messages (tests call it between
// cases). SDL's video subsystem, once started, stays up until the process ends.
void Shutdown();

}  // namespace host

TOLVANE_API_END
