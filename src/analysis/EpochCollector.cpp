#include "EpochCollector.h"

#include "EpochValues.h"

#include "BinrLayouts.h"
#include "PositionText.h"
#include "StatisticText.h"
#include "Util.h"
#include "WeekRollover.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>

namespace {

constexpr int64_t kHalfDayMs = kMsPerDay / 2;
constexpr int64_t kGpsWeekRollover = 1024;     // a dated week counts from August 1999
constexpr int64_t kGpsEpochDay = 3657;         // 1980-01-06, in days from 1970-01-01

// The systems of a 0x52 record's system byte: the figures' split, the
// satellite's own and the 0x93 mask of the satellites used.
struct BinrSystem {
    int figures;
    Gnss system;
    uint32_t usedMask;
};

BinrSystem BinrSystemOf(uint8_t system, const SolutionStatus& status)
{
    switch (system) {
    case kSystemGps: return {kSysGps, Gnss::Gps, status.gpsUsed};
    case kSystemGlonass: return {kSysGlonass, Gnss::Glonass, status.glonassUsed};
    case kSystemSbas: return {kSysOther, Gnss::Sbas, 0};
    default: return {kSysOther, Gnss::Unknown, 0};
    }
}

} // namespace

bool TimeWindow::Contains(int64_t msOfDay) const
{
    if (fromS < 0 && toS < 0)
        return true;
    if (msOfDay < 0)
        return false;
    const int64_t s = msOfDay / 1000;
    const int64_t from = fromS < 0 ? 0 : fromS;
    const int64_t to = toS < 0 ? kMsPerDay / 1000 - 1 : toS;
    return from <= to ? (s >= from && s <= to) : (s >= from || s <= to);
}

EpochCollector::EpochCollector(EpochLog& log, AcceptLimits limits, TimeWindow window)
    : log_(log), limits_(std::move(limits)), fixLimits_(ReadFixLimits(limits_.maxHdop, limits_.maxVdop, limits_.diffOnly)),
      window_(window), windowed_(window.fromS >= 0 || window.toS >= 0)
{
}

namespace {

// Runs a decoder's block interface over any size: push(from, size, used)
// returns a result code, handle(result, end) takes every non-zero one with
// the offset in data just after the bytes that made it.
// A file's bytes come from memory in pages the processor's own prefetch
// does not run ahead into, so the line a page ahead is asked for as each
// message is done: a recording read from the page cache is decoded about
// as fast as one already in the cache.
template <typename Byte, typename Push, typename Handle>
void Decode(const Byte* data, size_t size, Push push, Handle handle)
{
    constexpr int kPrefetchAhead = 4096;
    size_t base = 0;
    while (size > 0) {
        const int chunk = int(std::min<size_t>(size, INT_MAX));
        int done = 0;
        while (done < chunk) {
            int used = 0;
            const int result = push(data + done, chunk - done, used);
            done += std::max(used, 1);
            __builtin_prefetch(data + std::min(done + kPrefetchAhead, chunk - 1));
            if (result != 0)
                handle(result, base + size_t(done));
        }
        data += chunk;
        size -= size_t(chunk);
        base += size_t(chunk);
    }
}

} // namespace

EpochCollector::Decoders& EpochCollector::OwnDecoders()
{
    if (!decoders_)
        decoders_ = std::make_unique<Decoders>();
    return *decoders_;
}

void EpochCollector::PushNmea(const char* data, size_t size)
{
    NmeaAssembler& nmea = OwnDecoders().nmea;
    Decode(
        data, size, [&nmea](const char* from, int n, int& used) { return nmea.PushBlock(from, n, used); },
        [this, &nmea](int result, size_t end) { Judge(result, nmea, pushed_ + int64_t(end)); });
    pushed_ += int64_t(size);
}

void EpochCollector::Judge(int result, const NmeaAssembler& nmea, int64_t endByte)
{
    resultEndByte_ = endByte;
    // The window accepts no fix of quality 0: reading the rest of such a GGA
    // would change nothing.
    OnNmea(result, nmea,
           result == kNmeaGga && TextToInt(NmeaField(nmea.Stored(NmeaKind::Gga), 6)) != 0
               && AcceptFix(StatisticFixFromNmea(nmea), fixLimits_));
}

void EpochCollector::PushBinr(const uint8_t* data, size_t size)
{
    BinrDecoder& binr = OwnDecoders().binr;
    Decode(
        data, size, [&binr](const uint8_t* from, int n, int& used) { return binr.PushBlock(from, n, used); },
        [this, &binr](int result, size_t end) { Judge(result, binr, dates_, pushed_ + int64_t(end)); });
    pushed_ += int64_t(size);
}

void EpochCollector::Judge(int result, const BinrDecoder& binr, const DatePolicy& dates, int64_t endByte)
{
    resultEndByte_ = endByte;
    if (result != kMsgNavSolution) {
        // What OnBinr does with any other result, without the call.
        if (result == kNmeaError)
            ++log_.errors;
        return;
    }
    // Each record is read once, for the window's rule and the epoch.
    const NavSolution nav = ReadNavSolution(binr.NavSolution());
    const DopInfo dop = ReadDopInfo(binr.DopInfo());
    AddBinrEpoch(nav, dop, binr, AcceptFix(StatisticFixFromBinr(nav, dop), fixLimits_), dates);
}

const char* FixKindName(FixKind kind)
{
    static const char* const kNames[kFixKinds] = {"none",      "autonomous", "differential", "rtk-fixed", "rtk-float",
                                                  "estimated", "manual",     "simulated",    "other"};
    const size_t k = size_t(kind);
    return k < size_t(kFixKinds) ? kNames[k] : kNames[kFixKinds - 1];
}

std::optional<FixKind> FixKindFromName(std::string_view name)
{
    for (int k = 0; k < kFixKinds; ++k)
        if (name == FixKindName(FixKind(k)))
            return FixKind(k);
    return std::nullopt;
}

void EpochCollector::OnBinr(int result, const BinrDecoder& binr, bool accepted, const DatePolicy& dates)
{
    if (result == kNmeaError) {
        ++log_.errors;
        return;
    }
    if (result == kMsgNavSolution)
        AddBinrEpoch(ReadNavSolution(binr.NavSolution()), ReadDopInfo(binr.DopInfo()), binr, accepted, dates);
}

// The window's fix reads the same two records; its validity and position are
// these fields.
void EpochCollector::AddBinrEpoch(const NavSolution& nav, const DopInfo& dop, const BinrDecoder& binr, bool accepted,
                                  const DatePolicy& dates)
{
    epoch_ = EpochRecord{};
    epoch_.latRad = epoch_.lonRad = epoch_.heightM = kNoPosition;
    epoch_.hdop = epoch_.vdop = kNoDop;
    epochEndByte_ = resultEndByte_;
    open_ = true;
    inViewCount_ = 0;
    ForgetUsed();
    msOfDay_ = dateDay_ = dateMsOfDay_ = -1;
    FixKind kind = FixKind::None;
    FixDim dim = FixDim::Unknown;
    if (nav.flags & kSolutionValid) {
        kind = (nav.flags & kSolutionDiff) ? FixKind::Differential : FixKind::Autonomous;
        dim = (nav.flags & kSolution2D) ? FixDim::TwoD : FixDim::ThreeD;
        SetPosition(nav.latRad, nav.lonRad, nav.altM);
    }
    accepted = accepted && (limits_.kinds & KindBit(kind));
    epoch_.flags = uint8_t(uint8_t(kind) | uint8_t(dim) << EpochRecord::kDimShift | (accepted ? EpochRecord::kAccepted : 0));
    epoch_.hdop = DopHundredths(dop.hdop);
    epoch_.vdop = DopHundredths(dop.vdop);
    epoch_.used[kSysGps] = CountByte(dop.gpsCount);
    epoch_.used[kSysGlonass] = CountByte(dop.glonassCount);
    if (std::isfinite(nav.timeOfWeekMs) && nav.timeOfWeekMs >= 0 && nav.timeOfWeekMs < double(kMsPerWeek)) {
        // Dated as the POSITION view dates it: the program's choice of the
        // week's 1024-week cycle.
        const int32_t day = int32_t(nav.timeOfWeekMs / double(kMsPerDay));
        if (nav.week != datedFromWeek_ || day != datedFromDay_ || !(dates == datedBy_)) {
            datedWeek_ = dates.Week(int32_t(nav.timeOfWeekMs / 1000), nav.week);
            datedBy_ = dates;
            datedFromWeek_ = nav.week;
            datedFromDay_ = day;
        }
        const int32_t week = datedWeek_;
        const int64_t ms = (int64_t(week) + kGpsWeekRollover) * kMsPerWeek + int64_t(nav.timeOfWeekMs);
        msOfDay_ = ms % kMsPerDay;
        dateDay_ = kGpsEpochDay + ms / kMsPerDay;
    }
    if (!CloseEpoch())
        return;
    if (!log_.KeepsCharts()) {
        EpochLog::SatelliteFold fold(log_);
        const int count = binr.SatInViewCount();
        for (int i = 0; i < count; ++i) {
            const SatInView sat = ReadSatInView(binr.SatInViewRecord(i));
            const int system = sat.system == kSystemGps ? kSysGps : sat.system == kSystemGlonass ? kSysGlonass : kSysOther;
            fold.AddSnr(system, sat.snrDbHz);
        }
        return;
    }
    // Used: the satellite's bit in the last 0x93, as the SATELLITES view reads it.
    const SolutionStatus status = ReadSolutionStatus(binr.StatusHeader());
    constexpr int kMaskBits = 32;
    std::array<uint32_t, kSatSystems> usedSum{}, usedCount{};
    {
        EpochLog::SatelliteFold fold(log_);
        const int count = binr.SatInViewCount();
        for (int i = 0; i < count; ++i) {
            const SatInView sat = ReadSatInView(binr.SatInViewRecord(i));
            const BinrSystem system = BinrSystemOf(sat.system, status);
            const SatelliteId id = sat.number == 0 ? SatelliteId{} : SatelliteId{system.system, sat.number};
            // The figures' systems are all counted: counted is SnrValid.
            const bool counted = fold.Add(system.figures, id, sat.elevationDeg, sat.azimuthDeg, sat.snrDbHz);
            const int bit = sat.number - 1;
            if (counted && bit >= 0 && bit < kMaskBits && ((system.usedMask >> bit) & 1u)) {
                usedSum[size_t(system.figures)] += uint32_t(sat.snrDbHz);
                ++usedCount[size_t(system.figures)];
            }
        }
    }
    log_.AddUsedSnr(usedSum, usedCount);
}

void EpochCollector::ForgetUsed()
{
    for (int i = 0; i < usedCount_; ++i)
        usedBits_.reset(size_t(used_[i].system) * kTrackNumbers + used_[i].number);
    usedCount_ = 0;
}

void EpochCollector::SetPosition(double latRad, double lonRad, double heightM)
{
    // A position must be a place on Earth: a garbled frame's 1e300 would
    // spoil every mean and every chart's scale. No height (NaN) is a
    // position without one.
    constexpr double kLatLimitRad = M_PI / 2 + 1e-9;
    constexpr double kLonLimitRad = 2 * M_PI;
    constexpr double kHeightLimitM = 1e7;
    if (!(std::fabs(latRad) <= kLatLimitRad) || !(std::fabs(lonRad) <= kLonLimitRad)
        || (!std::isnan(heightM) && !(std::fabs(heightM) <= kHeightLimitM)))
        return;
    epoch_.latRad = latRad;
    epoch_.lonRad = lonRad > M_PI || lonRad < -M_PI ? std::remainder(lonRad, 2 * M_PI) : lonRad;
    epoch_.heightM = heightM;
}

bool EpochCollector::CloseEpoch()
{
    if (!open_)
        return false;
    open_ = false;
    if (windowed_ && !window_.Contains(msOfDay_))
        return false;
    if (log_.Full()) {
        ++log_.leftOut;
        return false;
    }
    int64_t timeMs = lastTimeMs_;
    if (msOfDay_ >= 0) {
        epoch_.flags |= EpochRecord::kTimeKnown;
        // An RMC a moment after midnight dates a fix of the day before.
        int64_t day = dateDay_;
        if (day >= 0 && dateMsOfDay_ >= 0)
            day += dateMsOfDay_ < msOfDay_ - kHalfDayMs ? -1 : dateMsOfDay_ > msOfDay_ + kHalfDayMs ? 1 : 0;
        timeMs = PlaceOnTimeLine(msOfDay_, day);
    }
    if (epoch_.Accepted() && log_.firstAcceptedByte < 0)
        log_.firstAcceptedByte = epochEndByte_;
    if (ggaSystemUnknown_ && !gsaSeen_ && epoch_.used[kSysOther] > 0)
        log_.usedSystemUnknown = true;
    log_.Append(epoch_, timeMs);
    if (inViewCount_ == 0)
        return true;
    if (!log_.KeepsCharts()) {
        EpochLog::SatelliteFold fold(log_);
        for (int i = 0; i < inViewCount_; ++i)
            fold.AddSnr(inView_[i].system, inView_[i].snrDbHz);
        return true;
    }
    std::array<uint32_t, kSatSystems> usedSum{}, usedCount{};
    {
        EpochLog::SatelliteFold fold(log_);
        const bool anyUsed = usedCount_ > 0;
        for (int i = 0; i < inViewCount_; ++i) {
            const Satellite& sat = inView_[i];
            // counted: the system is one of the figures' and the SNR valid.
            const bool counted = fold.Add(sat.system, sat.id, sat.elevationDeg, sat.azimuthDeg, sat.snrDbHz);
            if (counted && anyUsed && UsedInEpoch(sat.id)) {
                usedSum[size_t(sat.system)] += uint32_t(sat.snrDbHz);
                ++usedCount[size_t(sat.system)];
            }
        }
    }
    if (usedCount_ > 0)
        log_.AddUsedSnr(usedSum, usedCount);
    return true;
}

int64_t EpochCollector::PlaceOnTimeLine(int64_t msOfDay, int64_t dateDay)
{
    const bool rollover = lastMsOfDay_ >= 0 && msOfDay < lastMsOfDay_ - kHalfDayMs;
    if (dateDay >= 0) {
        if (!log_.datesKnown) {
            // The first date: the epochs before it move from the recording's
            // own day count onto the calendar.
            const int64_t shift = (dateDay - (day_ + (rollover ? 1 : 0))) * kMsPerDay;
            log_.ShiftTimes(shift);
            lastTimeMs_ += shift;
            log_.datesKnown = true;
        }
        day_ = dateDay;
    } else if (rollover) {
        ++day_;
    }
    lastMsOfDay_ = msOfDay;
    lastTimeMs_ = day_ * kMsPerDay + msOfDay;
    return lastTimeMs_;
}

void EpochCollector::Finish() { CloseEpoch(); }

void EpochCollector::Reset()
{
    open_ = false;
    rule_.Reset();
    datedFromWeek_ = -1;   // a new playback may date weeks by another time
    log_.Clear();
    day_ = 0;
    lastMsOfDay_ = -1;
    lastTimeMs_ = 0;
    resultEndByte_ = epochEndByte_ = -1;
}
