// Validation of vs.1.1 and ps.1.1 to ps.1.4 token streams by the platform's rules, and
// their decoding into ShaderProgram. A pure function of the tokens: nothing past the given
// length is read, and the first problem found is reported with the instruction it is in.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/d3d8/d3d8shader.h"
#include "platform/d3d8/shader_program.h"

namespace d3d8 {

// What the device offers; the defaults are the limits of the versions themselves.
struct ShaderLimits {
    DWORD vertexShaderVersion = D3DVS_VERSION(1, 1);
    DWORD pixelShaderVersion = D3DPS_VERSION(1, 4);
    DWORD maxVertexShaderConst = 96;
};

struct ShaderValidation {
    bool ok = false;
    std::string error;  // "instruction 3 (mad): ..." when not ok
};

// Validates a program of the given type and, when it is valid and program is not null,
// decodes it there. length counts DWORDs; the stream must end in its end token within it.
ShaderValidation ValidateShader(ShaderType type, const DWORD* tokens, std::size_t length,
                                ShaderProgram* program = nullptr, const ShaderLimits& limits = {});

// Facts about one opcode, shared by the validator, the assembler and the disassembler.
struct ShaderOpcodeInfo {
    D3DSHADER_INSTRUCTION_OPCODE_TYPE opcode;
    const char* name;      // the assembly name (ps.1.4 names tex and texcoord texld and texcrd)
    bool destination;      // whether a destination token follows
    std::uint8_t sources;  // source tokens after it (ps.1.4 texld and texcrd have one more)
    std::uint8_t versions; // kVersion* bits of the versions that accept it
    bool texture;          // a pixel shader texture instruction (counted in the texture slots)
    std::uint8_t slots;    // instruction slots it takes (vs macros take several; ps bem two)
};

constexpr std::uint8_t kVersionVs11 = 1u << 0;
constexpr std::uint8_t kVersionPs11 = 1u << 1;
constexpr std::uint8_t kVersionPs12 = 1u << 2;
constexpr std::uint8_t kVersionPs13 = 1u << 3;
constexpr std::uint8_t kVersionPs14 = 1u << 4;

// The opcode's row, or null for an opcode no version knows.
const ShaderOpcodeInfo* FindShaderOpcode(DWORD opcode);
// The row of an assembly name in a given version's set, or null.
const ShaderOpcodeInfo* FindShaderOpcode(const char* name, std::uint8_t version);
// The version bit of a version token, 0 for a version not supported here.
std::uint8_t ShaderVersionBit(DWORD versionToken);
// Assembly name of an opcode in a version (texld and texcrd in ps.1.4).
const char* ShaderOpcodeName(const ShaderOpcodeInfo& info, std::uint8_t version);
// Operand count of an instruction in a version, destination included.
unsigned ShaderOperandCount(const ShaderOpcodeInfo& info, std::uint8_t version);

// The assembler (shader_asm.h) without its final validation, for building programs the
// validator is to refuse. Only the text's own errors (syntax, names, operand counts) are
// reported.
bool AssembleShaderUnchecked(const char* text, std::size_t length, std::vector<DWORD>* tokens, std::string* errors);

}  // namespace d3d8
