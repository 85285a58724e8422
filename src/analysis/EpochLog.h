#pragma once
// The epochs of one recording, kept compactly enough for a week at 10 Hz.
//
// An epoch is what the receiver said about one instant: its time, fix kind,
// position, DOPs and satellites used. Positions are held as single-precision
// offsets from the first fix (the origin, in double precision), so a
// recording that stays within a few kilometres keeps them to well under a
// millimetre. Records live in fixed-size blocks: the store grows without ever
// copying itself, so its peak memory is its size plus one block: 24 bytes
// an epoch.
// The satellites in view are not kept per epoch: they are folded into the
// sky grid and the SNR sums as each epoch closes.
#include "TimeUnits.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

enum class FixKind : uint8_t { None, Autonomous, Differential, RtkFixed, RtkFloat, Estimated, Other };
constexpr int kFixKinds = 7;
enum class FixDim : uint8_t { Unknown, TwoD, ThreeD };

// Satellite systems the figures are split by.
enum SatSystem : int { kSysGps, kSysGlonass, kSysOther };
constexpr int kSatSystems = 3;

constexpr uint16_t kNoDop = 0xFFFF;
constexpr double kDopScale = 100.0;        // DOPs are kept in hundredths

struct EpochRecord {
    // Milliseconds from its segment's base time (see EpochLog::TimeMs).
    int32_t timeOffsetMs;
    float dLatRad;           // NaN: no position (no fix, or an unusable one)
    float dLonRad;
    float heightM;
    uint16_t hdop;           // hundredths; kNoDop when not given
    uint16_t vdop;
    uint8_t flags;
    std::array<uint8_t, kSatSystems> used;

    static constexpr uint8_t kKindMask = 0x07;
    static constexpr int kDimShift = 3;
    static constexpr uint8_t kDimMask = 0x18;
    static constexpr uint8_t kAccepted = 0x20;
    static constexpr uint8_t kTimeKnown = 0x40;

    FixKind Kind() const { return FixKind(flags & kKindMask); }
    FixDim Dim() const { return FixDim((flags & kDimMask) >> kDimShift); }
    bool Accepted() const { return flags & kAccepted; }
    bool TimeKnown() const { return flags & kTimeKnown; }
    bool HasPosition() const { return !std::isnan(dLatRad); }
};
static_assert(sizeof(EpochRecord) == 24, "an epoch must stay within its memory budget");

struct GeoPoint {
    double latRad = 0;
    double lonRad = 0;
    double heightM = 0;
};

// Satellites in view, folded over every epoch: a 1-degree azimuth-by-
// elevation grid of SNR sums for the sky plot, and per-system SNR sums.
constexpr int kSkyAzimuths = 360;
constexpr int kSkyElevations = 91;
struct SkyCell {
    uint32_t snrSum = 0;
    uint32_t count = 0;
};

class EpochLog {
public:
    static constexpr size_t kBlockRecords = 16384;

    // Times are on the log's time line: milliseconds from 1970-01-01 once it
    // knows a date, else from the start of the recording's first day.
    void Append(const EpochRecord& r, int64_t timeMs);
    int64_t TimeMs(size_t i) const;
    // Moves every time so far (the first date puts the line on the calendar).
    void ShiftTimes(int64_t ms);
    void Clear();
    size_t Size() const { return size_; }
    const EpochRecord& operator[](size_t i) const { return blocks_[i / kBlockRecords]->at(i % kBlockRecords); }
    EpochRecord& operator[](size_t i) { return blocks_[i / kBlockRecords]->at(i % kBlockRecords); }

    // Where the offsets are measured from; set by the first position stored.
    bool HasOrigin() const { return hasOrigin_; }
    const GeoPoint& Origin() const { return origin_; }
    void SetOrigin(const GeoPoint& p);
    // The position of a record: the origin plus its offsets.
    GeoPoint PositionOf(const EpochRecord& r) const;

    // Inline: it runs for every satellite of every epoch.
    void AddSatellite(int system, int elevationDeg, int azimuthDeg, int snrDbHz)
    {
        if (system < 0 || system >= kSatSystems || snrDbHz <= 0)
            return;
        snrSum_[system] += snrDbHz;
        ++snrCount_[system];
        if (elevationDeg < 0 || elevationDeg >= kSkyElevations || azimuthDeg < 0 || azimuthDeg > kSkyAzimuths)
            return;
        SkyCell& cell = sky_[size_t(elevationDeg) * kSkyAzimuths + size_t(azimuthDeg % kSkyAzimuths)];
        // A cell stops counting where its sum could wrap: by then its mean
        // is settled anyway.
        if (cell.count < kCellCountMax) {
            cell.snrSum += uint32_t(snrDbHz < 255 ? snrDbHz : 255);
            ++cell.count;
        }
    }
    const std::vector<SkyCell>& Sky() const { return sky_; }
    double SnrSum(int system) const { return double(snrSum_[system]); }
    int64_t SnrCount(int system) const { return snrCount_[system]; }

    int64_t errors = 0;        // sentences or frames the decoder refused
    bool datesKnown = false;   // the times count from 1970-01-01
    // Some "other" satellites used are a GN GGA's count with no GSA to say
    // of which systems: GNSS, system unknown.
    bool usedSystemUnknown = false;

private:
    static constexpr uint32_t kCellCountMax = 1u << 24;

    using Block = std::array<EpochRecord, kBlockRecords>;
    // Times are offsets from the base of the segment an epoch falls in; a
    // new segment starts only where the time jumps by more than 24 days
    // (recordings joined end to end, a clock gone wild).
    struct Segment {
        size_t first;
        int64_t baseMs;
    };
    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<Segment> segments_;
    size_t size_ = 0;
    bool hasOrigin_ = false;
    GeoPoint origin_;
    std::vector<SkyCell> sky_ = std::vector<SkyCell>(size_t(kSkyAzimuths) * kSkyElevations);
    std::array<int64_t, kSatSystems> snrSum_{};
    std::array<int64_t, kSatSystems> snrCount_{};
};
