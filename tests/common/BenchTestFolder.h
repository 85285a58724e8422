#pragma once
// Test folders of a bench made by the tests: receivers' streams generated
// (or cut from the shared captures) with synthetic receive times, written
// as the recorder writes them, with their bench.json.
#include "BenchFolder.h"
#include "ReceiveTimes.h"
#include "TestSupport.h"

#include <QDir>
#include <QString>

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace bench_test {

constexpr double kRefLatDeg = 55.75, kRefLonDeg = 37.62, kRefHeightM = 150;
constexpr int64_t kStartUs = 5'000'000'000;   // the recorder's clock at the test's start

struct Recording {
    BenchSourceSetup source;
    std::string bytes;
    std::vector<std::pair<int64_t, int64_t>> blocks;   // end offset, ms since the recording's start
    int64_t startUs = kStartUs;
};

inline std::string Angle(double deg, int degreeDigits)
{
    const int whole = int(deg);
    char text[40];
    std::snprintf(text, sizeof text, "%0*d%08.5f", degreeDigits, whole, (deg - whole) * 60);
    return text;
}

// A receiver of one epoch a second from 12:00:00: no fix for its first
// coldS seconds, then fixes biasEastM east of the reference with a wobble
// of its own; each epoch in two blocks (GGA with GSA, then RMC) received
// latencyMs and latencyMs + 40 after the second.
inline Recording Generated(const std::string& name, int epochs, int coldS, double biasEastM, int latencyMs)
{
    Recording r;
    r.source = {name, "/dev/tty" + name, false, 9600};
    for (int k = 0; k < epochs; ++k) {
        const bool fix = k >= coldS;
        const double east = biasEastM + 1.5 * std::sin(k * 0.7 + biasEastM);
        const double north = 1.1 * std::cos(k * 1.3 + latencyMs);
        const double lat = kRefLatDeg + north / 111320.0;
        const double lon = kRefLonDeg + east / (111320.0 * std::cos(kRefLatDeg * M_PI / 180));
        char time[16];
        std::snprintf(time, sizeof time, "12%02d%02d.00", k / 60, k % 60);
        const std::string where = Angle(lat, 2) + ",N," + Angle(lon, 3) + ",E";
        char gga[160];
        std::snprintf(gga, sizeof gga, "GPGGA,%s,%s,%d,%02d,%.1f,%.3f,M,0.0,M,,", time, where.c_str(), fix ? 1 : 0,
                      fix ? 7 + k % 3 : 0, 0.8 + 0.1 * (k % 4), kRefHeightM + 0.5 * std::sin(k * 0.3));
        r.bytes += NmeaSentence(gga);
        r.bytes += NmeaSentence(fix ? "GPGSA,A,3,01,02,03,04,05,06,07,,,,,,1.8,0.9,1.5" : "GPGSA,A,1,,,,,,,,,,,,,,,");
        r.blocks.push_back({int64_t(r.bytes.size()), k * 1000LL + latencyMs});
        r.bytes += NmeaSentence(std::string("GPRMC,") + time + "," + (fix ? "A," : "V,") + where + ",0.0,0.0,071226,,,A");
        r.blocks.push_back({int64_t(r.bytes.size()), k * 1000LL + latencyMs + 40});
    }
    return r;
}

// A shared capture cut into blocks of a few hundred bytes, ten a second.
inline Recording Captured(const std::string& name, const std::string& capture, int latencyMs)
{
    Recording r;
    r.source = {name, "/dev/tty" + name, false, 4800};
    const std::vector<uint8_t> bytes = ReadBinaryFile(SharedNmeaDir() + "/" + capture);
    r.bytes.assign(bytes.begin(), bytes.end());
    for (size_t end = 0, k = 0; end < r.bytes.size(); ++k) {
        end = std::min(r.bytes.size(), end + 173 + k % 211);
        r.blocks.push_back({int64_t(end), int64_t(k) * 100 + latencyMs});
    }
    return r;
}

inline BenchManifest ManifestOf(const std::vector<Recording>& recordings)
{
    BenchManifest m;
    m.title = "replay";
    m.startUnixMs = 1'796'644'800'000;   // 7 Dec 2026 12:00
    m.reference = BenchReference{kRefLatDeg, kRefLonDeg, kRefHeightM};
    m.program = "Kestrova test";
    for (const Recording& r : recordings)
        m.sources.push_back(r.source);
    return m;
}

inline std::string Path(const QString& folder, const std::string& file) { return QDir(folder).filePath(QString::fromStdString(file)).toStdString(); }

inline void WriteFolder(const QString& folder, const std::vector<Recording>& recordings)
{
    for (const Recording& r : recordings) {
        const std::string file = Path(folder, BenchFileName(r.source));
        ASSERT_TRUE(WriteBinaryFile(file, std::vector<uint8_t>(r.bytes.begin(), r.bytes.end())));
        ReceiveTimesWriter times;
        ASSERT_TRUE(times.Create(file, r.startUs));
        for (const auto& [end, ms] : r.blocks)
            times.Append(end, r.startUs + ms * 1000);
    }
    std::string why;
    ASSERT_TRUE(WriteBenchFolder(folder.toStdString(), ManifestOf(recordings), &why)) << why;
}

} // namespace bench_test
