// tolvane-asm: assembles vs.1.1 and ps.1.x shader text into the token stream the device
// takes (little-endian DWORDs), or writes such a stream back as text.
//   tolvane-asm in.vsh -o out.bin
//   tolvane-asm --disassemble in.bin [-o out.vsh]
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/d3d8/shader_asm.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: tolvane-asm in.vsh -o out.bin\n"
                 "       tolvane-asm --disassemble in.bin [-o out.vsh]\n");
    return 2;
}

bool Read(const char* path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tolvane-asm: cannot read %s\n", path);
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool Write(const char* path, const void* data, std::size_t size) {
    std::FILE* out = path != nullptr ? std::fopen(path, "wb") : stdout;
    if (out == nullptr) {
        std::fprintf(stderr, "tolvane-asm: cannot write %s\n", path);
        return false;
    }
    const bool ok = std::fwrite(data, 1, size, out) == size;
    if (path != nullptr) {
        return std::fclose(out) == 0 && ok;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    bool disassemble = false;
    const char* input = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--disassemble") == 0 || std::strcmp(argv[i], "-d") == 0) {
            disassemble = true;
        } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else if (argv[i][0] != '-' && input == nullptr) {
            input = argv[i];
        } else {
            return Usage();
        }
    }
    if (input == nullptr || (!disassemble && output == nullptr)) {
        return Usage();
    }
    std::string bytes;
    if (!Read(input, &bytes)) {
        return 1;
    }
    std::string errors;
    if (disassemble) {
        if (bytes.size() % 4 != 0) {
            std::fprintf(stderr, "%s: %zu bytes is not a whole number of DWORDs\n", input, bytes.size());
            return 1;
        }
        std::vector<DWORD> tokens(bytes.size() / 4);
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            const auto* b = reinterpret_cast<const unsigned char*>(bytes.data() + 4 * i);
            tokens[i] = static_cast<DWORD>(b[0]) | (static_cast<DWORD>(b[1]) << 8) | (static_cast<DWORD>(b[2]) << 16) |
                        (static_cast<DWORD>(b[3]) << 24);
        }
        std::string text;
        if (TolvaneDisassembleShader(tokens.data(), tokens.size(), &text, &errors) != D3D_OK) {
            std::fprintf(stderr, "%s: %s\n", input, errors.c_str());
            return 1;
        }
        return Write(output, text.data(), text.size()) ? 0 : 1;
    }
    std::vector<DWORD> tokens;
    if (TolvaneAssembleShader(bytes.data(), bytes.size(), &tokens, &errors) != D3D_OK) {
        std::fprintf(stderr, "%s: %s\n", input, errors.c_str());
        return 1;
    }
    std::vector<unsigned char> out;
    for (DWORD t : tokens) {
        for (int b = 0; b < 4; ++b) {
            out.push_back(static_cast<unsigned char>(t >> (8 * b)));
        }
    }
    return Write(output, out.data(), out.size()) ? 0 : 1;
}
