#pragma once
// The stored values of the VISUAL, PROFILE and STATISTIC windows, each key named once
// here and used by both load and save. Loads never fail: anything missing,
// of the wrong type or size, or out of its range gives the defaults.
#include "VisualText.h"

#include <string>

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

// "SatCheckBox": VISUAL's SAT VIEW switch, off when missing or unreadable.
bool LoadSatView();
void SaveSatView(bool on);

// STATISTIC's filter. A limit is the text of its box, a digit, a point and a
// digit ("0.0" means no limit); an unfilled position is a blank.
struct StatisticSettings {
    std::string hdopLimit = "0.0";   // "HDOPEdit"
    std::string vdopLimit = "0.0";   // "VDOPEdit"
    bool diffOnly = false;           // "DiffCheckBox", 0 or 1
};
// Each value on its own: one that cannot be read keeps its default.
StatisticSettings LoadStatisticSettings();
void SaveStatisticSettings(const StatisticSettings& settings);
