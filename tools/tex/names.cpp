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
