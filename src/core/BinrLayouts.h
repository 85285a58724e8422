#pragma once
// Field readers for the BINR payloads the program understands, and the frame
// writer for the commands it sends. All multi-byte values are little-endian on
// the wire; readers copy byte by byte, so alignment and host order never matter.
#include <bit>
#include <cstdint>
#include <cstddef>

// Message IDs received.
constexpr uint8_t kMsgHeartbeat = 0x02;
constexpr uint8_t kMsgBaudAck = 0x50;
constexpr uint8_t kMsgSatInView = 0x52;
constexpr uint8_t kMsgDopInfo = 0x60;
constexpr uint8_t kMsgDeviceInfo = 0x70;
constexpr uint8_t kMsgNavSolution = 0x88;
constexpr uint8_t kMsgSolutionStatus = 0x93;

// Command IDs sent.
constexpr uint8_t kCmdStopOutput = 0x0E;
constexpr uint8_t kCmdReset = 0x26;
constexpr uint8_t kCmdPortSetting = 0x0B;
constexpr uint8_t kCmdDeviceInfo = 0x1B;
constexpr uint8_t kCmdOutputRate = 0xA0;
constexpr uint8_t kCmdHeartbeat = 0x0C;
constexpr uint8_t kCmdPosition21 = 0x21;
constexpr uint8_t kCmdPosition27 = 0x27;
constexpr uint8_t kCmdPosition35 = 0x35;
constexpr uint8_t kCmdPosition24 = 0x24;

// Port modes of command 0x0B (its last byte).
constexpr int kPortSettingSize = 6;
constexpr uint8_t kPortModeNmea = 0x02;
constexpr uint8_t kPortModeBinr = 0x04;

// Solution flags of message 0x88 (offset 68).
constexpr uint8_t kSolutionValid = 0x01;
constexpr uint8_t kSolution2D = 0x02;
constexpr uint8_t kSolutionDiff = 0x08;
constexpr uint8_t kSolutionCorr = 0x20;

// Satellite systems of message 0x52.
constexpr uint8_t kSystemGps = 1;
constexpr uint8_t kSystemGlonass = 2;
constexpr uint8_t kSystemSbas = 4;

struct NavSolution {          // message 0x88
    double latRad;
    double lonRad;
    double altM;
    float rms2DM;
    double timeOfWeekMs;      // from the 80-bit field
    int16_t week;             // modulo 1024, after the rollover of August 1999
    double velNorthMps;
    double velEastMps;
    uint8_t flags;
};

struct DopInfo {              // message 0x60
    int8_t gpsCount;
    int8_t glonassCount;
    float hdop;
    float vdop;
};

struct SolutionStatus {       // header of message 0x93
    uint8_t indicatorsA;
    uint8_t indicatorsB;
    uint32_t gpsUsed;         // bit i: PRN i + 1
    uint32_t glonassUsed;     // bit i: slot i + 1
};

struct BadSatellite {         // one entry of message 0x93
    uint8_t number;           // GPS PRN, or GLONASS slot + 64
    float residualM;
};

struct SatInView {            // one record of message 0x52
    uint8_t system;
    uint8_t number;
    int8_t elevationDeg;
    int16_t azimuthDeg;
    int8_t snrDbHz;
};

constexpr int kDeviceTextMax = 75;   // text bytes of message 0x70, NUL included

int16_t ReadI16(const uint8_t* p);
inline uint32_t ReadU32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline float ReadF32(const uint8_t* p) { return std::bit_cast<float>(ReadU32(p)); }
double ReadF64(const uint8_t* p);
// x87 double-extended: 64-bit significand with explicit integer bit, then
// 15-bit exponent and sign. Decoded without relying on long double.
double ReadF80(const uint8_t* p);

NavSolution ReadNavSolution(const uint8_t* payload);
// Inline, both: a record returned from a call is put together
// on the stack and read back wider than it was written, which stalls the
// load for every 0x88 a report reads.
inline DopInfo ReadDopInfo(const uint8_t* payload)
{
    constexpr int kDopGps = 0;
    constexpr int kDopGlonass = 1;
    constexpr int kDopH = 2;
    constexpr int kDopV = 6;
    DopInfo d;
    d.gpsCount = int8_t(payload[kDopGps]);
    d.glonassCount = int8_t(payload[kDopGlonass]);
    d.hdop = ReadF32(payload + kDopH);
    d.vdop = ReadF32(payload + kDopV);
    return d;
}
inline SolutionStatus ReadSolutionStatus(const uint8_t* header)
{
    constexpr int kStatusA = 0;
    constexpr int kStatusB = 1;
    constexpr int kStatusGps = 4;
    constexpr int kStatusGlonass = 8;
    SolutionStatus s;
    s.indicatorsA = header[kStatusA];
    s.indicatorsB = header[kStatusB];
    s.gpsUsed = ReadU32(header + kStatusGps);
    s.glonassUsed = ReadU32(header + kStatusGlonass);
    return s;
}
// Inline: it runs for every satellite of every 0x88 a report reads.
inline SatInView ReadSatInView(const uint8_t* record)
{
    constexpr int kSatSystem = 0;
    constexpr int kSatNumber = 1;
    constexpr int kSatElevation = 3;
    constexpr int kSatAzimuth = 4;
    constexpr int kSatSnr = 6;
    SatInView s;
    s.system = record[kSatSystem];
    s.number = record[kSatNumber];
    s.elevationDeg = int8_t(record[kSatElevation]);
    s.azimuthDeg = int16_t(uint16_t(record[kSatAzimuth] | (record[kSatAzimuth + 1] << 8)));
    s.snrDbHz = int8_t(record[kSatSnr]);
    return s;
}
// Copies the device text (payload byte 1 on) into out, always NUL-terminated,
// even when the 75 text bytes hold no NUL. out must hold kDeviceTextMax + 1.
void ReadDeviceText(const uint8_t* payload, char* out);

// NMEA satellite ID: GPS PRN unchanged, GLONASS slot + 64, SBAS PRN - 87.
int NmeaSatelliteId(uint8_t system, uint8_t number);

// Speed over ground and course, in single precision from the two velocity
// components converted to float first: course 0 when both are exactly 0,
// otherwise atan2(east, north) in degrees, plus 360 when negative.
struct SpeedCourse {
    float speedMps;
    float courseDeg;
};
SpeedCourse SpeedAndCourse(double velNorthMps, double velEastMps);

// Whole seconds of a time in milliseconds, truncated toward zero; saturates
// at the 32-bit range and gives 0 for NaN, so a garbled 80-bit time field
// still reaches the text routines as a defined value.
int32_t WholeSeconds(double timeMs);

// Builds DLE, ID, stuffed payload, DLE ETX into out. Returns the frame length,
// or 0 when the frame would not fit in outSize bytes.
constexpr int kBinrCommandFrameMax = 128;
int BuildBinrFrame(uint8_t id, const uint8_t* payload, int length, uint8_t* out, int outSize);
