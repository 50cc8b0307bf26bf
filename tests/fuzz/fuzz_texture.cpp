// Fuzz entry over texture creation from a file in memory: the first kHeaderBytes bytes
// describe a device (texture caps, size and aspect limits, the formats it accepts for
// each resource type) and the arguments of the calls (sizes, levels, format, pool,
// filters, colour key); the rest is the file. Texture, cube texture and volume texture
// creation run on it, so size and format choice, loading and filtering all meet hostile
// sizes and formats. A created resource is read back level by level, so that a level whose
// memory is shorter than its size says is caught by the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/convert.h"
#include "platform/d3d8/d3d8.h"
#include "platform/win32/host.h"
#include "platform/d3d8/scoped.h"
#include "texture/texture.h"

namespace {

constexpr std::size_t kHeaderBytes = 21;

// Every format texture creation knows, in the order of its table.
constexpr D3DFORMAT kFormats[] = {
    D3DFMT_R8G8B8,   D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,    D3DFMT_R5G6B5,      D3DFMT_X1R5G5B5, D3DFMT_A8P8,
    D3DFMT_P8,       D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4,    D3DFMT_R3G3B2,      D3DFMT_A8,       D3DFMT_A8R3G3B2,
    D3DFMT_X4R4G4B4, D3DFMT_L8,       D3DFMT_A8L8,        D3DFMT_A4L4,        D3DFMT_V8U8,     D3DFMT_L6V5U5,
    D3DFMT_X8L8V8U8, D3DFMT_Q8W8V8U8, D3DFMT_V16U16,      D3DFMT_W11V11U10,   D3DFMT_UYVY,     D3DFMT_YUY2,
    D3DFMT_DXT1,     D3DFMT_DXT2,     D3DFMT_DXT3,        D3DFMT_DXT4,        D3DFMT_DXT5,
};
constexpr std::size_t kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);

bool IsBlock(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5 ||
           f == D3DFMT_UYVY || f == D3DFMT_YUY2;
}

class Reader {
public:
    Reader(const std::uint8_t* data) : data_(data) {}
    std::uint32_t Byte() { return data_[at_++]; }
    std::uint32_t Word() {
        const std::uint32_t low = Byte();
        return low | (Byte() << 8);
    }
    std::uint32_t Long() {
        const std::uint32_t low = Word();
        return low | (Word() << 16);
    }

private:
    const std::uint8_t* data_;
    std::size_t at_ = 0;
};

std::vector<D3DFORMAT> FormatsOf(std::uint32_t mask, bool blocks) {
    std::vector<D3DFORMAT> formats;
    for (std::size_t i = 0; i < kFormatCount; ++i) {
        if (((mask >> i) & 1u) != 0 && (blocks || !IsBlock(kFormats[i]))) formats.push_back(kFormats[i]);
    }
    return formats;
}

// Sizes from 0 to past the largest limit, with both defaults now and then.
UINT RequestedSize(std::uint32_t byte) {
    if (byte == 0xFF) return USE_DEFAULT;
    if (byte == 0xFE) return 0;
    return byte * 3;
}

// A filter word: any type (the invalid ones too) and any of the flags, or the default.
DWORD FilterWord(std::uint32_t byte) {
    if (byte == 0xFF) return USE_DEFAULT;
    const DWORD flags = ((byte >> 3) & 0xF) << 16;
    return (byte & 7) | flags | ((byte & 0x80) != 0 ? 0x100u : 0u);
}

LRESULT FuzzWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND Window() {
    static HWND window = [] {
        host::SetHeadless(true);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = FuzzWindowProc;
        wc.lpszClassName = "fuzz-texture";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "fuzz-texture", "fuzz", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                               nullptr, nullptr);
    }();
    return window;
}

volatile std::uint32_t g_sink = 0;

void ReadSurface(IDirect3DSurface8* surface) {
    D3DSURFACE_DESC desc = {};
    D3DLOCKED_RECT locked = {};
    if (FAILED(surface->GetDesc(&desc)) || FAILED(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY))) return;
    const UINT rows = IsBlock(desc.Format) && desc.Format != D3DFMT_UYVY && desc.Format != D3DFMT_YUY2
                          ? (desc.Height + 3) / 4
                          : desc.Height;
    const UINT rowBytes = rows == 0 ? 0 : desc.Size / rows;
    std::uint32_t sum = 0;
    for (UINT y = 0; y < rows; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(locked.pBits) + std::size_t{y} * locked.Pitch;
        for (UINT x = 0; x < rowBytes; ++x) sum += row[x];
    }
    g_sink = g_sink + sum;
    surface->UnlockRect();
}

void ReadTexture(IDirect3DTexture8* texture) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        ComRef<IDirect3DSurface8> surface;
        if (SUCCEEDED(texture->GetSurfaceLevel(level, surface.Out()))) ReadSurface(surface.Get());
    }
}

void ReadCube(IDirect3DCubeTexture8* texture) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        for (int face = 0; face < 6; ++face) {
            ComRef<IDirect3DSurface8> surface;
            if (SUCCEEDED(texture->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, surface.Out())))
                ReadSurface(surface.Get());
        }
    }
}

void ReadVolume(IDirect3DVolumeTexture8* texture) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        ComRef<IDirect3DVolume8> volume;
        D3DVOLUME_DESC desc = {};
        D3DLOCKED_BOX locked = {};
        if (FAILED(texture->GetVolumeLevel(level, volume.Out())) || FAILED(volume->GetDesc(&desc)) ||
            FAILED(volume->LockBox(&locked, nullptr, D3DLOCK_READONLY)))
            continue;
        const std::size_t rows = std::size_t{desc.Height} * desc.Depth;
        const std::size_t rowBytes = rows == 0 ? 0 : desc.Size / rows;
        std::uint32_t sum = 0;
        for (UINT z = 0; z < desc.Depth; ++z) {
            for (UINT y = 0; y < desc.Height; ++y) {
                const auto* row = static_cast<const std::uint8_t*>(locked.pBits) +
                                  std::size_t{z} * locked.SlicePitch + std::size_t{y} * locked.RowPitch;
                for (std::size_t x = 0; x < rowBytes; ++x) sum += row[x];
            }
        }
        g_sink = g_sink + sum;
        volume->UnlockBox();
    }
}

// A volume texture made from the file: the image loaded into the whole top level (stretched
// across its depth) and the chain filtered from it.
void CreateVolumeFromFile(IDirect3DDevice8* device, const void* file, UINT size, UINT width, UINT height,
                          UINT depth, UINT levels, D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                          D3DCOLOR colorKey) {
    DecodedImage image;
    if (FAILED(DecodeImage(&image, file, size, nullptr))) return;
    ComRef<IDirect3DVolumeTexture8> texture;
    if (FAILED(CreateVolumeTextureChecked(device, width, height, depth, levels, 0,
                                          format == D3DFMT_UNKNOWN ? image.Format : format, pool, texture.Out())))
        return;
    ComRef<IDirect3DVolume8> top;
    if (FAILED(texture->GetVolumeLevel(0, top.Out()))) return;
    const D3DBOX box = {0, 0, static_cast<UINT>(image.Rect.right), static_cast<UINT>(image.Rect.bottom), 0, 1};
    if (SUCCEEDED(LoadVolumeFromMemory(top.Get(), nullptr, nullptr, image.Pixels, image.Format, image.Pitch, 0,
                                       reinterpret_cast<const PALETTEENTRY*>(image.Palette), &box, filter,
                                       colorKey))) {
        FilterVolumeTexture(texture.Get(), nullptr, 0, mipFilter);
    }
    ReadVolume(texture.Get());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes || size - kHeaderBytes > 0xFFFFFFFFu) return 0;
    Reader in(data);
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    // Texture caps: the power-of-two, square-only and mipmap bits of every resource kind.
    const std::uint32_t caps = in.Byte();
    const DWORD capBits[8] = {D3DPTEXTURECAPS_POW2,         D3DPTEXTURECAPS_SQUAREONLY,
                              D3DPTEXTURECAPS_MIPMAP,       D3DPTEXTURECAPS_CUBEMAP_POW2,
                              D3DPTEXTURECAPS_MIPCUBEMAP,   D3DPTEXTURECAPS_VOLUMEMAP_POW2,
                              D3DPTEXTURECAPS_MIPVOLUMEMAP, D3DPTEXTURECAPS_NONPOW2CONDITIONAL};
    profile.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_CUBEMAP |
                          D3DPTEXTURECAPS_VOLUMEMAP;
    for (int i = 0; i < 8; ++i) {
        if (((caps >> i) & 1u) != 0) profile.TextureCaps |= capBits[i];
    }
    // Limits up to 512 (0 included): enough for every rule, small enough to stay fast.
    profile.MaxTextureWidth = in.Word() % 513;
    profile.MaxTextureHeight = in.Word() % 513;
    profile.MaxVolumeExtent = in.Byte() % 65;
    profile.MaxTextureAspectRatio = in.Byte();
    const std::uint32_t formatMask = in.Long();
    profile.TextureFormats = FormatsOf(formatMask, true);
    profile.CubeTextureFormats = FormatsOf((formatMask >> 7) | (formatMask << 25), true);
    profile.VolumeTextureFormats = FormatsOf(formatMask, false);
    profile.RasterThreads = 1;

    const std::uint32_t formatByte = in.Byte();
    const D3DFORMAT format = formatByte == 0 || formatByte > kFormatCount + 1
                                 ? D3DFMT_UNKNOWN
                                 : (formatByte == kFormatCount + 1 ? static_cast<D3DFORMAT>(0x7777)
                                                                   : kFormats[formatByte - 1]);
    const auto pool = static_cast<D3DPOOL>(in.Byte() % 4);  // 3 is no pool
    const UINT width = RequestedSize(in.Byte());
    const UINT height = RequestedSize(in.Byte());
    const std::uint32_t depthByte = in.Byte();
    const UINT depth = depthByte == 0xFF ? USE_DEFAULT : depthByte % 70;
    const std::uint32_t levelByte = in.Byte();
    const UINT levels = levelByte == 0xFF ? USE_DEFAULT : levelByte % 16;
    const DWORD filter = FilterWord(in.Byte());
    const DWORD mipFilter = FilterWord(in.Byte());
    const std::uint32_t keyByte = in.Byte();
    const D3DCOLOR colorKey = keyByte == 0 ? 0 : (keyByte == 1 ? 0xFF000000u : 0xFF000000u | (keyByte * 0x010101u));
    const std::uint32_t entries = in.Byte();
    const bool withPalette = (entries & 8) != 0;
    const UINT usage = (entries & 16) != 0 ? D3DUSAGE_RENDERTARGET : 0;

    const std::uint8_t* file = data + kHeaderBytes;
    const UINT fileSize = static_cast<UINT>(size - kHeaderBytes);
    if (fileSize == 0) return 0;
    // An exact-size heap copy, so that a read one past the file's end is a sanitizer report.
    std::vector<std::uint8_t> copy(file, file + fileSize);

    ComRef<IDirect3D8> d3d;
    d3d.Attach(Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile));
    if (!d3d || Window() == nullptr) return 0;
    D3DDISPLAYMODE mode = {};
    d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = mode.Format;
    pp.BackBufferWidth = 8;
    pp.BackBufferHeight = 8;
    pp.hDeviceWindow = Window();
    ComRef<IDirect3DDevice8> device;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, Window(), D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, device.Out())))
        return 0;

    PALETTEENTRY palette[256];
    if ((entries & 1) != 0) {
        ComRef<IDirect3DTexture8> texture;
        ImageInfo info = {};
        if (SUCCEEDED(CreateTextureFromFileInMemoryEx(device.Get(), copy.data(), fileSize, width, height, levels,
                                                      usage, format, pool, filter, mipFilter, colorKey, &info,
                                                      withPalette ? palette : nullptr, texture.Out())) &&
            pool != D3DPOOL_DEFAULT) {
            ReadTexture(texture.Get());
        }
    }
    if ((entries & 2) != 0) {
        ComRef<IDirect3DCubeTexture8> cube;
        if (SUCCEEDED(CreateCubeTextureFromFileInMemoryEx(device.Get(), copy.data(), fileSize, width, levels, usage,
                                                          format, pool, filter, mipFilter, colorKey, nullptr,
                                                          withPalette ? palette : nullptr, cube.Out())) &&
            pool != D3DPOOL_DEFAULT) {
            ReadCube(cube.Get());
        }
    }
    if ((entries & 4) != 0 && pool != D3DPOOL_DEFAULT) {
        CreateVolumeFromFile(device.Get(), copy.data(), fileSize, width, height, depth, levels, format, pool, filter,
                             mipFilter, colorKey);
    }
    return 0;
}
