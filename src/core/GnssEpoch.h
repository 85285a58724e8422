#pragma once
// The Multi-GNSS reading of an NMEA stream: the fix, GSAs and GSVs of one
// epoch merged into one picture of every constellation, shown once the
// epoch is complete.
//
// Epochs. An epoch is one reporting cycle, as EpochRule.h has it: fix
// sentences (GGA, GNS, RMC) open and join it, the sentences between them
// belong to it. Its fix is its GGA, else its GNS, else its RMC; GGAs of one
// time from several talkers (one per system) add up their counts of
// satellites used. An epoch is complete, and shown, when the next one
// begins, or when the caller says so (the end of a file; live data quiet
// for kEpochIdleUs). A receiver may send an epoch's GSAs after its GGA, so
// showing at the GGA would pair one epoch's position with the satellites of
// the one before.
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
// combined solution's. A GSA before the first epoch (a stream joined midway)
// gives only those; GSVs before it give nothing. Fixed capacities, nothing
// allocated; entries beyond them are dropped.
#include "Constellations.h"
#include "EpochRule.h"
#include "NmeaAssembler.h"

#include <cstdint>

constexpr int kEpochUsedMax = 64;
constexpr int kEpochSkyMax = 96;
// Live data: an epoch whose bytes stopped this long ago is complete.
constexpr int64_t kEpochIdleUs = 150000;

// Which fix sentence a result of NmeaAssembler stands for (a GNS comes as
// kNmeaOther and is read from the assembler's working fields).
FixSentence FixSentenceOf(int result, const NmeaAssembler& nmea);
// The fields of that sentence in the assembler.
const NmeaFields& FixFields(FixSentence kind, const NmeaAssembler& nmea);
// A fix sentence in the layout of a GGA: time (1), position (2-5), quality
// (6: a GNS's or RMC's mode letter as the GGA quality of the same meaning),
// satellites used (7), HDOP (8) and height (9), empty where the sentence
// has none. An RMC without a mode letter is a fix when its status is A.
void FixAsGga(FixSentence kind, const NmeaFields& in, NmeaFields& out);

// Where the parts of a GSA stand. A system ID (NMEA 4.10 on) is read only
// when it is an integer 1-15 alone in its field; a receiver's own extra
// field in its place is skipped, and the system is then the talker's.
struct GsaLayout {
    int lastId;      // the last satellite field
    int pdopAt;      // PDOP, HDOP and VDOP follow
    int systemId;    // 0: none
};
GsaLayout ReadGsaLayout(const NmeaFields& gsa);

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
    double pdop = 0, hdop = 0, vdop = 0;   // NaN: the GSA gave none

    // The shown epoch's own: its fix in a GGA's layout (count 0: none yet),
    // the RMC of its time (count 0: none), whether it had GSAs, and its
    // GGAs' (or GNS's) counts of satellites used, added up.
    NmeaFields fix{};
    NmeaFields rmc{};
    bool gsaInEpoch = false;
    int fixUsedSum = 0;

    // Used satellites of one system.
    int UsedCount(Gnss system) const;
};

class GnssEpoch {
public:
    // On/off of the whole reading; off, Feed does nothing.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on) { enabled_ = on; }
    void Reset();

    // One result of NmeaAssembler::PushByte/PushBlock. True when an epoch
    // has just been completed: the views show it now.
    bool Feed(int result, const NmeaAssembler& nmea)
    {
        if (!enabled_ || result < kNmeaOther)
            return false;
        return FeedSentence(result, nmea);
    }
    void AddGsa(const NmeaFields& gsa);
    void AddGsv(const NmeaFields& gsv);
    // A fix sentence: true when it ended an epoch not shown yet.
    bool AddFix(FixSentence kind, const NmeaFields& fields);
    // The epoch under way is complete as it stands (the end of a file, live
    // data gone quiet): true when it had not been shown. Sentences of it
    // that still come join it, and it is shown again when it ends.
    bool Complete();
    // An epoch under way has sentences not shown yet.
    bool Pending() const { return open_ && !published_; }

    // The picture up to the last completed epoch.
    const GnssPicture& Picture() const { return shown_; }

private:
    bool FeedSentence(int result, const NmeaAssembler& nmea);
    void Close();
    void Drop();
    void MergeInto(GnssPicture& picture) const;
    static void AddSky(SkySatellite* list, int& count, const SkySatellite& sat);

    bool enabled_ = false;
    GnssPicture committed_;   // up to the last closed epoch
    GnssPicture shown_;
    // The epoch being collected.
    bool open_ = false;
    bool published_ = false;
    EpochRule rule_;
    FixSentence epochKind_ = FixSentence::None;
    NmeaFields fix_{};
    NmeaFields rmc_{};
    int usedSum_ = 0;
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
