// Texture creation: textures and cube textures from image files, data in memory or bitmap
// resources; the choice of a size, level count and format the device accepts; loading
// pixels into surfaces and volumes; and the regeneration of mipmap chains.
//
// Every operation returns 0 or a negative result code and never throws. Everything an
// operation creates is released before it returns, except the object it hands out through
// its out reference, which is written only on success and carries one reference.
#pragma once

#include "image/image_file.h"
#include "platform/d3d8/d3d8.h"
#include "texture/format_table.h"
#include "texture/export.h"

TOLVANE_API_BEGIN

// Asks for the default value of a size, level count, filter, usage or source level.
constexpr DWORD USE_DEFAULT = 0xFFFFFFFFu;

// ---- size, level count and format selection --------------------------------------------
// Each reference may be null: the value then counts as USE_DEFAULT (format: D3DFMT_UNKNOWN)
// and nothing is written back. Adjusted values are written back only on success.
// 0, D3DERR_INVALIDCALL (device, usage or pool) or D3DERR_NOTAVAILABLE (no usable format).
HRESULT CheckTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* mipLevels,
                                 DWORD usage, D3DFORMAT* format, D3DPOOL pool);
HRESULT CheckCubeTextureRequirements(IDirect3DDevice8* device, UINT* size, UINT* mipLevels, DWORD usage,
                                     D3DFORMAT* format, D3DPOOL pool);
HRESULT CheckVolumeTextureRequirements(IDirect3DDevice8* device, UINT* width, UINT* height, UINT* depth,
                                       UINT* mipLevels, DWORD usage, D3DFORMAT* format, D3DPOOL pool);

// The matching check, then the device's creation call with the adjusted values.
HRESULT CreateTextureChecked(IDirect3DDevice8* device, UINT width, UINT height, UINT mipLevels, DWORD usage,
                             D3DFORMAT format, D3DPOOL pool, IDirect3DTexture8** texture);
HRESULT CreateCubeTextureChecked(IDirect3DDevice8* device, UINT size, UINT mipLevels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool, IDirect3DCubeTexture8** texture);
HRESULT CreateVolumeTextureChecked(IDirect3DDevice8* device, UINT width, UINT height, UINT depth,
                                   UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                   IDirect3DVolumeTexture8** texture);

// ---- surface and volume loading ----------------------------------------------------------
// A null destination rectangle (box) means the whole destination. Filters are filter words
// (image/convert.h) or USE_DEFAULT; a colour key of 0 means none. Palettes hold 256 entries.
HRESULT LoadSurfaceFromMemory(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                              const RECT* destinationRect, const void* sourcePixels, D3DFORMAT sourceFormat,
                              UINT sourcePitch, const PALETTEENTRY* sourcePalette, const RECT* sourceRect,
                              DWORD filter, D3DCOLOR colorKey);
HRESULT LoadSurfaceFromSurface(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                               const RECT* destinationRect, IDirect3DSurface8* source,
                               const PALETTEENTRY* sourcePalette, const RECT* sourceRect, DWORD filter,
                               D3DCOLOR colorKey);
HRESULT LoadSurfaceFromFileInMemory(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                    const RECT* destinationRect, const void* data, UINT size,
                                    const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info);
HRESULT LoadSurfaceFromFile(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                            const RECT* destinationRect, LPCSTR fileName, const RECT* sourceRect, DWORD filter,
                            D3DCOLOR colorKey, ImageInfo* info);
HRESULT LoadSurfaceFromFileW(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                             const RECT* destinationRect, LPCWSTR fileName, const RECT* sourceRect,
                             DWORD filter, D3DCOLOR colorKey, ImageInfo* info);
HRESULT LoadSurfaceFromResource(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                const RECT* destinationRect, HMODULE module, LPCSTR resource,
                                const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info);
HRESULT LoadSurfaceFromResourceW(IDirect3DSurface8* destination, const PALETTEENTRY* destinationPalette,
                                 const RECT* destinationRect, HMODULE module, LPCWSTR resource,
                                 const RECT* sourceRect, DWORD filter, D3DCOLOR colorKey, ImageInfo* info);
HRESULT LoadVolumeFromMemory(IDirect3DVolume8* destination, const PALETTEENTRY* destinationPalette,
                             const D3DBOX* destinationBox, const void* sourcePixels, D3DFORMAT sourceFormat,
                             UINT sourceRowPitch, UINT sourceSlicePitch, const PALETTEENTRY* sourcePalette,
                             const D3DBOX* sourceBox, DWORD filter, D3DCOLOR colorKey);
HRESULT LoadVolumeFromVolume(IDirect3DVolume8* destination, const PALETTEENTRY* destinationPalette,
                             const D3DBOX* destinationBox, IDirect3DVolume8* source,
                             const PALETTEENTRY* sourcePalette, const D3DBOX* sourceBox, DWORD filter,
                             D3DCOLOR colorKey);

// ---- mipmap chains -------------------------------------------------------------------------
// Remakes every level below sourceLevel (USE_DEFAULT: 0). Point and box filters make each
// level from the one just above it; the other filters make every level from sourceLevel.
HRESULT FilterTexture(IDirect3DTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel, DWORD filter);
HRESULT FilterCubeTexture(IDirect3DCubeTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                          DWORD filter);
HRESULT FilterVolumeTexture(IDirect3DVolumeTexture8* texture, const PALETTEENTRY* palette, UINT sourceLevel,
                            DWORD filter);

// ---- textures from image files -------------------------------------------------------------
// The simple entries use: sizes and levels USE_DEFAULT, usage 0, D3DFMT_UNKNOWN,
// D3DPOOL_MANAGED, both filters USE_DEFAULT, no colour key, no image info, no palette.
// A palette argument receives the 256 entries of the palette used for the texture.
HRESULT CreateTextureFromFile(IDirect3DDevice8* device, LPCSTR fileName, IDirect3DTexture8** texture);
HRESULT CreateTextureFromFileW(IDirect3DDevice8* device, LPCWSTR fileName, IDirect3DTexture8** texture);
HRESULT CreateTextureFromFileEx(IDirect3DDevice8* device, LPCSTR fileName, UINT width, UINT height,
                                UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                IDirect3DTexture8** texture);
HRESULT CreateTextureFromFileExW(IDirect3DDevice8* device, LPCWSTR fileName, UINT width, UINT height,
                                 UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                 DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                 IDirect3DTexture8** texture);
HRESULT CreateTextureFromResource(IDirect3DDevice8* device, HMODULE module, LPCSTR resource,
                                  IDirect3DTexture8** texture);
HRESULT CreateTextureFromResourceW(IDirect3DDevice8* device, HMODULE module, LPCWSTR resource,
                                   IDirect3DTexture8** texture);
HRESULT CreateTextureFromResourceEx(IDirect3DDevice8* device, HMODULE module, LPCSTR resource, UINT width,
                                    UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info,
                                    PALETTEENTRY* palette, IDirect3DTexture8** texture);
HRESULT CreateTextureFromResourceExW(IDirect3DDevice8* device, HMODULE module, LPCWSTR resource, UINT width,
                                     UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture);
HRESULT CreateTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                      IDirect3DTexture8** texture);
HRESULT CreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                        UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                        ImageInfo* info, PALETTEENTRY* palette, IDirect3DTexture8** texture);

// ---- cube textures from image files (a file with six faces: a DDS cube map) -----------------
HRESULT CreateCubeTextureFromFile(IDirect3DDevice8* device, LPCSTR fileName, IDirect3DCubeTexture8** texture);
HRESULT CreateCubeTextureFromFileW(IDirect3DDevice8* device, LPCWSTR fileName,
                                   IDirect3DCubeTexture8** texture);
HRESULT CreateCubeTextureFromFileEx(IDirect3DDevice8* device, LPCSTR fileName, UINT size, UINT mipLevels,
                                    DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                    D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                    IDirect3DCubeTexture8** texture);
HRESULT CreateCubeTextureFromFileExW(IDirect3DDevice8* device, LPCWSTR fileName, UINT size, UINT mipLevels,
                                     DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                     DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                     IDirect3DCubeTexture8** texture);
HRESULT CreateCubeTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                          IDirect3DCubeTexture8** texture);
HRESULT CreateCubeTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT dataSize,
                                            UINT size, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                            ImageInfo* info, PALETTEENTRY* palette,
                                            IDirect3DCubeTexture8** texture);

TOLVANE_API_END
