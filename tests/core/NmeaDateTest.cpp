// One rule for two-digit RMC years, for the report and the PLAYER index
// alike: a cold start's default date of 1980 lies before the real date
// that follows it, on both.
#include "EpochIndex.h"
#include "NmeaDate.h"

#include <gtest/gtest.h>

namespace {

TEST(NmeaDate, TwoDigitYearsAndBadDates)
{
    const struct {
        const char* text;
        int64_t year;
        int month, day;   // 0: not a date
    } cases[] = {
        {"050180", 1980, 1, 5},   {"311299", 1999, 12, 31}, {"010100", 2000, 1, 1},
        {"071226", 2026, 12, 7},  {"311279", 2079, 12, 31}, {"290224", 2024, 2, 29},
        {"000126", 0, 0, 0},      {"011326", 0, 0, 0},      {"32012", 0, 0, 0},
        {"0101261", 0, 0, 0},     {"01a126", 0, 0, 0},      {"", 0, 0, 0},
    };
    const int64_t indexOrigin = DaysFromCivil(1999, 8, 22);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const int64_t day = c.month ? DaysFromCivil(c.year, c.month, c.day) : -1;
        EXPECT_EQ(RmcDateDay(c.text), day);
        EXPECT_EQ(NmeaDateMs(c.text), c.month ? (day - indexOrigin) * kMsPerDay : kNoTime);
    }
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_LT(NmeaDateMs("050180"), NmeaDateMs("071226"));
}

} // namespace
