#pragma once
// Command line of kestrova-sim.
#include "LineRates.h"
#include "Scenario.h"

#include <cstdint>
#include <optional>
#include <string>

enum class SimProtocol { Nmea, Binr };

constexpr int kMaxReceivers = 8;

struct SimBias {
    double eastM, northM, upM;
};
struct SimNoise {
    double horizM, vertM;
};
struct SimDropout {
    double everyS, forS;        // everyS 0: never
};

struct SimOptions {
    SimProtocol protocol = SimProtocol::Nmea;
    int baud = 0;
    int rate = 1;                 // epochs per second
    bool flood = false;
    long floodBytesPerS = 0;      // --flood-rate: the flood's cap (0: as fast as the line takes it)
    ScenarioKind scenario = ScenarioKind::Static;
    std::string replayFile;
    std::string device = "KSIM 1.0";
    std::string logFile;
    bool heartbeat = false;       // periodic 0x02 on from the start
    std::string demoFile;         // --write-demo: write a recording and exit
    int demoSeconds = 600;
    uint64_t seed = 20180918;
    int tcpPort = -1;             // --tcp: serve on 127.0.0.1 instead of a pty (0: any free port)
    int receivers = 1;
    // Given on the command line: then every receiver has it instead of its own.
    std::optional<SimBias> bias;
    std::optional<SimNoise> noise;
    std::optional<double> coldStartS;
    std::optional<SimDropout> dropout;
    bool help = false;
    bool version = false;
};

// The nine line rates a receiver and the program agree on.

// Fills options from argv. On a mistake returns false with a message.
bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error);

const char* SimUsage();
