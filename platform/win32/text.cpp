// kernel32 text and version services: the ANSI code page is UTF-8 on this platform, so
// WideCharToMultiByte and MultiByteToWideChar convert between UTF-16 and UTF-8.
// Ill-formed input (a lone surrogate, a bad UTF-8 sequence) becomes U+FFFD, as the
// platform does without its strict flags.
#include <cstring>

#include "platform/win32/windows.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsUtf8CodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

int Utf8Length(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

void PutUtf8(char32_t c, char* out) {
    switch (Utf8Length(c)) {
    case 1:
        out[0] = static_cast<char>(c);
        break;
    case 2:
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        break;
    case 3:
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        break;
    default:
        out[0] = static_cast<char>(0xF0 | (c >> 18));
        out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[3] = static_cast<char>(0x80 | (c & 0x3F));
        break;
    }
}

// Next code point of a UTF-16 text; advances i past it.
char32_t NextUtf16(const WCHAR* text, int count, int& i, bool& replaced) {
    char32_t c = text[i++];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i < count && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            char32_t low = text[i++];
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
        replaced = true;
        return kReplacement;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        replaced = true;
        return kReplacement;
    }
    return c;
}

// Next code point of a UTF-8 text; advances i past it (one byte for an ill-formed start).
char32_t NextUtf8(const unsigned char* text, int count, int& i) {
    unsigned char lead = text[i++];
    if (lead < 0x80) {
        return lead;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
        return kReplacement;
    }
    if (count - i < extra) {
        return kReplacement;
    }
    for (int k = 0; k < extra; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) {
            return kReplacement;
        }
        c = (c << 6) | (text[i + k] & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return kReplacement;
    }
    i += extra;
    return c;
}

}  // namespace

// Reports the NT platform (the one whose file calls take UTF-16 names).
BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    info->dwMajorVersion = 5;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 2600;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    return TRUE;
}

// wideCount -1 converts up to and including the terminating zero. A multiCount of 0
// measures: the result is the number of bytes the conversion needs.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR multi,
                        int multiCount, LPCSTR defaultChar, BOOL* usedDefault) {
    if (!IsUtf8CodePage(codePage) || wide == nullptr || wideCount == 0 || wideCount < -1 ||
        multiCount < 0 || (multiCount > 0 && multi == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (wideCount == -1) {
        wideCount = 0;
        while (wide[wideCount] != 0) {
            ++wideCount;
        }
        ++wideCount;
    }
    bool replaced = false;
    long long needed = 0;
    for (int i = 0; i < wideCount;) {
        needed += Utf8Length(NextUtf16(wide, wideCount, i, replaced));
    }
    if (needed > 0x7FFFFFFF) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (usedDefault != nullptr) {
        *usedDefault = replaced ? TRUE : FALSE;
    }
    if (multiCount == 0) {
        return static_cast<int>(needed);
    }
    if (needed > multiCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int out = 0;
    for (int i = 0; i < wideCount;) {
        char32_t c = NextUtf16(wide, wideCount, i, replaced);
        PutUtf8(c, multi + out);
        out += Utf8Length(c);
    }
    return out;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiCount, LPWSTR wide,
                        int wideCount) {
    if (!IsUtf8CodePage(codePage) || multi == nullptr || multiCount == 0 || multiCount < -1 ||
        wideCount < 0 || (wideCount > 0 && wide == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (multiCount == -1) {
        multiCount = static_cast<int>(std::strlen(multi)) + 1;
    }
    const auto* text = reinterpret_cast<const unsigned char*>(multi);
    long long needed = 0;
    for (int i = 0; i < multiCount;) {
        needed += NextUtf8(text, multiCount, i) >= 0x10000 ? 2 : 1;
    }
    if (wideCount == 0) {
        return static_cast<int>(needed);
    }
    if (needed > wideCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int out = 0;
    for (int i = 0; i < multiCount;) {
        char32_t c = NextUtf8(text, multiCount, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            wide[out++] = static_cast<WCHAR>(0xD800 + (c >> 10));
            wide[out++] = static_cast<WCHAR>(0xDC00 + (c & 0x3FF));
        } else {
            wide[out++] = static_cast<WCHAR>(c);
        }
    }
    return out;
}
