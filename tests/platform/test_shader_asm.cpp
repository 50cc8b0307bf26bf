// The shader assembler: text to tokens and back, its messages, and the tokens it makes
// (checked through the validator's decoded form, never against the assembler's own tables).
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/shader_asm.h"
#include "platform/d3d8/shader_validate.h"

namespace {

std::vector<DWORD> Assemble(const std::string& text) {
    std::vector<DWORD> tokens;
    std::string errors;
    EXPECT_EQ(TolvaneAssembleShader(text.data(), text.size(), &tokens, &errors), D3D_OK) << errors << "\n" << text;
    return tokens;
}

std::string AssemblyError(const std::string& text) {
    std::string errors;
    EXPECT_EQ(TolvaneAssembleShader(text.data(), text.size(), nullptr, &errors), D3DERR_INVALIDCALL) << text;
    return errors;
}

// Programs that together use every instruction of every version and every modifier.
const char* const kPrograms[] = {
    R"(vs.1.1
def c95, 1, -0.5, 0.25, 3.40282347e+38
m4x4 oPos, v0, c0
m4x3 r0.xyz, v1, c4
m3x4 r1, v2, c8
m3x3 r2.xyz, v2, c12
m3x2 r3.xy, v2, c16
mov a0.x, v3.x
mad r4, -r0.yzwx, c[a0.x + 20], r1
add r4, r4, c[a0.x]
sub r5, r4.w, -r1.zzzw
mul r5.xw, r5, r4
rcp r6.x, r5.w
rsq r6.y, r5.x
dp3 r6.z, r0, r1
dp4 r6.w, r1, c30
min r7, r6, c31
max r7, r7, -c31
slt r8, r7, r6
sge r8, r8, r7
exp r9, r8.x
log r9, r9.y
lit r10, r9
dst r10, r10, r9
frc r11.xy, r10
expp r11.z, r11.x
logp r11.w, r11.y
nop
mov oFog, r11.w
mov oPts, c32.x
mov oD0, r10
mov oD1.w, r11
mov oT0.xy, v4
mov oT7, r11
)",
    R"(ps.1.1
def c7, 0, 0.5, 1, 1
tex t0
texbem t1, t0
texm3x2pad t2, t1
texm3x2tex t3, t1
add r0, t0, t1_bx2
mul_x2 r0.rgb, r0, v0
+mov r0.a, 1-t3.a
mad_sat r1, -t2_bias, c7, -v1_bx2
lrp r1.rgb, r1, r0, c0.b
+sub_d2 r1.a, -r0_bias.a, r0.a
cnd_x4 r0, r0.a, r1, -r0
dp3_sat r0.rgb, r0_bx2, c1
)",
    R"(ps.1.1
texcoord t0
texbeml t1, t0_bx2
texreg2ar t2, t1
texreg2gb t3, t2
mov r0, t3
)",
    R"(ps.1.1
tex t0
texm3x3pad t1, t0
texm3x3pad t2, t0
texm3x3spec t3, t0, c0
mov r0, t3
)",
    R"(ps.1.1
texcoord t0
texm3x3pad t1, t0
texm3x3pad t2, t0
texm3x3vspec t3, t0
mov r0, t3
)",
    R"(ps.1.2
tex t0
texreg2rgb t1, t0
texdp3tex t2, t0
texdp3 t3, t0
dp4 r0, t1, t2
cmp r0, r0, c0, t3
)",
    R"(ps.1.2
texcoord t0
texm3x3pad t1, t0
texm3x3pad t2, t0
texm3x3 t3, t0
mov r0, t3
)",
    R"(ps.1.3
texcoord t0
texm3x3pad t1, t0
texm3x3pad t2, t0
texm3x3tex t3, t0
mov r0, t3
)",
    R"(ps.1.3
tex t0
texm3x2pad t1, t0
texm3x2depth t2, t0
texkill t3
mov r0, t0
)",
    R"(ps.1.4
def c0, 1, 0, 0, 1
texcrd r0.xyz, t0
texld r1, t1_dz
texcrd r2.xy, t2_dw.xyw
texkill t3
bem r3.rg, r0, r1
phase
texld r4, r3
texld r5, t2.xyz
texdepth r5
texkill r2
mul_x8 r0.rgb, r4, v0_x2
+add_d4 r0.a, -r4_x2.a, c0_bias.b
mad_d8_sat r1, r0.r, -v1_bx2.g, 1-c0
cmp r2, r0, -r1_bias, c1
cnd r0, r2.a, r1, r0
)",
};

// Assembling the disassembly gives the same tokens, and disassembling those the same text.
TEST(ShaderAssembler, RoundTripsEveryInstructionAndModifier) {
    std::set<DWORD> used;
    for (const char* text : kPrograms) {
        const std::vector<DWORD> tokens = Assemble(text);
        ASSERT_FALSE(tokens.empty()) << text;
        std::string disassembly;
        std::string errors;
        ASSERT_EQ(TolvaneDisassembleShader(tokens.data(), tokens.size(), &disassembly, &errors), D3D_OK) << errors;
        const std::vector<DWORD> again = Assemble(disassembly);
        EXPECT_EQ(again, tokens) << text << "\nreads back as\n" << disassembly;
        std::string second;
        ASSERT_EQ(TolvaneDisassembleShader(again.data(), again.size(), &second, nullptr), D3D_OK);
        EXPECT_EQ(second, disassembly);

        d3d8::ShaderProgram program;
        const d3d8::ShaderType type = text[0] == 'v' ? d3d8::ShaderType::Vertex : d3d8::ShaderType::Pixel;
        ASSERT_TRUE(d3d8::ValidateShader(type, tokens.data(), tokens.size(), &program).ok);
        for (const d3d8::ShaderInstruction& in : program.instructions) {
            used.insert(in.opcode);
        }
        used.insert(program.definitions.empty() ? D3DSIO_NOP : D3DSIO_DEF);
        used.insert(program.hasPhase ? D3DSIO_PHASE : D3DSIO_NOP);
    }
    for (DWORD op = 0; op <= 0xFFFF; ++op) {
        if (d3d8::FindShaderOpcode(op) != nullptr) {
            EXPECT_EQ(used.count(op), 1u) << "no program uses " << d3d8::FindShaderOpcode(op)->name;
        }
    }
}

// The assembled tokens carry what the text says, as the validator decodes them.
TEST(ShaderAssembler, DecodedFormAgreesWithTheText) {
    const std::vector<DWORD> tokens = Assemble(
        "vs.1.1\ndef c3, 1, 2, 3, 4\nmov a0.x, v1.x\nmov r1, c0\nmad r0.xz, -v2.yzwx, c[a0.x + 3], r1\n"
        "mov oPos, r0\nmov oT2.y, r1\n");
    d3d8::ShaderProgram program;
    ASSERT_TRUE(d3d8::ValidateShader(d3d8::ShaderType::Vertex, tokens.data(), tokens.size(), &program).ok);
    ASSERT_EQ(program.definitions.size(), 1u);
    EXPECT_EQ(program.definitions[0].index, 3);
    EXPECT_EQ(program.definitions[0].value[2], 3.0f);
    ASSERT_EQ(program.instructions.size(), 5u);
    const d3d8::ShaderInstruction& mad = program.instructions[2];
    EXPECT_EQ(mad.opcode, D3DSIO_MAD);
    EXPECT_EQ(mad.destination.file, d3d8::RegisterFile::Temp);
    EXPECT_EQ(mad.destination.writeMask, 0x5);
    ASSERT_EQ(mad.sourceCount, 3);
    EXPECT_EQ(mad.sources[0].file, d3d8::RegisterFile::Input);
    EXPECT_EQ(mad.sources[0].index, 2);
    EXPECT_EQ(mad.sources[0].modifier, d3d8::SourceModifier::Negate);
    EXPECT_EQ(mad.sources[0].swizzle, (std::array<std::uint8_t, 4>{1, 2, 3, 0}));
    EXPECT_TRUE(mad.sources[1].relative);
    EXPECT_EQ(mad.sources[1].index, 3);
    EXPECT_EQ(program.inputsRead, (1u << 1) | (1u << 2));
    EXPECT_EQ(program.outputsWritten, d3d8::kOutputPosition | d3d8::OutputTexCoord(2));
    EXPECT_EQ(program.tokenCount, tokens.size());

    const std::vector<DWORD> ps = Assemble("ps.1.4\ntexld r1, t0\nphase\ntexld r2, r1\nmul_x2_sat r0.rgb, r2, v0\n"
                                           "+mov_d2 r0.a, 1-r1.b\n");
    ASSERT_TRUE(d3d8::ValidateShader(d3d8::ShaderType::Pixel, ps.data(), ps.size(), &program).ok);
    EXPECT_TRUE(program.hasPhase);
    EXPECT_EQ(program.phaseStart, 1u);
    EXPECT_EQ(program.instructions[0].textureStage, 1);
    EXPECT_EQ(program.instructions[1].textureStage, 2);
    EXPECT_EQ(program.instructions[1].phase, 1);
    EXPECT_EQ(program.textureStagesSampled, 0x6u);
    const d3d8::ShaderInstruction& mul = program.instructions[2];
    EXPECT_TRUE(mul.destination.saturate);
    EXPECT_EQ(mul.destination.shift, 1);
    EXPECT_EQ(mul.destination.writeMask, 0x7);
    const d3d8::ShaderInstruction& mov = program.instructions[3];
    EXPECT_TRUE(mov.coissue);
    EXPECT_EQ(mov.destination.shift, -1);
    EXPECT_EQ(mov.sources[0].modifier, d3d8::SourceModifier::Complement);
}

TEST(ShaderAssembler, MessagesNameTheLineAndTheProblem) {
    EXPECT_EQ(AssemblyError("vs.1.1\nmov oPos, v0\nmadd r0, v0, c0, c1\n"), "line 3: unknown instruction 'madd'");
    EXPECT_EQ(AssemblyError("ps.1.1\nmov r0, v0\nbem r0.rg, r0, r1\n"), "line 3: 'bem' is not an instruction of ps.1.1");
    EXPECT_EQ(AssemblyError("vs.1.1\n\n  add r0, v0\n"), "line 3: add takes 3 operands, found 2");
    EXPECT_EQ(AssemblyError("vs.1.1\nmov q0, v0\n"), "line 2: unknown register 'q0'");
    EXPECT_EQ(AssemblyError("vs.1.1\nmov r0.zx, v0\n"), "line 2: bad write mask '.zx'");
    EXPECT_EQ(AssemblyError("ps.1.1\nmov r0, v0_half\n"), "line 2: unknown source modifier '_half'");
    EXPECT_EQ(AssemblyError("ps.1.1\nmov_x3 r0, v0\n"), "line 2: unknown instruction modifier '_x3'");
    EXPECT_EQ(AssemblyError("vs.1.1\ndef c0, 1, zero, 0, 0\n"), "line 2: 'zero' is not a number");
    EXPECT_EQ(AssemblyError("; nothing\nvs.2.0\n"), "line 2: expected a version (vs.1.1, ps.1.1 to ps.1.4), found 'vs.2.0'");
    EXPECT_EQ(AssemblyError("\n"), "line 2: no version line (vs.1.1, ps.1.1 to ps.1.4)");
    // The validator's findings come back with the line of the instruction.
    EXPECT_EQ(AssemblyError("vs.1.1 // comment\nmov oPos, v0\n\nadd r0, c0, c1\n"),
              "line 4: instruction 1 (add): more than one constant register is read");
}

}  // namespace
