// TGA: colour-mapped, true-colour and grey images, uncompressed or RLE, in any of the
// four row and column orders. Memory always holds the top row first, left to right.
//
// Choices for hostile files: the colour map is only located (and its entry size only
// checked) when the colour-map type says one is present; uncompressed data must hold
// every pixel; RLE packets may run across rows (older writers do this) but never past
// the last pixel, and data that ends before the image is full is refused.
#include <algorithm>
#include <cstring>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

constexpr std::uint32_t kHeaderBytes = 18;
constexpr std::uint8_t kTopDown = 0x20;
constexpr std::uint8_t kRightToLeft = 0x10;

D3DFORMAT TrueColorFormat(std::uint8_t bits) {
    switch (bits) {
    case 15: return D3DFMT_X1R5G5B5;
    case 16: return D3DFMT_A1R5G5B5;
    case 24: return D3DFMT_R8G8B8;
    case 32: return D3DFMT_A8R8G8B8;
    default: return D3DFMT_UNKNOWN;
    }
}

// A 5-bit field widened to 8 bits by repeating its top three bits.
std::uint8_t Expand5(std::uint32_t v) { return static_cast<std::uint8_t>(v * 8 + v / 4); }

void ConvertMapEntry(const std::uint8_t* in, std::uint8_t entryBits, std::uint8_t* out) {
    switch (entryBits) {
    case 24:  // blue, green, red
        out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = 0xFF;
        return;
    case 32: {  // the 32-bit value alpha, red, green, blue
        out[0] = in[2], out[1] = in[1], out[2] = in[0], out[3] = in[3];
        return;
    }
    default: {  // 15 or 16 bits: x/alpha, 5 red, 5 green, 5 blue
        const std::uint32_t v = Read16(in);
        out[0] = Expand5((v >> 10) & 0x1F);
        out[1] = Expand5((v >> 5) & 0x1F);
        out[2] = Expand5(v & 0x1F);
        out[3] = entryBits == 15 || (v & 0x8000) != 0 ? 0xFF : 0;
        return;
    }
    }
}

void ReverseRow(std::uint8_t* row, std::uint32_t width, std::uint32_t bytesPerPixel) {
    for (std::uint32_t left = 0, right = width - 1; left < right; ++left, --right) {
        std::uint8_t* a = row + left * bytesPerPixel;
        std::uint8_t* b = row + right * bytesPerPixel;
        for (std::uint32_t k = 0; k < bytesPerPixel; ++k) {
            std::swap(a[k], b[k]);
        }
    }
}

// Fills rows in stored order from RLE packets; every read is checked.
HRESULT DecodeRle(const std::uint8_t* src, const std::uint8_t* end, std::uint32_t bpp, std::uint8_t* pixels,
                  std::uint32_t pitch, std::uint32_t width, std::uint32_t height, bool topDown) {
    std::uint32_t x = 0;
    std::uint32_t y = 0;  // stored row
    std::uint8_t* row = pixels + std::uint64_t{pitch} * (topDown ? 0 : height - 1);
    while (y < height) {
        if (src >= end) {
            return E_FAIL;
        }
        const std::uint8_t header = *src++;
        std::uint32_t count = (header & 0x7Fu) + 1;
        const bool run = (header & 0x80) != 0;
        if (static_cast<std::uint64_t>(end - src) < std::uint64_t{run ? 1u : count} * bpp) {
            return E_FAIL;
        }
        const std::uint8_t* value = src;
        src += std::uint64_t{run ? 1u : count} * bpp;
        while (count > 0 && y < height) {
            const std::uint32_t n = std::min(count, width - x);
            std::uint8_t* out = row + std::uint64_t{x} * bpp;
            if (!run) {
                std::memcpy(out, value, std::size_t{n} * bpp);
                value += std::size_t{n} * bpp;
            } else if (bpp == 1) {
                std::memset(out, value[0], n);
            } else {
                for (std::uint32_t k = 0; k < n; ++k) {
                    std::memcpy(out + std::size_t{k} * bpp, value, bpp);
                }
            }
            count -= n;
            x += n;
            if (x == width) {
                x = 0;
                ++y;
                if (y < height) {
                    row = pixels + std::uint64_t{pitch} * (topDown ? y : height - 1 - y);
                }
            }
        }
    }
    return S_OK;
}

// The 18-byte header's fields.
struct TgaHeader {
    std::uint8_t idLength, mapType, imageType, mapBits, pixelBits, descriptor;
    std::uint16_t mapFirst, mapLength, width, height;

    bool Rle() const { return (imageType & 8) != 0; }
    bool TopDown() const { return (descriptor & kTopDown) != 0; }
    bool RightToLeft() const { return (descriptor & kRightToLeft) != 0; }
    std::uint32_t BytesPerPixel() const { return (pixelBits + 7u) / 8; }
    std::uint32_t MapEntryBytes() const { return (mapBits + 7u) / 8; }
};

TgaHeader ReadTgaHeader(const std::uint8_t* p) {
    return {p[0], p[1], p[2], p[7], p[16], p[17], Read16(p + 3), Read16(p + 5), Read16(p + 12), Read16(p + 14)};
}

// The pixel format of the image type and depth; E_FAIL for an unknown type, an empty size,
// a colour map of an unknown entry size or a depth the type does not take.
HRESULT TgaFormat(const TgaHeader& h, D3DFORMAT* format) {
    *format = D3DFMT_UNKNOWN;
    if (h.mapType > 1 || (h.imageType & 0xF4) != 0 || h.width == 0 || h.height == 0) {
        return E_FAIL;
    }
    if (h.mapType == 1 && TrueColorFormat(h.mapBits) == D3DFMT_UNKNOWN) {
        return E_FAIL;
    }
    switch (h.imageType & 3) {
    case 1:
        *format = h.mapType == 1 && h.pixelBits == 8 ? D3DFMT_P8 : D3DFMT_UNKNOWN;
        break;
    case 2:
        *format = TrueColorFormat(h.pixelBits);
        break;
    case 3:
        *format = h.pixelBits == 8 ? D3DFMT_L8 : D3DFMT_UNKNOWN;
        break;
    default:
        break;
    }
    return *format == D3DFMT_UNKNOWN ? E_FAIL : S_OK;
}

// The owned palette from the colour map, whose entries must fit in 256 from the first index.
HRESULT ReadTgaPalette(DecodedImage* image, const std::uint8_t* map, const TgaHeader& h) {
    if (std::uint32_t{h.mapFirst} + h.mapLength > 256) {
        return E_FAIL;
    }
    std::uint8_t* palette = AllocateWhitePalette(image);
    if (palette == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (std::uint32_t i = 0; i < h.mapLength; ++i) {
        ConvertMapEntry(map + i * h.MapEntryBytes(), h.mapBits, palette + 4 * (h.mapFirst + i));
    }
    return S_OK;
}

// The owned pixels, top row first and left to right, from RLE packets or stored rows.
HRESULT ReadTgaPixels(DecodedImage* image, const std::uint8_t* src, const std::uint8_t* end, const TgaHeader& h) {
    const std::uint32_t bpp = h.BytesPerPixel(), pitch = image->Pitch;
    image->Pixels = AllocatePixels(std::uint64_t{pitch} * h.height);
    if (image->Pixels == nullptr) {
        return E_OUTOFMEMORY;
    }
    image->OwnsPixels = TRUE;
    if (h.Rle()) {
        const HRESULT hr = DecodeRle(src, end, bpp, image->Pixels, pitch, h.width, h.height, h.TopDown());
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        for (std::uint32_t y = 0; y < h.height; ++y) {
            const std::uint8_t* in = src + std::uint64_t{pitch} * (h.TopDown() ? y : h.height - 1u - y);
            std::memcpy(image->Pixels + std::uint64_t{pitch} * y, in, pitch);
        }
    }
    if (h.RightToLeft()) {
        for (std::uint32_t y = 0; y < h.height; ++y) {
            ReverseRow(image->Pixels + std::uint64_t{pitch} * y, h.width, bpp);
        }
    }
    return S_OK;
}

}  // namespace

HRESULT DecodeTga(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < kHeaderBytes) {
        return E_FAIL;
    }
    const TgaHeader h = ReadTgaHeader(p);
    D3DFORMAT format = D3DFMT_UNKNOWN;
    HRESULT hr = TgaFormat(h, &format);
    if (SUCCEEDED(hr)) hr = CheckImageSize(h.width, h.height);
    if (FAILED(hr)) {
        return hr;
    }
    const std::uint64_t mapBytes = h.mapType == 1 ? std::uint64_t{h.MapEntryBytes()} * h.mapLength : 0;
    const std::uint64_t pixelOffset = kHeaderBytes + h.idLength + mapBytes;
    if (pixelOffset > size) {
        return E_FAIL;
    }
    image->Format = format;
    if (format == D3DFMT_P8 && FAILED(hr = ReadTgaPalette(image, p + kHeaderBytes + h.idLength, h))) {
        return hr;
    }
    const std::uint32_t bpp = h.BytesPerPixel();
    image->Pitch = bpp * h.width;
    SetSize(image, h.width, h.height);

    // Uncompressed data must hold every pixel; RLE data at least one run packet (a
    // header and one pixel) per 128 pixels. Checked before the buffer is allocated.
    const std::uint8_t* src = p + pixelOffset;
    const std::uint8_t* end = p + size;
    const std::uint64_t pixels = std::uint64_t{h.width} * h.height;
    const auto remaining = static_cast<std::uint64_t>(end - src);
    if (remaining < (h.Rle() ? (pixels + 127) / 128 * (1 + bpp) : std::uint64_t{image->Pitch} * h.height)) {
        return E_FAIL;
    }
    if (!h.Rle() && h.TopDown() && !h.RightToLeft()) {
        image->Pixels = const_cast<std::uint8_t*>(src);
        image->OwnsPixels = FALSE;
        return S_OK;
    }
    return ReadTgaPixels(image, src, end, h);
}
