// The accepted fixes as tracks, one per recording: GPX 1.1 for GIS tools and
// KML 2.2 for virtual globes. Times are written only on a dated time line.
#include "ReceiverReport.h"

#include "Util.h"

#include <cmath>

namespace {

constexpr double kDegPerRad = 180.0 / M_PI;

template <typename PointWriter>
void ForEachAccepted(const ReportEntry& e, PointWriter write)
{
    const EpochLog& log = *e.log;
    for (size_t i = 0; i < log.Size(); ++i) {
        const EpochRecord& r = log[i];
        if (r.Accepted() && r.HasPosition())
            write(r, log.PositionOf(r), log.TimeMs(i));
    }
}

double LonDeg(const GeoPoint& p) { return std::remainder(p.lonRad, 2 * M_PI) * kDegPerRad; }

} // namespace

void WriteGpx(std::ostream& out, const std::vector<ReportEntry>& entries)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"Kestrova\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    for (const ReportEntry& e : entries) {
        out << "  <trk>\n    <name>" << XmlEscaped(e.name) << "</name>\n    <trkseg>\n";
        const bool dated = e.log->datesKnown;
        ForEachAccepted(e, [&](const EpochRecord& r, const GeoPoint& p, int64_t timeMs) {
            // A fix without a height has no elevation.
            out << Format("      <trkpt lat=\"%.9f\" lon=\"%.9f\">", p.latRad * kDegPerRad, LonDeg(p));
            if (!std::isnan(p.heightM))
                out << Format("<ele>%.3f</ele>", p.heightM);
            if (dated && r.TimeKnown())
                out << "<time>" << IsoTime(timeMs, true) << "</time>";
            out << "</trkpt>\n";
        });
        out << "    </trkseg>\n  </trk>\n";
    }
    out << "</gpx>\n";
}

void WriteKml(std::ostream& out, const std::vector<ReportEntry>& entries)
{
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n  <name>Kestrova receiver report</name>\n";
    for (const ReportEntry& e : entries) {
        out << "  <Placemark>\n    <name>" << XmlEscaped(e.name) << "</name>\n"
            << "    <LineString>\n      <altitudeMode>absolute</altitudeMode>\n      <coordinates>\n";
        ForEachAccepted(e, [&](const EpochRecord&, const GeoPoint& p, int64_t) {
            if (std::isnan(p.heightM))
                out << Format("        %.9f,%.9f\n", LonDeg(p), p.latRad * kDegPerRad);
            else
                out << Format("        %.9f,%.9f,%.3f\n", LonDeg(p), p.latRad * kDegPerRad, p.heightM);
        });
        out << "      </coordinates>\n    </LineString>\n  </Placemark>\n";
    }
    out << "</Document>\n</kml>\n";
}
