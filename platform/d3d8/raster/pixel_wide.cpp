// The eight-pixel version of the pixel stage for processors with AVX2, chosen at run
// time. It runs the same arithmetic as the four-pixel path (ShadeSpan), lane for lane,
// so the two give the same pixels; it takes draws whose stages all have packed forms and
// whose textures wrap on power-of-two sizes with one filter for both directions
// (WideShadingApplies), and leaves the rest to the four-pixel path.
//
// Every function here carries the AVX2 target itself (no file-wide switch), so nothing
// compiled for AVX2 can stand in for a shared inline function elsewhere.
#include <immintrin.h>

#include <atomic>

#include "platform/d3d8/raster/pipeline.h"

#define TOLVANE_WIDE __attribute__((target("avx2"), always_inline)) inline
#define TOLVANE_WIDE_ENTRY __attribute__((target("avx2")))

namespace raster::detail {

namespace {

TOLVANE_WIDE __m256i Zero8() { return _mm256_setzero_si256(); }
TOLVANE_WIDE __m256i Ones8() { return _mm256_set1_epi32(-1); }
TOLVANE_WIDE __m256i Lo16(__m256i v) { return _mm256_unpacklo_epi8(v, _mm256_setzero_si256()); }
TOLVANE_WIDE __m256i Hi16(__m256i v) { return _mm256_unpackhi_epi8(v, _mm256_setzero_si256()); }

// a * b / 255 rounded, in 16-bit lanes holding 0..255.
TOLVANE_WIDE __m256i Mul255(__m256i a, __m256i b) {
    __m256i t = _mm256_add_epi16(_mm256_mullo_epi16(a, b), _mm256_set1_epi16(128));
    return _mm256_srli_epi16(_mm256_add_epi16(t, _mm256_srli_epi16(t, 8)), 8);
}

TOLVANE_WIDE __m256i Modulate(__m256i a, __m256i b) {
    return _mm256_packus_epi16(Mul255(Lo16(a), Lo16(b)), Mul255(Hi16(a), Hi16(b)));
}

TOLVANE_WIDE __m256i ReplicateAlpha(__m256i v) {
    __m256i a = _mm256_srli_epi32(v, 24);
    a = _mm256_or_si256(a, _mm256_slli_epi32(a, 8));
    return _mm256_or_si256(a, _mm256_slli_epi32(a, 16));
}

TOLVANE_WIDE __m256i Invert(__m256i v) { return _mm256_xor_si256(v, Ones8()); }

TOLVANE_WIDE __m256i Select(__m256i mask, __m256i a, __m256i b) { return _mm256_blendv_epi8(b, a, mask); }

TOLVANE_WIDE __m256i Mix(__m256i a, __m256i b, __m256i alpha) {
    __m256i inverse = Invert(alpha);
    __m256i lo = _mm256_add_epi16(Mul255(Lo16(a), Lo16(alpha)), Mul255(Lo16(b), Lo16(inverse)));
    __m256i hi = _mm256_add_epi16(Mul255(Hi16(a), Hi16(alpha)), Mul255(Hi16(b), Hi16(inverse)));
    return _mm256_packus_epi16(lo, hi);
}

struct Packed8 {
    __m256i diffuse, current, texture, factor, specular, temp;
};

TOLVANE_WIDE __m256i Argument(DWORD arg, const Packed8& in) {
    __m256i v;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: v = in.diffuse; break;
        case D3DTA_CURRENT: v = in.current; break;
        case D3DTA_TEXTURE: v = in.texture; break;
        case D3DTA_TFACTOR: v = in.factor; break;
        case D3DTA_SPECULAR: v = in.specular; break;
        case D3DTA_TEMP: v = in.temp; break;
        default: v = Zero8(); break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) v = ReplicateAlpha(v);
    if (arg & D3DTA_COMPLEMENT) v = Invert(v);
    return v;
}

TOLVANE_WIDE __m256i Operate(DWORD op, __m256i a1, __m256i a2, const Packed8& in) {
    const __m256i half = _mm256_set1_epi16(128);
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return Modulate(a1, a2);
        case D3DTOP_MODULATE2X:
            return _mm256_packus_epi16(_mm256_slli_epi16(Mul255(Lo16(a1), Lo16(a2)), 1), _mm256_slli_epi16(Mul255(Hi16(a1), Hi16(a2)), 1));
        case D3DTOP_MODULATE4X:
            return _mm256_packus_epi16(_mm256_slli_epi16(Mul255(Lo16(a1), Lo16(a2)), 2), _mm256_slli_epi16(Mul255(Hi16(a1), Hi16(a2)), 2));
        case D3DTOP_ADD: return _mm256_adds_epu8(a1, a2);
        case D3DTOP_SUBTRACT: return _mm256_subs_epu8(a1, a2);
        case D3DTOP_ADDSIGNED:
            return _mm256_packus_epi16(_mm256_sub_epi16(_mm256_add_epi16(Lo16(a1), Lo16(a2)), half),
                                       _mm256_sub_epi16(_mm256_add_epi16(Hi16(a1), Hi16(a2)), half));
        case D3DTOP_ADDSIGNED2X:
            return _mm256_packus_epi16(_mm256_slli_epi16(_mm256_sub_epi16(_mm256_add_epi16(Lo16(a1), Lo16(a2)), half), 1),
                                       _mm256_slli_epi16(_mm256_sub_epi16(_mm256_add_epi16(Hi16(a1), Hi16(a2)), half), 1));
        case D3DTOP_ADDSMOOTH:
            return _mm256_packus_epi16(
                _mm256_sub_epi16(_mm256_add_epi16(Lo16(a1), Lo16(a2)), Mul255(Lo16(a1), Lo16(a2))),
                _mm256_sub_epi16(_mm256_add_epi16(Hi16(a1), Hi16(a2)), Mul255(Hi16(a1), Hi16(a2))));
        case D3DTOP_BLENDDIFFUSEALPHA: return Mix(a1, a2, ReplicateAlpha(in.diffuse));
        case D3DTOP_BLENDTEXTUREALPHA: return Mix(a1, a2, ReplicateAlpha(in.texture));
        case D3DTOP_BLENDFACTORALPHA: return Mix(a1, a2, ReplicateAlpha(in.factor));
        case D3DTOP_BLENDCURRENTALPHA: return Mix(a1, a2, ReplicateAlpha(in.current));
        default: return a1;  // not reached: only packed operations come here
    }
}

TOLVANE_WIDE __m256i RunStages(const DrawSetup& d, Packed8& in, const __m256i* textures) {
    const __m256i colorMask = _mm256_set1_epi32(0x00FFFFFF);
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = textures[s];
        __m256i color = Operate(stage.colorOp, Argument(stage.colorArg[1], in), Argument(stage.colorArg[2], in), in);
        __m256i alpha;
        if (stage.alphaOp == D3DTOP_DISABLE) alpha = in.current;
        else if (stage.alphaOp == stage.colorOp && stage.alphaArg[1] == stage.colorArg[1] && stage.alphaArg[2] == stage.colorArg[2])
            alpha = color;
        else
            alpha = Operate(stage.alphaOp, Argument(stage.alphaArg[1], in), Argument(stage.alphaArg[2], in), in);
        __m256i result = Select(colorMask, color, alpha);
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

TOLVANE_WIDE __m256i Factor(DWORD factor, __m256i src, __m256i dst) {
    switch (factor) {
        case D3DBLEND_ZERO: return Zero8();
        case D3DBLEND_ONE: return Ones8();
        case D3DBLEND_SRCCOLOR: return src;
        case D3DBLEND_INVSRCCOLOR: return Invert(src);
        case D3DBLEND_SRCALPHA: return ReplicateAlpha(src);
        case D3DBLEND_INVSRCALPHA: return Invert(ReplicateAlpha(src));
        case D3DBLEND_DESTALPHA: return ReplicateAlpha(dst);
        case D3DBLEND_INVDESTALPHA: return Invert(ReplicateAlpha(dst));
        case D3DBLEND_DESTCOLOR: return dst;
        case D3DBLEND_INVDESTCOLOR: return Invert(dst);
        case D3DBLEND_SRCALPHASAT:
            return _mm256_or_si256(_mm256_min_epu8(ReplicateAlpha(src), Invert(ReplicateAlpha(dst))),
                                   _mm256_set1_epi32(static_cast<int>(0xFF000000u)));
        default: return Ones8();
    }
}

TOLVANE_WIDE __m256i Blend(const DrawSetup& d, __m256i src, __m256i dst) {
    if (d.blendOp == D3DBLENDOP_MIN) return _mm256_min_epu8(src, dst);
    if (d.blendOp == D3DBLENDOP_MAX) return _mm256_max_epu8(src, dst);
    const DWORD sf = d.srcBlend, df = d.destBlend;  // the two-in-one factors are resolved at set-up
    __m256i sfv = Factor(sf, src, dst), dfv = Factor(df, src, dst);
    __m256i slo = Mul255(Lo16(src), Lo16(sfv)), shi = Mul255(Hi16(src), Hi16(sfv));
    __m256i dlo = Mul255(Lo16(dst), Lo16(dfv)), dhi = Mul255(Hi16(dst), Hi16(dfv));
    switch (d.blendOp) {
        case D3DBLENDOP_SUBTRACT: return _mm256_packus_epi16(_mm256_sub_epi16(slo, dlo), _mm256_sub_epi16(shi, dhi));
        case D3DBLENDOP_REVSUBTRACT: return _mm256_packus_epi16(_mm256_sub_epi16(dlo, slo), _mm256_sub_epi16(dhi, shi));
        default: return _mm256_packus_epi16(_mm256_add_epi16(slo, dlo), _mm256_add_epi16(shi, dhi));
    }
}

TOLVANE_WIDE __m256i Compare(DWORD func, __m256i value, __m256i reference) {
    switch (func) {
        case D3DCMP_NEVER: return Zero8();
        case D3DCMP_LESS: return _mm256_cmpgt_epi32(reference, value);
        case D3DCMP_EQUAL: return _mm256_cmpeq_epi32(value, reference);
        case D3DCMP_LESSEQUAL: return Invert(_mm256_cmpgt_epi32(value, reference));
        case D3DCMP_GREATER: return _mm256_cmpgt_epi32(value, reference);
        case D3DCMP_NOTEQUAL: return Invert(_mm256_cmpeq_epi32(value, reference));
        case D3DCMP_GREATEREQUAL: return Invert(_mm256_cmpgt_epi32(reference, value));
        default: return Ones8();
    }
}

TOLVANE_WIDE __m256i ToByte(__m256 v) {
    v = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    // Multiply and add kept apart, as in the other paths (no fused rounding).
    __m256 scaled = _mm256_mul_ps(v, _mm256_set1_ps(255.0f));
    return _mm256_cvttps_epi32(_mm256_add_ps(scaled, _mm256_set1_ps(0.5f)));
}

TOLVANE_WIDE __m256 FastLog2(__m256 x) {
    __m256i bits = _mm256_castps_si256(x);
    __m256 exponent = _mm256_cvtepi32_ps(_mm256_sub_epi32(_mm256_srli_epi32(bits, 23), _mm256_set1_epi32(127)));
    __m256 m = _mm256_castsi256_ps(_mm256_or_si256(_mm256_and_si256(bits, _mm256_set1_epi32(0x007FFFFF)), _mm256_set1_epi32(0x3F800000)));
    __m256 inner = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(-0.34484843f), m), _mm256_set1_ps(2.03454529f));
    __m256 poly = _mm256_sub_ps(_mm256_mul_ps(inner, m), _mm256_set1_ps(1.68969686f));
    __m256 result = _mm256_add_ps(exponent, poly);
    __m256 positive = _mm256_cmp_ps(x, _mm256_setzero_ps(), _CMP_GT_OQ);
    return _mm256_blendv_ps(_mm256_set1_ps(-128.0f), result, positive);
}

struct Plane8 {
    __m256 base, dx;
    float dx1, dy;
};

TOLVANE_WIDE Plane8 MakePlane(const float* p, float fy) {
    return {_mm256_set1_ps(p[0] + p[2] * fy), _mm256_set1_ps(p[1]), p[1], p[2]};
}

TOLVANE_WIDE __m256 At(const Plane8& plane, __m256 fx) { return _mm256_add_ps(plane.base, _mm256_mul_ps(plane.dx, fx)); }

TOLVANE_WIDE __m256i PackArgb(__m256i r, __m256i g, __m256i b, __m256i a) {
    return _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(a, 24), _mm256_slli_epi32(r, 16)),
                           _mm256_or_si256(_mm256_slli_epi32(g, 8), b));
}

// ---- sampling, eight lanes ---------------------------------------------------------

TOLVANE_WIDE __m256i FloorToInt8(__m256 v) {
    v = _mm256_min_ps(_mm256_max_ps(v, _mm256_set1_ps(-268435456.0f)), _mm256_set1_ps(268435456.0f));
    return _mm256_cvttps_epi32(_mm256_round_ps(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
}

// Four 16-bit copies of each of four 32-bit values.
// The values are below 2^16: the low two bytes of each are copied.
TOLVANE_WIDE __m256i Spread16(__m128i values) {
    const __m256i pick = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 4, 5, 4, 5, 4, 5, 4, 5,  //
                                          8, 9, 8, 9, 8, 9, 8, 9, 12, 13, 12, 13, 12, 13, 12, 13);
    return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(values), pick);
}

// (a * (256 - w) + b * w) >> 8 for a, b in 0..255, w in 0..255 given as weight = w << 7. The sum is
// 256 * a + (b - a) * w, so the result is a + floor((b - a) * w / 256), which the signed
// high product (2 * (b - a)) * (128 * w) >> 16 gives exactly with one multiply.
TOLVANE_WIDE __m256i Lerp16(__m256i a, __m256i b, __m256i weight) {
    return _mm256_add_epi16(a, _mm256_mulhi_epi16(_mm256_slli_epi16(_mm256_sub_epi16(b, a), 1), weight));
}

// The texels at the given offsets of each lane's level.
struct LevelSet {
    bool uniform;
    const int* texels;           // uniform: the one level
    __m256i baseLow, baseHigh;   // otherwise: each lane's level address, lanes 0-3 and 4-7
    const std::uint32_t* lane[8];  // otherwise: each lane's level
    template <bool Uniform>
    const std::uint32_t* Lane(int i) const {
        return Uniform ? reinterpret_cast<const std::uint32_t*>(texels) : lane[i];
    }
};

// Two neighbouring texels (x, x + 1) of one lane in the low half, of another in the high.
TOLVANE_WIDE __m128i TexelPairs(const std::uint32_t* first, const std::uint32_t* second) {
    __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(first));
    return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low), reinterpret_cast<const double*>(second)));
}

// The left and right texels of four lanes from their pairs (lanes 0, 1 in a; 2, 3 in b).
TOLVANE_WIDE __m128i LeftTexels(__m128i a, __m128i b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(2, 0, 2, 0)));
}
TOLVANE_WIDE __m128i RightTexels(__m128i a, __m128i b) {
    return _mm_castps_si128(_mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(3, 1, 3, 1)));
}

TOLVANE_WIDE __m256i GatherTexels(const LevelSet& set, __m256i offsets) {
    if (set.uniform) return _mm256_i32gather_epi32(set.texels, offsets, 4);
    __m256i low = _mm256_add_epi64(set.baseLow, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(offsets)), 2));
    __m256i high = _mm256_add_epi64(set.baseHigh, _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(offsets, 1)), 2));
    __m128i first = _mm256_i64gather_epi32(static_cast<const int*>(nullptr), low, 1);
    __m128i second = _mm256_i64gather_epi32(static_cast<const int*>(nullptr), high, 1);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// One level per lane, point or bilinear (the arithmetic of FetchLevel<true>): pixels 0-3
// in low, 4-7 in high, as 16-bit channels.
// Point fetch of eight lanes by scalar loads (a gather stalls on processors with slow
// gathers).
template <bool Uniform>
TOLVANE_WIDE __m256i PointTexels(const LevelSet& set, const int* at) {
    auto texel = [&](int i) { return static_cast<int>(set.Lane<Uniform>(i)[at[i]]); };
    __m128i first = _mm_setr_epi32(texel(0), texel(1), texel(2), texel(3));
    __m128i second = _mm_setr_epi32(texel(4), texel(5), texel(6), texel(7));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
}

// The four texels of each lane's bilinear footprint when no lane wraps in x: each row's
// two texels sit side by side, one 64-bit load each (far cheaper than four gathers).
template <bool Uniform>
TOLVANE_WIDE void PairTexels(const LevelSet& set, const int* top, const int* bottom, __m128i (&quads)[2][4]) {
    for (int half = 0; half < 2; ++half) {
        const int l = 4 * half;
        __m128i t0 = TexelPairs(set.Lane<Uniform>(l) + top[l], set.Lane<Uniform>(l + 1) + top[l + 1]);
        __m128i t1 = TexelPairs(set.Lane<Uniform>(l + 2) + top[l + 2], set.Lane<Uniform>(l + 3) + top[l + 3]);
        __m128i b0 = TexelPairs(set.Lane<Uniform>(l) + bottom[l], set.Lane<Uniform>(l + 1) + bottom[l + 1]);
        __m128i b1 = TexelPairs(set.Lane<Uniform>(l + 2) + bottom[l + 2], set.Lane<Uniform>(l + 3) + bottom[l + 3]);
        quads[half][0] = LeftTexels(t0, t1);
        quads[half][1] = RightTexels(t0, t1);
        quads[half][2] = LeftTexels(b0, b1);
        quads[half][3] = RightTexels(b0, b1);
    }
}

// The bilinear footprints of eight lanes from the levels' interleaved rows: one 16-byte
// entry per lane (top left, bottom left, top right, bottom right), entry(i) lane i's.
template <typename Entry>
TOLVANE_WIDE void FootprintTexels(const Entry& entry, __m128i (&quads)[2][4]) {
    for (int half = 0; half < 2; ++half) {
        __m128i e[4];
        for (int k = 0; k < 4; ++k) e[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(entry(4 * half + k)));
        // The left and the right column of lanes 0, 1 and of lanes 2, 3.
        const __m128i left01 = _mm_unpacklo_epi32(e[0], e[1]), right01 = _mm_unpackhi_epi32(e[0], e[1]);
        const __m128i left23 = _mm_unpacklo_epi32(e[2], e[3]), right23 = _mm_unpackhi_epi32(e[2], e[3]);
        quads[half][0] = _mm_unpacklo_epi64(left01, left23);    // top left
        quads[half][1] = _mm_unpacklo_epi64(right01, right23);  // top right
        quads[half][2] = _mm_unpackhi_epi64(left01, left23);    // bottom left
        quads[half][3] = _mm_unpackhi_epi64(right01, right23);  // bottom right
    }
}

// uniform: every lane's level is levels[0]. rowPairs: bilinear lookups read the levels'
// interleaved rows (every level has them).
TOLVANE_WIDE void FetchLevels8(const SamplerTexture& t, const int* levels, bool uniform, bool linear, bool rowPairs,
                               __m256 u, __m256 v, __m256i& low, __m256i& high) {
    rowPairs = rowPairs && linear;
    LevelSet set;
    __m256i w, h, pitch;
    set.uniform = uniform;
    if (uniform) {
        const SamplerLevel& level = t.levels[levels[0]];
        w = _mm256_set1_epi32(level.width);
        h = _mm256_set1_epi32(level.height);
        pitch = _mm256_set1_epi32(level.pitch);
        set.texels = reinterpret_cast<const int*>(rowPairs ? level.rowPairs : level.texels);
        set.baseLow = set.baseHigh = Zero8();
    } else {
        alignas(32) int widths[8], heights[8], pitches[8];
        alignas(32) long long bases[8];
        for (int i = 0; i < 8; ++i) {
            const SamplerLevel& level = t.levels[levels[i]];
            widths[i] = level.width;
            heights[i] = level.height;
            pitches[i] = level.pitch;
            bases[i] = static_cast<long long>(reinterpret_cast<std::uintptr_t>(rowPairs ? level.rowPairs : level.texels));
            set.lane[i] = level.texels;
        }
        w = _mm256_load_si256(reinterpret_cast<const __m256i*>(widths));
        h = _mm256_load_si256(reinterpret_cast<const __m256i*>(heights));
        pitch = _mm256_load_si256(reinterpret_cast<const __m256i*>(pitches));
        set.texels = nullptr;
        set.baseLow = _mm256_load_si256(reinterpret_cast<const __m256i*>(bases));
        set.baseHigh = _mm256_load_si256(reinterpret_cast<const __m256i*>(bases + 4));
    }
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i mx = _mm256_sub_epi32(w, one), my = _mm256_sub_epi32(h, one);
    __m256i x, y, wx, wy;
    if (linear) {
        __m256 su = _mm256_mul_ps(u, _mm256_cvtepi32_ps(_mm256_slli_epi32(w, 8)));
        __m256 sv = _mm256_mul_ps(v, _mm256_cvtepi32_ps(_mm256_slli_epi32(h, 8)));
        __m256i fx = FloorToInt8(_mm256_sub_ps(su, _mm256_set1_ps(128.0f)));
        __m256i fy = FloorToInt8(_mm256_sub_ps(sv, _mm256_set1_ps(128.0f)));
        x = _mm256_srai_epi32(fx, 8);
        y = _mm256_srai_epi32(fy, 8);
        wx = _mm256_and_si256(fx, _mm256_set1_epi32(255));
        wy = _mm256_and_si256(fy, _mm256_set1_epi32(255));
    } else {
        x = FloorToInt8(_mm256_mul_ps(u, _mm256_cvtepi32_ps(w)));
        y = FloorToInt8(_mm256_mul_ps(v, _mm256_cvtepi32_ps(h)));
        wx = wy = Zero8();
    }
    __m256i x0 = _mm256_and_si256(x, mx);
    // Rows of the interleaved rows hold pitch + 1 texel pairs.
    if (rowPairs) pitch = _mm256_add_epi32(pitch, one);
    __m256i row0 = _mm256_mullo_epi32(_mm256_and_si256(y, my), pitch);
    if (!linear) {
        alignas(32) int at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_add_epi32(row0, x0));
        __m256i t00 = uniform ? PointTexels<true>(set, at) : PointTexels<false>(set, at);
        low = _mm256_cvtepu8_epi16(_mm256_castsi256_si128(t00));
        high = _mm256_cvtepu8_epi16(_mm256_extracti128_si256(t00, 1));
        return;
    }
    wx = _mm256_slli_epi32(wx, 7);  // the form Lerp16 takes, still below 2^16
    wy = _mm256_slli_epi32(wy, 7);
    __m256i weights[2][2] = {{Spread16(_mm256_castsi256_si128(wx)), Spread16(_mm256_extracti128_si256(wx, 1))},
                             {Spread16(_mm256_castsi256_si128(wy)), Spread16(_mm256_extracti128_si256(wy, 1))}};
    __m128i quads[2][4];  // per half: top left, top right, bottom left, bottom right
    const __m256i edge = _mm256_cmpeq_epi32(x0, mx);
    if (rowPairs) {
        const __m256i entries = _mm256_add_epi32(row0, x0);  // in texel pairs
        if (uniform) {
            alignas(32) int at[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(at), entries);
            const std::uint32_t* pairs = reinterpret_cast<const std::uint32_t*>(set.texels);
            FootprintTexels([&](int i) { return pairs + 2 * at[i]; }, quads);
        } else {
            alignas(32) const std::uint32_t* at[8];
            const __m256i low = _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_castsi256_si128(entries)), 3);
            const __m256i high = _mm256_slli_epi64(_mm256_cvtepi32_epi64(_mm256_extracti128_si256(entries, 1)), 3);
            _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_add_epi64(set.baseLow, low));
            _mm256_store_si256(reinterpret_cast<__m256i*>(at + 4), _mm256_add_epi64(set.baseHigh, high));
            FootprintTexels([&](int i) { return at[i]; }, quads);
        }
    } else if (_mm256_testz_si256(edge, edge)) {
        const __m256i row1 = _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(y, one), my), pitch);
        alignas(32) int top[8], bottom[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(top), _mm256_add_epi32(row0, x0));
        _mm256_store_si256(reinterpret_cast<__m256i*>(bottom), _mm256_add_epi32(row1, x0));
        if (uniform) PairTexels<true>(set, top, bottom, quads);
        else PairTexels<false>(set, top, bottom, quads);
    } else {
        const __m256i row1 = _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(y, one), my), pitch);
        __m256i x1 = _mm256_and_si256(_mm256_add_epi32(x, one), mx);
        __m256i t00 = GatherTexels(set, _mm256_add_epi32(row0, x0));
        __m256i t10 = GatherTexels(set, _mm256_add_epi32(row0, x1));
        __m256i t01 = GatherTexels(set, _mm256_add_epi32(row1, x0));
        __m256i t11 = GatherTexels(set, _mm256_add_epi32(row1, x1));
        const __m256i* all[4] = {&t00, &t10, &t01, &t11};
        for (int k = 0; k < 4; ++k) {
            quads[0][k] = _mm256_castsi256_si128(*all[k]);
            quads[1][k] = _mm256_extracti128_si256(*all[k], 1);
        }
    }
    for (int half = 0; half < 2; ++half) {
        __m128i a = quads[half][0], b = quads[half][1], c = quads[half][2], e = quads[half][3];
        __m256i top = Lerp16(_mm256_cvtepu8_epi16(a), _mm256_cvtepu8_epi16(b), weights[0][half]);
        __m256i bottom = Lerp16(_mm256_cvtepu8_epi16(c), _mm256_cvtepu8_epi16(e), weights[0][half]);
        __m256i result = Lerp16(top, bottom, weights[1][half]);
        if (half) high = result;
        else low = result;
    }
}

// The level choice of ChooseLevels for eight lanes at once (minification and
// magnification filter alike, as WideShadingApplies demands).
// Sets fineUniform and coarseUniform when every lane has the same level.
TOLVANE_WIDE void ChooseLevels8(const SamplerSetup& s, __m256 lods, int* fine, int* coarse, int* weights, bool& fineUniform,
                                bool& coarseUniform) {
    const int last = s.texture->levelCount - 1;
    const __m256i base = _mm256_set1_epi32(s.baseLevel);
    const __m256 minified = _mm256_cmp_ps(lods, _mm256_setzero_ps(), _CMP_GT_OQ);  // false for NaN
    const __m256 clamped = _mm256_min_ps(lods, _mm256_set1_ps(64.0f));
    const __m256i span = _mm256_set1_epi32(last - s.baseLevel);
    __m256i fineLevel = base, coarseLevel = base, weight = Zero8();
    switch (s.mipFilter) {
        case D3DTEXF_POINT: {
            __m256 nearest = _mm256_floor_ps(_mm256_add_ps(clamped, _mm256_set1_ps(0.5f)));
            __m256 spanF = _mm256_cvtepi32_ps(span);
            __m256 capped = _mm256_cmp_ps(nearest, spanF, _CMP_GE_OQ);
            __m256i level = _mm256_add_epi32(base, _mm256_cvttps_epi32(_mm256_min_ps(nearest, spanF)));
            level = _mm256_blendv_epi8(level, _mm256_set1_epi32(last), _mm256_castps_si256(capped));
            fineLevel = coarseLevel = _mm256_blendv_epi8(base, level, _mm256_castps_si256(minified));
            break;
        }
        case D3DTEXF_NONE: break;
        default: {
            __m256i whole = _mm256_cvttps_epi32(_mm256_and_ps(minified, clamped));
            __m256i capped = _mm256_or_si256(_mm256_cmpgt_epi32(whole, span), _mm256_cmpeq_epi32(whole, span));
            __m256 fraction = _mm256_sub_ps(clamped, _mm256_cvtepi32_ps(whole));
            __m256i w = _mm256_cvttps_epi32(_mm256_mul_ps(fraction, _mm256_set1_ps(256.0f)));
            weight = _mm256_andnot_si256(capped, _mm256_and_si256(_mm256_castps_si256(minified), w));
            fineLevel = _mm256_blendv_epi8(_mm256_add_epi32(base, whole), _mm256_set1_epi32(last), capped);
            __m256i step = _mm256_srli_epi32(_mm256_andnot_si256(capped, _mm256_castps_si256(minified)), 31);
            coarseLevel = _mm256_min_epi32(_mm256_add_epi32(fineLevel, step), _mm256_set1_epi32(last));
            break;
        }
    }
    fineUniform = _mm256_movemask_epi8(_mm256_cmpeq_epi32(fineLevel, _mm256_permutevar8x32_epi32(fineLevel, Zero8()))) == -1;
    coarseUniform =
        _mm256_movemask_epi8(_mm256_cmpeq_epi32(coarseLevel, _mm256_permutevar8x32_epi32(coarseLevel, Zero8()))) == -1;
    _mm256_store_si256(reinterpret_cast<__m256i*>(fine), fineLevel);
    _mm256_store_si256(reinterpret_cast<__m256i*>(coarse), coarseLevel);
    _mm256_store_si256(reinterpret_cast<__m256i*>(weights), weight);
}

// SampleTexture for eight lanes; lanes outside the mask read a covered lane's texel.
TOLVANE_WIDE __m256i SampleOct(const SamplerSetup& s, __m256 u, __m256 v, __m256 lod, __m256 keep, int lanes) {
    // Lanes outside the mask may hold anything: give them the first covered lane's values.
    if (lanes != 0xFF) {
        const int firstLane = __builtin_ctz(static_cast<unsigned>(lanes));
        const __m256i pick = _mm256_set1_epi32(firstLane);
        u = _mm256_blendv_ps(_mm256_permutevar8x32_ps(u, pick), u, keep);
        v = _mm256_blendv_ps(_mm256_permutevar8x32_ps(v, pick), v, keep);
        lod = _mm256_blendv_ps(_mm256_permutevar8x32_ps(lod, pick), lod, keep);
    }
    alignas(32) int fine[8], coarse[8], weights[8];
    bool fineUniform, coarseUniform;
    ChooseLevels8(s, lod, fine, coarse, weights, fineUniform, coarseUniform);
    const bool linear = s.minFilter >= D3DTEXF_LINEAR;  // the same for magnification here
    __m256i low, high;
    FetchLevels8(*s.texture, fine, fineUniform, linear, s.rowPairs, u, v, low, high);
    __m256i weight = _mm256_load_si256(reinterpret_cast<const __m256i*>(weights));
    if (!_mm256_testz_si256(weight, weight)) {
        __m256i low2, high2;
        FetchLevels8(*s.texture, coarse, coarseUniform, linear, s.rowPairs, u, v, low2, high2);
        weight = _mm256_slli_epi32(weight, 7);  // the form Lerp16 takes
        low = Lerp16(low, low2, Spread16(_mm256_castsi256_si128(weight)));
        high = Lerp16(high, high2, Spread16(_mm256_extracti128_si256(weight, 1)));
    }
    // packus interleaves per 128-bit half: (0 1 4 5 | 2 3 6 7) in 64-bit pairs.
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
}

std::atomic<bool> gWideShading{true};

}  // namespace

void SetWideShading(bool on) { gWideShading.store(on, std::memory_order_relaxed); }

bool WideShadingApplies(const DrawSetup& d) {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (!avx2 || !gWideShading.load(std::memory_order_relaxed)) return false;
    if (d.stageCount > 0 && !d.fastStages) return false;
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        if (!stage.readsTexture || !stage.sampler.texture) continue;
        const SamplerSetup& sampler = stage.sampler;
        if (!sampler.wrapPow2 || (sampler.minFilter >= D3DTEXF_LINEAR) != (sampler.magFilter >= D3DTEXF_LINEAR)) return false;
    }
    return true;
}

namespace {

TOLVANE_WIDE void ShadeSpanWideBody(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const RenderTarget& target = d.target;
    std::uint32_t* colorRow = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
    std::uint16_t* depthRow = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
    const AttributeLayout& layout = d.layout;
    const float fy = static_cast<float>(y) - prim.originY;
    const __m256 originX = _mm256_set1_ps(prim.originX);
    const Plane8 zPlane = MakePlane(pl, fy), qPlane = MakePlane(pl + 3, fy);

    Plane8 uPlanes[kMaxStages], vPlanes[kMaxStages];
    float widths[kMaxStages] = {}, heights[kMaxStages] = {};
    for (int s = 0; s < d.stageCount; ++s) {
        int slot = layout.texcoord[s];
        if (slot < 0) continue;
        const SamplerSetup& sampler = d.stages[s].sampler;
        const SamplerLevel& base = sampler.texture->levels[sampler.baseLevel];
        uPlanes[s] = MakePlane(pl + 3 * (2 + slot), fy);
        vPlanes[s] = MakePlane(pl + 3 * (3 + slot), fy);
        widths[s] = static_cast<float>(base.width);
        heights[s] = static_cast<float>(base.height);
    }
    Plane8 colorPlanes[7];
    if (!prim.constantColor) {
        for (int k = 0; k < 4; ++k) colorPlanes[k] = MakePlane(pl + 3 * (2 + k), fy);
        if (layout.specular >= 0)
            for (int k = 0; k < 3; ++k) colorPlanes[4 + k] = MakePlane(pl + 3 * (2 + layout.specular + k), fy);
    }
    Plane8 fogPlane{};
    if (layout.fog >= 0) fogPlane = MakePlane(pl + 3 * (2 + layout.fog), fy);

    const __m256i factor = _mm256_set1_epi32(static_cast<int>(d.textureFactor));
    const __m256i fogColor = _mm256_set1_epi32(static_cast<int>(d.fogColor));
    const __m256i writeMask = _mm256_set1_epi32(static_cast<int>(d.writeMask));
    const __m256i alphaOne = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    const __m256i laneIndex = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);

    for (int gx = x0 & ~7; gx < x1; gx += 8) {
        const bool whole = gx + 8 <= target.width;
        __m256i xs = _mm256_add_epi32(_mm256_set1_epi32(gx), laneIndex);
        __m256i cover = _mm256_and_si256(_mm256_cmpgt_epi32(xs, _mm256_set1_epi32(x0 - 1)),
                                         _mm256_cmpgt_epi32(_mm256_set1_epi32(x1), xs));
        const __m256 fx = _mm256_sub_ps(_mm256_cvtepi32_ps(xs), originX);

        __m256i depth = Zero8(), oldDepth = Zero8();
        if (d.depthTest) {
            __m256 z = _mm256_min_ps(_mm256_max_ps(At(zPlane, fx), _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
            __m256 scaled = _mm256_mul_ps(z, _mm256_set1_ps(65535.0f));
            depth = _mm256_cvttps_epi32(_mm256_add_ps(scaled, _mm256_set1_ps(0.5f)));
            if (whole) {
                oldDepth = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(depthRow + gx)));
            } else {
                alignas(32) std::int32_t values[8] = {};
                for (int i = 0; i < 8; ++i)
                    if (gx + i < target.width) values[i] = depthRow[gx + i];
                oldDepth = _mm256_load_si256(reinterpret_cast<const __m256i*>(values));
            }
            cover = _mm256_and_si256(cover, Compare(d.depthFunc, depth, oldDepth));
        }
        int lanes = _mm256_movemask_ps(_mm256_castsi256_ps(cover));
        if (!lanes) continue;

        const __m256 w = _mm256_div_ps(_mm256_set1_ps(1.0f), At(qPlane, fx));

        __m256i textures[kMaxStages];
        for (int s = 0; s < d.stageCount; ++s) {
            const StageSetup& stage = d.stages[s];
            if (!stage.readsTexture || layout.texcoord[s] < 0) {
                textures[s] = Ones8();
                continue;
            }
            __m256 u = _mm256_mul_ps(At(uPlanes[s], fx), w), v = _mm256_mul_ps(At(vPlanes[s], fx), w);
            __m256 lod = _mm256_setzero_ps();
            if (stage.sampler.needsLod) {
                const __m256 width = _mm256_set1_ps(widths[s]), height = _mm256_set1_ps(heights[s]);
                const __m256 qdx = qPlane.dx, qdy = _mm256_set1_ps(qPlane.dy);
                __m256 dudx = _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(uPlanes[s].dx, _mm256_mul_ps(u, qdx)), w), width);
                __m256 dudy = _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(uPlanes[s].dy), _mm256_mul_ps(u, qdy)), w), width);
                __m256 dvdx = _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(vPlanes[s].dx, _mm256_mul_ps(v, qdx)), w), height);
                __m256 dvdy = _mm256_mul_ps(_mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(vPlanes[s].dy), _mm256_mul_ps(v, qdy)), w), height);
                __m256 xx = _mm256_add_ps(_mm256_mul_ps(dudx, dudx), _mm256_mul_ps(dvdx, dvdx));
                __m256 yy = _mm256_add_ps(_mm256_mul_ps(dudy, dudy), _mm256_mul_ps(dvdy, dvdy));
                __m256 rho2 = _mm256_max_ps(xx, yy);
                lod = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(0.5f), FastLog2(rho2)), _mm256_set1_ps(stage.sampler.lodBias));
            }
            textures[s] = stage.sampler.texture ? SampleOct(stage.sampler, u, v, lod, _mm256_castsi256_ps(cover), lanes) : Ones8();
        }

        __m256i diffuse, specular;
        if (prim.constantColor) {
            diffuse = _mm256_set1_epi32(static_cast<int>(prim.diffuse));
            specular = _mm256_set1_epi32(static_cast<int>(prim.specular));
        } else {
            diffuse = PackArgb(ToByte(_mm256_mul_ps(At(colorPlanes[0], fx), w)), ToByte(_mm256_mul_ps(At(colorPlanes[1], fx), w)),
                               ToByte(_mm256_mul_ps(At(colorPlanes[2], fx), w)), ToByte(_mm256_mul_ps(At(colorPlanes[3], fx), w)));
            specular = alphaOne;
            if (layout.specular >= 0)
                specular = _mm256_or_si256(PackArgb(ToByte(_mm256_mul_ps(At(colorPlanes[4], fx), w)),
                                                    ToByte(_mm256_mul_ps(At(colorPlanes[5], fx), w)),
                                                    ToByte(_mm256_mul_ps(At(colorPlanes[6], fx), w)), Zero8()),
                                           alphaOne);
        }

        __m256i color = diffuse;
        if (d.stageCount > 0) {
            Packed8 in{diffuse, diffuse, Ones8(), factor, specular, Zero8()};
            color = RunStages(d, in, textures);
        }
        if (d.specularAdd) color = _mm256_adds_epu8(color, _mm256_andnot_si256(alphaOne, specular));
        if (layout.fog >= 0) {
            __m256i f = ToByte(_mm256_mul_ps(At(fogPlane, fx), w));
            f = _mm256_or_si256(f, _mm256_slli_epi32(f, 16));
            f = _mm256_or_si256(f, _mm256_slli_epi32(f, 8));
            __m256i inverse = Invert(f);
            __m256i fogged = _mm256_packus_epi16(
                _mm256_add_epi16(Mul255(Lo16(color), Lo16(f)), Mul255(Lo16(fogColor), Lo16(inverse))),
                _mm256_add_epi16(Mul255(Hi16(color), Hi16(f)), Mul255(Hi16(fogColor), Hi16(inverse))));
            color = Select(_mm256_set1_epi32(0x00FFFFFF), fogged, color);
        }
        if (d.alphaTest) {
            cover = _mm256_and_si256(cover, Compare(d.alphaFunc, _mm256_srli_epi32(color, 24),
                                                    _mm256_set1_epi32(static_cast<int>(d.alphaRef))));
            lanes = _mm256_movemask_ps(_mm256_castsi256_ps(cover));
            if (!lanes) continue;
        }
        if (d.depthWrite) {
            __m256i merged = Select(cover, depth, oldDepth);
            if (whole) {
                __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(merged, merged), 0x08);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(depthRow + gx), _mm256_castsi256_si128(packed));
            } else {
                alignas(32) std::uint32_t values[8];
                _mm256_store_si256(reinterpret_cast<__m256i*>(values), merged);
                for (int i = 0; i < 8; ++i)
                    if ((lanes >> i) & 1) depthRow[gx + i] = static_cast<std::uint16_t>(values[i]);
            }
        }

        __m256i old;
        if (whole) {
            old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colorRow + gx));
        } else {
            alignas(32) std::uint32_t oldValues[8] = {};
            for (int i = 0; i < 8; ++i)
                if (gx + i < target.width) oldValues[i] = colorRow[gx + i];
            old = _mm256_load_si256(reinterpret_cast<const __m256i*>(oldValues));
        }
        if (d.blend) color = Blend(d, color, target.hasAlpha ? old : _mm256_or_si256(old, alphaOne));
        __m256i value = Select(writeMask, color, old);
        if (!target.hasAlpha) value = _mm256_or_si256(value, alphaOne);
        value = Select(cover, value, old);
        if (whole) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(colorRow + gx), value);
        } else {
            alignas(32) std::uint32_t values[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(values), value);
            for (int i = 0; i < 8; ++i)
                if ((lanes >> i) & 1) colorRow[gx + i] = values[i];
        }
    }
}

std::atomic<bool> gAvx512{true};

}  // namespace

TOLVANE_WIDE_ENTRY void ShadeSpanAvx2(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    ShadeSpanWideBody(d, prim, pl, y, x0, x1);
}

void SetAvx512Shading(bool on) { gAvx512.store(on, std::memory_order_relaxed); }

SpanShader WideSpanShader() {
    return Avx512ShadingAvailable() && gAvx512.load(std::memory_order_relaxed) ? ShadeSpan16 : ShadeSpanAvx2;
}

}  // namespace raster::detail
