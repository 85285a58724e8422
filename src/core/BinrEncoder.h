#pragma once
// Writers of BINR payloads and frames, the counterpart of the readers in
// BinrLayouts: fields appended in wire order, little-endian whatever the host.
// The simulated receiver speaks through them, and the tests and benchmarks
// build their receiver input with them.
#include "BinrLayouts.h"

#include <cstdint>
#include <string_view>
#include <vector>

using BinrBytes = std::vector<uint8_t>;

void PutU16(BinrBytes& out, uint16_t v);
void PutU32(BinrBytes& out, uint32_t v);
void PutF32(BinrBytes& out, float v);
void PutF64(BinrBytes& out, double v);
// x87 double-extended: 64-bit significand with its integer bit, then the
// 15-bit exponent and the sign, built from the double's parts (no long
// double needed). NaN and infinity keep their x87 encodings, so hostile
// values can be written too.
void PutF80(BinrBytes& out, double v);

// Appends one frame (DLE, ID, payload with every DLE doubled, DLE ETX).
void AppendBinrFrame(BinrBytes& out, uint8_t id, const BinrBytes& payload);
BinrBytes BinrFrame(uint8_t id, const BinrBytes& payload);

// The payloads of the messages the program reads, from the fields it reads
// them into. Bytes the program skips are written as a receiver fills them:
// the vertical velocity of 0x88, zero elsewhere.
BinrBytes NavSolutionPayload(const NavSolution& s, double velUpMps = 0);   // 0x88
BinrBytes DopInfoPayload(const DopInfo& d);                                // 0x60
// Entries and records are all written, even more than a receiver sends.
BinrBytes SolutionStatusPayload(const SolutionStatus& s, const std::vector<BadSatellite>& bad);   // 0x93
// The channel byte counts from 0.
BinrBytes SatInViewPayload(const std::vector<SatInView>& sats);   // 0x52
// 0x0B: 00, the rate (0: keep it), the port mode.
BinrBytes PortSettingPayload(uint32_t baud, uint8_t portMode);
// 0x70: the text from byte 1, cut to leave room for its NUL.
BinrBytes DeviceInfoPayload(std::string_view text);
