#include "PositionText.h"

#include "Angles.h"
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "Util.h"
#include "WeekRollover.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double kHalfTurnsPerDeg = 0.005555555555555556;   // 1/180
constexpr double kKnotsToKmh = 1.852;
constexpr double kMpsToKmh = 3.6;
constexpr double kMsToSeconds = 0.001;
constexpr double kDopLimit = 99.9;
constexpr double kNmeaVdopLimit = 999;
constexpr int kGpsFirst = 1, kGpsLast = 32;
constexpr int kGlonassFirst = 65, kGlonassLast = 88;

const char* const kStars = "****";

std::string DopText(double value, double limit)
{
    return value > limit ? std::string(kStars) : FixedText(value, 1);
}

std::string AltText(double altM) { return PaddedFixedText(altM, 7, 1, true); }
std::string SpeedText(double kmh) { return PaddedFixedText(kmh, 5, 1) + " km/h"; }
std::string CourseText(double deg) { return PaddedFixedText(deg, 5, 1) + " \xB0"; }

// Degrees are the field's first degreeChars characters and minutes the 8
// after them, cut as NmeaChars cuts (fewer when the field is shorter). Byte
// by byte, with no library call and no copy of minutes that end the field:
// this runs twice for every fix a report reads.
double NmeaAngle(const NmeaFields& gga, int field, int degreeChars, char negative)
{
    constexpr int kMinuteChars = 8;
    const char* text = NmeaField(gga, field);
    const int cut = degreeChars + kMinuteChars;
    int length = 0;
    while (length <= cut && length < kNmeaSlotChars && text[length] != '\0')
        ++length;
    char degreeText[kNmeaSlotChars + 1], minuteText[kNmeaSlotChars + 1];
    const int degreeLength = std::min(length, degreeChars);
    for (int i = 0; i < degreeLength; ++i)
        degreeText[i] = text[i];
    degreeText[degreeLength] = '\0';
    const char* minutes = "";
    if (length > cut) {
        for (int i = 0; i < kMinuteChars; ++i)
            minuteText[i] = text[degreeChars + i];
        minuteText[kMinuteChars] = '\0';
        minutes = minuteText;
    } else if (length > degreeChars) {
        minutes = text + degreeChars;
    }
    const double degrees = TextToInt(degreeText);
    const double angle = (TextToReal(minutes) * kDegPerMinute + degrees) * kHalfTurnsPerDeg * kPi;
    const char* hemisphere = NmeaField(gga, field + 1);
    return hemisphere[0] == negative && hemisphere[1] == '\0' ? -angle : angle;
}

} // namespace

std::string NmeaChars(const NmeaFields& fields, int k, int first, int last)
{
    const char* text = NmeaField(fields, k);
    const size_t length = strnlen(text, kNmeaSlotChars);
    if (first < 1 || last < first || size_t(first) > length)
        return {};
    const size_t end = std::min(length, size_t(last));
    return std::string(text + first - 1, end - size_t(first - 1));
}

double GgaLatitude(const NmeaFields& gga) { return NmeaAngle(gga, 2, 2, 'S'); }
double GgaLongitude(const NmeaFields& gga) { return NmeaAngle(gga, 4, 3, 'W'); }

int32_t TruncToInt32(double value)
{
    if (!(value > -2147483649.0 && value < 2147483648.0))
        return 0;
    return int32_t(value);
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
// Time and position from the last GGA, date and motion from the last RMC,
// VDOP, fix type and satellites from the last GSA, rms2D from PVKTD.
namespace {

PositionTexts PositionFromRecords(const NmeaFields& gga, const NmeaFields& rmc, const NmeaFields& gsa,
                                  const NmeaFields& pvktd)
{
    PositionTexts t;

    t.utc = NmeaChars(gga, 1, 1, 2) + ":" + NmeaChars(gga, 1, 3, 4) + ":" + NmeaChars(gga, 1, 5, 6);
    // The window shows the position as the receiver's single-precision value.
    t.lat = LatToText(float(GgaLatitude(gga)));
    t.lon = LonToText(float(GgaLongitude(gga)));
    t.alt = AltText(float(TextToReal(NmeaField(gga, 9))));
    t.hdop = DopText(float(TextToReal(NmeaField(gga, 8))), kDopLimit);
    t.date = NmeaChars(rmc, 9, 1, 2) + "." + NmeaChars(rmc, 9, 3, 4) + "." + NmeaChars(rmc, 9, 5, 6);
    t.speed = SpeedText(float(TextToReal(NmeaField(rmc, 7)) * kKnotsToKmh));
    t.course = CourseText(float(TextToReal(NmeaField(rmc, 8))));
    t.vdopSet = gsa.count >= 1;
    if (t.vdopSet)
        t.vdop = DopText(float(TextToReal(NmeaField(gsa, gsa.count - 1))), kNmeaVdopLimit);
    t.rms2D = DopText(TextToReal(NmeaField(pvktd, 2)), kDopLimit);

    int gps = 0, gln = 0;
    for (int k = 3; k <= gsa.count - 4; ++k) {
        const int32_t id = TextToInt(NmeaField(gsa, k));
        if (id >= kGpsFirst && id <= kGpsLast)
            ++gps;
        else if (id >= kGlonassFirst && id <= kGlonassLast)
            ++gln;
    }
    t.gps = std::to_string(gps);
    t.gln = std::to_string(gln);

    const int32_t quality = TextToInt(NmeaField(gga, 6));
    const int32_t fixType = TextToInt(NmeaField(gsa, 2));
    if (quality == 0) {
        t.status = "OLD";
        t.noSolution = true;
    } else {
        t.status = fixType == 3 ? "3D" : "2D";
        if (quality == 2)
            t.status += " DIFF";
    }
    return t;
}

} // namespace

PositionTexts PositionFromNmea(const NmeaAssembler& nmea)
{
    return PositionFromRecords(nmea.Stored(NmeaKind::Gga), nmea.Stored(NmeaKind::Rmc), nmea.Stored(NmeaKind::Gsa),
                               nmea.Stored(NmeaKind::Pvktd));
}

std::string MultiGnssStatus(int32_t quality, int32_t fixType)
{
    enum : int32_t {
        kNoFix = 0, kDifferential = 2, kRtkFixed = 4, kRtkFloat = 5, kDeadReckoning = 6, kManual = 7, kSimulator = 8
    };
    switch (quality) {
    case kNoFix:
        return "OLD";
    case kRtkFixed:
        return "RTK";
    case kRtkFloat:
        return "FLOAT";
    case kDeadReckoning:
        return "DR";
    case kManual:
        return "MANUAL";
    case kSimulator:
        return "SIM";
    default: {
        const std::string dimension = fixType == 3 ? "3D" : fixType == 2 ? "2D" : "";
        if (quality != kDifferential)
            return dimension;
        return dimension.empty() ? "DIFF" : dimension + " DIFF";
    }
    }
}

// The shown epoch's own fix and RMC; the rest as without Multi-GNSS.
PositionTexts PositionFromNmea(const NmeaAssembler& nmea, const GnssPicture& gnss)
{
    const NmeaFields& gga = gnss.fix;
    PositionTexts t = PositionFromRecords(gga, gnss.rmc, nmea.Stored(NmeaKind::Gsa), nmea.Stored(NmeaKind::Pvktd));
    t.gps = std::to_string(gnss.UsedCount(Gnss::Gps));
    t.gln = std::to_string(gnss.UsedCount(Gnss::Glonass));
    // Two digits at most, as the window has room for; a GGA may say anything.
    constexpr int32_t kUsedShownMax = 99;
    t.used = std::to_string(gnss.gsaInEpoch ? gnss.usedCount : std::clamp(gnss.fixUsedSum, 0, kUsedShownMax));
    t.vdopSet = gnss.gsaSeen;
    if (t.vdopSet)
        t.vdop = std::isnan(gnss.vdop) ? std::string() : DopText(float(gnss.vdop), kNmeaVdopLimit);
    const int32_t quality = TextToInt(NmeaField(gga, 6));
    t.noSolution = quality == 0;
    // Without any GSA the dimension is what the fix shows: a height is 3D.
    const int32_t fixType = gnss.gsaSeen ? gnss.fixType : NmeaField(gga, 9)[0] != '\0' ? 3 : 0;
    t.status = MultiGnssStatus(quality, fixType);
    return t;
}

// Message 0x88 just received, with the last 0x60 (possibly older).
PositionTexts PositionFromBinr(const BinrDecoder& binr, const DatePolicy& dates)
{
    const NavSolution nav = ReadNavSolution(binr.NavSolution());
    const DopInfo dop = ReadDopInfo(binr.DopInfo());
    PositionTexts t;

    t.lat = LatToText(nav.latRad);
    t.lon = LonToText(nav.lonRad);
    t.alt = AltText(nav.altM);
    t.rms2D = DopText(nav.rms2DM, kDopLimit);
    const SpeedCourse motion = SpeedAndCourse(nav.velNorthMps, nav.velEastMps);
    t.speed = SpeedText(double(motion.speedMps) * kMpsToKmh);
    t.course = CourseText(motion.courseDeg);
    t.hdop = DopText(dop.hdop, kDopLimit);
    t.vdop = DopText(dop.vdop, kDopLimit);
    t.gps = std::to_string(int(dop.gpsCount));
    t.gln = std::to_string(int(dop.glonassCount));
    t.used = std::to_string(int(dop.gpsCount) + int(dop.glonassCount));

    const int32_t seconds = TruncToInt32(nav.timeOfWeekMs * kMsToSeconds);
    t.utc = TimeToText(seconds);
    t.date = GpsDateToText(seconds, dates.Week(seconds, nav.week));

    if (!(nav.flags & kSolutionValid)) {
        t.status = "OLD";
        t.noSolution = true;
    } else if (nav.flags & kSolutionCorr) {
        t.status = "CORR";
    } else {
        t.status = (nav.flags & kSolution2D) ? "2D" : "3D";
        if (nav.flags & kSolutionDiff)
            t.status += " diff";
    }
    return t;
}
