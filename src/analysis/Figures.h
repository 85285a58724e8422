#pragma once
// The figures of one recording, computed from its epoch log. A figure that
// cannot be computed (no accepted fix, a single epoch, a zero span) is
// empty, never a NaN or a division by zero. The definitions are the ones
// docs/evaluating.md gives under "Evaluating receivers".
#include "EpochLog.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

using Figure = std::optional<double>;

// East, north and up of a position in the local frame at a reference point on
// the WGS-84 ellipsoid: east = dLon (N + h0) cos lat0, north = dLat (M + h0),
// up = h - h0, with dLon wrapped into [-pi, pi].
class LocalFrame {
public:
    explicit LocalFrame(const GeoPoint& reference);
    struct Enu {
        double east;
        double north;
        double up;
    };
    Enu ErrorOf(const EpochRecord& r) const;
    Enu ErrorOf(const GeoPoint& p) const;

private:
    double eastPerRad_;
    double northPerRad_;
    GeoPoint reference_;
};

struct Figures {
    int64_t epochs = 0;
    int64_t accepted = 0;
    std::optional<int64_t> firstMs;      // on the log's time line
    std::optional<int64_t> lastMs;
    bool datesKnown = false;
    Figure spanS;
    Figure rateS;                        // median positive interval
    Figure gaps;
    Figure missing;
    Figure clockJumps;                   // see TimeLine in Figures.cpp
    Figure availabilityPct;
    std::array<int64_t, kFixKinds> perKind{};
    int64_t twoD = 0;
    int64_t threeD = 0;
    int64_t dimUnknown = 0;              // fixes (any kind but none) no GSA gave a dimension
    Figure ttffS;                        // on the jump-free time line, or on receive times
    bool startedWithFix = false;         // the first epoch has a fix: no TTFF off the time line
    int64_t noHeight = 0;                // epochs with a position and no height

    std::optional<GeoPoint> reference;
    bool referenceGiven = false;
    Figure biasEastM, biasNorthM, biasUpM;
    Figure sdEastM, sdNorthM, sdUpM;
    Figure cep50M, r68M, r95M, r99M, rMaxM, drms2M;
    Figure up50M, up95M, up99M;
    Figure d3_50M, d3_95M;
    Figure hdopMedian, hdop95, vdopMedian, vdop95;
    std::array<Figure, kSatSystems> usedMean, usedMin, usedMax, snrMeanDbHz;
    int64_t errors = 0;

    // Horizontal error at 0, 0.5, 1, ... 100 % (nearest rank), for the chart;
    // beyond 40,000 fixes read off every (n / 20,000)-th of them in time order.
    std::vector<float> cdf;
};

constexpr int kCdfSteps = 200;

// Nearest-rank percentile index of p % in n sorted values (n > 0).
size_t NearestRank(size_t n, double percent);

// The time to first fix on the receive times of the recording (FILE.times):
// from the arrival of its first block to that of the block that completed the
// first accepted fix. Nothing changes when either is unknown (a record that
// is not exact leaves it unknown).
class ReceiveTimeList;
void TtffFromReceiveTimes(Figures& f, const EpochLog& log, const ReceiveTimeList& times);
// The bench's time to first fix, on a test folder's receive times: from the
// bench's Start, which every receiver's .times header holds, to the arrival
// of the block that completed the first accepted fix (BenchReceiver.h).
void TtffSinceStart(Figures& f, const EpochLog& log, const ReceiveTimeList& times);

// reference: the surveyed point, or none for the mean of the accepted fixes.
Figures ComputeFigures(const EpochLog& log, const std::optional<GeoPoint>& reference);
