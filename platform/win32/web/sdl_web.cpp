// SDL2's calls that the window layer makes, on a web page (see SDL.h).
//
// - The one window is the page's canvas (the element with id "canvas"); creating a
//   window sizes it. There is one display, the size of the page's viewport.
// - The page's listeners (host_web.js) turn keyboard, mouse, focus and blur events of the
//   canvas into SDL events, queued here until SDL_PollEvent hands them out.
// - Presentation converts the frame to RGBA bytes in the texture and hands the newest one
//   to the page, which puts it on the canvas once per animation frame: a page shows no
//   more than that, and passes between two of them leave the canvas alone.
// - Message boxes are shown on the page and do not block: the call returns at once.
//
// One thread (the page that is not cross-origin isolated): the program runs on the
// browser's thread, and SDL_PumpEvents yields to the browser: the program's loop calls it
// once per pass (through PeekMessageA), and the page runs its events, timers and painting
// there before the pass goes on. With Asyncify the call unwinds the program's stack and
// rewinds it afterwards, so the loop is written as on the desktop.
//
// Threads (-pthread, linked with PROXY_TO_PTHREAD): the program runs on a worker and
// never yields; the browser's thread stays free for the page. Calls into the page run
// there while the program waits (MAIN_THREAD_EM_ASM). The listeners queue events in the
// shared memory as before, and a texture keeps three buffers: the program converts into
// one, a presented frame is swapped into the middle one, and the page, once per animation
// frame, swaps a frame it has not shown yet out of there into the third, which it copies
// to the canvas. Neither side waits for the other; the page skips the frames it missed.
#include <SDL.h>
#include <emscripten.h>
#ifdef __wasm_simd128__
#include <wasm_simd128.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
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
#ifdef __EMSCRIPTEN_PTHREADS__
    static constexpr int kFresh = 4;  // in ready: a frame the page has not taken yet
    std::vector<Uint8> buffers[3];    // frames as the canvas takes them
    int back = 0;                     // the program's, converted into
    int front = 1;                    // the page's, shown from
    std::atomic<int> ready{2};        // the newest frame presented, | kFresh
    Uint8* Back() { return buffers[back].data(); }
#else
    std::vector<Uint8> rgba;  // the frame as the canvas takes it
    Uint8* Back() { return rgba.data(); }
#endif
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

std::condition_variable gEventQueued;  // (the program's thread waits for it while idle)

// Calls into the page. (Without threads MAIN_THREAD_EM_ASM is EM_ASM: the program runs
// on the browser's thread.)
#ifdef __EMSCRIPTEN_PTHREADS__
constexpr int kOnWorker = 1;
#else
constexpr int kOnWorker = 0;
#endif
void web_canvas_size(int width, int height) {
    MAIN_THREAD_EM_ASM({ Module.hostCanvasSize($0, $1, $2); }, width, height, kOnWorker);
}
void web_message_box(Uint32 flags, const char* title, const char* text) {
    MAIN_THREAD_EM_ASM({ Module.hostMessageBox($0, UTF8ToString($1), UTF8ToString($2)); }, flags, title, text);
}
int web_viewport_width() { return MAIN_THREAD_EM_ASM_INT({ return window.innerWidth | 0; }); }
int web_viewport_height() { return MAIN_THREAD_EM_ASM_INT({ return window.innerHeight | 0; }); }

#ifdef __EMSCRIPTEN_PTHREADS__
std::mutex gShowMutex;  // held by the page while it copies a frame out of gShown
std::atomic<SDL_Texture*> gShown{nullptr};  // the texture presented last (set under gShowMutex)
std::atomic<unsigned> gFrames{0}, gPasses{0};
int gTaken[3];  // the frame the page takes: its bytes, width and height

// A texture is about to go: a frame of it the page has not shown yet is shown now, and
// the page takes none of it from then on.
void web_release(SDL_Texture* texture) {
    MAIN_THREAD_EM_ASM({ Module.hostRelease(); });
    std::lock_guard lock(gShowMutex);
    if (gShown.load() == texture) gShown.store(nullptr);
}
#else
EM_JS(void, web_present, (const Uint8* rgba, int width, int height), {
    Module.hostPresent(rgba, width, height);
});
// A texture's bytes are about to go: a frame of it still waiting is shown now.
EM_JS(void, web_release_bytes, (const Uint8* rgba), { Module.hostRelease(rgba); });
void web_release(SDL_Texture* texture) { web_release_bytes(texture->rgba.data()); }
// One turn of the browser's event loop: a message to ourselves runs after the events and
// painting that wait, without the 4 ms floor that nested timers get.
EM_ASYNC_JS(void, web_yield, (), {
    await new Promise(resolve => Module.hostYield(resolve));
});
#endif

void Push(const SDL_Event& event) {
    {
        std::lock_guard lock(gMutex);
        gEvents.push_back(event);
    }
    gEventQueued.notify_one();
}

}  // namespace

// Called by the page's listeners (host_web.js), on the browser's thread. A key down that
// types a character brings its text (else null): the two are queued together, so the
// program takes both in one pass, with or without threads.
extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_key(int down, int sym, int scancode, int repeat, const char* text) {
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
        if (text != nullptr) {
            SDL_Event typed{};
            typed.text.type = SDL_TEXTINPUT;
            typed.text.windowID = 1;
            std::strncpy(typed.text.text, text, sizeof typed.text.text - 1);
            gEvents.push_back(typed);
        }
    }
    gEventQueued.notify_one();
}

extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_mouse(int kind, int button, int x, int y) {
    SDL_Event event{};
    int dx = 0, dy = 0;
    Uint32 buttons = 0;
    {
        std::lock_guard lock(gMutex);
        dx = x - gMouseX;
        dy = y - gMouseY;
        gMouseX = x;
        gMouseY = y;
        if (kind == 1) gButtons |= 1u << (button - 1);
        if (kind == 2) gButtons &= ~(1u << (button - 1));
        buttons = gButtons;
    }
    if (kind == 0) {
        event.motion.type = SDL_MOUSEMOTION;
        event.motion.windowID = 1;
        event.motion.state = buttons;
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

#ifdef __EMSCRIPTEN_PTHREADS__
// The page's side of presentation (host_web.js), once per animation frame: the newest
// frame presented that it has not taken yet, as gTaken (null when there is none). The
// bytes stay the page's until tolvane_host_frame_end, which it calls only then.
extern "C" EMSCRIPTEN_KEEPALIVE int* tolvane_host_frame_begin() {
    gShowMutex.lock();
    SDL_Texture* texture = gShown.load();
    if (texture == nullptr || (texture->ready.load() & SDL_Texture::kFresh) == 0) {
        gShowMutex.unlock();
        return nullptr;
    }
    texture->front = texture->ready.exchange(texture->front) & ~SDL_Texture::kFresh;
    gTaken[0] = static_cast<int>(reinterpret_cast<std::uintptr_t>(texture->buffers[texture->front].data()));
    gTaken[1] = texture->width;
    gTaken[2] = texture->height;
    return gTaken;
}
extern "C" EMSCRIPTEN_KEEPALIVE void tolvane_host_frame_end() { gShowMutex.unlock(); }
// The frames the program presented and the passes of its loop so far.
extern "C" EMSCRIPTEN_KEEPALIVE unsigned tolvane_host_frames() { return gFrames.load(); }
extern "C" EMSCRIPTEN_KEEPALIVE unsigned tolvane_host_passes() { return gPasses.load(); }
#endif

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

// The canvas stays where the page put it, under the page's title, always shown; the
// pointer over it is the page's, and the page sees the mouse only over the canvas.
void SDL_SetWindowPosition(SDL_Window*, int, int) {}
void SDL_SetWindowTitle(SDL_Window*, const char*) {}
void SDL_ShowWindow(SDL_Window*) {}
void SDL_HideWindow(SDL_Window*) {}
int SDL_ShowCursor(int toggle) { return toggle < 0 ? SDL_ENABLE : toggle; }
int SDL_CaptureMouse(SDL_bool) { return -1; }

// Full screen is the canvas's: the page asks the browser for it (which the browser grants
// only during a user's input: otherwise the page asks again at the next click or key) and
// scales the frame into the screen with its aspect kept.
int SDL_SetWindowFullscreen(SDL_Window* window, Uint32 flags) {
    if (window == nullptr) return -1;
    MAIN_THREAD_EM_ASM({ Module.hostFullScreen($0 !== 0); }, flags != 0 ? 1 : 0);
    return 0;
}
void SDL_RaiseWindow(SDL_Window*) {}

// The pointer over the canvas is the page's: no cursor images.
SDL_Surface* SDL_CreateRGBSurfaceWithFormatFrom(void*, int, int, int, int, Uint32) { return nullptr; }
void SDL_FreeSurface(SDL_Surface*) {}
SDL_Cursor* SDL_CreateColorCursor(SDL_Surface*, int, int) { return nullptr; }
void SDL_FreeCursor(SDL_Cursor*) {}
void SDL_SetCursor(SDL_Cursor*) {}
SDL_Cursor* SDL_GetDefaultCursor() { return nullptr; }

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
    auto* texture = new SDL_Texture;
    texture->width = w;
    texture->height = h;
#ifdef __EMSCRIPTEN_PTHREADS__
    for (auto& buffer : texture->buffers) buffer.resize(static_cast<std::size_t>(w) * h * 4);
#else
    texture->rgba.resize(static_cast<std::size_t>(w) * h * 4);
#endif
    return texture;
}

void SDL_DestroyTexture(SDL_Texture* texture) {
    if (texture != nullptr) web_release(texture);
    delete texture;
}

int SDL_UpdateTexture(SDL_Texture* texture, const SDL_Rect* rect, const void* pixels, int pitch) {
    if (texture == nullptr || pixels == nullptr || rect != nullptr || pitch < texture->width * 4) {
        gError = "bad texture update";
        return -1;
    }
    // X8R8G8B8 words (bytes B, G, R, X) to the bytes R, G, B, 255.
    Uint8* out = texture->Back();
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

// The page scales the canvas itself (see hostFullScreen): nothing to do here.
int SDL_RenderSetLogicalSize(SDL_Renderer*, int, int) { return 0; }
int SDL_SetRenderDrawColor(SDL_Renderer*, Uint8, Uint8, Uint8, Uint8) { return 0; }
int SDL_RenderClear(SDL_Renderer*) { return 0; }

int SDL_RenderCopy(SDL_Renderer* renderer, SDL_Texture* texture, const SDL_Rect* source,
                   const SDL_Rect* destination) {
    gPending = texture;
    return 0;
}

#ifdef __EMSCRIPTEN_PTHREADS__
void SDL_RenderPresent(SDL_Renderer* renderer) {
    SDL_Texture* texture = gPending;
    gPending = nullptr;
    if (texture == nullptr) return;
    texture->back = texture->ready.exchange(texture->back | SDL_Texture::kFresh) & ~SDL_Texture::kFresh;
    if (gShown.load() != texture) {
        std::lock_guard lock(gShowMutex);
        gShown.store(texture);
    }
    gFrames.fetch_add(1);
}

// No yield: the program has a thread of its own. A pass that presented nothing (a message
// handled, or the game paused) with no event waiting waits a little for one instead of
// spinning through the next.
void SDL_PumpEvents() {
    static unsigned framesSeen = 0;
    gPasses.fetch_add(1);
    const unsigned frames = gFrames.load();
    if (frames != framesSeen) {
        framesSeen = frames;
        return;
    }
    std::unique_lock lock(gMutex);
    gEventQueued.wait_for(lock, std::chrono::milliseconds(2), [] { return !gEvents.empty(); });
}
#else
void SDL_RenderPresent(SDL_Renderer* renderer) {
    if (gPending != nullptr) web_present(gPending->rgba.data(), gPending->width, gPending->height);
    gPending = nullptr;
}

void SDL_PumpEvents() { web_yield(); }
#endif

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

void SDL_WarpMouseInWindow(SDL_Window*, int x, int y) { SDL_WarpMouseGlobal(x, y); }

void SDL_StartTextInput() {}
void SDL_StopTextInput() {}

int SDL_ShowSimpleMessageBox(Uint32 flags, const char* title, const char* message, SDL_Window* window) {
    web_message_box(flags, title != nullptr ? title : "", message != nullptr ? message : "");
    return 0;
}
