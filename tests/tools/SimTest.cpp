// kestrova-sim end to end: a real process on a real pty, talked to as the
// program's serial link talks to it.
#include "SimHarness.h"

#include "BinrDecoder.h"
#include "BinrLayouts.h"
#include "NmeaAssembler.h"
#include "NmeaChecksum.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <regex>
#include <set>

namespace {

constexpr double kGpsEpochUnix = 315964800.0;
constexpr int kWeekS = 7 * 86400;

int Count(const std::vector<int>& results, int value)
{
    return int(std::count(results.begin(), results.end(), value));
}

bool Has(const ByteVec& bytes, uint8_t b)
{
    return std::find(bytes.begin(), bytes.end(), b) != bytes.end();
}

// A simulator with its slave opened at the given line settings.
struct Session {
    SimProcess sim;
    int fd = -1;
    ~Session()
    {
        if (fd >= 0)
            close(fd);
    }
    bool Begin(const std::vector<std::string>& args, int baud, bool odd)
    {
        if (!sim.Start(args))
            return false;
        fd = OpenLine(sim.SlavePath(), baud, odd);
        return fd >= 0;
    }
    // A new line setting, dropping what arrived under the old one.
    void Reline(int baud, bool odd)
    {
        SetLine(fd, baud, odd);
        tcflush(fd, TCIFLUSH);
    }
};

} // namespace

TEST(SimProcessTest, PrintsSlavePathFirstAndEndsCleanlyOnSigterm)
{
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "nmea", "--baud", "9600"}));
    EXPECT_TRUE(std::regex_match(sim.SlavePath(), std::regex("/dev/pts/[0-9]+"))) << sim.SlavePath();
    EXPECT_EQ(access(sim.SlavePath().c_str(), R_OK | W_OK), 0);
    EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimProcessTest, RejectsBadCommandLines)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--protocol", "nmea"},                                   // no rate
        {"--protocol", "sirf", "--baud", "9600"},
        {"--protocol", "nmea", "--baud", "12345"},
        {"--protocol", "nmea", "--baud", "9600", "--rate", "2", "--flood"},
        {"--protocol", "nmea", "--baud", "9600", "--scenario", "moving", "--replay", "x"},
        {"--protocol", "nmea", "--baud", "9600", "--replay", "/nonexistent/file"},
        {"--protocol", "nmea", "--baud", "9600", "--bogus"},
        {"--protocol", "nmea", "--baud", "9600", "--receivers", "9"},
        {"--protocol", "nmea", "--baud", "9600", "--bias", "1,2"},
        {"--protocol", "nmea", "--baud", "9600", "--noise", "-1,2"},
        {"--protocol", "nmea", "--baud", "9600", "--dropout", "5,5"},
        {"--protocol", "nmea", "--baud", "9600", "--tcp", "65534", "--receivers", "3"},
    };
    for (const auto& args : bad) {
        SimProcess sim;
        EXPECT_FALSE(sim.Start(args)) << args.back();
    }
}

TEST(SimProcessTest, WaitsWithoutSpinningWhileNoSlaveIsOpen)
{
    Session s;
    ASSERT_TRUE(s.sim.Start({"--protocol", "nmea", "--baud", "115200", "--flood"}));
    EXPECT_TRUE(WaitsIdle(s.sim.Pid())) << "with nobody on the line";

    s.fd = OpenLine(s.sim.SlavePath(), 115200, false);
    ASSERT_GE(s.fd, 0);
    EXPECT_GT(ReadFor(s.fd, 0.3).size(), 10000u) << "flood starts once the slave is open";
    close(s.fd);
    s.fd = -1;
    EXPECT_TRUE(WaitsIdle(s.sim.Pid())) << "after the slave closed";
    EXPECT_EQ(s.sim.Stop(), 0);
}

struct StreamCase {
    const char* protocol;
    int baud;
    int rate;
};

class SimStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(SimStreamTest, SendsValidEpochsAtTheChosenRate)
{
    const StreamCase c = GetParam();
    const bool binr = std::string(c.protocol) == "binr";
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", c.protocol, "--baud", std::to_string(c.baud), "--rate",
                         std::to_string(c.rate), "--scenario", "moving"},
                        c.baud, binr));
    const double seconds = 1.5;
    const ByteVec stream = ReadFor(s.fd, seconds);
    const int expected = int(seconds * c.rate);
    if (binr) {
        const std::vector<int> r = DecodeBinr(stream);
        EXPECT_EQ(Count(r, -1), 0);
        EXPECT_GE(Count(r, kMsgNavSolution), expected - 1);
        EXPECT_LE(Count(r, kMsgNavSolution), expected + 1);
        for (int id : {kMsgDopInfo, kMsgSolutionStatus, kMsgSatInView})
            EXPECT_EQ(Count(r, id), Count(r, kMsgNavSolution)) << "message " << id;
    } else {
        const std::vector<int> r = DecodeNmea(stream);
        EXPECT_EQ(Count(r, kNmeaError), 0);
        EXPECT_GE(Count(r, kNmeaGga), expected - 1);
        EXPECT_LE(Count(r, kNmeaGga), expected + 1);
        for (int kind : {kNmeaRmc, kNmeaGsa, kNmeaPvktd})
            EXPECT_EQ(Count(r, kind), Count(r, kNmeaGga)) << "kind " << kind;
        EXPECT_GE(Count(r, kNmeaGsv), 2 * Count(r, kNmeaGga));
        for (size_t i = 0; i < stream.size(); ++i) {
            if (stream[i] == '\n') {
                ASSERT_TRUE(i > 0 && stream[i - 1] == '\r') << "line end at " << i;
            }
        }
    }
    EXPECT_EQ(s.sim.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Protocols, SimStreamTest,
                         ::testing::Values(StreamCase{"nmea", 4800, 4}, StreamCase{"nmea", 921600, 10},
                                           StreamCase{"binr", 115200, 4}, StreamCase{"binr", 19200, 10}),
                         [](const auto& info) {
                             return std::string(info.param.protocol) + std::to_string(info.param.baud);
                         });

TEST(SimBinrTest, NavigationSolutionCarriesTheCurrentTimeAndWeek)
{
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "binr", "--baud", "115200", "--rate", "5"}, 115200, true));
    BinrDecoder decoder;
    bool got = false;
    for (uint8_t b : ReadFor(s.fd, 0.6))
        got |= decoder.PushByte(b) == kMsgNavSolution;
    ASSERT_TRUE(got);
    const NavSolution nav = ReadNavSolution(decoder.NavSolution());
    const double now = double(time(nullptr)) - kGpsEpochUnix;
    EXPECT_EQ(nav.week, int(now / kWeekS) % 1024);
    double behind = std::fmod(now, kWeekS) - nav.timeOfWeekMs / 1000.0;
    if (behind < -kWeekS / 2)
        behind += kWeekS;
    EXPECT_GE(behind, -1.0);
    EXPECT_LE(behind, 3.0);
    EXPECT_NEAR(nav.latRad * 180 / M_PI, 52.23, 0.01);
    EXPECT_NEAR(nav.lonRad * 180 / M_PI, 21.01, 0.01);
    EXPECT_TRUE(nav.flags & kSolutionValid);
    EXPECT_GT(nav.rms2DM, 0.1f);
    EXPECT_LT(nav.rms2DM, 10.0f);
}

struct CommandCase {
    const char* name;
    ByteVec command;
    int answer;   // message ID expected back, 0 for none
};

class SimCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(SimCommandTest, AnswersAsAReceiver)
{
    const CommandCase& c = GetParam();
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "binr", "--baud", "57600", "--device", "ABC 1.0"}, 57600, true));
    ASSERT_TRUE(WriteAll(s.fd, c.command));
    const std::vector<int> r = DecodeBinr(ReadFor(s.fd, 0.4));
    std::set<int> answers;
    for (int id : r)
        if (id != kMsgNavSolution && id != kMsgDopInfo && id != kMsgSolutionStatus && id != kMsgSatInView)
            answers.insert(id);
    EXPECT_EQ(answers, c.answer ? std::set<int>{c.answer} : std::set<int>{});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SimCommandTest,
    ::testing::Values(CommandCase{"DeviceInfo", Frame(0x1B, {}), kMsgDeviceInfo},
                      CommandCase{"PortSetting", Frame(0x0B, PortSetting(115200, 4)), kMsgBaudAck},
                      CommandCase{"PortSettingToNmea", Frame(0x0B, PortSetting(0, 2)), kMsgBaudAck},
                      CommandCase{"PortSettingBadRate", Frame(0x0B, PortSetting(12345, 4)), 0},
                      CommandCase{"PortSettingShort", Frame(0x0B, {0, 0, 0xC2, 1, 0}), 0},
                      CommandCase{"Reset", Frame(0x26, {}), 0},
                      CommandCase{"StopOutput", Frame(0x0E, {}), 0},
                      CommandCase{"OutputRate", Frame(0xA0, {3, 1}), 0},
                      CommandCase{"PositionSet", Frame(0x21, {1}), 0},
                      CommandCase{"HeartbeatOn", Frame(0x0C, {1}), 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimBinrTest, DeviceInfoHoldsTheDeviceText)
{
    struct Case {
        std::vector<std::string> extra;
        std::string text;
    };
    for (const Case& c : {Case{{}, "KSIM 1.0"}, Case{{"--device", "ABC 1.0"}, "ABC 1.0"},
                          Case{{"--device", std::string(100, 'x')}, std::string(74, 'x')}}) {
        Session s;
        std::vector<std::string> args{"--protocol", "binr", "--baud", "9600"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        ASSERT_TRUE(s.Begin(args, 9600, true));
        ASSERT_TRUE(WriteAll(s.fd, Frame(0x1B, {})));
        BinrDecoder decoder;
        bool got = false;
        for (uint8_t b : ReadFor(s.fd, 0.3))
            got |= decoder.PushByte(b) == kMsgDeviceInfo;
        ASSERT_TRUE(got) << c.text;
        char text[kDeviceTextMax + 1];
        ReadDeviceText(decoder.DeviceInfo(), text);
        EXPECT_EQ(std::string(text), c.text);
    }
}

TEST(SimBinrTest, PortSettingMovesTheReceiverAndEndingIn02TurnsItToNmea)
{
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "binr", "--baud", "9600", "--rate", "5"}, 9600, true));
    ByteVec sync = Frame(0x26, {});
    const ByteVec setting = Frame(0x0B, PortSetting(115200, 4));
    sync.insert(sync.end(), setting.begin(), setting.end());
    ASSERT_TRUE(WriteAll(s.fd, sync));
    EXPECT_EQ(Count(DecodeBinr(ReadFor(s.fd, 0.3)), kMsgBaudAck), 1);

    // Still at 9600: the receiver now talks 115200, so only garbage arrives.
    const ByteVec garbage = ReadFor(s.fd, 0.6);
    EXPECT_FALSE(garbage.empty());
    EXPECT_TRUE(DecodeBinr(garbage).empty());

    s.Reline(115200, true);
    ASSERT_TRUE(WriteAll(s.fd, Frame(0x1B, {})));
    const std::vector<int> moved = DecodeBinr(ReadFor(s.fd, 0.6));
    EXPECT_GE(Count(moved, kMsgNavSolution), 2);
    EXPECT_EQ(Count(moved, kMsgDeviceInfo), 1);

    ASSERT_TRUE(WriteAll(s.fd, Frame(0x0B, PortSetting(0, 2))));
    EXPECT_EQ(Count(DecodeBinr(ReadFor(s.fd, 0.3)), kMsgBaudAck), 1);
    s.Reline(115200, false);
    const std::vector<int> nmea = DecodeNmea(ReadFor(s.fd, 0.6));
    EXPECT_GE(Count(nmea, kNmeaGga), 2);
    EXPECT_EQ(Count(nmea, kNmeaError), 0);
}

TEST(SimBinrTest, HeartbeatFollowsCommand0x0C)
{
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "binr", "--baud", "115200", "--heartbeat"}, 115200, true));
    EXPECT_GE(Count(DecodeBinr(ReadFor(s.fd, 1.2)), kMsgHeartbeat), 1);
    ASSERT_TRUE(WriteAll(s.fd, Frame(0x0C, {0})));
    ReadFor(s.fd, 0.1);
    EXPECT_EQ(Count(DecodeBinr(ReadFor(s.fd, 1.2)), kMsgHeartbeat), 0);
    ASSERT_TRUE(WriteAll(s.fd, Frame(0x0C, {1})));
    EXPECT_GE(Count(DecodeBinr(ReadFor(s.fd, 1.2)), kMsgHeartbeat), 1);
}

struct SwitchCase {
    const char* name;
    ByteVec sentence;
    bool switches;
};

class SimSwitchTest : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(SimSwitchTest, PvktaTurnsAnNmeaReceiverIntoBinrAt115200)
{
    const SwitchCase& c = GetParam();
    const std::string log = TempPath(std::string("switch-") + c.name);
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "nmea", "--baud", "38400", "--rate", "5", "--log", log}, 38400, false));
    ASSERT_TRUE(WriteAll(s.fd, c.sentence));
    // The simulator logs what it received just before it acts on it.
    ASSERT_TRUE(WaitForReceived(log, c.sentence.size()));
    if (c.switches) {
        s.Reline(115200, true);
        const std::vector<int> r = DecodeBinr(ReadFor(s.fd, 0.6));
        EXPECT_GE(Count(r, kMsgNavSolution), 2);
        EXPECT_EQ(Count(r, -1), 0);
    } else {
        s.Reline(38400, false);
        EXPECT_GE(Count(DecodeNmea(ReadFor(s.fd, 0.6)), kNmeaGga), 2);
    }
    for (const char* suffix : {"", ".rx", ".tx"})
        unlink((log + suffix).c_str());
}

ByteVec Corrupt(ByteVec s)
{
    s[s.size() - 3] ^= 1;   // a checksum digit
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Sentences, SimSwitchTest,
    ::testing::Values(SwitchCase{"Valid", Sentence("PVKTA,0,115200,3"), true},
                      SwitchCase{"BadChecksum", Corrupt(Sentence("PVKTA,0,115200,3")), false},
                      SwitchCase{"NotALineRate", Sentence("PVKTA,0,12345,3"), false},
                      SwitchCase{"OtherProtocol", Sentence("PVKTA,0,115200,1"), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct MismatchCase {
    const char* name;
    const char* protocol;
    int receiverBaud;
    int lineBaud;
    bool lineOdd;
};

class SimMismatchTest : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(SimMismatchTest, DeliversOnlyGarbageAndIgnoresCommands)
{
    const MismatchCase& c = GetParam();
    const bool binr = std::string(c.protocol) == "binr";
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", c.protocol, "--baud", std::to_string(c.receiverBaud), "--rate", "5"},
                        c.lineBaud, c.lineOdd));
    // Commands sent over the wrong line must not reach the receiver.
    ByteVec commands = Frame(0x0B, PortSetting(4800, 4));
    const ByteVec info = Frame(0x1B, {});
    const ByteVec pvkta = Sentence("PVKTA,0,9600,3");
    commands.insert(commands.end(), info.begin(), info.end());
    commands.insert(commands.end(), pvkta.begin(), pvkta.end());
    ASSERT_TRUE(WriteAll(s.fd, commands));

    const ByteVec garbage = ReadFor(s.fd, 0.6);
    EXPECT_FALSE(garbage.empty()) << "a mismatched line still carries something";
    EXPECT_TRUE(DecodeBinr(garbage).empty());
    EXPECT_TRUE(DecodeNmea(garbage).empty());
    EXPECT_FALSE(Has(garbage, '$'));
    EXPECT_FALSE(Has(garbage, 0x10));

    s.Reline(c.receiverBaud, binr);
    const ByteVec clean = ReadFor(s.fd, 0.6);
    if (binr) {
        const std::vector<int> r = DecodeBinr(clean);
        EXPECT_GE(Count(r, kMsgNavSolution), 2);
        EXPECT_EQ(Count(r, kMsgDeviceInfo), 0);
    } else {
        EXPECT_GE(Count(DecodeNmea(clean), kNmeaGga), 2);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SimMismatchTest,
    ::testing::Values(MismatchCase{"NmeaSlowerLine", "nmea", 38400, 4800, false},
                      MismatchCase{"NmeaOddParity", "nmea", 38400, 38400, true},
                      MismatchCase{"BinrNoParity", "binr", 115200, 115200, false},
                      MismatchCase{"BinrFasterLine", "binr", 115200, 460800, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimLogTest, HoldsExactlyWhatWasWrittenAndSentBothWays)
{
    const std::string log = TempPath("log");
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "binr", "--baud", "115200", "--rate", "10", "--log", log},
                        115200, true));
    ByteVec written;
    for (const ByteVec& part : {Frame(0x0E, {}), Frame(0x1B, {}), Frame(0xA0, {3, 1}),
                                ByteVec{'n', 'o', 'i', 's', 'e', 0x10, 0x10}, Frame(0x0C, {1})}) {
        ASSERT_TRUE(WriteAll(s.fd, part));
        written.insert(written.end(), part.begin(), part.end());
        ASSERT_TRUE(WaitForReceived(log, written.size()));
    }
    ByteVec received = ReadFor(s.fd, 0.5);
    ASSERT_EQ(s.sim.Stop(), 0);
    const ByteVec rest = ReadFor(s.fd, 0.2);   // still queued when it stopped
    received.insert(received.end(), rest.begin(), rest.end());

    const SimLogContent content = ReadSimLog(log);
    EXPECT_TRUE(content.wellFormed);
    EXPECT_EQ(content.received, written);
    EXPECT_EQ(content.sent, received);
    EXPECT_EQ(ReadBinaryFile(log + ".rx"), written);
    EXPECT_EQ(ReadBinaryFile(log + ".tx"), received);
    EXPECT_EQ(Count(DecodeBinr(received), kMsgDeviceInfo), 1);
    for (const char* suffix : {"", ".rx", ".tx"})
        unlink((log + suffix).c_str());
}

TEST(SimReplayTest, SendsTheRecordingEpochByEpoch)
{
    struct Case {
        const char* protocol;
        const char* file;
        bool odd;
    };
    for (const Case& c : {Case{"nmea", "/samples/demo.nme", false}, Case{"binr", "/samples/demo-binr.dat", true}}) {
        const std::string path = SourceDir() + c.file;
        const ByteVec recording = ReadBinaryFile(path);
        ASSERT_FALSE(recording.empty()) << path;
        Session s;
        ASSERT_TRUE(s.Begin({"--protocol", c.protocol, "--baud", "230400", "--rate", "10", "--replay", path},
                            230400, c.odd));
        const ByteVec got = ReadFor(s.fd, 0.6);
        ASSERT_FALSE(got.empty());
        EXPECT_NE(std::search(recording.begin(), recording.end(), got.begin(), got.end()), recording.end())
            << c.file << ": what arrives is a stretch of the recording";
        const int epochs = std::string(c.protocol) == "binr" ? Count(DecodeBinr(got), kMsgNavSolution)
                                                             : Count(DecodeNmea(got), kNmeaGga);
        EXPECT_GE(epochs, 4) << c.file;
        EXPECT_LE(epochs, 8) << c.file;
    }
}

TEST(SimFloodTest, FloodsWithValidSentences)
{
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "nmea", "--baud", "921600", "--flood"}, 921600, false));
    const ByteVec stream = ReadFor(s.fd, 0.5);
    EXPECT_GT(stream.size(), 100000u);
    const std::vector<int> r = DecodeNmea(stream);
    EXPECT_EQ(Count(r, kNmeaError), 0);
    EXPECT_GT(Count(r, kNmeaGga), 100);
}

namespace {

// Everything each descriptor sends within seconds, all read side by side.
std::vector<ByteVec> ReadAllFor(const std::vector<int>& fds, double seconds)
{
    std::vector<ByteVec> out(fds.size());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> p;
        for (int fd : fds)
            p.push_back({fd, POLLIN, 0});
        if (poll(p.data(), nfds_t(p.size()), 20) <= 0)
            continue;
        for (size_t i = 0; i < fds.size(); ++i) {
            uint8_t buf[8192];
            const ssize_t n = (p[i].revents & POLLIN) ? read(fds[i], buf, sizeof buf) : 0;
            if (n > 0)
                out[i].insert(out[i].end(), buf, buf + n);
        }
    }
    return out;
}

std::vector<std::string> Lines(const ByteVec& stream, const std::string& prefix)
{
    std::vector<std::string> lines;
    std::istringstream in(std::string(stream.begin(), stream.end()));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            lines.push_back(line.substr(0, line.find_last_not_of('\r') + 1));
    return lines;
}

struct Fix {
    double latDeg, lonDeg, altM;
};

// The GGA fixes of a stream (quality 1 or 2); empty fields are no fix.
std::vector<Fix> Fixes(const ByteVec& stream)
{
    std::vector<Fix> fixes;
    for (const std::string& line : Lines(stream, "$GPGGA,")) {
        double lat, lon, alt;
        int quality;
        char ns, ew;
        if (std::sscanf(line.c_str(), "$GPGGA,%*[^,],%lf,%c,%lf,%c,%d,%*d,%*f,%lf", &lat, &ns, &lon, &ew,
                        &quality, &alt) == 6 && quality > 0)
            fixes.push_back({int(lat / 100) + std::fmod(lat, 100) / 60, int(lon / 100) + std::fmod(lon, 100) / 60, alt});
    }
    return fixes;
}

Fix Mean(const std::vector<Fix>& fixes)
{
    Fix m{0, 0, 0};
    for (const Fix& f : fixes)
        m = {m.latDeg + f.latDeg / fixes.size(), m.lonDeg + f.lonDeg / fixes.size(), m.altM + f.altM / fixes.size()};
    return m;
}

} // namespace

// The first four lines of the receivers' table (docs/guide.md, Several receivers).
TEST(SimReceiversTest, FourReceiversSendValidStreamsApartByTheirBiases)
{
    const double bias[4][3] = {{0, 0, 0}, {2.0, -1.5, 1.0}, {-3.0, 1.0, -2.0}, {1.0, 3.0, 3.0}};
    const std::string log = TempPath("four.log");
    SimProcess sim;
    ASSERT_TRUE(sim.Start({"--protocol", "nmea", "--baud", "115200", "--rate", "10", "--receivers", "4",
                           "--noise", "0.05,0.05", "--cold-start", "0", "--dropout", "0,0", "--log", log},
                          4));
    std::vector<int> fds;
    for (const std::string& path : sim.Addresses()) {
        EXPECT_TRUE(std::regex_match(path, std::regex("/dev/pts/[0-9]+"))) << path;
        fds.push_back(OpenLine(path, 115200, false));
        ASSERT_GE(fds.back(), 0) << path;
    }
    EXPECT_EQ(std::set<std::string>(sim.Addresses().begin(), sim.Addresses().end()).size(), 4u);
    const std::vector<ByteVec> streams = ReadAllFor(fds, 1.2);
    std::vector<Fix> means;
    for (size_t i = 0; i < 4; ++i) {
        const std::vector<int> r = DecodeNmea(streams[i]);
        EXPECT_EQ(Count(r, kNmeaError), 0) << "receiver " << i + 1;
        const std::vector<Fix> fixes = Fixes(streams[i]);
        EXPECT_EQ(int(fixes.size()), Count(r, kNmeaGga)) << "receiver " << i + 1 << ": every epoch a fix";
        ASSERT_GE(fixes.size(), 8u) << "receiver " << i + 1;
        means.push_back(Mean(fixes));
    }
    // Metres per degree at 52.23 N, plenty for a few metres.
    const double northPerDeg = 111272.0, eastPerDeg = 68299.0;
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_NEAR((means[i].lonDeg - means[0].lonDeg) * eastPerDeg, bias[i][0], 0.3) << "receiver " << i + 1;
        EXPECT_NEAR((means[i].latDeg - means[0].latDeg) * northPerDeg, bias[i][1], 0.3) << "receiver " << i + 1;
        EXPECT_NEAR(means[i].altM - means[0].altM, bias[i][2], 0.3) << "receiver " << i + 1;
    }
    for (int fd : fds)
        close(fd);
    EXPECT_EQ(sim.Stop(), 0);
    for (int i = 1; i <= 4; ++i) {
        const SimLogContent content = ReadSimLog(log + "." + std::to_string(i));
        EXPECT_TRUE(content.wellFormed && !content.sent.empty()) << "log " << i;
        for (const char* side : {"", ".rx", ".tx"})
            std::remove((log + "." + std::to_string(i) + side).c_str());
    }
}

TEST(SimReceiversTest, ColdStartSendsNoFixEpochsOnTheDefaultDateThenFixes)
{
    Session s;
    ASSERT_TRUE(s.Begin({"--protocol", "nmea", "--baud", "115200", "--rate", "10", "--cold-start", "1"}, 115200, false));
    const ByteVec stream = ReadFor(s.fd, 1.8);
    EXPECT_EQ(Count(DecodeNmea(stream), kNmeaError), 0);
    const std::vector<std::string> gga = Lines(stream, "$GPGGA,");
    const std::vector<std::string> rmc = Lines(stream, "$GPRMC,");
    ASSERT_GE(gga.size(), 14u);
    ASSERT_EQ(rmc.size(), gga.size());
    const std::regex noFixGga(R"(\$GPGGA,0000[0-9]{2}\.[0-9]00,,,,,0,00,99\.9,,M,,M,,\*[0-9A-F]{2})");
    const std::regex noFixRmc(R"(\$GPRMC,0000[0-9]{2}\.[0-9]00,V,,,,,,,060180,,,N\*[0-9A-F]{2})");
    size_t noFix = 0;
    while (noFix < gga.size() && std::regex_match(gga[noFix], noFixGga)) {
        EXPECT_TRUE(std::regex_match(rmc[noFix], noFixRmc)) << rmc[noFix];
        ++noFix;
    }
    // Epochs sent before the test opened the line are lost, never the last ones.
    ASSERT_GE(noFix, 1u);
    EXPECT_EQ(gga[noFix - 1].substr(0, 18), "$GPGGA,000000.900,");
    // From then on fixes only, on today's date.
    EXPECT_EQ(Fixes(stream).size(), gga.size() - noFix);
    char today[8];
    const time_t now = time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(today, sizeof today, "%d%m%y", &tm);
    for (size_t i = noFix; i < rmc.size(); ++i)
        EXPECT_NE(rmc[i].find(std::string(",A,")), std::string::npos) << rmc[i];
    EXPECT_NE(rmc.back().find(today), std::string::npos) << rmc.back();

    // $PVKTC,COLD (the bench's Start): a cold start again from the next epoch.
    const std::string cold = NmeaSentence("PVKTC,COLD");
    ASSERT_TRUE(WriteAll(s.fd, ByteVec(cold.begin(), cold.end())));
    const ByteVec after = ReadFor(s.fd, 0.8);
    const std::string text(after.begin(), after.end());
    const size_t answered = text.find(NmeaSentence("PVKTK,PVKTC,COLD"));
    ASSERT_NE(answered, std::string::npos) << text;
    const std::vector<std::string> again = Lines(ByteVec(after.begin() + long(answered), after.end()), "$GPGGA,");
    ASSERT_GE(again.size(), 3u);
    for (const std::string& line : again)
        EXPECT_TRUE(std::regex_match(line, noFixGga)) << line;
}

// The queries of docs/guide.md ("NMEA queries"), on a pty and over TCP.
class SimQueryTest : public ::testing::TestWithParam<bool> {};

TEST_P(SimQueryTest, AnswersVersionAndRateQueriesAndRefusesBadOnes)
{
    const bool tcp = GetParam();
    SimProcess sim;
    std::vector<std::string> args{"--protocol", "nmea", "--baud", "9600"};
    if (tcp)
        args.insert(args.end(), {"--tcp", "0"});
    ASSERT_TRUE(sim.Start(args));
    const int fd = tcp ? ConnectTcp(sim.SlavePath()) : OpenLine(sim.SlavePath(), 9600, false);
    ASSERT_GE(fd, 0) << sim.SlavePath();
    const std::vector<std::pair<std::string, std::string>> table = {
        {"$PVKTQ,VER\r\n", NmeaSentence("PVKTV,KSIM 1.0,NMEA,9600,1")},
        {NmeaSentence("PVKTQ,VER"), NmeaSentence("PVKTV,KSIM 1.0,NMEA,9600,1")},
        {"$PVKTQ,VER*00\r\n", NmeaSentence("PVKTN,PVKTQ,CHECKSUM")},
        {"$PVKTQ,ABC\r\n", NmeaSentence("PVKTN,PVKTQ,UNKNOWN")},
        {"$PVKTR,0\r\n", NmeaSentence("PVKTN,PVKTR,RANGE")},
        {"$PVKTR,5*2B\r\n", NmeaSentence("PVKTN,PVKTR,CHECKSUM")},
        {"$PVKTC,WARM\r\n", NmeaSentence("PVKTN,PVKTC,UNKNOWN")},
        {NmeaSentence("PVKTR,5"), NmeaSentence("PVKTK,PVKTR,5")},
    };
    for (const auto& [query, answer] : table) {
        ASSERT_TRUE(WriteAll(fd, ByteVec(query.begin(), query.end())));
        // Up to the answer (a loaded machine may take a while), and a little after it.
        ByteVec stream;
        std::vector<std::string> answers;
        for (int turn = 0; turn < 60 && answers.empty(); ++turn) {
            const ByteVec more = ReadFor(fd, 0.05);
            stream.insert(stream.end(), more.begin(), more.end());
            for (const std::string& line : Lines(stream, "$PVKT"))
                if (line.rfind("$PVKTD,", 0) != 0)
                    answers.push_back(line + "\r\n");
        }
        EXPECT_EQ(answers, std::vector<std::string>{answer}) << query;
    }
    const int gga = Count(DecodeNmea(ReadFor(fd, 1.0)), kNmeaGga);
    EXPECT_GE(gga, 3) << "five epochs a second after $PVKTR,5";
    EXPECT_LE(gga, 7);
    close(fd);
    EXPECT_EQ(sim.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, SimQueryTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Pty"; });
