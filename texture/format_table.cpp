// The format table and the score that ranks substitutes.
#include "texture/format_table.h"

#include <iterator>

#include "image/format_facts.h"

namespace {
constexpr DWORD RGB = FORMAT_KIND_RGB;
constexpr DWORD PAL = FORMAT_KIND_PALETTE;
constexpr DWORD LUM = FORMAT_KIND_LUMINANCE;
constexpr DWORD SGN = FORMAT_KIND_SIGNED;
}  // namespace

// clang-format off
constexpr FormatInfo FormatTable[FORMAT_TABLE_ROWS + 1] = {
    // Format               Kind bpp   L  A   R   G   B  Subst Select
    {D3DFMT_R8G8B8,         RGB, 24,   0, 0,  8,  8,  8,  0,  1},
    {D3DFMT_A8R8G8B8,       RGB, 32,   0, 8,  8,  8,  8,  1,  1},
    {D3DFMT_X8R8G8B8,       RGB, 32,   0, 0,  8,  8,  8,  1,  1},
    {D3DFMT_R5G6B5,         RGB, 16,   0, 0,  5,  6,  5,  1,  1},
    {D3DFMT_X1R5G5B5,       RGB, 16,   0, 0,  5,  5,  5,  1,  1},
    {D3DFMT_A8P8,           PAL, 16,   0, 8,  8,  8,  8,  1,  1},
    {D3DFMT_P8,             PAL,  8,   0, 8,  8,  8,  8,  1,  1},
    {D3DFMT_A1R5G5B5,       RGB, 16,   0, 1,  5,  5,  5,  1,  1},
    {D3DFMT_A4R4G4B4,       RGB, 16,   0, 4,  4,  4,  4,  1,  1},
    {D3DFMT_R3G3B2,         RGB,  8,   0, 0,  3,  3,  2,  1,  1},
    {D3DFMT_A8,             RGB,  8,   0, 8,  0,  0,  0,  1,  1},
    {D3DFMT_A8R3G3B2,       RGB, 16,   0, 8,  3,  3,  2,  1,  1},
    {D3DFMT_X4R4G4B4,       RGB, 16,   0, 0,  4,  4,  4,  1,  1},
    {D3DFMT_L8,             LUM,  8,   0, 0,  8,  8,  8,  1,  1},
    {D3DFMT_A8L8,           LUM, 16,   0, 8,  8,  8,  8,  1,  1},
    {D3DFMT_A4L4,           LUM,  8,   0, 4,  4,  4,  4,  1,  1},
    {D3DFMT_V8U8,           SGN, 16,   0, 0,  0,  8,  8,  1,  1},
    {D3DFMT_L6V5U5,         SGN, 16,   6, 0,  0,  5,  5,  1,  1},
    {D3DFMT_X8L8V8U8,       SGN, 32,   8, 0,  0,  8,  8,  1,  1},
    {D3DFMT_Q8W8V8U8,       SGN, 32,   0, 8,  8,  8,  8,  1,  1},
    {D3DFMT_V16U16,         SGN, 32,   0, 0,  0, 16, 16,  1,  1},
    {D3DFMT_W11V11U10,      SGN, 32,   0, 0, 11, 11, 10,  1,  1},
    {D3DFMT_UYVY,           RGB, 16,   0, 0,  8,  8,  8,  0,  1},
    {D3DFMT_YUY2,           RGB, 16,   0, 0,  8,  8,  8,  0,  1},
    {D3DFMT_DXT1,           RGB, 16,   0, 1,  5,  6,  5,  0,  1},
    {D3DFMT_DXT2,           RGB, 16,   0, 4,  5,  6,  5,  0,  1},
    {D3DFMT_DXT3,           RGB, 16,   0, 4,  5,  6,  5,  0,  1},
    {D3DFMT_DXT4,           RGB, 16,   0, 3,  5,  6,  5,  0,  1},
    {D3DFMT_DXT5,           RGB, 16,   0, 3,  5,  6,  5,  0,  1},
    // The default row: what a request for an unknown format is matched as.
    {D3DFMT_UNKNOWN,        RGB, 32,   0, 8,  8,  8,  8,  0,  0},
};
// clang-format on
static_assert(std::size(FormatTable) == FORMAT_TABLE_ROWS + 1, "29 rows and the default row");

namespace {

// The rows restate the pixel formats' facts in the five slots of the substitution score;
// they must agree with the image layer's table: the same formats and kinds, the same bits
// per pixel (16 for the YUV and block formats), and the channel widths of the colour,
// luminance and signed formats (signed: U, V, W in B, G, R; Q or an unsigned L in A or L).
constexpr bool RowAgrees(const FormatInfo& row) {
    using namespace tolvane::pixels;
    // By index: under GCC's undefined-behaviour sanitizer a pointer's comparison with null
    // is no constant expression, and the check below would not compile.
    const int index = FormatIndex(row.Format);
    if (index < 0) return false;
    const FormatFacts* f = &kFormatFacts[static_cast<std::size_t>(index)];
    const bool blocks = f->Kind == CodecKind::Yuv || f->Kind == CodecKind::Dxt;
    if (row.BitsPerPixel != (blocks ? 16u : f->BitsPerPixel)) return false;
    switch (f->Kind) {
        case CodecKind::Rgb:
            return row.Kind == FORMAT_KIND_RGB && row.LBits == 0 && row.ABits == f->Alpha.Bits &&
                   row.RBits == f->Red.Bits && row.GBits == f->Green.Bits && row.BBits == f->Blue.Bits;
        case CodecKind::Luminance:
            return row.Kind == FORMAT_KIND_LUMINANCE && row.LBits == 0 && row.ABits == f->Alpha.Bits &&
                   row.RBits == f->Red.Bits && row.GBits == f->Red.Bits && row.BBits == f->Red.Bits;
        case CodecKind::Signed:
            return row.Kind == FORMAT_KIND_SIGNED && row.LBits + row.ABits == f->Alpha.Bits &&
                   row.RBits == f->Blue.Bits && row.GBits == f->Green.Bits && row.BBits == f->Red.Bits;
        case CodecKind::Palette:
            return row.Kind == FORMAT_KIND_PALETTE;
        case CodecKind::Yuv:
        case CodecKind::Dxt:
            return row.Kind == FORMAT_KIND_RGB;
    }
    return false;
}

constexpr bool TableAgreesWithPixelFormats() {
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) {
        if (!RowAgrees(FormatTable[i])) return false;
    }
    return tolvane::pixels::kFormatFacts.size() == FORMAT_TABLE_ROWS;
}
static_assert(TableAgreesWithPixelFormats(), "the format table disagrees with image/pixel_formats.h");

}  // namespace

const FormatInfo& FindFormatInfo(D3DFORMAT format) {
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) {
        if (FormatTable[i].Format == format) return FormatTable[i];
    }
    return FormatTable[FORMAT_TABLE_ROWS];
}

namespace {
constexpr DWORD NO_MATCH = 0xFFFFFFFFu;

DWORD ChannelCost(DWORD wanted, DWORD candidate) {
    if (wanted == candidate) return 0;
    if (wanted < candidate) return wanted == 0 ? 256 : candidate - wanted;
    return candidate == 0 ? 0x1000000u : (wanted - candidate) * 65536u;
}
}  // namespace

DWORD FormatMatchScore(const FormatInfo& wanted, const FormatInfo& candidate) {
    if (!candidate.Substitutable) return NO_MATCH;
    // An RGB format can stand in for a palettised or luminance one; the other kinds only
    // for their own kind.
    if (candidate.Kind != wanted.Kind &&
        (candidate.Kind != FORMAT_KIND_RGB || wanted.Kind == FORMAT_KIND_SIGNED)) {
        return NO_MATCH;
    }
    return ChannelCost(wanted.LBits, candidate.LBits) + ChannelCost(wanted.ABits, candidate.ABits) +
           ChannelCost(wanted.RBits, candidate.RBits) + ChannelCost(wanted.GBits, candidate.GBits) +
           ChannelCost(wanted.BBits, candidate.BBits);
}

bool IsBlockFormat(D3DFORMAT format) {
    const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(format);
    return facts != nullptr && facts->BlockWidth * facts->BlockHeight > 1;
}
