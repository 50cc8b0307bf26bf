// The fixed-function texture stages as a pixel program, for the stage setups the integer
// stages do not draw: bump mapping (BUMPENVMAP and BUMPENVMAPLUMINANCE). The stage after
// a bump stage samples through texbem or texbeml of the program runners, so the stages'
// bump mapping and the programs' are one piece of arithmetic.
//
// Registers: r0 is CURRENT (the diffuse colour at first), r1 TEMP, r2 to r5 hold
// arguments that need a second modifier; t(s) is stage s's texel, v0 and v1 the diffuse and
// specular colours, c0 the texture factor and c1 zero. Every stage result is saturated, as
// the stages clamp theirs.
#include "raster/pipeline.h"

namespace raster::detail {

namespace {

using namespace ps;

class StageTranslator {
public:
    StageTranslator(const DrawSetup& d, PixelProgram& program) : d_(d), p_(program) {}

    bool Translate() {
        if (d_.stageCount > PixelProgram::kTextures) return false;
        // The lookups first: a stage after a bump stage moves its coordinates by the bump
        // stage's texel.
        for (int s = 0; s < d_.stageCount; ++s) {
            const bool bumped = s > 0 && IsBump(d_.stages[s - 1].colorOp);
            if (bumped)
                p_.Texture(d_.stages[s - 1].colorOp == StageOp::BumpEnvMapLuminance ? PixelOp::TexBemL : PixelOp::TexBem,
                           DT(s), T(s - 1));
            else if (d_.stages[s].readsTexture || IsBump(d_.stages[s].colorOp))
                p_.Texture(PixelOp::Tex, DT(s));
        }
        if (IsBump(d_.stages[d_.stageCount - 1].colorOp)) return false;  // no stage to move
        p_.Arith(PixelOp::Mov, DR(0), V(0));
        for (int s = 0; s < d_.stageCount; ++s) Stage(s);
        if (d_.specularAdd) p_.Arith(PixelOp::Add, DR(0).Mask(kMaskRgb).Sat(), R(0), V(1));
        return p_.Error() == ProgramError::None;
    }

private:
    static bool IsBump(StageOp op) { return op == StageOp::BumpEnvMap || op == StageOp::BumpEnvMapLuminance; }

    Source Plain(StageArg arg, int stage) const {
        Source s;
        switch (arg.source) {
            case ArgSource::Diffuse: s = V(0); break;
            case ArgSource::Current: s = R(0); break;
            case ArgSource::Texture: s = T(stage); break;
            case ArgSource::Factor: s = C(0); break;
            case ArgSource::Specular: s = V(1); break;
            case ArgSource::Temp: s = R(1); break;
            case ArgSource::Zero: s = C(1); break;
        }
        if (arg.alphaReplicate) s = s.Rep(Swizzle::A);
        if (arg.complement) s = s.Mod(SourceModifier::Invert);
        return s;
    }

    // An argument that takes one more modifier: copied to a scratch register first where it
    // already has one.
    Source Bare(StageArg arg, int stage, int& scratch) {
        const Source s = Plain(arg, stage);
        if (s.modifier == SourceModifier::None) return s;
        const int r = scratch++;
        p_.Arith(PixelOp::Mov, DR(r), s);
        return R(r);
    }

    // One operation of a stage into dst (mask: rgb or a).
    void Operate(StageOp op, const StageArg* args, int stage, Destination dst) {
        int scratch = 2;
        const Source a0 = Plain(args[0], stage), a1 = Plain(args[1], stage), a2 = Plain(args[2], stage);
        const Source textureAlpha = T(stage).Rep(Swizzle::A);
        switch (op) {
            case StageOp::SelectArg1:
            case StageOp::PreModulate: p_.Arith(PixelOp::Mov, dst, a1); return;
            case StageOp::SelectArg2: p_.Arith(PixelOp::Mov, dst, a2); return;
            case StageOp::Modulate: p_.Arith(PixelOp::Mul, dst, a1, a2); return;
            case StageOp::Modulate2x: p_.Arith(PixelOp::Mul, dst.Shift(1), a1, a2); return;
            case StageOp::Modulate4x: p_.Arith(PixelOp::Mul, dst.Shift(2), a1, a2); return;
            case StageOp::Add: p_.Arith(PixelOp::Add, dst, a1, a2); return;
            case StageOp::AddSigned:
                p_.Arith(PixelOp::Add, dst, a1, Bare(args[2], stage, scratch).Mod(SourceModifier::Bias));
                return;
            case StageOp::AddSigned2x:
                p_.Arith(PixelOp::Add, dst.Shift(1), a1, Bare(args[2], stage, scratch).Mod(SourceModifier::Bias));
                return;
            case StageOp::Subtract: p_.Arith(PixelOp::Sub, dst, a1, a2); return;
            case StageOp::AddSmooth:  // a1 + a2 (1 - a1)
                p_.Arith(PixelOp::Mad, dst, a2, Bare(args[1], stage, scratch).Mod(SourceModifier::Invert), a1);
                return;
            case StageOp::BlendDiffuseAlpha: p_.Arith(PixelOp::Lrp, dst, V(0).Rep(Swizzle::A), a1, a2); return;
            case StageOp::BlendTextureAlpha: p_.Arith(PixelOp::Lrp, dst, textureAlpha, a1, a2); return;
            case StageOp::BlendFactorAlpha: p_.Arith(PixelOp::Lrp, dst, C(0).Rep(Swizzle::A), a1, a2); return;
            case StageOp::BlendCurrentAlpha: p_.Arith(PixelOp::Lrp, dst, R(0).Rep(Swizzle::A), a1, a2); return;
            case StageOp::BlendTextureAlphaPm:  // a1 + a2 (1 - texture alpha)
                p_.Arith(PixelOp::Mad, dst, a2, textureAlpha.Mod(SourceModifier::Invert), a1);
                return;
            case StageOp::ModulateAlphaAddColor: p_.Arith(PixelOp::Mad, dst, a1.Rep(Swizzle::A), a2, a1); return;
            case StageOp::ModulateColorAddAlpha: p_.Arith(PixelOp::Mad, dst, a1, a2, a1.Rep(Swizzle::A)); return;
            case StageOp::ModulateInvAlphaAddColor: {
                const Source inverse = Bare(args[1], stage, scratch).Rep(Swizzle::A).Mod(SourceModifier::Invert);
                p_.Arith(PixelOp::Mad, dst, inverse, a2, a1);
                return;
            }
            case StageOp::ModulateInvColorAddAlpha: {
                const Source inverse = Bare(args[1], stage, scratch).Mod(SourceModifier::Invert);
                p_.Arith(PixelOp::Mad, dst, inverse, a2, a1.Rep(Swizzle::A));
                return;
            }
            case StageOp::MultiplyAdd: p_.Arith(PixelOp::Mad, dst, a1, a2, a0); return;
            case StageOp::Lerp: p_.Arith(PixelOp::Lrp, dst, a0, a1, a2); return;
            case StageOp::DotProduct3: {
                const Source b1 = Bare(args[1], stage, scratch).Mod(SourceModifier::SignedScale);
                const Source b2 = Bare(args[2], stage, scratch).Mod(SourceModifier::SignedScale);
                p_.Arith(PixelOp::Dp3, dst, b1, b2);
                return;
            }
            case StageOp::BumpEnvMap:
            case StageOp::BumpEnvMapLuminance:
            case StageOp::Disable: return;
        }
        Unreachable();
    }

    void Stage(int s) {
        const StageSetup& stage = d_.stages[s];
        const int out = stage.resultToTemp ? 1 : 0;
        // A bump stage's colour is CURRENT as it stands (its texel moves the next stage's
        // lookup); its alpha operation runs as any stage's.
        if (IsBump(stage.colorOp)) {
            if (out == 1) p_.Arith(PixelOp::Mov, DR(1).Mask(kMaskRgb), R(0));
        } else {
            // DOTPRODUCT3 writes its sum to alpha too, in place of the alpha operation.
            const bool dotAlpha = stage.colorOp == StageOp::DotProduct3 && stage.alphaOp != StageOp::Disable;
            Operate(stage.colorOp, stage.colorArg, s, DR(out).Mask(dotAlpha ? kMaskAll : kMaskRgb).Sat());
            if (dotAlpha) return;
        }
        if (stage.alphaOp == StageOp::Disable) {
            if (out == 1) p_.Arith(PixelOp::Mov, DR(1).Mask(kMaskA), R(0));
        } else if (stage.alphaOp == StageOp::DotProduct3) {
            p_.Arith(PixelOp::Mov, DR(out).Mask(kMaskA), R(out).Rep(Swizzle::R));
        } else {
            StageArg alphaArgs[3];
            for (int i = 0; i < 3; ++i) alphaArgs[i] = {stage.alphaArg[i].source, true, stage.alphaArg[i].complement};
            Operate(stage.alphaOp, alphaArgs, s, DR(out).Mask(kMaskA).Sat());
        }
    }

    const DrawSetup& d_;
    PixelProgram& p_;
};

}  // namespace

bool NeedsStageProgram(const DrawSetup& d) {
    for (int s = 0; s < d.stageCount; ++s)
        if (d.stages[s].colorOp == StageOp::BumpEnvMap || d.stages[s].colorOp == StageOp::BumpEnvMapLuminance)
            return true;
    return false;
}

bool StagesAsProgram(const DrawSetup& d, PixelProgram& program) {
    return d.stageCount > 0 && StageTranslator(d, program).Translate();
}

}  // namespace raster::detail
