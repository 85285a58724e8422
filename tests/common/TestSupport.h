#pragma once
// Helpers shared by the test programs.
#include "NmeaChecksum.h"   // NmeaSentence: "$" body "*HH\r\n", as a receiver sends it

#include <string>
#include <vector>
#include <cstdint>

// ../shared/testdata/nmea beside the checkout, or empty when it is absent.
std::string SharedNmeaDir();
// Every capture file of that folder (*.log), sorted.
std::vector<std::string> SharedNmeaFiles();
std::vector<uint8_t> ReadBinaryFile(const std::string& path);
bool WriteBinaryFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::string SourceDir();
// An NMEA file with one GGA and a GSA per given time of day (ms; kNoTime: an
// empty time field).
std::string NmeaEpochs(const std::vector<int64_t>& times);

// Skips the current test when the shared captures are missing.
#define REQUIRE_SHARED_NMEA()                                                        \
    do {                                                                             \
        if (SharedNmeaDir().empty())                                                 \
            GTEST_SKIP() << "../shared/testdata/nmea is absent; capture test skipped"; \
    } while (0)
