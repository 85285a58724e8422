#pragma once
// The drawing kit of the report page: colours, the fix kinds' styles, a plot
// area (Chart) that writes inline SVG, lines broken at gaps, and a log's
// epochs thinned onto a time axis. The page's position charts (ReportHtml)
// and signal charts (ReportSignals) draw with it.
#include "ChartScale.h"
#include "ReceiverReport.h"
#include "Util.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace svg {

constexpr size_t kScatterPoints = 4000;      // per receiver
constexpr size_t kSeriesPoints = 2000;       // per receiver and chart
constexpr size_t kErrorPoints = 3000;        // dots of an error chart
constexpr size_t kEdgeMarks = 1000;          // scatter fixes drawn on the frame's edge
constexpr double kMsPerS = 1000.0;

const char* ColorOf(size_t i);
// The file name as charts show it: without folders, cut to fit.
std::string ShortName(const ReportEntry& e);
std::string Num(double v);

// The fix kinds as the scatter and the error charts colour them.
struct KindStyle {
    const char* name;
    const char* color;
};
inline constexpr KindStyle kKindStyles[] = {
    {"autonomous", "#d62728"}, {"differential", "#1f77b4"}, {"RTK float", "#ff7f0e"}, {"RTK fixed", "#2ca02c"},
    {"other", "#7f7f7f"},
};
size_t KindStyleOf(FixKind kind);

std::string TickText(double v, double step);

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

size_t Stride(size_t n, size_t points);

// A line through the points, broken where the time between two is longer
// than breakAfter; as steps (each value held until the next) for counts.
void Polyline(Chart& c, const std::vector<std::pair<double, double>>& pts, const char* color, double breakAfter,
              bool steps = false);

// The fix kinds' legend, a dot each.
void KindLegend(Chart& c, double y, double wrapAtPx = 1e9);

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
TimeAxis AxisFor(const std::vector<std::vector<TimePoint>>& series, const std::vector<ReportEntry>& entries);

// A gap in a line: five thinned epochs missing, and never across a break.
double LineBreakS(const ReportEntry& e, size_t points, size_t strideGiven = 0);

struct YRange {
    double y0, y1, step;
};

YRange RangeOf(const std::vector<std::vector<TimePoint>>& series, bool counts, const std::vector<double>& extra);

} // namespace svg

// What the page draws of one entry's epochs, drawn ahead (DrawEntryCharts).
struct EntryCharts {
    std::string scatter;
    std::string errorDots;                   // horizontal and up against time
    std::string usedSnr;                     // C/N0 of the satellites used
    std::vector<svg::TimePoint> used, hdop;  // this entry's line on the shared charts
    double lineBreakS = svg::kNoBreak;
};
