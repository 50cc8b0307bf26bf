// The game on a web page: the program's own entry steps (GameApp and RunApplication), with
// two hooks for the page around the passes of the loop. The window layer's web host does
// the rest: the canvas, the page's events and the yield to the browser in every pass.
//
// The page (index.html) may ask, before the program starts, for
//   Module.trace = []     every pass appends the same JSON line as tolvane-capture --trace
//   Module.stopAfter = N  the loop ends after N passes, as capture's --frames N does
// and is told Module.onGameEnd(exitCode) when the program has ended.
#include <emscripten.h>

#include "app/app_frame.h"
#include "game/game_app.h"
#include "tools/common/trace.h"

namespace {

// (The threaded build runs main on a worker: these run on the page's thread, the program
// waiting for them. Without threads they run in place.)
int page_stop_after() { return MAIN_THREAD_EM_ASM_INT({ return Module.stopAfter | 0; }); }
int page_wants_trace() { return MAIN_THREAD_EM_ASM_INT({ return Array.isArray(Module.trace) ? 1 : 0; }); }
void page_trace(const char* line) { MAIN_THREAD_EM_ASM({ Module.trace.push(UTF8ToString($0).trim()); }, line); }
void page_game_end(int code) { MAIN_THREAD_EM_ASM({ if (Module.onGameEnd) Module.onGameEnd($0); }, code); }

}  // namespace

int main() {
    GameApp app;
    const int stopAfter = page_stop_after();
    const bool trace = page_wants_trace() != 0;
    PassHooks hooks;
    if (trace || stopAfter > 0) {
        hooks.after = [&](int pass, bool rendered) {
            if (trace) page_trace(TraceLine(pass, rendered, app).c_str());
            return stopAfter <= 0 || pass + 1 < stopAfter;
        };
    }
    app.SetPassHooks(hooks);
    const int code = RunApplication(app, GetModuleHandleA(nullptr));
    page_game_end(code);
    return code;
}
