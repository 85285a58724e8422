#pragma once
// BINR payloads and frames for the synthesis tests, written field by field
// from the wire layout so the tests do not lean on the readers they exercise.
#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace synth_test {

constexpr double kPi = 3.14159265358979323846;
inline double Rad(double degrees) { return degrees * kPi / 180.0; }

template <typename T>
inline void Put(std::vector<uint8_t>& p, size_t at, T value)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));   // the test machine is little-endian, as the wire
    for (size_t i = 0; i < sizeof(T); ++i)
        p[at + i] = bytes[i];
}

// x87 double-extended: significand with explicit integer bit, then exponent
// (bias 16383) and sign.
inline void PutF80(std::vector<uint8_t>& p, size_t at, double value)
{
    uint64_t significand = 0;
    uint16_t exponentSign = 0;
    if (std::isnan(value)) {
        significand = 0xC000000000000000ull;
        exponentSign = 0x7FFF;
    } else if (std::isinf(value)) {
        significand = 0x8000000000000000ull;
        exponentSign = 0x7FFF;
    } else if (value != 0) {
        int exponent = 0;
        const double m = std::frexp(std::fabs(value), &exponent);   // [0.5, 1)
        significand = uint64_t(std::ldexp(m, 64));
        exponentSign = uint16_t(exponent - 1 + 16383);
    }
    if (std::signbit(value))
        exponentSign |= 0x8000;
    Put(p, at, significand);
    Put(p, at + 8, exponentSign);
}

struct Nav {
    double latDeg = 0;
    double lonDeg = 0;
    double altM = 0;
    float rms2DM = 0;
    double timeMs = 0;
    int16_t week = 0;
    double velNorthMps = 0;
    double velEastMps = 0;
    uint8_t flags = 0;
    bool rawRadians = false;   // lat/lon given in radians (hostile values)
};

inline std::vector<uint8_t> NavPayload(const Nav& n)
{
    std::vector<uint8_t> p(69, 0);
    Put(p, 0, n.rawRadians ? n.latDeg : Rad(n.latDeg));
    Put(p, 8, n.rawRadians ? n.lonDeg : Rad(n.lonDeg));
    Put(p, 16, n.altM);
    Put(p, 24, n.rms2DM);
    PutF80(p, 28, n.timeMs);
    Put(p, 38, n.week);
    Put(p, 40, n.velNorthMps);
    Put(p, 48, n.velEastMps);
    p[68] = n.flags;
    return p;
}

inline std::vector<uint8_t> DopPayload(int8_t gps, int8_t glonass, float hdop, float vdop)
{
    std::vector<uint8_t> p(10, 0);
    Put(p, 0, gps);
    Put(p, 1, glonass);
    Put(p, 2, hdop);
    Put(p, 6, vdop);
    return p;
}

inline std::vector<uint8_t> StatusPayload(uint32_t gpsUsed, uint32_t glonassUsed)
{
    std::vector<uint8_t> p(16, 0);
    Put(p, 4, gpsUsed);
    Put(p, 8, glonassUsed);
    return p;
}

struct Sat {
    uint8_t system;
    uint8_t number;
    int8_t elevationDeg;
    int16_t azimuthDeg;
    int8_t snrDbHz;
};

inline std::vector<uint8_t> SatPayload(const std::vector<Sat>& sats)
{
    std::vector<uint8_t> p(sats.size() * 7, 0);
    for (size_t i = 0; i < sats.size(); ++i) {
        p[7 * i] = sats[i].system;
        p[7 * i + 1] = sats[i].number;
        Put(p, 7 * i + 3, sats[i].elevationDeg);
        Put(p, 7 * i + 4, sats[i].azimuthDeg);
        Put(p, 7 * i + 6, sats[i].snrDbHz);
    }
    return p;
}

inline std::vector<uint8_t> Frame(uint8_t id, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> out(payload.size() * 2 + 4);
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), out.data(), int(out.size()));
    out.resize(size_t(n));
    return out;
}

inline void Append(std::vector<uint8_t>& stream, const std::vector<uint8_t>& frame)
{
    stream.insert(stream.end(), frame.begin(), frame.end());
}

// Feeds a frame; the decoder's result on its last byte.
inline int Feed(BinrDecoder& decoder, const std::vector<uint8_t>& frame)
{
    int last = 0;
    for (const uint8_t b : frame)
        last = decoder.PushByte(b);
    return last;
}

} // namespace synth_test
