// The pixel codec families behind the format facts table.
#pragma once

#include "image/format_facts.h"

class PixelCodec;
struct SurfaceDesc;

namespace tolvane::pixels {

// Factories of the codec families; null when out of memory.
PixelCodec* CreateLinearCodec(const SurfaceDesc& desc, int formatIndex);
PixelCodec* CreateYuvCodec(const SurfaceDesc& desc);
PixelCodec* CreateDxtCodec(const SurfaceDesc& desc);

}  // namespace tolvane::pixels
