#include "ReportSignals.h"

#include "ReportSvg.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace svg {

namespace {

// The log's systems as the C/N0 chart names and colours them.
constexpr std::array<std::pair<const char*, const char*>, kSatSystems> kSystemStyles = {
    {{"GPS", "#0000ff"}, {"GLONASS", "#e00000"}, {"other systems", "#777777"}}};

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

} // namespace

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

} // namespace svg
