#include "SatellitesText.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "PositionText.h"
#include "Util.h"

#include <algorithm>

const std::array<IndicatorDef, kIndicatorCount> kIndicators = {{
    {"obs", 44, 0, 0},    {"2d", 72, 0, 1},     {"1d", 92, 0, 2},     {"rtcm", 112, 0, 3},
    {"raim", 140, 0, 4},  {"rs", 168, 0, 5},    {"ext", 184, 0, 6},   {"anom", 206, 0, 7},
    {"gps", 240, 1, 1},   {"gln", 264, 1, 2},   {"sbas", 286, 1, 3},  {"dsbas", 318, 1, 5},
    {"dgbas", 357, 1, 6}, {"rms", 396, 1, 7},
}};

namespace {

constexpr int kGlonassOffset = 64;
constexpr int kGpsFirst = 1, kGpsLast = 32;
constexpr int kGlonassFirst = 65, kGlonassLast = 88;
constexpr int kMaskBits = 32;

void Append(std::string& list, int number)
{
    list += std::to_string(number);
    list += ' ';
}

} // namespace

// $GPGSA,A,3,05,12,,,,,,,,,,,2.1,1.2,1.8*3C: fields 3 to count-4 are the IDs.
SatellitesTexts SatellitesFromNmea(const NmeaAssembler& nmea)
{
    const NmeaFields& gsa = nmea.Stored(NmeaKind::Gsa);
    SatellitesTexts t;
    for (int k = 3; k <= gsa.count - 4; ++k) {
        const int32_t id = TruncToInt32(TextToReal(NmeaField(gsa, k)));
        if (id >= kGpsFirst && id <= kGpsLast)
            Append(t.gps, id);
        else if (id >= kGlonassFirst && id <= kGlonassLast)
            Append(t.gln, id - kGlonassOffset);
    }
    return t;
}

SatellitesTexts SatellitesFromGnss(const GnssPicture& gnss)
{
    SatellitesTexts t;
    for (int i = 0; i < gnss.usedCount; ++i) {
        const SatelliteId& id = gnss.used[i].id;
        std::string* list = id.system == Gnss::Gps       ? &t.gps
                            : id.system == Gnss::Glonass ? &t.gln
                            : id.system == Gnss::Galileo ? &t.gal
                            : id.system == Gnss::BeiDou  ? &t.bds
                            : id.system == Gnss::Qzss    ? &t.qzs
                                                         : nullptr;
        if (list)
            Append(*list, id.number);
    }
    return t;
}

// The last 0x93 kept, which may be older than the 0x88 that triggers this.
SatellitesTexts SatellitesFromBinr(const BinrDecoder& binr)
{
    const uint8_t* header = binr.StatusHeader();
    const SolutionStatus status = ReadSolutionStatus(header);
    SatellitesTexts t;
    for (int i = 0; i < kIndicatorCount; ++i) {
        const uint8_t bits = kIndicators[size_t(i)].byte == 0 ? status.indicatorsA : status.indicatorsB;
        t.lit[size_t(i)] = (bits >> kIndicators[size_t(i)].bit) & 1;
    }
    for (int i = 0; i < kMaskBits; ++i) {
        if ((status.gpsUsed >> i) & 1u)
            Append(t.gps, i + 1);
        if ((status.glonassUsed >> i) & 1u)
            Append(t.gln, i + 1);
    }
    const int entries = std::clamp(binr.BadSatCount(), 0, kBadSatMax);
    for (int j = 0; j < entries; ++j) {
        const int number = int8_t(binr.BadSatNumber(j));
        if (number < kGlonassOffset)
            Append(t.badGps, number);
        else
            Append(t.badGln, number - kGlonassOffset);
    }
    return t;
}

std::string LitCaptions(const std::array<bool, kIndicatorCount>& lit)
{
    std::string out;
    for (int i = 0; i < kIndicatorCount; ++i) {
        if (!lit[size_t(i)])
            continue;
        if (!out.empty())
            out += ',';
        out += kIndicators[size_t(i)].caption;
    }
    return out;
}
