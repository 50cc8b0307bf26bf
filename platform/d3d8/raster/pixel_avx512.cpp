// The sixteen-pixel version of the pixel stage for processors with AVX-512 (F, VL, BW,
// DQ), chosen at run time for the draws the eight-pixel path takes (WideShadingApplies).
// It runs the arithmetic of the four- and eight-pixel paths lane for lane (the same
// float operations in the same order, no fused multiply-adds, the same fixed-point
// filters), so all of them give the same pixels.
//
// What the width buys beyond halving the instructions: coverage is a mask register, so
// partial groups load and store under a mask instead of lane by lane, and each lane's
// level is looked up in tables held in registers (widths, heights, pitches and texel
// addresses by level) rather than through memory.
//
// Every function here carries the target itself (no file-wide switch), so nothing built
// for AVX-512 can stand in for a shared inline function elsewhere.
#include <immintrin.h>

#include <cstring>

#include "platform/d3d8/raster/pipeline.h"

// GCC 12's AVX-512 headers start many intrinsics from an undefined vector and then warn
// about it when they are inlined here.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// Scheduled for Zen cores, the AVX-512 processors it is measured on (about 3% faster
// there than the generic schedule); this changes instruction order, not results.
#define TOLVANE_W16_TARGET target("avx2,avx512f,avx512vl,avx512bw,avx512dq,tune=znver3")
#define TOLVANE_W16 __attribute__((TOLVANE_W16_TARGET, always_inline)) inline
// No contraction into fused multiply-adds, which AVX-512 processors have: they round once
// where the other paths round twice.
#define TOLVANE_W16_ENTRY __attribute__((TOLVANE_W16_TARGET, optimize("fp-contract=off")))

namespace raster::detail {

namespace {

using V16 = __m512i;
using F16 = __m512;

TOLVANE_W16 V16 Zero() { return _mm512_setzero_si512(); }
TOLVANE_W16 V16 Ones() { return _mm512_set1_epi32(-1); }
TOLVANE_W16 V16 Lo16(V16 v) { return _mm512_unpacklo_epi8(v, _mm512_setzero_si512()); }
TOLVANE_W16 V16 Hi16(V16 v) { return _mm512_unpackhi_epi8(v, _mm512_setzero_si512()); }

// a * b / 255 rounded, in 16-bit lanes holding 0..255.
TOLVANE_W16 V16 Mul255(V16 a, V16 b) {
    V16 t = _mm512_add_epi16(_mm512_mullo_epi16(a, b), _mm512_set1_epi16(128));
    return _mm512_srli_epi16(_mm512_add_epi16(t, _mm512_srli_epi16(t, 8)), 8);
}

TOLVANE_W16 V16 Modulate(V16 a, V16 b) {
    return _mm512_packus_epi16(Mul255(Lo16(a), Lo16(b)), Mul255(Hi16(a), Hi16(b)));
}

// The alpha byte of each pixel copied into all four.
TOLVANE_W16 V16 ReplicateAlpha(V16 v) {
    const V16 pick = _mm512_set4_epi32(0x0F0F0F0F, 0x0B0B0B0B, 0x07070707, 0x03030303);
    return _mm512_shuffle_epi8(v, pick);
}

TOLVANE_W16 V16 Invert(V16 v) { return _mm512_ternarylogic_epi32(v, v, v, 0x55); }

// Bitwise: mask ? a : b.
TOLVANE_W16 V16 Select(V16 mask, V16 a, V16 b) { return _mm512_ternarylogic_epi32(mask, a, b, 0xCA); }

// Colour bytes of color, alpha byte of alpha.
TOLVANE_W16 V16 ColorAlpha(V16 color, V16 alpha) {
    return _mm512_mask_blend_epi8(static_cast<__mmask64>(0x7777777777777777ull), alpha, color);
}

TOLVANE_W16 V16 Mix(V16 a, V16 b, V16 alpha) {
    V16 inverse = Invert(alpha);
    V16 lo = _mm512_add_epi16(Mul255(Lo16(a), Lo16(alpha)), Mul255(Lo16(b), Lo16(inverse)));
    V16 hi = _mm512_add_epi16(Mul255(Hi16(a), Hi16(alpha)), Mul255(Hi16(b), Hi16(inverse)));
    return _mm512_packus_epi16(lo, hi);
}

struct Packed16 {
    V16 diffuse, current, texture, factor, specular, temp;
};

TOLVANE_W16 V16 Argument(DWORD arg, const Packed16& in) {
    V16 v;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: v = in.diffuse; break;
        case D3DTA_CURRENT: v = in.current; break;
        case D3DTA_TEXTURE: v = in.texture; break;
        case D3DTA_TFACTOR: v = in.factor; break;
        case D3DTA_SPECULAR: v = in.specular; break;
        case D3DTA_TEMP: v = in.temp; break;
        default: v = Zero(); break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) v = ReplicateAlpha(v);
    if (arg & D3DTA_COMPLEMENT) v = Invert(v);
    return v;
}

// Signed sums of two 16-bit channel sets, packed with saturation: (lo, hi) -> bytes.
TOLVANE_W16 V16 Pack(V16 lo, V16 hi) { return _mm512_packus_epi16(lo, hi); }

TOLVANE_W16 V16 Operate(DWORD op, V16 a1, V16 a2, const Packed16& in) {
    const V16 half = _mm512_set1_epi16(128);
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return Modulate(a1, a2);
        case D3DTOP_MODULATE2X:
            return Pack(_mm512_slli_epi16(Mul255(Lo16(a1), Lo16(a2)), 1), _mm512_slli_epi16(Mul255(Hi16(a1), Hi16(a2)), 1));
        case D3DTOP_MODULATE4X:
            return Pack(_mm512_slli_epi16(Mul255(Lo16(a1), Lo16(a2)), 2), _mm512_slli_epi16(Mul255(Hi16(a1), Hi16(a2)), 2));
        case D3DTOP_ADD: return _mm512_adds_epu8(a1, a2);
        case D3DTOP_SUBTRACT: return _mm512_subs_epu8(a1, a2);
        case D3DTOP_ADDSIGNED:
            return Pack(_mm512_sub_epi16(_mm512_add_epi16(Lo16(a1), Lo16(a2)), half),
                        _mm512_sub_epi16(_mm512_add_epi16(Hi16(a1), Hi16(a2)), half));
        case D3DTOP_ADDSIGNED2X:
            return Pack(_mm512_slli_epi16(_mm512_sub_epi16(_mm512_add_epi16(Lo16(a1), Lo16(a2)), half), 1),
                        _mm512_slli_epi16(_mm512_sub_epi16(_mm512_add_epi16(Hi16(a1), Hi16(a2)), half), 1));
        case D3DTOP_ADDSMOOTH:
            return Pack(_mm512_sub_epi16(_mm512_add_epi16(Lo16(a1), Lo16(a2)), Mul255(Lo16(a1), Lo16(a2))),
                        _mm512_sub_epi16(_mm512_add_epi16(Hi16(a1), Hi16(a2)), Mul255(Hi16(a1), Hi16(a2))));
        case D3DTOP_BLENDDIFFUSEALPHA: return Mix(a1, a2, ReplicateAlpha(in.diffuse));
        case D3DTOP_BLENDTEXTUREALPHA: return Mix(a1, a2, ReplicateAlpha(in.texture));
        case D3DTOP_BLENDFACTORALPHA: return Mix(a1, a2, ReplicateAlpha(in.factor));
        case D3DTOP_BLENDCURRENTALPHA: return Mix(a1, a2, ReplicateAlpha(in.current));
        default: return a1;  // not reached: only packed operations come here
    }
}

TOLVANE_W16 V16 RunStages(const DrawSetup& d, Packed16& in, const V16* textures) {
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = textures[s];
        V16 color = Operate(stage.colorOp, Argument(stage.colorArg[1], in), Argument(stage.colorArg[2], in), in);
        V16 alpha;
        if (stage.alphaOp == D3DTOP_DISABLE) alpha = in.current;
        else if (stage.alphaOp == stage.colorOp && stage.alphaArg[1] == stage.colorArg[1] && stage.alphaArg[2] == stage.colorArg[2])
            alpha = color;
        else
            alpha = Operate(stage.alphaOp, Argument(stage.alphaArg[1], in), Argument(stage.alphaArg[2], in), in);
        V16 result = ColorAlpha(color, alpha);
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

TOLVANE_W16 V16 Factor(DWORD factor, V16 src, V16 dst) {
    switch (factor) {
        case D3DBLEND_ZERO: return Zero();
        case D3DBLEND_ONE: return Ones();
        case D3DBLEND_SRCCOLOR: return src;
        case D3DBLEND_INVSRCCOLOR: return Invert(src);
        case D3DBLEND_SRCALPHA: return ReplicateAlpha(src);
        case D3DBLEND_INVSRCALPHA: return Invert(ReplicateAlpha(src));
        case D3DBLEND_DESTALPHA: return ReplicateAlpha(dst);
        case D3DBLEND_INVDESTALPHA: return Invert(ReplicateAlpha(dst));
        case D3DBLEND_DESTCOLOR: return dst;
        case D3DBLEND_INVDESTCOLOR: return Invert(dst);
        case D3DBLEND_SRCALPHASAT:
            return _mm512_or_si512(_mm512_min_epu8(ReplicateAlpha(src), Invert(ReplicateAlpha(dst))),
                                   _mm512_set1_epi32(static_cast<int>(0xFF000000u)));
        default: return Ones();
    }
}

TOLVANE_W16 V16 Blend(const DrawSetup& d, V16 src, V16 dst) {
    if (d.blendOp == D3DBLENDOP_MIN) return _mm512_min_epu8(src, dst);
    if (d.blendOp == D3DBLENDOP_MAX) return _mm512_max_epu8(src, dst);
    V16 sf = Factor(d.srcBlend, src, dst), df = Factor(d.destBlend, src, dst);
    V16 slo = Mul255(Lo16(src), Lo16(sf)), shi = Mul255(Hi16(src), Hi16(sf));
    V16 dlo = Mul255(Lo16(dst), Lo16(df)), dhi = Mul255(Hi16(dst), Hi16(df));
    switch (d.blendOp) {
        case D3DBLENDOP_SUBTRACT: return Pack(_mm512_sub_epi16(slo, dlo), _mm512_sub_epi16(shi, dhi));
        case D3DBLENDOP_REVSUBTRACT: return Pack(_mm512_sub_epi16(dlo, slo), _mm512_sub_epi16(dhi, shi));
        default: return Pack(_mm512_add_epi16(slo, dlo), _mm512_add_epi16(shi, dhi));
    }
}

// The lanes where value func reference holds (both below 2^31).
TOLVANE_W16 __mmask16 Compare(DWORD func, V16 value, V16 reference) {
    switch (func) {
        case D3DCMP_NEVER: return 0;
        case D3DCMP_LESS: return _mm512_cmplt_epi32_mask(value, reference);
        case D3DCMP_EQUAL: return _mm512_cmpeq_epi32_mask(value, reference);
        case D3DCMP_LESSEQUAL: return _mm512_cmple_epi32_mask(value, reference);
        case D3DCMP_GREATER: return _mm512_cmpgt_epi32_mask(value, reference);
        case D3DCMP_NOTEQUAL: return _mm512_cmpneq_epi32_mask(value, reference);
        case D3DCMP_GREATEREQUAL: return _mm512_cmpge_epi32_mask(value, reference);
        default: return 0xFFFF;
    }
}

TOLVANE_W16 V16 ToByte(F16 v) {
    v = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(1.0f));
    F16 scaled = _mm512_mul_ps(v, _mm512_set1_ps(255.0f));
    return _mm512_cvttps_epi32(_mm512_add_ps(scaled, _mm512_set1_ps(0.5f)));
}

TOLVANE_W16 F16 FastLog2(F16 x) {
    V16 bits = _mm512_castps_si512(x);
    F16 exponent = _mm512_cvtepi32_ps(_mm512_sub_epi32(_mm512_srli_epi32(bits, 23), _mm512_set1_epi32(127)));
    F16 m = _mm512_castsi512_ps(
        _mm512_or_si512(_mm512_and_si512(bits, _mm512_set1_epi32(0x007FFFFF)), _mm512_set1_epi32(0x3F800000)));
    F16 inner = _mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(-0.34484843f), m), _mm512_set1_ps(2.03454529f));
    F16 poly = _mm512_sub_ps(_mm512_mul_ps(inner, m), _mm512_set1_ps(1.68969686f));
    F16 result = _mm512_add_ps(exponent, poly);
    __mmask16 positive = _mm512_cmp_ps_mask(x, _mm512_setzero_ps(), _CMP_GT_OQ);
    return _mm512_mask_blend_ps(positive, _mm512_set1_ps(-128.0f), result);
}

struct Plane16 {
    F16 base, dx;
    float dy;
};

TOLVANE_W16 Plane16 MakePlane(const float* p, float fy) {
    return {_mm512_set1_ps(p[0] + p[2] * fy), _mm512_set1_ps(p[1]), p[2]};
}

TOLVANE_W16 F16 At(const Plane16& plane, F16 fx) { return _mm512_add_ps(plane.base, _mm512_mul_ps(plane.dx, fx)); }

TOLVANE_W16 V16 PackArgb(V16 r, V16 g, V16 b, V16 a) {
    return _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi32(a, 24), _mm512_slli_epi32(r, 16)),
                           _mm512_or_si512(_mm512_slli_epi32(g, 8), b));
}

// ---- sampling, sixteen lanes -------------------------------------------------------

TOLVANE_W16 V16 FloorToInt(F16 v) {
    v = _mm512_min_ps(_mm512_max_ps(v, _mm512_set1_ps(-268435456.0f)), _mm512_set1_ps(268435456.0f));
    return _mm512_cvt_roundps_epi32(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);  // one rounding step
}

// (a * (256 - w) + b * w) >> 8 for a, b in 0..255 and weight = w << 7, exactly (see the
// eight-pixel path).
TOLVANE_W16 V16 Lerp16(V16 a, V16 b, V16 weight) {
    return _mm512_add_epi16(a, _mm512_mulhi_epi16(_mm512_slli_epi16(_mm512_sub_epi16(b, a), 1), weight));
}

// Per-lane weights (below 2^16) in the layout of Lo16 and Hi16 of sixteen pixels: each
// weight repeated over its pixel's four 16-bit channels.
struct Weights {
    V16 lo, hi;
};

TOLVANE_W16 Weights SpreadWeights(V16 weights) {
    V16 both = _mm512_or_si512(weights, _mm512_slli_epi32(weights, 16));
    return {_mm512_unpacklo_epi32(both, both), _mm512_unpackhi_epi32(both, both)};
}


// A sampler's levels as register tables indexed by level.
struct LevelTables16 {
    V16 width, height, pitch;
    V16 texelsLow, texelsHigh;  // 64-bit addresses of levels 0-7 and 8-15
    V16 rowPairsLow, rowPairsHigh;  // the same for the interleaved rows
};

TOLVANE_W16 LevelTables16 LoadTables(const SamplerSetup::LevelTables& t) {
    return {_mm512_loadu_si512(t.width), _mm512_loadu_si512(t.height), _mm512_loadu_si512(t.pitch),
            _mm512_loadu_si512(t.texels), _mm512_loadu_si512(t.texels + 8), _mm512_loadu_si512(t.rowPairs),
            _mm512_loadu_si512(t.rowPairs + 8)};
}

// Texel addresses of sixteen lanes: each lane's level base plus its texel offset.
struct Addresses {
    V16 low, high;  // lanes 0-7 and 8-15
};

// entrySize: log2 of the bytes an offset counts (a texel, or a texel and the one below).
TOLVANE_W16 Addresses AddressesOf(V16 tableLow, V16 tableHigh, V16 levels, V16 offsets, int entrySize) {
    V16 levelLow = _mm512_cvtepu32_epi64(_mm512_castsi512_si256(levels));
    V16 levelHigh = _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(levels, 1));
    V16 baseLow = _mm512_permutex2var_epi64(tableLow, levelLow, tableHigh);
    V16 baseHigh = _mm512_permutex2var_epi64(tableLow, levelHigh, tableHigh);
    V16 offsetLow = _mm512_slli_epi64(_mm512_cvtepi32_epi64(_mm512_castsi512_si256(offsets)), entrySize);
    V16 offsetHigh = _mm512_slli_epi64(_mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(offsets, 1)), entrySize);
    return {_mm512_add_epi64(baseLow, offsetLow), _mm512_add_epi64(baseHigh, offsetHigh)};
}
TOLVANE_W16 Addresses AddressesOf(const LevelTables16& tables, V16 levels, V16 offsets) {
    return AddressesOf(tables.texelsLow, tables.texelsHigh, levels, offsets, 2);
}

// One 32-bit texel per lane, at[i] giving lane i's texel.
template <typename At>
TOLVANE_W16 V16 LoadTexels(const At& at) {
    __m128i q[4];
    for (int k = 0; k < 4; ++k)
        q[k] = _mm_setr_epi32(static_cast<int>(*at(4 * k)), static_cast<int>(*at(4 * k + 1)), static_cast<int>(*at(4 * k + 2)),
                              static_cast<int>(*at(4 * k + 3)));
    __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(q[0]), q[1], 1);
    __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(q[2]), q[3], 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// Two neighbouring texels (at(i), at(i) + 1) per lane: the first of each lane in left,
// the second in right.
template <typename At>
TOLVANE_W16 void LoadTexelPairs(const At& at, V16& left, V16& right) {
    __m128i q[8];
    for (int k = 0; k < 8; ++k) {
        // A texel pair is only 4-byte aligned: the low half is copied out as bytes (the
        // same load instruction), the high half's load takes any address.
        double low;
        std::memcpy(&low, at(2 * k), sizeof low);
        q[k] = _mm_castpd_si128(_mm_loadh_pd(_mm_set_sd(low), reinterpret_cast<const double*>(at(2 * k + 1))));
    }
    __m256i a = _mm256_inserti128_si256(_mm256_castsi128_si256(q[0]), q[1], 1);
    __m256i b = _mm256_inserti128_si256(_mm256_castsi128_si256(q[2]), q[3], 1);
    __m256i c = _mm256_inserti128_si256(_mm256_castsi128_si256(q[4]), q[5], 1);
    __m256i e = _mm256_inserti128_si256(_mm256_castsi128_si256(q[6]), q[7], 1);
    V16 low = _mm512_inserti64x4(_mm512_castsi256_si512(a), b, 1);
    V16 high = _mm512_inserti64x4(_mm512_castsi256_si512(c), e, 1);
    const V16 even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const V16 odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    left = _mm512_permutex2var_epi32(low, even, high);
    right = _mm512_permutex2var_epi32(low, odd, high);
}

// The 2 x 2 footprints of sixteen lanes from interleaved rows (at(i): lane i's four texels,
// top left, bottom left, top right, bottom right), each corner in lane order.
template <typename At>
TOLVANE_W16 void LoadFootprints(const At& at, V16& t00, V16& t01, V16& t10, V16& t11) {
    // Register k holds the entries of lanes k, k + 4, k + 8 and k + 12, so that a 4 x 4
    // transpose within each 128-bit block puts lanes 4j .. 4j + 3 in block j.
    V16 r[4];
    for (int k = 0; k < 4; ++k) {
        V16 v = _mm512_castsi128_si512(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at(k))));
        v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at(k + 4))), 1);
        v = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at(k + 8))), 2);
        r[k] = _mm512_inserti32x4(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(at(k + 12))), 3);
    }
    // The left and the right column of lanes k, k + 1 (k = 0, 2) in each block.
    const V16 left01 = _mm512_unpacklo_epi32(r[0], r[1]), right01 = _mm512_unpackhi_epi32(r[0], r[1]);
    const V16 left23 = _mm512_unpacklo_epi32(r[2], r[3]), right23 = _mm512_unpackhi_epi32(r[2], r[3]);
    t00 = _mm512_unpacklo_epi64(left01, left23);
    t01 = _mm512_unpackhi_epi64(left01, left23);
    t10 = _mm512_unpacklo_epi64(right01, right23);
    t11 = _mm512_unpackhi_epi64(right01, right23);
}

// Where sixteen lanes read their texels: one level for all (texels) or a level per lane.
struct TexelSource {
    const std::uint32_t* texels;  // null: a level per lane
    const LevelTables16* tables;
    V16 levels;
};

// Sixteen texel offsets, taken out of the vector lane by lane: where the loads follow at
// once, cheaper than a store and sixteen reloads, which wait for the store.
struct Offsets16 {
    TOLVANE_W16 explicit Offsets16(V16 v) {
        q[0] = _mm512_castsi512_si128(v);
        q[1] = _mm512_extracti32x4_epi32(v, 1);
        q[2] = _mm512_extracti32x4_epi32(v, 2);
        q[3] = _mm512_extracti32x4_epi32(v, 3);
    }
    TOLVANE_W16 unsigned operator[](int i) const {
        switch (i & 3) {
            case 0: return static_cast<unsigned>(_mm_cvtsi128_si32(q[i >> 2]));
            case 1: return static_cast<unsigned>(_mm_extract_epi32(q[i >> 2], 1));
            case 2: return static_cast<unsigned>(_mm_extract_epi32(q[i >> 2], 2));
            default: return static_cast<unsigned>(_mm_extract_epi32(q[i >> 2], 3));
        }
    }
    __m128i q[4];
};

// Texel addresses: one level's texels at sixteen offsets, or an address per lane.
struct UniformAt {
    const std::uint32_t* texels;
    Offsets16 offsets;
    TOLVANE_W16 const std::uint32_t* operator()(int i) const { return texels + offsets[i]; }
};
struct StoredAt {
    const std::uint32_t* texels;
    const std::uint32_t* offsets;
    TOLVANE_W16 const std::uint32_t* operator()(int i) const { return texels + offsets[i]; }
};
struct LaneAt {
    TOLVANE_W16 explicit LaneAt(const Addresses& a) {
        _mm512_store_si512(p, a.low);
        _mm512_store_si512(p + 8, a.high);
    }
    TOLVANE_W16 const std::uint32_t* operator()(int i) const { return p[i]; }
    alignas(64) const std::uint32_t* p[16];
};

TOLVANE_W16 V16 TexelsAt(const TexelSource& src, V16 offsets) {
    if (src.texels) return LoadTexels(UniformAt{src.texels, Offsets16(offsets)});
    return LoadTexels(LaneAt(AddressesOf(*src.tables, src.levels, offsets)));
}

TOLVANE_W16 void TexelPairsAt(const TexelSource& src, V16 offsets, V16& left, V16& right) {
    if (src.texels) LoadTexelPairs(UniformAt{src.texels, Offsets16(offsets)}, left, right);
    else LoadTexelPairs(LaneAt(AddressesOf(*src.tables, src.levels, offsets)), left, right);
}

// Where the texels of one level lookup lie for sixteen lanes, worked out ahead of the
// loads so that the loads of several groups can be issued together.
struct LevelFetch {
    TexelSource src;
    bool linear, pairs;     // pairs: bilinear, and no lane wraps in x
    bool rowPairs;          // bilinear from the interleaved rows, at 2 * (row0 + x0)
    const std::uint32_t* rowPairBase;  // one level: its interleaved rows
    V16 row0, row1, x0, x1; // texel offsets of the rows and columns (point: row0 + x0)
    V16 wx, wy;             // bilinear weights, in the form Lerp16 takes
    // One level and no wrap in x: the offsets of each row's first texel, kept in memory
    // so that the loads read them with no vector work.
    bool stored;
    alignas(64) std::uint32_t offsets[2][16];
};

// One level per lane, point or bilinear: where the texels of sixteen lanes lie.
TOLVANE_W16 void AddressLevels(const SamplerSetup::LevelTables& levelTables, const LevelTables16& tables, V16 levels,
                               bool linear, bool rowPairs, F16 u, F16 v, LevelFetch& out) {
    out.src = {nullptr, &tables, levels};
    out.linear = linear;
    out.rowPairs = false;
    V16 w, h, pitch;
    const V16 first = _mm512_broadcastd_epi32(_mm512_castsi512_si128(levels));
    if (_mm512_cmpeq_epi32_mask(levels, first) == 0xFFFF) {
        const int level = _mm_cvtsi128_si32(_mm512_castsi512_si128(levels));
        out.src.texels = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(levelTables.texels[level]));
        out.rowPairBase = reinterpret_cast<const std::uint32_t*>(static_cast<std::uintptr_t>(levelTables.rowPairs[level]));
        w = _mm512_set1_epi32(levelTables.width[level]);
        h = _mm512_set1_epi32(levelTables.height[level]);
        pitch = _mm512_set1_epi32(levelTables.pitch[level]);
    } else {
        w = _mm512_permutexvar_epi32(levels, tables.width);
        h = _mm512_permutexvar_epi32(levels, tables.height);
        pitch = _mm512_permutexvar_epi32(levels, tables.pitch);
    }
    const V16 one = _mm512_set1_epi32(1);
    const V16 mx = _mm512_sub_epi32(w, one), my = _mm512_sub_epi32(h, one);
    if (!linear) {
        V16 x = FloorToInt(_mm512_mul_ps(u, _mm512_cvtepi32_ps(w)));
        V16 y = FloorToInt(_mm512_mul_ps(v, _mm512_cvtepi32_ps(h)));
        out.row0 = _mm512_mullo_epi32(_mm512_and_si512(y, my), pitch);
        out.x0 = _mm512_and_si512(x, mx);
        out.stored = out.src.texels != nullptr;
        if (out.stored) _mm512_store_si512(out.offsets[0], _mm512_add_epi32(out.row0, out.x0));
        return;
    }
    F16 su = _mm512_mul_ps(u, _mm512_cvtepi32_ps(_mm512_slli_epi32(w, 8)));
    F16 sv = _mm512_mul_ps(v, _mm512_cvtepi32_ps(_mm512_slli_epi32(h, 8)));
    V16 fx = FloorToInt(_mm512_sub_ps(su, _mm512_set1_ps(128.0f)));
    V16 fy = FloorToInt(_mm512_sub_ps(sv, _mm512_set1_ps(128.0f)));
    V16 x = _mm512_srai_epi32(fx, 8), y = _mm512_srai_epi32(fy, 8);
    const V16 byte = _mm512_set1_epi32(255);
    // The form Lerp16 takes, still below 2^16.
    out.wx = _mm512_slli_epi32(_mm512_and_si512(fx, byte), 7);
    out.wy = _mm512_slli_epi32(_mm512_and_si512(fy, byte), 7);
    out.x0 = _mm512_and_si512(x, mx);
    if (rowPairs) {
        out.rowPairs = true;
        out.row0 = _mm512_mullo_epi32(_mm512_and_si512(y, my), _mm512_add_epi32(pitch, one));
        out.stored = out.src.texels != nullptr;
        if (out.stored) _mm512_store_si512(out.offsets[0], _mm512_slli_epi32(_mm512_add_epi32(out.row0, out.x0), 1));
        return;
    }
    out.row0 = _mm512_mullo_epi32(_mm512_and_si512(y, my), pitch);
    out.row1 = _mm512_mullo_epi32(_mm512_and_si512(_mm512_add_epi32(y, one), my), pitch);
    // Where no lane wraps in x, each row's two texels sit side by side.
    out.pairs = !_mm512_cmpeq_epi32_mask(out.x0, mx);
    if (!out.pairs) out.x1 = _mm512_and_si512(_mm512_add_epi32(x, one), mx);
    out.stored = out.src.texels && out.pairs;
    if (out.stored) {
        _mm512_store_si512(out.offsets[0], _mm512_add_epi32(out.row0, out.x0));
        _mm512_store_si512(out.offsets[1], _mm512_add_epi32(out.row1, out.x0));
    }
}

// Sixteen pixels as 16-bit channels, in the layout of Lo16 and Hi16.
struct Channels16 {
    V16 lo, hi;
};

// The texels of a point lookup.
TOLVANE_W16 V16 PointTexels(const LevelFetch& f) {
    return f.stored ? LoadTexels(StoredAt{f.src.texels, f.offsets[0]}) : TexelsAt(f.src, _mm512_add_epi32(f.row0, f.x0));
}

// The texels of a level lookup, unpacked: a blend of two levels takes them as they are.
TOLVANE_W16 Channels16 LoadLevels(const LevelFetch& f) {
    if (!f.linear) {
        const V16 texels = PointTexels(f);
        return {Lo16(texels), Hi16(texels)};
    }
    V16 t00, t10, t01, t11;
    if (f.rowPairs) {
        if (f.stored) LoadFootprints(StoredAt{f.rowPairBase, f.offsets[0]}, t00, t01, t10, t11);
        else
            LoadFootprints(LaneAt(AddressesOf(f.src.tables->rowPairsLow, f.src.tables->rowPairsHigh, f.src.levels,
                                              _mm512_add_epi32(f.row0, f.x0), 3)),
                           t00, t01, t10, t11);
    } else if (f.stored) {
        LoadTexelPairs(StoredAt{f.src.texels, f.offsets[0]}, t00, t10);
        LoadTexelPairs(StoredAt{f.src.texels, f.offsets[1]}, t01, t11);
    } else if (f.pairs) {
        TexelPairsAt(f.src, _mm512_add_epi32(f.row0, f.x0), t00, t10);
        TexelPairsAt(f.src, _mm512_add_epi32(f.row1, f.x0), t01, t11);
    } else {
        t00 = TexelsAt(f.src, _mm512_add_epi32(f.row0, f.x0));
        t10 = TexelsAt(f.src, _mm512_add_epi32(f.row0, f.x1));
        t01 = TexelsAt(f.src, _mm512_add_epi32(f.row1, f.x0));
        t11 = TexelsAt(f.src, _mm512_add_epi32(f.row1, f.x1));
    }
    const Weights wx = SpreadWeights(f.wx), wy = SpreadWeights(f.wy);
    V16 topLo = Lerp16(Lo16(t00), Lo16(t10), wx.lo), topHi = Lerp16(Hi16(t00), Hi16(t10), wx.hi);
    V16 bottomLo = Lerp16(Lo16(t01), Lo16(t11), wx.lo), bottomHi = Lerp16(Hi16(t01), Hi16(t11), wx.hi);
    return {Lerp16(topLo, bottomLo, wy.lo), Lerp16(topHi, bottomHi, wy.hi)};
}

// The level choice of ChooseLevels for sixteen lanes (minification and magnification
// filter alike, as WideShadingApplies demands).
TOLVANE_W16 void ChooseLevels16(const SamplerSetup& s, DWORD mipFilter, F16 lods, V16& fine, V16& coarse, V16& weight) {
    const int last = s.texture->levelCount - 1;
    const V16 base = _mm512_set1_epi32(s.baseLevel);
    const __mmask16 minified = _mm512_cmp_ps_mask(lods, _mm512_setzero_ps(), _CMP_GT_OQ);  // false for NaN
    const F16 clamped = _mm512_min_ps(lods, _mm512_set1_ps(64.0f));
    const V16 span = _mm512_set1_epi32(last - s.baseLevel);
    const V16 lastLevel = _mm512_set1_epi32(last);
    fine = coarse = base;
    weight = Zero();
    switch (mipFilter) {
        case D3DTEXF_POINT: {
            F16 nearest = _mm512_roundscale_ps(_mm512_add_ps(clamped, _mm512_set1_ps(0.5f)), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC);
            F16 spanF = _mm512_cvtepi32_ps(span);
            __mmask16 capped = _mm512_cmp_ps_mask(nearest, spanF, _CMP_GE_OQ);
            V16 level = _mm512_add_epi32(base, _mm512_cvttps_epi32(_mm512_min_ps(nearest, spanF)));
            level = _mm512_mask_mov_epi32(level, capped, lastLevel);
            fine = coarse = _mm512_mask_mov_epi32(base, minified, level);
            break;
        }
        case D3DTEXF_NONE: break;
        default: {
            V16 whole = _mm512_cvttps_epi32(_mm512_maskz_mov_ps(minified, clamped));
            __mmask16 capped = _mm512_cmpge_epi32_mask(whole, span);
            F16 fraction = _mm512_sub_ps(clamped, _mm512_cvtepi32_ps(whole));
            V16 w = _mm512_cvttps_epi32(_mm512_mul_ps(fraction, _mm512_set1_ps(256.0f)));
            const __mmask16 blended = static_cast<__mmask16>(minified & ~capped);
            weight = _mm512_maskz_mov_epi32(blended, w);
            fine = _mm512_mask_mov_epi32(_mm512_add_epi32(base, whole), capped, lastLevel);
            coarse = _mm512_min_epi32(_mm512_mask_add_epi32(fine, blended, fine, _mm512_set1_epi32(1)), lastLevel);
            break;
        }
    }
}

// SampleTexture for sixteen lanes; lanes outside cover read a covered lane's texel.
// What a stage's sampling needs once its level of detail is known: the coordinates and
// the level choice of each lane.
struct StageLookup {
    F16 u, v;
    V16 fine, coarse, weight;
};

// The first half of SampleTexture for sixteen lanes: the level choice. Lanes outside
// cover read a covered lane's texel.
TOLVANE_W16 void Prepare16(const SamplerSetup& s, DWORD mipFilter, F16 u, F16 v, F16 lod, __mmask16 cover,
                           StageLookup& out) {
    // Lanes outside the mask may hold anything: give them the first covered lane's values.
    if (cover != 0xFFFF) {
        const V16 pick = _mm512_set1_epi32(__builtin_ctz(static_cast<unsigned>(cover)));
        u = _mm512_mask_mov_ps(_mm512_permutexvar_ps(pick, u), cover, u);
        v = _mm512_mask_mov_ps(_mm512_permutexvar_ps(pick, v), cover, v);
        lod = _mm512_mask_mov_ps(_mm512_permutexvar_ps(pick, lod), cover, lod);
    }
    out.u = u;
    out.v = v;
    ChooseLevels16(s, mipFilter, lod, out.fine, out.coarse, out.weight);
}

// The second half: where the texels lie, then the texels.
struct StageFetch {
    LevelFetch fine, coarse;
    bool blend;
    V16 weight;
};

// linear: bilinear filtering (minification and magnification alike here).
TOLVANE_W16 void Address16(const SamplerSetup& s, bool linear, const LevelTables16& tables, const StageLookup& at,
                           StageFetch& out) {
    AddressLevels(s.tables, tables, at.fine, linear, s.rowPairs, at.u, at.v, out.fine);
    out.blend = _mm512_test_epi32_mask(at.weight, at.weight);
    out.weight = at.weight;
    if (out.blend) AddressLevels(s.tables, tables, at.coarse, linear, s.rowPairs, at.u, at.v, out.coarse);
}

TOLVANE_W16 V16 Load16(const StageFetch& f) {
    if (!f.fine.linear && !f.blend) return PointTexels(f.fine);
    Channels16 texels = LoadLevels(f.fine);
    if (f.blend) {
        const Channels16 coarse = LoadLevels(f.coarse);
        const Weights w = SpreadWeights(_mm512_slli_epi32(f.weight, 7));
        texels = {Lerp16(texels.lo, coarse.lo, w.lo), Lerp16(texels.hi, coarse.hi, w.hi)};
    }
    return Pack(texels.lo, texels.hi);
}

// A group of sixteen pixels between the passes over a batch.
struct Group {
    int gx;
    __mmask16 cover;
    F16 fx, w;
    V16 depth;
    StageLookup lookup[kMaxStages];
};

// The draw states the rows function tests, as a generic draw has them (kFixed false) or
// fixed at compile time to those of the most common textured draw, where the tests and
// loops over them fold away: two textured stages, the first trilinear, the second
// point-sampled without mipmaps, a modulate chain, a LESSEQUAL depth test with writes, no
// blending, alpha test or fog, every colour channel written (specular either way).
// FixedStatesApply says whether a draw has those states.
template <bool kFixed>
struct DrawStates {
    const DrawSetup& d;
    TOLVANE_W16 int StageCount() const { return kFixed ? 2 : d.stageCount; }
    TOLVANE_W16 bool Samples(int s) const { return kFixed || (d.stages[s].readsTexture && d.layout.texcoord[s] >= 0); }
    TOLVANE_W16 bool NeedsLod(int s) const { return kFixed ? s == 0 : d.stages[s].sampler.needsLod; }
    TOLVANE_W16 bool Linear(int s) const { return kFixed ? s == 0 : d.stages[s].sampler.minFilter >= D3DTEXF_LINEAR; }
    TOLVANE_W16 DWORD MipFilter(int s) const {
        return kFixed ? (s == 0 ? D3DTEXF_LINEAR : D3DTEXF_NONE) : d.stages[s].sampler.mipFilter;
    }
    TOLVANE_W16 bool DepthTest() const { return kFixed || d.depthTest; }
    TOLVANE_W16 DWORD DepthFunc() const { return kFixed ? D3DCMP_LESSEQUAL : d.depthFunc; }
    TOLVANE_W16 bool DepthWrite() const { return kFixed || d.depthWrite; }
    TOLVANE_W16 bool ModulateChain() const { return kFixed || d.modulateChain; }
    TOLVANE_W16 DrawSetup::ChainAlpha Alpha(int s) const {
        return kFixed ? (s == 0 ? DrawSetup::ChainAlpha::Texture : DrawSetup::ChainAlpha::Current) : d.chainAlpha[s];
    }
    TOLVANE_W16 bool Specular() const { return d.layout.specular >= 0; }
    TOLVANE_W16 bool SpecularAdd() const { return d.specularAdd; }
    TOLVANE_W16 bool Fog() const { return !kFixed && d.layout.fog >= 0; }
    TOLVANE_W16 bool AlphaTest() const { return !kFixed && d.alphaTest; }
    TOLVANE_W16 bool Blend() const { return !kFixed && d.blend; }
    TOLVANE_W16 bool AllChannels() const { return kFixed || d.writeMask == 0xFFFFFFFFu; }
};

// Groups per batch; longer spans take several batches.
constexpr int kBatch = 4;

// A primitive's rows within one tile. What depends only on the draw and the primitive
// (level tables, texture sizes, constants) is set up once for all the rows: spans are
// short (two groups on average in the game's scene), and doing it row by row cost about
// 7% of the time.
template <bool kFixed>
TOLVANE_W16 void ShadeRows16Body(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                                 const RowSpan* spans) {
    const DrawStates<kFixed> states{d};
    const int stageCount = states.StageCount();
    const RenderTarget& target = d.target;
    const AttributeLayout& layout = d.layout;
    const F16 originX = _mm512_set1_ps(prim.originX);

    LevelTables16 tables[kMaxStages];
    float widths[kMaxStages] = {}, heights[kMaxStages] = {};
    for (int s = 0; s < stageCount; ++s) {
        if (layout.texcoord[s] < 0) continue;
        const SamplerSetup& sampler = d.stages[s].sampler;
        const SamplerLevel& base = sampler.texture->levels[sampler.baseLevel];
        widths[s] = static_cast<float>(base.width);
        heights[s] = static_cast<float>(base.height);
        tables[s] = LoadTables(sampler.tables);
    }

    const V16 factor = _mm512_set1_epi32(static_cast<int>(d.textureFactor));
    const V16 fogColor = _mm512_set1_epi32(static_cast<int>(d.fogColor));
    const V16 writeMask = _mm512_set1_epi32(static_cast<int>(d.writeMask));
    const V16 alphaOne = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const V16 laneIndex = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

    for (int row = 0; row < rows; ++row) {
        const int x0 = spans[row].x0, x1 = spans[row].x1;
        if (x0 >= x1) continue;
        const int y = y0 + row;
        std::uint32_t* colorRow = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
        std::uint16_t* depthRow = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
        const float fy = static_cast<float>(y) - prim.originY;
        const Plane16 zPlane = MakePlane(pl, fy), qPlane = MakePlane(pl + 3, fy);
        Plane16 uPlanes[kMaxStages], vPlanes[kMaxStages];
        for (int s = 0; s < stageCount; ++s) {
            int slot = layout.texcoord[s];
            if (slot < 0) continue;
            uPlanes[s] = MakePlane(pl + 3 * (2 + slot), fy);
            vPlanes[s] = MakePlane(pl + 3 * (3 + slot), fy);
        }
        Plane16 colorPlanes[7];
        if (!prim.constantColor) {
            for (int k = 0; k < 4; ++k) colorPlanes[k] = MakePlane(pl + 3 * (2 + k), fy);
            if (states.Specular())
                for (int k = 0; k < 3; ++k) colorPlanes[4 + k] = MakePlane(pl + 3 * (2 + layout.specular + k), fy);
        }
        Plane16 fogPlane{};
        if (states.Fog()) fogPlane = MakePlane(pl + 3 * (2 + layout.fog), fy);

        // Each batch of groups goes through four passes: the depth test and each stage's
        // level of detail and level choice; the texel addresses; the texel loads and
        // filters; the stages, fog, tests and writes. Each group's work is one long chain of
        // dependent steps; run pass by pass, the chains of the batch's groups overlap
        // instead of each one stalling on its own loads.
        for (int batchX = x0 & ~15; batchX < x1; batchX += 16 * kBatch) {
            Group groups[kBatch];
            int count = 0;
            for (int gx = batchX; gx < x1 && gx < batchX + 16 * kBatch; gx += 16) {
                Group& g = groups[count];
                // Lanes gx + i in x0 .. x1 - 1 (inside the target, as x1 is).
                const int first = x0 > gx ? x0 - gx : 0, end = x1 - gx < 16 ? x1 - gx : 16;
                __mmask16 cover = static_cast<__mmask16>(((1u << end) - 1u) & ~((1u << first) - 1u));
                const F16 fx = _mm512_sub_ps(_mm512_cvtepi32_ps(_mm512_add_epi32(_mm512_set1_epi32(gx), laneIndex)), originX);
                V16 depth = Zero();
                if (states.DepthTest()) {
                    F16 z = _mm512_min_ps(_mm512_max_ps(At(zPlane, fx), _mm512_setzero_ps()), _mm512_set1_ps(1.0f));
                    F16 scaled = _mm512_mul_ps(z, _mm512_set1_ps(65535.0f));
                    depth = _mm512_cvttps_epi32(_mm512_add_ps(scaled, _mm512_set1_ps(0.5f)));
                    V16 oldDepth = _mm512_cvtepu16_epi32(_mm256_maskz_loadu_epi16(cover, depthRow + gx));
                    cover &= Compare(states.DepthFunc(), depth, oldDepth);
                    if (!cover) continue;
                }
                const F16 w = _mm512_div_ps(_mm512_set1_ps(1.0f), At(qPlane, fx));
                for (int s = 0; s < stageCount; ++s) {
                    const StageSetup& stage = d.stages[s];
                    if (!states.Samples(s)) continue;
                    F16 u = _mm512_mul_ps(At(uPlanes[s], fx), w), v = _mm512_mul_ps(At(vPlanes[s], fx), w);
                    F16 lod = _mm512_setzero_ps();
                    if (states.NeedsLod(s)) {
                        const F16 width = _mm512_set1_ps(widths[s]), height = _mm512_set1_ps(heights[s]);
                        const F16 qdx = qPlane.dx, qdy = _mm512_set1_ps(qPlane.dy);
                        const F16 udy = _mm512_set1_ps(uPlanes[s].dy), vdy = _mm512_set1_ps(vPlanes[s].dy);
                        F16 dudx = _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(uPlanes[s].dx, _mm512_mul_ps(u, qdx)), w), width);
                        F16 dudy = _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(udy, _mm512_mul_ps(u, qdy)), w), width);
                        F16 dvdx = _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(vPlanes[s].dx, _mm512_mul_ps(v, qdx)), w), height);
                        F16 dvdy = _mm512_mul_ps(_mm512_mul_ps(_mm512_sub_ps(vdy, _mm512_mul_ps(v, qdy)), w), height);
                        F16 xx = _mm512_add_ps(_mm512_mul_ps(dudx, dudx), _mm512_mul_ps(dvdx, dvdx));
                        F16 yy = _mm512_add_ps(_mm512_mul_ps(dudy, dudy), _mm512_mul_ps(dvdy, dvdy));
                        F16 rho2 = _mm512_max_ps(xx, yy);
                        lod = _mm512_add_ps(_mm512_mul_ps(_mm512_set1_ps(0.5f), FastLog2(rho2)), _mm512_set1_ps(stage.sampler.lodBias));
                    }
                    Prepare16(stage.sampler, states.MipFilter(s), u, v, lod, cover, g.lookup[s]);
                }
                g.gx = gx;
                g.cover = cover;
                g.fx = fx;
                g.w = w;
                g.depth = depth;
                ++count;
            }

            StageFetch where[kBatch][kMaxStages];
            for (int i = 0; i < count; ++i)
                for (int s = 0; s < stageCount; ++s)
                    if (states.Samples(s))
                        Address16(d.stages[s].sampler, states.Linear(s), tables[s], groups[i].lookup[s], where[i][s]);
            V16 fetched[kBatch][kMaxStages];
            for (int i = 0; i < count; ++i)
                for (int s = 0; s < stageCount; ++s) fetched[i][s] = states.Samples(s) ? Load16(where[i][s]) : Ones();
            for (int i = 0; i < count; ++i) {
                const Group& g = groups[i];
                const int gx = g.gx;
                __mmask16 cover = g.cover;
                const F16 fx = g.fx, w = g.w;
                const V16 depth = g.depth;
                const V16* textures = fetched[i];

                V16 diffuse, specular;
                if (prim.constantColor) {
                    diffuse = _mm512_set1_epi32(static_cast<int>(prim.diffuse));
                    specular = _mm512_set1_epi32(static_cast<int>(prim.specular));
                } else {
                    diffuse = PackArgb(ToByte(_mm512_mul_ps(At(colorPlanes[0], fx), w)), ToByte(_mm512_mul_ps(At(colorPlanes[1], fx), w)),
                                       ToByte(_mm512_mul_ps(At(colorPlanes[2], fx), w)), ToByte(_mm512_mul_ps(At(colorPlanes[3], fx), w)));
                    specular = alphaOne;
                    if (states.Specular())
                        specular = _mm512_or_si512(PackArgb(ToByte(_mm512_mul_ps(At(colorPlanes[4], fx), w)),
                                                            ToByte(_mm512_mul_ps(At(colorPlanes[5], fx), w)),
                                                            ToByte(_mm512_mul_ps(At(colorPlanes[6], fx), w)), Zero()),
                                                   alphaOne);
                }

                V16 color = diffuse;
                if (states.ModulateChain()) {
                    for (int s = 0; s < stageCount; ++s) {
                        V16 product = Modulate(textures[s], color);
                        switch (states.Alpha(s)) {
                            case DrawSetup::ChainAlpha::Current: color = ColorAlpha(product, color); break;
                            case DrawSetup::ChainAlpha::Texture: color = ColorAlpha(product, textures[s]); break;
                            case DrawSetup::ChainAlpha::Product: color = product; break;
                        }
                    }
                } else if (d.stageCount > 0) {
                    Packed16 in{diffuse, diffuse, Ones(), factor, specular, Zero()};
                    color = RunStages(d, in, textures);
                }
                if (states.SpecularAdd()) color = _mm512_adds_epu8(color, _mm512_andnot_si512(alphaOne, specular));
                if (states.Fog()) {
                    V16 f = ToByte(_mm512_mul_ps(At(fogPlane, fx), w));
                    f = _mm512_or_si512(f, _mm512_slli_epi32(f, 16));
                    f = _mm512_or_si512(f, _mm512_slli_epi32(f, 8));
                    V16 inverse = Invert(f);
                    V16 fogged = Pack(_mm512_add_epi16(Mul255(Lo16(color), Lo16(f)), Mul255(Lo16(fogColor), Lo16(inverse))),
                                      _mm512_add_epi16(Mul255(Hi16(color), Hi16(f)), Mul255(Hi16(fogColor), Hi16(inverse))));
                    color = ColorAlpha(fogged, color);
                }
                if (states.AlphaTest()) {
                    cover &= Compare(d.alphaFunc, _mm512_srli_epi32(color, 24), _mm512_set1_epi32(static_cast<int>(d.alphaRef)));
                    if (!cover) continue;
                }
                if (states.DepthWrite()) _mm256_mask_storeu_epi16(depthRow + gx, cover, _mm512_cvtepi32_epi16(depth));

                V16 old = _mm512_maskz_loadu_epi32(cover, colorRow + gx);
                if (states.Blend()) color = Blend(d, color, target.hasAlpha ? old : _mm512_or_si512(old, alphaOne));
                V16 value = states.AllChannels() ? color : Select(writeMask, color, old);
                if (!target.hasAlpha) value = _mm512_or_si512(value, alphaOne);
                _mm512_mask_storeu_epi32(colorRow + gx, cover, value);
            }
        }
    }
}

}  // namespace

bool Avx512ShadingAvailable() {
    static const bool available = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                                  __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq");
    return available;
}

bool FixedStatesApply(const DrawSetup& d) {
    const AttributeLayout& layout = d.layout;
    if (d.stageCount != 2 || !d.modulateChain || d.chainAlpha[0] != DrawSetup::ChainAlpha::Texture ||
        d.chainAlpha[1] != DrawSetup::ChainAlpha::Current)
        return false;
    for (int s = 0; s < 2; ++s) {
        const StageSetup& stage = d.stages[s];
        if (!stage.readsTexture || !stage.sampler.texture || layout.texcoord[s] < 0) return false;
    }
    const SamplerSetup& first = d.stages[0].sampler;
    const SamplerSetup& second = d.stages[1].sampler;
    return first.needsLod && first.minFilter >= D3DTEXF_LINEAR && first.mipFilter == D3DTEXF_LINEAR && !second.needsLod &&
           second.minFilter < D3DTEXF_LINEAR && second.mipFilter == D3DTEXF_NONE && d.depthTest &&
           d.depthFunc == D3DCMP_LESSEQUAL && d.depthWrite && layout.fog < 0 &&
           !d.alphaTest && !d.blend && d.writeMask == 0xFFFFFFFFu;
}

TOLVANE_W16_ENTRY void ShadeSpan16(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const RowSpan span{x0, x1};
    ShadeRows16Body<false>(d, prim, pl, y, 1, &span);
}

TOLVANE_W16_ENTRY void ShadeRows16(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                                   const RowSpan* spans) {
    ShadeRows16Body<false>(d, prim, pl, y0, rows, spans);
}

TOLVANE_W16_ENTRY void ShadeRows16Fixed(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows,
                                        const RowSpan* spans) {
    ShadeRows16Body<true>(d, prim, pl, y0, rows, spans);
}

}  // namespace raster::detail
