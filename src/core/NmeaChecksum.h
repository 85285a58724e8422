#pragma once
// The NMEA checksum: the XOR of every character between "$" and "*", written
// as two hexadecimal digits. One routine for the assembler that checks it,
// the synthesis and the commands that write it, and the simulated receiver.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

constexpr char kNmeaHexDigits[] = "0123456789ABCDEF";

// XOR of the characters in [begin, end). Inline and eight characters at a
// time, folded to one byte at the end: it runs once per received sentence.
inline uint8_t NmeaChecksum(const char* begin, const char* end)
{
    uint64_t lanes = 0;
    const char* p = begin;
    for (; end - p >= 8; p += 8) {
        uint64_t word;
        std::memcpy(&word, p, sizeof word);
        lanes ^= word;
    }
    lanes ^= lanes >> 32;
    lanes ^= lanes >> 16;
    lanes ^= lanes >> 8;
    uint8_t sum = uint8_t(lanes);
    for (; p < end; ++p)
        sum ^= uint8_t(*p);
    return sum;
}

inline uint8_t NmeaChecksum(std::string_view body) { return NmeaChecksum(body.data(), body.data() + body.size()); }

// "$" + body + "*hh\r\n" with upper-case digits, as a receiver sends it.
inline std::string NmeaSentence(std::string_view body)
{
    const uint8_t sum = NmeaChecksum(body);
    std::string s;
    s.reserve(body.size() + 6);
    s += '$';
    s += body;
    s += '*';
    s += kNmeaHexDigits[sum >> 4];
    s += kNmeaHexDigits[sum & 0x0F];
    s += "\r\n";
    return s;
}
