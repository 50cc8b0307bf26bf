// Vertex throughput of a vs.1.1 transform-and-light program against the fixed-function
// vertex stage doing the same work: 100,000 vertices (position, normal, one texture
// coordinate pair) through world x view x projection, three directional lights (diffuse,
// with ambient and emissive), the coordinates copied, into clip vertices.
//
// The program runs on each vector target this processor has (BM_Program/<target>) and in
// the plain interpreter (BM_ProgramRef); its inputs are the vertices already fetched as
// four floats per register, as the device hands them over. The fixed-function stage
// (VertexProcessor) reads the 32-byte vertices itself. Buffers are reused across
// iterations. The ratio of each program run's processor time to the fixed-function
// stage's is printed at the end.
//
// TOLVANE_VECTOR_TARGETS=avx2 (or sse4, ssse3; a comma-separated list of Highway target
// names) limits the targets measured.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/d3d8/state_translation.h"
#include "raster/pipeline.h"
#include "raster/vertex_processing.h"
#include "raster/vertex_program.h"

namespace {

constexpr std::size_t kVertices = 100000;

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) out.m[r][c] += a.m[r][k] * b.m[k][c];
    return out;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

// A rotation about y and x with a translation, a camera 40 units back, a perspective.
struct Scene {
    D3DMATRIX world = Identity(), view = Identity(), projection{};
    D3DLIGHT8 lights[3] = {};
    D3DMATERIAL8 material = {};
    D3DCOLORVALUE ambient = {26 / 255.0f, 26 / 255.0f, 26 / 255.0f, 1.0f};  // D3DRS_AMBIENT 0xFF1A1A1A
    std::vector<Vertex> vertices;
    std::vector<float> fetched;  // v0 position, v1 normal, v2 coordinates: four floats each

    Scene() {
        const float a = 0.6f, b = 0.3f;
        world.m[0][0] = std::cos(a);
        world.m[0][2] = -std::sin(a);
        world.m[2][0] = std::sin(a);
        world.m[2][2] = std::cos(a);
        D3DMATRIX tilt = Identity();
        tilt.m[1][1] = std::cos(b);
        tilt.m[1][2] = std::sin(b);
        tilt.m[2][1] = -std::sin(b);
        tilt.m[2][2] = std::cos(b);
        world = Multiply(world, tilt);
        world.m[3][0] = 2.0f;
        view.m[3][2] = 40.0f;
        const float f = 1.0f / std::tan(0.5f), zn = 1.0f, zf = 1000.0f;
        projection.m[0][0] = f;
        projection.m[1][1] = f;
        projection.m[2][2] = zf / (zf - zn);
        projection.m[2][3] = 1.0f;
        projection.m[3][2] = -zn * zf / (zf - zn);
        const float directions[3][3] = {{0.3f, -1.0f, 0.2f}, {-1.0f, 0.2f, 0.5f}, {0.0f, 0.5f, 1.0f}};
        const float colors[3][3] = {{0.9f, 0.8f, 0.7f}, {0.2f, 0.3f, 0.6f}, {0.4f, 0.4f, 0.1f}};
        for (int i = 0; i < 3; ++i) {
            D3DLIGHT8& l = lights[i];
            l.Type = D3DLIGHT_DIRECTIONAL;
            l.Direction = {directions[i][0], directions[i][1], directions[i][2]};
            l.Diffuse = {colors[i][0], colors[i][1], colors[i][2], 1.0f};
            l.Range = 1000.0f;
            l.Attenuation0 = 1.0f;
        }
        material.Diffuse = {0.8f, 0.7f, 0.6f, 1.0f};
        material.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
        material.Emissive = {0.05f, 0.0f, 0.0f, 0.0f};

        std::mt19937 random(3);
        std::uniform_real_distribution<float> spread(-10.0f, 10.0f), unit(-1.0f, 1.0f), uv(0.0f, 4.0f);
        vertices.resize(kVertices);
        fetched.resize(kVertices * 12);
        for (std::size_t i = 0; i < kVertices; ++i) {
            Vertex& v = vertices[i];
            float n[3] = {unit(random), unit(random), unit(random)};
            const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]) + 1e-6f;
            v = {spread(random), spread(random), spread(random), n[0] / length, n[1] / length, n[2] / length,
                 uv(random), uv(random)};
            const float regs[12] = {v.x, v.y, v.z, 1.0f, v.nx, v.ny, v.nz, 0.0f, v.u, v.v, 0.0f, 1.0f};
            std::memcpy(&fetched[i * 12], regs, sizeof regs);
        }
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

raster::detail::AttributeLayout Layout() {
    raster::detail::AttributeLayout layout;
    layout.count = 6;
    layout.texcoord[0] = 4;
    layout.texcoordCount[0] = 2;
    return layout;
}

// The fixed-function stage's draw: the same transforms, lights and material as the program.
raster::PipelineState FixedFunctionState(const Scene& scene) {
    raster::PipelineState state;
    // The states in the platform's values, translated as the device translates them.
    DWORD rs[D3DRS_COUNT];
    d3d8::StageStates ts[D3DMAXTEXTURESTAGES];
    d3d8::SetDefaultStates(rs, ts);
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_SPECULARENABLE] = FALSE;
    rs[D3DRS_AMBIENT] = 0xFF1A1A1Au;
    d3d8::TranslateStates(rs, ts, state.states);
    d3d8::DecodeFvf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, state.vertex);
    state.world = d3d8::ToRaster(scene.world);
    state.view = d3d8::ToRaster(scene.view);
    state.projection = d3d8::ToRaster(scene.projection);
    state.material = d3d8::ToRaster(scene.material);
    state.lightCount = 3;
    for (int i = 0; i < 3; ++i) state.lights[i] = d3d8::ToRaster(scene.lights[i]);
    return state;
}

void BM_FixedFunction(benchmark::State& st) {
    Scene& scene = TheScene();
    const raster::PipelineState state = FixedFunctionState(scene);
    raster::detail::VertexProcessor processor;
    processor.Prepare(state, Layout());
    const raster::VertexInput input{reinterpret_cast<const std::uint8_t*>(scene.vertices.data()),
                                    scene.vertices.size() * sizeof(Vertex), sizeof(Vertex)};
    std::vector<raster::detail::ClipVertex> out(kVertices);
    for (auto _ : st) {
        processor.Run(input, 0, static_cast<UINT>(kVertices), out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * kVertices));
}

// The program: the position through c0..c3 (the columns of world x view x projection),
// the normal through c4..c6 (world x view's upper 3x3, a rotation here), three lights
// c8..c10 (unit vectors towards them, in view space) with their diffuse colours times the
// material's in c11..c13, ambient plus emissive (and the material's alpha) in c14, c15 = (0, 1, 0, 0).
using raster::DestFile;
using raster::SourceFile;
using raster::VertexInstruction;
using raster::VertexOp;

raster::SourceOperand Src(SourceFile file, int index, int replicate = -1) {
    raster::SourceOperand s;
    s.file = file;
    s.index = static_cast<std::uint8_t>(index);
    if (replicate >= 0)
        for (auto& c : s.swizzle) c = static_cast<std::uint8_t>(replicate);
    return s;
}
VertexInstruction I(VertexOp op, DestFile file, int index, std::uint8_t mask, raster::SourceOperand a,
                    raster::SourceOperand b = {}, raster::SourceOperand m = {}) {
    return {op, {file, static_cast<std::uint8_t>(index), mask}, {a, b, m}};
}

std::vector<VertexInstruction> TransformAndLight() {
    using S = SourceFile;
    return {
        I(VertexOp::M4x4, DestFile::Position, 0, 0xF, Src(S::Input, 0), Src(S::Constant, 0)),
        I(VertexOp::M3x3, DestFile::Temp, 0, 0x7, Src(S::Input, 1), Src(S::Constant, 4)),
        I(VertexOp::Dp3, DestFile::Temp, 1, 0x1, Src(S::Temp, 0), Src(S::Constant, 8)),
        I(VertexOp::Dp3, DestFile::Temp, 1, 0x2, Src(S::Temp, 0), Src(S::Constant, 9)),
        I(VertexOp::Dp3, DestFile::Temp, 1, 0x4, Src(S::Temp, 0), Src(S::Constant, 10)),
        I(VertexOp::Max, DestFile::Temp, 1, 0x7, Src(S::Temp, 1), Src(S::Constant, 15, 0)),
        I(VertexOp::Mul, DestFile::Temp, 2, 0xF, Src(S::Temp, 1, 0), Src(S::Constant, 11)),
        I(VertexOp::Mad, DestFile::Temp, 2, 0xF, Src(S::Temp, 1, 1), Src(S::Constant, 12), Src(S::Temp, 2)),
        I(VertexOp::Mad, DestFile::Temp, 2, 0xF, Src(S::Temp, 1, 2), Src(S::Constant, 13), Src(S::Temp, 2)),
        I(VertexOp::Add, DestFile::Color, 0, 0xF, Src(S::Temp, 2), Src(S::Constant, 14)),
        I(VertexOp::Mov, DestFile::Texcoord, 0, 0x3, Src(S::Input, 2)),
    };
}

void Constants(const Scene& scene, raster::ProgramConstants& k) {
    std::memset(k, 0, sizeof k);
    const D3DMATRIX worldView = Multiply(scene.world, scene.view);
    const D3DMATRIX all = Multiply(worldView, scene.projection);
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) k[col][row] = all.m[row][col];
    for (int col = 0; col < 3; ++col)
        for (int row = 0; row < 3; ++row) k[4 + col][row] = worldView.m[row][col];
    for (int i = 0; i < 3; ++i) {
        const D3DVECTOR& d = scene.lights[i].Direction;
        float t[3];
        for (int c = 0; c < 3; ++c) t[c] = -(d.x * scene.view.m[0][c] + d.y * scene.view.m[1][c] + d.z * scene.view.m[2][c]);
        const float length = std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]);
        for (int c = 0; c < 3; ++c) k[8 + i][c] = t[c] / length;
        const D3DCOLORVALUE& l = scene.lights[i].Diffuse;
        const D3DCOLORVALUE& m = scene.material.Diffuse;
        k[11 + i][0] = l.r * m.r;
        k[11 + i][1] = l.g * m.g;
        k[11 + i][2] = l.b * m.b;
    }
    k[14][0] = scene.material.Emissive.r + scene.ambient.r;
    k[14][1] = scene.material.Emissive.g + scene.ambient.g;
    k[14][2] = scene.material.Emissive.b + scene.ambient.b;
    k[14][3] = scene.material.Diffuse.a;
    k[15][1] = 1.0f;
}

struct ProgramRun {
    raster::VertexProgram program;
    raster::ProgramConstants constants;
    raster::VertexProgramInput input;
    std::vector<raster::detail::ClipVertex> out = std::vector<raster::detail::ClipVertex>(kVertices);
    raster::VertexProgramOutput output;

    ProgramRun() {
        Scene& scene = TheScene();
        if (program.Build(TransformAndLight()) != raster::VertexProgramError::None) std::abort();
        Constants(scene, constants);
        input.data = scene.fetched.data();
        input.stride = 12;
        for (int v = 0; v < 3; ++v) input.offset[v] = 4 * v;
        const raster::detail::AttributeLayout layout = Layout();
        output.data = out[0].pos;
        output.stride = sizeof(raster::detail::ClipVertex) / sizeof(float);
        output.position = 0;
        output.color[0] = 4;
        output.texcoord[0] = 4 + layout.texcoord[0];
        output.texcoordCount[0] = layout.texcoordCount[0];
    }
};

// The largest differences between the program's clip vertices and the fixed-function
// stage's, printed first: the two do the same work.
void CompareWithFixedFunction() {
    Scene& scene = TheScene();
    const raster::PipelineState state = FixedFunctionState(scene);
    raster::detail::VertexProcessor processor;
    processor.Prepare(state, Layout());
    const raster::VertexInput input{reinterpret_cast<const std::uint8_t*>(scene.vertices.data()),
                                    scene.vertices.size() * sizeof(Vertex), sizeof(Vertex)};
    std::vector<raster::detail::ClipVertex> fixed(kVertices);
    processor.Run(input, 0, static_cast<UINT>(kVertices), fixed.data());
    ProgramRun run;
    run.program.Run(run.constants, run.input, kVertices, run.output);
    float position = 0.0f, color = 0.0f, texcoord = 0.0f;
    for (std::size_t i = 0; i < kVertices; ++i) {
        for (int c = 0; c < 4; ++c) position = std::max(position, std::fabs(fixed[i].pos[c] - run.out[i].pos[c]));
        for (int c = 0; c < 4; ++c) color = std::max(color, std::fabs(fixed[i].attr[c] - run.out[i].attr[c]));
        for (int c = 4; c < 6; ++c) texcoord = std::max(texcoord, std::fabs(fixed[i].attr[c] - run.out[i].attr[c]));
    }
    std::printf("largest difference from the fixed-function stage: position %g, colour %g, coordinates %g\n", position,
                color, texcoord);
}

void BM_Program(benchmark::State& st, std::int64_t target) {
    static ProgramRun run;
    for (auto _ : st) {
        run.program.Run(run.constants, run.input, kVertices, run.output, target);
        benchmark::DoNotOptimize(run.out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * kVertices));
}

void BM_ProgramRef(benchmark::State& st) {
    static ProgramRun run;
    for (auto _ : st) {
        run.program.RunRef(run.constants, run.input, kVertices, run.output);
        benchmark::DoNotOptimize(run.out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations() * kVertices));
}

// The targets TOLVANE_VECTOR_TARGETS names (all when it is unset).
std::int64_t VectorTargets() {
    const char* names = std::getenv("TOLVANE_VECTOR_TARGETS");
    if (!names) return -1;
    std::int64_t targets = 0;
    std::string list = names;
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

// Prints each run's time over the fixed-function stage's: processor time, which a machine
// shared with other work disturbs less than wall time.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // With repetitions, the medians stand for their runs.
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")) continue;
            times_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const auto fixed = times_.find("BM_FixedFunction");
        if (fixed == times_.end()) return;
        for (const auto& [name, time] : times_)
            if (name != fixed->first)
                std::printf("%-20s %.2f x the fixed-function stage's CPU time\n", name.c_str(), time / fixed->second);
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

BENCHMARK(BM_FixedFunction)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);
BENCHMARK(BM_ProgramRef)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::int64_t chosen = VectorTargets();
    for (std::int64_t left = raster::detail::CompiledVertexProgramTargets() & ~HWY_SCALAR; left != 0; left &= left - 1) {
        const std::int64_t target = left & -left;
        if (!(target & chosen & hwy::SupportedTargets())) continue;
        benchmark::RegisterBenchmark((std::string("BM_Program/") + hwy::TargetName(target)).c_str(), BM_Program, target)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0);
    }
    CompareWithFixedFunction();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
