// Textures from image files: decode, choose size, levels and format, create, fill the
// levels the file carries, then filter or load the rest.
#include <cstdint>
#include <cstring>
#include <optional>

#include "image/convert.h"
#include "texture/load_settings.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

// The format a texture gets when the caller leaves it to the image. A colour key needs an
// alpha channel to make its colour transparent.
D3DFORMAT DeriveFormat(D3DFORMAT imageFormat, D3DCOLOR colorKey) {
    if (colorKey != 0) {
        switch (imageFormat) {
            case D3DFMT_R8G8B8:
            case D3DFMT_X8R8G8B8:
            case D3DFMT_R5G6B5:
                return D3DFMT_A8R8G8B8;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_R3G3B2:
            case D3DFMT_X4R4G4B4:
                return D3DFMT_A1R5G5B5;
            case D3DFMT_L8:
                return D3DFMT_A8L8;
            default:
                return imageFormat;
        }
    }
    return imageFormat == D3DFMT_R8G8B8 ? D3DFMT_X8R8G8B8 : imageFormat;
}

DWORD PaletteWord(const PALETTEENTRY& e) {
    return static_cast<DWORD>(e.peRed) | (static_cast<DWORD>(e.peGreen) << 8) |
           (static_cast<DWORD>(e.peBlue) << 16) | (static_cast<DWORD>(e.peFlags) << 24);
}

// Bits of a pixel of a format the JPEG and PNG decoders write.
UINT BitsOf(D3DFORMAT decoded) {
    switch (decoded) {
        case D3DFMT_L8: return 8;
        case D3DFMT_A8L8: return 16;
        default: return 32;  // D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8
    }
}

UINT ChainLength(const DecodedImage* image) {
    UINT n = 0;
    for (; image; image = image->NextLevel) ++n;
    return n;
}

// Level 0 of the texture offered to the decoder as the place of its rows, when the texture
// gets the image's size and either its format with no colour key (the converter would
// take the pair as a raw copy: the decoded bytes are the level's) or a format of no fewer
// bytes a pixel that the converter reaches row by row. The texture is then made before the
// decoding ends, exactly as it would be made after it, and the decoder writes its rows at
// the level's pitch; in the second case each row is then converted where it lies (a row
// is read whole before it is written, and never reaches into the next). The box chain
// follows from there. Whatever does not qualify (or fails on the way: the same failure
// comes again on the ordinary path) gets no rows, and nothing of this stays.
class LevelZeroTarget final : public ImageTarget {
public:
    struct Request {
        IDirect3DDevice8* device;
        UINT width, height, mipLevels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        DWORD filter, mipFilter;
        D3DCOLOR colorKey;
        const PALETTEENTRY* callerPalette;
    };
    explicit LevelZeroTarget(const Request& request) : r_(request) {}

    BYTE* Rows(D3DFORMAT format, UINT width, UINT height, UINT* pitch) override {
        if (!Qualifies(format, width, height) || !Create() || !LockLevelZero()) {
            Discard();
            return nullptr;
        }
        *pitch = static_cast<UINT>(lock_->Bits().Pitch);
        bits_ = static_cast<BYTE*>(lock_->Bits().pBits);
        return bits_;
    }

    // Whether the decoder filled level 0 with image: then the texture is handed over, its
    // level unlocked.
    bool Filled(const DecodedImage& image) const { return bits_ != nullptr && image.Pixels == bits_; }
    // Converts the decoded rows of a filled level 0 into the texture's format where they
    // lie, described as the ordinary load describes them; then unlocks. The converter's
    // result.
    HRESULT Finish(const DecodedImage& image, const LoadSettings& settings, const PALETTEENTRY* callerPalette) {
        HRESULT hr = S_OK;
        if (image.Format != format_ || settings.ColorKey != 0) {
            const D3DBOX all = {0, 0, width_, height_, 0, 1};
            SurfaceDesc source;
            source.Data = bits_;
            source.Format = image.Format;
            source.RowPitch = image.Pitch;
            source.Region = all;
            source.Whole = all;
            source.ColorKey = settings.ColorKey;
            source.Palette = settings.WorkingPalette;
            SurfaceDesc destination;
            destination.Data = bits_;
            destination.Format = format_;
            destination.RowPitch = image.Pitch;
            destination.Whole = all;
            destination.Region = all;
            destination.Palette = callerPalette;
            hr = ConvertSurface(&destination, &source, settings.Filter);
        }
        Unlock();
        return hr;
    }
    void Unlock() {
        lock_.reset();
        surface_.Reset();
    }
    // Drops the texture made for rows the image did not end up in.
    void Discard() {
        Unlock();
        twin_.Reset();
        created_.Reset();
        bits_ = nullptr;
    }

    ComRef<IDirect3DTexture8> created_;
    ComRef<IDirect3DTexture8> twin_;

private:
    bool Qualifies(D3DFORMAT format, UINT width, UINT height) {
        // A palettised image's palette is not known before its rows.
        if (format == D3DFMT_P8) return false;
        DecodedImage stub;
        stub.Format = format;
        PALETTEENTRY palette[256];
        LoadSettings settings;
        SettleLoad(stub, r_.format, r_.filter, r_.mipFilter, r_.colorKey, 0, r_.callerPalette ? palette : nullptr,
                   &settings);
        UINT w = r_.width == 0 || r_.width == USE_DEFAULT ? width : r_.width;
        UINT h = r_.height == 0 || r_.height == USE_DEFAULT ? height : r_.height;
        levels_ = r_.mipLevels;
        format_ = settings.Format;
        if (FAILED(CheckTextureRequirements(r_.device, &w, &h, &levels_, r_.usage, &format_, r_.pool)) ||
            w != width || h != height) {
            return false;
        }
        const bool unchanged = format_ == format && settings.ColorKey == 0;
        if (!unchanged && (IsBlockFormat(format_) || FindFormatInfo(format_).BitsPerPixel < BitsOf(format))) {
            return false;
        }
        // Lower levels loaded from the image would read it where the decoder put it, in a
        // level no longer locked: only the filtered chain follows a direct level 0.
        if (!settings.FilterLowerLevels && levels_ != 1) return false;
        width_ = w;
        height_ = h;
        // The converter's own decision for the level-0 load: with one size it is the raw
        // copy (one format, no key or palette), which moves the bytes unchanged, or the
        // row-by-row conversion.
        static const BYTE anywhere = 0;
        SurfaceDesc source;
        source.Data = const_cast<BYTE*>(&anywhere);
        source.Format = format;
        source.Region = {0, 0, width, height, 0, 1};
        source.Whole = source.Region;
        source.ColorKey = settings.ColorKey;
        source.Palette = settings.WorkingPalette;
        SurfaceDesc destination;
        destination.Format = format_;
        destination.Whole = source.Region;
        destination.Region = source.Region;
        destination.Palette = r_.callerPalette;
        return SUCCEEDED(CheckConversion(&destination, &source, settings.Filter));
    }

    bool Create() {
        if (FAILED(r_.device->CreateTexture(width_, height_, levels_, r_.usage, format_, r_.pool, created_.Out())))
            return false;
        if (r_.pool == D3DPOOL_DEFAULT &&
            FAILED(r_.device->CreateTexture(width_, height_, levels_, 0, format_, D3DPOOL_SYSTEMMEM, twin_.Out())))
            return false;
        return true;
    }

    bool LockLevelZero() {
        IDirect3DTexture8* target = r_.pool == D3DPOOL_DEFAULT ? twin_.Get() : created_.Get();
        if (FAILED(target->GetSurfaceLevel(0, surface_.Out()))) return false;
        lock_.emplace(surface_.Get());
        if (FAILED(lock_->Lock(nullptr, D3DLOCK_DISCARD))) {
            lock_.reset();
            return false;
        }
        const auto address = reinterpret_cast<std::uintptr_t>(lock_->Bits().pBits);
        return lock_->Bits().Pitch > 0 && lock_->Bits().Pitch % 4 == 0 && address % 4 == 0;
    }

    Request r_;
    UINT width_ = 0, height_ = 0, levels_ = 0;
    D3DFORMAT format_ = D3DFMT_UNKNOWN;
    ComRef<IDirect3DSurface8> surface_;
    std::optional<SurfaceLock> lock_;
    BYTE* bits_ = nullptr;
};

}  // namespace

void SettleLoad(const DecodedImage& image, D3DFORMAT format, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                DWORD extraFilterFlags, PALETTEENTRY* callerPalette, LoadSettings* out) {
    if (format == D3DFMT_UNKNOWN) format = DeriveFormat(image.Format, colorKey);

    const bool isSigned = FindFormatInfo(image.Format).Kind == FORMAT_KIND_SIGNED;
    if (filter == USE_DEFAULT) filter = isSigned ? (FILTER_POINT | FILTER_DITHER) : (FILTER_TRIANGLE | FILTER_DITHER);
    if (mipFilter == USE_DEFAULT) mipFilter = isSigned ? FILTER_POINT : FILTER_BOX;
    filter |= extraFilterFlags;
    mipFilter |= extraFilterFlags;
    const DWORD filterType = FilterType(filter);
    const DWORD mipType = FilterType(mipFilter);
    out->FilterLowerLevels = filterType == FILTER_NONE || mipType == FILTER_POINT || mipType == FILTER_BOX;

    // A palettised image takes its colour key in the palette: the entry that equals the key
    // (compared with its flags byte, which holds alpha) becomes transparent black, and the
    // key is not applied again by the converter.
    if (image.Palette) {
        const DWORD key = (colorKey & 0xFF00FF00u) | ((colorKey & 0xFFu) << 16) | ((colorKey >> 16) & 0xFFu);
        for (int i = 0; i < 256; ++i) {
            const BYTE* p = image.Palette + 4 * i;
            PALETTEENTRY e = {p[0], p[1], p[2], p[3]};
            if (colorKey != 0 && PaletteWord(e) == key) e = {0, 0, 0, 0};
            out->WorkingPalette[i] = e;
        }
        colorKey = 0;
    } else {
        for (PALETTEENTRY& e : out->WorkingPalette) e = {0xFF, 0xFF, 0xFF, 0xFF};
    }

    // Without a palette to hand back, a palettised texture would lose its colours: widen it.
    // The working palette decides about alpha, so an entry made transparent by the colour key
    // keeps its transparency.
    if (callerPalette) {
        std::memcpy(callerPalette, out->WorkingPalette, sizeof out->WorkingPalette);
    } else if (format == D3DFMT_A8P8) {
        format = D3DFMT_A8R8G8B8;
    } else if (format == D3DFMT_P8) {
        bool translucent = false;
        for (const PALETTEENTRY& e : out->WorkingPalette) translucent |= e.peFlags != 0xFF;
        format = translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    }

    out->Format = format;
    out->Filter = filter;
    out->MipFilter = mipFilter;
    out->ColorKey = colorKey;
}

HRESULT LoadImageLevel(IDirect3DSurface8* surface, const PALETTEENTRY* callerPalette, const DecodedImage& image,
                       const LoadSettings& settings, DWORD filter) {
    return LoadSurfaceFromMemory(surface, callerPalette, nullptr, image.Pixels, image.Format, image.Pitch,
                                 settings.WorkingPalette, &image.Rect, filter, settings.ColorKey);
}

HRESULT CreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                        UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                        ImageInfo* info, PALETTEENTRY* palette, IDirect3DTexture8** texture) {
    if (!device || !data || !texture || size == 0) return D3DERR_INVALIDCALL;
    if (usage == USE_DEFAULT) usage = 0;

    // Declared in the reverse of the release order: surface, texture, twin, image. The
    // image may hold level 0 of direct's texture locked: direct goes after it.
    LevelZeroTarget direct({device, width, height, mipLevels, usage, format, pool, filter, mipFilter, colorKey,
                            palette});
    DecodedImage image;
    ComRef<IDirect3DTexture8> twin;
    ComRef<IDirect3DTexture8> created;
    ComRef<IDirect3DSurface8> surface;

    HRESULT hr = DecodeImage(&image, data, size, info, &direct);
    if (FAILED(hr)) return hr;
    const bool levelZeroFilled = direct.Filled(image);
    const UINT imageCount = ChainLength(&image);
    if (width == 0 || width == USE_DEFAULT) width = static_cast<UINT>(image.Rect.right);
    if (height == 0 || height == USE_DEFAULT) height = static_cast<UINT>(image.Rect.bottom);

    LoadSettings settings;
    SettleLoad(image, format, filter, mipFilter, colorKey, 0, palette, &settings);

    hr = CheckTextureRequirements(device, &width, &height, &mipLevels, usage, &settings.Format, pool);
    if (FAILED(hr)) return hr;
    if (levelZeroFilled) {
        // Made while decoding, with the values just settled again.
        hr = direct.Finish(image, settings, palette);
        if (FAILED(hr)) return hr;
        created = std::move(direct.created_);
        twin = std::move(direct.twin_);
    } else {
        direct.Discard();
        hr = device->CreateTexture(width, height, mipLevels, usage, settings.Format, pool, created.Out());
        if (FAILED(hr)) return hr;
        // A default-pool texture cannot be locked: everything is filled in a system-memory
        // twin and copied over once at the end.
        if (pool == D3DPOOL_DEFAULT) {
            hr = device->CreateTexture(width, height, mipLevels, 0, settings.Format, D3DPOOL_SYSTEMMEM, twin.Out());
            if (FAILED(hr)) return hr;
        }
    }
    IDirect3DTexture8* target = pool == D3DPOOL_DEFAULT ? twin.Get() : created.Get();
    const UINT levelCount = target->GetLevelCount();

    // The levels the file carries, each resampled to its level's size (level 0 unless the
    // decoder wrote it).
    const DecodedImage* last = &image;
    UINT level = levelZeroFilled ? 1 : 0;
    const DecodedImage* first = levelZeroFilled ? image.NextLevel : &image;
    for (const DecodedImage* source = first; source && level < levelCount; source = source->NextLevel, ++level) {
        hr = target->GetSurfaceLevel(level, surface.Out());
        if (FAILED(hr)) return hr;
        hr = LoadImageLevel(surface.Get(), palette, *source, settings, settings.Filter);
        if (FAILED(hr)) return hr;
        surface.Reset();
        last = source;
    }

    if (levelCount > imageCount) {
        if (settings.FilterLowerLevels) {
            hr = FilterTexture(target, settings.WorkingPalette, imageCount - 1, settings.MipFilter);
            if (FAILED(hr)) return hr;
        } else {
            for (; level < levelCount; ++level) {
                hr = target->GetSurfaceLevel(level, surface.Out());
                if (FAILED(hr)) return hr;
                hr = LoadImageLevel(surface.Get(), palette, *last, settings, settings.MipFilter);
                if (FAILED(hr)) return hr;
                surface.Reset();
            }
        }
    }

    if (pool == D3DPOOL_DEFAULT) {
        hr = device->UpdateTexture(twin.Get(), created.Get());
        if (FAILED(hr)) return hr;
    }
    *texture = created.Detach();
    return S_OK;
}

namespace {

HRESULT CreateTextureFromMappedFile(IDirect3DDevice8* device, const void* name, bool wide, UINT width, UINT height,
                                    UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                    DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                    IDirect3DTexture8** texture) {
    MappedFile file;
    HRESULT hr = file.Open(name, wide);
    if (FAILED(hr)) return hr;
    return CreateTextureFromFileInMemoryEx(device, file.View, file.Size, width, height, mipLevels, usage, format,
                                           pool, filter, mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateTextureFromResourceBlock(IDirect3DDevice8* device, HMODULE module, const void* name, bool wide,
                                       UINT width, UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format,
                                       D3DPOOL pool, DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                       ImageInfo* info, PALETTEENTRY* palette, IDirect3DTexture8** texture) {
    ResourceBlock block;
    HRESULT hr = block.Load(module, name, wide);
    if (FAILED(hr)) return hr;
    return CreateTextureFromFileInMemoryEx(device, block.Bytes, block.Size, width, height, mipLevels, usage,
                                           format, pool, filter, mipFilter, colorKey, info, palette, texture);
}

}  // namespace

HRESULT CreateTextureFromFile(IDirect3DDevice8* device, LPCSTR fileName, IDirect3DTexture8** texture) {
    return CreateTextureFromFileEx(device, fileName, USE_DEFAULT, USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN,
                                   D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT CreateTextureFromFileW(IDirect3DDevice8* device, LPCWSTR fileName, IDirect3DTexture8** texture) {
    return CreateTextureFromFileExW(device, fileName, USE_DEFAULT, USE_DEFAULT, USE_DEFAULT, 0, D3DFMT_UNKNOWN,
                                    D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr, nullptr, texture);
}

HRESULT CreateTextureFromFileEx(IDirect3DDevice8* device, LPCSTR fileName, UINT width, UINT height,
                                UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                IDirect3DTexture8** texture) {
    return CreateTextureFromMappedFile(device, fileName, false, width, height, mipLevels, usage, format, pool,
                                       filter, mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateTextureFromFileExW(IDirect3DDevice8* device, LPCWSTR fileName, UINT width, UINT height,
                                 UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool, DWORD filter,
                                 DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info, PALETTEENTRY* palette,
                                 IDirect3DTexture8** texture) {
    return CreateTextureFromMappedFile(device, fileName, true, width, height, mipLevels, usage, format, pool,
                                       filter, mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateTextureFromResource(IDirect3DDevice8* device, HMODULE module, LPCSTR resource,
                                  IDirect3DTexture8** texture) {
    return CreateTextureFromResourceEx(device, module, resource, USE_DEFAULT, USE_DEFAULT, USE_DEFAULT, 0,
                                       D3DFMT_UNKNOWN, D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr,
                                       nullptr, texture);
}

HRESULT CreateTextureFromResourceW(IDirect3DDevice8* device, HMODULE module, LPCWSTR resource,
                                   IDirect3DTexture8** texture) {
    return CreateTextureFromResourceExW(device, module, resource, USE_DEFAULT, USE_DEFAULT, USE_DEFAULT, 0,
                                        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr,
                                        nullptr, texture);
}

HRESULT CreateTextureFromResourceEx(IDirect3DDevice8* device, HMODULE module, LPCSTR resource, UINT width,
                                    UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                    DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info,
                                    PALETTEENTRY* palette, IDirect3DTexture8** texture) {
    return CreateTextureFromResourceBlock(device, module, resource, false, width, height, mipLevels, usage, format,
                                          pool, filter, mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateTextureFromResourceExW(IDirect3DDevice8* device, HMODULE module, LPCWSTR resource, UINT width,
                                     UINT height, UINT mipLevels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mipFilter, D3DCOLOR colorKey, ImageInfo* info,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture) {
    return CreateTextureFromResourceBlock(device, module, resource, true, width, height, mipLevels, usage, format,
                                          pool, filter, mipFilter, colorKey, info, palette, texture);
}

HRESULT CreateTextureFromFileInMemory(IDirect3DDevice8* device, const void* data, UINT size,
                                      IDirect3DTexture8** texture) {
    return CreateTextureFromFileInMemoryEx(device, data, size, USE_DEFAULT, USE_DEFAULT, USE_DEFAULT, 0,
                                           D3DFMT_UNKNOWN, D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, nullptr,
                                           nullptr, texture);
}
