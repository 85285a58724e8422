#pragma once
// Opening the network sources: a TCP stream, a bound UDP socket, or a gpsd
// connection whose raw pass-through of one device is already switched on.
// The descriptor comes back non-blocking, ready for the link's reader, which
// treats it as it treats a serial port. Plain C++, no Qt.
#include "SourceAddress.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A connection that has not come up after this long has failed.
constexpr int kConnectTimeoutMs = 5000;
// gpsd answers a watch at once and passes the first sentences within about
// 2 s (it hunts the device's line settings first); after this long without
// a raw byte the source is given up.
constexpr int kGpsdNoDataMs = 5000;

struct NetSource {
    int fd = -1;
    bool datagram = false;   // udp: every read is one datagram; a 0-byte read is no hang-up
    std::string error;       // for the user: "Connection failed", or gpsd's own refusal
    std::string detail;      // why, for a log or standard error
};

NetSource OpenNetSource(const SourceAddress& address, int timeoutMs = kConnectTimeoutMs);

// gpsd's raw pass-through still carries its JSON reports (lines starting
// with '{') next to the device's sentences; a sentence never starts so. The
// filter drops those lines from a stream cut anywhere, in place, and returns
// the new length.
class GpsdJsonFilter {
public:
    int Filter(uint8_t* bytes, int length);

private:
    bool lineStart_ = true;
    bool dropping_ = false;
};
