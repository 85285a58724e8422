#pragma once
// The simulated receiver's BINR side: the payloads of an epoch, written with
// the program's own BINR encoder, and a reader that cuts the commands it
// receives out of the byte stream.
#include "BinrEncoder.h"
#include "Scenario.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = BinrBytes;

// GPS week and time within it for a UTC instant, counted on the UTC scale
// (no leap seconds) so that its remainder modulo one day is the time of day.
struct GpsTime {
    int fullWeek;          // weeks since 6 January 1980
    double timeOfWeekMs;
};
GpsTime GpsTimeOf(double unixTime);

Bytes NavSolutionPayload(const Epoch& e);      // 0x88
Bytes DopInfoPayload(const Epoch& e);          // 0x60
Bytes SolutionStatusPayload(const Epoch& e);   // 0x93
Bytes SatInViewPayload(const Epoch& e);        // 0x52

// One epoch as the receiver sends it: status and DOP first, since the
// program takes them with the navigation solution that follows, then the
// solution and the satellites in view.
Bytes BinrEpoch(const Epoch& e);

// Cuts frames out of a byte stream with the same rules as the program's
// decoder: outside a frame only DLE plus an ID starts one; inside, DLE DLE is
// one 0x10, DLE ETX ends it, and a lone DLE is dropped. The decoder keeps only
// the payloads the program reads, while a receiver needs every command's.
class CommandReader {
public:
    // True when b completed a frame; Id() and Payload() then describe it.
    bool Push(uint8_t b);
    uint8_t Id() const { return id_; }
    const Bytes& Payload() const { return payload_; }

private:
    static constexpr size_t kFrameMax = 1024;
    bool inFrame_ = false;
    bool dlePending_ = false;
    bool haveId_ = false;
    uint8_t id_ = 0;
    Bytes payload_;
};
