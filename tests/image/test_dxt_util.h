// Photographs for the DXT tests, decoded with libjpeg, and PSNR.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

namespace testutil {

struct Picture {
    unsigned width = 0, height = 0;
    std::vector<std::uint32_t> argb;  // A8R8G8B8, alpha 255
};

// False when the file cannot be read or decoded.
inline bool LoadJpeg(const std::string& path, Picture& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
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

// A photograph of the image corpus (a path below it); a file that cannot be read fails
// with its path.
inline ::testing::AssertionResult LoadCorpusJpeg(const std::string& relative, Picture& out) {
    const std::string path = std::string(TOLVANE_CORPUS_DIR) + "/" + relative;
    if (LoadJpeg(path, out)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot read the corpus photograph " << path;
}

// PSNR over the chosen channels (bit masks of bytes: 0x00FFFFFF colour, 0xFF000000 alpha).
inline double Psnr(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b, std::uint32_t channels) {
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int c = 0; c < 4; ++c) {
            if (((channels >> (8 * c)) & 0xFF) == 0) continue;
            const double d = double((a[i] >> (8 * c)) & 0xFF) - double((b[i] >> (8 * c)) & 0xFF);
            sum += d * d;
            ++n;
        }
    const double mse = sum / double(n);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace testutil
