#pragma once
// The stored values of the VISUAL and PROFILE windows, each key named once
// here and used by both load and save. Loads never fail: anything missing,
// of the wrong type or size, or out of its range gives the defaults.
#include "VisualText.h"

struct VisualSettings {
    GeoPosition reference;  // "b_fix", "l_fix", "h_fix": 8-byte IEEE doubles
    int radiusM = 1;        // "RUpDown", 1..9999
};

constexpr int kRadiusMin = 1;
constexpr int kRadiusMax = 9999;
constexpr int kRangeMin = 1;
constexpr int kRangeMax = 999;

// All four values together, or all four defaults.
VisualSettings LoadVisualSettings();
void SaveVisualSettings(const VisualSettings& settings);

// "maxAltUpDown": the profile range in metres, 1 when missing or unreadable.
int LoadProfileRange();
void SaveProfileRange(int rangeM);
