// BMP files and bare DIBs (the bitmap resources' form): uncompressed 1/4/8/16/24/32-bit
// rows, RLE8 and RLE4, and bit-field masks, top-down or bottom-up.
//
// Choices for hostile or odd files:
// - A colour table longer than 256 entries still locates the pixels after it, but only
//   its first 256 entries become the palette.
// - Uncompressed pixel data must hold every byte that is read: all rows at their stride,
//   except that the last row's padding may be missing. Shorter data is refused.
// - RLE8 needs a bit count of 8 and RLE4 one of 4; other pairings are refused (the
//   unpacked indices would not fit the format's pixel size).
// - RLE streams: every read is checked; pixels past the right edge are dropped; pixels
//   that no command sets (skipped by a delta or an early end of line) are index 0.
//   Decoding ends at end of bitmap or once the position is past the last row; data
//   that runs out before either is a truncated file and is refused.
#include <algorithm>
#include <cstring>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kMaskHeaderSize = 108;  // headers that carry the four masks

enum Compression : std::uint32_t { kNone = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct MaskFormat {
    std::uint16_t bitCount;
    std::uint32_t red, green, blue, alpha;
    D3DFORMAT format;
};

// Bit-field layouts that match a format exactly; any other set of masks is refused.
constexpr MaskFormat kMaskFormats[] = {
    {16, 0xFF, 0xFF, 0xFF, 0xFF00, D3DFMT_A8L8},
    {16, 0xF800, 0x7E0, 0x1F, 0, D3DFMT_R5G6B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0, D3DFMT_X1R5G5B5},
    {16, 0x7C00, 0x3E0, 0x1F, 0x8000, D3DFMT_A1R5G5B5},
    {16, 0xF00, 0xF0, 0xF, 0xF000, D3DFMT_A4R4G4B4},
    {16, 0xE0, 0x1C, 0x3, 0xFF00, D3DFMT_A8R3G3B2},
    {24, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0, D3DFMT_X8R8G8B8},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, D3DFMT_A8R8G8B8},
};

D3DFORMAT FormatOfBitCount(std::uint16_t bitCount) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8: return D3DFMT_P8;
    case 16: return D3DFMT_X1R5G5B5;
    case 24: return D3DFMT_R8G8B8;
    case 32: return D3DFMT_X8R8G8B8;
    default: return D3DFMT_UNKNOWN;
    }
}

void Unpack1(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
    std::uint32_t x = 0;
    for (; x + 8 <= width; x += 8) {
        std::uint8_t bits = in[x >> 3];
        for (int k = 0; k < 8; ++k) {
            out[x + k] = static_cast<std::uint8_t>((bits >> (7 - k)) & 1);
        }
    }
    for (; x < width; ++x) {
        out[x] = static_cast<std::uint8_t>((in[x >> 3] >> (7 - (x & 7))) & 1);
    }
}

void Unpack4(const std::uint8_t* in, std::uint8_t* out, std::uint32_t width) {
    std::uint32_t x = 0;
    for (; x + 2 <= width; x += 2) {
        out[x] = in[x >> 1] >> 4;
        out[x + 1] = in[x >> 1] & 0xF;
    }
    if (x < width) {
        out[x] = in[x >> 1] >> 4;
    }
}

// RLE8 (nibbles = false) or RLE4 into a zeroed P8 buffer. Rows come bottom row first.
HRESULT DecodeRle(const std::uint8_t* src, const std::uint8_t* end, bool nibbles, std::uint8_t* pixels,
                  std::uint32_t pitch, std::uint32_t width, std::uint32_t height) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;  // rows from the bottom
    while (y < height) {
        if (end - src < 2) {
            return E_FAIL;
        }
        const std::uint8_t count = src[0];
        const std::uint8_t value = src[1];
        src += 2;
        std::uint8_t* row = pixels + std::uint64_t{pitch} * (height - 1 - y);
        if (count > 0) {
            const std::uint64_t visible = x < width ? std::min<std::uint64_t>(count, width - x) : 0;
            if (!nibbles) {
                std::memset(row + x, value, visible);
            } else {
                for (std::uint64_t k = 0; k < visible; ++k) {
                    row[x + k] = (k & 1) == 0 ? value >> 4 : value & 0xF;
                }
            }
            x += count;
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            ++y;
            break;
        case 1:  // end of bitmap
            return S_OK;
        case 2:  // delta
            if (end - src < 2) {
                return E_FAIL;
            }
            x += src[0];
            y += src[1];
            src += 2;
            break;
        default: {  // absolute run of `value` pixels, padded to an even byte count
            const std::uint32_t bytes = nibbles ? (value + 1u) / 2 : value;
            if (end - src < static_cast<std::ptrdiff_t>(bytes)) {
                return E_FAIL;
            }
            const std::uint64_t visible = x < width ? std::min<std::uint64_t>(value, width - x) : 0;
            if (!nibbles) {
                std::memcpy(row + x, src, visible);
            } else {
                for (std::uint64_t k = 0; k < visible; ++k) {
                    row[x + k] = (k & 1) == 0 ? src[k >> 1] >> 4 : src[k >> 1] & 0xF;
                }
            }
            x += value;
            src += bytes;
            if ((bytes & 1) != 0 && src < end) {
                ++src;
            }
            break;
        }
        }
    }
    return S_OK;
}

}  // namespace

HRESULT DecodeBmpFile(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < 14 || Read16(p) != 0x4D42 || size < Read32(p + 2)) {
        return E_FAIL;
    }
    // The file header's pixel-data offset is not used: the pixels follow the colour table.
    return DecodeDib(image, p + 14, size - 14);
}

namespace {

// The info header's fields and what follows from them.
struct DibLayout {
    std::uint32_t headerSize;
    std::int32_t width;
    std::uint16_t bitCount;
    std::uint32_t compression;
    std::uint64_t colorCount;   // entries in the colour table
    std::uint64_t pixelOffset;  // from the start of the header
    bool topDown;
    std::uint64_t height;       // rows, whichever way they are stored
};

// The header, the colour table's place and the row order: E_FAIL for a header that is too
// short, a colour table past the end, planes other than 1, or top-down rows with RLE.
HRESULT ReadDibLayout(const std::uint8_t* p, UINT size, DibLayout* d) {
    if (size < kInfoHeaderSize || Read32(p) < kInfoHeaderSize) {
        return E_FAIL;
    }
    d->headerSize = Read32(p);
    d->width = ReadSigned32(p + 4);
    const std::int32_t signedHeight = ReadSigned32(p + 8);
    const std::uint16_t planes = Read16(p + 12);
    d->bitCount = Read16(p + 14);
    d->compression = Read32(p + 16);
    const std::uint32_t colorsUsed = Read32(p + 32);
    d->colorCount = colorsUsed;
    if (d->bitCount <= 8 && colorsUsed == 0) {
        d->colorCount = std::uint64_t{1} << d->bitCount;
    }
    d->pixelOffset = std::uint64_t{d->headerSize} + 4 * d->colorCount;
    if (d->pixelOffset > size || planes != 1) {
        return E_FAIL;
    }
    d->topDown = signedHeight < 0;
    if (d->topDown && d->compression != kNone && d->compression != kBitFields) {
        return E_FAIL;
    }
    d->height = d->topDown ? -std::int64_t{signedHeight} : signedHeight;
    return S_OK;
}

// The format from the bit count (plain and RLE) or the masks (bit fields); E_NOTIMPL for
// other compressions, E_FAIL for combinations without a format.
HRESULT DibFormat(const std::uint8_t* p, const DibLayout& d, D3DFORMAT* format) {
    *format = D3DFMT_UNKNOWN;
    switch (d.compression) {
    case kNone:
    case kRle8:
    case kRle4:
        if ((d.compression == kRle8 && d.bitCount != 8) || (d.compression == kRle4 && d.bitCount != 4)) {
            return E_FAIL;
        }
        *format = FormatOfBitCount(d.bitCount);
        break;
    case kBitFields: {
        if (d.headerSize < kMaskHeaderSize) {
            return E_FAIL;
        }
        const std::uint32_t red = Read32(p + 40), green = Read32(p + 44), blue = Read32(p + 48),
                            alpha = Read32(p + 52);
        for (const MaskFormat& row : kMaskFormats) {
            if (row.bitCount == d.bitCount && row.red == red && row.green == green && row.blue == blue &&
                row.alpha == alpha) {
                *format = row.format;
            }
        }
        break;
    }
    default:
        return E_NOTIMPL;
    }
    return *format == D3DFMT_UNKNOWN ? E_FAIL : S_OK;
}

// The owned palette from the colour table (stored blue, green, red, reserved), cut to 256
// entries; the entries past the table stay opaque white.
HRESULT ReadDibPalette(DecodedImage* image, const std::uint8_t* p, const DibLayout& d) {
    std::uint8_t* palette = AllocateWhitePalette(image);
    if (palette == nullptr) {
        return E_OUTOFMEMORY;
    }
    const std::uint64_t entries = std::min<std::uint64_t>(d.colorCount, 256);
    const std::uint8_t* table = p + d.headerSize;
    for (std::uint64_t i = 0; i < entries; ++i) {
        palette[4 * i + 0] = table[4 * i + 2];
        palette[4 * i + 1] = table[4 * i + 1];
        palette[4 * i + 2] = table[4 * i + 0];
        palette[4 * i + 3] = 0xFF;
    }
    return S_OK;
}

// Uncompressed rows: used in place when stored top-down at 8 bits or more, else copied (1-
// and 4-bit pixels unpacked to a byte each) top row first, each row's padding zeroed.
HRESULT ReadDibRows(DecodedImage* image, const std::uint8_t* pixels, std::uint64_t available, const DibLayout& d,
                    std::uint32_t rowBytes) {
    const auto w = static_cast<std::uint32_t>(d.width);
    const auto h = static_cast<std::uint32_t>(d.height);
    const std::uint32_t pitch = image->Pitch;
    const std::uint64_t stride = (std::uint64_t{w} * d.bitCount + 31) / 32 * 4;
    const std::uint64_t lastRowBytes = (std::uint64_t{w} * d.bitCount + 7) / 8;
    if (available < stride * (h - 1) + lastRowBytes) {
        return E_FAIL;
    }
    if (d.topDown && d.bitCount >= 8) {
        // Stored as the image wants it: use the caller's bytes in place.
        image->Pixels = const_cast<std::uint8_t*>(pixels);
        image->OwnsPixels = FALSE;
        return S_OK;
    }
    image->Pixels = AllocatePixels(std::uint64_t{pitch} * h);
    if (image->Pixels == nullptr) {
        return E_OUTOFMEMORY;
    }
    image->OwnsPixels = TRUE;
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* in = pixels + stride * (d.topDown ? y : h - 1 - y);
        std::uint8_t* out = image->Pixels + std::uint64_t{pitch} * y;
        switch (d.bitCount) {
        case 1: Unpack1(in, out, w); break;
        case 4: Unpack4(in, out, w); break;
        default: std::memcpy(out, in, rowBytes); break;
        }
        std::memset(out + rowBytes, 0, pitch - rowBytes);
    }
    return S_OK;
}

}  // namespace

HRESULT DecodeDib(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    DibLayout d = {};
    D3DFORMAT format = D3DFMT_UNKNOWN;
    HRESULT hr = ReadDibLayout(p, size, &d);
    if (SUCCEEDED(hr)) hr = DibFormat(p, d, &format);
    if (SUCCEEDED(hr) && d.width < 0) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = CheckImageSize(static_cast<std::uint64_t>(d.width), d.height);
    if (FAILED(hr)) {
        return hr;
    }
    const auto w = static_cast<std::uint32_t>(d.width);
    const auto h = static_cast<std::uint32_t>(d.height);
    const std::uint32_t rowBytes = d.bitCount < 8 ? w : w * (d.bitCount / 8u);
    image->Format = format;
    image->Pitch = (rowBytes + 3) & ~3u;
    SetSize(image, w, h);
    if (format == D3DFMT_P8 && FAILED(hr = ReadDibPalette(image, p, d))) {
        return hr;
    }
    const std::uint8_t* pixels = p + d.pixelOffset;
    const std::uint64_t available = size - d.pixelOffset;
    if (d.compression == kRle8 || d.compression == kRle4) {
        image->Pixels = AllocatePixels(std::uint64_t{image->Pitch} * h, true);
        if (image->Pixels == nullptr) {
            return E_OUTOFMEMORY;
        }
        image->OwnsPixels = TRUE;
        return DecodeRle(pixels, pixels + available, d.compression == kRle4, image->Pixels, image->Pitch, w, h);
    }
    return ReadDibRows(image, pixels, available, d, rowBytes);
}
