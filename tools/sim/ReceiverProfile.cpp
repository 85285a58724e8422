#include "ReceiverProfile.h"

#include <cmath>

namespace {

constexpr double kDefaultDateUnix = 315964800.0;   // 6 January 1980, 00:00 UTC
constexpr float kNoDop = 99.9f;
// Epoch times are sums of 1/rate: ten tenths must reach a whole second.
constexpr double kTimeSlackS = 1e-6;

struct ProfileRow {
    SimBias bias;
    SimNoise noise;
    double coldStartS;
    SimDropout dropout;
};

// Documented in docs/guide.md ("Several receivers"): change both together.
constexpr ProfileRow kProfiles[kMaxReceivers] = {
    {{0, 0, 0}, {1.4, 2.6}, 0, {0, 0}},
    {{2.0, -1.5, 1.0}, {0.8, 1.5}, 15, {120, 6}},
    {{-3.0, 1.0, -2.0}, {2.2, 4.0}, 30, {90, 10}},
    {{1.0, 3.0, 3.0}, {1.0, 1.8}, 8, {0, 0}},
    {{-1.5, -2.5, 0.5}, {3.0, 5.0}, 45, {60, 4}},
    {{4.0, 0.5, -1.0}, {0.6, 1.2}, 20, {180, 15}},
    {{-0.5, -4.0, 2.5}, {1.8, 3.2}, 12, {75, 3}},
    {{2.5, 2.5, -3.0}, {1.2, 2.2}, 60, {150, 20}},
};

} // namespace

ReceiverProfile ProfileOf(const SimOptions& options, int index)
{
    const ProfileRow& row = kProfiles[index];
    ReceiverProfile p;
    p.seed = options.seed + uint64_t(index);
    if (index > 0) {
        p.errors.horizM = row.noise.horizM;
        p.errors.vertM = row.noise.vertM;
        p.errors.jitterM = kJitterPerHoriz * row.noise.horizM;
    }
    if (options.noise) {
        p.errors.horizM = options.noise->horizM;
        p.errors.vertM = options.noise->vertM;
        p.errors.jitterM = kJitterPerHoriz * options.noise->horizM;
    }
    const SimBias bias = options.bias.value_or(row.bias);
    p.errors.biasEastM = bias.eastM;
    p.errors.biasNorthM = bias.northM;
    p.errors.biasUpM = bias.upM;
    p.coldStartS = options.coldStartS.value_or(row.coldStartS);
    p.dropout = options.dropout.value_or(row.dropout);
    return p;
}

FixState FixStateAt(const ReceiverProfile& profile, double elapsedS)
{
    const double t = elapsedS + kTimeSlackS;
    if (t < profile.coldStartS)
        return FixState::ColdStart;
    const SimDropout& d = profile.dropout;
    if (d.everyS > 0 && d.forS > 0 && std::fmod(t, d.everyS) >= d.everyS - d.forS)
        return FixState::Dropout;
    return FixState::Fix;
}

void LoseFix(Epoch& e, FixState state, double elapsedS)
{
    if (state == FixState::Fix)
        return;
    if (state == FixState::ColdStart) {
        e.unixTime = kDefaultDateUnix + elapsedS;
        e.inView.clear();
    }
    for (SimSatellite& s : e.inView)
        s.used = false;
    e.bad.clear();
    e.latRad = e.lonRad = e.altM = 0;
    e.velNorthMps = e.velEastMps = e.velUpMps = 0;
    e.rms2DM = 0;
    e.hdop = e.vdop = kNoDop;
    e.valid = false;
    e.positionKnown = false;
    e.diff = false;
    e.gpsUsed = e.glonassUsed = 0;
    e.gpsMask = e.glonassMask = 0;
    e.indicatorsA = 0x01;   // observations only
    e.indicatorsB = 0;
}
