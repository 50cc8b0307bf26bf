// The per-draw pixel configuration: what the tile workers read of the pipeline state.
#include <algorithm>
#include <cstring>

#include "platform/d3d8/raster/pipeline.h"
#include "platform/d3d8/raster/vertex_processing.h"

namespace raster::detail {

namespace {

float Bits(DWORD value) {
    float f = 0.0f;
    std::memcpy(&f, &value, sizeof f);
    return f;
}

bool ArgSelects(DWORD arg, DWORD selector) { return (arg & D3DTA_SELECTMASK) == selector; }

// Which of arg0, arg1, arg2 an operation reads.
void ArgsRead(DWORD op, bool used[3]) {
    used[0] = op == D3DTOP_MULTIPLYADD || op == D3DTOP_LERP;
    used[1] = op != D3DTOP_SELECTARG2 && op != D3DTOP_DISABLE;
    used[2] = op != D3DTOP_SELECTARG1 && op != D3DTOP_DISABLE;
}

bool StageReads(const StageSetup& stage, DWORD selector) {
    bool used[3];
    ArgsRead(stage.colorOp, used);
    for (int i = 0; i < 3; ++i)
        if (used[i] && ArgSelects(stage.colorArg[i], selector)) return true;
    ArgsRead(stage.alphaOp, used);
    for (int i = 0; i < 3; ++i)
        if (used[i] && ArgSelects(stage.alphaArg[i], selector)) return true;
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

}  // namespace

// FIXME: states read nowhere yet: stencil (STENCILENABLE and the stencil ops; the depth
// buffer is D16 without stencil bits), user clip planes (CLIPPLANEENABLE), point sprites
// and point scaling, vertex blending, DITHERENABLE and edge antialiasing.
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
    bool zEnable = rs[D3DRS_ZENABLE] != D3DZB_FALSE && target.depth != nullptr;
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
    d.fog = rs[D3DRS_FOGENABLE] != FALSE &&
            (rs[D3DRS_FOGVERTEXMODE] != D3DFOG_NONE || rs[D3DRS_FOGTABLEMODE] != D3DFOG_NONE);
    d.fogColor = rs[D3DRS_FOGCOLOR];
    d.textureFactor = rs[D3DRS_TEXTUREFACTOR];

    bool readsSpecular = d.specularAdd;
    for (int s = 0; s < kMaxStages; ++s) {
        const DWORD* ts = state.stageState[s];
        if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        StageSetup& stage = d.stages[s];
        stage.colorOp = ts[D3DTSS_COLOROP];
        stage.colorArg[0] = ts[D3DTSS_COLORARG0];
        stage.colorArg[1] = ts[D3DTSS_COLORARG1];
        stage.colorArg[2] = ts[D3DTSS_COLORARG2];
        stage.alphaOp = ts[D3DTSS_ALPHAOP];
        stage.alphaArg[0] = ts[D3DTSS_ALPHAARG0];
        stage.alphaArg[1] = ts[D3DTSS_ALPHAARG1];
        stage.alphaArg[2] = ts[D3DTSS_ALPHAARG2];
        stage.resultToTemp = ArgSelects(ts[D3DTSS_RESULTARG], D3DTA_TEMP);
        stage.readsTexture = StageReads(stage, D3DTA_TEXTURE) || stage.colorOp == D3DTOP_BLENDTEXTUREALPHA ||
                             stage.colorOp == D3DTOP_BLENDTEXTUREALPHAPM || stage.alphaOp == D3DTOP_BLENDTEXTUREALPHA ||
                             stage.alphaOp == D3DTOP_BLENDTEXTUREALPHAPM;
        readsSpecular = readsSpecular || StageReads(stage, D3DTA_SPECULAR);
        d.usesTemp = d.usesTemp || stage.resultToTemp || StageReads(stage, D3DTA_TEMP);
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
            bool pow2 = true, rowPairs = true, inReach = true;
            const SamplerLevel& first = sampler.texture->levels[0];
            for (int l = 0; l < sampler.texture->levelCount; ++l) {
                const SamplerLevel& level = sampler.texture->levels[l];
                pow2 = pow2 && (level.width & (level.width - 1)) == 0 && (level.height & (level.height - 1)) == 0;
                sampler.tables.width[l] = level.width;
                sampler.tables.height[l] = level.height;
                sampler.tables.pitch[l] = level.pitch;
                rowPairs = rowPairs && level.rowPairs;
                inReach = inReach && TexelShift(first.texels, level.texels, sampler.tables.texelShift[l]) &&
                          (!rowPairs || TexelShift(first.rowPairs, level.rowPairs, sampler.tables.rowPairShift[l]));
            }
            sampler.kind = sampler.texture->kind;
            sampler.wrapPow2 = pow2 && sampler.addressU == AddressMode::Wrap && sampler.addressV == AddressMode::Wrap &&
                               sampler.kind == TextureKind::Plane;
            sampler.rowPairs = sampler.wrapPow2 && rowPairs;
            sampler.levelsInReach = inReach;
            sampler.vectorSampling = sampler.wrapPow2 &&
                                     sampler.minFilter == sampler.magFilter;
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
        auto isCurrent = [s](DWORD arg) { return arg == D3DTA_CURRENT || (s == 0 && arg == D3DTA_DIFFUSE); };
        const bool color = stage.colorOp == D3DTOP_MODULATE && stage.colorArg[1] == D3DTA_TEXTURE &&
                           isCurrent(stage.colorArg[2]) && !stage.resultToTemp;
        DrawSetup::ChainAlpha& alpha = d.chainAlpha[s];
        if (stage.alphaOp == D3DTOP_DISABLE || (stage.alphaOp == D3DTOP_SELECTARG1 && isCurrent(stage.alphaArg[1])) ||
            (stage.alphaOp == D3DTOP_SELECTARG2 && isCurrent(stage.alphaArg[2])))
            alpha = DrawSetup::ChainAlpha::Current;
        else if ((stage.alphaOp == D3DTOP_SELECTARG1 && stage.alphaArg[1] == D3DTA_TEXTURE) ||
                 (stage.alphaOp == D3DTOP_SELECTARG2 && stage.alphaArg[2] == D3DTA_TEXTURE))
            alpha = DrawSetup::ChainAlpha::Texture;
        else if (stage.alphaOp == D3DTOP_MODULATE && ((stage.alphaArg[1] == D3DTA_TEXTURE && isCurrent(stage.alphaArg[2])) ||
                                                      (stage.alphaArg[2] == D3DTA_TEXTURE && isCurrent(stage.alphaArg[1]))))
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

bool RowPairsPay() { return true; }

}  // namespace raster
