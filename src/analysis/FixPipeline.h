#pragma once
// One source's fixes, one pass per epoch. Whoever runs a source's decoders
// hands the pipeline each result code as it comes, with the decoder it came
// from; a GGA or a 0x88 closes a fix, which is judged (the rule of
// StatisticText: no solution, impossible place, the HDOP and VDOP limits,
// DIFF only), counted as offered (Nall), and when accepted added to the means
// and rms (N); every result also goes to the report collector with the
// decision on its fix. What comes out is a FixStep: the STATISTIC window only
// formats it, and the pipeline's owner hands accepted positions on to VISUAL.
//
// Nothing here reads a window, a clock or a program-wide decoder, so one
// pipeline can run per source, and a test runs it on decoders of its own.
#include "BinrDecoder.h"
#include "EpochCollector.h"
#include "EpochLog.h"
#include "GnssEpoch.h"
#include "NmeaAssembler.h"
#include "StatisticText.h"
#include "Util.h"
#include "VisualText.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The limits as STATISTIC's edits read back (unfilled places as blanks):
// exactly "0.0" is no limit.
struct FixLimits {
    std::string maxHdop = "0.0";
    std::string maxVdop = "0.0";
    bool diffOnly = false;
};

struct FixStep {
    // The result closed a fix (a GGA, a 0x88). Nothing below is set otherwise.
    bool offered = false;
    FixVerdict verdict = FixVerdict::NoSolution;
    bool fromBinr = false;
    StatisticFix fix;
    // Where VISUAL plots the fix: the GGA's or the 0x88's own coordinates.
    // Set only for an accepted fix.
    GeoPosition position;
    int32_t acceptedCount = 0;   // N: accepted since the reset, this one included
    int64_t offeredCount = 0;    // Nall: offered since the reset, this one included
    // The means and rms after this fix; those of the last accepted fix when
    // this one was not.
    StatisticsOutput stats;

    bool Accepted() const { return offered && verdict == FixVerdict::Accepted; }
};

class FixPipeline {
public:
    // The epochs the receiver report covers are kept until the next reset;
    // past this many (80 MB: 28 hours at 20 Hz, 23 days at 1 Hz) they are
    // counted and the page says so, so that a monitor left running for weeks
    // stays flat.
    static constexpr size_t kReportEpochsMax = 2'000'000;

    explicit FixPipeline(size_t reportEpochsMax = kReportEpochsMax);
    FixPipeline(const FixPipeline&) = delete;
    FixPipeline& operator=(const FixPipeline&) = delete;

    // Take effect from the next fix.
    void SetLimits(FixLimits limits) { limits_ = std::move(limits); }
    const FixLimits& Limits() const { return limits_; }

    // Each result code of the source's decoder, in order. gnss: the source's
    // Multi-GNSS epoch, if it has one; when it is enabled, RTK fixed and float
    // count as differential and VDOP comes from its merged GSAs.
    FixStep OnNmeaResult(const NmeaAssembler& nmea, int result, const GnssEpoch* gnss = nullptr);
    FixStep OnBinrResult(const BinrDecoder& binr, int result, const DatePolicy& dates);

    // Empties the means, the counts and the report; Stats() keeps the
    // results of the last accepted fix until the next one.
    void Reset();

    const StatisticsOutput& Stats() const { return stats_; }
    int32_t AcceptedCount() const { return accumulator_.count; }
    int64_t OfferedCount() const { return offered_; }
    // The last fix came from BINR (the report names the protocol after it).
    bool LastFromBinr() const { return lastFromBinr_; }

    EpochCollector& Collector() { return collector_; }
    const EpochLog& Log() const { return log_; }

private:
    FixStep Judge(const StatisticFix& fix, bool fromBinr);

    FixLimits limits_;
    StatisticsAccumulator accumulator_;
    StatisticsOutput stats_;
    int64_t offered_ = 0;
    bool lastFromBinr_ = false;
    EpochLog log_;
    EpochCollector collector_;
};
