// The texture tool end to end, on real files from the corpus and on files built here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "image/image_file.h"
#include "texture_test_util.h"

#ifdef TOLVANE_TEX_TOOL

using namespace texture_test;

namespace {

struct ToolRun {
    int status;
    std::string out, err;
};

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

ToolRun RunTool(const std::string& arguments) {
    const std::string dir = std::filesystem::path(WriteTempFile("stdout.txt", {})).parent_path().string();
    const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
    const std::string command = std::string(TOLVANE_PROGRAM_LAUNCHER) + " '" + TOLVANE_TEX_TOOL + "' " + arguments +
                                " >'" + out + "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
}

std::string Corpus(const std::string& relative) { return std::string(TOLVANE_CORPUS_DIR) + "/" + relative; }

// A corpus file the test reads; its absence fails the test with the path looked for.
::testing::AssertionResult InCorpus(const std::string& relative) {
    if (std::filesystem::exists(Corpus(relative))) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no corpus file at " << Corpus(relative);
}

// A decoded file kept with its bytes, which a DDS image points into.
struct Decoded {
    Bytes bytes;
    DecodedImage image;
};

bool DecodeFile(const std::string& path, Decoded* d) {
    const std::string text = ReadText(path);
    d->bytes.assign(text.begin(), text.end());
    return !d->bytes.empty() &&
           DecodeImage(&d->image, d->bytes.data(), static_cast<UINT>(d->bytes.size()), nullptr) == S_OK;
}

std::uint32_t PixelX8(const DecodedImage& image, UINT x, UINT y) {
    std::uint32_t v;
    std::memcpy(&v, image.Pixels + y * image.Pitch + x * 4, 4);
    return v;
}

std::uint32_t Expand565(std::uint16_t v) {
    const std::uint32_t r = (v >> 11) & 31, g = (v >> 5) & 63, b = v & 31;
    return 0xFF000000u | ((r * 255 / 31) << 16) | ((g * 255 / 63) << 8) | (b * 255 / 31);
}

// Mean of the red, green and blue channels of an X8R8G8B8 or A8R8G8B8 image.
double MeanChannel(const DecodedImage& image, int shift) {
    double sum = 0;
    const UINT w = static_cast<UINT>(image.Rect.right), h = static_cast<UINT>(image.Rect.bottom);
    for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < w; ++x) sum += (PixelX8(image, x, y) >> shift) & 0xFF;
    }
    return sum / (static_cast<double>(w) * h);
}

}  // namespace

TEST(TexTool, HelpAndCommandLineErrors) {
    ToolRun r = RunTool("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"info", "decode", "convert", "--caps", "--formats", "+mirroru", "maxsize=N"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    EXPECT_EQ(RunTool("").status, 2);
    EXPECT_EQ(RunTool("shrink a b").status, 2);
    EXPECT_EQ(RunTool("convert a.jpg out.bmp").status, 2);
    r = RunTool("convert a.jpg out.dds --filter cubic");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cubic"), std::string::npos);
    EXPECT_EQ(RunTool("convert a.jpg out.dds --caps pow3").status, 2);
    EXPECT_EQ(RunTool("convert a.jpg out.dds --formats D3DFMT_NOPE").status, 2);
}

TEST(TexTool, FailuresNameTheCodeAndTheFile) {
    ToolRun r = RunTool("info /nonexistent/tolvane/missing.jpg");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("ERROR_FILE_NOT_FOUND 0x80070002"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("/nonexistent/tolvane/missing.jpg"), std::string::npos);
    const std::string junk = WriteTempFile("junk.bin", Bytes(100, 0));
    r = RunTool("convert '" + junk + "' '" + junk + ".dds'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("ERR_INVALID_DATA 0x88760B59"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(junk), std::string::npos);
    EXPECT_TRUE(r.out.empty());
    // A JPEG is not a cube map.
    const std::string jpeg = WriteTempFile("flat.jpg", MakeJpeg(16, 16, [](UINT, UINT) { return 0x404040u; }));
    r = RunTool("convert '" + jpeg + "' '" + jpeg + ".dds' --cube");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("E_FAIL 0x80004005"), std::string::npos) << r.err;
}

TEST(TexTool, InfoOfCorpusFiles) {
    ASSERT_TRUE(InCorpus("jpeg/libjpeg-turbo/testorig.jpg"));
    ToolRun r = RunTool("info '" + Corpus("jpeg/libjpeg-turbo/testorig.jpg") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":227,\"height\":149,\"depth\":1,\"mipLevels\":1,\"format\":\"D3DFMT_X8R8G8B8\"}\n");
    r = RunTool("info '" + Corpus("png/pngsuite/basn3p08.png") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":32,\"height\":32,\"depth\":1,\"mipLevels\":1,\"format\":\"D3DFMT_P8\"}\n");
}

TEST(TexTool, ConvertAtTheImageSizeKeepsPixelsWithinTheFormatsPrecision) {
    const std::string source = Corpus("jpeg/libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(InCorpus("jpeg/libjpeg-turbo/testorig.jpg"));
    const std::string out = WriteTempFile("out565.dds", {});
    ToolRun r = RunTool("convert '" + source + "' '" + out +
                        "' --format D3DFMT_R5G6B5 --filter point --levels 1 --caps nomipmap");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":227,\"height\":149,\"levels\":1,\"format\":\"D3DFMT_R5G6B5\"}\n");
    Decoded original, converted;
    ASSERT_TRUE(DecodeFile(source, &original));
    ASSERT_TRUE(DecodeFile(out, &converted));
    ASSERT_EQ(converted.image.Format, D3DFMT_R5G6B5);
    ASSERT_EQ(converted.image.Rect.right, 227);
    ASSERT_EQ(converted.image.Rect.bottom, 149);
    int worst = 0;
    for (UINT y = 0; y < 149; ++y) {
        for (UINT x = 0; x < 227; ++x) {
            std::uint16_t v;
            std::memcpy(&v, converted.image.Pixels + y * converted.image.Pitch + x * 2, 2);
            worst = std::max(worst, ColorDistance(Expand565(v), PixelX8(original.image, x, y)));
        }
    }
    EXPECT_LE(worst, 9) << "one step of a 5-bit channel is 8.2";
}

TEST(TexTool, ConvertToPowersOfTwoWithAFullChain) {
    const std::string source = Corpus("jpeg/libjpeg-turbo/testorig.jpg");
    ASSERT_TRUE(InCorpus("jpeg/libjpeg-turbo/testorig.jpg"));
    const std::string out = WriteTempFile("pow2.dds", {});
    ToolRun r = RunTool("convert '" + source + "' '" + out + "' --caps pow2,aspect=0 --formats D3DFMT_X8R8G8B8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":256,\"height\":256,\"levels\":9,\"format\":\"D3DFMT_X8R8G8B8\"}\n");
    Decoded original, converted;
    ASSERT_TRUE(DecodeFile(source, &original));
    ASSERT_TRUE(DecodeFile(out, &converted));
    UINT levels = 0;
    const DecodedImage* last = nullptr;
    for (const DecodedImage* l = &converted.image; l; l = l->NextLevel, ++levels) {
        EXPECT_EQ(l->Rect.right, 256 >> levels);
        last = l;
    }
    EXPECT_EQ(levels, 9u);
    // The 1x1 level is the picture's average colour.
    for (int shift : {0, 8, 16}) {
        EXPECT_NEAR(MeanChannel(*last, shift), MeanChannel(original.image, shift), 6.0) << "channel at " << shift;
        EXPECT_NEAR(MeanChannel(converted.image, shift), MeanChannel(original.image, shift), 3.0);
    }
    // Clamped to the device's largest size.
    r = RunTool("convert '" + source + "' '" + out + "' --caps maxsize=64,aspect=0 --formats D3DFMT_X8R8G8B8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":64,\"height\":64,\"levels\":7,\"format\":\"D3DFMT_X8R8G8B8\"}\n");
}

TEST(TexTool, ConvertToDxt1) {
    const std::string source = Corpus("jpeg/pillow/hopper.jpg");
    ASSERT_TRUE(InCorpus("jpeg/pillow/hopper.jpg"));
    if (!HaveDxtCodec()) GTEST_SKIP() << "the converter has no DXT codec yet";
    const std::string out = WriteTempFile("dxt1.dds", {});
    ToolRun r = RunTool("convert '" + source + "' '" + out + "' --format D3DFMT_DXT1 --levels 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":128,\"height\":128,\"levels\":1,\"format\":\"D3DFMT_DXT1\"}\n");
    Decoded original, converted;
    ASSERT_TRUE(DecodeFile(source, &original));
    ASSERT_TRUE(DecodeFile(out, &converted));
    ASSERT_EQ(converted.image.Format, D3DFMT_DXT1);
    double total = 0;
    for (UINT by = 0; by < 32; ++by) {
        for (UINT bx = 0; bx < 32; ++bx) {
            std::uint32_t texels[16];
            DecodeDxt1Block(converted.image.Pixels + by * converted.image.Pitch + bx * 8, texels);
            for (UINT i = 0; i < 16; ++i) {
                total += ColorDistance(texels[i], PixelX8(original.image, bx * 4 + i % 4, by * 4 + i / 4));
            }
        }
    }
    EXPECT_LT(total / (128 * 128), 12.0) << "mean largest-channel error of the block coding";
}

TEST(TexTool, PngLevelsFormatsWithoutDdsFormAndFormatChoice) {
    const std::string source = Corpus("png/pngsuite/basn3p08.png");
    ASSERT_TRUE(InCorpus("png/pngsuite/basn3p08.png"));
    const std::string png = WriteTempFile("level1.png", {});
    ToolRun r = RunTool("convert '" + source + "' '" + png + "' --level 1");
    ASSERT_EQ(r.status, 0) << r.err;
    Decoded level1;
    ASSERT_TRUE(DecodeFile(png, &level1));
    EXPECT_EQ(level1.image.Rect.right, 16);
    EXPECT_EQ(level1.image.Rect.bottom, 16);

    // A palettised texture has no DDS form here: the levels are written as A8R8G8B8.
    const std::string dds = WriteTempFile("p8.dds", {});
    r = RunTool("convert '" + source + "' '" + dds + "' --format D3DFMT_P8 --formats D3DFMT_P8,D3DFMT_A8R8G8B8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"format\":\"D3DFMT_P8\""), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("D3DFMT_A8R8G8B8"), std::string::npos);
    Decoded wide, decodedPng;
    ASSERT_TRUE(DecodeFile(dds, &wide));
    EXPECT_EQ(wide.image.Format, D3DFMT_A8R8G8B8);
    const std::string full = WriteTempFile("full.png", {});
    ASSERT_EQ(RunTool("decode '" + source + "' '" + full + "'").status, 0);
    ASSERT_TRUE(DecodeFile(full, &decodedPng));
    for (UINT y = 0; y < 32; ++y) {
        for (UINT x = 0; x < 32; ++x) {
            ASSERT_LE(ColorDistance(PixelX8(wide.image, x, y), PixelX8(decodedPng.image, x, y)), 0) << x << "," << y;
        }
    }

    // The device's formats decide: X8R8G8B8 wanted, only 16-bit formats offered.
    r = RunTool("convert '" + Corpus("jpeg/pillow/hopper.jpg") + "' '" + dds +
                "' --formats D3DFMT_A1R5G5B5,D3DFMT_R5G6B5 --levels 2");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":128,\"height\":128,\"levels\":2,\"format\":\"D3DFMT_R5G6B5\"}\n");
}

TEST(TexTool, CubeMapsRoundTrip) {
    const std::uint32_t colors[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
    const std::string source = WriteTempFile("cube.dds", MakeDdsArgb(16, 16, 1, 6, [&](UINT face, UINT) {
        return [c = colors[face]](UINT, UINT) { return c; };
    }));
    const std::string out = WriteTempFile("cube-out.dds", {});
    ToolRun r = RunTool("convert '" + source + "' '" + out + "' --cube --format D3DFMT_A4R4G4B4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "{\"width\":16,\"height\":16,\"levels\":5,\"format\":\"D3DFMT_A4R4G4B4\"}\n");
    Decoded cube;
    ASSERT_TRUE(DecodeFile(out, &cube));
    UINT face = 0;
    for (const DecodedImage* f = &cube.image; f; f = f->NextFace, ++face) {
        ASSERT_LT(face, 6u);
        EXPECT_EQ(f->Format, D3DFMT_A4R4G4B4);
        UINT levels = 0;
        for (const DecodedImage* l = f; l; l = l->NextLevel, ++levels) {
            std::uint16_t v;
            std::memcpy(&v, l->Pixels, 2);
            const std::uint32_t c = colors[face];
            const std::uint16_t expected = static_cast<std::uint16_t>(0xF000 | ((c >> 20) & 0xF) << 8 |
                                                                      ((c >> 12) & 0xF) << 4 | ((c >> 4) & 0xF));
            EXPECT_EQ(v, expected) << "face " << face << " level " << levels;
        }
        EXPECT_EQ(levels, 5u);
    }
    EXPECT_EQ(face, 6u);
}

// A default-pool texture does not lock: the tool reads it through a system-memory copy and
// writes the very bytes a managed texture gives, for flat and cube textures, in a plain
// format and in DXT1 (whose smallest levels are partial blocks).
TEST(TexTool, DefaultPoolWritesWhatTheManagedPoolWrites) {
    auto pattern = [](UINT face, UINT) {
        return [face](UINT x, UINT y) { return 0xFF000000u | (x * 16) << 16 | (y * 16) << 8 | face * 40; };
    };
    const std::string flat = WriteTempFile("pool-flat.dds", MakeDdsArgb(16, 16, 1, 1, pattern));
    const std::string cube = WriteTempFile("pool-cube.dds", MakeDdsArgb(16, 16, 1, 6, pattern));
    std::vector<std::string> formats = {"D3DFMT_A8R8G8B8"};
    if (HaveDxtCodec()) formats.push_back("D3DFMT_DXT1");
    for (const std::string& source : {flat, cube}) {
        for (const std::string& format : formats) {
            SCOPED_TRACE(source + " " + format);
            const std::string options = (source == cube ? " --cube" : "") + std::string(" --format ") + format;
            const std::string managed = WriteTempFile("pool-managed.dds", {});
            const std::string device = WriteTempFile("pool-default.dds", {});
            ToolRun r = RunTool("convert '" + source + "' '" + managed + "'" + options);
            ASSERT_EQ(r.status, 0) << r.err;
            r = RunTool("convert '" + source + "' '" + device + "'" + options + " --pool default");
            ASSERT_EQ(r.status, 0) << r.err;
            const std::string written = ReadText(managed);
            EXPECT_GT(written.size(), 128u);
            EXPECT_EQ(ReadText(device), written);
        }
    }
}

namespace {

std::size_t CountLines(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) n += line.find(word) != std::string::npos;
    return n;
}

std::vector<std::string> FilesUnder(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (e.is_regular_file()) files.push_back(std::filesystem::relative(e.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

// A folder of corpus files with broken ones among them, converted on three threads: every
// good file gives the bytes a one-file run gives, every bad one is reported on one line
// with its result code, nothing is written for it, and the exit status is 1.
TEST(TexToolBatch, ConvertsGoodFilesAsOneFileRunsAndReportsBadOnes) {
    const std::vector<std::string> good = {"jpeg/pillow/hopper.jpg", "png/pngsuite/basn3p08.png",
                                           "jpeg/libjpeg-turbo/testorig.jpg"};
    for (const std::string& f : good) {
        ASSERT_TRUE(InCorpus(f));
    }
    namespace fs = std::filesystem;
    const fs::path in = fs::path(WriteTempFile("unused", {})).parent_path() / "in";
    const fs::path out = in.parent_path() / "out";
    fs::remove_all(in);
    fs::remove_all(out);
    fs::create_directories(in / "sub");
    fs::copy_file(Corpus(good[0]), in / "hopper.jpg");
    fs::copy_file(Corpus(good[1]), in / "palette.png");
    fs::copy_file(Corpus(good[2]), in / "sub" / "testorig.jpg");
    std::ofstream(in / "junk.png") << std::string(100, '\0');
    std::ofstream(in / "sub" / "empty.bmp");
    std::ofstream(in / "notes.txt") << "not an image";
    // More files than threads, so that conversions overlap (the thread-sanitizer run).
    for (int i = 0; i < 8; ++i) fs::copy_file(Corpus(good[0]), in / "sub" / ("copy" + std::to_string(i) + ".jpg"));

    ToolRun r = RunTool("convert '" + in.string() + "' --out-dir '" + out.string() + "' -r -j 3 --format D3DFMT_DXT1");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("converted 11, failed 2;"), std::string::npos) << r.out;
    EXPECT_EQ(CountLines(r.err, "ERR_INVALID_DATA 0x88760B59: " + (in / "junk.png").string()), 1u) << r.err;
    EXPECT_EQ(CountLines(r.err, (in / "sub" / "empty.bmp").string() + ": cannot create the texture"), 1u) << r.err;
    std::vector<std::string> expected = {"hopper.dds", "palette.dds", "sub/testorig.dds"};
    for (int i = 0; i < 8; ++i) expected.push_back("sub/copy" + std::to_string(i) + ".dds");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FilesUnder(out.string()), expected);
    for (const auto& [source, converted] : {std::pair{"hopper.jpg", "hopper.dds"}, std::pair{"palette.png", "palette.dds"},
                                           std::pair{"sub/testorig.jpg", "sub/testorig.dds"}}) {
        const std::string single = WriteTempFile("single.dds", {});
        ASSERT_EQ(RunTool("convert '" + (in / source).string() + "' '" + single + "' --format D3DFMT_DXT1").status, 0);
        EXPECT_EQ(ReadText(single), ReadText((out / converted).string())) << source;
    }

    // Without -r the subfolder is left alone; --json gives one line per file; --to png.
    fs::remove_all(out);
    r = RunTool("convert '" + in.string() + "' --out-dir '" + out.string() + "' --json --to png -j 2");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(CountLines(r.out, "{\"input\":"), 3u) << r.out;
    EXPECT_EQ(CountLines(r.out, "\"ok\":true,\"width\":"), 2u) << r.out;
    EXPECT_EQ(CountLines(r.out, "\"ok\":false,\"result\":\"ERR_INVALID_DATA\",\"value\":\"0x88760B59\""), 1u) << r.out;
    EXPECT_EQ(FilesUnder(out.string()), (std::vector<std::string>{"hopper.png", "palette.png"}));
}

// The output is written under another name and renamed: when the rename fails (the name is
// taken by a folder), the failure is reported and no temporary file stays behind.
TEST(TexToolBatch, AFailedWriteLeavesNoFile) {
    namespace fs = std::filesystem;
    const std::string source = WriteTempFile("flat.bmp", MakeBmp24(8, 8, [](UINT, UINT) { return 0x336699u; }));
    const fs::path out = fs::path(source).parent_path() / "out";
    fs::remove_all(out);
    fs::create_directories(out / "flat.dds" / "taken");
    ToolRun r = RunTool("convert '" + source + "' --out-dir '" + out.string() + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("E_FAIL 0x80004005: " + source), std::string::npos) << r.err;
    EXPECT_TRUE(FilesUnder(out.string()).empty()) << "only the folder that took the name";
    for (const auto& e : fs::directory_iterator(out)) EXPECT_EQ(e.path().filename(), "flat.dds");
    // The one-file form: the same.
    r = RunTool("convert '" + source + "' '" + (out / "flat.dds").string() + "'");
    EXPECT_EQ(r.status, 1);
    for (const auto& e : fs::directory_iterator(out)) EXPECT_EQ(e.path().filename(), "flat.dds");
    EXPECT_EQ(RunTool("convert a.bmp b.dds -j 2").status, 2) << "batch options need --out-dir";
}

namespace {

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                      static_cast<unsigned char>(bytes[at + 1]) << 8 |
                                      static_cast<unsigned char>(bytes[at + 2]) << 16 |
                                      static_cast<unsigned char>(bytes[at + 3]) << 24);
}

}  // namespace

// Each format keeps its own DDS form: the header's pixel format describes it and the level
// holds the device's bytes, which for a flat colour are the format's own packing of it.
// (The signed formats have theirs too, but no image file converts to them.)
TEST(TexTool, EveryFormatInItsOwnDdsForm) {
    const std::string source = WriteTempFile("flat.dds", MakeDdsArgb(4, 4, 1, 1, [](UINT, UINT) {
        return [](UINT, UINT) { return 0xFFFFFFFFu; };
    }));
    struct Case {
        const char* format;
        std::uint32_t flags, bits, r, g, b, a;
        std::uint32_t pixel;  // white, opaque, in the format's packing
    };
    const Case cases[] = {
        {"D3DFMT_X4R4G4B4", 0x40, 16, 0xF00, 0xF0, 0xF, 0, 0x0FFF},
        {"D3DFMT_R3G3B2", 0x40, 8, 0xE0, 0x1C, 0x3, 0, 0xFF},
        {"D3DFMT_A8R3G3B2", 0x41, 16, 0xE0, 0x1C, 0x3, 0xFF00, 0xFFFF},
        {"D3DFMT_A8", 0x2, 8, 0, 0, 0, 0xFF, 0xFF},
        {"D3DFMT_L8", 0x20000, 8, 0xFF, 0, 0, 0, 0xFF},
        {"D3DFMT_A8L8", 0x20001, 16, 0xFF, 0, 0, 0xFF00, 0xFFFF},
        {"D3DFMT_A4L4", 0x20001, 8, 0xF, 0, 0, 0xF0, 0xFF},
        {"D3DFMT_R8G8B8", 0x40, 24, 0xFF0000, 0xFF00, 0xFF, 0, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        const std::string out = WriteTempFile("own.dds", {});
        ToolRun r = RunTool("convert '" + source + "' '" + out + "' --levels 1 --format " + c.format + " --formats " +
                            c.format);
        ASSERT_EQ(r.status, 0) << c.format << r.err;
        EXPECT_EQ(r.err.find("no DDS form"), std::string::npos) << c.format;
        const std::string dds = ReadText(out);
        const std::uint32_t bytes = c.bits / 8;
        ASSERT_EQ(dds.size(), 128u + 16 * bytes) << c.format;
        EXPECT_EQ(Le32(dds, 80), c.flags) << c.format;
        EXPECT_EQ(Le32(dds, 84), 0u) << c.format;
        EXPECT_EQ(Le32(dds, 88), c.bits) << c.format;
        EXPECT_EQ(Le32(dds, 92), c.r) << c.format;
        EXPECT_EQ(Le32(dds, 96), c.g) << c.format;
        EXPECT_EQ(Le32(dds, 100), c.b) << c.format;
        EXPECT_EQ(Le32(dds, 104), c.a) << c.format;
        EXPECT_EQ(Le32(dds, 20), 4 * bytes) << c.format << ": the pitch";
        const std::uint32_t mask = (1u << (8 * bytes)) - 1;
        for (UINT i = 0; i < 16; ++i) EXPECT_EQ(Le32(dds + "   ", 128 + i * bytes) & mask, c.pixel) << c.format;
    }
}

#endif  // TOLVANE_TEX_TOOL
