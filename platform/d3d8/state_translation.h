// The edge between the runtime and the rasterizer (raster/, which knows nothing of the
// platform's headers): each render and texture stage state is translated into
// raster::DrawState when it is set (SetRenderState, SetTextureStageState, an applied state
// block, Reset), so draws decode nothing, and the platform's types (matrices, viewport,
// lights, primitive types, vertex formats, clear flags, depth formats) become raster's.
// The platform's rules for values outside a state's set are written here, once.
#pragma once

#include <cstdint>

#include "platform/d3d8/d3d8types.h"
#include "raster/raster.h"

namespace d3d8 {

using StageStates = DWORD[D3DTSS_COUNT];

// Fills the render and stage states with the platform's defaults.
void SetDefaultStates(DWORD* renderState, StageStates* stageState);

// Translates render state `state` of renderState (which holds the new value) into draw,
// with the states it is read together with (the two-in-one blend factors need both).
void TranslateRenderState(const DWORD* renderState, D3DRENDERSTATETYPE state, raster::DrawState& draw);
// The same for state `type` of texture stage `stage` (< D3DMAXTEXTURESTAGES).
void TranslateStageState(const StageStates& stageState, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                         raster::DrawState& draw);
// Every state at once.
void TranslateStates(const DWORD* renderState, const StageStates* stageState, raster::DrawState& draw);

// The states as the runtime keeps them, in its own types: what Get* return, what state
// blocks capture and what ValidateDevice checks. A draw reads the translated DrawState.
struct RuntimeStates {
    DWORD renderState[D3DRS_COUNT] = {};
    StageStates stageState[D3DMAXTEXTURESTAGES] = {};
    D3DMATRIX world = {};
    D3DMATRIX view = {};
    D3DMATRIX projection = {};
    D3DVIEWPORT8 viewport = {};
    D3DMATERIAL8 material = {};
    float clipPlanes[raster::kMaxClipPlanes][4] = {};
};

raster::Matrix ToRaster(const D3DMATRIX& matrix);
raster::Viewport ToRaster(const D3DVIEWPORT8& viewport);
raster::Material ToRaster(const D3DMATERIAL8& material);
raster::Light ToRaster(const D3DLIGHT8& light);  // a validated light (SetLight)
// False for a type outside D3DPRIMITIVETYPE.
bool ToRaster(D3DPRIMITIVETYPE type, raster::PrimitiveType& out);
raster::ClearBuffers ToClearBuffers(DWORD flags);  // D3DCLEAR_*
// Where the elements of a flexible vertex format lie; false when its position type is
// not one the rasterizer reads or it names more than eight coordinate sets.
bool DecodeFvf(DWORD fvf, raster::VertexLayout& layout);
// The layout of a depth-stencil format the rasterizer draws with (D16, D15S1, D24S8,
// D24X8, D24X4S4); false for any other format.
bool DepthStencilLayoutOf(D3DFORMAT format, raster::DepthStencilLayout& layout);

// The sampler's texels: a level of the given format (DXT in 4x4 blocks) unpacked into
// A8R8G8B8, as a driver uploads a texture (texel_unpack.cpp). False for a format the
// sampler does not read.
bool SamplerReadsFormat(D3DFORMAT format);
// The channels (raster's write mask bits r, g, b, a) a format holds as signed values: the
// copy biases them by 128 and pixel programs read them back as -1..1 (DrawState's
// signedChannels). 0 for the unsigned formats.
std::uint8_t SignedChannelsOf(D3DFORMAT format);
bool UnpackLevel(D3DFORMAT format, const void* source, int sourcePitch, int width, int height,
                 std::uint32_t* destination, int destinationPitch);

}  // namespace d3d8
