// Cost of the intake over the bare decoder loop it replaced: the same NMEA
// stream (one second of a GPS+GLONASS receiver, repeated) in the 2048-byte
// blocks of a fast playback, with Multi-GNSS on, each completion handed to
// one listener. BM_DecoderLoop is the loop as the main window ran it before
// the intake: PushBlock until each completion, the epoch fed, a call per
// result.
#include "GnssEpoch.h"
#include "Intake.h"
#include "NmeaChecksum.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <string>

namespace {

constexpr int kBlockBytes = 2048;

const std::string& Stream()
{
    static const std::string stream = [] {
        std::string s;
        for (int second = 0; second < 2000; ++second) {
            const std::string t = std::to_string(100000 + second % 6000) + ".00";
            s += NmeaSentence("GNGGA," + t + ",5545.1234,N,03736.5000,E,1,14,0.8,145.3,M,14.2,M,,");
            s += NmeaSentence("GNRMC," + t + ",A,5545.1234,N,03736.5000,E,0.02,123.4,070524,,,A");
            s += NmeaSentence("GPGSA,A,3,01,03,07,11,14,17,19,22,28,,,,1.4,0.8,1.1");
            s += NmeaSentence("GLGSA,A,3,65,66,72,73,81,,,,,,,,1.4,0.8,1.1");
            for (int g = 1; g <= 3; ++g)
                s += NmeaSentence("GPGSV,3," + std::to_string(g) + ",11,01,45,123,42,03,12,301,35,07,67,045,47,11,05,200,");
        }
        return s;
    }();
    return stream;
}

struct Counter : IntakeListener {
    int64_t results = 0;
    void OnNmeaResult(const Intake&, int result) override { results += result; }
    void OnGnssEpoch(const Intake&) override { ++results; }
};

[[gnu::noinline]] void Route(int64_t& results, int result) { results += result; }

void BM_Intake(benchmark::State& state)
{
    const std::string& s = Stream();
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    Intake intake;
    intake.SetMultiGnss(true);
    Counter counter;
    intake.AddListener(&counter);
    for (auto _ : state)
        for (size_t at = 0; at < s.size(); at += kBlockBytes)
            intake.Receive(bytes + at, int(std::min<size_t>(kBlockBytes, s.size() - at)), Protocol::Nmea);
    benchmark::DoNotOptimize(counter.results);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}
BENCHMARK(BM_Intake);

void BM_DecoderLoop(benchmark::State& state)
{
    const std::string& s = Stream();
    NmeaAssembler nmea;
    GnssEpoch gnss;
    gnss.SetEnabled(true);
    int64_t results = 0;
    for (auto _ : state)
        for (size_t at = 0; at < s.size(); at += kBlockBytes) {
            const int length = int(std::min<size_t>(kBlockBytes, s.size() - at));
            for (int done = 0; done < length;) {
                int used = 0;
                const int result = nmea.PushBlock(s.data() + at + done, length - done, used);
                if (gnss.Feed(result, nmea))
                    ++results;
                Route(results, result);
                done += std::max(used, 1);
            }
        }
    benchmark::DoNotOptimize(results);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.size()));
}
BENCHMARK(BM_DecoderLoop);

} // namespace
