#pragma once
// Opening the network sources: a TCP stream, a bound UDP socket, or a gpsd
// connection whose raw pass-through of one device is already switched on.
// The descriptor comes back non-blocking, ready for the link's reader, which
// treats it as it treats a serial port. Plain C++, no Qt.
#include "SourceAddress.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Name lookup, connection and gpsd's answer share this one deadline: a
// source that has not come up after this long has failed.
constexpr int kConnectTimeoutMs = 5000;
// gpsd answers no client while it hunts its device's line settings, which
// takes seconds when it has just started. A gpsd that took the connection
// and is silent is waited for this long at most, and that wait does not
// count against the deadline above.
constexpr int kGpsdBusyMs = 30000;
// Silence from gpsd for this long after connecting counts as busy.
constexpr int kGpsdBusyAfterMs = 250;
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

// How an open on a worker is stopped and what it tells meanwhile. Every
// wait watches cancelFd (an eventfd, or -1 for none): once it is readable
// the open ends within a few milliseconds, as "Stopped". gpsdBusy runs on
// the opening thread when gpsd took the connection and has not answered.
struct NetOpenControl {
    int cancelFd = -1;
    std::function<void()> gpsdBusy;
};

NetSource OpenNetSource(const SourceAddress& address, int timeoutMs = kConnectTimeoutMs,
                        const NetOpenControl& control = {});

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
