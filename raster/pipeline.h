// Internal structures of the pipeline: what vertex processing hands to clipping and
// setup, what setup hands to the tile workers, and the per-draw pixel configuration.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "raster/pixel_program.h"
#include "raster/raster.h"

namespace raster::detail {

// Recurring constants of the pipeline.
constexpr int kSubPixelSteps = 256;                 // screen positions and edges count 1/256 pixel steps
constexpr float kSubPixel = 1.0f / kSubPixelSteps;  // one step, in pixels
constexpr float kDepthScale = 65535.0f;             // depth 0..1 to the 16-bit depth buffer
constexpr float kCoordinateClamp = 268435456.0f;    // 2^28: scaled texel coordinates stay inside int range
constexpr float kMaxLod = 64.0f;                    // levels of detail beyond this choose the last level anyway
constexpr std::uint32_t kOpaqueAlpha = 0xFF000000u; // alpha byte of an opaque colour
constexpr std::uint32_t kColorBits = 0x00FFFFFFu;   // the red, green and blue bytes
// 2^-r for 0 <= r < 1 as the cubic c0 + c1 r + c2 r^2 + c3 r^3, fitted by least squares
// at 1000 points of the interval (largest error 1.0e-4).
constexpr float kFogExpC0 = 0.99989943f, kFogExpC1 = -0.69108438f, kFogExpC2 = 0.23061358f,
                kFogExpC3 = -0.039523637f;

// The interleaved rows of a level: each row and the next interleaved, texel (x, y) then
// (x, y + 1), wrapping at the last row, and column 0 repeated after the last column. Row
// pair y starts at 2 * y * (pitch + 1), and the 16 bytes at 2 * (y * (pitch + 1) + x) hold
// the 2 x 2 footprint of texel (x, y) with wrapping, so a bilinear lookup that wraps reads
// one entry instead of two rows. RowPairTexels(pitch, height) texels, about twice the
// level's.
constexpr std::size_t RowPairTexels(int pitch, int height) {
    return 2 * (static_cast<std::size_t>(pitch) + 1) * static_cast<std::size_t>(height);
}
void BuildRowPairs(const std::uint32_t* texels, int width, int height, int pitch, std::uint32_t* rowPairs);
// Interleaved rows are made for textures of up to this many texels in their largest level.
constexpr std::size_t kMaxRowPairTexels = 1024 * 1024;
// The interleaved rows of each level of a texture whose level sizes are all powers of two,
// kept in the texture's copies: made at the first call after a change (or on the first
// call), then shared by the draws until the texture changes again. Null for a texture
// beyond kMaxRowPairTexels. Safe to call from several threads at once.
const std::uint32_t* const* InterleavedRows(const SamplerTexture& texture);
// exp(-x) for the fog formulas, to about 1e-4 (far below a step of 8-bit colour): 2^-t
// with t = x log2(e) split into its whole part (the exponent) and a cubic in the
// fraction. Plain float operations in a fixed order, so that the vector body, which runs
// the same steps lane for lane, gives the same factors. x below 0 counts as 0 and x
// beyond 87 (and NaN) as 87, where the factor is 0 in 8 bits.
inline float FogExp(float x) {
    float t = x * 1.44269504f;
    t = t > 0.0f ? t : 0.0f;
    t = t < 126.0f ? t : 126.0f;
    const float whole = std::floor(t);
    const float r = t - whole;
    const float p = ((kFogExpC3 * r + kFogExpC2) * r + kFogExpC1) * r + kFogExpC0;
    const std::uint32_t bits = static_cast<std::uint32_t>(127 - static_cast<int>(whole)) << 23;
    float scale;
    __builtin_memcpy(&scale, &bits, sizeof scale);
    return p * scale;
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

// The sampler of one stage for a draw: its states, and what the draw's texture makes of them.
struct SamplerSetup {
    const SamplerTexture* texture = nullptr;  // null: unbound (the stage reads ReadUnboundTexture's texel)
    AddressMode addressU = AddressMode::Wrap;
    AddressMode addressV = AddressMode::Wrap;
    std::uint32_t border = 0;
    TextureFilter magFilter = TextureFilter::Point;
    TextureFilter minFilter = TextureFilter::Point;
    MipFilter mipFilter = MipFilter::None;
    float lodBias = 0.0f;
    int baseLevel = 0;  // MAXMIPLEVEL clamped to the texture's levels
    bool wrapPow2 = false;  // both addresses WRAP and every level a power of two in size
    bool needsLod = true;   // false when the level of detail cannot change the result
    bool rowPairs = false;  // wrapPow2, and every level has its interleaved rows:
    const std::uint32_t* const* rowPairLevels = nullptr;  // those of level l (InterleavedRows)
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
    bool projected = false;  // the last coordinate divides the others
    bool byCoordinates = false;
};

struct StageSetup {
    StageOp colorOp = StageOp::Disable;
    StageArg colorArg[3] = {};  // arg0, arg1, arg2
    StageOp alphaOp = StageOp::Disable;
    StageArg alphaArg[3] = {};
    bool resultToTemp = false;
    bool readsTexture = false;
    SamplerSetup sampler;
};

// A pixel program's group at x = gx of a row (rowBase: the planes at the row) as the vector
// runner of a target sets it up and, for the draws ProgramWritesApply takes, tests and
// writes it (pixel_program_simd.cpp; the plain twin is ShadeSpanProgram's loops).
using ProgramSetup = void (*)(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX,
                              ProgramGroup& group, float* ws);
using ProgramWrite = void (*)(const DrawSetup& d, const float* rowBase, const float* pl, int gx, float originX,
                              std::uint32_t lanes, const ProgramResult& result, std::uint32_t* color,
                              std::uint16_t* depth);
ProgramSetup ProgramSetupFor(std::int64_t targets);
ProgramWrite ProgramWriteFor(std::int64_t targets);
// Draws whose program results go through a ProgramWrite: a depth test on a 16-bit buffer
// with writes, no stencil, fog, alpha test or blending, every channel written, the
// program's depth left alone.
bool ProgramWritesApply(const DrawSetup& d);

// Everything the tile workers need to shade the pixels of one draw.
struct DrawSetup {
    RenderTarget target;
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // viewport within the target, exclusive ends
    bool depthTest = false;
    bool depthWrite = false;
    CompareFunc depthCompare = CompareFunc::LessEqual;
    bool alphaTest = false;
    CompareFunc alphaCompare = CompareFunc::Always;
    std::uint32_t alphaRef = 0;
    bool blend = false;
    BlendFactor srcBlend = BlendFactor::One;
    BlendFactor destBlend = BlendFactor::Zero;  // after the two-in-one source factors are resolved
    BlendOp blendOp = BlendOp::Add;
    std::uint32_t writeMask = 0xFFFFFFFFu;  // ARGB bits kept from the new colour
    bool specularAdd = false;
    bool readsSpecular = false;  // the specular addition or a stage reads the specular colour
    bool fog = false;  // vertex fog: the interpolated factor (layout.fog)
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
    // A depth buffer of another layout than D16 (target.depthStencil), where depth and
    // stencil share each pixel's word: the depth test and writes go through the stencil
    // step of the body. Depth values are z scaled to the format's bits.
    bool packedDepth = false;
    int depthShift = 0;                 // a word's depth is word >> depthShift
    float depthScale = kDepthScale;     // z 0..1 to depth values
    std::int32_t depthMax = 0xFFFF;     // the largest depth value
    std::uint32_t stencilBits = 0;      // the stencil bits of a word, the low ones
    // The stencil test (STENCILENABLE with stencil bits in the buffer): (ref & readMask)
    // stencilCompare (stencil & readMask); then one of the three operations, written
    // through the write mask.
    bool stencil = false;
    CompareFunc stencilCompare = CompareFunc::Always;
    StencilOp stencilFail = StencilOp::Keep, stencilZFail = StencilOp::Keep, stencilPass = StencilOp::Keep;
    std::uint32_t stencilRef = 0;         // within stencilBits
    std::uint32_t stencilReadMask = 0;    // within stencilBits
    std::uint32_t stencilWriteMask = 0;   // within stencilBits
    // Pixel fog (FOGTABLEMODE), which takes the place of vertex fog: the factor of the
    // formula from each pixel's eye-space w (wFog) or its depth z. Linear is
    // fogBias - distance * fogScale, that is (end - distance) / (end - start).
    FogMode pixelFog = FogMode::None;
    bool wFog = false;
    float fogBias = 1.0f, fogScale = 0.0f, fogDensity = 1.0f;
    // A pixel program in place of the stages (null: the stages run). Its stage s samples
    // through stages[s].sampler (programDraw's sampler pointers are set where it runs),
    // reads its coordinate set from layout.texcoord[s] (four coordinates) and runs on
    // programRunner over groups of programLanes pixels.
    const PixelProgram* program = nullptr;
    std::shared_ptr<const PixelProgram> stageProgram;  // the stages as a program (bump mapping)
    ProgramDraw programDraw;
    ProgramRunner programRunner = nullptr;
    int programLanes = 1;
    GroupSampler programSampler = nullptr;  // the vector runners' lookups (null: lane by lane)
    ProgramSetup programSetup = nullptr;    // the vector runners' group setup (null: lane by lane)
    ProgramWrite programWrite = nullptr;    // the writes of ProgramWritesApply draws (null: lane by lane)
};

// A vertex after transform and lighting: clip-space position and attributes, and for the
// vertices of a point list the point's size in pixels.
struct ClipVertex {
    float pos[4];
    float attr[kMaxAttributes];
    float pointSize;
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
    // Clear of a depth buffer of another layout (RenderTarget::depthStencil): each word
    // becomes (word & clearKeep) | clearWord.
    bool clearWords = false;
    std::uint32_t clearKeep = 0, clearWord = 0;
};

constexpr int PlaneFloats(const AttributeLayout& layout) { return 3 * (2 + layout.count); }

// The pixel configuration of a draw, from its states and its target.
void BuildDrawSetup(const PipelineState& state, const RenderTarget& target, DrawSetup& draw,
                    const RasterOptions& options = {});

// The fixed-function stages as a pixel program (stage_program.cpp): whether a draw's stages
// need it (bump mapping), and the translation of d's stages (after BuildDrawSetup has set
// them up) into a program made with stage registers; false where they cannot be (more
// than six stages, a bump stage last).
bool NeedsStageProgram(const DrawSetup& d);
bool StagesAsProgram(const DrawSetup& d, PixelProgram& program);

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
bool PackedStageOp(StageOp op);
// The common draws that the vector body shades with their states fixed at compile time.
// Both have a LESSEQUAL depth test with writes on a D16 buffer, no blending, alpha test,
// fog or stencil, and write every colour channel.
enum class FixedStates : std::uint8_t {
    None,
    // Two textured stages, the first trilinear from interleaved rows, the second
    // point-sampled without mipmaps, in a modulate chain.
    TwoStageTrilinear,
    // No stage samples a texture and the stages are a modulate chain (or there are none):
    // the colour is the diffuse one.
    Untextured,
};
FixedStates FixedStatesFor(const DrawSetup& draw);

// The vector body (pixel_simd.cpp): its rows function for a draw on the best of targets
// (Highway target bits) that this processor runs, the portable one when none; the
// targets compiled in; and the target ShadingTarget(targets) runs.
RowsShader VectorRowsShader(const DrawSetup& draw, std::int64_t targets, bool fixedStates);
std::int64_t CompiledShadingTargets();
std::int64_t ShadingTarget(std::int64_t targets);
// Fill first .. last with value (clears) in the widest stores of the best of targets
// (Highway target bits) that this processor runs, as VectorRowsShader chooses.
using ColorFill = void (*)(std::uint32_t* first, std::uint32_t* last, std::uint32_t value);
using DepthFill = void (*)(std::uint16_t* first, std::uint16_t* last, std::uint16_t value);
ColorFill ColorFiller(std::int64_t targets);
DepthFill DepthFiller(std::int64_t targets);

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
// The texel of a stage at coordinates (u, v, w) and level of detail lod (bias included),
// by the texture's kind: a plane reads (u, v), a volume (u, v, w), a cube the direction.
// Pixel programs sample through it.
std::uint32_t SampleCoordinates(const SamplerSetup& sampler, float u, float v, float w, float lod);
// The group sampler of the best of targets (Highway target bits) that this processor runs.
GroupSampler GroupSamplerFor(std::int64_t targets);

// The level choice of every scalar lookup for a minified or magnified lane (its Highway
// twin is ChooseLevelsN in pixel_simd.cpp, lane for lane the same arithmetic): the finer
// level, the coarser one and the 8-bit weight of the coarser (0 when only one level is
// read), and whether the lane filters linearly.
struct LaneLevels {
    int fine, coarse, weight;
    bool linear;
};

inline LaneLevels ChooseLevels(const SamplerSetup& s, float lod) {
    const int last = s.texture->levelCount - 1;
    int level = s.baseLevel;
    if (!(lod > 0.0f)) return {level, level, 0, s.magFilter == TextureFilter::Linear};
    const bool linear = s.minFilter == TextureFilter::Linear;
    if (lod > kMaxLod) lod = kMaxLod;
    switch (s.mipFilter) {
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
