// Indexing speed of the epoch index: the demo recordings (NMEA and BINR)
// repeated to 64 MiB and indexed in 1 MiB blocks, as the player's worker
// reads a file. Bytes per second is the figure to watch (goal: 300 MB/s).
#include "EpochIndex.h"

#include <benchmark/benchmark.h>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr size_t kStreamBytes = size_t(64) << 20;
constexpr size_t kReadBlock = size_t(1) << 20;

std::vector<uint8_t> Repeated(const char* sample)
{
    std::ifstream in(std::string(KESTROVA_SOURCE_DIR) + "/samples/" + sample, std::ios::binary);
    const std::vector<uint8_t> one((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> stream;
    while (!one.empty() && stream.size() < kStreamBytes)
        stream.insert(stream.end(), one.begin(), one.end());
    return stream;
}

void Index(benchmark::State& state, const char* sample, bool binr)
{
    const std::vector<uint8_t> stream = Repeated(sample);
    size_t epochs = 0;
    for (auto _ : state) {
        EpochIndex index(binr);
        for (size_t at = 0; at < stream.size(); at += kReadBlock)
            index.Feed(stream.data() + at, std::min(kReadBlock, stream.size() - at));
        epochs = index.Count();
        benchmark::DoNotOptimize(epochs);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(stream.size()));
    state.counters["epochs"] = double(epochs);
    state.counters["index_bytes_per_epoch"] = double(sizeof(EpochMark));
}

void BM_IndexNmea(benchmark::State& state) { Index(state, "demo.nme", false); }
void BM_IndexBinr(benchmark::State& state) { Index(state, "demo-binr.dat", true); }

} // namespace

BENCHMARK(BM_IndexNmea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IndexBinr)->Unit(benchmark::kMillisecond);
