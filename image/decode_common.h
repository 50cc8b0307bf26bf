// Shared pieces of the image decoders: little-endian field readers, the size limits
// every decoder applies, and the allocation of owned pixel and palette buffers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/image_file.h"

namespace image_detail {

// Largest picture any decoder accepts: 2^28 pixels in all, whatever its shape (a 1 x 64000
// strip is as legitimate as a square), and no owned buffer above 1 GiB (2^28 pixels of at
// most 4 bytes, rows padded to 4 bytes included). Larger headers are refused with
// E_OUTOFMEMORY before anything is allocated, so a few hostile bytes cannot ask for
// gigabytes. A side can then be as long as the pixel limit; row sizes of up to 4 bytes per
// pixel (2^30) fit 32-bit pitches.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;
constexpr std::uint64_t kMaxBufferBytes = std::uint64_t{1} << 30;
constexpr std::uint32_t kMaxDimension = static_cast<std::uint32_t>(kMaxPixels);

// S_OK for a usable size; E_FAIL for an empty one; E_OUTOFMEMORY above the pixel limit.
inline HRESULT CheckImageSize(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) {
        return E_FAIL;
    }
    if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

inline std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t Read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::int32_t ReadSigned32(const std::uint8_t* p) { return static_cast<std::int32_t>(Read32(p)); }

// Owned buffers are malloc'ed and released by DecodedImage::Free with free.
inline std::uint8_t* AllocatePixels(std::uint64_t bytes, bool zeroed = false) {
    if (bytes == 0 || bytes > kMaxBufferBytes || bytes > SIZE_MAX) {
        return nullptr;
    }
    void* memory = zeroed ? std::calloc(1, static_cast<std::size_t>(bytes)) : std::malloc(static_cast<std::size_t>(bytes));
    return static_cast<std::uint8_t*>(memory);
}

constexpr std::size_t kPaletteBytes = 256 * 4;

// A 256-entry red, green, blue, alpha palette with every entry opaque white, owned by image.
inline std::uint8_t* AllocateWhitePalette(DecodedImage* image) {
    auto* palette = static_cast<std::uint8_t*>(std::malloc(kPaletteBytes));
    if (palette != nullptr) {
        std::memset(palette, 0xFF, kPaletteBytes);
        image->Palette = palette;
        image->OwnsPalette = TRUE;
    }
    return palette;
}

inline void SetSize(DecodedImage* image, std::uint32_t width, std::uint32_t height) {
    image->Rect = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
}

}  // namespace image_detail
