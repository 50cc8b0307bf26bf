// Size, level count and format selection against device profiles made for each rule.
#include <gtest/gtest.h>

#include <vector>

#include "fake_device.h"
#include "texture/texture.h"

namespace {

constexpr DWORD MIP = D3DPTEXTURECAPS_MIPMAP;
constexpr DWORD POW2 = D3DPTEXTURECAPS_POW2;

std::vector<D3DFORMAT> AllTableFormats() {
    std::vector<D3DFORMAT> v;
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) v.push_back(FormatTable[i].Format);
    return v;
}

struct Sizes {
    UINT width, height, levels;
    D3DFORMAT format;
};

HRESULT Check(const D3DDeviceProfile& profile, Sizes& s, D3DPOOL pool = D3DPOOL_MANAGED, DWORD usage = 0) {
    FakeDevice device(profile);
    HRESULT hr = CheckTextureRequirements(&device, &s.width, &s.height, &s.levels, usage, &s.format, pool);
    EXPECT_EQ(device.d3d().refs(), 1u) << "the Direct3D object must be released";
    return hr;
}

}  // namespace

// Each preference order is walked by taking formats away one at a time: with the wanted
// format absent, the device must offer the next substitute of the list, and after the last
// one nothing is left.
TEST(FormatChoice, PreferenceOrdersRowByRow) {
    struct Row {
        D3DFORMAT wanted;
        std::vector<D3DFORMAT> order;
    };
    const std::vector<Row> rows = {
        {D3DFMT_X8R8G8B8,
         {D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_A4R4G4B4,
          D3DFMT_R3G3B2, D3DFMT_A8R3G3B2, D3DFMT_A8}},
        {D3DFMT_R8G8B8,
         {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5, D3DFMT_X4R4G4B4,
          D3DFMT_A4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8R3G3B2, D3DFMT_A8}},
        {D3DFMT_A8R8G8B8,
         {D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
          D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8}},
        {D3DFMT_L8,
         {D3DFMT_X8R8G8B8, D3DFMT_A8L8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,
          D3DFMT_X4R4G4B4, D3DFMT_A4L4, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8R3G3B2, D3DFMT_A8}},
        {D3DFMT_P8,
         {D3DFMT_A8P8, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_X8R8G8B8,
          D3DFMT_R5G6B5, D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8}},
        {D3DFMT_V8U8, {D3DFMT_V16U16, D3DFMT_X8L8V8U8, D3DFMT_W11V11U10, D3DFMT_Q8W8V8U8, D3DFMT_L6V5U5}},
        {D3DFMT_DXT1,
         {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8,
          D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8}},
        {D3DFMT_UNKNOWN,
         {D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_A8R3G3B2, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,
          D3DFMT_X1R5G5B5, D3DFMT_X4R4G4B4, D3DFMT_R3G3B2, D3DFMT_A8}},
    };
    for (const Row& row : rows) {
        std::vector<D3DFORMAT> formats = AllTableFormats();
        std::erase(formats, row.wanted);
        for (D3DFORMAT expected : row.order) {
            Sizes s{64, 64, 1, row.wanted};
            ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, formats), s), S_OK) << row.wanted;
            EXPECT_EQ(s.format, expected) << "wanted " << row.wanted << ", " << formats.size() << " formats left";
            std::erase(formats, expected);
        }
        Sizes s{64, 64, 1, row.wanted};
        EXPECT_EQ(Check(MakeProfile(MIP, 4096, 0, formats), s), D3DERR_NOTAVAILABLE) << row.wanted;
    }
}

TEST(FormatChoice, WantedFormatWinsWhenTheDeviceHasItEvenIfNeverASubstitute) {
    for (D3DFORMAT f : {D3DFMT_R8G8B8, D3DFMT_DXT1, D3DFMT_DXT5, D3DFMT_YUY2, D3DFMT_L8, D3DFMT_A8}) {
        Sizes s{64, 64, 1, f};
        ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, AllTableFormats()), s), S_OK);
        EXPECT_EQ(s.format, f);
    }
}

TEST(FormatChoice, ExamplesOfTheRule) {
    Sizes s{64, 64, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 0, {D3DFMT_A1R5G5B5, D3DFMT_R5G6B5}), s), S_OK);
    EXPECT_EQ(s.format, D3DFMT_R5G6B5);

    s = {64, 64, 1, D3DFMT_V8U8};
    EXPECT_EQ(Check(MakeProfile(0, 4096, 0, {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}), s), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(s.format, D3DFMT_V8U8) << "nothing written back on failure";
    EXPECT_EQ(s.width, 64u);

    s = {64, 64, 1, D3DFMT_L8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 0, {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}), s), S_OK);
    EXPECT_EQ(s.format, D3DFMT_X8R8G8B8);

    // A device offering only unsubstitutable formats cannot answer a request for another.
    s = {64, 64, 1, D3DFMT_X8R8G8B8};
    EXPECT_EQ(Check(MakeProfile(0, 4096, 0, {D3DFMT_R8G8B8, D3DFMT_DXT1}), s), D3DERR_NOTAVAILABLE);
}

TEST(FormatChoice, FormatsAreAskedForTheRightResourceTypeAndUsage) {
    D3DDeviceProfile p = MakeProfile(MIP | D3DPTEXTURECAPS_MIPCUBEMAP, 4096, 0, {D3DFMT_X8R8G8B8});
    p.CubeTextureFormats = {D3DFMT_R5G6B5};
    p.RenderTargetFormats = {D3DFMT_A8R8G8B8};
    FakeDevice device(p);
    D3DFORMAT f = D3DFMT_X8R8G8B8;
    ASSERT_EQ(CheckCubeTextureRequirements(&device, nullptr, nullptr, 0, &f, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(f, D3DFMT_R5G6B5);
    f = D3DFMT_X8R8G8B8;
    ASSERT_EQ(CheckTextureRequirements(&device, nullptr, nullptr, nullptr, D3DUSAGE_RENDERTARGET, &f,
                                       D3DPOOL_DEFAULT),
              S_OK);
    EXPECT_EQ(f, D3DFMT_A8R8G8B8);
    EXPECT_EQ(device.d3d().lastAdapterFormat, D3DFMT_X8R8G8B8) << "asked against the display mode's format";
}

TEST(TextureRequirements, ArgumentsRejectedBeforeTheDeviceIsAsked) {
    D3DDeviceProfile p = MakeProfile(MIP, 4096, 0, AllTableFormats());
    FakeDevice device(p);
    UINT w = 64;
    EXPECT_EQ(CheckTextureRequirements(nullptr, &w, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(CheckTextureRequirements(&device, &w, nullptr, nullptr, D3DUSAGE_DYNAMIC, nullptr, D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(CheckTextureRequirements(&device, &w, nullptr, nullptr, 0, nullptr, static_cast<D3DPOOL>(3)),
              D3DERR_INVALIDCALL);
    UINT d = 4;
    EXPECT_EQ(CheckVolumeTextureRequirements(&device, &w, nullptr, &d, nullptr, D3DUSAGE_RENDERTARGET, nullptr,
                                             D3DPOOL_MANAGED),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device.d3d().formatQueries, 0);
    EXPECT_EQ(w, 64u);
    // USE_DEFAULT as usage counts as none.
    EXPECT_EQ(CheckTextureRequirements(&device, &w, nullptr, nullptr, USE_DEFAULT, nullptr, D3DPOOL_SYSTEMMEM),
              S_OK);
    EXPECT_EQ(device.d3d().refs(), 1u);
}

TEST(TextureRequirements, NullReferencesSelectAsForUnknownAndWriteNothing) {
    FakeDevice device(MakeProfile(0, 4096, 0, {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}));
    EXPECT_EQ(CheckTextureRequirements(&device, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    // Unknown can only be answered by a substitute: without any, nothing is available.
    FakeDevice bare(MakeProfile(0, 4096, 0, {D3DFMT_R8G8B8}));
    EXPECT_EQ(CheckTextureRequirements(&bare, nullptr, nullptr, nullptr, 0, nullptr, D3DPOOL_MANAGED),
              D3DERR_NOTAVAILABLE);
}

TEST(TextureRequirements, DefaultSizes) {
    const auto all = AllTableFormats();
    Sizes s{USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 256u);
    EXPECT_EQ(s.height, 256u);
    EXPECT_EQ(s.levels, 9u);

    s = {USE_DEFAULT, 100, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 100u);
    EXPECT_EQ(s.height, 100u);
    s = {USE_DEFAULT, 100, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(POW2, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 128u);
    EXPECT_EQ(s.height, 128u);

    s = {0, 0, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 1u);
    EXPECT_EQ(s.height, 1u);
    EXPECT_EQ(s.levels, 1u);
}

TEST(TextureRequirements, ClampsToLimitsAspectAndSquareOnly) {
    const auto all = AllTableFormats();
    Sizes s{1000, 10, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 8, all), s), S_OK);
    EXPECT_EQ(s.width, 80u);
    EXPECT_EQ(s.height, 10u);
    s = {1000, 10, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(POW2, 4096, 8, all), s), S_OK);
    EXPECT_EQ(s.width, 128u);
    EXPECT_EQ(s.height, 16u);
    // The height is limited by the new width.
    s = {10, 1000, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 8, all), s), S_OK);
    EXPECT_EQ(s.width, 10u);
    EXPECT_EQ(s.height, 80u);

    s = {256, 64, 1, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(D3DPTEXTURECAPS_SQUAREONLY, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 64u);
    EXPECT_EQ(s.height, 64u);

    s = {5000, 3000, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP | POW2, 2048, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 2048u);
    EXPECT_EQ(s.height, 2048u);
    EXPECT_EQ(s.levels, 12u);
    // A limit that is not a power of two is exceeded by the rounding that follows it.
    s = {5000, 100, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(POW2, 1000, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 1024u);
    EXPECT_EQ(s.height, 128u);
    // Huge requests with a huge aspect limit neither wrap nor round to 0.
    s = {0xFFFFFFF0u, 0x90000000u, 0, D3DFMT_DXT1};
    ASSERT_EQ(Check(MakeProfile(POW2, 0xFFFFFFFFu, 0xFFFFFFFFu, all), s), S_OK);
    EXPECT_GE(s.width, 0x80000000u);
    EXPECT_GE(s.height, 0x80000000u);
}

TEST(TextureRequirements, BlockFormatsRoundToWholeBlocks) {
    const auto all = AllTableFormats();
    Sizes s{6, 6, 0, D3DFMT_DXT1};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 8u);
    EXPECT_EQ(s.height, 8u);
    EXPECT_EQ(s.levels, 4u);
    s = {6, 10, 0, D3DFMT_DXT1};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 8u);
    EXPECT_EQ(s.height, 12u);
    EXPECT_EQ(s.levels, 1u);
    // The rounding follows the requested format even when a substitute is chosen.
    s = {6, 6, 1, D3DFMT_DXT3};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 0, {D3DFMT_A8R8G8B8}), s), S_OK);
    EXPECT_EQ(s.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(s.width, 8u);
}

TEST(TextureRequirements, LevelCounts) {
    const auto all = AllTableFormats();
    Sizes s{300, 200, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 300u);
    EXPECT_EQ(s.height, 200u);
    EXPECT_EQ(s.levels, 1u);
    s = {300, 200, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP | POW2, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.width, 512u);
    EXPECT_EQ(s.height, 256u);
    EXPECT_EQ(s.levels, 10u);
    for (auto [asked, got] : {std::pair<UINT, UINT>{3, 3}, {9, 9}, {20, 9}, {0, 9}, {USE_DEFAULT, 9}, {1, 1}}) {
        s = {256, 256, asked, D3DFMT_X8R8G8B8};
        ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
        EXPECT_EQ(s.levels, got) << "asked " << asked;
    }
    s = {256, 256, 5, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(0, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.levels, 1u) << "no mipmaps on this device";
    s = {256, 16, 0, D3DFMT_X8R8G8B8};
    ASSERT_EQ(Check(MakeProfile(MIP, 4096, 0, all), s), S_OK);
    EXPECT_EQ(s.levels, 9u) << "full chain follows the larger side";
}

TEST(CubeRequirements, SizeIsTheLargerSideAndUsesTheCubeBits) {
    D3DDeviceProfile p = MakeProfile(D3DPTEXTURECAPS_CUBEMAP_POW2 | D3DPTEXTURECAPS_MIPCUBEMAP, 4096, 0,
                                     AllTableFormats());
    FakeDevice device(p);
    UINT size = 300, levels = 0;
    ASSERT_EQ(CheckCubeTextureRequirements(&device, &size, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(size, 512u);
    EXPECT_EQ(levels, 10u);
    // The texture bits do not apply to cubes.
    FakeDevice plain(MakeProfile(POW2 | MIP, 4096, 0, AllTableFormats()));
    size = 300;
    levels = 0;
    ASSERT_EQ(CheckCubeTextureRequirements(&plain, &size, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(size, 300u);
    EXPECT_EQ(levels, 1u);
}

TEST(VolumeRequirements, DepthDefaultsClampsAndCounts) {
    D3DDeviceProfile p = MakeProfile(D3DPTEXTURECAPS_VOLUMEMAP_POW2 | D3DPTEXTURECAPS_MIPVOLUMEMAP, 64, 0,
                                     AllTableFormats());
    p.MaxTextureWidth = p.MaxTextureHeight = 4096;
    FakeDevice device(p);
    UINT w = 16, h = 16, d = 0, levels = 0;
    ASSERT_EQ(CheckVolumeTextureRequirements(&device, &w, &h, &d, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(d, 1u);
    EXPECT_EQ(levels, 5u);
    w = 1000, h = 20, d = 100, levels = 0;
    ASSERT_EQ(CheckVolumeTextureRequirements(&device, &w, &h, &d, &levels, 0, nullptr, D3DPOOL_MANAGED), S_OK);
    EXPECT_EQ(w, 64u);
    EXPECT_EQ(h, 32u);
    EXPECT_EQ(d, 64u);
    EXPECT_EQ(levels, 7u) << "the depth counts toward the full chain";
}

TEST(CreateChecked, RejectsNullsAndPassesAdjustedValues) {
    FakeDevice device(MakeProfile(POW2, 4096, 0, AllTableFormats()));
    IDirect3DTexture8* tex = nullptr;
    EXPECT_EQ(CreateTextureChecked(nullptr, 1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &tex),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(CreateTextureChecked(&device, 1, 1, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device.createTextureCalls, 0);
    // The fake has no real device behind it: the creation call's own failure comes back.
    EXPECT_EQ(CreateTextureChecked(&device, 3, 3, 1, USE_DEFAULT, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &tex),
              E_NOTIMPL);
    EXPECT_EQ(device.createTextureCalls, 1);
    EXPECT_EQ(CreateTextureChecked(&device, 3, 3, 1, 4, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &tex),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device.createTextureCalls, 1);
    EXPECT_EQ(tex, nullptr);
}
