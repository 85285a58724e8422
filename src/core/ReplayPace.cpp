#include "ReplayPace.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr size_t kIntervalSamples = 101;
constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kByteDeliveriesPerSecond = 10;

} // namespace

int64_t TypicalEpochIntervalMs(const EpochIndex& index)
{
    std::vector<int64_t> steps;
    const auto& epochs = index.Epochs();
    for (size_t k = 1; k < epochs.size() && steps.size() < kIntervalSamples; ++k) {
        if (epochs[k].timeMs == kNoTime || epochs[k - 1].timeMs == kNoTime)
            continue;
        const int64_t d = epochs[k].timeMs - epochs[k - 1].timeMs;
        if (d > 0 && d <= kJumpLimitMs)
            steps.push_back(d);
    }
    if (steps.empty())
        return kDefaultEpochIntervalMs;
    std::nth_element(steps.begin(), steps.begin() + ptrdiff_t(steps.size() / 2), steps.end());
    return steps[steps.size() / 2];
}

ReplayPace::ReplayPace(const EpochIndex& index, ReceiveTimeList times, const PaceOptions& options)
    : index_(index), times_(std::move(times)), options_(options)
{
    options_.bytesPerSecond = std::max<int64_t>(options_.bytesPerSecond, 1);
    options_.speed = std::clamp(options_.speed, kMinSpeed, kMaxSpeed);
    source_ = !times_.empty() ? PaceSource::ReceiveTimes
              : index.HasTimes() ? PaceSource::EpochTimes
                                 : PaceSource::ByteCount;
    intervalMs_ = TypicalEpochIntervalMs(index);
}

int64_t PaceProgress::ReachedMs(int64_t nowUs) const
{
    if (!delivered)
        return anchorRec;
    const int64_t low = std::max(lastRec, anchorRec);
    int64_t reached = low;
    if (paused) {
        reached = pausedRec;
    } else if (!max) {
        const double ms = double(nowUs - anchorUs) / double(kUsPerMs) * speed;
        reached = anchorRec + int64_t(std::floor(std::max(ms, 0.0)));
    }
    return std::clamp(reached, low, std::max(nextRec, low));
}

PaceProgress ReplayPace::Progress() const
{
    PaceProgress p;
    p.epoch = previousEpoch_;
    p.delivered = hasPrevious_;
    p.paused = paused_;
    p.max = options_.max;
    p.speed = options_.speed;
    p.anchorUs = anchorUs_;
    p.anchorRec = anchorRec_;
    p.lastRec = previousRec_;
    p.nextRec = previousRec_;
    p.pausedRec = pausedRec_;
    if (hasPrevious_ && cursor_ < index_.Size())
        p.nextRec = RecordingMs(cursor_, EpochAt(cursor_));
    return p;
}

void ReplayPace::Pause(int64_t nowUs)
{
    if (paused_)
        return;
    pausedRec_ = Progress().ReachedMs(nowUs);
    paused_ = true;
}

void ReplayPace::Rebase(int64_t nowUs)
{
    const int64_t from = paused_ ? Progress().ReachedMs(nowUs) : previousRec_;
    anchorUs_ = nowUs;
    anchorRec_ = hasPrevious_ ? from : 0;
    paused_ = false;
}

void ReplayPace::SetOptions(const PaceOptions& options, int64_t nowUs)
{
    const int64_t reached = Progress().ReachedMs(nowUs);
    options_ = options;
    options_.bytesPerSecond = std::max<int64_t>(options_.bytesPerSecond, 1);
    options_.speed = std::clamp(options_.speed, kMinSpeed, kMaxSpeed);
    anchorUs_ = nowUs;
    anchorRec_ = hasPrevious_ ? reached : 0;
    paused_ = false;
}

void ReplayPace::DropReceiveTimes(int64_t nowUs)
{
    if (source_ != PaceSource::ReceiveTimes)
        return;
    times_ = ReceiveTimeList();
    source_ = index_.HasTimes() ? PaceSource::EpochTimes : PaceSource::ByteCount;
    // The last delivery's time was on the other clock: start afresh.
    hasPrevious_ = false;
    anchorUs_ = nowUs;
    anchorRec_ = 0;
    paused_ = false;
}

size_t ReplayPace::EpochCount() const
{
    if (!ByteEpochs())
        return index_.Count();
    const int64_t size = index_.Size();
    return size_t((size + options_.bytesPerSecond - 1) / options_.bytesPerSecond);
}

int64_t ReplayPace::EpochBegin(size_t k) const
{
    if (ByteEpochs())
        return std::min(int64_t(k) * options_.bytesPerSecond, index_.Size());
    return k < index_.Count() ? index_.Epochs()[k].offset : index_.Size();
}

int64_t ReplayPace::EpochEnd(size_t k) const
{
    if (ByteEpochs())
        return std::min(int64_t(k + 1) * options_.bytesPerSecond, index_.Size());
    return k < index_.Count() ? index_.EpochEnd(k) : index_.Size();
}

size_t ReplayPace::EpochAt(int64_t offset) const
{
    if (ByteEpochs())
        return size_t(std::max<int64_t>(offset, 0) / options_.bytesPerSecond);
    return index_.EpochAt(offset);
}

void ReplayPace::Seek(size_t k, int64_t nowUs)
{
    cursor_ = EpochBegin(std::min(k, std::max<size_t>(EpochCount(), 1) - 1));
    hasPrevious_ = false;
    anchorUs_ = nowUs;
    anchorRec_ = 0;
    paused_ = false;
}

int64_t ReplayPace::RawMs(int64_t offset, size_t epoch) const
{
    switch (source_) {
    case PaceSource::ReceiveTimes: {
        const size_t block = times_.FirstEndingAfter(offset);
        return block == times_.size() ? times_.back().ms : times_[block].ms;
    }
    case PaceSource::EpochTimes:
        return epoch < index_.Count() ? index_.Epochs()[epoch].timeMs : kNoTime;
    case PaceSource::ByteCount:
        break;
    }
    return offset * kMsPerSecond / options_.bytesPerSecond;
}

int64_t ReplayPace::UnitEnd(int64_t offset, size_t epoch) const
{
    int64_t end = EpochEnd(epoch);
    if (source_ == PaceSource::ReceiveTimes) {
        if (const size_t block = times_.FirstEndingAfter(offset); block != times_.size())
            end = std::min(end, times_[block].endOffset);
    } else if (source_ == PaceSource::ByteCount) {
        end = std::min(end, offset + std::max<int64_t>(options_.bytesPerSecond / kByteDeliveriesPerSecond, 1));
    }
    return end;
}

int64_t ReplayPace::StepMs(int64_t fromRaw, int64_t toRaw) const
{
    if (fromRaw == kNoTime || toRaw == kNoTime)
        return intervalMs_;
    const int64_t d = toRaw - fromRaw;
    if (d < 0 || d > kJumpLimitMs)
        return intervalMs_;
    if (options_.skipGapsMs > 0 && d > options_.skipGapsMs)
        return std::min(intervalMs_, options_.skipGapsMs);
    return d;
}

int64_t ReplayPace::RecordingMs(int64_t offset, size_t epoch) const
{
    if (!hasPrevious_)
        return anchorRec_;
    // The rest of an epoch that grew after its start was due with it.
    if (source_ == PaceSource::EpochTimes && epoch == previousEpoch_)
        return previousRec_;
    return previousRec_ + StepMs(previousRaw_, RawMs(offset, epoch));
}

bool ReplayPace::Next(Delivery& out) const
{
    if (cursor_ >= index_.Size())
        return false;
    out.begin = cursor_;
    out.epoch = EpochAt(cursor_);
    out.end = std::max(UnitEnd(cursor_, out.epoch), cursor_ + 1);
    out.end = std::min(out.end, index_.Size());
    const int64_t rec = RecordingMs(cursor_, out.epoch);
    if (options_.max) {
        out.dueUs = anchorUs_;
    } else {
        const double ms = double(rec - anchorRec_) / options_.speed;
        out.dueUs = anchorUs_ + int64_t(std::llround(ms * double(kUsPerMs)));
    }
    return true;
}

void ReplayPace::Done(const Delivery& d)
{
    previousRec_ = RecordingMs(d.begin, d.epoch);
    previousRaw_ = RawMs(d.begin, d.epoch);
    previousEpoch_ = d.epoch;
    hasPrevious_ = true;
    cursor_ = d.end;
}
