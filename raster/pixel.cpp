// The pixel stage: depth test, perspective-correct attributes, the texture stages,
// specular and fog, alpha test, blending and the write to the target. Colours are
// 8-bit integers per channel from the stages on.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "raster/pipeline.h"

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

inline bool Holds(CompareFunc func, std::uint32_t value, std::uint32_t reference) {
    switch (func) {
        case CompareFunc::Never: return false;
        case CompareFunc::Less: return value < reference;
        case CompareFunc::Equal: return value == reference;
        case CompareFunc::LessEqual: return value <= reference;
        case CompareFunc::Greater: return value > reference;
        case CompareFunc::NotEqual: return value != reference;
        case CompareFunc::GreaterEqual: return value >= reference;
        case CompareFunc::Always: return true;
    }
    Unreachable();
}

// A stencil operation on value (within bits, the stencil's largest value).
inline std::uint32_t ApplyStencilOp(StencilOp op, std::uint32_t value, std::uint32_t ref, std::uint32_t bits) {
    switch (op) {
        case StencilOp::Keep: return value;
        case StencilOp::Zero: return 0;
        case StencilOp::Replace: return ref;
        case StencilOp::IncrSat: return value < bits ? value + 1 : bits;
        case StencilOp::DecrSat: return value > 0 ? value - 1 : 0;
        case StencilOp::Invert: return value ^ bits;
        case StencilOp::Incr: return (value + 1) & bits;
        case StencilOp::Decr: return (value - 1) & bits;
    }
    Unreachable();
}

// A word of a depth buffer of another layout than D16.
inline std::uint32_t ReadWord(const DrawSetup& d, const void* row, int x) {
    if (d.target.depthLayout.wordBytes == 2) return static_cast<const std::uint16_t*>(row)[x];
    return static_cast<const std::uint32_t*>(row)[x];
}
inline void WriteWord(const DrawSetup& d, void* row, int x, std::uint32_t word) {
    if (d.target.depthLayout.wordBytes == 2) static_cast<std::uint16_t*>(row)[x] = static_cast<std::uint16_t>(word);
    else static_cast<std::uint32_t*>(row)[x] = word;
}

// The pixel fog factor at a distance (w or z, see DrawSetup::wFog).
inline float PixelFogFactor(const DrawSetup& d, float distance) {
    switch (d.pixelFog) {
        case FogMode::None: return 1.0f;
        case FogMode::Linear: return d.fogBias - distance * d.fogScale;
        case FogMode::Exp: return FogExp(distance * d.fogDensity);
        case FogMode::Exp2: {
            const float t = distance * d.fogDensity;
            return FogExp(t * t);
        }
    }
    Unreachable();
}

// The inputs a stage may read.
struct StageInputs {
    Rgba diffuse, current, texture, factor, specular, temp;
};

inline Rgba Argument(StageArg arg, const StageInputs& in) {
    Rgba v = {0, 0, 0, 0};
    switch (arg.source) {
        case ArgSource::Diffuse: v = in.diffuse; break;
        case ArgSource::Current: v = in.current; break;
        case ArgSource::Texture: v = in.texture; break;
        case ArgSource::Factor: v = in.factor; break;
        case ArgSource::Specular: v = in.specular; break;
        case ArgSource::Temp: v = in.temp; break;
        case ArgSource::Zero: break;
    }
    if (arg.alphaReplicate) v.r = v.g = v.b = v.a;
    if (arg.complement) v = {255 - v.r, 255 - v.g, 255 - v.b, 255 - v.a};
    return v;
}

// One channel of an operation; a1a is the alpha of argument 1 (for the ops that
// mix it into colour), the alphas of diffuse, texture, factor and current for the
// blend ops.
inline int Operate(StageOp op, int a0, int a1, int a2, int a1a, const StageInputs& in) {
    switch (op) {
        case StageOp::SelectArg1: return a1;
        case StageOp::SelectArg2: return a2;
        case StageOp::Modulate: return Mul255(a1, a2);
        case StageOp::Modulate2x: return Clamp255(2 * Mul255(a1, a2));
        case StageOp::Modulate4x: return Clamp255(4 * Mul255(a1, a2));
        case StageOp::Add: return Clamp255(a1 + a2);
        case StageOp::AddSigned: return Clamp255(a1 + a2 - 128);
        case StageOp::AddSigned2x: return Clamp255(2 * (a1 + a2 - 128));
        case StageOp::Subtract: return Clamp255(a1 - a2);
        case StageOp::AddSmooth: return Clamp255(a1 + a2 - Mul255(a1, a2));
        case StageOp::BlendDiffuseAlpha: return Mul255(a1, in.diffuse.a) + Mul255(a2, 255 - in.diffuse.a);
        case StageOp::BlendTextureAlpha: return Mul255(a1, in.texture.a) + Mul255(a2, 255 - in.texture.a);
        case StageOp::BlendFactorAlpha: return Mul255(a1, in.factor.a) + Mul255(a2, 255 - in.factor.a);
        case StageOp::BlendCurrentAlpha: return Mul255(a1, in.current.a) + Mul255(a2, 255 - in.current.a);
        case StageOp::BlendTextureAlphaPm: return Clamp255(a1 + Mul255(a2, 255 - in.texture.a));
        case StageOp::ModulateAlphaAddColor: return Clamp255(a1 + Mul255(a1a, a2));
        case StageOp::ModulateColorAddAlpha: return Clamp255(Mul255(a1, a2) + a1a);
        case StageOp::ModulateInvAlphaAddColor: return Clamp255(a1 + Mul255(255 - a1a, a2));
        case StageOp::ModulateInvColorAddAlpha: return Clamp255(Mul255(255 - a1, a2) + a1a);
        case StageOp::MultiplyAdd: return Clamp255(a0 + Mul255(a1, a2));
        case StageOp::Lerp: return Mul255(a0, a1) + Mul255(255 - a0, a2);
        // FIXME: bump mapping and premodulation are not drawn; they pass argument 1.
        case StageOp::PreModulate:
        case StageOp::BumpEnvMap:
        case StageOp::BumpEnvMapLuminance: return a1;
        case StageOp::Disable:
        case StageOp::DotProduct3: break;  // RunStages: DISABLE ends the stages, DOTPRODUCT3 mixes the channels
    }
    Unreachable();
}

Rgba RunStages(const DrawSetup& d, StageInputs& in, const std::uint32_t* samples) {
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        in.texture = Unpack(samples[s]);
        Rgba c0 = Argument(stage.colorArg[0], in), c1 = Argument(stage.colorArg[1], in),
             c2 = Argument(stage.colorArg[2], in);
        Rgba result;
        if (stage.colorOp == StageOp::DotProduct3) {
            int dot = ((c1.r - 128) * (c2.r - 128) + (c1.g - 128) * (c2.g - 128) + (c1.b - 128) * (c2.b - 128)) / 64;
            result.r = result.g = result.b = Clamp255(dot);
        } else {
            result.r = Operate(stage.colorOp, c0.r, c1.r, c2.r, c1.a, in);
            result.g = Operate(stage.colorOp, c0.g, c1.g, c2.g, c1.a, in);
            result.b = Operate(stage.colorOp, c0.b, c1.b, c2.b, c1.a, in);
        }
        if (stage.alphaOp == StageOp::Disable) {
            result.a = in.current.a;
        } else if (stage.colorOp == StageOp::DotProduct3) {
            result.a = result.r;
        } else {
            int a0 = Argument(stage.alphaArg[0], in).a, a1 = Argument(stage.alphaArg[1], in).a,
                a2 = Argument(stage.alphaArg[2], in).a;
            result.a = stage.alphaOp == StageOp::DotProduct3 ? result.r : Operate(stage.alphaOp, a0, a1, a2, a1, in);
        }
        if (stage.resultToTemp) in.temp = result;
        else in.current = result;
    }
    return in.current;
}

inline int Factor(BlendFactor factor, int channel, const Rgba& src, const Rgba& dst, bool alphaChannel) {
    const int s[4] = {src.r, src.g, src.b, src.a};
    const int t[4] = {dst.r, dst.g, dst.b, dst.a};
    switch (factor) {
        case BlendFactor::Zero: return 0;
        case BlendFactor::One: return 255;
        case BlendFactor::SrcColor: return s[channel];
        case BlendFactor::InvSrcColor: return 255 - s[channel];
        case BlendFactor::SrcAlpha: return src.a;
        case BlendFactor::InvSrcAlpha: return 255 - src.a;
        case BlendFactor::DestAlpha: return dst.a;
        case BlendFactor::InvDestAlpha: return 255 - dst.a;
        case BlendFactor::DestColor: return t[channel];
        case BlendFactor::InvDestColor: return 255 - t[channel];
        case BlendFactor::SrcAlphaSat: return alphaChannel ? 255 : std::min(src.a, 255 - dst.a);
    }
    Unreachable();
}

inline int BlendChannel(BlendOp op, int s, int d) {
    switch (op) {
        case BlendOp::Add: return Clamp255(s + d);
        case BlendOp::Subtract: return Clamp255(s - d);
        case BlendOp::RevSubtract: return Clamp255(d - s);
        case BlendOp::Min: return std::min(s, d);
        case BlendOp::Max: return std::max(s, d);
    }
    Unreachable();
}

Rgba Blend(const DrawSetup& d, const Rgba& src, const Rgba& dst) {
    const int s[4] = {src.r, src.g, src.b, src.a};
    const int t[4] = {dst.r, dst.g, dst.b, dst.a};
    int out[4];
    for (int c = 0; c < 4; ++c) {
        // MIN and MAX ignore the factors.
        if (d.blendOp == BlendOp::Min || d.blendOp == BlendOp::Max) {
            out[c] = BlendChannel(d.blendOp, s[c], t[c]);
            continue;
        }
        int sv = Mul255(s[c], Factor(d.srcBlend, c, src, dst, c == 3));
        int dv = Mul255(t[c], Factor(d.destBlend, c, src, dst, c == 3));
        out[c] = BlendChannel(d.blendOp, sv, dv);
    }
    return {out[0], out[1], out[2], out[3]};
}

// What the plain span function reads for every pixel of a row: the row's addresses and the
// planes at the row, and the constant colours.
struct SpanRow {
    std::uint32_t* color = nullptr;
    std::uint16_t* depth = nullptr;
    void* words = nullptr;  // the packed depth-stencil words (packedDepth)
    std::uint32_t lowBits = 0;  // a word's bits below its depth
    float base[2 + kMaxAttributes];  // each plane at x = originX on the row
    float fy = 0.0f;
    Rgba factor, fogColor;
};

// The depth and stencil tests of one pixel. The pixel goes on (true) unless it fails them
// and nothing more is to be written for it. Depth buffers of other layouts: the word,
// whether the stencil and depth tests pass and the stencil value to write; without an alpha
// test the stencil is written at once, with one only for pixels that pass it.
struct PixelTests {
    std::uint32_t depth = 0, word = 0, stencil = 0;
    bool passes = true;
};

// z is the pixel's interpolated depth (unclamped).
bool TestDepthStencil(const DrawSetup& d, const SpanRow& row, int x, float z, PixelTests& t) {
    if (d.packedDepth) {
        t.word = ReadWord(d, row.words, x);
        z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
        t.depth = std::min(static_cast<std::uint32_t>(z * d.depthScale + 0.5f), static_cast<std::uint32_t>(d.depthMax));
        const bool depthPasses = !d.depthTest || Holds(d.depthCompare, t.depth, t.word >> d.depthShift);
        t.passes = depthPasses;
        t.stencil = t.word & row.lowBits;
        if (d.stencil) {
            const std::uint32_t old = t.word & d.stencilBits;
            const bool stencilPasses = Holds(d.stencilCompare, d.stencilRef & d.stencilReadMask, old & d.stencilReadMask);
            const StencilOp op = !stencilPasses ? d.stencilFail : (depthPasses ? d.stencilPass : d.stencilZFail);
            const std::uint32_t changed = ApplyStencilOp(op, old, d.stencilRef, d.stencilBits);
            t.stencil = (old & ~d.stencilWriteMask) | (changed & d.stencilWriteMask);
            t.passes = stencilPasses && depthPasses;
            if (!d.alphaTest) {
                t.word = (t.word & ~row.lowBits) | t.stencil;
                WriteWord(d, row.words, x, t.word);
            }
        }
        return t.passes || (d.stencil && d.alphaTest);
    }
    if (!d.depthTest) return true;
    z = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
    t.depth = static_cast<std::uint32_t>(z * kDepthScale + 0.5f);
    return Holds(d.depthCompare, t.depth, row.depth[x]);
}

// Each stage's texel at the pixel (opaque white where the stage samples none: an unbound
// stage's alpha reads were turned into diffuse reads by BuildDrawSetup), with the
// level of detail from the screen derivatives of its coordinates.
void SampleStages(const DrawSetup& d, const SpanRow& row, const float* pl, float fx, float w,
                  std::uint32_t samples[kMaxStages]) {
    const AttributeLayout& layout = d.layout;
    for (int s = 0; s < d.stageCount; ++s) {
        const StageSetup& stage = d.stages[s];
        int slot = layout.texcoord[s];
        if (!stage.readsTexture || slot < 0) {
            samples[s] = 0xFFFFFFFFu;
            continue;
        }
        if (stage.sampler.byCoordinates) {
            samples[s] = SampleAt(stage.sampler, pl + 3 * (2 + slot), pl + 3, fx, row.fy, w);
            continue;
        }
        const float* pu = pl + 3 * (2 + slot);
        const float* pv = pu + 3;
        float u = (row.base[2 + slot] + pu[1] * fx) * w;
        float v = (row.base[3 + slot] + pv[1] * fx) * w;
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
}

void MixFog(Rgba& color, const Rgba& fogColor, int f) {
    color.r = Mul255(color.r, f) + Mul255(fogColor.r, 255 - f);
    color.g = Mul255(color.g, f) + Mul255(fogColor.g, 255 - f);
    color.b = Mul255(color.b, f) + Mul255(fogColor.b, 255 - f);
}

// The specular addition, then vertex fog (its interpolated factor) or pixel fog.
void AddSpecularAndFog(const DrawSetup& d, const SpanRow& row, const float* pl, float fx, float w,
                       const Rgba& specular, int vertexFog, Rgba& color) {
    if (d.specularAdd) {
        color.r = Clamp255(color.r + specular.r);
        color.g = Clamp255(color.g + specular.g);
        color.b = Clamp255(color.b + specular.b);
    }
    if (d.layout.fog >= 0) MixFog(color, row.fogColor, vertexFog);
    if (d.pixelFog != FogMode::None) {
        float distance = w;
        if (!d.wFog) distance = row.base[0] + pl[1] * fx;  // the depth as interpolated, unclamped
        MixFog(color, row.fogColor, ToByte(PixelFogFactor(d, distance)));
    }
}

// The depth (or depth-stencil word) and the blended, masked colour of a pixel that passed.
void WritePixel(const DrawSetup& d, const SpanRow& row, int x, const PixelTests& t, Rgba color) {
    const RenderTarget& target = d.target;
    if (d.packedDepth) {
        if (d.depthWrite) WriteWord(d, row.words, x, (t.depth << d.depthShift) | t.stencil);
    } else if (d.depthWrite) {
        row.depth[x] = static_cast<std::uint16_t>(t.depth);
    }
    std::uint32_t old = row.color[x];
    if (d.blend) {
        Rgba dst = Unpack(old);
        if (!target.hasAlpha) dst.a = 255;
        color = Blend(d, color, dst);
    }
    std::uint32_t value = PackRgba(color);
    value = (value & d.writeMask) | (old & ~d.writeMask);
    if (!target.hasAlpha) value |= kOpaqueAlpha;
    row.color[x] = value;
}

// The alpha test, then the write. Where both the stencil and the alpha test are on, a pixel
// that passes the alpha test stores the stencil word its depth and stencil tests made even
// when those failed; colour and depth follow only for pixels that passed them.
void AlphaTestAndWrite(const DrawSetup& d, const SpanRow& row, int x, PixelTests& t, Rgba color) {
    if (d.alphaTest && !Holds(d.alphaCompare, static_cast<std::uint32_t>(color.a), d.alphaRef)) return;
    if (d.stencil && d.alphaTest) {
        WriteWord(d, row.words, x, (t.word & ~row.lowBits) | t.stencil);
        t.word = (t.word & ~row.lowBits) | t.stencil;
        if (!t.passes) return;
    }
    WritePixel(d, row, x, t, color);
}

SpanRow RowOf(const DrawSetup& d, const Prim& prim, const float* pl, int y) {
    const RenderTarget& target = d.target;
    SpanRow row;
    row.color = target.color + static_cast<std::ptrdiff_t>(y) * target.colorPitch;
    row.depth = target.depth ? target.depth + static_cast<std::ptrdiff_t>(y) * target.depthPitch : nullptr;
    if (d.packedDepth)
        row.words = static_cast<std::uint8_t*>(target.depthStencil) +
                    static_cast<std::ptrdiff_t>(y) * target.depthPitch * target.depthLayout.wordBytes;
    row.lowBits = (std::uint32_t{1} << d.depthShift) - 1;
    row.fy = static_cast<float>(y) - prim.originY;
    for (int k = 0; k < 2 + d.layout.count; ++k) row.base[k] = pl[3 * k] + pl[3 * k + 2] * row.fy;
    row.factor = Unpack(d.textureFactor);
    row.fogColor = Unpack(d.fogColor);
    return row;
}

}  // namespace

// The plain pixel stage, pixel by pixel in its passes: depth and stencil tests, the
// interpolated colours, the stages' texels and combiners, specular and fog, the alpha
// test, then the writes.
void ShadeSpanRef(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const SpanRow row = RowOf(d, prim, pl, y);
    const AttributeLayout& layout = d.layout;
    for (int x = x0; x < x1; ++x) {
        const float fx = static_cast<float>(x) - prim.originX;
        PixelTests t;
        if (!TestDepthStencil(d, row, x, row.base[0] + pl[1] * fx, t)) continue;
        const float q = row.base[1] + pl[4] * fx;
        const float w = 1.0f / q;
        auto attribute = [&](int k) { return (row.base[2 + k] + pl[3 * (2 + k) + 1] * fx) * w; };

        StageInputs in;
        in.diffuse = {ToByte(attribute(0)), ToByte(attribute(1)), ToByte(attribute(2)), ToByte(attribute(3))};
        in.specular = {0, 0, 0, 255};
        if (layout.specular >= 0)
            in.specular = {ToByte(attribute(layout.specular)), ToByte(attribute(layout.specular + 1)),
                           ToByte(attribute(layout.specular + 2)), 255};
        in.current = in.diffuse;
        in.factor = row.factor;
        in.temp = {0, 0, 0, 0};
        in.texture = {255, 255, 255, 255};

        std::uint32_t samples[kMaxStages];
        SampleStages(d, row, pl, fx, w, samples);
        Rgba color = d.stageCount > 0 ? RunStages(d, in, samples) : in.diffuse;
        AddSpecularAndFog(d, row, pl, fx, w, in.specular, layout.fog >= 0 ? ToByte(attribute(layout.fog)) : 0, color);

        AlphaTestAndWrite(d, row, x, t, color);
    }
}

// ---- pixel programs --------------------------------------------------------------

namespace {

// The pixel stage under a pixel program, a group of programLanes pixels at a time: the
// program runs first (texkill removes a pixel before any test, texdepth replaces its
// depth), then each pixel it keeps goes through the depth and stencil tests, fog, the
// alpha test and the writes as in ShadeSpanRef. r0 becomes bytes as the stages' results
// do; the specular colour is never added. The loops here are the plain twins of a vector
// runner's programSetup and programWrite.
void ShadeSpanProgram(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const SpanRow row = RowOf(d, prim, pl, y);
    const AttributeLayout& layout = d.layout;
    const PixelProgram& program = *d.program;
    ProgramDraw draw = d.programDraw;
    for (int s = 0; s < PixelProgram::kTextures; ++s)
        draw.stages[s].sampler = d.stages[s].readsTexture && d.stages[s].sampler.texture ? &d.stages[s].sampler : nullptr;
    const int lanes = std::min(d.programLanes, kMaxProgramLanes);
    ProgramGroup group;
    ProgramResult result;
    float ws[kMaxProgramLanes];
    for (int gx = x0; gx < x1; gx += lanes) {
        const int n = std::min(lanes, x1 - gx);
        group.active = n >= 32 ? ~0u : (1u << n) - 1u;
        if (d.programSetup) {
            d.programSetup(d, row.base, pl, gx, prim.originX, group, ws);
        } else {
            for (int i = 0; i < n; ++i) {
                const float fx = static_cast<float>(gx + i) - prim.originX;
                const float q = row.base[1] + pl[4] * fx;
                const float w = 1.0f / q;
                ws[i] = w;
                auto attribute = [&](int k) { return (row.base[2 + k] + pl[3 * (2 + k) + 1] * fx) * w; };
                // The colours as the stages see them: bytes.
                for (int k = 0; k < 4; ++k) group.color[0][k][i] = static_cast<float>(ToByte(attribute(k))) / 255.0f;
                for (int k = 0; k < 3; ++k)
                    group.color[1][k][i] = layout.specular >= 0
                                               ? static_cast<float>(ToByte(attribute(layout.specular + k))) / 255.0f
                                               : 0.0f;
                group.color[1][3][i] = 1.0f;
                for (int s = 0; s < PixelProgram::kTextures; ++s) {
                    const int slot = layout.texcoord[s];
                    if (slot < 0) continue;
                    for (int k = 0; k < 4; ++k) group.texcoord[s][k][i] = attribute(slot + k);
                    const SamplerSetup* sampler = draw.stages[s].sampler;
                    if (!sampler) continue;
                    // The level of detail from u and v as SampleStages finds it.
                    const float* pu = pl + 3 * (2 + slot);
                    const float* pv = pu + 3;
                    const float u = group.texcoord[s][0][i], v = group.texcoord[s][1][i];
                    const SamplerLevel& base = sampler->texture->levels[sampler->baseLevel];
                    const float dudx = (pu[1] - u * pl[4]) * w * static_cast<float>(base.width);
                    const float dudy = (pu[2] - u * pl[5]) * w * static_cast<float>(base.width);
                    const float dvdx = (pv[1] - v * pl[4]) * w * static_cast<float>(base.height);
                    const float dvdy = (pv[2] - v * pl[5]) * w * static_cast<float>(base.height);
                    const float rho2 = std::max(dudx * dudx + dvdx * dvdx, dudy * dudy + dvdy * dvdy);
                    group.lod[s][i] = 0.5f * FastLog2(rho2) + sampler->lodBias;
                }
            }
        }
        const SetupSampler sampler(draw, group, d.programSampler);
        d.programRunner(program, draw, group, sampler, result);
        if (d.programWrite) {
            d.programWrite(d, row.base, pl, gx, prim.originX, group.active, result, row.color + gx, row.depth + gx);
            continue;
        }
        for (int i = 0; i < n; ++i) {
            if ((result.killed >> i) & 1u) continue;
            const int x = gx + i;
            const float fx = static_cast<float>(x) - prim.originX;
            PixelTests t;
            const float z = program.WritesDepth() ? result.depth[i] : row.base[0] + pl[1] * fx;
            if (!TestDepthStencil(d, row, x, z, t)) continue;
            Rgba color = {ToByte(result.color[0][i]), ToByte(result.color[1][i]), ToByte(result.color[2][i]),
                          ToByte(result.color[3][i])};
            const float w = ws[i];
            auto attribute = [&](int k) { return (row.base[2 + k] + pl[3 * (2 + k) + 1] * fx) * w; };
            AddSpecularAndFog(d, row, pl, fx, w, Rgba{}, layout.fog >= 0 ? ToByte(attribute(layout.fog)) : 0, color);
            AlphaTestAndWrite(d, row, x, t, color);
        }
    }
}

}  // namespace

// ---- choosing the shaders ----------------------------------------------------------

std::uint32_t RunStagesOnePixel(const DrawSetup& d, std::uint32_t diffuse, std::uint32_t specular,
                                const std::uint32_t* samples) {
    StageInputs in;
    in.diffuse = Unpack(diffuse);
    in.current = in.diffuse;
    in.specular = Unpack(specular);
    in.factor = Unpack(d.textureFactor);
    in.temp = {0, 0, 0, 0};
    in.texture = {255, 255, 255, 255};
    return PackRgba(RunStages(d, in, samples));
}

bool PackedStageOp(StageOp op) {
    switch (op) {
        case StageOp::Disable:
        case StageOp::SelectArg1:
        case StageOp::SelectArg2:
        case StageOp::Modulate:
        case StageOp::Modulate2x:
        case StageOp::Modulate4x:
        case StageOp::Add:
        case StageOp::AddSigned:
        case StageOp::AddSigned2x:
        case StageOp::Subtract:
        case StageOp::AddSmooth:
        case StageOp::BlendDiffuseAlpha:
        case StageOp::BlendTextureAlpha:
        case StageOp::BlendFactorAlpha:
        case StageOp::BlendCurrentAlpha: return true;
        case StageOp::BlendTextureAlphaPm:
        case StageOp::PreModulate:
        case StageOp::ModulateAlphaAddColor:
        case StageOp::ModulateColorAddAlpha:
        case StageOp::ModulateInvAlphaAddColor:
        case StageOp::ModulateInvColorAddAlpha:
        case StageOp::BumpEnvMap:
        case StageOp::BumpEnvMapLuminance:
        case StageOp::DotProduct3:
        case StageOp::MultiplyAdd:
        case StageOp::Lerp: return false;
    }
    Unreachable();
}

namespace {

bool TwoStageTrilinearApplies(const DrawSetup& d) {
    const AttributeLayout& layout = d.layout;
    if (d.stageCount != 2 || !d.modulateChain || d.chainAlpha[0] != DrawSetup::ChainAlpha::Texture ||
        d.chainAlpha[1] != DrawSetup::ChainAlpha::Current)
        return false;
    for (int s = 0; s < 2; ++s) {
        const StageSetup& stage = d.stages[s];
        if (!stage.readsTexture || !stage.sampler.texture || layout.texcoord[s] < 0 || !stage.sampler.vectorSampling)
            return false;
    }
    const SamplerSetup& first = d.stages[0].sampler;
    const SamplerSetup& second = d.stages[1].sampler;
    return first.needsLod && first.minFilter == TextureFilter::Linear && first.mipFilter == MipFilter::Linear && first.rowPairs &&
           !second.needsLod &&
           second.minFilter == TextureFilter::Point && second.mipFilter == MipFilter::None;
}

// A modulate chain over opaque white texels leaves the diffuse colour as it is (an
// unbound stage's alpha reads the diffuse alpha, which the body sees in chainAlpha).
bool UntexturedApplies(const DrawSetup& d) {
    if (d.stageCount == 0) return true;
    if (!d.modulateChain) return false;
    for (int s = 0; s < d.stageCount; ++s)
        if (d.stages[s].readsTexture && d.layout.texcoord[s] >= 0) return false;
    return true;
}

}  // namespace

bool ProgramWritesApply(const DrawSetup& d) {
    return d.depthTest && d.depthWrite && d.target.depth && !d.packedDepth && !d.stencil && d.layout.fog < 0 &&
           d.pixelFog == FogMode::None && !d.alphaTest && !d.blend && d.writeMask == 0xFFFFFFFFu && d.program &&
           !d.program->WritesDepth();
}

FixedStates FixedStatesFor(const DrawSetup& d) {
    if (!d.depthTest || d.depthCompare != CompareFunc::LessEqual || !d.depthWrite || d.layout.fog >= 0 || d.alphaTest ||
        d.blend || d.writeMask != 0xFFFFFFFFu || d.packedDepth || d.pixelFog != FogMode::None)
        return FixedStates::None;
    if (TwoStageTrilinearApplies(d)) return FixedStates::TwoStageTrilinear;
    if (UntexturedApplies(d)) return FixedStates::Untextured;
    return FixedStates::None;
}

namespace {

void ShadeRowsBySpan(const DrawSetup& d, const Prim& prim, const float* pl, int y0, int rows, const RowSpan* spans) {
    for (int i = 0; i < rows; ++i)
        if (spans[i].x0 < spans[i].x1) d.shade(d, prim, pl, y0 + i, spans[i].x0, spans[i].x1);
}

void ShadeSpanByRows(const DrawSetup& d, const Prim& prim, const float* pl, int y, int x0, int x1) {
    const RowSpan span{x0, x1};
    d.shadeRows(d, prim, pl, y, 1, &span);
}

}  // namespace

void ChooseShaders(DrawSetup& d, const RasterOptions& options) {
    if (d.program) {
        if (options.referenceShading) {
            d.programRunner = RunPixelProgramRef;
            d.programLanes = 1;
            d.programSampler = nullptr;
            d.programSetup = nullptr;
            d.programWrite = nullptr;
        } else {
            d.programRunner = PixelProgramRunner(options.vectorTargets);
            d.programLanes = ProgramLanes(options.vectorTargets);
            d.programSampler = GroupSamplerFor(options.vectorTargets);
            d.programSetup = ProgramSetupFor(options.vectorTargets);
            d.programWrite = ProgramWritesApply(d) ? ProgramWriteFor(options.vectorTargets) : nullptr;
        }
        d.shade = ShadeSpanProgram;
        d.shadeRows = ShadeRowsBySpan;
        return;
    }
    if (options.referenceShading) {
        d.shade = ShadeSpanRef;
        d.shadeRows = ShadeRowsBySpan;
        return;
    }
    d.shadeRows = VectorRowsShader(d, options.vectorTargets, options.fixedStateShading);
    d.shade = ShadeSpanByRows;
}

}  // namespace raster::detail
