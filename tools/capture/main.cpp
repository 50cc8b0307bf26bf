// tolvane-capture: runs the game (the program's own entry steps and GameApp) on the
// headless display, so that it can be demonstrated, tested and measured without a
// window system. Passes of the message loop are numbered from 0.
//
//   --frames N            run N passes, then end the program as if the window were closed
//   --window              run in a real window on the display instead (no shots): the
//                         trace then records what the game made of real input
//   --input FILE          scripted input events (see input_script.h), posted before their pass
//   --shot FRAME:FILE     write the back buffer presented in pass FRAME as a PNG (repeatable)
//   --trace FILE          one JSON object per pass: camera, modes, vehicles
//   --targets LIST        the vector targets the rasterizer may run, named as for
//                         TOLVANE_VECTOR_TARGETS ("avx2", "sse4,ssse3", "emu128"): the best
//                         of them this processor has (the portable fallback when none is)
//   --threads N           the rasterizer's worker threads (0, the default: one per core)
//   --stats               frames rendered, median and 95th-percentile frame time, frames per
//                         second, as one JSON line on standard output
//
// The exit code is the program's (0 normally, -1 as 255 when creation fails); 2 for bad
// arguments or an unreadable script, 3 when a requested shot had no frame presented in
// its pass or could not be written.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <png.h>

#include "app/app_frame.h"
#include "game/game_app.h"
#include "simd/targets.h"
#include "tools/common/input_script.h"
#include "tools/common/trace.h"
#include "platform/win32/host.h"

namespace {

struct Options {
    int frames = -1;
    std::string inputFile;
    std::map<int, std::vector<std::string>> shots;
    std::string traceFile;
    bool stats = false;
    bool window = false;
    long long targets = -1;  // every target
    int threads = 0;
};

void Usage() {
    std::fprintf(stderr,
                 "usage: tolvane-capture --frames N [--window] [--input FILE] [--shot FRAME:FILE.png]... "
                 "[--trace FILE] [--targets LIST] [--threads N] [--stats]\n");
}

bool ParseCount(const char* text, int& value, long minimum = 0) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < minimum || v > 100000000L)
        return false;
    value = static_cast<int>(v);
    return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--frames" && hasValue) {
            if (!ParseCount(argv[++i], options.frames, 1)) {
                std::fprintf(stderr, "capture: --frames needs a whole number from 1, not \"%s\"\n", argv[i]);
                return false;
            }
        } else if (arg == "--input" && hasValue) {
            options.inputFile = argv[++i];
        } else if (arg == "--shot" && hasValue) {
            const std::string value = argv[++i];
            const std::size_t colon = value.find(':');
            int frame = 0;
            if (colon == std::string::npos || colon + 1 == value.size() ||
                !ParseCount(value.substr(0, colon).c_str(), frame)) {
                std::fprintf(stderr, "capture: --shot needs FRAME:FILE.png, not \"%s\"\n", value.c_str());
                return false;
            }
            options.shots[frame].push_back(value.substr(colon + 1));
        } else if (arg == "--trace" && hasValue) {
            options.traceFile = argv[++i];
        } else if (arg == "--targets" && hasValue) {
            std::string unknown;
            options.targets = tolvane::simd::ParseTargets(argv[++i], &unknown);
            if (!unknown.empty() || options.targets == 0) {
                std::fprintf(stderr, "capture: --targets names no vector target it knows in \"%s\"%s%s\n", argv[i],
                             unknown.empty() ? "" : ": unknown ", unknown.c_str());
                return false;
            }
        } else if (arg == "--threads" && hasValue) {
            if (!ParseCount(argv[++i], options.threads, 0) || options.threads > 256) {
                std::fprintf(stderr, "capture: --threads needs a whole number from 0 to 256, not \"%s\"\n", argv[i]);
                return false;
            }
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--window") {
            options.window = true;
        } else {
            std::fprintf(stderr, "capture: unknown or incomplete option \"%s\"\n", arg.c_str());
            return false;
        }
    }
    if (options.frames < 0) {
        std::fprintf(stderr, "capture: --frames N is required\n");
        return false;
    }
    if (options.window && !options.shots.empty()) {
        std::fprintf(stderr, "capture: --shot reads the headless display's frames; it cannot go with --window\n");
        return false;
    }
    return true;
}

// The presented frame, X8R8G8B8, kept as RGB rows for the PNG writer.
struct Frame {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

bool WritePng(const std::string& file, const Frame& frame) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(frame.width);
    image.height = static_cast<png_uint_32>(frame.height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, file.c_str(), 0, frame.rgb.data(), frame.width * 3, nullptr)) {
        std::fprintf(stderr, "capture: cannot write %s: %s\n", file.c_str(), image.message);
        return false;
    }
    return true;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        Usage();
        return 2;
    }
    std::vector<ScriptEvent> events;
    if (!options.inputFile.empty()) {
        std::ifstream in(options.inputFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "capture: cannot read the input script %s\n", options.inputFile.c_str());
            return 2;
        }
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        if (!ParseInputScript(text.str(), events, error)) {
            std::fprintf(stderr, "capture: %s: %s\n", options.inputFile.c_str(), error.c_str());
            return 2;
        }
    }
    std::FILE* trace = nullptr;
    if (!options.traceFile.empty()) {
        trace = std::fopen(options.traceFile.c_str(), "wb");
        if (!trace) {
            std::fprintf(stderr, "capture: cannot write the trace %s\n", options.traceFile.c_str());
            return 2;
        }
    }

    host::SetHeadless(!options.window);
    int currentPass = -1;
    bool presentedThisPass = false;
    bool shotsFailed = false;
    Frame frame;
    host::SetFrameSink([&](HWND, const std::uint32_t* pixels, int width, int height, int pitchBytes) {
        presentedThisPass = true;
        const auto wanted = options.shots.find(currentPass);
        if (wanted == options.shots.end())
            return;
        frame.width = width;
        frame.height = height;
        frame.rgb.resize(static_cast<std::size_t>(width) * height * 3);
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(pixels) +
                                                                      static_cast<std::ptrdiff_t>(y) * pitchBytes);
            std::uint8_t* out = &frame.rgb[static_cast<std::size_t>(y) * width * 3];
            for (int x = 0; x < width; ++x) {
                out[3 * x + 0] = static_cast<std::uint8_t>(row[x] >> 16);
                out[3 * x + 1] = static_cast<std::uint8_t>(row[x] >> 8);
                out[3 * x + 2] = static_cast<std::uint8_t>(row[x]);
            }
        }
        for (const std::string& file : wanted->second)
            shotsFailed |= !WritePng(file, frame);
        options.shots.erase(wanted);
    });

    GameApp app;
    app.SetDataDirectory(GameDataDirectory().c_str());
    D3DDeviceProfile profile = D3DDefaultDeviceProfile();
    profile.RasterThreads = options.threads;
    profile.VectorTargets = options.targets;
    app.SetDeviceProfile(profile);
    std::size_t nextEvent = 0;
    std::vector<double> frameMs;
    auto passStart = std::chrono::steady_clock::now();
    PassHooks hooks;
    hooks.before = [&](int pass) {
        currentPass = pass;
        presentedThisPass = false;
        for (; nextEvent < events.size() && events[nextEvent].frame <= pass; ++nextEvent) {
            const ScriptEvent& event = events[nextEvent];
            if (event.kind == ScriptEvent::Kind::Cursor)
                host::SetCursorPosition(event.x, event.y);
            else
                PostMessageA(app.GetWindow(), event.message, event.wParam, 0);
        }
        passStart = std::chrono::steady_clock::now();
    };
    hooks.after = [&](int pass, bool rendered) {
        // Frame times are kept only when asked for, so a long run's memory stays flat.
        if (rendered && options.stats)
            frameMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - passStart).count());
        if (trace) {
            const std::string line = TraceLine(pass, rendered, app);
            std::fwrite(line.data(), 1, line.size(), trace);
        }
        return pass + 1 < options.frames;
    };
    app.SetPassHooks(hooks);

    const int exitCode = RunApplication(app, GetModuleHandleA(nullptr));
    host::SetFrameSink(nullptr);
    if (trace && std::fclose(trace) != 0) {
        std::fprintf(stderr, "capture: cannot write the trace %s\n", options.traceFile.c_str());
        shotsFailed = true;
    }
    for (const auto& [pass, files] : options.shots) {
        for (const std::string& file : files)
            std::fprintf(stderr, "capture: no frame was presented in pass %d; %s not written\n", pass, file.c_str());
        shotsFailed = true;
    }
    if (options.stats) {
        const double median = Percentile(frameMs, 0.5);
        double total = 0;
        for (double ms : frameMs)
            total += ms;
        std::printf("{\"frames\":%zu,\"median_ms\":%.3f,\"p95_ms\":%.3f,\"fps\":%.1f}\n", frameMs.size(), median,
                    Percentile(frameMs, 0.95), total > 0 ? 1000.0 * static_cast<double>(frameMs.size()) / total : 0.0);
    }
    if (exitCode == 0 && shotsFailed)
        return 3;
    return exitCode;
}
