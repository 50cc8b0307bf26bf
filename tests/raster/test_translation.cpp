// The edge between the runtime's states and raster's typed ones: every value outside a
// state's set takes the platform's answer there, once, and types outside their set are
// refused.
#include <gtest/gtest.h>

#include "platform/d3d8/state_translation.h"

namespace {

using namespace raster;

struct Translation : testing::Test {
    Translation() {
        d3d8::SetDefaultStates(rs, ts);
        d3d8::TranslateStates(rs, ts, draw);
    }
    void Set(D3DRENDERSTATETYPE state, DWORD value) {
        rs[state] = value;
        d3d8::TranslateRenderState(rs, state, draw);
    }
    void SetStage(D3DTEXTURESTAGESTATETYPE type, DWORD value) {
        ts[1][type] = value;
        d3d8::TranslateStageState(ts[1], 1, type, draw);
    }
    DWORD rs[D3DRS_COUNT];
    d3d8::StageStates ts[D3DMAXTEXTURESTAGES];
    DrawState draw;
};

TEST_F(Translation, TheDefaultsAreThePlatformDefaults) {
    EXPECT_TRUE(draw.depthTest && draw.depthWrite);
    EXPECT_EQ(draw.depthFunc, CompareFunc::LessEqual);
    EXPECT_EQ(draw.cull, CullMode::CounterClockwise);
    EXPECT_EQ(draw.srcBlend, BlendFactor::One);
    EXPECT_EQ(draw.destBlend, BlendFactor::Zero);
    EXPECT_EQ(draw.colorWriteMask, 0xFFFFFFFFu);
    EXPECT_EQ(draw.fogEnd, 1.0f);
    EXPECT_EQ(draw.pointSizeMax, 64.0f);
    EXPECT_EQ(draw.diffuseSource, MaterialSource::Color1);
    EXPECT_EQ(draw.stages[0].colorOp, StageOp::Modulate);
    EXPECT_EQ(draw.stages[0].alphaOp, StageOp::SelectArg1);
    EXPECT_EQ(draw.stages[1].colorOp, StageOp::Disable);
    EXPECT_EQ(draw.stages[3].colorArg[1], Plain(ArgSource::Texture));
    EXPECT_EQ(draw.stages[5].coordinateSet, 5);
    EXPECT_EQ(draw.stages[5].coordinateSource, CoordinateSource::Set);
}

// Drivers of the time drew such values as their nearest neutral case rather than failing
// the draw: a comparison passes, a factor weighs by one, a stage passes argument 1, a
// selector reads zero, an address wraps, filters above LINEAR filter linearly.
TEST_F(Translation, ValuesOutsideTheirSetTakeThePlatformsAnswer) {
    constexpr DWORD kOutside = 0x7777;
    Set(D3DRS_ZFUNC, kOutside);
    EXPECT_EQ(draw.depthFunc, CompareFunc::Always);
    Set(D3DRS_ALPHAFUNC, 0);  // below NEVER
    EXPECT_EQ(draw.alphaFunc, CompareFunc::Always);
    Set(D3DRS_ALPHAREF, 0x1FF);
    EXPECT_EQ(draw.alphaRef, 0xFFu);
    Set(D3DRS_SRCBLEND, kOutside);
    EXPECT_EQ(draw.srcBlend, BlendFactor::One);
    Set(D3DRS_BLENDOP, kOutside);
    EXPECT_EQ(draw.blendOp, BlendOp::Add);
    Set(D3DRS_STENCILPASS, kOutside);
    EXPECT_EQ(draw.stencilPass, StencilOp::Keep);
    Set(D3DRS_FOGTABLEMODE, kOutside);
    EXPECT_EQ(draw.pixelFog, FogMode::None);
    Set(D3DRS_DIFFUSEMATERIALSOURCE, kOutside);
    EXPECT_EQ(draw.diffuseSource, MaterialSource::Material);
    Set(D3DRS_FILLMODE, kOutside);
    EXPECT_EQ(draw.fill, FillMode::Solid);
    Set(D3DRS_CULLMODE, kOutside);
    EXPECT_EQ(draw.cull, CullMode::None);
    Set(D3DRS_SHADEMODE, kOutside);
    EXPECT_EQ(draw.shade, ShadeMode::Gouraud);

    SetStage(D3DTSS_COLOROP, kOutside);
    EXPECT_EQ(draw.stages[1].colorOp, StageOp::SelectArg1);
    SetStage(D3DTSS_COLORARG1, 0x7 | D3DTA_COMPLEMENT);
    EXPECT_EQ(draw.stages[1].colorArg[1], (StageArg{ArgSource::Zero, false, true}));
    SetStage(D3DTSS_ADDRESSU, kOutside);
    EXPECT_EQ(draw.stages[1].addressU, AddressMode::Wrap);
    SetStage(D3DTSS_MAGFILTER, D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(draw.stages[1].magFilter, TextureFilter::Linear);
    SetStage(D3DTSS_MINFILTER, D3DTEXF_NONE);
    EXPECT_EQ(draw.stages[1].minFilter, TextureFilter::Point);
    SetStage(D3DTSS_MIPFILTER, D3DTEXF_GAUSSIANCUBIC);
    EXPECT_EQ(draw.stages[1].mipFilter, MipFilter::Linear);
    SetStage(D3DTSS_TEXCOORDINDEX, 0x00050002);
    EXPECT_EQ(draw.stages[1].coordinateSource, CoordinateSource::None);
    SetStage(D3DTSS_TEXTURETRANSFORMFLAGS, 7 | D3DTTFF_PROJECTED);
    EXPECT_EQ(draw.stages[1].transformCount, 0);
    EXPECT_TRUE(draw.stages[1].projected);

    PrimitiveType type = PrimitiveType::TriangleFan;
    EXPECT_FALSE(d3d8::ToRaster(static_cast<D3DPRIMITIVETYPE>(0), type));
    EXPECT_FALSE(d3d8::ToRaster(static_cast<D3DPRIMITIVETYPE>(7), type));
    VertexLayout layout;
    EXPECT_FALSE(d3d8::DecodeFvf(D3DFVF_NORMAL | D3DFVF_DIFFUSE, layout));  // no position
    EXPECT_FALSE(d3d8::DecodeFvf(D3DFVF_XYZ | (9u << D3DFVF_TEXCOUNT_SHIFT), layout));
}

// BOTHSRCALPHA and BOTHINVSRCALPHA set both factors, whatever DESTBLEND holds before or
// after; another source factor gives DESTBLEND back.
TEST_F(Translation, TwoInOneSourceFactorsOverrideTheDestinationFactor) {
    Set(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Set(D3DRS_SRCBLEND, D3DBLEND_BOTHSRCALPHA);
    EXPECT_EQ(draw.srcBlend, BlendFactor::SrcAlpha);
    EXPECT_EQ(draw.destBlend, BlendFactor::InvSrcAlpha);
    Set(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    EXPECT_EQ(draw.destBlend, BlendFactor::InvSrcAlpha);
    Set(D3DRS_SRCBLEND, D3DBLEND_BOTHINVSRCALPHA);
    EXPECT_EQ(draw.srcBlend, BlendFactor::InvSrcAlpha);
    EXPECT_EQ(draw.destBlend, BlendFactor::SrcAlpha);
    Set(D3DRS_SRCBLEND, D3DBLEND_DESTCOLOR);
    EXPECT_EQ(draw.srcBlend, BlendFactor::DestColor);
    EXPECT_EQ(draw.destBlend, BlendFactor::Zero);
}

}  // namespace
