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

HRESULT DecodeDib(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < kInfoHeaderSize || Read32(p) < kInfoHeaderSize) {
        return E_FAIL;
    }
    const std::uint32_t headerSize = Read32(p);
    const std::int32_t width = ReadSigned32(p + 4);
    const std::int32_t signedHeight = ReadSigned32(p + 8);
    const std::uint16_t planes = Read16(p + 12);
    const std::uint16_t bitCount = Read16(p + 14);
    const std::uint32_t compression = Read32(p + 16);
    const std::uint32_t colorsUsed = Read32(p + 32);

    std::uint64_t colorCount = colorsUsed;
    if (bitCount <= 8 && colorsUsed == 0) {
        colorCount = std::uint64_t{1} << bitCount;
    }
    const std::uint64_t pixelOffset = std::uint64_t{headerSize} + 4 * colorCount;
    if (pixelOffset > size || planes != 1) {
        return E_FAIL;
    }
    const bool topDown = signedHeight < 0;
    if (topDown && compression != kNone && compression != kBitFields) {
        return E_FAIL;
    }
    const std::uint64_t height = topDown ? -std::int64_t{signedHeight} : signedHeight;

    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (compression) {
    case kNone:
    case kRle8:
    case kRle4:
        format = FormatOfBitCount(bitCount);
        if ((compression == kRle8 && bitCount != 8) || (compression == kRle4 && bitCount != 4)) {
            return E_FAIL;
        }
        break;
    case kBitFields: {
        if (headerSize < kMaskHeaderSize) {
            return E_FAIL;
        }
        const std::uint32_t red = Read32(p + 40), green = Read32(p + 44), blue = Read32(p + 48),
                            alpha = Read32(p + 52);
        for (const MaskFormat& row : kMaskFormats) {
            if (row.bitCount == bitCount && row.red == red && row.green == green && row.blue == blue &&
                row.alpha == alpha) {
                format = row.format;
            }
        }
        break;
    }
    default:
        return E_NOTIMPL;
    }
    if (format == D3DFMT_UNKNOWN || width < 0) {
        return E_FAIL;
    }
    HRESULT sizeCheck = CheckImageSize(static_cast<std::uint64_t>(width), height);
    if (FAILED(sizeCheck)) {
        return sizeCheck;
    }
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    const std::uint32_t rowBytes = bitCount < 8 ? w : w * (bitCount / 8u);
    const std::uint32_t pitch = (rowBytes + 3) & ~3u;
    const std::uint64_t stride = (std::uint64_t{w} * bitCount + 31) / 32 * 4;
    const std::uint8_t* pixels = p + pixelOffset;
    const std::uint64_t available = size - pixelOffset;

    image->Format = format;
    image->Pitch = pitch;
    SetSize(image, w, h);
    if (format == D3DFMT_P8) {
        std::uint8_t* palette = AllocateWhitePalette(image);
        if (palette == nullptr) {
            return E_OUTOFMEMORY;
        }
        const std::uint64_t entries = std::min<std::uint64_t>(colorCount, 256);
        const std::uint8_t* table = p + headerSize;
        for (std::uint64_t i = 0; i < entries; ++i) {
            palette[4 * i + 0] = table[4 * i + 2];
            palette[4 * i + 1] = table[4 * i + 1];
            palette[4 * i + 2] = table[4 * i + 0];
            palette[4 * i + 3] = 0xFF;
        }
    }

    if (compression == kRle8 || compression == kRle4) {
        image->Pixels = AllocatePixels(std::uint64_t{pitch} * h, true);
        if (image->Pixels == nullptr) {
            return E_OUTOFMEMORY;
        }
        image->OwnsPixels = TRUE;
        return DecodeRle(pixels, pixels + available, compression == kRle4, image->Pixels, pitch, w, h);
    }

    const std::uint64_t lastRowBytes = (std::uint64_t{w} * bitCount + 7) / 8;
    if (available < stride * (h - 1) + lastRowBytes) {
        return E_FAIL;
    }
    if (topDown && bitCount >= 8) {
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
        const std::uint8_t* in = pixels + stride * (topDown ? y : h - 1 - y);
        std::uint8_t* out = image->Pixels + std::uint64_t{pitch} * y;
        switch (bitCount) {
        case 1: Unpack1(in, out, w); break;
        case 4: Unpack4(in, out, w); break;
        default: std::memcpy(out, in, rowBytes); break;
        }
        std::memset(out + rowBytes, 0, pitch - rowBytes);
    }
    return S_OK;
}
