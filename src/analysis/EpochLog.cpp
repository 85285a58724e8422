#include "EpochLog.h"

#include <algorithm>
#include <climits>
#include <iterator>

void EpochLog::AppendAnew(const EpochRecord& r, int64_t timeMs)
{
    if (size_ == blocks_.size() * kBlockRecords) {
        blocks_.push_back(std::make_unique_for_overwrite<Block>());   // every record is written before it is read
        lastBlock_ = blocks_.back()->data();
        blockEnd_ = blocks_.size() * kBlockRecords;
    }
    int64_t offset = segments_.empty() ? 0 : timeMs - segments_.back().baseMs;
    if (segments_.empty() || offset < INT32_MIN || offset > INT32_MAX) {
        segments_.push_back({size_, timeMs});
        lastBaseMs_ = timeMs;
        offset = 0;
    }
    EpochRecord& kept = (*this)[size_++];
    kept = r;
    kept.timeOffsetMs = int32_t(offset);
}

int64_t EpochLog::SegmentTimeMs(size_t i) const
{
    const int32_t offset = (*this)[i].timeOffsetMs;
    const auto after = std::upper_bound(segments_.begin(), segments_.end(), i,
                                        [](size_t index, const Segment& s) { return index < s.first; });
    return std::prev(after)->baseMs + offset;
}

void EpochLog::ShiftTimes(int64_t ms)
{
    for (Segment& s : segments_)
        s.baseMs += ms;
    if (!segments_.empty())
        lastBaseMs_ = segments_.back().baseMs;
}

void EpochLog::Clear()
{
    *this = EpochLog(capacity_);
}

void EpochLog::Truncate(size_t size)
{
    if (size >= size_)
        return;
    size_ = size;
    while (!segments_.empty() && segments_.back().first >= size)
        segments_.pop_back();
    lastBaseMs_ = segments_.empty() ? 0 : segments_.back().baseMs;
    // The block holding the next epoch stays; the ones after it go.
    blocks_.resize((size + kBlockRecords - 1) / kBlockRecords);
    lastBlock_ = blocks_.empty() ? nullptr : blocks_.back()->data();
    blockEnd_ = blocks_.size() * kBlockRecords;
}
