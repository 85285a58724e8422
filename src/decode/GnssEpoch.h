#pragma once
// The Multi-GNSS reading of an NMEA stream: the GSAs and GSVs of one epoch
// (everything between two GGAs) merged into one picture of every
// constellation, for the views to read at the GGA.
//
// Policy. A receiver of today sends a GSA per constellation and a GSV cycle
// per talker, each of which alone would hide the others. So within an epoch
// the used satellites of every GSA are collected, and at its end they replace
// only what earlier epochs learnt from the same source (the system ID of a
// GSA, else its talker; GN without a system ID is one source of its own):
// a GSA never erases another system's satellites, and a source that falls
// silent for an epoch keeps its last list, as a lone GSA is kept today. GSV
// cycles are merged the same way, keyed on their talker, each once its last
// sentence has come. The fix type and the
// DOPs are those of the epoch's last GSA: every GSA of an epoch carries the
// combined solution's. Fixed capacities, nothing allocated; entries beyond
// them are dropped.
#include "Constellations.h"
#include "NmeaAssembler.h"

#include <cstdint>

constexpr int kEpochUsedMax = 64;
constexpr int kEpochSkyMax = 96;

struct UsedSatellite {
    SatelliteId id;
    Gnss source = Gnss::Unknown;
};

struct SkySatellite {
    SatelliteId id;
    Gnss source = Gnss::Unknown;
    int16_t elevationDeg = 0;
    int16_t azimuthDeg = 0;
    bool heard = false;     // a signal-to-noise ratio was given
    bool used = false;      // in the merged GSAs
};

struct GnssPicture {
    UsedSatellite used[kEpochUsedMax];
    int usedCount = 0;
    SkySatellite sky[kEpochSkyMax];
    int skyCount = 0;
    bool gsaSeen = false;   // a GSA has arrived since the reset
    int fixType = 0;        // field 2 of the last GSA: 1 none, 2 2D, 3 3D
    double pdop = 0, hdop = 0, vdop = 0;

    // Used satellites of one system.
    int UsedCount(Gnss system) const;
};

class GnssEpoch {
public:
    // On/off of the whole reading; off, Feed does nothing.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on) { enabled_ = on; }
    void Reset();

    // One result of NmeaAssembler::PushByte/PushBlock: a GSA or GSV is
    // merged into the epoch, a GGA closes it.
    void Feed(int result, const NmeaAssembler& nmea)
    {
        if (enabled_ && (result == kNmeaGsa || result == kNmeaGsv || result == kNmeaGga))
            FeedSentence(result, nmea);
    }
    void AddGsa(const NmeaFields& gsa);
    void AddGsv(const NmeaFields& gsv);
    // The epoch ends: what it brought replaces what its sources said before.
    void Close();

    // The picture up to the last closed epoch.
    const GnssPicture& Picture() const { return shown_; }

private:
    void FeedSentence(int result, const NmeaAssembler& nmea);
    static void AddSky(SkySatellite* list, int& count, const SkySatellite& sat);

    bool enabled_ = false;
    GnssPicture shown_;
    // The epoch being collected.
    UsedSatellite used_[kEpochUsedMax];
    int usedCount_ = 0;
    SkySatellite sky_[kEpochSkyMax];
    int skyCount_ = 0;
    // GSV cycles under way, which may reach into the next epoch.
    SkySatellite cycle_[kEpochSkyMax];
    int cycleCount_ = 0;
    bool gsaSources_[kGnssCount] = {};
    bool gsvSources_[kGnssCount] = {};
    bool gsaInEpoch_ = false;
    int fixType_ = 0;
    double pdop_ = 0, hdop_ = 0, vdop_ = 0;
};

// The program-wide reading, fed by the intake beside ProgramNmea().
GnssEpoch& ProgramGnss();
