#pragma once
// The program's one clock for intervals, deadlines and receive times:
// CLOCK_MONOTONIC, which no change of the wall clock moves and which other
// processes read alike, so a FILE.times written here compares with readings
// taken anywhere else in the program. Code a test drives without waiting
// takes its readings as parameters or through a replaceable reader
// (ReplayClock, the panel's gnssClockUs) whose default is this clock.
#include <chrono>
#include <cstdint>
#include <ctime>

constexpr int64_t kClockNsPerUs = 1000;
constexpr int64_t kClockUsPerMs = 1000;
constexpr int64_t kClockUsPerSecond = 1000 * kClockUsPerMs;

inline int64_t MonotonicUs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * kClockUsPerSecond + ts.tv_nsec / kClockNsPerUs;
}

inline int64_t MonotonicMs() { return MonotonicUs() / kClockUsPerMs; }

// The same clock for code that keeps std::chrono time points.
struct MonotonicChronoClock {
    using duration = std::chrono::microseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicChronoClock>;
    static constexpr bool is_steady = true;
    static time_point now() { return time_point(duration(MonotonicUs())); }
};
