// The receiver report as one self-contained page: the figure table and the
// charts, drawn as inline SVG with no script and no external asset, written
// as well-formed XML so that any XML tool can read it. Long recordings are
// thinned for the charts (every k-th epoch); the figures always use them all.
#include "ReceiverReport.h"

#include "ChartScale.h"
#include "Util.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>

namespace {

const char* const kColors[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};
constexpr size_t kColorCount = sizeof kColors / sizeof kColors[0];
constexpr size_t kScatterPoints = 4000;      // per receiver
constexpr size_t kSeriesPoints = 2000;       // per receiver and chart
constexpr size_t kErrorPoints = 3000;        // dots of an error chart
constexpr size_t kEdgeMarks = 1000;          // scatter fixes drawn on the frame's edge
constexpr double kMsPerS = 1000.0;

const char* ColorOf(size_t i) { return kColors[i % kColorCount]; }

// The file name as charts show it: without folders, cut to fit.
std::string ShortName(const ReportEntry& e)
{
    constexpr size_t kMax = 40;
    const std::string name = BaseName(e.name);
    return name.size() > kMax ? name.substr(0, kMax - 3) + "..." : name;
}

std::string Num(double v) { return Format("%.2f", v); }

// The fix kinds as the scatter and the error charts colour them.
struct KindStyle {
    const char* name;
    const char* color;
};
constexpr KindStyle kKindStyles[] = {
    {"autonomous", "#d62728"}, {"differential", "#1f77b4"}, {"RTK float", "#ff7f0e"}, {"RTK fixed", "#2ca02c"},
    {"other", "#7f7f7f"},
};
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

// A plot area, in SVG user units (pixels at 100 % zoom). x runs linearly or
// through a TimeAxis; y always linearly.
class Chart {
public:
    Chart(std::string& out, int width, int height) : out_(out), width_(width), height_(height)
    {
        out_ += Format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
                       "font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"13\">\n",
                       width, height, width, height);
        out_ += Format("<rect x=\"0\" y=\"0\" width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", width, height);
    }
    void Frame(double x0, double x1, double y0, double y1)
    {
        x0_ = x0;
        x1_ = x1 > x0 ? x1 : x0 + 1;
        y0_ = y0;
        y1_ = y1 > y0 ? y1 : y0 + 1;
    }
    void TimeFrame(const TimeAxis* axis) { time_ = axis; }
    double X(double v) const
    {
        return left_ + (time_ ? time_->At(v) : (v - x0_) / (x1_ - x0_)) * PlotW();
    }
    double Y(double v) const { return top_ + (1 - (v - y0_) / (y1_ - y0_)) * PlotH(); }
    double PlotW() const { return width_ - left_ - right_; }
    double PlotH() const { return height_ - top_ - bottom_; }
    double Left() const { return left_; }
    double Top() const { return top_; }
    void Margins(int left, int right, int top, int bottom)
    {
        left_ = left;
        right_ = right;
        top_ = top;
        bottom_ = bottom;
    }

    // The plot's background, grid, ticks and titles; xTick turns a linear x
    // value into its label (a time axis labels itself).
    void Axes(const std::string& xTitle, const std::string& yTitle, double xStep, double yStep,
              const std::function<std::string(double)>& xTick)
    {
        out_ += "<rect x=\"" + Num(left_) + "\" y=\"" + Num(top_) + "\" width=\"" + Num(PlotW()) + "\" height=\"" +
                Num(PlotH()) + "\" fill=\"#fbfbfb\" stroke=\"#888\"/>\n";
        if (time_) {
            for (const AxisTick& t : TimeTicks(*time_, PlotW(), right_ - 4))
                XTick(left_ + t.at * PlotW(), t.text);
            for (const double at : time_->Breaks())
                BreakMark(left_ + at * PlotW());
        } else {
            for (double v = std::ceil(x0_ / xStep - 1e-9) * xStep; v <= x1_ + xStep * 1e-9; v += xStep)
                XTick(X(v), xTick(v));
        }
        for (double v = std::ceil(y0_ / yStep - 1e-9) * yStep; v <= y1_ + yStep * 1e-9; v += yStep) {
            const std::string y = Num(Y(v));
            out_ += "<line x1=\"" + Num(left_) + "\" y1=\"" + y + "\" x2=\"" + Num(left_ + PlotW()) + "\" y2=\"" + y +
                    "\" stroke=\"#ddd\"/>\n";
            out_ += "<text x=\"" + Num(left_ - 6) + "\" y=\"" + Num(Y(v) + 4) + "\" text-anchor=\"end\">" +
                    TickText(v, yStep) + "</text>\n";
        }
        out_ += "<text x=\"" + Num(left_ + PlotW() / 2) + "\" y=\"" + Num(top_ + PlotH() + 36) +
                "\" text-anchor=\"middle\" font-weight=\"bold\">" + XmlEscaped(xTitle) + "</text>\n";
        out_ += "<text transform=\"translate(16," + Num(top_ + PlotH() / 2) +
                ") rotate(-90)\" text-anchor=\"middle\" font-weight=\"bold\">" + XmlEscaped(yTitle) + "</text>\n";
    }
    void Title(const std::string& text)
    {
        out_ += "<text x=\"" + Num(left_) + "\" y=\"18\" font-size=\"15\" font-weight=\"bold\">" + XmlEscaped(text) +
                "</text>\n";
    }
    // Legend entries in a row under the title; a dot for point series.
    void Legend(const std::vector<std::pair<std::string, std::string>>& items, bool dots = false, double y = 28,
                double wrapAtPx = 1e9)
    {
        double x = left_;
        for (const auto& [name, color] : items) {
            if (x > left_ && x + LabelPx(name.size()) > wrapAtPx) {
                x = left_;
                y += 18;
            }
            if (dots)
                out_ += "<circle cx=\"" + Num(x + 5) + "\" cy=\"" + Num(y + 2) + "\" r=\"4\" fill=\"" + color + "\"/>\n";
            else
                out_ += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"22\" height=\"4\" fill=\"" + color + "\"/>\n";
            const double textX = x + (dots ? 14 : 27);
            out_ += "<text x=\"" + Num(textX) + "\" y=\"" + Num(y + 7) + "\">" + XmlEscaped(name) + "</text>\n";
            x = textX + 22 + LabelPx(name.size());
        }
    }
    void ClipStart()
    {
        ++clipCount_;
        out_ += Format("<clipPath id=\"c%d\"><rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\"/></clipPath>\n<g clip-path=\"url(#c%d)\">\n",
                       clipCount_, Num(left_ - 1).c_str(), Num(top_ - 1).c_str(), Num(PlotW() + 2).c_str(),
                       Num(PlotH() + 2).c_str(), clipCount_);
    }
    void ClipEnd() { out_ += "</g>\n"; }
    void End() { out_ += "</svg>\n"; }
    std::string& Out() { return out_; }

private:
    void XTick(double x, const std::string& text)
    {
        out_ += "<line x1=\"" + Num(x) + "\" y1=\"" + Num(top_) + "\" x2=\"" + Num(x) + "\" y2=\"" +
                Num(top_ + PlotH()) + "\" stroke=\"#ddd\"/>\n";
        out_ += "<text x=\"" + Num(x) + "\" y=\"" + Num(top_ + PlotH() + 17) + "\" text-anchor=\"middle\">" +
                XmlEscaped(text) + "</text>\n";
    }
    // A compressed gap: a band across the plot and a double slash on the axis.
    void BreakMark(double x)
    {
        const double w = TimeAxis::kBreakWidth * PlotW(), bottom = top_ + PlotH();
        out_ += "<rect x=\"" + Num(x - w / 2) + "\" y=\"" + Num(top_) + "\" width=\"" + Num(w) + "\" height=\"" +
                Num(PlotH()) + "\" fill=\"#e8e8e8\"/>\n";
        out_ += "<path d=\"M" + Num(x - 7) + "," + Num(bottom + 6) + "l6,-12M" + Num(x + 1) + "," + Num(bottom + 6) +
                "l6,-12\" stroke=\"#444\" stroke-width=\"1.5\"/>\n";
    }

    std::string& out_;
    int width_, height_;
    double left_ = 70, right_ = 44, top_ = 46, bottom_ = 46;
    double x0_ = 0, x1_ = 1, y0_ = 0, y1_ = 1;
    const TimeAxis* time_ = nullptr;
    static inline int clipCount_ = 0;
};

size_t Stride(size_t n, size_t points) { return std::max<size_t>(1, (n + points - 1) / points); }

// A line through the points, broken where the time between two is longer
// than breakAfter; as steps (each value held until the next) for counts.
void Polyline(Chart& c, const std::vector<std::pair<double, double>>& pts, const char* color, double breakAfter,
              bool steps = false)
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

// ---------------------------------------------------------------- table

void Table(std::string& out, const std::vector<ReportEntry>& entries)
{
    const bool referenceGiven = AllReferencesGiven(entries);
    out += "<table>\n<tr><th>Figure</th>";
    for (size_t i = 0; i < entries.size(); ++i)
        out += Format("<th><span class=\"key\" style=\"background:%s\"></span>", ColorOf(i)) +
               XmlEscaped(ShortName(entries[i])) + "</th>";
    out += "</tr>\n";
    const char* group = "";
    for (const ReportRow& row : ReportRows()) {
        // Measured from the mean of the same fixes, a bias is zero by
        // construction: no row for it.
        if (IsBiasRow(row) && !referenceGiven)
            continue;
        if (std::string(group) != row.group) {
            group = row.group;
            out += Format("<tr class=\"group\"><td colspan=\"%d\">", int(entries.size()) + 1) + XmlEscaped(group) +
                   "</td></tr>\n";
        }
        const std::vector<bool> best = BestOfRow(row, entries);
        out += "<tr><td>" + XmlEscaped(RowLabel(row, entries)) + "</td>";
        for (size_t i = 0; i < entries.size(); ++i)
            out += std::string(best[i] ? "<td class=\"best\">" : "<td>") + XmlEscaped(RowText(row, entries[i].figures)) +
                   "</td>";
        out += "</tr>\n";
    }
    out += "</table>\n";
    if (entries.size() > 1)
        out += "<p class=\"note\">Shaded: the value that beats every other of its row by more than the row's last "
               "digit and by more than 1 %; no shading on a tie.</p>\n";
    if (SystemUnknownIn(entries))
        out += "<p class=\"note\">GNSS (system unknown): a GN talker's GGA count of satellites used, with no GSA "
               "to tell of which systems; counted with the other systems and not ranked.</p>\n";
    if (!referenceGiven)
        out += "<p class=\"note\">No bias rows: without a surveyed reference the errors are measured from the mean "
               "of the accepted fixes, whose bias is zero by construction.</p>\n";
}

// ---------------------------------------------------------------- charts

void KindLegend(Chart& c, double y, double wrapAtPx = 1e9)
{
    std::vector<std::pair<std::string, std::string>> items;
    for (const KindStyle& k : kKindStyles)
        items.push_back({k.name, k.color});
    c.Legend(items, true, y, wrapAtPx);
}

// The accepted fixes round the reference, coloured by kind, in a frame that
// holds the R99 circle; the fixes beyond it sit on the frame's edge as open
// marks and are counted.
void Scatter(std::string& out, const ReportEntry& e)
{
    const Figures& f = e.figures;
    Chart c(out, 340, 470);
    c.Margins(62, 16, 62, 112);
    c.Title(ShortName(e));
    const ScatterFrame frame = ScatterFrameFor(f.r99M.value_or(0), f.r95M.value_or(0), f.rMaxM.value_or(0));
    const double half = frame.halfM;
    c.Frame(-half, half, -half, half);
    c.Axes("east, m", "north, m", frame.stepM, frame.stepM, [&](double v) { return TickText(v, frame.stepM); });
    size_t beyond = 0;
    c.ClipStart();
    if (f.reference) {
        const EpochLog& log = *e.log;
        const LocalFrame local(*f.reference);
        const size_t stride = Stride(size_t(f.accepted), kScatterPoints);
        size_t k = 0;
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            if (!r.Accepted() || !r.HasPosition())
                continue;
            const LocalFrame::Enu enu = local.ErrorOf(r);
            const auto [at, outside] = OnFrame(enu.east, enu.north, half);
            beyond += outside;
            // Fixes beyond the frame are all counted and, up to a bound, all
            // drawn; those inside are thinned.
            if (outside ? beyond > kEdgeMarks : k++ % stride != 0)
                continue;
            const char* color = kKindStyles[KindStyleOf(r.Kind())].color;
            if (outside)
                out += "<circle cx=\"" + Num(c.X(at.first)) + "\" cy=\"" + Num(c.Y(at.second)) +
                       "\" r=\"3.5\" fill=\"none\" stroke=\"" + color + "\" stroke-width=\"1.5\"/>\n";
            else
                out += "<circle cx=\"" + Num(c.X(at.first)) + "\" cy=\"" + Num(c.Y(at.second)) + "\" r=\"1.8\" fill=\"" +
                       color + "\" fill-opacity=\"0.6\"/>\n";
        }
        const double pxPerM = c.PlotW() / (2 * half);
        const std::pair<Figure, const char*> circles[] = {{f.cep50M, "5 3"}, {f.r95M, "none"}, {f.r99M, "1 3"}};
        for (const auto& [radius, dash] : circles)
            if (radius)
                out += "<circle cx=\"" + Num(c.X(0)) + "\" cy=\"" + Num(c.Y(0)) + "\" r=\"" + Num(*radius * pxPerM) +
                       "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\" stroke-dasharray=\"" + dash + "\"/>\n";
        // The cross stays inside the CEP50 circle, so it never hides it.
        const double arm = std::clamp(f.cep50M.value_or(1) * pxPerM * 0.5, 2.0, 6.0);
        out += "<path d=\"M" + Num(c.X(0) - arm) + "," + Num(c.Y(0)) + "h" + Num(2 * arm) + "M" + Num(c.X(0)) + "," +
               Num(c.Y(0) - arm) + "v" + Num(2 * arm) + "\" stroke=\"#000\" stroke-width=\"1\"/>\n";
    }
    c.ClipEnd();
    auto metres = [](const Figure& v) { return v ? FixedText(*v, 2) + " m" : std::string("–"); };
    out += "<text x=\"10\" y=\"38\" font-size=\"12\">" +
           XmlEscaped("CEP50 " + metres(f.cep50M) + " (dashed), R95 " + metres(f.r95M) + " (solid)") + "</text>\n";
    out += "<text x=\"10\" y=\"54\" font-size=\"12\">" + XmlEscaped("R99 " + metres(f.r99M) + " (dotted)") + "</text>\n";
    const std::string counted = beyond == 0 ? "every fix within ±" + TickText(half, frame.stepM) + " m"
                                            : Format("%zu fix%s beyond ±", beyond, beyond == 1 ? "" : "es") +
                                                  TickText(half, frame.stepM) + " m, drawn on the edge (o)";
    out += "<text x=\"10\" y=\"462\" font-size=\"12\"" + std::string(beyond ? " font-weight=\"bold\" fill=\"#a00\"" : "") +
           ">" + XmlEscaped(counted) + "</text>\n";
    KindLegend(c, 406, 330);
    c.End();
}

void Cdf(std::string& out, const std::vector<ReportEntry>& entries)
{
    double xMax = 0;
    for (const ReportEntry& e : entries)
        if (e.figures.r99M)
            xMax = std::max(xMax, *e.figures.r99M * 1.1);
    if (!(xMax > 0))
        xMax = 1;
    Chart c(out, 1000, 340);
    c.Title("Cumulative distribution of horizontal error (to R99)");
    c.Frame(0, xMax, 0, 100);
    const double step = NiceStep(xMax, 10);
    c.Axes("horizontal error, m", "fixes within, %", step, 10, [step](double v) { return TickText(v, step); });
    std::vector<std::pair<std::string, std::string>> legend;
    c.ClipStart();
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::vector<float>& cdf = entries[i].figures.cdf;
        std::vector<std::pair<double, double>> pts;
        for (size_t k = 0; k < cdf.size(); ++k)
            pts.push_back({double(cdf[k]), 100.0 * double(k) / kCdfSteps});
        Polyline(c, pts, ColorOf(i), 1e300);
        legend.push_back({ShortName(entries[i]), ColorOf(i)});
    }
    c.ClipEnd();
    c.Legend(legend);
    c.End();
}

// ---------------------------------------------------------------- time charts

constexpr double kNoBreak = 1e300;

// Times of the epochs a chart draws, in seconds on the log's time line.
struct TimePoint {
    double t;
    double v;
    FixKind kind;
};

// The epochs of one log that have a time, thinned to about `points`.
template <typename Value>
std::vector<TimePoint> Sample(const EpochLog& log, size_t points, bool acceptedOnly, Value value)
{
    std::vector<TimePoint> pts;
    const size_t stride = Stride(log.Size(), points);
    for (size_t k = 0; k < log.Size(); k += stride) {
        const EpochRecord& r = log[k];
        if (!r.TimeKnown() || (acceptedOnly && !r.Accepted()))
            continue;
        const std::optional<double> v = value(r);
        if (v && std::isfinite(*v))
            pts.push_back({double(log.TimeMs(k)) / kMsPerS, *v, r.Kind()});
    }
    return pts;
}

// One time axis for all of a chart's series: long gaps (and recordings made
// at different times) become break marks.
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

// A gap in a line: five thinned epochs missing, and never across a break.
double LineBreakS(const ReportEntry& e, size_t points, size_t strideGiven = 0)
{
    const Figure rate = e.figures.rateS;
    const double stride = double(strideGiven ? strideGiven : Stride(e.log->Size(), points));
    const double first = e.figures.firstMs ? double(*e.figures.firstMs) / kMsPerS : 0;
    const double last = e.figures.lastMs ? double(*e.figures.lastMs) / kMsPerS : 0;
    return rate ? std::min(*rate * stride * 5, BreakAfterS(*rate, first, last)) : kNoBreak;
}

struct YRange {
    double y0, y1, step;
};

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

// One value per epoch against UTC, every receiver on one chart in its colour.
void TimeLines(std::string& out, const std::vector<ReportEntry>& entries, const std::string& title,
               const std::string& yTitle, bool counts,
               const std::function<std::optional<double>(const EpochRecord&)>& value)
{
    std::vector<std::vector<TimePoint>> series;
    for (const ReportEntry& e : entries)
        series.push_back(Sample(*e.log, kSeriesPoints, false, value));
    const TimeAxis axis = AxisFor(series, entries);
    const YRange y = RangeOf(series, counts, {});
    Chart c(out, 1000, 300);
    c.Title(title);
    c.Frame(0, 1, y.y0, y.y1);
    c.TimeFrame(&axis);
    c.Axes("time, UTC", yTitle, 1, y.step, nullptr);
    c.ClipStart();
    std::vector<std::pair<std::string, std::string>> legend;
    for (size_t i = 0; i < entries.size(); ++i) {
        std::vector<std::pair<double, double>> pts;
        for (const TimePoint& p : series[i])
            pts.push_back({p.t, p.v});
        Polyline(c, pts, ColorOf(i), LineBreakS(entries[i], kSeriesPoints), counts);
        legend.push_back({ShortName(entries[i]), ColorOf(i)});
    }
    c.ClipEnd();
    c.Legend(legend);
    c.End();
}

// One receiver's error against UTC, each fix a dot in its kind's colour,
// with lines at the given levels (CEP50 and R95 for the horizontal error).
void ErrorDots(std::string& out, const ReportEntry& e, const std::string& title, const std::string& yTitle,
               const std::function<std::optional<double>(const LocalFrame::Enu&)>& value,
               const std::vector<std::pair<Figure, std::string>>& levels)
{
    std::vector<std::vector<TimePoint>> series(1);
    if (e.figures.reference) {
        const LocalFrame local(*e.figures.reference);
        series[0] = Sample(*e.log, kErrorPoints, true, [&](const EpochRecord& r) -> std::optional<double> {
            return r.HasPosition() ? value(local.ErrorOf(r)) : std::nullopt;
        });
    }
    const TimeAxis axis = AxisFor(series, {e});
    std::vector<double> extra;
    for (const auto& [level, name] : levels)
        if (level)
            extra.push_back(*level);
    const YRange y = RangeOf(series, false, extra);
    Chart c(out, 1000, 260);
    c.Margins(70, 44, 56, 46);
    c.Title(title + ": " + ShortName(e));
    c.Frame(0, 1, y.y0, y.y1);
    c.TimeFrame(&axis);
    c.Axes("time, UTC", yTitle, 1, y.step, nullptr);
    c.ClipStart();
    for (const TimePoint& p : series[0])
        out += "<circle cx=\"" + Num(c.X(p.t)) + "\" cy=\"" + Num(c.Y(p.v)) + "\" r=\"1.6\" fill=\"" +
               kKindStyles[KindStyleOf(p.kind)].color + "\"/>\n";
    for (const auto& [level, name] : levels)
        if (level) {
            const std::string yy = Num(c.Y(*level));
            out += "<line x1=\"" + Num(c.Left()) + "\" y1=\"" + yy + "\" x2=\"" + Num(c.Left() + c.PlotW()) + "\" y2=\"" +
                   yy + "\" stroke=\"#000\" stroke-dasharray=\"6 3\"/>\n";
            out += "<text x=\"" + Num(c.Left() + c.PlotW() - 4) + "\" y=\"" + Num(c.Y(*level) - 4) +
                   "\" text-anchor=\"end\" font-size=\"12\" stroke=\"#fff\" stroke-width=\"3\" paint-order=\"stroke\">" +
                   XmlEscaped(name + " " + FixedText(*level, 2) + " m") + "</text>\n";
        }
    c.ClipEnd();
    KindLegend(c, 30);
    c.End();
}

// The log's systems as the C/N0 chart names and colours them.
constexpr std::array<std::pair<const char*, const char*>, kSatSystems> kSystemStyles = {
    {{"GPS", "#0000ff"}, {"GLONASS", "#e00000"}, {"other systems", "#777777"}}};

// One receiver's mean C/N0 of the satellites used, a line per system. Long
// recordings give a point per run of epochs (the mean over the run).
void UsedSnrLines(std::string& out, const ReportEntry& e)
{
    const RunMeans<kSatSystems>& runs = e.log->UsedSnr();
    std::vector<std::vector<TimePoint>> series(kSatSystems);
    for (size_t r = 0; r < runs.Runs(); ++r) {
        const size_t k = r * runs.RunEpochs();
        if (k >= e.log->Size() || !(*e.log)[k].TimeKnown())
            continue;
        for (int s = 0; s < kSatSystems; ++s)
            if (const std::optional<double> mean = runs.Mean(r, s))
                series[size_t(s)].push_back({double(e.log->TimeMs(k)) / kMsPerS, *mean, FixKind::None});
    }
    const std::vector<TimePoint> joined = [&] {
        std::vector<TimePoint> j;
        for (const auto& s : series)
            j.insert(j.end(), s.begin(), s.end());
        std::sort(j.begin(), j.end(), [](const TimePoint& a, const TimePoint& b) { return a.t < b.t; });
        return j;
    }();
    const TimeAxis axis = AxisFor({joined}, {e});
    const YRange y = RangeOf(series, false, {});
    Chart c(out, 1000, 240);
    c.Margins(70, 44, 56, 46);
    c.Title("C/N0 of the satellites used: " + ShortName(e));
    c.Frame(0, 1, y.y0, y.y1);
    c.TimeFrame(&axis);
    c.Axes("time, UTC", "mean C/N0, dB-Hz", 1, y.step, nullptr);
    c.ClipStart();
    std::vector<std::pair<std::string, std::string>> legend;
    const double breakS = LineBreakS(e, 0, runs.RunEpochs());
    for (size_t s = 0; s < series.size(); ++s) {
        if (series[s].empty())
            continue;
        std::vector<std::pair<double, double>> pts;
        for (const TimePoint& p : series[s])
            pts.push_back({p.t, p.v});
        Polyline(c, pts, kSystemStyles[s].second, breakS);
        legend.push_back({kSystemStyles[s].first, kSystemStyles[s].second});
    }
    c.ClipEnd();
    if (legend.empty())
        legend.push_back({"no C/N0 of used satellites in this recording", "#ffffff"});
    c.Legend(legend, false, 30);
    c.End();
}

// ---------------------------------------------------------------- satellites

// A satellite's number on the sky plot in its system's colour, as the VISUAL
// window draws it, darkened where the window's shade is too light for a
// white page.
const char* LabelColorOf(Gnss system)
{
    switch (system) {
    case Gnss::Gps: return "#0000ff";
    case Gnss::Glonass: return "#ff0000";
    case Gnss::Galileo: return "#ff8c00";
    case Gnss::BeiDou: return "#e600e6";
    case Gnss::Qzss: return "#00a0a0";
    case Gnss::Navic: return "#505050";
    case Gnss::Sbas: return "#00a000";
    default: return "#000000";
    }
}

// Mean SNR colour: blue weak, red strong.
std::string SnrColor(double snr)
{
    const double t = std::clamp((snr - 20) / 30, 0.0, 1.0);
    const int hue = int(240 * (1 - t));
    return Format("hsl(%d,85%%,45%%)", hue);
}

bool AnyInView(const EpochLog& log)
{
    return std::any_of(log.Sky().begin(), log.Sky().end(), [](const SkyCell& c) { return c.count > 0; });
}

// The sky seen by one receiver: each 1-degree cell a satellite crossed,
// coloured by the mean SNR seen there.
void SkyPlot(std::string& out, const ReportEntry& e)
{
    constexpr double kCx = 165, kCy = 190, kRadius = 135;
    std::string& o = out;
    o += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"330\" height=\"410\" viewBox=\"0 0 330 410\" "
         "font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"13\">\n"
         "<rect x=\"0\" y=\"0\" width=\"330\" height=\"410\" fill=\"#ffffff\"/>\n";
    o += "<text x=\"10\" y=\"18\" font-size=\"15\" font-weight=\"bold\">" + XmlEscaped(ShortName(e)) + "</text>\n";
    for (const int el : {0, 30, 60}) {
        const double r = kRadius * (90 - el) / 90.0;
        o += Format("<circle cx=\"%g\" cy=\"%g\" r=\"%s\" fill=\"%s\" stroke=\"#999\"/>\n", kCx, kCy, Num(r).c_str(),
                    el == 0 ? "#fbfbfb" : "none");
        o += Format("<text x=\"%s\" y=\"%s\" font-size=\"11\" fill=\"#666\">%d°</text>\n", Num(kCx + 3).c_str(),
                    Num(kCy - r + 12).c_str(), el);
    }
    o += Format("<path d=\"M%g,%gv%gM%g,%gh%g\" stroke=\"#bbb\"/>\n", kCx, kCy - kRadius, 2 * kRadius, kCx - kRadius,
                kCy, 2 * kRadius);
    const std::pair<const char*, double> compass[] = {{"N", 0}, {"E", 90}, {"S", 180}, {"W", 270}};
    for (const auto& [name, az] : compass) {
        const double a = az * M_PI / 180;
        o += Format("<text x=\"%s\" y=\"%s\" text-anchor=\"middle\" font-weight=\"bold\">%s</text>\n",
                    Num(kCx + (kRadius + 14) * std::sin(a)).c_str(), Num(kCy - (kRadius + 14) * std::cos(a) + 5).c_str(),
                    name);
    }
    if (!AnyInView(*e.log)) {
        o += Format("<text x=\"%g\" y=\"%g\" text-anchor=\"middle\" font-weight=\"bold\" fill=\"#a00\" stroke=\"#fff\" "
                    "stroke-width=\"4\" paint-order=\"stroke\">no satellites in view in this recording</text>\n",
                    kCx, kCy - 20);
        o += "</svg>\n";
        return;
    }
    const std::vector<SkyCell>& sky = e.log->Sky();
    for (size_t i = 0; i < sky.size(); ++i) {
        if (sky[i].count == 0)
            continue;
        const double el = double(i / kSkyAzimuths), az = double(i % kSkyAzimuths) * M_PI / 180;
        const double r = kRadius * (90 - el) / 90.0;
        o += "<circle cx=\"" + Num(kCx + r * std::sin(az)) + "\" cy=\"" + Num(kCy - r * std::cos(az)) +
             "\" r=\"2.2\" fill=\"" + SnrColor(double(sky[i].snrSum) / sky[i].count) + "\"/>\n";
    }
    // Each track labelled once, with its number where it was last seen.
    const std::vector<TrackEnd>& ends = e.log->TrackEnds();
    std::array<bool, kGnssCount> present{};
    for (size_t i = 0; i < ends.size(); ++i) {
        if (ends[i].elevationDeg < 0)
            continue;
        const Gnss system = Gnss(i / kTrackNumbers);
        present[size_t(system)] = true;
        const double r = kRadius * (90 - ends[i].elevationDeg) / 90.0, az = ends[i].azimuthDeg * M_PI / 180;
        o += Format("<text class=\"sat\" x=\"%s\" y=\"%s\" text-anchor=\"middle\" font-size=\"11\" "
                    "font-weight=\"bold\" fill=\"%s\" stroke=\"#fff\" stroke-width=\"3\" paint-order=\"stroke\">%d</text>\n",
                    Num(kCx + r * std::sin(az)).c_str(), Num(kCy - r * std::cos(az) - 5).c_str(), LabelColorOf(system),
                    int(i % kTrackNumbers));
    }
    double legendX = 10;
    for (int g = 0; g < kGnssCount; ++g)
        if (present[size_t(g)]) {
            o += Format("<text x=\"%g\" y=\"36\" font-size=\"11\" font-weight=\"bold\" fill=\"%s\">%s</text>\n",
                        legendX, LabelColorOf(Gnss(g)), GnssCaption(Gnss(g)));
            legendX += 34;
        }
    // Colour scale: six bands of 5 dB-Hz.
    for (int k = 0; k <= 6; ++k) {
        const int snr = 20 + 5 * k;
        if (k < 6)
            o += Format("<rect x=\"%d\" y=\"378\" width=\"45\" height=\"10\" fill=\"%s\"/>\n", 30 + 45 * k,
                        SnrColor(snr + 2.5).c_str());
        o += Format("<text x=\"%d\" y=\"402\" font-size=\"11\" text-anchor=\"middle\">%d</text>\n", 30 + 45 * k, snr);
    }
    o += "<text x=\"165\" y=\"372\" font-size=\"11\" text-anchor=\"middle\">mean SNR, dB-Hz</text>\n";
    o += "</svg>\n";
}

// C/N0 against elevation: every sky cell a satellite crossed as a dot at its
// elevation and mean C/N0, and the mean of each 5-degree band as a line. A
// healthy antenna gives a curve rising with elevation and a narrow cloud.
void SnrByElevation(std::string& out, const std::vector<ReportEntry>& entries)
{
    constexpr int kBandDeg = 5;
    constexpr double kSnrLow = 0, kSnrHigh = 60;
    Chart c(out, 1000, 340);
    c.Title("C/N0 against elevation (every satellite in view, every epoch)");
    c.Frame(0, 90, kSnrLow, kSnrHigh);
    c.Axes("elevation, degrees", "C/N0, dB-Hz", 10, 10, [](double v) { return TickText(v, 10); });
    c.ClipStart();
    std::vector<std::pair<std::string, std::string>> legend;
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::vector<SkyCell>& sky = entries[i].log->Sky();
        std::vector<double> bandSum(90 / kBandDeg + 1, 0), bandCount(90 / kBandDeg + 1, 0);
        std::string& o = c.Out();
        for (size_t k = 0; k < sky.size(); ++k) {
            if (sky[k].count == 0)
                continue;
            const int el = int(k / kSkyAzimuths);
            const double snr = double(sky[k].snrSum) / sky[k].count;
            bandSum[size_t(el / kBandDeg)] += double(sky[k].snrSum);
            bandCount[size_t(el / kBandDeg)] += sky[k].count;
            // A dot per cell, nudged within its degree so cells do not stack.
            const double x = el + double(k % kSkyAzimuths) / kSkyAzimuths;
            o += "<circle cx=\"" + Num(c.X(x)) + "\" cy=\"" + Num(c.Y(std::min(snr, kSnrHigh))) + "\" r=\"1.3\" fill=\"" +
                 ColorOf(i) + "\" fill-opacity=\"0.35\"/>\n";
        }
        std::vector<std::pair<double, double>> means;
        for (size_t b = 0; b < bandSum.size(); ++b)
            if (bandCount[b] > 0)
                means.push_back({double(b) * kBandDeg + kBandDeg / 2.0, bandSum[b] / bandCount[b]});
        Polyline(c, means, ColorOf(i), kNoBreak);
        legend.push_back({ShortName(entries[i]) + (AnyInView(*entries[i].log) ? "" : " (no satellites in view)"),
                          ColorOf(i)});
    }
    c.ClipEnd();
    c.Legend(legend);
    c.End();
}

// ---------------------------------------------------------------- page

// A page on screen and on A4: in print the charts are never cut across pages
// and the table starts a page of its own.
const char* const kStyle =
    "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:14px;color:#222;margin:24px;max-width:1040px}"
    "h1{font-size:24px;margin:0 0 4px}h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse}th,td{padding:3px 10px;border-bottom:1px solid #e4e4e4;text-align:right;"
    "white-space:nowrap}"
    "th:first-child,td:first-child{text-align:left}th{background:#f0f0f0}"
    "tr.group td{font-weight:bold;text-align:left;background:#fafafa;padding-top:8px}"
    "td.best{background:#d8f0d8;font-weight:bold}.key{display:inline-block;width:12px;height:12px;margin-right:6px}"
    "table.prov td{text-align:left;white-space:normal;vertical-align:top}table.prov td:first-child{color:#555;"
    "white-space:nowrap}table.prov td.mono,td.mono{font-family:'DejaVu Sans Mono',monospace;font-size:12px;"
    "overflow-wrap:anywhere}pre.notes{white-space:pre-wrap;background:#fafafa;border:1px solid #e4e4e4;padding:8px}"
    ".row{display:flex;flex-wrap:wrap;gap:12px}.note{color:#555;font-size:13px}svg{display:block;max-width:100%;"
    "height:auto}"
    "@page{size:A4;margin:12mm}"
    "@media print{body{margin:0;max-width:none;font-size:11px}h2,h2+p.note{break-after:avoid;page-break-after:avoid}"
    "svg,tr,.card{break-inside:avoid;page-break-inside:avoid}"
    "section.figures{break-before:page;page-break-before:always}"
    "section.figures table{font-size:10px;line-height:1.1}th,td{padding:1px 6px}td.best{-webkit-print-color-adjust:exact;"
    "print-color-adjust:exact}*{-webkit-print-color-adjust:exact;print-color-adjust:exact}}";

std::string SizeText(uint64_t bytes)
{
    return bytes >= 10'000'000 ? Format("%.1f MB (%llu bytes)", double(bytes) / 1e6, static_cast<unsigned long long>(bytes))
                               : Format("%llu bytes", static_cast<unsigned long long>(bytes));
}

void Provenance(std::string& out, const std::vector<ReportEntry>& entries, const ReportPage& page)
{
    auto row = [&](const std::string& label, const std::string& value, bool mono = false) {
        out += "<tr><td>" + XmlEscaped(label) + "</td><td" + (mono ? " class=\"mono\"" : "") + ">" +
               XmlEscaped(value) + "</td></tr>\n";
    };
    out += "<table class=\"prov\">\n";
    row("Made by", ProgramVersionText());
    if (!page.generatedUtc.empty())
        row("Generated", page.generatedUtc);
    for (const auto& [label, value] : page.settings)
        row(label, value, label == "Command line");
    out += "</table>\n";
    out += "<h2>Recordings</h2>\n<table class=\"prov\">\n";
    for (size_t i = 0; i < entries.size(); ++i) {
        const ReportEntry& e = entries[i];
        const Figures& f = e.figures;
        out += Format("<tr class=\"group\"><td colspan=\"2\"><span class=\"key\" style=\"background:%s\"></span>",
                      ColorOf(i)) +
               XmlEscaped(e.name) + "</td></tr>\n";
        row("Protocol", e.protocol == "binr" ? "BINR" : "NMEA 0183");
        if (e.sizeBytes)
            row("Size", SizeText(*e.sizeBytes));
        if (!e.sha256.empty())
            row("SHA-256", e.sha256, true);
        row("First epoch (UTC)", f.firstMs ? TimeLineText(*f.firstMs, f.datesKnown) : std::string("–"));
        row("Last epoch (UTC)", f.lastMs ? TimeLineText(*f.lastMs, f.datesKnown) : std::string("–"));
        row("Receiver's own text", e.receiver.empty() ? std::string("none in the stream") : e.receiver);
    }
    out += "</table>\n";
}

} // namespace

std::string ProgramVersionText()
{
#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "unknown"
#endif
#ifndef KESTROVA_COMMIT
#define KESTROVA_COMMIT ""
#endif
    const std::string commit = KESTROVA_COMMIT;
    return std::string("Kestrova ") + KESTROVA_VERSION + (commit.empty() ? "" : " (commit " + commit + ")");
}

void WriteHtml(std::ostream& stream, const std::vector<ReportEntry>& entries) { WriteHtml(stream, entries, ReportPage{}); }

void WriteHtml(std::ostream& stream, const std::vector<ReportEntry>& entries, const ReportPage& page)
{
    const std::string title = page.title.empty() ? std::string("Receiver report") : page.title;
    std::string out;
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
           "<meta charset=\"utf-8\"/>\n<title>" + XmlEscaped(title) + "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>" + XmlEscaped(title) + "</h1>\n";
    out += "<p class=\"note\">Errors are east, north and up of each accepted fix from the reference, in metres.</p>\n";
    Provenance(out, entries, page);
    if (!page.notes.empty())
        out += "<h2>Notes</h2>\n<pre class=\"notes\">" + XmlEscaped(page.notes) + "</pre>\n";
    for (const ReportEntry& e : entries)
        if (e.log->leftOut > 0)
            out += "<p class=\"note\">" + XmlEscaped(e.name) + Format(": the first %zu epochs only; the %lld after them "
                   "were counted, not kept.</p>\n", e.log->Capacity(), static_cast<long long>(e.log->leftOut));

    out += "<section class=\"figures\">\n<h2>Figures</h2>\n";
    Table(out, entries);
    out += "</section>\n";

    out += "<h2>Horizontal scatter</h2>\n<p class=\"note\">Accepted fixes round the reference (the cross), coloured "
           "by fix kind, in a frame that holds the R99 circle; fixes beyond it are open marks on the edge.</p>\n"
           "<div class=\"row\">\n";
    for (const ReportEntry& e : entries)
        Scatter(out, e);
    out += "</div>\n<h2>Horizontal error distribution</h2>\n";
    Cdf(out, entries);

    out += "<h2>Errors against time</h2>\n<p class=\"note\">Each accepted fix a dot in its kind's colour; a grey band "
           "with // on the time axis is a long gap cut out of the axis.</p>\n";
    for (const ReportEntry& e : entries) {
        ErrorDots(out, e, "Horizontal error", "horizontal, m",
                  [](const LocalFrame::Enu& enu) -> std::optional<double> { return std::hypot(enu.east, enu.north); },
                  {{e.figures.cep50M, "CEP50"}, {e.figures.r95M, "R95"}});
        ErrorDots(out, e, "Up error", "up, m",
                  [](const LocalFrame::Enu& enu) -> std::optional<double> { return enu.up; }, {});
    }

    out += "<h2>Satellites used and HDOP</h2>\n";
    TimeLines(out, entries, "Satellites used (all systems)", "satellites", true,
              [](const EpochRecord& r) -> std::optional<double> { return double(r.used[0] + r.used[1] + r.used[2]); });
    TimeLines(out, entries, "HDOP", "HDOP", false, [](const EpochRecord& r) -> std::optional<double> {
        return EpochRecord::HasDop(r.hdop) ? std::optional<double>(r.hdop) : std::nullopt;
    });

    out += "<h2>Signal</h2>\n";
    SnrByElevation(out, entries);
    out += "<p class=\"note\">Mean C/N0 of the satellites each epoch used (those in view whose number the "
           "epoch's GSAs or the BINR 0x93 list as used), per system; a long recording is drawn as means over runs "
           "of epochs.</p>\n";
    for (const ReportEntry& e : entries)
        UsedSnrLines(out, e);
    out += "<h2>Sky plots</h2>\n<p class=\"note\">Satellite tracks in view by azimuth and elevation, "
           "coloured by mean SNR; each satellite's number, in its system's colour, where it was last seen.</p>\n<div class=\"row\">\n";
    for (const ReportEntry& e : entries)
        SkyPlot(out, e);
    out += "</div>\n</body>\n</html>\n";
    stream << out;
}
