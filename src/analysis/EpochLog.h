#pragma once
// The epochs of one recording, kept compactly enough for a week at 10 Hz.
//
// An epoch is what the receiver said about one instant: its time, fix kind,
// position, DOPs and satellites used. Positions are kept whole, in double
// precision (a ten-millionth of a millimetre): an epoch's position never
// depends on the fixes before it, wherever they were. DOPs are kept as the
// receiver's value in hundredths, in single precision, so that no value is
// ever capped. Records live in fixed-size blocks: the store grows without
// ever copying itself, so its peak memory is its size plus one block: 40
// bytes an epoch.
// The satellites in view are not kept per epoch: they are folded into the
// sky grid, the SNR sums, each satellite's last place in the sky and the
// run means of the used satellites' C/N0 as each epoch closes, all of fixed
// size.
#include "Constellations.h"
#include "RunMeans.h"
#include "TimeUnits.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

enum class FixKind : uint8_t { None, Autonomous, Differential, RtkFixed, RtkFloat, Estimated, Manual, Simulated, Other };
constexpr int kFixKinds = 9;
enum class FixDim : uint8_t { Unknown, TwoD, ThreeD };

// Satellite systems the figures are split by.
enum SatSystem : int { kSysGps, kSysGlonass, kSysOther };
constexpr int kSatSystems = 3;

constexpr double kDopScale = 100.0;        // DOPs are rounded to hundredths
// An SNR outside this range is none: a receiver that has no SNR for a
// satellite sends an empty field, a garbled one anything.
constexpr int kSnrMinDbHz = 1;
constexpr int kSnrMaxDbHz = 99;

struct EpochRecord {
    double latRad;           // NaN: no position (no fix, or an unusable one)
    double lonRad;           // within [-pi, pi]
    double heightM;
    // Milliseconds from its segment's base time (see EpochLog::TimeMs).
    int32_t timeOffsetMs;
    float hdop;              // NaN when not given
    float vdop;
    uint8_t flags;
    std::array<uint8_t, kSatSystems> used;

    static constexpr uint8_t kKindMask = 0x0F;
    static constexpr int kDimShift = 4;
    static constexpr uint8_t kDimMask = 0x30;
    static constexpr uint8_t kAccepted = 0x40;
    static constexpr uint8_t kTimeKnown = 0x80;

    FixKind Kind() const { return FixKind(flags & kKindMask); }
    FixDim Dim() const { return FixDim((flags & kDimMask) >> kDimShift); }
    bool Accepted() const { return flags & kAccepted; }
    bool TimeKnown() const { return flags & kTimeKnown; }
    bool HasPosition() const { return !std::isnan(latRad); }
    static bool HasDop(float dop) { return !std::isnan(dop); }
};
static_assert(sizeof(EpochRecord) == 40, "an epoch must stay within its memory budget");

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

// Where a satellite was last seen with a signal: the sky plot labels its
// track there. Satellite numbers beyond kTrackNumbers are not labelled.
constexpr int kTrackNumbers = 1000;
struct TrackEnd {
    int8_t elevationDeg = -1;    // -1: never seen
    int16_t azimuthDeg = 0;
};

class EpochLog {
public:
    static constexpr size_t kBlockRecords = 16384;

    // A log may keep at most capacity epochs (a monitor left running for
    // weeks must stay flat): the epochs after that are counted in leftOut,
    // not kept, so the figures are exactly those of the first capacity.
    explicit EpochLog(size_t capacity = SIZE_MAX) : capacity_(capacity) {}
    bool Full() const { return size_ >= capacity_; }
    size_t Capacity() const { return capacity_; }
    // What only the page's charts read (the sky grid, where each satellite
    // was last seen, the run means of the used satellites' C/N0) is kept
    // unless told otherwise; a report without a page skips it.
    void KeepCharts(bool keep) { charts_ = keep; }
    bool KeepsCharts() const { return charts_; }

    // Times are on the log's time line: milliseconds from 1970-01-01 once it
    // knows a date, else from the start of the recording's first day.
    // Inline for the common case: room in the last block, the time within
    // the last segment's reach.
    void Append(const EpochRecord& r, int64_t timeMs)
    {
        const int64_t offset = timeMs - lastBaseMs_;
        if (size_ < blockEnd_ && offset >= INT32_MIN && offset <= INT32_MAX) {
            EpochRecord& kept = lastBlock_[size_ % kBlockRecords];
            kept = r;
            kept.timeOffsetMs = int32_t(offset);
            ++size_;
            return;
        }
        AppendAnew(r, timeMs);
    }
    int64_t TimeMs(size_t i) const
    {
        return segments_.size() == 1 ? segments_.front().baseMs + (*this)[i].timeOffsetMs : SegmentTimeMs(i);
    }
    // Moves every time so far (the first date puts the line on the calendar).
    void ShiftTimes(int64_t ms);
    void Clear();
    // Drops the epochs from index size on; what was folded from them (sky,
    // SNR sums, counts) stays. A live log thins itself this way (BenchReceiver).
    void Truncate(size_t size);
    size_t Size() const { return size_; }
    const EpochRecord& operator[](size_t i) const { return blocks_[i / kBlockRecords]->at(i % kBlockRecords); }
    EpochRecord& operator[](size_t i) { return blocks_[i / kBlockRecords]->at(i % kBlockRecords); }

    static GeoPoint PositionOf(const EpochRecord& r) { return {r.latRad, r.lonRad, r.heightM}; }

    // visit(record, timeMs) for every epoch in order: block by block, the
    // time from the segment it is in, with no look-up per epoch (a figure
    // reads every epoch of a long recording).
    template <typename Visit>
    void ForEach(Visit visit) const
    {
        size_t i = 0, segment = 0;
        size_t nextSegmentAt = segments_.size() > 1 ? segments_[1].first : SIZE_MAX;
        for (const auto& block : blocks_) {
            const size_t end = std::min(size_, i + kBlockRecords);
            for (const EpochRecord* r = block->data(); i < end; ++i, ++r) {
                if (i == nextSegmentAt) {
                    ++segment;
                    nextSegmentAt = segment + 1 < segments_.size() ? segments_[segment + 1].first : SIZE_MAX;
                }
                visit(*r, segments_[segment].baseMs + r->timeOffsetMs);
            }
        }
    }

    // One satellite in view of the epoch appended last.
    void AddSatellite(int system, SatelliteId id, int elevationDeg, int azimuthDeg, int snrDbHz)
    {
        SatelliteFold fold(*this);
        fold.Add(system, id, elevationDeg, azimuthDeg, snrDbHz);
    }
    // The satellites of one epoch, each folded in as AddSatellite folds it.
    // Inline, with the log's tables held in locals for the epoch's loop and
    // the SNR sums added to the log once, at the end: it runs for every
    // satellite of every epoch.
    class SatelliteFold {
    public:
        explicit SatelliteFold(EpochLog& log) : log_(log), sky_(log.sky_.data()), trackEnds_(log.trackEnds_.data()) {}
        ~SatelliteFold()
        {
            for (int s = 0; s < kSatSystems; ++s) {
                log_.snrSum_[size_t(s)] += snrSum_[size_t(s)];
                log_.snrCount_[size_t(s)] += snrCount_[size_t(s)];
            }
        }
        SatelliteFold(const SatelliteFold&) = delete;
        SatelliteFold& operator=(const SatelliteFold&) = delete;

        // The SNR sums alone, as Add counts them; true when the SNR counted
        // (its system is one of the figures' and the SNR is valid).
        bool AddSnr(int system, int snrDbHz)
        {
            if (system < 0 || system >= kSatSystems || snrDbHz < kSnrMinDbHz || snrDbHz > kSnrMaxDbHz)
                return false;
            snrSum_[size_t(system)] += snrDbHz;
            ++snrCount_[size_t(system)];
            return true;
        }
        // True when the satellite's SNR counted.
        bool Add(int system, SatelliteId id, int elevationDeg, int azimuthDeg, int snrDbHz)
        {
            if (!AddSnr(system, snrDbHz))
                return false;
            if (elevationDeg < 0 || elevationDeg >= kSkyElevations || azimuthDeg < 0 || azimuthDeg > kSkyAzimuths)
                return true;
            // 360 degrees is north again; a branch, as a division per satellite costs more.
            const int azimuthCell = azimuthDeg == kSkyAzimuths ? 0 : azimuthDeg;
            SkyCell& cell = sky_[size_t(elevationDeg) * kSkyAzimuths + size_t(azimuthCell)];
            // A cell stops counting where its sum could wrap: by then its
            // mean is settled anyway.
            if (cell.count < kCellCountMax) {
                cell.snrSum += uint32_t(snrDbHz);
                ++cell.count;
            }
            if (id.system != Gnss::Unknown && id.number < kTrackNumbers)
                trackEnds_[size_t(id.system) * kTrackNumbers + id.number] = {int8_t(elevationDeg), int16_t(azimuthDeg)};
            return true;
        }

    private:
        EpochLog& log_;
        SkyCell* sky_;
        TrackEnd* trackEnds_;
        std::array<int64_t, kSatSystems> snrSum_{};
        std::array<int64_t, kSatSystems> snrCount_{};
    };
    // The C/N0 of the satellites the last epoch appended used in its
    // solution, per system: sums of SNRs checked as AddSatellite checks them.
    void AddUsedSnr(const std::array<uint32_t, kSatSystems>& sum, const std::array<uint32_t, kSatSystems>& count)
    {
        if (size_ > 0)
            usedSnr_.AddAll(size_ - 1, sum, count);
    }
    static bool SnrValid(int snrDbHz) { return snrDbHz >= kSnrMinDbHz && snrDbHz <= kSnrMaxDbHz; }
    const std::vector<SkyCell>& Sky() const { return sky_; }
    // Indexed by Gnss * kTrackNumbers + number.
    const std::vector<TrackEnd>& TrackEnds() const { return trackEnds_; }
    // Per system, the mean C/N0 of the satellites used over runs of epochs.
    const RunMeans<kSatSystems>& UsedSnr() const { return usedSnr_; }
    double SnrSum(int system) const { return double(snrSum_[system]); }
    int64_t SnrCount(int system) const { return snrCount_[system]; }

    int64_t errors = 0;        // sentences or frames the decoder refused
    int64_t leftOut = 0;       // epochs that came when the log was full
    // Offset in the stream just after the GGA or 0x88 of the first accepted
    // fix (bytes given to the collector); -1 when unknown.
    int64_t firstAcceptedByte = -1;
    bool datesKnown = false;   // the times count from 1970-01-01
    // Some "other" satellites used are a GN GGA's count with no GSA to say
    // of which systems: GNSS, system unknown.
    bool usedSystemUnknown = false;

private:
    static constexpr uint32_t kCellCountMax = 1u << 24;

    int64_t SegmentTimeMs(size_t i) const;
    // Append where a new block or a new segment is needed.
    void AppendAnew(const EpochRecord& r, int64_t timeMs);

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
    // The last block and the last segment's base, for Append's common case.
    EpochRecord* lastBlock_ = nullptr;
    size_t blockEnd_ = 0;            // the index just after the last block
    int64_t lastBaseMs_ = 0;
    size_t capacity_;
    std::vector<SkyCell> sky_ = std::vector<SkyCell>(size_t(kSkyAzimuths) * kSkyElevations);
    std::array<int64_t, kSatSystems> snrSum_{};
    std::array<int64_t, kSatSystems> snrCount_{};
    std::vector<TrackEnd> trackEnds_ = std::vector<TrackEnd>(size_t(kGnssCount) * kTrackNumbers);
    RunMeans<kSatSystems> usedSnr_;
    bool charts_ = true;
};
