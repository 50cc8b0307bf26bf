#include "names.h"

#include <cstdio>
#include <iterator>

#include "image/image_file.h"

namespace {

struct FormatNameRow {
    D3DFORMAT Format;
    const char* Name;
};

constexpr FormatNameRow FORMAT_NAMES[] = {
    {D3DFMT_UNKNOWN, "D3DFMT_UNKNOWN"},     {D3DFMT_R8G8B8, "D3DFMT_R8G8B8"},
    {D3DFMT_A8R8G8B8, "D3DFMT_A8R8G8B8"},   {D3DFMT_X8R8G8B8, "D3DFMT_X8R8G8B8"},
    {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"},       {D3DFMT_X1R5G5B5, "D3DFMT_X1R5G5B5"},
    {D3DFMT_A1R5G5B5, "D3DFMT_A1R5G5B5"},   {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"},
    {D3DFMT_R3G3B2, "D3DFMT_R3G3B2"},       {D3DFMT_A8, "D3DFMT_A8"},
    {D3DFMT_A8R3G3B2, "D3DFMT_A8R3G3B2"},   {D3DFMT_X4R4G4B4, "D3DFMT_X4R4G4B4"},
    {D3DFMT_A8P8, "D3DFMT_A8P8"},           {D3DFMT_P8, "D3DFMT_P8"},
    {D3DFMT_L8, "D3DFMT_L8"},               {D3DFMT_A8L8, "D3DFMT_A8L8"},
    {D3DFMT_A4L4, "D3DFMT_A4L4"},           {D3DFMT_V8U8, "D3DFMT_V8U8"},
    {D3DFMT_L6V5U5, "D3DFMT_L6V5U5"},       {D3DFMT_X8L8V8U8, "D3DFMT_X8L8V8U8"},
    {D3DFMT_Q8W8V8U8, "D3DFMT_Q8W8V8U8"},   {D3DFMT_V16U16, "D3DFMT_V16U16"},
    {D3DFMT_W11V11U10, "D3DFMT_W11V11U10"}, {D3DFMT_UYVY, "D3DFMT_UYVY"},
    {D3DFMT_YUY2, "D3DFMT_YUY2"},           {D3DFMT_DXT1, "D3DFMT_DXT1"},
    {D3DFMT_DXT2, "D3DFMT_DXT2"},           {D3DFMT_DXT3, "D3DFMT_DXT3"},
    {D3DFMT_DXT4, "D3DFMT_DXT4"},           {D3DFMT_DXT5, "D3DFMT_DXT5"},
};

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
    for (const FormatNameRow& row : FORMAT_NAMES) {
        if (row.Format == format) return row.Name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(format));
    return text;
}

bool ParseFormatName(const std::string& name, D3DFORMAT* format) {
    for (const FormatNameRow& row : FORMAT_NAMES) {
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
