// Comparison helpers for the math tests: exact bits, and distances in units in the last place.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "math/math3d.h"

inline std::uint32_t Bits(float f) { return std::bit_cast<std::uint32_t>(f); }
inline float FromBits(std::uint32_t b) { return std::bit_cast<float>(b); }

// The spacing of floats at the magnitude of x.
inline float UlpAt(float x) {
    x = std::fabs(x);
    if (!(x >= std::numeric_limits<float>::min())) return std::numeric_limits<float>::denorm_min();
    return std::nextafter(x, std::numeric_limits<float>::infinity()) - x;
}

// |a - b| within n ulps of the larger of |a|, |b| and `scale` (the magnitude of the object the
// value belongs to, so that a component near zero is judged against its neighbours).
inline ::testing::AssertionResult NearUlps(float a, float b, float n, float scale = 0.0f) {
    const float m = std::max({std::fabs(a), std::fabs(b), std::fabs(scale)});
    if (a == b || std::fabs(a - b) <= n * UlpAt(m)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " vs " << b << " differ by "
                                         << std::fabs(a - b) / UlpAt(m) << " ulps of " << m;
}

inline float MaxAbs(const Matrix& m) {
    float r = 0.0f;
    for (auto& row : m.m)
        for (float v : row) r = std::max(r, std::fabs(v));
    return r;
}

inline ::testing::AssertionResult MatrixNearUlps(const Matrix& a, const Matrix& b, float n) {
    const float scale = std::max(MaxAbs(a), MaxAbs(b));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            auto r = NearUlps(a.m[i][j], b.m[i][j], n, scale);
            if (!r) return r << " at [" << i << "][" << j << "]";
        }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult BitsEqual(const Matrix& a, const Matrix& b) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (Bits(a.m[i][j]) != Bits(b.m[i][j]))
                return ::testing::AssertionFailure()
                       << "[" << i << "][" << j << "]: " << a.m[i][j] << " vs " << b.m[i][j];
    return ::testing::AssertionSuccess();
}

template <class T>
inline ::testing::AssertionResult SameBits(const T& a, const T& b) {
    static_assert(sizeof(T) % 4 == 0);
    const auto* pa = reinterpret_cast<const unsigned char*>(&a);
    const auto* pb = reinterpret_cast<const unsigned char*>(&b);
    for (std::size_t i = 0; i < sizeof(T); ++i)
        if (pa[i] != pb[i]) return ::testing::AssertionFailure() << "byte " << i << " differs";
    return ::testing::AssertionSuccess();
}

inline Matrix MatrixFrom(std::initializer_list<float> values) {
    Matrix m{};
    int k = 0;
    for (float v : values) {
        m.m[k / 4][k % 4] = v;
        ++k;
    }
    return m;
}
