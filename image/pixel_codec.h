// Per-format row readers and writers: every pixel conversion goes through rows of Color.
#pragma once

#include <cstdint>

#include "math/types.h"
#include "platform/d3d8/d3d8types.h"
#include "image/export.h"

TOLVANE_API_BEGIN

// A region of a surface to read or write.
struct SurfaceDesc {
    void* Data = nullptr;           // pixel (0, 0) of slice 0
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    UINT RowPitch = 0;              // bytes per row (DXT: per row of 4x4 blocks)
    UINT SlicePitch = 0;            // bytes per slice, 0 for plain surfaces
    D3DBOX Whole = {};              // the whole surface
    D3DBOX Region = {};             // the part to read or write
    DWORD Dither = 0;               // non-zero: writes use the ordered-dither table
    D3DCOLOR ColorKey = 0;          // A8R8G8B8; 0 means none
    const PALETTEENTRY* Palette = nullptr;  // 256 entries or null
};

// Created for one region of one surface; destroyed through its first virtual operation
// (Destroy), which flushes the row cache of the YUV and DXT codecs. ReadRow and WriteRow
// ignore rows and slices outside the region. The channel writes are defined in float steps
// rounded toward zero; they are computed exactly that way without touching the processor's
// rounding mode, assuming the thread's default round-to-nearest (ConvertSurface sees to
// it), so codecs on different threads never disturb each other.
class PixelCodec {
public:
    // Frees the object when freeMemory is true (the usual case), after flushing any cache.
    virtual void Destroy(bool freeMemory);
    virtual void ReadRow(UINT row, UINT slice, Color* out);
    virtual void WriteRow(UINT row, UINT slice, const Color* in);

    // Common state, set from the description (fields documented with the codecs).
    std::uint8_t* Data = nullptr;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    int Class = 0;  // 1 colour formats, 3 signed formats
    UINT BytesPerPixel = 0;
    bool Linear = false;
    bool HasColorKey = false;
    Color Key = {};
    const float (*DitherTable)[8] = nullptr;
    bool HasPalette = false;
    Color PaletteColors[256] = {};
    D3DBOX Region = {};
    UINT RowPitch = 0;
    UINT SlicePitch = 0;
    UINT Width = 0;
    UINT Height = 0;
    UINT Depth = 0;
    UINT RowBytes = 0;

protected:
    PixelCodec() = default;
    virtual ~PixelCodec() = default;

    // The common initialisation: codecClass 2 (palette formats) becomes class 1 with the
    // palette flag. Linear formats move Data to the region's first pixel and the region
    // to the origin.
    void Init(const SurfaceDesc& desc, UINT bitsPerPixel, int codecClass);
    // Replaces every pixel equal to the key (all four channels) by (0, 0, 0, 0).
    void ApplyColorKey(Color* row, UINT count) const;
};

// The two dither tables, T[row AND 3][(slice AND 3) + (x AND 3)].
extern const float kPlainDitherTable[4][8];
extern const float kOrderedDitherTable[4][8];

// Index of the palette colour nearest to c: squared distance over red, green, blue and,
// when withAlpha, alpha, computed in float arithmetic rounded toward zero; the lowest index
// wins a tie.
UINT FindNearestPaletteEntry(const Color (&palette)[256], const Color& c, bool withAlpha);

// A codec for the description's format, or null (no codec for the format, or no memory).
PixelCodec* CreatePixelCodec(const SurfaceDesc& desc);

TOLVANE_API_END
