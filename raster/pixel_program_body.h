// The body of the pixel program runners, written once over a value type: the plain twin
// (pixel_program.cpp) instantiates it with one float per lane, the vector runner
// (pixel_program_simd.cpp) with a Highway vector of the group. Ops gives the operations:
//   V Set(float); V Load(const float* lanes); void Store(float* lanes, V);
//   V Add, Sub, Mul, Div(V, V); V Neg(V); M Gt, Ge, Lt(V, V); V Select(M, V yes, V no);
//   M Or(M, M); M None(); Sample(stage, u, v, w, V out[4]); void Kill(M); void Depth(V).
// Every step is one IEEE operation in a fixed order, so both give the same bits.
//
// Included once per vector target inside its namespace (no include guard, on purpose).

template <class Ops>
struct ProgramBody {
    using V = typename Ops::V;
    using M = typename Ops::M;
    struct V4 {
        V c[4];
    };

    const Ops& ops;
    const raster::PixelProgram& program;
    const raster::ProgramDraw& draw;
    const raster::ProgramGroup& group;
    bool ps14;
    V maxValue, minValue;
    // The temporaries and texture registers read 0 until written; live holds a bit per
    // register written (r0.. from bit 0, t0.. from bit 8), the others are left unset.
    V4 r[raster::PixelProgram::kTemps];
    V4 t[raster::PixelProgram::kTextures];
    V4 zeros;
    std::uint32_t live = 0;
    V4 v[raster::PixelProgram::kColors];
    V pad[2];  // u' and v' (or z) of a texm3x2 or texm3x3 sequence
    int pads = 0;

    ProgramBody(const Ops& o, const raster::PixelProgram& p, const raster::ProgramDraw& d,
                const raster::ProgramGroup& g)
        : ops(o),
          program(p),
          draw(d),
          group(g),
          ps14(p.Version() == raster::PixelVersion::Ps14),
          maxValue(o.Set(p.MaxValue())),
          minValue(o.Set(-p.MaxValue())) {
        const V zero = ops.Set(0.0f), one = ops.Set(1.0f);
        zeros = {{zero, zero, zero, zero}};
        for (int i = 0; i < raster::PixelProgram::kColors; ++i)
            for (int k = 0; k < 4; ++k) v[i].c[k] = Clamp(ops.Load(group.color[i][k]), zero, one);
        pad[0] = pad[1] = zero;
    }

    // Constant i, channel k: def's value or the draw's, held within [-1, 1]; NaN reads as
    // -1 like any clamped value.
    float ConstantAt(int i, int k) const {
        const float c = (program.DefinedConstants() >> i) & 1 ? program.Constant(i)[k] : draw.constants[i][k];
        return c > -1.0f ? (c < 1.0f ? c : 1.0f) : -1.0f;
    }

    const V4& Temp(int i) const { return (live >> i) & 1 ? r[i] : zeros; }
    const V4& TextureRegister(int i) const { return (live >> (8 + i)) & 1 ? t[i] : zeros; }

    // x within [lo, hi]; NaN goes to lo.
    V Clamp(V x, V lo, V hi) const { return ops.Select(ops.Gt(x, lo), ops.Select(ops.Lt(x, hi), x, hi), lo); }

    V Coordinate(int set, int k) const { return ops.Load(group.texcoord[set][k]); }

    V4 Raw(const raster::Source& s) const {
        using raster::RegisterFile;
        switch (s.file) {
            case RegisterFile::Temp: return Temp(s.index);
            case RegisterFile::Texture:
                if (ps14)
                    return {{Coordinate(s.index, 0), Coordinate(s.index, 1), Coordinate(s.index, 2),
                             Coordinate(s.index, 3)}};
                return TextureRegister(s.index);
            case RegisterFile::Constant: {
                const int i = s.index;
                return {{ops.Set(ConstantAt(i, 0)), ops.Set(ConstantAt(i, 1)), ops.Set(ConstantAt(i, 2)),
                         ops.Set(ConstantAt(i, 3))}};
            }
            case RegisterFile::Color: return v[s.index];
        }
        __builtin_unreachable();
    }

    // A source as an instruction reads it: swizzle, modifier, negation.
    V4 Read(const raster::Source& s) const {
        using raster::SourceModifier;
        using raster::Swizzle;
        V4 x = Raw(s);
        switch (s.swizzle) {
            case Swizzle::Rgba: break;
            case Swizzle::R: x = {{x.c[0], x.c[0], x.c[0], x.c[0]}}; break;
            case Swizzle::G: x = {{x.c[1], x.c[1], x.c[1], x.c[1]}}; break;
            case Swizzle::B: x = {{x.c[2], x.c[2], x.c[2], x.c[2]}}; break;
            case Swizzle::A: x = {{x.c[3], x.c[3], x.c[3], x.c[3]}}; break;
            case Swizzle::Xyw: x = {{x.c[0], x.c[1], x.c[3], x.c[3]}}; break;
        }
        const V half = ops.Set(0.5f), one = ops.Set(1.0f), two = ops.Set(2.0f);
        for (V& c : x.c) {
            switch (s.modifier) {
                case SourceModifier::None:
                case SourceModifier::DivideZ:
                case SourceModifier::DivideW: break;
                case SourceModifier::Bias: c = ops.Sub(c, half); break;
                case SourceModifier::Invert: c = ops.Sub(one, c); break;
                case SourceModifier::SignedScale: c = ops.Mul(ops.Sub(c, half), two); break;
                case SourceModifier::Double: c = ops.Mul(c, two); break;
            }
            if (s.negate) c = ops.Neg(c);
        }
        return x;
    }

    // A texld or texcrd coordinate: x, y, z (or w) of the source, x and y divided by the
    // third for _dz and _dw (.xyw with _dw divides by w).
    V4 CoordinateOf(const raster::Source& s) const {
        using raster::SourceModifier;
        raster::Source plain = s;
        plain.modifier = SourceModifier::None;
        V4 x = Read(plain);
        if (s.modifier == SourceModifier::DivideZ || s.modifier == SourceModifier::DivideW) {
            const V d = s.modifier == SourceModifier::DivideZ ? Raw(plain).c[2] : Raw(plain).c[3];
            x.c[0] = ops.Div(x.c[0], d);
            x.c[1] = ops.Div(x.c[1], d);
        }
        return x;
    }

    // The destination modifiers, then the register range.
    V4 Finish(const raster::Destination& d, V4 x) const {
        const V zero = ops.Set(0.0f), one = ops.Set(1.0f);
        for (V& c : x.c) {
            if (d.shift != 0)
                c = ops.Mul(c, ops.Set(d.shift > 0 ? static_cast<float>(1 << d.shift)
                                                   : 1.0f / static_cast<float>(1 << -d.shift)));
            if (d.saturate) c = Clamp(c, zero, one);
            c = Clamp(c, minValue, maxValue);
        }
        return x;
    }

    void Write(const raster::Destination& d, const V4& x) {
        const bool texture = d.file == raster::RegisterFile::Texture;
        const int bit = (texture ? 8 : 0) + d.index;
        V4& target = texture ? t[d.index] : r[d.index];
        if (!((live >> bit) & 1)) {
            target = zeros;
            live |= 1u << bit;
        }
        const V4 f = Finish(d, x);
        for (int k = 0; k < 4; ++k)
            if ((d.mask >> k) & 1) target.c[k] = f.c[k];
    }

    V Dot3(const V4& a, const V4& b) const {
        return ops.Add(ops.Add(ops.Mul(a.c[0], b.c[0]), ops.Mul(a.c[1], b.c[1])), ops.Mul(a.c[2], b.c[2]));
    }
    V Dot3Coordinates(int set, const V4& b) const {
        return Dot3({{Coordinate(set, 0), Coordinate(set, 1), Coordinate(set, 2), Coordinate(set, 3)}}, b);
    }
    static V4 Splat(V x) { return {{x, x, x, x}}; }

    V4 Sample(int stage, V u, V vv, V w) const {
        V4 out;
        ops.Sample(stage, u, vv, w, out.c);
        return out;
    }

    V4 Arithmetic(const raster::PixelInstruction& in) const {
        using raster::PixelOp;
        const V4 a = Read(in.src[0]);
        V4 x = a;
        switch (in.op) {
            case PixelOp::Mov: break;
            case PixelOp::Add: {
                const V4 b = Read(in.src[1]);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Add(a.c[k], b.c[k]);
                break;
            }
            case PixelOp::Sub: {
                const V4 b = Read(in.src[1]);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Sub(a.c[k], b.c[k]);
                break;
            }
            case PixelOp::Mul: {
                const V4 b = Read(in.src[1]);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Mul(a.c[k], b.c[k]);
                break;
            }
            case PixelOp::Mad: {
                const V4 b = Read(in.src[1]), c = Read(in.src[2]);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Add(ops.Mul(a.c[k], b.c[k]), c.c[k]);
                break;
            }
            case PixelOp::Lrp: {
                const V4 b = Read(in.src[1]), c = Read(in.src[2]);
                const V one = ops.Set(1.0f);
                for (int k = 0; k < 4; ++k)
                    x.c[k] = ops.Add(ops.Mul(a.c[k], b.c[k]), ops.Mul(ops.Sub(one, a.c[k]), c.c[k]));
                break;
            }
            case PixelOp::Dp3: x = Splat(Dot3(a, Read(in.src[1]))); break;
            case PixelOp::Dp4: {
                const V4 b = Read(in.src[1]);
                x = Splat(ops.Add(Dot3(a, b), ops.Mul(a.c[3], b.c[3])));
                break;
            }
            case PixelOp::Cnd: {
                // ps.1.4 compares each channel; before, r0.a decides for all of them.
                const V4 b = Read(in.src[1]), c = Read(in.src[2]);
                const V half = ops.Set(0.5f);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Select(ops.Gt(ps14 ? a.c[k] : a.c[3], half), b.c[k], c.c[k]);
                break;
            }
            case PixelOp::Cmp: {
                const V4 b = Read(in.src[1]), c = Read(in.src[2]);
                const V zero = ops.Set(0.0f);
                for (int k = 0; k < 4; ++k) x.c[k] = ops.Select(ops.Ge(a.c[k], zero), b.c[k], c.c[k]);
                break;
            }
            case PixelOp::Bem: {
                const V4 b = Read(in.src[1]);
                const float(*m)[2] = draw.stages[in.dst.index].bumpMatrix;
                x.c[0] = ops.Add(ops.Add(a.c[0], ops.Mul(ops.Set(m[0][0]), b.c[0])), ops.Mul(ops.Set(m[1][0]), b.c[1]));
                x.c[1] = ops.Add(ops.Add(a.c[1], ops.Mul(ops.Set(m[0][1]), b.c[0])), ops.Mul(ops.Set(m[1][1]), b.c[1]));
                break;
            }
            default: break;
        }
        return x;
    }

    // texbem and texbeml: t(m) sampled at its coordinates moved by the bump matrix times
    // (du, dv) = t(n).rg; texbeml scales the texel by t(n).b * scale + offset.
    void Bump(const raster::PixelInstruction& in, bool luminance) {
        const int m = in.dst.index;
        const raster::ProgramStage& stage = draw.stages[m];
        const V4 bump = Read(in.src[0]);
        const float(*b)[2] = stage.bumpMatrix;
        const V u = ops.Add(ops.Add(Coordinate(m, 0), ops.Mul(ops.Set(b[0][0]), bump.c[0])),
                            ops.Mul(ops.Set(b[1][0]), bump.c[1]));
        const V w = ops.Add(ops.Add(Coordinate(m, 1), ops.Mul(ops.Set(b[0][1]), bump.c[0])),
                            ops.Mul(ops.Set(b[1][1]), bump.c[1]));
        V4 x = Sample(m, u, w, Coordinate(m, 2));
        if (luminance) {
            const V l = ops.Add(ops.Mul(bump.c[2], ops.Set(stage.luminanceScale)), ops.Set(stage.luminanceOffset));
            for (V& c : x.c) c = ops.Mul(c, l);
        }
        Write(in.dst, x);
    }

    void Texture(const raster::PixelInstruction& in, V& depth, bool& wroteDepth, M& killed) {
        using raster::PixelOp;
        const V zero = ops.Set(0.0f), one = ops.Set(1.0f);
        const int m = in.dst.index;
        switch (in.op) {
            case PixelOp::Tex: {
                V c[3] = {Coordinate(m, 0), Coordinate(m, 1), Coordinate(m, 2)};
                const int by = draw.stages[m].projectBy;
                if (by >= 0)
                    for (V& x : c) x = ops.Div(x, Coordinate(m, by));
                Write(in.dst, Sample(m, c[0], c[1], c[2]));
                break;
            }
            case PixelOp::TexCoord:
                Write(in.dst, {{Clamp(Coordinate(m, 0), zero, one), Clamp(Coordinate(m, 1), zero, one),
                                Clamp(Coordinate(m, 2), zero, one), one}});
                break;
            case PixelOp::TexKill: {
                V4 c = in.dst.file == raster::RegisterFile::Temp
                           ? Temp(m)
                           : V4{{Coordinate(m, 0), Coordinate(m, 1), Coordinate(m, 2), zero}};
                killed =
                    ops.Or(killed, ops.Or(ops.Or(ops.Lt(c.c[0], zero), ops.Lt(c.c[1], zero)), ops.Lt(c.c[2], zero)));
                break;
            }
            case PixelOp::TexBem: Bump(in, false); break;
            case PixelOp::TexBemL: Bump(in, true); break;
            case PixelOp::TexReg2Ar: {
                const V4 s = Read(in.src[0]);
                Write(in.dst, Sample(m, s.c[3], s.c[0], zero));
                break;
            }
            case PixelOp::TexReg2Gb: {
                const V4 s = Read(in.src[0]);
                Write(in.dst, Sample(m, s.c[1], s.c[2], zero));
                break;
            }
            case PixelOp::TexReg2Rgb: {
                const V4 s = Read(in.src[0]);
                Write(in.dst, Sample(m, s.c[0], s.c[1], s.c[2]));
                break;
            }
            case PixelOp::TexM3x2Pad:
            case PixelOp::TexM3x3Pad:
                pad[pads & 1] = Dot3Coordinates(m, Read(in.src[0]));
                ++pads;
                break;
            case PixelOp::TexM3x2Tex:
                Write(in.dst, Sample(m, pad[0], Dot3Coordinates(m, Read(in.src[0])), zero));
                pads = 0;
                break;
            case PixelOp::TexM3x2Depth: {
                // z / w of the two rows; w = 0 gives 1. Kept within [0, 1].
                const V w = Dot3Coordinates(m, Read(in.src[0]));
                const M nonzero = ops.Or(ops.Gt(w, zero), ops.Lt(w, zero));
                depth = Clamp(ops.Select(nonzero, ops.Div(pad[0], w), one), zero, one);
                wroteDepth = true;
                Write(in.dst, Splat(depth));
                pads = 0;
                break;
            }
            case PixelOp::TexM3x3:
            case PixelOp::TexM3x3Tex:
            case PixelOp::TexM3x3Spec:
            case PixelOp::TexM3x3VSpec: {
                V n[3] = {pad[0], pad[1], Dot3Coordinates(m, Read(in.src[0]))};
                pads = 0;
                if (in.op == PixelOp::TexM3x3) {
                    Write(in.dst, {{n[0], n[1], n[2], one}});
                    break;
                }
                if (in.op != PixelOp::TexM3x3Tex) {
                    // The reflection of the eye vector E about the normal N:
                    // 2 [(N.E) / (N.N)] N - E.
                    V e[3];
                    if (in.op == PixelOp::TexM3x3Spec) {
                        const int c = in.src[1].index;
                        for (int k = 0; k < 3; ++k) e[k] = ops.Set(ConstantAt(c, k));
                    } else {
                        e[0] = Coordinate(m - 2, 3), e[1] = Coordinate(m - 1, 3), e[2] = Coordinate(m, 3);
                    }
                    const V4 nv{{n[0], n[1], n[2], zero}}, ev{{e[0], e[1], e[2], zero}};
                    const V k = ops.Mul(ops.Set(2.0f), ops.Div(Dot3(nv, ev), Dot3(nv, nv)));
                    for (int i = 0; i < 3; ++i) n[i] = ops.Sub(ops.Mul(k, n[i]), e[i]);
                }
                Write(in.dst, Sample(m, n[0], n[1], n[2]));
                break;
            }
            case PixelOp::TexDp3: Write(in.dst, Splat(Dot3Coordinates(m, Read(in.src[0])))); break;
            case PixelOp::TexDp3Tex: Write(in.dst, Sample(m, Dot3Coordinates(m, Read(in.src[0])), zero, zero)); break;
            case PixelOp::TexDepth: {
                // r5.r / r5.g; r5.g = 0 gives 1. Kept within [0, 1].
                const V4& s = Temp(m);
                const M nonzero = ops.Or(ops.Gt(s.c[1], zero), ops.Lt(s.c[1], zero));
                depth = Clamp(ops.Select(nonzero, ops.Div(s.c[0], s.c[1]), one), zero, one);
                wroteDepth = true;
                break;
            }
            case PixelOp::TexLd: {
                const V4 c = CoordinateOf(in.src[0]);
                Write(in.dst, Sample(m, c.c[0], c.c[1], c.c[2]));
                break;
            }
            case PixelOp::TexCrd: {
                // The fourth channel is left undefined by the platform: it reads 1 here.
                const V4 c = CoordinateOf(in.src[0]);
                Write(in.dst, {{c.c[0], c.c[1], c.c[2], one}});
                break;
            }
            default: break;
        }
    }

    static bool IsArithmetic(raster::PixelOp op) {
        using raster::PixelOp;
        switch (op) {
            case PixelOp::Nop:
            case PixelOp::Mov:
            case PixelOp::Add:
            case PixelOp::Sub:
            case PixelOp::Mul:
            case PixelOp::Mad:
            case PixelOp::Lrp:
            case PixelOp::Dp3:
            case PixelOp::Dp4:
            case PixelOp::Cnd:
            case PixelOp::Cmp:
            case PixelOp::Bem: return true;
            default: return false;
        }
    }

    // Runs the program; r0 (and depth) through out.
    void Run(V4& out, V& depth, bool& wroteDepth, M& killed) {
        const auto& list = program.Instructions();
        const std::size_t n = list.size();
        for (std::size_t i = 0; i < n; ++i) {
            const raster::PixelInstruction& in = list[i];
            if (in.op == raster::PixelOp::Nop) continue;
            if (in.op == raster::PixelOp::Phase) {
                // The alpha of the temporaries does not survive the phase marker: it reads 0.
                for (V4& x : r) x.c[3] = ops.Set(0.0f);
                continue;
            }
            if (!IsArithmetic(in.op)) {
                Texture(in, depth, wroteDepth, killed);
                continue;
            }
            const V4 x = Arithmetic(in);
            if (i + 1 < n && list[i + 1].coissue && IsArithmetic(list[i + 1].op)) {
                // A co-issued pair reads all its sources before either half writes.
                const V4 y = Arithmetic(list[i + 1]);
                Write(in.dst, x);
                Write(list[i + 1].dst, y);
                ++i;
            } else {
                Write(in.dst, x);
            }
        }
        out = Temp(0);
    }
};
