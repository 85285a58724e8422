// The synthesis without the file system: each sentence builder on its own, and
// a whole recording decoded and turned into sentences in memory, in bytes of
// BINR input per second. bench/to_nmea.sh times the real program instead.
#include "BinrDecoder.h"
#include "BinrEncoder.h"
#include "Nmeafile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

// One epoch a second as a receiver sends it: DOP, status, solution and a
// satellites-in-view message with 14 satellites (four GSV sentences).
std::vector<uint8_t> Recording(int epochs)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < epochs; ++i) {
        AppendBinrFrame(stream, kMsgDopInfo, DopInfoPayload({7, 5, 0.9f + float(i % 5) * 0.1f, 1.4f}));
        AppendBinrFrame(stream, kMsgSolutionStatus, SolutionStatusPayload({0, 0, 0x0000A0B3, 0x000001C5}, {}));
        const NavSolution nav{0.9686577348568529 + i * 1e-8, 0.6501351 - i * 1e-8, 150.04 + std::sin(i * 0.01),
                              1.5f, 45296789.0 + i * 1000.0, 476, 1.2 + std::cos(i * 0.1), -3.4, kSolutionValid};
        AppendBinrFrame(stream, kMsgNavSolution, NavSolutionPayload(nav));
        std::vector<SatInView> sats;
        for (int k = 0; k < 14; ++k)
            sats.push_back({uint8_t(k < 9 ? kSystemGps : kSystemGlonass), uint8_t(k + 1), int8_t(10 + 5 * k),
                            int16_t(uint8_t(20 * k)), int8_t(30 + k)});
        AppendBinrFrame(stream, kMsgSatInView, SatInViewPayload(sats));
    }
    return stream;
}

const std::vector<uint8_t>& Stream()
{
    static const std::vector<uint8_t> stream = Recording(20000);
    return stream;
}

BinrDecoder& Loaded()
{
    static BinrDecoder decoder;
    static bool fed = false;
    if (!fed) {
        int used = 0;
        const std::vector<uint8_t> one = Recording(1);
        for (int at = 0; at < int(one.size()); at += used)
            decoder.PushBlock(one.data() + at, int(one.size()) - at, used);
        fed = true;
    }
    return decoder;
}

void BM_Builder(benchmark::State& state, int (*build)(const BinrDecoder&, char*, int))
{
    const BinrDecoder& decoder = Loaded();
    char out[kSynthSentenceMax];
    for (auto _ : state) {
        benchmark::DoNotOptimize(build(decoder, out, sizeof out));
        benchmark::ClobberMemory();
    }
}
// The RMC dated as by a source that names no reference (one rollover).
int BuildRmcOneRollover(const BinrDecoder& decoder, char* out, int outSize)
{
    return BuildRmc(decoder, DatePolicy(), out, outSize);
}
BENCHMARK_CAPTURE(BM_Builder, Gga, BuildGga);
BENCHMARK_CAPTURE(BM_Builder, Rmc, BuildRmcOneRollover);
BENCHMARK_CAPTURE(BM_Builder, Gsa, BuildGsa);
BENCHMARK_CAPTURE(BM_Builder, Pvktd, BuildPvktd);

void BM_GsvGroup(benchmark::State& state)
{
    const BinrDecoder& decoder = Loaded();
    char out[kSynthSentenceMax];
    for (auto _ : state) {
        for (int m = 1; m <= GsvSentenceCount(decoder); ++m)
            benchmark::DoNotOptimize(BuildGsv(decoder, m, out, sizeof out));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_GsvGroup);

// Decoding and formatting of a whole recording, as the batch conversion does
// it, with the sentences left in memory.
void BM_ConvertInMemory(benchmark::State& state)
{
    const std::vector<uint8_t>& stream = Stream();
    std::vector<char> out(kSynthSentenceMax);
    int64_t sentences = 0;
    for (auto _ : state) {
        BinrDecoder decoder;
        int used = 0;
        for (int at = 0; at < int(stream.size()); at += used) {
            const int id = decoder.PushBlock(stream.data() + at, int(stream.size()) - at, used);
            if (id == kMsgNavSolution) {
                sentences += BuildGga(decoder, out.data(), kSynthSentenceMax) > 0;
                sentences += BuildRmc(decoder, DatePolicy(), out.data(), kSynthSentenceMax) > 0;
                sentences += BuildGsa(decoder, out.data(), kSynthSentenceMax) > 0;
                sentences += BuildPvktd(decoder, out.data(), kSynthSentenceMax) > 0;
            } else if (id == kMsgSatInView) {
                for (int m = 1; m <= GsvSentenceCount(decoder); ++m)
                    sentences += BuildGsv(decoder, m, out.data(), kSynthSentenceMax) > 0;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.counters["sentences"] = benchmark::Counter(double(sentences), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertInMemory)->Unit(benchmark::kMillisecond);

} // namespace
