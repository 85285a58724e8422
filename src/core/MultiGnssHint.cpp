#include "MultiGnssHint.h"

#include "GnssEpoch.h"

#include <cstring>

namespace {

constexpr int kGgaQuality = 6;

bool CombinedTalker(const NmeaFields& f) { return std::strncmp(f.slot[0], "GN", 2) == 0; }

// 4: RTK fixed, 5: RTK float.
bool RtkQuality(const NmeaFields& f)
{
    if (f.count <= kGgaQuality)
        return false;
    const char* q = f.slot[kGgaQuality];
    return (q[0] == '4' || q[0] == '5') && q[1] == '\0';
}

} // namespace

bool NeedsMultiGnss(int result, const NmeaFields& sentence)
{
    switch (result) {
    case kNmeaGga: return CombinedTalker(sentence) || RtkQuality(sentence);
    case kNmeaGsa: return CombinedTalker(sentence) || ReadGsaLayout(sentence).systemId != 0;
    case kNmeaRmc:
    case kNmeaGsv: return CombinedTalker(sentence);
    default: return false;
    }
}
