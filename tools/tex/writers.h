// The texture tool's output files: 8-bit RGBA PNG, and DDS in the forms our own DDS
// decoder reads back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8types.h"

// rgba holds width x height pixels of red, green, blue, alpha bytes, top row first.
bool WritePngRgba(const std::string& path, const std::vector<std::uint8_t>& rgba, UINT width, UINT height,
                  std::string* error);

// Whether a DDS file of ours can hold this format as it is: every format texture creation
// knows except the palettised P8 and A8P8. Colour formats carry RGB masks (with the alpha
// flag when they have alpha), A8 the alpha-only flag, L8, A8L8 and A4L4 the luminance flag,
// the signed formats the bump flags, the YUV and DXT formats their FOURCC.
bool HasDdsForm(D3DFORMAT format);

// Bytes of one tightly packed row (DXT: one row of 4x4 blocks) and the number of rows (block
// rows) of a level of the given size.
void DdsLevelLayout(D3DFORMAT format, UINT width, UINT height, UINT* rowBytes, UINT* rows);

// levels holds faces x levelCount tightly packed levels, face by face, each face from its
// largest level down. faces is 1 or 6.
bool WriteDds(const std::string& path, D3DFORMAT format, UINT width, UINT height, UINT levelCount, UINT faces,
              const std::vector<std::vector<std::uint8_t>>& levels, std::string* error);
