#include "platform/d3d8/present.h"

#include <algorithm>

namespace d3d8 {

bool FrontImage::Compose(HWND target, int clientWidth, int clientHeight, const std::uint32_t* source,
                         int sourceWidth, int sourceHeight, int sourcePitchBytes, const RECT* sourceRect,
                         const RECT* destRect) {
    RECT from = sourceRect != nullptr ? *sourceRect : RECT{0, 0, sourceWidth, sourceHeight};
    const RECT to = destRect != nullptr ? *destRect : RECT{0, 0, clientWidth, clientHeight};
    if (from.left > from.right || from.top > from.bottom || to.left > to.right || to.top > to.bottom) return false;
    if (target != window || clientWidth != width || clientHeight != height) {
        window = target;
        width = clientWidth;
        height = clientHeight;
        pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    from.left = std::max<LONG>(from.left, 0);
    from.top = std::max<LONG>(from.top, 0);
    from.right = std::min<LONG>(from.right, sourceWidth);
    from.bottom = std::min<LONG>(from.bottom, sourceHeight);
    const std::int64_t fromWidth = from.right - from.left;
    const std::int64_t fromHeight = from.bottom - from.top;
    const std::int64_t toWidth = to.right - to.left;
    const std::int64_t toHeight = to.bottom - to.top;
    if (fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0) return true;  // nothing to copy

    // Point sampling: the destination pixel's centre, mapped into the source rectangle of
    // the unclipped destination, picks the source pixel; only pixels inside the client
    // area are written.
    const LONG x0 = std::max<LONG>(to.left, 0), x1 = std::min<LONG>(to.right, width);
    const LONG y0 = std::max<LONG>(to.top, 0), y1 = std::min<LONG>(to.bottom, height);
    for (LONG y = y0; y < y1; ++y) {
        const std::int64_t sy = from.top + ((2 * (y - to.top) + 1) * fromHeight) / (2 * toHeight);
        const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(source) +
                                                                 sy * static_cast<std::int64_t>(sourcePitchBytes));
        std::uint32_t* out = &pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width)];
        for (LONG x = x0; x < x1; ++x) {
            const std::int64_t sx = from.left + ((2 * (x - to.left) + 1) * fromWidth) / (2 * toWidth);
            out[x] = row[sx];
        }
    }
    return true;
}

}  // namespace d3d8
