// The per-draw pixel configuration: what the tile workers read of the pipeline state.
#include <algorithm>
#include <cstring>

#include "raster/pipeline.h"
#include "raster/vertex_processing.h"

namespace raster::detail {

namespace {

float Bits(DWORD value) {
    float f = 0.0f;
    std::memcpy(&f, &value, sizeof f);
    return f;
}

// Which of arg0, arg1, arg2 an operation reads.
void ArgsRead(StageOp op, bool used[3]) {
    used[0] = op == StageOp::MultiplyAdd || op == StageOp::Lerp;
    used[1] = op != StageOp::SelectArg2 && op != StageOp::Disable;
    used[2] = op != StageOp::SelectArg1 && op != StageOp::Disable;
}

bool StageReads(const StageSetup& stage, ArgSource source) {
    bool used[3];
    ArgsRead(stage.colorOp, used);
    for (int i = 0; i < 3; ++i)
        if (used[i] && stage.colorArg[i].source == source) return true;
    ArgsRead(stage.alphaOp, used);
    for (int i = 0; i < 3; ++i)
        if (used[i] && stage.alphaArg[i].source == source) return true;
    return false;
}

// A texture the sampler can address: levels present, each with texels and a size.
// Anything else reads as unbound (opaque white) rather than faulting.
// How far level's first texel lies from first's, in texels: false when the distance
// does not fit in 30 bits (the vector body adds texel offsets to it in 32-bit lanes).
bool TexelShift(const std::uint32_t* first, const std::uint32_t* level, std::int32_t& shift) {
    const std::intptr_t bytes = reinterpret_cast<std::intptr_t>(level) - reinterpret_cast<std::intptr_t>(first);
    const std::intptr_t texels = bytes / static_cast<std::intptr_t>(sizeof(std::uint32_t));
    if (bytes % static_cast<std::intptr_t>(sizeof(std::uint32_t)) != 0 || texels < -(std::intptr_t{1} << 30) ||
        texels > (std::intptr_t{1} << 30))
        return false;
    shift = static_cast<std::int32_t>(texels);
    return true;
}

bool UsableLevel(const SamplerLevel& level, bool volume) {
    if (!level.texels || level.width <= 0 || level.height <= 0 || level.pitch < level.width) return false;
    if (!volume) return true;
    return level.depth > 0 && level.slicePitch >= static_cast<std::ptrdiff_t>(level.pitch) * level.height;
}

bool UsableTexture(const SamplerTexture& texture) {
    if (texture.levelCount <= 0 || texture.levelCount > SamplerTexture::kMaxLevels) return false;
    const bool volume = texture.kind == TextureKind::Volume;
    for (int l = 0; l < texture.levelCount; ++l)
        if (!UsableLevel(texture.levels[l], volume)) return false;
    if (texture.kind != TextureKind::Cube) return true;
    for (const SamplerLevel* face : texture.faces) {
        if (!face) return false;
        for (int l = 0; l < texture.levelCount; ++l)
            if (!UsableLevel(face[l], false) || face[l].width != face[l].height) return false;
    }
    return true;
}

// Fog from each pixel's eye-space w where the projection is a perspective one (not
// affine: _14, _24, _34 not all 0 or _44 not 1), FOGSTART and FOGEND then in eye-space
// units; from its depth z (0..1) under an affine projection. The same rule holds for
// screen-space vertices, whose w is 1/rhw.
void SetUpPixelFog(const PipelineState& state, DrawSetup& d) {
    const DWORD* rs = state.renderState;
    const D3DMATRIX& p = state.projection;
    d.wFog = !(p.m[0][3] == 0.0f && p.m[1][3] == 0.0f && p.m[2][3] == 0.0f && p.m[3][3] == 1.0f);
    const float start = Bits(rs[D3DRS_FOGSTART]), end = Bits(rs[D3DRS_FOGEND]);
    // As per vertex: no fog where the two coincide.
    d.fogScale = end != start ? 1.0f / (end - start) : 0.0f;
    d.fogBias = end != start ? end * d.fogScale : 1.0f;
    d.fogDensity = Bits(rs[D3DRS_FOGDENSITY]);
}

// A depth buffer of another layout than D16, and the stencil test where it has stencil bits.
void SetUpDepthStencil(const PipelineState& state, const RenderTarget& target, DrawSetup& d) {
    if (target.depthStencil == nullptr) return;
    const DWORD* rs = state.renderState;
    const DepthStencilLayout& layout = target.depthLayout;
    d.packedDepth = true;
    d.depthShift = 8 * layout.wordBytes - layout.depthBits;
    d.depthMax = static_cast<std::int32_t>((std::uint32_t{1} << layout.depthBits) - 1);
    d.depthScale = static_cast<float>(d.depthMax);
    d.stencilBits = (std::uint32_t{1} << layout.stencilBits) - 1;
    d.stencil = rs[D3DRS_STENCILENABLE] != FALSE && layout.stencilBits > 0;
    if (!d.stencil) return;
    d.stencilCompare = ToCompareFunc(rs[D3DRS_STENCILFUNC]);
    d.stencilFail = ToStencilOp(rs[D3DRS_STENCILFAIL]);
    d.stencilZFail = ToStencilOp(rs[D3DRS_STENCILZFAIL]);
    d.stencilPass = ToStencilOp(rs[D3DRS_STENCILPASS]);
    d.stencilRef = rs[D3DRS_STENCILREF] & d.stencilBits;
    d.stencilReadMask = rs[D3DRS_STENCILMASK] & d.stencilBits;
    d.stencilWriteMask = rs[D3DRS_STENCILWRITEMASK] & d.stencilBits;
}

}  // namespace

// FIXME: states read nowhere yet: point sprites and point scaling, vertex blending,
// DITHERENABLE and edge antialiasing.
void BuildDrawSetup(const PipelineState& state, const RenderTarget& target, DrawSetup& d, const RasterOptions& options) {
    const DWORD* rs = state.renderState;
    d = DrawSetup{};
    d.target = target;
    const D3DVIEWPORT8& vp = state.viewport;
    d.clipX0 = static_cast<int>(std::min<DWORD>(vp.X, static_cast<DWORD>(target.width)));
    d.clipY0 = static_cast<int>(std::min<DWORD>(vp.Y, static_cast<DWORD>(target.height)));
    d.clipX1 = static_cast<int>(std::min<std::uint64_t>(std::uint64_t{vp.X} + vp.Width, static_cast<std::uint64_t>(target.width)));
    d.clipY1 = static_cast<int>(std::min<std::uint64_t>(std::uint64_t{vp.Y} + vp.Height, static_cast<std::uint64_t>(target.height)));
    // FIXME: D3DZB_USEW (w-buffering) is drawn as an ordinary z-buffer.
    bool zEnable = rs[D3DRS_ZENABLE] != D3DZB_FALSE && (target.depth != nullptr || target.depthStencil != nullptr);
    d.depthTest = zEnable;
    d.depthWrite = zEnable && rs[D3DRS_ZWRITEENABLE] != FALSE;
    d.depthFunc = rs[D3DRS_ZFUNC];
    d.depthCompare = ToCompareFunc(d.depthFunc);
    d.alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    d.alphaFunc = rs[D3DRS_ALPHAFUNC];
    d.alphaCompare = ToCompareFunc(d.alphaFunc);
    d.alphaRef = rs[D3DRS_ALPHAREF] & 0xFFu;
    d.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    DWORD srcBlend = rs[D3DRS_SRCBLEND], destBlend = rs[D3DRS_DESTBLEND];
    // The two-in-one source factors set the destination factor too.
    if (srcBlend == D3DBLEND_BOTHSRCALPHA) {
        srcBlend = D3DBLEND_SRCALPHA;
        destBlend = D3DBLEND_INVSRCALPHA;
    } else if (srcBlend == D3DBLEND_BOTHINVSRCALPHA) {
        srcBlend = D3DBLEND_INVSRCALPHA;
        destBlend = D3DBLEND_SRCALPHA;
    }
    d.srcBlend = ToBlendFactor(srcBlend);
    d.destBlend = ToBlendFactor(destBlend);
    d.blendOp = ToBlendOp(rs[D3DRS_BLENDOP]);
    DWORD cw = rs[D3DRS_COLORWRITEENABLE];
    d.writeMask = ((cw & D3DCOLORWRITEENABLE_RED) ? 0x00FF0000u : 0u) | ((cw & D3DCOLORWRITEENABLE_GREEN) ? 0x0000FF00u : 0u) |
                  ((cw & D3DCOLORWRITEENABLE_BLUE) ? 0x000000FFu : 0u) | ((cw & D3DCOLORWRITEENABLE_ALPHA) ? 0xFF000000u : 0u);
    d.specularAdd = rs[D3DRS_SPECULARENABLE] != FALSE;
    // Pixel fog takes precedence over vertex fog, whose factor is then not interpolated.
    d.pixelFog = rs[D3DRS_FOGENABLE] != FALSE ? ToFogMode(rs[D3DRS_FOGTABLEMODE]) : FogMode::None;
    d.fog = rs[D3DRS_FOGENABLE] != FALSE && d.pixelFog == FogMode::None && rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE;
    d.fogColor = rs[D3DRS_FOGCOLOR];
    SetUpPixelFog(state, d);
    SetUpDepthStencil(state, target, d);
    d.textureFactor = rs[D3DRS_TEXTUREFACTOR];

    bool readsSpecular = d.specularAdd;
    for (int s = 0; s < kMaxStages; ++s) {
        const DWORD* ts = state.stageState[s];
        if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        StageSetup& stage = d.stages[s];
        stage.colorOp = ToStageOp(ts[D3DTSS_COLOROP]);
        stage.colorArg[0] = ToStageArg(ts[D3DTSS_COLORARG0]);
        stage.colorArg[1] = ToStageArg(ts[D3DTSS_COLORARG1]);
        stage.colorArg[2] = ToStageArg(ts[D3DTSS_COLORARG2]);
        stage.alphaOp = ToStageOp(ts[D3DTSS_ALPHAOP]);
        stage.alphaArg[0] = ToStageArg(ts[D3DTSS_ALPHAARG0]);
        stage.alphaArg[1] = ToStageArg(ts[D3DTSS_ALPHAARG1]);
        stage.alphaArg[2] = ToStageArg(ts[D3DTSS_ALPHAARG2]);
        stage.resultToTemp = ToArgSource(ts[D3DTSS_RESULTARG]) == ArgSource::Temp;
        stage.readsTexture = StageReads(stage, ArgSource::Texture) || stage.colorOp == StageOp::BlendTextureAlpha ||
                             stage.colorOp == StageOp::BlendTextureAlphaPm || stage.alphaOp == StageOp::BlendTextureAlpha ||
                             stage.alphaOp == StageOp::BlendTextureAlphaPm;
        readsSpecular = readsSpecular || StageReads(stage, ArgSource::Specular);
        d.usesTemp = d.usesTemp || stage.resultToTemp || StageReads(stage, ArgSource::Temp);
        SamplerSetup& sampler = stage.sampler;
        sampler.texture = state.texture[s];
        if (sampler.texture && !UsableTexture(*sampler.texture)) sampler.texture = nullptr;
        sampler.addressU = ToAddressMode(ts[D3DTSS_ADDRESSU]);
        sampler.addressV = ToAddressMode(ts[D3DTSS_ADDRESSV]);
        sampler.border = ts[D3DTSS_BORDERCOLOR];
        sampler.magFilter = ToTextureFilter(ts[D3DTSS_MAGFILTER]);
        sampler.minFilter = ToTextureFilter(ts[D3DTSS_MINFILTER]);
        sampler.mipFilter = ts[D3DTSS_MIPFILTER];
        sampler.mip = ToMipFilter(sampler.mipFilter);
        sampler.lodBias = Bits(ts[D3DTSS_MIPMAPLODBIAS]);
        if (sampler.texture) {
            sampler.baseLevel = static_cast<int>(std::min<DWORD>(ts[D3DTSS_MAXMIPLEVEL],
                                                                 static_cast<DWORD>(sampler.texture->levelCount - 1)));
            bool pow2 = true, inReach = true;
            const SamplerLevel& first = sampler.texture->levels[0];
            for (int l = 0; l < sampler.texture->levelCount; ++l) {
                const SamplerLevel& level = sampler.texture->levels[l];
                pow2 = pow2 && (level.width & (level.width - 1)) == 0 && (level.height & (level.height - 1)) == 0;
                sampler.tables.width[l] = level.width;
                sampler.tables.height[l] = level.height;
                sampler.tables.pitch[l] = level.pitch;
                inReach = inReach && TexelShift(first.texels, level.texels, sampler.tables.texelShift[l]);
            }
            sampler.kind = sampler.texture->kind;
            sampler.wrapPow2 = pow2 && sampler.addressU == AddressMode::Wrap && sampler.addressV == AddressMode::Wrap &&
                               sampler.kind == TextureKind::Plane;
            sampler.vectorSampling = sampler.wrapPow2 && sampler.minFilter == sampler.magFilter;
            // The vector body's bilinear lookups read interleaved rows.
            if (sampler.vectorSampling && sampler.minFilter == TextureFilter::Linear && options.interleavedRows &&
                !options.referenceShading)
                sampler.rowPairLevels = InterleavedRows(*sampler.texture);
            sampler.rowPairs = sampler.rowPairLevels != nullptr;
            for (int l = 0; l < sampler.texture->levelCount && sampler.rowPairs; ++l)
                inReach = inReach && TexelShift(sampler.rowPairLevels[0], sampler.rowPairLevels[l], sampler.tables.rowPairShift[l]);
            sampler.levelsInReach = inReach;
        }
        // Without mipmaps and with one filter for both directions the level of detail
        // changes nothing.
        sampler.needsLod = sampler.mipFilter != D3DTEXF_NONE ||
                           sampler.minFilter != sampler.magFilter;
        d.fastStages = (s == 0 || d.fastStages) && PackedStageOp(stage.colorOp) && PackedStageOp(stage.alphaOp);
        ++d.stageCount;
    }

    // A chain of plain modulations: what most multi-textured geometry sets.
    d.modulateChain = d.stageCount > 0;
    for (int s = 0; s < d.stageCount && d.modulateChain; ++s) {
        const StageSetup& stage = d.stages[s];
        // At the first stage CURRENT is DIFFUSE; later, DIFFUSE is not CURRENT.
        auto isCurrent = [s](StageArg arg) {
            return arg == Plain(ArgSource::Current) || (s == 0 && arg == Plain(ArgSource::Diffuse));
        };
        const StageArg texture = Plain(ArgSource::Texture);
        const bool color = stage.colorOp == StageOp::Modulate && stage.colorArg[1] == texture &&
                           isCurrent(stage.colorArg[2]) && !stage.resultToTemp;
        DrawSetup::ChainAlpha& alpha = d.chainAlpha[s];
        if (stage.alphaOp == StageOp::Disable || (stage.alphaOp == StageOp::SelectArg1 && isCurrent(stage.alphaArg[1])) ||
            (stage.alphaOp == StageOp::SelectArg2 && isCurrent(stage.alphaArg[2])))
            alpha = DrawSetup::ChainAlpha::Current;
        else if ((stage.alphaOp == StageOp::SelectArg1 && stage.alphaArg[1] == texture) ||
                 (stage.alphaOp == StageOp::SelectArg2 && stage.alphaArg[2] == texture))
            alpha = DrawSetup::ChainAlpha::Texture;
        else if (stage.alphaOp == StageOp::Modulate && ((stage.alphaArg[1] == texture && isCurrent(stage.alphaArg[2])) ||
                                                        (stage.alphaArg[2] == texture && isCurrent(stage.alphaArg[1]))))
            alpha = DrawSetup::ChainAlpha::Product;
        else
            d.modulateChain = false;
        d.modulateChain = d.modulateChain && color;
    }

    // Coordinates other than a plain (u, v) go pixel by pixel through SampleAt.
    FvfLayout fvf;
    const bool decoded = DecodeFvf(state.fvf, fvf);
    for (int s = 0; s < d.stageCount; ++s) {
        SamplerSetup& sampler = d.stages[s].sampler;
        if (!sampler.texture) continue;
        const TextureCoordinates coordinates = StageCoordinates(state, s, fvf);
        sampler.addressW = ToAddressMode(state.stageState[s][D3DTSS_ADDRESSW]);
        sampler.projected = decoded && coordinates.projected;
        sampler.coordinates = sampler.projected ? coordinates.count : (sampler.kind == TextureKind::Plane ? 2 : 3);
        sampler.byCoordinates = sampler.projected || sampler.kind != TextureKind::Plane;
        if (!sampler.byCoordinates) continue;
        sampler.vectorSampling = false;
        sampler.rowPairs = false;
    }

    AttributeLayout& layout = d.layout;
    layout.count = 4;
    if (readsSpecular) {
        layout.specular = layout.count;
        layout.count += 3;
    }
    if (d.fog) {
        layout.fog = layout.count;
        layout.count += 1;
    }
    for (int s = 0; s < d.stageCount; ++s) {
        if (!d.stages[s].readsTexture || !d.stages[s].sampler.texture) continue;
        layout.texcoord[s] = layout.count;
        layout.texcoordCount[s] = d.stages[s].sampler.coordinates;
        layout.count += layout.texcoordCount[s];
    }
    ChooseShaders(d, options);
}

}  // namespace raster::detail

namespace raster {

bool DepthStencilLayoutOf(D3DFORMAT format, DepthStencilLayout& layout) {
    switch (format) {
        case D3DFMT_D16: layout = {2, 16, 0}; return true;
        case D3DFMT_D15S1: layout = {2, 15, 1}; return true;
        case D3DFMT_D24S8: layout = {4, 24, 8}; return true;
        case D3DFMT_D24X8: layout = {4, 24, 0}; return true;
        case D3DFMT_D24X4S4: layout = {4, 24, 4}; return true;
        default: return false;
    }
}

}  // namespace raster
