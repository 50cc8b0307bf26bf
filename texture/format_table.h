// The pixel formats that texture creation knows, with their channel bits as the
// substitution score counts them. The table drives the choice of a substitute format and the
// default filters; the formats' own facts (names, fields, storage) live in
// image/pixel_formats.h, which this table is checked against when it is compiled.
#pragma once

#include <cstddef>

#include "platform/d3d8/d3d8types.h"
#include "texture/export.h"

TOLVANE_API_BEGIN

// Kind of a format: which formats may stand in for it, and which default filters it gets.
constexpr DWORD FORMAT_KIND_RGB = 0;        // colour formats, with the YUV and block-compressed ones
constexpr DWORD FORMAT_KIND_PALETTE = 1;
constexpr DWORD FORMAT_KIND_LUMINANCE = 2;
constexpr DWORD FORMAT_KIND_SIGNED = 3;

// One row of the table. The five bit slots are luminance (used only by the signed formats
// that carry one), alpha, red, green, blue. Unsigned luminance formats count their luminance
// in each of R, G and B; palettised formats describe their palette entries; signed formats
// put Q, W, V, U in the A, R, G, B slots; block-compressed formats give the precision of
// their end-point colours and alpha.
struct FormatInfo {
    D3DFORMAT Format;
    DWORD Kind;
    DWORD BitsPerPixel;  // 16 for the YUV and block-compressed formats
    DWORD LBits;
    DWORD ABits;
    DWORD RBits;
    DWORD GBits;
    DWORD BBits;
    DWORD Substitutable;  // 1 when the row may be chosen in place of another format
    DWORD Selectable;     // 1 for every real row, 0 only in the default row
};
static_assert(sizeof(FormatInfo) == 40, "ten 32-bit fields");

// The real rows, searched in order; the default row follows them.
constexpr std::size_t FORMAT_TABLE_ROWS = 29;
extern const FormatInfo FormatTable[FORMAT_TABLE_ROWS + 1];

// The first row whose Format equals format, else the default row (D3DFMT_UNKNOWN, eight bits
// in each of A, R, G and B, not selectable).
const FormatInfo& FindFormatInfo(D3DFORMAT format);

// Distance of candidate from wanted; all ones when candidate cannot stand in for wanted.
// Each surplus bit costs 1, an unwanted channel 256, each missing bit 65536 and a missing
// channel 0x1000000, summed over the five slots.
DWORD FormatMatchScore(const FormatInfo& wanted, const FormatInfo& candidate);

// The block-compressed and packed YUV formats: their surfaces are locked whole.
bool IsBlockFormat(D3DFORMAT format);

TOLVANE_API_END
