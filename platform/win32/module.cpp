// kernel32 modules: the program's own module and the modules libraries of this system
// register (host::RegisterModule), which LoadLibraryA "loads".
//
// - A registered module is an entry of one table: its name (as registered, e.g.
//   "d3d8.dll"), the functions it exports by name, and how many loads hold it. Its handle
//   is a token that stays the module's for the life of the process.
// - Names match as the platform matches them: without regard to case; a name without an
//   extension gets ".dll" (a trailing '.' means no extension at all); a folder in front
//   ('\' or '/') is ignored, since every module lives in this process's libraries.
// - LoadLibraryA of a name no library registered fails with ERROR_MOD_NOT_FOUND; a
//   registered one counts one more load and returns the module's handle. FreeLibrary
//   counts one load less. GetModuleHandleA finds a module only while it is loaded; null
//   is the program's own module. GetProcAddress finds exports by name only (there are
//   no ordinals): ERROR_PROC_NOT_FOUND for any other, ERROR_MOD_NOT_FOUND for a handle
//   that is no module.
// - A library registers from code that is certainly linked into the program (see the
//   library's own notes), so the table does not rely on static initialisers of objects
//   the linker might leave out.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/host.h"

namespace {

constexpr std::uintptr_t kProcessModule = 0x400000;
constexpr std::uintptr_t kFirstModule = 0x10000000;

struct Module {
    std::string key;  // the matching form of the name
    std::vector<host::ModuleExport> exports;
    int loads = 0;
    HMODULE handle = nullptr;
};

struct ModuleTable {
    std::mutex lock;
    std::vector<std::unique_ptr<Module>> modules;
};

ModuleTable& Table() {
    static ModuleTable table;
    return table;
}

// The form in which names compare: lower case, no folder, ".dll" when no extension.
std::string MatchingName(const char* name) {
    std::string text(name);
    const std::size_t slash = text.find_last_of("\\/");
    if (slash != std::string::npos) text.erase(0, slash + 1);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    else if (text.find('.') == std::string::npos)
        text += ".dll";
    return text;
}

Module* Find(ModuleTable& table, const std::string& key) {
    for (auto& module : table.modules)
        if (module->key == key) return module.get();
    return nullptr;
}

Module* FindHandle(ModuleTable& table, HMODULE handle) {
    for (auto& module : table.modules)
        if (module->handle == handle) return module.get();
    return nullptr;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    if (fileName == nullptr || fileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ModuleTable& table = Table();
    std::lock_guard lock(table.lock);
    Module* module = Find(table, MatchingName(fileName));
    if (module == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->loads;
    return module->handle;
}

BOOL FreeLibrary(HMODULE handle) {
    ModuleTable& table = Table();
    std::lock_guard lock(table.lock);
    Module* module = FindHandle(table, handle);
    if (module == nullptr || module->loads == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    --module->loads;
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr) return reinterpret_cast<HMODULE>(kProcessModule);
    ModuleTable& table = Table();
    std::lock_guard lock(table.lock);
    Module* module = Find(table, MatchingName(moduleName));
    if (module == nullptr || module->loads == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return module->handle;
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
    ModuleTable& table = Table();
    std::lock_guard lock(table.lock);
    const Module* module = nullptr;
    if (handle != reinterpret_cast<HMODULE>(kProcessModule)) {
        module = FindHandle(table, handle);
        if (module == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    if (module != nullptr && procName != nullptr && !IS_INTRESOURCE(procName)) {
        for (const host::ModuleExport& entry : module->exports)
            if (std::strcmp(entry.name, procName) == 0) return entry.address;
    }
    // The program's module exports nothing; no module has ordinals.
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

namespace host {

void RegisterModule(const char* name, const ModuleExport* exports, std::size_t count) {
    if (name == nullptr || name[0] == '\0' || (exports == nullptr && count != 0)) return;
    ModuleTable& table = Table();
    std::lock_guard lock(table.lock);
    const std::string key = MatchingName(name);
    Module* module = Find(table, key);
    if (module == nullptr) {
        table.modules.push_back(std::make_unique<Module>());
        module = table.modules.back().get();
        module->key = key;
        module->handle = reinterpret_cast<HMODULE>(kFirstModule + 0x10000 * table.modules.size());
    }
    module->exports.assign(exports, exports + count);
}

}  // namespace host
