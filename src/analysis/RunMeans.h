#pragma once
// Means of a few series over runs of consecutive epochs, in fixed memory
// however long the recording. Runs start one epoch long; when kRunsMax runs
// are filled, neighbours merge pairwise and every run becomes twice as long.
// A chart draws a few thousand points anyway, and the mean of a run is a
// fairer point than one epoch picked out of it; a recording of any length
// costs no memory per epoch.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

template <int Series>
class RunMeans {
public:
    static constexpr size_t kRunsMax = 4096;

    // count values of series s adding up to sum, at an epoch; epochs come
    // in rising order.
    void Add(size_t epoch, int s, uint64_t sum, uint32_t count = 1)
    {
        if (s < 0 || s >= Series)
            return;
        Run& run = RunOf(epoch);
        run.sum[size_t(s)] += sum;
        run.count[size_t(s)] += count;
    }
    // Add for every series at once, those of no count left out; one
    // epoch's values of all series cost one look for the run.
    void AddAll(size_t epoch, const std::array<uint32_t, Series>& sum, const std::array<uint32_t, Series>& count)
    {
        bool any = false;
        for (int s = 0; s < Series; ++s)
            any = any || count[size_t(s)] > 0;
        if (!any)
            return;
        Run& run = RunOf(epoch);
        for (int s = 0; s < Series; ++s)
            if (count[size_t(s)] > 0) {
                run.sum[size_t(s)] += sum[size_t(s)];
                run.count[size_t(s)] += count[size_t(s)];
            }
    }
    // Run r holds the epochs from r * RunEpochs() on.
    size_t RunEpochs() const { return size_t(1) << shift_; }
    size_t Runs() const { return runs_.size(); }
    std::optional<double> Mean(size_t run, int s) const
    {
        if (run >= runs_.size() || s < 0 || s >= Series || runs_[run].count[size_t(s)] == 0)
            return std::nullopt;
        return double(runs_[run].sum[size_t(s)]) / double(runs_[run].count[size_t(s)]);
    }

private:
    struct Run {
        std::array<uint64_t, Series> sum{};
        std::array<uint64_t, Series> count{};
    };

    // The run of an epoch, made (and runs merged) as needed.
    Run& RunOf(size_t epoch)
    {
        while ((epoch >> shift_) >= kRunsMax)
            Merge();
        const size_t run = epoch >> shift_;
        if (run == runs_.size())
            runs_.emplace_back();   // the common case: the next run
        else if (run > runs_.size())
            runs_.resize(run + 1);
        return runs_[run];
    }

    void Merge()
    {
        const size_t merged = (runs_.size() + 1) / 2;
        for (size_t j = 0; j < merged; ++j) {
            Run run = runs_[2 * j];
            if (2 * j + 1 < runs_.size())
                for (size_t s = 0; s < size_t(Series); ++s) {
                    run.sum[s] += runs_[2 * j + 1].sum[s];
                    run.count[s] += runs_[2 * j + 1].count[s];
                }
            runs_[j] = run;
        }
        runs_.resize(merged);
        ++shift_;
    }

    std::vector<Run> runs_;
    int shift_ = 0;
};
