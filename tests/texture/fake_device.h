// A device for the texture tests that answers the capability and format questions from a
// profile, and forwards everything else to a real device when one is given (counting the
// calls the tests look at). Without a real device the other methods fail with E_NOTIMPL.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/d3d8/d3d8.h"

TOLVANE_INTERFACES_BEGIN

class FakeD3D final : public IDirect3D8 {
public:
    explicit FakeD3D(const D3DDeviceProfile& profile) : profile_(profile) {}
    HRESULT QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }  // lives on the test's stack
    ULONG refs() const { return refs_; }

    HRESULT RegisterSoftwareDevice(void*) override { return D3DERR_NOTAVAILABLE; }
    HRESULT GetAdapterIdentifier(UINT, DWORD, D3DADAPTER_IDENTIFIER8*) override { return E_NOTIMPL; }
    HRESULT CheckDeviceMultiSampleType(UINT, D3DDEVTYPE, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE) override {
        return D3DERR_NOTAVAILABLE;
    }
    HMONITOR GetAdapterMonitor(UINT) override { return nullptr; }

    UINT GetAdapterCount() override { return 1; }
    UINT GetAdapterModeCount(UINT) override { return 0; }
    HRESULT EnumAdapterModes(UINT, UINT, D3DDISPLAYMODE*) override { return E_NOTIMPL; }
    HRESULT GetAdapterDisplayMode(UINT, D3DDISPLAYMODE* out) override {
        *out = {800, 600, 60, D3DFMT_X8R8G8B8};
        return S_OK;
    }
    HRESULT CheckDeviceType(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, BOOL) override { return S_OK; }
    HRESULT CheckDeviceFormat(UINT, D3DDEVTYPE, D3DFORMAT adapterFormat, DWORD usage, D3DRESOURCETYPE type,
                              D3DFORMAT format) override {
        ++formatQueries;
        lastAdapterFormat = adapterFormat;
        const std::vector<D3DFORMAT>* list = nullptr;
        if (usage & D3DUSAGE_RENDERTARGET) {
            list = &profile_.RenderTargetFormats;
        } else if (usage & D3DUSAGE_DEPTHSTENCIL) {
            list = &profile_.DepthStencilFormats;
        } else if (type == D3DRTYPE_TEXTURE) {
            list = &profile_.TextureFormats;
        } else if (type == D3DRTYPE_CUBETEXTURE) {
            list = &profile_.CubeTextureFormats;
        } else if (type == D3DRTYPE_VOLUMETEXTURE) {
            list = &profile_.VolumeTextureFormats;
        } else {
            return D3DERR_NOTAVAILABLE;
        }
        return std::find(list->begin(), list->end(), format) != list->end() ? S_OK : D3DERR_NOTAVAILABLE;
    }
    HRESULT CheckDepthStencilMatch(UINT, D3DDEVTYPE, D3DFORMAT, D3DFORMAT, D3DFORMAT) override { return S_OK; }
    HRESULT GetDeviceCaps(UINT, D3DDEVTYPE, D3DCAPS8* caps) override {
        *caps = {};
        caps->DeviceType = D3DDEVTYPE_HAL;
        caps->TextureCaps = profile_.TextureCaps;
        caps->MaxTextureWidth = profile_.MaxTextureWidth;
        caps->MaxTextureHeight = profile_.MaxTextureHeight;
        caps->MaxVolumeExtent = profile_.MaxVolumeExtent;
        caps->MaxTextureAspectRatio = profile_.MaxTextureAspectRatio;
        return S_OK;
    }
    HRESULT CreateDevice(UINT, D3DDEVTYPE, HWND, DWORD, D3DPRESENT_PARAMETERS*, IDirect3DDevice8**) override {
        return E_NOTIMPL;
    }

    int formatQueries = 0;
    D3DFORMAT lastAdapterFormat = D3DFMT_UNKNOWN;

private:
    D3DDeviceProfile profile_;
    ULONG refs_ = 1;
};

#define FAKE_FORWARD(call) \
    if (!inner_) return E_NOTIMPL; \
    return inner_->call

class FakeDevice final : public IDirect3DDevice8 {
public:
    // inner may be null; the fake keeps no reference to it.
    FakeDevice(const D3DDeviceProfile& profile, IDirect3DDevice8* inner = nullptr) : d3d_(profile), inner_(inner) {}
    HRESULT QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    FakeD3D& d3d() { return d3d_; }

    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* p, IDirect3DSwapChain8** o) override {
        FAKE_FORWARD(CreateAdditionalSwapChain(p, o));
    }
    HRESULT SetClipStatus(const D3DCLIPSTATUS8* s) override { FAKE_FORWARD(SetClipStatus(s)); }
    HRESULT GetClipStatus(D3DCLIPSTATUS8* s) override { FAKE_FORWARD(GetClipStatus(s)); }
    HRESULT SetPaletteEntries(UINT n, const PALETTEENTRY* e) override { FAKE_FORWARD(SetPaletteEntries(n, e)); }
    HRESULT GetPaletteEntries(UINT n, PALETTEENTRY* e) override { FAKE_FORWARD(GetPaletteEntries(n, e)); }
    HRESULT SetCurrentTexturePalette(UINT n) override { FAKE_FORWARD(SetCurrentTexturePalette(n)); }
    HRESULT GetCurrentTexturePalette(UINT* n) override { FAKE_FORWARD(GetCurrentTexturePalette(n)); }
    HRESULT CreateVertexShader(const DWORD* d, const DWORD* f, DWORD* h, DWORD u) override {
        FAKE_FORWARD(CreateVertexShader(d, f, h, u));
    }
    HRESULT DeleteVertexShader(DWORD h) override { FAKE_FORWARD(DeleteVertexShader(h)); }
    HRESULT SetVertexShaderConstant(DWORD r, const void* d, DWORD n) override {
        FAKE_FORWARD(SetVertexShaderConstant(r, d, n));
    }
    HRESULT GetVertexShaderConstant(DWORD r, void* d, DWORD n) override { FAKE_FORWARD(GetVertexShaderConstant(r, d, n)); }
    HRESULT GetVertexShaderDeclaration(DWORD h, void* d, DWORD* n) override {
        FAKE_FORWARD(GetVertexShaderDeclaration(h, d, n));
    }
    HRESULT GetVertexShaderFunction(DWORD h, void* d, DWORD* n) override { FAKE_FORWARD(GetVertexShaderFunction(h, d, n)); }
    HRESULT CreatePixelShader(const DWORD* f, DWORD* h) override { FAKE_FORWARD(CreatePixelShader(f, h)); }
    HRESULT SetPixelShader(DWORD h) override { FAKE_FORWARD(SetPixelShader(h)); }
    HRESULT GetPixelShader(DWORD* h) override { FAKE_FORWARD(GetPixelShader(h)); }
    HRESULT DeletePixelShader(DWORD h) override { FAKE_FORWARD(DeletePixelShader(h)); }
    HRESULT SetPixelShaderConstant(DWORD r, const void* d, DWORD n) override { FAKE_FORWARD(SetPixelShaderConstant(r, d, n)); }
    HRESULT GetPixelShaderConstant(DWORD r, void* d, DWORD n) override { FAKE_FORWARD(GetPixelShaderConstant(r, d, n)); }
    HRESULT GetPixelShaderFunction(DWORD h, void* d, DWORD* n) override { FAKE_FORWARD(GetPixelShaderFunction(h, d, n)); }
    HRESULT DrawRectPatch(UINT h, const float* s, const D3DRECTPATCH_INFO* i) override { FAKE_FORWARD(DrawRectPatch(h, s, i)); }
    HRESULT DrawTriPatch(UINT h, const float* s, const D3DTRIPATCH_INFO* i) override { FAKE_FORWARD(DrawTriPatch(h, s, i)); }
    HRESULT DeletePatch(UINT h) override { FAKE_FORWARD(DeletePatch(h)); }

    HRESULT TestCooperativeLevel() override { FAKE_FORWARD(TestCooperativeLevel()); }
    UINT GetAvailableTextureMem() override { return 0; }
    HRESULT GetDirect3D(IDirect3D8** out) override {
        d3d_.AddRef();
        *out = &d3d_;
        return S_OK;
    }
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override { return d3d_.GetDeviceCaps(0, D3DDEVTYPE_HAL, caps); }
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) override { return d3d_.GetAdapterDisplayMode(0, mode); }
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* p) override { FAKE_FORWARD(GetCreationParameters(p)); }
    HRESULT Present(const RECT* a, const RECT* b, HWND c, const RGNDATA* d) override { FAKE_FORWARD(Present(a, b, c, d)); }
    HRESULT GetBackBuffer(UINT i, D3DBACKBUFFER_TYPE t, IDirect3DSurface8** o) override {
        FAKE_FORWARD(GetBackBuffer(i, t, o));
    }
    HRESULT CreateTexture(UINT w, UINT h, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p, IDirect3DTexture8** o) override {
        ++createTextureCalls;
        if (!inner_) return E_NOTIMPL;
        HRESULT hr = inner_->CreateTexture(w, h, l, u, f, p, o);
        if (SUCCEEDED(hr)) Hold(*o);
        return hr;
    }
    HRESULT CreateVolumeTexture(UINT w, UINT h, UINT d, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p,
                                IDirect3DVolumeTexture8** o) override {
        FAKE_FORWARD(CreateVolumeTexture(w, h, d, l, u, f, p, o));
    }
    HRESULT CreateCubeTexture(UINT e, UINT l, DWORD u, D3DFORMAT f, D3DPOOL p, IDirect3DCubeTexture8** o) override {
        ++createTextureCalls;
        if (!inner_) return E_NOTIMPL;
        HRESULT hr = inner_->CreateCubeTexture(e, l, u, f, p, o);
        if (SUCCEEDED(hr)) Hold(*o);
        return hr;
    }
    HRESULT CreateVertexBuffer(UINT a, DWORD b, DWORD c, D3DPOOL d, IDirect3DVertexBuffer8** o) override {
        FAKE_FORWARD(CreateVertexBuffer(a, b, c, d, o));
    }
    HRESULT CreateIndexBuffer(UINT a, DWORD b, D3DFORMAT c, D3DPOOL d, IDirect3DIndexBuffer8** o) override {
        FAKE_FORWARD(CreateIndexBuffer(a, b, c, d, o));
    }
    HRESULT CreateImageSurface(UINT w, UINT h, D3DFORMAT f, IDirect3DSurface8** o) override {
        FAKE_FORWARD(CreateImageSurface(w, h, f, o));
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture8* s, IDirect3DBaseTexture8* d) override {
        ++updateTextureCalls;
        FAKE_FORWARD(UpdateTexture(s, d));
    }
    HRESULT GetRenderTarget(IDirect3DSurface8** o) override { FAKE_FORWARD(GetRenderTarget(o)); }
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** o) override { FAKE_FORWARD(GetDepthStencilSurface(o)); }
    HRESULT BeginScene() override { FAKE_FORWARD(BeginScene()); }
    HRESULT EndScene() override { FAKE_FORWARD(EndScene()); }
    HRESULT Clear(DWORD a, const D3DRECT* b, DWORD c, D3DCOLOR d, float e, DWORD f) override {
        FAKE_FORWARD(Clear(a, b, c, d, e, f));
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override { FAKE_FORWARD(SetTransform(s, m)); }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE s, D3DMATRIX* m) override { FAKE_FORWARD(GetTransform(s, m)); }
    HRESULT SetViewport(const D3DVIEWPORT8* v) override { FAKE_FORWARD(SetViewport(v)); }
    HRESULT GetViewport(D3DVIEWPORT8* v) override { FAKE_FORWARD(GetViewport(v)); }
    HRESULT SetMaterial(const D3DMATERIAL8* m) override { FAKE_FORWARD(SetMaterial(m)); }
    HRESULT GetMaterial(D3DMATERIAL8* m) override { FAKE_FORWARD(GetMaterial(m)); }
    HRESULT SetLight(DWORD i, const D3DLIGHT8* l) override { FAKE_FORWARD(SetLight(i, l)); }
    HRESULT GetLight(DWORD i, D3DLIGHT8* l) override { FAKE_FORWARD(GetLight(i, l)); }
    HRESULT LightEnable(DWORD i, BOOL e) override { FAKE_FORWARD(LightEnable(i, e)); }
    HRESULT GetLightEnable(DWORD i, BOOL* e) override { FAKE_FORWARD(GetLightEnable(i, e)); }
    HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override { FAKE_FORWARD(SetRenderState(s, v)); }
    HRESULT GetRenderState(D3DRENDERSTATETYPE s, DWORD* v) override { FAKE_FORWARD(GetRenderState(s, v)); }
    HRESULT GetTexture(DWORD s, IDirect3DBaseTexture8** t) override { FAKE_FORWARD(GetTexture(s, t)); }
    HRESULT SetTexture(DWORD s, IDirect3DBaseTexture8* t) override { FAKE_FORWARD(SetTexture(s, t)); }
    HRESULT GetTextureStageState(DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD* v) override {
        FAKE_FORWARD(GetTextureStageState(s, t, v));
    }
    HRESULT SetTextureStageState(DWORD s, D3DTEXTURESTAGESTATETYPE t, DWORD v) override {
        FAKE_FORWARD(SetTextureStageState(s, t, v));
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE t, UINT s, UINT c) override { FAKE_FORWARD(DrawPrimitive(t, s, c)); }
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE t, UINT a, UINT b, UINT c, UINT d) override {
        FAKE_FORWARD(DrawIndexedPrimitive(t, a, b, c, d));
    }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE t, UINT c, const void* v, UINT s) override {
        FAKE_FORWARD(DrawPrimitiveUP(t, c, v, s));
    }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE t, UINT a, UINT b, UINT c, const void* i, D3DFORMAT f,
                                   const void* v, UINT s) override {
        FAKE_FORWARD(DrawIndexedPrimitiveUP(t, a, b, c, i, f, v, s));
    }
    HRESULT SetVertexShader(DWORD h) override { FAKE_FORWARD(SetVertexShader(h)); }
    HRESULT GetVertexShader(DWORD* h) override { FAKE_FORWARD(GetVertexShader(h)); }
    HRESULT SetStreamSource(UINT s, IDirect3DVertexBuffer8* b, UINT st) override { FAKE_FORWARD(SetStreamSource(s, b, st)); }
    HRESULT GetStreamSource(UINT s, IDirect3DVertexBuffer8** b, UINT* st) override {
        FAKE_FORWARD(GetStreamSource(s, b, st));
    }
    HRESULT SetIndices(IDirect3DIndexBuffer8* b, UINT v) override { FAKE_FORWARD(SetIndices(b, v)); }
    HRESULT GetIndices(IDirect3DIndexBuffer8** b, UINT* v) override { FAKE_FORWARD(GetIndices(b, v)); }
    HRESULT CreateRenderTarget(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m, BOOL l,
                               IDirect3DSurface8** o) override {
        FAKE_FORWARD(CreateRenderTarget(w, h, f, m, l, o));
    }
    HRESULT CreateDepthStencilSurface(UINT w, UINT h, D3DFORMAT f, D3DMULTISAMPLE_TYPE m,
                                      IDirect3DSurface8** o) override {
        FAKE_FORWARD(CreateDepthStencilSurface(w, h, f, m, o));
    }
    HRESULT SetRenderTarget(IDirect3DSurface8* t, IDirect3DSurface8* z) override { FAKE_FORWARD(SetRenderTarget(t, z)); }
    HRESULT CopyRects(IDirect3DSurface8* s, const RECT* r, UINT n, IDirect3DSurface8* d, const POINT* p) override {
        FAKE_FORWARD(CopyRects(s, r, n, d, p));
    }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m) override {
        FAKE_FORWARD(MultiplyTransform(t, m));
    }
    HRESULT ValidateDevice(DWORD* n) override { FAKE_FORWARD(ValidateDevice(n)); }
    HRESULT BeginStateBlock() override { FAKE_FORWARD(BeginStateBlock()); }
    HRESULT EndStateBlock(DWORD* t) override { FAKE_FORWARD(EndStateBlock(t)); }
    HRESULT ApplyStateBlock(DWORD t) override { FAKE_FORWARD(ApplyStateBlock(t)); }
    HRESULT CaptureStateBlock(DWORD t) override { FAKE_FORWARD(CaptureStateBlock(t)); }
    HRESULT DeleteStateBlock(DWORD t) override { FAKE_FORWARD(DeleteStateBlock(t)); }
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE t, DWORD* o) override { FAKE_FORWARD(CreateStateBlock(t, o)); }
    HRESULT SetClipPlane(DWORD i, const float* p) override { FAKE_FORWARD(SetClipPlane(i, p)); }
    HRESULT GetClipPlane(DWORD i, float* p) override { FAKE_FORWARD(GetClipPlane(i, p)); }
    HRESULT Reset(D3DPRESENT_PARAMETERS* p) override { FAKE_FORWARD(Reset(p)); }
    HRESULT GetFrontBuffer(IDirect3DSurface8* d) override { FAKE_FORWARD(GetFrontBuffer(d)); }
    HRESULT GetRasterStatus(D3DRASTER_STATUS* s) override { FAKE_FORWARD(GetRasterStatus(s)); }
    void SetGammaRamp(DWORD f, const D3DGAMMARAMP* r) override {
        if (inner_) inner_->SetGammaRamp(f, r);
    }
    void GetGammaRamp(D3DGAMMARAMP* r) override {
        if (inner_) inner_->GetGammaRamp(r);
    }
    HRESULT SetCursorProperties(UINT x, UINT y, IDirect3DSurface8* b) override {
        FAKE_FORWARD(SetCursorProperties(x, y, b));
    }
    void SetCursorPosition(UINT x, UINT y, DWORD f) override {
        if (inner_) inner_->SetCursorPosition(x, y, f);
    }
    BOOL ShowCursor(BOOL show) override { return inner_ ? inner_->ShowCursor(show) : FALSE; }
    HRESULT ProcessVertices(UINT s, UINT d, UINT n, IDirect3DVertexBuffer8* b, DWORD f) override {
        FAKE_FORWARD(ProcessVertices(s, d, n, b, f));
    }
    HRESULT ResourceManagerDiscardBytes(DWORD b) override { FAKE_FORWARD(ResourceManagerDiscardBytes(b)); }
    HRESULT GetInfo(DWORD id, void* p, DWORD n) override { FAKE_FORWARD(GetInfo(id, p, n)); }

    // Drops the fake's own reference to every texture created through it, in creation
    // order, and returns the references each still had: 0 for one released by its user.
    std::vector<ULONG> ReleaseHeld() {
        std::vector<ULONG> left;
        for (IDirect3DBaseTexture8* t : held_) left.push_back(t->Release());
        held_.clear();
        return left;
    }

    int createTextureCalls = 0;
    int updateTextureCalls = 0;

private:
    // The fake keeps a reference to each texture it creates, so that the tests can see how
    // many its users kept.
    void Hold(IDirect3DBaseTexture8* texture) {
        texture->AddRef();
        held_.push_back(texture);
    }
    std::vector<IDirect3DBaseTexture8*> held_;
    FakeD3D d3d_;
    IDirect3DDevice8* inner_;
    ULONG refs_ = 1;
};

#undef FAKE_FORWARD

// A profile with the given caps and texture formats (the same list for every resource type).
inline D3DDeviceProfile MakeProfile(DWORD textureCaps, DWORD maxSize, DWORD maxAspect,
                                    std::vector<D3DFORMAT> formats) {
    D3DDeviceProfile p;
    p.TextureCaps = textureCaps;
    p.MaxTextureWidth = maxSize;
    p.MaxTextureHeight = maxSize;
    p.MaxVolumeExtent = maxSize;
    p.MaxTextureAspectRatio = maxAspect;
    p.TextureFormats = formats;
    p.CubeTextureFormats = formats;
    p.VolumeTextureFormats = formats;
    p.RenderTargetFormats = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
    p.DepthStencilFormats = {D3DFMT_D16};
    return p;
}

// A surface that forwards to a real one and records how it is locked.
class RecordingSurface final : public IDirect3DSurface8 {
public:
    explicit RecordingSurface(IDirect3DSurface8* inner) : inner_(inner) {}
    HRESULT QueryInterface(REFIID riid, void** out) override { return inner_->QueryInterface(riid, out); }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override { return --refs_; }
    HRESULT GetDevice(IDirect3DDevice8** out) override { return inner_->GetDevice(out); }
    HRESULT SetPrivateData(REFGUID g, const void* d, DWORD n, DWORD f) override {
        return inner_->SetPrivateData(g, d, n, f);
    }
    HRESULT GetPrivateData(REFGUID g, void* d, DWORD* n) override { return inner_->GetPrivateData(g, d, n); }
    HRESULT FreePrivateData(REFGUID g) override { return inner_->FreePrivateData(g); }
    HRESULT GetContainer(REFIID riid, void** out) override { return inner_->GetContainer(riid, out); }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return inner_->GetDesc(desc); }
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
        locks.push_back({rect != nullptr, rect ? *rect : RECT{}, flags});
        return inner_->LockRect(locked, rect, flags);
    }
    HRESULT UnlockRect() override {
        ++unlocks;
        return inner_->UnlockRect();
    }

    struct Lock {
        bool hasRect;
        RECT rect;
        DWORD flags;
    };
    std::vector<Lock> locks;
    int unlocks = 0;

private:
    IDirect3DSurface8* inner_;
    ULONG refs_ = 1;
};
TOLVANE_INTERFACES_END
