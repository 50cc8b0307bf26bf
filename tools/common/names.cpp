#include "tools/common/names.h"

#include <cstdio>

#include "image/format_facts.h"
#include "image/result_name.h"

std::string FormatName(D3DFORMAT format) {
    if (format == D3DFMT_UNKNOWN) return "D3DFMT_UNKNOWN";
    if (const tolvane::pixels::FormatFacts* facts = tolvane::pixels::FindFormatFacts(format)) return facts->Name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(format));
    return text;
}

bool ParseFormatName(const std::string& name, D3DFORMAT* format) {
    if (name == "D3DFMT_UNKNOWN") {
        *format = D3DFMT_UNKNOWN;
        return true;
    }
    for (const tolvane::pixels::FormatFacts& row : tolvane::pixels::kFormatFacts) {
        if (name == row.Name) {
            *format = row.Format;
            return true;
        }
    }
    return false;
}

std::string ResultText(HRESULT result) {
    char text[80];
    std::snprintf(text, sizeof text, "%s 0x%08X", ResultName(result), static_cast<unsigned>(result));
    return text;
}
