// The pixel program runner alone, per vector target and for the plain twin: the
// bump-mapping program
//     ps.1.1  tex t0;  texbem t1, t0;  mul r0, t1, v0
// over a 256x256 stream of groups, stage 0 a 256x256 signed bump map (du, dv of a wavy
// height field), stage 1 a mipmapped 256x256 bilinear texture through the bump matrix.
// Each group's coordinates and colour are written before its run (a few stores per
// lane, as the pixel stage does); the figures are pixels per second. BM_BumpProgramFlatTexel
// answers every lookup with one texel instead: the runner's own cost.
//
// TOLVANE_VECTOR_TARGETS=avx2 (or sse4, ssse3, scalar; a comma-separated list of Highway
// target names) limits the targets measured.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <strings.h>
#include <vector>

#include "raster/pipeline.h"
#include "raster/pixel_program.h"

namespace {

constexpr int kSize = 256;

// The targets TOLVANE_VECTOR_TARGETS names (all when it is unset).
std::int64_t VectorTargets() {
    const char* names = std::getenv("TOLVANE_VECTOR_TARGETS");
    if (!names) return -1;
    std::int64_t targets = 0;
    const std::string list = names;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        const std::string name = list.substr(start, end - start);
        for (std::int64_t bit = 1; bit != 0 && bit <= (std::int64_t{1} << 62); bit <<= 1)
            if (strcasecmp(hwy::TargetName(bit), name.c_str()) == 0) targets |= bit;
        start = end + 1;
    }
    return targets;
}

struct Textures {
    Textures() {
        // The bump map: the slopes of h = sin(x) cos(y) as signed values (biased by 128)
        // in red and green.
        bumpTexels.resize(kSize * kSize);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const float fx = 6.2831853f * 4.0f * x / kSize, fy = 6.2831853f * 3.0f * y / kSize;
                const int du = static_cast<int>(std::lround(100.0f * std::cos(fx) * std::cos(fy)));
                const int dv = static_cast<int>(std::lround(-100.0f * std::sin(fx) * std::sin(fy)));
                bumpTexels[y * kSize + x] = 0xFF000000u | static_cast<std::uint32_t>(du + 128) << 16 |
                                            static_cast<std::uint32_t>(dv + 128) << 8 | 0x80u;
            }
        bump.levelCount = 1;
        bump.levels[0] = {bumpTexels.data(), kSize, kSize, kSize};
        // The environment: a colour ramp with a grid, and its box-filtered levels.
        int n = kSize, levels = 0;
        envTexels.emplace_back(static_cast<std::size_t>(n) * n);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const std::uint32_t grid = (x % 32 == 0 || y % 32 == 0) ? 0x404040u : 0u;
                envTexels[0][y * n + x] = (0xFF000000u | static_cast<std::uint32_t>(x) << 16 |
                                           static_cast<std::uint32_t>(y) << 8 | static_cast<std::uint32_t>(255 - x)) ^
                                          grid;
            }
        for (; n > 1; n /= 2) {
            const std::vector<std::uint32_t>& upper = envTexels.back();
            std::vector<std::uint32_t> lower(static_cast<std::size_t>(n / 2) * (n / 2));
            for (int y = 0; y < n / 2; ++y)
                for (int x = 0; x < n / 2; ++x) {
                    std::uint32_t out = 0;
                    for (int shift = 0; shift < 32; shift += 8) {
                        std::uint32_t sum = 0;
                        for (int k = 0; k < 4; ++k)
                            sum += (upper[(2 * y + k / 2) * n + 2 * x + k % 2] >> shift) & 0xFFu;
                        out |= ((sum + 2) / 4) << shift;
                    }
                    lower[y * (n / 2) + x] = out;
                }
            envTexels.push_back(std::move(lower));
        }
        for (const std::vector<std::uint32_t>& level : envTexels) {
            const int size = kSize >> levels;
            environment.levels[levels++] = {level.data(), size, size, size};
        }
        environment.levelCount = levels;

        bumpSetup.texture = &bump;
        envSetup.texture = &environment;
        envSetup.minFilter = envSetup.magFilter = raster::TextureFilter::Linear;
        envSetup.mipFilter = raster::MipFilter::Linear;
        envSetup.wrapPow2 = true;
        draw.stages[0].sampler = &bumpSetup;
        draw.stages[0].signedChannels = raster::kMaskR | raster::kMaskG;
        draw.stages[1].sampler = &envSetup;
        const float m[2][2] = {{0.08f, 0.01f}, {-0.01f, 0.08f}};
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) draw.stages[1].bumpMatrix[i][j] = m[i][j];
        program.Texture(raster::PixelOp::Tex, raster::ps::DT(0));
        program.Texture(raster::PixelOp::TexBem, raster::ps::DT(1), raster::ps::T(0));
        program.Arith(raster::PixelOp::Mul, raster::ps::DR(0), raster::ps::T(1), raster::ps::V(0));
    }
    std::vector<std::uint32_t> bumpTexels;
    std::vector<std::vector<std::uint32_t>> envTexels;
    raster::SamplerTexture bump, environment;
    raster::detail::SamplerSetup bumpSetup, envSetup;
    raster::ProgramDraw draw;
    raster::PixelProgram program{raster::PixelVersion::Ps11};
};

Textures& TheTextures() {
    static Textures textures;
    return textures;
}

// Answers every lookup with one texel: what the runner costs without the sampler.
struct FlatSampler final : raster::ProgramSampler {
    void Sample(int, std::uint32_t lanes, const float*, const float*, const float*,
                float (*rgba)[raster::kMaxProgramLanes]) const override {
        for (; lanes != 0; lanes &= lanes - 1)
            for (int k = 0; k < 4; ++k) rgba[k][__builtin_ctz(lanes)] = 0.5f;
    }
};

// One pass over the 256x256 pixels, groups of lanes along each row; flat: through
// FlatSampler rather than the textures.
void RunStream(benchmark::State& state, raster::ProgramRunner run, int lanes, bool flat) {
    Textures& t = TheTextures();
    raster::ProgramGroup group;
    raster::ProgramResult result;
    const raster::SetupSampler textures(t.draw, group);
    const FlatSampler flatSampler;
    const raster::ProgramSampler& sampler = flat ? static_cast<const raster::ProgramSampler&>(flatSampler) : textures;
    group.active = lanes >= 32 ? ~0u : (1u << lanes) - 1u;
    for (int s = 0; s < 2; ++s)
        for (int lane = 0; lane < raster::kMaxProgramLanes; ++lane) group.lod[s][lane] = -0.5f;
    float sum = 0.0f;
    for (auto _ : state) {
        for (int y = 0; y < kSize; ++y) {
            for (int x0 = 0; x0 < kSize; x0 += lanes) {
                for (int lane = 0; lane < lanes; ++lane) {
                    const float u = (static_cast<float>(x0 + lane) + 0.5f) / kSize,
                                v = (static_cast<float>(y) + 0.5f) / kSize;
                    group.texcoord[0][0][lane] = group.texcoord[1][0][lane] = u;
                    group.texcoord[0][1][lane] = group.texcoord[1][1][lane] = v;
                    group.color[0][0][lane] = group.color[0][1][lane] = group.color[0][2][lane] = 0.875f;
                    group.color[0][3][lane] = 1.0f;
                }
                run(t.program, t.draw, group, sampler, result);
                sum += result.color[1][0];
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kSize * kSize);
    state.SetLabel("pixels");
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (bool flat : {false, true}) {
        const std::string prefix = flat ? "BM_BumpProgramFlatTexel/" : "BM_BumpProgram/";
        benchmark::RegisterBenchmark((prefix + "Ref").c_str(), [flat](benchmark::State& state) {
            RunStream(state, raster::RunPixelProgramRef, 8, flat);
        });
        const std::int64_t usable = raster::CompiledProgramTargets() & hwy::SupportedTargets() & VectorTargets();
        for (std::int64_t left = usable; left != 0; left &= left - 1) {
            const std::int64_t target = left & -left;
            benchmark::RegisterBenchmark(
                (prefix + hwy::TargetName(target)).c_str(), [target, flat](benchmark::State& state) {
                    RunStream(state, raster::PixelProgramRunner(target), raster::ProgramLanes(target), flat);
                });
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
