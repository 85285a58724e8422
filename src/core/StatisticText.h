#pragma once
// The fix rule and the texts of the STATISTIC window. A fix offered by either
// protocol becomes a StatisticFix; JudgeFix applies the window's limits (the
// one rule: the fix pipeline and the report collector both follow it); an
// accepted fix feeds its source's accumulator (Util) and the texts are made
// from its outputs. Texts are 8-bit with 0xB0 as the degree sign.
#include "Util.h"

#include <cstdint>
#include <string>

class NmeaAssembler;
class BinrDecoder;
struct GnssPicture;
struct NavSolution;
struct DopInfo;

struct StatisticFix {
    bool valid = false;
    bool differential = false;
    float hdop = 0;          // the receiver's value, held in single precision
    float vdop = 0;
    double latRad = 0;       // the sample, double precision
    double lonRad = 0;
    double heightM = 0;
    double speedMps = 0;
};

StatisticFix StatisticFixFromNmea(const NmeaAssembler& nmea);
// Multi-GNSS: RTK fixed and float (GGA qualities 4 and 5) count as
// differential too, and VDOP comes from the merged GSAs.
StatisticFix StatisticFixFromNmea(const NmeaAssembler& nmea, const GnssPicture& gnss);
StatisticFix StatisticFixFromBinr(const BinrDecoder& binr);
// The same from the two records already read (0x88 and 0x60).
StatisticFix StatisticFixFromBinr(const NavSolution& nav, const DopInfo& dop);

// The limits are the texts of the two edits as read back (unfilled places as
// blanks); exactly "0.0" means no limit. A fix is never accepted with a
// latitude, longitude or height that is not finite or beyond 90 degrees,
// 180 degrees or 10^6 m, nor with a speed that is not finite.
// The first reason found, in this order, is the one given.
enum class FixVerdict : uint8_t {
    Accepted,
    NoSolution,        // the receiver marks the fix invalid
    Impossible,        // a coordinate, height or speed no place on earth has
    AboveHdopLimit,
    AboveVdopLimit,
    NotDifferential,   // DIFF only, and the fix is not differential
};
FixVerdict JudgeFix(const StatisticFix& fix, const std::string& hdopLimit, const std::string& vdopLimit, bool diffOnly);
inline bool AcceptFix(const StatisticFix& fix, const std::string& hdopLimit, const std::string& vdopLimit, bool diffOnly)
{
    return JudgeFix(fix, hdopLimit, vdopLimit, diffOnly) == FixVerdict::Accepted;
}
// The same limits read once, for a caller that judges every fix of a
// recording: the same decisions without reading the texts each time.
struct FixLimitValues {
    bool hdopLimited = false;
    double maxHdop = 0;
    bool vdopLimited = false;
    double maxVdop = 0;
    bool diffOnly = false;
};
FixLimitValues ReadFixLimits(const std::string& hdopLimit, const std::string& vdopLimit, bool diffOnly);
bool AcceptFix(const StatisticFix& fix, const FixLimitValues& limits);

struct StatisticTexts {
    std::string lat;
    std::string lon;
    std::string alt;
    std::string rms2D;
    std::string rmsH;
    std::string rmsV;
    std::string n;
};

StatisticTexts StatisticTextsFrom(const StatisticsOutput& stats, int32_t n);
// What the labels read right after ResetStatistics.
StatisticTexts StatisticResetTexts();
// The offered-fix counter: the current text read as an integer, plus 1.
std::string NextCountText(const std::string& current);
