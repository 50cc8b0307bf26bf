// The pixel stage: depth test, perspective-correct attributes, the texture stages,
// specular and fog, alpha test, blending and the write to the target. Colours are
// 8-bit integers per channel from the stages on.
#include <emmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include "platform/d3d8/raster/pipeline.h"

namespace raster::detail {

namespace {

struct Rgba {
    int r, g, b, a;
};

inline Rgba Unpack(std::uint32_t c) {
    return {static_cast<int>((c >> 16) & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>(c & 0xFF),
            static_cast<int>(c >> 24)};
}

inline std::uint32_t PackRgba(const Rgba& c) {
    return (static_cast<std::uint32_t>(c.a) << 24) | (static_cast<std::uint32_t>(c.r) << 16) |
           (static_cast<std::uint32_t>(c.g) << 8) | static_cast<std::uint32_t>(c.b);
}

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// a * b / 255, rounded.
inline int Mul255(int a, int b) {
    int t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline int ToByte(float v) {
    // Clamped first, so NaN becomes 0 and the conversion cannot overflow.
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<int>(v * 255.0f + 0.5f);
}

// log2(x) to about 0.008, from the exponent and a quadratic in the mantissa that is
// exact at mantissas 1 and 2, so the result is continuous across powers of two.
inline float FastLog2(float x) {
    if (!(x > 0.0f)) return -128.0f;
    std::uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    float exponent = static_cast<float>(static_cast<int>(bits >> 23) - 127);
    bits = (bits & 0x007FFFFFu) | 0x3F800000u;
    float m;
    std::memcpy(&m, &bits, sizeof m);
    return exponent + (-0.34484843f * m + 2.03454529f) * m - 1.68969686f;
}

inline bool Compare(DWORD func, std::uint32_t value, std::uint32_t reference) {
    switch (func) {
        case D3DCMP_NEVER: return false;
        case D3DCMP_LESS: return value < reference;
        case D3DCMP_EQUAL: return value == reference;
        case D3DCMP_LESSEQUAL: return value <= reference;
        case D3DCMP_GREATER: return value > reference;
        case D3DCMP_NOTEQUAL: return value != reference;
        case D3DCMP_GREATEREQUAL: return value >= reference;
        default: return true;
    }
}

// The inputs a stage may read.
struct StageInputs {
    Rgba diffuse, current, texture, factor, specular, temp;
};

inline Rgba Argument(DWORD arg, const StageInputs& in) {
    Rgba v;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: v = in.diffuse; break;
        case D3DTA_CURRENT: v = in.current; break;
        case D3DTA_TEXTURE: v = in.texture; break;
        case D3DTA_TFACTOR: v = in.factor; break;
        case D3DTA_SPECULAR: v = in.specular; break;
        case D3DTA_TEMP: v = in.temp; break;
        default: v = {0, 0, 0, 0}; break;
    }
    if (arg & D3DTA_ALPHAREPLICATE) v.r = v.g = v.b = v.a;
    if (arg & D3DTA_COMPLEMENT) v = {255 - v.r, 255 - v.g, 255 - v.b, 255 - v.a};
    return v;
}

// One channel of an operation; a1a is the alpha of argument 1 (for the ops that
// mix it into colour), the alphas of diffuse, texture, factor and current for the
// blend ops.
inline int Operate(DWORD op, int a0, int a1, int a2, int a1a, const StageInputs& in) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return Mul255(a1, a2);
        case D3DTOP_MODULATE2X: return Clamp255(2 * Mul255(a1, a2));
        case D3DTOP_MODULATE4X: return Clamp255(4 * Mul255(a1, a2));
        case D3DTOP_ADD: return Clamp255(a1 + a2);
        case D3DTOP_ADDSIGNED: return Clamp255(a1 + a2 - 128);
        case D3DTOP_ADDSIGNED2X: return Clamp255(2 * (a1 + a2 - 128));
        case D3DTOP_SUBTRACT: return Clamp255(a1 - a2);
        case D3DTOP_ADDSMOOTH: return Clamp255(a1 + a2 - Mul255(a1, a2));
        case D3DTOP_BLENDDIFFUSEALPHA: return Mul255(a1, in.diffuse.a) + Mul255(a2, 255 - in.diffuse.a);
        case D3DTOP_BLENDTEXTUREALPHA: return Mul255(a1, in.texture.a) + Mul255(a2, 255 - in.texture.a);
        case D3DTOP_BLENDFACTORALPHA: return Mul255(a1, in.factor.a) + Mul255(a2, 255 - in.factor.a);
        case D3DTOP_BLENDCURRENTALPHA: return Mul255(a1, in.current.a) + Mul255(a2, 255 - in.current.a);
        case D3DTOP_BLENDTEXTUREALPHAPM: return Clamp255(a1 + Mul255(a2, 255 - in.texture.a));
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return Clamp255(a1 + Mul255(a1a, a2));
        case D3DTOP_MODULATECOLOR_ADDALPHA: return Clamp255(Mul255(a1, a2) + a1a);
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return Clamp255(a1 + Mul255(255 - a1a, a2));
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return Clamp255(Mul255(255 - a1, a2) + a1a);
        case D3DTOP_MULTIPLYADD: return Clamp255(a0 + Mul255(a1, a2));
        case D3DTOP_LERP: return Mul255(a0, a1) + Mul255(255 - a0, a2);
        // FIXME: bump mapping and premodulation are not drawn; they pass argument 1.
        default: return a1;
    }
}

Rgba RunStages(const DrawSetup& d, StageInputs& in, const std::uint32_t* samples) {
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = Unpack(samples[s]);
        Rgba c0 = Argument(stage.colorArg[0], in), c1 = Argument(stage.colorArg[1], in),
             c2 = Argument(stage.colorArg[2], in);
        Rgba result;
        if (stage.colorOp == D3DTOP_DOTPRODUCT3) {
            int dot = ((c1.r - 128) * (c2.r - 128) + (c1.g - 128) * (c2.g - 128) + (c1.b - 128) * (c2.b - 128)) / 64;
            result.r = result.g = result.b = Clamp255(dot);
        } else {
            result.r = Operate(stage.colorOp, c0.r, c1.r, c2.r, c1.a, in);
            result.g = Operate(stage.colorOp, c0.g, c1.g, c2.g, c1.a, in);
            result.b = Operate(stage.colorOp, c0.b, c1.b, c2.b, c1.a, in);
        }
        if (stage.alphaOp == D3DTOP_DISABLE) {
            result.a = in.current.a;
        } else if (stage.colorOp == D3DTOP_DOTPRODUCT3) {
            result.a = result.r;
        } else {
            int a0 = Argument(stage.alphaArg[0], in).a, a1 = Argument(stage.alphaArg[1], in).a,
                a2 = Argument(stage.alphaArg[2], in).a;
            result.a = stage.alphaOp == D3DTOP_DOTPRODUCT3 ? result.r : Operate(stage.alphaOp, a0, a1, a2, a1, in);
        }
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

inline int Factor(DWORD factor, int channel, const Rgba& src, const Rgba& dst, bool alphaChannel) {
    switch (factor) {
        case D3DBLEND_ZERO: return 0;
        case D3DBLEND_ONE: return 255;
        case D3DBLEND_SRCCOLOR: return channel == 0 ? src.r : channel == 1 ? src.g : channel == 2 ? src.b : src.a;
        case D3DBLEND_INVSRCCOLOR:
            return 255 - (channel == 0 ? src.r : channel == 1 ? src.g : channel == 2 ? src.b : src.a);
        case D3DBLEND_SRCALPHA: return src.a;
        case D3DBLEND_INVSRCALPHA: return 255 - src.a;
        case D3DBLEND_DESTALPHA: return dst.a;
        case D3DBLEND_INVDESTALPHA: return 255 - dst.a;
        case D3DBLEND_DESTCOLOR: return channel == 0 ? dst.r : channel == 1 ? dst.g : channel == 2 ? dst.b : dst.a;
        case D3DBLEND_INVDESTCOLOR:
            return 255 - (channel == 0 ? dst.r : channel == 1 ? dst.g : channel == 2 ? dst.b : dst.a);
        case D3DBLEND_SRCALPHASAT: return alphaChannel ? 255 : std::min(src.a, 255 - dst.a);
        default: return 255;
    }
}

inline int BlendChannel(DWORD op, int s, int d) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return Clamp255(s - d);
        case D3DBLENDOP_REVSUBTRACT: return Clamp255(d - s);
        case D3DBLENDOP_MIN: return std::min(s, d);
        case D3DBLENDOP_MAX: return std::max(s, d);
        default: return Clamp255(s + d);
    }
}

Rgba Blend(const DrawSetup& d, const Rgba& src, const Rgba& dst) {
    const DWORD sf = d.srcBlend, df = d.destBlend;  // the two-in-one factors are resolved at set-up
    const int s[4] = {src.r, src.g, src.b, src.a};
    const int t[4] = {dst.r, dst.g, dst.b, dst.a};
    int out[4];
    for (int c = 0; c < 4; ++c) {
        // MIN and MAX ignore the factors.
        if (d.blendOp == D3DBLENDOP_MIN || d.blendOp == D3DBLENDOP_MAX) {
            out[c] = BlendChannel(d.blendOp, s[c], t[c]);
            continue;
        }
        int sv = Mul255(s[c], Factor(sf, c, src, dst, c == 3));
        int dv = Mul255(t[c], Factor(df, c, src, dst, c == 3));
        out[c] = BlendChannel(d.blendOp, sv, dv);
    }
    return {out[0], out[1], out[2], out[3]};
}

}  // namespace

void ShadeSpanRef(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const RenderTarget& target = d.target;
    std::uint32_t* colorRow = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
    std::uint16_t* depthRow = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
    const AttributeLayout& layout = d.layout;
    const int planeCount = 2 + layout.count;
    const float fy = static_cast<float>(y) - prim.originY;
    float rowBase[2 + kMaxAttributes];
    for (int k = 0; k < planeCount; ++k) rowBase[k] = pl[3 * k] + pl[3 * k + 2] * fy;
    const Rgba factor = Unpack(d.textureFactor);
    const Rgba fogColor = Unpack(d.fogColor);

    for (int x = x0; x < x1; ++x) {
        const float fx = static_cast<float>(x) - prim.originX;
        std::uint32_t depth = 0;
        if (d.depthTest) {
            float z = rowBase[0] + pl[1] * fx;
            z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
            depth = static_cast<std::uint32_t>(z * 65535.0f + 0.5f);
            if (!Compare(d.depthFunc, depth, depthRow[x])) continue;
        }
        const float q = rowBase[1] + pl[4] * fx;
        const float w = 1.0f / q;
        auto attribute = [&](int k) { return (rowBase[2 + k] + pl[3 * (2 + k) + 1] * fx) * w; };

        StageInputs in;
        in.diffuse = {ToByte(attribute(0)), ToByte(attribute(1)), ToByte(attribute(2)), ToByte(attribute(3))};
        in.specular = {0, 0, 0, 255};
        if (layout.specular >= 0)
            in.specular = {ToByte(attribute(layout.specular)), ToByte(attribute(layout.specular + 1)),
                           ToByte(attribute(layout.specular + 2)), 255};
        in.current = in.diffuse;
        in.factor = factor;
        in.temp = {0, 0, 0, 0};
        in.texture = {255, 255, 255, 255};

        std::uint32_t samples[kMaxStages];
        for (int s = 0; s < d.stageCount; ++s) {
            const StageSetup& stage = d.stages[s];
            int slot = layout.texcoord[s];
            if (!stage.readsTexture || slot < 0) {
                samples[s] = 0xFFFFFFFFu;
                continue;
            }
            const float* pu = pl + 3 * (2 + slot);
            const float* pv = pu + 3;
            float u = (rowBase[2 + slot] + pu[1] * fx) * w;
            float v = (rowBase[3 + slot] + pv[1] * fx) * w;
            // Screen derivatives of u = U / Q: du/dx = (dU/dx - u dQ/dx) / Q, in texels of the
            // largest level in use.
            const SamplerLevel& base = stage.sampler.texture->levels[stage.sampler.baseLevel];
            float dudx = (pu[1] - u * pl[4]) * w * static_cast<float>(base.width);
            float dudy = (pu[2] - u * pl[5]) * w * static_cast<float>(base.width);
            float dvdx = (pv[1] - v * pl[4]) * w * static_cast<float>(base.height);
            float dvdy = (pv[2] - v * pl[5]) * w * static_cast<float>(base.height);
            float rho2 = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
            float lod = 0.5f * FastLog2(rho2) + stage.sampler.lodBias;
            samples[s] = SampleTextureRef(stage.sampler, u, v, lod);
        }
        Rgba color = d.stageCount > 0 ? RunStages(d, in, samples) : in.diffuse;

        if (d.specularAdd) {
            color.r = Clamp255(color.r + in.specular.r);
            color.g = Clamp255(color.g + in.specular.g);
            color.b = Clamp255(color.b + in.specular.b);
        }
        if (layout.fog >= 0) {
            int f = ToByte(attribute(layout.fog));
            color.r = Mul255(color.r, f) + Mul255(fogColor.r, 255 - f);
            color.g = Mul255(color.g, f) + Mul255(fogColor.g, 255 - f);
            color.b = Mul255(color.b, f) + Mul255(fogColor.b, 255 - f);
        }
        if (d.alphaTest && !Compare(d.alphaFunc, static_cast<std::uint32_t>(color.a), d.alphaRef)) continue;
        if (d.depthWrite) depthRow[x] = static_cast<std::uint16_t>(depth);

        std::uint32_t old = colorRow[x];
        if (d.blend) {
            Rgba dst = Unpack(old);
            if (!target.hasAlpha) dst.a = 255;
            color = Blend(d, color, dst);
        }
        std::uint32_t value = PackRgba(color);
        value = (value & d.writeMask) | (old & ~d.writeMask);
        if (!target.hasAlpha) value |= 0xFF000000u;
        colorRow[x] = value;
    }
}

// ---- the fast path: four pixels at a time ------------------------------------------

namespace {

std::atomic<bool> gReferenceShading{false};
std::atomic<bool> gFixedStateShading{true};

inline __m128i Zero() { return _mm_setzero_si128(); }
inline __m128i Ones() { return _mm_set1_epi32(-1); }
inline __m128i Lo16(__m128i v) { return _mm_unpacklo_epi8(v, _mm_setzero_si128()); }
inline __m128i Hi16(__m128i v) { return _mm_unpackhi_epi8(v, _mm_setzero_si128()); }

// a * b / 255 rounded, in 16-bit lanes holding 0..255 (the same formula as Mul255).
inline __m128i Mul255x16(__m128i a, __m128i b) {
    __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

inline __m128i Modulate4(__m128i a, __m128i b) {
    return _mm_packus_epi16(Mul255x16(Lo16(a), Lo16(b)), Mul255x16(Hi16(a), Hi16(b)));
}

inline __m128i ReplicateAlpha(__m128i v) {
    __m128i a = _mm_srli_epi32(v, 24);
    a = _mm_or_si128(a, _mm_slli_epi32(a, 8));
    return _mm_or_si128(a, _mm_slli_epi32(a, 16));
}

inline __m128i Invert(__m128i v) { return _mm_xor_si128(v, Ones()); }

inline __m128i Select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// a * alpha + b * (1 - alpha), alpha replicated in every channel.
inline __m128i Mix4(__m128i a, __m128i b, __m128i alpha) {
    __m128i inverse = Invert(alpha);
    __m128i lo = _mm_add_epi16(Mul255x16(Lo16(a), Lo16(alpha)), Mul255x16(Lo16(b), Lo16(inverse)));
    __m128i hi = _mm_add_epi16(Mul255x16(Hi16(a), Hi16(alpha)), Mul255x16(Hi16(b), Hi16(inverse)));
    return _mm_packus_epi16(lo, hi);
}

struct Packed {
    __m128i diffuse, current, texture, factor, specular, temp;
};

inline __m128i Argument4(DWORD arg, const Packed& in) {
    __m128i v;
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

template <typename F>
inline __m128i Wide(__m128i a, __m128i b, F f) {
    return _mm_packus_epi16(f(Lo16(a), Lo16(b)), f(Hi16(a), Hi16(b)));
}

__attribute__((always_inline)) inline __m128i Operate4(DWORD op, __m128i a1, __m128i a2, const Packed& in) {
    switch (op) {
        case D3DTOP_SELECTARG1: return a1;
        case D3DTOP_SELECTARG2: return a2;
        case D3DTOP_MODULATE: return Modulate4(a1, a2);
        case D3DTOP_MODULATE2X:
            return Wide(a1, a2, [](__m128i x, __m128i y) { return _mm_slli_epi16(Mul255x16(x, y), 1); });
        case D3DTOP_MODULATE4X:
            return Wide(a1, a2, [](__m128i x, __m128i y) { return _mm_slli_epi16(Mul255x16(x, y), 2); });
        case D3DTOP_ADD: return _mm_adds_epu8(a1, a2);
        case D3DTOP_SUBTRACT: return _mm_subs_epu8(a1, a2);
        case D3DTOP_ADDSIGNED:
            return Wide(a1, a2, [](__m128i x, __m128i y) { return _mm_sub_epi16(_mm_add_epi16(x, y), _mm_set1_epi16(128)); });
        case D3DTOP_ADDSIGNED2X:
            return Wide(a1, a2, [](__m128i x, __m128i y) {
                return _mm_slli_epi16(_mm_sub_epi16(_mm_add_epi16(x, y), _mm_set1_epi16(128)), 1);
            });
        case D3DTOP_ADDSMOOTH:
            return Wide(a1, a2, [](__m128i x, __m128i y) { return _mm_sub_epi16(_mm_add_epi16(x, y), Mul255x16(x, y)); });
        case D3DTOP_BLENDDIFFUSEALPHA: return Mix4(a1, a2, ReplicateAlpha(in.diffuse));
        case D3DTOP_BLENDTEXTUREALPHA: return Mix4(a1, a2, ReplicateAlpha(in.texture));
        case D3DTOP_BLENDFACTORALPHA: return Mix4(a1, a2, ReplicateAlpha(in.factor));
        case D3DTOP_BLENDCURRENTALPHA: return Mix4(a1, a2, ReplicateAlpha(in.current));
        default: return a1;  // not reached: PackedStageOp admits only the ops above
    }
}

__attribute__((always_inline)) inline __m128i RunStages4(const DrawSetup& d, Packed& in, const __m128i* textures) {
    const __m128i colorMask = _mm_set1_epi32(0x00FFFFFF);
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = textures[s];
        __m128i color = Operate4(stage.colorOp, Argument4(stage.colorArg[1], in), Argument4(stage.colorArg[2], in), in);
        __m128i alpha;
        if (stage.alphaOp == D3DTOP_DISABLE) alpha = in.current;
        else if (stage.alphaOp == stage.colorOp && stage.alphaArg[1] == stage.colorArg[1] && stage.alphaArg[2] == stage.colorArg[2])
            alpha = color;
        else
            alpha = Operate4(stage.alphaOp, Argument4(stage.alphaArg[1], in), Argument4(stage.alphaArg[2], in), in);
        __m128i result = Select(colorMask, color, alpha);
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

inline __m128i Factor4(DWORD factor, __m128i src, __m128i dst) {
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
            return _mm_or_si128(_mm_min_epu8(ReplicateAlpha(src), Invert(ReplicateAlpha(dst))), _mm_set1_epi32(static_cast<int>(0xFF000000u)));
        default: return Ones();
    }
}

__m128i Blend4(const DrawSetup& d, __m128i src, __m128i dst) {
    if (d.blendOp == D3DBLENDOP_MIN) return _mm_min_epu8(src, dst);
    if (d.blendOp == D3DBLENDOP_MAX) return _mm_max_epu8(src, dst);
    const DWORD sf = d.srcBlend, df = d.destBlend;  // the two-in-one factors are resolved at set-up
    __m128i sfv = Factor4(sf, src, dst), dfv = Factor4(df, src, dst);
    __m128i slo = Mul255x16(Lo16(src), Lo16(sfv)), shi = Mul255x16(Hi16(src), Hi16(sfv));
    __m128i dlo = Mul255x16(Lo16(dst), Lo16(dfv)), dhi = Mul255x16(Hi16(dst), Hi16(dfv));
    switch (d.blendOp) {
        case D3DBLENDOP_SUBTRACT: return _mm_packus_epi16(_mm_sub_epi16(slo, dlo), _mm_sub_epi16(shi, dhi));
        case D3DBLENDOP_REVSUBTRACT: return _mm_packus_epi16(_mm_sub_epi16(dlo, slo), _mm_sub_epi16(dhi, shi));
        default: return _mm_packus_epi16(_mm_add_epi16(slo, dlo), _mm_add_epi16(shi, dhi));
    }
}

inline __m128i Compare4(DWORD func, __m128i value, __m128i reference) {
    switch (func) {
        case D3DCMP_NEVER: return Zero();
        case D3DCMP_LESS: return _mm_cmplt_epi32(value, reference);
        case D3DCMP_EQUAL: return _mm_cmpeq_epi32(value, reference);
        case D3DCMP_LESSEQUAL: return Invert(_mm_cmpgt_epi32(value, reference));
        case D3DCMP_GREATER: return _mm_cmpgt_epi32(value, reference);
        case D3DCMP_NOTEQUAL: return Invert(_mm_cmpeq_epi32(value, reference));
        case D3DCMP_GREATEREQUAL: return Invert(_mm_cmplt_epi32(value, reference));
        default: return Ones();
    }
}

// ToByte of four values, the same rounding.
inline __m128i ToByte4(__m128 v) {
    v = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
}

inline __m128 FastLog2x4(__m128 x) {
    __m128i bits = _mm_castps_si128(x);
    __m128 exponent = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_srli_epi32(bits, 23), _mm_set1_epi32(127)));
    __m128 m = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)), _mm_set1_epi32(0x3F800000)));
    __m128 poly = _mm_sub_ps(_mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(-0.34484843f), m), _mm_set1_ps(2.03454529f)), m),
                             _mm_set1_ps(1.68969686f));
    __m128 result = _mm_add_ps(exponent, poly);
    __m128 positive = _mm_cmpgt_ps(x, _mm_setzero_ps());
    return _mm_or_ps(_mm_and_ps(positive, result), _mm_andnot_ps(positive, _mm_set1_ps(-128.0f)));
}

// A plane's value along the row: base + dx * fx.
struct RowPlane {
    __m128 base = _mm_setzero_ps(), dx = _mm_setzero_ps();
    float dy = 0.0f;
    RowPlane() = default;
    RowPlane(const float* p, float fy) : base(_mm_set1_ps(p[0] + p[2] * fy)), dx(_mm_set1_ps(p[1])), dy(p[2]) {}
    __m128 At(__m128 fx) const { return _mm_add_ps(base, _mm_mul_ps(dx, fx)); }
};

inline __m128i PackArgb(__m128i r, __m128i g, __m128i b, __m128i a) {
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi32(a, 24), _mm_slli_epi32(r, 16)), _mm_or_si128(_mm_slli_epi32(g, 8), b));
}

}  // namespace

void SetReferenceShading(bool on) { gReferenceShading.store(on, std::memory_order_relaxed); }
void SetFixedStateShading(bool on) { gFixedStateShading.store(on, std::memory_order_relaxed); }

bool PackedStageOp(DWORD op) {
    switch (op) {
        case D3DTOP_DISABLE:
        case D3DTOP_SELECTARG1:
        case D3DTOP_SELECTARG2:
        case D3DTOP_MODULATE:
        case D3DTOP_MODULATE2X:
        case D3DTOP_MODULATE4X:
        case D3DTOP_ADD:
        case D3DTOP_ADDSIGNED:
        case D3DTOP_ADDSIGNED2X:
        case D3DTOP_SUBTRACT:
        case D3DTOP_ADDSMOOTH:
        case D3DTOP_BLENDDIFFUSEALPHA:
        case D3DTOP_BLENDTEXTUREALPHA:
        case D3DTOP_BLENDFACTORALPHA:
        case D3DTOP_BLENDCURRENTALPHA: return true;
        default: return false;
    }
}

SpanShader ChooseSpanShader(const DrawSetup& d) {
    if (gReferenceShading.load(std::memory_order_relaxed)) return ShadeSpanRef;
    if (d.wide) return WideSpanShader();
    return ShadeSpan;
}

namespace {
void ShadeRowsBySpan(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    for (int i = 0; i < rows; ++i)
        if (spans[i].x0 < spans[i].x1) d.shade(d, prim, pl, y0 + i, spans[i].x0, spans[i].x1);
}
}  // namespace

RowsShader ChooseRowsShader(const DrawSetup& d) {
    if (d.shade != ShadeSpan16) return ShadeRowsBySpan;
    return gFixedStateShading.load(std::memory_order_relaxed) && FixedStatesApply(d) ? ShadeRows16Fixed : ShadeRows16;
}

void ShadeSpan(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const RenderTarget& target = d.target;
    std::uint32_t* colorRow = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
    std::uint16_t* depthRow = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
    const AttributeLayout& layout = d.layout;
    const float fy = static_cast<float>(y) - prim.originY;
    const __m128 originX = _mm_set1_ps(prim.originX);
    const RowPlane zPlane(pl, fy), qPlane(pl + 3, fy);
    auto attributePlane = [&](int k) { return RowPlane(pl + 3 * (2 + k), fy); };

    struct StageRow {
        RowPlane u, v;
        float width, height;
    };
    StageRow stageRows[kMaxStages];
    for (int s = 0; s < d.stageCount; ++s) {
        int slot = layout.texcoord[s];
        if (slot < 0) continue;
        const SamplerSetup& sampler = d.stages[s].sampler;
        const SamplerLevel& base = sampler.texture->levels[sampler.baseLevel];
        stageRows[s] = {attributePlane(slot), attributePlane(slot + 1), static_cast<float>(base.width),
                        static_cast<float>(base.height)};
    }
    RowPlane colorPlanes[7];
    if (!prim.constantColor) {
        for (int k = 0; k < 4; ++k) colorPlanes[k] = attributePlane(k);
        if (layout.specular >= 0)
            for (int k = 0; k < 3; ++k) colorPlanes[4 + k] = attributePlane(layout.specular + k);
    }
    RowPlane fogPlane;
    if (layout.fog >= 0) fogPlane = attributePlane(layout.fog);

    const __m128i factor = _mm_set1_epi32(static_cast<int>(d.textureFactor));
    const __m128i fogColor = _mm_set1_epi32(static_cast<int>(d.fogColor));
    const __m128i writeMask = _mm_set1_epi32(static_cast<int>(d.writeMask));
    const __m128i alphaOne = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i laneIndex = _mm_setr_epi32(0, 1, 2, 3);

    for (int gx = x0 & ~3; gx < x1; gx += 4) {
        const bool whole = gx + 4 <= target.width;  // the group lies inside the row
        __m128i xs = _mm_add_epi32(_mm_set1_epi32(gx), laneIndex);
        __m128i cover = _mm_and_si128(_mm_cmpgt_epi32(xs, _mm_set1_epi32(x0 - 1)), _mm_cmplt_epi32(xs, _mm_set1_epi32(x1)));
        const __m128 fx = _mm_sub_ps(_mm_cvtepi32_ps(xs), originX);

        __m128i depth = Zero(), oldDepth = Zero();
        if (d.depthTest) {
            __m128 z = _mm_min_ps(_mm_max_ps(zPlane.At(fx), _mm_setzero_ps()), _mm_set1_ps(1.0f));
            depth = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(z, _mm_set1_ps(65535.0f)), _mm_set1_ps(0.5f)));
            if (whole) {
                oldDepth = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(depthRow + gx)), Zero());
            } else {
                alignas(16) std::int32_t values[4] = {};
                for (int i = 0; i < 4; ++i)
                    if (gx + i < target.width) values[i] = depthRow[gx + i];
                oldDepth = _mm_load_si128(reinterpret_cast<const __m128i*>(values));
            }
            cover = _mm_and_si128(cover, Compare4(d.depthFunc, depth, oldDepth));
        }
        int lanes = _mm_movemask_ps(_mm_castsi128_ps(cover));
        if (!lanes) continue;

        const __m128 q = qPlane.At(fx);
        const __m128 w = _mm_div_ps(_mm_set1_ps(1.0f), q);

        alignas(16) std::uint32_t samples[kMaxStages][4];
        __m128i textures[kMaxStages];
        for (int s = 0; s < d.stageCount; ++s) {
            const StageSetup& stage = d.stages[s];
            if (!stage.readsTexture || layout.texcoord[s] < 0) {
                textures[s] = Ones();
                for (int i = 0; i < 4; ++i) samples[s][i] = 0xFFFFFFFFu;
                continue;
            }
            const StageRow& row = stageRows[s];
            __m128 u = _mm_mul_ps(row.u.At(fx), w), v = _mm_mul_ps(row.v.At(fx), w);
            alignas(16) float us[4], vs[4], lods[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            _mm_store_ps(us, u);
            _mm_store_ps(vs, v);
            if (stage.sampler.needsLod) {
                // du/dx = (dU/dx - u dQ/dx) / Q in texels of the largest level in use.
                const __m128 width = _mm_set1_ps(row.width), height = _mm_set1_ps(row.height);
                __m128 dudx = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(row.u.dx, _mm_mul_ps(u, qPlane.dx)), w), width);
                __m128 dudy = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(row.u.dy), _mm_mul_ps(u, _mm_set1_ps(qPlane.dy))), w), width);
                __m128 dvdx = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(row.v.dx, _mm_mul_ps(v, qPlane.dx)), w), height);
                __m128 dvdy = _mm_mul_ps(_mm_mul_ps(_mm_sub_ps(_mm_set1_ps(row.v.dy), _mm_mul_ps(v, _mm_set1_ps(qPlane.dy))), w), height);
                __m128 rho2 = _mm_max_ps(_mm_add_ps(_mm_mul_ps(dudx, dudx), _mm_mul_ps(dvdx, dvdx)),
                                         _mm_add_ps(_mm_mul_ps(dudy, dudy), _mm_mul_ps(dvdy, dvdy)));
                __m128 lod = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.5f), FastLog2x4(rho2)), _mm_set1_ps(stage.sampler.lodBias));
                _mm_store_ps(lods, lod);
            }
            SampleQuad(stage.sampler, us, vs, lods, lanes, samples[s]);
            textures[s] = _mm_load_si128(reinterpret_cast<const __m128i*>(samples[s]));
        }

        __m128i diffuse, specular;
        if (prim.constantColor) {
            diffuse = _mm_set1_epi32(static_cast<int>(prim.diffuse));
            specular = _mm_set1_epi32(static_cast<int>(prim.specular));
        } else {
            diffuse = PackArgb(ToByte4(_mm_mul_ps(colorPlanes[0].At(fx), w)), ToByte4(_mm_mul_ps(colorPlanes[1].At(fx), w)),
                               ToByte4(_mm_mul_ps(colorPlanes[2].At(fx), w)), ToByte4(_mm_mul_ps(colorPlanes[3].At(fx), w)));
            specular = alphaOne;
            if (layout.specular >= 0)
                specular = _mm_or_si128(PackArgb(ToByte4(_mm_mul_ps(colorPlanes[4].At(fx), w)),
                                                 ToByte4(_mm_mul_ps(colorPlanes[5].At(fx), w)),
                                                 ToByte4(_mm_mul_ps(colorPlanes[6].At(fx), w)), Zero()),
                                        alphaOne);
        }

        __m128i color;
        if (d.stageCount == 0) {
            color = diffuse;
        } else if (d.fastStages) {
            Packed in{diffuse, diffuse, Ones(), factor, specular, Zero()};
            color = RunStages4(d, in, textures);
        } else {
            alignas(16) std::uint32_t diffuses[4], speculars[4], out[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(diffuses), diffuse);
            _mm_store_si128(reinterpret_cast<__m128i*>(speculars), specular);
            for (int i = 0; i < 4; ++i) {
                StageInputs in;
                in.diffuse = Unpack(diffuses[i]);
                in.current = in.diffuse;
                in.specular = Unpack(speculars[i]);
                in.factor = Unpack(d.textureFactor);
                in.temp = {0, 0, 0, 0};
                in.texture = {255, 255, 255, 255};
                std::uint32_t laneSamples[kMaxStages];
                for (int s = 0; s < d.stageCount; ++s) laneSamples[s] = samples[s][i];
                out[i] = PackRgba(RunStages(d, in, laneSamples));
            }
            color = _mm_load_si128(reinterpret_cast<const __m128i*>(out));
        }

        if (d.specularAdd) color = _mm_adds_epu8(color, _mm_andnot_si128(alphaOne, specular));
        if (layout.fog >= 0) {
            __m128i f = ToByte4(_mm_mul_ps(fogPlane.At(fx), w));
            f = _mm_or_si128(f, _mm_slli_epi32(f, 16));
            f = _mm_or_si128(f, _mm_slli_epi32(f, 8));  // the factor in r, g, b (and a, restored below)
            __m128i inverse = Invert(f);
            __m128i fogged = _mm_packus_epi16(
                _mm_add_epi16(Mul255x16(Lo16(color), Lo16(f)), Mul255x16(Lo16(fogColor), Lo16(inverse))),
                _mm_add_epi16(Mul255x16(Hi16(color), Hi16(f)), Mul255x16(Hi16(fogColor), Hi16(inverse))));
            color = Select(_mm_set1_epi32(0x00FFFFFF), fogged, color);
        }
        if (d.alphaTest) {
            cover = _mm_and_si128(cover, Compare4(d.alphaFunc, _mm_srli_epi32(color, 24), _mm_set1_epi32(static_cast<int>(d.alphaRef))));
            lanes = _mm_movemask_ps(_mm_castsi128_ps(cover));
            if (!lanes) continue;
        }
        if (d.depthWrite) {
            __m128i merged = Select(cover, depth, oldDepth);
            if (whole) {
                // Values are 0..65535: pack through signed 32 -> 16 by subtracting 32768.
                __m128i biased = _mm_sub_epi32(merged, _mm_set1_epi32(32768));
                __m128i packed = _mm_add_epi16(_mm_packs_epi32(biased, biased), _mm_set1_epi16(static_cast<short>(0x8000)));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(depthRow + gx), packed);
            } else {
                alignas(16) std::uint32_t values[4];
                _mm_store_si128(reinterpret_cast<__m128i*>(values), merged);
                for (int i = 0; i < 4; ++i)
                    if ((lanes >> i) & 1) depthRow[gx + i] = static_cast<std::uint16_t>(values[i]);
            }
        }

        __m128i old;
        alignas(16) std::uint32_t oldValues[4] = {};
        if (whole) {
            old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(colorRow + gx));
        } else {
            for (int i = 0; i < 4; ++i)
                if (gx + i < target.width) oldValues[i] = colorRow[gx + i];
            old = _mm_load_si128(reinterpret_cast<const __m128i*>(oldValues));
        }
        if (d.blend) color = Blend4(d, color, target.hasAlpha ? old : _mm_or_si128(old, alphaOne));
        __m128i value = Select(writeMask, color, old);
        if (!target.hasAlpha) value = _mm_or_si128(value, alphaOne);
        value = Select(cover, value, old);
        if (whole) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(colorRow + gx), value);
        } else {
            alignas(16) std::uint32_t values[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(values), value);
            for (int i = 0; i < 4; ++i)
                if ((lanes >> i) & 1) colorRow[gx + i] = values[i];
        }
    }
}

}  // namespace raster::detail
