#include "Util.h"

#include "Angles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>

// Texts here are read and written with a '.' decimal point whatever locale
// the toolkit installs: a receiver's "1.5" must never read as 1 nor a latitude
// print as "55°30,0000N".

namespace {

constexpr size_t kFormatLimit = 255;  // the longest text Format keeps
constexpr int32_t kSecondsPerDay = 86400;
constexpr int32_t kSecondsPerHour = 3600;
constexpr int32_t kSecondsPerMinute = 60;

constexpr int64_t kDaysPerWeek = 7;
constexpr int64_t kWeekRollover = 1024;      // weeks count from the rollover of August 1999
constexpr int64_t kGpsEpochDay = 5;          // GPS week 0 began on 6 January 1980
constexpr int64_t kDaysPerLeapCycle = 1461;  // four years from a leap year
constexpr int64_t kDaysPerLeapYear = 366;
constexpr int64_t kDaysPerYear = 365;
constexpr int64_t kEpochYear = 1980;
constexpr int kFebruaryIndex = 1;
constexpr int kYearsPerCentury = 100;

constexpr double kMinutesPerDegree = 60;
// Beyond this a whole-degree count no longer fits the text; such angles are
// garbage anyway and read as dashes.
constexpr double kMaxTextDegrees = 1e9;

// WGS-84.
constexpr double kEquatorialRadiusM = 6378137.0;
constexpr double kMeridianRadiusM = 6335439.327293721;

locale_t CLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// Installs the "C" locale on this thread for the lifetime of the object.
class CLocaleScope {
public:
    CLocaleScope() : previous_(uselocale(CLocale())) {}
    ~CLocaleScope() { uselocale(previous_); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

bool IsBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Degrees zero-padded to degreeDigits, the degree sign, minutes as "%7.4f"
// and the hemisphere letter; built without printf, as it runs on every fix.
std::string AngleToText(double x, size_t degreeDigits, const char* invalid, char positive, char negative)
{
    const char letter = x >= 0 ? positive : negative;
    const double degrees = std::fabs(x * kHalfTurnDeg * kInversePi);
    if (!(degrees < kMaxTextDegrees))
        return Format("%s%c", invalid, letter);
    const long whole = long(degrees);
    const double minutes = (degrees - std::floor(degrees)) * kMinutesPerDegree;
    constexpr size_t kMinutesWidth = 7;
    std::string text = std::to_string(whole);
    if (text.size() < degreeDigits)
        text.insert(0, degreeDigits - text.size(), '0');
    text += kDegreeSign;
    const std::string minutesText = FixedText(minutes, 4);
    if (minutesText.size() < kMinutesWidth)
        text.append(kMinutesWidth - minutesText.size(), ' ');
    text += minutesText;
    text += letter;
    return text;
}

} // namespace

std::string Format(const char* format, ...)
{
    char buffer[kFormatLimit + 1];
    CLocaleScope cLocale;
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return {};
    return std::string(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

std::string FixedText(double value, int decimals)
{
    // to_chars with a precision writes exactly what printf writes in the C
    // locale, infinities and NaNs included.
    char buffer[400];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                                                 std::clamp(decimals, 0, 9));
    if (r.ec != std::errc())
        return Format("%.*f", decimals, value);
    // Format keeps at most 255 characters of a huge value; so does this.
    return std::string(buffer, std::min<size_t>(size_t(r.ptr - buffer), kFormatLimit));
}

std::string PaddedFixedText(double value, int width, int decimals, bool plus)
{
    // printf pads infinities and NaNs with blanks, not zeros: left to it.
    if (!std::isfinite(value))
        return plus ? Format("%+0*.*f", width, decimals, value) : Format("%0*.*f", width, decimals, value);
    std::string text = FixedText(value, decimals);
    size_t digits = 0;
    if (text[0] == '-')
        digits = 1;
    else if (plus) {
        text.insert(0, 1, '+');
        digits = 1;
    }
    if (text.size() < size_t(width))
        text.insert(digits, size_t(width) - text.size(), '0');
    if (text.size() > kFormatLimit)   // the sign added above may pass Format's limit
        text.resize(kFormatLimit);
    return text;
}

// A negative count of seconds keeps its sign in every part ("-1:-1:-1").
std::string TimeToText(int32_t seconds)
{
    const int32_t s = seconds % kSecondsPerDay;
    return Format("%02d:%02d:%02d", s / kSecondsPerHour, s % kSecondsPerHour / kSecondsPerMinute,
                  s % kSecondsPerMinute);
}

// Days before 1980 (a negative or absurd week) are split into four-year cycles
// rounding down, so they still give a real calendar date instead of a month 0.
std::string GpsDateToText(int32_t secondsOfWeek, int32_t week)
{
    const int64_t days = secondsOfWeek / kSecondsPerDay + kDaysPerWeek * (int64_t(week) + kWeekRollover) + kGpsEpochDay;
    int64_t cycles = days / kDaysPerLeapCycle;
    if (days % kDaysPerLeapCycle < 0)
        --cycles;
    int64_t r = days - kDaysPerLeapCycle * cycles;
    int monthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int64_t yearInCycle = 0;
    if (r >= kDaysPerLeapYear) {
        r -= kDaysPerLeapYear;
        yearInCycle = r / kDaysPerYear + 1;
        r -= (yearInCycle - 1) * kDaysPerYear;
        monthDays[kFebruaryIndex] = 28;
    }
    const int64_t year = kEpochYear + 4 * cycles + yearInCycle;
    int month = 0;
    int64_t sum = 0;
    while (month < 12 && sum <= r)
        sum += monthDays[month++];
    const int64_t day = r - (sum - monthDays[month - 1]) + 1;
    const int64_t twoDigitYear = (year % kYearsPerCentury + kYearsPerCentury) % kYearsPerCentury;
    return Format("%02d.%02d.%02d", int(day), month, int(twoDigitYear));
}

std::string LatToText(double latRad)
{
    return AngleToText(latRad, 2, "--\xB0--.----", 'N', 'S');
}

std::string LonToText(double lonRad)
{
    return AngleToText(lonRad, 3, "---\xB0--.----", 'E', 'W');
}

int32_t TextToInt(const char* text)
{
    while (IsBlank(*text))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // Up to nine digits stay within the range: no check a digit (every field
    // of every sentence a report reads comes through here).
    constexpr int kSafeDigits = 9;
    int32_t small = 0;
    int n = 0;
    for (; n < kSafeDigits && IsDigit(text[n]); ++n)
        small = small * 10 + (text[n] - '0');
    if (!IsDigit(text[n]))
        return negative ? -small : small;
    // Accumulate as a negative number: its range holds the most negative value.
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
    int32_t value = 0;
    bool saturated = false;
    for (; IsDigit(*text); ++text) {
        const int digit = *text - '0';
        if (value < (kMin + digit) / 10)
            saturated = true;
        else
            value = value * 10 - digit;
    }
    if (saturated)
        return negative ? kMin : std::numeric_limits<int32_t>::max();
    if (negative)
        return value;
    return value == kMin ? std::numeric_limits<int32_t>::max() : -value;
}

// A decimal number only: no "inf", "nan" or hexadecimal, and overflow stops
// at the largest finite double, so whatever a field holds reads as finite.
double TextToReal(const char* text)
{
    while (IsBlank(*text))
        ++text;
    const char* number = text;
    if (*text == '-' || *text == '+')
        ++text;
    const bool startsNumber = IsDigit(text[0]) || (text[0] == '.' && IsDigit(text[1]));
    if (!startsNumber)
        return 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return 0;
    // Most fields hold at most 15 or so digits and no exponent: the digits
    // as an integer m below 2^53 and the power of ten 10^k for k <= 22 are
    // both exact doubles, so m / 10^k is rounded once, to the same double as
    // strtod's. Anything else is left to strtod.
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr uint64_t kExactMax = uint64_t(1) << 53;
    uint64_t digits = 0;
    int decimals = 0;
    bool exact = true;
    const char* p = text;
    for (; IsDigit(*p) && exact; ++p) {
        digits = digits * 10 + uint64_t(*p - '0');
        exact = digits <= kExactMax;
    }
    if (*p == '.')
        for (++p; IsDigit(*p) && exact; ++p, ++decimals) {
            digits = digits * 10 + uint64_t(*p - '0');
            exact = digits <= kExactMax && decimals < 22;
        }
    if (exact && *p != 'e' && *p != 'E') {
        const double magnitude = double(digits) / kPow10[decimals];
        return *number == '-' ? -magnitude : magnitude;
    }
    const double value = strtod_l(number, nullptr, CLocale());
    constexpr double kMax = std::numeric_limits<double>::max();
    return std::clamp(value, -kMax, kMax);
}

int32_t AccumulateStatistics(StatisticsAccumulator& a, double latRad, double lonRad, double heightM, double speedMps,
                             StatisticsOutput& out)
{
    const int32_t count = a.count < std::numeric_limits<int32_t>::max() ? a.count + 1 : a.count;
    a.count = count;
    const double n = count;
    a.meanLat += (latRad - a.meanLat) / n;
    a.meanLon += (lonRad - a.meanLon) / n;
    a.meanH += (heightM - a.meanH) / n;
    const double k = kEquatorialRadiusM * std::cos(latRad);
    const double dLat = latRad - a.meanLat;
    const double dLon = lonRad - a.meanLon;
    const double dH = heightM - a.meanH;
    a.northVariance = (n - 1) * a.northVariance / n + dLat * dLat * kMeridianRadiusM * kMeridianRadiusM / n;
    a.eastVariance = (n - 1) * a.eastVariance / n + dLon * dLon * k * k / n;
    a.heightVariance = (n - 1) * a.heightVariance / n + dH * dH / n;
    a.speedMeanSquare = (n - 1) * a.speedMeanSquare / n + speedMps * speedMps / n;
    out.meanLat = a.meanLat;
    out.meanLon = a.meanLon;
    out.meanH = a.meanH;
    out.rms2D = std::sqrt(a.northVariance + a.eastVariance);
    out.rmsH = std::sqrt(a.heightVariance);
    out.rmsV = std::sqrt(a.speedMeanSquare);
    return count;
}
