#include "names.h"

#include <cstdio>
#include <iterator>

#include "image/image_file.h"
#include "image/pixel_formats.h"

namespace {

struct ResultNameRow {
    HRESULT Result;
    const char* Name;
};

constexpr ResultNameRow RESULT_NAMES[] = {
    {S_OK, "S_OK"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
    {ERR_INVALID_DATA, "ERR_INVALID_DATA"},
    {E_FAIL, "E_FAIL"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "ERROR_FILE_NOT_FOUND"},
    {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "ERROR_PATH_NOT_FOUND"},
    {HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), "ERROR_ACCESS_DENIED"},
    {HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES), "ERROR_TOO_MANY_OPEN_FILES"},
    {HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), "ERROR_NOT_ENOUGH_MEMORY"},
    {HRESULT_FROM_WIN32(ERROR_INVALID_NAME), "ERROR_INVALID_NAME"},
    {HRESULT_FROM_WIN32(ERROR_FILE_INVALID), "ERROR_FILE_INVALID"},
    {HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), "ERROR_RESOURCE_NAME_NOT_FOUND"},
};

}  // namespace

std::string FormatName(D3DFORMAT format) {
    if (format == D3DFMT_UNKNOWN) return "D3DFMT_UNKNOWN";
    if (const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(format)) return facts->Name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(format));
    return text;
}

bool ParseFormatName(const std::string& name, D3DFORMAT* format) {
    if (name == "D3DFMT_UNKNOWN") {
        *format = D3DFMT_UNKNOWN;
        return true;
    }
    for (const tolvane::pixels::FormatFacts& row : tolvane::pixels::kFormatFacts) {
        if (name == row.Name) {
            *format = row.Format;
            return true;
        }
    }
    return false;
}

std::string ResultName(HRESULT result) {
    const char* name = "HRESULT";
    for (const ResultNameRow& row : RESULT_NAMES) {
        if (row.Result == result) name = row.Name;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%08X", name, static_cast<unsigned>(result));
    return text;
}
