// The Direct3D object: one adapter, its display mode, the device profile, the format
// checks and the capabilities, and device creation.
//
// The adapter reports an X8R8G8B8 display mode as large as the desktop (1024x768 on the
// headless display, or when there is no display at all). Its full-screen modes are
// 640x480, 800x600, 1024x768 and 1280x1024 (and the desktop's size when it is none of
// those), each at 60 Hz in R5G6B5 and X8R8G8B8, sixteen-bit modes first, each format's
// sizes from the smallest; a full-screen device shows its back buffer on the whole desktop,
// scaled with its aspect kept, so every mode is available whatever the desktop is. The
// device draws into 32-bit buffers only: CheckDeviceType accepts full-screen X8R8G8B8
// (with an X8R8G8B8 or A8R8G8B8 back buffer) and answers NOTAVAILABLE for the sixteen-bit
// modes, as a card of the time did for a mode its 3-D engine could not draw in.
// The profile decides the caps that texture creation reads and the formats
// CheckDeviceFormat accepts; the other caps describe what the rasterizer draws and are the
// same for every profile.
#include <algorithm>
#include <cstdio>

#include "platform/d3d8/device.h"
#include "platform/win32/host.h"

namespace {

// Capability bits this file reports beyond the shared header's.
constexpr DWORD D3DPRESENT_INTERVAL_ONE = 0x00000001;
constexpr DWORD D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
constexpr UINT kMaxBackBuffers = D3DPRESENT_BACK_BUFFERS_MAX;
constexpr DWORD D3DDEVCAPS_EXECUTESYSTEMMEMORY = 0x00000010;
constexpr DWORD D3DDEVCAPS_TLVERTEXSYSTEMMEMORY = 0x00000040;
constexpr DWORD D3DDEVCAPS_TEXTURESYSTEMMEMORY = 0x00000100;
constexpr DWORD D3DDEVCAPS_DRAWPRIMTLVERTEX = 0x00000400;
constexpr DWORD D3DPMISCCAPS_MASKZ = 0x00000002;
constexpr DWORD D3DPMISCCAPS_CULLNONE = 0x00000010;
constexpr DWORD D3DPMISCCAPS_CULLCW = 0x00000020;
constexpr DWORD D3DPMISCCAPS_CULLCCW = 0x00000040;
constexpr DWORD D3DPMISCCAPS_COLORWRITEENABLE = 0x00000080;
constexpr DWORD D3DPRASTERCAPS_ZTEST = 0x00000010;
constexpr DWORD D3DPRASTERCAPS_FOGVERTEX = 0x00000080;
constexpr DWORD D3DPRASTERCAPS_FOGTABLE = 0x00000100;
constexpr DWORD D3DPRASTERCAPS_MIPMAPLODBIAS = 0x00002000;
constexpr DWORD D3DPRASTERCAPS_WFOG = 0x00100000;
constexpr DWORD D3DPRASTERCAPS_ZFOG = 0x00200000;
// KEEP, ZERO, REPLACE, INCRSAT, DECRSAT, INVERT, INCR, DECR.
constexpr DWORD D3DSTENCILCAPS_ALL = 0x000000FF;
constexpr DWORD D3DPCMPCAPS_ALL = 0x000000FF;  // NEVER .. ALWAYS
constexpr DWORD D3DPBLENDCAPS_BASIC = 0x000007FF;  // ZERO .. SRCALPHASAT
constexpr DWORD D3DPSHADECAPS_COLORGOURAUDRGB = 0x00000008;
constexpr DWORD D3DPSHADECAPS_SPECULARGOURAUDRGB = 0x00000200;
constexpr DWORD D3DPSHADECAPS_ALPHAGOURAUDBLEND = 0x00004000;
constexpr DWORD D3DPSHADECAPS_FOGGOURAUD = 0x00080000;
constexpr DWORD D3DPTFILTERCAPS_MINFPOINT = 0x00000100;
constexpr DWORD D3DPTFILTERCAPS_MINFLINEAR = 0x00000200;
constexpr DWORD D3DPTFILTERCAPS_MIPFPOINT = 0x00010000;
constexpr DWORD D3DPTFILTERCAPS_MIPFLINEAR = 0x00020000;
constexpr DWORD D3DPTFILTERCAPS_MAGFPOINT = 0x01000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFLINEAR = 0x02000000;
constexpr DWORD D3DPTADDRESSCAPS_WRAP = 0x01;
constexpr DWORD D3DPTADDRESSCAPS_MIRROR = 0x02;
constexpr DWORD D3DPTADDRESSCAPS_CLAMP = 0x04;
constexpr DWORD D3DPTADDRESSCAPS_BORDER = 0x08;
constexpr DWORD D3DLINECAPS_TEXTURE = 0x01;
constexpr DWORD D3DLINECAPS_ZTEST = 0x02;
constexpr DWORD D3DLINECAPS_BLEND = 0x04;
constexpr DWORD D3DLINECAPS_ALPHACMP = 0x08;
constexpr DWORD D3DLINECAPS_FOG = 0x10;
// DISABLE .. BLENDCURRENTALPHA (0x1 .. 0x8000), the four MODULATE..._ADD... operations
// (0x20000 .. 0x100000), BUMPENVMAP and BUMPENVMAPLUMINANCE (0x200000, 0x400000),
// DOTPRODUCT3, MULTIPLYADD and LERP; no PREMODULATE.
constexpr DWORD D3DTEXOPCAPS_SUPPORTED = 0x0000FFFF | 0x001E0000 | 0x00600000 | 0x00800000 | 0x03000000;
constexpr DWORD D3DPMISCCAPS_TSSARGTEMP = 0x00000400;
constexpr DWORD D3DVTXPCAPS_DIRECTIONALLIGHTS = 0x00000008;
constexpr DWORD D3DVTXPCAPS_POSITIONALLIGHTS = 0x00000010;
constexpr DWORD D3DVTXPCAPS_LOCALVIEWER = 0x00000020;

constexpr D3DFORMAT kDisplayFormat = D3DFMT_X8R8G8B8;
constexpr UINT kRefreshRate = 60;
// The full-screen sizes offered at each display format.
constexpr struct {
    UINT width, height;
} kModeSizes[] = {{640, 480}, {800, 600}, {1024, 768}, {1280, 1024}};
constexpr D3DFORMAT kModeFormats[] = {D3DFMT_R5G6B5, D3DFMT_X8R8G8B8};

bool IsModeFormat(D3DFORMAT format) { return format == D3DFMT_R5G6B5 || format == D3DFMT_X8R8G8B8; }

// The display format a back buffer of the format is shown in (its alpha ignored).
D3DFORMAT DisplayFormatOf(D3DFORMAT backBufferFormat) {
    return backBufferFormat == D3DFMT_A8R8G8B8 ? D3DFMT_X8R8G8B8 : backBufferFormat;
}

bool Contains(const std::vector<D3DFORMAT>& formats, D3DFORMAT format) {
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

}  // namespace

namespace d3d8 {

bool IsDeviceType(D3DDEVTYPE type) { return type == D3DDEVTYPE_HAL || type == D3DDEVTYPE_REF; }

HRESULT Direct3D::QueryInterface(REFIID riid, void** out) {
    return AnswerQuery(this, riid, out, {&IID_IUnknown, &IID_IDirect3D8});
}

// There are no pluggable software rasterizers: the device is one already.
HRESULT Direct3D::RegisterSoftwareDevice(void* initializeFunction) {
    return initializeFunction == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

// The adapter names itself as the software rasterizer it is; the ids are our own.
HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) {
    if (adapter != 0 || identifier == nullptr || (flags & ~DWORD{D3DENUM_NO_WHQL_LEVEL}) != 0)
        return D3DERR_INVALIDCALL;
    *identifier = D3DADAPTER_IDENTIFIER8{};
    std::snprintf(identifier->Driver, sizeof identifier->Driver, "tolvane_d3d8");
    std::snprintf(identifier->Description, sizeof identifier->Description, "Tolvane software rasterizer");
    identifier->DriverVersion.u.HighPart = (4 << 16) | 8;  // product 4, version 8
    identifier->DriverVersion.u.LowPart = (0 << 16) | 1;   // sub-version 0, build 1
    identifier->VendorId = 0x7017;
    identifier->DeviceId = 0x0008;
    identifier->SubSysId = 0;
    identifier->Revision = 1;
    identifier->DeviceIdentifier = GUID{0x5A1E7D38, 0x2C4B, 0x4F0E, {0x9A, 0x61, 0x3D, 0x70, 0x6C, 0x76, 0x61, 0x6E}};
    identifier->WHQLLevel = 0;  // not certified (and not asked for with D3DENUM_NO_WHQL_LEVEL)
    return D3D_OK;
}

// Only D3DMULTISAMPLE_NONE: the rasterizer draws one sample per pixel.
HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surfaceFormat, BOOL windowed,
                                             D3DMULTISAMPLE_TYPE multiSample) {
    if (adapter != 0 || !IsDeviceType(type) || static_cast<DWORD>(multiSample) > 16 || multiSample == 1)
        return D3DERR_INVALIDCALL;
    if (FindFormat(surfaceFormat) == nullptr) return D3DERR_INVALIDCALL;
    return multiSample == D3DMULTISAMPLE_NONE ? D3D_OK : D3DERR_NOTAVAILABLE;
}

// One adapter on one monitor; the handle only has to be stable and not null.
HMONITOR Direct3D::GetAdapterMonitor(UINT adapter) {
    return adapter == 0 ? reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(0x00010001)) : nullptr;
}

D3DDISPLAYMODE Direct3D::DisplayMode() {
    if (!modeKnown_) {
        int width = 1024;
        int height = 768;
        if (!host::IsHeadless()) host::GetDesktopSize(width, height);
        mode_ = D3DDISPLAYMODE{static_cast<UINT>(width), static_cast<UINT>(height), 60, kDisplayFormat};
        modeKnown_ = true;
    }
    return mode_;
}

const std::vector<D3DDISPLAYMODE>& Direct3D::Modes() {
    if (modes_.empty()) {
        const D3DDISPLAYMODE desktop = DisplayMode();
        for (D3DFORMAT format : kModeFormats) {
            bool desktopListed = false;
            for (const auto& size : kModeSizes) {
                // The desktop's size goes in order among the others.
                const bool desktopFirst = desktop.Width < size.width ||
                                          (desktop.Width == size.width && desktop.Height < size.height);
                if (!desktopListed && desktopFirst) {
                    modes_.push_back(D3DDISPLAYMODE{desktop.Width, desktop.Height, kRefreshRate, format});
                    desktopListed = true;
                }
                if (desktop.Width == size.width && desktop.Height == size.height) desktopListed = true;
                modes_.push_back(D3DDISPLAYMODE{size.width, size.height, kRefreshRate, format});
            }
            if (!desktopListed) modes_.push_back(D3DDISPLAYMODE{desktop.Width, desktop.Height, kRefreshRate, format});
        }
    }
    return modes_;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter) { return adapter == 0 ? static_cast<UINT>(Modes().size()) : 0; }

HRESULT Direct3D::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* out) {
    if (adapter != 0 || out == nullptr || mode >= Modes().size()) return D3DERR_INVALIDCALL;
    *out = Modes()[mode];
    return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* out) {
    if (adapter != 0 || out == nullptr) return D3DERR_INVALIDCALL;
    *out = DisplayMode();
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                  D3DFORMAT backBufferFormat, BOOL windowed) {
    if (adapter != 0 || !IsDeviceType(type)) return D3DERR_INVALIDCALL;
    if (windowed) {
        if (displayFormat != kDisplayFormat) return D3DERR_NOTAVAILABLE;
        if (backBufferFormat != D3DFMT_X8R8G8B8 && backBufferFormat != D3DFMT_A8R8G8B8) return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }
    // Full screen: a mode's format, a back buffer of that format (or with alpha), and one
    // the device draws into.
    if (!IsModeFormat(displayFormat) || DisplayFormatOf(backBufferFormat) != displayFormat ||
        !Contains(profile_.RenderTargetFormats, backBufferFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

bool Direct3D::Supports(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) const {
    if ((usage & D3DUSAGE_DEPTHSTENCIL) != 0) {
        // Only formats the rasterizer draws with, whatever the profile lists.
        raster::DepthStencilLayout layout;
        return (type == D3DRTYPE_SURFACE || type == D3DRTYPE_TEXTURE) && Contains(profile_.DepthStencilFormats, format) &&
               DepthStencilLayoutOf(format, layout);
    }
    if ((usage & D3DUSAGE_RENDERTARGET) != 0) {
        return type != D3DRTYPE_VOLUME && type != D3DRTYPE_VOLUMETEXTURE && type != D3DRTYPE_VERTEXBUFFER &&
               type != D3DRTYPE_INDEXBUFFER && Contains(profile_.RenderTargetFormats, format);
    }
    switch (type) {
        case D3DRTYPE_SURFACE:
        case D3DRTYPE_TEXTURE: return Contains(profile_.TextureFormats, format);
        case D3DRTYPE_CUBETEXTURE: return Contains(profile_.CubeTextureFormats, format);
        case D3DRTYPE_VOLUME:
        case D3DRTYPE_VOLUMETEXTURE: return Contains(profile_.VolumeTextureFormats, format);
        case D3DRTYPE_VERTEXBUFFER: return format == D3DFMT_VERTEXDATA;
        case D3DRTYPE_INDEXBUFFER: return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32;
    }
    return false;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                                    D3DRESOURCETYPE resourceType, D3DFORMAT checkFormat) {
    if (adapter != 0 || !IsDeviceType(type)) return D3DERR_INVALIDCALL;
    if (resourceType < D3DRTYPE_SURFACE || resourceType > D3DRTYPE_INDEXBUFFER) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) != 0 && (usage & D3DUSAGE_DEPTHSTENCIL) != 0) return D3DERR_INVALIDCALL;
    if (adapterFormat == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    if (adapterFormat != kDisplayFormat) return D3DERR_NOTAVAILABLE;
    return Supports(usage, resourceType, checkFormat) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat,
                                         D3DFORMAT renderTargetFormat, D3DFORMAT depthStencilFormat) {
    if (adapter != 0 || !IsDeviceType(type)) return D3DERR_INVALIDCALL;
    if (adapterFormat != kDisplayFormat || !Contains(profile_.RenderTargetFormats, renderTargetFormat) ||
        !Supports(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depthStencilFormat))
        return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) {
    if (adapter != 0 || !IsDeviceType(type) || caps == nullptr) return D3DERR_INVALIDCALL;
    *caps = D3DCAPS8{};
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    // CreateTexture, CreateCubeTexture and CreateVolumeTexture take D3DUSAGE_DYNAMIC.
    caps->Caps2 = D3DCAPS2_DYNAMICTEXTURES;
    caps->DevCaps = D3DDEVCAPS_EXECUTESYSTEMMEMORY | D3DDEVCAPS_TLVERTEXSYSTEMMEMORY |
                    D3DDEVCAPS_TEXTURESYSTEMMEMORY | D3DDEVCAPS_DRAWPRIMTLVERTEX;
    caps->PrimitiveMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW |
                              D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_TSSARGTEMP;
    caps->RasterCaps = D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX | D3DPRASTERCAPS_MIPMAPLODBIAS |
                       D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_ZFOG;
    caps->StencilCaps = D3DSTENCILCAPS_ALL;
    caps->ZCmpCaps = D3DPCMPCAPS_ALL;
    caps->AlphaCmpCaps = D3DPCMPCAPS_ALL;
    caps->SrcBlendCaps = D3DPBLENDCAPS_BASIC;
    caps->DestBlendCaps = D3DPBLENDCAPS_BASIC;
    caps->ShadeCaps = D3DPSHADECAPS_COLORGOURAUDRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                      D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGGOURAUD;
    // The profile says which textures can be made (the default one, as capable devices of
    // the time: POW2 with NONPOW2CONDITIONAL); projected coordinates are the pipeline's.
    caps->TextureCaps = profile_.TextureCaps | D3DPTEXTURECAPS_PROJECTED;
    DWORD filters = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                    D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    caps->TextureFilterCaps = filters;
    caps->CubeTextureFilterCaps = filters;
    caps->VolumeTextureFilterCaps = filters;
    DWORD addressing = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                       D3DPTADDRESSCAPS_BORDER;
    caps->TextureAddressCaps = addressing;
    caps->VolumeTextureAddressCaps = addressing;
    caps->LineCaps = D3DLINECAPS_TEXTURE | D3DLINECAPS_ZTEST | D3DLINECAPS_BLEND | D3DLINECAPS_ALPHACMP |
                     D3DLINECAPS_FOG;
    caps->MaxTextureWidth = profile_.MaxTextureWidth;
    caps->MaxTextureHeight = profile_.MaxTextureHeight;
    caps->MaxVolumeExtent = profile_.MaxVolumeExtent;
    caps->MaxTextureRepeat = 8192;
    caps->MaxTextureAspectRatio = profile_.MaxTextureAspectRatio;
    caps->MaxAnisotropy = 1;
    caps->MaxVertexW = 1e10f;
    // Every coordinate set a vertex format can carry reaches the stages, and so does a
    // vertex's own point size.
    caps->FVFCaps = (8 & D3DFVFCAPS_TEXCOORDCOUNTMASK) | D3DFVFCAPS_PSIZE;
    caps->TextureOpCaps = D3DTEXOPCAPS_SUPPORTED;
    caps->MaxTextureBlendStages = D3DMAXTEXTURESTAGES;
    caps->MaxSimultaneousTextures = D3DMAXTEXTURESTAGES;
    caps->VertexProcessingCaps =
        D3DVTXPCAPS_TEXGEN | D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS | D3DVTXPCAPS_LOCALVIEWER;
    caps->MaxActiveLights = raster::kMaxLights;
    caps->MaxUserClipPlanes = raster::kMaxClipPlanes;
    caps->MaxVertexBlendMatrices = 0;
    caps->MaxPointSize = raster::kMaxPointSize;
    caps->MaxPrimitiveCount = 0x00FFFFFF;
    caps->MaxVertexIndex = 0x00FFFFFF;
    caps->MaxStreams = kDeclarationStreams;
    caps->MaxStreamStride = 255;
    caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps->MaxVertexShaderConst = raster::kProgramConstants;
    // ps.1.1 to ps.1.4 run in the pixel stage. Registers of ps.1.4 hold [-8, 8], those of
    // the earlier versions [-1, 1].
    caps->PixelShaderVersion = D3DPS_VERSION(1, 4);
    caps->MaxPixelShaderValue = 8.0f;
    return D3D_OK;
}

HRESULT Direct3D::ResolvePresentParameters(D3DPRESENT_PARAMETERS& params, HWND fallbackWindow, HWND& window) {
    // Swap effect, back-buffer count and presentation interval are checked before anything
    // else: windowed presentation takes the default interval only, full-screen the ones the
    // caps list. A swap effect that copies has exactly one back buffer.
    if (params.SwapEffect < D3DSWAPEFFECT_DISCARD || params.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
        return D3DERR_INVALIDCALL;
    if (params.BackBufferCount > kMaxBackBuffers) return D3DERR_INVALIDCALL;
    if (params.BackBufferCount == 0) params.BackBufferCount = 1;
    const bool copies = params.SwapEffect == D3DSWAPEFFECT_COPY || params.SwapEffect == D3DSWAPEFFECT_COPY_VSYNC;
    if (copies && params.BackBufferCount > 1) return D3DERR_INVALIDCALL;
    const UINT interval = params.FullScreen_PresentationInterval;
    if (params.Windowed ? interval != 0
                        : interval != 0 && interval != D3DPRESENT_INTERVAL_ONE && interval != D3DPRESENT_INTERVAL_IMMEDIATE)
        return D3DERR_INVALIDCALL;
    window = params.hDeviceWindow != nullptr ? params.hDeviceWindow : fallbackWindow;
    if (window == nullptr || !IsWindow(window)) return D3DERR_INVALIDCALL;
    if (params.MultiSampleType != D3DMULTISAMPLE_NONE) return D3DERR_NOTAVAILABLE;
    if (params.Windowed) {
        if (params.FullScreen_RefreshRateInHz != 0) return D3DERR_INVALIDCALL;
        if (params.BackBufferFormat == D3DFMT_UNKNOWN) params.BackBufferFormat = DisplayMode().Format;
        if (params.BackBufferFormat != D3DFMT_X8R8G8B8 && params.BackBufferFormat != D3DFMT_A8R8G8B8)
            return D3DERR_NOTAVAILABLE;
    } else {
        // One of the listed modes, at its rate or the default one (0), in a format the
        // device draws into.
        const D3DFORMAT display = DisplayFormatOf(params.BackBufferFormat);
        const auto& modes = Modes();
        const bool listed = std::any_of(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& mode) {
            return mode.Width == params.BackBufferWidth && mode.Height == params.BackBufferHeight &&
                   mode.Format == display &&
                   (params.FullScreen_RefreshRateInHz == 0 || params.FullScreen_RefreshRateInHz == mode.RefreshRate);
        });
        if (!listed) return D3DERR_INVALIDCALL;
        if (CheckDeviceType(0, D3DDEVTYPE_HAL, display, params.BackBufferFormat, FALSE) != D3D_OK)
            return D3DERR_NOTAVAILABLE;
    }
    raster::DepthStencilLayout depthLayout;
    if (params.EnableAutoDepthStencil && (!DepthStencilLayoutOf(params.AutoDepthStencilFormat, depthLayout) ||
                                          !Contains(profile_.DepthStencilFormats, params.AutoDepthStencilFormat)))
        return D3DERR_NOTAVAILABLE;
    if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0) {
        RECT client{};
        if (!GetClientRect(window, &client)) return D3DERR_INVALIDCALL;
        if (params.BackBufferWidth == 0) params.BackBufferWidth = static_cast<UINT>(client.right - client.left);
        if (params.BackBufferHeight == 0) params.BackBufferHeight = static_cast<UINT>(client.bottom - client.top);
    }
    if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0 || params.BackBufferWidth > 16384 ||
        params.BackBufferHeight > 16384)
        return D3DERR_INVALIDCALL;
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviorFlags,
                               D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** out) {
    if (out == nullptr) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (adapter != 0 || !IsDeviceType(type) || params == nullptr) return D3DERR_INVALIDCALL;
    // Exactly one kind of vertex processing.
    DWORD processing = behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                        D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing == 0 || (processing & (processing - 1)) != 0) return D3DERR_INVALIDCALL;
    // A focus window the window layer does not know is refused as a device window is.
    if (focusWindow != nullptr && !IsWindow(focusWindow)) return D3DERR_INVALIDCALL;
    HWND window = nullptr;
    D3DPRESENT_PARAMETERS resolved = *params;
    if (HRESULT result = ResolvePresentParameters(resolved, focusWindow, window); FAILED(result)) {
        OfferBackBufferCount(*params);
        return result;
    }

    auto* device = new Device(this, type, focusWindow, behaviorFlags, window);
    HRESULT result = device->Initialize(resolved);
    if (FAILED(result)) {
        device->Release();
        return result;
    }
    // The caller's structure takes what was resolved, but for a back-buffer size left at 0:
    // that stays 0 while the device takes the window's client size.
    const UINT width = params->BackBufferWidth, height = params->BackBufferHeight;
    *params = resolved;
    if (width == 0) params->BackBufferWidth = 0;
    if (height == 0) params->BackBufferHeight = 0;
    *out = device;
    return D3D_OK;
}

}  // namespace d3d8

const D3DDeviceProfile& D3DDefaultDeviceProfile() {
    static const D3DDeviceProfile profile = [] {
        D3DDeviceProfile p;
        p.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                        D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP |
                        D3DPTEXTURECAPS_MIPVOLUMEMAP | D3DPTEXTURECAPS_MIPCUBEMAP | D3DPTEXTURECAPS_CUBEMAP_POW2 |
                        D3DPTEXTURECAPS_VOLUMEMAP_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
        p.MaxTextureWidth = 4096;
        p.MaxTextureHeight = 4096;
        p.MaxVolumeExtent = 512;
        p.MaxTextureAspectRatio = 4096;
        std::vector<D3DFORMAT> plain = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5,
                                        D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_R3G3B2,   D3DFMT_A8,
                                        D3DFMT_A8R3G3B2, D3DFMT_X4R4G4B4, D3DFMT_L8,       D3DFMT_A8L8,
                                        D3DFMT_A4L4};
        // The bump-map formats, read as signed by pixel programs and the bump-mapping stages.
        for (D3DFORMAT f : {D3DFMT_V8U8, D3DFMT_L6V5U5, D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8}) plain.push_back(f);
        std::vector<D3DFORMAT> withBlocks = plain;
        for (D3DFORMAT f : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT4, D3DFMT_DXT5})
            withBlocks.push_back(f);
        p.TextureFormats = withBlocks;
        p.CubeTextureFormats = withBlocks;
        // Volumes of blocks too: each slice a plane of 4x4 blocks, sampled as 2-D levels are.
        p.VolumeTextureFormats = withBlocks;
        p.RenderTargetFormats = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8};
        // D16_LOCKABLE beside D16, as cards of the time offered it: the one depth format a
        // program can lock and read.
        p.DepthStencilFormats = {D3DFMT_D16,   D3DFMT_D16_LOCKABLE, D3DFMT_D15S1,
                                 D3DFMT_D24S8, D3DFMT_D24X8,        D3DFMT_D24X4S4};
        p.RasterThreads = 0;
        return p;
    }();
    return profile;
}

IDirect3D8* Direct3DCreate8WithProfile(UINT sdkVersion, const D3DDeviceProfile& profile) {
    d3d8::RegisterModule();
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new d3d8::Direct3D(profile);
}

IDirect3D8* Direct3DCreate8(UINT sdkVersion) { return Direct3DCreate8WithProfile(sdkVersion, D3DDefaultDeviceProfile()); }
