// Throughput of the BINR decoder on a generated stream shaped like a
// receiver's output at 10 Hz: per epoch a navigation solution (0x88), DOP and
// counts (0x60), solution status with two bad satellites (0x93) and, every
// tenth epoch, 20 satellites in view (0x52). Values are real encodings, so
// DLE bytes get stuffed where they happen to occur.
#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kEpochs = 20000;
constexpr int kSatellites = 20;
constexpr int kBadSatellites = 2;

void Append(Bytes& stream, uint8_t id, const Bytes& payload)
{
    uint8_t frame[2 * kBinrFrameMax + 4];
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), frame, int(sizeof frame));
    stream.insert(stream.end(), frame, frame + n);
}

template <typename T>
void Put(Bytes& payload, size_t offset, T value)
{
    std::memcpy(payload.data() + offset, &value, sizeof value); // little-endian host
}

Bytes NavSolution(int epoch)
{
    Bytes p(kNavSolutionSize, 0);
    const double wobble = 1e-7 * std::sin(epoch * 0.1);
    Put(p, 0, 0.9686577348568529 + wobble);
    Put(p, 8, 0.6565 - wobble);
    Put(p, 16, 145.3 + 10 * wobble);
    Put(p, 24, 2.5f);
    // Time of week as x87 extended: 64-bit significand, then exponent.
    const double ms = 345600000.0 + epoch * 100.0;
    int e;
    const double m = std::frexp(ms, &e);
    Put(p, 28, uint64_t(std::ldexp(m, 64)));
    Put(p, 36, uint16_t(e - 1 + 16383));
    Put(p, 38, int16_t(262));
    Put(p, 40, 0.01 * epoch);
    Put(p, 48, -0.02);
    p[68] = kSolutionValid;
    return p;
}

Bytes Stream()
{
    Bytes stream;
    Bytes dop(kDopInfoSize, 0);
    dop[0] = 9;
    dop[1] = 6;
    Put(dop, 2, 0.8f);
    Put(dop, 6, 1.1f);
    Bytes status(kStatusHeaderSize + kBadSatellites * kStatusEntrySize, 0);
    Put(status, 4, uint32_t(0x0052A4C5));
    Put(status, 8, uint32_t(0x00001C13));
    status[16] = 12;
    status[21] = 70;
    Bytes sats(kSatellites * kSatRecordSize, 0);
    for (int i = 0; i < kSatellites; ++i) {
        uint8_t* r = &sats[size_t(i * kSatRecordSize)];
        r[0] = i < 12 ? kSystemGps : kSystemGlonass;
        r[1] = uint8_t(i < 12 ? 1 + i * 2 : i - 11);
        r[3] = uint8_t(10 + i * 4);
        Put(sats, size_t(i * kSatRecordSize + 4), int16_t(i * 17));
        r[6] = uint8_t(30 + i);
    }
    for (int epoch = 0; epoch < kEpochs; ++epoch) {
        Append(stream, kMsgDopInfo, dop);
        Append(stream, kMsgSolutionStatus, status);
        if (epoch % 10 == 0)
            Append(stream, kMsgSatInView, sats);
        Append(stream, kMsgNavSolution, NavSolution(epoch));
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
