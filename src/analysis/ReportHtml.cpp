// The receiver report as one self-contained page: the figure table and the
// charts, drawn as inline SVG with no script and no external asset, written
// as well-formed XML so that any XML tool can read it. Long recordings are
// thinned for the charts (every k-th epoch); the figures always use them all.
#include "ReceiverReport.h"

#include "KestrovaCommit.h"
#include "ReportSignals.h"
#include "ReportSvg.h"
#include "Util.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <functional>

using namespace svg;

namespace {

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


using EpochValue = std::optional<double> (*)(const EpochRecord&);
using SeriesOfCharts = std::vector<TimePoint> EntryCharts::*;

std::optional<double> UsedCount(const EpochRecord& r) { return double(r.used[0] + r.used[1] + r.used[2]); }
std::optional<double> Hdop(const EpochRecord& r)
{
    return EpochRecord::HasDop(r.hdop) ? std::optional<double>(r.hdop) : std::nullopt;
}

// One value per epoch against UTC, every receiver on one chart in its colour;
// an entry drawn ahead brings its line (member) with it.
void TimeLines(std::string& out, const std::vector<ReportEntry>& entries, const std::string& title,
               const std::string& yTitle, bool counts, EpochValue value, SeriesOfCharts member)
{
    std::vector<std::vector<TimePoint>> series;
    for (const ReportEntry& e : entries)
        series.push_back(e.charts ? e.charts.get()->*member : Sample(*e.log, kSeriesPoints, false, value));
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
        const double lineBreakS = entries[i].charts ? entries[i].charts->lineBreakS : LineBreakS(entries[i], kSeriesPoints);
        Polyline(c, pts, ColorOf(i), lineBreakS, counts);
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
std::optional<double> Horizontal(const LocalFrame::Enu& enu) { return std::hypot(enu.east, enu.north); }
std::optional<double> Up(const LocalFrame::Enu& enu) { return std::isnan(enu.up) ? std::nullopt : std::optional<double>(enu.up); }

void BothErrorDots(std::string& out, const ReportEntry& e)
{
    ErrorDots(out, e, "Horizontal error", "horizontal, m", Horizontal, {{e.figures.cep50M, "CEP50"}, {e.figures.r95M, "R95"}});
    ErrorDots(out, e, "Up error", "up, m", Up, {});
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
        if (e.charts)
            out += e.charts->scatter;
        else
            Scatter(out, e);
    out += "</div>\n<h2>Horizontal error distribution</h2>\n";
    Cdf(out, entries);

    out += "<h2>Errors against time</h2>\n<p class=\"note\">Each accepted fix a dot in its kind's colour; a grey band "
           "with // on the time axis is a long gap cut out of the axis.</p>\n";
    for (const ReportEntry& e : entries)
        if (e.charts)
            out += e.charts->errorDots;
        else
            BothErrorDots(out, e);

    out += "<h2>Satellites used and HDOP</h2>\n";
    TimeLines(out, entries, "Satellites used (all systems)", "satellites", true, UsedCount, &EntryCharts::used);
    TimeLines(out, entries, "HDOP", "HDOP", false, Hdop, &EntryCharts::hdop);

    out += "<h2>Signal</h2>\n";
    SnrByElevation(out, entries);
    out += "<p class=\"note\">Mean C/N0 of the satellites each epoch used (those in view whose number the "
           "epoch's GSAs or the BINR 0x93 list as used), per system; a long recording is drawn as means over runs "
           "of epochs.</p>\n";
    for (const ReportEntry& e : entries)
        if (e.charts)
            out += e.charts->usedSnr;
        else
            UsedSnrLines(out, e);
    out += "<h2>Sky plots</h2>\n<p class=\"note\">Satellite tracks in view by azimuth and elevation, "
           "coloured by mean SNR; each satellite's number, in its system's colour, where it was last seen.</p>\n<div class=\"row\">\n";
    for (const ReportEntry& e : entries)
        SkyPlot(out, e);
    out += "</div>\n</body>\n</html>\n";
    stream << out;
}

void DrawEntryCharts(ReportEntry& e)
{
    auto charts = std::make_shared<EntryCharts>();
    Scatter(charts->scatter, e);
    BothErrorDots(charts->errorDots, e);
    UsedSnrLines(charts->usedSnr, e);
    charts->used = Sample(*e.log, kSeriesPoints, false, UsedCount);
    charts->hdop = Sample(*e.log, kSeriesPoints, false, Hdop);
    charts->lineBreakS = LineBreakS(e, kSeriesPoints);
    e.charts = std::move(charts);
}
