// The rasterizer's own state: every fixed-function state of a draw as enum class values
// and plain numbers. The runtime above translates its states into a DrawState when they
// are set (the platform's out-of-range values are refused or mapped there, once), so a
// draw decodes nothing: it reads these fields as they are.
#pragma once

#include <cstdint>

namespace raster {

// Marks the end of a switch that covers every value of an enum class.
[[noreturn]] inline void Unreachable() { __builtin_unreachable(); }

constexpr int kMaxStages = 8;
constexpr int kMaxLights = 8;
// The largest point size drawn, in pixels; larger sizes are clamped to it.
constexpr float kMaxPointSize = 64.0f;
constexpr int kMaxClipPlanes = 6;

// The programs that may take the place of the fixed-function vertex and pixel stages
// (vs.1.1 and ps.1.x), defined by the program layer of raster; a null pointer in a
// DrawState selects the fixed-function stage.
class VertexProgram;
class PixelProgram;

// How a triangle is drawn: its corners, its edges or its inside.
enum class FillMode : std::uint8_t { Point, Wireframe, Solid };
// Which triangles are dropped by the winding of their screen corners.
enum class CullMode : std::uint8_t { None, Clockwise, CounterClockwise };
// Flat: the colours of a triangle's first vertex everywhere; Gouraud: interpolated.
enum class ShadeMode : std::uint8_t { Flat, Gouraud };
// A depth, alpha or stencil comparison of a value with a reference.
enum class CompareFunc : std::uint8_t { Never, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
// A blend factor.
enum class BlendFactor : std::uint8_t {
    Zero, One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha, DestAlpha, InvDestAlpha, DestColor, InvDestColor, SrcAlphaSat
};
// How the weighted source and destination colours combine.
enum class BlendOp : std::uint8_t { Add, Subtract, RevSubtract, Min, Max };
// What a stencil test writes.
enum class StencilOp : std::uint8_t { Keep, Zero, Replace, IncrSat, DecrSat, Invert, Incr, Decr };
// A fog formula; None draws no fog.
enum class FogMode : std::uint8_t { None, Exp, Exp2, Linear };
// Where lighting takes a material colour from: the material, or the vertex's diffuse
// (Color1) or specular (Color2) colour, the material where the vertex has none.
enum class MaterialSource : std::uint8_t { Material, Color1, Color2 };

// A texture stage operation.
enum class StageOp : std::uint8_t {
    Disable, SelectArg1, SelectArg2, Modulate, Modulate2x, Modulate4x, Add, AddSigned, AddSigned2x, Subtract,
    AddSmooth, BlendDiffuseAlpha, BlendTextureAlpha, BlendFactorAlpha, BlendTextureAlphaPm, BlendCurrentAlpha,
    PreModulate, ModulateAlphaAddColor, ModulateColorAddAlpha, ModulateInvAlphaAddColor, ModulateInvColorAddAlpha,
    BumpEnvMap, BumpEnvMapLuminance, DotProduct3, MultiplyAdd, Lerp
};
// Where a stage argument reads; Zero reads zero in every channel.
enum class ArgSource : std::uint8_t { Diffuse, Current, Texture, Factor, Specular, Temp, Zero };
// A stage argument: its source and modifiers (alpha replicated first, then complemented).
struct StageArg {
    ArgSource source = ArgSource::Current;
    bool alphaReplicate = false;
    bool complement = false;
    friend constexpr bool operator==(const StageArg&, const StageArg&) = default;
};
// An argument without modifiers.
constexpr StageArg Plain(ArgSource source) { return {source, false, false}; }

// A texture address mode.
enum class AddressMode : std::uint8_t { Wrap, Mirror, Clamp, Border, MirrorOnce };
// A minification or magnification filter.
enum class TextureFilter : std::uint8_t { Point, Linear };
// How a sampler chooses between levels: None reads the base level, Point the nearest
// level, Linear blends the two nearest.
enum class MipFilter : std::uint8_t { None, Point, Linear };
// Where a stage's texture coordinates come from: a coordinate set of the vertex, or
// generated in camera space from the normal, the position or the reflection vector.
// None: no coordinates (read as zeros).
enum class CoordinateSource : std::uint8_t { Set, CameraNormal, CameraPosition, CameraReflection, None };

// The states of one texture stage: its combiner, its sampler and its coordinates.
struct StageState {
    StageOp colorOp = StageOp::Disable;
    StageArg colorArg[3] = {};  // arg0, arg1, arg2
    StageOp alphaOp = StageOp::Disable;
    StageArg alphaArg[3] = {};
    bool resultToTemp = false;  // the result goes to the temporary register, not CURRENT
    AddressMode addressU = AddressMode::Wrap;
    AddressMode addressV = AddressMode::Wrap;
    AddressMode addressW = AddressMode::Wrap;
    std::uint32_t borderColor = 0;  // A8R8G8B8
    TextureFilter magFilter = TextureFilter::Point;
    TextureFilter minFilter = TextureFilter::Point;
    MipFilter mipFilter = MipFilter::None;
    float lodBias = 0.0f;
    std::uint32_t maxMipLevel = 0;  // the largest level read, 0 the largest texture
    CoordinateSource coordinateSource = CoordinateSource::Set;
    int coordinateSet = 0;        // CoordinateSource::Set: which of the vertex's sets
    int transformCount = 0;       // 1 to 4: the coordinates go through the stage's matrix
                                  // and this many of them are kept; 0: not transformed
    bool projected = false;       // the last coordinate divides the others
    // Read by pixel programs only (texbem, texbeml, bem): the bump-environment matrix
    // (BUMPENVMAT00, 01 / 10, 11), the luminance scale and offset, and the channels the
    // stage's texture holds as signed values biased by 128 (write mask bits r, g, b, a;
    // see ProgramStage). The fixed-function stages read such a byte as any other: a
    // signed v as (v + 1) / 2.
    float bumpMatrix[2][2] = {};
    float luminanceScale = 0.0f, luminanceOffset = 0.0f;
    std::uint8_t signedChannels = 0;
};

// Every fixed-function state of a draw. Its defaults are the platform's.
struct DrawState {
    // Assembly and setup.
    FillMode fill = FillMode::Solid;
    CullMode cull = CullMode::CounterClockwise;
    ShadeMode shade = ShadeMode::Gouraud;
    bool lastPixel = true;  // lines draw their last pixel
    // Points: the size in pixels (or, with pointScale, in eye-space units scaled by the
    // distance as screen size = viewport height * size / sqrt(A + B d + C d^2)); a vertex's
    // own size takes the place of pointSize. pointSprite spreads each stage's coordinates
    // over the point, (0, 0) at its top left to (1, 1) at its bottom right.
    float pointSize = 1.0f, pointSizeMin = 0.0f, pointSizeMax = 64.0f;
    bool pointSprite = false;
    bool pointScale = false;
    float pointScaleA = 1.0f, pointScaleB = 0.0f, pointScaleC = 0.0f;
    std::uint32_t clipPlanes = 0;  // bit i enables user clip plane i (i < kMaxClipPlanes)

    // Depth, alpha and stencil tests.
    bool depthTest = true;
    bool depthWrite = true;
    CompareFunc depthFunc = CompareFunc::LessEqual;
    bool alphaTest = false;
    CompareFunc alphaFunc = CompareFunc::Always;
    std::uint32_t alphaRef = 0;  // 0..255
    bool stencil = false;
    CompareFunc stencilFunc = CompareFunc::Always;
    StencilOp stencilFail = StencilOp::Keep, stencilDepthFail = StencilOp::Keep, stencilPass = StencilOp::Keep;
    std::uint32_t stencilRef = 0, stencilReadMask = 0xFFFFFFFFu, stencilWriteMask = 0xFFFFFFFFu;

    // Blending and the colour write.
    bool blend = false;
    BlendFactor srcBlend = BlendFactor::One;
    BlendFactor destBlend = BlendFactor::Zero;
    BlendOp blendOp = BlendOp::Add;
    std::uint32_t colorWriteMask = 0xFFFFFFFFu;  // the A8R8G8B8 bits a draw writes

    // Fog: per pixel (pixelFog) takes the place of per vertex (vertexFog).
    bool fog = false;
    FogMode pixelFog = FogMode::None;
    FogMode vertexFog = FogMode::None;
    bool rangeFog = false;  // vertex fog from the distance to the eye instead of depth
    std::uint32_t fogColor = 0;
    float fogStart = 0.0f, fogEnd = 1.0f, fogDensity = 1.0f;

    // Lighting and colours.
    bool lighting = true;
    bool specular = false;  // specular lighting, and the specular colour added after the stages
    bool normalizeNormals = false;
    bool localViewer = true;
    bool colorVertex = true;  // the material sources may name vertex colours
    MaterialSource diffuseSource = MaterialSource::Color1;
    MaterialSource specularSource = MaterialSource::Color2;
    MaterialSource ambientSource = MaterialSource::Material;
    MaterialSource emissiveSource = MaterialSource::Material;
    std::uint32_t ambient = 0;        // A8R8G8B8
    std::uint32_t textureFactor = 0xFFFFFFFFu;

    StageState stages[kMaxStages];

    // Programs in place of the fixed-function stages; null: the fixed-function stage.
    const VertexProgram* vertexProgram = nullptr;
    const PixelProgram* pixelProgram = nullptr;
    float pixelConstants[8][4] = {};  // c0 to c7 of a pixel program
};

}  // namespace raster
