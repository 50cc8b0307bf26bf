// Fuzz entry for the shader front end. The first byte chooses the entry: 0 the vertex
// shader validator, 1 the pixel shader validator, 2 the vertex declaration parser, 3 the
// assembler (the rest is text); the rest of the input is little-endian DWORDs (0-2).
// Beside "no crash, no read past the input", a program the validator accepts must
// disassemble to text that assembles to the very same tokens, and assembled text must
// pass the validator.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/d3d8/shader_asm.h"
#include "platform/d3d8/shader_validate.h"
#include "platform/d3d8/vertex_declaration.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Whether a def holds a NaN: its text ("nan") keeps neither the sign nor the payload.
bool DefinesNaN(const d3d8::ShaderProgram& program) {
    for (const d3d8::ShaderConstantDefinition& def : program.definitions) {
        for (float v : def.value) {
            if (v != v) {
                return true;
            }
        }
    }
    return false;
}

void RoundTrip(const DWORD* tokens, std::size_t tokenCount, bool exact) {
    std::string text;
    std::string errors;
    Check(TolvaneDisassembleShader(tokens, tokenCount, &text, &errors) == D3D_OK);
    std::vector<DWORD> again;
    Check(TolvaneAssembleShader(text.data(), text.size(), &again, &errors) == D3D_OK);
    // Comments are left out of the disassembly; compare the instructions only, walking
    // them instruction by instruction (a parameter can look like a comment token).
    const std::uint8_t version = d3d8::ShaderVersionBit(tokens[0]);
    std::vector<DWORD> original{tokens[0]};
    for (std::size_t i = 1; i < tokenCount;) {
        const DWORD op = tokens[i] & D3DSI_OPCODE_MASK;
        if (op == D3DSIO_COMMENT) {
            i += 1 + ((tokens[i] & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT);
            continue;
        }
        const d3d8::ShaderOpcodeInfo* info = d3d8::FindShaderOpcode(op);
        const std::size_t size = op == D3DSIO_END ? 1 : 1 + d3d8::ShaderOperandCount(*info, version);
        original.insert(original.end(), tokens + i, tokens + i + size);
        i += size;
    }
    Check(again.size() == original.size());
    Check(!exact || again == original);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const unsigned entry = data[0] % 4;
    ++data;
    --size;
    if (entry == 3) {
        std::vector<DWORD> tokens;
        if (TolvaneAssembleShader(reinterpret_cast<const char*>(data), size, &tokens, nullptr) == D3D_OK) {
            const bool vertex = (tokens[0] & 0xFFFF0000u) == 0xFFFE0000u;
            Check(d3d8::ValidateShader(vertex ? d3d8::ShaderType::Vertex : d3d8::ShaderType::Pixel, tokens.data(),
                                       tokens.size())
                      .ok);
        }
        return 0;
    }
    // An exact-size heap copy, so that a read past the end is a sanitizer report.
    const std::size_t count = size / 4;
    DWORD* tokens = static_cast<DWORD*>(std::malloc(count * sizeof(DWORD) + (count == 0 ? 1 : 0)));
    for (std::size_t i = 0; i < count; ++i) {
        tokens[i] = static_cast<DWORD>(data[4 * i]) | (static_cast<DWORD>(data[4 * i + 1]) << 8) |
                    (static_cast<DWORD>(data[4 * i + 2]) << 16) | (static_cast<DWORD>(data[4 * i + 3]) << 24);
    }
    if (entry == 2) {
        d3d8::VertexDeclaration declaration;
        const d3d8::DeclarationResult result = d3d8::ParseVertexDeclaration(tokens, count, &declaration);
        if (result.ok) {
            Check(declaration.tokenCount <= count);
            d3d8::FixedFunctionLayout layout;
            d3d8::MapFixedFunctionInputs(declaration, &layout);
        }
    } else {
        const d3d8::ShaderType type = entry == 0 ? d3d8::ShaderType::Vertex : d3d8::ShaderType::Pixel;
        d3d8::ShaderProgram program;
        const d3d8::ShaderValidation v = d3d8::ValidateShader(type, tokens, count, &program);
        Check(v.ok == v.error.empty());
        if (v.ok) {
            Check(program.tokenCount <= count);
            RoundTrip(tokens, program.tokenCount, !DefinesNaN(program));
        }
    }
    std::free(tokens);
    return 0;
}
