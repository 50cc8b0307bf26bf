#include "texture_test_util.h"

#include <png.h>

#include "image/pixel_codec.h"
#include "tests/support/image_files.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace texture_test {

namespace {

LRESULT TestWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void PutLe16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    PutLe16(b, at, v & 0xFFFF);
    PutLe16(b, at + 2, v >> 16);
}

}  // namespace

void DeviceTest::TearDown() {
    device_.Reset();
    d3d_.Reset();
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
}

IDirect3DDevice8* DeviceTest::MakeDevice(const D3DDeviceProfile& profile) {
    device_.Reset();
    d3d_.Reset();
    host::SetHeadless(true);
    if (!window_) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = TestWindowProc;
        wc.lpszClassName = "texture-tests";
        RegisterClassA(&wc);
        window_ = CreateWindowExA(0, "texture-tests", "texture tests", WS_POPUP, 0, 0, 64, 64, nullptr,
                                  nullptr, nullptr, nullptr);
    }
    EXPECT_NE(window_, nullptr);
    d3d_.Attach(Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile));
    EXPECT_TRUE(d3d_);
    if (!d3d_ || !window_) return nullptr;
    D3DDISPLAYMODE mode = {};
    d3d_->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = mode.Format;
    pp.hDeviceWindow = window_;
    EXPECT_EQ(d3d_->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &pp, device_.Out()),
              S_OK);
    return device_.Get();
}

D3DDeviceProfile ProfileWith(DWORD setCaps, DWORD clearCaps, std::vector<D3DFORMAT> formats) {
    D3DDeviceProfile p = D3DDefaultDeviceProfile();
    p.TextureCaps = (p.TextureCaps | setCaps) & ~clearCaps;
    if (!formats.empty()) p.TextureFormats = p.CubeTextureFormats = formats;
    return p;
}

namespace {

// The picture as packed RGB rows.
Bytes RgbRows(UINT width, UINT height, const PixelFn& pixel) {
    Bytes rgb(static_cast<std::size_t>(width) * height * 3);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            const std::uint32_t c = pixel(x, y);
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(c >> 16);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c);
        }
    }
    return rgb;
}

}  // namespace

Bytes MakeJpeg(UINT width, UINT height, const PixelFn& pixel, int quality) {
    const Bytes rgb = RgbRows(width, height, pixel);
    return support::EncodeJpeg(static_cast<int>(width), static_cast<int>(height), 3, rgb.data(), quality);
}

Bytes MakePalettePng(UINT width, UINT height, const std::vector<std::uint32_t>& palette,
                     const std::function<BYTE(UINT, UINT)>& index) {
    Bytes rows(static_cast<std::size_t>(width) * height);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) rows[static_cast<std::size_t>(y) * width + x] = index(x, y);
    }
    return support::EncodePng(static_cast<int>(width), static_cast<int>(height), PNG_COLOR_TYPE_PALETTE, rows, palette);
}

Bytes MakeRgbPng(UINT width, UINT height, const PixelFn& pixel) {
    return support::EncodePng(static_cast<int>(width), static_cast<int>(height), PNG_COLOR_TYPE_RGB,
                              RgbRows(width, height, pixel));
}

Bytes MakeBmp24(UINT width, UINT height, const PixelFn& pixel) {
    const UINT pitch = (width * 3 + 3) & ~3u;
    Bytes b(54 + static_cast<std::size_t>(pitch) * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(b, 2, static_cast<std::uint32_t>(b.size()));
    PutLe32(b, 10, 54);
    PutLe32(b, 14, 40);
    PutLe32(b, 18, width);
    PutLe32(b, 22, height);
    PutLe16(b, 26, 1);
    PutLe16(b, 28, 24);
    PutLe32(b, 34, pitch * height);
    for (UINT y = 0; y < height; ++y) {
        std::uint8_t* row = b.data() + 54 + static_cast<std::size_t>(height - 1 - y) * pitch;
        for (UINT x = 0; x < width; ++x) {
            const std::uint32_t c = pixel(x, y);
            row[x * 3] = static_cast<std::uint8_t>(c);
            row[x * 3 + 1] = static_cast<std::uint8_t>(c >> 8);
            row[x * 3 + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return b;
}

Bytes MakeDdsArgb(UINT width, UINT height, UINT levels, UINT faces,
                  const std::function<PixelFn(UINT face, UINT level)>& pixel) {
    Bytes b(128, 0);
    std::memcpy(b.data(), "DDS ", 4);
    PutLe32(b, 4, 124);
    PutLe32(b, 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000);
    PutLe32(b, 12, height);
    PutLe32(b, 16, width);
    PutLe32(b, 20, width * 4);
    PutLe32(b, 28, levels);
    PutLe32(b, 76, 32);
    PutLe32(b, 80, 0x41);
    PutLe32(b, 88, 32);
    PutLe32(b, 92, 0xFF0000);
    PutLe32(b, 96, 0xFF00);
    PutLe32(b, 100, 0xFF);
    PutLe32(b, 104, 0xFF000000u);
    PutLe32(b, 108, 0x1000 | 0x8 | 0x400000);
    PutLe32(b, 112, faces == 6 ? 0xFE00 : 0);
    for (UINT face = 0; face < faces; ++face) {
        UINT w = width, h = height;
        for (UINT level = 0; level < levels; ++level) {
            const PixelFn fill = pixel(face, level);
            for (UINT y = 0; y < h; ++y) {
                for (UINT x = 0; x < w; ++x) {
                    const std::size_t at = b.size();
                    b.resize(at + 4);
                    PutLe32(b, at, fill(x, y));
                }
            }
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
    }
    return b;
}

std::string WriteTempFile(const std::string& name, const Bytes& bytes) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "tolvane-texture-tests";
    if (info) dir /= std::string(info->test_suite_name()) + "." + info->name();
    std::filesystem::create_directories(dir);
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::vector<std::uint32_t> ReadPixels32(IDirect3DSurface8* surface) {
    D3DSURFACE_DESC desc = {};
    EXPECT_EQ(surface->GetDesc(&desc), S_OK);
    std::vector<std::uint32_t> pixels;
    SurfaceLock lock(surface);
    if (FAILED(lock.Lock(nullptr, D3DLOCK_READONLY))) {
        ADD_FAILURE() << "lock failed";
        return pixels;
    }
    pixels.resize(static_cast<std::size_t>(desc.Width) * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * desc.Width,
                    static_cast<const std::uint8_t*>(lock.Bits().pBits) + static_cast<std::size_t>(y) * lock.Bits().Pitch,
                    desc.Width * 4);
    }
    return pixels;
}

std::vector<std::uint32_t> ReadLevel32(IDirect3DTexture8* texture, UINT level) {
    ComRef<IDirect3DSurface8> surface;
    EXPECT_EQ(texture->GetSurfaceLevel(level, surface.Out()), S_OK);
    return surface ? ReadPixels32(surface.Get()) : std::vector<std::uint32_t>{};
}

void FillLevel32(IDirect3DTexture8* texture, UINT level, const PixelFn& pixel) {
    D3DSURFACE_DESC desc = {};
    ASSERT_EQ(texture->GetLevelDesc(level, &desc), S_OK);
    D3DLOCKED_RECT locked = {};
    ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), S_OK);
    for (UINT y = 0; y < desc.Height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < desc.Width; ++x) row[x] = pixel(x, y);
    }
    texture->UnlockRect(level);
}

void DecodeDxt1Block(const BYTE* block, std::uint32_t texels[16]) {
    const std::uint32_t c0 = block[0] | (block[1] << 8), c1 = block[2] | (block[3] << 8);
    auto expand = [](std::uint32_t c, int channel) {
        const std::uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
        return channel == 0 ? (r << 3 | r >> 2) : channel == 1 ? (g << 2 | g >> 4) : (b << 3 | b >> 2);
    };
    std::uint32_t palette[4];
    for (int channel = 0; channel < 3; ++channel) {
        const std::uint32_t a = expand(c0, channel), b = expand(c1, channel);
        const std::uint32_t mix2 = c0 > c1 ? (2 * a + b) / 3 : (a + b) / 2;
        const std::uint32_t mix3 = c0 > c1 ? (a + 2 * b) / 3 : 0;
        const int shift = 16 - 8 * channel;
        if (channel == 0) palette[0] = palette[1] = palette[2] = palette[3] = 0;
        palette[0] |= a << shift;
        palette[1] |= b << shift;
        palette[2] |= mix2 << shift;
        palette[3] |= mix3 << shift;
    }
    palette[0] |= 0xFF000000u;
    palette[1] |= 0xFF000000u;
    palette[2] |= 0xFF000000u;
    if (c0 > c1) palette[3] |= 0xFF000000u;
    const std::uint32_t indices = block[4] | (block[5] << 8) | (block[6] << 16) | (static_cast<std::uint32_t>(block[7]) << 24);
    for (int i = 0; i < 16; ++i) texels[i] = palette[(indices >> (2 * i)) & 3];
}

bool HaveDxtCodec() {
    SurfaceDesc probe;
    probe.Format = D3DFMT_DXT1;
    PixelCodec* codec = CreatePixelCodec(probe);
    if (codec) codec->Destroy(true);
    return codec != nullptr;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
    int d = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        d = std::max(d, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return d;
}

int ColorDistance(std::uint32_t a, std::uint32_t b) { return ChannelDistance(a | 0xFF000000u, b | 0xFF000000u); }

}  // namespace texture_test
