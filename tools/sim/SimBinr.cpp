#include "SimBinr.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kGpsEpochUnix = 315964800.0;   // 6 January 1980, 00:00 UTC
constexpr int64_t kWeekMs = 7LL * 86400 * 1000;
constexpr int kWeekModulus = 1024;

} // namespace

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
    uint8_t flags = 0;
    if (e.valid)
        flags |= kSolutionValid;
    if (e.valid && e.diff)
        flags |= kSolutionDiff;
    const NavSolution s{e.latRad, e.lonRad, e.altM, e.rms2DM, t.timeOfWeekMs, int16_t(t.fullWeek % kWeekModulus),
                        e.velNorthMps, e.velEastMps, flags};
    return NavSolutionPayload(s, e.velUpMps);   // the program skips the vertical velocity
}

Bytes DopInfoPayload(const Epoch& e)
{
    return DopInfoPayload(DopInfo{int8_t(e.gpsUsed), int8_t(e.glonassUsed), e.hdop, e.vdop});
}

Bytes SolutionStatusPayload(const Epoch& e)
{
    // A receiver reports kBadSatMax entries at the most.
    const std::vector<BadSatellite> bad(e.bad.begin(), e.bad.begin() + long(std::min(e.bad.size(), size_t(kBadSatMax))));
    return SolutionStatusPayload(SolutionStatus{e.indicatorsA, e.indicatorsB, e.gpsMask, e.glonassMask}, bad);
}

Bytes SatInViewPayload(const Epoch& e)
{
    std::vector<SatInView> sats;   // kSatInViewMax channels
    for (const SimSatellite& s : e.inView)
        if (sats.size() < size_t(kSatInViewMax))
            sats.push_back({s.system, s.number, int8_t(std::lround(s.elevationDeg)),
                        int16_t(std::lround(s.azimuthDeg) % 360), int8_t(s.snrDbHz)});
    return SatInViewPayload(sats);
}

Bytes BinrEpoch(const Epoch& e)
{
    Bytes out;
    out.reserve(400);
    AppendBinrFrame(out, kMsgSolutionStatus, SolutionStatusPayload(e));
    AppendBinrFrame(out, kMsgDopInfo, DopInfoPayload(e));
    AppendBinrFrame(out, kMsgNavSolution, NavSolutionPayload(e));
    AppendBinrFrame(out, kMsgSatInView, SatInViewPayload(e));
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
