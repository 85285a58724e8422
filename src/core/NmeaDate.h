#pragma once
// Dates of NMEA sentences, one rule for every reader of them.
//
// An RMC gives its date as "ddmmyy". Two-digit years 80-99 are 1980-1999 and
// 00-79 are 2000-2079: a receiver that has no time yet sends a default date
// such as 5 January 1980, and one with a week-number rollover fault dates
// itself about 1999; read as 20xx, either would lie decades after the real
// date that follows it.
#include <cstdint>

// Days from 1 January 1970 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t year, int month, int day);
// The civil date of a day count from 1 January 1970: the inverse.
void CivilFromDays(int64_t days, int64_t& year, int& month, int& day);

// The calendar year of an RMC's two-digit year.
constexpr int RmcYear(int twoDigits) { return twoDigits >= 80 ? 1900 + twoDigits : 2000 + twoDigits; }

// Days from 1 January 1970 of an RMC date "ddmmyy" (nothing after it); -1
// when it is not a date.
int64_t RmcDateDay(const char* text);
