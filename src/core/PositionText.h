#pragma once
// Texts of the POSITION window, computed from the decoders' kept records.
// The window only copies them into its labels, so every format, overflow
// rule and single-precision rounding lives here and is testable without Qt.
// Texts are 8-bit with 0xB0 as the degree sign.
#include "NmeaAssembler.h"

#include <cstdint>
#include <string>

class BinrDecoder;
struct GnssPicture;
class DatePolicy;

struct PositionTexts {
    std::string utc;
    std::string date;
    std::string lat;
    std::string lon;
    std::string alt;
    std::string rms2D;
    std::string hdop;
    std::string vdop;
    bool vdopSet = true;       // false: VDOPLabel keeps its text (no GSA stored yet)
    std::string speed;
    std::string course;
    std::string gps;
    std::string gln;
    std::string used;          // Multi-GNSS only: satellites used by every system (All:)
    std::string status;
    bool noSolution = false;   // "OLD": red text and the sound cue
};

PositionTexts PositionFromNmea(const NmeaAssembler& nmea);
// The date takes its week's cycle from the source's policy.
PositionTexts PositionFromBinr(const BinrDecoder& binr, const DatePolicy& dates);
// Multi-GNSS: the last completed epoch. Time, position and date from its own
// fix and RMC; GPS and GLONASS counts, VDOP and fix type from the merged
// GSAs; "All:" (UsedLabel) counts every system of its GSAs (its GGAs' counts
// added up when it had none); status words for GGA qualities 4 (RTK),
// 5 (FLOAT), 6 (DR), 7 (MANUAL) and 8 (SIM) besides " DIFF" for 2. Without
// any GSA the dimension is 3D when the fix has a height, else not shown.
PositionTexts PositionFromNmea(const NmeaAssembler& nmea, const GnssPicture& gnss);
// The status word of a GGA quality and a GSA fix type (2 or 3; anything
// else: no dimension word) with Multi-GNSS on.
std::string MultiGnssStatus(int32_t quality, int32_t fixType);

// --- NMEA field access shared by the numeric views ---------------------------

// Field k of a stored record; empty when the record has no such field, so a
// short or missing sentence reads as empty fields, never as stale slots.
// Inline: the report reads several fields of every sentence.
inline const char* NmeaField(const NmeaFields& fields, int k)
{
    if (k < 0 || k >= fields.count || k >= kNmeaSlots)
        return "";
    return fields.slot[k];
}
// Characters first..last of field k, counted from 1, fewer when shorter.
std::string NmeaChars(const NmeaFields& fields, int k, int first, int last);
// Latitude of GGA fields 2-3 and longitude of fields 4-5, radians, double
// precision (the Position view rounds them to single precision itself).
double GgaLatitude(const NmeaFields& gga);
double GgaLongitude(const NmeaFields& gga);
// Truncates towards zero; NaN and values beyond the int32 range give 0 so
// that no received number can make the conversion undefined.
int32_t TruncToInt32(double value);
