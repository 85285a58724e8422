// --seconds up to a year, waited for in timer-sized chunks on a jumping
// virtual clock: the run ends at its deadline however late or early each
// chunk fires.
#include "LongWait.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(LongWait, ChunksFitATimerAndEndAtTheDeadline)
{
    constexpr int64_t kYearS = 366LL * 86400;
    struct Row { int64_t durationS; int64_t lateMs; int64_t earlyPercent; };
    const Row rows[] = {
        {1, 0, 0},           {2147484, 0, 0}, {4294968, 0, 0},
        {kYearS, 0, 0},      {kYearS, 700, 0}, {kYearS, 0, 5},
    };
    for (const Row& r : rows) {
        const int64_t startMs = 123456;
        const int64_t durationMs = r.durationS * 1000;
        const LongWait wait(startMs, durationMs);
        int64_t now = startMs;
        int chunks = 0;
        while (!wait.Due(now) && chunks < 100000) {
            const int chunk = wait.NextChunkMs(now);
            ASSERT_GT(chunk, 0);
            ASSERT_LE(chunk, INT_MAX);
            EXPECT_LE(chunk, LongWait::kMaxChunkMs);
            // A coarse timer may fire up to 5 % early; a busy loop late.
            now += chunk - chunk * r.earlyPercent / 100 + r.lateMs;
            ++chunks;
        }
        EXPECT_TRUE(wait.Due(now)) << r.durationS;
        EXPECT_GE(now, startMs + durationMs) << r.durationS;
        EXPECT_LE(now, startMs + durationMs + r.lateMs) << r.durationS;
        EXPECT_EQ(wait.NextChunkMs(now), 0);
    }
}

} // namespace
