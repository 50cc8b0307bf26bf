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
//
// ProcessVertices runs the draws' vertex processing (transform, lighting, vertex fog,
// texture coordinate generation and transforms) on vertices of stream 0 in the current
// vertex format, which must have an untransformed position, and writes them into a
// buffer whose format has D3DFVF_XYZRHW: position through the viewport with 1/w, and the
// destination format's diffuse, specular (alpha: the vertex fog factor when vertex fog is
// on, else the source's) and coordinate sets, set n from stage n. A set takes as many
// coordinates as the stage makes, components beyond them are left as they are; a stage
// that makes none writes zeros. With D3DPV_DONOTCOPYDATA only what processing makes is
// written: colours when lighting is on (specular also for vertex fog), sets whose stage
// generates or transforms coordinates. No clip codes are kept: every vertex, inside the
// view volume or not, is written in screen space (a w of 0 gives infinities, as the
// divide does), as the platform writes them with clipping off. Elements of the
// destination that processing has no value for (normal, point size) are left alone.
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/d3d8/device.h"
#include "platform/d3d8/fvf.h"
#include "platform/d3d8/state_translation.h"
#include "raster/vertex_processing.h"

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
    // No primitives of a known type: nothing to draw, and no error.
    raster::PrimitiveType known = raster::PrimitiveType::PointList;
    if (primitiveCount == 0 && ToRaster(type, known)) return S_FALSE;
    std::uint64_t vertices = VerticesFor(type, primitiveCount);
    if (vertices == 0 || primitiveCount == 0 || primitiveCount > kMaxPrimitives) return D3DERR_INVALIDCALL;
    const bool shader = CurrentVertexShader() != nullptr;
    if (!shader && !IsDrawableFvf(vertexShader_)) return D3DERR_INVALIDCALL;
    if (TargetsLocked()) return D3DERR_INVALIDCALL;
    vertexCount = static_cast<UINT>(vertices);
    vertexSize = shader ? 0 : FvfSize(vertexShader_);
    return D3D_OK;
}

std::uint8_t TextureCore::SignedChannels() { return SignedChannelsOf(LevelMemory(0, 0)->Format()); }

// The states were translated as they were set; the rest is copied into raster's types.
void Device::BuildPipelineState(raster::PipelineState& state, bool textures) {
    state.states = drawState_;
    state.world = ToRaster(worldMatrices_[0]);
    state.view = ToRaster(state_.view);
    state.projection = ToRaster(state_.projection);
    state.viewport = ToRaster(state_.viewport);
    state.material = ToRaster(state_.material);
    std::memcpy(state.clipPlanes, state_.clipPlanes, sizeof state.clipPlanes);
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES && textures; ++stage) {
        TextureCore* core = textures_[stage] != nullptr ? dynamic_cast<TextureCore*>(textures_[stage]) : nullptr;
        state.texture[stage] = core != nullptr ? core->Sampler() : nullptr;
        // The signed channels of the bound texture's format, read as -1..1 by pixel programs
        // and by the bump-mapping stages.
        state.states.stages[stage].signedChannels =
            state.texture[stage] != nullptr ? core->SignedChannels() : 0;
    }
    state.lightCount = 0;
    for (const auto& [index, enabled] : lights_.enabled) {
        if (!enabled || state.lightCount == raster::kMaxLights) continue;
        state.lights[state.lightCount++] = ToRaster(lights_.lights.at(index));
    }
    DecodeFvf(vertexShader_, state.vertex);  // a drawable format (CheckDrawCommon)
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage)
        state.textureTransform[stage] = ToRaster(textureMatrices_[stage]);
}

namespace {

// A primitive type CheckDrawCommon accepted.
raster::PrimitiveType Primitive(D3DPRIMITIVETYPE type) {
    raster::PrimitiveType primitive = raster::PrimitiveType::PointList;
    const bool known = ToRaster(type, primitive);
    assert(known);
    (void)known;
    return primitive;
}

}  // namespace

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    UINT vertexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, vertexCount, vertexSize); result != D3D_OK)
        return FAILED(result) ? result : D3D_OK;
    if (CurrentVertexShader() != nullptr)
        return DrawDeclared(type, primitiveCount, startVertex, vertexCount, nullptr, 0, nullptr, 0);
    if (stream_ == nullptr || streamStride_ < vertexSize) return D3DERR_INVALIDCALL;
    if (BytesFor(startVertex, vertexCount, streamStride_, vertexSize) > stream_->Length()) return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{stream_->Data(), stream_->Length(), streamStride_};
    rasterizer_->Draw(state, Target(), Primitive(type), input, startVertex, primitiveCount);
    TargetWritten();
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount) {
    UINT indexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, indexCount, vertexSize); result != D3D_OK)
        return FAILED(result) ? result : D3D_OK;
    const bool declared = CurrentVertexShader() != nullptr;
    if ((!declared && stream_ == nullptr) || indices_ == nullptr || streamStride_ < vertexSize || numVertices == 0)
        return D3DERR_INVALIDCALL;
    // The vertex range, moved by the base vertex index, lies inside the stream ...
    if (!declared && BytesFor(std::uint64_t{baseVertexIndex_} + minIndex, numVertices, streamStride_, vertexSize) >
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
    if (declared) {
        // The streams' vertices baseVertexIndex + minIndex on, numVertices of them.
        const raster::IndexInput declaredIndices{first, static_cast<std::size_t>(available - startIndex), is32};
        return DrawDeclared(type, primitiveCount, std::uint64_t{baseVertexIndex_} + minIndex, numVertices,
                            &declaredIndices, -static_cast<INT>(minIndex), nullptr, 0);
    }

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{stream_->Data(), stream_->Length(), streamStride_};
    raster::IndexInput indexInput{indices_->Data(), static_cast<std::size_t>(available), is32};
    rasterizer_->DrawIndexed(state, Target(), Primitive(type), input, static_cast<INT>(baseVertexIndex_), indexInput, startIndex,
                             primitiveCount);
    TargetWritten();
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                UINT vertexStride) {
    UINT vertexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, vertexCount, vertexSize); result != D3D_OK)
        return FAILED(result) ? result : D3D_OK;
    if (vertexData == nullptr || vertexStride < vertexSize) return D3DERR_INVALIDCALL;
    const std::uint64_t bytes = BytesFor(0, vertexCount, vertexStride, vertexSize);
    if (bytes > kMaxUserBytes) return D3DERR_INVALIDCALL;
    if (CurrentVertexShader() != nullptr) {
        const HRESULT result = DrawDeclared(type, primitiveCount, 0, vertexCount, nullptr, 0,
                                            static_cast<const std::uint8_t*>(vertexData), vertexStride);
        if (SUCCEEDED(result)) UnsetUserPointerInputs(false);
        return result;
    }

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{static_cast<const std::uint8_t*>(vertexData), static_cast<std::size_t>(bytes),
                              vertexStride};
    rasterizer_->Draw(state, Target(), Primitive(type), input, 0, primitiveCount);
    TargetWritten();
    UnsetUserPointerInputs(false);
    return D3D_OK;
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                       const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                       UINT vertexStride) {
    UINT indexCount = 0, vertexSize = 0;
    if (HRESULT result = CheckDrawCommon(type, primitiveCount, indexCount, vertexSize); result != D3D_OK)
        return FAILED(result) ? result : D3D_OK;
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
    if (CurrentVertexShader() != nullptr) {
        const raster::IndexInput declaredIndices{indexData, indexCount, is32};
        const HRESULT result =
            DrawDeclared(type, primitiveCount, 0, numVertices, &declaredIndices, -static_cast<INT>(minIndex),
                         static_cast<const std::uint8_t*>(vertexData) + std::size_t{minIndex} * vertexStride,
                         vertexStride);
        if (SUCCEEDED(result)) UnsetUserPointerInputs(true);
        return result;
    }

    raster::PipelineState state;
    BuildPipelineState(state);
    raster::VertexInput input{static_cast<const std::uint8_t*>(vertexData), static_cast<std::size_t>(bytes),
                              vertexStride};
    raster::IndexInput indexInput{indexData, indexCount, is32};
    rasterizer_->DrawIndexed(state, Target(), Primitive(type), input, 0, indexInput, 0, primitiveCount);
    TargetWritten();
    UnsetUserPointerInputs(true);
    return D3D_OK;
}

// Not SetStreamSource and SetIndices: a state block being recorded would take these.
void Device::UnsetUserPointerInputs(bool indices) {
    if (stream_ != nullptr) std::exchange(stream_, nullptr)->Unbind();
    streamStride_ = 0;
    if (indices) {
        if (indices_ != nullptr) std::exchange(indices_, nullptr)->Unbind();
        baseVertexIndex_ = 0;
    }
}

namespace {

std::uint32_t PackColor(const float rgba[4]) {
    auto byte = [](float v) { return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return (byte(rgba[3]) << 24) | (byte(rgba[0]) << 16) | (byte(rgba[1]) << 8) | byte(rgba[2]);
}

}  // namespace

HRESULT Device::ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount,
                                IDirect3DVertexBuffer8* destination, DWORD flags) {
    using FvfLayout = raster::VertexLayout;
    if ((flags & ~D3DPV_DONOTCOPYDATA) != 0) return D3DERR_INVALIDCALL;
    auto* dest = dynamic_cast<VertexBuffer*>(destination);
    if (dest == nullptr || dest->OwnerDevice() != this) return D3DERR_INVALIDCALL;
    FvfLayout out;
    if (!IsFvf(dest->Fvf()) || (dest->Fvf() & D3DFVF_POSITION_MASK) != D3DFVF_XYZRHW ||
        !DecodeFvf(dest->Fvf(), out))
        return D3DERR_INVALIDCALL;
    FvfLayout in;
    if (stream_ == nullptr || !IsDrawableFvf(vertexShader_) || !DecodeFvf(vertexShader_, in) ||
        in.pretransformed || streamStride_ < static_cast<UINT>(in.size))
        return D3DERR_INVALIDCALL;
    if (vertexCount == 0) return D3D_OK;
    const UINT outSize = static_cast<UINT>(out.size);
    if (BytesFor(srcStartIndex, vertexCount, streamStride_, static_cast<UINT>(in.size)) > stream_->Length() ||
        BytesFor(destIndex, vertexCount, outSize, outSize) > dest->Length())
        return D3DERR_INVALIDCALL;

    raster::PipelineState state;
    BuildPipelineState(state, false);
    raster::detail::AttributeLayout layout;
    layout.specular = 4;
    layout.fog = 7;
    layout.count = 8;
    for (int set = 0; set < out.texCount; ++set) {
        layout.texcoord[set] = layout.count;
        layout.texcoordCount[set] = 4;
        layout.count += 4;
    }
    raster::detail::VertexProcessor processor;
    processor.Prepare(state, layout);

    const raster::DrawState& rs = state.states;
    const bool copyAll = (flags & D3DPV_DONOTCOPYDATA) == 0;
    const bool lighting = rs.lighting;
    const bool vertexFog = rs.fog && rs.pixelFog == raster::FogMode::None && rs.vertexFog != raster::FogMode::None;
    const bool writeDiffuse = out.diffuse >= 0 && (copyAll || lighting);
    const bool writeSpecular = out.specular >= 0 && (copyAll || lighting || vertexFog);
    raster::detail::TextureCoordinates coordinates[8];
    bool writeSet[8] = {};
    for (int set = 0; set < out.texCount; ++set) {
        coordinates[set] = raster::detail::StageCoordinates(state, set);
        const bool generated = coordinates[set].source != raster::detail::TextureCoordinates::Source::Set;
        writeSet[set] = copyAll || generated || coordinates[set].transform;
    }
    const D3DVIEWPORT8& vp = state_.viewport;
    const float halfWidth = static_cast<float>(vp.Width) * 0.5f, halfHeight = static_cast<float>(vp.Height) * 0.5f;

    const raster::VertexInput input{stream_->Data(), stream_->Length(), streamStride_};
    // The source and the destination may be one buffer: each batch is processed before it is written.
    constexpr UINT kBatch = 256;
    std::vector<raster::detail::ClipVertex> processed(std::min(vertexCount, kBatch));
    auto* bytes = const_cast<std::uint8_t*>(dest->Data());
    for (UINT done = 0; done < vertexCount;) {
        const UINT count = std::min(vertexCount - done, kBatch);
        processor.Run(input, srcStartIndex + done, count, processed.data());
        for (UINT i = 0; i < count; ++i) {
            const raster::detail::ClipVertex& v = processed[i];
            std::uint8_t* vertex = bytes + (std::size_t{destIndex} + done + i) * outSize;
            const float rhw = 1.0f / v.pos[3];
            const float position[4] = {static_cast<float>(vp.X) + (1.0f + v.pos[0] * rhw) * halfWidth,
                                       static_cast<float>(vp.Y) + (1.0f - v.pos[1] * rhw) * halfHeight,
                                       vp.MinZ + v.pos[2] * rhw * (vp.MaxZ - vp.MinZ), rhw};
            std::memcpy(vertex, position, sizeof position);
            if (writeDiffuse) {
                const std::uint32_t diffuse = PackColor(v.attr);
                std::memcpy(vertex + out.diffuse, &diffuse, 4);
            }
            if (writeSpecular) {
                float specular[4] = {v.attr[4], v.attr[5], v.attr[6], v.attr[7]};
                if (!vertexFog) {  // the source's own alpha, or opaque
                    std::uint32_t source = 0xFF000000u;
                    if (in.specular >= 0) {
                        const std::uint8_t* from = input.data + (std::size_t{srcStartIndex} + done + i) * streamStride_;
                        std::memcpy(&source, from + in.specular, 4);
                    }
                    specular[3] = static_cast<float>(source >> 24) / 255.0f;
                }
                const std::uint32_t packed = PackColor(specular);
                std::memcpy(vertex + out.specular, &packed, 4);
            }
            for (int set = 0; set < out.texCount; ++set) {
                if (!writeSet[set]) continue;
                const int made = coordinates[set].count;
                const int floats = made == 0 ? out.texcoordFloats[set] : std::min(made, out.texcoordFloats[set]);
                std::memcpy(vertex + out.texcoord[set], v.attr + layout.texcoord[set], 4 * static_cast<std::size_t>(floats));
            }
        }
        done += count;
    }
    return D3D_OK;
}

}  // namespace d3d8
