// The format table and the substitute score.
#include <gtest/gtest.h>

#include <set>

#include "image/format_facts.h"
#include "platform/d3d8/format.h"
#include "texture/texture.h"

TEST(FormatTable, EveryFormatAppearsOnceAndOnlyTheDefaultRowIsUnselectable) {
    std::set<DWORD> seen;
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) {
        EXPECT_TRUE(seen.insert(FormatTable[i].Format).second) << "format " << FormatTable[i].Format << " twice";
        EXPECT_EQ(FormatTable[i].Selectable, 1u) << "row " << i;
        EXPECT_NE(FormatTable[i].Format, D3DFMT_UNKNOWN);
    }
    const FormatInfo& def = FormatTable[FORMAT_TABLE_ROWS];
    EXPECT_EQ(def.Format, D3DFMT_UNKNOWN);
    EXPECT_EQ(def.Selectable, 0u);
    EXPECT_EQ(def.Substitutable, 0u);
}

TEST(FormatTable, LookupFindsRowsAndFallsBackToTheDefaultRow) {
    EXPECT_EQ(FindFormatInfo(D3DFMT_X8R8G8B8).BitsPerPixel, 32u);
    EXPECT_EQ(FindFormatInfo(D3DFMT_X8R8G8B8).ABits, 0u);
    EXPECT_EQ(FindFormatInfo(D3DFMT_V8U8).Kind, FORMAT_KIND_SIGNED);
    EXPECT_EQ(FindFormatInfo(D3DFMT_P8).Kind, FORMAT_KIND_PALETTE);
    EXPECT_EQ(FindFormatInfo(D3DFMT_A4L4).Kind, FORMAT_KIND_LUMINANCE);
    // Formats outside the table (depth formats, garbage) get the default row.
    for (D3DFORMAT f : {D3DFMT_UNKNOWN, D3DFMT_D16, static_cast<D3DFORMAT>(12345)}) {
        EXPECT_EQ(&FindFormatInfo(f), &FormatTable[FORMAT_TABLE_ROWS]);
    }
}

TEST(FormatMatchScore, CostsOfSurplusMissingAndUnwantedChannels) {
    const FormatInfo& x8 = FindFormatInfo(D3DFMT_X8R8G8B8);
    EXPECT_EQ(FormatMatchScore(x8, x8), 0u);
    // An alpha channel that was not asked for costs 256.
    EXPECT_EQ(FormatMatchScore(x8, FindFormatInfo(D3DFMT_A8R8G8B8)), 256u);
    // 3 + 2 + 3 missing bits.
    EXPECT_EQ(FormatMatchScore(x8, FindFormatInfo(D3DFMT_R5G6B5)), 8u * 65536u);
    EXPECT_EQ(FormatMatchScore(x8, FindFormatInfo(D3DFMT_A1R5G5B5)), 590080u);
    // A8 lacks three wanted channels and has an unwanted one.
    EXPECT_EQ(FormatMatchScore(x8, FindFormatInfo(D3DFMT_A8)), 3u * 0x1000000u + 256u);
    // Surplus bits cost one each: V8U8 answered by V16U16.
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_V8U8), FindFormatInfo(D3DFMT_V16U16)), 16u);
}

TEST(FormatMatchScore, KindRulesAndUnsubstitutableRows) {
    const DWORD none = 0xFFFFFFFFu;
    // R8G8B8, YUV and DXT formats are never substitutes, even for themselves.
    for (D3DFORMAT f : {D3DFMT_R8G8B8, D3DFMT_UYVY, D3DFMT_YUY2, D3DFMT_DXT1, D3DFMT_DXT5}) {
        EXPECT_EQ(FormatMatchScore(FindFormatInfo(f), FindFormatInfo(f)), none) << f;
    }
    // RGB can stand in for palette and luminance, not for signed.
    EXPECT_NE(FormatMatchScore(FindFormatInfo(D3DFMT_P8), FindFormatInfo(D3DFMT_A8R8G8B8)), none);
    EXPECT_NE(FormatMatchScore(FindFormatInfo(D3DFMT_L8), FindFormatInfo(D3DFMT_X8R8G8B8)), none);
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_V8U8), FindFormatInfo(D3DFMT_A8R8G8B8)), none);
    // Palette, luminance and signed formats stand in only for their own kind.
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_X8R8G8B8), FindFormatInfo(D3DFMT_L8)), none);
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_X8R8G8B8), FindFormatInfo(D3DFMT_P8)), none);
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_L8), FindFormatInfo(D3DFMT_P8)), none);
    EXPECT_EQ(FormatMatchScore(FindFormatInfo(D3DFMT_X8R8G8B8), FindFormatInfo(D3DFMT_Q8W8V8U8)), none);
    EXPECT_NE(FormatMatchScore(FindFormatInfo(D3DFMT_A8L8), FindFormatInfo(D3DFMT_L8)), none);
}

// The device keeps its own record of how each format is stored (the platform knows nothing
// of the image layer); both must describe the same storage unit for every format, and the
// sampler reads exactly the block-compressed formats as blocks.
TEST(FormatTable, DeviceStorageAgreesWithThePixelFormats) {
    for (const tolvane::pixels::FormatFacts& facts : tolvane::pixels::kFormatFacts) {
        const d3d8::FormatStorage* storage = d3d8::FindFormat(facts.Format);
        ASSERT_NE(storage, nullptr) << facts.Name;
        EXPECT_EQ(storage->blockBytes, facts.BlockBytes) << facts.Name;
        EXPECT_EQ(storage->blockWidth, facts.BlockWidth) << facts.Name;
        EXPECT_EQ(storage->blockHeight, facts.BlockHeight) << facts.Name;
        EXPECT_EQ(storage->kind, d3d8::FormatKind::Color) << facts.Name;
        EXPECT_EQ(IsBlockFormat(facts.Format), facts.BlockWidth > 1) << facts.Name;
    }
}
