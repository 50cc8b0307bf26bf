// DDS: one image or six cube faces, each with its chain of mip levels, in uncompressed
// 16/32-bit formats or DXT1-DXT5 blocks. Every record points into the caller's block.
//
// Choices for hostile files: the top-level size is held to the decoder limits, every
// level is checked against the bytes that remain (64-bit arithmetic), and a mip count
// beyond the full chain down to 1x1 is cut to that chain (a level after 1x1 is
// meaningless and would let a small file ask for millions of records).
#include <algorithm>
#include <new>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

constexpr std::uint32_t kHeaderBytes = 128;
constexpr std::uint32_t kMagic = 0x20534444;  // "DDS "
constexpr std::uint32_t kCubeFaces = 0xFC00;
constexpr std::uint32_t kRgb = 0x40;
constexpr std::uint32_t kRgbAlpha = 0x41;

struct PixelFormatRow {
    std::uint32_t flags;
    std::uint32_t bitCount;
    std::uint32_t greenMask;  // 0: not compared
    std::uint32_t alphaMask;  // 0: not compared
    D3DFORMAT format;
};

// Uncompressed formats in the order they are tested (the first match wins).
constexpr PixelFormatRow kPixelFormats[] = {
    {kRgbAlpha, 32, 0, 0xFF000000, D3DFMT_A8R8G8B8},
    {kRgb, 32, 0, 0, D3DFMT_X8R8G8B8},
    {kRgb, 16, 0x7E0, 0, D3DFMT_R5G6B5},
    {kRgb, 16, 0x3E0, 0, D3DFMT_X1R5G5B5},
    {kRgbAlpha, 16, 0, 0x8000, D3DFMT_A1R5G5B5},
    {kRgbAlpha, 16, 0, 0xF000, D3DFMT_A4R4G4B4},
};

D3DFORMAT FormatOf(const std::uint8_t* p) {
    const std::uint32_t fourcc = Read32(p + 84);
    for (D3DFORMAT dxt : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5}) {
        if (fourcc == dxt) {
            return dxt;
        }
    }
    const std::uint32_t flags = Read32(p + 80), bitCount = Read32(p + 88), green = Read32(p + 96),
                        alpha = Read32(p + 104);
    for (const PixelFormatRow& row : kPixelFormats) {
        if (row.flags == flags && row.bitCount == bitCount && (row.greenMask == 0 || row.greenMask == green) &&
            (row.alphaMask == 0 || row.alphaMask == alpha)) {
            return row.format;
        }
    }
    return D3DFMT_UNKNOWN;
}

// Pitch and size in bytes of one level.
void LevelLayout(D3DFORMAT format, std::uint64_t width, std::uint64_t height, std::uint64_t& pitch,
                 std::uint64_t& bytes) {
    switch (format) {
    case D3DFMT_DXT1:
        pitch = (width + 3) / 4 * 8;
        bytes = pitch * ((height + 3) / 4);
        return;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        pitch = (width + 3) / 4 * 16;
        bytes = pitch * ((height + 3) / 4);
        return;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        pitch = width * 4;
        bytes = pitch * height;
        return;
    default:  // the 16-bit formats
        pitch = width * 2;
        bytes = pitch * height;
        return;
    }
}

std::uint32_t FullChainLength(std::uint32_t width, std::uint32_t height) {
    std::uint32_t levels = 1;
    for (std::uint32_t side = std::max(width, height); side > 1; side /= 2) {
        ++levels;
    }
    return levels;
}

}  // namespace

HRESULT DecodeDds(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < kHeaderBytes || Read32(p) != kMagic) {
        return E_FAIL;
    }
    const std::uint32_t height = Read32(p + 12);
    const std::uint32_t width = Read32(p + 16);
    const std::uint32_t cubeBits = Read32(p + 112) & kCubeFaces;
    if (cubeBits != 0 && cubeBits != kCubeFaces) {
        return E_FAIL;
    }
    const int faces = cubeBits == kCubeFaces ? 6 : 1;
    const D3DFORMAT format = FormatOf(p);
    if (format == D3DFMT_UNKNOWN) {
        return E_FAIL;
    }
    HRESULT sizeCheck = CheckImageSize(width, height);
    if (FAILED(sizeCheck)) {
        return sizeCheck;
    }
    const std::uint32_t levels = std::min(std::max<std::uint32_t>(Read32(p + 28), 1), FullChainLength(width, height));

    std::uint64_t offset = kHeaderBytes;
    DecodedImage* lastFace = nullptr;
    for (int face = 0; face < faces; ++face) {
        DecodedImage* faceRecord = nullptr;
        DecodedImage* lastLevel = nullptr;
        std::uint32_t w = width;
        std::uint32_t h = height;
        for (std::uint32_t level = 0; level < levels; ++level) {
            std::uint64_t pitch = 0;
            std::uint64_t bytes = 0;
            LevelLayout(format, w, h, pitch, bytes);
            if (bytes > size - offset) {
                return E_FAIL;
            }
            DecodedImage* record = image;
            if (face > 0 || level > 0) {
                record = new (std::nothrow) DecodedImage;
                if (record == nullptr) {
                    return E_OUTOFMEMORY;
                }
                // Linked at once, so that a later refusal frees it with the chain.
                if (level == 0) {
                    lastFace->NextFace = record;
                } else {
                    lastLevel->NextLevel = record;
                }
            }
            record->Format = format;
            record->Pixels = const_cast<std::uint8_t*>(p + offset);
            record->OwnsPixels = FALSE;
            record->Pitch = static_cast<DWORD>(pitch);
            SetSize(record, w, h);
            if (level == 0) {
                faceRecord = record;
            }
            lastLevel = record;
            offset += bytes;
            w = std::max<std::uint32_t>(w / 2, 1);
            h = std::max<std::uint32_t>(h / 2, 1);
        }
        lastFace = faceRecord;
    }
    return S_OK;
}
