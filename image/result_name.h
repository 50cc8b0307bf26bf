// Result codes as text: the name and a short description of every code the layers
// return (the platform's D3DERR_, E_ and ERROR_ codes and the image layer's own).
#pragma once

#include "image/export.h"
#include "platform/d3d8/d3d8types.h"

TOLVANE_API_BEGIN

// "D3DERR_NOTAVAILABLE" for D3DERR_NOTAVAILABLE, "ERROR_FILE_NOT_FOUND" for
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "S_OK" for 0; "HRESULT" for a code that none
// of the layers returns.
const char* ResultName(HRESULT result);
// A short description: "the device does not support the request" for D3DERR_NOTAVAILABLE;
// "unknown result code" for a code that none of the layers returns.
const char* ResultDescription(HRESULT result);

TOLVANE_API_END
