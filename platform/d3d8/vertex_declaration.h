// Vertex shader declarations (D3DVSD_* token streams) parsed into a typed layout: where
// each input register's element lies in which stream, each stream's stride, and the
// constants the declaration loads. Also the mapping of the D3DVSDE_* registers that
// fixed-function vertex processing reads when a declaration comes without a function.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8shader.h"
#include "platform/d3d8/d3d8types.h"

namespace d3d8 {

// Streams and input registers a declaration may name: v0-v15 and, for fixed-function
// processing, D3DVSDE_POSITION2 (15) and D3DVSDE_NORMAL2 (16) among them.
constexpr unsigned kDeclarationStreams = 16;
constexpr unsigned kDeclarationRegisters = 17;

struct VertexElement {
    unsigned stream = 0;
    unsigned reg = 0;    // v# (a D3DVSDE_* number for fixed-function processing)
    DWORD type = 0;      // D3DVSDT_*
    unsigned offset = 0; // bytes from the start of the stream's vertex
};

struct VertexConstantLoad {
    unsigned first = 0;  // c#
    std::vector<std::array<float, 4>> values;
};

struct VertexDeclaration {
    std::vector<VertexElement> elements;  // in declaration order
    std::array<unsigned, kDeclarationStreams> strides{};  // bytes per vertex each stream implies (elements and skips)
    std::uint32_t streamsUsed = 0;         // bit N: stream N is declared
    std::uint32_t registersDeclared = 0;   // bit N: v# is loaded
    std::vector<VertexConstantLoad> constants;
    std::size_t tokenCount = 0;            // DWORDs up to and including D3DVSD_END()
};

struct DeclarationResult {
    bool ok = false;
    std::string error;  // "token 4: ..." when not ok
};

// Parses a declaration of at most length DWORDs; streams must be below maxStreams (the
// device's D3DCAPS8::MaxStreams) and constant loads fit below maxConstants. Refuses the tessellator tokens (no N-patches here), unknown element types,
// registers and streams out of range, a register or stream declared twice, and a
// declaration that runs past its length without D3DVSD_END().
DeclarationResult ParseVertexDeclaration(const DWORD* tokens, std::size_t length, VertexDeclaration* declaration,
                                         unsigned maxConstants = 96, unsigned maxStreams = kDeclarationStreams);

// Bytes of one element of a D3DVSDT_* type, 0 for an unknown type.
unsigned VertexElementSize(DWORD type);

// Elements fixed-function processing reads, as indices into VertexDeclaration::elements
// (-1 when absent).
struct FixedFunctionLayout {
    int position = -1;
    int blendWeight = -1;
    int blendIndices = -1;
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    std::array<int, 8> texCoord{-1, -1, -1, -1, -1, -1, -1, -1};
    int position2 = -1;  // tweening
    int normal2 = -1;
};

// The fixed-function reading of a declaration without a function: a position is needed,
// and each register holds a type that input can take (positions and normals FLOAT3,
// colours D3DCOLOR, the point size FLOAT1, blend weights FLOAT1-4, blend indices UBYTE4 or
// D3DCOLOR, coordinates FLOAT1-4).
DeclarationResult MapFixedFunctionInputs(const VertexDeclaration& declaration, FixedFunctionLayout* layout);

}  // namespace d3d8
