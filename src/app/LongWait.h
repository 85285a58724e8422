#pragma once
// A wait longer than one timer can hold. QTimer counts milliseconds in an
// int, so a single wait ends (or overflows) before 25 days, while --seconds
// may ask for a year. The wait is a deadline on the monotonic clock, waited
// for in chunks of at most a day: each chunk is armed from the time really
// left, so late chunks do not add up. Nothing here reads a clock; every
// reading is passed in.
#include <algorithm>
#include <cstdint>

class LongWait {
public:
    static constexpr int64_t kMaxChunkMs = 24LL * 3600 * 1000;

    LongWait(int64_t startMs, int64_t durationMs) : deadlineMs_(startMs + durationMs) {}
    bool Due(int64_t nowMs) const { return nowMs >= deadlineMs_; }
    // The next timer interval: what is left, at most a day; 0 once due.
    int NextChunkMs(int64_t nowMs) const { return int(std::clamp<int64_t>(deadlineMs_ - nowMs, 0, kMaxChunkMs)); }

private:
    int64_t deadlineMs_;
};
