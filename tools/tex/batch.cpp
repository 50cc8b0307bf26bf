#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "tools/common/names.h"

namespace fs = std::filesystem;

namespace {

bool HasImageExtension(const fs::path& path) {
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* known : {".bmp", ".dib", ".dds", ".jpg", ".jpeg", ".png", ".ppm", ".tga"}) {
        if (ext == known) return true;
    }
    return false;
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string FileReportJson(const BatchJob& job, const ConvertOutcome& o) {
    std::string line = "{\"input\":" + JsonString(job.input) + ",\"output\":" + JsonString(job.output);
    if (SUCCEEDED(o.result)) {
        const std::string summary = TextureSummaryJson(o);
        line += ",\"ok\":true," + summary.substr(1, summary.size() - 2) + ",\"bytesIn\":" +
                std::to_string(o.bytesIn) + ",\"bytesOut\":" + std::to_string(o.bytesOut) + "}";
        return line;
    }
    const std::string name = ResultText(o.result);  // "NAME 0xVALUE"
    const auto space = name.find(' ');
    return line + ",\"ok\":false,\"result\":" + JsonString(name.substr(0, space)) +
           ",\"value\":" + JsonString(name.substr(space + 1)) + ",\"error\":" + JsonString(o.what) + "}";
}

// Progress and per-file lines on standard error: a bar redrawn in place on a terminal,
// one line per file otherwise. Called under the batch's lock.
class Progress {
public:
    Progress(std::size_t total, bool terminal)
        : total_(total), terminal_(terminal), start_(std::chrono::steady_clock::now()) {}

    void Finished(const BatchJob& job, const ConvertOutcome& o) {
        ++done_;
        if (terminal_) std::fputs("\r\033[K", stderr);
        if (FAILED(o.result)) {
            std::fprintf(stderr, "tolvane-tex: %s: %s: %s\n", ResultText(o.result).c_str(), job.input.c_str(),
                         o.what.c_str());
        } else if (!terminal_) {
            std::fprintf(stderr, "tolvane-tex: [%zu/%zu] %s -> %s\n", done_, total_, job.input.c_str(),
                         job.output.c_str());
        }
        if (terminal_) DrawBar();
        std::fflush(stderr);
    }

    void End() {
        if (terminal_) std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }

private:
    void DrawBar() {
        constexpr std::size_t WIDTH = 30;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
        const std::size_t filled = total_ ? done_ * WIDTH / total_ : WIDTH;
        const double eta = rate > 0 ? static_cast<double>(total_ - done_) / rate : 0.0;
        std::fprintf(stderr, "[%s%s] %zu/%zu files  %.1f files/s  ETA %.0fs", std::string(filled, '#').c_str(),
                     std::string(WIDTH - filled, ' ').c_str(), done_, total_, rate, eta);
    }

    std::size_t total_, done_ = 0;
    bool terminal_;
    std::chrono::steady_clock::time_point start_;
};

}  // namespace

std::vector<BatchJob> ListBatchJobs(const BatchOptions& options) {
    std::vector<BatchJob> jobs;
    const fs::path outDir(options.outDir);
    std::map<std::string, std::string> outputs;
    auto add = [&](const fs::path& input, fs::path relative) {
        relative.replace_extension(options.extension);
        BatchJob job{input.string(), (outDir / relative).lexically_normal().string(), {}};
        const auto [at, fresh] = outputs.emplace(job.output, job.input);
        if (!fresh) job.clash = at->second;
        jobs.push_back(std::move(job));
    };
    for (const std::string& name : options.inputs) {
        std::error_code ec;
        if (!fs::is_directory(name, ec)) {
            add(name, fs::path(name).filename());
            continue;
        }
        std::vector<fs::path> found;
        auto consider = [&](const fs::directory_entry& entry) {
            if (entry.is_regular_file(ec) && HasImageExtension(entry.path())) found.push_back(entry.path());
        };
        if (options.recurse) {
            for (const auto& entry : fs::recursive_directory_iterator(name, ec)) consider(entry);
        } else {
            for (const auto& entry : fs::directory_iterator(name, ec)) consider(entry);
        }
        std::sort(found.begin(), found.end());
        for (const fs::path& file : found) add(file, file.lexically_relative(name));
    }
    return jobs;
}

unsigned BatchThreads(const BatchOptions& options, std::size_t jobs) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(options.jobs ? options.jobs : cores, std::max<std::size_t>(jobs, 1)));
}

int RunBatch(const std::vector<IDirect3DDevice8*>& devices, const ConvertOptions& convert,
             const BatchOptions& options, const std::vector<BatchJob>& jobs) {
    Progress progress(jobs.size(), !options.json && isatty(STDERR_FILENO));
    std::mutex lock;
    std::atomic<std::size_t> next{0};
    std::size_t converted = 0, failed = 0;
    std::uint64_t bytesIn = 0, bytesOut = 0;

    auto work = [&](IDirect3DDevice8* device) {
        for (std::size_t i = next.fetch_add(1); i < jobs.size(); i = next.fetch_add(1)) {
            const BatchJob& job = jobs[i];
            ConvertOutcome outcome;
            std::error_code ec;
            if (!job.clash.empty()) {
                outcome.result = D3DERR_INVALIDCALL;
                outcome.what = job.clash + " is already written to " + job.output;
            } else if (fs::create_directories(fs::path(job.output).parent_path(), ec); ec) {
                outcome.result = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
                outcome.what = "cannot make the folder for " + job.output + ": " + ec.message();
            } else {
                outcome = ConvertFile(device, convert, job.input, job.output);
            }
            std::lock_guard guard(lock);
            if (SUCCEEDED(outcome.result)) {
                ++converted;
                bytesIn += outcome.bytesIn;
                bytesOut += outcome.bytesOut;
            } else {
                ++failed;
            }
            if (options.json) {
                std::printf("%s\n", FileReportJson(job, outcome).c_str());
                std::fflush(stdout);
            } else {
                progress.Finished(job, outcome);
            }
        }
    };
    std::vector<std::thread> pool;
    for (std::size_t t = 1; t < devices.size(); ++t) pool.emplace_back(work, devices[t]);
    work(devices[0]);
    for (std::thread& t : pool) t.join();
    progress.End();
    if (!options.json) {
        std::printf("converted %zu, failed %zu; %llu bytes in, %llu bytes out\n", converted, failed,
                    static_cast<unsigned long long>(bytesIn), static_cast<unsigned long long>(bytesOut));
    }
    return failed ? 1 : 0;
}
