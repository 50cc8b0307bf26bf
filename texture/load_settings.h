// What texture and cube texture creation settle before the texture exists: the format
// derived from the image, the default filters, whether lower levels are filtered, and the
// working palette. Shared by the texture and cube texture cores.
#pragma once

#include "image/image_file.h"
#include "platform/d3d8/d3d8.h"

struct LoadSettings {
    D3DFORMAT Format;
    DWORD Filter;
    DWORD MipFilter;
    D3DCOLOR ColorKey;       // 0 once a palette has taken the key
    bool FilterLowerLevels;  // lower levels come from FilterTexture rather than from the image
    PALETTEENTRY WorkingPalette[256];
};

// Settles format, filters, colour key and palette for image. extraFilterFlags is added to
// both filters after their defaults are chosen (the cube's mirror flags). callerPalette,
// when given, receives the working palette.
void SettleLoad(const DecodedImage& image, D3DFORMAT format, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                DWORD extraFilterFlags, PALETTEENTRY* callerPalette, LoadSettings* out);

// Loads one decoded image into a whole surface, resampling it to the surface's size.
HRESULT LoadImageLevel(IDirect3DSurface8* surface, const PALETTEENTRY* callerPalette, const DecodedImage& image,
                       const LoadSettings& settings, DWORD filter);
