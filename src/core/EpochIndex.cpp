#include "EpochIndex.h"

#include "NmeaDate.h"

#include "BinrLayouts.h"
#include "Util.h"
#include "WeekRollover.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Policy: the decoders decide what an epoch is. Nothing they reject can
// start one, and a time that does not read as a time leaves the epoch in
// place without a time, for the pacing to bridge.

namespace {

constexpr int kGgaTimeSlot = 1;
constexpr int kRmcDateSlot = 9;
constexpr int64_t kMsPerMinute = 60'000;
constexpr int64_t kMsPerHour = 3'600'000;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
// A step back in the date is read as midnight only up to this gap.
constexpr int64_t kMidnightStepLimitMs = kMsPerHour;

bool Digits(const char* text, int count)
{
    for (int i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int TwoDigits(const char* text) { return (text[0] - '0') * 10 + (text[1] - '0'); }

const int64_t kScaleOriginDay = DaysFromCivil(1999, 8, 22);

} // namespace

int64_t NmeaTimeOfDayMs(const char* text)
{
    if (!Digits(text, 6))
        return kNoTime;
    const int h = TwoDigits(text), m = TwoDigits(text + 2), s = TwoDigits(text + 4);
    if (h > 23 || m > 59 || s > 60)
        return kNoTime;
    int64_t ms = h * kMsPerHour + m * kMsPerMinute + s * kMsPerSecond;
    if (text[6] == '.') {
        int64_t scale = 100;
        for (const char* p = text + 7; *p >= '0' && *p <= '9' && scale > 0; ++p, scale /= 10)
            ms += (*p - '0') * scale;
    }
    return std::min(ms, kMsPerDay - 1);
}

int64_t NmeaDateMs(const char* text)
{
    const int64_t day = RmcDateDay(text);
    return day < 0 ? kNoTime : (day - kScaleOriginDay) * kMsPerDay;
}

std::string DurationText(int64_t ms)
{
    const int64_t s = std::max<int64_t>(ms, 0) / kMsPerSecond;
    return Format("%02lld:%02d:%02d", static_cast<long long>(s / kSecondsPerHour),
                  int(s % kSecondsPerHour / kSecondsPerMinute), int(s % kSecondsPerMinute));
}

std::string EpochTimeText(int64_t timeMs, const DatePolicy* dates)
{
    if (timeMs == kNoTime)
        return "--:--:--";
    const int64_t week = timeMs >= 0 ? timeMs / kMsPerWeek : (timeMs - kMsPerWeek + 1) / kMsPerWeek;
    const int32_t secondsOfWeek = int32_t((timeMs - week * kMsPerWeek) / kMsPerSecond);
    const std::string time = TimeToText(secondsOfWeek);
    if (timeMs >= 0 && timeMs < kMsPerDay)
        return time;
    int32_t shownWeek = int32_t(std::clamp<int64_t>(week, -1'000'000, 1'000'000));
    if (dates)
        shownWeek = dates->Week(secondsOfWeek, shownWeek);
    return GpsDateToText(secondsOfWeek, shownWeek) + " " + time;
}

EpochIndex::EpochIndex(bool binr) : binr_(binr) {}

void EpochIndex::Feed(const uint8_t* data, size_t size)
{
    if (binr_)
        FeedBinr(data, size);
    else
        FeedNmea(data, size);
}

void EpochIndex::AddEpoch(int64_t offset, int64_t timeMs)
{
    epochs_.push_back({offset, timeMs});
    if (timeMs == kNoTime)
        return;
    ++timedCount_;
    if (firstTime_ == kNoTime)
        firstTime_ = timeMs;
    lastTime_ = timeMs;
}

void EpochIndex::DateLastEpoch(int64_t dayMs)
{
    lastEpochDated_ = true;
    EpochMark& last = epochs_.back();
    if (last.timeMs == kNoTime || dayMs == kNoTime)
        return;
    last.timeMs += dayMs;
    if (timedCount_ == 1)
        firstTime_ = last.timeMs;
    lastTime_ = last.timeMs;
}

void EpochIndex::FeedNmea(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    size_t done = 0;
    while (done < size) {
        const int chunk = int(std::min<size_t>(size - done, size_t(1) << 30));
        int used = 0;
        const int result = nmea_.PushBlock(text + done, chunk, used);
        used = std::max(used, 1);
        if (result == kNmeaGga) {
            // "$" always starts a sentence, so the GGA began at the last one.
            const void* dollar = memrchr(text, '$', done + size_t(used));
            const int64_t start = dollar ? size_ + (static_cast<const char*>(dollar) - text) : lastDollar_;
            if (!lastEpochDated_)
                DateLastEpoch(dayMs_);
            AddEpoch(epochs_.empty() ? 0 : std::max<int64_t>(start, 0),
                     NmeaTimeOfDayMs(nmea_.Stored(NmeaKind::Gga).slot[kGgaTimeSlot]));
            lastEpochDated_ = false;
        } else if (result == kNmeaRmc) {
            dayMs_ = NmeaDateMs(nmea_.Stored(NmeaKind::Rmc).slot[kRmcDateSlot]);
            if (!lastEpochDated_ && !epochs_.empty())
                DateLastEpoch(dayMs_);
        }
        done += size_t(used);
    }
    if (const void* dollar = memrchr(text, '$', size))
        lastDollar_ = size_ + (static_cast<const char*>(dollar) - text);
    size_ += int64_t(size);
}

void EpochIndex::FeedBinr(const uint8_t* data, size_t size)
{
    size_t done = 0;
    while (done < size) {
        const int chunk = int(std::min<size_t>(size - done, size_t(1) << 30));
        int used = 0;
        const int result = binrDecoder_.PushBlock(data + done, chunk, used);
        used = std::max(used, 1);
        done += size_t(used);
        if (result != kMsgNavSolution)
            continue;
        const NavSolution nav = ReadNavSolution(binrDecoder_.NavSolution());
        int64_t timeMs = kNoTime;
        if (std::isfinite(nav.timeOfWeekMs) && nav.timeOfWeekMs >= 0 && nav.timeOfWeekMs < double(kMsPerWeek))
            timeMs = int64_t(nav.week) * kMsPerWeek + std::llround(nav.timeOfWeekMs);
        AddEpoch(nextEpochStart_, timeMs);
        nextEpochStart_ = size_ + int64_t(done);
    }
    size_ += int64_t(size);
}

size_t EpochIndex::EpochAt(int64_t offset) const
{
    const auto after = std::upper_bound(epochs_.begin(), epochs_.end(), offset,
                                        [](int64_t o, const EpochMark& e) { return o < e.offset; });
    return after == epochs_.begin() ? 0 : size_t(after - epochs_.begin() - 1);
}

namespace {

int64_t TimeOfDay(int64_t timeMs) { return ((timeMs % kMsPerDay) + kMsPerDay) % kMsPerDay; }

// How far the recording moved forward from one timed epoch to the next, as
// far as a time of day can fall between them: the step itself, across
// midnight too (an epoch without its own date reads a day back there), or 0
// for a step back (a reset receiver).
int64_t ForwardStepMs(int64_t fromMs, int64_t toMs)
{
    const int64_t raw = toMs - fromMs;
    if (raw > 0)
        return raw;
    const int64_t wrapped = TimeOfDay(TimeOfDay(toMs) - TimeOfDay(fromMs));
    return wrapped > 0 && wrapped <= kMidnightStepLimitMs ? wrapped : 0;
}

} // namespace

size_t EpochIndex::FirstAtOrAfterTimeOfDay(int64_t msOfDay) const
{
    // Pairs of neighbouring timed epochs bracket the times the file covers,
    // across midnight too; a time inside a gap goes to the epoch after it.
    size_t first = epochs_.size();
    int64_t previous = kNoTime;
    for (size_t k = 0; k < epochs_.size(); ++k) {
        if (epochs_[k].timeMs == kNoTime)
            continue;
        const int64_t tod = TimeOfDay(epochs_[k].timeMs);
        if (tod / kMsPerSecond == msOfDay / kMsPerSecond)
            return k;
        if (previous == kNoTime) {
            first = k;
        } else if (const int64_t step = ForwardStepMs(previous, epochs_[k].timeMs); step > 0) {
            const int64_t since = TimeOfDay(msOfDay - TimeOfDay(previous));
            if (step >= kMsPerDay || (since > 0 && since < step))
                return k;
        }
        previous = epochs_[k].timeMs;
    }
    if (previous == kNoTime)
        return epochs_.size();
    // Outside the file: a time nearer before its start than after its end
    // (on the clock face, across midnight) starts at the first epoch.
    const int64_t beforeFirst = TimeOfDay(TimeOfDay(epochs_[first].timeMs) - msOfDay);
    const int64_t afterLast = TimeOfDay(msOfDay - TimeOfDay(previous));
    return beforeFirst < afterLast ? first : epochs_.size();
}
