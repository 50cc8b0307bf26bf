// The codec base: common initialisation, colour keys, palettes, dither tables and the
// factory.
#include "image/pixel_codec.h"

#include <new>

#include "image/float_rounding.h"
#include "image/pixel_formats.h"

using namespace tolvane;

// Plain rounding: every channel gets + 0.5 before truncation, i.e. rounds half up.
const float kPlainDitherTable[4][8] = {
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
    {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f},
};

// Ordered dither: entry (m + 0.5) / 16 for m from the 4x4 matrix
//   15  7 13  5
//    3 11  1  9
//   12  4 14  6
//    0  8  2 10
// so the 16 offsets are spread evenly over (0, 1) with mean 0.5. Each row of four is written
// twice so that (slice AND 3) + (x AND 3) indexes it directly: successive slices shift the
// pattern by one column.
const float kOrderedDitherTable[4][8] = {
    {0.96875f, 0.46875f, 0.84375f, 0.34375f, 0.96875f, 0.46875f, 0.84375f, 0.34375f},
    {0.21875f, 0.71875f, 0.09375f, 0.59375f, 0.21875f, 0.71875f, 0.09375f, 0.59375f},
    {0.78125f, 0.28125f, 0.90625f, 0.40625f, 0.78125f, 0.28125f, 0.90625f, 0.40625f},
    {0.03125f, 0.53125f, 0.15625f, 0.65625f, 0.03125f, 0.53125f, 0.15625f, 0.65625f},
};

void PixelCodec::Destroy(bool freeMemory) {
    if (freeMemory) {
        delete this;
    } else {
        this->~PixelCodec();
    }
}

void PixelCodec::ReadRow(UINT, UINT, Color*) {}

void PixelCodec::WriteRow(UINT, UINT, const Color*) {}

void PixelCodec::Init(const SurfaceDesc& desc, UINT bitsPerPixel, int codecClass) {
    Data = static_cast<std::uint8_t*>(desc.Data);
    Format = desc.Format;
    HasPalette = codecClass == 2;
    Class = HasPalette ? 1 : codecClass;
    BytesPerPixel = bitsPerPixel / 8;
    Linear = BytesPerPixel != 0;

    HasColorKey = desc.ColorKey != 0;
    const float k = 1.0f / 255.0f;
    Key = {static_cast<float>((desc.ColorKey >> 16) & 0xFF) * k, static_cast<float>((desc.ColorKey >> 8) & 0xFF) * k,
           static_cast<float>(desc.ColorKey & 0xFF) * k, static_cast<float>((desc.ColorKey >> 24) & 0xFF) * k};
    DitherTable = desc.Dither != 0 ? kOrderedDitherTable : kPlainDitherTable;

    for (int i = 0; i < 256; ++i) {
        if (desc.Palette != nullptr) {
            const PALETTEENTRY& e = desc.Palette[i];
            PaletteColors[i] = {static_cast<float>(e.peRed) * k, static_cast<float>(e.peGreen) * k,
                                static_cast<float>(e.peBlue) * k, static_cast<float>(e.peFlags) * k};
        } else {
            PaletteColors[i] = {1.0f, 1.0f, 1.0f, 1.0f};
        }
    }

    Region = desc.Region;
    RowPitch = desc.RowPitch;
    SlicePitch = desc.SlicePitch;
    Width = Region.Right - Region.Left;
    Height = Region.Bottom - Region.Top;
    Depth = Region.Back - Region.Front;
    RowBytes = Width * BytesPerPixel;
    if (Linear) {
        Data += static_cast<std::size_t>(Region.Front) * SlicePitch + static_cast<std::size_t>(Region.Top) * RowPitch +
                static_cast<std::size_t>(Region.Left) * BytesPerPixel;
        Region = {0, 0, Width, Height, 0, Depth};
    }
}

void PixelCodec::ApplyColorKey(Color* row, UINT count) const {
    for (UINT x = 0; x < count; ++x) {
        const Color& c = row[x];
        if (c.r == Key.r && c.g == Key.g && c.b == Key.b && c.a == Key.a) {
            row[x] = {0.0f, 0.0f, 0.0f, 0.0f};
        }
    }
}

namespace {

// The distance the search is defined by: float steps rounded toward zero.
float PaletteDistance(const Color& c, const Color& p, bool withAlpha) {
    const float dr = rz::Sub(c.r, p.r);
    const float dg = rz::Sub(c.g, p.g);
    const float db = rz::Sub(c.b, p.b);
    float d = rz::Add(rz::Add(rz::Mul(dr, dr), rz::Mul(dg, dg)), rz::Mul(db, db));
    if (withAlpha) {
        const float da = rz::Sub(c.a, p.a);
        d = rz::Add(d, rz::Mul(da, da));
    }
    return d;
}

}  // namespace

UINT FindNearestPaletteEntry(const Color (&palette)[256], const Color& c, bool withAlpha) {
    // Every entry is measured first in double precision, which is within a few parts in 2^50
    // of the true distance; the toward-zero float distance of an entry is within 2^-20 of
    // it (seven steps each losing under one unit in 2^23). An entry more than 1e-5 (relative)
    // farther than the nearest can therefore never win, and only the few near the minimum
    // need the defined float distance, compared in index order. Non-finite colours take the
    // defined distance for every entry.
    double exact[256];
    double nearest = 1e300;
    for (UINT i = 0; i < 256; ++i) {
        const Color& p = palette[i];
        const double dr = static_cast<double>(c.r) - p.r, dg = static_cast<double>(c.g) - p.g;
        const double db = static_cast<double>(c.b) - p.b, da = static_cast<double>(c.a) - p.a;
        exact[i] = dr * dr + dg * dg + db * db + (withAlpha ? da * da : 0.0);
        nearest = exact[i] < nearest ? exact[i] : nearest;
    }
    const bool finite = nearest < 1e300;
    const double limit = nearest * (1.0 + 1e-5) + 1e-30;
    float best = 3.4028235e38f;
    UINT bestIndex = 0;
    for (UINT i = 0; i < 256; ++i) {
        if (finite && !(exact[i] <= limit)) {
            continue;
        }
        const float d = PaletteDistance(c, palette[i], withAlpha);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    return bestIndex;
}

PixelCodec* CreatePixelCodec(const SurfaceDesc& desc) {
    const int index = pixels::FormatIndex(desc.Format);
    if (index < 0) {
        return nullptr;
    }
    switch (pixels::kFormatFacts[static_cast<std::size_t>(index)].Kind) {
        case pixels::CodecKind::Rgb:
        case pixels::CodecKind::Luminance:
        case pixels::CodecKind::Palette:
        case pixels::CodecKind::Signed:
            return pixels::CreateLinearCodec(desc, index);
        case pixels::CodecKind::Yuv:
            return pixels::CreateYuvCodec(desc);
        case pixels::CodecKind::Dxt:
            return pixels::CreateDxtCodec(desc);
    }
    return nullptr;
}
