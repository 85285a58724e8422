#pragma once
// Builders of receiver input for the view tests: NMEA sentences with their
// checksum, and BINR payloads of messages 0x88, 0x60 and 0x93 framed and fed
// through a decoder the way the intake feeds them.
#include "BinrLayouts.h"

#include <cstdint>
#include <string>
#include <vector>

class NmeaAssembler;
class BinrDecoder;
class Intake;

// "$" + body + "*hh\r\n"; returns the assembler's result for the line feed.
int FeedNmea(NmeaAssembler& nmea, const std::string& body);
// The same through an intake, as the program's bytes go.
int FeedNmea(Intake& intake, const std::string& body);

// A 0x88 with every field zero but the valid flag.
struct Nav88 : NavSolution {
    Nav88() : NavSolution{} { flags = kSolutionValid; }
};

struct Dop60 {
    int8_t gps = 0;
    int8_t glonass = 0;
    float hdop = 0;
    float vdop = 0;
};

struct Status93 {
    uint8_t a = 0;
    uint8_t b = 0;
    uint32_t gpsMask = 0;
    uint32_t glonassMask = 0;
    std::vector<uint8_t> bad;
};

std::vector<uint8_t> Payload(const Nav88& nav);
std::vector<uint8_t> Payload(const Dop60& dop);
std::vector<uint8_t> Payload(const Status93& status);

// Frames the payload and pushes every byte; returns the last result.
int FeedBinr(BinrDecoder& binr, uint8_t id, const std::vector<uint8_t>& payload);
int FeedBinr(BinrDecoder& binr, const Nav88& nav);
int FeedBinr(BinrDecoder& binr, const Dop60& dop);
int FeedBinr(BinrDecoder& binr, const Status93& status);
int FeedBinr(Intake& intake, const Nav88& nav);
int FeedBinr(Intake& intake, const Dop60& dop);
int FeedBinr(Intake& intake, const Status93& status);

// The 8-bit texts as written in the tests, with "°" for the degree byte 0xB0.
std::string Deg(const std::string& utf8Text);
