#include "ViewTestSupport.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "NmeaAssembler.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

template <typename T>
void Put(std::vector<uint8_t>& out, size_t offset, T value)
{
    uint8_t bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));   // the test host is little-endian like the wire
    for (size_t i = 0; i < sizeof(T); ++i)
        out[offset + i] = bytes[i];
}

// x87 double-extended, written independently of the reader under test.
void PutF80(std::vector<uint8_t>& out, size_t offset, double value)
{
    uint64_t significand = 0;
    uint16_t exponentSign = 0;
    if (value != 0) {
        int exponent = 0;
        const double fraction = std::frexp(std::fabs(value), &exponent);   // [0.5, 1)
        significand = uint64_t(std::ldexp(fraction, 64));
        exponentSign = uint16_t(exponent - 1 + 16383);
        if (value < 0)
            exponentSign |= 0x8000;
    }
    Put(out, offset, significand);
    Put(out, offset + 8, exponentSign);
}

} // namespace

int FeedNmea(NmeaAssembler& nmea, const std::string& body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum ^= uint8_t(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    const std::string sentence = "$" + body + tail;
    int result = 0;
    for (char c : sentence)
        result = nmea.PushByte(c);
    return result;
}

std::vector<uint8_t> Payload(const Nav88& nav)
{
    std::vector<uint8_t> p(kNavSolutionSize, 0);
    Put(p, 0, nav.latRad);
    Put(p, 8, nav.lonRad);
    Put(p, 16, nav.altM);
    Put(p, 24, nav.rms2DM);
    PutF80(p, 28, nav.timeMs);
    Put(p, 38, nav.week);
    Put(p, 40, nav.velNorthMps);
    Put(p, 48, nav.velEastMps);
    p[68] = nav.flags;
    return p;
}

std::vector<uint8_t> Payload(const Dop60& dop)
{
    std::vector<uint8_t> p(kDopInfoSize, 0);
    p[0] = uint8_t(dop.gps);
    p[1] = uint8_t(dop.glonass);
    Put(p, 2, dop.hdop);
    Put(p, 6, dop.vdop);
    return p;
}

std::vector<uint8_t> Payload(const Status93& status)
{
    std::vector<uint8_t> p(size_t(kStatusHeaderSize + kStatusEntrySize * int(status.bad.size())), 0);
    p[0] = status.a;
    p[1] = status.b;
    Put(p, 4, status.gpsMask);
    Put(p, 8, status.glonassMask);
    for (size_t j = 0; j < status.bad.size(); ++j)
        p[size_t(kStatusHeaderSize) + kStatusEntrySize * j] = status.bad[j];
    return p;
}

int FeedBinr(BinrDecoder& binr, uint8_t id, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame(2 * payload.size() + 8);
    const int n = BuildBinrFrame(id, payload.data(), int(payload.size()), frame.data(), int(frame.size()));
    int result = 0;
    for (int i = 0; i < n; ++i)
        result = binr.PushByte(frame[size_t(i)]);
    return result;
}

int FeedBinr(BinrDecoder& binr, const Nav88& nav) { return FeedBinr(binr, kMsgNavSolution, Payload(nav)); }
int FeedBinr(BinrDecoder& binr, const Dop60& dop) { return FeedBinr(binr, kMsgDopInfo, Payload(dop)); }
int FeedBinr(BinrDecoder& binr, const Status93& status) { return FeedBinr(binr, kMsgSolutionStatus, Payload(status)); }

std::string Deg(const std::string& utf8Text)
{
    std::string out;
    for (size_t i = 0; i < utf8Text.size(); ++i) {
        if (uint8_t(utf8Text[i]) == 0xC2 && i + 1 < utf8Text.size() && uint8_t(utf8Text[i + 1]) == 0xB0) {
            out += '\xB0';
            ++i;
        } else {
            out += utf8Text[i];
        }
    }
    return out;
}
