#pragma once
// Milliseconds of the time scales that epochs are kept on, shared by the
// replay index and the receiver report.
#include <cstdint>

constexpr int64_t kMsPerSecond = 1000;
constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kMsPerWeek = 7 * kMsPerDay;
