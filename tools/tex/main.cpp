// tolvane-tex: inspects, decodes and converts image files through the image and texture
// libraries on the software device.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/convert.h"
#include "image/image_file.h"
#include "batch.h"
#include "convert.h"
#include "tools/common/names.h"
#include "writers.h"

namespace {

constexpr const char* USAGE = R"(usage:
  tolvane-tex info FILE
      Prints the image's summary as one JSON object:
      {"width":W,"height":H,"depth":1,"mipLevels":N,"format":"D3DFMT_..."}
  tolvane-tex decode FILE OUT.png [--level I] [--face F]
      Writes mip level I (default 0) of cube face F (default 0) of the decoded image as an
      8-bit RGBA PNG, palette applied.
  tolvane-tex convert FILE OUT.png|OUT.dds [options]
      Creates a texture (or with --cube a cube texture) from FILE on the software device,
      prints {"width":W,"height":H,"levels":N,"format":"D3DFMT_..."} on one line and writes
      every level (and face) to OUT.dds, or level --level I (face --face F) to OUT.png.
      The DDS holds each level in the texture's own format, bit for bit; only the
      palettised P8 and A8P8 are written as D3DFMT_A8R8G8B8 (a note on standard error says
      so). info and decode read back DDS files in A8R8G8B8, X8R8G8B8, R5G6B5, X1R5G5B5,
      A1R5G5B5, A4R4G4B4 and DXT1 to DXT5 only; the other forms are for other tools.
  tolvane-tex convert FILE|FOLDER... --out-dir DIR [-r] [--to dds|png] [-j N] [--json] [options]
      Converts many files at once, N at a time (default: one per processor), each to
      DIR/NAME.dds (or .png) with the options above. A FOLDER gives its files ending in
      .bmp .dib .dds .jpg .jpeg .png .ppm .tga (with -r those of its subfolders too, kept
      at the same place under DIR). Shows progress on standard error (a bar on a
      terminal, a line per file otherwise), each failure on one line with the result
      code's name, its value and the file, then a summary on standard output: files
      converted and failed, bytes read and written. --json prints one JSON object per
      file on standard output instead. Outputs are written under a temporary name and
      renamed when complete: a failed file leaves nothing. Exit status 1 if any file
      failed.
      --width W --height H     size of level 0 (default: the image's; with --cube, the larger
                               of the two is the cube's edge)
      --levels N               level count (default 0: full chain)
      --format D3DFMT_NAME     texture format (default: derived from the image)
      --pool default|managed|systemmem   (default managed)
      --filter F --mip-filter F          (default: the texture creation defaults)
      --color-key 0xAARRGGBB   colour made transparent (default 0: none)
      --cube                   make a cube texture (the file must hold six faces)
      --level I --face F       the level and face written to a PNG (default 0)
      --dxt-quality exact|high the DXT encoder: exact (default) is the texture layer's;
                               high refines every block by least squares over the best
                               indices (slower, never worse on any block)
      --caps LIST              the device's texture limits, a comma list of: pow2,
                               squareonly, nomipmap, nocubemipmap, cubepow2, maxsize=N,
                               aspect=N. Without it the device is the default profile
                               (powers of two, at most 4096); with it, the device starts
                               from one without limits (any size up to 4096, no aspect
                               limit, mipmaps) and takes on the listed ones
      --formats LIST           comma list of D3DFMT_ names the device accepts as textures
                               (default: the default device profile)
  A filter F is none, point, linear, triangle or box, optionally followed by +dither,
  +mirror, +mirroru, +mirrorv, +mirrorw; or a number (decimal or 0x hexadecimal).
  Failures print the result code's name and value and the file name on standard error
  and exit with status 1; a wrong command line exits with status 2.
)";

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "tolvane-tex: %s\n(tolvane-tex --help describes the commands)\n", message.c_str());
    std::exit(2);
}

int Fail(HRESULT hr, const std::string& file, const char* what) {
    std::fprintf(stderr, "tolvane-tex: %s: %s: %s\n", ResultText(hr).c_str(), file.c_str(), what);
    return 1;
}

bool ParseNumber(const std::string& text, DWORD* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || v > 0xFFFFFFFFull || text[0] == '-') return false;
    *value = static_cast<DWORD>(v);
    return true;
}

DWORD NumberArg(const std::string& option, const std::string& text) {
    DWORD v = 0;
    if (!ParseNumber(text, &v)) UsageError(option + " needs a number, not '" + text + "'");
    return v;
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}

DWORD ParseFilter(const std::string& option, const std::string& text) {
    DWORD number = 0;
    if (ParseNumber(text, &number)) return number;
    const std::vector<std::string> parts = SplitList(text, '+');
    DWORD filter = 0;
    const std::string& type = parts[0];
    if (type == "none") {
        filter = FILTER_NONE;
    } else if (type == "point") {
        filter = FILTER_POINT;
    } else if (type == "linear") {
        filter = FILTER_LINEAR;
    } else if (type == "triangle") {
        filter = FILTER_TRIANGLE;
    } else if (type == "box") {
        filter = FILTER_BOX;
    } else {
        UsageError(option + ": unknown filter '" + type + "'");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "dither") {
            filter |= FILTER_DITHER;
        } else if (parts[i] == "mirror") {
            filter |= FILTER_MIRROR;
        } else if (parts[i] == "mirroru") {
            filter |= FILTER_MIRROR_U;
        } else if (parts[i] == "mirrorv") {
            filter |= FILTER_MIRROR_V;
        } else if (parts[i] == "mirrorw") {
            filter |= FILTER_MIRROR_W;
        } else {
            UsageError(option + ": unknown filter flag '" + parts[i] + "'");
        }
    }
    return filter;
}

void ApplyCaps(const std::string& list, D3DDeviceProfile* profile) {
    profile->TextureCaps &= ~(D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_CUBEMAP_POW2 |
                              D3DPTEXTURECAPS_NONPOW2CONDITIONAL);
    profile->TextureCaps |= D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPCUBEMAP;
    profile->MaxTextureAspectRatio = 0;
    for (const std::string& cap : SplitList(list, ',')) {
        if (cap == "pow2") {
            profile->TextureCaps |= D3DPTEXTURECAPS_POW2;
        } else if (cap == "squareonly") {
            profile->TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
        } else if (cap == "nomipmap") {
            profile->TextureCaps &= ~D3DPTEXTURECAPS_MIPMAP;
        } else if (cap == "nocubemipmap") {
            profile->TextureCaps &= ~D3DPTEXTURECAPS_MIPCUBEMAP;
        } else if (cap == "cubepow2") {
            profile->TextureCaps |= D3DPTEXTURECAPS_CUBEMAP_POW2;
        } else if (cap.rfind("maxsize=", 0) == 0) {
            const DWORD n = NumberArg("--caps maxsize", cap.substr(8));
            if (n == 0) UsageError("--caps maxsize must be at least 1");
            profile->MaxTextureWidth = profile->MaxTextureHeight = n;
        } else if (cap.rfind("aspect=", 0) == 0) {
            profile->MaxTextureAspectRatio = NumberArg("--caps aspect", cap.substr(7));
        } else {
            UsageError("--caps: unknown capability '" + cap + "'");
        }
    }
}

std::vector<D3DFORMAT> ParseFormatList(const std::string& list) {
    std::vector<D3DFORMAT> formats;
    for (const std::string& name : SplitList(list, ',')) {
        D3DFORMAT f;
        if (!ParseFormatName(name, &f) || f == D3DFMT_UNKNOWN) UsageError("--formats: unknown format '" + name + "'");
        formats.push_back(f);
    }
    return formats;
}

// The whole file in memory, kept for as long as a decoded image points into it.
struct LoadedImage {
    MappedFile file;
    DecodedImage image;
    ImageInfo info = {};
};

HRESULT LoadImage(const std::string& path, LoadedImage* out) {
    HRESULT hr = out->file.Open(path.c_str(), false);
    if (FAILED(hr)) return hr;
    return DecodeImage(&out->image, out->file.View, out->file.Size, &out->info);
}

int CommandInfo(const std::vector<std::string>& args) {
    if (args.size() != 1) UsageError("info takes one FILE");
    LoadedImage loaded;
    HRESULT hr = LoadImage(args[0], &loaded);
    if (FAILED(hr)) return Fail(hr, args[0], "cannot decode");
    const ImageInfo& i = loaded.info;
    std::printf("{\"width\":%u,\"height\":%u,\"depth\":%u,\"mipLevels\":%u,\"format\":\"%s\"}\n", i.Width, i.Height,
                i.Depth, i.MipLevels, FormatName(i.Format).c_str());
    return 0;
}

int CommandDecode(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    DWORD level = 0, face = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--level" || args[i] == "--face") {
            if (i + 1 == args.size()) UsageError(args[i] + " needs a value");
            (args[i] == "--level" ? level : face) = NumberArg(args[i], args[i + 1]);
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            UsageError("decode: unknown option " + args[i]);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) UsageError("decode takes FILE and OUT.png");
    LoadedImage loaded;
    HRESULT hr = LoadImage(files[0], &loaded);
    if (FAILED(hr)) return Fail(hr, files[0], "cannot decode");
    const DecodedImage* image = &loaded.image;
    for (DWORD f = 0; f < face && image; ++f) image = image->NextFace;
    for (DWORD l = 0; l < level && image; ++l) image = image->NextLevel;
    if (!image) return Fail(D3DERR_INVALIDCALL, files[0], "the image has no such face or level");
    const UINT width = static_cast<UINT>(image->Rect.right), height = static_cast<UINT>(image->Rect.bottom);
    std::vector<std::uint8_t> rgba;
    hr = ToRgba(image->Pixels, image->Format, image->Pitch, width, height,
                reinterpret_cast<const PALETTEENTRY*>(image->Palette), &rgba);
    if (FAILED(hr)) return Fail(hr, files[0], "cannot convert to RGBA");
    std::string error;
    if (!WritePngRgba(files[1], rgba, width, height, &error)) {
        std::fprintf(stderr, "tolvane-tex: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

struct ConvertCommand {
    ConvertOptions options;
    std::vector<std::string> files;
    BatchOptions batch;
};

ConvertCommand ParseConvert(const std::vector<std::string>& args) {
    ConvertCommand c;
    ConvertOptions& o = c.options;
    o.profile = D3DDefaultDeviceProfile();
    bool batchOnly = false;  // an option that only a batch takes was given
    std::string to;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--cube") {
            o.cube = true;
            continue;
        }
        if (a == "-r" || a == "--json") {
            (a == "-r" ? c.batch.recurse : c.batch.json) = true;
            batchOnly = true;
            continue;
        }
        if (a.rfind("--", 0) != 0 && a != "-j") {
            c.files.push_back(a);
            continue;
        }
        if (i + 1 == args.size()) UsageError(a + " needs a value");
        const std::string& v = args[++i];
        if (a == "--width") {
            o.width = NumberArg(a, v);
        } else if (a == "--height") {
            o.height = NumberArg(a, v);
        } else if (a == "--levels") {
            o.levels = NumberArg(a, v);
        } else if (a == "--format") {
            if (!ParseFormatName(v, &o.format)) UsageError("--format: unknown format '" + v + "'");
        } else if (a == "--pool") {
            if (v == "default") {
                o.pool = D3DPOOL_DEFAULT;
            } else if (v == "managed") {
                o.pool = D3DPOOL_MANAGED;
            } else if (v == "systemmem") {
                o.pool = D3DPOOL_SYSTEMMEM;
            } else {
                UsageError("--pool must be default, managed or systemmem");
            }
        } else if (a == "--filter") {
            o.filter = ParseFilter(a, v);
        } else if (a == "--mip-filter") {
            o.mipFilter = ParseFilter(a, v);
        } else if (a == "--color-key") {
            o.colorKey = NumberArg(a, v);
        } else if (a == "--level") {
            o.level = NumberArg(a, v);
        } else if (a == "--face") {
            o.face = NumberArg(a, v);
            if (o.face > 5) UsageError("--face must be 0 to 5");
        } else if (a == "--caps") {
            ApplyCaps(v, &o.profile);
        } else if (a == "--formats") {
            o.profile.TextureFormats = o.profile.CubeTextureFormats = ParseFormatList(v);
        } else if (a == "--dxt-quality") {
            if (v == "exact") {
                o.dxtQuality = DxtQuality::Exact;
            } else if (v == "high") {
                o.dxtQuality = DxtQuality::High;
            } else {
                UsageError("--dxt-quality must be exact or high");
            }
        } else if (a == "--out-dir") {
            if (v.empty()) UsageError("--out-dir needs a folder");
            c.batch.outDir = v;
        } else if (a == "--to") {
            if (v != "dds" && v != "png") UsageError("--to must be dds or png");
            to = v;
            batchOnly = true;
        } else if (a == "-j") {
            c.batch.jobs = NumberArg(a, v);
            if (c.batch.jobs == 0) UsageError("-j must be at least 1");
            batchOnly = true;
        } else {
            UsageError("convert: unknown option " + a);
        }
    }
    if (!c.batch.outDir.empty()) {
        if (c.files.empty()) UsageError("convert --out-dir takes at least one FILE or folder");
        c.batch.inputs = c.files;
        c.batch.extension = to == "png" ? ".png" : ".dds";
        return c;
    }
    if (batchOnly) UsageError("-r, -j, --to and --json convert many files and need --out-dir");
    if (c.files.size() != 2) UsageError("convert takes FILE and OUT.png or OUT.dds (or FILES... --out-dir DIR)");
    if (!EndsWith(c.files[1], ".png") && !EndsWith(c.files[1], ".dds")) {
        UsageError("the output must end in .png or .dds");
    }
    return c;
}

int CommandConvert(const std::vector<std::string>& args) {
    const ConvertCommand c = ParseConvert(args);
    const bool batch = !c.batch.outDir.empty();
    const std::vector<BatchJob> jobs = batch ? ListBatchJobs(c.batch) : std::vector<BatchJob>{};
    HeadlessDevice hd;
    HRESULT hr = hd.Create(c.options.profile, batch ? BatchThreads(c.batch, jobs.size()) : 1);
    if (FAILED(hr)) return Fail(hr, c.files[0], "cannot create the device");
    if (batch) return RunBatch(hd.All(), c.options, c.batch, jobs);

    const std::string& input = c.files[0];
    const std::string& output = c.files[1];
    // The texture's summary is printed as soon as it exists, before anything is written.
    const ConvertOutcome outcome = ConvertFile(hd.Get(), c.options, input, output, [&](const ConvertOutcome& made) {
        std::printf("%s\n", TextureSummaryJson(made).c_str());
        std::fflush(stdout);
        if (made.widened) {
            std::fprintf(stderr, "tolvane-tex: note: %s has no DDS form here; %s holds D3DFMT_A8R8G8B8 levels\n",
                         FormatName(made.format).c_str(), output.c_str());
        }
    });
    if (outcome.writeFailed) {
        std::fprintf(stderr, "tolvane-tex: %s\n", outcome.what.c_str());
        return 1;
    }
    if (FAILED(outcome.result)) return Fail(outcome.result, input, outcome.what.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            return 0;
        }
    }
    if (args.empty()) UsageError("a command is needed: info, decode or convert");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "info") return CommandInfo(args);
    if (command == "decode") return CommandDecode(args);
    if (command == "convert") return CommandConvert(args);
    UsageError("unknown command '" + command + "'");
}
