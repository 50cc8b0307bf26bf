// Names of formats and result codes for the texture tool's input and output.
#pragma once

#include <string>

#include "platform/d3d8/d3d8types.h"

// "D3DFMT_X8R8G8B8" for the formats texture creation knows (and D3DFMT_UNKNOWN), else the
// number in hexadecimal.
std::string FormatName(D3DFORMAT format);
// The format of a D3DFMT_ name; false for a name that is not one of them.
bool ParseFormatName(const std::string& name, D3DFORMAT* format);
// "ERR_INVALID_DATA 0x88760B59": the code's name and its value.
std::string ResultText(HRESULT result);
