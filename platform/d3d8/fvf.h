// Flexible vertex format codes: their size in bytes, and which of them the rasterizer
// draws (XYZ or XYZRHW, NORMAL, DIFFUSE, SPECULAR and up to two 2D coordinate sets).
#pragma once

#include "platform/d3d8/d3d8types.h"

namespace d3d8 {

// Whether the code is a well-formed vertex format (a position, no reserved bits, at most
// eight coordinate sets).
bool IsFvf(DWORD fvf);

// Bytes of one vertex of a well-formed format.
UINT FvfSize(DWORD fvf);

// Whether the rasterizer decodes vertices of the format.
bool IsDrawableFvf(DWORD fvf);

}  // namespace d3d8
