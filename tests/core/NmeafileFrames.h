#pragma once
// BINR payloads and frames for the synthesis tests, written by the BINR
// encoder from fields in the units a test states them in.
#include "Angles.h"
#include "BinrDecoder.h"
#include "BinrEncoder.h"

#include <cstdint>
#include <vector>

namespace synth_test {

inline double Rad(double degrees) { return degrees * kPi / kHalfTurnDeg; }

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
    return NavSolutionPayload({n.rawRadians ? n.latDeg : Rad(n.latDeg), n.rawRadians ? n.lonDeg : Rad(n.lonDeg), n.altM,
                               n.rms2DM, n.timeMs, n.week, n.velNorthMps, n.velEastMps, n.flags});
}

inline std::vector<uint8_t> DopPayload(int8_t gps, int8_t glonass, float hdop, float vdop)
{
    return DopInfoPayload({gps, glonass, hdop, vdop});
}

inline std::vector<uint8_t> StatusPayload(uint32_t gpsUsed, uint32_t glonassUsed)
{
    return SolutionStatusPayload({0, 0, gpsUsed, glonassUsed}, {});
}

using Sat = SatInView;

inline std::vector<uint8_t> SatPayload(const std::vector<Sat>& sats) { return SatInViewPayload(sats); }

inline std::vector<uint8_t> Frame(uint8_t id, const std::vector<uint8_t>& payload) { return BinrFrame(id, payload); }

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
