// ConvertSurface: a fixed list of strategies, cheapest first; the first that accepts the
// pair of regions does the work.
#include "image/convert.h"

#include <algorithm>
#include <cfenv>
#include <cstring>
#include <new>
#include <utility>

#include "image/filter_kernels.h"
#include "image/filter_weights.h"
#include "image/pixel_formats.h"

using namespace tolvane::pixels;

namespace {

constexpr float kRowComplete = 1.0f - 0.00001f;

// One row of Color values for the length of a call.
class ColorRow {
public:
    explicit ColorRow(UINT count) : p_(new (std::nothrow) Color[count == 0 ? 1 : count]) {}
    ~ColorRow() { delete[] p_; }
    ColorRow(const ColorRow&) = delete;
    ColorRow& operator=(const ColorRow&) = delete;
    bool Ok() const { return p_ != nullptr; }
    Color* Get() const { return p_; }

private:
    Color* p_;
};

// Owns a codec and destroys it (flushing its cache) when the call ends.
class CodecHolder {
public:
    explicit CodecHolder(PixelCodec* codec) : codec_(codec) {}
    ~CodecHolder() {
        if (codec_ != nullptr) {
            codec_->Destroy(true);
        }
    }
    CodecHolder(const CodecHolder&) = delete;
    CodecHolder& operator=(const CodecHolder&) = delete;
    PixelCodec* Get() const { return codec_; }

private:
    PixelCodec* codec_;
};

// The conversion's arithmetic is defined in round-to-nearest (the toward-zero steps are
// derived from it, see float_rounding.h). A caller that changed its thread's rounding mode
// gets it back when the call ends; the mode is per thread, so nothing is shared.
class RoundToNearestScope {
public:
    RoundToNearestScope() : saved_(std::fegetround()) {
        if (saved_ != FE_TONEAREST) {
            std::fesetround(FE_TONEAREST);
        }
    }
    ~RoundToNearestScope() {
        if (saved_ != FE_TONEAREST) {
            std::fesetround(saved_);
        }
    }
    RoundToNearestScope(const RoundToNearestScope&) = delete;
    RoundToNearestScope& operator=(const RoundToNearestScope&) = delete;

private:
    int saved_;
};

struct Job {
    PixelCodec& dst;
    PixelCodec& src;
    DWORD filter;
    UINT sw, sh, sd;  // source region size
    UINT dw, dh, dd;  // destination region size

    bool SameSize() const { return sw == dw && sh == dh && sd == dd; }
    bool BothColour() const { return src.Class == 1 && dst.Class == 1; }
    DWORD Type() const { return FilterType(filter); }
};

std::uint8_t* LinearRow(const PixelCodec& c, UINT row, UINT slice) {
    return c.Data + static_cast<std::size_t>(row) * c.RowPitch + static_cast<std::size_t>(slice) * c.SlicePitch;
}

bool BlockAligned(const D3DBOX& b) { return ((b.Left | b.Top | b.Right | b.Bottom) & 3u) == 0; }

// 1. Raw copy: same format, no source key, same size; bytes are moved as they are.
bool TakesRawCopy(const Job& j) {
    if (j.src.Format != j.dst.Format || j.src.HasColorKey || !j.SameSize()) {
        return false;
    }
    if (j.src.HasPalette && std::memcmp(j.src.PaletteColors, j.dst.PaletteColors, sizeof(j.src.PaletteColors)) != 0) {
        return false;
    }
    return j.src.Linear || (IsDxt(j.src.Format) && BlockAligned(j.src.Region) && BlockAligned(j.dst.Region));
}

HRESULT RawCopy(const Job& j) {
    if (j.src.Linear) {
        for (UINT z = 0; z < j.sd; ++z) {
            for (UINT y = 0; y < j.sh; ++y) {
                std::memmove(LinearRow(j.dst, y, z), LinearRow(j.src, y, z), j.src.RowBytes);
            }
        }
        return S_OK;
    }
    const std::size_t blockBytes = j.src.Format == D3DFMT_DXT1 ? 8 : 16;
    const std::size_t rowBytes = (j.sw / 4) * blockBytes;
    for (UINT z = 0; z < j.sd; ++z) {
        for (UINT by = 0; by < j.sh / 4; ++by) {
            const std::uint8_t* from = LinearRow(j.src, j.src.Region.Top / 4 + by, j.src.Region.Front + z) +
                                       (j.src.Region.Left / 4) * blockBytes;
            std::uint8_t* to = LinearRow(j.dst, j.dst.Region.Top / 4 + by, j.dst.Region.Front + z) +
                               (j.dst.Region.Left / 4) * blockBytes;
            std::memmove(to, from, rowBytes);
        }
    }
    return S_OK;
}

// 2. Same size: row by row through Color.
bool TakesSameSize(const Job& j) { return j.SameSize(); }

HRESULT SameSize(const Job& j) {
    ColorRow row(j.sw);
    if (!row.Ok()) {
        return E_OUTOFMEMORY;
    }
    for (UINT z = 0; z < j.sd; ++z) {
        for (UINT y = 0; y < j.sh; ++y) {
            j.src.ReadRow(y, z, row.Get());
            j.dst.WriteRow(y, z, row.Get());
        }
    }
    return S_OK;
}

// 3. No filter: what overlaps is copied, the rest of the destination cleared.
bool TakesFilterNone(const Job& j) { return j.Type() == FILTER_NONE; }

HRESULT FilterNone(const Job& j) {
    ColorRow row(std::max(j.sw, j.dw));
    if (!row.Ok()) {
        return E_OUTOFMEMORY;
    }
    const UINT ow = std::min(j.sw, j.dw);
    const UINT oh = std::min(j.sh, j.dh);
    const UINT od = std::min(j.sd, j.dd);
    Color* r = row.Get();
    for (UINT z = 0; z < j.dd; ++z) {
        for (UINT y = 0; y < j.dh; ++y) {
            UINT copied = 0;
            if (z < od && y < oh) {
                j.src.ReadRow(y, z, r);
                copied = ow;
            }
            std::fill(r + copied, r + j.dw, Color{0.0f, 0.0f, 0.0f, 0.0f});
            j.dst.WriteRow(y, z, r);
        }
    }
    return S_OK;
}

// 4. Point sampling with 16.16 fixed-point steps. The products are taken in 64 bits so
// that wide surfaces (65536 pixels and more) do not overflow.
bool TakesFilterPoint(const Job& j) { return j.Type() == FILTER_POINT; }

HRESULT FilterPoint(const Job& j) {
    const std::uint64_t stepX = (static_cast<std::uint64_t>(j.sw) << 16) / j.dw;
    const std::uint64_t stepY = (static_cast<std::uint64_t>(j.sh) << 16) / j.dh;
    const std::uint64_t stepZ = (static_cast<std::uint64_t>(j.sd) << 16) / j.dd;
    ColorRow source(j.sw);
    ColorRow out(j.dw);
    if (!source.Ok() || !out.Ok()) {
        return E_OUTOFMEMORY;
    }
    std::uint64_t accZ = 0;
    for (UINT z = 0; z < j.dd; ++z, accZ += stepZ) {
        const UINT sz = static_cast<UINT>(accZ >> 16);
        UINT heldRow = 0xFFFFFFFFu;
        std::uint64_t accY = 0;
        for (UINT y = 0; y < j.dh; ++y, accY += stepY) {
            const UINT sy = static_cast<UINT>(accY >> 16);
            if (sy != heldRow) {
                j.src.ReadRow(sy, sz, source.Get());
                heldRow = sy;
            }
            std::uint64_t accX = 0;
            for (UINT x = 0; x < j.dw; ++x, accX += stepX) {
                out.Get()[x] = source.Get()[accX >> 16];
            }
            j.dst.WriteRow(y, z, out.Get());
        }
    }
    return S_OK;
}

bool Halves(UINT source, UINT destination) {
    return destination == source / 2 || (destination == 1 && source == 1);
}

// 5. Box filter, 2-D: exact halving by 2x2 averages.
bool TakesBox2D(const Job& j) {
    return j.Type() == FILTER_BOX && j.BothColour() && j.sd == 1 && j.dd == 1 && Halves(j.sw, j.dw) &&
           Halves(j.sh, j.dh);
}

HRESULT Box2D(const Job& j) {
    if ((j.filter & FILTER_DITHER) == 0 && j.src.Format == j.dst.Format && j.sw % 2 == 0 && j.sh % 2 == 0 &&
        BoxHalveIntegerSupported(j.src.Format)) {
        for (UINT y = 0; y < j.dh; ++y) {
            BoxHalveIntegerRow(j.src.Format, LinearRow(j.src, 2 * y, 0), LinearRow(j.src, 2 * y + 1, 0),
                               LinearRow(j.dst, y, 0), j.dw);
        }
        return S_OK;
    }
    ColorRow row0(j.sw);
    ColorRow row1(j.sw);
    ColorRow out(j.dw);
    if (!row0.Ok() || !row1.Ok() || !out.Ok()) {
        return E_OUTOFMEMORY;
    }
    const UINT second = j.sw == 1 ? 0 : 1;
    for (UINT y = 0; y < j.dh; ++y) {
        j.src.ReadRow(2 * y, 0, row0.Get());
        const Color* s1 = row0.Get();
        if (j.sh != 1) {
            j.src.ReadRow(2 * y + 1, 0, row1.Get());
            s1 = row1.Get();
        }
        BoxAverageRow(row0.Get(), s1, second, out.Get(), j.dw);
        j.dst.WriteRow(y, 0, out.Get());
    }
    return S_OK;
}

// 6. Box filter, volumes: 2x2x2 averages.
bool TakesBoxVolume(const Job& j) {
    return j.Type() == FILTER_BOX && j.BothColour() && Halves(j.sw, j.dw) && Halves(j.sh, j.dh) &&
           Halves(j.sd, j.dd);
}

HRESULT BoxVolume(const Job& j) {
    ColorRow rows[4] = {ColorRow(j.sw), ColorRow(j.sw), ColorRow(j.sw), ColorRow(j.sw)};
    ColorRow out(j.dw);
    for (const ColorRow& r : rows) {
        if (!r.Ok()) {
            return E_OUTOFMEMORY;
        }
    }
    if (!out.Ok()) {
        return E_OUTOFMEMORY;
    }
    const UINT dx = j.sw == 1 ? 0 : 1;
    const UINT dy = j.sh == 1 ? 0 : 1;
    const UINT dz = j.sd == 1 ? 0 : 1;
    for (UINT z = 0; z < j.dd; ++z) {
        for (UINT y = 0; y < j.dh; ++y) {
            j.src.ReadRow(2 * y, 2 * z, rows[0].Get());
            j.src.ReadRow(2 * y + dy, 2 * z, rows[1].Get());
            j.src.ReadRow(2 * y, 2 * z + dz, rows[2].Get());
            j.src.ReadRow(2 * y + dy, 2 * z + dz, rows[3].Get());
            Color* o = out.Get();
            for (UINT x = 0; x < j.dw; ++x) {
                const UINT x0 = 2 * x;
                const UINT x1 = 2 * x + dx;
                Color s = rows[0].Get()[x0];
                const Color* samples[7] = {&rows[0].Get()[x1], &rows[1].Get()[x0], &rows[1].Get()[x1],
                                           &rows[2].Get()[x0], &rows[2].Get()[x1], &rows[3].Get()[x0],
                                           &rows[3].Get()[x1]};
                for (const Color* p : samples) {
                    s.r += p->r;
                    s.g += p->g;
                    s.b += p->b;
                    s.a += p->a;
                }
                o[x] = {s.r * 0.125f, s.g * 0.125f, s.b * 0.125f, s.a * 0.125f};
            }
            j.dst.WriteRow(y, z, o);
        }
    }
    return S_OK;
}

// A small cache of source rows keyed by (row, slice) for the linear filters.
class RowCache {
public:
    RowCache(PixelCodec& src, UINT width, int count) : src_(src), count_(count) {
        for (int i = 0; i < count_; ++i) {
            rows_[i] = new (std::nothrow) Color[width == 0 ? 1 : width];
            ok_ = ok_ && rows_[i] != nullptr;
        }
    }
    ~RowCache() {
        for (int i = 0; i < count_; ++i) {
            delete[] rows_[i];
        }
    }
    RowCache(const RowCache&) = delete;
    RowCache& operator=(const RowCache&) = delete;
    bool Ok() const { return ok_; }

    // Starts the rows of one destination row: rows still wanted by it are not evicted.
    void Begin() { pinned_ = 0; }

    // The source row, reading it only when no buffer holds it.
    const Color* Get(UINT row, UINT slice) {
        for (int i = 0; i < count_; ++i) {
            if (tags_[i].row == row && tags_[i].slice == slice) {
                pinned_ |= 1u << i;
                return rows_[i];
            }
        }
        int victim = 0;
        while ((pinned_ >> victim) & 1u) {
            ++victim;
        }
        src_.ReadRow(row, slice, rows_[victim]);
        tags_[victim] = {row, slice};
        pinned_ |= 1u << victim;
        return rows_[victim];
    }

private:
    struct Tag {
        UINT row = 0xFFFFFFFFu;
        UINT slice = 0xFFFFFFFFu;
    };
    PixelCodec& src_;
    int count_;
    Color* rows_[4] = {};
    Tag tags_[4];
    unsigned pinned_ = 0;
    bool ok_ = true;
};

class LinearWeights {
public:
    explicit LinearWeights(UINT m) : w_(new (std::nothrow) LinearWeight[m == 0 ? 1 : m]) {}
    ~LinearWeights() { delete[] w_; }
    LinearWeights(const LinearWeights&) = delete;
    LinearWeights& operator=(const LinearWeights&) = delete;
    bool Ok() const { return w_ != nullptr; }
    LinearWeight* Get() const { return w_; }

private:
    LinearWeight* w_;
};

inline Color Blend(float w0, const Color& a, float w1, const Color& b) {
    return {w0 * a.r + w1 * b.r, w0 * a.g + w1 * b.g, w0 * a.b + w1 * b.b, w0 * a.a + w1 * b.a};
}

inline Color BlendRow(const LinearWeight& wx, const Color* row) {
    return Blend(wx.Weight0, row[wx.Index0], wx.Weight1, row[wx.Index1]);
}

// 7 and 8. Linear filter; 2-D when volume is false.
bool TakesLinear(const Job& j, bool volume) {
    return j.Type() == FILTER_LINEAR && j.BothColour() && (volume || (j.sd == 1 && j.dd == 1));
}

HRESULT LinearFilter(const Job& j, bool volume) {
    LinearWeights wx(j.dw), wy(j.dh), wz(j.dd);
    ColorRow out(j.dw);
    RowCache cache(j.src, j.sw, volume ? 4 : 2);
    if (!wx.Ok() || !wy.Ok() || !wz.Ok() || !out.Ok() || !cache.Ok()) {
        return E_OUTOFMEMORY;
    }
    BuildLinearWeights(j.sw, j.dw, (j.filter & FILTER_MIRROR_U) != 0, wx.Get());
    BuildLinearWeights(j.sh, j.dh, (j.filter & FILTER_MIRROR_V) != 0, wy.Get());
    BuildLinearWeights(j.sd, j.dd, (j.filter & FILTER_MIRROR_W) != 0, wz.Get());
    for (UINT z = 0; z < j.dd; ++z) {
        const LinearWeight& lz = wz.Get()[z];
        for (UINT y = 0; y < j.dh; ++y) {
            const LinearWeight& ly = wy.Get()[y];
            cache.Begin();
            Color* o = out.Get();
            if (!volume) {
                const Color* r0 = cache.Get(ly.Index0, 0);
                const Color* r1 = cache.Get(ly.Index1, 0);
                for (UINT x = 0; x < j.dw; ++x) {
                    const LinearWeight& lx = wx.Get()[x];
                    o[x] = Blend(ly.Weight0, BlendRow(lx, r0), ly.Weight1, BlendRow(lx, r1));
                }
            } else {
                const Color* r00 = cache.Get(ly.Index0, lz.Index0);
                const Color* r01 = cache.Get(ly.Index1, lz.Index0);
                const Color* r10 = cache.Get(ly.Index0, lz.Index1);
                const Color* r11 = cache.Get(ly.Index1, lz.Index1);
                for (UINT x = 0; x < j.dw; ++x) {
                    const LinearWeight& lx = wx.Get()[x];
                    const Color front = Blend(ly.Weight0, BlendRow(lx, r00), ly.Weight1, BlendRow(lx, r01));
                    const Color back = Blend(ly.Weight0, BlendRow(lx, r10), ly.Weight1, BlendRow(lx, r11));
                    o[x] = Blend(lz.Weight0, front, lz.Weight1, back);
                }
            }
            j.dst.WriteRow(y, z, o);
        }
    }
    return S_OK;
}

// An open destination row of the triangle filter.
struct Accumulator {
    Color* Row = nullptr;
    float Total = 0.0f;
    Accumulator* NextFree = nullptr;
    Accumulator* NextOwned = nullptr;
};

// Every accumulator of one call: the open ones by destination row, and a free list.
class AccumulatorPool {
public:
    AccumulatorPool(UINT width, std::size_t rows)
        : width_(width), open_(new (std::nothrow) Accumulator*[rows == 0 ? 1 : rows]()) {}
    ~AccumulatorPool() {
        delete[] open_;
        while (owned_ != nullptr) {
            Accumulator* next = owned_->NextOwned;
            delete[] owned_->Row;
            delete owned_;
            owned_ = next;
        }
    }
    AccumulatorPool(const AccumulatorPool&) = delete;
    AccumulatorPool& operator=(const AccumulatorPool&) = delete;
    bool Ok() const { return open_ != nullptr; }

    Accumulator* Open(std::size_t key) const { return open_[key]; }

    // Gives the row a cleared accumulator unless it has one; false when out of memory.
    bool Acquire(std::size_t key) {
        if (open_[key] != nullptr) {
            return true;
        }
        Accumulator* a = free_;
        if (a != nullptr) {
            free_ = a->NextFree;
        } else {
            a = new (std::nothrow) Accumulator;
            if (a == nullptr) {
                return false;
            }
            a->Row = new (std::nothrow) Color[width_ == 0 ? 1 : width_];
            if (a->Row == nullptr) {
                delete a;
                return false;
            }
            a->NextOwned = owned_;
            owned_ = a;
        }
        std::fill(a->Row, a->Row + width_, Color{0.0f, 0.0f, 0.0f, 0.0f});
        a->Total = 0.0f;
        open_[key] = a;
        return true;
    }

    void Release(std::size_t key) {
        Accumulator* a = open_[key];
        open_[key] = nullptr;
        a->NextFree = free_;
        free_ = a;
    }

private:
    UINT width_;
    Accumulator** open_;
    Accumulator* free_ = nullptr;
    Accumulator* owned_ = nullptr;
};

// The x weights of a whole row flattened to (source column, destination column, weight).
class ColumnTaps {
public:
    ~ColumnTaps() { delete[] taps_; }
    bool Build(const FilterWeights& weights, UINT n) {
        std::size_t count = 0;
        FilterWeights::Cursor c = weights.First();
        for (UINT x = 0; x < n; ++x, c.Next()) {
            count += c.Count();
        }
        taps_ = new (std::nothrow) ColumnTap[count == 0 ? 1 : count];
        if (taps_ == nullptr) {
            return false;
        }
        c = weights.First();
        for (UINT x = 0; x < n; ++x, c.Next()) {
            const WeightPair* pairs = c.Pairs();
            for (UINT k = 0; k < c.Count(); ++k) {
                taps_[count_++] = {x, static_cast<UINT>(pairs[k].Index), pairs[k].Weight};
            }
        }
        return true;
    }
    const ColumnTap* Get() const { return taps_; }
    std::size_t Count() const { return count_; }

private:
    ColumnTap* taps_ = nullptr;
    std::size_t count_ = 0;
};

// 9 and 10. Triangle filter: every source row is read once and scattered into the open
// destination rows its weights reach; a row is written once its weights sum to 1. Any
// filter type reaches here when its own strategy declined. 2-D when volume is false.
bool TakesTriangle(const Job& j, bool volume) { return j.BothColour() && (volume || (j.sd == 1 && j.dd == 1)); }

HRESULT Triangle(const Job& j, bool volume) {
    FilterWeights wx, wy, wz;
    ColumnTaps taps;
    if (!wx.Build(j.sw, j.dw, (j.filter & FILTER_MIRROR_U) != 0) ||
        !wy.Build(j.sh, j.dh, (j.filter & FILTER_MIRROR_V) != 0) || !taps.Build(wx, j.sw)) {
        return E_OUTOFMEMORY;
    }
    // Across slices of a 2-D pair there is one source and one destination slice of weight 1.
    const WeightPair unitPair = {0, 1.0f};
    if (volume && !wz.Build(j.sd, j.dd, (j.filter & FILTER_MIRROR_W) != 0)) {
        return E_OUTOFMEMORY;
    }
    ColorRow source(j.sw);
    AccumulatorPool pool(j.dw, static_cast<std::size_t>(j.dd) * j.dh);
    if (!source.Ok() || !pool.Ok()) {
        return E_OUTOFMEMORY;
    }
    FilterWeights::Cursor zc = volume ? wz.First() : FilterWeights::Cursor(nullptr);
    for (UINT z = 0; z < j.sd; ++z) {
        const WeightPair* zPairs = volume ? zc.Pairs() : &unitPair;
        const UINT zCount = volume ? zc.Count() : 1;
        FilterWeights::Cursor yc = wy.First();
        for (UINT y = 0; y < j.sh; ++y, yc.Next()) {
            const WeightPair* yPairs = yc.Pairs();
            const UINT yCount = yc.Count();
            for (UINT a = 0; a < zCount; ++a) {
                for (UINT b = 0; b < yCount; ++b) {
                    const std::size_t key = static_cast<std::size_t>(zPairs[a].Index) * j.dh + yPairs[b].Index;
                    if (!pool.Acquire(key)) {
                        return E_OUTOFMEMORY;
                    }
                }
            }
            j.src.ReadRow(y, z, source.Get());
            for (UINT a = 0; a < zCount; ++a) {
                for (UINT b = 0; b < yCount; ++b) {
                    const std::size_t key = static_cast<std::size_t>(zPairs[a].Index) * j.dh + yPairs[b].Index;
                    const float rowWeight = volume ? yPairs[b].Weight * zPairs[a].Weight : yPairs[b].Weight;
                    Accumulator* acc = pool.Open(key);
                    ScatterRow(source.Get(), taps.Get(), taps.Count(), rowWeight, acc->Row);
                    acc->Total += rowWeight;
                    if (acc->Total >= kRowComplete) {
                        j.dst.WriteRow(static_cast<UINT>(yPairs[b].Index), static_cast<UINT>(zPairs[a].Index),
                                       acc->Row);
                        pool.Release(key);
                    }
                }
            }
        }
        if (volume) {
            zc.Next();
        }
    }
    // Rows whose weights never reached 1 (tiny destinations) are written as accumulated.
    for (UINT z = 0; z < j.dd; ++z) {
        for (UINT y = 0; y < j.dh; ++y) {
            const std::size_t key = static_cast<std::size_t>(z) * j.dh + y;
            if (pool.Open(key) != nullptr) {
                j.dst.WriteRow(y, z, pool.Open(key)->Row);
                pool.Release(key);
            }
        }
    }
    return S_OK;
}

bool BoxInside(const D3DBOX& inner, const D3DBOX& outer) {
    return inner.Left >= outer.Left && inner.Right <= outer.Right && inner.Top >= outer.Top &&
           inner.Bottom <= outer.Bottom && inner.Front >= outer.Front && inner.Back <= outer.Back;
}

// Coordinates beyond this are refused: no surface is that large, and widened regions
// (whole pairs, whole blocks) and row sizes stay far from 32-bit overflow.
constexpr UINT kMaxCoordinate = 1u << 28;

// A region must be ordered and, when the whole surface is described, lie inside it.
bool RegionValid(const SurfaceDesc& d) {
    const D3DBOX& r = d.Region;
    if (r.Right < r.Left || r.Bottom < r.Top || r.Back < r.Front) {
        return false;
    }
    if (r.Right > kMaxCoordinate || r.Bottom > kMaxCoordinate || r.Back > kMaxCoordinate) {
        return false;
    }
    const D3DBOX& w = d.Whole;
    const bool wholeGiven = w.Right > w.Left || w.Bottom > w.Top || w.Back > w.Front;
    return !wholeGiven || BoxInside(r, w);
}

bool Empty(const D3DBOX& b) { return b.Right == b.Left || b.Bottom == b.Top || b.Back == b.Front; }

// A strategy: whether it takes the pair of regions, and the work. The work fails only when
// memory runs out.
struct Strategy {
    bool (*Takes)(const Job&);
    HRESULT (*Run)(const Job&);
};

// Cheapest first; the first that takes the pair does the work.
constexpr Strategy kStrategies[] = {
    {TakesRawCopy, RawCopy},
    {TakesSameSize, SameSize},
    {TakesFilterNone, FilterNone},
    {TakesFilterPoint, FilterPoint},
    {TakesBox2D, Box2D},
    {TakesBoxVolume, BoxVolume},
    {[](const Job& j) { return TakesLinear(j, false); }, [](const Job& j) { return LinearFilter(j, false); }},
    {[](const Job& j) { return TakesLinear(j, true); }, [](const Job& j) { return LinearFilter(j, true); }},
    {[](const Job& j) { return TakesTriangle(j, false); }, [](const Job& j) { return Triangle(j, false); }},
    {[](const Job& j) { return TakesTriangle(j, true); }, [](const Job& j) { return Triangle(j, true); }},
};

// The refusals made before any codec exists: the filter word, null descriptions or pixel
// addresses (the destination's only when it is to be written), regions, and resampling
// from an empty source.
HRESULT CheckArguments(const SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter,
                       bool destinationWritten) {
    const DWORD type = FilterType(filter);
    if (type < FILTER_NONE || type > FILTER_BOX || (filter & ~(FILTER_TYPE_MASK | FILTER_MIRROR | FILTER_DITHER)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    if (destination == nullptr || source == nullptr || (destinationWritten && destination->Data == nullptr) ||
        source->Data == nullptr || !RegionValid(*destination) || !RegionValid(*source)) {
        return D3DERR_INVALIDCALL;
    }
    // Resampling from nothing has no defined result; copying nothing is fine.
    if (Empty(source->Region) && !Empty(destination->Region) && type != FILTER_NONE) {
        return D3DERR_INVALIDCALL;
    }
    return S_OK;
}

// Makes the pair's codecs and hands their job to use; E_FAIL when a format has no codec or
// the two formats' classes differ, S_OK at once for an empty destination region.
template <class Use>
HRESULT WithJob(const SurfaceDesc& destination, const SurfaceDesc& source, DWORD filter, Use use) {
    CodecHolder dst(CreatePixelCodec(destination));
    CodecHolder src(CreatePixelCodec(source));
    if (dst.Get() == nullptr || src.Get() == nullptr || dst.Get()->Class != src.Get()->Class) {
        return E_FAIL;
    }
    const Job job{*dst.Get(),        *src.Get(),        filter,           src.Get()->Width, src.Get()->Height,
                  src.Get()->Depth, dst.Get()->Width, dst.Get()->Height, dst.Get()->Depth};
    if (Empty(destination.Region)) {
        return S_OK;
    }
    return use(job);
}

}  // namespace

HRESULT ConvertSurface(SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter) {
    HRESULT hr = CheckArguments(destination, source, filter, true);
    if (FAILED(hr)) {
        return hr;
    }
    destination->Dither = filter & FILTER_DITHER;

    const RoundToNearestScope rounding;
    // A strategy that takes the pair and runs out of memory leaves the pair to the next
    // one that takes it; out of memory is reported when none manages.
    return WithJob(*destination, *source, filter, [](const Job& job) {
        HRESULT result = E_FAIL;
        for (const Strategy& strategy : kStrategies) {
            if (strategy.Takes(job)) {
                if (strategy.Run(job) == S_OK) {
                    return S_OK;
                }
                result = E_OUTOFMEMORY;
            }
        }
        return result;
    });
}

HRESULT CheckConversion(const SurfaceDesc* destination, const SurfaceDesc* source, DWORD filter) {
    HRESULT hr = CheckArguments(destination, source, filter, false);
    if (FAILED(hr)) {
        return hr;
    }
    // Codecs are made as for the real call, over the source's pixels: they only describe
    // the pair here and write nothing.
    SurfaceDesc described = *destination;
    described.Data = source->Data;
    described.RowPitch = 0;
    described.SlicePitch = 0;
    described.Dither = filter & FILTER_DITHER;
    return WithJob(described, *source, filter, [](const Job& job) {
        for (const Strategy& strategy : kStrategies) {
            if (strategy.Takes(job)) {
                return S_OK;
            }
        }
        return E_FAIL;
    });
}
