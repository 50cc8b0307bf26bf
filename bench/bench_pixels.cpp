// Pixel conversion speed against peer libraries, side by side in one run.
//
// Every benchmark reuses buffers allocated and touched once before timing: figures exclude
// allocation and first-touch page faults of the image buffers (ConvertSurface's own row
// buffers, a few KiB, are allocated inside each call and are included). Compare the CPU
// times of one run: on a shared machine the wall times carry other processes' load.
//
// TOLVANE_VECTOR_TARGETS=avx2 (or sse4, ssse3, emu128; a comma-separated list of Highway
// target names) limits the DXT encoders and the filter kernels to those vector targets: the
// best of them the processor has is taken, the portable fallback when none is.
#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>
#include <squish.h>

#include <stb/stb_image_resize.h>
#include <stb/stb_dxt.h>

#include "image/convert.h"
#include "image/dxt.h"
#include "simd/targets.h"
#include "tests/support/image_files.h"

namespace {

using Image = support::Picture;

// A photograph of the corpus; the benchmark ends with the path when it cannot read it.
Image LoadCorpusJpeg(const std::string& name) {
    const std::string path = std::string(TOLVANE_CORPUS_DIR) + "/" + name;
    Image p;
    if (!support::LoadJpeg(path, p)) {
        std::fprintf(stderr, "bench_pixels: cannot read the corpus photograph %s\n", path.c_str());
        std::exit(1);
    }
    return p;
}

const Image& Photo() {
    static const Image photo = LoadCorpusJpeg("jpeg/pillow/iptc.jpg");
    return photo;
}

// The photograph tiled (mirrored, so there are no seams) to width x height, with an alpha
// ramp across x.
std::vector<std::uint32_t> Tiled(unsigned width, unsigned height) {
    const Image& p = Photo();
    std::vector<std::uint32_t> out(static_cast<std::size_t>(width) * height);
    for (unsigned y = 0; y < height; ++y) {
        unsigned sy = y % (2 * p.height);
        sy = sy < p.height ? sy : 2 * p.height - 1 - sy;
        for (unsigned x = 0; x < width; ++x) {
            unsigned sx = x % (2 * p.width);
            sx = sx < p.width ? sx : 2 * p.width - 1 - sx;
            out[static_cast<std::size_t>(y) * width + x] =
                (p.argb[static_cast<std::size_t>(sy) * p.width + sx] & 0xFFFFFFu) | ((x * 255u / width) << 24);
        }
    }
    return out;
}

SurfaceDesc Desc(void* data, D3DFORMAT format, unsigned width, unsigned height, unsigned pitch) {
    SurfaceDesc d;
    d.Data = data;
    d.Format = format;
    d.RowPitch = pitch;
    d.Whole = {0, 0, width, height, 0, 1};
    d.Region = d.Whole;
    return d;
}

constexpr unsigned kBig = 2048;

const std::vector<std::uint32_t>& Big() {
    static const std::vector<std::uint32_t> big = Tiled(kBig, kBig);
    return big;
}

// ---- box halving and the mip chain ------------------------------------------------------

void BM_BoxHalve2048_Ours(benchmark::State& state) {
    const auto& src = Big();
    std::vector<std::uint32_t> dst(kBig / 2 * kBig / 2, 1);
    for (auto _ : state) {
        SurfaceDesc d = Desc(dst.data(), D3DFMT_A8R8G8B8, kBig / 2, kBig / 2, kBig / 2 * 4);
        SurfaceDesc s = Desc(const_cast<std::uint32_t*>(src.data()), D3DFMT_A8R8G8B8, kBig, kBig, kBig * 4);
        if (ConvertSurface(&d, &s, FILTER_BOX) != S_OK) {
            state.SkipWithError("ConvertSurface failed");
        }
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig * 4);
}

void BM_BoxHalve2048_Stb(benchmark::State& state) {
    const auto& src = Big();
    std::vector<std::uint32_t> dst(kBig / 2 * kBig / 2, 1);
    for (auto _ : state) {
        stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(src.data()), kBig, kBig, 0,
                                   reinterpret_cast<unsigned char*>(dst.data()), kBig / 2, kBig / 2, 0, 4,
                                   STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_BOX,
                                   STBIR_COLORSPACE_LINEAR, nullptr);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig * 4);
}

void BM_Memcpy2048(benchmark::State& state) {
    const auto& src = Big();
    std::vector<std::uint32_t> dst(src.size(), 1);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size() * 4);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig * 4);
}

// Level buffers of a full chain below 2048 x 2048.
std::vector<std::vector<std::uint32_t>> ChainBuffers() {
    std::vector<std::vector<std::uint32_t>> levels;
    for (unsigned s = kBig / 2; s >= 1; s /= 2) {
        levels.emplace_back(static_cast<std::size_t>(s) * s, 1);
    }
    return levels;
}

void BM_MipChainBox_Ours(benchmark::State& state) {
    const auto& src = Big();
    auto levels = ChainBuffers();
    for (auto _ : state) {
        const std::uint32_t* from = src.data();
        unsigned size = kBig;
        for (auto& level : levels) {
            SurfaceDesc s = Desc(const_cast<std::uint32_t*>(from), D3DFMT_A8R8G8B8, size, size, size * 4);
            SurfaceDesc d = Desc(level.data(), D3DFMT_A8R8G8B8, size / 2, size / 2, size / 2 * 4);
            if (ConvertSurface(&d, &s, FILTER_BOX) != S_OK) {
                state.SkipWithError("ConvertSurface failed");
            }
            from = level.data();
            size /= 2;
        }
        benchmark::DoNotOptimize(levels.back().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig * 4);
}

void BM_MipChainBox_Stb(benchmark::State& state) {
    const auto& src = Big();
    auto levels = ChainBuffers();
    for (auto _ : state) {
        const std::uint32_t* from = src.data();
        int size = kBig;
        for (auto& level : levels) {
            stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(from), size, size, 0,
                                       reinterpret_cast<unsigned char*>(level.data()), size / 2, size / 2, 0, 4,
                                       STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_BOX,
                                       STBIR_COLORSPACE_LINEAR, nullptr);
            from = level.data();
            size /= 2;
        }
        benchmark::DoNotOptimize(levels.back().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBig * kBig * 4);
}

// ---- triangle resize ---------------------------------------------------------------------

constexpr unsigned kTriW = 1000, kTriH = 700, kTriOut = 512;

const std::vector<std::uint32_t>& TriangleSource() {
    static const std::vector<std::uint32_t> src = Tiled(kTriW, kTriH);
    return src;
}

void BM_Triangle1000x700To512_Ours(benchmark::State& state) {
    const auto& src = TriangleSource();
    std::vector<std::uint32_t> dst(kTriOut * kTriOut, 1);
    const DWORD filter = static_cast<DWORD>(state.range(0));
    for (auto _ : state) {
        SurfaceDesc s = Desc(const_cast<std::uint32_t*>(src.data()), D3DFMT_A8R8G8B8, kTriW, kTriH, kTriW * 4);
        SurfaceDesc d = Desc(dst.data(), D3DFMT_A8R8G8B8, kTriOut, kTriOut, kTriOut * 4);
        if (ConvertSurface(&d, &s, filter) != S_OK) {
            state.SkipWithError("ConvertSurface failed");
        }
        benchmark::DoNotOptimize(dst.data());
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(kTriW * kTriH) * state.iterations() / 1e6,
                                                  benchmark::Counter::kIsRate);
}

void BM_Triangle1000x700To512_Stb(benchmark::State& state) {
    const auto& src = TriangleSource();
    std::vector<std::uint32_t> dst(kTriOut * kTriOut, 1);
    const auto filter = static_cast<stbir_filter>(state.range(0));
    for (auto _ : state) {
        stbir_resize_uint8_generic(reinterpret_cast<const unsigned char*>(src.data()), kTriW, kTriH, 0,
                                   reinterpret_cast<unsigned char*>(dst.data()), kTriOut, kTriOut, 0, 4,
                                   STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, filter, STBIR_COLORSPACE_LINEAR,
                                   nullptr);
        benchmark::DoNotOptimize(dst.data());
    }
    state.counters["Mpix/s"] = benchmark::Counter(static_cast<double>(kTriW * kTriH) * state.iterations() / 1e6,
                                                  benchmark::Counter::kIsRate);
}

// ---- format change with dither -------------------------------------------------------------

void BM_X8R8G8B8ToR5G6B5Dither_Ours(benchmark::State& state) {
    const auto& src = Big();
    std::vector<std::uint16_t> dst(kBig * kBig / 4, 1);
    for (auto _ : state) {
        SurfaceDesc s = Desc(const_cast<std::uint32_t*>(src.data()), D3DFMT_X8R8G8B8, kBig / 2, kBig / 2, kBig * 4);
        SurfaceDesc d = Desc(dst.data(), D3DFMT_R5G6B5, kBig / 2, kBig / 2, kBig);
        if (ConvertSurface(&d, &s, FILTER_NONE | FILTER_DITHER) != S_OK) {
            state.SkipWithError("ConvertSurface failed");
        }
        benchmark::DoNotOptimize(dst.data());
    }
    state.counters["Mpix/s"] =
        benchmark::Counter(static_cast<double>(kBig / 2 * kBig / 2) * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// ---- DXT encoding --------------------------------------------------------------------------

// The photograph cut into blocks: each block's 16 pixels as A8R8G8B8 and as RGBA bytes.
struct Blocks {
    std::vector<std::uint32_t> argb;    // 16 per block
    std::vector<std::uint32_t> opaque;  // the same with alpha 255, for DXT1
    std::vector<std::uint8_t> rgba;   // 64 per block
    unsigned count = 0;
};

Blocks MakeBlocks(const Image& p) {
    {
        Blocks b;
        const unsigned bw = p.width / 4, bh = p.height / 4;
        b.count = bw * bh;
        b.argb.resize(b.count * 16u);
        b.rgba.resize(b.count * 64u);
        for (unsigned by = 0; by < bh; ++by) {
            for (unsigned bx = 0; bx < bw; ++bx) {
                const unsigned k = by * bw + bx;
                for (unsigned i = 0; i < 16; ++i) {
                    const unsigned x = bx * 4 + (i & 3), y = by * 4 + i / 4;
                    std::uint32_t v = p.argb[static_cast<std::size_t>(y) * p.width + x];
                    v = (v & 0xFFFFFFu) | (((x * 255u / p.width) & 0xFFu) << 24);
                    b.argb[k * 16 + i] = v;
                    b.rgba[k * 64 + 4 * i] = static_cast<std::uint8_t>(v >> 16);
                    b.rgba[k * 64 + 4 * i + 1] = static_cast<std::uint8_t>(v >> 8);
                    b.rgba[k * 64 + 4 * i + 2] = static_cast<std::uint8_t>(v);
                    b.rgba[k * 64 + 4 * i + 3] = static_cast<std::uint8_t>(v >> 24);
                }
            }
        }
        b.opaque = b.argb;
        for (std::uint32_t& p : b.opaque) {
            p |= 0xFF000000u;
        }
        return b;
    }
}

const Blocks& PhotoBlocks() {
    static const Blocks blocks = MakeBlocks(Photo());
    return blocks;
}

// Three corpus photographs for the encoders' table.
constexpr const char* kDxtPhotos[3] = {"jpeg/pillow/iptc.jpg", "jpeg/pillow/flower.jpg",
                                       "jpeg/pillow/pil_sample_rgb.jpg"};

const Blocks& CorpusPhotoBlocks(std::size_t which) {
    static const std::vector<Blocks> all = [] {
        std::vector<Blocks> v;
        for (const char* name : kDxtPhotos) {
            v.push_back(MakeBlocks(LoadCorpusJpeg(name)));
        }
        return v;
    }();
    return all[which];
}

// The targets TOLVANE_VECTOR_TARGETS names (all when it is unset).
std::int64_t VectorTargets() { return tolvane::simd::EnvironmentTargets(); }

enum class Coder { Ours, OursRef, OursHigh, Stb, StbHigh, SquishRange, SquishCluster };

void EncodeAll(Coder coder, bool dxt5, std::vector<std::uint8_t>& out, const Blocks& b = PhotoBlocks()) {
    const std::size_t size = dxt5 ? 16 : 8;
    switch (coder) {
        case Coder::Ours:
            EncodeDxtBlocks(dxt5 ? DxtBlockKind::InterpolatedAlpha : DxtBlockKind::Dxt1,
                            dxt5 ? b.argb.data() : b.opaque.data(), b.count, out.data());
            break;
        case Coder::OursRef:
            EncodeDxtBlocksRef(dxt5 ? DxtBlockKind::InterpolatedAlpha : DxtBlockKind::Dxt1,
                               dxt5 ? b.argb.data() : b.opaque.data(), b.count, out.data());
            break;
        case Coder::OursHigh:
            EncodeDxtBlocksHigh(dxt5 ? DxtBlockKind::InterpolatedAlpha : DxtBlockKind::Dxt1,
                                dxt5 ? b.argb.data() : b.opaque.data(), b.count, out.data(), VectorTargets());
            break;
        case Coder::Stb:
        case Coder::StbHigh: {
            const int mode = coder == Coder::Stb ? STB_DXT_NORMAL : STB_DXT_HIGHQUAL;
            for (unsigned k = 0; k < b.count; ++k) {
                stb_compress_dxt_block(&out[k * size], &b.rgba[k * 64u], dxt5 ? 1 : 0, mode);
            }
            break;
        }
        case Coder::SquishRange:
        case Coder::SquishCluster: {
            const int flags = (dxt5 ? squish::kDxt5 : squish::kDxt1) |
                              (coder == Coder::SquishRange ? squish::kColourRangeFit : squish::kColourClusterFit);
            for (unsigned k = 0; k < b.count; ++k) {
                squish::u8 rgba[64];
                std::memcpy(rgba, &b.rgba[k * 64u], 64);
                if (!dxt5) {
                    for (int i = 0; i < 16; ++i) rgba[4 * i + 3] = 255;
                }
                squish::Compress(rgba, &out[k * size], flags);
            }
            break;
        }
    }
}

// PSNR of the colour (and for DXT5 the alpha) after decoding with our decoder.
double Psnr(const std::vector<std::uint8_t>& blocks, bool dxt5, bool alpha, const Blocks& b = PhotoBlocks()) {
    double sum = 0;
    std::size_t n = 0;
    for (unsigned k = 0; k < b.count; ++k) {
        std::uint32_t decoded[16];
        if (dxt5) {
            DecodeDxtAlphaInterpolated(&blocks[k * 16u], decoded);
        } else {
            DecodeDxtColorBlock(&blocks[k * 8u], decoded);
        }
        for (int i = 0; i < 16; ++i) {
            for (int c = alpha ? 3 : 0; c < (alpha ? 4 : 3); ++c) {
                const double e = double((decoded[i] >> (8 * c)) & 0xFF) - double((b.argb[k * 16u + i] >> (8 * c)) & 0xFF);
                sum += e * e;
                ++n;
            }
        }
    }
    // An exact reproduction is reported as 99 dB.
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

void BM_Dxt(benchmark::State& state, Coder coder, bool dxt5) {
    const Blocks& b = PhotoBlocks();
    std::vector<std::uint8_t> out(b.count * (dxt5 ? 16u : 8u), 1);
    for (auto _ : state) {
        EncodeAll(coder, dxt5, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Mpix/s"] =
        benchmark::Counter(static_cast<double>(b.count) * 16.0 * state.iterations() / 1e6, benchmark::Counter::kIsRate);
    state.counters["PSNR_rgb"] = Psnr(out, dxt5, false);
    if (dxt5) {
        state.counters["PSNR_a"] = Psnr(out, dxt5, true);
    }
}

// DXT1 on each of three photographs (range argument 0 to 2), for the table of encoders.
void BM_DxtPhotos(benchmark::State& state, Coder coder) {
    const Blocks& b = CorpusPhotoBlocks(static_cast<std::size_t>(state.range(0)));
    std::vector<std::uint8_t> out(b.count * 8u, 1);
    for (auto _ : state) {
        EncodeAll(coder, false, out, b);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(kDxtPhotos[state.range(0)]);
    state.counters["Mpix/s"] =
        benchmark::Counter(static_cast<double>(b.count) * 16.0 * state.iterations() / 1e6, benchmark::Counter::kIsRate);
    state.counters["PSNR_rgb"] = Psnr(out, false, false, b);
}

// The whole texture path: A8R8G8B8 rows through Color into a DXT surface.
void BM_DxtSurface_Ours(benchmark::State& state) {
    const Image& p = Photo();
    const D3DFORMAT format = state.range(0) == 1 ? D3DFMT_DXT1 : D3DFMT_DXT5;
    const unsigned w = p.width & ~3u, h = p.height & ~3u;
    const unsigned pitch = w / 4 * (format == D3DFMT_DXT1 ? 8 : 16);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(pitch) * h / 4, 1);
    for (auto _ : state) {
        SurfaceDesc s = Desc(const_cast<std::uint32_t*>(p.argb.data()), D3DFMT_A8R8G8B8, w, h, p.width * 4);
        SurfaceDesc d = Desc(out.data(), format, w, h, pitch);
        if (ConvertSurface(&d, &s, FILTER_NONE) != S_OK) {
            state.SkipWithError("ConvertSurface failed");
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["Mpix/s"] =
        benchmark::Counter(static_cast<double>(w) * h * state.iterations() / 1e6, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_Memcpy2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxHalve2048_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoxHalve2048_Stb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MipChainBox_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MipChainBox_Stb)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Triangle1000x700To512_Ours)->Arg(FILTER_TRIANGLE)->Arg(FILTER_TRIANGLE | FILTER_DITHER)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Triangle1000x700To512_Stb)->Arg(STBIR_FILTER_TRIANGLE)->Arg(STBIR_FILTER_DEFAULT)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_X8R8G8B8ToR5G6B5Dither_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_Ours, Coder::Ours, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_OursRef, Coder::OursRef, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_OursHigh, Coder::OursHigh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_Stb, Coder::Stb, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_StbHigh, Coder::StbHigh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_SquishRange, Coder::SquishRange, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt1_SquishCluster, Coder::SquishCluster, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_Ours, Coder::Ours, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_OursRef, Coder::OursRef, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_OursHigh, Coder::OursHigh, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_Stb, Coder::Stb, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_StbHigh, Coder::StbHigh, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_SquishRange, Coder::SquishRange, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Dxt, Dxt5_SquishCluster, Coder::SquishCluster, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, Ours, Coder::Ours)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, OursHigh, Coder::OursHigh)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, Stb, Coder::Stb)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, StbHigh, Coder::StbHigh)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, SquishRange, Coder::SquishRange)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DxtPhotos, SquishCluster, Coder::SquishCluster)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DxtSurface_Ours)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

namespace {

// Prints the runs as usual and keeps each one's CPU time per iteration for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median") {
                cpu_[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
    }

    void PrintRatio(const char* what, const std::string& ours, const std::string& theirs, const char* target) const {
        const auto a = cpu_.find(ours), b = cpu_.find(theirs);
        if (a == cpu_.end() || b == cpu_.end() || b->second == 0) {
            return;
        }
        std::printf("  %-58s %6.2f  (%s)\n", what, a->second / b->second, target);
    }

private:
    std::map<std::string, double> cpu_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nRatios of CPU time, ours / theirs (below 1: ours is faster):\n");
    reporter.PrintRatio("box mip chain 2048 / memcpy of the 2048 source", "BM_MipChainBox_Ours", "BM_Memcpy2048",
                        "target: at most 2");
    reporter.PrintRatio("box halving 2048 / memcpy", "BM_BoxHalve2048_Ours", "BM_Memcpy2048", "information");
    reporter.PrintRatio("box halving 2048 / stb_image_resize box", "BM_BoxHalve2048_Ours", "BM_BoxHalve2048_Stb",
                        "information");
    reporter.PrintRatio("box mip chain / stb_image_resize box chain", "BM_MipChainBox_Ours", "BM_MipChainBox_Stb",
                        "information");
    reporter.PrintRatio("triangle 1000x700 -> 512 / stb_image_resize triangle", "BM_Triangle1000x700To512_Ours/4",
                        "BM_Triangle1000x700To512_Stb/2", "target: at most 1");
    reporter.PrintRatio("triangle 1000x700 -> 512 / stb_image_resize default filter",
                        "BM_Triangle1000x700To512_Ours/4", "BM_Triangle1000x700To512_Stb/0", "information");
    reporter.PrintRatio("DXT1 encoding / stb_dxt normal", "BM_Dxt/Dxt1_Ours", "BM_Dxt/Dxt1_Stb", "target: at most 1");
    reporter.PrintRatio("DXT1 encoding, single-block reference / stb_dxt", "BM_Dxt/Dxt1_OursRef", "BM_Dxt/Dxt1_Stb",
                        "information");
    reporter.PrintRatio("DXT1 encoding / libsquish range fit", "BM_Dxt/Dxt1_Ours", "BM_Dxt/Dxt1_SquishRange",
                        "information");
    reporter.PrintRatio("DXT1 high-quality encoding / stb_dxt normal", "BM_Dxt/Dxt1_OursHigh", "BM_Dxt/Dxt1_Stb",
                        "target: at most 1");
    reporter.PrintRatio("DXT5 encoding / stb_dxt normal", "BM_Dxt/Dxt5_Ours", "BM_Dxt/Dxt5_Stb", "information");
    reporter.PrintRatio("DXT5 high-quality encoding / stb_dxt normal", "BM_Dxt/Dxt5_OursHigh", "BM_Dxt/Dxt5_Stb",
                        "information");
    benchmark::Shutdown();
    return 0;
}
