// The epoch store across its blocks: what was appended reads
// back, after growing, thinning and growing again.
#include "EpochLog.h"

#include <gtest/gtest.h>

namespace {

EpochRecord Numbered(size_t i)
{
    EpochRecord r{double(i), 0, 0, 0, 1.0f, 1.0f, 0, {}};
    return r;
}

// Every epoch i of the first size reads as appended, by index and in ForEach.
void ExpectNumbered(const EpochLog& log, size_t size, const char* when)
{
    ASSERT_EQ(log.Size(), size) << when;
    size_t i = 0, wrong = 0;
    log.ForEach([&](const EpochRecord& r, int64_t t) {
        wrong += r.latRad != double(i) || log[i].latRad != double(i) || t != int64_t(i) * 100;
        ++i;
    });
    EXPECT_EQ(i, size) << when;
    EXPECT_EQ(wrong, 0u) << when;
}

TEST(EpochLog, EpochsReadBackAcrossBlocksThroughThinning)
{
    const size_t block = EpochLog::kBlockRecords;
    // Enough blocks that thinning drops several and keeps part of one.
    const size_t many = block * 37 + 5;
    EpochLog log;
    for (size_t i = 0; i < many; ++i)
        log.Append(Numbered(i), int64_t(i) * 100);
    ExpectNumbered(log, many, "grown");
    for (const size_t keep : {block * 20 + 3, block * 18, block * 2 + 1, size_t(7)}) {
        log.Truncate(keep);
        ExpectNumbered(log, keep, "thinned");
    }
    for (size_t i = 7; i < many; ++i)
        log.Append(Numbered(i), int64_t(i) * 100);
    ExpectNumbered(log, many, "grown again");
    log.Clear();
    ExpectNumbered(log, 0, "cleared");
}

} // namespace
