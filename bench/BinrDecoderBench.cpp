// Throughput of the BINR decoder on a generated stream shaped like a
// receiver's output at 10 Hz: per epoch a navigation solution (0x88), DOP and
// counts (0x60), solution status with two bad satellites (0x93) and, every
// tenth epoch, 20 satellites in view (0x52). Values are real encodings, so
// DLE bytes get stuffed where they happen to occur.
#include "BinrDecoder.h"
#include "BinrEncoder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

namespace {

using Bytes = BinrBytes;

constexpr int kEpochs = 20000;
constexpr int kSatellites = 20;

Bytes NavPayload(int epoch)
{
    const double wobble = 1e-7 * std::sin(epoch * 0.1);
    const NavSolution nav{0.9686577348568529 + wobble, 0.6565 - wobble, 145.3 + 10 * wobble, 2.5f,
                          345600000.0 + epoch * 100.0, 262, 0.01 * epoch, -0.02, kSolutionValid};
    return NavSolutionPayload(nav);
}

Bytes Stream()
{
    Bytes stream;
    const Bytes dop = DopInfoPayload({9, 6, 0.8f, 1.1f});
    const Bytes status = SolutionStatusPayload({0, 0, 0x0052A4C5, 0x00001C13}, {{12, 0.0f}, {70, 0.0f}});
    std::vector<SatInView> records;
    for (int i = 0; i < kSatellites; ++i)
        records.push_back({i < 12 ? kSystemGps : kSystemGlonass, uint8_t(i < 12 ? 1 + i * 2 : i - 11),
                           int8_t(10 + i * 4), int16_t(i * 17), int8_t(30 + i)});
    const Bytes sats = SatInViewPayload(records);
    for (int epoch = 0; epoch < kEpochs; ++epoch) {
        AppendBinrFrame(stream, kMsgDopInfo, dop);
        AppendBinrFrame(stream, kMsgSolutionStatus, status);
        if (epoch % 10 == 0)
            AppendBinrFrame(stream, kMsgSatInView, sats);
        AppendBinrFrame(stream, kMsgNavSolution, NavPayload(epoch));
    }
    return stream;
}

// One PushByte per byte, as a router that reacts byte by byte does.
int FeedBytes(BinrDecoder& binr, const Bytes& stream)
{
    int messages = 0;
    for (uint8_t b : stream)
        messages += binr.PushByte(b) > 0;
    return messages;
}

// PushBlock over the stream, as the intake hands it over in blocks.
int FeedBlocks(BinrDecoder& binr, const Bytes& stream)
{
    int messages = 0;
    const uint8_t* p = stream.data();
    int left = int(stream.size());
    while (left > 0) {
        int used = 0;
        messages += binr.PushBlock(p, left, used) > 0;
        p += used;
        left -= used;
    }
    return messages;
}

template <int (*Feed)(BinrDecoder&, const Bytes&)>
void Run(benchmark::State& state)
{
    const Bytes stream = Stream();
    BinrDecoder binr;
    for (auto _ : state)
        benchmark::DoNotOptimize(Feed(binr, stream));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
}

void BM_BinrPushByte(benchmark::State& state) { Run<FeedBytes>(state); }
void BM_BinrPushBlock(benchmark::State& state) { Run<FeedBlocks>(state); }

} // namespace

BENCHMARK(BM_BinrPushByte);
BENCHMARK(BM_BinrPushBlock);
