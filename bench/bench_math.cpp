// The math library's hot operations (the product, inverse, point transform, normalise and
// the axis rotation that every turning vehicle builds), beside GLM's equivalents measured in
// the same run. GLM's matrices hold the same sixteen floats for the same transformation, with
// the product order flipped (our a x b is GLM's b * a).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "math/math3d.h"

#ifdef TOLVANE_BENCH_GLM
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>
#endif

namespace {

constexpr int kCount = 1024;

std::vector<Matrix> RandomMatrices() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    std::vector<Matrix> out(kCount);
    for (Matrix& m : out) {
        for (auto& row : m.m)
            for (float& v : row) v = u(rng);
        m._11 += 5;
        m._22 += 5;
        m._33 += 5;
        m._44 += 5;
    }
    return out;
}

std::vector<Vector3> RandomPoints() {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-100.0f, 100.0f);
    std::vector<Vector3> out(kCount);
    for (Vector3& p : out) p = Vector3{u(rng), u(rng), u(rng)};
    return out;
}

void BM_MatrixMultiply(benchmark::State& state) {
    const std::vector<Matrix> a = RandomMatrices();
    Matrix out;
    for (auto _ : state)
        for (int i = 0; i + 1 < kCount; ++i) benchmark::DoNotOptimize(MatrixMultiply(&out, &a[i], &a[i + 1]));
    state.SetItemsProcessed(state.iterations() * (kCount - 1));
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixInverse(benchmark::State& state) {
    const std::vector<Matrix> a = RandomMatrices();
    Matrix out;
    for (auto _ : state)
        for (const Matrix& m : a) benchmark::DoNotOptimize(MatrixInverse(&out, nullptr, &m));
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_MatrixInverse);

void BM_Vec3TransformCoord(benchmark::State& state) {
    const std::vector<Vector3> points = RandomPoints();
    Matrix view, proj, m;
    const Vector3 eye{250, 250, -20}, at{250, 250, 0}, up{0, 1, 0};
    MatrixLookAtLH(&view, &eye, &at, &up);
    MatrixPerspectiveFovLH(&proj, 0.785f, 4.0f / 3.0f, 1.0f, 50000.0f);
    MatrixMultiply(&m, &view, &proj);
    std::vector<Vector3> out(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) Vec3TransformCoord(&out[i], &points[i], &m);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_Vec3TransformCoord);

void BM_Vec3Normalize(benchmark::State& state) {
    const std::vector<Vector3> points = RandomPoints();
    std::vector<Vector3> out(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) Vec3Normalize(&out[i], &points[i]);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_Vec3Normalize);

void BM_MatrixRotationAxis(benchmark::State& state) {
    const std::vector<Vector3> axes = RandomPoints();
    Matrix out;
    for (auto _ : state)
        for (const Vector3& a : axes) benchmark::DoNotOptimize(MatrixRotationAxis(&out, &a, 0.0087f));
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_MatrixRotationAxis);

#ifdef TOLVANE_BENCH_GLM
glm::mat4 ToGlm(const Matrix& m) {
    glm::mat4 g;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) g[i][j] = m.m[i][j];
    return g;
}

void BM_GlmMultiply(benchmark::State& state) {
    std::vector<glm::mat4> a;
    for (const Matrix& m : RandomMatrices()) a.push_back(ToGlm(m));
    for (auto _ : state)
        for (int i = 0; i + 1 < kCount; ++i) benchmark::DoNotOptimize(a[i + 1] * a[i]);
    state.SetItemsProcessed(state.iterations() * (kCount - 1));
}
BENCHMARK(BM_GlmMultiply);

void BM_GlmInverse(benchmark::State& state) {
    std::vector<glm::mat4> a;
    for (const Matrix& m : RandomMatrices()) a.push_back(ToGlm(m));
    for (auto _ : state)
        for (const glm::mat4& m : a) benchmark::DoNotOptimize(glm::inverse(m));
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_GlmInverse);

void BM_GlmTransformCoord(benchmark::State& state) {
    const std::vector<Vector3> points = RandomPoints();
    const glm::mat4 m = glm::perspectiveLH_ZO(0.785f, 4.0f / 3.0f, 1.0f, 50000.0f) *
                        glm::lookAtLH(glm::vec3(250, 250, -20), glm::vec3(250, 250, 0), glm::vec3(0, 1, 0));
    std::vector<glm::vec3> out(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) {
            const glm::vec4 h = m * glm::vec4(points[i].x, points[i].y, points[i].z, 1.0f);
            out[i] = glm::vec3(h) / h.w;
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_GlmTransformCoord);

void BM_GlmNormalize(benchmark::State& state) {
    const std::vector<Vector3> points = RandomPoints();
    std::vector<glm::vec3> out(kCount);
    for (auto _ : state) {
        for (int i = 0; i < kCount; ++i) out[i] = glm::normalize(glm::vec3(points[i].x, points[i].y, points[i].z));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_GlmNormalize);
#endif

}  // namespace

BENCHMARK_MAIN();
