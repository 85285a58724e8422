#include "Timeline.h"

#include "ReplayPace.h"

#include <algorithm>
#include <cstdio>
#include <string>

void TimelineScale::Update(const EpochIndex& index, int64_t intervalMs)
{
    const std::vector<EpochMark>& epochs = index.Epochs();
    if (epochs.size() < offsetMs_.size())
        Clear();
    offsetMs_.reserve(epochs.size());
    for (size_t k = offsetMs_.size(); k < epochs.size(); ++k) {
        const int64_t raw = epochs[k].timeMs;
        if (k == 0) {
            offsetMs_.push_back(0);
        } else {
            int64_t step = intervalMs;
            if (raw != kNoTime && lastRaw_ != kNoTime && raw >= lastRaw_ && raw - lastRaw_ <= kJumpLimitMs)
                step = raw - lastRaw_;
            offsetMs_.push_back(offsetMs_.back() + step);
        }
        lastRaw_ = raw;
    }
}

void TimelineScale::Uniform(size_t count, int64_t stepMs)
{
    offsetMs_.resize(count);
    for (size_t k = 0; k < count; ++k)
        offsetMs_[k] = int64_t(k) * stepMs;
    lastRaw_ = kNoTime;
}

int64_t TimelineScale::OffsetMs(size_t epoch) const
{
    return offsetMs_.empty() ? 0 : offsetMs_[std::min(epoch, offsetMs_.size() - 1)];
}

int64_t TimelineScale::StepMs(size_t epoch) const
{
    return epoch + 1 < offsetMs_.size() ? offsetMs_[epoch + 1] - offsetMs_[epoch] : 0;
}

int TimelineScale::PositionAt(int64_t offsetMs, int steps) const
{
    const int64_t span = SpanMs();
    if (span <= 0 || steps <= 0)
        return 0;
    // Rounded to the nearest step, in integers so that a position maps back
    // to its epoch exactly.
    using Wide = __int128;
    const Wide at = (2 * Wide(std::clamp<int64_t>(offsetMs, 0, span)) * steps + span) / (2 * Wide(span));
    return std::clamp(int(at), 0, steps);
}

size_t TimelineScale::EpochAtOffset(int64_t offsetMs) const
{
    if (offsetMs_.empty())
        return 0;
    const auto it = std::lower_bound(offsetMs_.begin(), offsetMs_.end(), offsetMs);
    return std::min(size_t(it - offsetMs_.begin()), offsetMs_.size() - 1);
}

size_t TimelineScale::EpochAtPosition(int position, int steps) const
{
    if (steps <= 0 || position <= 0)
        return 0;
    // The first epoch that rounds to this position or later: offsets from
    // half a step before the position's time.
    using Wide = __int128;
    const Wide low = (Wide(2 * std::min(position, steps) - 1) * SpanMs() + 2 * steps - 1) / (2 * Wide(steps));
    return EpochAtOffset(int64_t(low));
}

std::vector<TimelineGap> TimelineScale::Gaps(int64_t minMs) const
{
    std::vector<TimelineGap> gaps;
    for (size_t k = 1; k < offsetMs_.size(); ++k)
        if (offsetMs_[k] - offsetMs_[k - 1] > minMs)
            gaps.push_back({k - 1, offsetMs_[k] - offsetMs_[k - 1]});
    return gaps;
}

// ---------------------------------------------------------------- typed time

namespace {

constexpr int64_t kMsPerMinute = 60 * kMsPerSecond;
constexpr int64_t kMsPerHour = 60 * kMsPerMinute;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Fields of "a:b:c" (1 or 2 digits each) or of a digit run split from the
// right in pairs ("101730" -> 10 17 30, "90500" -> 9 5 0).
bool SplitFields(std::string_view s, int fields[3], int& count)
{
    count = 0;
    if (s.find(':') != std::string_view::npos) {
        size_t start = 0;
        while (true) {
            const size_t colon = s.find(':', start);
            const std::string_view part = s.substr(start, colon == std::string_view::npos ? s.npos : colon - start);
            if (count == 3 || part.empty() || part.size() > 2 || !std::all_of(part.begin(), part.end(), IsDigit))
                return false;
            fields[count++] = part.size() == 1 ? part[0] - '0' : (part[0] - '0') * 10 + (part[1] - '0');
            if (colon == std::string_view::npos)
                return count >= 2;
            start = colon + 1;
        }
    }
    if (s.size() < 3 || s.size() > 6 || !std::all_of(s.begin(), s.end(), IsDigit))
        return false;
    count = int(s.size() + 1) / 2;
    int end = int(s.size());
    for (int f = count - 1; f >= 0; --f) {
        const int begin = std::max(end - 2, 0);
        int v = 0;
        for (int i = begin; i < end; ++i)
            v = v * 10 + (s[size_t(i)] - '0');
        fields[f] = v;
        end = begin;
    }
    return true;
}

} // namespace

int64_t TypedTimeOfDayMs(std::string_view text, int64_t currentMsOfDay)
{
    std::string s;
    for (char c : text)
        if (c != ' ' && c != '_')
            s += c;
    int fields[3] = {0, 0, 0};
    int count = 0;
    if (!SplitFields(s, fields, count))
        return kNoTime;
    int64_t hour = 0;
    int minute = 0, second = 0;
    if (count == 3) {
        hour = fields[0];
        minute = fields[1];
        second = fields[2];
    } else {
        if (currentMsOfDay == kNoTime || currentMsOfDay < 0)
            return kNoTime;
        hour = (currentMsOfDay % kMsPerDay) / kMsPerHour;
        minute = fields[0];
        second = fields[1];
    }
    if (hour > 23 || minute > 59 || second > 59)
        return kNoTime;
    return hour * kMsPerHour + minute * kMsPerMinute + second * kMsPerSecond;
}

// ---------------------------------------------------------------- texts

namespace {

constexpr int64_t kMsPerTenth = 100;

} // namespace

int TimeDecimals(int64_t intervalMs)
{
    if (intervalMs >= kMsPerSecond || intervalMs <= 0)
        return 0;
    return intervalMs % kMsPerTenth == 0 ? 1 : 2;
}

std::string FractionText(int64_t ms, int decimals)
{
    if (decimals <= 0)
        return {};
    const int64_t fraction = ((ms % kMsPerSecond) + kMsPerSecond) % kMsPerSecond;
    const int digits = std::min(decimals, 2);
    const int64_t shown = digits == 1 ? fraction / 100 : fraction / 10;
    std::string text = std::to_string(shown);
    text.insert(0, size_t(digits) - text.size(), '0');
    return "." + text;
}

std::string GapText(int64_t gapMs)
{
    const int64_t s = std::max<int64_t>(gapMs, 0) / kMsPerSecond;
    const int64_t hours = s / 3600, minutes = s % 3600 / 60, seconds = s % 60;
    char text[48];
    if (hours > 0)
        std::snprintf(text, sizeof text, "gap: %lld:%02lld:%02lld without data", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds));
    else
        std::snprintf(text, sizeof text, "gap: %lld:%02lld without data", static_cast<long long>(minutes),
                      static_cast<long long>(seconds));
    return text;
}
