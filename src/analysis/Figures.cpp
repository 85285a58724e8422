#include "Figures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84F = 1.0 / 298.257223563;
constexpr double kWgs84E2 = kWgs84F * (2 - kWgs84F);
constexpr double kMsPerS = 1000.0;
constexpr double kGapFactor = 1.5;

// Nearest-rank percentiles, asked for in ascending order: each selection
// works only above the previous one, so a handful cost linear time, not a sort.
class Ranked {
public:
    explicit Ranked(std::vector<float>& v) : v_(v) {}
    Figure At(double percent)
    {
        if (v_.empty())
            return std::nullopt;
        const size_t k = NearestRank(v_.size(), percent);
        if (k < from_)
            from_ = 0;
        std::nth_element(v_.begin() + std::ptrdiff_t(from_), v_.begin() + std::ptrdiff_t(k), v_.end());
        from_ = k;
        return double(v_[k]);
    }
    Figure Max() { return At(100); }

    // The distribution for the chart; beyond a few thousand values it is read
    // off an evenly spread sample of them.
    std::vector<float> Cdf() const
    {
        constexpr size_t kSampleMax = 20000;
        std::vector<float> sample;
        const size_t stride = std::max<size_t>(1, v_.size() / kSampleMax);
        for (size_t i = 0; i < v_.size(); i += stride)
            sample.push_back(v_[i]);
        std::sort(sample.begin(), sample.end());
        std::vector<float> cdf;
        for (int k = 0; k <= kCdfSteps && !sample.empty(); ++k)
            cdf.push_back(sample[NearestRank(sample.size(), 100.0 * k / kCdfSteps)]);
        return cdf;
    }

private:
    std::vector<float>& v_;
    size_t from_ = 0;
};

Figure Ratio(double a, double b)
{
    return b > 0 ? Figure(a / b) : std::nullopt;
}

// A receiver keeps its rate, so one interval is usually most of them; a
// value held by more than half the intervals is their nearest-rank median,
// and a vote finds it without selecting.
Figure MedianInterval(std::vector<float>& intervals)
{
    float candidate = 0;
    size_t votes = 0;
    for (const float v : intervals) {
        if (votes == 0)
            candidate = v;
        votes += v == candidate ? 1 : size_t(-1);
    }
    const size_t held = size_t(std::count(intervals.begin(), intervals.end(), candidate));
    if (!intervals.empty() && held * 2 > intervals.size())
        return double(candidate);
    return Ranked(intervals).At(50);
}

void TimeLine(const EpochLog& log, std::vector<float>& scratch, Figures& f)
{
    // Intervals between consecutive timed epochs.
    scratch.clear();
    int64_t previous = 0;
    bool havePrevious = false;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (!r.TimeKnown())
            continue;
        const int64_t t = log.TimeMs(i);
        if (!f.firstMs)
            f.firstMs = t;
        f.lastMs = t;
        if (havePrevious && t > previous)
            scratch.push_back(float(t - previous));
        previous = t;
        havePrevious = true;
    }
    if (f.firstMs)
        f.spanS = double(*f.lastMs - *f.firstMs) / kMsPerS;
    const Figure medianMs = MedianInterval(scratch);
    if (!medianMs)
        return;
    f.rateS = *medianMs / kMsPerS;
    int64_t gaps = 0, missing = 0;
    for (const float interval : scratch)
        if (double(interval) > kGapFactor * *medianMs) {
            ++gaps;
            missing += std::llround(double(interval) / *medianMs) - 1;
        }
    f.gaps = double(gaps);
    f.missing = double(missing);
}

// Counts, the time to first fix and the satellites used, in one pass.
void Counts(const EpochLog& log, Figures& f)
{
    std::optional<int64_t> firstEpochMs;
    std::array<int64_t, kSatSystems> usedSum{};
    std::array<int, kSatSystems> usedMin, usedMax{};
    usedMin.fill(255);
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        ++f.perKind[size_t(r.Kind())];
        f.twoD += r.Dim() == FixDim::TwoD;
        f.threeD += r.Dim() == FixDim::ThreeD;
        f.dimUnknown += r.Dim() == FixDim::Unknown && r.Kind() != FixKind::None;
        if (r.TimeKnown() && !firstEpochMs)
            firstEpochMs = log.TimeMs(i);
        if (!r.Accepted())
            continue;
        if (f.accepted == 0 && firstEpochMs)
            f.ttffS = double(log.TimeMs(i) - *firstEpochMs) / kMsPerS;
        ++f.accepted;
        for (int system = 0; system < kSatSystems; ++system) {
            usedSum[system] += r.used[system];
            usedMin[system] = std::min<int>(usedMin[system], r.used[system]);
            usedMax[system] = std::max<int>(usedMax[system], r.used[system]);
        }
    }
    f.epochs = int64_t(log.Size());
    f.availabilityPct = Ratio(100.0 * double(f.accepted), double(f.epochs) + f.missing.value_or(0));
    for (int system = 0; system < kSatSystems; ++system) {
        if (f.accepted > 0) {
            f.usedMean[system] = double(usedSum[system]) / double(f.accepted);
            f.usedMin[system] = usedMin[system];
            f.usedMax[system] = usedMax[system];
        }
        f.snrMeanDbHz[system] = Ratio(log.SnrSum(system), double(log.SnrCount(system)));
    }
}

std::optional<GeoPoint> MeanOfAccepted(const EpochLog& log)
{
    double lat = 0, lon = 0, h = 0;
    int64_t n = 0;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (!r.Accepted() || !r.HasPosition())
            continue;
        lat += r.dLatRad;
        lon += r.dLonRad;
        h += r.heightM;
        ++n;
    }
    if (n == 0)
        return std::nullopt;
    const GeoPoint& o = log.Origin();
    return GeoPoint{o.latRad + lat / double(n), o.lonRad + lon / double(n), h / double(n)};
}

// Calls use with the error of every accepted fix that has a position.
template <typename Use>
void ForEachError(const EpochLog& log, const LocalFrame& frame, Use use)
{
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (r.Accepted() && r.HasPosition())
            use(frame.ErrorOf(r));
    }
}

void Errors(const EpochLog& log, std::vector<float>& scratch, Figures& f)
{
    const LocalFrame frame(*f.reference, log.Origin());
    double sum[3] = {}, sumSq[3] = {}, sumR2 = 0;
    scratch.clear();
    ForEachError(log, frame, [&](const LocalFrame::Enu& e) {
        const double v[3] = {e.east, e.north, e.up};
        for (int k = 0; k < 3; ++k) {
            sum[k] += v[k];
            sumSq[k] += v[k] * v[k];
        }
        const double r2 = e.east * e.east + e.north * e.north;
        sumR2 += r2;
        scratch.push_back(float(std::sqrt(r2)));
    });
    if (scratch.empty())
        return;
    const double count = double(scratch.size());
    Figure* bias[3] = {&f.biasEastM, &f.biasNorthM, &f.biasUpM};
    Figure* sd[3] = {&f.sdEastM, &f.sdNorthM, &f.sdUpM};
    for (int k = 0; k < 3; ++k) {
        const double mean = sum[k] / count;
        *bias[k] = mean;
        *sd[k] = std::sqrt(std::max(0.0, sumSq[k] / count - mean * mean));
    }
    f.drms2M = 2 * std::sqrt(sumR2 / count);
    Ranked horizontal(scratch);
    f.cep50M = horizontal.At(50);
    f.r68M = horizontal.At(68);
    f.r95M = horizontal.At(95);
    f.r99M = horizontal.At(99);
    f.rMaxM = horizontal.Max();
    f.cdf = horizontal.Cdf();

    // The same scratch buffer then serves the vertical and the 3D errors.
    for (const bool vertical : {true, false}) {
        scratch.clear();
        ForEachError(log, frame, [&](const LocalFrame::Enu& e) {
            scratch.push_back(float(vertical ? std::fabs(e.up)
                                             : std::sqrt(e.east * e.east + e.north * e.north + e.up * e.up)));
        });
        Ranked ranked(scratch);
        if (vertical) {
            f.up50M = ranked.At(50);
            f.up95M = ranked.At(95);
            f.up99M = ranked.At(99);
        } else {
            f.d3_50M = ranked.At(50);
            f.d3_95M = ranked.At(95);
        }
    }
}

// DOPs are kept in hundredths: a count of each value gives the exact
// nearest-rank percentiles in one pass.
void Dops(const EpochLog& log, Figures& f)
{
    std::vector<uint32_t> hdops(kNoDop, 0), vdops(kNoDop, 0);
    size_t nh = 0, nv = 0;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (!r.Accepted())
            continue;
        if (r.hdop != kNoDop) {
            ++hdops[r.hdop];
            ++nh;
        }
        if (r.vdop != kNoDop) {
            ++vdops[r.vdop];
            ++nv;
        }
    }
    auto percentile = [](const std::vector<uint32_t>& counts, size_t n, double percent) -> Figure {
        if (n == 0)
            return std::nullopt;
        const size_t rank = NearestRank(n, percent);
        size_t below = 0;
        for (size_t value = 0; value < counts.size(); ++value) {
            below += counts[value];
            if (below > rank)
                return double(value) / kDopScale;
        }
        return std::nullopt;
    };
    f.hdopMedian = percentile(hdops, nh, 50);
    f.hdop95 = percentile(hdops, nh, 95);
    f.vdopMedian = percentile(vdops, nv, 50);
    f.vdop95 = percentile(vdops, nv, 95);
}

} // namespace

size_t NearestRank(size_t n, double percent)
{
    // In half percents, so that the rank is exact integer arithmetic.
    const uint64_t halves = uint64_t(std::llround(std::clamp(percent, 0.0, 100.0) * 2));
    const uint64_t rank = (halves * n + 199) / 200;
    return rank == 0 ? 0 : size_t(rank - 1);
}

LocalFrame::LocalFrame(const GeoPoint& reference, const GeoPoint& origin) : reference_(reference)
{
    const double s = std::sin(reference.latRad);
    const double w = std::sqrt(1 - kWgs84E2 * s * s);
    const double primeVertical = kWgs84A / w;
    const double meridian = kWgs84A * (1 - kWgs84E2) / (w * w * w);
    eastPerRad_ = (primeVertical + reference.heightM) * std::cos(reference.latRad);
    northPerRad_ = meridian + reference.heightM;
    dLat_ = origin.latRad - reference.latRad;
    dLon_ = origin.lonRad - reference.lonRad;
    heightM_ = reference.heightM;
}

LocalFrame::Enu LocalFrame::ErrorOf(const EpochRecord& r) const
{
    double dLon = dLon_ + double(r.dLonRad);
    if (dLon > M_PI || dLon < -M_PI)
        dLon = std::remainder(dLon, 2 * M_PI);
    return {dLon * eastPerRad_, (dLat_ + double(r.dLatRad)) * northPerRad_, double(r.heightM) - heightM_};
}

LocalFrame::Enu LocalFrame::ErrorOf(const GeoPoint& p) const
{
    const double dLon = std::remainder(p.lonRad - reference_.lonRad, 2 * M_PI);
    return {dLon * eastPerRad_, (p.latRad - reference_.latRad) * northPerRad_, p.heightM - heightM_};
}

Figures ComputeFigures(const EpochLog& log, const std::optional<GeoPoint>& reference)
{
    Figures f;
    f.datesKnown = log.datesKnown;
    f.errors = log.errors;
    std::vector<float> scratch;
    scratch.reserve(log.Size());
    TimeLine(log, scratch, f);
    Counts(log, f);
    f.referenceGiven = reference.has_value();
    f.reference = reference ? reference : MeanOfAccepted(log);
    if (f.reference)
        Errors(log, scratch, f);
    Dops(log, f);
    return f;
}
