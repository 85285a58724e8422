// The receiver report as one self-contained page: the figure table and the
// charts, drawn as inline SVG with no script and no external asset, written
// as well-formed XML so that any XML tool can read it. Long recordings are
// thinned for the charts (every k-th epoch); the figures always use them all.
#include "ReceiverReport.h"

#include "Util.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

namespace {

const char* const kColors[] = {"#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#17becf", "#8c564b", "#e377c2"};
constexpr size_t kColorCount = sizeof kColors / sizeof kColors[0];
constexpr size_t kScatterPoints = 4000;      // per receiver
constexpr size_t kSeriesPoints = 2000;       // per receiver and chart
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

double NiceStep(double range, int ticks)
{
    if (!(range > 0))
        return 1;
    const double raw = range / ticks;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (m * p >= raw)
            return m * p;
    return 10 * p;
}

double TimeStepS(double rangeS)
{
    static const double kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (const double s : kSteps)
        if (rangeS / s <= 8)
            return s;
    return NiceStep(rangeS / 86400, 8) * 86400;
}

std::string TickText(double v, double step)
{
    int decimals = 0;
    while (decimals < 6 && std::fabs(step * std::pow(10, decimals) - std::round(step * std::pow(10, decimals))) > 1e-6)
        ++decimals;
    return FixedText(std::fabs(v) < step * 1e-6 ? 0.0 : v, decimals);
}

// Elapsed time: hours are not folded into days.
std::string ElapsedTick(double seconds)
{
    const int64_t s = int64_t(std::llround(seconds));
    return Format("%lld:%02d:%02d", static_cast<long long>(s / 3600), int(s / 60 % 60), int(s % 60));
}

std::string ClockTick(double seconds, double step)
{
    const int64_t s = int64_t(std::floor(seconds));
    const int64_t day = s >= 0 ? s % 86400 : (s % 86400 + 86400) % 86400;
    return step >= 60 ? Format("%02d:%02d", int(day / 3600), int(day / 60 % 60))
                      : Format("%02d:%02d:%02d", int(day / 3600), int(day / 60 % 60), int(day % 60));
}

// A plot area with linear axes, in SVG user units (pixels at 100 % zoom).
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
    double X(double v) const { return left_ + (v - x0_) / (x1_ - x0_) * PlotW(); }
    double Y(double v) const { return top_ + (1 - (v - y0_) / (y1_ - y0_)) * PlotH(); }
    double PlotW() const { return width_ - left_ - right_; }
    double PlotH() const { return height_ - top_ - bottom_; }
    void Margins(int left, int right, int top, int bottom)
    {
        left_ = left;
        right_ = right;
        top_ = top;
        bottom_ = bottom;
    }

    // Grid, ticks and titles. xTick turns an x value into its label.
    void Axes(const std::string& xTitle, const std::string& yTitle, double xStep, double yStep,
              const std::function<std::string(double)>& xTick)
    {
        out_ += Format("<rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" fill=\"#fbfbfb\" stroke=\"#888\"/>\n",
                       Num(left_).c_str(), Num(top_).c_str(), Num(PlotW()).c_str(), Num(PlotH()).c_str());
        for (double v = std::ceil(x0_ / xStep) * xStep; v <= x1_ + xStep * 1e-9; v += xStep) {
            const std::string x = Num(X(v));
            out_ += "<line x1=\"" + x + "\" y1=\"" + Num(top_) + "\" x2=\"" + x + "\" y2=\"" + Num(top_ + PlotH()) +
                    "\" stroke=\"#ddd\"/>\n";
            out_ += "<text x=\"" + x + "\" y=\"" + Num(top_ + PlotH() + 17) + "\" text-anchor=\"middle\">" +
                    XmlEscaped(xTick(v)) + "</text>\n";
        }
        for (double v = std::ceil(y0_ / yStep) * yStep; v <= y1_ + yStep * 1e-9; v += yStep) {
            const std::string y = Num(Y(v));
            out_ += "<line x1=\"" + Num(left_) + "\" y1=\"" + y + "\" x2=\"" + Num(left_ + PlotW()) + "\" y2=\"" + y +
                    "\" stroke=\"#ddd\"/>\n";
            out_ += "<text x=\"" + Num(left_ - 6) + "\" y=\"" + Num(Y(v) + 4) + "\" text-anchor=\"end\">" +
                    TickText(v, yStep) + "</text>\n";
        }
        out_ += "<text x=\"" + Num(left_ + PlotW() / 2) + "\" y=\"" + Num(height_ - 8) +
                "\" text-anchor=\"middle\" font-weight=\"bold\">" + XmlEscaped(xTitle) + "</text>\n";
        out_ += "<text transform=\"translate(16," + Num(top_ + PlotH() / 2) +
                ") rotate(-90)\" text-anchor=\"middle\" font-weight=\"bold\">" + XmlEscaped(yTitle) + "</text>\n";
    }
    void Title(const std::string& text)
    {
        out_ += "<text x=\"" + Num(left_) + "\" y=\"18\" font-size=\"15\" font-weight=\"bold\">" + XmlEscaped(text) +
                "</text>\n";
    }
    // Legend entries in a row under the title.
    void Legend(const std::vector<std::pair<std::string, std::string>>& items)
    {
        double x = left_;
        for (const auto& [name, color] : items) {
            out_ += "<rect x=\"" + Num(x) + "\" y=\"28\" width=\"22\" height=\"4\" fill=\"" + color + "\"/>\n";
            out_ += "<text x=\"" + Num(x + 27) + "\" y=\"35\">" + XmlEscaped(name) + "</text>\n";
            x += 50 + 7.5 * double(name.size());
        }
    }
    void ClipStart()
    {
        ++clipCount_;
        out_ += Format("<clipPath id=\"c%d\"><rect x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\"/></clipPath>\n<g clip-path=\"url(#c%d)\">\n",
                       clipCount_, Num(left_).c_str(), Num(top_).c_str(), Num(PlotW()).c_str(), Num(PlotH()).c_str(),
                       clipCount_);
    }
    void ClipEnd() { out_ += "</g>\n"; }
    void End() { out_ += "</svg>\n"; }
    std::string& Out() { return out_; }

private:
    std::string& out_;
    int width_, height_;
    double left_ = 70, right_ = 20, top_ = 46, bottom_ = 46;
    double x0_ = 0, x1_ = 1, y0_ = 0, y1_ = 1;
    static inline int clipCount_ = 0;
};

size_t Stride(size_t n, size_t points) { return std::max<size_t>(1, (n + points - 1) / points); }

void Polyline(Chart& c, const std::vector<std::pair<double, double>>& pts, const char* color, double breakAfter)
{
    std::string& out = c.Out();
    bool open = false;
    for (size_t i = 0; i < pts.size(); ++i) {
        if (open && pts[i].first - pts[i - 1].first > breakAfter) {
            out += "\"/>\n";
            open = false;
        }
        if (!open) {
            out += Format("<polyline fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"", color);
            open = true;
        }
        out += Num(c.X(pts[i].first)) + "," + Num(c.Y(pts[i].second)) + " ";
    }
    if (open)
        out += "\"/>\n";
}

// ---------------------------------------------------------------- table

void Table(std::string& out, const std::vector<ReportEntry>& entries)
{
    out += "<table>\n<tr><th>Figure</th>";
    for (size_t i = 0; i < entries.size(); ++i)
        out += Format("<th><span class=\"key\" style=\"background:%s\"></span>", ColorOf(i)) +
               XmlEscaped(ShortName(entries[i])) + "</th>";
    out += "</tr>\n";
    const char* group = "";
    for (const ReportRow& row : ReportRows()) {
        if (std::string(group) != row.group) {
            group = row.group;
            out += Format("<tr class=\"group\"><td colspan=\"%d\">", int(entries.size()) + 1) + XmlEscaped(group) +
                   "</td></tr>\n";
        }
        const std::vector<bool> best = BestOfRow(row, entries);
        out += "<tr><td>" + XmlEscaped(row.label) + "</td>";
        for (size_t i = 0; i < entries.size(); ++i)
            out += std::string(best[i] ? "<td class=\"best\">" : "<td>") + XmlEscaped(RowText(row, entries[i].figures)) +
                   "</td>";
        out += "</tr>\n";
    }
    out += "</table>\n";
    if (entries.size() > 1)
        out += "<p class=\"note\">Shaded: the best value of the row.</p>\n";
}

// ---------------------------------------------------------------- charts

void Scatter(std::string& out, const ReportEntry& e, size_t index)
{
    const Figures& f = e.figures;
    Chart c(out, 330, 370);
    c.Margins(62, 14, 46, 46);
    c.Title(ShortName(e));
    const double r95 = f.r95M.value_or(0), r99 = f.r99M.value_or(0);
    const double half = std::max({r99 * 1.15, r95 * 1.3, 0.5});
    c.Frame(-half, half, -half, half);
    const double step = NiceStep(2 * half, 6);
    c.Axes("east, m", "north, m", step, step, [step](double v) { return TickText(v, step); });
    c.ClipStart();
    if (f.reference) {
        const EpochLog& log = *e.log;
        const LocalFrame frame(*f.reference);
        const size_t stride = Stride(size_t(f.accepted), kScatterPoints);
        size_t k = 0;
        for (size_t i = 0; i < log.Size(); ++i) {
            const EpochRecord& r = log[i];
            if (!r.Accepted() || !r.HasPosition() || k++ % stride != 0)
                continue;
            const LocalFrame::Enu enu = frame.ErrorOf(r);
            out += "<circle cx=\"" + Num(c.X(enu.east)) + "\" cy=\"" + Num(c.Y(enu.north)) + "\" r=\"1.8\" fill=\"" +
                   ColorOf(index) + "\" fill-opacity=\"0.55\"/>\n";
        }
        const double pxPerM = c.PlotW() / (2 * half);
        const std::pair<Figure, const char*> circles[] = {{f.cep50M, "6 3"}, {f.r95M, "none"}};
        for (const auto& [radius, dash] : circles)
            if (radius)
                out += "<circle cx=\"" + Num(c.X(0)) + "\" cy=\"" + Num(c.Y(0)) + "\" r=\"" + Num(*radius * pxPerM) +
                       "\" fill=\"none\" stroke=\"#000\" stroke-width=\"1.5\" stroke-dasharray=\"" + dash + "\"/>\n";
        out += "<path d=\"M" + Num(c.X(0) - 7) + "," + Num(c.Y(0)) + "h14M" + Num(c.X(0)) + "," + Num(c.Y(0) - 7) +
               "v14\" stroke=\"#000\" stroke-width=\"2\"/>\n";
    }
    c.ClipEnd();
    const std::string legend = "dashed: CEP50 " + (f.cep50M ? FixedText(*f.cep50M, 2) + " m" : std::string("–")) +
                               ", solid: R95 " + (f.r95M ? FixedText(*f.r95M, 2) + " m" : std::string("–"));
    out += "<text x=\"10\" y=\"36\" font-size=\"12\" fill=\"#222\">" + XmlEscaped(legend) + "</text>\n";
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
    c.Title("Cumulative distribution of horizontal error");
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

// One value per epoch against time, all receivers on one chart.
void TimeSeries(std::string& out, const std::vector<ReportEntry>& entries, const std::string& title,
                const std::string& yTitle, bool acceptedOnly,
                const std::function<std::optional<double>(const ReportEntry&, const EpochRecord&)>& value)
{
    // Recordings of one session share the UTC axis; recordings made at
    // different times are laid over each other from their first epochs.
    int64_t first = INT64_MAX, last = INT64_MIN, longest = 0;
    for (const ReportEntry& e : entries)
        if (e.figures.firstMs) {
            first = std::min(first, *e.figures.firstMs);
            last = std::max(last, *e.figures.lastMs);
            longest = std::max(longest, *e.figures.lastMs - *e.figures.firstMs);
        }
    constexpr int64_t kSessionSlackMs = 60000;
    const bool sameSession = first > last || last - first <= longest + longest / 2 + kSessionSlackMs;

    std::vector<std::vector<std::pair<double, double>>> series(entries.size());
    double t0 = 1e300, t1 = -1e300, y0 = 1e300, y1 = -1e300;
    for (size_t i = 0; i < entries.size(); ++i) {
        const EpochLog& log = *entries[i].log;
        const int64_t zeroMs = sameSession ? 0 : entries[i].figures.firstMs.value_or(0);
        const size_t stride = Stride(log.Size(), kSeriesPoints);
        for (size_t k = 0; k < log.Size(); k += stride) {
            const EpochRecord& r = log[k];
            if (!r.TimeKnown() || (acceptedOnly && !r.Accepted()))
                continue;
            const std::optional<double> v = value(entries[i], r);
            if (!v || !std::isfinite(*v))
                continue;
            const double t = double(log.TimeMs(k) - zeroMs) / kMsPerS;
            series[i].push_back({t, *v});
            t0 = std::min(t0, t);
            t1 = std::max(t1, t);
            y0 = std::min(y0, *v);
            y1 = std::max(y1, *v);
        }
    }
    Chart c(out, 1000, 300);
    c.Title(title);
    if (t0 > t1) {
        t0 = 0;
        t1 = 1;
        y0 = 0;
        y1 = 1;
    }
    if (y1 - y0 < 1e-9) {
        y0 -= 1;
        y1 += 1;
    }
    const double pad = (y1 - y0) * 0.05;
    const double yStep = NiceStep(y1 - y0 + 2 * pad, 6);
    const bool positive = y0 >= 0;
    y0 = std::floor((y0 - pad) / yStep) * yStep;
    if (positive)
        y0 = std::max(y0, 0.0);
    y1 = std::ceil((y1 + pad) / yStep) * yStep;
    c.Frame(t0, t1, y0, y1);
    const double xStep = TimeStepS(t1 - t0);
    if (sameSession)
        c.Axes("time, UTC", yTitle, xStep, yStep, [xStep](double v) { return ClockTick(v, xStep); });
    else
        c.Axes("time since the recording's first epoch, h:mm:ss", yTitle, xStep, yStep,
               [](double v) { return ElapsedTick(v); });
    c.ClipStart();
    std::vector<std::pair<std::string, std::string>> legend;
    for (size_t i = 0; i < entries.size(); ++i) {
        const Figure rate = entries[i].figures.rateS;
        const double stride = double(Stride(entries[i].log->Size(), kSeriesPoints));
        Polyline(c, series[i], ColorOf(i), rate ? *rate * stride * 5 : 1e300);
        legend.push_back({ShortName(entries[i]), ColorOf(i)});
    }
    c.ClipEnd();
    c.Legend(legend);
    c.End();
}

// The sky seen by one receiver: each 1-degree cell a satellite crossed,
// coloured by the mean SNR seen there (blue weak, red strong).
std::string SnrColor(double snr)
{
    const double t = std::clamp((snr - 20) / 30, 0.0, 1.0);
    const int hue = int(240 * (1 - t));
    return Format("hsl(%d,85%%,45%%)", hue);
}

void SkyPlot(std::string& out, const ReportEntry& e)
{
    constexpr double kCx = 165, kCy = 190, kRadius = 135;
    std::string& o = out;
    o += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"330\" height=\"410\" viewBox=\"0 0 330 410\" "
         "font-family=\"DejaVu Sans, Arial, sans-serif\" font-size=\"13\">\n"
         "<rect x=\"0\" y=\"0\" width=\"330\" height=\"410\" fill=\"#ffffff\"/>\n";
    o += "<text x=\"10\" y=\"18\" font-size=\"15\" font-weight=\"bold\">" +
         XmlEscaped(ShortName(e)) + "</text>\n";
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
    const std::vector<SkyCell>& sky = e.log->Sky();
    for (size_t i = 0; i < sky.size(); ++i) {
        if (sky[i].count == 0)
            continue;
        const double el = double(i / kSkyAzimuths), az = double(i % kSkyAzimuths) * M_PI / 180;
        const double r = kRadius * (90 - el) / 90.0;
        o += "<circle cx=\"" + Num(kCx + r * std::sin(az)) + "\" cy=\"" + Num(kCy - r * std::cos(az)) +
             "\" r=\"2.2\" fill=\"" + SnrColor(double(sky[i].snrSum) / sky[i].count) + "\"/>\n";
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

const char* const kStyle =
    "body{font-family:'DejaVu Sans',Arial,sans-serif;font-size:14px;color:#222;margin:24px;max-width:1040px}"
    "h1{font-size:24px;margin:0 0 4px}h2{font-size:18px;margin:28px 0 8px;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse}th,td{padding:3px 10px;border-bottom:1px solid #e4e4e4;text-align:right;"
    "white-space:nowrap}"
    "th:first-child,td:first-child{text-align:left}th{background:#f0f0f0}"
    "tr.group td{font-weight:bold;text-align:left;background:#fafafa;padding-top:8px}"
    "td.best{background:#d8f0d8;font-weight:bold}.key{display:inline-block;width:12px;height:12px;margin-right:6px}"
    ".row{display:flex;flex-wrap:wrap;gap:12px}.note{color:#555;font-size:13px}svg{display:block}";

} // namespace

void WriteHtml(std::ostream& stream, const std::vector<ReportEntry>& entries)
{
    std::string out;
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
           "<meta charset=\"utf-8\"/>\n<title>Receiver report</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<h1>Receiver report</h1>\n<p class=\"note\">";
    for (size_t i = 0; i < entries.size(); ++i)
        out += (i ? ", " : "") + XmlEscaped(entries[i].name) + " (" + entries[i].protocol + ")";
    out += ". Errors are east, north and up of each accepted fix from the reference, in metres.</p>\n";
    for (const ReportEntry& e : entries)
        if (e.log->leftOut > 0)
            out += "<p class=\"note\">" + XmlEscaped(e.name) + Format(": the first %zu epochs only; the %lld after them "
                   "were counted, not kept.</p>\n", e.log->Capacity(), static_cast<long long>(e.log->leftOut));
    out += "<h2>Figures</h2>\n";
    Table(out, entries);

    out += "<h2>Horizontal scatter</h2>\n<p class=\"note\">Accepted fixes round the reference (the cross); "
           "circles of CEP50 and R95.</p>\n<div class=\"row\">\n";
    for (size_t i = 0; i < entries.size(); ++i)
        Scatter(out, entries[i], i);
    out += "</div>\n<h2>Horizontal error distribution</h2>\n";
    Cdf(out, entries);

    out += "<h2>Errors against time</h2>\n";
    const char* const names[] = {"East error", "North error", "Up error"};
    const char* const yTitles[] = {"east, m", "north, m", "up, m"};
    for (int k = 0; k < 3; ++k)
        TimeSeries(out, entries, names[k], std::string(yTitles[k]),
                   true, [k](const ReportEntry& e, const EpochRecord& r) -> std::optional<double> {
                       if (!e.figures.reference || !r.HasPosition())
                           return std::nullopt;
                       const LocalFrame::Enu enu = LocalFrame(*e.figures.reference).ErrorOf(r);
                       return k == 0 ? enu.east : k == 1 ? enu.north : enu.up;
                   });

    out += "<h2>Satellites used and HDOP</h2>\n";
    TimeSeries(out, entries, "Satellites used (all systems)", "satellites", false,
               [](const ReportEntry&, const EpochRecord& r) -> std::optional<double> {
                   return double(r.used[0] + r.used[1] + r.used[2]);
               });
    TimeSeries(out, entries, "HDOP", "HDOP", false, [](const ReportEntry&, const EpochRecord& r) -> std::optional<double> {
        return EpochRecord::HasDop(r.hdop) ? std::optional<double>(r.hdop) : std::nullopt;
    });

    out += "<h2>Sky plots</h2>\n<p class=\"note\">Satellite tracks in view by azimuth and elevation, "
           "coloured by mean SNR.</p>\n<div class=\"row\">\n";
    for (const ReportEntry& e : entries)
        SkyPlot(out, e);
    out += "</div>\n</body>\n</html>\n";
    stream << out;
}
