// The shader validator: one test per platform rule, each with a program the rule refuses
// (built from text by the assembler without its validation) and, where the rule depends
// on the version, one it accepts. Every refusal is a message, never a crash or a read past
// the given length.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/shader_validate.h"

namespace {

using d3d8::ShaderType;

std::vector<DWORD> Tokens(const std::string& text) {
    std::vector<DWORD> tokens;
    std::string errors;
    EXPECT_TRUE(d3d8::AssembleShaderUnchecked(text.data(), text.size(), &tokens, &errors)) << errors;
    return tokens;
}

ShaderType TypeOf(const std::vector<DWORD>& tokens) {
    return !tokens.empty() && (tokens[0] & 0xFFFF0000u) == 0xFFFE0000u ? ShaderType::Vertex : ShaderType::Pixel;
}

// The validator's message for a program it must refuse ("" if it accepts it).
std::string Refusal(const std::vector<DWORD>& tokens, const d3d8::ShaderLimits& limits = {}) {
    // An exact-size copy, so that a read past the end is a sanitizer report.
    std::vector<DWORD> copy(tokens);
    const d3d8::ShaderValidation v = d3d8::ValidateShader(TypeOf(tokens), copy.data(), copy.size(), nullptr, limits);
    EXPECT_EQ(v.ok, v.error.empty());
    return v.error;
}
std::string Refusal(const std::string& text) { return Refusal(Tokens(text)); }

bool Accepted(const std::string& text) {
    const std::string error = Refusal(text);
    EXPECT_EQ(error, "") << text;
    return error.empty();
}

#define EXPECT_REFUSED(text, message) EXPECT_NE(Refusal(text).find(message), std::string::npos) << Refusal(text)

TEST(ShaderValidator, StreamThatRunsPastItsLengthIsRefused) {
    std::vector<DWORD> tokens = Tokens("vs.1.1\nmov oPos, v0\nadd r0, v0, c0\n");
    // Without its end token; then cut inside the add's operands.
    tokens.pop_back();
    EXPECT_NE(Refusal(tokens).find("instruction 2: the program runs past its length"), std::string::npos);
    tokens.pop_back();
    EXPECT_EQ(Refusal(tokens), "instruction 1 (add): the instruction runs past the end of the program");
    EXPECT_EQ(Refusal(std::vector<DWORD>{}), "the program is empty");
    // A comment claiming more DWORDs than remain.
    std::vector<DWORD> comment = Tokens("vs.1.1\nmov oPos, v0\n");
    comment.insert(comment.begin() + 1, D3DSHADER_COMMENT(5));
    EXPECT_NE(Refusal(comment).find("comment of 5 DWORDs at DWORD 1 runs past"), std::string::npos);
    comment[1] = D3DSHADER_COMMENT(0);
    EXPECT_EQ(Refusal(comment), "");
}

TEST(ShaderValidator, UnknownOpcodesAndVersionsAreRefused) {
    std::vector<DWORD> tokens = Tokens("vs.1.1\nmov oPos, v0\nnop\n");
    tokens[4] = 30;  // between m3x2 and texcoord: no instruction
    EXPECT_EQ(Refusal(tokens), "instruction 1: unknown opcode 30");
    tokens[4] = D3DSIO_TEX;
    EXPECT_EQ(Refusal(tokens), "instruction 1: tex is not an instruction of vs.1.1");
    tokens[0] = D3DVS_VERSION(2, 0);
    EXPECT_NE(Refusal(tokens).find("is not a vertex shader (vs.1.1) version"), std::string::npos);
    tokens[0] = D3DPS_VERSION(1, 1);  // a pixel shader version handed to the vertex validator
    EXPECT_FALSE(d3d8::ValidateShader(ShaderType::Vertex, tokens.data(), tokens.size()).ok);
    // A parameter token where an instruction belongs.
    std::vector<DWORD> extra = Tokens("vs.1.1\nmov oPos, v0\n");
    extra.insert(extra.end() - 1, extra[2]);
    EXPECT_NE(Refusal(extra).find("a parameter token stands where an instruction token belongs"), std::string::npos);
}

TEST(ShaderValidator, RegisterRangesArePerVersion) {
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0\nmov r12, v0\n", "r12 is out of range");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v16\n", "v16 is out of range");
    EXPECT_REFUSED("vs.1.1\nmov oPos, c96\n", "c96 is out of range");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0\nmov oD2, v0\n", "oD2 is out of range");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0\nmov oT8, v0\n", "oT8 is out of range");
    EXPECT_REFUSED("ps.1.1\nmov r2, v0\n", "r2 is out of range");
    EXPECT_REFUSED("ps.1.3\ntex t4\nmov r0, v0\n", "t4 is out of range");
    EXPECT_REFUSED("ps.1.1\nmov r0, c8\n", "c8 is out of range");
    EXPECT_REFUSED("ps.1.1\nmov r0, v2\n", "v2 is out of range");
    EXPECT_TRUE(Accepted("ps.1.4\ntexld r5, t5\nmov r0, r5\n"));
    EXPECT_REFUSED("ps.1.4\ntexld r6, t0\nmov r0, r6\n", "r6 is out of range");
    // The device's constant count bounds vs constants.
    d3d8::ShaderLimits limits;
    limits.maxVertexShaderConst = 16;
    EXPECT_NE(Refusal(Tokens("vs.1.1\nmov oPos, c16\n"), limits).find("c16 is out of range"), std::string::npos);
}

TEST(ShaderValidator, InstructionSlotLimitsArePerVersion) {
    std::string vs = "vs.1.1\n";
    for (int i = 0; i < 32; ++i) {
        vs += "m4x4 oPos, v0, c0\n";
    }
    EXPECT_TRUE(Accepted(vs));  // 32 x 4 = 128 slots
    EXPECT_REFUSED(vs + "nop\n", "instruction 32 (nop): the program takes more than 128 instruction slots");
    std::string ps = "ps.1.1\n";
    for (int i = 0; i < 8; ++i) {
        ps += "mov r0, v0\n";
    }
    EXPECT_TRUE(Accepted(ps));
    EXPECT_REFUSED(ps + "mov r0, v0\n", "more than 8 arithmetic instructions");
    // A co-issued pair takes one slot.
    EXPECT_TRUE(Accepted(ps.substr(0, ps.size() - 11) + "mov r1.rgb, v0\n+mov r1.a, v1\n"));
    EXPECT_REFUSED("ps.1.1\ntex t0\ntex t1\ntex t2\ntex t3\ntexkill t0\nmov r0, t0\n",
                   "more than 4 texture instructions");
    // ps.1.4 counts per phase: 6 texture and 8 arithmetic in each.
    std::string two = "ps.1.4\n";
    for (int phase = 0; phase < 2; ++phase) {
        for (int i = 0; i < 6; ++i) {
            two += "texcrd r" + std::to_string(i) + ", t" + std::to_string(i) + "\n";
        }
        for (int i = 0; i < 8; ++i) {
            two += "add r0, r0, r1\n";
        }
        two += phase == 0 ? "phase\n" : "";
    }
    EXPECT_TRUE(Accepted(two));
    EXPECT_REFUSED(two + "mov r0, r1\n", "more than 8 arithmetic instructions in a phase");
    EXPECT_REFUSED("ps.1.4\ntexcrd r0, t0\nbem r1.rg, r0, r0\nadd r0, r0, r1\n" + std::string(6, ' ') +
                       "add r0, r0, r0\nadd r0, r0, r0\nadd r0, r0, r0\nadd r0, r0, r0\nadd r0, r0, r0\nadd r0, r0, r0\n"
                       "phase\nmov r0, r0\n",
                   "more than 8 arithmetic instructions in a phase");  // bem takes two slots: 2 + 7 = 9
}

TEST(ShaderValidator, ModifiersArePerVersion) {
    EXPECT_REFUSED("vs.1.1\nmov_sat oPos, v0\n", "vertex shader results take no modifier");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0_bias\n", "vertex shader sources take only the negation modifier");
    EXPECT_REFUSED("ps.1.3\nmov r0, v0_x2\n", "the _x2 source modifier needs ps.1.4");
    EXPECT_TRUE(Accepted("ps.1.4\nmov r0, v0_x2\n"));
    EXPECT_REFUSED("ps.1.3\nmov_x8 r0, v0\n", "result shift _x8 needs ps.1.4");
    EXPECT_REFUSED("ps.1.1\nmov_d4 r0, v0\n", "result shift _d4 needs ps.1.4");
    EXPECT_TRUE(Accepted("ps.1.4\nmov_d8 r0, v0\n"));
    EXPECT_REFUSED("ps.1.4\nmov r0, v0_dz\n", "_dz and _dw apply only to texld and texcrd sources");
    EXPECT_REFUSED("ps.1.4\ntexld r0, t0_bias\n", "texld and texcrd sources take only _dz or _dw");
    EXPECT_REFUSED("ps.1.1\ntex t0\ntexbem t1, t0_bias\nmov r0, t1\n", "no modifier but _bx2");
    // Reserved modifier values.
    std::vector<DWORD> tokens = Tokens("ps.1.1\nmov r0, v0\n");
    tokens[3] |= 11u << D3DSP_SRCMOD_SHIFT;
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): unknown source modifier 11");
    tokens = Tokens("ps.1.1\nmov r0, v0\n");
    tokens[2] |= 2u << D3DSP_DSTMOD_SHIFT;
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): unknown result modifier 2");
}

TEST(ShaderValidator, WriteMasksAndSwizzlesArePerVersion) {
    EXPECT_REFUSED("ps.1.3\nmov r0.rg, v0\n", "ps.1.3 write masks are .rgba, .rgb or .a");
    EXPECT_TRUE(Accepted("ps.1.4\nmov r0.rg, v0\n"));
    EXPECT_REFUSED("ps.1.1\nmov r0, v0.r\n", "source swizzle .xxxx is not allowed in ps.1.1");
    EXPECT_TRUE(Accepted("ps.1.1\nmov r0, v0.b\nmov r0, v0.a\n"));
    EXPECT_TRUE(Accepted("ps.1.4\nmov r0, v0.r\nmov r0, v0.g\n"));
    EXPECT_REFUSED("ps.1.4\nmov r0, v0.yzxw\n", "source swizzle .yzxw is not allowed in ps.1.4");
    EXPECT_TRUE(Accepted("vs.1.1\nmov oPos, v0.wzyx\n"));
    EXPECT_REFUSED("ps.1.4\ntexcrd r0.z, t0\nmov r0, r0\n", "texcrd writes .xyzw, .xyz or .xy");
    std::vector<DWORD> tokens = Tokens("vs.1.1\nmov oPos, v0\n");
    tokens[2] &= ~D3DSP_WRITEMASK_ALL;
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): the write mask is empty");
}

TEST(ShaderValidator, ReadPortLimitsArePerVersion) {
    EXPECT_REFUSED("vs.1.1\nmad oPos, v0, c0, c1\n", "more than one constant register is read");
    EXPECT_REFUSED("vs.1.1\nadd oPos, v0, v1\n", "more than one input register is read");
    EXPECT_TRUE(Accepted("vs.1.1\nmad oPos, v0, c0, c0.x\n"));
    EXPECT_REFUSED("ps.1.1\nmad r0, c0, c1, c2\n", "read ports");
    EXPECT_TRUE(Accepted("ps.1.1\nmad r0, c0, c1, v0\n"));
    EXPECT_TRUE(Accepted("ps.1.4\nmov r1, v0\nmov r2, v1\nmov r0, v0\nmad r0, r0, r1, r2\n"));
    EXPECT_REFUSED("ps.1.1\ntex t0\ntex t1\ntex t2\nmad r0, t0, t1, t2\n", "read ports");
    EXPECT_TRUE(Accepted("ps.1.1\ntex t0\ntex t1\nmad r0, t0, t1, t0\n"));
}

TEST(ShaderValidator, RelativeAddressingIsForVertexShaderConstantsOnly) {
    EXPECT_TRUE(Accepted("vs.1.1\nmov a0.x, v0.x\nmov oPos, c[a0.x + 10]\n"));
    EXPECT_REFUSED("vs.1.1\nmov oPos, c[a0.x + 10]\n", "a0.x is used before it is written");
    EXPECT_REFUSED("vs.1.1\nmov a0, v0\nmov oPos, v0\n", "a0 is written only by mov to a0.x");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0\nadd r0, a0, v0\n", "a0 cannot be read");
    std::vector<DWORD> tokens = Tokens("vs.1.1\nmov a0.x, v0.x\nmov oPos, v1\n");
    tokens[6] |= D3DVS_ADDRMODE_RELATIVE;  // v[a0.x + 1]
    EXPECT_EQ(Refusal(tokens), "instruction 1 (mov): relative addressing is only allowed on vertex shader constants");
}

TEST(ShaderValidator, TemporaryRegistersAreWrittenBeforeTheyAreRead) {
    EXPECT_REFUSED("vs.1.1\nmov oPos, r3\n", "r3 is read before it is written");
    EXPECT_REFUSED("ps.1.1\nadd r0, r1, v0\n", "r1 is read before it is written");
    EXPECT_REFUSED("ps.1.1\nmov r0, t0\n", "t0 is read before a texture instruction writes it");
}

TEST(ShaderValidator, MatrixSourcesFollowTheVertexShaderRules) {
    EXPECT_REFUSED("vs.1.1\nmov r0, v0\nm4x4 r0, r0, c0\nmov oPos, r0\n",
                   "the destination of a matrix instruction cannot be its vector source");
    EXPECT_REFUSED("vs.1.1\nm4x4 oPos, v0, -c0\n", "the matrix source takes no swizzle and no modifier");
}

TEST(ShaderValidator, CoissueRules) {
    EXPECT_TRUE(Accepted("ps.1.1\nmov r0.rgb, v0\n+mov r0.a, v1\n"));
    EXPECT_REFUSED("ps.1.1\nmov r0.rgb, v0\n+mov r0.rgb, v1\n", "a co-issued pair writes colour (.rgb)");
    EXPECT_REFUSED("ps.1.1\n+mov r0.a, v1\n", "a co-issued instruction follows one arithmetic instruction");
    EXPECT_REFUSED("ps.1.1\nmov r0.rgb, v0\n+mov r0.a, v1\n+mov r1.a, v1\n",
                   "a co-issued instruction follows one arithmetic instruction that is not co-issued");
    EXPECT_REFUSED("ps.1.1\ntex t0\n+tex t1\nmov r0, t0\n", "only pixel shader arithmetic instructions can be co-issued");
    EXPECT_REFUSED("vs.1.1\nmov oPos, v0\n+mov oD0, v0\n", "only pixel shader arithmetic instructions can be co-issued");
}

TEST(ShaderValidator, TextureInstructionsComeBeforeArithmeticInPs11To13) {
    EXPECT_REFUSED("ps.1.1\ntex t0\nmov r0, t0\ntex t1\n",
                   "instruction 2 (tex): texture instructions come before all arithmetic instructions in ps.1.1");
    EXPECT_REFUSED("ps.1.4\ntexld r0, t0\nmov r0, r0\ntexld r1, t1\n",
                   "texture instructions come before the arithmetic instructions of their phase");
    EXPECT_TRUE(Accepted("ps.1.4\ntexld r1, t0\nmov r1, r1\nphase\ntexld r2, t1\nmul r0, r1, r2\n"));
}

TEST(ShaderValidator, TextureRegisterDependencies) {
    EXPECT_REFUSED("ps.1.1\ntex t1\ntexbem t0, t1\nmov r0, t0\n",
                   "the source of a texture instruction is a t# register below its destination");
    EXPECT_REFUSED("ps.1.1\ntexbem t1, t0\nmov r0, t1\n", "t0 is read before a texture instruction writes it");
    EXPECT_REFUSED("ps.1.1\ntex t0\ntexcoord t0\nmov r0, t0\n", "t0 is written by two texture instructions");
    EXPECT_REFUSED("ps.1.1\ntex t0\ntexm3x2pad t1, t0\nmov r0, t0\n", "texm3x2pad sequence is not finished");
    EXPECT_REFUSED("ps.1.1\ntex t0\ntexm3x3pad t1, t0\ntexm3x3tex t2, t0\nmov r0, t2\n",
                   "texm3x3pad is followed by a second texm3x3pad");
    EXPECT_REFUSED("ps.1.1\ntex t0\ntexm3x2tex t1, t0\nmov r0, t1\n", "that no pad instruction began");
    EXPECT_REFUSED("ps.1.1\ntexcoord t0\ntexm3x3pad t1, t0\ntexm3x3pad t2, t0\ntexm3x3spec t3, t0, t1\nmov r0, t3\n",
                   "the eye vector of texm3x3spec is a constant register");
    EXPECT_REFUSED("ps.1.4\ntexld r0, t0\ntexld r0, t1\nmov r0, r0\n",
                   "r0 is written by two texture instructions in one phase");
    EXPECT_REFUSED("ps.1.4\ntexcrd r1, t0\ntexld r0, r1\n", "texld reads an r# register only in the second phase");
    EXPECT_REFUSED("ps.1.4\nmov r0, t0\n", "t0 is read only by texld and texcrd in ps.1.4");
}

TEST(ShaderValidator, Ps14PhaseRules) {
    EXPECT_REFUSED("ps.1.4\ntexld r0, t0\nphase\nphase\nmov r0, r0\n", "a program has one phase instruction at most");
    EXPECT_REFUSED("ps.1.4\nmov r1, v0\nphase\nmov r0, r1\n", "v# registers are read only in the second phase");
    EXPECT_TRUE(Accepted("ps.1.4\nmov r1, c0\nphase\nmov r0, v0\n"));
    EXPECT_REFUSED("ps.1.4\ntexcrd r0, t0\nbem r1.rg, r0, r0\nmov r0, r1\n",
                   "bem is used only in the first phase of a program with a phase instruction");
    EXPECT_REFUSED("ps.1.4\ntexcrd r1, t0\nphase\nbem r2.rg, r1, r1\nmov r0, r2\n", "bem is used only in the first phase");
    EXPECT_REFUSED("ps.1.4\ntexcrd r1, t0\nphase\nmov r2, r1\n", "the pixel shader never writes r0, its result");
    EXPECT_REFUSED("ps.1.4\ntexdepth r5\nphase\nmov r0, r5\n", "texdepth is used only in the second phase");
    EXPECT_REFUSED("ps.1.4\nphase\ntexdepth r4\nmov r0, r4\n", "texdepth writes r5");
}

TEST(ShaderValidator, DefComesBeforeInstructions) {
    EXPECT_TRUE(Accepted("ps.1.1\ndef c0, 1, 0, 0, 1\ndef c7, 0, 0, 0, 0\nmov r0, c0\n"));
    EXPECT_REFUSED("ps.1.1\nmov r0, c0\ndef c0, 1, 0, 0, 1\n", "def comes after an instruction");
    EXPECT_REFUSED("ps.1.1\ndef r0, 1, 0, 0, 1\nmov r0, c0\n", "def sets a whole constant register");
    EXPECT_REFUSED("ps.1.1\ndef c8, 1, 0, 0, 1\nmov r0, c0\n", "c8 is out of range");
}

TEST(ShaderValidator, ProgramsWriteTheirResult) {
    EXPECT_REFUSED("vs.1.1\nmov oD0, v0\n", "the vertex shader never writes oPos");
    EXPECT_REFUSED("ps.1.1\nmov r1, v0\n", "the pixel shader never writes r0, its result");
    EXPECT_REFUSED("ps.1.1\ncnd r0, r1.a, v0, v1\n", "r1 is read before it is written");
    EXPECT_REFUSED("ps.1.1\nmov r1, v0\ncnd r0, r1.a, v0, v1\n", "the condition of cnd is r0.a before ps.1.4");
}

TEST(ShaderValidator, ReservedBitsAreRefused) {
    std::vector<DWORD> tokens = Tokens("vs.1.1\nmov oPos, v0\n");
    tokens[1] |= 1u << 20;
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): reserved bits are set in the instruction token");
    tokens = Tokens("vs.1.1\nmov oPos, v0\n");
    tokens[3] &= ~0x80000000u;
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): a source is not a parameter token (bit 31 clear)");
    tokens = Tokens("vs.1.1\nmov oPos, v0\n");
    tokens[3] = (tokens[3] & ~D3DSP_REGTYPE_MASK) | (7u << D3DSP_REGTYPE_SHIFT);
    EXPECT_EQ(Refusal(tokens), "instruction 0 (mov): unknown source register type 7");
    tokens = Tokens("vs.1.1\nmov oPos, v0\n");
    tokens.back() |= 1u << 16;
    EXPECT_NE(Refusal(tokens).find("the end token"), std::string::npos);
}

TEST(ShaderValidator, DeviceVersionBoundsTheProgram) {
    d3d8::ShaderLimits limits;
    limits.pixelShaderVersion = D3DPS_VERSION(1, 1);
    EXPECT_EQ(Refusal(Tokens("ps.1.1\nmov r0, v0\n"), limits), "");
    EXPECT_EQ(Refusal(Tokens("ps.1.4\nmov r0, v0\n"), limits), "ps.1.4 is above the device's version");
}

// The platform's exports: a malloc'ed message, and the declaration's registers checked
// against the inputs the program reads.
TEST(ShaderValidator, ExportsReportThroughAMallocedText) {
    const std::vector<DWORD> vs = Tokens("vs.1.1\nadd oPos, v0, c0\nmov oD0, v3\n");
    const DWORD declaration[] = {D3DVSD_STREAM(0), D3DVSD_REG(D3DVSDE_POSITION, D3DVSDT_FLOAT3), D3DVSD_END()};
    char* errors = nullptr;
    EXPECT_EQ(ValidateVertexShader(vs.data(), nullptr, nullptr, TRUE, &errors), D3D_OK);
    EXPECT_EQ(errors, nullptr);
    EXPECT_EQ(ValidateVertexShader(vs.data(), declaration, nullptr, TRUE, &errors), E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(errors, "v3 is read but the declaration does not load it");
    std::free(errors);
    errors = nullptr;
    EXPECT_EQ(ValidateVertexShader(vs.data(), declaration, nullptr, FALSE, &errors), E_FAIL);
    EXPECT_EQ(errors, nullptr);

    D3DCAPS8 caps{};
    caps.PixelShaderVersion = D3DPS_VERSION(1, 3);
    const std::vector<DWORD> ps = Tokens("ps.1.4\nmov r0, v0\n");
    EXPECT_EQ(ValidatePixelShader(ps.data(), nullptr, FALSE, nullptr), D3D_OK);
    EXPECT_EQ(ValidatePixelShader(ps.data(), &caps, TRUE, &errors), E_FAIL);
    ASSERT_NE(errors, nullptr);
    EXPECT_STREQ(errors, "ps.1.4 is above the device's version");
    std::free(errors);
    EXPECT_EQ(ValidatePixelShader(nullptr, nullptr, FALSE, nullptr), E_FAIL);
}

}  // namespace
