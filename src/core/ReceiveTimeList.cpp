#include "ReceiveTimeList.h"

ReceiveTimeList::ReceiveTimeList(const std::vector<ReceiveTime>& times)
{
    auto bytes = std::make_shared<std::vector<uint8_t>>(times.size() * kTimesRecordSize);
    for (size_t i = 0; i < times.size(); ++i) {
        uint8_t* r = bytes->data() + i * kTimesRecordSize;
        PutTimesI64(r, times[i].exact ? times[i].endOffset : -times[i].endOffset);
        PutTimesI64(r + 8, times[i].ms);
    }
    records_ = bytes->data();
    count_ = times.size();
    keep_ = std::move(bytes);
}

ReceiveTimeList::ReceiveTimeList(std::shared_ptr<const void> keep, const uint8_t* records, size_t count)
    : keep_(std::move(keep)), records_(records), count_(count)
{
}

ReceiveTime ReceiveTimeList::operator[](size_t i) const
{
    const uint8_t* r = records_ + i * kTimesRecordSize;
    const int64_t offset = GetTimesI64(r);
    // The reader has checked every offset: none is the lowest int64.
    return {offset < 0 ? -offset : offset, GetTimesI64(r + 8), offset > 0};
}

size_t ReceiveTimeList::FirstEndingAfter(int64_t offset) const
{
    size_t lo = 0, hi = count_;
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if ((*this)[mid].endOffset > offset)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

size_t ReceiveTimeList::FirstEndingAtOrAfter(int64_t offset) const
{
    return offset == INT64_MIN ? 0 : FirstEndingAfter(offset - 1);
}
