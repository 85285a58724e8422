#pragma once
// The arithmetic and texts behind the VISUAL and PROFILE windows, kept free of
// any toolkit so they can be tested and fuzzed alone: the reference texts of
// the three edits and their reading back, the GGA position, the offsets and
// pixel of a position round the reference, the double-click recentring, the
// stepping rule of the two up-down controls, and the satellite list filled
// from GSV cycles and BINR message 0x52.
#include "BinrDecoder.h"
#include "NmeaAssembler.h"

#include <cstdint>
#include <optional>
#include <string>

// Metres per radian of latitude (a·(1−e²) of WGS-84, as written, used at
// every latitude) and per radian of longitude at the equator.
constexpr double kNorthMetresPerRadian = 6335439.327293721;
constexpr float kEastMetresPerRadian = 6378137.0f;

// The scatter plot is square; its three circles stand for R, 2R and 3R.
constexpr int kPlotSize = 283;
constexpr int kPlotCentre = kPlotSize / 2;             // 141
constexpr double kPlotPixelsPerRadius = kPlotSize / 6.0; // 47.1666... pixels for R metres

// Pixel coordinates of positions far off the plot are held at this distance,
// so no conversion to int can overflow; they are skipped when drawn anyway.
constexpr int kFarPixel = 1 << 20;

struct GeoPosition {
    double latRad = 0;
    double lonRad = 0;
    double altM = 0;
};

// --- reference edits --------------------------------------------------------
// "%02d°%08.5lf%c", "%03d°%08.5lf%c" and "%06.1lf". Minutes that would print as
// 60.00000 are carried into the degrees, so a written text always reads back.
std::string ReferenceLatText(double latRad);
std::string ReferenceLonText(double lonRad);
std::string ReferenceAltText(double altM);
// The angle of an edit's text (unfilled positions as blanks), or nothing when
// the text is invalid: a blank before the last character, a hemisphere letter
// other than N/S (E/W), minutes above 59.99999, or degrees beyond 90 (180).
std::optional<double> ParseReferenceLat(const std::string& text);
std::optional<double> ParseReferenceLon(const std::string& text);
double ParseReferenceAlt(const std::string& text);

// --- positions and offsets ----------------------------------------------------
// $GPGGA,hhmmss.ss,BBMM.MMMM,N,LLLMM.MMMM,E,q,nn,h.h,ALT,M,...
GeoPosition GgaPosition(const NmeaFields& gga);

struct PlotOffsets {
    double dN = 0, dE = 0;  // current position from the reference, metres
    double mN = 0, mE = 0;  // statistic mean from the reference, metres
    int x = 0, y = 0;       // pixel of the current position
};
// meanLat/meanLon: the Statistic view's means; radius R in metres.
PlotOffsets ComputeOffsets(const GeoPosition& current, const GeoPosition& reference, double meanLat,
                           double meanLon, int radiusM);
// "%0.2lf m"
std::string MetresText(double metres);
// Truncates toward zero, holding non-finite and far values at ±kFarPixel.
int PixelOf(double coordinate);

// The reference moved so that plot pixel (x, y) becomes the centre. Latitude
// stays within ±90°, longitude is wrapped into ±180°; at a pole, where east
// has no length, the longitude is left as it is.
GeoPosition RecentredReference(const GeoPosition& reference, int x, int y, int radiusM);

// --- up-down stepping -----------------------------------------------------------
// After a click has left the control at position P: the next increment, and
// the position that replaces P (11 -> 20, 110 -> 200, 1100 -> 2000 up to the
// largest tier). tiers = 3 for the plot radius (1..9999), 2 for the profile
// range (1..999).
struct UpDownStep {
    int position;
    int increment;
};
UpDownStep StepAfterClick(int position, int tiers);

// --- satellites -------------------------------------------------------------------
constexpr int kSatListMax = 32;

struct SatelliteEntry {
    uint8_t system = 0;   // 1 GPS, 2 GLONASS, 4 SBAS
    uint8_t number = 0;
    uint8_t flag = 0;     // 1 when the satellite is heard
    int32_t elevationDeg = 0;
    int32_t azimuthDeg = 0;
};

struct SatelliteList {
    SatelliteEntry entry[kSatListMax];
    uint8_t count = 0;
};

// The list index at which the next block of a GSV cycle is stored; one for
// the whole program, untouched by a clear.
int32_t& GsvFillPosition();
// $GPGSV,total,number,inView,ID,elev,azim,snr,...  One sentence of a cycle:
// the count changes only when the last sentence arrives.
void LoadGsvSatellites(const NmeaFields& gsv, SatelliteList& list);
void LoadBinrSatellites(const BinrDecoder& binr, SatelliteList& list);

// Centre of a satellite's disk on the sky plot (north up, east right).
struct SkyPoint {
    int x, y;
};
SkyPoint SkyPosition(int32_t elevationDeg, int32_t azimuthDeg);
