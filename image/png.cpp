// PNG through libpng 1.6: a reader over the caller's block, an error hook that jumps
// back here without output, and the library's transforms chosen so that rows come out
// in the layout of one Direct3D 8 format.
//
// Limits: libpng refuses images wider or taller than the decoder limit
// (png_set_user_limits); the header's size is checked again before the pixel buffer is
// allocated. Ancillary chunks other than gAMA and sRGB are skipped unread: libpng only
// warns about an oversized chunk (its limit, png_set_chunk_malloc_max, is a "benign"
// error when reading) and would then allocate and clear whatever length a text or
// profile chunk claims, up to 2 GiB.
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
// Ancillary chunks that the decoder reads; libpng keeps IHDR, PLTE, tRNS, IDAT and IEND.
constexpr png_byte kChunksRead[] = "gAMA\0sRGB";

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

// Everything the steps share and that must survive a jump back into Decode lives here,
// in memory.
struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colorType = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    bool hasTransparency = false;
    double fileGamma = 0.0;  // 0 unless gamma correction was asked for
    // The palette and its transparency as stored, before libpng's transforms touch them.
    png_color colors[256] = {};
    png_byte alphas[256] = {};
    int colorCount = 0;
    int alphaCount = 0;
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

// The header: the size against the decoder limits, the format from the colour type.
HRESULT ReadHeader(PngState* state, Reader* reader) {
    png_structp png = state->png;
    png_set_user_limits(png, kMaxDimension, kMaxDimension);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kChunksRead, 2);
    png_set_read_fn(png, reader, ReadData);
    png_read_info(png, state->info);
    png_get_IHDR(png, state->info, &state->width, &state->height, &state->depth, &state->colorType, nullptr, nullptr,
                 nullptr);
    const HRESULT sizeCheck = CheckImageSize(state->width, state->height);
    if (FAILED(sizeCheck)) {
        return sizeCheck;
    }
    switch (state->colorType) {
    case PNG_COLOR_TYPE_GRAY: state->format = D3DFMT_L8; break;
    case PNG_COLOR_TYPE_RGB: state->format = D3DFMT_R8G8B8; break;
    case PNG_COLOR_TYPE_PALETTE: state->format = D3DFMT_P8; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: state->format = D3DFMT_A8L8; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: state->format = D3DFMT_A8R8G8B8; break;
    default: return E_FAIL;
    }
    state->hasTransparency = png_get_valid(png, state->info, PNG_INFO_tRNS) != 0;
    return S_OK;
}

// A palette image's colours and transparency, copied before the transforms start.
void KeepPalette(PngState* state) {
    if (state->format != D3DFMT_P8) {
        return;
    }
    png_colorp palette = nullptr;
    if (png_get_PLTE(state->png, state->info, &palette, &state->colorCount) != 0 && palette != nullptr) {
        state->colorCount = std::clamp(state->colorCount, 0, 256);
        std::memcpy(state->colors, palette, sizeof(png_color) * static_cast<std::size_t>(state->colorCount));
    } else {
        state->colorCount = 0;
    }
    png_bytep trans = nullptr;
    if (state->hasTransparency && png_get_tRNS(state->png, state->info, &trans, &state->alphaCount, nullptr) != 0 &&
        trans != nullptr) {
        state->alphaCount = std::clamp(state->alphaCount, 0, state->colorCount);
        std::memcpy(state->alphas, trans, static_cast<std::size_t>(state->alphaCount));
    } else {
        state->alphaCount = 0;
    }
}

// The transforms, in this order; the format follows the ones that change the layout.
void SetTransforms(PngState* state) {
    png_structp png = state->png;
    if (state->depth == 16) {
        png_set_strip_16(png);
    }
    if (state->depth < 8) {
        png_set_packing(png);
    }
    if (state->colorType == PNG_COLOR_TYPE_GRAY && state->depth < 8) {
        png_set_expand(png);
    }
    double fileGamma = 0.0;
    int intent = 0;
    if (png_get_sRGB(png, state->info, &intent) != 0) {
        png_set_sRGB(png, state->info, intent);
    } else if (png_get_gAMA(png, state->info, &fileGamma) != 0) {
        png_set_gamma(png, kScreenGamma, fileGamma);
        state->fileGamma = fileGamma;
    }
    if (state->format != D3DFMT_P8 && state->hasTransparency) {
        png_set_expand(png);
        if (state->format == D3DFMT_R8G8B8) {
            state->format = D3DFMT_A8R8G8B8;
        } else if (state->format == D3DFMT_L8) {
            state->format = D3DFMT_A8L8;
        }
    }
    if (state->colorType == PNG_COLOR_TYPE_RGB || state->colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        png_set_bgr(png);
    }
    if (state->format == D3DFMT_R8G8B8) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        state->format = D3DFMT_X8R8G8B8;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, state->info);
}

// The rows libpng will write must be the format's: 8-bit channels, as many as it has.
HRESULT CheckLayout(const PngState& state) {
    const UINT channels = png_get_channels(state.png, state.info);
    const std::size_t rowBytes = png_get_rowbytes(state.png, state.info);
    if (channels != ChannelsOf(state.format) || png_get_bit_depth(state.png, state.info) != 8 ||
        rowBytes != std::size_t{state.width} * channels) {
        return E_FAIL;
    }
    return S_OK;
}

// Where the rows go (the target's rows when it offers them, else a buffer of the image),
// and the table of row addresses libpng writes through.
HRESULT PlaceRows(DecodedImage* image, PngState* state, ImageTarget* target) {
    UINT pitch = 0;
    BYTE* rows = target != nullptr ? target->Rows(state->format, state->width, state->height, &pitch) : nullptr;
    if (rows != nullptr) {
        image->Pixels = rows;
        image->OwnsPixels = FALSE;
    } else {
        pitch = static_cast<UINT>(std::size_t{state->width} * ChannelsOf(state->format));
        image->Pixels = AllocatePixels(std::uint64_t{pitch} * state->height);
        if (image->Pixels == nullptr) {
            return E_OUTOFMEMORY;
        }
        image->OwnsPixels = TRUE;
    }
    image->Format = state->format;
    image->Pitch = pitch;
    SetSize(image, state->width, state->height);
    state->rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * state->height));
    if (state->rows == nullptr) {
        return E_OUTOFMEMORY;
    }
    for (png_uint_32 y = 0; y < state->height; ++y) {
        state->rows[y] = image->Pixels + std::size_t{pitch} * y;
    }
    return S_OK;
}

// A palette image's palette: colours through the gamma table, alpha from tRNS.
HRESULT BuildPalette(DecodedImage* image, const PngState& state) {
    if (state.format != D3DFMT_P8) {
        return S_OK;
    }
    std::uint8_t* palette = AllocateWhitePalette(image);
    if (palette == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::uint8_t table[256];
    const bool corrected = state.fileGamma > 1e-6;
    const double exponent = corrected ? 1.0 / (state.fileGamma * kScreenGamma) : 1.0;
    for (int i = 0; i < 256; ++i) {
        table[i] = corrected ? static_cast<std::uint8_t>(std::floor(255.0 * std::pow(i / 255.0, exponent) + 0.5))
                             : static_cast<std::uint8_t>(i);
    }
    for (int i = 0; i < state.colorCount; ++i) {
        palette[4 * i + 0] = table[state.colors[i].red];
        palette[4 * i + 1] = table[state.colors[i].green];
        palette[4 * i + 2] = table[state.colors[i].blue];
        palette[4 * i + 3] = i < state.alphaCount ? state.alphas[i] : 0xFF;
    }
    return S_OK;
}

HRESULT DecodeSteps(DecodedImage* image, PngState* state, Reader* reader, ImageTarget* target) {
    HRESULT hr = ReadHeader(state, reader);
    if (FAILED(hr)) return hr;
    KeepPalette(state);
    SetTransforms(state);
    hr = CheckLayout(*state);
    if (FAILED(hr)) return hr;
    hr = PlaceRows(image, state, target);
    if (FAILED(hr)) return hr;
    png_read_image(state->png, state->rows);
    return BuildPalette(image, *state);
}

// The one place a library error comes back to, and the one cleanup.
HRESULT Decode(DecodedImage* image, PngState* state, Reader* reader, ImageTarget* target) {
    HRESULT hr;
    if (setjmp(png_jmpbuf(state->png))) {
        hr = E_FAIL;
    } else {
        hr = DecodeSteps(image, state, reader, target);
    }
    Release(state);
    if (FAILED(hr)) {
        image->Free();
    }
    return hr;
}

}  // namespace

HRESULT DecodePng(DecodedImage* image, const void* data, UINT size) { return DecodePng(image, data, size, nullptr); }

HRESULT DecodePng(DecodedImage* image, const void* data, UINT size, ImageTarget* target) {
    const auto* bytes = static_cast<const png_byte*>(data);
    if (size == 0 || png_sig_cmp(bytes, 0, std::min<std::size_t>(size, 8)) != 0) {
        return E_FAIL;
    }
    PngState state;
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorHook, WarningHook);
    if (state.png != nullptr) {
        state.info = png_create_info_struct(state.png);
    }
    if (state.info == nullptr) {
        Release(&state);
        return E_OUTOFMEMORY;
    }
    Reader reader{bytes, size};
    return Decode(image, &state, &reader, target);
}
