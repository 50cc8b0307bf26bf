// Force-included into every C++ file of the web build (scripts/web): what the C++20
// library of Debian's Emscripten (3.1.6) lacks and the code uses.
#pragma once

#ifdef __cplusplus
#include <version>

#ifndef __cpp_lib_bit_cast
#include <type_traits>
namespace std {
template <class To, class From>
    requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif
