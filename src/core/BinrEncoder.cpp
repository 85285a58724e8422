#include "BinrEncoder.h"

#include "BinrDecoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

constexpr int kF80ExponentBias = 16383;
constexpr uint16_t kF80ExponentMax = 0x7FFF;
constexpr uint16_t kF80Sign = 0x8000;
constexpr uint64_t kF80IntegerBit = uint64_t(1) << 63;
constexpr uint64_t kF80QuietNan = kF80IntegerBit | (uint64_t(1) << 62);
constexpr int kSignificandBits = 64;

template <typename U>
void PutLittleEndian(BinrBytes& out, U v)
{
    for (size_t i = 0; i < sizeof v; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

} // namespace

void PutU16(BinrBytes& out, uint16_t v) { PutLittleEndian(out, v); }
void PutU32(BinrBytes& out, uint32_t v) { PutLittleEndian(out, v); }
void PutF32(BinrBytes& out, float v) { PutLittleEndian(out, std::bit_cast<uint32_t>(v)); }
void PutF64(BinrBytes& out, double v) { PutLittleEndian(out, std::bit_cast<uint64_t>(v)); }

void PutF80(BinrBytes& out, double v)
{
    uint64_t significand = 0;
    uint16_t signExponent = 0;
    if (std::isnan(v)) {
        significand = kF80QuietNan;
        signExponent = kF80ExponentMax;
    } else if (std::isinf(v)) {
        significand = kF80IntegerBit;
        signExponent = kF80ExponentMax;
    } else if (v != 0) {
        int exponent = 0;
        const double m = std::frexp(std::fabs(v), &exponent);   // v = m * 2^exponent, m in [0.5, 1)
        // m * 2^64 is below 2^64 and, with 53 significant bits, exact.
        significand = uint64_t(std::ldexp(m, kSignificandBits));
        signExponent = uint16_t(exponent - 1 + kF80ExponentBias);
    }
    if (std::signbit(v))
        signExponent |= kF80Sign;
    PutLittleEndian(out, significand);
    PutU16(out, signExponent);
}

void AppendBinrFrame(BinrBytes& out, uint8_t id, const BinrBytes& payload)
{
    // Room for the worst case: every payload byte a DLE, doubled.
    const size_t at = out.size();
    const int room = int(4 + 2 * payload.size());
    out.resize(at + size_t(room));
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), out.data() + at, room);
    out.resize(at + size_t(n));
}

BinrBytes BinrFrame(uint8_t id, const BinrBytes& payload)
{
    BinrBytes out;
    AppendBinrFrame(out, id, payload);
    return out;
}

BinrBytes NavSolutionPayload(const NavSolution& s, double velUpMps)
{
    BinrBytes p;
    p.reserve(kNavSolutionSize);
    PutF64(p, s.latRad);
    PutF64(p, s.lonRad);
    PutF64(p, s.altM);
    PutF32(p, s.rms2DM);
    PutF80(p, s.timeOfWeekMs);
    PutU16(p, uint16_t(s.week));
    PutF64(p, s.velNorthMps);
    PutF64(p, s.velEastMps);
    PutF64(p, velUpMps);
    PutU32(p, 0);
    p.push_back(s.flags);
    return p;
}

BinrBytes DopInfoPayload(const DopInfo& d)
{
    BinrBytes p;
    p.reserve(kDopInfoSize);
    p.push_back(uint8_t(d.gpsCount));
    p.push_back(uint8_t(d.glonassCount));
    PutF32(p, d.hdop);
    PutF32(p, d.vdop);
    return p;
}

BinrBytes SolutionStatusPayload(const SolutionStatus& s, const std::vector<BadSatellite>& bad)
{
    BinrBytes p;
    p.push_back(s.indicatorsA);
    p.push_back(s.indicatorsB);
    PutU16(p, 0);
    PutU32(p, s.gpsUsed);
    PutU32(p, s.glonassUsed);
    PutU32(p, 0);
    for (const BadSatellite& b : bad) {
        p.push_back(b.number);
        PutF32(p, b.residualM);
    }
    return p;
}

BinrBytes SatInViewPayload(const std::vector<SatInView>& sats)
{
    BinrBytes p;
    uint8_t channel = 0;
    for (const SatInView& s : sats) {
        p.push_back(s.system);
        p.push_back(s.number);
        p.push_back(channel++);
        p.push_back(uint8_t(s.elevationDeg));
        PutU16(p, uint16_t(s.azimuthDeg));
        p.push_back(uint8_t(s.snrDbHz));
    }
    return p;
}

BinrBytes PortSettingPayload(uint32_t baud, uint8_t portMode)
{
    BinrBytes p;
    p.reserve(kPortSettingSize);
    p.push_back(0);
    PutU32(p, baud);
    p.push_back(portMode);
    return p;
}

BinrBytes DeviceInfoPayload(std::string_view text)
{
    BinrBytes p(kDeviceInfoSize, 0);
    const size_t n = std::min(text.size(), size_t(kDeviceTextMax - 1));
    std::memcpy(p.data() + 1, text.data(), n);
    return p;
}
