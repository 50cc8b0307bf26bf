// State blocks (which states each kind holds, applying and capturing them through the
// device's own Set and Get methods) and the user clip planes they may hold.
//
// The pixel kind holds the render states of depth, stencil, alpha test and blending,
// fog range, texture factor, wrapping and colour writes, and every texture stage state.
// The vertex kind holds the render states of culling, lighting and materials, fog
// colour and modes, clipping, vertex blending and points, the stage states
// D3DTSS_TEXCOORDINDEX and D3DTSS_TEXTURETRANSFORMFLAGS, the lights and their enables,
// and the vertex shader. The pixel kind holds the pixel shader and its eight constants as
// well, the vertex kind the vertex shader's constants. All holds every state, and besides
// the textures, the sixteen streams, the indices, the transforms, the viewport, the material
// and the clip planes.
#include "platform/d3d8/stateblock.h"

#include <algorithm>
#include <utility>

#include "platform/d3d8/device.h"
#include "raster/raster.h"

namespace d3d8 {
namespace {

constexpr D3DRENDERSTATETYPE kPixelRenderStates[] = {
    D3DRS_ZENABLE, D3DRS_FILLMODE, D3DRS_SHADEMODE, D3DRS_LINEPATTERN, D3DRS_ZWRITEENABLE, D3DRS_ALPHATESTENABLE,
    D3DRS_LASTPIXEL, D3DRS_SRCBLEND, D3DRS_DESTBLEND, D3DRS_ZFUNC, D3DRS_ALPHAREF, D3DRS_ALPHAFUNC,
    D3DRS_DITHERENABLE, D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_ALPHABLENDENABLE,
    D3DRS_EDGEANTIALIAS, D3DRS_ZBIAS, D3DRS_STENCILENABLE, D3DRS_STENCILFAIL, D3DRS_STENCILZFAIL,
    D3DRS_STENCILPASS, D3DRS_STENCILFUNC, D3DRS_STENCILREF, D3DRS_STENCILMASK, D3DRS_STENCILWRITEMASK,
    D3DRS_TEXTUREFACTOR, D3DRS_WRAP0, D3DRS_WRAP1, D3DRS_WRAP2, D3DRS_WRAP3, D3DRS_WRAP4, D3DRS_WRAP5,
    D3DRS_WRAP6, D3DRS_WRAP7, D3DRS_COLORWRITEENABLE, D3DRS_BLENDOP,
};

constexpr D3DRENDERSTATETYPE kVertexRenderStates[] = {
    D3DRS_SHADEMODE, D3DRS_SPECULARENABLE, D3DRS_CULLMODE, D3DRS_FOGENABLE, D3DRS_FOGCOLOR, D3DRS_FOGTABLEMODE,
    D3DRS_FOGSTART, D3DRS_FOGEND, D3DRS_FOGDENSITY, D3DRS_RANGEFOGENABLE, D3DRS_AMBIENT, D3DRS_COLORVERTEX,
    D3DRS_FOGVERTEXMODE, D3DRS_CLIPPING, D3DRS_LIGHTING, D3DRS_NORMALIZENORMALS, D3DRS_LOCALVIEWER,
    D3DRS_EMISSIVEMATERIALSOURCE, D3DRS_AMBIENTMATERIALSOURCE, D3DRS_DIFFUSEMATERIALSOURCE,
    D3DRS_SPECULARMATERIALSOURCE, D3DRS_VERTEXBLEND, D3DRS_CLIPPLANEENABLE, D3DRS_SOFTWAREVERTEXPROCESSING,
    D3DRS_POINTSIZE, D3DRS_POINTSIZE_MIN, D3DRS_POINTSPRITEENABLE, D3DRS_POINTSCALEENABLE, D3DRS_POINTSCALE_A,
    D3DRS_POINTSCALE_B, D3DRS_POINTSCALE_C, D3DRS_MULTISAMPLEANTIALIAS, D3DRS_MULTISAMPLEMASK,
    D3DRS_PATCHEDGESTYLE, D3DRS_PATCHSEGMENTS, D3DRS_POINTSIZE_MAX, D3DRS_INDEXEDVERTEXBLENDENABLE,
    D3DRS_TWEENFACTOR,
};

template <class T>
void Replace(T*& slot, T* value) {
    if (value != nullptr) value->AddRef();
    if (T* old = std::exchange(slot, value)) old->Release();
}

}  // namespace

StateBlock::~StateBlock() {
    for (auto& texture : textures) Replace<IDirect3DBaseTexture8>(texture, nullptr);
    for (auto& stream : streams) Replace<IDirect3DVertexBuffer8>(stream, nullptr);
    Replace<IDirect3DIndexBuffer8>(indices, nullptr);
}

void StateBlock::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    hasTexture.set(stage);
    Replace(textures[stage], texture);
}

void StateBlock::SetStream(UINT index, IDirect3DVertexBuffer8* buffer, UINT stride) {
    hasStream.set(index);
    Replace(streams[index], buffer);
    streamStrides[index] = stride;
}

void StateBlock::SetIndices(IDirect3DIndexBuffer8* buffer, UINT base) {
    hasIndices = true;
    Replace(indices, buffer);
    baseVertexIndex = base;
}

bool MarkStateBlock(DWORD type, StateBlock& block) {
    if (type != D3DSBT_ALL && type != D3DSBT_PIXELSTATE && type != D3DSBT_VERTEXSTATE) return false;
    if (type == D3DSBT_ALL) {
        block.hasRenderState.set();
        for (auto& stage : block.hasStageState) stage.set();
        block.hasTexture.set();
        block.hasViewport = block.hasMaterial = block.hasIndices = true;
        block.hasStream.set();
        for (DWORD t = D3DTS_VIEW; t <= D3DTS_TEXTURE7; ++t) block.transforms[t] = D3DMATRIX{};
        for (DWORD t = D3DTS_WORLD; t < D3DTS_WORLD + 256; ++t) block.transforms[t] = D3DMATRIX{};
        for (DWORD i = 0; i < raster::kMaxClipPlanes; ++i) block.clipPlanes[i] = {};
    } else if (type == D3DSBT_PIXELSTATE) {
        for (D3DRENDERSTATETYPE state : kPixelRenderStates) block.hasRenderState.set(state);
        for (auto& stage : block.hasStageState) stage.set();
    } else {
        for (D3DRENDERSTATETYPE state : kVertexRenderStates) block.hasRenderState.set(state);
        for (auto& stage : block.hasStageState) {
            stage.set(D3DTSS_TEXCOORDINDEX);
            stage.set(D3DTSS_TEXTURETRANSFORMFLAGS);
        }
    }
    if (type != D3DSBT_PIXELSTATE) {
        block.hasVertexShader = true;
        block.hasVertexConstant.set();
    }
    if (type != D3DSBT_VERTEXSTATE) {
        block.hasPixelShader = true;
        block.hasPixelConstant.set();
    }
    block.allLights = type != D3DSBT_PIXELSTATE;
    return true;
}

void StateBlock::Capture(IDirect3DDevice8& device) {
    for (DWORD state = 0; state < D3DRS_COUNT; ++state) {
        if (hasRenderState[state] &&
            FAILED(device.GetRenderState(static_cast<D3DRENDERSTATETYPE>(state), &renderState[state])))
            hasRenderState.reset(state);  // not a state of the device
    }
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        for (DWORD type = 0; type < D3DTSS_COUNT; ++type) {
            if (hasStageState[stage][type] &&
                FAILED(device.GetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type),
                                                   &stageState[stage][type])))
                hasStageState[stage].reset(type);
        }
        if (hasTexture[stage]) {
            IDirect3DBaseTexture8* texture = nullptr;
            device.GetTexture(stage, &texture);
            Replace(textures[stage], texture);
            if (texture != nullptr) texture->Release();
        }
    }
    for (auto it = transforms.begin(); it != transforms.end();) {
        if (FAILED(device.GetTransform(static_cast<D3DTRANSFORMSTATETYPE>(it->first), &it->second)))
            it = transforms.erase(it);  // not a transform of the device
        else
            ++it;
    }
    if (hasViewport) device.GetViewport(&viewport);
    if (hasMaterial) device.GetMaterial(&material);
    if (!allLights) {
        for (auto& [index, light] : lights) device.GetLight(index, &light);
        for (auto& [index, enabled] : lightEnabled) {
            BOOL on = FALSE;
            if (SUCCEEDED(device.GetLightEnable(index, &on))) enabled = on != FALSE;
        }
    }
    for (UINT index = 0; index < kStreams; ++index) {
        if (!hasStream[index]) continue;
        IDirect3DVertexBuffer8* buffer = nullptr;
        device.GetStreamSource(index, &buffer, &streamStrides[index]);
        Replace(streams[index], buffer);
        if (buffer != nullptr) buffer->Release();
    }
    if (hasIndices) {
        IDirect3DIndexBuffer8* buffer = nullptr;
        device.GetIndices(&buffer, &baseVertexIndex);
        Replace(indices, buffer);
        if (buffer != nullptr) buffer->Release();
    }
    if (hasVertexShader) device.GetVertexShader(&vertexShader);
    if (hasPixelShader) device.GetPixelShader(&pixelShader);
    for (UINT r = 0; r < kPixelConstants; ++r)
        if (hasPixelConstant[r]) device.GetPixelShaderConstant(r, pixelConstants[r], 1);
    for (UINT r = 0; r < kVertexConstants; ++r)
        if (hasVertexConstant[r]) device.GetVertexShaderConstant(r, vertexConstants[r], 1);
    for (auto& [index, plane] : clipPlanes) device.GetClipPlane(index, plane.data());
}

void StateBlock::Apply(IDirect3DDevice8& device) {
    for (DWORD state = 0; state < D3DRS_COUNT; ++state)
        if (hasRenderState[state]) device.SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), renderState[state]);
    for (DWORD stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        for (DWORD type = 0; type < D3DTSS_COUNT; ++type)
            if (hasStageState[stage][type])
                device.SetTextureStageState(stage, static_cast<D3DTEXTURESTAGESTATETYPE>(type),
                                            stageState[stage][type]);
        if (hasTexture[stage]) device.SetTexture(stage, textures[stage]);
    }
    for (const auto& [state, matrix] : transforms) device.SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(state), &matrix);
    if (hasViewport) device.SetViewport(&viewport);
    if (hasMaterial) device.SetMaterial(&material);
    for (const auto& [index, light] : lights) device.SetLight(index, &light);
    // Lights go off before others come on, so that the limit of enabled lights holds.
    for (const auto& [index, enabled] : lightEnabled)
        if (!enabled) device.LightEnable(index, FALSE);
    for (const auto& [index, enabled] : lightEnabled)
        if (enabled) device.LightEnable(index, TRUE);
    for (UINT index = 0; index < kStreams; ++index)
        if (hasStream[index]) device.SetStreamSource(index, streams[index], streamStrides[index]);
    if (hasIndices) device.SetIndices(indices, baseVertexIndex);
    // The shader before its constants: setting a vertex shader loads its declaration's.
    if (hasVertexShader) device.SetVertexShader(vertexShader);
    for (UINT r = 0; r < kVertexConstants; ++r)
        if (hasVertexConstant[r]) device.SetVertexShaderConstant(r, vertexConstants[r], 1);
    // A pixel shader deleted since is refused by SetPixelShader and leaves the current one.
    if (hasPixelShader) device.SetPixelShader(pixelShader);
    for (UINT r = 0; r < kPixelConstants; ++r)
        if (hasPixelConstant[r]) device.SetPixelShaderConstant(r, pixelConstants[r], 1);
    for (const auto& [index, plane] : clipPlanes) device.SetClipPlane(index, plane.data());
}

}  // namespace d3d8

// ---- the device's state block calls -----------------------------------------------------

namespace d3d8 {

void Device::CaptureInto(StateBlock& block) {
    if (block.allLights) {
        block.lights = lights_.lights;
        block.lightEnabled.clear();
        for (const auto& [index, light] : lights_.lights) {
            auto found = lights_.enabled.find(index);
            block.lightEnabled[index] = found != lights_.enabled.end() && found->second;
        }
    }
    block.Capture(*this);
}

HRESULT Device::BeginStateBlock() {
    if (recording_) return D3DERR_INVALIDCALL;
    recording_ = std::make_unique<StateBlock>();
    return D3D_OK;
}

HRESULT Device::EndStateBlock(DWORD* token) {
    if (token == nullptr || !recording_) return D3DERR_INVALIDCALL;
    *token = nextStateBlock_++;
    stateBlocks_[*token] = std::move(recording_);
    return D3D_OK;
}

HRESULT Device::ApplyStateBlock(DWORD token) {
    auto found = stateBlocks_.find(token);
    if (recording_ || found == stateBlocks_.end()) return D3DERR_INVALIDCALL;
    found->second->Apply(*this);
    return D3D_OK;
}

HRESULT Device::CaptureStateBlock(DWORD token) {
    auto found = stateBlocks_.find(token);
    if (recording_ || found == stateBlocks_.end()) return D3DERR_INVALIDCALL;
    CaptureInto(*found->second);
    return D3D_OK;
}

HRESULT Device::DeleteStateBlock(DWORD token) {
    if (recording_ || stateBlocks_.erase(token) == 0) return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE type, DWORD* token) {
    if (token == nullptr || recording_) return D3DERR_INVALIDCALL;
    auto block = std::make_unique<StateBlock>();
    if (!MarkStateBlock(type, *block)) return D3DERR_INVALIDCALL;
    CaptureInto(*block);
    *token = nextStateBlock_++;
    stateBlocks_[*token] = std::move(block);
    return D3D_OK;
}

}  // namespace d3d8

// ---- user clip planes ---------------------------------------------------------------------

namespace d3d8 {

HRESULT Device::SetClipPlane(DWORD index, const float* plane) {
    if (plane == nullptr || index >= raster::kMaxClipPlanes) return D3DERR_INVALIDCALL;
    if (recording_) {
        std::copy(plane, plane + 4, recording_->clipPlanes[index].begin());
        return D3D_OK;
    }
    std::copy(plane, plane + 4, state_.clipPlanes[index]);
    return D3D_OK;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane) {
    if (plane == nullptr || index >= raster::kMaxClipPlanes) return D3DERR_INVALIDCALL;
    std::copy(state_.clipPlanes[index], state_.clipPlanes[index] + 4, plane);
    return D3D_OK;
}

}  // namespace d3d8
