// kernel32 resources: bitmap resources of a module come from a table that the program or
// a test fills with host::RegisterBitmapResource. Only the bitmap type exists.
//
// Names are text (compared without regard to ASCII case, as the platform does; "#12"
// names the id 12) or integer ids made with MAKEINTRESOURCE. A found resource is an
// entry of the table; HRSRC and HGLOBAL both point at it and are checked against the
// table before use, so a handle from before ClearResources fails cleanly.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/host.h"
#include "platform/win32/windows.h"

namespace {

struct ResourceName {
    bool isId = false;
    WORD id = 0;
    std::string text;  // upper-cased

    bool operator==(const ResourceName&) const = default;
};

struct ResourceEntry {
    HMODULE module;
    ResourceName name;
    const void* data;
    DWORD size;
};

struct ResourceTable {
    std::mutex lock;
    std::vector<std::unique_ptr<ResourceEntry>> entries;
};

ResourceTable& Table() {
    static ResourceTable table;
    return table;
}

WORD IdOf(const void* name) { return static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name)); }

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// "#123" names the integer id 123.
ResourceName FromText(std::string text) {
    ResourceName name;
    if (text.size() > 1 && text.size() <= 6 && text[0] == '#' &&
        std::all_of(text.begin() + 1, text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        unsigned long id = std::stoul(text.substr(1));
        if (id <= 0xFFFF) {
            name.isId = true;
            name.id = static_cast<WORD>(id);
            return name;
        }
    }
    name.text = Upper(std::move(text));
    return name;
}

ResourceName FromNameA(LPCSTR name) {
    if (IS_INTRESOURCE(name)) {
        ResourceName id;
        id.isId = true;
        id.id = IdOf(name);
        return id;
    }
    return FromText(name);
}

ResourceName FromNameW(LPCWSTR name) {
    if (IS_INTRESOURCE(name)) {
        ResourceName id;
        id.isId = true;
        id.id = IdOf(name);
        return id;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    std::string text(bytes > 0 ? static_cast<std::size_t>(bytes) : 0, '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, name, -1, text.data(), bytes, nullptr, nullptr);
        text.pop_back();  // the terminating zero
    }
    return FromText(std::move(text));
}

HRSRC Find(HMODULE module, const ResourceName& name) {
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (const auto& entry : table.entries) {
        if (entry->module == module && entry->name == name) {
            return reinterpret_cast<HRSRC>(entry.get());
        }
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
}

// The entry behind a handle, copied out under the lock; false when the handle is not live.
bool Lookup(const void* handle, ResourceEntry& out) {
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (const auto& entry : table.entries) {
        if (entry.get() == handle) {
            out = *entry;
            return true;
        }
    }
    return false;
}

}  // namespace

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (name == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type) || IdOf(type) != IdOf(RT_BITMAP)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return Find(module, FromNameA(name));
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    if (name == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type) || IdOf(type) != IdOf(RT_BITMAPW)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return Find(module, FromNameW(name));
}

// 0 is a failure for the callers; an empty resource reports ERROR_RESOURCE_DATA_NOT_FOUND
// so that its error is never mistaken for success.
DWORD SizeofResource(HMODULE module, HRSRC resource) {
    ResourceEntry entry{};
    if (!Lookup(resource, entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (entry.size == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    return entry.size;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    ResourceEntry entry{};
    if (!Lookup(resource, entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return reinterpret_cast<HGLOBAL>(resource);
}

LPVOID LockResource(HGLOBAL data) {
    ResourceEntry entry{};
    if (!Lookup(data, entry)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(entry.data);
}

namespace host {

void RegisterBitmapResource(HMODULE module, LPCSTR name, const void* data, DWORD size) {
    if (name == nullptr) {
        return;
    }
    ResourceName key = FromNameA(name);
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    for (auto& entry : table.entries) {
        if (entry->module == module && entry->name == key) {
            entry->data = data;
            entry->size = size;
            return;
        }
    }
    table.entries.push_back(std::make_unique<ResourceEntry>(ResourceEntry{module, key, data, size}));
}

void ClearResources() {
    ResourceTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.entries.clear();
}

}  // namespace host
