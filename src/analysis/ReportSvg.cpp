#include "ReportSvg.h"

namespace svg {

namespace {

const char* const kColors[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};
constexpr size_t kColorCount = sizeof kColors / sizeof kColors[0];

} // namespace

const char* ColorOf(size_t i) { return kColors[i % kColorCount]; }

// The file name as charts show it: without folders, cut to fit.
std::string ShortName(const ReportEntry& e)
{
    constexpr size_t kMax = 40;
    const std::string name = BaseName(e.name);
    return name.size() > kMax ? name.substr(0, kMax - 3) + "..." : name;
}

std::string Num(double v) { return Format("%.2f", v); }

size_t KindStyleOf(FixKind kind)
{
    switch (kind) {
    case FixKind::Autonomous: return 0;
    case FixKind::Differential: return 1;
    case FixKind::RtkFloat: return 2;
    case FixKind::RtkFixed: return 3;
    default: return 4;
    }
}

std::string TickText(double v, double step)
{
    int decimals = 0;
    while (decimals < 6 && std::fabs(step * std::pow(10, decimals) - std::round(step * std::pow(10, decimals))) > 1e-6)
        ++decimals;
    return FixedText(std::fabs(v) < step * 1e-6 ? 0.0 : v, decimals);
}

size_t Stride(size_t n, size_t points) { return std::max<size_t>(1, (n + points - 1) / points); }

void Polyline(Chart& c, const std::vector<std::pair<double, double>>& pts, const char* color, double breakAfter,
              bool steps)
{
    std::string& out = c.Out();
    bool open = false;
    for (size_t i = 0; i < pts.size(); ++i) {
        const bool broken = open && pts[i].first - pts[i - 1].first > breakAfter;
        if (broken) {
            out += "\"/>\n";
            open = false;
        }
        if (!open) {
            out += Format("<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"", color);
            open = true;
        } else if (steps) {
            out += Num(c.X(pts[i].first)) + "," + Num(c.Y(pts[i - 1].second)) + " ";
        }
        out += Num(c.X(pts[i].first)) + "," + Num(c.Y(pts[i].second)) + " ";
    }
    if (open)
        out += "\"/>\n";
}

void KindLegend(Chart& c, double y, double wrapAtPx)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (const KindStyle& k : kKindStyles)
        items.push_back({k.name, k.color});
    c.Legend(items, true, y, wrapAtPx);
}

TimeAxis AxisFor(const std::vector<std::vector<TimePoint>>& series, const std::vector<ReportEntry>& entries)
{
    std::vector<double> times;
    double rate = 1e300, spans = 0;
    for (size_t i = 0; i < series.size(); ++i) {
        for (const TimePoint& p : series[i])
            times.push_back(p.t);
        if (entries[i].figures.rateS)
            rate = std::min(rate, *entries[i].figures.rateS);
        if (!series[i].empty())
            spans += series[i].back().t - series[i].front().t;
    }
    // The share of the span is that of the recorded time, so recordings made
    // years apart still have their own gaps compressed.
    return TimeAxis::Build(times, BreakAfterS(rate < 1e300 ? rate : 1, 0, spans));
}

double LineBreakS(const ReportEntry& e, size_t points, size_t strideGiven)
{
    const Figure rate = e.figures.rateS;
    const double stride = double(strideGiven ? strideGiven : Stride(e.log->Size(), points));
    const double first = e.figures.firstMs ? double(*e.figures.firstMs) / kMsPerS : 0;
    const double last = e.figures.lastMs ? double(*e.figures.lastMs) / kMsPerS : 0;
    return rate ? std::min(*rate * stride * 5, BreakAfterS(*rate, first, last)) : kNoBreak;
}

YRange RangeOf(const std::vector<std::vector<TimePoint>>& series, bool counts, const std::vector<double>& extra)
{
    double y0 = 1e300, y1 = -1e300;
    for (const auto& s : series)
        for (const TimePoint& p : s) {
            y0 = std::min(y0, p.v);
            y1 = std::max(y1, p.v);
        }
    for (const double v : extra) {
        y0 = std::min(y0, v);
        y1 = std::max(y1, v);
    }
    if (y0 > y1) {
        y0 = 0;
        y1 = 1;
    }
    if (counts) {
        const double top = std::max(y1 + 1, 1.0);
        const double step = CountStep(top, 6);
        return {0, std::ceil(top / step) * step, step};
    }
    if (y1 - y0 < 1e-9) {
        y0 -= 1;
        y1 += 1;
    }
    const double pad = (y1 - y0) * 0.05;
    const double step = NiceStep(y1 - y0 + 2 * pad, 6);
    const bool positive = y0 >= 0;
    y0 = std::floor((y0 - pad) / step) * step;
    if (positive)
        y0 = std::max(y0, 0.0);
    return {y0, std::ceil((y1 + pad) / step) * step, step};
}

} // namespace svg
