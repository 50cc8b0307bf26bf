#include "tests/support/image_files.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <png.h>

namespace support {

namespace {

// libjpeg's errors end in a jump back to the call instead of the process's exit.
struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info) { std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1); }

void JpegSilence(j_common_ptr) {}

}  // namespace

Bytes EncodeJpeg(int width, int height, int components, const std::uint8_t* samples, int quality) {
    jpeg_compress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JpegErrorExit;
    errors.pub.output_message = JpegSilence;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples) + static_cast<std::size_t>(cinfo.next_scanline) * width * components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

namespace {

void AppendPng(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushPng(png_structp) {}

}  // namespace

Bytes EncodePng(const PngRecipe& recipe) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, AppendPng, FlushPng);
    png_set_IHDR(png, info, static_cast<png_uint_32>(recipe.width), static_cast<png_uint_32>(recipe.height),
                 recipe.bitDepth, recipe.colorType, recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (std::size_t i = 0; i + 2 < recipe.palette.size(); i += 3) {
        palette.push_back({recipe.palette[i], recipe.palette[i + 1], recipe.palette[i + 2]});
    }
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (!recipe.transparency.empty()) {
        png_color_16 key{};
        const Bytes& t = recipe.transparency;
        if (recipe.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, t.data(), static_cast<int>(t.size()), nullptr);
        } else {
            if (recipe.colorType == PNG_COLOR_TYPE_GRAY) {
                key.gray = static_cast<png_uint_16>(t[0] << 8 | t[1]);
            } else {
                key.red = static_cast<png_uint_16>(t[0] << 8 | t[1]);
                key.green = static_cast<png_uint_16>(t[2] << 8 | t[3]);
                key.blue = static_cast<png_uint_16>(t[4] << 8 | t[5]);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    if (recipe.gamma > 0.0) {
        png_set_gAMA(png, info, recipe.gamma);
    }
    if (recipe.srgb) {
        png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(static_cast<std::size_t>(recipe.height));
    for (int y = 0; y < recipe.height; ++y) {
        rows[static_cast<std::size_t>(y)] = const_cast<png_bytep>(recipe.rows.data()) + rowBytes * y;
    }
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodePng(int width, int height, int colorType, const Bytes& rows, const std::vector<std::uint32_t>& palette) {
    PngRecipe recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colorType = colorType;
    recipe.rows = rows;
    std::size_t translucent = 0;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::uint32_t c = palette[i];
        recipe.palette.insert(recipe.palette.end(), {static_cast<std::uint8_t>(c >> 16),
                                                     static_cast<std::uint8_t>(c >> 8), static_cast<std::uint8_t>(c)});
        recipe.transparency.push_back(static_cast<std::uint8_t>(c >> 24));
        if (c >> 24 != 255) translucent = i + 1;
    }
    recipe.transparency.resize(translucent);
    return EncodePng(recipe);
}

bool LoadJpeg(const std::string& path, Picture& out) {
    out = {};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JpegErrorExit;
    errors.pub.output_message = JpegSilence;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(f);
        out = {};
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = cinfo.output_width;
    out.height = cinfo.output_height;
    out.argb.assign(static_cast<std::size_t>(out.width) * out.height, 0);
    std::vector<unsigned char> row(out.width * 3u);
    while (cinfo.output_scanline < cinfo.output_height) {
        const unsigned y = cinfo.output_scanline;
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (unsigned x = 0; x < out.width; ++x)
            out.argb[static_cast<std::size_t>(y) * out.width + x] =
                0xFF000000u | (row[3 * x] << 16) | (row[3 * x + 1] << 8) | row[3 * x + 2];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
    return true;
}

namespace {

// The simplified reader into a buffer of the format's size.
template <class Pixel>
bool ReadPng(const std::string& path, png_uint_32 format, int& width, int& height, std::vector<Pixel>& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = format;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    pixels.assign(PNG_IMAGE_SIZE(image) / sizeof(Pixel), 0);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace

bool ReadPngRgb(const std::string& path, int& width, int& height, std::vector<std::uint8_t>& rgb) {
    return ReadPng(path, PNG_FORMAT_RGB, width, height, rgb);
}

// BGRA bytes are A8R8G8B8 values on the little-endian processors the project runs on.
bool ReadPngArgb(const std::string& path, int& width, int& height, std::vector<std::uint32_t>& argb) {
    return ReadPng(path, PNG_FORMAT_BGRA, width, height, argb);
}

bool WritePngRgb(const std::string& path, int width, int height, const std::vector<std::uint32_t>& argb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = argb[static_cast<std::size_t>(y) * width + x];
            row[3 * x] = static_cast<png_byte>(p >> 16);
            row[3 * x + 1] = static_cast<png_byte>(p >> 8);
            row[3 * x + 2] = static_cast<png_byte>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

}  // namespace support
