#pragma once
// Texts of the POSITION window, computed from the decoders' kept records.
// The window only copies them into its labels, so every format, overflow
// rule and single-precision rounding lives here and is testable without Qt.
// Texts are 8-bit with 0xB0 as the degree sign.
#include <cstdint>
#include <string>

class NmeaAssembler;
class BinrDecoder;
struct NmeaFields;

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
    std::string status;
    bool noSolution = false;   // "OLD": red text and the sound cue
};

PositionTexts PositionFromNmea(const NmeaAssembler& nmea);
PositionTexts PositionFromBinr(const BinrDecoder& binr);

// --- NMEA field access shared by the numeric views ---------------------------

// Field k of a stored record; empty when the record has no such field, so a
// short or missing sentence reads as empty fields, never as stale slots.
const char* NmeaField(const NmeaFields& fields, int k);
// Characters first..last of field k, counted from 1, fewer when shorter.
std::string NmeaChars(const NmeaFields& fields, int k, int first, int last);
// Latitude of GGA fields 2-3 and longitude of fields 4-5, radians, double
// precision (the Position view rounds them to single precision itself).
double GgaLatitude(const NmeaFields& gga);
double GgaLongitude(const NmeaFields& gga);
// Truncates towards zero; NaN and values beyond the int32 range give 0 so
// that no received number can make the conversion undefined.
int32_t TruncToInt32(double value);
