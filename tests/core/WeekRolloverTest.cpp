// The 1024-week cycle of a received week: by a reference time, by a forced
// count, and a source's choice as the RMC synthesis reads it.
#include "NmeafileFrames.h"

#include "Nmeafile.h"
#include "Util.h"
#include "WeekRollover.h"

#include <gtest/gtest.h>

#include <string>

using namespace synth_test;

namespace {

// Unix seconds at 12:00 UTC (00:00 where noted).
constexpr int64_t k1990_01_01 = 631195200;
constexpr int64_t k2010_01_01 = 1262347200;
constexpr int64_t k2019_04_05 = 1554465600;
constexpr int64_t k2019_04_06_0000 = 1554508800;
constexpr int64_t k2026_12_07 = 1796644800;
constexpr int64_t k2038_11_21 = 2173953600;

// Monday 7 December 2026, noon: GPS week 2448, sent as 400.
constexpr int32_t kMondayNoon = 86400 + 43200;
constexpr int32_t kWeek2026 = 400;

std::string DateNear(int32_t secondsOfWeek, int32_t week, int64_t referenceS)
{
    return GpsDateToText(secondsOfWeek, WeekNearReference(secondsOfWeek, week, referenceS));
}

TEST(WeekRollover, LatestDateNotLaterThanTheDayAfterTheReference)
{
    struct Row { const char* name; int32_t seconds, week; int64_t referenceS; const char* date; };
    const Row rows[] = {
        {"a receiver of today, live", kMondayNoon, kWeek2026, k2026_12_07, "07.12.26"},
        {"the same week in a file of 2010", kMondayNoon, kWeek2026, k2010_01_01, "23.04.07"},
        // Week 0 after the second rollover is Sunday 07.04.2019.
        {"first day of the cycle, reference the day before", 0, 0, k2019_04_06_0000, "07.04.19"},
        {"first day of the cycle, reference two days before", 0, 0, k2019_04_05, "22.08.99"},
        {"last day of the first cycle", 561600, 1023, k2026_12_07, "06.04.19"},
        {"last day of the second cycle, a day ahead", 561600, 1023, k2038_11_21, "20.11.38"},
        {"first day of the third cycle, a day ahead", 0, 0, k2038_11_21, "21.11.38"},
        {"never before 22.08.1999", kMondayNoon, kWeek2026, k1990_01_01, "23.04.07"},
        {"a negative week is moved after 22.08.1999", 0, -1, k2026_12_07, "31.03.19"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DateNear(r.seconds, r.week, r.referenceS), r.date) << r.name;
    // Absurd references still give a week GpsDateToText takes.
    EXPECT_EQ(WeekNearReference(0, kWeek2026, INT64_MAX) % 1024, kWeek2026);
    EXPECT_EQ(WeekNearReference(0, kWeek2026, INT64_MIN), kWeek2026);
}

TEST(WeekRollover, ForcedCount)
{
    EXPECT_EQ(GpsDateToText(kMondayNoon, WeekAfterRollovers(kWeek2026, 1)), "23.04.07");
    EXPECT_EQ(GpsDateToText(kMondayNoon, WeekAfterRollovers(kWeek2026, 2)), "07.12.26");
}

int64_t FakeNow() { return k2026_12_07; }

std::string RmcDate(int32_t week, const DatePolicy& dates)
{
    Nav nav;
    nav.timeMs = kMondayNoon * 1000.0;
    nav.week = int16_t(week);
    nav.flags = 0x01;
    BinrDecoder decoder;
    for (const uint8_t b : Frame(kMsgNavSolution, NavPayload(nav)))
        decoder.PushByte(b);
    char out[kSynthSentenceMax];
    const std::string rmc(out, size_t(std::max(BuildRmc(decoder, dates, out, sizeof out), 0)));
    // $GPRMC,time,A,lat,N,lon,E,speed,course,DATE,...
    size_t at = 0;
    for (int comma = 0; comma < 9 && at != std::string::npos; ++comma)
        at = rmc.find(',', at + 1);
    return at == std::string::npos ? rmc : rmc.substr(at + 1, 6);
}

TEST(WeekRollover, SourcesChoiceReachesTheSynthesis)
{
    DatePolicy live, file;
    EXPECT_EQ(RmcDate(kWeek2026, live), "230407") << "no reference named: one rollover";
    live.SetClock(FakeNow);
    live.UseClock();
    file.UseFileTime(k2010_01_01);
    // Two sources at once, each dated by its own reference.
    EXPECT_EQ(RmcDate(kWeek2026, live), "071226");
    EXPECT_EQ(RmcDate(kWeek2026, file), "230407");
    file.ForceRollovers(2);
    EXPECT_EQ(RmcDate(kWeek2026, file), "071226");
    file.ForceRollovers(0);
    EXPECT_EQ(RmcDate(kWeek2026, file), "230407");
    live.UseOneRollover();
    EXPECT_EQ(RmcDate(kWeek2026, live), "230407");
}

} // namespace
