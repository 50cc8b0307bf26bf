// Pixel programs: building and checking the instruction list, the sampler of the pixel
// stage, and the plain runner, one lane at a time.
#include "raster/pixel_program.h"

#include <cmath>
#include <cstddef>

#include "raster/pipeline.h"

namespace raster {

const char* ProgramErrorText(ProgramError error) {
    switch (error) {
        case ProgramError::None: return "no error";
        case ProgramError::OpNotInVersion: return "the instruction does not exist in this pixel program version";
        case ProgramError::RegisterOutOfRange: return "a register index is beyond its range in this version";
        case ProgramError::BadRegisterFile: return "the instruction cannot use this kind of register there";
        case ProgramError::BadCoissue: return "a co-issued instruction must follow an arithmetic instruction";
        case ProgramError::SecondPhase: return "a program has at most one phase marker";
    }
    return "unknown error";
}

namespace {

// The versions an instruction exists in: [first, last].
struct OpVersions {
    PixelVersion first, last;
};

OpVersions VersionsOf(PixelOp op) {
    constexpr PixelVersion k11 = PixelVersion::Ps11, k12 = PixelVersion::Ps12, k13 = PixelVersion::Ps13,
                           k14 = PixelVersion::Ps14;
    switch (op) {
        case PixelOp::Nop:
        case PixelOp::Mov:
        case PixelOp::Add:
        case PixelOp::Sub:
        case PixelOp::Mul:
        case PixelOp::Mad:
        case PixelOp::Lrp:
        case PixelOp::Dp3:
        case PixelOp::Cnd:
        case PixelOp::TexKill: return {k11, k14};
        case PixelOp::Dp4:
        case PixelOp::Cmp: return {k12, k14};
        case PixelOp::Bem:
        case PixelOp::TexDepth:
        case PixelOp::TexLd:
        case PixelOp::TexCrd:
        case PixelOp::Phase: return {k14, k14};
        case PixelOp::Tex:
        case PixelOp::TexCoord:
        case PixelOp::TexBem:
        case PixelOp::TexBemL:
        case PixelOp::TexReg2Ar:
        case PixelOp::TexReg2Gb:
        case PixelOp::TexM3x2Pad:
        case PixelOp::TexM3x2Tex:
        case PixelOp::TexM3x3Pad:
        case PixelOp::TexM3x3Tex:
        case PixelOp::TexM3x3Spec:
        case PixelOp::TexM3x3VSpec: return {k11, k13};
        case PixelOp::TexReg2Rgb:
        case PixelOp::TexDp3:
        case PixelOp::TexDp3Tex:
        case PixelOp::TexM3x3: return {k12, k13};
        case PixelOp::TexM3x2Depth: return {k13, k13};
    }
    Unreachable();
}

bool IsArithmetic(PixelOp op) { return op <= PixelOp::Bem; }

int RegisterCount(RegisterFile file, bool ps14) {
    switch (file) {
        case RegisterFile::Temp: return ps14 ? PixelProgram::kTemps : 2;
        case RegisterFile::Texture: return ps14 ? PixelProgram::kTextures : 4;
        case RegisterFile::Constant: return PixelProgram::kConstants;
        case RegisterFile::Color: return PixelProgram::kColors;
    }
    Unreachable();
}

}  // namespace

PixelProgram::PixelProgram(PixelVersion version, bool stageRegisters)
    : version_(version),
      maxValue_(version == PixelVersion::Ps14 ? 8.0f : 1.0f),
      stageRegisters_(stageRegisters) {}

void PixelProgram::Define(int index, float x, float y, float z, float w) {
    if (index < 0 || index >= kConstants) return Fail(ProgramError::RegisterOutOfRange);
    const float values[4] = {x, y, z, w};
    for (int k = 0; k < 4; ++k) constants_[index][k] = values[k];
    defined_ |= static_cast<std::uint8_t>(1u << index);
}

void PixelProgram::Arith(PixelOp op, Destination dst, Source a, Source b, Source c, bool coissue) {
    PixelInstruction in;
    in.op = op;
    in.dst = dst;
    in.src[0] = a;
    in.src[1] = b;
    in.src[2] = c;
    in.coissue = coissue;
    Add(in);
}

void PixelProgram::Texture(PixelOp op, Destination dst, Source a, Source b) {
    PixelInstruction in;
    in.op = op;
    in.dst = dst;
    in.src[0] = a;
    in.src[1] = b;
    Add(in);
}

void PixelProgram::Phase() {
    PixelInstruction in;
    in.op = PixelOp::Phase;
    Add(in);
}

void PixelProgram::Add(const PixelInstruction& in) {
    const bool ps14 = version_ == PixelVersion::Ps14;
    const OpVersions versions = VersionsOf(in.op);
    if (version_ < versions.first || version_ > versions.last) return Fail(ProgramError::OpNotInVersion);
    auto inRange = [&](RegisterFile file, int index) { return index < RegisterCount(file, ps14 || stageRegisters_); };
    if (in.op == PixelOp::Phase) {
        if (sawPhase_) return Fail(ProgramError::SecondPhase);
        sawPhase_ = true;
        instructions_.push_back(in);
        return;
    }
    if (in.coissue && (!IsArithmetic(in.op) || instructions_.empty() || !IsArithmetic(instructions_.back().op)))
        return Fail(ProgramError::BadCoissue);
    if (!inRange(in.dst.file, in.dst.index)) return Fail(ProgramError::RegisterOutOfRange);
    if (IsArithmetic(in.op)) {
        // Arithmetic writes temporaries (and, before ps.1.4, texture registers) and reads
        // any register but, in ps.1.4, the texture coordinates.
        if (in.dst.file != RegisterFile::Temp && (ps14 || in.dst.file != RegisterFile::Texture))
            return Fail(ProgramError::BadRegisterFile);
        for (const Source& s : in.src) {
            if (!inRange(s.file, s.index)) return Fail(ProgramError::RegisterOutOfRange);
            if (ps14 && s.file == RegisterFile::Texture) return Fail(ProgramError::BadRegisterFile);
        }
        for (const Source& s : in.src)
            if (s.file == RegisterFile::Color) colors_ |= static_cast<std::uint8_t>(1u << s.index);
        instructions_.push_back(in);
        return;
    }
    // Texture instructions.
    switch (in.op) {
        case PixelOp::TexLd:
        case PixelOp::TexCrd:
            if (in.dst.file != RegisterFile::Temp) return Fail(ProgramError::BadRegisterFile);
            if (in.src[0].file != RegisterFile::Temp && in.src[0].file != RegisterFile::Texture)
                return Fail(ProgramError::BadRegisterFile);
            if (!inRange(in.src[0].file, in.src[0].index)) return Fail(ProgramError::RegisterOutOfRange);
            break;
        case PixelOp::TexDepth:
            if (in.dst.file != RegisterFile::Temp) return Fail(ProgramError::BadRegisterFile);
            writesDepth_ = true;
            break;
        case PixelOp::TexKill:
            if (in.dst.file == RegisterFile::Constant || in.dst.file == RegisterFile::Color ||
                (!ps14 && in.dst.file != RegisterFile::Texture))
                return Fail(ProgramError::BadRegisterFile);
            break;
        default: {
            // ps.1.1 to ps.1.3: t(m) from t(n), texm3x3spec with an eye vector constant.
            if (in.dst.file != RegisterFile::Texture) return Fail(ProgramError::BadRegisterFile);
            const bool readsSource = in.op != PixelOp::Tex && in.op != PixelOp::TexCoord;
            if (readsSource) {
                if (in.src[0].file != RegisterFile::Texture) return Fail(ProgramError::BadRegisterFile);
                if (!inRange(in.src[0].file, in.src[0].index)) return Fail(ProgramError::RegisterOutOfRange);
            }
            if (in.op == PixelOp::TexM3x3Spec &&
                (in.src[1].file != RegisterFile::Constant || !inRange(in.src[1].file, in.src[1].index)))
                return Fail(ProgramError::BadRegisterFile);
            // The rows of a texm3x2 or texm3x3 sequence are the coordinates of the stages
            // before the last one.
            const bool threeRows = in.op == PixelOp::TexM3x3 || in.op == PixelOp::TexM3x3Tex ||
                                   in.op == PixelOp::TexM3x3Spec || in.op == PixelOp::TexM3x3VSpec;
            const bool twoRows = in.op == PixelOp::TexM3x2Tex || in.op == PixelOp::TexM3x2Depth;
            if ((threeRows && in.dst.index < 2) || (twoRows && in.dst.index < 1))
                return Fail(ProgramError::RegisterOutOfRange);
            if (in.op == PixelOp::TexM3x2Depth) writesDepth_ = true;
            break;
        }
    }
    NoteInputs(in);
    instructions_.push_back(in);
}

void PixelProgram::NoteInputs(const PixelInstruction& in) {
    const auto bit = [](int index) { return static_cast<std::uint8_t>(1u << index); };
    const int m = in.dst.index;
    switch (in.op) {
        case PixelOp::TexLd:
        case PixelOp::TexCrd:
            if (in.src[0].file == RegisterFile::Texture) coordinates_ |= bit(in.src[0].index);
            if (in.op == PixelOp::TexLd) sampled_ |= bit(m);
            return;
        case PixelOp::TexDepth: return;
        case PixelOp::TexKill:
            if (in.dst.file == RegisterFile::Texture) coordinates_ |= bit(m);
            return;
        case PixelOp::TexReg2Ar:
        case PixelOp::TexReg2Gb:
        case PixelOp::TexReg2Rgb: sampled_ |= bit(m); return;
        case PixelOp::TexM3x3VSpec: coordinates_ |= bit(m - 2) | bit(m - 1); break;
        default: break;
    }
    // The others read their own coordinate set; all but these sample their stage.
    coordinates_ |= bit(m);
    const bool samples = in.op != PixelOp::TexCoord && in.op != PixelOp::TexM3x2Pad && in.op != PixelOp::TexM3x3Pad &&
                         in.op != PixelOp::TexM3x2Depth && in.op != PixelOp::TexM3x3 && in.op != PixelOp::TexDp3;
    if (samples) sampled_ |= bit(m);
}

namespace {

// Channel bytes as floats: c / 255, and biased by 128 as (c - 128) / 127 (0 as -1).
struct ChannelTables {
    ChannelTables() {
        for (int c = 0; c < 256; ++c) {
            unsigned_[c] = static_cast<float>(c) / 255.0f;
            signed_[c] = c == 0 ? -1.0f : static_cast<float>(c - 128) / 127.0f;
        }
    }
    float unsigned_[256], signed_[256];
};
const ChannelTables kChannels;

inline float Finite(float x) { return std::isfinite(x) ? x : 0.0f; }

}  // namespace

void SetupSampler::Sample(int stage, std::uint32_t lanes, const float* u, const float* v, const float* w,
                          float (*rgba)[kMaxProgramLanes]) const {
    const ProgramStage& s = draw_.stages[stage];
    if (!s.sampler || !s.sampler->texture) {
        for (; lanes != 0; lanes &= lanes - 1)
            for (int k = 0; k < 4; ++k) rgba[k][__builtin_ctz(lanes)] = 1.0f;
        return;
    }
    const float* lod = group_.lod[stage];
    const bool plane = s.sampler->texture->kind == TextureKind::Plane;
    if (plane && groupSampler_ && s.sampler->vectorSampling) {
        groupSampler_(*s.sampler, lanes, u, v, lod, s.signedChannels, rgba);
        return;
    }
    const float* table[4];
    for (int k = 0; k < 4; ++k) table[k] = (s.signedChannels >> k) & 1 ? kChannels.signed_ : kChannels.unsigned_;
    for (; lanes != 0; lanes &= lanes - 1) {
        const int lane = __builtin_ctz(lanes);
        const std::uint32_t texel =
            plane ? detail::SampleTexture(*s.sampler, Finite(u[lane]), Finite(v[lane]), lod[lane])
                  : detail::SampleCoordinates(*s.sampler, Finite(u[lane]), Finite(v[lane]), Finite(w[lane]), lod[lane]);
        rgba[0][lane] = table[0][(texel >> 16) & 0xFFu];
        rgba[1][lane] = table[1][(texel >> 8) & 0xFFu];
        rgba[2][lane] = table[2][texel & 0xFFu];
        rgba[3][lane] = table[3][texel >> 24];
    }
}

namespace {

#include "raster/pixel_program_body.h"

// One lane of the group as plain floats.
struct LaneOps {
    using V = float;
    using M = bool;
    const ProgramSampler& sampler;
    const ProgramGroup& group;
    int lane;

    float Set(float x) const { return x; }
    float Load(const float* lanes) const { return lanes[lane]; }
    float Add(float a, float b) const { return a + b; }
    float Sub(float a, float b) const { return a - b; }
    float Mul(float a, float b) const { return a * b; }
    float Div(float a, float b) const { return a / b; }
    float Neg(float a) const { return -a; }
    bool Gt(float a, float b) const { return a > b; }
    bool Ge(float a, float b) const { return a >= b; }
    bool Lt(float a, float b) const { return a < b; }
    float Select(bool m, float yes, float no) const { return m ? yes : no; }
    bool Or(bool a, bool b) const { return a || b; }
    void Sample(int stage, float u, float v, float w, float out[4]) const {
        float us[kMaxProgramLanes], vs[kMaxProgramLanes], ws[kMaxProgramLanes], texel[4][kMaxProgramLanes];
        us[lane] = u;
        vs[lane] = v;
        ws[lane] = w;
        sampler.Sample(stage, 1u << lane, us, vs, ws, texel);
        for (int k = 0; k < 4; ++k) out[k] = texel[k][lane];
    }
};

}  // namespace

void RunPixelProgramRef(const PixelProgram& program, const ProgramDraw& draw, const ProgramGroup& group,
                        const ProgramSampler& sampler, ProgramResult& result) {
    result.killed = 0;
    for (int lane = 0; lane < kMaxProgramLanes; ++lane) {
        for (int k = 0; k < 4; ++k) result.color[k][lane] = 0.0f;
        result.depth[lane] = 0.0f;
        if (!((group.active >> lane) & 1u)) continue;
        const LaneOps ops{sampler, group, lane};
        ProgramBody<LaneOps> body(ops, program, draw, group);
        ProgramBody<LaneOps>::V4 out;
        float depth = 0.0f;
        bool wroteDepth = false, killed = false;
        body.Run(out, depth, wroteDepth, killed);
        for (int k = 0; k < 4; ++k) result.color[k][lane] = out.c[k];
        result.depth[lane] = depth;
        if (killed) result.killed |= 1u << lane;
    }
}

}  // namespace raster
