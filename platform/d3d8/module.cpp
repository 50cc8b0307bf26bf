// d3d8.dll: the module under which a program finds Direct3DCreate8 with LoadLibraryA and
// GetProcAddress. The window layer keeps the table of modules (host::RegisterModule); this
// library fills in its entry, since the window layer must not know it.
//
// The entry is made by whichever comes first:
// - the library's load: a static initialiser of this file. A static library's objects
//   reach a program only when it refers to them, and a program that only calls
//   LoadLibraryA refers to none, so the package links programs with
//   -Wl,--undefined=tolvane_d3d8_module, which brings this file in (and keeps a shared
//   library among the program's needed ones);
// - the first Direct3DCreate8, for programs linked without that option.
#include <mutex>

#include "platform/d3d8/objects.h"
#include "platform/win32/host.h"

namespace d3d8 {

namespace {

// An export's address; through void (*)(), which stands for any function type.
template <typename Function>
FARPROC Export(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

}  // namespace

void RegisterModule() {
    static std::once_flag once;
    std::call_once(once, [] {
        static const host::ModuleExport exports[] = {
            {"Direct3DCreate8", Export(&Direct3DCreate8)},
            {"Direct3DCreate8WithProfile", Export(&Direct3DCreate8WithProfile)},
            {"ValidatePixelShader", Export(&ValidatePixelShader)},
            {"ValidateVertexShader", Export(&ValidateVertexShader)},
        };
        host::RegisterModule("d3d8.dll", exports, sizeof exports / sizeof exports[0]);
    });
}

}  // namespace d3d8

// The symbol the package's link option names.
extern "C" __attribute__((visibility("default"), used)) void tolvane_d3d8_module() { d3d8::RegisterModule(); }

namespace {

[[maybe_unused]] const bool g_registered = (d3d8::RegisterModule(), true);

}  // namespace
