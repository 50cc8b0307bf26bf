// Regenerating the mipmap chain of a texture, cube texture or volume texture from one of
// its levels.
#include "image/convert.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

DWORD DefaultMipFilter(D3DFORMAT levelZeroFormat) {
    return FindFormatInfo(levelZeroFormat).Kind == FORMAT_KIND_SIGNED ? FILTER_POINT : FILTER_BOX;
}

// Point and box filters halve exactly, so each level is made from the one just above it;
// the others resample from the source level every time.
bool IsChained(DWORD filter) {
    const DWORD type = FilterType(filter);
    return type == FILTER_POINT || type == FILTER_BOX;
}

// Makes levels sourceLevel + 1 ... levelCount - 1 of one chain. getLevel(i, out) hands out
// a reference to level i; load(destination, source) fills one level from another. The first
// failure stops the chain: levels already written keep their new contents.
template <typename Level, typename GetLevel, typename Load>
HRESULT FilterChain(UINT sourceLevel, UINT levelCount, bool chained, GetLevel getLevel, Load load) {
    ComRef<Level> source;
    HRESULT hr = getLevel(sourceLevel, source.Out());
    if (FAILED(hr)) return hr;
    for (UINT i = sourceLevel + 1; i < levelCount; ++i) {
        ComRef<Level> destination;
        hr = getLevel(i, destination.Out());
        if (FAILED(hr)) return hr;
        hr = load(destination.Get(), source.Get());
        if (FAILED(hr)) return hr;
        if (chained) source.Attach(destination.Detach());
    }
    return S_OK;
}

}  // namespace

HRESULT FilterTexture(IDirect3DTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel, DWORD filter) {
    if (!texture) return D3DERR_INVALIDCALL;
    if (filter == USE_DEFAULT) {
        D3DSURFACE_DESC desc = {};
        HRESULT hr = texture->GetLevelDesc(0, &desc);
        if (FAILED(hr)) return hr;
        filter = DefaultMipFilter(desc.Format);
    }
    const UINT levelCount = texture->GetLevelCount();
    if (sourceLevel == USE_DEFAULT) sourceLevel = 0;
    if (sourceLevel >= levelCount) return D3DERR_INVALIDCALL;
    return FilterChain<IDirect3DSurface8>(
        sourceLevel, levelCount, IsChained(filter),
        [&](UINT level, IDirect3DSurface8** out) { return texture->GetSurfaceLevel(level, out); },
        [&](IDirect3DSurface8* destination, IDirect3DSurface8* source) {
            return LoadSurfaceFromSurface(destination, palette, nullptr, source, palette, nullptr, filter, 0);
        });
}

HRESULT FilterCubeTexture(IDirect3DCubeTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                          DWORD filter) {
    if (!texture) return D3DERR_INVALIDCALL;
    if (filter == USE_DEFAULT) {
        D3DSURFACE_DESC desc = {};
        HRESULT hr = texture->GetLevelDesc(0, &desc);
        if (FAILED(hr)) return hr;
        filter = DefaultMipFilter(desc.Format);
    }
    // Cube faces meet at their edges: samples past an edge take the edge itself rather than
    // wrapping around to the opposite side of the same face.
    filter |= FILTER_MIRROR;
    const UINT levelCount = texture->GetLevelCount();
    if (sourceLevel == USE_DEFAULT) sourceLevel = 0;
    if (sourceLevel >= levelCount) return D3DERR_INVALIDCALL;
    const bool chained = IsChained(filter);
    for (DWORD face = D3DCUBEMAP_FACE_POSITIVE_X; face <= D3DCUBEMAP_FACE_NEGATIVE_Z; ++face) {
        HRESULT hr = FilterChain<IDirect3DSurface8>(
            sourceLevel, levelCount, chained,
            [&](UINT level, IDirect3DSurface8** out) {
                return texture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, out);
            },
            [&](IDirect3DSurface8* destination, IDirect3DSurface8* source) {
                return LoadSurfaceFromSurface(destination, palette, nullptr, source, palette, nullptr, filter, 0);
            });
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT FilterVolumeTexture(IDirect3DVolumeTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                            DWORD filter) {
    if (!texture) return D3DERR_INVALIDCALL;
    if (filter == USE_DEFAULT) {
        D3DVOLUME_DESC desc = {};
        HRESULT hr = texture->GetLevelDesc(0, &desc);
        if (FAILED(hr)) return hr;
        filter = DefaultMipFilter(desc.Format);
    }
    const UINT levelCount = texture->GetLevelCount();
    if (sourceLevel == USE_DEFAULT) sourceLevel = 0;
    if (sourceLevel >= levelCount) return D3DERR_INVALIDCALL;
    return FilterChain<IDirect3DVolume8>(
        sourceLevel, levelCount, IsChained(filter),
        [&](UINT level, IDirect3DVolume8** out) { return texture->GetVolumeLevel(level, out); },
        [&](IDirect3DVolume8* destination, IDirect3DVolume8* source) {
            return LoadVolumeFromVolume(destination, palette, nullptr, source, palette, nullptr, filter, 0);
        });
}
