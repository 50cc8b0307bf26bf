// PNG through libpng 1.6: a reader over the caller's block, an error hook that jumps
// back here without output, and the library's transforms chosen so that rows come out
// in the layout of one Direct3D 8 format.
//
// Limits: libpng refuses images wider or taller than the decoder limit
// (png_set_user_limits) and ancillary chunks over 8 MiB (png_set_chunk_malloc_max); the
// header's size is checked again before the pixel buffer is allocated.
//
// Palette gamma: libpng corrects its own copy of the palette in place when gamma is set,
// and that copy is the one png_get_PLTE returns afterwards. The palette is therefore
// taken as stored in the file, before the transforms start, and corrected once through
// the table built here; every PLTE entry goes through the table, transparent or not.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include <png.h>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

constexpr double kScreenGamma = 2.2;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;

struct Reader {
    const png_byte* data;
    std::size_t remaining;
};

void ReadData(png_structp png, png_bytep out, std::size_t length) {
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (length > reader->remaining) {
        png_error(png, "read error");
    }
    std::memcpy(out, reader->data, length);
    reader->data += length;
    reader->remaining -= length;
}

void ErrorHook(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void WarningHook(png_structp, png_const_charp) {}

// Everything that must survive a jump back into Decode lives here, in memory.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
};

void Release(PngState* state) {
    std::free(state->rows);
    state->rows = nullptr;
    png_destroy_read_struct(&state->png, &state->info, nullptr);
}

UINT ChannelsOf(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 4;
    case D3DFMT_A8L8: return 2;
    default: return 1;  // D3DFMT_P8, D3DFMT_L8
    }
}

HRESULT Decode(DecodedImage* image, PngState* state, Reader* reader) {
    png_structp png = state->png;
    png_infop info = state->info;
    if (setjmp(png_jmpbuf(png))) {
        Release(state);
        image->Free();
        return E_FAIL;
    }
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_read_fn(png, reader, ReadData);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colorType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, nullptr, nullptr, nullptr);
    HRESULT sizeCheck = CheckImageSize(width, height);
    if (FAILED(sizeCheck)) {
        Release(state);
        return sizeCheck;
    }
    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY: format = D3DFMT_L8; break;
    case PNG_COLOR_TYPE_RGB: format = D3DFMT_R8G8B8; break;
    case PNG_COLOR_TYPE_PALETTE: format = D3DFMT_P8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: format = D3DFMT_A8L8; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: format = D3DFMT_A8R8G8B8; break;
    default:
        Release(state);
        return E_FAIL;
    }

    // The palette and its transparency as stored, before libpng's transforms touch them.
    png_color colors[256] = {};
    png_byte alphas[256] = {};
    int colorCount = 0;
    int alphaCount = 0;
    const bool hasTransparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (format == D3DFMT_P8) {
        png_colorp palette = nullptr;
        if (png_get_PLTE(png, info, &palette, &colorCount) != 0 && palette != nullptr) {
            colorCount = std::clamp(colorCount, 0, 256);
            std::memcpy(colors, palette, sizeof(png_color) * static_cast<std::size_t>(colorCount));
        } else {
            colorCount = 0;
        }
        png_bytep trans = nullptr;
        if (hasTransparency && png_get_tRNS(png, info, &trans, &alphaCount, nullptr) != 0 && trans != nullptr) {
            alphaCount = std::clamp(alphaCount, 0, colorCount);
            std::memcpy(alphas, trans, static_cast<std::size_t>(alphaCount));
        } else {
            alphaCount = 0;
        }
    }

    // The transforms, in this order.
    if (depth == 16) {
        png_set_strip_16(png);
    }
    if (depth < 8) {
        png_set_packing(png);
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) {
        png_set_expand(png);
    }
    double fileGamma = 0.0;
    int intent = 0;
    if (png_get_sRGB(png, info, &intent) != 0) {
        png_set_sRGB(png, info, intent);
    } else if (png_get_gAMA(png, info, &fileGamma) != 0) {
        png_set_gamma(png, kScreenGamma, fileGamma);
    } else {
        fileGamma = 0.0;
    }
    if (format != D3DFMT_P8 && hasTransparency) {
        png_set_expand(png);
        if (format == D3DFMT_R8G8B8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_L8) {
            format = D3DFMT_A8L8;
        }
    }
    if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        png_set_bgr(png);
    }
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const UINT channels = png_get_channels(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (channels != ChannelsOf(format) || png_get_bit_depth(png, info) != 8 ||
        rowBytes != std::size_t{width} * channels) {
        Release(state);
        return E_FAIL;
    }
    image->Pixels = AllocatePixels(std::uint64_t{rowBytes} * height);
    state->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (image->Pixels == nullptr || state->rows == nullptr) {
        Release(state);
        image->Free();
        return E_OUTOFMEMORY;
    }
    image->OwnsPixels = TRUE;
    image->Format = format;
    image->Pitch = static_cast<DWORD>(rowBytes);
    SetSize(image, width, height);
    for (png_uint_32 y = 0; y < height; ++y) {
        state->rows[y] = image->Pixels + rowBytes * y;
    }
    png_read_image(png, state->rows);

    if (format == D3DFMT_P8) {
        std::uint8_t* palette = AllocateWhitePalette(image);
        if (palette == nullptr) {
            Release(state);
            image->Free();
            return E_OUTOFMEMORY;
        }
        std::uint8_t table[256];
        const double exponent = fileGamma > 1e-6 ? 1.0 / (fileGamma * kScreenGamma) : 1.0;
        for (int i = 0; i < 256; ++i) {
            table[i] = fileGamma > 1e-6
                           ? static_cast<std::uint8_t>(std::floor(255.0 * std::pow(i / 255.0, exponent) + 0.5))
                           : static_cast<std::uint8_t>(i);
        }
        for (int i = 0; i < colorCount; ++i) {
            palette[4 * i + 0] = table[colors[i].red];
            palette[4 * i + 1] = table[colors[i].green];
            palette[4 * i + 2] = table[colors[i].blue];
            palette[4 * i + 3] = i < alphaCount ? alphas[i] : 0xFF;
        }
    }
    Release(state);
    return S_OK;
}

}  // namespace

HRESULT DecodePng(DecodedImage* image, const void* data, UINT size) {
    const auto* bytes = static_cast<const png_byte*>(data);
    if (size == 0 || png_sig_cmp(bytes, 0, std::min<std::size_t>(size, 8)) != 0) {
        return E_FAIL;
    }
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorHook, WarningHook);
    if (state.png == nullptr) {
        return E_OUTOFMEMORY;
    }
    state.info = png_create_info_struct(state.png);
    if (state.info == nullptr) {
        png_destroy_read_struct(&state.png, nullptr, nullptr);
        return E_OUTOFMEMORY;
    }
    Reader reader{bytes, size};
    return Decode(image, &state, &reader);
}
