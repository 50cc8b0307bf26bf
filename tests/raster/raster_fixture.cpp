#include "raster_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "tests/support/camera.h"
#include "tests/support/image_files.h"

namespace rastertest {

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = Identity();
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX out{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) out.m[r][c] += a.m[r][k] * b.m[k][c];
    return out;
}

D3DMATRIX LookAt(const float eye[3], const float at[3], const float up[3]) {
    return support::As<D3DMATRIX>(support::LookAt(eye, at, up));
}

D3DMATRIX Perspective(float fovY, float aspect, float zNear, float zFar) {
    return support::As<D3DMATRIX>(support::Perspective(fovY, aspect, zNear, zFar));
}

void SetDefaultStates(D3DState& state) { d3d8::SetDefaultStates(state.renderState, state.stageState); }

raster::PipelineState Translated(const D3DState& s) {
    raster::PipelineState out;
    d3d8::TranslateStates(s.renderState, s.stageState, out.states);
    std::copy(std::begin(s.texture), std::end(s.texture), out.texture);
    out.world = d3d8::ToRaster(s.world);
    out.view = d3d8::ToRaster(s.view);
    out.projection = d3d8::ToRaster(s.projection);
    out.viewport = d3d8::ToRaster(s.viewport);
    out.material = d3d8::ToRaster(s.material);
    out.lightCount = s.lightCount;
    for (int i = 0; i < s.lightCount; ++i) out.lights[i] = d3d8::ToRaster(s.lights[i]);
    EXPECT_TRUE(d3d8::DecodeFvf(s.fvf, out.vertex)) << s.fvf;
    std::memcpy(out.clipPlanes, s.clipPlanes, sizeof out.clipPlanes);
    for (int stage = 0; stage < raster::kMaxStages; ++stage)
        out.textureTransform[stage] = d3d8::ToRaster(s.textureTransform[stage]);
    return out;
}

namespace {

raster::PrimitiveType Primitive(D3DPRIMITIVETYPE type) {
    raster::PrimitiveType primitive = raster::PrimitiveType::PointList;
    EXPECT_TRUE(d3d8::ToRaster(type, primitive)) << type;
    return primitive;
}

}  // namespace

void Rasterizer::Clear(const raster::RenderTarget& target, const D3DVIEWPORT8& viewport, DWORD count,
                       const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    std::vector<raster::Rect> converted;
    for (DWORD i = 0; rects != nullptr && i < count; ++i)
        converted.push_back({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
    rasterizer_.Clear(target, d3d8::ToRaster(viewport), count, rects != nullptr ? converted.data() : nullptr,
                      d3d8::ToClearBuffers(flags), color, z, stencil);
}

void Rasterizer::Draw(const D3DState& state, const raster::RenderTarget& target, D3DPRIMITIVETYPE type,
                      const raster::VertexInput& input, UINT startVertex, UINT primitiveCount) {
    rasterizer_.Draw(Translated(state), target, Primitive(type), input, startVertex, primitiveCount);
}

void Rasterizer::DrawIndexed(const D3DState& state, const raster::RenderTarget& target, D3DPRIMITIVETYPE type,
                             const raster::VertexInput& input, INT baseVertex, const raster::IndexInput& indices,
                             UINT startIndex, UINT primitiveCount) {
    rasterizer_.DrawIndexed(Translated(state), target, Primitive(type), input, baseVertex, indices, startIndex,
                            primitiveCount);
}

D3DState BasicState(int width, int height, DWORD fvf) {
    D3DState s;
    SetDefaultStates(s);
    s.renderState[D3DRS_LIGHTING] = FALSE;
    s.renderState[D3DRS_CULLMODE] = D3DCULL_NONE;
    s.world = s.view = s.projection = Identity();
    s.viewport = {0, 0, static_cast<DWORD>(width), static_cast<DWORD>(height), 0.0f, 1.0f};
    s.fvf = fvf;
    return s;
}

Texture::Texture(int width, int height, int levels) {
    sampler.levelCount = levels;
    storage.resize(static_cast<std::size_t>(levels));
    for (int l = 0; l < levels; ++l) {
        storage[l].assign(static_cast<std::size_t>(width) * height, 0xFFFFFFFFu);
        sampler.levels[l] = {storage[l].data(), width, height, width};
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
}

Texture Checker(int size, int cell, bool tintLevels) {
    int levels = 1;
    while ((size >> (levels - 1)) > 1) ++levels;
    if (!tintLevels) levels = 1;
    Texture t(size, size, levels);
    static const std::uint32_t kTints[] = {0xFFFFFFFF, 0xFFFF4040, 0xFF40FF40, 0xFF4040FF, 0xFFFFFF40,
                                           0xFF40FFFF, 0xFFFF40FF, 0xFF808080, 0xFFC0C0C0};
    for (int l = 0; l < levels; ++l) {
        const raster::SamplerLevel& level = t.sampler.levels[l];
        for (int y = 0; y < level.height; ++y)
            for (int x = 0; x < level.width; ++x) {
                bool dark = (((x << l) / cell) + ((y << l) / cell)) & 1;
                std::uint32_t light = tintLevels ? kTints[l % 9] : 0xFFFFFFFFu;
                t.At(l, x, y) = dark ? 0xFF202020u : light;
            }
    }
    return t;
}

void ExpectGolden(const Target& target, const std::string& name, int tolerance) {
    std::string path = std::string(TOLVANE_SOURCE_DIR) + "/tests/raster/golden/" + name + ".png";
    const char* update = std::getenv("TOLVANE_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        ASSERT_TRUE(support::WritePngRgb(path, target.width, target.height, target.color)) << path;
        return;
    }
    std::vector<std::uint32_t> golden;
    int width = 0, height = 0;
    ASSERT_TRUE(support::ReadPngArgb(path, width, height, golden)) << "missing golden " << path;
    ASSERT_EQ(width, target.width);
    ASSERT_EQ(height, target.height);
    int mismatches = 0, worst = 0;
    for (std::size_t i = 0; i < golden.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            int a = static_cast<int>((golden[i] >> shift) & 0xFF), b = static_cast<int>((target.color[i] >> shift) & 0xFF);
            int diff = a > b ? a - b : b - a;
            if (diff > worst) worst = diff;
            if (diff > tolerance) {
                ++mismatches;
                break;
            }
        }
    }
    if (mismatches) {
        std::string actual = std::string(TOLVANE_BINARY_DIR) + "/" + name + ".actual.png";
        support::WritePngRgb(actual, target.width, target.height, target.color);
        ADD_FAILURE() << name << ": " << mismatches << " pixels differ by more than " << tolerance
                      << " (worst " << worst << "); actual picture in " << actual;
    }
}

}  // namespace rastertest
