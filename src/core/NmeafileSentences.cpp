// Formatting of the synthesized sentences: a writer that appends fields to a
// buffer with room enough, without a check per character, and printf's
// digits byte for byte.
#include "NmeafileSentences.h"

#include "Angles.h"
#include "NmeaChecksum.h"
#include "Util.h"
#include "WeekRollover.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr int kMsPerHour = 3600000;
constexpr int kMsPerMinute = 60000;
constexpr double kMpsToKmh = 3.6;
constexpr double kKmhToKnots = 0.5399568034557235;
constexpr int kGsaMinEntries = 24;
constexpr int kGsaGlonassBits = 24;
constexpr int kGlonassNmeaBase = 65;

// NaN gives 0; everything else is held within +-limit (infinities too).
double Tame(double value, double limit)
{
    if (std::isnan(value))
        return 0;
    return std::clamp(value, -limit, limit);
}

// Appends text to a buffer of kSynthSentenceMax bytes without a check per
// character: every field has a bounded width (numbers at most kFieldMax
// characters, at most 56 GSA entries), so the longest sentence stays far
// below the buffer (under 280 bytes, a GSA of 56 satellites with every number
// at its limit).
class SentenceWriter {
public:
    static constexpr int kFieldMax = 48;

    explicit SentenceWriter(char* out) : begin_(out), p_(out) {}

    void Char(char c) { *p_++ = c; }
    void Text(const char* s, size_t n)
    {
        std::memcpy(p_, s, n);
        p_ += n;
    }
    template <size_t N>
    void Text(const char (&s)[N]) { Text(s, N - 1); }

    // printf "%0<width>d".
    void Int(long long value, int width = 0)
    {
        if (value >= 0 && value < 1000 && width <= 3) {   // the common short fields
            const int v = int(value);
            const int digits = v >= 100 ? 3 : v >= 10 ? 2 : 1;
            for (int pad = width - digits; pad > 0; --pad)
                Char('0');
            if (digits == 3)
                Char(char('0' + v / 100));
            if (digits >= 2)
                Char(char('0' + v / 10 % 10));
            Char(char('0' + v % 10));
            return;
        }
        const bool negative = value < 0;
        unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(value)
                                                : static_cast<unsigned long long>(value);
        char digits[24];
        int count = 0;
        do {
            digits[count++] = char('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude);
        if (negative)
            Char('-');
        for (int pad = width - count - (negative ? 1 : 0); pad > 0; --pad)
            Char('0');
        while (count)
            Char(digits[--count]);
    }
    void Two(int value)   // 0 to 99, "%02d"
    {
        Char(char('0' + value / 10));
        Char(char('0' + value % 10));
    }
    // printf "%0<width>.<decimals>f" of a finite value, byte for byte. printf
    // rounds the exact binary value, ties to even; scaling by a power of ten
    // is off by at most half an ulp, so the quick path is exact whenever the
    // scaled value is clearly away from a tie, and printf decides the rest.
    void Fixed(double value, int decimals, int width = 0)
    {
        static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000};
        static constexpr double kQuickLimit = 2147483648.0;   // ulp below 1e-6
        static constexpr double kTieMargin = 1e-6;
        const double scaled = std::fabs(value) * kScale[decimals];
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (!(scaled < kQuickLimit) || std::fabs(fraction - 0.5) < kTieMargin) {
            char text[kFieldMax + 1];
            const int n = std::snprintf(text, sizeof text, "%0*.*f", std::min(width, kFieldMax), decimals, value);
            if (n > 0)
                Text(text, size_t(std::min(n, kFieldMax)));
            return;
        }
        const auto units = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
        const auto unit = static_cast<uint64_t>(kScale[decimals]);
        uint64_t integral = units / unit;
        uint64_t rest = units % unit;
        char digits[24];
        int count = 0;
        for (int i = 0; i < decimals; ++i) {
            digits[count++] = char('0' + rest % 10);
            rest /= 10;
        }
        if (decimals > 0)
            digits[count++] = '.';
        do {
            digits[count++] = char('0' + integral % 10);
            integral /= 10;
        } while (integral);
        const bool negative = std::signbit(value);
        if (negative)
            Char('-');
        for (int pad = width - count - (negative ? 1 : 0); pad > 0; --pad)
            Char('0');
        while (count)
            Char(digits[--count]);
    }
    size_t Length() const { return size_t(p_ - begin_); }
    // Appends checksum and line feed; the sentence length.
    int Finish()
    {
        const int n = int(p_ - begin_);
        return FinishSentence(begin_, n, kSynthSentenceMax);
    }

private:
    char* begin_;
    char* p_;
};

struct TimeOfDay {
    int hours;
    int minutes;
    int msOfMinute;
    int32_t secondsOfWeek;     // whole seconds, for the date
};

// Working on the time rounded to a whole millisecond keeps 12:34:00.000 from
// printing as 12:33:60.000.
TimeOfDay SplitTime(double timeOfWeekMs)
{
    constexpr double kWholeLimit = 9e15;   // exact in a double and an int64
    const double ms = std::isfinite(timeOfWeekMs) ? std::round(timeOfWeekMs) : 0.0;
    int msOfDay;
    if (std::fabs(ms) < kWholeLimit) {
        msOfDay = int(static_cast<int64_t>(ms) % int64_t(kMsPerDay));
        if (msOfDay < 0)
            msOfDay += int(kMsPerDay);
    } else {
        double dayMs = std::fmod(ms, kMsPerDay);
        if (dayMs < 0)
            dayMs += kMsPerDay;
        msOfDay = std::clamp(static_cast<int>(dayMs), 0, int(kMsPerDay) - 1);
    }
    const double seconds = std::trunc(ms * 0.001);
    TimeOfDay t;
    t.hours = msOfDay / kMsPerHour;
    t.minutes = msOfDay / kMsPerMinute % 60;
    t.msOfMinute = msOfDay % kMsPerMinute;
    t.secondsOfWeek = seconds <= 0 ? 0 : seconds >= double(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(seconds);
    return t;
}

void PutTime(SentenceWriter& w, const TimeOfDay& t)
{
    w.Two(t.hours);
    w.Two(t.minutes);
    w.Two(t.msOfMinute / 1000);
    w.Char('.');
    w.Int(t.msOfMinute % 1000, 3);
}

// ddmm.mmmmm from radians: whole degrees, then the minutes, both in one number.
void PutAngle(SentenceWriter& w, double rad, double limitDeg, int width, char positive, char negative)
{
    if (std::isnan(rad))
        rad = 0;
    const double degrees = std::clamp(rad * kInversePi * kHalfTurnDeg, -limitDeg, limitDeg);
    const double whole = std::trunc(degrees);
    w.Fixed(std::fabs(whole + (degrees - whole) * 0.6) * 100, 5, width);
    w.Char(',');
    w.Char(rad >= 0 ? positive : negative);
}

// GGA and RMC of one solution carry the same position: the text of the last
// one is kept, keyed on the exact bits of both angles.
void PutPosition(SentenceWriter& w, const NavSolution& nav)
{
    thread_local bool known = false;
    thread_local uint64_t lastLat = 0;
    thread_local uint64_t lastLon = 0;
    thread_local char text[kSynthSentenceMax];
    thread_local size_t length = 0;
    const uint64_t lat = std::bit_cast<uint64_t>(nav.latRad);
    const uint64_t lon = std::bit_cast<uint64_t>(nav.lonRad);
    if (!known || lat != lastLat || lon != lastLon) {
        SentenceWriter p(text);
        PutAngle(p, nav.latRad, 90.0, 10, 'N', 'S');
        p.Char(',');
        PutAngle(p, nav.lonRad, 180.0, 11, 'E', 'W');
        length = p.Length();
        known = true;
        lastLat = lat;
        lastLon = lon;
    }
    w.Text(text, length);
}

bool Valid(const NavSolution& nav) { return nav.flags & kSolutionValid; }
bool Differential(const NavSolution& nav) { return nav.flags & kSolutionDiff; }

// ddmmyy. The date changes once a day, so the last text is kept.
void PutDate(SentenceWriter& w, int32_t secondsOfWeek, int32_t receivedWeek, const DatePolicy& dates)
{
    thread_local int32_t lastDay = -1;
    thread_local int32_t lastWeek = INT32_MIN;
    thread_local char lastText[24] = "";
    thread_local size_t lastLength = 0;
    const int32_t week = dates.Week(secondsOfWeek, receivedWeek);
    const int32_t day = secondsOfWeek / 86400;
    if (day != lastDay || week != lastWeek) {
        const std::string date = GpsDateToText(secondsOfWeek, week);
        size_t n = 0;
        for (const char c : date)
            if (c != '.' && n + 1 < sizeof lastText)
                lastText[n++] = c;
        lastLength = n;
        lastDay = day;
        lastWeek = week;
    }
    w.Text(lastText, lastLength);
}

int SatInViewCount(const BinrDecoder& decoder)
{
    return std::clamp(decoder.SatInViewCount(), 0, kSatInViewMax);
}

// Formats into a buffer of its own and hands over only a sentence that fits.
template <typename Text>
int CopyOut(Text text, char* out, int outSize)
{
    char sentence[kSynthSentenceMax];
    const int n = text(sentence);
    if (n <= 0 || n > outSize)
        return 0;
    std::memcpy(out, sentence, size_t(n));
    return n;
}

} // namespace

// $GPGGA,123456.789,5530.00000,N,03715.00000,E,1,8,1.3,150.0,M,,M,,*hh
int GgaText(const Solution& solution, char* out)
{
    const NavSolution& nav = solution.nav;
    const DopInfo& dop = solution.dop;
    SentenceWriter w(out);
    w.Text("$GPGGA,");
    PutTime(w, SplitTime(nav.timeOfWeekMs));
    w.Char(',');
    PutPosition(w, nav);
    w.Char(',');
    w.Char(Valid(nav) ? (Differential(nav) ? '2' : '1') : '0');
    w.Char(',');
    w.Int(std::max<int>(dop.gpsCount, 0) + std::max<int>(dop.glonassCount, 0));
    w.Char(',');
    w.Fixed(Tame(dop.hdop, kNmeaValueLimit), 1);
    w.Char(',');
    w.Fixed(Tame(nav.altM, kNmeaValueLimit), 1);
    w.Text(",M,,M,,*");
    return w.Finish();
}

// $GPRMC,123456.789,A,5530.00000,N,03715.00000,E,019.4,270.0,150324,,,A*hh
int RmcText(const Solution& solution, char* out)
{
    const NavSolution& nav = solution.nav;
    const TimeOfDay time = SplitTime(nav.timeOfWeekMs);
    const SpeedCourse sc = SpeedAndCourse(Tame(nav.velNorthMps, kNmeaValueLimit),
                                          Tame(nav.velEastMps, kNmeaValueLimit));
    SentenceWriter w(out);
    w.Text("$GPRMC,");
    PutTime(w, time);
    w.Char(',');
    w.Char(Valid(nav) ? 'A' : 'V');
    w.Char(',');
    PutPosition(w, nav);
    w.Char(',');
    w.Fixed(double(sc.speedMps) * kMpsToKmh * kKmhToKnots, 1, 5);
    w.Char(',');
    // A course of -0 (east -0, north positive) would print as "-00.0".
    w.Fixed(double(sc.courseDeg + 0.0f), 1, 5);
    w.Char(',');
    PutDate(w, time.secondsOfWeek, nav.week, solution.dates);
    w.Text(",,,");
    w.Char(Valid(nav) ? (Differential(nav) ? 'D' : 'A') : 'N');
    w.Char('*');
    return w.Finish();
}

// $GPGSA,A,3,1,5,65,,,,,,,,,,,,,,,,,,,,,,1.3,0.9*hh: 24 satellite fields (more
// when more are used), then PDOP left empty.
int GsaText(const Solution& solution, char* out)
{
    const NavSolution& nav = solution.nav;
    const DopInfo& dop = solution.dop;
    const SolutionStatus& status = solution.status;
    SentenceWriter w(out);
    w.Text("$GPGSA,A,");
    w.Char(nav.flags & kSolution2D ? '2' : Valid(nav) ? '3' : '1');
    w.Char(',');
    int entries = 0;
    for (uint32_t bits = status.gpsUsed; bits; bits &= bits - 1) {
        w.Int(std::countr_zero(bits) + 1);
        w.Char(',');
        ++entries;
    }
    for (uint32_t bits = status.glonassUsed & ((1u << kGsaGlonassBits) - 1); bits; bits &= bits - 1) {
        w.Int(kGlonassNmeaBase + std::countr_zero(bits));
        w.Char(',');
        ++entries;
    }
    for (; entries < kGsaMinEntries; ++entries)
        w.Char(',');
    w.Char(',');
    w.Fixed(Tame(dop.hdop, kNmeaValueLimit), 1);
    w.Char(',');
    w.Fixed(Tame(dop.vdop, kNmeaValueLimit), 1);
    w.Char('*');
    return w.Finish();
}

// $PVKTD,A,2.4*hh
int PvktdText(const Solution& solution, char* out)
{
    const NavSolution& nav = solution.nav;
    SentenceWriter w(out);
    w.Text("$PVKTD,");
    w.Char(Valid(nav) ? 'A' : 'V');
    w.Char(',');
    w.Fixed(Tame(nav.rms2DM, kNmeaValueLimit), 1);
    w.Char('*');
    return w.Finish();
}

// $GPGSV,2,1,5,01,45,120,40,07,10,300,00,65,80,010,35,71,05,200,22*hh
int GsvText(const BinrDecoder& decoder, int number, char* out)
{
    const int n = SatInViewCount(decoder);
    const int total = (n + 3) / 4;
    if (number < 1 || number > total)
        return 0;
    SentenceWriter w(out);
    w.Text("$GPGSV,");
    w.Int(total);
    w.Char(',');
    w.Int(number);
    w.Char(',');
    w.Int(n);
    for (int k = 4 * (number - 1); k < 4 * number && k < n; ++k) {
        const SatInView sat = ReadSatInView(decoder.SatInViewRecord(k));
        w.Char(',');
        w.Int(NmeaSatelliteId(sat.system, sat.number), 2);
        w.Char(',');
        w.Int(sat.elevationDeg, 2);
        w.Char(',');
        w.Int(sat.azimuthDeg, 3);
        w.Char(',');
        w.Int(sat.snrDbHz, 2);
    }
    w.Char('*');
    return w.Finish();
}

int FinishSentence(char* out, int length, int outSize)
{
    if (length < 2 || length + 3 > outSize)
        return 0;
    // Between the "$" and the "*" that ends the text.
    const uint8_t sum = NmeaChecksum(out + 1, out + length - 1);
    out[length] = kNmeaHexDigits[sum >> 4];
    out[length + 1] = kNmeaHexDigits[sum & 0x0F];
    out[length + 2] = '\n';
    return length + 3;
}

int BuildGga(const BinrDecoder& decoder, char* out, int outSize)
{
    return CopyOut([&](char* s) { return GgaText(ReadSolution(decoder), s); }, out, outSize);
}

int BuildRmc(const BinrDecoder& decoder, const DatePolicy& dates, char* out, int outSize)
{
    return CopyOut([&](char* s) { return RmcText(ReadSolution(decoder, dates), s); }, out, outSize);
}

int BuildGsa(const BinrDecoder& decoder, char* out, int outSize)
{
    return CopyOut([&](char* s) { return GsaText(ReadSolution(decoder), s); }, out, outSize);
}

int BuildPvktd(const BinrDecoder& decoder, char* out, int outSize)
{
    return CopyOut([&](char* s) { return PvktdText(ReadSolution(decoder), s); }, out, outSize);
}

int GsvSentenceCount(const BinrDecoder& decoder)
{
    return (SatInViewCount(decoder) + 3) / 4;
}

int BuildGsv(const BinrDecoder& decoder, int number, char* out, int outSize)
{
    return CopyOut([&](char* s) { return GsvText(decoder, number, s); }, out, outSize);
}
