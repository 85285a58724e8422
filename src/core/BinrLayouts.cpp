#include "BinrLayouts.h"

#include "Angles.h"
#include "BinrDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kF80ExponentBias = 16383;
constexpr int kF80FractionBits = 63;      // the significand is integer bit + 63
constexpr int kF80ExponentMax = 0x7FFF;
constexpr int kDoubleSubnormalExponent = -1074; // the quantum of the smallest doubles
constexpr int kDoubleMinExponent = -1022;
constexpr uint64_t kF80IntegerBit = uint64_t(1) << 63;
constexpr int kDoubleExponentBias = 1023;
constexpr int kDoubleFractionBits = 52;
constexpr int kDoubleExponentMax = 2046;        // of a finite double
// Biased exponents whose value is a normal double even after the significand
// rounds up to the next power of two.
constexpr int kF80NormalFirst = kF80ExponentBias - kDoubleExponentBias + 1;
constexpr int kF80NormalLast = kF80ExponentBias - kDoubleExponentBias + kDoubleExponentMax - 1;

// Offsets in message 0x88.
constexpr int kNavLat = 0;
constexpr int kNavLon = 8;
constexpr int kNavAlt = 16;
constexpr int kNavRms2D = 24;
constexpr int kNavTime = 28;
constexpr int kNavWeek = 38;
constexpr int kNavVelNorth = 40;
constexpr int kNavVelEast = 48;
constexpr int kNavFlags = 68;
// Offsets in message 0x60, 0x93 and one record of 0x52.
constexpr int kDeviceText = 1;

// NMEA satellite numbering.
constexpr int kGlonassIdOffset = 64;
constexpr int kSbasIdOffset = 87;

constexpr float kFullCircleDeg = 360.0f;
constexpr double kSecondsPerMs = 0.001;

uint64_t ReadU64(const uint8_t* p)
{
    // Every 0x88 reads six of these; the compiler does not merge the byte
    // loop into one load.
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&v, p, sizeof v);
    } else {
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | p[i];
    }
    return v;
}

// m x 2^exp2 rounded once to the nearest double, ties to even, also where the
// result falls among the subnormals (where rounding m first would round twice).
double ScaleSignificand(uint64_t m, int exp2)
{
    const int top = 63 - std::countl_zero(m);
    if (top + exp2 >= kDoubleMinExponent)
        return std::ldexp(double(m), exp2); // one rounding; overflow gives infinity
    const int shift = kDoubleSubnormalExponent - exp2; // > 11 here
    uint64_t q = 0;
    if (shift < 64) {
        q = m >> shift;
        const uint64_t rest = m & ((uint64_t(1) << shift) - 1);
        const uint64_t half = uint64_t(1) << (shift - 1);
        if (rest > half || (rest == half && (q & 1)))
            ++q;
    } else if (shift == 64 && m > kF80IntegerBit) {
        q = 1;
    }
    return std::ldexp(double(q), kDoubleSubnormalExponent);
}

} // namespace

int BuildBinrFrame(uint8_t id, const uint8_t* payload, int length, uint8_t* out, int outSize)
{
    int n = 0;
    auto put = [&](uint8_t b) {
        if (n < outSize)
            out[n] = b;
        ++n;
    };
    put(kDle);
    put(id);
    for (int i = 0; i < length; ++i) {
        put(payload[i]);
        if (payload[i] == kDle)
            put(kDle);
    }
    put(kDle);
    put(kEtx);
    return n <= outSize ? n : 0;
}

int16_t ReadI16(const uint8_t* p)
{
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
}

double ReadF64(const uint8_t* p)
{
    return std::bit_cast<double>(ReadU64(p));
}

// Encodings an x87 refuses (an integer bit that contradicts the exponent) read
// as NaN, as the x87 itself would load them.
double ReadF80(const uint8_t* p)
{
    const uint64_t m = ReadU64(p);
    const int signExp = p[8] | (p[9] << 8);
    const bool negative = (signExp & 0x8000) != 0;
    const int e = signExp & kF80ExponentMax;
    double v;
    if (e >= kF80NormalFirst && e <= kF80NormalLast && (m & kF80IntegerBit)) {
        // Normal to normal, what every real time of week is: converting m
        // rounds once, and the power of two is added to the exponent field
        // exactly, as ldexp would.
        const uint64_t rounded = std::bit_cast<uint64_t>(double(m));
        const int64_t exponent = int64_t(e) - kF80ExponentBias - kF80FractionBits;
        v = std::bit_cast<double>(rounded + (uint64_t(exponent) << kDoubleFractionBits));
    } else if (e == kF80ExponentMax) {
        const bool infinity = m == kF80IntegerBit;
        v = infinity ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    } else if (e != 0 && !(m & kF80IntegerBit)) {
        v = std::numeric_limits<double>::quiet_NaN();
    } else if (m == 0) {
        v = 0.0;
    } else {
        const int exponent = (e == 0 ? 1 : e) - kF80ExponentBias - kF80FractionBits;
        v = ScaleSignificand(m, exponent);
    }
    return negative ? -v : v;
}

NavSolution ReadNavSolution(const uint8_t* payload)
{
    NavSolution s;
    s.latRad = ReadF64(payload + kNavLat);
    s.lonRad = ReadF64(payload + kNavLon);
    s.altM = ReadF64(payload + kNavAlt);
    s.rms2DM = ReadF32(payload + kNavRms2D);
    s.timeOfWeekMs = ReadF80(payload + kNavTime);
    s.week = ReadI16(payload + kNavWeek);
    s.velNorthMps = ReadF64(payload + kNavVelNorth);
    s.velEastMps = ReadF64(payload + kNavVelEast);
    s.flags = payload[kNavFlags];
    return s;
}

void ReadDeviceText(const uint8_t* payload, char* out)
{
    int n = 0;
    while (n < kDeviceTextMax && payload[kDeviceText + n] != 0) {
        out[n] = char(payload[kDeviceText + n]);
        ++n;
    }
    out[n] = '\0';
}

// Systems other than GLONASS and SBAS keep their number, as GPS does.
int NmeaSatelliteId(uint8_t system, uint8_t number)
{
    switch (system) {
    case kSystemGlonass:
        return number + kGlonassIdOffset;
    case kSystemSbas:
        return number - kSbasIdOffset;
    default:
        return number;
    }
}

SpeedCourse SpeedAndCourse(double velNorthMps, double velEastMps)
{
    const float north = float(velNorthMps);
    const float east = float(velEastMps);
    SpeedCourse sc;
    sc.speedMps = float(std::sqrt(double(north) * north + double(east) * east));
    if (north == 0.0f && east == 0.0f) {
        sc.courseDeg = 0.0f;
    } else {
        sc.courseDeg = float(std::atan2(double(east), double(north)) * kDegPerRad);
        if (sc.courseDeg < 0.0f)
            sc.courseDeg += kFullCircleDeg;
    }
    return sc;
}

int32_t WholeSeconds(double timeMs)
{
    const double seconds = std::trunc(timeMs * kSecondsPerMs);
    if (std::isnan(seconds))
        return 0;
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    constexpr double kMin = std::numeric_limits<int32_t>::min();
    return int32_t(std::clamp(seconds, kMin, kMax));
}
