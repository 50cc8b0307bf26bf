// The fast paths against the plain ones, the thread count, indexed draws, clears,
// stage operations and geometry around the camera.
#include <array>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>

#include <hwy/targets.h>

#include "raster/pipeline.h"
#include "raster_fixture.h"

using namespace rastertest;

namespace {

// A busy scene: a textured, fogged, blended tunnel of random triangles around the
// camera, drawn with the given options into a 96x80 target.
struct BusyScene {
    BusyScene() : texture(Checker(64, 4, true)), shine(Checker(32, 3, false)) {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> spread(-40.0f, 40.0f), depth(-10.0f, 120.0f), unit(0.0f, 1.0f);
        for (int i = 0; i < 300; ++i) {
            float cx = spread(random), cy = spread(random) * 0.5f, cz = depth(random);
            for (int k = 0; k < 3; ++k) {
                MeshVertex v{cx + spread(random) * 0.3f, cy + spread(random) * 0.3f, cz + spread(random) * 0.3f, 0, 0, -1,
                             0xFF000000u | static_cast<std::uint32_t>(random() & 0xFFFFFF), unit(random) * 6, unit(random) * 6};
                v.diffuse = (static_cast<std::uint32_t>(random() & 0xFF) << 24) | (v.diffuse & 0xFFFFFF);
                vertices.push_back(v);
            }
        }
    }
    // tweak changes the states of both draws after the scene has set its own.
    void Draw(Rasterizer& r, Target& target, bool variant,
              const std::function<void(D3DState&)>& tweak = {}) {
        D3DState s = BasicState(target.width, target.height, kMeshFvf);
        s.projection = Perspective(1.2f, static_cast<float>(target.width) / target.height, 1.0f, 200.0f);
        s.texture[0] = &texture.sampler;
        s.texture[1] = &shine.sampler;
        s.stageState[0][D3DTSS_MINFILTER] = D3DTEXF_LINEAR;
        s.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
        s.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_LINEAR;
        s.stageState[1][D3DTSS_COLOROP] = variant ? D3DTOP_ADDSIGNED : D3DTOP_MODULATE;
        s.stageState[1][D3DTSS_TEXCOORDINDEX] = 0;
        // Mirror addressing sends the first variant's second stage to pixel-by-pixel sampling.
        s.stageState[1][D3DTSS_ADDRESSU] = variant ? D3DTADDRESS_WRAP : D3DTADDRESS_MIRROR;
        s.renderState[D3DRS_FOGENABLE] = TRUE;
        s.renderState[D3DRS_FOGVERTEXMODE] = D3DFOG_LINEAR;
        s.renderState[D3DRS_FOGSTART] = FloatBits(10.0f);
        s.renderState[D3DRS_FOGEND] = FloatBits(150.0f);
        s.renderState[D3DRS_FOGCOLOR] = 0xFF304050u;
        if (tweak) tweak(s);
        r.Clear(target.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
        UINT half = static_cast<UINT>(vertices.size() / 6);
        r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(vertices), 0, half);
        s.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
        s.renderState[D3DRS_SRCBLEND] = variant ? D3DBLEND_SRCCOLOR : D3DBLEND_SRCALPHA;
        s.renderState[D3DRS_DESTBLEND] = variant ? D3DBLEND_DESTCOLOR : D3DBLEND_INVSRCALPHA;
        s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_MODULATE;
        s.stageState[0][D3DTSS_ALPHAARG2] = D3DTA_DIFFUSE;
        if (tweak) tweak(s);
        r.Draw(s, target.View(), D3DPT_TRIANGLELIST, Input(vertices), 3 * half, half);
        r.Flush();
    }
    Texture texture, shine;
    std::vector<MeshVertex> vertices;
};

TEST(RasterPaths, OutputDoesNotDependOnTheThreadCount) {
    BusyScene scene;
    // Several tiles each way, the last ones partial.
    Target one(1100, 150), two(1100, 150), five(1100, 150);
    Rasterizer r1(1), r2(2), r5(5);
    for (bool variant : {false, true}) {
        scene.Draw(r1, one, variant);
        scene.Draw(r2, two, variant);
        scene.Draw(r5, five, variant);
        EXPECT_EQ(one.color, two.color);
        EXPECT_EQ(one.color, five.color);
        EXPECT_EQ(one.depth, two.depth);
        EXPECT_EQ(one.depth, five.depth);
    }
}

// The common textured draw of the scene (see FixedStatesFor).
void CommonTexturedDraw(D3DState& s) {
    s.renderState[D3DRS_FOGENABLE] = FALSE;
    s.renderState[D3DRS_ALPHABLENDENABLE] = FALSE;
    s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG1;
    s.stageState[1][D3DTSS_COLOROP] = D3DTOP_MODULATE;
    s.stageState[1][D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
}

using Tweak = std::function<void(D3DState&)>;

// State changes over everything the vector body decodes for itself.
std::vector<std::pair<const char*, Tweak>> PackedStateTweaks() {
    std::vector<std::pair<const char*, Tweak>> tweaks;
    for (DWORD func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
        tweaks.emplace_back("depth compare", [func](D3DState& s) { s.renderState[D3DRS_ZFUNC] = func; });
        tweaks.emplace_back("alpha compare", [func](D3DState& s) {
            s.renderState[D3DRS_ALPHATESTENABLE] = TRUE;
            s.renderState[D3DRS_ALPHAFUNC] = func;
            s.renderState[D3DRS_ALPHAREF] = 0x70;
        });
    }
    for (DWORD factor = D3DBLEND_ZERO; factor <= D3DBLEND_BOTHINVSRCALPHA; ++factor)
        tweaks.emplace_back("blend factor", [factor](D3DState& s) {
            s.renderState[D3DRS_SRCBLEND] = factor;
            s.renderState[D3DRS_DESTBLEND] = D3DBLEND_ZERO + (factor * 5) % 11;
        });
    for (DWORD op = D3DBLENDOP_ADD; op <= D3DBLENDOP_MAX; ++op)
        tweaks.emplace_back("blend op", [op](D3DState& s) { s.renderState[D3DRS_BLENDOP] = op; });
    tweaks.emplace_back("write mask and no depth writes", [](D3DState& s) {
        s.renderState[D3DRS_COLORWRITEENABLE] = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_ALPHA;
        s.renderState[D3DRS_ZWRITEENABLE] = FALSE;
    });
    for (DWORD mip : {D3DTEXF_NONE, D3DTEXF_POINT})
        for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR})
            tweaks.emplace_back("filters", [mip, filter](D3DState& s) {
                s.stageState[0][D3DTSS_MIPFILTER] = mip;
                s.stageState[0][D3DTSS_MINFILTER] = s.stageState[0][D3DTSS_MAGFILTER] = filter;
                s.stageState[1][D3DTSS_MINFILTER] = s.stageState[1][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
            });
    tweaks.emplace_back("level clamp and bias", [](D3DState& s) {
        s.stageState[0][D3DTSS_MAXMIPLEVEL] = 2;
        s.stageState[0][D3DTSS_MIPMAPLODBIAS] = FloatBits(-0.75f);
    });
    for (DWORD op : {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE2X, D3DTOP_MODULATE4X, D3DTOP_ADD,
                     D3DTOP_SUBTRACT, D3DTOP_ADDSIGNED2X, D3DTOP_ADDSMOOTH, D3DTOP_BLENDDIFFUSEALPHA,
                     D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDFACTORALPHA, D3DTOP_BLENDCURRENTALPHA})
        tweaks.emplace_back("stage op", [op](D3DState& s) {
            s.stageState[0][D3DTSS_COLOROP] = op;
            s.stageState[0][D3DTSS_ALPHAOP] = op;
            s.stageState[0][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE | D3DTA_COMPLEMENT;
            s.stageState[1][D3DTSS_COLORARG2] = D3DTA_TFACTOR | D3DTA_ALPHAREPLICATE;
            s.renderState[D3DRS_TEXTUREFACTOR] = 0x80C04020u;
        });
    // Modulation chains with each kind of alpha, which the wide paths run without decoding.
    const std::pair<const char*, std::array<DWORD, 3>> chains[] = {
        {"chain, alpha from the current colour", {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_CURRENT}},
        {"chain, alpha from the texture", {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT}},
        {"chain, alpha modulated", {D3DTOP_MODULATE, D3DTA_CURRENT, D3DTA_TEXTURE}},
        {"chain, alpha disabled", {D3DTOP_DISABLE, D3DTA_TEXTURE, D3DTA_CURRENT}},
        {"not a chain: alpha from the factor", {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_CURRENT}},
    };
    for (const auto& [name, alpha] : chains)
        tweaks.emplace_back(name, [alpha = alpha](D3DState& s) {
            s.stageState[1][D3DTSS_COLOROP] = D3DTOP_MODULATE;
            s.stageState[1][D3DTSS_ALPHAOP] = alpha[0];
            s.stageState[1][D3DTSS_ALPHAARG1] = alpha[1];
            s.stageState[1][D3DTSS_ALPHAARG2] = alpha[2];
            s.renderState[D3DRS_TEXTUREFACTOR] = 0x80C04020u;
        });
    tweaks.emplace_back("not a chain: diffuse at the second stage", [](D3DState& s) {
        s.stageState[1][D3DTSS_COLOROP] = D3DTOP_MODULATE;
        s.stageState[1][D3DTSS_COLORARG2] = D3DTA_DIFFUSE;
    });
    tweaks.emplace_back("specular and temp", [](D3DState& s) {
        s.renderState[D3DRS_SPECULARENABLE] = TRUE;
        s.stageState[0][D3DTSS_COLORARG2] = D3DTA_SPECULAR;
        s.stageState[0][D3DTSS_RESULTARG] = D3DTA_TEMP;
        s.stageState[1][D3DTSS_COLORARG2] = D3DTA_TEMP;
    });
    return tweaks;
}

// ---- the vector body on every target ------------------------------------------------

// The vector targets compiled into the pixel stage, best first (the one-lane fallback is
// the plain path, tested on its own).
std::vector<std::int64_t> VectorTargets() {
    std::vector<std::int64_t> targets;
    for (std::int64_t left = raster::detail::CompiledShadingTargets() & ~HWY_SCALAR; left != 0; left &= left - 1)
        targets.push_back(left & -left);
    return targets;
}

raster::RasterOptions On(std::int64_t target, int threads = 2) {
    raster::RasterOptions options;
    options.threads = threads;
    options.vectorTargets = target;
    return options;
}

// Each compiled target on the busy scenes: its pixels against every other target this
// processor runs (exactly) and against the plain path (within a step). A target the
// processor lacks is skipped, saying so; the ones that run are printed.
class RasterTargets : public testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        target_ = GetParam();
        if ((hwy::SupportedTargets() & target_) == 0)
            GTEST_SKIP() << hwy::TargetName(target_) << ": this processor lacks it";
        ASSERT_EQ(raster::detail::ShadingTarget(target_), target_);
        std::printf("[ target   ] %s runs the pixel stage\n", hwy::TargetName(target_));
    }
    // The other vector targets this processor runs.
    std::vector<std::int64_t> Others() const {
        std::vector<std::int64_t> others;
        for (std::int64_t t : VectorTargets())
            if (t != target_ && (hwy::SupportedTargets() & t)) others.push_back(t);
        return others;
    }
    std::int64_t target_ = 0;
};

std::string TargetTestName(const testing::TestParamInfo<std::int64_t>& info) { return hwy::TargetName(info.param); }

// On a target whose width ends inside a group of sixteen (and of eight and four) and
// whose rows cross a tile boundary.
TEST_P(RasterTargets, GiveTheSamePixelsAsTheOtherTargets) {
    BusyScene scene;
    Rasterizer r(On(target_));
    const std::vector<std::int64_t> others = Others();
    if (others.empty()) GTEST_SKIP() << "no second vector target on this processor to compare with";
    for (int width : {96, 1050})
        for (bool variant : {false, true}) {
            Target ours(width, 80);
            scene.Draw(r, ours, variant);
            for (std::int64_t other : others) {
                SCOPED_TRACE(testing::Message() << "width " << width << ", variant " << variant << ", against "
                                                << hwy::TargetName(other));
                Target theirs(width, 80);
                Rasterizer o(On(other));
                scene.Draw(o, theirs, variant);
                EXPECT_EQ(ours.color, theirs.color);
                EXPECT_EQ(ours.depth, theirs.depth);
            }
        }
}

// Bilinear lookups with wrapping read the rasterizer's interleaved copies of the rows: the
// same pixels as from the texels, with noise texels so that any wrong corner or wrap
// shows. The copies stay until the texture says it changed: texels changed behind their
// back must leave another picture than after Changed(), which must match the texels.
TEST_P(RasterTargets, InterleavedRowsGiveTheSamePixels) {
    BusyScene scene;
    std::mt19937 random(11);
    for (auto& level : scene.texture.storage)
        for (std::uint32_t& t : level) t = static_cast<std::uint32_t>(random());
    raster::RasterOptions withoutRows = On(target_);
    withoutRows.interleavedRows = false;
    Rasterizer r(On(target_)), fromTexels(withoutRows);
    for (int width : {96, 1050}) {
        SCOPED_TRACE(width);
        Target plain(width, 80), paired(width, 80), stale(width, 80), changed(width, 80), changedPlain(width, 80);
        scene.Draw(fromTexels, plain, true);
        scene.Draw(r, paired, true);
        EXPECT_EQ(paired.color, plain.color);
        EXPECT_EQ(paired.depth, plain.depth);
        for (auto& level : scene.texture.storage)
            for (std::uint32_t& t : level) t ^= 0x00FFFFFFu;
        scene.Draw(r, stale, true);
        scene.texture.sampler.copies.Changed();
        scene.Draw(r, changed, true);
        scene.Draw(fromTexels, changedPlain, true);
        EXPECT_NE(stale.color, changed.color);
        EXPECT_EQ(changed.color, changedPlain.color);
    }
}

// The rows functions specialised to the states of common draws (two textured stages,
// trilinear then point, in a modulate chain; untextured, with the alpha of the white texel
// or of the vertices) give the pixels of the generic one, with and without specular.
TEST_P(RasterTargets, StateSpecialisedRowsGiveTheSamePixels) {
    BusyScene scene;
    raster::RasterOptions generic = On(target_);
    generic.fixedStateShading = false;
    Rasterizer fixedRaster(On(target_)), genericRaster(generic);
    enum Kind { kTextured, kUntextured, kUntexturedVertexAlpha };
    for (Kind kind : {kTextured, kUntextured, kUntexturedVertexAlpha})
        for (DWORD specular : {FALSE, TRUE})
            for (int width : {96, 1050}) {
                SCOPED_TRACE(testing::Message() << "width " << width << ", kind " << kind);
                auto tweak = [&](D3DState& s) {
                    CommonTexturedDraw(s);
                    s.renderState[D3DRS_SPECULARENABLE] = specular;
                    s.renderState[D3DRS_LIGHTING] = specular;
                    s.renderState[D3DRS_AMBIENT] = 0xFF406080u;
                    if (kind != kTextured) s.texture[0] = s.texture[1] = nullptr;
                    if (kind == kUntexturedVertexAlpha) s.stageState[0][D3DTSS_ALPHAARG1] = D3DTA_DIFFUSE;
                };
                Target fixed(width, 80), other(width, 80);
                fixed.hasAlpha = other.hasAlpha = true;  // alpha mistakes show
                scene.Draw(fixedRaster, fixed, true, tweak);
                scene.Draw(genericRaster, other, true, tweak);
                EXPECT_EQ(fixed.color, other.color) << "specular " << specular;
                EXPECT_EQ(fixed.depth, other.depth) << "specular " << specular;
            }
}

// The same agreement over the states the vector body decodes for itself: every depth and
// alpha compare, blend factors and operations, write masks, mip and texture filters, level
// clamps, stage operations and arguments, specular, texture factor.
TEST_P(RasterTargets, AgreeWithTheOtherTargetsUnderEveryPackedState) {
    const std::vector<std::int64_t> others = Others();
    if (others.empty()) GTEST_SKIP() << "no second vector target on this processor to compare with";
    BusyScene scene;
    // Texel alpha that varies, into a target that keeps alpha: alpha mistakes show.
    for (Texture* t : {&scene.texture, &scene.shine})
        for (int l = 0; l < t->sampler.levelCount; ++l)
            for (int y = 0; y < t->sampler.levels[l].height; ++y)
                for (int x = 0; x < t->sampler.levels[l].width; ++x)
                    t->At(l, x, y) = (t->At(l, x, y) & 0x00FFFFFFu) | (static_cast<std::uint32_t>(x * 37 + y * 11 + l * 50) << 24);
    Rasterizer r(On(target_, 1));
    std::vector<std::unique_ptr<Rasterizer>> owned;
    for (std::int64_t other : others) owned.push_back(std::make_unique<Rasterizer>(On(other, 1)));
    for (const auto& [what, tweak] : PackedStateTweaks()) {
        SCOPED_TRACE(what);
        Target ours(90, 60);
        ours.hasAlpha = true;
        scene.Draw(r, ours, true, tweak);
        for (std::size_t k = 0; k < others.size(); ++k) {
            SCOPED_TRACE(hwy::TargetName(others[k]));
            Target theirs(90, 60);
            theirs.hasAlpha = true;
            scene.Draw(*owned[k], theirs, true, tweak);
            EXPECT_EQ(ours.color, theirs.color);
            EXPECT_EQ(ours.depth, theirs.depth);
        }
    }
}

// The vector body differs from the plain path only where float texel positions (against
// double) or rounding of constant colours move a result by a step.
TEST_P(RasterTargets, MatchThePlainPath) {
    BusyScene scene;
    Target fast(96, 80), plain(96, 80);
    raster::RasterOptions reference = On(target_);
    reference.referenceShading = true;
    Rasterizer r(On(target_)), ref(reference);
    for (bool variant : {false, true}) {
        scene.Draw(r, fast, variant);
        scene.Draw(ref, plain, variant);
        int far = 0;
        for (std::size_t i = 0; i < fast.color.size(); ++i)
            for (int shift = 0; shift < 32; shift += 8) {
                int a = static_cast<int>((fast.color[i] >> shift) & 0xFF), b = static_cast<int>((plain.color[i] >> shift) & 0xFF);
                if (std::abs(a - b) > 3) {
                    ++far;
                    break;
                }
            }
        EXPECT_LE(far, static_cast<int>(fast.color.size() / 200)) << "variant " << variant;
        EXPECT_EQ(fast.depth, plain.depth);
    }
}

INSTANTIATE_TEST_SUITE_P(Compiled, RasterTargets, testing::ValuesIn(VectorTargets()), TargetTestName);

// Which draws the specialised rows function takes: exactly those with its states.
TEST(RasterPaths, StateSpecialisedRowsTakeExactlyTheirDraws) {
    BusyScene scene;
    Target target(64, 64);
    D3DState s = BasicState(64, 64, kMeshFvf);
    s.texture[0] = &scene.texture.sampler;
    s.texture[1] = &scene.shine.sampler;
    s.stageState[0][D3DTSS_MINFILTER] = s.stageState[0][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR;
    s.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_LINEAR;
    s.stageState[1][D3DTSS_TEXCOORDINDEX] = 0;
    CommonTexturedDraw(s);
    using raster::detail::FixedStates;
    auto fixed = [&](const std::function<void(D3DState&)>& change) {
        D3DState changed = s;
        if (change) change(changed);
        raster::detail::DrawSetup setup;
        raster::detail::BuildDrawSetup(Translated(changed), target.View(), setup);
        return raster::detail::FixedStatesFor(setup);
    };
    auto applies = [&](const std::function<void(D3DState&)>& change) {
        return fixed(change) == FixedStates::TwoStageTrilinear;
    };
    EXPECT_TRUE(applies({}));
    EXPECT_FALSE(applies([](D3DState& c) { c.renderState[D3DRS_ZFUNC] = D3DCMP_LESS; }));
    EXPECT_FALSE(applies([](D3DState& c) { c.renderState[D3DRS_ALPHABLENDENABLE] = TRUE; }));
    EXPECT_FALSE(applies([](D3DState& c) {
        c.renderState[D3DRS_FOGENABLE] = TRUE;
        c.renderState[D3DRS_FOGVERTEXMODE] = D3DFOG_LINEAR;
    }));
    EXPECT_FALSE(applies([](D3DState& c) { c.renderState[D3DRS_COLORWRITEENABLE] = D3DCOLORWRITEENABLE_RED; }));
    EXPECT_FALSE(applies([](D3DState& c) { c.stageState[0][D3DTSS_MIPFILTER] = D3DTEXF_POINT; }));
    EXPECT_FALSE(applies([](D3DState& c) { c.stageState[1][D3DTSS_MAGFILTER] = D3DTEXF_LINEAR; }));
    EXPECT_FALSE(applies([](D3DState& c) { c.stageState[1][D3DTSS_COLOROP] = D3DTOP_ADD; }));
    EXPECT_FALSE(applies([](D3DState& c) { c.texture[1] = nullptr; }));
    // Clamped addressing: the first stage reads no interleaved rows.
    EXPECT_FALSE(applies([](D3DState& c) { c.stageState[0][D3DTSS_ADDRESSU] = D3DTADDRESS_CLAMP; }));
    // Untextured: no stage samples, or no stage at all; a stage operation other than a
    // modulation by the (white) texel, or any other state, is not.
    auto untextured = [](D3DState& c) { c.texture[0] = c.texture[1] = nullptr; };
    EXPECT_EQ(fixed(untextured), FixedStates::Untextured);
    EXPECT_EQ(fixed([&](D3DState& c) {
                  untextured(c);
                  c.stageState[0][D3DTSS_COLOROP] = D3DTOP_DISABLE;
              }),
              FixedStates::Untextured);
    EXPECT_EQ(fixed([&](D3DState& c) {
                  untextured(c);
                  c.stageState[1][D3DTSS_COLOROP] = D3DTOP_ADD;
              }),
              FixedStates::None);
    EXPECT_EQ(fixed([&](D3DState& c) {
                  untextured(c);
                  c.renderState[D3DRS_ZFUNC] = D3DCMP_LESS;
              }),
              FixedStates::None);
}

struct LitVertex {
    float x, y, z;
    std::uint32_t diffuse;
};

TEST(RasterPaths, IndexedDrawsWithBaseVertexAnd32BitIndices) {
    Target a(16, 16), b(16, 16);
    Rasterizer r(1);
    D3DState s = BasicState(16, 16, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    // Junk vertices first; the quad's four corners start at vertex 5.
    std::vector<LitVertex> v(5, LitVertex{100, 100, 0, 0xFFFF0000});
    v.push_back({-1, 1, 0.5f, 0xFF00FF00});
    v.push_back({1, 1, 0.5f, 0xFF00FF00});
    v.push_back({-1, -1, 0.5f, 0xFF0000FF});
    v.push_back({1, -1, 0.5f, 0xFF0000FF});
    const std::uint16_t i16[] = {9, 9, 0, 1, 2, 1, 3, 2};
    const std::uint32_t i32[] = {0, 1, 2, 1, 3, 2};
    for (Target* t : {&a, &b}) r.Clear(t->View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    r.DrawIndexed(s, a.View(), D3DPT_TRIANGLELIST, Input(v), 5, raster::IndexInput{i16, 8, false}, 2, 2);
    r.DrawIndexed(s, b.View(), D3DPT_TRIANGLELIST, Input(v), 5, raster::IndexInput{i32, 6, true}, 0, 2);
    r.Flush();
    EXPECT_EQ(a.color, b.color);
    EXPECT_EQ(a.At(8, 0) & 0xFFFFFF, 0x00FF00u);   // top row: green
    EXPECT_GT(a.At(8, 15) & 0xFF, 0xE0u);  // bottom row (centre 1/16 above the edge): nearly blue
    EXPECT_LT((a.At(8, 15) >> 8) & 0xFF, 0x20u);
    EXPECT_EQ(a.At(0, 0) & 0xFF0000, 0u);          // nothing of the junk vertex
}

TEST(RasterPaths, ClearRectanglesStayInsideTheViewport) {
    Target t(16, 16);
    Rasterizer r(1);
    D3DVIEWPORT8 full{0, 0, 16, 16, 0, 1}, inner{4, 4, 8, 8, 0, 1};
    r.Clear(t.View(), full, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    const D3DRECT rects[] = {{0, 0, 6, 6}, {10, 10, 40, 40}, {-5, 14, 2, 20}};
    r.Clear(t.View(), inner, 3, rects, D3DCLEAR_TARGET, 0xFFFFFFFFu, 0.0f);
    r.Flush();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inViewport = x >= 4 && x < 12 && y >= 4 && y < 12;
            bool inRect = (x < 6 && y < 6) || (x >= 10 && y >= 10);
            EXPECT_EQ(t.At(x, y), inViewport && inRect ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
        }
    EXPECT_EQ(t.depth[5 * 16 + 5], 65535);  // the depth buffer was not named
    r.Clear(t.View(), inner, 0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.25f);
    r.Flush();
    EXPECT_EQ(t.depth[5 * 16 + 5], 16384);
    EXPECT_EQ(t.depth[0], 65535);
}

// Rows are filled in wide aligned stores with a head and a tail of single pixels: every
// start, end and width modulo the store size, rectangles across tile boundaries, an odd
// pitch so that rows start at every alignment.
// The number of pixels the clears get wrong.
int WrongClearPixels(Rasterizer& r) {
    Target t(301, 150);
    D3DVIEWPORT8 full{0, 0, 301, 150, 0, 1};
    r.Clear(t.View(), full, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030u, 1.0f);
    std::vector<D3DRECT> rects;
    for (int i = 0; i < 17; ++i) rects.push_back({i, 2 + 7 * i, i + 1 + 17 * i, 8 + 7 * i});  // widths 1 .. 273
    rects.push_back({127, 125, 129, 150});                                                   // across a tile edge
    rects.push_back({250, 0, 301, 140});
    r.Clear(t.View(), full, static_cast<DWORD>(rects.size()), rects.data(), D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFA0B0C0u, 0.5f);
    r.Flush();
    int wrong = 0;
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x) {
            bool in = false;
            for (const D3DRECT& rect : rects) in = in || (x >= rect.x1 && x < rect.x2 && y >= rect.y1 && y < rect.y2);
            std::uint16_t depth = t.depth[static_cast<std::size_t>(y) * t.width + x];
            if (t.At(x, y) != (in ? 0xFFA0B0C0u : 0xFF102030u) || depth != (in ? 32768 : 65535)) ++wrong;
        }
    return wrong;
}

TEST(RasterPaths, ClearRectanglesOfEveryAlignmentFillExactlyTheirPixels) {
    Rasterizer r(2);
    EXPECT_EQ(WrongClearPixels(r), 0);
}

// The clears run on the allowed target too: its own fills, exact.
TEST_P(RasterTargets, ClearsFillWithTheTargetExactly) {
    Rasterizer r(On(target_));
    EXPECT_EQ(WrongClearPixels(r), 0);
    for (std::int64_t other : Others()) {
        EXPECT_NE(raster::detail::ColorFiller(target_), raster::detail::ColorFiller(other)) << hwy::TargetName(other);
        EXPECT_NE(raster::detail::DepthFiller(target_), raster::detail::DepthFiller(other)) << hwy::TargetName(other);
    }
}

// One pixel of a screen quad through stage 0 with diffuse and a 1x1 texture.
std::uint32_t StagePixel(DWORD op, DWORD arg1, DWORD arg2, std::uint32_t diffuse, std::uint32_t texel, DWORD alphaOp = D3DTOP_SELECTARG1,
                         bool reference = false, bool unbound = false) {
    Target t(4, 4);
    t.View();
    raster::RasterOptions options;
    options.threads = 1;
    options.referenceShading = reference;
    Rasterizer r(options);
    Texture tex(1, 1, 1);
    tex.At(0, 0, 0) = texel;
    D3DState s = BasicState(4, 4, kScreenFvf);
    s.texture[0] = unbound ? nullptr : &tex.sampler;
    s.stageState[0][D3DTSS_COLOROP] = op;
    s.stageState[0][D3DTSS_COLORARG1] = arg1;
    s.stageState[0][D3DTSS_COLORARG2] = arg2;
    s.stageState[0][D3DTSS_ALPHAOP] = alphaOp;
    s.renderState[D3DRS_TEXTUREFACTOR] = 0x40C08020u;
    raster::RenderTarget view = t.View(false);
    view.hasAlpha = true;
    std::vector<ScreenVertex> quad = {{0, 0, 0, 1, diffuse, 0, 0}, {4, 0, 0, 1, diffuse, 0, 0}, {0, 4, 0, 1, diffuse, 0, 0},
                                      {4, 4, 0, 1, diffuse, 0, 0}};
    r.Draw(s, view, D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    return t.At(2, 2);
}

TEST(RasterStages, OperationsOnKnownColours) {
    const std::uint32_t d = 0x80804020u, tx = 0xC0406080u;
    struct Case {
        DWORD op, arg1, arg2;
        std::uint32_t expected;  // alpha from SELECTARG1 of the texture: 0xC0
    };
    // Worked by hand with x * y / 255 rounded and saturation at 255.
    const Case cases[] = {
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0406080u},
        {D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0804020u},
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0201810u},   // 0x40*0x80/255=0x20, 0x60*0x40=0x18, 0x80*0x20=0x10
        {D3DTOP_MODULATE2X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0403020u},
        {D3DTOP_MODULATE4X, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0806040u},
        {D3DTOP_ADD, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0C0A0A0u},
        {D3DTOP_ADDSIGNED, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0402020u},  // 0x40+0x80-0x80, 0x60+0x40-0x80=0x20, 0x80+0x20-0x80
        {D3DTOP_SUBTRACT, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0002060u},
        {D3DTOP_SUBTRACT, D3DTA_TEXTURE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0xC03F5F5Fu},  // (0xBF,0x9F,0x7F) - d
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, 0xC0C0C0C0u},
        {D3DTOP_SELECTARG1, D3DTA_TFACTOR, D3DTA_DIFFUSE, 0xC0C08020u},
        {D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TEXTURE, D3DTA_TFACTOR, 0xC0807050u},  // t * 0x80 + f * 0x7F
        {D3DTOP_BLENDTEXTUREALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0xC08F5020u},  // d * 0xC0 + f * 0x3F
        {D3DTOP_ADDSMOOTH, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0A08890u},  // t + d - t * d
        // 4 ((t - .5)(d - .5) + ...) in every channel, alpha too: (-32)(-64) * 4 / 256 = 0x20.
        {D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x20202020u},
        // Values outside the sets: an operation passes argument 1 (as the bump mapping ones
        // not drawn do), a selector reads zero, before its modifiers.
        {99, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0xC0406080u},
        {D3DTOP_BUMPENVMAP, D3DTA_DIFFUSE, D3DTA_TEXTURE, 0xC0804020u},
        {D3DTOP_SELECTARG1, 0x9, D3DTA_DIFFUSE, 0xC0000000u},
        {D3DTOP_ADD, 0x9 | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0xC0FFFFFFu},
    };
    for (const Case& c : cases) {
        for (bool reference : {false, true}) {
            std::uint32_t got = StagePixel(c.op, c.arg1, c.arg2, d, tx, D3DTOP_SELECTARG1, reference);
            EXPECT_EQ(got, c.expected) << "op " << c.op << " arg1 " << c.arg1 << (reference ? " (plain path)" : "")
                                       << std::hex << " got " << got;
        }
    }
}

// A stage without a texture reads opaque white in colour and the diffuse alpha in alpha:
// under the default states the vertex colour and alpha come through.
TEST(RasterStages, UnboundStageReadsWhiteColourAndDiffuseAlpha) {
    const std::uint32_t d = 0x80804020u;  // factor 0x40C08020
    struct Case {
        DWORD op, arg1, arg2;
        std::uint32_t expected;  // alpha from SELECTARG1 of the texture: the diffuse 0x80
    };
    const Case cases[] = {
        {D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT, 0x80804020u},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80FFFFFFu},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, D3DTA_DIFFUSE, 0x80808080u},
        {D3DTOP_SELECTARG1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE | D3DTA_COMPLEMENT, D3DTA_DIFFUSE, 0x807F7F7Fu},
        {D3DTOP_BLENDTEXTUREALPHA, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0x80A06020u},      // d * 0x80 + f * 0x7F
        {D3DTOP_BLENDTEXTUREALPHAPM, D3DTA_DIFFUSE, D3DTA_TFACTOR, 0x80E08030u},    // d + f * 0x7F
    };
    for (const Case& c : cases)
        for (bool reference : {false, true}) {
            std::uint32_t got = StagePixel(c.op, c.arg1, c.arg2, d, 0x00000000u, D3DTOP_SELECTARG1, reference, true);
            EXPECT_EQ(got, c.expected) << "op " << c.op << " arg1 " << c.arg1 << (reference ? " (plain path)" : "")
                                       << std::hex << " got " << got;
        }
    // The alpha blends by the texture's alpha read the diffuse alpha too.
    for (bool reference : {false, true})
        EXPECT_EQ(StagePixel(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, d, 0, D3DTOP_BLENDTEXTUREALPHA, reference, true) >> 24,
                  StagePixel(D3DTOP_SELECTARG1, D3DTA_DIFFUSE, D3DTA_DIFFUSE, d, 0, D3DTOP_BLENDDIFFUSEALPHA, reference, true) >> 24);
}

TEST(RasterStages, AlphaOperationsAndAlphaTest) {
    // Alpha = texture alpha x diffuse alpha = 0xC0 * 0x80 / 255 = 0x60.
    EXPECT_EQ(StagePixel(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80804020u, 0xC0406080u, D3DTOP_MODULATE) >> 24,
              0x60u);
    // Alpha disabled on stage 0 with colour on: alpha passes the diffuse alpha through.
    EXPECT_EQ(StagePixel(D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_DIFFUSE, 0x80804020u, 0xC0406080u, D3DTOP_DISABLE) >> 24,
              0x80u);

    Target t(4, 4);
    Rasterizer r(1);
    D3DState s = BasicState(4, 4, kScreenFvf);
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG2;
    s.renderState[D3DRS_ALPHATESTENABLE] = TRUE;
    s.renderState[D3DRS_ALPHAFUNC] = D3DCMP_GREATER;
    s.renderState[D3DRS_ALPHAREF] = 0x80;
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    // Left half alpha 0x80 (fails GREATER 0x80), right half 0x81 (passes).
    std::vector<ScreenVertex> left = {{0, 0, 0.5f, 1, 0x80FFFFFF, 0, 0}, {2, 0, 0.5f, 1, 0x80FFFFFF, 0, 0},
                                      {0, 4, 0.5f, 1, 0x80FFFFFF, 0, 0}, {2, 4, 0.5f, 1, 0x80FFFFFF, 0, 0}};
    std::vector<ScreenVertex> right = left;
    for (auto& v : right) {
        v.x += 2;
        v.diffuse = 0x81FFFFFF;
    }
    r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(left), 0, 2);
    r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(right), 0, 2);
    r.Flush();
    EXPECT_EQ(t.At(0, 1), 0xFF000000u);
    EXPECT_EQ(t.depth[1 * 4 + 0], 65535);  // a failed alpha test writes no depth
    EXPECT_EQ(t.At(3, 1), 0xFFFFFFFFu);
    EXPECT_EQ(t.depth[1 * 4 + 3], 32768);
}

TEST(RasterBlend, ColorWriteMaskAndDestinationAlpha) {
    Target t(4, 4);
    Rasterizer r(1);
    D3DState s = BasicState(4, 4, kScreenFvf);
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    s.stageState[0][D3DTSS_ALPHAOP] = D3DTOP_SELECTARG2;
    raster::RenderTarget withAlpha = t.View(false);
    withAlpha.hasAlpha = true;
    r.Clear(withAlpha, s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0x40102030u, 1.0f);
    std::vector<ScreenVertex> quad = {{0, 0, 0, 1, 0xFFFFFFFF, 0, 0}, {4, 0, 0, 1, 0xFFFFFFFF, 0, 0},
                                      {0, 4, 0, 1, 0xFFFFFFFF, 0, 0}, {4, 4, 0, 1, 0xFFFFFFFF, 0, 0}};
    // DESTALPHA x white + ZERO: the stored alpha 0x40 scales every channel.
    s.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
    s.renderState[D3DRS_SRCBLEND] = D3DBLEND_DESTALPHA;
    s.renderState[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    s.renderState[D3DRS_COLORWRITEENABLE] = D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_BLUE;
    r.Draw(s, withAlpha, D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    EXPECT_EQ(t.At(1, 1), 0x40402040u);  // red and blue 0x40, green and alpha kept
    // On an X8R8G8B8 target destination alpha reads 1 and the top byte stays 0xFF.
    raster::RenderTarget noAlpha = t.View(false);
    r.Clear(noAlpha, s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0x40102030u, 1.0f);
    r.Flush();
    EXPECT_EQ(t.At(0, 0), 0xFF102030u);
    s.renderState[D3DRS_COLORWRITEENABLE] = 0xF;
    r.Draw(s, noAlpha, D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    EXPECT_EQ(t.At(1, 1), 0xFFFFFFFFu);
}

// The camera inside a long box whose walls run far behind and ahead of it, with
// triangles reaching millions of units out: every pixel is covered by a wall of the
// right colour and nothing wraps around.
TEST(RasterClipping, CameraInsideHugeGeometry) {
    Target t(64, 48);
    Rasterizer r(2);
    D3DState s = BasicState(64, 48, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    const float eye[3] = {0, 0, 0}, at[3] = {0.3f, 0.1f, 1}, up[3] = {0, 1, 0};
    s.view = LookAt(eye, at, up);
    s.projection = Perspective(1.0f, 64.0f / 48.0f, 1.0f, 50000.0f);
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    const float L = 3.0e6f, W = 50.0f;
    auto wall = [&](float x0, float y0, float x1, float y1, std::uint32_t c) {
        // Two triangles from z = -L to z = +L.
        return std::vector<LitVertex>{{x0, y0, -L, c}, {x1, y1, -L, c}, {x0, y0, L, c},
                                      {x1, y1, -L, c}, {x1, y1, L, c},  {x0, y0, L, c}};
    };
    std::vector<LitVertex> box;
    for (auto part : {wall(-W, -W, W, -W, 0xFF0000FF), wall(-W, W, W, W, 0xFF00FF00), wall(-W, -W, -W, W, 0xFFFF0000),
                      wall(W, -W, W, W, 0xFFFFFF00)})
        box.insert(box.end(), part.begin(), part.end());
    r.Draw(s, t.View(), D3DPT_TRIANGLELIST, Input(box), 0, static_cast<UINT>(box.size() / 3));
    r.Flush();
    int black = 0;
    for (std::uint32_t p : t.color) black += p == 0xFF000000u;
    // The far end of the box is beyond the far plane: only a few pixels around the
    // vanishing point may stay clear.
    EXPECT_LT(black, 40);
    // Floor below, ceiling above, left and right walls at the sides.
    EXPECT_EQ(t.At(32, 47), 0xFF0000FFu);
    EXPECT_EQ(t.At(32, 0), 0xFF00FF00u);
    EXPECT_EQ(t.At(0, 24), 0xFFFF0000u);
    EXPECT_EQ(t.At(63, 30), 0xFFFFFF00u);
    // Geometry wholly behind the camera draws nothing.
    Target behind(32, 32);
    D3DState b = BasicState(32, 32, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    b.projection = Perspective(1.0f, 1.0f, 1.0f, 100.0f);
    r.Clear(behind.View(), b.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    std::vector<LitVertex> back = {{-1e7f, -1e7f, -5, 0xFFFFFFFF}, {1e7f, -1e7f, -5, 0xFFFFFFFF}, {0, 1e7f, -1e6f, 0xFFFFFFFF}};
    r.Draw(b, behind.View(), D3DPT_TRIANGLELIST, Input(back), 0, 1);
    r.Flush();
    for (std::uint32_t p : behind.color) ASSERT_EQ(p, 0xFF000000u);
}

TEST(RasterClipping, DegenerateAndNonFiniteInputDrawsNothing) {
    Target t(16, 16);
    Rasterizer r(1);
    D3DState s = BasicState(16, 16, D3DFVF_XYZ | D3DFVF_DIFFUSE);
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<LitVertex> v = {{nan, 0, 0.5f, ~0u}, {1, 0, 0.5f, ~0u}, {0, 1, 0.5f, ~0u},
                                {inf, -inf, 0.5f, ~0u}, {1, 1, 0.5f, ~0u}, {-1, 1, 0.5f, ~0u},
                                {0, 0, 0.5f, ~0u}, {0, 0, 0.5f, ~0u}, {0, 0, 0.5f, ~0u}};
    r.Draw(s, t.View(), D3DPT_TRIANGLELIST, Input(v), 0, 3);
    std::vector<LitVertex> lines = {{nan, 0, 0.5f, ~0u}, {1, 0, 0.5f, ~0u}, {inf, -inf, 0.5f, ~0u},
                                    {1, 1, 0.5f, ~0u},   {0, 0, 0.5f, ~0u}, {0, 0, 0.5f, ~0u}};
    r.Draw(s, t.View(), D3DPT_LINELIST, Input(lines), 0, 3);
    r.Flush();
    int lit = 0;
    for (std::uint32_t p : t.color) lit += p != 0xFF000000u;
    EXPECT_LE(lit, 1);  // at most the single pixel of the zero-length line
}

}  // namespace

namespace {

struct TwoSetVertex {
    float x, y, z;
    std::uint32_t diffuse, specular;
    float u0, v0, u1, v1;
};
constexpr DWORD kTwoSetFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2;

// Unlit vertices: diffuse and specular pass through, SPECULARENABLE adds the specular
// colour after the stages, and TEXCOORDINDEX picks the second coordinate set.
TEST(RasterVertices, SpecularColourAndSecondTextureCoordinates) {
    Texture halves(2, 1, 1);
    halves.At(0, 0, 0) = 0xFF800000u;  // left texel red
    halves.At(0, 1, 0) = 0xFF008000u;  // right texel green
    for (bool reference : {false, true}) {
        Target t(8, 8);
        raster::RasterOptions options;
        options.threads = 1;
        options.referenceShading = reference;
        Rasterizer r(options);
        D3DState s = BasicState(8, 8, kTwoSetFvf);
        s.texture[0] = &halves.sampler;
        s.stageState[0][D3DTSS_COLOROP] = D3DTOP_ADD;  // texture + diffuse
        s.stageState[0][D3DTSS_TEXCOORDINDEX] = 1;
        s.renderState[D3DRS_SPECULARENABLE] = TRUE;
        r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
        // Set 0 would read the left (red) texel, set 1 reads the right (green) one.
        const std::uint32_t diffuse = 0xFF101010u, specular = 0xFF000020u;
        std::vector<TwoSetVertex> quad = {{-1, 1, 0.5f, diffuse, specular, 0.1f, 0.5f, 0.9f, 0.5f},
                                          {1, 1, 0.5f, diffuse, specular, 0.1f, 0.5f, 0.9f, 0.5f},
                                          {-1, -1, 0.5f, diffuse, specular, 0.1f, 0.5f, 0.9f, 0.5f},
                                          {1, -1, 0.5f, diffuse, specular, 0.1f, 0.5f, 0.9f, 0.5f}};
        r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
        r.Flush();
        EXPECT_EQ(t.At(4, 4), 0xFF109030u) << (reference ? "plain path" : "fast path");
        // Without SPECULARENABLE the specular colour is not added.
        s.renderState[D3DRS_SPECULARENABLE] = FALSE;
        r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
        r.Flush();
        EXPECT_EQ(t.At(4, 4), 0xFF109010u) << (reference ? "plain path" : "fast path");
    }
}

// Lighting with a vertex colour as the emissive source and no lights: the vertex colour
// is the result, whatever the material says.
TEST(RasterVertices, EmissiveFromTheVertexColour) {
    Target t(4, 4);
    Rasterizer r(1);
    D3DState s = BasicState(4, 4, kMeshFvf);
    s.renderState[D3DRS_LIGHTING] = TRUE;
    s.renderState[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_COLOR1;
    s.renderState[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_MATERIAL;
    s.material.Emissive = {1, 0, 0, 1};
    s.material.Diffuse = {0, 0, 0, 1};
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    std::vector<MeshVertex> quad = {{-1, 1, 0.5f, 0, 0, -1, 0xFF204060, 0, 0}, {1, 1, 0.5f, 0, 0, -1, 0xFF204060, 0, 0},
                                    {-1, -1, 0.5f, 0, 0, -1, 0xFF204060, 0, 0}, {1, -1, 0.5f, 0, 0, -1, 0xFF204060, 0, 0}};
    r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    EXPECT_EQ(t.At(2, 2), 0xFF204060u);
    // The material as the source instead: red.
    s.renderState[D3DRS_EMISSIVEMATERIALSOURCE] = D3DMCS_MATERIAL;
    r.Draw(s, t.View(), D3DPT_TRIANGLESTRIP, Input(quad), 0, 2);
    r.Flush();
    EXPECT_EQ(t.At(2, 2), 0xFFFF0000u);
}

}  // namespace

namespace {

// Screen-space triangles reaching far past the target are clipped to the guard band,
// not dropped, and keep their interpolation.
TEST(RasterClipping, HugeScreenSpaceTriangles) {
    Target t(32, 32);
    Rasterizer r(1);
    D3DState s = BasicState(32, 32, kScreenFvf);
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f);
    // Red runs from 0 at x = -100000 to 255 at x = 300000 (both other corners at the left).
    std::vector<ScreenVertex> huge = {{-100000, -100000, 0.5f, 1, 0xFF000000, 0, 0},
                                      {300000, -100000, 0.5f, 1, 0xFFFF0000, 0, 0},
                                      {-100000, 300000, 0.5f, 1, 0xFF000000, 0, 0}};
    r.Draw(s, t.View(), D3DPT_TRIANGLELIST, Input(huge), 0, 1);
    r.Flush();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            double expected = (x + 100000.0) / 400000.0 * 255.0;
            ASSERT_NEAR(static_cast<double>((t.At(x, y) >> 16) & 0xFF), expected, 1.0) << x << "," << y;
        }
}

}  // namespace

namespace {

// More primitives than the queue holds in one draw: the queue is flushed part-way and
// every triangle still lands once.
TEST(RasterQueue, DrawLargerThanTheQueue) {
    Target t(32, 32);
    Rasterizer r(2);
    D3DState s = BasicState(32, 32, kScreenFvf);
    s.renderState[D3DRS_ALPHABLENDENABLE] = TRUE;
    s.renderState[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    s.renderState[D3DRS_DESTBLEND] = D3DBLEND_ONE;
    s.renderState[D3DRS_ZENABLE] = FALSE;
    s.stageState[0][D3DTSS_COLOROP] = D3DTOP_SELECTARG2;
    r.Clear(t.View(), s.viewport, 0, nullptr, D3DCLEAR_TARGET, 0, 1.0f);
    // 68 rounds over the 1024 pixels: 69632 small triangles, each around one pixel centre.
    const int rounds = 68;
    std::vector<ScreenVertex> v;
    v.reserve(static_cast<std::size_t>(rounds) * 1024 * 3);
    for (int round = 0; round < rounds; ++round)
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                float fx = static_cast<float>(x), fy = static_cast<float>(y);
                v.push_back({fx - 0.4f, fy - 0.4f, 0, 1, 0x00010101, 0, 0});
                v.push_back({fx + 0.6f, fy - 0.4f, 0, 1, 0x00010101, 0, 0});
                v.push_back({fx - 0.4f, fy + 0.6f, 0, 1, 0x00010101, 0, 0});
            }
    r.Draw(s, t.View(), D3DPT_TRIANGLELIST, Input(v), 0, static_cast<UINT>(v.size() / 3));
    r.Flush();
    for (std::uint32_t p : t.color) ASSERT_EQ(p & 0xFFFFFF, 0x444444u);  // 68 = 0x44
}

}  // namespace
