#include "SignalEpoch.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "GnssEpoch.h"
#include "Util.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kGsaFirstId = 3;

} // namespace

void SignalEpoch::Reset()
{
    fold_.Reset();
    usedCount_ = 0;
    epochUsedCount_ = 0;
    stale_ = false;
    bars_ = SignalBars();
}

// $GNGSA,A,3,05,10,,,,,,,,,,,1.9,1.0,1.6,1*0E: the used satellites of one
// system, named as GnssEpoch names them.
void SignalEpoch::AddGsa(const NmeaFields& gsa)
{
    const GsaLayout layout = ReadGsaLayout(gsa);
    Gnss system = SystemFromSystemId(layout.systemId);
    if (system == Gnss::Unknown)
        system = SystemFromTalker(gsa.slot[0]);
    for (int k = kGsaFirstId; k <= layout.lastId && usedCount_ < kUsedMax; ++k) {
        if (gsa.slot[k][0] == '\0' || std::strchr(gsa.slot[k], '.'))
            continue;
        const SatelliteId id = AssignSatellite(system, TextToInt(gsa.slot[k]));
        if (id.system != Gnss::Unknown && std::find(used_, used_ + usedCount_, id) == used_ + usedCount_)
            used_[usedCount_++] = id;
    }
}

bool SignalEpoch::OnNmea(int result, const NmeaAssembler& nmea, const GnssEpoch& gnss)
{
    switch (result) {
    case kNmeaGsv:
        fold_.AddGsv(nmea.Stored(NmeaKind::Gsv));
        return false;
    case kNmeaGsa:
        AddGsa(nmea.Stored(NmeaKind::Gsa));
        return false;
    case kNmeaGga:
        break;
    default:
        return false;
    }
    const bool changed = fold_.Close();
    if (changed) {
        epochMultiGnss_ = gnss.Enabled();
        if (epochMultiGnss_) {
            const GnssPicture& p = gnss.Picture();
            epochUsedCount_ = std::clamp(p.usedCount, 0, std::min(kEpochUsedMax, kUsedMax));
            for (int i = 0; i < epochUsedCount_; ++i)
                epochUsed_[i] = p.used[i].id;
        } else {
            std::copy(used_, used_ + usedCount_, epochUsed_);
            epochUsedCount_ = usedCount_;
        }
        stale_ = true;
    }
    usedCount_ = 0;
    return changed;
}

const SignalBars& SignalEpoch::Bars() const
{
    if (stale_) {
        bars_ = fold_.Bars({epochUsed_, epochUsedCount_}, epochMultiGnss_);
        stale_ = false;
    }
    return bars_;
}

bool SignalEpoch::OnBinr(int result, const BinrDecoder& binr, bool multiGnss)
{
    if (result != kMsgSatInView)
        return false;
    bars_ = BarsFromBinr(binr, multiGnss);
    stale_ = false;
    return true;
}
