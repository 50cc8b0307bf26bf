// The inner loops of the box and triangle filters. Each fast kernel has a plain *Ref twin
// that it matches bit for bit on every vector target (tests/image/test_convert_kernels.cpp).
// The fast kernels run on the best target this processor has among those
// TOLVANE_VECTOR_TARGETS names (all when it is unset), or among vectorTargets (Highway
// target bits: HWY_AVX2 ...), the portable fallback when it has none of them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/types.h"
#include "platform/d3d8/d3d8types.h"

namespace tolvane::pixels {

// The vector targets the fast kernels are compiled for (the portable fallback among them).
std::int64_t FilterKernelTargets();

// True for the formats whose 2x2 box average is taken on the packed fields.
bool BoxHalveIntegerSupported(D3DFORMAT format);

// One destination row of width pixels from source rows row0 and row1 (2 x width pixels
// each): every field is (a + b + c + d + 2) / 4; bits outside the fields come out 0.
void BoxHalveIntegerRow(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                        std::size_t width);
void BoxHalveIntegerRow(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                        std::size_t width, std::int64_t vectorTargets);
void BoxHalveIntegerRowRef(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1,
                           std::uint8_t* out, std::size_t width);

// out[x] = (((s0[2x] + s0[2x + second]) + s1[2x]) + s1[2x + second]) * 0.25 per channel;
// second is 1, or 0 for a source one pixel wide.
void BoxAverageRow(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width);
void BoxAverageRow(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width,
                   std::int64_t vectorTargets);
void BoxAverageRowRef(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width);

// One tap of the triangle filter across x.
struct ColumnTap {
    std::uint32_t Source;
    std::uint32_t Destination;
    float Weight;
};

// For every tap: acc[Destination] += (Weight * rowWeight) * source[Source].
void ScatterRow(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc);
void ScatterRow(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc,
                std::int64_t vectorTargets);
void ScatterRowRef(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc);

}  // namespace tolvane::pixels
