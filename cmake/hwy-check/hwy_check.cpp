// Prints the Highway targets this processor supports, best first; fails without any.
#include <cstdint>
#include <cstdio>

#include <hwy/targets.h>

int main() {
    const std::int64_t supported = hwy::SupportedTargets();
    std::printf("Highway targets:");
    for (std::int64_t bit = 1; bit > 0; bit <<= 1) {
        if (supported & bit) std::printf(" %s", hwy::TargetName(bit));
    }
    std::printf("\n");
    return supported != 0 ? 0 : 1;
}
