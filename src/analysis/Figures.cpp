#include "Figures.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kWgs84A = 6378137.0;
constexpr double kWgs84F = 1.0 / 298.257223563;
constexpr double kWgs84E2 = kWgs84F * (2 - kWgs84F);
constexpr double kMsPerS = 1000.0;
constexpr double kGapFactor = 1.5;

// Sorts the values and reads the nearest-rank percentiles off them.
class Sorted {
public:
    explicit Sorted(std::vector<float>& v) : v_(v) { std::sort(v_.begin(), v_.end()); }
    Figure At(double percent) const
    {
        if (v_.empty())
            return std::nullopt;
        return double(v_[NearestRank(v_.size(), percent)]);
    }
    Figure Max() const { return v_.empty() ? Figure() : Figure(double(v_.back())); }

private:
    std::vector<float>& v_;
};

Figure Ratio(double a, double b)
{
    return b > 0 ? Figure(a / b) : std::nullopt;
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
    const Figure medianMs = Sorted(scratch).At(50);
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

void Counts(const EpochLog& log, Figures& f)
{
    std::optional<int64_t> firstEpochMs;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        ++f.perKind[size_t(r.Kind())];
        f.twoD += r.Dim() == FixDim::TwoD;
        f.threeD += r.Dim() == FixDim::ThreeD;
        if (r.TimeKnown() && !firstEpochMs)
            firstEpochMs = log.TimeMs(i);
        if (!r.Accepted())
            continue;
        if (f.accepted == 0 && firstEpochMs)
            f.ttffS = double(log.TimeMs(i) - *firstEpochMs) / kMsPerS;
        ++f.accepted;
    }
    f.epochs = int64_t(log.Size());
    f.availabilityPct = Ratio(100.0 * double(f.accepted), double(f.epochs) + f.missing.value_or(0));
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

void Errors(const EpochLog& log, std::vector<float>& scratch, Figures& f)
{
    const LocalFrame frame(*f.reference, log.Origin());
    double sum[3] = {}, sumSq[3] = {}, sumR2 = 0;
    int64_t n = 0;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (!r.Accepted() || !r.HasPosition())
            continue;
        const LocalFrame::Enu e = frame.ErrorOf(r);
        const double v[3] = {e.east, e.north, e.up};
        for (int k = 0; k < 3; ++k) {
            sum[k] += v[k];
            sumSq[k] += v[k] * v[k];
        }
        sumR2 += e.east * e.east + e.north * e.north;
        ++n;
    }
    if (n == 0)
        return;
    const double count = double(n);
    Figure* bias[3] = {&f.biasEastM, &f.biasNorthM, &f.biasUpM};
    Figure* sd[3] = {&f.sdEastM, &f.sdNorthM, &f.sdUpM};
    for (int k = 0; k < 3; ++k) {
        const double mean = sum[k] / count;
        *bias[k] = mean;
        *sd[k] = std::sqrt(std::max(0.0, sumSq[k] / count - mean * mean));
    }
    f.drms2M = 2 * std::sqrt(sumR2 / count);

    // One scratch buffer serves the three sorted quantities in turn.
    enum Quantity { kHorizontal, kVertical, k3D };
    for (const Quantity q : {kHorizontal, kVertical, k3D}) {
        scratch.clear();
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            if (!r.Accepted() || !r.HasPosition())
                continue;
            const LocalFrame::Enu e = frame.ErrorOf(r);
            const double h2 = e.east * e.east + e.north * e.north;
            scratch.push_back(float(q == kHorizontal ? std::sqrt(h2)
                                    : q == kVertical ? std::fabs(e.up)
                                                     : std::sqrt(h2 + e.up * e.up)));
        }
        const Sorted s(scratch);
        if (q == kHorizontal) {
            f.cep50M = s.At(50);
            f.r68M = s.At(68);
            f.r95M = s.At(95);
            f.r99M = s.At(99);
            f.rMaxM = s.Max();
            for (int k = 0; k <= kCdfSteps; ++k)
                f.cdf.push_back(float(*s.At(100.0 * k / kCdfSteps)));
        } else if (q == kVertical) {
            f.up50M = s.At(50);
            f.up95M = s.At(95);
            f.up99M = s.At(99);
        } else {
            f.d3_50M = s.At(50);
            f.d3_95M = s.At(95);
        }
    }
}

void Dops(const EpochLog& log, std::vector<float>& scratch, Figures& f)
{
    for (const bool vertical : {false, true}) {
        scratch.clear();
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            const uint16_t dop = vertical ? r.vdop : r.hdop;
            if (r.Accepted() && dop != kNoDop)
                scratch.push_back(float(dop / kDopScale));
        }
        const Sorted s(scratch);
        (vertical ? f.vdopMedian : f.hdopMedian) = s.At(50);
        (vertical ? f.vdop95 : f.hdop95) = s.At(95);
    }
}

void Satellites(const EpochLog& log, Figures& f)
{
    for (int system = 0; system < kSatSystems; ++system) {
        int64_t sum = 0;
        int lo = 255, hi = 0;
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            if (!r.Accepted())
                continue;
            sum += r.used[system];
            lo = std::min<int>(lo, r.used[system]);
            hi = std::max<int>(hi, r.used[system]);
        }
        if (f.accepted > 0) {
            f.usedMean[system] = double(sum) / double(f.accepted);
            f.usedMin[system] = lo;
            f.usedMax[system] = hi;
        }
        f.snrMeanDbHz[system] = Ratio(log.SnrSum(system), double(log.SnrCount(system)));
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
    const double dLon = std::remainder(dLon_ + double(r.dLonRad), 2 * M_PI);
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
    Dops(log, scratch, f);
    Satellites(log, f);
    return f;
}
