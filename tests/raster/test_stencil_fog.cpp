// Depth-stencil buffers of every layout and the stencil test, and pixel fog, on the plain
// path and on each vector target this processor runs.
#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include <hwy/targets.h>

#include "raster/pipeline.h"
#include "raster_fixture.h"

using namespace rastertest;

namespace {

// A colour target with a depth buffer of the given layout (its words in memory).
struct WordTarget {
    WordTarget(int w, int h, D3DFORMAT format)
        : color(w, h), words(static_cast<std::size_t>(w) * h), narrow(static_cast<std::size_t>(w) * h) {
        EXPECT_TRUE(d3d8::DepthStencilLayoutOf(format, layout)) << format;
    }
    raster::RenderTarget View() {
        raster::RenderTarget t = color.View(false);
        t.depthStencil = layout.wordBytes == 2 ? static_cast<void*>(narrow.data()) : static_cast<void*>(words.data());
        t.depthLayout = layout;
        t.depthPitch = color.width;
        return t;
    }
    // The word at (x, y), after a flush.
    std::uint32_t Word(int x, int y) const {
        const std::size_t i = static_cast<std::size_t>(y) * color.width + x;
        return layout.wordBytes == 2 ? narrow[i] : words[i];
    }
    std::uint32_t Stencil(int x, int y) const { return Word(x, y) & ((1u << layout.stencilBits) - 1); }
    int Count(std::uint32_t colour) const {
        int n = 0;
        for (std::uint32_t c : color.color) n += (c & 0xFFFFFFu) == (colour & 0xFFFFFFu);
        return n;
    }
    Target color;
    raster::DepthStencilLayout layout;
    std::vector<std::uint32_t> words;   // 32-bit layouts
    std::vector<std::uint16_t> narrow;  // 16-bit layouts
};

// The rasterizer of a test: the plain path (target 0) or the vector body on one target.
struct Painter {
    Painter(std::int64_t target, WordTarget& where) : out(where), view(where.View()), state(BasicState(where.color.width, where.color.height, kScreenFvf)) {
        raster::RasterOptions options;
        options.threads = 2;
        options.referenceShading = target == 0;
        if (target != 0) options.vectorTargets = target;
        r = std::make_unique<Rasterizer>(options);
        state.renderState[D3DRS_STENCILENABLE] = TRUE;
    }
    void Clear(DWORD flags, float z, DWORD stencil) {
        r->Clear(view, state.viewport, 0, nullptr, flags, 0xFF000000u, z, stencil);
        r->Flush();
    }
    // A rectangle x0 .. x1 - 1, y0 .. y1 - 1 at depth z.
    void Rect(float x0, float y0, float x1, float y1, std::uint32_t colour, float z = 0.5f, float rhw = 1.0f) {
        const std::vector<ScreenVertex> v = {{x0 - 0.5f, y0 - 0.5f, z, rhw, colour, 0, 0}, {x1 - 0.5f, y0 - 0.5f, z, rhw, colour, 0, 0},
                                             {x0 - 0.5f, y1 - 0.5f, z, rhw, colour, 0, 0}, {x1 - 0.5f, y1 - 0.5f, z, rhw, colour, 0, 0}};
        r->Draw(state, view, D3DPT_TRIANGLESTRIP, Input(v), 0, 2);
        r->Flush();
    }
    WordTarget& out;
    raster::RenderTarget view;
    D3DState state;
    std::unique_ptr<Rasterizer> r;
};

// 0 for the plain path, then every vector target compiled in.
std::vector<std::int64_t> Paths() {
    std::vector<std::int64_t> paths = {0};
    for (std::int64_t left = raster::detail::CompiledShadingTargets() & ~HWY_SCALAR; left != 0; left &= left - 1)
        paths.push_back(left & -left);
    return paths;
}

class StencilFog : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        if (GetParam() != 0 && (hwy::SupportedTargets() & GetParam()) == 0)
            GTEST_SKIP() << hwy::TargetName(GetParam()) << ": this processor lacks it";
    }
};

std::string PathName(const testing::TestParamInfo<std::int64_t>& info) {
    return info.param == 0 ? "Plain" : hwy::TargetName(info.param);
}

constexpr std::uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;

// A mask drawn into the stencil only, then used, inverted and used again: exact counts.
TEST_P(StencilFog, MaskDrawnCountedAndInverted) {
    WordTarget t(40, 33, D3DFMT_D24S8);  // rows and columns beyond a whole vector
    Painter p(GetParam(), t);
    p.Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 1.0f, 0);
    auto& rs = p.state.renderState;
    rs[D3DRS_COLORWRITEENABLE] = 0;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_REPLACE;
    rs[D3DRS_STENCILREF] = 1;
    rs[D3DRS_ZWRITEENABLE] = FALSE;
    p.Rect(3, 5, 20, 13, kRed);  // 17 x 8
    int marked = 0;
    for (int y = 0; y < 33; ++y)
        for (int x = 0; x < 40; ++x) marked += t.Stencil(x, y) == 1;
    EXPECT_EQ(marked, 136);
    EXPECT_EQ(t.Count(kRed), 0);  // colour writes were off
    EXPECT_EQ(t.Word(3, 5) >> 8, 0xFFFFFFu);  // the depth stayed

    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_STENCILFUNC] = D3DCMP_EQUAL;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    p.Rect(0, 0, 40, 33, kRed);
    EXPECT_EQ(t.Count(kRed), 136);

    // Invert the lowest bit everywhere, then draw where it is not 1.
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_INVERT;
    rs[D3DRS_STENCILWRITEMASK] = 1;
    rs[D3DRS_COLORWRITEENABLE] = 0;
    p.Rect(0, 0, 40, 33, kRed);
    EXPECT_EQ(t.Stencil(0, 0), 1u);
    EXPECT_EQ(t.Stencil(3, 5), 0u);
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_STENCILFUNC] = D3DCMP_NOTEQUAL;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    p.Rect(0, 0, 40, 33, kGreen);
    EXPECT_EQ(t.Count(kGreen), 136);
    EXPECT_EQ(t.Count(kRed), 0);
}

// Each operation on values at the ends of the range: the FAIL operation where the
// stencil test fails, ZFAIL where the depth test fails, PASS where both pass.
TEST_P(StencilFog, OperationsSaturateAndWrap) {
    struct Case {
        D3DFORMAT format;
        DWORD op;
        DWORD before, after;
    };
    const Case cases[] = {
        {D3DFMT_D24S8, D3DSTENCILOP_KEEP, 0x37, 0x37},     {D3DFMT_D24S8, D3DSTENCILOP_ZERO, 0x37, 0},
        {D3DFMT_D24S8, D3DSTENCILOP_REPLACE, 0x37, 0x5A},  {D3DFMT_D24S8, D3DSTENCILOP_INCRSAT, 0xFE, 0xFF},
        {D3DFMT_D24S8, D3DSTENCILOP_INCRSAT, 0xFF, 0xFF},  {D3DFMT_D24S8, D3DSTENCILOP_DECRSAT, 1, 0},
        {D3DFMT_D24S8, D3DSTENCILOP_DECRSAT, 0, 0},        {D3DFMT_D24S8, D3DSTENCILOP_INVERT, 0x0F, 0xF0},
        {D3DFMT_D24S8, D3DSTENCILOP_INCR, 0xFF, 0},        {D3DFMT_D24S8, D3DSTENCILOP_INCR, 0x10, 0x11},
        {D3DFMT_D24S8, D3DSTENCILOP_DECR, 0, 0xFF},        {D3DFMT_D24X4S4, D3DSTENCILOP_INCRSAT, 0xF, 0xF},
        {D3DFMT_D24X4S4, D3DSTENCILOP_INCR, 0xF, 0},       {D3DFMT_D24X4S4, D3DSTENCILOP_DECR, 0, 0xF},
        {D3DFMT_D24X4S4, D3DSTENCILOP_INVERT, 0x5, 0xA},   {D3DFMT_D24X4S4, D3DSTENCILOP_REPLACE, 0, 0xA},
        {D3DFMT_D15S1, D3DSTENCILOP_INCRSAT, 1, 1},        {D3DFMT_D15S1, D3DSTENCILOP_INCR, 1, 0},
        {D3DFMT_D15S1, D3DSTENCILOP_DECR, 0, 1},           {D3DFMT_D15S1, D3DSTENCILOP_INVERT, 1, 0},
    };
    for (const Case& c : cases)
        for (int where = 0; where < 3; ++where) {  // 0 stencil fails, 1 depth fails, 2 both pass
            SCOPED_TRACE(testing::Message() << "format " << c.format << ", op " << c.op << ", from " << c.before
                                            << ", test " << where);
            WordTarget t(20, 4, c.format);
            Painter p(GetParam(), t);
            p.Clear(D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, where == 1 ? 0.25f : 1.0f, c.before);
            auto& rs = p.state.renderState;
            rs[D3DRS_STENCILFUNC] = where == 0 ? D3DCMP_NEVER : D3DCMP_ALWAYS;
            rs[D3DRS_STENCILREF] = 0x5A;  // 0xA in four bits, 0 in one
            rs[D3DRS_STENCILFAIL] = where == 0 ? c.op : D3DSTENCILOP_INVERT;
            rs[D3DRS_STENCILZFAIL] = where == 1 ? c.op : D3DSTENCILOP_INVERT;
            rs[D3DRS_STENCILPASS] = where == 2 ? c.op : D3DSTENCILOP_INVERT;
            p.Rect(2, 1, 19, 3, kRed);
            EXPECT_EQ(t.Stencil(2, 1), c.after);
            EXPECT_EQ(t.Stencil(18, 2), c.after);
            EXPECT_EQ(t.Stencil(1, 1), c.before);  // outside the rectangle
            EXPECT_EQ(t.Count(kRed), where == 2 ? 34 : 0);
        }
}

// The read mask applies to both sides of the compare, the write mask to the result; an
// alpha test that fails leaves the stencil alone, one that passes lets ZFAIL write.
TEST_P(StencilFog, MasksAndTheAlphaTest) {
    WordTarget t(20, 2, D3DFMT_D24S8);
    Painter p(GetParam(), t);
    auto& rs = p.state.renderState;
    p.Clear(D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 1.0f, 0xCF);
    rs[D3DRS_STENCILFUNC] = D3DCMP_EQUAL;
    rs[D3DRS_STENCILREF] = 0x0F;
    rs[D3DRS_STENCILMASK] = 0x0F;
    rs[D3DRS_STENCILPASS] = D3DSTENCILOP_INCR;
    rs[D3DRS_STENCILWRITEMASK] = 0xF0;
    p.Rect(0, 0, 20, 1, kRed);
    EXPECT_EQ(t.Stencil(5, 0), 0xDFu);  // the high bits of 0xD0 over the low ones of 0xCF
    EXPECT_EQ(t.Count(kRed), 20);

    rs[D3DRS_STENCILMASK] = 0xFF;
    rs[D3DRS_STENCILWRITEMASK] = 0xFF;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_REPLACE;
    rs[D3DRS_STENCILREF] = 0x42;
    rs[D3DRS_ZFUNC] = D3DCMP_NEVER;
    rs[D3DRS_ALPHATESTENABLE] = TRUE;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
    rs[D3DRS_ALPHAREF] = 0x80;
    p.state.stageState[0][D3DTSS_ALPHAARG1] = D3DTA_DIFFUSE;
    p.Rect(0, 1, 10, 2, 0x40FFFFFFu);   // alpha fails: no stencil write
    p.Rect(10, 1, 20, 2, 0xC0FFFFFFu);  // alpha passes, depth fails: ZFAIL writes
    EXPECT_EQ(t.Stencil(4, 1), 0xCFu);
    EXPECT_EQ(t.Stencil(14, 1), 0x42u);
    EXPECT_EQ(t.Count(0xFFFFFFu), 0);
}

// Clears: stencil alone, depth alone, both, within a rectangle; each layout's depth
// precision and stencil bits.
TEST(RasterStencil, ClearsAndFormatPrecision) {
    struct Case {
        D3DFORMAT format;
        std::uint32_t depthHalf;  // z = 0.5 in the format's bits, in place
        std::uint32_t stencilMax;
    };
    const Case cases[] = {{D3DFMT_D24S8, 0x800000u << 8, 0xFF},
                          {D3DFMT_D24X8, 0x800000u << 8, 0},
                          {D3DFMT_D24X4S4, 0x800000u << 8, 0xF},
                          {D3DFMT_D15S1, 0x4000u << 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        WordTarget t(24, 6, c.format);
        Rasterizer r(1);
        D3DState s = BasicState(24, 6, kScreenFvf);
        raster::RenderTarget view = t.View();
        r.Clear(view, s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 0.5f, 0x1FF);
        r.Flush();
        EXPECT_EQ(t.Word(0, 0), c.depthHalf | c.stencilMax);
        const D3DRECT rect{4, 2, 9, 5};
        r.Clear(view, s.viewport, 1, &rect, D3DCLEAR_STENCIL, 0, 0.0f, 0x2);
        r.Flush();
        EXPECT_EQ(t.Word(4, 2), c.depthHalf | (0x2 & c.stencilMax));
        EXPECT_EQ(t.Word(9, 2), c.depthHalf | c.stencilMax);
        r.Clear(view, s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        r.Flush();
        const std::uint32_t depthOne = c.format == D3DFMT_D15S1 ? 0xFFFEu : 0xFFFFFF00u;
        EXPECT_EQ(t.Word(8, 4), depthOne | (0x2 & c.stencilMax));
        EXPECT_EQ(t.Word(0, 0), depthOne | c.stencilMax);
    }
    // The same memory taken as another layout (a freed depth buffer whose address the next
    // one reuses): the rasterizer must clear with the new layout's words, not the old.
    {
        WordTarget wide(24, 6, D3DFMT_D24S8), narrow(24, 6, D3DFMT_D15S1);
        raster::RenderTarget view = narrow.View();
        std::vector<std::uint32_t> memory(24 * 6 + 24 * 3, 0x12345678u);  // a D15S1 buffer fits in half
        view.depthStencil = memory.data();
        raster::RenderTarget before = view;
        before.depthLayout = wide.layout;
        Rasterizer r(1);
        D3DState s = BasicState(24, 6, kScreenFvf);
        r.Clear(before, s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
        r.Flush();
        std::fill(memory.begin(), memory.end(), 0x12345678u);
        r.Clear(view, s.viewport, 0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 1);
        r.Flush();
        const auto* halves = reinterpret_cast<const std::uint16_t*>(memory.data());
        EXPECT_EQ(halves[0], 0xFFFFu);
        EXPECT_EQ(halves[24 * 6 - 1], 0xFFFFu);
        EXPECT_EQ(memory[24 * 6 / 2], 0x12345678u) << "cleared past the end of the narrower buffer";
    }
    // Depth compares at the format's precision: a quarter of a D15 step nearer, in the
    // middle of a D15 step, is 128 D24 steps nearer but the same D15 value.
    const float middle = 16384.0f / 32767.0f, nearer = middle - 1.0f / 131072.0f;
    for (D3DFORMAT format : {D3DFMT_D24X8, D3DFMT_D15S1}) {
        WordTarget t(8, 1, format);
        Painter p(-1, t);
        p.state.renderState[D3DRS_STENCILENABLE] = FALSE;
        p.state.renderState[D3DRS_ZFUNC] = D3DCMP_LESS;
        p.Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 1.0f, 0);
        p.Rect(0, 0, 8, 1, kRed, middle);
        p.Rect(0, 0, 8, 1, kGreen, nearer);
        EXPECT_EQ(t.Count(kGreen), format == D3DFMT_D24X8 ? 8 : 0) << format;
    }
}

// Pixel fog against its formula at chosen distances: w under a perspective projection,
// z under an affine one; table fog decides even with a vertex fog mode set.
TEST_P(StencilFog, PixelFogFollowsTheFormula) {
    struct Case {
        DWORD mode;
        bool perspective;
        float start, end, density;
        float distances[4];
    };
    const Case cases[] = {
        {D3DFOG_LINEAR, true, 4.0f, 40.0f, 0.0f, {2.0f, 10.0f, 25.0f, 39.0f}},
        {D3DFOG_EXP, true, 0.0f, 0.0f, 0.05f, {1.0f, 10.0f, 30.0f, 90.0f}},
        {D3DFOG_EXP2, true, 0.0f, 0.0f, 0.04f, {1.0f, 10.0f, 20.0f, 40.0f}},
        {D3DFOG_LINEAR, false, 0.2f, 0.9f, 0.0f, {0.1f, 0.3f, 0.6f, 0.85f}},
        {D3DFOG_EXP2, false, 0.0f, 0.0f, 1.7f, {0.05f, 0.3f, 0.6f, 0.95f}},
    };
    for (const Case& c : cases) {
        WordTarget t(64, 4, D3DFMT_D24X8);
        Painter p(GetParam(), t);
        auto& rs = p.state.renderState;
        rs[D3DRS_ZENABLE] = FALSE;
        rs[D3DRS_FOGENABLE] = TRUE;
        rs[D3DRS_FOGTABLEMODE] = c.mode;
        rs[D3DRS_FOGVERTEXMODE] = D3DFOG_LINEAR;  // would fog everything fully: no specular alpha
        rs[D3DRS_FOGSTART] = FloatBits(c.start);
        rs[D3DRS_FOGEND] = FloatBits(c.end);
        rs[D3DRS_FOGDENSITY] = FloatBits(c.density);
        rs[D3DRS_FOGCOLOR] = 0xFF000000u;
        if (c.perspective) p.state.projection = Perspective(1.0f, 1.0f, 1.0f, 100.0f);
        for (int i = 0; i < 4; ++i) {
            const float d = c.distances[i];
            if (c.perspective) p.Rect(16.0f * i, 0, 16.0f * i + 16, 4, 0xFFFFFFFFu, 0.5f, 1.0f / d);
            else p.Rect(16.0f * i, 0, 16.0f * i + 16, 4, 0xFFFFFFFFu, d);
        }
        for (int i = 0; i < 4; ++i) {
            const double d = c.distances[i];
            double f = c.mode == D3DFOG_LINEAR ? (c.end - d) / (c.end - c.start)
                       : c.mode == D3DFOG_EXP  ? std::exp(-d * c.density)
                                               : std::exp(-(d * c.density) * (d * c.density));
            f = std::clamp(f, 0.0, 1.0);
            const int got = static_cast<int>(t.color.At(16 * i + 7, 2) & 0xFF);
            EXPECT_NEAR(got, 255.0 * f, 1.0) << "mode " << c.mode << (c.perspective ? " in w" : " in z") << " at " << d;
            EXPECT_EQ(t.color.At(16 * i + 7, 2) & 0xFFFFFFu, static_cast<std::uint32_t>(got) * 0x010101u);
        }
    }
}

// Table fog from the depth as interpolated, beyond 0..1 too; a step at the start where
// start and end coincide; screen-space vertices with an RHW of 0 drawn, fogged by their z.
TEST_P(StencilFog, TableFogDepthUnclampedStepAndZeroRhw) {
    struct Case {
        float start, end, z, rhw;
        std::uint32_t grey;  // 255 * factor, the fog colour black
    };
    const Case cases[] = {
        {-1.0f, 3.0f, 2.0f, 1.0f, 0x40},     // (3 - 2) / 4
        {-1.0f, 3.0f, -0.5f, 1.0f, 0xDF},    // (3 + 0.5) / 4
        {0.5f, 0.5f, 0.25f, 1.0f, 0xFF},     // before the step
        {0.5f, 0.5f, 0.5f, 1.0f, 0x00},      // at it
        {0.5f, 0.5f, 0.75f, 1.0f, 0x00},
        {0.0f, 1.0f, 0.25f, 0.0f, 0xBF},     // RHW 0: 0.75
    };
    for (const Case& c : cases) {
        WordTarget t(16, 4, D3DFMT_D24X8);
        Painter p(GetParam(), t);
        auto& rs = p.state.renderState;
        rs[D3DRS_ZENABLE] = FALSE;
        rs[D3DRS_FOGENABLE] = TRUE;
        rs[D3DRS_FOGTABLEMODE] = D3DFOG_LINEAR;
        rs[D3DRS_FOGSTART] = FloatBits(c.start);
        rs[D3DRS_FOGEND] = FloatBits(c.end);
        rs[D3DRS_FOGCOLOR] = 0xFF000000u;
        p.Rect(0, 0, 16, 4, 0xFFFFFFFFu, c.z, c.rhw);
        EXPECT_EQ(t.color.At(7, 2) & 0xFFFFFFu, c.grey * 0x010101u)
            << "start " << c.start << " end " << c.end << " z " << c.z << " rhw " << c.rhw;
    }
}

// A busy scene of overlapping triangles with the stencil test, its three operations, an
// alpha test and pixel fog on each layout: depth and stencil words the same on every path,
// colours the same on every vector target and within a step of the plain path.
TEST_P(StencilFog, BusySceneAgreesWithThePlainPath) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> x(-10.0f, 80.0f), unit(0.0f, 1.0f);
    std::vector<ScreenVertex> v;
    for (int i = 0; i < 3 * 120; ++i)
        v.push_back({x(random), x(random) * 0.6f, unit(random), 0.02f + unit(random), static_cast<std::uint32_t>(random()), 0, 0});
    auto draw = [&](std::int64_t path, WordTarget& t) {
        Painter p(path, t);
        auto& rs = p.state.renderState;
        p.Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 1.0f, 3);
        rs[D3DRS_STENCILFUNC] = D3DCMP_LESSEQUAL;
        rs[D3DRS_STENCILREF] = 2;
        rs[D3DRS_STENCILMASK] = 0x7;
        rs[D3DRS_STENCILPASS] = D3DSTENCILOP_INCR;
        rs[D3DRS_STENCILZFAIL] = D3DSTENCILOP_DECRSAT;
        rs[D3DRS_STENCILFAIL] = D3DSTENCILOP_INVERT;
        rs[D3DRS_STENCILWRITEMASK] = 0xFD;
        rs[D3DRS_FOGENABLE] = TRUE;
        rs[D3DRS_FOGTABLEMODE] = D3DFOG_EXP;
        rs[D3DRS_FOGDENSITY] = FloatBits(0.3f);
        rs[D3DRS_FOGCOLOR] = 0xFF8040C0u;
        p.state.projection = Perspective(1.0f, 1.0f, 1.0f, 100.0f);
        p.r->Draw(p.state, p.view, D3DPT_TRIANGLELIST, Input(v), 0, 60);
        rs[D3DRS_ALPHATESTENABLE] = TRUE;
        rs[D3DRS_ALPHAREF] = 0x60;
        rs[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
        p.state.stageState[0][D3DTSS_ALPHAARG1] = D3DTA_DIFFUSE;
        p.r->Draw(p.state, p.view, D3DPT_TRIANGLELIST, Input(v), 180, 60);
        p.r->Flush();
    };
    for (D3DFORMAT format : {D3DFMT_D24S8, D3DFMT_D15S1, D3DFMT_D24X4S4}) {
        SCOPED_TRACE(format);
        WordTarget ours(70, 45, format), plain(70, 45, format);
        draw(GetParam(), ours);
        draw(0, plain);
        EXPECT_EQ(ours.words, plain.words);
        EXPECT_EQ(ours.narrow, plain.narrow);
        int far = 0;
        for (std::size_t i = 0; i < ours.color.color.size(); ++i)
            for (int shift = 0; shift < 32; shift += 8)
                far += std::abs(static_cast<int>((ours.color.color[i] >> shift) & 0xFF) -
                                static_cast<int>((plain.color.color[i] >> shift) & 0xFF)) > 1;
        EXPECT_EQ(far, 0);
        if (GetParam() == 0) continue;
        for (std::int64_t other : Paths()) {
            if (other == 0 || other == GetParam() || (hwy::SupportedTargets() & other) == 0) continue;
            SCOPED_TRACE(hwy::TargetName(other));
            WordTarget theirs(70, 45, format);
            draw(other, theirs);
            EXPECT_EQ(ours.color.color, theirs.color.color);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, StencilFog, testing::ValuesIn(Paths()), PathName);

// An outline: an object drawn into the stencil, then a larger copy drawn where the
// stencil does not hold the object's mark.
TEST(RasterGolden, StencilOutline) {
    WordTarget t(64, 64, D3DFMT_D24S8);
    Rasterizer r(2);
    D3DState s = BasicState(64, 64, kScreenFvf);
    const raster::RenderTarget view = t.View();
    r.Clear(view, s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF202040u, 1.0f, 0);
    auto star = [](float scale, std::uint32_t inner, std::uint32_t outer) {
        std::vector<ScreenVertex> v = {{32, 32, 0.5f, 1, inner, 0, 0}};
        for (int i = 0; i <= 10; ++i) {
            const float a = static_cast<float>(i) * 3.14159265f / 5.0f - 1.5707963f;
            const float radius = (i % 2 == 0 ? 24.0f : 10.0f) * scale;
            v.push_back({32 + radius * std::cos(a), 32 + radius * std::sin(a), 0.5f, 1, outer, 0, 0});
        }
        return v;
    };
    s.renderState[D3DRS_STENCILENABLE] = TRUE;
    s.renderState[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    s.renderState[D3DRS_STENCILPASS] = D3DSTENCILOP_REPLACE;
    s.renderState[D3DRS_STENCILREF] = 1;
    const std::vector<ScreenVertex> object = star(1.0f, 0xFFFFFFFFu, 0xFF3070F0u);
    r.Draw(s, view, D3DPT_TRIANGLEFAN, Input(object), 0, 10);
    s.renderState[D3DRS_STENCILFUNC] = D3DCMP_NOTEQUAL;
    s.renderState[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    s.renderState[D3DRS_ZFUNC] = D3DCMP_ALWAYS;
    const std::vector<ScreenVertex> outline = star(1.25f, 0xFFFFE000u, 0xFFFF8000u);
    r.Draw(s, view, D3DPT_TRIANGLEFAN, Input(outline), 0, 10);
    r.Flush();
    ExpectGolden(t.color, "stencil_outline");
}

}  // namespace
