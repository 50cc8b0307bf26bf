// Internal to d3d8/: a state block, the states it holds and their values.
//
// A block made by CreateStateBlock holds the states of its kind (all, the pixel stage's,
// the vertex stage's) as they are at creation; a recorded block holds the states set
// between BeginStateBlock and EndStateBlock, with the last value set. Apply sets the
// held states on the device, Capture reads their current values back. Textures and
// buffers a block holds are referenced by it until it is deleted or overwritten.
#pragma once

#include <array>
#include <bitset>
#include <map>

#include "platform/d3d8/d3d8.h"

namespace d3d8 {

struct StateBlock {
    StateBlock() = default;
    StateBlock(const StateBlock&) = delete;
    StateBlock& operator=(const StateBlock&) = delete;
    ~StateBlock();

    void SetTexture(DWORD stage, IDirect3DBaseTexture8* texture);
    void SetStream(UINT index, IDirect3DVertexBuffer8* buffer, UINT stride);
    void SetIndices(IDirect3DIndexBuffer8* buffer, UINT base);
    // Sets the held states on the device, or reads their values from it.
    void Apply(IDirect3DDevice8& device);
    void Capture(IDirect3DDevice8& device);

    std::bitset<D3DRS_COUNT> hasRenderState;
    std::array<DWORD, D3DRS_COUNT> renderState{};
    std::bitset<D3DTSS_COUNT> hasStageState[D3DMAXTEXTURESTAGES];
    DWORD stageState[D3DMAXTEXTURESTAGES][D3DTSS_COUNT] = {};
    std::bitset<D3DMAXTEXTURESTAGES> hasTexture;
    std::array<IDirect3DBaseTexture8*, D3DMAXTEXTURESTAGES> textures{};  // referenced
    std::map<DWORD, D3DMATRIX> transforms;                               // by D3DTRANSFORMSTATETYPE
    bool hasViewport = false;
    D3DVIEWPORT8 viewport{};
    bool hasMaterial = false;
    D3DMATERIAL8 material{};
    std::map<DWORD, D3DLIGHT8> lights;
    std::map<DWORD, bool> lightEnabled;
    static constexpr UINT kStreams = 16;
    std::bitset<kStreams> hasStream;
    std::array<IDirect3DVertexBuffer8*, kStreams> streams{};  // referenced
    std::array<UINT, kStreams> streamStrides{};
    bool hasIndices = false;
    IDirect3DIndexBuffer8* indices = nullptr;  // referenced
    UINT baseVertexIndex = 0;
    bool hasVertexShader = false;
    DWORD vertexShader = 0;
    bool hasPixelShader = false;
    DWORD pixelShader = 0;
    // Shader constants, each register on its own (recording keeps the registers set).
    static constexpr UINT kPixelConstants = 8, kVertexConstants = 96;
    std::bitset<kPixelConstants> hasPixelConstant;
    float pixelConstants[kPixelConstants][4] = {};
    std::bitset<kVertexConstants> hasVertexConstant;
    float vertexConstants[kVertexConstants][4] = {};
    std::map<DWORD, std::array<float, 4>> clipPlanes;
    // Holds every light the device has when captured (blocks of all and vertex states);
    // the device fills lights and lightEnabled before Capture.
    bool allLights = false;
};

// A block with the states of D3DSBT_ALL, D3DSBT_PIXELSTATE or D3DSBT_VERTEXSTATE marked
// (values not yet captured); false for another type.
bool MarkStateBlock(DWORD type, StateBlock& block);

}  // namespace d3d8
