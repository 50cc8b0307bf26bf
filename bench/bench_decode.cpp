// Decode time per megapixel of a 2048 x 2048 picture stored as JPEG, PNG, BMP and TGA,
// side by side with stb_image on the same bytes, and with libjpeg and libpng called
// directly (same output layout as ours, so the difference is our own overhead).
//
// Every figure includes the allocation of the output and its release, as a caller of
// each library pays it. The counter s_per_MP is seconds per megapixel.
#include <benchmark/benchmark.h>

#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include <stb/stb_image.h>  // built once in tests/support

#include "image/image_file.h"
#include "tests/support/image_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kSide = 2048;
constexpr double kMegapixels = kSide * kSide / 1e6;

// A photo-like picture: smooth gradients with a little deterministic noise, so that the
// compressed formats have realistic work to do.
Bytes Picture(int channels) {
    Bytes rgb(static_cast<std::size_t>(kSide) * kSide * channels);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 29);
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kSide + x) * channels];
            p[0] = static_cast<std::uint8_t>((x / 8 + n) & 0xFF);
            p[1] = static_cast<std::uint8_t>((y / 8 + n) & 0xFF);
            p[2] = static_cast<std::uint8_t>(((x + y) / 16 + n) & 0xFF);
            if (channels == 4) {
                p[3] = static_cast<std::uint8_t>(x < kSide / 2 ? 255 : 128);
            }
        }
    }
    return rgb;
}

Bytes EncodeJpeg() { return support::EncodeJpeg(kSide, kSide, 3, Picture(3).data(), 90); }

Bytes EncodePng() { return support::EncodePng(kSide, kSide, PNG_COLOR_TYPE_RGB, Picture(3)); }

void Put16(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// 24-bit bottom-up BMP, the common layout.
Bytes EncodeBmp() {
    const Bytes rgb = Picture(3);
    Bytes b;
    const std::uint32_t pixels = kSide * kSide * 3;
    b.push_back('B');
    b.push_back('M');
    Put32(b, 54 + pixels);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, kSide);
    Put32(b, kSide);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i) {
        Put32(b, 0);
    }
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kSide + x) * 3];
            b.push_back(p[2]);
            b.push_back(p[1]);
            b.push_back(p[0]);
        }
    }
    return b;
}

Bytes TgaHeader(unsigned type, unsigned bits) {
    Bytes b = {0, 0, static_cast<std::uint8_t>(type), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(b, kSide);
    Put16(b, kSide);
    b.push_back(static_cast<std::uint8_t>(bits));
    b.push_back(bits == 32 ? 8 : 0);  // bottom-up
    return b;
}

// 24-bit uncompressed bottom-up TGA (copied and flipped by us).
Bytes EncodeTga() {
    const Bytes rgb = Picture(3);
    Bytes b = TgaHeader(2, 24);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; ++x) {
            const std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * kSide + x) * 3];
            b.push_back(p[2]);
            b.push_back(p[1]);
            b.push_back(p[0]);
        }
    }
    return b;
}

// 32-bit RLE bottom-up TGA: runs of 4 equal pixels and raw packets in turn.
Bytes EncodeTgaRle() {
    const Bytes rgba = Picture(4);
    Bytes b = TgaHeader(10, 32);
    for (int y = kSide - 1; y >= 0; --y) {
        for (int x = 0; x < kSide; x += 8) {
            const std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * kSide + x) * 4];
            b.push_back(0x83);
            b.insert(b.end(), {p[2], p[1], p[0], p[3]});
            b.push_back(0x03);
            for (int k = 4; k < 8; ++k) {
                b.insert(b.end(), {p[4 * k + 2], p[4 * k + 1], p[4 * k], p[4 * k + 3]});
            }
        }
    }
    return b;
}

struct Files {
    Bytes jpeg = EncodeJpeg();
    Bytes png = EncodePng();
    Bytes bmp = EncodeBmp();
    Bytes tga = EncodeTga();
    Bytes tgaRle = EncodeTgaRle();
};

const Files& TestFiles() {
    static const Files files;
    return files;
}

void Report(benchmark::State& state) {
    state.counters["s_per_MP"] = benchmark::Counter(kMegapixels, benchmark::Counter::kIsIterationInvariantRate |
                                                                     benchmark::Counter::kInvert);
}

void Tolvane(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        DecodedImage image;
        if (DecodeImage(&image, file.data(), static_cast<UINT>(file.size()), nullptr) != S_OK) {
            state.SkipWithError("decode failed");
            return;
        }
        benchmark::DoNotOptimize(image.Pixels);
    }
    Report(state);
}

void Stb(benchmark::State& state, const Bytes& file) {
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &w, &h, &n, 0);
        if (pixels == nullptr) {
            state.SkipWithError("stb refused the file");
            return;
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
    Report(state);
}

struct JpegErrors {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

// libjpeg as its users call it: memory source, rows straight into the output, either in
// the library's default RGB or in the blue, green, red, X layout of our output (a
// libjpeg-turbo extension), which is the like-for-like comparison.
void LibJpegDirect(benchmark::State& state, J_COLOR_SPACE space) {
    const Bytes& file = TestFiles().jpeg;
    for (auto _ : state) {
        jpeg_decompress_struct cinfo{};
        JpegErrors errors{};
        cinfo.err = jpeg_std_error(&errors.pub);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), file.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = space;
        jpeg_start_decompress(&cinfo);
        const std::size_t pitch = static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components;
        auto* out = static_cast<std::uint8_t*>(std::malloc(pitch * cinfo.output_height));
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = out + pitch * cinfo.output_scanline;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    Report(state);
}

struct PngReader {
    const std::uint8_t* data;
    std::size_t remaining;
};

void ReadPng(png_structp png, png_bytep out, std::size_t length) {
    auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
    std::memcpy(out, reader->data, length);
    reader->data += length;
    reader->remaining -= length;
}

// libpng as its users call it, with the same output layout as ours (blue, green, red, X).
void LibPngDirect(benchmark::State& state) {
    const Bytes& file = TestFiles().png;
    for (auto _ : state) {
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        PngReader reader{file.data(), file.size()};
        png_set_read_fn(png, &reader, ReadPng);
        png_read_info(png, info);
        png_set_bgr(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_read_update_info(png, info);
        const std::size_t pitch = png_get_rowbytes(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        auto* out = static_cast<std::uint8_t*>(std::malloc(pitch * height));
        std::vector<png_bytep> rows(height);
        for (png_uint_32 y = 0; y < height; ++y) {
            rows[y] = out + pitch * y;
        }
        png_read_image(png, rows.data());
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    Report(state);
}

void JpegTolvane(benchmark::State& s) { Tolvane(s, TestFiles().jpeg); }
void LibJpegDirectBgrx(benchmark::State& s) { LibJpegDirect(s, JCS_EXT_BGRX); }
void LibJpegDirectRgb(benchmark::State& s) { LibJpegDirect(s, JCS_RGB); }
void JpegStb(benchmark::State& s) { Stb(s, TestFiles().jpeg); }
void PngTolvane(benchmark::State& s) { Tolvane(s, TestFiles().png); }
void PngStb(benchmark::State& s) { Stb(s, TestFiles().png); }
void BmpTolvane(benchmark::State& s) { Tolvane(s, TestFiles().bmp); }
void BmpStb(benchmark::State& s) { Stb(s, TestFiles().bmp); }
void TgaTolvane(benchmark::State& s) { Tolvane(s, TestFiles().tga); }
void TgaStb(benchmark::State& s) { Stb(s, TestFiles().tga); }
void TgaRleTolvane(benchmark::State& s) { Tolvane(s, TestFiles().tgaRle); }
void TgaRleStb(benchmark::State& s) { Stb(s, TestFiles().tgaRle); }

BENCHMARK(JpegTolvane)->Unit(benchmark::kMillisecond);
BENCHMARK(LibJpegDirectBgrx)->Unit(benchmark::kMillisecond);
BENCHMARK(LibJpegDirectRgb)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegStb)->Unit(benchmark::kMillisecond);
BENCHMARK(PngTolvane)->Unit(benchmark::kMillisecond);
BENCHMARK(LibPngDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(PngStb)->Unit(benchmark::kMillisecond);
BENCHMARK(BmpTolvane)->Unit(benchmark::kMillisecond);
BENCHMARK(BmpStb)->Unit(benchmark::kMillisecond);
BENCHMARK(TgaTolvane)->Unit(benchmark::kMillisecond);
BENCHMARK(TgaStb)->Unit(benchmark::kMillisecond);
BENCHMARK(TgaRleTolvane)->Unit(benchmark::kMillisecond);
BENCHMARK(TgaRleStb)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
