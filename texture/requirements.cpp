// Bringing a requested texture size, level count and format into line with the device.
#include <algorithm>
#include <cstdint>

#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

enum class ResourceKind { Texture, CubeTexture, VolumeTexture };

struct KindCaps {
    DWORD Pow2Bit;
    DWORD MipmapBit;
    D3DRESOURCETYPE ResourceType;
};

KindCaps CapsOf(ResourceKind kind) {
    switch (kind) {
        case ResourceKind::Texture:
            return {D3DPTEXTURECAPS_POW2, D3DPTEXTURECAPS_MIPMAP, D3DRTYPE_TEXTURE};
        case ResourceKind::CubeTexture:
            return {D3DPTEXTURECAPS_CUBEMAP_POW2, D3DPTEXTURECAPS_MIPCUBEMAP, D3DRTYPE_CUBETEXTURE};
        case ResourceKind::VolumeTexture:
            return {D3DPTEXTURECAPS_VOLUMEMAP_POW2, D3DPTEXTURECAPS_MIPVOLUMEMAP, D3DRTYPE_VOLUMETEXTURE};
    }
    return {};
}

// The largest power of two a 32-bit size may be rounded up to.
constexpr UINT MAX_POW2 = 0x80000000u;

bool IsPow2(UINT v) { return v != 0 && (v & (v - 1)) == 0; }

UINT NextPow2(UINT v) {
    UINT p = 1;
    while (p < v && p < MAX_POW2) p <<= 1;
    return p;
}

// Rounds up to a multiple of 4 without wrapping past the largest multiple.
UINT RoundUpTo4(UINT v) { return v > 0xFFFFFFFCu ? 0xFFFFFFFCu : (v + 3) & ~3u; }

UINT Log2(UINT v) {
    UINT n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

// A product clamped to the 32-bit range, for the aspect limit.
UINT MulClamped(UINT a, UINT b) {
    std::uint64_t p = static_cast<std::uint64_t>(a) * b;
    return p > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UINT>(p);
}

bool IsDxtFormat(D3DFORMAT format) {
    return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
           format == D3DFMT_DXT5;
}

HRESULT CheckRequirements(IDirect3DDevice8* device, UINT* widthRef, UINT* heightRef, UINT* depthRef,
                          UINT* levelsRef, DWORD usage, D3DFORMAT* formatRef, D3DPOOL pool, ResourceKind kind) {
    if (usage == USE_DEFAULT) usage = 0;
    if (!device || (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0 ||
        (kind == ResourceKind::VolumeTexture && usage != 0) ||
        (pool != D3DPOOL_DEFAULT && pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM)) {
        return D3DERR_INVALIDCALL;
    }
    const KindCaps kindCaps = CapsOf(kind);

    ComRef<IDirect3D8> d3d;
    HRESULT hr = device->GetDirect3D(d3d.Out());
    if (FAILED(hr)) return hr;
    D3DCAPS8 caps = {};
    hr = device->GetDeviceCaps(&caps);
    if (FAILED(hr)) return hr;
    D3DDISPLAYMODE mode = {};
    hr = device->GetDisplayMode(&mode);
    if (FAILED(hr)) return hr;

    UINT width = widthRef ? *widthRef : USE_DEFAULT;
    UINT height = heightRef ? *heightRef : USE_DEFAULT;
    UINT depth = depthRef ? *depthRef : USE_DEFAULT;
    const UINT requestedLevels = levelsRef ? *levelsRef : USE_DEFAULT;
    const D3DFORMAT wanted = formatRef ? *formatRef : D3DFMT_UNKNOWN;

    if (width == USE_DEFAULT && height == USE_DEFAULT) {
        width = height = 256;
    } else if (width == USE_DEFAULT) {
        width = height;
    } else if (height == USE_DEFAULT) {
        height = width;
    }
    if (width == 0) width = 1;
    if (height == 0) height = 1;
    if (kind == ResourceKind::CubeTexture) width = height = std::max(width, height);
    if (depth == USE_DEFAULT || depth == 0) depth = 1;

    // A limit of 0 is a device that reports none; clamping to it would ask for an empty
    // texture, which no device can create.
    auto clampTo = [](UINT& v, DWORD limit) {
        if (limit != 0 && v > limit) v = limit;
    };
    if (kind == ResourceKind::VolumeTexture) {
        clampTo(depth, caps.MaxVolumeExtent);
        clampTo(width, caps.MaxVolumeExtent);
        clampTo(height, caps.MaxVolumeExtent);
    } else {
        clampTo(width, caps.MaxTextureWidth);
        clampTo(height, caps.MaxTextureHeight);
    }
    if (kind == ResourceKind::Texture) {
        const DWORD aspect = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
        if (aspect != 0) {
            width = std::min(width, MulClamped(height, aspect));
            height = std::min(height, MulClamped(width, aspect));
        }
    }

    // Rounding follows clamping, so a limit that is not a power of two can be exceeded.
    if (caps.TextureCaps & kindCaps.Pow2Bit) {
        width = NextPow2(width);
        height = NextPow2(height);
        depth = NextPow2(depth);
    }
    if (IsDxtFormat(wanted)) {
        width = RoundUpTo4(width);
        height = RoundUpTo4(height);
    }

    UINT levels = 1;
    if ((caps.TextureCaps & kindCaps.MipmapBit) && IsPow2(width) && IsPow2(height) && IsPow2(depth)) {
        UINT largest = std::max(width, height);
        if (kind == ResourceKind::VolumeTexture) largest = std::max(largest, depth);
        const UINT full = 1 + Log2(largest);
        levels = (requestedLevels >= 1 && requestedLevels <= full) ? requestedLevels : full;
    }

    // The wanted format itself wins at once; otherwise the substitute with the lowest score,
    // fewer bits per pixel breaking a tie and the earlier row breaking a full tie.
    const FormatInfo& want = FindFormatInfo(wanted);
    const FormatInfo* best = nullptr;
    DWORD bestScore = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) {
        const FormatInfo& row = FormatTable[i];
        if (!row.Selectable) continue;
        if (FAILED(d3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, mode.Format, usage,
                                          kindCaps.ResourceType, row.Format))) {
            continue;
        }
        if (row.Format == wanted) {
            best = &row;
            break;
        }
        if (!row.Substitutable) continue;
        const DWORD score = FormatMatchScore(want, row);
        if (score == 0xFFFFFFFFu) continue;
        if (!best || score < bestScore || (score == bestScore && row.BitsPerPixel < best->BitsPerPixel)) {
            best = &row;
            bestScore = score;
        }
    }
    d3d.Reset();
    if (!best) return D3DERR_NOTAVAILABLE;

    if (widthRef) *widthRef = width;
    if (heightRef) *heightRef = height;
    if (depthRef) *depthRef = depth;
    if (levelsRef) *levelsRef = levels;
    if (formatRef) *formatRef = best->Format;
    return S_OK;
}

}  // namespace

HRESULT CheckTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* mipLevels,
                                 DWORD usage, D3DFORMAT* format, D3DPOOL pool) {
    return CheckRequirements(device, width, height, nullptr, mipLevels, usage, format, pool,
                             ResourceKind::Texture);
}

HRESULT CheckCubeTextureRequirements(IDirect3DDevice8* device, UINT* size, UINT* mipLevels, DWORD usage,
                                     D3DFORMAT* format, D3DPOOL pool) {
    // The one edge length stands for both width and height.
    UINT width = size ? *size : USE_DEFAULT;
    UINT height = width;
    HRESULT hr = CheckRequirements(device, &width, &height, nullptr, mipLevels, usage, format, pool,
                                   ResourceKind::CubeTexture);
    if (SUCCEEDED(hr) && size) *size = width;
    return hr;
}

HRESULT CheckVolumeTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* depth,
                                       UINT* mipLevels, DWORD usage, D3DFORMAT* format, D3DPOOL pool) {
    return CheckRequirements(device, width, height, depth, mipLevels, usage, format, pool,
                             ResourceKind::VolumeTexture);
}

HRESULT CreateTextureChecked(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture) {
    if (!device || !texture) return D3DERR_INVALIDCALL;
    if (usage == USE_DEFAULT) usage = 0;
    HRESULT hr = CheckTextureRequirements(device, &width, &height, &mipLevels, usage, &format, pool);
    if (FAILED(hr)) return hr;
    return device->CreateTexture(width, height, mipLevels, usage, format, pool, texture);
}

HRESULT CreateCubeTextureChecked(IDirect3DDevice8* device, UINT size, UINT mipLevels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool, IDirect3DCubeTexture8** texture) {
    if (!device || !texture) return D3DERR_INVALIDCALL;
    if (usage == USE_DEFAULT) usage = 0;
    HRESULT hr = CheckCubeTextureRequirements(device, &size, &mipLevels, usage, &format, pool);
    if (FAILED(hr)) return hr;
    return device->CreateCubeTexture(size, mipLevels, usage, format, pool, texture);
}

HRESULT CreateVolumeTextureChecked(IDirect3DDevice8* device, UINT width, UINT height, UINT depth,
                                   UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   IDirect3DVolumeTexture8** texture) {
    if (!device || !texture) return D3DERR_INVALIDCALL;
    if (usage == USE_DEFAULT) usage = 0;
    HRESULT hr = CheckVolumeTextureRequirements(device, &width, &height, &depth, &mipLevels, usage, &format,
                                                pool);
    if (FAILED(hr)) return hr;
    return device->CreateVolumeTexture(width, height, depth, mipLevels, usage, format, pool, texture);
}
