// The synthesis without the file system: each sentence builder on its own, and
// a whole recording decoded and turned into sentences in memory, in bytes of
// BINR input per second. bench/to_nmea.sh times the real program instead.
#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "Nmeafile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

template <typename T>
void Put(std::vector<uint8_t>& p, size_t at, T value)
{
    std::memcpy(p.data() + at, &value, sizeof value);
}

void Append(std::vector<uint8_t>& stream, uint8_t id, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame(payload.size() * 2 + 4);
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), frame.data(), int(frame.size()));
    stream.insert(stream.end(), frame.begin(), frame.begin() + n);
}

// One epoch a second as a receiver sends it: DOP, status, solution and a
// satellites-in-view message with 14 satellites (four GSV sentences).
std::vector<uint8_t> Recording(int epochs)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < epochs; ++i) {
        std::vector<uint8_t> dop(10, 0);
        dop[0] = 7;
        dop[1] = 5;
        Put(dop, 2, 0.9f + float(i % 5) * 0.1f);
        Put(dop, 6, 1.4f);
        Append(stream, 0x60, dop);
        std::vector<uint8_t> status(16, 0);
        Put(status, 4, uint32_t(0x0000A0B3));
        Put(status, 8, uint32_t(0x000001C5));
        Append(stream, 0x93, status);
        std::vector<uint8_t> nav(69, 0);
        Put(nav, 0, 0.9686577348568529 + i * 1e-8);
        Put(nav, 8, 0.6501351 - i * 1e-8);
        Put(nav, 16, 150.04 + std::sin(i * 0.01));
        Put(nav, 24, 1.5f);
        const double timeMs = 45296789.0 + i * 1000.0;   // x87 extended, by hand
        int exponent = 0;
        const double m = std::frexp(timeMs, &exponent);
        Put(nav, 28, uint64_t(std::ldexp(m, 64)));
        Put(nav, 36, uint16_t(exponent - 1 + 16383));
        Put(nav, 38, int16_t(476));
        Put(nav, 40, 1.2 + std::cos(i * 0.1));
        Put(nav, 48, -3.4);
        nav[68] = 0x01;
        Append(stream, 0x88, nav);
        std::vector<uint8_t> sats;
        for (int k = 0; k < 14; ++k) {
            const uint8_t record[7] = {uint8_t(k < 9 ? 1 : 2), uint8_t(k + 1), 0, uint8_t(10 + 5 * k),
                                       uint8_t(20 * k), 0, uint8_t(30 + k)};
            sats.insert(sats.end(), record, record + 7);
        }
        Append(stream, 0x52, sats);
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
BENCHMARK_CAPTURE(BM_Builder, Gga, BuildGga);
BENCHMARK_CAPTURE(BM_Builder, Rmc, BuildRmc);
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
            if (id == 0x88) {
                sentences += BuildGga(decoder, out.data(), kSynthSentenceMax) > 0;
                sentences += BuildRmc(decoder, out.data(), kSynthSentenceMax) > 0;
                sentences += BuildGsa(decoder, out.data(), kSynthSentenceMax) > 0;
                sentences += BuildPvktd(decoder, out.data(), kSynthSentenceMax) > 0;
            } else if (id == 0x52) {
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
