// SDL2's calls that the window layer makes, on a web page (see SDL.h).
//
// - The one window is the page's canvas (the element with id "canvas"); creating a
//   window sizes it. There is one display, the size of the page's viewport.
// - The page's listeners (host_web.js) turn keyboard, mouse, focus and blur events of the
//   canvas into SDL events, queued here until SDL_PollEvent hands them out.
// - Presentation converts the frame to RGBA bytes in the texture and hands the newest one
//   to the page, which puts it on the canvas once per animation frame: a page shows no
//   more than that, and passes between two of them leave the canvas alone.
// - SDL_PumpEvents yields to the browser: the program's loop calls it once per pass
//   (through PeekMessageA), and the page runs its events, timers and painting there
//   before the pass goes on. With Asyncify the call unwinds the program's stack and
//   rewinds it afterwards, so the loop is written as on the desktop.
// - Message boxes are shown on the page and do not block: the call returns at once.
#include <SDL.h>
#include <emscripten.h>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

struct SDL_Window {
    Uint32 id = 1;
    int width = 0;
    int height = 0;
};
struct SDL_Renderer {
    SDL_Window* window = nullptr;
};
struct SDL_Texture {
    int width = 0;
    int height = 0;
    std::vector<Uint8> rgba;  // the frame as the canvas takes it
};

namespace {

std::mutex gMutex;  // the queue is filled on the browser's thread, read on the program's
std::deque<SDL_Event> gEvents;
SDL_Window* gWindow = nullptr;
int gMouseX = 0, gMouseY = 0;
Uint32 gButtons = 0;
int gMods = KMOD_NONE;  // the modifier keys held, from the key events
bool gFocused = false;
const char* gError = "";

EM_JS(void, web_canvas_size, (int width, int height), {
    Module.hostCanvasSize(width, height);
});
EM_JS(void, web_present, (const Uint8* rgba, int width, int height), {
    Module.hostPresent(rgba, width, height);
});
// A texture's bytes are about to go: a frame of it still waiting is shown now.
EM_JS(void, web_release, (const Uint8* rgba), { Module.hostRelease(rgba); });
EM_JS(void, web_message_box, (Uint32 flags, const char* title, const char* text), {
    Module.hostMessageBox(flags, UTF8ToString(title), UTF8ToString(text));
});
EM_JS(int, web_viewport_width, (), { return window.innerWidth | 0; });
EM_JS(int, web_viewport_height, (), { return window.innerHeight | 0; });
// One turn of the browser's event loop: a message to ourselves runs after the events and
// painting that wait, without the 4 ms floor that nested timers get.
EM_ASYNC_JS(void, web_yield, (), {
    await new Promise(resolve => Module.hostYield(resolve));
});

void Push(const SDL_Event& event) {
    std::lock_guard lock(gMutex);
    gEvents.push_back(event);
}

}  // namespace

// Called by the page's listeners (host_web.js).
extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_key(int down, int sym, int scancode, int repeat) {
    SDL_Event event{};
    event.key.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.windowID = 1;
    event.key.state = down ? 1 : 0;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.sym = sym;
    event.key.keysym.scancode = scancode;
    int mod = 0;
    switch (sym) {
    case SDLK_LSHIFT: mod = KMOD_LSHIFT; break;
    case SDLK_RSHIFT: mod = KMOD_RSHIFT; break;
    case SDLK_LCTRL: mod = KMOD_LCTRL; break;
    case SDLK_RCTRL: mod = KMOD_RCTRL; break;
    case SDLK_LALT: mod = KMOD_LALT; break;
    case SDLK_RALT: mod = KMOD_RALT; break;
    default: break;
    }
    {
        std::lock_guard lock(gMutex);
        gMods = down ? (gMods | mod) : (gMods & ~mod);
        event.key.keysym.mod = static_cast<Uint16>(gMods);
        gEvents.push_back(event);
    }
}

extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_text(const char* text) {
    SDL_Event event{};
    event.text.type = SDL_TEXTINPUT;
    event.text.windowID = 1;
    std::strncpy(event.text.text, text, sizeof event.text.text - 1);
    Push(event);
}

extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_mouse(int kind, int button, int x, int y) {
    SDL_Event event{};
    int dx = 0, dy = 0;
    {
        std::lock_guard lock(gMutex);
        dx = x - gMouseX;
        dy = y - gMouseY;
        gMouseX = x;
        gMouseY = y;
        if (kind == 1) gButtons |= 1u << (button - 1);
        if (kind == 2) gButtons &= ~(1u << (button - 1));
    }
    if (kind == 0) {
        event.motion.type = SDL_MOUSEMOTION;
        event.motion.windowID = 1;
        event.motion.state = gButtons;
        event.motion.x = x;
        event.motion.y = y;
        event.motion.xrel = dx;
        event.motion.yrel = dy;
    } else {
        event.button.type = kind == 1 ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        event.button.windowID = 1;
        event.button.button = static_cast<Uint8>(button);
        event.button.state = kind == 1 ? 1 : 0;
        event.button.clicks = 1;
        event.button.x = x;
        event.button.y = y;
    }
    Push(event);
}

extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_focus(int focused) {
    SDL_Event event{};
    event.window.type = SDL_WINDOWEVENT;
    event.window.windowID = 1;
    event.window.event = focused ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST;
    {
        std::lock_guard lock(gMutex);
        gFocused = focused != 0;
    }
    Push(event);
}

int SDL_InitSubSystem(Uint32 flags) { return 0; }
void SDL_QuitSubSystem(Uint32 flags) {}
const char* SDL_GetError() { return gError; }
const char* SDL_GetCurrentVideoDriver() { return "web"; }

int SDL_GetDesktopDisplayMode(int displayIndex, SDL_DisplayMode* mode) {
    if (displayIndex != 0 || mode == nullptr) {
        gError = "no such display";
        return -1;
    }
    *mode = SDL_DisplayMode{SDL_PIXELFORMAT_ARGB8888, web_viewport_width(), web_viewport_height(), 60, nullptr};
    return 0;
}

SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int w, int h, Uint32 flags) {
    if (gWindow != nullptr) {
        gError = "the page has one canvas, and a window on it already";
        return nullptr;
    }
    gWindow = new SDL_Window{1, w, h};
    web_canvas_size(w, h);
    return gWindow;
}

void SDL_DestroyWindow(SDL_Window* window) {
    if (window == gWindow) gWindow = nullptr;
    delete window;
}

Uint32 SDL_GetWindowID(SDL_Window* window) { return window != nullptr ? window->id : 0; }

SDL_Window* SDL_GetWindowFromID(Uint32 id) { return gWindow != nullptr && gWindow->id == id ? gWindow : nullptr; }

void SDL_SetWindowSize(SDL_Window* window, int w, int h) {
    if (window == nullptr || w <= 0 || h <= 0) return;
    window->width = w;
    window->height = h;
    web_canvas_size(w, h);
}

SDL_bool SDL_SetHint(const char*, const char*) { return SDL_TRUE; }  // none that a page needs

void SDL_GetWindowPosition(SDL_Window* window, int* x, int* y) {
    if (x) *x = 0;
    if (y) *y = 0;
}

void SDL_GetWindowSize(SDL_Window* window, int* w, int* h) {
    if (w) *w = window != nullptr ? window->width : 0;
    if (h) *h = window != nullptr ? window->height : 0;
}

void SDL_GetWindowSizeInPixels(SDL_Window* window, int* w, int* h) { SDL_GetWindowSize(window, w, h); }

int SDL_GetWindowBordersSize(SDL_Window* window, int* top, int* left, int* bottom, int* right) {
    if (top) *top = 0;
    if (left) *left = 0;
    if (bottom) *bottom = 0;
    if (right) *right = 0;
    return 0;
}

SDL_Window* SDL_GetKeyboardFocus() {
    std::lock_guard lock(gMutex);
    return gFocused ? gWindow : nullptr;
}

SDL_Renderer* SDL_CreateRenderer(SDL_Window* window, int index, Uint32 flags) {
    if (window == nullptr) {
        gError = "no window";
        return nullptr;
    }
    return new SDL_Renderer{window};
}

void SDL_DestroyRenderer(SDL_Renderer* renderer) { delete renderer; }

SDL_Texture* SDL_CreateTexture(SDL_Renderer* renderer, Uint32 format, int access, int w, int h) {
    if (format != SDL_PIXELFORMAT_ARGB8888 || w <= 0 || h <= 0) {
        gError = "only ARGB8888 textures of a positive size";
        return nullptr;
    }
    auto* texture = new SDL_Texture{w, h, {}};
    texture->rgba.resize(static_cast<std::size_t>(w) * h * 4);
    return texture;
}

void SDL_DestroyTexture(SDL_Texture* texture) {
    if (texture != nullptr) web_release(texture->rgba.data());
    delete texture;
}

int SDL_UpdateTexture(SDL_Texture* texture, const SDL_Rect* rect, const void* pixels, int pitch) {
    if (texture == nullptr || pixels == nullptr || rect != nullptr || pitch < texture->width * 4) {
        gError = "bad texture update";
        return -1;
    }
    // X8R8G8B8 words (bytes B, G, R, X) to the bytes R, G, B, 255.
    Uint8* out = texture->rgba.data();
    for (int y = 0; y < texture->height; ++y, out += texture->width * 4) {
        const Uint8* row = static_cast<const Uint8*>(pixels) + static_cast<std::ptrdiff_t>(y) * pitch;
        int x = 0;
#ifdef __wasm_simd128__
        const v128_t alpha = wasm_i32x4_splat(static_cast<int>(0xFF000000u));
        for (; x + 4 <= texture->width; x += 4) {
            const v128_t p = wasm_v128_load(row + x * 4);
            const v128_t rgba = wasm_i8x16_shuffle(p, p, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
            wasm_v128_store(out + x * 4, wasm_v128_or(rgba, alpha));
        }
#endif
        for (; x < texture->width; ++x) {
            out[x * 4 + 0] = row[x * 4 + 2];
            out[x * 4 + 1] = row[x * 4 + 1];
            out[x * 4 + 2] = row[x * 4 + 0];
            out[x * 4 + 3] = 0xFF;
        }
    }
    return 0;
}

namespace {
SDL_Texture* gPending = nullptr;
}

int SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                   const SDL_Rect* destination) {
    gPending = texture;
    return 0;
}

void SDL_RenderPresent(SDL_Renderer* renderer) {
    if (gPending != nullptr) web_present(gPending->rgba.data(), gPending->width, gPending->height);
    gPending = nullptr;
}

void SDL_PumpEvents() { web_yield(); }

int SDL_PollEvent(SDL_Event* event) {
    std::lock_guard lock(gMutex);
    if (gEvents.empty()) return 0;
    if (event != nullptr) {
        *event = gEvents.front();
        gEvents.pop_front();
    }
    return 1;
}

void SDL_FlushEvents(Uint32 minType, Uint32 maxType) {
    std::lock_guard lock(gMutex);
    std::erase_if(gEvents, [&](const SDL_Event& e) { return e.type >= minType && e.type <= maxType; });
}

Uint32 SDL_GetGlobalMouseState(int* x, int* y) { return SDL_GetMouseState(x, y); }

Uint32 SDL_GetMouseState(int* x, int* y) {
    std::lock_guard lock(gMutex);
    if (x) *x = gMouseX;
    if (y) *y = gMouseY;
    return gButtons;
}

SDL_Keymod SDL_GetModState() {
    std::lock_guard lock(gMutex);
    return static_cast<SDL_Keymod>(gMods);
}

void SDL_WarpMouseGlobal(int x, int y) {
    // A page cannot move the pointer; the position reads back as set until it moves.
    std::lock_guard lock(gMutex);
    gMouseX = x;
    gMouseY = y;
}

void SDL_StartTextInput() {}
void SDL_StopTextInput() {}

int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message, SDL_Window* window) {
    web_message_box(flags, title != nullptr ? title : "", message != nullptr ? message : "");
    return 0;
}
