// Box and triangle filter kernels, written once on Highway and compiled for every vector
// target of the build, one chosen at run time, each beside its plain *Ref twin. Lane by
// lane they perform the same integer sums, or the same float operations in the same order
// (no fused multiply-add: the image library builds with -ffp-contract=off, and nothing here
// asks for one), so every target's results are the twin's.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "image/filter_kernels.cpp"
#ifndef HWY_COMPILE_ALL_ATTAINABLE
#define HWY_COMPILE_ALL_ATTAINABLE
#endif
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128 | HWY_RVV)
#endif
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/cache_control.h>
#include <hwy/highway.h>

#include "image/filter_kernels.h"
#include "image/pixel_formats.h"
#include "simd/targets.h"

HWY_BEFORE_NAMESPACE();
namespace tolvane::pixels {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

#if HWY_TARGET == HWY_SCALAR
// The one-lane target holds neither four floats nor a pair of pixels: plain loops. The box
// goes byte by byte, without carries between bytes, which the compiler can vectorise.
std::size_t BoxHalve8888(bool keepAlpha, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                         std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint8_t* p0 = row0 + 8 * x;
        const std::uint8_t* p1 = row1 + 8 * x;
        for (int c = 0; c < 4; ++c) {
            const unsigned sum = 2u + p0[c] + p0[4 + c] + p1[c] + p1[4 + c];
            out[4 * x + c] = static_cast<std::uint8_t>(sum >> 2);
        }
        if (!keepAlpha) {
            out[4 * x + 3] = 0;
        }
    }
    return width;
}

void BoxAverage(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width) {
    BoxAverageRowRef(s0, s1, second, out, width);
}

void Scatter(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc) {
    ScatterRowRef(source, taps, count, rowWeight, acc);
}
#else
// A8R8G8B8 and X8R8G8B8: every destination byte is (a + b + c + d + 2) / 4 of the same byte
// of its four source pixels, the alpha byte 0 without alpha, in byte arithmetic. With
// a + c = 2 h1 + r1 and b + d = 2 h2 + r2 (h the halves rounded down, r the parities),
// (a + b + c + d + 2) / 4 = (h1 + h2 + 1 + (r1 & r2)) / 2: the rounding average of h1 + (r1 & r2)
// (at most 255: r1 = 1 leaves h1 at most 254) and h2. The columns' halves come from the two
// rows, the pairs from even and odd source pixels. Returns the pixels done.
std::size_t BoxHalve8888(bool keepAlpha, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                         std::size_t width) {
    const hn::ScalableTag<std::uint8_t> d8;
    const hn::Repartition<std::uint32_t, decltype(d8)> d32;
    using V8 = hn::Vec<decltype(d8)>;
    const std::size_t n = hn::Lanes(d32);  // destination pixels per step
    const std::size_t bytes = hn::Lanes(d8);
    const V8 one = hn::Set(d8, 1);
    const auto keep = hn::Set(d32, keepAlpha ? 0xFFFFFFFFu : 0x00FFFFFFu);
    // Each byte's half of the two rows' sum, rounded down, and its parity.
    auto column = [&](V8 x, V8 y, V8& half, V8& parity) {
        parity = hn::And(hn::Xor(x, y), one);
        half = hn::Sub(hn::AverageRound(x, y), parity);
    };
    std::size_t done = 0;
    for (; done + n <= width; done += n) {
        const std::uint8_t* p0 = row0 + done * 8;
        const std::uint8_t* p1 = row1 + done * 8;
        // Two source rows stream in at once; fetching a kilobyte ahead keeps the loads from
        // waiting on memory.
        hwy::Prefetch(p0 + 1024);
        hwy::Prefetch(p1 + 1024);
        V8 h0, r0, h1, r1;
        column(hn::LoadU(d8, p0), hn::LoadU(d8, p1), h0, r0);
        column(hn::LoadU(d8, p0 + bytes), hn::LoadU(d8, p1 + bytes), h1, r1);
        auto even = [&](V8 lo, V8 hi) {
            return hn::BitCast(d8, hn::ConcatEven(d32, hn::BitCast(d32, hi), hn::BitCast(d32, lo)));
        };
        auto odd = [&](V8 lo, V8 hi) {
            return hn::BitCast(d8, hn::ConcatOdd(d32, hn::BitCast(d32, hi), hn::BitCast(d32, lo)));
        };
        const V8 first = hn::Add(even(h0, h1), hn::And(even(r0, r1), odd(r0, r1)));
        const V8 result = hn::AverageRound(first, odd(h0, h1));
        hn::StoreU(hn::And(hn::BitCast(d32, result), keep), d32, reinterpret_cast<std::uint32_t*>(out + done * 4));
    }
    return done;
}

// One pixel (four floats) per vector, as the plain loop takes them.
void BoxAverage(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width) {
    static_assert(sizeof(Color) == 4 * sizeof(float));
    const hn::FixedTag<float, 4> d;
    const auto quarter = hn::Set(d, 0.25f);
    const float* f0 = &s0[0].r;
    const float* f1 = &s1[0].r;
    for (std::size_t x = 0; x < width; ++x) {
        const std::size_t i0 = 8 * x;
        const std::size_t i1 = 8 * x + 4 * second;
        const auto sum = hn::Add(hn::Add(hn::Add(hn::LoadU(d, f0 + i0), hn::LoadU(d, f0 + i1)), hn::LoadU(d, f1 + i0)),
                                 hn::LoadU(d, f1 + i1));
        hn::StoreU(hn::Mul(sum, quarter), d, &out[x].r);
    }
}

void Scatter(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc) {
    const hn::FixedTag<float, 4> d;
    for (std::size_t k = 0; k < count; ++k) {
        const auto w = hn::Set(d, taps[k].Weight * rowWeight);
        float* a = &acc[taps[k].Destination].r;
        hn::StoreU(hn::Add(hn::LoadU(d, a), hn::Mul(w, hn::LoadU(d, &source[taps[k].Source].r))), d, a);
    }
}
#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace HWY_NAMESPACE
}  // namespace tolvane::pixels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace tolvane::pixels {
namespace {

HWY_EXPORT(BoxHalve8888);
HWY_EXPORT(BoxAverage);
HWY_EXPORT(Scatter);

std::size_t Slot(std::int64_t targets) { return simd::DispatchIndex(targets, HWY_TARGETS); }

bool IntegerBoxFormat(D3DFORMAT format) {
    const FormatFacts* facts = FindFormatFacts(format);
    return facts != nullptr && facts->IntegerBox;
}

std::uint32_t Load(const std::uint8_t* p, unsigned bytes) {
    std::uint32_t v = 0;
    for (unsigned i = 0; i < bytes; ++i) {
        v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    }
    return v;
}

void Store(std::uint8_t* p, unsigned bytes, std::uint32_t v) {
    for (unsigned i = 0; i < bytes; ++i) {
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

}  // namespace

std::int64_t FilterKernelTargets() { return HWY_TARGETS; }

bool BoxHalveIntegerSupported(D3DFORMAT format) { return IntegerBoxFormat(format); }

void BoxHalveIntegerRowRef(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1,
                           std::uint8_t* out, std::size_t width) {
    const FormatFacts* facts = FindFormatFacts(format);
    if (facts == nullptr || !IntegerBoxFormat(format)) {
        return;
    }
    const unsigned bytes = facts->BitsPerPixel / 8;
    const Field fields[4] = {facts->Red, facts->Green, facts->Blue, facts->Alpha};
    for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t a = Load(row0 + 2 * x * bytes, bytes);
        const std::uint32_t b = Load(row0 + (2 * x + 1) * bytes, bytes);
        const std::uint32_t c = Load(row1 + 2 * x * bytes, bytes);
        const std::uint32_t d = Load(row1 + (2 * x + 1) * bytes, bytes);
        std::uint32_t v = 0;
        for (const Field& f : fields) {
            if (f.Bits == 0) {
                continue;
            }
            const std::uint32_t mask = (1u << f.Bits) - 1u;
            const std::uint32_t sum = ((a >> f.Shift) & mask) + ((b >> f.Shift) & mask) + ((c >> f.Shift) & mask) +
                                      ((d >> f.Shift) & mask) + 2u;
            v |= ((sum / 4u) & mask) << f.Shift;
        }
        Store(out + x * bytes, bytes, v);
    }
}

void BoxHalveIntegerRow(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                        std::size_t width, std::int64_t vectorTargets) {
    std::size_t done = 0;
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8) {
        done = HWY_DISPATCH_TABLE(BoxHalve8888)[Slot(vectorTargets)](format == D3DFMT_A8R8G8B8, row0, row1, out, width);
    }
    const FormatFacts* facts = FindFormatFacts(format);
    if (facts == nullptr) {
        return;
    }
    const std::size_t bytes = facts->BitsPerPixel / 8;
    BoxHalveIntegerRowRef(format, row0 + 2 * done * bytes, row1 + 2 * done * bytes, out + done * bytes,
                          width - done);
}

void BoxHalveIntegerRow(D3DFORMAT format, const std::uint8_t* row0, const std::uint8_t* row1, std::uint8_t* out,
                        std::size_t width) {
    BoxHalveIntegerRow(format, row0, row1, out, width, simd::EnvironmentTargets());
}

void BoxAverageRowRef(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x) {
        const Color& p00 = s0[2 * x];
        const Color& p01 = s0[2 * x + second];
        const Color& p10 = s1[2 * x];
        const Color& p11 = s1[2 * x + second];
        out[x] = {(((p00.r + p01.r) + p10.r) + p11.r) * 0.25f, (((p00.g + p01.g) + p10.g) + p11.g) * 0.25f,
                  (((p00.b + p01.b) + p10.b) + p11.b) * 0.25f, (((p00.a + p01.a) + p10.a) + p11.a) * 0.25f};
    }
}

void BoxAverageRow(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width,
                   std::int64_t vectorTargets) {
    HWY_DISPATCH_TABLE(BoxAverage)[Slot(vectorTargets)](s0, s1, second, out, width);
}

void BoxAverageRow(const Color* s0, const Color* s1, unsigned second, Color* out, std::size_t width) {
    BoxAverageRow(s0, s1, second, out, width, simd::EnvironmentTargets());
}

void ScatterRowRef(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc) {
    for (std::size_t k = 0; k < count; ++k) {
        const float w = taps[k].Weight * rowWeight;
        const Color& p = source[taps[k].Source];
        Color& a = acc[taps[k].Destination];
        a.r += w * p.r;
        a.g += w * p.g;
        a.b += w * p.b;
        a.a += w * p.a;
    }
}

void ScatterRow(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc,
                std::int64_t vectorTargets) {
    HWY_DISPATCH_TABLE(Scatter)[Slot(vectorTargets)](source, taps, count, rowWeight, acc);
}

void ScatterRow(const Color* source, const ColumnTap* taps, std::size_t count, float rowWeight, Color* acc) {
    ScatterRow(source, taps, count, rowWeight, acc, simd::EnvironmentTargets());
}

}  // namespace tolvane::pixels
#endif  // HWY_ONCE
