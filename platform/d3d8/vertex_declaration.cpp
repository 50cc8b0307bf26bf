#include "platform/d3d8/vertex_declaration.h"

#include <cstdio>
#include <cstring>

namespace d3d8 {
namespace {

DeclarationResult Refuse(std::size_t token, const char* text) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "token %zu: ", token);
    return {false, std::string(prefix) + text};
}

}  // namespace

unsigned VertexElementSize(DWORD type) {
    switch (type) {
        case D3DVSDT_FLOAT1: return 4;
        case D3DVSDT_FLOAT2: return 8;
        case D3DVSDT_FLOAT3: return 12;
        case D3DVSDT_FLOAT4: return 16;
        case D3DVSDT_D3DCOLOR: return 4;
        case D3DVSDT_UBYTE4: return 4;
        case D3DVSDT_SHORT2: return 4;
        case D3DVSDT_SHORT4: return 8;
        default: return 0;
    }
}

DeclarationResult ParseVertexDeclaration(const DWORD* tokens, std::size_t length, VertexDeclaration* declaration,
                                         unsigned maxConstants, unsigned maxStreams) {
    VertexDeclaration out;
    int stream = -1;
    std::size_t i = 0;
    for (;;) {
        if (tokens == nullptr || i >= length) {
            return Refuse(i, "the declaration runs past its length without D3DVSD_END()");
        }
        const DWORD token = tokens[i];
        const DWORD kind = (token & D3DVSD_TOKENTYPEMASK) >> D3DVSD_TOKENTYPESHIFT;
        switch (kind) {
            case D3DVSD_TOKEN_END:
                if (token != D3DVSD_END()) {
                    return Refuse(i, "an end token other than D3DVSD_END()");
                }
                out.tokenCount = i + 1;
                if (declaration != nullptr) {
                    *declaration = std::move(out);
                }
                return {true, {}};
            case D3DVSD_TOKEN_NOP:
                if (token != D3DVSD_NOP()) {
                    return Refuse(i, "a NOP token with bits set");
                }
                ++i;
                break;
            case D3DVSD_TOKEN_STREAM: {
                if ((token & D3DVSD_STREAMTESSMASK) != 0) {
                    return Refuse(i, "tessellator streams (N-patches) are not supported");
                }
                const unsigned n = token & D3DVSD_STREAMNUMBERMASK;
                if ((token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_STREAMNUMBERMASK)) != 0) {
                    return Refuse(i, "a stream token with reserved bits set");
                }
                if (n >= maxStreams) {
                    return Refuse(i, "stream out of range");
                }
                if ((out.streamsUsed & (1u << n)) != 0) {
                    return Refuse(i, "the stream is declared twice");
                }
                out.streamsUsed |= 1u << n;
                stream = static_cast<int>(n);
                ++i;
                break;
            }
            case D3DVSD_TOKEN_STREAMDATA: {
                if (stream < 0) {
                    return Refuse(i, "stream data before any D3DVSD_STREAM");
                }
                unsigned& stride = out.strides[static_cast<unsigned>(stream)];
                if ((token & D3DVSD_DATALOADTYPEMASK) != 0) {
                    if ((token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATALOADTYPEMASK | D3DVSD_SKIPCOUNTMASK)) != 0) {
                        return Refuse(i, "a skip token with reserved bits set");
                    }
                    stride += 4 * ((token & D3DVSD_SKIPCOUNTMASK) >> D3DVSD_SKIPCOUNTSHIFT);
                    ++i;
                    break;
                }
                if ((token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_DATATYPEMASK | D3DVSD_VERTEXREGMASK)) != 0) {
                    return Refuse(i, "a register token with reserved bits set");
                }
                VertexElement element;
                element.stream = static_cast<unsigned>(stream);
                element.reg = token & D3DVSD_VERTEXREGMASK;
                element.type = (token & D3DVSD_DATATYPEMASK) >> D3DVSD_DATATYPESHIFT;
                element.offset = stride;
                const unsigned size = VertexElementSize(element.type);
                if (size == 0) {
                    return Refuse(i, "unknown element type");
                }
                if (element.reg >= kDeclarationRegisters) {
                    return Refuse(i, "input register out of range");
                }
                if ((out.registersDeclared & (1u << element.reg)) != 0) {
                    return Refuse(i, "the input register is declared twice");
                }
                out.registersDeclared |= 1u << element.reg;
                stride += size;
                out.elements.push_back(element);
                ++i;
                break;
            }
            case D3DVSD_TOKEN_CONSTMEM: {
                const unsigned count = (token & D3DVSD_CONSTCOUNTMASK) >> D3DVSD_CONSTCOUNTSHIFT;
                const unsigned first = token & D3DVSD_CONSTADDRESSMASK;
                if ((token & ~(D3DVSD_TOKENTYPEMASK | D3DVSD_CONSTCOUNTMASK | D3DVSD_CONSTADDRESSMASK)) != 0) {
                    return Refuse(i, "a constant token with reserved bits set");
                }
                if (count == 0) {
                    return Refuse(i, "a constant load of no registers");
                }
                if (first + count > maxConstants) {
                    return Refuse(i, "the constant load runs past the last constant register");
                }
                if (4 * count > length - i - 1) {
                    return Refuse(i, "the constant values run past the end of the declaration");
                }
                VertexConstantLoad load;
                load.first = first;
                load.values.resize(count);
                std::memcpy(load.values.data(), tokens + i + 1, 16 * count);
                out.constants.push_back(std::move(load));
                i += 1 + 4 * count;
                break;
            }
            case D3DVSD_TOKEN_TESSELLATOR:
                return Refuse(i, "tessellator inputs (D3DVSD_TESSNORMAL, D3DVSD_TESSUV) are not supported");
            case D3DVSD_TOKEN_EXT: {
                const std::size_t count = (token & D3DVSD_EXTCOUNTMASK) >> D3DVSD_EXTCOUNTSHIFT;
                if (count > length - i - 1) {
                    return Refuse(i, "the extension data runs past the end of the declaration");
                }
                i += 1 + count;
                break;
            }
            default:
                return Refuse(i, "unknown token type");
        }
    }
}

DeclarationResult MapFixedFunctionInputs(const VertexDeclaration& declaration, FixedFunctionLayout* layout) {
    FixedFunctionLayout out;
    for (std::size_t e = 0; e < declaration.elements.size(); ++e) {
        const VertexElement& element = declaration.elements[e];
        const DWORD t = element.type;
        const bool floats = t <= D3DVSDT_FLOAT4;
        bool ok = true;
        int* slot = nullptr;
        switch (element.reg) {
            case D3DVSDE_POSITION: slot = &out.position; ok = t == D3DVSDT_FLOAT3; break;
            case D3DVSDE_BLENDWEIGHT: slot = &out.blendWeight; ok = floats; break;
            case D3DVSDE_BLENDINDICES: slot = &out.blendIndices; ok = t == D3DVSDT_UBYTE4 || t == D3DVSDT_D3DCOLOR; break;
            case D3DVSDE_NORMAL: slot = &out.normal; ok = t == D3DVSDT_FLOAT3; break;
            case D3DVSDE_PSIZE: slot = &out.pointSize; ok = t == D3DVSDT_FLOAT1; break;
            case D3DVSDE_DIFFUSE: slot = &out.diffuse; ok = t == D3DVSDT_D3DCOLOR; break;
            case D3DVSDE_SPECULAR: slot = &out.specular; ok = t == D3DVSDT_D3DCOLOR; break;
            case D3DVSDE_POSITION2: slot = &out.position2; ok = t == D3DVSDT_FLOAT3; break;
            case D3DVSDE_NORMAL2: slot = &out.normal2; ok = t == D3DVSDT_FLOAT3; break;
            default: slot = &out.texCoord[element.reg - D3DVSDE_TEXCOORD0]; ok = floats; break;
        }
        if (!ok) {
            char text[96];
            std::snprintf(text, sizeof text, "element %zu: register %u cannot take element type %u", e, element.reg,
                          static_cast<unsigned>(t));
            return {false, text};
        }
        *slot = static_cast<int>(e);
    }
    if (out.position < 0) {
        return {false, "fixed-function processing needs a position (D3DVSDE_POSITION)"};
    }
    if (layout != nullptr) {
        *layout = out;
    }
    return {true, {}};
}

}  // namespace d3d8
