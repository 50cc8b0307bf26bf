// The toward-zero float helpers against the processor running in round-toward-zero mode.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "image/convert.h"
#include "image/filter_weights.h"
#include "image/float_rounding.h"
#include "image/pixel_codec.h"
#include "test_codec_util.h"

namespace rz = tolvane::rz;

namespace {

// Sets the processor's rounding mode for one scope.
class RoundingModeScope {
public:
    explicit RoundingModeScope(int mode) : saved_(std::fegetround()) { std::fesetround(mode); }
    ~RoundingModeScope() { std::fesetround(saved_); }
    RoundingModeScope(const RoundingModeScope&) = delete;
    RoundingModeScope& operator=(const RoundingModeScope&) = delete;

private:
    int saved_;
};

// Reference operations: volatile operands keep the compiler from folding or reordering, so
// each runs on the processor under the mode set by the caller.
float RefMul(float a, float b) { volatile float x = a, y = b; volatile float r = x * y; return r; }
float RefAdd(float a, float b) { volatile float x = a, y = b; volatile float r = x + y; return r; }
float RefDiv(float a, float b) { volatile float x = a, y = b; volatile float r = x / y; return r; }

std::uint32_t Bits(float f) { std::uint32_t b; std::memcpy(&b, &f, 4); return b; }
float FromBits(std::uint32_t b) { float f; std::memcpy(&f, &b, 4); return f; }

// A mix of arbitrary bit patterns and values near the channel range.
float RandomFloat(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: {
            float f;
            do f = FromBits(static_cast<std::uint32_t>(rng())); while (!std::isfinite(f));
            return f;
        }
        case 1: return std::uniform_real_distribution<float>(-1.1f, 1.1f)(rng);
        case 2: {
            // Next to k / scale for a k of an 8-bit channel: where truncation decides.
            const float base = static_cast<float>(rng() % 256) / 255.0f;
            const int steps = static_cast<int>(rng() % 9) - 4;
            return base == 0.0f ? FromBits(static_cast<std::uint32_t>(std::abs(steps)))
                                : FromBits(Bits(base) + static_cast<std::uint32_t>(steps));
        }
        default: return std::uniform_real_distribution<float>(-40000.0f, 40000.0f)(rng);
    }
}

}  // namespace

TEST(TowardZero, ArithmeticMatchesProcessorMode) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 1000000; ++i) {
        const float a = RandomFloat(rng), b = RandomFloat(rng);
        float mul, add, sub, div = 0.0f;
        {
            RoundingModeScope mode(FE_TOWARDZERO);
            mul = RefMul(a, b);
            add = RefAdd(a, b);
            sub = RefAdd(a, -b);
            if (b != 0.0f) div = RefDiv(a, b);
        }
        ASSERT_EQ(Bits(rz::Mul(a, b)), Bits(mul)) << a << " * " << b;
        ASSERT_EQ(Bits(rz::Add(a, b)), Bits(add)) << a << " + " << b;
        ASSERT_EQ(Bits(rz::Sub(a, b)), Bits(sub)) << a << " - " << b;
        if (b != 0.0f) {
            ASSERT_EQ(Bits(rz::Div(a, b)), Bits(div)) << a << " / " << b;
        }
    }
}

TEST(TowardZero, ChannelQuantisationMatchesProcessorMode) {
    std::mt19937 rng(99);
    const float scales[] = {1, 3, 7, 15, 31, 63, 255, 16, 128, 512, 1024, 32768};
    std::vector<float> offsets = {0.5f};
    for (int m = 0; m < 16; ++m) offsets.push_back((static_cast<float>(m) + 0.5f) / 16.0f);
    for (int i = 0; i < 2000000; ++i) {
        const float v = RandomFloat(rng);
        const float scale = scales[rng() % std::size(scales)];
        const float offset = offsets[rng() % offsets.size()];
        float sum;
        {
            RoundingModeScope mode(FE_TOWARDZERO);
            sum = RefAdd(RefMul(v, scale), offset);
        }
        if (std::fabs(sum) >= 2147483648.0f) continue;  // the bare conversion is undefined there
        ASSERT_EQ(rz::QuantizeChannel(v, scale, offset), static_cast<std::int32_t>(sum))
            << v << " x " << scale << " + " << offset;
    }
    // Every 8-bit boundary exactly, and its neighbours.
    for (int k = 0; k <= 255; ++k) {
        for (int step = -3; step <= 3; ++step) {
            if (k == 0 && step < 0) continue;
            const float v = FromBits(Bits(static_cast<float>(k) / 255.0f) + static_cast<std::uint32_t>(step));
            for (float offset : offsets) {
                float sum;
                {
                    RoundingModeScope mode(FE_TOWARDZERO);
                    sum = RefAdd(RefMul(v, 255.0f), offset);
                }
                ASSERT_EQ(rz::QuantizeChannel(v, 255.0f, offset), static_cast<std::int32_t>(sum));
            }
        }
    }
    EXPECT_EQ(rz::QuantizeChannel(NAN, 255.0f, 0.5f), 0);
    EXPECT_EQ(rz::QuantizeChannel(INFINITY, 255.0f, 0.5f), 2147483647);
    EXPECT_EQ(rz::QuantizeChannel(-1e30f, 255.0f, 0.5f), -2147483647 - 1);
}

// The linear weights built here equal those built with the processor in toward-zero mode.
TEST(TowardZero, LinearWeightsMatchProcessorMode) {
    for (unsigned n : {1u, 2u, 3u, 7u, 10u, 333u, 1000u}) {
        for (unsigned m : {1u, 3u, 4u, 7u, 512u, 999u}) {
            std::vector<tolvane::pixels::LinearWeight> w(m);
            tolvane::pixels::BuildLinearWeights(n, m, false, w.data());
            RoundingModeScope mode(FE_TOWARDZERO);
            const float scale = RefDiv(static_cast<float>(n), static_cast<float>(m));
            for (unsigned i = 0; i < m; ++i) {
                const float x = RefAdd(RefMul(static_cast<float>(i), scale), -0.5f);
                const float x0 = std::floor(x);
                const float w0 = RefAdd(1.0f, -RefAdd(x, -x0));
                ASSERT_EQ(Bits(w[i].Weight0), Bits(w0)) << n << "->" << m << " at " << i;
                ASSERT_EQ(Bits(w[i].Weight1), Bits(RefAdd(1.0f, -w0)));
            }
        }
    }
}

// A caller's rounding mode does not change the converted bits, and comes back unchanged.
TEST(TowardZero, ConversionIgnoresCallerRoundingMode) {
    constexpr unsigned kW = 37, kH = 29;
    std::vector<std::uint32_t> src(kW * kH);
    std::mt19937 rng(2);
    for (std::uint32_t& p : src) p = static_cast<std::uint32_t>(rng());
    auto convert = [&](D3DFORMAT format, DWORD filter) {
        std::vector<std::uint8_t> out(20 * 16 * 4, 0);
        SurfaceDesc s{}, d{};
        s.Data = src.data();
        s.Format = D3DFMT_A8R8G8B8;
        s.RowPitch = kW * 4;
        s.Region = {0, 0, filter == FILTER_BOX ? kW - 1 : kW, filter == FILTER_BOX ? kH - 1 : kH, 0, 1};
        d.Data = out.data();
        d.Format = format;
        d.RowPitch = 20 * 4;
        d.Region = {0, 0, format == D3DFMT_DXT5 ? 20u : 18u, format == D3DFMT_DXT5 ? 16u : 14u, 0, 1};
        EXPECT_EQ(ConvertSurface(&d, &s, filter), S_OK);
        return out;
    };
    // The box average of four bytes lands exactly on a rounding boundary for a quarter of the
    // pixels, so any change of the float steps' rounding shows there.
    for (auto [format, filter] : {std::pair{D3DFMT_X8R8G8B8, FILTER_BOX}, std::pair{D3DFMT_L8, FILTER_LINEAR | FILTER_DITHER},
                                  std::pair{D3DFMT_A8L8, FILTER_TRIANGLE}, std::pair{D3DFMT_DXT5, FILTER_TRIANGLE}}) {
        const auto nearest = convert(format, filter);
        for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
            std::fesetround(mode);
            const auto other = convert(format, filter);
            EXPECT_EQ(std::fegetround(), mode);
            std::fesetround(FE_TONEAREST);
            EXPECT_EQ(other, nearest) << "mode " << mode << " " << testutil::NameOf(format);
        }
    }
}

// Luma and palette distances inside a row write follow the processor's toward-zero steps.
TEST(TowardZero, LumaAndPaletteWritesMatchProcessorMode) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    PALETTEENTRY palette[256];
    for (PALETTEENTRY& e : palette)
        e = {static_cast<BYTE>(rng() % 8 * 32), static_cast<BYTE>(rng() % 8 * 32), static_cast<BYTE>(rng() % 4 * 64),
             static_cast<BYTE>(rng() % 2 * 255)};
    Color colours[256];
    Color paletteColours[256];
    for (int i = 0; i < 256; ++i) {
        // Sums of a few quarter steps make exact ties between entries common.
        colours[i] = {static_cast<float>(rng() % 9) * 0.125f, u(rng), static_cast<float>(rng() % 5) * 0.25f,
                      rng() % 2 ? 1.0f : 0.0f};
        const float k = 1.0f / 255.0f;
        paletteColours[i] = {palette[i].peRed * k, palette[i].peGreen * k, palette[i].peBlue * k, palette[i].peFlags * k};
    }
    std::uint8_t luma[256], index[256];
    SurfaceDesc d{};
    d.Format = D3DFMT_L8;
    d.Data = luma;
    d.RowPitch = 256;
    d.Region = {0, 0, 256, 1, 0, 1};
    PixelCodec* l8 = CreatePixelCodec(d);
    l8->WriteRow(0, 0, colours);
    l8->Destroy(true);
    d.Format = D3DFMT_P8;
    d.Data = index;
    d.Palette = palette;
    PixelCodec* p8 = CreatePixelCodec(d);
    p8->WriteRow(0, 0, colours);
    p8->Destroy(true);

    RoundingModeScope mode(FE_TOWARDZERO);
    for (int i = 0; i < 256; ++i) {
        const Color& c = colours[i];
        const float l = RefAdd(RefAdd(RefMul(0.2125f, c.r), RefMul(0.7154f, c.g)), RefMul(0.0721f, c.b));
        EXPECT_EQ(luma[i], static_cast<int>(RefAdd(RefMul(l, 255.0f), 0.5f))) << i;
        float best = 3.4028235e38f;
        int bestIndex = 0;
        for (int e = 0; e < 256; ++e) {
            const Color& p = paletteColours[e];
            const float dr = RefAdd(c.r, -p.r), dg = RefAdd(c.g, -p.g), db = RefAdd(c.b, -p.b), da = RefAdd(c.a, -p.a);
            const float dist =
                RefAdd(RefAdd(RefAdd(RefMul(dr, dr), RefMul(dg, dg)), RefMul(db, db)), RefMul(da, da));
            if (dist < best) {
                best = dist;
                bestIndex = e;
            }
        }
        EXPECT_EQ(index[i], bestIndex) << i;
    }
}

// The nearest-palette search (which skips entries that cannot win) against a full scan
// of the toward-zero distances computed by the processor.
TEST(TowardZero, PaletteSearchMatchesFullScan) {
    std::mt19937 rng(23);
    std::uniform_real_distribution<float> u(-0.1f, 1.1f);
    for (int round = 0; round < 20; ++round) {
        Color palette[256];
        for (Color& p : palette) {
            // Coarse values: many entries equally near a colour.
            p = {static_cast<float>(rng() % 4) / 3.0f, static_cast<float>(rng() % 4) / 3.0f,
                 static_cast<float>(rng() % 3) / 2.0f, static_cast<float>(rng() % 2)};
        }
        for (int n = 0; n < 300; ++n) {
            Color c = n % 2 ? Color{u(rng), u(rng), u(rng), u(rng)}
                            : Color{static_cast<float>(rng() % 7) / 6.0f, static_cast<float>(rng() % 7) / 6.0f,
                                    static_cast<float>(rng() % 5) / 4.0f, static_cast<float>(rng() % 3) / 2.0f};
            for (bool withAlpha : {false, true}) {
                const UINT found = FindNearestPaletteEntry(palette, c, withAlpha);
                RoundingModeScope mode(FE_TOWARDZERO);
                float best = 3.4028235e38f;
                UINT expected = 0;
                for (UINT e = 0; e < 256; ++e) {
                    const Color& p = palette[e];
                    const float dr = RefAdd(c.r, -p.r), dg = RefAdd(c.g, -p.g), db = RefAdd(c.b, -p.b);
                    float dist = RefAdd(RefAdd(RefMul(dr, dr), RefMul(dg, dg)), RefMul(db, db));
                    if (withAlpha) {
                        const float da = RefAdd(c.a, -p.a);
                        dist = RefAdd(dist, RefMul(da, da));
                    }
                    if (dist < best) {
                        best = dist;
                        expected = e;
                    }
                }
                ASSERT_EQ(found, expected) << "round " << round << " colour " << n;
            }
        }
    }
}

// Conversions on two threads at once, one of them running in another rounding mode, give
// each the bits of a conversion alone: there is no shared rounding state.
TEST(TowardZero, ConcurrentConversionsDoNotInterfere) {
    constexpr unsigned kW = 64, kH = 48;
    std::vector<std::uint32_t> src(kW * kH);
    std::mt19937 rng(31);
    for (std::uint32_t& p : src) p = static_cast<std::uint32_t>(rng());
    auto convert = [&](D3DFORMAT format, DWORD filter) {
        std::vector<std::uint8_t> out(32 * 24 * 2, 0);
        SurfaceDesc s{}, d{};
        s.Data = src.data();
        s.Format = D3DFMT_A8R8G8B8;
        s.RowPitch = kW * 4;
        s.Region = {0, 0, kW, kH, 0, 1};
        d.Data = out.data();
        d.Format = format;
        d.RowPitch = 32 * 2;
        d.Region = {0, 0, 32, 24, 0, 1};
        EXPECT_EQ(ConvertSurface(&d, &s, filter), S_OK);
        return out;
    };
    const auto refA = convert(D3DFMT_A8L8, FILTER_BOX);
    const auto refB = convert(D3DFMT_R5G6B5, FILTER_TRIANGLE | FILTER_DITHER);
    bool sameA = true, sameB = true;
    std::thread a([&] {
        std::fesetround(FE_UPWARD);
        for (int i = 0; i < 200; ++i) sameA = sameA && convert(D3DFMT_A8L8, FILTER_BOX) == refA;
        std::fesetround(FE_TONEAREST);
    });
    std::thread b([&] {
        for (int i = 0; i < 200; ++i) sameB = sameB && convert(D3DFMT_R5G6B5, FILTER_TRIANGLE | FILTER_DITHER) == refB;
    });
    a.join();
    b.join();
    EXPECT_TRUE(sameA);
    EXPECT_TRUE(sameB);
}

// Every value within 64 units in the last place of every rounding boundary (k - offset) /
// scale of the channel scales up to 1024, for every dither offset, in both signs.
TEST(TowardZero, ChannelQuantisationExhaustiveNearBoundaries) {
    const float scales[] = {1, 3, 7, 15, 31, 63, 255, 16, 128, 512, 1024};
    std::vector<float> offsets = {0.5f};
    for (int m = 0; m < 16; ++m) offsets.push_back((static_cast<float>(m) + 0.5f) / 16.0f);
    long checked = 0;
    for (float scale : scales) {
        for (float offset : offsets) {
            for (int k = -static_cast<int>(scale); k <= static_cast<int>(scale) + 1; ++k) {
                const float centre = (static_cast<float>(k) - offset) / scale;
                for (int step = -64; step <= 64; ++step) {
                    std::uint32_t bits = Bits(centre);
                    if (centre == 0.0f) continue;
                    bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(bits) + step);
                    const float v = FromBits(bits);
                    if (!std::isfinite(v)) continue;
                    float sum;
                    {
                        RoundingModeScope mode(FE_TOWARDZERO);
                        sum = RefAdd(RefMul(v, scale), offset);
                    }
                    ASSERT_EQ(rz::QuantizeChannel(v, scale, offset), static_cast<std::int32_t>(sum))
                        << v << " x " << scale << " + " << offset;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 8000000);
}
