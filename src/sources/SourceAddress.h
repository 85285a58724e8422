#pragma once
// Addresses of the sources beside serial ports, as a user types them in the
// port list, on the command line (--port) or in KESTROVA_PORTS:
//   tcp://HOST:PORT              a raw byte stream from a TCP server, both ways
//   udp://[HOST]:PORT            raw datagrams received on a local port, read only
//   gpsd://HOST[:PORT][/DEVICE]  gpsd's raw pass-through of one device, read only
// Anything else is a serial port name. Plain C++, no Qt: the dialog, the link
// and the command line all check an address with the same rules.
#include <string>

enum class SourceKind { Serial, Tcp, Udp, Gpsd };

constexpr int kGpsdDefaultPort = 2947;

struct SourceAddress {
    SourceKind kind = SourceKind::Serial;
    std::string host;     // empty for udp: every local address
    int port = 0;
    std::string device;   // gpsd only: the device path gpsd knows ("/dev/ttyUSB0"), or empty for all
};

// True when text starts like a network address (tcp://, udp://, gpsd://),
// whether or not the rest is well formed.
bool LooksLikeNetworkSource(const std::string& text);
// Parses a network address. On a malformed one returns false and puts the
// reason, fit to show to a user, in *reason.
bool ParseSourceAddress(const std::string& text, SourceAddress* out, std::string* reason);
// Serial ports and TCP streams take commands; UDP and gpsd only deliver.
bool SourceTakesCommands(const std::string& text);
