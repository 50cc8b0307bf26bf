// Per-axis resampling weights of the linear and triangle filters.
#pragma once

#include <cstdint>

#include "platform/win32/windows.h"

namespace tolvane::pixels {

// Linear filter weights of one destination index: two source indices and their weights.
struct LinearWeight {
    UINT Index0;
    float Weight0;
    UINT Index1;
    float Weight1;
};

// Fills out[0 .. m-1] for n source samples (n, m >= 1). Built in float arithmetic rounded
// toward zero. Out-of-range indices wrap to the opposite edge, or with mirror take the edge
// sample itself.
void BuildLinearWeights(UINT n, UINT m, bool mirror, LinearWeight* out);

// One (destination index, weight) pair of a triangle-filter entry.
struct WeightPair {
    std::int32_t Index;
    float Weight;
};

// Triangle filter weights of one axis: for each source index in order, the destination
// indices its tent reaches and the weight of each. Stored as one byte block: its total
// length, then one entry per source index, each its own length (bytes, header included)
// followed by its pairs.
class FilterWeights {
public:
    FilterWeights() = default;
    ~FilterWeights();
    FilterWeights(const FilterWeights&) = delete;
    FilterWeights& operator=(const FilterWeights&) = delete;

    // n source samples to m destination samples (both >= 1). False when out of memory or
    // the sizes are too large to index.
    bool Build(UINT n, UINT m, bool mirror);

    // Walks the entries in source order.
    class Cursor {
    public:
        explicit Cursor(const std::uint8_t* entry) : entry_(entry) {}
        UINT Count() const;
        const WeightPair* Pairs() const;
        void Next();

    private:
        const std::uint8_t* entry_;
    };
    Cursor First() const { return Cursor(block_ + 4); }
    std::uint32_t TotalBytes() const;

private:
    std::uint8_t* block_ = nullptr;
};

}  // namespace tolvane::pixels
