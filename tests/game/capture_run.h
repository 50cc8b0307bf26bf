// Runs tolvane-capture from the repository root (where the Textures folder is) and reads
// back its trace: one JSON object per pass.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "math/types.h"

struct CaptureResult {
    int exitCode = -1;
    std::string output;             // standard output and standard error
    std::vector<std::string> trace; // one line per pass
};

inline std::string TempPath(const std::string& name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tolvane_game_test_" + std::to_string(::getpid()) + "_" + name;
}

// Runs the tool with the given arguments and input script (none when empty). The trace
// goes to a temporary file unless the arguments name one.
inline CaptureResult RunCapture(const std::string& arguments, const std::string& script = "") {
    CaptureResult result;
    const std::string tracePath = TempPath("trace.jsonl");
    const std::string outputPath = TempPath("output.txt");
    std::string command = std::string("cd '") + TOLVANE_SOURCE_DIR + "' && " + TOLVANE_PROGRAM_LAUNCHER + " '" +
                          TOLVANE_BINARY_DIR + "/bin/tolvane-capture' " + arguments + " --trace '" + tracePath + "'";
    if (!script.empty()) {
        const std::string scriptPath = TempPath("input.txt");
        std::ofstream(scriptPath) << script;
        command += " --input '" + scriptPath + "'";
    }
    command += " >'" + outputPath + "' 2>&1";
    const int status = std::system(command.c_str());
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
    std::ifstream output(outputPath);
    std::stringstream text;
    text << output.rdbuf();
    result.output = text.str();
    std::ifstream trace(tracePath);
    for (std::string line; std::getline(trace, line);)
        result.trace.push_back(line);
    std::remove(tracePath.c_str());
    std::remove(outputPath.c_str());
    return result;
}

// The three numbers of "key":[x,y,z], the n-th such key of the line (0 first).
inline Vector3 TraceVector(const std::string& line, const std::string& key, int n = 0) {
    std::size_t at = std::string::npos;
    for (int i = 0; i <= n; ++i) {
        at = line.find("\"" + key + "\":[", at == std::string::npos ? 0 : at + 1);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no " << key << " in " << line;
            return {};
        }
    }
    Vector3 v{};
    const char* p = line.c_str() + line.find('[', at) + 1;
    char* end = nullptr;
    v.x = std::strtof(p, &end);
    v.y = std::strtof(end + 1, &end);
    v.z = std::strtof(end + 1, &end);
    return v;
}

inline Vector3 Camera(const std::string& line, const std::string& key) {
    const std::size_t camera = line.find("\"camera\":");
    return TraceVector(line.substr(camera), key);
}

// Vehicle 0 (A) or 1 (B): "position", "forward", "right", "up" or "target".
inline Vector3 Vehicle(const std::string& line, int index, const std::string& key) {
    const std::size_t vehicles = line.find("\"vehicles\":");
    return TraceVector(line.substr(vehicles), key, index);
}

inline bool Flag(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << key << " in " << line;
        return false;
    }
    return line.compare(at + key.size() + 3, 4, "true") == 0;
}

inline float Number(const std::string& line, const std::string& key) {
    const std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << key << " in " << line;
        return 0;
    }
    return std::strtof(line.c_str() + at + key.size() + 3, nullptr);
}
