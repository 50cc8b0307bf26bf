// The choice among the Highway targets a file is compiled for: which targets a list names,
// which of them this processor runs, and the dispatch-table slot of the best of them.
// Every layer that dispatches at run time takes its target from here, so that one
// TOLVANE_VECTOR_TARGETS setting masks them all.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "simd/export.h"

TOLVANE_API_BEGIN

namespace tolvane::simd {

// The Highway target bits (HWY_AVX2 ...) named in a comma-separated list of target names
// as hwy::TargetName spells them, in any case ("avx2,sse4", "emu128"). Names it does not
// know add nothing; *unknown, when given, receives the first of them (empty when none).
std::int64_t ParseTargets(std::string_view names, std::string* unknown = nullptr);

// The targets TOLVANE_VECTOR_TARGETS names, read once; every target (-1) when it is unset.
std::int64_t EnvironmentTargets();

// The targets this processor runs, asked once.
std::int64_t SupportedTargets();

// The best target among targets that is also compiled (a file's HWY_TARGETS) and that this
// processor runs; when there is none, the portable fallback compiled (HWY_EMU128 or
// HWY_SCALAR), or else the baseline target the whole build assumes (HWY_STATIC_TARGET).
std::int64_t ChooseTarget(std::int64_t targets, std::int64_t compiled);

// The slot of HWY_DISPATCH_TABLE(f) in a file compiled for `compiled` that holds the best
// usable target of targets, as ChooseTarget picks it.
std::size_t DispatchIndex(std::int64_t targets, std::int64_t compiled);

// The name of one target bit ("AVX2"), "none" for 0.
const char* TargetName(std::int64_t target);

}  // namespace tolvane::simd

TOLVANE_API_END
