// tolvane-texgen: makes the four textures the game reads, from procedural patterns, and
// writes them as baseline JPEG files (libjpeg). The patterns depend on nothing but the
// pixel coordinates, so the output is the same on every run.
//
//   tolvane-texgen [DIR]     writes DIR/corridor1.jpg, corridorshine1.jpg, vehicle2.jpg and
//                            vehicleshine1.jpg (DIR defaults to "Textures")
//
// corridor1        wall panels: riveted steel plates with seams, a warning stripe
// corridorshine1   a light sheen for the second stage: bright, with soft diagonal bands
// vehicle2         vehicle panels: painted plates, a racing stripe and vents
// vehicleshine1    the vehicle's sheen: bright with streaks of reflected light
// All are 256 by 256. The second stage multiplies the first, so both sheens stay bright.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kSize = 256;

struct Rgb {
    float r, g, b;
};

Rgb operator*(Rgb c, float s) { return {c.r * s, c.g * s, c.b * s}; }
Rgb operator+(Rgb a, Rgb b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Rgb Mix(Rgb a, Rgb b, float t) { return a * (1.0f - t) + b * t; }

// Integer hash of a lattice point, as a value in [0, 1).
float Hash(int x, int y, int seed) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8DA6B343u ^ static_cast<std::uint32_t>(y) * 0xD8163841u ^
                      static_cast<std::uint32_t>(seed) * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    h ^= h >> 15;
    return static_cast<float>(h & 0xFFFFFFu) / 16777216.0f;
}

float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }

// Value noise on a lattice of the given period, wrapping at the texture's edge so that
// the texture tiles without a seam.
float Noise(float x, float y, int cells, int seed) {
    const float fx = x * cells / kSize;
    const float fy = y * cells / kSize;
    const int x0 = static_cast<int>(std::floor(fx));
    const int y0 = static_cast<int>(std::floor(fy));
    const float tx = Smooth(fx - x0);
    const float ty = Smooth(fy - y0);
    auto at = [&](int i, int j) { return Hash(((i % cells) + cells) % cells, ((j % cells) + cells) % cells, seed); };
    const float top = at(x0, y0) * (1 - tx) + at(x0 + 1, y0) * tx;
    const float bottom = at(x0, y0 + 1) * (1 - tx) + at(x0 + 1, y0 + 1) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Noise summed over four octaves, in [0, 1).
float Fractal(float x, float y, int cells, int seed) {
    float sum = 0, weight = 0, amplitude = 1;
    for (int octave = 0; octave < 4; ++octave) {
        sum += Noise(x, y, cells << octave, seed + octave) * amplitude;
        weight += amplitude;
        amplitude *= 0.5f;
    }
    return sum / weight;
}

// Distance in pixels from (x, y) to the nearest line of a grid with the given spacing.
float GridDistance(float v, float spacing) {
    const float m = std::fmod(v, spacing);
    return std::min(m, spacing - m);
}

// Steel wall plates, four by two per tile, with dark seams, rivets at the corners, a
// brushed grain and a yellow and black warning stripe across the lower plates.
Rgb CorridorWall(int x, int y) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    const Rgb steel{0.55f, 0.58f, 0.62f};
    float shade = 0.85f + 0.25f * Fractal(fx, fy, 8, 11);
    shade += 0.06f * (Noise(fx, fy * 0.02f, 64, 12) - 0.5f);  // brushed grain, along x
    const int plateX = x / 64, plateY = y / 128;
    shade *= 0.9f + 0.2f * Hash(plateX, plateY, 13);
    Rgb color = steel * shade;

    if (y >= 160 && y < 192) {
        const bool yellow = ((x + y) / 16) % 2 == 0;
        const Rgb stripe = yellow ? Rgb{0.85f, 0.7f, 0.15f} : Rgb{0.12f, 0.12f, 0.12f};
        color = Mix(color, stripe * (0.8f + 0.3f * Fractal(fx, fy, 16, 14)), 0.85f);
    }

    const float seam = std::min(GridDistance(fx, 64.0f), GridDistance(fy, 128.0f));
    if (seam < 2.0f)
        color = color * (0.25f + 0.3f * seam);
    else if (seam < 3.5f)
        color = color * 1.15f;  // the bevelled edge catches the light

    for (float cx : {8.0f, 56.0f}) {
        for (float cy : {8.0f, 120.0f}) {
            const float dx = std::fmod(fx, 64.0f) - cx;
            const float dy = std::fmod(fy, 128.0f) - cy;
            const float r = std::sqrt(dx * dx + dy * dy);
            if (r < 3.5f)
                color = steel * (1.25f - 0.12f * r - 0.08f * dy);
        }
    }
    return color;
}

// A bright sheet with soft diagonal bands of light and a faint mottling.
Rgb CorridorShine(int x, int y) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    const float band = 0.5f + 0.5f * std::sin((fx + fy) * 6.2831853f / kSize * 2.0f);
    const float mottle = Fractal(fx, fy, 4, 21);
    const float light = 0.72f + 0.2f * band * band + 0.1f * mottle;
    return Rgb{light * 0.97f, light * 0.99f, light};
}

// Painted plates in a deep red with a white racing stripe, dark panel lines and a row of
// vents near the top.
Rgb VehiclePanels(int x, int y) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    const Rgb paint{0.72f, 0.1f, 0.08f};
    Rgb color = paint * (0.85f + 0.2f * Fractal(fx, fy, 8, 31));
    if (y >= 104 && y < 152) {
        const float edge = std::min(fy - 104.0f, 152.0f - fy);
        color = edge < 4.0f ? Rgb{0.1f, 0.1f, 0.12f} : Rgb{0.92f, 0.92f, 0.9f} * (0.92f + 0.1f * Fractal(fx, fy, 8, 32));
    }
    if (y >= 24 && y < 56 && (x % 32) >= 6 && (x % 32) < 26) {
        const bool slot = (y / 4) % 2 == 0;
        color = slot ? Rgb{0.05f, 0.05f, 0.05f} : paint * 0.6f;
    }
    const float line = std::min(GridDistance(fx, 128.0f), GridDistance(fy, 256.0f));
    if (line < 1.5f)
        color = color * 0.3f;
    return color;
}

// Bright with a few streaks of reflected light running across.
Rgb VehicleShine(int x, int y) {
    const float fx = x + 0.5f, fy = y + 0.5f;
    float light = 0.75f + 0.1f * Fractal(fx, fy, 4, 41);
    for (float centre : {60.0f, 150.0f, 210.0f}) {
        const float d = (fy - 0.3f * fx - centre) / 10.0f;
        light += 0.22f * std::exp(-d * d);
    }
    light = std::min(light, 1.0f);
    return Rgb{light, light, light * 0.98f};
}

std::uint8_t Byte(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); }

bool WriteJpeg(const std::filesystem::path& path, Rgb (*pattern)(int, int)) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kSize) * kSize * 3);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Rgb c = pattern(x, y);
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * kSize + x) * 3];
            p[0] = Byte(c.r);
            p[1] = Byte(c.g);
            p[2] = Byte(c.b);
        }
    }
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "texgen: cannot write %s\n", path.string().c_str());
        return false;
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = kSize;
    cinfo.image_height = kSize;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &pixels[static_cast<std::size_t>(cinfo.next_scanline) * kSize * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool ok = std::fclose(file) == 0;
    if (!ok)
        std::fprintf(stderr, "texgen: cannot write %s\n", path.string().c_str());
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: tolvane-texgen [DIR]\n");
        return 2;
    }
    const std::filesystem::path dir = argc == 2 ? argv[1] : "Textures";
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) {
        std::fprintf(stderr, "texgen: cannot create %s: %s\n", dir.string().c_str(), error.message().c_str());
        return 1;
    }
    struct Output {
        const char* name;
        Rgb (*pattern)(int, int);
    };
    const Output outputs[] = {
        {"corridor1.jpg", CorridorWall},
        {"corridorshine1.jpg", CorridorShine},
        {"vehicle2.jpg", VehiclePanels},
        {"vehicleshine1.jpg", VehicleShine},
    };
    for (const Output& output : outputs) {
        if (!WriteJpeg(dir / output.name, output.pattern))
            return 1;
        std::printf("%s\n", (dir / output.name).string().c_str());
    }
    return 0;
}
