#pragma once
// Text formats shared by every window (time, date, latitude, longitude), the
// integer and real readings of NMEA fields, and the statistics accumulator.
// Texts are 8-bit; the degree sign is the byte 0xB0.
#include <cstdint>
#include <string>

constexpr char kDegreeSign = '\xB0';

// "hh:mm:ss" of the seconds modulo one day; a negative count keeps its sign
// in every part ("-1:-1:-1").
std::string TimeToText(int32_t seconds);
// "dd.mm.yy" of a GPS week counted from the rollover of August 1999. Any week
// gives a real date: days before 1980 continue the same four-year calendar.
std::string GpsDateToText(int32_t secondsOfWeek, int32_t week);
// "dd°mm.mmmmN" and "ddd°mm.mmmmE". An angle too large for the text (NaN,
// infinity, over 1e9 degrees) keeps the width: "--°--.----N", "---°--.----E".
std::string LatToText(double latRad);
std::string LonToText(double lonRad);

// Leading blanks, optional sign, digits up to the first non-digit; 0 when
// there are none. Saturates instead of overflowing.
int32_t TextToInt(const char* text);
// The leading decimal number of a text, 0 when there is none; "inf", "nan"
// and hexadecimal are not numbers here, and overflow stops at the largest
// finite double.
double TextToReal(const char* text);

// printf into a std::string, always with a '.' decimal point whatever the
// locale; texts longer than 255 characters are cut.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The text of Format("%.*f", decimals, value) (0 to 9 decimals), without the
// cost of printf: values are formatted many times per fix.
std::string FixedText(double value, int decimals);
// The text of Format("%0*.*f") (with a '+' flag when plus is set): the fixed
// text zero-padded after the sign to width characters.
std::string PaddedFixedText(double value, int width, int decimals, bool plus = false);

struct StatisticsOutput {
    double meanLat = 0;
    double meanLon = 0;
    double meanH = 0;
    double rms2D = 0;
    double rmsH = 0;
    double rmsV = 0;
};

// The running means and variances of one source's accepted fixes; a fresh
// one is empty.
struct StatisticsAccumulator {
    double meanLat = 0;
    double meanLon = 0;
    double meanH = 0;
    double northVariance = 0;
    double eastVariance = 0;
    double heightVariance = 0;
    double speedMeanSquare = 0;
    int32_t count = 0;
};

// Adds the sample (radians, metres, m/s) to a, writes the results to out and
// returns the count (which stops at the largest int32_t).
int32_t AccumulateStatistics(StatisticsAccumulator& a, double latRad, double lonRad, double heightM, double speedMps,
                             StatisticsOutput& out);
