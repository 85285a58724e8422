#pragma once
// The satellites in view with their signal levels, one bar each, for the
// SIGNALS window and its headless line.
//
// Policy. NMEA 4.10 receivers send one GSV cycle per talker and per signal
// (the one-digit signal ID after the last satellite), so a satellite heard on
// L1 and L5 appears twice. SignalFold collects the cycles as they come, keyed
// on talker and signal ID, and takes a cycle only when it is whole: its
// sentences numbered 1 to the total in order, the total unchanged. A cycle
// that skips a number is dropped up to its next first sentence. At the end of
// an epoch (the GGA), the cycles completed in it replace the earlier cycle of
// the same key; keys that fell silent keep their last cycle, as GnssEpoch
// keeps a silent source's list. A cycle cut by the GGA joins the next epoch.
// Every signal of a satellite is folded into one bar with its best C/N0; the
// signals stay listed for the tooltip. Systems are assigned by
// AssignSatellite from the talker and the ID, the same rule as every other
// Multi-GNSS view. With the Multi-GNSS option off only GPS and GLONASS bars
// are kept, as the classic lists show them.
//
// A C/N0 outside 0-99 dB-Hz, or an empty field, is none. Bars are ordered by
// system (GPS, GLONASS, Galileo, BeiDou, QZSS, NavIC, SBAS) then number.
// Fixed capacities, nothing allocated; entries beyond them are dropped, and
// a 33rd talker and signal pair takes the place of the one heard from
// longest ago.
//
// The headless line: "SIGNALS", then for each bar a tab and "SNN:CN0:U".
// S is the system letter (G R E C J I S), NN the number within the system
// zero-padded to two digits (SBAS PRNs 120-158 and any number over 99 take
// three), CN0 the best C/N0 in whole dB-Hz (empty when none), U "u" when
// used in the solution and "-" when not. "SIGNALS" alone when none is in view.
#include "Constellations.h"
#include "NmeaAssembler.h"

#include <cstdint>
#include <string>

class BinrDecoder;

constexpr int kSignalBarsMax = 128;
constexpr int kSignalsPerBarMax = 8;
constexpr int8_t kNoCn0 = -1;
constexpr int kCn0MaxDbHz = 99;

struct SignalLevel {
    char signalId = 0;        // the GSV's signal ID ('1'...'F'), 0 before NMEA 4.10 and for BINR
    int8_t cn0DbHz = kNoCn0;
};

struct SignalBar {
    SatelliteId id;
    int8_t cn0DbHz = kNoCn0;  // the best of its signals
    int16_t elevationDeg = 0;
    int16_t azimuthDeg = 0;
    SignalLevel levels[kSignalsPerBarMax];   // not "signals": a Qt keyword where windows include this
    uint8_t signalCount = 0;
    bool used = false;        // in the solution
    bool bad = false;         // marked bad by the receiver (BINR 0x93)
};

struct SignalBars {
    SignalBar bar[kSignalBarsMax];
    int count = 0;
};

// Satellites the solution uses or the receiver marks bad, by their
// constellation's own number.
struct SatelliteSet {
    const SatelliteId* ids = nullptr;
    int count = 0;

    bool Contains(const SatelliteId& id) const;
};

// A C/N0 field or value as a level: none outside 0-99.
int8_t Cn0Level(int32_t dbHz);

class SignalFold {
public:
    void Reset() { *this = SignalFold(); }
    // One GSV, of any talker and signal.
    void AddGsv(const NmeaFields& gsv);
    // The epoch ends. True when a cycle was completed in it, so the bars
    // changed and the window and the headless line are due.
    bool Close();
    // The bars from the last complete cycle of every key.
    SignalBars Bars(SatelliteSet used, bool multiGnss) const;

private:
    struct Observation {
        SatelliteId id;
        uint8_t key = 0;
        SignalLevel level;
        int16_t elevationDeg = 0;
        int16_t azimuthDeg = 0;
        bool placed = false;  // elevation and azimuth were given
    };
    struct Cycle {
        char talker[2] = {};
        char signalId = 0;
        int8_t next = 0;      // the sentence number expected, 0 while broken
        int8_t total = 0;
        bool completed = false;
        uint64_t lastHeard = 0;  // the count of GSVs when it was last heard from
    };
    static constexpr int kKeysMax = 32;
    static constexpr int kObservationsMax = 256;

    int KeyOf(const char* address, char signalId);
    static void Remove(Observation* list, int& count, int key);

    Cycle keys_[kKeysMax];
    int keyCount_ = 0;
    Observation staged_[kObservationsMax];   // cycles under way
    int stagedCount_ = 0;
    Observation kept_[kObservationsMax];     // the last whole cycle of each key
    int keptCount_ = 0;
    Observation fresh_[kObservationsMax];    // cycles completed in this epoch
    int freshCount_ = 0;
    bool completedInEpoch_ = false;
    uint64_t heard_ = 0;
};

// Message 0x52 with the used and bad satellites of the last 0x93.
SignalBars BarsFromBinr(const BinrDecoder& binr, bool multiGnss);

// The headless SIGNALS line, without a line end.
std::string SignalsLine(const SignalBars& bars);
// "G05" and the like: the system letter and the zero-padded number.
std::string SignalBarName(const SatelliteId& id);
