// The toward-zero float helpers against the processor running in round-toward-zero mode.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "image/convert.h"
#include "image/filter_weights.h"
#include "image/float_rounding.h"

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
            EXPECT_EQ(other, nearest) << "mode " << mode << " format " << format;
        }
    }
}
