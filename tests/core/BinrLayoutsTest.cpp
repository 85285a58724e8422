#include "BinrDecoder.h"
#include "BinrLayouts.h"

#include <gtest/gtest.h>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// x87 double-extended bytes from sign, biased exponent and significand.
Bytes F80(bool negative, int exponent, uint64_t significand)
{
    Bytes b(10);
    for (int i = 0; i < 8; ++i)
        b[size_t(i)] = uint8_t(significand >> (8 * i));
    const int top = exponent | (negative ? 0x8000 : 0);
    b[8] = uint8_t(top);
    b[9] = uint8_t(top >> 8);
    return b;
}

// A finite double as x87 bytes (exact: the x87 format holds every double).
Bytes F80Of(double v)
{
    if (v == 0)
        return F80(std::signbit(v), 0, 0);
    int e;
    const double m = std::frexp(std::fabs(v), &e); // [0.5, 1)
    const uint64_t significand = uint64_t(std::ldexp(m, 64));
    return F80(v < 0, e - 1 + 16383, significand);
}

void Put(Bytes& b, size_t at, const void* value, size_t size)
{
    std::memcpy(b.data() + at, value, size); // this host is little-endian
}

TEST(BinrLayouts, ReadF80)
{
    const uint64_t one = uint64_t(1) << 63;
    struct Case {
        Bytes bytes;
        double expected;
    } cases[] = {
        {F80Of(3600000.0), 3600000.0},
        {F80Of(-0.1), -0.1},
        {F80Of(604799999.5), 604799999.5},
        {F80(false, 16383, one), 1.0},
        {F80(false, 16383, one | 1), 1.0},                    // below double precision: rounds
        {F80(false, 16383, one | (uint64_t(1) << 10)), 1.0},  // exactly half a double ulp: to even
        {F80(false, 16383, one | (uint64_t(3) << 10)), 1.0 + 2 * DBL_EPSILON},
        {F80(false, 16383 + 1024, one), std::numeric_limits<double>::infinity()}, // too big
        {F80(false, 16383, ~uint64_t(0)), 2.0},                 // rounds up into the next power of two
        {F80(false, 16383 + 1023, ~uint64_t(0)), std::numeric_limits<double>::infinity()},
        {F80(false, 16383 + 1022, ~uint64_t(0)), std::ldexp(1.0, 1023)},
        {F80(false, 16383 + 1023, ~uint64_t(0) << 11), DBL_MAX},
        {F80(false, 16383 - 1022, one), DBL_MIN},               // the smallest normal double
        {F80(false, 16383 - 1023, ~uint64_t(0)), DBL_MIN},      // rounds up to it
        {F80(true, 0x7FFF, one), -std::numeric_limits<double>::infinity()},
        {F80(false, 16383 - 1074, one), std::ldexp(1.0, -1074)}, // smallest subnormal double
        {F80(false, 16383 - 1075, one), 0.0},                    // half of it: ties to even
        {F80(false, 16383 - 1075, one | 1), std::ldexp(1.0, -1074)},
        {F80(false, 0, 12345), 0.0},                             // x87 subnormal
        {F80(true, 0, 0), -0.0},
    };
    for (const Case& c : cases) {
        const double v = ReadF80(c.bytes.data());
        EXPECT_EQ(v, c.expected);
        EXPECT_EQ(std::signbit(v), std::signbit(c.expected));
    }
    // NaN, and the encodings an x87 refuses.
    for (const Bytes& b : {F80(false, 0x7FFF, one | 1), F80(false, 0x7FFF, 0), F80(false, 16383, one >> 1)})
        EXPECT_TRUE(std::isnan(ReadF80(b.data())));
}

#if defined(__x86_64__) || defined(__i386__)
// Where long double is the x87 format, the portable reader must agree with it.
TEST(BinrLayouts, ReadF80MatchesX87)
{
    static_assert(LDBL_MANT_DIG == 64);
    uint64_t state = 0x9E3779B97F4A7C15u;
    for (int i = 0; i < 100000; ++i) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        uint8_t bytes[16] = {};
        std::memcpy(bytes, &state, 8);
        const int exponent = int((state >> 20) % 2300) + 16383 - 1150; // around the double range
        bytes[7] |= 0x80;
        bytes[8] = uint8_t(exponent);
        bytes[9] = uint8_t((exponent >> 8) | ((state & 1) << 7));
        long double x;
        std::memcpy(&x, bytes, 10);
        ASSERT_EQ(ReadF80(bytes), double(x)) << std::hexfloat << double(x);
    }
}
#endif

TEST(BinrLayouts, NavSolution)
{
    Bytes p(kNavSolutionSize, 0);
    const double lat = 0.9686577348568529, lon = -0.5, alt = 145.25, vn = 1.5, ve = -2.25;
    const float rms = 99.9f;
    const int16_t week = -3;
    Put(p, 0, &lat, 8);
    Put(p, 8, &lon, 8);
    Put(p, 16, &alt, 8);
    Put(p, 24, &rms, 4);
    const Bytes time = F80Of(3600000.0);
    Put(p, 28, time.data(), 10);
    Put(p, 38, &week, 2);
    Put(p, 40, &vn, 8);
    Put(p, 48, &ve, 8);
    p[68] = kSolutionValid | kSolutionDiff;
    const NavSolution s = ReadNavSolution(p.data());
    EXPECT_EQ(s.latRad, lat);
    EXPECT_EQ(s.lonRad, lon);
    EXPECT_EQ(s.altM, alt);
    EXPECT_EQ(s.rms2DM, rms);
    EXPECT_EQ(s.timeOfWeekMs, 3600000.0);
    EXPECT_EQ(s.week, week);
    EXPECT_EQ(s.velNorthMps, vn);
    EXPECT_EQ(s.velEastMps, ve);
    EXPECT_EQ(s.flags, kSolutionValid | kSolutionDiff);
}

TEST(BinrLayouts, SmallMessages)
{
    const Bytes dop{3, 0xFE, 0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x20, 0x40};
    const DopInfo d = ReadDopInfo(dop.data());
    EXPECT_EQ(d.gpsCount, 3);
    EXPECT_EQ(d.glonassCount, -2);
    EXPECT_EQ(d.hdop, 1.5f);
    EXPECT_EQ(d.vdop, 2.5f);

    const Bytes status{0x81, 0x06, 0, 0, 5, 0, 0, 0x80, 1, 0, 0, 0, 0, 0, 0, 0};
    const SolutionStatus st = ReadSolutionStatus(status.data());
    EXPECT_EQ(st.indicatorsA, 0x81);
    EXPECT_EQ(st.indicatorsB, 0x06);
    EXPECT_EQ(st.gpsUsed, 0x80000005u); // PRNs 1, 3 and 32
    EXPECT_EQ(st.glonassUsed, 1u);      // slot 1

    const Bytes record{2, 5, 0, 0xF6, 0x2C, 0x01, 45};
    const SatInView sat = ReadSatInView(record.data());
    EXPECT_EQ(sat.system, kSystemGlonass);
    EXPECT_EQ(sat.number, 5);
    EXPECT_EQ(sat.elevationDeg, -10);
    EXPECT_EQ(sat.azimuthDeg, 300);
    EXPECT_EQ(sat.snrDbHz, 45);
}

TEST(BinrLayouts, DeviceTextIsAlwaysTerminated)
{
    Bytes p(kDeviceInfoSize, 'x');
    p[0] = 0x07;
    std::memcpy(p.data() + 1, "RCV-4 v2.1 07.05.24", 19);
    p[20] = 0;
    char text[kDeviceTextMax + 1];
    ReadDeviceText(p.data(), text);
    EXPECT_STREQ(text, "RCV-4 v2.1 07.05.24");

    p[20] = 'x'; // no NUL in the 75 text bytes
    std::memset(text, '#', sizeof text);
    ReadDeviceText(p.data(), text);
    EXPECT_EQ(std::strlen(text), size_t(kDeviceTextMax));
}

TEST(BinrLayouts, NmeaSatelliteId)
{
    EXPECT_EQ(NmeaSatelliteId(kSystemGps, 7), 7);
    EXPECT_EQ(NmeaSatelliteId(kSystemGlonass, 5), 69);
    EXPECT_EQ(NmeaSatelliteId(kSystemGlonass, 24), 88);
    EXPECT_EQ(NmeaSatelliteId(kSystemSbas, 134), 47);
    EXPECT_EQ(NmeaSatelliteId(kSystemSbas, 120), 33);
    EXPECT_EQ(NmeaSatelliteId(kSystemSbas, 151), 64);
}

TEST(BinrLayouts, SpeedAndCourse)
{
    struct Case {
        double north, east;
        float speed, course;
    } cases[] = {
        {0, 0, 0, 0},           {0, -1, 1, 270},      {1, 0, 1, 0},    {0, 10, 10, 90},
        {-3, 0, 3, 180},        {3, 4, 5, 53.130102f}, {1e-50, 0, 0, 0}, // below single precision: exactly 0
    };
    for (const Case& c : cases) {
        const SpeedCourse sc = SpeedAndCourse(c.north, c.east);
        EXPECT_FLOAT_EQ(sc.speedMps, c.speed) << c.north << "," << c.east;
        EXPECT_FLOAT_EQ(sc.courseDeg, c.course) << c.north << "," << c.east;
    }
    EXPECT_EQ(SpeedAndCourse(-0.0, -0.0).courseDeg, 0.0f);
    EXPECT_GE(SpeedAndCourse(1, -1e-9).courseDeg, 0.0f);
}

TEST(BinrLayouts, WholeSeconds)
{
    EXPECT_EQ(WholeSeconds(3600999.0), 3600);
    EXPECT_EQ(WholeSeconds(-1500.0), -1);
    EXPECT_EQ(WholeSeconds(std::nan("")), 0);
    EXPECT_EQ(WholeSeconds(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(WholeSeconds(-std::numeric_limits<double>::infinity()), std::numeric_limits<int32_t>::min());
}

} // namespace
