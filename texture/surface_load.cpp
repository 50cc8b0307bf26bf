// Loading pixels into surfaces and volumes: lock the destination region, describe both
// sides and hand them to the converter.
#include <algorithm>
#include <cstring>

#include "image/convert.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

DWORD DefaultLoadFilter(D3DFORMAT sourceFormat) {
    return FindFormatInfo(sourceFormat).Kind == FORMAT_KIND_SIGNED ? (FILTER_POINT | FILTER_DITHER)
                                                                   : (FILTER_TRIANGLE | FILTER_DITHER);
}

// 0 <= left <= right <= width and 0 <= top <= bottom <= height, compared without wrapping.
bool RectInside(const RECT& r, UINT width, UINT height) {
    return r.left >= 0 && r.top >= 0 && r.left <= r.right && r.top <= r.bottom &&
           static_cast<std::int64_t>(r.right) <= width && static_cast<std::int64_t>(r.bottom) <= height;
}

bool BoxInside(const D3DBOX& b, UINT width, UINT height, UINT depth) {
    return b.Left <= b.Right && b.Right <= width && b.Top <= b.Bottom && b.Bottom <= height && b.Front <= b.Back &&
           b.Back <= depth;
}

D3DBOX BoxOf(const RECT& r) {
    return {static_cast<UINT>(r.left), static_cast<UINT>(r.top), static_cast<UINT>(r.right),
            static_cast<UINT>(r.bottom), 0, 1};
}

// The lock for a load into the region `locked` (as the converter will see it): a load
// covering the whole destination writes every pixel, so its old contents may be discarded,
// but only when the converter will take the pair (the same decision it makes itself).
// Anything but running out of memory then fails before a pixel is written.
DWORD LoadLockFlags(bool whole, SurfaceDesc destination, const SurfaceDesc& source, const D3DBOX& locked,
                    DWORD filter) {
    if (!whole) return 0;
    destination.Region = locked;
    return SUCCEEDED(CheckConversion(&destination, &source, filter)) ? D3DLOCK_DISCARD : 0;
}

// Moves a region to the origin, keeping its size: the locked bits start at its corner.
RECT AtOrigin(const RECT& r) { return {0, 0, r.right - r.left, r.bottom - r.top}; }
D3DBOX AtOrigin(const D3DBOX& b) { return {0, 0, b.Right - b.Left, b.Bottom - b.Top, 0, b.Back - b.Front}; }

}  // namespace

HRESULT LoadSurfaceFromMemory(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                              const RECT* destinationRect, const void* sourcePixels, D3DFORMAT sourceFormat,
                              UINT sourcePitch, const PALETTEENTRY* sourcePalette, const RECT* sourceRect,
                              DWORD filter, D3DCOLOR colorKey) {
    if (!destination || !sourcePixels || !sourceRect) return D3DERR_INVALIDCALL;
    // The source region has no known bounds, but a negative or inverted one can only be a
    // mistake, and would address memory before the pixels.
    if (sourceRect->left < 0 || sourceRect->top < 0 || sourceRect->left > sourceRect->right ||
        sourceRect->top > sourceRect->bottom) {
        return D3DERR_INVALIDCALL;
    }
    if (filter == USE_DEFAULT) filter = DefaultLoadFilter(sourceFormat);

    D3DSURFACE_DESC desc = {};
    HRESULT hr = destination->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    RECT rect = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    if (destinationRect) {
        if (!RectInside(*destinationRect, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
        rect = *destinationRect;
    }
    // An empty destination region receives nothing.
    if (rect.left == rect.right || rect.top == rect.bottom) return S_OK;

    SurfaceDesc src;
    src.Data = const_cast<void*>(sourcePixels);
    src.Format = sourceFormat;
    src.RowPitch = sourcePitch;
    src.SlicePitch = 0;
    src.Region = BoxOf(*sourceRect);
    src.Whole = src.Region;  // the region alone bounds the source
    src.ColorKey = colorKey;
    src.Palette = sourcePalette;

    SurfaceDesc dst;
    dst.Format = desc.Format;
    dst.SlicePitch = 0;
    dst.Whole = {0, 0, desc.Width, desc.Height, 0, 1};
    dst.ColorKey = 0;
    dst.Palette = destinationPalette;

    // Block formats are locked whole and keep the region in surface coordinates. A region
    // covering the whole surface is written in full, so its old contents are not needed.
    const bool block = IsBlockFormat(desc.Format);
    const bool whole = rect.left == 0 && rect.top == 0 && rect.right == static_cast<LONG>(desc.Width) &&
                       rect.bottom == static_cast<LONG>(desc.Height);
    const DWORD lockFlags = LoadLockFlags(whole, dst, src, BoxOf(block ? rect : AtOrigin(rect)), filter);
    SurfaceLock lock(destination);
    hr = lock.Lock(block ? nullptr : &rect, lockFlags);
    if (FAILED(hr)) return hr;
    if (!block) rect = AtOrigin(rect);
    dst.Data = lock.Bits().pBits;
    dst.RowPitch = static_cast<UINT>(lock.Bits().Pitch);
    dst.Region = BoxOf(rect);
    hr = ConvertSurface(&dst, &src, filter);
    // Only running out of memory fails after the check: what a discarded surface holds
    // then is unknown, so it is cleared.
    if (hr == E_OUTOFMEMORY && lockFlags == D3DLOCK_DISCARD) {
        const std::size_t rows = block ? (desc.Height + 3) / 4 : desc.Height;
        std::memset(dst.Data, 0, std::min<std::size_t>(desc.Size, rows * dst.RowPitch));
    }
    return hr;
}

HRESULT LoadSurfaceFromSurface(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                               const RECT* destinationRect, IDirect3DSurface8* source,
                               const PALETTEENTRY* sourcePalette, const RECT* sourceRect, DWORD filter,
                               D3DCOLOR colorKey) {
    if (!destination || !source) return D3DERR_INVALIDCALL;
    D3DSURFACE_DESC desc = {};
    HRESULT hr = source->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    RECT rect = {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
    if (sourceRect) {
        if (!RectInside(*sourceRect, desc.Width, desc.Height)) return D3DERR_INVALIDCALL;
        rect = *sourceRect;
    }
    const bool block = IsBlockFormat(desc.Format);
    SurfaceLock lock(source);
    hr = lock.Lock(block ? nullptr : &rect, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    if (!block) rect = AtOrigin(rect);
    return LoadSurfaceFromMemory(destination, destinationPalette, destinationRect, lock.Bits().pBits, desc.Format,
                                 static_cast<UINT>(lock.Bits().Pitch), sourcePalette, &rect, filter, colorKey);
}

HRESULT LoadSurfaceFromFileInMemory(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                    const RECT* destinationRect, const void* data, UINT size,
                                    const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    if (!destination || !data || size == 0) return D3DERR_INVALIDCALL;
    DecodedImage image;
    HRESULT hr = DecodeImage(&image, data, size, info);
    if (FAILED(hr)) return hr;
    // Only the first image counts: further levels or faces of the file are ignored.
    RECT rect = image.Rect;
    if (sourceRect) {
        if (!RectInside(*sourceRect, static_cast<UINT>(image.Rect.right), static_cast<UINT>(image.Rect.bottom))) {
            return D3DERR_INVALIDCALL;
        }
        rect = *sourceRect;
    }
    return LoadSurfaceFromMemory(destination, destinationPalette, destinationRect, image.Pixels, image.Format,
                                 image.Pitch, reinterpret_cast<const PALETTEENTRY*>(image.Palette), &rect, filter,
                                 colorKey);
}

namespace {

HRESULT LoadSurfaceFromMappedFile(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                  const RECT* destinationRect, const void* name, bool wide,
                                  const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    MappedFile file;
    HRESULT hr = file.Open(name, wide);
    if (FAILED(hr)) return hr;
    return LoadSurfaceFromFileInMemory(destination, destinationPalette, destinationRect, file.View, file.Size,
                                       sourceRect, filter, colorKey, info);
}

HRESULT LoadSurfaceFromResourceBlock(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                     const RECT* destinationRect, HMODULE module, const void* name, bool wide,
                                     const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    ResourceBlock block;
    HRESULT hr = block.Load(module, name, wide);
    if (FAILED(hr)) return hr;
    return LoadSurfaceFromFileInMemory(destination, destinationPalette, destinationRect, block.Bytes, block.Size,
                                       sourceRect, filter, colorKey, info);
}

}  // namespace

HRESULT LoadSurfaceFromFile(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                            const RECT* destinationRect, LPCSTR fileName, const RECT* sourceRect, DWORD filter,
                            D3DCOLOR colorKey, ImageInfo* info) {
    return LoadSurfaceFromMappedFile(destination, destinationPalette, destinationRect, fileName, false, sourceRect,
                                     filter, colorKey, info);
}

HRESULT LoadSurfaceFromFileW(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                             const RECT* destinationRect, LPCWSTR fileName, const RECT* sourceRect,
                             DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    return LoadSurfaceFromMappedFile(destination, destinationPalette, destinationRect, fileName, true, sourceRect,
                                     filter, colorKey, info);
}

HRESULT LoadSurfaceFromResource(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                const RECT* destinationRect, HMODULE module, LPCSTR resource,
                                const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    return LoadSurfaceFromResourceBlock(destination, destinationPalette, destinationRect, module, resource, false,
                                        sourceRect, filter, colorKey, info);
}

HRESULT LoadSurfaceFromResourceW(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                 const RECT* destinationRect, HMODULE module, LPCWSTR resource,
                                 const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info) {
    return LoadSurfaceFromResourceBlock(destination, destinationPalette, destinationRect, module, resource, true,
                                        sourceRect, filter, colorKey, info);
}

HRESULT LoadVolumeFromMemory(IDirect3DVolume8* destination, const PALETTEENTRY* destinationPalette,
                             const D3DBOX* destinationBox, const void* sourcePixels, D3DFORMAT sourceFormat,
                             UINT sourceRowPitch, UINT sourceSlicePitch, const PALETTEENTRY* sourcePalette,
                             const D3DBOX* sourceBox, DWORD filter, D3DCOLOR colorKey) {
    if (!destination || !sourcePixels || !sourceBox) return D3DERR_INVALIDCALL;
    if (sourceBox->Left > sourceBox->Right || sourceBox->Top > sourceBox->Bottom ||
        sourceBox->Front > sourceBox->Back) {
        return D3DERR_INVALIDCALL;
    }
    if (filter == USE_DEFAULT) filter = DefaultLoadFilter(sourceFormat);

    D3DVOLUME_DESC desc = {};
    HRESULT hr = destination->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    D3DBOX box = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    if (destinationBox) {
        if (!BoxInside(*destinationBox, desc.Width, desc.Height, desc.Depth)) return D3DERR_INVALIDCALL;
        box = *destinationBox;
    }
    if (box.Left == box.Right || box.Top == box.Bottom || box.Front == box.Back) return S_OK;

    SurfaceDesc src;
    src.Data = const_cast<void*>(sourcePixels);
    src.Format = sourceFormat;
    src.RowPitch = sourceRowPitch;
    src.SlicePitch = sourceSlicePitch;
    src.Region = *sourceBox;
    src.Whole = src.Region;
    src.ColorKey = colorKey;
    src.Palette = sourcePalette;

    SurfaceDesc dst;
    dst.Format = desc.Format;
    dst.Whole = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    dst.ColorKey = 0;
    dst.Palette = destinationPalette;

    const bool block = IsBlockFormat(desc.Format);
    const bool whole = box.Left == 0 && box.Top == 0 && box.Front == 0 && box.Right == desc.Width &&
                       box.Bottom == desc.Height && box.Back == desc.Depth;
    const DWORD lockFlags = LoadLockFlags(whole, dst, src, block ? box : AtOrigin(box), filter);
    VolumeLock lock(destination);
    hr = lock.Lock(block ? nullptr : &box, lockFlags);
    if (FAILED(hr)) return hr;
    if (!block) box = AtOrigin(box);
    dst.Data = lock.Bits().pBits;
    dst.RowPitch = static_cast<UINT>(lock.Bits().RowPitch);
    dst.SlicePitch = static_cast<UINT>(lock.Bits().SlicePitch);
    dst.Region = box;
    hr = ConvertSurface(&dst, &src, filter);
    if (hr == E_OUTOFMEMORY && lockFlags == D3DLOCK_DISCARD)
        std::memset(dst.Data, 0, std::min<std::size_t>(desc.Size, std::size_t{desc.Depth} * dst.SlicePitch));
    return hr;
}

HRESULT LoadVolumeFromVolume(IDirect3DVolume8* destination, const PALETTEENTRY* destinationPalette,
                             const D3DBOX* destinationBox, IDirect3DVolume8* source,
                             const PALETTEENTRY* sourcePalette, const D3DBOX* sourceBox, DWORD filter,
                             D3DCOLOR colorKey) {
    if (!destination || !source) return D3DERR_INVALIDCALL;
    D3DVOLUME_DESC desc = {};
    HRESULT hr = source->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    D3DBOX box = {0, 0, desc.Width, desc.Height, 0, desc.Depth};
    if (sourceBox) {
        if (!BoxInside(*sourceBox, desc.Width, desc.Height, desc.Depth)) return D3DERR_INVALIDCALL;
        box = *sourceBox;
    }
    const bool block = IsBlockFormat(desc.Format);
    VolumeLock lock(source);
    hr = lock.Lock(block ? nullptr : &box, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    if (!block) box = AtOrigin(box);
    return LoadVolumeFromMemory(destination, destinationPalette, destinationBox, lock.Bits().pBits, desc.Format,
                                static_cast<UINT>(lock.Bits().RowPitch), static_cast<UINT>(lock.Bits().SlicePitch),
                                sourcePalette, &box, filter, colorKey);
}
