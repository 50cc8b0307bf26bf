// kernel32 files: read-only opening, whole-file mapping and handles, on POSIX.
//
// Handles are our own heap objects, kept in a table of live handles: a handle is only
// used after it was found in the table, so a stale or made-up handle fails with
// ERROR_INVALID_HANDLE instead of being dereferenced. A file handle owns a descriptor;
// a mapping handle owns a duplicate of it, so the mapping (and any view) outlives the
// file handle as it does on the platform. Views are mmap'ed and remembered with their
// length for UnmapViewOfFile.
//
// Every failure sets the last error to the platform's number for the errno at hand.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "platform/win32/windows.h"

namespace {

enum class ObjectKind { File, Mapping };

struct KernelObject {
    ObjectKind kind;
    int fd;
    std::uint64_t size;  // mappings only: bytes covered by the mapping
};

struct HandleTable {
    std::mutex lock;
    std::unordered_set<KernelObject*> live;
    std::unordered_map<const void*, std::size_t> views;  // view address -> mapped length
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ELOOP: return ERROR_BAD_PATHNAME;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EFBIG:
    case EOVERFLOW: return ERROR_FILE_TOO_LARGE;
    case ENOSPC: return ERROR_DISK_FULL;
    case ENODEV:
    case ENXIO: return ERROR_FILE_INVALID;
    case ETXTBSY:
    case EBUSY: return ERROR_SHARING_VIOLATION;
    default: return ERROR_INVALID_FUNCTION;
    }
}

// Looks a handle up in the table; null when it is not a live object of that kind.
KernelObject* Find(HANDLE handle, ObjectKind kind) {
    auto* object = static_cast<KernelObject*>(handle);
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.live.find(object);
    if (it == table.live.end() || (*it)->kind != kind) {
        return nullptr;
    }
    return object;
}

HANDLE Insert(ObjectKind kind, int fd, std::uint64_t size) {
    auto* object = new KernelObject{kind, fd, size};
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.live.insert(object);
    return object;
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return nullptr;
}

HANDLE OpenForReading(const char* name, DWORD access, DWORD disposition) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Only reading an existing file is offered: nothing in the system writes files.
    if ((access & ~GENERIC_READ) != 0 || (access & GENERIC_READ) == 0 || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    if (name[0] == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string path(name);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    // O_NONBLOCK: opening a named pipe must not wait for a writer. Only regular files
    // are images; a directory, pipe or device is refused as access denied.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
    }
    if (error != 0) {
        ::close(fd);
        SetLastError(ErrorFromErrno(error));
        return INVALID_HANDLE_VALUE;
    }
    return Insert(ObjectKind::File, fd, 0);
}

}  // namespace

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    return OpenForReading(name, access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    if (name == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8.data(), bytes, nullptr, nullptr) != bytes) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return OpenForReading(utf8.c_str(), access, disposition);
}

// Read-only, unnamed mappings of a whole file (or of its first sizeHigh:sizeLow bytes).
// A file of 0 bytes cannot be mapped: the call fails with ERROR_FILE_INVALID, as it
// does on the platform, so callers never see a view they cannot read.
HANDLE CreateFileMappingA(HANDLE file, void* security, DWORD protect, DWORD sizeHigh, DWORD sizeLow,
                          LPCSTR name) {
    KernelObject* object = Find(file, ObjectKind::File);
    if (object == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (protect != PAGE_READONLY) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    if (name != nullptr) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    struct stat info {};
    if (::fstat(object->fd, &info) != 0) {
        return Fail(ErrorFromErrno(errno));
    }
    auto fileSize = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t size = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    if (size == 0) {
        size = fileSize;
    }
    if (size == 0) {
        return Fail(ERROR_FILE_INVALID);
    }
    // A read-only mapping cannot grow the file.
    if (size > fileSize) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    int fd = ::fcntl(object->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        return Fail(ErrorFromErrno(errno));
    }
    return Insert(ObjectKind::Mapping, fd, size);
}

// Views start at offset 0 (the only offset the system uses); bytes 0 maps the whole mapping.
// The view reads the file as it is on disk; a file truncated by another process while
// mapped makes reads past its new end fault, as it would on the platform.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, std::size_t bytes) {
    KernelObject* object = Find(mapping, ObjectKind::Mapping);
    if (object == nullptr) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (access != FILE_MAP_READ) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (offsetHigh != 0 || offsetLow != 0) {
        return Fail(ERROR_NOT_SUPPORTED);
    }
    std::uint64_t length = bytes == 0 ? object->size : bytes;
    if (length > object->size || length > SIZE_MAX) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    void* view = ::mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_PRIVATE, object->fd, 0);
    if (view == MAP_FAILED) {
        return Fail(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : ErrorFromErrno(errno));
    }
    HandleTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    table.views[view] = static_cast<std::size_t>(length);
    return view;
}

BOOL UnmapViewOfFile(LPCVOID view) {
    HandleTable& table = Table();
    std::size_t length = 0;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.views.find(view);
        if (it == table.views.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        length = it->second;
        table.views.erase(it);
    }
    ::munmap(const_cast<void*>(view), length);
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* sizeHigh) {
    KernelObject* object = Find(file, ObjectKind::File);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat info {};
    if (::fstat(object->fd, &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<std::uint64_t>(info.st_size);
    if (sizeHigh != nullptr) {
        *sizeHigh = static_cast<DWORD>(size >> 32);
    }
    // A size whose low word is all ones is told apart from a failure by the last error.
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE handle) {
    auto* object = static_cast<KernelObject*>(handle);
    HandleTable& table = Table();
    {
        std::lock_guard<std::mutex> guard(table.lock);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE || table.live.erase(object) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    ::close(object->fd);
    delete object;
    return TRUE;
}
