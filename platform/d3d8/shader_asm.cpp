#include "platform/d3d8/shader_asm.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/d3d8/shader_validate.h"

namespace d3d8 {
namespace {

// Register type numbers (D3DSPR_*) of the assembly names.
struct RegisterName {
    const char* prefix;
    DWORD type;
    bool vertex;  // vertex shader name; pixel shader otherwise (r, v, c are both)
    bool pixel;
};
constexpr RegisterName kRegisters[] = {
    {"opos", D3DSPR_RASTOUT, true, false},     {"ofog", D3DSPR_RASTOUT, true, false},
    {"opts", D3DSPR_RASTOUT, true, false},     {"od", D3DSPR_ATTROUT, true, false},
    {"ot", D3DSPR_TEXCRDOUT, true, false},     {"a", D3DSPR_ADDR, true, false},
    {"t", D3DSPR_TEXTURE, false, true},        {"r", D3DSPR_TEMP, true, true},
    {"v", D3DSPR_INPUT, true, true},           {"c", D3DSPR_CONST, true, true},
};

struct Line {
    int number;
    std::string text;  // lower case, comments removed, trimmed
};

std::string Trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) {
        ++b;
    }
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) {
        --e;
    }
    return s.substr(b, e - b);
}

int Component(char c) {
    switch (c) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        default: return -1;
    }
}

class Assembler {
public:
    bool Run(const char* text, std::size_t length, bool validate = true) {
        SplitLines(text, length);
        std::size_t l = 0;
        while (l < lines_.size() && lines_[l].text.empty()) {
            ++l;
        }
        if (l == lines_.size()) {
            return Error(lines_.empty() ? 1 : lines_.back().number, "no version line (vs.1.1, ps.1.1 to ps.1.4)");
        }
        if (!Version(lines_[l])) {
            return false;
        }
        for (++l; l < lines_.size(); ++l) {
            if (!lines_[l].text.empty() && !Statement(lines_[l])) {
                return false;
            }
        }
        tokens_.push_back(D3DVS_END());
        if (!validate) {
            return true;
        }
        const ShaderValidation v = ValidateShader(type_, tokens_.data(), tokens_.size());
        if (!v.ok) {
            // The message names the instruction by its ordinal; report its line.
            std::size_t ordinal = 0;
            int line = lines_.back().number;
            if (std::sscanf(v.error.c_str(), "instruction %zu", &ordinal) == 1 && ordinal < instructionLines_.size()) {
                line = instructionLines_[ordinal];
            }
            return Error(line, v.error.c_str());
        }
        return true;
    }

    std::vector<DWORD> tokens_;
    std::string error_;

private:
    bool Error(int line, const char* text) {
        error_ = "line " + std::to_string(line) + ": " + text;
        return false;
    }
    bool Error(int line, const std::string& text) { return Error(line, text.c_str()); }

    void SplitLines(const char* text, std::size_t length) {
        int number = 1;
        std::string current;
        for (std::size_t i = 0; i <= length; ++i) {
            if (i == length || text[i] == '\n') {
                std::size_t cut = current.find(';');
                const std::size_t slashes = current.find("//");
                cut = std::min(cut, slashes);
                if (cut != std::string::npos) {
                    current.resize(cut);
                }
                for (char& c : current) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                lines_.push_back({number++, Trim(current)});
                current.clear();
            } else if (text[i] != '\r') {
                current += text[i];
            }
        }
    }

    bool Version(const Line& line) {
        std::string v = line.text;
        for (char& c : v) {
            c = c == '_' ? '.' : c;
        }
        static const struct {
            const char* name;
            DWORD token;
        } versions[] = {{"vs.1.1", D3DVS_VERSION(1, 1)}, {"ps.1.1", D3DPS_VERSION(1, 1)},
                        {"ps.1.2", D3DPS_VERSION(1, 2)}, {"ps.1.3", D3DPS_VERSION(1, 3)},
                        {"ps.1.4", D3DPS_VERSION(1, 4)}};
        for (const auto& candidate : versions) {
            if (v == candidate.name) {
                tokens_.push_back(candidate.token);
                versionName_ = candidate.name;
                version_ = ShaderVersionBit(candidate.token);
                type_ = candidate.name[0] == 'v' ? ShaderType::Vertex : ShaderType::Pixel;
                return true;
            }
        }
        return Error(line.number, "expected a version (vs.1.1, ps.1.1 to ps.1.4), found '" + line.text + "'");
    }

    static std::vector<std::string> SplitOperands(const std::string& s) {
        std::vector<std::string> out;
        std::string current;
        int depth = 0;
        for (char c : s) {
            depth += c == '[' ? 1 : c == ']' ? -1 : 0;
            if (c == ',' && depth == 0) {
                out.push_back(Trim(current));
                current.clear();
            } else {
                current += c;
            }
        }
        out.push_back(Trim(current));
        return out;
    }

    bool Statement(const Line& line) {
        int n = line.number;
        std::string text = line.text;
        bool coissue = false;
        if (text[0] == '+') {
            coissue = true;
            text = Trim(text.substr(1));
        }
        std::size_t split = 0;
        while (split < text.size() && !std::isspace(static_cast<unsigned char>(text[split]))) {
            ++split;
        }
        std::string word = text.substr(0, split);
        const std::string rest = Trim(text.substr(split));
        // Instruction modifiers follow the name: mul_x2_sat.
        DWORD dstModifiers = 0;
        std::size_t underscore = word.find('_');
        std::string name = word.substr(0, underscore);
        while (underscore != std::string::npos) {
            const std::size_t next = word.find('_', underscore + 1);
            const std::string m = word.substr(underscore + 1, next == std::string::npos ? std::string::npos : next - underscore - 1);
            static const struct {
                const char* name;
                DWORD bits;
            } modifiers[] = {{"sat", D3DSPDM_SATURATE},  {"x2", 1u << 24}, {"x4", 2u << 24}, {"x8", 3u << 24},
                             {"d2", 15u << 24}, {"d4", 14u << 24}, {"d8", 13u << 24}};
            bool found = false;
            for (const auto& candidate : modifiers) {
                if (m == candidate.name) {
                    const DWORD mask = candidate.bits == D3DSPDM_SATURATE ? D3DSP_DSTMOD_MASK : D3DSP_DSTSHIFT_MASK;
                    if ((dstModifiers & mask) != 0) {
                        return Error(n, "two result " + std::string(mask == D3DSP_DSTMOD_MASK ? "modifiers" : "shifts") +
                                            " on '" + word + "'");
                    }
                    dstModifiers |= candidate.bits;
                    found = true;
                }
            }
            if (!found) {
                return Error(n, "unknown instruction modifier '_" + m + "'");
            }
            underscore = next;
        }
        const ShaderOpcodeInfo* info = FindShaderOpcode(name.c_str(), version_);
        if (info == nullptr) {
            return Error(n, FindShaderOpcode(name.c_str(), 0xFF) != nullptr
                                ? "'" + name + "' is not an instruction of " + versionName_
                                : "unknown instruction '" + name + "'");
        }
        const std::vector<std::string> operands = rest.empty() ? std::vector<std::string>{} : SplitOperands(rest);
        const unsigned expected = info->opcode == D3DSIO_DEF ? 5 : ShaderOperandCount(*info, version_);
        if (operands.size() != expected) {
            return Error(n, std::string(ShaderOpcodeName(*info, version_)) + " takes " + std::to_string(expected) +
                                " operands, found " + std::to_string(operands.size()));
        }
        if (dstModifiers != 0 && !info->destination) {
            return Error(n, "'" + name + "' has no result to modify");
        }
        instructionLines_.push_back(n);
        tokens_.push_back(static_cast<DWORD>(info->opcode) | (coissue ? D3DSI_COISSUE : 0));
        for (std::size_t o = 0; o < operands.size(); ++o) {
            DWORD token = 0;
            if (info->opcode == D3DSIO_DEF && o > 0) {
                char* end = nullptr;
                const float value = std::strtof(operands[o].c_str(), &end);
                if (operands[o].empty() || *end != '\0') {
                    return Error(n, "'" + operands[o] + "' is not a number");
                }
                std::memcpy(&token, &value, sizeof token);
            } else if (o == 0 && info->destination) {
                if (!Destination(n, operands[o], &token)) {
                    return false;
                }
                token |= dstModifiers;
            } else if (!Source(n, operands[o], &token)) {
                return false;
            }
            tokens_.push_back(token);
        }
        return true;
    }

    // A register name at the start of s: sets the token's type and number, returns its length.
    std::size_t Register(int line, const std::string& s, DWORD* token, bool* ok) {
        *ok = false;
        for (const RegisterName& r : kRegisters) {
            const std::size_t p = std::strlen(r.prefix);
            if (s.compare(0, p, r.prefix) != 0 || (type_ == ShaderType::Vertex ? !r.vertex : !r.pixel)) {
                continue;
            }
            std::size_t e = p;
            unsigned index = 0;
            if (r.type == D3DSPR_RASTOUT) {
                index = std::strcmp(r.prefix, "opos") == 0 ? D3DSRO_POSITION
                        : std::strcmp(r.prefix, "ofog") == 0 ? D3DSRO_FOG : D3DSRO_POINT_SIZE;
            } else {
                if (e >= s.size() || !std::isdigit(static_cast<unsigned char>(s[e]))) {
                    if (r.type == D3DSPR_CONST && e < s.size() && s[e] == '[') {
                        *ok = true;
                        *token = 0x80000000u | (D3DSPR_CONST << D3DSP_REGTYPE_SHIFT);
                        return e;
                    }
                    continue;
                }
                while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e])) && index < 0x10000) {
                    index = index * 10 + static_cast<unsigned>(s[e++] - '0');
                }
                if (index > D3DSP_REGNUM_MASK) {
                    Error(line, "register number in '" + s + "' is too large");
                    return 0;
                }
            }
            *token = 0x80000000u | (r.type << D3DSP_REGTYPE_SHIFT) | index;
            *ok = true;
            return e;
        }
        Error(line, "unknown register '" + s + "'");
        return 0;
    }

    bool Destination(int line, const std::string& s, DWORD* token) {
        bool ok = false;
        const std::size_t e = Register(line, s, token, &ok);
        if (!ok) {
            return false;
        }
        if (e == s.size()) {
            *token |= D3DSP_WRITEMASK_ALL;
            return true;
        }
        if (s[e] != '.' || e + 1 == s.size()) {
            return Error(line, "unexpected '" + s.substr(e) + "' after the destination register");
        }
        int last = -1;
        for (std::size_t i = e + 1; i < s.size(); ++i) {
            const int c = Component(s[i]);
            if (c <= last) {
                return Error(line, "bad write mask '" + s.substr(e) + "'");
            }
            *token |= D3DSP_WRITEMASK_0 << c;
            last = c;
        }
        return true;
    }

    bool Source(int line, std::string s, DWORD* token) {
        bool negate = false;
        bool complement = false;
        if (!s.empty() && s[0] == '-') {
            negate = true;
            s = Trim(s.substr(1));
        } else if (s.size() > 1 && s[0] == '1' && Trim(s.substr(1))[0] == '-') {
            complement = true;
            s = Trim(Trim(s.substr(1)).substr(1));
        }
        bool ok = false;
        std::size_t e = Register(line, s, token, &ok);
        if (!ok) {
            return false;
        }
        if (e < s.size() && s[e] == '[') {
            if (!Relative(line, s, &e, token)) {
                return false;
            }
        }
        DWORD modifier = negate ? D3DSPSM_NEG : complement ? D3DSPSM_COMP : D3DSPSM_NONE;
        DWORD swizzle = D3DSP_NOSWIZZLE;
        while (e < s.size()) {
            std::size_t next = e + 1;
            while (next < s.size() && s[next] != '_' && s[next] != '.') {
                ++next;
            }
            const std::string part = s.substr(e + 1, next - e - 1);
            if (s[e] == '.') {
                if (part.empty() || part.size() > 4) {
                    return Error(line, "bad swizzle '." + part + "'");
                }
                swizzle = 0;
                for (std::size_t c = 0; c < 4; ++c) {
                    const int from = Component(part[std::min(c, part.size() - 1)]);
                    if (from < 0) {
                        return Error(line, "bad swizzle '." + part + "'");
                    }
                    swizzle |= static_cast<DWORD>(from) << (D3DSP_SWIZZLE_SHIFT + 2 * c);
                }
            } else if (s[e] == '_' && modifier == (negate ? D3DSPSM_NEG : D3DSPSM_NONE) && !complement) {
                if (part == "bias") {
                    modifier = negate ? D3DSPSM_BIASNEG : D3DSPSM_BIAS;
                } else if (part == "bx2") {
                    modifier = negate ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN;
                } else if (part == "x2") {
                    modifier = negate ? D3DSPSM_X2NEG : D3DSPSM_X2;
                } else if ((part == "dz" || part == "db") && !negate) {
                    modifier = D3DSPSM_DZ;
                } else if ((part == "dw" || part == "da") && !negate) {
                    modifier = D3DSPSM_DW;
                } else {
                    return Error(line, "unknown source modifier '_" + part + "'");
                }
            } else {
                return Error(line, "unexpected '" + s.substr(e) + "' in source '" + s + "'");
            }
            e = next;
        }
        *token |= swizzle | modifier;
        return true;
    }

    // c[a0.x], c[a0.x + n], c[n + a0.x]
    bool Relative(int line, const std::string& s, std::size_t* e, DWORD* token) {
        const std::size_t close = s.find(']', *e);
        if (close == std::string::npos) {
            return Error(line, "missing ']' in '" + s + "'");
        }
        std::string inside;
        for (std::size_t i = *e + 1; i < close; ++i) {
            if (!std::isspace(static_cast<unsigned char>(s[i]))) {
                inside += s[i];
            }
        }
        unsigned offset = 0;
        bool haveAddress = false;
        std::size_t p = 0;
        while (p < inside.size()) {
            if (inside.compare(p, 4, "a0.x") == 0 && !haveAddress) {
                haveAddress = true;
                p += 4;
            } else if (std::isdigit(static_cast<unsigned char>(inside[p]))) {
                unsigned value = 0;
                while (p < inside.size() && std::isdigit(static_cast<unsigned char>(inside[p])) && value < 0x10000) {
                    value = value * 10 + static_cast<unsigned>(inside[p++] - '0');
                }
                offset += value;
            } else {
                return Error(line, "bad relative address '" + s.substr(*e, close - *e + 1) + "'");
            }
            if (p < inside.size()) {
                if (inside[p] != '+') {
                    return Error(line, "bad relative address '" + s.substr(*e, close - *e + 1) + "'");
                }
                ++p;
            }
        }
        if (offset > D3DSP_REGNUM_MASK) {
            return Error(line, "constant offset in '" + s + "' is too large");
        }
        *token |= offset | (haveAddress ? D3DVS_ADDRMODE_RELATIVE : 0);
        *e = close + 1;
        return true;
    }

    std::vector<Line> lines_;
    std::vector<int> instructionLines_;  // line of each instruction token, by ordinal
    ShaderType type_ = ShaderType::Vertex;
    std::uint8_t version_ = 0;
    std::string versionName_;
};

// ---- disassembly ------------------------------------------------------------------------
std::string RegisterText(ShaderType type, DWORD token) {
    const DWORD kind = (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
    const unsigned index = token & D3DSP_REGNUM_MASK;
    const bool relative = type == ShaderType::Vertex && (token & D3DVS_ADDRESSMODE_MASK) != 0;
    char text[32];
    switch (kind) {
        case D3DSPR_TEMP: std::snprintf(text, sizeof text, "r%u", index); break;
        case D3DSPR_INPUT: std::snprintf(text, sizeof text, "v%u", index); break;
        case D3DSPR_CONST:
            if (relative) {
                std::snprintf(text, sizeof text, index != 0 ? "c[a0.x + %u]" : "c[a0.x]", index);
            } else {
                std::snprintf(text, sizeof text, "c%u", index);
            }
            break;
        case D3DSPR_ADDR:
            std::snprintf(text, sizeof text, type == ShaderType::Vertex ? "a%u" : "t%u", index);
            break;
        case D3DSPR_RASTOUT:
            return index == D3DSRO_POSITION ? "oPos" : index == D3DSRO_FOG ? "oFog" : "oPts";
        case D3DSPR_ATTROUT: std::snprintf(text, sizeof text, "oD%u", index); break;
        default: std::snprintf(text, sizeof text, "oT%u", index); break;
    }
    return text;
}

std::string DestinationText(ShaderType type, DWORD token) {
    std::string text = RegisterText(type, token);
    const DWORD mask = (token & D3DSP_WRITEMASK_ALL) >> 16;
    if (mask != 0xF) {
        text += '.';
        for (int c = 0; c < 4; ++c) {
            if ((mask & (1u << c)) != 0) {
                text += "xyzw"[c];
            }
        }
    }
    return text;
}

std::string SourceText(ShaderType type, DWORD token) {
    const DWORD modifier = token & D3DSP_SRCMOD_MASK;
    std::string text;
    if (modifier == D3DSPSM_NEG || modifier == D3DSPSM_BIASNEG || modifier == D3DSPSM_SIGNNEG ||
        modifier == D3DSPSM_X2NEG) {
        text = "-";
    } else if (modifier == D3DSPSM_COMP) {
        text = "1-";
    }
    text += RegisterText(type, token);
    switch (modifier) {
        case D3DSPSM_BIAS: case D3DSPSM_BIASNEG: text += "_bias"; break;
        case D3DSPSM_SIGN: case D3DSPSM_SIGNNEG: text += "_bx2"; break;
        case D3DSPSM_X2: case D3DSPSM_X2NEG: text += "_x2"; break;
        case D3DSPSM_DZ: text += "_dz"; break;
        case D3DSPSM_DW: text += "_dw"; break;
        default: break;
    }
    const DWORD swizzle = (token & D3DSP_SWIZZLE_MASK) >> D3DSP_SWIZZLE_SHIFT;
    if (swizzle != 0xE4) {
        char letters[4];
        for (int c = 0; c < 4; ++c) {
            letters[c] = "xyzw"[(swizzle >> (2 * c)) & 3];
        }
        int count = 4;
        while (count > 1 && letters[count - 1] == letters[count - 2]) {
            --count;
        }
        text += '.';
        text.append(letters, static_cast<std::size_t>(count));
    }
    return text;
}

}  // namespace

bool AssembleShaderUnchecked(const char* text, std::size_t length, std::vector<DWORD>* tokens, std::string* errors) {
    Assembler assembler;
    const bool ok = text != nullptr && assembler.Run(text, length, false);
    if (errors != nullptr) {
        *errors = ok ? std::string() : assembler.error_;
    }
    if (ok && tokens != nullptr) {
        *tokens = std::move(assembler.tokens_);
    }
    return ok;
}

}  // namespace d3d8

HRESULT TolvaneAssembleShader(const char* text, std::size_t length, std::vector<DWORD>* tokens, std::string* errors) {
    d3d8::Assembler assembler;
    if (text == nullptr || !assembler.Run(text, length)) {
        if (errors != nullptr) {
            *errors = text == nullptr ? "no text" : assembler.error_;
        }
        return D3DERR_INVALIDCALL;
    }
    if (tokens != nullptr) {
        *tokens = std::move(assembler.tokens_);
    }
    if (errors != nullptr) {
        errors->clear();
    }
    return D3D_OK;
}

HRESULT TolvaneDisassembleShader(const DWORD* tokens, std::size_t length, std::string* text, std::string* errors) {
    using namespace d3d8;
    const bool vertex = tokens != nullptr && length > 0 && (tokens[0] & 0xFFFF0000u) == 0xFFFE0000u;
    const ShaderType type = vertex ? ShaderType::Vertex : ShaderType::Pixel;
    ShaderProgram program;
    const ShaderValidation v = ValidateShader(type, tokens, length, &program);
    if (!v.ok) {
        if (errors != nullptr) {
            *errors = v.error;
        }
        return D3DERR_INVALIDCALL;
    }
    const std::uint8_t version = ShaderVersionBit(tokens[0]);
    std::string out = std::string(vertex ? "vs" : "ps") + ".1." + std::to_string(program.minor) + "\n";
    for (std::size_t i = 1; i + 1 < program.tokenCount;) {
        const DWORD token = tokens[i];
        const DWORD op = token & D3DSI_OPCODE_MASK;
        if (op == D3DSIO_COMMENT) {
            i += 1 + ((token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT);
            continue;
        }
        const ShaderOpcodeInfo& info = *FindShaderOpcode(op);
        const unsigned operands = ShaderOperandCount(info, version);
        std::string line = (token & D3DSI_COISSUE) != 0 ? "+" : "";
        line += ShaderOpcodeName(info, version);
        if (info.destination && op != D3DSIO_DEF) {
            const DWORD d = tokens[i + 1];
            static const char* const shifts[16] = {"",   "_x2", "_x4", "_x8", "", "", "", "",
                                                   "",   "",    "",    "",    "", "_d8", "_d4", "_d2"};
            line += shifts[(d & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT];
            line += (d & D3DSP_DSTMOD_MASK) == D3DSPDM_SATURATE ? "_sat" : "";
        }
        for (unsigned o = 0; o < operands; ++o) {
            const DWORD p = tokens[i + 1 + o];
            line += o == 0 ? " " : ", ";
            if (op == D3DSIO_DEF && o > 0) {
                float value = 0;
                std::memcpy(&value, &p, sizeof value);
                char number[32];
                std::snprintf(number, sizeof number, "%.9g", static_cast<double>(value));
                line += number;
            } else if (o == 0 && info.destination) {
                line += DestinationText(type, p);
            } else {
                line += SourceText(type, p);
            }
        }
        out += line + "\n";
        i += 1 + operands;
    }
    if (text != nullptr) {
        *text = std::move(out);
    }
    if (errors != nullptr) {
        errors->clear();
    }
    return D3D_OK;
}
