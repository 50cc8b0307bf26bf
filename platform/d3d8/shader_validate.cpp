#include "platform/d3d8/shader_validate.h"

#include "platform/d3d8/d3d8.h"
#include "platform/d3d8/vertex_declaration.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace d3d8 {
namespace {

constexpr std::uint8_t VS = kVersionVs11;
constexpr std::uint8_t P11 = kVersionPs11;
constexpr std::uint8_t P12 = kVersionPs12;
constexpr std::uint8_t P13 = kVersionPs13;
constexpr std::uint8_t P14 = kVersionPs14;
constexpr std::uint8_t PS13 = P11 | P12 | P13;
constexpr std::uint8_t PS = PS13 | P14;

// One row per opcode. Sources are those of ps.1.1-1.3 for the texture instructions; ps.1.4's
// texld and texcrd (the same opcodes as tex and texcoord) take one more (ShaderOperandCount).
// Slots: vs.1.1's macros take several instruction slots; ps.1.4's bem takes two.
//    opcode                name            dst    src  versions           texture slots
constexpr ShaderOpcodeInfo kOpcodes[] = {
    {D3DSIO_NOP, "nop", false, 0, VS | PS, false, 1},
    {D3DSIO_MOV, "mov", true, 1, VS | PS, false, 1},
    {D3DSIO_ADD, "add", true, 2, VS | PS, false, 1},
    {D3DSIO_SUB, "sub", true, 2, VS | PS, false, 1},
    {D3DSIO_MAD, "mad", true, 3, VS | PS, false, 1},
    {D3DSIO_MUL, "mul", true, 2, VS | PS, false, 1},
    {D3DSIO_RCP, "rcp", true, 1, VS, false, 1},
    {D3DSIO_RSQ, "rsq", true, 1, VS, false, 1},
    {D3DSIO_DP3, "dp3", true, 2, VS | PS, false, 1},
    {D3DSIO_DP4, "dp4", true, 2, VS | P12 | P13 | P14, false, 1},
    {D3DSIO_MIN, "min", true, 2, VS, false, 1},
    {D3DSIO_MAX, "max", true, 2, VS, false, 1},
    {D3DSIO_SLT, "slt", true, 2, VS, false, 1},
    {D3DSIO_SGE, "sge", true, 2, VS, false, 1},
    {D3DSIO_EXP, "exp", true, 1, VS, false, 10},
    {D3DSIO_LOG, "log", true, 1, VS, false, 10},
    {D3DSIO_LIT, "lit", true, 1, VS, false, 1},
    {D3DSIO_DST, "dst", true, 2, VS, false, 1},
    {D3DSIO_LRP, "lrp", true, 3, PS, false, 1},
    {D3DSIO_FRC, "frc", true, 1, VS, false, 3},
    {D3DSIO_M4x4, "m4x4", true, 2, VS, false, 4},
    {D3DSIO_M4x3, "m4x3", true, 2, VS, false, 3},
    {D3DSIO_M3x4, "m3x4", true, 2, VS, false, 4},
    {D3DSIO_M3x3, "m3x3", true, 2, VS, false, 3},
    {D3DSIO_M3x2, "m3x2", true, 2, VS, false, 2},
    {D3DSIO_TEXCOORD, "texcoord", true, 0, PS, true, 1},
    {D3DSIO_TEXKILL, "texkill", true, 0, PS, true, 1},
    {D3DSIO_TEX, "tex", true, 0, PS, true, 1},
    {D3DSIO_TEXBEM, "texbem", true, 1, PS13, true, 1},
    {D3DSIO_TEXBEML, "texbeml", true, 1, PS13, true, 1},
    {D3DSIO_TEXREG2AR, "texreg2ar", true, 1, PS13, true, 1},
    {D3DSIO_TEXREG2GB, "texreg2gb", true, 1, PS13, true, 1},
    {D3DSIO_TEXM3x2PAD, "texm3x2pad", true, 1, PS13, true, 1},
    {D3DSIO_TEXM3x2TEX, "texm3x2tex", true, 1, PS13, true, 1},
    {D3DSIO_TEXM3x3PAD, "texm3x3pad", true, 1, PS13, true, 1},
    {D3DSIO_TEXM3x3TEX, "texm3x3tex", true, 1, PS13, true, 1},
    {D3DSIO_TEXM3x3SPEC, "texm3x3spec", true, 2, PS13, true, 1},
    {D3DSIO_TEXM3x3VSPEC, "texm3x3vspec", true, 1, PS13, true, 1},
    {D3DSIO_EXPP, "expp", true, 1, VS, false, 1},
    {D3DSIO_LOGP, "logp", true, 1, VS, false, 1},
    {D3DSIO_CND, "cnd", true, 3, PS, false, 1},
    {D3DSIO_DEF, "def", true, 0, VS | PS, false, 0},
    {D3DSIO_TEXREG2RGB, "texreg2rgb", true, 1, P12 | P13, true, 1},
    {D3DSIO_TEXDP3TEX, "texdp3tex", true, 1, P12 | P13, true, 1},
    {D3DSIO_TEXM3x2DEPTH, "texm3x2depth", true, 1, P13, true, 1},
    {D3DSIO_TEXDP3, "texdp3", true, 1, P12 | P13, true, 1},
    {D3DSIO_TEXM3x3, "texm3x3", true, 1, P12 | P13, true, 1},
    {D3DSIO_TEXDEPTH, "texdepth", true, 0, P14, true, 1},
    {D3DSIO_CMP, "cmp", true, 3, P12 | P13 | P14, false, 1},
    {D3DSIO_BEM, "bem", true, 2, P14, false, 2},
    {D3DSIO_PHASE, "phase", false, 0, P14, false, 0},
};

bool IsPad(DWORD op) { return op == D3DSIO_TEXM3x2PAD || op == D3DSIO_TEXM3x3PAD; }

// Texture instructions of ps.1.1-1.3 that sample the stage of their destination register.
bool SamplesStage(DWORD op) {
    switch (op) {
        case D3DSIO_TEX:
        case D3DSIO_TEXBEM:
        case D3DSIO_TEXBEML:
        case D3DSIO_TEXREG2AR:
        case D3DSIO_TEXREG2GB:
        case D3DSIO_TEXREG2RGB:
        case D3DSIO_TEXM3x2TEX:
        case D3DSIO_TEXM3x3TEX:
        case D3DSIO_TEXM3x3SPEC:
        case D3DSIO_TEXM3x3VSPEC:
        case D3DSIO_TEXDP3TEX:
            return true;
        default:
            return false;
    }
}

constexpr std::uint8_t kSwizzleIdentity = 0xE4;
constexpr std::uint8_t kSwizzleXyz = 0xA4;  // .xyz: x, y, z, z
constexpr std::uint8_t kSwizzleXyw = 0xF4;  // .xyw: x, y, w, w

const char* FileLetter(ShaderType type, RegisterFile file) {
    switch (file) {
        case RegisterFile::Temp: return "r";
        case RegisterFile::Input: return "v";
        case RegisterFile::Const: return "c";
        case RegisterFile::Address: return "a";
        case RegisterFile::Texture: return "t";
        case RegisterFile::RastOut: return "o";
        case RegisterFile::AttrOut: return "oD";
        case RegisterFile::TexCoordOut: return type == ShaderType::Vertex ? "oT" : "t";
    }
    return "?";
}

class Validator {
public:
    Validator(ShaderType type, const DWORD* tokens, std::size_t length, const ShaderLimits& limits)
        : type_(type), tokens_(tokens), length_(length), limits_(limits) {}

    ShaderValidation Run(ShaderProgram* program) {
        ShaderValidation result;
        result.ok = Validate();
        result.error = error_;
        if (result.ok && program != nullptr) {
            *program = std::move(out_);
        }
        return result;
    }

private:
    // ---- reporting ---------------------------------------------------------------------
    bool Fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        if (info_ != nullptr) {
            char prefix[64];
            std::snprintf(prefix, sizeof prefix, "instruction %zu (%s): ", ordinal_, ShaderOpcodeName(*info_, version_));
            error_ = std::string(prefix) + text;
        } else {
            error_ = text;
        }
        return false;
    }
    bool FailAt(std::size_t instruction, const char* text) {
        const ShaderInstruction& in = out_.instructions[instruction];
        info_ = FindShaderOpcode(in.opcode);
        ordinal_ = ordinals_[instruction];
        return Fail("%s", text);
    }
    std::string Name(RegisterFile file, unsigned index) const {
        static const char* const rastout[] = {"oPos", "oFog", "oPts"};
        char text[32];
        if (file == RegisterFile::RastOut && index < 3) {
            return rastout[index];
        }
        if (file == RegisterFile::Address) {
            return "a0";
        }
        std::snprintf(text, sizeof text, "%s%u", FileLetter(type_, file), index);
        return text;
    }

    bool Ps14() const { return version_ == kVersionPs14; }
    bool Vs() const { return type_ == ShaderType::Vertex; }

    // Registers of each file in this version; 0 where the file does not exist.
    unsigned Count(RegisterFile file) const {
        if (Vs()) {
            switch (file) {
                case RegisterFile::Temp: return 12;
                case RegisterFile::Input: return 16;
                case RegisterFile::Const: return limits_.maxVertexShaderConst;
                case RegisterFile::Address: return 1;
                case RegisterFile::RastOut: return 3;
                case RegisterFile::AttrOut: return 2;
                case RegisterFile::TexCoordOut: return 8;
                case RegisterFile::Texture: return 0;
            }
            return 0;
        }
        switch (file) {
            case RegisterFile::Temp: return Ps14() ? 6 : 2;
            case RegisterFile::Input: return 2;
            case RegisterFile::Const: return 8;
            case RegisterFile::Texture: return Ps14() ? 6 : 4;
            default: return 0;
        }
    }

    bool FileOf(DWORD token, RegisterFile* file) const {
        const DWORD kind = (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
        static const RegisterFile vs[] = {RegisterFile::Temp,    RegisterFile::Input,   RegisterFile::Const,
                                          RegisterFile::Address, RegisterFile::RastOut, RegisterFile::AttrOut,
                                          RegisterFile::TexCoordOut};
        static const RegisterFile ps[] = {RegisterFile::Temp, RegisterFile::Input, RegisterFile::Const,
                                          RegisterFile::Texture};
        if (Vs() ? kind >= std::size(vs) : kind >= std::size(ps)) {
            return false;
        }
        *file = Vs() ? vs[kind] : ps[kind];
        return true;
    }

    // ---- parameter tokens --------------------------------------------------------------
    bool DecodeDestination(DWORD token, ShaderDestination* d) {
        if ((token & 0x80000000u) == 0) {
            return Fail("the destination is not a parameter token (bit 31 clear)");
        }
        if ((token & 0x0000E000u) != 0) {
            return Fail("reserved bits are set in the destination");
        }
        if (!FileOf(token, &d->file)) {
            return Fail("unknown destination register type %u", (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT);
        }
        d->index = static_cast<std::uint16_t>(token & D3DSP_REGNUM_MASK);
        d->writeMask = static_cast<std::uint8_t>((token & D3DSP_WRITEMASK_ALL) >> 16);
        const DWORD modifier = (token & D3DSP_DSTMOD_MASK) >> D3DSP_DSTMOD_SHIFT;
        const DWORD shift = (token & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT;
        if (modifier > 1) {
            return Fail("unknown result modifier %u", modifier);
        }
        d->saturate = modifier == 1;
        if (shift >= 4 && shift <= 12) {
            return Fail("unknown result shift %u", shift);
        }
        d->shift = static_cast<std::int8_t>(shift < 4 ? shift : static_cast<int>(shift) - 16);
        if (d->writeMask == 0) {
            return Fail("the write mask is empty");
        }
        if (d->index >= Count(d->file)) {
            return Fail("%s is out of range", Name(d->file, d->index).c_str());
        }
        return true;
    }

    bool DecodeSource(DWORD token, ShaderSource* s) {
        if ((token & 0x80000000u) == 0) {
            return Fail("a source is not a parameter token (bit 31 clear)");
        }
        if ((token & 0x0000C000u) != 0) {
            return Fail("reserved bits are set in a source");
        }
        if (!FileOf(token, &s->file)) {
            return Fail("unknown source register type %u", (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT);
        }
        s->index = static_cast<std::uint16_t>(token & D3DSP_REGNUM_MASK);
        s->relative = (token & D3DVS_ADDRESSMODE_MASK) != 0;
        const DWORD swizzle = (token & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT;
        for (int c = 0; c < 4; ++c) {
            s->swizzle[c] = static_cast<std::uint8_t>((swizzle >> (2 * c)) & 3);
        }
        const DWORD modifier = (token & D3DSP_SRCMOD_MASK) >> D3DSP_SRCMOD_SHIFT;
        if (modifier > 10) {
            return Fail("unknown source modifier %u", modifier);
        }
        s->modifier = static_cast<SourceModifier>(modifier);
        if (s->relative && !(Vs() && s->file == RegisterFile::Const)) {
            return Fail("relative addressing is only allowed on vertex shader constants");
        }
        if (s->index >= Count(s->file)) {
            return Fail("%s is out of range", Name(s->file, s->index).c_str());
        }
        return true;
    }

    static std::uint8_t SwizzleByte(const ShaderSource& s) {
        return static_cast<std::uint8_t>(s.swizzle[0] | (s.swizzle[1] << 2) | (s.swizzle[2] << 4) | (s.swizzle[3] << 6));
    }

    // ---- the stream --------------------------------------------------------------------
    bool Validate() {
        if (tokens_ == nullptr || length_ == 0) {
            return Fail("the program is empty");
        }
        const DWORD version = tokens_[0];
        version_ = ShaderVersionBit(version);
        const bool vsToken = (version & 0xFFFF0000u) == 0xFFFE0000u;
        if (version_ == 0 || vsToken != (type_ == ShaderType::Vertex)) {
            return Fail("version token 0x%08X is not a %s version this device runs", version,
                        Vs() ? "vertex shader (vs.1.1)" : "pixel shader (ps.1.1 to ps.1.4)");
        }
        const DWORD offered = Vs() ? limits_.vertexShaderVersion : limits_.pixelShaderVersion;
        if ((offered & 0xFFFFu) < (version & 0xFFFFu)) {
            return Fail("%s.%u.%u is above the device's version", Vs() ? "vs" : "ps", D3DSHADER_VERSION_MAJOR(version),
                        D3DSHADER_VERSION_MINOR(version));
        }
        out_.type = type_;
        out_.major = static_cast<std::uint8_t>(D3DSHADER_VERSION_MAJOR(version));
        out_.minor = static_cast<std::uint8_t>(D3DSHADER_VERSION_MINOR(version));

        std::size_t i = 1;
        for (;;) {
            info_ = nullptr;
            if (i >= length_) {
                ordinal_ = ordinalCount_;
                return Fail("instruction %zu: the program runs past its length (%zu DWORDs) without an end token", ordinal_,
                            length_);
            }
            const DWORD token = tokens_[i];
            const DWORD op = token & D3DSI_OPCODE_MASK;
            if (op == D3DSIO_END) {
                if (token != D3DPS_END()) {
                    return Fail("the end token 0x%08X has bits set beside its opcode", token);
                }
                out_.tokenCount = i + 1;
                break;
            }
            if (op == D3DSIO_COMMENT) {
                const std::size_t size = (token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
                if ((token & 0x80000000u) != 0) {
                    return Fail("a comment token at DWORD %zu has bit 31 set", i);
                }
                if (size > length_ - i - 1) {
                    return Fail("a comment of %zu DWORDs at DWORD %zu runs past the end of the program", size, i);
                }
                i += 1 + size;
                continue;
            }
            ordinal_ = ordinalCount_++;
            info_ = FindShaderOpcode(op);
            if ((token & 0x80000000u) != 0) {
                info_ = nullptr;
                return Fail("instruction %zu: a parameter token stands where an instruction token belongs", ordinal_);
            }
            if (info_ == nullptr || (info_->versions & version_) == 0) {
                const char* name = info_ != nullptr ? info_->name : nullptr;
                info_ = nullptr;
                return name != nullptr
                           ? Fail("instruction %zu: %s is not an instruction of %s.1.%u", ordinal_, name,
                                  Vs() ? "vs" : "ps", out_.minor)
                           : Fail("instruction %zu: unknown opcode %u", ordinal_, op);
            }
            if ((token & 0x3FFF0000u) != 0) {
                return Fail("reserved bits are set in the instruction token");
            }
            const unsigned operands = op == D3DSIO_DEF ? 5 : ShaderOperandCount(*info_, version_);
            if (operands > length_ - i - 1) {
                return Fail("the instruction runs past the end of the program");
            }
            const bool coissue = (token & D3DSI_COISSUE) != 0;
            if (!Instruction(static_cast<D3DSHADER_INSTRUCTION_OPCODE_TYPE>(op), coissue, tokens_ + i + 1, i)) {
                return false;
            }
            i += 1 + operands;
        }
        info_ = nullptr;
        return Finish();
    }

    bool Instruction(D3DSHADER_INSTRUCTION_OPCODE_TYPE op, bool coissue, const DWORD* params, std::size_t offset) {
        if (coissue && (Vs() || info_->texture || op == D3DSIO_DEF || op == D3DSIO_PHASE || op == D3DSIO_NOP)) {
            return Fail("only pixel shader arithmetic instructions can be co-issued");
        }
        if (op == D3DSIO_DEF) {
            return Definition(params);
        }
        if (op == D3DSIO_PHASE) {
            return Phase();
        }
        if (pendingPad_ != 0 && !info_->texture) {
            return Fail("the texm3x%cpad sequence is not finished", pendingPadKind_ == D3DSIO_TEXM3x2PAD ? '2' : '3');
        }
        ShaderInstruction in;
        in.opcode = op;
        in.coissue = coissue;
        in.phase = phase_;
        in.tokenOffset = offset;
        in.hasDestination = info_->destination;
        if (in.hasDestination && !DecodeDestination(params[0], &in.destination)) {
            return false;
        }
        in.sourceCount = static_cast<std::uint8_t>(ShaderOperandCount(*info_, version_) - (in.hasDestination ? 1 : 0));
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            if (!DecodeSource(params[(in.hasDestination ? 1 : 0) + s], &in.sources[s])) {
                return false;
            }
        }
        bool ok = false;
        if (Vs()) {
            ok = VertexInstruction(in);
        } else if (info_->texture) {
            ok = Ps14() ? TextureInstruction14(in) : TextureInstruction(in);
        } else {
            ok = PixelArithmetic(in);
        }
        if (!ok) {
            return false;
        }
        if (in.textureStage >= 0) {
            out_.textureStagesSampled |= 1u << in.textureStage;
        }
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            if (in.sources[s].file == RegisterFile::Input) {
                out_.inputsRead |= 1u << in.sources[s].index;
            }
        }
        out_.instructions.push_back(in);
        ordinals_.push_back(ordinal_);
        return true;
    }

    bool Definition(const DWORD* params) {
        ShaderDestination d;
        if (!DecodeDestination(params[0], &d)) {
            return false;
        }
        if (d.file != RegisterFile::Const || d.writeMask != 0xF || d.saturate || d.shift != 0) {
            return Fail("def sets a whole constant register (c#) without modifiers");
        }
        if (!out_.instructions.empty() || out_.hasPhase) {
            return Fail("def comes after an instruction; constants are defined before all instructions");
        }
        ShaderConstantDefinition def;
        def.index = d.index;
        std::memcpy(def.value.data(), params + 1, sizeof def.value);
        out_.definitions.push_back(def);
        return true;
    }

    bool Phase() {
        if (out_.hasPhase) {
            return Fail("a program has one phase instruction at most");
        }
        if (pendingPad_ != 0) {
            return Fail("a texture matrix sequence is not finished");
        }
        out_.hasPhase = true;
        out_.phaseStart = out_.instructions.size();
        phase_ = 1;
        seenArithmetic_ = false;
        textureSlots_ = 0;
        arithmeticSlots_ = 0;
        texldWritten_ = 0;
        lastWasArithmetic_ = false;
        return true;
    }

    // Temporary registers are read only after a write.
    bool CheckTempRead(const ShaderSource& s) {
        if (s.file == RegisterFile::Temp && (tempWritten_ & (1u << s.index)) == 0) {
            return Fail("r%u is read before it is written", s.index);
        }
        return true;
    }

    // Distinct registers of one file an instruction reads.
    static unsigned Distinct(const ShaderInstruction& in, RegisterFile file) {
        unsigned count = 0;
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            bool seen = false;
            for (unsigned t = 0; t < s; ++t) {
                seen = seen || (in.sources[t].file == file && in.sources[t].index == in.sources[s].index &&
                                in.sources[t].relative == in.sources[s].relative);
            }
            count += (!seen && in.sources[s].file == file) ? 1 : 0;
        }
        return count;
    }

    // ---- vs.1.1 ------------------------------------------------------------------------
    bool VertexInstruction(ShaderInstruction& in) {
        const D3DSHADER_INSTRUCTION_OPCODE_TYPE op = in.opcode;
        slots_ += info_->slots;
        if (slots_ > 128) {
            return Fail("the program takes more than 128 instruction slots");
        }
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            const ShaderSource& src = in.sources[s];
            switch (src.file) {
                case RegisterFile::Temp:
                case RegisterFile::Input:
                case RegisterFile::Const:
                    break;
                default:
                    return Fail("%s cannot be read", Name(src.file, src.index).c_str());
            }
            if (src.modifier != SourceModifier::None && src.modifier != SourceModifier::Negate) {
                return Fail("vertex shader sources take only the negation modifier");
            }
            if (src.relative && !addressWritten_) {
                return Fail("a0.x is used before it is written");
            }
            if (!CheckTempRead(src)) {
                return false;
            }
        }
        if (Distinct(in, RegisterFile::Const) > 1) {
            return Fail("more than one constant register is read");
        }
        if (Distinct(in, RegisterFile::Input) > 1) {
            return Fail("more than one input register is read");
        }
        if (!in.hasDestination) {
            return true;
        }
        const ShaderDestination& d = in.destination;
        if (d.saturate || d.shift != 0) {
            return Fail("vertex shader results take no modifier");
        }
        switch (d.file) {
            case RegisterFile::Temp:
                tempWritten_ |= 1u << d.index;
                break;
            case RegisterFile::Address:
                if (op != D3DSIO_MOV || d.writeMask != 0x1) {
                    return Fail("a0 is written only by mov to a0.x");
                }
                addressWritten_ = true;
                break;
            case RegisterFile::RastOut:
                out_.outputsWritten |= 1u << d.index;
                break;
            case RegisterFile::AttrOut:
                out_.outputsWritten |= OutputColor(d.index);
                break;
            case RegisterFile::TexCoordOut:
                out_.outputsWritten |= OutputTexCoord(d.index);
                break;
            default:
                return Fail("%s cannot be written", Name(d.file, d.index).c_str());
        }
        if (op >= D3DSIO_M4x4 && op <= D3DSIO_M3x2) {
            const ShaderSource& a = in.sources[0];
            if (d.file == RegisterFile::Temp && a.file == RegisterFile::Temp && a.index == d.index) {
                return Fail("the destination of a matrix instruction cannot be its vector source");
            }
            const ShaderSource& m = in.sources[1];
            if (m.modifier != SourceModifier::None || SwizzleByte(m) != kSwizzleIdentity) {
                return Fail("the matrix source takes no swizzle and no modifier");
            }
        }
        return true;
    }

    // ---- ps: shared arithmetic rules ---------------------------------------------------
    bool PixelArithmetic(ShaderInstruction& in) {
        seenArithmetic_ = true;
        if (in.coissue) {
            if (!lastWasArithmetic_ || lastCoissued_) {
                return Fail("a co-issued instruction follows one arithmetic instruction that is not co-issued");
            }
            const std::uint8_t previous = out_.instructions.back().destination.writeMask;
            const std::uint8_t mask = in.hasDestination ? in.destination.writeMask : 0xF;
            const bool pair = (previous == 0x8 && (mask & 0x8) == 0) || (mask == 0x8 && (previous & 0x8) == 0);
            if (!pair) {
                return Fail("a co-issued pair writes colour (.rgb) in one and alpha (.a) in the other");
            }
        } else {
            arithmeticSlots_ += info_->slots;
            if (arithmeticSlots_ > 8) {
                return Fail("more than 8 arithmetic instructions%s", Ps14() ? " in a phase" : "");
            }
        }
        lastCoissued_ = in.coissue;
        lastWasArithmetic_ = in.opcode != D3DSIO_NOP;
        if (in.opcode == D3DSIO_NOP) {
            return true;
        }
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            const ShaderSource& src = in.sources[s];
            const SourceModifier m = src.modifier;
            if (m == SourceModifier::DivideZ || m == SourceModifier::DivideW) {
                return Fail("_dz and _dw apply only to texld and texcrd sources");
            }
            if (!Ps14() && (m == SourceModifier::X2 || m == SourceModifier::X2Negate)) {
                return Fail("the _x2 source modifier needs ps.1.4");
            }
            const std::uint8_t swizzle = SwizzleByte(src);
            const bool replicate = swizzle == 0x00 || swizzle == 0x55 || swizzle == 0xAA || swizzle == 0xFF;
            if (swizzle != kSwizzleIdentity && !(replicate && (Ps14() || swizzle == 0xAA || swizzle == 0xFF))) {
                return Fail("source swizzle .%c%c%c%c is not allowed in ps.1.%u", "xyzw"[src.swizzle[0]],
                            "xyzw"[src.swizzle[1]], "xyzw"[src.swizzle[2]], "xyzw"[src.swizzle[3]], out_.minor);
            }
            if (!CheckTempRead(src)) {
                return false;
            }
            if (src.file == RegisterFile::Texture) {
                if (Ps14()) {
                    return Fail("t%u is read only by texld and texcrd in ps.1.4", src.index);
                }
                if ((textureWritten_ & (1u << src.index)) == 0) {
                    return Fail("t%u is read before a texture instruction writes it", src.index);
                }
            }
            if (src.file == RegisterFile::Input && phase_ == 0) {
                inputInFirstPhase_ = inputInFirstPhase_ == kNone ? out_.instructions.size() : inputInFirstPhase_;
            }
        }
        const unsigned tempPorts = Ps14() ? 3 : 2;
        const unsigned texturePorts = 2;
        if (Distinct(in, RegisterFile::Const) > 2 || Distinct(in, RegisterFile::Input) > 2 ||
            Distinct(in, RegisterFile::Temp) > tempPorts || Distinct(in, RegisterFile::Texture) > texturePorts) {
            return Fail("the instruction reads more registers of one kind than the read ports allow "
                        "(c: 2, v: 2, r: %u, t: 2)", tempPorts);
        }
        const ShaderDestination& d = in.destination;
        if (d.file == RegisterFile::Temp) {
            tempWritten_ |= 1u << d.index;
        } else if (d.file == RegisterFile::Texture && !Ps14()) {
            textureWritten_ |= 1u << d.index;
        } else {
            return Fail("%s cannot be written by an arithmetic instruction", Name(d.file, d.index).c_str());
        }
        if (!Ps14() && d.writeMask != 0xF && d.writeMask != 0x7 && d.writeMask != 0x8) {
            return Fail("ps.1.%u write masks are .rgba, .rgb or .a", out_.minor);
        }
        const bool shiftOk = d.shift == 0 || d.shift == 1 || d.shift == 2 || d.shift == -1 || Ps14();
        if (!shiftOk) {
            return Fail("result shift _%s%d needs ps.1.4", d.shift > 0 ? "x" : "d", 1 << (d.shift > 0 ? d.shift : -d.shift));
        }
        if (in.opcode == D3DSIO_CND && !Ps14()) {
            const ShaderSource& c = in.sources[0];
            if (c.file != RegisterFile::Temp || c.index != 0 || SwizzleByte(c) != 0xFF ||
                c.modifier != SourceModifier::None) {
                return Fail("the condition of cnd is r0.a before ps.1.4");
            }
        }
        if (in.opcode == D3DSIO_BEM) {
            if (bem_ != kNone) {
                return Fail("bem is used once at most");
            }
            if (d.writeMask != 0x3 || d.saturate || d.shift != 0) {
                return Fail("bem writes .rg without modifiers");
            }
            bem_ = out_.instructions.size();
        }
        return true;
    }

    // ---- ps.1.1-1.3 texture instructions -----------------------------------------------
    bool TextureInstruction(ShaderInstruction& in) {
        const D3DSHADER_INSTRUCTION_OPCODE_TYPE op = in.opcode;
        if (seenArithmetic_) {
            return Fail("texture instructions come before all arithmetic instructions in ps.1.%u", out_.minor);
        }
        if (++textureSlots_ > 4) {
            return Fail("more than 4 texture instructions");
        }
        lastWasArithmetic_ = false;
        const ShaderDestination& d = in.destination;
        if (d.file != RegisterFile::Texture || d.writeMask != 0xF || d.saturate || d.shift != 0) {
            return Fail("a texture instruction writes a whole t# register without modifiers");
        }
        for (unsigned s = 0; s < in.sourceCount; ++s) {
            const ShaderSource& src = in.sources[s];
            if (op == D3DSIO_TEXM3x3SPEC && s == 1) {
                if (src.file != RegisterFile::Const || src.modifier != SourceModifier::None ||
                    SwizzleByte(src) != kSwizzleIdentity) {
                    return Fail("the eye vector of texm3x3spec is a constant register");
                }
                continue;
            }
            if (src.file != RegisterFile::Texture || src.index >= d.index) {
                return Fail("the source of a texture instruction is a t# register below its destination");
            }
            if ((textureWritten_ & (1u << src.index)) == 0) {
                return Fail("t%u is read before a texture instruction writes it", src.index);
            }
            if (SwizzleByte(src) != kSwizzleIdentity ||
                (src.modifier != SourceModifier::None && src.modifier != SourceModifier::Sign)) {
                return Fail("texture instruction sources take no swizzle and no modifier but _bx2");
            }
        }
        if (op != D3DSIO_TEXKILL && (textureWritten_ & (1u << d.index)) != 0) {
            return Fail("t%u is written by two texture instructions", d.index);
        }
        if (!MatrixSequence(in)) {
            return false;
        }
        if (op != D3DSIO_TEXKILL) {
            textureWritten_ |= 1u << d.index;
        }
        if (SamplesStage(op)) {
            in.textureStage = d.index;
        }
        return true;
    }

    // texm3x2pad t(n), then texm3x2tex/texm3x2depth t(n+1); texm3x3pad twice, then one of
    // texm3x3tex, texm3x3spec, texm3x3vspec or texm3x3; all reading the same source register.
    bool MatrixSequence(const ShaderInstruction& in) {
        const D3DSHADER_INSTRUCTION_OPCODE_TYPE op = in.opcode;
        const bool ends2 = op == D3DSIO_TEXM3x2TEX || op == D3DSIO_TEXM3x2DEPTH;
        const bool ends3 = op == D3DSIO_TEXM3x3TEX || op == D3DSIO_TEXM3x3SPEC || op == D3DSIO_TEXM3x3VSPEC ||
                           op == D3DSIO_TEXM3x3;
        const unsigned reg = in.destination.index;
        const unsigned src = in.sourceCount > 0 ? in.sources[0].index : 0;
        if (pendingPad_ != 0) {
            const bool sameSource = src == padSource_ && reg == padNext_;
            if (pendingPadKind_ == D3DSIO_TEXM3x2PAD && !(ends2 && sameSource)) {
                return Fail("texm3x2pad is followed by texm3x2tex or texm3x2depth on the next register");
            }
            if (pendingPadKind_ == D3DSIO_TEXM3x3PAD && pendingPad_ == 2 && !(op == D3DSIO_TEXM3x3PAD && sameSource)) {
                return Fail("texm3x3pad is followed by a second texm3x3pad on the next register");
            }
            if (pendingPadKind_ == D3DSIO_TEXM3x3PAD && pendingPad_ == 1 && !(ends3 && sameSource)) {
                return Fail("two texm3x3pad are followed by texm3x3tex, texm3x3spec, texm3x3vspec or texm3x3");
            }
            --pendingPad_;
            padNext_ = reg + 1;
            return true;
        }
        if (ends2 || ends3) {
            return Fail("the instruction ends a texture matrix sequence that no pad instruction began");
        }
        if (IsPad(op)) {
            pendingPadKind_ = op;
            pendingPad_ = op == D3DSIO_TEXM3x2PAD ? 1 : 2;
            padSource_ = src;
            padNext_ = reg + 1;
        }
        return true;
    }

    // ---- ps.1.4 texture instructions ---------------------------------------------------
    bool TextureInstruction14(ShaderInstruction& in) {
        const D3DSHADER_INSTRUCTION_OPCODE_TYPE op = in.opcode;
        if (seenArithmetic_) {
            return Fail("texture instructions come before the arithmetic instructions of their phase");
        }
        if (++textureSlots_ > 6) {
            return Fail("more than 6 texture instructions in a phase");
        }
        lastWasArithmetic_ = false;
        const ShaderDestination& d = in.destination;
        if (d.saturate || d.shift != 0) {
            return Fail("texture instructions take no result modifier");
        }
        if (op == D3DSIO_TEXKILL) {
            if (d.file == RegisterFile::Temp && (tempWritten_ & (1u << d.index)) == 0) {
                return Fail("r%u is read before it is written", d.index);
            }
            if (d.file != RegisterFile::Temp && d.file != RegisterFile::Texture) {
                return Fail("texkill reads an r# or t# register");
            }
            return true;
        }
        if (d.file != RegisterFile::Temp) {
            return Fail("ps.1.4 texture instructions write an r# register");
        }
        if (op == D3DSIO_TEXDEPTH) {
            if (d.index != 5) {
                return Fail("texdepth writes r5");
            }
            if (phase_ == 0 && secondPhaseOnly_ == kNone) {
                secondPhaseOnly_ = out_.instructions.size();
            }
            tempWritten_ |= 1u << 5;
            return true;
        }
        const ShaderSource& src = in.sources[0];
        const std::uint8_t swizzle = SwizzleByte(src);
        if (swizzle != kSwizzleIdentity && swizzle != kSwizzleXyz && swizzle != kSwizzleXyw) {
            return Fail("texld and texcrd read .xyz or .xyw of their source");
        }
        const SourceModifier m = src.modifier;
        if (m != SourceModifier::None && m != SourceModifier::DivideZ && m != SourceModifier::DivideW) {
            return Fail("texld and texcrd sources take only _dz or _dw");
        }
        if (op == D3DSIO_TEXCOORD) {
            if (src.file != RegisterFile::Texture) {
                return Fail("texcrd reads a t# register");
            }
            if (d.writeMask != 0xF && d.writeMask != 0x7 && d.writeMask != 0x3) {
                return Fail("texcrd writes .xyzw, .xyz or .xy");
            }
        } else {
            if (d.writeMask != 0xF) {
                return Fail("texld writes the whole register");
            }
            if (src.file == RegisterFile::Temp) {
                if (phase_ == 0) {
                    return Fail("texld reads an r# register only in the second phase");
                }
                if ((tempWritten_ & (1u << src.index)) == 0) {
                    return Fail("r%u is read before it is written", src.index);
                }
                if (m == SourceModifier::DivideW) {
                    return Fail("_dw applies to t# registers only");
                }
            } else if (src.file != RegisterFile::Texture) {
                return Fail("texld reads a t# or r# register");
            }
            in.textureStage = d.index;
        }
        if ((texldWritten_ & (1u << d.index)) != 0) {
            return Fail("r%u is written by two texture instructions in one phase", d.index);
        }
        texldWritten_ |= 1u << d.index;
        tempWritten_ |= 1u << d.index;
        return true;
    }

    // ---- rules over the whole program --------------------------------------------------
    bool Finish() {
        if (pendingPad_ != 0) {
            return FailAt(out_.instructions.size() - 1, "the texture matrix sequence is not finished");
        }
        if (!out_.hasPhase) {
            out_.phaseStart = out_.instructions.size();
        }
        if (Vs()) {
            if ((out_.outputsWritten & kOutputPosition) == 0) {
                return Fail("the vertex shader never writes oPos");
            }
            return true;
        }
        if ((tempWritten_ & 1u) == 0) {
            return Fail("the pixel shader never writes r0, its result");
        }
        if (out_.hasPhase) {
            if (inputInFirstPhase_ != kNone) {
                return FailAt(inputInFirstPhase_, "v# registers are read only in the second phase");
            }
            if (secondPhaseOnly_ != kNone) {
                return FailAt(secondPhaseOnly_, "texdepth is used only in the second phase");
            }
            if (bem_ != kNone && out_.instructions[bem_].phase != 0) {
                return FailAt(bem_, "bem is used only in the first phase");
            }
        } else if (bem_ != kNone) {
            return FailAt(bem_, "bem is used only in the first phase of a program with a phase instruction");
        }
        return true;
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    ShaderType type_;
    const DWORD* tokens_;
    std::size_t length_;
    const ShaderLimits& limits_;
    std::uint8_t version_ = 0;
    ShaderProgram out_;
    std::vector<std::size_t> ordinals_;  // instruction token ordinal of each decoded instruction
    std::string error_;
    const ShaderOpcodeInfo* info_ = nullptr;
    std::size_t ordinal_ = 0;
    std::size_t ordinalCount_ = 0;

    unsigned slots_ = 0;            // vs instruction slots
    unsigned textureSlots_ = 0;     // ps, per phase in 1.4
    unsigned arithmeticSlots_ = 0;  // ps, per phase in 1.4
    bool seenArithmetic_ = false;   // in this phase
    bool lastWasArithmetic_ = false;
    bool lastCoissued_ = false;
    std::uint8_t phase_ = 0;
    std::uint32_t tempWritten_ = 0;
    std::uint32_t textureWritten_ = 0;  // ps.1.1-1.3 t# written
    std::uint32_t texldWritten_ = 0;    // ps.1.4 r# written by texture instructions in this phase
    bool addressWritten_ = false;
    unsigned pendingPad_ = 0;  // instructions still owed to a texm3x2pad/texm3x3pad sequence
    D3DSHADER_INSTRUCTION_OPCODE_TYPE pendingPadKind_ = D3DSIO_NOP;
    unsigned padSource_ = 0;
    unsigned padNext_ = 0;
    std::size_t bem_ = kNone;
    std::size_t inputInFirstPhase_ = kNone;  // ps.1.4: first instruction before phase reading v#
    std::size_t secondPhaseOnly_ = kNone;    // ps.1.4: texdepth before phase
};

}  // namespace

const ShaderOpcodeInfo* FindShaderOpcode(DWORD opcode) {
    for (const ShaderOpcodeInfo& info : kOpcodes) {
        if (static_cast<DWORD>(info.opcode) == opcode) {
            return &info;
        }
    }
    return nullptr;
}

const ShaderOpcodeInfo* FindShaderOpcode(const char* name, std::uint8_t version) {
    for (const ShaderOpcodeInfo& info : kOpcodes) {
        if ((info.versions & version) != 0 && std::strcmp(ShaderOpcodeName(info, version), name) == 0) {
            return &info;
        }
    }
    return nullptr;
}

std::uint8_t ShaderVersionBit(DWORD token) {
    switch (token) {
        case D3DVS_VERSION(1, 1): return kVersionVs11;
        case D3DPS_VERSION(1, 1): return kVersionPs11;
        case D3DPS_VERSION(1, 2): return kVersionPs12;
        case D3DPS_VERSION(1, 3): return kVersionPs13;
        case D3DPS_VERSION(1, 4): return kVersionPs14;
        default: return 0;
    }
}

const char* ShaderOpcodeName(const ShaderOpcodeInfo& info, std::uint8_t version) {
    if (version == kVersionPs14) {
        if (info.opcode == D3DSIO_TEX) {
            return "texld";
        }
        if (info.opcode == D3DSIO_TEXCOORD) {
            return "texcrd";
        }
    }
    return info.name;
}

unsigned ShaderOperandCount(const ShaderOpcodeInfo& info, std::uint8_t version) {
    const bool extra = version == kVersionPs14 && (info.opcode == D3DSIO_TEX || info.opcode == D3DSIO_TEXCOORD);
    if (info.opcode == D3DSIO_DEF) {
        return 5;
    }
    return (info.destination ? 1u : 0u) + info.sources + (extra ? 1u : 0u);
}

ShaderValidation ValidateShader(ShaderType type, const DWORD* tokens, std::size_t length, ShaderProgram* program,
                                const ShaderLimits& limits) {
    return Validator(type, tokens, length, limits).Run(program);
}

}  // namespace d3d8

namespace {

HRESULT Report(const std::string& error, BOOL returnErrors, char** errors) {
    if (errors != nullptr) {
        *errors = nullptr;
        if (returnErrors && !error.empty()) {
            *errors = static_cast<char*>(std::malloc(error.size() + 1));
            if (*errors != nullptr) {
                std::memcpy(*errors, error.c_str(), error.size() + 1);
            }
        }
    }
    return error.empty() ? D3D_OK : E_FAIL;
}

// The stream up to its end token, found without reading past it: the caller gives no length.
std::size_t UnboundedLength() { return static_cast<std::size_t>(-1) / sizeof(DWORD); }

d3d8::ShaderLimits LimitsOf(const D3DCAPS8* caps) {
    d3d8::ShaderLimits limits;
    if (caps != nullptr) {
        limits.vertexShaderVersion = caps->VertexShaderVersion;
        limits.pixelShaderVersion = caps->PixelShaderVersion;
        limits.maxVertexShaderConst = caps->MaxVertexShaderConst;
    }
    return limits;
}

}  // namespace

HRESULT ValidateVertexShader(const DWORD* shader, const DWORD* declaration, const D3DCAPS8* caps, BOOL returnErrors,
                             char** errors) {
    const d3d8::ShaderLimits limits = LimitsOf(caps);
    d3d8::ShaderProgram program;
    // The validator stops at the end token (or the first bad token), so an unbounded length
    // reads no further than a device copying the program would.
    const d3d8::ShaderValidation v =
        d3d8::ValidateShader(d3d8::ShaderType::Vertex, shader, shader != nullptr ? UnboundedLength() : 0, &program, limits);
    if (!v.ok) {
        return Report(v.error, returnErrors, errors);
    }
    if (declaration != nullptr) {
        d3d8::VertexDeclaration layout;
        const d3d8::DeclarationResult d =
            d3d8::ParseVertexDeclaration(declaration, UnboundedLength(), &layout, limits.maxVertexShaderConst,
                                         caps != nullptr ? caps->MaxStreams : d3d8::kDeclarationStreams);
        if (!d.ok) {
            return Report(std::string("declaration ").append(d.error), returnErrors, errors);
        }
        const std::uint32_t missing = program.inputsRead & ~layout.registersDeclared;
        if (missing != 0) {
            unsigned reg = 0;
            while ((missing & (1u << reg)) == 0) {
                ++reg;
            }
            char text[64];
            std::snprintf(text, sizeof text, "v%u is read but the declaration does not load it", reg);
            return Report(text, returnErrors, errors);
        }
    }
    return Report({}, returnErrors, errors);
}

HRESULT ValidatePixelShader(const DWORD* shader, const D3DCAPS8* caps, BOOL returnErrors, char** errors) {
    const d3d8::ShaderValidation v = d3d8::ValidateShader(
        d3d8::ShaderType::Pixel, shader, shader != nullptr ? UnboundedLength() : 0, nullptr, LimitsOf(caps));
    return Report(v.ok ? std::string() : v.error, returnErrors, errors);
}
