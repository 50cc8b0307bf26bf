// File and resource access for the decoders: a whole file mapped read-only, or the bytes
// of a bitmap resource.
#include <string>

#include "image/image_file.h"

namespace {

// The last error as a result code. A failing call that left no error number still
// fails: E_FAIL rather than a success code.
HRESULT LastErrorResult() {
    DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HANDLE OpenWide(const WCHAR* name) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        return CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_RANDOM_ACCESS, nullptr);
    }
    // Platforms without UTF-16 file calls: convert to the ANSI code page first.
    int bytes = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return INVALID_HANDLE_VALUE;
    }
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, ansi.data(), bytes, nullptr, nullptr) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(ansi.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_FLAG_RANDOM_ACCESS, nullptr);
}

}  // namespace

MappedFile::~MappedFile() { Close(); }

HRESULT MappedFile::Open(const void* name, bool wide) {
    if (name == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Close();
    SetLastError(ERROR_SUCCESS);
    File = wide ? OpenWide(static_cast<const WCHAR*>(name))
                : CreateFileA(static_cast<const char*>(name), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr);
    if (File == INVALID_HANDLE_VALUE) {
        return LastErrorResult();
    }
    // The platform gives no mapping handle on failure (null); the closed state is the
    // invalid-handle value.
    HANDLE mapping = CreateFileMappingA(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
        return LastErrorResult();
    }
    Mapping = mapping;
    View = MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0);
    if (View == nullptr) {
        return LastErrorResult();
    }
    DWORD high = 0;
    DWORD low = GetFileSize(File, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
        return LastErrorResult();
    }
    // Sizes are 32-bit throughout the decoders: a file of 4 GiB or more is refused rather
    // than read as its size modulo 2^32.
    if (high != 0) {
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    Size = low;
    return S_OK;
}

void MappedFile::Close() {
    if (View != nullptr) {
        UnmapViewOfFile(View);
        View = nullptr;
    }
    if (Mapping != INVALID_HANDLE_VALUE) {
        CloseHandle(Mapping);
        Mapping = INVALID_HANDLE_VALUE;
    }
    if (File != INVALID_HANDLE_VALUE) {
        CloseHandle(File);
        File = INVALID_HANDLE_VALUE;
    }
    Size = 0;
}

HRESULT ResourceBlock::Load(HMODULE module, const void* name, bool wide) {
    Data = nullptr;
    Bytes = nullptr;
    Size = 0;
    if (name == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    SetLastError(ERROR_SUCCESS);
    HRSRC resource = wide ? FindResourceW(module, static_cast<LPCWSTR>(name), RT_BITMAPW)
                          : FindResourceA(module, static_cast<LPCSTR>(name), RT_BITMAP);
    if (resource == nullptr) {
        return LastErrorResult();
    }
    DWORD size = SizeofResource(module, resource);
    if (size == 0) {
        return LastErrorResult();
    }
    HGLOBAL data = LoadResource(module, resource);
    if (data == nullptr) {
        return LastErrorResult();
    }
    const void* bytes = LockResource(data);
    if (bytes == nullptr) {
        return LastErrorResult();
    }
    Data = data;
    Bytes = bytes;
    Size = size;
    return S_OK;
}
