#include "VisualText.h"

#include "Angles.h"
#include "BinrLayouts.h"
#include "Util.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kMaxMinutes = 59.99999;
// Below this cosine a pixel east stands for more than the whole circle:
// the reference sits on a pole.
constexpr double kPoleCosine = 1e-12;
// The fill position of a cycle that never restarts stops growing here.
constexpr int32_t kGsvFillCap = 1 << 16;
constexpr int kGsvFirstBlockField = 4;
constexpr int kGsvBlockFields = 4;

// Degrees and minutes of |angle|; minutes that would print as 60.00000 are
// carried, so the text always reads back as a valid angle.
struct DegreesMinutes {
    int degrees;
    double minutes;
};

DegreesMinutes SplitAngle(double rad, int maxDegrees)
{
    double v = std::fabs(rad) * kHalfTurnDeg * kInversePi;
    if (!std::isfinite(v))
        v = 0;
    v = std::min(v, double(maxDegrees));
    DegreesMinutes dm{int(v + 1e-10), 0};
    dm.minutes = std::max(0.0, (v - dm.degrees) * 60);
    if (Format("%08.5lf", dm.minutes) == "60.00000") {
        ++dm.degrees;
        dm.minutes = 0;
    }
    return dm;
}

// 'N'/'E' for a non-negative (or unreadable) angle.
char Hemisphere(double rad, char positive, char negative) { return rad < 0 ? negative : positive; }

std::optional<double> ParseAngle(const std::string& text, size_t minutesAt, int maxDegrees, char positive,
                                 char negative)
{
    if (text.empty())
        return std::nullopt;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == ' ')
            return std::nullopt;
    const char hemisphere = text.back();
    if (hemisphere != positive && hemisphere != negative)
        return std::nullopt;
    const float minutes = text.size() > minutesAt ? float(TextToReal(text.c_str() + minutesAt)) : 0.0f;
    const int32_t degrees = TextToInt(text.c_str());
    if (!std::isfinite(minutes) || minutes < 0 || degrees < 0)
        return std::nullopt;
    if (minutes > kMaxMinutes || degrees > maxDegrees || (degrees == maxDegrees && minutes > 0))
        return std::nullopt;
    const double angle = (degrees + double(minutes) / 60) * kPi / kHalfTurnDeg;
    return hemisphere == negative ? -angle : angle;
}

// The field as a bounded C string: slots hold at most 19 characters.
std::string FieldText(const NmeaFields& fields, int index)
{
    if (index < 0 || index >= kNmeaSlots)
        return {};
    const char* slot = fields.slot[index];
    return std::string(slot, strnlen(slot, kNmeaSlotChars - 1));
}

int32_t FieldInt(const NmeaFields& fields, int index) { return TextToInt(FieldText(fields, index).c_str()); }

// ddmm.mmmm or dddmm.mmmm: degrees from the first degreeChars characters,
// minutes from the 8 characters after them.
double FieldAngle(const NmeaFields& fields, int index, size_t degreeChars, const char* negative)
{
    const std::string text = FieldText(fields, index);
    const std::string degreesText = text.substr(0, degreeChars);
    const std::string minutesText = text.size() > degreeChars ? text.substr(degreeChars, 8) : std::string();
    const double angle =
        (TextToReal(minutesText.c_str()) / 60 + TextToInt(degreesText.c_str())) * kPi / kHalfTurnDeg;
    return FieldText(fields, index + 1) == negative ? -angle : angle;
}

} // namespace

std::string ReferenceLatText(double latRad)
{
    const DegreesMinutes dm = SplitAngle(latRad, 99);
    return Format("%02d\xB0%08.5lf%c", dm.degrees, dm.minutes, Hemisphere(latRad, 'N', 'S'));
}

std::string ReferenceLonText(double lonRad)
{
    const DegreesMinutes dm = SplitAngle(lonRad, 999);
    return Format("%03d\xB0%08.5lf%c", dm.degrees, dm.minutes, Hemisphere(lonRad, 'E', 'W'));
}

std::string ReferenceAltText(double altM)
{
    if (!std::isfinite(altM))
        altM = 0;
    return PaddedFixedText(altM, 6, 1);
}

std::optional<double> ParseReferenceLat(const std::string& text) { return ParseAngle(text, 3, 90, 'N', 'S'); }
std::optional<double> ParseReferenceLon(const std::string& text) { return ParseAngle(text, 4, 180, 'E', 'W'); }

double ParseReferenceAlt(const std::string& text)
{
    const double altM = TextToReal(text.c_str());
    return std::isfinite(altM) ? altM : 0;
}

GeoPosition GgaPosition(const NmeaFields& gga)
{
    GeoPosition p;
    p.latRad = FieldAngle(gga, 2, 2, "S");
    p.lonRad = FieldAngle(gga, 4, 3, "W");
    p.altM = TextToReal(FieldText(gga, 9).c_str());
    return p;
}

int PixelOf(double coordinate)
{
    if (!(std::fabs(coordinate) < kFarPixel))
        return coordinate < 0 ? -kFarPixel : kFarPixel;
    return int(coordinate);
}

PlotOffsets ComputeOffsets(const GeoPosition& current, const GeoPosition& reference, double meanLat,
                           double meanLon, int radiusM)
{
    const float scale = float(kPlotPixelsPerRadius / std::max(radiusM, 1));
    const double eastPerRadian = std::cos(current.latRad) * kEastMetresPerRadian;
    PlotOffsets o;
    o.dN = (current.latRad - reference.latRad) * kNorthMetresPerRadian;
    o.dE = eastPerRadian * (current.lonRad - reference.lonRad);
    o.mN = (meanLat - reference.latRad) * kNorthMetresPerRadian;
    o.mE = eastPerRadian * (meanLon - reference.lonRad);
    o.y = PixelOf(kPlotCentre - o.dN * scale);
    o.x = PixelOf(o.dE * scale + kPlotCentre);
    return o;
}

std::string MetresText(double metres) { return FixedText(metres, 2) + " m"; }

GeoPosition RecentredReference(const GeoPosition& reference, int x, int y, int radiusM)
{
    const double c = std::cos(reference.latRad);
    const float metresPerPixel = float(std::max(radiusM, 1) / kPlotPixelsPerRadius);
    GeoPosition p = reference;
    p.latRad += (kPlotCentre - y) * double(metresPerPixel) / kNorthMetresPerRadian;
    p.latRad = std::clamp(p.latRad, -kPi / 2, kPi / 2);
    if (std::fabs(c) > kPoleCosine) {
        p.lonRad += (x - kPlotCentre) * double(metresPerPixel) / (c * kEastMetresPerRadian);
        if (std::isfinite(p.lonRad) && std::fabs(p.lonRad) > kPi)
            p.lonRad = std::remainder(p.lonRad, 2 * kPi);
    }
    return p;
}

UpDownStep StepAfterClick(int position, int tiers)
{
    UpDownStep step{position, 1};
    for (int t = 0, limit = 10; t < tiers; ++t, limit *= 10) {
        if (position > limit)
            step.increment = limit;
        if (position == limit + limit / 10)
            step.position = 2 * limit;
    }
    return step;
}

int32_t& GsvFillPosition()
{
    static int32_t fill = 0;
    return fill;
}

void LoadGsvSatellites(const NmeaFields& gsv, SatelliteList& list)
{
    int32_t& fill = GsvFillPosition();
    const int32_t total = FieldInt(gsv, 1);
    const int32_t number = FieldInt(gsv, 2);
    if (number == 1)
        fill = 0;
    const int dataFields = std::min<int>(gsv.count, kNmeaSlots) - 1;
    const int blocks = std::clamp((dataFields - 3) / kGsvBlockFields, 0,
                                  (kNmeaSlots - kGsvFirstBlockField) / kGsvBlockFields);
    for (int j = 0; j < blocks; ++j) {
        const int32_t k = fill + j;
        if (k < 0 || k >= kSatListMax)
            continue;
        const int first = kGsvFirstBlockField + kGsvBlockFields * j;
        SatelliteEntry& e = list.entry[k];
        e.number = uint8_t(FieldInt(gsv, first));
        if (e.number <= 32) {
            e.system = kSystemGps;
        } else if (e.number <= 64) {
            e.system = kSystemSbas;
            e.number = uint8_t(e.number + 87);
        } else {
            e.system = kSystemGlonass;
            e.number = uint8_t(e.number - 64);
        }
        e.elevationDeg = FieldInt(gsv, first + 1);
        e.azimuthDeg = FieldInt(gsv, first + 2);
        e.flag = FieldInt(gsv, first + 3) != 0 ? 1 : 0;
    }
    fill = std::min(fill + blocks, kGsvFillCap);
    if (total == number)
        list.count = uint8_t(std::clamp(fill, 0, kSatListMax));
}

void LoadBinrSatellites(const BinrDecoder& binr, SatelliteList& list)
{
    const int n = std::clamp(binr.SatInViewCount(), 0, kSatListMax);
    list.count = uint8_t(n);
    for (int i = 0; i < n; ++i) {
        const SatInView s = ReadSatInView(binr.SatInViewRecord(i));
        SatelliteEntry& e = list.entry[i];
        e.system = s.system;
        e.number = s.number;
        e.elevationDeg = s.elevationDeg;
        e.azimuthDeg = s.azimuthDeg;
        e.flag = s.snrDbHz != 0 ? 1 : 0;
    }
}

SkyPoint SkyPosition(int32_t elevationDeg, int32_t azimuthDeg)
{
    // 0 at the zenith, 141.5 pixels on the horizon.
    const int64_t halfSpan = (int64_t(90) - elevationDeg) * kPlotSize / 2;
    const float r = float(double(halfSpan) / 90);
    const double x = kPlotCentre + std::sin((180.0 - azimuthDeg) * kPi / kHalfTurnDeg) * r;
    const double y = kPlotCentre + std::cos((azimuthDeg + 180.0) * kPi / kHalfTurnDeg) * r;
    return {PixelOf(x), PixelOf(y)};
}
