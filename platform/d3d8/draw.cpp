// The draw calls: every argument is checked before the rasterizer sees it.
//
// A draw fails with D3DERR_INVALIDCALL, drawing nothing, when it comes outside
// BeginScene/EndScene, when the primitive type is unknown or the count is 0, when the
// vertex shader is not a format the rasterizer decodes, when no stream (or no index
// buffer) is set, when the stride is smaller than a vertex, when a vertex of the range
// lies beyond the buffer, or when an index lies outside [minIndex, minIndex +
// numVertices) or its vertex outside the buffer. Every index is read once here, so the
// rasterizer never reads outside a buffer.
//
// As on the platform, the user-pointer draws leave stream 0 (and the indices) unset.
#include <utility>

#include "platform/d3d8/device.h"
#include "platform/d3d8/fvf.h"

namespace d3d8 {
namespace {

// Vertices (or indices) a draw of count primitives reads; 0 for an unknown type.
std::uint64_t VerticesFor(D3DPRIMITIVETYPE type, UINT count) {
    const std::uint64_t n = count;
    switch (type) {
        case D3DPT_POINTLIST: return n;
        case D3DPT_LINELIST: return 2 * n;
        case D3DPT_LINESTRIP: return n + 1;
        case D3DPT_TRIANGLELIST: return 3 * n;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return n + 2;
    }
    return 0;
}

// Whether every one of count indices from `indices` lies in [low, low + span).
template <class Index>
bool IndicesInRange(const void* indices, std::uint64_t count, std::uint64_t low, std::uint64_t span) {
    const auto* values = static_cast<const Index*>(indices);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (values[i] < low || values[i] - low >= span) return false;
    }
    return true;
}

// Bytes a vertex range [first, first + count) needs in a stream of the stride; all ones
// when that does not fit in 64 bits (a 32-bit start and stride can get there).
std::uint64_t BytesFor(std::uint64_t first, std::uint64_t count, UINT stride, UINT vertexSize) {
    constexpr std::uint64_t kTooLarge = ~std::uint64_t{0};
    const std::uint64_t last = first + count - 1;
    if (stride != 0 && last > (kTooLarge - vertexSize) / stride) return kTooLarge;
    return last * stride + vertexSize;
}

constexpr DWORD kMaxPrimitives = 0x00FFFFFF;
// The caller's vertex memory cannot be checked; a range larger than an address space can
// hold is refused at least.
constexpr std::uint64_t kMaxUserBytes = std::uint64_t{1} << 47;

}  // namespace

HRESULT Device::CheckDrawCommon(D3DPRIMITIVETYPE type, UINT primitiveCount, UINT& vertexCount, UINT& vertexSize) {
    if (!inScene_) return D3DERR_INVALIDCALL;
    std::uint64_t vertices = VerticesFor(type, primitiveCount);
    if (vertices == 0 || primitiveCount == 0 || primitiveCount > kMaxPrimitives) return D3DERR_INVALIDCALL;
    if (!IsDrawableFvf(vertexShader_)) return D3DERR_INVALIDCALL;
    if (TargetsLocked()) return D3DERR_INVALIDCALL;
    vertexCount = static_cast<UINT>(vertices);
    vertexSize = FvfSize(vertexShader_);
    return D3D_OK;
}

void Device::BuildPipelineState(raster::PipelineState& state) {
    state = state_;
    state.world = worldMatrices_[0];
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        TextureCore* core = textures_[stage] != nullptr ? dynamic_cast<TextureCore*>(textures_[stage]) : nullptr;
        state.texture[stage] = core != nullptr ? core->Sampler() : nullptr;
    }
    state.lightCount = 0;
    for (const auto& [index, enabled] : lights_.enabled) {
        if (!enabled || state.lightCount == raster::PipelineState::kMaxLights) continue;
        state.lights[state.lightCount++] = lights_.lights.at(index);
    }
    state.fvf = vertexShader_;
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) state.textureTransform[stage] = textureMatrices_[stage];
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    UINT vertexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, vertexCount, vertexSize); FAILED(result))
        return result;
    if (stream_ == nullptr || streamStride_ < vertexSize) return D3DERR_INVALIDCALL;
    if (BytesFor(startVertex, vertexCount, streamStride_, vertexSize) > stream_->Length()) return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{stream_->Data(), stream_->Length(), streamStride_};
    rasterizer_->Draw(state, Target(), type, input, startVertex, primitiveCount);
    TargetWritten();
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount) {
    UINT indexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, indexCount, vertexSize); FAILED(result))
        return result;
    if (stream_ == nullptr || indices_ == nullptr || streamStride_ < vertexSize || numVertices == 0)
        return D3DERR_INVALIDCALL;
    // The vertex range, moved by the base vertex index, lies inside the stream ...
    if (BytesFor(std::uint64_t{baseVertexIndex_} + minIndex, numVertices, streamStride_, vertexSize) >
        stream_->Length())
        return D3DERR_INVALIDCALL;
    // ... the indices lie inside the index buffer, and each of them inside the range.
    const bool is32 = indices_->Format() == D3DFMT_INDEX32;
    const UINT indexSize = is32 ? 4 : 2;
    const std::uint64_t available = indices_->Length() / indexSize;
    if (std::uint64_t{startIndex} + indexCount > available) return D3DERR_INVALIDCALL;
    const std::uint8_t* first = indices_->Data() + std::size_t{startIndex} * indexSize;
    bool inRange = is32 ? IndicesInRange<std::uint32_t>(first, indexCount, minIndex, numVertices)
                        : IndicesInRange<std::uint16_t>(first, indexCount, minIndex, numVertices);
    if (!inRange) return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{stream_->Data(), stream_->Length(), streamStride_};
    raster::IndexInput indexInput{indices_->Data(), static_cast<std::size_t>(available), is32};
    rasterizer_->DrawIndexed(state, Target(), type, input, static_cast<INT>(baseVertexIndex_), indexInput, startIndex,
                             primitiveCount);
    TargetWritten();
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                UINT vertexStride) {
    UINT vertexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, vertexCount, vertexSize); FAILED(result))
        return result;
    if (vertexData == nullptr || vertexStride < vertexSize) return D3DERR_INVALIDCALL;
    const std::uint64_t bytes = BytesFor(0, vertexCount, vertexStride, vertexSize);
    if (bytes > kMaxUserBytes) return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{static_cast<const std::uint8_t*>(vertexData), static_cast<std::size_t>(bytes),
                              vertexStride};
    rasterizer_->Draw(state, Target(), type, input, 0, primitiveCount);
    TargetWritten();
    UnsetUserPointerInputs(false);
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                       const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                       UINT vertexStride) {
    UINT indexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, indexCount, vertexSize); FAILED(result))
        return result;
    if (indexData == nullptr || vertexData == nullptr || vertexStride < vertexSize || numVertices == 0)
        return D3DERR_INVALIDCALL;
    if (indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    const bool is32 = indexFormat == D3DFMT_INDEX32;
    // The caller's vertices are known to exist only up to minIndex + numVertices.
    bool inRange = is32 ? IndicesInRange<std::uint32_t>(indexData, indexCount, minIndex, numVertices)
                        : IndicesInRange<std::uint16_t>(indexData, indexCount, minIndex, numVertices);
    if (!inRange) return D3DERR_INVALIDCALL;
    const std::uint64_t bytes = BytesFor(minIndex, numVertices, vertexStride, vertexSize);
    if (bytes > kMaxUserBytes) return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{static_cast<const std::uint8_t*>(vertexData), static_cast<std::size_t>(bytes),
                              vertexStride};
    raster::IndexInput indexInput{indexData, indexCount, is32};
    rasterizer_->DrawIndexed(state, Target(), type, input, 0, indexInput, 0, primitiveCount);
    TargetWritten();
    UnsetUserPointerInputs(true);
    return D3D_OK;
}

// Not SetStreamSource and SetIndices: a state block being recorded would take these.
void Device::UnsetUserPointerInputs(bool indices) {
    if (stream_ != nullptr) std::exchange(stream_, nullptr)->Release();
    streamStride_ = 0;
    if (indices) {
        if (indices_ != nullptr) std::exchange(indices_, nullptr)->Release();
        baseVertexIndex_ = 0;
    }
}

}  // namespace d3d8
