// Internal structures of the pipeline: what vertex processing hands to clipping and
// setup, what setup hands to the tile workers, and the per-draw pixel configuration.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/d3d8/raster/raster.h"

namespace raster::detail {

constexpr int kMaxStages = static_cast<int>(D3DMAXTEXTURESTAGES);

// Recurring constants of the pipeline.
constexpr int kSubPixelSteps = 256;                 // screen positions and edges count 1/256 pixel steps
constexpr float kSubPixel = 1.0f / kSubPixelSteps;  // one step, in pixels
constexpr float kDepthScale = 65535.0f;             // depth 0..1 to the 16-bit depth buffer
constexpr float kCoordinateClamp = 268435456.0f;    // 2^28: scaled texel coordinates stay inside int range
constexpr float kMaxLod = 64.0f;                    // levels of detail beyond this choose the last level anyway
constexpr std::uint32_t kOpaqueAlpha = 0xFF000000u; // alpha byte of an opaque colour
constexpr std::uint32_t kColorBits = 0x00FFFFFFu;   // the red, green and blue bytes

// Marks the end of a switch that covers every value of an enum class.
[[noreturn]] inline void Unreachable() { __builtin_unreachable(); }

// A depth or alpha compare function (D3DCMP_*); values outside the set pass, as ALWAYS.
enum class CompareFunc : std::uint8_t { Never, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
constexpr CompareFunc ToCompareFunc(DWORD func) {
    switch (func) {
        case D3DCMP_NEVER: return CompareFunc::Never;
        case D3DCMP_LESS: return CompareFunc::Less;
        case D3DCMP_EQUAL: return CompareFunc::Equal;
        case D3DCMP_LESSEQUAL: return CompareFunc::LessEqual;
        case D3DCMP_GREATER: return CompareFunc::Greater;
        case D3DCMP_NOTEQUAL: return CompareFunc::NotEqual;
        case D3DCMP_GREATEREQUAL: return CompareFunc::GreaterEqual;
        default: return CompareFunc::Always;
    }
}

// A blend factor (D3DBLEND_*) after the two-in-one source factors are resolved; values
// outside the set weigh by one.
enum class BlendFactor : std::uint8_t {
    Zero, One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha, DestAlpha, InvDestAlpha, DestColor, InvDestColor, SrcAlphaSat
};
constexpr BlendFactor ToBlendFactor(DWORD factor) {
    switch (factor) {
        case D3DBLEND_ZERO: return BlendFactor::Zero;
        case D3DBLEND_SRCCOLOR: return BlendFactor::SrcColor;
        case D3DBLEND_INVSRCCOLOR: return BlendFactor::InvSrcColor;
        case D3DBLEND_SRCALPHA: return BlendFactor::SrcAlpha;
        case D3DBLEND_INVSRCALPHA: return BlendFactor::InvSrcAlpha;
        case D3DBLEND_DESTALPHA: return BlendFactor::DestAlpha;
        case D3DBLEND_INVDESTALPHA: return BlendFactor::InvDestAlpha;
        case D3DBLEND_DESTCOLOR: return BlendFactor::DestColor;
        case D3DBLEND_INVDESTCOLOR: return BlendFactor::InvDestColor;
        case D3DBLEND_SRCALPHASAT: return BlendFactor::SrcAlphaSat;
        default: return BlendFactor::One;
    }
}

// A blend operation (D3DBLENDOP_*); values outside the set add.
enum class BlendOp : std::uint8_t { Add, Subtract, RevSubtract, Min, Max };
constexpr BlendOp ToBlendOp(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return BlendOp::Subtract;
        case D3DBLENDOP_REVSUBTRACT: return BlendOp::RevSubtract;
        case D3DBLENDOP_MIN: return BlendOp::Min;
        case D3DBLENDOP_MAX: return BlendOp::Max;
        default: return BlendOp::Add;
    }
}

// A texture address mode (D3DTADDRESS_*); values outside the set wrap.
enum class AddressMode : std::uint8_t { Wrap, Mirror, Clamp, Border, MirrorOnce };
constexpr AddressMode ToAddressMode(DWORD mode) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return AddressMode::Mirror;
        case D3DTADDRESS_CLAMP: return AddressMode::Clamp;
        case D3DTADDRESS_BORDER: return AddressMode::Border;
        case D3DTADDRESS_MIRRORONCE: return AddressMode::MirrorOnce;
        default: return AddressMode::Wrap;
    }
}

// How a sampler chooses between levels (D3DTEXF_* as MIPFILTER): every filter above POINT
// blends two levels.
enum class MipFilter : std::uint8_t { None, Point, Linear };
constexpr MipFilter ToMipFilter(DWORD filter) {
    switch (filter) {
        case D3DTEXF_NONE: return MipFilter::None;
        case D3DTEXF_POINT: return MipFilter::Point;
        default: return MipFilter::Linear;
    }
}
// A minification or magnification filter (D3DTEXF_* as MINFILTER and MAGFILTER): the
// filters above LINEAR filter linearly, NONE reads as POINT.
enum class TextureFilter : std::uint8_t { Point, Linear };
constexpr TextureFilter ToTextureFilter(DWORD filter) {
    switch (filter) {
        case D3DTEXF_NONE:
        case D3DTEXF_POINT: return TextureFilter::Point;
        default: return TextureFilter::Linear;
    }
}

// Diffuse rgba, specular rgb, fog factor, and up to four coordinates per texture stage.
constexpr int kMaxAttributes = 4 + 3 + 1 + 4 * kMaxStages;

// Where each interpolated value sits in a vertex's attribute array. Diffuse is always
// at 0..3; the others are present only when the draw reads them (-1 otherwise).
struct AttributeLayout {
    int count = 4;
    int specular = -1;
    int fog = -1;
    int texcoord[kMaxStages] = {-1, -1, -1, -1, -1, -1, -1, -1};
    // How many coordinates each stage interpolates from texcoord on (1 to 4).
    int texcoordCount[kMaxStages] = {2, 2, 2, 2, 2, 2, 2, 2};
};

struct DrawSetup;
struct Prim;
using SpanShader = void (*)(const DrawSetup&, const Prim&, const float*, int, int, int);
// The pixels x0 .. x1 - 1 of one row (none when x1 <= x0).
struct RowSpan {
    int x0, x1;
};
// Shades rows y0 .. y0 + rows - 1 of a primitive, row y0 + i over spans[i].
using RowsShader = void (*)(const DrawSetup&, const Prim&, const float*, int y0, int rows, const RowSpan* spans);

// The sampler states of one stage, decoded once per draw.
struct SamplerSetup {
    const SamplerTexture* texture = nullptr;  // null: reads opaque white
    AddressMode addressU = AddressMode::Wrap;
    AddressMode addressV = AddressMode::Wrap;
    std::uint32_t border = 0;
    TextureFilter magFilter = TextureFilter::Point;
    TextureFilter minFilter = TextureFilter::Point;
    DWORD mipFilter = D3DTEXF_NONE;
    MipFilter mip = MipFilter::None;
    float lodBias = 0.0f;
    int baseLevel = 0;  // MAXMIPLEVEL clamped to the texture's levels
    bool wrapPow2 = false;  // both addresses WRAP and every level a power of two in size
    bool needsLod = true;   // false when the level of detail cannot change the result
    bool rowPairs = false;  // wrapPow2, and every level has its interleaved rows
    // The vector body samples it (wrapPow2, one filter for minification and magnification);
    // otherwise it samples pixel by pixel.
    bool vectorSampling = false;
    bool levelsInReach = false;  // texelShift and rowPairShift hold every level's distance
    // The levels by index, for look-ups of a level per lane (entries past the last are 0).
    struct LevelTables {
        int width[SamplerTexture::kMaxLevels];
        int height[SamplerTexture::kMaxLevels];
        int pitch[SamplerTexture::kMaxLevels];
        // Each level's first texel (interleaved-row texel) counted in texels from level 0's.
        std::int32_t texelShift[SamplerTexture::kMaxLevels];
        std::int32_t rowPairShift[SamplerTexture::kMaxLevels];
    } tables = {};
    // Coordinates other than a plain (u, v): a cube or a volume, a projected set, or a
    // set of other than two coordinates. Such a stage samples pixel by pixel through
    // SampleAt, from its coordinates' planes (byCoordinates); the vector body samples cubes
    // a group at a time, with SampleAt's arithmetic lane for lane.
    TextureKind kind = TextureKind::Plane;
    AddressMode addressW = AddressMode::Wrap;
    int coordinates = 2;     // interpolated, from the layout's texcoord slot on
    bool projected = false;  // the last coordinate divides the others (D3DTTFF_PROJECTED)
    bool byCoordinates = false;
};

struct StageSetup {
    DWORD colorOp = D3DTOP_DISABLE;
    DWORD colorArg[3] = {};  // arg0, arg1, arg2
    DWORD alphaOp = D3DTOP_DISABLE;
    DWORD alphaArg[3] = {};
    bool resultToTemp = false;
    bool readsTexture = false;
    SamplerSetup sampler;
};

// Everything the tile workers need to shade the pixels of one draw.
struct DrawSetup {
    RenderTarget target;
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // viewport within the target, exclusive ends
    bool depthTest = false;
    bool depthWrite = false;
    DWORD depthFunc = D3DCMP_LESSEQUAL;
    CompareFunc depthCompare = CompareFunc::LessEqual;
    bool alphaTest = false;
    DWORD alphaFunc = D3DCMP_ALWAYS;
    CompareFunc alphaCompare = CompareFunc::Always;
    std::uint32_t alphaRef = 0;
    bool blend = false;
    BlendFactor srcBlend = BlendFactor::One;
    BlendFactor destBlend = BlendFactor::Zero;  // after the two-in-one source factors are resolved
    BlendOp blendOp = BlendOp::Add;
    std::uint32_t writeMask = 0xFFFFFFFFu;  // ARGB bits kept from the new colour
    bool specularAdd = false;
    bool fog = false;
    std::uint32_t fogColor = 0;
    std::uint32_t textureFactor = 0xFFFFFFFFu;
    bool usesTemp = false;
    bool fastStages = false;  // every stage op has a packed form (the vector body runs them)
    // Every stage's colour is TEXTURE x CURRENT (MODULATE, no modifiers, no temp), and its
    // alpha one of ChainAlpha: the vector body runs such chains without decoding them.
    enum class ChainAlpha : std::uint8_t { Current, Texture, Product };
    bool modulateChain = false;
    ChainAlpha chainAlpha[kMaxStages] = {};
    // The span function for the draw's pixels, chosen once per draw (ChooseShaders).
    SpanShader shade = nullptr;
    // The same for a run of rows, which sets up a primitive's values once for all of them.
    RowsShader shadeRows = nullptr;
    int stageCount = 0;
    StageSetup stages[kMaxStages];
    AttributeLayout layout;
};

// A vertex after transform and lighting: clip-space position and attributes.
struct ClipVertex {
    float pos[4];
    float attr[kMaxAttributes];
};

// A vertex after the perspective divide and the viewport: screen x, y (pixel centres at
// integers), depth z in [0, 1], q = 1/w, and every attribute multiplied by q.
struct ScreenVertex {
    float x, y, z, q;
    float attr[kMaxAttributes];
};

enum class PrimKind : std::uint8_t { Triangle, Line, Point, Clear };

// A primitive ready for the tiles. Values across the primitive are planes over pixel
// coordinates: value(px, py) = p[0] + p[1] * (px - originX) + p[2] * (py - originY);
// plane 0 is depth, plane 1 is q, the others the attributes times q.
struct Prim {
    PrimKind kind = PrimKind::Triangle;
    std::uint32_t draw = 0;
    std::uint32_t planes = 0;  // first float of the planes in the frame's plane pool
    int minX = 0, minY = 0, maxX = 0, maxY = 0;  // inclusive pixel bounds, inside the viewport
    float originX = 0.0f, originY = 0.0f;
    // Triangle: edge functions in 1/256 pixel units, evaluated at pixel centres:
    // e(px, py) = a * px + b * py + c; a pixel is inside when every e >= 0.
    std::int64_t edgeA[3] = {}, edgeB[3] = {}, edgeC[3] = {};
    // Line: the end points in pixels and whether the line steps along x.
    float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;
    bool xMajor = true;
    bool lastPixel = true;
    // Diffuse and specular equal at every vertex: the packed colours are used as they are.
    bool constantColor = false;
    std::uint32_t diffuse = 0, specular = 0;
    // Clear: the rectangle is the bounds; which buffers, and their values.
    bool clearColor = false, clearDepth = false;
    std::uint32_t clearColorValue = 0;
    std::uint16_t clearDepthValue = 0;
};

constexpr int PlaneFloats(const AttributeLayout& layout) { return 3 * (2 + layout.count); }

// Decodes the states of a draw into its pixel configuration.
void BuildDrawSetup(const PipelineState& state, const RenderTarget& target, DrawSetup& draw,
                    const RasterOptions& options = {});

// Pixel stage. The span and rows functions of a draw are chosen once per draw from the
// rasterizer's options (ChooseShaders): the plain reference, or the vector body for the
// best allowed target this processor runs.
void ChooseShaders(DrawSetup& draw, const RasterOptions& options);
// The plain pixel-by-pixel version, kept as the reference the vector one is tested against.
void ShadeSpanRef(const DrawSetup& draw, const Prim& prim, const float* planes, int y, int x0, int x1);
// The stages of one pixel, for operations without a packed form (see PackedStageOp):
// diffuse and specular colours, and each stage's texel.
std::uint32_t RunStagesOnePixel(const DrawSetup& draw, std::uint32_t diffuse, std::uint32_t specular,
                                const std::uint32_t* samples);
// Whether a stage operation has a packed form (otherwise stages run pixel by pixel).
bool PackedStageOp(DWORD op);
// Whether a draw has the states of the most common textured draw, which the vector body
// shades with those states fixed at compile time (two textured stages, the first
// trilinear, the second point-sampled without mipmaps, a modulate chain, a LESSEQUAL depth
// test with writes, no blending, alpha test or fog, every colour channel written).
bool FixedStatesApply(const DrawSetup& draw);

// The vector body (pixel_simd.cpp): its rows function for a draw on the best of targets
// (Highway target bits) that this processor runs, the portable one when none; the
// targets compiled in; and the target ShadingTarget(targets) runs.
RowsShader VectorRowsShader(const DrawSetup& draw, std::int64_t targets, bool fixedStates);
std::int64_t CompiledShadingTargets();
std::int64_t ShadingTarget(std::int64_t targets);
// Fills first .. last with value (clears), in the widest stores the processor has.
void FillColor(std::uint32_t* first, std::uint32_t* last, std::uint32_t value);
void FillDepth(std::uint16_t* first, std::uint16_t* last, std::uint16_t value);

// Sampler: the texel colour of a stage at (u, v) with the level of detail lod (log2 of
// texels per pixel, bias included). SampleTextureRef is the plain version.
std::uint32_t SampleTexture(const SamplerSetup& sampler, float u, float v, float lod);
std::uint32_t SampleTextureRef(const SamplerSetup& sampler, float u, float v, float lod);
// A byCoordinates stage at pixel offset (fx, fy) from the primitive's origin, with w = 1/q
// at that pixel: its coordinates from their planes (the first at coordinates, q's at
// qPlane), perspective-corrected and projected, the level of detail from their screen
// derivatives, then the plane, volume or cube lookup. The plain and the vector pixel
// stage both call it (the vector one for all but cubes), so they agree exactly.
std::uint32_t SampleAt(const SamplerSetup& sampler, const float* coordinates, const float* qPlane, float fx, float fy,
                       float w);

// The level choice of SampleOne for a minified or magnified lane: the finer level, the
// coarser one and the 8-bit weight of the coarser (0 when only one level is read), and
// whether the lane filters linearly.
struct LaneLevels {
    int fine, coarse, weight;
    bool linear;
};

inline LaneLevels ChooseLevels(const SamplerSetup& s, float lod) {
    const int last = s.texture->levelCount - 1;
    int level = s.baseLevel;
    if (!(lod > 0.0f)) return {level, level, 0, s.magFilter == TextureFilter::Linear};
    const bool linear = s.minFilter == TextureFilter::Linear;
    if (lod > 64.0f) lod = 64.0f;
    switch (s.mip) {
        case MipFilter::Point: {
            float nearest = std::floor(lod + 0.5f);
            level = nearest >= static_cast<float>(last - level) ? last : level + static_cast<int>(nearest);
            return {level, level, 0, linear};
        }
        case MipFilter::None: return {level, level, 0, linear};
        case MipFilter::Linear: {
            int whole = static_cast<int>(lod);
            if (whole >= last - level) return {last, last, 0, linear};
            level += whole;
            // A weight of 0 blends to the finer level exactly.
            return {level, level + 1, static_cast<int>((lod - static_cast<float>(whole)) * 256.0f), linear};
        }
    }
    Unreachable();
}

}  // namespace raster::detail
