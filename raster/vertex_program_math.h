// The arithmetic of the vertex program instructions that is more than one IEEE operation,
// written once for one float. vertex_program_simd.cpp repeats each function with vector
// operations in the same order, so every target gives the same bits (the library builds
// with -ffp-contract=off: no fused multiply-adds).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace raster::detail::program {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kMaxFloat = std::numeric_limits<float>::max();
constexpr float kMinNormal = std::numeric_limits<float>::min();

// 2^f for -0.5 <= f <= 0.5 as the degree-7 Taylor polynomial of e^(f ln 2): the first term
// left out is below (ln 2 / 2)^8 / 8! = 5.2e-9 (2^-27.5), so float rounding (a few units in
// the last place) is the error that remains. kExp2[k] = (ln 2)^k / k!.
constexpr float kExp2[8] = {1.0f,          0.69314718f,   0.24022651f,    0.055504109f,
                            0.0096181291f, 0.0013333558f, 0.00015403530f, 1.5252734e-05f};

// ln m = 2 (t + t^3/3 + t^5/5 + t^7/7 + t^9/9 + ...) with t = (m - 1) / (m + 1); for m in
// [sqrt(1/2), sqrt(2)] |t| <= 0.1716 and the first term left out, 2 t^11 / 11, is below
// 2^-30 relative.
constexpr float kLogSeries[5] = {2.0f, 0.66666667f, 0.4f, 0.28571429f, 0.22222222f};
constexpr float kInverseLn2 = 1.4426950f;
constexpr float kSqrt2 = 1.4142135f;

// lit's power limit: the largest 8.8 fixed-point value.
constexpr float kLitMaxPower = 127.9961f;

// The partial-precision results (expp.z, logp.z) keep 15 mantissa bits.
constexpr std::uint32_t kPartialMask = 0xFFFFFF00u;

inline std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
inline float FromBits(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// 2^x: +infinity from 128 up, 0 below -126 (results under the smallest normal are flushed).
inline float Exp2(float x) {
    if (x != x) return x;
    if (x >= 128.0f) return kInfinity;
    if (x < -126.0f) return 0.0f;
    const float n = std::floor(x + 0.5f);
    const float f = x - n;  // exact: |f| <= 0.5 and n is x's nearest integer
    float p = kExp2[7];
    for (int k = 6; k >= 0; --k) p = p * f + kExp2[k];
    // 2^n as exponent bits; n = 128 (x in [127.5, 128)) is 2^127 times 2.
    const int ni = static_cast<int>(n);
    const float scale = FromBits(static_cast<std::uint32_t>(std::min(ni, 127) + 127) << 23);
    return (p * scale) * (ni > 127 ? 2.0f : 1.0f);
}

// log2|x|: -FLT_MAX for 0 and denormals, +infinity for infinities, NaN for NaN.
inline float Log2(float x) {
    const float a = std::fabs(x);
    if (a != a) return a;
    if (a < kMinNormal) return -kMaxFloat;
    if (a == kInfinity) return kInfinity;
    const std::uint32_t bits = Bits(a);
    int e = static_cast<int>(bits >> 23) - 127;
    float m = FromBits((bits & 0x007FFFFFu) | 0x3F800000u);
    if (m > kSqrt2) {
        m = m * 0.5f;
        e = e + 1;
    }
    const float t = (m - 1.0f) / (m + 1.0f);
    const float t2 = t * t;
    float s = kLogSeries[4];
    for (int k = 3; k >= 0; --k) s = s * t2 + kLogSeries[k];
    return static_cast<float>(e) + (t * s) * kInverseLn2;
}

inline float Partial(float x) { return FromBits(Bits(x) & kPartialMask); }

}  // namespace raster::detail::program
