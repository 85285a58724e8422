// Run means must equal the plain means over each run's epochs, whatever the
// number of epochs, merged or not, with series that skip epochs.
#include "RunMeans.h"

#include <gtest/gtest.h>

namespace {

TEST(RunMeans, EachRunIsTheMeanOfItsEpochs)
{
    constexpr size_t kMax = RunMeans<2>::kRunsMax;
    struct Row {
        size_t epochs;
        size_t runEpochs;
    };
    for (const Row& row : {Row{1, 1}, Row{kMax, 1}, Row{kMax + 1, 2}, Row{2 * kMax + 1, 4}, Row{10 * kMax, 16}}) {
        RunMeans<2> means;
        // Series 0 every epoch, series 1 every third only.
        auto value0 = [](size_t k) { return uint32_t(k % 97); };
        auto value1 = [](size_t k) { return uint32_t(30 + k % 13); };
        for (size_t k = 0; k < row.epochs; ++k) {
            means.Add(k, 0, value0(k));
            if (k % 3 == 0)
                means.Add(k, 1, value1(k));
        }
        means.Add(row.epochs, 2, 1);   // no such series: ignored
        ASSERT_EQ(means.RunEpochs(), row.runEpochs) << row.epochs;
        ASSERT_EQ(means.Runs(), (row.epochs + row.runEpochs - 1) / row.runEpochs) << row.epochs;
        for (size_t r = 0; r < means.Runs(); ++r) {
            double sum0 = 0, sum1 = 0;
            int n0 = 0, n1 = 0;
            for (size_t k = r * row.runEpochs; k < std::min(row.epochs, (r + 1) * row.runEpochs); ++k) {
                sum0 += value0(k), ++n0;
                if (k % 3 == 0)
                    sum1 += value1(k), ++n1;
            }
            ASSERT_DOUBLE_EQ(*means.Mean(r, 0), sum0 / n0) << row.epochs << " run " << r;
            if (n1 == 0)
                ASSERT_FALSE(means.Mean(r, 1)) << row.epochs << " run " << r;
            else
                ASSERT_DOUBLE_EQ(*means.Mean(r, 1), sum1 / n1) << row.epochs << " run " << r;
        }
        EXPECT_FALSE(means.Mean(means.Runs(), 0));
    }
}

// AddAll is Add for each series of a count; an epoch of no counts at all
// makes no run, as no Add would.
TEST(RunMeans, AddAllIsAddPerSeries)
{
    constexpr size_t kEpochs = 3 * RunMeans<3>::kRunsMax + 5;
    RunMeans<3> each, all;
    for (size_t k = 0; k < kEpochs; ++k) {
        const std::array<uint32_t, 3> sum{uint32_t(k % 50), uint32_t(k % 7 == 0 ? 0 : 40), 0};
        const std::array<uint32_t, 3> count{k % 5 == 0 ? 0u : 2u, k % 7 == 0 ? 0u : 1u, 0u};
        for (int s = 0; s < 3; ++s)
            if (count[size_t(s)] > 0)
                each.Add(k, s, sum[size_t(s)], count[size_t(s)]);
        all.AddAll(k, sum, count);
    }
    all.AddAll(kEpochs + 4 * RunMeans<3>::kRunsMax, {9, 9, 9}, {0, 0, 0});
    ASSERT_EQ(all.Runs(), each.Runs());
    ASSERT_EQ(all.RunEpochs(), each.RunEpochs());
    for (size_t r = 0; r < each.Runs(); ++r)
        for (int s = 0; s < 3; ++s)
            ASSERT_EQ(all.Mean(r, s), each.Mean(r, s)) << r << " " << s;
}

} // namespace
