// Binning and the tile pass: each primitive goes to the tiles its bounds cross; at Flush
// each tile draws its primitives in order, rows of a triangle or a line handed to the
// draw's shading functions.
#include <algorithm>
#include <cstring>

#include "raster/rasterizer_impl.h"

namespace raster {

using namespace detail;

void Rasterizer::Impl::Bin(std::uint32_t primIndex) {
    const Prim& prim = prims[primIndex];
    int tx0 = prim.minX >> kTileShiftX, tx1 = prim.maxX >> kTileShiftX;
    int ty0 = prim.minY >> kTileShiftY, ty1 = prim.maxY >> kTileShiftY;
    for (int ty = ty0; ty <= ty1; ++ty) {
        for (int tx = tx0; tx <= tx1; ++tx) {
            if (prim.kind == PrimKind::Triangle) {
                // Skip tiles that lie wholly outside one edge: test the tile corner
                // where the edge function is largest.
                int left = std::max(tx << kTileShiftX, prim.minX), right = std::min((tx << kTileShiftX) + kTileWidth - 1, prim.maxX);
                int top = std::max(ty << kTileShiftY, prim.minY), bottom = std::min((ty << kTileShiftY) + kTileHeight - 1, prim.maxY);
                bool outside = false;
                for (int e = 0; e < 3 && !outside; ++e) {
                    std::int64_t x = prim.edgeA[e] > 0 ? right : left;
                    std::int64_t y = prim.edgeB[e] > 0 ? bottom : top;
                    outside = prim.edgeA[e] * x + prim.edgeB[e] * y + prim.edgeC[e] < 0;
                }
                if (outside) continue;
            }
            bins[static_cast<std::size_t>(ty) * tilesX + tx].push_back(primIndex);
            ++binEntries;
        }
    }
}

void Rasterizer::Impl::RasterTriangle(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1) {
    const DrawSetup& d = draws[prim.draw];
    // Each sloped edge bounds the span at floor(row / |a|) (negated for a left bound),
    // where row = b * y + c grows by b per row: the quotient and remainder are stepped
    // exactly instead of dividing on every row.
    struct EdgeStep {
        std::int64_t quotient, remainder, divisor, stepQuotient, stepRemainder;
    } steps[3] = {};
    for (int e = 0; e < 3; ++e) {
        std::int64_t a = prim.edgeA[e];
        if (a == 0) continue;
        EdgeStep& s = steps[e];
        s.divisor = a > 0 ? a : -a;
        std::int64_t row = prim.edgeB[e] * y0 + prim.edgeC[e];
        s.quotient = FloorDiv(row, s.divisor);
        s.remainder = row - s.quotient * s.divisor;
        s.stepQuotient = FloorDiv(prim.edgeB[e], s.divisor);
        s.stepRemainder = prim.edgeB[e] - s.stepQuotient * s.divisor;
    }
    // Sorted into left bounds, right bounds and level edges once, so that the row loop
    // has no branch on an edge's kind; the remainder's carry is data and not a branch
    // either, as it comes and goes irregularly.
    EdgeStep* lefts[3];
    EdgeStep* rights[3];
    int leftCount = 0, rightCount = 0, levelEdges[3], levelCount = 0;
    for (int e = 0; e < 3; ++e) {
        if (prim.edgeA[e] > 0) lefts[leftCount++] = &steps[e];
        else if (prim.edgeA[e] < 0) rights[rightCount++] = &steps[e];
        else levelEdges[levelCount++] = e;
    }
    auto advance = [](EdgeStep& s) {
        s.remainder += s.stepRemainder;
        const bool carry = s.remainder >= s.divisor;
        s.remainder -= carry ? s.divisor : 0;
        s.quotient += s.stepQuotient + carry;
    };
    RowSpan spans[kTileHeight];
    for (int y = y0; y <= y1; ++y) {
        std::int64_t left = x0, right = x1;
        for (int i = 0; i < leftCount; ++i) {
            left = std::max(left, -lefts[i]->quotient);  // ceil(-row / a)
            advance(*lefts[i]);
        }
        for (int i = 0; i < rightCount; ++i) {
            right = std::min(right, rights[i]->quotient);
            advance(*rights[i]);
        }
        for (int i = 0; i < levelCount; ++i)
            if (prim.edgeB[levelEdges[i]] * y + prim.edgeC[levelEdges[i]] < 0) right = left - 1;
        spans[y - y0] = left <= right ? RowSpan{static_cast<int>(left), static_cast<int>(right) + 1} : RowSpan{0, 0};
    }
    d.shadeRows(d, prim, planes, y0, y1 - y0 + 1, spans);
}

void Rasterizer::Impl::RasterLine(const Prim& prim, const float* planes, int x0, int y0, int x1, int y1) {
    const DrawSetup& d = draws[prim.draw];
    // Steps one pixel per column (x-major) or row (y-major) from the first end's pixel
    // to the last's, the last one only with LASTPIXEL.
    float a0 = prim.xMajor ? prim.x0 : prim.y0, a1 = prim.xMajor ? prim.x1 : prim.y1;
    float b0 = prim.xMajor ? prim.y0 : prim.x0, b1 = prim.xMajor ? prim.y1 : prim.x1;
    int start = static_cast<int>(std::floor(a0 + 0.5f)), end = static_cast<int>(std::floor(a1 + 0.5f));
    int step = end >= start ? 1 : -1;
    if (!prim.lastPixel) end -= step;
    int lo = std::min(start, end), hi = std::max(start, end);
    if (prim.lastPixel == false && start == end + step) return;
    int bandLo = prim.xMajor ? x0 : y0, bandHi = prim.xMajor ? x1 : y1;
    lo = std::max(lo, bandLo);
    hi = std::min(hi, bandHi);
    float slope = (b1 - b0) / (a1 - a0);
    for (int major = lo; major <= hi; ++major) {
        float minorPos = b0 + (static_cast<float>(major) - a0) * slope;
        int minor = static_cast<int>(std::floor(minorPos + 0.5f));
        int px = prim.xMajor ? major : minor, py = prim.xMajor ? minor : major;
        if (px < x0 || px > x1 || py < y0 || py > y1) continue;
        d.shade(d, prim, planes, py, px, px + 1);
    }
}

void Rasterizer::Impl::DrawTile(int tile) {
    int tx = tile % tilesX, ty = tile / tilesX;
    int tileX0 = tx << kTileShiftX, tileY0 = ty << kTileShiftY;
    int tileX1 = std::min(tileX0 + kTileWidth, binTarget.width) - 1;
    int tileY1 = std::min(tileY0 + kTileHeight, binTarget.height) - 1;
    for (std::uint32_t index : bins[static_cast<std::size_t>(tile)]) {
        const Prim& prim = prims[index];
        const float* planes = planePool.data() + prim.planes;
        int x0 = std::max(tileX0, prim.minX), x1 = std::min(tileX1, prim.maxX);
        int y0 = std::max(tileY0, prim.minY), y1 = std::min(tileY1, prim.maxY);
        if (x0 > x1 || y0 > y1) continue;
        switch (prim.kind) {
            case PrimKind::Triangle: RasterTriangle(prim, planes, x0, y0, x1, y1); break;
            case PrimKind::Line: RasterLine(prim, planes, x0, y0, x1, y1); break;
            case PrimKind::Point:
                for (int y = y0; y <= y1; ++y) draws[prim.draw].shade(draws[prim.draw], prim, planes, y, x0, x1 + 1);
                break;
            case PrimKind::Clear: ClearRect(prim, x0, y0, x1, y1); break;
        }
    }
}

}  // namespace raster
