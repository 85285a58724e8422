#include "SimNmea.h"

#include "Angles.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr double kMpsToKnots = 3.6 / 1.852;
constexpr int kGsaMinEntries = 12;
constexpr int kGsvPerSentence = 4;

struct Clock {
    int hours, minutes;
    double seconds;
    int day, month, year2;
};

Clock ClockOf(double unixTime)
{
    // Whole milliseconds first, so 59.9996 s never prints as "60.000".
    const long long ms = std::llround(unixTime * 1000.0);
    const time_t whole = time_t(ms / 1000);
    std::tm tm{};
    gmtime_r(&whole, &tm);
    return {tm.tm_hour, tm.tm_min, tm.tm_sec + double(ms % 1000) / 1000.0,
            tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100};
}

std::string TimeField(const Clock& c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%06.3f", c.hours, c.minutes, c.seconds);
    return buf;
}

// ddmm.mmmmm / dddmm.mmmmm with the hemisphere letter.
std::string AngleFields(double rad, int degreeDigits, char positive, char negative)
{
    const double deg = std::fabs(rad) * kHalfTurnDeg / kPi;
    int whole = int(deg);
    double minutes = (deg - whole) * 60.0;
    if (minutes >= 59.999995) {           // would round up to 60.00000
        minutes = 0;
        ++whole;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%08.5f,%c", degreeDigits, whole, minutes,
                  rad >= 0 ? positive : negative);
    return buf;
}

int NmeaId(const SimSatellite& s) { return NmeaSatelliteId(s.system, s.number); }

} // namespace

std::string GgaBody(const Epoch& e)
{
    const Clock c = ClockOf(e.unixTime);
    const int quality = !e.valid ? 0 : e.diff ? 2 : 1;
    char buf[128];
    // $GPGGA,000007.000,,,,,0,00,99.9,,M,,M,,: no position yet or any more.
    if (!e.positionKnown) {
        std::snprintf(buf, sizeof buf, "GPGGA,%s,,,,,0,00,%.1f,,M,,M,,", TimeField(c).c_str(), e.hdop);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "GPGGA,%s,%s,%s,%d,%02d,%.1f,%.1f,M,,M,,",
                  TimeField(c).c_str(), AngleFields(e.latRad, 2, 'N', 'S').c_str(),
                  AngleFields(e.lonRad, 3, 'E', 'W').c_str(), quality,
                  e.gpsUsed + e.glonassUsed, e.hdop, e.altM);
    return buf;
}

std::string RmcBody(const Epoch& e)
{
    const Clock c = ClockOf(e.unixTime);
    const double speed = std::hypot(e.velNorthMps, e.velEastMps);
    double course = std::atan2(e.velEastMps, e.velNorthMps) * kHalfTurnDeg / kPi;
    if (course < 0)
        course += 360;
    if (course >= 359.95)
        course = 0;
    const char mode = !e.valid ? 'N' : e.diff ? 'D' : 'A';
    char buf[128];
    // $GPRMC,000007.000,V,,,,,,,060180,,,N: after a cold start the date is
    // the receiver's default until it has a fix.
    if (!e.positionKnown) {
        std::snprintf(buf, sizeof buf, "GPRMC,%s,V,,,,,,,%02d%02d%02d,,,N", TimeField(c).c_str(),
                      c.day, c.month, c.year2);
        return buf;
    }
    std::snprintf(buf, sizeof buf, "GPRMC,%s,%c,%s,%s,%05.1f,%05.1f,%02d%02d%02d,,,%c",
                  TimeField(c).c_str(), e.valid ? 'A' : 'V',
                  AngleFields(e.latRad, 2, 'N', 'S').c_str(),
                  AngleFields(e.lonRad, 3, 'E', 'W').c_str(), speed * kMpsToKnots, course,
                  c.day, c.month, c.year2, mode);
    return buf;
}

std::string GsaBody(const Epoch& e)
{
    std::string body = e.valid ? "GPGSA,A,3" : "GPGSA,A,1";
    int entries = 0;
    for (const SimSatellite& s : e.inView) {
        if (!s.used)
            continue;
        body += "," + std::to_string(NmeaId(s));
        ++entries;
    }
    for (; entries < kGsaMinEntries; ++entries)
        body += ",";
    char buf[48];
    std::snprintf(buf, sizeof buf, ",%.1f,%.1f,%.1f",
                  std::sqrt(double(e.hdop) * e.hdop + double(e.vdop) * e.vdop), e.hdop, e.vdop);
    return body + buf;
}

std::string PvktdBody(const Epoch& e)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "PVKTD,%c,%.1f", e.valid ? 'A' : 'V', e.rms2DM);
    return buf;
}

std::string NmeaEpoch(const Epoch& e)
{
    std::string out;
    out.reserve(800);
    out += NmeaSentence(RmcBody(e));
    out += NmeaSentence(GsaBody(e));
    const int total = int(e.inView.size());
    const int sentences = (total + kGsvPerSentence - 1) / kGsvPerSentence;
    for (int m = 0; m < sentences; ++m) {
        char buf[128];
        int n = std::snprintf(buf, sizeof buf, "GPGSV,%d,%d,%02d", sentences, m + 1, total);
        for (int k = m * kGsvPerSentence; k < total && k < (m + 1) * kGsvPerSentence; ++k) {
            const SimSatellite& s = e.inView[k];
            const int az = int(std::lround(s.azimuthDeg)) % 360;
            if (s.snrDbHz > 0)
                n += std::snprintf(buf + n, sizeof buf - n, ",%02d,%02ld,%03d,%02d", NmeaId(s),
                                   std::lround(s.elevationDeg), az, s.snrDbHz);
            else
                n += std::snprintf(buf + n, sizeof buf - n, ",%02d,%02ld,%03d,", NmeaId(s),
                                   std::lround(s.elevationDeg), az);
        }
        out += NmeaSentence(buf);
    }
    out += NmeaSentence(PvktdBody(e));
    out += NmeaSentence(GgaBody(e));
    return out;
}
