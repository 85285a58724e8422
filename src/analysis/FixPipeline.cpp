#include "FixPipeline.h"

#include "BinrLayouts.h"

FixPipeline::FixPipeline(size_t reportEpochsMax) : log_(reportEpochsMax), collector_(log_) {}

FixStep FixPipeline::Judge(const StatisticFix& fix, bool fromBinr)
{
    FixStep step;
    step.offered = true;
    step.fromBinr = fromBinr;
    step.fix = fix;
    step.verdict = JudgeFix(fix, limits_.maxHdop, limits_.maxVdop, limits_.diffOnly);
    if (step.verdict == FixVerdict::Accepted)
        AccumulateStatistics(accumulator_, fix.latRad, fix.lonRad, fix.heightM, fix.speedMps, stats_);
    ++offered_;
    lastFromBinr_ = fromBinr;
    step.acceptedCount = accumulator_.count;
    step.offeredCount = offered_;
    step.stats = stats_;
    return step;
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
// The fix is the GGA with the RMC and GSA the assembler kept before it.
FixStep FixPipeline::OnNmeaResult(const NmeaAssembler& nmea, int result, const GnssEpoch* gnss)
{
    if (result != kNmeaGga) {
        collector_.OnNmea(result, nmea, false);
        return {};
    }
    const bool multiGnss = gnss && gnss->Enabled();
    FixStep step = Judge(multiGnss ? StatisticFixFromNmea(nmea, gnss->Picture()) : StatisticFixFromNmea(nmea), false);
    if (step.Accepted())
        step.position = GgaPosition(nmea.Stored(NmeaKind::Gga));
    collector_.OnNmea(kNmeaGga, nmea, step.Accepted());
    return step;
}

// The fix is the 0x88 with the 0x60 (DOPs) the decoder kept before it.
FixStep FixPipeline::OnBinrResult(const BinrDecoder& binr, int result, const DatePolicy& dates)
{
    if (result != kMsgNavSolution) {
        collector_.OnBinr(result, binr, false, dates);
        return {};
    }
    const NavSolution nav = ReadNavSolution(binr.NavSolution());
    FixStep step = Judge(StatisticFixFromBinr(nav, ReadDopInfo(binr.DopInfo())), true);
    if (step.Accepted())
        step.position = {nav.latRad, nav.lonRad, nav.altM};
    collector_.OnBinr(kMsgNavSolution, binr, step.Accepted(), dates);
    return step;
}

void FixPipeline::Reset()
{
    accumulator_ = {};
    offered_ = 0;
    collector_.Reset();
}
