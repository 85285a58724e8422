#pragma once
// The simulated receiver's world: where the antenna is, which satellites it
// sees and how good its solution is, one epoch at a time. Everything comes
// from a seeded generator of our own, so a seed gives the same epochs on every
// machine and standard library; the demo recordings rely on that.
#include "BinrLayouts.h"

#include <cstdint>
#include <vector>

enum class ScenarioKind { Static, Moving };

struct SimSatellite {
    uint8_t system;       // 1 GPS, 2 GLONASS (the codes of message 0x52)
    uint8_t number;       // PRN or slot
    double elevationDeg;
    double azimuthDeg;
    int snrDbHz;          // 0: in view, no signal
    bool used;
};

struct Epoch {
    double unixTime;      // UTC, seconds since 1970
    double latRad;
    double lonRad;
    double altM;
    double velNorthMps;
    double velEastMps;
    double velUpMps;
    float rms2DM;
    float hdop;
    float vdop;
    bool valid;
    bool positionKnown;   // false: no position at all (cold start, dropout), fields left empty
    bool diff;
    int gpsUsed;
    int glonassUsed;
    uint32_t gpsMask;     // bit i: PRN i + 1
    uint32_t glonassMask; // bit i: slot i + 1
    uint8_t indicatorsA;  // status bits of message 0x93
    uint8_t indicatorsB;
    std::vector<SimSatellite> inView;
    std::vector<BadSatellite> bad;
};

// splitmix64 with a Box-Muller normal: small, fast and the same everywhere.
class SimRandom {
public:
    explicit SimRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    double Uniform();     // [0, 1)
    double Normal();      // mean 0, deviation 1
private:
    uint64_t state_;
    bool haveSpare_ = false;
    double spare_ = 0;
};

// How far a receiver's solution strays from the truth: a slowly wandering
// error per axis (its deviation), a quick jitter on top and a constant bias.
// The defaults are the single simulated receiver's, which the demo
// recordings come from.
struct ScenarioErrors {
    double horizM = 1.4;
    double vertM = 2.6;
    double jitterM = 0.25;
    double biasEastM = 0;
    double biasNorthM = 0;
    double biasUpM = 0;
};

class Scenario {
public:
    Scenario(ScenarioKind kind, double startUnixTime, uint64_t seed, const ScenarioErrors& errors = {});

    // The epoch dtSeconds after the previous one (the first call gives the
    // start time itself).
    Epoch Next(double dtSeconds);

private:
    struct Pose {
        double eastM, northM, upM;
        double velEast, velNorth, velUp;
    };
    Pose TruePose(double dt);
    void UpdateErrors(double dt);
    void BuildSky(Epoch& e, double t);

    ScenarioKind kind_;
    ScenarioErrors errors_;
    SimRandom random_;
    double startTime_;
    double elapsed_ = 0;
    bool started_ = false;
    double pathM_ = 0;       // distance driven along the circuit
    double errEast_ = 0, errNorth_ = 0, errUp_ = 0;
};

// Dilution of precision from the used satellites' geometry. Returns false
// when the geometry cannot give a solution.
bool ComputeDop(const std::vector<SimSatellite>& sats, float& hdop, float& vdop);
