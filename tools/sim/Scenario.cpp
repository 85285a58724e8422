#include "Scenario.h"

#include "Angles.h"

#include <algorithm>
#include <cmath>

namespace {


// The antenna's home: an open field with a test circuit beside it.
constexpr double kOriginLatDeg = 52.2297;
constexpr double kOriginLonDeg = 21.0122;
constexpr double kOriginAltM = 112.0;

// WGS-84 radii of curvature at the origin, for metres to angles.
constexpr double kWgsA = 6378137.0;
constexpr double kWgsE2 = 6.69437999014e-3;

// The circuit: two straights joined by two half circles, turned a little off
// north so that neither axis of a plot lines up with it.
constexpr double kStraightM = 320.0;
constexpr double kBendRadiusM = 90.0;
constexpr double kCircuitTurnRad = 25.0 * kRadPerDeg;
const double kCircuitM = 2 * kStraightM + 2 * kPi * kBendRadiusM;

// One drive every ten minutes: parked, off, round the circuit, parked again.
constexpr double kCycleS = 600.0;
constexpr double kDepartS = 60.0;
constexpr double kRampS = 15.0;
constexpr double kArriveS = 540.0;

// Differential corrections arrive for part of each cycle.
constexpr double kDiffFromS = 150.0;
constexpr double kDiffToS = 450.0;
// A GLONASS satellite the receiver's integrity check throws out for a while.
constexpr double kExclusionFromS = 200.0;
constexpr double kExclusionToS = 320.0;

// Position error: first-order Gauss-Markov per axis (ScenarioErrors) plus a
// little white noise.
constexpr double kErrorTauS = 45.0;
constexpr double kVelocityNoiseMps = 0.05;
constexpr double kDiffErrorScale = 0.45;
constexpr double kUereM = 1.6;
constexpr double kUereDiffM = 0.7;

constexpr double kHorizonDeg = 5.0;       // below: not in view
constexpr double kAcquireDeg = 6.5;       // below: in view but no signal yet
constexpr double kMaskDeg = 10.0;         // below: not used in the solution
constexpr int kUsableSnr = 30;

struct SkyTrack {
    uint8_t system;
    uint8_t number;
    double azimuth0Deg;
    double azimuthRateDegS;
    double elevationMaxDeg;
    double elevation0Deg;
    bool rising;
};

// Half orbital periods seen from the ground, roughly: GPS repeats in about
// 11 h 58 min, GLONASS in about 11 h 16 min.
constexpr double kGpsPeriodS = 43082.0;
constexpr double kGlonassPeriodS = 40544.0;

constexpr SkyTrack kSky[] = {
    {1, 2, 45, 0.006, 78, 62, true},
    {1, 5, 130, -0.004, 70, 41, false},
    {1, 6, 300, 0.005, 85, 27, true},
    {1, 9, 210, 0.003, 60, 18, false},
    {1, 12, 80, -0.005, 55, 9, true},
    {1, 13, 345, 0.004, 40, 8, false},
    {1, 15, 255, -0.006, 88, 71, false},
    {1, 17, 170, 0.005, 66, 33, true},
    {1, 24, 20, 0.003, 50, 4, true},
    {2, 1, 100, 0.007, 75, 52, true},
    {2, 2, 160, -0.005, 70, 24, false},
    {2, 8, 280, 0.006, 82, 66, false},
    {2, 10, 330, -0.004, 58, 38, true},
    {2, 17, 230, 0.005, 45, 12, false},
    {2, 18, 60, -0.006, 62, 6, true},
};
constexpr uint8_t kBadGpsPrn = 13;        // low and multipath-ridden
constexpr uint8_t kExcludedGlonassSlot = 10;

double SmoothStep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

double CruiseSpeed(double t)
{
    return 12.0 + 2.5 * std::sin(2 * kPi * t / 47.0) + 1.5 * std::sin(2 * kPi * t / 113.0);
}

double DriveSpeed(double t)
{
    const double c = std::fmod(t, kCycleS);
    if (c < kDepartS || c >= kArriveS)
        return 0;
    if (c < kDepartS + kRampS)
        return CruiseSpeed(t) * SmoothStep((c - kDepartS) / kRampS);
    if (c >= kArriveS - kRampS)
        return CruiseSpeed(t) * SmoothStep((kArriveS - c) / kRampS);
    return CruiseSpeed(t);
}

// Point and unit tangent on the circuit, in metres east and north of the origin.
void CircuitPoint(double s, double& east, double& north, double& tEast, double& tNorth)
{
    s = std::fmod(s, kCircuitM);
    const double half = kStraightM / 2;
    const double bend = kPi * kBendRadiusM;
    double x, y, tx, ty;
    if (s < kStraightM) {
        x = -half + s, y = -kBendRadiusM, tx = 1, ty = 0;
    } else if (s < kStraightM + bend) {
        const double a = -kPi / 2 + (s - kStraightM) / kBendRadiusM;
        x = half + kBendRadiusM * std::cos(a), y = kBendRadiusM * std::sin(a);
        tx = -std::sin(a), ty = std::cos(a);
    } else if (s < 2 * kStraightM + bend) {
        x = half - (s - kStraightM - bend), y = kBendRadiusM, tx = -1, ty = 0;
    } else {
        const double a = kPi / 2 + (s - 2 * kStraightM - bend) / kBendRadiusM;
        x = -half + kBendRadiusM * std::cos(a), y = kBendRadiusM * std::sin(a);
        tx = -std::sin(a), ty = std::cos(a);
    }
    const double c = std::cos(kCircuitTurnRad), n = std::sin(kCircuitTurnRad);
    east = c * x - n * y;
    north = n * x + c * y;
    tEast = c * tx - n * ty;
    tNorth = n * tx + c * ty;
}

// The circuit climbs and dips by some fifteen metres.
double CircuitHeight(double s)
{
    const double p = 2 * kPi * s / kCircuitM;
    return 9.0 * std::sin(p) + 4.0 * std::sin(2 * p + 0.7);
}

double CircuitSlope(double s)
{
    const double p = 2 * kPi * s / kCircuitM;
    return (9.0 * std::cos(p) + 8.0 * std::cos(2 * p + 0.7)) * 2 * kPi / kCircuitM;
}

bool InWindow(double t, double from, double to)
{
    const double c = std::fmod(t, kCycleS);
    return c >= from && c < to;
}

} // namespace

uint64_t SimRandom::Next()
{
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double SimRandom::Uniform()
{
    return double(Next() >> 11) * (1.0 / 9007199254740992.0);
}

double SimRandom::Normal()
{
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    double u = Uniform();
    while (u <= 0)
        u = Uniform();
    const double v = Uniform();
    const double r = std::sqrt(-2 * std::log(u));
    spare_ = r * std::sin(2 * kPi * v);
    haveSpare_ = true;
    return r * std::cos(2 * kPi * v);
}

Scenario::Scenario(ScenarioKind kind, double startUnixTime, uint64_t seed, const ScenarioErrors& errors)
    : kind_(kind), errors_(errors), random_(seed), startTime_(startUnixTime)
{
    // Start the error processes in their steady state rather than at zero.
    errEast_ = errors_.horizM * random_.Normal();
    errNorth_ = errors_.horizM * random_.Normal();
    errUp_ = errors_.vertM * random_.Normal();
}

Scenario::Pose Scenario::TruePose(double dt)
{
    Pose p{};
    if (kind_ == ScenarioKind::Static)
        return p;
    const double v = DriveSpeed(elapsed_);
    pathM_ += v * dt;
    double tEast, tNorth;
    CircuitPoint(pathM_, p.eastM, p.northM, tEast, tNorth);
    p.upM = CircuitHeight(pathM_);
    p.velEast = v * tEast;
    p.velNorth = v * tNorth;
    p.velUp = v * CircuitSlope(pathM_);
    return p;
}

void Scenario::UpdateErrors(double dt)
{
    const double a = std::exp(-dt / kErrorTauS);
    const double b = std::sqrt(1 - a * a);
    errEast_ = a * errEast_ + b * errors_.horizM * random_.Normal();
    errNorth_ = a * errNorth_ + b * errors_.horizM * random_.Normal();
    errUp_ = a * errUp_ + b * errors_.vertM * random_.Normal();
}

void Scenario::BuildSky(Epoch& e, double t)
{
    const bool excluding = InWindow(t, kExclusionFromS, kExclusionToS);
    for (const SkyTrack& s : kSky) {
        const double period = s.system == 1 ? kGpsPeriodS : kGlonassPeriodS;
        const double phase0 = s.rising ? std::asin(s.elevation0Deg / s.elevationMaxDeg)
                                       : kPi - std::asin(s.elevation0Deg / s.elevationMaxDeg);
        const double el = s.elevationMaxDeg * std::sin(phase0 + 2 * kPi * t / period);
        if (el < kHorizonDeg)
            continue;
        double az = std::fmod(s.azimuth0Deg + s.azimuthRateDegS * t, 360.0);
        if (az < 0)
            az += 360;
        SimSatellite sat{s.system, s.number, el, az, 0, false};
        if (el >= kAcquireDeg) {
            const double snr = 30 + 18 * std::sin(el * kRadPerDeg) + 1.5 * random_.Normal();
            sat.snrDbHz = int(std::lround(std::clamp(snr, 20.0, 54.0)));
        }
        bool bad = false;
        if (s.system == 1 && s.number == kBadGpsPrn && el < 12)
            bad = true;
        if (s.system == 2 && s.number == kExcludedGlonassSlot && excluding)
            bad = true;
        if (bad && sat.snrDbHz > 0)
            e.bad.push_back({uint8_t(s.system == 1 ? s.number : s.number + 64),
                             float(20 + 15 * random_.Uniform())});
        sat.used = !bad && el >= kMaskDeg && sat.snrDbHz >= kUsableSnr;
        if (sat.used) {
            if (s.system == 1) {
                e.gpsMask |= 1u << (s.number - 1);
                ++e.gpsUsed;
            } else {
                e.glonassMask |= 1u << (s.number - 1);
                ++e.glonassUsed;
            }
        }
        e.inView.push_back(sat);
    }
}

Epoch Scenario::Next(double dtSeconds)
{
    if (started_)
        elapsed_ += dtSeconds;
    else
        dtSeconds = 0;
    started_ = true;

    Epoch e{};
    e.unixTime = startTime_ + elapsed_;
    e.diff = InWindow(elapsed_, kDiffFromS, kDiffToS);
    BuildSky(e, elapsed_);

    const Pose p = TruePose(dtSeconds);
    if (dtSeconds > 0)
        UpdateErrors(dtSeconds);
    const double scale = e.diff ? kDiffErrorScale : 1.0;
    // The bias stays whole in the differential window: it stands for an
    // antenna offset or a datum slip that corrections do not see.
    const double east = p.eastM + errors_.biasEastM + scale * (errEast_ + errors_.jitterM * random_.Normal());
    const double north = p.northM + errors_.biasNorthM + scale * (errNorth_ + errors_.jitterM * random_.Normal());
    const double up = p.upM + errors_.biasUpM + scale * (errUp_ + errors_.jitterM * random_.Normal());

    const double lat0 = kOriginLatDeg * kRadPerDeg;
    const double sin0 = std::sin(lat0);
    const double w = 1 - kWgsE2 * sin0 * sin0;
    const double meridianM = kWgsA * (1 - kWgsE2) / (w * std::sqrt(w));
    const double primeM = kWgsA / std::sqrt(w);
    e.latRad = lat0 + north / meridianM;
    e.lonRad = kOriginLonDeg * kRadPerDeg + east / (primeM * std::cos(lat0));
    e.altM = kOriginAltM + up;
    e.velNorthMps = p.velNorth + kVelocityNoiseMps * random_.Normal();
    e.velEastMps = p.velEast + kVelocityNoiseMps * random_.Normal();
    e.velUpMps = p.velUp + kVelocityNoiseMps * random_.Normal();

    std::vector<SimSatellite> used;
    for (const SimSatellite& s : e.inView)
        if (s.used)
            used.push_back(s);
    e.valid = ComputeDop(used, e.hdop, e.vdop);
    e.positionKnown = true;
    e.rms2DM = float(e.hdop * (e.diff ? kUereDiffM : kUereM));

    e.indicatorsA = 0x01 | 0x10;                  // observations, integrity check
    if (e.diff)
        e.indicatorsA |= 0x08;                    // corrections received
    if (!e.bad.empty())
        e.indicatorsA |= 0x80;                    // anomaly: a satellite thrown out
    e.indicatorsB = 0x80;                         // rms estimate available
    if (e.gpsUsed)
        e.indicatorsB |= 0x02;
    if (e.glonassUsed)
        e.indicatorsB |= 0x04;
    return e;
}

bool ComputeDop(const std::vector<SimSatellite>& sats, float& hdop, float& vdop)
{
    // Unknowns: east, north, up and one clock per system in use.
    bool gps = false, glonass = false;
    for (const SimSatellite& s : sats)
        (s.system == 1 ? gps : glonass) = true;
    const int n = 3 + int(gps) + int(glonass);
    hdop = vdop = 99.9f;
    if (int(sats.size()) < n)
        return false;

    double m[5][10] = {};
    for (const SimSatellite& s : sats) {
        const double el = s.elevationDeg * kRadPerDeg, az = s.azimuthDeg * kRadPerDeg;
        double row[5] = {-std::cos(el) * std::sin(az), -std::cos(el) * std::cos(az), -std::sin(el), 0, 0};
        if (gps && glonass)
            row[s.system == 1 ? 3 : 4] = 1;
        else
            row[3] = 1;
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j)
                m[i][j] += row[i] * row[j];
    }
    // Gauss-Jordan inverse of the normal matrix, in place beside an identity.
    for (int i = 0; i < n; ++i)
        m[i][n + i] = 1;
    for (int c = 0; c < n; ++c) {
        int pivot = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(m[r][c]) > std::fabs(m[pivot][c]))
                pivot = r;
        if (std::fabs(m[pivot][c]) < 1e-12)
            return false;
        for (int k = 0; k < 2 * n; ++k)
            std::swap(m[c][k], m[pivot][k]);
        const double d = m[c][c];
        for (int k = 0; k < 2 * n; ++k)
            m[c][k] /= d;
        for (int r = 0; r < n; ++r) {
            if (r == c)
                continue;
            const double f = m[r][c];
            for (int k = 0; k < 2 * n; ++k)
                m[r][k] -= f * m[c][k];
        }
    }
    hdop = float(std::sqrt(m[0][n] + m[1][n + 1]));
    vdop = float(std::sqrt(m[2][n + 2]));
    return true;
}
