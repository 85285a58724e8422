// The assembler against real receiver output, judged line by line by a plain
// reference reading of each line.
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Line {
    std::string text; // up to and including the line feed
    bool clean;       // one "$" at the start, "*hh" and CR LF or LF at the end, short enough
    bool checksumOk;
};

std::vector<Line> Lines(const std::vector<uint8_t>& bytes)
{
    std::vector<Line> lines;
    std::string current;
    for (uint8_t b : bytes) {
        current.push_back(char(b));
        if (b != '\n')
            continue;
        Line line{current, false, false};
        std::string body = current.substr(0, current.size() - 1);
        if (!body.empty() && body.back() == '\r')
            body.pop_back();
        const size_t star = body.size() >= 3 ? body.size() - 3 : std::string::npos;
        line.clean = current.size() < size_t(kNmeaSentenceMax) && body.size() >= 4 && body[0] == '$' &&
                     std::count(body.begin(), body.end(), '$') == 1 && body[star] == '*' &&
                     std::count(body.begin(), body.end(), '*') == 1;
        if (line.clean) {
            const unsigned sum = NmeaChecksum(body.data() + 1, body.data() + star);
            unsigned given = 0;
            line.checksumOk = std::sscanf(body.c_str() + star + 1, "%2x", &given) == 1 && given == sum;
        }
        lines.push_back(line);
        current.clear();
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line)
{
    const std::string body = line.substr(1, line.find('*') - 1);
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = body.find(',', start);
        fields.push_back(body.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

std::vector<int> NonZero(NmeaAssembler& nmea, const std::string& text)
{
    std::vector<int> codes;
    for (char c : text)
        if (const int r = nmea.PushByte(c))
            codes.push_back(r);
    return codes;
}

// A copy of a clean line with one data character changed, so its checksum no
// longer matches.
std::string Damaged(std::string text)
{
    text[1] = text[1] == 'G' ? 'X' : 'G';
    return text;
}

TEST(NmeaCaptures, EachLineGivesItsResult)
{
    REQUIRE_SHARED_NMEA();
    int ggaSeen = 0, damagedSeen = 0;
    for (const std::string& file : SharedNmeaFiles()) {
        NmeaAssembler nmea;
        for (const Line& line : Lines(ReadBinaryFile(file))) {
            const std::vector<int> codes = NonZero(nmea, line.text);
            ASSERT_LE(codes.size(), 1u) << file << ": " << line.text;
            if (!line.clean)
                continue;
            if (!line.checksumOk) {
                EXPECT_EQ(codes, std::vector<int>{kNmeaError}) << file << ": " << line.text;
                continue;
            }
            ASSERT_EQ(codes.size(), 1u) << file << ": " << line.text;
            EXPECT_GE(codes[0], kNmeaOther) << file << ": " << line.text;
            const std::string address = line.text.substr(1, 6);
            if (address.size() == 6 && address.compare(2, 4, "GGA,") == 0) {
                ++ggaSeen;
                EXPECT_EQ(codes[0], kNmeaGga) << file << ": " << line.text;
                const NmeaFields& gga = nmea.Stored(NmeaKind::Gga);
                EXPECT_EQ(std::vector<std::string>(gga.slot, gga.slot + gga.count), Fields(line.text))
                    << file << ": " << line.text;
            }
            ++damagedSeen;
            EXPECT_EQ(NonZero(nmea, Damaged(line.text)), std::vector<int>{kNmeaError}) << file << ": " << line.text;
        }
    }
    EXPECT_GT(ggaSeen, 500);
    EXPECT_GT(damagedSeen, 4000);
}

} // namespace
