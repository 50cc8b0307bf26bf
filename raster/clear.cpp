// Clears: queued as primitives of their own, so that each tile is cleared by its worker just
// before it draws, while the tile is in that core's cache.
#include <algorithm>
#include <cstring>

#include "raster/rasterizer_impl.h"

namespace raster {

using namespace detail;

namespace {

// Asks for the cache line at p ahead of writes to it. An asm statement: the compiler
// deletes a loop of prefetch builtins as a loop without effects.
inline void PrefetchForWrite(const void* p) {
#if defined(__x86_64__) || defined(__i386__)
    asm volatile("prefetchw %0" : : "m"(*static_cast<const char*>(p)));
#elif defined(__aarch64__)
    asm volatile("prfm pstl1keep, %0" : : "Q"(*static_cast<const char*>(p)));
#else
    (void)p;
#endif
}

}  // namespace

void Rasterizer::Impl::ClearRect(const Prim& prim, int x0, int y0, int x1, int y1) {
    // A clear is usually the first touch of a tile's target lines in a frame, and they are
    // in no cache of this core: each row is asked for a few rows ahead of its stores. With
    // bands the hardware prefetcher streams most of it in, and asking ahead still helps a
    // little (two rows ahead do as well as eight; none, or one, are slower).
    constexpr int kAhead = 8;
    auto fetch = [&](int y) {
        if (prim.clearColor) {
            std::uint32_t* row = binTarget.color + static_cast<std::ptrdiff_t>(y) * binTarget.colorPitch;
            for (int x = x0; x <= x1; x += 16) PrefetchForWrite(row + x);
            PrefetchForWrite(row + x1);  // the last line, where x0 is not at a line's start
        }
        if (prim.clearDepth) {
            std::uint16_t* row = binTarget.depth + static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
            for (int x = x0; x <= x1; x += 32) PrefetchForWrite(row + x);
            PrefetchForWrite(row + x1);
        }
    };
    for (int y = y0; y <= y1 && y < y0 + kAhead; ++y) fetch(y);
    for (int y = y0; y <= y1; ++y) {
        if (y + kAhead <= y1) fetch(y + kAhead);
        if (prim.clearColor) {
            std::uint32_t* row = binTarget.color + static_cast<std::ptrdiff_t>(y) * binTarget.colorPitch;
            fillColor(row + x0, row + x1 + 1, prim.clearColorValue);
        }
        if (prim.clearDepth) {
            std::uint16_t* row = binTarget.depth + static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
            fillDepth(row + x0, row + x1 + 1, prim.clearDepthValue);
        }
        if (prim.clearWords) ClearWords(prim, y, x0, x1);
    }
}

void Rasterizer::Impl::ClearWords(const Prim& prim, int y, int x0, int x1) {
    const std::ptrdiff_t start = static_cast<std::ptrdiff_t>(y) * binTarget.depthPitch;
    if (binTarget.depthLayout.wordBytes == 2) {
        std::uint16_t* row = static_cast<std::uint16_t*>(binTarget.depthStencil) + start;
        const auto keep = static_cast<std::uint16_t>(prim.clearKeep), word = static_cast<std::uint16_t>(prim.clearWord);
        if (keep == 0) fillDepth(row + x0, row + x1 + 1, word);
        else
            for (int x = x0; x <= x1; ++x) row[x] = static_cast<std::uint16_t>((row[x] & keep) | word);
        return;
    }
    std::uint32_t* row = static_cast<std::uint32_t*>(binTarget.depthStencil) + start;
    if (prim.clearKeep == 0) fillColor(row + x0, row + x1 + 1, prim.clearWord);
    else
        for (int x = x0; x <= x1; ++x) row[x] = (row[x] & prim.clearKeep) | prim.clearWord;
}

void Rasterizer::Impl::Clear(const RenderTarget& target, const Viewport& viewport, std::uint32_t count,
                             const Rect* rects, ClearBuffers buffers, std::uint32_t color, float z,
                             std::uint32_t stencil) {
    // Clears are queued like primitives, so each tile is cleared by its own worker just
    // before it draws, while the tile is in that core's cache.
    BindTarget(target);
    if (QueueFull()) Flush();
    std::int64_t vx0 = std::min<std::int64_t>(viewport.x, target.width);
    std::int64_t vy0 = std::min<std::int64_t>(viewport.y, target.height);
    std::int64_t vx1 = std::min<std::int64_t>(std::int64_t{viewport.x} + viewport.width, target.width);
    std::int64_t vy1 = std::min<std::int64_t>(std::int64_t{viewport.y} + viewport.height, target.height);
    Prim prim;
    prim.kind = PrimKind::Clear;
    prim.clearColor = buffers.color;
    prim.clearDepth = buffers.depth && target.depth != nullptr;
    if (target.depthStencil != nullptr) {
        // Depth high, stencil low, the bits between them cleared whenever either is.
        const DepthStencilLayout& layout = target.depthLayout;
        const int shift = 8 * layout.wordBytes - layout.depthBits;
        const std::uint32_t depthMax = (std::uint32_t{1} << layout.depthBits) - 1;
        const std::uint32_t stencilBits = (std::uint32_t{1} << layout.stencilBits) - 1;
        const bool clearZ = buffers.depth;
        const bool clearStencil = buffers.stencil && stencilBits != 0;
        prim.clearWords = clearZ || clearStencil;
        const std::uint32_t depthBits = depthMax << shift;
        prim.clearKeep = (clearZ ? 0u : depthBits) | (clearStencil ? 0u : stencilBits);
        const float scaled = std::clamp(z, 0.0f, 1.0f) * static_cast<float>(depthMax) + 0.5f;
        const std::uint32_t depth = std::min(static_cast<std::uint32_t>(scaled), depthMax);
        prim.clearWord = (clearZ ? depth << shift : 0u) | (clearStencil ? stencil & stencilBits : 0u);
    }
    if (!prim.clearColor && !prim.clearDepth && !prim.clearWords) return;
    prim.clearColorValue = target.hasAlpha ? color : (color | kOpaqueAlpha);
    prim.clearDepthValue = static_cast<std::uint16_t>(std::clamp(z, 0.0f, 1.0f) * kDepthScale + 0.5f);
    auto clearRect = [&](std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
        x0 = std::max(x0, vx0);
        y0 = std::max(y0, vy0);
        x1 = std::min(x1, vx1);
        y1 = std::min(y1, vy1);
        if (x0 >= x1 || y0 >= y1) return;
        prim.minX = static_cast<int>(x0);
        prim.minY = static_cast<int>(y0);
        prim.maxX = static_cast<int>(x1 - 1);
        prim.maxY = static_cast<int>(y1 - 1);
        prims.push_back(prim);
        Bin(static_cast<std::uint32_t>(prims.size() - 1));
    };
    if (count == 0 || rects == nullptr) {
        clearRect(vx0, vy0, vx1, vy1);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
}

}  // namespace raster
