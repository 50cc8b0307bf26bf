// Image files for the tests and the benchmarks, made and read with libjpeg and libpng
// directly: an independent route beside the decoders under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace support {

using Bytes = std::vector<std::uint8_t>;

// A picture as A8R8G8B8 values (0xAARRGGBB), row after row.
struct Picture {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> argb;
};

// A baseline JPEG with libjpeg's defaults at the quality: height rows of width samples of
// components bytes each, 1 (grey), 3 (RGB) or 4 (CMYK). Empty when libjpeg refuses.
Bytes EncodeJpeg(int width, int height, int components, const std::uint8_t* samples, int quality);

// A PNG file as written by libpng from what it stores: the header's fields, the packed rows,
// and the optional chunks.
struct PngRecipe {
    int width = 1;
    int height = 1;
    int bitDepth = 8;
    int colorType = 2;     // PNG_COLOR_TYPE_*
    bool interlaced = false;
    Bytes rows;            // packed rows as the PNG stores them (big-endian 16-bit samples)
    Bytes palette;         // PLTE: red, green, blue triples
    Bytes transparency;    // tRNS bytes as stored (palette alphas, or a 16-bit grey/RGB key)
    double gamma = 0.0;    // gAMA when above 0
    bool srgb = false;
};

// The file of the recipe; empty when libpng refuses it.
Bytes EncodePng(const PngRecipe& recipe);

// An 8-bit PNG of packed rows in the colour type (PNG_COLOR_TYPE_*); for a palette image
// the A8R8G8B8 entries, with tRNS as far as the last translucent one.
Bytes EncodePng(int width, int height, int colorType, const Bytes& rows, const std::vector<std::uint32_t>& palette = {});

// A JPEG file decoded by libjpeg to RGB, alpha 255. False (and the picture empty) when the
// file cannot be read or decoded.
bool LoadJpeg(const std::string& path, Picture& out);

// A PNG file through libpng's simplified reader: as RGB bytes, or as A8R8G8B8 values.
// False when the file cannot be read or decoded.
bool ReadPngRgb(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb);
bool ReadPngArgb(const std::string& path, int& width, int& height, std::vector<std::uint32_t>& argb);

// The colour of A8R8G8B8 values written as an 8-bit RGB PNG file (alpha dropped). False
// when the file cannot be written.
bool WritePngRgb(const std::string& path, int width, int height, const std::vector<std::uint32_t>& argb);

}  // namespace support
