#include "Figures.h"

#include "BinnedRanks.h"
#include "ReceiveTimes.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84F = 1.0 / 298.257223563;
constexpr double kWgs84E2 = kWgs84F * (2 - kWgs84F);
constexpr double kMsPerS = 1000.0;
constexpr double kGapFactor = 1.5;

Figure Ratio(double a, double b)
{
    return b > 0 ? Figure(a / b) : std::nullopt;
}

// A receiver keeps its rate, so one interval is usually most of them; a
// value held by more than half the intervals is their nearest-rank median,
// and a vote finds it without selecting.
Figure MedianInterval(std::vector<float>& intervals)
{
    if (intervals.empty())
        return std::nullopt;
    float candidate = 0;
    size_t votes = 0;
    for (const float v : intervals) {
        if (votes == 0)
            candidate = v;
        votes += v == candidate ? 1 : size_t(-1);
    }
    const size_t held = size_t(std::count(intervals.begin(), intervals.end(), candidate));
    if (held * 2 > intervals.size())
        return double(candidate);
    const auto median = intervals.begin() + std::ptrdiff_t(NearestRank(intervals.size(), 50));
    std::nth_element(intervals.begin(), median, intervals.end());
    return double(*median);
}

// A receiver without time yet sends a default date (1980, 2006, ...) and
// jumps to the real one later; one without a fix may step its clock back. An
// interval that is not positive or longer than kClockJumpMs, where either
// epoch has no fix, is such a jump: on the jump-free time line it counts as
// one interval at the rate, and it is no gap. A step back between two fixes
// adds nothing. Span and time to first fix are read off this line.
constexpr int64_t kClockJumpMs = 3600 * 1000;

bool HasFix(const EpochRecord& r) { return r.Kind() != FixKind::None; }

enum class Interval { Real, ClockJump, StepBack };

Interval KindOfInterval(int64_t ms, bool bothFixed)
{
    if (ms > 0 && (ms <= kClockJumpMs || bothFixed))
        return Interval::Real;
    return bothFixed ? Interval::StepBack : Interval::ClockJump;
}

// The intervals between consecutive timed epochs, asked for in order.
class Intervals {
public:
    // The interval that ends at a timed epoch r, at time t; false for the
    // first timed epoch.
    bool EndingAt(const EpochRecord& r, int64_t t, Interval& kind, int64_t& ms)
    {
        const bool had = havePrevious_;
        ms = t - previous_;
        kind = KindOfInterval(ms, previousFixed_ && HasFix(r));
        previous_ = t;
        previousFixed_ = HasFix(r);
        havePrevious_ = true;
        return had;
    }

private:
    int64_t previous_ = 0;
    bool havePrevious_ = false;
    bool previousFixed_ = false;
};

// The jump-free time line, from the first timed epoch; an untimed epoch
// stands where the timed one before it does. Its length is the real
// intervals plus one interval at the rate for each clock jump, so it is
// summed up as whole milliseconds during the one pass over the log and
// finished once the rate is known. All its terms are whole milliseconds:
// while the sum stays below 2^53 every partial sum is exact in a double, and
// it is the sum the epochs would add up one by one.
class JumpFreeLine {
public:
    void Add(Interval kind, int64_t ms)
    {
        if (kind == Interval::Real) {
            if (uint64_t(ms) >= kExactMs || realMs_ > kExactMs - uint64_t(ms))
                exact_ = false;
            else
                realMs_ += uint64_t(ms);
        }
        jumps_ += kind == Interval::ClockJump;
    }
    // At the first accepted fix, when a time is known by then.
    void MarkFirstFix()
    {
        marked_ = true;
        realAtFix_ = realMs_;
        jumpsAtFix_ = jumps_;
    }
    int64_t Jumps() const { return jumps_; }
    // False when the sum may not be exact: the caller adds up the epochs.
    bool Finish(double rateMs, Figures& f) const
    {
        const std::optional<double> lineMs = Length(realMs_, jumps_, rateMs);
        if (!exact_ || !lineMs)
            return false;
        if (marked_)
            f.ttffS = *Length(realAtFix_, jumpsAtFix_, rateMs) / kMsPerS;
        f.spanS = *lineMs / kMsPerS;
        return true;
    }

private:
    static constexpr uint64_t kExactMs = uint64_t(1) << 53;

    static std::optional<double> Length(uint64_t realMs, int64_t jumps, double rateMs)
    {
        const double jumpMs = double(jumps) * rateMs;
        const double ms = double(realMs) + jumpMs;
        if (!(jumpMs < double(kExactMs)) || !(ms < double(kExactMs)))
            return std::nullopt;
        return ms;
    }

    uint64_t realMs_ = 0;
    int64_t jumps_ = 0;
    bool exact_ = true;
    bool marked_ = false;
    uint64_t realAtFix_ = 0;
    int64_t jumpsAtFix_ = 0;
};

// The jump-free time line added up epoch by epoch, for the sums JumpFreeLine
// cannot keep exact.
void AddUpJumpFreeLine(const EpochLog& log, double rateMs, Figures& f)
{
    double lineMs = 0;
    bool timed = false, fixed = false;
    Intervals again;
    log.ForEach([&](const EpochRecord& r, int64_t t) {
        Interval kind;
        int64_t ms = 0;
        timed = timed || r.TimeKnown();
        if (r.TimeKnown() && again.EndingAt(r, t, kind, ms))
            lineMs += kind == Interval::Real ? double(ms) : kind == Interval::ClockJump ? rateMs : 0.0;
        // A first fix before any time has no time to first fix.
        if (!fixed && r.Accepted() && timed)
            f.ttffS = lineMs / kMsPerS;
        fixed = fixed || r.Accepted();
    });
    f.spanS = lineMs / kMsPerS;
}

// DOPs are rounded to hundredths: a count of each value gives the exact
// nearest-rank percentiles in one pass. The rare value beyond the counts'
// range (a receiver's HDOP of 800) is kept aside, never capped.
class DopPercentiles {
public:
    void Add(float dop)
    {
        // Stored DOPs are never negative.
        const double hundredths = double(dop) * kDopScale + 0.5;
        if (hundredths < double(kCounted))
            ++counts_[size_t(hundredths)];
        else
            beyond_.push_back(dop);
        ++n_;
    }
    Figure At(double percent)
    {
        if (n_ == 0)
            return std::nullopt;
        const size_t rank = NearestRank(n_, percent);
        size_t below = 0;
        for (size_t value = 0; value < counts_.size(); ++value) {
            below += counts_[value];
            if (below > rank)
                return double(value) / kDopScale;
        }
        std::sort(beyond_.begin(), beyond_.end());
        return std::round(double(beyond_[rank - below]) * kDopScale) / kDopScale;
    }

private:
    static constexpr size_t kCounted = 65535;
    std::vector<uint32_t> counts_ = std::vector<uint32_t>(kCounted, 0);
    std::vector<float> beyond_;
    size_t n_ = 0;
};

// The mean of the accepted fixes, summed as differences from the first one,
// so that a track across the antimeridian has its mean beside it, not on the
// far side of the Earth.
class MeanPosition {
public:
    void Add(const EpochRecord& r)
    {
        if (!first_)
            first_ = EpochLog::PositionOf(r);
        lat_ += r.latRad - first_->latRad;
        const double dLon = r.lonRad - first_->lonRad;
        lon_ += dLon > M_PI || dLon < -M_PI ? std::remainder(dLon, 2 * M_PI) : dLon;
        ++n_;
        // A fix without a height counts in the mean place, not in its height.
        if (!std::isnan(r.heightM)) {
            h_ += r.heightM;
            ++heights_;
        }
    }
    std::optional<GeoPoint> Mean() const
    {
        if (n_ == 0)
            return std::nullopt;
        return GeoPoint{first_->latRad + lat_ / double(n_), std::remainder(first_->lonRad + lon_ / double(n_), 2 * M_PI),
                        heights_ > 0 ? h_ / double(heights_) : std::numeric_limits<double>::quiet_NaN()};
    }

private:
    std::optional<GeoPoint> first_;
    double lat_ = 0, lon_ = 0, h_ = 0;
    int64_t n_ = 0;
    int64_t heights_ = 0;
};

// Every figure that needs one look at each epoch, in a single pass over the
// log (a week at 10 Hz is 240 MB of epochs): the time line, the counts, the
// satellites used, the DOPs and the mean position. intervals receives the
// real intervals for the rate and the gaps.
void OnePass(const EpochLog& log, bool wantMean, std::vector<float>& intervals, Figures& f)
{
    intervals.clear();
    Intervals timeLine;
    JumpFreeLine line;
    bool timed = false, fixed = false;
    std::array<int64_t, kSatSystems> usedSum{};
    std::array<int, kSatSystems> usedMin, usedMax{};
    usedMin.fill(255);
    DopPercentiles hdops, vdops;
    MeanPosition mean;
    // Counted in locals, which the loop keeps in registers.
    std::array<int64_t, kFixKinds> perKind{};
    int64_t twoD = 0, threeD = 0, dimUnknown = 0, accepted = 0, noHeight = 0;
    bool anyTime = false, anyFix = false;
    int64_t firstMs = 0, lastMs = 0;
    // The test's first and last epochs are dated ones: a clock jump before
    // the first fix leaves the default dates of a cold start behind, and one
    // after the last fix a receiver that stepped its clock back.
    bool stepBack = false;
    int64_t lastBeforeStepBack = 0;
    log.ForEach([&](const EpochRecord& r, int64_t t) {
        if (r.TimeKnown()) {
            const int64_t before = lastMs;
            if (!anyTime)
                firstMs = t;
            anyTime = true;
            lastMs = t;
            Interval kind;
            int64_t ms = 0;
            if (timeLine.EndingAt(r, t, kind, ms)) {
                if (kind == Interval::Real)
                    intervals.push_back(float(ms));
                line.Add(kind, ms);
                if (kind == Interval::ClockJump && !anyFix)
                    firstMs = t;
                else if (kind == Interval::ClockJump && ms <= 0 && !stepBack) {
                    stepBack = true;
                    lastBeforeStepBack = before;
                }
            }
            timed = true;
        }
        if (HasFix(r)) {
            anyFix = true;
            stepBack = false;
        }
        if (!fixed && r.Accepted() && timed)
            line.MarkFirstFix();
        fixed = fixed || r.Accepted();

        const FixDim dim = r.Dim();
        ++perKind[size_t(r.Kind())];
        twoD += dim == FixDim::TwoD;
        threeD += dim == FixDim::ThreeD;
        dimUnknown += dim == FixDim::Unknown && r.Kind() != FixKind::None;
        if (!r.Accepted())
            return;
        ++accepted;
        for (int system = 0; system < kSatSystems; ++system) {
            usedSum[system] += r.used[system];
            usedMin[system] = std::min<int>(usedMin[system], r.used[system]);
            usedMax[system] = std::max<int>(usedMax[system], r.used[system]);
        }
        if (EpochRecord::HasDop(r.hdop))
            hdops.Add(r.hdop);
        if (EpochRecord::HasDop(r.vdop))
            vdops.Add(r.vdop);
        noHeight += r.HasPosition() && std::isnan(r.heightM);
        if (wantMean && r.HasPosition())
            mean.Add(r);
    });
    f.noHeight = noHeight;
    f.startedWithFix = log.Size() > 0 && HasFix(log[0]);
    f.epochs = int64_t(log.Size());
    f.perKind = perKind;
    f.twoD = twoD;
    f.threeD = threeD;
    f.dimUnknown = dimUnknown;
    f.accepted = accepted;
    if (anyTime) {
        f.firstMs = firstMs;
        f.lastMs = stepBack ? lastBeforeStepBack : lastMs;
    }

    if (f.firstMs) {
        f.clockJumps = double(line.Jumps());
        const Figure medianMs = MedianInterval(intervals);
        if (medianMs) {
            f.rateS = *medianMs / kMsPerS;
            int64_t gaps = 0, missing = 0;
            for (const float interval : intervals)
                if (double(interval) > kGapFactor * *medianMs) {
                    ++gaps;
                    missing += std::llround(double(interval) / *medianMs) - 1;
                }
            f.gaps = double(gaps);
            f.missing = double(missing);
        }
        const double rateMs = medianMs.value_or(0);
        if (!line.Finish(rateMs, f))
            AddUpJumpFreeLine(log, rateMs, f);
        // The time line cannot tell how long a receiver that was fixed
        // from the start took to fix.
        if (f.startedWithFix)
            f.ttffS.reset();
    }

    f.availabilityPct = Ratio(100.0 * double(f.accepted), double(f.epochs) + f.missing.value_or(0));
    for (int system = 0; system < kSatSystems; ++system) {
        if (f.accepted > 0) {
            f.usedMean[system] = double(usedSum[system]) / double(f.accepted);
            f.usedMin[system] = usedMin[system];
            f.usedMax[system] = usedMax[system];
        }
        f.snrMeanDbHz[system] = Ratio(log.SnrSum(system), double(log.SnrCount(system)));
    }
    f.hdopMedian = hdops.At(50);
    f.hdop95 = hdops.At(95);
    f.vdopMedian = vdops.At(50);
    f.vdop95 = vdops.At(95);
    if (wantMean)
        f.reference = mean.Mean();
}

// Calls use with the error of every accepted fix that has a position.
template <typename Use>
void ForEachError(const EpochLog& log, const LocalFrame& frame, Use use)
{
    log.ForEach([&](const EpochRecord& r, int64_t) {
        if (r.Accepted() && r.HasPosition())
            use(frame.ErrorOf(r));
    });
}

// The errors the figures rank: horizontal, vertical and spatial.
constexpr int kErrorSets = 3;
std::array<float, kErrorSets> RankedErrors(const LocalFrame::Enu& e)
{
    const double r2 = e.east * e.east + e.north * e.north;
    return {float(std::sqrt(r2)), float(std::fabs(e.up)),
            float(std::sqrt(e.east * e.east + e.north * e.north + e.up * e.up))};
}

void Errors(const EpochLog& log, std::vector<float>& scratch, Figures& f)
{
    const LocalFrame frame(*f.reference);
    double sum[3] = {}, sumSq[3] = {}, sumR2 = 0;
    std::array<BinnedRanks, kErrorSets> sets;
    // Fixes with a position, and those of them with a height (the vertical
    // and 3D errors and the up bias and SD are theirs alone).
    size_t n = 0, nUp = 0;
    uint32_t* const horizontal = sets[0].Counts();
    uint32_t* const vertical = sets[1].Counts();
    uint32_t* const spatial = sets[2].Counts();
    ForEachError(log, frame, [&](const LocalFrame::Enu& e) {
        const double v[3] = {e.east, e.north, e.up};
        const int axes = std::isnan(e.up) ? 2 : 3;
        for (int k = 0; k < axes; ++k) {
            sum[k] += v[k];
            sumSq[k] += v[k] * v[k];
        }
        sumR2 += e.east * e.east + e.north * e.north;
        const std::array<float, kErrorSets> x = RankedErrors(e);
        ++horizontal[BinnedRanks::Key(x[0])];
        ++n;
        if (axes == 3) {
            ++vertical[BinnedRanks::Key(x[1])];
            ++spatial[BinnedRanks::Key(x[2])];
            ++nUp;
        }
    });
    if (n == 0)
        return;
    Figure* bias[3] = {&f.biasEastM, &f.biasNorthM, &f.biasUpM};
    Figure* sd[3] = {&f.sdEastM, &f.sdNorthM, &f.sdUpM};
    for (int k = 0; k < (nUp > 0 ? 3 : 2); ++k) {
        const double count = double(k == 2 ? nUp : n);
        const double mean = sum[k] / count;
        *bias[k] = mean;
        *sd[k] = std::sqrt(std::max(0.0, sumSq[k] / count - mean * mean));
    }
    f.drms2M = 2 * std::sqrt(sumR2 / double(n));

    const auto rank = [n](double percent) { return NearestRank(n, percent); };
    const auto rankUp = [nUp](double percent) { return NearestRank(nUp, percent); };
    std::array<size_t, kErrorSets> held = {sets[0].Ask({rank(50), rank(68), rank(95), rank(99), rank(100)}),
                                           nUp ? sets[1].Ask({rankUp(50), rankUp(95), rankUp(99)}) : 0,
                                           nUp ? sets[2].Ask({rankUp(50), rankUp(95)}) : 0};
    // The chart's distribution is read off every stride-th horizontal
    // error, in the order of the fixes.
    constexpr size_t kCdfSampleMax = 20000;
    const size_t stride = std::max<size_t>(1, n / kCdfSampleMax);
    std::vector<float> sample;
    sample.reserve(n / stride + 1);
    size_t untilSample = 0;
    // The asked bins' values are kept in scratch, one float an epoch at
    // most: the sets that fit together share the second pass.
    std::array<float*, kErrorSets> kept{};
    for (int from = 0; from < kErrorSets;) {
        int to = from;
        size_t total = 0;
        for (; to < kErrorSets && total + held[size_t(to)] <= n; ++to)
            total += held[size_t(to)];
        scratch.resize(total);
        std::array<bool, kErrorSets> now{};
        for (size_t k = size_t(from), at = 0; k < size_t(to); at += held[k], ++k) {
            now[k] = true;
            kept[k] = scratch.data() + at;
        }
        ForEachError(log, frame, [&](const LocalFrame::Enu& e) {
            const std::array<float, kErrorSets> x = RankedErrors(e);
            // The horizontal set is always in the first pass.
            if (from == 0 && untilSample-- == 0) {
                sample.push_back(x[0]);
                untilSample = stride - 1;
            }
            const int ranked = std::isnan(e.up) ? 1 : kErrorSets;
            for (int k = 0; k < ranked; ++k)
                if (now[size_t(k)])
                    sets[size_t(k)].Keep(x[size_t(k)], kept[size_t(k)]);
        });
        for (int k = from; k < to; ++k) {
            if (k > 0 && nUp == 0)
                continue;
            BinnedRanks& set = sets[size_t(k)];
            float* values = kept[size_t(k)];
            const auto at = [&](double percent) -> Figure {
                return double(set.At(k == 0 ? rank(percent) : rankUp(percent), values));
            };
            if (k == 0) {
                std::sort(sample.begin(), sample.end());
                for (int step = 0; step <= kCdfSteps; ++step)
                    f.cdf.push_back(sample[NearestRank(sample.size(), 100.0 * step / kCdfSteps)]);
                f.cep50M = at(50);
                f.r68M = at(68);
                f.r95M = at(95);
                f.r99M = at(99);
                f.rMaxM = at(100);
            } else if (k == 1) {
                f.up50M = at(50);
                f.up95M = at(95);
                f.up99M = at(99);
            } else {
                f.d3_50M = at(50);
                f.d3_95M = at(95);
            }
        }
        from = to;
    }
}

} // namespace

size_t NearestRank(size_t n, double percent)
{
    // In half percents, so that the rank is exact integer arithmetic.
    const uint64_t halves = uint64_t(std::llround(std::clamp(percent, 0.0, 100.0) * 2));
    const uint64_t rank = (halves * n + 199) / 200;
    return rank == 0 ? 0 : size_t(rank - 1);
}

LocalFrame::LocalFrame(const GeoPoint& reference) : reference_(reference)
{
    const double s = std::sin(reference.latRad);
    const double w = std::sqrt(1 - kWgs84E2 * s * s);
    const double primeVertical = kWgs84A / w;
    const double meridian = kWgs84A * (1 - kWgs84E2) / (w * w * w);
    // Fixes without a height have a mean place without one: the frame then
    // stands on the ellipsoid, and every up error is none.
    const double h0 = std::isnan(reference.heightM) ? 0.0 : reference.heightM;
    eastPerRad_ = (primeVertical + h0) * std::cos(reference.latRad);
    northPerRad_ = meridian + h0;
}

LocalFrame::Enu LocalFrame::ErrorOf(const EpochRecord& r) const
{
    return ErrorOf(EpochLog::PositionOf(r));
}

LocalFrame::Enu LocalFrame::ErrorOf(const GeoPoint& p) const
{
    double dLon = p.lonRad - reference_.lonRad;
    if (dLon > M_PI || dLon < -M_PI)
        dLon = std::remainder(dLon, 2 * M_PI);
    return {dLon * eastPerRad_, (p.latRad - reference_.latRad) * northPerRad_, p.heightM - reference_.heightM};
}

Figures ComputeFigures(const EpochLog& log, const std::optional<GeoPoint>& reference)
{
    Figures f;
    f.datesKnown = log.datesKnown;
    f.errors = log.errors;
    std::vector<float> scratch;
    scratch.reserve(log.Size());
    f.referenceGiven = reference.has_value();
    f.reference = reference;
    OnePass(log, !reference, scratch, f);
    if (f.reference)
        Errors(log, scratch, f);
    return f;
}

namespace {

// The receive time of the block that completed the first accepted fix;
// none when its record is not exact (its bytes came some time before).
std::optional<ReceiveTime> FirstFixBlock(const EpochLog& log, const ReceiveTimeList& times)
{
    if (times.empty() || log.firstAcceptedByte < 0)
        return std::nullopt;
    const size_t block = times.FirstEndingAtOrAfter(log.firstAcceptedByte);
    if (block == times.size() || !times[block].exact)
        return std::nullopt;
    return times[block];
}

} // namespace

void TtffFromReceiveTimes(Figures& f, const EpochLog& log, const ReceiveTimeList& times)
{
    if (const std::optional<ReceiveTime> block = FirstFixBlock(log, times))
        f.ttffS = double(block->ms - times.front().ms) / kMsPerS;
}

void TtffSinceStart(Figures& f, const EpochLog& log, const ReceiveTimeList& times)
{
    if (const std::optional<ReceiveTime> block = FirstFixBlock(log, times))
        f.ttffS = double(block->ms) / kMsPerS;
}
