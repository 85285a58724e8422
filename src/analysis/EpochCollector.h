#pragma once
// Turns a decoded stream into epochs.
//
// NMEA: an epoch is one reporting cycle, as EpochRule.h has it (the
// Multi-GNSS views follow the same rule). Its fix is its GGA, else its GNS,
// else its RMC: kind, position, HDOP and the time it is stamped with; a GGA
// of the same time from another talker adds its count of satellites used
// under that system while the epoch has no GSA. A height is the GGA's or
// GNS's where the field holds one; an RMC fix has none. An RMC in the cycle
// gives the date. The GSA and GSV sentences of the cycle give the fix
// dimension, the VDOP, the satellites used and those in view. The epoch
// closes when the next one opens or at Finish. BINR: each 0x88 is an epoch,
// with the 0x60 (DOPs, satellites used) and the 0x52 (satellites in view)
// the decoder kept before it.
//
// Whether a fix is accepted is the STATISTIC window's decision, made when the
// GGA or 0x88 completes, from the same records and the same limits; for a GNS
// or RMC epoch the collector makes it by the same rule. The kinds a report
// accepts narrow it further (AcceptLimits::kinds).
//
// The collector works behind any decoder: give it each result code as it
// comes with where it ended (the bench's receivers, listening to their
// source's intake), or give it bytes and it runs decoders of its own (the
// --report command does so; they are made only then).
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "EpochLog.h"
#include "EpochRule.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "StatisticText.h"
#include "WeekRollover.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The fix kinds as reports name them: none, autonomous, differential,
// rtk-fixed, rtk-float, estimated, manual, simulated, other.
const char* FixKindName(FixKind kind);
std::optional<FixKind> FixKindFromName(std::string_view name);
constexpr uint16_t KindBit(FixKind kind) { return uint16_t(1u << unsigned(kind)); }
// Accepted unless a report names its kinds: every fix but manual input and
// the simulator's, which are no measurements.
constexpr uint16_t kDefaultKinds = uint16_t(((1u << kFixKinds) - 1) & ~KindBit(FixKind::None)
                                            & ~KindBit(FixKind::Manual) & ~KindBit(FixKind::Simulated));

struct AcceptLimits {
    std::string maxHdop = "0.0";   // as the window's edits read: "0.0" is no limit
    std::string maxVdop = "0.0";
    bool diffOnly = false;
    uint16_t kinds = kDefaultKinds;   // KindBit of each kind accepted
};

// Epochs whose UTC time of day lies within [fromS, toS] (whole seconds; the
// to-second is included); when from is after to, the window crosses midnight.
struct TimeWindow {
    int32_t fromS = -1;    // -1: from the start of the day
    int32_t toS = -1;      // -1: to its end
    bool Contains(int64_t msOfDay) const;
};

class EpochCollector {
public:
    explicit EpochCollector(EpochLog& log, AcceptLimits limits = {}, TimeWindow window = {});

    // Bytes through the collector's own decoders; their BINR weeks are
    // dated by this policy (one rollover until set).
    void SetDates(const DatePolicy& dates) { dates_ = dates; }
    void PushNmea(const char* data, size_t size);
    void PushBinr(const uint8_t* data, size_t size);

    // A result code of a decoder the caller runs. accepted is the window's
    // decision for a GGA or 0x88; it is ignored for every other result. A
    // 0x88's week is dated by the policy of the caller's source.
    void OnNmea(int result, const NmeaAssembler& nmea, bool accepted);
    void OnBinr(int result, const BinrDecoder& binr, bool accepted, const DatePolicy& dates);
    // A result of a decoder the caller runs, judged here by the collector's
    // limits exactly as for bytes pushed; endByte: where it ended, counted
    // as the pushed bytes would be.
    void Judge(int result, const NmeaAssembler& nmea, int64_t endByte);
    void Judge(int result, const BinrDecoder& binr, const DatePolicy& dates, int64_t endByte);
    // Decoders of its own were made (bytes were pushed).
    bool OwnsDecoders() const { return decoders_ != nullptr; }

    // Closes the open epoch; call once the stream has ended.
    void Finish();
    // Forgets every epoch and the time line (the statistics were reset).
    void Reset();

private:
    struct Satellite {
        int8_t system;
        int8_t elevationDeg;
        int16_t azimuthDeg;
        int16_t snrDbHz;
        SatelliteId id;
    };
    static constexpr int kInViewMax = 64;
    static constexpr int kUsedMax = 64;

    void OnFixSentence(FixSentence kind, const NmeaAssembler& nmea, bool accepted);
    void OpenNmeaEpoch(FixSentence kind, const NmeaFields& fields, bool accepted);
    void TakeFix(FixSentence kind, const NmeaFields& fields, bool accepted);
    bool AcceptedByRule(FixSentence kind, const NmeaFields& sentence, const NmeaAssembler& nmea) const;
    void AttachRmc(const NmeaFields& rmc);
    void AttachGsa(const NmeaFields& gsa);
    void AttachGsv(const NmeaFields& gsv);
    void AddBinrEpoch(const NavSolution& nav, const DopInfo& dop, const BinrDecoder& binr, bool accepted,
                      const DatePolicy& dates);
    // False when there was no open epoch or it lies outside the time window.
    bool CloseEpoch();
    void SetPosition(double latRad, double lonRad, double heightM);
    // Inline: it runs for every satellite of every GSV.
    void AddInView(int system, SatelliteId id, int elevationDeg, int azimuthDeg, int snrDbHz)
    {
        if (inViewCount_ == kInViewMax)
            return;
        inView_[inViewCount_++] = {int8_t(system), int8_t(std::clamp(elevationDeg, -1, 90)),
                                   int16_t(std::clamp(azimuthDeg, -1, 360)), int16_t(std::clamp(snrDbHz, 0, 255)), id};
    }
    bool UsedInEpoch(SatelliteId id) const
    {
        return id.system != Gnss::Unknown && id.number < kTrackNumbers
               && usedBits_.test(size_t(id.system) * kTrackNumbers + id.number);
    }
    void ForgetUsed();
    int64_t PlaceOnTimeLine(int64_t msOfDay, int64_t dateDay);

    EpochLog& log_;
    AcceptLimits limits_;
    FixLimitValues fixLimits_;      // limits_ read once
    TimeWindow window_;
    bool windowed_;            // the window leaves some times of day out
    struct Decoders {
        NmeaAssembler nmea;
        BinrDecoder binr;
    };
    Decoders& OwnDecoders();
    std::unique_ptr<Decoders> decoders_;

    // The open epoch.
    bool open_ = false;
    EpochRecord epoch_{};
    int64_t msOfDay_ = -1;         // -1: no time
    int64_t dateDay_ = -1;         // days from 1970-01-01, -1: no date
    int64_t dateMsOfDay_ = -1;     // the time of the RMC that gave the date
    bool gsaSeen_ = false;
    EpochRule rule_;
    FixSentence epochKind_ = FixSentence::None;  // the open epoch's fix sentence
    bool ggaSystemUnknown_ = false;   // the epoch's "other" count is a GN GGA's
    Satellite inView_[kInViewMax];
    int inViewCount_ = 0;
    // The satellites the epoch's GSAs list as used, and the same as bits
    // (Gnss * kTrackNumbers + number) for a look-up per satellite in view.
    SatelliteId used_[kUsedMax];
    int usedCount_ = 0;
    std::bitset<size_t(kGnssCount) * kTrackNumbers> usedBits_;

    DatePolicy dates_;
    // The dated week of the last 0x88 week and day seen, by the policy it
    // was dated by: it changes once a day, and dating it is not free.
    DatePolicy datedBy_;
    int32_t datedFromWeek_ = -1;
    int32_t datedFromDay_ = -1;
    int32_t datedWeek_ = 0;

    // Where in the pushed bytes the last result and the open epoch's fix
    // sentence or 0x88 ended; -1 for results handed in by a caller.
    int64_t pushed_ = 0;
    int64_t resultEndByte_ = -1;
    int64_t epochEndByte_ = -1;

    // The time line so far.
    int64_t day_ = 0;
    int64_t lastMsOfDay_ = -1;
    int64_t lastTimeMs_ = 0;
    bool anyDate_ = false;
};
