// Appending to the CONSOLE's message log, as the intake will for every
// message: messages/s and bytes/s, to set against a 7 MB/s flood. The NMEA
// mix is one second of a GPS+GLONASS receiver, repeated; the BINR run is
// navigation solutions of 69 bytes with their stuffing.
#include "BinrLayouts.h"
#include "MessageLog.h"
#include "NmeaChecksum.h"

#include <benchmark/benchmark.h>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> NmeaMix()
{
    return {
        NmeaSentence("GNGGA,071551.000,4739.71754,N,12219.58177,W,1,17,0.8,77.5,M,-21.6,M,,"),
        NmeaSentence("GNRMC,071551.000,A,4739.71754,N,12219.58177,W,0.00,286.35,060826,,,A,V"),
        NmeaSentence("GNGSA,A,3,01,06,14,15,17,19,20,22,24,30,,,1.3,0.8,1.1,1"),
        NmeaSentence("GNGSA,A,3,75,84,85,,,,,,,,,,1.3,0.8,1.1,2"),
        NmeaSentence("GPGSV,3,1,11,01,19,045,31,06,16,156,29,12,05,272,,14,44,084,24,0"),
        NmeaSentence("GPGSV,3,2,11,15,22,254,20,17,68,074,27,19,65,193,30,20,21,224,12,0"),
        NmeaSentence("GPGSV,3,3,11,22,62,070,27,24,43,301,28,30,18,145,23,0"),
        NmeaSentence("GLGSV,3,1,09,74,23,099,,66,26,284,36,86,16,174,33,76,38,307,25,0"),
        NmeaSentence("GLGSV,3,2,09,75,68,049,35,65,09,237,,84,34,041,28,85,57,104,28,0"),
        NmeaSentence("GLGSV,3,3,09,67,14,341,,0"),
        NmeaSentence("PVKTD,A,2.4"),
    };
}

void Run(benchmark::State& state, MessageProtocol protocol, const std::vector<std::string>& messages)
{
    auto log = std::make_unique<MessageLog>();
    int64_t timeMs = 0;
    size_t bytes = 0;
    size_t next = 0;
    for (auto _ : state) {
        const std::string& m = messages[next];
        next = next + 1 == messages.size() ? 0 : next + 1;
        timeMs += 1;
        benchmark::DoNotOptimize(log->Append(
            {timeMs, 0, protocol, reinterpret_cast<const uint8_t*>(m.data()), int(m.size()), false}));
        bytes += m.size();
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetBytesProcessed(int64_t(bytes));
}

void MessageLogAppendNmea(benchmark::State& state)
{
    Run(state, MessageProtocol::Nmea, NmeaMix());
}
BENCHMARK(MessageLogAppendNmea);

void MessageLogAppendBinr(benchmark::State& state)
{
    std::vector<uint8_t> payload(69);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 37);
    payload[5] = 0x10;   // one stuffed DLE
    uint8_t frame[kBinrCommandFrameMax * 2];
    const int n = BuildBinrFrame(kMsgNavSolution, payload.data(), int(payload.size()), frame, int(sizeof frame));
    Run(state, MessageProtocol::Binr, {std::string(reinterpret_cast<const char*>(frame), size_t(n))});
}
BENCHMARK(MessageLogAppendBinr);

} // namespace
