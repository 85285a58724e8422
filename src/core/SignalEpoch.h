#pragma once
// What the SIGNALS window shows of one source, epoch by epoch: the bars of
// SignalBars with the satellites used in the solution.
//
// NMEA: GSVs are folded as they come (SignalFold); a GGA ends the epoch, and
// when a whole GSV cycle completed in it the bars are made anew. "Used" is,
// with Multi-GNSS, the merged GSAs of GnssEpoch's last completed epoch (the
// one the same GGA closed); without it, the used satellites of every GSA
// received since the GGA before, so that a receiver's GSA per system all
// count, as the GSVs of the same stretch do. BINR: each 0x52 is an epoch,
// with the used and bad satellites of the last 0x93.
#include "SignalBars.h"

class BinrDecoder;
class GnssEpoch;

class SignalEpoch {
public:
    void Reset();
    // One result of the NMEA assembler; true when the bars changed.
    bool OnNmea(int result, const NmeaAssembler& nmea, const GnssEpoch& gnss);
    // One result of the BINR decoder; true when the bars changed.
    bool OnBinr(int result, const BinrDecoder& binr, bool multiGnss);
    // Made when asked (a flood closes thousands of epochs a second, the
    // window draws 20 times).
    const SignalBars& Bars() const;

private:
    static constexpr int kUsedMax = 64;

    void AddGsa(const NmeaFields& gsa);

    SignalFold fold_;
    SatelliteId used_[kUsedMax];       // GSAs since the last GGA
    int usedCount_ = 0;
    SatelliteId epochUsed_[kUsedMax];  // those of the last epoch closed
    int epochUsedCount_ = 0;
    bool epochMultiGnss_ = false;
    mutable bool stale_ = false;       // bars_ is not made from the last epoch yet
    mutable SignalBars bars_;
};
