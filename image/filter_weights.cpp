// Linear and triangle filter weights.
#include "image/filter_weights.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/float_rounding.h"

namespace tolvane::pixels {

void BuildLinearWeights(UINT n, UINT m, bool mirror, LinearWeight* out) {
    const float scale = rz::Div(static_cast<float>(n), static_cast<float>(m));
    for (UINT i = 0; i < m; ++i) {
        const float x = rz::Sub(rz::Mul(static_cast<float>(i), scale), 0.5f);
        const float x0f = std::floor(x);
        const float w0 = rz::Sub(1.0f, rz::Sub(x, x0f));
        const float w1 = rz::Sub(1.0f, w0);
        long long x0 = static_cast<long long>(x0f);
        long long x1 = x0 + 1;
        if (x0 < 0) {
            x0 = mirror ? 0 : static_cast<long long>(n) - 1;
        }
        if (x1 >= static_cast<long long>(n)) {
            x1 = mirror ? static_cast<long long>(n) - 1 : 0;
        }
        // Float steps may land one past the last sample for huge sizes; stay inside.
        if (x0 >= static_cast<long long>(n)) {
            x0 = static_cast<long long>(n) - 1;
        }
        out[i] = {static_cast<UINT>(x0), w0, static_cast<UINT>(x1), w1};
    }
}

namespace {

constexpr float kSmallestWeight = 0.00001f;

// Appends pairs to an entry, merging consecutive contributions to one destination index.
class EntryWriter {
public:
    explicit EntryWriter(WeightPair* pairs) : pairs_(pairs) {}

    void Add(std::int32_t index, float weight) {
        if (open_ && index == current_.Index) {
            current_.Weight += weight;
            return;
        }
        Close();
        current_ = {index, weight};
        open_ = true;
    }

    // Stores the pending pair when its weight counts; returns the number of pairs.
    std::uint32_t Finish() {
        Close();
        return count_;
    }

private:
    void Close() {
        if (open_ && current_.Weight > kSmallestWeight) {
            pairs_[count_++] = current_;
        }
        open_ = false;
    }

    WeightPair* pairs_;
    WeightPair current_ = {0, 0.0f};
    bool open_ = false;
    std::uint32_t count_ = 0;
};

}  // namespace

FilterWeights::~FilterWeights() { std::free(block_); }

bool FilterWeights::Build(UINT n, UINT m, bool mirror) {
    std::free(block_);
    block_ = nullptr;
    if (n == 0 || m == 0 || n > (1u << 24) || m > (1u << 24)) {
        return false;
    }
    const float b = static_cast<float>(m) / static_cast<float>(n);
    const float halfOverB = 0.5f / b;
    // Each half of a tent covers b destination pixels, so it touches at most
    // floor(b) + 2 of them.
    const std::size_t pairsPerHalf = static_cast<std::size_t>(std::floor(b)) + 2;
    const std::size_t bound = 4 + static_cast<std::size_t>(n) * (4 + 2 * pairsPerHalf * sizeof(WeightPair));
    if (bound > 0xFFFFFFFFu) {
        return false;
    }
    block_ = static_cast<std::uint8_t*>(std::malloc(bound));
    if (block_ == nullptr) {
        return false;
    }

    const long long mm = static_cast<long long>(m);
    std::uint8_t* entry = block_ + 4;
    for (UINT j = 0; j < n; ++j) {
        EntryWriter writer(reinterpret_cast<WeightPair*>(entry + 4));
        for (int half = 0; half < 2; ++half) {
            const float f = static_cast<float>(j) - 0.5f + static_cast<float>(half);
            float g = b * f;
            float o = g + b;
            bool flatten = false;
            float flatA = 0.0f;
            if (mirror) {
                g = g < 0.0f ? 0.0f : g;
                o = o > static_cast<float>(m) ? static_cast<float>(m) : o;
                if (f < 0.0f) {
                    flatten = true;
                    flatA = 1.0f;
                } else if (static_cast<float>(n) <= f + 1.0f) {
                    flatten = true;
                    flatA = 0.0f;
                }
            }
            for (long long t = static_cast<long long>(std::floor(g)); static_cast<float>(t) < o; ++t) {
                const float v = g > static_cast<float>(t) ? g : static_cast<float>(t);
                const float vEnd = o < static_cast<float>(t + 1) ? o : static_cast<float>(t + 1);
                if (!(vEnd > v)) {
                    continue;
                }
                const float a = flatten ? flatA : halfOverB * (v + vEnd) - f;
                const float weight = half == 0 ? a * (vEnd - v) : (1.0f - a) * (vEnd - v);
                long long index = t;
                if (index < 0) {
                    index += mm;
                } else if (index >= mm) {
                    index -= mm;
                }
                if (index < 0 || index >= mm) {
                    continue;  // only a tent wider than the whole axis reaches this far
                }
                writer.Add(static_cast<std::int32_t>(index), weight);
            }
        }
        const std::uint32_t count = writer.Finish();
        const std::uint32_t length = 4 + count * static_cast<std::uint32_t>(sizeof(WeightPair));
        std::memcpy(entry, &length, 4);
        entry += length;
    }
    const std::uint32_t total = static_cast<std::uint32_t>(entry - block_);
    std::memcpy(block_, &total, 4);
    return true;
}

std::uint32_t FilterWeights::TotalBytes() const {
    std::uint32_t total = 0;
    if (block_ != nullptr) {
        std::memcpy(&total, block_, 4);
    }
    return total;
}

UINT FilterWeights::Cursor::Count() const {
    std::uint32_t length = 0;
    std::memcpy(&length, entry_, 4);
    return (length - 4) / sizeof(WeightPair);
}

const WeightPair* FilterWeights::Cursor::Pairs() const { return reinterpret_cast<const WeightPair*>(entry_ + 4); }

void FilterWeights::Cursor::Next() {
    std::uint32_t length = 0;
    std::memcpy(&length, entry_, 4);
    entry_ += length;
}

}  // namespace tolvane::pixels
