// Any byte stream through the BINR decoder, byte by byte and in blocks (the
// two must agree), and every kept payload through the layout readers and on
// into the text routines, as the views and the synthesis would use them.
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Util.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void ReadKept(const BinrDecoder& binr, int id)
{
    switch (id) {
    case kMsgNavSolution: {
        const NavSolution s = ReadNavSolution(binr.NavSolution());
        const int32_t seconds = WholeSeconds(s.timeOfWeekMs);
        Check(TimeToText(seconds).size() <= 12);
        Check(GpsDateToText(seconds, s.week).size() == 8);
        Check(LatToText(s.latRad).size() <= 22);
        Check(LonToText(s.lonRad).size() <= 22);
        const SpeedCourse sc = SpeedAndCourse(s.velNorthMps, s.velEastMps);
        Check(std::isnan(sc.courseDeg) || (sc.courseDeg >= 0 && sc.courseDeg <= 360));
        static StatisticsAccumulator accumulator;
        StatisticsOutput out;
        AccumulateStatistics(accumulator, s.latRad, s.lonRad, s.altM, sc.speedMps, out);
        break;
    }
    case kMsgDopInfo:
        ReadDopInfo(binr.DopInfo());
        break;
    case kMsgDeviceInfo: {
        char text[kDeviceTextMax + 1];
        ReadDeviceText(binr.DeviceInfo(), text);
        Check(strnlen(text, sizeof text) < sizeof text);
        break;
    }
    case kMsgSolutionStatus:
        ReadSolutionStatus(binr.StatusHeader());
        Check(binr.BadSatCount() >= 0 && binr.BadSatCount() <= kBadSatMax);
        for (int i = 0; i < binr.BadSatCount(); ++i)
            NmeaSatelliteId(kSystemGps, binr.BadSatNumber(i));
        break;
    case kMsgSatInView:
        Check(binr.SatInViewCount() >= 0 && binr.SatInViewCount() <= kSatInViewMax);
        for (int i = 0; i < binr.SatInViewCount(); ++i) {
            const SatInView s = ReadSatInView(binr.SatInViewRecord(i));
            NmeaSatelliteId(s.system, s.number);
        }
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static BinrDecoder single;
    static BinrDecoder block;
    single.Reset();
    block.Reset();
    const int total = int(size);
    const int blockSize = size > 0 ? 1 + data[0] % 64 : 1;
    int at = 0;
    while (at < total) {
        const int left = total - at < blockSize ? total - at : blockSize;
        int used = 0;
        const int result = block.PushBlock(data + at, left, used);
        Check(used >= 1 && used <= left && (result != 0 || used == left));
        for (int i = 0; i < used - 1; ++i)
            Check(single.PushByte(data[at + i]) == 0);
        Check(single.PushByte(data[at + used - 1]) == result);
        if (result > 0)
            ReadKept(single, result);
        at += used;
    }
#if defined(__x86_64__) || defined(__i386__)
    // Where long double is the x87 format the portable reader must agree with it.
    if (size >= 10) {
        long double x = 0;
        std::memcpy(&x, data, 10);
        const double expected = double(x);
        const double actual = ReadF80(data);
        Check(std::isnan(expected) ? std::isnan(actual) : std::memcmp(&expected, &actual, sizeof actual) == 0);
    }
#endif
    return 0;
}
