#include "Util.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

std::string Format(const char* format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return {};
    return std::string(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

// Placeholders until the formatting routines land.
std::string TimeToText(int32_t) { return "00:00:00"; }
std::string GpsDateToText(int32_t, int32_t) { return "00.00.00"; }
std::string LatToText(double) { return "00\xB0 0.0000N"; }
std::string LonToText(double) { return "000\xB0 0.0000E"; }
int32_t TextToInt(const char* text) { return int32_t(std::strtol(text, nullptr, 10)); }
double TextToReal(const char* text) { return std::strtod(text, nullptr); }
int32_t AccumulateStatistics(bool, double, double, double, double, StatisticsOutput&) { return 0; }
