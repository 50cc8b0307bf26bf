// The part of SDL2's interface the window layer uses, implemented on a web page: the one
// window is the page's canvas, its events come from the page's listeners, presentation
// puts the frame on the canvas and message boxes are shown on the page (see
// sdl_web.cpp and host_web.js). Names, types and values follow SDL2's, so win32/ builds
// unchanged on it.
#pragma once

#include <cstdint>

using Uint8 = std::uint8_t;
using Uint16 = std::uint16_t;
using Uint32 = std::uint32_t;
using Sint32 = std::int32_t;
using SDL_Keycode = Sint32;
using SDL_Scancode = int;

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Rect {
    int x, y, w, h;
};
struct SDL_DisplayMode {
    Uint32 format;
    int w, h;
    int refresh_rate;
    void* driverdata;
};

constexpr Uint32 SDL_INIT_VIDEO = 0x00000020u;
constexpr Uint32 SDL_WINDOW_SHOWN = 0x00000004u;
constexpr Uint32 SDL_WINDOW_HIDDEN = 0x00000008u;
constexpr Uint32 SDL_WINDOW_FULLSCREEN_DESKTOP = 0x00001001u;
constexpr Uint32 SDL_WINDOWPOS_UNDEFINED = 0x1FFF0000u;
constexpr Uint32 SDL_PIXELFORMAT_ARGB8888 = 0x16362004u;
constexpr int SDL_TEXTUREACCESS_STREAMING = 1;
constexpr Uint32 SDL_MESSAGEBOX_ERROR = 0x10u;
constexpr Uint32 SDL_MESSAGEBOX_WARNING = 0x20u;
constexpr Uint32 SDL_MESSAGEBOX_INFORMATION = 0x40u;
constexpr Uint8 SDL_BUTTON_LEFT = 1;
constexpr Uint8 SDL_BUTTON_MIDDLE = 2;
constexpr Uint8 SDL_BUTTON_RIGHT = 3;
constexpr Uint32 SDL_BUTTON_LMASK = 1u << 0;
constexpr Uint32 SDL_BUTTON_MMASK = 1u << 1;
constexpr Uint32 SDL_BUTTON_RMASK = 1u << 2;
constexpr const char* SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE = "SDL_QUIT_ON_LAST_WINDOW_CLOSE";

enum SDL_bool { SDL_FALSE = 0, SDL_TRUE = 1 };
constexpr int SDL_DISABLE = 0;
constexpr int SDL_ENABLE = 1;

enum SDL_Keymod : int {
    KMOD_NONE = 0,
    KMOD_LSHIFT = 0x0001,
    KMOD_RSHIFT = 0x0002,
    KMOD_LCTRL = 0x0040,
    KMOD_RCTRL = 0x0080,
    KMOD_LALT = 0x0100,
    KMOD_RALT = 0x0200,
    KMOD_SHIFT = KMOD_LSHIFT | KMOD_RSHIFT,
    KMOD_CTRL = KMOD_LCTRL | KMOD_RCTRL,
    KMOD_ALT = KMOD_LALT | KMOD_RALT,
};

enum SDL_EventType : Uint32 {
    SDL_FIRSTEVENT = 0,
    SDL_QUIT = 0x100,
    SDL_WINDOWEVENT = 0x200,
    SDL_KEYDOWN = 0x300,
    SDL_KEYUP,
    SDL_TEXTEDITING,
    SDL_TEXTINPUT,
    SDL_MOUSEMOTION = 0x400,
    SDL_MOUSEBUTTONDOWN,
    SDL_MOUSEBUTTONUP,
    SDL_MOUSEWHEEL,
    SDL_LASTEVENT = 0xFFFF
};

enum SDL_WindowEventID : Uint8 {
    SDL_WINDOWEVENT_NONE = 0,
    SDL_WINDOWEVENT_SHOWN,
    SDL_WINDOWEVENT_HIDDEN,
    SDL_WINDOWEVENT_EXPOSED,
    SDL_WINDOWEVENT_MOVED,
    SDL_WINDOWEVENT_RESIZED,
    SDL_WINDOWEVENT_SIZE_CHANGED,
    SDL_WINDOWEVENT_MINIMIZED,
    SDL_WINDOWEVENT_MAXIMIZED,
    SDL_WINDOWEVENT_RESTORED,
    SDL_WINDOWEVENT_ENTER,
    SDL_WINDOWEVENT_LEAVE,
    SDL_WINDOWEVENT_FOCUS_GAINED,
    SDL_WINDOWEVENT_FOCUS_LOST,
    SDL_WINDOWEVENT_CLOSE,
};

// Key codes: printable keys are their lower-case characters; the others are their
// scan codes with bit 30 set, as in SDL2.
constexpr SDL_Keycode SDLK_SCANCODE_MASK = 1 << 30;
constexpr SDL_Keycode ScancodeToKeycode(int scancode) { return scancode | SDLK_SCANCODE_MASK; }
enum : SDL_Keycode {
    SDLK_UNKNOWN = 0,
    SDLK_RETURN = '\r',
    SDLK_ESCAPE = '\x1B',
    SDLK_BACKSPACE = '\b',
    SDLK_TAB = '\t',
    SDLK_SPACE = ' ',
    SDLK_0 = '0',
    SDLK_9 = '9',
    SDLK_a = 'a',
    SDLK_z = 'z',
    SDLK_DELETE = '\x7F',
    SDLK_F1 = ScancodeToKeycode(58),
    SDLK_F12 = ScancodeToKeycode(69),
    SDLK_INSERT = ScancodeToKeycode(73),
    SDLK_HOME = ScancodeToKeycode(74),
    SDLK_PAGEUP = ScancodeToKeycode(75),
    SDLK_END = ScancodeToKeycode(77),
    SDLK_PAGEDOWN = ScancodeToKeycode(78),
    SDLK_RIGHT = ScancodeToKeycode(79),
    SDLK_LEFT = ScancodeToKeycode(80),
    SDLK_DOWN = ScancodeToKeycode(81),
    SDLK_UP = ScancodeToKeycode(82),
    SDLK_KP_ENTER = ScancodeToKeycode(88),
    SDLK_LCTRL = ScancodeToKeycode(224),
    SDLK_LSHIFT = ScancodeToKeycode(225),
    SDLK_LALT = ScancodeToKeycode(226),
    SDLK_RCTRL = ScancodeToKeycode(228),
    SDLK_RSHIFT = ScancodeToKeycode(229),
    SDLK_RALT = ScancodeToKeycode(230),
};

struct SDL_Keysym {
    SDL_Scancode scancode;
    SDL_Keycode sym;
    Uint16 mod;
    Uint32 unused;
};
struct SDL_KeyboardEvent {
    Uint32 type, timestamp, windowID;
    Uint8 state, repeat, padding2, padding3;
    SDL_Keysym keysym;
};
struct SDL_TextInputEvent {
    Uint32 type, timestamp, windowID;
    char text[32];
};
struct SDL_MouseMotionEvent {
    Uint32 type, timestamp, windowID, which, state;
    Sint32 x, y, xrel, yrel;
};
struct SDL_MouseButtonEvent {
    Uint32 type, timestamp, windowID, which;
    Uint8 button, state, clicks, padding1;
    Sint32 x, y;
};
struct SDL_WindowEvent {
    Uint32 type, timestamp, windowID;
    Uint8 event, padding1, padding2, padding3;
    Sint32 data1, data2;
};
union SDL_Event {
    Uint32 type;
    SDL_KeyboardEvent key;
    SDL_TextInputEvent text;
    SDL_MouseMotionEvent motion;
    SDL_MouseButtonEvent button;
    SDL_WindowEvent window;
    Uint8 padding[56];
};

SDL_bool SDL_SetHint(const char* name, const char* value);
int SDL_InitSubSystem(Uint32 flags);
void SDL_QuitSubSystem(Uint32 flags);
const char* SDL_GetError();
const char* SDL_GetCurrentVideoDriver();
int SDL_GetDesktopDisplayMode(int displayIndex, SDL_DisplayMode* mode);

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags);
void SDL_DestroyWindow(SDL_Window* window);
Uint32 SDL_GetWindowID(SDL_Window* window);
SDL_Window* SDL_GetWindowFromID(Uint32 id);
void SDL_SetWindowSize(SDL_Window* window, int w, int h);
void SDL_GetWindowPosition(SDL_Window* window, int* x, int* y);
void SDL_GetWindowSize(SDL_Window* window, int* w, int* h);
void SDL_GetWindowSizeInPixels(SDL_Window* window, int* w, int* h);
int SDL_GetWindowBordersSize(SDL_Window* window, int* top, int* left, int* bottom, int* right);
SDL_Window* SDL_GetKeyboardFocus();
void SDL_SetWindowPosition(SDL_Window* window, int x, int y);
void SDL_SetWindowTitle(SDL_Window* window, const char* title);
void SDL_ShowWindow(SDL_Window* window);
void SDL_HideWindow(SDL_Window* window);
int SDL_ShowCursor(int toggle);
int SDL_CaptureMouse(SDL_bool enabled);
int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags);
void SDL_RaiseWindow(SDL_Window* window);

struct SDL_Surface;
struct SDL_Cursor;
SDL_Surface* SDL_CreateRGBSurfaceWithFormatFrom(void* pixels, int width, int height, int depth, int pitch,
                                                Uint32 format);
void SDL_FreeSurface(SDL_Surface* surface);
SDL_Cursor* SDL_CreateColorCursor(SDL_Surface* surface, int hotX, int hotY);
void SDL_FreeCursor(SDL_Cursor* cursor);
void SDL_SetCursor(SDL_Cursor* cursor);
SDL_Cursor* SDL_GetDefaultCursor();

SDL_Renderer* SDL_CreateRenderer(SDL_Window* window, int index, Uint32 flags);
void SDL_DestroyRenderer(SDL_Renderer* renderer);
SDL_Texture* SDL_CreateTexture(SDL_Renderer* renderer, Uint32 format, int access, int w, int h);
void SDL_DestroyTexture(SDL_Texture* texture);
int SDL_UpdateTexture(SDL_Texture* texture, const SDL_Rect* rect, const void* pixels, int pitch);
int SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source, const SDL_Rect* destination);
void SDL_RenderPresent(SDL_Renderer* renderer);
int SDL_RenderSetLogicalSize(SDL_Renderer* renderer, int w, int h);
int SDL_SetRenderDrawColor(SDL_Renderer* renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a);
int SDL_RenderClear(SDL_Renderer* renderer);

void SDL_PumpEvents();
int SDL_PollEvent(SDL_Event* event);
void SDL_FlushEvents(Uint32 minType, Uint32 maxType);
Uint32 SDL_GetGlobalMouseState(int* x, int* y);
Uint32 SDL_GetMouseState(int* x, int* y);
SDL_Keymod SDL_GetModState();
void SDL_WarpMouseGlobal(int x, int y);
void SDL_WarpMouseInWindow(SDL_Window* window, int x, int y);
void SDL_StartTextInput();
void SDL_StopTextInput();

int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message, SDL_Window* window);
