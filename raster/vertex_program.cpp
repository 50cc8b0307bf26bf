// vs.1.1 vertex programs: the check and lowering of a typed program (Build) and the plain
// interpreter (RunRef) that the vector run (vertex_program_simd.cpp) is tested against.
#include "raster/vertex_program.h"

#include <cstring>

#include "raster/vertex_program_math.h"

namespace raster {

namespace {

using Step = VertexProgram::Step;
using StepOp = VertexProgram::StepOp;
using Source = VertexProgram::Source;
using namespace detail::program;

// Sources each op reads.
int SourceCount(VertexOp op) {
    switch (op) {
        case VertexOp::Nop: return 0;
        case VertexOp::Mov:
        case VertexOp::Rcp:
        case VertexOp::Rsq:
        case VertexOp::Exp:
        case VertexOp::Log:
        case VertexOp::Lit:
        case VertexOp::Expp:
        case VertexOp::Logp:
        case VertexOp::Frc: return 1;
        case VertexOp::Add:
        case VertexOp::Sub:
        case VertexOp::Mul:
        case VertexOp::Dp3:
        case VertexOp::Dp4:
        case VertexOp::Min:
        case VertexOp::Max:
        case VertexOp::Slt:
        case VertexOp::Sge:
        case VertexOp::Dst:
        case VertexOp::M4x4:
        case VertexOp::M4x3:
        case VertexOp::M3x4:
        case VertexOp::M3x3:
        case VertexOp::M3x2: return 2;
        case VertexOp::Mad: return 3;
    }
    return 0;
}

// A matrix op's rows (dot products) and the components of each (3 or 4); 0 for others.
struct MatrixShape {
    int rows = 0, columns = 0;
};
MatrixShape ShapeOf(VertexOp op) {
    switch (op) {
        case VertexOp::M4x4: return {4, 4};
        case VertexOp::M4x3: return {3, 4};
        case VertexOp::M3x4: return {4, 3};
        case VertexOp::M3x3: return {3, 3};
        case VertexOp::M3x2: return {2, 3};
        default: return {};
    }
}

StepOp StepOf(VertexOp op) {
    switch (op) {
        case VertexOp::Mov: return StepOp::Mov;
        case VertexOp::Add: return StepOp::Add;
        case VertexOp::Sub: return StepOp::Sub;
        case VertexOp::Mad: return StepOp::Mad;
        case VertexOp::Mul: return StepOp::Mul;
        case VertexOp::Rcp: return StepOp::Rcp;
        case VertexOp::Rsq: return StepOp::Rsq;
        case VertexOp::Dp3: return StepOp::Dp3;
        case VertexOp::Dp4: return StepOp::Dp4;
        case VertexOp::Min: return StepOp::Min;
        case VertexOp::Max: return StepOp::Max;
        case VertexOp::Slt: return StepOp::Slt;
        case VertexOp::Sge: return StepOp::Sge;
        case VertexOp::Exp: return StepOp::Exp;
        case VertexOp::Log: return StepOp::Log;
        case VertexOp::Lit: return StepOp::Lit;
        case VertexOp::Dst: return StepOp::Dst;
        case VertexOp::Expp: return StepOp::Expp;
        case VertexOp::Logp: return StepOp::Logp;
        case VertexOp::Frc: return StepOp::Frc;
        default: return StepOp::Mov;  // matrix ops and nop never reach a step of their own
    }
}

int FileSize(SourceFile file) {
    switch (file) {
        case SourceFile::Temp: return kProgramTemps;
        case SourceFile::Input: return kProgramInputs;
        case SourceFile::Constant: return kProgramConstants;
    }
    return 0;
}

int FileSize(DestFile file) {
    switch (file) {
        case DestFile::Temp: return kProgramTemps;
        case DestFile::Color: return kProgramColors;
        case DestFile::Texcoord: return kProgramTexcoords;
        case DestFile::Address:
        case DestFile::Position:
        case DestFile::Fog:
        case DestFile::PointSize: return 1;
    }
    return 0;
}

int RegisterOf(DestOperand d) {
    switch (d.file) {
        case DestFile::Temp: return VertexProgram::kTemp0 + d.index;
        case DestFile::Position: return VertexProgram::kPosition;
        case DestFile::Color: return VertexProgram::kColor0 + d.index;
        case DestFile::Texcoord: return VertexProgram::kTexcoord0 + d.index;
        case DestFile::Fog: return VertexProgram::kFog;
        case DestFile::PointSize: return VertexProgram::kPointSize;
        case DestFile::Address: return 0;
    }
    return 0;
}

// rows: registers the operand spans (a matrix operand's rows), 1 otherwise.
VertexProgramError CheckSource(const SourceOperand& s, int rows) {
    if (static_cast<int>(s.file) > static_cast<int>(SourceFile::Constant)) return VertexProgramError::RegisterOutOfRange;
    if (s.relative && s.file != SourceFile::Constant) return VertexProgramError::RelativeNotConstant;
    // A relative read's range is checked per vertex; its offset is one of the constants.
    if (s.index + (s.relative ? 1 : rows) > FileSize(s.file)) return VertexProgramError::RegisterOutOfRange;
    for (std::uint8_t c : s.swizzle)
        if (c > 3) return VertexProgramError::BadSwizzle;
    return VertexProgramError::None;
}

Source Lower(const SourceOperand& s, int row, std::uint32_t& inputsRead) {
    Source out;
    out.negate = s.negate;
    std::memcpy(out.swizzle, s.swizzle, sizeof out.swizzle);
    const int index = s.index + row;
    switch (s.file) {
        case SourceFile::Temp:
            out.kind = Source::Kind::Register;
            out.index = static_cast<std::uint8_t>(VertexProgram::kTemp0 + index);
            break;
        case SourceFile::Input:
            out.kind = Source::Kind::Register;
            out.index = static_cast<std::uint8_t>(VertexProgram::kInput0 + index);
            inputsRead |= 1u << index;
            break;
        case SourceFile::Constant:
            out.kind = s.relative ? Source::Kind::Relative : Source::Kind::Constant;
            out.index = static_cast<std::uint8_t>(index);
            break;
    }
    return out;
}

}  // namespace

const char* VertexProgramErrorText(VertexProgramError error) {
    switch (error) {
        case VertexProgramError::None: return "no error";
        case VertexProgramError::TooLong: return "the program has more than 128 instructions";
        case VertexProgramError::UnknownOp: return "an instruction has an unknown operation";
        case VertexProgramError::RegisterOutOfRange: return "a register number lies outside its register file";
        case VertexProgramError::BadSwizzle: return "a swizzle names a component above w";
        case VertexProgramError::RelativeNotConstant: return "a0.x addresses a register that is not a constant";
        case VertexProgramError::BadDestination: return "the instruction cannot write its destination register";
        case VertexProgramError::BadMask: return "the write mask is empty or not one the instruction or register allows";
        case VertexProgramError::MatrixSourceModified: return "a matrix operand is swizzled or negated";
        case VertexProgramError::MatrixOverlap: return "a matrix instruction writes a register it reads";
    }
    return "unknown error";
}

VertexProgramError VertexProgram::Build(std::span<const VertexInstruction> program) {
    steps_.clear();
    inputsRead_ = written_ = 0;
    tempsReadFirst_ = 0;
    VertexProgramError error = VertexProgramError::None;
    std::vector<Step> steps;
    std::uint32_t inputs = 0, written = 0;
    if (program.size() > kMaxProgramInstructions) return VertexProgramError::TooLong;
    for (const VertexInstruction& in : program) {
        if (static_cast<int>(in.op) > static_cast<int>(VertexOp::M3x2)) return VertexProgramError::UnknownOp;
        if (in.op == VertexOp::Nop) continue;
        const MatrixShape shape = ShapeOf(in.op);
        const int sources = SourceCount(in.op);
        for (int i = 0; i < sources; ++i) {
            error = CheckSource(in.src[i], i == 1 && shape.rows > 0 ? shape.rows : 1);
            if (error != VertexProgramError::None) return error;
        }
        const DestOperand& d = in.dst;
        if (static_cast<int>(d.file) > static_cast<int>(DestFile::PointSize) || d.index >= FileSize(d.file))
            return VertexProgramError::RegisterOutOfRange;
        if (d.mask == 0 || d.mask > 0xF) return VertexProgramError::BadMask;
        if (d.file == DestFile::Address && in.op != VertexOp::Mov) return VertexProgramError::BadDestination;
        if ((d.file == DestFile::Address || d.file == DestFile::Fog || d.file == DestFile::PointSize) && d.mask != 0x1)
            return VertexProgramError::BadMask;
        // vs.1.1 frc writes .y or .xy only.
        if (in.op == VertexOp::Frc && d.mask != 0x2 && d.mask != 0x3) return VertexProgramError::BadMask;

        if (shape.rows > 0) {
            const SourceOperand& matrix = in.src[1];
            const SourceOperand& vector = in.src[0];
            if (matrix.negate || matrix.swizzle[0] != 0 || matrix.swizzle[1] != 1 || matrix.swizzle[2] != 2 ||
                matrix.swizzle[3] != 3)
                return VertexProgramError::MatrixSourceModified;
            if (d.mask >= (1u << shape.rows)) return VertexProgramError::BadMask;
            // Row k is written before row k + 1 is read: the destination may be neither the
            // vector nor a row of the matrix.
            if (d.file == DestFile::Temp && vector.file == SourceFile::Temp && vector.index == d.index)
                return VertexProgramError::MatrixOverlap;
            if (d.file == DestFile::Temp && matrix.file == SourceFile::Temp && d.index >= matrix.index &&
                d.index < matrix.index + shape.rows)
                return VertexProgramError::MatrixOverlap;
            for (int row = 0; row < shape.rows; ++row) {
                if (!(d.mask & (1u << row))) continue;
                Step step;
                step.op = shape.columns == 4 ? StepOp::Dp4 : StepOp::Dp3;
                step.dst = static_cast<std::uint8_t>(RegisterOf(d));
                step.mask = static_cast<std::uint8_t>(1u << row);
                step.sources = 2;
                step.src[0] = Lower(vector, 0, inputs);
                step.src[1] = Lower(matrix, row, inputs);
                steps.push_back(step);
            }
        } else {
            Step step;
            step.op = d.file == DestFile::Address ? StepOp::SetAddress : StepOf(in.op);
            step.dst = static_cast<std::uint8_t>(RegisterOf(d));
            step.mask = d.mask;
            step.sources = static_cast<std::uint8_t>(sources);
            for (int i = 0; i < sources; ++i) step.src[i] = Lower(in.src[i], 0, inputs);
            steps.push_back(step);
        }
        if (d.file != DestFile::Temp && d.file != DestFile::Address) written |= 1u << (RegisterOf(d) - kPosition);
    }

    // Temporary components that may be read before the program writes them: they read 0.
    std::uint64_t done = 0, readFirst = 0;
    for (const Step& step : steps) {
        for (int i = 0; i < step.sources; ++i) {
            const Source& s = step.src[i];
            if (s.kind != Source::Kind::Register || s.index >= kInput0) continue;
            for (std::uint8_t c : s.swizzle) {
                const std::uint64_t bit = std::uint64_t{1} << (4 * (s.index - kTemp0) + c);
                if (!(done & bit)) readFirst |= bit;
            }
        }
        if (step.op != StepOp::SetAddress && step.dst < kInput0)
            done |= std::uint64_t{step.mask} << (4 * (step.dst - kTemp0));
    }

    steps_ = std::move(steps);
    inputsRead_ = inputs;
    written_ = written;
    tempsReadFirst_ = readFirst;
    return VertexProgramError::None;
}

namespace {

// mov a0.x: the nearest integer, halves upward. Values far outside the constant file are
// held at +-1024, which still reads zeros; NaN reads zeros too.
constexpr int kAddressFar = 1024;

int ToAddress(float x) {
    if (x != x) return kAddressFar;
    float r = std::nearbyint(std::min(std::max(x, -static_cast<float>(kAddressFar)), static_cast<float>(kAddressFar)));
    if (x - r == 0.5f) r = r + 1.0f;
    return static_cast<int>(r);
}

// x - floor(x), +0 for -0 (whose floor some targets' emulated Floor gives as +0).
float Fraction(float x, float floor) { return (x - floor) + 0.0f; }

float Saturate(float v) {
    const float low = v > 0.0f ? v : 0.0f;
    return low < 1.0f ? low : 1.0f;
}

// One vertex's registers through one step.
void Execute(const Step& step, float (*reg)[4], int& address, const ProgramConstants& constants) {
    float s[3][4];
    for (int i = 0; i < step.sources; ++i) {
        const Source& src = step.src[i];
        const float* from = nullptr;
        static constexpr float kZero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        switch (src.kind) {
            case Source::Kind::Register: from = reg[src.index]; break;
            case Source::Kind::Constant: from = constants[src.index]; break;
            case Source::Kind::Relative: {
                const int index = address + src.index;
                from = index >= 0 && index < kProgramConstants ? constants[index] : kZero;
                break;
            }
        }
        for (int c = 0; c < 4; ++c) s[i][c] = src.negate ? -from[src.swizzle[c]] : from[src.swizzle[c]];
    }
    const float* a = s[0];
    const float* b = s[1];
    const float* m = s[2];
    float r[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    auto all = [&](float v) { r[0] = r[1] = r[2] = r[3] = v; };
    switch (step.op) {
        case StepOp::Mov: std::memcpy(r, a, sizeof r); break;
        case StepOp::Add: for (int c = 0; c < 4; ++c) r[c] = a[c] + b[c]; break;
        case StepOp::Sub: for (int c = 0; c < 4; ++c) r[c] = a[c] - b[c]; break;
        case StepOp::Mul: for (int c = 0; c < 4; ++c) r[c] = a[c] * b[c]; break;
        case StepOp::Mad: for (int c = 0; c < 4; ++c) r[c] = a[c] * b[c] + m[c]; break;
        case StepOp::Dp3: all(a[0] * b[0] + a[1] * b[1] + a[2] * b[2]); break;
        case StepOp::Dp4: all(a[0] * b[0] + a[1] * b[1] + a[2] * b[2] + a[3] * b[3]); break;
        case StepOp::Min: for (int c = 0; c < 4; ++c) r[c] = a[c] < b[c] ? a[c] : b[c]; break;
        case StepOp::Max: for (int c = 0; c < 4; ++c) r[c] = a[c] > b[c] ? a[c] : b[c]; break;
        case StepOp::Slt: for (int c = 0; c < 4; ++c) r[c] = a[c] < b[c] ? 1.0f : 0.0f; break;
        case StepOp::Sge: for (int c = 0; c < 4; ++c) r[c] = a[c] >= b[c] ? 1.0f : 0.0f; break;
        case StepOp::Frc: for (int c = 0; c < 4; ++c) r[c] = Fraction(a[c], std::floor(a[c])); break;
        case StepOp::Rcp: all(a[0] == 0.0f ? kInfinity : 1.0f / a[0]); break;
        case StepOp::Rsq: {
            const float x = std::fabs(a[0]);
            all(x == 0.0f ? kInfinity : 1.0f / std::sqrt(x));
            break;
        }
        case StepOp::Exp: all(Exp2(a[0])); break;
        case StepOp::Log: all(Log2(a[0])); break;
        case StepOp::Expp: {
            const float floor = std::floor(a[0]);
            r[0] = Exp2(floor);
            r[1] = Fraction(a[0], floor);
            r[2] = Partial(Exp2(a[0]));
            r[3] = 1.0f;
            break;
        }
        case StepOp::Logp: {
            const float x = std::fabs(a[0]);
            if (!(x >= kMinNormal)) {
                // 0 and denormals; NaN goes the general way.
                if (x == x) {
                    r[0] = r[2] = -kMaxFloat;
                    r[1] = r[3] = 1.0f;
                    break;
                }
            }
            const std::uint32_t bits = Bits(x);
            r[0] = static_cast<float>(static_cast<int>(bits >> 23) - 127);
            r[1] = FromBits((bits & 0x007FFFFFu) | 0x3F800000u);
            r[2] = Partial(Log2(x));
            r[3] = 1.0f;
            break;
        }
        case StepOp::Lit: {
            float power = a[3];
            if (power < -kLitMaxPower) power = -kLitMaxPower;
            else if (power > kLitMaxPower) power = kLitMaxPower;
            r[0] = r[3] = 1.0f;
            if (a[0] > 0.0f) {
                r[1] = a[0];
                if (a[1] > 0.0f) r[2] = Exp2(power * Log2(a[1]));
            }
            break;
        }
        case StepOp::Dst:
            r[0] = 1.0f;
            r[1] = a[1] * b[1];
            r[2] = a[2];
            r[3] = b[3];
            break;
        case StepOp::SetAddress: address = ToAddress(a[0]); return;
    }
    for (int c = 0; c < 4; ++c)
        if (step.mask & (1u << c)) reg[step.dst][c] = r[c];
}

}  // namespace

void VertexProgram::RunRef(const ProgramConstants& constants, const VertexProgramInput& in, std::size_t count,
                           const VertexProgramOutput& out) const {
    for (std::size_t i = 0; i < count; ++i) {
        float reg[kRegisters][4] = {};
        for (int v = 0; v < kProgramInputs; ++v) {
            if (!(inputsRead_ & (1u << v))) continue;
            if (in.offset[v] < 0) {
                reg[kInput0 + v][3] = 1.0f;
            } else {
                std::memcpy(reg[kInput0 + v], in.data + i * in.stride + in.offset[v], 4 * sizeof(float));
            }
        }
        int address = 0;
        for (const Step& step : steps_) Execute(step, reg, address, constants);

        float* o = out.data + i * out.stride;
        auto store = [&](int offset, int r, int components, bool saturate) {
            if (offset < 0) return;
            for (int c = 0; c < components; ++c) o[offset + c] = saturate ? Saturate(reg[r][c]) : reg[r][c];
        };
        store(out.position, kPosition, 4, false);
        for (int k = 0; k < kProgramColors; ++k) store(out.color[k], kColor0 + k, out.colorCount[k], true);
        for (int k = 0; k < kProgramTexcoords; ++k) store(out.texcoord[k], kTexcoord0 + k, out.texcoordCount[k], false);
        store(out.fog, kFog, 1, true);
        store(out.pointSize, kPointSize, 1, false);
    }
}

}  // namespace raster
