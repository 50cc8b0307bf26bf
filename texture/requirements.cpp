// Bringing a requested texture size, level count and format into line with the device.
#include <algorithm>
#include <cstdint>

#include "image/format_facts.h"
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


// A request, with USE_DEFAULT (or D3DFMT_UNKNOWN) for every reference not given.
struct Request {
    UINT width, height, depth, levels;
    D3DFORMAT format;
};

// What the check reads from the device.
struct DeviceFacts {
    ComRef<IDirect3D8> d3d;
    D3DCAPS8 caps = {};
    D3DDISPLAYMODE mode = {};
};

bool ArgumentsValid(IDirect3DDevice8* device, DWORD usage, D3DPOOL pool, ResourceKind kind) {
    return device && (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) == 0 &&
           !(kind == ResourceKind::VolumeTexture && usage != 0) &&
           (pool == D3DPOOL_DEFAULT || pool == D3DPOOL_MANAGED || pool == D3DPOOL_SYSTEMMEM);
}

HRESULT QueryDevice(IDirect3DDevice8* device, DeviceFacts* facts) {
    HRESULT hr = device->GetDirect3D(facts->d3d.Out());
    if (SUCCEEDED(hr)) hr = device->GetDeviceCaps(&facts->caps);
    if (SUCCEEDED(hr)) hr = device->GetDisplayMode(&facts->mode);
    return hr;
}

// Defaults, the cube's square, the device's limits and aspect, powers of two and whole 4x4
// blocks, in that order; the result is never 0 in any dimension.
void AdjustSize(const D3DCAPS8& caps, ResourceKind kind, D3DFORMAT wanted, Request& r) {
    if (r.width == USE_DEFAULT && r.height == USE_DEFAULT) {
        r.width = r.height = 256;
    } else if (r.width == USE_DEFAULT) {
        r.width = r.height;
    } else if (r.height == USE_DEFAULT) {
        r.height = r.width;
    }
    if (r.width == 0) r.width = 1;
    if (r.height == 0) r.height = 1;
    if (kind == ResourceKind::CubeTexture) r.width = r.height = std::max(r.width, r.height);
    if (r.depth == USE_DEFAULT || r.depth == 0) r.depth = 1;

    // A limit of 0 is a device that reports none; clamping to it would ask for an empty
    // texture, which no device can create.
    auto clampTo = [](UINT& v, DWORD limit) {
        if (limit != 0 && v > limit) v = limit;
    };
    if (kind == ResourceKind::VolumeTexture) {
        clampTo(r.depth, caps.MaxVolumeExtent);
        clampTo(r.width, caps.MaxVolumeExtent);
        clampTo(r.height, caps.MaxVolumeExtent);
    } else {
        clampTo(r.width, caps.MaxTextureWidth);
        clampTo(r.height, caps.MaxTextureHeight);
    }
    if (kind == ResourceKind::Texture) {
        const DWORD aspect = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) ? 1 : caps.MaxTextureAspectRatio;
        if (aspect != 0) {
            r.width = std::min(r.width, MulClamped(r.height, aspect));
            r.height = std::min(r.height, MulClamped(r.width, aspect));
        }
    }

    // Rounding follows clamping, so a limit that is not a power of two can be exceeded.
    if (caps.TextureCaps & CapsOf(kind).Pow2Bit) {
        r.width = NextPow2(r.width);
        r.height = NextPow2(r.height);
        r.depth = NextPow2(r.depth);
    }
    if (tolvane::pixels::IsDxt(wanted)) {
        r.width = RoundUpTo4(r.width);
        r.height = RoundUpTo4(r.height);
    }
}

// The requested count when it lies within the full chain, else the full chain; 1 without
// mipmaps or when a dimension is not a power of two.
UINT LevelCount(const D3DCAPS8& caps, ResourceKind kind, const Request& r, UINT requested) {
    if (!(caps.TextureCaps & CapsOf(kind).MipmapBit) || !IsPow2(r.width) || !IsPow2(r.height) ||
        !IsPow2(r.depth)) {
        return 1;
    }
    UINT largest = std::max(r.width, r.height);
    if (kind == ResourceKind::VolumeTexture) largest = std::max(largest, r.depth);
    const UINT full = 1 + Log2(largest);
    return (requested >= 1 && requested <= full) ? requested : full;
}

// The wanted format itself wins at once; otherwise the substitute with the lowest score,
// fewer bits per pixel breaking a tie and the earlier row breaking a full tie. Null when the
// device takes none.
const FormatInfo* ChooseFormat(const DeviceFacts& device, DWORD usage, ResourceKind kind, D3DFORMAT wanted) {
    const FormatInfo& want = FindFormatInfo(wanted);
    const FormatInfo* best = nullptr;
    DWORD bestScore = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < FORMAT_TABLE_ROWS; ++i) {
        const FormatInfo& row = FormatTable[i];
        if (!row.Selectable) continue;
        if (FAILED(device.d3d->CheckDeviceFormat(device.caps.AdapterOrdinal, device.caps.DeviceType,
                                                 device.mode.Format, usage, CapsOf(kind).ResourceType,
                                                 row.Format))) {
            continue;
        }
        if (row.Format == wanted) return &row;
        if (!row.Substitutable) continue;
        const DWORD score = FormatMatchScore(want, row);
        if (score == 0xFFFFFFFFu) continue;
        if (!best || score < bestScore || (score == bestScore && row.BitsPerPixel < best->BitsPerPixel)) {
            best = &row;
            bestScore = score;
        }
    }
    return best;
}

HRESULT CheckRequirements(IDirect3DDevice8* device, UINT* widthRef, UINT* heightRef, UINT* depthRef,
                          UINT* levelsRef, DWORD usage, D3DFORMAT* formatRef, D3DPOOL pool, ResourceKind kind) {
    if (usage == USE_DEFAULT) usage = 0;
    if (!ArgumentsValid(device, usage, pool, kind)) return D3DERR_INVALIDCALL;
    DeviceFacts facts;
    const HRESULT hr = QueryDevice(device, &facts);
    if (FAILED(hr)) return hr;

    Request r = {widthRef ? *widthRef : USE_DEFAULT, heightRef ? *heightRef : USE_DEFAULT,
                 depthRef ? *depthRef : USE_DEFAULT, levelsRef ? *levelsRef : USE_DEFAULT,
                 formatRef ? *formatRef : D3DFMT_UNKNOWN};
    AdjustSize(facts.caps, kind, r.format, r);
    r.levels = LevelCount(facts.caps, kind, r, r.levels);
    const FormatInfo* chosen = ChooseFormat(facts, usage, kind, r.format);
    facts.d3d.Reset();
    if (!chosen) return D3DERR_NOTAVAILABLE;

    if (widthRef) *widthRef = r.width;
    if (heightRef) *heightRef = r.height;
    if (depthRef) *depthRef = r.depth;
    if (levelsRef) *levelsRef = r.levels;
    if (formatRef) *formatRef = chosen->Format;
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
