// The reporting cycle: where each fix sentence of a stream stands, for the
// sentence orders receivers use (O opens an epoch, J joins it, R repeats).
#include "EpochRule.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

// "GPGGA 120000.00" per sentence, blank-separated pairs; an empty time is "-".
std::string Steps(const std::string& stream)
{
    EpochRule rule;
    std::istringstream in(stream);
    std::string address, time, steps;
    while (in >> address >> time) {
        const std::string type = address.substr(2);
        const FixSentence kind = type == "GGA" ? FixSentence::Gga : type == "GNS" ? FixSentence::Gns : FixSentence::Rmc;
        const CycleStep step = rule.Place(kind, address.c_str(), EpochRule::TimeOfDayMs(time == "-" ? "" : time.c_str()));
        steps += step == CycleStep::Opens ? 'O' : step == CycleStep::Joins ? 'J' : 'R';
    }
    return steps;
}

TEST(EpochRule, OneCycleWhateverTheOrder)
{
    struct Row { const char* name; const char* stream; const char* steps; };
    const Row rows[] = {
        {"GGA first", "GPGGA 120000.00 GPRMC 120000.00 GPGGA 120001.00 GPRMC 120001.00", "OJOJ"},
        {"GGA last", "GPRMC 120000.00 GPGGA 120000.00 GPRMC 120001.00 GPGGA 120001.00", "OJOJ"},
        {"GNS only", "GNGNS 120000.00 GNGNS 120001.00 GNGNS 120002.00", "OOO"},
        {"RMC only", "GPRMC 120000 GPRMC 120001 GPRMC 120002", "OOO"},
        {"GNS every second, a rare GGA", "GNGNS 120000.00 GNGGA 120000.00 GNGNS 120001.00 GNGNS 120002.00", "OJOO"},
        {"a repeated GGA adds nothing", "GPGGA 120000.00 GPGGA 120000.00 GPRMC 120000.00 GPRMC 120000.00", "ORJR"},
        {"GP and GL GGAs of one time", "GPGGA 120000.00 GLGGA 120000.00 GPGGA 120001.00 GLGGA 120001.00", "OJOJ"},
        {"RMC stamped 0.68 s after its GGA", "GPGGA 120000.00 GPRMC 120000.68 GPGGA 120001.00 GPRMC 120001.68", "OJOJ"},
        {"a talker changed between cycles", "GNGGA 120000.50 GNRMC 120000.50 GPGGA 120000.60 GPRMC 120000.60", "OJOJ"},
        {"10 Hz cut after a GGA", "GPRMC 120000.60 GPGGA 120000.70 GPRMC 120000.70 GPGGA 120000.80", "OOJO"},
        {"10 Hz", "GPGGA 120000.00 GPRMC 120000.00 GPGGA 120000.10 GPRMC 120000.10 GPGGA 120000.20", "OJOJO"},
        {"another second than the opener's", "GPGGA 120000.00 GNGNS 120000.99 GPRMC 120001.00", "OJO"},
        {"stamps that drift", "GPRMC 120006.802 GPGGA 120007.801 GPRMC 120007.801", "OOJ"},
        {"across midnight", "GPGGA 235959.60 GPRMC 235959.90 GPGGA 000000.10", "OJO"},
        {"no time: a pair is one cycle", "GPGGA - GPRMC - GPGGA - GPRMC -", "OJOJ"},
        {"no time is never a repeat", "GPGGA - GPGGA - GPGGA 120000.00 GPGGA -", "OOOO"},
        {"an unreadable time is none", "GPGGA 126100.00 GPRMC xx GPGGA 120000.00", "OJO"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Steps(r.stream), r.steps) << r.name;
}

TEST(EpochRule, ManyTalkersOfOneTimeStayOneCycle)
{
    EpochRule rule;
    const char* const talkers[] = {"GP", "GL", "GA", "GB", "GQ", "GI", "BD", "GN", "QZ", "PQ",
                                   "AA", "AB", "AC", "AD", "AE", "AF", "AG", "AH", "AI", "AJ"};
    int opens = 0;
    for (int round = 0; round < 3; ++round)
        for (const char* talker : talkers)
            opens += rule.Place(FixSentence::Gga, talker, 43'200'000) == CycleStep::Opens;
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(rule.Place(FixSentence::Gga, "GP", 43'201'000), CycleStep::Opens);
}

} // namespace
