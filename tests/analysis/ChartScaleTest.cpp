// The page's chart decisions: steps, the gap-compressing time axis and its
// labels, the scatter frame with its edge marks, and the "best" rule.
#include "ChartScale.h"

#include <gtest/gtest.h>
#include <cmath>

namespace {

TEST(ChartScale, StepsAreNiceAndCountsWhole)
{
    struct Row {
        double range;
        int ticks;
        double nice, count;
    };
    const Row rows[] = {
        {10, 5, 2, 2}, {1, 5, 0.2, 1}, {2.4, 6, 0.5, 1}, {12, 5, 2.5, 3}, {120, 5, 25, 25}, {0, 5, 1, 1}, {NAN, 5, 1, 1},
    };
    for (const Row& r : rows) {
        EXPECT_DOUBLE_EQ(NiceStep(r.range, r.ticks), r.nice) << r.range;
        EXPECT_DOUBLE_EQ(CountStep(r.range, r.ticks), r.count) << r.range;
    }
}

// A 1 Hz hour, a 10-minute gap, then 18 epochs: the 18 get a readable width
// and the gap a break mark, not 10 minutes of paper.
TEST(ChartScale, LongGapIsABreakAndTheBurstAfterItStaysVisible)
{
    std::vector<double> t;
    for (int s = 0; s < 3600; ++s)
        t.push_back(36000 + s);
    for (int s = 0; s < 18; ++s)
        t.push_back(36000 + 3600 + 600 + s);
    const double breakS = BreakAfterS(1, t.front(), t.back());
    EXPECT_DOUBLE_EQ(breakS, 0.05 * (t.back() - t.front()));
    const TimeAxis axis = TimeAxis::Build(t, breakS);
    ASSERT_EQ(axis.Spans().size(), 2u);
    EXPECT_GE(axis.Spans()[1].x1 - axis.Spans()[1].x0, TimeAxis::kLeastSpan - 1e-9);
    EXPECT_DOUBLE_EQ(axis.At(t.front()), 0);
    EXPECT_DOUBLE_EQ(axis.At(t.back()), 1);
    ASSERT_EQ(axis.Breaks().size(), 1u);
    EXPECT_NEAR(axis.At(36000 + 3900), axis.Breaks()[0], 1e-9);   // inside the gap
    // Time runs one way on the axis.
    double last = -1;
    for (const double v : t) {
        EXPECT_GE(axis.At(v), last);
        last = axis.At(v);
    }
    // A linear axis for short gaps.
    EXPECT_EQ(TimeAxis::Build({0, 1, 2, 30, 31}, 60).Spans().size(), 1u);
    EXPECT_EQ(TimeAxis::Build({}, 60).Spans().size(), 1u);
    EXPECT_EQ(TimeAxis::Build({5}, 60).Spans().size(), 1u);
}

TEST(ChartScale, TimeLabelsAreNeverCutNorOverlapping)
{
    struct Row {
        std::vector<double> times;
        double breakS;
    };
    const Row rows[] = {
        {{36000, 36970}, 0},                      // ends at 10:16:10
        {{36000, 39600, 40200, 40218}, 1000},     // an hour, a gap, a burst
        {{0, 86399}, 0},
        {{36000, 36001}, 0},
    };
    constexpr double kPlotPx = 900, kOverhangPx = 40;
    for (const Row& r : rows) {
        const std::vector<AxisTick> ticks = TimeTicks(TimeAxis::Build(r.times, r.breakS), kPlotPx, kOverhangPx);
        ASSERT_GE(ticks.size(), 2u) << r.times.back();
        double lastRight = -1e9;
        for (const AxisTick& tick : ticks) {
            const double half = LabelPx(tick.text.size()) / 2;
            EXPECT_GE(tick.at * kPlotPx - half, -kOverhangPx) << tick.text;
            EXPECT_LE(tick.at * kPlotPx + half, kPlotPx + kOverhangPx) << tick.text;
            EXPECT_GT(tick.at * kPlotPx - half, lastRight) << tick.text;
            lastRight = tick.at * kPlotPx + half;
        }
    }
    // The burst after the gap has its own label.
    const auto ticks = TimeTicks(TimeAxis::Build({36000, 39600, 40200, 40218}, 1000), kPlotPx, kOverhangPx);
    EXPECT_EQ(ticks.back().text, "11:10");
    EXPECT_EQ(ClockTick(36970, 10), "10:16:10");
    EXPECT_EQ(ClockTick(36960, 60), "10:16");
}

TEST(ChartScale, ScatterFrameHoldsR99AndPutsTheRestOnItsEdge)
{
    struct Row {
        double r99, r95, max, half;
    };
    const Row rows[] = {{35, 20, 80, 40}, {1.9, 1.5, 9, 2}, {0, 0, 0, 0.6}, {0, 3.1, 7, 4}, {0.01, 0, 0, 0.06}};
    for (const Row& r : rows) {
        const ScatterFrame f = ScatterFrameFor(r.r99, r.r95, r.max);
        EXPECT_DOUBLE_EQ(f.halfM, r.half) << r.r99;
        EXPECT_GE(f.halfM, r.r99);
        EXPECT_NEAR(std::fmod(f.halfM / f.stepM + 1e-9, 1.0), 0, 1e-6) << r.r99;
    }
    struct Point {
        double east, north, half, drawnEast, drawnNorth;
        bool beyond;
    };
    const Point points[] = {{3, -4, 10, 3, -4, false}, {20, 10, 10, 10, 5, true}, {-5, -40, 10, -1.25, -10, true},
                            {10, 0, 10, 10, 0, false}};
    for (const Point& p : points) {
        const auto [drawn, beyond] = OnFrame(p.east, p.north, p.half);
        EXPECT_DOUBLE_EQ(drawn.first, p.drawnEast);
        EXPECT_DOUBLE_EQ(drawn.second, p.drawnNorth);
        EXPECT_EQ(beyond, p.beyond);
    }
}

TEST(ChartScale, BestOnlyWhenItBeatsTheOthersByMoreThanTheResolution)
{
    struct Row {
        std::vector<double> values;
        std::vector<bool> valid;
        int decimals;
        Rank rank;
        std::vector<bool> best;
    };
    const Row rows[] = {
        {{1.2, 2.5}, {true, true}, 3, Rank::Lower, {true, false}},
        {{600, 600}, {true, true}, 0, Rank::Higher, {false, false}},                 // equal
        {{1.000, 1.001}, {true, true}, 3, Rank::Lower, {false, false}},              // one unit of the last digit
        {{100.0, 100.5, 103}, {true, true, true}, 1, Rank::Lower, {false, false, false}},   // within 1 %
        {{100.0, 102, 103}, {true, true, true}, 1, Rank::Lower, {true, false, false}},
        {{0, 1}, {true, true}, 0, Rank::Lower, {false, false}},                      // one count apart
        {{0, 2}, {true, true}, 0, Rank::Lower, {true, false}},
        {{-0.5, 0.2, 0.9}, {true, true, true}, 3, Rank::LowerMagnitude, {false, true, false}},
        {{9, 7}, {true, true}, 1, Rank::Higher, {true, false}},
        {{1, 5}, {true, false}, 3, Rank::Lower, {false, false}},                     // one value
        {{1, 5}, {true, true}, 3, Rank::None, {false, false}},
        {{2, 2, 5}, {true, true, true}, 1, Rank::Lower, {false, false, false}},      // a tie for the best
    };
    for (const Row& r : rows)
        EXPECT_EQ(BestMarks(r.values, r.valid, r.decimals, r.rank), r.best) << r.values[0] << " " << r.values[1];
}

} // namespace
