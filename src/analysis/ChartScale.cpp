#include "ChartScale.h"

#include "Util.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kTickCharPx = 7.6;      // DejaVu Sans at 13 px, digits and colons
constexpr double kLabelGapPx = 14;

} // namespace

double NiceStep(double range, int ticks)
{
    if (!(range > 0) || !std::isfinite(range) || ticks < 1)
        return 1;
    const double raw = range / ticks;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * p >= raw * (1 - 1e-9))
            return m * p;
    return 10 * p;
}

double CountStep(double range, int ticks)
{
    const double step = NiceStep(range, ticks);
    if (step <= 1)
        return 1;
    // 2.5 is no count; 25 is.
    return std::round(step) == step ? step : std::ceil(step);
}

// ---------------------------------------------------------------- time axis

double BreakAfterS(double rateS, double firstS, double lastS)
{
    constexpr double kLeastBreakS = 60;
    constexpr double kEpochs = 10;
    constexpr double kShareOfSpan = 0.05;
    const double rate = rateS > 0 && std::isfinite(rateS) ? rateS : 1;
    return std::max({kLeastBreakS, kEpochs * rate, kShareOfSpan * (lastS - firstS)});
}

TimeAxis TimeAxis::Build(std::vector<double> times, double breakS)
{
    TimeAxis axis;
    times.erase(std::remove_if(times.begin(), times.end(), [](double t) { return !std::isfinite(t); }), times.end());
    if (times.empty()) {
        axis.spans_.push_back({0, 1, 0, 1});
        return axis;
    }
    std::sort(times.begin(), times.end());
    std::vector<std::pair<double, double>> runs{{times.front(), times.front()}};
    for (size_t i = 1; i < times.size(); ++i) {
        if (breakS > 0 && times[i] - times[i - 1] > breakS)
            runs.push_back({times[i], times[i]});
        else
            runs.back().second = times[i];
    }
    // A single instant still needs a width of time to map.
    double total = 0;
    for (auto& [from, to] : runs)
        total += to - from;
    const double pad = total > 0 ? total * 1e-3 : 1;
    for (auto& [from, to] : runs)
        if (to - from < pad) {
            from -= pad / 2;
            to += pad / 2;
        }
    total = 0;
    for (const auto& [from, to] : runs)
        total += to - from;

    // Widths in proportion to the time, each at least kLeastSpan; the spans
    // held at the least width give their share to the others.
    const double room = 1 - kBreakWidth * double(runs.size() - 1);
    std::vector<double> width(runs.size());
    std::vector<bool> held(runs.size(), false);
    for (int round = 0; round < 8; ++round) {
        double freeTime = 0, heldWidth = 0;
        for (size_t i = 0; i < runs.size(); ++i)
            held[i] ? heldWidth += kLeastSpan : freeTime += runs[i].second - runs[i].first;
        bool changed = false;
        for (size_t i = 0; i < runs.size(); ++i) {
            width[i] = held[i] ? kLeastSpan
                               : (freeTime > 0 ? (runs[i].second - runs[i].first) / freeTime : 1) * (room - heldWidth);
            if (!held[i] && runs.size() > 1 && width[i] < kLeastSpan) {
                held[i] = true;
                changed = true;
            }
        }
        if (!changed)
            break;
    }
    double x = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        axis.spans_.push_back({runs[i].first, runs[i].second, x, x + width[i]});
        x += width[i] + kBreakWidth;
    }
    axis.spans_.back().x1 = 1;
    return axis;
}

double TimeAxis::At(double t) const
{
    for (size_t i = 0; i < spans_.size(); ++i) {
        const TimeSpan& s = spans_[i];
        if (t <= s.toS || i + 1 == spans_.size()) {
            if (t < s.fromS)
                return i == 0 ? s.x0 + (t - s.fromS) / (s.toS - s.fromS) * (s.x1 - s.x0) : s.x0 - kBreakWidth / 2;
            return s.x0 + (t - s.fromS) / (s.toS - s.fromS) * (s.x1 - s.x0);
        }
    }
    return 1;
}

std::vector<double> TimeAxis::Breaks() const
{
    std::vector<double> at;
    for (size_t i = 1; i < spans_.size(); ++i)
        at.push_back((spans_[i - 1].x1 + spans_[i].x0) / 2);
    return at;
}

std::string ClockTick(double seconds, double stepS)
{
    const int64_t s = int64_t(std::floor(seconds + 1e-6));
    const int64_t day = ((s % 86400) + 86400) % 86400;
    return stepS >= 60 && s % 60 == 0 ? Format("%02d:%02d", int(day / 3600), int(day / 60 % 60))
                                       : Format("%02d:%02d:%02d", int(day / 3600), int(day / 60 % 60), int(day % 60));
}

double LabelPx(size_t chars) { return double(chars) * kTickCharPx; }

std::vector<AxisTick> TimeTicks(const TimeAxis& axis, double plotPx, double overhangPx)
{
    static const double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, kSecondsPerDay};
    constexpr double kLeastSpacingPx = 90;
    std::vector<AxisTick> ticks;
    std::vector<bool> firstOfSpan;
    // A span's first label wins over its left neighbour's last one: the
    // start of the epochs after a break is what the reader looks for.
    auto add = [&](double at, const std::string& text, bool first) {
        const double px = at * plotPx, half = LabelPx(text.size()) / 2;
        if (px - half < -overhangPx || px + half > plotPx + overhangPx)
            return false;
        while (!ticks.empty()) {
            const double right = ticks.back().at * plotPx + LabelPx(ticks.back().text.size()) / 2;
            if (px - half >= right + kLabelGapPx)
                break;
            if (!first || firstOfSpan.back())
                return false;
            ticks.pop_back();
            firstOfSpan.pop_back();
        }
        ticks.push_back({at, text});
        firstOfSpan.push_back(first);
        return true;
    };
    for (const TimeSpan& s : axis.Spans()) {
        const double px = (s.x1 - s.x0) * plotPx, seconds = s.toS - s.fromS;
        double step = kSteps[std::size(kSteps) - 1];
        for (const double candidate : kSteps)
            if (seconds / candidate * kLeastSpacingPx <= px) {
                step = candidate;
                break;
            }
        const double first = std::ceil(s.fromS / step - 1e-9) * step;
        bool labelled = false;
        if (first > s.toS + 1e-9 || (axis.Spans().size() > 1 && first - s.fromS > seconds / 2))
            labelled = add(s.x0, ClockTick(s.fromS, 1), true);   // a burst: its start, to the second
        for (double t = first; t <= s.toS + 1e-9; t += step)
            labelled = add(axis.At(t), ClockTick(t, step), !labelled) || labelled;
    }
    return ticks;
}

// ---------------------------------------------------------------- scatter

ScatterFrame ScatterFrameFor(double r99M, double r95M, double maxM)
{
    constexpr double kLeastHalfM = 0.5;
    constexpr int kGridLines = 3;     // each way from the centre
    double want = r99M > 0 ? r99M : r95M > 0 ? r95M : maxM > 0 ? maxM : kLeastHalfM;
    want = std::max(want * 1.04, kLeastHalfM / 10);
    const double step = NiceStep(want, kGridLines);
    return {std::ceil(want / step - 1e-9) * step, step};
}

std::pair<std::pair<double, double>, bool> OnFrame(double east, double north, double halfM)
{
    const double far = std::max(std::fabs(east), std::fabs(north));
    if (far <= halfM || !(far > 0))
        return {{east, north}, false};
    const double k = halfM / far;
    return {{east * k, north * k}, true};
}

// ---------------------------------------------------------------- best

std::vector<bool> BestMarks(const std::vector<double>& values, const std::vector<bool>& valid, int decimals,
                            Rank rank)
{
    std::vector<bool> best(values.size(), false);
    if (rank == Rank::None)
        return best;
    std::vector<std::pair<double, size_t>> keys;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i >= valid.size() || !valid[i] || !std::isfinite(values[i]))
            continue;
        const double v = values[i];
        keys.push_back({rank == Rank::Higher ? -v : rank == Rank::LowerMagnitude ? std::fabs(v) : v, i});
    }
    if (keys.size() < 2)
        return best;
    std::sort(keys.begin(), keys.end());
    const double resolution = decimals >= 0 ? std::pow(10.0, -decimals) : 0;
    const double margin = std::max(resolution, 0.01 * std::fabs(keys[0].first));
    // Compared with a hair of slack, so a value that shows one unit of the
    // last digit better counts as better than its resolution only when it is.
    if (keys[1].first - keys[0].first > margin * (1 + 1e-9))
        best[keys[0].second] = true;
    return best;
}
