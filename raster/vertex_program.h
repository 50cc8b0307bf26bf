// vs.1.1 vertex programs as the rasterizer runs them: a typed program (instructions over
// typed register files, no token words), checked and lowered once by VertexProgram::Build,
// then run over a draw's vertices one vertex per vector lane (Run), or vertex by vertex by
// the plain interpreter every vector target is tested against (RunRef).
//
// The device decodes the application's tokens into VertexInstructions, fetches each
// vertex's input registers from its streams as four floats, and hands both here with the
// 96 constants; the outputs land where VertexProgramOutput says, which for the pipeline is
// straight into the clip vertices (position, then each attribute at its slot).
//
// Rules of the platform the interpreter keeps (the vector targets keep the same, bit for
// bit):
// - Scalar instructions (rcp rsq exp log expp logp) read the first component of the
//   swizzled source: the replicated component, or x when the source has no subscript.
// - mov a0.x rounds to the nearest integer, halves upward (floor(x + 0.5)); a constant
//   read c[a0.x + n] outside c0..c95 reads (0, 0, 0, 0), as does any read after a0.x was
//   set from a NaN. a0.x starts at 0.
// - rcp and rsq of +-0 give +infinity, of 1 exactly 1; rsq takes |x|. Both divide
//   exactly (correctly rounded IEEE division and square root).
// - exp, and lit's power, compute 2^x to about 2^-22 relative, the same arithmetic on every
//   target; log gives log2|x| to the same precision, -FLT_MAX for 0 (and for denormals,
//   which are read as 0).
// - expp (vs.1.1 form): (2^floor(w), w - floor(w), 2^w with the low 8 mantissa bits
//   cleared, 1). logp (vs.1.1 form): (exponent of |w|, its mantissa in [1, 2), log2|w| with
//   the low 8 mantissa bits cleared, 1); for 0: (-FLT_MAX, 1, -FLT_MAX, 1).
// - lit clamps the power to +-127.9961 (8.8 fixed point) and gives
//   (1, max(N.L, 0), N.L > 0 && N.H > 0 ? N.H^power : 0, 1).
// - min, max, slt and sge compare as a < b, a > b, a < b, a >= b: a NaN operand gives the
//   second operand for min and max, 0 for slt and sge.
// - oD0 and oD1 are saturated to 0..1 (NaN to 0) when stored, as is oFog; other outputs
//   are stored as computed. Outputs and temporaries start each vertex at (0, 0, 0, 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace raster {

constexpr int kProgramTemps = 12;      // r0..r11
constexpr int kProgramInputs = 16;     // v0..v15
constexpr int kProgramConstants = 96;  // c0..c95
constexpr int kProgramColors = 2;      // oD0, oD1
constexpr int kProgramTexcoords = 8;   // oT0..oT7
constexpr int kMaxProgramInstructions = 128;

enum class VertexOp : std::uint8_t {
    Nop, Mov, Add, Sub, Mad, Mul, Rcp, Rsq, Dp3, Dp4, Min, Max, Slt, Sge,
    Exp, Log, Lit, Dst, Expp, Logp, Frc, M4x4, M4x3, M3x4, M3x3, M3x2,
};

enum class SourceFile : std::uint8_t { Temp, Input, Constant };
enum class DestFile : std::uint8_t { Temp, Address, Position, Color, Texcoord, Fog, PointSize };

struct SourceOperand {
    SourceFile file = SourceFile::Temp;
    std::uint8_t index = 0;      // register number; with relative, the offset n of c[a0.x + n]
    bool relative = false;       // constants only
    bool negate = false;
    std::uint8_t swizzle[4] = {0, 1, 2, 3};  // component read for x, y, z, w (0..3)
};

struct DestOperand {
    DestFile file = DestFile::Temp;
    std::uint8_t index = 0;
    std::uint8_t mask = 0xF;  // bit c set: component c (x = 0) is written
};

struct VertexInstruction {
    VertexOp op = VertexOp::Nop;
    DestOperand dst;
    SourceOperand src[3];
};

// Why Build refused a program: the first fault found.
enum class VertexProgramError : std::uint8_t {
    None,
    TooLong,              // more than kMaxProgramInstructions instructions
    UnknownOp,            // an op outside VertexOp
    RegisterOutOfRange,   // a register number past its file, or a file outside the enum
    BadSwizzle,           // a swizzle component above 3
    RelativeNotConstant,  // a0.x addressing on a register that is not a constant
    BadDestination,       // a destination the op cannot write (a0 other than by mov, a matrix into a0, ...)
    BadMask,              // empty mask, or one the op or register does not allow
    MatrixSourceModified, // a matrix op's matrix operand swizzled or negated
    MatrixOverlap,        // a matrix op whose destination is its vector operand
};
const char* VertexProgramErrorText(VertexProgramError error);

// Where count vertices' input registers are: register v of vertex i is the four floats at
// data + i * stride + offset[v]. A register without an offset (-1) reads (0, 0, 0, 1).
struct VertexProgramInput {
    const float* data = nullptr;
    std::size_t stride = 0;  // floats
    int offset[kProgramInputs] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

// Where the outputs go: vertex i's go to data + i * stride + the output's offset, the
// first count components of the register (-1: not stored). For clip vertices: data the
// first vertex's pos, stride its size in floats, position 0, color[0] the diffuse slot
// (4 floats), color[1] the specular slot (3), fog the fog slot, texcoord[s] stage s's slot
// with texcoordCount[s] of them.
struct VertexProgramOutput {
    float* data = nullptr;
    std::size_t stride = 0;  // floats
    int position = -1;
    int color[kProgramColors] = {-1, -1};
    int colorCount[kProgramColors] = {4, 4};
    int texcoord[kProgramTexcoords] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int texcoordCount[kProgramTexcoords] = {4, 4, 4, 4, 4, 4, 4, 4};
    int fog = -1;
    int pointSize = -1;
};

using ProgramConstants = float[kProgramConstants][4];

class VertexProgram {
public:
    // Checks and lowers program (matrix ops become one dot product per written row);
    // on failure the program is left empty and runs nothing.
    VertexProgramError Build(std::span<const VertexInstruction> program);

    // The input registers the program reads (bit v) and the outputs it writes.
    std::uint32_t InputsRead() const { return inputsRead_; }
    bool WritesPosition() const { return Writes(kPosition); }
    bool WritesColor(int i) const { return Writes(kColor0 + i); }
    bool WritesTexcoord(int i) const { return Writes(kTexcoord0 + i); }
    bool WritesFog() const { return Writes(kFog); }
    bool WritesPointSize() const { return Writes(kPointSize); }

    // Runs count vertices from in to out, one per lane of the best vector target in
    // targets (a Highway target mask; -1 every one) that this processor has.
    void Run(const ProgramConstants& constants, const VertexProgramInput& in, std::size_t count,
             const VertexProgramOutput& out, std::int64_t targets = -1) const;
    // The plain interpreter, vertex by vertex.
    void RunRef(const ProgramConstants& constants, const VertexProgramInput& in, std::size_t count,
                const VertexProgramOutput& out) const;

    // The per-vertex register file: temporaries, inputs, then outputs, numbered in this order.
    static constexpr int kTemp0 = 0;
    static constexpr int kInput0 = kTemp0 + kProgramTemps;
    static constexpr int kPosition = kInput0 + kProgramInputs;
    static constexpr int kColor0 = kPosition + 1;
    static constexpr int kTexcoord0 = kColor0 + kProgramColors;
    static constexpr int kFog = kTexcoord0 + kProgramTexcoords;
    static constexpr int kPointSize = kFog + 1;
    static constexpr int kRegisters = kPointSize + 1;

    // One lowered instruction: matrix ops are gone, a0.x writes have their own op.
    enum class StepOp : std::uint8_t {
        Mov, Add, Sub, Mad, Mul, Rcp, Rsq, Dp3, Dp4, Min, Max, Slt, Sge,
        Exp, Log, Lit, Dst, Expp, Logp, Frc, SetAddress,
    };
    struct Source {
        enum class Kind : std::uint8_t { Register, Constant, Relative };
        Kind kind = Kind::Register;
        std::uint8_t index = 0;  // register file number, constant, or offset from a0.x
        bool negate = false;
        std::uint8_t swizzle[4] = {0, 1, 2, 3};
    };
    struct Step {
        StepOp op = StepOp::Mov;
        std::uint8_t dst = 0;   // register file number (unused by SetAddress)
        std::uint8_t mask = 0;  // components written
        std::uint8_t sources = 0;
        Source src[3];
    };
    std::span<const Step> Steps() const { return steps_; }
    // Components of temporaries that may be read before they are written (bit 4 r + c):
    // the vector run clears only these at each batch.
    std::uint64_t TempsReadFirst() const { return tempsReadFirst_; }

private:
    bool Writes(int reg) const { return (written_ & (1u << (reg - kPosition))) != 0; }

    std::vector<Step> steps_;
    std::uint32_t inputsRead_ = 0;
    std::uint32_t written_ = 0;  // bit: register file number - kPosition
    std::uint64_t tempsReadFirst_ = 0;
};

namespace detail {
// The vector targets compiled for vertex programs, and which one runs for a target mask.
std::int64_t CompiledVertexProgramTargets();
std::int64_t VertexProgramTarget(std::int64_t targets);
}  // namespace detail

}  // namespace raster
