// PPM: "P3" (every value in ASCII decimal) and "P6" (binary bytes after an ASCII header),
// decoded to X8R8G8B8 with each channel scaled as value x 255 / maximum.
//
// Choices for hostile files: numbers stop being read once they pass 32 bits (a longer
// one fails rather than wrapping), and a sample above the file's own maximum is refused
// instead of being scaled past 255.
#include <cctype>

#include "image/decode_common.h"

namespace {

using namespace image_detail;

struct Cursor {
    const std::uint8_t* p;
    const std::uint8_t* end;
};

bool IsSpace(std::uint8_t c) { return std::isspace(c) != 0; }

// Skips white space and '#' comments, which run to the next line feed.
void SkipSeparators(Cursor& in) {
    while (in.p < in.end) {
        if (*in.p == '#') {
            while (in.p < in.end && *in.p != '\n') {
                ++in.p;
            }
        } else if (IsSpace(*in.p)) {
            ++in.p;
        } else {
            return;
        }
    }
}

// One decimal token: digits up to white space, a comment or the end of the data.
bool ReadNumber(Cursor& in, std::uint32_t& value) {
    SkipSeparators(in);
    std::uint64_t number = 0;
    const std::uint8_t* start = in.p;
    while (in.p < in.end && !IsSpace(*in.p) && *in.p != '#') {
        const std::uint8_t c = *in.p++;
        if (c < '0' || c > '9') {
            return false;
        }
        number = number * 10 + (c - '0');
        if (number > 0xFFFFFFFFu) {
            return false;
        }
    }
    value = static_cast<std::uint32_t>(number);
    return in.p != start;
}

std::uint32_t PackPixel(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

void StorePixel(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
    out[2] = static_cast<std::uint8_t>(value >> 16);
    out[3] = static_cast<std::uint8_t>(value >> 24);
}

HRESULT ReadBinaryPixels(Cursor& in, std::uint32_t maximum, std::uint8_t* out, std::uint64_t pixels) {
    // Exactly one separator byte follows the maximum; a carriage return takes one more.
    if (in.p >= in.end || !IsSpace(*in.p)) {
        return E_FAIL;
    }
    in.p += (*in.p == '\r' && in.end - in.p >= 2) ? 2 : 1;
    const std::uint64_t whole = static_cast<std::uint64_t>(in.end - in.p) / 3;
    if (whole < pixels) {
        return E_FAIL;
    }
    const std::uint8_t* src = in.p;
    if (maximum == 255) {
        for (std::uint64_t i = 0; i < pixels; ++i, src += 3, out += 4) {
            out[0] = src[2];
            out[1] = src[1];
            out[2] = src[0];
            out[3] = 0xFF;
        }
        return S_OK;
    }
    for (std::uint64_t i = 0; i < pixels; ++i, src += 3, out += 4) {
        if (src[0] > maximum || src[1] > maximum || src[2] > maximum) {
            return E_FAIL;
        }
        StorePixel(out, PackPixel(src[0] * 255u / maximum, src[1] * 255u / maximum, src[2] * 255u / maximum));
    }
    return S_OK;
}

HRESULT ReadAsciiPixels(Cursor& in, std::uint32_t maximum, std::uint8_t* out, std::uint64_t pixels) {
    for (std::uint64_t i = 0; i < pixels; ++i, out += 4) {
        std::uint32_t channel[3];
        for (std::uint32_t& value : channel) {
            if (!ReadNumber(in, value) || value > maximum) {
                return E_FAIL;
            }
            value = static_cast<std::uint32_t>(std::uint64_t{value} * 255 / maximum);
        }
        StorePixel(out, PackPixel(channel[0], channel[1], channel[2]));
    }
    return S_OK;
}

}  // namespace

HRESULT DecodePpm(DecodedImage* image, const void* data, UINT size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (size < 2 || p[0] != 'P' || (p[1] != '3' && p[1] != '6')) {
        return E_FAIL;
    }
    const bool binary = p[1] == '6';
    Cursor in{p + 2, p + size};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maximum = 0;
    if (!ReadNumber(in, width) || !ReadNumber(in, height)) {
        return E_FAIL;
    }
    HRESULT sizeCheck = CheckImageSize(width, height);
    if (FAILED(sizeCheck)) {
        return sizeCheck;
    }
    if (!ReadNumber(in, maximum) || maximum == 0 || (binary && maximum > 255)) {
        return E_FAIL;
    }
    const std::uint64_t pixels = std::uint64_t{width} * height;
    // The data must be able to hold every pixel before the buffer is allocated: 3 bytes
    // each in binary, at least 6 in ASCII (three one-digit values and their separators,
    // less the last one). A short file is refused without claiming memory for its header.
    const auto remaining = static_cast<std::uint64_t>(in.end - in.p);
    if (remaining < (binary ? 3 * pixels : 6 * pixels - 1)) {
        return E_FAIL;
    }
    image->Pixels = AllocatePixels(pixels * 4);
    if (image->Pixels == nullptr) {
        return E_OUTOFMEMORY;
    }
    image->OwnsPixels = TRUE;
    image->Format = D3DFMT_X8R8G8B8;
    image->Pitch = width * 4;
    SetSize(image, width, height);
    return binary ? ReadBinaryPixels(in, maximum, image->Pixels, pixels)
                  : ReadAsciiPixels(in, maximum, image->Pixels, pixels);
}
