// The intake of one source: what its listeners hear, in which order and with
// the decoders as they stood, whatever the blocks; the Multi-GNSS epoch; and
// sources that keep to themselves.
#include "BinrEncoder.h"
#include "BinrLayouts.h"
#include "Intake.h"
#include "NmeaChecksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Every event as a line: what was heard and what the decoder held then.
struct Log : IntakeListener {
    std::vector<std::string> lines;
    void OnNmeaResult(const Intake& intake, int result) override
    {
        lines.push_back("nmea " + std::to_string(result) + " gga " + intake.Nmea().Stored(NmeaKind::Gga).slot[1]);
    }
    void OnBinrResult(const Intake& intake, int result) override
    {
        const NavSolution nav = ReadNavSolution(intake.Binr().NavSolution());
        lines.push_back("binr " + std::to_string(result) + " week " + std::to_string(nav.week));
    }
    void OnGnssEpoch(const Intake& intake) override
    {
        lines.push_back("epoch " + std::string(intake.Gnss().Picture().fix.slot[1]));
    }
};

std::string Gga(const char* time)
{
    return NmeaSentence(std::string("GPGGA,") + time + ",5541.1956,N,03737.2877,E,1,5,0.9,66.2,M,14.5,M,,");
}

BinrBytes Nav(int16_t week)
{
    NavSolution nav{};
    nav.flags = kSolutionValid;
    nav.week = week;
    return BinrFrame(kMsgNavSolution, NavSolutionPayload(nav));
}

std::vector<std::string> Heard(const std::string& stream, Protocol protocol, size_t blockBytes, bool multiGnss = false)
{
    Intake intake;
    intake.SetMultiGnss(multiGnss);
    Log log;
    intake.AddListener(&log);
    const auto* bytes = reinterpret_cast<const uint8_t*>(stream.data());
    for (size_t at = 0; at < stream.size(); at += blockBytes)
        intake.Receive(bytes + at, int(std::min(blockBytes, stream.size() - at)), protocol);
    return log.lines;
}

TEST(Intake, ListenersHearEachCompletionAsTheDecoderStoodWhateverTheBlocks)
{
    const std::string nmea = "noise" + Gga("081411.000") + "$GPGGA,1*00\r\n" + Gga("081412.000") + "$GPZZZ,1\r\n";
    BinrBytes frames = Nav(400);
    for (const BinrBytes& more : {BinrBytes{kDle, kMsgNavSolution, 1, 2, kDle, kEtx}, Nav(401)})
        frames.insert(frames.end(), more.begin(), more.end());
    struct Row {
        const char* name;
        std::string stream;
        Protocol protocol;
        std::vector<std::string> heard;
    };
    const Row rows[] = {
        {"NMEA: two fixes, a bad checksum between, an unknown sentence", nmea, Protocol::Nmea,
         {"nmea 2 gga 081411.000", "nmea -1 gga 081411.000", "nmea 2 gga 081412.000", "nmea 1 gga 081412.000"}},
        {"BINR: two solutions, a short frame between", std::string(frames.begin(), frames.end()), Protocol::Binr,
         {"binr 136 week 400", "binr -1 week 400", "binr 136 week 401"}},
    };
    for (const Row& r : rows)
        for (const size_t block : {size_t(1), size_t(7), r.stream.size()})
            EXPECT_EQ(Heard(r.stream, r.protocol, block), r.heard) << r.name << ", blocks of " << block;
}

// The epoch is complete when the next one's fix sentence comes: the views
// show it before anything reads that sentence.
TEST(Intake, MultiGnssEpochIsHeardBeforeTheSentenceThatCompletedIt)
{
    const std::string gsa = NmeaSentence("GPGSA,A,3,05,12,67,,,,,,,,,,2.0,1.0,1.5");
    const std::string stream = Gga("081411.000") + gsa + Gga("081412.000");
    const std::vector<std::string> on = {"nmea 2 gga 081411.000", "nmea 4 gga 081411.000", "epoch 081411.000",
                                         "nmea 2 gga 081412.000"};
    EXPECT_EQ(Heard(stream, Protocol::Nmea, 5, true), on);
    EXPECT_EQ(Heard(stream, Protocol::Nmea, 5, false).size(), 3u) << "no epochs with Multi-GNSS off";

    Intake intake;
    intake.SetMultiGnss(true);
    Log log;
    intake.AddListener(&log);
    // A source whose rate is hunted feeds the epoch nothing.
    intake.SetHunting(true);
    intake.Receive(reinterpret_cast<const uint8_t*>(stream.data()), int(stream.size()), Protocol::Nmea);
    EXPECT_FALSE(intake.CompleteGnssEpoch());
    intake.SetHunting(false);
    intake.Receive(reinterpret_cast<const uint8_t*>(stream.data()), int(stream.size()), Protocol::Nmea);
    // The end of the data completes the epoch under way, once.
    log.lines.clear();
    EXPECT_TRUE(intake.CompleteGnssEpoch());
    EXPECT_FALSE(intake.CompleteGnssEpoch());
    EXPECT_EQ(log.lines, std::vector<std::string>{"epoch 081412.000"});
}

TEST(Intake, SeveralListenersInTheOrderAdded)
{
    Intake intake;
    Log first, second;
    intake.AddListener(&first);
    intake.AddListener(&second);
    intake.AddListener(&first);   // once only
    const BinrBytes nav = Nav(400);
    intake.Receive(nav.data(), int(nav.size()), Protocol::Binr);
    EXPECT_EQ(first.lines, second.lines);
    EXPECT_EQ(first.lines.size(), 1u);
    intake.RemoveListener(&first);
    intake.Receive(nav.data(), int(nav.size()), Protocol::Binr);
    EXPECT_EQ(first.lines.size(), 1u);
    EXPECT_EQ(second.lines.size(), 2u);
}

// Nothing about a source is shared: two intakes at once, each with its own
// decoders, epoch and dates; a restart forgets the kept payloads, a reset
// only the framing.
TEST(Intake, SourcesKeepToThemselves)
{
    Intake a, b;
    const std::string gga = Gga("081411.000");
    a.Receive(reinterpret_cast<const uint8_t*>(gga.data()), int(gga.size()), Protocol::Nmea);
    a.Dates().ForceRollovers(2);
    EXPECT_STREQ(a.Nmea().Stored(NmeaKind::Gga).slot[1], "081411.000");
    EXPECT_STREQ(b.Nmea().Stored(NmeaKind::Gga).slot[1], "");
    EXPECT_EQ(b.Dates().ForcedRollovers(), 0);

    // Half a sentence, then a reset: the rest no longer completes it.
    const std::string next = Gga("081412.000");
    a.Receive(reinterpret_cast<const uint8_t*>(next.data()), 20, Protocol::Nmea);
    a.Reset();
    a.Receive(reinterpret_cast<const uint8_t*>(next.data()) + 20, int(next.size()) - 20, Protocol::Nmea);
    EXPECT_STREQ(a.Nmea().Stored(NmeaKind::Gga).slot[1], "081411.000");
    a.Restart();
    EXPECT_STREQ(a.Nmea().Stored(NmeaKind::Gga).slot[1], "");
    EXPECT_EQ(a.Dates().ForcedRollovers(), 2) << "the date policy is the source's, not the stream's";
}

} // namespace
