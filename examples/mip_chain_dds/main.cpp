// mip_chain_dds: loads an image file into a texture with a full mip chain in a chosen
// format, on the software device, and writes every level as a DDS file.
//
//   mip_chain_dds INPUT OUTPUT.dds [FORMAT]
//
// FORMAT is one of A8R8G8B8 (the default), X8R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4,
// DXT1, DXT3, DXT5.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <tolvane/image/result_name.h>
#include <tolvane/platform/d3d8/d3d8.h>
#include <tolvane/platform/d3d8/scoped.h>
#include <tolvane/platform/win32/host.h>
#include <tolvane/texture/texture.h>

namespace {

struct FormatRow {
    const char* name;
    D3DFORMAT format;
    std::uint32_t fourCC;  // 0: an uncompressed format with the masks below
    std::uint32_t bits, red, green, blue, alpha;
};

constexpr FormatRow kFormats[] = {
    {"A8R8G8B8", D3DFMT_A8R8G8B8, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {"X8R8G8B8", D3DFMT_X8R8G8B8, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {"R5G6B5", D3DFMT_R5G6B5, 0, 16, 0xF800, 0x7E0, 0x1F, 0},
    {"X1R5G5B5", D3DFMT_X1R5G5B5, 0, 16, 0x7C00, 0x3E0, 0x1F, 0},
    {"A1R5G5B5", D3DFMT_A1R5G5B5, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {"A4R4G4B4", D3DFMT_A4R4G4B4, 0, 16, 0xF00, 0xF0, 0xF, 0xF000},
    {"DXT1", D3DFMT_DXT1, MAKEFOURCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0},
    {"DXT3", D3DFMT_DXT3, MAKEFOURCC('D', 'X', 'T', '3'), 0, 0, 0, 0, 0},
    {"DXT5", D3DFMT_DXT5, MAKEFOURCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0},
};

void Put32(std::uint8_t* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

int Fail(const char* what, HRESULT hr) {
    std::fprintf(stderr, "mip_chain_dds: %s: %s (%s)\n", what, ResultName(hr), ResultDescription(hr));
    return 1;
}

LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: mip_chain_dds INPUT OUTPUT.dds [FORMAT]\n");
        return 2;
    }
    const FormatRow* row = &kFormats[0];
    if (argc == 4) {
        row = nullptr;
        for (const FormatRow& r : kFormats)
            if (std::strcmp(argv[3], r.name) == 0) row = &r;
        if (!row) {
            std::fprintf(stderr, "mip_chain_dds: unknown format \"%s\"\n", argv[3]);
            return 2;
        }
    }

    // The software device draws into a window; a headless one needs no display. These few
    // lines are written out here on purpose: an example uses the installed package alone,
    // which has no helper for them (the tools share theirs, tools/common/device.h, and a
    // program of one's own makes its window as it likes).
    host::SetHeadless(true);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.lpszClassName = "mip_chain_dds";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, "mip_chain_dds", "mip_chain_dds", WS_POPUP, 0, 0, 64, 64, nullptr,
                                  nullptr, nullptr, nullptr);
    ComRef<IDirect3D8> d3d(Direct3DCreate8(D3D_SDK_VERSION));
    if (!window || !d3d) return Fail("no device", E_FAIL);
    D3DPRESENT_PARAMETERS pp = {};
    pp.Windowed = TRUE;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.hDeviceWindow = window;
    ComRef<IDirect3DDevice8> device;
    HRESULT hr = d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                   &pp, device.Out());
    if (FAILED(hr)) return Fail("CreateDevice", hr);

    // Level count 0: the whole chain down to 1x1, each level box-filtered from the one above.
    ComRef<IDirect3DTexture8> texture;
    ImageInfo info = {};
    hr = CreateTextureFromFileEx(device.Get(), argv[1], USE_DEFAULT, USE_DEFAULT, 0, 0, row->format,
                                 D3DPOOL_MANAGED, USE_DEFAULT, USE_DEFAULT, 0, &info, nullptr, texture.Out());
    if (FAILED(hr)) return Fail(argv[1], hr);
    D3DSURFACE_DESC top = {};
    texture->GetLevelDesc(0, &top);
    if (top.Format != row->format) return Fail("the device chose another format", D3DERR_WRONGTEXTUREFORMAT);
    const UINT levels = texture->GetLevelCount();
    const bool compressed = row->fourCC != 0;

    std::uint8_t header[128] = {};
    std::memcpy(header, "DDS ", 4);
    Put32(header + 4, 124);
    Put32(header + 8, 0x1 | 0x2 | 0x4 | 0x1000 | 0x20000 | (compressed ? 0x80000 : 0x8));
    Put32(header + 12, top.Height);
    Put32(header + 16, top.Width);
    const UINT blockBytes = row->format == D3DFMT_DXT1 ? 8 : 16;
    Put32(header + 20, compressed ? ((top.Width + 3) / 4) * ((top.Height + 3) / 4) * blockBytes
                                  : top.Width * (row->bits / 8));
    Put32(header + 28, levels);
    Put32(header + 76, 32);
    Put32(header + 80, compressed ? 0x4 : (0x40 | (row->alpha ? 0x1 : 0)));
    Put32(header + 84, row->fourCC);
    Put32(header + 88, row->bits);
    Put32(header + 92, row->red);
    Put32(header + 96, row->green);
    Put32(header + 100, row->blue);
    Put32(header + 104, row->alpha);
    Put32(header + 108, 0x1000 | (levels > 1 ? 0x8 | 0x400000 : 0));

    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::fprintf(stderr, "mip_chain_dds: cannot write %s\n", argv[2]);
        return 1;
    }
    std::fwrite(header, 1, sizeof header, out);
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc = {};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT bits = {};
        hr = texture->LockRect(level, &bits, nullptr, D3DLOCK_READONLY);
        if (FAILED(hr)) {
            std::fclose(out);
            return Fail("LockRect", hr);
        }
        // Rows of pixels, or rows of 4x4 blocks, packed without the surface's pitch.
        const UINT rows = compressed ? (desc.Height + 3) / 4 : desc.Height;
        const UINT rowBytes = compressed ? ((desc.Width + 3) / 4) * blockBytes : desc.Width * (row->bits / 8);
        for (UINT y = 0; y < rows; ++y)
            std::fwrite(static_cast<const std::uint8_t*>(bits.pBits) + y * bits.Pitch, 1, rowBytes, out);
        texture->UnlockRect(level);
        std::printf("level %u: %ux%u\n", level, desc.Width, desc.Height);
    }
    const bool written = std::fclose(out) == 0;
    std::printf("%s: %ux%u source, %u levels of %s written to %s\n", argv[1], info.Width, info.Height, levels,
                row->name, argv[2]);
    texture.Reset();
    device.Reset();
    d3d.Reset();
    DestroyWindow(window);
    host::Shutdown();
    return written ? 0 : 1;
}
