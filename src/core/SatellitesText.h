#pragma once
// Contents of the SATELLITES window: which of the fourteen status indicators
// are lit and the four satellite lists (used and bad, GPS and GLONASS). Each
// list is a run of "number blank" entries in the order found.
#include <array>
#include <cstdint>
#include <string>

class NmeaAssembler;
class BinrDecoder;
struct GnssPicture;

constexpr int kIndicatorCount = 14;

struct IndicatorDef {
    const char* caption;
    int x;            // left edge on the indicator row, pixels
    int byte;         // status byte of message 0x93
    int bit;
};

// In window order; the headless lit list follows it too.
extern const std::array<IndicatorDef, kIndicatorCount> kIndicators;

struct SatellitesTexts {
    std::array<bool, kIndicatorCount> lit{};
    std::string gps;
    std::string gln;
    std::string badGps;
    std::string badGln;
    // Multi-GNSS only.
    std::string gal;
    std::string bds;
    std::string qzs;
};

SatellitesTexts SatellitesFromNmea(const NmeaAssembler& nmea);
SatellitesTexts SatellitesFromBinr(const BinrDecoder& binr);
// Multi-GNSS: the merged GSAs of the last epoch, each system's own numbers
// (GLONASS slots, BeiDou and QZSS PRNs).
SatellitesTexts SatellitesFromGnss(const GnssPicture& gnss);
// Captions of the lit indicators in window order, joined by ",".
std::string LitCaptions(const std::array<bool, kIndicatorCount>& lit);
