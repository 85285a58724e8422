#include "WeekRollover.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace {

constexpr int64_t kWeeksPerCycle = 1024;
constexpr int64_t kDaysPerWeek = 7;
constexpr int64_t kDaysPerCycle = kWeeksPerCycle * kDaysPerWeek;
constexpr int64_t kSecondsPerDay = 86400;
// Days are counted from 1 January 1980 as GpsDateToText counts them: GPS
// week 0 began on day 5, and it always adds one cycle.
constexpr int64_t kGpsEpochDay = 5;
constexpr int64_t kFirstRolloverDay = kDaysPerCycle + kGpsEpochDay;   // 22.08.1999
constexpr int64_t kUnixDaysTo1980 = 3652;
// A date may lead its reference by a day: the reference is a file's time or
// a clock that may lag the receiver's, and time zones differ.
constexpr int64_t kLeadDays = 1;

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

int32_t ClampWeek(int64_t week)
{
    return int32_t(std::clamp<int64_t>(week, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max()));
}

int64_t SystemNowS()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch()).count();
}

} // namespace

int32_t WeekNearReference(int32_t secondsOfWeek, int32_t week, int64_t referenceS)
{
    const int64_t day = secondsOfWeek / kSecondsPerDay + kDaysPerWeek * (int64_t(week) + kWeeksPerCycle) + kGpsEpochDay;
    int64_t cycles = 0;
    if (day < kFirstRolloverDay)
        cycles = (kFirstRolloverDay - day + kDaysPerCycle - 1) / kDaysPerCycle;
    const int64_t lastDay = FloorDiv(referenceS, kSecondsPerDay) - kUnixDaysTo1980 + kLeadDays;
    const int64_t earliest = day + cycles * kDaysPerCycle;
    if (earliest <= lastDay)
        cycles += (lastDay - earliest) / kDaysPerCycle;
    // Absurd weeks or references: the largest week GpsDateToText still takes.
    cycles = std::min(cycles, (int64_t(std::numeric_limits<int32_t>::max()) - week) / kWeeksPerCycle);
    return ClampWeek(week + cycles * kWeeksPerCycle);
}

int32_t WeekAfterRollovers(int32_t week, int rollovers)
{
    const int extra = std::clamp(rollovers, kMinWeekRollovers, kMaxWeekRollovers) - kMinWeekRollovers;
    return ClampWeek(int64_t(week) + extra * kWeeksPerCycle);
}

void DatePolicy::ForceRollovers(int rollovers)
{
    forcedRollovers_ = rollovers == 0 ? 0 : std::clamp(rollovers, kMinWeekRollovers, kMaxWeekRollovers);
}

int32_t DatePolicy::Week(int32_t secondsOfWeek, int32_t week) const
{
    if (forcedRollovers_)
        return WeekAfterRollovers(week, forcedRollovers_);
    switch (reference_) {
    case Reference::OneRollover:
        break;
    case Reference::Clock:
        return WeekNearReference(secondsOfWeek, week, clockS_ ? clockS_() : SystemNowS());
    case Reference::FileTime:
        return WeekNearReference(secondsOfWeek, week, fileTimeS_);
    }
    return week;
}
