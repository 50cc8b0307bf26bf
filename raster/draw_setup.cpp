// The per-draw pixel configuration: what the tile workers read of the pipeline state.
#include <algorithm>

#include "raster/pipeline.h"
#include "raster/vertex_processing.h"

namespace raster::detail {

namespace {

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

// A texture the sampler can address: levels present, each with texels and a size.
// Anything else reads as unbound (ReadUnboundTexture) rather than faulting.
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

// The viewport within the target, as exclusive pixel ends.
void SetUpViewport(const Viewport& vp, const RenderTarget& target, DrawSetup& d) {
    d.clipX0 = static_cast<int>(std::min<std::uint32_t>(vp.x, static_cast<std::uint32_t>(target.width)));
    d.clipY0 = static_cast<int>(std::min<std::uint32_t>(vp.y, static_cast<std::uint32_t>(target.height)));
    d.clipX1 = static_cast<int>(std::min<std::uint64_t>(std::uint64_t{vp.x} + vp.width, static_cast<std::uint64_t>(target.width)));
    d.clipY1 = static_cast<int>(std::min<std::uint64_t>(std::uint64_t{vp.y} + vp.height, static_cast<std::uint64_t>(target.height)));
}

// Fog from each pixel's eye-space w where the projection is a perspective one (not
// affine: _14, _24, _34 not all 0 or _44 not 1), fog start and end then in eye-space
// units; from its depth z (0..1) under an affine projection. The same rule holds for
// screen-space vertices, whose w is 1/rhw.
void SetUpPixelFog(const PipelineState& state, DrawSetup& d) {
    const DrawState& s = state.states;
    const Matrix& p = state.projection;
    d.wFog = !(p.m[0][3] == 0.0f && p.m[1][3] == 0.0f && p.m[2][3] == 0.0f && p.m[3][3] == 1.0f);
    // Where the two coincide the fog is a step at the start: a slope so steep that the
    // factor saturates on either side of it (0 from the start on).
    d.fogScale = s.fogEnd != s.fogStart ? 1.0f / (s.fogEnd - s.fogStart) : 0x1p40f;
    d.fogBias = s.fogEnd * d.fogScale;
    d.fogDensity = s.fogDensity;
}

// A depth buffer of another layout than D16, and the stencil test where it has stencil bits.
void SetUpDepthStencil(const DrawState& s, const RenderTarget& target, DrawSetup& d) {
    if (target.depthStencil == nullptr) return;
    const DepthStencilLayout& layout = target.depthLayout;
    d.packedDepth = true;
    d.depthShift = 8 * layout.wordBytes - layout.depthBits;
    d.depthMax = static_cast<std::int32_t>((std::uint32_t{1} << layout.depthBits) - 1);
    d.depthScale = static_cast<float>(d.depthMax);
    d.stencilBits = (std::uint32_t{1} << layout.stencilBits) - 1;
    d.stencil = s.stencil && layout.stencilBits > 0;
    if (!d.stencil) return;
    d.stencilCompare = s.stencilFunc;
    d.stencilFail = s.stencilFail;
    d.stencilZFail = s.stencilDepthFail;
    d.stencilPass = s.stencilPass;
    d.stencilRef = s.stencilRef & d.stencilBits;
    d.stencilReadMask = s.stencilReadMask & d.stencilBits;
    d.stencilWriteMask = s.stencilWriteMask & d.stencilBits;
}

// The tests, blending, colour write, fog and specular addition: the states that do not
// depend on the stages.
void SetUpFixedState(const PipelineState& state, const RenderTarget& target, DrawSetup& d) {
    const DrawState& s = state.states;
    const bool zEnable = s.depthTest && (target.depth != nullptr || target.depthStencil != nullptr);
    d.depthTest = zEnable;
    d.depthWrite = zEnable && s.depthWrite;
    d.depthCompare = s.depthFunc;
    d.alphaTest = s.alphaTest;
    d.alphaCompare = s.alphaFunc;
    d.alphaRef = s.alphaRef;
    d.blend = s.blend;
    d.srcBlend = s.srcBlend;
    d.destBlend = s.destBlend;
    d.blendOp = s.blendOp;
    d.writeMask = s.colorWriteMask;
    d.specularAdd = s.specular;
    // Pixel fog takes precedence over vertex fog, whose factor is then not interpolated.
    d.pixelFog = s.fog ? s.pixelFog : FogMode::None;
    // With neither formula the factor is the interpolated specular alpha.
    d.fog = s.fog && d.pixelFog == FogMode::None;
    d.fogColor = s.fogColor;
    SetUpPixelFog(state, d);
    SetUpDepthStencil(s, target, d);
    d.textureFactor = s.textureFactor;
}

// The level tables of a stage's texture, and whether the vector body can sample it.
void SetUpTexture(const StageState& ts, SamplerSetup& sampler, const RasterOptions& options) {
    sampler.baseLevel = static_cast<int>(std::min<std::uint32_t>(ts.maxMipLevel,
                                                                 static_cast<std::uint32_t>(sampler.texture->levelCount - 1)));
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

// The sampler of stage s: its states, and its texture where it has a usable one.
void SetUpSampler(const PipelineState& state, int s, SamplerSetup& sampler, const RasterOptions& options) {
    const StageState& ts = state.states.stages[s];
    sampler.texture = state.texture[s];
    if (sampler.texture && !UsableTexture(*sampler.texture)) sampler.texture = nullptr;
    sampler.addressU = ts.addressU;
    sampler.addressV = ts.addressV;
    sampler.border = ts.borderColor;
    sampler.magFilter = ts.magFilter;
    sampler.minFilter = ts.minFilter;
    sampler.mipFilter = ts.mipFilter;
    sampler.lodBias = ts.lodBias;
    if (sampler.texture) SetUpTexture(ts, sampler, options);
    // Without mipmaps and with one filter for both directions the level of detail
    // changes nothing.
    sampler.needsLod = sampler.mipFilter != MipFilter::None || sampler.minFilter != sampler.magFilter;
}

// A stage without a texture: its texel is opaque white in colour and the diffuse colour's
// alpha in alpha, as the platform's drivers read it, so that untextured geometry under the
// default stage states keeps its vertex colour and alpha. Every read of the texel's alpha
// becomes a read of the diffuse alpha here, so that the sampling paths only ever see the
// white texel: alpha arguments and alpha-replicated colour arguments read DIFFUSE, the
// blends by texture alpha blend by diffuse alpha (the premultiplied one as a multiply-add
// by the diffuse alpha's complement).
void ReadUnboundTexture(StageSetup& stage) {
    for (int i = 0; i < 3; ++i) {
        if (stage.alphaArg[i].source == ArgSource::Texture) stage.alphaArg[i].source = ArgSource::Diffuse;
        if (stage.colorArg[i].source == ArgSource::Texture && stage.colorArg[i].alphaReplicate)
            stage.colorArg[i].source = ArgSource::Diffuse;
    }
    const StageArg inverseDiffuseAlpha{ArgSource::Diffuse, true, true};
    auto rewrite = [&](StageOp& op, StageArg* args) {
        if (op == StageOp::BlendTextureAlpha) {
            op = StageOp::BlendDiffuseAlpha;
        } else if (op == StageOp::BlendTextureAlphaPm) {
            // arg1 + arg2 (1 - texture alpha) as arg0 + arg1 arg2.
            op = StageOp::MultiplyAdd;
            args[0] = args[1];
            args[1] = args[2];
            args[2] = inverseDiffuseAlpha;
        }
    };
    rewrite(stage.colorOp, stage.colorArg);
    rewrite(stage.alphaOp, stage.alphaArg);
}

// The stages up to the first disabled one, with their samplers; whether they read the
// specular colour and the temporary register.
void SetUpStages(const PipelineState& state, DrawSetup& d, const RasterOptions& options) {
    bool readsSpecular = d.specularAdd;
    for (int s = 0; s < kMaxStages; ++s) {
        const StageState& ts = state.states.stages[s];
        if (ts.colorOp == StageOp::Disable) break;
        StageSetup& stage = d.stages[s];
        stage.colorOp = ts.colorOp;
        stage.alphaOp = ts.alphaOp;
        for (int i = 0; i < 3; ++i) {
            stage.colorArg[i] = ts.colorArg[i];
            stage.alphaArg[i] = ts.alphaArg[i];
        }
        stage.resultToTemp = ts.resultToTemp;
        SetUpSampler(state, s, stage.sampler, options);
        if (!stage.sampler.texture) ReadUnboundTexture(stage);
        stage.readsTexture = StageReads(stage, ArgSource::Texture) || stage.colorOp == StageOp::BlendTextureAlpha ||
                             stage.colorOp == StageOp::BlendTextureAlphaPm || stage.alphaOp == StageOp::BlendTextureAlpha ||
                             stage.alphaOp == StageOp::BlendTextureAlphaPm;
        readsSpecular = readsSpecular || StageReads(stage, ArgSource::Specular);
        d.usesTemp = d.usesTemp || stage.resultToTemp || StageReads(stage, ArgSource::Temp);
        d.fastStages = (s == 0 || d.fastStages) && PackedStageOp(stage.colorOp) && PackedStageOp(stage.alphaOp);
        ++d.stageCount;
    }
    d.readsSpecular = readsSpecular;
}

// A chain of plain modulations: what most multi-textured geometry sets.
void FindModulateChain(DrawSetup& d) {
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
}

// Coordinates other than a plain (u, v) go pixel by pixel through SampleAt.
void SetUpCoordinates(const PipelineState& state, DrawSetup& d) {
    for (int s = 0; s < d.stageCount; ++s) {
        SamplerSetup& sampler = d.stages[s].sampler;
        if (!sampler.texture) continue;
        const TextureCoordinates coordinates = StageCoordinates(state, s);
        sampler.addressW = state.states.stages[s].addressW;
        sampler.projected = coordinates.projected;
        sampler.coordinates = sampler.projected ? coordinates.count : (sampler.kind == TextureKind::Plane ? 2 : 3);
        sampler.byCoordinates = sampler.projected || sampler.kind != TextureKind::Plane;
        if (!sampler.byCoordinates) continue;
        sampler.vectorSampling = false;
        sampler.rowPairs = false;
    }
}

// Where each interpolated value sits: diffuse, then what the draw reads of specular, fog
// and each sampling stage's coordinates.
void LayOutColorsAndFog(DrawSetup& d) {
    AttributeLayout& layout = d.layout;
    layout.count = 4;
    if (d.readsSpecular) {
        layout.specular = layout.count;
        layout.count += 3;
    }
    if (d.fog) {
        layout.fog = layout.count;
        layout.count += 1;
    }
}

void LayOutAttributes(DrawSetup& d) {
    LayOutColorsAndFog(d);
    AttributeLayout& layout = d.layout;
    for (int s = 0; s < d.stageCount; ++s) {
        if (!d.stages[s].readsTexture || !d.stages[s].sampler.texture) continue;
        layout.texcoord[s] = layout.count;
        layout.texcoordCount[s] = d.stages[s].sampler.coordinates;
        layout.count += layout.texcoordCount[s];
    }
}

// A pixel program takes the place of the stages: each stage it samples gets its sampler,
// each coordinate set it reads (stage s's, as TEXCOORDINDEX and the texture transform make
// it) four interpolated coordinates; the specular colour is interpolated when the program
// reads v1 and is never added.
void SetUpProgram(const PipelineState& state, const PixelProgram& program, DrawSetup& d, const RasterOptions& options) {
    d.program = &program;
    d.stageCount = 0;
    d.usesTemp = d.fastStages = d.modulateChain = d.specularAdd = false;
    d.readsSpecular = (program.ReadsColors() & 2) != 0;
    ProgramDraw& pd = d.programDraw;
    pd = ProgramDraw{};
    for (int c = 0; c < PixelProgram::kConstants; ++c)
        for (int k = 0; k < 4; ++k) pd.constants[c][k] = state.states.pixelConstants[c][k];
    const std::uint8_t stages = program.SampledStages() | program.ReadsCoordinates();
    d.layout = AttributeLayout{};
    LayOutColorsAndFog(d);
    AttributeLayout& layout = d.layout;
    for (int s = 0; s < PixelProgram::kTextures; ++s) {
        d.stages[s] = StageSetup{};
        const StageState& ts = state.states.stages[s];
        ProgramStage& stage = pd.stages[s];
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) stage.bumpMatrix[i][j] = ts.bumpMatrix[i][j];
        stage.luminanceScale = ts.luminanceScale;
        stage.luminanceOffset = ts.luminanceOffset;
        stage.signedChannels = ts.signedChannels;
        if (((stages >> s) & 1) == 0) continue;
        const TextureCoordinates coordinates = StageCoordinates(state, s);
        if (coordinates.projected && coordinates.count >= 3) stage.projectBy = coordinates.count - 1;
        if ((program.SampledStages() >> s) & 1) {
            SetUpSampler(state, s, d.stages[s].sampler, options);
            d.stages[s].sampler.addressW = ts.addressW;
            d.stages[s].readsTexture = true;
        }
        layout.texcoord[s] = layout.count;
        layout.texcoordCount[s] = 4;
        layout.count += 4;
    }
}

// Bump-mapping stages run as a program: stage s + 1 after a bump stage s takes s's bump
// matrix and luminance scale and offset for its texbem or texbeml; c0 is the texture
// factor, c1 zero. The specular colour is added by the program itself.
void SetUpStageProgram(const PipelineState& state, DrawSetup& d, const RasterOptions& options) {
    auto program = std::make_shared<PixelProgram>(PixelVersion::Ps13, true);
    if (!StagesAsProgram(d, *program)) return;
    d.stageProgram = program;
    const int stageCount = d.stageCount;
    SetUpProgram(state, *program, d, options);
    ProgramDraw& pd = d.programDraw;
    for (int c = 0; c < PixelProgram::kConstants; ++c)
        for (int k = 0; k < 4; ++k) pd.constants[c][k] = 0.0f;
    for (int k = 0; k < 4; ++k)
        pd.constants[0][k] = static_cast<float>((state.states.textureFactor >> (k == 3 ? 24 : 16 - 8 * k)) & 0xFFu) / 255.0f;
    for (int s = 1; s < stageCount; ++s) {
        const StageState& bump = state.states.stages[s - 1];
        ProgramStage& stage = pd.stages[s];
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) stage.bumpMatrix[i][j] = bump.bumpMatrix[i][j];
        stage.luminanceScale = bump.luminanceScale;
        stage.luminanceOffset = bump.luminanceOffset;
    }
}

}  // namespace

// FIXME: states read nowhere yet: vertex blending, DITHERENABLE and edge antialiasing.
void BuildDrawSetup(const PipelineState& state, const RenderTarget& target, DrawSetup& d, const RasterOptions& options) {
    d = DrawSetup{};
    d.target = target;
    SetUpViewport(state.viewport, target, d);
    SetUpFixedState(state, target, d);
    SetUpStages(state, d, options);
    FindModulateChain(d);
    SetUpCoordinates(state, d);
    LayOutAttributes(d);
    // The pixel stage's branch point: a pixel program takes the place of the stages.
    if (state.states.pixelProgram) SetUpProgram(state, *state.states.pixelProgram, d, options);
    else if (NeedsStageProgram(d)) SetUpStageProgram(state, d, options);
    ChooseShaders(d, options);
}

}  // namespace raster::detail
