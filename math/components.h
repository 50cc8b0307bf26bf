// Componentwise building blocks shared by the vector, quaternion, plane and colour sources.
// Every type is a plain record of 32-bit floats, so it converts losslessly to and from an
// array of its components; the loops below then serve every type, summing in component
// order as the formulas are written.
#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>

#include "math/math3d.h"
#include "math/export.h"

TOLVANE_API_BEGIN

namespace tolvane_math_detail {

template <class T>
using Components = std::array<float, sizeof(T) / sizeof(float)>;

template <class T>
inline Components<T> Split(const T& v) {
    return std::bit_cast<Components<T>>(v);
}

template <class T>
inline T Join(const Components<T>& c) {
    return std::bit_cast<T>(c);
}

template <class T>
inline float DotOf(const T& u, const T& v) {
    const Components<T> a = Split(u);
    const Components<T> b = Split(v);
    float sum = a[0] * b[0];
    for (std::size_t i = 1; i < a.size(); ++i) sum += a[i] * b[i];
    return sum;
}

// The three cases of the normalise rule for a squared length.
enum class LengthClass { kUnit, kScalable, kZero };

inline LengthClass ClassifyLengthSq(float lengthSq) {
    if (std::fabs(lengthSq - 1.0f) <= kUnitTolerance) return LengthClass::kUnit;
    if (lengthSq > kZeroLengthSq) return LengthClass::kScalable;
    return LengthClass::kZero;  // tiny, or NaN
}

template <class T>
inline T Scaled(const T& v, float s) {
    Components<T> c = Split(v);
    for (float& x : c) x *= s;
    return Join<T>(c);
}

// Normalises v by the squared length of its first `measured` components, scaling all.
template <class T>
inline T Normalized(const T& v, std::size_t measured) {
    const Components<T> c = Split(v);
    float lengthSq = c[0] * c[0];
    for (std::size_t i = 1; i < measured; ++i) lengthSq += c[i] * c[i];
    switch (ClassifyLengthSq(lengthSq)) {
    case LengthClass::kUnit:
        return v;
    case LengthClass::kScalable:
        return Scaled(v, 1.0f / std::sqrt(lengthSq));
    case LengthClass::kZero:
        return T{};
    }
    return T{};
}

template <class T>
inline T Normalized(const T& v) {
    return Normalized(v, Split(v).size());
}

template <class T, class F>
inline T Combine(const T& u, const T& v, F f) {
    const Components<T> a = Split(u);
    const Components<T> b = Split(v);
    Components<T> r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = f(a[i], b[i]);
    return Join<T>(r);
}

template <class T>
inline T Lerped(const T& a, const T& b, float s) {
    return Combine(a, b, [s](float x, float y) { return x + s * (y - x); });
}

template <class T>
inline T Minimum(const T& u, const T& v) {
    return Combine(u, v, [](float x, float y) { return x < y ? x : y; });
}

template <class T>
inline T Maximum(const T& u, const T& v) {
    return Combine(u, v, [](float x, float y) { return x > y ? x : y; });
}

// h1 p1 + h2 t1 + h3 p2 + h4 t2 with the cubic Hermite basis in s.
template <class T>
inline T Hermite(const T& p1, const T& t1, const T& p2, const T& t2, float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    const float h1 = 2.0f * s3 - 3.0f * s2 + 1.0f;
    const float h2 = s3 - 2.0f * s2 + s;
    const float h3 = -2.0f * s3 + 3.0f * s2;
    const float h4 = s3 - s2;
    const Components<T> a = Split(p1), b = Split(t1), c = Split(p2), d = Split(t2);
    Components<T> r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = h1 * a[i] + h2 * b[i] + h3 * c[i] + h4 * d[i];
    return Join<T>(r);
}

// The Catmull-Rom spline through p1 (s = 0) and p2 (s = 1).
template <class T>
inline T CatmullRom(const T& p0, const T& p1, const T& p2, const T& p3, float s) {
    const float s2 = s * s;
    const float s3 = s2 * s;
    const float k0 = -s3 + 2.0f * s2 - s;
    const float k1 = 3.0f * s3 - 5.0f * s2 + 2.0f;
    const float k2 = -3.0f * s3 + 4.0f * s2 + s;
    const float k3 = s3 - s2;
    const Components<T> a = Split(p0), b = Split(p1), c = Split(p2), d = Split(p3);
    Components<T> r;
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = 0.5f * (k0 * a[i] + k1 * b[i] + k2 * c[i] + k3 * d[i]);
    return Join<T>(r);
}

// p1 + f (p2 - p1) + g (p3 - p1).
template <class T>
inline T BaryCentric(const T& p1, const T& p2, const T& p3, float f, float g) {
    const Components<T> a = Split(p1), b = Split(p2), c = Split(p3);
    Components<T> r;
    for (std::size_t i = 0; i < r.size(); ++i) r[i] = a[i] + f * (b[i] - a[i]) + g * (c[i] - a[i]);
    return Join<T>(r);
}

}  // namespace tolvane_math_detail

TOLVANE_API_END
