// Cost of the bench's once-a-second Update on a receiver whose live log is
// full (BenchReceiver::kLiveEpochsMax epochs, the most it ever holds: past
// it the log is thinned), about a given reference and about the mean. Eight
// receivers pay eight of these a second. BM_ReceiveSecond is the other part
// of a receiver's second: ten epochs of a GPS+GLONASS receiver received.
#include "BenchReceiver.h"
#include "NmeaChecksum.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kRateMs = 100;   // 10 Hz

// One 10 Hz epoch of a GPS+GLONASS receiver, its position wandering by
// a few metres.
std::string Epoch(int64_t k)
{
    const int64_t ms = 36'000'000 + k * kRateMs % 86'400'000;
    char clock[16], body[160];
    std::snprintf(clock, sizeof clock, "%02d%02d%02d.%02d", int(ms / 3600000 % 24), int(ms / 60000 % 60), int(ms / 1000 % 60),
                  int(ms % 1000 / 10));
    const double minutes = 45.1234 + 0.00002 * std::sin(double(k) * 0.37), lonMinutes = 36.5 + 0.00003 * std::cos(double(k) * 0.23);
    std::snprintf(body, sizeof body, "GNGGA,%s,55%07.4f,N,037%07.4f,E,1,14,%.1f,%.1f,M,14.2,M,,", clock, minutes, lonMinutes,
                  0.7 + 0.1 * double(k % 5), 145.0 + double(k % 7) * 0.3);
    std::string s = NmeaSentence(body);
    std::snprintf(body, sizeof body, "GNRMC,%s,A,55%07.4f,N,037%07.4f,E,0.02,123.4,071226,,,A", clock, minutes, lonMinutes);
    s += NmeaSentence(body);
    s += NmeaSentence("GPGSA,A,3,01,03,07,11,14,17,19,22,28,,,,1.4,0.8,1.1");
    s += NmeaSentence("GLGSA,A,3,65,66,72,73,81,,,,,,,,1.4,0.8,1.1");
    s += NmeaSentence("GPGSV,2,1,05,01,45,123,42,03,12,301,35,07,67,045,47,11,05,200,31");
    s += NmeaSentence("GPGSV,2,2,05,14,30,090,44");
    s += NmeaSentence("GLGSV,1,1,03,65,40,010,39,66,22,150,33,72,55,270,41");
    return s;
}

// A receiver whose live log is full, kept across the runs.
BenchReceiver& FullReceiver()
{
    static std::unique_ptr<BenchReceiver> receiver = [] {
        auto r = std::make_unique<BenchReceiver>(BenchSourceSetup{"r", "x", false, 115200});
        r->Start(0);
        int64_t nowUs = 0;
        for (int64_t k = 0; k < int64_t(BenchReceiver::kLiveEpochsMax); ++k, nowUs += kRateMs * 1000) {
            const std::string e = Epoch(k);
            r->Receive(reinterpret_cast<const uint8_t*>(e.data()), int(e.size()), nowUs);
        }
        return r;
    }();
    return *receiver;
}

void BM_UpdateFullLog(benchmark::State& state)
{
    BenchReceiver& r = FullReceiver();
    const std::optional<BenchReference> reference =
        state.range(0) ? std::optional(BenchReference{55.752, 37.6083, 145}) : std::nullopt;
    for (auto _ : state)
        r.Update(reference);
    state.counters["epochs"] = double(r.Log().Size());
}
BENCHMARK(BM_UpdateFullLog)->Arg(1)->Arg(0)->ArgNames({"reference"})->Unit(benchmark::kMillisecond);

void BM_ReceiveSecond(benchmark::State& state)
{
    BenchReceiver r({"r", "x", false, 115200});
    r.Start(0);
    std::string second;
    for (int k = 0; k < 1000 / kRateMs; ++k)
        second += Epoch(k);
    int64_t nowUs = 0;
    for (auto _ : state) {
        r.Receive(reinterpret_cast<const uint8_t*>(second.data()), int(second.size()), nowUs);
        nowUs += 1'000'000;
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(second.size()));
}
BENCHMARK(BM_ReceiveSecond)->Unit(benchmark::kMicrosecond);

} // namespace
