// The texture tool's batch conversion: many files (or folders of them) converted on several
// threads into one output folder, with progress, a per-file report and a summary.
#pragma once

#include <string>
#include <vector>

#include "convert.h"

struct BatchOptions {
    std::vector<std::string> inputs;  // files and folders
    bool recurse = false;             // folders: also their subfolders
    std::string outDir;
    std::string extension = ".dds";  // of every output: ".dds" or ".png"
    unsigned jobs = 0;               // 0: one per processor
    bool json = false;               // one JSON line per file on standard output
};

// One file to convert: where it is read and where its output goes.
struct BatchJob {
    std::string input, output;
    std::string clash;  // an earlier input written to the same output: this one fails
};

// The jobs for the inputs: a file gives one job named after it; a folder gives one job for
// each file in it (and with recurse in its subfolders) whose name ends in an image extension
// (.bmp .dib .dds .jpg .jpeg .png .ppm .tga), its output placed at the same relative path
// under outDir. Jobs come in the order of the inputs, each folder's files sorted by path.
// When two inputs would write the same output (a.png and a.jpg), the later one is marked
// with the earlier one's name and fails rather than overwrite it.
std::vector<BatchJob> ListBatchJobs(const BatchOptions& options);

// The number of threads a batch of jobs runs on: -j N, or one per processor, but never
// more than there are jobs.
unsigned BatchThreads(const BatchOptions& options, std::size_t jobs);

// Runs the jobs on one thread per device; returns the exit status: 0 when every file
// converted, 1 otherwise.
int RunBatch(const std::vector<IDirect3DDevice8*>& devices, const ConvertOptions& convert,
             const BatchOptions& options, const std::vector<BatchJob>& jobs);
