#include "SimBinr.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

constexpr double kGpsEpochUnix = 315964800.0;   // 6 January 1980, 00:00 UTC
constexpr int64_t kWeekMs = 7LL * 86400 * 1000;
constexpr int kWeekModulus = 1024;
constexpr int kF80Bias = 16383;

template <typename T>
void PutBits(Bytes& out, T v)
{
    static_assert(sizeof(T) == 4 || sizeof(T) == 8);
    using U = std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t>;
    U u;
    std::memcpy(&u, &v, sizeof u);
    for (size_t i = 0; i < sizeof u; ++i)
        out.push_back(uint8_t(u >> (8 * i)));
}

} // namespace

void PutU16(Bytes& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void PutU32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutF32(Bytes& out, float v) { PutBits(out, v); }
void PutF64(Bytes& out, double v) { PutBits(out, v); }

void PutF80(Bytes& out, double v)
{
    uint64_t significand = 0;
    uint16_t signExponent = 0;
    if (std::isfinite(v) && v != 0) {
        int exponent = 0;
        const double m = std::frexp(std::fabs(v), &exponent);   // v = m * 2^exponent, m in [0.5, 1)
        // m * 2^64 is below 2^64 and, with 53 significant bits, exact.
        significand = uint64_t(std::ldexp(m, 64));
        signExponent = uint16_t((exponent - 1 + kF80Bias) & 0x7FFF);
        if (v < 0)
            signExponent |= 0x8000;
    }
    for (int i = 0; i < 8; ++i)
        out.push_back(uint8_t(significand >> (8 * i)));
    PutU16(out, signExponent);
}

void AppendFrame(Bytes& out, uint8_t id, const Bytes& payload)
{
    // Room for the worst case: every payload byte a DLE, doubled.
    const size_t at = out.size();
    const int room = int(4 + 2 * payload.size());
    out.resize(at + size_t(room));
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), out.data() + at, room);
    out.resize(at + size_t(n));
}

GpsTime GpsTimeOf(double unixTime)
{
    const int64_t ms = std::llround((unixTime - kGpsEpochUnix) * 1000.0);
    int64_t week = ms / kWeekMs;
    int64_t rest = ms % kWeekMs;
    if (rest < 0) {
        rest += kWeekMs;
        --week;
    }
    return {int(week), double(rest)};
}

Bytes NavSolutionPayload(const Epoch& e)
{
    const GpsTime t = GpsTimeOf(e.unixTime);
    Bytes p;
    p.reserve(kNavSolutionSize);
    PutF64(p, e.latRad);
    PutF64(p, e.lonRad);
    PutF64(p, e.altM);
    PutF32(p, e.rms2DM);
    PutF80(p, t.timeOfWeekMs);
    PutU16(p, uint16_t(t.fullWeek % kWeekModulus));
    PutF64(p, e.velNorthMps);
    PutF64(p, e.velEastMps);
    PutF64(p, e.velUpMps);     // the receiver's own; the program skips these 12 bytes
    PutU32(p, 0);
    uint8_t flags = 0;
    if (e.valid)
        flags |= kSolutionValid;
    if (e.valid && e.diff)
        flags |= kSolutionDiff;
    p.push_back(flags);
    return p;
}

Bytes DopInfoPayload(const Epoch& e)
{
    Bytes p;
    p.push_back(uint8_t(e.gpsUsed));
    p.push_back(uint8_t(e.glonassUsed));
    PutF32(p, e.hdop);
    PutF32(p, e.vdop);
    return p;
}

Bytes SolutionStatusPayload(const Epoch& e)
{
    Bytes p;
    p.push_back(e.indicatorsA);
    p.push_back(e.indicatorsB);
    PutU16(p, 0);
    PutU32(p, e.gpsMask);
    PutU32(p, e.glonassMask);
    PutU32(p, 0);
    for (size_t i = 0; i < e.bad.size() && i < size_t(kBadSatMax); ++i) {
        p.push_back(e.bad[i].number);
        PutF32(p, e.bad[i].residualM);
    }
    return p;
}

Bytes SatInViewPayload(const Epoch& e)
{
    Bytes p;
    uint8_t channel = 0;
    for (const SimSatellite& s : e.inView) {
        if (channel == kSatInViewMax)
            break;
        p.push_back(s.system);
        p.push_back(s.number);
        p.push_back(channel++);
        p.push_back(uint8_t(int8_t(std::lround(s.elevationDeg))));
        PutU16(p, uint16_t(int16_t(std::lround(s.azimuthDeg) % 360)));
        p.push_back(uint8_t(int8_t(s.snrDbHz)));
    }
    return p;
}

Bytes DeviceInfoPayload(const std::string& text)
{
    Bytes p(kDeviceInfoSize, 0);
    const size_t n = std::min(text.size(), size_t(kDeviceTextMax - 1));
    std::memcpy(p.data() + 1, text.data(), n);
    return p;
}

Bytes BinrEpoch(const Epoch& e)
{
    Bytes out;
    out.reserve(400);
    AppendFrame(out, kMsgSolutionStatus, SolutionStatusPayload(e));
    AppendFrame(out, kMsgDopInfo, DopInfoPayload(e));
    AppendFrame(out, kMsgNavSolution, NavSolutionPayload(e));
    AppendFrame(out, kMsgSatInView, SatInViewPayload(e));
    return out;
}

bool CommandReader::Push(uint8_t b)
{
    if (!inFrame_ && dlePending_ && b != kEtx && b != kDle) {
        dlePending_ = false;
        inFrame_ = true;
        haveId_ = false;
        payload_.clear();
    }
    if (inFrame_ && dlePending_ && b == kEtx) {
        inFrame_ = dlePending_ = false;
        return haveId_;
    }
    if (b == kDle) {
        if (!dlePending_) {
            dlePending_ = true;
            return false;
        }
        dlePending_ = false;
    } else if (dlePending_) {
        dlePending_ = false;
    }
    if (!inFrame_)
        return false;
    if (!haveId_) {
        id_ = b;
        haveId_ = true;
    } else {
        payload_.push_back(b);
    }
    if (payload_.size() + 1 >= kFrameMax)
        inFrame_ = dlePending_ = false;
    return false;
}
