// The decoded form of a validated vs.1.1 or ps.1.x program: every instruction with its
// destination and sources unpacked into typed fields, the constants its def instructions
// set, the ps.1.4 phase split and the texture stages it samples. The validator
// (shader_validate.h) fills it; the device and the rasterizer read it and never look at
// the tokens again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8types.h"

namespace d3d8 {

enum class ShaderType : std::uint8_t { Vertex, Pixel };

// Register files under their assembly names. Address is vs a0, Texture ps t#; RastOut is
// oPos, oFog and oPts (index D3DSRO_*), AttrOut oD#, TexCoordOut oT#.
enum class RegisterFile : std::uint8_t { Temp, Input, Const, Address, Texture, RastOut, AttrOut, TexCoordOut };

enum class SourceModifier : std::uint8_t {
    None,
    Negate,      // -r
    Bias,        // r_bias: r - 0.5
    BiasNegate,  // -r_bias
    Sign,        // r_bx2: 2 (r - 0.5)
    SignNegate,  // -r_bx2
    Complement,  // 1 - r
    X2,          // r_x2 (ps.1.4)
    X2Negate,    // -r_x2 (ps.1.4)
    DivideZ,     // r_dz: xy / z (ps.1.4 texld and texcrd)
    DivideW,     // r_dw: xy / w (ps.1.4 texld and texcrd)
};

struct ShaderDestination {
    RegisterFile file = RegisterFile::Temp;
    std::uint16_t index = 0;
    std::uint8_t writeMask = 0xF;  // bit 0 x/red ... bit 3 w/alpha
    bool saturate = false;
    std::int8_t shift = 0;  // the result is scaled by 2^shift: -3 (_d8) to 3 (_x8), pixel shaders only
};

struct ShaderSource {
    RegisterFile file = RegisterFile::Temp;
    std::uint16_t index = 0;                  // with relative addressing: the base added to a0.x
    std::array<std::uint8_t, 4> swizzle{0, 1, 2, 3};  // source component read for x, y, z, w
    SourceModifier modifier = SourceModifier::None;
    bool relative = false;  // vs constants only: c[a0.x + index]
};

struct ShaderInstruction {
    D3DSHADER_INSTRUCTION_OPCODE_TYPE opcode = D3DSIO_NOP;
    bool coissue = false;  // ps: runs in the same slot as the instruction before it
    bool hasDestination = false;
    ShaderDestination destination;
    std::uint8_t sourceCount = 0;
    std::array<ShaderSource, 3> sources;
    // ps texture instructions that sample: the texture stage read (tex tN, texm3x2tex tN and
    // the like read stage N; ps.1.4 texld rN reads stage N). -1 for every other instruction.
    int textureStage = -1;
    std::uint8_t phase = 0;       // ps.1.4: 0 before the phase instruction, 1 after; 0 elsewhere
    std::size_t tokenOffset = 0;  // position of the instruction token in the stream
};

struct ShaderConstantDefinition {
    std::uint16_t index = 0;  // c#
    std::array<float, 4> value{};
};

struct ShaderProgram {
    ShaderType type = ShaderType::Vertex;
    std::uint8_t major = 1;
    std::uint8_t minor = 1;
    // Executable instructions in order, without def, phase, comments and end.
    std::vector<ShaderInstruction> instructions;
    std::vector<ShaderConstantDefinition> definitions;
    // ps.1.4 with a phase instruction: the index in instructions of the first instruction of
    // the second phase. Otherwise instructions.size() (a ps.1.4 program without the phase
    // instruction has only its second phase).
    std::size_t phaseStart = 0;
    bool hasPhase = false;
    std::uint32_t textureStagesSampled = 0;  // bit N: some instruction samples stage N
    std::uint32_t inputsRead = 0;            // bit N: v# is read
    std::uint32_t outputsWritten = 0;        // vs: bit 0 oPos, 1 oFog, 2 oPts, 3-4 oD0-1, 5-12 oT0-7
    std::size_t tokenCount = 0;              // DWORDs up to and including the end token: the copy to keep
};

// Bits of ShaderProgram::outputsWritten.
constexpr std::uint32_t kOutputPosition = 1u << 0;
constexpr std::uint32_t kOutputFog = 1u << 1;
constexpr std::uint32_t kOutputPointSize = 1u << 2;
constexpr std::uint32_t OutputColor(unsigned n) { return 1u << (3 + n); }
constexpr std::uint32_t OutputTexCoord(unsigned n) { return 1u << (5 + n); }

}  // namespace d3d8
