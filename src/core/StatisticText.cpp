#include "StatisticText.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "PositionText.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr double kKnotsToMps = 1.852 * 0.2777777777777778;
constexpr double kRmsLimit = 99.99;
constexpr int32_t kDifferentialQuality = 2;
const char* const kNoLimit = "0.0";

// A BINR frame carries no checksum: line noise of the right length can hold
// NaN or 1e300 as a coordinate, and one such sample would spoil every mean
// and rms until the next reset. An NMEA field can name an impossible place
// too. Such a fix is offered (Nall) but never accepted.
constexpr double kMaxLatitudeRad = std::numbers::pi / 2;
constexpr double kMaxLongitudeRad = std::numbers::pi;
constexpr double kMaxHeightM = 1e6;
// Degrees read from text and turned into radians may land a rounding step
// beyond the pole or the antimeridian.
constexpr double kAngleSlackRad = 1e-12;

bool PhysicallyPossible(const StatisticFix& fix)
{
    return std::fabs(fix.latRad) <= kMaxLatitudeRad + kAngleSlackRad
           && std::fabs(fix.lonRad) <= kMaxLongitudeRad + kAngleSlackRad && std::fabs(fix.heightM) <= kMaxHeightM
           && std::isfinite(fix.speedMps);
}

bool WithinLimit(const std::string& limit, float value)
{
    return limit == kNoLimit || TextToReal(limit.c_str()) >= double(value);
}

std::string RmsText(double value)
{
    return value > kRmsLimit ? std::string("*****") : FixedText(value, 2);
}

} // namespace

StatisticFix StatisticFixFromNmea(const NmeaAssembler& nmea)
{
    const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
    const NmeaFields& rmc = nmea.Stored(NmeaKind::Rmc);
    const NmeaFields& gsa = nmea.Stored(NmeaKind::Gsa);
    StatisticFix fix;
    const int32_t quality = TextToInt(NmeaField(gga, 6));
    fix.valid = quality != 0;
    fix.differential = quality == kDifferentialQuality;
    fix.hdop = float(TextToReal(NmeaField(gga, 8)));
    fix.vdop = gsa.count > 0 ? float(TextToReal(NmeaField(gsa, gsa.count - 1))) : 0.0f;
    fix.latRad = GgaLatitude(gga);
    fix.lonRad = GgaLongitude(gga);
    fix.heightM = TextToReal(NmeaField(gga, 9));
    fix.speedMps = TextToReal(NmeaField(rmc, 7)) * kKnotsToMps;
    return fix;
}

StatisticFix StatisticFixFromNmea(const NmeaAssembler& nmea, const GnssPicture& gnss)
{
    constexpr int32_t kRtkFixed = 4, kRtkFloat = 5;
    StatisticFix fix = StatisticFixFromNmea(nmea);
    const int32_t quality = TextToInt(NmeaField(nmea.Stored(NmeaKind::Gga), 6));
    fix.differential = quality == kDifferentialQuality || quality == kRtkFixed || quality == kRtkFloat;
    fix.vdop = std::isnan(gnss.vdop) ? 0.0f : float(gnss.vdop);
    return fix;
}

StatisticFix StatisticFixFromBinr(const BinrDecoder& binr)
{
    return StatisticFixFromBinr(ReadNavSolution(binr.NavSolution()), ReadDopInfo(binr.DopInfo()));
}

StatisticFix StatisticFixFromBinr(const NavSolution& nav, const DopInfo& dop)
{
    StatisticFix fix;
    fix.valid = nav.flags & kSolutionValid;
    fix.differential = nav.flags & kSolutionDiff;
    fix.hdop = dop.hdop;
    fix.vdop = dop.vdop;
    fix.latRad = nav.latRad;
    fix.lonRad = nav.lonRad;
    fix.heightM = nav.altM;
    fix.speedMps = std::sqrt(nav.velNorthMps * nav.velNorthMps + nav.velEastMps * nav.velEastMps);
    return fix;
}

FixVerdict JudgeFix(const StatisticFix& fix, const std::string& hdopLimit, const std::string& vdopLimit, bool diffOnly)
{
    if (!fix.valid)
        return FixVerdict::NoSolution;
    if (!PhysicallyPossible(fix))
        return FixVerdict::Impossible;
    if (!WithinLimit(hdopLimit, fix.hdop))
        return FixVerdict::AboveHdopLimit;
    if (!WithinLimit(vdopLimit, fix.vdop))
        return FixVerdict::AboveVdopLimit;
    if (diffOnly && !fix.differential)
        return FixVerdict::NotDifferential;
    return FixVerdict::Accepted;
}

FixLimitValues ReadFixLimits(const std::string& hdopLimit, const std::string& vdopLimit, bool diffOnly)
{
    FixLimitValues limits;
    limits.hdopLimited = hdopLimit != kNoLimit;
    limits.maxHdop = TextToReal(hdopLimit.c_str());
    limits.vdopLimited = vdopLimit != kNoLimit;
    limits.maxVdop = TextToReal(vdopLimit.c_str());
    limits.diffOnly = diffOnly;
    return limits;
}

bool AcceptFix(const StatisticFix& fix, const FixLimitValues& limits)
{
    return fix.valid && PhysicallyPossible(fix) && (!limits.hdopLimited || limits.maxHdop >= double(fix.hdop))
           && (!limits.vdopLimited || limits.maxVdop >= double(fix.vdop)) && (!limits.diffOnly || fix.differential);
}

StatisticTexts StatisticTextsFrom(const StatisticsOutput& stats, int32_t n)
{
    StatisticTexts t;
    t.rms2D = RmsText(stats.rms2D);
    t.rmsH = RmsText(stats.rmsH);
    t.rmsV = RmsText(stats.rmsV);
    t.lat = LatToText(stats.meanLat);
    t.lon = LonToText(stats.meanLon);
    t.alt = PaddedFixedText(stats.meanH, 7, 1, true);
    t.n = std::to_string(n);
    return t;
}

StatisticTexts StatisticResetTexts()
{
    return {"00\xB0" "00.0000N", "000\xB0" "00.0000E", "+0000.0", "0.00", "0.00", "0.00", "0"};
}

std::string NextCountText(const std::string& current)
{
    return Format("%lld", static_cast<long long>(TextToInt(current.c_str())) + 1);
}
