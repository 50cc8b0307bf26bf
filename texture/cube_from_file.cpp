// Cube textures from image files that carry six faces (DDS cube maps).
#include <algorithm>

#include "image/convert.h"
#include "texture/load_settings.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

constexpr UINT CUBE_FACES = 6;

UINT ChainLength(const DecodedImage* image) {
    UINT n = 0;
    for (; image; image = image->NextLevel) ++n;
    return n;
}

}  // namespace

HRESULT CreateCubeTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT dataSize,
                                            UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            ImageInfo* info, PALETTEENTRY* palette,
                                            IDirect3DCubeTexture8** texture) {
    if (!device || !data || !texture || dataSize == 0) return D3DERR_INVALIDCALL;
    if (usage == USE_DEFAULT) usage = 0;

    // Declared in the reverse of the release order: surface, texture, twin, image.
    DecodedImage image;
    ComRef<IDirect3DCubeTexture8> twin;
    ComRef<IDirect3DCubeTexture8> created;
    ComRef<IDirect3DSurface8> surface;

    HRESULT hr = DecodeImage(&image, data, dataSize, info);
    if (FAILED(hr)) return hr;

    const DecodedImage* faces[CUBE_FACES] = {};
    UINT faceCount = 0;
    for (const DecodedImage* face = &image; face; face = face->NextFace) {
        if (faceCount == CUBE_FACES) return E_FAIL;
        faces[faceCount++] = face;
    }
    if (faceCount != CUBE_FACES) return E_FAIL;
    // The file's level count is that of its first face; a face with a shorter chain (a
    // malformed file) limits it, so that no face is left with levels never written.
    UINT fileLevels = ChainLength(faces[0]);
    for (const DecodedImage* face : faces) fileLevels = std::min(fileLevels, ChainLength(face));

    if (size == 0 || size == USE_DEFAULT) {
        size = static_cast<UINT>(std::max(image.Rect.right, image.Rect.bottom));
    }

    LoadSettings settings;
    SettleLoad(image, format, filter, mipFilter, colorKey, FILTER_MIRROR, palette, &settings);

    hr = CheckCubeTextureRequirements(device, &size, &mipLevels, usage, &settings.Format, pool);
    if (FAILED(hr)) return hr;
    hr = device->CreateCubeTexture(size, mipLevels, usage, settings.Format, pool, created.Out());
    if (FAILED(hr)) return hr;
    IDirect3DCubeTexture8* target = created.Get();
    if (pool == D3DPOOL_DEFAULT) {
        hr = device->CreateCubeTexture(size, mipLevels, 0, settings.Format, D3DPOOL_SYSTEMMEM, twin.Out());
        if (FAILED(hr)) return hr;
        target = twin.Get();
    }
    const UINT levelCount = target->GetLevelCount();

    // Face k of the file fills platform face k, level by level from its own chain.
    for (UINT k = 0; k < CUBE_FACES; ++k) {
        const auto face = static_cast<D3DCUBEMAP_FACES>(k);
        const DecodedImage* last = faces[k];
        UINT level = 0;
        for (const DecodedImage* source = faces[k]; source && level < std::min(levelCount, fileLevels);
             source = source->NextLevel, ++level) {
            hr = target->GetCubeMapSurface(face, level, surface.Out());
            if (FAILED(hr)) return hr;
            hr = LoadImageLevel(surface.Get(), palette, *source, settings, settings.Filter);
            if (FAILED(hr)) return hr;
            surface.Reset();
            last = source;
        }
        if (settings.FilterLowerLevels) continue;
        for (; level < levelCount; ++level) {
            hr = target->GetCubeMapSurface(face, level, surface.Out());
            if (FAILED(hr)) return hr;
            hr = LoadImageLevel(surface.Get(), palette, *last, settings, settings.MipFilter);
            if (FAILED(hr)) return hr;
            surface.Reset();
        }
    }
    if (settings.FilterLowerLevels && levelCount > fileLevels) {
        hr = FilterCubeTexture(target, settings.WorkingPalette, fileLevels - 1, settings.MipFilter);
        if (FAILED(hr)) return hr;
    }

    if (pool == D3DPOOL_DEFAULT) {
        hr = device->UpdateTexture(twin.Get(), created.Get());
        if (FAILED(hr)) return hr;
    }
    *texture = created.Detach();
    return S_OK;
}

namespace {

HRESULT CreateCubeTextureFromMappedFile(IDirect3DDevice8* device, const void* name, bool wide, UINT size,
                                        UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                        DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                        IDirect3DCubeTexture8** texture) {
    MappedFile file;
    HRESULT hr = file.Open(name, wide);
    if (FAILED(hr)) return hr;
    return CreateCubeTextureFromFileInMemoryEx(device, file.View, file.Size, size, mipLevels, usage, format, pool,
                                               filter, mipFilter, colorKey, info, palette, texture);
}

}  // namespace

HRESULT CreateCubeTextureFromFile(IDirect3DDevice8* device, LPCSTR fileName, IDirect3DCubeTexture8** texture) {
    return CreateCubeTextureFromFileEx(device, fileName, USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN,
                                       D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT CreateCubeTextureFromFileW(IDirect3DDevice8* device, LPCWSTR fileName, IDirect3DCubeTexture8** texture) {
    return CreateCubeTextureFromFileExW(device, fileName, USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN,
                                        D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT CreateCubeTextureFromFileEx(IDirect3DDevice8* device, LPCSTR fileName, UINT size, UINT mipLevels,
                                    DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                    D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                    IDirect3DCubeTexture8** texture) {
    return CreateCubeTextureFromMappedFile(device, fileName, false, size, mipLevels, usage, format, pool, filter,
                                           mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateCubeTextureFromFileExW(IDirect3DDevice8* device, LPCWSTR fileName, UINT size, UINT mipLevels,
                                     DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                     IDirect3DCubeTexture8** texture) {
    return CreateCubeTextureFromMappedFile(device, fileName, true, size, mipLevels, usage, format, pool, filter,
                                           mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateCubeTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                          IDirect3DCubeTexture8** texture) {
    return CreateCubeTextureFromFileInMemoryEx(device, data, size, USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN,
                                               D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr,
                                               texture);
}
