#pragma once
// Exact nearest-rank percentiles of many non-negative floats in two passes,
// without sorting them all (the report's error figures).
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// The distribution of one error set, for its nearest-rank percentiles
// without a selection over every value. Errors are never negative, and
// non-negative floats order as their bit patterns do: a count per value of
// the top 16 bits (bins 1/128 of an octave wide) tells, in one pass, which
// bin holds each rank asked for and how many values lie below that bin. A
// second pass keeps only the values of those bins, a small share of them,
// and a selection among these gives each value exactly.
class BinnedRanks {
public:
    static uint32_t Key(float v) { return std::bit_cast<uint32_t>(v) >> 16; }
    // The first pass: ++counts[Key(v)] for each value.
    uint32_t* Counts() { return counts_.data(); }

    // ranks: 0-based, ascending. Returns how many values the asked bins hold.
    size_t Ask(std::vector<size_t> ranks)
    {
        ranks_ = std::move(ranks);
        size_t below = 0, held = 0;
        size_t next = 0;
        for (uint32_t key = 0; key < kBins && next < ranks_.size(); ++key) {
            const size_t in = counts_[key];
            if (ranks_[next] < below + in) {
                bins_.push_back({below, held, 0, in});
                slot_[key] = uint8_t(bins_.size());
                held += in;
                for (; next < ranks_.size() && ranks_[next] < below + in; ++next)
                    binOfRank_.push_back(bins_.size() - 1);
            }
            below += in;
        }
        return held;
    }
    // The second pass: a value of an asked bin goes to its place in kept.
    void Keep(float v, float* kept)
    {
        if (const uint8_t s = slot_[Key(v)]) {
            Bin& bin = bins_[s - 1u];
            kept[bin.offset + bin.filled++] = v;
        }
    }
    // The value of the asked rank (one of those asked).
    float At(size_t rank, float* kept)
    {
        const size_t i = size_t(std::lower_bound(ranks_.begin(), ranks_.end(), rank) - ranks_.begin());
        const Bin& bin = bins_[binOfRank_[i]];
        float* first = kept + bin.offset;
        float* nth = first + (rank - bin.below);
        // Bit order: the values' own order here, and a total order whatever
        // the bits, as a selection needs.
        std::nth_element(first, nth, first + bin.size,
                         [](float a, float b) { return std::bit_cast<uint32_t>(a) < std::bit_cast<uint32_t>(b); });
        return *nth;
    }

private:
    static constexpr uint32_t kBins = 1u << 16;
    struct Bin {
        size_t below;    // values in the bins before it
        size_t offset;   // where its values are kept
        size_t filled;
        size_t size;
    };
    std::vector<uint32_t> counts_ = std::vector<uint32_t>(kBins, 0);
    // The asked bin of each key, 1-based; 0: none. A handful are asked for.
    std::vector<uint8_t> slot_ = std::vector<uint8_t>(kBins, 0);
    std::vector<size_t> ranks_;
    std::vector<Bin> bins_;
    std::vector<size_t> binOfRank_;
};
