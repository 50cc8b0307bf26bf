#include "image/result_name.h"

#include "image/image_file.h"

namespace {

struct ResultText {
    HRESULT Result;
    const char* Name;
    const char* Description;
};

constexpr HRESULT Win32(DWORD error) { return HRESULT_FROM_WIN32(error); }

// The first row of a value names it: E_OUTOFMEMORY and E_INVALIDARG are also the
// HRESULT forms of ERROR_OUTOFMEMORY and ERROR_INVALID_PARAMETER.
constexpr ResultText RESULTS[] = {
    {S_OK, "S_OK", "success"},
    {S_FALSE, "S_FALSE", "success, with nothing done"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT", "the texture format cannot be used here"},
    {D3DERR_UNSUPPORTEDCOLOROPERATION, "D3DERR_UNSUPPORTEDCOLOROPERATION", "unsupported colour operation"},
    {D3DERR_UNSUPPORTEDCOLORARG, "D3DERR_UNSUPPORTEDCOLORARG", "unsupported colour argument"},
    {D3DERR_UNSUPPORTEDALPHAOPERATION, "D3DERR_UNSUPPORTEDALPHAOPERATION", "unsupported alpha operation"},
    {D3DERR_UNSUPPORTEDALPHAARG, "D3DERR_UNSUPPORTEDALPHAARG", "unsupported alpha argument"},
    {D3DERR_TOOMANYOPERATIONS, "D3DERR_TOOMANYOPERATIONS", "too many texture stage operations"},
    {D3DERR_CONFLICTINGTEXTUREFILTER, "D3DERR_CONFLICTINGTEXTUREFILTER", "conflicting texture filters"},
    {D3DERR_UNSUPPORTEDFACTORVALUE, "D3DERR_UNSUPPORTEDFACTORVALUE", "unsupported factor value"},
    {D3DERR_CONFLICTINGRENDERSTATE, "D3DERR_CONFLICTINGRENDERSTATE", "conflicting render states"},
    {D3DERR_UNSUPPORTEDTEXTUREFILTER, "D3DERR_UNSUPPORTEDTEXTUREFILTER", "unsupported texture filter"},
    {D3DERR_CONFLICTINGTEXTUREPALETTE, "D3DERR_CONFLICTINGTEXTUREPALETTE", "conflicting texture palettes"},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR", "internal error of the device"},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND", "the requested item was not found"},
    {D3DERR_MOREDATA, "D3DERR_MOREDATA", "more data than the buffer holds"},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "the device is lost"},
    {D3DERR_DEVICENOTRESET, "D3DERR_DEVICENOTRESET", "the device needs a reset"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "the device does not support the request"},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "out of video memory"},
    {D3DERR_INVALIDDEVICE, "D3DERR_INVALIDDEVICE", "invalid device type"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", "invalid call or argument"},
    {D3DERR_DRIVERINVALIDCALL, "D3DERR_DRIVERINVALIDCALL", "invalid call to the device"},
    {ERR_INVALID_DATA, "ERR_INVALID_DATA", "the data is not an image this library reads"},
    {E_FAIL, "E_FAIL", "unspecified failure"},
    {E_NOTIMPL, "E_NOTIMPL", "not implemented"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "out of memory"},
    {E_INVALIDARG, "E_INVALIDARG", "invalid argument"},
    {E_NOINTERFACE, "E_NOINTERFACE", "no such interface"},
    {Win32(ERROR_INVALID_FUNCTION), "ERROR_INVALID_FUNCTION", "invalid function"},
    {Win32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND", "file not found"},
    {Win32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND", "path not found"},
    {Win32(ERROR_TOO_MANY_OPEN_FILES), "ERROR_TOO_MANY_OPEN_FILES", "too many open files"},
    {Win32(ERROR_ACCESS_DENIED), "ERROR_ACCESS_DENIED", "access denied"},
    {Win32(ERROR_INVALID_HANDLE), "ERROR_INVALID_HANDLE", "invalid handle"},
    {Win32(ERROR_NOT_ENOUGH_MEMORY), "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {Win32(ERROR_SHARING_VIOLATION), "ERROR_SHARING_VIOLATION", "the file is in use"},
    {Win32(ERROR_HANDLE_EOF), "ERROR_HANDLE_EOF", "end of file"},
    {Win32(ERROR_NOT_SUPPORTED), "ERROR_NOT_SUPPORTED", "not supported"},
    {Win32(ERROR_MOD_NOT_FOUND), "ERROR_MOD_NOT_FOUND", "module not found"},
    {Win32(ERROR_DISK_FULL), "ERROR_DISK_FULL", "disk full"},
    {Win32(ERROR_INSUFFICIENT_BUFFER), "ERROR_INSUFFICIENT_BUFFER", "buffer too small"},
    {Win32(ERROR_INVALID_NAME), "ERROR_INVALID_NAME", "invalid file name"},
    {Win32(ERROR_BAD_PATHNAME), "ERROR_BAD_PATHNAME", "bad path name"},
    {Win32(ERROR_FILENAME_EXCED_RANGE), "ERROR_FILENAME_EXCED_RANGE", "file name too long"},
    {Win32(ERROR_FILE_TOO_LARGE), "ERROR_FILE_TOO_LARGE", "file too large"},
    {Win32(ERROR_INVALID_ADDRESS), "ERROR_INVALID_ADDRESS", "invalid address"},
    {Win32(ERROR_FILE_INVALID), "ERROR_FILE_INVALID", "the file is no longer valid"},
    {Win32(ERROR_RESOURCE_DATA_NOT_FOUND), "ERROR_RESOURCE_DATA_NOT_FOUND", "resource data not found"},
    {Win32(ERROR_RESOURCE_TYPE_NOT_FOUND), "ERROR_RESOURCE_TYPE_NOT_FOUND", "resource type not found"},
    {Win32(ERROR_RESOURCE_NAME_NOT_FOUND), "ERROR_RESOURCE_NAME_NOT_FOUND", "resource name not found"},
    {Win32(ERROR_CLASS_ALREADY_EXISTS), "ERROR_CLASS_ALREADY_EXISTS", "the window class already exists"},
    {Win32(ERROR_CLASS_HAS_WINDOWS), "ERROR_CLASS_HAS_WINDOWS", "the window class still has windows"},
    {Win32(ERROR_CANNOT_FIND_WND_CLASS), "ERROR_CANNOT_FIND_WND_CLASS", "no such window class"},
    {Win32(ERROR_INVALID_WINDOW_HANDLE), "ERROR_INVALID_WINDOW_HANDLE", "invalid window handle"},
};

const ResultText* Find(HRESULT result) {
    for (const ResultText& row : RESULTS) {
        if (row.Result == result) return &row;
    }
    return nullptr;
}

}  // namespace

const char* ResultName(HRESULT result) {
    const ResultText* row = Find(result);
    return row ? row->Name : "HRESULT";
}

const char* ResultDescription(HRESULT result) {
    const ResultText* row = Find(result);
    return row ? row->Description : "unknown result code";
}
