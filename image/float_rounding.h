// Single-precision arithmetic rounded toward zero, computed without touching the
// processor's rounding mode.
//
// The channel writers, the luma and palette-distance arithmetic inside a row write and the
// linear weight builder are defined as float operations rounded toward zero. Switching the
// processor's mode would be borrowed state shared by every thread; instead each operation is
// done in ordinary round-to-nearest arithmetic and corrected: the exact result is known in
// double precision (a product of two floats is exact there) or from the error term of the
// sum, and a result that was rounded away from zero steps back one unit toward zero.
// tests/image/test_codec_rounding.cpp compares every helper with the processor running in
// round-toward-zero mode.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tolvane::rz {

// The float next to f toward zero (f finite and not 0).
inline float StepTowardZero(float f) { return std::nextafter(f, 0.0f); }

// a * b rounded toward zero.
inline float Mul(float a, float b) {
    const double exact = static_cast<double>(a) * static_cast<double>(b);
    const float nearest = static_cast<float>(exact);
    if (std::isnan(exact)) {
        return nearest;
    }
    if (std::isinf(nearest) && !std::isinf(exact)) {
        return std::copysign(std::numeric_limits<float>::max(), nearest);
    }
    if (std::fabs(static_cast<double>(nearest)) > std::fabs(exact)) {
        return StepTowardZero(nearest);
    }
    return nearest;
}

// a + b rounded toward zero. The round-to-nearest sum plus its exact error term (Knuth's
// two-sum) tells whether the sum was rounded away from zero.
inline float Add(float a, float b) {
    const float sum = a + b;
    if (!std::isfinite(sum)) {
        if (std::isinf(sum) && std::isfinite(a) && std::isfinite(b)) {
            return std::copysign(std::numeric_limits<float>::max(), sum);
        }
        return sum;
    }
    const float bVirtual = sum - a;
    const float aVirtual = sum - bVirtual;
    const float error = (a - aVirtual) + (b - bVirtual);
    if (error != 0.0f && ((sum > 0.0f && error < 0.0f) || (sum < 0.0f && error > 0.0f))) {
        return StepTowardZero(sum);
    }
    return sum;
}

inline float Sub(float a, float b) { return Add(a, -b); }

// a / b rounded toward zero (b not 0). q * b is exact in double, so comparing it with a
// says whether the quotient was rounded up in magnitude.
inline float Div(float a, float b) {
    const float q = a / b;
    if (!std::isfinite(q) || q == 0.0f) {
        if (std::isinf(q) && std::isfinite(a) && b != 0.0f) {
            return std::copysign(std::numeric_limits<float>::max(), q);
        }
        return q;
    }
    const double back = static_cast<double>(q) * static_cast<double>(b);
    if (std::fabs(back) > std::fabs(static_cast<double>(a))) {
        return StepTowardZero(q);
    }
    return q;
}

// Float to integer with truncation toward zero; NaN gives 0 and values beyond the 32-bit
// range saturate, where a bare conversion would be undefined.
inline std::int32_t TruncateToInt(float f) {
    if (!(f == f)) {
        return 0;
    }
    if (f >= 2147483648.0f) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (f <= -2147483648.0f) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(f);
}

// The integer a channel write stores: truncation of (value * scale + offset) with both
// operations rounded toward zero. scale is an integer below 2^16 and offset a multiple of
// 1/32 in (0, 1) (a dither-table entry). Below 2^18 in magnitude the double
// value * scale + offset is exact, and truncating it gives the same integer as truncating the
// two float steps: every integer and every integer minus the offset is a float there, so
// rounding toward zero never steps across one. Larger values (far outside every channel's
// range), infinities and NaN take the emulated float steps.
inline std::int32_t QuantizeChannel(float value, float scale, float offset) {
    const double exact = static_cast<double>(value) * static_cast<double>(scale) + static_cast<double>(offset);
    if (std::fabs(exact) < 262144.0) {
        return static_cast<std::int32_t>(exact);
    }
    return TruncateToInt(Add(Mul(value, scale), offset));
}

}  // namespace tolvane::rz
