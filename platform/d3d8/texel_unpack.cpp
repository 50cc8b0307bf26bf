// The sampler's texel unpackers: every level format the device accepts for textures,
// widened to A8R8G8B8. Narrow channels are widened by bit replication, so the largest
// value of a channel becomes 0xFF and 0 stays 0. The signed (bump-map) formats keep each
// signed channel as its value plus 128 (-1 as 0x00, 0 as 0x80, +1 as 0xFF), so the
// sampler's filters blend them as they blend any byte; the channels a format lacks read 1.
#include <cassert>
#include <cstring>

#include "platform/d3d8/state_translation.h"

namespace d3d8 {

namespace {

// Widens an n-bit channel value to 8 bits by repeating its bits.
constexpr std::uint32_t Widen(std::uint32_t value, int bits) {
    switch (bits) {
        case 1: return value ? 0xFFu : 0u;
        case 2: return value * 0x55u;
        case 3: return (value << 5) | (value << 2) | (value >> 1);
        case 4: return value * 0x11u;
        case 5: return (value << 3) | (value >> 2);
        case 6: return (value << 2) | (value >> 4);
        default: return value & 0xFFu;
    }
}

constexpr std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// A packed format with up to four channels: for each of a, r, g, b the shift and the
// width in bits (width 0: alpha reads as 0xFF, a colour channel as the luminance or
// as 0xFF when the format has no colour at all).
struct PackedLayout {
    D3DFORMAT format;
    int bytes;
    int aShift, aBits;
    int rShift, rBits;
    int gShift, gBits;
    int bShift, bBits;
    bool luminance;  // r holds luminance, copied to g and b
};

//                      format           bytes  a      r      g      b     luminance
constexpr PackedLayout kPacked[] = {
    {D3DFMT_A8R8G8B8, 4, 24, 8, 16, 8, 8, 8, 0, 8, false},
    {D3DFMT_X8R8G8B8, 4, 0, 0, 16, 8, 8, 8, 0, 8, false},
    {D3DFMT_R5G6B5, 2, 0, 0, 11, 5, 5, 6, 0, 5, false},
    {D3DFMT_X1R5G5B5, 2, 0, 0, 10, 5, 5, 5, 0, 5, false},
    {D3DFMT_A1R5G5B5, 2, 15, 1, 10, 5, 5, 5, 0, 5, false},
    {D3DFMT_A4R4G4B4, 2, 12, 4, 8, 4, 4, 4, 0, 4, false},
    {D3DFMT_R3G3B2, 1, 0, 0, 5, 3, 2, 3, 0, 2, false},
    {D3DFMT_A8, 1, 0, 8, 0, 0, 0, 0, 0, 0, false},
    {D3DFMT_A8R3G3B2, 2, 8, 8, 5, 3, 2, 3, 0, 2, false},
    {D3DFMT_X4R4G4B4, 2, 0, 0, 8, 4, 4, 4, 0, 4, false},
    {D3DFMT_L8, 1, 0, 0, 0, 8, 0, 0, 0, 0, true},
    {D3DFMT_A8L8, 2, 8, 8, 0, 8, 0, 0, 0, 0, true},
    {D3DFMT_A4L4, 1, 4, 4, 0, 4, 0, 0, 0, 0, true},
};

const PackedLayout* FindPacked(D3DFORMAT format) {
    for (const PackedLayout& layout : kPacked) {
        if (layout.format == format) return &layout;
    }
    return nullptr;
}

std::uint32_t Channel(std::uint32_t texel, int shift, int bits) {
    return Widen((texel >> shift) & ((1u << bits) - 1u), bits);
}

std::uint32_t UnpackTexel(const PackedLayout& layout, std::uint32_t texel) {
    std::uint32_t a = layout.aBits ? Channel(texel, layout.aShift, layout.aBits) : 0xFFu;
    if (layout.luminance) {
        std::uint32_t l = Channel(texel, layout.rShift, layout.rBits);
        return Argb(a, l, l, l);
    }
    if (layout.rBits == 0) return Argb(a, 0xFF, 0xFF, 0xFF);  // alpha-only formats read white
    return Argb(a, Channel(texel, layout.rShift, layout.rBits), Channel(texel, layout.gShift, layout.gBits),
                Channel(texel, layout.bShift, layout.bBits));
}

std::uint32_t ReadLittle(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

bool IsDxt(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

std::uint32_t Rgb565(std::uint32_t c) {
    return Argb(0xFF, Widen((c >> 11) & 31u, 5), Widen((c >> 5) & 63u, 6), Widen(c & 31u, 5));
}

// Mixes two colours (alpha excluded) as (wa * a + wb * b) / (wa + wb), per channel.
std::uint32_t MixRgb(std::uint32_t a, std::uint32_t b, std::uint32_t wa, std::uint32_t wb) {
    std::uint32_t total = wa + wb;
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        std::uint32_t ca = (a >> shift) & 0xFFu, cb = (b >> shift) & 0xFFu;
        out |= ((ca * wa + cb * wb + total / 2) / total) << shift;
    }
    return out;
}

// The colour half of a block (8 bytes): 16 colours in texel order, alpha 0xFF except for the
// transparent black of the three-colour mode, which only DXT1 uses.
void DecodeColorBlock(const std::uint8_t* block, bool allowThreeColor, std::uint32_t out[16]) {
    std::uint32_t c0 = ReadLittle(block, 2), c1 = ReadLittle(block + 2, 2);
    std::uint32_t palette[4];
    palette[0] = Rgb565(c0);
    palette[1] = Rgb565(c1);
    if (c0 > c1 || !allowThreeColor) {
        palette[2] = MixRgb(palette[0], palette[1], 2, 1);
        palette[3] = MixRgb(palette[0], palette[1], 1, 2);
    } else {
        palette[2] = MixRgb(palette[0], palette[1], 1, 1);
        palette[3] = 0;  // transparent black
    }
    std::uint32_t bits = ReadLittle(block + 4, 4);
    for (int i = 0; i < 16; ++i) out[i] = palette[(bits >> (2 * i)) & 3u];
}

void DecodeExplicitAlpha(const std::uint8_t* block, std::uint32_t texels[16]) {
    for (int i = 0; i < 16; ++i) {
        std::uint32_t a = (block[i / 2] >> ((i & 1) * 4)) & 0xFu;
        texels[i] = (texels[i] & 0x00FFFFFFu) | (Widen(a, 4) << 24);
    }
}

void DecodeInterpolatedAlpha(const std::uint8_t* block, std::uint32_t texels[16]) {
    std::uint32_t a0 = block[0], a1 = block[1];
    std::uint32_t palette[8] = {a0, a1};
    if (a0 > a1) {
        for (std::uint32_t i = 1; i < 7; ++i) palette[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
    } else {
        for (std::uint32_t i = 1; i < 5; ++i) palette[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
        palette[6] = 0;
        palette[7] = 255;
    }
    std::uint64_t bits = 0;
    for (int i = 5; i >= 0; --i) bits = (bits << 8) | block[2 + i];
    for (int i = 0; i < 16; ++i) {
        std::uint32_t a = palette[(bits >> (3 * i)) & 7u];
        texels[i] = (texels[i] & 0x00FFFFFFu) | (a << 24);
    }
}

void UnpackDxt(D3DFORMAT format, const std::uint8_t* source, int sourcePitch, int width, int height,
               std::uint32_t* destination, int destinationPitch) {
    const int blockBytes = format == D3DFMT_DXT1 ? 8 : 16;
    for (int by = 0; by < (height + 3) / 4; ++by) {
        const std::uint8_t* row = source + static_cast<std::ptrdiff_t>(by) * sourcePitch;
        for (int bx = 0; bx < (width + 3) / 4; ++bx) {
            const std::uint8_t* block = row + static_cast<std::ptrdiff_t>(bx) * blockBytes;
            std::uint32_t texels[16];
            switch (format) {
                case D3DFMT_DXT1: DecodeColorBlock(block, true, texels); break;
                case D3DFMT_DXT2:
                case D3DFMT_DXT3:
                    DecodeColorBlock(block + 8, false, texels);
                    DecodeExplicitAlpha(block, texels);
                    break;
                default:
                    DecodeColorBlock(block + 8, false, texels);
                    DecodeInterpolatedAlpha(block, texels);
                    break;
            }
            // Blocks at the right and bottom edges of sizes that are not multiples of 4
            // are partial: only their texels inside the level are written.
            for (int y = 0; y < 4 && by * 4 + y < height; ++y) {
                std::uint32_t* out = destination + static_cast<std::ptrdiff_t>(by * 4 + y) * destinationPitch;
                for (int x = 0; x < 4 && bx * 4 + x < width; ++x) out[bx * 4 + x] = texels[y * 4 + x];
            }
        }
    }
}

// A signed channel of `bits` bits (two's complement) as its biased byte: v / (2^(bits-1) - 1)
// scaled to 127, the most negative value as -1.
std::uint32_t SignedByte(std::uint32_t raw, int bits) {
    const int half = 1 << (bits - 1);
    int v = static_cast<int>(raw & ((1u << bits) - 1u));
    if (v >= half) v -= 2 * half;
    if (v == -half) return 0;
    const int largest = half - 1;
    const int scaled = bits == 8 ? v : (v * 127 + (v >= 0 ? largest / 2 : -(largest / 2))) / largest;
    return static_cast<std::uint32_t>(scaled + 128);
}

// The signed formats: U in red, V in green, then L (unsigned) or W in blue, Q in alpha.
bool UnpackSigned(D3DFORMAT format, std::uint32_t texel, std::uint32_t& out) {
    switch (format) {
        case D3DFMT_V8U8: out = Argb(0xFF, SignedByte(texel, 8), SignedByte(texel >> 8, 8), 0xFF); return true;
        case D3DFMT_L6V5U5:
            out = Argb(0xFF, SignedByte(texel, 5), SignedByte(texel >> 5, 5), Widen((texel >> 10) & 63u, 6));
            return true;
        case D3DFMT_X8L8V8U8:
            out = Argb(0xFF, SignedByte(texel, 8), SignedByte(texel >> 8, 8), (texel >> 16) & 0xFFu);
            return true;
        case D3DFMT_Q8W8V8U8:
            out = Argb(SignedByte(texel >> 24, 8), SignedByte(texel, 8), SignedByte(texel >> 8, 8),
                       SignedByte(texel >> 16, 8));
            return true;
        default: return false;
    }
}

int SignedBytes(D3DFORMAT format) { return format == D3DFMT_V8U8 || format == D3DFMT_L6V5U5 ? 2 : 4; }

}  // namespace

std::uint8_t SignedChannelsOf(D3DFORMAT format) {
    constexpr std::uint8_t r = 1, g = 2, b = 4, a = 8;
    switch (format) {
        case D3DFMT_V8U8:
        case D3DFMT_L6V5U5:
        case D3DFMT_X8L8V8U8: return r | g;
        case D3DFMT_Q8W8V8U8: return r | g | b | a;
        default: return 0;
    }
}

bool SamplerReadsFormat(D3DFORMAT format) {
    return FindPacked(format) != nullptr || IsDxt(format) || SignedChannelsOf(format) != 0;
}

bool UnpackLevel(D3DFORMAT format, const void* source, int sourcePitch, int width, int height,
                 std::uint32_t* destination, int destinationPitch) {
    assert(width >= 0 && height >= 0);
    if (IsDxt(format)) {
        UnpackDxt(format, static_cast<const std::uint8_t*>(source), sourcePitch, width, height, destination,
                  destinationPitch);
        return true;
    }
    if (SignedChannelsOf(format) != 0) {
        const int bytes = SignedBytes(format);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* in =
                static_cast<const std::uint8_t*>(source) + static_cast<std::ptrdiff_t>(y) * sourcePitch;
            std::uint32_t* out = destination + static_cast<std::ptrdiff_t>(y) * destinationPitch;
            for (int x = 0; x < width; ++x) UnpackSigned(format, ReadLittle(in + x * bytes, bytes), out[x]);
        }
        return true;
    }
    const PackedLayout* layout = FindPacked(format);
    if (!layout) return false;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = static_cast<const std::uint8_t*>(source) + static_cast<std::ptrdiff_t>(y) * sourcePitch;
        std::uint32_t* out = destination + static_cast<std::ptrdiff_t>(y) * destinationPitch;
        if (format == D3DFMT_A8R8G8B8) {
            std::memcpy(out, in, static_cast<std::size_t>(width) * 4);
            continue;
        }
        for (int x = 0; x < width; ++x) out[x] = UnpackTexel(*layout, ReadLittle(in + x * layout->bytes, layout->bytes));
    }
    return true;
}

}  // namespace d3d8
