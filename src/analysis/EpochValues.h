#pragma once
// How the epoch collector keeps a receiver's values in an epoch, whichever
// protocol gave them: a DOP in hundredths, never capped; a count in a byte;
// no position and no DOP as NaN.
#include "EpochLog.h"

#include <algorithm>
#include <cstdint>
#include <limits>

inline constexpr double kNoPosition = std::numeric_limits<double>::quiet_NaN();
inline constexpr float kNoDop = std::numeric_limits<float>::quiet_NaN();

// Rounded to hundredths as before, and never capped: a receiver's HDOP of
// 800 stays 800, above any limit a reader sets.
inline float DopHundredths(double value)
{
    constexpr double kBeyondAnyDop = 1e15;   // keeps the hundredths within an int64
    if (!(value >= 0 && value < kBeyondAnyDop))
        return kNoDop;
    return float(double(int64_t(value * kDopScale + 0.5)) / kDopScale);
}

inline uint8_t CountByte(int64_t n) { return uint8_t(std::clamp<int64_t>(n, 0, 255)); }
