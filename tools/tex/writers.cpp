#include "writers.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "image/format_facts.h"

namespace {

struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

void PutLe32(std::uint8_t* at, std::uint32_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
    at[2] = static_cast<std::uint8_t>(v >> 16);
    at[3] = static_cast<std::uint8_t>(v >> 24);
}

void PngError(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
void PngWarning(png_structp, png_const_charp) {}

// DDS description: flags and caps bits.
constexpr std::uint32_t DDSD_CAPS = 0x1, DDSD_HEIGHT = 0x2, DDSD_WIDTH = 0x4, DDSD_PITCH = 0x8,
                        DDSD_PIXELFORMAT = 0x1000, DDSD_MIPMAPCOUNT = 0x20000, DDSD_LINEARSIZE = 0x80000;
// Pixel format flags: an alpha mask is present; alpha only; FOURCC code; RGB masks;
// luminance (red mask); signed U and V with an unsigned luminance; signed U, V (W, Q).
constexpr std::uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_ALPHA = 0x2, DDPF_FOURCC = 0x4, DDPF_RGB = 0x40,
                        DDPF_LUMINANCE = 0x20000, DDPF_BUMPLUMINANCE = 0x40000, DDPF_BUMPDUDV = 0x80000;
constexpr std::uint32_t DDSCAPS_COMPLEX = 0x8, DDSCAPS_TEXTURE = 0x1000, DDSCAPS_MIPMAP = 0x400000;
constexpr std::uint32_t DDSCAPS2_CUBEMAP_ALL_FACES = 0xFE00;

// The masks name the fields as the device stores them: red, green, blue, alpha for colour
// formats; luminance in the red mask; U, V, W (or L), Q in red, green, blue, alpha for the
// signed formats.
struct DdsPixelFormat {
    std::uint32_t Flags, FourCC, Bits, RMask, GMask, BMask, AMask;
};

bool DdsPixelFormatOf(D3DFORMAT format, DdsPixelFormat* pf) {
    constexpr std::uint32_t RGBA = DDPF_RGB | DDPF_ALPHAPIXELS, LA = DDPF_LUMINANCE | DDPF_ALPHAPIXELS;
    switch (format) {
        case D3DFMT_R8G8B8: *pf = {DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0}; return true;
        case D3DFMT_A8R8G8B8: *pf = {RGBA, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u}; return true;
        case D3DFMT_X8R8G8B8: *pf = {DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}; return true;
        case D3DFMT_R5G6B5: *pf = {DDPF_RGB, 0, 16, 0xF800, 0x7E0, 0x1F, 0}; return true;
        case D3DFMT_X1R5G5B5: *pf = {DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0}; return true;
        case D3DFMT_A1R5G5B5: *pf = {RGBA, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000}; return true;
        case D3DFMT_A4R4G4B4: *pf = {RGBA, 0, 16, 0xF00, 0xF0, 0xF, 0xF000}; return true;
        case D3DFMT_X4R4G4B4: *pf = {DDPF_RGB, 0, 16, 0xF00, 0xF0, 0xF, 0}; return true;
        case D3DFMT_R3G3B2: *pf = {DDPF_RGB, 0, 8, 0xE0, 0x1C, 0x3, 0}; return true;
        case D3DFMT_A8R3G3B2: *pf = {RGBA, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00}; return true;
        case D3DFMT_A8: *pf = {DDPF_ALPHA, 0, 8, 0, 0, 0, 0xFF}; return true;
        case D3DFMT_L8: *pf = {DDPF_LUMINANCE, 0, 8, 0xFF, 0, 0, 0}; return true;
        case D3DFMT_A8L8: *pf = {LA, 0, 16, 0xFF, 0, 0, 0xFF00}; return true;
        case D3DFMT_A4L4: *pf = {LA, 0, 8, 0xF, 0, 0, 0xF0}; return true;
        case D3DFMT_V8U8: *pf = {DDPF_BUMPDUDV, 0, 16, 0xFF, 0xFF00, 0, 0}; return true;
        case D3DFMT_L6V5U5: *pf = {DDPF_BUMPLUMINANCE, 0, 16, 0x1F, 0x3E0, 0xFC00, 0}; return true;
        case D3DFMT_X8L8V8U8: *pf = {DDPF_BUMPLUMINANCE, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0}; return true;
        case D3DFMT_Q8W8V8U8: *pf = {DDPF_BUMPDUDV, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000u}; return true;
        case D3DFMT_V16U16: *pf = {DDPF_BUMPDUDV, 0, 32, 0xFFFF, 0xFFFF0000u, 0, 0}; return true;
        case D3DFMT_W11V11U10: *pf = {DDPF_BUMPDUDV, 0, 32, 0x3FF, 0x1FFC00, 0xFFE00000u, 0}; return true;
        case D3DFMT_UYVY:
        case D3DFMT_YUY2:
        case D3DFMT_DXT1:
        case D3DFMT_DXT2:
        case D3DFMT_DXT3:
        case D3DFMT_DXT4:
        case D3DFMT_DXT5:
            *pf = {DDPF_FOURCC, static_cast<std::uint32_t>(format), 0, 0, 0, 0, 0};
            return true;
        default:
            return false;
    }
}

}  // namespace

bool WritePngRgba(const std::string& path, const std::vector<std::uint8_t>& rgba, UINT width, UINT height,
                  std::string* error) {
    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (!out.file) {
        *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        *error = "out of memory writing " + path;
        return false;
    }
    std::vector<png_bytep> rows(height);
    for (UINT y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(rgba.data() + static_cast<size_t>(y) * width * 4);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = "libpng failed writing " + path;
        return false;
    }
    png_init_io(png, out.file);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(out.file) != 0) {
        *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool HasDdsForm(D3DFORMAT format) {
    DdsPixelFormat pf;
    return DdsPixelFormatOf(format, &pf);
}

void DdsLevelLayout(D3DFORMAT format, UINT width, UINT height, UINT* rowBytes, UINT* rows) {
    const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(format);
    if (facts == nullptr) facts = tolvane::pixels::FindFormatFacts(D3DFMT_A8R8G8B8);
    *rowBytes = static_cast<UINT>(tolvane::pixels::StorageRowBytes(*facts, width));
    *rows = static_cast<UINT>(tolvane::pixels::StorageRows(*facts, height));
}

bool WriteDds(const std::string& path, D3DFORMAT format, UINT width, UINT height, UINT levelCount, UINT faces,
              const std::vector<std::vector<std::uint8_t>>& levels, std::string* error) {
    DdsPixelFormat pf;
    if (!DdsPixelFormatOf(format, &pf)) {
        *error = "no DDS form for this format";
        return false;
    }
    const bool compressed = (pf.Flags & DDPF_FOURCC) != 0;
    UINT rowBytes = 0, rows = 0;
    DdsLevelLayout(format, width, height, &rowBytes, &rows);

    std::uint8_t header[128] = {};
    std::memcpy(header, "DDS ", 4);
    PutLe32(header + 4, 124);
    PutLe32(header + 8, DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT |
                            (compressed ? DDSD_LINEARSIZE : DDSD_PITCH));
    PutLe32(header + 12, height);
    PutLe32(header + 16, width);
    PutLe32(header + 20, compressed ? rowBytes * rows : rowBytes);
    PutLe32(header + 28, levelCount);
    PutLe32(header + 76, 32);
    PutLe32(header + 80, pf.Flags);
    PutLe32(header + 84, pf.FourCC);
    PutLe32(header + 88, pf.Bits);
    PutLe32(header + 92, pf.RMask);
    PutLe32(header + 96, pf.GMask);
    PutLe32(header + 100, pf.BMask);
    PutLe32(header + 104, pf.AMask);
    PutLe32(header + 108, DDSCAPS_TEXTURE | (levelCount > 1 || faces > 1 ? DDSCAPS_COMPLEX : 0) |
                              (levelCount > 1 ? DDSCAPS_MIPMAP : 0));
    PutLe32(header + 112, faces == 6 ? DDSCAPS2_CUBEMAP_ALL_FACES : 0);

    FileCloser out{std::fopen(path.c_str(), "wb")};
    if (!out.file) {
        *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(header, 1, sizeof header, out.file) == sizeof header;
    for (const auto& level : levels) {
        ok = ok && std::fwrite(level.data(), 1, level.size(), out.file) == level.size();
    }
    ok = ok && std::fflush(out.file) == 0;
    if (!ok) *error = std::string("cannot write ") + path + ": " + std::strerror(errno);
    return ok;
}
