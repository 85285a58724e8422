#include "Constellations.h"

namespace {

constexpr int32_t kIdMax = 999;

struct Range {
    int32_t first;
    int32_t last;
    Gnss system;
    int32_t offset;   // subtracted to give the constellation's own number
};

// IDs judged alone. The ranges overlap between conventions; where they do,
// this table picks one (see docs/guide.md): 1-32 GPS, 33-64 SBAS (NMEA 2.3 to
// 4.0), 193-200 QZSS and 201-263 BeiDou (PRN + 200).
constexpr Range kRanges[] = {
    {1, 32, Gnss::Gps, 0},          {33, 64, Gnss::Sbas, -87},      {65, 96, Gnss::Glonass, 64},
    {120, 158, Gnss::Sbas, 0},      {193, 200, Gnss::Qzss, 192},    {201, 263, Gnss::BeiDou, 200},
    {301, 336, Gnss::Galileo, 300}, {401, 463, Gnss::BeiDou, 400},
};

// Under a named system: IDs that carry an offset there; others are taken as
// the constellation's own number.
constexpr Range kOwnRanges[] = {
    {65, 96, Gnss::Glonass, 64},   {301, 336, Gnss::Galileo, 300}, {201, 263, Gnss::BeiDou, 200},
    {401, 463, Gnss::BeiDou, 400}, {193, 202, Gnss::Qzss, 192},
};

// Reported as GPS, IDs are read by the table above: receivers from before
// NMEA 4.10 put GLONASS (65-96) and SBAS under GP too, and QZSS (193-202)
// is still reported there. Only QZSS reaches two IDs further.
constexpr Range kQzssUnderGps = {193, 202, Gnss::Qzss, 192};

SatelliteId Numbered(Gnss system, int32_t id, int32_t offset) { return {system, uint16_t(id - offset)}; }

} // namespace

Gnss SystemFromSystemId(int systemId)
{
    static constexpr Gnss kById[] = {Gnss::Unknown, Gnss::Gps,  Gnss::Glonass, Gnss::Galileo,
                                     Gnss::BeiDou,  Gnss::Qzss, Gnss::Navic};
    if (systemId < 1 || systemId >= int(sizeof kById / sizeof kById[0]))
        return Gnss::Unknown;
    return kById[systemId];
}

int SystemIdOfField(const char* text)
{
    constexpr int kSystemIdMax = 15;
    if (text == nullptr || text[0] == '\0')
        return 0;
    if (text[0] >= 'A' && text[0] <= 'F' && text[1] == '\0')
        return 10 + (text[0] - 'A');
    int value = 0;
    for (int i = 0; text[i] != '\0'; ++i) {
        if (i == 2 || text[i] < '0' || text[i] > '9')
            return 0;
        value = value * 10 + (text[i] - '0');
    }
    return value >= 1 && value <= kSystemIdMax ? value : 0;
}

Gnss SystemFromTalker(const char* address)
{
    struct Talker {
        char name[3];
        Gnss system;
    };
    static constexpr Talker kTalkers[] = {
        {"GP", Gnss::Gps},    {"GL", Gnss::Glonass}, {"GA", Gnss::Galileo}, {"GB", Gnss::BeiDou},
        {"BD", Gnss::BeiDou}, {"GQ", Gnss::Qzss},    {"GI", Gnss::Navic},
    };
    if (address == nullptr || address[0] == '\0' || address[1] == '\0')
        return Gnss::Unknown;
    for (const Talker& t : kTalkers)
        if (address[0] == t.name[0] && address[1] == t.name[1])
            return t.system;
    return Gnss::Unknown;
}

SatelliteId AssignSatellite(Gnss reportedAs, int32_t id)
{
    if (id < 1 || id > kIdMax)
        return {};
    if (reportedAs == Gnss::Unknown) {
        for (const Range& r : kRanges)
            if (id >= r.first && id <= r.last)
                return Numbered(r.system, id, r.offset);
        return {};
    }
    if (reportedAs == Gnss::Gps) {
        if (id >= kQzssUnderGps.first && id <= kQzssUnderGps.last)
            return Numbered(Gnss::Qzss, id, kQzssUnderGps.offset);
        const SatelliteId byRange = AssignSatellite(Gnss::Unknown, id);
        return byRange.system == Gnss::Unknown ? SatelliteId{Gnss::Gps, uint16_t(id)} : byRange;
    }
    for (const Range& r : kOwnRanges)
        if (r.system == reportedAs && id >= r.first && id <= r.last)
            return Numbered(r.system, id, r.offset);
    return {reportedAs, uint16_t(id)};
}

const char* GnssCaption(Gnss system)
{
    static constexpr const char* kCaptions[kGnssCount] = {"---", "GPS", "GLN", "GAL", "BDS", "QZS", "IRN", "SBS"};
    const int i = int(system);
    return i >= 0 && i < kGnssCount ? kCaptions[i] : kCaptions[0];
}
