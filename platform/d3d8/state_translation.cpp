// Render and texture stage states into the rasterizer's typed state, and their defaults.
//
// The platform's rules for values outside a state's set: a comparison compares ALWAYS, a
// blend factor weighs by ONE, a blend operation adds, a stencil operation keeps, a stage
// operation passes argument 1 (as the operations that are not drawn do), an argument
// selector reads zero, an address mode wraps, a filter above LINEAR filters linearly (NONE
// as MIN or MAG filter samples the nearest texel), a fog mode draws no fog, a material
// source reads the material, a fill mode fills, a cull mode culls nothing, a texture
// coordinate generation mode gives no coordinates, a texture transform count outside
// 1..4 leaves the coordinates untransformed.
#include "platform/d3d8/state_translation.h"

#include <cstring>

namespace d3d8 {

namespace {

using namespace raster;

float FloatOf(DWORD bits) {
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

DWORD BitsOf(float value) {
    DWORD bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

CompareFunc ToCompareFunc(DWORD func) {
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

BlendFactor ToBlendFactor(DWORD factor) {
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

BlendOp ToBlendOp(DWORD op) {
    switch (op) {
        case D3DBLENDOP_SUBTRACT: return BlendOp::Subtract;
        case D3DBLENDOP_REVSUBTRACT: return BlendOp::RevSubtract;
        case D3DBLENDOP_MIN: return BlendOp::Min;
        case D3DBLENDOP_MAX: return BlendOp::Max;
        default: return BlendOp::Add;
    }
}

StencilOp ToStencilOp(DWORD op) {
    switch (op) {
        case D3DSTENCILOP_ZERO: return StencilOp::Zero;
        case D3DSTENCILOP_REPLACE: return StencilOp::Replace;
        case D3DSTENCILOP_INCRSAT: return StencilOp::IncrSat;
        case D3DSTENCILOP_DECRSAT: return StencilOp::DecrSat;
        case D3DSTENCILOP_INVERT: return StencilOp::Invert;
        case D3DSTENCILOP_INCR: return StencilOp::Incr;
        case D3DSTENCILOP_DECR: return StencilOp::Decr;
        default: return StencilOp::Keep;
    }
}

FogMode ToFogMode(DWORD mode) {
    switch (mode) {
        case D3DFOG_EXP: return FogMode::Exp;
        case D3DFOG_EXP2: return FogMode::Exp2;
        case D3DFOG_LINEAR: return FogMode::Linear;
        default: return FogMode::None;
    }
}

MaterialSource ToMaterialSource(DWORD source) {
    switch (source) {
        case D3DMCS_COLOR1: return MaterialSource::Color1;
        case D3DMCS_COLOR2: return MaterialSource::Color2;
        default: return MaterialSource::Material;
    }
}

StageOp ToStageOp(DWORD op) {
    switch (op) {
        case D3DTOP_DISABLE: return StageOp::Disable;
        case D3DTOP_SELECTARG1: return StageOp::SelectArg1;
        case D3DTOP_SELECTARG2: return StageOp::SelectArg2;
        case D3DTOP_MODULATE: return StageOp::Modulate;
        case D3DTOP_MODULATE2X: return StageOp::Modulate2x;
        case D3DTOP_MODULATE4X: return StageOp::Modulate4x;
        case D3DTOP_ADD: return StageOp::Add;
        case D3DTOP_ADDSIGNED: return StageOp::AddSigned;
        case D3DTOP_ADDSIGNED2X: return StageOp::AddSigned2x;
        case D3DTOP_SUBTRACT: return StageOp::Subtract;
        case D3DTOP_ADDSMOOTH: return StageOp::AddSmooth;
        case D3DTOP_BLENDDIFFUSEALPHA: return StageOp::BlendDiffuseAlpha;
        case D3DTOP_BLENDTEXTUREALPHA: return StageOp::BlendTextureAlpha;
        case D3DTOP_BLENDFACTORALPHA: return StageOp::BlendFactorAlpha;
        case D3DTOP_BLENDTEXTUREALPHAPM: return StageOp::BlendTextureAlphaPm;
        case D3DTOP_BLENDCURRENTALPHA: return StageOp::BlendCurrentAlpha;
        case D3DTOP_PREMODULATE: return StageOp::PreModulate;
        case D3DTOP_MODULATEALPHA_ADDCOLOR: return StageOp::ModulateAlphaAddColor;
        case D3DTOP_MODULATECOLOR_ADDALPHA: return StageOp::ModulateColorAddAlpha;
        case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return StageOp::ModulateInvAlphaAddColor;
        case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return StageOp::ModulateInvColorAddAlpha;
        case D3DTOP_BUMPENVMAP: return StageOp::BumpEnvMap;
        case D3DTOP_BUMPENVMAPLUMINANCE: return StageOp::BumpEnvMapLuminance;
        case D3DTOP_DOTPRODUCT3: return StageOp::DotProduct3;
        case D3DTOP_MULTIPLYADD: return StageOp::MultiplyAdd;
        case D3DTOP_LERP: return StageOp::Lerp;
        default: return StageOp::SelectArg1;
    }
}

ArgSource ToArgSource(DWORD arg) {
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_DIFFUSE: return ArgSource::Diffuse;
        case D3DTA_CURRENT: return ArgSource::Current;
        case D3DTA_TEXTURE: return ArgSource::Texture;
        case D3DTA_TFACTOR: return ArgSource::Factor;
        case D3DTA_SPECULAR: return ArgSource::Specular;
        case D3DTA_TEMP: return ArgSource::Temp;
        default: return ArgSource::Zero;
    }
}

StageArg ToStageArg(DWORD arg) {
    return {ToArgSource(arg), (arg & D3DTA_ALPHAREPLICATE) != 0, (arg & D3DTA_COMPLEMENT) != 0};
}

AddressMode ToAddressMode(DWORD mode) {
    switch (mode) {
        case D3DTADDRESS_MIRROR: return AddressMode::Mirror;
        case D3DTADDRESS_CLAMP: return AddressMode::Clamp;
        case D3DTADDRESS_BORDER: return AddressMode::Border;
        case D3DTADDRESS_MIRRORONCE: return AddressMode::MirrorOnce;
        default: return AddressMode::Wrap;
    }
}

TextureFilter ToTextureFilter(DWORD filter) {
    switch (filter) {
        case D3DTEXF_NONE:
        case D3DTEXF_POINT: return TextureFilter::Point;
        default: return TextureFilter::Linear;
    }
}

MipFilter ToMipFilter(DWORD filter) {
    switch (filter) {
        case D3DTEXF_NONE: return MipFilter::None;
        case D3DTEXF_POINT: return MipFilter::Point;
        default: return MipFilter::Linear;
    }
}

CoordinateSource ToCoordinateSource(DWORD index) {
    switch (index & 0xFFFF0000u) {
        case D3DTSS_TCI_PASSTHRU: return CoordinateSource::Set;
        case D3DTSS_TCI_CAMERASPACENORMAL: return CoordinateSource::CameraNormal;
        case D3DTSS_TCI_CAMERASPACEPOSITION: return CoordinateSource::CameraPosition;
        case D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR: return CoordinateSource::CameraReflection;
        default: return CoordinateSource::None;
    }
}

std::uint32_t ToWriteMask(DWORD enable) {
    return ((enable & D3DCOLORWRITEENABLE_RED) ? 0x00FF0000u : 0u) |
           ((enable & D3DCOLORWRITEENABLE_GREEN) ? 0x0000FF00u : 0u) |
           ((enable & D3DCOLORWRITEENABLE_BLUE) ? 0x000000FFu : 0u) |
           ((enable & D3DCOLORWRITEENABLE_ALPHA) ? 0xFF000000u : 0u);
}

// The two-in-one source factors set the destination factor too, whatever DESTBLEND holds.
void TranslateBlendFactors(const DWORD* rs, DrawState& draw) {
    DWORD src = rs[D3DRS_SRCBLEND], dest = rs[D3DRS_DESTBLEND];
    if (src == D3DBLEND_BOTHSRCALPHA) {
        src = D3DBLEND_SRCALPHA;
        dest = D3DBLEND_INVSRCALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
        src = D3DBLEND_INVSRCALPHA;
        dest = D3DBLEND_SRCALPHA;
    }
    draw.srcBlend = ToBlendFactor(src);
    draw.destBlend = ToBlendFactor(dest);
}

}  // namespace

void SetDefaultStates(DWORD* rs, StageStates* stageState) {
    std::memset(rs, 0, sizeof(DWORD) * D3DRS_COUNT);
    rs[D3DRS_ZENABLE] = D3DZB_TRUE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_ALPHATESTENABLE] = FALSE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAREF] = 0;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_DITHERENABLE] = FALSE;
    rs[D3DRS_ALPHABLENDENABLE] = FALSE;
    rs[D3DRS_FOGENABLE] = FALSE;
    rs[D3DRS_SPECULARENABLE] = FALSE;
    rs[D3DRS_FOGCOLOR] = 0;
    rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    rs[D3DRS_FOGSTART] = BitsOf(0.0f);
    rs[D3DRS_FOGEND] = BitsOf(1.0f);
    rs[D3DRS_FOGDENSITY] = BitsOf(1.0f);
    rs[D3DRS_RANGEFOGENABLE] = FALSE;
    rs[D3DRS_STENCILENABLE] = FALSE;
    rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILREF] = 0;
    rs[D3DRS_STENCILMASK] = 0xFFFFFFFFu;
    rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    for (DWORD wrap = D3DRS_WRAP0; wrap <= D3DRS_WRAP7; ++wrap) rs[wrap] = 0;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_AMBIENT] = 0;
    rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_NORMALIZENORMALS] = FALSE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_AMBIENTMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    rs[D3DRS_POINTSIZE] = BitsOf(1.0f);
    rs[D3DRS_POINTSIZE_MIN] = BitsOf(0.0f);
    rs[D3DRS_POINTSIZE_MAX] = BitsOf(64.0f);
    rs[D3DRS_POINTSCALE_A] = BitsOf(1.0f);
    rs[D3DRS_POINTSCALE_B] = BitsOf(0.0f);
    rs[D3DRS_POINTSCALE_C] = BitsOf(0.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_COLORWRITEENABLE] = 0xFu;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;

    std::memset(stageState, 0, sizeof(StageStates) * D3DMAXTEXTURESTAGES);
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        DWORD* ts = stageState[stage];
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        ts[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        ts[D3DTSS_BORDERCOLOR] = 0;
        ts[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        ts[D3DTSS_MIPMAPLODBIAS] = BitsOf(0.0f);
        ts[D3DTSS_MAXMIPLEVEL] = 0;
        ts[D3DTSS_MAXANISOTROPY] = 1;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
        ts[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        ts[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
}

// States the rasterizer does not read (wrapping, dithering, multisampling, point scaling,
// vertex blending, edge antialiasing, z bias, patches) translate to nothing.
void TranslateRenderState(const DWORD* rs, D3DRENDERSTATETYPE state, DrawState& draw) {
    const DWORD value = rs[state];
    const bool on = value != FALSE;
    switch (state) {
        case D3DRS_FILLMODE:
            draw.fill = value == D3DFILL_POINT       ? FillMode::Point
                        : value == D3DFILL_WIREFRAME ? FillMode::Wireframe
                                                     : FillMode::Solid;
            return;
        case D3DRS_CULLMODE:
            draw.cull = value == D3DCULL_CW    ? CullMode::Clockwise
                        : value == D3DCULL_CCW ? CullMode::CounterClockwise
                                               : CullMode::None;
            return;
        case D3DRS_SHADEMODE: draw.shade = value == D3DSHADE_FLAT ? ShadeMode::Flat : ShadeMode::Gouraud; return;
        case D3DRS_LASTPIXEL: draw.lastPixel = on; return;
        case D3DRS_POINTSIZE: draw.pointSize = FloatOf(value); return;
        case D3DRS_POINTSIZE_MIN: draw.pointSizeMin = FloatOf(value); return;
        case D3DRS_POINTSIZE_MAX: draw.pointSizeMax = FloatOf(value); return;
        case D3DRS_POINTSPRITEENABLE: draw.pointSprite = on; return;
        case D3DRS_POINTSCALEENABLE: draw.pointScale = on; return;
        case D3DRS_POINTSCALE_A: draw.pointScaleA = FloatOf(value); return;
        case D3DRS_POINTSCALE_B: draw.pointScaleB = FloatOf(value); return;
        case D3DRS_POINTSCALE_C: draw.pointScaleC = FloatOf(value); return;
        case D3DRS_CLIPPLANEENABLE: draw.clipPlanes = value & ((1u << kMaxClipPlanes) - 1); return;
        // FIXME: D3DZB_USEW (w-buffering) is drawn as an ordinary z-buffer.
        case D3DRS_ZENABLE: draw.depthTest = value != D3DZB_FALSE; return;
        case D3DRS_ZWRITEENABLE: draw.depthWrite = on; return;
        case D3DRS_ZFUNC: draw.depthFunc = ToCompareFunc(value); return;
        case D3DRS_ALPHATESTENABLE: draw.alphaTest = on; return;
        case D3DRS_ALPHAFUNC: draw.alphaFunc = ToCompareFunc(value); return;
        case D3DRS_ALPHAREF: draw.alphaRef = value & 0xFFu; return;
        case D3DRS_STENCILENABLE: draw.stencil = on; return;
        case D3DRS_STENCILFUNC: draw.stencilFunc = ToCompareFunc(value); return;
        case D3DRS_STENCILFAIL: draw.stencilFail = ToStencilOp(value); return;
        case D3DRS_STENCILZFAIL: draw.stencilDepthFail = ToStencilOp(value); return;
        case D3DRS_STENCILPASS: draw.stencilPass = ToStencilOp(value); return;
        case D3DRS_STENCILREF: draw.stencilRef = value; return;
        case D3DRS_STENCILMASK: draw.stencilReadMask = value; return;
        case D3DRS_STENCILWRITEMASK: draw.stencilWriteMask = value; return;
        case D3DRS_ALPHABLENDENABLE: draw.blend = on; return;
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND: TranslateBlendFactors(rs, draw); return;
        case D3DRS_BLENDOP: draw.blendOp = ToBlendOp(value); return;
        case D3DRS_COLORWRITEENABLE: draw.colorWriteMask = ToWriteMask(value); return;
        case D3DRS_FOGENABLE: draw.fog = on; return;
        case D3DRS_FOGTABLEMODE: draw.pixelFog = ToFogMode(value); return;
        case D3DRS_FOGVERTEXMODE: draw.vertexFog = ToFogMode(value); return;
        case D3DRS_RANGEFOGENABLE: draw.rangeFog = on; return;
        case D3DRS_FOGCOLOR: draw.fogColor = value; return;
        case D3DRS_FOGSTART: draw.fogStart = FloatOf(value); return;
        case D3DRS_FOGEND: draw.fogEnd = FloatOf(value); return;
        case D3DRS_FOGDENSITY: draw.fogDensity = FloatOf(value); return;
        case D3DRS_LIGHTING: draw.lighting = on; return;
        case D3DRS_SPECULARENABLE: draw.specular = on; return;
        case D3DRS_NORMALIZENORMALS: draw.normalizeNormals = on; return;
        case D3DRS_LOCALVIEWER: draw.localViewer = on; return;
        case D3DRS_COLORVERTEX: draw.colorVertex = on; return;
        case D3DRS_DIFFUSEMATERIALSOURCE: draw.diffuseSource = ToMaterialSource(value); return;
        case D3DRS_SPECULARMATERIALSOURCE: draw.specularSource = ToMaterialSource(value); return;
        case D3DRS_AMBIENTMATERIALSOURCE: draw.ambientSource = ToMaterialSource(value); return;
        case D3DRS_EMISSIVEMATERIALSOURCE: draw.emissiveSource = ToMaterialSource(value); return;
        case D3DRS_AMBIENT: draw.ambient = value; return;
        case D3DRS_TEXTUREFACTOR: draw.textureFactor = value; return;
        default: return;
    }
}

// FIXME: MAXANISOTROPY is not read: anisotropic filters filter linearly.
void TranslateStageState(const StageStates& ts, DWORD stage, D3DTEXTURESTAGESTATETYPE type, DrawState& draw) {
    StageState& s = draw.stages[stage];
    const DWORD value = ts[type];
    switch (type) {
        case D3DTSS_COLOROP: s.colorOp = ToStageOp(value); return;
        case D3DTSS_COLORARG0: s.colorArg[0] = ToStageArg(value); return;
        case D3DTSS_COLORARG1: s.colorArg[1] = ToStageArg(value); return;
        case D3DTSS_COLORARG2: s.colorArg[2] = ToStageArg(value); return;
        case D3DTSS_ALPHAOP: s.alphaOp = ToStageOp(value); return;
        case D3DTSS_ALPHAARG0: s.alphaArg[0] = ToStageArg(value); return;
        case D3DTSS_ALPHAARG1: s.alphaArg[1] = ToStageArg(value); return;
        case D3DTSS_ALPHAARG2: s.alphaArg[2] = ToStageArg(value); return;
        case D3DTSS_RESULTARG: s.resultToTemp = ToArgSource(value) == ArgSource::Temp; return;
        case D3DTSS_ADDRESSU: s.addressU = ToAddressMode(value); return;
        case D3DTSS_ADDRESSV: s.addressV = ToAddressMode(value); return;
        case D3DTSS_ADDRESSW: s.addressW = ToAddressMode(value); return;
        case D3DTSS_BORDERCOLOR: s.borderColor = value; return;
        case D3DTSS_MAGFILTER: s.magFilter = ToTextureFilter(value); return;
        case D3DTSS_MINFILTER: s.minFilter = ToTextureFilter(value); return;
        case D3DTSS_MIPFILTER: s.mipFilter = ToMipFilter(value); return;
        case D3DTSS_MIPMAPLODBIAS: s.lodBias = FloatOf(value); return;
        case D3DTSS_MAXMIPLEVEL: s.maxMipLevel = value; return;
        case D3DTSS_TEXCOORDINDEX:
            s.coordinateSource = ToCoordinateSource(value);
            s.coordinateSet = static_cast<int>(value & 0xFFFFu);
            return;
        case D3DTSS_TEXTURETRANSFORMFLAGS: {
            const DWORD count = value & 0xFFu;
            s.transformCount = count >= D3DTTFF_COUNT1 && count <= D3DTTFF_COUNT4 ? static_cast<int>(count) : 0;
            s.projected = (value & D3DTTFF_PROJECTED) != 0;
            return;
        }
        case D3DTSS_BUMPENVMAT00: s.bumpMatrix[0][0] = FloatOf(value); return;
        case D3DTSS_BUMPENVMAT01: s.bumpMatrix[0][1] = FloatOf(value); return;
        case D3DTSS_BUMPENVMAT10: s.bumpMatrix[1][0] = FloatOf(value); return;
        case D3DTSS_BUMPENVMAT11: s.bumpMatrix[1][1] = FloatOf(value); return;
        case D3DTSS_BUMPENVLSCALE: s.luminanceScale = FloatOf(value); return;
        case D3DTSS_BUMPENVLOFFSET: s.luminanceOffset = FloatOf(value); return;
        default: return;
    }
}

void TranslateStates(const DWORD* renderState, const StageStates* stageState, DrawState& draw) {
    for (DWORD state = 0; state < D3DRS_COUNT; ++state)
        TranslateRenderState(renderState, static_cast<D3DRENDERSTATETYPE>(state), draw);
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage)
        for (DWORD type = 0; type < D3DTSS_COUNT; ++type)
            TranslateStageState(stageState[stage], stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type), draw);
}

raster::Matrix ToRaster(const D3DMATRIX& matrix) {
    raster::Matrix out;
    std::memcpy(out.m, matrix.m, sizeof out.m);
    return out;
}

raster::Viewport ToRaster(const D3DVIEWPORT8& viewport) {
    return {viewport.X, viewport.Y, viewport.Width, viewport.Height, viewport.MinZ, viewport.MaxZ};
}

namespace {

raster::ColorValue ToRaster(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }
raster::Vector3 ToRaster(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }

}  // namespace

raster::Material ToRaster(const D3DMATERIAL8& m) {
    return {ToRaster(m.Diffuse), ToRaster(m.Ambient), ToRaster(m.Specular), ToRaster(m.Emissive), m.Power};
}

raster::Light ToRaster(const D3DLIGHT8& in) {
    raster::Light out;
    out.type = in.Type == D3DLIGHT_POINT  ? raster::LightType::Point
               : in.Type == D3DLIGHT_SPOT ? raster::LightType::Spot
                                          : raster::LightType::Directional;
    out.diffuse = ToRaster(in.Diffuse);
    out.specular = ToRaster(in.Specular);
    out.ambient = ToRaster(in.Ambient);
    out.position = ToRaster(in.Position);
    out.direction = ToRaster(in.Direction);
    out.range = in.Range;
    out.falloff = in.Falloff;
    out.attenuation0 = in.Attenuation0;
    out.attenuation1 = in.Attenuation1;
    out.attenuation2 = in.Attenuation2;
    out.theta = in.Theta;
    out.phi = in.Phi;
    return out;
}

bool ToRaster(D3DPRIMITIVETYPE type, raster::PrimitiveType& out) {
    switch (type) {
        case D3DPT_POINTLIST: out = raster::PrimitiveType::PointList; return true;
        case D3DPT_LINELIST: out = raster::PrimitiveType::LineList; return true;
        case D3DPT_LINESTRIP: out = raster::PrimitiveType::LineStrip; return true;
        case D3DPT_TRIANGLELIST: out = raster::PrimitiveType::TriangleList; return true;
        case D3DPT_TRIANGLESTRIP: out = raster::PrimitiveType::TriangleStrip; return true;
        case D3DPT_TRIANGLEFAN: out = raster::PrimitiveType::TriangleFan; return true;
        default: return false;
    }
}

raster::ClearBuffers ToClearBuffers(DWORD flags) {
    return {(flags & D3DCLEAR_TARGET) != 0, (flags & D3DCLEAR_ZBUFFER) != 0, (flags & D3DCLEAR_STENCIL) != 0};
}

bool DecodeFvf(DWORD fvf, raster::VertexLayout& layout) {
    layout = raster::VertexLayout{};
    int offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ: offset = 12; break;
        case D3DFVF_XYZRHW:
            offset = 16;
            layout.pretransformed = true;
            break;
        case D3DFVF_XYZB1:
        case D3DFVF_XYZB2:
        case D3DFVF_XYZB3:
        case D3DFVF_XYZB4:
        case D3DFVF_XYZB5:
            // Blend weights are skipped: vertex blending is not drawn.
            offset = 12 + 4 * static_cast<int>(((fvf & D3DFVF_POSITION_MASK) - D3DFVF_XYZ) / 2);
            break;
        default: return false;
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = offset;
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        layout.pointSize = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specular = offset;
        offset += 4;
    }
    layout.texCount = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (layout.texCount > 8) return false;
    for (int i = 0; i < layout.texCount; ++i) {
        // Two bits per set above bit 16: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr int kFloats[4] = {2, 3, 4, 1};
        layout.texcoord[i] = offset;
        layout.texcoordFloats[i] = kFloats[(fvf >> (16 + 2 * i)) & 3u];
        offset += 4 * layout.texcoordFloats[i];
    }
    layout.size = offset;
    return true;
}

bool DepthStencilLayoutOf(D3DFORMAT format, raster::DepthStencilLayout& layout) {
    switch (format) {
        case D3DFMT_D16:
        case D3DFMT_D16_LOCKABLE: layout = {2, 16, 0}; return true;
        case D3DFMT_D15S1: layout = {2, 15, 1}; return true;
        case D3DFMT_D24S8: layout = {4, 24, 8}; return true;
        case D3DFMT_D24X8: layout = {4, 24, 0}; return true;
        case D3DFMT_D24X4S4: layout = {4, 24, 4}; return true;
        default: return false;
    }
}

}  // namespace d3d8
