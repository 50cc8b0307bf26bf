// The Direct3D 8 interfaces in the platform's layout: the methods of each interface in the
// platform's order, starting with IUnknown's three, nothing else virtual. C++ callers call
// them as virtual methods; C callers through lpVtbl, with COBJMACROS for the
// IDirect3DDevice8_Clear(p, ...) style of call. Direct3DCreate8 returns our software
// implementation (device.cpp and friends); drawing goes to raster/.
//
// The declarations between the generated markers are written by scripts/d3d8_interfaces.py.
#pragma once

#include "platform/d3d8/d3d8types.h"
#include "platform/d3d8/export.h"

#ifdef __cplusplus
#include <vector>
extern "C" {
#endif
TOLVANE_API_BEGIN

// Interface identifiers.
extern const IID IID_IDirect3D8;
extern const IID IID_IDirect3DDevice8;
extern const IID IID_IDirect3DResource8;
extern const IID IID_IDirect3DBaseTexture8;
extern const IID IID_IDirect3DTexture8;
extern const IID IID_IDirect3DCubeTexture8;
extern const IID IID_IDirect3DVolumeTexture8;
extern const IID IID_IDirect3DVertexBuffer8;
extern const IID IID_IDirect3DIndexBuffer8;
extern const IID IID_IDirect3DSurface8;
extern const IID IID_IDirect3DVolume8;
extern const IID IID_IDirect3DSwapChain8;

#ifdef __cplusplus
struct IDirect3D8;
struct IDirect3DDevice8;
struct IDirect3DSwapChain8;
struct IDirect3DResource8;
struct IDirect3DBaseTexture8;
struct IDirect3DTexture8;
struct IDirect3DVolumeTexture8;
struct IDirect3DCubeTexture8;
struct IDirect3DVertexBuffer8;
struct IDirect3DIndexBuffer8;
struct IDirect3DSurface8;
struct IDirect3DVolume8;
#else
typedef struct IDirect3D8 IDirect3D8;
typedef struct IDirect3DDevice8 IDirect3DDevice8;
typedef struct IDirect3DSwapChain8 IDirect3DSwapChain8;
typedef struct IDirect3DResource8 IDirect3DResource8;
typedef struct IDirect3DBaseTexture8 IDirect3DBaseTexture8;
typedef struct IDirect3DTexture8 IDirect3DTexture8;
typedef struct IDirect3DVolumeTexture8 IDirect3DVolumeTexture8;
typedef struct IDirect3DCubeTexture8 IDirect3DCubeTexture8;
typedef struct IDirect3DVertexBuffer8 IDirect3DVertexBuffer8;
typedef struct IDirect3DIndexBuffer8 IDirect3DIndexBuffer8;
typedef struct IDirect3DSurface8 IDirect3DSurface8;
typedef struct IDirect3DVolume8 IDirect3DVolume8;
#endif

typedef IDirect3D8* LPDIRECT3D8;
typedef IDirect3DDevice8* LPDIRECT3DDEVICE8;
typedef IDirect3DSwapChain8* LPDIRECT3DSWAPCHAIN8;
typedef IDirect3DResource8* LPDIRECT3DRESOURCE8;
typedef IDirect3DBaseTexture8* LPDIRECT3DBASETEXTURE8;
typedef IDirect3DTexture8* LPDIRECT3DTEXTURE8;
typedef IDirect3DVolumeTexture8* LPDIRECT3DVOLUMETEXTURE8;
typedef IDirect3DCubeTexture8* LPDIRECT3DCUBETEXTURE8;
typedef IDirect3DVertexBuffer8* LPDIRECT3DVERTEXBUFFER8;
typedef IDirect3DIndexBuffer8* LPDIRECT3DINDEXBUFFER8;
typedef IDirect3DSurface8* LPDIRECT3DSURFACE8;
typedef IDirect3DVolume8* LPDIRECT3DVOLUME8;

// The interfaces have no destructor: an object is freed by the Release that brings its
// count to 0.
TOLVANE_INTERFACES_BEGIN

// ---- generated: interfaces ----
#undef INTERFACE
#define INTERFACE IDirect3D8
DECLARE_INTERFACE_(IDirect3D8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(RegisterSoftwareDevice)(THIS_ void* pInitializeFunction) PURE;
    STDMETHOD_(UINT, GetAdapterCount)(THIS) PURE;
    STDMETHOD(GetAdapterIdentifier)(THIS_ UINT Adapter, DWORD Flags, D3DADAPTER_IDENTIFIER8* pIdentifier) PURE;
    STDMETHOD_(UINT, GetAdapterModeCount)(THIS_ UINT Adapter) PURE;
    STDMETHOD(EnumAdapterModes)(THIS_ UINT Adapter, UINT Mode, D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(GetAdapterDisplayMode)(THIS_ UINT Adapter, D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(CheckDeviceType)(THIS_ UINT Adapter, D3DDEVTYPE CheckType, D3DFORMAT DisplayFormat,
        D3DFORMAT BackBufferFormat, BOOL Windowed) PURE;
    STDMETHOD(CheckDeviceFormat)(THIS_ UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat, DWORD Usage,
        D3DRESOURCETYPE RType, D3DFORMAT CheckFormat) PURE;
    STDMETHOD(CheckDeviceMultiSampleType)(THIS_ UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT SurfaceFormat,
        BOOL Windowed, D3DMULTISAMPLE_TYPE MultiSampleType) PURE;
    STDMETHOD(CheckDepthStencilMatch)(THIS_ UINT Adapter, D3DDEVTYPE DeviceType, D3DFORMAT AdapterFormat,
        D3DFORMAT RenderTargetFormat, D3DFORMAT DepthStencilFormat) PURE;
    STDMETHOD(GetDeviceCaps)(THIS_ UINT Adapter, D3DDEVTYPE DeviceType, D3DCAPS8* pCaps) PURE;
    STDMETHOD_(HMONITOR, GetAdapterMonitor)(THIS_ UINT Adapter) PURE;
    STDMETHOD(CreateDevice)(THIS_ UINT Adapter, D3DDEVTYPE DeviceType, HWND hFocusWindow, DWORD BehaviorFlags,
        D3DPRESENT_PARAMETERS* pPresentationParameters, IDirect3DDevice8** ppReturnedDeviceInterface) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DDevice8
DECLARE_INTERFACE_(IDirect3DDevice8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(TestCooperativeLevel)(THIS) PURE;
    STDMETHOD_(UINT, GetAvailableTextureMem)(THIS) PURE;
    STDMETHOD(ResourceManagerDiscardBytes)(THIS_ DWORD Bytes) PURE;
    STDMETHOD(GetDirect3D)(THIS_ IDirect3D8** ppD3D8) PURE;
    STDMETHOD(GetDeviceCaps)(THIS_ D3DCAPS8* pCaps) PURE;
    STDMETHOD(GetDisplayMode)(THIS_ D3DDISPLAYMODE* pMode) PURE;
    STDMETHOD(GetCreationParameters)(THIS_ D3DDEVICE_CREATION_PARAMETERS* pParameters) PURE;
    STDMETHOD(SetCursorProperties)(THIS_ UINT XHotSpot, UINT YHotSpot, IDirect3DSurface8* pCursorBitmap) PURE;
    STDMETHOD_(void, SetCursorPosition)(THIS_ UINT XScreenSpace, UINT YScreenSpace, DWORD Flags) PURE;
    STDMETHOD_(BOOL, ShowCursor)(THIS_ BOOL bShow) PURE;
    STDMETHOD(CreateAdditionalSwapChain)(THIS_ D3DPRESENT_PARAMETERS* pPresentationParameters,
        IDirect3DSwapChain8** pSwapChain) PURE;
    STDMETHOD(Reset)(THIS_ D3DPRESENT_PARAMETERS* pPresentationParameters) PURE;
    STDMETHOD(Present)(THIS_ const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
        const RGNDATA* pDirtyRegion) PURE;
    STDMETHOD(GetBackBuffer)(THIS_ UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) PURE;
    STDMETHOD(GetRasterStatus)(THIS_ D3DRASTER_STATUS* pRasterStatus) PURE;
    STDMETHOD_(void, SetGammaRamp)(THIS_ DWORD Flags, const D3DGAMMARAMP* pRamp) PURE;
    STDMETHOD_(void, GetGammaRamp)(THIS_ D3DGAMMARAMP* pRamp) PURE;
    STDMETHOD(CreateTexture)(THIS_ UINT Width, UINT Height, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
        IDirect3DTexture8** ppTexture) PURE;
    STDMETHOD(CreateVolumeTexture)(THIS_ UINT Width, UINT Height, UINT Depth, UINT Levels, DWORD Usage,
        D3DFORMAT Format, D3DPOOL Pool, IDirect3DVolumeTexture8** ppVolumeTexture) PURE;
    STDMETHOD(CreateCubeTexture)(THIS_ UINT EdgeLength, UINT Levels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
        IDirect3DCubeTexture8** ppCubeTexture) PURE;
    STDMETHOD(CreateVertexBuffer)(THIS_ UINT Length, DWORD Usage, DWORD FVF, D3DPOOL Pool,
        IDirect3DVertexBuffer8** ppVertexBuffer) PURE;
    STDMETHOD(CreateIndexBuffer)(THIS_ UINT Length, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
        IDirect3DIndexBuffer8** ppIndexBuffer) PURE;
    STDMETHOD(CreateRenderTarget)(THIS_ UINT Width, UINT Height, D3DFORMAT Format, D3DMULTISAMPLE_TYPE MultiSample,
        BOOL Lockable, IDirect3DSurface8** ppSurface) PURE;
    STDMETHOD(CreateDepthStencilSurface)(THIS_ UINT Width, UINT Height, D3DFORMAT Format,
        D3DMULTISAMPLE_TYPE MultiSample, IDirect3DSurface8** ppSurface) PURE;
    STDMETHOD(CreateImageSurface)(THIS_ UINT Width, UINT Height, D3DFORMAT Format, IDirect3DSurface8** ppSurface) PURE;
    STDMETHOD(CopyRects)(THIS_ IDirect3DSurface8* pSourceSurface, const RECT* pSourceRectsArray, UINT cRects,
        IDirect3DSurface8* pDestinationSurface, const POINT* pDestPointsArray) PURE;
    STDMETHOD(UpdateTexture)(THIS_ IDirect3DBaseTexture8* pSourceTexture,
        IDirect3DBaseTexture8* pDestinationTexture) PURE;
    STDMETHOD(GetFrontBuffer)(THIS_ IDirect3DSurface8* pDestSurface) PURE;
    STDMETHOD(SetRenderTarget)(THIS_ IDirect3DSurface8* pRenderTarget, IDirect3DSurface8* pNewZStencil) PURE;
    STDMETHOD(GetRenderTarget)(THIS_ IDirect3DSurface8** ppRenderTarget) PURE;
    STDMETHOD(GetDepthStencilSurface)(THIS_ IDirect3DSurface8** ppZStencilSurface) PURE;
    STDMETHOD(BeginScene)(THIS) PURE;
    STDMETHOD(EndScene)(THIS) PURE;
    STDMETHOD(Clear)(THIS_ DWORD Count, const D3DRECT* pRects, DWORD Flags, D3DCOLOR Color, float Z,
        DWORD Stencil) PURE;
    STDMETHOD(SetTransform)(THIS_ D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) PURE;
    STDMETHOD(GetTransform)(THIS_ D3DTRANSFORMSTATETYPE State, D3DMATRIX* pMatrix) PURE;
    STDMETHOD(MultiplyTransform)(THIS_ D3DTRANSFORMSTATETYPE State, const D3DMATRIX* pMatrix) PURE;
    STDMETHOD(SetViewport)(THIS_ const D3DVIEWPORT8* pViewport) PURE;
    STDMETHOD(GetViewport)(THIS_ D3DVIEWPORT8* pViewport) PURE;
    STDMETHOD(SetMaterial)(THIS_ const D3DMATERIAL8* pMaterial) PURE;
    STDMETHOD(GetMaterial)(THIS_ D3DMATERIAL8* pMaterial) PURE;
    STDMETHOD(SetLight)(THIS_ DWORD Index, const D3DLIGHT8* pLight) PURE;
    STDMETHOD(GetLight)(THIS_ DWORD Index, D3DLIGHT8* pLight) PURE;
    STDMETHOD(LightEnable)(THIS_ DWORD Index, BOOL Enable) PURE;
    STDMETHOD(GetLightEnable)(THIS_ DWORD Index, BOOL* pEnable) PURE;
    STDMETHOD(SetClipPlane)(THIS_ DWORD Index, const float* pPlane) PURE;
    STDMETHOD(GetClipPlane)(THIS_ DWORD Index, float* pPlane) PURE;
    STDMETHOD(SetRenderState)(THIS_ D3DRENDERSTATETYPE State, DWORD Value) PURE;
    STDMETHOD(GetRenderState)(THIS_ D3DRENDERSTATETYPE State, DWORD* pValue) PURE;
    STDMETHOD(BeginStateBlock)(THIS) PURE;
    STDMETHOD(EndStateBlock)(THIS_ DWORD* pToken) PURE;
    STDMETHOD(ApplyStateBlock)(THIS_ DWORD Token) PURE;
    STDMETHOD(CaptureStateBlock)(THIS_ DWORD Token) PURE;
    STDMETHOD(DeleteStateBlock)(THIS_ DWORD Token) PURE;
    STDMETHOD(CreateStateBlock)(THIS_ D3DSTATEBLOCKTYPE Type, DWORD* pToken) PURE;
    STDMETHOD(SetClipStatus)(THIS_ const D3DCLIPSTATUS8* pClipStatus) PURE;
    STDMETHOD(GetClipStatus)(THIS_ D3DCLIPSTATUS8* pClipStatus) PURE;
    STDMETHOD(GetTexture)(THIS_ DWORD Stage, IDirect3DBaseTexture8** ppTexture) PURE;
    STDMETHOD(SetTexture)(THIS_ DWORD Stage, IDirect3DBaseTexture8* pTexture) PURE;
    STDMETHOD(GetTextureStageState)(THIS_ DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD* pValue) PURE;
    STDMETHOD(SetTextureStageState)(THIS_ DWORD Stage, D3DTEXTURESTAGESTATETYPE Type, DWORD Value) PURE;
    STDMETHOD(ValidateDevice)(THIS_ DWORD* pNumPasses) PURE;
    STDMETHOD(GetInfo)(THIS_ DWORD DevInfoID, void* pDevInfoStruct, DWORD DevInfoStructSize) PURE;
    STDMETHOD(SetPaletteEntries)(THIS_ UINT PaletteNumber, const PALETTEENTRY* pEntries) PURE;
    STDMETHOD(GetPaletteEntries)(THIS_ UINT PaletteNumber, PALETTEENTRY* pEntries) PURE;
    STDMETHOD(SetCurrentTexturePalette)(THIS_ UINT PaletteNumber) PURE;
    STDMETHOD(GetCurrentTexturePalette)(THIS_ UINT* PaletteNumber) PURE;
    STDMETHOD(DrawPrimitive)(THIS_ D3DPRIMITIVETYPE PrimitiveType, UINT StartVertex, UINT PrimitiveCount) PURE;
    STDMETHOD(DrawIndexedPrimitive)(THIS_ D3DPRIMITIVETYPE PrimitiveType, UINT minIndex, UINT NumVertices,
        UINT startIndex, UINT primCount) PURE;
    STDMETHOD(DrawPrimitiveUP)(THIS_ D3DPRIMITIVETYPE PrimitiveType, UINT PrimitiveCount,
        const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(DrawIndexedPrimitiveUP)(THIS_ D3DPRIMITIVETYPE PrimitiveType, UINT MinVertexIndex,
        UINT NumVertexIndices, UINT PrimitiveCount, const void* pIndexData, D3DFORMAT IndexDataFormat, const void* pVertexStreamZeroData, UINT VertexStreamZeroStride) PURE;
    STDMETHOD(ProcessVertices)(THIS_ UINT SrcStartIndex, UINT DestIndex, UINT VertexCount,
        IDirect3DVertexBuffer8* pDestBuffer, DWORD Flags) PURE;
    STDMETHOD(CreateVertexShader)(THIS_ const DWORD* pDeclaration, const DWORD* pFunction, DWORD* pHandle,
        DWORD Usage) PURE;
    STDMETHOD(SetVertexShader)(THIS_ DWORD Handle) PURE;
    STDMETHOD(GetVertexShader)(THIS_ DWORD* pHandle) PURE;
    STDMETHOD(DeleteVertexShader)(THIS_ DWORD Handle) PURE;
    STDMETHOD(SetVertexShaderConstant)(THIS_ DWORD Register, const void* pConstantData, DWORD ConstantCount) PURE;
    STDMETHOD(GetVertexShaderConstant)(THIS_ DWORD Register, void* pConstantData, DWORD ConstantCount) PURE;
    STDMETHOD(GetVertexShaderDeclaration)(THIS_ DWORD Handle, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(GetVertexShaderFunction)(THIS_ DWORD Handle, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(SetStreamSource)(THIS_ UINT StreamNumber, IDirect3DVertexBuffer8* pStreamData, UINT Stride) PURE;
    STDMETHOD(GetStreamSource)(THIS_ UINT StreamNumber, IDirect3DVertexBuffer8** ppStreamData, UINT* pStride) PURE;
    STDMETHOD(SetIndices)(THIS_ IDirect3DIndexBuffer8* pIndexData, UINT BaseVertexIndex) PURE;
    STDMETHOD(GetIndices)(THIS_ IDirect3DIndexBuffer8** ppIndexData, UINT* pBaseVertexIndex) PURE;
    STDMETHOD(CreatePixelShader)(THIS_ const DWORD* pFunction, DWORD* pHandle) PURE;
    STDMETHOD(SetPixelShader)(THIS_ DWORD Handle) PURE;
    STDMETHOD(GetPixelShader)(THIS_ DWORD* pHandle) PURE;
    STDMETHOD(DeletePixelShader)(THIS_ DWORD Handle) PURE;
    STDMETHOD(SetPixelShaderConstant)(THIS_ DWORD Register, const void* pConstantData, DWORD ConstantCount) PURE;
    STDMETHOD(GetPixelShaderConstant)(THIS_ DWORD Register, void* pConstantData, DWORD ConstantCount) PURE;
    STDMETHOD(GetPixelShaderFunction)(THIS_ DWORD Handle, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(DrawRectPatch)(THIS_ UINT Handle, const float* pNumSegs, const D3DRECTPATCH_INFO* pRectPatchInfo) PURE;
    STDMETHOD(DrawTriPatch)(THIS_ UINT Handle, const float* pNumSegs, const D3DTRIPATCH_INFO* pTriPatchInfo) PURE;
    STDMETHOD(DeletePatch)(THIS_ UINT Handle) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DSwapChain8
DECLARE_INTERFACE_(IDirect3DSwapChain8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(Present)(THIS_ const RECT* pSourceRect, const RECT* pDestRect, HWND hDestWindowOverride,
        const RGNDATA* pDirtyRegion) PURE;
    STDMETHOD(GetBackBuffer)(THIS_ UINT BackBuffer, D3DBACKBUFFER_TYPE Type, IDirect3DSurface8** ppBackBuffer) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DResource8
DECLARE_INTERFACE_(IDirect3DResource8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DBaseTexture8
DECLARE_INTERFACE_(IDirect3DBaseTexture8, IDirect3DResource8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD_(DWORD, SetLOD)(THIS_ DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)(THIS) PURE;
    STDMETHOD_(DWORD, GetLevelCount)(THIS) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DTexture8
DECLARE_INTERFACE_(IDirect3DTexture8, IDirect3DBaseTexture8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD_(DWORD, SetLOD)(THIS_ DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)(THIS) PURE;
    STDMETHOD_(DWORD, GetLevelCount)(THIS) PURE;
    STDMETHOD(GetLevelDesc)(THIS_ UINT Level, D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(GetSurfaceLevel)(THIS_ UINT Level, IDirect3DSurface8** ppSurfaceLevel) PURE;
    STDMETHOD(LockRect)(THIS_ UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(THIS_ UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(THIS_ const RECT* pDirtyRect) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DVolumeTexture8
DECLARE_INTERFACE_(IDirect3DVolumeTexture8, IDirect3DBaseTexture8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD_(DWORD, SetLOD)(THIS_ DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)(THIS) PURE;
    STDMETHOD_(DWORD, GetLevelCount)(THIS) PURE;
    STDMETHOD(GetLevelDesc)(THIS_ UINT Level, D3DVOLUME_DESC* pDesc) PURE;
    STDMETHOD(GetVolumeLevel)(THIS_ UINT Level, IDirect3DVolume8** ppVolumeLevel) PURE;
    STDMETHOD(LockBox)(THIS_ UINT Level, D3DLOCKED_BOX* pLockedVolume, const D3DBOX* pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)(THIS_ UINT Level) PURE;
    STDMETHOD(AddDirtyBox)(THIS_ const D3DBOX* pDirtyBox) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DCubeTexture8
DECLARE_INTERFACE_(IDirect3DCubeTexture8, IDirect3DBaseTexture8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD_(DWORD, SetLOD)(THIS_ DWORD LODNew) PURE;
    STDMETHOD_(DWORD, GetLOD)(THIS) PURE;
    STDMETHOD_(DWORD, GetLevelCount)(THIS) PURE;
    STDMETHOD(GetLevelDesc)(THIS_ UINT Level, D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(GetCubeMapSurface)(THIS_ D3DCUBEMAP_FACES FaceType, UINT Level,
        IDirect3DSurface8** ppCubeMapSurface) PURE;
    STDMETHOD(LockRect)(THIS_ D3DCUBEMAP_FACES FaceType, UINT Level, D3DLOCKED_RECT* pLockedRect, const RECT* pRect,
        DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(THIS_ D3DCUBEMAP_FACES FaceType, UINT Level) PURE;
    STDMETHOD(AddDirtyRect)(THIS_ D3DCUBEMAP_FACES FaceType, const RECT* pDirtyRect) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DVertexBuffer8
DECLARE_INTERFACE_(IDirect3DVertexBuffer8, IDirect3DResource8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD(Lock)(THIS_ UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)(THIS) PURE;
    STDMETHOD(GetDesc)(THIS_ D3DVERTEXBUFFER_DESC* pDesc) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DIndexBuffer8
DECLARE_INTERFACE_(IDirect3DIndexBuffer8, IDirect3DResource8) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD_(DWORD, SetPriority)(THIS_ DWORD PriorityNew) PURE;
    STDMETHOD_(DWORD, GetPriority)(THIS) PURE;
    STDMETHOD_(void, PreLoad)(THIS) PURE;
    STDMETHOD_(D3DRESOURCETYPE, GetType)(THIS) PURE;
    STDMETHOD(Lock)(THIS_ UINT OffsetToLock, UINT SizeToLock, BYTE** ppbData, DWORD Flags) PURE;
    STDMETHOD(Unlock)(THIS) PURE;
    STDMETHOD(GetDesc)(THIS_ D3DINDEXBUFFER_DESC* pDesc) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DSurface8
DECLARE_INTERFACE_(IDirect3DSurface8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD(GetContainer)(THIS_ REFIID riid, void** ppContainer) PURE;
    STDMETHOD(GetDesc)(THIS_ D3DSURFACE_DESC* pDesc) PURE;
    STDMETHOD(LockRect)(THIS_ D3DLOCKED_RECT* pLockedRect, const RECT* pRect, DWORD Flags) PURE;
    STDMETHOD(UnlockRect)(THIS) PURE;
};

#undef INTERFACE
#define INTERFACE IDirect3DVolume8
DECLARE_INTERFACE_(IDirect3DVolume8, IUnknown) {
    STDMETHOD(QueryInterface)(THIS_ REFIID riid, void** ppvObj) PURE;
    STDMETHOD_(ULONG, AddRef)(THIS) PURE;
    STDMETHOD_(ULONG, Release)(THIS) PURE;
    STDMETHOD(GetDevice)(THIS_ IDirect3DDevice8** ppDevice) PURE;
    STDMETHOD(SetPrivateData)(THIS_ REFGUID refguid, const void* pData, DWORD SizeOfData, DWORD Flags) PURE;
    STDMETHOD(GetPrivateData)(THIS_ REFGUID refguid, void* pData, DWORD* pSizeOfData) PURE;
    STDMETHOD(FreePrivateData)(THIS_ REFGUID refguid) PURE;
    STDMETHOD(GetContainer)(THIS_ REFIID riid, void** ppContainer) PURE;
    STDMETHOD(GetDesc)(THIS_ D3DVOLUME_DESC* pDesc) PURE;
    STDMETHOD(LockBox)(THIS_ D3DLOCKED_BOX* pLockedVolume, const D3DBOX* pBox, DWORD Flags) PURE;
    STDMETHOD(UnlockBox)(THIS) PURE;
};

// ---- end of generated interfaces ----

TOLVANE_INTERFACES_END

// The Direct3D object of the software device, with the default profile. Returns null
// for an SDK version other than D3D_SDK_VERSION.
IDirect3D8* Direct3DCreate8(UINT SDKVersion);

#ifdef COBJMACROS
#ifndef __cplusplus
// ---- generated: C call macros ----
#define IDirect3D8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3D8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3D8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3D8_RegisterSoftwareDevice(p, pInitializeFunction) (p)->lpVtbl->RegisterSoftwareDevice(p, pInitializeFunction)
#define IDirect3D8_GetAdapterCount(p) (p)->lpVtbl->GetAdapterCount(p)
#define IDirect3D8_GetAdapterIdentifier(p, Adapter, Flags, pIdentifier) (p)->lpVtbl->GetAdapterIdentifier(p, Adapter, Flags, pIdentifier)
#define IDirect3D8_GetAdapterModeCount(p, Adapter) (p)->lpVtbl->GetAdapterModeCount(p, Adapter)
#define IDirect3D8_EnumAdapterModes(p, Adapter, Mode, pMode) (p)->lpVtbl->EnumAdapterModes(p, Adapter, Mode, pMode)
#define IDirect3D8_GetAdapterDisplayMode(p, Adapter, pMode) (p)->lpVtbl->GetAdapterDisplayMode(p, Adapter, pMode)
#define IDirect3D8_CheckDeviceType(p, Adapter, CheckType, DisplayFormat, BackBufferFormat, Windowed) (p)->lpVtbl->CheckDeviceType(p, Adapter, CheckType, DisplayFormat, BackBufferFormat, Windowed)
#define IDirect3D8_CheckDeviceFormat(p, Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat) (p)->lpVtbl->CheckDeviceFormat(p, Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat)
#define IDirect3D8_CheckDeviceMultiSampleType(p, Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType) (p)->lpVtbl->CheckDeviceMultiSampleType(p, Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType)
#define IDirect3D8_CheckDepthStencilMatch(p, Adapter, DeviceType, AdapterFormat, RenderTargetFormat, DepthStencilFormat) (p)->lpVtbl->CheckDepthStencilMatch(p, Adapter, DeviceType, AdapterFormat, RenderTargetFormat, DepthStencilFormat)
#define IDirect3D8_GetDeviceCaps(p, Adapter, DeviceType, pCaps) (p)->lpVtbl->GetDeviceCaps(p, Adapter, DeviceType, pCaps)
#define IDirect3D8_GetAdapterMonitor(p, Adapter) (p)->lpVtbl->GetAdapterMonitor(p, Adapter)
#define IDirect3D8_CreateDevice(p, Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters, ppReturnedDeviceInterface) (p)->lpVtbl->CreateDevice(p, Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters, ppReturnedDeviceInterface)
#define IDirect3DDevice8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DDevice8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DDevice8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DDevice8_TestCooperativeLevel(p) (p)->lpVtbl->TestCooperativeLevel(p)
#define IDirect3DDevice8_GetAvailableTextureMem(p) (p)->lpVtbl->GetAvailableTextureMem(p)
#define IDirect3DDevice8_ResourceManagerDiscardBytes(p, Bytes) (p)->lpVtbl->ResourceManagerDiscardBytes(p, Bytes)
#define IDirect3DDevice8_GetDirect3D(p, ppD3D8) (p)->lpVtbl->GetDirect3D(p, ppD3D8)
#define IDirect3DDevice8_GetDeviceCaps(p, pCaps) (p)->lpVtbl->GetDeviceCaps(p, pCaps)
#define IDirect3DDevice8_GetDisplayMode(p, pMode) (p)->lpVtbl->GetDisplayMode(p, pMode)
#define IDirect3DDevice8_GetCreationParameters(p, pParameters) (p)->lpVtbl->GetCreationParameters(p, pParameters)
#define IDirect3DDevice8_SetCursorProperties(p, XHotSpot, YHotSpot, pCursorBitmap) (p)->lpVtbl->SetCursorProperties(p, XHotSpot, YHotSpot, pCursorBitmap)
#define IDirect3DDevice8_SetCursorPosition(p, XScreenSpace, YScreenSpace, Flags) (p)->lpVtbl->SetCursorPosition(p, XScreenSpace, YScreenSpace, Flags)
#define IDirect3DDevice8_ShowCursor(p, bShow) (p)->lpVtbl->ShowCursor(p, bShow)
#define IDirect3DDevice8_CreateAdditionalSwapChain(p, pPresentationParameters, pSwapChain) (p)->lpVtbl->CreateAdditionalSwapChain(p, pPresentationParameters, pSwapChain)
#define IDirect3DDevice8_Reset(p, pPresentationParameters) (p)->lpVtbl->Reset(p, pPresentationParameters)
#define IDirect3DDevice8_Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion) (p)->lpVtbl->Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion)
#define IDirect3DDevice8_GetBackBuffer(p, BackBuffer, Type, ppBackBuffer) (p)->lpVtbl->GetBackBuffer(p, BackBuffer, Type, ppBackBuffer)
#define IDirect3DDevice8_GetRasterStatus(p, pRasterStatus) (p)->lpVtbl->GetRasterStatus(p, pRasterStatus)
#define IDirect3DDevice8_SetGammaRamp(p, Flags, pRamp) (p)->lpVtbl->SetGammaRamp(p, Flags, pRamp)
#define IDirect3DDevice8_GetGammaRamp(p, pRamp) (p)->lpVtbl->GetGammaRamp(p, pRamp)
#define IDirect3DDevice8_CreateTexture(p, Width, Height, Levels, Usage, Format, Pool, ppTexture) (p)->lpVtbl->CreateTexture(p, Width, Height, Levels, Usage, Format, Pool, ppTexture)
#define IDirect3DDevice8_CreateVolumeTexture(p, Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture) (p)->lpVtbl->CreateVolumeTexture(p, Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture)
#define IDirect3DDevice8_CreateCubeTexture(p, EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture) (p)->lpVtbl->CreateCubeTexture(p, EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture)
#define IDirect3DDevice8_CreateVertexBuffer(p, Length, Usage, FVF, Pool, ppVertexBuffer) (p)->lpVtbl->CreateVertexBuffer(p, Length, Usage, FVF, Pool, ppVertexBuffer)
#define IDirect3DDevice8_CreateIndexBuffer(p, Length, Usage, Format, Pool, ppIndexBuffer) (p)->lpVtbl->CreateIndexBuffer(p, Length, Usage, Format, Pool, ppIndexBuffer)
#define IDirect3DDevice8_CreateRenderTarget(p, Width, Height, Format, MultiSample, Lockable, ppSurface) (p)->lpVtbl->CreateRenderTarget(p, Width, Height, Format, MultiSample, Lockable, ppSurface)
#define IDirect3DDevice8_CreateDepthStencilSurface(p, Width, Height, Format, MultiSample, ppSurface) (p)->lpVtbl->CreateDepthStencilSurface(p, Width, Height, Format, MultiSample, ppSurface)
#define IDirect3DDevice8_CreateImageSurface(p, Width, Height, Format, ppSurface) (p)->lpVtbl->CreateImageSurface(p, Width, Height, Format, ppSurface)
#define IDirect3DDevice8_CopyRects(p, pSourceSurface, pSourceRectsArray, cRects, pDestinationSurface, pDestPointsArray) (p)->lpVtbl->CopyRects(p, pSourceSurface, pSourceRectsArray, cRects, pDestinationSurface, pDestPointsArray)
#define IDirect3DDevice8_UpdateTexture(p, pSourceTexture, pDestinationTexture) (p)->lpVtbl->UpdateTexture(p, pSourceTexture, pDestinationTexture)
#define IDirect3DDevice8_GetFrontBuffer(p, pDestSurface) (p)->lpVtbl->GetFrontBuffer(p, pDestSurface)
#define IDirect3DDevice8_SetRenderTarget(p, pRenderTarget, pNewZStencil) (p)->lpVtbl->SetRenderTarget(p, pRenderTarget, pNewZStencil)
#define IDirect3DDevice8_GetRenderTarget(p, ppRenderTarget) (p)->lpVtbl->GetRenderTarget(p, ppRenderTarget)
#define IDirect3DDevice8_GetDepthStencilSurface(p, ppZStencilSurface) (p)->lpVtbl->GetDepthStencilSurface(p, ppZStencilSurface)
#define IDirect3DDevice8_BeginScene(p) (p)->lpVtbl->BeginScene(p)
#define IDirect3DDevice8_EndScene(p) (p)->lpVtbl->EndScene(p)
#define IDirect3DDevice8_Clear(p, Count, pRects, Flags, Color, Z, Stencil) (p)->lpVtbl->Clear(p, Count, pRects, Flags, Color, Z, Stencil)
#define IDirect3DDevice8_SetTransform(p, State, pMatrix) (p)->lpVtbl->SetTransform(p, State, pMatrix)
#define IDirect3DDevice8_GetTransform(p, State, pMatrix) (p)->lpVtbl->GetTransform(p, State, pMatrix)
#define IDirect3DDevice8_MultiplyTransform(p, State, pMatrix) (p)->lpVtbl->MultiplyTransform(p, State, pMatrix)
#define IDirect3DDevice8_SetViewport(p, pViewport) (p)->lpVtbl->SetViewport(p, pViewport)
#define IDirect3DDevice8_GetViewport(p, pViewport) (p)->lpVtbl->GetViewport(p, pViewport)
#define IDirect3DDevice8_SetMaterial(p, pMaterial) (p)->lpVtbl->SetMaterial(p, pMaterial)
#define IDirect3DDevice8_GetMaterial(p, pMaterial) (p)->lpVtbl->GetMaterial(p, pMaterial)
#define IDirect3DDevice8_SetLight(p, Index, pLight) (p)->lpVtbl->SetLight(p, Index, pLight)
#define IDirect3DDevice8_GetLight(p, Index, pLight) (p)->lpVtbl->GetLight(p, Index, pLight)
#define IDirect3DDevice8_LightEnable(p, Index, Enable) (p)->lpVtbl->LightEnable(p, Index, Enable)
#define IDirect3DDevice8_GetLightEnable(p, Index, pEnable) (p)->lpVtbl->GetLightEnable(p, Index, pEnable)
#define IDirect3DDevice8_SetClipPlane(p, Index, pPlane) (p)->lpVtbl->SetClipPlane(p, Index, pPlane)
#define IDirect3DDevice8_GetClipPlane(p, Index, pPlane) (p)->lpVtbl->GetClipPlane(p, Index, pPlane)
#define IDirect3DDevice8_SetRenderState(p, State, Value) (p)->lpVtbl->SetRenderState(p, State, Value)
#define IDirect3DDevice8_GetRenderState(p, State, pValue) (p)->lpVtbl->GetRenderState(p, State, pValue)
#define IDirect3DDevice8_BeginStateBlock(p) (p)->lpVtbl->BeginStateBlock(p)
#define IDirect3DDevice8_EndStateBlock(p, pToken) (p)->lpVtbl->EndStateBlock(p, pToken)
#define IDirect3DDevice8_ApplyStateBlock(p, Token) (p)->lpVtbl->ApplyStateBlock(p, Token)
#define IDirect3DDevice8_CaptureStateBlock(p, Token) (p)->lpVtbl->CaptureStateBlock(p, Token)
#define IDirect3DDevice8_DeleteStateBlock(p, Token) (p)->lpVtbl->DeleteStateBlock(p, Token)
#define IDirect3DDevice8_CreateStateBlock(p, Type, pToken) (p)->lpVtbl->CreateStateBlock(p, Type, pToken)
#define IDirect3DDevice8_SetClipStatus(p, pClipStatus) (p)->lpVtbl->SetClipStatus(p, pClipStatus)
#define IDirect3DDevice8_GetClipStatus(p, pClipStatus) (p)->lpVtbl->GetClipStatus(p, pClipStatus)
#define IDirect3DDevice8_GetTexture(p, Stage, ppTexture) (p)->lpVtbl->GetTexture(p, Stage, ppTexture)
#define IDirect3DDevice8_SetTexture(p, Stage, pTexture) (p)->lpVtbl->SetTexture(p, Stage, pTexture)
#define IDirect3DDevice8_GetTextureStageState(p, Stage, Type, pValue) (p)->lpVtbl->GetTextureStageState(p, Stage, Type, pValue)
#define IDirect3DDevice8_SetTextureStageState(p, Stage, Type, Value) (p)->lpVtbl->SetTextureStageState(p, Stage, Type, Value)
#define IDirect3DDevice8_ValidateDevice(p, pNumPasses) (p)->lpVtbl->ValidateDevice(p, pNumPasses)
#define IDirect3DDevice8_GetInfo(p, DevInfoID, pDevInfoStruct, DevInfoStructSize) (p)->lpVtbl->GetInfo(p, DevInfoID, pDevInfoStruct, DevInfoStructSize)
#define IDirect3DDevice8_SetPaletteEntries(p, PaletteNumber, pEntries) (p)->lpVtbl->SetPaletteEntries(p, PaletteNumber, pEntries)
#define IDirect3DDevice8_GetPaletteEntries(p, PaletteNumber, pEntries) (p)->lpVtbl->GetPaletteEntries(p, PaletteNumber, pEntries)
#define IDirect3DDevice8_SetCurrentTexturePalette(p, PaletteNumber) (p)->lpVtbl->SetCurrentTexturePalette(p, PaletteNumber)
#define IDirect3DDevice8_GetCurrentTexturePalette(p, PaletteNumber) (p)->lpVtbl->GetCurrentTexturePalette(p, PaletteNumber)
#define IDirect3DDevice8_DrawPrimitive(p, PrimitiveType, StartVertex, PrimitiveCount) (p)->lpVtbl->DrawPrimitive(p, PrimitiveType, StartVertex, PrimitiveCount)
#define IDirect3DDevice8_DrawIndexedPrimitive(p, PrimitiveType, minIndex, NumVertices, startIndex, primCount) (p)->lpVtbl->DrawIndexedPrimitive(p, PrimitiveType, minIndex, NumVertices, startIndex, primCount)
#define IDirect3DDevice8_DrawPrimitiveUP(p, PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride) (p)->lpVtbl->DrawPrimitiveUP(p, PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride)
#define IDirect3DDevice8_DrawIndexedPrimitiveUP(p, PrimitiveType, MinVertexIndex, NumVertexIndices, PrimitiveCount, pIndexData, IndexDataFormat, pVertexStreamZeroData, VertexStreamZeroStride) (p)->lpVtbl->DrawIndexedPrimitiveUP(p, PrimitiveType, MinVertexIndex, NumVertexIndices, PrimitiveCount, pIndexData, IndexDataFormat, pVertexStreamZeroData, VertexStreamZeroStride)
#define IDirect3DDevice8_ProcessVertices(p, SrcStartIndex, DestIndex, VertexCount, pDestBuffer, Flags) (p)->lpVtbl->ProcessVertices(p, SrcStartIndex, DestIndex, VertexCount, pDestBuffer, Flags)
#define IDirect3DDevice8_CreateVertexShader(p, pDeclaration, pFunction, pHandle, Usage) (p)->lpVtbl->CreateVertexShader(p, pDeclaration, pFunction, pHandle, Usage)
#define IDirect3DDevice8_SetVertexShader(p, Handle) (p)->lpVtbl->SetVertexShader(p, Handle)
#define IDirect3DDevice8_GetVertexShader(p, pHandle) (p)->lpVtbl->GetVertexShader(p, pHandle)
#define IDirect3DDevice8_DeleteVertexShader(p, Handle) (p)->lpVtbl->DeleteVertexShader(p, Handle)
#define IDirect3DDevice8_SetVertexShaderConstant(p, Register, pConstantData, ConstantCount) (p)->lpVtbl->SetVertexShaderConstant(p, Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetVertexShaderConstant(p, Register, pConstantData, ConstantCount) (p)->lpVtbl->GetVertexShaderConstant(p, Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetVertexShaderDeclaration(p, Handle, pData, pSizeOfData) (p)->lpVtbl->GetVertexShaderDeclaration(p, Handle, pData, pSizeOfData)
#define IDirect3DDevice8_GetVertexShaderFunction(p, Handle, pData, pSizeOfData) (p)->lpVtbl->GetVertexShaderFunction(p, Handle, pData, pSizeOfData)
#define IDirect3DDevice8_SetStreamSource(p, StreamNumber, pStreamData, Stride) (p)->lpVtbl->SetStreamSource(p, StreamNumber, pStreamData, Stride)
#define IDirect3DDevice8_GetStreamSource(p, StreamNumber, ppStreamData, pStride) (p)->lpVtbl->GetStreamSource(p, StreamNumber, ppStreamData, pStride)
#define IDirect3DDevice8_SetIndices(p, pIndexData, BaseVertexIndex) (p)->lpVtbl->SetIndices(p, pIndexData, BaseVertexIndex)
#define IDirect3DDevice8_GetIndices(p, ppIndexData, pBaseVertexIndex) (p)->lpVtbl->GetIndices(p, ppIndexData, pBaseVertexIndex)
#define IDirect3DDevice8_CreatePixelShader(p, pFunction, pHandle) (p)->lpVtbl->CreatePixelShader(p, pFunction, pHandle)
#define IDirect3DDevice8_SetPixelShader(p, Handle) (p)->lpVtbl->SetPixelShader(p, Handle)
#define IDirect3DDevice8_GetPixelShader(p, pHandle) (p)->lpVtbl->GetPixelShader(p, pHandle)
#define IDirect3DDevice8_DeletePixelShader(p, Handle) (p)->lpVtbl->DeletePixelShader(p, Handle)
#define IDirect3DDevice8_SetPixelShaderConstant(p, Register, pConstantData, ConstantCount) (p)->lpVtbl->SetPixelShaderConstant(p, Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetPixelShaderConstant(p, Register, pConstantData, ConstantCount) (p)->lpVtbl->GetPixelShaderConstant(p, Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetPixelShaderFunction(p, Handle, pData, pSizeOfData) (p)->lpVtbl->GetPixelShaderFunction(p, Handle, pData, pSizeOfData)
#define IDirect3DDevice8_DrawRectPatch(p, Handle, pNumSegs, pRectPatchInfo) (p)->lpVtbl->DrawRectPatch(p, Handle, pNumSegs, pRectPatchInfo)
#define IDirect3DDevice8_DrawTriPatch(p, Handle, pNumSegs, pTriPatchInfo) (p)->lpVtbl->DrawTriPatch(p, Handle, pNumSegs, pTriPatchInfo)
#define IDirect3DDevice8_DeletePatch(p, Handle) (p)->lpVtbl->DeletePatch(p, Handle)
#define IDirect3DSwapChain8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DSwapChain8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DSwapChain8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DSwapChain8_Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion) (p)->lpVtbl->Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion)
#define IDirect3DSwapChain8_GetBackBuffer(p, BackBuffer, Type, ppBackBuffer) (p)->lpVtbl->GetBackBuffer(p, BackBuffer, Type, ppBackBuffer)
#define IDirect3DResource8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DResource8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DResource8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DResource8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DResource8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DResource8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DResource8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DResource8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DResource8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DResource8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DResource8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DBaseTexture8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DBaseTexture8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DBaseTexture8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DBaseTexture8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DBaseTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DBaseTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DBaseTexture8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DBaseTexture8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DBaseTexture8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DBaseTexture8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DBaseTexture8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DBaseTexture8_SetLOD(p, LODNew) (p)->lpVtbl->SetLOD(p, LODNew)
#define IDirect3DBaseTexture8_GetLOD(p) (p)->lpVtbl->GetLOD(p)
#define IDirect3DBaseTexture8_GetLevelCount(p) (p)->lpVtbl->GetLevelCount(p)
#define IDirect3DTexture8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DTexture8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DTexture8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DTexture8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DTexture8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DTexture8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DTexture8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DTexture8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DTexture8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DTexture8_SetLOD(p, LODNew) (p)->lpVtbl->SetLOD(p, LODNew)
#define IDirect3DTexture8_GetLOD(p) (p)->lpVtbl->GetLOD(p)
#define IDirect3DTexture8_GetLevelCount(p) (p)->lpVtbl->GetLevelCount(p)
#define IDirect3DTexture8_GetLevelDesc(p, Level, pDesc) (p)->lpVtbl->GetLevelDesc(p, Level, pDesc)
#define IDirect3DTexture8_GetSurfaceLevel(p, Level, ppSurfaceLevel) (p)->lpVtbl->GetSurfaceLevel(p, Level, ppSurfaceLevel)
#define IDirect3DTexture8_LockRect(p, Level, pLockedRect, pRect, Flags) (p)->lpVtbl->LockRect(p, Level, pLockedRect, pRect, Flags)
#define IDirect3DTexture8_UnlockRect(p, Level) (p)->lpVtbl->UnlockRect(p, Level)
#define IDirect3DTexture8_AddDirtyRect(p, pDirtyRect) (p)->lpVtbl->AddDirtyRect(p, pDirtyRect)
#define IDirect3DVolumeTexture8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DVolumeTexture8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DVolumeTexture8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DVolumeTexture8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DVolumeTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DVolumeTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DVolumeTexture8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DVolumeTexture8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DVolumeTexture8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DVolumeTexture8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DVolumeTexture8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DVolumeTexture8_SetLOD(p, LODNew) (p)->lpVtbl->SetLOD(p, LODNew)
#define IDirect3DVolumeTexture8_GetLOD(p) (p)->lpVtbl->GetLOD(p)
#define IDirect3DVolumeTexture8_GetLevelCount(p) (p)->lpVtbl->GetLevelCount(p)
#define IDirect3DVolumeTexture8_GetLevelDesc(p, Level, pDesc) (p)->lpVtbl->GetLevelDesc(p, Level, pDesc)
#define IDirect3DVolumeTexture8_GetVolumeLevel(p, Level, ppVolumeLevel) (p)->lpVtbl->GetVolumeLevel(p, Level, ppVolumeLevel)
#define IDirect3DVolumeTexture8_LockBox(p, Level, pLockedVolume, pBox, Flags) (p)->lpVtbl->LockBox(p, Level, pLockedVolume, pBox, Flags)
#define IDirect3DVolumeTexture8_UnlockBox(p, Level) (p)->lpVtbl->UnlockBox(p, Level)
#define IDirect3DVolumeTexture8_AddDirtyBox(p, pDirtyBox) (p)->lpVtbl->AddDirtyBox(p, pDirtyBox)
#define IDirect3DCubeTexture8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DCubeTexture8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DCubeTexture8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DCubeTexture8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DCubeTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DCubeTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DCubeTexture8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DCubeTexture8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DCubeTexture8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DCubeTexture8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DCubeTexture8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DCubeTexture8_SetLOD(p, LODNew) (p)->lpVtbl->SetLOD(p, LODNew)
#define IDirect3DCubeTexture8_GetLOD(p) (p)->lpVtbl->GetLOD(p)
#define IDirect3DCubeTexture8_GetLevelCount(p) (p)->lpVtbl->GetLevelCount(p)
#define IDirect3DCubeTexture8_GetLevelDesc(p, Level, pDesc) (p)->lpVtbl->GetLevelDesc(p, Level, pDesc)
#define IDirect3DCubeTexture8_GetCubeMapSurface(p, FaceType, Level, ppCubeMapSurface) (p)->lpVtbl->GetCubeMapSurface(p, FaceType, Level, ppCubeMapSurface)
#define IDirect3DCubeTexture8_LockRect(p, FaceType, Level, pLockedRect, pRect, Flags) (p)->lpVtbl->LockRect(p, FaceType, Level, pLockedRect, pRect, Flags)
#define IDirect3DCubeTexture8_UnlockRect(p, FaceType, Level) (p)->lpVtbl->UnlockRect(p, FaceType, Level)
#define IDirect3DCubeTexture8_AddDirtyRect(p, FaceType, pDirtyRect) (p)->lpVtbl->AddDirtyRect(p, FaceType, pDirtyRect)
#define IDirect3DVertexBuffer8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DVertexBuffer8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DVertexBuffer8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DVertexBuffer8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DVertexBuffer8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DVertexBuffer8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DVertexBuffer8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DVertexBuffer8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DVertexBuffer8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DVertexBuffer8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DVertexBuffer8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DVertexBuffer8_Lock(p, OffsetToLock, SizeToLock, ppbData, Flags) (p)->lpVtbl->Lock(p, OffsetToLock, SizeToLock, ppbData, Flags)
#define IDirect3DVertexBuffer8_Unlock(p) (p)->lpVtbl->Unlock(p)
#define IDirect3DVertexBuffer8_GetDesc(p, pDesc) (p)->lpVtbl->GetDesc(p, pDesc)
#define IDirect3DIndexBuffer8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DIndexBuffer8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DIndexBuffer8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DIndexBuffer8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DIndexBuffer8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DIndexBuffer8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DIndexBuffer8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DIndexBuffer8_SetPriority(p, PriorityNew) (p)->lpVtbl->SetPriority(p, PriorityNew)
#define IDirect3DIndexBuffer8_GetPriority(p) (p)->lpVtbl->GetPriority(p)
#define IDirect3DIndexBuffer8_PreLoad(p) (p)->lpVtbl->PreLoad(p)
#define IDirect3DIndexBuffer8_GetType(p) (p)->lpVtbl->GetType(p)
#define IDirect3DIndexBuffer8_Lock(p, OffsetToLock, SizeToLock, ppbData, Flags) (p)->lpVtbl->Lock(p, OffsetToLock, SizeToLock, ppbData, Flags)
#define IDirect3DIndexBuffer8_Unlock(p) (p)->lpVtbl->Unlock(p)
#define IDirect3DIndexBuffer8_GetDesc(p, pDesc) (p)->lpVtbl->GetDesc(p, pDesc)
#define IDirect3DSurface8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DSurface8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DSurface8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DSurface8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DSurface8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DSurface8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DSurface8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DSurface8_GetContainer(p, riid, ppContainer) (p)->lpVtbl->GetContainer(p, riid, ppContainer)
#define IDirect3DSurface8_GetDesc(p, pDesc) (p)->lpVtbl->GetDesc(p, pDesc)
#define IDirect3DSurface8_LockRect(p, pLockedRect, pRect, Flags) (p)->lpVtbl->LockRect(p, pLockedRect, pRect, Flags)
#define IDirect3DSurface8_UnlockRect(p) (p)->lpVtbl->UnlockRect(p)
#define IDirect3DVolume8_QueryInterface(p, riid, ppvObj) (p)->lpVtbl->QueryInterface(p, riid, ppvObj)
#define IDirect3DVolume8_AddRef(p) (p)->lpVtbl->AddRef(p)
#define IDirect3DVolume8_Release(p) (p)->lpVtbl->Release(p)
#define IDirect3DVolume8_GetDevice(p, ppDevice) (p)->lpVtbl->GetDevice(p, ppDevice)
#define IDirect3DVolume8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->lpVtbl->SetPrivateData(p, refguid, pData, SizeOfData, Flags)
#define IDirect3DVolume8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->lpVtbl->GetPrivateData(p, refguid, pData, pSizeOfData)
#define IDirect3DVolume8_FreePrivateData(p, refguid) (p)->lpVtbl->FreePrivateData(p, refguid)
#define IDirect3DVolume8_GetContainer(p, riid, ppContainer) (p)->lpVtbl->GetContainer(p, riid, ppContainer)
#define IDirect3DVolume8_GetDesc(p, pDesc) (p)->lpVtbl->GetDesc(p, pDesc)
#define IDirect3DVolume8_LockBox(p, pLockedVolume, pBox, Flags) (p)->lpVtbl->LockBox(p, pLockedVolume, pBox, Flags)
#define IDirect3DVolume8_UnlockBox(p) (p)->lpVtbl->UnlockBox(p)
// ---- end of generated C call macros ----
#else
// ---- generated: C++ call macros ----
#define IDirect3D8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3D8_AddRef(p) (p)->AddRef()
#define IDirect3D8_Release(p) (p)->Release()
#define IDirect3D8_RegisterSoftwareDevice(p, pInitializeFunction) (p)->RegisterSoftwareDevice(pInitializeFunction)
#define IDirect3D8_GetAdapterCount(p) (p)->GetAdapterCount()
#define IDirect3D8_GetAdapterIdentifier(p, Adapter, Flags, pIdentifier) (p)->GetAdapterIdentifier(Adapter, Flags, pIdentifier)
#define IDirect3D8_GetAdapterModeCount(p, Adapter) (p)->GetAdapterModeCount(Adapter)
#define IDirect3D8_EnumAdapterModes(p, Adapter, Mode, pMode) (p)->EnumAdapterModes(Adapter, Mode, pMode)
#define IDirect3D8_GetAdapterDisplayMode(p, Adapter, pMode) (p)->GetAdapterDisplayMode(Adapter, pMode)
#define IDirect3D8_CheckDeviceType(p, Adapter, CheckType, DisplayFormat, BackBufferFormat, Windowed) (p)->CheckDeviceType(Adapter, CheckType, DisplayFormat, BackBufferFormat, Windowed)
#define IDirect3D8_CheckDeviceFormat(p, Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat) (p)->CheckDeviceFormat(Adapter, DeviceType, AdapterFormat, Usage, RType, CheckFormat)
#define IDirect3D8_CheckDeviceMultiSampleType(p, Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType) (p)->CheckDeviceMultiSampleType(Adapter, DeviceType, SurfaceFormat, Windowed, MultiSampleType)
#define IDirect3D8_CheckDepthStencilMatch(p, Adapter, DeviceType, AdapterFormat, RenderTargetFormat, DepthStencilFormat) (p)->CheckDepthStencilMatch(Adapter, DeviceType, AdapterFormat, RenderTargetFormat, DepthStencilFormat)
#define IDirect3D8_GetDeviceCaps(p, Adapter, DeviceType, pCaps) (p)->GetDeviceCaps(Adapter, DeviceType, pCaps)
#define IDirect3D8_GetAdapterMonitor(p, Adapter) (p)->GetAdapterMonitor(Adapter)
#define IDirect3D8_CreateDevice(p, Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters, ppReturnedDeviceInterface) (p)->CreateDevice(Adapter, DeviceType, hFocusWindow, BehaviorFlags, pPresentationParameters, ppReturnedDeviceInterface)
#define IDirect3DDevice8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DDevice8_AddRef(p) (p)->AddRef()
#define IDirect3DDevice8_Release(p) (p)->Release()
#define IDirect3DDevice8_TestCooperativeLevel(p) (p)->TestCooperativeLevel()
#define IDirect3DDevice8_GetAvailableTextureMem(p) (p)->GetAvailableTextureMem()
#define IDirect3DDevice8_ResourceManagerDiscardBytes(p, Bytes) (p)->ResourceManagerDiscardBytes(Bytes)
#define IDirect3DDevice8_GetDirect3D(p, ppD3D8) (p)->GetDirect3D(ppD3D8)
#define IDirect3DDevice8_GetDeviceCaps(p, pCaps) (p)->GetDeviceCaps(pCaps)
#define IDirect3DDevice8_GetDisplayMode(p, pMode) (p)->GetDisplayMode(pMode)
#define IDirect3DDevice8_GetCreationParameters(p, pParameters) (p)->GetCreationParameters(pParameters)
#define IDirect3DDevice8_SetCursorProperties(p, XHotSpot, YHotSpot, pCursorBitmap) (p)->SetCursorProperties(XHotSpot, YHotSpot, pCursorBitmap)
#define IDirect3DDevice8_SetCursorPosition(p, XScreenSpace, YScreenSpace, Flags) (p)->SetCursorPosition(XScreenSpace, YScreenSpace, Flags)
#define IDirect3DDevice8_ShowCursor(p, bShow) (p)->ShowCursor(bShow)
#define IDirect3DDevice8_CreateAdditionalSwapChain(p, pPresentationParameters, pSwapChain) (p)->CreateAdditionalSwapChain(pPresentationParameters, pSwapChain)
#define IDirect3DDevice8_Reset(p, pPresentationParameters) (p)->Reset(pPresentationParameters)
#define IDirect3DDevice8_Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion) (p)->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion)
#define IDirect3DDevice8_GetBackBuffer(p, BackBuffer, Type, ppBackBuffer) (p)->GetBackBuffer(BackBuffer, Type, ppBackBuffer)
#define IDirect3DDevice8_GetRasterStatus(p, pRasterStatus) (p)->GetRasterStatus(pRasterStatus)
#define IDirect3DDevice8_SetGammaRamp(p, Flags, pRamp) (p)->SetGammaRamp(Flags, pRamp)
#define IDirect3DDevice8_GetGammaRamp(p, pRamp) (p)->GetGammaRamp(pRamp)
#define IDirect3DDevice8_CreateTexture(p, Width, Height, Levels, Usage, Format, Pool, ppTexture) (p)->CreateTexture(Width, Height, Levels, Usage, Format, Pool, ppTexture)
#define IDirect3DDevice8_CreateVolumeTexture(p, Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture) (p)->CreateVolumeTexture(Width, Height, Depth, Levels, Usage, Format, Pool, ppVolumeTexture)
#define IDirect3DDevice8_CreateCubeTexture(p, EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture) (p)->CreateCubeTexture(EdgeLength, Levels, Usage, Format, Pool, ppCubeTexture)
#define IDirect3DDevice8_CreateVertexBuffer(p, Length, Usage, FVF, Pool, ppVertexBuffer) (p)->CreateVertexBuffer(Length, Usage, FVF, Pool, ppVertexBuffer)
#define IDirect3DDevice8_CreateIndexBuffer(p, Length, Usage, Format, Pool, ppIndexBuffer) (p)->CreateIndexBuffer(Length, Usage, Format, Pool, ppIndexBuffer)
#define IDirect3DDevice8_CreateRenderTarget(p, Width, Height, Format, MultiSample, Lockable, ppSurface) (p)->CreateRenderTarget(Width, Height, Format, MultiSample, Lockable, ppSurface)
#define IDirect3DDevice8_CreateDepthStencilSurface(p, Width, Height, Format, MultiSample, ppSurface) (p)->CreateDepthStencilSurface(Width, Height, Format, MultiSample, ppSurface)
#define IDirect3DDevice8_CreateImageSurface(p, Width, Height, Format, ppSurface) (p)->CreateImageSurface(Width, Height, Format, ppSurface)
#define IDirect3DDevice8_CopyRects(p, pSourceSurface, pSourceRectsArray, cRects, pDestinationSurface, pDestPointsArray) (p)->CopyRects(pSourceSurface, pSourceRectsArray, cRects, pDestinationSurface, pDestPointsArray)
#define IDirect3DDevice8_UpdateTexture(p, pSourceTexture, pDestinationTexture) (p)->UpdateTexture(pSourceTexture, pDestinationTexture)
#define IDirect3DDevice8_GetFrontBuffer(p, pDestSurface) (p)->GetFrontBuffer(pDestSurface)
#define IDirect3DDevice8_SetRenderTarget(p, pRenderTarget, pNewZStencil) (p)->SetRenderTarget(pRenderTarget, pNewZStencil)
#define IDirect3DDevice8_GetRenderTarget(p, ppRenderTarget) (p)->GetRenderTarget(ppRenderTarget)
#define IDirect3DDevice8_GetDepthStencilSurface(p, ppZStencilSurface) (p)->GetDepthStencilSurface(ppZStencilSurface)
#define IDirect3DDevice8_BeginScene(p) (p)->BeginScene()
#define IDirect3DDevice8_EndScene(p) (p)->EndScene()
#define IDirect3DDevice8_Clear(p, Count, pRects, Flags, Color, Z, Stencil) (p)->Clear(Count, pRects, Flags, Color, Z, Stencil)
#define IDirect3DDevice8_SetTransform(p, State, pMatrix) (p)->SetTransform(State, pMatrix)
#define IDirect3DDevice8_GetTransform(p, State, pMatrix) (p)->GetTransform(State, pMatrix)
#define IDirect3DDevice8_MultiplyTransform(p, State, pMatrix) (p)->MultiplyTransform(State, pMatrix)
#define IDirect3DDevice8_SetViewport(p, pViewport) (p)->SetViewport(pViewport)
#define IDirect3DDevice8_GetViewport(p, pViewport) (p)->GetViewport(pViewport)
#define IDirect3DDevice8_SetMaterial(p, pMaterial) (p)->SetMaterial(pMaterial)
#define IDirect3DDevice8_GetMaterial(p, pMaterial) (p)->GetMaterial(pMaterial)
#define IDirect3DDevice8_SetLight(p, Index, pLight) (p)->SetLight(Index, pLight)
#define IDirect3DDevice8_GetLight(p, Index, pLight) (p)->GetLight(Index, pLight)
#define IDirect3DDevice8_LightEnable(p, Index, Enable) (p)->LightEnable(Index, Enable)
#define IDirect3DDevice8_GetLightEnable(p, Index, pEnable) (p)->GetLightEnable(Index, pEnable)
#define IDirect3DDevice8_SetClipPlane(p, Index, pPlane) (p)->SetClipPlane(Index, pPlane)
#define IDirect3DDevice8_GetClipPlane(p, Index, pPlane) (p)->GetClipPlane(Index, pPlane)
#define IDirect3DDevice8_SetRenderState(p, State, Value) (p)->SetRenderState(State, Value)
#define IDirect3DDevice8_GetRenderState(p, State, pValue) (p)->GetRenderState(State, pValue)
#define IDirect3DDevice8_BeginStateBlock(p) (p)->BeginStateBlock()
#define IDirect3DDevice8_EndStateBlock(p, pToken) (p)->EndStateBlock(pToken)
#define IDirect3DDevice8_ApplyStateBlock(p, Token) (p)->ApplyStateBlock(Token)
#define IDirect3DDevice8_CaptureStateBlock(p, Token) (p)->CaptureStateBlock(Token)
#define IDirect3DDevice8_DeleteStateBlock(p, Token) (p)->DeleteStateBlock(Token)
#define IDirect3DDevice8_CreateStateBlock(p, Type, pToken) (p)->CreateStateBlock(Type, pToken)
#define IDirect3DDevice8_SetClipStatus(p, pClipStatus) (p)->SetClipStatus(pClipStatus)
#define IDirect3DDevice8_GetClipStatus(p, pClipStatus) (p)->GetClipStatus(pClipStatus)
#define IDirect3DDevice8_GetTexture(p, Stage, ppTexture) (p)->GetTexture(Stage, ppTexture)
#define IDirect3DDevice8_SetTexture(p, Stage, pTexture) (p)->SetTexture(Stage, pTexture)
#define IDirect3DDevice8_GetTextureStageState(p, Stage, Type, pValue) (p)->GetTextureStageState(Stage, Type, pValue)
#define IDirect3DDevice8_SetTextureStageState(p, Stage, Type, Value) (p)->SetTextureStageState(Stage, Type, Value)
#define IDirect3DDevice8_ValidateDevice(p, pNumPasses) (p)->ValidateDevice(pNumPasses)
#define IDirect3DDevice8_GetInfo(p, DevInfoID, pDevInfoStruct, DevInfoStructSize) (p)->GetInfo(DevInfoID, pDevInfoStruct, DevInfoStructSize)
#define IDirect3DDevice8_SetPaletteEntries(p, PaletteNumber, pEntries) (p)->SetPaletteEntries(PaletteNumber, pEntries)
#define IDirect3DDevice8_GetPaletteEntries(p, PaletteNumber, pEntries) (p)->GetPaletteEntries(PaletteNumber, pEntries)
#define IDirect3DDevice8_SetCurrentTexturePalette(p, PaletteNumber) (p)->SetCurrentTexturePalette(PaletteNumber)
#define IDirect3DDevice8_GetCurrentTexturePalette(p, PaletteNumber) (p)->GetCurrentTexturePalette(PaletteNumber)
#define IDirect3DDevice8_DrawPrimitive(p, PrimitiveType, StartVertex, PrimitiveCount) (p)->DrawPrimitive(PrimitiveType, StartVertex, PrimitiveCount)
#define IDirect3DDevice8_DrawIndexedPrimitive(p, PrimitiveType, minIndex, NumVertices, startIndex, primCount) (p)->DrawIndexedPrimitive(PrimitiveType, minIndex, NumVertices, startIndex, primCount)
#define IDirect3DDevice8_DrawPrimitiveUP(p, PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride) (p)->DrawPrimitiveUP(PrimitiveType, PrimitiveCount, pVertexStreamZeroData, VertexStreamZeroStride)
#define IDirect3DDevice8_DrawIndexedPrimitiveUP(p, PrimitiveType, MinVertexIndex, NumVertexIndices, PrimitiveCount, pIndexData, IndexDataFormat, pVertexStreamZeroData, VertexStreamZeroStride) (p)->DrawIndexedPrimitiveUP(PrimitiveType, MinVertexIndex, NumVertexIndices, PrimitiveCount, pIndexData, IndexDataFormat, pVertexStreamZeroData, VertexStreamZeroStride)
#define IDirect3DDevice8_ProcessVertices(p, SrcStartIndex, DestIndex, VertexCount, pDestBuffer, Flags) (p)->ProcessVertices(SrcStartIndex, DestIndex, VertexCount, pDestBuffer, Flags)
#define IDirect3DDevice8_CreateVertexShader(p, pDeclaration, pFunction, pHandle, Usage) (p)->CreateVertexShader(pDeclaration, pFunction, pHandle, Usage)
#define IDirect3DDevice8_SetVertexShader(p, Handle) (p)->SetVertexShader(Handle)
#define IDirect3DDevice8_GetVertexShader(p, pHandle) (p)->GetVertexShader(pHandle)
#define IDirect3DDevice8_DeleteVertexShader(p, Handle) (p)->DeleteVertexShader(Handle)
#define IDirect3DDevice8_SetVertexShaderConstant(p, Register, pConstantData, ConstantCount) (p)->SetVertexShaderConstant(Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetVertexShaderConstant(p, Register, pConstantData, ConstantCount) (p)->GetVertexShaderConstant(Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetVertexShaderDeclaration(p, Handle, pData, pSizeOfData) (p)->GetVertexShaderDeclaration(Handle, pData, pSizeOfData)
#define IDirect3DDevice8_GetVertexShaderFunction(p, Handle, pData, pSizeOfData) (p)->GetVertexShaderFunction(Handle, pData, pSizeOfData)
#define IDirect3DDevice8_SetStreamSource(p, StreamNumber, pStreamData, Stride) (p)->SetStreamSource(StreamNumber, pStreamData, Stride)
#define IDirect3DDevice8_GetStreamSource(p, StreamNumber, ppStreamData, pStride) (p)->GetStreamSource(StreamNumber, ppStreamData, pStride)
#define IDirect3DDevice8_SetIndices(p, pIndexData, BaseVertexIndex) (p)->SetIndices(pIndexData, BaseVertexIndex)
#define IDirect3DDevice8_GetIndices(p, ppIndexData, pBaseVertexIndex) (p)->GetIndices(ppIndexData, pBaseVertexIndex)
#define IDirect3DDevice8_CreatePixelShader(p, pFunction, pHandle) (p)->CreatePixelShader(pFunction, pHandle)
#define IDirect3DDevice8_SetPixelShader(p, Handle) (p)->SetPixelShader(Handle)
#define IDirect3DDevice8_GetPixelShader(p, pHandle) (p)->GetPixelShader(pHandle)
#define IDirect3DDevice8_DeletePixelShader(p, Handle) (p)->DeletePixelShader(Handle)
#define IDirect3DDevice8_SetPixelShaderConstant(p, Register, pConstantData, ConstantCount) (p)->SetPixelShaderConstant(Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetPixelShaderConstant(p, Register, pConstantData, ConstantCount) (p)->GetPixelShaderConstant(Register, pConstantData, ConstantCount)
#define IDirect3DDevice8_GetPixelShaderFunction(p, Handle, pData, pSizeOfData) (p)->GetPixelShaderFunction(Handle, pData, pSizeOfData)
#define IDirect3DDevice8_DrawRectPatch(p, Handle, pNumSegs, pRectPatchInfo) (p)->DrawRectPatch(Handle, pNumSegs, pRectPatchInfo)
#define IDirect3DDevice8_DrawTriPatch(p, Handle, pNumSegs, pTriPatchInfo) (p)->DrawTriPatch(Handle, pNumSegs, pTriPatchInfo)
#define IDirect3DDevice8_DeletePatch(p, Handle) (p)->DeletePatch(Handle)
#define IDirect3DSwapChain8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DSwapChain8_AddRef(p) (p)->AddRef()
#define IDirect3DSwapChain8_Release(p) (p)->Release()
#define IDirect3DSwapChain8_Present(p, pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion) (p)->Present(pSourceRect, pDestRect, hDestWindowOverride, pDirtyRegion)
#define IDirect3DSwapChain8_GetBackBuffer(p, BackBuffer, Type, ppBackBuffer) (p)->GetBackBuffer(BackBuffer, Type, ppBackBuffer)
#define IDirect3DResource8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DResource8_AddRef(p) (p)->AddRef()
#define IDirect3DResource8_Release(p) (p)->Release()
#define IDirect3DResource8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DResource8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DResource8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DResource8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DResource8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DResource8_GetPriority(p) (p)->GetPriority()
#define IDirect3DResource8_PreLoad(p) (p)->PreLoad()
#define IDirect3DResource8_GetType(p) (p)->GetType()
#define IDirect3DBaseTexture8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DBaseTexture8_AddRef(p) (p)->AddRef()
#define IDirect3DBaseTexture8_Release(p) (p)->Release()
#define IDirect3DBaseTexture8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DBaseTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DBaseTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DBaseTexture8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DBaseTexture8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DBaseTexture8_GetPriority(p) (p)->GetPriority()
#define IDirect3DBaseTexture8_PreLoad(p) (p)->PreLoad()
#define IDirect3DBaseTexture8_GetType(p) (p)->GetType()
#define IDirect3DBaseTexture8_SetLOD(p, LODNew) (p)->SetLOD(LODNew)
#define IDirect3DBaseTexture8_GetLOD(p) (p)->GetLOD()
#define IDirect3DBaseTexture8_GetLevelCount(p) (p)->GetLevelCount()
#define IDirect3DTexture8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DTexture8_AddRef(p) (p)->AddRef()
#define IDirect3DTexture8_Release(p) (p)->Release()
#define IDirect3DTexture8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DTexture8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DTexture8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DTexture8_GetPriority(p) (p)->GetPriority()
#define IDirect3DTexture8_PreLoad(p) (p)->PreLoad()
#define IDirect3DTexture8_GetType(p) (p)->GetType()
#define IDirect3DTexture8_SetLOD(p, LODNew) (p)->SetLOD(LODNew)
#define IDirect3DTexture8_GetLOD(p) (p)->GetLOD()
#define IDirect3DTexture8_GetLevelCount(p) (p)->GetLevelCount()
#define IDirect3DTexture8_GetLevelDesc(p, Level, pDesc) (p)->GetLevelDesc(Level, pDesc)
#define IDirect3DTexture8_GetSurfaceLevel(p, Level, ppSurfaceLevel) (p)->GetSurfaceLevel(Level, ppSurfaceLevel)
#define IDirect3DTexture8_LockRect(p, Level, pLockedRect, pRect, Flags) (p)->LockRect(Level, pLockedRect, pRect, Flags)
#define IDirect3DTexture8_UnlockRect(p, Level) (p)->UnlockRect(Level)
#define IDirect3DTexture8_AddDirtyRect(p, pDirtyRect) (p)->AddDirtyRect(pDirtyRect)
#define IDirect3DVolumeTexture8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DVolumeTexture8_AddRef(p) (p)->AddRef()
#define IDirect3DVolumeTexture8_Release(p) (p)->Release()
#define IDirect3DVolumeTexture8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DVolumeTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DVolumeTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DVolumeTexture8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DVolumeTexture8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DVolumeTexture8_GetPriority(p) (p)->GetPriority()
#define IDirect3DVolumeTexture8_PreLoad(p) (p)->PreLoad()
#define IDirect3DVolumeTexture8_GetType(p) (p)->GetType()
#define IDirect3DVolumeTexture8_SetLOD(p, LODNew) (p)->SetLOD(LODNew)
#define IDirect3DVolumeTexture8_GetLOD(p) (p)->GetLOD()
#define IDirect3DVolumeTexture8_GetLevelCount(p) (p)->GetLevelCount()
#define IDirect3DVolumeTexture8_GetLevelDesc(p, Level, pDesc) (p)->GetLevelDesc(Level, pDesc)
#define IDirect3DVolumeTexture8_GetVolumeLevel(p, Level, ppVolumeLevel) (p)->GetVolumeLevel(Level, ppVolumeLevel)
#define IDirect3DVolumeTexture8_LockBox(p, Level, pLockedVolume, pBox, Flags) (p)->LockBox(Level, pLockedVolume, pBox, Flags)
#define IDirect3DVolumeTexture8_UnlockBox(p, Level) (p)->UnlockBox(Level)
#define IDirect3DVolumeTexture8_AddDirtyBox(p, pDirtyBox) (p)->AddDirtyBox(pDirtyBox)
#define IDirect3DCubeTexture8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DCubeTexture8_AddRef(p) (p)->AddRef()
#define IDirect3DCubeTexture8_Release(p) (p)->Release()
#define IDirect3DCubeTexture8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DCubeTexture8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DCubeTexture8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DCubeTexture8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DCubeTexture8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DCubeTexture8_GetPriority(p) (p)->GetPriority()
#define IDirect3DCubeTexture8_PreLoad(p) (p)->PreLoad()
#define IDirect3DCubeTexture8_GetType(p) (p)->GetType()
#define IDirect3DCubeTexture8_SetLOD(p, LODNew) (p)->SetLOD(LODNew)
#define IDirect3DCubeTexture8_GetLOD(p) (p)->GetLOD()
#define IDirect3DCubeTexture8_GetLevelCount(p) (p)->GetLevelCount()
#define IDirect3DCubeTexture8_GetLevelDesc(p, Level, pDesc) (p)->GetLevelDesc(Level, pDesc)
#define IDirect3DCubeTexture8_GetCubeMapSurface(p, FaceType, Level, ppCubeMapSurface) (p)->GetCubeMapSurface(FaceType, Level, ppCubeMapSurface)
#define IDirect3DCubeTexture8_LockRect(p, FaceType, Level, pLockedRect, pRect, Flags) (p)->LockRect(FaceType, Level, pLockedRect, pRect, Flags)
#define IDirect3DCubeTexture8_UnlockRect(p, FaceType, Level) (p)->UnlockRect(FaceType, Level)
#define IDirect3DCubeTexture8_AddDirtyRect(p, FaceType, pDirtyRect) (p)->AddDirtyRect(FaceType, pDirtyRect)
#define IDirect3DVertexBuffer8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DVertexBuffer8_AddRef(p) (p)->AddRef()
#define IDirect3DVertexBuffer8_Release(p) (p)->Release()
#define IDirect3DVertexBuffer8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DVertexBuffer8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DVertexBuffer8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DVertexBuffer8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DVertexBuffer8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DVertexBuffer8_GetPriority(p) (p)->GetPriority()
#define IDirect3DVertexBuffer8_PreLoad(p) (p)->PreLoad()
#define IDirect3DVertexBuffer8_GetType(p) (p)->GetType()
#define IDirect3DVertexBuffer8_Lock(p, OffsetToLock, SizeToLock, ppbData, Flags) (p)->Lock(OffsetToLock, SizeToLock, ppbData, Flags)
#define IDirect3DVertexBuffer8_Unlock(p) (p)->Unlock()
#define IDirect3DVertexBuffer8_GetDesc(p, pDesc) (p)->GetDesc(pDesc)
#define IDirect3DIndexBuffer8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DIndexBuffer8_AddRef(p) (p)->AddRef()
#define IDirect3DIndexBuffer8_Release(p) (p)->Release()
#define IDirect3DIndexBuffer8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DIndexBuffer8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DIndexBuffer8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DIndexBuffer8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DIndexBuffer8_SetPriority(p, PriorityNew) (p)->SetPriority(PriorityNew)
#define IDirect3DIndexBuffer8_GetPriority(p) (p)->GetPriority()
#define IDirect3DIndexBuffer8_PreLoad(p) (p)->PreLoad()
#define IDirect3DIndexBuffer8_GetType(p) (p)->GetType()
#define IDirect3DIndexBuffer8_Lock(p, OffsetToLock, SizeToLock, ppbData, Flags) (p)->Lock(OffsetToLock, SizeToLock, ppbData, Flags)
#define IDirect3DIndexBuffer8_Unlock(p) (p)->Unlock()
#define IDirect3DIndexBuffer8_GetDesc(p, pDesc) (p)->GetDesc(pDesc)
#define IDirect3DSurface8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DSurface8_AddRef(p) (p)->AddRef()
#define IDirect3DSurface8_Release(p) (p)->Release()
#define IDirect3DSurface8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DSurface8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DSurface8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DSurface8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DSurface8_GetContainer(p, riid, ppContainer) (p)->GetContainer(riid, ppContainer)
#define IDirect3DSurface8_GetDesc(p, pDesc) (p)->GetDesc(pDesc)
#define IDirect3DSurface8_LockRect(p, pLockedRect, pRect, Flags) (p)->LockRect(pLockedRect, pRect, Flags)
#define IDirect3DSurface8_UnlockRect(p) (p)->UnlockRect()
#define IDirect3DVolume8_QueryInterface(p, riid, ppvObj) (p)->QueryInterface(riid, ppvObj)
#define IDirect3DVolume8_AddRef(p) (p)->AddRef()
#define IDirect3DVolume8_Release(p) (p)->Release()
#define IDirect3DVolume8_GetDevice(p, ppDevice) (p)->GetDevice(ppDevice)
#define IDirect3DVolume8_SetPrivateData(p, refguid, pData, SizeOfData, Flags) (p)->SetPrivateData(refguid, pData, SizeOfData, Flags)
#define IDirect3DVolume8_GetPrivateData(p, refguid, pData, pSizeOfData) (p)->GetPrivateData(refguid, pData, pSizeOfData)
#define IDirect3DVolume8_FreePrivateData(p, refguid) (p)->FreePrivateData(refguid)
#define IDirect3DVolume8_GetContainer(p, riid, ppContainer) (p)->GetContainer(riid, ppContainer)
#define IDirect3DVolume8_GetDesc(p, pDesc) (p)->GetDesc(pDesc)
#define IDirect3DVolume8_LockBox(p, pLockedVolume, pBox, Flags) (p)->LockBox(pLockedVolume, pBox, Flags)
#define IDirect3DVolume8_UnlockBox(p) (p)->UnlockBox()
// ---- end of generated C++ call macros ----
#endif
#endif

TOLVANE_API_END
#ifdef __cplusplus
}  // extern "C"

TOLVANE_API_BEGIN
// ---- device profiles: our own extension next to Direct3DCreate8 --------------------------
// A profile fixes what the adapter reports: the capabilities that texture creation reads
// and the formats CheckDeviceFormat accepts for each resource type.
struct D3DDeviceProfile {
    DWORD TextureCaps;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
    DWORD MaxVolumeExtent;
    DWORD MaxTextureAspectRatio;
    std::vector<D3DFORMAT> TextureFormats;        // D3DRTYPE_TEXTURE, usage 0
    std::vector<D3DFORMAT> CubeTextureFormats;    // D3DRTYPE_CUBETEXTURE, usage 0
    std::vector<D3DFORMAT> VolumeTextureFormats;  // D3DRTYPE_VOLUMETEXTURE, usage 0
    std::vector<D3DFORMAT> RenderTargetFormats;   // any texture type with D3DUSAGE_RENDERTARGET
    std::vector<D3DFORMAT> DepthStencilFormats;   // D3DUSAGE_DEPTHSTENCIL
    int RasterThreads = 0;                        // worker threads of the rasterizer; 0: one per core
    // The vector targets the pixel stage may run, as Highway target bits (HWY_AVX2 ...): the
    // best of them the processor has is taken, the portable fallback when none is; -1: all.
    long long VectorTargets = -1;
};

// The profile of Direct3DCreate8: a capable device whose sampler reads every format it accepts.
const D3DDeviceProfile& D3DDefaultDeviceProfile();

// Direct3DCreate8 with a given profile (copied). Null for a wrong SDK version.
IDirect3D8* Direct3DCreate8WithProfile(UINT sdkVersion, const D3DDeviceProfile& profile);

// ---- shader validation: exports of the platform's d3d8.dll that its headers leave out ----
// shader: a token stream ending in its end token (read up to it); declaration (may be null)
// the vertex declaration whose registers the program reads; caps (may be null) the device
// whose versions and constant count apply. With returnErrors set and errors not null,
// *errors receives the problem found as text allocated with malloc (the caller frees it),
// or null. D3D_OK for a valid program, E_FAIL otherwise.
HRESULT ValidateVertexShader(const DWORD* shader, const DWORD* declaration, const D3DCAPS8* caps, BOOL returnErrors,
                             char** errors);
HRESULT ValidatePixelShader(const DWORD* shader, const D3DCAPS8* caps, BOOL returnErrors, char** errors);

TOLVANE_API_END
#endif  // __cplusplus
