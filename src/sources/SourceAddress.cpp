#include "SourceAddress.h"

#include <cctype>

namespace {

constexpr int kPortMax = 65535;
constexpr size_t kHostMax = 253;   // the longest DNS name

struct Scheme {
    const char* prefix;
    SourceKind kind;
};
constexpr Scheme kSchemes[] = {{"tcp://", SourceKind::Tcp}, {"udp://", SourceKind::Udp}, {"gpsd://", SourceKind::Gpsd}};

bool Fail(std::string* reason, const std::string& why)
{
    if (reason)
        *reason = why;
    return false;
}

// A decimal port 1..65535, nothing else.
bool ParsePort(const std::string& text, int* port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > kPortMax)
        return false;
    *port = v;
    return true;
}

// A host name, an IPv4 address or a bracketed IPv6 address (brackets removed).
bool ParseHost(std::string text, std::string* host)
{
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
        if (text.empty())
            return false;
        for (char c : text)
            if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.')
                return false;
        *host = text;
        return true;
    }
    if (text.empty() || text.size() > kHostMax || text.front() == '-' || text.front() == '.')
        return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    *host = text;
    return true;
}

// "HOST:PORT" or "[V6]:PORT"; the port may be optional.
bool SplitHostPort(const std::string& text, std::string* host, std::string* port, bool* hasPort)
{
    size_t colon = std::string::npos;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return false;
        if (close + 1 < text.size() && text[close + 1] != ':')
            return false;
        colon = close + 1 < text.size() ? close + 1 : std::string::npos;
    } else {
        colon = text.rfind(':');
        if (colon != std::string::npos && text.find(':') != colon)
            return false;   // a bare IPv6 address needs brackets
    }
    *hasPort = colon != std::string::npos;
    *host = text.substr(0, colon);
    *port = *hasPort ? text.substr(colon + 1) : std::string();
    return true;
}

} // namespace

bool LooksLikeNetworkSource(const std::string& text)
{
    for (const Scheme& s : kSchemes)
        if (text.rfind(s.prefix, 0) == 0)
            return true;
    return false;
}

bool ParseSourceAddress(const std::string& text, SourceAddress* out, std::string* reason)
{
    const Scheme* scheme = nullptr;
    for (const Scheme& s : kSchemes)
        if (text.rfind(s.prefix, 0) == 0)
            scheme = &s;
    if (!scheme)
        return Fail(reason, "An address starts with tcp://, udp:// or gpsd://");
    std::string rest = text.substr(std::string(scheme->prefix).size());
    SourceAddress a;
    a.kind = scheme->kind;

    if (a.kind == SourceKind::Gpsd) {
        const size_t slash = rest.find('/');
        if (slash != std::string::npos) {
            a.device = rest.substr(slash);
            rest.resize(slash);
            if (a.device.size() < 2)
                return Fail(reason, "The device after the host is a path, as /dev/ttyUSB0");
            for (char c : a.device)
                if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == '\\' || c == 0x7F)
                    return Fail(reason, "The device path holds a character gpsd cannot take");
        }
    } else if (rest.find('/') != std::string::npos) {
        return Fail(reason, "Nothing may follow the port");
    }

    std::string host, port;
    bool hasPort = false;
    if (!SplitHostPort(rest, &host, &port, &hasPort))
        return Fail(reason, "The host is not a name or an address");
    if (a.kind == SourceKind::Udp && host.empty()) {
        // udp://:PORT listens on every local address.
    } else if (!ParseHost(host, &a.host)) {
        return Fail(reason, host.empty() ? "The host is missing" : "The host is not a name or an address");
    }
    if (!hasPort && a.kind != SourceKind::Gpsd)
        return Fail(reason, "The port is missing (HOST:PORT)");
    a.port = kGpsdDefaultPort;
    if (hasPort && !ParsePort(port, &a.port))
        return Fail(reason, "The port is a number from 1 to 65535");
    if (out)
        *out = a;
    return true;
}

bool SourceTakesCommands(const std::string& text)
{
    if (!LooksLikeNetworkSource(text))
        return true;
    SourceAddress a;
    return ParseSourceAddress(text, &a, nullptr) && a.kind == SourceKind::Tcp;
}
