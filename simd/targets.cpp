#include "simd/targets.h"

#include <hwy/targets.h>

#include <cstdlib>
#include <string>

namespace tolvane::simd {
namespace {

bool SameName(std::string_view a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y) return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

std::int64_t ParseTargets(std::string_view names, std::string* unknown) {
    if (unknown) unknown->clear();
    std::int64_t targets = 0;
    while (true) {
        const std::size_t comma = names.find(',');
        std::string_view name = names.substr(0, comma);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        if (!name.empty()) {
            std::int64_t found = 0;
            for (int shift = 0; shift < 63; ++shift) {
                const std::int64_t bit = std::int64_t{1} << shift;
                if (SameName(name, hwy::TargetName(bit))) found |= bit;
            }
            if (found == 0 && unknown && unknown->empty()) *unknown = std::string(name);
            targets |= found;
        }
        if (comma == std::string_view::npos) break;
        names.remove_prefix(comma + 1);
    }
    return targets;
}

std::int64_t EnvironmentTargets() {
    static const std::int64_t targets = [] {
        const char* names = std::getenv("TOLVANE_VECTOR_TARGETS");
        return names ? ParseTargets(names) : std::int64_t{-1};
    }();
    return targets;
}

std::int64_t SupportedTargets() {
    static const std::int64_t supported = hwy::SupportedTargets();
    return supported;
}

std::int64_t ChooseTarget(std::int64_t targets, std::int64_t compiled) {
    const std::int64_t usable = targets & SupportedTargets() & compiled;
    if (usable != 0) return usable & -usable;
    const std::int64_t fallback = compiled & (HWY_EMU128 | HWY_SCALAR);
    if (fallback != 0) return fallback & -fallback;
    return HWY_STATIC_TARGET;
}

std::size_t DispatchIndex(std::int64_t targets, std::int64_t compiled) {
    // A file compiled for one target has a table of one slot.
    if ((compiled & (compiled - 1)) == 0) return 0;
    const std::int64_t usable = targets & SupportedTargets() & compiled;
    const std::int64_t mask = HWY_CHOSEN_TARGET_SHIFT(compiled) | HWY_CHOSEN_TARGET_MASK_SCALAR | 1LL;
    const std::int64_t chosen = (HWY_CHOSEN_TARGET_SHIFT(usable) | HWY_CHOSEN_TARGET_MASK_SCALAR) & mask;
    return hwy::Num0BitsBelowLS1Bit_Nonzero64(static_cast<std::uint64_t>(chosen));
}

const char* TargetName(std::int64_t target) { return target == 0 ? "none" : hwy::TargetName(target); }

}  // namespace tolvane::simd
