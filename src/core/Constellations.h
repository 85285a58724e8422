#pragma once
// Which constellation a satellite of a GSA or GSV belongs to, and its number
// within that constellation.
//
// Receivers say it in three ways, and the first one present wins:
//  1. the system ID at the end of a GSA (NMEA 4.10 and 4.11): 1 GPS,
//     2 GLONASS, 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC;
//  2. the talker of the sentence: GP, GL, GA, GB or BD, GQ, GI (GN, "all
//     systems", says nothing);
//  3. the satellite ID alone, by the ranges in common use (table in docs/guide.md).
// GPS, by either of the first two ways, is read by the ranges as well:
// receivers report SBAS and QZSS under it, and older ones GLONASS too. Numbers
// are turned into the constellation's own: GLONASS 65-96 become slots 1-32,
// BeiDou 201-263 and 401-463 PRNs 1-63, and so on.
#include <cstdint>

enum class Gnss : uint8_t { Unknown, Gps, Glonass, Galileo, BeiDou, Qzss, Navic, Sbas };
constexpr int kGnssCount = 8;

struct SatelliteId {
    Gnss system = Gnss::Unknown;
    uint16_t number = 0;

    bool operator==(const SatelliteId&) const = default;
};

// The system ID of a GSA field (one hex digit), Unknown when it names none of
// the six systems.
Gnss SystemFromSystemId(int systemId);
// The field as a system ID: an integer 1-15 alone in its field ("1" to "15",
// or one hex digit A-F); 0 for anything else, such as a receiver's own
// extra DOP ("3.3") where a system ID would stand.
int SystemIdOfField(const char* text);
// The talker of a sentence address ("GPGSA", "BDGSV"): Unknown for GN and
// anything else.
Gnss SystemFromTalker(const char* address);
// The satellite with the given ID, reported under the given system (Unknown:
// judged by the ID alone). IDs outside 1-999 give Unknown.
SatelliteId AssignSatellite(Gnss reportedAs, int32_t id);
// Three letters for texts and the sky plot's legend: GPS GLN GAL BDS QZS IRN SBS.
const char* GnssCaption(Gnss system);
