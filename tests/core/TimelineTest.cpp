// The PLAYER's timeline against hand-computed positions, and the typed
// times against what a user means by them.
#include "Timeline.h"

#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TimelineScale ScaleOf(const std::vector<int64_t>& times)
{
    const std::string text = NmeaEpochs(times);
    EpochIndex index(false);
    index.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    TimelineScale scale;
    scale.Update(index, 1000);
    return scale;
}

constexpr int64_t kStart = 10 * 3600000;   // 10:00:00

} // namespace

TEST(Timeline, PositionsFollowRecordingTimeAndGoBackToTheirEpochs)
{
    // 21 epochs, a 10-minute gap, 21 epochs: 640 s from the first to the last.
    std::vector<int64_t> gapped;
    for (int s = 0; s <= 20; ++s)
        gapped.push_back(kStart + s * 1000);
    for (int s = 620; s <= 640; ++s)
        gapped.push_back(kStart + s * 1000);
    struct Row {
        const char* name;
        std::vector<int64_t> times;
        size_t epoch;
        int position;   // of 10000
    };
    const Row rows[] = {
        {"3 s into a gapped capture", gapped, 3, 47},
        {"the last epoch before the gap", gapped, 20, 313},
        {"the first epoch after it", gapped, 21, 9688},
        {"the end", gapped, 41, 10000},
        {"a step back counts one interval", {kStart, kStart + 1000, kStart - 5000, kStart - 4000}, 2, 6667},
        {"a jump over an hour counts one interval", {kStart, kStart + 2 * 3600000, kStart + 2 * 3600000 + 1000}, 1, 5000},
        {"untimed epochs count one interval each", {kNoTime, kNoTime, kNoTime, kNoTime, kNoTime}, 1, 2500},
        {"one epoch sits at the start", {kStart}, 0, 0},
    };
    for (const Row& r : rows) {
        const TimelineScale scale = ScaleOf(r.times);
        EXPECT_EQ(scale.Position(r.epoch, 10000), r.position) << r.name;
        EXPECT_EQ(scale.EpochAtPosition(r.position, 10000), r.epoch) << r.name;
    }
    // A click inside the gap goes to the epoch after it; at the start, to the first.
    const TimelineScale scale = ScaleOf(gapped);
    EXPECT_EQ(scale.EpochAtPosition(5000, 10000), 21u);
    EXPECT_EQ(scale.EpochAtPosition(0, 10000), 0u);
    EXPECT_EQ(scale.EpochAtOffset(13500), 14u);
    ASSERT_EQ(scale.Gaps(10000).size(), 1u);
    EXPECT_EQ(scale.Gaps(10000)[0].before, 20u);
    EXPECT_EQ(scale.Gaps(10000)[0].ms, 600000);
    EXPECT_TRUE(scale.Gaps(600000).empty());
    EXPECT_EQ(TimelineScale().EpochAtPosition(10, 10000), 0u);
}

TEST(Timeline, TypedTimesReadAsAUserMeansThem)
{
    const int64_t current = (10 * 3600 + 15 * 60 + 4) * 1000;   // 10:15:04
    const auto ms = [](int h, int m, int s) { return ((int64_t(h) * 60 + m) * 60 + s) * 1000; };
    struct Row {
        const char* text;
        int64_t current;
        int64_t expected;
    };
    const Row rows[] = {
        {"10:17:30", current, ms(10, 17, 30)},
        {"101730", current, ms(10, 17, 30)},
        {"17:30", current, ms(10, 17, 30)},
        {"1730", current, ms(10, 17, 30)},
        {"9:05:00", current, ms(9, 5, 0)},
        {"90500", current, ms(9, 5, 0)},
        {"  23:59:59 ", current, ms(23, 59, 59)},
        {"10:17:30;", current, kNoTime},
        {"17:3_", current, ms(10, 17, 3)},   // a leftover mask blank
        {"17:30", kNoTime, kNoTime},          // no current hour to read it in
        {"24:00:00", current, kNoTime},
        {"10:60:00", current, kNoTime},
        {"10:17:61", current, kNoTime},
        {"10::30", current, kNoTime},
        {"1:2:3:4", current, kNoTime},
        {"123:00", current, kNoTime},
        {"30", current, kNoTime},
        {"1234567", current, kNoTime},
        {"ab:cd", current, kNoTime},
        {"", current, kNoTime},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TypedTimeOfDayMs(r.text, r.current), r.expected) << r.text;
}
