#include "BinrLayouts.h"

#include "BinrDecoder.h"

#include <cstring>

int BuildBinrFrame(uint8_t id, const uint8_t* payload, int length, uint8_t* out, int outSize)
{
    int n = 0;
    auto put = [&](uint8_t b) {
        if (n < outSize)
            out[n] = b;
        ++n;
    };
    put(kDle);
    put(id);
    for (int i = 0; i < length; ++i) {
        put(payload[i]);
        if (payload[i] == kDle)
            put(kDle);
    }
    put(kDle);
    put(kEtx);
    return n <= outSize ? n : 0;
}

// Placeholders until the layouts land.
int16_t ReadI16(const uint8_t*) { return 0; }
uint32_t ReadU32(const uint8_t*) { return 0; }
float ReadF32(const uint8_t*) { return 0; }
double ReadF64(const uint8_t*) { return 0; }
double ReadF80(const uint8_t*) { return 0; }
NavSolution ReadNavSolution(const uint8_t*) { return {}; }
DopInfo ReadDopInfo(const uint8_t*) { return {}; }
SolutionStatus ReadSolutionStatus(const uint8_t*) { return {}; }
SatInView ReadSatInView(const uint8_t*) { return {}; }
void ReadDeviceText(const uint8_t*, char* out) { out[0] = 0; }
int NmeaSatelliteId(uint8_t, uint8_t number) { return number; }
SpeedCourse SpeedAndCourse(double, double) { return {}; }
