// Every image of the shared corpus (real files written by other software) through
// DecodeImage. Files that should decode must give the size and the pixels that an
// independent reader gives: stb_image for BMP, PNG, TGA and PPM; for JPEG, libjpeg called
// directly (exactly) and ImageMagick's reference PNG where the corpus has one (within
// JPEG's decoder tolerance). Files that we refuse by design, or where our result
// differs on purpose, are listed below with the reason. Nothing may crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include <stb/stb_image.h>  // built once in tests/support

#include "image/image_file.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Outcome {
    Decode,   // must decode and match the independent reader
    Refuse,   // must be refused (ERR_INVALID_DATA)
    Either,   // broken file: refused, or decoded to its stated size; never a crash
};

enum class Reference {
    Stb,       // stb_image on the same bytes, all four channels
    StbRgb,    // stb_image, red, green and blue only, within 1 (see the reason)
    Twin,      // stb_image on another file holding the same picture (`twin`)
    TwinRgb,   // as Twin, red, green and blue only, within 1
    LibJpeg,   // libjpeg directly, exactly; plus the ImageMagick reference when present
    None,      // no independent reader: size and format only (see the reason)
};

struct Expectation {
    const char* path;  // relative to the corpus
    Outcome outcome;
    Reference reference;
    const char* twin;
    const char* why;
};

constexpr const char* kHeader108 = "bit-field masks are read only from headers of 108 bytes or more";
constexpr const char* kMasks = "bit-field masks that match no format";
constexpr const char* kNoRle = "stb has no RLE";
constexpr const char* kFourComponents = "four-component (CMYK/YCCK) JPEG";
constexpr const char* kTruncated = "data ends before the image: refused rather than filled with grey";
constexpr const char* kTga16 = "16-bit TGA colours: stb ignores the attribute bit and rounds 5-bit channels differently";
constexpr const char* kGreyAlpha = "16-bit grey with alpha TGA";
constexpr const char* kP3 = "stb reads no P3";

// Files whose outcome is not the default of their group.
const Expectation kExpectations[] = {
    // BMP: formats and headers refused by design.
    {"bmp-good/rgb16-565.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/rgb16-565pal.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/rgb16bfdef.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/rgb32bf.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/rgb32bfdef.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/bmptestsuite/32bpp-101110-320x240.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-good/bmptestsuite/32bpp-888-optimalpalette-320x240.bmp", Outcome::Refuse, Reference::None, nullptr,
     kHeader108},
    {"bmp-good/pal8os2.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 core header (12 bytes)"},
    {"bmp-good/bmptestsuite/8bpp-1x64000.bmp", Outcome::Decode, Reference::Stb, nullptr,
     "64000 rows of one pixel: within the pixel limit, which no longer caps a side"},
    {"bmp-good/bmptestsuite/32bpp-optimalpalette-320x240.bmp", Outcome::Decode, Reference::None, nullptr,
     "stb refuses a colour table in a 32-bit file"},
    {"bmp-good/pal4rle.bmp", Outcome::Decode, Reference::Twin, "bmp-good/pal4.bmp", kNoRle},
    {"bmp-good/pal8rle.bmp", Outcome::Decode, Reference::Twin, "bmp-good/pal8.bmp", kNoRle},
    {"bmp-good/rgb24pal.bmp", Outcome::Decode, Reference::Twin, "bmp-good/rgb24.bmp", "stb refuses it"},
    {"bmp-questionable/pal1huffmsb.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 Huffman coding"},
    {"bmp-questionable/pal1p1.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/pal2.bmp", Outcome::Refuse, Reference::None, nullptr, "2 bits per pixel"},
    {"bmp-questionable/pal2color.bmp", Outcome::Refuse, Reference::None, nullptr, "2 bits per pixel"},
    {"bmp-questionable/pal4rlecut.bmp", Outcome::Decode, Reference::None, nullptr, kNoRle},
    {"bmp-questionable/pal4rletrns.bmp", Outcome::Decode, Reference::None, nullptr, kNoRle},
    {"bmp-questionable/pal8rlecut.bmp", Outcome::Decode, Reference::None, nullptr, kNoRle},
    {"bmp-questionable/pal8rletrns.bmp", Outcome::Decode, Reference::None, nullptr, kNoRle},
    {"bmp-questionable/pal8offs.bmp", Outcome::Decode, Reference::None, nullptr,
     "the file header's pixel offset is not used: pixels are read right after the colour table"},
    {"bmp-questionable/pal8os2-hs.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 core header"},
    {"bmp-questionable/pal8os2-sz.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 core header"},
    {"bmp-questionable/pal8os2sp.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 core header"},
    {"bmp-questionable/pal8os2v2-16.bmp", Outcome::Refuse, Reference::None, nullptr, "16-byte OS/2 header"},
    {"bmp-questionable/pal8os2v2-40sz.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/pal8os2v2-sz.bmp", Outcome::Decode, Reference::Twin, "bmp-good/pal8.bmp", "stb refuses it"},
    {"bmp-questionable/pal8os2v2.bmp", Outcome::Decode, Reference::Twin, "bmp-good/pal8.bmp", "stb refuses it"},
    {"bmp-questionable/pal8oversizepal.bmp", Outcome::Decode, Reference::Twin, "bmp-good/pal8.bmp",
     "stb refuses it; the table is cut to 256 entries"},
    {"bmp-questionable/rgb16-231.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgb16-3103.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgb16faketrns.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgb24jpeg.bmp", Outcome::Refuse, Reference::None, nullptr, "JPEG inside a BMP"},
    {"bmp-questionable/rgb24png.bmp", Outcome::Refuse, Reference::None, nullptr, "PNG inside a BMP"},
    {"bmp-questionable/rgb24largepal.bmp", Outcome::Decode, Reference::Twin, "bmp-good/rgb24.bmp", "stb refuses it"},
    {"bmp-questionable/rgb24lprof.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgb24prof.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgb24rle24.bmp", Outcome::Refuse, Reference::None, nullptr, "OS/2 RLE24"},
    {"bmp-questionable/rgb32-111110.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgb32-7187.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgb32-xbgr.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgb32fakealpha.bmp", Outcome::Decode, Reference::StbRgb, nullptr,
     "X8R8G8B8: the unused byte is not alpha (stb shows it)"},
    {"bmp-questionable/rgb32h52.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-questionable/rgba16-1924.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgba16-4444.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgba16-5551.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgba32-1.bmp", Outcome::Decode, Reference::Stb, nullptr, ""},
    {"bmp-questionable/rgba32-1010102.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgba32-2.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgba32-61754.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgba32-81284.bmp", Outcome::Refuse, Reference::None, nullptr, kMasks},
    {"bmp-questionable/rgba32abf.bmp", Outcome::Refuse, Reference::None, nullptr, "compression 6 (alpha bit fields)"},
    {"bmp-questionable/rgba32h56.bmp", Outcome::Refuse, Reference::None, nullptr, kHeader108},
    {"bmp-questionable/rgba64.bmp", Outcome::Refuse, Reference::None, nullptr, "64 bits per pixel"},
    {"bmp-bad/badheadersize.bmp", Outcome::Either, Reference::None, nullptr,
     "a 66-byte header is read as an info header (its fields sit at the same offsets)"},
    // JPEG
    {"jpeg/jpeg-decoder/mozilla/jpg-cmyk-1.jpg", Outcome::Refuse, Reference::None, nullptr, kFourComponents},
    {"jpeg/jpeg-decoder/mozilla/jpg-cmyk-2.jpg", Outcome::Refuse, Reference::None, nullptr, kFourComponents},
    {"jpeg/pillow/pil_sample_cmyk.jpg", Outcome::Refuse, Reference::None, nullptr, kFourComponents},
    {"jpeg/libjpeg-turbo/monkey12.jpg", Outcome::Refuse, Reference::None, nullptr, "12-bit samples"},
    {"jpeg/libjpeg-turbo/testorig12.jpg", Outcome::Refuse, Reference::None, nullptr, "12-bit samples"},
    {"jpeg/pillow/truncated_jpeg.jpg", Outcome::Refuse, Reference::None, nullptr, kTruncated},
    {"jpeg/jpeg-decoder/partial_progressive.jpg", Outcome::Refuse, Reference::None, nullptr, kTruncated},
    // TGA: stb ignores the right-to-left bit, the attribute bit of 16-bit pixels and the
    // first-entry field of the colour map, and widens 5-bit channels as v * 255 / 31.
    {"tga/image-rs/b5-attrib.tga", Outcome::Decode, Reference::StbRgb, nullptr, kTga16},
    {"tga/image-rs/b5-noattrib.tga", Outcome::Decode, Reference::StbRgb, nullptr, kTga16},
    {"tga/image-rs/b5-cmap.tga", Outcome::Decode, Reference::StbRgb, nullptr, kTga16},
    {"tga/image-rs/b5-unused-cmap.tga", Outcome::Decode, Reference::TwinRgb, "tga/image-rs/reference/b5-unused-cmap.tga.png",
     "stb refuses it; image-rs reference"},
    {"tga/image-rs/bottom_right.tga", Outcome::Decode, Reference::Twin, "tga/image-rs/reference/bottom_right.tga.png",
     "right to left: image-rs reference"},
    {"tga/image-rs/top_right.tga", Outcome::Decode, Reference::Twin, "tga/image-rs/reference/top_right.tga.png",
     "right to left: image-rs reference"},
    {"tga/image-rs/cmap_offset.tga", Outcome::Decode, Reference::Twin, "tga/image-rs/reference/cmap_offset.tga.png",
     "colour map from entry 39: image-rs reference"},
    {"tga/pillow/p_16.tga", Outcome::Decode, Reference::StbRgb, nullptr, kTga16},
    {"tga/pillow/rgba16.tga", Outcome::Decode, Reference::StbRgb, nullptr, kTga16},
    {"tga/pillow/rgb32rle_bottom_right.tga", Outcome::Decode, Reference::None, nullptr, "right to left: stb ignores it"},
    {"tga/pillow/rgb32rle_top_right.tga", Outcome::Decode, Reference::None, nullptr, "right to left: stb ignores it"},
    {"tga/pillow/common/200x32_la_bl_raw.tga", Outcome::Refuse, Reference::None, nullptr, kGreyAlpha},
    {"tga/pillow/common/200x32_la_bl_rle.tga", Outcome::Refuse, Reference::None, nullptr, kGreyAlpha},
    {"tga/pillow/common/200x32_la_tl_raw.tga", Outcome::Refuse, Reference::None, nullptr, kGreyAlpha},
    {"tga/pillow/common/200x32_la_tl_rle.tga", Outcome::Refuse, Reference::None, nullptr, kGreyAlpha},
    {"tga/pillow/la.tga", Outcome::Refuse, Reference::None, nullptr, kGreyAlpha},
    // PPM: P3 and P6 only; stb reads no P3, so each P3 file is held against its P6 twin.
    {"ppm/libjpeg-turbo/monkey16.ppm", Outcome::Refuse, Reference::None, nullptr, "binary samples above 255"},
    {"ppm/pillow/hopper_8bit_plain.ppm", Outcome::Decode, Reference::Twin, "ppm/pillow/hopper_8bit.ppm", kP3},
    {"ppm/pixie/feep.p3.master.ppm", Outcome::Decode, Reference::Twin, "ppm/pixie/feep.p6.master.ppm", kP3},
    {"ppm/pixie/feep.p3.hidepth.master.ppm", Outcome::Decode, Reference::TwinRgb, "ppm/pixie/feep.p6.master.ppm",
     "stb reads no P3; maximum 7919 scales with truncation, within 1 of the 8-bit twin"},
};

struct CorpusFile {
    std::string path;
    std::string group;
    std::string format;
    int width = 0;
    int height = 0;
    std::string notes;
};

fs::path CorpusDir() { return fs::path(TOLVANE_CORPUS_DIR); }

std::vector<CorpusFile> ReadIndex() {
    std::vector<CorpusFile> files;
    std::ifstream index(CorpusDir() / "index.tsv");
    std::string line;
    std::getline(index, line);  // column names
    while (std::getline(index, line)) {
        std::vector<std::string> cells;
        std::stringstream cellStream(line);
        std::string cell;
        while (std::getline(cellStream, cell, '\t')) {
            cells.push_back(cell);
        }
        cells.resize(6);
        CorpusFile file;
        file.path = cells[0];
        file.group = cells[1];
        file.format = cells[2];
        file.width = std::atoi(cells[3].c_str());
        file.height = std::atoi(cells[4].c_str());
        file.notes = cells[5];
        files.push_back(file);
    }
    return files;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool HasNote(const CorpusFile& file, const std::string& note) {
    return ("," + file.notes + ",").find("," + note + ",") != std::string::npos;
}

// ---- our records as RGBA ----------------------------------------------------------------

std::uint8_t Widen(std::uint32_t value, int bits) {
    // Bit replication, the usual widening of an n-bit channel to 8 bits.
    std::uint32_t v = value << (8 - bits);
    for (int filled = bits; filled < 8; filled += bits) {
        v |= v >> bits;
    }
    return static_cast<std::uint8_t>(v);
}

Bytes ToRgba(const DecodedImage& image) {
    const int width = image.Rect.right;
    const int height = image.Rect.bottom;
    Bytes out(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = image.Pixels + static_cast<std::size_t>(y) * image.Pitch;
        for (int x = 0; x < width; ++x) {
            std::uint8_t* o = &out[(static_cast<std::size_t>(y) * width + x) * 4];
            const std::uint8_t* p = nullptr;
            std::uint32_t v = 0;
            switch (image.Format) {
            case D3DFMT_P8:
                std::memcpy(o, image.Palette + 4 * row[x], 4);
                break;
            case D3DFMT_L8:
                o[0] = o[1] = o[2] = row[x], o[3] = 255;
                break;
            case D3DFMT_A8L8:
                o[0] = o[1] = o[2] = row[2 * x], o[3] = row[2 * x + 1];
                break;
            case D3DFMT_R8G8B8:
                p = row + 3 * x;
                o[0] = p[2], o[1] = p[1], o[2] = p[0], o[3] = 255;
                break;
            case D3DFMT_X8R8G8B8:
            case D3DFMT_A8R8G8B8:
                p = row + 4 * x;
                o[0] = p[2], o[1] = p[1], o[2] = p[0];
                o[3] = image.Format == D3DFMT_A8R8G8B8 ? p[3] : 255;
                break;
            case D3DFMT_X1R5G5B5:
            case D3DFMT_A1R5G5B5:
                v = row[2 * x] | (row[2 * x + 1] << 8);
                o[0] = Widen((v >> 10) & 31, 5), o[1] = Widen((v >> 5) & 31, 5), o[2] = Widen(v & 31, 5);
                o[3] = image.Format == D3DFMT_X1R5G5B5 || (v & 0x8000) ? 255 : 0;
                break;
            case D3DFMT_R5G6B5:
                v = row[2 * x] | (row[2 * x + 1] << 8);
                o[0] = Widen(v >> 11, 5), o[1] = Widen((v >> 5) & 63, 6), o[2] = Widen(v & 31, 5), o[3] = 255;
                break;
            case D3DFMT_A4R4G4B4:
                v = row[2 * x] | (row[2 * x + 1] << 8);
                o[0] = Widen((v >> 8) & 15, 4), o[1] = Widen((v >> 4) & 15, 4), o[2] = Widen(v & 15, 4);
                o[3] = Widen(v >> 12, 4);
                break;
            default:
                ADD_FAILURE() << "format " << image.Format << " has no RGBA view in this test";
                return {};
            }
        }
    }
    return out;
}

struct Rgba {
    int width = 0;
    int height = 0;
    Bytes pixels;
};

bool StbDecode(const Bytes& data, Rgba& out) {
    int components = 0;
    stbi_uc* pixels = stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &out.width, &out.height,
                                            &components, 4);
    if (pixels == nullptr) {
        return false;
    }
    out.pixels.assign(pixels, pixels + static_cast<std::size_t>(out.width) * out.height * 4);
    stbi_image_free(pixels);
    return true;
}

// libjpeg with its defaults, as RGBA.
bool LibJpegDecode(const Bytes& data, Rgba& out) {
    struct Errors {
        jpeg_error_mgr pub;
        jmp_buf jump;
    } errors{};
    jpeg_decompress_struct cinfo{};
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = [](j_common_ptr info) { longjmp(reinterpret_cast<Errors*>(info->err)->jump, 1); };
    errors.pub.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), data.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const int n = cinfo.output_components;
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.pixels.assign(static_cast<std::size_t>(out.width) * out.height * 4, 255);
    Bytes row(static_cast<std::size_t>(out.width) * n);
    while (cinfo.output_scanline < cinfo.output_height) {
        std::uint8_t* o = &out.pixels[static_cast<std::size_t>(cinfo.output_scanline) * out.width * 4];
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
        for (int x = 0; x < out.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                o[4 * x + c] = row[static_cast<std::size_t>(x) * n + (n == 1 ? 0 : c)];
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// Largest channel difference, over RGB only or all four channels.
int MaxDifference(const Bytes& a, const Bytes& b, bool alpha) {
    int worst = 0;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (!alpha && i % 4 == 3) {
            continue;
        }
        worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    return worst;
}

// The file gamma of a PNG's gAMA chunk when it has no sRGB chunk; 0 otherwise.
double PngFileGamma(const Bytes& png) {
    double gamma = 0.0;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::uint32_t length = (png[at] << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        const std::string type(png.begin() + static_cast<long>(at) + 4, png.begin() + static_cast<long>(at) + 8);
        if (type == "sRGB") {
            return 0.0;
        }
        if (type == "gAMA" && length == 4 && at + 12 <= png.size()) {
            const std::uint8_t* g = &png[at + 8];
            gamma = ((g[0] << 24) | (g[1] << 16) | (g[2] << 8) | g[3]) / 100000.0;
        }
        if (type == "IDAT") {
            break;
        }
        at += 12 + static_cast<std::size_t>(length);
    }
    return gamma;
}

// The corpus's own PNG reference of a JPEG, when it has one ("x.jpg" -> "x.png").
bool ReferencePng(const CorpusFile& file, Rgba& out) {
    fs::path png = CorpusDir() / file.path;
    png.replace_extension(".png");
    return fs::exists(png) && StbDecode(ReadFile(png), out);
}

const Expectation* FindExpectation(const std::string& path) {
    for (const Expectation& e : kExpectations) {
        if (path == e.path) {
            return &e;
        }
    }
    return nullptr;
}

struct Verdict {
    Outcome outcome;
    Reference reference;
    const char* twin = nullptr;
    std::string why;
};

// Defaults by group; the table above overrides.
Verdict ExpectedFor(const CorpusFile& file) {
    if (const Expectation* e = FindExpectation(file.path)) {
        return {e->outcome, e->reference, e->twin, e->why};
    }
    if (HasNote(file, "expected-to-fail") || file.format == "empty") {
        return {Outcome::Refuse, Reference::None, nullptr, "broken file"};
    }
    if (HasNote(file, "must-not-crash") || file.group == "bmp-bad") {
        return {Outcome::Either, Reference::None, nullptr, "broken file"};
    }
    if (HasNote(file, "not-ppm")) {
        return {Outcome::Refuse, Reference::None, nullptr, "PGM and PBM are not read (P3 and P6 only)"};
    }
    if (file.format == "jpeg") {
        return {Outcome::Decode, Reference::LibJpeg, nullptr, ""};
    }
    return {Outcome::Decode, Reference::Stb, nullptr, ""};
}

void CheckFile(const CorpusFile& file) {
    SCOPED_TRACE(file.path);
    const Bytes data = ReadFile(CorpusDir() / file.path);
    const Verdict verdict = ExpectedFor(file);
    DecodedImage image;
    ImageInfo info{};
    const HRESULT hr = DecodeImage(&image, data.empty() ? nullptr : data.data(), static_cast<UINT>(data.size()), &info);
    const bool decoded = hr == S_OK;
    if (getenv("TOLVANE_CORPUS_REPORT") != nullptr) {
        Rgba stb;
        const bool stbOk = StbDecode(data, stb);
        int diff = -1;
        if (decoded && stbOk && stb.width == static_cast<int>(info.Width) && stb.height == static_cast<int>(info.Height)) {
            diff = MaxDifference(ToRgba(image), stb.pixels, true);
        }
        std::printf("REPORT %s ours=%s fmt=%u %ux%u stb=%s diff=%d\n", file.path.c_str(),
                    decoded ? "ok" : "refused", static_cast<unsigned>(info.Format), info.Width, info.Height,
                    stbOk ? "ok" : "no", diff);
    }
    switch (verdict.outcome) {
    case Outcome::Refuse:
        EXPECT_NE(hr, S_OK) << "should be refused: " << verdict.why;
        return;
    case Outcome::Either:
        EXPECT_TRUE(hr == S_OK || hr == ERR_INVALID_DATA) << hr;
        return;
    case Outcome::Decode:
        break;
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(static_cast<int>(info.Width), file.width);
    EXPECT_EQ(static_cast<int>(info.Height), file.height);
    const Bytes ours = ToRgba(image);
    Rgba theirs;
    switch (verdict.reference) {
    case Reference::None:
        return;
    case Reference::Stb:
    case Reference::StbRgb:
        ASSERT_TRUE(StbDecode(data, theirs)) << stbi_failure_reason();
        break;
    case Reference::Twin:
    case Reference::TwinRgb:
        ASSERT_TRUE(StbDecode(ReadFile(CorpusDir() / verdict.twin), theirs));
        break;
    case Reference::LibJpeg: {
        ASSERT_TRUE(LibJpegDecode(data, theirs));
        EXPECT_EQ(MaxDifference(ours, theirs.pixels, true), 0) << "libjpeg called directly";
        Rgba magick;
        if (ReferencePng(file, magick)) {
            // ImageMagick on libjpeg-turbo; its references are exact but for a rounding of
            // at most 2 in a few files (the corpus manifest lists them).
            ASSERT_EQ(magick.width, theirs.width);
            EXPECT_LE(MaxDifference(ours, magick.pixels, false), 2) << "ImageMagick reference";
        }
        return;
    }
    }
    ASSERT_EQ(theirs.width, static_cast<int>(info.Width));
    ASSERT_EQ(theirs.height, static_cast<int>(info.Height));
    if (verdict.reference == Reference::StbRgb || verdict.reference == Reference::TwinRgb) {
        EXPECT_LE(MaxDifference(ours, theirs.pixels, false), 1) << verdict.why;
        return;
    }
    const double gamma = file.format == "png" ? PngFileGamma(data) : 0.0;
    const bool palette = file.format == "png" && data.size() > 25 && data[25] == 3;
    const bool sixteenBits = file.format == "png" && data.size() > 25 && data[24] == 16;
    if (gamma > 0.0 && (palette || std::fabs(gamma * 2.2 - 1.0) > 0.05)) {
        // stb leaves gamma alone; libpng corrects colour samples (not alpha) to a display
        // gamma of 2.2 when the correction is significant, and the palette is always
        // corrected. Apply the same correction to stb's samples, from 16 bits where the
        // file has them (libpng corrects before it drops the low byte).
        const double exponent = 1.0 / (gamma * 2.2);
        std::vector<double> samples(theirs.pixels.begin(), theirs.pixels.end());
        double scale = 255.0;
        if (sixteenBits) {
            int w = 0, h = 0, n = 0;
            stbi_us* wide = stbi_load_16_from_memory(data.data(), static_cast<int>(data.size()), &w, &h, &n, 4);
            ASSERT_NE(wide, nullptr);
            samples.assign(wide, wide + samples.size());
            stbi_image_free(wide);
            scale = 65535.0;
        }
        for (std::size_t i = 0; i < samples.size(); ++i) {
            if (i % 4 != 3) {  // alpha stays as stb read it
                theirs.pixels[i] =
                    static_cast<std::uint8_t>(std::floor(255.0 * std::pow(samples[i] / scale, exponent) + 0.5));
            }
        }
        EXPECT_LE(MaxDifference(ours, theirs.pixels, true), sixteenBits ? 2 : 1) << "gamma " << gamma;
        return;
    }
    EXPECT_EQ(MaxDifference(ours, theirs.pixels, true), 0);
}

class Corpus : public ::testing::TestWithParam<const char*> {};

TEST_P(Corpus, EveryFileOfTheGroup) {
    ASSERT_TRUE(fs::exists(CorpusDir() / "index.tsv")) << "no corpus index at " << CorpusDir() / "index.tsv";
    int files = 0;
    for (const CorpusFile& file : ReadIndex()) {
        if (file.group == GetParam()) {
            CheckFile(file);
            ++files;
        }
    }
    EXPECT_GT(files, 0);
}

INSTANTIATE_TEST_SUITE_P(Groups, Corpus,
                         ::testing::Values("bmp-good", "bmp-questionable", "bmp-bad", "png", "jpeg", "tga", "ppm"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                             return name;
                         });

}  // namespace
