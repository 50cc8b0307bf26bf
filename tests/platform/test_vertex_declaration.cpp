// Vertex declarations: the layout each stream's vertex has, the constants a declaration
// loads, what it refuses, and the fixed-function reading of its registers.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/vertex_declaration.h"

namespace {

DWORD Float(float f) {
    DWORD d = 0;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

std::string Refusal(const std::vector<DWORD>& tokens) {
    d3d8::VertexDeclaration declaration;
    const d3d8::DeclarationResult result = d3d8::ParseVertexDeclaration(tokens.data(), tokens.size(), &declaration);
    EXPECT_FALSE(result.ok);
    return result.error;
}

TEST(VertexDeclaration, ElementsLieAtTheirOffsetsAndStreamsImplyTheirStrides) {
    const std::vector<DWORD> tokens = {
        D3DVSD_STREAM(0),
        D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3),
        D3DVSD_SKIP(2),
        D3DVSD_REG(D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR),
        D3DVSD_NOP(),
        D3DVSD_STREAM(3),
        D3DVSD_REG(D3DVSDE_TEXCOORD0, D3DVSDT_SHORT2),
        D3DVSD_REG(D3DVSDE_BLENDINDICES, D3DVSDT_UBYTE4),
        D3DVSD_REG(12, D3DVSDT_SHORT4),
        D3DVSD_CONST(90, 2), Float(1), Float(2), Float(3), Float(4), Float(-1), Float(-2), Float(-3), Float(-4),
        D3DVSD_END(),
        D3DVSD_STREAM(5),  // after the end: not read
    };
    d3d8::VertexDeclaration d;
    const d3d8::DeclarationResult result = d3d8::ParseVertexDeclaration(tokens.data(), tokens.size(), &d);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(d.elements.size(), 5u);
    EXPECT_EQ(d.elements[1].reg, unsigned{D3DVSDE_DIFFUSE});
    EXPECT_EQ(d.elements[1].offset, 12u + 8u);  // after the position and two skipped DWORDs
    EXPECT_EQ(d.elements[2].stream, 3u);
    EXPECT_EQ(d.elements[2].offset, 0u);
    EXPECT_EQ(d.elements[3].offset, 4u);
    EXPECT_EQ(d.elements[4].offset, 8u);
    EXPECT_EQ(d.elements[4].type, DWORD{D3DVSDT_SHORT4});
    EXPECT_EQ(d.strides[0], 24u);
    EXPECT_EQ(d.strides[3], 16u);
    EXPECT_EQ(d.streamsUsed, (1u << 0) | (1u << 3));
    EXPECT_EQ(d.registersDeclared, (1u << 0) | (1u << 5) | (1u << 7) | (1u << 2) | (1u << 12));
    ASSERT_EQ(d.constants.size(), 1u);
    EXPECT_EQ(d.constants[0].first, 90u);
    ASSERT_EQ(d.constants[0].values.size(), 2u);
    EXPECT_EQ(d.constants[0].values[1][3], -4.0f);
    EXPECT_EQ(d.tokenCount, tokens.size() - 1);
}

TEST(VertexDeclaration, MalformedDeclarationsAreRefused) {
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3)}),
              "token 2: the declaration runs past its length without D3DVSD_END()");
    EXPECT_EQ(Refusal({}), "token 0: the declaration runs past its length without D3DVSD_END()");
    EXPECT_EQ(Refusal({D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()}), "token 0: stream data before any D3DVSD_STREAM");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_REG(17, D3DVSDT_FLOAT3), D3DVSD_END()}),
              "token 1: input register out of range");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_REG(0, 8), D3DVSD_END()}), "token 1: unknown element type");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_REG(4, D3DVSDT_FLOAT1), D3DVSD_STREAM(1),
                       D3DVSD_REG(4, D3DVSDT_FLOAT1), D3DVSD_END()}),
              "token 3: the input register is declared twice");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(1), D3DVSD_STREAM(1), D3DVSD_END()}), "token 1: the stream is declared twice");
    const DWORD secondStream[] = {D3DVSD_STREAM(0), D3DVSD_STREAM(1), D3DVSD_END()};
    EXPECT_TRUE(d3d8::ParseVertexDeclaration(secondStream, 3, nullptr, 96, 2).ok);
    EXPECT_EQ(d3d8::ParseVertexDeclaration(secondStream, 3, nullptr, 96, 1).error, "token 1: stream out of range");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0) | (1u << 8), D3DVSD_END()}), "token 0: a stream token with reserved bits set");
    EXPECT_EQ(Refusal({D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()}),
              "token 0: the constant load runs past the last constant register");
    EXPECT_EQ(Refusal({D3DVSD_CONST(0, 2), 0, 0, 0, 0, D3DVSD_END()}),
              "token 0: the constant values run past the end of the declaration");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_END() & ~1u}), "token 1: an end token other than D3DVSD_END()");
}

// No N-patches: the tessellator's inputs and streams are refused.
TEST(VertexDeclaration, TessellatorTokensAreRefused) {
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_TESSNORMAL(0, 3), D3DVSD_END()}),
              "token 2: tessellator inputs (D3DVSD_TESSNORMAL, D3DVSD_TESSUV) are not supported");
    EXPECT_EQ(Refusal({D3DVSD_STREAM(0), D3DVSD_TESSUV(7), D3DVSD_END()}),
              "token 1: tessellator inputs (D3DVSD_TESSNORMAL, D3DVSD_TESSUV) are not supported");
    EXPECT_EQ(Refusal({D3DVSD_STREAM_TESS(), D3DVSD_END()}), "token 0: tessellator streams (N-patches) are not supported");
}

TEST(VertexDeclaration, FixedFunctionReadsTheD3dvsdeRegisters) {
    const std::vector<DWORD> tokens = {
        D3DVSD_STREAM(0), D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3), D3DVSD_REG(D3DVSDE_NORMAL, D3DVSDT_FLOAT3),
        D3DVSD_STREAM(1), D3DVSD_REG(D3DVSDE_DIFFUSE, D3DVSDT_D3DCOLOR), D3DVSD_REG(D3DVSDE_TEXCOORD3, D3DVSDT_FLOAT2),
        D3DVSD_REG(D3DVSDE_PSIZE, D3DVSDT_FLOAT1), D3DVSD_REG(D3DVSDE_BLENDWEIGHT, D3DVSDT_FLOAT2), D3DVSD_END()};
    d3d8::VertexDeclaration d;
    ASSERT_TRUE(d3d8::ParseVertexDeclaration(tokens.data(), tokens.size(), &d).ok);
    d3d8::FixedFunctionLayout layout;
    const d3d8::DeclarationResult result = d3d8::MapFixedFunctionInputs(d, &layout);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(layout.position, 0);
    EXPECT_EQ(layout.normal, 1);
    EXPECT_EQ(layout.diffuse, 2);
    EXPECT_EQ(layout.texCoord[3], 3);
    EXPECT_EQ(layout.texCoord[0], -1);
    EXPECT_EQ(layout.pointSize, 4);
    EXPECT_EQ(layout.blendWeight, 5);
    EXPECT_EQ(layout.specular, -1);
    EXPECT_EQ(d.elements[static_cast<std::size_t>(layout.texCoord[3])].offset, 4u);

    const std::vector<DWORD> colourAsFloats = {D3DVSD_STREAM(0), D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3),
                                               D3DVSD_REG(D3DVSDE_DIFFUSE, D3DVSDT_FLOAT4), D3DVSD_END()};
    ASSERT_TRUE(d3d8::ParseVertexDeclaration(colourAsFloats.data(), colourAsFloats.size(), &d).ok);
    EXPECT_EQ(d3d8::MapFixedFunctionInputs(d, &layout).error, "element 1: register 5 cannot take element type 3");
    const std::vector<DWORD> noPosition = {D3DVSD_STREAM(0), D3DVSD_REG(D3DVSDE_NORMAL, D3DVSDT_FLOAT3), D3DVSD_END()};
    ASSERT_TRUE(d3d8::ParseVertexDeclaration(noPosition.data(), noPosition.size(), &d).ok);
    EXPECT_EQ(d3d8::MapFixedFunctionInputs(d, &layout).error,
              "fixed-function processing needs a position (D3DVSDE_POSITION)");
}

}  // namespace
