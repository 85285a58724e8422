#pragma once
// The records of a FILE.times as its readers see them (the format is at the
// top of ReceiveTimes.h). A list read from a file is the file mapped, not
// copied: a month of blocks is gigabytes of records, and a replay or a
// report needs only the few it looks up, so only those pages are read.
// Copies share the records and are cheap; a list never changes once made,
// so any thread may read it.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <vector>

constexpr int kTimesRecordSize = 24;

struct ReceiveTime {
    int64_t endOffset;   // record file size after the block
    int64_t ms;          // since the recording started
    // False when the bytes since the record before did not arrive as one
    // block at ms: they came some time after it, up to ms (their times
    // were lost; see ReceiveTimes.h).
    bool exact = true;
};

class ReceiveTimeList {
public:
    ReceiveTimeList() = default;
    // A list made in memory (tests, a recording's own figures).
    ReceiveTimeList(const std::vector<ReceiveTime>& times);   // NOLINT(google-explicit-constructor)
    // count records of the file's format at records, kept alive by keep.
    ReceiveTimeList(std::shared_ptr<const void> keep, const uint8_t* records, size_t count);

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    ReceiveTime operator[](size_t i) const;
    ReceiveTime front() const { return (*this)[0]; }
    ReceiveTime back() const { return (*this)[count_ - 1]; }
    // The first record whose block ends after offset (size() when none).
    size_t FirstEndingAfter(int64_t offset) const;
    // The first record whose block ends at offset or later (size() when none).
    size_t FirstEndingAtOrAfter(int64_t offset) const;

    // Records by value, in order (range-for and the input algorithms).
    class Iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = ReceiveTime;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = ReceiveTime;
        Iterator(const ReceiveTimeList* list, size_t at) : list_(list), at_(at) {}
        ReceiveTime operator*() const { return (*list_)[at_]; }
        Iterator& operator++()
        {
            ++at_;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before = *this;
            ++at_;
            return before;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        const ReceiveTimeList* list_;
        size_t at_;
    };
    Iterator begin() const { return {this, 0}; }
    Iterator end() const { return {this, count_}; }

private:
    std::shared_ptr<const void> keep_;
    const uint8_t* records_ = nullptr;
    size_t count_ = 0;
};

// The little-endian integers of the file.
inline void PutTimesI64(uint8_t* out, int64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = uint8_t(uint64_t(value) >> (8 * i));
}

inline int64_t GetTimesI64(const uint8_t* in)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | in[i];
    return int64_t(v);
}
