// Internal to d3d8/: the Direct3D object and the software device.
//
// The device keeps every state a draw reads in plain records (render and texture-stage
// states with the platform's defaults, transforms, viewport, material, lights) and the
// objects bound to it; it translates each render and stage state into the rasterizer's
// typed state as it is set (state_translation.h). Its draw calls validate every argument and every index against
// the buffers, then hand a snapshot of the state to the rasterizer (raster/), which
// may draw later; the device flushes it before anyone reads or frees what it draws
// into or samples from.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/d3d8/objects.h"
#include "platform/d3d8/present.h"
#include "platform/d3d8/state_translation.h"
#include "platform/d3d8/stateblock.h"
#include "platform/d3d8/shader_program.h"
#include "platform/d3d8/vertex_declaration.h"
#include "raster/vertex_program.h"
#include "raster/pixel_program.h"

TOLVANE_INTERFACES_BEGIN
namespace d3d8 {

class Direct3D final : public IDirect3D8, private LiveObject {
public:
    explicit Direct3D(const D3DDeviceProfile& profile) : profile_(profile) {}

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT RegisterSoftwareDevice(void* initializeFunction) override;
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE multiSample) override;
    HMONITOR GetAdapterMonitor(UINT adapter) override;
    UINT GetAdapterCount() override { return 1; }
    UINT GetAdapterModeCount(UINT adapter) override;
    HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** out) override;

    const D3DDeviceProfile& Profile() const { return profile_; }
    // The desktop's mode, which windowed devices present into.
    D3DDISPLAYMODE DisplayMode();
    // The full-screen modes: the usual sizes at 16 and 32 bits, and the desktop's size.
    const std::vector<D3DDISPLAYMODE>& Modes();
    // Checks presentation parameters for CreateDevice and Reset and fills in what they
    // leave to the device (back buffer format and size, count); window is the device
    // window, hDeviceWindow or else fallbackWindow.
    HRESULT ResolvePresentParameters(D3DPRESENT_PARAMETERS& params, HWND fallbackWindow, HWND& window);
    // Whether a resource of the type and usage may have the format on this adapter.
    bool Supports(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const;

private:
    std::atomic<ULONG> refs_{1};
    D3DDeviceProfile profile_;
    bool modeKnown_ = false;
    D3DDISPLAYMODE mode_{};
    std::vector<D3DDISPLAYMODE> modes_;
};

bool IsDeviceType(D3DDEVTYPE type);

// After a call refused for more back buffers than there can be, the caller's structure
// holds the most there can be, so that the same call made again succeeds (as on the platform).
inline void OfferBackBufferCount(D3DPRESENT_PARAMETERS& params) {
    if (params.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) params.BackBufferCount = D3DPRESENT_BACK_BUFFERS_MAX;
}

class Device final : public IDirect3DDevice8, private LiveObject {
public:
    Device(Direct3D* d3d, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags, HWND window);
    ~Device();
    // Makes the back buffer (and depth buffer) and sets the default states.
    HRESULT Initialize(const D3DPRESENT_PARAMETERS& params);

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;

    HRESULT TestCooperativeLevel() override;
    UINT GetAvailableTextureMem() override;
    HRESULT GetDirect3D(IDirect3D8** out) override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* params) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** out) override;

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** out) override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format,
                                D3DPOOL pool, IDirect3DVolumeTexture8** out) override;
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DCubeTexture8** out) override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** out) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** out) override;
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** out) override;
    HRESULT UpdateTexture(IDirect3DBaseTexture8* source, IDirect3DBaseTexture8* destination) override;
    HRESULT GetRenderTarget(IDirect3DSurface8** out) override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** out) override;

    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** out) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                 UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT vertexStride) override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT primitiveCount,
                                   const void* indexData, D3DFORMAT indexFormat, const void* vertexData,
                                   UINT vertexStride) override;

    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT GetVertexShader(DWORD* handle) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
    HRESULT GetStreamSource(UINT stream, IDirect3DVertexBuffer8** buffer, UINT* stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertexIndex) override;
    HRESULT GetIndices(IDirect3DIndexBuffer8** buffer, UINT* baseVertexIndex) override;

    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                               BOOL lockable, IDirect3DSurface8** out) override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multiSample,
                                      IDirect3DSurface8** out) override;
    HRESULT SetRenderTarget(IDirect3DSurface8* renderTarget, IDirect3DSurface8* newZStencil) override;
    HRESULT CopyRects(IDirect3DSurface8* source, const RECT* sourceRects, UINT rectCount,
                      IDirect3DSurface8* destination, const POINT* destPoints) override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT ValidateDevice(DWORD* numPasses) override;
    HRESULT BeginStateBlock() override;
    HRESULT EndStateBlock(DWORD* token) override;
    HRESULT ApplyStateBlock(DWORD token) override;
    HRESULT CaptureStateBlock(DWORD token) override;
    HRESULT DeleteStateBlock(DWORD token) override;
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE type, DWORD* token) override;
    HRESULT SetClipPlane(DWORD index, const float* plane) override;
    HRESULT GetClipPlane(DWORD index, float* plane) override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT GetFrontBuffer(IDirect3DSurface8* destination) override;
    HRESULT GetRasterStatus(D3DRASTER_STATUS* status) override;
    void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp) override;
    void GetGammaRamp(D3DGAMMARAMP* ramp) override;
    HRESULT SetCursorProperties(UINT xHotSpot, UINT yHotSpot, IDirect3DSurface8* cursorBitmap) override;
    void SetCursorPosition(UINT xScreenSpace, UINT yScreenSpace, DWORD flags) override;
    BOOL ShowCursor(BOOL show) override;
    HRESULT ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount, IDirect3DVertexBuffer8* destination,
                            DWORD flags) override;
    HRESULT ResourceManagerDiscardBytes(DWORD bytes) override;
    HRESULT GetInfo(DWORD devInfoId, void* devInfo, DWORD devInfoSize) override;

    // swapchain.cpp
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* params, IDirect3DSwapChain8** out) override;
    // misc.cpp: clip status, palettes, patches
    HRESULT SetClipStatus(const D3DCLIPSTATUS8* status) override;
    HRESULT GetClipStatus(D3DCLIPSTATUS8* status) override;
    HRESULT SetPaletteEntries(UINT palette, const PALETTEENTRY* entries) override;
    HRESULT GetPaletteEntries(UINT palette, PALETTEENTRY* entries) override;
    HRESULT SetCurrentTexturePalette(UINT palette) override;
    HRESULT GetCurrentTexturePalette(UINT* palette) override;
    HRESULT DrawRectPatch(UINT handle, const float* segments, const D3DRECTPATCH_INFO* info) override;
    HRESULT DrawTriPatch(UINT handle, const float* segments, const D3DTRIPATCH_INFO* info) override;
    HRESULT DeletePatch(UINT handle) override;
    // shaders.cpp: the programmable pipeline's calls (SetVertexShader and GetVertexShader
    // are with the stream calls: an FVF code is a vertex shader too)
    HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage) override;
    HRESULT DeleteVertexShader(DWORD handle) override;
    HRESULT SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) override;
    HRESULT GetVertexShaderConstant(DWORD reg, void* data, DWORD count) override;
    HRESULT GetVertexShaderDeclaration(DWORD handle, void* data, DWORD* size) override;
    HRESULT GetVertexShaderFunction(DWORD handle, void* data, DWORD* size) override;
    HRESULT CreatePixelShader(const DWORD* function, DWORD* handle) override;
    HRESULT SetPixelShader(DWORD handle) override;
    HRESULT GetPixelShader(DWORD* handle) override;
    HRESULT DeletePixelShader(DWORD handle) override;
    HRESULT SetPixelShaderConstant(DWORD reg, const void* data, DWORD count) override;
    HRESULT GetPixelShaderConstant(DWORD reg, void* data, DWORD count) override;
    HRESULT GetPixelShaderFunction(DWORD handle, void* data, DWORD* size) override;

    // Resources count themselves here for as long as they exist (see objects.h).
    void RetainResource() { ++resources_; }
    void ReleaseResource();
    // Objects of the default pool and additional swap chains: Reset is refused while the
    // application holds one. Each forgets itself as it goes.
    void TrackDefaultPool(IUnknown* object) { defaultPool_.insert(object); }
    void ForgetDefaultPool(IUnknown* object) { defaultPool_.erase(object); }
    // Finishes every queued draw.
    void FlushRaster();
    // Managed textures count themselves here for as long as they exist, so that
    // ResourceManagerDiscardBytes reaches them.
    void AddManagedTexture(TextureCore* texture) { managedTextures_.push_back(texture); }
    void RemoveManagedTexture(TextureCore* texture) { std::erase(managedTextures_, texture); }
    const D3DDeviceProfile& Profile() const { return d3d_->Profile(); }

private:
    struct Lights {
        std::map<DWORD, D3DLIGHT8> lights;  // every light ever set
        std::map<DWORD, bool> enabled;
    };

    void UnbindAll();
    // Lets go of the bound textures, stream and indices and returns the targets to the
    // device's own buffers, after the queued draws.
    void ReleaseBindings();
    Surface* NewSwapSurface(DWORD usage);
    // The application's references to default-pool objects and additional swap chains
    // (the device's own holds on bound targets left out).
    ULONG HeldDefaultPoolObjects();
    // Enters a new object of the default pool among those Reset waits for; returns result.
    HRESULT Track(HRESULT result, D3DPOOL pool, IUnknown* object) {
        if (SUCCEEDED(result) && pool == D3DPOOL_DEFAULT && object != nullptr) TrackDefaultPool(object);
        return result;
    }
    // D3D_OK, D3DERR_DEVICELOST (the window is gone, or a full-screen device's window is
    // without the focus) or D3DERR_DEVICENOTRESET (lost before, or a Reset failed).
    HRESULT CooperativeState();
    // Takes the window to full screen at the mode's size, or back to what it was.
    void ApplyWindowMode(bool fullScreen, UINT width, UINT height);
    // Back buffer i (0: the one draws go to by default).
    Surface* BackBuffer(UINT index) { return index == 0 ? backBuffer_ : moreBackBuffers_[index - 1].get(); }
    UINT BackBufferCount() const { return 1 + static_cast<UINT>(moreBackBuffers_.size()); }
    // Which of the device's own buffers the application may lock, by the presentation
    // parameters they were made with.
    void SetBufferLocks(const D3DPRESENT_PARAMETERS& params);
    // The states of a new device: render and stage states, transforms, viewport on the
    // whole back buffer, material, no lights, clip planes 0, no vertex shader.
    void SetNewDeviceStates();
    bool ValidTextureSize(D3DRESOURCETYPE type, UINT width, UINT height, UINT depth, D3DPOOL pool) const;
    HRESULT CheckResourceFormat(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format, D3DPOOL pool) const;
    raster::RenderTarget Target();
    // Fills the draw's state snapshot; without textures, no stage has one bound.
    void BuildPipelineState(raster::PipelineState& state, bool textures = true);
    HRESULT CheckDrawCommon(D3DPRIMITIVETYPE type, UINT primitiveCount, UINT& vertexCount, UINT& vertexSize);
    // After a draw or clear: a target that is a texture level tells its texture.
    void TargetWritten();
    // References to a current target or depth surface: the device's own surfaces share
    // its count and are not counted.
    void Hold(Surface* surface);
    void Drop(Surface* surface);
    bool TargetsLocked() const;

    std::atomic<ULONG> refs_{1};
    std::atomic<ULONG> resources_{0};
    std::vector<TextureCore*> managedTextures_;
    Direct3D* d3d_;
    D3DDEVTYPE type_;
    HWND focusWindow_;
    DWORD behaviorFlags_;
    HWND window_;
    D3DDISPLAYMODE displayMode_{};
    D3DSWAPEFFECT swapEffect_ = D3DSWAPEFFECT_DISCARD;
    FrontImage front_;  // the client area's picture, for swap effects that copy

    Surface* backBuffer_ = nullptr;  // owned; counts are the device's
    // Back buffers 1 and on. The surfaces keep their places; a flip moves the pixels along.
    std::vector<std::unique_ptr<Surface>> moreBackBuffers_;
    Surface* depthBuffer_ = nullptr;
    bool fullScreen_ = false;
    bool needsReset_ = false;
    unsigned focusLosses_ = 0;  // the window's count of lost focus when the device last looked
    std::set<IUnknown*> defaultPool_;
    // Depth buffers that a Reset without one let go of, kept for pointers still held.
    std::vector<std::unique_ptr<Surface>> retired_;
    // The last frame Present showed, for GetFrontBuffer. A device that copies keeps it in
    // front_. Otherwise Present exchanges the back buffer's pixels with presented_'s (no
    // copy: after a flip or discard the back buffer holds the frame before, as a swap
    // chain's would).
    enum class Shown { Nothing, BackBuffer, Front };
    Shown shown_ = Shown::Nothing;
    PixelMemory presented_;
    D3DGAMMARAMP gamma_{};
    struct Cursor {
        UINT hotSpotX = 0, hotSpotY = 0;
        UINT width = 0, height = 0;
        std::vector<std::uint32_t> pixels;  // A8R8G8B8, packed; empty until set
        UINT x = 0, y = 0;
        bool visible = false;
    };
    Cursor cursor_;
    // What draws and clears write: the back buffer and depth buffer, or surfaces set by
    // SetRenderTarget, which the device then holds a reference to (see Hold).
    Surface* target_ = nullptr;
    Surface* zStencil_ = nullptr;
    std::unique_ptr<raster::Rasterizer> rasterizer_;

    RuntimeStates state_;  // render and stage states, world/view/projection, viewport, material
    // The render and stage states in raster's terms, translated from state_ as each is set.
    raster::DrawState drawState_;
    std::array<D3DMATRIX, 256> worldMatrices_{};
    std::array<D3DMATRIX, 8> textureMatrices_{};
    Lights lights_;
    std::array<IDirect3DBaseTexture8*, D3DMAXTEXTURESTAGES> textures_{};
    VertexBuffer* stream_ = nullptr;
    UINT streamStride_ = 0;
    IndexBuffer* indices_ = nullptr;
    UINT baseVertexIndex_ = 0;
    DWORD vertexShader_ = 0;
    bool inScene_ = false;
    // State blocks by token; while one is recorded the Set calls go to it instead.
    std::map<DWORD, std::unique_ptr<StateBlock>> stateBlocks_;
    std::unique_ptr<StateBlock> recording_;
    DWORD nextStateBlock_ = 1;
    void CaptureInto(StateBlock& block);
    void UnsetUserPointerInputs(bool indices);

    // misc.cpp
    D3DCLIPSTATUS8 clipStatus_{};
    std::map<UINT, std::array<PALETTEENTRY, 256>> palettes_;
    UINT currentPalette_ = 0;
    // shaders.cpp
    // A pixel shader: the copy of its tokens GetPixelShaderFunction returns, and the
    // program the pixel stage runs.
    struct PixelShader {
        std::vector<DWORD> tokens;
        std::unique_ptr<raster::PixelProgram> program;
    };
    std::map<DWORD, PixelShader> pixelShaders_;
    DWORD nextPixelShader_ = 1;
    DWORD pixelShader_ = 0;
    // vertex_shaders.cpp: streams 1 to 15 (stream 0 is stream_), the vertex shaders by
    // handle, and the constant registers.
    std::array<VertexBuffer*, kDeclarationStreams> moreStreams_{};  // [0] unused
    std::array<UINT, kDeclarationStreams> moreStrides_{};
    struct VertexShader {
        VertexDeclaration declaration;
        FixedFunctionLayout fixed;  // declarations without a function
        DWORD fvf = 0;              // the equivalent vertex format of a declaration without a function
        std::vector<DWORD> declarationTokens;
        std::vector<DWORD> functionTokens;  // empty without a function
        std::vector<ShaderConstantDefinition> definitions;
        std::unique_ptr<raster::VertexProgram> program;
    };
    std::map<DWORD, std::unique_ptr<VertexShader>> vertexShaders_;
    DWORD nextVertexShader_ = 1;
    float vertexConstants_[raster::kProgramConstants][4] = {};
    const VertexShader* CurrentVertexShader() const;
    void ReleaseMoreStreams();
    // A draw through the current vertex shader: the vertices first .. first + count - 1 of
    // the streams; indices (null for none) relative to first.
    HRESULT DrawDeclared(D3DPRIMITIVETYPE type, UINT primitiveCount, std::uint64_t first, UINT count,
                         const raster::IndexInput* indices, INT indexBase, const std::uint8_t* userData,
                         UINT userStride);
};

// Shows the first of the back buffers and moves the pixels along the chain: buffer i takes
// those of buffer i + 1, the last takes those shown before, and presented keeps the frame
// shown (no copy). Memory for presented is made on the first call; false when it cannot
// be, with the frame shown all the same and nothing moved.
bool FlipChain(const std::vector<Surface*>& buffers, PixelMemory& presented);

// A swap chain of a second window: its own back buffers, presented to its window.
class SwapChain final : public IDirect3DSwapChain8, private LiveObject {
public:
    SwapChain(Device* device, HWND window, D3DSWAPEFFECT swapEffect);
    ~SwapChain();
    // Makes the back buffer; false when memory runs out.
    bool Initialize(const D3DPRESENT_PARAMETERS& params);

    HRESULT QueryInterface(REFIID riid, void** out) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) override;
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** out) override;

private:
    std::atomic<ULONG> refs_{1};
    Device* device_;
    HWND window_;
    D3DSWAPEFFECT swapEffect_;
    std::vector<std::unique_ptr<Surface>> backBuffers_;  // counts are the swap chain's
    PixelMemory presented_;                // the frame shown last, for swap effects that flip
    FrontImage front_;                     // the client area's picture, for swap effects that copy
};

}  // namespace d3d8
TOLVANE_INTERFACES_END
