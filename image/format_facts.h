// The facts of every format that has a pixel codec (name, bit fields, kind, unit of storage),
// in one table indexed by format: the one place the layers above read them from.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d8/d3d8types.h"

namespace tolvane::pixels {

enum class CodecKind : std::uint8_t {
    Rgb,        // red, green, blue and alpha fields (absent ones read as noted in Fill)
    Luminance,  // one L field read into red, green and blue, written from the luma
    Palette,    // an index into the codec's 256 palette colours
    Signed,     // two's-complement fields, class 3
    Yuv,        // packed pixel pairs, YuvCodec
    Dxt,        // 4x4 blocks, DxtCodec
};

// One bit field of a pixel. Bits 0: the format lacks it.
struct Field {
    std::uint8_t Shift = 0;
    std::uint8_t Bits = 0;
    bool Signed = false;
};

// Legend: Format | BitsPerPixel (0: no bytes per pixel, YUV and DXT) | Kind |
// Red, Green, Blue, Alpha fields | Fill: what an absent red, green or blue channel reads as |
// ClearLowW: the blue (W) field is stored with its lowest bit cleared |
// IntegerBox: the 2x2 box filter may average the packed fields directly |
// Name: the format's name as the platform writes it |
// BlockBytes, BlockWidth, BlockHeight: the unit of storage (one pixel for plain formats, a
// 2x1 pair of 4 bytes for YUV, a 4x4 block of 8 or 16 bytes for DXT); a row of storage is
// one row of such units.
// Luminance formats keep L in Red; palette formats keep the index in Red; signed formats
// keep U, V, W, Q (or an unsigned L read as alpha) in Red, Green, Blue, Alpha.
struct FormatFacts {
    D3DFORMAT Format;
    std::uint8_t BitsPerPixel;
    CodecKind Kind;
    Field Red, Green, Blue, Alpha;
    float Fill;
    bool ClearLowW;
    bool IntegerBox;
    const char* Name;
    std::uint8_t BlockBytes, BlockWidth, BlockHeight;
};

constexpr Field F(int shift, int bits) { return {static_cast<std::uint8_t>(shift), static_cast<std::uint8_t>(bits), false}; }
constexpr Field S(int shift, int bits) { return {static_cast<std::uint8_t>(shift), static_cast<std::uint8_t>(bits), true}; }
constexpr Field None() { return {}; }

// clang-format off
inline constexpr std::array<FormatFacts, 29> kFormatFacts = {{
    // format                bpp kind                  red        green      blue       alpha      fill  clearLowW integerBox name | block bytes, width, height
    {D3DFMT_R8G8B8,          24, CodecKind::Rgb,       F(16, 8),  F(8, 8),   F(0, 8),   None(),    0.0f, false, false, "D3DFMT_R8G8B8", 3, 1, 1},
    {D3DFMT_A8R8G8B8,        32, CodecKind::Rgb,       F(16, 8),  F(8, 8),   F(0, 8),   F(24, 8),  0.0f, false, true, "D3DFMT_A8R8G8B8", 4, 1, 1},
    {D3DFMT_X8R8G8B8,        32, CodecKind::Rgb,       F(16, 8),  F(8, 8),   F(0, 8),   None(),    0.0f, false, true, "D3DFMT_X8R8G8B8", 4, 1, 1},
    {D3DFMT_R5G6B5,          16, CodecKind::Rgb,       F(11, 5),  F(5, 6),   F(0, 5),   None(),    0.0f, false, true, "D3DFMT_R5G6B5", 2, 1, 1},
    {D3DFMT_X1R5G5B5,        16, CodecKind::Rgb,       F(10, 5),  F(5, 5),   F(0, 5),   None(),    0.0f, false, true, "D3DFMT_X1R5G5B5", 2, 1, 1},
    {D3DFMT_A1R5G5B5,        16, CodecKind::Rgb,       F(10, 5),  F(5, 5),   F(0, 5),   F(15, 1),  0.0f, false, true, "D3DFMT_A1R5G5B5", 2, 1, 1},
    {D3DFMT_A4R4G4B4,        16, CodecKind::Rgb,       F(8, 4),   F(4, 4),   F(0, 4),   F(12, 4),  0.0f, false, true, "D3DFMT_A4R4G4B4", 2, 1, 1},
    {D3DFMT_X4R4G4B4,        16, CodecKind::Rgb,       F(8, 4),   F(4, 4),   F(0, 4),   None(),    0.0f, false, true, "D3DFMT_X4R4G4B4", 2, 1, 1},
    {D3DFMT_R3G3B2,           8, CodecKind::Rgb,       F(5, 3),   F(2, 3),   F(0, 2),   None(),    0.0f, false, true, "D3DFMT_R3G3B2", 1, 1, 1},
    {D3DFMT_A8R3G3B2,        16, CodecKind::Rgb,       F(5, 3),   F(2, 3),   F(0, 2),   F(8, 8),   0.0f, false, true, "D3DFMT_A8R3G3B2", 2, 1, 1},
    {D3DFMT_A8,               8, CodecKind::Rgb,       None(),    None(),    None(),    F(0, 8),   1.0f, false, true, "D3DFMT_A8", 1, 1, 1},
    {D3DFMT_L8,               8, CodecKind::Luminance, F(0, 8),   None(),    None(),    None(),    0.0f, false, true, "D3DFMT_L8", 1, 1, 1},
    {D3DFMT_A8L8,            16, CodecKind::Luminance, F(0, 8),   None(),    None(),    F(8, 8),   0.0f, false, true, "D3DFMT_A8L8", 2, 1, 1},
    {D3DFMT_A4L4,             8, CodecKind::Luminance, F(0, 4),   None(),    None(),    F(4, 4),   0.0f, false, true, "D3DFMT_A4L4", 1, 1, 1},
    {D3DFMT_P8,               8, CodecKind::Palette,   F(0, 8),   None(),    None(),    None(),    0.0f, false, false, "D3DFMT_P8", 1, 1, 1},
    {D3DFMT_A8P8,            16, CodecKind::Palette,   F(0, 8),   None(),    None(),    F(8, 8),   0.0f, false, false, "D3DFMT_A8P8", 2, 1, 1},
    {D3DFMT_V8U8,            16, CodecKind::Signed,    S(0, 8),   S(8, 8),   None(),    None(),    0.0f, false, false, "D3DFMT_V8U8", 2, 1, 1},
    {D3DFMT_L6V5U5,          16, CodecKind::Signed,    S(0, 5),   S(5, 5),   None(),    F(10, 6),  0.0f, false, false, "D3DFMT_L6V5U5", 2, 1, 1},
    {D3DFMT_X8L8V8U8,        32, CodecKind::Signed,    S(0, 8),   S(8, 8),   None(),    F(16, 8),  0.0f, false, false, "D3DFMT_X8L8V8U8", 4, 1, 1},
    {D3DFMT_Q8W8V8U8,        32, CodecKind::Signed,    S(0, 8),   S(8, 8),   S(16, 8),  S(24, 8),  0.0f, false, false, "D3DFMT_Q8W8V8U8", 4, 1, 1},
    {D3DFMT_V16U16,          32, CodecKind::Signed,    S(0, 16),  S(16, 16), None(),    None(),    0.0f, false, false, "D3DFMT_V16U16", 4, 1, 1},
    {D3DFMT_W11V11U10,       32, CodecKind::Signed,    S(0, 10),  S(10, 11), S(21, 11), None(),    0.0f, true, false, "D3DFMT_W11V11U10", 4, 1, 1},
    {D3DFMT_YUY2,             0, CodecKind::Yuv,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_YUY2", 4, 2, 1},
    {D3DFMT_UYVY,             0, CodecKind::Yuv,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_UYVY", 4, 2, 1},
    {D3DFMT_DXT1,             0, CodecKind::Dxt,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_DXT1", 8, 4, 4},
    {D3DFMT_DXT2,             0, CodecKind::Dxt,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_DXT2", 16, 4, 4},
    {D3DFMT_DXT3,             0, CodecKind::Dxt,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_DXT3", 16, 4, 4},
    {D3DFMT_DXT4,             0, CodecKind::Dxt,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_DXT4", 16, 4, 4},
    {D3DFMT_DXT5,             0, CodecKind::Dxt,       None(),    None(),    None(),    None(),    0.0f, false, false, "D3DFMT_DXT5", 16, 4, 4},
}};
// clang-format on

// Index of the format's row, or -1.
constexpr int FormatIndex(D3DFORMAT format) {
    for (std::size_t i = 0; i < kFormatFacts.size(); ++i) {
        if (kFormatFacts[i].Format == format) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

constexpr bool FormatsAreUnique() {
    for (std::size_t i = 0; i < kFormatFacts.size(); ++i) {
        for (std::size_t j = i + 1; j < kFormatFacts.size(); ++j) {
            if (kFormatFacts[i].Format == kFormatFacts[j].Format) {
                return false;
            }
        }
    }
    return true;
}
static_assert(FormatsAreUnique(), "a format has two rows");

constexpr const FormatFacts* FindFormatFacts(D3DFORMAT format) {
    const int index = FormatIndex(format);
    return index < 0 ? nullptr : &kFormatFacts[static_cast<std::size_t>(index)];
}

// The block-compressed formats DXT1 to DXT5.
constexpr bool IsDxt(D3DFORMAT format) {
    const FormatFacts* facts = FindFormatFacts(format);
    return facts != nullptr && facts->Kind == CodecKind::Dxt;
}

// Bytes of one row of storage units (DXT: one row of 4x4 blocks) of a region width pixels
// wide, and the number of such rows in height pixel rows; 0 for a format not in the table.
constexpr std::uint64_t StorageRowBytes(const FormatFacts& f, std::uint64_t width) {
    return (width + f.BlockWidth - 1) / f.BlockWidth * f.BlockBytes;
}
constexpr std::uint64_t StorageRows(const FormatFacts& f, std::uint64_t height) {
    return (height + f.BlockHeight - 1) / f.BlockHeight;
}

constexpr bool BlockFactsAgreeWithBits() {
    for (const FormatFacts& f : kFormatFacts) {
        if (f.BitsPerPixel != 0 && (f.BlockBytes * 8 != f.BitsPerPixel || f.BlockWidth != 1 || f.BlockHeight != 1)) {
            return false;
        }
        if (f.BitsPerPixel == 0 && f.BlockWidth * f.BlockHeight == 1) return false;
    }
    return true;
}
static_assert(BlockFactsAgreeWithBits(), "a plain format's unit is one pixel of its bits");

// Codec class: 1 colour formats, 2 palette formats (becomes 1 with the palette flag), 3 signed.
constexpr int CodecClassOf(CodecKind kind) {
    switch (kind) {
        case CodecKind::Rgb:
        case CodecKind::Luminance:
        case CodecKind::Yuv:
        case CodecKind::Dxt:
            return 1;
        case CodecKind::Palette:
            return 2;
        case CodecKind::Signed:
            return 3;
    }
    return 1;
}

}  // namespace tolvane::pixels
