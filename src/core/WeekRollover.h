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
// Until a source names its reference, the single rollover of GpsDateToText
// holds.
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

// The program-wide choice, read by the POSITION view and the RMC synthesis.
// Safe to set and read from any thread.
void UseClockForDates();                    // live data
void UseFileTimeForDates(int64_t modifiedS);
void UseOneRolloverForDates();              // the start-up state
// A forced count wins over any reference; 0 lifts it.
void ForceWeekRollovers(int rollovers);
int ForcedWeekRollovers();
// The clock behind UseClockForDates, Unix seconds; nullptr: the system clock.
void SetDateClock(int64_t (*nowS)());
// The week to give GpsDateToText under the program-wide choice.
int32_t DatedWeek(int32_t secondsOfWeek, int32_t week);

// Dates by a file's time while it lives; the choice before comes back after.
class DatesByFileTime {
public:
    explicit DatesByFileTime(int64_t modifiedS);
    ~DatesByFileTime();
    DatesByFileTime(const DatesByFileTime&) = delete;
    DatesByFileTime& operator=(const DatesByFileTime&) = delete;

private:
    int savedReference_;
    int64_t savedFileTimeS_;
};
