#pragma once
// Receivers for bench tests: NMEA and BINR streams of one receiver on a
// surveyed point, with a cold start, noise, a bias, dropped epochs and
// satellites of two systems, all from a seed.
#include "BinrEncoder.h"
#include "NmeaChecksum.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

struct BenchStreamShape {
    int epochs = 120;
    int coldEpochs = 20;          // no fix before this epoch
    int rateMs = 1000;
    double biasNorthM = 0;
    double noiseM = 1.5;
    int dropEvery = 0;            // every Nth epoch not sent (0: none)
    unsigned seed = 1;
};

constexpr double kBenchLatDeg = 55.7520263;
constexpr double kBenchLonDeg = 37.6153107;
constexpr double kBenchHeightM = 156.25;
// 2026-12-07 20:45:00 UTC, the first epoch.
constexpr int64_t kBenchFirstEpochS = 20 * 3600 + 45 * 60;

inline std::string BenchNmeaStream(const BenchStreamShape& shape)
{
    std::mt19937 random(shape.seed);
    std::normal_distribution<double> noise(0, shape.noiseM);
    const double mPerDegLat = 111320.0, mPerDegLon = 111320.0 * std::cos(kBenchLatDeg * M_PI / 180);
    std::string out;
    char body[200];
    for (int k = 0; k < shape.epochs; ++k) {
        const double north = noise(random) + shape.biasNorthM, east = noise(random), up = noise(random);
        if (shape.dropEvery && k % shape.dropEvery == shape.dropEvery - 1)
            continue;
        const int64_t ms = kBenchFirstEpochS * 1000 + int64_t(k) * shape.rateMs;
        char clock[16];
        std::snprintf(clock, sizeof clock, "%02d%02d%02d.%02d", int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
                      int(ms % 1000 / 10));
        const bool fix = k >= shape.coldEpochs;
        const double lat = kBenchLatDeg + north / mPerDegLat, lon = kBenchLonDeg + east / mPerDegLon;
        const int gps = fix ? 6 + k % 3 : 0, glonass = fix ? 4 + k % 2 : 0;
        const double hdop = 0.8 + 0.1 * (k % 4);
        std::snprintf(body, sizeof body, "GPRMC,%s,%c,%02d%08.5f,N,%03d%08.5f,E,0.0,0.0,071226,,,A", clock, fix ? 'A' : 'V',
                      int(lat), (lat - int(lat)) * 60, int(lon), (lon - int(lon)) * 60);
        out += NmeaSentence(body);
        std::snprintf(body, sizeof body, "GPGGA,%s,%02d%08.5f,N,%03d%08.5f,E,%d,%02d,%.1f,%.2f,M,14.0,M,,", clock, int(lat),
                      (lat - int(lat)) * 60, int(lon), (lon - int(lon)) * 60, fix ? 1 : 0, gps + glonass, hdop,
                      kBenchHeightM + up);
        out += NmeaSentence(body);
        std::string gsa = "GPGSA,A," + std::string(fix ? "3" : "1");
        for (int i = 0; i < 12; ++i)
            gsa += i < gps ? "," + std::to_string(i + 1) : ",";
        std::snprintf(body, sizeof body, ",%.1f,%.1f,%.1f", hdop + 0.5, hdop, hdop + 0.7);
        out += NmeaSentence(gsa + body);
        std::string glgsa = "GNGSA,A," + std::string(fix ? "3" : "1");
        for (int i = 0; i < 12; ++i)
            glgsa += i < glonass ? "," + std::to_string(65 + i) : ",";
        out += NmeaSentence(glgsa + body);
        std::snprintf(body, sizeof body, "GPGSV,1,1,04,01,40,045,%d,02,30,120,%d,03,60,200,%d,04,15,300,", 38 + k % 5,
                      35 + k % 3, 44);
        out += NmeaSentence(body);
        std::snprintf(body, sizeof body, "GLGSV,1,1,02,65,50,080,%d,66,20,250,%d", 33 + k % 4, 29);
        out += NmeaSentence(body);
    }
    return out;
}

inline BinrBytes BenchBinrStream(const BenchStreamShape& shape)
{
    std::mt19937 random(shape.seed);
    std::normal_distribution<double> noise(0, shape.noiseM);
    constexpr double kEarthM = 6378137.0;
    BinrBytes out;
    for (int k = 0; k < shape.epochs; ++k) {
        const double north = noise(random) + shape.biasNorthM, east = noise(random), up = noise(random);
        if (shape.dropEvery && k % shape.dropEvery == shape.dropEvery - 1)
            continue;
        const bool fix = k >= shape.coldEpochs;
        AppendBinrFrame(out, 0x60, DopInfoPayload({int8_t(fix ? 7 : 0), int8_t(fix ? 5 : 0), float(0.9 + 0.1 * (k % 3)), 1.4f}));
        AppendBinrFrame(out, 0x52, SatInViewPayload({{1, 5, 40, 100, int8_t(40 + k % 4)}, {2, 7, 30, 200, 36}}));
        NavSolution nav{};
        nav.latRad = kBenchLatDeg * M_PI / 180 + north / kEarthM;
        nav.lonRad = kBenchLonDeg * M_PI / 180 + east / (kEarthM * std::cos(kBenchLatDeg * M_PI / 180));
        nav.altM = kBenchHeightM + up;
        // GPS week 2448 (400 after two rollovers): Monday 7 December 2026 is day 1 of it.
        nav.week = 400;
        nav.timeOfWeekMs = double((86400 + kBenchFirstEpochS) * 1000 + int64_t(k) * shape.rateMs);
        nav.flags = fix ? kSolutionValid : 0;
        AppendBinrFrame(out, 0x88, NavSolutionPayload(nav));
    }
    return out;
}
