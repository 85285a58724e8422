// Any byte stream through the assembler and the Multi-GNSS epoch merge, and
// the texts made from it: every list stays within its capacity and names a
// known system, and no text routine fails on what the merge kept.
#include "GnssEpoch.h"
#include "PositionText.h"
#include "SatellitesText.h"
#include "StatisticText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckPicture(const GnssPicture& p)
{
    if (p.usedCount < 0 || p.usedCount > kEpochUsedMax || p.skyCount < 0 || p.skyCount > kEpochSkyMax)
        std::abort();
    for (int i = 0; i < p.usedCount; ++i)
        if (p.used[i].id.system == Gnss::Unknown || int(p.used[i].id.system) >= kGnssCount)
            std::abort();
    for (int i = 0; i < p.skyCount; ++i)
        if (p.sky[i].id.system == Gnss::Unknown || p.sky[i].elevationDeg < -90 || p.sky[i].elevationDeg > 90)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static NmeaAssembler nmea;
    static GnssEpoch epoch;
    nmea.Reset();
    epoch.Reset();
    epoch.SetEnabled(true);
    auto show = [&] {
        CheckPicture(epoch.Picture());
        PositionFromNmea(nmea, epoch.Picture());
        SatellitesFromGnss(epoch.Picture());
        StatisticFixFromNmea(nmea, epoch.Picture());
    };
    for (size_t i = 0; i < size; ++i) {
        const int result = nmea.PushByte(char(data[i]));
        // Shown when complete, and now and then as if a live source fell quiet.
        if (epoch.Feed(result, nmea) || (data[i] == '*' && epoch.Complete()))
            show();
        else if (result == kNmeaGga)
            StatisticFixFromNmea(nmea, epoch.Picture());
    }
    if (epoch.Complete())
        show();
    return 0;
}
