// The rasterizer's entry points and a draw's top level: its pixel configuration, the vertex
// stage, then assembly; and Flush, which runs the tile pass over the worker pool.
#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "raster/rasterizer_impl.h"
#include "raster/vertex_program.h"

namespace raster {

using namespace detail;

Rasterizer::Rasterizer(int threads) {
    if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    RasterOptions options;
    options.threads = threads;
    impl_ = std::make_unique<Impl>(options);
}

Rasterizer::Rasterizer(const RasterOptions& options) {
    RasterOptions o = options;
    if (o.threads <= 0) o.threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    impl_ = std::make_unique<Impl>(o);
}

Rasterizer::~Rasterizer() { Flush(); }

void Rasterizer::Clear(const RenderTarget& target, const Viewport& viewport, std::uint32_t count, const Rect* rects,
                       ClearBuffers buffers, std::uint32_t color, float z, std::uint32_t stencil) {
    impl_->Clear(target, viewport, count, rects, buffers, color, z, stencil);
}

void Rasterizer::Draw(const PipelineState& state, const RenderTarget& target, PrimitiveType type,
                      const VertexInput& input, std::uint32_t startVertex, std::uint32_t primitiveCount) {
    std::uint32_t vertexCount = VertexCountFor(type, primitiveCount);
    if (vertexCount == 0) return;
    impl_->Draw(state, target, type, input, startVertex, vertexCount, nullptr, 0, 0, primitiveCount);
}

void Rasterizer::DrawIndexed(const PipelineState& state, const RenderTarget& target, PrimitiveType type,
                             const VertexInput& input, std::int32_t baseVertex, const IndexInput& indices,
                             std::uint32_t startIndex, std::uint32_t primitiveCount) {
    std::uint32_t indexCount = VertexCountFor(type, primitiveCount);
    if (indexCount == 0) return;
    assert(std::size_t{startIndex} + indexCount <= indices.count);
    impl_->Draw(state, target, type, input, 0, indexCount, &indices, baseVertex, startIndex, primitiveCount);
}

void Rasterizer::Flush() { impl_->Flush(); }

void Rasterizer::Impl::BindTarget(const RenderTarget& target) {
    // Every field: memory a freed buffer leaves may come back as another layout.
    if (bound && binTarget == target)
        return;
    Flush();
    binTarget = target;
    bound = true;
    tilesX = (target.width + kTileWidth - 1) >> kTileShiftX;
    tilesY = (target.height + kTileHeight - 1) >> kTileShiftY;
    bins.resize(static_cast<std::size_t>(tilesX) * tilesY);
}

void Rasterizer::Impl::Draw(const PipelineState& state, const RenderTarget& target, PrimitiveType type,
                            const VertexInput& input, std::uint32_t firstVertex, std::uint32_t vertexCount,
                            const IndexInput* indices, std::int32_t baseVertex, std::uint32_t startIndex,
                            std::uint32_t primitiveCount) {
    assert(target.color != nullptr && target.width > 0 && target.height > 0);
    BindTarget(target);
    if (QueueFull()) Flush();

    draws.emplace_back();
    BuildDrawSetup(state, target, draws.back(), options);
    draw = &draws.back();
    drawIndex = static_cast<std::uint32_t>(draws.size() - 1);
    if (draw->clipX0 >= draw->clipX1 || draw->clipY0 >= draw->clipY1) return;

    const DrawState& rs = state.states;
    fillMode = rs.fill;
    cullMode = rs.cull;
    flat = rs.shade == ShadeMode::Flat;
    lastPixel = rs.lastPixel;
    pointSizeMin = std::max(rs.pointSizeMin, 0.0f);
    pointSizeMax = std::min(rs.pointSizeMax, kMaxPointSize);
    pointSprite = rs.pointSprite;
    attrCount = draw->layout.count;
    const Viewport& vp = state.viewport;
    vpX = static_cast<float>(vp.x);
    vpY = static_cast<float>(vp.y);
    vpHalfW = static_cast<float>(vp.width) * 0.5f;
    vpHalfH = static_cast<float>(vp.height) * 0.5f;
    vpMinZ = vp.minZ;
    vpScaleZ = vp.maxZ - vp.minZ;
    guardX = std::max(1.0f, (kGuardPixels - static_cast<float>(vp.x)) / std::max(vpHalfW, 0.5f) - 1.0f);
    guardY = std::max(1.0f, (kGuardPixels - static_cast<float>(vp.y)) / std::max(vpHalfH, 0.5f) - 1.0f);

    // The vertex stage's branch point: a vertex program runs in the place of the
    // fixed-function vertex processor, writing the same clip vertices.
    const VertexProgram* program = rs.vertexProgram;
    if (program != nullptr) {
        pretransformed = false;
    } else {
        vertexProcessor.Prepare(state, draw->layout);
        pretransformed = vertexProcessor.Pretransformed();
    }
    SetUserPlanes(state);
    auto process = [&](std::uint32_t first, std::uint32_t count) {
        vertices.resize(count);
        if (program == nullptr) {
            vertexProcessor.Run(input, first, count, vertices.data());
            return;
        }
        RunVertexProgram(*program, state, input, first, count);
        // A program's oPts is the size in pixels; without one the state's size holds.
        if (!program->WritesPointSize())
            for (ClipVertex& v : vertices) v.pointSize = rs.pointSize;
    };

    if (!indices) {
        process(firstVertex, vertexCount);
        Assemble(type, primitiveCount, nullptr);
        return;
    }
    // Only the vertices the indices reach are processed, each once.
    indexScratch.resize(vertexCount);
    std::int64_t lowest = INT64_MAX, highest = INT64_MIN;
    for (std::uint32_t i = 0; i < vertexCount; ++i) {
        std::size_t at = std::size_t{startIndex} + i;
        std::int64_t index = indices->is32 ? static_cast<const std::uint32_t*>(indices->data)[at]
                                           : static_cast<const std::uint16_t*>(indices->data)[at];
        index += baseVertex;
        assert(index >= 0);
        lowest = std::min(lowest, index);
        highest = std::max(highest, index);
        indexScratch[i] = static_cast<std::uint32_t>(index);
    }
    for (std::uint32_t& index : indexScratch) index -= static_cast<std::uint32_t>(lowest);
    std::uint32_t span = static_cast<std::uint32_t>(highest - lowest + 1);
    process(static_cast<std::uint32_t>(lowest), span);
    Assemble(type, primitiveCount, indexScratch.data());
}

// The program's outputs go straight into the clip vertices: position, oD0 to the diffuse
// slot, oD1 to the specular slot (three components), oFog and each stage's oT# to theirs
// when the draw interpolates them.
void Rasterizer::Impl::RunVertexProgram(const VertexProgram& program, const PipelineState& state,
                                        const VertexInput& input, std::uint32_t first, std::uint32_t count) {
    static const ProgramConstants kZeroConstants = {};
    const AttributeLayout& layout = draw->layout;
    VertexProgramInput in;
    in.data = reinterpret_cast<const float*>(input.data + std::size_t{first} * input.stride);
    in.stride = input.stride / sizeof(float);
    for (int v = 0; v < kProgramInputs; ++v) in.offset[v] = state.programInputs[v];
    VertexProgramOutput out;
    out.data = vertices.data()->pos;
    out.stride = sizeof(ClipVertex) / sizeof(float);
    out.position = 0;
    out.color[0] = 4;
    if (layout.specular >= 0) {
        out.color[1] = 4 + layout.specular;
        out.colorCount[1] = 3;
    }
    if (layout.fog >= 0) out.fog = 4 + layout.fog;
    if (program.WritesPointSize()) out.pointSize = static_cast<int>(offsetof(ClipVertex, pointSize) / sizeof(float));
    for (int s = 0; s < kMaxStages && s < kProgramTexcoords; ++s) {
        if (layout.texcoord[s] < 0) continue;
        out.texcoord[s] = 4 + layout.texcoord[s];
        out.texcoordCount[s] = layout.texcoordCount[s];
    }
    const ProgramConstants& constants = state.programConstants != nullptr
                                            ? *reinterpret_cast<const ProgramConstants*>(state.programConstants)
                                            : kZeroConstants;
    program.Run(constants, in, count, out);
}

void Rasterizer::Impl::Flush() {
    if (!prims.empty()) {
        // Tiles go out column by column: the tiles drawn at the same time are then one
        // above the other and share no cache lines, where side by side they would share
        // the lines their rows straddle when the target is not 64-byte aligned.
        std::function<void(int)> job = [this](int index) { DrawTile(index % tilesY * tilesX + index / tilesY); };
        pool.Run(tilesX * tilesY, job);
    }
    for (auto& bin : bins) bin.clear();
    binEntries = 0;
    prims.clear();
    planePool.clear();
    draws.clear();
    draw = nullptr;
}

std::uint32_t VertexCountFor(PrimitiveType type, std::uint32_t primitiveCount) {
    if (primitiveCount == 0) return 0;
    switch (type) {
        case PrimitiveType::PointList: return primitiveCount;
        case PrimitiveType::LineList: return primitiveCount * 2;
        case PrimitiveType::LineStrip: return primitiveCount + 1;
        case PrimitiveType::TriangleList: return primitiveCount * 3;
        case PrimitiveType::TriangleStrip:
        case PrimitiveType::TriangleFan: return primitiveCount + 2;
    }
    Unreachable();
}

}  // namespace raster
