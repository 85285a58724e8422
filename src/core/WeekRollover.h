#pragma once
// Which 1024-week cycle a received GPS week belongs to.
//
// A receiver sends its week modulo 1024. GpsDateToText counts one rollover
// (weeks from 22 August 1999), so a receiver of today, past the April 2019
// rollover, would read 19.6 years early. The callers choose the cycle here
// and hand GpsDateToText a week that already holds the extra rollovers:
//  - by a reference time: the latest date that is not later than the day
//    after the reference, and never before 22 August 1999. Live data take
//    the system clock, a recording the time its file was last written;
//  - or by a count forced by the user, for old files whose time was lost.
// Each source holds its own choice (DatePolicy below).
#include <cstdint>

// Rollovers in all: 1 for 22.08.1999 .. 06.04.2019, 2 for 07.04.2019 .. 2038.
constexpr int kMinWeekRollovers = 1;
constexpr int kMaxWeekRollovers = 9;

// The week to give GpsDateToText for a received week, by a reference time
// (Unix seconds). The week moves by whole 1024-week cycles only.
int32_t WeekNearReference(int32_t secondsOfWeek, int32_t week, int64_t referenceS);
// The week to give GpsDateToText after rollovers (kMin..kMaxWeekRollovers)
// in all.
int32_t WeekAfterRollovers(int32_t week, int rollovers);

// How one source's weeks are dated. Each source holds its own: live data
// take the clock, a played recording the time its file was last written, the
// report and the side-file conversion the time of the file they read. Until
// a source names its reference, the single rollover of GpsDateToText holds.
// A plain value, read and set on the thread that owns it.
class DatePolicy {
public:
    void UseClock() { reference_ = Reference::Clock; }      // live data
    void UseFileTime(int64_t modifiedS)
    {
        fileTimeS_ = modifiedS;
        reference_ = Reference::FileTime;
    }
    void UseOneRollover() { reference_ = Reference::OneRollover; }
    // A forced count (kMin..kMaxWeekRollovers) wins over any reference; 0
    // lifts it.
    void ForceRollovers(int rollovers);
    int ForcedRollovers() const { return forcedRollovers_; }
    // The clock behind UseClock, Unix seconds; nullptr: the system clock.
    // It stays through later choices of reference.
    void SetClock(int64_t (*nowS)()) { clockS_ = nowS; }
    // The week to give GpsDateToText for a received week.
    int32_t Week(int32_t secondsOfWeek, int32_t week) const;

    bool operator==(const DatePolicy&) const = default;

private:
    enum class Reference { OneRollover, Clock, FileTime };
    Reference reference_ = Reference::OneRollover;
    int64_t fileTimeS_ = 0;
    int forcedRollovers_ = 0;
    int64_t (*clockS_)() = nullptr;
};
