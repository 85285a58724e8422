#pragma once
// What sets one simulated receiver apart from another when several run side
// by side: its errors, a seed of its own, a cold start and dropouts. Receiver
// 1 is the single receiver exactly (the demo recordings come from it); the
// others take their line of a fixed table, so a bench run shows the same
// differences every time. Options given on the command line replace the
// table's value for every receiver.
#include "Scenario.h"
#include "SimOptions.h"

#include <cstdint>

struct ReceiverProfile {
    ScenarioErrors errors;
    uint64_t seed;
    double coldStartS = 0;     // seconds without a fix, on the default date, from the start
    SimDropout dropout{0, 0};
};

// The quick jitter under --noise H,V, as a share of H (the default
// receiver's 0.25 m on 1.4 m).
constexpr double kJitterPerHoriz = 0.18;

// index 0 .. kMaxReceivers - 1.
ReceiverProfile ProfileOf(const SimOptions& options, int index);

enum class FixState { Fix, ColdStart, Dropout };
// elapsedS: seconds since the receiver started.
FixState FixStateAt(const ReceiverProfile& profile, double elapsedS);

// A receiver without a position: nothing used, no solution. A cold start
// also has no satellites yet and counts its time from the default date,
// 6 January 1980 (GPS week 0), as a receiver that lost its clock does.
void LoseFix(Epoch& e, FixState state, double elapsedS);
