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
        if (gnss.Enabled()) {
            const GnssPicture& p = gnss.Picture();
            SatelliteId used[kEpochUsedMax];
            const int n = std::clamp(p.usedCount, 0, kEpochUsedMax);
            for (int i = 0; i < n; ++i)
                used[i] = p.used[i].id;
            bars_ = fold_.Bars({used, n}, true);
        } else {
            bars_ = fold_.Bars({used_, usedCount_}, false);
        }
    }
    usedCount_ = 0;
    return changed;
}

bool SignalEpoch::OnBinr(int result, const BinrDecoder& binr, bool multiGnss)
{
    if (result != kMsgSatInView)
        return false;
    bars_ = BarsFromBinr(binr, multiGnss);
    return true;
}
