// tolvane-tex: inspects, decodes and converts image files through the image and texture
// libraries on the software device.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/convert.h"
#include "image/image_file.h"
#include "image/result_name.h"
#include "names.h"
#include "platform/d3d8/scoped.h"
#include "platform/win32/host.h"
#include "texture/texture.h"
#include "writers.h"

namespace {

constexpr const char* USAGE = R"(usage:
  tolvane-tex info FILE
      Prints the image's summary as one JSON object:
      {"width":W,"height":H,"depth":1,"mipLevels":N,"format":"D3DFMT_..."}
  tolvane-tex decode FILE OUT.png [--level I] [--face F]
      Writes mip level I (default 0) of cube face F (default 0) of the decoded image as an
      8-bit RGBA PNG, palette applied.
  tolvane-tex convert FILE OUT.png|OUT.dds [options]
      Creates a texture (or with --cube a cube texture) from FILE on the software device,
      prints {"width":W,"height":H,"levels":N,"format":"D3DFMT_..."} on one line and writes
      every level (and face) to OUT.dds, or level --level I (face --face F) to OUT.png.
      Formats without a DDS form here are written to the DDS as D3DFMT_A8R8G8B8 (a note on
      standard error says so).
      --width W --height H     size of level 0 (default: the image's; with --cube, the larger
                               of the two is the cube's edge)
      --levels N               level count (default 0: full chain)
      --format D3DFMT_NAME     texture format (default: derived from the image)
      --pool default|managed|systemmem   (default managed)
      --filter F --mip-filter F          (default: the texture creation defaults)
      --color-key 0xAARRGGBB   colour made transparent (default 0: none)
      --cube                   make a cube texture (the file must hold six faces)
      --level I --face F       the level and face written to a PNG (default 0)
      --caps LIST              the device's texture limits, a comma list of: pow2,
                               squareonly, nomipmap, nocubemipmap, cubepow2, maxsize=N,
                               aspect=N. Without it the device is the default profile
                               (powers of two, at most 4096); with it, the device starts
                               from one without limits (any size up to 4096, no aspect
                               limit, mipmaps) and takes on the listed ones
      --formats LIST           comma list of D3DFMT_ names the device accepts as textures
                               (default: the default device profile)
  A filter F is none, point, linear, triangle or box, optionally followed by +dither,
  +mirror, +mirroru, +mirrorv, +mirrorw; or a number (decimal or 0x hexadecimal).
  Failures print the result code's name and value and the file name on standard error
  and exit with status 1; a wrong command line exits with status 2.
)";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "tolvane-tex: %s\n(tolvane-tex --help describes the commands)\n", message.c_str());
    std::exit(2);
}

int Fail(HRESULT hr, const std::string& file, const char* what) {
    std::fprintf(stderr, "tolvane-tex: %s 0x%08X: %s: %s\n", ResultName(hr), static_cast<unsigned>(hr), file.c_str(),
                 what);
    return 1;
}

bool ParseNumber(const std::string& text, DWORD* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *value = static_cast<DWORD>(v);
    return true;
}

DWORD NumberArg(const std::string& option, const std::string& text) {
    DWORD v = 0;
    if (!ParseNumber(text, &v)) UsageError(option + " needs a number, not '" + text + "'");
    return v;
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

DWORD ParseFilter(const std::string& option, const std::string& text) {
    DWORD number = 0;
    if (ParseNumber(text, &number)) return number;
    const std::vector<std::string> parts = SplitList(text, '+');
    DWORD filter = 0;
    const std::string& type = parts[0];
    if (type == "none") {
        filter = FILTER_NONE;
    } else if (type == "point") {
        filter = FILTER_POINT;
    } else if (type == "linear") {
        filter = FILTER_LINEAR;
    } else if (type == "triangle") {
        filter = FILTER_TRIANGLE;
    } else if (type == "box") {
        filter = FILTER_BOX;
    } else {
        UsageError(option + ": unknown filter '" + type + "'");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "dither") {
            filter |= FILTER_DITHER;
        } else if (parts[i] == "mirror") {
            filter |= FILTER_MIRROR;
        } else if (parts[i] == "mirroru") {
            filter |= FILTER_MIRROR_U;
        } else if (parts[i] == "mirrorv") {
            filter |= FILTER_MIRROR_V;
        } else if (parts[i] == "mirrorw") {
            filter |= FILTER_MIRROR_W;
        } else {
            UsageError(option + ": unknown filter flag '" + parts[i] + "'");
        }
    }
    return filter;
}

void ApplyCaps(const std::string& list, D3DDeviceProfile* profile) {
    profile->TextureCaps &= ~(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_CUBEMAP_POW2 |
                              D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
    profile->TextureCaps |= D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    profile->MaxTextureAspectRatio = 0;
    for (const std::string& cap : SplitList(list, ',')) {
        if (cap == "pow2") {
            profile->TextureCaps |= D3DPTEXTURECAPS_POW2;
        } else if (cap == "squareonly") {
            profile->TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
        } else if (cap == "nomipmap") {
            profile->TextureCaps &= ~D3DPTEXTURECAPS_MIPMAP;
        } else if (cap == "nocubemipmap") {
            profile->TextureCaps &= ~D3DPTEXTURECAPS_MIPCUBEMAP;
        } else if (cap == "cubepow2") {
            profile->TextureCaps |= D3DPTEXTURECAPS_CUBEMAP_POW2;
        } else if (cap.rfind("maxsize=", 0) == 0) {
            const DWORD n = NumberArg("--caps maxsize", cap.substr(8));
            if (n == 0) UsageError("--caps maxsize must be at least 1");
            profile->MaxTextureWidth = profile->MaxTextureHeight = n;
        } else if (cap.rfind("aspect=", 0) == 0) {
            profile->MaxTextureAspectRatio = NumberArg("--caps aspect", cap.substr(7));
        } else {
            UsageError("--caps: unknown capability '" + cap + "'");
        }
    }
}

std::vector<D3DFORMAT> ParseFormatList(const std::string& list) {
    std::vector<D3DFORMAT> formats;
    for (const std::string& name : SplitList(list, ',')) {
        D3DFORMAT f;
        if (!ParseFormatName(name, &f) || f == D3DFMT_UNKNOWN) UsageError("--formats: unknown format '" + name + "'");
        formats.push_back(f);
    }
    return formats;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i]) return false;
    }
    return true;
}

// Converts a region of pixels to 8-bit RGBA, palette applied.
HRESULT ToRgba(void* pixels, D3DFORMAT format, UINT pitch, UINT width, UINT height, const PALETTEENTRY* palette,
               std::vector<std::uint8_t>* rgba) {
    rgba->assign(static_cast<std::size_t>(width) * height * 4, 0);
    SurfaceDesc dst;
    dst.Data = rgba->data();
    dst.Format = D3DFMT_A8R8G8B8;
    dst.RowPitch = width * 4;
    dst.Whole = dst.Region = {0, 0, width, height, 0, 1};
    SurfaceDesc src;
    src.Data = pixels;
    src.Format = format;
    src.RowPitch = pitch;
    src.Whole = src.Region = {0, 0, width, height, 0, 1};
    src.Palette = palette;
    HRESULT hr = ConvertSurface(&dst, &src, FILTER_NONE);
    if (FAILED(hr)) return hr;
    // A8R8G8B8 is stored blue, green, red, alpha.
    for (std::size_t i = 0; i < rgba->size(); i += 4) std::swap((*rgba)[i], (*rgba)[i + 2]);
    return S_OK;
}

// The whole file in memory, kept for as long as a decoded image points into it.
struct LoadedImage {
    MappedFile file;
    DecodedImage image;
    ImageInfo info = {};
};

HRESULT LoadImage(const std::string& path, LoadedImage* out) {
    HRESULT hr = out->file.Open(path.c_str(), false);
    if (FAILED(hr)) return hr;
    return DecodeImage(&out->image, out->file.View, out->file.Size, &out->info);
}

int CommandInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) UsageError("info takes one FILE");
    LoadedImage loaded;
    HRESULT hr = LoadImage(args[0], &loaded);
    if (FAILED(hr)) return Fail(hr, args[0], "cannot decode");
    const ImageInfo& i = loaded.info;
    std::printf("{\"width\":%u,\"height\":%u,\"depth\":%u,\"mipLevels\":%u,\"format\":\"%s\"}\n", i.Width, i.Height,
                i.Depth, i.MipLevels, FormatName(i.Format).c_str());
    return 0;
}

int CommandDecode(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    DWORD level = 0, face = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--level" || args[i] == "--face") {
            if (i + 1 == args.size()) UsageError(args[i] + " needs a value");
            (args[i] == "--level" ? level : face) = NumberArg(args[i], args[i + 1]);
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            UsageError("decode: unknown option " + args[i]);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) UsageError("decode takes FILE and OUT.png");
    LoadedImage loaded;
    HRESULT hr = LoadImage(files[0], &loaded);
    if (FAILED(hr)) return Fail(hr, files[0], "cannot decode");
    const DecodedImage* image = &loaded.image;
    for (DWORD f = 0; f < face && image; ++f) image = image->NextFace;
    for (DWORD l = 0; l < level && image; ++l) image = image->NextLevel;
    if (!image) return Fail(D3DERR_INVALIDCALL, files[0], "the image has no such face or level");
    const UINT width = static_cast<UINT>(image->Rect.right), height = static_cast<UINT>(image->Rect.bottom);
    std::vector<std::uint8_t> rgba;
    hr = ToRgba(image->Pixels, image->Format, image->Pitch, width, height,
                reinterpret_cast<const PALETTEENTRY*>(image->Palette), &rgba);
    if (FAILED(hr)) return Fail(hr, files[0], "cannot convert to RGBA");
    std::string error;
    if (!WritePngRgba(files[1], rgba, width, height, &error)) {
        std::fprintf(stderr, "tolvane-tex: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

LRESULT ToolWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// A headless window and a windowed device on it with the given profile.
struct HeadlessDevice {
    ComRef<IDirect3D8> d3d;
    ComRef<IDirect3DDevice8> device;
    HWND window = nullptr;

    ~HeadlessDevice() {
        device.Reset();
        d3d.Reset();
        if (window) DestroyWindow(window);
        host::Shutdown();
    }

    HRESULT Create(const D3DDeviceProfile& profile) {
        host::SetHeadless(true);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ToolWindowProc;
        wc.lpszClassName = "tolvane-tex";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "tolvane-tex", "tolvane-tex", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, nullptr, nullptr,
                                 nullptr, nullptr);
        if (!window) {
            const DWORD error = GetLastError();
            return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        d3d.Attach(Direct3DCreate8WithProfile(D3D_SDK_VERSION, profile));
        if (!d3d) return E_FAIL;
        D3DDISPLAYMODE mode = {};
        HRESULT hr = d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
        if (FAILED(hr)) return hr;
        D3DPRESENT_PARAMETERS pp = {};
        pp.Windowed = TRUE;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.BackBufferFormat = mode.Format;
        pp.hDeviceWindow = window;
        return d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                 device.Out());
    }
};

struct ConvertOptions {
    std::string input, output;
    UINT width = USE_DEFAULT, height = USE_DEFAULT, levels = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = USE_DEFAULT, mipFilter = USE_DEFAULT;
    D3DCOLOR colorKey = 0;
    bool cube = false;
    DWORD level = 0, face = 0;
    D3DDeviceProfile profile;
};

ConvertOptions ParseConvert(const std::vector<std::string>& args) {
    ConvertOptions o;
    o.profile = D3DDefaultDeviceProfile();
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--cube") {
            o.cube = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) {
            files.push_back(a);
            continue;
        }
        if (i + 1 == args.size()) UsageError(a + " needs a value");
        const std::string& v = args[++i];
        if (a == "--width") {
            o.width = NumberArg(a, v);
        } else if (a == "--height") {
            o.height = NumberArg(a, v);
        } else if (a == "--levels") {
            o.levels = NumberArg(a, v);
        } else if (a == "--format") {
            if (!ParseFormatName(v, &o.format)) UsageError("--format: unknown format '" + v + "'");
        } else if (a == "--pool") {
            if (v == "default") {
                o.pool = D3DPOOL_DEFAULT;
            } else if (v == "managed") {
                o.pool = D3DPOOL_MANAGED;
            } else if (v == "systemmem") {
                o.pool = D3DPOOL_SYSTEMMEM;
            } else {
                UsageError("--pool must be default, managed or systemmem");
            }
        } else if (a == "--filter") {
            o.filter = ParseFilter(a, v);
        } else if (a == "--mip-filter") {
            o.mipFilter = ParseFilter(a, v);
        } else if (a == "--color-key") {
            o.colorKey = NumberArg(a, v);
        } else if (a == "--level") {
            o.level = NumberArg(a, v);
        } else if (a == "--face") {
            o.face = NumberArg(a, v);
            if (o.face > 5) UsageError("--face must be 0 to 5");
        } else if (a == "--caps") {
            ApplyCaps(v, &o.profile);
        } else if (a == "--formats") {
            o.profile.TextureFormats = o.profile.CubeTextureFormats = ParseFormatList(v);
        } else {
            UsageError("convert: unknown option " + a);
        }
    }
    if (files.size() != 2) UsageError("convert takes FILE and OUT.png or OUT.dds");
    o.input = files[0];
    o.output = files[1];
    if (!EndsWith(o.output, ".png") && !EndsWith(o.output, ".dds")) UsageError("the output must end in .png or .dds");
    return o;
}

// Reads one level of the texture: its tightly packed bytes in the texture's format, or
// (toRgba) as 8-bit RGBA.
HRESULT ReadLevel(IDirect3DSurface8* surface, const PALETTEENTRY* palette, bool asA8R8G8B8, bool toRgba,
                  std::vector<std::uint8_t>* bytes) {
    D3DSURFACE_DESC desc = {};
    HRESULT hr = surface->GetDesc(&desc);
    if (FAILED(hr)) return hr;
    SurfaceLock lock(surface);
    hr = lock.Lock(nullptr, D3DLOCK_READONLY);
    if (FAILED(hr)) return hr;
    void* bits = lock.Bits().pBits;
    const UINT pitch = static_cast<UINT>(lock.Bits().Pitch);
    if (toRgba) return ToRgba(bits, desc.Format, pitch, desc.Width, desc.Height, palette, bytes);
    if (asA8R8G8B8) {
        hr = ToRgba(bits, desc.Format, pitch, desc.Width, desc.Height, palette, bytes);
        if (FAILED(hr)) return hr;
        for (std::size_t i = 0; i < bytes->size(); i += 4) std::swap((*bytes)[i], (*bytes)[i + 2]);
        return S_OK;
    }
    UINT rowBytes = 0, rows = 0;
    DdsLevelLayout(desc.Format, desc.Width, desc.Height, &rowBytes, &rows);
    bytes->resize(static_cast<std::size_t>(rowBytes) * rows);
    for (UINT y = 0; y < rows; ++y) {
        std::memcpy(bytes->data() + static_cast<std::size_t>(y) * rowBytes,
                    static_cast<const std::uint8_t*>(bits) + static_cast<std::size_t>(y) * pitch, rowBytes);
    }
    return S_OK;
}

int CommandConvert(const std::vector<std::string>& args) {
    const ConvertOptions o = ParseConvert(args);
    HeadlessDevice hd;
    HRESULT hr = hd.Create(o.profile);
    if (FAILED(hr)) return Fail(hr, o.input, "cannot create the device");

    // A palette is asked for only when a palettised format is wanted, so that the texture
    // keeps it rather than being widened.
    const bool palettised = o.format == D3DFMT_P8 || o.format == D3DFMT_A8P8;
    PALETTEENTRY palette[256] = {};
    ComRef<IDirect3DTexture8> texture;
    ComRef<IDirect3DCubeTexture8> cube;
    if (o.cube) {
        UINT size = o.width != USE_DEFAULT ? o.width : o.height;
        hr = CreateCubeTextureFromFileEx(hd.device.Get(), o.input.c_str(), size, o.levels, 0, o.format, o.pool,
                                         o.filter, o.mipFilter, o.colorKey, nullptr, palettised ? palette : nullptr,
                                         cube.Out());
    } else {
        hr = CreateTextureFromFileEx(hd.device.Get(), o.input.c_str(), o.width, o.height, o.levels, 0, o.format,
                                     o.pool, o.filter, o.mipFilter, o.colorKey, nullptr,
                                     palettised ? palette : nullptr, texture.Out());
    }
    if (FAILED(hr)) return Fail(hr, o.input, "cannot create the texture");

    IDirect3DBaseTexture8* base = o.cube ? static_cast<IDirect3DBaseTexture8*>(cube.Get()) : texture.Get();
    D3DSURFACE_DESC desc = {};
    hr = o.cube ? cube->GetLevelDesc(0, &desc) : texture->GetLevelDesc(0, &desc);
    if (FAILED(hr)) return Fail(hr, o.input, "cannot describe the texture");
    const UINT levels = base->GetLevelCount();
    std::printf("{\"width\":%u,\"height\":%u,\"levels\":%u,\"format\":\"%s\"}\n", desc.Width, desc.Height, levels,
                FormatName(desc.Format).c_str());
    std::fflush(stdout);

    const UINT faces = o.cube ? 6 : 1;
    auto surfaceOf = [&](UINT face, UINT level, IDirect3DSurface8** out) {
        return o.cube ? cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, out)
                      : texture->GetSurfaceLevel(level, out);
    };
    const PALETTEENTRY* pal = palettised ? palette : nullptr;
    std::string error;
    if (EndsWith(o.output, ".png")) {
        if (o.level >= levels) return Fail(D3DERR_INVALIDCALL, o.input, "the texture has no such level");
        ComRef<IDirect3DSurface8> surface;
        hr = surfaceOf(o.face, o.level, surface.Out());
        if (FAILED(hr)) return Fail(hr, o.input, "cannot get the level");
        std::vector<std::uint8_t> rgba;
        hr = ReadLevel(surface.Get(), pal, false, true, &rgba);
        if (FAILED(hr)) return Fail(hr, o.input, "cannot read the level");
        D3DSURFACE_DESC ld = {};
        surface->GetDesc(&ld);
        if (!WritePngRgba(o.output, rgba, ld.Width, ld.Height, &error)) {
            std::fprintf(stderr, "tolvane-tex: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    const bool widen = !HasDdsForm(desc.Format);
    if (widen) {
        std::fprintf(stderr, "tolvane-tex: note: %s has no DDS form here; %s holds D3DFMT_A8R8G8B8 levels\n",
                     FormatName(desc.Format).c_str(), o.output.c_str());
    }
    std::vector<std::vector<std::uint8_t>> data;
    for (UINT face = 0; face < faces; ++face) {
        for (UINT level = 0; level < levels; ++level) {
            ComRef<IDirect3DSurface8> surface;
            hr = surfaceOf(face, level, surface.Out());
            if (FAILED(hr)) return Fail(hr, o.input, "cannot get a level");
            data.emplace_back();
            hr = ReadLevel(surface.Get(), pal, widen, false, &data.back());
            if (FAILED(hr)) return Fail(hr, o.input, "cannot read a level");
        }
    }
    if (!WriteDds(o.output, widen ? D3DFMT_A8R8G8B8 : desc.Format, desc.Width, desc.Height, levels, faces, data,
                  &error)) {
        std::fprintf(stderr, "tolvane-tex: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
    }
    if (args.empty()) UsageError("a command is needed: info, decode or convert");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "info") return CommandInfo(args);
    if (command == "decode") return CommandDecode(args);
    if (command == "convert") return CommandConvert(args);
    UsageError("unknown command '" + command + "'");
}
