// Throughput of the NMEA assembler on real receiver output: the shared
// captures concatenated, or a generated stream of the usual sentence mix when
// they are absent. Each iteration feeds the whole stream byte by byte, as the
// intake does.
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string CapturesDir()
{
    if (const char* dir = std::getenv("KESTROVA_NMEA_DIR"))
        return dir;
    return std::string(KESTROVA_SOURCE_DIR) + "/../shared/testdata/nmea";
}

std::string ReadCaptures()
{
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(CapturesDir(), ec))
        if (entry.path().extension() == ".log")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::string stream;
    for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        stream.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return stream;
}

std::string Sentence(const std::string& body) { return NmeaSentence(body); }

// One second of a GPS+GLONASS receiver: GGA, RMC, two GSA, six GSV.
std::string GeneratedStream()
{
    std::string stream;
    for (int s = 0; s < 2000; ++s) {
        char t[16];
        std::snprintf(t, sizeof t, "%02d%02d%02d.00", s / 3600 % 24, s / 60 % 60, s % 60);
        stream += Sentence(std::string("GNGGA,") + t + ",5545.1234,N,03736.5000,E,1,14,0.8,145.3,M,14.2,M,,");
        stream += Sentence(std::string("GNRMC,") + t + ",A,5545.1234,N,03736.5000,E,0.02,123.4,070524,,,A");
        stream += Sentence("GPGSA,A,3,01,03,07,11,14,17,19,22,28,,,,1.4,0.8,1.1");
        stream += Sentence("GLGSA,A,3,65,66,72,73,81,,,,,,,,1.4,0.8,1.1");
        for (int g = 1; g <= 3; ++g) {
            stream += Sentence("GPGSV,3," + std::to_string(g) + ",11,01,45,123,42,03,12,301,35,07,67,045,47,11,05,200,");
            stream += Sentence("GLGSV,3," + std::to_string(g) + ",10,65,33,080,40,66,71,190,44,72,22,270,38,73,09,330,");
        }
    }
    return stream;
}


// One PushByte per byte, as a router that reacts byte by byte does.
int FeedBytes(NmeaAssembler& nmea, const std::string& stream)
{
    int sentences = 0;
    for (char c : stream)
        sentences += nmea.PushByte(c) > 0;
    return sentences;
}

// PushBlock over the stream, as the intake hands it over in blocks.
int FeedBlocks(NmeaAssembler& nmea, const std::string& stream)
{
    int sentences = 0;
    const char* p = stream.data();
    int left = int(stream.size());
    while (left > 0) {
        int used = 0;
        sentences += nmea.PushBlock(p, left, used) > 0;
        p += used;
        left -= used;
    }
    return sentences;
}

template <int (*Feed)(NmeaAssembler&, const std::string&)>
void Run(benchmark::State& state, const std::string& stream)
{
    if (stream.empty()) {
        state.SkipWithError("shared captures absent (set KESTROVA_NMEA_DIR)");
        return;
    }
    NmeaAssembler nmea;
    for (auto _ : state)
        benchmark::DoNotOptimize(Feed(nmea, stream));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}

void BM_NmeaCapturesPushByte(benchmark::State& state) { Run<FeedBytes>(state, ReadCaptures()); }
void BM_NmeaCapturesPushBlock(benchmark::State& state) { Run<FeedBlocks>(state, ReadCaptures()); }
void BM_NmeaGeneratedPushByte(benchmark::State& state) { Run<FeedBytes>(state, GeneratedStream()); }
void BM_NmeaGeneratedPushBlock(benchmark::State& state) { Run<FeedBlocks>(state, GeneratedStream()); }

} // namespace

BENCHMARK(BM_NmeaCapturesPushByte);
BENCHMARK(BM_NmeaCapturesPushBlock);
BENCHMARK(BM_NmeaGeneratedPushByte);
BENCHMARK(BM_NmeaGeneratedPushBlock);
