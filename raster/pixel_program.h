// Pixel programs (ps.1.1 to ps.1.4) as the rasterizer runs them: a typed instruction list
// built once per program, and its execution over a group of pixels (one vector of lanes).
//
// Values are floats in every register (24 fractional bits, well above the 8 the platform
// asks for). Every register write is clamped to [-maxValue, +maxValue] (1 for ps.1.1 to
// ps.1.3, 8 for ps.1.4); a NaN written to a register becomes -maxValue, so no NaN ever
// reaches a later instruction. Constants (def and the draw's) are clamped to [-1, 1].
//
// The group's inputs and outputs are laid out lane by lane (one float array per channel):
// the pixel stage fills a ProgramGroup, calls the runner of its target and reads r0, the
// kill mask and the depth from a ProgramResult. The plain twin RunPixelProgramRef runs
// the same arithmetic in the same order lane by lane; exact float arithmetic (no fused
// multiply-adds) makes every target agree with it bit for bit.
#pragma once

#include <cstdint>
#include <vector>

namespace raster {

namespace detail {
struct SamplerSetup;
}  // namespace detail

enum class PixelVersion : std::uint8_t { Ps11, Ps12, Ps13, Ps14 };

enum class PixelOp : std::uint8_t {
    // Arithmetic.
    Nop, Mov, Add, Sub, Mul, Mad, Lrp, Dp3, Dp4, Cnd, Cmp, Bem,
    // Texture addressing (ps.1.1 to ps.1.3 unless marked).
    Tex, TexCoord, TexKill, TexBem, TexBemL, TexReg2Ar, TexReg2Gb, TexReg2Rgb,
    TexM3x2Pad, TexM3x2Tex, TexM3x2Depth, TexM3x3Pad, TexM3x3, TexM3x3Tex, TexM3x3Spec, TexM3x3VSpec,
    TexDp3, TexDp3Tex,
    TexDepth, TexLd, TexCrd,  // ps.1.4
    Phase,                    // ps.1.4: the end of the first phase
};

enum class RegisterFile : std::uint8_t { Temp, Texture, Constant, Color };

// What a source reads of its register: all four channels, one of them in all four
// (.r .g .b .a), or, for texld and texcrd, x, y and w (.xyw; .xyz is Rgba).
enum class Swizzle : std::uint8_t { Rgba, R, G, B, A, Xyw };

// Source modifiers, applied after the swizzle and before the negation:
// Bias x - 0.5, Invert 1 - x, SignedScale (_bx2) 2 (x - 0.5), Double (_x2, ps.1.4) 2 x;
// DivideZ and DivideW (_dz, _dw) divide x and y of a texld or texcrd coordinate.
enum class SourceModifier : std::uint8_t { None, Bias, Invert, SignedScale, Double, DivideZ, DivideW };

struct Source {
    RegisterFile file = RegisterFile::Temp;
    std::uint8_t index = 0;
    Swizzle swizzle = Swizzle::Rgba;
    SourceModifier modifier = SourceModifier::None;
    bool negate = false;

    constexpr Source Rep(Swizzle s) const { Source r = *this; r.swizzle = s; return r; }
    constexpr Source Mod(SourceModifier m) const { Source r = *this; r.modifier = m; return r; }
    constexpr Source Neg() const { Source r = *this; r.negate = !r.negate; return r; }
};
// Short names for building programs by hand: R(0) is r0, T(1) t1, C(2) c2, V(0) v0.
namespace ps {
constexpr Source R(int i) { return {RegisterFile::Temp, static_cast<std::uint8_t>(i)}; }
constexpr Source T(int i) { return {RegisterFile::Texture, static_cast<std::uint8_t>(i)}; }
constexpr Source C(int i) { return {RegisterFile::Constant, static_cast<std::uint8_t>(i)}; }
constexpr Source V(int i) { return {RegisterFile::Color, static_cast<std::uint8_t>(i)}; }
}  // namespace ps

// Write mask bits.
constexpr std::uint8_t kMaskR = 1, kMaskG = 2, kMaskB = 4, kMaskA = 8, kMaskRgb = 7, kMaskAll = 15;

struct Destination {
    RegisterFile file = RegisterFile::Temp;
    std::uint8_t index = 0;
    std::uint8_t mask = kMaskAll;
    std::int8_t shift = 0;  // result times 2^shift: _x2 _x4 _x8 are 1..3, _d2 _d4 _d8 -1..-3
    bool saturate = false;  // _sat: to [0, 1] after the shift

    constexpr Destination Mask(std::uint8_t m) const { Destination r = *this; r.mask = m; return r; }
    constexpr Destination Shift(int s) const { Destination r = *this; r.shift = static_cast<std::int8_t>(s); return r; }
    constexpr Destination Sat() const { Destination r = *this; r.saturate = true; return r; }
};
namespace ps {
constexpr Destination DR(int i) { return {RegisterFile::Temp, static_cast<std::uint8_t>(i)}; }
constexpr Destination DT(int i) { return {RegisterFile::Texture, static_cast<std::uint8_t>(i)}; }
}  // namespace ps

struct PixelInstruction {
    PixelOp op = PixelOp::Nop;
    Destination dst;
    Source src[3];
    // Issued together with the instruction before it (the "+" pair of a .rgb and an .a
    // half): both read their sources before either writes.
    bool coissue = false;
};

// Why a program was refused; the first fault is kept.
enum class ProgramError : std::uint8_t {
    None,
    OpNotInVersion,      // the instruction does not exist in the program's version
    RegisterOutOfRange,  // a register index beyond its file's range in this version
    BadRegisterFile,     // a register file the instruction cannot read or write
    BadCoissue,          // a co-issued instruction without an arithmetic one before it
    SecondPhase,         // more than one phase marker
};
const char* ProgramErrorText(ProgramError error);

// A ps.1.x program in the rasterizer's form. Build it with Define and Add (or Arith and
// Texture), then check Error(): a program with an error must not run.
class PixelProgram {
public:
    static constexpr int kTemps = 6, kTextures = 6, kConstants = 8, kColors = 2;

    // stageRegisters: six temporaries and six texture registers whatever the version (the
    // fixed-function stages translated into a program, stage_program.cpp).
    explicit PixelProgram(PixelVersion version, bool stageRegisters = false);

    PixelVersion Version() const { return version_; }
    // MaxPixelShaderValue: the range of every register (1 for ps.1.1 to ps.1.3, 8 for ps.1.4).
    float MaxValue() const { return maxValue_; }
    void SetMaxValue(float value) { maxValue_ = value; }

    // def c<index>, x, y, z, w: folded into the program; takes the place of the draw's constant.
    void Define(int index, float x, float y, float z, float w);
    void Add(const PixelInstruction& instruction);
    void Arith(PixelOp op, Destination dst, Source a = {}, Source b = {}, Source c = {}, bool coissue = false);
    void Texture(PixelOp op, Destination dst, Source a = {}, Source b = {});
    void Phase();

    ProgramError Error() const { return error_; }
    const std::vector<PixelInstruction>& Instructions() const { return instructions_; }
    std::uint8_t DefinedConstants() const { return defined_; }
    const float* Constant(int index) const { return constants_[index]; }
    bool WritesDepth() const { return writesDepth_; }
    // What a group must hold for the program (a bit per index): the texture coordinate sets
    // it reads, the stages it samples (their samplers and levels of detail), the colours.
    std::uint8_t ReadsCoordinates() const { return coordinates_; }
    std::uint8_t SampledStages() const { return sampled_; }
    std::uint8_t ReadsColors() const { return colors_; }

private:
    void NoteInputs(const PixelInstruction& texture);
    void Fail(ProgramError error) {
        if (error_ == ProgramError::None) error_ = error;
    }
    PixelVersion version_;
    float maxValue_;
    std::vector<PixelInstruction> instructions_;
    float constants_[kConstants][4] = {};
    std::uint8_t defined_ = 0;
    std::uint8_t coordinates_ = 0, sampled_ = 0, colors_ = 0;
    bool writesDepth_ = false;
    bool sawPhase_ = false;
    bool stageRegisters_ = false;
    ProgramError error_ = ProgramError::None;
};

// Lanes of the widest group any target shades (sixteen floats: AVX-512).
constexpr int kMaxProgramLanes = 16;

namespace detail {
// A group's lookups of one stage whose sampler takes vector lookups (vectorSampling): for
// each lane i of lanes (bit per lane, below kMaxProgramLanes), the texel at (u, v)[i] with
// the level of detail lod[i], as SampleTexture gives it (non-finite coordinates read as 0),
// into rgba[0..3][i] as ProgramStage::signedChannels reads its bytes; the other lanes of rgba
// are left as they are (GroupSamplerFor in pipeline.h).
using GroupSampler = void (*)(const SamplerSetup& sampler, std::uint32_t lanes, const float* u, const float* v,
                              const float* lod, std::uint8_t signedChannels, float (*rgba)[kMaxProgramLanes]);
}  // namespace detail

// What a draw gives every group: the constants set on the device, and per stage the
// bump-environment matrix, the luminance scale and offset, the sampler, and how to
// read texels. Null samplers read (1, 1, 1, 1).
struct ProgramStage {
    const detail::SamplerSetup* sampler = nullptr;
    float bumpMatrix[2][2] = {};  // BUMPENVMAT00, 01 / 10, 11
    float luminanceScale = 0.0f, luminanceOffset = 0.0f;
    // The channels (write mask bits: r, g, b, a) whose texel bytes hold a signed value plus
    // 128, as a signed format's copy holds them (V8U8: r and g; X8L8V8U8: r and g, the
    // luminance in b unsigned; Q8W8V8U8: all four). Such a byte c reads as (c - 128) / 127,
    // 0 as -1; the others as c / 255.
    std::uint8_t signedChannels = 0;
    // ps.1.1 to ps.1.3 tex with D3DTTFF_PROJECTED: the coordinate of this index (2 or 3)
    // divides u, v and w. -1: none. (ps.1.4 ignores the flag: _dz and _dw project.)
    int projectBy = -1;
};

struct ProgramDraw {
    float constants[PixelProgram::kConstants][4] = {};
    ProgramStage stages[PixelProgram::kTextures];
};

// One group of pixels, lane by lane. The coordinates are perspective-corrected (missing
// ones 0); lod is each stage's level of detail from its coordinates' screen derivatives,
// used by every lookup of that stage, dependent ones included.
struct ProgramGroup {
    std::uint32_t active = 0;  // lanes to shade (bit per lane); others are not sampled
    alignas(64) float color[PixelProgram::kColors][4][kMaxProgramLanes] = {};
    alignas(64) float texcoord[PixelProgram::kTextures][4][kMaxProgramLanes] = {};
    alignas(64) float lod[PixelProgram::kTextures][kMaxProgramLanes] = {};
};

struct ProgramResult {
    alignas(64) float color[4][kMaxProgramLanes];  // r0 (r, g, b, a), within [-maxValue, maxValue]
    alignas(64) float depth[kMaxProgramLanes];     // texdepth or texm3x2depth, in [0, 1]
    std::uint32_t killed = 0;                      // lanes texkill removed
};

// Texel lookups of the program: for each lane of lanes (bit per lane), stage's texel at
// (u, v, w)[lane] into rgba[0..3][lane] as r, g, b, a. Lanes outside lanes are left as they
// are. The runners ask for the group's active lanes only.
class ProgramSampler {
public:
    virtual void Sample(int stage, std::uint32_t lanes, const float* u, const float* v, const float* w,
                        float (*rgba)[kMaxProgramLanes]) const = 0;

protected:
    ~ProgramSampler() = default;
};

// The sampler of the pixel stage: each stage's SamplerSetup (2-D, cube or volume) at the
// group's level of detail for the stage, lane by lane through the sampler's functions, or
// with a group sampler all lanes of a 2-D stage that takes vector lookups at once (the same
// texels). Non-finite coordinates read as 0.
class SetupSampler final : public ProgramSampler {
public:
    SetupSampler(const ProgramDraw& draw, const ProgramGroup& group, detail::GroupSampler groupSampler = nullptr)
        : draw_(draw), group_(group), groupSampler_(groupSampler) {}
    void Sample(int stage, std::uint32_t lanes, const float* u, const float* v, const float* w,
                float (*rgba)[kMaxProgramLanes]) const override;

private:
    const ProgramDraw& draw_;
    const ProgramGroup& group_;
    detail::GroupSampler groupSampler_;
};

// Runs a program (with no error) over a group: the plain twin, and the vector runner of
// the best of targets (Highway target bits) that this processor runs. ProgramLanes is the
// group width of that runner (lanes past it are ignored).
using ProgramRunner = void (*)(const PixelProgram& program, const ProgramDraw& draw, const ProgramGroup& group,
                               const ProgramSampler& sampler, ProgramResult& result);
void RunPixelProgramRef(const PixelProgram& program, const ProgramDraw& draw, const ProgramGroup& group,
                        const ProgramSampler& sampler, ProgramResult& result);
ProgramRunner PixelProgramRunner(std::int64_t targets);
int ProgramLanes(std::int64_t targets);
// The targets compiled into the runners.
std::int64_t CompiledProgramTargets();

}  // namespace raster
